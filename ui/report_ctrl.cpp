#include "ui/report_ctrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>

#include "compare/report_sort.h"
#include "ui/report_table_model.h"

namespace qvr {

CReportCtrl::CReportCtrl(QWidget* parent)
    // The system colours of the rows are the palette's, so a dark desktop
    // theme gets dark lists; the colours that carry meaning stay as set.
    : QTableView(parent),
      m_table(ToColorref(palette().color(QPalette::Text)), ToColorref(palette().color(QPalette::Base))),
      m_model(std::make_unique<ReportTableModel>(m_table)) {
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
    // Columns keep the widths their column spec gives, however narrow, and
    // the user may narrow one to nothing (export then leaves it out).
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    // A wide window gives its spare width to the last column.
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSortIndicatorShown(false);
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
    m_laidOutColumns = -1;  // the new columns get their layout widths
    Flush();
    return made;
}

void CReportCtrl::ApplyColumnLayout() {
    // Widths come from the column spec once, when the columns are made; every
    // later refresh (rows added, sorted, cleared) keeps what the user dragged.
    if (m_laidOutColumns == m_table.ColumnCount()) return;
    m_laidOutColumns = m_table.ColumnCount();
    for (int column = 0; column < m_table.ColumnCount(); ++column) {
        const ReportColumn* info = m_table.Column(column);
        const int width = info ? info->width : 0;
        // A zero-width column holds texts and sorts like any other; it is
        // simply not seen.
        setColumnHidden(column, width <= 0);
        if (width > 0 && horizontalHeader()->sectionSize(column) != width) setColumnWidth(column, width);
    }
}

int CReportCtrl::FirstVisibleColumn() const {
    for (int column = 0; column < m_model->columnCount(); ++column) {
        if (!isColumnHidden(column)) return column;
    }
    return -1;
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
    // Only a visible column shows which way the list is sorted.
    horizontalHeader()->setSortIndicatorShown(!isColumnHidden(column));
    horizontalHeader()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    emit Sorted(column, ascending);
}

void CReportCtrl::ShowTableSort() {
    const int column = m_table.SortColumn();
    if (column < 0 || column >= m_table.ColumnCount()) return;
    horizontalHeader()->setSortIndicatorShown(!isColumnHidden(column));
    horizontalHeader()->setSortIndicator(column, m_table.SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
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
    // The current cell stands in a column that is seen: in the hidden record
    // column the arrow and page keys would have nowhere to go.
    const QModelIndex index = m_model->index(row, std::max(FirstVisibleColumn(), 0));
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CReportCtrl::EnsureVisible(int row) {
    Flush();
    if (row < 0 || row >= m_model->rowCount()) return;
    // The first visible column, so the view does not scroll sideways.
    const int column = FirstVisibleColumn();
    if (column < 0) return;
    const int horizontal = horizontalScrollBar()->value();
    scrollTo(m_model->index(row, column), QAbstractItemView::EnsureVisible);
    horizontalScrollBar()->setValue(horizontal);
}

void CReportCtrl::Flush() { m_model->Flush(); }

void CReportCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // A right-click picks the row under the mouse for the context menu:
        // it is selected, made current and followed like a left-click's row.
        const QModelIndex index = indexAt(event->position().toPoint());
        setFocus(Qt::MouseFocusReason);
        if (index.isValid()) {
            m_model->SetTrackedRow(index.row());
            RestoreSelection();
        }
        event->accept();
        return;
    }
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
    // Enter on a row opens it as a double-click does; it never reaches the
    // window's default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        PostForSelectedRows(true);
        return;
    }
    QTableView::keyPressEvent(event);
    // Keyboard moves change the selection too.
    const QModelIndexList rows = selectionModel()->selectedRows();
    m_model->SetTrackedRow(rows.isEmpty() ? -1 : rows.front().row());
}

}  // namespace qvr
