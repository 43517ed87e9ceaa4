#include "compare/repository_key_index.h"

#include <algorithm>
#include <limits>
#include <unordered_set>
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

namespace {

bool IsRepositorySeparator(char c) { return c == '\\' || c == '/'; }

// Names joined by one backslash, none empty, slashes taken as backslashes.
std::string NormalKey(std::string_view key) {
    key = UpToNul(key);
    std::string normal;
    normal.reserve(key.size());
    std::size_t at = 0;
    while (at < key.size()) {
        while (at < key.size() && IsRepositorySeparator(key[at])) ++at;
        std::size_t end = at;
        while (end < key.size() && !IsRepositorySeparator(key[end])) ++end;
        if (end > at) {
            if (!normal.empty()) normal += '\\';
            normal.append(key, at, end - at);
        }
        at = end;
    }
    return normal;
}

int LevelsOf(std::string_view normalFolder) {
    if (normalFolder.empty()) return 0;
    return 1 + static_cast<int>(std::count(normalFolder.begin(), normalFolder.end(), '\\'));
}

// Where the local path's folder takes part in the vote.
struct Tally {
    int votes = 0;
    int firstRow = 0;
    std::size_t length = 0;  // of the folder's text in that row's key
};

}  // namespace

std::string NormalRepositoryFolder(std::string_view folder) { return NormalKey(folder); }

std::string ShownRepositoryFolder(std::string_view normalFolder) {
    // Built by appending: g++ 12 at -O3 warns wrongly about a literal plus a
    // temporary string.
    std::string shown;
    shown.reserve(normalFolder.size() + 1);
    shown += '\\';
    shown += normalFolder;
    return shown;
}

void CounterpartRule::Clear() {
    m_table = nullptr;
    m_textChangeCount = 0;
    m_rowCount = 0;
    m_localKeys.clear();
    m_hasFolder = false;
    m_named = false;
    m_folder.clear();
    m_votes = 0;
    m_rowKeys.clear();
    m_exactRows.clear();
    m_blindRows.clear();
    m_claimed.clear();
    m_pairs.clear();
}

bool CounterpartRule::IsCurrentFor(const ReportTable& top) const {
    return m_table == &top && m_textChangeCount == top.TextChangeCount() && m_rowCount == top.GetItemCount();
}

void CounterpartRule::Prepare(const ReportTable& top, const std::vector<std::string>& localKeys,
                              const std::optional<std::string>& namedFolder) {
    std::vector<std::string> keys;
    keys.reserve(localKeys.size());
    for (const std::string& key : localKeys) keys.push_back(NormalKey(key));
    Clear();
    m_table = &top;
    m_textChangeCount = top.TextChangeCount();
    m_rowCount = top.GetItemCount();
    m_localKeys = std::move(keys);
    m_rowKeys.reserve(static_cast<std::size_t>(m_rowCount));
    std::vector<std::string> upperKeys;
    upperKeys.reserve(static_cast<std::size_t>(m_rowCount));
    for (int row = 0; row < m_rowCount; ++row) {
        m_rowKeys.push_back(NormalKey(RepositoryPathOf(top, row)));
        upperKeys.push_back(platform::UpperAscii(m_rowKeys.back()));
        if (m_rowKeys.back().empty()) continue;  // a blank row names no file
        m_exactRows.emplace(m_rowKeys.back(), row);
        m_blindRows[upperKeys.back()].push_back(row);
    }

    std::unordered_set<std::string> localUpper;
    localUpper.reserve(m_localKeys.size());
    for (const std::string& key : m_localKeys) {
        if (!key.empty()) localUpper.insert(platform::UpperAscii(key));
    }
    // Each local file votes once for each folder where its key names a Top
    // List file: rows that differ in letter case only count as one file.
    std::unordered_map<std::string_view, Tally> tallies;
    for (int row = 0; row < m_rowCount; ++row) {
        const std::string& upper = upperKeys[static_cast<std::size_t>(row)];
        if (upper.empty() || m_blindRows[upper].front() != row) continue;
        for (std::size_t at = 0; at < upper.size(); ++at) {
            if (at != 0 && upper[at - 1] != '\\') continue;
            if (localUpper.find(upper.substr(at)) == localUpper.end()) continue;
            const std::size_t length = at == 0 ? 0 : at - 1;
            const auto [found, added] = tallies.try_emplace(std::string_view(upper).substr(0, length));
            if (added) found->second = Tally{0, row, length};
            ++found->second.votes;
        }
    }
    if (namedFolder) {
        m_named = true;
        m_hasFolder = true;
        m_folder = NormalKey(*namedFolder);
        const auto named = tallies.find(platform::UpperAscii(m_folder));
        m_votes = named == tallies.end() ? 0 : named->second.votes;
    } else {
        const Tally* best = nullptr;
        std::string_view bestFolder;
        for (const auto& [folder, tally] : tallies) {
            if (best != nullptr) {
                if (tally.votes != best->votes) {
                    if (tally.votes < best->votes) continue;
                } else if (LevelsOf(folder) != LevelsOf(bestFolder)) {
                    if (LevelsOf(folder) > LevelsOf(bestFolder)) continue;
                } else if (tally.firstRow >= best->firstRow) {
                    continue;
                }
            }
            best = &tally;
            bestFolder = folder;
        }
        if (best != nullptr) {
            m_hasFolder = true;
            m_votes = best->votes;
            m_folder = m_rowKeys[static_cast<std::size_t>(best->firstRow)].substr(0, best->length);
        }
    }
    Pair();
}

