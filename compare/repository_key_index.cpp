#include "compare/repository_key_index.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <thread>
#include <utility>

#include "app/platform.h"

// The hashes and compares below run once per byte of every key: the
// compilers would otherwise call them.
#define QVR_HOT_INLINE [[gnu::always_inline]] inline

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

RowKey KeyOfCells(std::string_view path, std::string_view file) {
    const std::string_view cut = UpToNul(path);
    if (cut.size() < path.size()) return {cut, false, {}};
    return {path, true, UpToNul(file)};
}

RowKey KeyOfRow(const ReportTable& top, int row) { return KeyOfCells(top.GetItemText(row, 2), top.GetItemText(row, 1)); }

// The same on a row as the list stores it: a walk over the rows in order
// has the next ones read ahead.
RowKey KeyOfStoredRow(const ReportTable::StoredRow& stored) {
    const auto cell = [&stored](std::size_t column) {
        return column < stored.columns ? stored.Cell(column) : std::string_view();
    };
    return KeyOfCells(cell(2), cell(1));
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

QVR_HOT_INLINE std::uint64_t BlindHash(std::string_view text, std::uint64_t following = 0) {
    for (auto it = text.rbegin(); it != text.rend(); ++it) following = BlindStep(following, *it);
    return following;
}

QVR_HOT_INLINE bool EqualBlind(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // Mostly the letters match as they are: a compare of whole words says so.
    if (a == b) return true;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && UpperAsciiChar(a[i]) != UpperAsciiChar(b[i])) return false;
    }
    return true;
}

QVR_HOT_INLINE bool SameText(std::string_view a, std::string_view b, bool blind) { return blind ? EqualBlind(a, b) : a == b; }

// A normal key in its two pieces: the folder ends at its last backslash.
KeyParts SplitNormalKey(std::string_view key) {
    const std::size_t slash = key.rfind('\\');
    if (slash == std::string_view::npos) return {{}, key};
    return {key.substr(0, slash), key.substr(slash + 1)};
}

QVR_HOT_INLINE std::uint64_t BlindHash(const KeyParts& key) {
    const std::uint64_t name = BlindHash(key.name);
    return key.folder.empty() ? name : BlindHash(key.folder, BlindStep(name, '\\'));
}

// The hash of folder + "\\" + below (below alone for the root).
std::uint64_t BlindHashAt(std::string_view folder, const KeyParts& below) {
    const std::uint64_t hash = BlindHash(below);
    return folder.empty() ? hash : BlindHash(folder, BlindStep(hash, '\\'));
}

// Keys in normal form are equal when their pieces are.
QVR_HOT_INLINE bool SameKey(const KeyParts& a, const KeyParts& b, bool blind) {
    return a.name.size() == b.name.size() && a.folder.size() == b.folder.size() && SameText(a.name, b.name, blind) &&
           SameText(a.folder, b.folder, blind);
}

