// The broker check: one SQL statement through the SQL tool tells whether the
// broker answers and knows the project.

#include <cstdio>
#include <string_view>

#include "app/path.h"
#include "scm/command_line.h"
#include "scm/scm_bridge.h"
#include "scm/text_line_reader.h"

namespace qvr {
namespace {

constexpr std::string_view kZeroResults = "VQRY query has Zero results.";
constexpr const char* kNoData = "Error: Unable to fetch data from vqrystmt.dat";

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Shows the wait cursor for as long as the check runs.
class WaitCursorScope {
public:
    explicit WaitCursorScope(IWaitCursor* cursor) : m_cursor(cursor) {
        if (m_cursor) m_cursor->BeginWaitCursor();
    }
    ~WaitCursorScope() {
        if (m_cursor) m_cursor->EndWaitCursor();
    }
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;

private:
    IWaitCursor* m_cursor;
};

bool WriteWholeFile(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

}  // namespace

std::string ScmBridge::BuildBrokerStatement() {
    // An empty template falls back to the default one, which is kept so the
    // settings show what was used.
    if (m_state.templates.sqlFmt.empty()) m_state.templates.sqlFmt = kDefaultSqlTemplate;
    // The project goes between single quotes: a quote in its name is doubled
    // so the name cannot end the literal early.
    return FormatPlainTemplate(m_state.templates.sqlFmt,
                               {DoubleSingleQuotes(m_state.context.project)});
}

int ScmBridge::CheckForBroker() {
    WaitCursorScope waitCursor(m_state.waitCursor);
    TraceLog& trace = m_state.trace;
    trace.WriteTraceLine("CQvrCompareDlg::CheckForBroker: START");
    m_brokerErrorLine.clear();

    if (RunVQRY(BuildBrokerStatement()) == 0) {
        trace.WriteTraceLine("CQvrCompareDlg::CheckForBroker: END Result=");
        return 0;
    }
    std::string result;
    const bool fromTool = ReadVqryOutput(result) == 1;

    if (result.empty() || result == kZeroResults) {
        trace.WriteTraceLine("CQvrCompareDlg::CheckForBroker: END Result=" + result);
        return 0;
    }
    if (Contains(result, "Error: ")) {
        MaskPassword(result, m_state.context.password);
        // The tool's own reason is shown with the failure, not only traced.
        if (fromTool) {
            // A tool may echo an argument it did not expect: never the password.
            m_brokerErrorLine = result;
            MaskPassword(m_brokerErrorLine, m_state.context.password);
        }
        trace.WriteTraceLine("CQvrCompareDlg::CheckForBroker: END - Broker not Available! Result=" +
                             result);
        return 0;
    }
    trace.WriteTraceLine("CQvrCompareDlg::CheckForBroker: END - Broker is Available. Result=" +
                         result);
    return 1;
}

int ScmBridge::RunVQRY(const std::string& statement) {
    const std::string statementPath = StatementPath();
    const std::string outputPath = QueryOutputPath();
    std::remove(statementPath.c_str());
    std::remove(outputPath.c_str());

    if (!WriteWholeFile(statementPath, statement)) {
        // Without its statement the tool cannot answer: say why, and let the
        // check count the broker as not available.
        m_state.trace.WriteTraceLine("CQvrCompareDlg::RunVQRY: Unable to write: " + statementPath);
        m_state.messages.MessageBox("Unable to write: " + statementPath, MbButtons::Ok,
                                    MbIcon::None);
        return 0;
    }

    // An empty template falls back to the default, kept for the settings.
    if (m_state.templates.vqryFmt.empty()) m_state.templates.vqryFmt = kDefaultVqryTemplate;
    const ScmContext& ctx = m_state.context;
    constexpr std::size_t kPasswordValue = 2;
    const ToolCommandLine commandLine(
        m_state.templates.vqryFmt, {ctx.broker, ctx.userId, ctx.password, statementPath, outputPath},
        kPasswordValue);
    TraceCommandLine("CQvrCompareDlg::RunVQRY: ExecuteWait ", commandLine);

    std::uint32_t processId = 0;
    if (m_launcher.ExecuteWait(commandLine.Launched(), "VQRY", kShowHidden, kVqryTimeLimitMs, processId) < 0) {
        return 0;
    }
    int error = 0;
    return FileSizeOf(outputPath, error, &m_state.trace) > 0 ? 1 : 0;
}

int ScmBridge::ReadVqryOutput(std::string& resultText) {
    const std::string outputPath = QueryOutputPath();
    TextLineReader reader;
    if (!reader.Open(outputPath)) {
        ShowUnableToRead(outputPath);
        return 0;
    }
    int lineCount = 0;
    bool firstLine = true;
    std::string line;
    while (reader.ReadPiece(line)) {
        ++lineCount;
        // An error decides even on the first line, which is otherwise the header.
        if (Contains(line, "Error: ")) {
            resultText = line;
            return 1;
        }
        if (firstLine) {
            firstLine = false;
            continue;
        }
        if (line.empty()) continue;
        resultText = line;
        return 1;
    }
    if (reader.Failed()) {
        ShowUnableToRead(outputPath);
        return 0;
    }
    if (lineCount == 0) resultText = kNoData;
    return 0;
}

}  // namespace qvr
