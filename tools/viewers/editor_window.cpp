#include "tools/viewers/editor_window.h"

#include "tools/viewers/viewer_app.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStatusBar>
#include <QTextBlock>

namespace qvr::viewers {

EditorWindow::EditorWindow(const ViewerApp& app, QString path, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_path(std::move(path)) {
    m_edit = new QPlainTextEdit(this);
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    setCentralWidget(m_edit);
    setWindowTitle(QStringLiteral("%1[*] - CrystalEdit").arg(m_path));
    BuildMenus();
    BuildStatusBar();
    connect(m_edit->document(), &QTextDocument::modificationChanged, this,
            &QWidget::setWindowModified);
    connect(m_edit, &QPlainTextEdit::cursorPositionChanged, this, &EditorWindow::UpdateCursorLabel);
    resize(900, 640);
}

void EditorWindow::BuildMenus() {
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* save = fileMenu->addAction(QStringLiteral("&Save"), this, &EditorWindow::Save);
    save->setShortcut(QKeySequence::Save);
    fileMenu->addSeparator();
    QAction* exit = fileMenu->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    exit->setShortcut(QKeySequence::Quit);

    QMenu* editMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* undo = editMenu->addAction(QStringLiteral("&Undo"), m_edit, &QPlainTextEdit::undo);
    undo->setShortcut(QKeySequence::Undo);
    undo->setEnabled(false);
    connect(m_edit, &QPlainTextEdit::undoAvailable, undo, &QAction::setEnabled);
    QAction* redo = editMenu->addAction(QStringLiteral("&Redo"), m_edit, &QPlainTextEdit::redo);
    redo->setShortcut(QKeySequence::Redo);
    redo->setEnabled(false);
    connect(m_edit, &QPlainTextEdit::redoAvailable, redo, &QAction::setEnabled);
    editMenu->addSeparator();
    editMenu->addAction(QStringLiteral("Cu&t"), m_edit, &QPlainTextEdit::cut)->setShortcut(QKeySequence::Cut);
    editMenu->addAction(QStringLiteral("&Copy"), m_edit, &QPlainTextEdit::copy)->setShortcut(QKeySequence::Copy);
    editMenu->addAction(QStringLiteral("&Paste"), m_edit, &QPlainTextEdit::paste)->setShortcut(QKeySequence::Paste);
    editMenu->addSeparator();
    editMenu->addAction(QStringLiteral("Select &All"), m_edit, &QPlainTextEdit::selectAll)
        ->setShortcut(QKeySequence::SelectAll);
}

void EditorWindow::BuildStatusBar() {
    m_cursorLabel = new QLabel(this);
    m_formatLabel = new QLabel(this);
    statusBar()->addPermanentWidget(m_cursorLabel);
    statusBar()->addPermanentWidget(m_formatLabel);
    UpdateCursorLabel();
    UpdateFormatLabel();
}

void EditorWindow::UpdateFormatLabel() {
    QString encoding = m_format.encoding == TextEncoding::Latin1 ? QStringLiteral("Latin-1")
                       : m_format.byteOrderMark                  ? QStringLiteral("UTF-8 with BOM")
                                                                 : QStringLiteral("UTF-8");
    QString lineEnd = m_format.lineEnd == LineEnd::CrLf ? QStringLiteral("CR LF") : QStringLiteral("LF");
    m_formatLabel->setText(QStringLiteral("  %1  %2  ").arg(encoding, lineEnd));
}

void EditorWindow::UpdateCursorLabel() {
    QTextCursor cursor = m_edit->textCursor();
    m_cursorLabel->setText(QStringLiteral("  Ln %1, Col %2  ")
                               .arg(cursor.blockNumber() + 1)
                               .arg(cursor.positionInBlock() + 1));
}

bool EditorWindow::Load() {
    QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink()) {
        m_newFile = true;
        statusBar()->showMessage(QStringLiteral("New file: it is created when you save."));
        return true;
    }
    auto bytes = m_app.ReadFileOrReport(m_path);
    if (!bytes) return false;
    DecodedText decoded = DecodeTextFile(*bytes);
    m_format = decoded.format;
    m_edit->setPlainText(QString::fromUtf8(decoded.text.data(), static_cast<qsizetype>(decoded.text.size())));
    m_edit->document()->setModified(false);
    UpdateFormatLabel();
    if (m_format.mixedLineEnds) {
        statusBar()->showMessage(QStringLiteral("The file mixes CR LF and LF line ends; it will be saved with %1 only.")
                                     .arg(m_format.lineEnd == LineEnd::CrLf ? QStringLiteral("CR LF")
                                                                           : QStringLiteral("LF")));
    }
    return true;
}

QString EditorWindow::EditedText() const {
    QString text;
    for (QTextBlock block = m_edit->document()->begin(); block.isValid(); block = block.next()) {
        if (block != m_edit->document()->begin()) text += QLatin1Char('\n');
        text += block.text();
    }
    return text;
}

bool EditorWindow::Save() {
    QByteArray utf8 = EditedText().toUtf8();
    std::string bytes = EncodeTextFile(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                                       m_format);
    QSaveFile file(m_path);
    // A writable file in a folder we may not create files in is still saved,
    // in place.
    file.setDirectWriteFallback(true);
    bool written = file.open(QIODevice::WriteOnly) &&
                   file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size()) &&
                   file.commit();
    if (!written) {
        m_app.ReportError(this, QStringLiteral("Cannot save \"%1\": %2").arg(m_path, file.errorString()));
        return false;
    }
    m_newFile = false;
    m_edit->document()->setModified(false);
    statusBar()->showMessage(QStringLiteral("Saved."), 3000);
    return true;
}

bool EditorWindow::MaySaveChanges() {
    if (!m_edit->document()->isModified()) return true;
    auto answer = QMessageBox::warning(
        this, QStringLiteral("CrystalEdit"),
        QStringLiteral("\"%1\" has been changed.\nDo you want to save your changes?").arg(m_path),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save) return Save();
    return answer == QMessageBox::Discard;
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    if (MaySaveChanges()) {
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace qvr::viewers
