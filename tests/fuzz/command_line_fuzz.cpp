// The command-line splitter: never a crash, and the arguments it finds stay
// the same arguments when they are quoted and joined again, which is what
// keeps a password or project name one argument on its way to a tool.

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "scm/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> args = qvr::SplitCommandLine(line);

    // An empty argument has no unquoted written form; it is left out here.
    std::vector<std::string> nonEmpty;
    std::string joined;
    for (const std::string& arg : args) {
        if (arg.empty()) continue;
        nonEmpty.push_back(arg);
        if (!joined.empty()) joined += ' ';
        joined += qvr::QuoteArgument(arg);
    }
    if (qvr::SplitCommandLine(joined) != nonEmpty) std::abort();
    return 0;
}
