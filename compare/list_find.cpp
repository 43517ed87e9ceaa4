#include "compare/list_find.h"

#include <algorithm>

#include "app/platform.h"
#include "app/settings.h"

namespace qvr {
namespace {

constexpr int kSearchedColumnsFrom = 1;  // column 0 holds the record number
constexpr int kRowsShownBelowHit = 3;

bool RowContains(const ReportTable& table, int row, std::string_view text) {
    for (int column = kSearchedColumnsFrom; column < table.ColumnCount(); ++column) {
        if (platform::UpperAscii(table.GetItemText(row, column)).find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Searches and moves position the way Find and find-next share.
FindOutcome SearchFrom(const ReportTable& table, int firstRow, int filledRows, std::string_view text,
                       int& position) {
    const int hit = FindRowContaining(table, firstRow, filledRows, text);
    position = hit >= 0 ? hit : filledRows;
    if (hit < 0) return {};
    return {hit, ScrollTargetFor(hit, filledRows)};
}

}  // namespace

int FindRowContaining(const ReportTable& table, int firstRow, int filledRows, std::string_view text) {
    const int lastRow = std::min(filledRows, table.GetItemCount());
    for (int row = std::max(firstRow, 0); row < lastRow; ++row) {
        if (RowContains(table, row, text)) return row;
    }
    return -1;
}

int ScrollTargetFor(int hit, int filledRows) {
    return hit + kRowsShownBelowHit < filledRows ? hit + kRowsShownBelowHit : hit;
}

const char* ListSearch::SettingKey(SearchList list) {
    return list == SearchList::Top ? "SearchTopText" : "SearchBtmText";
}

const std::string& ListSearch::TextForDialog(SearchList list) {
    if (m_text.empty()) m_text = m_store.GetProfileString(kSettingsSection, SettingKey(list), "");
    return m_text;
}

std::optional<FindOutcome> ListSearch::Find(SearchList list, const std::string& typed, const ReportTable& table,
                                            int filledRows, int& position) {
    m_text = typed;
    if (m_text.empty()) return std::nullopt;
    m_store.WriteProfileString(kSettingsSection, SettingKey(list), m_text);
    // Match case is never offered, so the shared text is kept in capitals
    // from here on; the next Find dialog shows it that way.
    m_text = platform::UpperAscii(m_text);
    return SearchFrom(table, 0, filledRows, m_text, position);
}

FindOutcome ListSearch::FindNext(const ReportTable& table, int filledRows, int& position) const {
    if (position + 1 > filledRows) return {};
    return SearchFrom(table, position + 1, filledRows, m_text, position);
}

}  // namespace qvr
