#pragma once
// A read-only hex dump of a file of any size. Only the rows on screen are
// ever read (a seek and one read of that window), so a file of gigabytes
// opens at once and costs no more memory than a small one.

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QFile>

#include <cstdint>
#include <optional>

namespace qvr::viewers {

class HexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);

    // Opens the file for reading; false with errorString() set on failure.
    bool Open(const QString& path);
    QString ErrorString() const { return m_file.errorString(); }
    std::uint64_t FileSize() const { return m_size; }

    // Scrolls the byte at offset into view and highlights it. The offset
    // must be inside the file.
    void GoToOffset(std::uint64_t offset);
    std::optional<std::uint64_t> MarkedOffset() const { return m_mark; }

    // The first row on screen (a row is 16 bytes), and how many fit.
    std::uint64_t FirstVisibleRow() const { return m_firstRow; }
    int VisibleRows() const;

signals:
    void MarkChanged(std::uint64_t offset);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    std::uint64_t RowCount() const;
    std::uint64_t LastFirstRow() const;
    int RowTextWidthChars() const;
    void UpdateScrollBars();
    void ScrollToRow(std::uint64_t row);
    QByteArray ReadBytes(std::uint64_t offset, std::uint64_t length);
    void PaintHeader(class QPainter& painter) const;
    void PaintMark(class QPainter& painter, std::uint64_t row, int y) const;

    QFile m_file;
    std::uint64_t m_size = 0;
    int m_offsetDigits = 8;
    // Scroll bars hold an int, so on a huge file one scroll-bar step is
    // several rows; the first row itself is kept exactly, so going to an
    // offset shows precisely that row.
    std::uint64_t m_rowsPerStep = 1;
    std::uint64_t m_firstRow = 0;
    bool m_settingScrollBar = false;
    std::optional<std::uint64_t> m_mark;
    // The last window read from the file, reused while the view is still.
    std::uint64_t m_cacheOffset = 0;
    QByteArray m_cache;
};

}  // namespace qvr::viewers
