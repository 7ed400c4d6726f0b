// Writes the program's icon as PNG files for the desktop's icon theme:
// icon_png <folder> <size>... gives <folder>/<size>x<size>/apps/pumpdiag.png.
// The picture is the window's own 32 x 32 one; larger sizes repeat its pixels
// so the strokes stay crisp, smaller ones are scaled down smoothly.
#include <cstdio>
#include <cstdlib>

#include <QDir>
#include <QImage>

#include "window/qt/pictures.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: icon_png <folder> <size>...\n", stderr);
        return 2;
    }
    const QImage icon = window::ProgramIconImage();
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "icon_png: bad size %s\n", argv[i]);
            return 2;
        }
        const bool whole = size % icon.width() == 0;
        const QImage image =
            icon.scaled(size, size, Qt::IgnoreAspectRatio, whole ? Qt::FastTransformation : Qt::SmoothTransformation);
        const QString folder = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + "/pumpdiag.png", "PNG")) {
            std::fprintf(stderr, "icon_png: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
