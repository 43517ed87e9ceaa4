// The populate-list workflow: the context from the edit boxes, the broker
// check, the listing tool, its log, and the records posted into the Top List.

#include <array>
#include <charconv>
#include <string_view>

#include "app/busy_flags.h"
#include "compare/report_sort.h"
#include "res/resource.h"
#include "workflow/compare_workflows.h"

namespace qvr {
namespace {

using namespace res;

constexpr const char* kPopulateWaitStatus = " WAIT - Processing SCM Repository for the Top List";
constexpr const char* kPopulateEnd = "CQvrCompareDlg::OnBtnGenTopScmList: END";
constexpr const char* kIncompleteStatus = " Cancelled - the list is incomplete.";
constexpr int kTopPathColumn = 2;
// The record field the Path column shows.
constexpr int kRecordPathField = kTopPathColumn - 1;
// The count box follows the posting only every so many rows.
constexpr int kCountInterval = 1000;

// Record numbers are zero-padded to at least four digits.
std::string RecordNumberText(int number) {
    char digits[16];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, number);
    std::string text(digits, end);
    // Zeros go after a sign, as the printf width does.
    if (text.size() < 4) text.insert(number < 0 ? 1 : 0, 4 - text.size(), '0');
    return text;
}

}  // namespace

void CompareWorkflows::OnBtnGenTopScmList() {
    m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenTopScmList: START");
    WaitCursorScope cursor(m_parts.view);
    // The running start has turned the caption into "Cancel" (or the blink
    // has blanked it): any caption but the idle one means this click cancels.
    if (Text(IDC_GEN_TOP) == kPopulateCaption) {
        StartPopulate();
    } else {
        CancelPopulate();
    }
}

void CompareWorkflows::StartPopulate() {
    IWorkflowView& view = m_parts.view;
    m_populateFailed = true;
    // The lock is the report's when the report runs this populate.
    const bool ownLock = !m_installLock.Held();
    struct ReleaseAtEnd {
        ~ReleaseAtEnd() {
            if (own) lock.Release();
        }
        RunLock& lock;
        bool own;
    } releaseAtEnd{m_installLock, ownLock};
    SetText(IDC_GEN_TOP, kCancelCaption);
    m_parts.trace.WriteTraceLine(
        "OnSearchBtn: START The \"Populate List from Quorvan Repository\" button was clicked");
    g_populateInProgress = 1;
    view.DisableForRun();
    SetText(IDC_TOPCOUNT, "");
    SetStatus(kPopulateWaitStatus);
    view.StartBlinkTimer();
    if (!ContextIsComplete()) return;
    if (!LockFolder(m_installLock, m_parts.installDir)) {
        view.StopBlinkTimer();
        ShowGuardFailure();
        EndPopulateRun(" Error: " + m_guardFailure);
        return;
    }

    if (m_bridge.CheckForBroker() == 0) {
        FailPopulate("Unable to Connect to the Broker", true, m_bridge.BrokerErrorLine());
        return;
    }
    if (m_bridge.RunVLX() <= 0) {
        FailPopulate("Execute RUNVLX Failed", false);
        return;
    }
    ReadAndPostListing();
}

// Reads the context from the edit boxes and checks it; a run that cannot go
// on is ended here.
bool CompareWorkflows::ContextIsComplete() {
    ScmContext& context = m_parts.settings.context;
    context.userId = Text(IDC_USERID);
    context.password = Text(IDC_PASSWORD);
    context.broker = Text(IDC_BROKER);
    context.package = Text(IDC_PACKAGE);
    context.project = Text(IDC_PROJECT);
    context.state = Text(IDC_STATE);
    TakeTempPathFromBox();

    const char* missing = context.project.empty() ? "Project name is required."
                          : context.state.empty() ? "State name is required."
                                                  : nullptr;
    if (missing) {
        m_parts.view.StopBlinkTimer();
        m_parts.messages.MessageBox(missing, MbButtons::Ok, MbIcon::None);
        EndPopulateRun(" Ready");
        return false;
    }
    if (context.broker.empty() || context.userId.empty() || context.password.empty()) {
        m_parts.view.StopBlinkTimer();
        EndPopulateRun(" Error: Part of context is not set (not including Package)");
        m_parts.trace.WriteTraceLine(kPopulateEnd);
        return false;
    }
    return true;
}

// The common end of every populate run: flag cleared, caption back, the
// final status shown and the window unlocked.
void CompareWorkflows::EndPopulateRun(const std::string& status) {
    g_populateInProgress = 0;
    SetText(IDC_GEN_TOP, kPopulateCaption);
    SetStatus(status);
    m_parts.view.EnableAfterRun();
}

// A step that failed before the listing was read. When the run was
// cancelled meanwhile the failure is the cancel's doing and is not reported.
void CompareWorkflows::FailPopulate(const std::string& failure, bool blankRows, const std::string& toolLine) {
    m_parts.view.StopBlinkTimer();
    std::string status = " Ready";
    if (g_populateInProgress) {
        m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenTopScmList: END Error: " + failure);
        status = " Error: " + failure;
        SetStatus(status);
        // The tool's own reason, when it gave one, goes below the failure.
        std::string text = "Error: " + failure + ".";
        if (!toolLine.empty()) text += "\n\n" + toolLine;
        m_parts.messages.MessageBox(text, MbButtons::Ok, MbIcon::Stop);
    }
    if (blankRows) AddBlankRows(m_parts.topList, kBlankTopRows);
    EndPopulateRun(status);
}

