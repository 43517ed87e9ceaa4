#include "app/trace.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "app/windows_api.h"
#endif

#include <cstdlib>
#include <regex>
#include <vector>

#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::TextLines;

TEST(TraceLog, LineFormatIsNumberDateTimeMessage) {
    TempDir dir;
    TraceLog trace((dir / "QvrCompare.trc").string());
    EXPECT_EQ(trace.WriteTraceLine("QvrCompare 1.05"), 1);
    auto lines = TextLines(ReadFile(dir / "QvrCompare.trc"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(R"(1 \d\d/\d\d/\d{4} \d\d:\d\d:\d\d QvrCompare 1\.05)")))
        << lines[0];
}

TEST(TraceLog, NumbersAreThePhysicalLineNumbers) {
    TempDir dir;
    TraceLog trace((dir / "t.trc").string());
    trace.WriteTraceLine("one");
    trace.WriteTraceLine("two\nthree");  // occupies two lines
    trace.WriteTraceLine("four");
    auto lines = TextLines(ReadFile(dir / "t.trc"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 2), "1 ");
    EXPECT_EQ(lines[1].substr(0, 2), "2 ");
    EXPECT_EQ(lines[2], "three");
    EXPECT_EQ(lines[3].substr(0, 2), "4 ");
}

TEST(TraceLog, RecountsWhenAnotherWriterChangedTheFile) {
    TempDir dir;
    std::string path = (dir / "t.trc").string();
    TraceLog trace(path);
    trace.WriteTraceLine("mine");
    {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        std::fputs("foreign 1\nforeign 2\nforeign 3\n", f);
        std::fclose(f);
    }
    trace.WriteTraceLine("mine again");
    auto lines = TextLines(ReadFile(path));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4].substr(0, 2), "5 ");

    // A file replaced by a shorter one is recounted too.
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fputs("x\n", f);
        std::fclose(f);
    }
    trace.WriteTraceLine("after truncation");
    lines = TextLines(ReadFile(path));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, 2), "2 ");
}

TEST(TraceLog, CachedCountMatchesStatelessWriterForLongAndUnterminatedLines) {
    TempDir dir;
    std::string cached = (dir / "a.trc").string();
    std::string fresh = (dir / "b.trc").string();
    // Start both files with an unterminated foreign line.
    for (const auto& p : {cached, fresh}) {
        std::FILE* f = std::fopen(p.c_str(), "wb");
        std::fputs("partial line without end", f);
        std::fclose(f);
    }
    TraceLog trace(cached);
    const std::vector<std::string> messages = {
        "short", std::string(16424, 'x'), std::string(20000, 'y') + "\n" + std::string(40000, 'z'),
        "a\n\nb", ""};
    for (const auto& m : messages) {
        EXPECT_EQ(trace.WriteTraceLine(m.substr(0, kTraceMessageLimit)), 1);
        EXPECT_EQ(WriteTraceLine(fresh, m.substr(0, kTraceMessageLimit)), 1);
    }
    // Both files carry the same numbers; strip the time stamps to compare.
    auto strip = [](const std::string& text) {
        return std::regex_replace(text, std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)"), "T");
    };
    EXPECT_EQ(strip(ReadFile(cached)), strip(ReadFile(fresh)));
}

