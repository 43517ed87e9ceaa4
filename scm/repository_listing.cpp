// The repository listing: running the listing tool and reading its log,
// vlx.log, into the Top List record map.

#include <array>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <algorithm>
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

// How reading a stretch of the log's lines ended.
enum class LinesEnd {
    Exhausted,  // its last line was read: the log goes on after it, or was cut off
    Complete,   // the closing line, or a Cancel: what was read is the listing
    ErrorLine,  // a line of the tool's own reporting a failure
    TooLong,    // a line longer than any listing line
    ReadFailed,
};

// Where the reading of the log stands after some of its lines.
struct ListingState {
    bool headerPassed = false;
    int counter = 0;  // data rows so far

    bool operator==(const ListingState&) const = default;
};

// Reads the lines reader yields on from state. Data rows go into records, or
// are only counted when records is null. A Cancel is watched for through
// cancelFlag when one is given (the thread that reads for the window); a
// reader on a helper thread is stopped through stop instead.
LinesEnd ReadListingLines(TextLineReader& reader, ListingState& state, CMapStrToFObj* records, std::string& errorLine,
                          const int* cancelFlag, const std::atomic<bool>* stop = nullptr) {
    std::string_view line;
    // Filled anew for every row: a row sets only the fields it has.
    std::array<std::string_view, RepoFileRecord::kFieldCount> fields;
    char keyText[16];
    while (reader.ReadPiece(line)) {
        if (line.empty()) continue;
        const bool hasFields = HasFields(line);
        if (IsErrorLine(line, hasFields)) {
            errorLine.assign(line);
            return LinesEnd::ErrorLine;
        }
        // Cancelled: what was read is posted no further.
        if (cancelFlag && *cancelFlag == 0) return LinesEnd::Complete;
        if (stop && stop->load(std::memory_order_relaxed)) return LinesEnd::Exhausted;
        if (!state.headerPassed) {
            state.headerPassed = IsSeparatorLine(line);
            continue;
        }
        if (IsSuccessLine(line, hasFields)) return LinesEnd::Complete;
        ++state.counter;
        if (!records) continue;
        const std::size_t count = SplitDataLine(line, fields);
        const char* keyEnd = std::to_chars(keyText, keyText + sizeof keyText, state.counter).ptr;
        records->SetAt(std::string_view(keyText, static_cast<std::size_t>(keyEnd - keyText)),
                       std::span<const std::string_view>(fields.data(), count));
    }
    if (reader.LineTooLong()) return LinesEnd::TooLong;
    if (reader.Failed()) return LinesEnd::ReadFailed;
    return LinesEnd::Exhausted;
}

// From this size on a log is read in two parts, one on each core.
constexpr std::uint64_t kLogWorthSplitting = std::uint64_t{4} << 20;

// Reads the later part of a long log on a helper thread while the caller
// reads the earlier part. The helper first walks the earlier part itself,
// counting its rows without keeping them, so its own rows get the keys and
// the header state a reading from the start would give them; the two parts
// are then joined without a copy. Whatever ends the earlier part first (an
// error line, the closing line, a Cancel) ends the listing there, as it
// would for one reader.
class LaterPartReader {
public:
    explicit LaterPartReader(std::string logPath) : m_logPath(std::move(logPath)) {}
    LaterPartReader(const LaterPartReader&) = delete;
    LaterPartReader& operator=(const LaterPartReader&) = delete;
    ~LaterPartReader() { StopAndWait(); }

    // Splits the log and starts the helper; on success earlier reads the
    // earlier part alone. False when the log is read whole by the caller.
    bool Start(TextLineReader& earlier, CMapStrToFObj& earlierRecords) {
        if (std::thread::hardware_concurrency() < 2 || !FindSplit()) return false;
        if (!earlier.Open(m_logPath, 0, m_split)) {
            earlier.Open(m_logPath);
            return false;
        }
        // Both parts' room comes from this thread: the records are given
        // back here as they are posted, and memory the helper took for
        // itself would not be the Top List's next.
        const auto room = [](std::uint64_t bytes) { return static_cast<std::size_t>(bytes + bytes / 8); };
        earlierRecords.ReserveRoom(room(m_split));
        m_records.ReserveRoom(room(m_size - m_split));
        try {
            m_thread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            earlier.Open(m_logPath);
            return false;
        }
        return true;
    }

