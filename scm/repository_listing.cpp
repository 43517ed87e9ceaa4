// The repository listing: running the listing tool and reading its log,
// vlx.log, into the Top List record map.

#include <array>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>
#include <charconv>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/busy_flags.h"
#include "app/platform.h"
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

bool HasFields(std::string_view line) { return line.find('\t') != std::string_view::npos; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.back() == ' ')) {
        text = text.front() == ' ' ? text.substr(1) : text.substr(0, text.size() - 1);
    }
    return text;
}

// The tool's own lines are free text; a row of fields is a row whatever its
// names hold ("!old", "Error: notes.txt", "--------.txt").
bool IsErrorLine(std::string_view line, bool hasFields) {
    if (line.starts_with("Error: ")) return true;
    return !hasFields && (Contains(line, "Error: ") || Contains(line, "!"));
}

bool IsSeparatorLine(std::string_view line) {
    const std::string_view text = TrimBlanks(line);
    return text.starts_with(kSeparatorMark) && text.find_first_not_of('-') == std::string_view::npos;
}

bool IsSuccessLine(std::string_view line, bool hasFields) { return !hasFields && TrimBlanks(line) == kSuccessLine; }

// Calls tab(position) for every tab of line, in order, until it answers false.
template <typename Tab>
void ForEachTab(std::string_view line, Tab&& tab) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: a data line is about a hundred bytes with ten tabs.
    const __m128i tabs = _mm_set1_epi8('\t');
    for (; i + 16 <= line.size(); i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + i));
        for (auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, tabs))); hits != 0;
             hits &= hits - 1) {
            if (!tab(i + static_cast<std::size_t>(__builtin_ctz(hits)))) return;
        }
    }
#endif
    for (; i < line.size(); ++i) {
        if (line[i] == '\t' && !tab(i)) return;
    }
}

// Tokens at tab runs: an empty column does not count, so the tokens after it
// move one field to the left; tokens from the eleventh on are dropped. The
// fields are views into the line.
std::size_t SplitDataLine(std::string_view line, std::array<std::string_view, RepoFileRecord::kFieldCount>& fields) {
    constexpr std::size_t kTokens = RepoFileRecord::kFieldCount - 1;
    std::size_t field = 0;
    std::size_t start = 0;
    ForEachTab(line, [&](std::size_t tab) {
        if (tab > start) fields[field++] = line.substr(start, tab - start);
        start = tab + 1;
        return field < kTokens;
    });
    if (field < kTokens && line.size() > start) fields[field++] = line.substr(start);
    return field;
}

// Has the second core make the records' room ready while this one reads the
// log, so that the reading does not wait for the system at every new page
// the records are copied into. Stopped, and waited for, before the records
// give their room back.
class RoomPreparer {
public:
    RoomPreparer() = default;
    RoomPreparer(const RoomPreparer&) = delete;
    RoomPreparer& operator=(const RoomPreparer&) = delete;
    ~RoomPreparer() { Stop(); }

    void Start(std::vector<std::span<unsigned char>> room) {
        if (room.empty()) return;
        try {
            m_thread = std::thread([this, room = std::move(room)] {
                for (const std::span<unsigned char> part : room) {
                    if (m_stop || !platform::PrepareMemoryForWriting(part.data(), part.size())) return;
                }
            });
        } catch (const std::system_error&) {
            // No second thread: the pages come as they are first written.
        }
    }

    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Below this size a log is read before a second thread would have started.
constexpr std::uint64_t kLogWorthPreparing = std::uint64_t{4} << 20;

// A long log's records get their room set aside before the first one is
// read: about the log's size, since a record keeps its line's texts without
// the separators but with where each field ends. What they leave unused is
// given back when the log has been read.
void PrepareRoomForRecords(const std::string& logPath, CMapStrToFObj& records, RoomPreparer& preparer) {
    platform::FileFacts facts;
    int error = 0;
    if (!platform::StatPath(logPath, facts, error) || facts.size < kLogWorthPreparing) return;
    records.ReserveRoom(static_cast<std::size_t>(facts.size + facts.size / 8));
    preparer.Start(records.SpareRoom());
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

    m_vlxLogUnreadable = false;
    TextLineReader reader(kLongestLine);
    if (!reader.Open(logPath)) {
        m_vlxLogUnreadable = true;
        ShowUnableToRead(logPath);
        return 0;
    }
    CMapStrToFObj& records = m_state.topRecords;
    records.RemoveAll();
    RoomPreparer preparer;
    PrepareRoomForRecords(logPath, records, preparer);
    // Records are dropped only once nothing prepares their room any more.
    const auto dropRecords = [&] {
        preparer.Stop();
        records.RemoveAll();
    };
    bool headerPassed = false;
    bool complete = false;
    int counter = 0;
    std::string_view line;
    // Filled anew for every row: a row sets only the fields it has.
    std::array<std::string_view, RepoFileRecord::kFieldCount> fields;
    char keyText[16];
    while (reader.ReadPiece(line)) {
        if (line.empty()) continue;
        const bool hasFields = HasFields(line);
        if (IsErrorLine(line, hasFields)) {
            // A failed listing yields no records, whatever came before.
            errorText.assign(line);
            MaskPassword(errorText, m_state.context.password);
            dropRecords();
            return 0;
        }
        if (g_populateInProgress == 0) {
            complete = true;  // cancelled: what was read is posted no further
            break;
        }
        if (!headerPassed) {
            headerPassed = IsSeparatorLine(line);
            continue;
        }
        if (IsSuccessLine(line, hasFields)) {
            complete = true;
            break;
        }
        ++counter;
        const std::size_t count = SplitDataLine(line, fields);
        const char* keyEnd = std::to_chars(keyText, keyText + sizeof keyText, counter).ptr;
        records.SetAt(std::string_view(keyText, static_cast<std::size_t>(keyEnd - keyText)),
                      std::span<const std::string_view>(fields.data(), count));
    }
    if (reader.LineTooLong()) {
        errorText = "a line of " + logPath + " is longer than " + std::to_string(kLongestLine) + " characters";
        dropRecords();
        return 0;
    }
    if (reader.Failed()) {
        m_vlxLogUnreadable = true;
        dropRecords();
        ShowUnableToRead(logPath);
        return 0;
    }
    // A log without its closing line was cut off (the tool ended early, the
    // disk filled up): the files it does not name are not new.
    if (!complete) {
        errorText = "the listing is incomplete: " + logPath;
        dropRecords();
        return 0;
    }
    preparer.Stop();
    records.DropSpareRoom();
    return counter;
}

}  // namespace qvr
