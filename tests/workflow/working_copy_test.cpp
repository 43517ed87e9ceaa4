// The report on working copies of parts of one repository, against the real
// stand-in tools.

#include <filesystem>
#include <map>

#include "app/platform.h"
#include "support/test_platform.h"
#include "workflow_fixture.h"

namespace qvr::testing {
namespace {

namespace fs = std::filesystem;
using Files = std::vector<std::pair<std::string, std::string>>;

// Two parts of one project with files of the same names, a vendored copy of
// one part's subtree, and a file whose name also lives in a subfolder.
const Files kRepository = {
    {"client/README", "client readme"},     {"client/include/api.h", "client api"},
    {"client/src/main.c", "client main"},   {"server/README", "server readme"},
    {"server/LICENSE", "server licence"},   {"server/Makefile", "server make"},
    {"server/include/api.h", "server api"}, {"server/src/main.c", "server main"},
    {"server/src/util.c", "server util"},   {"vendor/client/src/main.c", "old client main"},
    {"docs/copyright", "the copyright"},
};

// The files of kRepository below folder, keyed below it, and more.
Files CopyOf(const std::string& folder, const std::vector<std::string>& leftOut = {}, const Files& more = {}) {
    Files files = more;
    for (const auto& [path, content] : kRepository) {
        if (!folder.empty() && !path.starts_with(folder + "/")) continue;
        const std::string key = folder.empty() ? path : path.substr(folder.size() + 1);
        if (std::find(leftOut.begin(), leftOut.end(), key) == leftOut.end()) files.emplace_back(key, content);
    }
    return files;
}

// Every file Same, but for the others.
std::map<std::string, std::string> AllSame(const Files& files,
                                           const std::map<std::string, std::string>& others = {}) {
    std::map<std::string, std::string> rows = others;
    for (const auto& [key, content] : files) rows.emplace(key, "Same");
    return rows;
}

struct WorkingCopyCase {
    const char* name;
    Files local;
    std::map<std::string, std::string> rows;  // local key ("/"-separated) -> Status
    const char* folder;                       // the repository folder shown; "" for none
    const char* repoFolder = "";
    const char* exclude = "";
    int missing = 0;
    int subFolders = 1;
    bool posixOnly = false;
    const char* tracedEnd = "";  // the end of a trace line the run writes
};

class WorkingCopyTest : public WorkflowTest, public ::testing::WithParamInterface<WorkingCopyCase> {};

TEST_P(WorkingCopyTest, EachFileIsComparedWithTheFileAtItsPlace) {
    const WorkingCopyCase& c = GetParam();
    if (c.posixOnly) QVR_SKIP_ON_WINDOWS("file names that differ in letter case only");
    ImportSource(kRepository);
    for (const auto& [key, content] : c.local) m_sandbox.Root().Write("local/" + key, content);
    m_settings.display = DisplayOptions{1, 1, 1, c.subFolders, c.missing};
    m_settings.templates.repoFolder = c.repoFolder;
    m_settings.templates.excludePatterns = c.exclude;

    m_workflows.OnBtnGenBtmReport();

    EXPECT_TRUE(m_host.boxes.empty()) << m_host.boxes[0].text;
    EXPECT_EQ(m_view.Status(), std::string(" Ready - ") +
                                   (*c.folder ? "Repository folder: " + std::string(c.folder)
                                              : "No repository folder: every file is New."));
    std::map<std::string, std::string> rows;
    const std::string local = m_sandbox.LocalDir() + std::string(1, platform::kSeparator);
    for (int row = 0; row < CountFilledRows(m_bottom); ++row) {
        std::string key = std::string(m_bottom.GetItemText(row, BottomPath)).substr(local.size()) +
                          std::string(m_bottom.GetItemText(row, BottomFile));
        std::replace(key.begin(), key.end(), platform::kSeparator, '/');
        rows[key] = m_bottom.GetItemText(row, BottomStatus);
    }
    EXPECT_EQ(rows, c.rows);
    const auto lines = TraceLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const auto& l) { return l.ends_with(c.tracedEnd); }));
    // Ties of the path sort go by File: the order never depends on the scan's.
    for (int row = 1; row < CountFilledRows(m_bottom); ++row) {
        if (m_bottom.GetItemText(row, BottomPath) != m_bottom.GetItemText(row - 1, BottomPath)) continue;
        EXPECT_LT(m_bottom.GetItemText(row - 1, BottomFile), m_bottom.GetItemText(row, BottomFile));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WorkingCopyTest,
    ::testing::Values(
        WorkingCopyCase{"ServerPart", CopyOf("server"), AllSame(CopyOf("server")), "\\server"},
        WorkingCopyCase{"ClientPart", CopyOf("client"), AllSame(CopyOf("client")), "\\client"},
        WorkingCopyCase{"Subfolder", CopyOf("server/src"), AllSame(CopyOf("server/src")), "\\server\\src"},
        WorkingCopyCase{"WholeRepositoryWithVendoredCopy", CopyOf(""), AllSame(CopyOf("")), "\\"},
        WorkingCopyCase{"CopiedInFileIsNew", CopyOf("server", {}, {{"copyright", "the copyright"}}),
                        AllSame(CopyOf("server"), {{"copyright", "New"}}), "\\server", "", "", 0, 1, false,
                        "copyright - the same name is at \\docs\\copyright, outside the repository folder"},
        WorkingCopyCase{"CaseTwinIsNew", CopyOf("server", {}, {{"readme", "server readme"}}),
                        AllSame(CopyOf("server"), {{"readme", "New"}}), "\\server", "", "", 0, 1, true},
        WorkingCopyCase{"Missing", CopyOf("server", {"src/util.c", "Makefile"}),
                        AllSame(CopyOf("server"), {{"src/util.c", "Missing"}, {"Makefile", "Missing"}}),
                        "\\server", "", "", 1},
        WorkingCopyCase{"MissingWithoutSubfolders", CopyOf("server", {"src/util.c", "Makefile"}),
                        {{"README", "Same"}, {"LICENSE", "Same"}, {"Makefile", "Missing"}},
                        "\\server", "", "", 1, 0, false,
                        "Repository folder: \\server (found by vote; 2 of 2 local file(s) are there)"},
        WorkingCopyCase{"ExcludedFilesAndFolders", CopyOf("server", {}, {{"build/out.c", "o"}, {"src/main.o", "o"}}),
                        {{"README", "Same"}, {"LICENSE", "Same"}, {"Makefile", "Same"}, {"src/main.c", "Same"}},
                        "\\server", "", " *.o; build ;include;util.?", 1, 1, false,
                        "Excluded by name: 2 file(s), 2 folder(s)"},
        WorkingCopyCase{"NamedFolder", CopyOf("server", {"LICENSE", "Makefile"}),
                        {{"README", "Diff"}, {"include/api.h", "Diff"}, {"src/main.c", "Diff"}, {"src/util.c", "New"}},
                        "\\client", "\\client"},
        WorkingCopyCase{"NothingInCommon", {{"x.txt", "x"}}, {{"x.txt", "New"}}, "", "", "", 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qvr::testing
