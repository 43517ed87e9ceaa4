#include "ui/report_ctrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "compare/report_sort.h"
#include "ui/report_table_model.h"

namespace qvr {

CReportCtrl::CReportCtrl(QWidget* parent)
    : QTableView(parent), m_model(std::make_unique<ReportTableModel>(m_table)) {
    setModel(m_model.get());
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Fixed row heights keep long lists cheap to lay out.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    // Columns keep the widths their column spec gives, however narrow.
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CReportCtrl::OnColumnClick);
    connect(m_model.get(), &ReportTableModel::Published, this, [this] {
        ApplyColumnLayout();
        RestoreSelection();
    });
    connect(m_model.get(), &ReportTableModel::RepaintWanted, viewport(), qOverload<>(&QWidget::update));
}

CReportCtrl::~CReportCtrl() {
    setModel(nullptr);
}

bool CReportCtrl::ApplyColumnSpec(const std::string& columnSpec) {
    bool made = m_table.ApplyColumnSpec(columnSpec);
    Flush();
    return made;
}

void CReportCtrl::ApplyColumnLayout() {
    for (int column = 0; column < m_table.ColumnCount(); ++column) {
        const ReportColumn* info = m_table.Column(column);
        const int width = info ? info->width : 0;
        // A zero-width column holds texts and sorts like any other; it is
        // simply not seen.
        setColumnHidden(column, width <= 0);
        if (width > 0 && horizontalHeader()->sectionSize(column) != width) setColumnWidth(column, width);
    }
}

bool CReportCtrl::ShowGridLines(bool on) {
    bool was = showGrid();
    setShowGrid(on);
    return was;
}

int CReportCtrl::InsertItem(int row, const std::string& text) { return m_table.InsertItem(row, text); }

bool CReportCtrl::SetItemText(int row, int column, const std::string& text) {
    return m_table.SetItemText(row, column, text);
}

std::string CReportCtrl::GetItemText(int row, int column) const { return std::string(m_table.GetItemText(row, column)); }

void CReportCtrl::SetCellTextColor(int row, int column, Colorref color, bool redraw) {
    m_table.SetCellTextColor(row, column, color, redraw);
    if (redraw) m_model->FlushCellChanges();
}

void CReportCtrl::SetCellBackColor(int row, int column, Colorref color, bool redraw) {
    m_table.SetCellBackColor(row, column, color, redraw);
    if (redraw) m_model->FlushCellChanges();
}

Colorref CReportCtrl::GetCellTextColor(int row, int column) const { return m_table.GetCellTextColor(row, column); }

Colorref CReportCtrl::GetCellBackColor(int row, int column) const { return m_table.GetCellBackColor(row, column); }

void CReportCtrl::SortByColumn(int column, bool ascending) {
    // A list without a clickable header is never sorted.
    if (horizontalHeader()->isHidden() || !horizontalHeader()->sectionsClickable()) return;
    if (!SortTableByColumn(m_table, column, ascending)) return;
    Flush();
    emit Sorted(column, ascending);
}

void CReportCtrl::OnColumnClick(int column) {
    const bool ascending = column != m_table.SortColumn() || !m_table.SortAscending();
    SortByColumn(column, ascending);
}

void CReportCtrl::RemoveRow(int row) { m_table.RemoveRow(row); }

int CReportCtrl::RemoveAllRows() {
    int removed = m_table.RemoveAllRows();
    Flush();
    return removed;
}

int CReportCtrl::GetItemCount() const { return m_table.GetItemCount(); }
int CReportCtrl::ColumnCount() const { return m_table.ColumnCount(); }
std::string CReportCtrl::GetColumnHeading(int column) const { return m_table.GetColumnHeading(column); }
int CReportCtrl::SortColumn() const { return m_table.SortColumn(); }
bool CReportCtrl::SortAscending() const { return m_table.SortAscending(); }

void CReportCtrl::SelectRow(int row) {
    Flush();
    if (row < 0 || row >= m_table.GetItemCount()) return;
    m_model->SetTrackedRow(row);
    RestoreSelection();
}

int CReportCtrl::SelectedRow() const { return m_model->TrackedRow(); }

void CReportCtrl::RestoreSelection() {
    const int row = m_model->TrackedRow();
    if (row < 0 || row >= m_model->rowCount()) {
        clearSelection();
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CReportCtrl::EnsureVisible(int row) {
    Flush();
    if (row < 0 || row >= m_model->rowCount()) return;
    // The first visible column, so the view does not scroll sideways.
    int column = 0;
    while (column < m_model->columnCount() && isColumnHidden(column)) ++column;
    if (column >= m_model->columnCount()) return;
    const int horizontal = horizontalScrollBar()->value();
    scrollTo(m_model->index(row, column), QAbstractItemView::EnsureVisible);
    horizontalScrollBar()->setValue(horizontal);
}

void CReportCtrl::Flush() { m_model->Flush(); }

void CReportCtrl::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) PostForSelectedRows(false);
}

void CReportCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) PostForSelectedRows(true);
}

void CReportCtrl::PostForSelectedRows(bool doubleClick) {
    // Follow what the view selected, so later table changes keep it.
    const QModelIndexList rows = selectionModel()->selectedRows();
    m_model->SetTrackedRow(rows.isEmpty() ? -1 : rows.front().row());
    for (const QModelIndex& index : rows) {
        const int id = m_notifyId;
        const int row = index.row();
        QMetaObject::invokeMethod(
            this,
            [this, id, row, doubleClick] {
                if (doubleClick) emit RowDoubleClicked(id, row);
                else emit RowClicked(id, row);
            },
            Qt::QueuedConnection);
    }
}

void CReportCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        event->accept();  // the list never sees Space
        return;
    }
    if (event->key() == Qt::Key_F3) {
        event->accept();
        emit FindNextRequested();
        return;
    }
    QTableView::keyPressEvent(event);
    // Keyboard moves change the selection too.
    const QModelIndexList rows = selectionModel()->selectedRows();
    m_model->SetTrackedRow(rows.isEmpty() ? -1 : rows.front().row());
}

}  // namespace qvr
