#include "compare/file_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/busy_flags.h"
#include "app/trace.h"
#include "compare/file_exception.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// One callback call: the event and what the scanner showed with it.
struct Seen {
    int event;
    std::string text;  // current directory for event 2, last collected path otherwise
    bool operator==(const Seen&) const = default;
};

class Recorder {
public:
    explicit Recorder(CFileScan& scan) { scan.SetCallback(&Recorder::Callback, this); }

    static void Callback(CFileScan& scan, int event, void* self) {
        auto* recorder = static_cast<Recorder*>(self);
        const std::string text = event == ScanDirectory
                                     ? scan.CurrentDirectory()
                                     : scan.PathTextAt(scan.PathCount() - 1);
        recorder->seen.push_back({event, text});
        if (recorder->onEvent) recorder->onEvent(scan, event);
    }

    std::vector<std::string> Accepted() const {
        std::vector<std::string> out;
        for (const Seen& s : seen) {
            if (s.event == ScanFileAccepted) out.push_back(s.text);
        }
        return out;
    }

    std::vector<Seen> seen;
    std::function<void(CFileScan&, int)> onEvent;
};

ScanCriteria Criteria(const std::string& directory, const std::string& patterns, int recurse,
                      int flags = ScanCollectPaths) {
    ScanCriteria c;
    c.directory = directory;
    c.patternList = patterns;
    c.recurse = recurse;
    c.filterFlags = flags;
    return c;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(ScanCriteria, ResetGivesTheDefaults) {
    ScanCriteria c;
    EXPECT_EQ(c.patternList, "*.*");
    EXPECT_TRUE(c.directory.empty());
    EXPECT_EQ(c.recurse, 0);
    EXPECT_EQ(c.filterFlags, 0);
    EXPECT_EQ(c.lastWriteFrom, c.lastWriteTo);
    EXPECT_GT(c.creationFrom, 0);
}

TEST(FileScan, DeepestLevelsReportFirstAndEachLevelBeforeItsFiles) {
    QVR_SKIP_ON_WINDOWS("paths joined with \"/\"");
    TempDir dir;
    dir.Write("top.txt", "1");
    dir.Write("a/mid.txt", "2");
    dir.Write("a/b/deep.txt", "3");
    const std::string root = dir.Str() + "/";
    CFileScan scan;
    Recorder recorder(scan);
    ScanCriteria criteria = Criteria(dir.Str(), "*.*", 1);
    EXPECT_EQ(scan.Scan(criteria), 3);
    EXPECT_EQ(criteria.directory, root);  // normalised in place
    const std::vector<Seen> expected = {
        {ScanDirectory, root + "a/b/"}, {ScanFileAccepted, root + "a/b/deep.txt"},
        {ScanDirectory, root + "a/"},   {ScanFileAccepted, root + "a/mid.txt"},
        {ScanDirectory, root},          {ScanFileAccepted, root + "top.txt"},
    };
    EXPECT_EQ(recorder.seen, expected);
}

TEST(FileScan, SiblingDirectoriesFollowTheListingOrder) {
    QVR_SKIP_ON_WINDOWS("paths joined with \"/\"");
    TempDir dir;
    for (const char* sub : {"p", "q", "r", "s"}) dir.Write(std::string(sub) + "/f", "x");
    std::vector<std::string> listing;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        listing.push_back(dir.Str() + "/" + entry.path().filename().string() + "/");
    }
    CFileScan scan;
    Recorder recorder(scan);
    ScanCriteria criteria = Criteria(dir.Str(), "*.*", 1);
    scan.Scan(criteria);
    std::vector<std::string> levels;
    for (const Seen& s : recorder.seen) {
        if (s.event == ScanDirectory) levels.push_back(s.text);
    }
    listing.push_back(dir.Str() + "/");
    EXPECT_EQ(levels, listing);
}

TEST(FileScan, WithoutRecursionOnlyTheTopLevelIsReported) {
    TempDir dir;
    dir.Write("top.txt", "1");
    dir.Write("a/mid.txt", "2");
    CFileScan scan;
    Recorder recorder(scan);
    ScanCriteria criteria = Criteria(dir.Str() + "/", "*.*", 0);
    scan.Scan(criteria);
    EXPECT_EQ(criteria.directory, dir.Str() + "/");  // no second separator
    const std::vector<Seen> expected = {{ScanDirectory, dir.Str() + "/"},
                                        {ScanFileAccepted, dir.Str() + "/top.txt"}};
    EXPECT_EQ(recorder.seen, expected);
}

