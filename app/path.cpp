#include "app/path.h"

#include <filesystem>

#include "app/platform.h"
#include "app/trace.h"

namespace qvr {
namespace {

// Removes the quotes around a path that is quoted as a whole.
std::string Unquote(std::string_view path) {
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
        path = path.substr(1, path.size() - 2);
    }
    return std::string(path);
}

}  // namespace

CPath::CPath(std::string_view path) : m_source(path) {
    std::string text = Unquote(path);
    if (text.empty()) return;

    std::string_view rest(text);
    if constexpr (platform::kIsWindows) {
        if (rest.size() >= 2 && rest[1] == ':') {
            m_drive = std::string(rest.substr(0, 2));
            rest.remove_prefix(2);
        }
    }
    std::size_t lastSep = std::string_view::npos;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '/' || (platform::kIsWindows && rest[i] == '\\')) lastSep = i;
    }
    std::string_view file = rest;
    if (lastSep != std::string_view::npos) {
        m_directory = std::string(rest.substr(0, lastSep + 1));
        file = rest.substr(lastSep + 1);
    }
    if constexpr (platform::kIsWindows) {
        for (char& c : m_directory) {
            if (c == '/') c = '\\';
        }
    }
    m_relative = !m_directory.empty() && m_directory.front() != platform::kSeparator;

    std::size_t dot = file.rfind('.');
    if (dot == std::string_view::npos) {
        m_name = std::string(file);
    } else {
        m_name = std::string(file.substr(0, dot));
        m_trailingDot = dot + 1 == file.size();
        for (char c : file.substr(dot)) {
            if (c != '.') m_extension += c;
        }
    }
}

std::string CPath::GetLocation() const { return m_drive + m_directory; }

std::string CPath::GetFileName() const {
    // "foo." names the file "foo" on Windows but a different file elsewhere,
    // so the dot is kept where the file system keeps it.
    if (m_extension.empty()) return (m_trailingDot && !platform::kIsWindows) ? m_name + "." : m_name;
    return m_name + "." + m_extension;
}

const std::string& CPath::GetPath() {
    m_pathText = m_drive + m_directory + GetFileName();
    return m_pathText;
}

int CPath::GetSize(std::int64_t& size) {
    size = 0;
    platform::FileFacts facts;
    int error = 0;
    if (platform::LookAtReadableFile(GetPath(), facts, error) != platform::FileLookup::Measured) {
        return 0;
    }
    size = static_cast<std::int64_t>(facts.size);
    return 1;
}

std::string AppendSeparator(std::string_view text, bool useForwardSlash) {
    std::string out(text);
    if (out.empty() || out.back() == '/' || (platform::kIsWindows && out.back() == '\\')) {
        return out;
    }
    // Elsewhere a backslash is an ordinary file-name character, so the native
    // separator is always the one added.
    out += (useForwardSlash || !platform::kIsWindows) ? '/' : '\\';
    return out;
}

std::string AbsolutePathFrom(std::string_view path, std::string_view base) {
    if (path.empty() || platform::IsAbsolutePath(path)) return std::string(path);
    if (platform::kIsWindows && path.size() >= 2 && path[1] == ':') return std::string(path);
    const auto isSeparator = [](char c) { return c == '/' || (platform::kIsWindows && c == '\\'); };
    std::string result(base);
    const bool trailingSeparator = isSeparator(path.back());
    bool stepsAdded = false;
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t end = at;
        while (end < path.size() && !isSeparator(path[end])) ++end;
        const std::string_view step = path.substr(at, end - at);
        at = end + 1;
        if (step.empty() || step == ".") continue;
        if (step == "..") {
            // The folder the step leaves is looked up first: through a linked
            // folder ".." leads to where the link points, not back up the text.
            while (result.size() > 1 && isSeparator(result.back()) &&
                   !(platform::kIsWindows && result.size() == 3 && result[1] == ':')) {
                result.pop_back();
            }
            std::error_code ec;
            const std::filesystem::path real = std::filesystem::canonical(result, ec);
            if (!ec) result = real.string();
            const std::size_t last = result.find_last_of(platform::kIsWindows ? "/\\" : "/");
            if (last != std::string::npos && last + 1 < result.size()) {
                // The root ("/", "C:\\") keeps its separator.
                const bool root = last == 0 || (platform::kIsWindows && last == 2 && result[1] == ':');
                result.resize(root ? last + 1 : last);
            }
            stepsAdded = true;
            continue;
        }
        result = AppendSeparator(result) + std::string(step);
        stepsAdded = true;
    }
    if (stepsAdded && trailingSeparator) result = AppendSeparator(result);
    return result;
}

std::uint64_t FileSizeOf(const std::string& fileName, int& error, TraceLog* trace) {
    platform::FileFacts facts;
    switch (platform::LookAtReadableFile(fileName, facts, error)) {
        case platform::FileLookup::Measured:
            return facts.size;
        case platform::FileLookup::NotMeasured:
            if (trace) trace->Trace("fsize failed: %s  err=%d", fileName.c_str(), error);
            return 0;
        case platform::FileLookup::NotOpened:
            break;
    }
    return 0;
}

}  // namespace qvr
