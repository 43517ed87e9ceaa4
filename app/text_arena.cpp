#include "app/text_arena.h"

namespace qvr {
namespace {
constexpr std::size_t kAlignment = 4;
}

unsigned char* TextArena::Allocate(std::size_t size) {
    size = (size + kAlignment - 1) & ~(kAlignment - 1);
    if (size == 0) size = kAlignment;
    if (size > m_left) {
        if (size > kChunkSize / 4) {
            // A large block gets a chunk of its own; the current chunk keeps its room.
            m_chunks.push_back(std::make_unique_for_overwrite<unsigned char[]>(size));
            m_used += size;
            return m_chunks.back().get();
        }
        m_chunks.push_back(std::make_unique_for_overwrite<unsigned char[]>(kChunkSize));
        m_next = m_chunks.back().get();
        m_left = kChunkSize;
    }
    unsigned char* block = m_next;
    m_next += size;
    m_left -= size;
    m_used += size;
    return block;
}

void TextArena::Clear() {
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_next = nullptr;
    m_left = 0;
    m_used = 0;
}

}  // namespace qvr
