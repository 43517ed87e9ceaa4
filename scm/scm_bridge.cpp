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

void ScmBridge::TraceCommandLine(const std::string& prefix, const std::string& commandLine) {
    std::string masked = commandLine;
    MaskPassword(masked);
    m_state.trace.WriteTraceLine(prefix + masked);
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
