// The populate workflow against the stand-in tools: validation, the broker
// check, the listing, its errors, posting and both ways of cancelling.

#include <chrono>

#include "app/busy_flags.h"
#include "workflow_fixture.h"

namespace qvr::testing {
namespace {

using namespace res;

class PopulateTest : public WorkflowTest {
protected:
    // The end state every populate run leaves, whatever happened.
    void ExpectIdle() {
        EXPECT_EQ(g_populateInProgress, 0);
        EXPECT_EQ(m_view.texts[IDC_GEN_TOP], kPopulateCaption);
        EXPECT_FALSE(m_view.locked);
        EXPECT_FALSE(m_view.blinking);
        EXPECT_EQ(m_view.cursorDepth, 0);
    }
};

struct ValidationCase {
    const char* name;
    int clearedId;
    const char* message;  // nullptr: no message box
    const char* status;
    bool endTraced;
};

class PopulateValidationTest : public PopulateTest,
                               public ::testing::WithParamInterface<ValidationCase> {};

TEST_P(PopulateValidationTest, MissingInputEndsTheRunBeforeAnyTool) {
    const ValidationCase& c = GetParam();
    m_top.SetItemText(3, 2, "kept");
    m_view.texts[c.clearedId] = "";
    m_view.texts[IDC_TOPCOUNT] = "17";

    m_workflows.OnBtnGenTopScmList();

    ExpectIdle();
    EXPECT_EQ(m_view.Status(), c.status);
    EXPECT_EQ(m_view.texts[IDC_TOPCOUNT], "");
    EXPECT_EQ(m_top.GetItemCount(), kBlankTopRows);
    EXPECT_EQ(m_top.GetItemText(3, 2), "kept");
    if (c.message) {
        ASSERT_EQ(m_host.boxes.size(), 1u);
        EXPECT_EQ(m_host.boxes[0].text, c.message);
        EXPECT_EQ(m_host.boxes[0].icon, MbIcon::None);
        EXPECT_EQ(m_host.boxes[0].buttons, MbButtons::Ok);
    } else {
        EXPECT_TRUE(m_host.boxes.empty());
    }
    const auto lines = TraceLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "OnSearchBtn: START The \"Populate List from Quorvan Repository\" button was clicked");
    EXPECT_EQ(lines.back() == "CQvrCompareDlg::OnBtnGenTopScmList: END", c.endTraced);
    EXPECT_EQ(lines.size(), c.endTraced ? 3u : 2u);
    // The context keeps what was read, also on failure.
    EXPECT_EQ(m_settings.context.password, c.clearedId == IDC_PASSWORD ? "" : QuorvanSandbox::kPassword);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PopulateValidationTest,
    ::testing::Values(
        ValidationCase{"Project", IDC_PROJECT, "Project name is required.", " Ready", false},
        ValidationCase{"State", IDC_STATE, "State name is required.", " Ready", false},
        ValidationCase{"Broker", IDC_BROKER, nullptr,
                       " Error: Part of context is not set (not including Package)", true},
        ValidationCase{"User", IDC_USERID, nullptr,
                       " Error: Part of context is not set (not including Package)", true},
        ValidationCase{"Password", IDC_PASSWORD, nullptr,
                       " Error: Part of context is not set (not including Package)", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PopulateTest, SuccessfulRunPostsSortedRowsAndTracesTheRoad) {
    ImportSource({{"zeta.txt", "z"}, {"src/alpha.cpp", "a"}, {"src/deep/mid.h", "m"}});

    m_workflows.OnBtnGenTopScmList();

    ExpectIdle();
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_EQ(m_view.Status(),
              " Ready - Set Show New or Show Different Files or both, then click the \"Generate Local "
              "Files Compare Report\" button.");
    EXPECT_EQ(m_view.texts[IDC_TOPCOUNT], "3");
    EXPECT_EQ(CountFilledRows(m_top), 3);
    EXPECT_EQ(Column(m_top, 2), (std::vector<std::string>{"\\", "\\src", "\\src\\deep"}));
    EXPECT_EQ(Column(m_top, 1), (std::vector<std::string>{"zeta.txt", "alpha.cpp", "mid.h"}));
    for (const std::string& record : Column(m_top, 0)) EXPECT_EQ(record.size(), 4u) << record;
    EXPECT_EQ(m_view.events.front(), "DisableForRun(2022)");
    EXPECT_EQ(m_settings.context.project, "PROJ");

    const auto lines = TraceLines();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "CQvrCompareDlg::OnBtnGenTopScmList: START");
    EXPECT_EQ(lines[1], "OnSearchBtn: START The \"Populate List from Quorvan Repository\" button was clicked");
    EXPECT_EQ(lines[2], "CQvrCompareDlg::CheckForBroker: START");
    EXPECT_TRUE(lines[3].starts_with("CQvrCompareDlg::RunVQRY: ExecuteWait vqry ")) << lines[3];
    EXPECT_TRUE(lines[4].starts_with("CQvrCompareDlg::CheckForBroker: END - Broker is Available. Result="))
        << lines[4];
    EXPECT_EQ(lines[5], "CQvrCompareDlg::RunVLX: START");
    EXPECT_TRUE(lines[6].starts_with("CQvrCompareDlg::RunVLX: vlx ")) << lines[6];
    EXPECT_EQ(lines[7], "CqvrCompareDlg::RunVLX: END return code=1");
    EXPECT_EQ(lines[8], "CQvrCompareDlg::PostTopList START");
    EXPECT_EQ(lines[9], "CQvrCompareDlg::PostTopList END  Count=3");
    EXPECT_EQ(lines[10], "CQvrCompareDlg::OnBtnGenTopScmList: END");
    for (int i : {3, 6}) {
        EXPECT_NE(lines[i].find("-pw ******"), std::string::npos) << lines[i];
        EXPECT_EQ(lines[i].find("pa ss"), std::string::npos) << lines[i];
    }
}

TEST_F(PopulateTest, SecondRunReplacesTheRowsOfTheFirst) {
    ImportSource({{"a.txt", "a"}, {"b.txt", "b"}});
    m_workflows.OnBtnGenTopScmList();
    ASSERT_EQ(CountFilledRows(m_top), 2);
    m_workflows.OnBtnGenTopScmList();
    EXPECT_EQ(m_top.GetItemCount(), 2);
    EXPECT_EQ(Column(m_top, 1), (std::vector<std::string>{"a.txt", "b.txt"}));
}

struct ListingFailure {
    const char* name;
    const char* project;
    const char* state;
    const char* status;
    const char* messagePrefix;
    const char* tracePrefix;
    int rowsAfter;  // a failed broker check leaves the old rows below the blank ones
};

class PopulateFailureTest : public PopulateTest, public ::testing::WithParamInterface<ListingFailure> {};

TEST_P(PopulateFailureTest, FailureIsReportedAndLeavesBlankRowsOnTop) {
    const ListingFailure& c = GetParam();
    ImportSource({{"a.txt", "a"}});
    m_view.texts[IDC_PROJECT] = c.project;
    m_view.texts[IDC_STATE] = c.state;

    m_workflows.OnBtnGenTopScmList();

    ExpectIdle();
    EXPECT_EQ(m_view.Status(), c.status);
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_TRUE(m_host.boxes[0].text.starts_with(c.messagePrefix)) << m_host.boxes[0].text;
    EXPECT_EQ(m_host.boxes[0].icon, MbIcon::Stop);
    EXPECT_EQ(CountFilledRows(m_top), 0);
    EXPECT_EQ(m_top.GetItemCount(), c.rowsAfter);
    const auto lines = TraceLines();
    EXPECT_TRUE(lines.back().starts_with(c.tracePrefix)) << lines.back();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PopulateFailureTest,
    ::testing::Values(
        // An unknown project gives the broker check zero results.
        ListingFailure{"UnknownProject", "NOPE", "DEV", " Error: Unable to Connect to the Broker",
                       "Error: Unable to Connect to the Broker.",
                       "CQvrCompareDlg::OnBtnGenTopScmList: END Error: Unable to Connect to the Broker", 20},
        // The project exists, the state does not: the listing has an error line.
        ListingFailure{"UnknownState", "PROJ", "NOSTATE", " Error: Read vlx.log Failed", "Error: Error: ",
                       "CQvrCompareDlg::OnBtnGenTopScmList: END Read Vlx.log Error: Error: ", 10}),
    [](const auto& info) { return std::string(info.param.name); });

// The broker check's failure box carries the tool's own reason when it gave
// one: a refused login says so instead of only "Unable to Connect".
TEST_F(PopulateTest, BrokerFailureBoxShowsTheToolsErrorLine) {
    struct Case {
        const char* name;
        const char* password;
        const char* project;
        std::string box;
    };
    const Case cases[] = {
        {"wrong password", "wrong-pw", "PROJ",
         "Error: Unable to Connect to the Broker.\n\nError: Login failed for user alice: invalid user id or "
         "password"},
        {"unknown project: no error line", QuorvanSandbox::kPassword, "NOPE",
         "Error: Unable to Connect to the Broker."},
    };
    ImportSource({{"a.txt", "a"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_host.boxes.clear();
        m_view.texts[IDC_PASSWORD] = c.password;
        m_view.texts[IDC_PROJECT] = c.project;
        m_workflows.OnBtnGenTopScmList();
        ExpectIdle();
        EXPECT_EQ(m_view.Status(), " Error: Unable to Connect to the Broker");
        ASSERT_EQ(m_host.boxes.size(), 1u);
        EXPECT_EQ(m_host.boxes[0].text, c.box);
        EXPECT_EQ(m_host.boxes[0].text.find(c.password), std::string::npos);
    }
}

TEST_F(PopulateTest, MissingListingToolShowsNotFoundAndKeepsTheTopList) {
    ImportSource({{"a.txt", "a"}});
    m_top.SetItemText(0, 0, "0001");
    m_sandbox.HideTool("vlx");
    m_workflows.OnBtnGenTopScmList();
    ExpectIdle();
    EXPECT_EQ(m_view.Status(), " Error: Execute RUNVLX Failed");
    ASSERT_EQ(m_host.boxes.size(), 2u);
    EXPECT_TRUE(m_host.boxes[0].text.starts_with("Executable Not Found: 'vlx ")) << m_host.boxes[0].text;
    EXPECT_EQ(m_host.boxes[0].icon, MbIcon::Exclamation);
    EXPECT_EQ(m_host.boxes[1].text, "Error: Execute RUNVLX Failed.");
    EXPECT_EQ(m_host.boxes[1].icon, MbIcon::Stop);
    EXPECT_EQ(m_top.GetItemCount(), kBlankTopRows);
    EXPECT_EQ(m_top.GetItemText(0, 0), "0001");
}

TEST_F(PopulateTest, CancelWhileTheListingToolRunsEndsAtOnce) {
    ImportSource({{"a.txt", "a"}});
    m_sandbox.SlowDown("vlx", 4000);
    const auto started = std::chrono::steady_clock::now();
    auto clickedAt = started;
    m_pump.onPump = [&] {
        // The second click arrives from inside the launcher's wait.
        if (m_view.texts[IDC_GEN_TOP] == kCancelCaption && m_pump.pumpCount == 1) {
            clickedAt = std::chrono::steady_clock::now();
            m_workflows.OnBtnGenTopScmList();
        }
    };

    m_workflows.OnBtnGenTopScmList();

    const auto unwound = std::chrono::steady_clock::now() - clickedAt;
    EXPECT_LT(unwound, std::chrono::milliseconds(1500));
    ExpectIdle();
    EXPECT_EQ(m_view.Status(), " Ready");
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_EQ(CountFilledRows(m_top), 0);
    const auto lines = TraceLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "OnSearchBtn: END The \"Cancel\" button was clicked"),
              lines.end());
}

TEST_F(PopulateTest, PostingShowsTheCountEveryThousandRowsAndSorts) {
    for (int i = 1; i <= 2500; ++i) {
        RepoFileRecord record;
        record.File = "f" + std::to_string(i);
        record.Path = "\\p" + std::to_string(2500 - i + 10000);
        m_records.SetAt(std::to_string(i), record);
    }
    g_populateInProgress = 1;
    m_workflows.PostTopList();

    const auto& counts = m_view.history[IDC_TOPCOUNT];
    EXPECT_EQ(counts, (std::vector<std::string>{"", "1000", "2000", "2500"}));
    EXPECT_EQ(m_pump.pumpCount, 2500);
    EXPECT_EQ(m_pump.paintCount, 2);
    ASSERT_EQ(m_top.GetItemCount(), 2500);
    EXPECT_EQ(m_top.GetItemText(0, 2), "\\p10000");
    EXPECT_EQ(m_top.GetItemText(0, 0), "2500");
    EXPECT_EQ(m_top.GetItemText(2499, 0), "0001");
    EXPECT_EQ(TraceLines().back(), "CQvrCompareDlg::PostTopList END  Count=2500");
}

// A long list is sorted while the window keeps pumping; a Cancel then
// leaves every posted row where it was posted.
TEST_F(PopulateTest, CancelWhileALongListSortsKeepsThePostedOrder) {
    constexpr int kRecords = 12'000;
    for (int i = 1; i <= kRecords; ++i) {
        RepoFileRecord record;
        record.File = "f";
        record.Path = "\\p" + std::to_string(kRecords - i + 10000);
        m_records.SetAt(std::to_string(i), record);
    }
    m_pump.onPump = [&] {
        if (m_view.Status() == " WAIT - Sorting Top List by Path") g_populateInProgress = 0;
    };
    g_populateInProgress = 1;
    m_workflows.PostTopList();

    EXPECT_EQ(m_records.GetCount(), 0);
    ASSERT_EQ(m_top.GetItemCount(), kRecords);
    EXPECT_EQ(m_top.GetItemText(0, 0), "12000");
    EXPECT_EQ(m_top.GetItemText(0, 2), "\\p10000");
    EXPECT_EQ(m_top.GetItemText(kRecords - 1, 2), "\\p21999");
    EXPECT_EQ(m_view.texts[IDC_TOPCOUNT], "12000");
}

// The order of a long list is worked out while its rows are posted; a
// Cancel then keeps the records not posted, and only those.
TEST_F(PopulateTest, CancelWhileALongListIsPostedKeepsTheRecordsNotPosted) {
    constexpr int kRecords = 12'000;
    for (int i = 1; i <= kRecords; ++i) {
        RepoFileRecord record;
        record.File = "f" + std::to_string(i);
        record.Path = "\\p" + std::to_string(i % 7);
        m_records.SetAt(std::to_string(i), record);
    }
    m_pump.onPump = [&] {
        if (CountFilledRows(m_top) == 5000) g_populateInProgress = 0;
    };
    g_populateInProgress = 1;
    m_workflows.PostTopList();

    ASSERT_EQ(m_top.GetItemCount(), 5000);
    EXPECT_EQ(m_top.GetItemText(0, 1), "f5000");
    ASSERT_EQ(m_records.GetCount(), kRecords - 5000);
    EXPECT_EQ(m_records.FirstFields().Field(0), "f5001");
}

TEST_F(PopulateTest, CancelDuringPostingKeepsThePostedRowsUnsorted) {
    ImportSource({{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}, {"d.txt", "d"}, {"e.txt", "e"}});
    m_pump.onPump = [&] {
        if (CountFilledRows(m_top) == 3 && g_populateInProgress) m_workflows.OnBtnGenTopScmList();
    };

    m_workflows.OnBtnGenTopScmList();

    ExpectIdle();
    // Rows stay in reverse order of posting, and the box shows their number.
    EXPECT_EQ(Column(m_top, 0), (std::vector<std::string>{"0003", "0002", "0001"}));
    EXPECT_EQ(m_view.texts[IDC_TOPCOUNT], "3");
    // The part is said to be one, not offered for a report.
    EXPECT_EQ(m_view.Status(), " Cancelled - the list is incomplete.");
}

TEST_F(PopulateTest, BlankCaptionDuringTheBlinkAlsoCancels) {
    g_populateInProgress = 1;
    m_view.texts[IDC_GEN_TOP] = "";
    m_view.texts[IDC_STATUS] = "";
    m_workflows.OnBtnGenTopScmList();
    ExpectIdle();
    EXPECT_EQ(m_view.Status(), " Ready");
    EXPECT_EQ(m_top.GetItemCount(), 2 * kBlankTopRows);
    EXPECT_EQ(TraceLines(), (std::vector<std::string>{"CQvrCompareDlg::OnBtnGenTopScmList: START",
                                                      "OnSearchBtn: END The \"Cancel\" button was clicked",
                                                      "CQvrCompareDlg::OnBtnGenTopScmList: END"}));
}

}  // namespace
}  // namespace qvr::testing
