#include "cli/cli_run.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <utility>

#include "app/busy_flags.h"
#include "app/path.h"
#include "app/platform.h"
#include "app/startup.h"
#include "cli/cli_console.h"
#include "cli/cli_options.h"
#include "cli/cli_window.h"
#include "compare/classifier.h"
#include "compare/csv_export.h"
#include "res/resource.h"
#include "workflow/compare_workflows.h"

namespace qvr::cli {
namespace {

using namespace res;

constexpr const char* kCliName = "qvrcompare-cli";

// The settings 'config --set' stores, and what their values must be.
enum class ValueKind { Text, Path, Flag };
constexpr std::pair<const char*, ValueKind> kStorableSettings[] = {
    {"Broker", ValueKind::Text},      {"UserId", ValueKind::Text},        {"Project", ValueKind::Text},
    {"State", ValueKind::Text},       {"Package", ValueKind::Text},       {"LocalPath", ValueKind::Path},
    {"ShowNewFiles", ValueKind::Flag}, {"ShowSameFiles", ValueKind::Flag}, {"ShowDiffFiles", ValueKind::Flag},
    {"SubFolders", ValueKind::Flag},  {"ShowMissingFiles", ValueKind::Flag}, {"RepoFolder", ValueKind::Text},
    {"ExcludePatterns", ValueKind::Text},
};
// The statuses a report's summary counts, in the order it names them.
constexpr const char* kSummaryStatuses[] = {"New", "Diff", "Same", "Missing"};

// Paths on the command line are the caller's, relative to the directory it
// ran us from; start-up and the scan change the current directory.
void MakeAbsolute(std::optional<std::string>& path) {
    if (!path || path->empty()) return;
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(*path, ec);
    if (!ec) *path = absolute.string();
}

void MakePathsAbsolute(CliOptions& options) {
    MakeAbsolute(options.installDir);
    MakeAbsolute(options.localPath);
    MakeAbsolute(options.tempPath);
    if (!options.CsvToStdout()) {
        std::optional<std::string> csv = options.csvFile;
        MakeAbsolute(csv);
        options.csvFile = *csv;
    }
}

// The command line's values over the stored ones, as if typed into the
// window before the button is clicked.
void ApplyOptions(const CliOptions& options, AppSettings& settings) {
    ScmContext& context = settings.context;
    const auto take = [](const std::optional<std::string>& given, std::string& field) {
        if (given) field = *given;
    };
    take(options.broker, context.broker);
    take(options.user, context.userId);
    if (options.password) {
        context.password = LimitToEditText(*options.password);
    } else if (const char* password = std::getenv("QVR_PASSWORD")) {
        context.password = LimitToEditText(password);
    }
    take(options.project, context.project);
    take(options.state, context.state);
    take(options.package, context.package);
    take(options.localPath, context.localPath);
    take(options.tempPath, context.tempPath);
    DisplayOptions& display = settings.display;
    if (options.DisplayGiven()) {
        display.showNewFiles = options.showNew ? 1 : 0;
        display.showSameFiles = options.showSame ? 1 : 0;
        display.showDiffFiles = options.showDiff ? 1 : 0;
        display.showMissingFiles = options.showMissing ? 1 : 0;
    }
    take(options.repoFolder, settings.templates.repoFolder);
    if (!options.exclude.empty()) {
        std::string patterns;
        for (const std::string& pattern : options.exclude) patterns += (patterns.empty() ? "" : ";") + pattern;
        settings.templates.excludePatterns = patterns;
    }
    if (options.subFolders) display.subFolders = *options.subFolders ? 1 : 0;
}

void FillControls(const ScmContext& context, CliWorkflowView& view) {
    view.SetControlText(IDC_BROKER, context.broker);
    view.SetControlText(IDC_USERID, context.userId);
    view.SetControlText(IDC_PASSWORD, context.password);
    view.SetControlText(IDC_PROJECT, context.project);
    view.SetControlText(IDC_STATE, context.state);
    view.SetControlText(IDC_PACKAGE, context.package);
    view.SetControlText(IDC_TEMPPATH, context.tempPath);
    view.SetControlText(IDC_LOCALPATH, context.localPath);
    view.SetControlText(IDC_GEN_TOP, kPopulateCaption);
    view.SetControlText(IDC_GEN_BTM, kReportCaption);
}

std::string ProgressText(const CliWorkflowView& view, CompareWorkflows& workflows, const ReportTable& top,
                         const ReportTable& bottom) {
    if (view.Scanning()) {
        const int visited = workflows.Scanner().PathCount();
        const int rows = CountFilledRows(bottom);
        // The listing is let go before the final sort: the rows alone count then.
        if (visited == 0 && rows > 0) return "rows listed " + std::to_string(rows);
        return "files visited " + std::to_string(visited) + ", rows listed " + std::to_string(rows);
    }
    return "rows listed " + std::to_string(CountFilledRows(top));
}

// The list in the export format; a list showing only its blank rows holds
// nothing and gives the header alone.
bool WriteList(const CliOptions& options, ReportTable& table, const CliStreams& streams, CliConsole& console) {
    if (CountFilledRows(table) == 0) table.RemoveAllRows();
    const std::vector<int> widths = DeclaredColumnWidths(table);
    if (options.CsvToStdout()) {
        errno = 0;
        WriteCsv(streams.out, table, widths);
        streams.out.flush();
        if (streams.out) return true;
        // A full device or a closed pipe: the caller must not take the run
        // for one that listed nothing.
        console.PrintLine(std::string(kCliLinePrefix) + "cannot write the list: " +
                          std::strerror(errno != 0 ? errno : EIO));
        return false;
    }
    int error = 0;
    if (WriteCsvFile(options.csvFile, table, widths, error)) return true;
    console.PrintLine(std::string(kCliLinePrefix) + "cannot write " + options.csvFile + ": " + std::strerror(error));
    return false;
}

class CliRun {
public:
    CliRun(const CliOptions& options, IProfileStore& store, const CliStreams& streams, const FinishAction& finish,
           std::string launchDir)
        : m_options(options), m_store(store), m_streams(streams), m_finish(finish), m_launchDir(std::move(launchDir)),
          m_console(streams.err, streams.errIsTerminal && !options.quiet, streams.errCanErase),
          m_view(m_console, streams.errIsTerminal && !options.quiet), m_host(m_console), m_pump(m_console) {}

