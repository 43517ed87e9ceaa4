#include "scm/repo_file_map.h"

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
    auto hint = m_map.end();
    if (!m_map.empty() && !KeyOrder{}(std::prev(hint)->first, key)) hint = m_map.lower_bound(key);
    if (hint != m_map.end() && hint->first == key) {
        hint->second = std::move(record);
    } else {
        m_map.emplace_hint(hint, key, std::move(record));
    }
    return true;
}

bool CMapStrToFObj::Lookup(const std::string& key, RepoFileRecord& record) const {
    auto it = m_map.find(key);
    if (it == m_map.end()) return false;
    record = it->second;
    return true;
}

bool CMapStrToFObj::RemoveKey(const std::string& key) { return m_map.erase(key) > 0; }

CMapStrToFObj::Position CMapStrToFObj::GetStartPosition() const {
    return Position(m_map.begin(), !m_map.empty());
}

void CMapStrToFObj::GetNextAssoc(Position& position, std::string& key,
                                 RepoFileRecord& record) const {
    if (!position) return;
    key = position.m_it->first;
    record = position.m_it->second;
    ++position.m_it;
    position.m_valid = position.m_it != m_map.end();
}

}  // namespace qvr
