// The run's safety checks on real folders: which temp folders another user
// could tamper with, folders inside each other, and the run lock.

#include "app/run_safety.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr::testing {
namespace {

namespace fs = std::filesystem;

TEST(RunSafety, PathIsWithinGoesByWholeFolderNames) {
    struct Case {
        const char* inner;
        const char* outer;
        bool within;
    };
    const Case cases[] = {
        {"/a/b", "/a/b", true},   {"/a/b/c", "/a/b", true}, {"/a/b", "/a/b/", true},
        {"/a/bc", "/a/b", false}, {"/a", "/a/b", false},    {"/x/a/b", "/a/b", false},
    };
    for (const Case& c : cases) EXPECT_EQ(PathIsWithin(c.inner, c.outer), c.within) << c.inner << " in " << c.outer;
}

// Folders are made below a sticky shared folder of the test's own, as /tmp
// is; "other" folders belong to a second, unprivileged user.
TEST(RunSafety, FoldersOthersOwnOrMayWriteToAreFound) {
    QVR_SKIP_ON_WINDOWS("owners and modes");
    TempDir dir;
    const fs::path shared = dir / "shared";
    struct Case {
        const char* what;
        bool needsSecondUser;
        std::function<void()> make;
        std::string expected;  // relative to shared, empty: safe
    };
    const auto mode = [&](const char* rel, fs::perms perms) {
        fs::create_directories(shared / rel);
        fs::permissions(shared / rel, perms);
    };
    const Case cases[] = {
        {"own folder", false, [&] { mode("t", fs::perms::owner_all); }, ""},
        {"group may write", false, [&] { mode("t", fs::perms::owner_all | fs::perms::group_write); }, "t"},
        {"everyone may write", false, [&] { mode("t", fs::perms::all); }, "t"},
        {"own folder below an own one", false, [&] { mode("a/t", fs::perms::owner_all); }, ""},
        {"writable folder on the way", false,
         [&] {
             mode("a/t", fs::perms::owner_all);
             fs::permissions(shared / "a", fs::perms::all);
         },
         "a"},
        {"another user's temp folder", true,
         [&] {
             mode("t", fs::perms::owner_all);
             GiveTreeToUnprivileged((shared / "t").string());
         },
         "t"},
        {"another user's folder on the way", true,
         [&] {
             mode("a", fs::perms::owner_all | fs::perms::others_exec);
             GiveTreeToUnprivileged((shared / "a").string());
             mode("a/t", fs::perms::owner_all);
         },
         "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsSecondUser && !RunsAsSuperuser()) continue;  // only the superuser can give folders away
        fs::remove_all(shared);
        fs::create_directory(shared);
        fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
        c.make();
        const std::string temp = (shared / (fs::exists(shared / "a") ? "a/t" : "t")).string();
        EXPECT_EQ(FolderOthersControl(temp), c.expected.empty() ? "" : (shared / c.expected).string());
    }
}

// A second user plants a link to the working copy in a shared folder: the
// temp folder it names resolves into the working copy.
TEST(RunSafety, TempFolderPlantedAsALinkResolvesToWhereItLeads) {
    QVR_SKIP_ON_WINDOWS("links planted by another user");
    TempDir dir;
    // The second user must reach the shared folder whatever umask made ours.
    fs::permissions(dir.Path(), fs::perms::others_exec, fs::perm_options::add);
    fs::create_directories(dir / "work" / "src");
    fs::create_directory(dir / "shared");
    fs::permissions(dir / "shared", fs::perms::all | fs::perms::sticky_bit);
    const std::string link = (dir / "shared" / "qvrtemp").string();
    const std::string target = (dir / "work" / "src").string();
    const auto planted = RunUnprivileged([&] {
        std::error_code ec;
        fs::create_directory_symlink(target, link, ec);
        return ec ? ec.message() : std::string("planted");
    });
    ASSERT_EQ(planted.value_or("no child"), "planted");
    std::string resolved;
    int error = 0;
    ASSERT_TRUE(ResolveFolder(link, resolved, error));
    EXPECT_EQ(resolved, target);
    EXPECT_TRUE(PathIsWithin(resolved, (dir / "work").string()));
}

TEST(RunSafety, RunLockIsExclusiveAndDiesWithItsHolder) {
    TempDir dir;
    RunLock first;
    RunLock second;
    EXPECT_EQ(first.Take(dir.Str()), RunLock::Outcome::Taken);
    EXPECT_EQ(second.Take(dir.Str()), RunLock::Outcome::HeldElsewhere);
    EXPECT_TRUE(RunLock::HeldByAnother(dir.Str()));
    first.Release();
    EXPECT_FALSE(RunLock::HeldByAnother(dir.Str()));
    EXPECT_EQ(RunLock().Take((dir / "missing").string()), RunLock::Outcome::NotPossible);
}

}  // namespace
}  // namespace qvr::testing
