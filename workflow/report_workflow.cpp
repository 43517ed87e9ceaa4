// The compare-report workflow: a fresh Top List, the checkout for browse,
// the scan of the local path with every accepted file classified into the
// Bottom List, and the list sorted by path.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "app/busy_flags.h"
#include "app/path.h"
#include "app/platform.h"
#include "compare/report_sort.h"
#include "compare/wildcard.h"
#include "res/resource.h"
#include "workflow/compare_workflows.h"

namespace qvr {
namespace {

using namespace res;

constexpr const char* kReportWaitStatus = " WAIT - Processing Local Files report for the Bottom List";
constexpr const char* kCheckoutFailedStatus = " Error: SCM Checkout for Browse Failed - review vgt.log.";
constexpr const char* kFireButton =
    "CQvrCompareDlg::OnBtnGenBtmReport: FIRE BUTTON: Populate List from Quorvan Repository";
constexpr int kBottomPathColumn = 2;
constexpr int kBottomFileColumn = 1;
constexpr const char* kLocalPathNotFoundStatus = " Error: Local Path not found - check the Local Path.";
constexpr const char* kIncompleteStatus = " Cancelled - the list is incomplete.";
constexpr const char* kContextNotSetStatus = " Error: Part of context is not set (not including Package)";

// Where the checkout put the first Top List file: the temp path, the row's
// path without its leading backslash, and its file name. The repository's
// backslashes are folder separators here.
std::string FirstCopyPath(const ReportTable& top, const std::string& tempPath) {
    std::string path(top.GetItemText(0, 2));
    if (!path.empty() && path.front() == '\\') path.erase(0, 1);
    std::string copy = platform::JoinPath(platform::JoinPath(tempPath, path), top.GetItemText(0, 1));
    if constexpr (!platform::kIsWindows) {
        for (std::size_t at = tempPath.size(); at < copy.size(); ++at) {
            if (copy[at] == '\\') copy[at] = platform::kSeparator;
        }
    }
    return copy;
}

// Size of a checked-out copy; anything but a readable regular file (a
// missing copy, a folder in its place) counts as empty.
std::uint64_t CopySize(const std::string& copy, TraceLog& trace) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(copy, ec)) return 0;
    int error = 0;
    return FileSizeOf(copy, error, &trace);
}

// The Top List's File and Path columns, row for row, into copy: what the
// counterpart rule reads of the list, for a thread of its own.
void CopyTopListKeys(const ReportTable& top, ReportTable& copy) {
    copy.ApplyColumnSpec("Record;File;Path");
    for (int row = 0; row < top.GetItemCount(); ++row) {
        const std::string_view texts[] = {std::string_view(), top.GetItemText(row, 1), top.GetItemText(row, 2)};
        copy.InsertItem(row, texts);
    }
}

}  // namespace

void CompareWorkflows::OnBtnGenBtmReport() {
    m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: START");
    SetStatus(kReportWaitStatus);
    WaitCursorScope cursor(m_parts.view);

    ScmContext& context = m_parts.settings.context;
    context.localPath = Text(IDC_LOCALPATH);
    if (context.localPath.empty()) {
        m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: Local Path cannot be blank");
        SetStatus(" Local Path cannot be blank.");
        m_parts.messages.MessageBox("Local Path is blank.", MbButtons::Ok, MbIcon::Exclamation);
        return;
    }
    // A blank box would reuse the temp folder of an earlier run, which may
    // hold another repository's copies.
    if (Text(IDC_GEN_BTM) == kReportCaption && Text(IDC_TEMPPATH).empty()) {
        m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: Temp Directory cannot be blank");
        SetStatus(" Temp Directory cannot be blank.");
        m_parts.messages.MessageBox("Temp Directory is blank.", MbButtons::Ok, MbIcon::Exclamation);
        return;
    }
    // "Cancel", or the blank caption of the blink: this click cancels.
    if (Text(IDC_GEN_BTM) != kReportCaption) {
        CancelReport();
        return;
    }
    StartReport();
}

void CompareWorkflows::CancelReport() {
    m_parts.view.StopBlinkTimer();
    m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: The \"Cancel\" button was clicked");
    // The checkout this run waits for must not go on writing copies into the
    // temp folder the next run reads: it is ended before the window is
    // unlocked.
    g_reportInProgress = 0;
    m_bridge.GetLauncher().EndAbandonedTools();
    SetStatus(" Ready");
    FinishReport();
}

