#pragma once
// The data of one report list: columns declared by a column spec, rows of
// cell texts, and a text and a background colour for every cell. The window's
// list view is a thin adapter over it; classification, find, export and
// sorting work on the table alone.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/text_arena.h"

namespace qvr {

// A colour reference: red in the low byte, green in the next, blue in the
// third. kDefaultColor (-1) stands for the system colour.
using Colorref = std::uint32_t;
inline constexpr Colorref kDefaultColor = 0xFFFFFFFFu;

enum class ColumnAlignment { Left, Center, Right };

struct ReportColumn {
    std::string heading;
    int width = 100;
    ColumnAlignment alignment = ColumnAlignment::Left;
};

// Told about every change, so a view can follow the table. The "about to"
// calls come before the change and the others after it.
class IReportTableListener {
public:
    virtual ~IReportTableListener() = default;
    virtual void RowsAboutToBeInserted(int /*first*/, int /*last*/) {}
    virtual void RowsInserted(int /*first*/, int /*last*/) {}
    virtual void RowsAboutToBeRemoved(int /*first*/, int /*last*/) {}
    virtual void RowsRemoved(int /*first*/, int /*last*/) {}
    // Cells in the rectangle changed text or colour.
    virtual void DataChanged(int /*firstRow*/, int /*lastRow*/, int /*firstColumn*/,
                             int /*lastColumn*/) {}
    // The caller asked to see a colour change at once.
    virtual void RepaintRequested() {}
    // Rows moved whole: row k afterwards is row order[k] before.
    virtual void LayoutAboutToBeChanged() {}
    virtual void LayoutChanged(const std::vector<std::size_t>& /*order*/) {}
    // Columns or all rows were replaced.
    virtual void AboutToReset() {}
    virtual void Reset() {}
};

class ReportTable {
public:
    explicit ReportTable(Colorref systemTextColor = 0x000000, Colorref systemBackColor = 0xFFFFFF);

    // Removes every row and column, then declares the columns of the column spec:
    // entries separated by ";", fields by ",", empty ones dropped; heading,
    // width (leading digits, 100 when missing), alignment (1 centre, 2 right,
    // else left). True when at least one column was made.
    bool ApplyColumnSpec(std::string_view columnSpec);

    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    std::string GetColumnHeading(int column) const;
    const ReportColumn* Column(int column) const;

    int GetItemCount() const { return static_cast<int>(m_rows.size()); }
    // Inserts a row before row (appends when row is past the end) with text
    // in column 0 and system colours; returns its index, or -1 when row is
    // negative or the table has no columns. Clears the sort state.
    int InsertItem(int row, std::string_view text);
    // The same with the texts of the first columns given at once (extra
    // texts are ignored): one change for a whole row.
    int InsertItem(int row, std::span<const std::string_view> texts);
    // Sets one cell; false when row or column is out of range. Clears the
    // sort state.
    bool SetItemText(int row, int column, std::string_view text);
    // The cell text, or an empty text out of range. It stays valid until the
    // table next changes.
    std::string_view GetItemText(int row, int column) const;
    // Every cell text of a row at once (none out of range), for walks over
    // whole rows such as the export.
    void GetRowTexts(int row, std::vector<std::string_view>& texts) const;
    // A row's cells as they are stored, for walks over many rows (the sort,
    // the export). Each cell's text is the row's own or, where rows inserted
    // one after another repeat a text, one copy kept for all of them; Cell()
    // reads either. Empty out of range; valid until the table next changes.
    struct StoredRow {
        // The row's own texts back to back; a shared cell holds its reference
        // here, so the bytes read as texts only while HasShared() is false.
        std::string_view stored;
        const unsigned char* ends = nullptr;
        std::size_t columns = 0;
        // Bytes per end: 1, 2 or 4.
        unsigned endWidth = 1;
        std::uint64_t sharedMask = 0;
        const ReportTable* table = nullptr;

        // Where column's stored bytes end (column < columns).
        std::size_t End(std::size_t column) const {
            if (endWidth == 1) return ends[column];
            if (endWidth == 2) {
                std::uint16_t end;
                std::memcpy(&end, ends + column * sizeof end, sizeof end);
                return end;
            }
            std::uint32_t end;
            std::memcpy(&end, ends + column * sizeof end, sizeof end);
            return end;
        }
        bool HasShared() const { return sharedMask != 0; }
        bool Shared(std::size_t column) const { return column < 64 && ((sharedMask >> column) & 1u) != 0; }
        // The shared text's reference, or kOwnText for a text of the row's own.
        std::uint32_t SharedId(std::size_t column) const;
        std::string_view Cell(std::size_t column) const;
        // Every cell's text at once, into texts[0, columns).
        void Cells(std::string_view* texts) const;
    };
    static constexpr std::uint32_t kOwnText = 0xFFFFFFFFu;
    StoredRow GetStoredRow(int row) const;
    void RemoveRow(int row);
    // Returns the number of rows removed.
    int RemoveAllRows();

