// The checks a run passes before any tool starts: the temp folder is neither
// inside the working copy nor holds it nor can be swapped by another user,
// and no other run works in the same install directory or temp folder.

#include <filesystem>
#include <system_error>

#include "app/run_safety.h"
#include "workflow/compare_workflows.h"

namespace qvr {

std::string TempFolderProblem(const std::string& tempPath, const std::string& localPath) {
    std::string temp;
    std::string local;
    int error = 0;
    if (!ResolveFolder(tempPath, temp, error)) temp = tempPath;
    if (!ResolveFolder(localPath, local, error)) local = localPath;
    if (!localPath.empty() && (PathIsWithin(temp, local) || PathIsWithin(local, temp))) {
        return "The Temp Directory must not be inside the Local Path, nor the Local Path inside it: " + temp +
               " and " + local;
    }
    const std::string unsafe = FolderOthersControl(temp);
    if (!unsafe.empty()) {
        return "The Temp Directory is not safe: another user owns or can write to " + unsafe +
               " - choose a folder of your own.";
    }
    return {};
}

std::string AnotherRunText(const std::string& folder) {
    return "Another QvrCompare run is using " + folder +
           " - wait for it to end or choose another Temp Directory / install directory.";
}

bool CompareWorkflows::LockFolder(RunLock& lock, const std::string& folder) {
    if (lock.Held()) return true;  // the report's own populate runs inside its lock
    if (lock.Take(folder) != RunLock::Outcome::HeldElsewhere) return true;
    m_guardFailure = AnotherRunText(folder);
    return false;
}

// The folders the report works in: the temp folder is checked against the
// local path (both resolved, links followed) and against other users, made
// when missing (for this user alone), and both it and the install directory
// are locked for this run.
bool CompareWorkflows::GuardReportFolders() {
    const ScmContext& context = m_parts.settings.context;
    m_guardFailure = TempFolderProblem(context.tempPath, context.localPath);
    if (!m_guardFailure.empty()) return false;
    if (m_parts.settings.display.showDiffFiles) {
        std::error_code ignored;
        std::filesystem::create_directories(context.tempPath, ignored);
        // A folder made just now may have met one planted on its way.
        m_guardFailure = TempFolderProblem(context.tempPath, context.localPath);
        if (!m_guardFailure.empty()) return false;
    }
    if (!LockFolder(m_installLock, m_parts.installDir)) return false;
    std::string temp;
    std::string install;
    int error = 0;
    if (!ResolveFolder(context.tempPath, temp, error)) return true;
    if (!ResolveFolder(m_parts.installDir, install, error)) install = m_parts.installDir;
    // A temp folder that is the install directory itself has its one lock.
    if (PathIsWithin(temp, install) && PathIsWithin(install, temp)) return true;
    return LockFolder(m_tempLock, temp);
}

void CompareWorkflows::ShowGuardFailure() {
    m_parts.trace.WriteTraceLine("CQvrCompareDlg: END Error: " + m_guardFailure);
    SetStatus(" Error: " + m_guardFailure);
    m_parts.messages.MessageBox(m_guardFailure, MbButtons::Ok, MbIcon::Stop);
}

void CompareWorkflows::ReleaseRunLocks() {
    m_installLock.Release();
    m_tempLock.Release();
}

}  // namespace qvr
