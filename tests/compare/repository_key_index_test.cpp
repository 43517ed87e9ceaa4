#include "compare/repository_key_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <map>
#include <optional>
#include <set>
#include <random>
#include <string>
#include <vector>

#include "app/platform.h"
#include "compare/report_sort.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

std::string RandomText(std::mt19937& rng, std::size_t size, const std::string& alphabet) {
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string text(size, ' ');
    for (char& c : text) c = alphabet[pick(rng)];
    return text;
}

ReportTable TopList(const std::vector<std::pair<std::string, std::string>>& pathAndFile) {
    ReportTable top;
    top.ApplyColumnSpec("Record,0;File;Path");
    for (const auto& [path, file] : pathAndFile) {
        const int row = top.InsertItem(top.GetItemCount(), "r");
        top.SetItemText(row, 1, file);
        top.SetItemText(row, 2, path);
    }
    return top;
}

struct LookupCase {
    const char* key;
    int row;
};

// The case-blind search with upper-cased keys, the index against the
// straightforward one.
void ExpectFirstMatches(const ReportTable& top, const std::vector<LookupCase>& cases) {
    RepositoryKeyIndex index;
    index.Build(top);
    for (const LookupCase& c : cases) {
        EXPECT_EQ(index.FindFirst(c.key), c.row) << c.key;
        EXPECT_EQ(FindFirstMatchingRowLinear(top, c.key), c.row) << c.key;
    }
}

TEST(RepositoryKeyIndex, OnlyWholeNamesAtTheEndOfTheKeyMatch) {
    const ReportTable top = TopList({{"\\proj\\lib", "sub.txt"},
                                     {"\\proj", "Makefile.am"},
                                     {"\\proj", "b.txt"},
                                     {"\\proj\\lib", "b.txt"},
                                     {"\\", "root.txt"},
                                     {"\\src\\lib", "a.txt"},
                                     {"\\inc", "map.h"},
                                     {"\\inc", "QVariantHash"},
                                     {"\\doc", "README.md"},
                                     {"\\inc", "map"},
                                     {"\\doc", "README"},
                                     {"\\proj", "Makefile"},
                                     {"", ""}});
    ExpectFirstMatches(top, {
        {"\\B.TXT", 2},          {"B.TXT", 2},  // never inside a longer name (SUB.TXT)
        {"\\LIB\\B.TXT", 3},     {"\\LIB\\A.TXT", 5},  // a local folder below the root
        {"\\\\ROOT.TXT", 4},     {"\\ROOT.TXT", 4},
        {"\\MAKEFILE", 11},      {"\\MAP", 9},
        {"\\README", 10},        {"\\QVARIANT", -1},
        {"\\PROJ", -1},          {"\\MISSING.TXT", -1},
        {"\\", -1},              {"", -1},      // a key that names nothing
        {"b.txt", -1},           // repository keys are upper-cased
        {"TXT\\", -1},           // never across two rows' keys
        {"\\SRC\\LIB\\A.TXT", 5}, {"\\X\\SRC\\LIB\\A.TXT", -1},
        {"IB\\A.TXT", -1},       {"\\IB\\A.TXT", -1},  // a part of a folder name is no boundary
        {"PROJ\\LIB\\B.TXT", 3},  // from the key's start
        {"\\PROJ\\LIB\\B.TXT", 3},
    });
}

TEST(RepositoryKeyIndex, FirstRowInListOrderWins) {
    const ReportTable top = TopList({{"\\b\\lib", "a.txt"}, {"\\a\\lib", "a.txt"}, {"\\lib", "a.txt"}});
    ExpectFirstMatches(top, {{"\\A.TXT", 0}, {"\\LIB\\A.TXT", 0}, {"A.TXT", 0}, {"\\A\\LIB\\A.TXT", 1},
                             {"LIB\\A.TXT", 0}});
}

