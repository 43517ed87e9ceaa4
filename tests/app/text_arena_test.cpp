#include "app/text_arena.h"
#include "app/short_copy.h"

#include "app/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace qvr {
namespace {

// Blocks of every size come back aligned for 32-bit counts, never overlap,
// and keep their bytes while later blocks are cut, in the same chunk or in
// chunks of their own.
TEST(TextArena, BlocksAreAlignedApartAndStable) {
    const std::size_t sizes[] = {1, 3, 4, 5, 0, 17, TextArena::kChunkSize / 4, TextArena::kChunkSize / 4 + 1,
                                 TextArena::kChunkSize, 2, 3 * TextArena::kChunkSize / 4, 9, 4093};
    TextArena arena;
    std::vector<std::pair<unsigned char*, std::size_t>> blocks;
    std::size_t expectedUsed = 0;
    for (int round = 0; round < 3; ++round) {
        for (std::size_t size : sizes) {
            unsigned char* block = arena.Allocate(size);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 4, 0u) << size;
            std::memset(block, static_cast<int>(blocks.size() % 251), size);
            blocks.emplace_back(block, size);
            expectedUsed += size == 0 ? 4 : (size + 3) / 4 * 4;
        }
    }
    EXPECT_EQ(arena.BytesUsed(), expectedUsed);
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        const auto [block, size] = blocks[k];
        const std::vector<unsigned char> expected(size, static_cast<unsigned char>(k % 251));
        ASSERT_TRUE(size == 0 || std::memcmp(block, expected.data(), size) == 0) << "block " << k;
    }
    TextArena moved = std::move(arena);
    EXPECT_EQ(moved.BytesUsed(), expectedUsed);
    EXPECT_EQ(blocks.front().first[0], 0u) << "a moved arena keeps its blocks where they were";
    moved.Clear();
    EXPECT_EQ(moved.BytesUsed(), 0u);
    EXPECT_NE(moved.Allocate(8), nullptr);
}

// Blocks given back in the order they were cut free their chunks as they
// go, the chunk being filled is cut again from its start, and blocks still
// in use keep their bytes.
TEST(TextArena, ChunksWhoseBlocksAreAllGivenBackAreFreed) {
    TextArena arena;
    constexpr std::size_t kBlock = 1000;
    std::vector<unsigned char*> blocks;
    for (int k = 0; k < 5000; ++k) {
        blocks.push_back(arena.Allocate(kBlock));
        std::memset(blocks.back(), k % 251, kBlock);
    }
    unsigned char* large = arena.Allocate(TextArena::kChunkSize);
    const std::size_t held = arena.BytesHeld();
    EXPECT_GE(held, 5000 * kBlock + TextArena::kChunkSize);
    for (int k = 0; k < 4000; ++k) arena.Release(blocks[static_cast<std::size_t>(k)], kBlock);
    EXPECT_LE(arena.BytesHeld(), held - 3 * TextArena::kChunkSize);
    EXPECT_EQ(arena.BytesUsed(), 1000 * kBlock + TextArena::kChunkSize);
    EXPECT_EQ(blocks[4000][0], 4000 % 251);
    arena.Release(large, TextArena::kChunkSize);
    for (int k = 4000; k < 5000; ++k) arena.Release(blocks[static_cast<std::size_t>(k)], kBlock);
    EXPECT_EQ(arena.BytesUsed(), 0u);
    EXPECT_EQ(arena.BytesHeld(), TextArena::kChunkSize);
    // The chunk being filled holds the last blocks and is cut again from its first.
    constexpr std::size_t kPerChunk = TextArena::kChunkSize / kBlock;
    EXPECT_EQ(arena.Allocate(kBlock), blocks[(blocks.size() - 1) / kPerChunk * kPerChunk]);

    // Blocks of an arena taken over stay where they are and are given back
    // to the one that took them.
    TextArena other;
    std::vector<unsigned char*> others;
    for (int k = 0; k < 3000; ++k) others.push_back(other.Allocate(kBlock));
    other.Reserve(1);
    const std::size_t heldBefore = arena.BytesHeld();
    arena.Adopt(std::move(other));
    EXPECT_EQ(other.BytesHeld(), 0u);
    EXPECT_EQ(arena.SpareRoom().size(), 1u);
    arena.DropSpare();
    EXPECT_EQ(arena.BytesUsed(), kBlock + 3000 * kBlock);
    for (unsigned char* block : others) arena.Release(block, kBlock);
    EXPECT_EQ(arena.BytesUsed(), kBlock);
    EXPECT_EQ(arena.BytesHeld(), heldBefore);
}

// Room set aside is cut from before any new chunk is made, its pages can be
// made ready without changing what they hold, and what stays unused is
// given back.
TEST(TextArena, ReservedRoomIsUsedFirstAndTheRestGivenBack) {
    constexpr std::size_t kQuarter = TextArena::kChunkSize / 4;
    TextArena arena;
    arena.Reserve(2 * TextArena::kChunkSize + 1);
    EXPECT_EQ(arena.BytesHeld(), 3 * TextArena::kChunkSize);
    const std::vector<std::span<unsigned char>> room = arena.SpareRoom();
    ASSERT_EQ(room.size(), 3u);
    std::vector<unsigned char*> blocks;
    for (int k = 0; k < 5; ++k) blocks.push_back(arena.Allocate(kQuarter));
    EXPECT_EQ(blocks[0], room[0].data());
    EXPECT_EQ(blocks[4], room[1].data());
    std::memset(blocks[0], 7, kQuarter);
    if (platform::PrepareMemoryForWriting(room[0].data(), room[0].size())) {
        EXPECT_EQ(blocks[0][kQuarter - 1], 7) << "preparing keeps the bytes";
    }
    EXPECT_EQ(arena.BytesHeld(), 3 * TextArena::kChunkSize);
    EXPECT_EQ(arena.SpareRoom().size(), 1u);
    arena.DropSpare();
    EXPECT_EQ(arena.BytesHeld(), 2 * TextArena::kChunkSize);
    EXPECT_TRUE(arena.SpareRoom().empty());
    EXPECT_EQ(blocks[0][0], 7);
    // Room set aside goes with everything else, and is never cut from after.
    arena.Reserve(TextArena::kChunkSize);
    arena.Clear();
    EXPECT_EQ(arena.BytesHeld(), 0u);
    EXPECT_TRUE(arena.SpareRoom().empty());
    EXPECT_NE(arena.Allocate(kQuarter), nullptr);
    EXPECT_EQ(arena.BytesHeld(), TextArena::kChunkSize);
}

// Every length, at every alignment, copies its bytes and touches none
// beside them.
TEST(ShortTextCopy, EveryLengthCopiesItsBytesAndNoOthers) {
    std::string from(80, '\0');
    for (std::size_t i = 0; i < from.size(); ++i) from[i] = static_cast<char>('a' + i % 26);
    for (std::size_t size = 0; size <= 40; ++size) {
        for (std::size_t offset = 0; offset < 8; ++offset) {
            // The source on its own, so that a read beyond it shows in a
            // sanitized build.
            const std::vector<char> source(from.begin() + static_cast<std::ptrdiff_t>(offset),
                                           from.begin() + static_cast<std::ptrdiff_t>(offset + size));
            std::string to(60, '#');
            CopyShortText(to.data() + offset, source.data(), size);
            const std::string expected = std::string(offset, '#') + from.substr(offset, size) +
                                         std::string(60 - offset - size, '#');
            ASSERT_EQ(to, expected) << size << " bytes at " << offset;
        }
    }
}

}  // namespace
}  // namespace qvr
