#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

#include "app/busy_flags.h"
#include "support/recording_message_box_host.h"
#include "support/callback_message_pump.h"
#include "ui/about_dlg.h"
#include "ui/qvr_compare_dlg.h"
#include "ui/report_ctrl.h"
#include "ui_tests.h"
#include "window_fixture.h"

namespace qvr::testing {
namespace {

// The window with the handlers other parts fill in recording their calls.
class RecordingDlg final : public CQvrCompareDlg {
public:
    using CQvrCompareDlg::CQvrCompareDlg;
    void OnFindNextTopList() override { commands.push_back(1030); }
    void OnFindNextBottomList() override { commands.push_back(1031); }
    void OnBottomListViewer(int command) override { commands.push_back(command); }
    std::vector<int> commands;
};

struct Fixture {
    RecordingMessageBoxHost host;
    CallbackMessagePump pump;
    std::unique_ptr<RecordingDlg> dlg;
    std::vector<QString> modalBoxes;
    int shutdowns = 0;

    Fixture() {
        dlg = std::make_unique<RecordingDlg>(WindowSettings("/home/u/src"), "/inst/Temp", host, pump);
        dlg->SetModalRunner([this](QDialog& box) {
            modalBoxes.push_back(box.windowTitle());
            return 1;
        });
        dlg->SetShutdownAction([this] { ++shutdowns; });
    }
};

std::unique_ptr<Fixture> g_fixture;

RecordingDlg& Dlg() { return *g_fixture->dlg; }

// Puts repository rows below the blank rows' place: path, file.
void FillTop(const ListRows& rows) { FillTopRows(Dlg().TopList(), rows); }

void AddBottom(const std::string& directory, const std::string& name) {
    CReportCtrl& bottom = Dlg().BottomList();
    const int row = bottom.InsertItem(0, "");
    bottom.SetItemText(row, 0, "0001");
    bottom.SetItemText(row, 1, name);
    bottom.SetItemText(row, 2, directory);
    bottom.Flush();
}

}  // namespace

void QvrCompareDlgTest::init() { StartWithNew(g_fixture); }

void QvrCompareDlgTest::cleanup() { EndWithout(g_fixture); }

void QvrCompareDlgTest::startupState() {
    RecordingDlg& dlg = Dlg();
    QCOMPARE(dlg.windowTitle(), QString("QvrCompare 1.05 - Compare Local Files with the Quorvan Repository"));
    QCOMPARE(dlg.StatusText(), std::string(kReadyStatus));
    QCOMPARE(dlg.TopList().GetItemCount(), 10);
    QCOMPARE(dlg.BottomList().GetItemCount(), 12);
    QCOMPARE(dlg.CountTopRows(), 0);
    QCOMPARE(dlg.CountBottomRows(), 0);
    QCOMPARE(dlg.TopList().ColumnCount(), 12);
    QCOMPARE(dlg.BottomList().ColumnCount(), 6);
    QVERIFY(dlg.TopList().isColumnHidden(0));
    QCOMPARE(dlg.TopList().GetColumnHeading(11), std::string("Status"));
    QVERIFY(dlg.TopList().showGrid());
    QCOMPARE(dlg.TopList().NotifyId(), 1100);
    QCOMPARE(dlg.BottomList().NotifyId(), 1101);
    // Edit boxes from the context; the temp path is this run's temporary directory.
    QCOMPARE(dlg.GetDlgItemText(1007), std::string("broker1"));
    QCOMPARE(dlg.GetDlgItemText(1001), std::string("secret"));
    QCOMPARE(qobject_cast<QLineEdit*>(dlg.GetDlgItem(1001))->echoMode(), QLineEdit::Password);
    QCOMPARE(dlg.GetDlgItemText(1105), std::string("/inst/Temp"));
    QCOMPARE(dlg.GetDlgItemText(1006), std::string("/home/u/src"));
    QVERIFY(dlg.IsChecked(1102));
    QVERIFY(!dlg.IsChecked(2703));
    QVERIFY(dlg.IsChecked(2702));
    QVERIFY(!dlg.IsChecked(2700));
    QVERIFY(dlg.GetDlgItem(1002)->isHidden());
    QVERIFY(!dlg.GetDlgItem(1002)->isEnabled());
    QVERIFY(!dlg.windowIcon().isNull());
}

void QvrCompareDlgTest::controlsCarryTheirIdsAndTexts_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    const std::vector<std::pair<int, const char*>> controls = {
        {1106, ". . ."}, {2026, "Reg Setings..."}, {1002, "Remember Settings"}, {2027, "Find..."},
        {2023, "Populate List from Quorvan Repository"}, {1109, "Clear List"}, {1108, "Export List..."},
        {1104, ". . ."}, {1102, "Show New Files"}, {2702, "Show Different Files"}, {2703, "Show Same Files"},
        {2700, "Search sub-directories"}, {2028, "Find..."}, {2022, "Generate Local Files Compare Report"},
        {1110, "Clear List"}, {1107, "Export List..."}, {2, "Exit"}};
    for (auto [id, text] : controls) QTest::newRow(text) << id << QString(text);
}

