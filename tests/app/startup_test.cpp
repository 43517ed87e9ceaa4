#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "app/ini_file.h"
#include "app/platform.h"
#include "support/recording_message_box_host.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RecordingMessageBoxHost;
using testing::TempDir;
using testing::TextLines;

// Each test starts in its own start directory and gets the process's current
// directory back afterwards, since start-up changes it.
class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        m_before = fs::current_path();
        fs::create_directories(m_root / "start");
        fs::create_directories(m_root / "config");
        fs::create_directories(m_root / "install");
        fs::current_path(m_root / "start");
        WriteIniValue(IniPath(), "Settings", "INSTALLDIR", Install());
    }
    void TearDown() override { fs::current_path(m_before); }

    std::string IniPath() const { return (m_root / "config" / "QvrCompare.ini").string(); }
    std::string Install() const { return (m_root / "install").string(); }
    fs::path ReturnCodeFile() const { return m_root / "config" / "FSTATUS.INI"; }

    StartupInputs Inputs(std::vector<std::string> args = {"QvrCompare"}) const {
        return {std::move(args), (m_root / "config").string(), (m_root / "home").string(), ""};
    }

    // Starts the program with a main window that records where it ran and
    // closes with the given result.
    StartupResult Run(int dialogResult, std::vector<std::string> args = {"QvrCompare"}) {
        dialogCwd.clear();
        return RunApplication(Inputs(std::move(args)), boxes, [&](AppEnvironment& env) {
            dialogCwd = fs::current_path();
            env.trace.Trace("main window ran");
            return dialogResult;
        });
    }

    TempDir m_dir;
    fs::path m_root = m_dir.Path();
    fs::path m_before;
    fs::path dialogCwd;
    RecordingMessageBoxHost boxes;
};

TEST_F(Startup, ProcessWidePathsFollowTheInstallDirectory) {
    QVR_SKIP_ON_WINDOWS("$XDG_CONFIG_HOME, $HOME/QvrCompare and \"/\" between folders");
    StartupResult r = Run(IDOK, {"QvrCompare", "/Work/My Src"});
    const AppEnvironment& env = r.environment;
    EXPECT_EQ(env.installDir, Install());
    EXPECT_EQ(env.tempDir, Install() + "/Temp");
    EXPECT_EQ(env.traceFile, Install() + "/QvrCompare.trc");
    EXPECT_EQ(env.trace.Path(), env.traceFile);
    EXPECT_EQ(env.returnCodeFile, ReturnCodeFile().string());
    EXPECT_EQ(env.commandLineLocalPath, "/Work/My");
    SettingsPaths paths = env.ForSettings();
    EXPECT_EQ(paths.installDir, env.installDir);
    EXPECT_EQ(paths.tempDir, env.tempDir);
    EXPECT_EQ(paths.commandLineLocalPath, "/Work/My");
}

TEST_F(Startup, TempDirIsCreatedOnFirstRunAndEnteredOnTheNext) {
    QVR_SKIP_ON_WINDOWS("$XDG_CONFIG_HOME, $HOME/QvrCompare and \"/\" between folders");
    StartupResult first = Run(IDOK);
    EXPECT_TRUE(fs::is_directory(Install() + "/Temp"));
    EXPECT_EQ(dialogCwd, m_root / "start") << "a directory just made is not entered";
    EXPECT_EQ(first.environment.workingDir, (m_root / "start").string());

    fs::current_path(m_root / "start");
    StartupResult second = Run(IDOK, {"QvrCompare", "work/../src"});
    EXPECT_EQ(dialogCwd, fs::path(Install()) / "Temp");
    EXPECT_EQ(second.environment.workingDir, Install() + "/Temp");
    // A relative local path is the user's: from where the program started.
    EXPECT_EQ(second.environment.launchDir, (m_root / "start").string());
    EXPECT_EQ(second.environment.commandLineLocalPath, (m_root / "start" / "src").string());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Startup, TraceStartsAfreshWithTheProgramsNameAndVersion) {
    fs::path trace = fs::path(Install()) / "QvrCompare.trc";
    std::ofstream(trace) << "old line 1\nold line 2\nold line 3\n";
    Run(IDOK);
    auto lines = TextLines(ReadFile(trace));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(1 [0-9/]+ [0-9:]+ QvrCompare 1\.05)")))
        << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(2 .* main window ran)"))) << lines[1];
}

