// The compare-report workflow against the stand-in tools: refreshing the Top
// List, the checkout, the scan and its classification, cancelling, and every
// way the run can end.

#include <filesystem>
#include <sstream>

#include "app/busy_flags.h"
#include "compare/report_sort.h"
#include "support/test_platform.h"
#include "workflow_fixture.h"

namespace qvr::testing {
namespace {

using namespace res;
namespace fs = std::filesystem;

constexpr const char* kFire =
    "CQvrCompareDlg::OnBtnGenBtmReport: FIRE BUTTON: Populate List from Quorvan Repository";

class ReportTest : public WorkflowTest {
protected:
    void ExpectIdle() {
        EXPECT_EQ(g_reportInProgress, 0);
        EXPECT_EQ(g_populateInProgress, 0);
        EXPECT_EQ(m_view.texts[IDC_GEN_BTM], kReportCaption);
        EXPECT_FALSE(m_view.locked);
        EXPECT_FALSE(m_view.blinking);
        EXPECT_EQ(m_view.cursorDepth, 0);
    }
    bool Traced(const std::string& line) {
        const auto lines = TraceLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    void WriteLocal(const std::string& path, const std::string& content) {
        m_sandbox.Root().Write("local/" + path, content);
    }
    // A repository of three files and a local tree with one file the same,
    // one changed and one new.
    void MakeMixedTrees() {
        ImportSource({{"same.txt", "same text"}, {"src/changed.c", "int a;"}, {"src/other.c", "x"}});
        WriteLocal("same.txt", "same text");
        WriteLocal("src/changed.c", "int b;");
        WriteLocal("src/new.h", "new");
    }
    std::string Local() const { return m_sandbox.LocalDir() + "/"; }
};

TEST_F(ReportTest, BlankLocalPathIsRefusedWithoutStartingARun) {
    m_view.texts[IDC_LOCALPATH] = "";
    m_workflows.OnBtnGenBtmReport();
    EXPECT_EQ(m_view.Status(), " Local Path cannot be blank.");
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].text, "Local Path is blank.");
    EXPECT_EQ(m_host.boxes[0].icon, MbIcon::Exclamation);
    EXPECT_TRUE(m_view.events.empty());
    EXPECT_EQ(m_view.texts[IDC_GEN_BTM], kReportCaption);
    EXPECT_EQ(TraceLines(), (std::vector<std::string>{"CQvrCompareDlg::OnBtnGenBtmReport: START",
                                                      "CQvrCompareDlg::OnBtnGenBtmReport: Local Path cannot be blank"}));
}

TEST_F(ReportTest, ReportListsNewSameAndDiffSortedByPath) {
    MakeMixedTrees();
    m_workflows.OnBtnGenBtmReport();

    ExpectIdle();
    EXPECT_TRUE(m_host.boxes.empty()) << m_host.boxes[0].text;
    EXPECT_TRUE(Traced(kFire));
    EXPECT_TRUE(Traced("CQvrCompareDlg::OnBtnGenBtmReport: RunVgt was successful"));
    EXPECT_EQ(TraceLines().back(), "CQvrCompareDlg::OnBtnGenBtmReport: END");
    EXPECT_EQ(m_view.Status(), kReadyAtRoot);
    EXPECT_EQ(m_view.texts[IDC_BTMCOUNT], "3");
    EXPECT_EQ(m_view.scannedFolder, m_sandbox.LocalDir());
    ASSERT_EQ(m_bottom.GetItemCount(), 3);
    EXPECT_EQ(Column(m_bottom, BottomPath), (std::vector<std::string>{Local(), Local() + "src/", Local() + "src/"}));
    std::map<std::string, std::string> statusOf;
    for (int row = 0; row < 3; ++row) {
        const std::string status(m_bottom.GetItemText(row, BottomStatus));
        statusOf[std::string(m_bottom.GetItemText(row, BottomFile))] = status;
        const Colorref expected = status == "New" ? kNewColor : status == "Same" ? kSameColor : kDiffColor;
        EXPECT_EQ(m_bottom.GetCellTextColor(row, BottomStatus), expected) << status;
        EXPECT_EQ(m_bottom.GetItemText(row, BottomRecord).size(), 4u);
    }
    EXPECT_EQ(statusOf, (std::map<std::string, std::string>{
                            {"same.txt", "Same"}, {"changed.c", "Diff"}, {"new.h", "New"}}));
    std::vector<std::string> records = Column(m_bottom, BottomRecord);
    std::sort(records.begin(), records.end());
    EXPECT_EQ(records, (std::vector<std::string>{"0001", "0002", "0003"}));
    // The window keeps the rule for its clicks; a headless run lets it go
    // and lists the same rows.
    EXPECT_TRUE(m_workflows.GetClassifier().Counterparts().IsPrepared());
    const std::vector<std::string> paths = Column(m_bottom, BottomPath);
    m_workflows.SetLookupsAfterReport(false);
    m_workflows.OnBtnGenBtmReport();
    EXPECT_FALSE(m_workflows.GetClassifier().Counterparts().IsPrepared());
    EXPECT_EQ(Column(m_bottom, BottomPath), paths);
}

// A populate after a report leaves the rule ready for the new rows: the
// first click afterwards does not prepare it on the window's thread.
TEST_F(ReportTest, PopulateAfterAReportLeavesTheRuleReadyForItsRows) {
    MakeMixedTrees();
    m_workflows.OnBtnGenBtmReport();
    m_workflows.OnBtnGenTopScmList();

    ExpectIdle();
    Classifier& classifier = m_workflows.GetClassifier();
    EXPECT_TRUE(classifier.Counterparts().IsCurrentFor(m_top));
    const int row = classifier.CounterpartOf(Local() + "src/changed.c");
    ASSERT_GE(row, 0);
    EXPECT_EQ(m_top.GetItemText(row, 1), "changed.c");
}

// The files are paired while the checkout runs, on a copy of the Top List:
// a sort of the list meanwhile still leaves each file with its own copy.
TEST_F(ReportTest, TopListSortedWhileTheCheckoutRunsKeepsThePairs) {
    // Each file equals the other's copy: a file paired with the row its
    // copy had before the sort would be Diff.
    ImportSource({{"a.c", "A"}, {"b.c", "B"}});
    WriteLocal("a.c", "A");
    WriteLocal("b.c", "B");
    m_workflows.OnBtnGenTopScmList();
    m_sandbox.SlowDown("vgt", 300);
    bool sorted = false;
    m_pump.onPump = [&] {
        if (!sorted && g_reportInProgress) sorted = SortTableByColumn(m_top, 1, false);
    };
    m_workflows.OnBtnGenBtmReport();

    ExpectIdle();
    EXPECT_TRUE(sorted);
    EXPECT_EQ(Column(m_bottom, BottomFile), (std::vector<std::string>{"a.c", "b.c"}));
    EXPECT_EQ(Column(m_bottom, BottomStatus), (std::vector<std::string>{"Same", "Same"}));
}

// Same needs fresh copies as much as Diff: a copy an earlier run left in the
// temp folder (equal to the local file, though the repository changed since)
// must never make a changed file Same.
TEST_F(ReportTest, TheCheckoutRunsWhenSameOrDiffIsShown) {
    const std::pair<DisplayOptions, std::vector<std::string>> cases[] = {
        {{1, 0, 0, 1, 0}, {"new.h"}}, {{0, 1, 0, 1, 0}, {"same.txt"}}, {{0, 0, 1, 1, 0}, {"changed.c"}}};
    MakeMixedTrees();
    for (const auto& [display, listed] : cases) {
        fs::remove_all(m_sandbox.TempPath());
        m_sandbox.Root().Write("temp/src/changed.c", "int b;");
        m_settings.display = display;
        m_workflows.OnBtnGenBtmReport();

        ExpectIdle();
        EXPECT_EQ(fs::exists(fs::path(m_sandbox.TempPath()) / "same.txt"), display.showNewFiles == 0);
        EXPECT_EQ(Column(m_bottom, BottomFile), listed);
    }
}

struct FreshnessCase {
    const char* name;
    int editId;
    const char* newText;
    bool repopulates;
};

class ReportFreshnessTest : public ReportTest, public ::testing::WithParamInterface<FreshnessCase> {};

TEST_P(ReportFreshnessTest, ChangedCriteriaRepopulateButThePasswordDoesNot) {
    const FreshnessCase& c = GetParam();
    MakeMixedTrees();
    m_settings.display.showDiffFiles = 0;
    m_workflows.OnBtnGenTopScmList();
    ASSERT_EQ(CountFilledRows(m_top), 3);
    m_view.texts[c.editId] = c.newText;

    m_workflows.OnBtnGenBtmReport();

    EXPECT_EQ(Traced(std::string(kFire) + " (SCM Criteria has changed!)"), c.repopulates);
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Cases, ReportFreshnessTest,
                         ::testing::Values(FreshnessCase{"Password", IDC_PASSWORD, "other", false},
                                           FreshnessCase{"Project", IDC_PROJECT, "proj", true},
                                           FreshnessCase{"Package", IDC_PACKAGE, "*", true},
                                           FreshnessCase{"State", IDC_STATE, "DEV ", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReportTest, NoListedFileGivesBlankRowsAndTheNoFilesTexts) {
    ImportSource({{"a.txt", "a"}});
    WriteLocal("a.txt", "a");
    m_settings.display = DisplayOptions{1, 0, 0, 1, 0};  // only New, and nothing is new
    m_workflows.OnBtnGenBtmReport();
    ExpectIdle();
    EXPECT_EQ(m_view.Status(), " Ready - No files found to populate the Bottom list based on selection.");
    EXPECT_EQ(TraceLines().back(),
              "CQvrCompareDlg::OnBtnGenBtmReport: END - No files found to populate the Bottom list based on "
              "selction.");
    EXPECT_EQ(m_bottom.GetItemCount(), kBlankBottomRows);
    EXPECT_EQ(CountFilledRows(m_bottom), 0);
}

TEST_F(ReportTest, EmptyFirstCopyIsReportedAndTheScanRunsLocked) {
    ImportSource({{"empty.txt", ""}, {"src/b.c", "b"}});
    WriteLocal("src/b.c", "b");
    bool unlockedDuringScan = false;
    m_pump.onPump = [&] {
        if (g_reportInProgress && !g_populateInProgress && !m_view.locked) unlockedDuringScan = true;
    };
    m_workflows.OnBtnGenBtmReport();

    // A root file's path is a lone backslash, so the folder part is empty.
    const std::string copy = m_sandbox.TempPath() + "//empty.txt";
    const std::string text =
        "CQvrCompareDlg::OnBtnGenBtmReport: END Error Checkout for Browse is zero size: \"" + copy + "\"";
    EXPECT_TRUE(Traced(text));
    EXPECT_FALSE(Traced("CQvrCompareDlg::OnBtnGenBtmReport: RunVgt was successful"));
    const auto& statuses = m_view.history[IDC_STATUS];
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), text), statuses.end());
    EXPECT_FALSE(unlockedDuringScan);
    ExpectIdle();
    EXPECT_EQ(m_view.Status(), kReadyAtRoot);
    ASSERT_EQ(m_bottom.GetItemCount(), 1);
    EXPECT_EQ(m_bottom.GetItemText(0, BottomStatus), "Same");
}

