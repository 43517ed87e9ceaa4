#include "ui/viewer_commands.h"

#include "app/path.h"
#include "app/platform.h"
#include "compare/classifier.h"
#include "compare/file_compare.h"
#include "compare/file_exception.h"
#include "compare/repository_key_index.h"
#include "scm/command_line.h"
#include "scm/scm_bridge.h"

namespace qvr {
namespace {

constexpr int kForeground = 1;
constexpr const char* kQuotedPlaceholder = "\"%s\"";

// Top List columns used here.
constexpr int kTopFile = 1;
constexpr int kTopPath = 2;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

class WaitCursorGuard {
public:
    explicit WaitCursorGuard(IViewerServices& services) : m_services(services) { m_services.BeginWaitCursor(); }
    ~WaitCursorGuard() { m_services.EndWaitCursor(); }
    WaitCursorGuard(const WaitCursorGuard&) = delete;
    WaitCursorGuard& operator=(const WaitCursorGuard&) = delete;

private:
    IViewerServices& m_services;
};

bool HasFilledFirstRow(const ReportTable& table) {
    return table.GetItemCount() > 0 && !table.GetItemText(0, 0).empty();
}

// A copy left by an earlier checkout is opened as it is; an empty one is
// what a failed checkout leaves, so it is checked out again.
bool CopyIsThere(const std::string& copy, TraceLog& trace) {
    int error = 0;
    return FileSizeOf(copy, error, &trace) != 0;
}

}  // namespace

const std::vector<ViewerMenuItem>& TopMenuItems() {
    static const std::vector<ViewerMenuItem> items{
        {kTopWinDiff, "WinDiff...", false},
        {kTopEditor, "Open in Crystaledit...", true},
        {kTopHexViewer, "Open in HexViewer...", true},
        {kTopDefaultApp, "Open in Default Assoc...", true},
    };
    return items;
}

const std::vector<ViewerMenuItem>& BottomMenuItems() {
    static const std::vector<ViewerMenuItem> items{
        {kBottomWinDiff, "WinDiff...", true},
        {kBottomEditor, "Open in Crystaledit...", true},
        {kBottomHexViewer, "Open in HexViewer...", true},
        {kBottomDefaultApp, "Open in Default Assoc...", true},
    };
    return items;
}

ViewerMenu MenuForRequest(bool fromTopList, const ReportTable& top, const ReportTable& bottom) {
    if (fromTopList) return HasFilledFirstRow(top) ? ViewerMenu::Top : ViewerMenu::None;
    return HasFilledFirstRow(bottom) ? ViewerMenu::Bottom : ViewerMenu::None;
}

std::string EditorCommandLine(const std::string& file) {
    return FormatCommandTemplate("CrystalEdit \"%s\"", {file});
}

std::string HexViewerCommandLine(const std::string& file) {
    return FormatCommandTemplate("HexViewer \"%s\"", {file});
}

std::string DiffCommandLine(const std::string& diffPgm, const std::string& localFile, const std::string& copy) {
    if (Contains(diffPgm, kQuotedPlaceholder)) return FormatCommandTemplate(diffPgm, {localFile, copy});
    return diffPgm + " \"" + DoubleQuotes(localFile) + "\" \"" + DoubleQuotes(copy) + "\"";
}

std::string NewFileRefusalMessage(const std::string& package) {
    if (package.empty() || package == "*") {
        return "Cannot run windiff on a 'New' file because it does not exist in the Quorvan repository.";
    }
    return "Cannot run windiff on a 'New' file because it does not exist in the Quorvan package '" + package +
           "'.";
}

std::string RepositoryItemOf(const ReportTable& top, int row) {
    std::string item(top.GetItemText(row, kTopPath));
    item += '\\';
    item += top.GetItemText(row, kTopFile);
    return item;
}

std::string LocalFileOf(const ReportTable& bottom, int row) {
    std::string file(bottom.GetItemText(row, BottomPath));
    file += bottom.GetItemText(row, BottomFile);
    return file;
}

ViewerCommands::ViewerCommands(const ViewerContext& state, IViewerServices& services)
    : m_state(state), m_services(services) {}

void ViewerCommands::OnTopListCommand(int command, int focusedRow) {
    if (focusedRow < 0 || focusedRow >= m_state.top.GetItemCount()) return;
    if (command == kTopEditor || command == kTopHexViewer || command == kTopDefaultApp) {
        WaitCursorGuard wait(m_services);
        OpenTopRow(command, focusedRow);
    }
}

void ViewerCommands::OnBottomListCommand(int command, int focusedRow) {
    if (focusedRow < 0 || focusedRow >= m_state.bottom.GetItemCount()) return;
    if (m_state.bottom.GetItemText(focusedRow, BottomStatus) == "Missing") {
        WaitCursorGuard wait(m_services);
        ShowMissingRow(command, focusedRow);
        return;
    }
    switch (command) {
    case kBottomWinDiff: {
        WaitCursorGuard wait(m_services);
        RunDiffViewer(focusedRow);
        return;
    }
    case kBottomEditor: EditAndRefresh(focusedRow); return;
    case kBottomHexViewer:
        m_services.LaunchTask(HexViewerCommandLine(LocalFileOf(m_state.bottom, focusedRow)), kForeground);
        return;
    case kBottomDefaultApp: m_services.OpenWithDefaultApplication(LocalFileOf(m_state.bottom, focusedRow)); return;
    default: return;
    }
}

void ViewerCommands::OpenTopRow(int command, int row) {
    const std::string item = RepositoryItemOf(m_state.top, row);
    const std::string copy = CopyPathFor(row);
    if (!CopyIsThere(copy, m_state.trace) && !m_services.CheckOutForBrowse(m_state.context.tempPath, item)) return;
    if (command == kTopEditor) m_services.LaunchTask(EditorCommandLine(copy), kForeground);
    if (command == kTopHexViewer) m_services.LaunchTask(HexViewerCommandLine(copy), kForeground);
    if (command == kTopDefaultApp) m_services.OpenWithDefaultApplication(copy);
}

void ViewerCommands::ShowMissingRow(int command, int row) {
    const std::string localFile = LocalFileOf(m_state.bottom, row);
    if (command == kBottomWinDiff) {
        m_state.messages.MessageBox("There is no local file to compare: " + localFile + " is missing locally.",
                                    MbButtons::Ok, MbIcon::Exclamation);
        return;
    }
    const int counterpart = CounterpartOf(localFile);
    if (counterpart < 0) {
        m_state.messages.MessageBox("No repository file in the Top List for " + localFile + ".", MbButtons::Ok,
                                    MbIcon::Exclamation);
        return;
    }
    const int topCommand = command == kBottomHexViewer    ? kTopHexViewer
                           : command == kBottomDefaultApp ? kTopDefaultApp
                                                          : kTopEditor;
    OpenTopRow(topCommand, counterpart);
}

void ViewerCommands::RunDiffViewer(int row) {
    const std::string status = platform::UpperAscii(m_state.bottom.GetItemText(row, BottomStatus));
    if (!Contains(status, "DIFF") && !Contains(status, "SAME")) {
        m_state.messages.MessageBox(NewFileRefusalMessage(m_state.context.package), MbButtons::Ok,
                                    MbIcon::Exclamation);
        return;
    }
    const std::string localFile = LocalFileOf(m_state.bottom, row);
    const int counterpart = CounterpartOf(localFile);
    if (counterpart < 0) return;
    // The copy the compare report checked out; it is not checked out here.
    const std::string command = DiffCommandLine(m_state.templates.diffPgm, localFile, CopyPathFor(counterpart));
    m_state.trace.WriteTraceLine(command);
    m_services.LaunchTask(command, kForeground);
}

void ViewerCommands::EditAndRefresh(int row) {
    const std::string localFile = LocalFileOf(m_state.bottom, row);
    if (m_services.LaunchTask(EditorCommandLine(localFile), kForeground) >= 0) {
        m_services.EditorStarted(localFile);
    }
    RefreshRow(row);
}

void ViewerCommands::RefreshRow(int row) {
    if (row < 0 || row >= m_state.bottom.GetItemCount()) return;
    const std::string localFile = LocalFileOf(m_state.bottom, row);
    Classifier classifier(m_state.top, m_state.bottom, m_state.context, m_state.display, m_state.pump);
    // Copies: filling the row changes the texts they come from.
    classifier.FillSizeAndDate(row, std::string(m_state.bottom.GetItemText(row, BottomFile)),
                               std::string(m_state.bottom.GetItemText(row, BottomPath)));
    if (m_state.display.showDiffFiles) RefreshStatus(row, localFile);
}

void ViewerCommands::RefreshStatus(int row, const std::string& localFile) {
    const int counterpart = CounterpartOf(localFile);
    if (counterpart < 0) return;
    const std::string copy = CopyPathFor(counterpart);
    try {
        const bool same = FilesHaveSameChecksum(copy, localFile) == 1;
        m_state.bottom.SetItemText(row, BottomStatus, same ? "Same" : "Diff");
        // The colour goes with the status, as the report lists it.
        m_state.bottom.SetCellTextColor(row, BottomStatus, same ? kSameColor : kDiffColor, true);
    } catch (const CFileException& error) {
        // A copy or file that cannot be read leaves the status as it was.
        m_state.messages.MessageBox("Unable to read: " + error.FileName(), MbButtons::Ok, MbIcon::Exclamation);
    }
}

int ViewerCommands::CounterpartOf(const std::string& localFile) {
    if (m_counterparts != nullptr) return m_counterparts->CounterpartOf(localFile);
    Classifier classifier(m_state.top, m_state.bottom, m_state.context, m_state.display, m_state.pump);
    return FindCounterpartByScan(m_state.top, classifier.LocalKeyInOwnCase(localFile));
}

std::string ViewerCommands::CopyPathFor(int topRow) {
    Classifier classifier(m_state.top, m_state.bottom, m_state.context, m_state.display, m_state.pump);
    return classifier.CopyPathFor(topRow);
}

ScmViewerServices::ScmViewerServices(ScmBridge& bridge, std::function<void(const std::string&)> open,
                                     IWaitCursor* waitCursor)
    : m_bridge(bridge), m_open(std::move(open)), m_waitCursor(waitCursor) {}

int ScmViewerServices::LaunchTask(const std::string& commandLine, int foreground) {
    return m_bridge.GetLauncher().LaunchTask(commandLine, foreground);
}

bool ScmViewerServices::CheckOutForBrowse(const std::string& tempPath, const std::string& item) {
    if (m_bridge.RunVgtFile(tempPath, item) == 0) return false;
    std::string errorLine;
    return m_bridge.ReadVgtLog(errorLine) == 1;
}

void ScmViewerServices::OpenWithDefaultApplication(const std::string& path) {
    if (m_open) m_open(path);
}

void ScmViewerServices::BeginWaitCursor() {
    if (m_waitCursor) m_waitCursor->BeginWaitCursor();
}

void ScmViewerServices::EndWaitCursor() {
    if (m_waitCursor) m_waitCursor->EndWaitCursor();
}

void ScmViewerServices::EditorStarted(const std::string& localFile) {
    const std::uint32_t processId = m_bridge.GetLauncher().LastProcessId();
    if (m_editorWatch && processId != 0) m_editorWatch(processId, localFile);
}

}  // namespace qvr