TEST(RepositoryKeyIndex, KeyWithoutLeadingSlashMayStartTheRepositoryKey) {
    // A repository path without a leading backslash gives a key that starts
    // with a name: "LIB\A.TXT" is that whole key, "\LIB\A.TXT" is not in it.
    const ReportTable top = TopList({{"lib", "a.txt"}});
    ExpectFirstMatches(top, {{"LIB\\A.TXT", 0}, {"\\LIB\\A.TXT", -1}, {"\\A.TXT", 0}, {"A.TXT", 0}});
}

struct CaseRuleCase {
    const char* name;
    const char* key;  // in the local file's own letter case
    int posixRow;     // exact case first
    int windowsRow;   // without case only
};

TEST(RepositoryKeyIndex, ExactLetterCaseWinsOverTheFirstCaseBlindMatch) {
    const ReportTable top = TopList({{"\\netfilter", "xt_CONNMARK.h"},
                                     {"\\netfilter", "xt_connmark.h"},
                                     {"\\doc", "readme"},
                                     {"\\Doc", "README"}});
    const CaseRuleCase cases[] = {
        {"upper twin", "\\xt_CONNMARK.h", 0, 0},
        {"lower twin", "\\xt_connmark.h", 1, 0},
        {"no exact twin", "\\Xt_Connmark.H", 0, 0},
        {"exact folder and name", "\\Doc\\README", 3, 2},
        {"folder in another case", "\\DOC\\README", 2, 2},
        {"exact name alone", "\\readme", 2, 2},
        {"nothing", "\\xt_connmark", -1, -1},
    };
    RepositoryKeyIndex index;
    index.Build(top);
    for (const CaseRuleCase& c : cases) {
        const int expected = platform::kIsWindows ? c.windowsRow : c.posixRow;
        EXPECT_EQ(index.FindCounterpart(c.key), expected) << c.name;
        EXPECT_EQ(FindCounterpartLinear(top, c.key), expected) << c.name;
    }
}

TEST(RepositoryKeyIndex, AgreesWithTheLinearSearchOnRandomKeys) {
    std::mt19937 rng(11);
    // Few letters and many backslashes, so that names repeat, nest and
    // differ only in letter case.
    const std::string alphabet = "aAb\\.";
    for (std::size_t rows : {1u, 2u, 50u, 400u}) {
        std::vector<std::pair<std::string, std::string>> entries;
        for (std::size_t i = 0; i < rows; ++i) {
            const std::string lead = rng() % 4 == 0 ? "" : "\\";
            entries.emplace_back(lead + RandomText(rng, rng() % 8, alphabet), RandomText(rng, 1 + rng() % 4, alphabet));
        }
        const ReportTable top = TopList(entries);
        RepositoryKeyIndex index;
        index.Build(top);
        for (int q = 0; q < 1500; ++q) {
            // Half of the keys are taken from a row, so most of them match.
            std::string key;
            if (q % 2 == 0) {
                const int row = static_cast<int>(rng() % rows);
                const std::string path = RepositoryPathOf(top, row);
                key = path.substr(rng() % (path.size() + 1));
                if (q % 4 == 0) key = platform::UpperAscii(key);
            } else {
                key = RandomText(rng, rng() % 7, alphabet);
            }
            const int expected = FindCounterpartLinear(top, key);
            ASSERT_EQ(index.FindCounterpart(key), expected) << rows << " rows, key " << key;
            ASSERT_EQ(FindCounterpartByScan(top, key), expected) << rows << " rows, key " << key;
            const std::string upper = platform::UpperAscii(key);
            ASSERT_EQ(index.FindFirst(upper), FindFirstMatchingRowLinear(top, upper)) << rows << " rows, key " << key;
        }
    }
}

