// qvrcompare-cli as a script runs it: a child process with the stand-in tools
// on PATH, a broker built by qvradmin, its own config folder. Outputs are
// compared byte for byte.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QString>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <thread>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <sstream>

#include "app/settings.h"
#include "quorvan_sandbox.h"
#include "settings_qt/qsettings_profile_store.h"
#include "support/argument_vector.h"
#include "support/test_platform.h"

extern char** environ;

namespace qvr::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPassword = QuorvanSandbox::kPassword;

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Restores an environment variable when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        Set(value);
    }
    ~ScopedEnv() { Set(m_old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(m_name, value->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

class CliEndToEndTest : public ::testing::Test {
protected:
    CliEndToEndTest()
        : m_sandbox(QVR_TOOL_DIR),
          m_config(m_sandbox.Root().Str() + "/config"),
          m_xdg("XDG_CONFIG_HOME", m_config),
          m_tz("TZ", std::string("UTC")),
          m_password("QVR_PASSWORD", std::nullopt) {
        fs::create_directories(m_config);
    }

    CliResult Run(const std::vector<std::string>& args) { return RunFrom(args, "", false); }

    // A run of the program, started in the folder cwd (here when empty), and,
    // when unprivileged, as a user whom permissions bind (see RunUnprivileged).
    CliResult RunFrom(const std::vector<std::string>& args, const std::string& cwd, bool unprivileged) {
        return Wait(Start(args, cwd, unprivileged));
    }
    // The run started, its standard input read from inFile and its output
    // going to outFile (files of its own under the sandbox when empty).
    struct Started {
        pid_t pid = -1;
        fs::path outFile;
        fs::path errFile;
    };
    Started Start(const std::vector<std::string>& args, const std::string& cwd = "", bool unprivileged = false,
                  const std::string& inFile = "/dev/null", std::string outPath = "") {
        static int runs = 0;
        const std::string tag = std::to_string(++runs);
        const fs::path outFile = outPath.empty() ? m_sandbox.Root() / ("cli" + tag + ".out") : fs::path(outPath);
        const fs::path errFile = m_sandbox.Root() / ("cli" + tag + ".err");
        ArgumentVector argv(QVR_CLI_PATH, args);
        const pid_t pid = ::fork();
        if (pid < 0) return {};
        if (pid == 0) {
            const int in = ::open(inFile.c_str(), O_RDONLY);
            const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
                ::_exit(120);
            }
            if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(121);
            if (unprivileged && !DropPrivileges()) ::_exit(122);
            ::execve(QVR_CLI_PATH, argv.Data(), environ);
            ::_exit(123);
        }
        return {pid, outFile, errFile};
    }
    CliResult Wait(const Started& started) {
        CliResult result;
        int status = 0;
        if (started.pid < 0) return result;
        if (waitpid(started.pid, &status, 0) == started.pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
        if (fs::is_regular_file(started.outFile)) result.out = ReadFile(started.outFile);
        result.err = ReadFile(started.errFile);
        return result;
    }

    std::vector<std::string> Context(const std::string& project = "PROJ") const {
        return {"--broker",  QuorvanSandbox::kBroker, "--user",  QuorvanSandbox::kUser,
                "--password", kPassword,              "--project", project,
                "--state",   "DEV",                   "--install-dir", m_sandbox.InstallDir()};
    }
    std::vector<std::string> ReportArgs(std::vector<std::string> extra) const {
        std::vector<std::string> args{"report"};
        const auto context = Context();
        args.insert(args.end(), context.begin(), context.end());
        args.insert(args.end(), {"--local", m_sandbox.LocalDir()});
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    std::vector<std::string> ListArgs(const std::string& project = "PROJ") const {
        std::vector<std::string> args{"list"};
        const auto context = Context(project);
        args.insert(args.end(), context.begin(), context.end());
        return args;
    }

    void Import(const std::vector<std::pair<std::string, std::string>>& files, const std::string& project = "PROJ") {
        for (const auto& [path, content] : files) m_sandbox.Root().Write("source/" + path, content);
        ASSERT_TRUE(m_sandbox.Import(project, "DEV", m_sandbox.SourceDir()));
    }
    // A local file with a fixed modification time, so its Date cell is known.
    void WriteLocal(const std::string& path, const std::string& content) {
        const fs::path file = m_sandbox.Root().Write("local/" + path, content);
        // 2024-03-05 14:07:09 UTC
        const timespec times[2] = {{1709647629, 0}, {1709647629, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    }
    // A repository of three files; the local tree has one the same, one
    // changed and one new, each in a folder of its own (rows of one folder
    // keep the order the scan met them in).
    void MakeMixedTrees() {
        Import({{"same.txt", "same text"}, {"src/changed.c", "int a;"}, {"src/other.c", "x"}});
        WriteLocal("same.txt", "same text");
        WriteLocal("src/changed.c", "int b;");
        WriteLocal("inc/new.h", "new");
    }
    // Creator, created date, modifier and modified date as vlx reported them for file, from the log the
    // run left in the install folder.
    std::map<std::string, std::string> VlxDates() const {
        std::map<std::string, std::string> dates;
        std::istringstream log(ReadFile(m_sandbox.InstallDir() + "/vlx.log"));
        std::string line;
        while (std::getline(log, line)) {
            std::vector<std::string> fields;
            std::istringstream cells(line);
            for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
            if (fields.size() == 10) {
                dates[fields[0]] = fields[6] + "," + fields[7] + "," + fields[8] + "," + fields[9];
            }
        }
        return dates;
    }
    void StoreSettings(const std::map<std::string, std::string>& values) {
        QSettingsProfileStore store(QString::fromStdString(m_config + "/Vemtaro/QvrCompare.conf"));
        for (const auto& [key, value] : values) store.WriteProfileString(kSettingsSection, key, value);
        store.Flush();
    }
    std::string Local() const { return m_sandbox.LocalDir() + "/"; }

    QuorvanSandbox m_sandbox;
    std::string m_config;
    ScopedEnv m_xdg;
    ScopedEnv m_tz;
    ScopedEnv m_password;
};

const std::string kTopHeader =
    "File,Path,Version,Tag,Datasize,Package,Creator,Created Date,Modifier,Modified Date,Status,\r\n";
const std::string kBottomHeader = "File,Path,Datasize,Date,Status,\r\n";

TEST_F(CliEndToEndTest, ListWritesTheTopListSortedByPathInTheExportFormat) {
    Import({{"z.txt", "zz"}, {"src/b.c", "int b;"}, {"a,b \"q\".txt", ""}});
    const CliResult result = Run(ListArgs());
    ASSERT_EQ(result.status, 0) << result.err;
    auto dates = VlxDates();
    const auto row = [&](const std::string& cells, const std::string& file) { return cells + dates[file] + ",,\r\n"; };
    // Cells holding a comma or a quote are quoted, inner quotes doubled.
    EXPECT_EQ(result.out, kTopHeader + row("\"a,b \"\"q\"\".txt\",\\,1, ,0,BASE,", "a,b \"q\".txt") +
                              row("z.txt,\\,1, ,2,BASE,", "z.txt") + row("b.c,\\src,1, ,6,BASE,", "b.c"));
    // Without a terminal: the one-line summary and nothing else.
    EXPECT_EQ(result.err, "qvrcompare-cli: 3 files listed from the repository\n");
}

TEST_F(CliEndToEndTest, ReportWritesTheBottomListAndExitsOneForNewOrDiff) {
    MakeMixedTrees();
    const CliResult result = Run(ReportArgs({"--new", "--same", "--diff"}));
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out, kBottomHeader + "same.txt," + Local() + ",1 KB,03-05-2024 14:07:09,Same,\r\n" +
                              "new.h," + Local() + "inc/,1 KB,03-05-2024 14:07:09,New,\r\n" +
                              "changed.c," + Local() + "src/,1 KB,03-05-2024 14:07:09,Diff,\r\n");
    EXPECT_EQ(result.err,
              "qvrcompare-cli: Repository folder: \\\nqvrcompare-cli: 3 files listed: 1 New, 1 Diff, 1 Same\n");
}

TEST_F(CliEndToEndTest, OneAtATimeListsWhatTheThreadedRunLists) {
    MakeMixedTrees();
    for (const std::vector<std::string>& shown :
         {std::vector<std::string>{"--new", "--same", "--diff"}, {"--same"}, {"--diff"}}) {
        std::vector<std::string> oneAtATime = shown;
        oneAtATime.push_back("--one-at-a-time");
        const CliResult threaded = Run(ReportArgs(shown));
        const CliResult single = Run(ReportArgs(oneAtATime));
        EXPECT_EQ(single.status, threaded.status) << shown[0];
        EXPECT_EQ(single.out, threaded.out) << shown[0];
        EXPECT_GT(std::count(single.out.begin(), single.out.end(), '\n'), 1) << shown[0] << single.out;
    }
}

TEST_F(CliEndToEndTest, ReportExitStatusFollowsWhatIsShown) {
    MakeMixedTrees();
    struct Case {
        std::vector<std::string> options;
        int status;
        int rows;
    };
    const Case cases[] = {
        {{"--diff"}, 1, 1},
        {{"--same"}, 0, 1},
        {{"--missing"}, 1, 1},                  // src/other.c
        {{"--missing", "--no-subfolders"}, 0, 0},
        {{"--new", "--exclude", "inc"}, 0, 0},
        {{"--new", "--repo-folder", "\\src"}, 1, 3},
        {{"--new"}, 1, 1},
        {{"--same", "--no-subfolders"}, 0, 1},
        {{"--new", "--no-subfolders"}, 0, 0},  // the new file is in a subfolder
    };
    for (const Case& c : cases) {
        const CliResult result = Run(ReportArgs(c.options));
        EXPECT_EQ(result.status, c.status) << c.options[0] << result.err;
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), c.rows + 1) << c.options[0] << result.out;
    }
}

TEST_F(CliEndToEndTest, CsvFileReceivesWhatStandardOutputWould) {
    MakeMixedTrees();
    const CliResult toStdout = Run(ReportArgs({"--new", "--csv", "-"}));
    const std::string file = m_sandbox.Root().Str() + "/report.csv";
    m_sandbox.Root().Write("report.csv", "old content that must go");
    const CliResult toFile = Run(ReportArgs({"--new", "--csv", file}));
    EXPECT_EQ(toFile.status, 1);
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(ReadFile(file), toStdout.out);

    // Found before any tool runs: no new trace is even started.
    fs::remove(m_sandbox.InstallDir() + "/QvrCompare.trc");
    const CliResult unwritable = Run(ReportArgs({"--new", "--csv", m_sandbox.Root().Str() + "/missing/r.csv"}));
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_EQ(unwritable.err,
              "qvrcompare-cli: cannot write " + m_sandbox.Root().Str() + "/missing/r.csv: No such file or directory\n");
    EXPECT_FALSE(fs::exists(m_sandbox.InstallDir() + "/QvrCompare.trc"));
}

TEST_F(CliEndToEndTest, FailuresExitTwoWithTheirMessageAndNoList) {
    Import({{"a.txt", "a"}});
    WriteLocal("a.txt", "a");
    struct Case {
        std::string name;
        std::vector<std::string> args;
        std::string message;
    };
    auto wrongPassword = ListArgs();
    wrongPassword[6] = "wrong";
    const std::string kInsideEachOther =
        "qvrcompare-cli: The Temp Directory must not be inside the Local Path, nor the Local Path inside it: ";
    fs::create_directory_symlink(m_sandbox.LocalDir(), m_sandbox.Root() / "link");
    fs::create_directory(m_sandbox.Root() / "open");
    fs::permissions(m_sandbox.Root() / "open", fs::perms::all);
    auto reportWrongPassword = ReportArgs({"--new"});
    reportWrongPassword[6] = "wrong";
    auto diffReportWrongPassword = ReportArgs({"--diff"});
    diffReportWrongPassword[6] = "wrong";
    const Case cases[] = {
        {"wrong password", wrongPassword, "qvrcompare-cli: Error: Unable to Connect to the Broker.\n"},
        {"populate failing inside a report", reportWrongPassword,
         "qvrcompare-cli: Error: Unable to Connect to the Broker.\n"},
        {"populate failing inside a diff report", diffReportWrongPassword,
         "qvrcompare-cli: Error: Unable to Connect to the Broker.\n"},
        {"unknown state", {"list", "--broker", "DEMO", "--user", "alice", "--password", kPassword, "--project",
                           "PROJ", "--state", "NOPE", "--install-dir", m_sandbox.InstallDir()},
         "qvrcompare-cli: Error: "},
        {"missing state", {"list", "--project", "PROJ", "--install-dir", m_sandbox.InstallDir()},
         "qvrcompare-cli: State name is required.\n"},
        {"missing broker", {"list", "--project", "PROJ", "--state", "DEV", "--install-dir", m_sandbox.InstallDir()},
         "qvrcompare-cli: Error: Part of context is not set (not including Package)\n"},
        {"blank local path", ReportArgs({"--new", "--local", ""}), "qvrcompare-cli: Local Path is blank.\n"},
        {"missing local path", ReportArgs({"--new", "--local", m_sandbox.Root().Str() + "/no/such"}),
         "qvrcompare-cli: Error: Local Path not found - check the Local Path.\n"
         "qvrcompare-cli: Local Path not found: " + m_sandbox.Root().Str() + "/no/such\n"},
        {"local path is a file", ReportArgs({"--new", "--local", m_sandbox.LocalDir() + "/a.txt"}),
         "qvrcompare-cli: Local Path not found: " + m_sandbox.LocalDir() + "/a.txt\n"},
        {"temp is the local path", ReportArgs({"--diff", "--temp", m_sandbox.LocalDir()}), kInsideEachOther},
        {"temp inside the local path", ReportArgs({"--diff", "--temp", m_sandbox.LocalDir() + "/t"}), kInsideEachOther},
        {"local path inside the temp", ReportArgs({"--diff", "--temp", m_sandbox.Root().Str()}), kInsideEachOther},
        {"temp a link into the local path", ReportArgs({"--diff", "--temp", m_sandbox.Root().Str() + "/link"}),
         kInsideEachOther},
        {"temp others may write to", ReportArgs({"--diff", "--temp", m_sandbox.Root().Str() + "/open"}),
         "qvrcompare-cli: The Temp Directory is not safe: another user owns or can write to " +
             m_sandbox.Root().Str() + "/open - choose a folder of your own.\n"},
        {"password file missing", {"list", "--password-file", m_sandbox.Root().Str() + "/no/pw"},
         "qvrcompare-cli: cannot read the password file " + m_sandbox.Root().Str() + "/no/pw: No such file"},
        {"two password options", {"list", "--password", "x", "--password-file", "f"},
         "qvrcompare-cli: --password and --password-file exclude each other\n"},
        {"unknown option", {"list", "--bogus"}, "qvrcompare-cli: unknown option '--bogus'\nTry 'qvrcompare-cli --help'.\n"},
        {"report option on list", {"list", "--same"}, "qvrcompare-cli: --same applies to 'report' only\n"},
        {"nothing to show", ReportArgs({}),
         "qvrcompare-cli: nothing to show: give --new, --diff, --same or --missing\n"},
        {"unknown option before a report flag", {"report", "--bogus", "--new"},
         "qvrcompare-cli: unknown option '--bogus'\nTry 'qvrcompare-cli --help'.\n"},
        {"empty CSV name", {"list", "--csv", ""},
         "qvrcompare-cli: --csv needs a file name, or '-' for standard output\nTry 'qvrcompare-cli --help'.\n"},
        {"argument after --", {"list", "--", "--help"},
         "qvrcompare-cli: unexpected argument '--help'\nTry 'qvrcompare-cli --help'.\n"},
        {"install folder missing", {"list", "--install-dir", m_sandbox.Root().Str() + "/no/such"},
         "qvrcompare-cli: Unable to create directory: " + m_sandbox.Root().Str() + "/no/such/Temp\n"},
    };
    for (const Case& c : cases) {
        const CliResult result = Run(c.args);
        EXPECT_EQ(result.status, 2) << c.name;
        EXPECT_EQ(result.out, "") << c.name;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.name << ":\n" << result.err;
    }
    EXPECT_FALSE(fs::exists(m_sandbox.InstallDir() + "/vgt.log")) << "no run reached the checkout";
}

// Two runs over one install directory would share the tools' logs and
// copies: the second ends at once, the first goes on with its trace whole;
// once it has ended, its lock holds nobody back.
TEST_F(CliEndToEndTest, ASecondRunOnTheSameFoldersEndsAtOnce) {
    Import({{"a.txt", "a"}});
    WriteLocal("a.txt", "a");
    m_sandbox.SlowDown("vlx", 3000);
    const Started first = Start(ListArgs());
    const std::string trace = m_sandbox.InstallDir() + "/QvrCompare.trc";
    for (int waited = 0; waited < 200 && ReadFile(trace).find("RunVLX: START") == std::string::npos; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (const auto& args : {ListArgs(), ReportArgs({"--diff"})}) {
        const CliResult second = Run(args);
        EXPECT_EQ(second.status, 2);
        EXPECT_NE(second.err.find("qvrcompare-cli: Another QvrCompare run is using " + m_sandbox.InstallDir() +
                                  " - wait for it to end or choose another Temp Directory / install directory.\n"),
                  std::string::npos)
            << second.err;
    }
    const CliResult done = Wait(first);
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_NE(done.out.find("a.txt,"), std::string::npos);
    EXPECT_NE(ReadFile(trace).find("CQvrCompareDlg::RunVLX: START"), std::string::npos) << "first run's trace kept";
    EXPECT_EQ(Run(ReportArgs({"--diff"})).status, 0);
}

// The password kept out of the process list: from a file, or a line of
// standard input.
TEST_F(CliEndToEndTest, PasswordFromAFileOrStandardInput) {
    Import({{"a.txt", "a"}});
    const std::string file = m_sandbox.Root().Write("pw", std::string(kPassword) + "\r\nignored\n").string();
    auto args = ListArgs();
    args.erase(args.begin() + 5, args.begin() + 7);
    auto fromFile = args;
    fromFile.insert(fromFile.end(), {"--password-file", file});
    EXPECT_EQ(Run(fromFile).status, 0);
    auto fromInput = args;
    fromInput.insert(fromInput.end(), {"--password", "-"});
    EXPECT_EQ(Wait(Start(fromInput, "", false, file)).status, 0);
    EXPECT_EQ(Wait(Start(fromInput)).status, 2) << "no line to read";
}

// Nothing the run writes may be read by another user; a list that cannot be
// written is said so.
TEST_F(CliEndToEndTest, FilesAreTheOwnersAloneAndAFailedListIsReported) {
    Import({{"a.txt", "a"}});
    WriteLocal("a.txt", "b");
    fs::remove_all(m_sandbox.InstallDir() + "/Temp");
    const CliResult result = Wait(Start(ReportArgs({"--diff"}), "", false, "/dev/null", "/dev/full"));
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("qvrcompare-cli: cannot write the list: No space left on device\n"), std::string::npos)
        << result.err;
    for (const char* name : {"QvrCompare.trc", "vlx.log", "vgt.log", "vqrystmt.sql", "vqrystmt.dat", "Temp"}) {
        const fs::perms perms = fs::status(m_sandbox.InstallDir() + "/" + name).permissions();
        EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none) << name;
    }
}

TEST_F(CliEndToEndTest, AToolMissingFromPathIsAnError) {
    Import({{"a.txt", "a"}});
    m_sandbox.HideTool("vlx");
    const CliResult result = Run(ListArgs());
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("qvrcompare-cli: "), std::string::npos) << result.err;
}

// The ids of the stand-in tools running for this sandbox (their environment
// names its QUORVAN_HOME).
std::vector<pid_t> ToolsOf(const std::string& quorvanHome) {
    std::vector<pid_t> found;
    const std::string mark = "QUORVAN_HOME=" + quorvanHome;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string environment = ReadFile(entry.path() / "environ");
        for (std::size_t at = 0; at < environment.size();) {
            const std::size_t end = std::min(environment.find('\0', at), environment.size());
            if (environment.compare(at, end - at, mark) == 0 && name != std::to_string(::getpid())) {
                const std::string command = ReadFile(entry.path() / "cmdline");
                if (command.find("vqry") != std::string::npos || command.find("vlx") != std::string::npos) {
                    found.push_back(std::stoi(name));
                }
            }
            at = end + 1;
        }
    }
    return found;
}

