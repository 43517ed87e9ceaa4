#include "app/process_enum.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "app/platform.h"
#include "support/temp_dir.h"

namespace qvr {
namespace {

std::string OwnModuleName() {
    return std::filesystem::read_symlink("/proc/self/exe").filename().string();
}

std::string Upper(std::string text) { return platform::UpperAscii(text); }

TEST(CProcessEnum, WalksOverThisProcessWithItsModuleName) {
    CProcessEnum processes;
    ASSERT_EQ(processes.TakeSnapshot(), 0u);
    bool seenSelf = false;
    std::set<int> ids;
    for (int found = processes.First(); found; found = processes.Next()) {
        EXPECT_FALSE(processes.ModuleName().empty());
        EXPECT_TRUE(ids.insert(processes.ProcessId()).second) << "each process once";
        if (processes.ProcessId() == ::getpid()) {
            seenSelf = true;
            EXPECT_EQ(processes.ModuleName(), OwnModuleName());
            EXPECT_EQ(processes.ModuleProcessId(), ::getpid());
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
    char sleepName[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleepName, seconds, nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);
    std::string childName;
    for (int i = 0; i < 200 && (!platform::ReadModuleName(child, childName) ||
                                childName.rfind("sleep", 0) != 0);
         ++i) {
        ::usleep(10000);  // until the child has become "sleep"
    }

    for (std::string prefix : {std::string("NoSuchProgramQvr-7f3a"), std::string("SLEEP")}) {
        int calls = 0;
        EXPECT_EQ(TerminateProcessByName(prefix, "", [&](int) { ++calls; }), -1) << prefix;
        EXPECT_EQ(calls, 0);
    }
    EXPECT_EQ(FindProcessByName("SLEEP") > 0, true);
    EXPECT_EQ(::kill(child, 0), 0) << "the other process still runs";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST(TerminateProcessByName, ReallyEndsTheProcessWithStatus255) {
    EXPECT_EXIT(TerminateProcessByName(OwnModuleName(), ""), ::testing::ExitedWithCode(255), "");
}

}  // namespace
}  // namespace qvr