TEST(RepositoryKeyIndex, NamesWithTheSameHashAreToldApartByTheirText) {
    // The Thue-Morse word of 2048 letters and its complement give the same
    // polynomial hash modulo 2^64 for every odd base: a lookup must still
    // find the row whose name it is.
    std::string word(2048, 'A');
    std::string complement(2048, 'B');
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::popcount(i) % 2 == 1) std::swap(word[i], complement[i]);
    }
    const ReportTable top = TopList({{"\\x", word}, {"\\x", complement}});
    RepositoryKeyIndex index;
    index.Build(top);
    EXPECT_EQ(index.FindFirst("\\" + complement), 1);
    EXPECT_EQ(index.FindFirst("\\X\\" + complement), 1);
    EXPECT_EQ(index.FindFirst(word), 0);
    EXPECT_EQ(index.FindFirst("\\" + word.substr(1)), -1);
}

TEST(RepositoryKeyIndex, EmptyTableHasNoCounterparts) {
    ReportTable top = TopList({});
    RepositoryKeyIndex index;
    index.Build(top);
    EXPECT_EQ(index.FindFirst("\\A"), -1);
    EXPECT_EQ(index.FindFirst(""), -1);
    EXPECT_EQ(index.FindCounterpart("\\a"), -1);
}

TEST(RepositoryKeyIndex, KnowsWhenTheTableChanged) {
    ReportTable top = TopList({{"\\p", "a.txt"}});
    ReportTable other = TopList({{"\\p", "a.txt"}});
    RepositoryKeyIndex index;
    index.Build(top);
    EXPECT_TRUE(index.IsCurrentFor(top));
    EXPECT_FALSE(index.IsCurrentFor(other));
    top.SetCellBackColor(0, 0, 0x808080);  // a highlight does not touch the keys
    EXPECT_TRUE(index.IsCurrentFor(top));
    top.SetItemText(0, 1, "b.txt");
    EXPECT_FALSE(index.IsCurrentFor(top));
}

TEST(RepositoryKeyIndex, CellsEndAtTheirFirstZeroByte) {
    using namespace std::string_literals;
    // A path cut short by a 0 byte is the whole key: no file name follows it.
    const ReportTable top = TopList({{"\\p\0x"s, "a.c"}, {"\\q"s, "b.c\0d"s}, {"\\r"s, "p"}});
    RepositoryKeyIndex index;
    index.Build(top);
    const LookupCase cases[] = {{"\\P", 0}, {"P", 0}, {"\\P\\A.C", -1}, {"\\Q\\B.C", 1}, {"B.C", 1}, {"B.C\0D", 1},
                                {"D", -1}, {"\\R\\P", 2}};
    for (const LookupCase& c : cases) {
        EXPECT_EQ(index.FindCounterpart(c.key), c.row) << c.key;
        EXPECT_EQ(FindCounterpartByScan(top, c.key), c.row) << c.key;
        EXPECT_EQ(FindCounterpartLinear(top, c.key), c.row) << c.key;
    }
}

// ---- built on a worker thread ----------------------------------------------------

// Three files named alike in different folders, and a twin that differs only
// in letter case: which row wins depends on the row order alone.
ReportTable TiedTopList() {
    return TopList({{"\\b", "a.c"}, {"\\a", "A.C"}, {"\\c", "a.c"}, {"\\a", "a.c"}, {"\\x\\b", "k.h"},
                    {"\\b", "k.h"}});
}

// Reverses the row order, as a sort the other way round does.
void Reverse(ReportTable& top) {
    std::vector<std::size_t> order(static_cast<std::size_t>(top.GetItemCount()));
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = order.size() - 1 - k;
    ASSERT_TRUE(top.ApplyPermutation(order));
}

void ExpectTheRowsOfTheLinearSearch(RepositoryKeyIndex& index, const ReportTable& top) {
    for (const char* key : {"\\a.c", "a.c", "\\A.C", "\\a\\a.c", "\\b\\k.h", "k.h", "\\x\\B\\K.H", "\\none"}) {
        EXPECT_EQ(index.FindCounterpartNow(top, key), FindCounterpartLinear(top, key)) << key;
    }
}

