#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include "ui/report_ctrl.h"
#include "ui/report_table_model.h"
#include "ui_tests.h"

namespace qvr::testing {
namespace {

// A list with the given texts in column 1 and row numbers in column 0.
void Fill(CReportCtrl& list, const QStringList& texts) {
    for (int k = 0; k < texts.size(); ++k) {
        list.InsertItem(k, std::to_string(k));
        list.SetItemText(k, 1, texts[k].toStdString());
    }
    list.Flush();
}

QStringList Column(const CReportCtrl& list, int column) {
    QStringList out;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        out << QString::fromStdString(list.GetItemText(row, column));
    }
    return out;
}

QPoint RowCentre(CReportCtrl& list, int row) {
    return list.visualRect(list.model()->index(row, 1)).center();
}

}  // namespace

void ReportCtrlTest::columnSpecShapesTheView_data() {
    QTest::addColumn<QString>("columnSpec");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("hidden");     // columns not shown
    QTest::addColumn<int>("width1");     // width of column 1, or -1
    QTest::addColumn<int>("align1");     // horizontal alignment of column 1
    QTest::newRow("bottom list") << "Record,0;File,175;Path,415;Datasize,60;Date,130;Status,95" << 6 << 1
                                 << 175 << int(Qt::AlignLeft);
    QTest::newRow("centred") << "Record,0;Heading,80,1" << 2 << 1 << 80 << int(Qt::AlignHCenter);
    QTest::newRow("right") << "Record,0;Heading,80,2" << 2 << 1 << 80 << int(Qt::AlignRight);
    QTest::newRow("unknown code") << "Record,0;Heading,80,7" << 2 << 1 << 80 << int(Qt::AlignLeft);
    QTest::newRow("heading only") << "Record,0;;Heading;;" << 2 << 1 << 100 << int(Qt::AlignLeft);
    QTest::newRow("empty field dropped") << "Record,0;Heading,,2" << 2 << 1 << 2 << int(Qt::AlignLeft);
    QTest::newRow("empty") << "" << 0 << 0 << -1 << 0;
}

void ReportCtrlTest::columnSpecShapesTheView() {
    QFETCH(QString, columnSpec);
    QFETCH(int, columns);
    QFETCH(int, hidden);
    QFETCH(int, width1);
    QFETCH(int, align1);
    CReportCtrl list;
    list.ApplyColumnSpec("Old,10;Older,20;Oldest,30");
    list.InsertItem(0, "x");
    QCOMPARE(list.ApplyColumnSpec(columnSpec.toStdString()), columns > 0);
    QCOMPARE(list.ColumnCount(), columns);
    QCOMPARE(list.model()->columnCount(), columns);
    QCOMPARE(list.GetItemCount(), 0);
    int hiddenNow = 0;
    for (int c = 0; c < columns; ++c) hiddenNow += list.isColumnHidden(c) ? 1 : 0;
    QCOMPARE(hiddenNow, hidden);
    if (width1 >= 0) {
        // The last column takes whatever width the view has to spare.
        if (columns == 2) QVERIFY(list.columnWidth(1) >= width1);
        else QCOMPARE(list.columnWidth(1), width1);
        list.InsertItem(0, "0");
        list.Flush();
        auto alignment = list.model()->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
        QCOMPARE(int(alignment & Qt::AlignHorizontal_Mask), align1);
        QCOMPARE(list.model()->headerData(1, Qt::Horizontal).toString().toStdString(),
                 list.GetColumnHeading(1));
    }
}

void ReportCtrlTest::colourConversionAndShading_data() {
    QTest::addColumn<uint>("back");
    QTest::addColumn<int>("row");
    QTest::addColumn<QColor>("drawn");
    QTest::newRow("white, even row") << 0xFFFFFFu << 0 << QColor(240, 247, 249);
    QTest::newRow("white, odd row") << 0xFFFFFFu << 1 << QColor(229, 232, 239);
    QTest::newRow("grey stays") << 0x808080u << 3 << QColor(128, 128, 128);
    QTest::newRow("red in the low byte") << 0x32FFu << 2 << QColor(255, 50, 0);
    QTest::newRow("dark blue") << 0x800000u << 0 << QColor(0, 0, 128);
}

