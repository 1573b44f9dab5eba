// Writes the program's icon as a PNG file: duskpane-icon OUTPUT.png [SIZE].
#include <QImage>

#include <cstdio>
#include <cstdlib>

#include "platform/linux/qt_ui.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: duskpane-icon OUTPUT.png [SIZE]\n", stderr);
        return 2;
    }
    const int size = argc > 2 ? std::atoi(argv[2]) : 32;
    if (size < 8 || size > 1024) {
        std::fputs("duskpane-icon: the size must be 8 to 1024 pixels\n", stderr);
        return 2;
    }
    if (!duskpane::DrawProgramIcon(size).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "duskpane-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
