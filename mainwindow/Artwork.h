// The program's pictures, drawn in code: the splash picture, the About picture, the decorative
// background panels of the two pages and the program icon.
#pragma once

#include <QIcon>
#include <QPalette>
#include <QPixmap>

namespace holvane {

inline constexpr int SplashWidth = 305;
inline constexpr int SplashHeight = 226;
inline constexpr int AboutPictureWidth = 293;
inline constexpr int AboutPictureHeight = 157;
inline constexpr int PanelPictureWidth = 465;

QPixmap SplashPicture();
QPixmap AboutPicture();
// A soft panel behind one group of controls, PanelPictureWidth wide: light, or in the shades of
// the palette's buttons where the palette is dark.
QPixmap PanelPicture(int height, const QPalette& palette);
// The lightest colour of the panel, that the texts on it must be read against.
QColor PanelLightest(const QPalette& palette);
// The sizes of the program's icon, as the launcher's icon files are made too.
inline constexpr int ProgramIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
// The program's icon: the launcher's drawing (ProgramIconArt) at each of those sizes.
QIcon ProgramIcon();

}  // namespace holvane
