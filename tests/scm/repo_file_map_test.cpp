#include "scm/repo_file_map.h"

#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>
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
    // Taken from the front, the records come in the same order.
    keys.clear();
    for (; map.GetCount() > 0; map.RemoveFirst()) keys.emplace_back(map.FirstFields().Field(0));
    EXPECT_EQ(keys, (std::vector<std::string>{"1", "2", "3", "9", "x", "10", "11", "100"}));
    EXPECT_EQ(map.FirstFields().Field(0), "");
}

TEST(CMapStrToFObjTest, HoldsTwoHundredThousandRecords) {
    CMapStrToFObj map;
    RepoFileRecord record = Record("file_with_a_longer_name.cpp");
    for (int i = 1; i <= 200000; ++i) map.SetAt(std::to_string(i), record);
    EXPECT_EQ(map.GetCount(), 200000);
    RepoFileRecord out;
    EXPECT_TRUE(map.Lookup("199999", out));
    EXPECT_FALSE(map.Lookup("200001", out));
    // Handed over from the front, the rest stays readable.
    for (int i = 1; i <= 150000; ++i) map.RemoveFirst();
    EXPECT_EQ(map.FirstFields().ToRecord(), record);
    EXPECT_TRUE(map.Lookup("200000", out));
    EXPECT_FALSE(map.Lookup("150000", out));
}

// A map filled elsewhere joins this one whole: taken over when its keys come
// later, its records placed one by one when they do not.
TEST(CMapStrToFObjTest, AppendAllKeepsTheVisitingOrder) {
    struct Case {
        const char* name;
        std::vector<int> first;
        std::vector<int> later;
    };
    const Case cases[] = {
        {"later keys", {1, 2, 3}, {4, 5, 10}},
        {"into an empty map", {}, {7, 8}},
        {"nothing to add", {1}, {}},
        {"keys between and equal", {1, 5, 9}, {2, 5, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMapStrToFObj map;
        CMapStrToFObj later;
        std::map<int, std::string> expected;
        for (int key : c.first) map.SetAt(std::to_string(key), Record("first" + std::to_string(key)));
        for (int key : c.first) expected[key] = "first" + std::to_string(key);
        for (int key : c.later) later.SetAt(std::to_string(key), Record("later" + std::to_string(key)));
        for (int key : c.later) expected[key] = "later" + std::to_string(key);
        map.AppendAll(std::move(later));
        EXPECT_EQ(later.GetCount(), 0);
        ASSERT_EQ(map.GetCount(), static_cast<int>(expected.size()));
        // Given back from the front as posting does, every record whole.
        for (const auto& [key, file] : expected) {
            EXPECT_EQ(map.FirstFields().ToRecord(), Record(file));
            map.RemoveFirst();
        }
    }
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

// Replacing and removing many records leaves their old texts behind until
// the map packs the live ones again; every key and field must come through.
TEST(CMapStrToFObjTest, RecordsSurviveReplacementsAndRemovals) {
    CMapStrToFObj map;
    std::map<int, RepoFileRecord> expected;
    auto record = [](int key, int round) {
        RepoFileRecord r = Record("file_" + std::to_string(key) + "_" + std::to_string(round) + ".cpp");
        r.Status = std::string(static_cast<std::size_t>(50 + (key + round) % 200), 's');
        // A few records too long for two-byte field ends.
        if (key % 500 == 3) r.Tag = std::string(70000 + static_cast<std::size_t>(round), 't');
        return r;
    };
    for (int key = 1; key <= 3000; ++key) {
        map.SetAt(std::to_string(key), record(key, 0));
        expected[key] = record(key, 0);
    }
    for (int round = 1; round <= 8; ++round) {
        for (int key = round; key <= 3000; key += 2) {
            map.SetAt(std::to_string(key), record(key, round));
            expected[key] = record(key, round);
        }
        for (int key = 7 * round; key <= 3000; key += 97) {
            EXPECT_EQ(map.RemoveKey(std::to_string(key)), expected.erase(key) == 1) << key;
        }
        // A record set from its own fields while others move about.
        auto pos = map.GetStartPosition();
        const RepoFileFields first = map.GetNextFields(pos);
        const std::string_view own[] = {first.Field(10), first.Field(0)};
        RepoFileRecord swapped;
        swapped.File = std::string(own[0]);
        swapped.Path = std::string(own[1]);
        const int firstKey = expected.begin()->first;
        map.SetAt(std::to_string(firstKey), own);
        expected[firstKey] = swapped;
    }
    ASSERT_EQ(map.GetCount(), static_cast<int>(expected.size()));
    auto pos = map.GetStartPosition();
    for (const auto& [key, want] : expected) {
        std::string gotKey;
        RepoFileRecord got;
        ASSERT_TRUE(pos);
        map.GetNextAssoc(pos, gotKey, got);
        ASSERT_EQ(gotKey, std::to_string(key));
        ASSERT_EQ(got, want) << key;
    }
    EXPECT_FALSE(pos);
    map.RemoveAll();
    EXPECT_EQ(map.GetCount(), 0);
    map.SetAt("1", Record("again.c"));
    RepoFileRecord out;
    ASSERT_TRUE(map.Lookup("1", out));
    EXPECT_EQ(out, Record("again.c"));
}

}  // namespace
}  // namespace qvr::testing
