#pragma once
// The Windows system headers, included the one way the program's Windows
// files want them: lean, without the min/max macros that break <algorithm>,
// and without the MessageBox, GetProfileString and WriteProfileString macros,
// which would rename the members of the message-box host and the settings
// store. IDOK and its kin stay macros, so a file includes its own headers
// before this one.

#ifndef _WIN32
#error "windows_api.h belongs to the Windows side of the platform mapping"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef MessageBox
#undef GetProfileString
#undef WriteProfileString

#include <cstdint>

namespace qvr::win32 {

// 100-nanosecond ticks between 1601-01-01, where the system's file times
// start, and 1970-01-01, where the program's times start.
inline constexpr std::int64_t kEpochTicks = 116444736000000000LL;

// A file time as 100-nanosecond ticks since 1970-01-01.
inline std::int64_t TicksSince1970(const FILETIME& time) {
    const std::int64_t ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                  time.dwLowDateTime);
    return ticks - kEpochTicks;
}

}  // namespace qvr::win32
