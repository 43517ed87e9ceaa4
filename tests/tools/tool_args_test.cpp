#include "tools/quorvan/tool_args.h"

#include <gtest/gtest.h>

namespace qvr::quorvan {
namespace {

const std::vector<OptionRule> kRules = {{"-b"}, {"-pw"}, {"-o"}, {"-r", false}};

TEST(ToolArgs, ValuesAreTakenWholeWhateverTheyHold) {
    ParsedArgs parsed;
    std::string error;
    ASSERT_TRUE(ParseToolArgs({"t", "-R", "-pw", "-o", "-b", "a b;$\"c\"", "-o", "out", "item"}, kRules, 1,
                              parsed, error))
        << error;
    EXPECT_EQ(parsed.Value("-pw"), "-o");
    EXPECT_EQ(parsed.Value("-b"), "a b;$\"c\"");
    EXPECT_EQ(parsed.Value("-o"), "out");
    EXPECT_TRUE(parsed.flags.count("-r"));
    EXPECT_EQ(parsed.positionals, std::vector<std::string>{"item"});
}

TEST(ToolArgs, MalformedListsAreRefused) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"t", "-x"}, "Unknown option -x"},
        {{"t", "-b"}, "Option -b needs a value"},
        {{"t", "-b", "1", "-b", "2"}, "Option -b given more than once"},
        {{"t", "one", "two"}, "Unexpected argument two"},
    };
    for (const auto& c : cases) {
        ParsedArgs parsed;
        std::string error;
        EXPECT_FALSE(ParseToolArgs(c.args, kRules, 1, parsed, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(ToolArgs, OutputPathIsFoundPastAPasswordThatLooksLikeIt) {
    std::string path, error;
    ASSERT_TRUE(FindOutputPath({"t", "-pw", "-o", "-o", "real.log"}, kRules, path, error));
    EXPECT_EQ(path, "real.log");
    EXPECT_FALSE(FindOutputPath({"t", "-b", "x", "-o"}, kRules, path, error));
    EXPECT_EQ(error, "Option -o needs a value");
    EXPECT_FALSE(FindOutputPath({"t", "-b", "x"}, kRules, path, error));
    EXPECT_EQ(error, "Missing option -o (output file)");
}

}  // namespace
}  // namespace qvr::quorvan