struct PatternCase {
    const char* patterns;
    std::vector<std::string> accepted;  // names, sorted
};

TEST(FileScan, PatternListsSelectFiles) {
    TempDir dir;
    for (const char* name : {"a.c", "b.h", "c.txt", "Makefile", "D.C", ".hidden", "e.cpp"}) {
        dir.Write(name, "x");
    }
    fs::create_directory(dir / "folder.c");  // directories never match
    const PatternCase cases[] = {
        {"*.*", {".hidden", "D.C", "Makefile", "a.c", "b.h", "c.txt", "e.cpp"}},
        {"*", {".hidden", "D.C", "Makefile", "a.c", "b.h", "c.txt", "e.cpp"}},
        {".c;.h", {"D.C", "a.c", "b.h"}},
        {"*.c *.*", {".hidden", "D.C", "D.C", "Makefile", "a.c", "a.c", "b.h", "c.txt", "e.cpp"}},
        {" ,;.cpp;; ,", {"e.cpp"}},
        {"?.c", {"D.C", "a.c"}},
        {"makefile.*", {"Makefile"}},
        {"*.txt,*.h", {"b.h", "c.txt"}},
        {"", {}},
        {" ;, ", {}},
        {"*.none", {}},
    };
    for (const PatternCase& c : cases) {
        CFileScan scan;
        Recorder recorder(scan);
        ScanCriteria criteria = Criteria(dir.Str(), c.patterns, 0);
        scan.Scan(criteria);
        std::vector<std::string> names;
        for (const std::string& path : recorder.Accepted()) names.push_back(fs::path(path).filename().string());
        EXPECT_EQ(Sorted(names), c.accepted) << c.patterns;
    }
}

TEST(FileScan, PatternTokens) {
    EXPECT_EQ(SplitPatternList(".c;.h"), (std::vector<std::string>{"*.c", "*.h"}));
    EXPECT_EQ(SplitPatternList(" a*,, b?  ;c "), (std::vector<std::string>{"a*", "b?", "c"}));
    EXPECT_TRUE(SplitPatternList(" ,; ").empty());
    // No fixed-size working buffer: a long list keeps its last token.
    EXPECT_EQ(SplitPatternList(std::string(5000, ' ') + ".z").back(), "*.z");
}

struct FilterCase {
    const char* what;
    int flags;
    std::int64_t minSize;
    std::int64_t maxSize;
    ScanTime writeFrom;
    ScanTime writeTo;
    std::vector<int> events;  // for files of 1, 5 and 9 bytes, sorted by size
};

TEST(FileScan, FiltersRejectOutsideTheirInclusiveRanges) {
    TempDir dir;
    const ScanTime written = 1'600'000'000;
    for (int size : {1, 5, 9}) {
        const auto p = dir.Write("f" + std::to_string(size), std::string(static_cast<std::size_t>(size), 'x'));
        fs::last_write_time(p, std::chrono::file_clock::from_sys(
                                   std::chrono::system_clock::from_time_t(written + size)));
    }
    const FilterCase cases[] = {
        {"size 5..9", ScanFilterSize | ScanCollectPaths, 5, 9, 0, 0, {1, 0, 0}},
        {"size 1..5", ScanFilterSize | ScanCollectPaths, 1, 5, 0, 0, {0, 0, 1}},
        {"write time", ScanFilterLastWrite | ScanCollectPaths, 0, 0, written + 1, written + 5, {0, 0, 1}},
        {"size first", ScanFilterSize | ScanFilterLastWrite, 9, 9, written + 9, written + 9, {1, 1, 0}},
        {"no filter", 0, 9, 9, 0, 0, {0, 0, 0}},
    };
    for (const FilterCase& c : cases) {
        CFileScan scan;
        std::vector<std::pair<std::string, int>> events;
        Recorder recorder(scan);
        ScanCriteria criteria = Criteria(dir.Str(), "f*", 0, c.flags);
        criteria.minSize = c.minSize;
        criteria.maxSize = c.maxSize;
        criteria.lastWriteFrom = c.writeFrom;
        criteria.lastWriteTo = c.writeTo;
        // Which file an event belongs to: rejected files are not collected,
        // so count accepted ones against the listing instead.
        std::vector<int> bySize(3, -1);
        std::vector<std::string> listing;
        for (const auto& e : fs::directory_iterator(dir.Path())) listing.push_back(e.path().filename().string());
        int at = 0;
        recorder.onEvent = [&](CFileScan&, int event) {
            if (event == ScanDirectory) return;
            const std::string& name = listing[static_cast<std::size_t>(at++)];
            bySize[static_cast<std::size_t>((std::stoi(name.substr(1)) - 1) / 4)] = event;
        };
        const int collected = scan.Scan(criteria);
        EXPECT_EQ(bySize, c.events) << c.what;
        const auto accepted = static_cast<int>(std::count(c.events.begin(), c.events.end(), 0));
        EXPECT_EQ(collected, (c.flags & ScanCollectPaths) ? accepted : 0) << c.what;
    }
}