void ReportCtrlTest::colourConversionAndShading() {
    QFETCH(uint, back);
    QFETCH(int, row);
    QFETCH(QColor, drawn);
    CReportCtrl list;
    list.ApplyColumnSpec("Record,0;File,100");
    for (int k = 0; k < 4; ++k) list.InsertItem(k, "");
    list.SetCellBackColor(row, 1, back, true);
    list.Flush();
    QCOMPARE(list.model()->index(row, 1).data(Qt::BackgroundRole).value<QColor>(), drawn);
    QCOMPARE(list.model()->index(row, 1).data(Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 0));
}

void ReportCtrlTest::colourRectanglesAndOutOfRange() {
    CReportCtrl list;
    list.ApplyColumnSpec("A;B;C");
    for (int k = 0; k < 3; ++k) list.InsertItem(k, "");
    list.SetCellTextColor(1, -1, 0x0000FF, false);   // whole row 1
    list.SetCellBackColor(-1, 2, 0x00FF00, false);   // whole column 2
    for (int c = 0; c < 3; ++c) QCOMPARE(list.GetCellTextColor(1, c), Colorref(0x0000FF));
    QCOMPARE(list.GetCellTextColor(0, 0), Colorref(0));
    for (int r = 0; r < 3; ++r) QCOMPARE(list.GetCellBackColor(r, 2), Colorref(0x00FF00));
    QCOMPARE(list.GetCellBackColor(0, 1), Colorref(0xFFFFFF));
    list.SetCellTextColor(1, -1, kDefaultColor, false);  // back to the system colour
    QCOMPARE(list.GetCellTextColor(1, 0), Colorref(0));
    QCOMPARE(list.GetCellTextColor(3, 0), kDefaultColor);
    QCOMPARE(list.GetCellBackColor(0, 3), kDefaultColor);
    QCOMPARE(list.GetCellBackColor(-1, 0), kDefaultColor);
}

void ReportCtrlTest::headerClicksToggleDirection() {
    CReportCtrl list;
    list.ApplyColumnSpec("Record,0;File,100");
    Fill(list, {"10", "9", "0A"});
    QSignalSpy sorted(&list, &CReportCtrl::Sorted);
    auto click = [&] { emit list.horizontalHeader()->sectionClicked(1); };
    click();
    QCOMPARE(Column(list, 1), QStringList({"9", "0A", "10"}));
    click();
    QCOMPARE(Column(list, 1), QStringList({"10", "0A", "9"}));
    QVERIFY(!list.SortAscending());
    list.SetItemText(0, 1, "11");  // clears the sort state
    QCOMPARE(list.SortColumn(), -1);
    click();
    QCOMPARE(Column(list, 1), QStringList({"9", "0A", "11"}));
    QCOMPARE(sorted.count(), 3);
    QCOMPARE(sorted.last().at(1).toBool(), true);
    // A column that does not exist sorts nothing and tells nobody.
    list.SortByColumn(5, true);
    QCOMPARE(sorted.count(), 3);
    QCOMPARE(list.SortColumn(), 1);
}

void ReportCtrlTest::sortKeepsSelectionAndColours() {
    CReportCtrl list;
    list.ApplyColumnSpec("Record,0;File,100");
    Fill(list, {"main.txt", "Zip.txt", "b.txt"});
    list.SetCellTextColor(0, 1, 0x32FF, true);
    list.SelectRow(0);
    list.SortByColumn(1, true);
    QCOMPARE(Column(list, 1), QStringList({"Zip.txt", "b.txt", "main.txt"}));
    QCOMPARE(list.SelectedRow(), 2);
    QCOMPARE(list.selectionModel()->selectedRows().size(), 1);
    QCOMPARE(list.selectionModel()->selectedRows().front().row(), 2);
    QCOMPARE(list.GetCellTextColor(2, 1), Colorref(0x32FF));
    // Inserting above the selected row moves the selection with its data.
    list.InsertItem(0, "new");
    list.Flush();
    QCOMPARE(list.SelectedRow(), 3);
    QCOMPARE(list.selectionModel()->selectedRows().front().row(), 3);
    list.RemoveRow(3);
    list.Flush();
    QCOMPARE(list.SelectedRow(), -1);
    QVERIFY(list.selectionModel()->selectedRows().isEmpty());
}