struct BrokenCopyCase {
    const char* name;
    bool asDirectory;  // else a dangling symbolic link
    const char* words;  // the cause the run names
};

class ReportBrokenCopyTest : public ReportTest, public ::testing::WithParamInterface<BrokenCopyCase> {};

TEST_P(ReportBrokenCopyTest, UnreadableCopyEndsTheRunAndKeepsEarlierRows) {
    ImportSource({{"bad.txt", "bad"}, {"sub/good.txt", "good"}});
    m_workflows.OnBtnGenTopScmList();
    ASSERT_EQ(CountFilledRows(m_top), 2);
    // The Same test uses whatever copies the temp path holds.
    m_settings.display = DisplayOptions{1, 1, 0, 1, 0};
    m_sandbox.Root().Write("temp/sub/good.txt", "good");
    const fs::path bad = fs::path(m_sandbox.TempPath()) / "bad.txt";
    if (GetParam().asDirectory) {
        fs::create_directories(bad / "inner");
    } else {
        fs::create_symlink(m_sandbox.TempPath() + "/missing", bad);
    }
    // Subfolders are scanned before a folder's own files.
    WriteLocal("sub/good.txt", "good");
    WriteLocal("bad.txt", "bad");

    m_workflows.OnBtnGenBtmReport();

    ExpectIdle();
    const std::string words = GetParam().words;
    const std::string status = " " + words + ". File Name: " + bad.string();
    EXPECT_EQ(m_view.Status(), status);
    EXPECT_TRUE(Traced("CQvrCompareDlg::OnBtnGenBtmReport: END Error: " + words + " - File Name: " + bad.string()));
    EXPECT_TRUE(Traced(status));
    EXPECT_EQ(TraceLines().back(), "CQvrCompareDlg::OnBtnGenBtmReport: END");
    EXPECT_EQ(m_view.texts[IDC_BTMCOUNT], "1");  // the rows it keeps, counted
    ASSERT_EQ(m_bottom.GetItemCount(), 1);
    EXPECT_EQ(m_bottom.GetItemText(0, BottomFile), "good.txt");
}

