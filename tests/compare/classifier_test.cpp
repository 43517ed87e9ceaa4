#include "compare/classifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/busy_flags.h"
#include "app/path.h"
#include "app/platform.h"
#include "compare/file_exception.h"
#include "compare/file_scan.h"
#include "compare/report_sort.h"
#include "support/callback_message_pump.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

namespace fs = std::filesystem;
using testing::CallbackMessagePump;
using testing::CurrentTimeZone;
using testing::SetTimeZone;
using testing::TempDir;

// A local tree, a checkout of it in the temp folder and a Top List naming
// the repository files, as a compare run finds them.
class ClassifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_reportInProgress = 1;
        g_scanStop = 0;
        top.ApplyColumnSpec("Record,0;File,100;Path,100;Version,50");
        bottom.ApplyColumnSpec(kBottomListColumnSpec);
        context.localPath = (dir / "local").string();
        context.tempPath = (dir / "temp").string();
        fs::create_directories(dir / "local");
        fs::create_directories(dir / "temp");
    }
    void TearDown() override {
        g_reportInProgress = 0;
        g_scanStop = 0;
    }

    void AddTopRow(const std::string& path, const std::string& file) {
        const int row = top.InsertItem(top.GetItemCount(), "0001");
        top.SetItemText(row, 1, file);
        top.SetItemText(row, 2, path);
    }
    std::string Local(const std::string& relative, const std::string& content) {
        return dir.Write("local/" + relative, content).string();
    }
    void Copy(const std::string& relative, const std::string& content) {
        dir.Write("temp/" + relative, content);
    }
    // Status cell of every Bottom row, keyed by file name.
    std::map<std::string, std::string> Statuses() const {
        std::map<std::string, std::string> out;
        for (int r = 0; r < bottom.GetItemCount(); ++r) {
            out[std::string(bottom.GetItemText(r, BottomFile))] = bottom.GetItemText(r, BottomStatus);
        }
        return out;
    }

    TempDir dir;
    ReportTable top;
    ReportTable bottom;
    ScmContext context;
    DisplayOptions display;
    CallbackMessagePump pump;
    Classifier classifier{top, bottom, context, display, pump};
};

struct OptionsCase {
    int showNew;
    int showSame;
    int showDiff;
    std::map<std::string, std::string> rows;
};

TEST_F(ClassifierTest, DisplayOptionsChooseTheRowsListed) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and case-sensitive copies");
    AddTopRow("\\proj", "same.txt");
    AddTopRow("\\proj", "diff.txt");
    Copy("proj/same.txt", "alpha\nbeta\n");
    Copy("proj/diff.txt", "alpha\nbeta\n");
    const std::string files[] = {Local("new.txt", "n"), Local("same.txt", "alpha\nbeta\n"),
                                 Local("diff.txt", "beta\nalpha\n")};
    const OptionsCase cases[] = {
        {0, 0, 0, {}},
        {1, 0, 0, {{"new.txt", "New"}}},
        {0, 1, 0, {{"same.txt", "Same"}}},
        {0, 0, 1, {{"diff.txt", "Diff"}}},
        {0, 1, 1, {{"same.txt", "Same"}, {"diff.txt", "Diff"}}},
        {1, 1, 1, {{"new.txt", "New"}, {"same.txt", "Same"}, {"diff.txt", "Diff"}}},
    };
    for (const OptionsCase& c : cases) {
        bottom.RemoveAllRows();
        display.showNewFiles = c.showNew;
        display.showSameFiles = c.showSame;
        display.showDiffFiles = c.showDiff;
        for (const std::string& file : files) classifier.ClassifyLocalFile(file);
        EXPECT_EQ(Statuses(), c.rows) << c.showNew << c.showSame << c.showDiff;
    }
}

