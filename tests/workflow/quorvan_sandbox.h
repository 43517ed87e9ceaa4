#pragma once
// A world for end-to-end runs of the workflows: a fresh QUORVAN_HOME with a
// broker built by the stand-in qvradmin, an install folder, a temp folder and
// a local folder, and the stand-in tools first on PATH (the launcher searches
// PATH). The environment is restored when the sandbox goes. No test
// framework is assumed, so the widget tests use it too.

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace qvr::testing {

class QuorvanSandbox {
public:
    static constexpr const char* kBroker = "DEMO";
    static constexpr const char* kUser = "alice";
    // A blank, ";" and "$": must stay one argument and never reach the trace.
    static constexpr const char* kPassword = "pa ss;$x";

    // toolDir: where vlx, vgt, vqry and qvradmin were built.
    explicit QuorvanSandbox(const std::string& toolDir);
    ~QuorvanSandbox();
    QuorvanSandbox(const QuorvanSandbox&) = delete;
    QuorvanSandbox& operator=(const QuorvanSandbox&) = delete;

    // Runs qvradmin with args; its exit status.
    int Admin(const std::vector<std::string>& args) const;
    // Imports folder as project/state (package "BASE" unless given).
    bool Import(const std::string& project, const std::string& state, const std::string& folder,
                const std::string& package = "") const;

    // A folder placed before the tools on PATH, holding a wrapper that runs
    // tool after a delay (only that tool is slowed).
    void SlowDown(const std::string& tool, int delayMs) const;
    // The same place, holding a wrapper that runs tool and then the shell
    // command, keeping the tool's exit status: a tool whose output is
    // tampered with after it wrote it.
    void AfterTool(const std::string& tool, const std::string& shellCommand) const;
    // PATH with every tool but this one.
    void HideTool(const std::string& tool) const;

    const TempDir& Root() const { return m_root; }
    std::string InstallDir() const { return (m_root / "install").string(); }
    std::string TempPath() const { return (m_root / "temp").string(); }
    std::string LocalDir() const { return (m_root / "local").string(); }
    std::string SourceDir() const { return (m_root / "source").string(); }
    std::string ToolDir() const { return m_toolDir; }

private:
    void WriteWrapper(const std::string& tool, const std::string& body) const;

    TempDir m_root;
    std::string m_toolDir;
    std::string m_oldPath;
    std::string m_oldHome;
    bool m_hadHome = false;
};

// Runs program (searched on PATH when it has no "/") with args, output
// discarded; its exit status, or -1 when it could not be started.
int RunProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace qvr::testing
