#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <map>
#include <optional>

#include "app/settings.h"
#include "list_tools_tests.h"
#include "ui/find_top_dlg.h"
#include "ui/report_ctrl.h"

namespace qvr::testing {
namespace {

constexpr const char* kTopSpec =
    "Record,0;File,175;Path,420;Version,50;Tag,50;Datasize,60;Package,150;Creator,125;"
    "Created Date,125;Modifier,125;Modified Date,125;Status,25";

// A Top List of rows numbered 1..n with file names f0, f1, ... and the given
// names at chosen rows.
void Fill(CReportCtrl& list, int rows, const std::map<int, std::string>& names = {}) {
    list.ApplyColumnSpec(kTopSpec);
    for (int row = 0; row < rows; ++row) {
        list.InsertItem(row, std::to_string(row + 1));
        auto it = names.find(row);
        list.SetItemText(row, 1, it != names.end() ? it->second : "f" + std::to_string(row) + ".cpp");
        list.SetItemText(row, 2, "\\proj");
    }
    list.Flush();
}

// Runs the dialog by typing text (when given) and pressing Find or Cancel.
ModalRunner Answer(std::optional<QString> text, bool ok, QString* shown = nullptr) {
    return [=](QDialog& dialog) {
        auto& find = static_cast<CFindTopDlg&>(dialog);
        if (shown) *shown = find.TextBox().text();
        if (text) find.TextBox().setText(*text);
        if (ok) find.accept();
        else find.reject();
        return dialog.result();
    };
}

}  // namespace

void FindTopDlgTest::controlsAndHiddenDefaults() {
    MemoryProfileStore store;
    CFindTopDlg dialog(store, "abc");
    QCOMPARE(dialog.windowTitle(), QString("Find"));
    QCOMPARE(dialog.TextBox().objectName(), QString("2100"));
    QCOMPARE(dialog.TextBox().text(), QString("abc"));
    QVERIFY(dialog.findChild<QLabel*>() != nullptr);
    QCOMPARE(dialog.findChild<QLabel*>()->text(), QString("File Name:"));
    QCOMPARE(dialog.FindButton().objectName(), QString("1"));
    QCOMPARE(dialog.FindButton().text(), QString("&Find"));
    QVERIFY(dialog.FindButton().isDefault());
    QCOMPARE(dialog.findChild<QPushButton*>("2")->text(), QString("Cancel"));
    const std::pair<const char*, const char*> hidden[] = {
        {"2203", "Match &whole word only"}, {"2202", "Match &case"}, {"2200", "&Up"}, {"2201", "&Down"}};
    for (const auto& [id, text] : hidden) {
        auto* button = dialog.findChild<QAbstractButton*>(id);
        QVERIFY2(button != nullptr, id);
        QCOMPARE(button->text(), QString(text));
        QVERIFY(!button->isVisibleTo(&dialog));
    }
    auto* group = dialog.findChild<QGroupBox*>();
    QCOMPARE(group->title(), QString("Direction"));
    QVERIFY(!group->isEnabled());
    QVERIFY(!dialog.findChild<QCheckBox*>("2203")->isEnabled());
    QCOMPARE(dialog.Direction(), 1);
    QCOMPARE(dialog.MatchCase(), 0);
    QCOMPARE(dialog.WholeWord(), 0);
}

void FindTopDlgTest::findButtonFollowsTheText() {
    MemoryProfileStore store;
    CFindTopDlg opensEmpty(store, "");
    QVERIFY(opensEmpty.FindButton().isEnabled());  // enabled whatever the text at first
    CFindTopDlg dialog(store, "abc");
    dialog.TextBox().setText("");
    QVERIFY(!dialog.FindButton().isEnabled());
    QTest::keyClicks(&dialog.TextBox(), "x");
    QVERIFY(dialog.FindButton().isEnabled());
}

void FindTopDlgTest::okRemembersTheTextAsTyped() {
    MemoryProfileStore store;
    CFindTopDlg dialog(store, "");
    dialog.TextBox().setText("Mixed Case");
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.FindText(), std::string("Mixed Case"));
    QCOMPARE(store.GetProfileString(kSettingsSection, "FindString", "?"), std::string("Mixed Case"));
}

void FindTopDlgTest::cancelKeepsEverything() {
    MemoryProfileStore store;
    store.WriteProfileString(kSettingsSection, "SearchTopText", "stored");
    ListSearch search(store);
    CReportCtrl list;
    Fill(list, 5);
    int position = 2;
    QString shown;
    RunFind(search, SearchList::Top, list, 5, position, store, nullptr, Answer(QString("f1"), false, &shown));
    QCOMPARE(shown, QString("stored"));
    QCOMPARE(position, 2);
    QCOMPARE(list.SelectedRow(), -1);
    QVERIFY(!store.Has(kSettingsSection, "FindString"));
    QCOMPARE(search.Text(), std::string("stored"));  // the loaded text stays loaded

    // Find pressed on an empty box: only "FindString" is written, nothing searched.
    RunFind(search, SearchList::Top, list, 5, position, store, nullptr, Answer(QString(""), true));
    QCOMPARE(store.GetProfileString(kSettingsSection, "FindString", "?"), std::string());
    QCOMPARE(store.GetProfileString(kSettingsSection, "SearchTopText", "?"), std::string("stored"));
    QCOMPARE(position, 2);
    QCOMPARE(list.SelectedRow(), -1);
}

void FindTopDlgTest::findSelectsAndScrolls_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("hitRow");
    QTest::addColumn<int>("visibleRow");
    QTest::newRow("row 4 shows row 7") << 60 << 4 << 7;
    QTest::newRow("far down shows three more") << 60 << 40 << 43;
    QTest::newRow("among the last three") << 60 << 58 << 58;
}

void FindTopDlgTest::findSelectsAndScrolls() {
    QFETCH(int, rows);
    QFETCH(int, hitRow);
    QFETCH(int, visibleRow);
    MemoryProfileStore store;
    ListSearch search(store);
    CReportCtrl list;
    list.resize(400, 200);
    Fill(list, rows, {{hitRow, "Module_ABC.h"}});
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    int position = 0;
    RunFind(search, SearchList::Top, list, rows, position, store, nullptr, Answer(QString("abc"), true));
    QCOMPARE(position, hitRow);
    QCOMPARE(list.SelectedRow(), hitRow);
    QCOMPARE(store.GetProfileString(kSettingsSection, "SearchTopText", ""), std::string("abc"));
    const QRect shown = list.visualRect(list.model()->index(visibleRow, 1));
    QVERIFY(list.viewport()->rect().contains(shown));
}

}  // namespace qvr::testing
