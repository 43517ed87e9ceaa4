#pragma once
// The counterpart of a local file: the local path stands for one folder B of
// the repository, and each local file is compared with the Top List file at
// the same place below B (B + the file's key below the local path).
// CounterpartRule is the lookup the report, the viewers, the Bottom List click
// and the Top List highlight all use:
//  - B is named by the user, or found by a vote: every local file votes for
//    each folder F where F + its key is a Top List file; most votes wins,
//    ties go to the folder with fewer levels, then to the first in Top List
//    order. The repository root is a folder too. No vote: no B, every file New.
//  - Where the file system tells letter cases apart, the exact-case name
//    comes first; a case-blind match is taken only for a repository file no
//    local file names exactly, and never for two local files. Windows
//    compares without case only.
// Preparing the rule hashes every key and every name-boundary suffix once
// (only case twins waiting for a case-blind match are sorted); each lookup
// is then a hash-table probe. It reads the rows' keys from the list's cells
// and keeps each local folder once and each local name, with 32-bit row and
// key numbers beside them: a million files cost it a few tens of bytes each.
//
// The rest of this header exists for the tests, for lookups before the
// first report has chosen B, and for the trace's "the same name is
// elsewhere" note on a key the rule does not keep as it was given:
// RepositoryKeyIndex, FindFirstMatchingRowLinear,
// FindCounterpartLinear and FindCounterpartByScan find the first row whose
// key merely ends with the local key as a whole name (the key's start, just
// after a backslash, or on a backslash the local key itself begins with), so
// "MAKEFILE" never finds "MAKEFILE.AM". That row can lie anywhere in the
// repository: once a report has chosen B it names where else a file of that
// name lives, never what a local file is compared with.
//
// The suffix index keeps every name-boundary suffix of every key, sorted by
// a hash of its text; the text itself decides, so hashes that collide cost
// time, never a wrong row. It can be built on a worker thread from a copy of
// the keys taken at the start.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "compare/report_table.h"

namespace qvr {

// Column 2 (repository path), "\\", column 1 (file name) of a Top List row,
// in the repository's own letter case.
std::string RepositoryPathOf(const ReportTable& top, int row);
// The same, upper-cased (ASCII letters), as local keys are matched against.
std::string RepositoryKeyOf(const ReportTable& top, int row);

// True when localKey matches repositoryKey by the whole-name rule above;
// bytes compared as they are.
bool KeyNamesFile(std::string_view repositoryKey, std::string_view localKey);

// The reference searches: every row in order, first matching row wins.
// Case-blind: localKey upper-cased by the caller, against RepositoryKeyOf.
int FindFirstMatchingRowLinear(const ReportTable& top, std::string_view localKey);
// The counterpart rule: localKey in the local file's own letter case.
int FindCounterpartLinear(const ReportTable& top, std::string_view localKey);
// The counterpart rule by a pass over the rows that reads the cells where
// they are, without building a key per row: quick enough to answer one click
// on a long list while its index is still being built.
int FindCounterpartByScan(const ReportTable& top, std::string_view localKey);

// A repository folder as the rule keeps it: its names joined by "\\",
// without a leading or trailing one; the root is empty. Slashes count as
// backslashes, so "\\", "/" and "" all name the root.
std::string NormalRepositoryFolder(std::string_view folder);
// The folder shown to the user: "\\" for the root, else "\\" + names.
std::string ShownRepositoryFolder(std::string_view normalFolder);

// A key in normal form in two pieces, each read where it is kept: its
// folder (empty at the root) and its last name; both empty for no key.
struct KeyParts {
    std::string_view folder;
    std::string_view name;

    std::size_t Size() const { return folder.empty() ? name.size() : folder.size() + 1 + name.size(); }
    bool Empty() const { return name.empty(); }
    std::string Text() const;
};

// Many keys' texts one after another in one block: key i is
// text[start[i], start[i + 1]). Positions are 32-bit, so a key that would
// end past 4 GiB is not kept.
struct KeyTextList {
    std::string text;
    std::vector<std::uint32_t> start{0};

