#pragma once
// One repository file version as the listing tool reports it, and the Top
// List record map that holds the versions between reading the listing log
// and posting them into the Top List.

#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/text_arena.h"

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

// The fields of one record as the map holds it: views that stay valid until
// the map next changes.
class RepoFileFields {
public:
    RepoFileFields() = default;
    // ends: where each field ends in texts, two bytes each, or four when wide.
    RepoFileFields(std::string_view texts, const unsigned char* ends, bool wideEnds)
        : m_texts(texts), m_ends(ends), m_wideEnds(wideEnds) {}
    // Field i (0-based) in column order; empty out of range.
    std::string_view Field(int i) const {
        if (!m_ends || i < 0 || i >= RepoFileRecord::kFieldCount) return {};
        const std::size_t start = i == 0 ? 0 : End(i - 1);
        return m_texts.substr(start, End(i) - start);
    }
    RepoFileRecord ToRecord() const;

private:
    std::size_t End(int i) const {
        const auto k = static_cast<std::size_t>(i);
        if (m_wideEnds) {
            std::uint32_t end;
            std::memcpy(&end, m_ends + k * sizeof end, sizeof end);
            return end;
        }
        std::uint16_t end;
        std::memcpy(&end, m_ends + k * sizeof end, sizeof end);
        return end;
    }

    std::string_view m_texts;
    const unsigned char* m_ends = nullptr;
    bool m_wideEnds = false;
};

// The map owns its copies of the records. Keys of the listing are the
// records' sequence numbers as decimal text; the map visits its entries with
// shorter keys first and equal lengths in text order, so sequence numbers
// come out in log order. The entries are kept in that order in one sorted
// run: a listing's keys arrive in order and are appended at constant cost;
// any other key is placed by a binary search. A record's key and fields are
// kept back to back in one block of the map's arena, so a long listing costs
// a few large allocations rather than some for every record.
class CMapStrToFObj {
    struct KeyOrder {
        bool operator()(std::string_view a, std::string_view b) const {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        }
    };
    struct Entry {
        // Where each field ends in the texts (two bytes each while the texts
        // fit 64 KiB, as a listing line always does, else four), the key,
        // then the field texts.
        const unsigned char* block = nullptr;
        std::uint32_t keyLength = 0;
        std::uint32_t textLength = 0;
        bool WideEnds() const { return textLength > 0xFFFFu; }
        std::size_t EndsBytes() const {
            return RepoFileRecord::kFieldCount * (WideEnds() ? sizeof(std::uint32_t) : sizeof(std::uint16_t));
        }
        std::size_t Bytes() const { return EndsBytes() + keyLength + textLength; }
        std::string_view Key() const { return {reinterpret_cast<const char*>(block) + EndsBytes(), keyLength}; }
        RepoFileFields Fields() const {
            return {{reinterpret_cast<const char*>(block) + EndsBytes() + keyLength, textLength}, block, WideEnds()};
        }
    };
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
    // The same from the field texts (missing ones empty, extra ones ignored).
    bool SetAt(std::string_view key, std::span<const std::string_view> fields);
    bool Lookup(const std::string& key, RepoFileRecord& record) const;
    bool RemoveKey(const std::string& key);
    int GetCount() const { return static_cast<int>(m_entries.size()); }
    // At least the bytes of all the records' field texts together.
    std::size_t TextBytesAtMost() const { return m_arena.BytesUsed(); }
    Position GetStartPosition() const;
    void GetNextAssoc(Position& position, std::string& key, RepoFileRecord& record) const;
    // The same visit without copying: the fields stay owned by the map.
    RepoFileFields GetNextFields(Position& position) const;
    // The first record in the visiting order (empty fields when there is
    // none), valid until the map next changes; RemoveFirst forgets it. A map
    // emptied this way gives its memory back as it goes, so records moved
    // elsewhere one by one are never held twice.
    RepoFileFields FirstFields() const;
    // The record at index in the visiting order (empty fields out of range).
    RepoFileFields FieldsAt(int index) const;
    void RemoveFirst();
    void RemoveAll();
    // Moves every record of later into this map, which is left empty; when
    // all of later's keys come after this map's, as a listing read in parts
    // gives them, the records themselves are not copied.
    void AppendAll(CMapStrToFObj&& later);
    // Room for records of about bytes set aside before they are added; the
    // part not used yet, and giving back what the records did not need (see
    // TextArena::Reserve).
    void ReserveRoom(std::size_t bytes) { m_arena.Reserve(bytes); }
    std::vector<std::span<unsigned char>> SpareRoom() const { return m_arena.SpareRoom(); }
    void DropSpareRoom() { m_arena.DropSpare(); }

private:
    Entries::const_iterator Find(std::string_view key) const;
    void Fill(Entry& entry, std::string_view key, std::span<const std::string_view> fields);
    void CompactIfWasteful();

    Entries m_entries;
    TextArena m_arena;
    // Arena bytes of records replaced or removed.
    std::size_t m_abandoned = 0;
};

}  // namespace qvr