INSTANTIATE_TEST_SUITE_P(Cases, ReportBrokenCopyTest,
                         ::testing::Values(BrokenCopyCase{"Directory", true, "File Error"},
                                           // A copy is never read through a link.
                                           BrokenCopyCase{"DanglingLink", false, "File Operation Error"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReportTest, CancelDuringTheScanKeepsTheRowsSoFarSorted) {
    ImportSource({{"x.txt", "x"}});
    m_workflows.OnBtnGenTopScmList();
    m_settings.display = DisplayOptions{1, 0, 0, 1, 0};
    for (int i = 10; i < 30; ++i) WriteLocal("d" + std::to_string(i) + "/n.txt", "n");
    m_pump.onPump = [&] {
        if (g_reportInProgress && CountFilledRows(m_bottom) == 3) m_workflows.OnBtnGenBtmReport();
    };
    m_workflows.OnBtnGenBtmReport();

    ExpectIdle();
    EXPECT_TRUE(Traced("CQvrCompareDlg::OnBtnGenBtmReport: The \"Cancel\" button was clicked"));
    ASSERT_EQ(m_bottom.GetItemCount(), 3);
    EXPECT_EQ(m_view.texts[IDC_BTMCOUNT], "3");
    EXPECT_EQ(m_view.Status(), " Cancelled - the list is incomplete.");
    const auto paths = Column(m_bottom, BottomPath);
    EXPECT_TRUE(std::is_sorted(paths.begin(), paths.end()));
}

// A list long enough to be sorted while the window is pumped: a Cancel then
// comes after the last row and ends the run once, the whole list sorted.
TEST_F(ReportTest, CancelDuringTheFinalSortEndsTheRunOnce) {
    ImportSource({{"x.txt", "x"}});
    m_workflows.OnBtnGenTopScmList();
    m_settings.display = DisplayOptions{1, 0, 0, 1, 0};
    constexpr int kFiles = 10000;
    for (int i = kFiles; i > 0; --i) WriteLocal("d" + std::to_string(i % 97) + "/n" + std::to_string(i), "n");
    m_pump.onPump = [&] {
        if (g_reportInProgress && CountFilledRows(m_bottom) == kFiles) m_workflows.OnBtnGenBtmReport();
    };
    m_workflows.OnBtnGenBtmReport();

    ExpectIdle();
    const auto lines = TraceLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "CQvrCompareDlg::OnBtnGenBtmReport: END"), 1);
    EXPECT_EQ(m_view.texts[IDC_BTMCOUNT], std::to_string(kFiles));
    const auto paths = Column(m_bottom, BottomPath);
    EXPECT_TRUE(std::is_sorted(paths.begin(), paths.end()));
}

