#pragma once
// The command line of the headless front end: which workflow to run and the
// values that replace the stored settings for this run.

#include <optional>
#include <string>
#include <vector>

namespace qvr::cli {

enum class CliCommand { List, Report, Config, Help, Version };

struct CliOptions {
    CliCommand command = CliCommand::Help;
    // Context values; a value not given comes from the stored settings.
    std::optional<std::string> broker;
    std::optional<std::string> user;
    std::optional<std::string> password;  // "-": one line from standard input
    std::optional<std::string> passwordFile;  // its first line is the password
    std::optional<std::string> project;
    std::optional<std::string> state;
    std::optional<std::string> package;
    std::optional<std::string> installDir;
    // Report only.
    std::optional<std::string> localPath;
    std::optional<std::string> tempPath;
    bool showNew = false;
    bool showSame = false;
    bool showDiff = false;
    bool showMissing = false;
    std::optional<bool> subFolders;
    // The repository folder the local path stands for; not given: the stored
    // one, blank there: found by vote.
    std::optional<std::string> repoFolder;
    // Names left out; when any is given they replace the stored patterns.
    std::vector<std::string> exclude;
    // Compare each file before the scan goes on, with no compare threads.
    bool oneAtATime = false;
    // Where the list goes; empty or "-" is standard output.
    std::string csvFile;
    // Errors only on standard error: no progress, no notes, no summary.
    bool quiet = false;
    // Config only: "KEY=VALUE" texts to store, in the order given.
    std::vector<std::string> settingsToStore;

    // True when any of --new/--same/--diff/--missing was given: exactly
    // those apply.
    bool DisplayGiven() const { return showNew || showSame || showDiff || showMissing; }
    bool CsvToStdout() const { return csvFile.empty() || csvFile == "-"; }
};

struct ParseResult {
    CliOptions options;
    std::string error;  // not empty: bad usage, this says why
};

// args without the program's name.
ParseResult ParseCliOptions(const std::vector<std::string>& args);

std::string UsageText();
std::string VersionText();
// The line after a usage error that points to the full usage.
std::string TryHelpText();

}  // namespace qvr::cli
