// Windiff FILE1 FILE2: shows two files side by side with their differing
// lines marked.

#include "tools/viewers/diff_window.h"
#include "tools/viewers/line_diff.h"
#include "tools/viewers/viewer_app.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qvr::viewers::ViewerApp viewer(app, QStringLiteral("Windiff"),
                                   {QStringLiteral("FILE1"), QStringLiteral("FILE2")});
    if (auto status = viewer.ParseCommandLine(2)) return *status;

    const auto& files = viewer.Args().files;
    const QString leftPath = QString::fromLocal8Bit(files[0].c_str());
    const QString rightPath = QString::fromLocal8Bit(files[1].c_str());
    auto left = viewer.ReadFileOrReport(leftPath);
    if (!left) return 1;
    auto right = viewer.ReadFileOrReport(rightPath);
    if (!right) return 1;

    qvr::viewers::DiffWindow window(leftPath, rightPath, qvr::viewers::SplitLines(*left),
                                    qvr::viewers::SplitLines(*right));
    // Open on the first difference, the reason the viewer was started; once
    // the window has its size, so the difference can be centred.
    QTimer::singleShot(0, &window, &qvr::viewers::DiffWindow::NextDifference);
    return viewer.Run(window);
}
