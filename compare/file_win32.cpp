// Files opened for reading on Windows: CreateFile, so a failure carries the
// system's own reason (a missing folder is a bad path, a folder is access
// denied), then handed to the C runtime's descriptors so the class looks the
// same on every platform. The share modes are the platform's own here: "deny
// write" keeps other programs from writing while the compare reads.

#include "compare/file.h"

#include "app/windows_api.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "app/platform.h"
#include "compare/file_exception.h"

namespace qvr {
namespace {

DWORD ShareModeFor(unsigned openFlags) {
    return (openFlags & CFile::shareDenyWrite) ? FILE_SHARE_READ
                                               : FILE_SHARE_READ | FILE_SHARE_WRITE;
}

// A descriptor, or -1 with errno set to the nearest cause.
int OpenForReading(const std::string& path, unsigned openFlags) {
    const bool refuseLinks = (openFlags & CFile::noLinks) != 0;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, ShareModeFor(openFlags), nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | (refuseLinks ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = platform::ErrnoFromSystemError(GetLastError());
        return -1;
    }
    // A link (a reparse point) opened as itself is refused, not read.
    BY_HANDLE_FILE_INFORMATION info{};
    if (refuseLinks && GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(file);
        errno = EACCES;
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        errno = EMFILE;
    }
    return fd;
}

}  // namespace

// Windows opens by full path every time: the folders are looked up by the
// system's own cache, and no folder handle is kept.
int DirectoryHandles::OpenForRead(const std::string& path, bool noLinks) {
    return OpenForReading(path, CFile::shareDenyNone | (noLinks ? CFile::noLinks : 0u));
}

void DirectoryHandles::Forget() {}

CFile::CFile(const std::string& fileName, unsigned openFlags, DirectoryHandles* directories)
    : m_fileName(fileName) {
    (void)directories;
    m_fd = OpenForReading(fileName, openFlags);
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
    const unsigned chunk = count > static_cast<std::size_t>(INT_MAX) ? INT_MAX
                                                                      : static_cast<unsigned>(count);
    const int n = _read(m_fd, buffer, chunk);
    if (n < 0) throw CFileException::FromErrno(errno, m_fileName);
    return static_cast<std::size_t>(n);
}

FileStatus CFile::Status() const {
    struct _stat64 info {};
    if (_fstat64(m_fd, &info) != 0) throw CFileException::FromErrno(errno, m_fileName);
    if ((info.st_mode & _S_IFMT) != _S_IFREG) {
        const int error = (info.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : EINVAL;
        throw CFileException(CFileException::invalidFile, error, m_fileName);
    }
    return {static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtime)};
}

void CFile::Close() {
    if (m_fd >= 0) {
        _close(m_fd);
        m_fd = -1;
    }
}

}  // namespace qvr
