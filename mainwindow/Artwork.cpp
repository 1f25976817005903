#include "Artwork.h"

#include "ProgramIconArt.h"
#include "WindowStyle.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace holvane {

namespace {

const QColor Navy(28, 52, 96);
const QColor Steel(123, 158, 189);
const QColor Sky(214, 228, 242);
const QColor Gold(226, 180, 72);

// The detector as a sign: a search coil seen at a slant, with its shaft and handle.
void PaintDetector(QPainter& p, const QRectF& coil, const QColor& colour, qreal width) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(coil);
    p.drawEllipse(coil.adjusted(coil.width() * 0.18, coil.height() * 0.22, -coil.width() * 0.18,
                                -coil.height() * 0.22));
    const QPointF top(coil.center().x() + coil.width() * 0.15, coil.top() - coil.height() * 1.6);
    p.drawLine(QPointF(coil.center().x(), coil.center().y()), top);
    p.drawLine(top, top + QPointF(coil.width() * 0.3, -coil.height() * 0.25));
}

// Rings that spread from the coil into the ground, as the detector's field does.
void PaintField(QPainter& p, const QPointF& centre, qreal step, int count, const QColor& colour) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= count; ++i) {
        QColor ring = colour;
        ring.setAlphaF(0.5 * (count - i + 1) / count);
        p.setPen(QPen(ring, 1.5));
        p.drawArc(QRectF(centre.x() - step * i * 1.6, centre.y() - step * i * 0.5, step * i * 3.2,
                         step * i),
                  180 * 16, 180 * 16);
    }
}

// The product's name: "VANTOR" in bold white, "Tradix" smaller in gold below it.
void PaintName(QPainter& p, QPoint at, int pixels, int width) {
    QFont title(QStringLiteral("Sans Serif"));
    title.setPixelSize(pixels);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    const int nameHeight = pixels * 6 / 5;
    p.drawText(QRect(at.x(), at.y(), width, nameHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("VANTOR"));
    title.setPixelSize(pixels * 2 / 3);
    title.setBold(false);
    p.setFont(title);
    p.setPen(Gold);
    p.drawText(QRect(at.x() + 2, at.y() + nameHeight, width, pixels * 5 / 6),
               Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tradix"));
}

}  // namespace

QPixmap SplashPicture() {
    QPixmap picture(SplashWidth, SplashHeight);
    QPainter p(&picture);
    QLinearGradient sky(0, 0, 0, SplashHeight);
    sky.setColorAt(0.0, Navy);
    sky.setColorAt(0.62, QColor(58, 96, 150));
    sky.setColorAt(0.63, QColor(104, 82, 58));
    sky.setColorAt(1.0, QColor(60, 44, 30));
    p.fillRect(picture.rect(), sky);
    PaintField(p, QPointF(222, 150), 12, 5, Gold);
    PaintDetector(p, QRectF(196, 132, 52, 18), Qt::white, 3);
    // A find in the ground.
    p.setPen(Qt::NoPen);
    QRadialGradient glint(QPointF(226, 200), 9);
    glint.setColorAt(0, QColor(255, 240, 170));
    glint.setColorAt(1, Gold.darker(140));
    p.setBrush(glint);
    p.drawEllipse(QPointF(226, 200), 7, 4);

    PaintName(p, QPoint(18, 26), 34, 280);
    QFont small(QStringLiteral("Sans Serif"));
    small.setPixelSize(11);
    p.setFont(small);
    p.setPen(Sky);
    p.drawText(QRect(20, 98, 170, 30), Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("Detector settings on your PC"));
    p.setPen(QColor(255, 255, 255, 160));
    p.drawText(QRect(20, 200, 170, 16), Qt::AlignLeft, QStringLiteral("Loading..."));
    return picture;
}

QPixmap AboutPicture() {
    QPixmap picture(AboutPictureWidth, AboutPictureHeight);
    QPainter p(&picture);
    QLinearGradient band(0, 0, AboutPictureWidth, 0);
    band.setColorAt(0.0, Navy);
    band.setColorAt(1.0, QColor(70, 112, 168));
    p.fillRect(picture.rect(), band);
    PaintField(p, QPointF(52, 96), 9, 4, Gold);
    PaintDetector(p, QRectF(32, 84, 40, 14), Qt::white, 2.5);
    PaintName(p, QPoint(110, 26), 26, 180);
    return picture;
}

namespace {

struct PanelShades {
    QColor top;
    QColor bottom;
};

PanelShades ShadesFor(const QPalette& palette) {
    if (IsDarkPalette(palette)) {
        const QColor face = palette.color(QPalette::Button);
        return {face.lighter(125), face.lighter(112)};
    }
    return {QColor(232, 240, 249), QColor(246, 249, 253)};
}

}  // namespace

QColor PanelLightest(const QPalette& palette) {
    const PanelShades shades = ShadesFor(palette);
    return shades.top.lightness() > shades.bottom.lightness() ? shades.top : shades.bottom;
}

QPixmap PanelPicture(int height, const QPalette& palette) {
    QPixmap picture(PanelPictureWidth, height);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, true);
    const PanelShades shades = ShadesFor(palette);
    QLinearGradient shade(0, 0, 0, height);
    shade.setColorAt(0.0, shades.top);
    shade.setColorAt(1.0, shades.bottom);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(0.5, 0.5, PanelPictureWidth - 1, height - 1), 6, 6);
    p.fillPath(panel, shade);
    p.setPen(QPen(Steel.lighter(120), 1));
    p.drawPath(panel);
    // A faint field rising from the panel's lower right corner.
    PaintField(p, QPointF(PanelPictureWidth - 40, height + 4), 14, 4, Steel.lighter(115));
    return picture;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : ProgramIconSizes) {
        icon.addPixmap(QPixmap::fromImage(DrawProgramIcon(size)));
    }
    return icon;
}

}  // namespace holvane
