#include "compare/csv_export.h"

#include <cstdio>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <exception>
#include <system_error>
#include <thread>
#include <cerrno>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/platform.h"
#include "app/settings.h"
#include "app/short_copy.h"

namespace qvr {
namespace {

// Columns this narrow are ones the user has closed; they are left out.
constexpr int kNarrowestShownWidth = 1;

bool IsShown(const std::vector<int>& widths, int column) {
    const auto index = static_cast<std::size_t>(column);
    return index < widths.size() && widths[index] > kNarrowestShownWidth;
}

constexpr bool IsCsvSpecial(char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; }

// True when any of the eight bytes in word is byte.
constexpr bool WordHasByte(std::uint64_t word, unsigned char byte) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    const std::uint64_t zeroWhereEqual = word ^ (kOnes * byte);
    return ((zeroWhereEqual - kOnes) & ~zeroWhereEqual & kHighs) != 0;
}

// Whether a field needs more than a plain copy; sixteen or eight bytes at a
// time, since the export looks at every byte of a long list.
bool HasCsvSpecial(std::string_view text) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i ret = _mm_set1_epi8('\r');
    const __m128i feed = _mm_set1_epi8('\n');
    for (; i + 16 <= text.size(); i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, comma), _mm_cmpeq_epi8(bytes, quote)),
                                          _mm_or_si128(_mm_cmpeq_epi8(bytes, ret), _mm_cmpeq_epi8(bytes, feed)));
        if (_mm_movemask_epi8(hits) != 0) return true;
    }
#endif
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        if (WordHasByte(word, ',') || WordHasByte(word, '"') || WordHasByte(word, '\r') || WordHasByte(word, '\n')) {
            return true;
        }
    }
    for (; i < text.size(); ++i) {
        if (IsCsvSpecial(text[i])) return true;
    }
    return false;
}

// Appends one field as the export writes it: line breaks removed, and in
// double quotes with inner quotes doubled when it holds a comma or a quote.
void AppendCsvField(std::string& out, std::string_view text) {
    // Nearly every field is plain text and is copied whole.
    if (!HasCsvSpecial(text)) {
        out.append(text);
        return;
    }
    const bool needsQuotes = text.find_first_of(",\"") != std::string_view::npos;
    if (needsQuotes) out += '"';
    for (char c : text) {
        if (c == '\r' || c == '\n') continue;
        out += c;
        if (needsQuotes && c == '"') out += '"';
    }
    if (needsQuotes) out += '"';
}

// The columns a line holds, and whether each one's text is written: every
// column gives a field place, hidden ones an empty field.
struct CsvLayout {
    std::vector<char> shown;
    explicit CsvLayout(int columns, const std::vector<int>& widths) {
        for (int column = 0; column < columns; ++column) shown.push_back(IsShown(widths, column));
    }
};

// Appends one field and the comma that follows every column after the first
// (the invisible first column gets none, so the line has one field per
// visible column and ends in a comma).
void AppendField(std::string& line, bool shown, int column, std::string_view text) {
    if (shown) AppendCsvField(line, text);
    if (column > 0) line += ',';
}

void AppendHeaderLine(std::string& out, const ReportTable& table, const CsvLayout& layout) {
    for (int column = 0; column < table.ColumnCount(); ++column) {
        AppendField(out, layout.shown[static_cast<std::size_t>(column)], column, table.GetColumnHeading(column));
    }
    out += kCsvLineEnd;
}

// One row's line, made from the row's stored texts: each cell read once, one
// look for special bytes over the row's own texts (and each shared one), and
// then nearly always plain copies straight into the block.
void AppendRowLine(std::string& out, const CsvLayout& layout, const ReportTable::StoredRow& row) {
    constexpr std::size_t kFewColumns = 32;
    std::array<std::string_view, kFewColumns> cells;
    bool special = row.columns > kFewColumns;
    std::size_t room = row.columns + 2;
    if (!special) {
        row.Cells(cells.data());
        if (row.HasShared()) {
            for (std::size_t column = 0; column < row.columns; ++column) {
                special = special || HasCsvSpecial(cells[column]);
                room += cells[column].size();
            }
        } else {
            special = HasCsvSpecial(row.stored);
            room += row.stored.size();
        }
    }
    if (special) {
        for (std::size_t column = 0; column < row.columns; ++column) {
            if (layout.shown[column]) AppendCsvField(out, row.Cell(column));
            if (column > 0) out += ',';
        }
        out += kCsvLineEnd;
        return;
    }
    // Room for every text, every comma and the line end; cut to what was written.
    const std::size_t before = out.size();
    out.resize(before + room);
    char* next = out.data() + before;
    for (std::size_t column = 0; column < row.columns; ++column) {
        if (layout.shown[column]) {
            CopyShortText(next, cells[column].data(), cells[column].size());
            next += cells[column].size();
        }
        if (column > 0) *next++ = ',';
    }
    *next++ = '\r';
    *next++ = '\n';
    out.resize(static_cast<std::size_t>(next - out.data()));
}

}  // namespace

