// The widget style of the main window: the application's style with the inner sizes of the
// controls the window was laid out for. A drop-down list keeps a 16-pixel arrow button and a
// 2-pixel frame, so that its longest item fits the list's width; a page tab is as high as the
// window's font needs and no more, so that the pages keep the height their panels were drawn
// for.
#pragma once

class QStyle;
class QWidget;

namespace holvane {

// One style for every window of the program; it lives as long as the application.
QStyle* WindowStyle();

// Gives the widget and everything on it the window style.
void UseWindowStyle(QWidget& widget);

}  // namespace holvane
