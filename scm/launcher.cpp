#include "scm/launcher.h"

#include <algorithm>
#include <string_view>

#include "app/busy_flags.h"

namespace qvr {
namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// End of a value that starts at begin: the next blank, or the end of the text.
std::size_t EndOfWord(const std::string& text, std::size_t begin) {
    std::size_t end = text.find(' ', begin);
    return end == std::string::npos ? text.size() : end;
}

}  // namespace

LaunchOptions ParseLaunchOptions(const std::string& options) {
    LaunchOptions parsed;
    if (Contains(options, "PMDEFAULT") || Contains(options, "PMFULLSCREEN") ||
        Contains(options, "PMWINDOW")) {
        parsed.result = kLaunchUnsupported;
        return parsed;
    }
    if (Contains(options, "FOREGROUND")) parsed.titlePrefix = "LaunchWinAppFg-->";
    if (Contains(options, "BACKGROUND")) {
        parsed.titlePrefix = "LaunchWinAppBg-->";
        parsed.showMode = kShowHidden;
    }
    if (Contains(options, "INDEPENDENT")) parsed.waitFlag = 0;
    if (Contains(options, "MAXIMIZE")) parsed.showMode = kShowMaximized;
    return parsed;
}

int ShowWindowValueFor(int showMode) {
    switch (showMode) {
        case kShowHidden: return 7;      // SW_SHOWMINNOACTIVE
        case kShowMaximized: return 3;   // SW_SHOWMAXIMIZED
        case kShowRestore: return 9;     // SW_RESTORE
        default: return 1;               // SW_SHOWNORMAL
    }
}

void StripPackageOption(std::string& commandTemplate) {
    static constexpr std::string_view kSwitch = "-p ";
    std::size_t at = commandTemplate.find(kSwitch);
    if (at == std::string::npos) return;
    std::size_t end = EndOfWord(commandTemplate, at + kSwitch.size());
    commandTemplate.erase(at, end - at);
}

std::string NotFoundMessage(const std::string& commandLine) {
    return "Executable Not Found: '" + commandLine +
           "'\n\nThis executable must be installed\nto the same directory as this "
           "application.\n";
}

std::string LaunchFailedMessage(const std::string& commandLine, const std::string& options,
                                int result) {
    return "Failed to Launch Task '" + commandLine + ", " + options +
           "' Err=" + std::to_string(result) + "\n";
}

Launcher::Launcher(IMessagePump& pump, IMessageBoxHost& messages)
    : m_pump(pump), m_messages(messages) {}

Launcher::~Launcher() = default;

int Launcher::LaunchTask(const std::string& commandLine, int foreground,
                         const std::string& shownCommandLine) {
    std::string options = kDefaultLaunchOptions;
    if (foreground) {
        ReplaceAll(options, "BACK", "FORE");
        ReplaceAll(options, "DEPENDENT", "INDEPENDENT");
    }
    std::uint32_t processId = 0;
    int result = LaunchWinApp(commandLine, options, processId);
    if (result == kLaunchNotFound) {
        m_messages.MessageBox(NotFoundMessage(shownCommandLine), MbButtons::Ok,
                              MbIcon::Exclamation);
    } else if (result < 0) {
        m_messages.MessageBox(LaunchFailedMessage(shownCommandLine, options, result), MbButtons::Ok,
                              MbIcon::Exclamation);
    }
    return result;
}

int Launcher::LaunchWinApp(const std::string& commandLine, const std::string& options,
                           std::uint32_t& processId) {
    processId = 0;
    LaunchOptions parsed = ParseLaunchOptions(options);
    if (parsed.result != 0) return parsed.result;
    std::string title = parsed.titlePrefix + commandLine;
    const int result = StartAndWait(commandLine, title, parsed.showMode, parsed.waitFlag, processId);
    m_lastProcessId = processId;
    return result;
}

