// The repository listing: the listing tool's command line, its run, and the
// grammar of vlx.log.

#include <gtest/gtest.h>

#include <random>

#include "bridge_fixture.h"
#include "scm/command_line.h"

namespace qvr::testing {
namespace {

const char* const kHeader = "Quorvan listing\nBroker: brk\nFile\tPath\tVersion\n--------------\n";
const char* const kSuccess = "vlx has been executed successfully.\n";

std::string DataLine(int i) {
    return "f" + std::to_string(i) + ".c\t\\src\\\t" + std::to_string(i) +
           "\tREL1\t120\tpkgA\tann\t01/02/2024 10:00:00\tbob\t03/04/2024 11:00:00\n";
}

class RepositoryListingTest : public BridgeTest {
protected:
    RepositoryListingTest() { g_populateInProgress = 1; }

    int Read(const std::string& log, std::string& error) { return ReadListing(log, error); }

    RepoFileRecord At(const std::string& key) { return Record(key); }
};

TEST_F(RepositoryListingTest, CommandLineFollowsPackageAndInstallDirectory) {
    const std::string log = installDir + kSep + "vlx.log";
    const std::string base = "vlx -b \"brk\" -en \"proj\" -st \"st1\" -vp \\ -usr usr -pw secret "
                             "-iv lv -s \"*\" -o " + log;
    struct Case {
        const char* format;
        const char* package;
        std::string expected;
    };
    const Case cases[] = {
        {kVlxWithoutPackage, "", base},
        {kVlxWithoutPackage, "*", base},
        {kVlxWithoutPackage, "pk*", base},
        {kVlxWithoutPackage, "abc", base + " -p \"abc\" "},
        {kVlxWithPackage, "", base + "  "},
        {kVlxWithPackage, "abc", base + "   -p \"abc\" "},
        {kVlxWithPackage, "my pkg", base + "   -p \"my pkg\" "},
        {"vlx -p \"%s\" -b \"%s\" -en \"%s\" -st \"%s\" -usr %s -pw %s -o vlx.log", "abc",
         "vlx  -b \"brk\" -en \"proj\" -st \"st1\" -usr usr -pw secret -o " + log + " -p \"abc\" "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format + std::string(" / ") + c.package);
        templates.vlxFmt = c.format;
        context.package = c.package;
        EXPECT_EQ(bridge.BuildVlxCommandLine().Launched(), c.expected);
    }
}

TEST_F(RepositoryListingTest, RunsTheToolAndTracesTheMaskedLine) {
    context.password = "p w;$x";
    std::string fixture = dir.Write("fixture.log", std::string(kHeader) + DataLine(1)).string();
    std::string argsFile = (dir / "args").string();
    templates.vlxFmt = QuoteArgument(ChildPath()) + " copy " + fixture + " " + argsFile +
                       " -b \"%s\" -en \"%s\" -st \"%s\" -usr %s -pw %s -o vlx.log";
    EXPECT_EQ(bridge.RunVLX(), 1);
    EXPECT_TRUE(std::filesystem::exists(dir / "vlx.log"));
    EXPECT_EQ(ReadLines(argsFile),
              (std::vector<std::string>{"-b", "brk", "-en", "proj", "-st", "st1", "-usr", "usr",
                                        "-pw", "p w;$x", "-o", installDir + kSep + "vlx.log"}));
    auto messages = TraceMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "CQvrCompareDlg::RunVLX: START");
    EXPECT_EQ(messages[1], "CQvrCompareDlg::RunVLX: " + QuoteArgument(ChildPath()) + " copy " +
                               fixture + " " + argsFile +
                               " -b \"brk\" -en \"proj\" -st \"st1\" -usr usr -pw ****** -o " +
                               installDir + kSep + "vlx.log");
    EXPECT_EQ(messages[2], "CqvrCompareDlg::RunVLX: END return code=1");
}

TEST_F(RepositoryListingTest, MissingToolReturnsTheLaunchError) {
    dir.Write("vlx.log", "stale");
    templates.vlxFmt = "no-such-vlx-qvr -b \"%s\" -o vlx.log";
    EXPECT_EQ(bridge.RunVLX(), kLaunchNotFound);
    EXPECT_FALSE(std::filesystem::exists(dir / "vlx.log"));  // deleted before the run
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, NotFoundMessage("no-such-vlx-qvr -b \"brk\" -o " + installDir +
                                                  kSep + "vlx.log"));
    EXPECT_EQ(TraceMessages().back(), "CqvrCompareDlg::RunVLX: Execute RUNVLX Failed");
}

