#pragma once
// How the editor keeps a file's bytes intact through an edit: the file's line
// ends and encoding are noted when it is opened, the text is edited with "\n"
// line ends in UTF-8, and saving puts the file's own line ends and encoding
// back.
//
// - Line ends: a file whose line ends are all (or mostly) CR LF is saved with
//   CR LF; otherwise with LF. A file that mixes both is saved with the more
//   frequent one and the editor says so, instead of changing it silently.
// - Encoding: valid UTF-8 stays UTF-8 (a byte-order mark is kept); any other
//   byte sequence is read as Latin-1, one character per byte, and written back
//   the same way, so every byte survives.
// - A carriage return that does not end a line would start a new line in the
//   edit box; it is shown as the symbol U+240D instead and written back as a
//   carriage return (unless the file already holds that symbol, in which case
//   the file is left as the user's text says).

#include <string>
#include <string_view>

namespace qvr::viewers {

enum class LineEnd { Lf, CrLf };
enum class TextEncoding { Utf8, Latin1 };

struct TextFileFormat {
    LineEnd lineEnd = LineEnd::Lf;
    TextEncoding encoding = TextEncoding::Utf8;
    bool byteOrderMark = false;
    bool mixedLineEnds = false;
    bool carriageReturnSymbol = false;  // lone CRs are shown as U+240D

    bool operator==(const TextFileFormat&) const = default;
};

// The text to edit: UTF-8, each CR LF turned into "\n" (a lone CR stays).
struct DecodedText {
    std::string text;
    TextFileFormat format;
};

bool IsValidUtf8(std::string_view bytes);

DecodedText DecodeTextFile(std::string_view bytes);

// The bytes to write for the edited text ("\n" line ends, UTF-8). A character
// that Latin-1 cannot hold, typed into a Latin-1 file, is written as "?".
std::string EncodeTextFile(std::string_view text, const TextFileFormat& format);

}  // namespace qvr::viewers
