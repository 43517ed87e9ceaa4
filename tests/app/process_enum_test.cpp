#include "app/process_enum.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/platform.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

std::string OwnModuleName() { return testing::OwnExecutableName(); }

int OwnProcessId() { return static_cast<int>(testing::OwnProcessId()); }

std::string Upper(std::string text) { return platform::UpperAscii(text); }

TEST(CProcessEnum, WalksOverThisProcessWithItsModuleName) {
    CProcessEnum processes;
    ASSERT_EQ(processes.TakeSnapshot(), 0u);
    bool seenSelf = false;
    std::set<int> ids;
    for (int found = processes.First(); found; found = processes.Next()) {
        EXPECT_FALSE(processes.ModuleName().empty());
        EXPECT_TRUE(ids.insert(processes.ProcessId()).second) << "each process once";
        if (processes.ProcessId() == OwnProcessId()) {
            seenSelf = true;
            EXPECT_EQ(processes.ModuleName(), OwnModuleName());
            EXPECT_EQ(processes.ModuleProcessId(), OwnProcessId());
        }
    }
    EXPECT_TRUE(seenSelf);
    EXPECT_EQ(processes.Next(), 0) << "the walk stays at its end";
}

TEST(ErrorCodeFromErrorNumber, WrapsPositiveNumbers) {
    EXPECT_EQ(ErrorCodeFromErrorNumber(5), 0x80070005u);
    EXPECT_EQ(ErrorCodeFromErrorNumber(0x12345), 0x80072345u);
    EXPECT_EQ(ErrorCodeFromErrorNumber(0), 0u);
    EXPECT_EQ(ErrorCodeFromErrorNumber(-2), static_cast<std::uint32_t>(-2));
}

TEST(FindProcessByName, FindsAProcessByPrefixIgnoringCase) {
    std::string own = OwnModuleName();
    for (std::string prefix : {own, Upper(own), own.substr(0, 3)}) {
        int id = FindProcessByName(prefix);
        ASSERT_GT(id, 0) << prefix;
        std::string name;
        ASSERT_TRUE(platform::ReadModuleName(id, name));
        EXPECT_EQ(Upper(name.substr(0, prefix.size())), Upper(prefix));
    }
}

TEST(FindProcessByName, UnknownPrefixGivesMinusOne) {
    EXPECT_EQ(FindProcessByName("NoSuchProgramQvr-7f3a"), -1);
    // A prefix longer than every name matches none.
    EXPECT_EQ(FindProcessByName(OwnModuleName() + "-and-more-qvr"), -1);
}

TEST(TerminateProcessByName, EndsThisProcessWithStatusMinusOneAfterRestoringTheDirectory) {
    testing::TempDir dir;
    std::filesystem::path before = std::filesystem::current_path();
    std::vector<int> statuses;
    std::filesystem::path dirWhenEnded;
    int result = TerminateProcessByName(Upper(OwnModuleName()), dir.Str(), [&](int status) {
        statuses.push_back(status);
        dirWhenEnded = std::filesystem::current_path();
    });
    std::filesystem::current_path(before);
    EXPECT_EQ(result, 32);
    EXPECT_EQ(statuses, std::vector<int>{-1});
    EXPECT_EQ(dirWhenEnded, std::filesystem::canonical(dir.Path()));
}

TEST(TerminateProcessByName, LeavesOtherProcessesAlone) {
    // A child whose name matches the prefix is another program: it keeps running.
    const std::uint32_t child = testing::StartSleepProgram(30);
    if (child == 0) GTEST_SKIP() << "no \"sleep\" program to start here";

    for (std::string prefix : {std::string("NoSuchProgramQvr-7f3a"), std::string("SLEEP")}) {
        int calls = 0;
        EXPECT_EQ(TerminateProcessByName(prefix, "", [&](int) { ++calls; }), -1) << prefix;
        EXPECT_EQ(calls, 0);
    }
    EXPECT_EQ(FindProcessByName("SLEEP") > 0, true);
    EXPECT_TRUE(testing::IsProcessRunning(child)) << "the other process still runs";
    testing::EndSleepProgram(child);
}

TEST(TerminateProcessByName, ReallyEndsTheProcessWithStatus255) {
    // Status -1: POSIX keeps its low byte, Windows the whole number.
    const int expected = testing::kOnWindows ? -1 : 255;
    EXPECT_EXIT(TerminateProcessByName(OwnModuleName(), ""), ::testing::ExitedWithCode(expected), "");
}

}  // namespace
}  // namespace qvr
