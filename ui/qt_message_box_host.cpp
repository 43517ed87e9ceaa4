#include "ui/qt_message_box_host.h"

#include <QFileDialog>
#include <QMessageBox>

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

}  // namespace

int QtMessageBoxHost::MessageBox(const std::string& text, MbButtons buttons, MbIcon icon) {
    QMessageBox box(ToQtIcon(icon), QString::fromLatin1(kProgramName), QString::fromStdString(text),
                    ToQtButtons(buttons), m_owner);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.show();
    box.raise();
    box.activateWindow();
    return ToResult(box.exec());
}

std::optional<std::string> QtMessageBoxHost::BrowseForFolder(const std::string& title,
                                                             const std::string& startFolder) {
    QString chosen = QFileDialog::getExistingDirectory(m_owner, QString::fromStdString(title),
                                                       QString::fromStdString(startFolder));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

std::optional<std::string> QtMessageBoxHost::GetSaveFileName(const std::string& startFolder,
                                                             const std::string& filter) {
    QString chosen = QFileDialog::getSaveFileName(m_owner, QString(), QString::fromStdString(startFolder),
                                                  QString::fromStdString(filter));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

}  // namespace qvr
