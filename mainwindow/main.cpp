// holvane: the program on the detector attached over USB, through libtovra.so.
#include <QApplication>

#include "Startup.h"
#include "Vantor.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The detector link is bound to the library's exports when the program is loaded; the
    // program does not start without libtovra.so. Nothing here touches the detector.
    static_cast<void>(holvane::LibraryImports());
    return holvane::RunProgram(holvane::ProgramDesktopFile);
}
