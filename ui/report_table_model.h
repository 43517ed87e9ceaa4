#pragma once
// The Qt item model over a ReportTable. Workflows fill the table one row at a
// time while they pump messages; telling the view about every single row would
// stall the window, so the model publishes the table's shape at most every
// few tens of milliseconds (or when asked) in one reset, and cell changes as
// one changed rectangle. It also follows one "tracked" row (the list's
// selection) through inserts, removals and sorts, since a reset drops the
// view's own selection.

#include <QAbstractTableModel>
#include <QColor>
#include <QTimer>

#include "compare/report_table.h"

namespace qvr {

// Colour references keep red in the low byte.
QColor ToQColor(Colorref color);
Colorref ToColorref(const QColor& color);

inline constexpr Colorref kEvenRowShade = 0xF9F7F0;
inline constexpr Colorref kOddRowShade = 0xEFE8E5;
inline constexpr Colorref kWhite = 0xFFFFFF;

// The background a cell is drawn with: white becomes the row's shade.
Colorref DrawnBackColor(Colorref back, int row);

// WCAG contrast ratio of two colours (1 to 21).
double ContrastRatio(const QColor& a, const QColor& b);

// How a cell's text colour is drawn on the background back: on a dark
// background a colour that carries a meaning (a status) takes a lighter shade
// of its hue, lightened further until it is readable (contrast at least 4.5:1);
// every other colour, and every colour on a light background, as it is.
QColor TextColorOn(Colorref text, const QColor& back);

class ReportTableModel : public QAbstractTableModel, private IReportTableListener {
    Q_OBJECT
public:
    explicit ReportTableModel(ReportTable& table, QObject* parent = nullptr);
    ~ReportTableModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Publishes every pending change now.
    void Flush();
    // Publishes changed cells now, unless rows are waiting to be published
    // (then the next coalesced reset shows them): redrawing at once must not
    // turn into one reset per added row.
    void FlushCellChanges() {
        if (!m_resetPending) Flush();
    }
    bool HasPendingChanges() const { return m_resetPending || m_dirtyFirstRow >= 0; }

    int TrackedRow() const { return m_trackedRow; }
    void SetTrackedRow(int row) { m_trackedRow = row; }

    static constexpr int kFlushIntervalMs = 50;

signals:
    // After a reset was published (the view lost its selection and columns).
    void Published();
    // A cell change asked to be seen at once.
    void RepaintWanted();

private:
    void RowsInserted(int first, int last) override;
    void RowsRemoved(int first, int last) override;
    void DataChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) override;
    void RepaintRequested() override;
    void LayoutChanged(const std::vector<std::size_t>& order) override;
    void Reset() override;

    void ResetPending();
    void Schedule();

    ReportTable& m_table;
    QTimer m_flushTimer;
    int m_rows = 0;
    int m_columns = 0;
    bool m_resetPending = false;
    int m_dirtyFirstRow = -1;
    int m_dirtyLastRow = -1;
    int m_dirtyFirstColumn = 0;
    int m_dirtyLastColumn = 0;
    int m_trackedRow = -1;
};

}  // namespace qvr
