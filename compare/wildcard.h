#pragma once
// File-name patterns as the directory listings of the program's home platform
// read them: "*" any run of characters, "?" any one character, letters
// compared without case, and a pattern ending in ".*" also matching names
// without an extension (so "*.*" matches every name).

#include <string>
#include <string_view>
#include <vector>

namespace qvr {

bool MatchFileNamePattern(std::string_view pattern, std::string_view name);

// The names the report leaves out: patterns separated by ";", blanks around
// each one dropped, empty ones ignored.
std::vector<std::string> SplitExcludePatterns(std::string_view patterns);
// True when a file or folder name matches one of the patterns: "*" any run
// of characters, "?" any one, letters compared as the platform's file names
// compare them (without case on Windows only). No ".*" rule here: "*.*"
// leaves out only names with a dot.
bool NameIsExcluded(const std::vector<std::string>& patterns, std::string_view name);

}  // namespace qvr