TEST_F(RepositoryListingTest, LogGrammar) {
    struct Case {
        const char* name;
        std::string log;
        int count;
        std::string error;
    };
    const std::string header = kHeader;
    const std::string incomplete = "the listing is incomplete: " + installDir + kSep + "vlx.log";
    // Long enough for its records' room to be made ready while it is read,
    // with names long enough to leave some of that room unused.
    std::string longRows;
    for (int i = 1; i <= 15000; ++i) longRows += std::string(300, 'n') + DataLine(i);
    const Case cases[] = {
        {"three lines", header + DataLine(1) + DataLine(2) + DataLine(3) + kSuccess, 3, ""},
        {"CR LF", "h\r\n--------\r\n" + DataLine(1).substr(0, DataLine(1).size() - 1) +
                      "\r\n" + kSuccess, 1, ""},
        {"no separator", "x\n" + DataLine(1) + kSuccess, 0, incomplete},
        {"no data", header + kSuccess, 0, ""},
        {"data before the separator ignored", DataLine(7) + header + DataLine(1) + kSuccess, 1, ""},
        {"second separator is a row", header + DataLine(1) + "--------\n" + DataLine(2) + kSuccess, 3, ""},
        {"lines after success ignored", header + DataLine(1) + kSuccess + DataLine(2), 1, ""},
        {"no success line: incomplete", header + DataLine(1) + DataLine(2), 0, incomplete},
        {"empty lines skipped", header + "\n\n" + DataLine(1) + "\r\n" + kSuccess, 1, ""},
        {"error before separator", "Error: Invalid password\n" + header + DataLine(1), 0,
         "Error: Invalid password"},
        {"error after data", header + DataLine(1) + "vlx: Error: lost\n", 0, "vlx: Error: lost"},
        // A tool that echoes an argument it did not expect never shows the password.
        {"error echoing the password", header + "Error: Unexpected argument secret\n", 0,
         "Error: Unexpected argument ******"},
        {"bang in a name is a row", header + DataLine(1) + "wow!.c\t\\src\\\t1\n!old\t\\a!\\\t1\n" + kSuccess, 3, ""},
        {"bang in free text", header + DataLine(1) + "wow!\n" + kSuccess, 0, "wow!"},
        {"Error: inside a row", header + "my Error: x.c\t\\Error: \\\t1\n" + kSuccess, 1, ""},
        {"row named like the closing line", header + "vlx has been executed successfully.\t\\p\\\t1\n" +
                                                DataLine(2) + kSuccess, 2, ""},
        {"row named like the separator", header + "--------.txt\t\\p\\\t1\n" + kSuccess, 1, ""},
        {"Error without blank is data", header + "Error:x\t\\p\\\n" + kSuccess, 1, ""},
        {"empty file", "", 0, incomplete},
        {"long log", header + longRows + kSuccess, 15000, ""},
        {"long log failing at its end", header + longRows + "vlx: Error: lost\n", 0, "vlx: Error: lost"},
        {"long log cut off", header + longRows, 0, incomplete},
        // A long log is read in two parts at once; whatever ends the first
        // part ends the listing, as it would for one reading.
        {"long log failing early", header + "vlx: Error: early\n" + longRows + kSuccess, 0, "vlx: Error: early"},
        {"long log closing early", header + DataLine(1) + kSuccess + longRows + "vlx: Error: lost\n", 1, ""},
        {"long log with its separator late", longRows + header + DataLine(1) + kSuccess, 1, ""},
        {"long log with a too long line late", header + longRows + std::string(70000, 'x') + "\n" + kSuccess, 0,
         "a line of " + installDir + kSep + "vlx.log is longer than 65536 characters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_EQ(Read(c.log, error), c.count);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(records.GetCount(), c.count);
        EXPECT_TRUE(records.SpareRoom().empty()) << "room the records did not need is given back";
    }
    EXPECT_TRUE(host.boxes.empty());
}

// Long lines put their tabs anywhere in the read blocks of sixteen bytes the
// splitting looks at; the fields must be those of a plain walk over the line.
TEST_F(RepositoryListingTest, TabsAnywhereInLongLinesSplitAsInShortOnes) {
    std::mt19937 random(17);
    auto expectedFields = [](const std::string& line) {
        std::vector<std::string> tokens;
        std::string token;
        for (char c : line + "\t") {
            if (c != '\t') {
                token += c;
            } else if (!token.empty()) {
                if (tokens.size() < 10) tokens.push_back(token);
                token.clear();
            }
        }
        tokens.resize(11);
        return tokens;
    };
    std::vector<std::string> lines;
    for (int k = 0; k < 200; ++k) {
        std::string line;
        const int tokens = 1 + static_cast<int>(random() % 14);
        for (int t = 0; t < tokens; ++t) {
            if (t > 0 || random() % 4 == 0) line.append(1 + random() % (random() % 5 == 0 ? 3 : 1), '\t');
            line.append(random() % 40, static_cast<char>('a' + t));
        }
        if (random() % 3 == 0) line += '\t';
        if (line.find_first_not_of('\t') == std::string::npos) line += 'z';
        lines.push_back(line);
    }
    std::string log = kHeader;
    for (const std::string& line : lines) log += line + "\n";
    log += kSuccess;
    std::string error;
    ASSERT_EQ(Read(log, error), static_cast<int>(lines.size()));
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const RepoFileRecord record = At(std::to_string(k + 1));
        const std::vector<std::string> expected = expectedFields(lines[k]);
        for (int field = 0; field < RepoFileRecord::kFieldCount; ++field) {
            ASSERT_EQ(record.Field(field), expected[static_cast<std::size_t>(field)]) << "line " << k + 1 << " field " << field;
        }
    }
}

