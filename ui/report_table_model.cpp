#include "ui/report_table_model.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "compare/classifier.h"

namespace qvr {

QColor ToQColor(Colorref color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

Colorref ToColorref(const QColor& color) {
    return static_cast<Colorref>(color.red()) | (static_cast<Colorref>(color.green()) << 8) |
           (static_cast<Colorref>(color.blue()) << 16);
}

namespace {

// The colours that carry a meaning, and the lighter shade of the same hue
// each takes on a dark list.
struct DarkShade {
    Colorref meaning;
    QRgb shade;
};
constexpr DarkShade kDarkShades[] = {
    {kNewColor, qRgb(96, 216, 96)},    // New: green
    {kSameColor, qRgb(138, 160, 255)}, // Same: blue
    {kDiffColor, qRgb(255, 122, 82)},  // Diff: orange-red
    {kMissingColor, qRgb(230, 140, 230)}, // Missing: purple
};
constexpr double kReadableContrast = 4.5;

double RelativeLuminance(const QColor& color) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.red()) + 0.7152 * channel(color.green()) + 0.0722 * channel(color.blue());
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor TextColorOn(Colorref text, const QColor& back) {
    const QColor given = ToQColor(text);
    if (back.lightness() >= 128) return given;
    const auto dark = std::find_if(std::begin(kDarkShades), std::end(kDarkShades),
                                   [&](const DarkShade& entry) { return entry.meaning == text; });
    if (dark == std::end(kDarkShades)) return given;
    QColor shade = QColor::fromRgb(dark->shade);
    // A lighter list base than the usual dark one: the shade goes further
    // towards white until it is readable there too.
    for (int step = 0; step < 10 && ContrastRatio(shade, back) < kReadableContrast; ++step) {
        shade = QColor((shade.red() + 255 + 1) / 2, (shade.green() + 255 + 1) / 2, (shade.blue() + 255 + 1) / 2);
    }
    return shade;
}

Colorref DrawnBackColor(Colorref back, int row) {
    if (back != kWhite) return back;
    return row % 2 == 0 ? kEvenRowShade : kOddRowShade;
}

ReportTableModel::ReportTableModel(ReportTable& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table) {
    m_rows = table.GetItemCount();
    m_columns = table.ColumnCount();
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &ReportTableModel::Flush);
    m_table.SetListener(this);
}

ReportTableModel::~ReportTableModel() { m_table.SetListener(nullptr); }

int ReportTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int ReportTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QVariant ReportTableModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    const int column = index.column();
    // Until a pending change is published the table may already be smaller.
    if (!index.isValid() || row >= m_table.GetItemCount() || column >= m_table.ColumnCount()) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole: {
        // Cells may end in a line break (the Bottom List's dates); a list row
        // shows one line.
        const std::string_view cell = m_table.GetItemText(row, column);
        QString text = QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
        text.remove(QLatin1Char('\r'));
        text.remove(QLatin1Char('\n'));
        return text;
    }
    // The table keeps the system colours the palette had when it was made;
    // a cell in one of them is drawn in the palette's colour of now, so the
    // lists follow a desktop that changes its theme while the window is open.
    case Qt::ForegroundRole: {
        const Colorref text = m_table.GetCellTextColor(row, column);
        if (text == m_table.SystemTextColor()) return QGuiApplication::palette().color(QPalette::Text);
        return TextColorOn(text, data(index, Qt::BackgroundRole).value<QColor>());
    }
    case Qt::BackgroundRole: {
        const QPalette palette = QGuiApplication::palette();
        const Colorref systemBack = ToColorref(palette.color(QPalette::Base));
        Colorref back = m_table.GetCellBackColor(row, column);
        if (back == m_table.SystemBackColor()) back = systemBack;
        // On a dark palette the rows in the system colour alternate with the
        // palette's own second shade instead of the light fixed shading.
        if (back != kWhite && back == systemBack && row % 2 == 1) {
            return palette.color(QPalette::AlternateBase);
        }
        return ToQColor(DrawnBackColor(back, row));
    }
    case Qt::TextAlignmentRole: {
        const ReportColumn* info = m_table.Column(column);
        Qt::Alignment horizontal = Qt::AlignLeft;
        if (info && info->alignment == ColumnAlignment::Center) horizontal = Qt::AlignHCenter;
        if (info && info->alignment == ColumnAlignment::Right) horizontal = Qt::AlignRight;
        return QVariant::fromValue(horizontal | Qt::AlignVCenter);
    }
    default:
        return {};
    }
}

QVariant ReportTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= m_columns || section >= m_table.ColumnCount()) return {};
    return QString::fromStdString(m_table.GetColumnHeading(section));
}

Qt::ItemFlags ReportTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ReportTableModel::Flush() {
    m_flushTimer.stop();
    if (m_resetPending) {
        m_resetPending = false;
        m_dirtyFirstRow = -1;
        beginResetModel();
        m_rows = m_table.GetItemCount();
        m_columns = m_table.ColumnCount();
        endResetModel();
        emit Published();
        return;
    }
    if (m_dirtyFirstRow < 0) return;
    const int lastRow = std::min(m_dirtyLastRow, m_rows - 1);
    const int lastColumn = std::min(m_dirtyLastColumn, m_columns - 1);
    const int firstRow = m_dirtyFirstRow;
    m_dirtyFirstRow = -1;
    if (firstRow <= lastRow && m_dirtyFirstColumn <= lastColumn) {
        emit dataChanged(index(firstRow, m_dirtyFirstColumn), index(lastRow, lastColumn));
    }
}

void ReportTableModel::Schedule() {
    if (!m_flushTimer.isActive()) m_flushTimer.start();
}

void ReportTableModel::ResetPending() {
    m_resetPending = true;
    Schedule();
}

void ReportTableModel::RowsInserted(int first, int last) {
    if (m_trackedRow >= first) m_trackedRow += last - first + 1;
    ResetPending();
}

void ReportTableModel::RowsRemoved(int first, int last) {
    if (m_trackedRow > last) {
        m_trackedRow -= last - first + 1;
    } else if (m_trackedRow >= first) {
        m_trackedRow = -1;
    }
    ResetPending();
}

void ReportTableModel::DataChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) {
    if (m_resetPending) return;  // the reset repaints everything anyway
    if (m_dirtyFirstRow < 0) {
        m_dirtyFirstRow = firstRow;
        m_dirtyLastRow = lastRow;
        m_dirtyFirstColumn = firstColumn;
        m_dirtyLastColumn = lastColumn;
    } else {
        m_dirtyFirstRow = std::min(m_dirtyFirstRow, firstRow);
        m_dirtyLastRow = std::max(m_dirtyLastRow, lastRow);
        m_dirtyFirstColumn = std::min(m_dirtyFirstColumn, firstColumn);
        m_dirtyLastColumn = std::max(m_dirtyLastColumn, lastColumn);
    }
    Schedule();
}

void ReportTableModel::RepaintRequested() {
    // Shown with the next publication rather than at once: the classifier asks
    // for it on every row it adds, and a repaint per row would stall long runs.
    emit RepaintWanted();
}

void ReportTableModel::LayoutChanged(const std::vector<std::size_t>& order) {
    if (m_trackedRow >= 0) {
        auto it = std::find(order.begin(), order.end(), static_cast<std::size_t>(m_trackedRow));
        m_trackedRow = it == order.end() ? -1 : static_cast<int>(it - order.begin());
    }
    ResetPending();
}

void ReportTableModel::Reset() {
    m_trackedRow = -1;
    ResetPending();
}

}  // namespace qvr
