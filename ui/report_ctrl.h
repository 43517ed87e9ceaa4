#pragma once
// CReportCtrl: the report list of both lists of the main window. The rows, cell
// texts and colours live in a ReportTable (no Qt); this control shows them
// through ReportTableModel, sorts them on header clicks, and tells its owner
// about clicks, double-clicks and F3.

#include <QTableView>
#include <memory>
#include <string>

#include "compare/report_table.h"

namespace qvr {

class ReportTableModel;

class CReportCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CReportCtrl(QWidget* parent = nullptr);
    ~CReportCtrl() override;

    ReportTable& Table() { return m_table; }
    const ReportTable& Table() const { return m_table; }
    ReportTableModel& Model() { return *m_model; }

    // Columns from a column-spec string; zero-width columns exist but are hidden.
    bool ApplyColumnSpec(const std::string& columnSpec);
    void SetNotifyId(int id) { m_notifyId = id; }
    int NotifyId() const { return m_notifyId; }
    bool ShowGridLines(bool on);

    int InsertItem(int row, const std::string& text);
    bool SetItemText(int row, int column, const std::string& text);
    std::string GetItemText(int row, int column) const;
    void SetCellTextColor(int row, int column, Colorref color, bool redraw);
    void SetCellBackColor(int row, int column, Colorref color, bool redraw);
    Colorref GetCellTextColor(int row, int column) const;
    Colorref GetCellBackColor(int row, int column) const;
    void SortByColumn(int column, bool ascending);
    void RemoveRow(int row);
    int RemoveAllRows();
    int GetItemCount() const;
    int ColumnCount() const;
    std::string GetColumnHeading(int column) const;
    int SortColumn() const;
    bool SortAscending() const;
    // The header's arrow on the column the table was last sorted by (a
    // workflow sorts the table itself).
    void ShowTableSort();

    // Selection (single) and focus: the list's selected row, or -1.
    void SelectRow(int row);
    int SelectedRow() const;
    void EnsureVisible(int row);
    // The leftmost column that is not hidden, or -1.
    int FirstVisibleColumn() const;

    // Brings the view up to date with the table now instead of at the next
    // coalesced update.
    void Flush();

signals:
    // Posted after the list has handled the mouse, once per selected row.
    void RowClicked(int notifyId, int row);
    void RowDoubleClicked(int notifyId, int row);
    // Sent while the key is handled.
    void FindNextRequested();
    void Sorted(int column, bool ascending);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnColumnClick(int column);
    void PostForSelectedRows(bool doubleClick);
    void ApplyColumnLayout();
    void RestoreSelection();

    ReportTable m_table;
    std::unique_ptr<ReportTableModel> m_model;
    int m_notifyId = 0;
    // The selected data row, followed through inserts, removals and sorts so
    // that a coalesced model reset does not lose it.
    int m_selectedRow = -1;
    // How many columns the layout widths were last applied to (-1: not yet).
    int m_laidOutColumns = -1;
};

}  // namespace qvr
