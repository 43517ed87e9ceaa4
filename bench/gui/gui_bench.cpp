// The two workflows through the real window (Release, offscreen) against the
// headless front end doing the same work: the populate of a long listing
// (click to sorted Top List) and the compare report over many local files
// (click to sorted Bottom List). Also the longest gap between two repaints of
// the lists while a workflow runs, and how long the first Bottom List row
// click takes after each workflow and after a sort of the Top List. The
// listing and checkout tools are stood in for by scripts that deliver
// prepared logs, so the figures are the program's own; the broker check uses
// the real stand-in. Not a test: it prints its figures and asserts nothing.
//
// usage: gui_bench [ROWS (200000)] [FILES (50000)] [RUNS (3)]

#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "app/busy_flags.h"
#include "compare/repository_key_index.h"
#include "res/resource.h"
#include "support/recording_message_box_host.h"
#include "app/allocator_settings.h"
#include "ui/qt_message_pump.h"
#include "ui/qvr_compare_dlg.h"
#include "ui/report_ctrl.h"
#include "workflow/quorvan_sandbox.h"

namespace {

using namespace qvr;
using namespace qvr::res;
namespace fs = std::filesystem;
using Sandbox = qvr::testing::QuorvanSandbox;

std::string Script(const Sandbox& sandbox, const std::string& name, const std::string& body) {
    const auto path = sandbox.Root().Write("fake/" + name, "#!/bin/sh\n" + body);
    fs::permissions(path, fs::perms::owner_all);
    return path.parent_path().string();
}

int FolderOf(int file, int count) { return (file * 7919) % (count / 50 + 1); }

// A listing of count files spread over folders, as the listing tool writes it.
void WriteListing(const std::string& file, int count) {
    std::ofstream out(file);
    out << "File\tPath\tVersion\tTag\tDatasize\tPackage\tCreator\tCreated Date\tModifier\tModified Date\n";
    out << std::string(88, '-') << "\n";
    for (int i = 0; i < count; ++i) {
        // Folders in an order unlike the listing's, so the sort has work.
        out << "f" << i << ".c\t\\src\\d" << FolderOf(i, count) << "\t1\t \t1\tBASE\talice\t01/02/2024 10:00:00\t"
            << "alice\t01/02/2024 10:00:00\n";
    }
    out << "vlx has been executed successfully.\n";
}

// The local tree of the report: every twentieth file new, every tenth
// changed, the others the same as their checked-out copies.
void WriteTrees(const Sandbox& sandbox, int files) {
    const std::string payload(2048, 'x');
    for (int i = 0; i < files; ++i) {
        const std::string rel = "src/d" + std::to_string(FolderOf(i, files)) + "/f" + std::to_string(i) + ".c";
        const bool isNew = i % 20 == 0;
        const bool changed = i % 10 == 1;
        sandbox.Root().Write("local/" + rel + (isNew ? ".new" : ""), payload);
        if (!isNew) sandbox.Root().Write("temp/" + rel, changed ? payload + "!" : payload);
    }
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), or -1.
long StatusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    }
    return -1;
}

double Mib(long kb) { return static_cast<double>(kb) / 1024; }

