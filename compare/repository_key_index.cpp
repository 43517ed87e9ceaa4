#include "compare/repository_key_index.h"

#include <algorithm>
#include <bit>
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

// Appends the names of text to a key in normal form (names joined by one
// backslash, none empty, slashes taken as backslashes); named says whether
// the key has a name yet.
void AppendNames(std::string& out, std::string_view text, bool& named) {
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsRepositorySeparator(text[at])) ++at;
        std::size_t end = at;
        while (end < text.size() && !IsRepositorySeparator(text[end])) ++end;
        if (end > at) {
            if (named) out += '\\';
            out.append(text, at, end - at);
            named = true;
        }
        at = end;
    }
}

// Names joined by one backslash, none empty, slashes taken as backslashes.
std::string NormalKey(std::string_view key) {
    std::string normal;
    normal.reserve(key.size());
    bool named = false;
    AppendNames(normal, UpToNul(key), named);
    return normal;
}

int LevelsOf(std::string_view normalFolder) {
    if (normalFolder.empty()) return 0;
    return 1 + static_cast<int>(std::count(normalFolder.begin(), normalFolder.end(), '\\'));
}

// Keys are found by a hash of their upper-cased text, built from the end as
// the suffix index's is: the hash of every name-boundary end of a key comes
// from the one after it in one step.
std::uint64_t BlindStep(std::uint64_t following, char c) { return HashStep(following, UpperAsciiChar(c)); }

std::uint64_t BlindHash(std::string_view text, std::uint64_t following = 0) {
    for (auto it = text.rbegin(); it != text.rend(); ++it) following = BlindStep(following, *it);
    return following;
}

bool EqualBlind(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && UpperAsciiChar(a[i]) != UpperAsciiChar(b[i])) return false;
    }
    return true;
}

// A key that is folder + "\\" + below (just below for the root), compared as
// bytes or without case.
bool KeyIsAt(std::string_view key, std::string_view folder, std::string_view below, bool blind) {
    const std::size_t size = folder.empty() ? below.size() : folder.size() + 1 + below.size();
    if (key.size() != size) return false;
    const auto same = [blind](std::string_view a, std::string_view b) { return blind ? EqualBlind(a, b) : a == b; };
    if (folder.empty()) return same(key, below);
    return key[folder.size()] == '\\' && same(key.substr(0, folder.size()), folder) &&
           same(key.substr(folder.size() + 1), below);
}

// A local key in normal form, made without an allocation per call: lookups
// come once per scanned file.
std::string_view NormalKeyInScratch(std::string_view key) {
    thread_local std::string scratch;
    scratch.clear();
    bool named = false;
    AppendNames(scratch, UpToNul(key), named);
    return scratch;
}

// The part of a row's key, read from its cells, whose every name-boundary
// end the normal form keeps as it is: from the first name after which
// there is no slash and no empty name. Such an end stands after a
// backslash unless it is the whole key.
struct PlainEnd {
    std::size_t length = 0;
    bool wholeKey = false;
};

PlainEnd PlainEndOf(const RowKey& key) {
    const std::size_t size = key.Size();
    PlainEnd end;
    if (size == 0 || IsRepositorySeparator(key.At(size - 1))) return end;
    for (std::size_t at = size; at-- > 0;) {
        const char c = key.At(at);
        if (c == '/' || (c == '\\' && key.At(at + 1) == '\\')) break;
        if (c != '\\' && (at == 0 || key.At(at - 1) == '\\')) end.length = size - at;
    }
    end.wholeKey = end.length == size;
    return end;
}

// Where the local path's folder takes part in the vote: the folder is the
// first length bytes of the key of row, the first row that voted for it.
struct Tally {
    std::uint64_t hash;
    std::uint32_t row;
    std::uint32_t length;
    int votes;
};

// A 64-bit mix of a hash, so that its top bits choose a slot and its low
// bits tell slots apart however alike the texts.
std::uint64_t Spread(std::uint64_t hash) {
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 33;
    hash *= 0xC4CEB9FE1A85EC53ull;
    hash ^= hash >> 33;
    return hash;
}

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

void KeyTextList::Clear() {
    text = std::string();
    start = std::vector<std::uint32_t>{0};
}

