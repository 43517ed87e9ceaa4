// The window as a desktop user drives it: keys, mouse, columns, small screens
// and dark palettes, every step sent as real key and mouse events.

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QElapsedTimer>
#include <QDir>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "app/busy_flags.h"
#include "app/platform.h"
#include "compare/classifier.h"
#include "res/resource.h"
#include "support/callback_message_pump.h"
#include "support/recording_message_box_host.h"
#include "support/temp_dir.h"
#include "ui/command_settings_dlg.h"
#include "ui/find_top_dlg.h"
#include "ui/qt_message_box_host.h"
#include "ui/qvr_compare_dlg.h"
#include "ui/report_ctrl.h"
#include "ui/report_table_model.h"
#include "ui/viewer_commands.h"
#include "window_behaviour_test.h"
#include "window_fixture.h"

namespace qvr::testing {
namespace {

namespace fs = std::filesystem;
using namespace qvr::res;

// The window with the commands other parts carry out recorded instead.
class CommandRecordingDlg final : public CQvrCompareDlg {
public:
    using CQvrCompareDlg::CQvrCompareDlg;
    void OnBtnGenTopScmList() override { commands.push_back(IDC_GEN_TOP); }
    void OnBtnGenBtmReport() override { commands.push_back(IDC_GEN_BTM); }
    void OnBtnRegSettings() override { commands.push_back(IDC_REGSETTINGS); }
    void OnExportTopList() override { commands.push_back(IDC_EXPORT_TOP); }
    void OnExportBottomList() override { commands.push_back(IDC_EXPORT_BTM); }
    void OnFindTopList() override {
        commands.push_back(IDC_FIND_TOP);
        if (runFind) CQvrCompareDlg::OnFindTopList();
    }
    void OnFindBottomList() override {
        commands.push_back(IDC_FIND_BTM);
        if (runFind) CQvrCompareDlg::OnFindBottomList();
    }
    void OnBottomListViewer(int command) override {
        commands.push_back(command);
        viewerRows.push_back(BottomList().currentIndex().row());
    }
    std::vector<int> commands;
    std::vector<int> viewerRows;  // the row each viewer command acted on
    bool runFind = false;
};

struct Window {
    TempDir dir;
    RecordingMessageBoxHost host;
    CallbackMessagePump pump;
    MemoryProfileStore store;
    std::unique_ptr<CommandRecordingDlg> dlg;
    std::vector<QString> modalBoxes;
    std::function<int(QDialog&)> answer = [](QDialog&) { return int(QDialog::Rejected); };
    int menuChoice = 0;
    int shutdowns = 0;

    Window() {
        dlg = std::make_unique<CommandRecordingDlg>(WindowSettings("/w"), "/inst/Temp", host, pump);
        dlg->SetProfileStore(store);
        dlg->SetModalRunner([this](QDialog& box) {
            modalBoxes.push_back(box.windowTitle());
            return answer(box);
        });
        dlg->SetShutdownAction([this] { ++shutdowns; });
        dlg->SetMenuRunner([this](QMenu& menu, const QPoint&) -> QAction* {
            for (QAction* action : menu.actions()) {
                if (action->data().toInt() == menuChoice) return action;
            }
            return nullptr;
        });
    }

    // Shows the window and makes it the active one, so keys reach it.
    void Show() {
        dlg->show();
        dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    }

    QPushButton* Button(int id) const { return qobject_cast<QPushButton*>(dlg->GetDlgItem(id)); }

