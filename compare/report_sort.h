#pragma once
// Sorting of a report list by one column. The kind of comparison (hexadecimal,
// decimal, date, text) is chosen for each pair of cells, as the list always
// did; to keep large lists fast every cell of the sort column is read once per
// sort into a key that remembers which readings succeeded.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/message_pump.h"

namespace qvr {

class ReportTable;

// A cell text read every way the comparison may need it.
struct CellSortKey {
    std::string_view text;
    bool isHex = false;
    bool isDecimal = false;
    bool isDate = false;
    // Hexadecimal value: values that fit 32 bits are compared as the 32-bit
    // number the list always saw; longer digit strings are kept (normalised:
    // no leading zeros, lower case) and compared by value instead of all
    // collapsing to the largest 32-bit number.
    std::uint32_t hexSmall = 0;
    std::string hexBig;
    double decimal = 0.0;
    std::int64_t dateSeconds = 0;  // seconds since 1899-12-30 00:00:00
};

CellSortKey MakeCellSortKey(std::string_view text);

// Negative, 0 or positive, deciding the kind of comparison for this pair.
int CompareSortKeys(const CellSortKey& a, const CellSortKey& b);
int CompareCellTexts(std::string_view a, std::string_view b);

// Parsers the keys are made of; exposed for their tests.
bool ReadHexCell(std::string_view text, std::uint32_t& small, std::string& big);
bool ReadDecimalCell(std::string_view text, double& value);
bool ReadDateCell(std::string_view text, std::int64_t& seconds);

// The new row order: entry k is the old index of the row that goes to k. The
// list's own quicksort (middle pivot, i/j scans); not stable.
std::vector<std::size_t> ComputeSortOrder(const std::vector<CellSortKey>& keys, bool ascending);
// The same quicksort deciding every comparison from the two keys alone.
std::vector<std::size_t> ComputeSortOrderPairwise(const std::vector<CellSortKey>& keys, bool ascending);
std::vector<std::size_t> ComputeSortOrder(const std::vector<std::string_view>& texts,
                                          bool ascending);

// Sorts all rows of the table by one column, rows moving whole with their
// colours, and records the sort state. False (nothing changed) when the column
// does not exist; a table with fewer than two rows only records the state.
bool SortTableByColumn(ReportTable& table, int column, bool ascending);
// The same, rows with equal texts in column then ordered by the text of
// tieColumn (byte order, in the same direction), so that the order does not
// depend on the order the rows came in.
bool SortTableByColumnThenBy(ReportTable& table, int column, int tieColumn, bool ascending);

// A sort of a whole list: by column, rows with equal texts there then by
// tieColumn (-1: none).
struct TableSortRequest {
    int column = 0;
    int tieColumn = -1;
    bool ascending = true;
};

// The same sorts for a list on show: the order of a long list is worked out
// on other threads from a copy of the texts it needs, while this thread
// keeps the window alive through pump; the rows then move in one step. The
// result is the one the sorts above give. When busyFlag is set at the start
// and cleared during the wait (Cancel), or the table changes meanwhile, the
// order is dropped and false returned with the rows as they were; false also
// for a column that does not exist.
bool SortTableWhilePumping(ReportTable& table, const TableSortRequest& request, IMessagePump& pump,
                           const int* busyFlag = nullptr);

// texts(first, last, take) calls take(text) for the rows [first, last) counted
// from the last row up, in that order.
using TextsFromLastRow =
    std::function<void(std::size_t first, std::size_t last, const std::function<void(std::string_view)>& take)>;

// The order of a long list worked out while its rows are still being added:
// from the texts its sort column is going to hold, on a worker, so that once
// the rows are in only the wait for what is left of the work remains.
class AdvanceSortOrder {
public:
    explicit AdvanceSortOrder(const TableSortRequest& request);
    ~AdvanceSortOrder();
    AdvanceSortOrder(const AdvanceSortOrder&) = delete;
    AdvanceSortOrder& operator=(const AdvanceSortOrder&) = delete;

    // Copies the sort column's texts of the rows to come and starts working
    // out the order: texts gives them from the last row up, as a list filled
    // at its top gets them, and may be called for two parts at once, from two
    // threads; together they hold no more than bytesAtMost (a bound, not an
    // exact size). Nothing is started for a list short enough to be sorted at
    // once, for a sort with a tie column, or when no thread can be had.
    void Start(std::size_t rows, std::size_t bytesAtMost, const TextsFromLastRow& texts);
    // Sorts the table as SortTableWhilePumping does, with the order worked
    // out in advance when the table holds the texts it was started with.
    bool SortWhilePumping(ReportTable& table, IMessagePump& pump, const int* busyFlag = nullptr);
    // Whether an order was started for the texts the table holds now.
    bool HoldsOrderFor(const ReportTable& table) const;

private:
    struct Work;
    const TableSortRequest m_request;
    std::unique_ptr<Work> m_work;
};

}  // namespace qvr