void QvrCompareDlgTest::controlsCarryTheirIdsAndTexts() {
    QFETCH(int, id);
    QFETCH(QString, text);
    auto* widget = Dlg().findChild<QAbstractButton*>(QString::number(id));
    QVERIFY(widget);
    QCOMPARE(widget->text(), text);
}

void QvrCompareDlgTest::displayTogglesAreManual_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("option");  // index into the display options
    QTest::newRow("new") << 1102 << 0;
    QTest::newRow("same") << 2703 << 1;
    QTest::newRow("diff") << 2702 << 2;
    QTest::newRow("sub-folders") << 2700 << 3;
}

void QvrCompareDlgTest::displayTogglesAreManual() {
    QFETCH(int, id);
    QFETCH(int, option);
    RecordingDlg& dlg = Dlg();
    auto value = [&] {
        const DisplayOptions& d = dlg.Settings().display;
        const int values[] = {d.showNewFiles, d.showSameFiles, d.showDiffFiles, d.subFolders};
        return values[option];
    };
    const bool first = dlg.IsChecked(id);
    QCOMPARE(value(), first ? 1 : 0);
    auto* button = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(id));
    button->click();
    QCOMPARE(dlg.IsChecked(id), !first);
    QCOMPARE(value(), first ? 0 : 1);
    button->click();
    QCOMPARE(dlg.IsChecked(id), first);
    QCOMPARE(value(), first ? 1 : 0);
}

void QvrCompareDlgTest::clearListLeavesOnlyBlankRows() {
    RecordingDlg& dlg = Dlg();
    FillTop({{"\\p", "a.c"}, {"\\p", "b.c"}});
    RepoFileRecord record;
    dlg.TopRecordMap().SetAt("A", record);
    QCOMPARE(dlg.CountTopRows(), 2);
    qobject_cast<QAbstractButton*>(dlg.GetDlgItem(1109))->click();
    QCOMPARE(dlg.TopList().GetItemCount(), 10);
    for (int row = 0; row < 10; ++row) QCOMPARE(dlg.TopList().GetItemText(row, 1), std::string());
    QCOMPARE(dlg.CountTopRows(), 0);
    QCOMPARE(dlg.TopRecordMap().GetCount(), 0);
    AddBottom("/home/u/src/", "x.c");
    QCOMPARE(dlg.CountBottomRows(), 13);
    qobject_cast<QAbstractButton*>(dlg.GetDlgItem(1110))->click();
    QCOMPARE(dlg.BottomList().GetItemCount(), 12);
    QCOMPARE(dlg.CountBottomRows(), 0);
}

void QvrCompareDlgTest::runLocksControls_data() {
    QTest::addColumn<bool>("populating");
    QTest::addColumn<int>("running");
    QTest::addColumn<int>("other");
    QTest::newRow("populate") << true << 2023 << 2022;
    QTest::newRow("report") << false << 2022 << 2023;
}

