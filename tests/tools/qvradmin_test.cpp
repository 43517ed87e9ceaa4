// qvradmin builds repositories; the round trip import -> vlx -> vgt checks
// that what goes in comes out byte for byte.

#include "tool_process.h"

#include <gtest/gtest.h>

#include <map>

#include <sqlite3.h>

#include "tools/quorvan/sqlite_db.h"

namespace qvr::testing {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> ReadTree(const fs::path& root, bool withSignatures) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        if (!withSignatures && entry.path().filename() == "quorvan.sig") continue;
        files[entry.path().lexically_relative(root).string()] = ReadFile(entry.path());
    }
    return files;
}

// "file" -> version, from a listing.
std::map<std::string, std::string> Versions(const std::string& log) {
    std::map<std::string, std::string> versions;
    auto lines = SplitLines(log);
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        auto tokens = ListingTokens(lines[i]);
        versions[tokens[1] + "\\" + tokens[0]] = tokens[2];
    }
    return versions;
}

class QvrAdminTest : public ::testing::Test {
protected:
    void WriteGeneratedTree() {
        for (int i = 0; i < 40; ++i) {
            std::string folder = i % 3 == 0 ? "" : (i % 3 == 1 ? "src/" : "src/deep er/");
            std::string content(static_cast<std::size_t>(i * 37), static_cast<char>('a' + i % 26));
            content += std::string("\0\r\n\xff", 4);
            m_tree.Write(folder + "file" + std::to_string(i) + ".dat", content);
        }
        m_tree.Write("empty.txt", "");
    }

    std::string VlxLog() const { return (m_repo.Dir() / "vlx.log").string(); }
    std::string VgtLog() const { return (m_repo.Dir() / "vgt.log").string(); }

    std::map<std::string, std::string> List() {
        EXPECT_EQ(m_repo.Vlx(m_repo.VlxArgs("PROJ", "DEV", VlxLog())).exitCode, 0);
        return Versions(ReadFile(VlxLog()));
    }

    QuorvanRepo m_repo;
    TempDir m_tree;
};

TEST_F(QvrAdminTest, RoundTripGivesTheTreeBackAndVersionsOnlyForChanges) {
    WriteGeneratedTree();
    ASSERT_EQ(m_repo.Admin({"import", "DEMO", "PROJ", "DEV", m_tree.Str()}).exitCode, 0);
    auto versions = List();
    ASSERT_EQ(versions.size(), 41u);
    EXPECT_EQ(versions["\\\\file0.dat"], "1");
    EXPECT_EQ(versions["\\src\\deep er\\file2.dat"], "1");

    // Whole-tree checkout with signatures, as a checkout without -nvs does.
    TempDir client;
    auto args = m_repo.VgtArgs("PROJ", "DEV", client.Str(), VgtLog());
    args.erase(std::find(args.begin(), args.end(), "-nvs"));
    ToolResult result = m_repo.Vgt(args);
    ASSERT_EQ(result.exitCode, 0) << ReadFile(VgtLog());
    EXPECT_EQ(ReadTree(client.Path(), false), ReadTree(m_tree.Path(), false));
    for (const char* folder : {"", "src", "src/deep er"}) {
        EXPECT_TRUE(fs::exists(client / folder / "quorvan.sig")) << folder;
    }
    EXPECT_NE(ReadFile(VgtLog()).find("Total: 41; Success: 41; Failed: 0; Not Processed: 0."), std::string::npos);

    // With -nvs (the program's default) no signature file appears.
    TempDir plain;
    ASSERT_EQ(m_repo.Vgt(m_repo.VgtArgs("PROJ", "DEV", plain.Str(), VgtLog())).exitCode, 0);
    EXPECT_EQ(ReadTree(plain.Path(), true), ReadTree(m_tree.Path(), false));

    // Second import: one changed, one new, one gone; a signature file in the
    // tree is not an item.
    m_tree.Write("src/file1.dat", "changed");
    m_tree.Write("src/new.txt", "new");
    fs::remove(m_tree / "file3.dat");
    m_tree.Write("quorvan.sig", "sig");
    ToolResult second = m_repo.Admin({"import", "DEMO", "PROJ", "DEV", "--package", "P2", m_tree.Str()});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.out.find("1 new items, 1 new versions, 39 unchanged"), std::string::npos) << second.out;
    auto after = List();
    EXPECT_EQ(after.size(), 42u);
    for (const auto& [item, version] : after) {
        const char* expected = item == "\\src\\file1.dat" ? "2" : "1";
        EXPECT_EQ(version, expected) << item;
    }
    EXPECT_EQ(after.count("\\\\file3.dat"), 1u);
    EXPECT_EQ(after.count("\\\\quorvan.sig"), 0u);
}

