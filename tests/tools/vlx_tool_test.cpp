// vlx as a child process: the listing's grammar and its error lines.

#include "tool_process.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace qvr::testing {
namespace {

class VlxTest : public ImportedTreeTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ImportTree({{"root.txt", "root\n"},
                                            {"src/main.c", "int main() { return 0; }\n"},
                                            {"src/lib/util.c", "void util() {}\n"},
                                            {"docs/read me.txt", ""}},
                                           {"--user", "bob"}));
    }

    std::string Log() const { return OutputPath("vlx.log"); }
};

TEST_F(VlxTest, ListingFollowsTheReadersGrammar) {
    ToolResult result = m_repo.Vlx(m_repo.VlxArgs("PROJ", "DEV", Log()));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto lines = SplitLines(ReadFile(Log()));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1].find("--------"), 0u);
    EXPECT_EQ(lines.back(), "vlx has been executed successfully.");
    // Ordered by path, then file; root files have the path "\".
    const char* expected[][2] = {{"root.txt", "\\"},
                                 {"read me.txt", "\\docs"},
                                 {"main.c", "\\src"},
                                 {"util.c", "\\src\\lib"}};
    for (int i = 0; i < 4; ++i) {
        const std::string& line = lines[2 + i];
        EXPECT_EQ(line.find('!'), std::string::npos);
        EXPECT_EQ(line.find("Error: "), std::string::npos);
        auto tokens = ListingTokens(line);
        ASSERT_EQ(tokens.size(), 10u) << line;
        EXPECT_EQ(SplitTabs(line).size(), 10u) << "no empty column: " << line;
        EXPECT_EQ(tokens[0], expected[i][0]);
        EXPECT_EQ(tokens[1], expected[i][1]);
        EXPECT_EQ(tokens[2], "1");
        EXPECT_EQ(tokens[5], "BASE");
        EXPECT_EQ(tokens[6], "bob");
        EXPECT_EQ(tokens[8], "bob");
        EXPECT_EQ(tokens[7].size(), 19u);
        EXPECT_EQ(tokens[7][2], '/');
    }
    EXPECT_EQ(ListingTokens(lines[2])[4], "5");
    EXPECT_EQ(ListingTokens(lines[3])[4], "0");
}

TEST_F(VlxTest, ViewPathAndFilePatternNarrowTheListing) {
    const struct {
        const char* viewPath;
        const char* pattern;
        std::vector<std::string> files;
    } cases[] = {
        {"\\", "*.*", {"root.txt", "read me.txt", "main.c", "util.c"}},
        {"\\", "*.C", {"main.c", "util.c"}},
        {"\\src", "*", {"main.c", "util.c"}},
        {"\\src\\lib\\", "*", {"util.c"}},
        {"\\sr", "*", {}},
    };
    for (const auto& c : cases) {
        auto args = m_repo.VlxArgs("PROJ", "DEV", Log());
        *(std::find(args.begin(), args.end(), "-vp") + 1) = c.viewPath;
        *(std::find(args.begin(), args.end(), "-s") + 1) = c.pattern;
        ASSERT_EQ(m_repo.Vlx(args).exitCode, 0);
        auto lines = SplitLines(ReadFile(Log()));
        std::vector<std::string> files;
        for (std::size_t i = 2; i + 1 < lines.size(); ++i) files.push_back(ListingTokens(lines[i])[0]);
        EXPECT_EQ(files, c.files) << c.viewPath << " " << c.pattern;
    }
}

TEST_F(VlxTest, PackageOptionListsTheNewestVersionInThatPackage) {
    m_tree.Write("src/main.c", "int main() { return 1; }\n");
    ASSERT_EQ(m_repo.Admin({"import", "DEMO", "PROJ", "DEV", "--package", "FIX 1", m_tree.Str()}).exitCode, 0);
    auto args = m_repo.VlxArgs("PROJ", "DEV", Log());
    args.insert(args.end(), {"-p", "FIX 1"});
    ASSERT_EQ(m_repo.Vlx(args).exitCode, 0);
    auto lines = SplitLines(ReadFile(Log()));
    ASSERT_EQ(lines.size(), 4u);
    auto tokens = ListingTokens(lines[2]);
    EXPECT_EQ(tokens[0], "main.c");
    EXPECT_EQ(tokens[2], "2");
    EXPECT_EQ(tokens[5], "FIX 1");

    args.back() = "BASE";
    ASSERT_EQ(m_repo.Vlx(args).exitCode, 0);
    lines = SplitLines(ReadFile(Log()));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(ListingTokens(lines[4])[2], "1");  // main.c as it was in BASE
}

