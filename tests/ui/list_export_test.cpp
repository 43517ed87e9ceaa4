#include <QTest>

#include "app/settings.h"
#include "list_tools_tests.h"
#include "support/recording_message_box_host.h"
#include "support/temp_dir.h"
#include "ui/list_export.h"
#include "ui/report_ctrl.h"

namespace qvr::testing {

void ListExportTest::exportsTheColumnsTheViewShows() {
    TempDir dir;
    MemoryProfileStore store;
    RecordingMessageBoxHost host;
    CReportCtrl list;
    list.ApplyColumnSpec("Record,0;File,175;Path,415;Datasize,60;Date,130;Status,95");
    list.InsertItem(0, "1");
    list.SetItemText(0, 1, "x, \"y\".c");
    list.SetItemText(0, 2, "/home/u/");
    list.SetItemText(0, 3, "1 KB");
    list.SetItemText(0, 4, "01-02-2026 03:04:05\n");
    list.SetItemText(0, 5, "New");
    list.Flush();
    list.setColumnWidth(3, 1);  // the user closed "Datasize"
    QCOMPARE(CurrentColumnWidths(list), (std::vector<int>{0, 175, 415, 1, 130, 95}));

    host.saveAnswer = (dir / "bottom.csv").string();
    QCOMPARE(ExportList(list, false, store, host), 1);
    QCOMPARE(ReadFile(dir / "bottom.csv"),
             std::string("File,Path,,Date,Status,\r\n\"x, \"\"y\"\".c\",/home/u/,,01-02-2026 03:04:05,New,\r\n"));
    QCOMPARE(store.GetProfileString(kSettingsSection, "ExportBtmDirectory", ""), dir.Str());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void ListExportTest::blankListIsNotExported() {
    MemoryProfileStore store;
    RecordingMessageBoxHost host;
    CReportCtrl list;
    list.ApplyColumnSpec("Record,0;File,175");
    for (int row = 0; row < 10; ++row) list.InsertItem(row, "");
    QCOMPARE(ExportList(list, true, store, host), 0);
    QVERIFY(host.saveRequests.empty());
}

}  // namespace qvr::testing