void BlindKeyTable::Reset(std::size_t keys) {
    // At most two thirds full: a probe that misses passes few slots.
    const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(8, keys + keys / 2 + 1));
    m_slots.assign(capacity, 0);
    m_shift = 64 - std::countr_zero(capacity);
    m_indexBits = std::max(1, static_cast<int>(std::bit_width(keys)));
    m_entries = 0;
}

void BlindKeyTable::Clear() {
    m_slots = std::vector<std::uint32_t>();
    m_entries = 0;
}

template <class Equal>
std::size_t BlindKeyTable::Find(std::uint64_t hash, const Equal& equal) const {
    const std::uint64_t spread = Spread(hash);
    const std::size_t mask = m_slots.size() - 1;
    const std::uint64_t tag = m_indexBits >= 32 ? 0 : (spread & ((1ull << (32 - m_indexBits)) - 1));
    const std::uint64_t indexMask = (1ull << m_indexBits) - 1;
    for (std::size_t slot = static_cast<std::size_t>(spread >> m_shift);; slot = (slot + 1) & mask) {
        const std::uint64_t held = m_slots[slot];
        if (held == 0) return slot;
        if ((held >> m_indexBits) == tag && equal(static_cast<std::uint32_t>((held & indexMask) - 1))) return slot;
    }
}

std::uint32_t BlindKeyTable::IndexAt(std::size_t slot) const {
    const std::uint64_t held = m_slots[slot];
    return held == 0 ? kNone : static_cast<std::uint32_t>((held & ((1ull << m_indexBits) - 1)) - 1);
}

void BlindKeyTable::Set(std::size_t slot, std::uint64_t hash, std::uint32_t index) {
    const std::uint64_t tag = m_indexBits >= 32 ? 0 : (Spread(hash) & ((1ull << (32 - m_indexBits)) - 1));
    if (m_slots[slot] == 0) ++m_entries;
    m_slots[slot] = static_cast<std::uint32_t>(tag << m_indexBits | (std::uint64_t{index} + 1));
}

void CounterpartRule::Clear() {
    m_table = nullptr;
    m_textChangeCount = 0;
    m_rowCount = 0;
    m_hasFolder = false;
    m_named = false;
    m_folder.clear();
    m_votes = 0;
    // The memory goes too: a large tree's keys are tens of megabytes (an
    // empty container put in each place; "= {}" would keep the room).
    m_localKeys.Clear();
    m_localTwins.Clear();
    m_nextLocalTwin = decltype(m_nextLocalTwin)();
    m_localForms = decltype(m_localForms)();
    m_pairs = decltype(m_pairs)();
    m_elsewhere = decltype(m_elsewhere)();
    m_elsewhereExact = decltype(m_elsewhereExact)();
    m_rowKeys.Clear();
    m_rowTwins.Clear();
    m_nextRowTwin = decltype(m_nextRowTwin)();
    m_claimed = decltype(m_claimed)();
}

void CounterpartRule::StandFor(const ReportTable& top, std::uint64_t textChangeCount) {
    if (!IsPrepared()) return;
    m_table = &top;
    m_textChangeCount = textChangeCount;
}

bool CounterpartRule::IsCurrentFor(const ReportTable& top) const {
    return m_table == &top && m_textChangeCount == top.TextChangeCount() && m_rowCount == top.GetItemCount();
}

void CounterpartRule::Prepare(const ReportTable& top, const std::vector<std::string>& localKeys,
                              const std::optional<std::string>& namedFolder) {
    LocalKeySource source;
    source.count = localKeys.size();
    for (const std::string& key : localKeys) source.textBytes += key.size();
    source.keyAt = [&localKeys](std::size_t i, std::string&) { return std::string_view(localKeys[i]); };
    Prepare(top, source, namedFolder);
}

void CounterpartRule::Prepare(const ReportTable& top, const LocalKeySource& localKeys,
                              const std::optional<std::string>& namedFolder) {
    // The named folder may be this rule's own.
    const std::optional<std::string> named = namedFolder;
    Clear();
    StoreLocalKeys(localKeys);
    Build(top, named);
    Pair();
}

