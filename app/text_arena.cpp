#include "app/text_arena.h"

#include <algorithm>
#include <functional>

namespace qvr {
namespace {
constexpr std::size_t kAlignment = 4;

std::size_t Aligned(std::size_t size) {
    size = (size + kAlignment - 1) & ~(kAlignment - 1);
    return size == 0 ? kAlignment : size;
}

}  // namespace

std::size_t TextArena::AddChunk(std::size_t size) {
    const std::size_t index = m_chunks.size();
    m_chunks.push_back({std::make_unique_for_overwrite<unsigned char[]>(size), size, 0});
    m_held += size;
    const unsigned char* start = m_chunks.back().bytes.get();
    const auto place = std::upper_bound(m_byAddress.begin(), m_byAddress.end(), start,
                                        [this](const unsigned char* address, std::size_t k) {
                                            return std::less<const unsigned char*>()(address, m_chunks[k].bytes.get());
                                        });
    m_byAddress.insert(place, index);
    return index;
}

unsigned char* TextArena::Allocate(std::size_t size) {
    size = Aligned(size);
    m_used += size;
    if (size > m_left) {
        if (size > kChunkSize / 4) {
            // A large block gets a chunk of its own; the current chunk keeps its room.
            Chunk& own = m_chunks[AddChunk(size)];
            own.live = size;
            return own.bytes.get();
        }
        if (m_spare.empty()) {
            m_current = AddChunk(kChunkSize);
        } else {
            m_current = m_spare.front();
            m_spare.erase(m_spare.begin());
        }
        m_next = m_chunks[m_current].bytes.get();
        m_left = kChunkSize;
    }
    unsigned char* block = m_next;
    m_next += size;
    m_left -= size;
    m_chunks[m_current].live += size;
    return block;
}

std::size_t TextArena::ChunkHolding(const unsigned char* block) {
    const auto holds = [this, block](std::size_t k) {
        const unsigned char* start = m_chunks[k].bytes.get();
        const std::less_equal<const unsigned char*> notAfter;
        return start && notAfter(start, block) && std::less<const unsigned char*>()(block, start + m_chunks[k].size);
    };
    // Blocks are mostly given back in the order they were cut.
    if (m_lastFound != kNone && holds(m_lastFound)) return m_lastFound;
    auto place = std::upper_bound(m_byAddress.begin(), m_byAddress.end(), block,
                                  [this](const unsigned char* address, std::size_t k) {
                                      return std::less<const unsigned char*>()(address, m_chunks[k].bytes.get());
                                  });
    if (place == m_byAddress.begin() || !holds(*(place - 1))) return kNone;
    m_lastFound = *(place - 1);
    return m_lastFound;
}

void TextArena::FreeChunk(std::size_t index) {
    Chunk& chunk = m_chunks[index];
    m_byAddress.erase(std::find(m_byAddress.begin(), m_byAddress.end(), index));
    m_held -= chunk.size;
    chunk.bytes.reset();
    chunk.size = 0;
}

void TextArena::Release(const unsigned char* block, std::size_t size) {
    const std::size_t index = ChunkHolding(block);
    if (index == kNone) return;
    size = Aligned(size);
    Chunk& chunk = m_chunks[index];
    chunk.live -= std::min(size, chunk.live);
    m_used -= std::min(size, m_used);
    if (chunk.live > 0) return;
    if (index == m_current) {
        // Nothing in it is used: it is cut again from its start.
        m_next = chunk.bytes.get();
        m_left = chunk.size;
        return;
    }
    FreeChunk(index);
}

void TextArena::Reserve(std::size_t bytes) {
    for (std::size_t room = m_spare.size() * kChunkSize; room < bytes; room += kChunkSize) {
        m_spare.push_back(AddChunk(kChunkSize));
    }
}

std::vector<std::span<unsigned char>> TextArena::SpareRoom() const {
    std::vector<std::span<unsigned char>> room;
    for (std::size_t index : m_spare) room.emplace_back(m_chunks[index].bytes.get(), m_chunks[index].size);
    return room;
}

void TextArena::DropSpare() {
    for (std::size_t index : m_spare) FreeChunk(index);
    m_spare.clear();
}

void TextArena::Adopt(TextArena&& other) {
    if (&other == this) return;
    const std::size_t offset = m_chunks.size();
    for (Chunk& chunk : other.m_chunks) m_chunks.push_back(std::move(chunk));
    for (std::size_t index : other.m_byAddress) m_byAddress.push_back(offset + index);
    std::sort(m_byAddress.begin(), m_byAddress.end(), [this](std::size_t a, std::size_t b) {
        return std::less<const unsigned char*>()(m_chunks[a].bytes.get(), m_chunks[b].bytes.get());
    });
    for (std::size_t index : other.m_spare) m_spare.push_back(offset + index);
    m_used += other.m_used;
    m_held += other.m_held;
    other.Clear();
}

void TextArena::Clear() {
    m_spare.clear();
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_byAddress.clear();
    m_byAddress.shrink_to_fit();
    m_current = m_lastFound = kNone;
    m_next = nullptr;
    m_left = 0;
    m_used = 0;
    m_held = 0;
}

}  // namespace qvr
