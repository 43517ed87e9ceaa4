#include "app/path.h"
#include "app/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "support/temp_dir.h"
#include "support/param_names.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

using testing::TempDir;

struct SplitCase {
    const char* path;
    const char* directory;
    const char* name;
    const char* extension;
    bool relative;
    const char* fileName;
};

class CPathSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CPathSplit, SplitsIntoDirectoryNameAndExtension) {
    QVR_SKIP_ON_WINDOWS("\"/\" stays and \"\\\" is part of a name");
    const SplitCase& c = GetParam();
    CPath path(c.path);
    EXPECT_EQ(path.Source(), c.path);
    EXPECT_EQ(path.Drive(), "");
    EXPECT_EQ(path.Directory(), c.directory);
    EXPECT_EQ(path.Name(), c.name);
    EXPECT_EQ(path.Extension(), c.extension);
    EXPECT_EQ(path.IsRelative(), c.relative);
    EXPECT_EQ(path.GetFileName(), c.fileName);
    EXPECT_EQ(path.GetLocation(), c.directory);
    EXPECT_EQ(path.GetPath(), std::string(c.directory) + c.fileName);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CPathSplit,
    ::testing::Values(
        SplitCase{"/src/app/main.cpp", "/src/app/", "main", "cpp", false, "main.cpp"},
        // Quoted as a whole: parsed as if written without the quotes.
        SplitCase{"\"/my dir/read me.txt\"", "/my dir/", "read me", "txt", false, "read me.txt"},
        SplitCase{"rel/sub/archive.tar.gz", "rel/sub/", "archive.tar", "gz", true,
                  "archive.tar.gz"},
        // No extension: no trailing dot.
        SplitCase{"/bin/Makefile", "/bin/", "Makefile", "", false, "Makefile"},
        SplitCase{"Makefile", "", "Makefile", "", false, "Makefile"},
        // A trailing dot is part of the file's name on POSIX file systems.
        SplitCase{"trailing.", "", "trailing", "", false, "trailing."},
        SplitCase{"/home/.profile", "/home/", "", "profile", false, ".profile"},
        // A dot in a directory name is no extension.
        SplitCase{"/a.d/file", "/a.d/", "file", "", false, "file"},
        // "/" is the separator and stays; "\\" is part of a name here.
        SplitCase{"a\\b/c\\d.txt", "a\\b/", "c\\d", "txt", true, "c\\d.txt"},
        SplitCase{"", "", "", "", false, ""},
        SplitCase{"\"\"", "", "", "", false, ""},
        // Only a quote on one side is part of the name.
        SplitCase{"\"/x/y.c", "\"/x/", "y", "c", true, "y.c"}),
    ::qvr::testing::CaseIndexName());

TEST(CPathOnWindows, DriveLettersAndBothSlashes) {
    QVR_SKIP_UNLESS_WINDOWS();
    struct Case {
        const char* path;
        const char* drive;
        const char* directory;
        const char* name;
        const char* extension;
        bool relative;
        const char* whole;
    };
    const Case cases[] = {
        {"C:\\QvrCompare\\vlx.log", "C:", "\\QvrCompare\\", "vlx", "log", false,
         "C:\\QvrCompare\\vlx.log"},
        // "/" in the directory becomes "\\".
        {"D:/work/src/main.cpp", "D:", "\\work\\src\\", "main", "cpp", false,
         "D:\\work\\src\\main.cpp"},
        {"c:relative\\x.h", "c:", "relative\\", "x", "h", true, "c:relative\\x.h"},
        {"\"C:\\My Files\\a b.txt\"", "C:", "\\My Files\\", "a b", "txt", false,
         "C:\\My Files\\a b.txt"},
        // A trailing dot names the same file without it on Windows.
        {"C:\\dir\\name.", "C:", "\\dir\\", "name", "", false, "C:\\dir\\name"},
        {"\\\\server\\share\\f.txt", "", "\\\\server\\share\\", "f", "txt", false,
         "\\\\server\\share\\f.txt"},
    };
    for (const Case& c : cases) {
        CPath path(c.path);
        EXPECT_EQ(path.Drive(), c.drive) << c.path;
        EXPECT_EQ(path.Directory(), c.directory) << c.path;
        EXPECT_EQ(path.Name(), c.name) << c.path;
        EXPECT_EQ(path.Extension(), c.extension) << c.path;
        EXPECT_EQ(path.IsRelative(), c.relative) << c.path;
        EXPECT_EQ(path.GetPath(), c.whole) << c.path;
    }
}

