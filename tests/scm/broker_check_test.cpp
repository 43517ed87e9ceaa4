// The broker check: statement, SQL tool run and the reading of its output.

#include <gtest/gtest.h>

#include <random>

#include "bridge_fixture.h"
#include "scm/command_line.h"

namespace qvr::testing {
namespace {

class BrokerCheckTest : public BridgeTest {
protected:
    // Makes the SQL tool a stand-in that leaves output as its result file.
    void ToolAnswers(const std::string& output) {
        std::string fixture = dir.Write("answer.dat", output).string();
        templates.vqryFmt = QuoteArgument(ChildPath()) + " copy " + fixture + " " +
                            (dir / "args").string() + " -b \"%s\" -usr %s -pw %s -t -f \"%s\" -o \"%s\"";
    }
};

TEST_F(BrokerCheckTest, OutputDecidesOnTheFirstDataLine) {
    struct Case {
        const char* name;
        std::string output;
        int found;
        std::string result;
    };
    const Case cases[] = {
        {"header and id", "envobjid\n1234\n", 1, "1234"},
        {"CR LF", "envobjid\r\n1234\r\n", 1, "1234"},
        {"zero results", "envobjid\nVQRY query has Zero results.\n", 1,
         "VQRY query has Zero results."},
        {"error on the first line", "Error: Unknown broker\n", 1, "Error: Unknown broker"},
        {"empty line before the data", "envobjid\n\n77\n", 1, "77"},
        {"header only", "envobjid\n", 0, ""},
        {"empty first line is the header", "\n5\n", 1, "5"},
        {"no line at all", "", 0, "Error: Unable to fetch data from vqrystmt.dat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.Write("vqrystmt.dat", c.output);
        std::string result;
        EXPECT_EQ(bridge.ReadVqryOutput(result), c.found);
        EXPECT_EQ(result, c.result);
    }
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(BrokerCheckTest, MissingOutputIsReported) {
    std::string result = "unchanged";
    EXPECT_EQ(bridge.ReadVqryOutput(result), 0);
    EXPECT_EQ(result, "unchanged");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Unable to read: " + installDir + kSep + "vqrystmt.dat");
}

TEST_F(BrokerCheckTest, VerdictAndTrace) {
    struct Case {
        std::string output;
        int available;
        std::string lastTrace;
    };
    const std::string end = "CQvrCompareDlg::CheckForBroker: END ";
    const Case cases[] = {
        {"envobjid\n1234\n", 1, end + "- Broker is Available. Result=1234"},
        {"envobjid\nVQRY query has Zero results.\n", 0, end + "Result=VQRY query has Zero results."},
        {"Error: Invalid user\n", 0, end + "- Broker not Available! Result=Error: Invalid user"},
        {"envobjid\n", 0, ""},  // the tool left nothing but the header: empty result
        {"", 0, end + "Result="},  // empty output file: the tool counts as failed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        std::filesystem::remove(trace.Path());
        ToolAnswers(c.output);
        EXPECT_EQ(bridge.CheckForBroker(), c.available);
        auto messages = TraceMessages();
        ASSERT_GE(messages.size(), 3u);
        EXPECT_EQ(messages.front(), "CQvrCompareDlg::CheckForBroker: START");
        EXPECT_EQ(messages.back(), c.lastTrace.empty() ? end + "Result=" : c.lastTrace);
    }
}

TEST_F(BrokerCheckTest, CommandLineStatementAndMaskedTrace) {
    context.project = "o'neil proj";
    context.password = "p w";
    ToolAnswers("envobjid\n1\n");
    EXPECT_EQ(bridge.CheckForBroker(), 1);
    const std::string stmt = installDir + kSep + "vqrystmt.sql";
    const std::string out = installDir + kSep + "vqrystmt.dat";
    EXPECT_EQ(ReadFile(stmt),
              "select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = 'o''neil proj'");
    EXPECT_EQ(ReadLines(dir / "args"),
              (std::vector<std::string>{"-b", "brk", "-usr", "usr", "-pw", "p w", "-t", "-f", stmt,
                                        "-o", out}));
    auto messages = TraceMessages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[1], "CQvrCompareDlg::RunVQRY: ExecuteWait " + QuoteArgument(ChildPath()) +
                               " copy " + (dir / "answer.dat").string() + " " +
                               (dir / "args").string() + " -b \"brk\" -usr usr -pw ****** -t -f \"" +
                               stmt + "\" -o \"" + out + "\"");
}

TEST_F(BrokerCheckTest, StatementTemplates) {
    context.project = "it's";
    EXPECT_EQ(bridge.BuildBrokerStatement(),
              "select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = 'it''s'");
    templates.sqlFmt = "select 1 from dual";
    EXPECT_EQ(bridge.BuildBrokerStatement(), "select 1 from dual");
    templates.sqlFmt.clear();
    EXPECT_EQ(bridge.BuildBrokerStatement(),
              "select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = 'it''s'");
    EXPECT_EQ(templates.sqlFmt, kSqlDefault);  // the fallback is kept
}

TEST_F(BrokerCheckTest, EmptyQueryTemplateFallsBackToTheDefault) {
    templates.vqryFmt.clear();
    bridge.RunVQRY("select 1");  // "vqry" is not installed here
    EXPECT_EQ(templates.vqryFmt, kVqryDefault);
    auto messages = TraceMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "CQvrCompareDlg::RunVQRY: ExecuteWait vqry -b \"brk\" -usr usr -pw "
                               "****** -t -f \"" + installDir + kSep + "vqrystmt.sql\" -o \"" +
                                   installDir + kSep + "vqrystmt.dat\"");
}

TEST_F(BrokerCheckTest, UnstartableToolFailsQuietly) {
    templates.vqryFmt = "no-such-vqry-qvr -b %s -o \"%s\"";
    dir.Write("vqrystmt.dat", "envobjid\n1\n");  // a stale answer must not count
    EXPECT_EQ(bridge.CheckForBroker(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "vqrystmt.dat"));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(TraceMessages().back(), "CQvrCompareDlg::CheckForBroker: END Result=");
}

TEST_F(BrokerCheckTest, UnwritableStatementFileFailsTheCheck) {
    std::filesystem::create_directory(dir / "vqrystmt.sql");
    std::filesystem::create_directory(dir / "vqrystmt.sql" / "keep");  // not removable as a file
    ToolAnswers("envobjid\n1\n");
    EXPECT_EQ(bridge.CheckForBroker(), 0);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Unable to write: " + installDir + kSep + "vqrystmt.sql");
}

TEST_F(BrokerCheckTest, RandomBytesDoNotCrash) {
    std::mt19937 random(7);
    std::string bytes(10 * 1024 * 1024, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    dir.Write("vqrystmt.dat", bytes);
    std::string result;
    bridge.ReadVqryOutput(result);
    EXPECT_LE(result.size(), 2047u);
}

}  // namespace
}  // namespace qvr::testing