TEST(RepositoryKeyIndex, ClickAnswersFollowTheRowOrderWhileAnIndexIsBuilt) {
    ReportTable top = TiedTopList();
    RepositoryKeyIndex index;
    index.BuildInBackground(top);
    ExpectTheRowsOfTheLinearSearch(index, top);
    // A sort right after: the build of the old order must never answer.
    Reverse(top);
    EXPECT_EQ(index.FindCounterpartNow(top, "a.c"), 2);
    ExpectTheRowsOfTheLinearSearch(index, top);
    index.BuildInBackground(top);
    Reverse(top);
    EXPECT_EQ(index.FindCounterpartNow(top, "a.c"), 0);
    ExpectTheRowsOfTheLinearSearch(index, top);
    // Once the build of this order is taken over, the index itself answers.
    index.Build(top);
    EXPECT_TRUE(index.IsCurrentFor(top));
    EXPECT_EQ(index.FindCounterpart("\\A.C"), platform::kIsWindows ? 0 : 1);
    ExpectTheRowsOfTheLinearSearch(index, top);
}

TEST(RepositoryKeyIndex, BuildTakesOverTheBackgroundBuildOfTheSameRows) {
    ReportTable top = TiedTopList();
    RepositoryKeyIndex index;
    index.BuildInBackground(top);
    index.Build(top);
    EXPECT_TRUE(index.IsCurrentFor(top));
    EXPECT_EQ(index.FindCounterpart("\\a\\a.c"), platform::kIsWindows ? 1 : 3);
    // A background build of an older state is abandoned, not taken over.
    index.BuildInBackground(top);  // already current: nothing to do
    top.SetItemText(3, 2, "\\z");
    index.BuildInBackground(top);
    top.SetItemText(0, 2, "\\a");
    index.Build(top);
    EXPECT_TRUE(index.IsCurrentFor(top));
    EXPECT_EQ(index.FindCounterpart("\\a\\a.c"), 0);
    EXPECT_EQ(index.FindCounterpart("\\z\\a.c"), 3);
}

TEST(RepositoryKeyIndex, AgreesWithTheLinearSearchAcrossSortsAndEdits) {
    std::mt19937 rng(5);
    const std::string alphabet = "aAb\\.";
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < 300; ++i) {
        entries.emplace_back("\\" + RandomText(rng, rng() % 6, alphabet), RandomText(rng, 1 + rng() % 3, alphabet));
    }
    ReportTable top = TopList(entries);
    RepositoryKeyIndex index;
    for (int step = 0; step < 40; ++step) {
        switch (rng() % 3) {
        case 0: {
            std::vector<std::size_t> order(static_cast<std::size_t>(top.GetItemCount()));
            for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
            std::shuffle(order.begin(), order.end(), rng);
            ASSERT_TRUE(top.ApplyPermutation(order));
            index.BuildInBackground(top);
            break;
        }
        case 1: top.SetItemText(static_cast<int>(rng() % 300), 1, RandomText(rng, 1 + rng() % 3, alphabet)); break;
        default: break;
        }
        for (int q = 0; q < 20; ++q) {
            const std::string path = RepositoryPathOf(top, static_cast<int>(rng() % 300));
            const std::string key = path.substr(rng() % (path.size() + 1));
            ASSERT_EQ(index.FindCounterpartNow(top, key), FindCounterpartLinear(top, key)) << step << " " << key;
        }
    }
}


// ---- the counterpart at the repository folder + the key ----

// Names joined by one backslash, as the rule keeps keys and folders.
std::string Normal(const std::string& key) { return NormalRepositoryFolder(key); }

