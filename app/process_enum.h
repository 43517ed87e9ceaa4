#pragma once
// A walk over the running processes and their main modules, used at shutdown
// to find the program by its name.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvr {

class CProcessEnum {
public:
    CProcessEnum() = default;
    virtual ~CProcessEnum() = default;

    // Takes a fresh snapshot of all processes: 0, or the platform error as an
    // error code (0x80070000 with the error number's low 16 bits).
    std::uint32_t TakeSnapshot();
    // 1 when standing on a process whose main module could be read, else 0.
    // Processes whose module cannot be read are skipped.
    int First();
    int Next();

    int ProcessId() const { return m_processId; }
    int ModuleProcessId() const { return m_processId; }
    const std::string& ModuleName() const { return m_moduleName; }

private:
    int WalkFrom(std::size_t index);

    std::optional<std::vector<int>> m_snapshot;
    std::size_t m_index = 0;
    int m_processId = 0;
    std::string m_moduleName;
};

// The platform's error code for an error number.
std::uint32_t ErrorCodeFromErrorNumber(int error);

// The id of the first process whose module name begins with prefix (letter
// case ignored), or -1 when there is none or no snapshot can be taken.
int FindProcessByName(std::string_view prefix);

// How the program ends itself; tests put a recorder in its place.
using ProcessEnder = std::function<void(int exitStatus)>;
// Ends this process at once (exit status -1, nothing else runs).
void EndThisProcessNow(int exitStatus);

// Makes workingDir current again (when not empty), then ends this process
// with exit status -1 when it is among the processes whose module name begins
// with prefix. Another process that merely shares the prefix is never touched.
// Returns 32 when the process was ended (seen only when endProcess returns),
// else -1.
int TerminateProcessByName(std::string_view prefix, const std::string& workingDir,
                           const ProcessEnder& endProcess = EndThisProcessNow);

}  // namespace qvr
