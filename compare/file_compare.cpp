#include "compare/file_compare.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "compare/checksum.h"
#include "compare/file_exception.h"

// The digest is compiled in here, from the header alone.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace qvr {
namespace {

// Large reads keep the system calls per file few; small files get a buffer
// no bigger than themselves.
constexpr std::int64_t kCompareBlock = 256 * 1024;

// Compares the copy with the length bytes of the local file. The copy's
// length is learnt from its reads: asking for one byte more than the local
// file has left shows in the same read whether the copy is longer.
bool SameBytes(CFile& copy, CFile& local, std::int64_t length, const std::atomic<bool>* abandon) {
    const auto block = static_cast<std::size_t>(std::min(length, kCompareBlock));
    auto buffers = std::make_unique_for_overwrite<char[]>(2 * block + 1);
    char* a = buffers.get();
    char* b = a + block + 1;
    for (std::int64_t left = length;;) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, kCompareBlock));
        const bool last = static_cast<std::int64_t>(want) == left;
        if (copy.Read(a, want + (last ? 1 : 0)) != want) return false;
        if (want == 0) return true;
        // A local file that shrank since it was measured is not the same.
        if (local.Read(b, want) != want) return false;
        if (std::memcmp(a, b, want) != 0) return false;
        if (last) return true;
        if (abandon && abandon->load(std::memory_order_relaxed)) return false;
        left -= static_cast<std::int64_t>(want);
    }
}

// Reads length bytes of file into the digest, a block at a time; with
// oneMore, also asks for one byte past them. Returns the bytes read: fewer
// than length when the file ended early, length + 1 when it goes on.
std::int64_t DigestBytes(CFile& file, std::int64_t length, bool oneMore, XXH128_hash_t& digest,
                         const std::atomic<bool>* abandon) {
    const auto block = static_cast<std::size_t>(std::min(length, kCompareBlock));
    auto buffer = std::make_unique_for_overwrite<char[]>(block + 1);
    // A file that fits one block, as most do, is read in one call.
    if (length <= kCompareBlock) {
        const auto want = static_cast<std::size_t>(length) + (oneMore ? 1 : 0);
        const std::size_t got = file.Read(buffer.get(), want);
        digest = XXH3_128bits(buffer.get(), std::min<std::size_t>(got, static_cast<std::size_t>(length)));
        return static_cast<std::int64_t>(got);
    }
    XXH3_state_t state;
    XXH3_128bits_reset(&state);
    std::int64_t done = 0;
    while (done < length) {
        if (abandon && abandon->load(std::memory_order_relaxed)) return -1;
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(length - done, kCompareBlock));
        const std::size_t got = file.Read(buffer.get(), want);
        XXH3_128bits_update(&state, buffer.get(), got);
        done += static_cast<std::int64_t>(got);
        if (got != want) break;
    }
    digest = XXH3_128bits_digest(&state);
    if (done == length && oneMore && file.Read(buffer.get(), 1) == 1) ++done;
    return done;
}

}  // namespace

void DigestLocalFile(const std::string& path, LocalDigest& digest, DirectoryHandles* directories) {
    digest.status.size = kDigestUnknown;
    try {
        CFile file(path, CFile::modeRead | CFile::shareDenyWrite, directories);
        const FileStatus status = file.Status();
        XXH128_hash_t hash{};
        if (DigestBytes(file, status.size, false, hash, nullptr) != status.size) return;
        digest.status = status;
        digest.low = hash.low64;
        digest.high = hash.high64;
    } catch (const CFileException&) {
        // Left to the compare, which says why.
    }
}

int CopyMatchesDigest(const std::string& copyPath, const std::string& localPath, const LocalDigest* digest,
                      FileStatus& secondStatus, DirectoryHandles* directories,
                      const std::atomic<bool>* abandon) {
    if (!digest || !digest->Known()) {
        return FilesHaveSameChecksum(copyPath, localPath, secondStatus, directories, abandon);
    }
    const LocalDigest& local = *digest;
    CFile copy(copyPath, CFile::modeRead | CFile::shareDenyWrite | CFile::noLinks, directories);
    secondStatus = local.status;
    XXH128_hash_t hash{};
    if (DigestBytes(copy, local.status.size, true, hash, abandon) != local.status.size) return 0;
    return hash.low64 == local.low && hash.high64 == local.high ? 1 : 0;
}

int FilesHaveSameChecksum(const std::string& firstPath, const std::string& secondPath) {
    FileStatus ignored;
    return FilesHaveSameChecksum(firstPath, secondPath, ignored);
}

int FilesHaveSameChecksum(const std::string& firstPath, const std::string& secondPath,
                          FileStatus& secondStatus, DirectoryHandles* directories,
                          const std::atomic<bool>* abandon) {
    // The CRC-32 table exists from the first compare on, as it always has.
    crc32 checker;
    CFile first(firstPath, CFile::modeRead | CFile::shareDenyWrite | CFile::noLinks, directories);
    CFile second(secondPath, CFile::modeRead | CFile::shareDenyWrite, directories);
    secondStatus = second.Status();
    return SameBytes(first, second, secondStatus.size, abandon) ? 1 : 0;
}

}  // namespace qvr