TEST_F(ReportTest, CancelWhileTheCheckoutRunsEndsTheRun) {
    ImportSource({{"x.txt", "x"}});
    WriteLocal("x.txt", "x");
    m_workflows.OnBtnGenTopScmList();
    m_sandbox.SlowDown("vgt", 4000);
    m_pump.onPump = [&] {
        if (g_reportInProgress && m_view.texts[IDC_GEN_BTM] == kCancelCaption) m_workflows.OnBtnGenBtmReport();
    };
    const auto started = std::chrono::steady_clock::now();
    m_workflows.OnBtnGenBtmReport();

    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2000));
    ExpectIdle();
    EXPECT_EQ(m_view.Status(), " Ready");
    EXPECT_TRUE(Traced("CQvrCompareDlg::OnBtnGenBtmReport: \"Cancel\" button was clicked"));
    EXPECT_EQ(CountFilledRows(m_bottom), 0);
}

TEST_F(ReportTest, UnreadableCheckoutLogEndsTheRunCleanly) {
    ImportSource({{"x.txt", "x"}});
    WriteLocal("x.txt", "x");
    m_workflows.OnBtnGenTopScmList();
    // A folder that cannot be removed stands where the log should be.
    const std::string log = m_installDir + "/vgt.log";
    m_sandbox.Root().Write("install/vgt.log/keep", "k");

    m_workflows.OnBtnGenBtmReport();

    ExpectIdle();
    EXPECT_EQ(m_view.Status(), " Error: SCM Checkout for Browse Failed - review vgt.log.");
    ASSERT_FALSE(m_host.boxes.empty());
    EXPECT_EQ(m_host.boxes.back().text, "Unable to read: " + log);
    EXPECT_FALSE(Traced("CQvrCompareDlg::OnBtnGenBtmReport: END"));
}

