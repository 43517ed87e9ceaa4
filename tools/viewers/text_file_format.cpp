#include "tools/viewers/text_file_format.h"

#include <cstdint>

namespace qvr::viewers {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kCrSymbol = "\xE2\x90\x8D";  // U+240D

unsigned char Byte(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// Length of the UTF-8 sequence that starts with lead, 0 when lead cannot
// start one.
std::size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Rejects overlong forms, surrogates and code points above U+10FFFF, which a
// text codec would not give back byte for byte.
bool SecondByteAllowed(unsigned char lead, unsigned char second) {
    if (lead == 0xE0) return second >= 0xA0;
    if (lead == 0xED) return second <= 0x9F;
    if (lead == 0xF0) return second >= 0x90;
    if (lead == 0xF4) return second <= 0x8F;
    return true;
}

struct LineEndCounts {
    std::size_t crlf = 0;
    std::size_t lf = 0;
};

LineEndCounts CountLineEnds(std::string_view bytes) {
    LineEndCounts counts;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\n') continue;
        if (i > 0 && bytes[i - 1] == '\r') ++counts.crlf;
        else ++counts.lf;
    }
    return counts;
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        unsigned char lead = Byte(text, i);
        std::size_t length = SequenceLength(lead);
        if (length == 2 && i + 1 < text.size() && lead <= 0xC3) {
            out += static_cast<char>(((lead & 0x1F) << 6) | (Byte(text, i + 1) & 0x3F));
            i += 2;
        } else if (length == 1) {
            out += static_cast<char>(lead);
            ++i;
        } else {
            out += '?';
            i += length == 0 ? 1 : length;
        }
    }
    return out;
}

std::string CrLfToLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

std::string LfToCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t hit; (hit = text.find(from, start)) != std::string_view::npos;
         start = hit + from.size()) {
        out.append(text.substr(start, hit - start));
        out.append(to);
    }
    out.append(text.substr(start));
    return out;
}

// Called on text whose CR LF pairs are already "\n": every CR left is a lone one.
void ProtectLoneCarriageReturns(DecodedText& decoded) {
    std::string& text = decoded.text;
    if (text.find('\r') == std::string::npos || text.find(kCrSymbol) != std::string::npos) return;
    text = ReplaceAll(text, "\r", kCrSymbol);
    decoded.format.carriageReturnSymbol = true;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        unsigned char lead = Byte(bytes, i);
        std::size_t length = SequenceLength(lead);
        if (length == 0 || i + length > bytes.size()) return false;
        if (length > 1 && !SecondByteAllowed(lead, Byte(bytes, i + 1))) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if (!IsContinuation(Byte(bytes, i + k))) return false;
        }
        i += length;
    }
    return true;
}

DecodedText DecodeTextFile(std::string_view bytes) {
    DecodedText decoded;
    TextFileFormat& format = decoded.format;
    if (bytes.substr(0, kBom.size()) == kBom) {
        format.byteOrderMark = true;
        bytes.remove_prefix(kBom.size());
    }
    LineEndCounts counts = CountLineEnds(bytes);
    format.lineEnd = counts.crlf > counts.lf ? LineEnd::CrLf : LineEnd::Lf;
    format.mixedLineEnds = counts.crlf > 0 && counts.lf > 0;
    if (IsValidUtf8(bytes)) {
        decoded.text = CrLfToLf(bytes);
    } else {
        // A byte-order mark in front of bytes that are not UTF-8 is just
        // three more Latin-1 characters.
        format.encoding = TextEncoding::Latin1;
        if (format.byteOrderMark) {
            format.byteOrderMark = false;
            decoded.text = CrLfToLf(Latin1ToUtf8(kBom));
        }
        decoded.text += CrLfToLf(Latin1ToUtf8(bytes));
    }
    ProtectLoneCarriageReturns(decoded);
    return decoded;
}

std::string EncodeTextFile(std::string_view text, const TextFileFormat& format) {
    std::string body = format.carriageReturnSymbol ? ReplaceAll(text, kCrSymbol, "\r")
                                                   : std::string(text);
    if (format.lineEnd == LineEnd::CrLf) body = LfToCrLf(body);
    if (format.encoding == TextEncoding::Latin1) return Utf8ToLatin1(body);
    return format.byteOrderMark ? std::string(kBom) + body : body;
}

}  // namespace qvr::viewers
