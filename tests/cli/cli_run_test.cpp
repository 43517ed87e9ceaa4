// How a finished workflow turns into the exit status.

#include "cli/cli_run.h"

#include <gtest/gtest.h>

#include "compare/classifier.h"
#include "workflow/compare_workflows.h"

namespace qvr::cli {
namespace {

TEST(CliRunTest, RunSucceededOnlyWithoutAnyErrorSign) {
    struct Case {
        RunOutcome outcome;
        bool succeeded;
    };
    const Case cases[] = {
        {{" Ready", false, 0}, true},
        {{" Ready - No files found to populate the Bottom list based on selection.", false, 0}, true},
        {{" Ready - Set Show New or Show Different Files or both, then click the \"Generate Local Files "
          "Compare Report\" button.", false, 0}, true},
        {{" Ready", true, 0}, false},   // a populate inside the report failed
        {{" Ready", false, 1}, false},  // a box was shown (checkout item error, launch failure)
        {{" Error: Read vlx.log Failed", true, 1}, false},
        {{" Local Path cannot be blank.", false, 1}, false},
        {{" Access Denied. File Name: /src/a.c", false, 0}, false},
        {{" Error: Part of context is not set (not including Package)", true, 0}, false},
        {{"", false, 0}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(RunSucceeded(c.outcome), c.succeeded) << c.outcome.finalStatus;
}

TEST(CliRunTest, ReportExitStatusAndSummaryFollowTheListedStatuses) {
    struct Case {
        std::vector<std::string> statuses;
        int exitStatus;
        std::string summary;
    };
    const Case cases[] = {
        {{}, kExitSuccess, "0 files listed"},
        {{"Same", "Same"}, kExitSuccess, "2 files listed: 2 Same"},
        {{"Same", "New"}, kExitDifferences, "2 files listed: 1 New, 1 Same"},
        {{"Diff"}, kExitDifferences, "1 file listed: 1 Diff"},
        {{"Missing", "Diff", "New", "Same"}, kExitDifferences, "4 files listed: 1 New, 1 Diff, 1 Same, 1 Missing"},
    };
    for (const Case& c : cases) {
        ReportTable bottom;
        bottom.ApplyColumnSpec(kBottomListColumnSpec);
        for (std::size_t row = 0; row < c.statuses.size(); ++row) {
            const int at = bottom.InsertItem(static_cast<int>(row), std::to_string(row + 1));
            bottom.SetItemText(at, BottomStatus, c.statuses[row]);
        }
        if (c.statuses.empty()) AddBlankRows(bottom, kBlankBottomRows);
        EXPECT_EQ(ReportExitStatus(bottom), c.exitStatus) << c.statuses.size();
        EXPECT_EQ(SummaryLine(true, bottom), c.summary);
    }
}

}  // namespace
}  // namespace qvr::cli