void CompareWorkflows::ClearBottomListAfterFailure() {
    m_parts.bottomList.RemoveAllRows();
    AddBlankRows(m_parts.bottomList, kBlankBottomRows);
    SetText(IDC_BTMCOUNT, "");
}

bool CompareWorkflows::TakeCheckoutContext() {
    // The criteria are unchanged (or the list was just refreshed from these
    // boxes); the password is read now, not kept from an earlier click.
    ScmContext& context = m_parts.settings.context;
    context.password = Text(IDC_PASSWORD);
    if (!context.broker.empty() && !context.userId.empty() && !context.password.empty()) return true;
    m_parts.view.StopBlinkTimer();
    m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: END Error: Part of context is not set");
    ClearBottomListAfterFailure();
    EndReportRun(kContextNotSetStatus);
    return false;
}

void CompareWorkflows::StartReport() {
    IWorkflowView& view = m_parts.view;
    // The folders the compares kept open must not outlive the run, however
    // it ends: they would keep a removable drive or the temp folder busy.
    // Compares still running are dropped with their folders.
    struct CloseFoldersAtEnd {
        ~CloseFoldersAtEnd() {
            classifier.AbandonPendingFiles();
            classifier.ForgetOpenDirectories();
        }
        Classifier& classifier;
    } closeFolders{m_classifier};
    // The run's locks go with it, however it ends.
    struct ReleaseLocksAtEnd {
        ~ReleaseLocksAtEnd() { workflows.ReleaseRunLocks(); }
        CompareWorkflows& workflows;
    } releaseLocks{*this};
    SetText(IDC_GEN_BTM, kCancelCaption);
    m_parts.trace.WriteTraceLine(
        "OnSearchBtn: START The \"Generate Local Files Compare Report\" button was clicked");
    g_reportInProgress = 1;
    TakeTempPathFromBox();
    if (!TakeLocalPath()) return;
    if (!GuardReportFolders()) {
        EndReportRun(" Error: " + m_guardFailure);
        ShowGuardFailure();
        return;
    }
    // A failed populate has said why; a report against the list it left
    // would call every local file New.
    if (!RefreshTopListIfStale()) {
        m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: END Error: Populate Failed");
        EndReportRun(Text(IDC_STATUS));
        return;
    }
    view.DisableForRun();
    view.StartBlinkTimer();

    bool copiesChecked = true;
    // Same needs fresh copies as much as Diff does: whatever an earlier run
    // left in the temp folder may be stale.
    const DisplayOptions& display = m_parts.settings.display;
    // An early listing not taken by the scan ends with the run.
    struct StopEarlyListing {
        ~StopEarlyListing() { workflows.FinishEarlyListing(false); }
        CompareWorkflows& workflows;
    } stopEarlyListing{*this};
    if (display.showDiffFiles || display.showSameFiles) {
        if (g_reportInProgress && !TakeCheckoutContext()) return;
        // One file at a time means no work beside the checkout either.
        if (m_classifier.ComparesOnThreads()) StartEarlyListing();
        if (!CheckOutForBrowse()) return;
        copiesChecked = !CheckoutCopyIsEmpty();
    }
    if (copiesChecked) {
        m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: RunVgt was successful");
        SetStatus(" Ready - RunVgt was successful.");
    }
    std::string folderNote;
    try {
        ScanAndClassify();
        if (g_reportInProgress) {
            folderNote = NoteRepositoryFolder();
            ClassifyListedFiles();
        }
    } catch (const CFileException& error) {
        ReportFileError(error);
        return;
    }
    // The listing and what was read ahead are done with: the sort and the
    // export of a large list need the room.
    m_scanner.ClearPaths();
    m_early.digests = std::vector<LocalDigest>();
    const bool cancelled = !g_reportInProgress;
    if (!cancelled && display.showMissingFiles && m_classifier.Counterparts().HasFolder()) {
        const int missing = m_classifier.AddMissingRows();
        m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: " + std::to_string(missing) +
                                     " repository file(s) missing locally");
    }
    if (!m_lookupsAfterReport) m_classifier.ForgetCounterparts();
    ListScanResult(cancelled ? std::string() : folderNote);
    if (cancelled) {
        // What the scan had listed stays, sorted; the status says it is a part.
        if (CountFilledRows(m_parts.bottomList) > 0) SetStatus(kIncompleteStatus);
    } else {
        WarnAboutUnreadFolders();
    }
}

