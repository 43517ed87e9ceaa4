#include "tools/viewers/diff_model.h"

#include <QBrush>

namespace qvr::viewers {

namespace {

constexpr int kTabWidth = 4;

// The table draws a tab as a narrow blank; expanding it keeps indented code
// readable and both sides aligned alike.
QString ExpandTabs(const std::string& line) {
    QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    if (!text.contains(QLatin1Char('\t'))) return text;
    QString expanded;
    expanded.reserve(text.size() + kTabWidth * 4);
    for (QChar c : text) {
        if (c == QLatin1Char('\t')) {
            expanded += QString(kTabWidth - expanded.size() % kTabWidth, QLatin1Char(' '));
        } else {
            expanded += c;
        }
    }
    return expanded;
}

}  // namespace

DiffModel::DiffModel(std::vector<std::string> left, std::vector<std::string> right,
                     QString leftTitle, QString rightTitle, QObject* parent)
    : QAbstractTableModel(parent),
      m_left(std::move(left)),
      m_right(std::move(right)),
      m_rows(DiffLines(m_left, m_right)),
      m_leftTitle(std::move(leftTitle)),
      m_rightTitle(std::move(rightTitle)) {}

int DiffModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DiffModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QColor DiffModel::ColourOf(RowKind kind) {
    switch (kind) {
        case RowKind::Changed: return QColor(255, 236, 150);
        case RowKind::OnlyLeft: return QColor(255, 190, 190);
        case RowKind::OnlyRight: return QColor(190, 240, 190);
        case RowKind::Equal: break;
    }
    return QColor();
}

QVariant DiffModel::DisplayText(const DiffRow& row, int column) const {
    switch (column) {
        case LeftLine: return row.left < 0 ? QVariant() : QVariant(QString::number(row.left + 1));
        case RightLine: return row.right < 0 ? QVariant() : QVariant(QString::number(row.right + 1));
        case LeftText:
            return row.left < 0 ? QVariant() : QVariant(ExpandTabs(m_left[static_cast<std::size_t>(row.left)]));
        case RightText:
            return row.right < 0 ? QVariant() : QVariant(ExpandTabs(m_right[static_cast<std::size_t>(row.right)]));
        default: return {};
    }
}

QVariant DiffModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= m_rows.size()) {
        return {};
    }
    const DiffRow& row = m_rows[static_cast<std::size_t>(index.row())];
    const bool lineColumn = index.column() == LeftLine || index.column() == RightLine;
    switch (role) {
        case Qt::DisplayRole: return DisplayText(row, index.column());
        case Qt::ToolTipRole:
            // Long lines are cut at the column's edge; the tip shows them whole.
            if (lineColumn) return {};
            return DisplayText(row, index.column());
        case Qt::BackgroundRole:
            if (row.kind == RowKind::Equal) return {};
            return QBrush(ColourOf(row.kind));
        case Qt::ForegroundRole:
            if (lineColumn) return QBrush(QColor(110, 110, 110));
            return {};
        case Qt::TextAlignmentRole:
            if (lineColumn) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default: return {};
    }
}

QVariant DiffModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case LeftLine:
        case RightLine: return QStringLiteral("Line");
        case LeftText: return m_leftTitle;
        case RightText: return m_rightTitle;
        default: return {};
    }
}

}  // namespace qvr::viewers