    // Repository rows: path, file.
    void FillTop(const ListRows& rows) { FillTopRows(dlg->TopList(), rows); }
    // Local rows in order: directory, file.
    void FillBottom(const ListRows& rows) { FillBottomRows(dlg->BottomList(), rows); }
    // n files f0.c ... in both lists, each with its counterpart.
    void FillMatching(int n) {
        ListRows top, bottom;
        for (int k = 0; k < n; ++k) {
            const std::string name = "f" + std::to_string(k) + ".c";
            top.push_back({"\\proj", name});
            bottom.push_back({"/w/", name});
        }
        FillTop(top);
        FillBottom(bottom);
    }
};

std::unique_ptr<Window> g_window;

Window& W() { return *g_window; }

// The middle of a row's cell in the first seen column, in viewport coordinates.
QPoint CellPoint(CReportCtrl& list, int row, int column = 1) {
    QCoreApplication::processEvents();  // the view's pending layout first
    list.scrollTo(list.model()->index(row, column));
    return list.visualRect(list.model()->index(row, column)).center();
}

void ClickRow(CReportCtrl& list, int row, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(list.viewport(), button, {}, CellPoint(list, row));
    QCoreApplication::processEvents();
}

bool RowIsSeen(CReportCtrl& list, int row) {
    const QRect cell = list.visualRect(list.model()->index(row, 1));
    return list.viewport()->rect().contains(cell.center());
}

}  // namespace

void WindowBehaviourTest::init() { StartWithNew(g_window); }

void WindowBehaviourTest::cleanup() { EndWithout(g_window); }

// ---- never locked out ------------------------------------------------------------

void WindowBehaviourTest::doubleClickOpensOneViewerWithoutPumping() {
    Window& w = W();
    w.Show();
    w.FillMatching(30);
    CReportCtrl& bottom = w.dlg->BottomList();
    QTest::mouseDClick(bottom.viewport(), Qt::LeftButton, {}, CellPoint(bottom, 7));
    QCoreApplication::processEvents();
    // One viewer for one double-click, on its row, and no event dispatched
    // from inside the click's handling.
    QCOMPARE(w.dlg->commands, std::vector<int>({ID_BTM_WINDIFF}));
    QCOMPARE(w.dlg->viewerRows, std::vector<int>({7}));
    QCOMPARE(w.pump.paintCount, 0);
    QCOMPARE(w.pump.pumpCount, 0);
    QCOMPARE(w.dlg->HighlightedTopRow(), 7);
}

// ---- keyboard --------------------------------------------------------------------

void WindowBehaviourTest::enterPressesTheFocusedButton_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<std::vector<int>>("commands");
    QTest::addColumn<int>("folderRequests");
    QTest::addColumn<int>("shutdowns");
    auto none = std::vector<int>{};
    QTest::newRow("Exit") << int(IDCANCEL_BUTTON) << none << 0 << 1;
    QTest::newRow("Clear List (top)") << int(IDC_CLEAR_TOP) << none << 0 << 0;
    QTest::newRow("Clear List (bottom)") << int(IDC_CLEAR_BTM) << none << 0 << 0;
    QTest::newRow("Export List... (top)") << int(IDC_EXPORT_TOP) << std::vector<int>{IDC_EXPORT_TOP} << 0 << 0;
    QTest::newRow("Export List... (bottom)") << int(IDC_EXPORT_BTM) << std::vector<int>{IDC_EXPORT_BTM} << 0 << 0;
    QTest::newRow("Find... (top)") << int(IDC_FIND_TOP) << std::vector<int>{IDC_FIND_TOP} << 0 << 0;
    QTest::newRow("Find... (bottom)") << int(IDC_FIND_BTM) << std::vector<int>{IDC_FIND_BTM} << 0 << 0;
    QTest::newRow("Reg Setings...") << int(IDC_REGSETTINGS) << std::vector<int>{IDC_REGSETTINGS} << 0 << 0;
    QTest::newRow(". . . (temp)") << int(IDC_BROWSE_TEMP) << none << 1 << 0;
    QTest::newRow(". . . (local)") << int(IDC_BROWSE_LOCAL) << none << 1 << 0;
    QTest::newRow("report") << int(IDC_GEN_BTM) << std::vector<int>{IDC_GEN_BTM} << 0 << 0;
    QTest::newRow("populate") << int(IDC_GEN_TOP) << std::vector<int>{IDC_GEN_TOP} << 0 << 0;
    // Enter in an edit box still starts the populate run.
    QTest::newRow("in the Project box") << int(IDC_PROJECT) << std::vector<int>{IDC_GEN_TOP} << 0 << 0;
    // Enter on a list row opens it as a double-click does.
    QTest::newRow("on a Bottom List row") << int(IDC_BTMLIST) << std::vector<int>{ID_BTM_WINDIFF} << 0 << 0;
    QTest::newRow("on a Top List row") << int(IDC_TOPLIST) << none << 0 << 0;
}

void WindowBehaviourTest::enterPressesTheFocusedButton() {
    QFETCH(int, id);
    QFETCH(std::vector<int>, commands);
    QFETCH(int, folderRequests);
    QFETCH(int, shutdowns);
    Window& w = W();
    w.Show();
    QWidget* target = w.dlg->GetDlgItem(id);
    if (auto* list = qobject_cast<CReportCtrl*>(target)) {
        w.FillMatching(5);
        ClickRow(*list, 3);
        w.dlg->commands.clear();
    }
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);
    QTest::keyClick(target, Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(w.dlg->commands, commands);
    QCOMPARE(int(w.host.folderRequests.size()), folderRequests);
    QCOMPARE(w.shutdowns, shutdowns);
}

void WindowBehaviourTest::enterInTheCommandSettingsDialog_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");
    // -1: the dialog stays open.
    QTest::newRow("Cancel") << "2" << int(QDialog::Rejected);
    QTest::newRow("Reset to Defaults") << "2010" << -1;
    QTest::newRow("OK") << "1" << int(QDialog::Accepted);
}

void WindowBehaviourTest::enterInTheCommandSettingsDialog() {
    QFETCH(QString, button);
    QFETCH(int, result);
    CommandTemplates templates;
    templates.vlxFmt = "my vlx";
    templates.vgtFmt = "my vgt";
    CSettingsDlg dialog("", templates, "/inst");
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* vlx = dialog.findChild<QLineEdit*>("2401");
    vlx->end(false);  // the box came up with its text selected
    QTest::keyClicks(vlx, " typed");
    auto* pressed = dialog.findChild<QPushButton*>(button);
    pressed->setFocus();
    QTest::keyClick(pressed, Qt::Key_Return);
    if (result < 0) {
        QCOMPARE(finished.count(), 0);  // still open, with the defaults typed in
        QCOMPARE(vlx->text().toStdString(), DefaultVlxFmt(false));
    } else {
        QCOMPARE(finished.count(), 1);
        QCOMPARE(dialog.result(), result);
    }
    // Only OK takes the boxes.
    QCOMPARE(dialog.Templates().vlxFmt, std::string(result == QDialog::Accepted ? "my vlx typed" : "my vlx"));
}

void WindowBehaviourTest::arrowAndPageKeysAfterClickFindAndRefresh_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("click") << "click";
    QTest::newRow("find") << "find";
    QTest::newRow("find next") << "F3";
    QTest::newRow("sort") << "sort";
}

