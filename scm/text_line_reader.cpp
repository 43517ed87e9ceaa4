#include "scm/text_line_reader.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qvr {
namespace {

// Where the first carriage return or line feed of [start, start + size)
// lies, or size when there is none: one look at each byte for both.
std::size_t FindLineBreak(const char* start, std::size_t size) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i feed = _mm_set1_epi8('\n');
    const __m128i ret = _mm_set1_epi8('\r');
    for (; i + 16 <= size; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + i));
        const auto hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, feed), _mm_cmpeq_epi8(bytes, ret))));
        if (hits != 0) return i + static_cast<std::size_t>(__builtin_ctz(hits));
    }
#endif
    for (; i < size; ++i) {
        if (start[i] == '\n' || start[i] == '\r') return i;
    }
    return size;
}

bool SeekTo(std::FILE* file, std::uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

bool TextLineReader::Open(const std::string& path) { return Open(path, 0, UINT64_MAX); }

bool TextLineReader::Open(const std::string& path, std::uint64_t begin, std::uint64_t end) {
    Close();
    m_file = std::fopen(path.c_str(), "rb");
    m_buffer.resize(kReadBlock);
    m_pos = m_end = 0;
    m_left = end > begin ? end - begin : 0;
    m_eof = m_failed = m_lineTooLong = false;
    if (m_file && begin > 0 && !SeekTo(m_file, begin)) {
        Close();
        return false;
    }
    return m_file != nullptr;
}

void TextLineReader::Close() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
}

bool TextLineReader::Fill() {
    if (m_eof || !m_file) return false;
    m_pos = 0;
    m_end = m_left == 0 ? 0 : std::fread(m_buffer.data(), 1, std::min<std::uint64_t>(m_buffer.size(), m_left), m_file);
    m_left -= m_end;
    if (m_end == 0) {
        m_eof = true;
        if (std::ferror(m_file)) m_failed = true;
        return false;
    }
    return true;
}

bool TextLineReader::NextChar(char& c) {
    if (m_pos == m_end && !Fill()) return false;
    c = m_buffer[m_pos++];
    if (c != '\r') return true;
    // A carriage return right before a line feed is dropped, as text mode does.
    if (m_pos == m_end && !Fill()) return true;
    if (m_buffer[m_pos] == '\n') {
        c = '\n';
        ++m_pos;
    }
    return true;
}

bool TextLineReader::ReadPiece(std::string& piece) {
    piece.clear();
    if (!m_file || m_failed) return false;
    bool any = false;
    // A whole-line reader reads one character past its limit to tell a line
    // of exactly the limit from a longer one.
    const std::size_t cap = m_wholeLines ? m_limit + 1 : m_limit;
    while (piece.size() < cap) {
        if (m_pos == m_end && !Fill()) break;
        any = true;
        // Copy the plain run of characters in one step; line ends are
        // handled one at a time below.
        std::size_t avail = std::min(cap - piece.size(), m_end - m_pos);
        const char* start = m_buffer.data() + m_pos;
        std::size_t n = avail;
        if (const void* feed = std::memchr(start, '\n', n)) n = static_cast<std::size_t>(static_cast<const char*>(feed) - start);
        if (const void* ret = std::memchr(start, '\r', n)) n = static_cast<std::size_t>(static_cast<const char*>(ret) - start);
        piece.append(start, n);
        m_pos += n;
        if (n == avail) continue;
        char c = 0;
        NextChar(c);
        if (c == '\n') return true;
        piece += c;  // a carriage return on its own is an ordinary character
    }
    if (m_wholeLines && piece.size() > m_limit) {
        m_failed = m_lineTooLong = true;
        return false;
    }
    return any && !m_failed;
}

bool TextLineReader::ReadPiece(std::string_view& piece) {
    piece = {};
    if (!m_file || m_failed) return false;
    if (m_pos < m_end) {
        // A line whose end is in the buffer, within the piece limit, and that
        // holds no carriage return but one right before its line feed, is
        // shown where it lies.
        const char* start = m_buffer.data() + m_pos;
        const std::size_t avail = std::min(m_limit, m_end - m_pos);
        const std::size_t lineBreak = FindLineBreak(start, avail);
        std::size_t breakLength = 0;
        if (lineBreak < avail && start[lineBreak] == '\n') {
            breakLength = 1;
        } else if (lineBreak + 1 < avail && start[lineBreak + 1] == '\n') {
            breakLength = 2;  // the carriage return before the line feed
        }
        if (breakLength > 0) {
            piece = std::string_view(start, lineBreak);
            m_pos += lineBreak + breakLength;
            return true;
        }
    }
    if (!ReadPiece(m_piece)) return false;
    piece = m_piece;
    return true;
}

}  // namespace qvr
