// File names that trip up command lines and text formats: blanks, double
// quotes, percent signs, non-ASCII letters and names a shell would expand. A
// compare report over them must list every file under its exact name, and
// check each one out and compare it, without losing or renaming any.

#include <algorithm>
#include <map>

#include "app/busy_flags.h"
#include "workflow_fixture.h"

namespace qvr::testing {
namespace {

using namespace res;

class HostileNamesTest : public WorkflowTest {
protected:
    void WriteLocal(const std::string& path, const std::string& content) {
        m_sandbox.Root().Write("local/" + path, content);
    }
    std::map<std::string, std::string> StatusByFile() const {
        std::map<std::string, std::string> statusOf;
        for (int row = 0; row < m_bottom.GetItemCount(); ++row) {
            statusOf[std::string(m_bottom.GetItemText(row, BottomFile))] = m_bottom.GetItemText(row, BottomStatus);
        }
        return statusOf;
    }
};

TEST_F(HostileNamesTest, EveryNameIsListedCheckedOutAndComparedWhole) {
    const std::vector<std::string> names = {
        "two  blanks.txt", "quote\"inside.txt", "100%done.txt", "%s%d%n.txt",
        "$HOME;rm -rf.txt", "`tick`&*?.txt", "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC.txt",
        "folder with blanks/inner 'single'.txt"};
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& name : names) files.emplace_back(name, "content of " + name);
    ImportSource(files);
    for (const std::string& name : names) WriteLocal(name, "content of " + name);
    WriteLocal("%s%d%n.txt", "changed locally");

    m_workflows.OnBtnGenBtmReport();

    EXPECT_TRUE(m_host.boxes.empty()) << m_host.boxes[0].text;
    EXPECT_EQ(m_view.Status(), kReadyAtRoot);
    EXPECT_EQ(g_reportInProgress, 0);
    std::map<std::string, std::string> expected;
    for (const std::string& name : names) {
        expected[name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1)] = "Same";
    }
    expected["%s%d%n.txt"] = "Diff";
    EXPECT_EQ(StatusByFile(), expected);
}

TEST_F(HostileNamesTest, ExclamationMarkInARepositoryNameIsReportedAsTheListingError) {
    // The listing log treats any line with "!" as the tool's error message, so
    // such a name cannot be listed; the run must say so, naming the line,
    // rather than quietly show a partial repository.
    ImportSource({{"plain.txt", "x"}, {"wow!.txt", "y"}});
    WriteLocal("plain.txt", "x");

    m_workflows.OnBtnGenBtmReport();

    EXPECT_EQ(g_reportInProgress, 0);
    EXPECT_EQ(g_populateInProgress, 0);
    ASSERT_FALSE(m_host.boxes.empty());
    EXPECT_TRUE(m_host.boxes[0].text.starts_with("Error: ")) << m_host.boxes[0].text;
    EXPECT_NE(m_host.boxes[0].text.find("wow!.txt"), std::string::npos) << m_host.boxes[0].text;
    EXPECT_EQ(m_host.boxes[0].icon, MbIcon::Stop);
    const auto lines = TraceLines();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& line) {
                               return line.starts_with("CQvrCompareDlg::OnBtnGenTopScmList: END Read Vlx.log Error: ") &&
                                      line.find("wow!.txt") != std::string::npos;
                           }),
              lines.end());
}

}  // namespace
}  // namespace qvr::testing