void WindowBehaviourTest::arrowAndPageKeysAfterClickFindAndRefresh() {
    QFETCH(QString, how);
    Window& w = W();
    w.Show();
    w.FillMatching(200);
    CReportCtrl& bottom = w.dlg->BottomList();
    w.dlg->runFind = true;
    w.answer = [](QDialog& box) {
        if (auto* find = qobject_cast<CFindTopDlg*>(&box)) {
            find->TextBox().setText("f20.c");
            find->accept();
            return int(QDialog::Accepted);
        }
        return int(QDialog::Rejected);
    };
    ClickRow(bottom, 3);
    if (how == "find" || how == "F3") {
        QTest::mouseClick(w.Button(IDC_FIND_BTM), Qt::LeftButton);
        QCOMPARE(bottom.SelectedRow(), 20);
        if (how == "F3") {
            ClickRow(bottom, 3);
            QTest::keyClick(&bottom, Qt::Key_F3);
            QCoreApplication::processEvents();
        }
    } else if (how == "sort") {
        // Two clicks on the File header: descending, then ascending again.
        QHeaderView* header = bottom.horizontalHeader();
        const QPoint file(header->sectionViewportPosition(1) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, file);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, file);
    }
    const int start = bottom.SelectedRow();
    QVERIFY(start >= 0);
    QVERIFY(!bottom.isColumnHidden(bottom.currentIndex().column()));
    QTest::keyClick(&bottom, Qt::Key_Down);
    QCOMPARE(bottom.SelectedRow(), start + 1);
    QTest::keyClick(&bottom, Qt::Key_Up);
    QCOMPARE(bottom.SelectedRow(), start);
    const int scrolled = bottom.verticalScrollBar()->value();
    QTest::keyClick(&bottom, Qt::Key_PageDown);
    QTest::keyClick(&bottom, Qt::Key_PageDown);
    QVERIFY(bottom.SelectedRow() > start + 1);
    QVERIFY(bottom.verticalScrollBar()->value() > scrolled);
    QVERIFY(RowIsSeen(bottom, bottom.SelectedRow()));
}

void WindowBehaviourTest::tabOrder() {
    Window& w = W();
    w.Show();
    std::vector<QWidget*> visited;
    w.dlg->GetDlgItem(IDC_BROKER)->setFocus();
    for (int k = 0; k < 40; ++k) {
        QWidget* focus = QApplication::focusWidget();
        if (k > 0 && focus == w.dlg->GetDlgItem(IDC_BROKER)) break;
        visited.push_back(focus);
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    auto at = [&](int id) {
        const auto it = std::find(visited.begin(), visited.end(), w.dlg->GetDlgItem(id));
        return it == visited.end() ? -1 : int(it - visited.begin());
    };
    QVERIFY(at(IDC_FIND_TOP) >= 0);
    QVERIFY(at(IDC_TOPLIST) > at(IDC_FIND_TOP));
    QVERIFY(at(IDC_GEN_TOP) > at(IDC_TOPLIST));
    QVERIFY(at(IDC_BTMLIST) > at(IDC_FIND_BTM));
    QCOMPARE(at(IDC_TOPCOUNT), -1);
    QCOMPARE(at(IDC_BTMCOUNT), -1);
}

void WindowBehaviourTest::f1OpensTheAboutBox() {
    Window& w = W();
    w.Show();
    QTest::keyClick(w.dlg->GetDlgItem(IDC_PROJECT), Qt::Key_F1);
    QCOMPARE(w.modalBoxes, std::vector<QString>({"About..."}));
    QTest::keyClick(w.dlg->GetDlgItem(IDC_TOPLIST), Qt::Key_F1);
    QCOMPARE(w.modalBoxes.size(), std::size_t(2));
}

// ---- lists -----------------------------------------------------------------------

void WindowBehaviourTest::clearListLeavesOnlyBlankRows_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("blankRows");
    QTest::addColumn<int>("countBox");
    QTest::newRow("Top List") << int(IDC_CLEAR_TOP) << int(IDC_TOPLIST) << 10 << int(IDC_TOPCOUNT);
    QTest::newRow("Bottom List") << int(IDC_CLEAR_BTM) << int(IDC_BTMLIST) << 12 << int(IDC_BTMCOUNT);
}

void WindowBehaviourTest::clearListLeavesOnlyBlankRows() {
    QFETCH(int, button);
    QFETCH(int, list);
    QFETCH(int, blankRows);
    QFETCH(int, countBox);
    Window& w = W();
    w.Show();
    w.FillMatching(30);
    w.dlg->SetDlgItemText(countBox, "30");
    auto* shown = qobject_cast<CReportCtrl*>(w.dlg->GetDlgItem(list));
    QTest::mouseClick(w.Button(button), Qt::LeftButton);
    shown->Flush();
    QCOMPARE(shown->GetItemCount(), blankRows);
    QCOMPARE(shown->model()->rowCount(), blankRows);
    for (int row = 0; row < blankRows; ++row) QCOMPARE(shown->GetItemText(row, 1), std::string());
    QCOMPARE(list == IDC_TOPLIST ? w.dlg->CountTopRows() : w.dlg->CountBottomRows(), 0);
    QCOMPARE(w.dlg->GetDlgItemText(countBox), std::string());
}

void WindowBehaviourTest::userColumnWidthsSurviveRefreshesAndExport() {
    Window& w = W();
    w.Show();
    w.FillMatching(20);
    CReportCtrl& top = w.dlg->TopList();
    QHeaderView* header = top.horizontalHeader();
    // The user drags the Path column wider and the Version column shut.
    header->resizeSection(2, 333);
    header->resizeSection(3, 0);
    // A sort by a header click, rows added, Clear List.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    QCOMPARE(header->sectionSize(2), 333);
    top.InsertItem(0, "99");
    top.Flush();
    QCOMPARE(header->sectionSize(2), 333);
    QCOMPARE(header->sectionSize(3), 0);
    // Export writes the columns as shown: the one shut is left out.
    const std::string file = W().dir.Path().string() + "/top.csv";
    CQvrCompareDlg plain(AppSettings{}, "/inst/Temp", w.host, w.pump);
    w.host.saveAnswer = file;
    plain.TopList().ApplyColumnSpec("Record,0;File,100;Version,50;Path,100");
    plain.TopList().InsertItem(0, "1");
    plain.TopList().SetItemText(0, 1, "a.c");
    plain.TopList().SetItemText(0, 2, "7");
    plain.TopList().SetItemText(0, 3, "\\p");
    plain.TopList().Flush();
    plain.show();
    plain.TopList().horizontalHeader()->resizeSection(2, 0);
    QTest::mouseClick(qobject_cast<QPushButton*>(plain.GetDlgItem(IDC_EXPORT_TOP)), Qt::LeftButton);
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    QVERIFY2(text.str().find("Version") == std::string::npos, text.str().c_str());
    QVERIFY2(text.str().find("Path") != std::string::npos, text.str().c_str());
    QCOMPARE(w.dlg->TopList().GetItemCount(), 21);
    QTest::mouseClick(w.Button(IDC_CLEAR_TOP), Qt::LeftButton);
    w.dlg->TopList().Flush();
    QCOMPARE(header->sectionSize(2), 333);
}