void QvrCompareDlgTest::runLocksControls() {
    QFETCH(bool, populating);
    QFETCH(int, running);
    QFETCH(int, other);
    RecordingDlg& dlg = Dlg();
    g_populateInProgress = populating ? 1 : 0;
    g_reportInProgress = populating ? 0 : 1;
    dlg.DisableForRun();
    const int locked[] = {1007, 1000, 1001, 1003, 1004, 1005, 1105, 1006, 1102, 2703, 2702,
                          2700, 1106, 1104, 1108, 1107, 2027, 2028, 2026, 1109, 1110};
    for (int id : locked) QVERIFY2(!dlg.GetDlgItem(id)->isEnabled(), qPrintable(QString::number(id)));
    QVERIFY(dlg.GetDlgItem(running)->isEnabled());
    QVERIFY(!dlg.GetDlgItem(other)->isEnabled());
    for (int id : {1100, 1101, 2}) QVERIFY(dlg.GetDlgItem(id)->isEnabled());
    dlg.EnableAfterRun();
    for (int id : locked) QVERIFY(dlg.GetDlgItem(id)->isEnabled());
    QVERIFY(dlg.GetDlgItem(2022)->isEnabled());
    QVERIFY(dlg.GetDlgItem(2023)->isEnabled());
}

void QvrCompareDlgTest::blinkTimerAlternates() {
    RecordingDlg& dlg = Dlg();
    g_populateInProgress = 1;
    dlg.StartBlinkTimer();
    int id = dlg.BlinkTimerId();
    QVERIFY(id != 0);
    dlg.OnTimer(id + 1000);  // some other timer: nothing
    QCOMPARE(dlg.StatusText(), std::string(kReadyStatus));
    dlg.OnTimer(id);
    QCOMPARE(dlg.StatusText(), std::string());
    QCOMPARE(dlg.GetDlgItemText(2023), std::string());
    dlg.OnTimer(dlg.BlinkTimerId());
    QCOMPARE(dlg.StatusText(), std::string(" WAIT - Processing SCM Repository for the Top List"));
    QCOMPARE(dlg.GetDlgItemText(2023), std::string("Cancel"));
    g_populateInProgress = 0;
    g_reportInProgress = 1;
    dlg.OnTimer(dlg.BlinkTimerId());
    dlg.OnTimer(dlg.BlinkTimerId());
    QCOMPARE(dlg.StatusText(), std::string(" WAIT - Processing Local Files report for the Bottom List"));
    QCOMPARE(dlg.GetDlgItemText(2022), std::string("Cancel"));
    g_reportInProgress = 0;
    dlg.OnTimer(dlg.BlinkTimerId());  // no run: the text is emptied
    dlg.OnTimer(dlg.BlinkTimerId());  // and stays empty
    QCOMPARE(dlg.StatusText(), std::string());
    QVERIFY(dlg.BlinkTimerId() != 0);
    dlg.StopBlinkTimer();
    QCOMPARE(dlg.BlinkTimerId(), 0);
    QCOMPARE(dlg.StatusText(), std::string(" Ready"));
}

void QvrCompareDlgTest::clickHighlightsAndRestores() {
    RecordingDlg& dlg = Dlg();
    std::vector<std::pair<std::string, std::string>> rows;
    for (int k = 0; k < 12; ++k) rows.push_back({"\\proj\\lib", "f" + std::to_string(k) + ".c"});
    FillTop(rows);
    CReportCtrl& top = dlg.TopList();
    top.SetCellBackColor(9, 0, 0x00FFFF, false);  // a row with colours of its own
    AddBottom("/home/u/src/lib/", "f9.c");
    AddBottom("/home/u/src/lib/", "f5.c");
    AddBottom("/home/u/src/other/", "none.c");

    dlg.OnListClick(1101, 1);  // f5.c
    QCOMPARE(dlg.ActiveList(), 2);
    QCOMPARE(dlg.BottomPosition(), 1);
    QCOMPARE(dlg.HighlightedTopRow(), 5);
    QCOMPARE(dlg.StatusText(), std::string(" Ready - Right click on the selected item for more options"));
    for (int c = 0; c < 12; ++c) {
        QCOMPARE(top.GetCellTextColor(5, c), Colorref(0xFFFFFF));
        QCOMPARE(top.GetCellBackColor(5, c), Colorref(0x808080));
    }
    QCOMPARE(dlg.BottomList().SelectedRow(), 1);
    // Painted without dispatching events from inside the click.
    QCOMPARE(g_fixture->pump.paintCount, 0);

    dlg.OnListClick(1101, 2);  // f9.c
    QCOMPARE(top.GetCellBackColor(5, 3), Colorref(0xFFFFFF));
    QCOMPARE(top.GetCellTextColor(5, 3), Colorref(0));
    QCOMPARE(dlg.HighlightedTopRow(), 9);
    QCOMPARE(top.GetCellBackColor(9, 4), Colorref(0x808080));

    dlg.OnListClick(1101, 0);  // no counterpart: row 9 gets its own colours back
    QCOMPARE(top.GetCellBackColor(9, 0), Colorref(0x00FFFF));
    QCOMPARE(top.GetCellBackColor(9, 1), Colorref(0x00FFFF));
    for (int r = 0; r < 12; ++r) QVERIFY(top.GetCellBackColor(r, 2) != Colorref(0x808080));

    dlg.OnListClick(1100, 7);
    QCOMPARE(dlg.ActiveList(), 1);
    QCOMPARE(dlg.TopPosition(), 7);
}

