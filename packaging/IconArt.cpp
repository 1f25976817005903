// Draws the program's icon at one size, at build time:  holvane-icon SIZE OUT.png
// The drawing is the window's own (ProgramIconArt).
#include <QFile>
#include <QImage>
#include <QSaveFile>
#include <cstdio>
#include <cstdlib>

#include "ProgramIconArt.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: holvane-icon SIZE OUT.png\n");
        return 2;
    }
    const int size = std::atoi(argv[1]);
    if (size < 16 || size > 1024) {
        std::fprintf(stderr, "holvane-icon: the size must be 16 to 1024\n");
        return 2;
    }
    QSaveFile out(QFile::decodeName(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || !holvane::DrawProgramIcon(size).save(&out, "PNG") ||
        !out.commit()) {
        std::fprintf(stderr, "holvane-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
