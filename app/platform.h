#pragma once
// Where the program meets the operating system's conventions. Windows keeps
// its own behaviour; POSIX systems get the mapping chosen for them here, in one
// place, instead of conditionals scattered through the code.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace qvr::platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
inline constexpr bool kIsWindows = true;
#else
inline constexpr char kSeparator = '/';
inline constexpr bool kIsWindows = false;
#endif

// The modes text files we write line by line (the trace) are opened with:
// text mode on Windows, where each "\n" reaches the disk as CR LF and reads
// back as "\n"; elsewhere the bytes as they stand.
inline constexpr const char* kTextReadMode = kIsWindows ? "rt" : "r";
inline constexpr const char* kTextAppendMode = kIsWindows ? "at" : "a";

inline bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Joins a directory and a name the way the program joins file-system paths
// ("%s\\%s" on Windows, "%s/%s" elsewhere).
inline std::string JoinPath(std::string_view dir, std::string_view name) {
    std::string joined(dir);
    joined += kSeparator;
    joined += name;
    return joined;
}

// Upper-cases ASCII letters only; other bytes pass through unchanged.
inline std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// A program's file name: "Windiff.exe" on Windows, "Windiff" elsewhere.
inline std::string ExecutableName(std::string_view baseName) {
    std::string name(baseName);
    if constexpr (kIsWindows) name += ".exe";
    return name;
}

inline std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// ---- Implemented once per platform (platform_posix.cpp, platform_win32.cpp) ----

// What the program reads about a file or folder. Error numbers are errno
// values on every platform; Windows maps its own codes to the nearest one.
struct FileFacts {
    bool isDirectory = false;
    bool isRegularFile = false;
    std::uint64_t size = 0;
    std::uint64_t identity = 0;   // the file's number on its volume
    std::int64_t modifiedNs = 0;  // last write, nanoseconds since 1970
};

// The named file's facts, links followed; false with the error number.
bool StatPath(const std::string& path, FileFacts& facts, int& error);

// StatPath for many paths in a row, for one thread: the folder of the last
// path stays open, and the next path in that folder is found from it
// instead of walking every folder from the root again.
class PathStatter {
public:
    PathStatter() = default;
    ~PathStatter();
    PathStatter(const PathStatter&) = delete;
    PathStatter& operator=(const PathStatter&) = delete;
    bool Stat(const std::string& path, FileFacts& facts, int& error);

private:
    std::string m_folder;
    int m_folderFd = -1;
};

// Has the system supply the pages of [start, start + size) now, ready to be
// written, instead of one at a time at their first write; what the memory
// holds does not change. Only whole pages inside the range are prepared.
// False where the system takes no such request.
bool PrepareMemoryForWriting(void* start, std::size_t size);

// Has the system start putting [offset, offset + size) of a file being
// written on its way to the disk now, without waiting for it; nothing where
// the system takes no such request.
void StartWritingToDisk(std::FILE* file, std::uint64_t offset, std::uint64_t size);

enum class FileLookup { Measured, NotOpened, NotMeasured };
// The facts of a file that can be opened for reading: it is opened (never
// waiting, whatever kind of file the name leads to), measured and closed. A
// folder does not count as a file (EISDIR). The error number is set unless
// the result is Measured.
FileLookup LookAtReadableFile(const std::string& path, FileFacts& facts, int& error);

// The operating system's own error code as the nearest errno value (the
// code itself where it already is one).
int ErrnoFromSystemError(unsigned long code);

// True when the path starts at a root ("/" here; a drive root or a "\\"
// share on Windows), so it does not depend on the current directory.
bool IsAbsolutePath(std::string_view path);

// Puts the file at from in place of the file at to in one step (replacing
// it when it exists), so a reader sees the old file or the new one, never a
// mix. False on failure, with from left in place.
bool ReplaceFileWith(const std::string& from, const std::string& to);

// The calendar time in the local time zone, the zone TZ names now (the
// system's own zone is read once); false when the time cannot be converted.
bool ToLocalTime(std::time_t when, std::tm& local);

// Lets the calling thread run only on time the others leave: work done
// beside a tool the user waits for must not slow the tool down.
void LowerCurrentThreadPriority();

// Hands one trace line to a debugger: OutputDebugStringA on Windows, where a
// debugger or a viewer of debug output picks it up; elsewhere standard error,
// and only when the environment variable QVRCOMPARE_DEBUG is set.
void WriteDebuggerOutput(const std::string& text);

// The process's command line as one text, as Windows hands it to a program
// (GetCommandLineA); empty elsewhere, where a program receives its arguments
// already split.
std::string ProcessCommandLine();

// Makes standard output carry the bytes as they are written. Windows opens it
// in text mode, where every LF becomes CR LF: a CSV whose lines end in CR LF
// would reach a pipe or a file with CR CR LF.
void UseBinaryStandardOutput();

// Where per-user configuration lives: $XDG_CONFIG_HOME when set (absolute),
// else $HOME/.config. Holds "QvrCompare.ini" and the return-code file.
std::string ConfigDirectory();
// The user's home directory: $HOME, else the account's home.
std::string HomeDirectory();
// The install directory when none is configured: $HOME/QvrCompare.
std::string DefaultInstallDirectory(std::string_view homeDir);
// The folders a program given by its bare name is looked for in ($PATH).
std::string ProgramSearchPath();
// True when one of the folders of searchPath (separated as in $PATH) holds an
// executable file called name. Always false on Windows, which searches the
// program's own folder first and needs no help.
bool IsProgramOnSearchPath(std::string_view name, std::string_view searchPath);
// True when path names a regular file this process may execute.
bool IsExecutableFile(const std::string& path);

// Current-directory operations; false on failure.
bool ChangeDirectory(const std::string& dir);
bool MakeDirectory(const std::string& dir);  // one level only
std::string CurrentDirectory();              // empty when it cannot be read

int CurrentProcessId();
// Ends this process at once with the given status, as a termination from
// outside would: no destructors run.
[[noreturn]] void EndThisProcess(int status);

// The ids of all running processes; false with the error number in error
// when they cannot be listed.
bool ListProcessIds(std::vector<int>& ids, int& error);
// The base name of a process's executable, its "module"; false when it cannot
// be read (for example another user's process).
bool ReadModuleName(int processId, std::string& name);

}  // namespace qvr::platform
