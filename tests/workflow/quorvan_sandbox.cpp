#include "quorvan_sandbox.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/argument_vector.h"

extern char** environ;

namespace qvr::testing {

int RunProgram(const std::string& program, const std::vector<std::string>& args) {
    ArgumentVector argv(program, args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.Data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

QuorvanSandbox::QuorvanSandbox(const std::string& toolDir) : m_toolDir(toolDir) {
    for (const char* folder : {"home", "install", "temp", "local", "source", "wrappers"}) {
        std::filesystem::create_directories(m_root / folder);
    }
    if (const char* path = std::getenv("PATH")) m_oldPath = path;
    if (const char* home = std::getenv("QUORVAN_HOME")) {
        m_hadHome = true;
        m_oldHome = home;
    }
    ::setenv("QUORVAN_HOME", (m_root / "home").c_str(), 1);
    ::setenv("PATH", (m_toolDir + ":" + m_oldPath).c_str(), 1);
    Admin({"create-broker", kBroker});
    Admin({"add-user", kBroker, kUser, kPassword});
}

QuorvanSandbox::~QuorvanSandbox() {
    ::setenv("PATH", m_oldPath.c_str(), 1);
    if (m_hadHome) {
        ::setenv("QUORVAN_HOME", m_oldHome.c_str(), 1);
    } else {
        ::unsetenv("QUORVAN_HOME");
    }
}

int QuorvanSandbox::Admin(const std::vector<std::string>& args) const {
    return RunProgram(m_toolDir + "/qvradmin", args);
}

bool QuorvanSandbox::Import(const std::string& project, const std::string& state,
                            const std::string& folder, const std::string& package) const {
    std::vector<std::string> args{"import", kBroker, project, state};
    if (!package.empty()) {
        args.push_back("--package");
        args.push_back(package);
    }
    args.push_back(folder);
    return Admin(args) == 0;
}

void QuorvanSandbox::SlowDown(const std::string& tool, int delayMs) const {
    WriteWrapper(tool, "sleep " + std::to_string(delayMs / 1000.0) + "\nexec \"" + m_toolDir + "/" + tool +
                           "\" \"$@\"\n");
}

void QuorvanSandbox::AfterTool(const std::string& tool, const std::string& shellCommand) const {
    WriteWrapper(tool, "\"" + m_toolDir + "/" + tool + "\" \"$@\"\nstatus=$?\n" + shellCommand + "\nexit $status\n");
}

void QuorvanSandbox::WriteWrapper(const std::string& tool, const std::string& body) const {
    const auto wrapper = m_root.Write("wrappers/" + tool, "#!/bin/sh\n" + body);
    std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);
    ::setenv("PATH", ((m_root / "wrappers").string() + ":" + m_toolDir + ":" + m_oldPath).c_str(), 1);
}

void QuorvanSandbox::HideTool(const std::string& tool) const {
    const std::filesystem::path visible = m_root / "visible";
    std::filesystem::create_directories(visible);
    for (const char* name : {"vlx", "vgt", "vqry", "qvradmin"}) {
        if (name != tool) std::filesystem::create_symlink(m_toolDir + "/" + name, visible / name);
    }
    ::setenv("PATH", visible.c_str(), 1);
}

}  // namespace qvr::testing