// The trace's note asks what RepositoryKeyIndex::FindCounterpart answers:
// for a key given as its normal form, with or without one leading
// backslash, the rule can tell from the normal forms of the rows.
CounterpartRule::KeyForm CounterpartRule::FormOf(std::string_view given, std::string_view normal) {
    given = UpToNul(given);
    if (given == normal) return KeyForm::Bare;
    if (given.size() == normal.size() + 1 && given.front() == '\\' && given.substr(1) == normal) {
        return KeyForm::LeadingSlash;
    }
    return KeyForm::Other;
}

void CounterpartRule::StoreLocalKeys(const LocalKeySource& localKeys) {
    m_localKeys.text.reserve(std::min<std::size_t>(localKeys.textBytes, std::numeric_limits<std::uint32_t>::max()));
    m_localKeys.start.reserve(localKeys.count + 1);
    m_localTwins.Reset(localKeys.count);
    m_nextLocalTwin.reserve(localKeys.count);
    m_localForms.reserve(localKeys.count);
    std::string buffer;
    for (std::size_t i = 0; i < localKeys.count; ++i) {
        const std::string_view given = localKeys.keyAt(i, buffer);
        std::string& text = m_localKeys.text;
        const std::size_t from = text.size();
        bool named = false;
        AppendNames(text, UpToNul(given), named);
        // Keys past what 32-bit positions reach are not kept: they are
        // looked up as keys made since.
        if (text.size() == from || text.size() > std::numeric_limits<std::uint32_t>::max()) {
            text.resize(from);
            continue;
        }
        const std::string_view normal = std::string_view(text).substr(from);
        const KeyForm form = FormOf(given, normal);
        const std::uint64_t hash = BlindHash(normal);
        const std::size_t slot =
            m_localTwins.Find(hash, [&](std::uint32_t k) { return EqualBlind(m_localKeys.At(k), normal); });
        const std::uint32_t index = m_localKeys.Count();
        std::uint32_t last = m_localTwins.IndexAt(slot);
        if (last != BlindKeyTable::kNone) {
            // The same key twice is kept once; given in two forms, the index
            // tells where else it lies.
            std::uint32_t same = last;
            while (same != BlindKeyTable::kNone && m_localKeys.At(same) != normal) same = m_nextLocalTwin[same];
            if (same != BlindKeyTable::kNone) {
                if (m_localForms[same] != form) m_localForms[same] = KeyForm::Other;
                text.resize(from);
                continue;
            }
            while (m_nextLocalTwin[last] != BlindKeyTable::kNone) last = m_nextLocalTwin[last];
            m_nextLocalTwin[last] = index;
        } else {
            m_localTwins.Set(slot, hash, index);
        }
        m_localKeys.start.push_back(static_cast<std::uint32_t>(text.size()));
        m_nextLocalTwin.push_back(BlindKeyTable::kNone);
        m_localForms.push_back(form);
    }
}

struct CounterpartRule::RowFacts {
    // The length of each row's plain end (see PlainEndOf), with the top bit
    // set when that is the whole key.
    std::vector<std::uint32_t> plainEnds;
    std::vector<bool> firstOfTwins;
};

namespace {

constexpr std::uint32_t kWholeKey = 0x80000000u;

// A filter of one bit per hash in front of a large table: most ends of row
// keys name no local file, and a bit in a block that stays in the cache
// says so without a read of the table itself.
class HashFilter {
public:
    explicit HashFilter(std::size_t keys)
        : m_bits(std::bit_ceil(std::max<std::size_t>(64, 8 * keys)) / 64, 0), m_mask(m_bits.size() * 64 - 1) {}
    void Add(std::uint64_t hash) {
        const std::size_t bit = Bit(hash);
        m_bits[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
    bool MayHold(std::uint64_t hash) const {
        const std::size_t bit = Bit(hash);
        return (m_bits[bit / 64] >> (bit % 64) & 1) != 0;
    }

private:
    std::size_t Bit(std::uint64_t hash) const { return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ull) >> 24) & m_mask; }
    std::vector<std::uint64_t> m_bits;
    std::size_t m_mask;
};

}  // namespace