// The local path is made absolute once, here, and that one text is what the
// run changes into, scans and cuts from the keys, what the box shows and the
// folder chooser offers next: a relative path is never taken relative to
// itself after the change of directory. A path that leads to no folder ends
// the run before anything is checked out or scanned, since an empty scan
// would read as "nothing changed".
bool CompareWorkflows::TakeLocalPath() {
    ScmContext& context = m_parts.settings.context;
    context.localPath =
        AbsolutePathFrom(context.localPath, m_launchDir.empty() ? platform::CurrentDirectory() : m_launchDir);
    SetText(IDC_LOCALPATH, context.localPath);
    platform::FileFacts facts;
    int error = 0;
    if (platform::StatPath(context.localPath, facts, error) && facts.isDirectory) return true;
    m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: END Error: Local Path not found: " +
                                 context.localPath);
    ClearBottomListAfterFailure();
    EndReportRun(kLocalPathNotFoundStatus);
    m_parts.messages.MessageBox("Local Path not found: " + context.localPath, MbButtons::Ok, MbIcon::Stop);
    return false;
}

// The Top List must show the context now in the edit boxes: an empty list or
// changed criteria (the password aside) run the populate workflow first,
// whatever its outcome.
bool CompareWorkflows::RefreshTopListIfStale() {
    if (CountFilledRows(m_parts.topList) == 0) {
        m_parts.trace.WriteTraceLine(kFireButton);
    } else if (TopListCriteriaChanged()) {
        m_parts.trace.WriteTraceLine(std::string(kFireButton) + " (SCM Criteria has changed!)");
    } else {
        return true;
    }
    OnBtnGenTopScmList();
    return !m_populateFailed;
}

bool CompareWorkflows::TopListCriteriaChanged() {
    const ScmContext& last = m_parts.settings.context;
    return Text(IDC_BROKER) != last.broker || Text(IDC_USERID) != last.userId ||
           Text(IDC_PROJECT) != last.project || Text(IDC_STATE) != last.state ||
           Text(IDC_PACKAGE) != last.package;
}

// Checks the repository out into the temp path and reads its log. False when
// the run ended here (failure or Cancel).
bool CompareWorkflows::CheckOutForBrowse() {
    IWorkflowView& view = m_parts.view;
    if (m_bridge.RunVgt() == 0) {
        view.StopBlinkTimer();
        if (g_reportInProgress) {
            m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: END Error: RunVgt Failed");
            ClearBottomListAfterFailure();
            EndReportRun(kCheckoutFailedStatus);
        } else {
            m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: \"Cancel\" button was clicked");
            EndReportRun(" Ready");
        }
        return false;
    }
    // A log reporting failed items does not stop the report; only a log that
    // cannot be read at all does, since nothing tells what was checked out.
    std::string line;
    m_bridge.ReadVgtLog(line);
    if (m_bridge.VgtLogUnreadable() && g_reportInProgress) {
        view.StopBlinkTimer();
        m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: END Error: Read vgt.log Failed");
        ClearBottomListAfterFailure();
        EndReportRun(kCheckoutFailedStatus);
        return false;
    }
    if (!g_reportInProgress) {
        view.StopBlinkTimer();
        EndReportRun(" Ready");
        return false;
    }
    return CheckoutLogIsBelievable();
}

// A log that claims success for nothing while the Top List holds files, or
// names copies that are not there, would have the compare read stale copies.
bool CompareWorkflows::CheckoutLogIsBelievable() {
    std::string problem;
    const int listed = CountFilledRows(m_parts.topList);
    if (m_bridge.CheckoutTotal() == 0 && listed > 0) {
        problem = "vgt.log reports no file checked out, but the Top List holds " + std::to_string(listed) + ".";
    } else if (m_bridge.MissingCopies() > 0) {
        problem = std::to_string(m_bridge.MissingCopies()) +
                  " file(s) vgt.log reports as checked out are missing: " + m_bridge.FirstMissingCopy();
    }
    if (problem.empty()) return true;
    m_parts.view.StopBlinkTimer();
    m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: END Error: " + problem);
    EndReportRun(kCheckoutFailedStatus);
    m_parts.messages.MessageBox("Checkout for Browse Error:\n\n" + problem + "\n\nReview the vgt.log.", MbButtons::Ok,
                                MbIcon::Exclamation);
    return false;
}

