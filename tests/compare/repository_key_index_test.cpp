#include "compare/repository_key_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "compare/suffix_array.h"

namespace qvr {
namespace {

std::vector<std::int32_t> NaiveSuffixArray(const std::string& text) {
    std::vector<std::int32_t> sa(text.size());
    std::iota(sa.begin(), sa.end(), 0);
    std::sort(sa.begin(), sa.end(), [&](std::int32_t a, std::int32_t b) {
        // Unsigned bytes; a suffix that is a prefix of the other sorts first.
        return std::lexicographical_compare(
            text.begin() + a, text.end(), text.begin() + b, text.end(),
            [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
    });
    return sa;
}

std::string RandomText(std::mt19937& rng, std::size_t size, const std::string& alphabet) {
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string text(size, ' ');
    for (char& c : text) c = alphabet[pick(rng)];
    return text;
}

TEST(SuffixArray, MatchesTheNaiveSortOnRepetitiveAndRandomTexts) {
    std::mt19937 rng(7);
    const std::string alphabets[] = {"a", "ab", std::string("ab\0", 3), "\xFF\x01z", "ACGT\\"};
    for (const std::string& alphabet : alphabets) {
        for (std::size_t size : {0u, 1u, 2u, 3u, 17u, 300u, 2000u}) {
            const std::string text = RandomText(rng, size, alphabet);
            EXPECT_EQ(BuildSuffixArray(text), NaiveSuffixArray(text)) << size;
        }
    }
    const std::string periodic = "abcabcabcabcabcabcab";
    EXPECT_EQ(BuildSuffixArray(periodic), NaiveSuffixArray(periodic));
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

TEST(RepositoryKeyIndex, FirstContainingRowWins) {
    const ReportTable top = TopList({{"\\proj\\lib", "sub.txt"},
                                     {"\\proj", "b.txt"},
                                     {"\\proj\\lib", "b.txt"},
                                     {"\\", "root.txt"},
                                     {"", ""}});
    const LookupCase cases[] = {
        {"\\B.TXT", 1},         {"B.TXT", 0},  // also inside a longer name
        {"\\LIB\\B.TXT", 2},    {"\\\\ROOT.TXT", 3},
        {"\\ROOT.TXT", 3},      {"\\PROJ", 0},
        {"\\MISSING.TXT", -1},  {"\\", 0},
        {"", 0},                {"b.txt", -1},  // keys are upper-cased, lookups too
        {"TXT\\", -1},          // never across two rows' keys
    };
    RepositoryKeyIndex index;
    index.Build(top);
    for (const LookupCase& c : cases) {
        EXPECT_EQ(index.FindFirst(c.key), c.row) << c.key;
        EXPECT_EQ(FindFirstMatchingRowLinear(top, c.key), c.row) << c.key;
    }
}

TEST(RepositoryKeyIndex, AgreesWithTheLinearSearchOnRandomKeys) {
    std::mt19937 rng(11);
    const std::string alphabet = "ab\\c";
    for (std::size_t rows : {1u, 2u, 50u, 3000u}) {
        std::vector<std::pair<std::string, std::string>> entries;
        for (std::size_t i = 0; i < rows; ++i) {
            entries.emplace_back("\\" + RandomText(rng, 1 + rng() % 8, alphabet),
                                 RandomText(rng, 1 + rng() % 5, alphabet));
        }
        const ReportTable top = TopList(entries);
        RepositoryKeyIndex index;
        index.Build(top);
        for (int q = 0; q < 2000; ++q) {
            const std::string key = RandomText(rng, rng() % 7, "AB\\C");
            ASSERT_EQ(index.FindFirst(key), FindFirstMatchingRowLinear(top, key))
                << rows << " rows, key " << key;
        }
    }
}

TEST(RepositoryKeyIndex, EmptyTableHasNoCounterparts) {
    ReportTable top = TopList({});
    RepositoryKeyIndex index;
    index.Build(top);
    EXPECT_EQ(index.FindFirst("\\A"), -1);
    EXPECT_EQ(index.FindFirst(""), -1);
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

}  // namespace
}  // namespace qvr