CounterpartRule::RowFacts CounterpartRule::StoreRowKeys(const ReportTable& top) {
    const auto rows = static_cast<std::uint32_t>(m_rowCount);
    RowFacts facts;
    // Room for the keys at most as long as their cells.
    std::size_t bytes = 0;
    for (std::uint32_t row = 0; row < rows; ++row) {
        bytes += top.GetItemText(static_cast<int>(row), 2).size() + top.GetItemText(static_cast<int>(row), 1).size();
    }
    m_rowKeys.Clear();
    m_rowKeys.text.reserve(std::min<std::size_t>(bytes, std::numeric_limits<std::uint32_t>::max()));
    m_rowKeys.start.reserve(std::size_t{rows} + 1);
    facts.plainEnds.reserve(rows);
    for (std::uint32_t row = 0; row < rows; ++row) {
        const RowKey key = KeyOfRow(top, static_cast<int>(row));
        std::string& text = m_rowKeys.text;
        const std::size_t from = text.size();
        bool named = false;
        AppendNames(text, key.path, named);
        if (key.withFile) AppendNames(text, key.file, named);
        // A key past what 32-bit positions reach names no file, as a blank row.
        if (text.size() > std::numeric_limits<std::uint32_t>::max()) text.resize(from);
        m_rowKeys.start.push_back(static_cast<std::uint32_t>(text.size()));
        const PlainEnd plain = PlainEndOf(key);
        facts.plainEnds.push_back(
            static_cast<std::uint32_t>(std::min<std::size_t>(plain.length, ~kWholeKey)) | (plain.wholeKey ? kWholeKey : 0));
    }
    // Twins are chained from the last row up, so that each chain runs in row
    // order from the first row of its key.
    m_rowTwins.Reset(rows);
    m_nextRowTwin.assign(rows, BlindKeyTable::kNone);
    facts.firstOfTwins.assign(rows, false);
    for (std::uint32_t row = rows; row-- > 0;) {
        const std::string_view key = m_rowKeys.At(row);
        if (key.empty()) continue;  // a blank row names no file
        const std::uint64_t hash = BlindHash(key);
        const std::size_t slot =
            m_rowTwins.Find(hash, [&](std::uint32_t r) { return EqualBlind(m_rowKeys.At(r), key); });
        const std::uint32_t next = m_rowTwins.IndexAt(slot);
        m_nextRowTwin[row] = next;
        if (next != BlindKeyTable::kNone) facts.firstOfTwins[next] = false;
        facts.firstOfTwins[row] = true;
        m_rowTwins.Set(slot, hash, row);
    }
    return facts;
}

