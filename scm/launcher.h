#pragma once
// Starting the outside programs (the SCM tools and the file viewers) as child
// processes. A background launch waits for the child; while a workflow is
// busy the wait keeps the window alive by pumping its messages, and a Cancel
// (the busy flag cleared) ends the wait without stopping the child. A child
// that is no longer waited for is adopted by the launcher and reaped once it
// ends, so finished children never linger.

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

// Replaces the password behind "-pw " by "******" so a command line can be
// traced. A password in double quotes is masked up to its closing quote.
void MaskPassword(std::string& commandLine);

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
    // A negative result is also shown to the user.
    int LaunchTask(const std::string& commandLine, int foreground);

    int LaunchWinApp(const std::string& commandLine, const std::string& options,
                     std::uint32_t& processId);

    int StartAndWait(const std::string& commandLine, const std::string& title, int showMode,
                     int waitFlag, std::uint32_t& processId);

    // Starts the child and waits at most timeLimitMs; no input is dispatched
    // meanwhile, only paint messages between waits of kPumpIntervalMs.
    // Returns 0, kLaunchNotFound or kLaunchFailed.
    int ExecuteWait(const std::string& commandLine, const std::string& title, int showMode,
                    int timeLimitMs, std::uint32_t& processId);

    // Reaps the adopted children that have ended; returns how many still run.
    std::size_t ReapFinishedChildren();
    std::size_t AdoptedChildCount() const { return m_adopted.size(); }
    // The process id of the child the last launch started, or 0.
    std::uint32_t LastProcessId() const { return m_lastProcessId; }

    // How long one wait lasts between two pumps while a workflow is busy.
    static constexpr int kPumpIntervalMs = 50;

private:
    void WaitWhileBusy(ChildHandle child, const int& busyFlag);
    void Adopt(ChildHandle child);

    IMessagePump& m_pump;
    IMessageBoxHost& m_messages;
    std::vector<ChildHandle> m_adopted;
    std::uint32_t m_lastProcessId = 0;
};

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

}  // namespace process

}  // namespace qvr