    // Colour setters work on a rectangle: a row or column out of range
    // means all of them. kDefaultColor stands for the system colour.
    void SetCellTextColor(int row, int column, Colorref color, bool redraw = false);
    void SetCellBackColor(int row, int column, Colorref color, bool redraw = false);
    // kDefaultColor (0xFFFFFFFF) when row or column is out of range.
    Colorref GetCellTextColor(int row, int column) const;
    Colorref GetCellBackColor(int row, int column) const;
    Colorref SystemTextColor() const { return m_systemText; }
    Colorref SystemBackColor() const { return m_systemBack; }

    int SortColumn() const { return m_sortColumn; }
    bool SortAscending() const { return m_sortAscending; }
    void SetSortState(int column, bool ascending);

    // Moves rows whole with their colours: row k of the result is the old
    // row order[k]. False (and nothing moved) unless order is a permutation
    // of all rows.
    bool ApplyPermutation(const std::vector<std::size_t>& order);

    // Incremented on every change of texts, colours, rows or columns.
    std::uint64_t ChangeCount() const { return m_changeCount; }
    // Incremented only when texts, rows, row order or columns change; what
    // an index over the cell texts depends on.
    std::uint64_t TextChangeCount() const { return m_textChangeCount; }

    // One listener at a time; nullptr detaches it.
    void SetListener(IReportTableListener* listener) { m_listener = listener; }

private:
    // A row's cell texts live in one block of the table's arena: where each
    // cell's text ends, then the texts back to back, with room to spare given
    // by capacity. A cell that repeats the text of the row inserted before it
    // holds a four-byte reference to one copy of it instead. Its colours and
    // which of its cells are such references are one of the table's schemes:
    // rows share the few combinations a list uses, so a row costs its texts
    // and sixteen bytes.
    struct Row {
        unsigned char* block = nullptr;
        std::uint32_t capacity = 0;
        std::uint32_t scheme = 0;
    };

    // Texts kept once for runs of rows that repeat them. Append-only: a text
    // stays where it is (compaction, removal and sorting move only the
    // references) until the table's rows are emptied. A reference is a
    // chunk's number and a place in it; each text is led by its length.
    class SharedTexts {
    public:
        // A reference takes four bytes, so a text of eight or more saves at
        // least half of it in every row after the first; the longest ones
        // are left to the rows, so every text fits the smallest chunk.
        static constexpr std::size_t kMinLength = 8;
        static constexpr std::size_t kMaxLength = 4096;
        // kOwnText when the store is full.
        std::uint32_t Add(std::string_view text);
        std::string_view Text(std::uint32_t id) const {
            const char* at = m_chunks[id >> kPlaceBits].get() + (id & kPlaceMask);
            std::uint16_t length;
            std::memcpy(&length, at, sizeof length);
            return {at + sizeof length, length};
        }
        void Clear();

    private:
        static constexpr unsigned kPlaceBits = 18;
        static constexpr std::uint32_t kPlaceMask = (std::uint32_t{1} << kPlaceBits) - 1;
        std::vector<std::unique_ptr<char[]>> m_chunks;
        std::size_t m_chunkSize = 0;
        std::size_t m_used = 0;
    };

    // The cell of the row inserted last, for the next row to compare with.
    struct PreviousCell {
        std::string_view text;
        std::uint32_t shared = kOwnText;
        // The cell repeated the one before it: the column holds runs, so a
        // new text there is kept shared from its first row on.
        bool inRun = false;
    };

    enum class ColorKind { Text, Back };

