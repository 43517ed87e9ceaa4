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
// is then a hash-table probe.
//
// The rest of this header exists for the tests, for the trace's "the same
// name is elsewhere" note and for lookups before the first report has
// chosen B: RepositoryKeyIndex, FindFirstMatchingRowLinear,
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
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <string_view>
#include <thread>
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

class CounterpartRule {
public:
    // Chooses B for the Top List as it is now and pairs every local key with
    // its counterpart. Local keys are in their own letter case with the
    // repository's backslashes, relative to the local path (a leading
    // backslash is allowed). namedFolder, when given, is B.
    void Prepare(const ReportTable& top, const std::vector<std::string>& localKeys,
                 const std::optional<std::string>& namedFolder);
    // Prepares again for the Top List as it is now (after a sort) with the
    // same local keys and the same B; nothing when still current.
    void Refresh(const ReportTable& top);
    bool IsCurrentFor(const ReportTable& top) const;
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

private:
    std::string FullKey(std::string_view localKey) const;
    int ExactRow(const std::string& fullKey) const;
    int FirstUnclaimedBlindRow(const std::string& fullKey) const;
    void Pair();

    const ReportTable* m_table = nullptr;
    std::uint64_t m_textChangeCount = 0;
    int m_rowCount = 0;
    std::vector<std::string> m_localKeys;  // as prepared, normal form
    bool m_hasFolder = false;
    bool m_named = false;
    std::string m_folder;
    int m_votes = 0;
    std::vector<std::string> m_rowKeys;  // normal form, own case, per row
    std::unordered_map<std::string, int> m_exactRows;             // first row of each key
    std::unordered_map<std::string, std::vector<int>> m_blindRows;  // upper-cased key: rows in order
    std::vector<bool> m_claimed;                                   // per row
    std::unordered_map<std::string, int> m_pairs;                  // local key (normal form) -> row
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
