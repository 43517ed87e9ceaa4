// The progress line: only on a terminal, at most ten drawings a second, and
// never mixed into a line of text.

#include "cli/cli_console.h"

#include <gtest/gtest.h>

#include <sstream>

namespace qvr::cli {
namespace {

using namespace std::chrono_literals;

class CliConsoleTest : public ::testing::Test {
protected:
    CliConsole::Clock::time_point At(std::chrono::milliseconds offset) { return m_start + offset; }

    std::ostringstream m_err;
    int m_files = 0;
    CliConsole::Clock::time_point m_start = CliConsole::Clock::now();
};

TEST_F(CliConsoleTest, NothingIsDrawnWhenStandardErrorIsNoTerminal) {
    CliConsole console(m_err, false);
    console.SetProgressSource([&] { return "files " + std::to_string(++m_files); });
    console.Tick();
    console.Redraw(At(0ms));
    console.PrintLine("QvrCompare status: Ready");
    console.Finish();
    EXPECT_EQ(m_err.str(), "QvrCompare status: Ready\n");
    EXPECT_EQ(m_files, 0);
}

TEST_F(CliConsoleTest, RedrawsAtMostEveryTenthOfASecond) {
    CliConsole console(m_err, true);
    console.SetProgressSource([&] { return "files " + std::to_string(++m_files); });
    console.Tick(At(0ms));
    console.Tick(At(50ms));
    console.Tick(At(99ms));
    console.Tick(At(100ms));
    EXPECT_EQ(m_files, 2);
    EXPECT_EQ(m_err.str(), "\r\x1b[Kfiles 1\r\x1b[Kfiles 2");
}

TEST_F(CliConsoleTest, UnchangedProgressIsNotRewritten) {
    CliConsole console(m_err, true);
    console.SetProgressSource([] { return std::string("rows listed 7"); });
    console.Tick(At(0ms));
    console.Tick(At(200ms));
    EXPECT_EQ(m_err.str(), "\r\x1b[Krows listed 7");
}

TEST_F(CliConsoleTest, ALineClearsTheProgressWhichComesBackOnTheNextTick) {
    CliConsole console(m_err, true);
    console.SetProgressSource([&] { return "files " + std::to_string(m_files); });
    console.Tick(At(0ms));
    console.PrintLine("QvrCompare: Error");
    console.Tick(At(1ms));
    console.Finish();
    console.Tick(At(500ms));
    EXPECT_EQ(m_err.str(), "\r\x1b[Kfiles 0\r\x1b[KQvrCompare: Error\n\r\x1b[Kfiles 0\r\x1b[K");
}

TEST_F(CliConsoleTest, ATerminalThatCannotEraseGetsSpacesInsteadOfEscapes) {
    CliConsole console(m_err, true, false);
    console.SetProgressSource([&] { return m_files++ == 0 ? std::string("files 100") : std::string("files 9"); });
    console.Tick(At(0ms));
    console.Tick(At(100ms));
    console.PrintLine("done");
    EXPECT_EQ(m_err.str(), "\rfiles 100\r         \rfiles 9\r       \rdone\n");
}

}  // namespace
}  // namespace qvr::cli
