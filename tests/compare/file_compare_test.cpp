#include "compare/file_compare.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>

#include "compare/file_exception.h"
#include "platform_file_causes.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

using testing::kFolderCause;
using testing::kMissingFolderCause;
using testing::TempDir;

std::string Pattern(std::size_t size, int seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) & 0xFF);
    return bytes;
}

struct ContentCase {
    const char* what;
    std::string copy;
    std::string local;
    int expected;
};

TEST(FilesHaveSameChecksum, DecidesOnTheBytesThemselves) {
    const std::string big = Pattern(700 * 1024, 3);  // spans several read blocks
    std::string bigLastByte = big;
    bigLastByte.back() ^= 1;
    std::string bigSwapped = big;
    std::swap(bigSwapped[300 * 1024], bigSwapped[300 * 1024 + 1]);
    const ContentCase cases[] = {
        {"identical", "line one\nline two\n", "line one\nline two\n", 1},
        {"swapped lines (same byte sum)", "line one\nline two\n", "line two\nline one\n", 0},
        {"extra zero bytes", "text", std::string("text\0\0", 6), 0},
        {"both empty", "", "", 1},
        {"one empty", "", "x", 0},
        {"same size, other bytes", "abcd", "abce", 0},
        {"large identical", big, big, 1},
        {"large, last byte differs", big, bigLastByte, 0},
        {"large, two bytes swapped", big, bigSwapped, 0},
        {"large, copy one byte longer", big + "x", big, 0},
        {"one read block exactly", Pattern(256 * 1024, 5), Pattern(256 * 1024, 5), 1},
    };
    TempDir dir;
    for (const ContentCase& c : cases) {
        const auto copy = dir.Write("copy", c.copy);
        const auto local = dir.Write("local", c.local);
        EXPECT_EQ(FilesHaveSameChecksum(copy.string(), local.string()), c.expected) << c.what;
        // Read ahead, the local file's digest gives the same answer.
        LocalDigest digest;
        DigestLocalFile(local.string(), digest);
        FileStatus status;
        EXPECT_EQ(CopyMatchesDigest(copy.string(), local.string(), &digest, status), c.expected) << c.what;
        EXPECT_EQ(status.size, static_cast<std::int64_t>(c.local.size())) << c.what;
    }
    // A local file that cannot be read ahead is compared as before, which
    // names it.
    LocalDigest unread;
    DigestLocalFile((dir / "gone").string(), unread);
    EXPECT_FALSE(unread.Known());
    FileStatus status;
    try {
        CopyMatchesDigest(dir.Write("copy", "x").string(), (dir / "gone").string(), &unread, status);
        ADD_FAILURE() << "no error for a missing local file";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.FileName(), (dir / "gone").string());
    }
}

int CauseOf(const std::string& first, const std::string& second, std::string* name) {
    try {
        FilesHaveSameChecksum(first, second);
    } catch (const CFileException& e) {
        *name = e.FileName();
        return e.Cause();
    }
    return -1;
}

// An abandoned compare stops after its first block: equal large files are
// then not called the same, and small ones (read in one block) still are.
TEST(FilesHaveSameChecksum, AbandonedCompareStopsReading) {
    TempDir dir;
    struct Case {
        std::size_t size;
        bool abandoned;
        int expected;
    };
    const Case cases[] = {
        {1 << 20, false, 1},
        {1 << 20, true, 0},
        {1000, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + (c.abandoned ? " abandoned" : ""));
        const std::string body(c.size, 'q');
        const std::string copy = dir.Write("copy", body).string();
        const std::string local = dir.Write("local", body).string();
        const std::atomic<bool> abandon{c.abandoned};
        FileStatus status;
        EXPECT_EQ(FilesHaveSameChecksum(copy, local, status, nullptr, &abandon), c.expected);
        EXPECT_EQ(status.size, static_cast<std::int64_t>(c.size));
    }
}

