#include "compare/file_exception.h"

#include <cerrno>
#include <utility>

namespace qvr {

CFileException::CFileException(int cause, int osError, std::string fileName)
    : m_cause(cause), m_osError(osError), m_fileName(std::move(fileName)) {
    m_what = "file error " + std::to_string(m_cause) + " (os error " + std::to_string(m_osError) +
             "): " + m_fileName;
}

int CFileException::CauseFromErrno(int osError) {
    switch (osError) {
        case ENOENT: return fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG: return badPath;
        case EMFILE:
        case ENFILE: return tooManyOpenFiles;
        case EACCES:
        case EPERM: return accessDenied;
        case ENOSPC: return diskFull;
        case EIO: return hardIO;
        case EISDIR: return invalidFile;
        default: return genericException;
    }
}

CFileException CFileException::FromErrno(int osError, const std::string& fileName) {
    return CFileException(CauseFromErrno(osError), osError, fileName);
}

}  // namespace qvr
