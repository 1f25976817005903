// The drawing surface of a pattern picture: a retained bitmap and the few operations the two
// pattern drawings use. Every implementation must give the same pixels for them:
//
// - Rectangles are left/top inclusive, right/bottom exclusive.
// - A line covers the points from its start up to, but not including, its end point, and leaves
//   the pen at the end point. A pen of width w spreads across the line's direction over the
//   w pixels from -w/2 to w-1-w/2 (integer division): a width-2 vertical line at x covers pixel
//   columns x-1 and x, a width-1 line column x only.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace holvane {

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    bool operator==(const Rgb&) const = default;
};

struct Rect {
    int left;
    int top;
    int right;
    int bottom;
};

enum class PenStyle { Solid };

class PatternCanvas {
public:
    virtual ~PatternCanvas() = default;

    // Fills the rectangle with the colour.
    virtual void FillRect(const Rect& rect, Rgb colour) = 0;
    // Draws the rectangle's outline one pixel wide: columns left and right-1, rows top and
    // bottom-1.
    virtual void FrameRect(const Rect& rect, Rgb colour) = 0;
    // Writes the text in the canvas's default font with its top-left corner at (x, y), on a
    // transparent background.
    virtual void WriteText(int x, int y, std::string_view text, Rgb colour) = 0;
    virtual void SetPen(PenStyle style, int width, Rgb colour) = 0;
    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
};

// A one-pixel frame as four fills: columns left and right-1, rows top and bottom-1. Canvases
// frame through it so that their frames agree pixel for pixel.
inline void FrameWithFills(PatternCanvas& canvas, const Rect& rect, Rgb colour) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) {
        return;
    }
    canvas.FillRect({rect.left, rect.top, rect.right, rect.top + 1}, colour);
    canvas.FillRect({rect.left, rect.bottom - 1, rect.right, rect.bottom}, colour);
    canvas.FillRect({rect.left, rect.top, rect.left + 1, rect.bottom}, colour);
    canvas.FillRect({rect.right - 1, rect.top, rect.right, rect.bottom}, colour);
}

// The pixels of a line of the given pen width from (x0, y0) to (x1, y1), its end point left out:
// Bresenham's line, each point widened across the line's main direction. Every canvas paints its
// lines through this one walk, so that all of them give the same pixels.
template <typename Plot>
void ForEachLinePixel(int x0, int y0, int x1, int y1, int width, Plot&& plot) {
    const int dx = std::abs(x1 - x0);
    const int dy = std::abs(y1 - y0);
    const int sx = x1 > x0 ? 1 : -1;
    const int sy = y1 > y0 ? 1 : -1;
    const bool mostlyVertical = dy > dx;
    const int spreadFrom = -(width / 2);
    int px = x0;
    int py = y0;
    int error = dx - dy;
    while (px != x1 || py != y1) {
        for (int k = spreadFrom; k < spreadFrom + width; ++k) {
            if (mostlyVertical) {
                plot(px + k, py);
            } else {
                plot(px, py + k);
            }
        }
        const int twice = 2 * error;
        if (twice > -dy) {
            error -= dy;
            px += sx;
        }
        if (twice < dx) {
            error += dx;
            py += sy;
        }
    }
}

// A canvas over a bitmap of pixels: frames, the pen and its lines are painted pixel by pixel
// through the walks above, so that every such canvas gives the same pixels. A canvas supplies
// its fill, its text and the painting of one pixel (clipped to the bitmap).
class PixelCanvas : public PatternCanvas {
public:
    void FrameRect(const Rect& rect, Rgb colour) override { FrameWithFills(*this, rect, colour); }
    void SetPen(PenStyle, int width, Rgb colour) override {
        penWidth_ = width > 0 ? width : 1;
        penColour_ = colour;
    }
    void MoveTo(int x, int y) override {
        penX_ = x;
        penY_ = y;
    }
    void LineTo(int x, int y) override {
        ForEachLinePixel(penX_, penY_, x, y, penWidth_,
                         [this](int px, int py) { PlotPixel(px, py, penColour_); });
        penX_ = x;
        penY_ = y;
        Painted();
    }

protected:
    // Paints one pixel; a point outside the bitmap is left out.
    virtual void PlotPixel(int x, int y, Rgb colour) = 0;
    // Called after a line has been painted (a widget schedules its repaint here).
    virtual void Painted() {}

private:
    int penX_ = 0;
    int penY_ = 0;
    int penWidth_ = 1;
    Rgb penColour_{0, 0, 0};
};

}  // namespace holvane
