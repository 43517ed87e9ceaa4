#include <QTest>

#include "list_tools_tests.h"
#include "ui/viewer_menus.h"

namespace qvr::testing {

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

}  // namespace qvr::testing
