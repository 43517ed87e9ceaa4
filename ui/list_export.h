#pragma once
// The window's "Export List..." buttons: the list exported with the widths
// its columns currently have in the view, under the wait cursor.

#include <vector>

#include "app/message_box_host.h"
#include "app/profile_store.h"

namespace qvr {

class CReportCtrl;

// Each column's width as the user sees it; a hidden column counts as 0.
std::vector<int> CurrentColumnWidths(const CReportCtrl& list);

// CExportTop (topList true) or CExportBtm over list; the result of WriteCsv.
int ExportList(const CReportCtrl& list, bool topList, IProfileStore& store, IMessageBoxHost& host);

}  // namespace qvr
