#pragma once
// Classifies each local file the scan accepts as New, Same or Diff against
// the Top List and the checked-out copies, and lists it in the Bottom List
// when that status is one the user asked to see.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/message_pump.h"
#include "app/settings.h"
#include "app/trace.h"
#include "compare/file_exception.h"
#include "compare/compare_pipeline.h"
#include "compare/file_compare.h"
#include "compare/report_table.h"
#include "compare/repository_key_index.h"

namespace qvr {

class CFileScan;
class TraceLog;

inline constexpr const char* kBottomListColumnSpec =
    "Record,0;File,175;Path,415;Datasize,60;Date,130;Status,95";

// Text colours of the Status cell.
inline constexpr Colorref kNewColor = 0x008000;   // green
inline constexpr Colorref kSameColor = 0x800000;  // dark blue
inline constexpr Colorref kDiffColor = 0x0032FF;  // orange-red
inline constexpr Colorref kMissingColor = 0x800080;  // purple

// Bottom List columns.
enum BottomColumn : int {
    BottomRecord = 0,
    BottomFile = 1,
    BottomPath = 2,
    BottomDatasize = 3,
    BottomDate = 4,
    BottomStatus = 5,
};

// "0 KB" for an empty file, "1 KB" up to 1024 bytes, else size / 1024 + 1.
std::string FormatDatasize(std::int64_t size);
// "MM-DD-YYYY hh:mm:ss\n" of a calendar time in the local time zone.
std::string FormatLocalDate(std::int64_t time);

class Classifier {
public:
    // Everything is read at the moment of each call, so changes the window
    // makes between two files take effect on the next one.
    Classifier(ReportTable& top, ReportTable& bottom, const ScmContext& context,
               const DisplayOptions& display, IMessagePump& pump);
    ~Classifier();
    Classifier(const Classifier&) = delete;
    Classifier& operator=(const Classifier&) = delete;

    // With count > 0 the compares run on that many worker threads while the
    // scan goes on, and the rows are listed in scan order as their compares
    // finish; 0 (the default) compares each file before the scan moves on.
    // The rows, their order, colours and a file error's place are the same
    // either way. The display options are then read as each file is scanned.
    void SetCompareThreads(int count);
    bool ComparesOnThreads() const { return m_pipeline != nullptr; }
    // Lists every file still waiting for its compare, in scan order, pumping
    // the messages while it waits. Cancel drops the files not yet listed and
    // stops the scan; a file error passes out as CFileException after the
    // rows before it, and the files after it are dropped.
    void FinishPendingFiles();
    // Drops the files not yet listed and ends the compare threads, closing
    // the folders they kept open.
    void AbandonPendingFiles();

    // Classifies one scanned file and adds its row. When the report was
    // cancelled, stops the scan instead. CFileException from reading a file
    // passes out unchanged; rows added before it stay.
    // A known digest of the local file (see DigestLocalFiles) spares the
    // compare its reading.
    void ClassifyLocalFile(const std::string& path, const LocalDigest* digest = nullptr);
    // Digests the scanner's files in scan order, from the first, until all
    // are done or stop is set; digests holds one entry per collected path,
    // unknown where not done. Touches nothing but its arguments, so it may
    // run on another thread while the scanner stays unchanged.
    static void DigestLocalFiles(const CFileScan& scanner, std::vector<LocalDigest>& digests,
                                 const std::atomic<bool>& stop);
    // Fills the Datasize and Date cells of row for directory + name.
    void FillSizeAndDate(int row, const std::string& name, const std::string& directory);

    // The key a local file is matched by: the local path (less a trailing
    // separator) removed where it starts the path, separators as in the
    // repository, upper-cased.
    std::string LocalKey(const std::string& path) const;
    // The same key in the file's own letter case, as the counterpart search
    // takes it.
    std::string LocalKeyInOwnCase(const std::string& path) const;
    // The counterpart of a local key in its own letter case: the first Top
    // List row whose repository key ends with it as a whole name (exact case
    // first where the platform tells cases apart), or -1.
    int FindCounterpart(const std::string& localKey);
    // The counterpart of the local file at path, or -1.
    int CounterpartOf(const std::string& path) { return FindCounterpart(LocalKeyInOwnCase(path)); }
    // FindCounterpart for a click: never waits for an index to be built
    // before the first report.
    int FindCounterpartNow(const std::string& localKey);

