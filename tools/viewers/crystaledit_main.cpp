// CrystalEdit FILE: a plain text editor for one file.

#include "tools/viewers/editor_window.h"
#include "tools/viewers/viewer_app.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qvr::viewers::ViewerApp viewer(app, QStringLiteral("CrystalEdit"), {QStringLiteral("FILE")});
    if (auto status = viewer.ParseCommandLine(1)) return *status;

    qvr::viewers::EditorWindow window(viewer, QString::fromLocal8Bit(viewer.Args().files[0].c_str()));
    if (!window.Load()) return 1;
    return viewer.Run(window);
}
