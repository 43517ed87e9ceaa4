#pragma once
// The commands of the two list context menus: open the focused row's file in
// the difference viewer, the editor, the hex viewer or the application the
// platform associates with it. Top List files are repository files, opened as
// their checked-out copies (checked out on demand); Bottom List files are the
// local files themselves. The viewers are outside programs started in the
// foreground without waiting. No Qt here: the window supplies the services.

#include <functional>
#include <string>
#include <vector>

#include "app/message_box_host.h"
#include "app/message_pump.h"
#include "app/settings.h"
#include "app/trace.h"
#include "compare/report_table.h"

namespace qvr {

class ScmBridge;
class IWaitCursor;
class Classifier;

// Menu commands.
inline constexpr int kTopMenuId = 2500;
inline constexpr int kBottomMenuId = 2600;
inline constexpr int kTopWinDiff = 2510;
inline constexpr int kTopEditor = 2520;
inline constexpr int kTopHexViewer = 2530;
inline constexpr int kTopDefaultApp = 2540;
inline constexpr int kBottomWinDiff = 2610;
inline constexpr int kBottomEditor = 2620;
inline constexpr int kBottomHexViewer = 2630;
inline constexpr int kBottomDefaultApp = 2640;

struct ViewerMenuItem {
    int command;
    const char* text;
    bool enabled;  // when the menu is shown; every item is created disabled
};

// The items of the top (2500) and bottom (2600) menus, in menu order. The
// top menu's "WinDiff..." is shown but can never be chosen.
const std::vector<ViewerMenuItem>& TopMenuItems();
const std::vector<ViewerMenuItem>& BottomMenuItems();

enum class ViewerMenu { None, Top, Bottom };

// Which menu a context-menu request shows: the top menu for a request from
// the Top List, the bottom menu for one from anywhere else; none when that
// list has no filled first row.
ViewerMenu MenuForRequest(bool fromTopList, const ReportTable& top, const ReportTable& bottom);

// What the commands start. The window starts real programs; tests record.
class IViewerServices {
public:
    virtual ~IViewerServices() = default;
    // LaunchTask of the process launcher (reports its own failures).
    virtual int LaunchTask(const std::string& commandLine, int foreground) = 0;
    // Checks one repository item out for browse into the temp path and reads
    // the checkout log; true when the copy is there to open.
    virtual bool CheckOutForBrowse(const std::string& tempPath, const std::string& item) = 0;
    // The platform's default action on a file; failures are not reported.
    virtual void OpenWithDefaultApplication(const std::string& path) = 0;
    virtual void BeginWaitCursor() {}
    virtual void EndWaitCursor() {}
    // The editor the last LaunchTask started works on this local file; the
    // window refreshes the file's row again when the editor has closed.
    virtual void EditorStarted(const std::string& /*localFile*/) {}
};

// The window's state the commands read (and, for the editor, the Bottom List
// row they refresh).
struct ViewerContext {
    ReportTable& top;
    ReportTable& bottom;
    const ScmContext& context;
    const CommandTemplates& templates;
    const DisplayOptions& display;
    TraceLog& trace;
    IMessageBoxHost& messages;
    IMessagePump& pump;
};

// ---- command lines ----

// "CrystalEdit" / "HexViewer" with the file quoted.
std::string EditorCommandLine(const std::string& file);
std::string HexViewerCommandLine(const std::string& file);
// The difference viewer: DiffPgm used as the format when it holds a quoted
// placeholder, else DiffPgm followed by both files quoted.
std::string DiffCommandLine(const std::string& diffPgm, const std::string& localFile,
                            const std::string& copy);
// Why a New file cannot be compared, naming the package when one is given.
std::string NewFileRefusalMessage(const std::string& package);

// The repository item of a Top List row: "Path\\File" in the SCM's form.
std::string RepositoryItemOf(const ReportTable& top, int row);
// The local file of a Bottom List row: its Path (ending in a separator) and File.
std::string LocalFileOf(const ReportTable& bottom, int row);

class ViewerCommands {
public:
    ViewerCommands(const ViewerContext& state, IViewerServices& services);

    // Commands 2520 to 2540 on the Top List row that has the focus; nothing
    // when no row has it (-1). 2510 does nothing.
    void OnTopListCommand(int command, int focusedRow);
    // Commands 2610 to 2640 on the Bottom List row that has the focus.
    void OnBottomListCommand(int command, int focusedRow);
    // Shows a Bottom List row's file as it is now: size, date and, when
    // different files are shown, Same or Diff.
    void RefreshRow(int row);
    // The counterparts the last report paired the local files with; without
    // it a row's counterpart is the first Top List row of the same name.
    void UseCounterparts(Classifier& classifier) { m_counterparts = &classifier; }

private:
    void OpenTopRow(int command, int row);
    void RunDiffViewer(int row);
    // A Missing row has no local file: the viewers show the repository
    // file's checked-out copy instead (checked out when it is not there).
    void ShowMissingRow(int command, int row);
    void EditAndRefresh(int row);
    void RefreshStatus(int row, const std::string& localFile);
    int CounterpartOf(const std::string& localFile);
    std::string CopyPathFor(int topRow);

    ViewerContext m_state;
    IViewerServices& m_services;
    Classifier* m_counterparts = nullptr;
};

// The window's services over the SCM bridge's launcher and checkout. open is
// the platform's default action on a file.
class ScmViewerServices final : public IViewerServices {
public:
    ScmViewerServices(ScmBridge& bridge, std::function<void(const std::string&)> open,
                      IWaitCursor* waitCursor = nullptr);
    int LaunchTask(const std::string& commandLine, int foreground) override;
    bool CheckOutForBrowse(const std::string& tempPath, const std::string& item) override;
    void OpenWithDefaultApplication(const std::string& path) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void EditorStarted(const std::string& localFile) override;
    // Told the process id and file of every editor started.
    void SetEditorWatch(std::function<void(std::uint32_t, const std::string&)> watch) {
        m_editorWatch = std::move(watch);
    }

private:
    ScmBridge& m_bridge;
    std::function<void(std::uint32_t, const std::string&)> m_editorWatch;
    std::function<void(const std::string&)> m_open;
    IWaitCursor* m_waitCursor;
};

}  // namespace qvr
