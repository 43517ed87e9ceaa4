// The POSIX side of the platform mapping: configuration directory, current
// directory, file facts, and processes as /proc shows them.

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "app/platform.h"

namespace qvr::platform {
namespace {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool IsProcessIdText(const char* name) {
    if (!*name) return false;
    for (const char* p = name; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
    }
    return true;
}

// The kernel marks the link of a replaced or removed executable.
void DropDeletedMark(std::string& target) {
    constexpr std::string_view kMark = " (deleted)";
    if (target.size() > kMark.size() &&
        std::string_view(target).substr(target.size() - kMark.size()) == kMark) {
        target.resize(target.size() - kMark.size());
    }
}

FileFacts FactsOf(const struct stat& info) {
    FileFacts facts;
    facts.isDirectory = S_ISDIR(info.st_mode);
    facts.isRegularFile = S_ISREG(info.st_mode);
    facts.size = static_cast<std::uint64_t>(info.st_size);
    facts.identity = static_cast<std::uint64_t>(info.st_ino);
    facts.modifiedNs =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return facts;
}

}  // namespace

bool PrepareMemoryForWriting(void* start, std::size_t size) {
#if defined(MADV_POPULATE_WRITE)
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = (reinterpret_cast<std::uintptr_t>(start) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(start) + size) / page * page;
    if (end <= first) return true;
    return ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE) == 0;
#else
    (void)start;
    (void)size;
    return false;
#endif
}

void StartWritingToDisk(std::FILE* file, std::uint64_t offset, std::uint64_t size) {
#if defined(__linux__)
    (void)::sync_file_range(::fileno(file), static_cast<off64_t>(offset), static_cast<off64_t>(size),
                            SYNC_FILE_RANGE_WRITE);
#else
    (void)file;
    (void)offset;
    (void)size;
#endif
}

bool StatPath(const std::string& path, FileFacts& facts, int& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = errno;
        return false;
    }
    facts = FactsOf(info);
    return true;
}

PathStatter::~PathStatter() {
    if (m_folderFd >= 0) ::close(m_folderFd);
}

bool PathStatter::Stat(const std::string& path, FileFacts& facts, int& error) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return StatPath(path, facts, error);
    const std::string_view folder(path.data(), slash + 1);
    if (m_folderFd < 0 || folder != m_folder) {
        if (m_folderFd >= 0) ::close(m_folderFd);
        m_folder.assign(folder);
#ifdef O_PATH
        m_folderFd = ::open(m_folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
        m_folderFd = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
    }
    // A folder that cannot be opened is left to the whole path, which then
    // gives the error the path itself meets.
    if (m_folderFd < 0) return StatPath(path, facts, error);
    struct stat info {};
    if (::fstatat(m_folderFd, path.c_str() + slash + 1, &info, 0) != 0) {
        error = errno;
        return false;
    }
    facts = FactsOf(info);
    return true;
}

FileLookup LookAtReadableFile(const std::string& path, FileFacts& facts, int& error) {
    // Non-blocking, so a pipe without a writer cannot hold the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return FileLookup::NotOpened;
    }
    struct stat info {};
    const bool measured = ::fstat(fd, &info) == 0;
    if (!measured) error = errno;
    ::close(fd);
    if (!measured) return FileLookup::NotMeasured;
    if (S_ISDIR(info.st_mode)) {
        error = EISDIR;
        return FileLookup::NotOpened;
    }
    facts = FactsOf(info);
    return FileLookup::Measured;
}

int ErrnoFromSystemError(unsigned long code) { return static_cast<int>(code); }

bool IsAbsolutePath(std::string_view path) { return !path.empty() && path.front() == '/'; }