void WindowBehaviourTest::rightClickPicksTheRowForTheMenu() {
    Window& w = W();
    w.Show();
    w.FillMatching(12);
    CReportCtrl& bottom = w.dlg->BottomList();
    ClickRow(bottom, 2);
    const QPoint at = CellPoint(bottom, 6);
    QTest::mousePress(bottom.viewport(), Qt::RightButton, {}, at);
    QCOMPARE(bottom.SelectedRow(), 6);
    QCOMPARE(bottom.currentIndex().row(), 6);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(&bottom));
    QTest::mouseRelease(bottom.viewport(), Qt::RightButton, {}, at);
    // The menu command acts on that row.
    W().menuChoice = ID_BTM_WINDIFF;
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, bottom.viewport()->mapToGlobal(at));
    QApplication::sendEvent(bottom.viewport(), &menu);
    QCOMPARE(w.dlg->viewerRows, std::vector<int>({6}));
    // The row stays selected across a sort and a refresh.
    const std::string name = bottom.GetItemText(6, 1);
    QHeaderView* header = bottom.horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    QCOMPARE(bottom.GetItemText(bottom.SelectedRow(), 1), name);
    bottom.InsertItem(0, "0");
    bottom.Flush();
    QCOMPARE(bottom.GetItemText(bottom.SelectedRow(), 1), name);
    QVERIFY(bottom.selectionModel()->isRowSelected(bottom.SelectedRow(), {}));
    // Shift+F10 asks for the same menu from the keyboard, at the selected row.
    bottom.setFocus();
    QTest::keyClick(&bottom, Qt::Key_Down);
    const int selected = bottom.SelectedRow();
    QTest::keyClick(&bottom, Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(w.dlg->viewerRows, std::vector<int>({6, selected}));
}

void WindowBehaviourTest::findShowsItsHit_data() {
    QTest::addColumn<int>("startAt");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("hit");
    QTest::newRow("hit above the view") << 190 << "f5.c" << 5;
    QTest::newRow("hit below the view") << 0 << "f150.c" << 150;
    QTest::newRow("hit at the very end") << 0 << "f199.c" << 199;
}

void WindowBehaviourTest::findShowsItsHit() {
    QFETCH(int, startAt);
    QFETCH(QString, text);
    QFETCH(int, hit);
    Window& w = W();
    w.Show();
    w.FillMatching(200);
    CReportCtrl& top = w.dlg->TopList();
    w.dlg->runFind = true;
    w.answer = [text](QDialog& box) {
        auto* find = qobject_cast<CFindTopDlg*>(&box);
        if (!find) return int(QDialog::Rejected);
        find->TextBox().setText(text);
        find->accept();
        return int(QDialog::Accepted);
    };
    ClickRow(top, startAt);
    // The user has scrolled the list to where the row clicked is.
    top.verticalScrollBar()->setValue(startAt == 0 ? 0 : top.verticalScrollBar()->maximum());
    QVERIFY(!RowIsSeen(top, hit));
    QTest::mouseClick(w.Button(IDC_FIND_TOP), Qt::LeftButton);
    QCOMPARE(top.SelectedRow(), hit);
    QVERIFY(RowIsSeen(top, hit));
}

