// The Windows side of the tests' platform helpers: Toolhelp snapshots,
// process handles and the C runtime's own time-zone variable.

#include "support/test_platform.h"

#include "app/windows_api.h"
#include <tlhelp32.h>

#include <cstdlib>
#include <ctime>

namespace qvr::testing {

bool RunsAsSuperuser() { return false; }

bool MakeFifo(const std::string& /*path*/) { return false; }

void SetTimeZone(const char* zone) {
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
}

const char* CurrentTimeZone(std::string& holder) {
    const char* zone = std::getenv("TZ");
    if (!zone || !*zone) return nullptr;
    holder = zone;
    return holder.c_str();
}

std::string OwnExecutableName() {
    std::string path(MAX_PATH, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint32_t OwnProcessId() { return static_cast<std::uint32_t>(GetCurrentProcessId()); }

bool IsProcessRunning(std::uint32_t pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return false;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

std::vector<std::uint32_t> OwnChildProcesses(const std::string& name) {
    std::vector<std::uint32_t> pids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return pids;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != self) continue;
        std::string exe = entry.szExeFile;
        if (exe.size() > 4 && exe.compare(exe.size() - 4, 4, ".exe") == 0) exe.resize(exe.size() - 4);
        if (name.empty() || exe == name) pids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return pids;
}

int ZombieChildCount() { return 0; }

bool ProcessEntryExists(std::uint32_t pid) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry)) {
        found = entry.th32ProcessID == pid;
    }
    CloseHandle(snapshot);
    return found;
}

void KillProcess(std::uint32_t pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

std::uint32_t StartSleepProgram(int /*seconds*/) { return 0; }

void EndSleepProgram(std::uint32_t pid) { KillProcess(pid); }

}  // namespace qvr::testing
