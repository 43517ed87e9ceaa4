#pragma once
// A tool's output file, written under a temporary name in the same folder and
// renamed into place when complete, so a reader never sees half a file. A
// file that is never committed is removed.

#include <cstdio>
#include <string>
#include <string_view>

namespace qvr::quorvan {

class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file; false (with a reason) when the folder is
    // not writable or the path names a folder.
    bool Open(std::string& error);

    // Appends text and a line end.
    void Line(std::string_view text);

    // Flushes, closes and renames over the final name.
    bool Commit(std::string& error);

    const std::string& Path() const { return m_path; }

private:
    void Discard();

    std::string m_path;
    std::string m_tempPath;
    std::FILE* m_file = nullptr;
    bool m_writeFailed = false;
};

}  // namespace qvr::quorvan