void WindowBehaviourTest::sortIndicatorFollowsHeaderClicks() {
    Window& w = W();
    w.Show();
    w.FillMatching(5);
    CReportCtrl& bottom = w.dlg->BottomList();
    QHeaderView* header = bottom.horizontalHeader();
    auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    clickHeader(2);
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    clickHeader(2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader(5);
    QCOMPARE(header->sortIndicatorSection(), 5);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

void WindowBehaviourTest::countBoxesFollowALongRun_data() {
    QTest::addColumn<bool>("report");
    QTest::newRow("report") << true;
    QTest::newRow("populate") << false;
}

void WindowBehaviourTest::countBoxesFollowALongRun() {
    QFETCH(bool, report);
    Window& w = W();
    w.Show();
    CommandRecordingDlg& dlg = *w.dlg;
    CReportCtrl& list = report ? dlg.BottomList() : dlg.TopList();
    const int box = report ? IDC_BTMCOUNT : IDC_TOPCOUNT;
    (report ? g_reportInProgress : g_populateInProgress) = 1;
    dlg.DisableForRun();
    dlg.SetDlgItemText(box, "0");
    // Before the rows of this run start, the old rows are not counted.
    QTest::qWait(250);
    QCOMPARE(dlg.GetDlgItemText(box), std::string("0"));
    if (report) dlg.ScanStarted("/w");
    else dlg.RepaintTopList();
    list.RemoveAllRows();
    auto* edit = qobject_cast<QLineEdit*>(dlg.GetDlgItem(box));
    QSignalSpy changes(edit, &QLineEdit::textChanged);
    QElapsedTimer clock;
    clock.start();
    int added = 0;
    while (clock.elapsed() < 600) {
        list.InsertItem(0, "r");
        ++added;
        QTest::qWait(5);
    }
    QTest::qWait(150);
    QCOMPARE(dlg.GetDlgItemText(box), std::to_string(added));
    // At most ten updates a second.
    QVERIFY2(changes.count() >= 3 && changes.count() <= 8, qPrintable(QString::number(changes.count())));
    (report ? g_reportInProgress : g_populateInProgress) = 0;
    dlg.EnableAfterRun();
    dlg.SetDlgItemText(box, "final");
    list.InsertItem(0, "late");
    QTest::qWait(250);
    QCOMPARE(dlg.GetDlgItemText(box), std::string("final"));
}

// ---- the shared counterpart lookup ------------------------------------------------

void WindowBehaviourTest::clickHighlightsTheClassifiersCounterpart() {
    Window& w = W();
    w.Show();
    // The local path "/w" also stands inside the file's path: only the one at
    // the start is the local path.
    // Two repository files that differ only in letter case are two files: the
    // click finds the one the report compared with, as the report found it.
    w.FillTop({{"\\x", "a.c"}, {"\\x\\w", "a.c"}, {"\\y", "b.c"}, {"\\inc", "xt_CONNMARK.h"},
               {"\\inc", "xt_connmark.h"}});
    w.FillBottom({{"/w/x/w/", "a.c"}, {"/w/y/", "b.c"}, {"/w/inc/", "xt_connmark.h"}});
    Classifier& classifier = w.dlg->Workflows().GetClassifier();
    ClickRow(w.dlg->BottomList(), 0);
    const int expected = classifier.CounterpartOf("/w/x/w/a.c");
    QCOMPARE(expected, 1);
    QCOMPARE(w.dlg->HighlightedTopRow(), 1);
    ClickRow(w.dlg->BottomList(), 1);
    QCOMPARE(w.dlg->HighlightedTopRow(), 2);
    ClickRow(w.dlg->BottomList(), 2);
    QCOMPARE(w.dlg->HighlightedTopRow(), classifier.CounterpartOf("/w/inc/xt_connmark.h"));
#ifndef _WIN32
    QCOMPARE(w.dlg->HighlightedTopRow(), 4);
#endif
}

void WindowBehaviourTest::clickRightAfterASortFindsTheFirstTiedRow() {
    Window& w = W();
    w.Show();
    // Several rows name each local file; a Path header click reorders them,
    // and the click that follows must find the first of them in the new order.
    // Other files around them make the list long enough that its index is
    // still being built when the click comes.
    std::vector<std::pair<std::string, std::string>> rows = {
        {"\\b", "a.c"}, {"\\0", "A.C"}, {"\\c", "a.c"}, {"\\a", "a.c"}, {"\\y\\x", "k.h"}, {"\\x", "k.h"},
        {"\\x\\x", "k.h"}};
    for (int k = 0; k < 20000; ++k) rows.push_back({"\\d\\" + std::to_string(k % 97), "f" + std::to_string(k) + ".c"});
    w.FillTop(rows);
    w.FillBottom({{"/w/", "a.c"}, {"/w/x/", "k.h"}});
    CReportCtrl& top = w.dlg->TopList();
    QHeaderView* header = top.horizontalHeader();
    const QPoint path(header->sectionViewportPosition(2) + 5, header->height() / 2);
    struct Expected {
        int bottomRow;
        std::string ascending;   // the path of the row found after each sort
        std::string descending;
    };
    // "\0\A.C" comes first going up, but where letter case tells files
    // apart the exact-case "a.c" rows win over it.
    const Expected expected[] = {{0, platform::kIsWindows ? "\\0" : "\\a", "\\c"}, {1, "\\x", "\\y\\x"}};
    for (bool ascending : {true, false}) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, path);
        QCOMPARE(top.SortColumn(), 2);
        QCOMPARE(top.SortAscending(), ascending);
        for (const Expected& e : expected) {
            const std::string& wanted = ascending ? e.ascending : e.descending;
            // At once, while the sorted list may still be being indexed.
            ClickRow(w.dlg->BottomList(), e.bottomRow);
            QVERIFY(w.dlg->HighlightedTopRow() >= 0);
            QCOMPARE(top.GetItemText(w.dlg->HighlightedTopRow(), 2), wanted);
            const int first = w.dlg->HighlightedTopRow();
            // And once the index of the sorted list is in place.
            w.dlg->Workflows().GetClassifier().CounterpartOf("/w/x/k.h");
            ClickRow(w.dlg->BottomList(), e.bottomRow);
            QCOMPARE(w.dlg->HighlightedTopRow(), first);
        }
    }
}

void WindowBehaviourTest::editorRowRefreshedWhenTheEditorCloses() {
    Window& w = W();
    const std::filesystem::path root = w.dir.Path();
    AppSettings settings;
    settings.context = {"b", "u", "p", "proj", "st", "*", "", (root / "local").string()};
    settings.display = {1, 0, 1, 0};
    CQvrCompareDlg dlg(settings, (root / "temp").string(), w.host, w.pump);
    dlg.SetMenuRunner([](QMenu& menu, const QPoint&) -> QAction* {
        for (QAction* action : menu.actions()) {
            if (action->data().toInt() == kBottomEditor) return action;
        }
        return nullptr;
    });
    dlg.show();
    FillTopRows(dlg.TopList(), {{"\\p", "f.c"}});
    const std::string copy = dlg.Workflows().GetClassifier().CopyPathFor(0);
    std::filesystem::create_directories(std::filesystem::path(copy).parent_path());
    std::ofstream(copy) << "as in the repository\n";
    std::filesystem::create_directories(root / "local");
    const std::string local = (root / "local" / "f.c").string();
    std::ofstream(local) << "edited here\n";
    CReportCtrl& bottom = dlg.BottomList();
    bottom.RemoveAllRows();
    bottom.InsertItem(0, "0001");
    bottom.SetItemText(0, 1, "f.c");
    bottom.SetItemText(0, 2, (root / "local").string() + "/");
    bottom.SetItemText(0, 5, "Diff");
    bottom.Flush();
    // The "editor": the user makes the file match the repository, then closes it.
    std::filesystem::create_directories(root / "bin");
    const std::filesystem::path editor = root / "bin" / "CrystalEdit";
    std::ofstream(editor) << "#!/bin/sh\nsleep 0.4\ncat '" << copy << "' > \"$1\"\n";
    std::filesystem::permissions(editor, std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString((root / "bin").string()) + ":" + path);

    const QPoint at = CellPoint(bottom, 0);
    QTest::mousePress(bottom.viewport(), Qt::RightButton, {}, at);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, bottom.viewport()->mapToGlobal(at));
    QApplication::sendEvent(bottom.viewport(), &menu);
    qputenv("PATH", path);
    QVERIFY(w.host.boxes.empty());
    QCOMPARE(bottom.GetItemText(0, 5), std::string("Diff"));  // the editor has not saved yet
    QTRY_COMPARE_WITH_TIMEOUT(bottom.GetItemText(0, 5), std::string("Same"), 5000);
}

