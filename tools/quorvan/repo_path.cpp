#include "tools/quorvan/repo_path.h"

#include <ctime>

namespace qvr::quorvan {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::vector<std::string> SplitRepoPath(std::string_view normalized) {
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= normalized.size()) {
        std::size_t end = normalized.find('\\', start);
        if (end == std::string_view::npos) end = normalized.size();
        if (end > start) parts.emplace_back(normalized.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool IsSafeLocalName(const std::string& part) {
    return !part.empty() && part != "." && part != ".." && part.find('/') == std::string::npos &&
           part.find('\0') == std::string::npos;
}

bool MatchFrom(std::string_view pattern, std::string_view name) {
    // Iterative matcher with one backtrack point for the last "*".
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

std::string NormalizeRepoPath(std::string_view path) {
    std::string result = "\\";
    for (char c : path) {
        if (c == '\\') {
            if (result.back() != '\\') result += '\\';
        } else {
            result += c;
        }
    }
    if (result.size() > 1 && result.back() == '\\') result.pop_back();
    return result;
}

std::string JoinRepoPath(std::string_view folder, std::string_view file) {
    std::string result(folder);
    if (result.empty() || result.back() != '\\') result += '\\';
    result += file;
    return result;
}

bool IsInView(std::string_view folder, std::string_view viewPath, bool recursive) {
    if (folder == viewPath) return true;
    if (!recursive) return false;
    if (viewPath == "\\") return true;
    return folder.size() > viewPath.size() && folder.substr(0, viewPath.size()) == viewPath &&
           folder[viewPath.size()] == '\\';
}

std::optional<std::vector<std::string>> LocalParts(std::string_view repoPath,
                                                   std::string_view viewPath) {
    std::string path = NormalizeRepoPath(repoPath);
    std::string view = NormalizeRepoPath(viewPath);
    std::string_view below;
    if (view == "\\") {
        below = path;
    } else if (path.size() > view.size() && path.compare(0, view.size(), view) == 0 &&
               path[view.size()] == '\\') {
        below = std::string_view(path).substr(view.size());
    } else {
        return std::nullopt;
    }
    auto parts = SplitRepoPath(below);
    if (parts.empty()) return std::nullopt;
    for (const auto& part : parts) {
        if (!IsSafeLocalName(part)) return std::nullopt;
    }
    return parts;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    return MatchFrom(pattern, name);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

std::string FormatListingDate(std::int64_t secondsSinceEpoch) {
    std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%m/%d/%Y %H:%M:%S", &tm);
    return text;
}

bool HasLineBreakingChar(std::string_view text) {
    return text.find_first_of(std::string_view("\t\n\r\0", 4)) != std::string_view::npos;
}

}  // namespace qvr::quorvan
