#include "compare/repository_key_index.h"

#include <algorithm>
#include <limits>
#include <thread>
#include <utility>

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
    if constexpr (platform::kIsWindows) {
        m_blind.Build(platform::UpperAscii(text), rowStart);
        m_exact.Clear();
    } else {
        // The two tables share nothing but their input: the second core
        // builds one while this thread builds the other, as the report waits
        // for both before its first file.
        std::string upper = platform::UpperAscii(text);
        std::thread exact([&] { m_exact.Build(std::move(text), rowStart); });
        m_blind.Build(std::move(upper), rowStart);
        exact.join();
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

namespace {

// A polynomial hash over the bytes of a text, built from its end: the hash
// of every suffix of a key comes from the one after it in one step.
constexpr std::uint64_t kHashBase = 0x100000001B3ull;

std::uint64_t HashStep(std::uint64_t following, char c) {
    return following * kHashBase + static_cast<unsigned char>(c) + 1;
}

std::uint64_t HashOf(std::string_view text) {
    std::uint64_t hash = 0;
    for (auto it = text.rbegin(); it != text.rend(); ++it) hash = HashStep(hash, *it);
    return hash;
}

// Sorts the entries by hash, entries of one hash keeping the order they came
// in (rows ascending), 16 bits of the hash per pass. A large listing has
// hundreds of thousands of names: four linear passes over them cost a small
// part of what a comparison sort does, and the report waits for the index.
template <typename Entry>
void SortByHashKeepingOrder(std::vector<Entry>& entries) {
    constexpr int kPasses = 4;
    constexpr std::size_t kBuckets = std::size_t{1} << 16;
    const auto digit = [](std::uint64_t hash, int pass) {
        return static_cast<std::size_t>((hash >> (16 * pass)) & (kBuckets - 1));
    };
    // Positions fit 32 bits: the names are fewer than the bytes of the keys.
    std::vector<std::uint32_t> counts(kPasses * kBuckets, 0);
    for (const Entry& entry : entries) {
        for (int pass = 0; pass < kPasses; ++pass) ++counts[pass * kBuckets + digit(entry.hash, pass)];
    }
    std::vector<Entry> sorted(entries.size());
    for (int pass = 0; pass < kPasses; ++pass) {
        std::uint32_t* count = counts.data() + pass * kBuckets;
        // A pass where every hash has the same digit would move nothing.
        if (!entries.empty() && count[digit(entries.front().hash, pass)] == entries.size()) continue;
        std::uint32_t next = 0;
        for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) next += std::exchange(count[bucket], next);
        for (const Entry& entry : entries) sorted[count[digit(entry.hash, pass)]++] = entry;
        entries.swap(sorted);
    }
}

}  // namespace

void RepositoryKeyIndex::SuffixTable::Build(std::string text, const std::vector<std::int32_t>& rowStart) {
    m_text = std::move(text);
    m_entries.clear();
    const std::int32_t rows = static_cast<std::int32_t>(rowStart.size()) - 1;
    // One entry per name that starts a key or follows one of its backslashes.
    std::size_t names = 0;
    for (std::int32_t row = 0; row < rows; ++row) {
        const auto begin = m_text.begin() + rowStart[static_cast<std::size_t>(row)];
        const auto end = m_text.begin() + rowStart[static_cast<std::size_t>(row) + 1] - 1;
        if (begin == end) continue;
        names += 1 + static_cast<std::size_t>(std::count(begin, end - 1, '\\'));
    }
    m_entries.reserve(names);
    for (std::int32_t row = 0; row < rows; ++row) {
        const auto begin = static_cast<std::size_t>(rowStart[static_cast<std::size_t>(row)]);
        const auto end = static_cast<std::size_t>(rowStart[static_cast<std::size_t>(row) + 1]) - 1;  // the 0 byte
        std::uint64_t hash = 0;
        for (std::size_t at = end; at > begin; --at) {
            hash = HashStep(hash, m_text[at - 1]);
            const std::size_t start = at - 1;
            const bool afterSlash = start > begin && m_text[start - 1] == '\\';
            if (start == begin || afterSlash) {
                m_entries.push_back({hash, row, static_cast<std::uint32_t>(start * 2 + (afterSlash ? 1 : 0))});
            }
        }
    }
    SortByHashKeepingOrder(m_entries);
}

bool RepositoryKeyIndex::SuffixTable::Names(const Entry& entry, std::string_view name) const {
    const std::size_t start = entry.place / 2;
    return m_text.size() - start > name.size() && m_text.compare(start, name.size(), name) == 0 &&
           m_text[start + name.size()] == '\0';
}

int RepositoryKeyIndex::SuffixTable::Find(std::string_view localKey) const {
    const NameToFind wanted = SplitLeadingSlash(localKey);
    if (wanted.name.empty()) return -1;
    const std::uint64_t hash = HashOf(wanted.name);
    auto it = std::partition_point(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.hash < hash; });
    for (; it != m_entries.end() && it->hash == hash; ++it) {
        if (wanted.afterSlashOnly && (it->place & 1) == 0) continue;
        if (Names(*it, wanted.name)) return it->row;
    }
    return -1;
}

}  // namespace qvr
