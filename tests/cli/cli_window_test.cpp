// The window on standard error: status texts and boxes as lines, the error
// marks the exit status is decided from, and the default answers.

#include "cli/cli_window.h"

#include <gtest/gtest.h>

#include <sstream>

#include "res/resource.h"

namespace qvr::cli {
namespace {

using namespace res;

class CliWindowTest : public ::testing::Test {
protected:
    std::ostringstream m_err;
    CliConsole m_console{m_err, false};
    CliWorkflowView m_view{m_console};
    CliMessageBoxHost m_host{m_console};
};

TEST_F(CliWindowTest, StatusChangesArePrintedOnceEachInTheCommandLinesWords) {
    CliWorkflowView view(m_console, true);
    view.SetControlText(IDC_STATUS, " WAIT - Sorting Top List by Path");
    view.SetControlText(IDC_STATUS, " WAIT - Sorting Top List by Path");
    view.SetControlText(IDC_STATUS, " Ready - RunVgt was successful.");
    view.SetControlText(IDC_TOPCOUNT, "1000");
    view.SetControlText(IDC_STATUS, "");
    view.StopBlinkTimer();
    view.SetControlText(IDC_STATUS, " Error: Read vlx.log Failed");
    EXPECT_EQ(m_err.str(), "qvrcompare-cli: sorting the list by path\nqvrcompare-cli: Error: Read vlx.log Failed\n");
    EXPECT_EQ(view.Status(), " Error: Read vlx.log Failed");
    // Without notes (no terminal, or --quiet) only the failures are told.
    m_view.SetControlText(IDC_STATUS, " WAIT - Sorting Top List by Path");
    m_view.SetControlText(IDC_STATUS, "");
    m_view.StopBlinkTimer();
    m_view.SetControlText(IDC_STATUS, " Local Path cannot be blank.");
    EXPECT_EQ(m_err.str(), "qvrcompare-cli: sorting the list by path\nqvrcompare-cli: Error: Read vlx.log Failed\n"
                           "qvrcompare-cli: Local Path cannot be blank.\n");
    m_view.SetControlText(IDC_STATUS, "");
    m_view.StopBlinkTimer();
    EXPECT_EQ(m_view.Status(), " Ready");
    EXPECT_EQ(view.GetControlText(IDC_TOPCOUNT), "1000");
}

TEST_F(CliWindowTest, AnErrorStatusIsRememberedWhenLaterTextsReplaceIt) {
    m_view.SetControlText(IDC_STATUS, " Error: Unable to Connect to the Broker");
    m_view.SetControlText(IDC_STATUS, " Ready");
    EXPECT_TRUE(m_view.ErrorStatusSeen());
    CliWorkflowView other(m_console);
    other.SetControlText(IDC_STATUS, "CQvrCompareDlg::OnBtnGenBtmReport: END Error Checkout for Browse is zero size");
    EXPECT_FALSE(other.ErrorStatusSeen());
}

TEST_F(CliWindowTest, EditTextsAreReadBackAsTheWindowReadsThem) {
    m_view.SetControlText(IDC_PROJECT, std::string(300, 'x'));
    EXPECT_EQ(m_view.GetControlText(IDC_PROJECT), std::string(254, 'x'));
    EXPECT_EQ(m_view.GetControlText(IDC_STATE), "");
}

TEST_F(CliWindowTest, BoxesArePrintedCountedAndAnsweredWithTheirDefault) {
    EXPECT_EQ(m_host.MessageBox("Error: Execute RUNVLX Failed.", MbButtons::Ok, MbIcon::Stop), IDOK);
    EXPECT_EQ(m_host.MessageBox("Overwrite?", MbButtons::YesNo, MbIcon::Question), IDYES);
    EXPECT_EQ(m_host.MessageBox("Go on?", MbButtons::OkCancel, MbIcon::None), IDOK);
    EXPECT_EQ(m_host.BoxCount(), 3);
    EXPECT_EQ(m_err.str(),
              "qvrcompare-cli: Error: Execute RUNVLX Failed.\nqvrcompare-cli: Overwrite?\nqvrcompare-cli: Go on?\n");
    EXPECT_FALSE(m_host.BrowseForFolder("Select a directory...", "/").has_value());
    EXPECT_FALSE(m_host.GetSaveFileName("/", "CSV Files (*.csv)").has_value());
}

}  // namespace
}  // namespace qvr::cli
