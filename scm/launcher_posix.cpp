// Starting and waiting for children on POSIX systems. The command line is
// split into arguments and the program is started directly, searched on PATH,
// never through a shell, so no character of a password or project name can
// change what is run.

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "scm/command_line.h"
#include "scm/launcher.h"

extern char** environ;

namespace qvr::process {
namespace {

int ResultForError(int error) {
    // The platform's "file not found", "path not found" and "directory name
    // invalid" all mean the program could not be found.
    return (error == ENOENT || error == ENOTDIR) ? kLaunchNotFound : kLaunchFailed;
}

// The child has no console of ours: its standard streams go nowhere, so a
// tool's chatter never mixes with the program's own output.
class SpawnActions {
public:
    SpawnActions() {
        posix_spawn_file_actions_init(&m_actions);
        for (int fd = 0; fd <= 2; ++fd) {
            posix_spawn_file_actions_addopen(&m_actions, fd, "/dev/null",
                                             fd == 0 ? O_RDONLY : O_WRONLY, 0);
        }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        // No handles are inherited.
        posix_spawn_file_actions_addclosefrom_np(&m_actions, 3);
#endif
    }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    const posix_spawn_file_actions_t* Get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
};

// The child starts with default signal dispositions and its own process
// group, as a new process group does on Windows, so a Ctrl+C meant for the
// program does not reach the tool.
class SpawnAttributes {
public:
    SpawnAttributes() {
        posix_spawnattr_init(&m_attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigdefault(&m_attributes, &all);
        posix_spawnattr_setpgroup(&m_attributes, 0);
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                    POSIX_SPAWN_SETPGROUP);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    const posix_spawnattr_t* Get() const { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes{};
};

// The waited-for children not yet reaped, for EndRunningChildrenNow: plain
// lock-free slots, because a signal handler reads them. A child is taken out
// right after it is reaped; a signal in between meets a process group that
// no longer exists, as ids are not reused that fast.
constexpr std::size_t kRunningSlots = 64;
std::atomic<pid_t> g_running[kRunningSlots];
static_assert(std::atomic<pid_t>::is_always_lock_free);

void NoteRunning(pid_t pid) {
    for (auto& slot : g_running) {
        pid_t free = 0;
        if (slot.compare_exchange_strong(free, pid)) return;
    }
}

void NoteEnded(pid_t pid) {
    for (auto& slot : g_running) {
        pid_t expected = pid;
        if (slot.compare_exchange_strong(expected, 0)) return;
    }
}

bool Reaped(pid_t pid, bool block) {
    for (;;) {
        int status = 0;
        pid_t got = ::waitpid(pid, &status, block ? 0 : WNOHANG);
        if (got == 0) return false;
        if (got < 0 && errno == EINTR) continue;
        // Ended, or not our child (any more): nothing left to wait for.
        NoteEnded(pid);
        return true;
    }
}

// Sends sig to the child's process group (the child leads it, so a wrapper
// script and the tool it runs both get it), else to the child alone. The
// child is not reaped yet, so neither id can belong to another process.
void Signal(ChildHandle child, int sig) {
    const pid_t pid = static_cast<pid_t>(child);
    if (::kill(-pid, sig) != 0) ::kill(pid, sig);
}

// The body of a reaper thread: waits for exactly this child, so it never
// takes the exit status of a child another part of the program waits for.
void* ReapWhenEnded(void* argument) {
    const auto pid = static_cast<pid_t>(reinterpret_cast<std::intptr_t>(argument));
    Reaped(pid, true);
    return nullptr;
}

// A descriptor that becomes readable when the child ends (Linux 5.3 on);
// not valid where the system has none.
class ProcessDescriptor {
public:
    explicit ProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
        m_fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
        (void)pid;
#endif
    }
    ~ProcessDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    ProcessDescriptor(const ProcessDescriptor&) = delete;
    ProcessDescriptor& operator=(const ProcessDescriptor&) = delete;
    bool Valid() const { return m_fd >= 0; }
    // Returns when the child has ended, a signal came, or timeoutMs passed.
    void WaitForEnd(int timeoutMs) const {
        pollfd watched{m_fd, POLLIN, 0};
        ::poll(&watched, 1, timeoutMs);
    }

private:
    int m_fd = -1;
};

}  // namespace

StartResult Start(const StartRequest& request) {
    StartResult started;
    std::vector<std::string> args = SplitCommandLine(request.commandLine);
    if (args.empty()) {
        started.result = kLaunchFailed;
        return started;
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    SpawnActions actions;
    SpawnAttributes attributes;
    pid_t pid = 0;
    // An interrupt that came between the start and the note would end the
    // program and leave this tool running in its own process group: the
    // signals that end it wait until the tool is noted. (The tool's own
    // signal mask is set by the spawn attributes.)
    sigset_t ending, before;
    sigemptyset(&ending);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, sig);
    pthread_sigmask(SIG_BLOCK, &ending, &before);
    int error = ::posix_spawnp(&pid, argv[0], actions.Get(), attributes.Get(), argv.data(), environ);
    if (error == 0 && request.waiting) NoteRunning(pid);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (error != 0) {
        started.result = ResultForError(error);
        return started;
    }
    started.child = static_cast<ChildHandle>(pid);
    started.processId = static_cast<std::uint32_t>(pid);
    return started;
}

bool Wait(ChildHandle child, int timeoutMs) {
    const pid_t pid = static_cast<pid_t>(child);
    if (timeoutMs < 0) return Reaped(pid, true);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // Woken the moment the child ends where the system gives a process
    // descriptor: a tool that answers in a few milliseconds is not left
    // waiting for the next look. Elsewhere it looks every few milliseconds.
    const ProcessDescriptor ended(pid);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (Reaped(pid, false)) return true;
        auto now = Clock::now();
        if (now >= deadline) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        if (ended.Valid()) {
            // Rounded up, so a wait never ends just before its time.
            ended.WaitForEnd(static_cast<int>(left.count()) + 1);
            continue;
        }
        std::this_thread::sleep_for(std::min(pause, left));
        // The tools a populate runs one after the other end within tens of
        // milliseconds: a short pause notices each end at once, and costs a
        // waiting program next to nothing.
        pause = std::min(pause * 2, std::chrono::milliseconds(2));
    }
}

bool Poll(ChildHandle child) { return Reaped(static_cast<pid_t>(child), false); }

void Terminate(ChildHandle child) { Signal(child, SIGTERM); }

void Kill(ChildHandle child) { Signal(child, SIGKILL); }

void EndRunningChildrenNow() {
    for (auto& slot : g_running) {
        const pid_t pid = slot.load();
        if (pid > 0 && ::kill(-pid, SIGTERM) != 0) ::kill(pid, SIGTERM);
    }
}

void Release(ChildHandle child) {
    // A released child is no longer the program's to end.
    NoteEnded(static_cast<pid_t>(child));
    // No signal handler: SIGCHLD stays the default for every library in the
    // process. A small detached thread blocks on this one child instead and
    // reaps it the moment it ends, whether the program is busy or idle.
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attributes, 256 * 1024);
    pthread_t thread{};
    void* argument = reinterpret_cast<void*>(static_cast<std::intptr_t>(child));
    const int error = ::pthread_create(&thread, &attributes, ReapWhenEnded, argument);
    pthread_attr_destroy(&attributes);
    // Without a thread the child is reaped when it is found ended at once;
    // else it stays an entry until the program ends.
    if (error != 0) Poll(child);
}

}  // namespace qvr::process
