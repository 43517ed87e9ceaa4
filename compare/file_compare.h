#pragma once
// Decides whether a local file and its checked-out copy hold the same content.

#include <atomic>
#include <cstdint>
#include <string>

#include "compare/file.h"

namespace qvr {

// 1 when both files have the same size and the same bytes, else 0. The first
// path (the checked-out copy) is always opened first, and never through a
// symbolic link in its own name (ELOOP names it); a file that cannot be
// opened or read raises CFileException naming it, and when the first cannot
// be opened the second is not touched. A byte sum alone would call files
// with swapped lines or extra zero bytes equal, so the bytes themselves are
// compared.
int FilesHaveSameChecksum(const std::string& firstPath, const std::string& secondPath);

// The same, also giving the second file's size and last write time as it
// was opened, so a caller listing that file need not open it again.
// Folders of the files are kept open in directories between calls. Once
// abandon is set the bytes are no longer read and the answer means nothing:
// a cancelled run need not wait for a large file to be read to its end.
int FilesHaveSameChecksum(const std::string& firstPath, const std::string& secondPath,
                          FileStatus& secondStatus, DirectoryHandles* directories = nullptr,
                          const std::atomic<bool>* abandon = nullptr);

// What a report learns of a local file ahead of its compare, while the
// checkout still runs: its status as opened and a 128-bit digest of its
// bytes. The compare then reads only the copy.
struct LocalDigest {
    FileStatus status;
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    bool Known() const { return status.size >= 0; }
};
inline constexpr std::int64_t kDigestUnknown = -1;

// Reads the local file at path as the compare would (links followed) and
// fills digest; a file that cannot be opened or read whole, or is no
// regular file, gets an unknown digest (status.size kDigestUnknown): its
// compare then reads it itself and says why.
void DigestLocalFile(const std::string& path, LocalDigest& digest, DirectoryHandles* directories = nullptr);

// FilesHaveSameChecksum for a local file whose digest is known: the copy is
// opened as there, and is the same when it has the local size and digest.
// secondStatus is the local file's status from its digest. Without a known
// digest (none given, or unknown) both files are read and compared.
int CopyMatchesDigest(const std::string& copyPath, const std::string& localPath, const LocalDigest* local,
                      FileStatus& secondStatus, DirectoryHandles* directories = nullptr,
                      const std::atomic<bool>* abandon = nullptr);

}  // namespace qvr
