#pragma once
// What tests do that each platform does its own way: the time zone, special
// files, the superuser, and looking at or ending another process. One
// implementation per platform (test_platform_posix.cpp, test_platform_win32.cpp),
// so the tests themselves stay free of system headers.

#include <cstdint>
#include <string>
#include <vector>

namespace qvr::testing {

// True on the platform the program was born on.
#ifdef _WIN32
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

// Skips a test whose expectations are written in POSIX terms ("/" between
// folders, $HOME, /proc); the Windows behaviour has tests of its own.
#define QVR_SKIP_ON_WINDOWS(reason) \
    if (::qvr::testing::kOnWindows) GTEST_SKIP() << "POSIX behaviour: " << (reason)
// Skips a test of the Windows behaviour elsewhere.
#define QVR_SKIP_UNLESS_WINDOWS() \
    if (!::qvr::testing::kOnWindows) GTEST_SKIP() << "Windows behaviour"

// Permissions do not stop the superuser (never true on Windows).
bool RunsAsSuperuser();
// Makes a named pipe; false where the file system has none.
bool MakeFifo(const std::string& path);
// Sets the TZ variable (removes it for nullptr) and makes the C library read it again.
void SetTimeZone(const char* zone);
// The current value of TZ, or nullptr when unset (copied into holder).
const char* CurrentTimeZone(std::string& holder);

// The file name of this test program's executable.
std::string OwnExecutableName();
std::uint32_t OwnProcessId();
// True while the process exists and has not ended.
bool IsProcessRunning(std::uint32_t pid);
// True while the system still keeps an entry for the process (a zombie too).
bool ProcessEntryExists(std::uint32_t pid);
// Ends the process at once.
void KillProcess(std::uint32_t pid);
// The processes this test program started that the system still keeps an
// entry for (running, or ended and not yet reaped), those named name only
// unless it is empty.
std::vector<std::uint32_t> OwnChildProcesses(const std::string& name = "");
// How many of them have ended without being reaped (zombies; 0 on Windows).
int ZombieChildCount();
// Starts the system's "sleep" program for the given seconds and returns its
// id once it runs under that name; 0 where there is no such program.
std::uint32_t StartSleepProgram(int seconds);
// Ends a program StartSleepProgram started and waits until it is gone.
void EndSleepProgram(std::uint32_t pid);

}  // namespace qvr::testing
