#include "compare/report_sort.h"

#include "compare/report_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/param_names.h"

namespace qvr {
namespace {

std::vector<std::string> Sorted(const std::vector<std::string>& texts, bool ascending) {
    std::vector<std::string_view> views(texts.begin(), texts.end());
    std::vector<std::string> out;
    for (std::size_t index : ComputeSortOrder(views, ascending)) out.push_back(texts[index]);
    return out;
}

struct OrderCase {
    const char* name;
    std::vector<std::string> input;
    bool ascending;
    std::vector<std::string> expected;
};

class SortOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(SortOrderTest, SortsAsTheListDoes) {
    const OrderCase& c = GetParam();
    EXPECT_EQ(Sorted(c.input, c.ascending), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SortOrderTest,
    ::testing::Values(
        OrderCase{"HexReadsDigitsInBase16", {"10", "9", "0A"}, true, {"9", "0A", "10"}},
        OrderCase{"DecimalWhenNotHex", {"1.5", "10", "2%"}, true, {"1.5", "2%", "10"}},
        OrderCase{"TextIsCaseSensitive", {"main.txt", "Zip.txt"}, true, {"Zip.txt", "main.txt"}},
        OrderCase{"HexWordsAsNumbers", {"100", "ff", "add"}, true, {"ff", "100", "add"}},
        OrderCase{"Descending", {"3", "1", "2"}, false, {"3", "2", "1"}},
        OrderCase{"LongHexByValue",
                  {"123456789012", "987654321", "0000123456789", "5"},
                  true,
                  {"5", "0000123456789", "987654321", "123456789012"}},
        OrderCase{"DatesMonthFirst",
                  {"12-31-2023 23:59:59\n", "07-03-2024 14:05:09\n", "01-02-2024 08:00:00\n"},
                  true,
                  {"12-31-2023 23:59:59\n", "01-02-2024 08:00:00\n", "07-03-2024 14:05:09\n"}},
        OrderCase{"DatesWithAmPm",
                  {"3/4/2024 1:00 PM", "3/4/2024 11:00 AM", "3/3/2024"},
                  true,
                  {"3/3/2024", "3/4/2024 11:00 AM", "3/4/2024 1:00 PM"}},
        OrderCase{"EmptyCellsCompareAsText", {"b", "", "a"}, true, {"", "a", "b"}}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

struct PairCase {
    const char* a;
    const char* b;
    int expected;
};

class ComparePairTest : public ::testing::TestWithParam<PairCase> {};

TEST_P(ComparePairTest, ChoosesTheKindPerPair) {
    const PairCase& c = GetParam();
    EXPECT_EQ(CompareCellTexts(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(CompareCellTexts(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, ComparePairTest,
    ::testing::Values(
        PairCase{"0x10", "F", 1},            // hex prefix accepted
        PairCase{" 1A", "1a", 0},            // leading blanks, letter case
        PairCase{"1A ", "1B", -1},           // trailing blank: not hex, not decimal: text
        PairCase{"-1", "5", 1},              // the 32-bit conversion wraps negatives
        PairCase{"FFFFFFFF", "100000000", -1},
        PairCase{"1000000000", "999999999", 1},  // nine digits no longer compare equal
        PairCase{"2.5", "10", -1},
        PairCase{"1e3", "999.5", 1},         // 999.5 is not hex, so both read as decimals
        PairCase{"50%", "7.5%", 1},
        PairCase{"5%%", "6", -1},            // two percent signs: text
        PairCase{"1 KB", "10 KB", -1},       // text
        PairCase{"2024-01-05", "12/31/2023", 1},
        PairCase{"2/30/2023", "10/1/2023", 1},  // no 30th February: compared as text
        PairCase{"abc", "abc", 0}),
    ::qvr::testing::CaseIndexName());

TEST(ReadersTest, HexAcceptsWhatTheConversionReadsCompletely) {
    std::uint32_t small = 0;
    std::string big;
    EXPECT_TRUE(ReadHexCell("0x1f", small, big));
    EXPECT_EQ(small, 0x1Fu);
    EXPECT_TRUE(ReadHexCell("-0x1", small, big));
    EXPECT_EQ(small, 0xFFFFFFFFu);
    EXPECT_FALSE(ReadHexCell("0x", small, big));
    EXPECT_FALSE(ReadHexCell("", small, big));
    EXPECT_FALSE(ReadHexCell("12g", small, big));
    EXPECT_TRUE(ReadHexCell("000000000012", small, big));
    EXPECT_TRUE(big.empty());
    EXPECT_EQ(small, 0x12u);
    EXPECT_TRUE(ReadHexCell("ABCDEF0123", small, big));
    EXPECT_EQ(big, "abcdef0123");
}

TEST(ReadersTest, DecimalAcceptsOnePercentSignAtTheEnd) {
    double value = 0;
    EXPECT_TRUE(ReadDecimalCell("  -2.5", value));
    EXPECT_DOUBLE_EQ(value, -2.5);
    EXPECT_TRUE(ReadDecimalCell("+12%", value));
    EXPECT_DOUBLE_EQ(value, 12.0);
    EXPECT_FALSE(ReadDecimalCell("%", value));
    EXPECT_FALSE(ReadDecimalCell("1.5x", value));
    EXPECT_FALSE(ReadDecimalCell("+-1", value));
    EXPECT_FALSE(ReadDecimalCell("1 %", value));
}

TEST(ReadersTest, DatesAreValidatedCalendarDates) {
    std::int64_t a = 0, b = 0;
    EXPECT_TRUE(ReadDateCell("07-03-2024 14:05:09\n", a));
    EXPECT_TRUE(ReadDateCell("2024-07-03 2:05:09 pm", b));
    EXPECT_EQ(a, b);
    EXPECT_TRUE(ReadDateCell("12:00 AM", a));
    EXPECT_EQ(a, 0);
    EXPECT_TRUE(ReadDateCell("1/1/99", a));
    EXPECT_TRUE(ReadDateCell("1/1/1999", b));
    EXPECT_EQ(a, b);
    EXPECT_FALSE(ReadDateCell("2/30/2024", a));
    EXPECT_FALSE(ReadDateCell("13/1/2024", a));
    EXPECT_FALSE(ReadDateCell("1/1/2024 25:00", a));
    EXPECT_FALSE(ReadDateCell("1/1/2024 13:00 PM", a));
    EXPECT_FALSE(ReadDateCell("1/1-2024", a));
    EXPECT_FALSE(ReadDateCell("1/1/202412:00", a));
}

TEST(SortOrderTest, EqualKeysAndSmallInputsStayValid) {
    EXPECT_TRUE(Sorted({}, true).empty());
    EXPECT_EQ(Sorted({"x"}, false), std::vector<std::string>{"x"});
    EXPECT_EQ(Sorted({"a", "a", "a", "b", "a"}, false),
              (std::vector<std::string>{"b", "a", "a", "a", "a"}));
}

// Columns of one kind are ranked before sorting; the order must be exactly the
// one the pairwise quicksort gives, equal keys included.
TEST(SortOrderTest, RankedSortTakesThePairwiseDecisions) {
    std::mt19937 random(7);
    const std::vector<std::vector<std::string>> pools = {
        {"\\src", "\\src\\lib", "\\doc", "\\src\\lib\\x", "Zip", "main"},  // text
        {"0A", "a", "10", "ff", "FFFFFFFFFF", "00ff", "1"},                 // hexadecimal
        {"1.5", "2%", "-3", "1e3", "0.5", "1.50"},                           // decimal
        {"03/05/2024 14:07:09", "3/5/2024", "2024-03-05", "12/31/1999 1:00 PM"},  // dates
        {"1.5", "ff", "main", "3/5/2024", "10"},                            // mixed kinds
    };
    for (const auto& pool : pools) {
        for (int round = 0; round < 20; ++round) {
            std::vector<std::string> cells(1 + random() % 300);
            // Half the rows repeat the text of the row before: runs of shared cells.
            for (std::size_t k = 0; k < cells.size(); ++k) {
                cells[k] = k > 0 && random() % 2 == 0 ? cells[k - 1] : pool[random() % pool.size()];
            }
            std::vector<CellSortKey> keys;
            for (const auto& cell : cells) keys.push_back(MakeCellSortKey(cell));
            for (bool ascending : {true, false}) {
                ASSERT_EQ(ComputeSortOrder(keys, ascending), ComputeSortOrderPairwise(keys, ascending))
                    << pool.front() << " round " << round;
            }
        }
    }
    // Many distinct texts, some repeated, the empty one among them; the last
    // round long enough to be sorted on two threads.
    for (int round = 0; round < 21; ++round) {
        std::vector<std::string> cells(round == 20 ? 120'000 : 1 + random() % 3000);
        for (auto& cell : cells) {
            for (int n = static_cast<int>(random() % 7); n > 0; --n) cell += "gx\\z"[random() % 4];
        }
        std::vector<CellSortKey> keys;
        for (const auto& cell : cells) keys.push_back(MakeCellSortKey(cell));
        for (bool ascending : {true, false}) {
            ASSERT_EQ(ComputeSortOrder(keys, ascending), ComputeSortOrderPairwise(keys, ascending)) << "round " << round;
        }
    }
}

TEST(SortOrderTest, LargeSortedAndReversedInputsStayFast) {
    constexpr int kRows = 200000;
    std::vector<std::string> paths;
    paths.reserve(kRows);
    for (int k = 0; k < kRows; ++k) paths.push_back("\\src\\module" + std::to_string(1000000 + k) + ".cpp");
    std::vector<std::string_view> views(paths.begin(), paths.end());
    // A pivot choice that went quadratic on presorted input would make this
    // test run for minutes instead of a fraction of a second.
    auto ascending = ComputeSortOrder(views, true);
    auto descending = ComputeSortOrder(views, false);
    for (std::size_t k = 0; k < ascending.size(); ++k) {
        ASSERT_EQ(ascending[k], k);
        ASSERT_EQ(descending[k], kRows - 1 - k);
    }
}

}  // namespace
}  // namespace qvr

namespace qvr {
namespace {

TEST(SortTableTest, RowsMoveWholeWithTheirColoursAndStateIsKept) {
    ReportTable table;
    ASSERT_TRUE(table.ApplyColumnSpec("Record,0;File,100"));
    const char* files[] = {"b.txt", "C.txt", "a.txt"};
    for (int k = 0; k < 3; ++k) {
        table.InsertItem(k, std::to_string(k));
        table.SetItemText(k, 1, files[k]);
    }
    table.SetCellTextColor(2, 1, 0x0032FF);
    ASSERT_TRUE(SortTableByColumn(table, 1, true));
    EXPECT_EQ(table.GetItemText(0, 1), "C.txt");
    EXPECT_EQ(table.GetItemText(1, 1), "a.txt");
    EXPECT_EQ(table.GetItemText(1, 0), "2");
    EXPECT_EQ(table.GetCellTextColor(1, 1), 0x0032FFu);
    EXPECT_EQ(table.SortColumn(), 1);
    EXPECT_TRUE(table.SortAscending());

    ASSERT_TRUE(SortTableByColumn(table, 0, false));
    EXPECT_EQ(table.GetItemText(0, 0), "2");
    EXPECT_FALSE(table.SortAscending());
    EXPECT_FALSE(SortTableByColumn(table, 2, true));
    EXPECT_EQ(table.SortColumn(), 0);
}

// The table sort reads each distinct cell text once; the rows must still end
// in exactly the order the pairwise quicksort gives over every row's key.
TEST(SortTableTest, TableSortTakesThePairwiseDecisions) {
    std::mt19937 random(11);
    using namespace std::string_literals;
    const std::vector<std::vector<std::string>> pools = {
        {"\\src", "\\src\\lib", "\\doc", "", "Zip", "main"},
        // Plain texts that agree on 8, 16 or more bytes, end inside or at
        // the end of an eight-byte key, hold zero bytes or bytes above 127.
        {"\\sources\\", "\\sources\\lib", "\\sources", "\\sources\\lib\\x", "\\sources\0"s,
         "\\sources\0\0"s, "\\sources\\libraries\\a", "\\sources\\libraries\\b", "\\sources\\lib\xe9",
         "\\sources\\lib-x", "\\sources\\libraries"},
        {"0A", "a", "10", "ff", "FFFFFFFFFF", "00ff"},
        {"1.5", "2%", "-3", "1e3", "nan", "1.50"},
        {"03/05/2024 14:07:09", "3/5/2024", "2024-03-05", "12/31/1999 1:00 PM"},
        {"1.5", "ff", "main", "3/5/2024", "10", ""},
    };
    for (const auto& pool : pools) {
        for (int round = 0; round < 10; ++round) {
            std::vector<std::string> cells(2 + random() % 400);
            // Half the rows repeat the text of the row before: runs of shared cells.
            for (std::size_t k = 0; k < cells.size(); ++k) {
                cells[k] = k > 0 && random() % 2 == 0 ? cells[k - 1] : pool[random() % pool.size()];
            }
            std::vector<CellSortKey> keys;
            for (const auto& cell : cells) keys.push_back(MakeCellSortKey(cell));
            for (bool ascending : {true, false}) {
                ReportTable table;
                ASSERT_TRUE(table.ApplyColumnSpec("Record;Cell"));
                for (std::size_t k = 0; k < cells.size(); ++k) {
                    const std::string number = std::to_string(k);
                    const std::string_view texts[] = {number, cells[k]};
                    table.InsertItem(static_cast<int>(k), texts);
                }
                ASSERT_TRUE(SortTableByColumn(table, 1, ascending));
                const std::vector<std::size_t> expected = ComputeSortOrderPairwise(keys, ascending);
                for (std::size_t k = 0; k < expected.size(); ++k) {
                    ASSERT_EQ(table.GetItemText(static_cast<int>(k), 0), std::to_string(expected[k]))
                        << pool.front() << " round " << round << " row " << k;
                }
            }
        }
    }
}

// A long list is sorted from a copy on other threads while the pump keeps
// running, or from the texts it was going to hold, worked out in advance;
// the rows end exactly as the sort on the calling thread puts them, ties
// broken alike, and a Cancel or a change meanwhile leaves them alone.
TEST(SortTableTest, SortWhilePumpingMatchesTheSortHereOrLeavesTheRows) {
    std::mt19937 random(5);
    const std::vector<std::string> folders = {"\\src", "\\src\\lib", "\\src\\library\\deep\\er", "\\doc"};
    ReportTable pumped;
    ReportTable here;
    ReportTable ahead;
    const std::vector<std::string> kinds = {"1.5", "ff", "main", "3/5/2024", "10"};
    for (ReportTable* table : {&pumped, &here, &ahead}) ASSERT_TRUE(table->ApplyColumnSpec("Record;File;Path;Kind"));
    std::string path;
    for (int k = 0; k < 60'000; ++k) {
        const std::string number = std::to_string(k);
        std::string file = "f";
        file += std::to_string(random() % 50);
        // Rows come folder by folder, a folder now and then coming back.
        if (k % 8 == 0) {
            path = folders[random() % folders.size()];
            path += std::to_string(random() % 2000);
        }
        const std::string_view texts[] = {number, file, path, kinds[random() % kinds.size()]};
        for (ReportTable* table : {&pumped, &here, &ahead}) table->InsertItem(0, texts);
    }
    struct Pump final : IMessagePump {
        void PumpMessages() override {
            ++count;
            if (onPump) onPump();
        }
        void PumpPaintMessages() override {}
        int count = 0;
        std::function<void()> onPump;
    } pump;
    // Paths with ties broken by file, numbers, and a column of mixed kinds.
    const TableSortRequest requests[] = {{2, 1, true}, {2, 1, false}, {0, -1, false}, {3, -1, true}, {2, -1, true}};
    for (const TableSortRequest& request : requests) {
        ASSERT_TRUE(SortTableWhilePumping(pumped, request, pump));
        // In advance from the column's texts; with a tie column, or texts of
        // a list other than the table's, the table is sorted as it is.
        std::vector<std::string_view> texts;
        for (int row = 0; row < ahead.GetItemCount(); ++row) texts.push_back(ahead.GetItemText(row, request.column));
        if (request.column == 2 && request.tieColumn < 0) texts.pop_back();
        std::vector<std::string> copies(texts.begin(), texts.end());
        AdvanceSortOrder advance(request);
        advance.Start(ahead.GetItemCount(), 0, [&](std::size_t first, std::size_t last, const auto& take) {
            for (std::size_t k = first; k < last && k < copies.size(); ++k) take(copies[copies.size() - 1 - k]);
        });
        EXPECT_EQ(advance.HoldsOrderFor(ahead), request.tieColumn < 0 && request.column != 2);
        ASSERT_TRUE(advance.SortWhilePumping(ahead, pump));
        if (request.tieColumn < 0) {
            ASSERT_TRUE(SortTableByColumn(here, request.column, request.ascending));
        } else {
            ASSERT_TRUE(SortTableByColumnThenBy(here, request.column, request.tieColumn, request.ascending));
        }
        EXPECT_GT(pump.count, 0);
        EXPECT_EQ(pumped.SortColumn(), request.column);
        for (int row = 0; row < here.GetItemCount(); ++row) {
            ASSERT_EQ(pumped.GetItemText(row, 0), here.GetItemText(row, 0)) << "row " << row;
            ASSERT_EQ(ahead.GetItemText(row, 0), here.GetItemText(row, 0)) << "row " << row;
        }
    }
    const std::string firstBefore(pumped.GetItemText(0, 0));
    int busy = 1;
    pump.onPump = [&] { busy = 0; };
    EXPECT_FALSE(SortTableWhilePumping(pumped, {0, -1, true}, pump, &busy));
    AdvanceSortOrder advance({0, -1, true});
    std::vector<std::string> numbers;
    for (int row = 0; row < pumped.GetItemCount(); ++row) numbers.emplace_back(pumped.GetItemText(row, 0));
    advance.Start(numbers.size(), numbers.size() * 8, [&](std::size_t first, std::size_t last, const auto& take) {
        for (std::size_t k = first; k < last; ++k) take(numbers[numbers.size() - 1 - k]);
    });
    busy = 1;
    EXPECT_FALSE(advance.SortWhilePumping(pumped, pump, &busy));
    pump.onPump = [&] { pumped.SetItemText(5, 2, "\\changed"); };
    EXPECT_FALSE(SortTableWhilePumping(pumped, {0, -1, true}, pump));
    EXPECT_EQ(pumped.GetItemText(0, 0), firstBefore);
    EXPECT_EQ(pumped.SortColumn(), -1);
    EXPECT_FALSE(SortTableWhilePumping(pumped, {4, -1, true}, pump));
}

TEST(SortTableTest, FewerThanTwoRowsStillRecordTheState) {
    ReportTable table;
    ASSERT_TRUE(table.ApplyColumnSpec("Record,0"));
    EXPECT_TRUE(SortTableByColumn(table, 0, false));
    EXPECT_EQ(table.SortColumn(), 0);
    EXPECT_FALSE(table.SortAscending());
}

}  // namespace
}  // namespace qvr