void CounterpartRule::Refresh(const ReportTable& top) {
    if (IsCurrentFor(top) || !IsPrepared()) return;
    std::vector<std::string> keys = std::move(m_localKeys);
    std::optional<std::string> folder;
    if (m_hasFolder) folder = m_folder;
    const bool named = m_named;
    // Each file keeps the repository file it was paired with, wherever the
    // sort moved it: a case-blind pair must not move to another twin.
    std::vector<std::pair<std::string, std::string>> paired;
    for (const auto& [key, row] : m_pairs) {
        if (row >= 0) paired.emplace_back(key, m_rowKeys[static_cast<std::size_t>(row)]);
    }
    Prepare(top, keys, folder);
    m_named = named;
    std::fill(m_claimed.begin(), m_claimed.end(), false);
    for (auto& [key, row] : m_pairs) row = -1;
    for (const auto& [key, repositoryKey] : paired) {
        const int row = ExactRow(repositoryKey);
        m_pairs[key] = row;
        if (row >= 0) m_claimed[static_cast<std::size_t>(row)] = true;
    }
}

std::string CounterpartRule::FullKey(std::string_view normalKey) const {
    if (m_folder.empty()) return std::string(normalKey);
    std::string full = m_folder;
    full += '\\';
    full += normalKey;
    return full;
}

int CounterpartRule::ExactRow(const std::string& fullKey) const {
    const auto found = m_exactRows.find(fullKey);
    return found == m_exactRows.end() ? -1 : found->second;
}

int CounterpartRule::FirstUnclaimedBlindRow(const std::string& fullKey) const {
    const auto found = m_blindRows.find(platform::UpperAscii(fullKey));
    if (found == m_blindRows.end()) return -1;
    for (const int row : found->second) {
        if (!m_claimed[static_cast<std::size_t>(row)]) return row;
    }
    return -1;
}

void CounterpartRule::Pair() {
    m_claimed.assign(static_cast<std::size_t>(m_rowCount), false);
    if (!m_hasFolder) return;
    std::vector<std::size_t> waiting;
    for (std::size_t i = 0; i < m_localKeys.size(); ++i) {
        const std::string& key = m_localKeys[i];
        if (key.empty()) continue;
        int row = -1;
        if constexpr (!platform::kIsWindows) row = ExactRow(FullKey(key));
        if (row < 0) {
            waiting.push_back(i);
            continue;
        }
        m_pairs[key] = row;
        m_claimed[static_cast<std::size_t>(row)] = true;
    }
    // Case twins that name the same repository file only without case: the
    // one first in byte order gets it, whatever order the scan found them in.
    std::sort(waiting.begin(), waiting.end(),
              [this](std::size_t a, std::size_t b) { return m_localKeys[a] < m_localKeys[b]; });
    for (const std::size_t i : waiting) {
        const int row = FirstUnclaimedBlindRow(FullKey(m_localKeys[i]));
        m_pairs[m_localKeys[i]] = row;
        if (row >= 0) m_claimed[static_cast<std::size_t>(row)] = true;
    }
}

int CounterpartRule::CounterpartOf(std::string_view localKey) const {
    if (!m_hasFolder) return -1;
    const std::string key = NormalKey(localKey);
    if (key.empty()) return -1;
    if (const auto paired = m_pairs.find(key); paired != m_pairs.end()) return paired->second;
    const std::string full = FullKey(key);
    if constexpr (!platform::kIsWindows) {
        const int row = ExactRow(full);
        if (row >= 0) return row;
    }
    return FirstUnclaimedBlindRow(full);
}

std::string CounterpartRule::KeyBelowFolder(int row) const {
    if (!m_hasFolder || row < 0 || row >= static_cast<int>(m_rowKeys.size())) return {};
    const std::string& key = m_rowKeys[static_cast<std::size_t>(row)];
    if (m_folder.empty()) return key;
    if (key.size() <= m_folder.size() || key[m_folder.size()] != '\\') return {};
    // Folders that differ in letter case only are one folder to the rule.
    if (platform::UpperAscii(key.substr(0, m_folder.size())) != platform::UpperAscii(m_folder)) return {};
    return key.substr(m_folder.size() + 1);
}

std::vector<int> CounterpartRule::UnpairedRowsBelowFolder(bool subFolders) const {
    std::vector<int> rows;
    if (!m_hasFolder) return rows;
    for (int row = 0; row < static_cast<int>(m_rowKeys.size()); ++row) {
        if (m_claimed[static_cast<std::size_t>(row)]) continue;
        const std::string below = KeyBelowFolder(row);
        if (below.empty() || (!subFolders && below.find('\\') != std::string::npos)) continue;
        rows.push_back(row);
    }
    return rows;
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
