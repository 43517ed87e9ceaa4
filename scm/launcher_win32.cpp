// Starting and waiting for children on Windows: one CreateProcessA call with
// the whole command line, the platform searching for the program.

// Our headers first: the system headers define IDOK, MessageBox and other
// names of the host interface as macros.
#include "scm/launcher.h"

#include "app/windows_api.h"

#include <vector>

namespace qvr::process {
namespace {

constexpr DWORD kWaitingFlags = CREATE_NEW_CONSOLE | REALTIME_PRIORITY_CLASS |
                                CREATE_NEW_PROCESS_GROUP;  // 0x310
constexpr DWORD kDetachedFlags = DETACHED_PROCESS | REALTIME_PRIORITY_CLASS |
                                 CREATE_NEW_PROCESS_GROUP;  // 0x308

int ResultForError(DWORD error) {
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_DIRECTORY)
               ? kLaunchNotFound
               : kLaunchFailed;
}

HANDLE AsHandle(ChildHandle child) { return reinterpret_cast<HANDLE>(child); }

}  // namespace

StartResult Start(const StartRequest& request) {
    StartResult started;
    // The title buffer is sized to the title, so a long command line is never
    // written beyond it.
    std::vector<char> title(request.title.begin(), request.title.end());
    title.push_back('\0');
    std::vector<char> commandLine(request.commandLine.begin(), request.commandLine.end());
    commandLine.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.lpTitle = title.data();
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(ShowWindowValueFor(request.showMode));

    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        request.waiting ? kWaitingFlags : kDetachedFlags, nullptr, nullptr,
                        &startup, &info)) {
        started.result = ResultForError(GetLastError());
        return started;
    }
    CloseHandle(info.hThread);
    started.child = reinterpret_cast<ChildHandle>(info.hProcess);
    started.processId = info.dwProcessId;
    return started;
}

bool Wait(ChildHandle child, int timeoutMs) {
    HANDLE process = AsHandle(child);
    DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    if (WaitForSingleObject(process, limit) == WAIT_TIMEOUT) return false;
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);  // read as the platform expects; not passed on
    CloseHandle(process);
    return true;
}

bool Poll(ChildHandle child) { return Wait(child, 0); }

// Windows has no console signal for a process in another console; ending an
// abandoned tool is TerminateProcess, for the polite request too.
void Terminate(ChildHandle child) { TerminateProcess(AsHandle(child), 1); }

void Kill(ChildHandle child) { TerminateProcess(AsHandle(child), 1); }

// A process that ended leaves nothing behind once its handle is closed.
void Release(ChildHandle child) { CloseHandle(AsHandle(child)); }

void EndRunningChildrenNow() {}

}  // namespace qvr::process