    Row MakeRow(std::span<const std::string_view> texts);
    std::uint64_t ChooseSharedCells(std::span<const std::string_view> texts, std::vector<std::uint32_t>& ids);
    static unsigned EndWidth(const Row& row);
    std::size_t HeaderBytes(const Row& row) const;
    std::size_t BlockBytes(const Row& row) const;
    std::size_t End(const Row& row, std::size_t column) const;
    void SetEnd(const Row& row, std::size_t column, std::size_t end) const;
    std::size_t TextBytes(const Row& row) const;
    char* Texts(const Row& row) const;
    void ReplaceCellText(Row& row, std::size_t column, std::string_view text);
    void Abandon(const Row& row);
    void CompactIfWasteful();
    void ClearStorage();
    std::uint32_t InternScheme(std::vector<Colorref>&& colors);
    std::uint32_t WithSharedMask(std::uint32_t scheme, std::uint64_t mask);
    std::uint64_t SharedMask(const Row& row) const { return m_schemeMasks[row.scheme]; }
    std::string_view CellText(const Row& row, std::size_t column) const;
    void ForgetPreviousRow();
    bool ValidCell(int row, int column) const;
    void SetColor(ColorKind kind, int row, int column, Colorref color, bool redraw);
    Colorref GetColor(ColorKind kind, int row, int column) const;
    void ClearSortState();
    void TextChanged();
    void ColorChanged();

    std::vector<ReportColumn> m_columns;
    std::deque<Row> m_rows;
    TextArena m_arena;
    // Arena bytes of blocks no row uses any more (grown or removed rows).
    std::size_t m_abandoned = 0;
    // Colour scheme k: text colours of every column, then background colours.
    // Scheme 0 is the system colours everywhere.
    std::vector<std::vector<Colorref>> m_schemes;
    std::map<std::vector<Colorref>, std::uint32_t> m_schemeIds;
    // Which cells of a scheme's rows are shared: the scheme's last two
    // entries, kept here too for a quick look.
    std::vector<std::uint64_t> m_schemeMasks;
    // Scheme 0 with each mask of shared cells a new row has had.
    std::unordered_map<std::uint64_t, std::uint32_t> m_newRowSchemes;
    // A colour change to one row's scheme, and the scheme it gave.
    struct Recolouring {
        std::uint32_t scheme;
        ColorKind kind;
        int firstColumn;
        int lastColumn;
        Colorref color;
        bool Same(const Recolouring& other) const {
            return scheme == other.scheme && kind == other.kind && firstColumn == other.firstColumn &&
                   lastColumn == other.lastColumn && color == other.color;
        }
    };
    std::optional<std::pair<Recolouring, std::uint32_t>> m_lastRecolouring;
    // The last of them, as rows in a run mostly have the same.
    std::uint64_t m_lastNewRowMask = 0;
    std::uint32_t m_lastNewRowScheme = 0;
    SharedTexts m_shared;
    std::vector<PreviousCell> m_previous;
    std::vector<std::uint32_t> m_sharedIds;
    Colorref m_systemText;
    Colorref m_systemBack;
    int m_sortColumn = -1;
    bool m_sortAscending = true;
    std::uint64_t m_changeCount = 0;
    std::uint64_t m_textChangeCount = 0;
    IReportTableListener* m_listener = nullptr;
};

inline std::uint32_t ReportTable::StoredRow::SharedId(std::size_t column) const {
    if (!Shared(column)) return kOwnText;
    std::uint32_t id;
    std::memcpy(&id, stored.data() + (column == 0 ? 0 : End(column - 1)), sizeof id);
    return id;
}

inline std::string_view ReportTable::StoredRow::Cell(std::size_t column) const {
    const std::size_t start = column == 0 ? 0 : End(column - 1);
    if (Shared(column)) {
        std::uint32_t id;
        std::memcpy(&id, stored.data() + start, sizeof id);
        return table->m_shared.Text(id);
    }
    return {stored.data() + start, End(column) - start};
}

inline void ReportTable::StoredRow::Cells(std::string_view* texts) const {
    auto walk = [&](auto endType) {
        using EndType = decltype(endType);
        std::size_t start = 0;
        for (std::size_t column = 0; column < columns; ++column) {
            EndType end;
            std::memcpy(&end, ends + column * sizeof end, sizeof end);
            texts[column] = {stored.data() + start, end - start};
            start = end;
        }
    };
    if (endWidth == 1) {
        walk(std::uint8_t{});
    } else if (endWidth == 2) {
        walk(std::uint16_t{});
    } else {
        walk(std::uint32_t{});
    }
    for (std::uint64_t mask = sharedMask; mask != 0; mask &= mask - 1) {
        const auto column = static_cast<std::size_t>(std::countr_zero(mask));
        std::uint32_t id;
        std::memcpy(&id, texts[column].data(), sizeof id);
        texts[column] = table->m_shared.Text(id);
    }
}

// Rows holding data: the row count when row 0's Record cell (column 0) is
// filled, else 0, so a list showing only blank rows counts as empty.
int CountFilledRows(const ReportTable& table);

}  // namespace qvr
