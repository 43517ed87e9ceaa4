#include "tools/viewers/hex_view.h"

#include "tools/viewers/hex_format.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace qvr::viewers {

namespace {

constexpr int kMargin = 6;                           // pixels left of the text
constexpr std::uint64_t kMaxScrollSteps = 1u << 30;  // well inside an int

}  // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
    viewport()->setFont(font);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
}

bool HexView::Open(const QString& path) {
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) return false;
    m_size = static_cast<std::uint64_t>(std::max<qint64>(0, m_file.size()));
    m_offsetDigits = OffsetDigitsFor(m_size);
    m_rowsPerStep = RowCount() / kMaxScrollSteps + 1;
    m_firstRow = 0;
    m_cache.clear();
    UpdateScrollBars();
    viewport()->update();
    return true;
}

std::uint64_t HexView::RowCount() const {
    return (m_size + kHexBytesPerRow - 1) / kHexBytesPerRow;
}

int HexView::VisibleRows() const {
    const int lineHeight = fontMetrics().height();
    // The first line of the viewport holds the column header.
    return std::max(1, viewport()->height() / lineHeight - 1);
}

int HexView::RowTextWidthChars() const {
    return AsciiColumnOf(kHexBytesPerRow, m_offsetDigits);
}

std::uint64_t HexView::LastFirstRow() const {
    const std::uint64_t visible = static_cast<std::uint64_t>(VisibleRows());
    return RowCount() > visible ? RowCount() - visible : 0;
}

void HexView::UpdateScrollBars() {
    const std::uint64_t visible = static_cast<std::uint64_t>(VisibleRows());
    // Round up so the last rows of a huge file can still be reached.
    const auto steps = static_cast<int>((LastFirstRow() + m_rowsPerStep - 1) / m_rowsPerStep);
    m_settingScrollBar = true;
    verticalScrollBar()->setRange(0, steps);
    m_settingScrollBar = false;
    m_firstRow = std::min(m_firstRow, LastFirstRow());
    verticalScrollBar()->setPageStep(std::max(1, static_cast<int>(visible / m_rowsPerStep)));
    verticalScrollBar()->setSingleStep(1);

    const int charWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int contentWidth = kMargin * 2 + RowTextWidthChars() * charWidth;
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(charWidth);
}

void HexView::ScrollToRow(std::uint64_t row) {
    m_firstRow = std::min(row, LastFirstRow());
    m_settingScrollBar = true;
    verticalScrollBar()->setValue(static_cast<int>(m_firstRow / m_rowsPerStep));
    m_settingScrollBar = false;
    viewport()->update();
}

void HexView::scrollContentsBy(int, int dy) {
    // The user moved the scroll bar (our own moves set the row themselves).
    if (dy != 0 && !m_settingScrollBar) {
        const std::uint64_t row = static_cast<std::uint64_t>(verticalScrollBar()->value()) * m_rowsPerStep;
        m_firstRow = std::min(row, LastFirstRow());
    }
    viewport()->update();
}

QByteArray HexView::ReadBytes(std::uint64_t offset, std::uint64_t length) {
    const std::uint64_t cacheEnd = m_cacheOffset + static_cast<std::uint64_t>(m_cache.size());
    if (offset < m_cacheOffset || offset + length > cacheEnd) {
        m_cacheOffset = offset;
        m_cache.clear();
        if (m_file.seek(static_cast<qint64>(offset))) m_cache = m_file.read(static_cast<qint64>(length));
    }
    return m_cache.mid(static_cast<qsizetype>(offset - m_cacheOffset), static_cast<qsizetype>(length));
}

void HexView::PaintHeader(QPainter& painter) const {
    std::string header(static_cast<std::size_t>(RowTextWidthChars()), ' ');
    header.replace(0, 6, "Offset");
    for (int i = 0; i < kHexBytesPerRow; ++i) {
        const char digits[] = {'0', "0123456789ABCDEF"[i], '\0'};
        header.replace(static_cast<std::size_t>(HexColumnOf(i, m_offsetDigits)), 2, digits);
    }
    header.replace(static_cast<std::size_t>(AsciiColumnOf(0, m_offsetDigits)), 5, "ASCII");
    const int lineHeight = fontMetrics().height();
    painter.fillRect(QRect(0, 0, viewport()->width(), lineHeight), palette().alternateBase());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(kMargin - horizontalScrollBar()->value(), fontMetrics().ascent(),
                     QString::fromLatin1(header.c_str()));
}

