#include "app/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace qvr {
namespace {

using testing::TempDir;

TEST(ParseWindowsCommandLine, TextAfterExeLowerCasedFirstWord) {
    struct Case {
        const char* commandLine;
        const char* expected;
    };
    const Case cases[] = {
        {"\"C:\\Program Files\\QvrCompare.exe\" \"D:\\WORK\\SRC\"", "d:\\work\\src"},
        {"C:\\QvrCompare\\QvrCompare.exe C:\\Work\\Src,extra", "c:\\work\\src"},
        {"C:\\QvrCompare\\QvrCompare.exe   C:\\Src;more words", "c:\\src"},
        {"QvrCompare.EXE ,;  first second", "first"},
        {"\"C:\\QvrCompare\\QvrCompare.exe\"", ""},
        {"\"C:\\QvrCompare\\QvrCompare.exe\"   ", ""},
        // Without ".exe" the program's own name is skipped.
        {"QvrCompare D:\\Src", "d:\\src"},
        {"\"C:\\My Tools\\QvrCompare\" \"D:\\Src\" x", "d:\\src"},
        {"QvrCompare FILE=D:\\Src", ""},
        {"QvrCompare C:\\A FILE=D:\\Src", "c:\\a"},
        {"QvrCompare", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseWindowsCommandLine(c.commandLine), c.expected) << c.commandLine;
    }
}

TEST(ParsePosixCommandLine, FirstArgumentCaseKept) {
    struct Case {
        std::vector<std::string> args;
        const char* expected;
    };
    const Case cases[] = {
        {{"/usr/bin/QvrCompare"}, ""},
        {{}, ""},
        {{"QvrCompare", "/Work/Src"}, "/Work/Src"},
        {{"QvrCompare", "/Work/Src,extra"}, "/Work/Src"},
        {{"QvrCompare", "/Work/Src;extra"}, "/Work/Src"},
        {{"QvrCompare", "/no such/dir"}, "/no"},
        {{"QvrCompare", "\"/Work/Src\""}, "/Work/Src"},
        {{"QvrCompare", "  /Lead "}, "/Lead"},
        {{"QvrCompare", ",;"}, ""},
        {{"QvrCompare", "/First", "/Second"}, "/First"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParsePosixCommandLine(c.args), c.expected)
            << (c.args.size() > 1 ? c.args[1] : "<none>");
    }
}

TEST(ParsePosixCommandLine, ExistingDirectoryIsTakenWhole) {
    TempDir dir;
    auto spaced = dir / "My Src, v2; Final";
    std::filesystem::create_directories(spaced);
    EXPECT_EQ(ParsePosixCommandLine({"QvrCompare", spaced.string()}), spaced.string());
    EXPECT_EQ(ParsePosixCommandLine({"QvrCompare", "\"" + spaced.string() + "\""}),
              spaced.string());
    // A file of that kind is no directory: the first word only.
    auto file = dir.Write("a file", "x");
    EXPECT_EQ(ParsePosixCommandLine({"QvrCompare", file.string()}), (dir / "a").string());
}

}  // namespace
}  // namespace qvr
