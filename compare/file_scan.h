#pragma once
// The local file scan: walks a directory tree depth first, matches each
// directory's files against name patterns and optional size and time ranges,
// collects the accepted files' full paths and reports every directory and
// file to one callback while it runs.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/path.h"

namespace qvr {

class TraceLog;

// Calendar time in seconds, as the file-system times are compared.
using ScanTime = std::int64_t;

enum ScanFilter : int {
    ScanFilterSize = 0x01,        // reject files outside [minSize, maxSize]
    ScanFilterLastWrite = 0x02,   // reject files last written outside the range
    ScanFilterCreation = 0x04,    // reject files created outside the range
    ScanFilterLastAccess = 0x08,  // reject files last read outside the range
    ScanCollectPaths = 0x20,      // keep the full path of every accepted file
};

enum ScanEvent : int {
    ScanFileAccepted = 0,  // the accepted file's path is the last collected one
    ScanFileRejected = 1,
    ScanDirectory = 2,     // a level's subdirectories are done; its files follow
    ScanBeforeNote = 3,    // to the note callback only: a trace note follows
};

// One directory level of a scan; each subdirectory gets a copy.
struct ScanCriteria {
    ScanCriteria() { Reset(); }
    // Empty texts, pattern "*.*", no recursion, no filters, zero sizes and
    // every time range collapsed to the current time.
    void Reset();

    std::string directory;    // made to end with a separator when the scan starts
    std::string patternList;  // patterns separated by blanks, commas or semicolons
    std::string userText1;    // carried into every level, never consulted
    std::string userText2;    // carried into every level, never consulted
    int recurse = 0;          // nonzero: scan subdirectories first
    int filterFlags = 0;      // ScanFilter bits
    std::int64_t minSize = 0;
    std::int64_t maxSize = 0;
    ScanTime creationFrom = 0;
    ScanTime creationTo = 0;
    ScanTime lastWriteFrom = 0;
    ScanTime lastWriteTo = 0;
    ScanTime lastAccessFrom = 0;
    ScanTime lastAccessTo = 0;
    int attributeMask = 0;  // carried along, never consulted
};

class CFileScan {
public:
    using Callback = void (*)(CFileScan& scanner, int event, void* userData);

    // Clears the process-wide stop flag.
    CFileScan();
    virtual ~CFileScan() = default;

    // Registers the callback and the data handed back to it; a later call
    // replaces both.
    void SetCallback(Callback callback, void* userData);
    void ClearPaths();
    // Also called, with the same user data, just before the scan writes a
    // note to its trace; what it throws passes out of the scan and the note
    // is not written. None by default.
    void SetNoteCallback(Callback callback) { m_noteCallback = callback; }
    // Where the scan notes what it passes over: a folder that cannot be
    // listed, a symbolic link whose target does not exist. None by default.
    void SetTrace(TraceLog* trace) { m_trace = trace; }
    // While set, the notes are kept there, in order, instead of written to
    // the trace: a scan on another thread leaves the trace to its owner.
    void SetNoteBuffer(std::vector<std::string>* notes) { m_noteBuffer = notes; }
    // Scans the level the criteria describe (normalising its directory in
    // place) and returns the number of collected paths afterwards. A directory
    // that cannot be listed contributes nothing and is counted; nothing here
    // ever fails.
    int Scan(ScanCriteria& criteria);
    // Folders the last scan (with every level below it) could not list while
    // it was not stopped.
    int UnreadableFolderCount() const { return m_unreadableFolders; }
    // Names the scan leaves out (see NameIsExcluded): a matching file is
    // neither accepted nor rejected, a matching folder is not entered.
    void SetExclusions(std::vector<std::string> patterns) { m_exclusions = std::move(patterns); }
    // Files and folders the last scan left out by name.
    int ExcludedFileCount() const { return m_excludedFiles; }
    int ExcludedFolderCount() const { return m_excludedFolders; }

    int PathCount() const { return static_cast<int>(m_nameEnds.size()); }
    // The collected path at index, or an empty path when out of range.
    CPath PathAt(int index) const;
    // The collected path text at index, or an empty text when out of range.
    std::string PathTextAt(int index) const;
    // The parts of the collected path at index: its folder (with its
    // separator), the same text for every file of one folder level, and
    // its name. Empty out of range.
    const std::string& FolderTextAt(int index) const;
    std::string_view NameAt(int index) const;
    const std::string& CurrentDirectory() const { return m_currentDirectory; }

private:
    // Each returns the error that kept its listing from being read, or 0.
    int ScanSubdirectories(const ScanCriteria& criteria);
    int MatchFiles(const ScanCriteria& criteria);
    int MatchPattern(const ScanCriteria& criteria, const std::string& pathRoot,
                     const std::string& pattern);
    void Collect(const std::string& folder, std::string_view name);
    void NoteUnreadable(const std::string& directory, int error);
    void NoteDanglingLink(const std::string& path);
    void Notify(int event);
    // Calls the note callback; true when the note is still to be written
    // (the scan was not stopped meanwhile).
    bool AnnounceNote();

    // The collected paths, kept as each folder once and the names back to
    // back: a million files cost their names, not a million full paths.
    std::vector<std::string> m_folders;
    std::string m_names;
    std::vector<std::uint64_t> m_nameEnds;      // per path, in m_names
    std::vector<std::uint32_t> m_pathFolders;   // per path, in m_folders
    Callback m_callback = nullptr;
    Callback m_noteCallback = nullptr;
    void* m_userData = nullptr;
    std::string m_currentDirectory;
    TraceLog* m_trace = nullptr;
    std::vector<std::string>* m_noteBuffer = nullptr;
    void WriteNote(std::string note);
    int m_unreadableFolders = 0;
    std::vector<std::string> m_exclusions;
    int m_excludedFiles = 0;
    int m_excludedFolders = 0;
    int m_depth = 0;  // levels of the running scan now open
};

// The pattern list split at blanks, commas and semicolons, without empty
// tokens; a token starting with "." stands for "*" followed by it.
std::vector<std::string> SplitPatternList(const std::string& patternList);

}  // namespace qvr
