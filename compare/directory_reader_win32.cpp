// Directory listings on Windows: FindFirstFile over "<folder>\*". A folder
// that is a reparse point (a symbolic link or junction) is never entered.

#include "app/windows_api.h"

#include "app/platform.h"

#include "compare/directory_reader.h"

namespace qvr {
namespace {

std::int64_t CalendarSeconds(const FILETIME& time) {
    return win32::TicksSince1970(time) / 10000000;
}

}  // namespace

struct DirectoryReader::State {
    HANDLE find = INVALID_HANDLE_VALUE;
    std::string pattern;
    WIN32_FIND_DATAA data{};
    bool started = false;
    int error = 0;
};

DirectoryReader::DirectoryReader(const std::string& directory) : m_state(std::make_unique<State>()) {
    std::string folder = directory.empty() ? std::string(".") : directory;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    m_state->pattern = folder + "*";
}

DirectoryReader::~DirectoryReader() {
    if (m_state->find != INVALID_HANDLE_VALUE) FindClose(m_state->find);
}

const char* DirectoryReader::Next() {
    State& s = *m_state;
    if (!s.started) {
        s.started = true;
        s.find = FindFirstFileA(s.pattern.c_str(), &s.data);
        if (s.find == INVALID_HANDLE_VALUE) {
            // No entry at all is an empty listing (a drive root has no
            // "." entry); anything else kept the folder from being read.
            const DWORD code = GetLastError();
            if (code != ERROR_FILE_NOT_FOUND) s.error = platform::ErrnoFromSystemError(code);
            return nullptr;
        }
        return s.data.cFileName;
    }
    if (s.find == INVALID_HANDLE_VALUE) return nullptr;
    if (!FindNextFileA(s.find, &s.data)) {
        const DWORD code = GetLastError();
        if (code != ERROR_NO_MORE_FILES) s.error = platform::ErrnoFromSystemError(code);
        FindClose(s.find);
        s.find = INVALID_HANDLE_VALUE;
        return nullptr;
    }
    return s.data.cFileName;
}

int DirectoryReader::Error() const { return m_state->error; }

EntryKind DirectoryReader::Kind() const {
    const DWORD attributes = m_state->data.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::DirectoryLink
                                                           : EntryKind::Directory;
    }
    if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::Special;
    return EntryKind::File;
}

bool DirectoryReader::Stat(EntryFacts& facts) const {
    const WIN32_FIND_DATAA& d = m_state->data;
    facts.size = (static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    facts.lastWrite = CalendarSeconds(d.ftLastWriteTime);
    facts.lastAccess = CalendarSeconds(d.ftLastAccessTime);
    facts.creation = CalendarSeconds(d.ftCreationTime);
    return true;
}

}  // namespace qvr
