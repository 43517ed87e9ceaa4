#pragma once
// Line-by-line comparison of two texts for the difference viewer: the lines of
// both files laid out as aligned rows, each row equal, changed, or present on
// one side only.
//
// Line ends are not part of a line: "\n" and "\r\n" both end a line, so the
// same text saved with different line ends compares equal. A last line without
// a line end equals the same line with one. A lone "\r" is an ordinary
// character. Otherwise lines are compared byte for byte.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qvr::viewers {

// Splits text into lines without their line ends. An empty text has no lines;
// a text ending in a line end has no empty line after it.
std::vector<std::string> SplitLines(std::string_view text);

enum class RowKind { Equal, Changed, OnlyLeft, OnlyRight };

// One row of the side-by-side view. A side a row does not show has index -1.
struct DiffRow {
    RowKind kind = RowKind::Equal;
    long left = -1;   // 0-based line of the left file
    long right = -1;  // 0-based line of the right file

    bool operator==(const DiffRow&) const = default;
};

// A run of consecutive rows that are not Equal: one "difference".
struct DiffHunk {
    std::size_t firstRow = 0;
    std::size_t rowCount = 0;

    bool operator==(const DiffHunk&) const = default;
};

// Aligns the two files' lines. The result is a shortest edit script for
// ordinary inputs; for inputs so unlike that the exact search would take too
// long, a coarser alignment (still correct, possibly with more changed rows)
// is returned instead. Within one block of differences, left and right lines
// are paired as Changed rows and the surplus of either side follows as
// OnlyLeft / OnlyRight rows.
std::vector<DiffRow> DiffLines(const std::vector<std::string>& left,
                               const std::vector<std::string>& right);

// The blocks of differing rows, in row order.
std::vector<DiffHunk> FindHunks(const std::vector<DiffRow>& rows);

}  // namespace qvr::viewers
