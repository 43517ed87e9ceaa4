#include <QContextMenuEvent>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "app/busy_flags.h"
#include "list_tools_tests.h"
#include "support/callback_message_pump.h"
#include "support/recording_message_box_host.h"
#include "support/temp_dir.h"
#include "ui/command_settings_dlg.h"
#include "ui/find_top_dlg.h"
#include "ui/qvr_compare_dlg.h"
#include "ui/report_ctrl.h"
#include "window_fixture.h"

namespace qvr::testing {
namespace {

struct WindowFixture {
    TempDir dir;
    RecordingMessageBoxHost host;
    CallbackMessagePump pump;
    MemoryProfileStore store;
    std::unique_ptr<CQvrCompareDlg> dlg;
    std::function<int(QDialog&)> answer = [](QDialog&) { return int(QDialog::Rejected); };
    std::vector<QStringList> menus;  // the enabled item ids of every menu shown
    int chosen = 0;                  // the item the next menu answers with
    std::vector<std::string> opened;

    WindowFixture() {
        AppSettings settings;
        settings.context = {"broker1", "user1", "secret", "proj", "st", "*", "/stored/temp", "/home/u/src"};
        settings.templates.diffPgm = "/nonexistent/Windiff \"%s\" \"%s\"";
        dlg = std::make_unique<CQvrCompareDlg>(settings, "/inst/Temp", host, pump);
        dlg->SetProfileStore(store);
        dlg->SetModalRunner([this](QDialog& box) { return answer(box); });
        dlg->SetOpenFileAction([this](const std::string& file) { opened.push_back(file); });
        dlg->SetMenuRunner([this](QMenu& menu, const QPoint&) -> QAction* {
            QStringList enabled;
            QAction* pick = nullptr;
            for (QAction* action : menu.actions()) {
                if (action->isEnabled()) enabled << action->objectName();
                if (action->data().toInt() == chosen) pick = action;
            }
            menus.push_back(enabled);
            return pick;
        });
    }
    void FillTop() { FillTopRows(dlg->TopList(), {{"\\proj", "a.c"}, {"\\proj", "b.c"}, {"\\lib", "ab.h"}}); }
    void FillBottom() { FillBottomRows(dlg->BottomList(), {{"/home/u/src/", "b.c"}}); }
    void RightClick(QWidget* target) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(target, &event);
    }
};

std::unique_ptr<WindowFixture> g_window;

}  // namespace

void WindowListToolsTest::init() { StartWithNew(g_window); }

void WindowListToolsTest::cleanup() { g_window.reset(); }

void WindowListToolsTest::findButtonsShareTheText() {
    WindowFixture& f = *g_window;
    f.FillTop();
    QString shown;
    f.answer = [&](QDialog& box) {
        auto& find = static_cast<CFindTopDlg&>(box);
        shown = find.TextBox().text();
        find.TextBox().setText("b.C");
        find.accept();
        return box.result();
    };
    f.dlg->OnCommand(2027);
    QCOMPARE(f.dlg->ActiveList(), 1);
    QCOMPARE(f.dlg->TopPosition(), 1);
    QCOMPARE(f.dlg->TopList().SelectedRow(), 1);
    QCOMPARE(f.store.GetProfileString("Settings", "SearchTopText", ""), std::string("b.C"));

    // The Bottom List's Find opens with the shared text in capitals; a
    // cancelled one still makes the Bottom List the active list.
    f.store.WriteProfileString("Settings", "SearchBtmText", "unused");
    f.answer = [&](QDialog& box) {
        shown = static_cast<CFindTopDlg&>(box).TextBox().text();
        box.reject();
        return box.result();
    };
    f.dlg->OnCommand(2028);
    QCOMPARE(shown, QString("B.C"));
    QCOMPARE(f.dlg->ActiveList(), 2);

    // Find next on the Top List goes on from its position: no further hit.
    f.dlg->OnCommand(1030);
    QCOMPARE(f.dlg->TopPosition(), 3);
    QCOMPARE(f.dlg->TopList().SelectedRow(), 1);
}

