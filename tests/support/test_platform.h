#pragma once
// What tests do that each platform does its own way: the time zone, special
// files, the superuser, and looking at or ending another process. One
// implementation per platform (test_platform_posix.cpp, test_platform_win32.cpp),
// so the tests themselves stay free of system headers.

#include <cstdint>
#include <functional>
#include <optional>
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

// Permission checks that must really deny something run in a child process
// that permissions bind: the superuser's child becomes the unprivileged
// account "nobody", anyone else's stays who it is. None of this exists on
// Windows (every call fails there).
//
// Makes this process such a one; call it in a child only. False when the
// privileges could not be given up.
bool DropPrivileges();
// Runs body in such a child and gives back the text it returned, or nothing
// when the child could not be made, could not give up its privileges or did
// not end normally.
std::optional<std::string> RunUnprivileged(const std::function<std::string()>& body);
// Makes the unprivileged account the owner of everything below path (the
// superuser only; for anyone else there is nothing to do). False on failure.
bool GiveTreeToUnprivileged(const std::string& path);
// Makes a named pipe; false where the file system has none.
bool MakeFifo(const std::string& path);
// Sets the TZ variable (removes it for nullptr) and makes the C library read it again.
void SetTimeZone(const char* zone);
// The current value of TZ, or nullptr when unset (copied into holder).
const char* CurrentTimeZone(std::string& holder);

// The file name of this test program's executable.
std::string OwnExecutableName();
// The folder this test program's executable lies in (where the helper
// programs built beside it are).
std::string OwnExecutableDirectory();
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

// Sets an environment variable of this process, which children inherit
// (removes it for nullptr).
void SetEnvironmentValue(const char* name, const char* value);

// Windows: starts the program file with exactly this command line (what the
// child's GetCommandLineA returns; its first word need not name the program),
// waits for it and returns its exit status; -1 when it could not be started
// or did not end within the limit. Elsewhere, where a program receives its
// arguments split, always -1.
int RunWithCommandLine(const std::string& program, const std::string& commandLine,
                       int timeoutMs = 60000);

// Sets a file's last-write time (seconds since 1970); false on failure.
bool SetModifiedTime(const std::string& path, std::int64_t secondsSince1970);

// What a child wrote and how it ended.
struct CapturedRun {
    int status = -1;  // -1: not started, or ended by the time limit
    std::string out;
    std::string err;
};
// Windows: runs the command line (its program searched for as CreateProcess
// does, on PATH too) with standard output and error going to files of their
// own in scratchDir, waits, and reads both back byte for byte. Elsewhere
// status -1.
CapturedRun RunCapturing(const std::string& commandLine, const std::string& scratchDir,
                         int timeoutMs = 120000);

}  // namespace qvr::testing
