#pragma once
// Where the program meets the operating system's conventions. Windows keeps
// its own behaviour; POSIX systems get the mapping chosen for them here, in one
// place, instead of conditionals scattered through the code.

#include <cstdint>
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

// ---- Implemented once per platform (platform_posix.cpp) ----

// Where per-user configuration lives: $XDG_CONFIG_HOME when set (absolute),
// else $HOME/.config. Holds "QvrCompare.ini" and the return-code file.
std::string ConfigDirectory();
// The user's home directory: $HOME, else the account's home.
std::string HomeDirectory();
// The install directory when none is configured: $HOME/QvrCompare.
std::string DefaultInstallDirectory(std::string_view homeDir);

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
