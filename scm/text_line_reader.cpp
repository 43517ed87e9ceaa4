#include "scm/text_line_reader.h"

#include <algorithm>
#include <cstring>

namespace qvr {

bool TextLineReader::Open(const std::string& path) {
    Close();
    m_file = std::fopen(path.c_str(), "rb");
    m_buffer.resize(kReadBlock);
    m_pos = m_end = 0;
    m_eof = m_failed = m_lineTooLong = false;
    return m_file != nullptr;
}

void TextLineReader::Close() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
}

bool TextLineReader::Fill() {
    if (m_eof || !m_file) return false;
    m_pos = 0;
    m_end = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
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
        if (const void* feed = std::memchr(start, '\n', avail)) {
            std::size_t length = static_cast<std::size_t>(static_cast<const char*>(feed) - start);
            const std::size_t content = length > 0 && start[length - 1] == '\r' ? length - 1 : length;
            if (!std::memchr(start, '\r', content)) {
                piece = std::string_view(start, content);
                m_pos += length + 1;
                return true;
            }
        }
    }
    if (!ReadPiece(m_piece)) return false;
    piece = m_piece;
    return true;
}

}  // namespace qvr