TEST_F(ClassifierTest, RowsCarryRecordNameFolderSizeDateAndColouredStatus) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and case-sensitive copies");
    display = {1, 1, 1, 1};
    AddTopRow("\\proj", "same.txt");
    Copy("proj/same.txt", std::string(1025, 's'));
    const std::string first = Local("sub/new.txt", "");
    const std::string second = Local("same.txt", std::string(1025, 's'));
    classifier.ClassifyLocalFile(first);
    classifier.ClassifyLocalFile(second);
    ASSERT_EQ(bottom.GetItemCount(), 2);
    // The newest row is on top.
    EXPECT_EQ(bottom.GetItemText(0, BottomRecord), "0002");
    EXPECT_EQ(bottom.GetItemText(0, BottomFile), "same.txt");
    EXPECT_EQ(bottom.GetItemText(0, BottomPath), context.localPath + "/");
    EXPECT_EQ(bottom.GetItemText(0, BottomDatasize), "2 KB");
    platform::FileFacts facts;
    int error = 0;
    ASSERT_TRUE(platform::StatPath(second, facts, error));
    EXPECT_EQ(bottom.GetItemText(0, BottomDate), FormatLocalDate(facts.modifiedNs / 1'000'000'000));
    EXPECT_EQ(bottom.GetCellTextColor(0, BottomStatus), kSameColor);
    EXPECT_EQ(bottom.GetCellTextColor(0, BottomFile), bottom.SystemTextColor());
    EXPECT_EQ(bottom.GetItemText(1, BottomRecord), "0001");
    EXPECT_EQ(bottom.GetItemText(1, BottomPath), context.localPath + "/sub/");
    EXPECT_EQ(bottom.GetItemText(1, BottomDatasize), "0 KB");
    EXPECT_EQ(bottom.GetItemText(1, BottomStatus), "New");
    EXPECT_EQ(bottom.GetCellTextColor(1, BottomStatus), kNewColor);
}

// The File and Path cells split the scanned path as the path parser does,
// whatever the name holds: dots, quotes, blanks, backslashes.
TEST_F(ClassifierTest, FileAndPathCellsSplitThePathAsTheParserDoes) {
    QVR_SKIP_ON_WINDOWS("names with backslashes and quotes");
    display = {1, 1, 1, 1};
    const std::string names[] = {
        "plain.txt", "trailing.", ".hidden", "two..dots", "\"quoted\"", "a\"b", "with blank",
        "back\\slash", "x",
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        bottom.RemoveAllRows();
        const std::string path = Local("sub dir/" + name, "n");
        classifier.ClassifyLocalFile(path);
        ASSERT_EQ(bottom.GetItemCount(), 1);
        const CPath parsed(path);
        EXPECT_EQ(bottom.GetItemText(0, BottomPath), parsed.GetLocation());
        EXPECT_EQ(bottom.GetItemText(0, BottomFile), name);
        EXPECT_EQ(bottom.GetItemText(0, BottomDatasize), "1 KB");
    }
}

TEST_F(ClassifierTest, DiffRowIsOrangeRed) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and case-sensitive copies");
    display.showDiffFiles = 1;
    AddTopRow("\\p", "d.txt");
    Copy("p/d.txt", "1");
    classifier.ClassifyLocalFile(Local("d.txt", "2"));
    ASSERT_EQ(bottom.GetItemCount(), 1);
    EXPECT_EQ(bottom.GetCellTextColor(0, BottomStatus), kDiffColor);
}

TEST_F(ClassifierTest, SignatureFilesAreNeverListed) {
    display = {1, 1, 1, 1};
    classifier.ClassifyLocalFile(Local("quorvan.sig", "sig"));
    classifier.ClassifyLocalFile(Local("old.quorvan.sig.bak", "sig"));
    classifier.ClassifyLocalFile(Local("Quorvan.SIG", "sig"));  // the test is case-sensitive
    EXPECT_EQ(Statuses(), (std::map<std::string, std::string>{{"Quorvan.SIG", "New"}}));
}

struct KeyCase {
    const char* localPathSuffix;  // appended to the local folder
    const char* file;             // below the local folder
    const char* key;
};

