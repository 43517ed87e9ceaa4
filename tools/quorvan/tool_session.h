#pragma once
// The start every query tool shares: record the argument list, wait when asked
// to, find and open the output file, then report errors into it.

#include "tools/quorvan/output_file.h"
#include "tools/quorvan/repository.h"
#include "tools/quorvan/tool_args.h"

#include <memory>
#include <string>
#include <vector>

namespace qvr::quorvan {

class ToolSession {
public:
    ToolSession(std::string toolName, const std::vector<std::string>& args,
                std::vector<OptionRule> rules);

    // Records argv, applies the delay and opens the output file. On failure
    // the reason is on standard error and the exit status is returned in
    // status.
    bool Start(int& status);

    // Parses the options; on failure writes the error line.
    bool Parse(std::size_t maxPositionals, const std::vector<std::string>& required);

    // Opens the broker read-only and logs the user in; on failure writes the
    // error line.
    bool Login(Repository& repo);

    const ParsedArgs& Args() const { return m_parsed; }
    OutputFile& Out() { return *m_out; }

    // Writes "Error: <text>", commits and returns the exit status for it.
    int Fail(const std::string& text);
    // Commits and returns 0, or 2 when the file could not be written.
    int Finish(int status = 0);

private:
    std::string m_toolName;
    std::vector<std::string> m_args;
    std::vector<OptionRule> m_rules;
    ParsedArgs m_parsed;
    std::unique_ptr<OutputFile> m_out;
};

}  // namespace qvr::quorvan