TEST(FilesHaveSameChecksum, CopyIsOpenedFirstAndFailuresNameTheFile) {
    TempDir dir;
    const std::string present = dir.Write("present", "x").string();
    const std::string missingCopy = (dir / "copy-missing").string();
    const std::string missingLocal = (dir / "local-missing").string();
    std::string name;
    // Both missing: the copy is reported, the local file never touched.
    EXPECT_EQ(CauseOf(missingCopy, missingLocal, &name), CFileException::fileNotFound);
    EXPECT_EQ(name, missingCopy);
    EXPECT_EQ(CauseOf(present, missingLocal, &name), CFileException::fileNotFound);
    EXPECT_EQ(name, missingLocal);
    EXPECT_EQ(CauseOf(present + "/below", present, &name), CFileException::badPath);
    EXPECT_EQ(name, present + "/below");
    EXPECT_EQ(CauseOf(present, dir.Str(), &name), kFolderCause);
    EXPECT_EQ(name, dir.Str());
}

TEST(FilesHaveSameChecksum, UnreadableLocalFileIsAccessDenied) {
    if (testing::kOnWindows) GTEST_SKIP() << "Windows has no permission that hides a file from its owner";
    TempDir dir;
    const std::string copy = dir.Write("copy", "x").string();
    const std::string local = dir.Write("local", "x").string();
    ASSERT_TRUE(testing::GiveTreeToUnprivileged(dir.Str()));
    std::filesystem::permissions(local, std::filesystem::perms::none);
    // Permissions bind only an unprivileged process.
    const std::optional<std::string> seen = testing::RunUnprivileged([&] {
        std::string name;
        const int cause = CauseOf(copy, local, &name);
        return std::to_string(cause) + " " + name;
    });
    ASSERT_TRUE(seen.has_value()) << "the unprivileged child failed";
    EXPECT_EQ(*seen, std::to_string(CFileException::accessDenied) + " " + local);
}

TEST(FilesHaveSameChecksum, PipeIsRefusedInsteadOfWaitedOn) {
    TempDir dir;
    const std::string copy = dir.Write("copy", "").string();
    const std::string pipe = (dir / "pipe").string();
    if (testing::kOnWindows) GTEST_SKIP() << "Windows file systems hold no named pipes";
    ASSERT_TRUE(testing::MakeFifo(pipe));
    std::string name;
    EXPECT_EQ(CauseOf(copy, pipe, &name), CFileException::invalidFile);
    EXPECT_EQ(name, pipe);
}

TEST(FilesHaveSameChecksum, KeptFoldersGiveTheSameAnswersAndErrors) {
    TempDir dir;
    const std::string copy = dir.Write("copy/a.txt", "same").string();
    const std::string local = dir.Write("local/a.txt", "same").string();
    const std::string other = dir.Write("local/b.txt", "diff").string();
    DirectoryHandles folders;
    FileStatus status;
    EXPECT_EQ(FilesHaveSameChecksum(copy, local, status, &folders), 1);
    EXPECT_EQ(status.size, 4);
    EXPECT_EQ(FilesHaveSameChecksum(copy, other, status, &folders), 0);
    const struct {
        std::string first;
        std::string second;
        int cause;
        std::string named;
    } failures[] = {
        {(dir / "copy/none.txt").string(), local, CFileException::fileNotFound, (dir / "copy/none.txt").string()},
        {(dir / "nofolder/a.txt").string(), local, kMissingFolderCause, (dir / "nofolder/a.txt").string()},
        {copy + "/x", local, CFileException::badPath, copy + "/x"},
        {copy, (dir / "local").string() + "/", kFolderCause, (dir / "local").string() + "/"},
    };
    for (const auto& f : failures) {
        try {
            FilesHaveSameChecksum(f.first, f.second, status, &folders);
            ADD_FAILURE() << f.first;
        } catch (const CFileException& e) {
            EXPECT_EQ(e.Cause(), f.cause) << f.first;
            EXPECT_EQ(e.FileName(), f.named);
        }
    }
}

TEST(FilesHaveSameChecksum, ForgottenFoldersAreLookedUpAgain) {
    TempDir dir;
    const std::string copy = dir.Write("copy/a.txt", "old").string();
    const std::string local = dir.Write("local/a.txt", "new").string();
    DirectoryHandles folders;
    FileStatus status;
    EXPECT_EQ(FilesHaveSameChecksum(copy, local, status, &folders), 0);
    // A new checkout replaces the whole folder.
    std::filesystem::rename(dir / "copy", dir / "old-copy");
    dir.Write("copy/a.txt", "new");
    folders.Forget();
    EXPECT_EQ(FilesHaveSameChecksum(copy, local, status, &folders), 1);
}

}  // namespace
}  // namespace qvr
