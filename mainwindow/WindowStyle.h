// The widget style of the main window: the application's style with the inner sizes of the
// controls the window was laid out for. A drop-down list keeps a 16-pixel arrow button and a
// 2-pixel frame, so that its longest item fits the list's width; a page tab is as high as the
// window's font needs and no more, so that the pages keep the height their panels were drawn
// for.
#pragma once

#include <QColor>

class QPalette;
class QStyle;
class QWidget;

namespace holvane {

// One style for every window of the program; it lives as long as the application.
QStyle* WindowStyle();

// Gives the widget and everything on it the window style.
void UseWindowStyle(QWidget& widget);

// A palette of light text on dark windows, as a dark desktop theme gives.
bool IsDarkPalette(const QPalette& palette);

// How far apart two colours are for the eye: the ratio of their relative luminances, each
// plus 0.05, the lighter over the darker (1 for equal colours, 21 for black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// The colour moved towards white on a dark background (towards black on a light one) as little
// as makes it readable there: a contrast of at least 4.5. A readable colour comes back as it is.
QColor ReadableOn(const QColor& colour, const QColor& background);

}  // namespace holvane
