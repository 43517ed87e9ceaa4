#include "scm/scm_bridge.h"

#include "app/platform.h"

namespace qvr {

ScmBridge::ScmBridge(const ScmBridgeContext& state)
    : m_state(state), m_launcher(state.pump, state.messages) {}

std::string ScmBridge::VlxLogPath() const {
    return platform::JoinPath(m_state.installDir, "vlx.log");
}

std::string ScmBridge::VgtLogPath() const {
    return platform::JoinPath(m_state.installDir, "vgt.log");
}

std::string ScmBridge::StatementPath() const {
    return platform::JoinPath(m_state.installDir, "vqrystmt.sql");
}

std::string ScmBridge::QueryOutputPath() const {
    return platform::JoinPath(m_state.installDir, "vqrystmt.dat");
}

void ScmBridge::ShowUnableToRead(const std::string& path) {
    m_state.messages.MessageBox("Unable to read: " + path, MbButtons::Ok, MbIcon::None);
}

void ScmBridge::TraceCommandLine(const std::string& prefix, const ToolCommandLine& commandLine) {
    m_state.trace.WriteTraceLine(prefix + commandLine.Shown());
}

int ScmBridge::LaunchTool(const ToolCommandLine& commandLine) {
    return m_launcher.LaunchTask(commandLine.Launched(), 0, commandLine.Shown());
}

std::string EffectivePackage(const std::string& package) {
    return package.find('*') == std::string::npos ? package : std::string();
}

std::string DoubleSingleQuotes(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

}  // namespace qvr
