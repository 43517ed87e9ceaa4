// A Windows stand-in for vlx, vgt or vqry (the program's file name says
// which) that answers from canned files instead of a repository. In the
// folder QVR_DOUBLE_DIR it
//   - appends the command line it received, exactly as GetCommandLineA
//     returns it, as one line to "<name>.cmdline";
//   - copies "<name>.out" to the file named after the last "-o";
//   - as vgt, copies the folder "checkout" into the folder named after "-cp".
// Exit status 0; 3 without QVR_DOUBLE_DIR, 4 when a copy fails.

#include "app/windows_api.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string ValueAfter(int argc, char** argv, const std::string& option) {
    std::string value;
    for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == option) value = argv[i + 1];
    }
    return value;
}

// Byte for byte, replacing the target; the library's copy_file is unreliable
// on this platform's runtime.
bool CopyFileBytes(const fs::path& from, const fs::path& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    return in && out;
}

std::string ProgramName(const char* argv0) {
    std::string name = fs::path(argv0).stem().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    const char* folder = std::getenv("QVR_DOUBLE_DIR");
    if (!folder || !*folder || argc < 1) return 3;
    const fs::path dir(folder);
    const std::string name = ProgramName(argv[0]);
    std::ofstream(dir / (name + ".cmdline"), std::ios::binary | std::ios::app) << GetCommandLineA() << '\n';

    std::error_code failed;
    const std::string output = ValueAfter(argc, argv, "-o");
    if (!output.empty()) {
        if (!CopyFileBytes(dir / (name + ".out"), output)) {
            std::fprintf(stderr, "%s: cannot write %s\n", name.c_str(), output.c_str());
            return 4;
        }
    }
    const std::string clientPath = ValueAfter(argc, argv, "-cp");
    if (name == "vgt" && !clientPath.empty()) {
        // File by file: the library's recursive copy fails on this runtime.
        const fs::path from = dir / "checkout";
        for (auto it = fs::recursive_directory_iterator(from, failed); !failed && it != fs::recursive_directory_iterator();
             it.increment(failed)) {
            const fs::path to = fs::path(clientPath) / fs::relative(it->path(), from);
            if (it->is_directory()) {
                fs::create_directories(to, failed);
            } else {
                fs::create_directories(to.parent_path(), failed);
                if (!failed && !CopyFileBytes(it->path(), to)) failed = std::make_error_code(std::errc::io_error);
            }
        }
        if (failed) {
            std::fprintf(stderr, "%s: cannot copy the checkout: %s\n", name.c_str(), failed.message().c_str());
            return 4;
        }
    }
    return 0;
}
