#include "compare/report_table.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace qvr {
namespace {

// Cell texts of one row together are counted in 32 bits; anything longer is cut.
constexpr std::size_t kMaxRowText = 0xFFFFFFF0u;

// Splits at every separator and drops the empty pieces.
std::vector<std::string_view> SplitNonEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a number the way atoi does: leading white space, an optional sign,
// then digits; anything else ends it. Out-of-range values are clamped.
int AtoiLike(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<long long>(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

ReportColumn ColumnFromEntry(std::string_view entry) {
    const std::vector<std::string_view> fields = SplitNonEmpty(entry, ',');
    ReportColumn column;
    column.heading = std::string(fields[0]);
    if (fields.size() > 1) column.width = AtoiLike(fields[1]);
    if (fields.size() > 2) {
        switch (AtoiLike(fields[2])) {
            case 1: column.alignment = ColumnAlignment::Center; break;
            case 2: column.alignment = ColumnAlignment::Right; break;
            default: column.alignment = ColumnAlignment::Left; break;
        }
    }
    return column;
}

}  // namespace

ReportTable::ReportTable(Colorref systemTextColor, Colorref systemBackColor)
    : m_systemText(systemTextColor), m_systemBack(systemBackColor) {
    ClearStorage();
}

bool ReportTable::ApplyColumnSpec(std::string_view columnSpec) {
    if (m_listener) m_listener->AboutToReset();
    m_columns.clear();
    for (std::string_view entry : SplitNonEmpty(columnSpec, ';')) {
        // An entry of commas only has no fields and declares nothing.
        if (entry.find_first_not_of(',') == std::string_view::npos) continue;
        m_columns.push_back(ColumnFromEntry(entry));
    }
    ClearStorage();
    ++m_changeCount;
    ++m_textChangeCount;
    if (m_listener) m_listener->Reset();
    return !m_columns.empty();
}

std::string ReportTable::GetColumnHeading(int column) const {
    const ReportColumn* c = Column(column);
    return c ? c->heading : std::string();
}

const ReportColumn* ReportTable::Column(int column) const {
    if (column < 0 || column >= ColumnCount()) return nullptr;
    return &m_columns[static_cast<std::size_t>(column)];
}

// Block layout for c columns: c ends of the cells' stored bytes, then those
// bytes. An end takes one byte when the row's room fits 255 bytes (most rows
// once their repeated texts are shared), two when it fits 64 KiB, else four.
unsigned ReportTable::EndWidth(const Row& row) {
    if (row.capacity <= 0xFFu) return 1;
    return row.capacity <= 0xFFFFu ? 2 : 4;
}

std::size_t ReportTable::HeaderBytes(const Row& row) const { return m_columns.size() * EndWidth(row); }

std::size_t ReportTable::BlockBytes(const Row& row) const { return HeaderBytes(row) + row.capacity; }

std::size_t ReportTable::End(const Row& row, std::size_t column) const {
    StoredRow stored;
    stored.ends = row.block;
    stored.endWidth = EndWidth(row);
    return stored.End(column);
}

void ReportTable::SetEnd(const Row& row, std::size_t column, std::size_t end) const {
    switch (EndWidth(row)) {
        case 1: row.block[column] = static_cast<unsigned char>(end); break;
        case 2: {
            const auto value = static_cast<std::uint16_t>(end);
            std::memcpy(row.block + column * sizeof value, &value, sizeof value);
            break;
        }
        default: {
            const auto value = static_cast<std::uint32_t>(end);
            std::memcpy(row.block + column * sizeof value, &value, sizeof value);
            break;
        }
    }
}

std::size_t ReportTable::TextBytes(const Row& row) const {
    return m_columns.empty() ? 0 : End(row, m_columns.size() - 1);
}

char* ReportTable::Texts(const Row& row) const { return reinterpret_cast<char*>(row.block + HeaderBytes(row)); }

std::uint32_t ReportTable::SharedTexts::Add(std::string_view text) {
    constexpr std::size_t kFirstChunk = std::size_t{16} << 10;
    constexpr std::size_t kMaxChunks = (std::size_t{1} << (32 - kPlaceBits)) - 1;
    const std::size_t need = sizeof(std::uint16_t) + text.size();
    if (m_chunks.empty() || m_used + need > m_chunkSize) {
        if (m_chunks.size() >= kMaxChunks) return kOwnText;
        // A short list's texts take little room; a long one's chunks grow
        // to the most a reference can point into.
        m_chunkSize = m_chunks.empty() ? kFirstChunk : std::min<std::size_t>(2 * m_chunkSize, kPlaceMask + 1);
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(m_chunkSize));
        m_used = 0;
    }
    const auto id = static_cast<std::uint32_t>(((m_chunks.size() - 1) << kPlaceBits) | m_used);
    char* at = m_chunks.back().get() + m_used;
    const auto length = static_cast<std::uint16_t>(text.size());
    std::memcpy(at, &length, sizeof length);
    std::memcpy(at + sizeof length, text.data(), text.size());
    m_used += need;
    return id;
}

void ReportTable::SharedTexts::Clear() {
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_chunkSize = 0;
    m_used = 0;
}

// Which of a new row's texts are kept shared, and under which reference
// (ids[k], kOwnText for a text of the row's own): a text repeating the same
// column's text of the row inserted before it, and the first text of a run
// in a column that holds runs. Rows arrive folder by folder, so the folder
// and date columns repeat for many rows at a time.
std::uint64_t ReportTable::ChooseSharedCells(std::span<const std::string_view> texts,
                                             std::vector<std::uint32_t>& ids) {
    ids.assign(texts.size(), kOwnText);
    std::uint64_t mask = 0;
    const std::size_t shareable = std::min<std::size_t>(texts.size(), 64);
    for (std::size_t k = 0; k < shareable; ++k) {
        const std::string_view text = texts[k];
        PreviousCell& previous = m_previous[k];
        if (text.size() < SharedTexts::kMinLength || text.size() > SharedTexts::kMaxLength) {
            previous.inRun = false;
            continue;
        }
        const bool repeats = previous.text == text;
        std::uint32_t id = kOwnText;
        if (repeats) {
            id = previous.shared != kOwnText ? previous.shared : m_shared.Add(text);
        } else if (previous.inRun) {
            id = m_shared.Add(text);
        }
        previous.inRun = repeats;
        if (id == kOwnText) continue;
        ids[k] = id;
        mask |= std::uint64_t{1} << k;
    }
    return mask;
}

void ReportTable::ForgetPreviousRow() {
    m_previous.assign(m_columns.size(), PreviousCell{});
}

ReportTable::Row ReportTable::MakeRow(std::span<const std::string_view> texts) {
    const std::size_t columns = m_columns.size();
    texts = texts.first(std::min(texts.size(), columns));
    const std::size_t given = texts.size();
    std::size_t total = 0;
    bool cut = false;
    for (std::size_t k = 0; k < given; ++k) {
        cut = cut || texts[k].size() > kMaxRowText - total;
        total += std::min(texts[k].size(), kMaxRowText - total);
    }
    Row row;
    if (cut) {
        // Only a row of gigabytes is cut; its texts are all its own.
        ForgetPreviousRow();
        row.capacity = static_cast<std::uint32_t>(total);
        row.block = m_arena.Allocate(HeaderBytes(row) + total);
        char* out = Texts(row);
        std::size_t end = 0;
        for (std::size_t k = 0; k < columns; ++k) {
            if (k < given) {
                const std::size_t length = std::min(texts[k].size(), total - end);
                std::memcpy(out + end, texts[k].data(), length);
                end += length;
            }
            SetEnd(row, k, end);
        }
        return row;
    }
    const std::uint64_t mask = ChooseSharedCells(texts, m_sharedIds);
    auto isShared = [mask](std::size_t k) { return k < 64 && ((mask >> k) & 1u) != 0; };
    for (std::size_t k = 0; k < given; ++k) {
        if (isShared(k)) total -= texts[k].size() - sizeof(std::uint32_t);
    }
    row.capacity = static_cast<std::uint32_t>(total);
    row.block = m_arena.Allocate(HeaderBytes(row) + total);
    char* const stored = Texts(row);
    // The ends, and where the next row finds this one's texts to compare.
    auto writeEnds = [&](auto endType) {
        using EndType = decltype(endType);
        std::size_t end = 0;
        for (std::size_t k = 0; k < columns; ++k) {
            PreviousCell& previous = m_previous[k];
            std::size_t size = 0;
            if (k >= given) {
                previous.text = {};
                previous.shared = kOwnText;
                previous.inRun = false;
            } else if (isShared(k)) {
                size = sizeof(std::uint32_t);
                // Within a run the text is the one already noted.
                if (previous.shared != m_sharedIds[k]) {
                    previous.text = m_shared.Text(m_sharedIds[k]);
                    previous.shared = m_sharedIds[k];
                }
            } else {
                size = texts[k].size();
                previous.text = {stored + end, size};
                previous.shared = kOwnText;
            }
            end += size;
            const auto value = static_cast<EndType>(end);
            std::memcpy(row.block + k * sizeof value, &value, sizeof value);
        }
    };
    switch (EndWidth(row)) {
        case 1: writeEnds(std::uint8_t{}); break;
        case 2: writeEnds(std::uint16_t{}); break;
        default: writeEnds(std::uint32_t{}); break;
    }
    // Texts that already lie back to back (a listing record's fields do) are
    // copied in one piece.
    char* out = stored;
    for (std::size_t k = 0; k < given;) {
        if (isShared(k)) {
            std::memcpy(out, &m_sharedIds[k], sizeof(std::uint32_t));
            out += sizeof(std::uint32_t);
            ++k;
            continue;
        }
        const char* from = texts[k].data();
        std::size_t length = texts[k].size();
        for (++k; k < given && !isShared(k) && texts[k].data() == from + length; ++k) length += texts[k].size();
        if (length > 0) std::memcpy(out, from, length);
        out += length;
    }
    if (mask != m_lastNewRowMask) {
        auto [known, added] = m_newRowSchemes.try_emplace(mask, 0);
        if (added) known->second = WithSharedMask(0, mask);
        m_lastNewRowMask = mask;
        m_lastNewRowScheme = known->second;
    }
    row.scheme = m_lastNewRowScheme;
    return row;
}

// Puts text in place of one cell's text, moving the cells after it. A row
// that outgrows its block moves to a new one half as large again, so filling
// a row cell by cell costs few moves; the old block is left behind.
void ReportTable::ReplaceCellText(Row& row, std::size_t column, std::string_view text) {
    const std::size_t columns = m_columns.size();
    const std::size_t start = column == 0 ? 0 : End(row, column - 1);
    const std::size_t oldEnd = End(row, column);
    const std::size_t total = TextBytes(row);
    const std::size_t rest = total - (oldEnd - start);
    const std::size_t length = std::min(text.size(), kMaxRowText - rest);
    const std::size_t newTotal = rest + length;
    if (newTotal > row.capacity) {
        // The text may be a view of any block, this row's too: the new block
        // is filled while the old one is still intact.
        const std::size_t capacity = std::min(
            kMaxRowText, std::max({newTotal, std::size_t{row.capacity} + row.capacity / 2, std::size_t{16}}));
        Row grown = row;
        grown.capacity = static_cast<std::uint32_t>(capacity);
        grown.block = m_arena.Allocate(HeaderBytes(grown) + capacity);
        const char* oldTexts = Texts(row);
        char* newTexts = Texts(grown);
        std::memcpy(newTexts, oldTexts, start);
        std::memcpy(newTexts + start, text.data(), length);
        std::memcpy(newTexts + start + length, oldTexts + oldEnd, total - oldEnd);
        for (std::size_t k = 0; k < columns; ++k) {
            SetEnd(grown, k, k < column ? End(row, k) : End(row, k) - (oldEnd - start) + length);
        }
        Abandon(row);
        row = grown;
        return;
    }
    std::string ownCopy;
    const auto* first = row.block;
    if (reinterpret_cast<const unsigned char*>(text.data()) >= first &&
        reinterpret_cast<const unsigned char*>(text.data()) < first + BlockBytes(row)) {
        // The text is one of this row's own cells: the move below would change it.
        ownCopy.assign(text);
        text = ownCopy;
    }
    char* texts = Texts(row);
    std::memmove(texts + start + length, texts + oldEnd, total - oldEnd);
    std::memcpy(texts + start, text.data(), length);
    for (std::size_t k = column; k < columns; ++k) SetEnd(row, k, End(row, k) - (oldEnd - start) + length);
}

void ReportTable::Abandon(const Row& row) { m_abandoned += BlockBytes(row); }

// Once most of the arena is blocks no row uses, the rows are copied into a
// fresh arena, each block as small as its texts.
void ReportTable::CompactIfWasteful() {
    const std::size_t used = m_arena.BytesUsed();
    if (m_abandoned < TextArena::kChunkSize || m_abandoned * 2 < used) return;
    TextArena fresh;
    const std::size_t columns = m_columns.size();
    for (Row& row : m_rows) {
        Row packed = row;
        packed.capacity = static_cast<std::uint32_t>(TextBytes(row));
        packed.block = fresh.Allocate(BlockBytes(packed));
        // The ends may change width with the capacity.
        for (std::size_t k = 0; k < columns; ++k) SetEnd(packed, k, End(row, k));
        std::memcpy(Texts(packed), Texts(row), packed.capacity);
        row = packed;
    }
    m_arena = std::move(fresh);
    m_abandoned = 0;
    // The last row's texts moved with it.
    ForgetPreviousRow();
}

// Forgets every row's storage and colour schemes; only scheme 0 is left.
void ReportTable::ClearStorage() {
    m_rows.clear();
    // A long list gives its memory back at once, not when it next shrinks.
    m_rows.shrink_to_fit();
    m_arena.Clear();
    m_abandoned = 0;
    m_shared.Clear();
    ForgetPreviousRow();
    m_schemes.clear();
    m_schemeIds.clear();
    m_schemeMasks.clear();
    m_newRowSchemes.clear();
    m_newRowSchemes.emplace(0, 0);
    m_lastRecolouring.reset();
    m_lastNewRowMask = 0;
    m_lastNewRowScheme = 0;
    // The colours, then the mask of shared cells in two halves.
    std::vector<Colorref> system(2 * m_columns.size() + 2, m_systemBack);
    std::fill_n(system.begin(), m_columns.size(), m_systemText);
    system[2 * m_columns.size()] = 0;
    system[2 * m_columns.size() + 1] = 0;
    InternScheme(std::move(system));
}

std::uint32_t ReportTable::InternScheme(std::vector<Colorref>&& colors) {
    const auto found = m_schemeIds.find(colors);
    if (found != m_schemeIds.end()) return found->second;
    const auto id = static_cast<std::uint32_t>(m_schemes.size());
    const std::size_t maskAt = colors.size() - 2;
    m_schemeMasks.push_back(std::uint64_t{colors[maskAt]} | (std::uint64_t{colors[maskAt + 1]} << 32));
    m_schemeIds.emplace(colors, id);
    m_schemes.push_back(std::move(colors));
    return id;
}

// The scheme with the same colours and mask as the cells that are shared.
std::uint32_t ReportTable::WithSharedMask(std::uint32_t scheme, std::uint64_t mask) {
    std::vector<Colorref> colors = m_schemes[scheme];
    colors[colors.size() - 2] = static_cast<Colorref>(mask);
    colors[colors.size() - 1] = static_cast<Colorref>(mask >> 32);
    return InternScheme(std::move(colors));
}

int ReportTable::InsertItem(int row, std::string_view text) {
    return InsertItem(row, std::span<const std::string_view>(&text, 1));
}

int ReportTable::InsertItem(int row, std::span<const std::string_view> texts) {
    if (row < 0 || m_columns.empty()) return -1;
    const int index = std::min(row, GetItemCount());
    Row made = MakeRow(texts);
    if (m_listener) m_listener->RowsAboutToBeInserted(index, index);
    if (index == 0) {
        m_rows.push_front(std::move(made));
    } else {
        m_rows.insert(m_rows.begin() + index, std::move(made));
    }
    ClearSortState();
    TextChanged();
    if (m_listener) m_listener->RowsInserted(index, index);
    return index;
}

bool ReportTable::ValidCell(int row, int column) const {
    return row >= 0 && row < GetItemCount() && column >= 0 && column < ColumnCount();
}

bool ReportTable::SetItemText(int row, int column, std::string_view text) {
    if (!ValidCell(row, column)) return false;
    Row& cells = m_rows[static_cast<std::size_t>(row)];
    const auto k = static_cast<std::size_t>(column);
    ReplaceCellText(cells, k, text);
    // A text set on its own is the row's own, even where it was shared.
    const std::uint64_t mask = SharedMask(cells);
    if (k < 64 && ((mask >> k) & 1u) != 0) cells.scheme = WithSharedMask(cells.scheme, mask & ~(std::uint64_t{1} << k));
    ForgetPreviousRow();
    CompactIfWasteful();
    ClearSortState();
    TextChanged();
    if (m_listener) m_listener->DataChanged(row, row, column, column);
    return true;
}

std::string_view ReportTable::CellText(const Row& row, std::size_t column) const {
    const std::size_t start = column == 0 ? 0 : End(row, column - 1);
    const char* stored = Texts(row) + start;
    if (column < 64 && ((SharedMask(row) >> column) & 1u) != 0) {
        std::uint32_t id;
        std::memcpy(&id, stored, sizeof id);
        return m_shared.Text(id);
    }
    return {stored, End(row, column) - start};
}

std::string_view ReportTable::GetItemText(int row, int column) const {
    if (!ValidCell(row, column)) return {};
    return CellText(m_rows[static_cast<std::size_t>(row)], static_cast<std::size_t>(column));
}

void ReportTable::GetRowTexts(int row, std::vector<std::string_view>& texts) const {
    const StoredRow stored = GetStoredRow(row);
    texts.resize(stored.columns);
    if (stored.columns > 0) stored.Cells(texts.data());
}

ReportTable::StoredRow ReportTable::GetStoredRow(int row) const {
    if (row < 0 || row >= GetItemCount()) return {};
    const Row& cells = m_rows[static_cast<std::size_t>(row)];
#if defined(__GNUC__)
    // Whole-row walks go row by row, and after a sort the rows' blocks lie
    // anywhere: ask for a later row's block while this one is read.
    constexpr int kAhead = 6;
    if (row + kAhead < GetItemCount()) {
        const unsigned char* later = m_rows[static_cast<std::size_t>(row + kAhead)].block;
        __builtin_prefetch(later);
        __builtin_prefetch(later + 64);
        __builtin_prefetch(later + 128);
    }
#endif
    StoredRow stored;
    stored.stored = {Texts(cells), TextBytes(cells)};
    stored.ends = cells.block;
    stored.columns = m_columns.size();
    stored.endWidth = EndWidth(cells);
    stored.sharedMask = SharedMask(cells);
    stored.table = this;
    return stored;
}

void ReportTable::RemoveRow(int row) {
    if (row < 0 || row >= GetItemCount()) return;
    if (m_listener) m_listener->RowsAboutToBeRemoved(row, row);
    Abandon(m_rows[static_cast<std::size_t>(row)]);
    ForgetPreviousRow();
    if (row == 0) {
        m_rows.pop_front();
    } else {
        m_rows.erase(m_rows.begin() + row);
    }
    CompactIfWasteful();
    TextChanged();
    if (m_listener) m_listener->RowsRemoved(row, row);
}

int ReportTable::RemoveAllRows() {
    const int count = GetItemCount();
    if (m_listener) m_listener->AboutToReset();
    ClearStorage();
    TextChanged();
    if (m_listener) m_listener->Reset();
    return count;
}

void ReportTable::SetCellTextColor(int row, int column, Colorref color, bool redraw) {
    SetColor(ColorKind::Text, row, column, color, redraw);
}

void ReportTable::SetCellBackColor(int row, int column, Colorref color, bool redraw) {
    SetColor(ColorKind::Back, row, column, color, redraw);
}

void ReportTable::SetColor(ColorKind kind, int row, int column, Colorref color, bool redraw) {
    const int rows = GetItemCount();
    const int columns = ColumnCount();
    if (color == kDefaultColor) color = kind == ColorKind::Text ? m_systemText : m_systemBack;
    const bool oneRow = row >= 0 && row < rows;
    const bool oneColumn = column >= 0 && column < columns;
    const int firstRow = oneRow ? row : 0;
    const int lastRow = oneRow ? row : rows - 1;
    const int firstColumn = oneColumn ? column : 0;
    const int lastColumn = oneColumn ? column : columns - 1;
    const int offset = kind == ColorKind::Text ? 0 : columns;
    auto recolour = [&](std::uint32_t scheme) {
        std::vector<Colorref> colors = m_schemes[scheme];
        std::fill(colors.begin() + offset + firstColumn, colors.begin() + offset + lastColumn + 1, color);
        return InternScheme(std::move(colors));
    };
    if (firstRow == lastRow) {
        // One row, as the report colours its rows one by one: mostly the
        // same change to the same scheme as the row before.
        std::uint32_t& scheme = m_rows[static_cast<std::size_t>(firstRow)].scheme;
        const Recolouring asked{scheme, kind, firstColumn, lastColumn, color};
        if (!m_lastRecolouring || !m_lastRecolouring->first.Same(asked)) {
            m_lastRecolouring.emplace(asked, recolour(scheme));
        }
        scheme = m_lastRecolouring->second;
    } else {
        // Rows sharing a scheme before share the recoloured one after.
        std::unordered_map<std::uint32_t, std::uint32_t> recoloured;
        for (int r = firstRow; r <= lastRow; ++r) {
            std::uint32_t& scheme = m_rows[static_cast<std::size_t>(r)].scheme;
            const auto [known, added] = recoloured.try_emplace(scheme, 0);
            if (added) known->second = recolour(scheme);
            scheme = known->second;
        }
    }
    ColorChanged();
    if (m_listener && rows > 0 && columns > 0) {
        m_listener->DataChanged(firstRow, lastRow, firstColumn, lastColumn);
    }
    if (m_listener && redraw) m_listener->RepaintRequested();
}

Colorref ReportTable::GetCellTextColor(int row, int column) const {
    return GetColor(ColorKind::Text, row, column);
}

Colorref ReportTable::GetCellBackColor(int row, int column) const {
    return GetColor(ColorKind::Back, row, column);
}

Colorref ReportTable::GetColor(ColorKind kind, int row, int column) const {
    if (!ValidCell(row, column)) return kDefaultColor;
    const std::size_t offset = kind == ColorKind::Text ? 0 : m_columns.size();
    return m_schemes[m_rows[static_cast<std::size_t>(row)].scheme][offset + static_cast<std::size_t>(column)];
}

void ReportTable::SetSortState(int column, bool ascending) {
    m_sortColumn = column;
    m_sortAscending = ascending;
}

void ReportTable::ClearSortState() {
    m_sortColumn = -1;
    m_sortAscending = true;
}

bool ReportTable::ApplyPermutation(const std::vector<std::size_t>& order) {
    if (order.size() != m_rows.size()) return false;
    std::vector<bool> seen(order.size(), false);
    for (std::size_t from : order) {
        if (from >= order.size() || seen[from]) return false;
        seen[from] = true;
    }
    if (m_listener) m_listener->LayoutAboutToBeChanged();
    // The rows are gathered from a plain copy in their new order: each one
    // is fetched independently of the others, where moving them along the
    // permutation's cycles waits for every fetch before the next.
    const std::vector<Row> before(m_rows.begin(), m_rows.end());
    for (std::size_t to = 0; to < order.size(); ++to) m_rows[to] = before[order[to]];
    TextChanged();
    if (m_listener) m_listener->LayoutChanged(order);
    return true;
}

void ReportTable::TextChanged() {
    ++m_changeCount;
    ++m_textChangeCount;
}

void ReportTable::ColorChanged() { ++m_changeCount; }

int CountFilledRows(const ReportTable& table) {
    if (table.GetItemCount() == 0 || table.GetItemText(0, 0).empty()) return 0;
    return table.GetItemCount();
}

}  // namespace qvr
