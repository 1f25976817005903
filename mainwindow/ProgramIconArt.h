// The program's icon, drawn in code at any size: the one drawing of the window's icon and of
// the launcher's icon files made at build time.
#pragma once

#include <QImage>

namespace holvane {

// A blue tile with the ring of a search coil and a small pattern of cells inside it, in the
// colours of the pattern pictures; transparent around the tile.
QImage DrawProgramIcon(int size);

}  // namespace holvane