TEST_F(ClassifierTest, LocalKeys) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and case-sensitive copies");
    const KeyCase cases[] = {
        {"", "lib/a.txt", "\\LIB\\A.TXT"},
        {"/", "b.txt", "\\B.TXT"},  // a trailing separator belongs to no name
        {"//", "b.txt", "\\B.TXT"},
        {"", "Mixed Case/file.Txt", "\\MIXED CASE\\FILE.TXT"},
    };
    const std::string base = context.localPath;
    for (const KeyCase& c : cases) {
        context.localPath = base + c.localPathSuffix;
        EXPECT_EQ(classifier.LocalKey(base + "/" + c.file), c.key) << c.file;
    }
    // Removed only where it starts the path.
    context.localPath = "/src";
    EXPECT_EQ(classifier.LocalKey("/src/x/src/y"), "\\X\\SRC\\Y");
    EXPECT_EQ(classifier.LocalKey("/other/src/y"), "\\OTHER\\SRC\\Y");
}

TEST_F(ClassifierTest, WindowsKeysAndCopiesFollowTheHomePlatform) {
    QVR_SKIP_UNLESS_WINDOWS();
    // The local path is removed wherever it stands, and the key is upper-cased.
    const std::string base = context.localPath;
    EXPECT_EQ(classifier.LocalKey(base + "\\Lib\\a.txt"), "\\LIB\\A.TXT");
    context.localPath = "\\src";
    EXPECT_EQ(classifier.LocalKey("C:\\src\\x\\src\\y"), "C:\\X\\Y");
    context.localPath = base;

    // Copies are found under the upper-cased key; the file system ignores case.
    display = {1, 1, 1, 1};
    AddTopRow("\\Proj", "Same.txt");
    AddTopRow("\\Proj", "Diff.txt");
    Copy("PROJ/SAME.TXT", "same");
    Copy("PROJ/DIFF.TXT", "old");
    fs::create_directories(dir / "local" / "Proj");
    dir.Write("local/Proj/Same.txt", "same");
    dir.Write("local/Proj/Diff.txt", "new!");
    dir.Write("local/Proj/New.txt", "n");
    for (const char* name : {"Same.txt", "Diff.txt", "New.txt"}) {
        classifier.ClassifyLocalFile(base + "\\Proj\\" + name);
    }
    EXPECT_EQ(Statuses(), (std::map<std::string, std::string>{
                              {"Diff.txt", "Diff"}, {"New.txt", "New"}, {"Same.txt", "Same"}}));
    EXPECT_EQ(bottom.GetItemText(0, BottomPath), base + "\\Proj\\");
}

struct CounterpartCase {
    const char* localFile;  // below the local folder, content "local"
    const char* status;     // "Same" when the counterpart's copy holds "local"
};

TEST_F(ClassifierTest, CounterpartIsTheFirstRowNamingTheWholeFile) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and case-sensitive copies");
    display = {1, 1, 1, 1};
    // Each longer or differently cased name comes first, with a copy that
    // differs, so a wrong counterpart shows as "Diff".
    const std::pair<const char*, const char*> rows[] = {
        {"\\proj\\lib", "sub.txt"},   {"\\proj", "b.txt"},
        {"\\proj", "Makefile.am"},      {"\\proj", "Makefile"},
        {"\\inc", "map.h"},             {"\\inc", "map"},
        {"\\doc", "README.md"},         {"\\doc", "README"},
        {"\\inc", "QVariantHash"},      {"\\nf", "xt_CONNMARK.h"},
        {"\\nf", "xt_connmark.h"},      {"\\src\\lib", "a.txt"},
    };
    for (const auto& [path, file] : rows) AddTopRow(path, file);
    for (const char* differs : {"proj/lib/sub.txt", "proj/Makefile.am", "inc/map.h", "doc/README.md",
                                "inc/QVariantHash", "nf/xt_CONNMARK.h"}) {
        Copy(differs, "other");
    }
    for (const char* same : {"proj/b.txt", "proj/Makefile", "inc/map", "doc/README", "nf/xt_connmark.h",
                             "src/lib/a.txt"}) {
        Copy(same, "local");
    }
    const CounterpartCase cases[] = {
        {"b.txt", "Same"},         {"Makefile", "Same"},      {"map", "Same"},
        {"README", "Same"},        {"QVariant", "New"},       {"xt_connmark.h", "Same"},
        {"xt_CONNMARK.h", "Diff"},  // its exact twin, not the first case-blind row
        {"lib/a.txt", "Same"},     // a local folder below the repository root
    };
    for (const std::string& localPath : {context.localPath, context.localPath + "/"}) {
        context.localPath = localPath;
        for (const CounterpartCase& c : cases) {
            bottom.RemoveAllRows();
            const std::string file = (dir / "local" / c.localFile).string();
            dir.Write("local/" + std::string(c.localFile), "local");
            classifier.ClassifyLocalFile(file);
            ASSERT_EQ(bottom.GetItemCount(), 1) << c.localFile;
            EXPECT_EQ(bottom.GetItemText(0, BottomStatus), c.status) << c.localFile << " in " << localPath;
        }
    }
}

