#include "tools/quorvan/repo_path.h"

#include <gtest/gtest.h>

namespace qvr::quorvan {
namespace {

TEST(RepoPath, NormalizeGivesOneLeadingBackslashAndNoEmptyParts) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"", "\\"},           {"\\", "\\"},           {"\\\\a.txt", "\\a.txt"},
        {"src\\lib", "\\src\\lib"}, {"\\src\\\\lib\\", "\\src\\lib"}, {"\\a b\\c;d", "\\a b\\c;d"},
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeRepoPath(c.in), c.out) << c.in;
}

TEST(RepoPath, ViewMembership) {
    EXPECT_TRUE(IsInView("\\", "\\", false));
    EXPECT_FALSE(IsInView("\\src", "\\", false));
    EXPECT_TRUE(IsInView("\\src\\lib", "\\", true));
    EXPECT_TRUE(IsInView("\\src\\lib", "\\src", true));
    EXPECT_FALSE(IsInView("\\srcx", "\\src", true));  // a sibling that shares the prefix
}

TEST(RepoPath, LocalPartsRefuseNamesThatLeaveTheClientPath) {
    EXPECT_EQ(LocalParts("\\src\\a.c", "\\"), (std::vector<std::string>{"src", "a.c"}));
    EXPECT_EQ(LocalParts("\\src\\a.c", "\\src"), (std::vector<std::string>{"a.c"}));
    EXPECT_FALSE(LocalParts("\\..\\etc\\passwd", "\\"));
    EXPECT_FALSE(LocalParts("\\src\\.", "\\"));
    EXPECT_FALSE(LocalParts("\\a/b\\c", "\\"));
    EXPECT_FALSE(LocalParts("\\other\\a.c", "\\src"));
}

TEST(RepoPath, WildcardFollowsWindowsRules) {
    const struct {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*", "Makefile", true},    {"*.*", "Makefile", true}, {"*.c", "MAIN.C", true},
        {"*.c", "main.cpp", false}, {"a?c", "abc", true},      {"a?c", "ac", false},
        {"*lib*", "mylibrary.h", true}, {"x*y", "xay", true},  {"x*y", "xya", false},
    };
    for (const auto& c : cases) EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(RepoPath, ListingDateHasTheFixedShape) {
    std::string text = FormatListingDate(1700000000);
    ASSERT_EQ(text.size(), 19u);
    EXPECT_EQ(text[2], '/');
    EXPECT_EQ(text[5], '/');
    EXPECT_EQ(text[10], ' ');
    EXPECT_EQ(text[13], ':');
    EXPECT_EQ(text.substr(6, 4), "2023");
}

}  // namespace
}  // namespace qvr::quorvan
