#include "compare/file_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "app/busy_flags.h"
#include "compare/wildcard.h"

namespace qvr {
namespace {

// What an entry of a listing is for the scan. Symbolic links to directories
// are never entered (no cycles); a link to a file counts as that file.
// Pipes, sockets and devices hold no content to compare and are passed over
// like directories.
enum class EntryKind { File, Directory, DirectoryLink, Special };

EntryKind KindOfMode(mode_t mode) {
    if (S_ISDIR(mode)) return EntryKind::Directory;
    return S_ISREG(mode) ? EntryKind::File : EntryKind::Special;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// One pass over a directory listing, in the order the file system returns
// the entries. A directory that cannot be opened yields no entries.
class DirectoryReader {
public:
    explicit DirectoryReader(const std::string& directory)
        : m_dir(::opendir(directory.empty() ? "." : directory.c_str())) {}

    // The next entry's name, or nullptr after the last one.
    const char* Next() {
        if (!m_dir) return nullptr;
        m_entry = ::readdir(m_dir.get());
        return m_entry ? m_entry->d_name : nullptr;
    }

    EntryKind Kind() const {
        switch (m_entry->d_type) {
            case DT_DIR: return EntryKind::Directory;
            case DT_REG: return EntryKind::File;
            case DT_LNK: return LinkKind();
            case DT_UNKNOWN: break;
            default: return EntryKind::Special;
        }
        struct stat info {};
        if (::fstatat(Fd(), m_entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::File;
        return S_ISLNK(info.st_mode) ? LinkKind() : KindOfMode(info.st_mode);
    }

    // Size and times of the current entry (of its target for a link; of the
    // link itself when the target is gone).
    bool Stat(struct statx& info) const {
        const unsigned mask = STATX_SIZE | STATX_MTIME | STATX_ATIME | STATX_CTIME | STATX_BTIME;
        if (::statx(Fd(), m_entry->d_name, 0, mask, &info) == 0) return true;
        return ::statx(Fd(), m_entry->d_name, AT_SYMLINK_NOFOLLOW, mask, &info) == 0;
    }

private:
    int Fd() const { return ::dirfd(m_dir.get()); }

    // A dangling link is listed as a file; opening it later names it.
    EntryKind LinkKind() const {
        struct stat target {};
        if (::fstatat(Fd(), m_entry->d_name, &target, 0) != 0) return EntryKind::File;
        const EntryKind kind = KindOfMode(target.st_mode);
        return kind == EntryKind::Directory ? EntryKind::DirectoryLink : kind;
    }

    std::unique_ptr<DIR, DirCloser> m_dir;
    dirent* m_entry = nullptr;
};

bool IsDots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Collected paths are full paths, as the listing reports them: a relative
// directory (or none) is taken from the current directory.
std::string FullPathRoot(const std::string& directory) {
    if (!directory.empty() && directory.front() == '/') return directory;
    std::string cwd;
    if (char* text = ::getcwd(nullptr, 0)) {
        cwd = text;
        std::free(text);
    }
    return AppendSeparator(cwd) + directory;
}

bool InRange(std::int64_t value, std::int64_t low, std::int64_t high) {
    return value >= low && value <= high;
}

// The creation time where the file system records one, else the time of the
// last status change, the nearest it keeps.
ScanTime CreationTime(const struct statx& info) {
    return (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : info.stx_ctime.tv_sec;
}

// The filters in their fixed order; the first failing one rejects the file.
bool PassesFilters(const ScanCriteria& criteria, const struct statx& info) {
    const int flags = criteria.filterFlags;
    if ((flags & ScanFilterSize) &&
        !InRange(static_cast<std::int64_t>(info.stx_size), criteria.minSize, criteria.maxSize)) {
        return false;
    }
    if ((flags & ScanFilterLastWrite) &&
        !InRange(info.stx_mtime.tv_sec, criteria.lastWriteFrom, criteria.lastWriteTo)) {
        return false;
    }
    if ((flags & ScanFilterCreation) &&
        !InRange(CreationTime(info), criteria.creationFrom, criteria.creationTo)) {
        return false;
    }
    if ((flags & ScanFilterLastAccess) &&
        !InRange(info.stx_atime.tv_sec, criteria.lastAccessFrom, criteria.lastAccessTo)) {
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

const std::string& CFileScan::PathTextAt(int index) const {
    static const std::string kNone;
    if (index < 0 || index >= PathCount()) return kNone;
    return m_paths[static_cast<std::size_t>(index)];
}

CFileScan::CFileScan() { g_scanStop = 0; }

void CFileScan::SetCallback(Callback callback, void* userData) {
    m_callback = callback;
    m_userData = userData;
}

void CFileScan::ClearPaths() {
    if (!m_paths.empty()) m_paths.clear();
}

CPath CFileScan::PathAt(int index) const {
    if (index < 0 || index >= PathCount()) return CPath();
    return CPath(m_paths[static_cast<std::size_t>(index)]);
}

int CFileScan::Scan(ScanCriteria& criteria) {
    g_scanStop = 0;
    criteria.directory = AppendSeparator(criteria.directory);
    if (criteria.recurse) ScanSubdirectories(criteria);
    m_currentDirectory = criteria.directory;
    Notify(ScanDirectory);
    MatchFiles(criteria);
    return PathCount();
}

void CFileScan::ScanSubdirectories(const ScanCriteria& criteria) {
    DirectoryReader reader(criteria.directory);
    while (!g_scanStop) {
        const char* name = reader.Next();
        if (!name) break;
        if (IsDots(name) || reader.Kind() != EntryKind::Directory) continue;
        ScanCriteria level = criteria;
        level.directory = criteria.directory + name;
        Scan(level);
    }
}

void CFileScan::MatchFiles(const ScanCriteria& criteria) {
    const std::vector<std::string> patterns = SplitPatternList(criteria.patternList);
    if (patterns.empty()) return;
    const std::string pathRoot = FullPathRoot(criteria.directory);
    for (const std::string& pattern : patterns) {
        if (g_scanStop) break;
        MatchPattern(criteria, pathRoot, pattern);
    }
}

void CFileScan::MatchPattern(const ScanCriteria& criteria, const std::string& pathRoot,
                             const std::string& pattern) {
    DirectoryReader reader(criteria.directory);
    const bool filtered = (criteria.filterFlags & kFilterMask) != 0;
    while (!g_scanStop) {
        const char* name = reader.Next();
        if (!name) break;
        if (!MatchFileNamePattern(pattern, name) || reader.Kind() != EntryKind::File) continue;
        bool accepted = true;
        if (filtered) {
            struct statx info {};
            accepted = reader.Stat(info) && PassesFilters(criteria, info);
        }
        if (accepted && (criteria.filterFlags & ScanCollectPaths)) m_paths.push_back(pathRoot + name);
        Notify(accepted ? ScanFileAccepted : ScanFileRejected);
    }
}

void CFileScan::Notify(int event) {
    if (m_callback) m_callback(*this, event, m_userData);
}

}  // namespace qvr