// Ctrl+C (or a request to end) during a run ends the tool it waits for and
// the run with status 2: the tools run in process groups of their own, where
// the terminal's signal does not reach them.
TEST_F(CliEndToEndTest, InterruptEndsTheToolItWaitsFor) {
    QVR_SKIP_ON_WINDOWS("POSIX signals");
    Import({{"a.txt", "a"}});
    const std::string home = std::getenv("QUORVAN_HOME") ? std::getenv("QUORVAN_HOME") : "";
    ASSERT_FALSE(home.empty());
    ScopedEnv delay("QUORVAN_DELAY_MS", std::string("30000"));
    for (int sig : {SIGINT, SIGTERM}) {
        const Started cli = Start(ListArgs());
        ASSERT_GE(cli.pid, 0);
        const auto waitFor = [](const std::function<bool()>& done) {
            for (int k = 0; k < 1000 && !done(); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return done();
        };
        EXPECT_TRUE(waitFor([&] { return !ToolsOf(home).empty(); })) << "no tool started";
        ::kill(cli.pid, sig);
        // The list is incomplete: an error (exit status 2), said on standard error.
        const CliResult result = Wait(cli);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, "qvrcompare-cli: interrupted; the list is incomplete and was not written\n");
        EXPECT_TRUE(waitFor([&] { return ToolsOf(home).empty(); })) << "a tool outlived the run: signal " << sig;
    }
}