int Launcher::StartAndWait(const std::string& commandLine, const std::string& title,
                           int showMode, int waitFlag, std::uint32_t& processId) {
    // The flags as they stand now decide how to wait: a workflow that is busy
    // wants its window kept alive and its Cancel noticed.
    const bool populating = g_populateInProgress != 0;
    const bool reporting = g_reportInProgress != 0;

    process::StartResult started =
        process::Start({commandLine, title, showMode, waitFlag != 0});
    if (started.result != 0) return started.result;
    processId = started.processId;

    if (!waitFlag) {
        process::Release(started.child);
        return kLaunchNotWaited;
    }
    if (populating) {
        WaitWhileBusy(started.child, g_populateInProgress);
    } else if (reporting) {
        WaitWhileBusy(started.child, g_reportInProgress);
    } else {
        process::Wait(started.child, -1);
    }
    return kLaunchWaited;
}

void Launcher::WaitWhileBusy(ChildHandle child, const int& busyFlag) {
    // Waits started from inside the pump below finish before it returns, so
    // this wait's entry stays at its place.
    const std::size_t slot = m_waited.size();
    m_waited.push_back({child, &busyFlag, false});
    for (;;) {
        m_pump.PumpMessages();
        if (m_waited[slot].ended) break;  // Cancel or Exit has ended the tool
        if (busyFlag == 0) {
            // Cancelled without ending the tool: end it here, before the
            // caller goes on as if it had finished.
            EndChild(child);
            break;
        }
        if (process::Wait(child, kPumpIntervalMs)) break;
    }
    m_waited.resize(slot);
}

void Launcher::EndAbandonedTools() { EndTools(true); }

void Launcher::EndRunningTools() { EndTools(false); }

void Launcher::EndTools(bool onlyAbandoned) {
    for (WaitedTool& tool : m_waited) {
        if (tool.ended || (onlyAbandoned && *tool.busyFlag != 0)) continue;
        EndChild(tool.child);
        tool.ended = true;
    }
}

int Launcher::ExecuteWait(const std::string& commandLine, const std::string& title,
                          int showMode, int timeLimitMs, std::uint32_t& processId) {
    // A busy workflow's Cancel, and the window's Exit, are answered while the
    // tool is waited for: the tool is ended at once, not when its time is up.
    const int* busyFlag = g_populateInProgress ? &g_populateInProgress
                          : g_reportInProgress ? &g_reportInProgress
                                               : nullptr;
    process::StartResult started = process::Start({commandLine, title, showMode, true});
    if (started.result != 0) return started.result;
    processId = started.processId;
    const std::size_t slot = m_waited.size();
    if (busyFlag) m_waited.push_back({started.child, busyFlag, false});
    // Without a busy workflow the wait keeps user input out, but the window is
    // repainted between short slices so that it never looks hung.
    bool finished = false;
    int waitedMs = 0;
    for (;;) {
        const int slice = std::min(kPumpIntervalMs, timeLimitMs - waitedMs);
        if (process::Wait(started.child, std::max(slice, 0))) {
            finished = true;
            break;
        }
        waitedMs += slice;
        if (waitedMs >= timeLimitMs) break;
        if (!busyFlag) {
            m_pump.PumpPaintMessages();
            continue;
        }
        m_pump.PumpMessages();
        if (m_waited[slot].ended) {  // Cancel or Exit has ended the tool
            finished = true;
            break;
        }
        if (*busyFlag == 0) break;  // cancelled: ended below
    }
    if (busyFlag) m_waited.resize(slot);
    // A tool that has not answered in time, or whose run was cancelled, is
    // given up; ended, it cannot write its answer later into the file the
    // next check reads.
    if (!finished) EndChild(started.child);
    return kLaunchWaited;
}

void EndChild(ChildHandle child, int graceMs) {
    // A killed tool has no second chance; a few seconds cover a system
    // under load.
    constexpr int kKillWaitMs = 3000;
    process::Terminate(child);
    if (process::Wait(child, graceMs)) return;
    process::Kill(child);
    if (!process::Wait(child, kKillWaitMs)) process::Release(child);
}

}  // namespace qvr
