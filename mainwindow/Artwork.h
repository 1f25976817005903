// The program's pictures, drawn in code: the splash picture, the About picture, the decorative
// background panels of the two pages and the program icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace holvane {

inline constexpr int SplashWidth = 305;
inline constexpr int SplashHeight = 226;
inline constexpr int AboutPictureWidth = 293;
inline constexpr int AboutPictureHeight = 157;
inline constexpr int PanelPictureWidth = 465;

QPixmap SplashPicture();
QPixmap AboutPicture();
// A soft panel behind one group of controls, PanelPictureWidth wide.
QPixmap PanelPicture(int height);
QIcon ProgramIcon();

}  // namespace holvane
