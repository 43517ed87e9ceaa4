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

TEST(ReadIniValue, FileEditedIntoNonsenseGivesTheDefaultOrTheKeysThatSurvive) {
    struct Case {
        const char* what;
        std::string text;
        std::string expected;  // INSTALLDIR in [Settings]
    };
    std::string binary(4096, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 37 % 256);
    const Case cases[] = {
        {"binary garbage", binary, "d"},
        {"unclosed section", "[Settings\nINSTALLDIR=/x\n", "d"},
        {"key without equals", "[Settings]\nINSTALLDIR /x\n", "d"},
        {"empty key name", "[Settings]\n=/x\nINSTALLDIR=/y\n", "/y"},
        {"NUL inside the value", std::string("[Settings]\nINSTALLDIR=/a\0b\n", 27),
         std::string("/a\0b", 4)},
        {"megabyte line before the key", "[Settings]\n" + std::string(1 << 20, 'z') + "\nINSTALLDIR=/q\n",
         "/q"},
        {"garbage then a good section", binary + "\n[Settings]\nINSTALLDIR=/ok\n", "/ok"},
        {"lone quote", "[Settings]\nINSTALLDIR=\"\n", "\""},
        {"first of two keys", "[Settings]\nINSTALLDIR=/1\nINSTALLDIR=/2\n", "/1"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.Write("QvrCompare.ini", c.text).string();
        EXPECT_EQ(ReadIniValue(path, "Settings", "INSTALLDIR", "d"), c.expected) << c.what;
        // Writing into such a file keeps the file usable and the value readable.
        EXPECT_TRUE(WriteIniValue(path, "Settings", "INSTALLDIR", "/new")) << c.what;
        EXPECT_EQ(ReadIniValue(path, "Settings", "INSTALLDIR", "d"), "/new") << c.what;
    }
}

TEST(WriteIniValue, FailsInAMissingDirectory) {
    TempDir dir;
    EXPECT_FALSE(WriteIniValue((dir / "no" / "f.ini").string(), "A", "x", "1"));
}

}  // namespace
}  // namespace qvr
