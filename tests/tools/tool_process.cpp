#include "tool_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/argument_vector.h"

extern char** environ;

namespace qvr::testing {

namespace {

std::vector<std::string> BuildEnvironment(const EnvOverrides& env) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        std::string text(*entry);
        std::string name = text.substr(0, text.find('='));
        // The tools' own variables come only from the test, never from the
        // environment the tests happen to run in.
        if (env.count(name) || name.rfind("QUORVAN_", 0) == 0) continue;
        result.push_back(text);
    }
    for (const auto& [name, value] : env) result.push_back(name + "=" + value);
    return result;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const EnvOverrides& env,
            const std::string& outFile, const std::string& errFile) {
    ArgumentVector argv(std::filesystem::path(program).filename().string(), args);
    ArgumentVector envp(BuildEnvironment(env));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.Data(), envp.Data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

}  // namespace

ToolResult RunTool(const std::string& program, const std::vector<std::string>& args,
                   const EnvOverrides& env) {
    TempDir capture;
    std::string outFile = (capture / "stdout").string();
    std::string errFile = (capture / "stderr").string();
    ToolResult result;
    pid_t pid = Spawn(program, args, env, outFile, errFile);
    if (pid < 0) {
        ADD_FAILURE() << "cannot start " << program;
        return result;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(outFile);
    result.err = ReadFile(errFile);
    return result;
}

pid_t StartTool(const std::string& program, const std::vector<std::string>& args,
                const EnvOverrides& env) {
    return Spawn(program, args, env, "/dev/null", "/dev/null");
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = line.find('\t', start);
        fields.push_back(line.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return fields;
}

std::vector<std::string> ListingTokens(const std::string& line) {
    std::vector<std::string> tokens;
    for (auto& field : SplitTabs(line)) {
        if (!field.empty()) tokens.push_back(field);
    }
    return tokens;
}

QuorvanRepo::QuorvanRepo() {
    EXPECT_EQ(Admin({"create-broker", kBroker}).exitCode, 0);
    EXPECT_EQ(Admin({"add-user", kBroker, kUser, kPassword}).exitCode, 0);
}

ToolResult QuorvanRepo::Admin(const std::vector<std::string>& args) const {
    return RunTool(QVR_QVRADMIN_EXE, args, Env());
}
ToolResult QuorvanRepo::Vlx(const std::vector<std::string>& args) const {
    return RunTool(QVR_VLX_EXE, args, Env());
}
ToolResult QuorvanRepo::Vgt(const std::vector<std::string>& args) const {
    return RunTool(QVR_VGT_EXE, args, Env());
}
ToolResult QuorvanRepo::Vqry(const std::vector<std::string>& args) const {
    return RunTool(QVR_VQRY_EXE, args, Env());
}

std::vector<std::string> QuorvanRepo::VlxArgs(const std::string& project, const std::string& state,
                                              const std::string& output) const {
    return {"-b", kBroker, "-en", project, "-st", state, "-vp", "\\", "-usr", kUser,
            "-pw", kPassword, "-iv", "lv", "-s", "*", "-o", output};
}

std::vector<std::string> QuorvanRepo::VgtArgs(const std::string& project, const std::string& state,
                                              const std::string& clientPath,
                                              const std::string& output) const {
    return {"*", "-b", kBroker, "-en", project, "-st", state, "-vp", "\\", "-br", "-nvs", "-r",
            "-op", "pc", "-cp", clientPath, "-usr", kUser, "-pw", kPassword, "-o", output};
}

}  // namespace qvr::testing
