#include "scm/repo_file_map.h"

#include <gtest/gtest.h>

#include <span>
#include <string_view>
#include <vector>

namespace qvr::testing {
namespace {

RepoFileRecord Record(const std::string& file) {
    RepoFileRecord record;
    record.File = file;
    record.Path = "\\src\\" + file;
    record.Version = "3";
    return record;
}

TEST(CMapStrToFObjTest, OwnsCopiesByKey) {
    CMapStrToFObj map;
    EXPECT_FALSE(map.GetStartPosition());
    EXPECT_TRUE(map.SetAt("1", Record("a.c")));
    EXPECT_TRUE(map.SetAt("2", Record("b.c")));
    EXPECT_TRUE(map.SetAt("1", Record("c.c")));  // replaces
    EXPECT_EQ(map.GetCount(), 2);

    RepoFileRecord out;
    ASSERT_TRUE(map.Lookup("1", out));
    EXPECT_EQ(out, Record("c.c"));
    out.File = "changed";
    ASSERT_TRUE(map.Lookup("1", out));
    EXPECT_EQ(out.File, "c.c");
    EXPECT_FALSE(map.Lookup("3", out));
    EXPECT_EQ(out.File, "c.c");  // untouched when absent

    EXPECT_TRUE(map.RemoveKey("2"));
    EXPECT_FALSE(map.RemoveKey("2"));
    EXPECT_EQ(map.GetCount(), 1);
    map.RemoveAll();
    EXPECT_EQ(map.GetCount(), 0);
    EXPECT_FALSE(map.GetStartPosition());
}

TEST(CMapStrToFObjTest, VisitsEveryEntryOnceInSequenceOrder) {
    CMapStrToFObj map;
    for (int i : {10, 2, 1, 11, 3, 100, 9}) map.SetAt(std::to_string(i), Record(std::to_string(i)));
    map.SetAt("x", Record("x"));
    std::vector<std::string> keys;
    auto pos = map.GetStartPosition();
    while (pos) {
        std::string key;
        RepoFileRecord record;
        map.GetNextAssoc(pos, key, record);
        EXPECT_EQ(record.File, key);
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"1", "2", "3", "9", "x", "10", "11", "100"}));
}

TEST(CMapStrToFObjTest, HoldsTwoHundredThousandRecords) {
    CMapStrToFObj map;
    RepoFileRecord record = Record("file_with_a_longer_name.cpp");
    for (int i = 1; i <= 200000; ++i) map.SetAt(std::to_string(i), record);
    EXPECT_EQ(map.GetCount(), 200000);
    RepoFileRecord out;
    EXPECT_TRUE(map.Lookup("199999", out));
    EXPECT_FALSE(map.Lookup("200001", out));
}

TEST(CMapStrToFObjTest, FieldTextsGoInColumnOrderAndReadBackAsViewsOrCopies) {
    CMapStrToFObj map;
    const std::string_view some[] = {"a.c", "\\src", "", "TAG"};
    std::vector<std::string_view> tooMany(13, "x");
    tooMany[10] = "eleventh";
    map.SetAt("1", some);
    map.SetAt("2", tooMany);
    map.SetAt("1", std::span<const std::string_view>(some, 2));  // replaces all fields

    auto pos = map.GetStartPosition();
    const RepoFileFields first = map.GetNextFields(pos);
    const RepoFileFields second = map.GetNextFields(pos);
    EXPECT_FALSE(pos);
    EXPECT_EQ(first.Field(0), "a.c");
    EXPECT_EQ(first.Field(1), "\\src");
    EXPECT_EQ(first.Field(3), "") << "the replacement had two fields";
    EXPECT_EQ(second.Field(10), "eleventh");
    EXPECT_EQ(second.Field(11), "") << "there are eleven fields";
    EXPECT_EQ(second.Field(-1), "");
    EXPECT_EQ(RepoFileFields().Field(0), "");

    RepoFileRecord out;
    ASSERT_TRUE(map.Lookup("2", out));
    EXPECT_EQ(out, second.ToRecord());
    EXPECT_EQ(out.Status, "eleventh");
    EXPECT_EQ(out.File, "x");

    // A record set again from its own fields keeps them.
    const std::string_view own[] = {second.Field(10), second.Field(0)};
    map.SetAt("2", own);
    ASSERT_TRUE(map.Lookup("2", out));
    EXPECT_EQ(out.File, "eleventh");
    EXPECT_EQ(out.Path, "x");
}

}  // namespace
}  // namespace qvr::testing