void CounterpartRule::Build(const ReportTable& top, const std::optional<std::string>& namedFolder) {
    m_table = &top;
    m_textChangeCount = top.TextChangeCount();
    m_rowCount = top.GetItemCount();
    m_hasFolder = false;
    m_named = false;
    m_folder.clear();
    m_votes = 0;
    const RowFacts rowFacts = StoreRowKeys(top);

    // Every name-boundary end of every row's key is looked up among the
    // local keys. Each local file votes once for each folder where its key
    // names a Top List file: rows that differ in letter case only count as
    // one file. On the way each local key notes the first row that names it
    // anywhere, exact case first where the platform tells cases apart.
    const std::uint32_t localCount = m_localKeys.Count();
    HashFilter localHashes(localCount);
    for (std::uint32_t k = 0; k < localCount; ++k) localHashes.Add(BlindHash(m_localKeys.At(k)));
    m_elsewhere.assign(localCount, -1);
    // Until the pairing, the first of each local key's twins holds the one
    // first-of-twins row whose key ends with it, -2 for more than one.
    m_pairs.assign(localCount, -1);
    m_elsewhereExact.assign(localCount, false);
    std::vector<Tally> tallies;
    BlindKeyTable folders;
    folders.Reset(64);
    const auto folderOf = [this](const Tally& tally) { return m_rowKeys.At(tally.row).substr(0, tally.length); };
    for (std::uint32_t row = 0; row < static_cast<std::uint32_t>(m_rowCount); ++row) {
        const std::string_view key = m_rowKeys.At(row);
        if (key.empty()) continue;
        const bool votes = rowFacts.firstOfTwins[row];
        const std::uint32_t plainEnd = rowFacts.plainEnds[row] & ~kWholeKey;
        const bool plainWholeKey = (rowFacts.plainEnds[row] & kWholeKey) != 0;
        std::uint64_t hash = 0;
        for (std::size_t at = key.size(); at-- > 0;) {
            hash = BlindStep(hash, key[at]);
            if ((at != 0 && key[at - 1] != '\\') || !localHashes.MayHold(hash)) continue;
            const std::string_view end = key.substr(at);
            const std::uint32_t local = m_localTwins.IndexAt(
                m_localTwins.Find(hash, [&](std::uint32_t k) { return EqualBlind(m_localKeys.At(k), end); }));
            if (local == BlindKeyTable::kNone) continue;
            if (votes) {
                m_pairs[local] = m_pairs[local] == -1 ? static_cast<std::int32_t>(row) : -2;
                const std::string_view folder = key.substr(0, at == 0 ? 0 : at - 1);
                const std::uint64_t folderHash = BlindHash(folder);
                const auto sameFolder = [&](std::uint32_t t) { return EqualBlind(folderOf(tallies[t]), folder); };
                std::size_t slot = folders.Find(folderHash, sameFolder);
                if (folders.IndexAt(slot) == BlindKeyTable::kNone) {
                    if (folders.Entries() + 1 > folders.Capacity() / 2) {
                        folders.Reset(2 * folders.Capacity());
                        for (std::uint32_t t = 0; t < tallies.size(); ++t) {
                            folders.Set(folders.Find(tallies[t].hash, [](std::uint32_t) { return false; }),
                                        tallies[t].hash, t);
                        }
                        slot = folders.Find(folderHash, sameFolder);
                    }
                    folders.Set(slot, folderHash, static_cast<std::uint32_t>(tallies.size()));
                    tallies.push_back({folderHash, row, static_cast<std::uint32_t>(folder.size()), 0});
                }
                ++tallies[folders.IndexAt(slot)].votes;
            }
            // What the cells hold may differ from the normal form nearer the
            // key's start: only the plain end names a key as it is given.
            if (end.size() > plainEnd) continue;
            const bool afterSlash = !(plainWholeKey && at == 0);
            for (std::uint32_t k = local; k != BlindKeyTable::kNone; k = m_nextLocalTwin[k]) {
                if (m_elsewhereExact[k] || m_localForms[k] == KeyForm::Other) continue;
                if (m_localForms[k] == KeyForm::LeadingSlash && !afterSlash) continue;
                bool exact = false;
                if constexpr (!platform::kIsWindows) exact = end == m_localKeys.At(k);
                if (exact) {
                    m_elsewhere[k] = static_cast<std::int32_t>(row);
                    m_elsewhereExact[k] = true;
                } else if (m_elsewhere[k] < 0) {
                    m_elsewhere[k] = static_cast<std::int32_t>(row);
                }
            }
        }
    }

    if (namedFolder) {
        m_named = true;
        m_hasFolder = true;
        m_folder = NormalKey(*namedFolder);
        const std::uint32_t named = folders.IndexAt(folders.Find(
            BlindHash(m_folder), [&](std::uint32_t t) { return EqualBlind(folderOf(tallies[t]), m_folder); }));
        m_votes = named == BlindKeyTable::kNone ? 0 : tallies[named].votes;
        return;
    }
    // Most votes win, then fewer levels, then the first row: one order over
    // all folders, whatever order they were tallied in.
    const Tally* best = nullptr;
    for (const Tally& tally : tallies) {
        if (best != nullptr) {
            if (tally.votes != best->votes) {
                if (tally.votes < best->votes) continue;
            } else if (LevelsOf(folderOf(tally)) != LevelsOf(folderOf(*best))) {
                if (LevelsOf(folderOf(tally)) > LevelsOf(folderOf(*best))) continue;
            } else if (tally.row >= best->row) {
                continue;
            }
        }
        best = &tally;
    }
    if (best != nullptr) {
        m_hasFolder = true;
        m_votes = best->votes;
        m_folder = std::string(folderOf(*best));
    }
}

