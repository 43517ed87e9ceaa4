#pragma once
// The side-by-side rows of the difference viewer as a table: line number and
// text of the left file, line number and text of the right file. Rows are
// coloured by kind, so changed lines and lines of one side stand out.

#include "tools/viewers/line_diff.h"

#include <QAbstractTableModel>
#include <QColor>

#include <string>
#include <vector>

namespace qvr::viewers {

class DiffModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { LeftLine, LeftText, RightLine, RightText, ColumnCount };

    DiffModel(std::vector<std::string> left, std::vector<std::string> right, QString leftTitle,
              QString rightTitle, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const std::vector<DiffRow>& Rows() const { return m_rows; }
    std::size_t LineCount(bool leftSide) const { return leftSide ? m_left.size() : m_right.size(); }

    static QColor ColourOf(RowKind kind);

private:
    QVariant DisplayText(const DiffRow& row, int column) const;

    std::vector<std::string> m_left;
    std::vector<std::string> m_right;
    std::vector<DiffRow> m_rows;
    QString m_leftTitle;
    QString m_rightTitle;
};

}  // namespace qvr::viewers
