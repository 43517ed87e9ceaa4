#pragma once
// The main window's two workflows as step sequences over the core:
// OnBtnGenTopScmList (check the context, ask the broker, list the repository,
// read the listing and post it into the Top List sorted by path) and
// OnBtnGenBtmReport (refresh the Top List when needed, check the repository
// out, scan the local path, classify every file into the Bottom List, sort it
// by path). Both are re-entrant the way the window is: a second click on the
// running workflow's button arrives as a nested call of the same handler
// from inside a pump, and the handler tells start from cancel by the
// button's caption.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/message_box_host.h"
#include "app/message_pump.h"
#include "app/run_safety.h"
#include "app/settings.h"
#include "app/trace.h"
#include "compare/classifier.h"
#include "compare/file_exception.h"
#include "compare/file_scan.h"
#include "compare/report_table.h"
#include "scm/repo_file_map.h"
#include "scm/scm_bridge.h"
#include "workflow/workflow_view.h"

namespace qvr {

// The idle captions of the two workflow buttons.
inline constexpr const char* kPopulateCaption = "Populate List from Quorvan Repository";
inline constexpr const char* kReportCaption = "Generate Local Files Compare Report";
inline constexpr const char* kCancelCaption = "Cancel";

// The Top List's columns; the Bottom List's are the classifier's.
inline constexpr const char* kTopListColumnSpec =
    "Record,0;File,175;Path,420;Version,50;Tag,50;Datasize,60;Package,150;Creator,125;"
    "Created Date,125;Modifier,125;Modified Date,125;Status,25";

// Blank rows that make a list count as empty.
inline constexpr int kBlankTopRows = 10;
inline constexpr int kBlankBottomRows = 12;

// Inserts count blank rows at the head of the list; rows already there move
// down, and the list then counts as empty.
void AddBlankRows(ReportTable& table, int count);

// The status text and trace text a file exception's cause turns into.
struct FileErrorTexts {
    std::string trace;
    std::string status;
};
FileErrorTexts FileErrorTextsFor(int cause, const std::string& fileName);

// Why a temp folder must not be used with this local path, or empty when it
// may: it is, holds or lies inside the local path (links followed), or
// another user owns or can write to it or to a folder on the way to it.
std::string TempFolderProblem(const std::string& tempPath, const std::string& localPath);
// The text a run shows when another run holds the lock of folder.
std::string AnotherRunText(const std::string& folder);

// Everything the workflows read and change, owned by the front end.
struct WorkflowParts {
    IWorkflowView& view;
    ReportTable& topList;
    ReportTable& bottomList;
    AppSettings& settings;
    CMapStrToFObj& topRecords;
    const std::string& installDir;
    TraceLog& trace;
    IMessageBoxHost& messages;
    IMessagePump& pump;
};

class CompareWorkflows {
public:
    // Registers the classifier as the scanner's callback.
    explicit CompareWorkflows(const WorkflowParts& parts);
    CompareWorkflows(const CompareWorkflows&) = delete;
    CompareWorkflows& operator=(const CompareWorkflows&) = delete;

    // Handler of the populate button (2023) and of command 1033.
    void OnBtnGenTopScmList();
    // Handler of the report button (2022).
    void OnBtnGenBtmReport();
    // Moves the Top List record map into the Top List, sorted by path.
    void PostTopList();

    // The folder a relative Local Path is taken from: the one the program was
    // started in (until it is set, the current directory).
    void SetLaunchDirectory(std::string folder) { m_launchDir = std::move(folder); }
    // False for a caller that reads the report's lists once and asks no
    // counterpart afterwards (the headless run): the rule is then let go as
    // soon as the Missing rows are listed, before the final sort needs room.
    void SetLookupsAfterReport(bool keep) { m_lookupsAfterReport = keep; }

