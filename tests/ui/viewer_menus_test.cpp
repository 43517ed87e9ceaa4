#include <QTest>

#include "compare/report_table.h"
#include "list_tools_tests.h"
#include "ui/viewer_menus.h"

namespace qvr::testing {
namespace {

ReportTable List(const char* firstRecord) {
    ReportTable table;
    table.ApplyColumnSpec("Record,0;File,175");
    if (firstRecord) table.InsertItem(0, firstRecord);
    return table;
}

}  // namespace

void ViewerMenusTest::menusCarryTheirItems_data() {
    QTest::addColumn<bool>("top");
    QTest::addColumn<QString>("menuId");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<bool>>("enabled");
    const QStringList texts{"WinDiff...", "Open in Crystaledit...", "Open in HexViewer...",
                            "Open in Default Assoc..."};
    QTest::newRow("top") << true << "2500" << QStringList{"2510", "2520", "2530", "2540"} << texts
                         << QList<bool>{false, true, true, true};
    QTest::newRow("bottom") << false << "2600" << QStringList{"2610", "2620", "2630", "2640"} << texts
                            << QList<bool>{true, true, true, true};
}

void ViewerMenusTest::menusCarryTheirItems() {
    QFETCH(bool, top);
    QFETCH(QString, menuId);
    QFETCH(QStringList, ids);
    QFETCH(QStringList, texts);
    QFETCH(QList<bool>, enabled);
    auto menu = BuildViewerMenu(top ? ViewerMenu::Top : ViewerMenu::Bottom);
    QVERIFY(menu != nullptr);
    QCOMPARE(menu->objectName(), menuId);
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), ids.size());
    for (int k = 0; k < actions.size(); ++k) {
        QCOMPARE(actions[k]->objectName(), ids[k]);
        QCOMPARE(actions[k]->text(), texts[k]);
        QCOMPARE(actions[k]->isEnabled(), enabled[k]);
        QVERIFY(actions[k]->isVisible());
        // Choosing an item gives its command; a disabled one gives none.
        const int chosen = TrackViewerMenu(*menu, QPoint(1, 1), [&](QMenu&, const QPoint&) { return actions[k]; });
        QCOMPARE(chosen, enabled[k] ? ids[k].toInt() : 0);
    }
    QCOMPARE(TrackViewerMenu(*menu, QPoint(), [](QMenu&, const QPoint&) { return nullptr; }), 0);
    QVERIFY(BuildViewerMenu(ViewerMenu::None) == nullptr);
}

void ViewerMenusTest::menuForRequest_data() {
    QTest::addColumn<bool>("fromTop");
    QTest::addColumn<QString>("topRecord");     // "-" for no rows
    QTest::addColumn<QString>("bottomRecord");
    QTest::addColumn<int>("menu");
    QTest::newRow("filled top list") << true << "1" << "-" << int(ViewerMenu::Top);
    QTest::newRow("blank top list") << true << "" << "1" << int(ViewerMenu::None);
    QTest::newRow("empty top list") << true << "-" << "1" << int(ViewerMenu::None);
    QTest::newRow("filled bottom list") << false << "-" << "1" << int(ViewerMenu::Bottom);
    QTest::newRow("blank bottom list") << false << "1" << "" << int(ViewerMenu::None);
}

void ViewerMenusTest::menuForRequest() {
    QFETCH(bool, fromTop);
    QFETCH(QString, topRecord);
    QFETCH(QString, bottomRecord);
    QFETCH(int, menu);
    const std::string top = topRecord.toStdString();
    const std::string bottom = bottomRecord.toStdString();
    const ReportTable topList = List(top == "-" ? nullptr : top.c_str());
    const ReportTable bottomList = List(bottom == "-" ? nullptr : bottom.c_str());
    QCOMPARE(int(MenuForRequest(fromTop, topList, bottomList)), menu);
}

}  // namespace qvr::testing
