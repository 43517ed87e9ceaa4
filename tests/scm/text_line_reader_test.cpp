#include "scm/text_line_reader.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace qvr::testing {
namespace {

std::vector<std::string> Pieces(const std::string& content) {
    TempDir dir;
    auto path = dir.Write("log.txt", content);
    TextLineReader reader;
    EXPECT_TRUE(reader.Open(path.string()));
    std::vector<std::string> pieces;
    std::string piece;
    while (reader.ReadPiece(piece)) pieces.push_back(piece);
    EXPECT_FALSE(reader.Failed());
    return pieces;
}

TEST(TextLineReaderTest, LineEndsAndPieces) {
    using Lines = std::vector<std::string>;
    const std::string a2047(2047, 'a');
    struct Case {
        const char* name;
        std::string content;
        Lines expected;
    };
    const Case cases[] = {
        {"LF", "one\ntwo\n", {"one", "two"}},
        {"CR LF", "one\r\ntwo\r\n", {"one", "two"}},
        {"mixed, last line open", "one\r\n\ntwo\nthree", {"one", "", "two", "three"}},
        {"lone CR is a character", "a\rb\r\r\n", {"a\rb\r"}},
        {"empty file", "", {}},
        {"NUL bytes kept", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
        {"invalid UTF-8 kept", "\xff\xfe\xc3\n", {"\xff\xfe\xc3"}},
        {"long line in pieces", std::string(5000, 'x') + "\nnext\n",
         {std::string(2047, 'x'), std::string(2047, 'x'), std::string(906, 'x'), "next"}},
        {"2046 characters fit one read", std::string(2046, 'a') + "\nb",
         {std::string(2046, 'a'), "b"}},
        {"2047 characters leave the line end to the next read", a2047 + "\nb", {a2047, "", "b"}},
        {"CR LF counts as one character", std::string(2046, 'a') + "\r\nb",
         {std::string(2046, 'a'), "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Pieces(c.content), c.expected);
    }
}

TEST(TextLineReaderTest, CarriageReturnAcrossTheReadBuffer) {
    // The pair is split between two fills of the 64 KiB buffer.
    std::string first(65535, 'z');
    std::string content;
    for (std::size_t i = 0; i < first.size(); i += 1000) content += std::string(999, 'q') + "\n";
    content.resize(65535, 'w');
    content += "\r\nafter\n";
    auto pieces = Pieces(content);
    ASSERT_GE(pieces.size(), 2u);
    EXPECT_EQ(pieces.back(), "after");
    EXPECT_EQ(pieces[pieces.size() - 2].find('\r'), std::string::npos);
}

// Both ways of reading give the same pieces: the view shows the buffer where
// it can and falls back to the copy for the rest. A part of the file
// [begin, end) reads as if it were all there is.
std::vector<std::string> ViewPieces(const std::string& content, std::uint64_t begin = 0,
                                    std::uint64_t end = UINT64_MAX) {
    TempDir dir;
    auto path = dir.Write("log.txt", content);
    TextLineReader reader;
    EXPECT_TRUE(reader.Open(path.string(), begin, end));
    std::vector<std::string> pieces;
    std::string_view piece;
    while (reader.ReadPiece(piece)) pieces.emplace_back(piece);
    EXPECT_FALSE(reader.Failed());
    return pieces;
}

TEST(TextLineReaderTest, ViewsGiveTheSamePiecesAsCopies) {
    const std::size_t block = TextLineReader::kReadBlock;
    // Content that puts a line end, a CR LF pair, a lone CR and a long line
    // across the end of the first read block.
    auto around = [block](std::size_t before, const std::string& tail) {
        std::string content;
        while (content.size() + 1000 < before) content += std::string(999, 'q') + "\n";
        content.resize(before, 'w');
        return content + tail;
    };
    struct Case {
        const char* name;
        std::string content;
    };
    const Case cases[] = {
        {"LF", "one\ntwo\n"},
        {"CR LF", "one\r\ntwo\r\n"},
        {"lone CR", "a\rb\r\r\n\rc\n"},
        {"line ends beyond the first sixteen bytes", std::string(20, 'p') + "\r" + std::string(17, 'q') + "\r\n" +
                                                         std::string(33, 'r') + "\r\r\n" + std::string(16, 's') + "\n"},
        {"long lines", std::string(5000, 'x') + "\n" + std::string(2046, 'a') + "\r\n" + std::string(2047, 'b') +
                           "\n" + std::string(2045, 'c') + "\r\r\nend"},
        {"CR LF split by the block end", around(block - 1, "\r\nafter\n")},
        {"LF first in the next block", around(block, "\nafter\n")},
        {"line across the block end", around(block - 10, std::string(40, 'z') + "\nafter\r\n")},
        {"piece limit across the block end", around(block - 100, std::string(3000, 'y') + "\nafter")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> copies = Pieces(c.content);
        EXPECT_EQ(ViewPieces(c.content), copies);
        EXPECT_FALSE(copies.empty());
        // Read in two parts cut after a line feed, the same pieces.
        const std::size_t split = c.content.find('\n', c.content.size() / 2) + 1;
        if (split == 0) continue;
        std::vector<std::string> parts = ViewPieces(c.content, 0, split);
        for (std::string& piece : ViewPieces(c.content, split)) parts.push_back(std::move(piece));
        EXPECT_EQ(parts, copies);
    }
}

TEST(TextLineReaderTest, MissingFileDoesNotOpen) {
    TempDir dir;
    TextLineReader reader;
    EXPECT_FALSE(reader.Open((dir / "missing").string()));
    std::string piece;
    EXPECT_FALSE(reader.ReadPiece(piece));
    std::string_view view;
    EXPECT_FALSE(reader.ReadPiece(view));
}

}  // namespace
}  // namespace qvr::testing
