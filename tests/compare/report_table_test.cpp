#include "compare/report_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <span>
#include <string_view>
#include <string>
#include <vector>

namespace qvr {
namespace {

struct ColumnSpecCase {
    const char* columnSpec;
    bool result;
    std::vector<std::string> headings;
    std::vector<int> widths;
    std::vector<ColumnAlignment> alignments;
};

TEST(ReportTable, ColumnSpecRules) {
    using A = ColumnAlignment;
    const ColumnSpecCase cases[] = {
        {"Record,0;File,175;Path,415;Datasize,60;Date,130;Status,95", true,
         {"Record", "File", "Path", "Datasize", "Date", "Status"},
         {0, 175, 415, 60, 130, 95},
         {A::Left, A::Left, A::Left, A::Left, A::Left, A::Left}},
        {"heading", true, {"heading"}, {100}, {A::Left}},
        {"heading,80,1", true, {"heading"}, {80}, {A::Center}},
        {"heading,80,2", true, {"heading"}, {80}, {A::Right}},
        {"heading,80,7", true, {"heading"}, {80}, {A::Left}},
        {";;heading,80;;", true, {"heading"}, {80}, {A::Left}},
        {"heading,,2", true, {"heading"}, {2}, {A::Left}},  // the empty field is dropped
        {"h,abc", true, {"h"}, {0}, {A::Left}},
        {" h , 12px,2,9", true, {" h "}, {12}, {A::Right}},  // spaces belong to the fields
        {"a;b,-5", true, {"a", "b"}, {100, -5}, {A::Left, A::Left}},
        {"", false, {}, {}, {}},
        {";;,,;", false, {}, {}, {}},
    };
    for (const ColumnSpecCase& c : cases) {
        ReportTable table;
        table.ApplyColumnSpec("Old,1;Older,2");
        table.InsertItem(0, "row");
        EXPECT_EQ(table.ApplyColumnSpec(c.columnSpec), c.result) << c.columnSpec;
        EXPECT_EQ(table.GetItemCount(), 0) << c.columnSpec;
        ASSERT_EQ(table.ColumnCount(), static_cast<int>(c.headings.size())) << c.columnSpec;
        for (int i = 0; i < table.ColumnCount(); ++i) {
            const auto k = static_cast<std::size_t>(i);
            EXPECT_EQ(table.GetColumnHeading(i), c.headings[k]) << c.columnSpec;
            EXPECT_EQ(table.Column(i)->width, c.widths[k]) << c.columnSpec;
            EXPECT_EQ(table.Column(i)->alignment, c.alignments[k]) << c.columnSpec;
        }
        EXPECT_EQ(table.GetColumnHeading(table.ColumnCount()), "");
    }
}

ReportTable ThreeColumns() {
    ReportTable table(0x111111, 0xEEEEEE);
    table.ApplyColumnSpec("A;B;C");
    return table;
}

std::vector<std::string> Column0(const ReportTable& table) {
    std::vector<std::string> out;
    for (int r = 0; r < table.GetItemCount(); ++r) out.emplace_back(table.GetItemText(r, 0));
    return out;
}

TEST(ReportTable, InsertItemPlacesRowsAndRefusesBadIndexes) {
    ReportTable table = ThreeColumns();
    EXPECT_EQ(table.InsertItem(0, "first"), 0);
    EXPECT_EQ(table.InsertItem(0, "newest"), 0);
    EXPECT_EQ(table.InsertItem(99, "last"), 2);  // past the end appends
    EXPECT_EQ(table.InsertItem(1, "middle"), 1);
    EXPECT_EQ(table.InsertItem(-1, "bad"), -1);
    EXPECT_EQ(Column0(table), (std::vector<std::string>{"newest", "middle", "first", "last"}));
    EXPECT_EQ(table.GetItemText(1, 2), "");
    ReportTable noColumns;
    EXPECT_EQ(noColumns.InsertItem(0, "x"), -1);
}

TEST(ReportTable, TextsInAndOutOfRange) {
    ReportTable table = ThreeColumns();
    table.InsertItem(0, "r0");
    EXPECT_TRUE(table.SetItemText(0, 2, "cell"));
    EXPECT_EQ(table.GetItemText(0, 2), "cell");
    for (auto [row, column] : {std::pair{1, 0}, {-1, 0}, {0, 3}, {0, -1}}) {
        EXPECT_FALSE(table.SetItemText(row, column, "x"));
        EXPECT_EQ(table.GetItemText(row, column), "");
    }
}

TEST(ReportTable, NewCellsTakeTheSystemColours) {
    ReportTable table = ThreeColumns();
    table.InsertItem(0, "r");
    EXPECT_EQ(table.GetCellTextColor(0, 1), 0x111111u);
    EXPECT_EQ(table.GetCellBackColor(0, 1), 0xEEEEEEu);
    ReportTable plain;
    plain.ApplyColumnSpec("A");
    plain.InsertItem(0, "r");
    EXPECT_EQ(plain.GetCellTextColor(0, 0), 0x000000u);
    EXPECT_EQ(plain.GetCellBackColor(0, 0), 0xFFFFFFu);
}

struct RectangleCase {
    int row;
    int column;
    std::vector<std::vector<bool>> changed;  // [row][column] of a 2 x 3 table
};

TEST(ReportTable, ColourSettersWorkOnRectangles) {
    const RectangleCase cases[] = {
        {1, 2, {{0, 0, 0}, {0, 0, 1}}},
        {0, 7, {{1, 1, 1}, {0, 0, 0}}},
        {0, -1, {{1, 1, 1}, {0, 0, 0}}},
        {5, 1, {{0, 1, 0}, {0, 1, 0}}},
        {-1, -1, {{1, 1, 1}, {1, 1, 1}}},
    };
    for (const RectangleCase& c : cases) {
        ReportTable table = ThreeColumns();
        table.InsertItem(0, "a");
        table.InsertItem(1, "b");
        table.SetCellTextColor(c.row, c.column, 0x32FF);
        table.SetCellBackColor(c.row, c.column, 0x808080);
        for (int r = 0; r < 2; ++r) {
            for (int col = 0; col < 3; ++col) {
                const bool hit = c.changed[static_cast<std::size_t>(r)][static_cast<std::size_t>(col)];
                EXPECT_EQ(table.GetCellTextColor(r, col), hit ? 0x32FFu : 0x111111u)
                    << c.row << "," << c.column << " cell " << r << "," << col;
                EXPECT_EQ(table.GetCellBackColor(r, col), hit ? 0x808080u : 0xEEEEEEu);
            }
        }
    }
}

TEST(ReportTable, DefaultColourAndOutOfRangeGetters) {
    ReportTable table = ThreeColumns();
    table.InsertItem(0, "a");
    table.SetCellTextColor(0, 0, 0x123456);
    table.SetCellTextColor(0, 0, kDefaultColor);
    table.SetCellBackColor(0, 0, kDefaultColor);
    EXPECT_EQ(table.GetCellTextColor(0, 0), 0x111111u);
    EXPECT_EQ(table.GetCellBackColor(0, 0), 0xEEEEEEu);
    for (auto [row, column] : {std::pair{1, 0}, {-1, 0}, {0, 3}, {0, -1}}) {
        EXPECT_EQ(table.GetCellTextColor(row, column), 0xFFFFFFFFu);
        EXPECT_EQ(table.GetCellBackColor(row, column), 0xFFFFFFFFu);
    }
    ReportTable empty = ThreeColumns();
    empty.SetCellTextColor(-1, -1, 0x1);  // nothing to colour, nothing breaks
}

TEST(ReportTable, SortStateIsClearedByTextChangesOnly) {
    ReportTable table = ThreeColumns();
    table.InsertItem(0, "a");
    table.SetSortState(2, false);
    table.SetCellTextColor(0, 0, 0x1);
    EXPECT_EQ(table.SortColumn(), 2);
    EXPECT_FALSE(table.SortAscending());
    table.SetItemText(0, 1, "x");
    EXPECT_EQ(table.SortColumn(), -1);
    EXPECT_TRUE(table.SortAscending());
    table.SetSortState(1, false);
    table.InsertItem(0, "b");
    EXPECT_EQ(table.SortColumn(), -1);
}

TEST(ReportTable, PermutationMovesRowsWithTheirColours) {
    ReportTable table = ThreeColumns();
    for (const char* text : {"r0", "r1", "r2"}) table.InsertItem(99, text);
    table.SetCellTextColor(0, 1, 0xAA);
    table.SetCellBackColor(2, 2, 0xBB);
    ASSERT_TRUE(table.ApplyPermutation({2, 0, 1}));
    EXPECT_EQ(Column0(table), (std::vector<std::string>{"r2", "r0", "r1"}));
    EXPECT_EQ(table.GetCellTextColor(1, 1), 0xAAu);
    EXPECT_EQ(table.GetCellBackColor(0, 2), 0xBBu);
    EXPECT_EQ(table.GetCellTextColor(0, 1), 0x111111u);
    for (const std::vector<std::size_t>& bad :
         {std::vector<std::size_t>{0, 1}, {0, 0, 1}, {0, 1, 3}}) {
        EXPECT_FALSE(table.ApplyPermutation(bad));
    }
    EXPECT_EQ(Column0(table), (std::vector<std::string>{"r2", "r0", "r1"}));
}

TEST(ReportTable, RemovingRows) {
    ReportTable table = ThreeColumns();
    for (const char* text : {"r0", "r1", "r2"}) table.InsertItem(99, text);
    table.RemoveRow(1);
    table.RemoveRow(7);
    table.RemoveRow(-1);
    EXPECT_EQ(Column0(table), (std::vector<std::string>{"r0", "r2"}));
    table.RemoveRow(0);
    EXPECT_EQ(Column0(table), (std::vector<std::string>{"r2"}));
    EXPECT_EQ(table.RemoveAllRows(), 1);
    EXPECT_EQ(table.RemoveAllRows(), 0);
    EXPECT_EQ(table.ColumnCount(), 3);
}

TEST(ReportTable, ChangeCountersTellTextChangesFromColourChanges) {
    ReportTable table = ThreeColumns();
    table.InsertItem(0, "a");
    const auto all = table.ChangeCount();
    const auto texts = table.TextChangeCount();
    table.SetCellBackColor(0, 0, 0x1);
    EXPECT_GT(table.ChangeCount(), all);
    EXPECT_EQ(table.TextChangeCount(), texts);
    for (const auto& change : std::vector<std::function<void()>>{
             [&] { table.SetItemText(0, 1, "b"); }, [&] { table.InsertItem(0, "c"); },
             [&] { table.ApplyPermutation({1, 0}); }, [&] { table.RemoveRow(0); },
             [&] { table.RemoveAllRows(); }, [&] { table.ApplyColumnSpec("X"); }}) {
        const auto before = table.TextChangeCount();
        change();
        EXPECT_GT(table.TextChangeCount(), before);
    }
}

class LoggingListener : public IReportTableListener {
public:
    void RowsAboutToBeInserted(int f, int l) override { Log("+?", f, l); }
    void RowsInserted(int f, int l) override { Log("+", f, l); }
    void RowsAboutToBeRemoved(int f, int l) override { Log("-?", f, l); }
    void RowsRemoved(int f, int l) override { Log("-", f, l); }
    void DataChanged(int r0, int r1, int c0, int c1) override {
        log.push_back("data " + std::to_string(r0) + "-" + std::to_string(r1) + " " +
                      std::to_string(c0) + "-" + std::to_string(c1));
    }
    void RepaintRequested() override { log.push_back("repaint"); }
    void LayoutAboutToBeChanged() override { log.push_back("layout?"); }
    void LayoutChanged(const std::vector<std::size_t>& order) override {
        log.push_back("layout " + std::to_string(order.size()));
    }
    void AboutToReset() override { log.push_back("reset?"); }
    void Reset() override { log.push_back("reset"); }