    int Start(const std::string& program, const std::string& configDir, const std::string& homeDir) {
        StartupInputs inputs;
        inputs.args = {program};  // no local path from our own arguments
        inputs.configDir = configDir;
        inputs.homeDir = homeDir;
        int status = kExitError;
        const auto runner = [&](AppEnvironment& environment) {
            status = Run(environment);
            return 0;  // neither OK nor Cancel: no return code is written
        };
        const StartupResult started = RunApplication(inputs, m_host, runner, m_options.installDir.value_or(""));
        m_console.Finish();
        return started.dialogRan ? status : kExitError;
    }

private:
    int Run(AppEnvironment& environment) {
        AppSettings settings = LoadSettings(m_store, environment.ForSettings());
        ApplyOptions(m_options, settings);
        // A stored relative local path is the caller's too, like one given
        // with --local: start-up has left the directory we were run from.
        if (!m_launchDir.empty()) {
            settings.context.localPath = AbsolutePathFrom(settings.context.localPath, m_launchDir);
        }
        const DisplayOptions& display = settings.display;
        if (m_options.command == CliCommand::Report && !display.showNewFiles && !display.showSameFiles &&
            !display.showDiffFiles && !display.showMissingFiles) {
            // An empty list would read as "no changes".
            m_console.PrintLine(std::string(kCliName) + ": nothing to show: give --new, --diff, --same or --missing");
            return kExitError;
        }
        ReportTable top;
        ReportTable bottom;
        top.ApplyColumnSpec(kTopListColumnSpec);
        bottom.ApplyColumnSpec(kBottomListColumnSpec);
        AddBlankRows(top, kBlankTopRows);
        AddBlankRows(bottom, kBlankBottomRows);
        CMapStrToFObj records;
        CompareWorkflows workflows(WorkflowParts{m_view, top, bottom, settings, records, environment.installDir,
                                                 environment.trace, m_host, m_pump});
        if (m_options.oneAtATime) workflows.GetClassifier().SetCompareThreads(0);
        workflows.SetLookupsAfterReport(false);
        FillControls(settings.context, m_view);
        m_console.SetProgressSource([&] { return ProgressText(m_view, workflows, top, bottom); });

        g_populateInProgress = 0;
        g_reportInProgress = 0;
        const bool report = m_options.command == CliCommand::Report;
        if (report) {
            workflows.OnBtnGenBtmReport();
        } else {
            workflows.OnBtnGenTopScmList();
        }
        m_console.Finish();

        const int status = Conclude(report, top, bottom);
        if (m_finish) m_finish(status);
        return status;
    }

