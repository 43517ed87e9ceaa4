#include "ui/qt_message_box_host.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <vector>

#include "app/startup.h"

namespace qvr {
namespace {

QMessageBox::Icon ToQtIcon(MbIcon icon) {
    switch (icon) {
    case MbIcon::Stop: return QMessageBox::Critical;
    case MbIcon::Exclamation: return QMessageBox::Warning;
    case MbIcon::Question: return QMessageBox::Question;
    case MbIcon::Information: return QMessageBox::Information;
    case MbIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MbButtons buttons) {
    switch (buttons) {
    case MbButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MbButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MbButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MbButtons::Ok: break;
    }
    return QMessageBox::Ok;
}

int ToResult(int qtButton) {
    switch (qtButton) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDOK;
    }
}

// While a box waits for the user, the wait cursor of the step that shows it
// is taken away, and put back as it was when the box is closed.
class NormalCursorScope {
public:
    NormalCursorScope() {
        while (QApplication::overrideCursor()) {
            m_cursors.push_back(*QApplication::overrideCursor());
            QApplication::restoreOverrideCursor();
        }
    }
    ~NormalCursorScope() {
        for (auto it = m_cursors.rbegin(); it != m_cursors.rend(); ++it) QApplication::setOverrideCursor(*it);
    }
    NormalCursorScope(const NormalCursorScope&) = delete;
    NormalCursorScope& operator=(const NormalCursorScope&) = delete;

private:
    std::vector<QCursor> m_cursors;
};

}  // namespace

QString SaveDialogStartFolder(const std::string& startFolder) {
    // A folder name given to the save dialog must not become the file name:
    // the folder when it exists (with a separator, so no name is typed in),
    // else the current folder.
    const QFileInfo folder(QString::fromStdString(startFolder));
    const QString path = !startFolder.empty() && folder.isDir() ? folder.absoluteFilePath() : QDir::currentPath();
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

int QtMessageBoxHost::MessageBox(const std::string& text, MbButtons buttons, MbIcon icon) {
    NormalCursorScope cursor;
    QMessageBox box(ToQtIcon(icon), QString::fromLatin1(kProgramName), QString::fromStdString(text),
                    ToQtButtons(buttons), m_owner);
    // Brought to the front and given the focus, but not kept above every
    // other application's windows.
    box.show();
    box.raise();
    box.activateWindow();
    return ToResult(box.exec());
}

std::optional<std::string> QtMessageBoxHost::BrowseForFolder(const std::string& title,
                                                             const std::string& startFolder) {
    NormalCursorScope cursor;
    QString chosen = QFileDialog::getExistingDirectory(m_owner, QString::fromStdString(title),
                                                       QString::fromStdString(startFolder));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

std::optional<std::string> QtMessageBoxHost::GetSaveFileName(const std::string& startFolder,
                                                             const std::string& filter) {
    NormalCursorScope cursor;
    QString chosen = QFileDialog::getSaveFileName(m_owner, QString(), SaveDialogStartFolder(startFolder),
                                                  QString::fromStdString(filter));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

}  // namespace qvr
