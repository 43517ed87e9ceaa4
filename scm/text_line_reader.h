#pragma once
// Reads the tools' output files the way the program has always read them: as
// text (a carriage return and line feed pair reads as one line feed). By
// default one read yields at most 2047 characters, as the old 2048-byte line
// buffer did, and a longer line arrives as several pieces. A reader made for
// whole lines instead yields each line whole up to its limit and fails on a
// longer one (LineTooLong), so no line is ever cut into a junk row.
// Bytes are passed through as they are: NUL bytes and text that is not valid
// UTF-8 are ordinary characters here.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace qvr {

inline constexpr std::size_t kLinePieceLimit = 2047;
// The longest line a whole-line reader accepts: far beyond any real path.
inline constexpr std::size_t kLongestLine = 64 * 1024;

class TextLineReader {
public:
    // The log is read in blocks this large: a listing of a few hundred
    // thousand lines takes a few dozen reads.
    static constexpr std::size_t kReadBlock = std::size_t{1} << 20;

    TextLineReader() = default;
    // Whole lines of up to longestLine characters.
    explicit TextLineReader(std::size_t longestLine) : m_limit(longestLine), m_wholeLines(true) {}
    ~TextLineReader() { Close(); }
    TextLineReader(const TextLineReader&) = delete;
    TextLineReader& operator=(const TextLineReader&) = delete;

    // Opens for reading; other processes may keep the file open meanwhile.
    bool Open(const std::string& path);
    // The same for the bytes [begin, end) alone, read as if they were the
    // whole file; a part that begins right after a line feed reads as the
    // lines it holds.
    bool Open(const std::string& path, std::uint64_t begin, std::uint64_t end);
    void Close();

    // The next piece, cut at its line feed (the line feed is not kept).
    // False at the end of the file or when a read fails (see Failed()).
    bool ReadPiece(std::string& piece);
    // The same piece as a view, valid until the next read or Close(). A piece
    // lying whole in the read buffer is not copied, which is nearly every one.
    bool ReadPiece(std::string_view& piece);
    bool Failed() const { return m_failed; }
    // The read failed on a line longer than a whole-line reader's limit.
    bool LineTooLong() const { return m_lineTooLong; }

private:
    bool Fill();
    // Next character after text-mode translation; false at the end.
    bool NextChar(char& c);

    std::FILE* m_file = nullptr;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    // Bytes of the file still to be read.
    std::uint64_t m_left = UINT64_MAX;
    bool m_eof = false;
    bool m_failed = false;
    bool m_lineTooLong = false;
    std::size_t m_limit = kLinePieceLimit;
    bool m_wholeLines = false;
    // Where a piece the view cannot show directly is put together.
    std::string m_piece;
};

}  // namespace qvr
