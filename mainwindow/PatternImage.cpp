#include "PatternImage.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

#include "PatternCanvas.h"

namespace holvane {

namespace {

QColor ToQColor(Rgb colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

}  // namespace

PatternImage::PatternImage(int width, int height, QWidget* parent)
    : QWidget(parent),
      bitmap_(width, height, QImage::Format_RGB32),
      popupMenu_(new QMenu(this)),
      saveItem_(popupMenu_->addAction(QStringLiteral("Save Pattern..."))) {
    setFixedSize(width, height);
    setFocusPolicy(Qt::StrongFocus);
    bitmap_.fill(Qt::white);
    saveItem_->setEnabled(false);
}

void PatternImage::FillRect(const Rect& rect, Rgb colour) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) {
        return;
    }
    QPainter painter(&bitmap_);
    painter.fillRect(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                     ToQColor(colour));
    update();
}

void PatternImage::WriteText(int x, int y, std::string_view text, Rgb colour) {
    QPainter painter(&bitmap_);
    painter.setFont(font());
    painter.setPen(ToQColor(colour));
    // The point is the text's top-left corner; the background stays as it is.
    painter.drawText(QPoint(x, y + painter.fontMetrics().ascent()),
                     QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    update();
}

void PatternImage::PlotPixel(int x, int y, Rgb colour) {
    if (bitmap_.valid(x, y)) {
        bitmap_.setPixel(x, y, ToQColor(colour).rgb());
    }
}

void PatternImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, bitmap_);
    if (hasFocus()) {
        // Two lines, dark and light, so that the frame shows on any pattern.
        painter.setPen(QColor(0, 84, 166));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.setPen(Qt::white);
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void PatternImage::contextMenuEvent(QContextMenuEvent* event) {
    const QPoint at = event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                                  : mapToGlobal(rect().center());
    popupMenu_->popup(at);
}

void PatternImage::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        popupMenu_->popup(mapToGlobal(rect().center()));
        return;
    }
    QWidget::keyPressEvent(event);
}

void PatternImage::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void PatternImage::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

}  // namespace holvane
