#pragma once
// The trace: one numbered, time-stamped line per step, in "QvrCompare.trc" in
// the install directory. Each line's number is the file's own physical line
// number, so a support person can quote it. The file is opened and closed for
// every line so that others can read it while the program runs.

#include <cstdint>
#include <string>
#include <string_view>

namespace qvr {

// Messages longer than this are dropped; the writer then reports 0.
inline constexpr std::size_t kTraceMessageLimit = 16424;

class TraceLog {
public:
    TraceLog() = default;
    explicit TraceLog(std::string path) : m_path(std::move(path)) {}

    const std::string& Path() const { return m_path; }
    void SetPath(std::string path);

    // Deletes the file so that this run starts a new trace (a missing file is
    // no error).
    void Restart();

    // Appends "N MM/DD/YYYY HH:MM:SS message\n". Returns 0 when the message is
    // too long, 1 otherwise (also when the path is empty or the file cannot be
    // opened). The message is written as it stands, never as a format.
    int WriteTraceLine(std::string_view message);

    // printf-style convenience over WriteTraceLine.
    void Trace(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    // Line count of the file as a reader with a 16,424-byte line buffer sees
    // it, remembered with the file's identity so that the next line does not
    // recount the whole file unless someone else changed it.
    struct Snapshot {
        bool valid = false;
        std::uint64_t size = 0;
        std::uint64_t inode = 0;
        std::int64_t mtimeNs = 0;
        std::uint64_t lines = 0;
        std::uint64_t partial = 0;  // characters already read into an unfinished last read
    };

    std::string m_path;
    Snapshot m_snapshot;
};

// The stateless writer: counts the file's lines afresh for every call.
int WriteTraceLine(const std::string& path, std::string_view message);

// The message, formatted printf-style, with no length cut.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qvr
