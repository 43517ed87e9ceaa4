// The Windows side of the tests' platform helpers: Toolhelp snapshots,
// process handles and the C runtime's own time-zone variable.

#include "support/test_platform.h"

#include "app/windows_api.h"
#include <tlhelp32.h>

#include <cstdio>
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

namespace {

std::string OwnExecutablePath() {
    std::string path(MAX_PATH, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

}  // namespace

std::string OwnExecutableName() {
    const std::string path = OwnExecutablePath();
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string OwnExecutableDirectory() {
    const std::string path = OwnExecutablePath();
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
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

bool DropPrivileges() { return false; }

std::optional<std::string> RunUnprivileged(const std::function<std::string()>& /*body*/) { return std::nullopt; }

bool GiveTreeToUnprivileged(const std::string& /*path*/) { return false; }

void SetEnvironmentValue(const char* name, const char* value) {
    // Both copies: the C runtime's, read by getenv, and the system's, which
    // CreateProcess hands to children.
    _putenv_s(name, value ? value : "");
    SetEnvironmentVariableA(name, value);
}

int RunWithCommandLine(const std::string& program, const std::string& commandLine, int timeoutMs) {
    std::string line = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return -1;
    }
    CloseHandle(info.hThread);
    DWORD status = static_cast<DWORD>(-1);
    if (WaitForSingleObject(info.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0) {
        GetExitCodeProcess(info.hProcess, &status);
    } else {
        TerminateProcess(info.hProcess, 1);
    }
    CloseHandle(info.hProcess);
    return static_cast<int>(status);
}

namespace {

// A file the child inherits as one of its standard handles.
HANDLE InheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string ReadWholeFile(const std::string& path) {
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
        std::fclose(file);
    }
    return text;
}

}  // namespace

CapturedRun RunCapturing(const std::string& commandLine, const std::string& scratchDir, int timeoutMs) {
    CapturedRun run;
    const std::string outPath = scratchDir + "\\child.out";
    const std::string errPath = scratchDir + "\\child.err";
    HANDLE out = InheritableFile(outPath);
    HANDLE err = InheritableFile(errPath);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
        return run;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::string line = commandLine;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &info);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) return run;
    CloseHandle(info.hThread);
    if (WaitForSingleObject(info.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0) {
        DWORD status = 0;
        GetExitCodeProcess(info.hProcess, &status);
        run.status = static_cast<int>(status);
    } else {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 5000);
    }
    CloseHandle(info.hProcess);
    run.out = ReadWholeFile(outPath);
    run.err = ReadWholeFile(errPath);
    return run;
}

bool SetModifiedTime(const std::string& path, std::int64_t secondsSince1970) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(secondsSince1970 * 10000000LL + win32::kEpochTicks);
    FILETIME time{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
    const bool set = SetFileTime(file, nullptr, &time, &time) != 0;
    CloseHandle(file);
    return set;
}

}  // namespace qvr::testing