TEST_F(ClassifierTest, CopyPathsKeepTheRepositoryCase) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and case-sensitive copies");
    AddTopRow("\\Proj\\Lib", "File.Txt");
    AddTopRow("\\", "Root.txt");
    AddTopRow("Proj", "NoLead.txt");
    const std::string temp = context.tempPath;
    for (const std::string& tempPath : {temp, temp + "/"}) {
        context.tempPath = tempPath;
        EXPECT_EQ(classifier.CopyPathFor(0), temp + "/Proj/Lib/File.Txt");
        EXPECT_EQ(classifier.CopyPathFor(1), temp + "/Root.txt");
        EXPECT_EQ(classifier.CopyPathFor(2), temp + "/Proj/NoLead.txt");
    }
}

// Repository separators of either kind become one folder separator each,
// with no empty folder names, wherever they stand.
TEST_F(ClassifierTest, CopyPathsHaveNoEmptyFolderNames) {
    QVR_SKIP_ON_WINDOWS("copies below the temp folder with \"/\"");
    const struct {
        const char* path;
        const char* file;
        const char* copy;
    } cases[] = {
        {"\\\\Proj\\\\Lib\\", "File.Txt", "/Proj/Lib/File.Txt"},
        {"", "Root.txt", "/Root.txt"},
        {"\\", "\\Lead.txt", "/Lead.txt"},
        {"a/b\\", "c", "/a/b/c"},
        {"a", "sub\\c\\", "/a/sub/c/"},
        {"\\x y\\.z", "..", "/x y/.z/.."},
        {"/", "/", "/"},
    };
    for (const auto& c : cases) {
        const int row = top.GetItemCount();
        AddTopRow(c.path, c.file);
        EXPECT_EQ(classifier.CopyPathFor(row), context.tempPath + c.copy) << c.path << " | " << c.file;
    }
}

TEST_F(ClassifierTest, RepositoryRootFilesAreCompared) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and case-sensitive copies");
    display.showSameFiles = 1;
    AddTopRow("\\", "root.txt");
    Copy("root.txt", "r");
    classifier.ClassifyLocalFile(Local("root.txt", "r"));
    EXPECT_EQ(Statuses(), (std::map<std::string, std::string>{{"root.txt", "Same"}}));
}

TEST_F(ClassifierTest, EmptyTopListMakesEveryFileNew) {
    display = {1, 1, 1, 1};
    classifier.ClassifyLocalFile(Local("a.txt", "a"));
    classifier.ClassifyLocalFile(Local("d/b.txt", "b"));
    EXPECT_EQ(Statuses(), (std::map<std::string, std::string>{{"a.txt", "New"}, {"b.txt", "New"}}));
}

