#include "tools/viewers/hex_format.h"

namespace qvr::viewers {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kGap = 2;  // blanks between offset, hex and ASCII columns

void AppendHex(std::string& out, std::uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out += kHexDigits[(value >> shift) & 0xF];
    }
}

bool IsPrintableAscii(unsigned char c) { return c >= 0x20 && c < 0x7F; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

}  // namespace

int OffsetDigitsFor(std::uint64_t fileSize) {
    std::uint64_t last = fileSize == 0 ? 0 : fileSize - 1;
    int digits = 1;
    while (digits < 16 && (last >> (digits * 4)) != 0) ++digits;
    return digits < 8 ? 8 : digits;
}

int HexColumnOf(int byteIndex, int offsetDigits) {
    // Each byte is two digits and a blank; the second group of eight starts
    // after one extra blank.
    return offsetDigits + kGap + byteIndex * 3 + (byteIndex >= 8 ? 1 : 0);
}

int AsciiColumnOf(int byteIndex, int offsetDigits) {
    return HexColumnOf(kHexBytesPerRow - 1, offsetDigits) + 2 + kGap + byteIndex;
}

std::string FormatHexRow(std::uint64_t offset, std::string_view bytes, int offsetDigits) {
    std::string row;
    row.reserve(static_cast<std::size_t>(AsciiColumnOf(kHexBytesPerRow, offsetDigits)));
    AppendHex(row, offset, offsetDigits);
    row.append(kGap, ' ');
    for (int i = 0; i < kHexBytesPerRow; ++i) {
        if (i == 8) row += ' ';
        if (static_cast<std::size_t>(i) < bytes.size()) {
            AppendHex(row, static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]), 2);
        } else {
            row += "  ";
        }
        if (i + 1 < kHexBytesPerRow) row += ' ';
    }
    row.append(kGap, ' ');
    for (char c : bytes.substr(0, kHexBytesPerRow)) {
        row += IsPrintableAscii(static_cast<unsigned char>(c)) ? c : '.';
    }
    return row;
}

std::optional<std::uint64_t> ParseOffset(std::string_view text) {
    text = TrimBlanks(text);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        int digit = DigitValue(c, base);
        if (digit < 0) return std::nullopt;
        if (value > (UINT64_MAX - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) {
            return std::nullopt;
        }
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return value;
}

}  // namespace qvr::viewers
