#pragma once
// The command line the viewers share: their file arguments and the
// "--screenshot OUT.png" option that renders the window without showing it,
// saves the picture and exits (for headless checks).

#include <cstddef>
#include <string>
#include <vector>

namespace qvr::viewers {

struct ViewerArgs {
    std::vector<std::string> files;
    std::string screenshotPath;  // empty: run normally
    bool helpRequested = false;
    std::string error;  // set when the command line is not usable

    bool Ok() const { return error.empty(); }
};

// args excludes the program name. fileCount is how many file arguments the
// viewer takes. Every file argument is taken whole: the program is started
// without a shell, so a quoted path with blanks arrives as one argument.
ViewerArgs ParseViewerArgs(const std::vector<std::string>& args, std::size_t fileCount);

// "Usage: Windiff FILE1 FILE2 [--screenshot OUT.png]"
std::string UsageText(const std::string& program, const std::vector<std::string>& fileNames);

}  // namespace qvr::viewers
