#pragma once
// CQvrCompareDlg: the main window. The SCM context and the two paths are typed
// into it, its two buttons start the populate and compare-report workflows,
// its two report lists show the repository files (Top List) and the classified
// local files (Bottom List), and one status line says what the program does.

#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/message_box_host.h"
#include "app/message_pump.h"
#include "app/profile_store.h"
#include "app/settings.h"
#include "compare/list_find.h"
#include "compare/report_table.h"
#include "compare/repository_key_index.h"
#include "scm/repo_file_map.h"
#include "workflow/compare_workflows.h"
#include "ui/viewer_menus.h"
#include "workflow/workflow_view.h"

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qvr {

class CReportCtrl;

inline constexpr const char* kTopListSpec = kTopListColumnSpec;
inline constexpr const char* kBottomListSpec = "Record,0;File,175;Path,415;Datasize,60;Date,130;Status,95";
inline constexpr const char* kReadyStatus =
    " Ready - Enter Context and click button \"Populate List from Quorvan Repository\" to begin.";

class CQvrCompareDlg : public QDialog, public IWorkflowView {
    Q_OBJECT
public:
    // settings: as loaded at construction; tempDir: the program's temporary
    // directory, which every run starts with as its temp path.
    CQvrCompareDlg(AppSettings settings, std::string tempDir, IMessageBoxHost& host, IMessagePump& pump,
                   QWidget* parent = nullptr);
    ~CQvrCompareDlg() override;

    // What leaving the window does (save the settings, end the process). When it
    // returns, the window closes with the cancel result.
    void SetShutdownAction(std::function<void()> action) { m_shutdown = std::move(action); }
    // Where the tools leave their files and where the trace goes; until it is
    // called the tools' files go to the temporary directory's parent and the
    // trace is not written.
    void SetEnvironment(std::string installDir, TraceLog& trace);
    // The folder the program was started in: a relative Local Path is taken
    // from there (until it is set, from the current directory).
    void SetLaunchDirectory(std::string folder);
    // Runs a modal box; tests replace it so that nothing blocks.
    void SetModalRunner(std::function<int(QDialog&)> runner) { m_modalRunner = std::move(runner); }
    // Where Find, export and the command settings dialog keep their settings;
    // until it is called they go to a store of the window's own.
    void SetProfileStore(IProfileStore& store);
    // Shows a context menu and returns the chosen item; tests answer instead.
    void SetMenuRunner(MenuRunner runner) { m_menuRunner = std::move(runner); }
    // Opens a file in the application the desktop associates with it.
    void SetOpenFileAction(std::function<void(const std::string&)> open) { m_openFile = std::move(open); }

    // ---- state shared with the workflows and the other commands ----
    AppSettings& Settings() { return m_settings; }
    const AppSettings& Settings() const { return m_settings; }
    CReportCtrl& TopList() { return *m_topList; }
    CReportCtrl& BottomList() { return *m_bottomList; }
    CMapStrToFObj& TopRecordMap() { return m_topRecords; }
    IMessageBoxHost& Host() { return m_host; }
    IMessagePump& Pump() { return m_pump; }
    int ActiveList() const { return m_activeList; }
    int TopPosition() const { return m_topPosition; }
    int BottomPosition() const { return m_bottomPosition; }
    int HighlightedTopRow() const { return m_highlightedTopRow; }
    void SetLastScannedFolder(std::string folder) { m_lastScannedFolder = std::move(folder); }
    const std::string& LastScannedFolder() const { return m_lastScannedFolder; }

    // ---- controls by id ----
    QWidget* GetDlgItem(int id) const;
    // The control's text, at most 254 characters (as the edit boxes are read).
    std::string GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const std::string& text);
    bool IsChecked(int id) const;
    void SetCheck(int id, bool checked);
    void SetStatusText(const std::string& text) { SetDlgItemText(kStatusId, text); }
    std::string StatusText() const { return GetDlgItemText(kStatusId); }

    // ---- list operations ----
    int CountTopRows() const;
    int CountBottomRows() const;
    void AddBlankTopRows();
    void AddBlankBottomRows();
    void DisableForRun() override;
    void EnableAfterRun() override;
    void StartBlinkTimer() override;
    void StopBlinkTimer() override;
    int BlinkTimerId() const { return m_timerId; }
    int FindTopRowFor(const std::string& key, int& row) const;
    // The folder chosen, or nothing when the chooser was cancelled; the
    // chooser opens at startFolder when it is given.
    std::optional<std::string> BrowseForFolder(const std::string& startFolder = "");
    // Sizes and places the window inside a screen's available area; the
    // lists give up the height the screen lacks.
    void FitInto(const QRect& available);

    // ---- messages and commands ----
    void OnCommand(int id);
    void OnTimer(int timerId);
    void OnSysCommand(int id);
    void OnListClick(int notifyId, int row);
    void OnListDblClick(int notifyId, int row);
    void OnListFindNext();
    void OnCancel();
    // Takes the edit boxes' texts into the SCM context, as leaving does.
    void ReadContextFromControls();
    QMenu& SystemMenu() { return m_systemMenu; }

    // ---- the workflow view ----
    std::string GetControlText(int id) override { return GetDlgItemText(id); }
    void SetControlText(int id, const std::string& text) override { SetDlgItemText(id, text); }
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void RepaintTopList() override;
    void ScanStarted(const std::string& localPath) override;
    CompareWorkflows& Workflows() { return *m_workflows; }
    TraceLog& Trace() { return *m_trace; }

    // ---- the two workflows ----
    virtual void OnBtnGenTopScmList();
    virtual void OnBtnGenBtmReport();

    // ---- find, export, command settings and viewers ----
    virtual void OnBtnRegSettings();
    virtual void OnFindTopList();
    virtual void OnFindBottomList();
    virtual void OnFindNextTopList();
    virtual void OnFindNextBottomList();
    virtual void OnExportTopList();
    virtual void OnExportBottomList();
    virtual void OnTopListViewer(int command);
    virtual void OnBottomListViewer(int command);
    // A context-menu request from the Top List or from anywhere else.
    void OnContextMenu(bool fromTopList, const QPoint& screenPos);
    ListSearch& Search();
    IProfileStore& Store() { return *m_store; }

    static constexpr int kStatusId = 2701;

public slots:
    void reject() override;

protected:
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildControls();
    void InitDialog();
    void ConnectCommands();
    void OnToggle(int id);
    void OnClearTopList();
    void OnClearBottomList();
    void OnBrowse(int editId);
    void RunAboutBox();
    void RestoreHighlightedTopRow();
    void ShowRunningCounts();
    void WatchEditor(std::uint32_t processId, const std::string& localFile);
    void CheckEditors();
    void RestoreWindowGeometry();
    void SaveWindowGeometry();
    // After a workflow has ended: the focus back on the button that started
    // it, and both lists showing how they are sorted, from their first row.
    void AfterRun(int buttonId);
    // Shift+F10: the context menu of the list that has the focus, at its row.
    void OpenContextMenuFromKeyboard();
    // A box's text is longer than a run reads of it: say so.
    void OnEditTextCut(int id);
    void HighlightTopRowFor(int bottomRow, bool recolour);
    std::string LocalKeyOfBottomRow(int row) const;
    void PostCommand(int id);
    void MakeWorkflows();
    ViewerContext ViewerState();

    AppSettings m_settings;
    IMessageBoxHost& m_host;
    IMessagePump& m_pump;
    std::function<void()> m_shutdown;
    std::function<int(QDialog&)> m_modalRunner;

    std::map<int, QWidget*> m_controls;
    CReportCtrl* m_topList = nullptr;
    CReportCtrl* m_bottomList = nullptr;
    QMenu m_systemMenu;
    CMapStrToFObj m_topRecords;
    // Counts the rows of a long run into the count boxes.
    QTimer m_countTimer;
    bool m_countingTopRows = false;
    bool m_countingBottomRows = false;
    // Editors started from the Bottom List, until they close.
    struct EditorWatch {
        std::uint32_t processId;
        std::string program;
        std::string localFile;
    };
    std::vector<EditorWatch> m_editors;
    QTimer m_editorTimer;

    int m_timerId = 0;
    int m_activeList = 0;
    int m_topPosition = 0;
    int m_bottomPosition = 0;
    int m_highlightedTopRow = -1;
    Colorref m_savedTextColor = 0;
    Colorref m_savedBackColor = 0;
    std::string m_lastScannedFolder;

    std::string m_installDir;
    std::string m_launchDir;
    TraceLog m_ownTrace;
    TraceLog* m_trace = &m_ownTrace;
    std::unique_ptr<CompareWorkflows> m_workflows;

    MemoryProfileStore m_ownStore;
    IProfileStore* m_store = &m_ownStore;
    std::unique_ptr<ListSearch> m_search;  // made on first use, over m_store
    MenuRunner m_menuRunner;
    std::function<void(const std::string&)> m_openFile = OpenWithDesktop;
};

}  // namespace qvr
