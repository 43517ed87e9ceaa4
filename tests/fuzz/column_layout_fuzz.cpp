// The column layout parser over any text a settings file may hold: it must
// never crash, every column it makes has a non-empty heading and a width,
// and a table built from it takes rows and cells, keeping every cell text
// whatever the other cells of its row do.

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "compare/report_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view columnSpec(reinterpret_cast<const char*>(data), size);
    qvr::ReportTable table;
    const bool made = table.ApplyColumnSpec(columnSpec);
    if (made != (table.ColumnCount() > 0)) std::abort();
    for (int c = 0; c < table.ColumnCount(); ++c) {
        const qvr::ReportColumn* column = table.Column(c);
        if (column == nullptr) std::abort();
        if (table.GetColumnHeading(c) != column->heading) std::abort();
    }
    if (!made) return 0;
    // Row 0 holds the whole input in its first cell and a piece of it in
    // each of the next ones. Every edit of a cell updates where all the
    // cells after it end, so cells are edited only in tables of list-like
    // width; wider ones are filled and read whole, which keeps the work per
    // input in proportion to the input.
    constexpr int kEditedWidth = 48;
    const int edited = table.ColumnCount() <= kEditedWidth ? table.ColumnCount() : 1;
    const int row = table.InsertItem(0, columnSpec);
    if (row != 0) std::abort();
    auto pieceFor = [&](int c) {
        return c < edited ? columnSpec.substr(static_cast<std::size_t>(c) % columnSpec.size(), 5) : std::string_view();
    };
    for (int c = 1; c < edited; ++c) {
        if (!table.SetItemText(row, c, pieceFor(c))) std::abort();
    }
    // A second row made whole from pieces of the input, then each cell given
    // a shorter piece and one of its neighbours' texts.
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0; start < columnSpec.size(); start += 7) pieces.push_back(columnSpec.substr(start, 7));
    if (table.InsertItem(1, pieces) != 1) std::abort();
    std::vector<std::string> expected(static_cast<std::size_t>(table.ColumnCount()));
    for (std::size_t c = 0; c < expected.size() && c < pieces.size(); ++c) expected[c] = pieces[c];
    for (int c = 0; c < edited; ++c) {
        const auto k = static_cast<std::size_t>(c);
        const std::string shorter = expected[k].substr(0, expected[k].size() / 2);
        table.SetItemText(1, c, shorter);
        expected[k] = shorter;
        const std::size_t from = (k * 5 + 3) % expected.size();
        table.SetItemText(1, c, table.GetItemText(1, static_cast<int>(from)));
        expected[k] = expected[from];
    }
    std::vector<std::string_view> texts;
    table.GetRowTexts(1, texts);
    if (texts.size() != expected.size()) std::abort();
    for (std::size_t c = 0; c < expected.size(); ++c) {
        if (texts[c] != expected[c] || table.GetItemText(1, static_cast<int>(c)) != expected[c]) std::abort();
        if (table.GetItemText(0, static_cast<int>(c)) != (c == 0 ? columnSpec : pieceFor(static_cast<int>(c)))) std::abort();
    }
    return 0;
}