TEST_F(CliEndToEndTest, StoredSettingsFillWhatTheCommandLineLeavesOut) {
    MakeMixedTrees();
    // The profile is stored without the window; the password never is.
    const CliResult config = RunFrom({"config", "--set", "Broker=DEMO", "--set", "UserId=alice", "--set=Project=PROJ",
                                      "--set", "State=DEV", "--set", "LocalPath=local", "--set", "ShowNewFiles=1",
                                      "--set", "ShowSameFiles=0", "--set", "ShowDiffFiles=1", "--set",
                                      "ShowMissingFiles=0", "--set", "RepoFolder=\\", "--set", "ExcludePatterns=*.o"},
                                     m_sandbox.Root().Str(), false);
    ASSERT_EQ(config.status, 0) << config.err;
    for (const char* refused : {"Pswd=x", "ShowNewFiles=yes", "Colour=red"}) {
        const CliResult bad = Run({"config", "--set", "State=NOPE", "--set", refused});
        EXPECT_EQ(bad.status, 2) << refused;
        EXPECT_EQ(bad.err.rfind("qvrcompare-cli: ", 0), 0u) << bad.err;
    }
    std::string scrambled = kPassword;
    ScramblePassword(scrambled);
    StoreSettings({{"Pswd", scrambled}});
    const std::string installDir = "--install-dir=" + m_sandbox.InstallDir();
    const CliResult stored = Run({"report", installDir});
    EXPECT_EQ(stored.status, 1) << stored.err;
    EXPECT_EQ(stored.out, kBottomHeader + "new.h," + Local() + "inc/,1 KB,03-05-2024 14:07:09,New,\r\n" +
                              "changed.c," + Local() + "src/,1 KB,03-05-2024 14:07:09,Diff,\r\n");

    // Given display options replace the stored ones entirely.
    const CliResult same = Run({"report", installDir, "--same"});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, kBottomHeader + "same.txt," + Local() + ",1 KB,03-05-2024 14:07:09,Same,\r\n");

    // A given value wins over the stored one.
    const CliResult otherState = Run({"list", installDir, "--state", "NOPE"});
    EXPECT_EQ(otherState.status, 2);
}

