#pragma once
// The SCM context, the tool command templates and the display options: what
// the program remembers between runs, in the "Settings" section of the
// profile store.

#include <cstddef>
#include <string>
#include <string_view>

#include "app/profile_store.h"

namespace qvr {

inline constexpr const char* kSettingsSection = "Settings";
// Texts read back from the window's edit boxes hold at most this many characters.
inline constexpr std::size_t kEditTextLimit = 254;

// Characters of a UTF-8 text: a well-formed sequence is one character, and so
// is each byte that does not belong to one (text that is not UTF-8 counts a
// byte a character, as the single-byte text it then is).
std::size_t CharacterCount(std::string_view text);
// The text cut to its first kEditTextLimit characters, never inside one, as
// an edit box gives it back.
std::string LimitToEditText(std::string_view text);
// Only this many leading password characters are scrambled in the store.
inline constexpr std::size_t kScrambleKeyLength = 80;

struct ScmContext {
    std::string broker;
    std::string userId;
    std::string password;  // plain in memory, scrambled in the store
    std::string project;
    std::string state;
    std::string package;   // empty for none, "*" for all packages
    std::string tempPath;
    std::string localPath;

    bool operator==(const ScmContext&) const = default;
};

// printf-style templates; each "%s" is filled by the step that uses it.
struct CommandTemplates {
    std::string vlxFmt;
    std::string vgtFmt;
    std::string vqryFmt;
    std::string sqlFmt;
    std::string diffPgm;
    // What the compare report covers, edited in the same dialog; blank is
    // the default for both. The repository folder the local path stands for
    // ("RepoFolder"; blank: found by vote), and the names the report leaves
    // out ("ExcludePatterns": patterns with "*" and "?" separated by ";").
    std::string repoFolder;
    std::string excludePatterns;

    bool operator==(const CommandTemplates&) const = default;
};

struct DisplayOptions {
    int showNewFiles = 0;
    int showSameFiles = 0;
    int showDiffFiles = 0;
    int subFolders = 1;
    int showMissingFiles = 0;

    bool operator==(const DisplayOptions&) const = default;
};

struct AppSettings {
    ScmContext context;
    CommandTemplates templates;
    DisplayOptions display;

    bool operator==(const AppSettings&) const = default;
};

// What loading needs from start-up: the install directory (for the viewer's
// default), the temporary directory (the temp path every run starts with) and
// the local path given on the command line (empty when none).
struct SettingsPaths {
    std::string installDir;
    std::string tempDir;
    std::string commandLineLocalPath;
    // Where a program named without a folder is found ($PATH); empty when
    // the default viewer is not to be looked for there.
    std::string programSearchPath;
};

// The default templates. The listing and checkout templates come in two
// forms; the one with "-p" is used whenever a package is given (also "*").
std::string DefaultVlxFmt(bool withPackage);
std::string DefaultVgtFmt(bool withPackage);
std::string DefaultVqryFmt();
std::string DefaultSqlFmt();
// The difference viewer in the install directory, followed by its two files.
// On POSIX systems, where the programs are installed apart from the install
// directory, a viewer missing there but found on searchPath is named by its
// bare name instead, so it is started from where it was installed.
std::string DefaultDiffPgm(std::string_view installDir, std::string_view searchPath = {});
// Every template at its default, chosen by whether package is empty.
CommandTemplates DefaultTemplates(std::string_view package, std::string_view installDir);

// Scrambles (or, applied again, restores) a password in place and returns
// its length. Only the first 80 characters are touched; longer passwords are
// kept whole. Bytes above 127 are left as they are, so that a password with
// such characters comes back unchanged.
std::size_t ScramblePassword(std::string& text);

// The platform's decimal text-to-integer conversion: leading white space, an
// optional sign, then digits up to the first non-digit. Text that is empty or
// not a number yields 0; values beyond the int range saturate.
int DecimalTextToInt(std::string_view text);

// Reads every setting in the program's load order. Text values replace their
// defaults only when the stored text is not empty.
AppSettings LoadSettings(const IProfileStore& store, const SettingsPaths& paths);

// Writes every setting in the program's save order, the password scrambled,
// the install directory first.
void SaveSettings(IProfileStore& store, const AppSettings& settings, std::string_view installDir);

// Writes the five templates as the command settings dialog does on OK:
// "VlxFmt", "VgtFmt", "VqryFmt", "SqlFmt", "DiffPgm", then the report's
// "RepoFolder" and "ExcludePatterns".
void SaveCommandTemplates(IProfileStore& store, const CommandTemplates& templates);

}  // namespace qvr
