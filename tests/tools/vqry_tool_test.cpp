// vqry as a child process: the broker check's statement and error lines.

#include "tool_process.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qvr::testing {
namespace {

class VqryTest : public ImportedTreeTest {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(ImportTree({{"a.txt", "a"}})); }

    // The program's broker-check command line for a statement.
    ToolResult Query(const std::string& statement, const std::string& password = QuorvanRepo::kPassword) {
        m_tree.Write("vqrystmt.sql", statement);
        return m_repo.Vqry({"-b", "DEMO", "-usr", "alice", "-pw", password, "-t", "-f",
                            (m_tree / "vqrystmt.sql").string(), "-o", Output()});
    }
    std::string Output() const { return OutputPath("vqrystmt.dat"); }
};

TEST_F(VqryTest, BrokerCheckStatementAnswers) {
    const struct {
        const char* project;
        int exitCode;
        const char* output;
    } cases[] = {
        {"PROJ", 0, "envobjid\n1\n"},
        {"MISSING", 0, "envobjid\nVQRY query has Zero results.\n"},
    };
    for (const auto& c : cases) {
        ToolResult result =
            Query(std::string("select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = '") + c.project + "'");
        EXPECT_EQ(result.exitCode, c.exitCode) << c.project;
        EXPECT_EQ(ReadFile(Output()), c.output) << c.project;
    }
}

TEST_F(VqryTest, FailuresGiveAnErrorLine) {
    const struct {
        const char* name;
        std::string statement;
        std::string password;
        const char* prefix;
    } cases[] = {
        {"quote in project", "select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = 'O'Brien'",
         QuorvanRepo::kPassword, "Error: near \"Brien\""},
        {"write attempt", "delete from QVRENVIRONMENT", QuorvanRepo::kPassword, "Error: "},
        {"bad password", "select 1", "wrong", "Error: Login failed for user alice"},
        {"two statements", "select 1; select 2", QuorvanRepo::kPassword, "Error: Only one statement"},
    };
    for (const auto& c : cases) {
        ToolResult result = Query(c.statement, c.password);
        EXPECT_EQ(result.exitCode, 1) << c.name;
        std::string text = ReadFile(Output());
        EXPECT_EQ(text.rfind(c.prefix, 0), 0u) << c.name << ": " << text;
    }
    // The refused write changed nothing.
    Query("select count(*) from QVRENVIRONMENT");
    EXPECT_EQ(ReadFile(Output()), "count(*)\n1\n");
}

TEST_F(VqryTest, MissingStatementFileIsReported) {
    ToolResult result = m_repo.Vqry({"-b", "DEMO", "-usr", "alice", "-pw", QuorvanRepo::kPassword, "-t", "-f",
                                     (m_tree / "none.sql").string(), "-o", Output()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ReadFile(Output()).rfind("Error: Cannot read statement file", 0), 0u);
}

// A writer killed inside its transaction, after its changes reached the
// database file: what remains is the file plus its journal.
void DieHalfWayThroughAWrite(const std::string& dbFile) {
    pid_t pid = ::fork();
    if (pid == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(dbFile.c_str(), &db);
        sqlite3_exec(db, "PRAGMA cache_size=1; BEGIN IMMEDIATE;", nullptr, nullptr, nullptr);
        for (int i = 0; i < 2000; ++i) {
            std::string sql = "INSERT INTO QVRENVIRONMENT(ENVIRONMENTNAME) VALUES('HALF" + std::to_string(i) +
                              "-" + std::string(200, 'x') + "')";
            sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
}

TEST_F(VqryTest, AnInterruptedWriteIsRolledBackBeforeTheQuery) {
    std::string dbFile = m_repo.Home() + "/DEMO.qvrdb";
    DieHalfWayThroughAWrite(dbFile);
    ASSERT_TRUE(std::filesystem::exists(dbFile + "-journal"));
    ToolResult result = Query("select count(*) from QVRENVIRONMENT");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(ReadFile(Output()), "count(*)\n1\n");
}

}  // namespace
}  // namespace qvr::testing
