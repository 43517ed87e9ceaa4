// qvrcompare-cli.exe as a Windows job runs it: drive-letter paths with
// blanks, the settings in the registry, each tool started with one
// CreateProcess command line (here doubles that answer from canned files and
// write down the command line they received), the trace in text mode.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/registry_profile_store.h"
#include "app/settings.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPassword = "open sesame";
// 2024-03-05 14:07:09 UTC, the local files' modification time.
constexpr std::int64_t kLocalTime = 1709647629;

std::vector<std::string> SplitLines(const std::string& text, const std::string& end) {
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < text.size();) {
        std::size_t stop = text.find(end, begin);
        if (stop == std::string::npos) stop = text.size();
        lines.push_back(text.substr(begin, stop - begin));
        begin = stop + end.size();
    }
    return lines;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string RegexEscaped(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

// The Date cell of a local file, in the time zone the program runs in.
std::string LocalDateCell(std::int64_t seconds) {
    const std::time_t when = static_cast<std::time_t>(seconds);
    char text[32];
    std::strftime(text, sizeof text, "%m-%d-%Y %H:%M:%S", std::localtime(&when));
    return text;
}

class CliOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        QVR_SKIP_UNLESS_WINDOWS();
        m_install = m_root.Str() + "\\Qvr Install";
        m_local = m_root.Str() + "\\My Work";
        m_doubles = m_root.Str() + "\\doubles";
        ASSERT_EQ(m_install.substr(1, 2), ":\\") << "a drive-letter path: " << m_install;
        fs::create_directories(m_install);
        fs::create_directories(m_doubles);
        WriteCannedAnswers();
        WriteLocalTree();

        if (const char* path = std::getenv("PATH")) m_oldPath = path;
        const std::string path = OwnExecutableDirectory() + "\\doubles;" + m_oldPath;
        SetEnvironmentValue("PATH", path.c_str());
        SetEnvironmentValue("QVR_DOUBLE_DIR", m_doubles.c_str());
        SetEnvironmentValue("QVR_PASSWORD", nullptr);
        m_saved = StoredSettings();
        RegistryProfileStore store;
        SaveSettings(store, m_saved, m_install);
    }

    void TearDown() override {
        if (!kOnWindows) return;
        SetEnvironmentValue("PATH", m_oldPath.c_str());
        SetEnvironmentValue("QVR_DOUBLE_DIR", nullptr);
        RunCapturing("reg delete \"HKCU\\Software\\Vemtaro\\QvrCompare\" /f", m_root.Str());
    }

    // What the window saved at its last exit: the whole context, a local
    // path and every list shown, so the program needs no option but the
    // install folder.
    AppSettings StoredSettings() const {
        AppSettings settings;
        settings.context = {"Main Broker", "jdoe", kPassword, "My Project", "Release 2", "",
                            m_install + "\\Temp", m_local};
        settings.templates = DefaultTemplates("", m_install);
        settings.display = {1, 1, 1, 1};
        return settings;
    }

    void WriteCannedAnswers() const {
        m_root.Write("doubles\\vqry.out", "envobjid\r\n4711\r\n");
        const std::string dates = "\tann\t01/02/2024 10:00:00\tbob\t03/04/2024 11:00:00\r\n";
        m_root.Write("doubles\\vlx.out",
                     "Quorvan listing\r\nFile\tPath\tVersion\tTag\tDatasize\tPackage\tCreator\tCreated Date\t"
                     "Modifier\tModified Date\r\n--------------------\r\n"
                     "same.txt\t\\\t1\t \t9\tBASE" + dates +
                     "changed.c\t\\src\t3\tREL 1\t6\tBASE" + dates +
                     "other.c\t\\src\t1\t \t1\tBASE" + dates +
                     "vlx has been executed successfully.\r\n");
        m_root.Write("doubles\\vgt.out", "\\same.txt\r\n\\src\\changed.c\r\n\\src\\other.c\r\n"
                                         "Total: 3; Success: 3; Failed: 0; Not Processed: 0.\r\n");
        m_root.Write("doubles\\checkout\\same.txt", "same text");
        m_root.Write("doubles\\checkout\\src\\changed.c", "int a;");
        m_root.Write("doubles\\checkout\\src\\other.c", "x");
    }

    void WriteLocalTree() const {
        for (const auto& [path, content] : std::map<std::string, std::string>{
                 {"same.txt", "same text"}, {"src\\changed.c", "int b;"}, {"inc\\new.h", "new"}}) {
            const fs::path file = m_root.Write("My Work\\" + path, content);
            ASSERT_TRUE(SetModifiedTime(file.string(), kLocalTime)) << file;
        }
    }

    CapturedRun RunCli(const std::string& arguments) const {
        const std::string program = OwnExecutableDirectory() + "\\qvrcompare-cli.exe";
        return RunCapturing(Quoted(program) + " " + arguments, m_root.Str());
    }

    // The command lines a double received, one per start.
    std::vector<std::string> Received(const std::string& tool) const {
        return SplitLines(ReadFile(m_doubles + "\\" + tool + ".cmdline"), "\n");
    }

    // The command lines the default templates give for this context.
    std::string VqryLine() const {
        return "vqry -b \"Main Broker\" -usr jdoe -pw \"open sesame\" -t -f " + Quoted(m_install + "\\vqrystmt.sql") +
               " -o " + Quoted(m_install + "\\vqrystmt.dat");
    }
    std::string VlxLine() const {
        return "vlx -b \"Main Broker\" -en \"My Project\" -st \"Release 2\" -vp \\ -usr jdoe -pw \"open sesame\" "
               "-iv lv -s \"*\" -o " + Quoted(m_install + "\\vlx.log");
    }
    std::string VgtLine() const {
        return "vgt \"*\" -b \"Main Broker\" -en \"My Project\" -st \"Release 2\" -vp \\ -br -nvs -r -op pc -cp " +
               Quoted(m_install + "\\Temp") + " -usr jdoe -pw \"open sesame\" -o " + Quoted(m_install + "\\vgt.log");
    }

    // The trace: every line ends in CR LF, its numbers count 1, 2, 3, ...,
    // the password never shows, and each tool's line is there with the
    // password masked.
    void CheckTrace(const std::vector<std::string>& toolLines) const {
        const std::string trace = ReadFile(m_install + "\\QvrCompare.trc");
        ASSERT_FALSE(trace.empty());
        ASSERT_EQ(trace.substr(trace.size() - 2), "\r\n");
        const std::vector<std::string> lines = SplitLines(trace, "\r\n");
        const std::regex numbered(R"((\d+) \d\d/\d\d/\d{4} \d\d:\d\d:\d\d (.*))");
        std::vector<std::string> messages;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].find_first_of("\r\n"), std::string::npos) << "a lone line end in: " << lines[i];
            std::smatch match;
            ASSERT_TRUE(std::regex_match(lines[i], match, numbered)) << lines[i];
            EXPECT_EQ(match[1].str(), std::to_string(i + 1)) << lines[i];
            messages.push_back(match[2].str());
        }
        EXPECT_EQ(messages.front(), "QvrCompare 1.05");
        EXPECT_EQ(trace.find("sesame"), std::string::npos) << trace;
        for (const std::string& line : toolLines) {
            std::string pattern = RegexEscaped(line);
            const std::string password = RegexEscaped("\"open sesame\"");
            pattern.replace(pattern.find(password), password.size(), "\"?\\*+\"?");
            const std::regex masked(".*: (ExecuteWait |ExecuteThis: )?" + pattern);
            bool found = false;
            for (const std::string& message : messages) found = found || std::regex_match(message, masked);
            EXPECT_TRUE(found) << "no masked trace line for: " << line << "\n" << trace;
        }
    }

    TempDir m_root;
    std::string m_install;
    std::string m_local;
    std::string m_doubles;
    std::string m_oldPath;
    AppSettings m_saved;
};

