#pragma once
// Copying the short texts a list is made of: most cells hold a few to a few
// dozen bytes, where a call to the library copy costs more than the copy.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qvr {

// Copies size bytes from from to to (the ranges do not overlap). Up to 32
// bytes go as two loads and two stores that overlap in the middle, never
// touching a byte outside either range.
inline void CopyShortText(char* to, const char* from, std::size_t size) {
    const auto both = [&](auto word) {
        using Word = decltype(word);
        Word first;
        Word last;
        std::memcpy(&first, from, sizeof(Word));
        std::memcpy(&last, from + size - sizeof(Word), sizeof(Word));
        std::memcpy(to, &first, sizeof(Word));
        std::memcpy(to + size - sizeof(Word), &last, sizeof(Word));
    };
    struct Sixteen {
        std::uint64_t low;
        std::uint64_t high;
    };
    if (size > 32) {
        std::memcpy(to, from, size);
    } else if (size >= 16) {
        both(Sixteen{});
    } else if (size >= 8) {
        both(std::uint64_t{});
    } else if (size >= 4) {
        both(std::uint32_t{});
    } else {
        for (std::size_t i = 0; i < size; ++i) to[i] = from[i];
    }
}

}  // namespace qvr
