#include "compare/wildcard.h"

#include <algorithm>

#include "app/platform.h"

namespace qvr {
namespace {

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Greedy match with one backtrack point: the last "*" seen is the only one
// worth retrying, which keeps the match linear in practice.
bool Glob(std::string_view pattern, std::string_view name, bool foldCase = true) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || pattern[p] == name[n] ||
                    (foldCase && FoldCase(pattern[p]) == FoldCase(name[n])))) {
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

bool MatchFileNamePattern(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    if (Glob(pattern, name)) return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
        return Glob(pattern.substr(0, pattern.size() - 2), name);
    }
    return false;
}

std::vector<std::string> SplitExcludePatterns(std::string_view patterns) {
    std::vector<std::string> split;
    while (!patterns.empty()) {
        const std::size_t end = std::min(patterns.find(';'), patterns.size());
        std::string_view one = patterns.substr(0, end);
        while (!one.empty() && (one.front() == ' ' || one.front() == '\t')) one.remove_prefix(1);
        while (!one.empty() && (one.back() == ' ' || one.back() == '\t')) one.remove_suffix(1);
        if (!one.empty()) split.emplace_back(one);
        patterns.remove_prefix(std::min(end + 1, patterns.size()));
    }
    return split;
}

bool NameIsExcluded(const std::vector<std::string>& patterns, std::string_view name) {
    for (const std::string& pattern : patterns) {
        if (Glob(pattern, name, platform::kIsWindows)) return true;
    }
    return false;
}

}  // namespace qvr
