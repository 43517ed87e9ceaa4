#pragma once
// The cause a file exception carries where the platforms disagree on the
// reason for the same failure.

#include "compare/file_exception.h"
#include "support/test_platform.h"

namespace qvr::testing {

// A folder opened as a file: Windows refuses access; POSIX opens it and finds
// no file. A file below a missing folder: Windows calls the path bad; POSIX
// the file missing.
inline constexpr int kFolderCause = kOnWindows ? CFileException::accessDenied : CFileException::invalidFile;
inline constexpr int kMissingFolderCause = kOnWindows ? CFileException::badPath : CFileException::fileNotFound;

}  // namespace qvr::testing
