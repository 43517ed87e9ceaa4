#include "tools/viewers/hex_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace qvr::viewers {
namespace {

TEST(HexFormatTest, FormatsRows) {
    struct Case {
        std::uint64_t offset;
        std::string bytes;
        int digits;
        const char* row;
    };
    const Case cases[] = {
        {0x10, std::string("Hello, world\n\0\xFF" "A", 16), 8,
         "00000010  48 65 6C 6C 6F 2C 20 77  6F 72 6C 64 0A 00 FF 41  Hello, world...A"},
        // A short last row keeps the ASCII column where it always is.
        {0x20, "abc", 8,
         "00000020  61 62 63                                          abc"},
        {0, "", 8, "00000000                                                    "},
        {0x123456789, "\x7F ~", 9, "123456789  7F 20 7E                                          . ~"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatHexRow(c.offset, c.bytes, c.digits), c.row);
    }
}

TEST(HexFormatTest, ColumnsPointAtTheirByte) {
    const std::string row = FormatHexRow(0, "0123456789abcdef", 8);
    for (int i = 0; i < kHexBytesPerRow; ++i) {
        const char ch = "0123456789abcdef"[i];
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(ch));
        EXPECT_EQ(row.substr(static_cast<std::size_t>(HexColumnOf(i, 8)), 2), hex) << i;
        EXPECT_EQ(row[static_cast<std::size_t>(AsciiColumnOf(i, 8))], ch) << i;
    }
}

TEST(HexFormatTest, OffsetDigitsGrowOnlyBeyondFourGibibytes) {
    EXPECT_EQ(OffsetDigitsFor(0), 8);
    EXPECT_EQ(OffsetDigitsFor(1u << 30), 8);
    EXPECT_EQ(OffsetDigitsFor(0x100000000ull), 8);  // last offset 0xFFFFFFFF
    EXPECT_EQ(OffsetDigitsFor(0x100000001ull), 9);
    EXPECT_EQ(OffsetDigitsFor(UINT64_MAX), 16);
}

TEST(HexFormatTest, ParsesOffsets) {
    struct Case {
        const char* text;
        std::optional<std::uint64_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"1234", 1234},
        {"  42 ", 42},
        {"0x1F", 0x1F},
        {"0XfF", 0xFF},
        {"0xFFFFFFFFFFFFFFFF", UINT64_MAX},
        {"18446744073709551615", UINT64_MAX},
        {"18446744073709551616", std::nullopt},  // one more than 64 bits hold
        {"0x10000000000000000", std::nullopt},
        {"", std::nullopt},
        {"0x", std::nullopt},
        {"1F", std::nullopt},  // hexadecimal needs its 0x
        {"-1", std::nullopt},
        {"12 34", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseOffset(c.text), c.value) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace qvr::viewers