// An empty or missing copy of the first Top List file says the checkout did
// not deliver. The report still scans, and the window stays locked while it
// does, so no second workflow can start inside this one.
bool CompareWorkflows::CheckoutCopyIsEmpty() {
    const std::string copy = FirstCopyPath(m_parts.topList, m_parts.settings.context.tempPath);
    if (CopySize(copy, m_parts.trace) != 0) return false;
    m_parts.view.StopBlinkTimer();
    const std::string text =
        "CQvrCompareDlg::OnBtnGenBtmReport: END Error Checkout for Browse is zero size: \"" + copy + "\"";
    m_parts.trace.Trace("%s", text.c_str());
    SetStatus(text);
    // The stopped blink may have left the caption blank.
    SetText(IDC_GEN_BTM, kCancelCaption);
    return true;
}

ScanCriteria CompareWorkflows::ReportScanCriteria() const {
    ScanCriteria criteria;
    criteria.directory = m_parts.settings.context.localPath;
    criteria.patternList = "*.*";
    criteria.recurse = m_parts.settings.display.subFolders;
    criteria.filterFlags = ScanCollectPaths;
    return criteria;
}

void CompareWorkflows::StartEarlyListing() {
    FinishEarlyListing(false);
    m_scanner.ClearPaths();
    m_scanner.SetExclusions(SplitExcludePatterns(m_parts.settings.templates.excludePatterns));
    // The thread touches the scanner alone: no trace, no messages, no
    // classifier; its notes wait for the scan's place in the trace.
    m_scanner.SetCallback(
        [](CFileScan&, int, void* stop) {
            if (static_cast<std::atomic<bool>*>(stop)->load(std::memory_order_relaxed)) g_scanStop = 1;
        },
        &m_early.stop);
    m_scanner.SetNoteCallback(nullptr);
    m_scanner.SetNoteBuffer(&m_early.notes);
    m_early.notes.clear();
    m_early.stop = false;
    m_early.stopReading = false;
    m_early.done = false;
    m_early.digests.clear();
    CopyTopListKeys(m_parts.topList, m_early.topKeys);
    m_early.topChangeCount = m_parts.topList.TextChangeCount();
    m_early.namedFolder.reset();
    if (!m_parts.settings.templates.repoFolder.empty()) m_early.namedFolder = m_parts.settings.templates.repoFolder;
    m_early.prepared = false;
    m_early.thread = std::thread([this, criteria = ReportScanCriteria()]() mutable {
        platform::LowerCurrentThreadPriority();
        m_scanner.Scan(criteria);
        // The repository folder is chosen and every file paired while the
        // checkout runs; the rest of its time reads the local files ahead of
        // their compares, which then read only the copies.
        if (!m_early.stop) {
            m_classifier.PrepareCounterpartsInto(m_early.rule, m_early.topKeys, m_scanner, m_early.namedFolder);
            m_early.prepared = true;
        }
        m_early.topKeys.RemoveAllRows();
        if (!m_early.stop) Classifier::DigestLocalFiles(m_scanner, m_early.digests, m_early.stopReading);
        m_early.done = true;
    });
}

