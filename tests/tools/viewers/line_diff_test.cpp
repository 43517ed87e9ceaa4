#include "tools/viewers/line_diff.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace qvr::viewers {
namespace {

using Lines = std::vector<std::string>;

// The kinds of the rows as one character each: '=' equal, '~' changed,
// '<' only left, '>' only right.
std::string Kinds(const std::vector<DiffRow>& rows) {
    std::string kinds;
    for (const auto& row : rows) {
        switch (row.kind) {
            case RowKind::Equal: kinds += '='; break;
            case RowKind::Changed: kinds += '~'; break;
            case RowKind::OnlyLeft: kinds += '<'; break;
            case RowKind::OnlyRight: kinds += '>'; break;
        }
    }
    return kinds;
}

// Every line of both files appears exactly once, in order; rows that say
// equal really are, and each row shows the sides its kind says.
::testing::AssertionResult RowsAreConsistent(const Lines& left, const Lines& right,
                                             const std::vector<DiffRow>& rows) {
    long nextLeft = 0, nextRight = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const DiffRow& row = rows[r];
        const bool wantLeft = row.kind != RowKind::OnlyRight;
        const bool wantRight = row.kind != RowKind::OnlyLeft;
        if (wantLeft != (row.left >= 0) || wantRight != (row.right >= 0)) {
            return ::testing::AssertionFailure() << "row " << r << " shows the wrong sides";
        }
        if (wantLeft && row.left != nextLeft++) return ::testing::AssertionFailure() << "left order at row " << r;
        if (wantRight && row.right != nextRight++) return ::testing::AssertionFailure() << "right order at row " << r;
        if (row.kind == RowKind::Equal && left[static_cast<std::size_t>(row.left)] != right[static_cast<std::size_t>(row.right)]) {
            return ::testing::AssertionFailure() << "row " << r << " is Equal but the lines differ";
        }
    }
    if (nextLeft != static_cast<long>(left.size()) || nextRight != static_cast<long>(right.size())) {
        return ::testing::AssertionFailure() << "not every line has a row";
    }
    return ::testing::AssertionSuccess();
}

std::size_t EqualRows(const std::vector<DiffRow>& rows) {
    std::size_t equal = 0;
    for (const auto& row : rows) equal += row.kind == RowKind::Equal;
    return equal;
}

std::size_t LongestCommonSubsequence(const Lines& a, const Lines& b) {
    std::vector<std::vector<std::size_t>> table(a.size() + 1, std::vector<std::size_t>(b.size() + 1, 0));
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            table[i][j] = a[i - 1] == b[j - 1] ? table[i - 1][j - 1] + 1
                                               : std::max(table[i - 1][j], table[i][j - 1]);
        }
    }
    return table[a.size()][b.size()];
}

TEST(SplitLinesTest, LineEndsAreNotPartOfTheLine) {
    struct Case {
        const char* text;
        Lines lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\nb\r\n", {"a", "b"}},
        {"\n", {""}},
        {"\n\n", {"", ""}},
        {"a\rb\n", {"a\rb"}},      // a lone CR is text
        {"a\r\r\n", {"a\r"}},      // only the CR right before LF belongs to the line end
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitLines(c.text), c.lines) << "text: " << c.text;
    }
    EXPECT_EQ(SplitLines(std::string_view("x\0y\n", 4)), Lines{std::string("x\0y", 3)});
}

TEST(DiffLinesTest, AlignsTypicalEdits) {
    struct Case {
        const char* name;
        Lines left;
        Lines right;
        const char* kinds;
    };
    const Case cases[] = {
        {"both empty", {}, {}, ""},
        {"left empty", {}, {"a", "b"}, ">>"},
        {"right empty", {"a", "b"}, {}, "<<"},
        {"identical", {"a", "b", "c"}, {"a", "b", "c"}, "==="},
        {"insert at start", {"b", "c"}, {"a", "b", "c"}, ">=="},
        {"insert in middle", {"a", "c"}, {"a", "b", "c"}, "=>="},
        {"insert at end", {"a", "b"}, {"a", "b", "c"}, "==>"},
        {"delete at start", {"a", "b", "c"}, {"b", "c"}, "<=="},
        {"delete in middle", {"a", "b", "c"}, {"a", "c"}, "=<="},
        {"delete at end", {"a", "b", "c"}, {"a", "b"}, "==<"},
        {"change one line", {"a", "b", "c"}, {"a", "B", "c"}, "=~="},
        {"change two into three", {"a", "b", "c", "d"}, {"a", "x", "y", "z", "d"}, "=~~>="},
        {"change three into one", {"a", "b", "c", "d", "e"}, {"a", "x", "e"}, "=~<<="},
        {"completely different", {"a", "b", "c"}, {"x", "y"}, "~~<"},
        {"blank lines count", {"a", "", "b"}, {"a", "b"}, "=<="},
        {"case matters", {"Alpha"}, {"alpha"}, "~"},
        {"trailing blank matters", {"a "}, {"a"}, "~"},
        {"repeated lines", {"x", "x", "x"}, {"x", "x"}, "==<"},
        {"two separate differences", {"a", "b", "c", "d", "e"}, {"a", "B", "c", "d", "E"}, "=~==~"},
    };
    for (const auto& c : cases) {
        auto rows = DiffLines(c.left, c.right);
        EXPECT_EQ(Kinds(rows), c.kinds) << c.name;
        EXPECT_TRUE(RowsAreConsistent(c.left, c.right, rows)) << c.name;
    }
}

