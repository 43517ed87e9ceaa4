#include "scm/command_line.h"

#include <gtest/gtest.h>

#include "bridge_fixture.h"

namespace qvr::testing {
namespace {

using Values = std::vector<std::string>;

TEST(FormatCommandTemplateTest, FillsSafelyWhateverTheTemplate) {
    struct Case {
        const char* format;
        Values values;
        const char* expected;
    };
    const Case cases[] = {
        {"a %s b %s", {"1", "2"}, "a 1 b 2"},
        {"a %s", {"1", "2", "3"}, "a 1"},                 // extra values ignored
        {"a %s b %s c %s", {"1"}, "a 1 b  c "},           // missing values are empty
        {"100%% %s", {"x"}, "100% x"},
        {"%d %x %n %5s %", {"x"}, "%d %x %n %5s %"},      // other directives stay literal
        {"%%s", {"x"}, "%s"},
        {"-b \"%s\"", {"my broker"}, "-b \"my broker\""},
        {"-b \"%s\"", {"say \"hi\""}, "-b \"say \"\"hi\"\"\""},
        {"-pw %s -x", {"a b"}, "-pw \"a b\" -x"},
        {"-pw %s -x", {"a\"b"}, "-pw \"a\"\"b\" -x"},
        {"-pw %s -x", {"a\tb"}, "-pw \"a\tb\" -x"},
        {"-pw %s -x", {"p;$`x\\"}, "-pw p;$`x\\ -x"},    // no blank, no quote: unchanged
        {"-pw %s -x", {""}, "-pw  -x"},
        {"\"%s -x", {"a b"}, "\"\"a b\" -x"},             // only a quote on both sides counts
        {"", {"x"}, ""},
        {"%", {}, "%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(FormatCommandTemplate(c.format, c.values), c.expected);
    }
}

TEST(FormatCommandTemplateTest, OrdinaryValuesGiveTheFamiliarLine) {
    EXPECT_EQ(FormatCommandTemplate(kVlxWithoutPackage, {"brk", "proj", "st1", "usr", "pw"}),
              "vlx -b \"brk\" -en \"proj\" -st \"st1\" -vp \\ -usr usr -pw pw -iv lv -s \"*\" -o "
              "vlx.log");
}

TEST(FormatPlainTemplateTest, InsertsValuesAsTheyAre) {
    EXPECT_EQ(FormatPlainTemplate(kSqlDefault, {"my \"proj\""}),
              "select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = 'my \"proj\"'");
    EXPECT_EQ(FormatPlainTemplate("no placeholder", {"x"}), "no placeholder");
}

TEST(SplitCommandLineTest, QuotesGroupAndBackslashesArePlain) {
    struct Case {
        const char* line;
        Values args;
    };
    const Case cases[] = {
        {"vlx -b x", {"vlx", "-b", "x"}},
        {"  vlx \t -b   x  ", {"vlx", "-b", "x"}},
        {"vlx -b \"my broker\"", {"vlx", "-b", "my broker"}},
        {"a \"\" b", {"a", "", "b"}},
        {"a \"x\"\"y\" b", {"a", "x\"y", "b"}},
        {"a \"\"\"\"", {"a", "\""}},
        {"a -vp \\ C:\\dir\\ \"C:\\x y\\\"", {"a", "-vp", "\\", "C:\\dir\\", "C:\\x y\\"}},
        {"a pre\"mid dle\"post", {"a", "premid dlepost"}},
        {"a \"unterminated b", {"a", "unterminated b"}},
        {"", {}},
        {"   ", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(SplitCommandLine(c.line), c.args);
    }
}

TEST(SplitCommandLineTest, FilledValuesSplitBackIntoTheSameArguments) {
    const Values nasty = {"plain", "with blank", "q\"uote", "\"", "\"lead", "trail\"",
                          "a\"\"b", "semi;$dollar", "C:\\end\\", "tab\tin", "''"};
    for (const std::string& value : nasty) {
        SCOPED_TRACE(value);
        std::string line = FormatCommandTemplate("t -q \"%s\" -u %s -z", {value, value});
        EXPECT_EQ(SplitCommandLine(line), (Values{"t", "-q", value, "-u", value, "-z"}));
    }
}

TEST(ReplaceFileNameTest, PathStaysOneArgument) {
    EXPECT_EQ(ReplaceFileName("vlx -o vlx.log", "vlx.log", "/inst/vlx.log"),
              "vlx -o /inst/vlx.log");
    EXPECT_EQ(ReplaceFileName("x vlx.log y vlx.log", "vlx.log", "/i/vlx.log"),
              "x /i/vlx.log y /i/vlx.log");
    EXPECT_EQ(ReplaceFileName("vlx -o vlx.log", "vlx.log", "/my dir/vlx.log"),
              "vlx -o \"/my dir/vlx.log\"");
    EXPECT_EQ(ReplaceFileName("vlx -o \"vlx.log\"", "vlx.log", "/my dir/vlx.log"),
              "vlx -o \"/my dir/vlx.log\"");
    EXPECT_EQ(ReplaceFileName("vlx -o none", "vlx.log", "/i/vlx.log"), "vlx -o none");
}

TEST(MaskPasswordTest, ThePasswordStandingAsAWordIsMasked) {
    struct Case {
        const char* line;
        const char* password;
        const char* expected;
    };
    const Case cases[] = {
        {"vlx -usr u -iv lv", "secret", "vlx -usr u -iv lv"},
        {"vlx -usr u -pw secret -iv lv", "secret", "vlx -usr u -pw ****** -iv lv"},
        {"a -pw secret -pw secret", "secret", "a -pw ****** -pw ******"},
        {"a -b \"mysecretbroker\" -pw secret", "secret", "a -b \"mysecretbroker\" -pw ******"},
        // A one-letter password inside words stays: "-pw" and paths are not cut up.
        {"Unexpected argument w in -pw /tmp/w/x", "w", "Unexpected argument ****** in -pw /tmp/******/x"},
        {"a -pw \"p w;$x\" -o f", "p w;$x", "a -pw \"******\" -o f"},
        // Inside quotes the password's quotes are doubled: the doubled text is masked whole.
        {"a -pw \"say \"\"hi\"\" now\" -o f", "say \"hi\" now", "a -pw \"******\" -o f"},
        {"a -e \"x\"\"y\" -pw x\"y", "x\"y", "a -e \"******\" -pw ******"},
        {"aaaa", "aa", "aaaa"},
        {"vqry -pw ", "", "vqry -pw "},  // nothing to mask
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::string text = c.line;
        MaskPassword(text, c.password);
        EXPECT_EQ(text, c.expected);
    }
}

// The listing tool's default template filled with hostile values: the line
// that is started carries every value whole, the line that is shown never
// carries the password, wherever its text turns up.
TEST(ToolCommandLineTest, ShownLineNeverHoldsThePassword) {
    struct Case {
        const char* name;
        std::string broker;
        std::string userId;
        std::string password;
        std::string project;
        bool passwordElsewhere;  // its text is part of another value too
    };
    const Case cases[] = {
        {"ordinary", "brk", "usr", "secret", "proj", false},
        {"broker holding -pw", "B -pw ", "usr", "secret", "proj", false},
        {"user id holding -pw", "brk", "x -pw y", "secret", "proj", false},
        {"project holding -pw and quotes", "brk", "usr", "secret", "p \"-pw\" q", false},
        {"password in quotes", "brk", "usr", "\"se cret\"", "proj", false},
        {"password with -pw", "brk", "usr", "a -pw b", "proj", false},
        {"password inside the broker", "mysecretbroker", "usr", "secret", "proj", true},
        {"password is the user id", "brk", "same pw", "same pw", "proj", true},
        {"password with a quote inside the project", "brk", "usr", "x\"y", "ax\"yb", true},
        {"password is a switch", "brk", "usr", "-pw", "proj", true},
        {"password is the program", "brk", "usr", "vlx", "proj", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCommandLine line(kVlxWithoutPackage, {c.broker, c.project, "st1", c.userId, c.password},
                                   4);
        const Values launched = SplitCommandLine(line.Launched());
        EXPECT_EQ(launched, (Values{"vlx", "-b", c.broker, "-en", c.project, "-st", "st1", "-vp", "\\", "-usr",
                                    c.userId, "-pw", c.password, "-iv", "lv", "-s", "*", "-o", "vlx.log"}));
        const std::string shown = line.Shown();
        // Masked where it was filled in and nowhere else.
        Values expected = launched;
        expected[12] = "******";
        EXPECT_EQ(SplitCommandLine(shown), expected) << shown;
        if (!c.passwordElsewhere) {
            EXPECT_EQ(shown.find(c.password), std::string::npos) << shown;
        }
    }
}

TEST(ToolCommandLineTest, EditsReachBothForms) {
    ToolCommandLine line("vgt \"%s\" -usr %s -pw %s -nvs -o vgt.log", {"*", "u", "p w"}, 2);
    line.Edit([](std::string& text) { text = ReplaceFileName(text, "vgt.log", "/i/vgt.log"); });
    EXPECT_EQ(line.Launched(), "vgt \"*\" -usr u -pw \"p w\" -nvs -o /i/vgt.log");
    EXPECT_EQ(line.Shown(), "vgt \"*\" -usr u -pw ****** -nvs -o /i/vgt.log");
    // A quoted placeholder keeps the template's quotes around the mask.
    EXPECT_EQ(ToolCommandLine("t -pw \"%s\"", {"pass"}, 0).Shown(), "t -pw \"******\"");
    // No password among the values: nothing is masked.
    EXPECT_EQ(ToolCommandLine("t %s", {"x"}, 3).Shown(), "t x");
}

}  // namespace
}  // namespace qvr::testing