// The rule done the plain way: every folder of every row is tried against
// every local key; pairs are handed out exact case first, then in byte order.
std::map<std::string, int> ReferencePairs(const ReportTable& top, std::vector<std::string> local,
                                          std::optional<std::string> folder) {
    std::vector<std::string> rows;
    for (int row = 0; row < top.GetItemCount(); ++row) rows.push_back(Normal(RepositoryPathOf(top, row)));
    for (std::string& key : local) key = Normal(key);
    const auto up = [](const std::string& text) { return platform::UpperAscii(text); };
    const auto at = [](const std::string& f, const std::string& key) { return f.empty() ? key : f + "\\" + key; };
    if (folder) folder = Normal(*folder);
    std::size_t best[3] = {0, 0, 0};  // votes, levels, first row
    std::optional<std::string> won;
    for (std::size_t row = 0; row < rows.size() && !folder.has_value(); ++row) {
        for (std::size_t cut = 0; cut <= rows[row].size(); ++cut) {
            if (cut != 0 && rows[row][cut] != '\\') continue;
            const std::string f = rows[row].substr(0, cut);
            std::set<std::string> voters;
            std::size_t first = rows.size();
            for (const std::string& key : local) {
                for (std::size_t r = 0; r < rows.size(); ++r) {
                    if (up(rows[r]) != up(at(f, key))) continue;
                    voters.insert(up(key));
                    first = std::min(first, r);
                }
            }
            const std::size_t levels = f.empty() ? 0 : 1 + std::count(f.begin(), f.end(), '\\');
            if (voters.empty() || voters.size() < best[0]) continue;
            if (voters.size() == best[0] && (levels > best[1] || (levels == best[1] && first >= best[2]))) continue;
            best[0] = voters.size(), best[1] = levels, best[2] = first;
            won = rows[first].substr(0, cut);
        }
    }
    if (!folder) folder = won;
    std::map<std::string, int> pairs;
    if (!folder) return pairs;
    std::vector<bool> claimed(rows.size());
    std::sort(local.begin(), local.end());
    for (int pass = platform::kIsWindows ? 1 : 0; pass < 2; ++pass) {
        for (const std::string& key : local) {
            if (pairs.count(key) && pairs[key] >= 0) continue;
            pairs[key] = -1;
            for (std::size_t r = 0; r < rows.size() && pairs[key] < 0; ++r) {
                const std::string wanted = at(*folder, key);
                if (claimed[r] || (pass == 0 ? rows[r] != wanted : up(rows[r]) != up(wanted))) continue;
                claimed[r] = true;
                pairs[key] = static_cast<int>(r);
            }
        }
    }
    return pairs;
}

void ExpectLikeTheReference(const ReportTable& top, const std::vector<std::string>& local,
                            const std::optional<std::string>& named = std::nullopt) {
    CounterpartRule rule;
    rule.Prepare(top, local, named);
    const std::map<std::string, int> reference = ReferencePairs(top, local, named);
    for (const std::string& key : local) {
        const int expected = reference.count(Normal(key)) ? reference.at(Normal(key)) : -1;
        EXPECT_EQ(rule.CounterpartOf(key), expected) << key << " below " << rule.Folder();
    }
}

// Where else a prepared key's name lies, as the index answers it; the rule
// tells for keys given as their normal form, with or without a leading
// backslash, and leaves the others to the index.
void ExpectElsewhereLikeTheIndex(const CounterpartRule& rule, const ReportTable& top,
                                 const std::vector<std::string>& local) {
    for (const std::string& key : local) {
        const std::optional<int> row = rule.FirstRowNaming(key);
        EXPECT_EQ(row.has_value(), key == Normal(key) || key == "\\" + Normal(key)) << key;
        if (row) {
            EXPECT_EQ(*row, FindCounterpartLinear(top, key)) << key;
        }
    }
}

