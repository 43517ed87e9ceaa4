// The Windows side of the run's safety checks. Folders inherit their access
// rules from their parent and a new file its folder's, so there is no owner
// or mode check to make; the run lock is a lock file opened without sharing,
// which the system closes when the holder ends in any way.

#include "app/windows_api.h"

#include "app/platform.h"
#include "app/run_safety.h"

namespace qvr {

std::string FolderOthersControl(const std::string& /*resolvedFolder*/) { return {}; }

void RestrictNewFileModes() {}

RunLock::Outcome RunLock::Take(const std::string& folder) {
    Release();
    const std::string path = platform::JoinPath(folder, kRunLockFileName);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION ? Outcome::HeldElsewhere : Outcome::NotPossible;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return Outcome::Taken;
}

void RunLock::Release() {
    if (m_handle == kNoHandle) return;
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = kNoHandle;
}

bool RunLock::HeldByAnother(const std::string& folder) {
    RunLock probe;
    return probe.Take(folder) == Outcome::HeldElsewhere;
}

}  // namespace qvr
