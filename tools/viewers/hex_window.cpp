#include "tools/viewers/hex_window.h"

#include "tools/viewers/hex_format.h"
#include "tools/viewers/hex_view.h"
#include "tools/viewers/viewer_app.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

namespace qvr::viewers {

HexWindow::HexWindow(const ViewerApp& app, QString path, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_path(std::move(path)) {
    m_view = new HexView(this);
    setCentralWidget(m_view);
    setWindowTitle(QStringLiteral("%1 - HexViewer").arg(m_path));
    BuildMenus();
    m_sizeLabel = new QLabel(this);
    m_offsetLabel = new QLabel(this);
    statusBar()->addWidget(m_sizeLabel, 1);
    statusBar()->addPermanentWidget(m_offsetLabel);
    connect(m_view, &HexView::MarkChanged, this, &HexWindow::ShowOffset);
    resize(760, 560);
}

void HexWindow::BuildMenus() {
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->addAction(QStringLiteral("E&xit"), this, &QWidget::close)->setShortcut(QKeySequence::Quit);
    QMenu* goMenu = menuBar()->addMenu(QStringLiteral("&Go"));
    goMenu->addAction(QStringLiteral("&Go to Offset..."), this, &HexWindow::AskForOffset)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
}

bool HexWindow::Load() {
    if (QFileInfo(m_path).isDir()) {
        m_app.ReportError(nullptr, QStringLiteral("Cannot open \"%1\": it is a folder.").arg(m_path));
        return false;
    }
    if (!m_view->Open(m_path)) {
        m_app.ReportError(nullptr, QStringLiteral("Cannot open \"%1\": %2").arg(m_path, m_view->ErrorString()));
        return false;
    }
    const std::uint64_t size = m_view->FileSize();
    m_sizeLabel->setText(size == 1 ? QStringLiteral("1 byte")
                                   : QStringLiteral("%1 bytes").arg(QLocale::system().toString(static_cast<qulonglong>(size))));
    return true;
}

void HexWindow::ShowOffset(std::uint64_t offset) {
    m_offsetLabel->setText(QStringLiteral("  Offset 0x%1 (%2)  ")
                               .arg(QString::number(static_cast<qulonglong>(offset), 16).toUpper())
                               .arg(static_cast<qulonglong>(offset)));
}

void HexWindow::AskForOffset() {
    bool ok = false;
    const QString text = QInputDialog::getText(this, QStringLiteral("Go to Offset"),
                                               QStringLiteral("Offset (decimal, or hexadecimal after 0x):"),
                                               QLineEdit::Normal, QString(), &ok);
    if (!ok) return;
    const auto offset = ParseOffset(text.toStdString());
    if (!offset) {
        QMessageBox::warning(this, QStringLiteral("HexViewer"), QStringLiteral("\"%1\" is not an offset.").arg(text));
        return;
    }
    if (*offset >= m_view->FileSize()) {
        QMessageBox::warning(this, QStringLiteral("HexViewer"),
                             QStringLiteral("Offset %1 is beyond the end of the file (%2 bytes).")
                                 .arg(static_cast<qulonglong>(*offset))
                                 .arg(static_cast<qulonglong>(m_view->FileSize())));
        return;
    }
    m_view->GoToOffset(*offset);
}

}  // namespace qvr::viewers
