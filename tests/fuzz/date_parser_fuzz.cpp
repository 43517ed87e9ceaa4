// The sort-key readers (date, hexadecimal, decimal) over any cell text, and
// the list's own quicksort over any column of such cells: it must never
// crash or read outside the column, whatever the comparison makes of the
// cells, and its answer is a permutation of the rows.
//
// Input: the cells of one column, one per line.

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "compare/report_sort.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> cells;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = input.find('\n', begin);
        cells.push_back(input.substr(begin, end - begin));
        if (end == std::string_view::npos) break;
        begin = end + 1;
    }
    for (std::string_view cell : cells) {
        std::int64_t seconds = 0;
        (void)qvr::ReadDateCell(cell, seconds);
        std::uint32_t small = 0;
        std::string big;
        (void)qvr::ReadHexCell(cell, small, big);
        double value = 0.0;
        (void)qvr::ReadDecimalCell(cell, value);
    }
    std::vector<qvr::CellSortKey> keys;
    for (std::string_view cell : cells) keys.push_back(qvr::MakeCellSortKey(cell));
    // When every cell is read the same way the column is ranked before the
    // sort; only then is there a second way of sorting to hold it against.
    auto uniform = [&](bool qvr::CellSortKey::*flag) {
        return std::all_of(keys.begin(), keys.end(), [&](const auto& key) { return key.*flag == keys.front().*flag; });
    };
    const bool oneRule = uniform(&qvr::CellSortKey::isHex) &&
                         (keys.front().isHex || (uniform(&qvr::CellSortKey::isDecimal) &&
                                                 (keys.front().isDecimal || uniform(&qvr::CellSortKey::isDate))));
    for (bool ascending : {true, false}) {
        std::vector<std::size_t> order = qvr::ComputeSortOrder(cells, ascending);
        if (order.size() != cells.size()) std::abort();
        // The ranked sort takes exactly the decisions of the pair-by-pair one.
        if (oneRule && order != qvr::ComputeSortOrderPairwise(keys, ascending)) std::abort();
        std::sort(order.begin(), order.end());
        for (std::size_t k = 0; k < order.size(); ++k) {
            if (order[k] != k) std::abort();
        }
    }
    return 0;
}