TEST(DiffLinesTest, SameTextWithCrLfAndLfLineEndsIsEqual) {
    auto rows = DiffLines(SplitLines("one\r\ntwo\r\nthree\r\n"), SplitLines("one\ntwo\nthree"));
    EXPECT_EQ(Kinds(rows), "===");
}

TEST(DiffLinesTest, FindsAShortestEditOnRandomInputs) {
    // Small alphabets make many repeated lines: the hard case for alignment.
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        auto randomLines = [&](std::size_t maxCount) {
            Lines lines(random() % (maxCount + 1));
            for (auto& line : lines) line = std::string(1, static_cast<char>('a' + random() % 4));
            return lines;
        };
        Lines left = randomLines(30), right = randomLines(30);
        auto rows = DiffLines(left, right);
        ASSERT_TRUE(RowsAreConsistent(left, right, rows)) << "round " << round;
        EXPECT_EQ(EqualRows(rows), LongestCommonSubsequence(left, right)) << "round " << round;
    }
}

Lines NumberedLines(std::size_t count, const std::string& prefix) {
    Lines lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) lines.push_back(prefix + std::to_string(i));
    return lines;
}

TEST(DiffLinesTest, LargeFilesWithFewDifferences) {
    Lines left = NumberedLines(100000, "line ");
    Lines right = left;
    right[10] = "changed";
    right.erase(right.begin() + 50000);
    right.insert(right.begin() + 90000, "inserted");

    auto rows = DiffLines(left, right);
    ASSERT_TRUE(RowsAreConsistent(left, right, rows));
    EXPECT_EQ(EqualRows(rows), 100000u - 2u);
    auto hunks = FindHunks(rows);
    ASSERT_EQ(hunks.size(), 3u);
    EXPECT_EQ(rows[hunks[0].firstRow], (DiffRow{RowKind::Changed, 10, 10}));
    EXPECT_EQ(rows[hunks[1].firstRow], (DiffRow{RowKind::OnlyLeft, 50000, -1}));
    EXPECT_EQ(rows[hunks[2].firstRow].kind, RowKind::OnlyRight);
}

TEST(DiffLinesTest, CompletelyDifferentLargeFilesPairUpAsChanged) {
    Lines left = NumberedLines(20000, "left ");
    Lines right = NumberedLines(20000, "right ");
    auto rows = DiffLines(left, right);
    ASSERT_EQ(rows.size(), 20000u);
    EXPECT_EQ(Kinds(rows), std::string(20000, '~'));
    EXPECT_EQ(FindHunks(rows).size(), 1u);
}

TEST(DiffLinesTest, DissimilarFilesSharingManyLinesStillGiveAValidAlignment) {
    // Shared lines in unrelated order: an exact search would be quadratic;
    // the bounded search must still give a correct (if coarser) alignment.
    std::mt19937 random(7);
    Lines left(20000), right(20000);
    for (auto& line : left) line = "x" + std::to_string(random() % 50);
    for (auto& line : right) line = "x" + std::to_string(random() % 50);
    auto rows = DiffLines(left, right);
    EXPECT_TRUE(RowsAreConsistent(left, right, rows));
    EXPECT_GT(EqualRows(rows), 0u);
}

TEST(FindHunksTest, GroupsConsecutiveDifferingRows) {
    const std::vector<DiffRow> rows = {
        {RowKind::Changed, 0, 0}, {RowKind::OnlyLeft, 1, -1}, {RowKind::Equal, 2, 1},
        {RowKind::OnlyRight, -1, 2}, {RowKind::Equal, 3, 3},
    };
    EXPECT_EQ(FindHunks(rows), (std::vector<DiffHunk>{{0, 2}, {3, 1}}));
    EXPECT_TRUE(FindHunks({{RowKind::Equal, 0, 0}}).empty());
    EXPECT_TRUE(FindHunks({}).empty());
}

}  // namespace
}  // namespace qvr::viewers
