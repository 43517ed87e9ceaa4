#pragma once
// One pass over a directory listing, in the order the file system returns
// the entries, for the local file scan. One implementation per platform
// (directory_reader_posix.cpp, directory_reader_win32.cpp).

#include <cstdint>
#include <memory>
#include <string>

namespace qvr {

// What an entry of a listing is for the scan. Symbolic links to directories
// are never entered (no cycles); a link to a file counts as that file.
// Pipes, sockets and devices hold no content to compare and are passed over
// like directories; so is a symbolic link whose target does not exist (or
// leads round in a circle), which names no file at all.
enum class EntryKind { File, Directory, DirectoryLink, Special, DanglingLink };

// Size and times of an entry, times in calendar seconds.
struct EntryFacts {
    std::uint64_t size = 0;
    std::int64_t lastWrite = 0;
    std::int64_t lastAccess = 0;
    // The creation time where the file system records one, else the time of
    // the last status change, the nearest it keeps.
    std::int64_t creation = 0;
};

class DirectoryReader {
public:
    // A directory that cannot be opened yields no entries; an empty name
    // stands for the current directory.
    explicit DirectoryReader(const std::string& directory);
    ~DirectoryReader();
    DirectoryReader(const DirectoryReader&) = delete;
    DirectoryReader& operator=(const DirectoryReader&) = delete;

    // The next entry's name ("." and ".." included), or nullptr after the
    // last one.
    const char* Next();
    // 0 while the listing is whole; otherwise the error number that kept the
    // directory from being opened or read (known once Next has said there
    // is nothing more).
    int Error() const;
    // Kind of the entry Next returned last.
    EntryKind Kind() const;
    // Facts of that entry (of its target for a link; of the link itself when
    // the target is gone); false when they cannot be read.
    bool Stat(EntryFacts& facts) const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace qvr