// A checkout log that claims more than the temp folder holds ends the run
// before any stale copy is compared.
TEST_F(ReportTest, CheckoutLogThatClaimsTooMuchEndsTheRun) {
    const std::string copy = m_sandbox.TempPath() + "/sub/b.txt";
    // A shell command run once vgt has written, and the problem the run names.
    const std::pair<std::string, std::string> cases[] = {
        {"rm -f '" + copy + "'", "1 file(s) vgt.log reports as checked out are missing: " + copy},
        {"printf 'Total: 0; Success: 0; Failed: 0; Not Processed: 0.\\n' > '" + m_installDir + "/vgt.log'",
         "vgt.log reports no file checked out, but the Top List holds 2."},
    };
    ImportSource({{"a.txt", "a"}, {"sub/b.txt", "b"}});
    WriteLocal("a.txt", "a");
    for (const auto& [command, problem] : cases) {
        m_sandbox.AfterTool("vgt", command);
        m_host.boxes.clear();

        m_workflows.OnBtnGenBtmReport();

        ExpectIdle();
        EXPECT_EQ(m_view.Status(), " Error: SCM Checkout for Browse Failed - review vgt.log.") << command;
        ASSERT_FALSE(m_host.boxes.empty()) << command;
        EXPECT_EQ(m_host.boxes.back().text,
                  "Checkout for Browse Error:\n\n" + problem + "\n\nReview the vgt.log.");
        EXPECT_TRUE(Traced("CQvrCompareDlg::OnBtnGenBtmReport: END Error: " + problem));
        EXPECT_EQ(CountFilledRows(m_bottom), 0);
    }
}

