// HexViewer FILE: a read-only hex dump of one file.

#include "tools/viewers/hex_window.h"
#include "tools/viewers/viewer_app.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qvr::viewers::ViewerApp viewer(app, QStringLiteral("HexViewer"), {QStringLiteral("FILE")});
    if (auto status = viewer.ParseCommandLine(1)) return *status;

    qvr::viewers::HexWindow window(viewer, QString::fromLocal8Bit(viewer.Args().files[0].c_str()));
    if (!window.Load()) return 1;
    return viewer.Run(window);
}