std::string CsvField(std::string_view text) {
    std::string field;
    field.reserve(text.size());
    AppendCsvField(field, text);
    return field;
}

std::vector<int> DeclaredColumnWidths(const ReportTable& table) {
    std::vector<int> widths;
    for (int column = 0; column < table.ColumnCount(); ++column) widths.push_back(table.Column(column)->width);
    return widths;
}

namespace {

// Lines are gathered into blocks so a long list costs few stream writes.
constexpr std::size_t kCsvBlock = 1 << 20;
// From this many rows on, lines are made on two cores: the rows go in
// segments that the two threads take in turn, and each thread writes the
// segment it made as soon as the one before it is out, so one thread's
// writing overlaps the other's making. Each thread holds the lines of one
// segment at a time.
constexpr int kParallelRows = 50'000;
constexpr int kSegmentRows = 8'192;

// Makes the lines of rows [first, last) and hands each full block to put,
// which answers false to stop early.
template <typename Put>
void FormatRows(const ReportTable& table, const CsvLayout& layout, int first, int last, std::string& block,
                Put&& put) {
    for (int row = first; row < last; ++row) {
        AppendRowLine(block, layout, table.GetStoredRow(row));
        if (block.size() >= kCsvBlock) {
            if (!put(block)) return;
            block.clear();
        }
    }
}

// The segments of a long list, made and written by two threads: a segment
// goes out only after every segment before it.
class SegmentedExport {
public:
    using Write = std::function<bool(const std::string&)>;
    SegmentedExport(const ReportTable& table, const CsvLayout& layout, int rows, Write write)
        : m_table(table), m_layout(layout), m_rows(rows), m_write(std::move(write)) {}

    // False when no second thread could be started; nothing was written then.
    bool Run() {
        std::thread helper;
        try {
            helper = std::thread([this] { Work(); });
        } catch (const std::system_error&) {
            return false;
        }
        Work();
        helper.join();
        if (m_failure) std::rethrow_exception(m_failure);
        return true;
    }

private:
    void Work() {
        // This thread's lines of one segment; the blocks are kept from one
        // segment to the next, so their memory is in use already.
        std::vector<std::string> blocks;
        try {
            for (;;) {
                const int segment = m_nextSegment.fetch_add(1);
                const int first = static_cast<int>(std::min<long long>(m_rows, 1LL * segment * kSegmentRows));
                if (first >= m_rows || m_stopped) return;
                const int last = std::min(m_rows, first + kSegmentRows);
                std::size_t used = 0;
                for (int row = first; row < last; ++row) {
                    if (used == 0 || blocks[used - 1].size() >= kCsvBlock) {
                        if (used == blocks.size()) blocks.emplace_back().reserve(kCsvBlock + 4096);
                        blocks[used++].clear();
                    }
                    AppendRowLine(blocks[used - 1], m_layout, m_table.GetStoredRow(row));
                }
                std::unique_lock lock(m_mutex);
                m_turn.wait(lock, [&] { return m_written == segment || m_stopped; });
                if (m_stopped) return;
                for (std::size_t k = 0; k < used; ++k) {
                    if (!m_write(blocks[k])) {
                        Stop();
                        return;
                    }
                }
                ++m_written;
                m_turn.notify_all();
            }
        } catch (...) {
            std::lock_guard lock(m_mutex);
            if (!m_failure) m_failure = std::current_exception();
            Stop();
        }
    }

    // Called with the mutex held.
    void Stop() {
        m_stopped = true;
        m_turn.notify_all();
    }

    const ReportTable& m_table;
    const CsvLayout& m_layout;
    const int m_rows;
    const Write m_write;
    std::atomic<int> m_nextSegment{0};
    std::mutex m_mutex;
    std::condition_variable m_turn;
    // Segments written so far, in order.
    int m_written = 0;
    std::atomic<bool> m_stopped{false};
    std::exception_ptr m_failure;
};

using BlockWriter = std::function<bool(const std::string&)>;

// The whole export, handed to write block by block; false once a write failed.
bool WriteCsvBlocks(const ReportTable& table, const std::vector<int>& widths, const BlockWriter& write) {
    const CsvLayout layout(table.ColumnCount(), widths);
    const int rows = table.GetItemCount();
    bool written = true;
    const auto put = [&](const std::string& block) { return written = written && write(block); };
    std::string block;
    block.reserve(kCsvBlock + 4096);
    AppendHeaderLine(block, table, layout);
    if (rows >= kParallelRows && std::thread::hardware_concurrency() > 1) {
        if (!put(block)) return false;
        if (SegmentedExport(table, layout, rows, put).Run()) return written;
        block.clear();
    }
    FormatRows(table, layout, 0, rows, block, put);
    return put(block);
}

}  // namespace