// The checkout must never write into the working copy: the run ends before
// any tool starts, with a stop box.
TEST_F(ReportTest, TempFolderInsideTheLocalPathEndsTheRunBeforeAnyTool) {
    MakeMixedTrees();
    m_view.texts[IDC_TEMPPATH] = Local() + "tmp";
    m_workflows.OnBtnGenBtmReport();
    ExpectIdle();
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].text, "The Temp Directory must not be inside the Local Path, nor the Local Path "
                                    "inside it: " + Local() + "tmp and " + m_sandbox.LocalDir());
    EXPECT_EQ(m_host.boxes[0].icon, MbIcon::Stop);
    EXPECT_EQ(m_view.Status(), " Error: " + m_host.boxes[0].text);
    EXPECT_EQ(CountFilledRows(m_top), 0);
    EXPECT_FALSE(fs::exists(Local() + "tmp"));
}

struct NoFolderCase {
    const char* name;
    const char* typed;     // as typed into the Local Path box
    const char* absolute;  // below the sandbox root, as the run names it
};

class ReportNoFolderTest : public ReportTest, public ::testing::WithParamInterface<NoFolderCase> {};

TEST_P(ReportNoFolderTest, LocalPathThatIsNoFolderEndsTheRunBeforeAnythingRuns) {
    const NoFolderCase& c = GetParam();
    m_sandbox.Root().Write("a-file.txt", "not a folder");
    fs::current_path(m_sandbox.Root().Path());
    m_view.texts[IDC_LOCALPATH] = c.typed;

    m_workflows.OnBtnGenBtmReport();

    const std::string path = m_sandbox.Root().Str() + "/" + c.absolute;
    ExpectIdle();
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].text, "Local Path not found: " + path);
    EXPECT_EQ(m_host.boxes[0].icon, MbIcon::Stop);
    EXPECT_EQ(m_view.Status(), " Error: Local Path not found - check the Local Path.");
    EXPECT_EQ(m_view.texts[IDC_LOCALPATH], path);
    EXPECT_EQ(TraceLines(),
              (std::vector<std::string>{
                  "CQvrCompareDlg::OnBtnGenBtmReport: START",
                  "OnSearchBtn: START The \"Generate Local Files Compare Report\" button was clicked",
                  "CQvrCompareDlg::OnBtnGenBtmReport: END Error: Local Path not found: " + path}));
    // Neither the listing nor the checkout nor the scan ran.
    EXPECT_EQ(CountFilledRows(m_top), 0);
    EXPECT_TRUE(fs::is_empty(m_sandbox.TempPath()));
    EXPECT_EQ(m_bottom.GetItemCount(), kBlankBottomRows);
    EXPECT_EQ(m_view.scannedFolder, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, ReportNoFolderTest,
                         ::testing::Values(NoFolderCase{"Missing", "no/such", "no/such"},
                                           NoFolderCase{"File", "a-file.txt", "a-file.txt"},
                                           NoFolderCase{"BelowAFile", "./a-file.txt/x", "a-file.txt/x"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RelativeCase {
    const char* name;
    const char* typed;
    const char* shown;  // below the sandbox root
};

class ReportRelativeTest : public ReportTest, public ::testing::WithParamInterface<RelativeCase> {};

TEST_P(ReportRelativeTest, RelativeLocalPathIsMadeAbsoluteOnceForTheWholeRun) {
    const RelativeCase& c = GetParam();
    MakeMixedTrees();
    fs::current_path(m_sandbox.Root().Path());
    m_view.texts[IDC_LOCALPATH] = c.typed;
    const std::string shown = m_sandbox.Root().Str() + "/" + c.shown;
    // The box keeps the absolute path, so the second run, which starts inside
    // the folder the first one changed into, scans the same folder.
    for (int run = 0; run < 2; ++run) {
        m_workflows.OnBtnGenBtmReport();
        ExpectIdle();
        EXPECT_TRUE(m_host.boxes.empty()) << m_host.boxes[0].text;
        EXPECT_EQ(m_view.Status(), kReadyAtRoot) << run;
        EXPECT_EQ(m_view.texts[IDC_LOCALPATH], shown);
        EXPECT_EQ(m_settings.context.localPath, shown);
        EXPECT_EQ(m_view.scannedFolder, shown);
        EXPECT_EQ(fs::current_path(), fs::path(m_sandbox.LocalDir()));
        ASSERT_EQ(m_bottom.GetItemCount(), 3) << run;
        EXPECT_EQ(Column(m_bottom, BottomPath),
                  (std::vector<std::string>{Local(), Local() + "src/", Local() + "src/"}));
        std::vector<std::string> statuses = Column(m_bottom, BottomStatus);
        std::sort(statuses.begin(), statuses.end());
        EXPECT_EQ(statuses, (std::vector<std::string>{"Diff", "New", "Same"}));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ReportRelativeTest,
                         ::testing::Values(RelativeCase{"Name", "local", "local"},
                                           RelativeCase{"DotAndTrailingSlash", "./local/", "local/"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReportTest, DanglingLinkWithACounterpartIsSkippedNotAnError) {
    ImportSource({{"gone.txt", "repository text"}, {"kept.txt", "k"}});
    WriteLocal("kept.txt", "k");
    const fs::path link = fs::path(m_sandbox.LocalDir()) / "gone.txt";
    fs::create_symlink(fs::path(m_sandbox.LocalDir()) / "missing.txt", link);

    m_workflows.OnBtnGenBtmReport();

    ExpectIdle();
    EXPECT_TRUE(m_host.boxes.empty()) << m_host.boxes[0].text;
    EXPECT_EQ(m_view.Status(), kReadyAtRoot);
    EXPECT_TRUE(Traced("CFileScan::Scan: Skipped symbolic link whose target does not exist: " + link.string()));
    EXPECT_EQ(TraceLines().back(), "CQvrCompareDlg::OnBtnGenBtmReport: END");
    ASSERT_EQ(m_bottom.GetItemCount(), 1);
    EXPECT_EQ(m_bottom.GetItemText(0, BottomFile), "kept.txt");
    EXPECT_EQ(m_bottom.GetItemText(0, BottomStatus), "Same");
}

// Folders of the sandbox this process holds open, as the system lists its
// descriptors.
int OpenFoldersBelow(const std::string& root) {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        const fs::path target = fs::read_symlink(entry.path(), ec);
        if (!ec && target.string().starts_with(root) && fs::is_directory(target, ec)) ++count;
    }
    return count;
}

struct OutcomeCase {
    const char* name;
    const char* finalStatus;
};

class ReportFoldersClosedTest : public ReportTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(ReportFoldersClosedTest, NoFolderOfTheRunStaysOpenAfterIt) {
    QVR_SKIP_ON_WINDOWS("descriptors listed in /proc");
    const std::string outcome = GetParam().name;
    ImportSource({{"sub/a.txt", "a"}, {"sub/b.txt", "b"}, {"top.txt", "t"}, {"more/c.txt", "c"}});
    WriteLocal("sub/a.txt", "changed");
    WriteLocal("sub/b.txt", "b");
    WriteLocal("more/c.txt", "c");
    WriteLocal("top.txt", "t");
    m_workflows.OnBtnGenTopScmList();
    ASSERT_EQ(CountFilledRows(m_top), 4);
    const std::string root = fs::canonical(m_sandbox.Root().Path()).string();
    const fs::path copy = fs::path(m_sandbox.TempPath()) / "more" / "c.txt";
    int mostOpen = 0;
    bool cancelled = false;
    m_pump.onPump = [&] {
        mostOpen = std::max(mostOpen, OpenFoldersBelow(root));
        // The compares read the copies the checkout wrote; one goes once the scan has begun.
        std::error_code ec;
        const bool scanning = !m_view.scannedFolder.empty();
        if (outcome == "FileError" && scanning && fs::exists(copy, ec)) fs::remove(copy, ec);
        if (outcome == "Cancel" && g_reportInProgress && CountFilledRows(m_bottom) >= 2) {
            cancelled = true;
            m_workflows.OnBtnGenBtmReport();
        }
    };

    m_workflows.OnBtnGenBtmReport();

    ExpectIdle();
    // On a busy machine the compares may list every row only after the scan's
    // last pump: then nothing was cancelled.
    const std::string finalStatus = outcome == "Cancel" && !cancelled ? " Ready" : GetParam().finalStatus;
    EXPECT_EQ(m_view.Status().substr(0, finalStatus.size()), finalStatus);
    EXPECT_GT(mostOpen, 0) << "the compares kept no folder open: nothing was tested";
    EXPECT_EQ(OpenFoldersBelow(root), 0);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, ReportFoldersClosedTest,
                         ::testing::Values(OutcomeCase{"Success", " Ready"},
                                           OutcomeCase{"Cancel", " Cancelled - the list is incomplete."},
                                           OutcomeCase{"FileError", " File Not Found. File Name: "}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReportTest, UnlistableFolderIsTracedAndOneWarningFollowsTheList) {
    QVR_SKIP_ON_WINDOWS("POSIX permissions");
    ImportSource({{"a.txt", "a"}});
    m_workflows.OnBtnGenTopScmList();
    ASSERT_EQ(CountFilledRows(m_top), 1);
    m_settings.display = DisplayOptions{1, 0, 0, 1, 0};  // New only: no checkout
    WriteLocal("a.txt", "a");
    WriteLocal("new.txt", "n");
    WriteLocal("locked/hidden.txt", "h");
    WriteLocal("locked/deeper/more.txt", "m");
    WriteLocal("shut/x.txt", "x");
    ASSERT_TRUE(GiveTreeToUnprivileged(m_sandbox.Root().Str()));
    for (const char* folder : {"locked", "shut"}) {
        fs::permissions(fs::path(m_sandbox.LocalDir()) / folder, fs::perms::none);
    }
    m_host.boxes.clear();

    // Permissions bind only an unprivileged process: the run happens in one.
    const std::optional<std::string> seen = RunUnprivileged([&] {
        std::ostringstream out;
        m_host.onBox = [&] {
            out << "box while " << (m_view.locked ? "locked" : "unlocked") << ", status" << m_view.Status() << "\n";
        };
        m_workflows.OnBtnGenBtmReport();
        for (const RecordedBox& box : m_host.boxes) {
            out << "box: " << box.text << (box.icon == MbIcon::Exclamation ? " (exclamation)" : "") << "\n";
        }
        out << "status:" << m_view.Status() << "\n";
        out << "rows: " << CountFilledRows(m_bottom) << " " << m_view.texts[IDC_BTMCOUNT] << "\n";
        for (const std::string& line : TraceLines()) {
            if (line.starts_with("CFileScan::")) out << line << "\n";
        }
        out << "last: " << TraceLines().back() << "\n";
        return out.str();
    });

    ASSERT_TRUE(seen.has_value()) << "the unprivileged child failed";
    const std::string local = m_sandbox.LocalDir() + "/";
    const std::string expectedStart =
        "box while unlocked, status Ready - Repository folder: \\\n"
        "box: 2 folder(s) could not be read; the report is incomplete - see the trace. (exclamation)\n"
        "status: Ready - Repository folder: \\\n"
        "rows: 1 1\n";
    EXPECT_EQ(seen->substr(0, expectedStart.size()), expectedStart) << *seen;
    for (const char* folder : {"locked", "shut"}) {
        const std::string line =
            "CFileScan::Scan: Folder could not be read: " + local + folder + "/ (Permission denied)\n";
        EXPECT_NE(seen->find(line), std::string::npos) << *seen;
    }
    EXPECT_NE(seen->find("last: CQvrCompareDlg::OnBtnGenBtmReport: END\n"), std::string::npos) << *seen;
}

}  // namespace
}  // namespace qvr::testing