bool CompareWorkflows::FinishEarlyListing(bool keep) {
    if (!m_early.thread.joinable()) {
        if (!keep) m_early.digests = std::vector<LocalDigest>();
        return false;
    }
    m_early.stopReading = true;
    if (!keep) m_early.stop = true;
    // A large tree may still be listed when the checkout ends: the window
    // goes on repainting and can cancel meanwhile.
    while (!m_early.done) {
        if (keep && !g_reportInProgress) m_early.stop = m_early.stopReading = true;
        m_parts.pump.PumpMessages();
        if (!m_early.done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_early.thread.join();
    m_scanner.SetCallback(OnScanEvent, &m_classifier);
    m_scanner.SetNoteCallback(OnScanEvent);
    m_scanner.SetNoteBuffer(nullptr);
    if (!keep) {
        m_scanner.ClearPaths();
        m_early.digests = std::vector<LocalDigest>();
        m_early.rule = CounterpartRule();
        m_early.prepared = false;
        return false;
    }
    for (const std::string& note : m_early.notes) m_parts.trace.WriteTraceLine(note);
    m_early.notes.clear();
    return true;
}

// After a populate every row is new to the report's rule: it is made ready
// for them here, so the first click afterwards finds its counterpart at
// once instead of preparing the rule on the window's thread. The worker
// refreshes a copy, on a copy of the keys; the window may go on looking up
// with the old rule meanwhile.
void CompareWorkflows::RefreshCounterpartsForTopList() {
    const CounterpartRule& current = m_classifier.Counterparts();
    const ReportTable& top = m_parts.topList;
    if (!current.IsPrepared() || current.IsCurrentFor(top)) return;
    ReportTable keys;
    CopyTopListKeys(top, keys);
    const std::uint64_t changeCount = top.TextChangeCount();
    CounterpartRule rule = current;
    std::atomic<bool> done{false};
    std::thread worker;
    try {
        worker = std::thread([&] {
            rule.Refresh(keys);
            done = true;
        });
    } catch (const std::system_error&) {
        rule.Refresh(keys);
        done = true;
    }
    while (!done) {
        m_parts.pump.PumpMessages();
        if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (worker.joinable()) worker.join();
    // A change of the list meanwhile leaves the rule to prepare itself again.
    if (top.TextChangeCount() == changeCount) m_classifier.AdoptCounterparts(std::move(rule), changeCount);
}

void CompareWorkflows::ScanAndClassify() {
    const ScmContext& context = m_parts.settings.context;
    std::error_code ec;
    // The scan goes by the absolute path, so a folder that cannot be entered
    // is still looked at; one that cannot be listed is counted by the scan.
    std::filesystem::current_path(context.localPath, ec);

    const std::vector<std::string> exclusions = SplitExcludePatterns(m_parts.settings.templates.excludePatterns);
    m_classifier.SetExclusions(exclusions);

    m_parts.bottomList.RemoveAllRows();
    SetText(IDC_BTMCOUNT, "0");
    const bool listedEarly = FinishEarlyListing(true);
    m_parts.view.ScanStarted(context.localPath);
    if (!listedEarly) {
        m_scanner.SetExclusions(exclusions);
        m_scanner.ClearPaths();
        // The names come first, without reading a file: the repository folder
        // is chosen from all of them before the first compare.
        struct ListingOnly {
            explicit ListingOnly(Classifier& c) : classifier(c) { classifier.SetListingOnly(true); }
            ~ListingOnly() { classifier.SetListingOnly(false); }
            Classifier& classifier;
        } listing{m_classifier};
        ScanCriteria criteria = ReportScanCriteria();
        m_scanner.Scan(criteria);
    }
    if (!exclusions.empty()) {
        m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: Excluded by name: " +
                                     std::to_string(m_scanner.ExcludedFileCount()) + " file(s), " +
                                     std::to_string(m_scanner.ExcludedFolderCount()) + " folder(s)");
    }
}

void CompareWorkflows::ClassifyListedFiles() {
    const std::string* lastFolder = nullptr;
    std::string path;
    for (int i = 0; i < m_scanner.PathCount() && !g_scanStop; ++i) {
        // The compares of one folder share its open handle, as in the scan.
        const std::string& folder = m_scanner.FolderTextAt(i);
        if (&folder != lastFolder) m_classifier.ForgetOpenDirectories();
        lastFolder = &folder;
        path.assign(folder).append(m_scanner.NameAt(i));
        const auto at = static_cast<std::size_t>(i);
        const bool read = at < m_early.digests.size() && m_early.digests[at].Known();
        if (!path.empty()) m_classifier.ClassifyLocalFile(path, read ? &m_early.digests[at] : nullptr);
    }
    m_classifier.FinishPendingFiles();
}

std::string CompareWorkflows::NoteRepositoryFolder() {
    const std::string& named = m_parts.settings.templates.repoFolder;
    std::optional<std::string> folder;
    if (!named.empty()) folder = named;
    if (m_early.prepared) {
        m_classifier.AdoptCounterparts(std::move(m_early.rule), m_early.topChangeCount);
        m_early.rule = CounterpartRule();
        m_early.prepared = false;
    } else {
        m_classifier.PrepareCounterparts(m_scanner, folder);
    }
    const CounterpartRule& rule = m_classifier.Counterparts();
    constexpr const char* kTracePrefix = "CQvrCompareDlg::OnBtnGenBtmReport: ";
    if (!rule.HasFolder()) {
        std::string line = std::string(kTracePrefix) +
                           "No repository folder: no local file is in the Top List, every file is New";
        if (m_parts.settings.display.showMissingFiles) line += "; no file is listed as Missing";
        m_parts.trace.WriteTraceLine(line);
        return "No repository folder: every file is New.";
    }
    const std::string shown = ShownRepositoryFolder(rule.Folder());
    m_parts.trace.WriteTraceLine(std::string(kTracePrefix) + "Repository folder: " + shown + " (" +
                                 (rule.FolderWasNamed() ? "named" : "found by vote") + "; " +
                                 std::to_string(rule.Votes()) + " of " + std::to_string(m_scanner.PathCount()) +
                                 " local file(s) are there)");
    return "Repository folder: " + shown;
}

void CompareWorkflows::ListScanResult(const std::string& folderNote) {
    IWorkflowView& view = m_parts.view;
    ReportTable& bottom = m_parts.bottomList;
    if (bottom.GetItemCount() == 0) {
        view.StopBlinkTimer();
        m_parts.trace.WriteTraceLine(
            "CQvrCompareDlg::OnBtnGenBtmReport: END - No files found to populate the Bottom list based "
            "on selction.");
        AddBlankRows(bottom, kBlankBottomRows);
        EndReportRun(" Ready - No files found to populate the Bottom list based on selection.");
        return;
    }
    const bool running = g_reportInProgress != 0;
    {
        WaitCursorScope cursor(view);
        SortTableWhilePumping(bottom, {kBottomPathColumn, kBottomFileColumn, true}, m_parts.pump);
    }
    // A Cancel during the sort has ended the run already; the list it
    // leaves is whole and sorted.
    if (running && !g_reportInProgress) {
        SetText(IDC_BTMCOUNT, std::to_string(bottom.GetItemCount()));
        return;
    }
    view.StopBlinkTimer();
    SetText(IDC_BTMCOUNT, std::to_string(bottom.GetItemCount()));
    SetStatus(folderNote.empty() ? std::string(" Ready") : " Ready - " + folderNote);
    FinishReport();
}

// Folders the scan could not list are named in the trace, one line each;
// one box says the list is incomplete, after the run has ended and its list
// is shown.
void CompareWorkflows::WarnAboutUnreadFolders() {
    const int unread = m_scanner.UnreadableFolderCount();
    if (unread == 0) return;
    m_parts.messages.MessageBox(std::to_string(unread) +
                                    " folder(s) could not be read; the report is incomplete - see the trace.",
                                MbButtons::Ok, MbIcon::Exclamation);
}

void CompareWorkflows::ReportFileError(const CFileException& error) {
    m_parts.view.StopBlinkTimer();
    const FileErrorTexts texts = FileErrorTextsFor(error.Cause(), error.FileName());
    m_parts.trace.WriteTraceLine(texts.trace);
    SetStatus(texts.status);
    m_parts.trace.Trace("%s", texts.status.c_str());
    // The rows listed before the error stay, counted, under the error
    // status; a list left without any shows its blank rows, as any empty
    // list does.
    const int listed = CountFilledRows(m_parts.bottomList);
    if (listed == 0) ClearBottomListAfterFailure();
    else SetText(IDC_BTMCOUNT, std::to_string(listed));
    FinishReport();
}

void CompareWorkflows::FinishReport() {
    SetText(IDC_GEN_BTM, kReportCaption);
    g_reportInProgress = 0;
    m_parts.view.EnableAfterRun();
    m_parts.trace.WriteTraceLine("CQvrCompareDlg::OnBtnGenBtmReport: END");
}

// A run that ends without its END trace: status shown, flag cleared, caption
// back, window unlocked.
void CompareWorkflows::EndReportRun(const std::string& status) {
    SetStatus(status);
    g_reportInProgress = 0;
    SetText(IDC_GEN_BTM, kReportCaption);
    m_parts.view.EnableAfterRun();
}

}  // namespace qvr