void CounterpartRule::Refresh(const ReportTable& top) {
    if (IsCurrentFor(top) || !IsPrepared()) return;
    std::optional<std::string> folder;
    if (m_hasFolder) folder = m_folder;
    const bool named = m_named;
    // Each file keeps the repository file it was paired with, wherever the
    // sort moved it: a case-blind pair must not move to another twin.
    const KeyTextList before = std::move(m_rowKeys);
    const std::vector<std::int32_t> pairedBefore = std::move(m_pairs);
    Build(top, folder);
    m_named = named;
    m_claimed.assign(static_cast<std::size_t>(m_rowCount), false);
    m_pairs.assign(m_localKeys.Count(), -1);
    for (std::size_t k = 0; k < pairedBefore.size(); ++k) {
        if (pairedBefore[k] < 0) continue;
        const int row = FirstRowWithKey(before.At(static_cast<std::uint32_t>(pairedBefore[k])));
        m_pairs[k] = row;
        if (row >= 0) m_claimed[static_cast<std::size_t>(row)] = true;
    }
}

std::uint32_t CounterpartRule::LocalIndexOf(std::string_view normalKey) const {
    if (normalKey.empty() || m_localKeys.Count() == 0) return BlindKeyTable::kNone;
    std::uint32_t k = m_localTwins.IndexAt(m_localTwins.Find(
        BlindHash(normalKey), [&](std::uint32_t i) { return EqualBlind(m_localKeys.At(i), normalKey); }));
    while (k != BlindKeyTable::kNone && m_localKeys.At(k) != normalKey) k = m_nextLocalTwin[k];
    return k;
}

std::uint32_t CounterpartRule::RowTwinsAt(std::string_view normalKey) const {
    if (m_rowTwins.Capacity() == 0) return BlindKeyTable::kNone;
    std::uint64_t hash = BlindHash(normalKey);
    if (!m_folder.empty()) hash = BlindHash(m_folder, BlindStep(hash, '\\'));
    return m_rowTwins.IndexAt(m_rowTwins.Find(
        hash, [&](std::uint32_t r) { return KeyIsAt(m_rowKeys.At(r), m_folder, normalKey, true); }));
}

int CounterpartRule::ExactRow(std::string_view normalKey) const {
    for (std::uint32_t row = RowTwinsAt(normalKey); row != BlindKeyTable::kNone; row = m_nextRowTwin[row]) {
        if (KeyIsAt(m_rowKeys.At(row), m_folder, normalKey, false)) return static_cast<int>(row);
    }
    return -1;
}

int CounterpartRule::FirstUnclaimedBlindRow(std::string_view normalKey) const {
    for (std::uint32_t row = RowTwinsAt(normalKey); row != BlindKeyTable::kNone; row = m_nextRowTwin[row]) {
        if (!m_claimed[row]) return static_cast<int>(row);
    }
    return -1;
}

int CounterpartRule::FirstRowWithKey(std::string_view rowKey) const {
    if (rowKey.empty() || m_rowTwins.Capacity() == 0) return -1;
    std::uint32_t row = m_rowTwins.IndexAt(
        m_rowTwins.Find(BlindHash(rowKey), [&](std::uint32_t r) { return EqualBlind(m_rowKeys.At(r), rowKey); }));
    while (row != BlindKeyTable::kNone && m_rowKeys.At(row) != rowKey) row = m_nextRowTwin[row];
    return row == BlindKeyTable::kNone ? -1 : static_cast<int>(row);
}

