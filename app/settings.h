#pragma once
// The SCM context, the tool command templates and the display options: what
// the program remembers between runs, in the "Settings" section of the
// profile store.

#include <string>

#include "app/profile_store.h"

namespace qvr {

inline constexpr const char* kSettingsSection = "Settings";
// Texts read back from the window's edit boxes hold at most this many characters.
inline constexpr std::size_t kEditTextLimit = 254;

struct ScmContext {
    std::string broker;
    std::string userId;
    std::string password;  // plain in memory, scrambled in the store
    std::string project;
    std::string state;
    std::string package;   // empty for none, "*" for all packages
    std::string tempPath;
    std::string localPath;
};

// printf-style templates; each "%s" is filled by the step that uses it.
struct CommandTemplates {
    std::string vlxFmt;
    std::string vgtFmt;
    std::string vqryFmt;
    std::string sqlFmt;
    std::string diffPgm;
};

struct DisplayOptions {
    int showNewFiles = 0;
    int showSameFiles = 0;
    int showDiffFiles = 0;
    int subFolders = 1;
};

struct AppSettings {
    ScmContext context;
    CommandTemplates templates;
    DisplayOptions display;
};

}  // namespace qvr
