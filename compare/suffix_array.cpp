#include "compare/suffix_array.h"

#include <algorithm>
#include <limits>

namespace qvr {
namespace {

using Index = std::int32_t;

// Level 0: the bytes of the text moved up by one, with a unique 0 appended
// as the sentinel that every induced sort needs. Kept as a plain array so
// the inner loops read it without a test.
struct ByteText {
    explicit ByteText(std::string_view text) : symbols(text.size() + 1, 0) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            symbols[i] = static_cast<std::uint16_t>(static_cast<unsigned char>(text[i]) + 1);
        }
    }
    Index size() const { return static_cast<Index>(symbols.size()); }
    Index operator[](Index i) const { return symbols[static_cast<std::size_t>(i)]; }
    std::vector<std::uint16_t> symbols;
};

// Deeper levels: names of the reduced problem, kept inside the caller's array.
struct NameText {
    const Index* names;
    Index length;
    Index size() const { return length; }
    Index operator[](Index i) const { return names[i]; }
};

// S/L types: S when the suffix is smaller than the next one. A byte each
// rather than a bit: the lookups sit in the inner loops.
class TypeBits {
public:
    explicit TypeBits(Index n) : m_bits(static_cast<std::size_t>(n), 0) {}
    bool IsS(Index i) const { return m_bits[static_cast<std::size_t>(i)] != 0; }
    void Set(Index i, bool s) { m_bits[static_cast<std::size_t>(i)] = s ? 1 : 0; }
    bool IsLms(Index i) const { return i > 0 && IsS(i) && !IsS(i - 1); }

private:
    std::vector<std::uint8_t> m_bits;
};

template <typename Text>
void BucketBounds(const Text& s, Index n, Index alphabet, std::vector<Index>& bucket, bool ends) {
    std::fill(bucket.begin(), bucket.end(), 0);
    for (Index i = 0; i < n; ++i) ++bucket[static_cast<std::size_t>(s[i])];
    Index sum = 0;
    for (Index c = 0; c < alphabet; ++c) {
        sum += bucket[static_cast<std::size_t>(c)];
        bucket[static_cast<std::size_t>(c)] = ends ? sum : sum - bucket[static_cast<std::size_t>(c)];
    }
}

template <typename Text>
void InduceL(const Text& s, const TypeBits& t, Index* sa, Index n, Index alphabet,
             std::vector<Index>& bucket) {
    BucketBounds(s, n, alphabet, bucket, false);
    for (Index i = 0; i < n; ++i) {
        const Index j = sa[i] - 1;
        if (sa[i] > 0 && !t.IsS(j)) sa[bucket[static_cast<std::size_t>(s[j])]++] = j;
    }
}

template <typename Text>
void InduceS(const Text& s, const TypeBits& t, Index* sa, Index n, Index alphabet,
             std::vector<Index>& bucket) {
    BucketBounds(s, n, alphabet, bucket, true);
    for (Index i = n - 1; i >= 0; --i) {
        const Index j = sa[i] - 1;
        if (sa[i] > 0 && t.IsS(j)) sa[--bucket[static_cast<std::size_t>(s[j])]] = j;
    }
}

// Whether the LMS substrings starting at a and b differ.
template <typename Text>
bool LmsSubstringsDiffer(const Text& s, const TypeBits& t, Index a, Index b, Index n) {
    for (Index d = 0; d < n; ++d) {
        if (s[a + d] != s[b + d] || t.IsS(a + d) != t.IsS(b + d)) return true;
        if (d > 0 && (t.IsLms(a + d) || t.IsLms(b + d))) return false;
    }
    return false;
}

// Sorts the suffixes of s[0..n) (s[n-1] the unique smallest symbol 0, all
// symbols below alphabet) into sa[0..n).
template <typename Text>
void Sais(const Text& s, Index* sa, Index n, Index alphabet) {
    TypeBits t(n);
    t.Set(n - 1, true);
    if (n >= 2) t.Set(n - 2, false);
    for (Index i = n - 3; i >= 0; --i) {
        t.Set(i, s[i] < s[i + 1] || (s[i] == s[i + 1] && t.IsS(i + 1)));
    }
    std::vector<Index> bucket(static_cast<std::size_t>(alphabet));

    // Stage 1: sort the LMS substrings by induction.
    BucketBounds(s, n, alphabet, bucket, true);
    std::fill(sa, sa + n, -1);
    for (Index i = 1; i < n; ++i) {
        if (t.IsLms(i)) sa[--bucket[static_cast<std::size_t>(s[i])]] = i;
    }
    InduceL(s, t, sa, n, alphabet, bucket);
    InduceS(s, t, sa, n, alphabet, bucket);

    // Name the sorted LMS substrings; equal substrings share a name.
    Index n1 = 0;
    for (Index i = 0; i < n; ++i) {
        if (t.IsLms(sa[i])) sa[n1++] = sa[i];
    }
    std::fill(sa + n1, sa + n, -1);
    Index name = 0;
    Index previous = -1;
    for (Index i = 0; i < n1; ++i) {
        const Index pos = sa[i];
        if (previous < 0 || LmsSubstringsDiffer(s, t, pos, previous, n)) {
            ++name;
            previous = pos;
        }
        sa[n1 + pos / 2] = name - 1;
    }
    for (Index i = n - 1, j = n - 1; i >= n1; --i) {
        if (sa[i] >= 0) sa[j--] = sa[i];
    }

    // Stage 2: sort the reduced string, recursing while names repeat.
    Index* sa1 = sa;
    Index* s1 = sa + n - n1;
    if (name < n1) {
        Sais(NameText{s1, n1}, sa1, n1, name);
    } else {
        for (Index i = 0; i < n1; ++i) sa1[s1[i]] = i;
    }

    // Stage 3: place the LMS suffixes in their order and induce the rest.
    BucketBounds(s, n, alphabet, bucket, true);
    for (Index i = 1, j = 0; i < n; ++i) {
        if (t.IsLms(i)) s1[j++] = i;
    }
    for (Index i = 0; i < n1; ++i) sa1[i] = s1[sa1[i]];
    std::fill(sa + n1, sa + n, -1);
    for (Index i = n1 - 1; i >= 0; --i) {
        const Index j = sa[i];
        sa[i] = -1;
        sa[--bucket[static_cast<std::size_t>(s[j])]] = j;
    }
    InduceL(s, t, sa, n, alphabet, bucket);
    InduceS(s, t, sa, n, alphabet, bucket);
}

}  // namespace

std::vector<std::int32_t> BuildSuffixArray(std::string_view text) {
    if (text.size() >= static_cast<std::size_t>(std::numeric_limits<Index>::max() - 1)) return {};
    const ByteText s(text);
    const Index n = s.size();
    std::vector<Index> sa(static_cast<std::size_t>(n));
    if (n == 1) {
        sa[0] = 0;
    } else {
        Sais(s, sa.data(), n, 257);
    }
    // Drop the sentinel's own suffix, which always sorts first.
    sa.erase(sa.begin());
    return sa;
}

}  // namespace qvr
