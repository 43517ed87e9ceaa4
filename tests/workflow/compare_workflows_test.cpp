// The texts a file exception's cause turns into, the blank rows, and what
// the Cancel of either workflow does to the tool it abandons.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/busy_flags.h"
#include "support/param_names.h"
#include "support/test_platform.h"
#include "workflow/compare_workflows.h"
#include "workflow_fixture.h"

namespace qvr::testing {
namespace {

struct CauseCase {
    int cause;
    const char* words;
};

class FileErrorTextsTest : public ::testing::TestWithParam<CauseCase> {};

TEST_P(FileErrorTextsTest, CauseNamesTraceAndStatus) {
    const CauseCase& c = GetParam();
    const FileErrorTexts texts = FileErrorTextsFor(c.cause, "/t/x.c");
    EXPECT_EQ(texts.trace,
              std::string("CQvrCompareDlg::OnBtnGenBtmReport: END Error: ") + c.words + " - File Name: /t/x.c");
    EXPECT_EQ(texts.status, std::string(" ") + c.words + ". File Name: /t/x.c");
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FileErrorTextsTest,
    ::testing::Values(CauseCase{1, "File Operation Error"}, CauseCase{3, "Bad Path"},
                      CauseCase{4, "Too Many Open Files"}, CauseCase{5, "Access Denied"},
                      CauseCase{8, "Directory Full"}, CauseCase{11, "Sharing Violation"},
                      CauseCase{12, "Lock Violation"}, CauseCase{13, "Disk Full"},
                      // Every other cause is a plain file error.
                      CauseCase{2, "File Not Found"},
                      CauseCase{0, "File Error"}, CauseCase{6, "File Error"},
                      CauseCase{7, "File Error"}, CauseCase{9, "File Error"}, CauseCase{10, "File Error"},
                      CauseCase{14, "File Error"}, CauseCase{99, "File Error"}, CauseCase{-1, "File Error"}),
    ::qvr::testing::CaseIndexName());

TEST(AddBlankRowsTest, BlankRowsGoOnTopAndMakeTheListCountAsEmpty) {
    ReportTable table;
    table.ApplyColumnSpec(kTopListColumnSpec);
    table.InsertItem(0, "0001");
    AddBlankRows(table, kBlankTopRows);
    EXPECT_EQ(table.GetItemCount(), 11);
    EXPECT_EQ(table.GetItemText(10, 0), "0001");
    EXPECT_EQ(CountFilledRows(table), 0);
}

// The stand-in tools wait QUORVAN_DELAY_MS before they work. Cancel clicked
// while the tool waits must end it: its process is gone (not a zombie) when
// the workflow returns, and nothing appears in the temp folder or the install
// folder once the delay would have run out.
class AbandonedToolTest : public WorkflowTest {
protected:
    ~AbandonedToolTest() override { ::unsetenv("QUORVAN_DELAY_MS"); }
};

TEST_F(AbandonedToolTest, CancelEndsTheToolBeforeItCanWriteAnything) {
    QVR_SKIP_ON_WINDOWS("the stand-in tools are POSIX programs");
    struct Case {
        const char* name;
        const char* tool;
        const char* log;
        bool report;
    };
    const Case cases[] = {
        {"populate, listing tool", "vlx", "vlx.log", false},
        {"compare report, checkout tool", "vgt", "vgt.log", true},
    };
    ImportSource({{"a.txt", "a"}, {"sub/b.txt", "b"}});
    m_sandbox.Root().Write("local/a.txt", "a");
    constexpr int kDelayMs = 1500;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.report) {
            m_workflows.OnBtnGenTopScmList();
            ASSERT_EQ(CountFilledRows(m_top), 2);
        }
        std::filesystem::remove(m_installDir + "/" + c.log);
        ::setenv("QUORVAN_DELAY_MS", std::to_string(kDelayMs).c_str(), 1);
        std::uint32_t pid = 0;
        m_pump.onPump = [&] {
            if (pid != 0) return;
            const auto tools = OwnChildProcesses(c.tool);
            if (tools.empty()) return;
            pid = tools.front();
            // The second click on the running workflow's button.
            if (c.report) {
                m_workflows.OnBtnGenBtmReport();
            } else {
                m_workflows.OnBtnGenTopScmList();
            }
        };
        const auto started = std::chrono::steady_clock::now();
        if (c.report) {
            m_workflows.OnBtnGenBtmReport();
        } else {
            m_workflows.OnBtnGenTopScmList();
        }
        m_pump.onPump = nullptr;
        ::unsetenv("QUORVAN_DELAY_MS");

        ASSERT_NE(pid, 0u);
        EXPECT_FALSE(ProcessEntryExists(pid));
        EXPECT_EQ(g_populateInProgress, 0);
        EXPECT_EQ(g_reportInProgress, 0);
        EXPECT_EQ(m_view.Status(), " Ready");
        // Well past the moment the tool would have started to write.
        std::this_thread::sleep_until(started + std::chrono::milliseconds(kDelayMs + 1000));
        EXPECT_TRUE(std::filesystem::is_empty(m_sandbox.TempPath()));
        for (const auto& entry : std::filesystem::directory_iterator(m_installDir)) {
            EXPECT_EQ(entry.path().filename().string().rfind(c.log, 0), std::string::npos) << entry.path();
        }
        EXPECT_EQ(ZombieChildCount(), 0);
    }
}

}  // namespace
}  // namespace qvr::testing