TEST_F(ClassifierTest, MissingCopyEndsTheRunNamingTheCopy) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and case-sensitive copies");
    display = {1, 1, 1, 1};
    AddTopRow("\\proj", "gone.txt");
    classifier.ClassifyLocalFile(Local("first.txt", "x"));
    try {
        classifier.ClassifyLocalFile(Local("gone.txt", "x"));
        FAIL() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.Cause(), CFileException::fileNotFound);
        EXPECT_EQ(e.FileName(), context.tempPath + "/proj/gone.txt");
    }
    EXPECT_EQ(Statuses(), (std::map<std::string, std::string>{{"first.txt", "New"}}));
}

// Deleted between the scan and its compare, a local file is no longer part of
// the tree; a copy that is a link planted in the temp folder is an error.
TEST_F(ClassifierTest, VanishedLocalFileIsLeftOutAndALinkedCopyIsAnError) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and links");
    display = {1, 1, 1, 1};
    TraceLog trace((dir / "trace.trc").string());
    classifier.SetTrace(&trace);
    AddTopRow("\\proj", "v.txt");
    AddTopRow("\\proj", "l.txt");
    Copy("proj/v.txt", "x");
    const std::string vanished = Local("v.txt", "x");
    fs::remove(vanished);
    classifier.ClassifyLocalFile(vanished);
    EXPECT_TRUE(Statuses().empty());
    EXPECT_NE(testing::ReadFile(trace.Path()).find("local file vanished before its compare, left out: " + vanished),
              std::string::npos);

    fs::create_symlink(Local("secret", "x"), dir / "temp" / "proj" / "l.txt");
    try {
        classifier.ClassifyLocalFile(Local("l.txt", "x"));
        FAIL() << "a linked copy was read";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.FileName(), context.tempPath + "/proj/l.txt");
    }
}

TEST_F(ClassifierTest, FilesAreNotReadWhenNoCompareIsAskedFor) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and case-sensitive copies");
    display.showNewFiles = 1;
    AddTopRow("\\proj", "gone.txt");  // its copy is missing, but New needs no compare
    classifier.ClassifyLocalFile(Local("gone.txt", "x"));
    EXPECT_EQ(bottom.GetItemCount(), 0);
}

TEST_F(ClassifierTest, CancelledRunStopsTheScanAndAddsNothing) {
    display = {1, 1, 1, 1};
    pump.onPump = [] { g_reportInProgress = 0; };  // Cancel clicked while pumping
    classifier.ClassifyLocalFile(Local("a.txt", "a"));
    EXPECT_EQ(pump.pumpCount, 1);
    EXPECT_EQ(g_scanStop, 1);
    EXPECT_EQ(bottom.GetItemCount(), 0);
}

TEST_F(ClassifierTest, TopListChangesAreSeenByTheNextLookup) {
    QVR_SKIP_ON_WINDOWS("local paths with \"/\" and case-sensitive copies");
    display.showNewFiles = 1;
    classifier.ClassifyLocalFile(Local("a.txt", "a"));
    AddTopRow("\\p", "a.txt");
    classifier.ClassifyLocalFile(Local("a.txt", "a"));
    EXPECT_EQ(bottom.GetItemCount(), 1);
}

TEST_F(ClassifierTest, MissingRowsAreTheUnpairedOnesAfterASortOfTheTopList) {
    display = {1, 1, 1, 1, 1};
    for (const char* file : {"a.txt", "b.txt", "c.txt"}) AddTopRow("\\p", file);
    Copy("p/a.txt", "a");
    const std::string local = Local("a.txt", "a");
    CFileScan scan;
    ScanCriteria criteria;
    criteria.directory = context.localPath;
    criteria.filterFlags = ScanCollectPaths;
    scan.Scan(criteria);
    classifier.PrepareCounterparts(scan, std::nullopt);
    classifier.ClassifyLocalFile(local);
    // The window may sort the Top List before the rows missing locally are added.
    SortTableByColumn(top, 1, false);
    EXPECT_EQ(classifier.AddMissingRows(), 2);
    std::vector<std::string> rows;
    for (int r = 0; r < bottom.GetItemCount(); ++r) {
        rows.push_back(std::string(bottom.GetItemText(r, BottomFile)) + " " + std::string(bottom.GetItemText(r, BottomStatus)));
    }
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<std::string>{"a.txt Same", "b.txt Missing", "c.txt Missing"}));
}

