#pragma once
// The command line's one argument: a local path that presets the window's
// local path for this run.

#include <string>
#include <string_view>
#include <vector>

namespace qvr {

// Characters that end the local-path word.
inline constexpr std::string_view kCommandLineSeparators = " ,;";

// The rule on Windows, over the whole command line as the system hands it
// over: everything behind the first ".exe" (found without letter case),
// lower-cased, double quotes removed, trimmed; its first word is the local
// path. Without ".exe" (program started by its bare name) the command line is
// first cut at "FILE=" and the program's name, quoted or not, is skipped.
std::string ParseWindowsCommandLine(std::string_view commandLine);

// The rule elsewhere, over the program's arguments (args[0] is the program's
// name and is skipped): the first argument, double quotes removed and
// trimmed, is taken whole when it names an existing directory, so a path with
// blanks works; otherwise its first word, split at blanks, commas and
// semicolons. Letter case is kept: file names differ by case here.
std::string ParsePosixCommandLine(const std::vector<std::string>& args);

// The rule of the platform the program runs on: on Windows the Windows rule
// over the whole command line, elsewhere the POSIX rule over the arguments.
std::string ParseCommandLine(std::string_view commandLine, const std::vector<std::string>& args);

}  // namespace qvr
