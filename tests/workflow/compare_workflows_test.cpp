// The texts a file exception's cause turns into, and the blank rows.

#include <gtest/gtest.h>

#include "ui/workflow/compare_workflows.h"
#include "support/param_names.h"

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
                      CauseCase{0, "File Error"}, CauseCase{2, "File Error"}, CauseCase{6, "File Error"},
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

}  // namespace
}  // namespace qvr::testing
