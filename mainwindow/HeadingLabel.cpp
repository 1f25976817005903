#include "HeadingLabel.h"

#include <QFontMetrics>
#include <QHash>
#include <QImage>
#include <QPainter>

namespace holvane {

namespace {

// How far the darkest pixel may fall short of the colour (sum of the three channels), and how
// much wider than the regular face's strokes a bold face's must be to read as bold.
constexpr int PalenessAllowed = 24;
constexpr double BoldToRegular = 1.4;

struct Ink {
    int paleness;        // how much lighter the darkest pixel is than the colour (sum of channels)
    double strokeWidth;  // in pixels
};

// The text drawn in its colour on white: its darkest pixel, and its strokes' width as the mean
// length of the horizontal runs of pixels nearer the darkest pixel than white.
Ink InkOf(const QFont& font, const QString& text, const QColor& colour) {
    const QFontMetrics metrics(font);
    QImage picture(metrics.horizontalAdvance(text) + 4, metrics.height() + 2, QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        painter.setFont(font);
        painter.setPen(colour);
        painter.drawText(QPoint(2, 1 + metrics.ascent()), text);
    }
    const auto darkness = [](QRgb pixel) {
        return 3 * 255 - qRed(pixel) - qGreen(pixel) - qBlue(pixel);
    };
    int darkest = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            darkest = std::max(darkest, darkness(picture.pixel(x, y)));
        }
    }
    int inkPixels = 0;
    int runs = 0;
    for (int y = 0; y < picture.height(); ++y) {
        bool inRun = false;
        for (int x = 0; x < picture.width(); ++x) {
            const bool dark = darkness(picture.pixel(x, y)) > darkest / 2;
            inkPixels += dark ? 1 : 0;
            runs += dark && !inRun ? 1 : 0;
            inRun = dark;
        }
    }
    const int full = darkness(colour.rgb());
    return {full - darkest, runs == 0 ? 0.0 : static_cast<double>(inkPixels) / runs};
}

}  // namespace

HeadingLabel::HeadingLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
}

bool HeadingLabel::DrawsThin(const QFont& font, const QString& text, const QColor& colour) {
    static QHash<QString, bool> known;
    const QString key = font.key() + QChar(u'\n') + colour.name() + text;
    if (const auto it = known.constFind(key); it != known.cend()) {
        return *it;
    }
    QFont regular = font;
    regular.setBold(false);
    const Ink bold = InkOf(font, text, colour);
    const Ink plain = InkOf(regular, text, colour);
    const bool thin =
        bold.paleness > PalenessAllowed || bold.strokeWidth < plain.strokeWidth * BoldToRegular;
    known.insert(key, thin);
    return thin;
}

QSize HeadingLabel::sizeHint() const {
    const QSize size = QLabel::sizeHint();
    return DrawsThin(font(), text(), palette().color(foregroundRole())) ? size + QSize(1, 0) : size;
}

QSize HeadingLabel::minimumSizeHint() const {
    const QSize size = QLabel::minimumSizeHint();
    return DrawsThin(font(), text(), palette().color(foregroundRole())) ? size + QSize(1, 0) : size;
}

void HeadingLabel::paintEvent(QPaintEvent* event) {
    if (!DrawsThin(font(), text(), palette().color(foregroundRole()))) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QFont whole = font();
    whole.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(whole);
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect().adjusted(0, 0, -1, 0);
    painter.drawText(area, static_cast<int>(alignment()), text());
    painter.drawText(area.translated(1, 0), static_cast<int>(alignment()), text());
}

}  // namespace holvane
