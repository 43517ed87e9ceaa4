#pragma once
// Storage for the many small blocks a long list is made of: blocks are cut
// one after another from large chunks, so a list of a few hundred thousand
// rows costs a few hundred allocations instead of one per row or per cell.
// A block stays where it is until Clear(); there is no freeing of single
// blocks, so owners count what they abandon and rebuild when it grows large.

#include <cstddef>
#include <memory>
#include <vector>

namespace qvr {

class TextArena {
public:
    TextArena() = default;
    TextArena(TextArena&&) noexcept = default;
    TextArena& operator=(TextArena&&) noexcept = default;

    // size bytes of uninitialised room, aligned for 32-bit counts at its start.
    unsigned char* Allocate(std::size_t size);
    // Gives every chunk back; every block handed out becomes invalid.
    void Clear();
    // Bytes handed out since the last Clear(), alignment included.
    std::size_t BytesUsed() const { return m_used; }

    // Blocks are cut from chunks of this size; a larger block gets a chunk of its own.
    static constexpr std::size_t kChunkSize = std::size_t{1} << 20;

private:
    std::vector<std::unique_ptr<unsigned char[]>> m_chunks;
    unsigned char* m_next = nullptr;
    std::size_t m_left = 0;
    std::size_t m_used = 0;
};

}  // namespace qvr
