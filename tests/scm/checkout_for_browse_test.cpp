// The checkout for browse: command lines, runs and the judging of vgt.log.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "bridge_fixture.h"
#include "scm/command_line.h"
#include "support/test_platform.h"

namespace qvr::testing {
namespace {

const char* const kEnd1 = "CqvrCompareDlg::ReadVgtLog: END Checkout for Browse return=1";
const char* const kEnd0 = "CqvrCompareDlg::ReadVgtLog: END Checkout for Browse return=0";

class CheckoutTest : public BridgeTest {
protected:
    int Read(const std::string& log, std::string& line) {
        std::filesystem::remove(trace.Path());
        host.boxes.clear();
        return ReadCheckoutLog(log, line);
    }
};

TEST(ErrorPathLengthTest, PathBetweenBlanks) {
    const std::pair<std::string, std::size_t> cases[] = {
        {"E001 cannot write C:\\tmp\\a.c now", 10},
        {"E001 no path here", 0},
        {"E001 at end C:\\tmp\\a.c", 0},         // no blank after it
        {"\\lead\\x rest", 0},                   // no blank before it
        {"E " + std::string(261, 'p') + "\\x y", 263},
        {"", 0},
    };
    for (const auto& [line, length] : cases) EXPECT_EQ(ErrorPathLength(line), length) << line;
}

TEST_F(CheckoutTest, CommandLineFollowsThePackage) {
    const std::string log = installDir + kSep + "vgt.log";
    const std::string base = "vgt \"*\" -b \"brk\" -en \"proj\" -st \"st1\" -vp \\ -br -nvs -r -op pc "
                             "-cp \"/dest\" -usr usr -pw secret -o " + log;
    struct Case {
        const char* format;
        const char* package;
        std::string expected;
    };
    const Case cases[] = {
        {kVgtWithoutPackage, "", base},
        {kVgtWithoutPackage, "*", base},
        {kVgtWithoutPackage, "abc", base + " -p \"abc\""},
        {kVgtWithPackage, "all*", base + "  "},
        {kVgtWithPackage, "abc", base + "   -p \"abc\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.package);
        templates.vgtFmt = c.format;
        context.package = c.package;
        EXPECT_EQ(bridge.BuildVgtCommandLine("/dest").Launched(), c.expected);
    }
}

TEST_F(CheckoutTest, RunVgtFileChecksOutOneItem) {
    std::string args = (dir / "args").string();
    templates.vgtFmt = QuoteArgument(ChildPath()) + " argv " + args +
                       " \"%s\" -b \"%s\" -en \"%s\" -st \"%s\" -nvs -cp \"%s\" -usr %s -pw %s -o vgt.log";
    context.password = "a b";
    EXPECT_EQ(bridge.RunVgtFile("/my dest", "\\src\\it's \"x\".c"), 1);
    EXPECT_EQ(ReadLines(args),
              (std::vector<std::string>{"-b", "brk", "-en", "proj", "-st", "st1", "-cp", "/my dest", "-usr", "usr", "-pw", "a b",
                                        "-o", installDir + kSep + "vgt.log", "\\src\\it's \"x\".c"}));
    auto messages = TraceMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0],
              "CqvrCompareDlg::RunVgt: START Checkout for Browse /my dest \\src\\it's \"x\".c");
    EXPECT_EQ(messages[1], "CqvrCompareDlg::RunVgt: ExecuteThis: " + QuoteArgument(ChildPath()) +
                               " argv " + args + " -b \"brk\" -en \"proj\" -st \"st1\"  -cp \"/my dest\" -usr usr -pw ****** "
                               "-o " + installDir + kSep + "vgt.log \"\\src\\it's \"\"x\"\".c\" ");
    EXPECT_EQ(messages[2], "CqvrCompareDlg::RunVgt: END Checkout for Browse return=1");
}

TEST_F(CheckoutTest, RunVgtResults) {
    templates.vgtFmt = QuoteArgument(ChildPath()) + " exit 3 \"%s\" -o vgt.log";
    dir.Write("vgt.log", "old");
    EXPECT_EQ(bridge.RunVgt(), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "vgt.log"));
    EXPECT_EQ(TraceMessages().back(), "CqvrCompareDlg::RunVgt: END Checkout for Browse return=1");

