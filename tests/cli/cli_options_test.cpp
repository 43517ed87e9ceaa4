// The command line: every option lands where it belongs, and every misuse is
// refused with a reason.

#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace qvr::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CliOptionsTest, ContextValuesAreTakenAsGivenInEitherSpelling) {
    const ParseResult parsed = ParseCliOptions({"report", "--broker", "B", "--user=u", "--password", "p w;$",
                                                "--project", "O'Brien", "--state", "DEV", "--package=",
                                                "--install-dir", "/opt/q", "--local", "/src", "--temp", "/tmp/t",
                                                "--csv", "out.csv"});
    ASSERT_EQ(parsed.error, "");
    const CliOptions& o = parsed.options;
    EXPECT_EQ(o.command, CliCommand::Report);
    EXPECT_EQ(o.broker, "B");
    EXPECT_EQ(o.user, "u");
    EXPECT_EQ(o.password, "p w;$");
    EXPECT_EQ(o.project, "O'Brien");
    EXPECT_EQ(o.state, "DEV");
    EXPECT_EQ(o.package, "");  // given empty: no package, whatever is stored
    EXPECT_EQ(o.installDir, "/opt/q");
    EXPECT_EQ(o.localPath, "/src");
    EXPECT_EQ(o.tempPath, "/tmp/t");
    EXPECT_EQ(o.csvFile, "out.csv");
    EXPECT_FALSE(o.CsvToStdout());
}

TEST(CliOptionsTest, ValuesNotGivenStayUnset) {
    const ParseResult parsed = ParseCliOptions({"list"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.command, CliCommand::List);
    EXPECT_FALSE(parsed.options.broker.has_value());
    EXPECT_FALSE(parsed.options.package.has_value());
    EXPECT_FALSE(parsed.options.DisplayGiven());
    EXPECT_FALSE(parsed.options.subFolders.has_value());
    EXPECT_TRUE(parsed.options.CsvToStdout());
}

TEST(CliOptionsTest, DisplayAndSubfolderFlags) {
    struct Case {
        Args args;
        bool showNew, showSame, showDiff;
        std::optional<bool> subFolders;
        bool oneAtATime = false;
        bool quiet = false;
    };
    const Case cases[] = {
        {{"report", "--new"}, true, false, false, std::nullopt},
        {{"report", "--same", "--diff"}, false, true, true, std::nullopt},
        {{"report", "--no-subfolders"}, false, false, false, false},
        {{"report", "--no-subfolders", "--subfolders"}, false, false, false, true},  // the last one counts
        {{"report", "--one-at-a-time"}, false, false, false, std::nullopt, true},
        {{"report", "-q"}, false, false, false, std::nullopt, false, true},
        {{"report", "--new", "--", }, true, false, false, std::nullopt},  // "--" ends the (no more) options
    };
    for (const Case& c : cases) {
        const ParseResult parsed = ParseCliOptions(c.args);
        ASSERT_EQ(parsed.error, "") << c.args[1];
        EXPECT_EQ(parsed.options.showNew, c.showNew) << c.args[1];
        EXPECT_EQ(parsed.options.showSame, c.showSame) << c.args[1];
        EXPECT_EQ(parsed.options.showDiff, c.showDiff) << c.args[1];
        EXPECT_EQ(parsed.options.subFolders, c.subFolders) << c.args[1];
        EXPECT_EQ(parsed.options.oneAtATime, c.oneAtATime) << c.args[1];
        EXPECT_EQ(parsed.options.quiet, c.quiet) << c.args[1];
    }
}

TEST(CliOptionsTest, HelpAndVersion) {
    EXPECT_EQ(ParseCliOptions({"--help"}).options.command, CliCommand::Help);
    EXPECT_EQ(ParseCliOptions({"report", "--bogus", "-h"}).options.command, CliCommand::Help);
    EXPECT_EQ(ParseCliOptions({"--version"}).options.command, CliCommand::Version);
    EXPECT_EQ(VersionText(), "qvrcompare-cli (QvrCompare) 1.05\n");
    EXPECT_EQ(ParseCliOptions({"config", "--set", "Broker=B", "--set=State=D=V"}).options.settingsToStore,
              (Args{"Broker=B", "State=D=V"}));
}

TEST(CliOptionsTest, MisuseIsRefusedWithItsReason) {
    const std::pair<Args, std::string> cases[] = {
        {{}, "no command given"},
        {{"compare"}, "unknown command 'compare'"},
        {{"list", "--bogus"}, "unknown option '--bogus'"},
        {{"list", "stray"}, "unexpected argument 'stray'"},
        {{"list", "--broker"}, "--broker needs a value"},
        {{"list", "--csv"}, "--csv needs a value"},
        {{"list", "--local", "/src"}, "--local applies to 'report' only"},
        {{"list", "--new"}, "--new applies to 'report' only"},
        {{"report", "--new=1"}, "--new takes no value"},
        {{"--version", "list"}, "--version takes no other arguments"},
        {{"list", "--csv", ""}, "--csv needs a file name, or '-' for standard output"},
        {{"list", "--", "--help"}, "unexpected argument '--help'"},
        {{"list", "--quiet=yes"}, "--quiet takes no value"},
        {{"config"}, "config needs --set KEY=VALUE"},
        {{"config", "--set", "=x"}, "--set needs KEY=VALUE, not '=x'"},
        {{"config", "--broker", "B"}, "unknown option '--broker' for 'config'"},
        {{"list", "--project", std::string(255, 'p')}, "--project value is longer than 254 characters"},
    };
    for (const auto& [args, error] : cases) EXPECT_EQ(ParseCliOptions(args).error, error);
    EXPECT_EQ(ParseCliOptions({"list", "--project", std::string(254, 'p')}).error, "");
    // The limit counts characters, not bytes.
    std::string letters;
    for (int i = 0; i < 254; ++i) letters += "\xE6\x97\xA5";
    EXPECT_EQ(ParseCliOptions({"list", "--project", letters}).error, "");
    EXPECT_EQ(ParseCliOptions({"list", "--project", letters + "\xC3\xA9"}).error,
              "--project value is longer than 254 characters");
}

}  // namespace
}  // namespace qvr::cli