TEST(FileScan, WindowsPathsUseBackslashesAndFolderLinksAreNotEntered) {
    QVR_SKIP_UNLESS_WINDOWS();
    TempDir dir;
    dir.Write("sub/deep/a.txt", "a");
    dir.Write("b.TXT", "b");
    dir.Write("noext", "c");
    CFileScan scan;
    Recorder recorder(scan);
    ScanCriteria criteria = Criteria(dir.Str(), "*.*", 1);
    scan.Scan(criteria);
    const std::string root = dir.Str() + "\\";
    EXPECT_EQ(criteria.directory, root);
    // "*.*" matches names without a dot too; letters compare without case.
    EXPECT_EQ(Sorted(recorder.Accepted()),
              (std::vector<std::string>{root + "b.TXT", root + "noext", root + "sub\\deep\\a.txt"}));
    CFileScan lower;
    Recorder lowerRecorder(lower);
    ScanCriteria txt = Criteria(dir.Str(), "*.txt", 0);
    lower.Scan(txt);
    EXPECT_EQ(lowerRecorder.Accepted(), std::vector<std::string>{root + "b.TXT"});
}

TEST(FileScan, LinksToDirectoriesAreNotEnteredLinksToFilesCount) {
    if (testing::kOnWindows) {
        GTEST_SKIP() << "symbolic links and named pipes need privileges Windows users lack";
    }
    TempDir dir;
    dir.Write("real/inside.txt", "x");
    dir.Write("target.txt", "y");
    fs::create_directory_symlink(dir / "real", dir / "loop");
    fs::create_directory_symlink(dir.Path(), dir / "real/up");  // a cycle if followed
    fs::create_symlink(dir / "target.txt", dir / "alias.txt");
    ASSERT_TRUE(testing::MakeFifo((dir / "pipe").string()));
    CFileScan scan;
    Recorder recorder(scan);
    ScanCriteria criteria = Criteria(dir.Str(), "*.*", 1);
    scan.Scan(criteria);
    const std::string root = dir.Str() + "/";
    EXPECT_EQ(Sorted(recorder.Accepted()),
              (std::vector<std::string>{root + "alias.txt", root + "real/inside.txt", root + "target.txt"}));
}

// Trace messages without their line numbers and times.
std::vector<std::string> TraceMessages(const fs::path& file) {
    std::vector<std::string> messages;
    std::istringstream in(testing::ReadFile(file));
    for (std::string line; std::getline(in, line);) {
        std::size_t at = 0;
        for (int field = 0; field < 3 && at != std::string::npos; ++field) at = line.find(' ', at + 1);
        messages.push_back(at == std::string::npos ? line : line.substr(at + 1));
    }
    return messages;
}

TEST(FileScan, DanglingLinksAreSkippedWithATraceLine) {
    QVR_SKIP_ON_WINDOWS("symbolic links need privileges Windows users lack");
    TempDir dir;
    dir.Write("tree/kept.txt", "k");
    fs::create_symlink(dir / "tree/missing.txt", dir / "tree/gone.txt");
    fs::create_symlink(dir / "tree/circle", dir / "tree/circle");  // leads nowhere either
    fs::create_symlink("kept.txt", dir / "tree/alias.txt");
    TraceLog trace((dir / "scan.trc").string());
    CFileScan scan;
    scan.SetTrace(&trace);
    Recorder recorder(scan);
    ScanCriteria criteria = Criteria((dir / "tree").string(), "*.*", 1);
    scan.Scan(criteria);
    const std::string root = (dir / "tree").string() + "/";
    EXPECT_EQ(Sorted(recorder.Accepted()), (std::vector<std::string>{root + "alias.txt", root + "kept.txt"}));
    EXPECT_EQ(Sorted(TraceMessages(dir / "scan.trc")),
              (std::vector<std::string>{"CFileScan::Scan: Skipped symbolic link whose target does not exist: " +
                                            root + "circle",
                                        "CFileScan::Scan: Skipped symbolic link whose target does not exist: " +
                                            root + "gone.txt"}));
    EXPECT_EQ(scan.UnreadableFolderCount(), 0);
}

