// QvrCompare: the window program. Start-up prepares the paths and the trace,
// then runs the main window; leaving it through Exit saves the settings and
// ends the process.

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QPixmap>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "app/startup.h"
#include "app/allocator_settings.h"
#include "ui/qt_message_box_host.h"
#include "ui/qt_message_pump.h"
#include "ui/qvr_compare_dlg.h"
#include "settings_qt/qsettings_profile_store.h"

namespace {

constexpr const char* kUsage =
    "usage: QvrCompare [LOCALPATH]\n"
    "       QvrCompare --help | --version\n"
    "       QvrCompare --screenshot FILE [--dark]\n"
    "\n"
    "Opens the window that compares the files below LOCALPATH (default: the local path\n"
    "of the last run; a relative path is taken from the current directory) with a\n"
    "Quorvan repository state. --screenshot draws the window as it opens into the PNG\n"
    "FILE and ends (a test aid; --dark draws it with a dark palette, as a dark desktop\n"
    "theme shows it). The headless program is qvrcompare-cli. See QvrCompare(1).\n";

// --help and --version print and end, before any window or setting is
// touched: they are no local path. -1 when the arguments ask for neither.
int PrintInformation(int argc, char** argv) {
    if (argc != 2) return -1;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", qvr::kProgramName, qvr::kProgramVersion);
        return 0;
    }
    return -1;
}

// A dark desktop theme, for seeing the window as such a desktop shows it.
QPalette DarkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(220, 220, 220));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::AlternateBase, QColor(40, 40, 42));
    dark.setColor(QPalette::Text, QColor(220, 220, 220));
    dark.setColor(QPalette::Button, QColor(55, 55, 58));
    dark.setColor(QPalette::ButtonText, QColor(220, 220, 220));
    dark.setColor(QPalette::Highlight, QColor(38, 79, 120));
    dark.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(130, 130, 130));
    return dark;
}

// Renders the main window as it looks at start-up into a PNG file, without
// touching the stored settings or the trace.
int SaveScreenshot(const char* file) {
    qvr::QtMessageBoxHost host;
    qvr::QtMessagePump pump;
    qvr::MemoryProfileStore store;
    const std::string home = QDir::homePath().toStdString();
    qvr::SettingsPaths paths{home + "/QvrCompare", home + "/QvrCompare/Temp", "", qvr::platform::ProgramSearchPath()};
    qvr::CQvrCompareDlg dialog(qvr::LoadSettings(store, paths), paths.tempDir, host, pump);
    dialog.show();
    QApplication::processEvents();
    return dialog.grab().save(QString::fromLocal8Bit(file), "PNG") ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int printed = PrintInformation(argc, argv); printed >= 0) return printed;
    // Before the first thread: the window holds lists of hundreds of
    // thousands of rows, and what a long run frees goes back to the system
    // instead of staying with the process.
    qvr::LimitAllocatorRetention();
    QApplication app(argc, argv);
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--screenshot") == 0) {
        if (argc == 4 && std::strcmp(argv[3], "--dark") == 0) {
            QApplication::setStyle(QStringLiteral("Fusion"));
            QApplication::setPalette(DarkPalette());
        } else if (argc == 4) {
            return 2;
        }
        return SaveScreenshot(argv[2]);
    }

    qvr::QtMessageBoxHost host;
    qvr::QtMessagePump pump;
    qvr::QSettingsProfileStore store;
    const qvr::StartupInputs inputs = qvr::StartupInputs::FromProcess(argc, argv);
    qvr::RunApplication(inputs, host, [&](qvr::AppEnvironment& environment) {
        qvr::CQvrCompareDlg dialog(qvr::LoadSettings(store, environment.ForSettings()), environment.tempDir,
                                   host, pump);
        dialog.SetEnvironment(environment.installDir, environment.trace);
        dialog.SetLaunchDirectory(environment.launchDir);
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
