#pragma once
// The one exception the program uses: a file that cannot be opened or read
// while two files are compared. It carries the cause code the compare report
// turns into its status text, the operating-system error and the file name.

#include <exception>
#include <string>

namespace qvr {

class CFileException : public std::exception {
public:
    // Cause codes, numbered as the report's status texts expect them.
    enum Cause : int {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    CFileException(int cause, int osError, std::string fileName);

    // The cause that best describes an errno value of a failed open or read.
    static int CauseFromErrno(int osError);
    // Builds the exception for the errno of a failed call on fileName.
    static CFileException FromErrno(int osError, const std::string& fileName);

    int Cause() const { return m_cause; }
    int OsError() const { return m_osError; }
    const std::string& FileName() const { return m_fileName; }

    const char* what() const noexcept override { return m_what.c_str(); }

private:
    int m_cause;
    int m_osError;
    std::string m_fileName;
    std::string m_what;
};

}  // namespace qvr