TEST_F(CliEndToEndTest, StoredRelativeLocalPathIsTheCallersAndScannedOnce) {
    MakeMixedTrees();
    std::string scrambled = kPassword;
    ScramblePassword(scrambled);
    StoreSettings({{"Broker", "DEMO"}, {"UserId", "alice"}, {"Pswd", scrambled}, {"Project", "PROJ"},
                   {"State", "DEV"}, {"LocalPath", "local"}, {"ShowNewFiles", "1"}, {"ShowSameFiles", "0"},
                   {"ShowDiffFiles", "1"}});
    const std::string expected = kBottomHeader + "new.h," + Local() + "inc/,1 KB,03-05-2024 14:07:09,New,\r\n" +
                                 "changed.c," + Local() + "src/,1 KB,03-05-2024 14:07:09,Diff,\r\n";
    // The first run makes the temp folder and stays where it was started;
    // later runs start inside the temp folder. Both take the path from the
    // folder the caller ran them in.
    for (int run = 0; run < 2; ++run) {
        const CliResult result = RunFrom({"report", "--install-dir=" + m_sandbox.InstallDir()}, m_sandbox.Root().Str(),
                                         false);
        EXPECT_EQ(result.status, 1) << run << result.err;
        EXPECT_EQ(result.out, expected) << run;
    }
}

