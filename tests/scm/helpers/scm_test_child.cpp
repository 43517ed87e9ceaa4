// Stand-in child for the launcher tests:
//   exit N                   ends with status N
//   sleep MS                 sleeps, then ends with 0
//   stubborn MS [FILE]       ignores the request to end (SIGTERM), creates FILE
//                            to say so, then sleeps
//   argv FILE ARGS...        writes ARGS to FILE, one per line
//   copy SRC ARGVFILE ARGS... writes ARGS to ARGVFILE (unless "-") and copies
//                            SRC to the argument that follows the last "-o"
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

void WriteArgs(const char* file, int first, int argc, char** argv) {
    std::ofstream out(file, std::ios::binary);
    for (int i = first; i < argc; ++i) out << argv[i] << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 99;
    std::string mode = argv[1];
    if (mode == "exit") return std::atoi(argv[2]);
    if (mode == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        return 0;
    }
    if (mode == "stubborn") {
        std::signal(SIGTERM, SIG_IGN);
        if (argc > 3) std::ofstream(argv[3]).put('\n');
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        return 0;
    }
    if (mode == "argv") {
        WriteArgs(argv[2], 3, argc, argv);
        return 0;
    }
    if (mode == "copy" && argc >= 4) {
        if (std::string(argv[3]) != "-") WriteArgs(argv[3], 4, argc, argv);
        const char* target = nullptr;
        for (int i = 4; i + 1 < argc; ++i) {
            if (std::string(argv[i]) == "-o") target = argv[i + 1];
        }
        if (!target) return 98;
        std::error_code ec;
        std::filesystem::copy_file(argv[2], target,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        return ec ? 97 : 0;
    }
    return 99;
}
