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

// A "!" or "Error: " inside a name is part of the name: the listing's error
// lines are free text, so such files are listed and compared like any other.
TEST_F(HostileNamesTest, NamesHoldingErrorMarksAreListedAndCompared) {
    ImportSource({{"plain.txt", "x"}, {"wow!.txt", "y"}, {"!old", "o"}, {"my Error: notes", "n"}});
    WriteLocal("plain.txt", "x");
    WriteLocal("wow!.txt", "changed");
    WriteLocal("!old", "o");
    WriteLocal("my Error: notes", "n");

    m_workflows.OnBtnGenBtmReport();

    EXPECT_TRUE(m_host.boxes.empty()) << m_host.boxes[0].text;
    EXPECT_EQ(StatusByFile(), (std::map<std::string, std::string>{
                                  {"plain.txt", "Same"}, {"wow!.txt", "Diff"}, {"!old", "Same"}, {"my Error: notes", "Same"}}));
}

}  // namespace
}  // namespace qvr::testing
