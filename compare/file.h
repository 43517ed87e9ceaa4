#pragma once
// A file opened by name for reading, closed when the object goes. Failures
// raise CFileException with the file's name, as the compare expects.

#include <cstddef>
#include <cstdint>
#include <string>

namespace qvr {

struct FileStatus {
    std::int64_t size = 0;
    std::int64_t lastWriteTime = 0;  // calendar seconds
};

// Keeps the folders of the files opened last open, so that opening the next
// file of the same folder does not walk its whole path again: a compare run
// opens two files per local file, folder by folder. A folder stays open only
// until Forget is called (the scan does so at every new folder level), so a
// folder replaced on disk is never looked into through an old handle for long.
class DirectoryHandles {
public:
    DirectoryHandles() = default;
    ~DirectoryHandles() { Forget(); }
    DirectoryHandles(const DirectoryHandles&) = delete;
    DirectoryHandles& operator=(const DirectoryHandles&) = delete;

    // Opens path for reading as open(2) would, returning the descriptor or
    // -1 with errno set.
    // With noLinks a name that is a symbolic link is not followed (ELOOP).
    int OpenForRead(const std::string& path, bool noLinks = false);
    void Forget();

private:
    struct Entry {
        std::string directory;
        int fd = -1;
    };
    int DirectoryFd(const std::string& path, std::size_t nameAt);

    Entry m_entries[2];
    std::size_t m_older = 0;
};

class CFile {
public:
    // Open modes. Other processes cannot be kept from writing on POSIX
    // systems, so the share modes are accepted and have no effect there.
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        shareDenyWrite = 0x0020,
        shareDenyNone = 0x0040,
        // The name itself must not be a symbolic link: a checked-out copy is
        // the tool's file, and a link planted in its place would make the
        // compare read something else.
        noLinks = 0x10000,
    };

    // Opens an existing file; throws CFileException when it cannot. Opening
    // never waits, whatever kind of file the name leads to.
    CFile(const std::string& fileName, unsigned openFlags,
          DirectoryHandles* directories = nullptr);
    ~CFile();
    CFile(CFile&& other) noexcept;
    CFile& operator=(CFile&& other) noexcept;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // One read of up to count bytes; fewer only at the end of the file.
    // Throws CFileException when the read fails (a directory, for one).
    std::size_t Read(void* buffer, std::size_t count);
    // Size and last write time. Throws CFileException when they cannot be
    // read or the name is not a plain file (a directory, pipe or device).
    FileStatus Status() const;
    const std::string& FileName() const { return m_fileName; }
    void Close();

private:
    int m_fd = -1;
    std::string m_fileName;
};

}  // namespace qvr