TEST_F(CliEndToEndTest, UnlistableFolderMakesTheReportIncomplete) {
    MakeMixedTrees();
    WriteLocal("locked/hidden.c", "h");
    ASSERT_TRUE(GiveTreeToUnprivileged(m_sandbox.Root().Str()));
    fs::permissions(m_sandbox.LocalDir() + "/locked", fs::perms::none);
    // Permissions bind only an unprivileged process, tools and all.
    const CliResult result = RunFrom(ReportArgs({"--new", "--diff"}), m_sandbox.Root().Str(), true);
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("qvrcompare-cli: 1 folder(s) could not be read; the report is incomplete - see the trace.\n"),
              std::string::npos)
        << result.err;
    const std::string trace = ReadFile(m_sandbox.InstallDir() + "/QvrCompare.trc");
    const std::size_t note =
        trace.find(" CFileScan::Scan: Folder could not be read: " + Local() + "locked/ (Permission denied)\n");
    EXPECT_NE(note, std::string::npos) << trace;
    // Listed while the checkout ran, the scan still notes it in its place.
    EXPECT_GT(note, trace.find("RunVgt was successful")) << trace;
}

TEST_F(CliEndToEndTest, PasswordFromTheEnvironment) {
    Import({{"a.txt", "a"}});
    auto args = ListArgs();
    args.erase(args.begin() + 5, args.begin() + 7);  // no --password
    {
        ScopedEnv password("QVR_PASSWORD", std::string(kPassword));
        EXPECT_EQ(Run(args).status, 0);
        // The command line's password comes first.
        EXPECT_EQ(Run(ListArgs()).status, 0);
        auto wrong = ListArgs();
        wrong[6] = "wrong";
        EXPECT_EQ(Run(wrong).status, 2);
    }
    EXPECT_EQ(Run(args).status, 2);
}

