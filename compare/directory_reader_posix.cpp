// Directory listings on POSIX systems: readdir, with the entry's kind from
// the listing where the file system gives it and from the entry itself
// otherwise.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "compare/directory_reader.h"

namespace qvr {
namespace {

EntryKind KindOfMode(mode_t mode) {
    if (S_ISDIR(mode)) return EntryKind::Directory;
    return S_ISREG(mode) ? EntryKind::File : EntryKind::Special;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

struct DirectoryReader::State {
    std::unique_ptr<DIR, DirCloser> dir;
    dirent* entry = nullptr;
    int error = 0;

    int Fd() const { return ::dirfd(dir.get()); }

    // A link whose target is missing names no file. Any other failure to
    // look at the target lists it as a file, whose open then says why.
    EntryKind LinkKind() const {
        struct stat target {};
        if (::fstatat(Fd(), entry->d_name, &target, 0) != 0) {
            return errno == ENOENT || errno == ENOTDIR || errno == ELOOP ? EntryKind::DanglingLink
                                                                         : EntryKind::File;
        }
        const EntryKind kind = KindOfMode(target.st_mode);
        return kind == EntryKind::Directory ? EntryKind::DirectoryLink : kind;
    }
};

DirectoryReader::DirectoryReader(const std::string& directory) : m_state(std::make_unique<State>()) {
    m_state->dir.reset(::opendir(directory.empty() ? "." : directory.c_str()));
    if (!m_state->dir) m_state->error = errno;
}

DirectoryReader::~DirectoryReader() = default;

const char* DirectoryReader::Next() {
    if (!m_state->dir) return nullptr;
    errno = 0;
    m_state->entry = ::readdir(m_state->dir.get());
    if (!m_state->entry && errno != 0) m_state->error = errno;
    return m_state->entry ? m_state->entry->d_name : nullptr;
}

int DirectoryReader::Error() const { return m_state->error; }

EntryKind DirectoryReader::Kind() const {
    switch (m_state->entry->d_type) {
        case DT_DIR: return EntryKind::Directory;
        case DT_REG: return EntryKind::File;
        case DT_LNK: return m_state->LinkKind();
        case DT_UNKNOWN: break;
        default: return EntryKind::Special;
    }
    struct stat info {};
    if (::fstatat(m_state->Fd(), m_state->entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return EntryKind::File;
    }
    return S_ISLNK(info.st_mode) ? m_state->LinkKind() : KindOfMode(info.st_mode);
}

bool DirectoryReader::Stat(EntryFacts& facts) const {
    const unsigned mask = STATX_SIZE | STATX_MTIME | STATX_ATIME | STATX_CTIME | STATX_BTIME;
    struct statx info {};
    const char* name = m_state->entry->d_name;
    if (::statx(m_state->Fd(), name, 0, mask, &info) != 0 &&
        ::statx(m_state->Fd(), name, AT_SYMLINK_NOFOLLOW, mask, &info) != 0) {
        return false;
    }
    facts.size = info.stx_size;
    facts.lastWrite = info.stx_mtime.tv_sec;
    facts.lastAccess = info.stx_atime.tv_sec;
    facts.creation = (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : info.stx_ctime.tv_sec;
    return true;
}

}  // namespace qvr