// A listing reads a state's items through one index that also holds each
// item's latest version; a broker made without it gets it at the next
// command that writes, and the listing is the same either way.
TEST_F(QvrAdminTest, ListingIndexIsMadeAndMadeAgainForOlderBrokers) {
    WriteGeneratedTree();
    ASSERT_EQ(m_repo.Admin({"import", "DEMO", "PROJ", "DEV", m_tree.Str()}).exitCode, 0);
    const std::string dbFile = m_repo.Home() + "/DEMO.qvrdb";
    const auto listingIndexes = [&] {
        quorvan::Database db;
        std::string error;
        EXPECT_TRUE(db.Open(dbFile, quorvan::Database::Mode::ReadOnly, error)) << error;
        quorvan::Statement count;
        EXPECT_TRUE(count.Prepare(db, "SELECT count(*) FROM sqlite_master WHERE type='index' AND"
                                      " name='QVRITEM_LISTING' AND sql LIKE '%latestverobjid%'", error)) << error;
        return count.Step() == SQLITE_ROW ? count.Int(0) : -1;
    };
    EXPECT_EQ(listingIndexes(), 1);
    ASSERT_EQ(m_repo.Vlx(m_repo.VlxArgs("PROJ", "DEV", VlxLog())).exitCode, 0);
    const std::string withIndex = ReadFile(VlxLog());
    {
        quorvan::Database db;
        std::string error;
        ASSERT_TRUE(db.Open(dbFile, quorvan::Database::Mode::ReadWrite, error)) << error;
        ASSERT_TRUE(db.Exec("DROP INDEX QVRITEM_LISTING", error)) << error;
    }
    ASSERT_EQ(listingIndexes(), 0);
    ASSERT_EQ(m_repo.Vlx(m_repo.VlxArgs("PROJ", "DEV", VlxLog())).exitCode, 0);
    EXPECT_EQ(ReadFile(VlxLog()), withIndex);
    EXPECT_EQ(listingIndexes(), 0) << "a listing never writes";
    ASSERT_EQ(m_repo.Admin({"add-user", "DEMO", "bob", "pw"}).exitCode, 0);
    EXPECT_EQ(listingIndexes(), 1);
}

TEST_F(QvrAdminTest, TagMarksTheLatestVersions) {
    m_tree.Write("a.txt", "a");
    ASSERT_EQ(m_repo.Admin({"import", "DEMO", "PROJ", "DEV", m_tree.Str()}).exitCode, 0);
    ASSERT_EQ(m_repo.Admin({"tag", "DEMO", "PROJ", "DEV", "REL 1.0", "--user", "carol"}).exitCode, 0);
    ASSERT_EQ(m_repo.Vlx(m_repo.VlxArgs("PROJ", "DEV", VlxLog())).exitCode, 0);
    auto tokens = ListingTokens(SplitLines(ReadFile(VlxLog()))[2]);
    ASSERT_EQ(tokens.size(), 10u);
    EXPECT_EQ(tokens[3], "REL 1.0");
    EXPECT_EQ(tokens[8], "carol");
}

TEST_F(QvrAdminTest, DeleteRemovesAStateOrAProject) {
    m_tree.Write("a.txt", "a");
    ASSERT_EQ(m_repo.Admin({"import", "DEMO", "PROJ", "DEV", m_tree.Str()}).exitCode, 0);
    ASSERT_EQ(m_repo.Admin({"import", "DEMO", "PROJ", "QA", m_tree.Str()}).exitCode, 0);
    ASSERT_EQ(m_repo.Admin({"delete", "DEMO", "PROJ", "DEV"}).exitCode, 0);
    EXPECT_EQ(m_repo.Vlx(m_repo.VlxArgs("PROJ", "DEV", VlxLog())).exitCode, 1);
    EXPECT_EQ(m_repo.Vlx(m_repo.VlxArgs("PROJ", "QA", VlxLog())).exitCode, 0);
    ASSERT_EQ(m_repo.Admin({"delete", "DEMO", "PROJ"}).exitCode, 0);
    EXPECT_EQ(m_repo.Vlx(m_repo.VlxArgs("PROJ", "QA", VlxLog())).exitCode, 1);
    EXPECT_EQ(ReadFile(VlxLog()), "Error: Project PROJ not found\n");
    ToolResult list = m_repo.Admin({"list", "DEMO"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_NE(list.out.find("Users: alice"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find(QuorvanRepo::kPassword), std::string::npos);
}

TEST_F(QvrAdminTest, BadCommandsAreRefusedWithUsage) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    } cases[] = {
        {{}, 2, "no command given"},
        {{"frobnicate"}, 2, "unknown command frobnicate"},
        {{"import", "DEMO", "PROJ"}, 2, "import takes"},
        {{"import", "DEMO", "PROJ", "DEV", "--bogus", "x", "dir"}, 2, "unknown option --bogus"},
        {{"create-broker", "DEMO"}, 1, "Broker DEMO already exists"},
        {{"create-broker", "../evil"}, 1, "invalid broker name ../evil"},
        {{"add-user", "NOPE", "u", "p"}, 1, "Unknown broker NOPE"},
        {{"import", "DEMO", "PROJ", "DEV", "/no/such/dir"}, 1, "Not a directory: /no/such/dir"},
        {{"import", "DEMO", "PR\tOJ", "DEV", "/tmp"}, 1, "invalid project name"},
        {{"tag", "DEMO", "NOPE", "DEV", "T"}, 1, "Project NOPE not found"},
    };
    for (const auto& c : cases) {
        ToolResult result = m_repo.Admin(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
    EXPECT_FALSE(fs::exists(fs::path(m_repo.Home()).parent_path() / "evil.qvrdb"));
}

TEST_F(QvrAdminTest, UnrepresentableNamesAreSkippedNotStored) {
    m_tree.Write("ok.txt", "ok");
    m_tree.Write("back\\slash.txt", "x");
    ToolResult result = m_repo.Admin({"import", "DEMO", "PROJ", "DEV", m_tree.Str()});
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_NE(result.err.find("skipped"), std::string::npos);
    auto versions = List();
    EXPECT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions.count("\\\\ok.txt"), 1u);
}

}  // namespace
}  // namespace qvr::testing
