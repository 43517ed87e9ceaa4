#pragma once
// Runs a stand-in tool as a real child process with an explicit argument
// list (no shell) and a few environment variables replaced, and collects its
// exit status and output.

#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace qvr::testing {

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

using EnvOverrides = std::map<std::string, std::string>;

// Starts program with args (args[0] is taken from program's name) and waits.
ToolResult RunTool(const std::string& program, const std::vector<std::string>& args,
                   const EnvOverrides& env);

// Starts it and returns the pid without waiting; stdout/stderr go to /dev/null.
pid_t StartTool(const std::string& program, const std::vector<std::string>& args,
                const EnvOverrides& env);

std::vector<std::string> SplitLines(const std::string& text);
std::vector<std::string> SplitTabs(const std::string& line);

// Splits a listing line as the program's reader does: runs of tabs are one
// separator and no empty token is produced.
std::vector<std::string> ListingTokens(const std::string& line);

// A broker "DEMO" with user alice in a fresh QUORVAN_HOME, and helpers to run
// the tools against it.
class QuorvanRepo {
public:
    static constexpr const char* kBroker = "DEMO";
    static constexpr const char* kUser = "alice";
    // Blanks, ";", "$" and quotes: must arrive as one argument.
    static constexpr const char* kPassword = "s3 cr;et $HOME \"q\" 'x'";

    QuorvanRepo();

    const TempDir& Dir() const { return m_dir; }
    std::string Home() const { return (m_dir / "home").string(); }
    EnvOverrides Env() const { return {{"QUORVAN_HOME", Home()}}; }

    ToolResult Admin(const std::vector<std::string>& args) const;
    ToolResult Vlx(const std::vector<std::string>& args) const;
    ToolResult Vgt(const std::vector<std::string>& args) const;
    ToolResult Vqry(const std::vector<std::string>& args) const;

    // The default listing command line of the program for project and state.
    std::vector<std::string> VlxArgs(const std::string& project, const std::string& state,
                                     const std::string& output) const;
    // The default whole-tree checkout command line.
    std::vector<std::string> VgtArgs(const std::string& project, const std::string& state,
                                     const std::string& clientPath, const std::string& output) const;

private:
    TempDir m_dir;
};

// A test against a repository whose project "PROJ" holds, as state "DEV",
// a small tree the test writes and imports in its SetUp.
class ImportedTreeTest : public ::testing::Test {
protected:
    // Writes the files (path, content) into the tree and imports it; options
    // go to qvradmin before the tree's folder.
    void ImportTree(std::initializer_list<std::pair<const char*, const char*>> files,
                    const std::vector<std::string>& options = {}) {
        for (const auto& [path, content] : files) m_tree.Write(path, content);
        std::vector<std::string> args = {"import", "DEMO", "PROJ", "DEV"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(m_tree.Str());
        ASSERT_EQ(m_repo.Admin(args).exitCode, 0);
    }

    // Where a tool's output file goes: the repository's own folder.
    std::string OutputPath(const char* name) const { return (m_repo.Dir() / name).string(); }

    QuorvanRepo m_repo;
    TempDir m_tree;
};

}  // namespace qvr::testing
