// The main window's list tools: Find and find next (2027, 2028, 1030, 1031),
// export (1108, 1107), the command settings dialog (2026) and the context
// menus with their viewer commands (2510 to 2540, 2610 to 2640).

#include <QContextMenuEvent>
#include <vector>

#include "app/busy_flags.h"
#include "app/platform.h"
#include "res/resource.h"

#include "ui/command_settings_dlg.h"
#include "ui/find_top_dlg.h"
#include "ui/list_export.h"
#include "ui/qvr_compare_dlg.h"
#include "ui/report_ctrl.h"
#include "ui/viewer_commands.h"

namespace qvr {
namespace {

// The row a list command acts on: the row that has the focus, or -1.
int FocusedRow(const CReportCtrl& list) {
    const QModelIndex current = list.currentIndex();
    return current.isValid() ? current.row() : -1;
}

}  // namespace

void CQvrCompareDlg::SetProfileStore(IProfileStore& store) {
    m_store = &store;
    m_search.reset();
    RestoreWindowGeometry();
}

ListSearch& CQvrCompareDlg::Search() {
    if (!m_search) m_search = std::make_unique<ListSearch>(*m_store);
    return *m_search;
}

void CQvrCompareDlg::OnFindTopList() {
    m_activeList = 1;
    RunFind(Search(), SearchList::Top, *m_topList, CountTopRows(), m_topPosition, *m_store, this, m_modalRunner);
}

void CQvrCompareDlg::OnFindBottomList() {
    m_activeList = 2;
    RunFind(Search(), SearchList::Bottom, *m_bottomList, CountBottomRows(), m_bottomPosition, *m_store, this,
            m_modalRunner);
}

void CQvrCompareDlg::OnFindNextTopList() { RunFindNext(Search(), *m_topList, CountTopRows(), m_topPosition); }

void CQvrCompareDlg::OnFindNextBottomList() {
    RunFindNext(Search(), *m_bottomList, CountBottomRows(), m_bottomPosition);
}

void CQvrCompareDlg::OnExportTopList() { ExportList(*m_topList, true, *m_store, m_host); }

void CQvrCompareDlg::OnExportBottomList() { ExportList(*m_bottomList, false, *m_store, m_host); }

void CQvrCompareDlg::OnBtnRegSettings() {
    // The package in force is the one loaded or last used by a run, not what
    // the package box holds now.
    EditCommandTemplates(m_settings.context.package, m_settings.templates, m_installDir, *m_store, this,
                         m_modalRunner);
}

void CQvrCompareDlg::contextMenuEvent(QContextMenuEvent* event) {
    QWidget* source = childAt(event->pos());
    const bool fromTopList = source && (source == m_topList || m_topList->isAncestorOf(source));
    OnContextMenu(fromTopList, event->globalPos());
    event->accept();
}

void CQvrCompareDlg::OnContextMenu(bool fromTopList, const QPoint& screenPos) {
    const std::unique_ptr<QMenu> menu =
        BuildViewerMenu(MenuForRequest(fromTopList, m_topList->Table(), m_bottomList->Table()), this);
    if (!menu) return;
    const int command = TrackViewerMenu(*menu, screenPos, m_menuRunner);
    if (command != 0) OnCommand(command);
}

ViewerContext CQvrCompareDlg::ViewerState() {
    return {m_topList->Table(), m_bottomList->Table(), m_settings.context, m_settings.templates,
            m_settings.display, *m_trace,           m_host,              m_pump};
}

void CQvrCompareDlg::OnTopListViewer(int command) {
    // A Top List file is checked out into the temp folder the box names now,
    // as the next run would use it.
    if (!g_populateInProgress && !g_reportInProgress) {
        if (std::string typed = GetDlgItemText(res::IDC_TEMPPATH); !typed.empty()) {
            m_settings.context.tempPath = std::move(typed);
        }
    }
    ScmViewerServices services(m_workflows->Bridge(), m_openFile, this);
    ViewerCommands(ViewerState(), services).OnTopListCommand(command, FocusedRow(*m_topList));
}

void CQvrCompareDlg::OnBottomListViewer(int command) {
    ScmViewerServices services(m_workflows->Bridge(), m_openFile, this);
    services.SetEditorWatch([this](std::uint32_t processId, const std::string& file) { WatchEditor(processId, file); });
    ViewerCommands(ViewerState(), services).OnBottomListCommand(command, FocusedRow(*m_bottomList));
    // The editor command may have refreshed the row.
    m_bottomList->Flush();
}

void CQvrCompareDlg::WatchEditor(std::uint32_t processId, const std::string& localFile) {
    // The program's name tells the editor from a later process that is
    // given the same id.
    std::string program;
    if (!platform::ReadModuleName(static_cast<int>(processId), program)) program.clear();
    m_editors.push_back({processId, std::move(program), localFile});
    if (!m_editorTimer.isActive()) m_editorTimer.start();
}

void CQvrCompareDlg::CheckEditors() {
    std::vector<std::string> closed;
    std::erase_if(m_editors, [&](const EditorWatch& editor) {
        std::string program;
        const bool running = !editor.program.empty() &&
                             platform::ReadModuleName(static_cast<int>(editor.processId), program) &&
                             program == editor.program;
        if (!running) closed.push_back(editor.localFile);
        return !running;
    });
    if (m_editors.empty()) m_editorTimer.stop();
    if (closed.empty() || g_reportInProgress || g_populateInProgress) {
        // A run refills the list anyway; its rows are not touched meanwhile.
        return;
    }
    // The edited file's row is shown as the file is now, wherever the row
    // has moved since the editor started.
    ScmViewerServices services(m_workflows->Bridge(), m_openFile, this);
    ViewerCommands commands(ViewerState(), services);
    const ReportTable& bottom = m_bottomList->Table();
    for (const std::string& file : closed) {
        for (int row = 0; row < CountBottomRows(); ++row) {
            if (LocalFileOf(bottom, row) == file) commands.RefreshRow(row);
        }
    }
    m_bottomList->Flush();
}

}  // namespace qvr
