#include "tools/viewers/text_file_format.h"

#include <gtest/gtest.h>

#include <string>

namespace qvr::viewers {
namespace {

TEST(TextFileFormatTest, DecodesForEditing) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
        TextFileFormat format;
    };
    const Case cases[] = {
        {"empty", "", "", {}},
        {"LF", "a\nb\n", "a\nb\n", {}},
        {"CR LF", "a\r\nb\r\n", "a\nb\n", {LineEnd::CrLf, TextEncoding::Utf8, false, false, false}},
        {"mixed, mostly CR LF", "a\r\nb\r\nc\n", "a\nb\nc\n", {LineEnd::CrLf, TextEncoding::Utf8, false, true, false}},
        {"mixed, mostly LF", "a\nb\nc\r\n", "a\nb\nc\n", {LineEnd::Lf, TextEncoding::Utf8, false, true, false}},
        {"UTF-8 with BOM", "\xEF\xBB\xBF\xC3\xA9t\xC3\xA9\n", "\xC3\xA9t\xC3\xA9\n", {LineEnd::Lf, TextEncoding::Utf8, true, false, false}},
        {"Latin-1", "caf\xE9\n", "caf\xC3\xA9\n", {LineEnd::Lf, TextEncoding::Latin1, false, false, false}},
        {"lone CR", "a\rb\n", "a\xE2\x90\x8D" "b\n", {LineEnd::Lf, TextEncoding::Utf8, false, false, true}},
    };
    for (const auto& c : cases) {
        DecodedText decoded = DecodeTextFile(c.bytes);
        EXPECT_EQ(decoded.text, c.text) << c.name;
        EXPECT_EQ(decoded.format, c.format) << c.name;
    }
}

TEST(TextFileFormatTest, UnchangedTextIsSavedByteForByte) {
    const std::string files[] = {
        "",
        "no line end",
        "a\nb\n",
        "a\r\nb\r\n",
        "a\r\nlast without line end",
        "\xEF\xBB\xBF" "bom\r\n",
        "caf\xE9 \xA0 nbsp\r\n",         // Latin-1, non-breaking space kept
        "\xEF\xBB\xBF\xFF not UTF-8\n",  // a BOM before bytes that are no UTF-8
        "old\rmac\rline ends",
        "a\r\r\nb\r\n",
        std::string("nul\0byte\n", 9),
        "\xED\xA0\x80 surrogate bytes\n",  // not valid UTF-8: kept as Latin-1
        "\xC0\xAF overlong\n",
    };
    for (const auto& bytes : files) {
        DecodedText decoded = DecodeTextFile(bytes);
        EXPECT_EQ(EncodeTextFile(decoded.text, decoded.format), bytes) << bytes;
    }
}

TEST(TextFileFormatTest, EditedTextGetsTheFileLineEnds) {
    DecodedText decoded = DecodeTextFile("one\r\ntwo\r\n");
    EXPECT_EQ(EncodeTextFile("one\ntwo\nthree\n", decoded.format), "one\r\ntwo\r\nthree\r\n");
    // A mixed file is saved with its more frequent line end throughout.
    decoded = DecodeTextFile("a\r\nb\r\nc\n");
    EXPECT_EQ(EncodeTextFile(decoded.text, decoded.format), "a\r\nb\r\nc\r\n");
}

TEST(TextFileFormatTest, CharactersLatin1CannotHoldBecomeQuestionMarks) {
    DecodedText decoded = DecodeTextFile("caf\xE9\n");
    EXPECT_EQ(EncodeTextFile("caf\xC3\xA9 \xE2\x82\xAC\n", decoded.format), "caf\xE9 ?\n");
}

TEST(TextFileFormatTest, ValidatesUtf8) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xC3"));           // cut short
    EXPECT_FALSE(IsValidUtf8("\xE9t\xE9"));      // Latin-1
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\x80"));   // overlong
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

}  // namespace
}  // namespace qvr::viewers