void CompareWorkflows::ReadAndPostListing() {
    IWorkflowView& view = m_parts.view;
    m_parts.topList.RemoveAllRows();
    view.RepaintTopList();

    std::string errorText;
    const int count = m_bridge.ReadVlxLog(errorText);
    if (count == 0) {
        // An empty listing is an answer; an unreadable or failed one is not.
        m_populateFailed = !g_populateInProgress || !errorText.empty() || m_bridge.VlxLogUnreadable();
        view.StopBlinkTimer();
        AddBlankRows(m_parts.topList, kBlankTopRows);
        std::string status = " Ready";
        if (g_populateInProgress && !errorText.empty()) {
            m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenTopScmList: END Read Vlx.log Error: " +
                                         errorText);
            status = " Error: Read vlx.log Failed";
            SetStatus(status);
            m_parts.messages.MessageBox("Error: " + errorText, MbButtons::Ok, MbIcon::Stop);
        }
        EndPopulateRun(status);
        return;
    }
    PostTopList();
    // A report that runs this populate prepares its own rule next.
    if (g_populateInProgress && !g_reportInProgress) RefreshCounterpartsForTopList();
    m_populateFailed = !g_populateInProgress;
    view.StopBlinkTimer();
    // A Cancel while the rows were posted leaves a part of the listing, not
    // sorted: the status says so instead of inviting a report on it.
    if (!g_populateInProgress && CountFilledRows(m_parts.topList) > 0) {
        EndPopulateRun(kIncompleteStatus);
        m_parts.trace.WriteTraceLine(kPopulateEnd);
        return;
    }
    EndPopulateRun(
        " Ready - Set Show New or Show Different Files or both, then click the \"Generate Local Files "
        "Compare Report\" button.");
    m_parts.trace.WriteTraceLine(kPopulateEnd);
}

void CompareWorkflows::CancelPopulate() {
    m_parts.view.StopBlinkTimer();
    g_populateInProgress = 0;
    // The listing tool this run waits for must not write its log into the
    // next run: it is ended before the window is unlocked.
    m_bridge.GetLauncher().EndAbandonedTools();
    m_parts.trace.WriteTraceLine("OnSearchBtn: END The \"Cancel\" button was clicked");
    SetStatus(" Ready");
    SetText(IDC_GEN_TOP, kPopulateCaption);
    if (CountFilledRows(m_parts.topList) == 0) AddBlankRows(m_parts.topList, kBlankTopRows);
    m_parts.view.EnableAfterRun();
    m_parts.trace.WriteTraceLine(kPopulateEnd);
}

void CompareWorkflows::PostTopList() {
    m_parts.trace.WriteTraceLine("CQvrCompareDlg::PostTopList START");
    CMapStrToFObj& records = m_parts.topRecords;
    if (records.GetCount() == 0) return;
    ReportTable& top = m_parts.topList;
    top.RemoveAllRows();
    SetText(IDC_TOPCOUNT, "");
    m_postedCountText.clear();

    // The order by path is worked out while the rows go in. Every record
    // goes to the top, so counted from the last row the rows hold the
    // records in their order.
    AdvanceSortOrder byPath({kTopPathColumn, -1, true});
    byPath.Start(static_cast<std::size_t>(records.GetCount()), records.TextBytesAtMost(),
                 [&records](std::size_t first, std::size_t last, const auto& take) {
                     for (std::size_t k = first; k < last; ++k) {
                         take(records.FieldsAt(static_cast<int>(k)).Field(kRecordPathField));
                     }
                 });

    // The window stays usable between rows and a Cancel stops the posting
    // after the current one. A record leaves the map once it is a row, so a
    // long listing is never held twice.
    int number = 0;
    while (records.GetCount() > 0) {
        PostRecord(records.FirstFields(), ++number);
        records.RemoveFirst();
        if (number % kCountInterval == 0) {
            m_postedCountText = std::to_string(number);
            SetText(IDC_TOPCOUNT, m_postedCountText);
            m_parts.pump.PumpPaintMessages();
        }
        m_parts.pump.PumpMessages();
        if (!g_populateInProgress) break;
    }

    const int count = CountFilledRows(top);
    if (g_populateInProgress && count > 0) {
        SetStatus(" WAIT - Sorting Top List by Path");
        {
            WaitCursorScope cursor(m_parts.view);
            // The window stays alive while the order is worked out; a Cancel
            // meanwhile leaves the rows as they were posted.
            byPath.SortWhilePumping(top, m_parts.pump, &g_populateInProgress);
        }
    } else if (g_populateInProgress) {
        AddBlankRows(top, kBlankTopRows);
    }
    if (count > 0) {
        m_postedCountText = std::to_string(count);
        SetText(IDC_TOPCOUNT, m_postedCountText);
    }
    m_parts.trace.Trace("CQvrCompareDlg::PostTopList END  Count=%s", m_postedCountText.c_str());
}

void CompareWorkflows::PostRecord(const RepoFileFields& record, int number) {
    // The record number, then the record's fields in column order.
    const std::string numberText = RecordNumberText(number);
    std::array<std::string_view, RepoFileRecord::kFieldCount + 1> texts;
    texts[0] = numberText;
    for (int field = 0; field < RepoFileRecord::kFieldCount; ++field) {
        texts[static_cast<std::size_t>(field) + 1] = record.Field(field);
    }
    m_parts.topList.InsertItem(0, texts);
}

}  // namespace qvr