void QvrCompareDlgTest::doubleClickOpensDiffOnlyForAMatch() {
    RecordingDlg& dlg = Dlg();
    FillTop({{"\\proj", "a.c"}, {"\\proj", "b.c"}});
    AddBottom("/home/u/src/", "b.c");
    AddBottom("/home/u/src/", "zzz.c");
    dlg.OnListDblClick(1101, 0);  // zzz.c
    QVERIFY(dlg.commands.empty());
    dlg.OnListDblClick(1101, 1);  // b.c
    QCOMPARE(dlg.commands, std::vector<int>({2610}));
    QCOMPARE(dlg.HighlightedTopRow(), 1);
    QCOMPARE(dlg.TopList().GetCellBackColor(1, 1), Colorref(0xFFFFFF));  // no colours on a double-click
}

void QvrCompareDlgTest::findNextFollowsTheActiveList() {
    RecordingDlg& dlg = Dlg();
    emit dlg.TopList().FindNextRequested();  // F3 before any click
    QCoreApplication::processEvents();
    QVERIFY(dlg.commands.empty());
    dlg.OnListClick(1100, 0);
    dlg.OnListFindNext();
    QVERIFY(dlg.commands.empty());  // posted, not run at once
    QCoreApplication::processEvents();
    QCOMPARE(dlg.commands, std::vector<int>({1030}));
    dlg.OnListClick(1101, 0);
    dlg.OnListFindNext();
    QCoreApplication::processEvents();
    QCOMPARE(dlg.commands, std::vector<int>({1030, 1031}));
}

void QvrCompareDlgTest::folderChooser() {
    RecordingDlg& dlg = Dlg();
    RecordingMessageBoxHost& host = g_fixture->host;
    auto* browseLocal = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(1104));
    browseLocal->click();  // cancelled before any report
    QCOMPARE(dlg.GetDlgItemText(1006), std::string("/home/u/src"));
    QCOMPARE(host.folderRequests.size(), std::size_t(1));
    QCOMPARE(host.folderRequests[0].first, std::string("Select a directory..."));
    dlg.SetLastScannedFolder("/last/scan");
    browseLocal->click();  // cancelled after a report: still nothing changes
    QCOMPARE(dlg.GetDlgItemText(1006), std::string("/home/u/src"));
    host.folderAnswer = "/chosen/temp";
    qobject_cast<QAbstractButton*>(dlg.GetDlgItem(1106))->click();
    QCOMPARE(dlg.GetDlgItemText(1105), std::string("/chosen/temp"));
    QCOMPARE(dlg.GetDlgItemText(1006), std::string("/home/u/src"));
}