// ---- fields and dialogs -----------------------------------------------------------

void WindowBehaviourTest::tempDirectoryBoxIsUsedAndChooserCancelKeepsBoxes() {
    Window& w = W();
    w.Show();
    w.dlg->SetLastScannedFolder("/last/scan");
    // A cancelled chooser changes neither box.
    QTest::mouseClick(w.Button(IDC_BROWSE_TEMP), Qt::LeftButton);
    QTest::mouseClick(w.Button(IDC_BROWSE_LOCAL), Qt::LeftButton);
    QCOMPARE(w.host.folderRequests.size(), std::size_t(2));
    // Each chooser opens at the folder its box names.
    QCOMPARE(w.host.folderRequests[0].second, std::string("/inst/Temp"));
    QCOMPARE(w.host.folderRequests[1].second, std::string("/w"));
    QCOMPARE(w.dlg->GetDlgItemText(IDC_TEMPPATH), std::string("/inst/Temp"));
    QCOMPARE(w.dlg->GetDlgItemText(IDC_LOCALPATH), std::string("/w"));
    w.host.folderAnswer = "/chosen";
    QTest::mouseClick(w.Button(IDC_BROWSE_TEMP), Qt::LeftButton);
    QCOMPARE(w.dlg->GetDlgItemText(IDC_TEMPPATH), std::string("/chosen"));
    // One inside the Local Path is refused where it is chosen.
    w.host.folderAnswer = "/w/sub";
    QTest::mouseClick(w.Button(IDC_BROWSE_TEMP), Qt::LeftButton);
    QCOMPARE(w.dlg->GetDlgItemText(IDC_TEMPPATH), std::string("/chosen"));
    QCOMPARE(w.host.boxes.back().text,
             std::string("The Temp Directory must not be inside the Local Path, nor the Local Path "
                         "inside it: /w/sub and /w"));
    QCOMPARE(w.host.boxes.back().icon, MbIcon::Stop);

    // A run takes the folder typed into the box as its temp path (here the
    // run stops at once: the broker box is blank).
    CQvrCompareDlg plain(AppSettings{}, "/inst/Temp", w.host, w.pump);
    plain.show();
    plain.SetDlgItemText(IDC_PROJECT, "proj");
    plain.SetDlgItemText(IDC_STATE, "st");
    auto* temp = qobject_cast<QLineEdit*>(plain.GetDlgItem(IDC_TEMPPATH));
    temp->selectAll();
    QTest::keyClicks(temp, "/typed/temp");
    QTest::mouseClick(qobject_cast<QPushButton*>(plain.GetDlgItem(IDC_GEN_TOP)), Qt::LeftButton);
    QCOMPARE(plain.StatusText(), std::string(" Error: Part of context is not set (not including Package)"));
    QCOMPARE(plain.Settings().context.tempPath, std::string("/typed/temp"));
    // A blank box keeps the temp path in force for the listing, which writes
    // no copies; a report refuses it.
    temp->clear();
    QTest::mouseClick(qobject_cast<QPushButton*>(plain.GetDlgItem(IDC_GEN_TOP)), Qt::LeftButton);
    QCOMPARE(plain.Settings().context.tempPath, std::string("/typed/temp"));
    plain.SetDlgItemText(IDC_LOCALPATH, "/w");
    const std::size_t boxes = w.host.boxes.size();
    QTest::mouseClick(plain.GetDlgItem(IDC_GEN_BTM), Qt::LeftButton);
    QCOMPARE(plain.StatusText(), std::string(" Temp Directory cannot be blank."));
    QCOMPARE(w.host.boxes.size(), boxes + 1);
    QCOMPARE(w.host.boxes.back().text, std::string("Temp Directory is blank."));
    QCOMPARE(g_reportInProgress, 0);

    // A paste longer than a run reads of a box is named on the status line.
    auto* local = qobject_cast<QLineEdit*>(plain.GetDlgItem(IDC_LOCALPATH));
    local->clear();
    QApplication::clipboard()->setText(QString(300, QLatin1Char('p')));
    local->setFocus();
    QTest::keyClick(local, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(plain.StatusText(),
             std::string(" Local Path is longer than 254 characters: only the first 254 are used - "
                         "check the text."));

    // The Top List's menu opens the copy in the temp folder the box names now.
    const std::string typed = w.dir.Path().string() + "/typed";
    fs::create_directories(typed + "/proj");
    std::ofstream(typed + "/proj/f0.c") << "x";
    std::vector<std::string> opened;
    w.dlg->SetOpenFileAction([&](const std::string& file) { opened.push_back(file); });
    w.Show();
    auto* tempBox = qobject_cast<QLineEdit*>(w.dlg->GetDlgItem(IDC_TEMPPATH));
    tempBox->setFocus();
    tempBox->selectAll();
    QTest::keyClicks(tempBox, QString::fromStdString(typed));
    w.FillMatching(1);
    ClickRow(w.dlg->TopList(), 0);
    w.menuChoice = kTopDefaultApp;
    QTest::keyClick(&w.dlg->TopList(), Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(opened, std::vector<std::string>{typed + "/proj/f0.c"});
}

void WindowBehaviourTest::saveDialogStartFolder_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");  // relative to the test's folder; "." the current one
    QTest::newRow("existing folder") << "data" << "data/";
    QTest::newRow("missing folder") << "nothing-here" << "./";
    QTest::newRow("a file") << "file.csv" << "./";
    QTest::newRow("empty") << "" << "./";
}

void WindowBehaviourTest::saveDialogStartFolder() {
    QFETCH(QString, given);
    QFETCH(QString, expected);
    const QString root = QString::fromStdString(W().dir.Path().string());
    QDir(root).mkpath("work");
    QDir(root).mkpath("data");
    std::ofstream(W().dir.Path().string() + "/file.csv") << "x";
    const QString saved = QDir::currentPath();
    QDir::setCurrent(root + "/work");
    const QString folder = SaveDialogStartFolder(given.isEmpty() ? std::string() : "../" + given.toStdString());
    QDir::setCurrent(saved);
    const QString want = expected == "./" ? root + "/work/" : root + "/" + expected;
    QCOMPARE(QDir::cleanPath(folder) + "/", QDir::cleanPath(want) + "/");
    QVERIFY(folder.endsWith('/'));
}

void WindowBehaviourTest::saveDialogOpensWithoutAFileName() {
    const QString root = QString::fromStdString(W().dir.Path().string());
    QDir(root).mkpath("data");
    QString directory = "unset";
    QStringList selected = {"unset"};
    QTimer::singleShot(100, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            directory = dialog->directory().absolutePath();
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            selected = {name ? name->text() : QString("no box")};
            dialog->reject();
        }
    });
    // The default "../data" from a folder where it does not exist: the
    // dialog opens in the current folder with no file name typed in.
    const QString saved = QDir::currentPath();
    QDir(root).mkpath("elsewhere/deeper");
    QDir::setCurrent(root + "/elsewhere/deeper");
    QtMessageBoxHost host;
    const auto chosen = host.GetSaveFileName("../data", "CSV Files (*.csv)");
    QDir::setCurrent(saved);
    QVERIFY(!chosen);
    QCOMPARE(directory, QDir(root + "/elsewhere/deeper").absolutePath());
    QCOMPARE(selected, QStringList({""}));
}

