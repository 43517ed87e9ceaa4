// qvr-icon-export: writes the program's icon, drawn by the same code as the
// window's and the About box's, as DIR/SIZE/qvrcompare.png for each size
// given, for the desktop's icon theme.
// usage: qvr-icon-export DIR SIZE...

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "ui/program_icon.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("usage: qvr-icon-export DIR SIZE...\n", stderr);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString folder = dir + QLatin1Char('/') + QString::number(size);
        if (size <= 0 || !QDir().mkpath(folder) ||
            !qvr::ProgramIconPixmap(size).save(folder + QStringLiteral("/qvrcompare.png"), "PNG")) {
            std::fprintf(stderr, "qvr-icon-export: cannot write the %s pixel icon below %s\n", argv[i], argv[1]);
            return 1;
        }
    }
    return 0;
}
