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

namespace {

// The key of one row, path "\\" file up to its first 0 byte, in up to three
// pieces read where the cells keep them.
struct RowKey {
    std::string_view path;
    bool withFile = false;
    std::string_view file;

    std::size_t Size() const { return path.size() + (withFile ? 1 + file.size() : 0); }
    char At(std::size_t i) const {
        if (i < path.size()) return path[i];
        if (i == path.size()) return '\\';
        return file[i - path.size() - 1];
    }
};

RowKey KeyOfRow(const ReportTable& top, int row) {
    const std::string_view path = top.GetItemText(row, 2);
    const std::string_view cut = UpToNul(path);
    if (cut.size() < path.size()) return {cut, false, {}};
    return {path, true, UpToNul(top.GetItemText(row, 1))};
}

char UpperAsciiChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// KeyNamesFile on a row's pieces; with upperCase the key's letters are
// compared upper-cased, against a wanted name upper-cased by the caller.
bool RowKeyNames(const RowKey& key, const NameToFind& wanted, bool upperCase) {
    const std::size_t size = key.Size();
    const std::size_t length = wanted.name.size();
    if (length == 0 || length > size) return false;
    const std::size_t at = size - length;
    for (std::size_t i = length; i-- > 0;) {
        const char c = upperCase ? UpperAsciiChar(key.At(at + i)) : key.At(at + i);
        if (c != wanted.name[i]) return false;
    }
    if (at == 0) return !wanted.afterSlashOnly;
    return key.At(at - 1) == '\\';
}

// The counterpart rule in one pass over the rows: every exact-case match is
// also a case-blind one, so the first case-blind row is kept while the pass
// goes on looking for the first exact-case row.
template <class KeyOf>
int ScanRows(int rows, const KeyOf& keyOf, std::string_view localKey) {
    const std::string upperKey = platform::UpperAscii(UpToNul(localKey));
    const NameToFind blind = SplitLeadingSlash(upperKey);
    [[maybe_unused]] const NameToFind exact = SplitLeadingSlash(localKey);
    if (blind.name.empty()) return -1;
    int firstBlind = -1;
    for (int row = 0; row < rows; ++row) {
        const RowKey key = keyOf(row);
        if (!RowKeyNames(key, blind, true)) continue;
        if constexpr (platform::kIsWindows) {
            return row;
        } else {
            if (firstBlind < 0) firstBlind = row;
            if (RowKeyNames(key, exact, false)) return row;
        }
    }
    return firstBlind;
}

}  // namespace

int FindCounterpartByScan(const ReportTable& top, std::string_view localKey) {
    return ScanRows(top.GetItemCount(), [&top](int row) { return KeyOfRow(top, row); }, localKey);
}

struct RepositoryKeyIndex::Snapshot {
    const ReportTable* table = nullptr;
    std::uint64_t textChangeCount = 0;
    int rowCount = 0;
    std::string text;                    // every key followed by a 0 byte, in row order
    std::vector<std::int32_t> rowStart;  // where each key starts, and the end

    // The scan over the copied keys, which lie together: much quicker than
    // one over the rows themselves.
    int FindCounterpart(std::string_view localKey) const {
        if (text.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return -1;
        return ScanRows(
            rowCount,
            [this](int row) {
                const auto begin = static_cast<std::size_t>(rowStart[static_cast<std::size_t>(row)]);
                const auto end = static_cast<std::size_t>(rowStart[static_cast<std::size_t>(row) + 1]) - 1;
                return RowKey{std::string_view(text).substr(begin, end - begin), false, {}};
            },
            localKey);
    }
};

// A build on a worker thread into an index of its own; the thread sets
// finished last, and the owner reads the result only after that. Both may
// read the keys, which nobody changes.
struct RepositoryKeyIndex::BackgroundBuild {
    Snapshot keys;  // set before the thread starts
    RepositoryKeyIndex result;
    std::atomic<bool> abandoned{false};
    std::atomic<bool> finished{false};
    std::thread thread;

