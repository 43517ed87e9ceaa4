#include "app/ini_file.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace qvr {
namespace {

using testing::ReadFile;
using testing::TempDir;

TEST(ReadIniValue, FindsKeysInTheirSectionOnly) {
    TempDir dir;
    std::string path =
        dir.Write("a.ini", "; comment\n[One]\nKey=1\nOther = two words \n[Two]\nKey=2\n").string();
    EXPECT_EQ(ReadIniValue(path, "One", "Key", "d"), "1");
    EXPECT_EQ(ReadIniValue(path, "two", "KEY", "d"), "2");
    EXPECT_EQ(ReadIniValue(path, "One", "Other", "d"), "two words");
    EXPECT_EQ(ReadIniValue(path, "Two", "Other", "d"), "d");
    EXPECT_EQ(ReadIniValue(path, "Three", "Key", "d"), "d");
    EXPECT_EQ(ReadIniValue((dir / "missing.ini").string(), "One", "Key", "d"), "d");
}

TEST(WriteIniValue, ReplacesAddsAndKeepsEverythingElse) {
    struct Case {
        const char* before;  // nullptr: no file yet
        const char* section;
        const char* key;
        const char* after;
    };
    const Case cases[] = {
        {nullptr, "FSTATUS", "ReturnCode", "[FSTATUS]\nReturnCode=V\n"},
        {"", "FSTATUS", "ReturnCode", "[FSTATUS]\nReturnCode=V\n"},
        {"[FSTATUS]\nReturnCode=100\n", "FSTATUS", "ReturnCode", "[FSTATUS]\nReturnCode=V\n"},
        {"[fstatus]\n returncode = 100\n", "FSTATUS", "ReturnCode", "[fstatus]\nReturnCode=V\n"},
        {"[A]\nx=1\n\n[B]\ny=2\n", "A", "z", "[A]\nx=1\nz=V\n\n[B]\ny=2\n"},
        {"[A]\nx=1\n", "B", "y", "[A]\nx=1\n[B]\ny=V\n"},
        {"[A]\r\nx=1\r\n", "A", "y", "[A]\r\nx=1\r\ny=V\r\n"},
        {"[A]\r\nx=1\r\n", "A", "x", "[A]\r\nx=V\r\n"},
        {"[A]\nx=1", "A", "y", "[A]\nx=1\ny=V\n"},
        {"[A]\n; x=old\n", "A", "x", "[A]\nx=V\n; x=old\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string path = (dir / "f.ini").string();
        if (c.before) dir.Write("f.ini", c.before);
        EXPECT_TRUE(WriteIniValue(path, c.section, c.key, "V"));
        EXPECT_EQ(ReadFile(path), c.after) << (c.before ? c.before : "<no file>");
        EXPECT_EQ(ReadIniValue(path, c.section, c.key, "d"), "V");
        EXPECT_FALSE(std::filesystem::exists(path + ".new"));
    }
}

TEST(WriteIniValue, FailsInAMissingDirectory) {
    TempDir dir;
    EXPECT_FALSE(WriteIniValue((dir / "no" / "f.ini").string(), "A", "x", "1"));
}

}  // namespace
}  // namespace qvr