void WindowBehaviourTest::messageBoxesAreRaisedNotOnTopAndShowNoWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool onTop = true;
    bool waitCursor = true;
    bool seen = false;
    QTimer::singleShot(100, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = true;
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            waitCursor = QApplication::overrideCursor() != nullptr;
            box->accept();
        }
    });
    QtMessageBoxHost host;
    host.MessageBox("text", MbButtons::Ok, MbIcon::Exclamation);
    QVERIFY(seen);
    QVERIFY(!onTop);
    QVERIFY(!waitCursor);
    // The step that showed the box still waits: its cursor comes back.
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QApplication::restoreOverrideCursor();
    QVERIFY(!QApplication::overrideCursor());
}

// ---- desktops and screens ----------------------------------------------------------

void WindowBehaviourTest::windowFitsSmallScreens_data() {
    QTest::addColumn<QRect>("screen");
    QTest::newRow("1366x768") << QRect(0, 0, 1366, 768);
    QTest::newRow("1280x720 with a panel on top") << QRect(0, 32, 1280, 688);
    QTest::newRow("large") << QRect(0, 0, 2560, 1440);
}

void WindowBehaviourTest::windowFitsSmallScreens() {
    QFETCH(QRect, screen);
    Window& w = W();
    w.dlg->resize(1180, 860);  // as first opened, or as a larger screen left it
    w.dlg->FitInto(screen);
    w.Show();
    QCoreApplication::processEvents();
    const QRect window = w.dlg->geometry();
    // Room is left for the title bar above the window.
    QVERIFY2(screen.contains(window), qPrintable(QString("%1,%2 %3x%4").arg(window.x()).arg(window.y())
                                                     .arg(window.width()).arg(window.height())));
    QVERIFY(window.height() <= screen.height() - 30);
    QVERIFY(window.width() <= 1180 && window.height() <= 860);
    // Every control is on the window, with a size.
    for (int id : {IDC_BROKER, IDC_REGSETTINGS, IDC_FIND_TOP, IDC_TOPLIST, IDC_GEN_TOP, IDC_EXPORT_TOP, IDC_LOCALPATH,
                   IDC_BROWSE_LOCAL, IDC_SUBFOLDERS, IDC_SHOWMISSING, IDC_FIND_BTM, IDC_BTMLIST, IDC_GEN_BTM,
                   IDC_EXPORT_BTM,
                   int(IDCANCEL_BUTTON), CQvrCompareDlg::kStatusId}) {
        QWidget* control = w.dlg->GetDlgItem(id);
        const QRect at(control->mapTo(w.dlg.get(), QPoint(0, 0)), control->size());
        QVERIFY2(w.dlg->rect().contains(at) && at.height() >= 10, qPrintable(QString::number(id)));
    }
    // The last column takes the spare width.
    CReportCtrl& top = w.dlg->TopList();
    const int last = top.ColumnCount() - 1;
    QVERIFY(top.horizontalHeader()->sectionViewportPosition(last) + top.columnWidth(last) >=
            top.viewport()->width() - 1);
}

void WindowBehaviourTest::sizeAndPlaceAreRemembered() {
    Window& w = W();
    w.Show();
    const QRect left(10, 20, 780, 520);
    w.dlg->setGeometry(left);
    // Each start and exit keeps the window exactly where it was left.
    for (int start = 0; start < 3; ++start) {
        QTest::mouseClick(w.Button(IDCANCEL_BUTTON), Qt::LeftButton);
        QCOMPARE(w.store.GetProfileString("Window", "Placement", ""), std::string("10,20,780,520"));
        QVERIFY(!w.store.Has("Settings", "Placement"));
        w.dlg = std::make_unique<CommandRecordingDlg>(AppSettings{}, "/inst/Temp", w.host, w.pump);
        w.dlg->SetShutdownAction([] {});
        w.dlg->SetProfileStore(w.store);
        w.Show();
        QCOMPARE(w.dlg->geometry(), left);
    }
}