    templates.vgtFmt = "no-such-vgt-qvr \"%s\"";
    EXPECT_EQ(bridge.RunVgt(), 0);
    EXPECT_EQ(TraceMessages().back(), "CqvrCompareDlg::RunVgt: Error: Execute RunVgt Failed");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, NotFoundMessage("no-such-vgt-qvr \"*\""));
}

TEST_F(CheckoutTest, CancelWhileTheToolRunsGivesZero) {
    templates.vgtFmt = QuoteArgument(ChildPath()) + " sleep 3000 \"%s\"";
    g_reportInProgress = 1;
    auto start = std::chrono::steady_clock::now();
    pump.onPump = [&] {
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(200)) {
            g_reportInProgress = 0;
        }
    };
    EXPECT_EQ(bridge.RunVgt(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(TraceMessages().back(), "CqvrCompareDlg::RunVgt: END Checkout for Browse return=0");
    // The cancelled checkout does not run on behind the program's back.
    EXPECT_EQ(bridge.GetLauncher().WaitedToolCount(), 0u);
}

TEST_F(CheckoutTest, LogVerdicts) {
    struct Case {
        const char* name;
        std::string log;
        int result;
        std::string line;
        std::size_t boxes;
    };
    const Case cases[] = {
        {"all fine", "a\nTotal: 10; Success: 10; Failed: 0; Not Processed: 0.\n", 1,
         "Total: 10; Success: 10; Failed: 0; Not Processed: 0.", 0},
        {"upper case", "TOTAL: 10; SUCCESS: 4; FAILED: 6;\n", 0, "TOTAL: 10; SUCCESS: 4; FAILED: 6;", 0},
        {"fewer failures", "total: 10; success: 6; failed: 4;\r\n", 1, "total: 10; success: 6; failed: 4;", 0},
        {"equal counts", "Total: 4; Success: 2; Failed: 2\n", 0, "Total: 4; Success: 2; Failed: 2", 0},
        {"no success key", "Total: 3; Failed: 3;\n", 0, "Total: 3; Failed: 3;", 0},
        {"no failed key", "Total: 3; Success: 3\n", 1, "Total: 3; Success: 3", 0},
        {"first summary decides", "Total: 1; Success: 1; Failed: 0\nTotal: 1; Failed: 9\n", 1,
         "Total: 1; Success: 1; Failed: 0", 0},
        {"no summary", "checked out a\nchecked out b\n", 1, "", 0},
        {"empty log", "", 1, "", 0},
        {"error line", "a\nE0042 Invalid password\nTotal: 1; Success: 1; Failed: 0\n", 0,
         "E0042 Invalid password", 1},
        {"lower-case e is no error", "e-mail sent\n", 1, "", 0},
        {"signature error, no box", "E01 Signature mismatch\n", 0, "E01 Signature mismatch", 0},
        {"file agent errors go on",
         "E1 The File Agent error for item \\a.c\nE2 The File Agent error for item \\b.c\n"
         "Total: 5; Success: 3; Failed: 2\n",
         1, "Total: 5; Success: 3; Failed: 2", 2},
        {"summary inside an error line counts as error", "ETotal: 1; Failed: 0\n", 0,
         "ETotal: 1; Failed: 0", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string line;
        EXPECT_EQ(Read(c.log, line), c.result);
        EXPECT_EQ(line, c.line);
        EXPECT_EQ(host.boxes.size(), c.boxes);
        for (const auto& box : host.boxes) EXPECT_EQ(box.icon, MbIcon::Exclamation);
    }
}

// What the report checks the log's claims against: the summary's total and
// the copies of the items it says it checked out.
TEST_F(CheckoutTest, ClaimsAreCheckedAgainstTheCopies) {
    QVR_SKIP_ON_WINDOWS("copy paths with \"/\"");
    context.tempPath = (dir / "t").string();
    dir.Write("t/src/a.c", "a");
    const std::string wroteA = "Checked out \\src\\a.c version 1\n";
    std::string line;
    Read(wroteA + "Checked out \\src\\b version x.c version 2\nChecked out \\c.c version 1\nTotal: 3; Success: 3\n", line);
    EXPECT_EQ(bridge.CheckoutTotal(), 3);
    EXPECT_EQ(bridge.MissingCopies(), 2);
    EXPECT_EQ(bridge.FirstMissingCopy(), context.tempPath + "/src/b version x.c");
    // A name the tool had to alter ("Total : ", in any letter case) is not looked for.
    Read(wroteA + "Checked out \\notes ToTaL : 2.c version 1\nTotal: 2; Success: 2\n", line);
    EXPECT_EQ(bridge.MissingCopies(), 0);
    Read(wroteA + "Total: 0; Success: 0\n", line);
    EXPECT_EQ(bridge.CheckoutTotal(), 0);
    EXPECT_EQ(bridge.MissingCopies(), 0);
    Read(wroteA, line);
    EXPECT_EQ(bridge.CheckoutTotal(), -1) << "no summary";
    // A large log is looked at in batches, each split between two threads:
    // the count is whole and the first missing copy the first in the log.
    std::string large;
    for (int i = 0; i < 20000; ++i) {
        large += i == 3000 ? "Checked out \\early.c version 1\n"
                 : i == 12000 || i == 19000 ? "Checked out \\late.c version 1\n" : wroteA;
    }
    Read(large + "Total: 20000; Success: 20000\n", line);
    EXPECT_EQ(bridge.MissingCopies(), 3);
    EXPECT_EQ(bridge.FirstMissingCopy(), context.tempPath + "/early.c");
}

// A temp folder the tool cannot write to fails every item: one box for the
// first item error, one that sums up the rest, every line still traced.
TEST_F(CheckoutTest, ManyItemErrorsGiveTwoBoxes) {
    auto itemErrors = [](int count) {
        std::string log;
        for (int k = 0; k < count; ++k) {
            log += "E9 The File Agent error for item \\d\\f" + std::to_string(k) + ".c\n";
        }
        return log;
    };
    struct Case {
        const char* name;
        std::string log;
        int result;
        std::vector<std::string> boxes;  // every box shown, in order
    };
    const std::string first =
        "Checkout for Browse Error:\nE9 The File Agent error for item \\d\\f0.c\n\nReview the vgt.log.";
    const Case cases[] = {
        {"one item error", itemErrors(1) + "Total: 5; Success: 4; Failed: 1\n", 1, {first}},
        {"two item errors", itemErrors(2) + "Total: 5; Success: 3; Failed: 2\n", 1,
         {first, "1 more checkout errors - review the vgt.log."}},
        {"five hundred, then too many failed", itemErrors(500) + "Total: 500; Success: 0; Failed: 500\n", 0,
         {first, "499 more checkout errors - review the vgt.log."}},
        {"no summary line", itemErrors(3), 1, {first, "2 more checkout errors - review the vgt.log."}},
        {"another error ends the read", itemErrors(3) + "E1 Invalid password\n", 0,
         {first, "Checkout for Browse Error:\nE1 Invalid password\n\nReview the vgt.log.",
          "2 more checkout errors - review the vgt.log."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string line;
        EXPECT_EQ(Read(c.log, line), c.result);
        std::vector<std::string> texts;
        for (const auto& box : host.boxes) {
            texts.push_back(box.text);
            EXPECT_EQ(box.icon, MbIcon::Exclamation);
        }
        EXPECT_EQ(texts, c.boxes);
        // Every error line is still in the trace.
        const auto messages = TraceMessages();
        long inLog = 0;
        for (std::size_t at = c.log.find("E9 "); at != std::string::npos; at = c.log.find("E9 ", at + 1)) ++inLog;
        EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                                [](const std::string& m) { return m.starts_with("E9 The File Agent"); }),
                  inLog);
    }
}

TEST_F(CheckoutTest, CountTracesAndTopRecordsEmptied) {
    records.SetAt("1", RepoFileRecord{});
    std::string line;
    EXPECT_EQ(Read("Total: 10; Success:  4 ; Failed: 6 ;\n", line), 0);
    EXPECT_EQ(records.GetCount(), 0);
    EXPECT_EQ(TraceMessages(),
              (std::vector<std::string>{
                  "CqvrCompareDlg::ReadVgtLog: START Read results of Checkout for Browse",
                  "CqvrCompareDlg::ReadVgtLog: Total: 10; Success:  4 ; Failed: 6 ;",
                  "CqvrCompareDlg::ReadVgtLog: END Checkout for Browse - failed count=6 is too "
                  "high, success count=4  return=0"}));
    EXPECT_EQ(Read("Total: 10; Success: 6; Failed: 4x\n", line), 1);
    EXPECT_EQ(TraceMessages().back(),
              "CqvrCompareDlg::ReadVgtLog: END Checkout for Browse - failed count=4 is less than "
              "success count=6  return=1");
    EXPECT_EQ(Read("Total: 1; Success: 1; Failed: 0\n", line), 1);
    EXPECT_EQ(TraceMessages().back(), kEnd1);
}

TEST_F(CheckoutTest, ErrorMessageTextAndMaxPathNote) {
    std::string line;
    std::string shortLine = "E7 cannot create C:\\t\\a.c here 100%";
    EXPECT_EQ(Read(shortLine + "\n", line), 0);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text,
              "Checkout for Browse Error:\n" + shortLine + "\n\nReview the vgt.log.");
    auto messages = TraceMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1], shortLine);  // the line itself, "%" unchanged
    EXPECT_EQ(messages[2], kEnd0);

    std::string longLine = "E7 cannot create C:\\" + std::string(270, 'd') + "\\a.c now";
    EXPECT_EQ(Read(longLine + "\n", line), 0);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Checkout for Browse Error:\n\nPath exceeds MAX_PATH!\n\n" +
                                      longLine + "\n\nReview the vgt.log.");

    std::string atEnd = "E7 cannot create C:\\" + std::string(270, 'd');
    EXPECT_EQ(Read(atEnd + "\n", line), 0);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text.find("MAX_PATH"), std::string::npos);
}

