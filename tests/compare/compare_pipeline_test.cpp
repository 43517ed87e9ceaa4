#include "compare/compare_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/busy_flags.h"
#include "app/trace.h"
#include "compare/classifier.h"
#include "compare/file_scan.h"
#include "support/callback_message_pump.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

namespace fs = std::filesystem;
using testing::CallbackMessagePump;
using testing::TempDir;

constexpr std::chrono::milliseconds kLongWait{10000};

// Outcomes come back in the order the compares went in, whatever order the
// workers finish them in: large files early, small ones after them.
TEST(ComparePipeline, OutcomesComeBackInSubmitOrder) {
    TempDir dir;
    struct Pair {
        std::string copy;
        std::string local;
        bool same;
        bool missing;
    };
    std::vector<Pair> pairs;
    for (int i = 0; i < 40; ++i) {
        const std::string body(i % 7 == 0 ? 300'000 : 10 + i, static_cast<char>('a' + i % 26));
        const std::string name = "f" + std::to_string(i);
        const bool missing = i % 13 == 12;
        const bool same = i % 3 != 1;
        const std::string copy = missing ? (dir / ("gone" + name)).string() : dir.Write("copy/" + name, body).string();
        const std::string local = dir.Write("local/" + name, same ? body : body + "x").string();
        pairs.push_back({copy, local, same, missing});
    }
    for (const int workers : {1, 2, 4}) {
        SCOPED_TRACE(workers);
        ComparePipeline pipeline(workers);
        for (const Pair& pair : pairs) pipeline.Submit(pair.copy, pair.local, 0);
        for (const Pair& pair : pairs) {
            CompareOutcome outcome;
            ASSERT_TRUE(pipeline.TakeOldest(outcome, kLongWait));
            if (pair.missing) {
                ASSERT_TRUE(outcome.error.has_value()) << pair.copy;
                EXPECT_EQ(outcome.error->FileName(), pair.copy);
                EXPECT_EQ(outcome.error->Cause(), CFileException::fileNotFound);
            } else {
                ASSERT_FALSE(outcome.error.has_value()) << outcome.error->what();
                EXPECT_EQ(outcome.same, pair.same) << pair.local;
                EXPECT_EQ(outcome.secondStatus.size, static_cast<std::int64_t>(fs::file_size(pair.local)));
            }
        }
        EXPECT_EQ(pipeline.Pending(), 0u);
        CompareOutcome none;
        EXPECT_FALSE(pipeline.TakeOldest(none, std::chrono::milliseconds{0}));
        // Workers gone idle are woken for fewer compares than a batch once
        // the caller waits for them.
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
        const std::vector<Pair> few(pairs.begin() + 1, pairs.begin() + 4);
        for (const Pair& pair : few) pipeline.Submit(pair.copy, pair.local, 0);
        for (const Pair& pair : few) {
            CompareOutcome outcome;
            ASSERT_TRUE(pipeline.TakeOldest(outcome, kLongWait));
            EXPECT_EQ(outcome.same, pair.same);
        }
    }
}

TEST(ComparePipeline, StopDropsWhatWasNotTakenAndTheNextSubmitStartsAfresh) {
    TempDir dir;
    const std::string a = dir.Write("a", "same").string();
    const std::string b = dir.Write("b", "same").string();
    const std::string c = dir.Write("c", "other").string();
    ComparePipeline pipeline(2);
    for (int i = 0; i < 30; ++i) pipeline.Submit(a, b, 0);
    pipeline.Stop();
    EXPECT_EQ(pipeline.Pending(), 0u);
    pipeline.Submit(a, c, 1);
    CompareOutcome outcome;
    ASSERT_TRUE(pipeline.TakeOldest(outcome, kLongWait));
    EXPECT_FALSE(outcome.same);
    EXPECT_EQ(outcome.secondStatus.size, 5);
}

// Waiting for a batch means every compare of it is done afterwards, so all
// of them can be taken without waiting; a count beyond what is queued waits
// for all there are.
TEST(ComparePipeline, WaitForOldestCoversTheWholeBatch) {
    TempDir dir;
    const std::string a = dir.Write("a", std::string(200'000, 'a')).string();
    const std::string b = dir.Write("b", std::string(200'000, 'a')).string();
    for (const std::size_t batch : {std::size_t{1}, std::size_t{5}, std::size_t{12}, std::size_t{100}}) {
        SCOPED_TRACE(batch);
        ComparePipeline pipeline(3);
        for (int i = 0; i < 12; ++i) pipeline.Submit(a, b, 0);
        ASSERT_TRUE(pipeline.WaitForOldest(batch, kLongWait));
        CompareOutcome outcome;
        for (std::size_t i = 0; i < std::min<std::size_t>(batch, 12); ++i) {
            ASSERT_TRUE(pipeline.TakeOldest(outcome, std::chrono::milliseconds{0})) << i;
            EXPECT_TRUE(outcome.same);
        }
    }
}

// What a report run leaves: the Bottom rows cell by cell with the Status
// colour, the file error that ended it, and the scan's trace notes.
struct RunResult {
    std::string text;
    int rows = 0;
    bool ended = false;
};

enum class PlantedError { None, MissingCopy, UnreadableLocal };

struct SamenessCase {
    unsigned seed;
    int threads;
    DisplayOptions display;
    PlantedError error;
};

// A random local tree with its checkout and Top List: Same, changed with the
// size kept, lines swapped (the byte sum alike), New, empty, emptied, and New
// files that cannot be read (listed without a date). One folder cannot be
// listed and one link leads nowhere, so the scan writes trace notes; at most
// one planted file ends the run with a file error part-way.
class ReportSameness : public ::testing::TestWithParam<SamenessCase> {
protected:
    void BuildTree(const SamenessCase& c) {
        std::mt19937 random(c.seed);
        const std::vector<std::string> folders = {"", "d1/", "d1/e1/", "d2/", "d2/e2/f2/", "d3/"};
        const int fileCount = 160;
        const int planted = static_cast<int>(random() % fileCount);
        for (int i = 0; i < fileCount; ++i) {
            const std::string folder = folders[random() % folders.size()];
            const std::string name = "file" + std::to_string(i) + ".txt";
            const std::string rel = folder + name;
            std::string body;
            for (unsigned line = 0, lines = 1 + random() % 40; line < lines; ++line) {
                body += "line " + std::to_string(random() % 1000) + " of " + name + "\n";
            }
            std::string copy = body;
            std::string local = body;
            bool inTop = true;
            bool unreadable = false;
            switch (random() % 8) {
                case 0: inTop = false; break;                             // New
                case 1: local[local.size() / 2] ^= 0x20; break;           // changed, same size
                case 2: local = "second\nfirst\n"; copy = "first\nsecond\n"; break;  // swapped lines
                case 3: local.clear(); copy.clear(); break;               // both empty
                case 4: local.clear(); break;                             // emptied
                case 5: inTop = false; unreadable = true; break;          // New and unreadable
                default: break;                                           // Same
            }
            dir.Write("local/" + rel, local);
            if (i == planted && c.error != PlantedError::None) {
                inTop = true;
                unreadable = c.error == PlantedError::UnreadableLocal;
                if (!unreadable) copy.clear();
            }
            if (unreadable) unreadableFiles.push_back((dir / "local" / rel).string());
            if (!inTop) continue;
            std::string repoPath = "\\proj\\" + folder;
            for (char& ch : repoPath) ch = ch == '/' ? '\\' : ch;
            if (repoPath.back() == '\\') repoPath.pop_back();
            const int row = top.InsertItem(top.GetItemCount(), "0001");
            top.SetItemText(row, 1, name);
            top.SetItemText(row, 2, repoPath);
            const bool missingCopy = i == planted && c.error == PlantedError::MissingCopy;
            if (!missingCopy) dir.Write("temp/proj/" + rel, copy);
        }
        dir.Write("local/d2/locked/hidden.txt", "x");
        fs::create_symlink(dir / "nowhere", dir / "local" / "d1" / "dangling.txt");
    }

    // Runs the report over the tree as the window does and writes down all
    // it shows. The trace's line numbers and times are left out.
    RunResult Run(int threads, const DisplayOptions& display) {
        ReportTable bottom;
        bottom.ApplyColumnSpec(kBottomListColumnSpec);
        ScmContext context;
        context.localPath = (dir / "local").string();
        context.tempPath = (dir / "temp").string();
        CallbackMessagePump pump;
        const std::string traceFile = (dir / ("run" + std::to_string(threads) + ".trc")).string();
        TraceLog trace(traceFile);
        trace.Restart();
        g_reportInProgress = 1;
        RunResult result;
        {
            Classifier classifier(top, bottom, context, display, pump);
            classifier.SetCompareThreads(threads);
            CFileScan scan;
            scan.SetCallback(&OnScanEvent, &classifier);
            scan.SetNoteCallback(&OnScanEvent);
            scan.SetTrace(&trace);
            ScanCriteria criteria;
            criteria.directory = context.localPath;
            criteria.recurse = 1;
            criteria.filterFlags = ScanCollectPaths;
            try {
                scan.Scan(criteria);
                classifier.FinishPendingFiles();
            } catch (const CFileException& error) {
                result.ended = true;
                result.text += "error " + std::to_string(error.Cause()) + " " + error.FileName() + "\n";
            }
        }
        g_reportInProgress = 0;
        for (int r = 0; r < bottom.GetItemCount(); ++r) {
            for (int col = 0; col < bottom.ColumnCount(); ++col) {
                result.text += std::string(bottom.GetItemText(r, col)) + "|";
            }
            result.text += std::to_string(bottom.GetCellTextColor(r, BottomStatus)) + "\n";
        }
        result.rows = bottom.GetItemCount();
        std::ifstream in(traceFile);
        for (std::string line; std::getline(in, line);) {
            const std::size_t at = line.find("CFileScan::");
            result.text += "trace " + (at == std::string::npos ? line : line.substr(at)) + "\n";
        }
        return result;
    }

    TempDir dir;
    ReportTable top;
    std::vector<std::string> unreadableFiles;
};

TEST_P(ReportSameness, ThreadedRunListsWhatAOneFileAtATimeRunLists) {
    QVR_SKIP_ON_WINDOWS("POSIX permissions and links");
    const SamenessCase& c = GetParam();
    top.ApplyColumnSpec("Record,0;File,100;Path,100;Version,50");
    BuildTree(c);
    ASSERT_TRUE(testing::GiveTreeToUnprivileged(dir.Str()));
    for (const std::string& file : unreadableFiles) fs::permissions(file, fs::perms::none);
    fs::permissions(dir / "local" / "d2" / "locked", fs::perms::none);
    // Permissions bind only an unprivileged process, so both runs go in one.
    const std::optional<std::string> seen = testing::RunUnprivileged([&] {
        const RunResult one = Run(0, c.display);
        const RunResult threaded = Run(c.threads, c.display);
        return std::to_string(one.rows) + (one.ended ? " ended\n" : " done\n") + one.text + "\f" +
               threaded.text;
    });
    ASSERT_TRUE(seen.has_value()) << "the unprivileged child failed";
    const std::size_t split = seen->find('\f');
    ASSERT_NE(split, std::string::npos);
    const std::string one = seen->substr(0, split);
    const std::string threaded = seen->substr(split + 1);
    const std::string oneText = one.substr(one.find('\n') + 1);
    EXPECT_EQ(threaded, oneText);
    // The tree gives the runs something to differ over.
    const int rows = std::stoi(one);
    EXPECT_GT(rows, 0);
    EXPECT_EQ(one.find(" ended\n") != std::string::npos, c.error != PlantedError::None);
    if (c.error == PlantedError::None) {
        EXPECT_NE(oneText.find("trace CFileScan::Scan: Folder could not be read"), std::string::npos);
        EXPECT_NE(oneText.find("trace CFileScan::Scan: Skipped symbolic link"), std::string::npos);
    }
}

constexpr DisplayOptions kAll{1, 1, 1, 1};
constexpr DisplayOptions kNoNew{0, 1, 1, 1};
constexpr DisplayOptions kNoSame{1, 0, 1, 1};
constexpr DisplayOptions kNoDiff{1, 1, 0, 1};

INSTANTIATE_TEST_SUITE_P(
    Trees, ReportSameness,
    ::testing::Values(SamenessCase{1, 1, kAll, PlantedError::None},
                      SamenessCase{2, 2, kAll, PlantedError::None},
                      SamenessCase{3, 4, kNoNew, PlantedError::None},
                      SamenessCase{4, 2, kNoSame, PlantedError::None},
                      SamenessCase{5, 3, kNoDiff, PlantedError::None},
                      SamenessCase{6, 2, kAll, PlantedError::MissingCopy},
                      SamenessCase{7, 2, kAll, PlantedError::UnreadableLocal},
                      SamenessCase{8, 1, kNoSame, PlantedError::MissingCopy},
                      SamenessCase{9, 4, kAll, PlantedError::UnreadableLocal},
                      SamenessCase{10, 2, kNoNew, PlantedError::UnreadableLocal}));

// A trace note may only follow once the files scanned before it are listed:
// a file error among them ends the run first, as when each file is compared
// before the scan moves on.
TEST(ReportNotes, FilesScannedBeforeANoteAreListedFirst) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\"");
    TempDir dir;
    ReportTable top;
    top.ApplyColumnSpec("Record,0;File,100;Path,100;Version,50");
    // One worker, busy with a large file while the file without a copy waits.
    const std::string big(16 << 20, 'b');
    const std::string first = dir.Write("local/big.dat", big).string();
    dir.Write("temp/proj/big.dat", big);
    const std::string second = dir.Write("local/gone.txt", "x").string();
    for (const char* name : {"big.dat", "gone.txt"}) {
        const int row = top.InsertItem(top.GetItemCount(), "0001");
        top.SetItemText(row, 1, name);
        top.SetItemText(row, 2, "\\proj");
    }
    ScmContext context;
    context.localPath = (dir / "local").string();
    context.tempPath = (dir / "temp").string();
    const DisplayOptions display = kAll;
    ReportTable bottom;
    bottom.ApplyColumnSpec(kBottomListColumnSpec);
    CallbackMessagePump pump;
    g_reportInProgress = 1;
    Classifier classifier(top, bottom, context, display, pump);
    classifier.SetCompareThreads(1);
    CFileScan scan;
    std::optional<CFileException> error;
    try {
        classifier.ClassifyLocalFile(first);
        classifier.ClassifyLocalFile(second);
        OnScanEvent(scan, ScanBeforeNote, &classifier);
    } catch (const CFileException& e) {
        error = e;
    }
    g_reportInProgress = 0;
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->FileName(), context.tempPath + "/proj/gone.txt");
    ASSERT_EQ(bottom.GetItemCount(), 1);
    EXPECT_EQ(bottom.GetItemText(0, BottomFile), "big.dat");
    EXPECT_EQ(bottom.GetItemText(0, BottomStatus), "Same");
}

// Cancel while compares are still running: the rows listed so far stay, in
// the one-file-at-a-time order, the scan stops and nothing more is listed.
TEST(ReportCancel, CancelKeepsTheRowsListedSoFar) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\"");
    TempDir dir;
    ReportTable top;
    top.ApplyColumnSpec("Record,0;File,100;Path,100;Version,50");
    // More files than may wait in the queue, so the threaded run has listed
    // rows by the time it is cancelled.
    for (int i = 0; i < 600; ++i) {
        const std::string name = "f" + std::to_string(i);
        dir.Write("local/" + name, name);
        dir.Write("temp/proj/" + name, i % 2 ? name : name + "!");
        const int row = top.InsertItem(top.GetItemCount(), "0001");
        top.SetItemText(row, 1, name);
        top.SetItemText(row, 2, "\\proj");
    }
    ScmContext context;
    context.localPath = (dir / "local").string();
    context.tempPath = (dir / "temp").string();
    const DisplayOptions display = kAll;
    for (const int threads : {0, 2}) {
        SCOPED_TRACE(threads);
        ReportTable bottom;
        bottom.ApplyColumnSpec(kBottomListColumnSpec);
        CallbackMessagePump pump;
        pump.onPump = [&] {
            if (pump.pumpCount == 800) g_reportInProgress = 0;
        };
        g_reportInProgress = 1;
        Classifier classifier(top, bottom, context, display, pump);
        classifier.SetCompareThreads(threads);
        CFileScan scan;
        scan.SetCallback(&OnScanEvent, &classifier);
        ScanCriteria criteria;
        criteria.directory = context.localPath;
        criteria.filterFlags = ScanCollectPaths;
        scan.Scan(criteria);
        classifier.FinishPendingFiles();
        EXPECT_EQ(g_scanStop, 1);
        EXPECT_LT(scan.PathCount(), 600);
        EXPECT_LE(bottom.GetItemCount(), scan.PathCount());
        EXPECT_GT(bottom.GetItemCount(), 0);
        // Rows are added at the top: the bottom row is the first file scanned.
        for (int k = 0, count = bottom.GetItemCount(); k < count; ++k) {
            EXPECT_EQ(bottom.GetItemText(count - 1 - k, BottomFile), fs::path(scan.PathTextAt(k)).filename().string());
            EXPECT_EQ(bottom.GetItemText(count - 1 - k, BottomRecord), (k < 9 ? "000" : k < 99 ? "00" : "0") + std::to_string(k + 1));
        }
        const int pumpsAtCancel = pump.pumpCount;
        classifier.FinishPendingFiles();
        EXPECT_EQ(pump.pumpCount, pumpsAtCancel);
        g_reportInProgress = 0;
        g_scanStop = 0;
    }
}

}  // namespace
}  // namespace qvr
