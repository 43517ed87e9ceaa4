// The tools' logs as a broken disk, a crashed tool or a hostile repository
// may leave them: huge, with megabyte lines, NUL bytes, text that is not
// UTF-8, cut off in mid-line, or empty. Every reader must either take in every
// byte it was given or say clearly that it could not.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>

#include "bridge_fixture.h"
#include "scm/text_line_reader.h"
#include "support/test_platform.h"

namespace qvr::testing {
namespace {

const char* const kHeader = "File\tPath\tVersion\n--------\n";
const char* const kSuccess = "vlx has been executed successfully.\n";

class HostileListingTest : public BridgeTest {
protected:
    HostileListingTest() { g_populateInProgress = 1; }

    int Read(const std::string& log) { return ReadListing(log, error); }
    RepoFileRecord At(int key) { return Record(std::to_string(key)); }

    std::string error;
};

TEST_F(HostileListingTest, HundredMegabyteLogArrivesWhole) {
    // Written in pieces so the test never holds the whole log twice.
    const std::string field(125, 'x');
    constexpr int kLines = 100000;  // lines of about 1 KB: 100 MB of data lines
    {
        std::ofstream out(dir / "vlx.log", std::ios::binary);
        out << kHeader;
        std::string line;
        for (int i = 1; i <= kLines; ++i) {
            line = std::to_string(i);
            for (int f = 2; f < 10; ++f) line += '\t' + field;
            line += '\t' + std::to_string(i) + '\n';
            out << line;
        }
        out << kSuccess;
    }
    ASSERT_GE(std::filesystem::file_size(dir / "vlx.log"), 100'000'000u);

    EXPECT_EQ(bridge.ReadVlxLog(error), kLines);
    EXPECT_EQ(records.GetCount(), kLines);
    EXPECT_EQ(At(1).File, "1");
    EXPECT_EQ(At(kLines).ModifiedDate, std::to_string(kLines));
    EXPECT_EQ(At(kLines / 2).Creator, field);
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(host.boxes.empty());
}

// A deep path makes a long line: it is one row however long, up to the
// limit; beyond it the read fails clearly instead of cutting junk rows.
TEST_F(HostileListingTest, LongLinesAreReadWholeUpToTheLimit) {
    const std::string path = "\\" + std::string(kLongestLine - 4, 'd') + "\\";
    ASSERT_EQ(Read(std::string(kHeader) + "f\t" + path + "\n" + kSuccess), 1);
    EXPECT_EQ(At(1).Path, path);
    EXPECT_EQ(Read(std::string(kHeader) + std::string(kLongestLine + 1, 'x') + "\n" + kSuccess), 0);
    EXPECT_EQ(error, "a line of " + installDir + kSep + "vlx.log is longer than 65536 characters");
    EXPECT_EQ(records.GetCount(), 0);
}

TEST_F(HostileListingTest, NulBytesAndInvalidUtf8AreKeptByteForByte) {
    struct Case {
        const char* what;
        std::string file;
        std::string path;
    };
    const Case cases[] = {
        {"NUL inside a name", std::string("a\0b.c", 5), "\\src\\"},
        {"NUL alone", std::string(1, '\0'), std::string("\\p\0\\", 4)},
        {"lone continuation bytes", "\x80\x81.c", "\\\xBF\\"},
        {"overlong and surrogate forms", "\xC0\xAF\xED\xA0\x80.h", "\\\xF5\xFF\\"},
        {"cut multi-byte letter", "Gr\xC3", "\\\xE6\x97\\"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Read(std::string(kHeader) + c.file + "\t" + c.path + "\t7\n" + kSuccess), 1) << c.what;
        EXPECT_EQ(At(1).File, c.file) << c.what;
        EXPECT_EQ(At(1).Path, c.path) << c.what;
        EXPECT_EQ(At(1).Version, "7") << c.what;
    }
}

// A tool killed while writing, a full disk: without the closing line the
// files the log does not name would come out New.
TEST_F(HostileListingTest, LogWithoutItsClosingLineIsIncomplete) {
    for (const std::string& log : {std::string(kHeader) + "a.c\t\\s\\\t1\r\nb.c\t\\s", std::string(kHeader),
                                  std::string(), std::string("\n\n\n"), std::string("--------\n")}) {
        records.SetAt("1", RepoFileRecord{});
        EXPECT_EQ(Read(log), 0) << log;
        EXPECT_EQ(records.GetCount(), 0) << log;
        EXPECT_EQ(error, "the listing is incomplete: " + installDir + kSep + "vlx.log") << log;
        error.clear();
    }
    EXPECT_EQ(Read(std::string(kHeader) + kSuccess), 0);
    EXPECT_TRUE(error.empty()) << "an empty listing that says so is complete";
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(HostileListingTest, UnreadableLogIsReportedAndEmptiesNothingItDidNotRead) {
    if (kOnWindows) GTEST_SKIP() << "Windows has no permission that hides a file from its owner";
    dir.Write("vlx.log", std::string(kHeader) + "a\tb\n");
    ASSERT_TRUE(GiveTreeToUnprivileged(dir.Str()));
    std::filesystem::permissions(dir / "vlx.log", std::filesystem::perms::none);
    // Permissions bind only an unprivileged process.
    const std::optional<std::string> seen = RunUnprivileged([&] {
        std::string out = std::to_string(bridge.ReadVlxLog(error));
        for (const RecordedBox& box : host.boxes) out += "\n" + box.text;
        return out;
    });
    ASSERT_TRUE(seen.has_value()) << "the unprivileged child failed";
    EXPECT_EQ(*seen, "0\nUnable to read: " + installDir + kSep + "vlx.log");
}

TEST_F(HostileListingTest, LogThatIsAFolderIsReportedAsUnreadable) {
    std::filesystem::create_directory(dir / "vlx.log");
    EXPECT_EQ(bridge.ReadVlxLog(error), 0);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Unable to read: " + installDir + kSep + "vlx.log");
}

class HostileCheckoutLogTest : public BridgeTest {
protected:
    int Read(const std::string& log) { return ReadCheckoutLog(log, line); }
    std::string line;
};

TEST_F(HostileCheckoutLogTest, SummaryIsFoundBehindMegabyteLinesAndBinaryNoise) {
    struct Case {
        const char* what;
        std::string before;
    };
    std::string noise(1024 * 1024, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 131) % 251 + 1);
    for (char& c : noise) {
        if (c == '\n' || c == 'E' || c == 'e' || c == 'T' || c == 't') c = '.';
    }
    const Case cases[] = {
        {"megabyte line", std::string(1024 * 1024, 'g') + "\n"},
        {"NUL bytes", std::string("Getting \0\0\0 item\n", 17)},
        {"binary noise", noise + "\n"},
        {"invalid UTF-8", "Getting \xC0\xFE\xFF\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Read(c.before + "Total: 3; Success: 1; Failed: 2; Not Processed: 0.\n"), 0) << c.what;
        EXPECT_EQ(line, "Total: 3; Success: 1; Failed: 2; Not Processed: 0.") << c.what;
        EXPECT_FALSE(bridge.VgtLogUnreadable()) << c.what;
    }
}

TEST_F(HostileCheckoutLogTest, EmptyOrCutOffLogCountsAsNoFailure) {
    // Without a summary the reader has nothing that says the checkout failed;
    // the copies themselves are compared afterwards.
    for (const char* log : {"", "Getting \\a\nGetting \\b", "Total: 2; Success: 2; Fail"}) {
        EXPECT_EQ(Read(log), 1) << log;
        EXPECT_TRUE(host.boxes.empty()) << log;
    }
}

class HostileQueryOutputTest : public BridgeTest {
protected:
    int Read(const std::string& output) { return ReadQueryOutput(output, result); }
    std::string result;
};

TEST_F(HostileQueryOutputTest, OddOutputsGiveAClearAnswer) {
    struct Case {
        const char* what;
        std::string output;
        int found;
        std::string result;
    };
    const Case cases[] = {
        {"NUL row", std::string("ENVOBJID\n\0\0\n", 12), 1, std::string("\0\0", 2)},
        {"megabyte header", std::string(1024 * 1024, 'H') + "\n", 1, std::string(kLinePieceLimit, 'H')},
        {"row cut off", "ENVOBJID\n12", 1, "12"},
        {"header only", "ENVOBJID\n", 0, ""},
    };
    for (const Case& c : cases) {
        result.clear();
        EXPECT_EQ(Read(c.output), c.found) << c.what;
        EXPECT_EQ(result, c.result) << c.what;
    }
}

}  // namespace
}  // namespace qvr::testing