    // Called once the earlier part was read to its end with state: the
    // listing goes on with the helper's rows, or, should the two readings
    // disagree (the log changed under them), is read on here.
    LinesEnd Finish(TextLineReader& reader, ListingState& state, CMapStrToFObj& records, std::string& errorLine) {
        Wait();
        if (g_populateInProgress == 0) return LinesEnd::Complete;
        if (m_usable && m_atSplit == state) {
            m_records.DropSpareRoom();
            records.AppendAll(std::move(m_records));
            state = m_state;
            errorLine = m_errorLine;
            return m_end;
        }
        m_records.RemoveAll();
        if (!reader.Open(m_logPath, m_split, UINT64_MAX)) return LinesEnd::ReadFailed;
        return ReadListingLines(reader, state, &records, errorLine, &g_populateInProgress);
    }

private:
    // The helper walks the earlier part before it reads its own, about a
    // fifth of the work of reading it: the earlier part is the larger one
    // by that much, so both end together.
    static constexpr std::uint64_t kEarlierPercent = 56;

    // The split follows the first line feed from there on, so both parts
    // hold whole lines.
    bool FindSplit() {
        platform::FileFacts facts;
        int error = 0;
        if (!platform::StatPath(m_logPath, facts, error) || facts.size < kLogWorthSplitting) return false;
        std::ifstream file(m_logPath, std::ios::binary);
        const std::uint64_t from = facts.size / 100 * kEarlierPercent;
        std::vector<char> bytes(kLongestLine + 2);
        file.seekg(static_cast<std::streamoff>(from));
        file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        const auto got = static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0));
        const auto feed = std::find(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(got), '\n');
        if (feed == bytes.begin() + static_cast<std::ptrdiff_t>(got)) return false;
        m_split = from + static_cast<std::uint64_t>(feed - bytes.begin()) + 1;
        m_size = facts.size;
        return m_split < m_size;
    }

    void Run() {
        try {
            TextLineReader reader(kLongestLine);
            ListingState state;
            std::string ignored;
            if (!reader.Open(m_logPath, 0, m_split) ||
                ReadListingLines(reader, state, nullptr, ignored, nullptr, &m_stop) != LinesEnd::Exhausted ||
                m_stop || !reader.Open(m_logPath, m_split, UINT64_MAX)) {
                return;
            }
            m_atSplit = state;
            m_end = ReadListingLines(reader, state, &m_records, m_errorLine, nullptr, &m_stop);
            m_state = state;
            m_usable = !m_stop;
        } catch (...) {
            // Out of memory here: the caller reads the later part itself.
            m_usable = false;
        }
    }

    void Wait() {
        if (m_thread.joinable()) m_thread.join();
    }

    void StopAndWait() {
        m_stop = true;
        Wait();
    }

    const std::string m_logPath;
    std::uint64_t m_split = 0;
    std::uint64_t m_size = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    // Set by the helper; read once it has ended.
    bool m_usable = false;
    ListingState m_atSplit;
    ListingState m_state;
    LinesEnd m_end = LinesEnd::Exhausted;
    std::string m_errorLine;
    CMapStrToFObj m_records;
};

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
    ListingState state;
    std::string errorLine;
    LinesEnd end = LinesEnd::Exhausted;
    RoomPreparer preparer;
    {
        LaterPartReader later(logPath);
        if (later.Start(reader, records)) {
            end = ReadListingLines(reader, state, &records, errorLine, &g_populateInProgress);
            if (end == LinesEnd::Exhausted) end = later.Finish(reader, state, records, errorLine);
        } else {
            PrepareRoomForRecords(logPath, records, preparer);
            end = ReadListingLines(reader, state, &records, errorLine, &g_populateInProgress);
        }
    }
    // Records are dropped only once nothing prepares their room any more.
    preparer.Stop();
    switch (end) {
        case LinesEnd::Complete:
            records.DropSpareRoom();
            return state.counter;
        case LinesEnd::ErrorLine:
            // A failed listing yields no records, whatever came before.
            errorText = errorLine;
            MaskPassword(errorText, m_state.context.password);
            break;
        case LinesEnd::TooLong:
            errorText = "a line of " + logPath + " is longer than " + std::to_string(kLongestLine) + " characters";
            break;
        case LinesEnd::ReadFailed:
            m_vlxLogUnreadable = true;
            records.RemoveAll();
            ShowUnableToRead(logPath);
            return 0;
        case LinesEnd::Exhausted:
            // A log without its closing line was cut off (the tool ended
            // early, the disk filled up): the files it does not name are not new.
            errorText = "the listing is incomplete: " + logPath;
            break;
    }
    records.RemoveAll();
    return 0;
}

}  // namespace qvr