TEST_F(CliEndToEndTest, ValuesReachTheToolsAsSingleArgumentsAndStayOutOfTheTrace) {
    Import({{"a.txt", "a"}}, "O'Brien");
    const std::string record = m_sandbox.Root().Str() + "/argv.txt";
    ScopedEnv recording("QUORVAN_RECORD_ARGV", record);
    const CliResult result = Run(ListArgs("O'Brien"));
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string argv = ReadFile(record);
    EXPECT_NE(argv.find("vqry\n-b\nDEMO\n-usr\nalice\n-pw\npa ss;$x\n"), std::string::npos) << argv;
    EXPECT_NE(argv.find("vlx\n-b\nDEMO\n-en\nO'Brien\n-st\nDEV\n"), std::string::npos) << argv;
    EXPECT_NE(argv.find("\n-pw\npa ss;$x\n-iv\n"), std::string::npos) << argv;
    const std::string trace = ReadFile(m_sandbox.InstallDir() + "/QvrCompare.trc");
    EXPECT_EQ(trace.find("pa ss"), std::string::npos) << trace;
}

// Brokers, user ids and projects that try to unmask the password, each run
// with the real tools; then every file the run wrote (trace, the tools' logs,
// the statement file and the query output, the copies, the CSV) and both
// standard streams are read. No file and no stream holds the password's
// text but as part of a value it carries anyway (a user id in the trace, a
// project name in the statement file).
TEST_F(CliEndToEndTest, ThePasswordReachesNoFileAndNoStream) {
    struct Case {
        const char* name;
        std::string broker;
        std::string user;
        std::string password;
        std::string project;
        bool hideCheckout;  // the checkout tool missing: its failure names the command line
    };
    const Case cases[] = {
        {"broker holding -pw", "B -pw ", "alice", "s3cr3t", "PROJ", false},
        {"user id holding -pw", "DEMO2", "bob -pw x", "s3cr3t", "PROJ", false},
        {"project holding -pw and quotes", "DEMO3", "carol", "s3cr3t", "P -pw \"q\"", false},
        {"password with quotes and blanks", "DEMO4", "dave", "\"quoted\" pass -pw", "PROJ", false},
        {"password inside the broker and the project", "Bs3cr3tB", "erin", "s3cr3t", "my s3cr3t proj", false},
        {"password is the user id", "DEMO5", "frank99", "frank99", "PROJ", false},
        {"checkout tool missing", "B -pw ", "grace", "s3cr3t x", "PROJ", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* folder : {"install", "temp", "local", "source"}) {
            fs::remove_all(m_sandbox.Root() / folder);
            fs::create_directories(m_sandbox.Root() / folder);
        }
        m_sandbox.Admin({"create-broker", c.broker});
        ASSERT_EQ(m_sandbox.Admin({"add-user", c.broker, c.user, c.password}), 0);
        m_sandbox.Root().Write("source/same.txt", "same");
        m_sandbox.Root().Write("source/sub/changed.c", "old");
        ASSERT_EQ(m_sandbox.Admin({"import", c.broker, c.project, "DEV", m_sandbox.SourceDir()}), 0);
        WriteLocal("same.txt", "same");
        WriteLocal("sub/changed.c", "new");
        if (c.hideCheckout) m_sandbox.HideTool("vgt");

        const std::string csv = m_sandbox.Root().Str() + "/report.csv";
        const CliResult result =
            Run({"report", "--broker", c.broker, "--user", c.user, "--password", c.password, "--project", c.project,
                 "--state", "DEV", "--install-dir", m_sandbox.InstallDir(), "--local", m_sandbox.LocalDir(),
                 "--new", "--same", "--diff", "--csv", csv});
        if (c.hideCheckout) {
            EXPECT_EQ(result.status, 2) << result.err;
            EXPECT_NE(result.err.find("Executable Not Found: 'vgt "), std::string::npos) << result.err;
            EXPECT_NE(result.err.find(" -pw ****** "), std::string::npos) << result.err;
        } else {
            ASSERT_EQ(result.status, 1) << result.err;
            EXPECT_NE(ReadFile(csv).find("changed.c"), std::string::npos);
        }

        // What the run wrote: everything below the sandbox but the broker's
        // own database and the trees the test made.
        std::vector<fs::path> written;
        for (const auto& entry : fs::recursive_directory_iterator(m_sandbox.Root().Path())) {
            const std::string top = fs::relative(entry.path(), m_sandbox.Root().Path()).begin()->string();
            if (top == "home" || top == "source" || top == "local" || top == "wrappers" || top == "visible") continue;
            if (entry.is_regular_file()) written.push_back(entry.path());
        }
        const fs::path trace = fs::path(m_sandbox.InstallDir()) / "QvrCompare.trc";
        ASSERT_NE(std::find(written.begin(), written.end(), trace), written.end());
        EXPECT_NE(ReadFile(trace).find("-pw ******"), std::string::npos);
        for (const fs::path& file : written) {
            SCOPED_TRACE(file.string());
            std::string text = ReadFile(file);
            // Values the file carries by right; the password's text inside them is
            // theirs (masking it there would only tell where it lies).
            for (const std::string& value : {c.broker, c.user, c.project}) {
                if (value.find(c.password) == std::string::npos) continue;
                for (std::size_t at = text.find(value); at != std::string::npos; at = text.find(value, at)) {
                    text.erase(at, value.size());
                }
            }
            EXPECT_EQ(text.find(c.password), std::string::npos) << text;
        }
        EXPECT_EQ(result.err.find(c.password), std::string::npos) << result.err;
    }
}

