#include "tools/viewers/line_diff.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <unordered_map>

namespace qvr::viewers {

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        std::size_t textEnd = end;
        if (textEnd > start && text[textEnd - 1] == '\r') --textEnd;
        lines.emplace_back(text.substr(start, textEnd - start));
        start = end + 1;
    }
    return lines;
}

namespace {

// Lines become small integers so the search compares numbers, not strings.
struct InternedLines {
    std::vector<int> left;
    std::vector<int> right;
    int distinct = 0;
};

InternedLines Intern(const std::vector<std::string>& left, const std::vector<std::string>& right) {
    InternedLines out;
    std::unordered_map<std::string_view, int> ids;
    ids.reserve(left.size() + right.size());
    auto idOf = [&](const std::string& line) {
        auto [it, inserted] = ids.try_emplace(line, static_cast<int>(ids.size()));
        return it->second;
    };
    out.left.reserve(left.size());
    for (const auto& line : left) out.left.push_back(idOf(line));
    out.right.reserve(right.size());
    for (const auto& line : right) out.right.push_back(idOf(line));
    out.distinct = static_cast<int>(ids.size());
    return out;
}

// A line that never occurs in the other file cannot be part of any common
// subsequence, so it is marked as differing at once and left out of the
// search. Two completely different files thus need no search at all.
struct Reduced {
    std::vector<int> values;
    std::vector<long> original;  // index in the full file of each kept line
};

Reduced KeepShared(const std::vector<int>& lines, const std::vector<char>& presentInOther,
                   std::vector<char>& changed) {
    Reduced kept;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (presentInOther[static_cast<std::size_t>(lines[i])]) {
            kept.values.push_back(lines[i]);
            kept.original.push_back(static_cast<long>(i));
        } else {
            changed[i] = 1;
        }
    }
    return kept;
}

std::vector<char> Presence(const std::vector<int>& lines, int distinct) {
    std::vector<char> present(static_cast<std::size_t>(distinct), 0);
    for (int id : lines) present[static_cast<std::size_t>(id)] = 1;
    return present;
}

// Myers' O(ND) search for the middle snake in linear space, divide and
// conquer. When a sub-problem needs more than m_tooExpensive edit steps the
// search stops and splits at the furthest point reached, trading an optimal
// result for bounded time on very dissimilar inputs.
class MyersAligner {
public:
    MyersAligner(const std::vector<int>& x, const std::vector<int>& y)
        : m_x(x), m_y(y),
          m_offset(static_cast<long>(y.size()) + 1),
          m_fd(x.size() + y.size() + 3), m_bd(x.size() + y.size() + 3),
          m_changedX(x.size(), 0), m_changedY(y.size(), 0) {
        // Roughly the square root of the sizes, at least 256: enough for
        // every ordinary pair of files to get an exact result.
        long diags = static_cast<long>(x.size() + y.size()) + 3;
        m_tooExpensive = 1;
        for (; diags != 0; diags >>= 2) m_tooExpensive <<= 1;
        m_tooExpensive = std::max(256L, m_tooExpensive);
    }

    void Run() {
        struct Range {
            long xoff, xlim, yoff, ylim;
            bool minimal;
        };
        std::vector<Range> pending{{0, static_cast<long>(m_x.size()), 0,
                                    static_cast<long>(m_y.size()), false}};
        while (!pending.empty()) {
            Range r = pending.back();
            pending.pop_back();
            TrimCommonEnds(r.xoff, r.xlim, r.yoff, r.ylim);
            if (r.xoff == r.xlim) {
                for (long j = r.yoff; j < r.ylim; ++j) m_changedY[static_cast<std::size_t>(j)] = 1;
            } else if (r.yoff == r.ylim) {
                for (long i = r.xoff; i < r.xlim; ++i) m_changedX[static_cast<std::size_t>(i)] = 1;
            } else {
                Partition part = Diag(r.xoff, r.xlim, r.yoff, r.ylim, r.minimal);
                pending.push_back({part.xmid, r.xlim, part.ymid, r.ylim, part.hiMinimal});
                pending.push_back({r.xoff, part.xmid, r.yoff, part.ymid, part.loMinimal});
            }
        }
    }

    const std::vector<char>& ChangedX() const { return m_changedX; }
    const std::vector<char>& ChangedY() const { return m_changedY; }

private:
    struct Partition {
        long xmid = 0, ymid = 0;
        bool loMinimal = false, hiMinimal = false;
    };

    int X(long i) const { return m_x[static_cast<std::size_t>(i)]; }
    int Y(long j) const { return m_y[static_cast<std::size_t>(j)]; }
    long& Fd(long diag) { return m_fd[static_cast<std::size_t>(diag + m_offset)]; }
    long& Bd(long diag) { return m_bd[static_cast<std::size_t>(diag + m_offset)]; }

    void TrimCommonEnds(long& xoff, long& xlim, long& yoff, long& ylim) const {
        while (xoff < xlim && yoff < ylim && X(xoff) == Y(yoff)) ++xoff, ++yoff;
        while (xlim > xoff && ylim > yoff && X(xlim - 1) == Y(ylim - 1)) --xlim, --ylim;
    }