TEST_F(Startup, ReturnCodeRecordsHowTheMainWindowClosed) {
    struct Case {
        int dialogResult;
        const char* expected;  // nullptr: nothing written
    };
    for (Case c : {Case{IDOK, "100"}, Case{IDCANCEL, "200"}, Case{0, nullptr}, Case{-1, nullptr},
                   Case{IDYES, nullptr}}) {
        fs::remove(ReturnCodeFile());
        fs::current_path(m_root / "start");
        StartupResult r = Run(c.dialogResult);
        EXPECT_TRUE(r.dialogRan);
        EXPECT_EQ(r.dialogResult, c.dialogResult);
        EXPECT_EQ(r.returnCodeWritten, c.expected != nullptr);
        if (c.expected) {
            EXPECT_EQ(ReadFile(ReturnCodeFile()), std::string("[FSTATUS]\nReturnCode=") +
                                                      c.expected + "\n");
        } else {
            EXPECT_FALSE(fs::exists(ReturnCodeFile())) << c.dialogResult;
        }
    }
}

TEST_F(Startup, ReturnCodeKeepsTheFilesOtherContent) {
    QVR_SKIP_ON_WINDOWS("$XDG_CONFIG_HOME, $HOME/QvrCompare and \"/\" between folders");
    std::ofstream(ReturnCodeFile()) << "[Other]\nKey=1\n[FSTATUS]\nReturnCode=100\nNote=x\n";
    Run(IDCANCEL);
    EXPECT_EQ(ReadFile(ReturnCodeFile()),
              "[Other]\nKey=1\n[FSTATUS]\nReturnCode=200\nNote=x\n");
}

TEST_F(Startup, ReturnCodeFileIsMadeInAConfigDirectoryThatDoesNotExistYet) {
    QVR_SKIP_ON_WINDOWS("$XDG_CONFIG_HOME, $HOME/QvrCompare and \"/\" between folders");
    fs::path config = m_root / "fresh" / "config";
    StartupInputs inputs{{"QvrCompare"}, config.string(), (m_root / "home").string(), ""};
    fs::create_directories(m_root / "home" / "QvrCompare");
    StartupResult r = RunApplication(inputs, boxes, [](AppEnvironment&) { return IDOK; });
    EXPECT_EQ(r.environment.installDir, (m_root / "home" / "QvrCompare").string());
    EXPECT_EQ(ReadFile(config / "FSTATUS.INI"), "[FSTATUS]\nReturnCode=100\n");
}

