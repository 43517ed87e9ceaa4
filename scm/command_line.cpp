#include "scm/command_line.h"

namespace qvr {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool NeedsQuotes(std::string_view value) {
    for (char c : value) {
        if (IsBlank(c) || c == '"') return true;
    }
    return false;
}

// A placeholder counts as quoted when a double quote stands right before the
// "%" and right after the "s".
bool IsQuotedPlaceholder(std::string_view format, std::size_t percent) {
    return percent > 0 && format[percent - 1] == '"' && percent + 2 < format.size() &&
           format[percent + 2] == '"';
}

template <typename Fill>
std::string FillTemplate(std::string_view format, const std::vector<std::string>& values,
                         Fill fill) {
    std::string out;
    out.reserve(format.size() + 64);
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        char directive = format[i + 1];
        if (directive == '%') {
            out += '%';
            ++i;
        } else if (directive == 's') {
            std::string_view value = next < values.size() ? values[next] : std::string_view();
            ++next;
            out += fill(value, IsQuotedPlaceholder(format, i));
            ++i;
        } else {
            out += c;  // not ours: copied literally, the next character follows as text
        }
    }
    return out;
}

// Quote state of a command line at position end, by the splitting rules.
bool InsideQuotesAt(std::string_view line, std::size_t end) {
    bool quoted = false;
    for (std::size_t i = 0; i < end; ++i) {
        if (line[i] != '"') continue;
        if (quoted && i + 1 < end && line[i + 1] == '"') {
            ++i;
        } else {
            quoted = !quoted;
        }
    }
    return quoted;
}

}  // namespace

std::string DoubleQuotes(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        out += c;
        if (c == '"') out += '"';
    }
    return out;
}

std::string QuoteArgument(std::string_view value) {
    if (!NeedsQuotes(value)) return std::string(value);
    return '"' + DoubleQuotes(value) + '"';
}

std::string FormatCommandTemplate(std::string_view format, const std::vector<std::string>& values) {
    return FillTemplate(format, values, [](std::string_view value, bool quoted) {
        if (quoted) return DoubleQuotes(value);
        return QuoteArgument(value);
    });
}

void MaskPassword(std::string& line, std::string_view password) {
    if (password.empty()) return;
    const std::string quoted = DoubleQuotes(password);
    const std::string_view mask = kPasswordMask;
    const auto isWordCharacter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    // Standing as a word of its own: part of a longer word ("-pw" holding a
    // one-letter password, a path) is left, or the mask would give it away.
    const auto standsAlone = [&](std::size_t at, std::size_t length) {
        return (at == 0 || !isWordCharacter(line[at - 1])) &&
               (at + length == line.size() || !isWordCharacter(line[at + length]));
    };
    std::string out;
    out.reserve(line.size());
    std::size_t i = 0;
    while (i < line.size()) {
        const std::string_view rest = std::string_view(line).substr(i);
        // The longer form first: inside quotes the whole doubled text is the
        // password, not just its beginning.
        if (rest.starts_with(quoted) && standsAlone(i, quoted.size())) {
            out += mask;
            i += quoted.size();
        } else if (rest.starts_with(password) && standsAlone(i, password.size())) {
            out += mask;
            i += password.size();
        } else {
            out += line[i++];
        }
    }
    line = std::move(out);
}

ToolCommandLine::ToolCommandLine(std::string_view format, const std::vector<std::string>& values,
                                 std::size_t passwordIndex)
    : m_launched(FormatCommandTemplate(format, values)) {
    std::vector<std::string> masked = values;
    if (passwordIndex < masked.size()) masked[passwordIndex] = kPasswordMask;
    m_masked = FormatCommandTemplate(format, masked);
}

std::string FormatPlainTemplate(std::string_view format, const std::vector<std::string>& values) {
    return FillTemplate(format, values,
                        [](std::string_view value, bool) { return std::string(value); });
}

std::string ReplaceFileName(std::string_view commandLine, std::string_view fileName,
                            std::string_view path) {
    std::string out;
    if (fileName.empty()) return std::string(commandLine);
    std::size_t from = 0;
    for (std::size_t at = commandLine.find(fileName); at != std::string_view::npos;
         at = commandLine.find(fileName, from)) {
        out.append(commandLine.substr(from, at - from));
        if (InsideQuotesAt(commandLine, at)) {
            out += DoubleQuotes(path);
        } else {
            out += QuoteArgument(path);
        }
        from = at + fileName.size();
    }
    out.append(commandLine.substr(from));
    return out;
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        char c = commandLine[i];
        if (quoted) {
            if (c != '"') {
                current += c;
            } else if (i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
                current += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (IsBlank(c)) {
            if (inArgument) args.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else if (c == '"') {
            quoted = true;
            inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) args.push_back(std::move(current));
    return args;
}

}  // namespace qvr