// The resident memory of each step of a run: what the step held at its
// peak and what stays after it. The kernel's high-water mark is set back to
// the current size between steps where it allows that (Linux 4.0 and later);
// elsewhere each step's peak is the peak so far.
class MemorySteps {
public:
    MemorySteps() { Begin(); }
    // The next step starts now.
    void Begin() {
        std::ofstream("/proc/self/clear_refs") << "5";
        m_startKb = StatusKb("VmRSS");
    }
    // The step just run ends: its figures are noted under name.
    void End(const char* name) {
        long peak = StatusKb("VmHWM");
        if (peak < 0) peak = PeakRssKb();
        const long now = StatusKb("VmRSS");
        m_peakKb = std::max(m_peakKb, peak);
        std::string heap;
#ifdef __GLIBC__
        // What the allocator keeps: bytes the program holds, and bytes it
        // has freed that the allocator did not give back to the system.
        const struct mallinfo2 info = mallinfo2();
        char text[96];
        std::snprintf(text, sizeof text, ", heap in use %.1f MiB, freed but kept %.1f MiB",
                      static_cast<double>(info.uordblks + info.hblkhd) / 1048576,
                      static_cast<double>(info.fordblks) / 1048576);
        heap = text;
#endif
        m_lines += "  " + std::string(name) + ": peak " + Format(peak) + " MiB (from " + Format(m_startKb) +
                   "), after it " + Format(now) + " MiB" + heap + "\n";
    }
    // The largest peak of the steps noted, in KiB.
    long PeakKb() const { return m_peakKb; }
    // Every step noted since the last call, one line each.
    std::string TakeLines() { return std::exchange(m_lines, {}); }

private:
    static std::string Format(long kb) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", Mib(kb));
        return text;
    }
    long m_startKb = 0;
    long m_peakKb = 0;
    std::string m_lines;
};

double Ms(const QElapsedTimer& clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e6; }

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) / 2];
}

// The longest time between two paints of the lists while it runs. A 10 ms
// timer asks for a repaint, so a gap is time in which the window could not
// have shown anything new.
class RepaintWatch : public QObject {
public:
    explicit RepaintWatch(CQvrCompareDlg& dialog) : m_dialog(dialog) {
        for (CReportCtrl* list : {&dialog.TopList(), &dialog.BottomList()}) list->viewport()->installEventFilter(this);
        m_ticker.setInterval(10);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            m_dialog.TopList().viewport()->update();
            m_dialog.BottomList().viewport()->update();
        });
        m_clock.start();
    }
    void Start() {
        m_longest = 0;
        m_last = m_clock.elapsed();
        m_ticker.start();
    }
    qint64 Stop() {
        m_ticker.stop();
        return std::max(m_longest, m_clock.elapsed() - m_last);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_ticker.isActive()) {
            const qint64 now = m_clock.elapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    CQvrCompareDlg& m_dialog;
    QTimer m_ticker;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// A real mouse click on a Bottom List row, timed to the end of its handling.
double TimeBottomClick(CQvrCompareDlg& dialog, int row) {
    CReportCtrl& bottom = dialog.BottomList();
    QCoreApplication::processEvents();
    const QModelIndex cell = bottom.model()->index(row, 1);
    bottom.scrollTo(cell);
    QCoreApplication::processEvents();
    const QPoint point = bottom.visualRect(cell).center();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(bottom.viewport(), Qt::LeftButton, {}, point);
    QCoreApplication::processEvents();
    return Ms(clock);
}

// A real mouse click on a Top List header: the sort, timed.
double TimeTopSort(CQvrCompareDlg& dialog, int column) {
    QHeaderView* header = dialog.TopList().horizontalHeader();
    const QPoint point(header->sectionViewportPosition(column) + 5, header->height() / 2);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, point);
    QCoreApplication::processEvents();
    return Ms(clock);
}

struct Figures {
    std::vector<double> populateGui, populateCli, populateGap, reportGui, reportCli, reportGap;
    std::vector<double> clickAfterReport, clickAfterReportSort, clickAfterPopulate, clickAfterPopulateSort;
    std::vector<double> topSort, indexOnGuiThread, keyCopy;
};

void PrintRatio(const char* what, const std::vector<double>& gui, const std::vector<double>& cli,
                const std::vector<double>& gap) {
    const double g = Median(gui), c = Median(cli);
    std::printf("gui: %s: median window %.0f ms, headless %.0f ms, ratio %.2f (target <= 1.5); "
                "longest repaint gap %.0f ms (target <= 100)\n",
                what, g, c, g / (c > 0 ? c : 1), Median(gap));
}

}  // namespace

