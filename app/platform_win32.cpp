// The Windows side of the platform mapping: the program's own home, where it
// always lived. Configuration files go to the Windows directory, processes
// come from a Toolhelp snapshot, and file facts from the file's own handle.

#include "app/windows_api.h"
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/platform.h"

namespace qvr::platform {
namespace {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::int64_t NanosecondsSince1970(const FILETIME& time) {
    return win32::TicksSince1970(time) * 100;
}

FileFacts FactsOf(const BY_HANDLE_FILE_INFORMATION& info) {
    FileFacts facts;
    facts.isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.isRegularFile = !facts.isDirectory && (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    facts.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts.identity = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    facts.modifiedNs = NanosecondsSince1970(info.ftLastWriteTime);
    return facts;
}

// Opens the named file or folder; others may read, write and delete it meanwhile.
HANDLE OpenShared(const std::string& path, DWORD access, DWORD flags) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, flags, nullptr);
}

bool ReadFacts(HANDLE file, FileFacts& facts, int& error) {
    BY_HANDLE_FILE_INFORMATION info{};
    const bool measured = GetFileInformationByHandle(file, &info) != 0;
    if (measured) {
        facts = FactsOf(info);
    } else {
        error = ErrnoFromSystemError(GetLastError());
    }
    CloseHandle(file);
    return measured;
}

// The snapshot entry of one process; false when it is not running.
bool FindProcessEntry(int processId, PROCESSENTRY32& entry) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (static_cast<int>(entry.th32ProcessID) == processId) {
            found = true;
            break;
        }
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace

void WriteDebuggerOutput(const std::string& text) { OutputDebugStringA(text.c_str()); }

std::string ProcessCommandLine() {
    const char* line = GetCommandLineA();
    return line ? std::string(line) : std::string();
}

void UseBinaryStandardOutput() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

std::string HomeDirectory() {
    std::string home = EnvironmentValue("USERPROFILE");
    if (!home.empty()) return home;
    return EnvironmentValue("HOMEDRIVE") + EnvironmentValue("HOMEPATH");
}

std::string ConfigDirectory() {
    std::string dir(MAX_PATH, '\0');
    const UINT length = GetWindowsDirectoryA(dir.data(), static_cast<UINT>(dir.size()));
    if (length == 0 || length >= dir.size()) return "C:\\Windows";
    dir.resize(length);
    return dir;
}

std::string DefaultInstallDirectory(std::string_view /*homeDir*/) { return "C:\\QvrCompare"; }

std::string ProgramSearchPath() { return EnvironmentValue("PATH"); }

bool IsExecutableFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsProgramOnSearchPath(std::string_view /*name*/, std::string_view /*searchPath*/) { return false; }

bool ChangeDirectory(const std::string& dir) { return SetCurrentDirectoryA(dir.c_str()) != 0; }

bool MakeDirectory(const std::string& dir) { return CreateDirectoryA(dir.c_str(), nullptr) != 0; }

std::string CurrentDirectory() {
    const DWORD needed = GetCurrentDirectoryA(0, nullptr);
    if (needed == 0) return {};
    std::string dir(needed, '\0');
    const DWORD length = GetCurrentDirectoryA(needed, dir.data());
    if (length == 0 || length >= needed) return {};
    dir.resize(length);
    return dir;
}

int CurrentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

void EndThisProcess(int status) {
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    std::_Exit(status);  // not reached
}

bool ListProcessIds(std::vector<int>& ids, int& error) {
    ids.clear();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        error = ErrnoFromSystemError(GetLastError());
        return false;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        ids.push_back(static_cast<int>(entry.th32ProcessID));
    }
    CloseHandle(snapshot);
    std::sort(ids.begin(), ids.end());
    return true;
}

bool ReadModuleName(int processId, std::string& name) {
    PROCESSENTRY32 entry{};
    if (!FindProcessEntry(processId, entry)) return false;
    name = entry.szExeFile;
    const std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    return !name.empty();
}

bool PrepareMemoryForWriting(void* /*start*/, std::size_t /*size*/) { return false; }

bool StatPath(const std::string& path, FileFacts& facts, int& error) {
    // Backup semantics let a folder be opened too; no right to read is needed
    // to learn its facts.
    HANDLE file = OpenShared(path, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
    if (file == INVALID_HANDLE_VALUE) {
        error = ErrnoFromSystemError(GetLastError());
        return false;
    }
    return ReadFacts(file, facts, error);
}

// Windows finds a path from its volume in one call: nothing is kept open.
PathStatter::~PathStatter() = default;

bool PathStatter::Stat(const std::string& path, FileFacts& facts, int& error) {
    (void)m_folderFd;
    return StatPath(path, facts, error);
}

FileLookup LookAtReadableFile(const std::string& path, FileFacts& facts, int& error) {
    HANDLE file = OpenShared(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) {
        error = ErrnoFromSystemError(GetLastError());
        return FileLookup::NotOpened;
    }
    if (!ReadFacts(file, facts, error)) return FileLookup::NotMeasured;
    if (facts.isDirectory) {
        error = EISDIR;
        return FileLookup::NotOpened;
    }
    return FileLookup::Measured;
}

// The system's error codes as the errno values the rest of the program
// reads (and turns into file-exception causes).
int ErrnoFromSystemError(unsigned long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return ENOENT;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_CRC:
            return EIO;
        default:
            return EINVAL;
    }
}

bool IsAbsolutePath(std::string_view path) {
    if (!path.empty() && IsSeparator(path.front())) return true;
    return path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]);
}

// Windows writes a file out on its own schedule; a file replacing another
// is not held back for it.
void StartWritingToDisk(std::FILE*, std::uint64_t, std::uint64_t) {}

bool ReplaceFileWith(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void LowerCurrentThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

bool ToLocalTime(std::time_t when, std::tm& local) { return localtime_s(&local, &when) == 0; }

}  // namespace qvr::platform