TEST(CounterpartRule, NamesWhereElseAFileLiesAsTheIndexDoes) {
    using namespace std::string_literals;
    // Cells whose keys differ from their normal form: no leading backslash,
    // a slash, a doubled or trailing backslash, the root, a 0 byte.
    const ReportTable top = TopList({{"lib", "a.txt"}, {"\\x/lib", "a.txt"}, {"\\p\\\\lib", "a.txt"}, {"\\", "a.txt"},
                                     {"\\q\\lib\\", "A.txt"}, {"\\q\\LIB", "a.txt"}, {"\\r\0x"s, "b"}, {"\\s", "c\\"}});
    for (const std::vector<std::string>& local :
         {std::vector<std::string>{"\\lib\\a.txt", "a.txt", "\\LIB\\A.TXT", "\\r", "\\c", "\\"},
          std::vector<std::string>{"lib\\a.txt", "\\a.txt", "LIB\\a.txt", "x\\lib\\a.txt", "c", ""},
          std::vector<std::string>{"\\\\a.txt", "lib/a.txt", "r\\", "\\q\\\\lib\\a.txt", "/"}}) {
        CounterpartRule rule;
        rule.Prepare(top, local, std::nullopt);
        ExpectElsewhereLikeTheIndex(rule, top, local);
    }
}

TEST(CounterpartRule, TheFolderWithMostVotesHoldsTheCounterparts) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> top;
        std::vector<std::string> local;
        const char* folder;     // shown; "" for none
        std::vector<int> rows;  // of each local key
        bool posixOnly = false;
        std::optional<std::string> named = std::nullopt;
    };
    const std::vector<Case> cases = {
        {"fewer levels win a tie", {{"\\x", "a.h"}, {"\\", "a.h"}}, {"\\a.h"}, "\\", {1}},
        {"then the first row", {{"\\c", "a.h"}, {"\\b", "a.h"}}, {"a.h"}, "\\c", {0}},
        {"named with slashes", {{"\\c", "R"}, {"\\s", "R"}, {"\\s", "L"}}, {"R", "L"}, "\\c", {0, -1}, false,
         "/c/"},
        {"named in another letter case", {{"\\c", "R"}, {"\\c", "r"}}, {"r", "R"}, "\\C", {1, 0}, true, "C"},
        {"no vote", {{"\\a", "x"}}, {"y"}, "", {-1}},
        {"folders differ in case only", {{"\\Docs", "a"}, {"\\DOCS", "b"}}, {"a", "b"}, "\\Docs", {0, 1}},
        {"twin beside the exact name is New", {{"\\d", "x.h"}}, {"\\x.h", "\\X.h"}, "\\d", {0, -1}, true},
        {"twins: first in byte order", {{"\\d", "x.h"}}, {"\\x.H", "\\X.h"}, "\\d", {-1, 0}, true},
        {"exact case first", {{"\\d", "X.h"}, {"\\d", "x.h"}}, {"\\x.h"}, "\\d", {1}, true},
        {"one key given twice", {{"\\d", "X.h"}}, {"\\x.h", "x.h"}, "\\d", {0, 0}},
        {"cells not in normal form", {{"/d//s/", "a.h"}, {"d", "s\\b.h"}, {"\\d\\s", "c.h"}},
         {"s\\a.h", "s/b.h", "\\s\\c.h"}, "\\d", {0, 1, 2}},
    };
    for (const Case& c : cases) {
        if (c.posixOnly && platform::kIsWindows) continue;
        const ReportTable top = TopList(c.top);
        CounterpartRule rule;
        rule.Prepare(top, c.local, c.named);
        EXPECT_EQ(rule.HasFolder() ? ShownRepositoryFolder(rule.Folder()) : "", c.folder) << c.name;
        for (std::size_t i = 0; i < c.local.size(); ++i) {
            EXPECT_EQ(rule.CounterpartOf(c.local[i]), c.rows[i]) << c.name << ": " << c.local[i];
        }
        ExpectLikeTheReference(top, c.local, c.named);
    }
}

