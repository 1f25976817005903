// The splash window: borderless, without title bar, 305 x 226, centred on the desktop and filled
// by one picture. It is shown while the main window is being built.
#pragma once

#include <QWidget>

namespace holvane {

class TSplashForm final : public QWidget {
    Q_OBJECT

public:
    TSplashForm();

    // Shows the window and paints it at once, before the event loop runs.
    void ShowNow();

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace holvane