    std::vector<std::string> log;

private:
    void Log(const char* what, int f, int l) {
        log.push_back(std::string(what) + " " + std::to_string(f) + "-" + std::to_string(l));
    }
};

TEST(ReportTable, ListenerHearsEveryChangeAroundIt) {
    ReportTable table = ThreeColumns();
    LoggingListener listener;
    table.SetListener(&listener);
    table.InsertItem(0, "a");
    table.InsertItem(1, "b");
    table.SetItemText(1, 2, "x");
    table.SetCellTextColor(-1, 1, 0x1, true);
    table.ApplyPermutation({1, 0});
    table.RemoveRow(0);
    table.RemoveAllRows();
    table.ApplyColumnSpec("Z");
    table.SetListener(nullptr);
    table.InsertItem(0, "unheard");
    const std::vector<std::string> expected = {
        "+? 0-0", "+ 0-0", "+? 1-1", "+ 1-1", "data 1-1 2-2", "data 0-1 1-1", "repaint",
        "layout?", "layout 2", "-? 0-0", "- 0-0", "reset?", "reset", "reset?", "reset"};
    EXPECT_EQ(listener.log, expected);
}

TEST(ReportTable, FilledRowsNeedARecordInRowZero) {
    ReportTable table = ThreeColumns();
    EXPECT_EQ(CountFilledRows(table), 0);
    table.InsertItem(0, "");
    table.InsertItem(0, "");
    EXPECT_EQ(CountFilledRows(table), 0);
    table.SetItemText(0, 0, "0001");
    EXPECT_EQ(CountFilledRows(table), 2);
}

TEST(ReportTable, InsertingAtTheTopStaysFastForLongLists) {
    ReportTable table;
    table.ApplyColumnSpec("Record,0;File,175;Path,415;Datasize,60;Date,130;Status,95");
    for (int i = 0; i < 100'000; ++i) table.InsertItem(0, std::to_string(i));
    EXPECT_EQ(table.GetItemText(0, 0), "99999");
    EXPECT_EQ(table.GetItemText(99'999, 0), "0");
}

TEST(ReportTable, WholeRowInsertTakesTheFirstColumnsAndIsOneChange) {
    ReportTable table = ThreeColumns();
    LoggingListener listener;
    table.SetListener(&listener);
    const std::string_view two[] = {"0001", "file.c"};
    const std::string_view four[] = {"0002", "b", "c", "ignored"};
    EXPECT_EQ(table.InsertItem(0, two), 0);
    EXPECT_EQ(table.InsertItem(5, four), 1);
    EXPECT_EQ(table.InsertItem(-1, four), -1);
    table.SetListener(nullptr);
    EXPECT_EQ(listener.log, (std::vector<std::string>{"+? 0-0", "+ 0-0", "+? 1-1", "+ 1-1"}));
    EXPECT_EQ(table.GetItemText(0, 1), "file.c");
    EXPECT_EQ(table.GetItemText(0, 2), "");
    EXPECT_EQ(table.GetItemText(1, 2), "c");
    EXPECT_EQ(table.GetItemText(1, 3), "") << "no fourth column";
    EXPECT_EQ(table.GetCellBackColor(1, 2), 0xEEEEEEu);
}

TEST(ReportTable, CellCanTakeAnotherCellOfItsOwnRow) {
    ReportTable table = ThreeColumns();
    const std::string_view texts[] = {"short", "a much longer text than the others", "mid"};
    table.InsertItem(0, texts);
    // Growing the row moves its texts: the source must be read first.
    table.SetItemText(0, 0, table.GetItemText(0, 1));
    EXPECT_EQ(table.GetItemText(0, 0), "a much longer text than the others");
    EXPECT_EQ(table.GetItemText(0, 1), "a much longer text than the others");
    table.SetItemText(0, 2, table.GetItemText(0, 2).substr(1));
    EXPECT_EQ(table.GetItemText(0, 2), "id");
    table.SetItemText(0, 1, table.GetItemText(0, 2));
    EXPECT_EQ(table.GetItemText(0, 1), "id");
    EXPECT_EQ(table.GetItemText(0, 0), "a much longer text than the others");
}

// Random edits of every kind, checked cell by cell against rows kept as plain
// strings: texts of any length, in any order, with their colours.
TEST(ReportTable, RandomEditsKeepEveryCellAndColour) {
    struct ModelRow {
        std::vector<std::string> texts;
        std::vector<Colorref> text, back;
    };
    constexpr int kColumns = 5;
    ReportTable table(0x010101, 0xFEFEFE);
    table.ApplyColumnSpec("A;B;C;D;E");
    std::vector<ModelRow> model;
    std::vector<std::string_view> whole;
    std::mt19937 random(20261207);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const std::string pooled[] = {"\\folder\\of\\many", "12/08/2026 11:25:50", "1234567", "12345678"};
    auto someText = [&] {
        // Rows often repeat texts of the row before, which are then shared.
        if (pick(3) == 0) return pooled[pick(4)];
        const int length = pick(4) == 0 ? pick(300) : pick(12);
        std::string text;
        for (int i = 0; i < length; ++i) text += static_cast<char>(pick(256));
        return text;
    };
    for (int step = 0; step < 4000; ++step) {
        const int rows = static_cast<int>(model.size());
        switch (pick(7)) {
        case 0:
        case 1: {
            const int at = pick(rows + 1);
            std::vector<std::string> owned;
            for (int c = 0, n = pick(kColumns + 2); c < n; ++c) owned.push_back(someText());
            std::vector<std::string_view> views(owned.begin(), owned.end());
            if (views.empty()) {
                table.InsertItem(at, "");
            } else {
                table.InsertItem(at, std::span<const std::string_view>(views));
            }
            ModelRow row{std::vector<std::string>(kColumns), std::vector<Colorref>(kColumns, 0x010101),
                         std::vector<Colorref>(kColumns, 0xFEFEFE)};
            for (int c = 0; c < std::min<int>(kColumns, static_cast<int>(owned.size())); ++c) row.texts[c] = owned[c];
            model.insert(model.begin() + at, row);
            break;
        }
        case 2:
        case 3:
            if (rows > 0) {
                const int r = pick(rows), c = pick(kColumns);
                std::string text = someText();
                ASSERT_TRUE(table.SetItemText(r, c, text));
                model[r].texts[c] = text;
            }
            break;
        case 4:
            if (rows > 0) {
                const int r = pick(rows), c = pick(kColumns);
                const Colorref color = static_cast<Colorref>(random() & 0xFFFFFF);
                if (pick(2)) {
                    table.SetCellTextColor(r, c, color);
                    model[r].text[c] = color;
                } else {
                    table.SetCellBackColor(r, c, color);
                    model[r].back[c] = color;
                }
            }
            break;
        case 5:
            if (rows > 0) {
                const int r = pick(rows);
                table.RemoveRow(r);
                model.erase(model.begin() + r);
            }
            break;
        case 6: {
            std::vector<std::size_t> order(model.size());
            for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
            std::shuffle(order.begin(), order.end(), random);
            ASSERT_TRUE(table.ApplyPermutation(order));
            std::vector<ModelRow> moved;
            for (std::size_t from : order) moved.push_back(model[from]);
            model.swap(moved);
            break;
        }
        }
        ASSERT_EQ(table.GetItemCount(), static_cast<int>(model.size())) << "step " << step;
        table.GetRowTexts(static_cast<int>(model.size()), whole);
        ASSERT_TRUE(whole.empty()) << "no row past the end";
        if (step % 16 != 0 && step + 1 != 4000) continue;
        for (int r = 0; r < static_cast<int>(model.size()); ++r) {
            table.GetRowTexts(r, whole);
            ASSERT_EQ(whole.size(), static_cast<std::size_t>(kColumns));
            for (int c = 0; c < kColumns; ++c) {
                ASSERT_EQ(whole[static_cast<std::size_t>(c)], model[r].texts[c]) << "step " << step;
                ASSERT_EQ(table.GetItemText(r, c), model[r].texts[c]) << "step " << step << " cell " << r << "," << c;
                ASSERT_EQ(table.GetCellTextColor(r, c), model[r].text[c]) << "step " << step;
                ASSERT_EQ(table.GetCellBackColor(r, c), model[r].back[c]) << "step " << step;
            }
        }
    }
}

// Checks every cell of the table against the texts expected, through each
// way of reading a row.
void ExpectTexts(const ReportTable& table, const std::vector<std::vector<std::string>>& expected) {
    ASSERT_EQ(table.GetStoredRow(table.GetItemCount()).columns, 0u) << "no row past the end";
    ASSERT_EQ(table.GetItemCount(), static_cast<int>(expected.size()));
    std::vector<std::string_view> whole;
    for (int r = 0; r < table.GetItemCount(); ++r) {
        const auto& row = expected[static_cast<std::size_t>(r)];
        table.GetRowTexts(r, whole);
        const ReportTable::StoredRow stored = table.GetStoredRow(r);
        ASSERT_EQ(stored.columns, row.size());
        for (std::size_t c = 0; c < row.size(); ++c) {
            ASSERT_EQ(table.GetItemText(r, static_cast<int>(c)), row[c]) << "cell " << r << "," << c;
            ASSERT_EQ(whole[c], row[c]);
            ASSERT_EQ(stored.Cell(c), row[c]);
        }
        ASSERT_EQ(stored.End(row.size() - 1), stored.stored.size());
    }
}

// Which cells of each row are kept shared: "S" or "." per column.
std::string SharedCells(const ReportTable& table) {
    std::string flags;
    for (int r = 0; r < table.GetItemCount(); ++r) {
        const ReportTable::StoredRow stored = table.GetStoredRow(r);
        for (std::size_t c = 0; c < stored.columns; ++c) flags += stored.Shared(c) ? 'S' : '.';
        flags += ' ';
    }
    return flags;
}

using TextRows = std::vector<std::vector<std::string>>;

int InsertRow(ReportTable& table, TextRows& model, int at, std::vector<std::string> texts) {
    const std::vector<std::string_view> views(texts.begin(), texts.end());
    const int row = table.InsertItem(at, views);
    texts.resize(static_cast<std::size_t>(table.ColumnCount()));
    model.insert(model.begin() + row, texts);
    return row;
}

// A text repeating the same column's text of the row inserted just before is
// kept once, and so is the first text of a run in a column that holds runs;
// texts of 8 to 4096 bytes only.
TEST(ReportTable, RepeatedTextsAreSharedFromRowToRow) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::vector<std::string>>> inserts;  // where, texts
        const char* shared;
    };
    const std::string a = "\\folder\\a", b = "\\folder\\b", page(4096, 'p'), overPage(4097, 'o');
    const Case cases[] = {
        {"a run shares from its second row", {{9, {"r0", a, "x"}}, {9, {"r1", a, "x"}}, {9, {"r2", a, "x"}}},
         "... .S. .S. "},
        {"seven bytes stay apart, eight are shared", {{9, {"1234567", "12345678"}}, {9, {"1234567", "12345678"}}},
         "... .S. "},
        {"a column of runs keeps a new run shared from its first row", {{9, {"", a}}, {9, {"", a}}, {9, {"", b}}, {9, {"", b}}},
         "... .S. .S. .S. "},
        {"after a single text a run starts in its row",
         {{9, {"", a}}, {9, {"", a}}, {9, {"", "\\lonely\\one"}}, {9, {"", b}}, {9, {"", b}}}, "... .S. .S. ... .S. "},
        {"rows inserted at the top compare with the row inserted before", {{0, {"", a}}, {0, {"", a}}, {0, {"", b}}},
         ".S. .S. ... "},
        {"4096 bytes are shared, 4097 are not", {{9, {page, overPage}}, {9, {page, overPage}}}, "... S.. "},
        {"only the same column is compared", {{9, {"", a}}, {9, {a, ""}}, {9, {"", "", a}}}, "... ... ... "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReportTable table = ThreeColumns();
        TextRows model;
        for (const auto& [at, texts] : c.inserts) InsertRow(table, model, at, texts);
        ExpectTexts(table, model);
        EXPECT_EQ(SharedCells(table), c.shared);
    }
}

// Shared cells read right through every change to the table; a text set on
// a cell is the row's own from then on.
TEST(ReportTable, SharedCellsReadRightThroughEveryChange) {
    using Change = std::function<void(ReportTable&, TextRows&)>;
    const std::string folder = "\\folder\\a", date = "12/08/2026 11:25:50";
    auto set = [](ReportTable& table, TextRows& model, int r, int c, const std::string& text) {
        ASSERT_TRUE(table.SetItemText(r, c, text));
        model[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = text;
    };
    const std::pair<const char*, Change> cases[] = {
        {"a shared cell set anew", [&](ReportTable& t, TextRows& m) { set(t, m, 2, 1, folder); }},
        {"its neighbours grow and shrink",
         [&](ReportTable& t, TextRows& m) {
             set(t, m, 1, 0, std::string(300, 'x'));
             set(t, m, 3, 2, "");
             set(t, m, 3, 0, "r");
         }},
        {"a cell takes a shared text of its row",
         [&](ReportTable& t, TextRows& m) { set(t, m, 1, 0, std::string(t.GetItemText(1, 1))); }},
        {"colours",
         [&](ReportTable& t, TextRows&) {
             t.SetCellTextColor(2, 2, 0xFF);
             t.SetCellBackColor(-1, 1, 0x1);
             EXPECT_EQ(t.GetCellTextColor(2, 2), 0xFFu);
         }},
        {"rows moved and removed",
         [&](ReportTable& t, TextRows& m) {
             ASSERT_TRUE(t.ApplyPermutation({3, 1, 0, 2}));
             m = {m[3], m[1], m[0], m[2]};
             t.RemoveRow(1);
             m.erase(m.begin() + 1);
         }},
        {"a row after an edit starts anew",
         [&](ReportTable& t, TextRows& m) {
             set(t, m, 0, 0, "x");
             InsertRow(t, m, 9, {"r4", folder, date});
         }},
        {"rows packed again",
         [&](ReportTable& t, TextRows& m) {
             for (std::size_t k = 0; k < 8; ++k) set(t, m, 0, 0, std::string(300'000 + k, 'g'));
             InsertRow(t, m, 9, {"r4", folder, date});
         }},
        {"emptied and filled again",
         [&](ReportTable& t, TextRows& m) {
             t.RemoveAllRows();
             m.clear();
             InsertRow(t, m, 0, {"r0", folder, date});
             InsertRow(t, m, 1, {"r1", folder, date});
         }},
    };
    const char* expected[] = {"... .SS ..S .SS ", "... .SS .SS .S. ", "... .SS .SS .SS ", "... .SS .SS .SS ",
                              ".SS ... .SS ",     "... .SS .SS .SS ... ", "... .SS .SS .SS ... ", "... .SS "};
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(cases[k].first);
        ReportTable table = ThreeColumns();
        TextRows model;
        for (int r = 0; r < 4; ++r) InsertRow(table, model, r, {"r" + std::to_string(r), folder, date});
        cases[k].second(table, model);
        ExpectTexts(table, model);
        EXPECT_EQ(SharedCells(table), expected[k]);
    }
}

// Long lists outgrow many arena chunks, and edits and removals leave
// abandoned blocks behind until the rows are packed again; no cell may
// change on the way.
TEST(ReportTable, CellsSurviveGrowingEditsRemovalsAndRepacking) {
    struct Step {
        const char* name;
        std::function<void(ReportTable&, std::vector<std::vector<std::string>>&)> apply;
    };
    auto text = [](int row, int column, std::size_t length) {
        std::string t = std::to_string(row) + ":" + std::to_string(column) + ":";
        t.resize(length, static_cast<char>('a' + (row + column) % 26));
        return t;
    };
    const Step steps[] = {
        {"every cell longer than before",
         [&](ReportTable& table, auto& model) {
             for (int r = 0; r < table.GetItemCount(); ++r) {
                 const std::string longer = text(r, 1, 400);
                 ASSERT_TRUE(table.SetItemText(r, 1, longer));
                 model[static_cast<std::size_t>(r)][1] = longer;
             }
         }},
        {"a longer cell taken from its own row",
         [&](ReportTable& table, auto& model) {
             for (int r = 0; r < table.GetItemCount(); r += 3) {
                 const std::string_view own = table.GetItemText(r, 1);
                 auto& row = model[static_cast<std::size_t>(r)];
                 row[2] = row[1] + row[1];
                 // Twice the cell, built from a view into the row itself.
                 ASSERT_TRUE(table.SetItemText(r, 2, std::string(own) + std::string(own)));
                 ASSERT_TRUE(table.SetItemText(r, 0, table.GetItemText(r, 2)));
                 row[0] = row[2];
             }
         }},
        {"shorter cells in place",
         [&](ReportTable& table, auto& model) {
             for (int r = 1; r < table.GetItemCount(); r += 2) {
                 ASSERT_TRUE(table.SetItemText(r, 0, "s"));
                 model[static_cast<std::size_t>(r)][0] = "s";
             }
         }},
        {"rows past 64 KiB of text, some back below it",
         [&](ReportTable& table, auto& model) {
             for (int r = 0; r < table.GetItemCount(); r += 50) {
                 std::string huge = text(r, 2, 70000 + static_cast<std::size_t>(r));
                 ASSERT_TRUE(table.SetItemText(r, 2, huge));
                 model[static_cast<std::size_t>(r)][2] = std::move(huge);
             }
             ExpectTexts(table, model);
             for (int r = 0; r < table.GetItemCount(); r += 100) {
                 ASSERT_TRUE(table.SetItemText(r, 0, "first"));
                 ASSERT_TRUE(table.SetItemText(r, 2, "short again"));
                 model[static_cast<std::size_t>(r)][0] = "first";
                 model[static_cast<std::size_t>(r)][2] = "short again";
             }
             const std::string a = text(9, 0, 65536), b = text(9, 1, 10);
             const std::string_view texts[] = {a, b, a};
             table.InsertItem(1, texts);
             model.insert(model.begin() + 1, {a, b, a});
         }},
        {"most rows removed",
         [&](ReportTable& table, auto& model) {
             for (int r = table.GetItemCount() - 1; r >= 0; r -= 1) {
                 if (r % 5 == 0) continue;
                 table.RemoveRow(r);
                 model.erase(model.begin() + r);
             }
         }},
        {"rows added after the removals",
         [&](ReportTable& table, auto& model) {
             for (int r = 0; r < 500; ++r) {
                 const std::string a = text(r, 0, 30), b = text(r, 1, 3000);
                 const std::string_view texts[] = {a, b, ""};
                 ASSERT_EQ(table.InsertItem(0, texts), 0);
                 model.insert(model.begin(), {a, b, ""});
             }
         }},
    };
    ReportTable table = ThreeColumns();
    std::vector<std::vector<std::string>> model;
    for (int r = 0; r < 4000; ++r) {
        // Column C holds runs of one folder, kept shared.
        const std::string a = text(r, 0, 100), b = text(r, 1, 200), c = "\\folder\\" + std::to_string(r / 7);
        const std::string_view texts[] = {a, b, c};
        table.InsertItem(r, texts);
        model.push_back({a, b, c});
    }
    table.SetCellBackColor(7, 1, 0x123456);
    ExpectTexts(table, model);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.apply(table, model);
        ExpectTexts(table, model);
    }
    // Row 7 went in the removals; the colour stayed with the row that had it.
    int coloured = 0;
    for (int r = 0; r < table.GetItemCount(); ++r) coloured += table.GetCellBackColor(r, 1) == 0x123456u;
    EXPECT_EQ(coloured, 0);
    EXPECT_EQ(table.RemoveAllRows(), static_cast<int>(model.size()));
    EXPECT_EQ(table.GetStoredRow(0).stored.size(), 0u);
}

// Rows share colour combinations; recolouring some of them must not reach
// rows that only shared the combination.
TEST(ReportTable, RowsSharingColoursAreRecolouredApart) {
    ReportTable table = ThreeColumns();
    for (int r = 0; r < 6; ++r) table.InsertItem(r, std::to_string(r));
    // Rows 0, 2, 4 red in column 2; rows 1 and 3 blue there; row 5 unchanged.
    for (int r : {0, 2, 4}) table.SetCellTextColor(r, 2, 0x0000FF);
    for (int r : {1, 3}) table.SetCellTextColor(r, 2, 0xFF0000);
    struct Case {
        const char* name;
        std::function<void(ReportTable&)> change;
        // Text colour of column 2 and background of column 0 per row afterwards.
        std::vector<Colorref> text2, back0;
    };
    const Colorref sys = 0x111111, sysBack = 0xEEEEEE;
    const Case cases[] = {
        {"one row's background", [](ReportTable& t) { t.SetCellBackColor(2, 0, 0x00FF00); },
         {0xFF, 0xFF0000, 0xFF, 0xFF0000, 0xFF, sys}, {sysBack, sysBack, 0x00FF00, sysBack, sysBack, sysBack}},
        {"a whole column", [](ReportTable& t) { t.SetCellBackColor(-1, 0, 0x00FF00); },
         {0xFF, 0xFF0000, 0xFF, 0xFF0000, 0xFF, sys}, std::vector<Colorref>(6, 0x00FF00)},
        {"a whole row back to the system colours",
         [](ReportTable& t) { t.SetCellTextColor(0, -1, kDefaultColor); },
         {sys, 0xFF0000, 0xFF, 0xFF0000, 0xFF, sys}, std::vector<Colorref>(6, sysBack)},
        {"rows moved", [](ReportTable& t) { t.ApplyPermutation({5, 4, 3, 2, 1, 0}); },
         {sys, 0xFF, 0xFF0000, 0xFF, 0xFF0000, 0xFF}, std::vector<Colorref>(6, sysBack)},
        {"everything", [](ReportTable& t) { t.SetCellTextColor(-1, -1, 0x777777); },
         std::vector<Colorref>(6, 0x777777), std::vector<Colorref>(6, sysBack)},
    };
    for (const Case& c : cases) {
        ReportTable copy = ThreeColumns();
        for (int r = 0; r < 6; ++r) copy.InsertItem(r, std::to_string(r));
        for (int r : {0, 2, 4}) copy.SetCellTextColor(r, 2, 0x0000FF);
        for (int r : {1, 3}) copy.SetCellTextColor(r, 2, 0xFF0000);
        c.change(copy);
        for (int r = 0; r < 6; ++r) {
            const auto k = static_cast<std::size_t>(r);
            EXPECT_EQ(copy.GetCellTextColor(r, 2), c.text2[k]) << c.name << " row " << r;
            EXPECT_EQ(copy.GetCellBackColor(r, 0), c.back0[k]) << c.name << " row " << r;
            EXPECT_EQ(copy.GetCellTextColor(r, 1), c.text2 == std::vector<Colorref>(6, 0x777777) ? 0x777777u : sys)
                << c.name << " row " << r;
        }
    }
    // Emptied and filled again, the rows start from the system colours.
    table.RemoveAllRows();
    table.InsertItem(0, "new");
    EXPECT_EQ(table.GetCellTextColor(0, 2), sys);
    EXPECT_EQ(table.GetCellBackColor(0, 2), sysBack);
    // The last change made before the emptying is worked out again.
    table.SetCellTextColor(0, 2, 0xFF0000);
    EXPECT_EQ(table.GetCellTextColor(0, 2), 0xFF0000u);
    EXPECT_EQ(table.GetCellTextColor(0, 1), sys);
}

}  // namespace
}  // namespace qvr
