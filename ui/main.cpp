// QvrCompare: the window program. Start-up prepares the paths and the trace,
// then runs the main window; leaving it through Exit saves the settings and
// ends the process.

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "app/startup.h"
#include "ui/qt_message_box_host.h"
#include "ui/qt_message_pump.h"
#include "ui/qvr_compare_dlg.h"
#include "settings_qt/qsettings_profile_store.h"

namespace {

// Renders the main window as it looks at start-up into a PNG file, without
// touching the stored settings or the trace.
int SaveScreenshot(const char* file) {
    qvr::QtMessageBoxHost host;
    qvr::QtMessagePump pump;
    qvr::MemoryProfileStore store;
    const std::string home = QDir::homePath().toStdString();
    qvr::SettingsPaths paths{home + "/QvrCompare", home + "/QvrCompare/Temp", ""};
    qvr::CQvrCompareDlg dialog(qvr::LoadSettings(store, paths), paths.tempDir, host, pump);
    dialog.show();
    QApplication::processEvents();
    return dialog.grab().save(QString::fromLocal8Bit(file), "PNG") ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0) return SaveScreenshot(argv[2]);

    qvr::QtMessageBoxHost host;
    qvr::QtMessagePump pump;
    qvr::QSettingsProfileStore store;
    const qvr::StartupInputs inputs = qvr::StartupInputs::FromProcess(argc, argv);
    qvr::RunApplication(inputs, host, [&](qvr::AppEnvironment& environment) {
        qvr::CQvrCompareDlg dialog(qvr::LoadSettings(store, environment.ForSettings()), environment.tempDir,
                                   host, pump);
        dialog.SetEnvironment(environment.installDir, environment.trace);
        dialog.SetProfileStore(store);
        host.SetOwner(&dialog);
        dialog.SetShutdownAction(
            [&] { qvr::ShutdownApplication(store, dialog.Settings(), environment); });
        const int result = dialog.exec();
        host.SetOwner(nullptr);
        return result;
    });
    // Start-up has run the window and written the return code; the exit
    // status is not what callers read.
    return 0;
}
