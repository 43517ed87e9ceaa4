#include "app/ini_file.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "app/platform.h"

namespace qvr {
namespace {

std::string_view Trim(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    return platform::LowerAscii(a) == platform::LowerAscii(b);
}

// The section name of a "[Section]" line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    std::size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> ParseKeyLine(std::string_view line) {
    std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
    std::size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return KeyLine{Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1))};
}

std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\''))) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Lines without their "\n"; a "\r" before it stays with the line.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Where the key's line is, or where a new key line of the section belongs
// (after its last key line), or nothing when the section is missing.
struct Location {
    std::optional<std::size_t> keyLine;
    std::optional<std::size_t> insertAt;
};

Location Locate(const std::vector<std::string>& lines, std::string_view section,
                std::string_view key) {
    Location where;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i])) {
            inSection = SameName(*name, section);
            if (inSection && !where.insertAt) where.insertAt = i + 1;
            continue;
        }
        if (!inSection) continue;
        auto entry = ParseKeyLine(lines[i]);
        if (!entry) continue;
        where.insertAt = i + 1;
        if (SameName(entry->key, key)) {
            where.keyLine = i;
            return where;
        }
    }
    return where;
}

bool ReplaceFile(const std::string& path, const std::string& text) {
    std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (!platform::ReplaceFileWith(temporary, path)) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string ReadIniValue(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view def) {
    auto text = ReadWholeFile(path);
    if (!text) return std::string(def);
    std::vector<std::string> lines = SplitLines(*text);
    Location where = Locate(lines, section, key);
    if (!where.keyLine) return std::string(def);
    return Unquote(ParseKeyLine(lines[*where.keyLine])->value);
}

bool WriteIniValue(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value) {
    std::string text = ReadWholeFile(path).value_or(std::string());
    // New lines follow the file's own line ends.
    std::string lineEnd = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::string cr = lineEnd.size() == 2 ? "\r" : "";
    std::vector<std::string> lines = SplitLines(text);
    std::string keyLine = std::string(key) + "=" + std::string(value) + cr;

    Location where = Locate(lines, section, key);
    if (where.keyLine) {
        lines[*where.keyLine] = keyLine;
    } else if (where.insertAt) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*where.insertAt), keyLine);
    } else {
        // Appended piece by piece: g++ 12 at -O3 takes "[" + text for an
        // overlapping copy (-Wrestrict) and would stop an optimised build.
        std::string sectionLine(1, '[');
        sectionLine += section;
        sectionLine += ']';
        sectionLine += cr;
        lines.push_back(std::move(sectionLine));
        lines.push_back(keyLine);
    }

    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += '\n';
    }
    return ReplaceFile(path, out);
}

}  // namespace qvr