void CounterpartRule::Pair() {
    const std::uint32_t localCount = m_localKeys.Count();
    m_claimed.assign(static_cast<std::size_t>(m_rowCount), false);
    if (!m_hasFolder) {
        m_pairs.assign(localCount, -1);
        return;
    }
    // Only twins can want the same rows, so each chain of local twins is
    // paired alone (its first key comes before the rest of it): exact case
    // first, then the twins that name a repository file only without case,
    // the one first in byte order first, whatever order the scan found them
    // in.
    std::vector<bool> settled(localCount, false);
    std::vector<std::uint32_t> waiting;
    for (std::uint32_t first = 0; first < localCount; ++first) {
        if (settled[first]) continue;
        const std::string_view key = m_localKeys.At(first);
        // The vote saw which rows' keys end with it: mostly one, or none.
        const std::int32_t seen = m_pairs[first];
        std::uint32_t twins = BlindKeyTable::kNone;
        if (seen >= 0 && KeyIsAt(m_rowKeys.At(static_cast<std::uint32_t>(seen)), m_folder, key, true)) {
            twins = static_cast<std::uint32_t>(seen);
        } else if (seen == -2) {
            twins = RowTwinsAt(key);
        }
        waiting.clear();
        for (std::uint32_t k = first; k != BlindKeyTable::kNone; k = m_nextLocalTwin[k]) {
            settled[k] = true;
            m_pairs[k] = -1;
            if constexpr (!platform::kIsWindows) {
                for (std::uint32_t row = twins; row != BlindKeyTable::kNone; row = m_nextRowTwin[row]) {
                    if (!KeyIsAt(m_rowKeys.At(row), m_folder, m_localKeys.At(k), false)) continue;
                    m_pairs[k] = static_cast<std::int32_t>(row);
                    m_claimed[row] = true;
                    break;
                }
            }
            if (m_pairs[k] < 0) waiting.push_back(k);
        }
        std::sort(waiting.begin(), waiting.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return m_localKeys.At(a) < m_localKeys.At(b); });
        for (const std::uint32_t k : waiting) {
            for (std::uint32_t row = twins; row != BlindKeyTable::kNone; row = m_nextRowTwin[row]) {
                if (m_claimed[row]) continue;
                m_pairs[k] = static_cast<std::int32_t>(row);
                m_claimed[row] = true;
                break;
            }
        }
    }
}

int CounterpartRule::CounterpartOf(std::string_view localKey) const {
    if (!m_hasFolder) return -1;
    const std::string_view key = NormalKeyInScratch(localKey);
    if (key.empty()) return -1;
    if (const std::uint32_t k = LocalIndexOf(key); k != BlindKeyTable::kNone) return m_pairs[k];
    if constexpr (!platform::kIsWindows) {
        const int row = ExactRow(key);
        if (row >= 0) return row;
    }
    return FirstUnclaimedBlindRow(key);
}

std::optional<int> CounterpartRule::FirstRowNaming(std::string_view localKey) const {
    if (!IsPrepared()) return std::nullopt;
    const std::string_view given = UpToNul(localKey);
    const std::string_view key = NormalKeyInScratch(given);
    const KeyForm form = FormOf(given, key);
    if (key.empty()) {
        // No name to find: "" and "\\" name nothing.
        if (form != KeyForm::Other) return -1;
        return std::nullopt;
    }
    const std::uint32_t k = LocalIndexOf(key);
    if (k == BlindKeyTable::kNone || form == KeyForm::Other || m_localForms[k] != form) {
        return std::nullopt;
    }
    return m_elsewhere[k];
}

std::string_view CounterpartRule::BelowFolder(std::uint32_t row) const {
    if (!m_hasFolder || row >= m_rowKeys.Count()) return {};
    const std::string_view key = m_rowKeys.At(row);
    if (m_folder.empty()) return key;
    if (key.size() <= m_folder.size() || key[m_folder.size()] != '\\') return {};
    // Folders that differ in letter case only are one folder to the rule.
    if (!EqualBlind(key.substr(0, m_folder.size()), m_folder)) return {};
    return key.substr(m_folder.size() + 1);
}

std::string CounterpartRule::KeyBelowFolder(int row) const {
    if (row < 0) return {};
    return std::string(BelowFolder(static_cast<std::uint32_t>(row)));
}

std::vector<int> CounterpartRule::UnpairedRowsBelowFolder(bool subFolders) const {
    std::vector<int> rows;
    if (!m_hasFolder) return rows;
    for (std::uint32_t row = 0; row < m_rowKeys.Count(); ++row) {
        if (m_claimed[row]) continue;
        const std::string_view below = BelowFolder(row);
        if (below.empty() || (!subFolders && below.find('\\') != std::string_view::npos)) continue;
        rows.push_back(static_cast<int>(row));
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