// The note callback runs before each note; a callback that stops the scan
// keeps its note out of the trace, one that throws ends the scan unnoted.
TEST(FileScan, NoteCallbackRunsFirstAndCanKeepTheNoteOut) {
    QVR_SKIP_ON_WINDOWS("symbolic links need privileges Windows users lack");
    enum class Then { Nothing, Stop, Throw };
    for (const Then then : {Then::Nothing, Then::Stop, Then::Throw}) {
        SCOPED_TRACE(static_cast<int>(then));
        TempDir dir;
        fs::create_directories(dir / "tree");
        fs::create_symlink(dir / "tree/missing.txt", dir / "tree/gone.txt");
        TraceLog trace((dir / "scan.trc").string());
        CFileScan scan;
        scan.SetTrace(&trace);
        struct Seen {
            Then then;
            int calls = 0;
            int tracedBefore = -1;
            fs::path traceFile;
        } seen{then, 0, -1, dir / "scan.trc"};
        scan.SetCallback(nullptr, &seen);
        scan.SetNoteCallback([](CFileScan&, int event, void* data) {
            auto& s = *static_cast<Seen*>(data);
            EXPECT_EQ(event, ScanBeforeNote);
            ++s.calls;
            s.tracedBefore = static_cast<int>(fs::exists(s.traceFile));
            if (s.then == Then::Stop) g_scanStop = 1;
            if (s.then == Then::Throw) throw CFileException(CFileException::fileNotFound, 2, "x");
        });
        ScanCriteria criteria = Criteria((dir / "tree").string(), "*.*", 0);
        bool thrown = false;
        try {
            scan.Scan(criteria);
        } catch (const CFileException&) {
            thrown = true;
        }
        g_scanStop = 0;
        EXPECT_EQ(seen.calls, 1);
        EXPECT_EQ(seen.tracedBefore, 0);
        EXPECT_EQ(thrown, then == Then::Throw);
        EXPECT_EQ(TraceMessages(dir / "scan.trc").size(), then == Then::Nothing ? 1u : 0u);
    }
}

struct UnlistableCase {
    const char* name;
    const char* locked;  // below the tree (empty: the tree itself), made unlistable
    int recurse;
    std::vector<std::string> accepted;  // below the tree
    int unreadable;
};

class FileScanUnlistable : public ::testing::TestWithParam<UnlistableCase> {};

