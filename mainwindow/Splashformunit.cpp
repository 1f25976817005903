#include "Splashformunit.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "Artwork.h"

namespace holvane {

TSplashForm::TSplashForm()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("SplashForm"));
    setFixedSize(SplashWidth, SplashHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TSplashForm::ShowNow() {
    show();
    repaint();
    QGuiApplication::processEvents();
}

void TSplashForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, SplashPicture());
}

}  // namespace holvane
