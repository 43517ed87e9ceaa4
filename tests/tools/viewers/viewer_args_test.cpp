#include "tools/viewers/viewer_args.h"

#include <gtest/gtest.h>

namespace qvr::viewers {
namespace {

TEST(ViewerArgsTest, ParsesCommandLines) {
    using Args = std::vector<std::string>;
    struct Case {
        const char* name;
        Args args;
        std::size_t fileCount;
        Args files;
        std::string screenshot;
        std::string error;
    };
    const Case cases[] = {
        {"two files", {"/a b/x.txt", "y.txt"}, 2, {"/a b/x.txt", "y.txt"}, "", ""},
        {"screenshot after", {"x", "y", "--screenshot", "o.png"}, 2, {"x", "y"}, "o.png", ""},
        {"screenshot before", {"--screenshot", "o.png", "x"}, 1, {"x"}, "o.png", ""},
        {"file after --", {"--", "--screenshot"}, 1, {"--screenshot"}, "", ""},
        {"too few", {"x"}, 2, {"x"}, "", "expected 2 files, got 1"},
        {"too many", {"x", "y"}, 1, {"x", "y"}, "", "expected 1 file, got 2"},
        {"none", {}, 1, {}, "", "expected 1 file, got 0"},
        {"screenshot without name", {"x", "--screenshot"}, 1, {"x"}, "", "--screenshot needs a file name"},
        {"unknown option", {"--bogus", "x"}, 1, {}, "", "unknown option --bogus"},
    };
    for (const auto& c : cases) {
        ViewerArgs parsed = ParseViewerArgs(c.args, c.fileCount);
        EXPECT_EQ(parsed.error, c.error) << c.name;
        if (parsed.Ok()) {
            EXPECT_EQ(parsed.files, c.files) << c.name;
            EXPECT_EQ(parsed.screenshotPath, c.screenshot) << c.name;
        }
    }
}

TEST(ViewerArgsTest, HelpNeedsNoFiles) {
    ViewerArgs parsed = ParseViewerArgs({"--help"}, 2);
    EXPECT_TRUE(parsed.Ok());
    EXPECT_TRUE(parsed.helpRequested);
    EXPECT_EQ(UsageText("Windiff", {"FILE1", "FILE2"}), "Usage: Windiff FILE1 FILE2 [--screenshot OUT.png]");
}

}  // namespace
}  // namespace qvr::viewers
