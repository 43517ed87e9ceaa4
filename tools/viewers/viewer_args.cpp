#include "tools/viewers/viewer_args.h"

namespace qvr::viewers {

ViewerArgs ParseViewerArgs(const std::vector<std::string>& args, std::size_t fileCount) {
    ViewerArgs parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            parsed.helpRequested = true;
        } else if (!optionsEnded && arg == "--screenshot") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                parsed.error = "--screenshot needs a file name";
                return parsed;
            }
            parsed.screenshotPath = args[++i];
        } else if (!optionsEnded && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            parsed.error = "unknown option " + arg;
            return parsed;
        } else {
            parsed.files.push_back(arg);
        }
    }
    if (!parsed.helpRequested && parsed.files.size() != fileCount) {
        parsed.error = "expected " + std::to_string(fileCount) +
                       (fileCount == 1 ? " file, got " : " files, got ") +
                       std::to_string(parsed.files.size());
    }
    return parsed;
}

std::string UsageText(const std::string& program, const std::vector<std::string>& fileNames) {
    std::string usage = "Usage: " + program;
    for (const auto& name : fileNames) usage += " " + name;
    usage += " [--screenshot OUT.png]";
    return usage;
}

}  // namespace qvr::viewers
