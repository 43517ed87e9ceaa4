#include "app/command_line.h"

#include "app/platform.h"

namespace qvr {
namespace {

std::string_view Trim(std::string_view text) {
    auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string RemoveQuotes(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != '"') out += c;
    }
    return out;
}

std::string FirstWord(std::string_view text) {
    std::size_t start = text.find_first_not_of(kCommandLineSeparators);
    if (start == std::string_view::npos) return {};
    std::size_t end = text.find_first_of(kCommandLineSeparators, start);
    return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
}

// What follows the program's name when the command line has no ".exe": a
// quoted name ends at its closing quote, a bare one at the first separator.
std::string_view AfterProgramName(std::string_view commandLine) {
    std::string_view rest = Trim(commandLine);
    if (!rest.empty() && rest.front() == '"') {
        std::size_t close = rest.find('"', 1);
        return close == std::string_view::npos ? std::string_view() : rest.substr(close + 1);
    }
    std::size_t end = rest.find_first_of(kCommandLineSeparators);
    return end == std::string_view::npos ? std::string_view() : rest.substr(end);
}

bool IsExistingDirectory(const std::string& path) {
    platform::FileFacts facts;
    int error = 0;
    return !path.empty() && platform::StatPath(path, facts, error) && facts.isDirectory;
}

}  // namespace

std::string ParseWindowsCommandLine(std::string_view commandLine) {
    std::string lowered = platform::LowerAscii(commandLine);
    std::string_view arguments;
    std::size_t exe = lowered.find(".exe");
    if (exe != std::string::npos) {
        arguments = std::string_view(lowered).substr(exe + 4);
    } else {
        std::size_t file = commandLine.find("FILE=");
        arguments = AfterProgramName(std::string_view(lowered).substr(0, file));
    }
    // A quoted program path leaves its closing quote behind ".exe"; quotes go
    // before the text is trimmed and split.
    std::string text(Trim(RemoveQuotes(arguments)));
    return FirstWord(text);
}

std::string ParsePosixCommandLine(const std::vector<std::string>& args) {
    if (args.size() < 2) return {};
    const std::string& argument = args[1];
    if (IsExistingDirectory(argument)) return argument;
    std::string text(Trim(RemoveQuotes(argument)));
    if (IsExistingDirectory(text)) return text;
    return FirstWord(text);
}

std::string ParseCommandLine(std::string_view commandLine, const std::vector<std::string>& args) {
    if constexpr (platform::kIsWindows) return ParseWindowsCommandLine(commandLine);
    return ParsePosixCommandLine(args);
}

}  // namespace qvr