TEST_F(VlxTest, WrongContextGivesOneErrorLine) {
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> replace;  // option -> value
        std::vector<std::string> extra;
        const char* message;
    } cases[] = {
        {"unknown broker", {{"-b", "NOPE"}}, {}, "Error: Unknown broker NOPE"},
        {"broker path", {{"-b", "../home/DEMO"}}, {}, "Error: Unknown broker ../home/DEMO"},
        {"bad password", {{"-pw", "wrong"}}, {}, "Error: Login failed for user alice"},
        {"unknown user", {{"-usr", "mallory"}}, {}, "Error: Login failed for user mallory"},
        {"unknown project", {{"-en", "NOPROJ"}}, {}, "Error: Project NOPROJ not found"},
        {"unknown state", {{"-st", "QA"}}, {}, "Error: State QA not found in project PROJ"},
        {"unknown package", {}, {"-p", "NOPKG"}, "Error: Package NOPKG not found in state DEV"},
        {"unknown option", {}, {"-zz"}, "Error: Unknown option -zz"},
        {"missing value", {}, {"-p"}, "Error: Option -p needs a value"},
        {"bad -iv", {{"-iv", "xx"}}, {}, "Error: Unsupported value for -iv: xx"},
    };
    for (const auto& c : cases) {
        auto args = m_repo.VlxArgs("PROJ", "DEV", Log());
        for (const auto& [option, value] : c.replace) {
            for (std::size_t i = 0; i + 1 < args.size(); ++i) {
                if (args[i] == option) args[i + 1] = value;
            }
        }
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        ToolResult result = m_repo.Vlx(args);
        EXPECT_EQ(result.exitCode, 1) << c.name;
        std::string text = ReadFile(Log());
        EXPECT_EQ(text.rfind(c.message, 0), 0u) << c.name << ": " << text;
        EXPECT_EQ(SplitLines(text).size(), 1u) << c.name;
    }
}

TEST_F(VlxTest, MissingOrUnwritableOutputGoesToStandardError) {
    auto args = m_repo.VlxArgs("PROJ", "DEV", Log());
    args.pop_back();  // "-o" without its value
    ToolResult result = m_repo.Vlx(args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Error: "), std::string::npos);

    args.pop_back();
    result = m_repo.Vlx(args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Missing option -o"), std::string::npos);

    result = m_repo.Vlx(m_repo.VlxArgs("PROJ", "DEV", (m_repo.Dir() / "no/such/dir/vlx.log").string()));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Error: "), std::string::npos);
}

TEST_F(VlxTest, RecordsItsArgumentsAndLeavesNoTemporaryFile) {
    std::string record = (m_repo.Dir() / "argv.txt").string();
    auto env = m_repo.Env();
    env["QUORVAN_RECORD_ARGV"] = record;
    auto args = m_repo.VlxArgs("PROJ", "DEV", Log());
    ASSERT_EQ(RunTool(QVR_VLX_EXE, args, env).exitCode, 0);
    std::string expected = "vlx\n";
    for (const auto& arg : args) expected += arg + "\n";
    expected += "--\n";
    EXPECT_EQ(ReadFile(record), expected);
    for (const auto& entry : std::filesystem::directory_iterator(m_repo.Dir().Path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
    }
}

TEST_F(VlxTest, AToolStoppedWhileItWaitsLeavesNoOutput) {
    auto env = m_repo.Env();
    env["QUORVAN_DELAY_MS"] = "5000";
    auto start = std::chrono::steady_clock::now();
    pid_t pid = StartTool(QVR_VLX_EXE, m_repo.VlxArgs("PROJ", "DEV", Log()), env);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "still waiting";
    ::kill(pid, SIGTERM);
    ::waitpid(pid, &status, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_FALSE(std::filesystem::exists(Log()));
}

}  // namespace
}  // namespace qvr::testing
