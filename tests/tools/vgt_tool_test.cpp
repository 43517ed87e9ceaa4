// vgt as a child process: checkout of single items, its log's grammar and
// its error lines. The whole-tree round trip is in qvradmin_test.cpp.

#include "tool_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>

namespace qvr::testing {
namespace {

class VgtTest : public ImportedTreeTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ImportTree({{"a.txt", "alpha\n"}, {"src/lib/Util.c", "util\n"}}));
    }

    std::string Log() const { return OutputPath("vgt.log"); }
    std::filesystem::path Client() const { return m_repo.Dir() / "client"; }

    // The single-item command line the viewers build: pattern removed, the
    // item appended at the end, "-nvs" removed.
    std::vector<std::string> ItemArgs(const std::string& item) const {
        auto args = m_repo.VgtArgs("PROJ", "DEV", Client().string(), Log());
        args.erase(args.begin());
        args.erase(std::find(args.begin(), args.end(), "-nvs"));
        args.push_back(item);
        return args;
    }
};

TEST_F(VgtTest, OneItemIsWrittenAtItsRepositoryPathWithASignature) {
    // "%s\\%s" of a root file's path "\" and its name gives two backslashes.
    const struct {
        const char* item;
        const char* local;
        const char* content;
    } cases[] = {
        {"\\\\a.txt", "a.txt", "alpha\n"},
        {"\\src\\lib\\Util.c", "src/lib/Util.c", "util\n"},
        {"\\SRC\\LIB\\UTIL.C", "src/lib/Util.c", "util\n"},  // the program's upper-cased key
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(Client());
        ToolResult result = m_repo.Vgt(ItemArgs(c.item));
        EXPECT_EQ(result.exitCode, 0) << c.item << result.err;
        EXPECT_EQ(ReadFile(Client() / c.local), c.content) << c.item;
        EXPECT_TRUE(std::filesystem::exists((Client() / c.local).parent_path() / "quorvan.sig"));
        auto lines = SplitLines(ReadFile(Log()));
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Total: 1; Success: 1; Failed: 0; Not Processed: 0."),
                  lines.end())
            << c.item;
    }
}

TEST_F(VgtTest, AMissingItemIsAFileAgentErrorCountedAsFailed) {
    ToolResult result = m_repo.Vgt(ItemArgs("\\src\\gone.c"));
    EXPECT_EQ(result.exitCode, 1);
    auto lines = SplitLines(ReadFile(Log()));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0][0], 'E');
    EXPECT_NE(lines[0].find("The File Agent error for item \\src\\gone.c"), std::string::npos);
    EXPECT_EQ(lines[1], "Total: 1; Success: 0; Failed: 1; Not Processed: 0.");
}

TEST_F(VgtTest, WrongContextGivesAnErrorLineAndNoFiles) {
    const struct {
        const char* name;
        const char* option;
        const char* value;
        const char* message;
    } cases[] = {
        {"unknown broker", "-b", "NOPE", "Error: Unknown broker NOPE"},
        {"bad password", "-pw", "nope", "Error: Login failed for user alice"},
        {"unknown project", "-en", "X", "Error: Project X not found"},
        {"unknown state", "-st", "QA", "Error: State QA not found in project PROJ"},
        {"unknown option", "-op", "zz", "Error: Unsupported value for -op: zz"},
    };
    for (const auto& c : cases) {
        auto args = m_repo.VgtArgs("PROJ", "DEV", Client().string(), Log());
        *(std::find(args.begin(), args.end(), c.option) + 1) = c.value;
        ToolResult result = m_repo.Vgt(args);
        EXPECT_EQ(result.exitCode, 1) << c.name;
        std::string text = ReadFile(Log());
        EXPECT_EQ(text.rfind(c.message, 0), 0u) << c.name << ": " << text;
        EXPECT_FALSE(std::filesystem::exists(Client() / "a.txt")) << c.name;
    }
    auto args = m_repo.VgtArgs("PROJ", "DEV", Client().string(), Log());
    args.push_back("-x");
    EXPECT_EQ(m_repo.Vgt(args).exitCode, 1);
    EXPECT_EQ(ReadFile(Log()), "Error: Unknown option -x\n");
}

