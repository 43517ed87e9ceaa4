#include "scm/repo_file_map.h"

#include <algorithm>

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

bool CMapStrToFObj::SetAt(const std::string& key, const RepoFileRecord& record) {
    return SetAt(key, RepoFileRecord(record));
}

bool CMapStrToFObj::SetAt(const std::string& key, RepoFileRecord&& record) {
    // The listing adds its keys in increasing order: the end is then the
    // right place and the insertion costs constant time.
    if (m_entries.empty() || KeyOrder{}(m_entries.back().first, key)) {
        m_entries.emplace_back(key, std::move(record));
        return true;
    }
    auto place = std::lower_bound(m_entries.begin(), m_entries.end(), key,
                                  [](const Entry& entry, const std::string& k) { return KeyOrder{}(entry.first, k); });
    if (place != m_entries.end() && place->first == key) {
        place->second = std::move(record);
    } else {
        m_entries.emplace(place, key, std::move(record));
    }
    return true;
}

CMapStrToFObj::Entries::const_iterator CMapStrToFObj::Find(std::string_view key) const {
    auto place = std::lower_bound(m_entries.begin(), m_entries.end(), key,
                                  [](const Entry& entry, std::string_view k) { return KeyOrder{}(entry.first, k); });
    return place != m_entries.end() && place->first == key ? place : m_entries.end();
}

bool CMapStrToFObj::Lookup(const std::string& key, RepoFileRecord& record) const {
    auto it = Find(key);
    if (it == m_entries.end()) return false;
    record = it->second;
    return true;
}

bool CMapStrToFObj::RemoveKey(const std::string& key) {
    auto it = Find(key);
    if (it == m_entries.end()) return false;
    m_entries.erase(it);
    return true;
}

void CMapStrToFObj::RemoveAll() {
    m_entries.clear();
    // A long listing gives its memory back at once.
    m_entries.shrink_to_fit();
}

CMapStrToFObj::Position CMapStrToFObj::GetStartPosition() const {
    return Position(0, !m_entries.empty());
}

const RepoFileRecord& CMapStrToFObj::GetNextRecord(Position& position) const {
    static const RepoFileRecord kNoRecord;
    if (!position || position.m_index >= m_entries.size()) {
        position.m_valid = false;
        return kNoRecord;
    }
    const RepoFileRecord& record = m_entries[position.m_index].second;
    ++position.m_index;
    position.m_valid = position.m_index < m_entries.size();
    return record;
}

void CMapStrToFObj::GetNextAssoc(Position& position, std::string& key,
                                 RepoFileRecord& record) const {
    if (!position || position.m_index >= m_entries.size()) {
        position.m_valid = false;
        return;
    }
    const Entry& entry = m_entries[position.m_index];
    key = entry.first;
    record = entry.second;
    ++position.m_index;
    position.m_valid = position.m_index < m_entries.size();
}

}  // namespace qvr