// A key that is folder + "\\" + below (just below for the root), compared as
// bytes or without case.
bool KeyIsAt(const KeyParts& key, std::string_view folder, const KeyParts& below, bool blind) {
    if (key.name.size() != below.name.size() || !SameText(key.name, below.name, blind)) return false;
    if (folder.empty()) return SameText(key.folder, below.folder, blind);
    if (below.folder.empty()) return SameText(key.folder, folder, blind);
    return key.folder.size() == folder.size() + 1 + below.folder.size() && key.folder[folder.size()] == '\\' &&
           SameText(key.folder.substr(0, folder.size()), folder, blind) &&
           SameText(key.folder.substr(folder.size() + 1), below.folder, blind);
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

// Names joined by single backslashes, none empty, no slash: a text the
// normal form keeps as it is.
bool IsNormalText(std::string_view text) {
    if (text.empty()) return true;
    if (text.front() == '\\' || text.back() == '\\') return false;
    char previous = 0;
    for (const char c : text) {
        if (c == '/' || (c == '\\' && previous == '\\')) return false;
        previous = c;
    }
    return true;
}

// A row's key in normal form where its cells hold it as it is (bar one
// leading backslash of the path), as the list keeps its rows: else nothing,
// and the rule keeps that row's normal key aside.
std::optional<KeyParts> KeyInCells(const RowKey& cells) {
    std::string_view folder = cells.path;
    if (!folder.empty() && folder.front() == '\\') folder.remove_prefix(1);
    if (!IsNormalText(folder)) return std::nullopt;
    if (cells.withFile && !cells.file.empty()) {
        for (const char c : cells.file) {
            if (IsRepositorySeparator(c)) return std::nullopt;
        }
        return KeyParts{folder, cells.file};
    }
    return SplitNormalKey(folder);
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
    bool sameSpelling;  // every row that voted for it spells it alike
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

std::string KeyParts::Text() const {
    std::string text;
    text.reserve(Size());
    text += folder;
    if (!folder.empty()) text += '\\';
    text += name;
    return text;
}

void KeyTextList::Clear() {
    text = std::string();
    start = std::vector<std::uint32_t>{0};
}

void BlindKeyTable::Reset(std::size_t keys) {
    // At most two thirds full: a probe that misses passes few slots. Any
    // count of slots will do, so none is left over.
    m_slots.assign(std::max<std::size_t>(8, keys + keys / 2 + 1), 0);
    m_indexBits = std::max(1, static_cast<int>(std::bit_width(keys)));
    m_entries = 0;
}

void BlindKeyTable::Clear() {
    m_slots = std::vector<std::uint32_t>();
    m_entries = 0;
}

std::size_t BlindKeyTable::HomeSlot(std::uint64_t spread) const {
    // The top 32 bits of the hash, scaled to the slots: the tag takes the
    // low ones.
    return static_cast<std::size_t>(((spread >> 32) * m_slots.size()) >> 32);
}

std::uint64_t BlindKeyTable::TagOf(std::uint64_t spread) const {
    return m_indexBits >= 32 ? 0 : (spread & ((1ull << (32 - m_indexBits)) - 1));
}

template <class Equal>
std::size_t BlindKeyTable::Probe(std::size_t slot, std::uint64_t tag, const Equal& equal) const {
    const std::size_t size = m_slots.size();
    const std::uint64_t indexMask = (1ull << m_indexBits) - 1;
    for (;; slot = slot + 1 == size ? 0 : slot + 1) {
        const std::uint64_t held = m_slots[slot];
        if (held == 0) return slot;
        if ((held >> m_indexBits) == tag && equal(static_cast<std::uint32_t>((held & indexMask) - 1))) return slot;
    }
}

template <class Equal>
std::size_t BlindKeyTable::Find(std::uint64_t hash, const Equal& equal) const {
    const std::uint64_t spread = Spread(hash);
    return Probe(HomeSlot(spread), TagOf(spread), equal);
}

template <class Equal>
std::size_t BlindKeyTable::FindNext(std::size_t slot, std::uint64_t hash, const Equal& equal) const {
    return Probe(slot + 1 == m_slots.size() ? 0 : slot + 1, TagOf(Spread(hash)), equal);
}

std::uint32_t BlindKeyTable::IndexAt(std::size_t slot) const {
    const std::uint64_t held = m_slots[slot];
    return held == 0 ? kNone : static_cast<std::uint32_t>((held & ((1ull << m_indexBits) - 1)) - 1);
}

void BlindKeyTable::Set(std::size_t slot, std::uint64_t hash, std::uint32_t index) {
    if (m_slots[slot] == 0) ++m_entries;
    m_slots[slot] = static_cast<std::uint32_t>(TagOf(Spread(hash)) << m_indexBits | (std::uint64_t{index} + 1));
}

void BlindKeyTable::Insert(std::uint64_t hash, std::uint32_t index) {
    Set(Find(hash, [](std::uint32_t) { return false; }), hash, index);
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
    m_localFolders.Clear();
    m_localNames = std::string();
    m_localKeys = decltype(m_localKeys)();
    m_localTwins.Clear();
    m_localForms = decltype(m_localForms)();
    m_pairs = decltype(m_pairs)();
    m_elsewhere = decltype(m_elsewhere)();
    m_elsewhereApart = decltype(m_elsewhereApart)();
    m_sideRows = decltype(m_sideRows)();
    m_sideKeys.Clear();
    m_blindPairLocal = decltype(m_blindPairLocal)();
    m_blindPairKeys.Clear();
    m_rowTwins.Clear();
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
    for (const std::string& key : localKeys) {
        const std::size_t slash = key.find_last_of("\\/");
        source.nameBytes += slash == std::string::npos ? key.size() : key.size() - slash - 1;
    }
    source.keyAt = [&localKeys](std::size_t i, std::string&) { return std::string_view(localKeys[i]); };
    Prepare(top, source, namedFolder);
}

void CounterpartRule::Prepare(const ReportTable& top, const LocalKeySource& localKeys,
                              const std::optional<std::string>& namedFolder) {
    // The named folder may be this rule's own.
    const std::optional<std::string> named = namedFolder;
    Clear();
    StoredKeys stored = StoreLocalKeys(localKeys);
    BuildResult built = Build(top, named, &stored.hashes);
    stored.hashes = std::vector<std::uint64_t>();
    Pair(stored.twinned, built);
    KeepElsewhere(std::move(built.elsewhere));
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

KeyParts CounterpartRule::LocalKey(std::uint32_t k) const {
    const std::uint32_t nameStart = k == 0 ? 0 : m_localKeys[k - 1].nameEnd;
    const LocalKeyEntry& entry = m_localKeys[k];
    return {m_localFolders.At(entry.folder), std::string_view(m_localNames).substr(nameStart, entry.nameEnd - nameStart)};
}

KeyParts CounterpartRule::RowKeyParts(std::uint32_t row) const {
    const RowKey cells = KeyOfRow(*m_table, static_cast<int>(row));
    if (const std::optional<KeyParts> key = KeyInCells(cells)) return *key;
    const auto aside = std::lower_bound(m_sideRows.begin(), m_sideRows.end(), row);
    if (aside == m_sideRows.end() || *aside != row) return {};
    return SplitNormalKey(m_sideKeys.At(static_cast<std::uint32_t>(aside - m_sideRows.begin())));
}

CounterpartRule::StoredKeys CounterpartRule::StoreLocalKeys(const LocalKeySource& localKeys) {
    constexpr std::size_t kMaxText = std::numeric_limits<std::uint32_t>::max();
    m_localNames.reserve(std::min(localKeys.nameBytes, kMaxText));
    m_localKeys.reserve(localKeys.count);
    m_localForms.reserve(localKeys.count);
    m_localTwins.Reset(localKeys.count);
    StoredKeys stored;
    std::vector<bool>& twinned = stored.twinned;
    twinned.reserve(localKeys.count);
    stored.hashes.reserve(localKeys.count);
    // Files of one folder mostly come together; any folder met before is
    // found by its hash.
    BlindKeyTable folders;
    folders.Reset(64);
    std::uint32_t lastFolder = BlindKeyTable::kNone;
    std::string buffer;
    std::string normal;
    for (std::size_t i = 0; i < localKeys.count; ++i) {
        const std::string_view given = localKeys.keyAt(i, buffer);
        normal.clear();
        bool named = false;
        AppendNames(normal, UpToNul(given), named);
        if (normal.empty()) continue;
        const KeyParts key = SplitNormalKey(normal);
        const KeyForm form = FormOf(given, normal);
        const std::uint64_t hash = BlindHash(std::string_view(normal));
        const auto sameBlind = [&](std::uint32_t k) { return SameKey(LocalKey(k), key, true); };
        const std::size_t slot = m_localTwins.Find(hash, sameBlind);
        const bool hasTwin = m_localTwins.IndexAt(slot) != BlindKeyTable::kNone;
        if (hasTwin) {
            // The same key twice is kept once; given in two forms, the index
            // tells where else it lies.
            bool kept = false;
            for (std::size_t s = slot; m_localTwins.IndexAt(s) != BlindKeyTable::kNone && !kept;
                 s = m_localTwins.FindNext(s, hash, sameBlind)) {
                const std::uint32_t k = m_localTwins.IndexAt(s);
                if (!SameKey(LocalKey(k), key, false)) continue;
                if (m_localForms[k] != form) m_localForms[k] = KeyForm::Other;
                kept = true;
            }
            if (kept) continue;
        }
        // Keys past what 32-bit positions reach are not kept: they are
        // looked up as keys made since.
        if (m_localNames.size() + key.name.size() > kMaxText) continue;
        std::uint32_t folder = lastFolder;
        if (folder == BlindKeyTable::kNone || m_localFolders.At(folder) != key.folder) {
            const std::uint64_t folderHash = std::hash<std::string_view>{}(key.folder);
            const auto sameFolder = [&](std::uint32_t f) { return m_localFolders.At(f) == key.folder; };
            std::size_t folderSlot = folders.Find(folderHash, sameFolder);
            folder = folders.IndexAt(folderSlot);
            if (folder == BlindKeyTable::kNone) {
                if (m_localFolders.text.size() + key.folder.size() > kMaxText) continue;
                if (folders.Entries() + 1 > folders.Capacity() / 2) {
                    folders.Reset(2 * folders.Capacity());
                    for (std::uint32_t f = 0; f < m_localFolders.Count(); ++f) {
                        folders.Insert(std::hash<std::string_view>{}(m_localFolders.At(f)), f);
                    }
                    folderSlot = folders.Find(folderHash, sameFolder);
                }
                folder = m_localFolders.Count();
                m_localFolders.text += key.folder;
                m_localFolders.start.push_back(static_cast<std::uint32_t>(m_localFolders.text.size()));
                folders.Set(folderSlot, folderHash, folder);
            }
            lastFolder = folder;
        }
        const auto index = static_cast<std::uint32_t>(m_localKeys.size());
        m_localNames += key.name;
        m_localKeys.push_back({static_cast<std::uint32_t>(m_localNames.size()), folder});
        m_localForms.push_back(form);
        if (hasTwin) {
            twinned[m_localTwins.IndexAt(slot)] = true;
            m_localTwins.Insert(hash, index);
        } else {
            m_localTwins.Set(slot, hash, index);
        }
        twinned.push_back(hasTwin);
        stored.hashes.push_back(hash);
    }
    // Room left over (names given with a trailing separator, or twice) is
    // given back when it is worth a copy.
    if (m_localNames.capacity() - m_localNames.size() > m_localNames.size() / 8) m_localNames.shrink_to_fit();
    m_localFolders.text.shrink_to_fit();
    m_localFolders.start.shrink_to_fit();
    return stored;
}

namespace {

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

CounterpartRule::BuildResult CounterpartRule::Build(const ReportTable& top,
                                                    const std::optional<std::string>& namedFolder,
                                                    const std::vector<std::uint64_t>* localHashes) {
    m_table = &top;
    m_textChangeCount = top.TextChangeCount();
    m_rowCount = top.GetItemCount();
    m_hasFolder = false;
    m_named = false;
    m_folder.clear();
    m_votes = 0;
    m_sideRows = decltype(m_sideRows)();
    m_sideKeys.Clear();
    const auto rows = static_cast<std::uint32_t>(m_rowCount);
    m_rowTwins.Reset(rows);
    BuildResult built;
    built.rowTwinned.assign(rows, false);

    // Every name-boundary end of every row's key is looked up among the
    // local keys. Each local file votes once for each folder where its key
    // names a Top List file: rows that differ in letter case only count as
    // one file. On the way each local key notes the first row that names it
    // anywhere, exact case first where the platform tells cases apart.
    const std::uint32_t localCount = LocalCount();
    HashFilter localFilter(localCount);
    for (std::uint32_t k = 0; k < localCount; ++k) {
        localFilter.Add(localHashes != nullptr ? (*localHashes)[k] : BlindHash(LocalKey(k)));
    }
    built.elsewhere.assign(localCount, -1);
    built.seenFolder.assign(localCount, BlindKeyTable::kNone);
    built.seenExact.assign(localCount, false);
    std::vector<bool> elsewhereExact(localCount, false);
    // Until the pairing, the first of each local key's twins holds the one
    // first-of-twins row whose key ends with it, -2 for more than one.
    m_pairs.assign(localCount, -1);
    std::vector<Tally> tallies;
    KeyTextList tallyFolders;
    BlindKeyTable folders;
    folders.Reset(64);
    const auto folderOf = [&tallyFolders](std::uint32_t t) { return tallyFolders.At(t); };
    struct EndMatch {
        std::uint64_t hash;
        std::size_t folderAt;
        std::size_t localSlot;
    };
    std::vector<EndMatch> matches;
    std::string normal;
    for (std::uint32_t row = 0; row < rows; ++row) {
        const RowKey cells = KeyOfStoredRow(top.GetStoredRow(static_cast<int>(row)));
        KeyParts key;
        if (const std::optional<KeyParts> inCells = KeyInCells(cells)) {
            key = *inCells;
        } else {
            normal.clear();
            bool named = false;
            AppendNames(normal, cells.path, named);
            if (cells.withFile) AppendNames(normal, cells.file, named);
            // A key past what 32-bit positions reach names no file, as a
            // blank row.
            if (normal.empty() || m_sideKeys.text.size() + normal.size() > std::numeric_limits<std::uint32_t>::max()) {
                continue;
            }
            m_sideRows.push_back(row);
            m_sideKeys.text += normal;
            m_sideKeys.start.push_back(static_cast<std::uint32_t>(m_sideKeys.text.size()));
            key = SplitNormalKey(normal);
        }
        if (key.Empty()) continue;  // a blank row names no file

        // The ends that name a local key, from the shortest: the name alone,
        // or the folder from folderAt on and the name. Hashing them all gives
        // the whole key's hash on the way.
        matches.clear();
        const auto atEnd = [&](std::uint64_t hash, std::size_t folderAt) {
            if (!localFilter.MayHold(hash)) return;
            const KeyParts end{key.folder.substr(std::min(folderAt, key.folder.size())), key.name};
            const std::size_t localSlot =
                m_localTwins.Find(hash, [&](std::uint32_t k) { return SameKey(LocalKey(k), end, true); });
            if (m_localTwins.IndexAt(localSlot) != BlindKeyTable::kNone) matches.push_back({hash, folderAt, localSlot});
        };
        std::uint64_t rowHash = BlindHash(key.name);
        atEnd(rowHash, key.folder.empty() ? 0 : key.folder.size() + 1);
        if (!key.folder.empty()) {
            rowHash = BlindStep(rowHash, '\\');
            for (std::size_t at = key.folder.size(); at-- > 0;) {
                rowHash = BlindStep(rowHash, key.folder[at]);
                if (at == 0 || key.folder[at - 1] == '\\') atEnd(rowHash, at);
            }
        }

        // Rows that differ in letter case only are twins: the first of them
        // votes, and all lie on one run of the table in row order.
        const std::size_t twinSlot =
            m_rowTwins.Find(rowHash, [&](std::uint32_t r) { return SameKey(RowKeyParts(r), key, true); });
        const std::uint32_t firstTwin = m_rowTwins.IndexAt(twinSlot);
        const bool votes = firstTwin == BlindKeyTable::kNone;
        if (votes) {
            m_rowTwins.Set(twinSlot, rowHash, row);
        } else {
            built.rowTwinned[firstTwin] = true;
            m_rowTwins.Insert(rowHash, row);
        }
        if (matches.empty()) continue;

        const PlainEnd plain = PlainEndOf(cells);
        for (const EndMatch& match : matches) {
            const std::size_t folderAt = match.folderAt;
            const bool wholeKey = folderAt == 0;
            const KeyParts end{key.folder.substr(std::min(folderAt, key.folder.size())), key.name};
            const std::uint32_t local = m_localTwins.IndexAt(match.localSlot);
            if (votes) {
                m_pairs[local] = m_pairs[local] == -1 ? static_cast<std::int32_t>(row) : -2;
                const std::string_view folder = key.folder.substr(0, folderAt == 0 ? 0 : folderAt - 1);
                const std::uint64_t folderHash = BlindHash(folder);
                const auto sameFolder = [&](std::uint32_t t) { return EqualBlind(folderOf(t), folder); };
                std::size_t slot = folders.Find(folderHash, sameFolder);
                if (folders.IndexAt(slot) == BlindKeyTable::kNone) {
                    if (folders.Entries() + 1 > folders.Capacity() / 2) {
                        folders.Reset(2 * folders.Capacity());
                        for (std::uint32_t t = 0; t < tallies.size(); ++t) folders.Insert(tallies[t].hash, t);
                        slot = folders.Find(folderHash, sameFolder);
                    }
                    folders.Set(slot, folderHash, static_cast<std::uint32_t>(tallies.size()));
                    tallies.push_back({folderHash, row, static_cast<std::uint32_t>(folder.size()), 0, true});
                    tallyFolders.text += folder;
                    tallyFolders.start.push_back(static_cast<std::uint32_t>(tallyFolders.text.size()));
                }
                const std::uint32_t t = folders.IndexAt(slot);
                Tally& tally = tallies[t];
                ++tally.votes;
                if (tally.sameSpelling && tally.row != row && folder != folderOf(t)) tally.sameSpelling = false;
                built.seenFolder[local] = t;
                built.seenExact[local] = SameKey(end, LocalKey(local), false);
            }
            // What the cells hold may differ from the normal form nearer the
            // key's start: only the plain end names a key as it is given.
            if (end.Size() > plain.length) continue;
            const bool afterSlash = !(plain.wholeKey && wholeKey);
            const auto sameBlind = [&](std::uint32_t k) { return SameKey(LocalKey(k), end, true); };
            for (std::size_t s = match.localSlot; m_localTwins.IndexAt(s) != BlindKeyTable::kNone;
                 s = m_localTwins.FindNext(s, match.hash, sameBlind)) {
                const std::uint32_t k = m_localTwins.IndexAt(s);
                if (elsewhereExact[k] || m_localForms[k] == KeyForm::Other) continue;
                if (m_localForms[k] == KeyForm::LeadingSlash && !afterSlash) continue;
                bool exact = false;
                if constexpr (!platform::kIsWindows) exact = SameKey(end, LocalKey(k), false);
                if (exact) {
                    built.elsewhere[k] = static_cast<std::int32_t>(row);
                    elsewhereExact[k] = true;
                } else if (built.elsewhere[k] < 0) {
                    built.elsewhere[k] = static_cast<std::int32_t>(row);
                }
            }
        }
    }
    m_sideKeys.text.shrink_to_fit();

    if (namedFolder) {
        m_named = true;
        m_hasFolder = true;
        m_folder = NormalKey(*namedFolder);
        const std::uint32_t named = folders.IndexAt(
            folders.Find(BlindHash(m_folder), [&](std::uint32_t t) { return EqualBlind(folderOf(t), m_folder); }));
        m_votes = named == BlindKeyTable::kNone ? 0 : tallies[named].votes;
        built.folderTally = named;
        built.folderExact = named != BlindKeyTable::kNone && tallies[named].sameSpelling && folderOf(named) == m_folder;
        return built;
    }
    // Most votes win, then fewer levels, then the first row: one order over
    // all folders, whatever order they were tallied in.
    const Tally* best = nullptr;
    std::uint32_t bestIndex = 0;
    for (std::uint32_t t = 0; t < tallies.size(); ++t) {
        const Tally& tally = tallies[t];
        if (best != nullptr) {
            if (tally.votes != best->votes) {
                if (tally.votes < best->votes) continue;
            } else if (LevelsOf(folderOf(t)) != LevelsOf(folderOf(bestIndex))) {
                if (LevelsOf(folderOf(t)) > LevelsOf(folderOf(bestIndex))) continue;
            } else if (tally.row >= best->row) {
                continue;
            }
        }
        best = &tally;
        bestIndex = t;
    }
    if (best != nullptr) {
        m_hasFolder = true;
        m_votes = best->votes;
        m_folder = std::string(folderOf(bestIndex));
        built.folderTally = bestIndex;
        built.folderExact = best->sameSpelling;
    }
    return built;
}

void CounterpartRule::Refresh(const ReportTable& top) {
    if (IsCurrentFor(top) || !IsPrepared()) return;
    std::optional<std::string> folder;
    if (m_hasFolder) folder = m_folder;
    const bool named = m_named;
    // Each file keeps the repository file it was paired with, wherever the
    // sort moved it: a case-blind pair must not move to another twin. The
    // rows before the sort can no longer be read: an exact pair's row key
    // is B + the local key, the others' keys were kept.
    const std::vector<std::int32_t> pairedBefore = std::move(m_pairs);
    BuildResult built = Build(top, folder);
    m_named = named;
    m_claimed.assign(static_cast<std::size_t>(m_rowCount), false);
    const std::vector<std::int32_t> seen = std::move(m_pairs);
    m_pairs.assign(LocalCount(), -1);
    for (std::uint32_t k = 0; k < pairedBefore.size(); ++k) {
        if (pairedBefore[k] < 0) continue;
        const auto blind = std::lower_bound(m_blindPairLocal.begin(), m_blindPairLocal.end(), k);
        int row = -1;
        if (blind != m_blindPairLocal.end() && *blind == k) {
            row = FirstRowWithKey(
                SplitNormalKey(m_blindPairKeys.At(static_cast<std::uint32_t>(blind - m_blindPairLocal.begin()))));
        } else if (built.SeenExactlyAtFolder(seen[k], k)) {
            row = seen[k];
        } else {
            row = ExactRow(LocalKey(k));
        }
        m_pairs[k] = row;
        if (row >= 0) m_claimed[static_cast<std::size_t>(row)] = true;
    }
    KeepElsewhere(std::move(built.elsewhere));
}

void CounterpartRule::KeepElsewhere(std::vector<std::int32_t> elsewhere) {
    m_elsewhere = decltype(m_elsewhere)();
    m_elsewhereApart = decltype(m_elsewhereApart)();
    // Mostly the first row naming a file is its pair, or none for a New
    // file: only the others are kept, unless they are many.
    std::size_t apart = 0;
    for (std::size_t k = 0; k < elsewhere.size(); ++k) apart += elsewhere[k] != m_pairs[k];
    if (apart * 2 > elsewhere.size()) {
        m_elsewhere = std::move(elsewhere);
        return;
    }
    m_elsewhereApart.reserve(apart);
    for (std::size_t k = 0; k < elsewhere.size(); ++k) {
        if (elsewhere[k] != m_pairs[k]) m_elsewhereApart.emplace_back(static_cast<std::uint32_t>(k), elsewhere[k]);
    }
}

std::uint32_t CounterpartRule::LocalIndexOf(const KeyParts& normalKey) const {
    if (normalKey.Empty() || LocalCount() == 0) return BlindKeyTable::kNone;
    const std::uint64_t hash = BlindHash(normalKey);
    const auto sameBlind = [&](std::uint32_t k) { return SameKey(LocalKey(k), normalKey, true); };
    for (std::size_t s = m_localTwins.Find(hash, sameBlind); m_localTwins.IndexAt(s) != BlindKeyTable::kNone;
         s = m_localTwins.FindNext(s, hash, sameBlind)) {
        const std::uint32_t k = m_localTwins.IndexAt(s);
        if (SameKey(LocalKey(k), normalKey, false)) return k;
    }
    return BlindKeyTable::kNone;
}

bool CounterpartRule::RowIsAt(std::uint32_t row, const KeyParts& below, bool blind) const {
    return KeyIsAt(RowKeyParts(row), m_folder, below, blind);
}

template <class Visit>
int CounterpartRule::FirstRowAt(const KeyParts& below, const Visit& visit) const {
    if (m_rowTwins.Capacity() == 0 || below.Empty()) return -1;
    const std::uint64_t hash = BlindHashAt(m_folder, below);
    const auto sameBlind = [&](std::uint32_t r) { return RowIsAt(r, below, true); };
    for (std::size_t s = m_rowTwins.Find(hash, sameBlind);; s = m_rowTwins.FindNext(s, hash, sameBlind)) {
        const std::uint32_t row = m_rowTwins.IndexAt(s);
        if (row == BlindKeyTable::kNone) return -1;
        if (visit(row)) return static_cast<int>(row);
    }
}

int CounterpartRule::ExactRow(const KeyParts& normalKey) const {
    return FirstRowAt(normalKey, [&](std::uint32_t row) { return RowIsAt(row, normalKey, false); });
}

int CounterpartRule::FirstUnclaimedBlindRow(const KeyParts& normalKey) const {
    return FirstRowAt(normalKey, [&](std::uint32_t row) { return !m_claimed[row]; });
}

int CounterpartRule::FirstRowWithKey(const KeyParts& rowKey) const {
    if (rowKey.Empty() || m_rowTwins.Capacity() == 0) return -1;
    const std::uint64_t hash = BlindHash(rowKey);
    const auto sameBlind = [&](std::uint32_t r) { return SameKey(RowKeyParts(r), rowKey, true); };
    for (std::size_t s = m_rowTwins.Find(hash, sameBlind); m_rowTwins.IndexAt(s) != BlindKeyTable::kNone;
         s = m_rowTwins.FindNext(s, hash, sameBlind)) {
        const std::uint32_t row = m_rowTwins.IndexAt(s);
        if (SameKey(RowKeyParts(row), rowKey, false)) return static_cast<int>(row);
    }
    return -1;
}

void CounterpartRule::Pair(const std::vector<bool>& localTwinned, const BuildResult& built) {
    const std::uint32_t localCount = LocalCount();
    m_claimed.assign(static_cast<std::size_t>(m_rowCount), false);
    if (!m_hasFolder) {
        m_pairs.assign(localCount, -1);
        return;
    }
    // Only twins can want the same rows, so each set of local twins is
    // paired alone (its first key comes before the rest of it): exact case
    // first, then the twins that name a repository file only without case,
    // the one first in byte order first, whatever order the scan found them
    // in.
    std::vector<bool> settled(localCount, false);
    std::vector<std::uint32_t> twins;
    std::vector<std::uint32_t> rows;
    std::vector<KeyParts> rowKeys;  // of those rows
    std::vector<std::uint32_t> waiting;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> blindPairs;
    for (std::uint32_t first = 0; first < localCount; ++first) {
        if (settled[first]) continue;
        // The vote saw which rows' keys end with it: mostly one, or none.
        const std::int32_t seen = m_pairs[first];
        if (!localTwinned[first] && built.SeenExactlyAtFolder(seen, first)) {
            m_claimed[static_cast<std::size_t>(seen)] = true;
            continue;
        }
        const KeyParts key = LocalKey(first);
        twins.assign(1, first);
        if (localTwinned[first]) {
            const std::uint64_t hash = BlindHash(key);
            const auto sameBlind = [&](std::uint32_t k) { return SameKey(LocalKey(k), key, true); };
            std::size_t s = m_localTwins.FindNext(m_localTwins.Find(hash, sameBlind), hash, sameBlind);
            for (; m_localTwins.IndexAt(s) != BlindKeyTable::kNone; s = m_localTwins.FindNext(s, hash, sameBlind)) {
                twins.push_back(m_localTwins.IndexAt(s));
            }
        }
        rows.clear();
        rowKeys.clear();
        if (seen >= 0 && built.seenFolder[first] != built.folderTally) {
            // That row is not below B, nor any of its twins.
        } else if (seen >= 0 && !built.rowTwinned[static_cast<std::size_t>(seen)]) {
            const KeyParts rowKey = RowKeyParts(static_cast<std::uint32_t>(seen));
            if (KeyIsAt(rowKey, m_folder, key, true)) {
                rows.push_back(static_cast<std::uint32_t>(seen));
                rowKeys.push_back(rowKey);
            }
        } else if (seen != -1) {
            FirstRowAt(key, [&](std::uint32_t row) {
                rows.push_back(row);
                rowKeys.push_back(RowKeyParts(row));
                return false;
            });
        }
        waiting.clear();
        for (const std::uint32_t k : twins) {
            settled[k] = true;
            m_pairs[k] = -1;
            if constexpr (!platform::kIsWindows) {
                for (std::size_t i = 0; i < rows.size(); ++i) {
                    if (!KeyIsAt(rowKeys[i], m_folder, LocalKey(k), false)) continue;
                    m_pairs[k] = static_cast<std::int32_t>(rows[i]);
                    m_claimed[rows[i]] = true;
                    break;
                }
            }
            if (m_pairs[k] < 0) waiting.push_back(k);
        }
        // Twins have their backslashes in the same places: folder first,
        // then name, is their byte order.
        std::sort(waiting.begin(), waiting.end(), [this](std::uint32_t a, std::uint32_t b) {
            const KeyParts ka = LocalKey(a);
            const KeyParts kb = LocalKey(b);
            return ka.folder != kb.folder ? ka.folder < kb.folder : ka.name < kb.name;
        });
        for (const std::uint32_t k : waiting) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (m_claimed[rows[i]]) continue;
                m_pairs[k] = static_cast<std::int32_t>(rows[i]);
                m_claimed[rows[i]] = true;
                if (!KeyIsAt(rowKeys[i], m_folder, LocalKey(k), false)) blindPairs.emplace_back(k, rows[i]);
                break;
            }
        }
    }
    std::sort(blindPairs.begin(), blindPairs.end());
    for (const auto& [k, row] : blindPairs) {
        m_blindPairLocal.push_back(k);
        m_blindPairKeys.text += RowKeyParts(row).Text();
        m_blindPairKeys.start.push_back(static_cast<std::uint32_t>(m_blindPairKeys.text.size()));
    }
}

int CounterpartRule::CounterpartOf(std::string_view localKey) const {
    if (!m_hasFolder) return -1;
    const KeyParts key = SplitNormalKey(NormalKeyInScratch(localKey));
    if (key.Empty()) return -1;
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
    const std::string_view normal = NormalKeyInScratch(given);
    const KeyForm form = FormOf(given, normal);
    if (normal.empty()) {
        // No name to find: "" and "\\" name nothing.
        if (form != KeyForm::Other) return -1;
        return std::nullopt;
    }
    const std::uint32_t k = LocalIndexOf(SplitNormalKey(normal));
    if (k == BlindKeyTable::kNone || form == KeyForm::Other || m_localForms[k] != form) {
        return std::nullopt;
    }
    if (!m_elsewhere.empty()) return m_elsewhere[k];
    const auto apart = std::lower_bound(m_elsewhereApart.begin(), m_elsewhereApart.end(), k,
                                        [](const auto& entry, std::uint32_t key) { return entry.first < key; });
    if (apart != m_elsewhereApart.end() && apart->first == k) return apart->second;
    return m_pairs[k];
}

std::optional<KeyParts> CounterpartRule::BelowFolder(std::uint32_t row) const {
    if (!m_hasFolder || row >= static_cast<std::uint32_t>(m_rowCount)) return std::nullopt;
    const KeyParts key = RowKeyParts(row);
    if (key.Empty()) return std::nullopt;
    if (m_folder.empty()) return key;
    // Folders that differ in letter case only are one folder to the rule.
    const std::size_t size = m_folder.size();
    if (key.folder.size() < size || !EqualBlind(key.folder.substr(0, size), m_folder)) return std::nullopt;
    if (key.folder.size() == size) return KeyParts{{}, key.name};
    if (key.folder[size] != '\\') return std::nullopt;
    return KeyParts{key.folder.substr(size + 1), key.name};
}

std::string CounterpartRule::KeyBelowFolder(int row) const {
    if (row < 0) return {};
    const std::optional<KeyParts> below = BelowFolder(static_cast<std::uint32_t>(row));
    return below ? below->Text() : std::string();
}

std::vector<int> CounterpartRule::UnpairedRowsBelowFolder(bool subFolders) const {
    std::vector<int> rows;
    if (!m_hasFolder) return rows;
    for (std::uint32_t row = 0; row < static_cast<std::uint32_t>(m_rowCount); ++row) {
        if (m_claimed[row]) continue;
        const std::optional<KeyParts> below = BelowFolder(row);
        if (!below || (!subFolders && !below->folder.empty())) continue;
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
