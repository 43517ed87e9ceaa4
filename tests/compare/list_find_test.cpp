#include "compare/list_find.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"

namespace qvr {
namespace {

constexpr const char* kTopSpec =
    "Record,0;File,175;Path,420;Version,50;Tag,50;Datasize,60;Package,150;Creator,125;"
    "Created Date,125;Modifier,125;Modified Date,125;Status,25";

// A Top List with numbered rows; files[k] goes into the File column.
ReportTable TopList(const std::vector<std::string>& files) {
    ReportTable table;
    table.ApplyColumnSpec(kTopSpec);
    for (std::size_t k = 0; k < files.size(); ++k) {
        const int row = table.InsertItem(static_cast<int>(k), std::to_string(k + 1));
        table.SetItemText(row, 1, files[k]);
        table.SetItemText(row, 2, "\\proj\\src");
    }
    return table;
}

struct RowSearchCase {
    const char* name;
    int firstRow;
    int filledRows;
    const char* text;
    int expected;
};

TEST(FindRowContaining, SearchesFilledRowsAndColumnsAfterTheFirst) {
    ReportTable table = TopList({"a.cpp", "b.cpp", "Module_ABC.h", "c.cpp", "module_abc.cpp"});
    table.SetItemText(1, 11, "Diff");
    const RowSearchCase cases[] = {
        {"file column, upper-cased cell", 0, 5, "ABC", 2},
        {"search text is compared as given", 0, 5, "abc", -1},
        {"starting after the first hit", 3, 5, "ABC", 4},
        {"last column", 0, 5, "DIFF", 1},
        {"record column never searched", 0, 5, "4", -1},
        {"rows past the filled count are not searched", 0, 4, "ABC.CPP", -1},
        {"empty text hits the first row searched", 2, 5, "", 2},
        {"empty list", 0, 0, "", -1},
        {"start past the end", 7, 5, "", -1},
        {"filled count larger than the table", 4, 99, "ABC", 4},
    };
    for (const RowSearchCase& c : cases) {
        EXPECT_EQ(FindRowContaining(table, c.firstRow, c.filledRows, c.text), c.expected) << c.name;
    }
}

class ListSearchTest : public ::testing::Test {
protected:
    MemoryProfileStore store;
    ListSearch search{store};
    ReportTable table = TopList({"a.cpp", "b.cpp", "x.h", "y.h", "Module_ABC.h", "c.cpp", "d.cpp", "e.cpp",
                                 "f.cpp", "abc.txt"});
    int position = 0;
};

TEST_F(ListSearchTest, FindSelectsTheFirstHitAndRemembersTheTextAsTyped) {
    auto outcome = search.Find(SearchList::Top, "abc", table, 10, position);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->hit, 4);
    EXPECT_EQ(outcome->scrollTo, 7);
    EXPECT_EQ(position, 4);
    EXPECT_EQ(store.GetProfileString(kSettingsSection, "SearchTopText", "?"), "abc");
    EXPECT_FALSE(store.Has(kSettingsSection, "SearchBtmText"));
    EXPECT_EQ(search.Text(), "ABC");
}

TEST_F(ListSearchTest, FindNextWalksOnToTheEndAndThenStops) {
    search.Find(SearchList::Top, "abc", table, 10, position);
    FindOutcome next = search.FindNext(table, 10, position);
    EXPECT_EQ(next.hit, 9);
    EXPECT_EQ(next.scrollTo, 9);  // among the last three rows: the hit itself
    EXPECT_EQ(position, 9);
    // After the last hit the position moves past the end; then nothing moves.
    EXPECT_FALSE(search.FindNext(table, 10, position).Found());
    EXPECT_EQ(position, 10);
    EXPECT_FALSE(search.FindNext(table, 10, position).Found());
    EXPECT_EQ(position, 10);
}

TEST_F(ListSearchTest, AMissMovesPastTheLastRowSoFindNextDoesNothing) {
    auto outcome = search.Find(SearchList::Bottom, "nowhere", table, 10, position);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->Found());
    EXPECT_EQ(position, 10);
    EXPECT_FALSE(search.FindNext(table, 10, position).Found());
    EXPECT_EQ(position, 10);
    // A click sets the position again, and find next goes on from there.
    position = 1;
    EXPECT_FALSE(search.FindNext(table, 10, position).Found());
    EXPECT_EQ(position, 10);
}

TEST_F(ListSearchTest, MissOnAnEmptyListLeavesPositionZero) {
    auto outcome = search.Find(SearchList::Top, "abc", table, 0, position);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->Found());
    EXPECT_EQ(position, 0);
}

TEST_F(ListSearchTest, EmptyTypedTextSearchesNothingAndEmptiesTheSharedText) {
    store.WriteProfileString(kSettingsSection, "SearchTopText", "stored");
    EXPECT_EQ(search.TextForDialog(SearchList::Top), "stored");
    position = 3;
    EXPECT_FALSE(search.Find(SearchList::Top, "", table, 10, position).has_value());
    EXPECT_EQ(position, 3);
    EXPECT_EQ(search.Text(), "");
    EXPECT_EQ(store.GetProfileString(kSettingsSection, "SearchTopText", ""), "stored");
}

TEST_F(ListSearchTest, TheTextIsLoadedOnlyWhileEmptyAndSharedByBothLists) {
    store.WriteProfileString(kSettingsSection, "SearchTopText", "top");
    store.WriteProfileString(kSettingsSection, "SearchBtmText", "bottom");
    EXPECT_EQ(search.TextForDialog(SearchList::Bottom), "bottom");
    search.Find(SearchList::Top, "abc", table, 10, position);
    // The Bottom List's dialog opens with the same text, in capitals.
    EXPECT_EQ(search.TextForDialog(SearchList::Bottom), "ABC");
}

TEST_F(ListSearchTest, ACancelledFirstFindLeavesTheStoredTextInItsOwnCase) {
    store.WriteProfileString(kSettingsSection, "SearchTopText", "abc");
    search.TextForDialog(SearchList::Top);  // the dialog was then cancelled
    position = 0;
    EXPECT_FALSE(search.FindNext(table, 10, position).Found());
    EXPECT_EQ(position, 10);
}

TEST_F(ListSearchTest, FindNextWithNoTextYetSelectsTheRowAfterThePosition) {
    position = 2;  // a click on row 2
    EXPECT_EQ(search.FindNext(table, 10, position).hit, 3);
    EXPECT_EQ(position, 3);
}

}  // namespace
}  // namespace qvr
