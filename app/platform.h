#pragma once
// Where the program meets the operating system's conventions. Windows keeps
// its own behaviour; POSIX systems get the mapping chosen for them here, in one
// place, instead of conditionals scattered through the code.

#include <string>
#include <string_view>

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

inline std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace qvr::platform