const std::string kTopHeader =
    "File,Path,Version,Tag,Datasize,Package,Creator,Created Date,Modifier,Modified Date,Status,\r\n";
const std::string kBottomHeader = "File,Path,Datasize,Date,Status,\r\n";
const std::string kDates = "ann,01/02/2024 10:00:00,bob,03/04/2024 11:00:00,,\r\n";

TEST_F(CliOnWindows, ListTakesTheRegistrySettingsAndWritesTheTopList) {
    const std::string csv = m_root.Str() + "\\top list.csv";
    const CapturedRun run = RunCli("list --install-dir " + Quoted(m_install) + " --csv " + Quoted(csv));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFile(csv), kTopHeader + "same.txt,\\,1, ,9,BASE," + kDates + "changed.c,\\src,3,REL 1,6,BASE," +
                                 kDates + "other.c,\\src,1, ,1,BASE," + kDates);
    EXPECT_EQ(Received("vqry"), std::vector<std::string>{VqryLine()});
    EXPECT_EQ(Received("vlx"), std::vector<std::string>{VlxLine()});
    EXPECT_TRUE(Received("vgt").empty());
    CheckTrace({VqryLine(), VlxLine()});
    // The context came from the values the window left in the registry.
    const CapturedRun stored =
        RunCapturing("reg query \"HKCU\\Software\\Vemtaro\\QvrCompare\\Settings\" /v Broker", m_root.Str());
    EXPECT_EQ(stored.status, 0) << stored.err;
    EXPECT_NE(stored.out.find("    Broker    REG_SZ    Main Broker\r\n"), std::string::npos) << stored.out;
    // The statement the broker check ran, written in text mode.
    EXPECT_EQ(ReadFile(m_install + "\\vqrystmt.sql"),
              "select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = 'My Project'");
}