TEST_F(CliEndToEndTest, EveryRunStartsANewTraceAndWritesNoReturnCode) {
    Import({{"a.txt", "a"}});
    m_sandbox.Root().Write("install/QvrCompare.trc", "1 01/01/2020 00:00:00 an old run\n");
    ASSERT_EQ(Run(ListArgs()).status, 0);
    const std::string trace = ReadFile(m_sandbox.InstallDir() + "/QvrCompare.trc");
    EXPECT_EQ(trace.substr(0, 2), "1 ");
    EXPECT_NE(trace.find(" QvrCompare 1.05\n2 "), std::string::npos) << trace;
    EXPECT_EQ(trace.find("an old run"), std::string::npos);
    EXPECT_NE(trace.find("CQvrCompareDlg::OnBtnGenTopScmList: END\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_config + "/FSTATUS.INI"));
    EXPECT_FALSE(fs::exists(m_config + "/Vemtaro/QvrCompare.conf"));  // settings are read, never saved
}

TEST_F(CliEndToEndTest, AnEmptyListingGivesTheHeaderAlone) {
    Import({{"a.txt", "a"}});
    const CliResult result = Run(ReportArgs({"--new", "--same", "--diff"}));  // local folder is empty
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, kBottomHeader);
}

TEST_F(CliEndToEndTest, HelpAndVersion) {
    const CliResult version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "qvrcompare-cli (QvrCompare) 1.05\n");
    const CliResult help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: qvrcompare-cli list   [CONTEXT] [-q] [--csv FILE]\n", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
    const CliResult none = Run({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "qvrcompare-cli: no command given\nTry 'qvrcompare-cli --help'.\n");
}

// Standard error on a terminal (a pseudo-terminal here), with the given TERM.
std::string RunOnTerminal(const std::vector<std::string>& args, const std::string& term) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return "no pseudo-terminal";
    const std::string slave = ::ptsname(master);
    ArgumentVector argv(QVR_CLI_PATH, args);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        const int err = ::open(slave.c_str(), O_RDWR);
        const int null = ::open("/dev/null", O_RDWR);
        if (err < 0 || null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(120);
        ::setenv("TERM", term.c_str(), 1);
        ::execve(QVR_CLI_PATH, argv.Data(), environ);
        ::_exit(123);
    }
    std::string written;
    char buffer[4096];
    for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;) written.append(buffer, static_cast<std::size_t>(got));
    ::waitpid(pid, nullptr, 0);
    ::close(master);
    return written;
}

