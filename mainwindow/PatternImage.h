// A pattern picture of the main window: a retained bitmap of the picture's size, white when
// created, that the pattern drawings paint into through the pattern canvas and that the widget
// shows until the next drawing. Each picture has its own popup menu with the one item
// "Save Pattern...", disabled until a pattern is on show.
#pragma once

#include <QImage>
#include <QWidget>

#include "PatternCanvas.h"

class QAction;
class QMenu;

namespace holvane {

class PatternImage final : public QWidget, public PixelCanvas {
    Q_OBJECT

public:
    PatternImage(int width, int height, QWidget* parent = nullptr);

    const QImage& Bitmap() const { return bitmap_; }
    // The popup menu's "Save Pattern..." item.
    QAction* SaveItem() const { return saveItem_; }
    QMenu* PopupMenu() const { return popupMenu_; }

    void FillRect(const Rect& rect, Rgb colour) override;
    void WriteText(int x, int y, std::string_view text, Rgb colour) override;

protected:
    void PlotPixel(int x, int y, Rgb colour) override;
    void Painted() override { update(); }
    void paintEvent(QPaintEvent* event) override;
    // The popup menu opens on a right click, and for the focused picture on the menu key or
    // Shift+F10. The focused picture is framed.
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QImage bitmap_;
    QMenu* popupMenu_;
    QAction* saveItem_;
};

}  // namespace holvane
