#pragma once
// One repository file version as the listing tool reports it, and the Top
// List record map that holds the versions between reading the listing log
// and posting them into the Top List.

#include <deque>
#include <string>
#include <string_view>
#include <utility>

namespace qvr {

// Eleven text fields, in the order of the Top List columns 1 to 11. Every
// field holds its token exactly as the log had it.
struct RepoFileRecord {
    std::string File;
    std::string Path;
    std::string Version;
    std::string Tag;
    std::string Datasize;
    std::string Package;
    std::string Creator;
    std::string CreatedDate;
    std::string Modifier;
    std::string ModifiedDate;
    std::string Status;

    static constexpr int kFieldCount = 11;
    // Field i (0-based) in column order.
    std::string& Field(int i);
    const std::string& Field(int i) const;

    bool operator==(const RepoFileRecord&) const = default;
};

// The map owns its copies of the records. Keys of the listing are the
// records' sequence numbers as decimal text; the map visits its entries with
// shorter keys first and equal lengths in text order, so sequence numbers
// come out in log order. The entries are kept in that order in one sorted
// run: a listing's keys arrive in order and are appended at constant cost,
// without a separate allocation per record; any other key is placed by a
// binary search.
class CMapStrToFObj {
    struct KeyOrder {
        bool operator()(std::string_view a, std::string_view b) const {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        }
    };
    using Entry = std::pair<std::string, RepoFileRecord>;
    using Entries = std::deque<Entry>;

public:
    // A place in the map between two entries; null (false) after the last.
    class Position {
    public:
        Position() = default;
        explicit operator bool() const { return m_valid; }

    private:
        friend class CMapStrToFObj;
        Position(std::size_t index, bool valid) : m_index(index), m_valid(valid) {}
        std::size_t m_index = 0;
        bool m_valid = false;
    };

    CMapStrToFObj() = default;
    virtual ~CMapStrToFObj() = default;

    bool SetAt(const std::string& key, const RepoFileRecord& record);
    bool SetAt(const std::string& key, RepoFileRecord&& record);
    bool Lookup(const std::string& key, RepoFileRecord& record) const;
    bool RemoveKey(const std::string& key);
    int GetCount() const { return static_cast<int>(m_entries.size()); }
    Position GetStartPosition() const;
    void GetNextAssoc(Position& position, std::string& key, RepoFileRecord& record) const;
    // The same visit without copying: the entry stays owned by the map and
    // is valid until the map changes.
    const RepoFileRecord& GetNextRecord(Position& position) const;
    void RemoveAll();

private:
    Entries::const_iterator Find(std::string_view key) const;

    Entries m_entries;
};

}  // namespace qvr
