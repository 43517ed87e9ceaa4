#include "app/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "app/platform.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

using testing::ReadFile;
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

// Start-up in a real Windows process: the child program is started with
// exactly the command line of each case (its first word need not name it),
// reads it through GetCommandLineA and writes down the local path it took.
TEST(StartupCommandLine, WindowsRuleOverTheRealProcessCommandLine) {
    QVR_SKIP_UNLESS_WINDOWS();
    const std::string child = platform::JoinPath(testing::OwnExecutableDirectory(), "startup_child.exe");
    struct Case {
        const char* commandLine;
        const char* expected;
    };
    const Case cases[] = {
        // A quoted program path and a quoted folder in capitals.
        {"\"C:\\Program Files\\QvrCompare\\QvrCompare.exe\" \"D:\\WORK\\SRC\"", "d:\\work\\src"},
        // A folder, a comma and a further word.
        {"C:\\QvrCompare\\QvrCompare.exe C:\\Work\\Src,extra", "c:\\work\\src"},
        {"C:\\QvrCompare\\QvrCompare.exe   C:\\Src;more words", "c:\\src"},
        {"QVRCOMPARE.EXE ,;  First second", "first"},
        // No arguments: the stored local path stays in force.
        {"\"C:\\QvrCompare\\QvrCompare.exe\"", ""},
        {"\"C:\\QvrCompare\\QvrCompare.exe\"   ", ""},
        // Started by its bare name: the name is skipped, "FILE=" cuts the line.
        {"QvrCompare D:\\Src", "d:\\src"},
        {"\"C:\\My Tools\\QvrCompare\" \"D:\\My Src\" x", "d:\\my"},
        {"QvrCompare C:\\A FILE=D:\\Src", "c:\\a"},
        {"QvrCompare FILE=D:\\Src", ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        testing::SetEnvironmentValue("QVR_STARTUP_CHILD_DIR", dir.Str().c_str());
        ASSERT_EQ(testing::RunWithCommandLine(child, c.commandLine), 0) << c.commandLine;
        EXPECT_EQ(ReadFile(dir / "local_path.txt"), c.expected) << c.commandLine;
    }
    testing::SetEnvironmentValue("QVR_STARTUP_CHILD_DIR", nullptr);
}

// The same child's trace, read back byte for byte: text mode puts CR LF at
// every line end, including the one inside a message, and the numbers stay
// the physical line numbers.
TEST(StartupCommandLine, WindowsTraceHasCrLfLineEndsAndPhysicalNumbers) {
    QVR_SKIP_UNLESS_WINDOWS();
    const std::string child = platform::JoinPath(testing::OwnExecutableDirectory(), "startup_child.exe");
    TempDir dir;
    testing::SetEnvironmentValue("QVR_STARTUP_CHILD_DIR", dir.Str().c_str());
    ASSERT_EQ(testing::RunWithCommandLine(child, "QvrCompare.exe D:\\Src"), 0);
    testing::SetEnvironmentValue("QVR_STARTUP_CHILD_DIR", nullptr);

    const std::string trace = ReadFile(dir / "QvrCompare.trc");
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < trace.size();) {
        const std::size_t end = trace.find("\r\n", begin);
        ASSERT_NE(end, std::string::npos) << "unterminated last line";
        lines.push_back(trace.substr(begin, end - begin));
        begin = end + 2;
    }
    ASSERT_EQ(lines.size(), 4u) << trace;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find('\n'), std::string::npos) << "a lone LF in: " << line;
        EXPECT_EQ(line.find('\r'), std::string::npos) << "a lone CR in: " << line;
    }
    const std::string stamp = " \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d ";
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("1" + stamp + "QvrCompare 1\\.05"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("2" + stamp + "main window: two"))) << lines[1];
    EXPECT_EQ(lines[2], "three");
    EXPECT_TRUE(std::regex_match(lines[3], std::regex("4" + stamp + "main window: four"))) << lines[3];
}

}  // namespace
}  // namespace qvr