TEST_F(CliOnWindows, ReportClassifiesTheDriveLetterTreeAndExitsOneForNewOrDiff) {
    const CapturedRun run = RunCli("report --install-dir " + Quoted(m_install));
    EXPECT_EQ(run.status, 1) << run.err;
    const std::string date = LocalDateCell(kLocalTime);
    // On standard output byte for byte: CR LF line ends, never CR CR LF.
    EXPECT_EQ(run.out, kBottomHeader + "same.txt," + m_local + "\\,1 KB," + date + ",Same,\r\n" + "new.h," +
                           m_local + "\\inc\\,1 KB," + date + ",New,\r\n" + "changed.c," + m_local +
                           "\\src\\,1 KB," + date + ",Diff,\r\n");
    // Standard error is in text mode there: CR LF.
    EXPECT_EQ(run.err,
              "qvrcompare-cli: Repository folder: \\\r\nqvrcompare-cli: 3 files listed: 1 New, 1 Diff, 1 Same\r\n");
    EXPECT_EQ(Received("vqry"), std::vector<std::string>{VqryLine()});
    EXPECT_EQ(Received("vlx"), std::vector<std::string>{VlxLine()});
    EXPECT_EQ(Received("vgt"), std::vector<std::string>{VgtLine()});
    CheckTrace({VqryLine(), VlxLine(), VgtLine()});
    EXPECT_EQ(ReadFile(m_install + "\\Temp\\src\\changed.c"), "int a;");
}

TEST_F(CliOnWindows, CommandLineValuesReplaceTheStoredOnesForThisRunOnly) {
    struct Case {
        std::string name;
        std::string arguments;
        int status;
        std::string rows;  // the CSV after its header
    };
    const std::string date = LocalDateCell(kLocalTime);
    const Case cases[] = {
        {"every list", "--new --same --diff", 1,
         "same.txt," + m_local + "\\,1 KB," + date + ",Same,\r\n" + "new.h," + m_local + "\\inc\\,1 KB," + date +
             ",New,\r\n" + "changed.c," + m_local + "\\src\\,1 KB," + date + ",Diff,\r\n"},
        // Same alone compares with the copies the run before checked out.
        {"only Same", "--same", 0, "same.txt," + m_local + "\\,1 KB," + date + ",Same,\r\n"},
        {"no subfolders", "--new --diff --no-subfolders", 0, ""},
        {"another local folder", "--new --local " + Quoted(m_local + "\\inc"), 1,
         "new.h," + m_local + "\\inc\\,1 KB," + date + ",New,\r\n"},
    };
    for (const Case& c : cases) {
        const CapturedRun run = RunCli("report --install-dir " + Quoted(m_install) + " " + c.arguments);
        EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.err;
        EXPECT_EQ(run.out, kBottomHeader + c.rows) << c.name;
    }
    // The CLI reads the settings and never writes them.
    RegistryProfileStore store;
    EXPECT_EQ(LoadSettings(store, {m_install, m_install + "\\Temp", "", ""}), m_saved);
}

TEST_F(CliOnWindows, AToolThatIsNotThereEndsTheRunWithStatusTwo) {
    SetEnvironmentValue("PATH", m_oldPath.c_str());  // the doubles are gone
    const CapturedRun run = RunCli("list --install-dir " + Quoted(m_install));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("qvrcompare-cli: "), std::string::npos) << run.err;
}

}  // namespace
}  // namespace qvr::testing
