#pragma once
// Export of a report list to a comma-separated file: a header line of the
// visible column headings, then one line per row in the order the list shows
// them. Every column after the first is followed by a comma (the last one
// too), a column no wider than one pixel contributes an empty field, and every
// line ends in CR LF. A cell holding a comma or a double quote is written in
// double quotes with its quotes doubled, so a reader sees the same columns;
// line breaks inside a cell are removed.
//
// The window exports through CExportTop / CExportBtm (file dialog, remembered
// folder); the headless front end writes the same format to a file or stdout.

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/message_box_host.h"
#include "app/profile_store.h"
#include "compare/report_table.h"

namespace qvr {

inline constexpr const char* kCsvFilter = "CSV Files (*.csv)";
inline constexpr const char* kCsvLineEnd = "\r\n";

// A cell as it goes into the file: line breaks removed, quoted when needed.
std::string CsvField(std::string_view text);

// The widths the columns are declared with, as a list that has not been
// resized by the user shows them.
std::vector<int> DeclaredColumnWidths(const ReportTable& table);

// Writes the header and every row. widths holds each column's current width
// (a missing entry counts as 0, so the column is left out).
void WriteCsv(std::ostream& out, const ReportTable& table, const std::vector<int>& widths);

// Writes the export to path, replacing a file that is there. False with the
// operating-system error number in error when the file cannot be created or
// written; a partly written file stays.
bool WriteCsvFile(const std::string& path, const ReportTable& table, const std::vector<int>& widths,
                  int& error);

// The message shown when an export file cannot be written.
std::string CsvWriteErrorMessage(const std::string& path, int error);

// One export of one list, made by the list's button and discarded afterwards.
class CExportList {
public:
    // waitCursor(true) / (false) shows and restores the wait cursor; it may
    // be empty.
    CExportList(const ReportTable& table, std::vector<int> widths, IProfileStore& store,
                IMessageBoxHost& host, const char* folderKey, std::function<void(bool)> waitCursor = {});
    virtual ~CExportList() = default;

    // 0 when the list holds nothing to export (no rows, or a blank first
    // row); 1 when the file dialog was shown, whatever the user chose there.
    int WriteCsv();

    // The folder the file dialog opens in when none is remembered: "data"
    // beside the current directory.
    static std::string DefaultFolder();

private:
    bool HasRowsToExport() const;
    std::string StartFolder() const;
    void RememberFolderOf(const std::string& path);
    void WriteFile(const std::string& path);

    const ReportTable& m_table;
    std::vector<int> m_widths;
    IProfileStore& m_store;
    IMessageBoxHost& m_host;
    const char* m_folderKey;
    std::function<void(bool)> m_waitCursor;
};

// The Top List's exporter; remembers its folder under "ExportTopDirectory".
class CExportTop final : public CExportList {
public:
    CExportTop(const ReportTable& table, std::vector<int> widths, IProfileStore& store, IMessageBoxHost& host,
               std::function<void(bool)> waitCursor = {})
        : CExportList(table, std::move(widths), store, host, "ExportTopDirectory", std::move(waitCursor)) {}
};

// The Bottom List's exporter; remembers its folder under "ExportBtmDirectory".
class CExportBtm final : public CExportList {
public:
    CExportBtm(const ReportTable& table, std::vector<int> widths, IProfileStore& store, IMessageBoxHost& host,
               std::function<void(bool)> waitCursor = {})
        : CExportList(table, std::move(widths), store, host, "ExportBtmDirectory", std::move(waitCursor)) {}
};

}  // namespace qvr
