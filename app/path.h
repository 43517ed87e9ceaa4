#pragma once
// File-name and file-size services shared by the scan, the compare and the
// viewers.

#include <cstdint>
#include <string>
#include <string_view>

namespace qvr {

class TraceLog;

// One parsed file path: drive, directory (with its trailing separator), name
// and extension. On Windows "/" in the directory becomes "\\"; elsewhere the
// native "/" stays.
class CPath {
public:
    CPath() = default;
    explicit CPath(std::string_view path);
    virtual ~CPath() = default;

    const std::string& Source() const { return m_source; }
    const std::string& Drive() const { return m_drive; }
    const std::string& Directory() const { return m_directory; }
    const std::string& Name() const { return m_name; }
    const std::string& Extension() const { return m_extension; }
    bool IsRelative() const { return m_relative; }

    // Drive followed by directory.
    std::string GetLocation() const;
    // Name "." extension, or the name alone when there is no extension.
    std::string GetFileName() const;
    // Drive, directory and file name as one text (also kept as the path text).
    const std::string& GetPath();
    // Non-zero when the file's information was read; size is 0 otherwise.
    int GetSize(std::int64_t& size);

private:
    std::string m_source;
    std::string m_drive;
    std::string m_directory;
    std::string m_name;
    std::string m_extension;
    bool m_trailingDot = false;  // the file name ends in a dot
    bool m_relative = false;
    std::string m_pathText;
};

// text followed by a separator unless it is empty or already ends in one. On
// Windows the separator is "\\" ("/" when useForwardSlash) and either ends a
// directory; elsewhere it is always "/", and a trailing "\\" is an ordinary
// file-name character.
std::string AppendSeparator(std::string_view text, bool useForwardSlash = false);

// path as seen from the folder base: unchanged when it starts at a root (on
// Windows also a drive-relative "C:name"), else base joined with path's
// steps. "." steps and doubled separators are dropped ("." is base); a ".."
// step leaves the folder reached so far, as the file system resolves it
// (through a linked folder it leads to where the link points), or by the
// text when that folder does not exist. An empty path stays empty.
std::string AbsolutePathFrom(std::string_view path, std::string_view base);

// The file's size (all 64 bits: a file of exactly 4 GiB is not empty), or 0
// with the operating-system error number in error when the file cannot be
// opened or measured. error is left alone on success. A size that cannot be
// read is traced as "fsize failed" when a trace is given; every caller that
// keeps one passes it, so the trace parameter has no default.
std::uint64_t FileSizeOf(const std::string& fileName, int& error, TraceLog* trace);

}  // namespace qvr
