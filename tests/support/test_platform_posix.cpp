// The POSIX side of the tests' platform helpers: /proc, signals, mkfifo.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

namespace {

// The account the superuser's children become.
bool UnprivilegedIds(uid_t& uid, gid_t& gid) {
    const passwd* account = ::getpwnam("nobody");
    if (!account) return false;
    uid = account->pw_uid;
    gid = account->pw_gid;
    return uid != 0;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

bool DropPrivileges() {
    if (::geteuid() != 0) return true;
    uid_t uid = 0;
    gid_t gid = 0;
    if (!UnprivilegedIds(uid, gid)) return false;
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) return false;
    // Gone for good: the way back must be closed too.
    return ::geteuid() == uid && ::setuid(0) != 0;
}

std::optional<std::string> RunUnprivileged(const std::function<std::string()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        if (!DropPrivileges()) ::_exit(3);
        const bool sent = WriteAll(pipeFds[1], body());
        ::_exit(sent ? 0 : 4);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return text;
}

bool GiveTreeToUnprivileged(const std::string& path) {
    if (::geteuid() != 0) return true;
    uid_t uid = 0;
    gid_t gid = 0;
    if (!UnprivilegedIds(uid, gid)) return false;
    std::error_code ec;
    if (::lchown(path.c_str(), uid, gid) != 0) return false;
    for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (::lchown(it->path().c_str(), uid, gid) != 0) return false;
    }
    return !ec;
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
