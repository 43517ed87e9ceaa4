#include "compare/checksum.h"

#include <gtest/gtest.h>

#include <string>

#include "compare/file.h"
#include "compare/file_exception.h"
#include "platform_file_causes.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

using testing::kFolderCause;
using testing::kMissingFolderCause;
using testing::TempDir;

TEST(Checksum, KnownValuesOfAbc) {
    const std::string abc = "abc";
    COXCRC32 crc;
    EXPECT_EQ(crc.UpdateFrom(abc.data(), 3, 0), 0xCA6598D0u);
    EXPECT_EQ(crc.Current(), 0xCA6598D0u);
    EXPECT_EQ(crc.Kind(), 3);
    crc32 sum;
    EXPECT_EQ(sum.UpdateFrom(abc.data(), 3, 0), 294u);
}

TEST(Checksum, UpdateContinuesFromTheCurrentValue) {
    crc32 sum;
    EXPECT_EQ(sum.Current(), 0xFFFFFFFFu);
    EXPECT_EQ(sum.UpdateFrom("", 0, 7), 7u);  // no bytes: the start value
    const unsigned char bytes[] = {0xFF, 0x01};
    EXPECT_EQ(sum.Update(bytes, 1), 262u);     // bytes count as unsigned
    EXPECT_EQ(sum.UpdateFrom(bytes, 2, 0xFFFFFFFFu), 255u);  // wraps modulo 2^32
}

struct TableCase {
    std::uint32_t index;
    std::uint32_t entry;
};

TEST(Checksum, Crc32TableIsTheReflectedIeeeTable) {
    const auto& table = COXCRC32(COXCRC32::kIeeePolynomial).Table();
    for (const TableCase c : {TableCase{0, 0}, {1, 0x77073096u}, {128, 0xEDB88320u},
                              {255, 0x2D02EF8Du}}) {
        EXPECT_EQ(table[c.index], c.entry) << c.index;
    }
}

TEST(Checksum, Crc16TableIsMostSignificantBitFirst) {
    const auto& node = COXCRC16::Tables().TableFor(0x1021);
    for (const TableCase c : {TableCase{0, 0}, {1, 0x1021}, {2, 0x2042}, {255, 0x1EF0}}) {
        EXPECT_EQ(node.entries[c.index], c.entry) << c.index;
    }
    EXPECT_EQ(node.polynomial, 0x1021);
}

TEST(Checksum, OneSharedTablePerPolynomialInOrderOfFirstUse) {
    auto& list = COXCRC32::Tables();
    const std::size_t before = list.Count();
    COXCRC32 first(0x82F63B78u);
    COXCRC32 again(0x82F63B78u);
    COXCRC32 other(0xEB31D82Eu);
    EXPECT_EQ(&first.Table(), &again.Table());
    ASSERT_EQ(list.Count(), before + 2);
    EXPECT_EQ(list.PolynomialAt(before), 0x82F63B78u);
    EXPECT_EQ(list.PolynomialAt(before + 1), 0xEB31D82Eu);
}

std::uint32_t ByteSum(const std::string& bytes) {
    std::uint32_t sum = 0;
    for (unsigned char c : bytes) sum += c;
    return sum;
}

TEST(Checksum, ChecksumOfFileSumsEveryByteWhateverItsLength) {
    TempDir dir;
    for (std::size_t size : {0u, 1u, 2047u, 2048u, 2049u, 10000u}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 37 + 11) & 0xFF);
        const auto path = dir.Write("f" + std::to_string(size), bytes);
        crc32 sum;
        EXPECT_EQ(sum.ChecksumOfFile(path.string()), ByteSum(bytes)) << size;
    }
}

TEST(Checksum, ChecksumOfStreamStopsAtTheMaximumCount) {
    TempDir dir;
    const auto path = dir.Write("ten", "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A");
    CFile file(path.string(), CFile::modeRead);
    crc32 sum;
    EXPECT_EQ(sum.ChecksumOfStream(file, 6, 3), 1u + 2 + 3 + 4 + 5 + 6);
    EXPECT_EQ(sum.ChecksumOfStream(file, 100, 4), 7u + 8 + 9 + 10);  // from the position
}

struct OpenFailureCase {
    const char* name;
    bool makeDirectory;
    int cause;
};

TEST(Checksum, ChecksumOfFileRaisesTheFileException) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder");
    for (const OpenFailureCase c : {OpenFailureCase{"missing", false, CFileException::fileNotFound},
                                    {"folder", true, kFolderCause},
                                    {"missing/deeper", false, kMissingFolderCause}}) {
        const std::string path = (dir / c.name).string();
        crc32 sum;
        try {
            sum.ChecksumOfFile(path);
            ADD_FAILURE() << c.name;
        } catch (const CFileException& e) {
            EXPECT_EQ(e.Cause(), c.cause) << c.name;
            EXPECT_EQ(e.FileName(), path);
        }
    }
}

TEST(FileException, ErrnoMapsToTheNearestCause) {
    const std::pair<int, int> cases[] = {
        {ENOENT, 2}, {ENOTDIR, 3}, {ENAMETOOLONG, 3}, {EMFILE, 4}, {ENFILE, 4}, {EACCES, 5},
        {EPERM, 5},  {ENOSPC, 13}, {EIO, 10},         {EISDIR, 6}, {EBUSY, 1},  {0, 1},
    };
    for (const auto& [error, cause] : cases) {
        EXPECT_EQ(CFileException::CauseFromErrno(error), cause) << error;
    }
    const CFileException e = CFileException::FromErrno(EACCES, "/x");
    EXPECT_EQ(e.Cause(), CFileException::accessDenied);
    EXPECT_EQ(e.OsError(), EACCES);
    EXPECT_EQ(e.FileName(), "/x");
}

}  // namespace
}  // namespace qvr
