// The column-columnSpec parser over any text a settings file may hold: it must
// never crash, every column it makes has a non-empty heading and a width,
// and a table built from it takes rows and cells.

#include <cstdlib>
#include <string_view>

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
    const int row = table.InsertItem(0, columnSpec);
    if (row != 0) std::abort();
    for (int c = 0; c < table.ColumnCount(); ++c) {
        if (!table.SetItemText(row, c, columnSpec)) std::abort();
    }
    return 0;
}