    std::uint32_t Count() const { return static_cast<std::uint32_t>(start.size() - 1); }
    std::string_view At(std::uint32_t i) const {
        return std::string_view(text).substr(start[i], start[i + 1] - start[i]);
    }
    void Clear();
};

// Indices of keys found by a case-blind hash of their text: one array of
// 32-bit slots, each an index and, in the bits the index leaves free, more
// of the hash, so that most probes never read a text. The texts decide.
// Keys that differ in letter case only may all be inserted: they then lie
// on one run of slots in the order they came in, and FindNext walks them.
class BlindKeyTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // Empties the table, with room for keys indices below that count.
    void Reset(std::size_t keys);
    void Clear();
    // The slot holding the first index whose text equal(index) says is the
    // one hashed, else the empty slot where it would go.
    template <class Equal>
    std::size_t Find(std::uint64_t hash, const Equal& equal) const;
    // The same, from the slot after one Find or FindNext gave.
    template <class Equal>
    std::size_t FindNext(std::size_t slot, std::uint64_t hash, const Equal& equal) const;
    std::uint32_t IndexAt(std::size_t slot) const;  // kNone for an empty slot
    // Puts index in the slot Find gave for hash: an empty one, or one of the
    // same text (which then names the new index).
    void Set(std::size_t slot, std::uint64_t hash, std::uint32_t index);
    // Puts index after every index already held for hash.
    void Insert(std::uint64_t hash, std::uint32_t index);
    std::size_t Entries() const { return m_entries; }
    std::size_t Capacity() const { return m_slots.size(); }

private:
    template <class Equal>
    std::size_t Probe(std::size_t slot, std::uint64_t tag, const Equal& equal) const;
    std::size_t HomeSlot(std::uint64_t spread) const;
    std::uint64_t TagOf(std::uint64_t spread) const;

    std::vector<std::uint32_t> m_slots;  // 0: empty; else tag << m_indexBits | (index + 1)
    int m_indexBits = 32;
    std::size_t m_entries = 0;
};

class CounterpartRule {
public:
    // Where Prepare reads the local keys, one at a time, so that no list of
    // them need be made: keyAt(i, buffer) gives the key of local file i,
    // written into buffer or kept elsewhere until the next call.
    struct LocalKeySource {
        std::size_t count = 0;
        // The bytes of the keys' last names together, or more: room is made once.
        std::size_t nameBytes = 0;
        std::function<std::string_view(std::size_t i, std::string& buffer)> keyAt;
    };

    // Chooses B for the Top List as it is now and pairs every local key with
    // its counterpart. Local keys are in their own letter case with the
    // repository's backslashes, relative to the local path (a leading
    // backslash is allowed). namedFolder, when given, is B.
    void Prepare(const ReportTable& top, const std::vector<std::string>& localKeys,
                 const std::optional<std::string>& namedFolder);
    void Prepare(const ReportTable& top, const LocalKeySource& localKeys,
                 const std::optional<std::string>& namedFolder);
    // Prepares again for the Top List as it is now (after a sort) with the
    // same local keys and the same B; nothing when still current.
    void Refresh(const ReportTable& top);
    bool IsCurrentFor(const ReportTable& top) const;
    // Prepared on a copy of top's rows, taken when top's texts had changed
    // textChangeCount times, the rule stands for top itself from now on: a
    // change of top since then prepares it again, pairs kept.
    void StandFor(const ReportTable& top, std::uint64_t textChangeCount);
    bool IsPrepared() const { return m_table != nullptr; }
    void Clear();

    // True when a folder was named or won a vote.
    bool HasFolder() const { return m_hasFolder; }
    bool FolderWasNamed() const { return m_named; }
    // B in its normal form (see NormalRepositoryFolder), in the repository's
    // letter case where it was found by vote.
    const std::string& Folder() const { return m_folder; }
    // The local files whose key lies at B in the Top List.
    int Votes() const { return m_votes; }

    // The counterpart row of a local key, or -1. A key the rule was not
    // prepared with (a file made since) gets the exact-case row, else the
    // first case-blind row no prepared file was paired with.
    int CounterpartOf(std::string_view localKey) const;
    // Top List rows below B that no local file was paired with, in row
    // order; with subFolders false only those directly in B.
    std::vector<int> UnpairedRowsBelowFolder(bool subFolders) const;
    // The key of a Top List row below B, relative to B (names joined by
    // "\\"); empty when the row is not below B.
    std::string KeyBelowFolder(int row) const;
    // Where else in the repository a prepared local key names a file: what
    // RepositoryKeyIndex::FindCounterpart answers for it against the Top
    // List the rule was last prepared for (the vote found it on the way).
    // Nothing for a key the rule was not prepared with, or given in a form
    // it does not keep (separators doubled, at its end, or slashes): the
    // index answers those.
    std::optional<int> FirstRowNaming(std::string_view localKey) const;

private:
    // How a local key was given, beside its normal form: with one leading
    // backslash, without one, or otherwise (or both ways).
    enum class KeyForm : std::uint8_t { LeadingSlash, Bare, Other };
    static KeyForm FormOf(std::string_view given, std::string_view normal);