TEST(CounterpartRule, EachFileKeepsItsRowWhenTheListIsSorted) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> top;
        std::vector<std::string> local;
        bool preparedOnACopy = false;
        // Keys of files made since, and the row each finds after the sort.
        std::vector<std::pair<std::string, std::string>> madeSince = {};
    };
    const std::vector<Case> cases = {
        {"case-blind pairs", {{"\\d", "X.h"}, {"\\d", "x.H"}, {"\\d", "y"}}, {"\\x.h", "\\Y"}, false,
         {{"\\X.H", "\\d\\x.H"}}},
        {"folder in another case", {{"\\D", "a"}, {"\\d", "b"}, {"\\d", "a"}, {"\\D", "c"}}, {"a", "b"}},
        {"cells not in normal form", {{"/d//s/", "a.h"}, {"\\d\\s", "A.h"}, {"\\d\\s", "b"}, {"d/s", "c"}},
         {"s\\a.h", "s\\B"}, false, {{"s\\c", "d/s\\c"}, {"s/A.h", "\\d\\s\\A.h"}}},
        {"prepared on a copy", {{"\\d", "X.h"}, {"\\d", "x.H"}, {"\\D", "x.h"}, {"\\d", "z"}}, {"x.h", "X.H"}, true},
    };
    for (const Case& c : cases) {
        ReportTable top = TopList(c.top);
        // As the report does while the checkout runs: the rule is made on a
        // copy of the keys, which is gone when it takes over the list.
        ReportTable copy = TopList(c.top);
        const std::uint64_t changeCount = top.TextChangeCount();
        const ReportTable& prepared = c.preparedOnACopy ? copy : top;
        CounterpartRule rule;
        rule.Prepare(prepared, c.local, std::nullopt);
        const auto rowsOf = [&](const ReportTable& table) {
            std::vector<std::string> paths;
            for (const std::string& key : c.local) {
                const int row = rule.CounterpartOf(key);
                paths.push_back(row < 0 ? "" : RepositoryPathOf(table, row));
            }
            // Missing rows come in row order, which the sort turned round.
            for (const int row : rule.UnpairedRowsBelowFolder(true)) paths.push_back("missing " + rule.KeyBelowFolder(row));
            std::sort(paths.begin() + static_cast<std::ptrdiff_t>(c.local.size()), paths.end());
            return paths;
        };
        const std::vector<std::string> before = rowsOf(prepared);
        Reverse(top);
        if (c.preparedOnACopy) {
            copy.RemoveAllRows();
            rule.StandFor(top, changeCount);
        }
        rule.Refresh(top);
        EXPECT_EQ(rowsOf(top), before) << c.name;
        for (const auto& [key, path] : c.madeSince) {
            const int row = rule.CounterpartOf(key);
            EXPECT_EQ(row < 0 ? "" : RepositoryPathOf(top, row), path) << c.name << ": " << key;
        }
    }
}

TEST(CounterpartRule, KeysWithTheSameHashAreToldApartByTheirText) {
    // As for the index: the Thue-Morse word and its complement hash alike.
    std::string word(2048, 'A');
    std::string complement(2048, 'B');
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::popcount(i) % 2 == 1) std::swap(word[i], complement[i]);
    }
    const ReportTable top = TopList({{"\\x", word}, {"\\x", complement}});
    // Without case the row of the word would come first.
    const std::string key = "\\" + platform::LowerAscii(complement);
    CounterpartRule rule;
    rule.Prepare(top, {key}, std::nullopt);
    EXPECT_EQ(rule.Votes(), 1);
    EXPECT_EQ(rule.CounterpartOf(key), 1);
    EXPECT_EQ(rule.FirstRowNaming(key), std::optional<int>(1));
    EXPECT_EQ(rule.CounterpartOf("\\" + word), 0);  // a key made since
    EXPECT_EQ(rule.FirstRowNaming("\\" + word), std::nullopt);
}

