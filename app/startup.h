#pragma once
// Start-up and shutdown of the program: the process-wide paths, the new
// trace, the temporary directory, the command line, the main window's run and
// the return code it leaves for whoever started the program.

#include <functional>
#include <string>
#include <vector>

#include "app/message_box_host.h"
#include "app/platform.h"
#include "app/process_enum.h"
#include "app/profile_store.h"
#include "app/settings.h"
#include "app/trace.h"

namespace qvr {

inline constexpr const char* kProgramName = "QvrCompare";
inline constexpr const char* kProgramVersion = "1.05";
inline constexpr const char* kTraceFileName = "QvrCompare.trc";
inline constexpr const char* kReturnCodeFileName = "FSTATUS.INI";
inline constexpr const char* kInstallDirIniName = "QvrCompare.ini";

// The process-wide paths, set once at start-up and handed to the main window.
struct AppEnvironment {
    std::string installDir;
    std::string tempDir;
    std::string traceFile;
    std::string launchDir;       // current directory when the program was started
    std::string workingDir;      // current directory after the temporary one was entered
    std::string returnCodeFile;
    std::string commandLineLocalPath;  // absolute, taken from launchDir (as given on Windows)
    TraceLog trace;

    // What loading the settings needs of these.
    SettingsPaths ForSettings() const {
        return {installDir, tempDir, commandLineLocalPath, platform::ProgramSearchPath()};
    }
};

// Where start-up looks: the program's arguments (the program's name first),
// on Windows the whole command line as the system handed it over, and the
// per-user directories.
struct StartupInputs {
    std::vector<std::string> args;
    std::string configDir;  // holds "QvrCompare.ini" and the return-code file
    std::string homeDir;    // the default install directory lies below it
    std::string commandLine;

    static StartupInputs FromProcess(int argc, char** argv);
};

// Runs the main window modally; returns 1 (OK), 2 (Cancel) or another result.
using MainDialogRunner = std::function<int(AppEnvironment&)>;

struct StartupResult {
    bool dialogRan = false;  // false: the temporary directory could not be made
    int dialogResult = 0;
    bool returnCodeWritten = false;
    AppEnvironment environment;
};

// "INSTALLDIR" of section "Settings" in "QvrCompare.ini" of the config
// directory; $HOME/QvrCompare when missing or empty.
std::string ReadInstallDirectory(const std::string& configDir, const std::string& homeDir);

// "FSTATUS.INI" in the config directory.
std::string ReturnCodeFilePath(const std::string& configDir);

// "ReturnCode" in section "FSTATUS": "100" for the OK result, "200" for
// Cancel; any other result writes nothing. True when a code was written.
bool WriteReturnCode(const std::string& returnCodeFile, int dialogResult);

// The whole start-up sequence, the main window's run and the return code.
// installDirOverride, when not empty, replaces the install directory
// "QvrCompare.ini" names (the headless front end's --install-dir).
StartupResult RunApplication(const StartupInputs& inputs, IMessageBoxHost& messageBoxes,
                             const MainDialogRunner& runMainDialog,
                             const std::string& installDirOverride = "");

// The main window's cancel action (Exit, Escape): saves the settings, makes
// the recorded working directory current again and ends this process with
// status -1, leaving the return-code file as it was, provided its module name
// begins with moduleNamePrefix. Returns -1 only when the process could not be
// ended; the window then closes with the cancel result.
int ShutdownApplication(IProfileStore& store, const AppSettings& settings,
                        const AppEnvironment& environment,
                        const ProcessEnder& endProcess = EndThisProcessNow,
                        std::string_view moduleNamePrefix = kProgramName);

}  // namespace qvr