TEST_F(RepositoryListingTest, DataLinesFillFieldsByTabRuns) {
    std::string error;
    std::string log = std::string(kHeader) +
                      "a.c\t\\src\\\t1\tT\t10\tpk\tann\tcd\tbob\tmd\n"  // ten fields
                      "b.c\t\\src\\\t\tT\t10\tpk\tann\tcd\tbob\tmd\n"   // empty version
                      "\tc.c\t\\p\\\t2\n"                               // leading tab, short
                      "d.c\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\t\n"     // twelve tokens
                      "e.c  with  blanks \t \t\\x\\\n" +                // blanks are kept
                      kSuccess;
    ASSERT_EQ(Read(log, error), 5);

    RepoFileRecord a = At("1");
    EXPECT_EQ(a.File, "a.c");
    EXPECT_EQ(a.Path, "\\src\\");
    EXPECT_EQ(a.Version, "1");
    EXPECT_EQ(a.Tag, "T");
    EXPECT_EQ(a.Datasize, "10");
    EXPECT_EQ(a.Package, "pk");
    EXPECT_EQ(a.Creator, "ann");
    EXPECT_EQ(a.CreatedDate, "cd");
    EXPECT_EQ(a.Modifier, "bob");
    EXPECT_EQ(a.ModifiedDate, "md");
    EXPECT_EQ(a.Status, "");

    RepoFileRecord b = At("2");
    EXPECT_EQ(b.Version, "T");
    EXPECT_EQ(b.Modifier, "md");
    EXPECT_EQ(b.ModifiedDate, "");

    RepoFileRecord c = At("3");
    EXPECT_EQ(c.File, "c.c");
    EXPECT_EQ(c.Version, "2");
    EXPECT_EQ(c.Tag, "");

    RepoFileRecord d = At("4");
    EXPECT_EQ(d.ModifiedDate, "10");
    EXPECT_EQ(d.Status, "");

    RepoFileRecord e = At("5");
    EXPECT_EQ(e.File, "e.c  with  blanks ");
    EXPECT_EQ(e.Path, " ");
    EXPECT_EQ(e.Version, "\\x\\");
}

TEST_F(RepositoryListingTest, ReadStartsWithAnEmptyMap) {
    std::string error;
    ASSERT_EQ(Read(std::string(kHeader) + DataLine(1) + DataLine(2) + kSuccess, error), 2);
    EXPECT_EQ(Read(std::string(kHeader) + DataLine(1) + kSuccess, error), 1);
    EXPECT_EQ(records.GetCount(), 1);
}

TEST_F(RepositoryListingTest, CancelledBeforeTheReadLeavesTheMapAlone) {
    std::string error;
    ASSERT_EQ(Read(std::string(kHeader) + DataLine(1) + kSuccess, error), 1);
    g_populateInProgress = 0;
    EXPECT_EQ(Read(std::string(kHeader) + DataLine(1) + DataLine(2) + kSuccess, error), 0);
    EXPECT_EQ(records.GetCount(), 1);
}

TEST_F(RepositoryListingTest, MissingLogIsReported) {
    std::string error = "keep";
    EXPECT_EQ(bridge.ReadVlxLog(error), 0);
    EXPECT_EQ(error, "keep");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Unable to read: " + installDir + kSep + "vlx.log");
    EXPECT_EQ(host.boxes[0].buttons, MbButtons::Ok);
}

TEST_F(RepositoryListingTest, LongLinesArriveWhole) {
    // Longer than the old line buffer: still one row, never a cut row and a
    // junk row.
    std::string error;
    std::string longName(3000, 'n');
    EXPECT_EQ(Read(std::string(kHeader) + longName + "\t\\p\\\n" + kSuccess, error), 1);
    EXPECT_EQ(At("1").File, longName);
}

TEST_F(RepositoryListingTest, TwoHundredThousandLinesAllArrive) {
    std::string log = kHeader;
    for (int i = 1; i <= 200000; ++i) log += DataLine(i);
    log += kSuccess;
    dir.Write("vlx.log", log);
    std::string error;
    EXPECT_EQ(bridge.ReadVlxLog(error), 200000);
    // Read in two parts: the keys go on where the first part ends.
    int key = 0;
    for (auto position = records.GetStartPosition(); position;) {
        ASSERT_EQ(records.GetNextFields(position).Field(2), std::to_string(++key));
    }
    EXPECT_EQ(key, 200000);
}

TEST_F(RepositoryListingTest, RandomBytesDoNotCrash) {
    std::mt19937 random(42);
    std::string bytes(10 * 1024 * 1024, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    std::string error;
    Read("--------\n" + bytes, error);
    SUCCEED();
}

}  // namespace
}  // namespace qvr::testing
