#pragma once
// Finds the counterpart of a local file among the Top List rows: the first
// row, in row order, whose repository key (path "\\" file) ends with the
// local key as a whole name. The match must begin at a name boundary: the
// key's start, just after a backslash, or on a backslash the local key itself
// begins with. So "\LIB\A.TXT" finds "\SRC\LIB\A.TXT", while "MAKEFILE" never
// finds "MAKEFILE.AM" and "B.TXT" never finds "\LIB\SUB.TXT". A local key
// that names nothing (empty, or a lone backslash) has no counterpart.
//
// Where the file system tells letter cases apart, a row whose key matches
// with the local file's own letter case wins over the first row that matches
// only without case: "xt_CONNMARK.h" and "xt_connmark.h" are two files there.
// Windows compares without case only.
//
// The index keeps every name-boundary suffix of every key, sorted by a hash of
// its text, so each lookup is a binary search instead of a pass over every
// row; the text itself decides, so hashes that collide cost time, never a
// wrong row.
//
// Building the index of a long list takes a noticeable fraction of a second,
// so it can be built on a worker thread from a copy of the keys taken at the
// start: the window starts one when a populate or a sort has finished, and a
// click that comes before it is ready is answered by a plain scan of those
// copied keys, which finds the same row.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
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
