#pragma once
// What the window's tests set up alike: the settings the window starts from,
// rows put straight into its lists, and the process-wide busy flags cleared
// around every test.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/busy_flags.h"
#include "app/settings.h"
#include "ui/report_ctrl.h"

namespace qvr::testing {

// Rows for a list, each as (folder, file name).
using ListRows = std::vector<std::pair<std::string, std::string>>;

// A stored profile with New and Different files shown and the local folder
// localRoot.
inline AppSettings WindowSettings(const std::string& localRoot) {
    AppSettings settings;
    settings.context = {"broker1", "user1", "secret", "proj", "st", "*", "/stored/temp", localRoot};
    settings.display = {1, 0, 1, 0};
    return settings;
}

// Replaces a list's rows, numbered from 1, with the given ones; a status
// goes into the bottom list's Status column.
inline void FillRows(CReportCtrl& list, const ListRows& rows, const char* status = nullptr) {
    list.RemoveAllRows();
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const int row = static_cast<int>(k);
        list.InsertItem(row, std::to_string(k + 1));
        list.SetItemText(row, 1, rows[k].second);
        list.SetItemText(row, 2, rows[k].first);
        if (status) list.SetItemText(row, 5, status);
    }
    list.Flush();
}

// Repository rows in order: path, file.
inline void FillTopRows(CReportCtrl& top, const ListRows& rows) { FillRows(top, rows); }

// Local rows in order: directory, file, each found different.
inline void FillBottomRows(CReportCtrl& bottom, const ListRows& rows) { FillRows(bottom, rows, "Diff"); }

// No run is in progress, whatever a test left behind.
inline void ClearBusyFlags() {
    g_populateInProgress = 0;
    g_reportInProgress = 0;
}

// A fresh fixture for every test, with no run in progress before the test
// starts or after it ends.
template <class Fixture>
void StartWithNew(std::unique_ptr<Fixture>& fixture) {
    ClearBusyFlags();
    fixture = std::make_unique<Fixture>();
}
template <class Fixture>
void EndWithout(std::unique_ptr<Fixture>& fixture) {
    fixture.reset();
    ClearBusyFlags();
}

}  // namespace qvr::testing
