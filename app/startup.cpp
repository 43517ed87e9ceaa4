#include "app/startup.h"

#include <filesystem>

#include "app/command_line.h"
#include "app/ini_file.h"
#include "app/path.h"
#include "app/platform.h"
#include "app/run_safety.h"

namespace qvr {
namespace {

void StartTrace(AppEnvironment& env) {
    env.traceFile = platform::JoinPath(env.installDir, kTraceFileName);
    env.trace.SetPath(env.traceFile);
    // A run of another process working in this install directory keeps its
    // trace: this start adds to it instead of wiping the lines of that run.
    if (!RunLock::HeldByAnother(env.installDir)) env.trace.Restart();
    env.trace.Trace("%s %s", kProgramName, kProgramVersion);
}

// Enters the temporary directory, or creates it (one level) when it cannot be
// entered. A directory created now is not entered: this run keeps the
// directory it was started in.
bool EnterOrCreateTempDir(const std::string& tempDir) {
    return platform::ChangeDirectory(tempDir) || platform::MakeDirectory(tempDir);
}

// No installer makes the per-user default install directory on POSIX
// systems, so the first start makes it; a configured INSTALLDIR that is
// missing stays an installation fault and is left alone.
void CreateDefaultInstallDirectory(const std::string& installDir, const std::string& homeDir) {
    if constexpr (platform::kIsWindows) return;
    if (homeDir.empty() || installDir != platform::DefaultInstallDirectory(homeDir)) return;
    std::error_code ignored;
    std::filesystem::create_directories(installDir, ignored);
}

void ReportTempDirFailure(IMessageBoxHost& messageBoxes, const std::string& tempDir) {
    messageBoxes.MessageBox(FormatText("Unable to create directory: %s", tempDir.c_str()),
                            MbButtons::Ok, MbIcon::Stop);
}

}  // namespace

StartupInputs StartupInputs::FromProcess(int argc, char** argv) {
    StartupInputs inputs;
    for (int i = 0; i < argc; ++i) inputs.args.emplace_back(argv[i]);
    inputs.commandLine = platform::ProcessCommandLine();
    inputs.configDir = platform::ConfigDirectory();
    inputs.homeDir = platform::HomeDirectory();
    return inputs;
}

std::string ReadInstallDirectory(const std::string& configDir, const std::string& homeDir) {
    std::string fallback = platform::DefaultInstallDirectory(homeDir);
    std::string iniPath = platform::JoinPath(configDir, kInstallDirIniName);
    std::string installDir = ReadIniValue(iniPath, kSettingsSection, "INSTALLDIR", fallback);
    return installDir.empty() ? fallback : installDir;
}

std::string ReturnCodeFilePath(const std::string& configDir) {
    std::string path = configDir;
    if (path.empty() || !platform::IsSeparator(path.back())) path += platform::kSeparator;
    return path + kReturnCodeFileName;
}

bool WriteReturnCode(const std::string& returnCodeFile, int dialogResult) {
    const char* code = dialogResult == IDOK ? "100" : dialogResult == IDCANCEL ? "200" : nullptr;
    if (!code) return false;
    // The config directory of a fresh account may not exist yet.
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(returnCodeFile).parent_path(),
                                        ignored);
    return WriteIniValue(returnCodeFile, "FSTATUS", "ReturnCode", code);
}

StartupResult RunApplication(const StartupInputs& inputs, IMessageBoxHost& messageBoxes,
                             const MainDialogRunner& runMainDialog,
                             const std::string& installDirOverride) {
    StartupResult result;
    AppEnvironment& env = result.environment;
    // The settings hold the scrambled password and the trace and the logs
    // name the user's files: no other user may read what we write.
    RestrictNewFileModes();
    // Relative paths the user gives are the user's: from here, not from the
    // temporary directory entered below.
    env.launchDir = platform::CurrentDirectory();
    env.installDir = installDirOverride.empty() ? ReadInstallDirectory(inputs.configDir, inputs.homeDir)
                                                : installDirOverride;
    env.tempDir = platform::JoinPath(env.installDir, "Temp");
    CreateDefaultInstallDirectory(env.installDir, inputs.homeDir);
    StartTrace(env);
    if (!EnterOrCreateTempDir(env.tempDir)) {
        ReportTempDirFailure(messageBoxes, env.tempDir);
        return result;
    }
    env.returnCodeFile = ReturnCodeFilePath(inputs.configDir);
    env.workingDir = platform::CurrentDirectory();
    env.commandLineLocalPath = ParseCommandLine(inputs.commandLine, inputs.args);
    // Windows keeps its own rule: the text as given, taken from the current
    // folder when the report starts.
    if constexpr (!platform::kIsWindows) {
        env.commandLineLocalPath = AbsolutePathFrom(env.commandLineLocalPath, env.launchDir);
    }

    result.dialogResult = runMainDialog(env);
    result.dialogRan = true;
    result.returnCodeWritten = WriteReturnCode(env.returnCodeFile, result.dialogResult);
    return result;
}

int ShutdownApplication(IProfileStore& store, const AppSettings& settings,
                        const AppEnvironment& environment, const ProcessEnder& endProcess,
                        std::string_view moduleNamePrefix) {
    SaveSettings(store, settings, environment.installDir);
    // The process ends abruptly below; nothing may still sit in a buffer.
    store.Flush();
    return TerminateProcessByName(moduleNamePrefix, environment.workingDir, endProcess);
}

}  // namespace qvr
