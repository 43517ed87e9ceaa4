#pragma once
// The local file scan: walks a directory tree depth first, matches each
// directory's files against name patterns and optional size and time ranges,
// collects the accepted files' full paths and reports every directory and
// file to one callback while it runs.

#include <cstdint>
#include <string>
#include <vector>

#include "app/path.h"

namespace qvr {

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
    // Scans the level the criteria describe (normalising its directory in
    // place) and returns the number of collected paths afterwards. A directory
    // that cannot be listed contributes nothing; nothing here ever fails.
    int Scan(ScanCriteria& criteria);

    int PathCount() const { return static_cast<int>(m_paths.size()); }
    // The collected path at index, or an empty path when out of range.
    CPath PathAt(int index) const;
    // The collected path text at index, or an empty text when out of range.
    const std::string& PathTextAt(int index) const;
    const std::string& CurrentDirectory() const { return m_currentDirectory; }

private:
    void ScanSubdirectories(const ScanCriteria& criteria);
    void MatchFiles(const ScanCriteria& criteria);
    void MatchPattern(const ScanCriteria& criteria, const std::string& pathRoot,
                      const std::string& pattern);
    void Notify(int event);

    std::vector<std::string> m_paths;
    Callback m_callback = nullptr;
    void* m_userData = nullptr;
    std::string m_currentDirectory;
};

// The pattern list split at blanks, commas and semicolons, without empty
// tokens; a token starting with "." stands for "*" followed by it.
std::vector<std::string> SplitPatternList(const std::string& patternList);

}  // namespace qvr
