// The POSIX side of the tests' platform helpers: /proc, signals, mkfifo.

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

namespace {

struct ProcessStat {
    std::uint32_t pid = 0;
    std::string name;
    char state = '?';
    long parent = 0;
};

// "pid (name) S ppid ...": the name may hold blanks and parentheses, so it
// runs to the last ")".
std::vector<ProcessStat> OwnChildren() {
    std::vector<ProcessStat> children;
    const long self = static_cast<long>(::getpid());
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string pidText = entry.path().filename().string();
        if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "stat");
        const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t open = stat.find('(');
        const std::size_t close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 >= stat.size()) continue;
        ProcessStat process;
        process.pid = static_cast<std::uint32_t>(std::stoul(pidText));
        process.name = stat.substr(open + 1, close - open - 1);
        process.state = stat[close + 2];
        process.parent = std::strtol(stat.c_str() + close + 4, nullptr, 10);
        if (process.parent == self) children.push_back(process);
    }
    return children;
}

}  // namespace

std::vector<std::uint32_t> OwnChildProcesses(const std::string& name) {
    std::vector<std::uint32_t> pids;
    for (const ProcessStat& child : OwnChildren()) {
        if (name.empty() || child.name == name) pids.push_back(child.pid);
    }
    return pids;
}

int ZombieChildCount() {
    int zombies = 0;
    for (const ProcessStat& child : OwnChildren()) zombies += child.state == 'Z' ? 1 : 0;
    return zombies;
}

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

}  // namespace qvr::testing
