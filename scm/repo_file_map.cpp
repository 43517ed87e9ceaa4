#include "scm/repo_file_map.h"

#include "app/short_copy.h"

#include <algorithm>
#include <cstring>

namespace qvr {

std::string& RepoFileRecord::Field(int i) {
    return const_cast<std::string&>(static_cast<const RepoFileRecord*>(this)->Field(i));
}

const std::string& RepoFileRecord::Field(int i) const {
    switch (i) {
        case 0: return File;
        case 1: return Path;
        case 2: return Version;
        case 3: return Tag;
        case 4: return Datasize;
        case 5: return Package;
        case 6: return Creator;
        case 7: return CreatedDate;
        case 8: return Modifier;
        case 9: return ModifiedDate;
        default: return Status;
    }
}

RepoFileRecord RepoFileFields::ToRecord() const {
    RepoFileRecord record;
    for (int i = 0; i < RepoFileRecord::kFieldCount; ++i) record.Field(i).assign(Field(i));
    return record;
}

void CMapStrToFObj::Fill(Entry& entry, std::string_view key, std::span<const std::string_view> fields) {
    const std::size_t given = std::min<std::size_t>(fields.size(), RepoFileRecord::kFieldCount);
    std::size_t total = 0;
    for (std::size_t i = 0; i < given; ++i) total += fields[i].size();
    // The fields may be views of this entry's old block: it stays in the
    // arena, merely abandoned, while the new one is filled.
    if (entry.block) m_abandoned += entry.Bytes();
    Entry made;
    // A record is one listing line: far below 4 GiB.
    made.keyLength = static_cast<std::uint32_t>(key.size());
    made.textLength = static_cast<std::uint32_t>(total);
    unsigned char* block = m_arena.Allocate(made.Bytes());
    made.block = block;
    char* texts = reinterpret_cast<char*>(block) + made.EndsBytes();
    std::memcpy(texts, key.data(), key.size());
    texts += key.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < RepoFileRecord::kFieldCount; ++i) {
        if (i < given) {
            CopyShortText(texts + end, fields[i].data(), fields[i].size());
            end += fields[i].size();
        }
        if (made.WideEnds()) {
            const auto value = static_cast<std::uint32_t>(end);
            std::memcpy(block + i * sizeof value, &value, sizeof value);
        } else {
            const auto value = static_cast<std::uint16_t>(end);
            std::memcpy(block + i * sizeof value, &value, sizeof value);
        }
    }
    entry = made;
}

// Once most of the arena holds replaced or removed records, the live ones
// are copied into a fresh arena.
void CMapStrToFObj::CompactIfWasteful() {
    if (m_abandoned < TextArena::kChunkSize || m_abandoned * 2 < m_arena.BytesUsed()) return;
    TextArena fresh;
    for (Entry& entry : m_entries) {
        unsigned char* block = fresh.Allocate(entry.Bytes());
        std::memcpy(block, entry.block, entry.Bytes());
        entry.block = block;
    }
    m_arena = std::move(fresh);
    m_abandoned = 0;
}

bool CMapStrToFObj::SetAt(const std::string& key, const RepoFileRecord& record) {
    std::array<std::string_view, RepoFileRecord::kFieldCount> fields;
    for (int i = 0; i < RepoFileRecord::kFieldCount; ++i) fields[static_cast<std::size_t>(i)] = record.Field(i);
    return SetAt(key, fields);
}

bool CMapStrToFObj::SetAt(std::string_view key, std::span<const std::string_view> fields) {
    const auto before = [](const Entry& entry, std::string_view k) { return KeyOrder{}(entry.Key(), k); };
    // The listing adds its keys in increasing order: the end is then the
    // right place and the insertion costs constant time.
    if (m_entries.empty() || KeyOrder{}(m_entries.back().Key(), key)) {
        Fill(m_entries.emplace_back(), key, fields);
        return true;
    }
    auto place = std::lower_bound(m_entries.begin(), m_entries.end(), std::string_view(key), before);
    const bool replaced = place != m_entries.end() && place->Key() == key;
    if (!replaced) place = m_entries.insert(place, Entry{});
    Fill(*place, key, fields);
    if (replaced) CompactIfWasteful();
    return true;
}

CMapStrToFObj::Entries::const_iterator CMapStrToFObj::Find(std::string_view key) const {
    auto place = std::lower_bound(m_entries.begin(), m_entries.end(), key,
                                  [](const Entry& entry, std::string_view k) { return KeyOrder{}(entry.Key(), k); });
    return place != m_entries.end() && place->Key() == key ? place : m_entries.end();
}

bool CMapStrToFObj::Lookup(const std::string& key, RepoFileRecord& record) const {
    auto it = Find(key);
    if (it == m_entries.end()) return false;
    record = it->Fields().ToRecord();
    return true;
}

bool CMapStrToFObj::RemoveKey(const std::string& key) {
    auto it = Find(key);
    if (it == m_entries.end()) return false;
    m_abandoned += it->Bytes();
    m_entries.erase(it);
    CompactIfWasteful();
    return true;
}

RepoFileFields CMapStrToFObj::FirstFields() const {
    return m_entries.empty() ? RepoFileFields() : m_entries.front().Fields();
}

RepoFileFields CMapStrToFObj::FieldsAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_entries.size()) return {};
    return m_entries[static_cast<std::size_t>(index)].Fields();
}

void CMapStrToFObj::RemoveFirst() {
    if (m_entries.empty()) return;
    const Entry& first = m_entries.front();
    m_arena.Release(first.block, first.Bytes());
    m_entries.pop_front();
}

void CMapStrToFObj::RemoveAll() {
    m_entries.clear();
    // A long listing gives its memory back at once.
    m_entries.shrink_to_fit();
    m_arena.Clear();
    m_abandoned = 0;
}

void CMapStrToFObj::AppendAll(CMapStrToFObj&& later) {
    if (&later == this || later.m_entries.empty()) return;
    if (m_entries.empty() || KeyOrder{}(m_entries.back().Key(), later.m_entries.front().Key())) {
        m_entries.insert(m_entries.end(), later.m_entries.begin(), later.m_entries.end());
        m_arena.Adopt(std::move(later.m_arena));
        m_abandoned += later.m_abandoned;
    } else {
        for (const Entry& entry : later.m_entries) {
            std::array<std::string_view, RepoFileRecord::kFieldCount> fields;
            const RepoFileFields texts = entry.Fields();
            for (int i = 0; i < RepoFileRecord::kFieldCount; ++i) fields[static_cast<std::size_t>(i)] = texts.Field(i);
            SetAt(entry.Key(), fields);
        }
    }
    later.RemoveAll();
}

CMapStrToFObj::Position CMapStrToFObj::GetStartPosition() const {
    return Position(0, !m_entries.empty());
}

RepoFileFields CMapStrToFObj::GetNextFields(Position& position) const {
    if (!position || position.m_index >= m_entries.size()) {
        position.m_valid = false;
        return {};
    }
    const RepoFileFields fields = m_entries[position.m_index].Fields();
    ++position.m_index;
    position.m_valid = position.m_index < m_entries.size();
    return fields;
}

void CMapStrToFObj::GetNextAssoc(Position& position, std::string& key,
                                 RepoFileRecord& record) const {
    if (!position || position.m_index >= m_entries.size()) {
        position.m_valid = false;
        return;
    }
    const Entry& entry = m_entries[position.m_index];
    key = entry.Key();
    record = entry.Fields().ToRecord();
    ++position.m_index;
    position.m_valid = position.m_index < m_entries.size();
}

}  // namespace qvr
