#include "compare/file_scan.h"

#include <ctime>
#include <system_error>

#include "app/busy_flags.h"
#include "app/platform.h"
#include "app/trace.h"
#include "compare/directory_reader.h"
#include "compare/wildcard.h"

namespace qvr {
namespace {

bool IsDots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Collected paths are full paths, as the listing reports them: a relative
// directory (or none) is taken from the current directory.
std::string FullPathRoot(const std::string& directory) {
    if (platform::IsAbsolutePath(directory)) return directory;
    return AppendSeparator(platform::CurrentDirectory()) + directory;
}

bool InRange(std::int64_t value, std::int64_t low, std::int64_t high) {
    return value >= low && value <= high;
}

// The filters in their fixed order; the first failing one rejects the file.
bool PassesFilters(const ScanCriteria& criteria, const EntryFacts& info) {
    const int flags = criteria.filterFlags;
    if ((flags & ScanFilterSize) &&
        !InRange(static_cast<std::int64_t>(info.size), criteria.minSize, criteria.maxSize)) {
        return false;
    }
    if ((flags & ScanFilterLastWrite) &&
        !InRange(info.lastWrite, criteria.lastWriteFrom, criteria.lastWriteTo)) {
        return false;
    }
    if ((flags & ScanFilterCreation) &&
        !InRange(info.creation, criteria.creationFrom, criteria.creationTo)) {
        return false;
    }
    if ((flags & ScanFilterLastAccess) &&
        !InRange(info.lastAccess, criteria.lastAccessFrom, criteria.lastAccessTo)) {
        return false;
    }
    return true;
}

constexpr int kFilterMask =
    ScanFilterSize | ScanFilterLastWrite | ScanFilterCreation | ScanFilterLastAccess;

}  // namespace

void ScanCriteria::Reset() {
    const ScanTime now = static_cast<ScanTime>(std::time(nullptr));
    directory.clear();
    patternList = "*.*";
    userText1.clear();
    userText2.clear();
    recurse = 0;
    filterFlags = 0;
    minSize = 0;
    maxSize = 0;
    creationFrom = creationTo = now;
    lastWriteFrom = lastWriteTo = now;
    lastAccessFrom = lastAccessTo = now;
    attributeMask = 0;
}

std::vector<std::string> SplitPatternList(const std::string& patternList) {
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (i < patternList.size()) {
        const std::size_t start = patternList.find_first_not_of(" ,;", i);
        if (start == std::string::npos) break;
        std::size_t end = patternList.find_first_of(" ,;", start);
        if (end == std::string::npos) end = patternList.size();
        std::string token = patternList.substr(start, end - start);
        if (token.front() == '.') token.insert(token.begin(), '*');
        tokens.push_back(std::move(token));
        i = end;
    }
    return tokens;
}

std::string CFileScan::PathTextAt(int index) const {
    std::string path = FolderTextAt(index);
    path += NameAt(index);
    return path;
}

const std::string& CFileScan::FolderTextAt(int index) const {
    static const std::string kNone;
    if (index < 0 || index >= PathCount()) return kNone;
    return m_folders[m_pathFolders[static_cast<std::size_t>(index)]];
}

std::string_view CFileScan::NameAt(int index) const {
    if (index < 0 || index >= PathCount()) return {};
    const auto at = static_cast<std::size_t>(index);
    const std::size_t start = at == 0 ? 0 : m_nameEnds[at - 1];
    return std::string_view(m_names).substr(start, m_nameEnds[at] - start);
}

CFileScan::CFileScan() { g_scanStop = 0; }

void CFileScan::SetCallback(Callback callback, void* userData) {
    m_callback = callback;
    m_userData = userData;
}

void CFileScan::ClearPaths() {
    // A large tree's listing gives its memory back at once: each container
    // is replaced by an empty one, since "= {}" would only empty it and
    // keep its room.
    m_folders = decltype(m_folders)();
    m_names = decltype(m_names)();
    m_nameEnds = decltype(m_nameEnds)();
    m_pathFolders = decltype(m_pathFolders)();
}

CPath CFileScan::PathAt(int index) const {
    if (index < 0 || index >= PathCount()) return CPath();
    return CPath(PathTextAt(index));
}

int CFileScan::Scan(ScanCriteria& criteria) {
    // The count belongs to the outermost call; the levels below add to it.
    // A file error may leave the scan from inside any level.
    struct Depth {
        explicit Depth(int& depth) : m_depth(depth) { ++m_depth; }
        ~Depth() { --m_depth; }
        int& m_depth;
    };
    if (m_depth == 0) {
        m_unreadableFolders = 0;
        m_excludedFiles = 0;
        m_excludedFolders = 0;
    }
    const Depth depth(m_depth);
    g_scanStop = 0;
    criteria.directory = AppendSeparator(criteria.directory);
    int error = criteria.recurse ? ScanSubdirectories(criteria) : 0;
    m_currentDirectory = criteria.directory;
    Notify(ScanDirectory);
    const int filesError = MatchFiles(criteria);
    if (error == 0) error = filesError;
    // Once stopped, what was not read is not missing: the user ended the scan.
    if (error != 0 && !g_scanStop && AnnounceNote()) NoteUnreadable(criteria.directory, error);
    // The listing is kept for the whole report: the room its growth left
    // spare (up to as much again) goes back once it is complete.
    if (m_depth == 1) {
        m_folders.shrink_to_fit();
        m_names.shrink_to_fit();
        m_nameEnds.shrink_to_fit();
        m_pathFolders.shrink_to_fit();
    }
    return PathCount();
}

int CFileScan::ScanSubdirectories(const ScanCriteria& criteria) {
    DirectoryReader reader(criteria.directory);
    while (!g_scanStop) {
        const char* name = reader.Next();
        if (!name) break;
        if (IsDots(name) || reader.Kind() != EntryKind::Directory) continue;
        if (NameIsExcluded(m_exclusions, name)) {
            ++m_excludedFolders;
            continue;
        }
        ScanCriteria level = criteria;
        level.directory = criteria.directory + name;
        Scan(level);
    }
    return reader.Error();
}

int CFileScan::MatchFiles(const ScanCriteria& criteria) {
    const std::vector<std::string> patterns = SplitPatternList(criteria.patternList);
    if (patterns.empty()) return 0;
    const std::string pathRoot = FullPathRoot(criteria.directory);
    int error = 0;
    for (const std::string& pattern : patterns) {
        if (g_scanStop) break;
        const int patternError = MatchPattern(criteria, pathRoot, pattern);
        if (error == 0) error = patternError;
    }
    return error;
}

int CFileScan::MatchPattern(const ScanCriteria& criteria, const std::string& pathRoot,
                            const std::string& pattern) {
    DirectoryReader reader(criteria.directory);
    const bool filtered = (criteria.filterFlags & kFilterMask) != 0;
    while (!g_scanStop) {
        const char* name = reader.Next();
        if (!name) break;
        if (!MatchFileNamePattern(pattern, name)) continue;
        const EntryKind kind = reader.Kind();
        if (kind == EntryKind::DanglingLink && AnnounceNote()) NoteDanglingLink(pathRoot + name);
        if (kind != EntryKind::File) continue;
        if (NameIsExcluded(m_exclusions, name)) {
            ++m_excludedFiles;
            continue;
        }
        bool accepted = true;
        if (filtered) {
            EntryFacts info;
            accepted = reader.Stat(info) && PassesFilters(criteria, info);
        }
        if (accepted && (criteria.filterFlags & ScanCollectPaths)) Collect(pathRoot, name);
        Notify(accepted ? ScanFileAccepted : ScanFileRejected);
    }
    return reader.Error();
}

void CFileScan::Collect(const std::string& folder, std::string_view name) {
    if (m_folders.empty() || m_folders.back() != folder) m_folders.push_back(folder);
    m_names.append(name);
    m_nameEnds.push_back(m_names.size());
    m_pathFolders.push_back(static_cast<std::uint32_t>(m_folders.size() - 1));
}

void CFileScan::NoteUnreadable(const std::string& directory, int error) {
    ++m_unreadableFolders;
    WriteNote("CFileScan::Scan: Folder could not be read: " + FullPathRoot(directory) + " (" +
              std::generic_category().message(error) + ")");
}

void CFileScan::NoteDanglingLink(const std::string& path) {
    WriteNote("CFileScan::Scan: Skipped symbolic link whose target does not exist: " + path);
}

void CFileScan::WriteNote(std::string note) {
    if (m_noteBuffer) m_noteBuffer->push_back(std::move(note));
    else if (m_trace) m_trace->WriteTraceLine(note);
}

bool CFileScan::AnnounceNote() {
    if (m_noteCallback) m_noteCallback(*this, ScanBeforeNote, m_userData);
    return !g_scanStop;
}

void CFileScan::Notify(int event) {
    if (m_callback) m_callback(*this, event, m_userData);
}

}  // namespace qvr