    ScmBridge& Bridge() { return m_bridge; }
    CFileScan& Scanner() { return m_scanner; }
    Classifier& GetClassifier() { return m_classifier; }

private:
    // Populate.
    void StartPopulate();
    void CancelPopulate();
    bool ContextIsComplete();
    void EndPopulateRun(const std::string& status);
    void FailPopulate(const std::string& failure, bool blankRows, const std::string& toolLine = {});
    void ReadAndPostListing();
    void PostRecord(const RepoFileFields& record, int number);

    // The checks before any tool starts (run_guard.cpp).
    bool LockFolder(RunLock& lock, const std::string& folder);
    bool GuardReportFolders();
    void ShowGuardFailure();
    void ReleaseRunLocks();

    // Report.
    void StartReport();
    bool TakeLocalPath();
    void CancelReport();
    // False when a populate it ran failed or was cancelled.
    bool RefreshTopListIfStale();
    // The last report's rule prepared again, on a worker while the window
    // stays alive, for a Top List that changed since.
    void RefreshCounterpartsForTopList();
    bool TopListCriteriaChanged();
    bool CheckOutForBrowse();
    bool CheckoutLogIsBelievable();
    bool CheckoutCopyIsEmpty();
    void ScanAndClassify();
    // The scan criteria of a report over the local path in force.
    ScanCriteria ReportScanCriteria() const;
    // The local names are listed on a second thread while the checkout
    // runs: the listing reads no copy. Finishing waits for it (the window
    // stays live), stops it when the run has ended, and says whether its
    // listing stands for the scan.
    void StartEarlyListing();
    bool FinishEarlyListing(bool keep);
    // Compares the listed files in scan order against the repository folder
    // the local path stands for.
    void ClassifyListedFiles();
    // The repository folder used, in the trace; the text the status line
    // ends with.
    std::string NoteRepositoryFolder();
    void ListScanResult(const std::string& folderNote);
    void WarnAboutUnreadFolders();
    void ReportFileError(const CFileException& error);
    void FinishReport();
    void EndReportRun(const std::string& status);
    // A failed report leaves no rows of an earlier run behind: the list is
    // emptied to its blank rows, as a new run starts it.
    void ClearBottomListAfterFailure();
    // The context the checkout needs is in the boxes now; false (the run
    // ended with the reason) when part of it is blank.
    bool TakeCheckoutContext();

    std::string Text(int id) { return m_parts.view.GetControlText(id); }
    void SetText(int id, const std::string& text) { m_parts.view.SetControlText(id, text); }
    void SetStatus(const std::string& text);
    // The Temp Directory box as the run's temp path (a blank box keeps the
    // path in force).
    void TakeTempPathFromBox();

    WorkflowParts m_parts;
    ScmBridge m_bridge;
    Classifier m_classifier;
    CFileScan m_scanner;
    // The count text PostTopList last showed, for its END trace.
    std::string m_postedCountText;
    std::string m_launchDir;
    // Held for a run: no second run may share the tools' files or copies.
    RunLock m_installLock;
    RunLock m_tempLock;
    // Why the last guard step refused the run.
    std::string m_guardFailure;
    // The last populate ended without posting its listing (failed or cancelled).
    bool m_populateFailed = false;
    bool m_lookupsAfterReport = true;
    // The listing made while the checkout runs (see StartEarlyListing).
    struct EarlyListing {
        std::thread thread;
        std::atomic<bool> stop{false};
        // Set when the checkout has ended: the reading ahead stops there.
        std::atomic<bool> stopReading{false};
        std::atomic<bool> done{false};
        // Per listed file, what was read of it ahead of its compare.
        std::vector<LocalDigest> digests;
        // The Top List's key columns as the listing began (the window may
        // sort the list meanwhile), and the rule prepared on them.
        ReportTable topKeys;
        std::uint64_t topChangeCount = 0;
        std::optional<std::string> namedFolder;
        CounterpartRule rule;
        bool prepared = false;
        // The scan's trace notes, written when the listing is taken.
        std::vector<std::string> notes;
    } m_early;
};

}  // namespace qvr