TEST(CounterpartRule, TheVoteCountsEveryFolderOfALargeTree) {
    // Each file lies once alone in a folder of its own, and all of them
    // together in one folder that must win. The local files lie in 150
    // folders, met in turn. Where a file's own folder comes first, its name
    // lies there first: for none, some or all of the files.
    for (const int ownFirstEvery : {0, 10, 1}) {
        std::vector<std::pair<std::string, std::string>> entries;
        std::vector<std::string> local;
        std::vector<int> pairRows;
        std::vector<int> firstRows;
        for (int i = 0; i < 300; ++i) {
            const std::string folder = "\\f" + std::to_string(i % 150);
            const std::string file = "x" + std::to_string(i);
            const bool ownFirst = ownFirstEvery > 0 && i % ownFirstEvery == 0;
            if (ownFirst) entries.emplace_back("\\p" + std::to_string(i) + folder, file);
            entries.emplace_back("\\all" + folder, file);
            if (!ownFirst) entries.emplace_back("\\p" + std::to_string(i) + folder, file);
            local.push_back(folder + "\\" + file);
            pairRows.push_back(ownFirst ? 2 * i + 1 : 2 * i);
            firstRows.push_back(2 * i);
        }
        const ReportTable top = TopList(entries);
        CounterpartRule rule;
        rule.Prepare(top, local, std::nullopt);
        EXPECT_EQ(rule.Folder(), "all") << ownFirstEvery;
        EXPECT_EQ(rule.Votes(), 300) << ownFirstEvery;
        for (std::size_t i = 0; i < local.size(); ++i) {
            EXPECT_EQ(rule.CounterpartOf(local[i]), pairRows[i]) << ownFirstEvery << " " << i;
            EXPECT_EQ(rule.FirstRowNaming(local[i]), std::optional<int>(firstRows[i])) << ownFirstEvery << " " << i;
        }
    }
}

TEST(CounterpartRule, AgreesWithTheReferenceOnRandomTreesAndAcrossSorts) {
    std::mt19937 rng(23);
    const std::string alphabet = "abAB";
    for (int round = 0; round < 60; ++round) {
        std::vector<std::pair<std::string, std::string>> entries;
        for (std::size_t rows = 1 + rng() % 40; rows > 0; --rows) {
            std::string path;
            // Now and then a cell the normal form does not keep as it is.
            for (std::size_t level = rng() % 3; level > 0; --level) {
                path += (rng() % 8 == 0 ? "/" : rng() % 8 == 0 ? "\\\\" : "\\") + RandomText(rng, 1, alphabet);
            }
            entries.emplace_back(path.empty() ? "\\" : path, RandomText(rng, 1 + rng() % 2, alphabet));
        }
        std::set<std::string> keys;
        for (std::size_t i = rng() % 12; i > 0; --i) {
            const std::string folder = rng() % 2 ? RandomText(rng, 1, alphabet) + "\\" : "";
            keys.insert(folder + RandomText(rng, 1 + rng() % 2, alphabet));
        }
        const std::vector<std::string> local(keys.begin(), keys.end());
        ReportTable top = TopList(entries);
        ExpectLikeTheReference(top, local);
        ExpectLikeTheReference(top, local, RandomText(rng, 1, alphabet));
        // A sort moves the rows; every file keeps the repository file it had.
        CounterpartRule rule;
        rule.Prepare(top, local, std::nullopt);
        const auto pairs = [&] {
            std::vector<std::string> paths;
            for (const std::string& key : local) {
                // Rows whose keys differ only in how their cells spell them
                // are one file to the rule.
                paths.push_back(rule.CounterpartOf(key) < 0 ? "" : Normal(RepositoryPathOf(top, rule.CounterpartOf(key))));
            }
            return paths;
        };
        const std::vector<std::string> before = pairs();
        SortTableByColumn(top, 1, false);
        rule.Refresh(top);
        EXPECT_EQ(pairs(), before);
        ExpectElsewhereLikeTheIndex(rule, top, local);
        std::vector<std::string> slashed = local;
        for (std::size_t i = 0; i < slashed.size(); i += 2) slashed[i] = "\\" + slashed[i];
        rule.Prepare(top, slashed, std::nullopt);
        ExpectElsewhereLikeTheIndex(rule, top, slashed);
    }
}

}  // namespace
}  // namespace qvr
