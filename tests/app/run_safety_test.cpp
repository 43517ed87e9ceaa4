// The run's safety checks on real folders: which temp folders another user
// could tamper with, folders inside each other, and the run lock.

#include "app/run_safety.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr::testing {
namespace {

namespace fs = std::filesystem;

TEST(RunSafety, PathIsWithinGoesByWholeFolderNames) {
    EXPECT_TRUE(PathIsWithin("/a/b", "/a/b/"));
    EXPECT_TRUE(PathIsWithin("/a/b/c", "/a/b"));
    EXPECT_FALSE(PathIsWithin("/a/bc", "/a/b"));
    EXPECT_FALSE(PathIsWithin("/a", "/a/b"));
}

// Temp folders below a sticky shared folder of the test's own, as /tmp is;
// "nobody" is the second user that only the superuser can give folders to.
TEST(RunSafety, FoldersOthersOwnOrMayWriteToAreFound) {
    QVR_SKIP_ON_WINDOWS("owners and modes");
    TempDir dir;
    const fs::path shared = dir / "shared";
    struct Case {
        const char* what;
        fs::perms folderA;  // of shared/a, the temp folder's parent
        fs::perms temp;
        bool aForNobody;
        const char* expected;  // below shared; empty: safe
    };
    constexpr fs::perms kOwn = fs::perms::owner_all;
    const Case cases[] = {
        {"own folders", kOwn, kOwn, false, ""},
        {"group may write", kOwn, kOwn | fs::perms::group_write, false, "a/t"},
        {"everyone may write", kOwn, fs::perms::all, false, "a/t"},
        {"writable folder on the way", fs::perms::all, kOwn, false, "a"},
        {"another user's folder on the way", kOwn | fs::perms::others_exec, kOwn, true, "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.aForNobody && !RunsAsSuperuser()) continue;
        fs::remove_all(shared);
        fs::create_directories(shared / "a");
        fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
        fs::permissions(shared / "a", c.folderA);
        if (c.aForNobody) {
            ASSERT_TRUE(GiveTreeToUnprivileged((shared / "a").string()));
        }
        fs::create_directory(shared / "a" / "t");
        fs::permissions(shared / "a" / "t", c.temp);
        EXPECT_EQ(FolderOthersControl((shared / "a" / "t").string()),
                  *c.expected ? (shared / c.expected).string() : "");
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
    const auto planted = RunUnprivileged([&] {
        std::error_code ec;
        fs::create_directory_symlink(dir / "work" / "src", link, ec);
        return ec ? ec.message() : std::string("planted");
    });
    ASSERT_EQ(planted.value_or("no child"), "planted");
    std::string resolved;
    int error = 0;
    ASSERT_TRUE(ResolveFolder(link, resolved, error));
    EXPECT_TRUE(PathIsWithin(resolved, (dir / "work").string())) << resolved;
}

TEST(RunSafety, RunLockIsExclusiveUntilReleased) {
    TempDir dir;
    RunLock first;
    EXPECT_EQ(first.Take(dir.Str()), RunLock::Outcome::Taken);
    EXPECT_TRUE(RunLock::HeldByAnother(dir.Str()));
    first.Release();
    EXPECT_FALSE(RunLock::HeldByAnother(dir.Str()));
    EXPECT_EQ(RunLock().Take((dir / "missing").string()), RunLock::Outcome::NotPossible);
}

}  // namespace
}  // namespace qvr::testing