TEST_F(CheckoutTest, CancelWhileReadingFinishesAsAtTheEnd) {
    g_reportInProgress = 1;
    pump.onPump = [] { g_reportInProgress = 0; };
    std::string line;
    EXPECT_EQ(Read("checked out a\nTotal: 2; Success: 0; Failed: 2\n", line), 1);
    EXPECT_EQ(pump.pumpCount, 1);
    EXPECT_EQ(line, "");
    EXPECT_EQ(TraceMessages().back(), kEnd1);
}

TEST_F(CheckoutTest, UnopenableLogEndsCleanly) {
    records.SetAt("1", RepoFileRecord{});
    std::string line = "keep";
    EXPECT_EQ(bridge.ReadVgtLog(line), 0);
    EXPECT_EQ(line, "keep");
    const std::string path = installDir + kSep + "vgt.log";
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Unable to read: " + path);
    EXPECT_EQ(host.boxes[0].icon, MbIcon::None);
    auto messages = TraceMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1], "Unable to read: " + path);
    EXPECT_EQ(messages[2], kEnd0);
    EXPECT_EQ(records.GetCount(), 1);
}

TEST_F(CheckoutTest, RandomBytesDoNotCrash) {
    std::mt19937 random(3);
    std::string bytes(10 * 1024 * 1024, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    std::string line;
    int result = Read(bytes, line);
    EXPECT_TRUE(result == 0 || result == 1);
}

}  // namespace
}  // namespace qvr::testing