void WriteCsv(std::ostream& out, const ReportTable& table, const std::vector<int>& widths) {
    WriteCsvBlocks(table, widths, [&out](const std::string& block) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        return static_cast<bool>(out);
    });
    out.flush();
}

bool WriteCsvFile(const std::string& path, const ReportTable& table, const std::vector<int>& widths,
                  int& error) {
    // Written beside the target and put in its place whole: a full disk or
    // a crash leaves the old file as it was, never a cut one. A device or a
    // pipe named as the target is written to as it is, never replaced.
    platform::FileFacts facts;
    int statError = 0;
    const bool special = platform::StatPath(path, facts, statError) && !facts.isRegularFile && !facts.isDirectory;
    const std::string temporary =
        special ? path : path + ".tmp" + std::to_string(platform::CurrentProcessId());
    errno = 0;
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) {
        error = errno != 0 ? errno : EIO;
        return false;
    }
    // Blocks go to the system as they are; each is put on its way to the
    // disk at once, which the system would otherwise do all at the end,
    // when the file takes the old one's place.
    std::setvbuf(out, nullptr, _IONBF, 0);
    std::uint64_t offset = 0;
    // Taken where the write failed: a long list is written from two threads,
    // and each has its own error number.
    int writeError = 0;
    bool written = WriteCsvBlocks(table, widths, [&](const std::string& block) {
        errno = 0;
        if (std::fwrite(block.data(), 1, block.size(), out) != block.size()) {
            writeError = errno != 0 ? errno : EIO;
            return false;
        }
        platform::StartWritingToDisk(out, offset, block.size());
        offset += block.size();
        return true;
    });
    if (!written) error = writeError != 0 ? writeError : EIO;
    if (std::fclose(out) != 0 && written) {
        written = false;
        error = errno != 0 ? errno : EIO;
    }
    if (special || !written) {
        if (!special) std::remove(temporary.c_str());
        return written;
    }
    if (!platform::ReplaceFileWith(temporary, path)) {
        error = errno != 0 ? errno : EIO;
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

std::string CsvWriteErrorMessage(const std::string& path, int error) {
    return "The list could not be exported to " + path + ":\n" + std::strerror(error);
}

CExportList::CExportList(const ReportTable& table, std::vector<int> widths, IProfileStore& store,
                         IMessageBoxHost& host, const char* folderKey, std::function<void(bool)> waitCursor)
    : m_table(table),
      m_widths(std::move(widths)),
      m_store(store),
      m_host(host),
      m_folderKey(folderKey),
      m_waitCursor(std::move(waitCursor)) {}

std::string CExportList::DefaultFolder() {
    return platform::kIsWindows ? "..\\data" : "../data";
}

int CExportList::WriteCsv() {
    if (!HasRowsToExport()) return 0;
    const std::optional<std::string> path = m_host.GetSaveFileName(StartFolder(), kCsvFilter);
    if (!path || path->empty()) return 1;
    if (m_waitCursor) m_waitCursor(true);
    RememberFolderOf(*path);
    WriteFile(*path);
    return 1;
}

bool CExportList::HasRowsToExport() const {
    // A list showing only the blank placeholder rows has an empty first
    // Record cell and is never exported.
    return m_table.GetItemCount() > 0 && !m_table.GetItemText(0, 0).empty();
}

std::string CExportList::StartFolder() const {
    std::string folder = m_store.GetProfileString(kSettingsSection, m_folderKey, "");
    return folder.empty() ? DefaultFolder() : folder;
}

// The folder is remembered before the file is opened, so it is kept even
// when writing fails.
void CExportList::RememberFolderOf(const std::string& path) {
    const std::size_t last = path.rfind(platform::kSeparator);
    if (last == std::string::npos) return;
    m_store.WriteProfileString(kSettingsSection, m_folderKey, path.substr(0, last));
}

void CExportList::WriteFile(const std::string& path) {
    int error = 0;
    const bool written = WriteCsvFile(path, m_table, m_widths, error);
    if (m_waitCursor) m_waitCursor(false);
    if (!written) m_host.MessageBox(CsvWriteErrorMessage(path, error), MbButtons::Ok, MbIcon::Exclamation);
}

}  // namespace qvr
