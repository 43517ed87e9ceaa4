#pragma once
// One repository file version as the listing tool reports it, and the Top
// List record map that holds the versions between reading the listing log
// and posting them into the Top List.

#include <map>
#include <string>

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
// come out in log order, and appending keys in that order costs O(1) each.
class CMapStrToFObj {
    struct KeyOrder {
        using is_transparent = void;
        bool operator()(const std::string& a, const std::string& b) const {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        }
    };
    using Map = std::map<std::string, RepoFileRecord, KeyOrder>;

public:
    // A place in the map between two entries; null (false) after the last.
    class Position {
    public:
        Position() = default;
        explicit operator bool() const { return m_valid; }

    private:
        friend class CMapStrToFObj;
        Position(Map::const_iterator it, bool valid) : m_it(it), m_valid(valid) {}
        Map::const_iterator m_it{};
        bool m_valid = false;
    };

    CMapStrToFObj() = default;
    virtual ~CMapStrToFObj() = default;

    bool SetAt(const std::string& key, const RepoFileRecord& record);
    bool SetAt(const std::string& key, RepoFileRecord&& record);
    bool Lookup(const std::string& key, RepoFileRecord& record) const;
    bool RemoveKey(const std::string& key);
    int GetCount() const { return static_cast<int>(m_map.size()); }
    Position GetStartPosition() const;
    void GetNextAssoc(Position& position, std::string& key, RepoFileRecord& record) const;
    void RemoveAll() { m_map.clear(); }

private:
    Map m_map;
};

}  // namespace qvr
