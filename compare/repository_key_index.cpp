#include "compare/repository_key_index.h"

#include <algorithm>
#include <limits>

#include "app/platform.h"

namespace qvr {
namespace {

// Keys are compared as the texts of the list cells: a text ends at its
// first 0 byte, which also lets 0 separate the keys in the index.
std::string_view UpToNul(std::string_view text) {
    const std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// A local key that begins with a backslash matches only where the
// repository key has a backslash too; what must then follow it is the rest.
struct NameToFind {
    std::string_view name;
    bool afterSlashOnly = false;
};

NameToFind SplitLeadingSlash(std::string_view localKey) {
    NameToFind found{UpToNul(localKey)};
    if (!found.name.empty() && found.name.front() == '\\') {
        found.name.remove_prefix(1);
        found.afterSlashOnly = true;
    }
    return found;
}

}  // namespace

std::string RepositoryPathOf(const ReportTable& top, int row) {
    std::string path(top.GetItemText(row, 2));
    path += '\\';
    path += top.GetItemText(row, 1);
    return path;
}

std::string RepositoryKeyOf(const ReportTable& top, int row) {
    return platform::UpperAscii(RepositoryPathOf(top, row));
}

bool KeyNamesFile(std::string_view repositoryKey, std::string_view localKey) {
    const NameToFind wanted = SplitLeadingSlash(localKey);
    const std::string_view key = UpToNul(repositoryKey);
    if (wanted.name.empty() || !key.ends_with(wanted.name)) return false;
    const std::size_t at = key.size() - wanted.name.size();
    if (at == 0) return !wanted.afterSlashOnly;
    return key[at - 1] == '\\';
}

int FindFirstMatchingRowLinear(const ReportTable& top, std::string_view localKey) {
    for (int row = 0; row < top.GetItemCount(); ++row) {
        if (KeyNamesFile(RepositoryKeyOf(top, row), localKey)) return row;
    }
    return -1;
}

int FindCounterpartLinear(const ReportTable& top, std::string_view localKey) {
    if constexpr (!platform::kIsWindows) {
        for (int row = 0; row < top.GetItemCount(); ++row) {
            if (KeyNamesFile(RepositoryPathOf(top, row), localKey)) return row;
        }
    }
    return FindFirstMatchingRowLinear(top, platform::UpperAscii(UpToNul(localKey)));
}

void RepositoryKeyIndex::Build(const ReportTable& top) {
    m_table = &top;
    m_textChangeCount = top.TextChangeCount();
    m_rowCount = top.GetItemCount();
    std::string text;
    std::vector<std::int32_t> rowStart;
    rowStart.reserve(static_cast<std::size_t>(m_rowCount) + 1);
    for (int row = 0; row < m_rowCount; ++row) {
        rowStart.push_back(static_cast<std::int32_t>(text.size()));
        text += UpToNul(RepositoryPathOf(top, row));
        text += '\0';
    }
    rowStart.push_back(static_cast<std::int32_t>(text.size()));
    if (text.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        // Beyond what 32-bit positions reach: nothing is indexed, nothing found.
        m_rowCount = 0;
        m_exact.Clear();
        m_blind.Clear();
        return;
    }
    m_blind.Build(platform::UpperAscii(text), rowStart);
    if constexpr (platform::kIsWindows) {
        m_exact.Clear();
    } else {
        m_exact.Build(std::move(text), rowStart);
    }
}

bool RepositoryKeyIndex::IsCurrentFor(const ReportTable& top) const {
    return m_table == &top && m_textChangeCount == top.TextChangeCount() &&
           RowCount() == top.GetItemCount();
}

int RepositoryKeyIndex::FindFirst(std::string_view localKey) const {
    if (RowCount() <= 0) return -1;
    return m_blind.Find(localKey);
}

int RepositoryKeyIndex::FindCounterpart(std::string_view localKey) const {
    if (RowCount() <= 0) return -1;
    if constexpr (!platform::kIsWindows) {
        const int exact = m_exact.Find(localKey);
        if (exact >= 0) return exact;
    }
    return m_blind.Find(platform::UpperAscii(UpToNul(localKey)));
}

void RepositoryKeyIndex::SuffixTable::Clear() {
    m_text.clear();
    m_entries.clear();
}

void RepositoryKeyIndex::SuffixTable::Build(std::string text, const std::vector<std::int32_t>& rowStart) {
    m_text = std::move(text);
    m_entries.clear();
    // One entry per name that starts a key or follows one of its backslashes,
    // in row order; equal names are merged below.
    struct Raw {
        std::int32_t position;
        std::int32_t length;
        std::int32_t row;
        bool afterSlash;
    };
    std::vector<Raw> raw;
    const std::int32_t rows = static_cast<std::int32_t>(rowStart.size()) - 1;
    for (std::int32_t row = 0; row < rows; ++row) {
        const std::int32_t begin = rowStart[static_cast<std::size_t>(row)];
        const std::int32_t end = rowStart[static_cast<std::size_t>(row) + 1] - 1;  // the 0 byte
        if (begin < end) raw.push_back({begin, end - begin, row, false});
        for (std::int32_t at = begin; at + 1 < end; ++at) {
            if (m_text[static_cast<std::size_t>(at)] == '\\') raw.push_back({at + 1, end - at - 1, row, true});
        }
    }
    const auto textOf = [this](const Raw& r) {
        return std::string_view(m_text).substr(static_cast<std::size_t>(r.position),
                                               static_cast<std::size_t>(r.length));
    };
    // Stable: within equal names the rows stay in their order.
    std::stable_sort(raw.begin(), raw.end(), [&](const Raw& a, const Raw& b) { return textOf(a) < textOf(b); });
    for (std::size_t i = 0; i < raw.size();) {
        Entry entry{raw[i].position, raw[i].length, raw[i].row, -1};
        const std::string_view name = textOf(raw[i]);
        for (; i < raw.size() && textOf(raw[i]) == name; ++i) {
            if (raw[i].afterSlash && entry.firstRowAfterSlash < 0) entry.firstRowAfterSlash = raw[i].row;
        }
        m_entries.push_back(entry);
    }
    m_entries.shrink_to_fit();
}

int RepositoryKeyIndex::SuffixTable::Find(std::string_view localKey) const {
    const NameToFind wanted = SplitLeadingSlash(localKey);
    if (wanted.name.empty()) return -1;
    const auto found = std::partition_point(m_entries.begin(), m_entries.end(),
                                            [&](const Entry& e) { return TextOf(e) < wanted.name; });
    if (found == m_entries.end() || TextOf(*found) != wanted.name) return -1;
    return wanted.afterSlashOnly ? found->firstRowAfterSlash : found->firstRow;
}

}  // namespace qvr
