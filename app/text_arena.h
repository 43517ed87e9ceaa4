#pragma once
// Storage for the many small blocks a long list is made of: blocks are cut
// one after another from large chunks, so a list of a few hundred thousand
// rows costs a few hundred allocations instead of one per row or per cell.
// A block stays where it is until Clear() or until it is given back with
// Release(); a chunk whose every block was given back is freed at once, so a
// list handed over block by block in the order it was made gives its memory
// back as it goes. Owners that abandon blocks without giving them back count
// them and rebuild when they grow large.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "app/allocator_settings.h"

namespace qvr {

class TextArena {
public:
    TextArena() = default;
    TextArena(TextArena&&) noexcept = default;
    TextArena& operator=(TextArena&&) noexcept = default;

    // size bytes of uninitialised room, aligned for 32-bit counts at its start.
    unsigned char* Allocate(std::size_t size);
    // Gives back a block Allocate(size) handed out; it is not used again.
    void Release(const unsigned char* block, std::size_t size);
    // Sets chunks aside for at least bytes more of blocks; they are cut from
    // before any new chunk is made. Their room, not yet used, is listed by
    // SpareRoom, and DropSpare gives back the chunks still unused.
    void Reserve(std::size_t bytes);
    std::vector<std::span<unsigned char>> SpareRoom() const;
    void DropSpare();
    // Gives every chunk back; every block handed out becomes invalid.
    void Clear();
    // Takes over other's chunks: its blocks stay where they are and are
    // given back to this arena; other is left empty.
    void Adopt(TextArena&& other);
    // Bytes handed out and not given back since the last Clear(), alignment
    // included.
    std::size_t BytesUsed() const { return m_used; }
    // Bytes of the chunks held now.
    std::size_t BytesHeld() const { return m_held; }

    // Blocks are cut from chunks of this size; a larger block gets a chunk of its own.
    // A chunk stays below the size the allocator maps on its own: a chunk one
    // list gives back is then the next one's, already in memory. The
    // listing's records hand theirs to the Top List row by row this way,
    // instead of the system clearing fresh pages for every chunk of the list.
    static constexpr std::size_t kChunkSize = kOwnMappingBytes - 4096;

private:
    struct Chunk {
        std::unique_ptr<unsigned char[]> bytes;
        std::size_t size = 0;
        // Bytes of its blocks not given back.
        std::size_t live = 0;
    };

    std::size_t AddChunk(std::size_t size);
    std::size_t ChunkHolding(const unsigned char* block);
    void FreeChunk(std::size_t index);

    std::vector<Chunk> m_chunks;
    // Chunks set aside by Reserve and not yet cut from, first used first.
    std::vector<std::size_t> m_spare;
    // Indexes of the chunks held, in the order of their addresses.
    std::vector<std::size_t> m_byAddress;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    // The chunk blocks are cut from, and the chunk a release last found.
    std::size_t m_current = kNone;
    std::size_t m_lastFound = kNone;
    unsigned char* m_next = nullptr;
    std::size_t m_left = 0;
    std::size_t m_used = 0;
    std::size_t m_held = 0;
};

}  // namespace qvr
