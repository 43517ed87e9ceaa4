// The POSIX side of the run's safety checks: ownership and modes from
// lstat(2), the run lock as flock(2) on the folder itself.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/platform.h"
#include "app/run_safety.h"

namespace qvr {
namespace {

bool OwnedByUsOrTheSystem(const struct stat& info) {
    return info.st_uid == ::geteuid() || info.st_uid == 0;
}

bool OthersMayWrite(const struct stat& info) { return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

std::string ParentOf(const std::string& folder) {
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return folder.substr(0, slash);
}

// The folder itself carries the lock: nothing is added to the temp folder
// that the compare or the user would then find in it.
int OpenFolder(const std::string& folder) {
    int fd = -1;
    do {
        fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

std::string FolderOthersControl(const std::string& resolvedFolder) {
    struct stat info {};
    // The temp folder itself: ours, and nobody else may write into it.
    if (::lstat(resolvedFolder.c_str(), &info) != 0) return {};
    if (S_ISLNK(info.st_mode) || !OwnedByUsOrTheSystem(info) || OthersMayWrite(info)) return resolvedFolder;
    // The folders above it matter up to a sticky shared folder only: below
    // one, whoever owns a folder on the way can swap what lies in it.
    std::string below;
    for (std::string folder = resolvedFolder; folder != "/";) {
        folder = ParentOf(folder);
        if (::lstat(folder.c_str(), &info) != 0) return {};
        if (info.st_mode & S_ISVTX) {
            return below;
        }
        if (below.empty() && (!OwnedByUsOrTheSystem(info) || OthersMayWrite(info))) below = folder;
    }
    return {};
}

void RestrictNewFileModes() { ::umask(077); }

RunLock::Outcome RunLock::Take(const std::string& folder) {
    Release();
    const int fd = OpenFolder(folder);
    if (fd < 0) return Outcome::NotPossible;
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Outcome::HeldElsewhere : Outcome::NotPossible;
    }
    m_handle = fd;
    return Outcome::Taken;
}

void RunLock::Release() {
    if (m_handle == kNoHandle) return;
    // Closing drops the lock.
    ::close(static_cast<int>(m_handle));
    m_handle = kNoHandle;
}

bool RunLock::HeldByAnother(const std::string& folder) {
    RunLock probe;
    return probe.Take(folder) == Outcome::HeldElsewhere;
}

}  // namespace qvr