void ReportCtrlTest::modelPassesTheTester() {
    CReportCtrl list;
    QAbstractItemModelTester tester(list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    list.ApplyColumnSpec("Record,0;File,100;Size,50,2");
    Fill(list, {"c", "a", "b"});
    list.SetCellBackColor(1, -1, 0x808080, true);
    list.SortByColumn(1, false);
    list.RemoveRow(0);
    list.Flush();
    QCOMPARE(list.model()->rowCount(), 2);
    list.RemoveAllRows();
    QCOMPARE(list.model()->rowCount(), 0);
    list.ApplyColumnSpec("");
    QCOMPARE(list.model()->columnCount(), 0);
}

void ReportCtrlTest::insertsAreCoalesced() {
    CReportCtrl list;
    list.ApplyColumnSpec("Record,0;File,100");
    list.resize(400, 300);
    list.show();
    QSignalSpy resets(list.model(), &QAbstractItemModel::modelReset);
    constexpr int kRows = 20000;
    for (int k = 0; k < kRows; ++k) {
        list.InsertItem(0, std::to_string(k));
        if (k % 100 == 0) QCoreApplication::processEvents();
    }
    QTRY_COMPARE(list.model()->rowCount(), kRows);
    // The view hears of the rows in a few batches, not one by one.
    QVERIFY2(resets.count() < kRows / 10, qPrintable(QString::number(resets.count())));
    QCOMPARE(list.model()->index(0, 0).data().toString(), QString::number(kRows - 1));
}

void ReportCtrlTest::leftClickPostsOncePerSelectedRow() {
    CReportCtrl list;
    list.SetNotifyId(1101);
    list.ApplyColumnSpec("Record,0;File,100");
    Fill(list, {"a", "b", "c"});
    list.resize(300, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy clicks(&list, &CReportCtrl::RowClicked);
    QSignalSpy doubles(&list, &CReportCtrl::RowDoubleClicked);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, RowCentre(list, 1));
    QCOMPARE(clicks.count(), 0);  // posted: handled after the mouse message
    QTRY_COMPARE(clicks.count(), 1);
    QCOMPARE(clicks.front().at(0).toInt(), 1101);
    QCOMPARE(clicks.front().at(1).toInt(), 1);
    QCOMPARE(list.SelectedRow(), 1);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, RowCentre(list, 2));
    QTRY_COMPARE(doubles.count(), 1);
    QCOMPARE(doubles.front().at(1).toInt(), 2);
    // The right button selects as the list does but tells nobody.
    const int before = clicks.count();
    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, RowCentre(list, 0));
    QCoreApplication::processEvents();
    QCOMPARE(clicks.count(), before);
}

void ReportCtrlTest::keysF3AndSpace() {
    CReportCtrl list;
    list.ApplyColumnSpec("Record,0;File,100");
    Fill(list, {"a", "b"});
    list.SelectRow(0);
    QSignalSpy findNext(&list, &CReportCtrl::FindNextRequested);
    QTest::keyClick(&list, Qt::Key_F3);
    QCOMPARE(findNext.count(), 1);  // sent: handled before the key returns
    QTest::keyClick(&list, Qt::Key_Space);
    QCOMPARE(list.SelectedRow(), 0);
    QCOMPARE(list.selectionModel()->selectedRows().size(), 1);
}

}  // namespace qvr::testing
