#include "tools/viewers/diff_window.h"

#include "tools/viewers/diff_model.h"

#include <QAction>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

#include <algorithm>

namespace qvr::viewers {

namespace {

QLabel* LegendLabel(const QString& text, RowKind kind) {
    auto* label = new QLabel(text);
    label->setAutoFillBackground(true);
    label->setContentsMargins(6, 0, 6, 0);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, DiffModel::ColourOf(kind));
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

int DigitsOf(std::size_t count) {
    int digits = 1;
    for (; count >= 10; count /= 10) ++digits;
    return digits;
}

}  // namespace

DiffWindow::DiffWindow(const QString& leftPath, const QString& rightPath,
                       std::vector<std::string> left, std::vector<std::string> right,
                       QWidget* parent)
    : QMainWindow(parent) {
    m_model = new DiffModel(std::move(left), std::move(right), leftPath, rightPath, this);
    m_hunks = FindHunks(m_model->Rows());
    setWindowTitle(QStringLiteral("%1 : %2 - Windiff").arg(leftPath, rightPath));
    BuildActions();
    BuildTable();
    BuildStatusBar();
    UpdateStatus();
    resize(1000, 640);
}

DiffWindow::~DiffWindow() = default;

void DiffWindow::BuildActions() {
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* exitAction = fileMenu->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    exitAction->setShortcut(QKeySequence::Quit);

    m_previous = new QAction(QStringLiteral("&Previous Difference"), this);
    m_previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
    connect(m_previous, &QAction::triggered, this, &DiffWindow::PreviousDifference);
    m_next = new QAction(QStringLiteral("&Next Difference"), this);
    m_next->setShortcut(QKeySequence(Qt::Key_F8));
    connect(m_next, &QAction::triggered, this, &DiffWindow::NextDifference);

    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    viewMenu->addAction(m_previous);
    viewMenu->addAction(m_next);

    QToolBar* toolBar = addToolBar(QStringLiteral("Differences"));
    toolBar->setMovable(false);
    toolBar->addAction(m_previous);
    toolBar->addAction(m_next);
}

void DiffWindow::BuildTable() {
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideNone);
    m_table->verticalHeader()->hide();
    // Fixed row heights and column widths: nothing has to measure 100,000 rows.
    QFontMetrics metrics(m_table->font());
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(metrics.height() + 2);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    for (auto [column, leftSide] : {std::pair{DiffModel::LeftLine, true}, {DiffModel::RightLine, false}}) {
        int digits = std::max(4, DigitsOf(m_model->LineCount(leftSide)));
        header->resizeSection(column, metrics.horizontalAdvance(QString(digits, QLatin1Char('9'))) + 12);
        header->setSectionResizeMode(column, QHeaderView::Fixed);
    }
    header->setSectionResizeMode(DiffModel::LeftText, QHeaderView::Stretch);
    header->setSectionResizeMode(DiffModel::RightText, QHeaderView::Stretch);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setCentralWidget(m_table);
}

void DiffWindow::BuildStatusBar() {
    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);
    statusBar()->addPermanentWidget(LegendLabel(QStringLiteral("Changed"), RowKind::Changed));
    statusBar()->addPermanentWidget(LegendLabel(QStringLiteral("Only left"), RowKind::OnlyLeft));
    statusBar()->addPermanentWidget(LegendLabel(QStringLiteral("Only right"), RowKind::OnlyRight));
}

void DiffWindow::UpdateStatus() {
    const std::size_t count = m_hunks.size();
    QString text;
    if (count == 0) {
        text = QStringLiteral("No differences");
    } else {
        text = count == 1 ? QStringLiteral("1 difference") : QStringLiteral("%1 differences").arg(count);
        if (m_currentHunk >= 0) text += QStringLiteral(" (showing %1 of %2)").arg(m_currentHunk + 1).arg(count);
    }
    m_status->setText(text);
    m_next->setEnabled(count > 0);
    m_previous->setEnabled(count > 0);
}

std::size_t DiffWindow::CurrentRow() const {
    QModelIndex current = m_table->currentIndex();
    return current.isValid() ? static_cast<std::size_t>(current.row()) : 0;
}

void DiffWindow::NextDifference() {
    if (m_hunks.empty()) return;
    const std::size_t row = CurrentRow();
    const bool onRow = m_table->currentIndex().isValid();
    // The first difference that starts after the current row (or at the top
    // when no row is current yet); wraps around at the end.
    auto it = std::find_if(m_hunks.begin(), m_hunks.end(), [&](const DiffHunk& h) {
        return onRow ? h.firstRow > row : true;
    });
    ShowDifference(it == m_hunks.end() ? 0 : static_cast<std::size_t>(it - m_hunks.begin()));
}

void DiffWindow::PreviousDifference() {
    if (m_hunks.empty()) return;
    const std::size_t row = CurrentRow();
    const bool onRow = m_table->currentIndex().isValid();
    auto it = std::find_if(m_hunks.rbegin(), m_hunks.rend(), [&](const DiffHunk& h) {
        return onRow && h.firstRow < row;
    });
    ShowDifference(it == m_hunks.rend() ? m_hunks.size() - 1
                                         : static_cast<std::size_t>(m_hunks.rend() - it - 1));
}

void DiffWindow::ShowDifference(std::size_t hunk) {
    m_currentHunk = static_cast<long>(hunk);
    const int row = static_cast<int>(m_hunks[hunk].firstRow);
    QModelIndex index = m_model->index(row, DiffModel::LeftText);
    // Move the focus without selecting, so the row keeps its difference colour.
    m_table->clearSelection();
    m_table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_table->scrollTo(index, QAbstractItemView::PositionAtCenter);
    UpdateStatus();
}

}  // namespace qvr::viewers
