#include "ui/list_export.h"

#include <QApplication>
#include <QCursor>

#include "compare/csv_export.h"
#include "ui/report_ctrl.h"

namespace qvr {

std::vector<int> CurrentColumnWidths(const CReportCtrl& list) {
    std::vector<int> widths;
    for (int column = 0; column < list.ColumnCount(); ++column) {
        widths.push_back(list.isColumnHidden(column) ? 0 : list.columnWidth(column));
    }
    return widths;
}

int ExportList(const CReportCtrl& list, bool topList, IProfileStore& store, IMessageBoxHost& host) {
    auto waitCursor = [](bool on) {
        if (on) QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else QApplication::restoreOverrideCursor();
    };
    if (topList) return CExportTop(list.Table(), CurrentColumnWidths(list), store, host, waitCursor).WriteCsv();
    return CExportBtm(list.Table(), CurrentColumnWidths(list), store, host, waitCursor).WriteCsv();
}

}  // namespace qvr
