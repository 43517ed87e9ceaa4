#include "tools/quorvan/tool_session.h"

#include "tools/quorvan/tool_env.h"

#include <iostream>
#include <utility>

namespace qvr::quorvan {

ToolSession::ToolSession(std::string toolName, const std::vector<std::string>& args,
                         std::vector<OptionRule> rules)
    : m_toolName(std::move(toolName)), m_args(args), m_rules(std::move(rules)) {}

bool ToolSession::Start(int& status) {
    RecordArgv(m_args);
    ApplyDelay();
    std::string path, error;
    if (!FindOutputPath(m_args, m_rules, path, error)) {
        std::cerr << "Error: " << m_toolName << ": " << error << "\n";
        status = 2;
        return false;
    }
    m_out = std::make_unique<OutputFile>(path);
    if (!m_out->Open(error)) {
        std::cerr << "Error: " << m_toolName << ": " << error << "\n";
        status = 2;
        return false;
    }
    return true;
}

bool ToolSession::Parse(std::size_t maxPositionals, const std::vector<std::string>& required) {
    std::string error;
    if (!ParseToolArgs(m_args, m_rules, maxPositionals, m_parsed, error)) {
        Fail(error);
        return false;
    }
    std::string missing = FirstMissing(m_parsed, required);
    if (!missing.empty()) {
        Fail("Missing option " + missing);
        return false;
    }
    return true;
}

bool ToolSession::Login(Repository& repo) {
    std::string error;
    if (!repo.Open(m_parsed.Value("-b"), Database::Mode::ReadOnly, error) ||
        !repo.CheckLogin(m_parsed.Value("-usr"), m_parsed.Value("-pw"), error)) {
        Fail(error);
        return false;
    }
    return true;
}

int ToolSession::Fail(const std::string& text) {
    m_out->Line("Error: " + text);
    return Finish(1);
}

int ToolSession::Finish(int status) {
    std::string error;
    if (!m_out->Commit(error)) {
        std::cerr << "Error: " << m_toolName << ": " << error << "\n";
        return 2;
    }
    return status;
}

}  // namespace qvr::quorvan