void WindowListToolsTest::exportButtonsWriteTheirList() {
    WindowFixture& f = *g_window;
    f.host.saveAnswer = (f.dir / "top.csv").string();
    f.dlg->OnCommand(1108);  // blank rows only: nothing to export
    QVERIFY(f.host.saveRequests.empty());
    f.FillTop();
    f.dlg->OnCommand(1108);
    QCOMPARE(f.host.saveRequests.size(), std::size_t(1));
    QCOMPARE(ReadFile(f.dir / "top.csv").substr(0, 83),
             std::string("File,Path,Version,Tag,Datasize,Package,Creator,Created Date,Modifier,Modified Date,"));
    QVERIFY(ReadFile(f.dir / "top.csv").find("\r\nb.c,\\proj,,,,,,,,,,\r\n") != std::string::npos);
    QCOMPARE(f.store.GetProfileString("Settings", "ExportTopDirectory", ""), f.dir.Str());

    f.FillBottom();
    f.host.saveAnswer = (f.dir / "bottom.csv").string();
    f.dlg->OnCommand(1107);
    QCOMPARE(ReadFile(f.dir / "bottom.csv"), std::string("File,Path,Datasize,Date,Status,\r\nb.c,/home/u/src/,,,Diff,\r\n"));
}

void WindowListToolsTest::regSettingsSavesAtOnce() {
    WindowFixture& f = *g_window;
    f.dlg->SetDlgItemText(1005, "typed but not used");
    QString package;
    f.answer = [&](QDialog& box) {
        auto& settings = static_cast<CSettingsDlg&>(box);
        package = settings.Edit(2400)->text();
        settings.Edit(2405)->setText("meld");
        settings.accept();
        return box.result();
    };
    f.dlg->OnCommand(2026);
    QCOMPARE(package, QString("*"));
    QCOMPARE(f.dlg->Settings().templates.diffPgm, std::string("meld"));
    QCOMPARE(f.store.GetProfileString("Settings", "DiffPgm", ""), std::string("meld"));
    QVERIFY(f.store.Has("Settings", "VlxFmt"));
}

void WindowListToolsTest::contextMenusFollowTheLists() {
    WindowFixture& f = *g_window;
    f.dlg->resize(1200, 900);
    f.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.dlg.get()));
    f.RightClick(f.dlg->TopList().viewport());  // blank rows only
    f.RightClick(f.dlg->BottomList().viewport());
    f.FillBottom();
    f.dlg->TopList().RemoveAllRows();
    f.RightClick(f.dlg->TopList().viewport());  // no rows, and the Bottom List filled
    QVERIFY(f.menus.empty());

    f.FillTop();
    f.FillBottom();
    f.RightClick(f.dlg->TopList().viewport());
    f.RightClick(f.dlg->GetDlgItem(2701));  // anywhere else: the bottom menu
    QCOMPARE(f.menus.size(), std::size_t(2));
    QCOMPARE(f.menus[0], (QStringList{"2520", "2530", "2540"}));
    QCOMPARE(f.menus[1], (QStringList{"2610", "2620", "2630", "2640"}));

    // The chosen command acts on the focused row; without one nothing opens.
    f.chosen = 2640;
    f.RightClick(f.dlg->BottomList().viewport());
    QVERIFY(f.opened.empty());
    f.dlg->BottomList().SelectRow(0);
    f.RightClick(f.dlg->BottomList().viewport());
    QCOMPARE(f.opened, std::vector<std::string>{"/home/u/src/b.c"});
}

void WindowListToolsTest::doubleClickStartsTheDiffViewer() {
    WindowFixture& f = *g_window;
    f.FillTop();
    f.FillBottom();
    f.dlg->BottomList().SelectRow(0);
    f.dlg->OnListDblClick(1101, 0);
    // The viewer named by DiffPgm is not there: the launcher says so.
    QCOMPARE(f.host.boxes.size(), std::size_t(1));
    QVERIFY(f.host.boxes[0].text.find("Executable Not Found") != std::string::npos);
    QCOMPARE(f.host.boxes[0].icon, MbIcon::Exclamation);
}

}  // namespace qvr::testing