void HexView::PaintMark(QPainter& painter, std::uint64_t row, int y) const {
    if (!m_mark || *m_mark / kHexBytesPerRow != row) return;
    const int byteIndex = static_cast<int>(*m_mark % kHexBytesPerRow);
    const int charWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int x0 = kMargin - horizontalScrollBar()->value();
    const int lineHeight = fontMetrics().height();
    const QColor highlight = palette().color(QPalette::Highlight).lighter(160);
    painter.fillRect(QRect(x0 + HexColumnOf(byteIndex, m_offsetDigits) * charWidth, y, 2 * charWidth, lineHeight),
                     highlight);
    painter.fillRect(QRect(x0 + AsciiColumnOf(byteIndex, m_offsetDigits) * charWidth, y, charWidth, lineHeight),
                     highlight);
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    PaintHeader(painter);
    const int lineHeight = fontMetrics().height();
    const std::uint64_t firstRow = FirstVisibleRow();
    const std::uint64_t rows = std::min<std::uint64_t>(static_cast<std::uint64_t>(VisibleRows()) + 1,
                                                       RowCount() - firstRow);
    const std::uint64_t firstOffset = firstRow * kHexBytesPerRow;
    const QByteArray bytes = ReadBytes(firstOffset, std::min(rows * kHexBytesPerRow, m_size - firstOffset));
    const int x = kMargin - horizontalScrollBar()->value();
    painter.setPen(palette().color(QPalette::Text));
    for (std::uint64_t r = 0; r < rows; ++r) {
        const int top = static_cast<int>(r + 1) * lineHeight;
        PaintMark(painter, firstRow + r, top);
        const auto start = static_cast<qsizetype>(r * kHexBytesPerRow);
        if (start >= bytes.size()) break;  // the file shrank or could not be read
        const QByteArray rowBytes = bytes.mid(start, kHexBytesPerRow);
        const std::string text = FormatHexRow(firstOffset + r * kHexBytesPerRow,
                                              std::string_view(rowBytes.constData(), static_cast<std::size_t>(rowBytes.size())),
                                              m_offsetDigits);
        painter.drawText(x, top + fontMetrics().ascent(), QString::fromLatin1(text.c_str()));
    }
}

void HexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void HexView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Home) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    } else if (event->key() == Qt::Key_End) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    } else {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void HexView::mousePressEvent(QMouseEvent* event) {
    // A click on a byte (hex or ASCII column) marks it and shows its offset.
    const int lineHeight = fontMetrics().height();
    const int charWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int line = static_cast<int>(event->position().y()) / lineHeight - 1;
    const int column = (static_cast<int>(event->position().x()) - kMargin + horizontalScrollBar()->value()) / charWidth;
    if (line < 0) return;
    for (int i = 0; i < kHexBytesPerRow; ++i) {
        const int hex = HexColumnOf(i, m_offsetDigits);
        const int ascii = AsciiColumnOf(i, m_offsetDigits);
        if ((column >= hex && column < hex + 2) || column == ascii) {
            const std::uint64_t offset = (FirstVisibleRow() + static_cast<std::uint64_t>(line)) * kHexBytesPerRow +
                                         static_cast<std::uint64_t>(i);
            if (offset >= m_size) return;
            m_mark = offset;
            emit MarkChanged(offset);
            viewport()->update();
            return;
        }
    }
}

void HexView::GoToOffset(std::uint64_t offset) {
    if (offset >= m_size) return;
    m_mark = offset;
    const std::uint64_t row = offset / kHexBytesPerRow;
    const std::uint64_t visible = static_cast<std::uint64_t>(VisibleRows());
    const std::uint64_t first = FirstVisibleRow();
    if (row < first || row >= first + visible) ScrollToRow(row > visible / 2 ? row - visible / 2 : 0);
    emit MarkChanged(offset);
    viewport()->update();
}

}  // namespace qvr::viewers