void QvrCompareDlgTest::aboutCommand() {
    RecordingDlg& dlg = Dlg();
    QList<QAction*> actions = dlg.SystemMenu().actions();
    QVERIFY(actions.size() >= 2);
    QVERIFY(actions[actions.size() - 2]->isSeparator());
    QCOMPARE(actions.back()->text(), QString("&About QvrCompare..."));
    actions.back()->trigger();
    QCOMPARE(g_fixture->modalBoxes, std::vector<QString>({"About..."}));
    dlg.OnSysCommand(0x001F);  // the low four bits do not count
    QCOMPARE(g_fixture->modalBoxes.size(), std::size_t(2));
    dlg.OnSysCommand(0xF060);  // close, move and the like: not the About box
    dlg.OnSysCommand(0x0020);
    QCOMPARE(g_fixture->modalBoxes.size(), std::size_t(2));

    CAboutDlg about;
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>()) texts << label->text();
    QVERIFY(texts.contains(QString::fromUtf8("QvrCompare\u00ae")));
    QVERIFY(texts.contains("Utility for Comparing Local Files to the Quorvan Repository"));
    QVERIFY(texts.contains("1.05"));
    auto* ok = about.findChild<QAbstractButton*>("1");
    QVERIFY(ok);
    QCOMPARE(ok->text(), QString("OK"));
    QSignalSpy accepted(&about, &QDialog::accepted);
    ok->click();
    QCOMPARE(accepted.count(), 1);
}

void QvrCompareDlgTest::exitSavesEditsAndCloses() {
    RecordingDlg& dlg = Dlg();
    dlg.show();
    dlg.SetDlgItemText(1003, "typed project");
    dlg.SetDlgItemText(1105, "/typed/temp");
    qobject_cast<QAbstractButton*>(dlg.GetDlgItem(2))->click();
    QCOMPARE(g_fixture->shutdowns, 1);
    QCOMPARE(dlg.Settings().context.project, std::string("typed project"));
    QCOMPARE(dlg.Settings().context.tempPath, std::string("/typed/temp"));
    QCOMPARE(dlg.result(), 2);
    QVERIFY(!dlg.isVisible());
    // Escape goes the same way.
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QCOMPARE(g_fixture->shutdowns, 2);
    // Edit texts are read back with at most 254 characters.
    dlg.SetDlgItemText(1003, std::string(300, 'p'));
    QCOMPARE(dlg.GetDlgItemText(1003).size(), std::size_t(254));
}

// The 254-character limit counts characters: a letter of two, three or four
// bytes is kept whole or left out, never cut in half.
void QvrCompareDlgTest::editTextsKeepWholeCharacters_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("readBack");
    const QString e = QString::fromUtf8("\xC3\xA9");       // two bytes
    const QString sun = QString::fromUtf8("\xE6\x97\xA5");  // three bytes
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");  // four bytes
    QTest::newRow("ASCII") << QString(300, 'p') << QString(254, 'p');
    QTest::newRow("two-byte letters after one ASCII") << "a" + e.repeated(300) << "a" + e.repeated(253);
    QTest::newRow("three-byte letters") << sun.repeated(260) << sun.repeated(254);
    QTest::newRow("four-byte letters") << "ab" + face.repeated(260) << "ab" + face.repeated(252);
    QTest::newRow("short text stays") << "x" + e + sun + face << "x" + e + sun + face;
}

void QvrCompareDlgTest::editTextsKeepWholeCharacters() {
    QFETCH(QString, typed);
    QFETCH(QString, readBack);
    RecordingDlg& dlg = Dlg();
    dlg.show();
    auto* project = qobject_cast<QLineEdit*>(dlg.GetDlgItem(1003));
    project->clear();
    // One key press per letter, its text as a keyboard layout delivers it
    // (a letter outside the BMP arrives as its surrogate pair).
    for (qsizetype at = 0; at < typed.size();) {
        const qsizetype length = typed.at(at).isHighSurrogate() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, project, Qt::Key_unknown, typed.mid(at, length), Qt::NoModifier);
        at += length;
    }
    QCOMPARE(project->text(), typed);
    const std::string text = dlg.GetDlgItemText(1003);
    QCOMPARE(QString::fromStdString(text), readBack);
    QCOMPARE(QString::fromStdString(text).toStdString(), text);  // well-formed UTF-8 throughout
}

}  // namespace qvr::testing