    Partition Diag(long xoff, long xlim, long yoff, long ylim, bool findMinimal) {
        const long dmin = xoff - ylim, dmax = xlim - yoff;
        const long fmid = xoff - yoff, bmid = xlim - ylim;
        long fmin = fmid, fmax = fmid, bmin = bmid, bmax = bmid;
        const bool odd = ((fmid - bmid) & 1) != 0;
        Fd(fmid) = xoff;
        Bd(bmid) = xlim;
        for (long c = 1;; ++c) {
            if (fmin > dmin) Fd(--fmin - 1) = -1; else ++fmin;
            if (fmax < dmax) Fd(++fmax + 1) = -1; else --fmax;
            for (long d = fmax; d >= fmin; d -= 2) {
                long tlo = Fd(d - 1), thi = Fd(d + 1);
                long x = tlo >= thi ? tlo + 1 : thi;
                long y = x - d;
                while (x < xlim && y < ylim && X(x) == Y(y)) ++x, ++y;
                Fd(d) = x;
                if (odd && bmin <= d && d <= bmax && Bd(d) <= x) return {x, y, true, true};
            }
            if (bmin > dmin) Bd(--bmin - 1) = LONG_MAX; else ++bmin;
            if (bmax < dmax) Bd(++bmax + 1) = LONG_MAX; else --bmax;
            for (long d = bmax; d >= bmin; d -= 2) {
                long tlo = Bd(d - 1), thi = Bd(d + 1);
                long x = tlo < thi ? tlo : thi - 1;
                long y = x - d;
                while (x > xoff && y > yoff && X(x - 1) == Y(y - 1)) --x, --y;
                Bd(d) = x;
                if (!odd && fmin <= d && d <= fmax && x <= Fd(d)) return {x, y, true, true};
            }
            if (!findMinimal && c >= m_tooExpensive) {
                return BestPartialSplit(xoff, xlim, yoff, ylim, fmin, fmax, bmin, bmax);
            }
        }
    }

    // The search has gone on too long: split where the forward or backward
    // front got furthest, so each half is strictly smaller and the half that
    // the front has covered is known to be cheap to solve exactly.
    Partition BestPartialSplit(long xoff, long xlim, long yoff, long ylim, long fmin, long fmax,
                               long bmin, long bmax) {
        long fxybest = -1, fxbest = 0;
        for (long d = fmax; d >= fmin; d -= 2) {
            long x = std::min(Fd(d), xlim), y = x - d;
            if (ylim < y) x = ylim + d, y = ylim;
            if (fxybest < x + y) fxybest = x + y, fxbest = x;
        }
        long bxybest = LONG_MAX, bxbest = 0;
        for (long d = bmax; d >= bmin; d -= 2) {
            long x = std::max(xoff, Bd(d)), y = x - d;
            if (y < yoff) x = yoff + d, y = yoff;
            if (x + y < bxybest) bxybest = x + y, bxbest = x;
        }
        if ((xlim + ylim) - bxybest < fxybest - (xoff + yoff)) {
            return {fxbest, fxybest - fxbest, true, false};
        }
        return {bxbest, bxybest - bxbest, false, true};
    }

    const std::vector<int>& m_x;
    const std::vector<int>& m_y;
    long m_offset;
    std::vector<long> m_fd, m_bd;
    std::vector<char> m_changedX, m_changedY;
    long m_tooExpensive = 256;
};

void MarkSearchResult(const std::vector<char>& changedReduced, const std::vector<long>& original,
                      std::vector<char>& changed) {
    for (std::size_t k = 0; k < changedReduced.size(); ++k) {
        if (changedReduced[k]) changed[static_cast<std::size_t>(original[k])] = 1;
    }
}

// Walks both files in step: unchanged lines pair up as Equal rows; between
// them, the changed lines of each side pair up as Changed rows, and the
// longer side's surplus gets rows of its own.
std::vector<DiffRow> BuildRows(const std::vector<char>& changedLeft,
                               const std::vector<char>& changedRight) {
    std::vector<DiffRow> rows;
    const long n = static_cast<long>(changedLeft.size());
    const long m = static_cast<long>(changedRight.size());
    rows.reserve(static_cast<std::size_t>(std::max(n, m)));
    long i = 0, j = 0;
    while (i < n || j < m) {
        long i0 = i, j0 = j;
        while (i < n && changedLeft[static_cast<std::size_t>(i)]) ++i;
        while (j < m && changedRight[static_cast<std::size_t>(j)]) ++j;
        long paired = std::min(i - i0, j - j0);
        for (long k = 0; k < paired; ++k) rows.push_back({RowKind::Changed, i0 + k, j0 + k});
        for (long k = i0 + paired; k < i; ++k) rows.push_back({RowKind::OnlyLeft, k, -1});
        for (long k = j0 + paired; k < j; ++k) rows.push_back({RowKind::OnlyRight, -1, k});
        if (i < n && j < m) {
            rows.push_back({RowKind::Equal, i, j});
            ++i, ++j;
        }
    }
    return rows;
}

}  // namespace

std::vector<DiffRow> DiffLines(const std::vector<std::string>& left,
                               const std::vector<std::string>& right) {
    InternedLines lines = Intern(left, right);
    std::vector<char> changedLeft(left.size(), 0), changedRight(right.size(), 0);
    Reduced x = KeepShared(lines.left, Presence(lines.right, lines.distinct), changedLeft);
    Reduced y = KeepShared(lines.right, Presence(lines.left, lines.distinct), changedRight);

    MyersAligner aligner(x.values, y.values);
    aligner.Run();
    MarkSearchResult(aligner.ChangedX(), x.original, changedLeft);
    MarkSearchResult(aligner.ChangedY(), y.original, changedRight);
    return BuildRows(changedLeft, changedRight);
}

std::vector<DiffHunk> FindHunks(const std::vector<DiffRow>& rows) {
    std::vector<DiffHunk> hunks;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].kind == RowKind::Equal) continue;
        if (!hunks.empty() && hunks.back().firstRow + hunks.back().rowCount == r) {
            ++hunks.back().rowCount;
        } else {
            hunks.push_back({r, 1});
        }
    }
    return hunks;
}

}  // namespace qvr::viewers
