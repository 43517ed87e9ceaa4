#include "compare/file_compare.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "compare/checksum.h"

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

}  // namespace

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
