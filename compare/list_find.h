#pragma once
// Find in the report lists: a case-insensitive substring search over every
// column but the invisible Record column, forward only, without wrap-around.
// The window keeps one search text for both lists and a position per list;
// this class holds the text and does the searching, the window shows the
// dialog and the hit.

#include <optional>
#include <string>
#include <string_view>

#include "app/profile_store.h"
#include "compare/report_table.h"

namespace qvr {

// Which list a Find or find-next acts on; also the window's "active list".
enum class SearchList : int { None = 0, Top = 1, Bottom = 2 };

// The first row from firstRow up to filledRows - 1 with a cell (columns 1 and
// up, left to right) whose upper-cased text contains text; -1 when none.
// text is compared as it is given: callers pass it upper-cased.
int FindRowContaining(const ReportTable& table, int firstRow, int filledRows, std::string_view text);

// The row to bring fully into view for a hit: three rows below it when that
// row is filled, else the hit itself, so the user sees what follows.
int ScrollTargetFor(int hit, int filledRows);

// What a search found: the hit row and the row to scroll to, or hit -1.
struct FindOutcome {
    int hit = -1;
    int scrollTo = -1;
    bool Found() const { return hit >= 0; }
};

class ListSearch {
public:
    explicit ListSearch(IProfileStore& store) : m_store(store) {}

    // The text the Find dialog opens with. While the shared text is empty it
    // is loaded from the list's own setting first.
    const std::string& TextForDialog(SearchList list);

    // After the Find dialog ended with OK and the typed text: remembers it
    // (as typed, in the list's setting), searches all filled rows with it in
    // capitals and moves position to the hit or past the last row. Nothing
    // when the typed text is empty: the shared text is then empty too.
    std::optional<FindOutcome> Find(SearchList list, const std::string& typed, const ReportTable& table,
                                    int filledRows, int& position);

    // Searches onward from the row after position with the text as it is
    // held (a text loaded from the settings and never confirmed keeps its
    // case). position becomes the hit, or filledRows after a miss; at or
    // past the end nothing happens.
    FindOutcome FindNext(const ReportTable& table, int filledRows, int& position) const;

    const std::string& Text() const { return m_text; }

    // The settings key that remembers the last text of a list.
    static const char* SettingKey(SearchList list);

private:
    IProfileStore& m_store;
    std::string m_text;
};

}  // namespace qvr
