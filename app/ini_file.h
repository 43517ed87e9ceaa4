#pragma once
// Plain INI files as the platform's private-profile functions treat them:
// "[Section]" lines, "Key=Value" lines, names compared without letter case,
// blanks around names and values ignored. The program reads its install
// directory from one and records its return code in another.

#include <string>
#include <string_view>

namespace qvr {

// The value of key in section, or def when the file, section or key is
// missing. A value quoted as a whole loses its quotes.
std::string ReadIniValue(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view def);

// Sets key in section to value, keeping every other line of the file as it
// was; adds the key, the section or the file as needed. The file is replaced
// in one step, so a reader never sees it half written. False on failure.
bool WriteIniValue(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value);

}  // namespace qvr
