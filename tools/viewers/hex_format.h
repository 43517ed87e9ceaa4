#pragma once
// The text of the hex viewer's rows: an offset, the bytes in hexadecimal in
// two groups of eight, and the same bytes as ASCII (a dot for anything that
// is not a printable ASCII character).
//
//   00000010  48 65 6C 6C 6F 2C 20 77  6F 72 6C 64 0A 00 FF 41  Hello, world...A

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvr::viewers {

inline constexpr int kHexBytesPerRow = 16;

// Hex digits of the offset column: 8, or as many as the largest offset of the
// file needs.
int OffsetDigitsFor(std::uint64_t fileSize);

// One row: bytes holds up to kHexBytesPerRow bytes (fewer on the last row; the
// missing bytes leave blanks so the ASCII column stays aligned).
std::string FormatHexRow(std::uint64_t offset, std::string_view bytes, int offsetDigits);

// Character positions, within a row's text, of byte index (0..15) in the hex
// and in the ASCII column; used to highlight one byte.
int HexColumnOf(int byteIndex, int offsetDigits);
int AsciiColumnOf(int byteIndex, int offsetDigits);

// The text the user typed as an offset: decimal digits, or hexadecimal after
// "0x" (or "0X"). Blanks around it are ignored. Anything else, or a value that
// does not fit in 64 bits, gives no offset.
std::optional<std::uint64_t> ParseOffset(std::string_view text);

}  // namespace qvr::viewers