void WindowBehaviourTest::listsFollowADarkPalette() {
    const QPalette saved = QApplication::palette();
    QPalette dark = saved;
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
    dark.setColor(QPalette::Text, QColor(220, 220, 220));
    QApplication::setPalette(dark);
    {
        CReportCtrl list;
        list.ApplyColumnSpec("Record,0;File,100;Status,60");
        for (int k = 0; k < 3; ++k) list.InsertItem(k, "x");
        list.SetCellTextColor(1, 2, 0x0032FF, true);  // a status colour keeps its meaning
        list.SetCellTextColor(0, 2, 0x123456, true);  // a colour without one is drawn as it is
        list.Flush();
        auto cell = [&](int row, int column, int role) {
            return list.model()->index(row, column).data(role).value<QColor>();
        };
        QCOMPARE(cell(0, 1, Qt::ForegroundRole), QColor(220, 220, 220));
        QCOMPARE(cell(0, 1, Qt::BackgroundRole).lightness() < 80, true);
        QCOMPARE(cell(0, 1, Qt::BackgroundRole), QColor(30, 30, 30));
        QCOMPARE(cell(1, 1, Qt::BackgroundRole), QColor(45, 45, 45));  // the palette's second shade
        QCOMPARE(cell(1, 2, Qt::ForegroundRole), QColor(255, 122, 82));
        QCOMPARE(cell(0, 2, Qt::ForegroundRole), QColor(0x56, 0x34, 0x12));
    }
    // Every status in a lighter shade of its hue, readable on dark bases;
    // a light base keeps the colours themselves.
    const std::pair<Colorref, QColor> statuses[] = {
        {kNewColor, QColor(0, 128, 0)}, {kSameColor, QColor(0, 0, 128)}, {kDiffColor, QColor(255, 50, 0)},
        {kMissingColor, QColor(128, 0, 128)}};
    for (const auto& [status, light] : statuses) {
        for (const QColor& base : {QColor(30, 30, 30), QColor(45, 45, 48), QColor(100, 100, 110)}) {
            const QColor shown = TextColorOn(status, base);
            QVERIFY2(ContrastRatio(shown, base) >= 4.5, qPrintable(shown.name() + " on " + base.name()));
            QVERIFY(shown.lightness() > light.lightness());
            QVERIFY(std::abs(shown.hslHue() - light.hslHue()) <= 20);
        }
        QCOMPARE(TextColorOn(status, QColor(255, 255, 255)), light);
    }
    QApplication::setPalette(saved);
}

namespace {

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

void FillColouredList(CReportCtrl& list) {
    list.ApplyColumnSpec("Record,0;File,100;Status,60");
    for (int k = 0; k < 4; ++k) list.InsertItem(k, "x");
    list.SetCellTextColor(1, 2, 0x0032FF, true);  // a status colour keeps its meaning
    list.SetCellTextColor(2, -1, 0xFFFFFF, true);  // the highlight of a counterpart
    list.SetCellBackColor(2, -1, 0x808080, true);
    list.Flush();
}

}  // namespace

void WindowBehaviourTest::listsFollowAPaletteChangeWhileOpen() {
    const QPalette saved = QApplication::palette();
    QPalette light = saved;
    light.setColor(QPalette::Base, QColor(255, 255, 255));
    light.setColor(QPalette::AlternateBase, QColor(240, 240, 240));
    light.setColor(QPalette::Text, QColor(0, 0, 0));
    QPalette dark = saved;
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
    dark.setColor(QPalette::Text, QColor(220, 220, 220));
    QApplication::setPalette(light);
    {
        CReportCtrl open;
        FillColouredList(open);
        open.resize(300, 200);
        open.show();
        QVERIFY(QTest::qWaitForWindowExposed(&open));
        PaintCounter counter;
        open.viewport()->installEventFilter(&counter);
        // The desktop switches theme, and back, while the list is open.
        for (const QPalette* now : {&dark, &light, &dark}) {
            counter.paints = 0;
            QApplication::setPalette(*now);
            QTRY_VERIFY(counter.paints > 0);
            // The open list looks like one made under the new palette.
            CReportCtrl made;
            FillColouredList(made);
            for (int row = 0; row < 4; ++row) {
                for (int column = 1; column < 3; ++column) {
                    for (int role : {int(Qt::ForegroundRole), int(Qt::BackgroundRole)}) {
                        QCOMPARE(open.model()->index(row, column).data(role).value<QColor>(),
                                 made.model()->index(row, column).data(role).value<QColor>());
                    }
                }
            }
            // And so it is drawn, beside the text (row 0 holds the current
            // cell, which the style tints).
            const QImage shot = open.viewport()->grab().toImage();
            for (int row : {1, 3}) {
                const QRect cell = open.visualRect(open.model()->index(row, 1));
                const QColor drawn = shot.pixelColor(cell.right() - 3, cell.center().y());
                QVERIFY2(drawn == made.model()->index(row, 1).data(Qt::BackgroundRole).value<QColor>(),
                         qPrintable(QStringLiteral("row %1 drawn %2 selected %3").arg(row).arg(drawn.name()).arg(open.SelectedRow())));
            }
            QCOMPARE(open.model()->index(2, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(128, 128, 128));
            QCOMPARE(open.model()->index(1, 2).data(Qt::ForegroundRole).value<QColor>(),
                     now == &dark ? QColor(255, 122, 82) : QColor(255, 50, 0));
        }
        // A row added after the change is in the new colours too.
        open.InsertItem(4, "late");
        open.Flush();
        QCOMPARE(open.model()->index(4, 1).data(Qt::ForegroundRole).value<QColor>(), QColor(220, 220, 220));
        QCOMPARE(open.model()->index(4, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(30, 30, 30));
    }
    QApplication::setPalette(saved);
}

}  // namespace qvr::testing
