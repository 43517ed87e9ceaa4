#include "app/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/platform.h"

namespace qvr {
namespace {

// A reader's line buffer holds 16,424 bytes with its terminator, so one read
// takes at most 16,423 characters: a longer line counts as several.
constexpr std::uint64_t kReadChunk = kTraceMessageLimit - 1;

struct LineCounter {
    std::uint64_t lines = 0;
    std::uint64_t partial = 0;

    void Feed(std::string_view text) {
        for (char c : text) {
            if (partial == 0) ++lines;
            ++partial;
            if (c == '\n' || partial == kReadChunk) partial = 0;
        }
    }
};

LineCounter CountFileLines(const std::string& path) {
    LineCounter counter;
    // Read as it was written: in text mode a CR LF line end counts as the one
    // character it stood for.
    std::FILE* file = std::fopen(path.c_str(), platform::kTextReadMode);
    if (!file) return counter;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        counter.Feed(std::string_view(buffer, got));
    }
    std::fclose(file);
    return counter;
}

std::string ComposeLine(std::uint64_t number, std::string_view message) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    platform::ToLocalTime(now, local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%d %02d:%02d:%02d", local.tm_mon + 1,
                  local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec);
    std::string line = std::to_string(number);
    line += ' ';
    line += stamp;
    line += ' ';
    line += message;
    line += '\n';
    return line;
}

bool AppendText(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), platform::kTextAppendMode);
    if (!file) return false;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    platform::WriteDebuggerOutput(text);
    return true;
}

std::string VFormat(const char* format, std::va_list args) {
    std::va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return {};
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

}  // namespace

std::string FormatText(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    return text;
}

int WriteTraceLine(const std::string& path, std::string_view message) {
    if (message.size() > kTraceMessageLimit) return 0;
    if (path.empty()) return 1;
    LineCounter counter = CountFileLines(path);
    AppendText(path, ComposeLine(counter.lines + 1, message));
    return 1;
}

void TraceLog::SetPath(std::string path) {
    m_path = std::move(path);
    m_snapshot = {};
}

void TraceLog::Restart() {
    if (!m_path.empty()) std::remove(m_path.c_str());
    m_snapshot = {};
}

int TraceLog::WriteTraceLine(std::string_view message) {
    if (message.size() > kTraceMessageLimit) return 0;
    if (m_path.empty()) return 1;

    platform::FileFacts facts;
    int error = 0;
    const bool exists = platform::StatPath(m_path, facts, error);
    LineCounter counter;
    if (!exists) {
        counter = {};
    } else if (m_snapshot.valid && m_snapshot.size == facts.size &&
               m_snapshot.inode == facts.identity && m_snapshot.mtimeNs == facts.modifiedNs) {
        counter.lines = m_snapshot.lines;
        counter.partial = m_snapshot.partial;
    } else {
        counter = CountFileLines(m_path);  // someone else wrote to the file
    }

    std::string line = ComposeLine(counter.lines + 1, message);
    if (!AppendText(m_path, line)) {
        m_snapshot = {};
        return 1;
    }
    counter.Feed(line);
    if (platform::StatPath(m_path, facts, error)) {
        m_snapshot = {true, facts.size, facts.identity, facts.modifiedNs, counter.lines,
                      counter.partial};
    } else {
        m_snapshot = {};
    }
    return 1;
}

void TraceLog::Trace(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    WriteTraceLine(text);
}

}  // namespace qvr