    int Conclude(bool report, ReportTable& top, ReportTable& bottom) {
        const RunOutcome outcome{m_view.Status(), m_view.ErrorStatusSeen(), m_host.BoxCount()};
        if (!RunSucceeded(outcome)) return kExitError;
        ReportTable& list = report ? bottom : top;
        const std::string summary = SummaryLine(report, list);
        if (!WriteList(m_options, list, m_streams, m_console)) return kExitError;
        if (!m_options.quiet) {
            // The report's last status names the repository folder it used.
            const std::string& status = outcome.finalStatus;
            for (const char* folder : {" Ready - Repository folder: ", " Ready - No repository folder: "}) {
                if (report && status.rfind(folder, 0) == 0) m_console.PrintLine(kCliLinePrefix + status.substr(9));
            }
            m_console.PrintLine(kCliLinePrefix + summary);
        }
        return report ? ReportExitStatus(bottom) : kExitSuccess;
    }

    const CliOptions& m_options;
    IProfileStore& m_store;
    const CliStreams& m_streams;
    const FinishAction& m_finish;
    const std::string m_launchDir;
    CliConsole m_console;
    CliWorkflowView m_view;
    CliMessageBoxHost m_host;
    CliMessagePump m_pump;
};

// The password from where the command line says, kept out of the process
// list: the first line of a file, or one line of standard input for "-".
bool ReadPassword(CliOptions& options, const CliStreams& streams, std::string& error) {
    const auto firstLine = [](std::istream& in, std::string& line) {
        if (!std::getline(in, line) && line.empty()) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    };
    std::string line;
    if (options.passwordFile) {
        std::ifstream file(*options.passwordFile, std::ios::binary);
        if (!file || !firstLine(file, line)) {
            error = "cannot read the password file " + *options.passwordFile + ": " +
                    std::strerror(errno != 0 ? errno : EIO);
            return false;
        }
        options.password = line;
    } else if (options.password && *options.password == "-") {
        if (!firstLine(streams.in ? *streams.in : std::cin, line)) {
            error = "--password -: no line on standard input";
            return false;
        }
        options.password = line;
    }
    return true;
}

}  // namespace

bool RunSucceeded(const RunOutcome& outcome) {
    return !outcome.errorStatusSeen && outcome.messageBoxes == 0 && outcome.finalStatus.rfind(" Ready", 0) == 0;
}

int ReportExitStatus(const ReportTable& bottom) {
    const int rows = CountFilledRows(bottom);
    for (int row = 0; row < rows; ++row) {
        const std::string_view status = bottom.GetItemText(row, BottomStatus);
        if (status == "New" || status == "Diff" || status == "Missing") return kExitDifferences;
    }
    return kExitSuccess;
}

std::string SummaryLine(bool report, const ReportTable& list) {
    const int rows = CountFilledRows(list);
    std::string line = std::to_string(rows) + (rows == 1 ? " file listed" : " files listed");
    if (!report) return line + " from the repository";
    std::map<std::string, int, std::less<>> counts;
    for (int row = 0; row < rows; ++row) ++counts[std::string(list.GetItemText(row, BottomStatus))];
    std::string parts;
    for (const char* status : kSummaryStatuses) {
        const auto found = counts.find(status);
        if (found == counts.end()) continue;
        parts += (parts.empty() ? ": " : ", ") + std::to_string(found->second) + " " + status;
    }
    return line + parts;
}

std::string CsvTargetProblem(const std::string& path) {
    std::error_code ec;
    const bool existed = std::filesystem::exists(path, ec);
    errno = 0;
    // Opened for appending, an existing list is left as it is until the
    // run writes the new one.
    std::ofstream probe(path, std::ios::binary | std::ios::app);
    const int error = errno != 0 ? errno : EIO;
    if (!probe) return "cannot write " + path + ": " + std::strerror(error);
    probe.close();
    if (!existed) std::filesystem::remove(path, ec);
    return {};
}

namespace {

// 'config --set KEY=VALUE...': each value checked first, then all stored.
int StoreSettings(const CliOptions& options, IProfileStore& store, const CliStreams& streams) {
    std::vector<std::pair<std::string, std::string>> values;
    for (const std::string& setting : options.settingsToStore) {
        const std::size_t equals = setting.find('=');
        const std::string key = setting.substr(0, equals);
        std::string value = setting.substr(equals + 1);
        const auto known = std::find_if(std::begin(kStorableSettings), std::end(kStorableSettings),
                                        [&](const auto& entry) { return key == entry.first; });
        std::string problem;
        if (key == "Password" || key == "Pswd") {
            problem = "the password is not stored by 'config'; give it to each run (e.g. in QVR_PASSWORD)";
        } else if (known == std::end(kStorableSettings)) {
            problem = "unknown setting '" + key + "'";
        } else if (known->second == ValueKind::Flag && value != "0" && value != "1") {
            problem = key + " takes 0 or 1, not '" + value + "'";
        } else if (CharacterCount(value) > kEditTextLimit) {
            problem = key + " value is longer than " + std::to_string(kEditTextLimit) + " characters";
        } else if (known->second == ValueKind::Path) {
            // Stored as the folder it names now, not relative to wherever the
            // next run starts.
            value = AbsolutePathFrom(value, platform::CurrentDirectory());
        }
        if (!problem.empty()) {
            streams.err << kCliLinePrefix << problem << "\n";
            return kExitError;
        }
        values.emplace_back(key, value);
    }
    for (const auto& [key, value] : values) store.WriteProfileString(kSettingsSection, key, value);
    store.Flush();
    return kExitSuccess;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, IProfileStore& store, const CliStreams& streams,
           const std::string& configDir, const std::string& homeDir, const FinishAction& finish) {
    const std::vector<std::string> rest(args.size() > 1 ? args.begin() + 1 : args.end(), args.end());
    ParseResult parsed = ParseCliOptions(rest);
    if (!parsed.error.empty()) {
        streams.err << kCliLinePrefix << parsed.error << "\n" << TryHelpText();
        return kExitError;
    }
    CliOptions& options = parsed.options;
    switch (options.command) {
    case CliCommand::Help: streams.out << UsageText(); return kExitSuccess;
    case CliCommand::Version: streams.out << VersionText(); return kExitSuccess;
    case CliCommand::Config: return StoreSettings(options, store, streams);
    case CliCommand::List:
    case CliCommand::Report: break;
    }
    MakePathsAbsolute(options);
    if (std::string error; !ReadPassword(options, streams, error)) {
        streams.err << kCliLinePrefix << error << "\n";
        return kExitError;
    }
    // A list that cannot be written is found before the tools run for it.
    if (!options.CsvToStdout()) {
        if (const std::string problem = CsvTargetProblem(options.csvFile); !problem.empty()) {
            streams.err << kCliLinePrefix << problem << "\n";
            return kExitError;
        }
    }
    CliRun run(options, store, streams, finish, platform::CurrentDirectory());
    return run.Start(args.empty() ? kCliName : args[0], configDir, homeDir);
}

}  // namespace qvr::cli