TEST_F(Startup, UnmakeableTempDirStopsBeforeTheMainWindow) {
    QVR_SKIP_ON_WINDOWS("$XDG_CONFIG_HOME, $HOME/QvrCompare and \"/\" between folders");
    std::ofstream(Install() + "/Temp") << "a file where the directory belongs";
    bool ran = false;
    StartupResult r = RunApplication(Inputs(), boxes, [&](AppEnvironment&) {
        ran = true;
        return IDOK;
    });
    EXPECT_FALSE(ran);
    EXPECT_FALSE(r.dialogRan);
    EXPECT_FALSE(r.returnCodeWritten);
    EXPECT_FALSE(fs::exists(ReturnCodeFile()));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Unable to create directory: " + Install() + "/Temp");
    EXPECT_EQ(boxes.boxes[0].icon, MbIcon::Stop);
    EXPECT_EQ(boxes.boxes[0].buttons, MbButtons::Ok);
    // The trace was started before the check.
    auto lines = TextLines(ReadFile(fs::path(Install()) / "QvrCompare.trc"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("QvrCompare 1.05"), std::string::npos);
}

TEST_F(Startup, DefaultInstallDirectoryIsMadeOnTheFirstStart) {
    QVR_SKIP_ON_WINDOWS("$XDG_CONFIG_HOME, $HOME/QvrCompare and \"/\" between folders");
    fs::remove(IniPath());
    bool ran = false;
    StartupResult r = RunApplication(Inputs(), boxes, [&](AppEnvironment&) {
        ran = true;
        return IDOK;
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(fs::is_directory(m_root / "home" / "QvrCompare" / "Temp"));
    EXPECT_TRUE(fs::exists(m_root / "home" / "QvrCompare" / "QvrCompare.trc"));
    EXPECT_EQ(r.environment.installDir, (m_root / "home" / "QvrCompare").string());
}

TEST_F(Startup, TempDirIsMadeOneLevelOnly) {
    WriteIniValue(IniPath(), "Settings", "INSTALLDIR", (m_root / "missing" / "install").string());
    Run(IDOK);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_FALSE(fs::exists(m_root / "missing"));
}

TEST(ReadInstallDirectory, ComesFromTheIniFileOrTheDefault) {
    QVR_SKIP_ON_WINDOWS("$XDG_CONFIG_HOME, $HOME/QvrCompare and \"/\" between folders");
    struct Case {
        const char* iniText;  // nullptr: no file
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, "/home/u/QvrCompare"},
        {"[Settings]\nINSTALLDIR=/opt/qvr\n", "/opt/qvr"},
        {"[settings]\r\n  installdir = /opt/My Qvr  \r\n", "/opt/My Qvr"},
        {"[Settings]\nINSTALLDIR=\"/opt/quoted dir\"\n", "/opt/quoted dir"},
        {"[Settings]\nINSTALLDIR=\n", "/home/u/QvrCompare"},  // empty yields the default
        {"[Other]\nINSTALLDIR=/opt/qvr\n", "/home/u/QvrCompare"},
        {"INSTALLDIR=/opt/qvr\n", "/home/u/QvrCompare"},
        {"[Settings]\n;INSTALLDIR=/old\nINSTALLDIR=/new\n", "/new"},
    };
    for (const Case& c : cases) {
        TempDir config;
        if (c.iniText) config.Write("QvrCompare.ini", c.iniText);
        EXPECT_EQ(ReadInstallDirectory(config.Str(), "/home/u"), c.expected)
            << (c.iniText ? c.iniText : "<no file>");
    }
}

TEST(WindowsLayout, InstallDirectoryAndReturnCodeFile) {
    QVR_SKIP_UNLESS_WINDOWS();
    EXPECT_EQ(platform::DefaultInstallDirectory("C:\\Users\\u"), "C:\\QvrCompare");
    EXPECT_EQ(ReturnCodeFilePath("C:\\Windows"), "C:\\Windows\\FSTATUS.INI");
    EXPECT_EQ(ReturnCodeFilePath("C:\\Windows\\"), "C:\\Windows\\FSTATUS.INI");
    // The return-code file lives in the Windows directory.
    EXPECT_FALSE(platform::ConfigDirectory().empty());
    EXPECT_NE(platform::LowerAscii(platform::ConfigDirectory()).find("windows"), std::string::npos);
}

TEST(ReturnCodeFilePath, EndsTheConfigDirectoryWithOneSeparator) {
    QVR_SKIP_ON_WINDOWS("$XDG_CONFIG_HOME, $HOME/QvrCompare and \"/\" between folders");
    EXPECT_EQ(ReturnCodeFilePath("/home/u/.config"), "/home/u/.config/FSTATUS.INI");
    EXPECT_EQ(ReturnCodeFilePath("/home/u/.config/"), "/home/u/.config/FSTATUS.INI");
}

class Shutdown : public Startup {
protected:
    // A store that tells whether it was flushed after the last write.
    struct FlushRecordingStore final : IProfileStore {
        std::string GetProfileString(std::string_view s, std::string_view k,
                                     std::string_view d) const override {
            return values.GetProfileString(s, k, d);
        }
        void WriteProfileString(std::string_view s, std::string_view k,
                                std::string_view v) override {
            values.WriteProfileString(s, k, v);
            flushed = false;
        }
        void Flush() override { flushed = true; }
        MemoryProfileStore values;
        bool flushed = false;
    };

    AppEnvironment Environment() {
        AppEnvironment env;
        env.installDir = Install();
        env.workingDir = (m_root / "start").string();
        return env;
    }

    FlushRecordingStore store;
    std::vector<int> statuses;
    fs::path cwdWhenEnded;
    ProcessEnder Ender() {
        return [this](int status) {
            statuses.push_back(status);
            cwdWhenEnded = fs::current_path();
        };
    }
};

std::string OwnModuleName() { return testing::OwnExecutableName(); }

TEST_F(Shutdown, SavesRestoresTheWorkingDirectoryAndEndsThisProcess) {
    AppSettings settings;
    settings.context.userId = "alice";
    fs::current_path(m_root);
    EXPECT_EQ(ShutdownApplication(store, settings, Environment(), Ender(), OwnModuleName()), 32);
    EXPECT_EQ(statuses, std::vector<int>{-1});
    EXPECT_EQ(cwdWhenEnded, m_root / "start");
    EXPECT_TRUE(store.flushed) << "settings durable before the process ends";
    EXPECT_EQ(store.values.GetProfileString("Settings", "UserId", ""), "alice");
    EXPECT_EQ(store.values.GetProfileString("Settings", "INSTALLDIR", ""), Install());
    EXPECT_FALSE(fs::exists(ReturnCodeFile())) << "the return-code file is left alone";
}

TEST_F(Shutdown, ProgramOfAnotherNameIsNotEndedAndTheWindowCloses) {
    // This test executable is not called "QvrCompare": nothing may be ended.
    AppSettings settings;
    EXPECT_EQ(ShutdownApplication(store, settings, Environment(), Ender()), -1);
    EXPECT_TRUE(statuses.empty());
    EXPECT_TRUE(store.flushed);
    EXPECT_EQ(fs::current_path(), m_root / "start");
}

}  // namespace
}  // namespace qvr
