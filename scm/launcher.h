#pragma once
// Starting the outside programs (the SCM tools and the file viewers) as child
// processes. A background launch waits for the child; while a workflow is
// busy the wait keeps the window alive by pumping its messages. A Cancel (the
// busy flag cleared) or Exit ends the tool the workflow abandons - asked to
// end, then killed after a short grace period, and reaped - so it cannot go
// on writing copies into the temp folder that the next run reads. A child
// nobody waits for (a viewer) is reaped as soon as it ends, so finished
// children never linger.

#include <cstdint>
#include <string>
#include <vector>

#include "app/message_box_host.h"
#include "app/message_pump.h"

namespace qvr {

// Launch results.
inline constexpr int kLaunchWaited = 0;        // started and waited for (or the wait was cancelled)
inline constexpr int kLaunchNotWaited = 1;     // started, not waited for
inline constexpr int kLaunchNotFound = -2;     // the program or a directory on its path is missing
inline constexpr int kLaunchUnsupported = -7;  // the options name an unsupported window mode
inline constexpr int kLaunchFailed = -32;      // any other start failure

inline constexpr const char* kDefaultLaunchOptions = "BACKGROUND, DEPENDENT, WINSESSIONCHILD";

// Show modes of LaunchWinApp.
inline constexpr int kShowHidden = 0;
inline constexpr int kShowNormal = 1;
inline constexpr int kShowMaximized = 3;
inline constexpr int kShowRestore = 9;

// A started child as the platform knows it: a process handle on Windows, the
// process id elsewhere.
using ChildHandle = std::intptr_t;

// What LaunchWinApp makes of an options text.
struct LaunchOptions {
    int result = 0;  // kLaunchUnsupported when the options must be refused
    std::string titlePrefix;
    int showMode = kShowNormal;
    int waitFlag = 1;
};

LaunchOptions ParseLaunchOptions(const std::string& options);

// The platform's window state for the child's first window (SW_... values).
int ShowWindowValueFor(int showMode);

// Removes the "-p" option and its value from a command template.
void StripPackageOption(std::string& commandTemplate);

// The launch failure messages LaunchTask shows.
std::string NotFoundMessage(const std::string& commandLine);
std::string LaunchFailedMessage(const std::string& commandLine, const std::string& options,
                                int result);

class Launcher {
public:
    Launcher(IMessagePump& pump, IMessageBoxHost& messages);
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Background launches (foreground 0) wait; foreground launches do not.
    // A negative result is also shown to the user, naming the command line as
    // shownCommandLine gives it (a tool's line with its password masked).
    int LaunchTask(const std::string& commandLine, int foreground,
                   const std::string& shownCommandLine);
    int LaunchTask(const std::string& commandLine, int foreground) {
        return LaunchTask(commandLine, foreground, commandLine);
    }

    int LaunchWinApp(const std::string& commandLine, const std::string& options,
                     std::uint32_t& processId);

    int StartAndWait(const std::string& commandLine, const std::string& title, int showMode,
                     int waitFlag, std::uint32_t& processId);

    // Starts the child and waits at most timeLimitMs; no input is dispatched
    // meanwhile, only paint messages between waits of kPumpIntervalMs.
    // Returns 0, kLaunchNotFound or kLaunchFailed.
    int ExecuteWait(const std::string& commandLine, const std::string& title, int showMode,
                    int timeLimitMs, std::uint32_t& processId);

    // Ends every tool that a busy wait still waits for while that wait's
    // busy flag is cleared: the Cancel of a workflow calls it, so its tool is
    // gone before the window is unlocked for the next run.
    void EndAbandonedTools();
    // Ends every tool that a busy wait still waits for, whatever the busy
    // flags say: Exit calls it before the program ends.
    void EndRunningTools();
    // How many tools busy waits are waiting for now (nested waits count each).
    std::size_t WaitedToolCount() const { return m_waited.size(); }
    // The process id of the child the last launch started, or 0.
    std::uint32_t LastProcessId() const { return m_lastProcessId; }

    // How long one wait lasts between two pumps while a workflow is busy.
    static constexpr int kPumpIntervalMs = 50;
    // How long an abandoned tool is given to end by itself before it is killed.
    static constexpr int kTerminateGraceMs = 1000;

private:
    struct WaitedTool {
        ChildHandle child;
        const int* busyFlag;
        bool ended;
    };

    void WaitWhileBusy(ChildHandle child, const int& busyFlag);
    void EndTools(bool onlyAbandoned);

    IMessagePump& m_pump;
    IMessageBoxHost& m_messages;
    // The tools of the busy waits in progress, the innermost (a wait started
    // from inside another one's pump) last.
    std::vector<WaitedTool> m_waited;
    std::uint32_t m_lastProcessId = 0;
};

// Ends a child: asks it to end, kills it when it has not ended within
// graceMs, and reaps it. Returns once it is gone (or, should even the kill
// not end it in time, once it has been handed over to be reaped).
void EndChild(ChildHandle child, int graceMs = Launcher::kTerminateGraceMs);

// The platform's part of starting and waiting, one implementation per
// platform (launcher_posix.cpp, launcher_win32.cpp).
namespace process {

struct StartRequest {
    const std::string& commandLine;
    const std::string& title;
    int showMode = kShowNormal;
    bool waiting = true;  // a waited-for child gets its own console on Windows
};

struct StartResult {
    int result = 0;  // 0 started, kLaunchNotFound or kLaunchFailed
    ChildHandle child = 0;
    std::uint32_t processId = 0;
};

StartResult Start(const StartRequest& request);

// Waits up to timeoutMs (negative: without limit). True when the child has
// ended; it is then reaped and its handle released.
bool Wait(ChildHandle child, int timeoutMs);

// True when the child has ended (reaped and released); never blocks.
bool Poll(ChildHandle child);

// Asks the child, and whatever it started in its process group, to end.
void Terminate(ChildHandle child);
// Ends the child and its process group at once.
void Kill(ChildHandle child);

// The child is no longer waited for: the platform reaps it the moment it
// ends, without any later call (and never reaps another child).
void Release(ChildHandle child);

// Asks every waited-for child not yet reaped, with its process group, to end.
// Safe inside a signal handler: a command-line run interrupted by Ctrl+C
// calls it so no tool it started keeps working in the background. Does
// nothing on Windows, where an ended console program's tools are the
// console's to end.
void EndRunningChildrenNow();

}  // namespace process

}  // namespace qvr
