#pragma once
// Finds the counterpart of a local file among the Top List rows: the first
// row, in row order, whose repository key (path "\\" file, upper-cased)
// contains the local key anywhere. A suffix array over all keys answers each
// lookup in logarithmic time instead of a pass over every row.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compare/report_table.h"

namespace qvr {

// Column 2 (repository path), "\\", column 1 (file name) of a Top List row,
// in the repository's own letter case.
std::string RepositoryPathOf(const ReportTable& top, int row);
// The same, upper-cased (ASCII letters), as local keys are matched against.
std::string RepositoryKeyOf(const ReportTable& top, int row);

// The reference search: every row in order, first containing row wins.
int FindFirstMatchingRowLinear(const ReportTable& top, std::string_view localKey);

class RepositoryKeyIndex {
public:
    // Indexes every row of the table as it is now.
    void Build(const ReportTable& top);
    // True when the index was built from this table and no text, row or
    // order has changed since.
    bool IsCurrentFor(const ReportTable& top) const;
    // The first row whose key contains localKey, or -1.
    int FindFirst(std::string_view localKey) const;
    int RowCount() const { return static_cast<int>(m_rowStart.size()) - 1; }

private:
    int RowAt(std::int32_t textPosition) const;
    int Compare(std::int32_t suffix, std::string_view key) const;
    std::int32_t MinimumPosition(std::size_t low, std::size_t high) const;
    void BuildRangeMinimum();

    const ReportTable* m_table = nullptr;
    std::uint64_t m_textChangeCount = 0;
    // Every key followed by a 0 byte, in row order.
    std::string m_text;
    std::vector<std::int32_t> m_rowStart;  // text position of each row's key, plus the end
    std::vector<std::int32_t> m_suffixes;
    // Range minimum over the suffix positions: the first-matching row is the
    // smallest text position among the suffixes that start with the key.
    std::vector<std::vector<std::int32_t>> m_blockMinimum;  // [level][block]
};

}  // namespace qvr
