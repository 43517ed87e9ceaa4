// Files opened for reading on POSIX systems: open(2) relative to a kept
// folder descriptor, non-blocking so no kind of file can hold the compare.

#include "compare/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

#include "compare/file_exception.h"

namespace qvr {

namespace {

// Non-blocking, so a pipe without a writer cannot hold the compare.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;

int OpenRetrying(int directoryFd, const char* name, bool noLinks = false) {
    const int flags = kReadFlags | (noLinks ? O_NOFOLLOW : 0);
    int fd = -1;
    do {
        fd = ::openat(directoryFd, name, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

int DirectoryHandles::OpenForRead(const std::string& path, bool noLinks) {
    const std::size_t slash = path.rfind('/');
    // Names without a folder, or naming a folder, take the ordinary way.
    if (slash == std::string::npos || slash + 1 == path.size()) {
        return OpenRetrying(AT_FDCWD, path.c_str(), noLinks);
    }
    const int directoryFd = DirectoryFd(path, slash + 1);
    if (directoryFd < 0) {
        // The ordinary open reports the folder's own problem exactly.
        return OpenRetrying(AT_FDCWD, path.c_str(), noLinks);
    }
    return OpenRetrying(directoryFd, path.c_str() + slash + 1, noLinks);
}

int DirectoryHandles::DirectoryFd(const std::string& path, std::size_t nameAt) {
    const std::string_view directory(path.data(), nameAt);
    for (const Entry& entry : m_entries) {
        if (entry.fd >= 0 && entry.directory == directory) return entry.fd;
    }
    Entry& entry = m_entries[m_older];
    m_older = 1 - m_older;
    if (entry.fd >= 0) ::close(entry.fd);
    entry.directory.assign(directory);
    entry.fd = ::open(entry.directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return entry.fd;
}

void DirectoryHandles::Forget() {
    for (Entry& entry : m_entries) {
        if (entry.fd >= 0) ::close(entry.fd);
        entry.fd = -1;
        entry.directory.clear();
    }
}

CFile::CFile(const std::string& fileName, unsigned openFlags, DirectoryHandles* directories)
    : m_fileName(fileName) {
    const bool refuseLinks = (openFlags & CFile::noLinks) != 0;
    m_fd = directories ? directories->OpenForRead(fileName, refuseLinks)
                       : OpenRetrying(AT_FDCWD, fileName.c_str(), refuseLinks);
    if (m_fd < 0) throw CFileException::FromErrno(errno, fileName);
}

CFile::~CFile() { Close(); }

CFile::CFile(CFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_fileName(std::move(other.m_fileName)) {}

CFile& CFile::operator=(CFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_fileName = std::move(other.m_fileName);
    }
    return *this;
}

std::size_t CFile::Read(void* buffer, std::size_t count) {
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, count);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw CFileException::FromErrno(errno, m_fileName);
    }
}

FileStatus CFile::Status() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) throw CFileException::FromErrno(errno, m_fileName);
    if (!S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        throw CFileException(CFileException::invalidFile, error, m_fileName);
    }
    return {static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtime)};
}

void CFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

}  // namespace qvr
