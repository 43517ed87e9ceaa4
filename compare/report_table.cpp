#include "compare/report_table.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

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
    : m_systemText(systemTextColor), m_systemBack(systemBackColor) {}

bool ReportTable::ApplyColumnSpec(std::string_view columnSpec) {
    if (m_listener) m_listener->AboutToReset();
    m_rows.clear();
    m_columns.clear();
    for (std::string_view entry : SplitNonEmpty(columnSpec, ';')) {
        // An entry of commas only has no fields and declares nothing.
        if (entry.find_first_not_of(',') == std::string_view::npos) continue;
        m_columns.push_back(ColumnFromEntry(entry));
    }
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

void ReportTable::FreeBlock::operator()(unsigned char* block) const noexcept { std::free(block); }

// Block layout for c columns: 2c colours, c text ends, the text capacity, texts.
std::size_t ReportTable::HeaderBytes() const { return (3 * m_columns.size() + 1) * sizeof(std::uint32_t); }

Colorref* ReportTable::Colors(const Row& row) const { return reinterpret_cast<Colorref*>(row.get()); }

std::uint32_t* ReportTable::Ends(const Row& row) const {
    return reinterpret_cast<std::uint32_t*>(row.get() + 2 * m_columns.size() * sizeof(Colorref));
}

std::uint32_t& ReportTable::Capacity(const Row& row) const { return Ends(row)[m_columns.size()]; }

char* ReportTable::Texts(const Row& row) const { return reinterpret_cast<char*>(row.get() + HeaderBytes()); }

ReportTable::Row ReportTable::MakeRow(std::span<const std::string_view> texts) const {
    const std::size_t columns = m_columns.size();
    const std::size_t given = std::min(texts.size(), columns);
    std::size_t total = 0;
    for (std::size_t k = 0; k < given; ++k) total += std::min(texts[k].size(), kMaxRowText - total);
    Row row(static_cast<unsigned char*>(std::malloc(HeaderBytes() + std::max<std::size_t>(total, 1))));
    if (!row) throw std::bad_alloc();
    Colorref* colors = Colors(row);
    std::fill_n(colors, columns, m_systemText);
    std::fill_n(colors + columns, columns, m_systemBack);
    std::uint32_t* ends = Ends(row);
    char* out = Texts(row);
    std::size_t end = 0;
    for (std::size_t k = 0; k < columns; ++k) {
        if (k < given) {
            const std::size_t length = std::min(texts[k].size(), total - end);
            std::memcpy(out + end, texts[k].data(), length);
            end += length;
        }
        ends[k] = static_cast<std::uint32_t>(end);
    }
    Capacity(row) = static_cast<std::uint32_t>(total);
    return row;
}

// Puts text in place of one cell's text, moving the cells after it; the
// block grows by half again when it has to, so filling a row cell by cell
// costs few reallocations.
void ReportTable::ReplaceCellText(Row& row, std::size_t column, std::string_view text) {
    const std::size_t columns = m_columns.size();
    const unsigned char* first = row.get();
    std::string ownCopy;
    if (reinterpret_cast<const unsigned char*>(text.data()) >= first &&
        reinterpret_cast<const unsigned char*>(text.data()) < first + HeaderBytes() + Capacity(row)) {
        // The text is one of this row's own cells: the move below would change it.
        ownCopy.assign(text);
        text = ownCopy;
    }
    std::uint32_t* ends = Ends(row);
    const std::size_t start = column == 0 ? 0 : ends[column - 1];
    const std::size_t oldEnd = ends[column];
    const std::size_t total = ends[columns - 1];
    const std::size_t rest = total - (oldEnd - start);
    const std::size_t length = std::min(text.size(), kMaxRowText - rest);
    const std::size_t newTotal = rest + length;
    if (newTotal > Capacity(row)) {
        const std::size_t capacity =
            std::min(kMaxRowText, std::max({newTotal, std::size_t{Capacity(row)} + Capacity(row) / 2, std::size_t{16}}));
        auto* grown = static_cast<unsigned char*>(std::realloc(row.get(), HeaderBytes() + capacity));
        if (!grown) throw std::bad_alloc();
        (void)row.release();
        row.reset(grown);
        ends = Ends(row);
        Capacity(row) = static_cast<std::uint32_t>(capacity);
    }
    char* texts = Texts(row);
    std::memmove(texts + start + length, texts + oldEnd, total - oldEnd);
    std::memcpy(texts + start, text.data(), length);
    for (std::size_t k = column; k < columns; ++k) {
        ends[k] = static_cast<std::uint32_t>(ends[k] - (oldEnd - start) + length);
    }
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
    ReplaceCellText(m_rows[static_cast<std::size_t>(row)], static_cast<std::size_t>(column), text);
    ClearSortState();
    TextChanged();
    if (m_listener) m_listener->DataChanged(row, row, column, column);
    return true;
}

std::string_view ReportTable::GetItemText(int row, int column) const {
    if (!ValidCell(row, column)) return {};
    const Row& cells = m_rows[static_cast<std::size_t>(row)];
    const std::uint32_t* ends = Ends(cells);
    const std::size_t start = column == 0 ? 0 : ends[column - 1];
    return {Texts(cells) + start, ends[column] - start};
}

void ReportTable::GetRowTexts(int row, std::vector<std::string_view>& texts) const {
    texts.clear();
    if (row < 0 || row >= GetItemCount()) return;
    const Row& cells = m_rows[static_cast<std::size_t>(row)];
#if defined(__GNUC__)
    // Whole-row walks go row by row, and after a sort the rows' blocks lie
    // anywhere: ask for a later row's block while this one is read.
    constexpr int kAhead = 4;
    if (row + kAhead < GetItemCount()) __builtin_prefetch(m_rows[static_cast<std::size_t>(row + kAhead)].get());
#endif
    const std::uint32_t* ends = Ends(cells);
    const char* chars = Texts(cells);
    std::size_t start = 0;
    for (std::size_t column = 0; column < m_columns.size(); ++column) {
        texts.emplace_back(chars + start, ends[column] - start);
        start = ends[column];
    }
}

void ReportTable::RemoveRow(int row) {
    if (row < 0 || row >= GetItemCount()) return;
    if (m_listener) m_listener->RowsAboutToBeRemoved(row, row);
    if (row == 0) {
        m_rows.pop_front();
    } else {
        m_rows.erase(m_rows.begin() + row);
    }
    TextChanged();
    if (m_listener) m_listener->RowsRemoved(row, row);
}

int ReportTable::RemoveAllRows() {
    const int count = GetItemCount();
    if (m_listener) m_listener->AboutToReset();
    m_rows.clear();
    // A long list gives its memory back at once, not when it next shrinks.
    m_rows.shrink_to_fit();
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
    const std::size_t offset = kind == ColorKind::Text ? 0 : static_cast<std::size_t>(columns);
    for (int r = firstRow; r <= lastRow; ++r) {
        Colorref* colors = Colors(m_rows[static_cast<std::size_t>(r)]) + offset;
        std::fill(colors + firstColumn, colors + lastColumn + 1, color);
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
    return Colors(m_rows[static_cast<std::size_t>(row)])[offset + static_cast<std::size_t>(column)];
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
    std::deque<Row> moved;
    for (std::size_t from : order) moved.push_back(std::move(m_rows[from]));
    m_rows.swap(moved);
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