    // Per local key kept, for the time Prepare takes: its case-blind hash,
    // and whether it has case-blind twins.
    struct StoredKeys {
        std::vector<std::uint64_t> hashes;
        std::vector<bool> twinned;
    };
    StoredKeys StoreLocalKeys(const LocalKeySource& localKeys);
    KeyParts LocalKey(std::uint32_t k) const;
    std::uint32_t LocalCount() const { return static_cast<std::uint32_t>(m_localKeys.size()); }
    // A row's key in normal form, read from the rule's table.
    KeyParts RowKeyParts(std::uint32_t row) const;
    // What Build found beyond B, for the time the pairing takes.
    struct BuildResult {
        std::vector<std::int32_t> elsewhere;  // per local key: FirstRowNaming
        std::vector<bool> rowTwinned;         // per row: first of two twins or more
        // Per first local twin whose key ends one row's key (see Build):
        // the folder that row voted for, and whether the end is the key
        // byte for byte.
        std::vector<std::uint32_t> seenFolder;
        std::vector<bool> seenExact;
        // B's folder among those voted for, and whether every row that
        // voted for it spells it as B does.
        std::uint32_t folderTally = 0xFFFFFFFFu;
        bool folderExact = false;

        // True when the one row seen for local key k is B + the key byte for
        // byte: then it is the first such row, and no row need be read.
        bool SeenExactlyAtFolder(std::int32_t seen, std::uint32_t k) const {
            return seen >= 0 && folderExact && seenFolder[k] == folderTally && seenExact[k];
        }
    };
    // Finds B (named, else by vote) for the rows of top; localHashes, when
    // given, are the local keys' hashes Prepare has already made.
    BuildResult Build(const ReportTable& top, const std::optional<std::string>& namedFolder,
                      const std::vector<std::uint64_t>* localHashes = nullptr);
    void Pair(const std::vector<bool>& localTwinned, const BuildResult& built);
    // Keeps what FirstRowNaming answers, once the pairs are made.
    void KeepElsewhere(std::vector<std::int32_t> elsewhere);
    std::uint32_t LocalIndexOf(const KeyParts& normalKey) const;
    bool RowIsAt(std::uint32_t row, const KeyParts& below, bool blind) const;
    // The first of the rows whose key is B + below without case, in row
    // order, for which visit(row) is true; -1 when none is.
    template <class Visit>
    int FirstRowAt(const KeyParts& below, const Visit& visit) const;
    int ExactRow(const KeyParts& normalKey) const;
    int FirstUnclaimedBlindRow(const KeyParts& normalKey) const;
    int FirstRowWithKey(const KeyParts& rowKey) const;
    // The row's key below B, as folder and name; nothing when not below B.
    std::optional<KeyParts> BelowFolder(std::uint32_t row) const;