TEST_F(VgtTest, ItemLinesNeverLookLikeTheSummary) {
    m_tree.Write("Total: 3.txt", "t\n");
    ASSERT_EQ(m_repo.Admin({"import", "DEMO", "PROJ", "DEV", m_tree.Str()}).exitCode, 0);
    ASSERT_EQ(m_repo.Vgt(m_repo.VgtArgs("PROJ", "DEV", Client().string(), Log())).exitCode, 0);
    EXPECT_EQ(ReadFile(Client() / "Total: 3.txt"), "t\n");
    auto lines = SplitLines(ReadFile(Log()));
    auto summary = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        std::string upper = line;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        return line[0] != 'E' && upper.find("TOTAL: ") != std::string::npos;
    });
    ASSERT_NE(summary, lines.end());
    EXPECT_EQ(*summary, "Total: 3; Success: 3; Failed: 0; Not Processed: 0.");
}

TEST_F(VgtTest, ASymbolicLinkInTheClientPathIsNotWrittenThrough) {
    TempDir outside;
    std::filesystem::create_directories(Client());
    std::filesystem::create_symlink(outside / "victim", Client() / "a.txt");
    ToolResult result = m_repo.Vgt(m_repo.VgtArgs("PROJ", "DEV", Client().string(), Log()));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(outside / "victim"));
    std::string log = ReadFile(Log());
    EXPECT_NE(log.find("Error: The File Agent error for item \\a.txt"), std::string::npos) << log;
    EXPECT_NE(log.find("Total: 2; Success: 1; Failed: 1; Not Processed: 0."), std::string::npos) << log;
}

// A checkout over earlier copies writes only the copies that differ, each put
// in place whole; the copies that match are left as they are, and no
// temporary file stays behind.
TEST_F(VgtTest, CheckoutOverExistingCopiesRewritesOnlyWhatDiffers) {
    const auto args = m_repo.VgtArgs("PROJ", "DEV", Client().string(), Log());
    ASSERT_EQ(m_repo.Vgt(args).exitCode, 0);
    struct Case {
        const char* local;
        const char* before;  // what stands there before the second checkout; nullptr: removed
        const char* after;
        bool rewritten;
    };
    const Case cases[] = {
        {"a.txt", "alpha\n", "alpha\n", false},          // unchanged copy
        {"src/lib/Util.c", "UTIL\n", "util\n", true},    // same size, other bytes
        {"b.txt", "edited by hand\n", "beta\n", true},    // other size
        {"c.txt", nullptr, "gamma\n", true},              // removed since
    };
    m_tree.Write("b.txt", "beta\n");
    m_tree.Write("c.txt", "gamma\n");
    ASSERT_EQ(m_repo.Admin({"import", "DEMO", "PROJ", "DEV", m_tree.Str()}).exitCode, 0);
    ASSERT_EQ(m_repo.Vgt(args).exitCode, 0);
    std::map<std::string, std::filesystem::file_time_type> before;
    for (const Case& c : cases) {
        const auto path = Client() / c.local;
        if (c.before) {
            std::ofstream(path, std::ios::binary | std::ios::trunc) << c.before;
            std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
            before[c.local] = std::filesystem::last_write_time(path);
        } else {
            std::filesystem::remove(path);
        }
    }

    ToolResult result = m_repo.Vgt(args);

    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(ReadFile(Log()).find("Total: 4; Success: 4; Failed: 0; Not Processed: 0."), std::string::npos);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.local);
        const auto path = Client() / c.local;
        EXPECT_EQ(ReadFile(path), c.after);
        if (c.before) {
            EXPECT_EQ(std::filesystem::last_write_time(path) != before[c.local], c.rewritten);
        }
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Client())) {
        EXPECT_EQ(entry.path().filename().string().find(".vgt-"), std::string::npos) << entry.path();
    }
}

// A folder of the client path replaced by a link to somewhere else: the
// checkout writes nothing there and reports the item as failed.
TEST_F(VgtTest, AFolderLinkInTheClientPathIsNotFollowed) {
    TempDir outside;
    std::filesystem::create_directories(Client());
    std::filesystem::create_directory_symlink(outside.Path(), Client() / "src");
    ToolResult result = m_repo.Vgt(m_repo.VgtArgs("PROJ", "DEV", Client().string(), Log()));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(std::filesystem::is_empty(outside.Path()));
    EXPECT_EQ(ReadFile(Client() / "a.txt"), "alpha\n");
    const std::string log = ReadFile(Log());
    EXPECT_NE(log.find("Error: The File Agent error for item \\src\\lib\\Util.c - cannot create folder"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Total: 2; Success: 1; Failed: 1; Not Processed: 0."), std::string::npos) << log;
}

}  // namespace
}  // namespace qvr::testing
