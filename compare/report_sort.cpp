#include "compare/report_sort.h"

#include "compare/report_table.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

namespace qvr {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char LowerHex(char c) { return (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c; }

std::uint32_t HexDigitValue(char c) {
    if (IsDigit(c)) return static_cast<std::uint32_t>(c - '0');
    return static_cast<std::uint32_t>(LowerHex(c) - 'a' + 10);
}

std::size_t SkipSpaces(std::string_view text, std::size_t pos) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    return pos;
}

std::string_view Trim(std::string_view text) {
    std::size_t begin = SkipSpaces(text, 0);
    std::size_t end = text.size();
    while (end > begin && IsSpace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

template <typename T>
int ThreeWay(const T& a, const T& b) {
    if (a < b) return -1;
    if (b < a) return 1;
    return 0;
}

// ---- dates ----------------------------------------------------------------

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Reads 1 to maxDigits decimal digits; returns the count read (0 = none).
std::size_t ReadNumber(std::string_view text, std::size_t pos, std::size_t maxDigits, int& value) {
    std::size_t count = 0;
    value = 0;
    while (pos + count < text.size() && IsDigit(text[pos + count])) {
        if (++count > maxDigits) return 0;
        value = value * 10 + (text[pos + count - 1] - '0');
    }
    return count;
}

// The calendar date part: month/day/year, or year-month-day when the first
// number has four digits; "/", "-" or "." between the numbers.
bool ReadDatePart(std::string_view text, std::size_t& pos, std::int64_t& days) {
    int n[3] = {0, 0, 0};
    std::size_t len[3] = {0, 0, 0};
    char sep = 0;
    std::size_t p = pos;
    for (int k = 0; k < 3; ++k) {
        if (k > 0) {
            if (p >= text.size()) return false;
            char c = text[p];
            if (c != '/' && c != '-' && c != '.') return false;
            if (k == 1) sep = c;
            else if (c != sep) return false;
            ++p;
        }
        len[k] = ReadNumber(text, p, 4, n[k]);
        if (len[k] == 0) return false;
        p += len[k];
    }
    int year = 0, month = 0, day = 0;
    if (len[0] > 2) {
        if (len[0] != 4) return false;
        year = n[0], month = n[1], day = n[2];
    } else {
        month = n[0], day = n[1], year = n[2];
        if (len[2] <= 2) year += year < 30 ? 2000 : 1900;  // two-digit years
        else if (len[2] == 3) return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    pos = p;
    return true;
}

bool MatchesWordAt(std::string_view text, std::size_t pos, char first) {
    if (pos + 2 > text.size()) return false;
    char a = static_cast<char>(text[pos] | 0x20);
    char m = static_cast<char>(text[pos + 1] | 0x20);
    return a == first && m == 'm';
}

// The time of day: hours:minutes[:seconds] with an optional AM or PM.
bool ReadTimePart(std::string_view text, std::size_t& pos, int& seconds) {
    int h = 0, m = 0, s = 0;
    std::size_t p = pos;
    std::size_t n = ReadNumber(text, p, 2, h);
    if (n == 0) return false;
    p += n;
    if (p >= text.size() || text[p] != ':') return false;
    n = ReadNumber(text, ++p, 2, m);
    if (n == 0) return false;
    p += n;
    if (p < text.size() && text[p] == ':') {
        n = ReadNumber(text, ++p, 2, s);
        if (n == 0) return false;
        p += n;
    }
    std::size_t q = SkipSpaces(text, p);
    bool am = MatchesWordAt(text, q, 'a');
    bool pm = MatchesWordAt(text, q, 'p');
    if (am || pm) {
        if (h < 1 || h > 12) return false;
        h = (h % 12) + (pm ? 12 : 0);
        p = q + 2;
    }
    if (h > 23 || m > 59 || s > 59) return false;
    seconds = h * 3600 + m * 60 + s;
    pos = p;
    return true;
}

// ---- the list's quicksort ---------------------------------------------------

// Runs there on a helper thread and here on this one, and returns when both
// are done; both run here, one after the other, when no thread can be had.
// A failure on the helper (out of memory) is raised here once both are done.
template <typename There, typename Here>
void RunSideBySide(There&& there, Here&& here) {
    std::exception_ptr failure;
    auto guarded = [&] {
        try {
            there();
        } catch (...) {
            failure = std::current_exception();
        }
    };
    std::thread helper;
    try {
        helper = std::thread(guarded);
    } catch (const std::system_error&) {
        guarded();
    }
    try {
        here();
    } catch (...) {
        if (helper.joinable()) helper.join();
        throw;
    }
    if (helper.joinable()) helper.join();
    if (failure) std::rethrow_exception(failure);
}

// Below this many entries a second thread is not worth starting.
constexpr std::ptrdiff_t kTwoThreadEntries = 50'000;

// Compare(row a, row b) gives negative, 0 or positive for two rows' keys.
// Element is what the order holds for a row: its index, or anything the
// comparison can read the row's key from.
template <typename RowCompare, typename Element = std::size_t>
class OrderSorter {
public:
    OrderSorter(RowCompare compare, std::vector<Element>& order, bool ascending)
        : m_compare(compare), m_order(order), m_ascending(ascending) {}

    void Sort(std::ptrdiff_t lo, std::ptrdiff_t hi) {
        // The two parts left by a partition are independent, so the smaller one
        // is sorted first by recursion and the larger one by the loop: the same
        // order as the plain scheme, with a stack depth that stays logarithmic.
        while (lo < hi) {
            auto [i, j] = Partition(lo, hi);
            if (j - lo < hi - i) {
                if (lo < j) Sort(lo, j);
                lo = i;
            } else {
                if (i < hi) Sort(i, hi);
                hi = j;
            }
        }
    }

    // The same order, worked out on two threads: the quicksort's first
    // partitions are made here, and the parts they leave, which no later
    // step mixes, are shared out between this thread and a helper.
    void SortOnTwoThreads(std::ptrdiff_t lo, std::ptrdiff_t hi) {
        using Part = std::pair<std::ptrdiff_t, std::ptrdiff_t>;
        std::vector<Part> parts{{lo, hi}};
        auto size = [](const Part& part) { return part.second - part.first; };
        auto bySize = [&](const Part& a, const Part& b) { return size(a) > size(b); };
        constexpr std::size_t kParts = 8;
        while (!parts.empty() && parts.size() < kParts) {
            std::sort(parts.begin(), parts.end(), bySize);
            const Part largest = parts.front();
            if (size(largest) < kTwoThreadEntries / 4) break;
            parts.erase(parts.begin());
            const auto [i, j] = Partition(largest.first, largest.second);
            if (largest.first < j) parts.emplace_back(largest.first, j);
            if (i < largest.second) parts.emplace_back(i, largest.second);
        }
        std::sort(parts.begin(), parts.end(), bySize);
        std::vector<Part> mine;
        std::vector<Part> helpers;
        std::ptrdiff_t myLoad = 0;
        std::ptrdiff_t helperLoad = 0;
        for (const Part& part : parts) {
            if (myLoad <= helperLoad) {
                mine.push_back(part);
                myLoad += size(part);
            } else {
                helpers.push_back(part);
                helperLoad += size(part);
            }
        }
        RunSideBySide([&] { for (const Part& part : helpers) Sort(part.first, part.second); },
                      [&] { for (const Part& part : mine) Sort(part.first, part.second); });
    }

private:
    int Compare(std::ptrdiff_t index, Element pivot) const {
        int result = m_compare(m_order[static_cast<std::size_t>(index)], pivot);
        return m_ascending ? result : -result;
    }

    std::pair<std::ptrdiff_t, std::ptrdiff_t> Partition(std::ptrdiff_t lo, std::ptrdiff_t hi) {
        const Element pivot = m_order[static_cast<std::size_t>(lo + (hi - lo) / 2)];
        std::ptrdiff_t i = lo;
        std::ptrdiff_t j = hi;
        do {
            while (i < hi && Compare(i, pivot) < 0) ++i;
            while (j > lo && Compare(j, pivot) > 0) --j;
            if (i <= j) {
                if (i != j) std::swap(m_order[static_cast<std::size_t>(i)], m_order[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        return {i, j};
    }

    RowCompare m_compare;
    std::vector<Element>& m_order;
    bool m_ascending;
};

// The comparison is chosen per pair; when every key of the column is read the
// same way (each reading either succeeds for all keys or for none, where it
// decides), every pair is compared by the same rule. Then the keys form one
// consistent order and can be ranked once: the quicksort compares small
// numbers and takes exactly the decisions the cell texts would give it.
bool ComparedByOneRule(const std::vector<CellSortKey>& keys) {
    auto uniform = [&](auto flag) {
        const bool first = keys.front().*flag;
        for (const CellSortKey& key : keys) {
            if (key.*flag != first) return std::optional<bool>();
        }
        return std::optional<bool>(first);
    };
    std::optional<bool> hex = uniform(&CellSortKey::isHex);
    if (!hex) return false;
    if (*hex) return true;
    std::optional<bool> decimal = uniform(&CellSortKey::isDecimal);
    if (!decimal) return false;
    if (*decimal) {
        // A NaN compares equal to everything, which is no consistent order.
        for (const CellSortKey& key : keys) {
            if (std::isnan(key.decimal)) return false;
        }
        return true;
    }
    return uniform(&CellSortKey::isDate).has_value();
}

// Groups equal texts: distinct[d] is the first key holding distinct text d,
// and the result gives every key its distinct text. An open-addressing table
// that remembers each text's hash, so a repeated text rarely has to be read
// again from its row.
template <typename TextOf>
std::vector<std::uint32_t> GroupEqualTexts(std::size_t count, TextOf textOf, std::vector<std::size_t>& distinct) {
    std::size_t capacity = 16;
    while (capacity < 2 * count) capacity <<= 1;
    const std::size_t mask = capacity - 1;
    // Each slot: the text's 32-bit hash above, its distinct number + 1 below (0: empty).
    std::vector<std::uint64_t> slots(capacity, 0);
    std::vector<std::uint32_t> distinctOf(count);
    const std::hash<std::string_view> hasher;
    for (std::size_t k = 0; k < count; ++k) {
        const std::string_view text = textOf(k);
        const std::uint64_t full = hasher(text);
        const auto hash = static_cast<std::uint32_t>(full ^ (full >> 32));
        std::size_t slot = (full * 0x9E3779B97F4A7C15ULL >> 20) & mask;
        for (;; slot = (slot + 1) & mask) {
            const std::uint64_t entry = slots[slot];
            if (entry == 0) {
                distinct.push_back(k);
                slots[slot] = (std::uint64_t{hash} << 32) | distinct.size();
                distinctOf[k] = static_cast<std::uint32_t>(distinct.size() - 1);
                break;
            }
            const auto number = static_cast<std::uint32_t>(entry & 0xFFFFFFFFu) - 1;
            if ((entry >> 32) == hash && textOf(distinct[number]) == text) {
                distinctOf[k] = number;
                break;
            }
        }
    }
    return distinctOf;
}

// Dense ranks of the keys with distinct texts keys[distinct[d]]: equal keys
// share a rank, and rank order is key order.
std::vector<std::uint32_t> RankDistinctKeys(const std::vector<CellSortKey>& keys,
                                            const std::vector<std::size_t>& distinct) {
    std::vector<std::uint32_t> rankOfDistinct(distinct.size());
    const CellSortKey& sample = keys.front();
    if (!sample.isHex && !sample.isDecimal && !sample.isDate) {
        // Plain texts: distinct texts never compare equal, so a sort of the
        // texts themselves gives the ranks. They are copied side by side first:
        // read from their rows, every comparison would wait for memory.
        std::size_t total = 0;
        for (std::size_t k : distinct) total += keys[k].text.size();
        std::string pool;
        pool.reserve(total);
        for (std::size_t k : distinct) pool += keys[k].text;
        std::vector<std::pair<std::string_view, std::uint32_t>> texts(distinct.size());
        std::size_t start = 0;
        for (std::uint32_t d = 0; d < texts.size(); ++d) {
            const std::size_t length = keys[distinct[d]].text.size();
            texts[d] = {std::string_view(pool).substr(start, length), d};
            start += length;
        }
        std::sort(texts.begin(), texts.end());
        for (std::uint32_t n = 0; n < texts.size(); ++n) rankOfDistinct[texts[n].second] = n;
    } else {
        std::vector<std::uint32_t> byOrder(distinct.size());
        for (std::uint32_t d = 0; d < byOrder.size(); ++d) byOrder[d] = d;
        std::sort(byOrder.begin(), byOrder.end(), [&](std::uint32_t a, std::uint32_t b) {
            return CompareSortKeys(keys[distinct[a]], keys[distinct[b]]) < 0;
        });
        std::uint32_t rank = 0;
        for (std::size_t n = 0; n < byOrder.size(); ++n) {
            if (n > 0 && CompareSortKeys(keys[distinct[byOrder[n - 1]]], keys[distinct[byOrder[n]]]) != 0) ++rank;
            rankOfDistinct[byOrder[n]] = rank;
        }
    }
    return rankOfDistinct;
}

// Dense ranks: equal keys share a rank, and rank order is key order.
std::vector<std::uint32_t> RankKeys(const std::vector<CellSortKey>& keys) {
    // Lists repeat texts a lot (every file of a folder has the same Path), so
    // only the distinct texts are sorted.
    std::vector<std::size_t> distinct;
    const std::vector<std::uint32_t> distinctIndex =
        GroupEqualTexts(keys.size(), [&keys](std::size_t k) { return keys[k].text; }, distinct);
    const std::vector<std::uint32_t> rankOfDistinct = RankDistinctKeys(keys, distinct);
    std::vector<std::uint32_t> ranks(keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k) ranks[k] = rankOfDistinct[distinctIndex[k]];
    return ranks;
}

// The list's quicksort over ranks. Each entry carries its row's rank above
// the row index, so a comparison reads no other memory; the decisions are
// those of the sort over row indexes.
std::vector<std::size_t> SortByRank(const std::vector<std::uint32_t>& ranks, bool ascending) {
    std::vector<std::uint64_t> packed(ranks.size());
    for (std::size_t k = 0; k < packed.size(); ++k) packed[k] = (std::uint64_t{ranks[k]} << 32) | k;
    auto byRank = [](std::uint64_t a, std::uint64_t b) { return ThreeWay(a >> 32, b >> 32); };
    OrderSorter<decltype(byRank), std::uint64_t> sorter(byRank, packed, ascending);
    const auto last = static_cast<std::ptrdiff_t>(packed.size()) - 1;
    if (last + 1 >= kTwoThreadEntries) {
        sorter.SortOnTwoThreads(0, last);
    } else {
        sorter.Sort(0, last);
    }
    std::vector<std::size_t> order(packed.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = static_cast<std::size_t>(packed[k] & 0xFFFFFFFFu);
    return order;
}

}  // namespace

// ---- readers ----------------------------------------------------------------

// Reads the text as the standard unsigned base-16 conversion would, and only
// when it is read completely: blanks, a sign, "0x", hexadecimal digits.
bool ReadHexCell(std::string_view text, std::uint32_t& small, std::string& big) {
    std::size_t p = SkipSpaces(text, 0);
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
    if (p + 2 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X') &&
        IsHexDigit(text[p + 2])) {
        p += 2;
    }
    std::size_t start = p;
    while (p < text.size() && IsHexDigit(text[p])) ++p;
    if (p == start || p != text.size()) return false;
    while (start + 1 < p && text[start] == '0') ++start;
    std::string_view digits = text.substr(start, p - start);
    big.clear();
    small = 0;
    if (digits.size() <= 8) {
        for (char c : digits) small = small * 16 + HexDigitValue(c);
        if (negative) small = 0u - small;  // the conversion negates in 32 bits
    } else {
        big.reserve(digits.size());
        for (char c : digits) big += LowerHex(c);
    }
    return true;
}

// Reads the text as the standard decimal conversion would; complete, or with
// one "%" at the very end. The reading does not depend on the process locale.
bool ReadDecimalCell(std::string_view text, double& value) {
    std::size_t p = SkipSpaces(text, 0);
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
    if (p >= text.size() || text[p] == '+' || text[p] == '-') return false;
    const char* first = text.data() + p;
    const char* last = text.data() + text.size();
    std::from_chars_result r{};
    if (text.size() - p > 2 && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X')) {
        r = std::from_chars(first + 2, last, value, std::chars_format::hex);
        if (r.ec != std::errc() && r.ec != std::errc::result_out_of_range) return false;
    } else {
        r = std::from_chars(first, last, value, std::chars_format::general);
        if (r.ec != std::errc() && r.ec != std::errc::result_out_of_range) return false;
    }
    if (r.ptr == first) return false;
    std::size_t rest = static_cast<std::size_t>(last - r.ptr);
    if (rest > 1 || (rest == 1 && *r.ptr != '%')) return false;
    if (negative) value = -value;
    return true;
}

// Numeric dates (month/day/year, or year-month-day) with an optional time, or a
// time alone (which stands on the day the date scale starts).
bool ReadDateCell(std::string_view text, std::int64_t& seconds) {
    std::string_view t = Trim(text);
    if (t.empty()) return false;
    static const std::int64_t kScaleStart = DaysFromCivil(1899, 12, 30);
    std::size_t pos = 0;
    std::int64_t days = kScaleStart;
    int timeOfDay = 0;
    bool haveDate = ReadDatePart(t, pos, days);
    if (haveDate) {
        std::size_t q = SkipSpaces(t, pos);
        if (q < t.size()) {
            if (q == pos || !ReadTimePart(t, q, timeOfDay)) return false;
            pos = q;
        }
    } else if (!ReadTimePart(t, pos, timeOfDay)) {
        return false;
    }
    if (pos != t.size()) return false;
    seconds = (days - kScaleStart) * 86400 + timeOfDay;
    return true;
}

CellSortKey MakeCellSortKey(std::string_view text) {
    CellSortKey key;
    key.text = text;
    if (text.empty()) return key;
    key.isHex = ReadHexCell(text, key.hexSmall, key.hexBig);
    key.isDecimal = ReadDecimalCell(text, key.decimal);
    key.isDate = ReadDateCell(text, key.dateSeconds);
    return key;
}

int CompareSortKeys(const CellSortKey& a, const CellSortKey& b) {
    if (a.isHex && b.isHex) {
        bool aBig = !a.hexBig.empty();
        bool bBig = !b.hexBig.empty();
        if (!aBig && !bBig) return ThreeWay(a.hexSmall, b.hexSmall);
        if (aBig != bBig) return aBig ? 1 : -1;
        if (a.hexBig.size() != b.hexBig.size()) return ThreeWay(a.hexBig.size(), b.hexBig.size());
        return ThreeWay(a.hexBig, b.hexBig);
    }
    if (a.isDecimal && b.isDecimal) return ThreeWay(a.decimal, b.decimal);
    if (a.isDate && b.isDate) return ThreeWay(a.dateSeconds, b.dateSeconds);
    int text = a.text.compare(b.text);
    return text < 0 ? -1 : (text > 0 ? 1 : 0);
}

int CompareCellTexts(std::string_view a, std::string_view b) {
    return CompareSortKeys(MakeCellSortKey(a), MakeCellSortKey(b));
}

std::vector<std::size_t> ComputeSortOrder(const std::vector<CellSortKey>& keys, bool ascending) {
    std::vector<std::size_t> order(keys.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    if (order.size() < 2) return order;
    const auto last = static_cast<std::ptrdiff_t>(order.size()) - 1;
    // Row indexes fit the 32 bits SortByRank keeps for them: a list has an int row count.
    if (ComparedByOneRule(keys) && keys.size() <= 0xFFFFFFFFu) return SortByRank(RankKeys(keys), ascending);
    {
        auto byKey = [&keys](std::size_t a, std::size_t b) { return CompareSortKeys(keys[a], keys[b]); };
        OrderSorter<decltype(byKey)>(byKey, order, ascending).Sort(0, last);
    }
    return order;
}

// The list's own quicksort over the cell texts, every pair decided on its
// own; kept to check the ranked sort against.
std::vector<std::size_t> ComputeSortOrderPairwise(const std::vector<CellSortKey>& keys, bool ascending) {
    std::vector<std::size_t> order(keys.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    if (order.size() < 2) return order;
    auto byKey = [&keys](std::size_t a, std::size_t b) { return CompareSortKeys(keys[a], keys[b]); };
    OrderSorter<decltype(byKey)>(byKey, order, ascending).Sort(0, static_cast<std::ptrdiff_t>(order.size()) - 1);
    return order;
}

std::vector<std::size_t> ComputeSortOrder(const std::vector<std::string_view>& texts,
                                          bool ascending) {
    std::vector<CellSortKey> keys;
    keys.reserve(texts.size());
    for (std::string_view text : texts) keys.push_back(MakeCellSortKey(text));
    return ComputeSortOrder(keys, ascending);
}

namespace {

// One column's texts, copied out of the table so the order can be worked
// out on another thread while the table stays in use (painted, scrolled) on
// its own. Rows come folder by folder, so neighbours often hold the same
// text (a shared cell): each run of equal texts is copied once, and each row
// notes its run.
class ColumnCopy {
public:
    // Copies the texts themselves, given from the last row up (see
    // TextsFromLastRow), as a list filled at its top has them before its
    // rows are in; Take below copies them from a table.
    void TakeFromLast(std::size_t rows, std::size_t bytesAtMost, const TextsFromLastRow& texts) {
        m_rows = rows;
        m_reversed = true;
        m_runOf.resize(rows);
        // Two parts, the later one on a helper: the texts of each go back to
        // back in room for the most they can take (the pages they leave
        // unused are never touched, where growing would move the copy and
        // have the system clear fresh pages again and again).
        const std::size_t half = rows / 2;
        Part later;
        std::thread helper;
        if (rows >= kTwoPartRows) {
            try {
                helper = std::thread([&] { TakePart(texts, half, rows, bytesAtMost, later); });
            } catch (const std::system_error&) {
                // No second thread: this one takes both parts.
            }
        }
        Part earlier;
        earlier.texts = std::move(m_texts);
        TakePart(texts, 0, helper.joinable() ? half : rows, bytesAtMost, earlier);
        if (helper.joinable()) {
            helper.join();
            // The later part's runs follow the earlier part's.
            const std::size_t bytesBefore = earlier.texts.size();
            const auto runsBefore = static_cast<std::uint32_t>(earlier.starts.size());
            earlier.texts.append(later.texts);
            for (const std::uint64_t start : later.starts) earlier.starts.push_back(start + bytesBefore);
            for (std::size_t row = half; row < rows; ++row) m_runOf[row] += runsBefore;
        }
        m_texts = std::move(earlier.texts);
        std::vector<std::uint64_t>& starts = earlier.starts;
        starts.push_back(m_texts.size());
        m_wide = m_texts.size() > 0xFFFFFFFFu;
        if (m_wide) {
            m_wideStarts = std::move(starts);
        } else {
            m_starts.assign(starts.begin(), starts.end());
        }
        m_texts.append(kPadding, '\0');
    }

    void Take(const ReportTable& table, std::size_t column) {
        m_rows = static_cast<std::size_t>(table.GetItemCount());
        // Where the runs begin and how much they hold is found first, so the
        // room is known before anything is copied.
        std::vector<bool> startsRun(m_rows);
        std::size_t runs = 0;
        std::size_t total = 0;
        WalkRuns(table, column, [&](std::size_t row, bool newRun, std::string_view text) {
            startsRun[row] = newRun;
            if (!newRun) return;
            ++runs;
            total += text.size();
        });
        m_texts.resize(total + kPadding);
        m_wide = total > 0xFFFFFFFFu;
        if (m_wide) {
            m_wideStarts.resize(runs + 1);
        } else {
            m_starts.resize(runs + 1);
        }
        if (runs < m_rows) m_runOf.resize(m_rows);
        std::size_t run = 0;
        std::size_t at = 0;
        for (std::size_t row = 0; row < m_rows; ++row) {
            if (startsRun[row]) {
                const std::string_view text = table.GetStoredRow(static_cast<int>(row)).Cell(column);
                SetStart(run++, at);
                if (!text.empty()) std::memcpy(m_texts.data() + at, text.data(), text.size());
                at += text.size();
            }
            if (!m_runOf.empty()) m_runOf[row] = static_cast<std::uint32_t>(run - 1);
        }
        SetStart(runs, at);
        std::memset(m_texts.data() + at, 0, kPadding);
    }

    std::size_t Rows() const { return m_rows; }
    std::size_t Runs() const { return (m_wide ? m_wideStarts.size() : m_starts.size()) - 1; }
    std::size_t RunOf(std::size_t row) const {
        if (m_reversed) row = m_rows - 1 - row;
        return m_runOf.empty() ? row : m_runOf[row];
    }
    // Whether runs are numbered from the last row up.
    bool Reversed() const { return m_reversed; }
    std::size_t RunStart(std::size_t run) const { return m_wide ? m_wideStarts[run] : m_starts[run]; }
    std::string_view RunText(std::size_t run) const {
        const std::size_t start = RunStart(run);
        return {m_texts.data() + start, RunStart(run + 1) - start};
    }
    std::string_view Text(std::size_t row) const { return RunText(RunOf(row)); }
    // The copied texts; kPadding zero bytes follow the last one, so a key
    // can always load eight bytes.
    const char* Bytes() const { return m_texts.data(); }
    static constexpr std::size_t kPadding = 8;

private:
    // From this many rows on the texts are taken in two parts at once.
    static constexpr std::size_t kTwoPartRows = 50'000;

    // The texts of rows [first, last) counted from the last: their runs'
    // texts back to back, where each run starts, and each row's run among
    // them in m_runOf.
    struct Part {
        std::string texts;
        std::vector<std::uint64_t> starts;
    };

    void TakePart(const TextsFromLastRow& texts, std::size_t first, std::size_t last, std::size_t bytesAtMost,
                  Part& part) {
        part.texts.reserve(bytesAtMost + kPadding);
        part.starts.reserve(last - first + 1);
        std::size_t row = first;
        std::string_view previous;
        texts(first, last, [&](std::string_view text) {
            if (row >= last) return;
            if (row == first || text != previous) {
                part.starts.push_back(part.texts.size());
                part.texts.append(text);
            }
            m_runOf[row++] = static_cast<std::uint32_t>(part.starts.size() - 1);
            previous = text;
        });
        // A walk that gave fewer texts leaves the rest empty.
        for (; row < last; ++row) {
            if (row == first || !previous.empty()) part.starts.push_back(part.texts.size());
            m_runOf[row] = static_cast<std::uint32_t>(part.starts.size() - 1);
            previous = {};
        }
    }

    // Calls visit(row, newRun, text) for every row in order: a row starts a
    // new run unless it holds the text of the row before it.
    template <typename Visit>
    static void WalkRuns(const ReportTable& table, std::size_t column, Visit&& visit) {
        const int rows = table.GetItemCount();
        std::string_view last;
        std::uint32_t lastShared = ReportTable::kOwnText;
        for (int row = 0; row < rows; ++row) {
            const ReportTable::StoredRow stored = table.GetStoredRow(row);
            const std::uint32_t shared = stored.SharedId(column);
            const std::string_view text = stored.Cell(column);
            const bool sameCell = shared != ReportTable::kOwnText && shared == lastShared;
            visit(static_cast<std::size_t>(row), row == 0 || !(sameCell || text == last), text);
            last = text;
            lastShared = shared;
        }
    }

    void SetStart(std::size_t run, std::size_t at) {
        if (m_wide) {
            m_wideStarts[run] = at;
        } else {
            m_starts[run] = static_cast<std::uint32_t>(at);
        }
    }

    std::string m_texts;
    // Run k's text is m_texts[start(k), start(k + 1)): 32-bit starts, unless
    // the texts pass 4 GiB.
    std::vector<std::uint32_t> m_starts;
    std::vector<std::uint64_t> m_wideStarts;
    bool m_wide = false;
    // Each row's run; empty when every row is a run of its own.
    std::vector<std::uint32_t> m_runOf;
    std::size_t m_rows = 0;
    bool m_reversed = false;
};

// The texts a table sort reads: the sort column's, and the tie column's
// when there is one.
struct ColumnSnapshot {
    ColumnCopy sorted;
    ColumnCopy tie;
    bool hasTie = false;

    std::size_t Rows() const { return sorted.Rows(); }
    std::string_view Text(std::size_t row) const { return sorted.Text(row); }
    std::string_view Tie(std::size_t row) const { return tie.Text(row); }
    bool SameText(std::size_t a, std::size_t b) const {
        return sorted.RunOf(a) == sorted.RunOf(b) || sorted.Text(a) == sorted.Text(b);
    }
};

ColumnSnapshot TakeSnapshot(const ReportTable& table, int column, int tieColumn) {
    ColumnSnapshot snapshot;
    snapshot.sorted.Take(table, static_cast<std::size_t>(column));
    snapshot.hasTie = tieColumn >= 0;
    if (snapshot.hasTie) snapshot.tie.Take(table, static_cast<std::size_t>(tieColumn));
    return snapshot;
}

// True when no reading but the plain text applies to the text: then only the
// bytes decide between it and any other such text.
bool ReadsAsPlainText(std::string_view text) {
    if (text.empty()) return true;
    std::uint32_t small = 0;
    std::string big;
    double decimal = 0.0;
    std::int64_t seconds = 0;
    return !ReadHexCell(text, small, big) && !ReadDecimalCell(text, decimal) && !ReadDateCell(text, seconds);
}

// Dense byte-order ranks of a column's runs of texts, without comparing whole
// texts: the runs are ordered by the first eight bytes of their texts held in a
// number, then each group that agrees on them by the next eight, and so on,
// so the long beginnings paths share are read once per group, not once per
// comparison. Texts that agree to their ends are equal and share a rank.
class PlainTextRanker {
public:
    explicit PlainTextRanker(const ColumnCopy& column) : m_column(column) {}

    // The rank of each run.
    std::vector<std::uint32_t> Rank() {
        const std::size_t count = m_column.Runs();
        m_items.resize(count);
        // A new rank begins wherever two neighbours in the final order were
        // told apart.
        m_newRank.assign(count, 0);
        for (std::size_t r = 0; r < count; ++r) {
            // A cell's text is counted in 32 bits by the table.
            const std::size_t start = m_column.RunStart(r);
            m_items[r] = {0, start, static_cast<std::uint32_t>(m_column.RunStart(r + 1) - start),
                          static_cast<std::uint32_t>(r)};
        }
        // The groups the first bytes leave are independent of each other: a
        // long list's are shared out between this thread and a helper.
        std::vector<Range> pending;
        SortRange({0, count, 0}, pending);
        std::vector<Range> mine;
        std::vector<Range> helpers;
        std::size_t myLoad = 0;
        std::size_t helperLoad = 0;
        for (const Range& range : pending) {
            const std::size_t size = range.last - range.first;
            if (static_cast<std::ptrdiff_t>(count) < kTwoThreadEntries || myLoad <= helperLoad) {
                mine.push_back(range);
                myLoad += size;
            } else {
                helpers.push_back(range);
                helperLoad += size;
            }
        }
        RunSideBySide([&] { SortAll(helpers); }, [&] { SortAll(mine); });
        std::vector<std::uint32_t> rankOf(count);
        std::uint32_t rank = 0;
        for (std::size_t n = 0; n < count; ++n) {
            rank += m_newRank[n];
            rankOf[m_items[n].id] = rank;
        }
        return rankOf;
    }

private:
    // The eight bytes of a text from depth on, first byte highest, zeros
    // past the end; where the text lies, so a load reads only the text.
    struct Item {
        std::uint64_t chunk = 0;
        std::size_t start = 0;
        std::uint32_t length = 0;
        std::uint32_t id = 0;
    };
    // Orders by the chunk, and a text that ends within it before a longer
    // one with the same bytes (a zero byte of the text is no end).
    struct ChunkOrder {
        std::size_t depth;
        std::size_t More(const Item& item) const { return std::min<std::size_t>(item.length - depth, 8); }
        bool operator()(const Item& a, const Item& b) const {
            return a.chunk != b.chunk ? a.chunk < b.chunk : More(a) < More(b);
        }
        bool Same(const Item& a, const Item& b) const { return a.chunk == b.chunk && More(a) == More(b); }
    };
    struct Range {
        std::size_t first;
        std::size_t last;
        std::size_t depth;
    };

    void Load(Item& item, std::size_t depth) const {
        const std::size_t left = item.length - depth;
        unsigned char bytes[8];
        // The padding after the last text makes eight bytes always readable.
        std::memcpy(bytes, m_column.Bytes() + item.start + depth, sizeof bytes);
        std::uint64_t chunk = 0;
        for (unsigned char byte : bytes) chunk = (chunk << 8) | byte;
        if (left < 8) chunk &= ~(~std::uint64_t{0} >> (8 * left));
        item.chunk = chunk;
    }

    void SortAll(std::vector<Range>& pending) {
        while (!pending.empty()) {
            const Range range = pending.back();
            pending.pop_back();
            SortRange(range, pending);
        }
    }

    // Sorts by one chunk; a long run in two halves side by side, then merged.
    static void SortItems(Item* first, Item* last, const ChunkOrder& order) {
        if (last - first < kTwoThreadEntries) {
            std::sort(first, last, order);
            return;
        }
        Item* middle = first + (last - first) / 2;
        RunSideBySide([&] { std::sort(first, middle, order); }, [&] { std::sort(middle, last, order); });
        std::inplace_merge(first, middle, last, order);
    }

    void SortRange(const Range& range, std::vector<Range>& pending) {
        Item* first = m_items.data() + range.first;
        Item* last = m_items.data() + range.last;
        for (std::size_t depth = range.depth;; depth += 8) {
            for (Item* item = first; item != last; ++item) Load(*item, depth);
            const ChunkOrder order{depth};
            // A beginning every text of the group shares is passed over
            // without a sort; a group that agrees to its end is one text.
            const bool allSame =
                std::all_of(first + 1, last, [&](const Item& item) { return order.Same(item, *first); });
            if (!allSame) {
                SortItems(first, last, order);
                QueueGroups(first, last, order, pending);
                return;
            }
            if (order.More(*first) < 8) return;
        }
    }

    // Marks where the groups of equal chunks begin; every group of two or
    // more texts that go on is ordered by its next eight bytes.
    void QueueGroups(Item* first, Item* last, const ChunkOrder& order, std::vector<Range>& pending) {
        for (Item* group = first; group != last;) {
            Item* end = group + 1;
            while (end != last && order.Same(*end, *group)) ++end;
            const auto from = static_cast<std::size_t>(group - m_items.data());
            if (group != first) m_newRank[from] = 1;
            // Texts that ended together here are equal.
            if (end - group > 1 && order.More(*group) == 8) {
                pending.push_back({from, from + static_cast<std::size_t>(end - group), order.depth + 8});
            }
            group = end;
        }
    }

    const ColumnCopy& m_column;
    std::vector<Item> m_items;
    // Written by two threads at once, each in the places of its own groups.
    std::vector<std::uint8_t> m_newRank;
};

// Dense ranks of the rows' texts by the rule the pairwise sort applies
// between them; empty when no one rule decides every pair.
std::vector<std::uint32_t> RankSnapshotTexts(const ColumnSnapshot& snapshot) {
    const ColumnCopy& column = snapshot.sorted;
    const std::size_t runs = column.Runs();
    bool plain = true;
    for (std::size_t r = 0; r < runs && plain; ++r) plain = ReadsAsPlainText(column.RunText(r));
    std::vector<std::uint32_t> rankOfRun;
    if (plain) {
        rankOfRun = PlainTextRanker(column).Rank();
    } else {
        // Numbers and dates repeat a lot in a long list: each distinct text
        // is read once.
        std::vector<std::size_t> distinctRuns;
        const std::vector<std::uint32_t> distinctOf =
            GroupEqualTexts(runs, [&column](std::size_t run) { return column.RunText(run); }, distinctRuns);
        std::vector<CellSortKey> keys;
        keys.reserve(distinctRuns.size());
        for (std::size_t run : distinctRuns) keys.push_back(MakeCellSortKey(column.RunText(run)));
        // Whether one rule decides every pair depends only on which readings
        // succeed, the same over the distinct keys as over all of them.
        if (!ComparedByOneRule(keys)) return {};
        std::vector<std::size_t> everyKey(keys.size());
        for (std::size_t d = 0; d < everyKey.size(); ++d) everyKey[d] = d;
        const std::vector<std::uint32_t> rankOfDistinct = RankDistinctKeys(keys, everyKey);
        rankOfRun.resize(runs);
        for (std::size_t run = 0; run < runs; ++run) rankOfRun[run] = rankOfDistinct[distinctOf[run]];
    }
    const std::size_t rows = column.Rows();
    if (runs == rows && !column.Reversed()) return rankOfRun;
    std::vector<std::uint32_t> ranks(rows);
    for (std::size_t row = 0; row < rows; ++row) ranks[row] = rankOfRun[column.RunOf(row)];
    return ranks;
}

// Rows with equal texts in the sort column are ordered by their tie texts,
// in the sort's direction; the order of anything else stays.
void BreakTies(const ColumnSnapshot& snapshot, bool ascending, std::vector<std::size_t>& order) {
    for (std::size_t start = 0; start < order.size();) {
        std::size_t end = start + 1;
        while (end < order.size() && snapshot.SameText(order[start], order[end])) ++end;
        if (end - start > 1) {
            std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(start),
                             order.begin() + static_cast<std::ptrdiff_t>(end), [&](std::size_t a, std::size_t b) {
                                 return ascending ? snapshot.Tie(a) < snapshot.Tie(b)
                                                  : snapshot.Tie(b) < snapshot.Tie(a);
                             });
        }
        start = end;
    }
}

// The order ComputeSortOrder gives for the keys of the snapshot's rows (then
// the ties broken when it has a tie column); empty when stop was raised.
std::vector<std::size_t> ComputeSnapshotOrder(const ColumnSnapshot& snapshot, bool ascending,
                                              const std::atomic<bool>& stop) {
    const std::size_t rows = snapshot.Rows();
    std::vector<std::uint32_t> ranks = RankSnapshotTexts(snapshot);
    if (stop) return {};
    std::vector<std::size_t> order;
    if (ranks.empty()) {
        std::vector<CellSortKey> keys;
        keys.reserve(rows);
        for (std::size_t row = 0; row < rows; ++row) keys.push_back(MakeCellSortKey(snapshot.Text(row)));
        order = ComputeSortOrder(keys, ascending);
    } else {
        order = SortByRank(ranks, ascending);
    }
    if (stop) return {};
    if (snapshot.hasTie) BreakTies(snapshot, ascending, order);
    return order;
}

// Lists this short are sorted at once: the order takes a few milliseconds,
// less than starting a thread and pumping is worth.
constexpr int kBackgroundSortRows = 10'000;
// How long the sort's wait lets pass between two pumps.
constexpr std::chrono::milliseconds kSortPumpInterval{10};

bool ValidColumns(const ReportTable& table, int column, int tieColumn) {
    return column >= 0 && column < table.ColumnCount() && tieColumn >= -1 && tieColumn < table.ColumnCount();
}

// An order being worked out on a worker thread from a snapshot.
class BackgroundOrder {
public:
    BackgroundOrder() = default;
    BackgroundOrder(const BackgroundOrder&) = delete;
    BackgroundOrder& operator=(const BackgroundOrder&) = delete;
    ~BackgroundOrder() {
        *m_stop = true;
        if (m_worker.joinable()) m_worker.join();
    }

    // False when no thread could be had.
    bool Start(std::shared_ptr<const ColumnSnapshot> snapshot, bool ascending) {
        std::packaged_task<std::vector<std::size_t>()> task(
            [snapshot = std::move(snapshot), stop = m_stop, ascending] {
                return ComputeSnapshotOrder(*snapshot, ascending, *stop);
            });
        m_done = task.get_future();
        try {
            m_worker = std::thread(std::move(task));
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    // Waits for the order while pump keeps the window alive. A Cancel (the
    // busy flag, set when the wait began, cleared meanwhile) or a change of
    // the table makes the order worthless: the worker is told so and nothing
    // is returned.
    std::optional<std::vector<std::size_t>> Wait(const ReportTable& table, IMessagePump& pump, const int* busyFlag) {
        const bool watching = busyFlag && *busyFlag != 0;
        const std::uint64_t before = table.TextChangeCount();
        do {
            pump.PumpMessages();
            if ((watching && *busyFlag == 0) || table.TextChangeCount() != before) *m_stop = true;
        } while (m_done.wait_for(kSortPumpInterval) != std::future_status::ready);
        m_worker.join();
        std::vector<std::size_t> order = m_done.get();
        if (*m_stop) return std::nullopt;
        return order;
    }

private:
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    std::future<std::vector<std::size_t>> m_done;
    std::thread m_worker;
};

void MoveRowsInto(ReportTable& table, int column, bool ascending, const std::vector<std::size_t>& order) {
    table.SetSortState(column, ascending);
    table.ApplyPermutation(order);
    table.SetSortState(column, ascending);
}

bool SortTable(ReportTable& table, int column, int tieColumn, bool ascending, IMessagePump* pump,
               const int* busyFlag) {
    if (!ValidColumns(table, column, tieColumn)) return false;
    const int rows = table.GetItemCount();
    if (rows < 2) {
        table.SetSortState(column, ascending);
        return true;
    }
    auto snapshot = std::make_shared<const ColumnSnapshot>(TakeSnapshot(table, column, tieColumn));
    std::vector<std::size_t> order;
    const std::atomic<bool> never{false};
    BackgroundOrder background;
    if (!pump || rows < kBackgroundSortRows || !background.Start(snapshot, ascending)) {
        // A short list, or no second thread to be had: the order is worked out here.
        order = ComputeSnapshotOrder(*snapshot, ascending, never);
    } else {
        std::optional<std::vector<std::size_t>> found = background.Wait(table, *pump, busyFlag);
        if (!found) return false;
        order = std::move(*found);
    }
    MoveRowsInto(table, column, ascending, order);
    return true;
}

}  // namespace

bool SortTableByColumn(ReportTable& table, int column, bool ascending) {
    return SortTable(table, column, -1, ascending, nullptr, nullptr);
}

bool SortTableByColumnThenBy(ReportTable& table, int column, int tieColumn, bool ascending) {
    if (tieColumn < 0) return false;
    return SortTable(table, column, tieColumn, ascending, nullptr, nullptr);
}

bool SortTableWhilePumping(ReportTable& table, const TableSortRequest& request, IMessagePump& pump,
                           const int* busyFlag) {
    return SortTable(table, request.column, request.tieColumn, request.ascending, &pump, busyFlag);
}

struct AdvanceSortOrder::Work {
    std::shared_ptr<ColumnSnapshot> snapshot = std::make_shared<ColumnSnapshot>();
    BackgroundOrder order;
};

AdvanceSortOrder::AdvanceSortOrder(const TableSortRequest& request) : m_request(request) {}
AdvanceSortOrder::~AdvanceSortOrder() = default;

void AdvanceSortOrder::Start(std::size_t rows, std::size_t bytesAtMost, const TextsFromLastRow& texts) {
    m_work.reset();
    if (m_request.tieColumn >= 0 || rows < static_cast<std::size_t>(kBackgroundSortRows)) return;
    auto work = std::make_unique<Work>();
    work->snapshot->sorted.TakeFromLast(rows, bytesAtMost, texts);
    if (work->order.Start(work->snapshot, m_request.ascending)) m_work = std::move(work);
}

bool AdvanceSortOrder::HoldsOrderFor(const ReportTable& table) const {
    const int column = m_request.column;
    const auto rows = static_cast<std::size_t>(table.GetItemCount());
    // A few rows are looked at to be sure it is the same list.
    bool same = m_work && ValidColumns(table, column, -1) && rows == m_work->snapshot->Rows();
    for (const std::size_t row : {std::size_t{0}, rows / 2, rows - 1}) {
        same = same && table.GetItemText(static_cast<int>(row), column) == m_work->snapshot->Text(row);
    }
    return same;
}

bool AdvanceSortOrder::SortWhilePumping(ReportTable& table, IMessagePump& pump, const int* busyFlag) {
    if (!HoldsOrderFor(table)) {
        m_work.reset();
        return SortTableWhilePumping(table, m_request, pump, busyFlag);
    }
    const std::unique_ptr<Work> work = std::move(m_work);
    std::optional<std::vector<std::size_t>> order = work->order.Wait(table, pump, busyFlag);
    if (!order) return false;
    MoveRowsInto(table, m_request.column, m_request.ascending, *order);
    return true;
}

}  // namespace qvr
