#pragma once
// File-name patterns as the directory listings of the program's home platform
// read them: "*" any run of characters, "?" any one character, letters
// compared without case, and a pattern ending in ".*" also matching names
// without an extension (so "*.*" matches every name).

#include <string_view>

namespace qvr {

bool MatchFileNamePattern(std::string_view pattern, std::string_view name);

}  // namespace qvr