bool ReplaceFileWith(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void LowerCurrentThreadPriority() {
    // On Linux a nice value belongs to the thread named by its id.
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
}

bool ToLocalTime(std::time_t when, std::tm& local) {
    // tzset looks at the system's zone file on every call, a file status per
    // converted time, and a report dates every file it lists. The zone is
    // read again only when TZ has changed since the last conversion;
    // localtime_r keeps to the zone read last.
    static std::mutex zoneMutex;
    static bool zoneRead = false;
    static std::optional<std::string> zoneSeen;  // TZ at the last reading; none when unset
    const std::lock_guard lock(zoneMutex);
    const char* zone = std::getenv("TZ");
    const bool changed = zone ? !zoneSeen || *zoneSeen != zone : zoneSeen.has_value();
    if (!zoneRead || changed) {
        ::tzset();
        zoneRead = true;
        zoneSeen = zone ? std::optional<std::string>(zone) : std::nullopt;
    }
    return ::localtime_r(&when, &local) != nullptr;
}

std::string ProcessCommandLine() { return {}; }

void WriteDebuggerOutput(const std::string& text) {
    if (!std::getenv("QVRCOMPARE_DEBUG")) return;
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void UseBinaryStandardOutput() {}

std::string HomeDirectory() {
    std::string home = EnvironmentValue("HOME");
    if (!home.empty()) return home;
    if (const passwd* account = ::getpwuid(::getuid()); account && account->pw_dir) {
        return account->pw_dir;
    }
    return {};
}

std::string ConfigDirectory() {
    // A relative XDG_CONFIG_HOME is to be ignored, as for every other program.
    std::string config = EnvironmentValue("XDG_CONFIG_HOME");
    if (!config.empty() && config.front() == '/') return config;
    return JoinPath(HomeDirectory(), ".config");
}

std::string DefaultInstallDirectory(std::string_view homeDir) {
    return JoinPath(homeDir, "QvrCompare");
}

std::string ProgramSearchPath() { return EnvironmentValue("PATH"); }

bool IsExecutableFile(const std::string& path) {
    struct stat facts {};
    return ::stat(path.c_str(), &facts) == 0 && S_ISREG(facts.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

bool IsProgramOnSearchPath(std::string_view name, std::string_view searchPath) {
    if (name.empty() || searchPath.empty()) return false;
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string_view::npos) end = searchPath.size();
        // An empty entry is the current directory, as the shell reads it.
        std::string_view folder = searchPath.substr(start, end - start);
        if (IsExecutableFile(JoinPath(folder.empty() ? std::string_view(".") : folder, name))) return true;
        start = end + 1;
    }
    return false;
}

bool ChangeDirectory(const std::string& dir) { return ::chdir(dir.c_str()) == 0; }

bool MakeDirectory(const std::string& dir) { return ::mkdir(dir.c_str(), 0777) == 0; }

std::string CurrentDirectory() {
    std::string dir(256, '\0');
    for (;;) {
        if (::getcwd(dir.data(), dir.size())) {
            dir.resize(std::char_traits<char>::length(dir.c_str()));
            return dir;
        }
        if (errno != ERANGE) return {};
        dir.resize(dir.size() * 2);
    }
}

int CurrentProcessId() { return static_cast<int>(::getpid()); }

void EndThisProcess(int status) {
    // Nothing buffered may be lost: the trace and the settings were written
    // just before.
    std::fflush(nullptr);
    ::_exit(status);
}

bool ListProcessIds(std::vector<int>& ids, int& error) {
    ids.clear();
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        error = errno;
        return false;
    }
    while (const dirent* entry = ::readdir(proc)) {
        if (IsProcessIdText(entry->d_name)) ids.push_back(std::atoi(entry->d_name));
    }
    ::closedir(proc);
    std::sort(ids.begin(), ids.end());
    return true;
}

bool ReadModuleName(int processId, std::string& name) {
    std::string link = "/proc/" + std::to_string(processId) + "/exe";
    std::string target(4096, '\0');
    ssize_t got = ::readlink(link.c_str(), target.data(), target.size());
    if (got <= 0) return false;
    target.resize(static_cast<std::size_t>(got));
    DropDeletedMark(target);
    std::size_t slash = target.rfind('/');
    name = slash == std::string::npos ? target : target.substr(slash + 1);
    return !name.empty();
}

}  // namespace qvr::platform
