#pragma once
// Suffix array construction in linear time (induced sorting of the
// leftmost-S-type suffixes), used to find substrings among many keys.

#include <cstdint>
#include <string_view>
#include <vector>

namespace qvr {

// The suffix array of text, where the byte 0 sorts before every other byte
// and the end of the text before everything. Texts longer than INT32_MAX - 1
// bytes are not supported (an empty array is returned).
std::vector<std::int32_t> BuildSuffixArray(std::string_view text);

}  // namespace qvr
