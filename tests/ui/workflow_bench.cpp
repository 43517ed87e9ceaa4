// Figures of the two workflows through the real window, offscreen: the
// populate of a 200,000-line listing (click to sorted Top List) and the
// compare report over 50,000 local files. The listing and checkout tools are
// stood in for by scripts that deliver prepared logs, so the figures are the
// program's own; the broker check uses the real stand-in. Not a test: it
// prints its figures and asserts nothing.

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/busy_flags.h"
#include "res/resource.h"
#include "support/recording_message_box_host.h"
#include "ui/qt_message_pump.h"
#include "ui/qvr_compare_dlg.h"
#include "ui/report_ctrl.h"
#include "workflow/quorvan_sandbox.h"

namespace {

using namespace qvr;
using namespace qvr::res;
namespace fs = std::filesystem;

std::string Script(const qvr::testing::QuorvanSandbox& sandbox, const std::string& name,
                   const std::string& body) {
    const auto path = sandbox.Root().Write("fake/" + name, "#!/bin/sh\n" + body);
    fs::permissions(path, fs::perms::owner_all);
    return path.parent_path().string();
}

// A listing of count files spread over folders, as the listing tool writes it.
void WriteListing(const std::string& file, int count) {
    std::ofstream out(file);
    out << "File\tPath\tVersion\tTag\tDatasize\tPackage\tCreator\tCreated Date\tModifier\tModified Date\n";
    out << std::string(88, '-') << "\n";
    for (int i = 0; i < count; ++i) {
        // Folders in an order unlike the listing's, so the sort has work.
        const int folder = (i * 7919) % (count / 50 + 1);
        out << "f" << i << ".c\t\\src\\d" << folder << "\t1\t \t1\tBASE\talice\t01/02/2024 10:00:00\talice\t"
            << "01/02/2024 10:00:00\n";
    }
    out << "vlx has been executed successfully.\n";
}

double Seconds(const QElapsedTimer& clock) { return clock.nsecsElapsed() / 1e9; }

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int listingRows = argc > 1 ? std::atoi(argv[1]) : 200000;
    const int localFiles = argc > 2 ? std::atoi(argv[2]) : 50000;

    qvr::testing::QuorvanSandbox sandbox(QVR_TOOL_DIR);
    sandbox.Root().Write("source/a.txt", "a");
    sandbox.Import("PROJ", "DEV", sandbox.SourceDir());
    const std::string install = sandbox.InstallDir();
    const std::string prepared = sandbox.Root().Str() + "/prepared.log";
    const std::string fakeDir = Script(sandbox, "vlx", "cp '" + prepared + "' '" + install + "/vlx.log'\n");
    ::setenv("PATH", (fakeDir + ":" + sandbox.ToolDir() + ":" + std::getenv("PATH")).c_str(), 1);

    qvr::testing::RecordingMessageBoxHost host;
    QtMessagePump pump;
    TraceLog trace(install + "/QvrCompare.trc");
    AppSettings settings;
    settings.templates = DefaultTemplates("", install);
    settings.context = {qvr::testing::QuorvanSandbox::kBroker, qvr::testing::QuorvanSandbox::kUser,
                        qvr::testing::QuorvanSandbox::kPassword, "PROJ", "DEV", "", "", sandbox.LocalDir()};
    settings.display = DisplayOptions{1, 1, 1, 1};
    CQvrCompareDlg dialog(settings, sandbox.TempPath(), host, pump);
    dialog.SetEnvironment(install, trace);
    dialog.show();
    auto click = [&](int id) { qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id))->click(); };

    // Responsiveness: the longest gap between two ticks of a 10 ms timer.
    QElapsedTimer tickClock;
    qint64 lastTick = 0, longestGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = tickClock.elapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });

    // Populate.
    WriteListing(prepared, listingRows);
    tickClock.start();
    ticker.start();
    QElapsedTimer clock;
    clock.start();
    click(IDC_GEN_TOP);
    const double populate = Seconds(clock);
    std::printf("populate: %d rows, click to sorted Top List %.3f s (Top rows %d, longest pump gap %lld ms)\n",
                listingRows, populate, dialog.CountTopRows(), longestGap);

    // Report: the Top List matches the local tree; the copies are in place
    // and the checkout script only writes its log.
    WriteListing(prepared, localFiles);
    click(IDC_GEN_TOP);
    const std::string payload(2048, 'x');
    for (int i = 0; i < localFiles; ++i) {
        const int folder = (i * 7919) % (localFiles / 50 + 1);
        const std::string rel = "src/d" + std::to_string(folder) + "/f" + std::to_string(i) + ".c";
        const bool isNew = i % 20 == 0;
        const bool changed = i % 10 == 1;
        sandbox.Root().Write("local/" + rel + (isNew ? ".new" : ""), payload);
        if (!isNew) sandbox.Root().Write("temp/" + rel, changed ? payload + "!" : payload);
    }
    Script(sandbox, "vgt",
           "echo 'Total: " + std::to_string(localFiles) + "; Success: " + std::to_string(localFiles) +
               "; Failed: 0; Not Processed: 0.' > '" + install + "/vgt.log'\n");
    longestGap = 0;
    lastTick = tickClock.elapsed();
    clock.restart();
    click(IDC_GEN_BTM);
    const double report = Seconds(clock);
    std::printf("report: %d local files, click to sorted Bottom List %.3f s (Bottom rows %d, status '%s', "
                "longest pump gap %lld ms)\n",
                localFiles, report, dialog.CountBottomRows(), dialog.StatusText().c_str(), longestGap);
    return 0;
}
