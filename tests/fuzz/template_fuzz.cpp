// The template formatter: any template with any values fills without a
// crash, and a value put into the program's two placeholder forms (quoted
// "%s" and bare %s) comes back as exactly one argument when the line is split.
//
// Input: the template, then the values, separated by NUL bytes.

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "scm/command_line.h"

namespace {

std::vector<std::string> SplitAtNul(std::string_view input) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = input.find('\0', begin);
        parts.emplace_back(input.substr(begin, end - begin));
        if (end == std::string_view::npos) return parts;
        begin = end + 1;
    }
}

void CheckStaysOneArgument(const std::string& format, const std::string& value) {
    const std::vector<std::string> args = qvr::SplitCommandLine(
        qvr::FormatCommandTemplate(format, {value}));
    const std::vector<std::string> expected{"tool", value};
    if (args != expected) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts = SplitAtNul(input);
    const std::string format = parts.front();
    const std::vector<std::string> values(parts.begin() + 1, parts.end());

    (void)qvr::FormatCommandTemplate(format, values);
    (void)qvr::FormatPlainTemplate(format, values);

    // The first few values are enough to try every kind of value; checking
    // hundreds of empty ones would only slow the search down.
    const std::size_t checked = values.size() < 4 ? values.size() : 4;
    for (std::size_t i = 0; i < checked; ++i) {
        CheckStaysOneArgument("tool \"%s\"", values[i]);
        if (!values[i].empty()) CheckStaysOneArgument("tool %s", values[i]);
    }
    return 0;
}
