#include "ProgramIconArt.h"

#include <QColor>
#include <QPainter>
#include <QPen>
#include <QRectF>
#include <algorithm>

namespace holvane {

namespace {

// A 5 x 5 pattern: a small diamond.
constexpr bool Cells[5][5] = {
    {false, false, true, false, false}, {false, true, true, true, false},
    {true, true, true, true, true},     {false, true, true, true, false},
    {false, false, true, false, false},
};

}  // namespace

QImage DrawProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(49, 101, 206));
    painter.drawRoundedRect(QRectF(0.04 * s, 0.04 * s, 0.92 * s, 0.92 * s), 0.18 * s, 0.18 * s);

    QPen ring(QColor(255, 255, 255));
    ring.setWidthF(std::max(1.0, 0.08 * s));
    painter.setPen(ring);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(0.16 * s, 0.16 * s, 0.68 * s, 0.68 * s));

    const double cell = 0.075 * s;
    const double origin = 0.5 * s - 2.5 * cell;
    painter.setPen(Qt::NoPen);
    for (int row = 0; row < 5; ++row) {
        for (int column = 0; column < 5; ++column) {
            painter.setBrush(Cells[row][column] ? QColor(255, 255, 255) : QColor(123, 158, 189));
            painter.drawRect(
                QRectF(origin + column * cell, origin + row * cell, cell * 0.9, cell * 0.9));
        }
    }
    painter.end();
    return image;
}

}  // namespace holvane
