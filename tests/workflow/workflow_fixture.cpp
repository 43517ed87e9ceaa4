#include "workflow_fixture.h"

#include <fstream>

#include "app/busy_flags.h"

namespace qvr::testing {

using namespace res;

WorkflowTest::WorkflowTest()
    : m_sandbox(QVR_TOOL_DIR),
      m_installDir(m_sandbox.InstallDir()),
      m_trace(m_installDir + "/QvrCompare.trc"),
      m_workflows(WorkflowParts{m_view, m_top, m_bottom, m_settings, m_records, m_installDir, m_trace,
                                m_host, m_pump}),
      m_startDir(std::filesystem::current_path()) {
    g_populateInProgress = 0;
    g_reportInProgress = 0;
    m_top.ApplyColumnSpec(kTopListColumnSpec);
    m_bottom.ApplyColumnSpec(kBottomListColumnSpec);
    AddBlankRows(m_top, kBlankTopRows);
    AddBlankRows(m_bottom, kBlankBottomRows);
    m_settings.templates = DefaultTemplates("", m_installDir);
    m_settings.context.tempPath = m_sandbox.TempPath();
    m_settings.display = DisplayOptions{1, 1, 1, 1};
    TypeContext();
}

WorkflowTest::~WorkflowTest() {
    g_populateInProgress = 0;
    g_reportInProgress = 0;
    std::error_code ec;
    std::filesystem::current_path(m_startDir, ec);
}

void WorkflowTest::TypeContext() {
    m_view.texts[IDC_BROKER] = QuorvanSandbox::kBroker;
    m_view.texts[IDC_USERID] = QuorvanSandbox::kUser;
    m_view.texts[IDC_PASSWORD] = QuorvanSandbox::kPassword;
    m_view.texts[IDC_PROJECT] = "PROJ";
    m_view.texts[IDC_STATE] = "DEV";
    m_view.texts[IDC_PACKAGE] = "";
    m_view.texts[IDC_LOCALPATH] = m_sandbox.LocalDir();
    m_view.texts[IDC_TEMPPATH] = m_sandbox.TempPath();
    m_view.texts[IDC_GEN_TOP] = kPopulateCaption;
    m_view.texts[IDC_GEN_BTM] = kReportCaption;
}

void WorkflowTest::ImportSource(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [path, content] : files) m_sandbox.Root().Write("source/" + path, content);
    ASSERT_TRUE(m_sandbox.Import("PROJ", "DEV", m_sandbox.SourceDir()));
}

std::vector<std::string> WorkflowTest::TraceLines() const {
    std::vector<std::string> lines;
    std::ifstream in(m_trace.Path());
    std::string line;
    while (std::getline(in, line)) {
        // "N MM/DD/YYYY HH:MM:SS message"
        std::size_t at = 0;
        for (int field = 0; field < 3 && at != std::string::npos; ++field) at = line.find(' ', at + 1);
        lines.push_back(at == std::string::npos ? line : line.substr(at + 1));
    }
    return lines;
}

std::vector<std::string> WorkflowTest::Column(const ReportTable& table, int column) {
    std::vector<std::string> texts;
    for (int row = 0; row < table.GetItemCount(); ++row) texts.emplace_back(table.GetItemText(row, column));
    return texts;
}

}  // namespace qvr::testing