TEST_F(ClassifierTest, ScanCallbackClassifiesAcceptedFilesAndPumps) {
    display.showNewFiles = 1;
    Local("a.txt", "a");
    Local("d/b.txt", "b");
    Local("d/quorvan.sig", "");
    CFileScan scan;
    scan.SetCallback(&OnScanEvent, &classifier);
    ScanCriteria criteria;
    criteria.directory = context.localPath;
    criteria.recurse = 1;
    criteria.filterFlags = ScanCollectPaths;
    scan.Scan(criteria);
    EXPECT_EQ(Statuses(), (std::map<std::string, std::string>{{"a.txt", "New"}, {"b.txt", "New"}}));
    // Two levels and three files: one pump per event, one more per classified file.
    EXPECT_EQ(pump.pumpCount, 5 + 3);
}

TEST(Datasize, SmallFilesShowOneKilobyteLargerOnesRoundUp) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0 KB"},    {1, "1 KB"},          {1024, "1 KB"},
        {1025, "2 KB"}, {2048, "3 KB"},       {1'048'576, "1025 KB"},
        {-1, "0 KB"},   {5'000'000'000'000, "4882812501 KB"},
    };
    for (const auto& [size, text] : cases) EXPECT_EQ(FormatDatasize(size), text) << size;
}

TEST(Datasize, DateIsMonthDayYearTimeWithANewline) {
    std::string saved;
    const char* previous = CurrentTimeZone(saved);
    SetTimeZone("UTC");
    // 3 July 2021, 14:05:09 UTC.
    EXPECT_EQ(FormatLocalDate(1'625'321'109), "07-03-2021 14:05:09\n");
    EXPECT_EQ(FormatLocalDate(0), "01-01-1970 00:00:00\n");
    SetTimeZone(previous);
}

#ifndef _WIN32
// The zone is taken from TZ as it stands at each date, also when only the
// variable changed between two dates (the zone itself is read once per
// change, not once per date).
TEST(Datasize, DateFollowsTheZoneVariableBetweenTwoDates) {
    std::string saved;
    const char* previous = CurrentTimeZone(saved);
    SetTimeZone("UTC");
    EXPECT_EQ(FormatLocalDate(1'625'321'109), "07-03-2021 14:05:09\n");
    struct Case {
        const char* zone;  // nullptr: TZ unset
        std::int64_t time;
        const char* date;
    };
    const Case cases[] = {
        {"EST5", 1'625'321'109, "07-03-2021 09:05:09\n"},
        {"EST5", 0, "12-31-1969 19:00:00\n"},
        {"JST-9", 1'625'321'109, "07-03-2021 23:05:09\n"},
        {"UTC0", 1'625'321'109, "07-03-2021 14:05:09\n"},
        {"<+0530>-5:30", 1'625'321'109, "07-03-2021 19:35:09\n"},
        {"EST5", 1'625'321'109, "07-03-2021 09:05:09\n"},
    };
    for (const Case& c : cases) {
        ::setenv("TZ", c.zone, 1);
        EXPECT_EQ(FormatLocalDate(c.time), c.date) << c.zone;
    }
    // Unset after set, then set again to the zone seen before.
    ::setenv("TZ", "JST-9", 1);
    EXPECT_EQ(FormatLocalDate(0), "01-01-1970 09:00:00\n");
    ::unsetenv("TZ");
    const std::string unsetDate = FormatLocalDate(0);
    ::tzset();
    EXPECT_EQ(unsetDate, FormatLocalDate(0)) << "the system's zone once TZ is unset";
    ::setenv("TZ", "JST-9", 1);
    EXPECT_EQ(FormatLocalDate(0), "01-01-1970 09:00:00\n");
    SetTimeZone(previous);
}
#endif

}  // namespace
}  // namespace qvr