int main(int argc, char** argv) {
    // As the window program starts.
    LimitAllocatorRetention();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int listingRows = argc > 1 ? std::atoi(argv[1]) : 200000;
    const int localFiles = argc > 2 ? std::atoi(argv[2]) : 50000;
    const int runs = std::max(1, argc > 3 ? std::atoi(argv[3]) : 3);

    Sandbox sandbox(QVR_TOOL_DIR);
    sandbox.Root().Write("source/a.txt", "a");
    sandbox.Import("PROJ", "DEV", sandbox.SourceDir());
    const std::string install = sandbox.InstallDir();
    const std::string prepared = sandbox.Root().Str() + "/prepared.log";
    const std::string fakeDir = Script(sandbox, "vlx", "cp '" + prepared + "' '" + install + "/vlx.log'\n");
    Script(sandbox, "vgt",
           "echo 'Total: " + std::to_string(localFiles) + "; Success: " + std::to_string(localFiles) +
               "; Failed: 0; Not Processed: 0.' > '" + install + "/vgt.log'\n");
    ::setenv("PATH", (fakeDir + ":" + sandbox.ToolDir() + ":" + std::getenv("PATH")).c_str(), 1);
    std::printf("gui: generating %d local files and their copies\n", localFiles);
    std::fflush(stdout);
    WriteTrees(sandbox, localFiles);

    qvr::testing::RecordingMessageBoxHost host;
    QtMessagePump pump;
    TraceLog trace(install + "/QvrCompare.trc");
    AppSettings settings;
    settings.templates = DefaultTemplates("", install);
    settings.context = {Sandbox::kBroker, Sandbox::kUser, Sandbox::kPassword, "PROJ", "DEV", "", "", sandbox.LocalDir()};
    settings.display = DisplayOptions{1, 1, 1, 1};
    CQvrCompareDlg dialog(settings, sandbox.TempPath(), host, pump);
    dialog.SetEnvironment(install, trace);
    dialog.show();
    auto click = [&](int id) { qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id))->click(); };
    RepaintWatch watch(dialog);

    // The headless runs of the same work, with the same tools and folders.
    const std::vector<std::string> context = {"--broker", Sandbox::kBroker, "--user", Sandbox::kUser,
                                              "--password", Sandbox::kPassword, "--project", "PROJ",
                                              "--state", "DEV", "--install-dir", install};
    const std::string cli = sandbox.ToolDir() + "/qvrcompare-cli";
    const std::string csv = sandbox.Root().Str() + "/headless.csv";
    auto headless = [&](std::vector<std::string> args) {
        args.insert(args.end(), context.begin(), context.end());
        args.insert(args.end(), {"--csv", csv});
        QElapsedTimer clock;
        clock.start();
        const int status = qvr::testing::RunProgram(cli, args);
        const double ms = Ms(clock);
        if (status != 0 && status != 1) std::printf("gui: qvrcompare-cli %s ended with %d\n", args[0].c_str(), status);
        return ms;
    };

    Figures f;
    QCoreApplication::processEvents();
    MemorySteps memory;
    memory.End("the window shown, lists empty");
    for (int run = 1; run <= runs; ++run) {
        // The report: a Top List that matches the local tree, then the report.
        WriteListing(prepared, localFiles);
        memory.Begin();
        click(IDC_GEN_TOP);
        watch.Start();
        QElapsedTimer clock;
        clock.start();
        click(IDC_GEN_BTM);
        f.reportGui.push_back(Ms(clock));
        f.reportGap.push_back(static_cast<double>(watch.Stop()));
        memory.End("the report with its populate");
        memory.Begin();
        const int bottomRows = dialog.CountBottomRows();
        f.clickAfterReport.push_back(TimeBottomClick(dialog, bottomRows / 2));
        TimeTopSort(dialog, 1);
        f.clickAfterReportSort.push_back(TimeBottomClick(dialog, bottomRows / 3));
        QTest::qWait(200);  // the Top List's index, if one is built, ends meanwhile
        memory.End("two Bottom List clicks and a Top List sort");
        f.reportCli.push_back(headless({"report", "--local", sandbox.LocalDir(), "--temp", sandbox.TempPath(),
                                        "--new", "--same", "--diff"}));

        // The populate of the long listing; the Bottom List keeps the report's rows.
        WriteListing(prepared, listingRows);
        memory.Begin();
        watch.Start();
        clock.restart();
        click(IDC_GEN_TOP);
        f.populateGui.push_back(Ms(clock));
        f.populateGap.push_back(static_cast<double>(watch.Stop()));
        memory.End("the populate");
        memory.Begin();
        const int topRows = dialog.CountTopRows();
        f.clickAfterPopulate.push_back(TimeBottomClick(dialog, bottomRows / 2));
        f.topSort.push_back(TimeTopSort(dialog, 1));
        f.clickAfterPopulateSort.push_back(TimeBottomClick(dialog, bottomRows / 3));
        QTest::qWait(200);
        memory.End("two Bottom List clicks and a Top List sort");
        // The probes below hold indexes of their own: not the window's.
        // What the first click cost when it built the index itself, and
        // what a build on a worker thread costs the GUI thread (the copy of
        // the keys it starts from).
        {
            clock.restart();
            RepositoryKeyIndex index;
            index.Build(dialog.TopList().Table());
            f.indexOnGuiThread.push_back(Ms(clock));
        }
        {
            RepositoryKeyIndex index;
            clock.restart();
            index.BuildInBackground(dialog.TopList().Table());
            f.keyCopy.push_back(Ms(clock));
        }
#ifdef __GLIBC__
        // What the probes freed goes back to the system, so that the next
        // run's steps start from the window's own memory.
        malloc_trim(0);
#endif
        f.populateCli.push_back(headless({"list"}));

        std::printf("run %d: populate %d rows: window %.0f ms (gap %.0f ms), headless %.0f ms; report %d files "
                    "(%d rows): window %.0f ms (gap %.0f ms), headless %.0f ms\n",
                    run, topRows, f.populateGui.back(), f.populateGap.back(), f.populateCli.back(), localFiles,
                    bottomRows, f.reportGui.back(), f.reportGap.back(), f.reportCli.back());
        std::printf("run %d: first Bottom List click: after the report %.1f ms, after a sort %.1f ms; after the "
                    "populate %.1f ms, after a sort (%.0f ms) %.1f ms; the index built on the GUI thread %.0f ms, its "
                    "keys copied for a worker %.0f ms\n",
                    run, f.clickAfterReport.back(), f.clickAfterReportSort.back(), f.clickAfterPopulate.back(),
                    f.topSort.back(), f.clickAfterPopulateSort.back(), f.indexOnGuiThread.back(), f.keyCopy.back());
        std::printf("run %d: resident memory of each step:\n%s", run, memory.TakeLines().c_str());
        std::fflush(stdout);
    }
    PrintRatio(("populate, " + std::to_string(listingRows) + " rows").c_str(), f.populateGui, f.populateCli,
               f.populateGap);
    PrintRatio(("report, " + std::to_string(localFiles) + " files").c_str(), f.reportGui, f.reportCli, f.reportGap);
    std::printf("gui: first Bottom List click (median, target <= 50 ms): after the report %.1f ms, after a sort "
                "%.1f ms; after the populate %.1f ms, after a sort %.1f ms (the Top List index built on the GUI "
                "thread instead: %.0f ms; the GUI thread's share of a build on a worker: %.0f ms)\n",
                Median(f.clickAfterReport), Median(f.clickAfterReportSort), Median(f.clickAfterPopulate),
                Median(f.clickAfterPopulateSort), Median(f.indexOnGuiThread), Median(f.keyCopy));
    std::printf("gui: peak RSS of the window %.1f MiB (%d Top rows, %d Bottom rows)\n",
                Mib(memory.PeakKb()), listingRows, dialog.CountBottomRows());
    return 0;
}