TEST(TraceLog, RefusalsAndSilentFailures) {
    TempDir dir;
    std::string path = (dir / "t.trc").string();
    TraceLog trace(path);
    EXPECT_EQ(trace.WriteTraceLine(std::string(16425, 'm')), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(trace.WriteTraceLine(std::string(16424, 'm')), 1);

    TraceLog noPath;
    EXPECT_EQ(noPath.WriteTraceLine("nothing"), 1);

    TraceLog missingDir((dir / "no" / "such" / "t.trc").string());
    EXPECT_EQ(missingDir.WriteTraceLine("lost"), 1);
}

#ifdef _WIN32
// What OutputDebugStringA handed over: without a debugger it is raised as an
// exception that a vectored handler sees before anything else.
std::string g_debuggerText;
LONG CALLBACK CollectDebuggerText(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    if (record.ExceptionCode == 0x40010006 /* DBG_PRINTEXCEPTION_C */ && record.NumberParameters >= 2) {
        g_debuggerText += reinterpret_cast<const char*>(record.ExceptionInformation[1]);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// Each trace line reaches a debugger, whatever the environment says.
TEST(TraceLog, EveryLineGoesToTheDebugger) {
    TempDir dir;
    TraceLog trace((dir / "t.trc").string());
    g_debuggerText.clear();
    PVOID handler = AddVectoredExceptionHandler(1, CollectDebuggerText);
    ASSERT_NE(handler, nullptr);
    trace.WriteTraceLine("seen by the debugger");
    RemoveVectoredExceptionHandler(handler);
    EXPECT_NE(g_debuggerText.find(" seen by the debugger\n"), std::string::npos) << g_debuggerText;
}
#else
// Standard error stands in for the debugger, and only on request.
TEST(TraceLog, DebuggerOutputIsStandardErrorOnRequest) {
    TempDir dir;
    TraceLog trace((dir / "t.trc").string());
    const char* old = std::getenv("QVRCOMPARE_DEBUG");
    const std::string kept = old ? old : "";
    for (bool requested : {false, true}) {
        if (requested) {
            ::setenv("QVRCOMPARE_DEBUG", "1", 1);
        } else {
            ::unsetenv("QVRCOMPARE_DEBUG");
        }
        ::testing::internal::CaptureStderr();
        trace.WriteTraceLine(requested ? "asked for" : "not asked for");
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (requested) {
            EXPECT_NE(err.find(" asked for\n"), std::string::npos) << err;
            EXPECT_EQ(err, TextLines(ReadFile(dir / "t.trc")).back() + "\n");
        } else {
            EXPECT_EQ(err, "");
        }
    }
    if (old) {
        ::setenv("QVRCOMPARE_DEBUG", kept.c_str(), 1);
    } else {
        ::unsetenv("QVRCOMPARE_DEBUG");
    }
}
#endif

TEST(TraceLog, PercentSignsAreWrittenUnchanged) {
    TempDir dir;
    TraceLog trace((dir / "t.trc").string());
    trace.WriteTraceLine("100%s done %d %n");
    trace.Trace("%s", "50% of %x");
    auto lines = TextLines(ReadFile(dir / "t.trc"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" 100%s done %d %n"), std::string::npos);
    EXPECT_NE(lines[1].find(" 50% of %x"), std::string::npos);
}

TEST(TraceLog, RestartDeletesThePreviousRun) {
    TempDir dir;
    TraceLog trace((dir / "t.trc").string());
    trace.WriteTraceLine("old run");
    trace.WriteTraceLine("old run");
    trace.Restart();
    trace.WriteTraceLine("QvrCompare 1.05");
    auto lines = TextLines(ReadFile(dir / "t.trc"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 2), "1 ");
}

// Written in the platform's text mode: every line end, the ones inside a
// message too, is CR LF on Windows and LF elsewhere; a line another writer
// ended with LF alone still counts as one line.
TEST(TraceLog, LineEndsAreThePlatformsTextMode) {
    const std::string end = testing::kOnWindows ? "\r\n" : "\n";
    struct Case {
        const char* name;
        std::string foreign;  // written before the trace's own lines, in binary
        std::vector<std::string> expectedStarts;
    };
    const Case cases[] = {
        {"fresh file", "", {"1 ", "2 ", "three", "4 "}},
        {"after LF lines", "a\nb\n", {"a", "b", "3 ", "4 ", "three", "6 "}},
        {"after CR LF lines", "a\r\nb\r\n", {"a", "b", "3 ", "4 ", "three", "6 "}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = (dir / "t.trc").string();
        if (!c.foreign.empty()) dir.Write("t.trc", c.foreign);
        for (int stateless = 0; stateless < 2; ++stateless) {
            if (stateless) {
                std::filesystem::remove(path);
                if (!c.foreign.empty()) dir.Write("t.trc", c.foreign);
            }
            TraceLog trace(path);
            for (const char* message : {"one", "two\nthree", "four"}) {
                if (stateless) {
                    WriteTraceLine(path, message);
                } else {
                    trace.WriteTraceLine(message);
                }
            }
            const std::string text = ReadFile(path).substr(c.foreign.size());
            const std::size_t ownLines = 4;
            ASSERT_GE(c.expectedStarts.size(), ownLines) << c.name;
            std::size_t at = 0;
            for (std::size_t i = c.expectedStarts.size() - ownLines; i < c.expectedStarts.size(); ++i) {
                const std::size_t stop = text.find('\n', at);
                ASSERT_NE(stop, std::string::npos) << c.name << " line " << i + 1;
                const std::string line = text.substr(at, stop + 1 - at);
                EXPECT_EQ(line.rfind(c.expectedStarts[i], 0), 0u) << c.name << ": " << line;
                EXPECT_GE(line.size(), end.size()) << c.name;
                EXPECT_EQ(line.substr(line.size() - end.size()), end) << c.name << ": " << line;
                EXPECT_EQ(line.find('\r'), testing::kOnWindows ? line.size() - 2 : std::string::npos)
                    << c.name << ": " << line;
                at = stop + 1;
            }
            EXPECT_EQ(at, text.size()) << c.name;
        }
    }
}

}  // namespace
}  // namespace qvr