    // Chooses the repository folder the local path stands for (the named
    // one, else by vote of the scanned files) and pairs every scanned file
    // with its counterpart; from here on every lookup follows that rule.
    // Before the first report the lookups find the first whole-name match.
    void PrepareCounterparts(const CFileScan& scanner, const std::optional<std::string>& namedFolder);
    // The same into rule, against top: a copy of the Top List's File and
    // Path columns when run on another thread, which this leaves safe as it
    // changes nothing of the classifier. AdoptCounterparts then makes
    // rule the classifier's own, for the Top List whose copy had
    // textChangeCount as its text change count.
    void PrepareCounterpartsInto(CounterpartRule& rule, const ReportTable& top, const CFileScan& scanner,
                                 const std::optional<std::string>& namedFolder) const;
    void AdoptCounterparts(CounterpartRule&& rule, std::uint64_t textChangeCount);
    const CounterpartRule& Counterparts() const { return m_rule; }
    // Lets the rule and its memory go; lookups then find the first
    // whole-name match again, as before a report.
    void ForgetCounterparts() { m_rule.Clear(); }
    // While true, the scan callback only lists the accepted files.
    void SetListingOnly(bool listingOnly) { m_listingOnly = listingOnly; }
    bool ListingOnly() const { return m_listingOnly; }
    // Names left out of the Missing rows as the scan leaves them out locally.
    void SetExclusions(std::vector<std::string> patterns) { m_exclusions = std::move(patterns); }
    // Adds a "Missing" row for every Top List file below the repository
    // folder that no local file was paired with (directly in it only,
    // without subfolders), none whose names are excluded: the file where it
    // would be in the local tree, size and date from the listing. Returns
    // how many were added.
    int AddMissingRows();
    // Indexes the Top List as it is now on a worker thread, ready for the
    // clicks and the report that follow.
    void IndexTopListInBackground() { m_index.BuildInBackground(m_top); }
    // Where the checkout put the copy of a Top List row's file.
    std::string CopyPathFor(int topRow) const;

    IMessagePump& Pump() { return m_pump; }
    // Where a local file left out of the report is named, and a New file
    // whose name lives elsewhere in the repository.
    void SetTrace(TraceLog* trace) { m_trace = trace; }
    // Closes the folders kept open between two compares; the scan callback
    // calls it at every new folder level.
    void ForgetOpenDirectories() {
        m_directories.Forget();
        ++m_folderLevel;
    }

private:
    struct NewRow {
        const std::string& name;
        const std::string& directory;
        int recordNumber;
        const char* status;
        Colorref color;
        const FileStatus* fileStatus;  // known when the compare opened the file
    };
    // A scanned file waiting to be listed behind files whose compares still
    // run: a New row, or a compare whose outcome picks Same or Diff.
    struct PendingFile {
        std::string name;
        std::string directory;
        bool compared;
        bool showSame;
        bool showDiff;
    };
    // Lists the files at the head of the queue whose outcome is known, and
    // waits (pumping) while more than keepAtMost files are queued.
    void ListFinishedFiles(std::size_t keepAtMost);
    void ListComparedFile(const PendingFile& file, const CompareOutcome& outcome);
    void NoteNameElsewhere(const std::string& path);
    void AddRow(const NewRow& row);
    void SetSizeAndDate(int row, std::int64_t size, const std::string& date);
    // The size and date text of a local file as its row shows them.
    static void MeasureLocalFile(const std::string& fullPath, std::int64_t& size, std::string& date);
    bool LeftOutAsVanished(const CFileException& error, const std::string& scannedPath);

    ReportTable& m_top;
    ReportTable& m_bottom;
    const ScmContext& m_context;
    const DisplayOptions& m_display;
    IMessagePump& m_pump;
    TraceLog* m_trace = nullptr;
    RepositoryKeyIndex m_index;
    CounterpartRule m_rule;
    bool m_listingOnly = false;
    std::vector<std::string> m_exclusions;
    DirectoryHandles m_directories;
    std::uint64_t m_folderLevel = 0;
    std::unique_ptr<ComparePipeline> m_pipeline;  // set when compares run on threads
    std::deque<PendingFile> m_pendingFiles;       // scan order, oldest first
};

// The scan callback of the window and the headless front end; userData is
// the Classifier. An accepted file is classified, and in every case the
// pending messages are dispatched before the scan goes on. Before the scan
// writes a note to the trace, the files scanned so far are listed first.
void OnScanEvent(CFileScan& scanner, int event, void* userData);

}  // namespace qvr
