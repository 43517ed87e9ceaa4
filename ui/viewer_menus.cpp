#include "ui/viewer_menus.h"

#include <QDesktopServices>
#include <QUrl>

namespace qvr {

std::unique_ptr<QMenu> BuildViewerMenu(ViewerMenu which, QWidget* parent) {
    if (which == ViewerMenu::None) return nullptr;
    const bool top = which == ViewerMenu::Top;
    auto menu = std::make_unique<QMenu>(parent);
    menu->setObjectName(QString::number(top ? kTopMenuId : kBottomMenuId));
    for (const ViewerMenuItem& item : top ? TopMenuItems() : BottomMenuItems()) {
        QAction* action = menu->addAction(QString::fromLatin1(item.text));
        action->setObjectName(QString::number(item.command));
        action->setData(item.command);
        action->setEnabled(false);
    }
    for (const ViewerMenuItem& item : top ? TopMenuItems() : BottomMenuItems()) {
        if (!item.enabled) continue;
        if (auto* action = menu->findChild<QAction*>(QString::number(item.command))) action->setEnabled(true);
    }
    return menu;
}

int TrackViewerMenu(QMenu& menu, const QPoint& screenPos, const MenuRunner& runner) {
    QAction* chosen = runner ? runner(menu, screenPos) : menu.exec(screenPos);
    if (!chosen || !chosen->isEnabled()) return 0;
    return chosen->data().toInt();
}

void OpenWithDesktop(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace qvr
