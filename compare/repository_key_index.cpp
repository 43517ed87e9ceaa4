#include "compare/repository_key_index.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "app/platform.h"
#include "compare/suffix_array.h"

namespace qvr {
namespace {

// Keys are compared as the texts of the list cells: a text ends at its
// first 0 byte, which also lets 0 separate the keys in the index.
std::string_view UpToNul(std::string_view text) {
    const std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

constexpr std::size_t kBlock = 64;

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

int FindFirstMatchingRowLinear(const ReportTable& top, std::string_view localKey) {
    const std::string_view key = UpToNul(localKey);
    for (int row = 0; row < top.GetItemCount(); ++row) {
        const std::string repositoryKey = RepositoryKeyOf(top, row);
        if (UpToNul(repositoryKey).find(key) != std::string_view::npos) return row;
    }
    return -1;
}

void RepositoryKeyIndex::Build(const ReportTable& top) {
    m_table = &top;
    m_textChangeCount = top.TextChangeCount();
    m_text.clear();
    m_rowStart.clear();
    m_rowStart.reserve(static_cast<std::size_t>(top.GetItemCount()) + 1);
    for (int row = 0; row < top.GetItemCount(); ++row) {
        m_rowStart.push_back(static_cast<std::int32_t>(m_text.size()));
        m_text += UpToNul(RepositoryKeyOf(top, row));
        m_text += '\0';
    }
    m_rowStart.push_back(static_cast<std::int32_t>(m_text.size()));
    m_suffixes = BuildSuffixArray(m_text);
    BuildRangeMinimum();
}

bool RepositoryKeyIndex::IsCurrentFor(const ReportTable& top) const {
    return m_table == &top && m_textChangeCount == top.TextChangeCount() &&
           RowCount() == top.GetItemCount();
}

int RepositoryKeyIndex::FindFirst(std::string_view localKey) const {
    const std::string_view key = UpToNul(localKey);
    if (RowCount() <= 0) return -1;
    if (key.empty()) return 0;
    // Suffixes starting with the key form one run of the sorted array. The
    // run is usually a handful of entries, so its end is found by galloping
    // from its start rather than by a second search over the whole array.
    const auto begin = m_suffixes.begin();
    const auto end = m_suffixes.end();
    const auto low = std::partition_point(begin, end, [&](std::int32_t s) { return Compare(s, key) < 0; });
    if (low == end || Compare(*low, key) != 0) return -1;
    std::ptrdiff_t step = 1;
    auto probeFrom = low;
    while (step < end - probeFrom && Compare(probeFrom[step], key) == 0) {
        probeFrom += step;
        step *= 2;
    }
    const auto high = std::partition_point(probeFrom, probeFrom + std::min(step, end - probeFrom),
                                           [&](std::int32_t s) { return Compare(s, key) == 0; });
    return RowAt(MinimumPosition(static_cast<std::size_t>(low - begin), static_cast<std::size_t>(high - begin)));
}

int RepositoryKeyIndex::RowAt(std::int32_t textPosition) const {
    auto next = std::upper_bound(m_rowStart.begin(), m_rowStart.end(), textPosition);
    return static_cast<int>(next - m_rowStart.begin()) - 1;
}

// Negative when the suffix sorts before the key, 0 when it starts with the
// key, positive when after.
int RepositoryKeyIndex::Compare(std::int32_t suffix, std::string_view key) const {
    const std::size_t available = m_text.size() - static_cast<std::size_t>(suffix);
    const std::size_t length = std::min(available, key.size());
    const int order = std::memcmp(m_text.data() + suffix, key.data(), length);
    if (order != 0) return order;
    return length == key.size() ? 0 : -1;
}

void RepositoryKeyIndex::BuildRangeMinimum() {
    m_blockMinimum.clear();
    const std::size_t blocks = (m_suffixes.size() + kBlock - 1) / kBlock;
    if (blocks == 0) return;
    std::vector<std::int32_t> level(blocks);
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto first = m_suffixes.begin() + static_cast<std::ptrdiff_t>(b * kBlock);
        const auto last = m_suffixes.begin() +
                          static_cast<std::ptrdiff_t>(std::min(m_suffixes.size(), (b + 1) * kBlock));
        level[b] = *std::min_element(first, last);
    }
    m_blockMinimum.push_back(std::move(level));
    for (std::size_t span = 2; span <= blocks; span *= 2) {
        const std::vector<std::int32_t>& below = m_blockMinimum.back();
        std::vector<std::int32_t> next(blocks - span + 1);
        for (std::size_t b = 0; b < next.size(); ++b) {
            next[b] = std::min(below[b], below[b + span / 2]);
        }
        m_blockMinimum.push_back(std::move(next));
    }
}

std::int32_t RepositoryKeyIndex::MinimumPosition(std::size_t low, std::size_t high) const {
    const auto scan = [&](std::size_t from, std::size_t to) {
        return *std::min_element(m_suffixes.begin() + static_cast<std::ptrdiff_t>(from),
                                 m_suffixes.begin() + static_cast<std::ptrdiff_t>(to));
    };
    const std::size_t firstBlock = low / kBlock;
    const std::size_t lastBlock = (high - 1) / kBlock;
    if (firstBlock == lastBlock) return scan(low, high);
    std::int32_t best = std::min(scan(low, (firstBlock + 1) * kBlock), scan(lastBlock * kBlock, high));
    if (firstBlock + 1 < lastBlock) {
        const std::size_t from = firstBlock + 1;
        const std::size_t count = lastBlock - from;
        const std::size_t level = static_cast<std::size_t>(std::bit_width(count)) - 1;
        const std::vector<std::int32_t>& table = m_blockMinimum[level];
        best = std::min({best, table[from], table[lastBlock - (std::size_t{1} << level)]});
    }
    return best;
}

}  // namespace qvr
