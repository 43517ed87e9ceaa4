#pragma once
// What keeps a run from harming the user's files or another run: the temp
// folder checked against the local path and against other users before any
// tool writes into it, the advisory run lock on the install directory and the
// temp folder, and the modes of the files the program creates.

#include <cstdint>
#include <string>
#include <string_view>

namespace qvr {

// The lock file a run holds in each folder it works in where a folder
// itself cannot be locked (Windows).
inline constexpr const char* kRunLockFileName = "QvrCompare.lock";

// The folder as the system finds it: absolute, links followed, "." and ".."
// gone. A path whose last parts do not exist yet is resolved as far as it
// exists and the rest appended. False (with the error number) when it cannot
// be resolved at all.
bool ResolveFolder(const std::string& path, std::string& resolved, int& error);

// True when inner is outer itself or lies below it, by whole folder names
// (letter case ignored on Windows). Both are resolved paths.
bool PathIsWithin(std::string_view inner, std::string_view outer);

// The folder on the way to the resolved temp folder that another user owns or
// can write to, or empty when there is none: the temp folder itself, and
// every folder between it and the nearest sticky shared folder above it
// (such as /tmp, which everyone may write to but nobody may rename in). Such
// a folder lets another user plant a link where the checkout writes. Always
// empty on Windows, whose folders inherit their owner's access rules.
std::string FolderOthersControl(const std::string& resolvedFolder);

// Files the program (and the tools it starts) create from now on are
// readable by their owner only, folders 0700. Nothing to do on Windows,
// where new files inherit the folder's access rules.
void RestrictNewFileModes();

// An advisory lock on a folder, held from Take until Release or the end of
// the object. The system drops it when the holder ends in any way (a crash
// too), so the lock of a process that is gone never blocks.
class RunLock {
public:
    enum class Outcome { Taken, HeldElsewhere, NotPossible };

    RunLock() = default;
    ~RunLock() { Release(); }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock of folder. NotPossible when the folder cannot be opened
    // or its lock file cannot be made: no run can write there either, so
    // the caller goes on and the tools report the folder.
    Outcome Take(const std::string& folder);
    void Release();
    bool Held() const { return m_handle != kNoHandle; }

    // True when another holder has the lock of folder right now.
    static bool HeldByAnother(const std::string& folder);

private:
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t m_handle = kNoHandle;
};

}  // namespace qvr