// Permissions bind only an unprivileged process, so the scan runs in one.
TEST_P(FileScanUnlistable, FoldersThatCannotBeListedAreCountedAndTraced) {
    QVR_SKIP_ON_WINDOWS("POSIX permissions");
    const UnlistableCase& c = GetParam();
    TempDir dir;
    for (const char* file : {"tree/a.txt", "tree/locked/b.txt", "tree/locked/deeper/c.txt", "tree/open/d.txt"}) {
        dir.Write(file, "x");
    }
    ASSERT_TRUE(testing::GiveTreeToUnprivileged(dir.Str()));
    const std::string locked = *c.locked ? (dir / "tree" / c.locked).string() : (dir / "tree").string();
    fs::permissions(locked, fs::perms::none);
    const std::string traceFile = (dir / "scan.trc").string();
    const std::optional<std::string> seen = testing::RunUnprivileged([&] {
        TraceLog trace(traceFile);
        CFileScan scan;
        scan.SetTrace(&trace);
        Recorder recorder(scan);
        std::string out;
        // Twice: every scan counts afresh.
        for (int run = 0; run < 2; ++run) {
            ScanCriteria criteria = Criteria((dir / "tree").string(), "*.*", c.recurse);
            scan.ClearPaths();
            recorder.seen.clear();
            scan.Scan(criteria);
            out = std::to_string(scan.UnreadableFolderCount()) + "\n";
        }
        for (const std::string& path : Sorted(recorder.Accepted())) out += path + "\n";
        return out;
    });
    ASSERT_TRUE(seen.has_value()) << "the unprivileged child failed";
    std::string expected = std::to_string(c.unreadable) + "\n";
    for (const std::string& file : c.accepted) expected += (dir / "tree").string() + "/" + file + "\n";
    EXPECT_EQ(*seen, expected);
    const std::string line = "CFileScan::Scan: Folder could not be read: " + AppendSeparator(locked) +
                             " (Permission denied)";
    EXPECT_EQ(TraceMessages(traceFile), std::vector<std::string>(2 * c.unreadable, line));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileScanUnlistable,
    ::testing::Values(UnlistableCase{"Subfolder", "locked", 1, {"a.txt", "open/d.txt"}, 1},
                      UnlistableCase{"SubfolderNotVisited", "locked", 0, {"a.txt"}, 0},
                      UnlistableCase{"TopFolder", "", 1, {}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileScan, MissingDirectoryGivesOnlyItsLevelEvent) {
    QVR_SKIP_ON_WINDOWS("paths joined with \"/\"");
    TempDir dir;
    CFileScan scan;
    Recorder recorder(scan);
    ScanCriteria criteria = Criteria((dir / "none").string(), "*.*", 1);
    EXPECT_EQ(scan.Scan(criteria), 0);
    const std::vector<Seen> expected = {{ScanDirectory, (dir / "none").string() + "/"}};
    EXPECT_EQ(recorder.seen, expected);
    EXPECT_EQ(scan.UnreadableFolderCount(), 1);  // gone since it was named
}

TEST(FileScan, EmptyDirectoryScansTheCurrentDirectoryWithFullPaths) {
    QVR_SKIP_ON_WINDOWS("paths joined with \"/\"");
    TempDir dir;
    dir.Write("here.txt", "x");
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    CFileScan scan;
    Recorder recorder(scan);
    ScanCriteria criteria = Criteria("", "*.*", 0);
    scan.Scan(criteria);
    fs::current_path(previous);
    EXPECT_EQ(criteria.directory, "");
    EXPECT_EQ(recorder.Accepted(), std::vector<std::string>{fs::canonical(dir.Path()).string() + "/here.txt"});
}

TEST(FileScan, StopEndsTheWholeTreeButEveryOpenLevelStillReports) {
    QVR_SKIP_ON_WINDOWS("paths joined with \"/\"");
    TempDir dir;
    dir.Write("a/b/deep1.txt", "x");
    dir.Write("a/b/deep2.txt", "x");
    dir.Write("a/mid.txt", "x");
    dir.Write("top.txt", "x");
    for (const char* sibling : {"s1", "s2", "s3"}) dir.Write(std::string(sibling) + "/f.txt", "x");
    CFileScan scan;
    Recorder recorder(scan);
    recorder.onEvent = [](CFileScan&, int event) {
        if (event == ScanFileAccepted) g_scanStop = 1;
    };
    ScanCriteria criteria = Criteria(dir.Str(), "*.*", 1);
    scan.Scan(criteria);
    int accepted = 0;
    for (const Seen& s : recorder.seen) accepted += s.event == ScanFileAccepted;
    EXPECT_EQ(accepted, 1);
    // The first file seen stops everything; the levels still open (that
    // file's own level and its parents up to the root) close with event 2.
    const std::string first = recorder.Accepted().front();
    std::vector<std::string> closing;
    for (std::size_t i = 2; i < recorder.seen.size(); ++i) {
        EXPECT_EQ(recorder.seen[i].event, ScanDirectory);
        closing.push_back(recorder.seen[i].text);
    }
    for (const std::string& level : closing) EXPECT_EQ(first.rfind(level, 0), 0u) << level;
    EXPECT_EQ(closing.back(), dir.Str() + "/");
    g_scanStop = 0;
}

TEST(FileScan, StopFlagIsClearedByConstructionAndByEveryScan) {
    g_scanStop = 1;
    CFileScan scan;
    EXPECT_EQ(g_scanStop, 0);
    TempDir dir;
    dir.Write("x.txt", "x");
    g_scanStop = 1;
    ScanCriteria criteria = Criteria(dir.Str(), "*.*", 0);
    EXPECT_EQ(scan.Scan(criteria), 1);
}

TEST(FileScan, CollectedPathsGrowUntilCleared) {
    QVR_SKIP_ON_WINDOWS("paths joined with \"/\"");
    TempDir dir;
    dir.Write("x.txt", "x");
    CFileScan scan;
    ScanCriteria criteria = Criteria(dir.Str(), "*.*", 0);
    scan.Scan(criteria);
    EXPECT_EQ(scan.Scan(criteria), 2);
    EXPECT_EQ(scan.PathAt(1).GetPath(), dir.Str() + "/x.txt");
    EXPECT_TRUE(scan.PathAt(2).GetPath().empty());
    EXPECT_TRUE(scan.PathAt(-1).GetPath().empty());
    scan.ClearPaths();
    EXPECT_EQ(scan.PathCount(), 0);
}

}  // namespace
}  // namespace qvr
