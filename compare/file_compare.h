#pragma once
// Decides whether a local file and its checked-out copy hold the same content.

#include <atomic>
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

}  // namespace qvr
