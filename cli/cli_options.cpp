#include "cli/cli_options.h"

#include <string_view>

#include "app/settings.h"
#include "app/startup.h"

namespace qvr::cli {
namespace {

// An option that takes a value, and where that value goes.
struct ValueOption {
    const char* name;
    std::optional<std::string> CliOptions::*field;
    bool reportOnly;
};

constexpr ValueOption kValueOptions[] = {
    {"--broker", &CliOptions::broker, false},     {"--user", &CliOptions::user, false},
    {"--password", &CliOptions::password, false}, {"--password-file", &CliOptions::passwordFile, false},
    {"--project", &CliOptions::project, false},
    {"--state", &CliOptions::state, false},       {"--package", &CliOptions::package, false},
    {"--install-dir", &CliOptions::installDir, false}, {"--local", &CliOptions::localPath, true},
    {"--temp", &CliOptions::tempPath, true},     {"--repo-folder", &CliOptions::repoFolder, true},
};

struct FlagOption {
    const char* name;
    void (*apply)(CliOptions&);
};

constexpr FlagOption kFlagOptions[] = {
    {"--new", [](CliOptions& o) { o.showNew = true; }},
    {"--same", [](CliOptions& o) { o.showSame = true; }},
    {"--diff", [](CliOptions& o) { o.showDiff = true; }},
    {"--missing", [](CliOptions& o) { o.showMissing = true; }},
    {"--subfolders", [](CliOptions& o) { o.subFolders = true; }},
    {"--no-subfolders", [](CliOptions& o) { o.subFolders = false; }},
    {"--one-at-a-time", [](CliOptions& o) { o.oneAtATime = true; }},
};

// Flags every command takes.
constexpr FlagOption kCommonFlags[] = {
    {"--quiet", [](CliOptions& o) { o.quiet = true; }},
    {"-q", [](CliOptions& o) { o.quiet = true; }},
};

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : m_args(args) {}

    ParseResult Run() {
        for (const std::string& arg : m_args) {
            if (arg == "--") break;  // what follows is no option, not even --help
            if (arg == "--help" || arg == "-h") return Finish(CliCommand::Help);
        }
        if (m_args.empty()) return Fail("no command given");
        const std::string& command = m_args[0];
        if (command == "--version") {
            if (m_args.size() > 1) return Fail("--version takes no other arguments");
            return Finish(CliCommand::Version);
        }
        if (command == "list") {
            m_result.options.command = CliCommand::List;
        } else if (command == "report") {
            m_result.options.command = CliCommand::Report;
        } else if (command == "config") {
            m_result.options.command = CliCommand::Config;
        } else {
            return Fail("unknown command '" + command + "'");
        }
        for (m_at = 1; m_at < m_args.size() && m_result.error.empty(); ++m_at) {
            if (m_args[m_at] == "--") {
                m_optionsEnded = true;
                continue;
            }
            ParseOption();
        }
        if (m_result.error.empty() && m_result.options.command == CliCommand::Config &&
            m_result.options.settingsToStore.empty()) {
            Fail("config needs --set KEY=VALUE");
        }
        if (m_result.error.empty() && m_result.options.password && m_result.options.passwordFile) {
            Fail("--password and --password-file exclude each other");
        }
        return m_result;
    }

private:
    void ParseOption() {
        std::string name = m_args[m_at];
        // No command takes operands: after "--" a word is still unexpected,
        // but it is named as an argument, never read as an option.
        if (m_optionsEnded) {
            Fail("unexpected argument '" + name + "'");
            return;
        }
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        for (const FlagOption& option : kCommonFlags) {
            if (name != option.name) continue;
            if (inlineValue) {
                Fail(name + " takes no value");
            } else {
                option.apply(m_result.options);
            }
            return;
        }
        if (m_result.options.command == CliCommand::Config) {
            ParseConfigOption(name, inlineValue);
            return;
        }
        if (name == "--csv") {
            if (auto value = TakeValue(name, inlineValue)) {
                // An empty name would leave the list nowhere; "-" is how
                // standard output is asked for.
                if (value->empty()) {
                    Fail("--csv needs a file name, or '-' for standard output");
                    return;
                }
                m_result.options.csvFile = *value;
            }
            return;
        }
        if (name == "--exclude") {
            if (!CommandAllows(name, true)) return;
            if (auto value = TakeValue(name, inlineValue)) {
                // Stored, the patterns are one text of the edit box's size.
                if (value->empty() || value->find(';') != std::string::npos ||
                    CharacterCount(*value) > kEditTextLimit) {
                    Fail("--exclude takes one non-empty name pattern of at most " +
                         std::to_string(kEditTextLimit) + " characters, without ';'");
                    return;
                }
                m_result.options.exclude.push_back(*value);
            }
            return;
        }
        for (const ValueOption& option : kValueOptions) {
            if (name != option.name) continue;
            if (!CommandAllows(name, option.reportOnly)) return;
            if (auto value = TakeValue(name, inlineValue)) {
                // The window's edit boxes hold no more; cutting a path or a
                // password silently would run against something else.
                if (CharacterCount(*value) > kEditTextLimit) {
                    Fail(name + " value is longer than " + std::to_string(kEditTextLimit) + " characters");
                    return;
                }
                m_result.options.*option.field = *value;
            }
            return;
        }
        for (const FlagOption& option : kFlagOptions) {
            if (name != option.name) continue;
            if (inlineValue) {
                Fail(name + " takes no value");
            } else if (CommandAllows(name, true)) {
                option.apply(m_result.options);
            }
            return;
        }
        Fail(name.rfind("-", 0) == 0 ? "unknown option '" + name + "'" : "unexpected argument '" + name + "'");
    }

