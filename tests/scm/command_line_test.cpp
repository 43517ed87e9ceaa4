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

}  // namespace
}  // namespace qvr::testing
