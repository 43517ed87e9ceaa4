// The POSIX side of the tests' platform helpers: /proc, signals, mkfifo.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/test_platform.h"

extern char** environ;

namespace qvr::testing {

bool RunsAsSuperuser() { return ::geteuid() == 0; }

bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

void SetTimeZone(const char* zone) {
    if (zone) {
        ::setenv("TZ", zone, 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

const char* CurrentTimeZone(std::string& holder) {
    const char* zone = std::getenv("TZ");
    if (!zone) return nullptr;
    holder = zone;
    return holder.c_str();
}

std::string OwnExecutableName() {
    return std::filesystem::read_symlink("/proc/self/exe").filename().string();
}

std::string OwnExecutableDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

std::uint32_t OwnProcessId() { return static_cast<std::uint32_t>(::getpid()); }

bool IsProcessRunning(std::uint32_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (stat.empty()) return false;
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

bool ProcessEntryExists(std::uint32_t pid) {
    return std::filesystem::exists("/proc/" + std::to_string(pid));
}

void KillProcess(std::uint32_t pid) { ::kill(static_cast<pid_t>(pid), SIGKILL); }

void EndSleepProgram(std::uint32_t pid) {
    KillProcess(pid);
    ::waitpid(static_cast<pid_t>(pid), nullptr, 0);
}

std::uint32_t StartSleepProgram(int seconds) {
    std::string name = "sleep";
    std::string count = std::to_string(seconds);
    char* argv[] = {name.data(), count.data(), nullptr};
    pid_t child = 0;
    if (::posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ) != 0) return 0;
    // Until the child has become "sleep".
    const std::string link = "/proc/" + std::to_string(child) + "/exe";
    for (int i = 0; i < 200; ++i) {
        std::error_code ec;
        if (std::filesystem::read_symlink(link, ec).filename().string().rfind("sleep", 0) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return static_cast<std::uint32_t>(child);
}

void SetEnvironmentValue(const char* name, const char* value) {
    if (value) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
}

int RunWithCommandLine(const std::string& /*program*/, const std::string& /*commandLine*/,
                       int /*timeoutMs*/) {
    return -1;
}

CapturedRun RunCapturing(const std::string& /*commandLine*/, const std::string& /*scratchDir*/,
                         int /*timeoutMs*/) {
    return {};
}

bool SetModifiedTime(const std::string& path, std::int64_t secondsSince1970) {
    const timespec times[2] = {{static_cast<time_t>(secondsSince1970), 0},
                               {static_cast<time_t>(secondsSince1970), 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace qvr::testing