    void ParseConfigOption(const std::string& name, const std::optional<std::string>& inlineValue) {
        if (name != "--set") {
            Fail(name.rfind("-", 0) == 0 ? "unknown option '" + name + "' for 'config'"
                                         : "unexpected argument '" + name + "'");
            return;
        }
        const auto value = TakeValue(name, inlineValue);
        if (!value) return;
        if (value->find('=') == std::string::npos || value->front() == '=') {
            Fail("--set needs KEY=VALUE, not '" + *value + "'");
            return;
        }
        m_result.options.settingsToStore.push_back(*value);
    }

    bool CommandAllows(const std::string& name, bool reportOnly) {
        if (reportOnly && m_result.options.command != CliCommand::Report) {
            Fail(name + " applies to 'report' only");
            return false;
        }
        return true;
    }

    std::optional<std::string> TakeValue(const std::string& name, const std::optional<std::string>& inlineValue) {
        if (inlineValue) return inlineValue;
        if (m_at + 1 >= m_args.size()) {
            Fail(name + " needs a value");
            return std::nullopt;
        }
        return m_args[++m_at];
    }

    ParseResult Finish(CliCommand command) {
        m_result.options.command = command;
        return m_result;
    }

    ParseResult Fail(const std::string& error) {
        if (m_result.error.empty()) m_result.error = error;
        return m_result;
    }

    const std::vector<std::string>& m_args;
    std::size_t m_at = 0;
    bool m_optionsEnded = false;
    ParseResult m_result;
};

}  // namespace

ParseResult ParseCliOptions(const std::vector<std::string>& args) { return Parser(args).Run(); }

std::string UsageText() {
    return "usage: qvrcompare-cli list   [CONTEXT] [-q] [--csv FILE]\n"
           "       qvrcompare-cli report [CONTEXT] [--local DIR] [--temp DIR] [--new] [--same] [--diff]\n"
           "                             [--missing] [--repo-folder PATH] [--exclude PATTERN]...\n"
           "                             [--subfolders | --no-subfolders] [--one-at-a-time] [-q] [--csv FILE]\n"
           "       qvrcompare-cli config --set KEY=VALUE...\n"
           "       qvrcompare-cli --help | --version\n"
           "CONTEXT: --broker B --user U (--password P | --password-file FILE | --password -) --project P\n"
           "         --state S --package K --install-dir DIR\n"
           "\n"
           "  list     lists the repository's files and writes them as CSV\n"
           "  report   compares the local files with the repository and writes the result as CSV\n"
           "  config   stores settings (Broker, UserId, Project, State, Package, LocalPath,\n"
           "           ShowNewFiles, ShowSameFiles, ShowDiffFiles, SubFolders, ShowMissingFiles,\n"
           "           RepoFolder, ExcludePatterns) for later runs\n"
           "\n"
           "Values not given come from the stored settings; the password may also\n"
           "come from QVR_PASSWORD. --password shows in the process list to every user: prefer\n"
           "--password-file FILE (its first line), --password - (one line from standard input)\n"
           "or QVR_PASSWORD. --new/--same/--diff/--missing: when none is given the stored\n"
           "display options apply, otherwise exactly those given; with none given or stored the\n"
           "report does not run. --missing lists repository files with no local file at their\n"
           "place. --repo-folder PATH names the repository folder the local path stands for\n"
           "(\\ or / for the root; default: the folder most local files are found in).\n"
           "--exclude PATTERN (repeatable; * and ? wildcards) leaves out files and folders of\n"
           "that name on both sides; given, the patterns replace the stored ones. --csv FILE,\n"
           "or '-' (the default), for standard output. --one-at-a-time compares each file before\n"
           "the scan goes on instead of on threads beside it (the same list, slower). -q, --quiet:\n"
           "only errors on standard error. The tools vlx, vgt and vqry are found on PATH. '--'\n"
           "ends the options.\n"
           "\n"
           "Exit status: 0 success (report: no New, Diff or Missing file listed), 1 report listed\n"
           "a New, Diff or Missing file, 2 error, bad usage, nothing to show or interrupted. See\n"
           "qvrcompare-cli(1).\n";
}

std::string VersionText() { return std::string("qvrcompare-cli (") + kProgramName + ") " + kProgramVersion + "\n"; }

std::string TryHelpText() { return "Try 'qvrcompare-cli --help'.\n"; }

}  // namespace qvr::cli