TEST(AppendSeparatorOnWindows, BackslashUnlessAskedForASlash) {
    QVR_SKIP_UNLESS_WINDOWS();
    EXPECT_EQ(AppendSeparator("C:\\Temp"), "C:\\Temp\\");
    EXPECT_EQ(AppendSeparator("C:\\Temp\\"), "C:\\Temp\\");
    EXPECT_EQ(AppendSeparator("C:/Temp/"), "C:/Temp/");
    EXPECT_EQ(AppendSeparator("C:\\Temp", true), "C:\\Temp/");
    EXPECT_EQ(AppendSeparator(""), "");
}

struct SeparatorCase {
    const char* text;
    bool forwardSlash;
    const char* expected;
};

class AppendSeparatorCases : public ::testing::TestWithParam<SeparatorCase> {};

TEST_P(AppendSeparatorCases, AddsOneNativeSeparator) {
    QVR_SKIP_ON_WINDOWS("the native separator is \"/\"");
    const SeparatorCase& c = GetParam();
    EXPECT_EQ(AppendSeparator(c.text, c.forwardSlash), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AppendSeparatorCases,
    ::testing::Values(SeparatorCase{"", false, ""}, SeparatorCase{"", true, ""},
                      SeparatorCase{"/tmp", false, "/tmp/"}, SeparatorCase{"/tmp", true, "/tmp/"},
                      SeparatorCase{"/tmp/", false, "/tmp/"}, SeparatorCase{"/", false, "/"},
                      SeparatorCase{"dir\\", false, "dir\\/"}),
    ::qvr::testing::CaseIndexName());

struct AbsoluteCase {
    const char* path;
    const char* base;
    const char* expected;
};

TEST(AbsolutePathFrom, RelativePathsJoinTheBaseOnce) {
    QVR_SKIP_ON_WINDOWS("POSIX roots and separators");
    const AbsoluteCase cases[] = {
        {"src", "/home/u", "/home/u/src"},
        {"src/lib/", "/home/u/", "/home/u/src/lib/"},
        {"./src", "/home/u", "/home/u/src"},
        {".//./src", "/home/u", "/home/u/src"},
        {".", "/home/u", "/home/u"},
        {"./", "/home/u", "/home/u"},
        {"../src", "/no/such/u", "/no/such/src"},  // a folder that is not there: by the text
        {"work/../work/", "/no/such", "/no/such/work/"},
        {"a/./b//c/..", "/no/such", "/no/such/a/b"},
        {"../..", "/no", "/"},
        {".hidden", "/home/u", "/home/u/.hidden"},
        {"src", "/", "/src"},
        {"/data/src", "/home/u", "/data/src"},
        {"/data/./src/", "/home/u", "/data/./src/"},  // absolute paths stay as typed
        {"a\\b", "/home/u", "/home/u/a\\b"},          // a backslash is part of a name
        {"", "/home/u", ""},
    };
    for (const AbsoluteCase& c : cases) EXPECT_EQ(AbsolutePathFrom(c.path, c.base), c.expected) << c.path;
}

TEST(AbsolutePathFrom, WindowsRootsAndDrivesStay) {
    QVR_SKIP_UNLESS_WINDOWS();
    const AbsoluteCase cases[] = {
        {"src", "C:\\Users\\u", "C:\\Users\\u\\src"},
        {".\\src", "C:\\Users\\u", "C:\\Users\\u\\src"},
        {"C:\\src", "D:\\x", "C:\\src"},
        {"\\\\server\\share", "D:\\x", "\\\\server\\share"},
        {"\\src", "D:\\x", "\\src"},
        {"C:src", "D:\\x", "C:src"},
    };
    for (const AbsoluteCase& c : cases) EXPECT_EQ(AbsolutePathFrom(c.path, c.base), c.expected) << c.path;
}

// Paths looked at in a row from their folders answer as each path alone:
// files of one folder, then others, a folder, missing names and folders,
// links followed.
TEST(PathStatter, AnswersAsStatPathForEveryPathInARow) {
    TempDir dir;
    const std::string a = dir.Write("a/one.txt", "1").string(), b = dir.Write("a/two.txt", "22").string();
    const std::string c = dir.Write("b/three.txt", "333").string();
    std::vector<std::string> paths = {a, b, dir.Str() + "/a/gone.txt", c, dir.Str() + "/none/x.txt", a,
                                      dir.Str() + "/a", dir.Str() + "/a/", "relative-name"};
    std::error_code ec;
    std::filesystem::create_symlink(c, dir / "a/link.txt", ec);
    if (!ec) paths.insert(paths.end(), {dir.Str() + "/a/link.txt", b});
    platform::PathStatter statter;
    for (const std::string& path : paths) {
        platform::FileFacts alone, inRow;
        int aloneError = 0, inRowError = 0;
        const bool aloneFound = platform::StatPath(path, alone, aloneError);
        EXPECT_EQ(statter.Stat(path, inRow, inRowError), aloneFound) << path;
        EXPECT_EQ(inRowError, aloneError) << path;
        EXPECT_EQ(std::tie(inRow.isRegularFile, inRow.isDirectory, inRow.size, inRow.identity),
                  std::tie(alone.isRegularFile, alone.isDirectory, alone.size, alone.identity))
            << path;
    }
}

TEST(CPathSize, ReadsTheSizeOfAnExistingFile) {
    TempDir dir;
    auto file = dir.Write("seven.txt", "1234567");
    CPath path(file.string());
    std::int64_t size = -1;
    EXPECT_NE(path.GetSize(size), 0);
    EXPECT_EQ(size, 7);
}

TEST(CPathSize, MissingFileAndDirectoryGiveZero) {
    TempDir dir;
    for (auto p : {dir / "missing.txt", dir.Path()}) {
        CPath path(p.string());
        std::int64_t size = -1;
        EXPECT_EQ(path.GetSize(size), 0) << p;
        EXPECT_EQ(size, 0) << p;
    }
}

TEST(FileSizes, FiveGigabyteFileIsFullIn64BitsAndCutIn32) {
    TempDir dir;
    auto big = dir / "big.bin";
    { std::ofstream(big).put('x'); }
    constexpr std::uint64_t kFiveBillion = 5'000'000'000ULL;
    std::error_code ec;
    std::filesystem::resize_file(big, kFiveBillion, ec);  // sparse: no real space used
    if (ec) GTEST_SKIP() << "file system refuses a sparse 5 GB file: " << ec.message();

    CPath path(big.string());
    std::int64_t size = 0;
    ASSERT_NE(path.GetSize(size), 0);
    EXPECT_EQ(size, static_cast<std::int64_t>(kFiveBillion));

    int error = 0;
    EXPECT_EQ(FileSizeOf(big.string(), error, nullptr), kFiveBillion);
    // Exactly 4 GiB is not empty.
    std::filesystem::resize_file(big, 1ULL << 32, ec);
    EXPECT_EQ(FileSizeOf(big.string(), error, nullptr), 1ULL << 32);
    EXPECT_EQ(error, 0);
}

TEST(FileSizes, FileSizeOfSetsTheErrorOnlyOnFailure) {
    TempDir dir;
    auto empty = dir.Write("empty.txt", "");
    auto data = dir.Write("data.txt", "abc");

    int error = 0;
    EXPECT_EQ(FileSizeOf(empty.string(), error, nullptr), 0u);
    EXPECT_EQ(error, 0) << "an empty file is told apart from a missing one";
    EXPECT_EQ(FileSizeOf(data.string(), error, nullptr), 3u);
    EXPECT_EQ(error, 0);

    EXPECT_EQ(FileSizeOf((dir / "missing").string(), error, nullptr), 0u);
    EXPECT_EQ(error, ENOENT);
    error = 0;
    EXPECT_EQ(FileSizeOf(dir.Str(), error, nullptr), 0u);
    EXPECT_NE(error, 0) << "a directory is no file";
}


// A named pipe nobody writes to stands where a query output or a checked-out
// copy is expected: measuring it must answer at once (a pipe holds no bytes)
// instead of waiting for a writer that never comes and freezing the program.
TEST(FileSizes, NamedPipeWithoutWriterIsMeasuredWithoutWaiting) {
    TempDir dir;
    const std::string fifo = (dir / "pipe").string();
    if (!testing::MakeFifo(fifo)) GTEST_SKIP() << "no named pipes on this file system";

    struct Outcome {
        std::uint32_t sizeOf = 99;
        int error = -1;
        int measured = -1;
        std::int64_t size = -1;
    };
    // The calls run on their own thread; a blocked open would otherwise hang
    // the whole test run. On failure the thread is left behind on purpose.
    auto promise = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> done = promise->get_future();
    std::thread([promise, fifo] {
        Outcome out;
        out.error = 0;
        out.sizeOf = FileSizeOf(fifo, out.error, nullptr);
        CPath path(fifo);
        out.measured = path.GetSize(out.size);
        promise->set_value(out);
    }).detach();

    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "measuring a named pipe waited for a writer";
    const Outcome out = done.get();
    EXPECT_EQ(out.sizeOf, 0u);
    EXPECT_EQ(out.error, 0);
    EXPECT_EQ(out.measured, 1);
    EXPECT_EQ(out.size, 0);
}

}  // namespace
}  // namespace qvr