    // The Top List, or a copy of its File and Path columns: the rows' keys
    // are read from it whenever they are needed, never kept.
    const ReportTable* m_table = nullptr;
    std::uint64_t m_textChangeCount = 0;
    int m_rowCount = 0;
    bool m_hasFolder = false;
    bool m_named = false;
    std::string m_folder;
    int m_votes = 0;
    // Each prepared local key once, in normal form: its folder, kept once
    // for all the keys in it, and its name. Keys that differ in letter case
    // only are twins.
    KeyTextList m_localFolders;
    // Per local key, where its name ends in m_localNames and its folder:
    // side by side, so that a lookup reads both at once.
    struct LocalKeyEntry {
        std::uint32_t nameEnd;
        std::uint32_t folder;
    };
    std::vector<LocalKeyEntry> m_localKeys;
    std::string m_localNames;  // back to back
    BlindKeyTable m_localTwins;                  // every local key
    std::vector<KeyForm> m_localForms;           // per local key
    std::vector<std::int32_t> m_pairs;           // per local key: its row, or -1
    // FirstRowNaming per local key where many differ from the pair (or -1
    // unpaired); else only those that do, by local key.
    std::vector<std::int32_t> m_elsewhere;
    std::vector<std::pair<std::uint32_t, std::int32_t>> m_elsewhereApart;
    // Rows whose cells do not hold their key's normal form as it is: that
    // form, by row.
    std::vector<std::uint32_t> m_sideRows;
    KeyTextList m_sideKeys;
    // The key of each row a local key was paired with without case (or in
    // a folder of another letter case), by local key: after a sort it finds
    // the same row again. An exact pair's row key is B + the local key.
    std::vector<std::uint32_t> m_blindPairLocal;
    KeyTextList m_blindPairKeys;
    BlindKeyTable m_rowTwins;  // every row with a key
    std::vector<bool> m_claimed;  // per row
};

class RepositoryKeyIndex {
public:
    RepositoryKeyIndex();
    ~RepositoryKeyIndex();
    RepositoryKeyIndex(const RepositoryKeyIndex&) = delete;
    RepositoryKeyIndex& operator=(const RepositoryKeyIndex&) = delete;

    // Indexes every row of the table as it is now. When a background build
    // of the table as it is now is under way, waits for that one instead of
    // starting over.
    void Build(const ReportTable& top);
    // Copies the keys of the table as it is now and indexes them on a worker
    // thread; the index takes the result over at its next use. Nothing is
    // started when such a build is already under way; a build of an older
    // state of the table is abandoned.
    void BuildInBackground(const ReportTable& top);
    // FindCounterpart against the table as it is now, never waiting for an
    // index: the index answers when it is current; else a scan does, of the
    // keys being indexed when a build of this state is under way (one is
    // started when none is), otherwise of the table's rows.
    int FindCounterpartNow(const ReportTable& top, std::string_view localKey);
    // True when the index was built from this table and no text, row or
    // order has changed since.
    bool IsCurrentFor(const ReportTable& top) const;
    // The first row whose upper-cased key names the (upper-cased) localKey,
    // or -1: the case-blind search.
    int FindFirst(std::string_view localKey) const;
    // The counterpart of a local key given in the file's own letter case:
    // the first exact-case match where the platform tells cases apart, else
    // the first case-blind match; -1 when there is none.
    int FindCounterpart(std::string_view localKey) const;
    int RowCount() const { return m_rowCount; }

private:
    struct Snapshot;
    struct BackgroundBuild;
    // Every name-boundary suffix of the keys of one letter case, found by
    // its hash: the entries are sorted by hash and row, so the first entry
    // whose text really is the name wanted holds the first such row.
    class SuffixTable {
    public:
        void Build(std::string text, const std::vector<std::int32_t>& rowStart);
        // The first row whose key names localKey, or -1.
        int Find(std::string_view localKey) const;
        void Clear();

    private:
        struct Entry {
            std::uint64_t hash;   // of the suffix, up to the key's end
            std::int32_t row;
            std::uint32_t place;  // start in m_text times 2, plus 1 when just after a backslash
        };
        bool Names(const Entry& entry, std::string_view name) const;
        std::string m_text;  // every key followed by a 0 byte, in row order
        std::vector<Entry> m_entries;
    };

    // The keys of a table at one moment, and which table and moment.
    static Snapshot TakeSnapshot(const ReportTable& top);
    // Builds the tables from the keys; touches nothing but this object, so
    // a worker thread can run it on an index of its own.
    void BuildFrom(const Snapshot& snapshot, const std::atomic<bool>* abandoned = nullptr);
    bool IsBuildingFor(const ReportTable& top) const;
    // Takes over a finished background build, and joins abandoned ones that
    // have ended.
    void TakeOverFinishedBuild();
    void AbandonBuild();

    const ReportTable* m_table = nullptr;
    std::uint64_t m_textChangeCount = 0;
    int m_rowCount = 0;
    SuffixTable m_exact;  // the repository's own letter case (unused on Windows)
    SuffixTable m_blind;  // upper-cased
    std::unique_ptr<BackgroundBuild> m_building;
    std::vector<std::unique_ptr<BackgroundBuild>> m_abandoned;
};

}  // namespace qvr
