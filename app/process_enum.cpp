#include "app/process_enum.h"

#include "app/platform.h"

namespace qvr {
namespace {

bool StartsWithIgnoringCase(std::string_view name, std::string_view prefix) {
    return name.size() >= prefix.size() &&
           platform::LowerAscii(name.substr(0, prefix.size())) == platform::LowerAscii(prefix);
}

}  // namespace

std::uint32_t ErrorCodeFromErrorNumber(int error) {
    if (error <= 0) return static_cast<std::uint32_t>(error);
    return 0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu);
}

std::uint32_t CProcessEnum::TakeSnapshot() {
    m_snapshot.reset();
    std::vector<int> ids;
    int error = 0;
    if (!platform::ListProcessIds(ids, error)) return ErrorCodeFromErrorNumber(error);
    m_snapshot = std::move(ids);
    m_index = 0;
    return 0;
}

int CProcessEnum::First() { return WalkFrom(0); }

int CProcessEnum::Next() { return WalkFrom(m_index + 1); }

int CProcessEnum::WalkFrom(std::size_t index) {
    if (!m_snapshot) return 0;
    for (m_index = index; m_index < m_snapshot->size(); ++m_index) {
        int id = (*m_snapshot)[m_index];
        std::string name;
        if (platform::ReadModuleName(id, name)) {
            m_processId = id;
            m_moduleName = std::move(name);
            return 1;
        }
    }
    m_processId = 0;
    m_moduleName.clear();
    return 0;
}

int FindProcessByName(std::string_view prefix) {
    CProcessEnum processes;
    if (processes.TakeSnapshot() != 0) return -1;
    for (int found = processes.First(); found; found = processes.Next()) {
        int id = processes.ProcessId() ? processes.ProcessId() : processes.ModuleProcessId();
        if (StartsWithIgnoringCase(processes.ModuleName(), prefix)) return id;
    }
    return -1;
}

void EndThisProcessNow(int exitStatus) { platform::EndThisProcess(exitStatus); }

int TerminateProcessByName(std::string_view prefix, const std::string& workingDir,
                           const ProcessEnder& endProcess) {
    if (!workingDir.empty()) platform::ChangeDirectory(workingDir);
    // Only this process is ours to end: a second copy of the program, or any
    // other program whose name begins the same way, keeps running.
    int self = platform::CurrentProcessId();
    std::string name;
    if (!platform::ReadModuleName(self, name) || !StartsWithIgnoringCase(name, prefix)) return -1;
    endProcess(-1);
    return 32;
}

}  // namespace qvr