    void Join() {
        if (thread.joinable()) thread.join();
    }
};

RepositoryKeyIndex::RepositoryKeyIndex() = default;

RepositoryKeyIndex::~RepositoryKeyIndex() {
    AbandonBuild();
    for (const auto& build : m_abandoned) build->Join();
}

RepositoryKeyIndex::Snapshot RepositoryKeyIndex::TakeSnapshot(const ReportTable& top) {
    Snapshot snapshot;
    snapshot.table = &top;
    snapshot.textChangeCount = top.TextChangeCount();
    snapshot.rowCount = top.GetItemCount();
    snapshot.rowStart.reserve(static_cast<std::size_t>(snapshot.rowCount) + 1);
    auto place = [&snapshot] {
        // Positions past 32 bits are not stored: such a table is not indexed.
        return static_cast<std::int32_t>(
            std::min<std::size_t>(snapshot.text.size(), std::numeric_limits<std::int32_t>::max()));
    };
    for (int row = 0; row < snapshot.rowCount; ++row) {
        snapshot.rowStart.push_back(place());
        const RowKey key = KeyOfRow(top, row);
        snapshot.text += key.path;
        if (key.withFile) {
            snapshot.text += '\\';
            snapshot.text += key.file;
        }
        snapshot.text += '\0';
    }
    snapshot.rowStart.push_back(place());
    return snapshot;
}

void RepositoryKeyIndex::BuildFrom(const Snapshot& snapshot, const std::atomic<bool>* abandoned) {
    m_table = snapshot.table;
    m_textChangeCount = snapshot.textChangeCount;
    m_rowCount = snapshot.rowCount;
    if (snapshot.text.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        // Beyond what 32-bit positions reach: nothing is indexed, nothing found.
        m_rowCount = 0;
        m_exact.Clear();
        m_blind.Clear();
        return;
    }
    // A build that was abandoned before it began is thrown away unbuilt.
    if (abandoned != nullptr && abandoned->load(std::memory_order_relaxed)) return;
    if constexpr (platform::kIsWindows) {
        m_blind.Build(platform::UpperAscii(snapshot.text), snapshot.rowStart);
        m_exact.Clear();
    } else {
        // The two tables share nothing but their input: the second core
        // builds one while this thread builds the other, so whoever waits
        // for the index waits for the longer of the two only.
        std::thread exact([&] { m_exact.Build(snapshot.text, snapshot.rowStart); });
        m_blind.Build(platform::UpperAscii(snapshot.text), snapshot.rowStart);
        exact.join();
    }
}

bool RepositoryKeyIndex::IsBuildingFor(const ReportTable& top) const {
    if (m_building == nullptr) return false;
    const Snapshot& keys = m_building->keys;
    return keys.table == &top && keys.textChangeCount == top.TextChangeCount() && keys.rowCount == top.GetItemCount();
}

void RepositoryKeyIndex::TakeOverFinishedBuild() {
    if (m_building != nullptr && m_building->finished.load(std::memory_order_acquire)) {
        m_building->Join();
        RepositoryKeyIndex& built = m_building->result;
        m_table = built.m_table;
        m_textChangeCount = built.m_textChangeCount;
        m_rowCount = built.m_rowCount;
        m_exact = std::move(built.m_exact);
        m_blind = std::move(built.m_blind);
        m_building.reset();
    }
    std::erase_if(m_abandoned, [](const std::unique_ptr<BackgroundBuild>& build) {
        if (!build->finished.load(std::memory_order_acquire)) return false;
        build->Join();
        return true;
    });
}

void RepositoryKeyIndex::AbandonBuild() {
    if (m_building == nullptr) return;
    m_building->abandoned.store(true, std::memory_order_relaxed);
    m_abandoned.push_back(std::move(m_building));
}

void RepositoryKeyIndex::Build(const ReportTable& top) {
    TakeOverFinishedBuild();
    if (IsBuildingFor(top)) {
        // The worker is indexing this very state: its result is the answer.
        m_building->Join();
        TakeOverFinishedBuild();
        return;
    }
    AbandonBuild();
    BuildFrom(TakeSnapshot(top));
}

void RepositoryKeyIndex::BuildInBackground(const ReportTable& top) {
    TakeOverFinishedBuild();
    if (IsCurrentFor(top) || IsBuildingFor(top)) return;
    AbandonBuild();
    // The index of an older state of the list is of no more use: its memory
    // is given back before the new one is built.
    m_table = nullptr;
    m_rowCount = 0;
    m_exact.Clear();
    m_blind.Clear();
    auto build = std::make_unique<BackgroundBuild>();
    build->keys = TakeSnapshot(top);
    BackgroundBuild* worker = build.get();
    build->thread = std::thread([worker] {
        worker->result.BuildFrom(worker->keys, &worker->abandoned);
        worker->finished.store(true, std::memory_order_release);
    });
    m_building = std::move(build);
}

int RepositoryKeyIndex::FindCounterpartNow(const ReportTable& top, std::string_view localKey) {
    TakeOverFinishedBuild();
    if (IsCurrentFor(top)) return FindCounterpart(localKey);
    if (m_building == nullptr) BuildInBackground(top);
    // The keys being indexed are the table's keys as they are now.
    if (IsBuildingFor(top)) return m_building->keys.FindCounterpart(localKey);
    return FindCounterpartByScan(top, localKey);
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
    // The memory goes too: a long list's index is tens of megabytes.
    m_text = std::string();
    m_entries = std::vector<Entry>();
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