TEST_F(CliEndToEndTest, OnATerminalTheRunIsFollowedAsTheTerminalAllows) {
    QVR_SKIP_ON_WINDOWS("pseudo-terminals");
    Import({{"a.txt", "a"}});
    ScopedEnv delay("QUORVAN_DELAY_MS", std::string("300"));
    for (const std::string term : {"xterm", "dumb"}) {
        const std::string err = RunOnTerminal(ListArgs(), term);
        EXPECT_NE(err.find("qvrcompare-cli: listing the repository\r\n"), std::string::npos) << term << err;
        EXPECT_NE(err.find("rows listed 0"), std::string::npos) << term << err;
        EXPECT_NE(err.find("qvrcompare-cli: 1 file listed from the repository\r\n"), std::string::npos) << term;
        EXPECT_EQ(err.find('\x1b') != std::string::npos, term == "xterm") << term << err;
    }
    // -q: the errors alone, on a terminal too.
    std::vector<std::string> quiet = ListArgs();
    quiet.push_back("-q");
    EXPECT_EQ(RunOnTerminal(quiet, "xterm"), "");
}

// Without a terminal the one-line summary is all standard error holds; -q
// (or --quiet) leaves out even that.
TEST_F(CliEndToEndTest, QuietLeavesOnlyTheErrors) {
    Import({{"a.txt", "a"}});
    using Args = std::vector<std::string>;
    for (const Args& extra : std::vector<Args>{{"-q"}, {"--quiet", "--csv", "-"}, {}}) {
        Args args = ListArgs();
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult result = Run(args);
        EXPECT_EQ(result.status, 0) << args.back();
        const std::string summary = extra.empty() ? "qvrcompare-cli: 1 file listed from the repository\n" : "";
        EXPECT_EQ(result.err, summary) << args.back();
    }
}

}  // namespace
}  // namespace qvr::testing
