// The repository listing: running the listing tool and reading its log,
// vlx.log, into the Top List record map.

#include <array>
#include <cstdio>
#include <span>
#include <string_view>

#include "app/busy_flags.h"
#include "scm/command_line.h"
#include "scm/scm_bridge.h"
#include "scm/text_line_reader.h"

namespace qvr {
namespace {

constexpr std::string_view kSeparatorMark = "--------";
constexpr std::string_view kSuccessLine = "vlx has been executed successfully.";

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool IsErrorLine(std::string_view line) {
    return Contains(line, "Error: ") || Contains(line, "!");
}

// Tokens at tab runs: an empty column does not count, so the tokens after it
// move one field to the left; tokens from the eleventh on are dropped. The
// fields are views into the line.
std::size_t SplitDataLine(std::string_view line, std::array<std::string_view, RepoFileRecord::kFieldCount>& fields) {
    std::size_t field = 0;
    std::size_t pos = 0;
    while (pos < line.size() && field < RepoFileRecord::kFieldCount - 1) {
        if (line[pos] == '\t') {
            ++pos;
            continue;
        }
        std::size_t end = line.find('\t', pos);
        if (end == std::string_view::npos) end = line.size();
        fields[field++] = line.substr(pos, end - pos);
        pos = end;
    }
    return field;
}

}  // namespace

ToolCommandLine ScmBridge::BuildVlxCommandLine() const {
    const ScmContext& ctx = m_state.context;
    std::string package = EffectivePackage(ctx.package);
    std::string format = m_state.templates.vlxFmt;
    StripPackageOption(format);
    std::vector<std::string> values{ctx.broker, ctx.project, ctx.state, ctx.userId, ctx.password};
    if (!package.empty()) {
        format += " -p \"%s\" ";
        values.push_back(package);
    }
    constexpr std::size_t kPasswordValue = 4;
    ToolCommandLine commandLine(format, values, kPasswordValue);
    const std::string logPath = VlxLogPath();
    commandLine.Edit([&](std::string& line) { line = ReplaceFileName(line, "vlx.log", logPath); });
    return commandLine;
}

int ScmBridge::RunVLX() {
    TraceLog& trace = m_state.trace;
    trace.WriteTraceLine("CQvrCompareDlg::RunVLX: START");
    std::remove(VlxLogPath().c_str());

    const ToolCommandLine commandLine = BuildVlxCommandLine();
    TraceCommandLine("CQvrCompareDlg::RunVLX: ", commandLine);

    int result = LaunchTool(commandLine);
    if (result < 0) {
        trace.WriteTraceLine("CqvrCompareDlg::RunVLX: Execute RUNVLX Failed");
        return result;
    }
    if (result == 0) result = 1;
    trace.Trace("CqvrCompareDlg::RunVLX: END return code=%d", result);
    return result;
}

int ScmBridge::ReadVlxLog(std::string& errorText) {
    const std::string logPath = VlxLogPath();
    if (g_populateInProgress == 0) return 0;

    TextLineReader reader;
    if (!reader.Open(logPath)) {
        ShowUnableToRead(logPath);
        return 0;
    }
    CMapStrToFObj& records = m_state.topRecords;
    records.RemoveAll();
    bool headerPassed = false;
    int counter = 0;
    std::string_view line;
    while (reader.ReadPiece(line)) {
        if (line.empty()) continue;
        if (IsErrorLine(line)) {
            // A failed listing yields no records, whatever came before.
            errorText.assign(line);
            records.RemoveAll();
            return 0;
        }
        if (g_populateInProgress == 0) break;
        if (Contains(line, kSeparatorMark)) {
            headerPassed = true;
            continue;
        }
        if (!headerPassed) continue;
        if (Contains(line, kSuccessLine)) break;
        ++counter;
        std::array<std::string_view, RepoFileRecord::kFieldCount> fields;
        const std::size_t count = SplitDataLine(line, fields);
        records.SetAt(std::to_string(counter), std::span<const std::string_view>(fields.data(), count));
    }
    if (reader.Failed()) {
        records.RemoveAll();
        ShowUnableToRead(logPath);
        return 0;
    }
    return counter;
}

}  // namespace qvr
