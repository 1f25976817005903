#include "MemoryCanvas.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace holvane {

namespace {

inline constexpr int GlyphWidth = 5;
inline constexpr int GlyphHeight = 7;
inline constexpr int GlyphAdvance = GlyphWidth + 1;

using Glyph = std::array<std::uint8_t, GlyphHeight>;  // one row a byte, bit 4 leftmost

// A..Z, then 0..9.
constexpr std::array<Glyph, 36> Glyphs = {{
    {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}, {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E},
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}, {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10},
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}, {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}, {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C},
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}, {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F},
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}, {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}, {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}, {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}, {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
}};

// Small letters are drawn as capitals; characters without a glyph leave a blank.
const Glyph* GlyphOf(char c) {
    if (c >= 'a' && c <= 'z') {
        c = static_cast<char>(c - 'a' + 'A');
    }
    if (c >= 'A' && c <= 'Z') {
        return &Glyphs[static_cast<std::size_t>(c - 'A')];
    }
    if (c >= '0' && c <= '9') {
        return &Glyphs[static_cast<std::size_t>(26 + c - '0')];
    }
    return nullptr;
}

}  // namespace

MemoryCanvas::MemoryCanvas(int width, int height)
    : width_(width > 0 ? width : 0),
      height_(height > 0 ? height : 0),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
              Rgb{255, 255, 255}) {}

Rgb MemoryCanvas::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        throw std::out_of_range("pixel outside the canvas");
    }
    return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                   static_cast<std::size_t>(x)];
}

void MemoryCanvas::Plot(int x, int y, Rgb colour) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) {
        pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                static_cast<std::size_t>(x)] = colour;
    }
}

void MemoryCanvas::FillRect(const Rect& rect, Rgb colour) {
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            Plot(x, y, colour);
        }
    }
}

void MemoryCanvas::FrameRect(const Rect& rect, Rgb colour) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) {
        return;
    }
    FillRect({rect.left, rect.top, rect.right, rect.top + 1}, colour);
    FillRect({rect.left, rect.bottom - 1, rect.right, rect.bottom}, colour);
    FillRect({rect.left, rect.top, rect.left + 1, rect.bottom}, colour);
    FillRect({rect.right - 1, rect.top, rect.right, rect.bottom}, colour);
}

void MemoryCanvas::WriteText(int x, int y, std::string_view text, Rgb colour) {
    for (const char c : text) {
        if (const Glyph* glyph = GlyphOf(c)) {
            for (int row = 0; row < GlyphHeight; ++row) {
                for (int col = 0; col < GlyphWidth; ++col) {
                    if ((*glyph)[static_cast<std::size_t>(row)] >> (GlyphWidth - 1 - col) & 1) {
                        Plot(x + col, y + row, colour);
                    }
                }
            }
        }
        x += GlyphAdvance;
    }
}

void MemoryCanvas::SetPen(PenStyle, int width, Rgb colour) {
    penWidth_ = width > 0 ? width : 1;
    penColour_ = colour;
}

void MemoryCanvas::MoveTo(int x, int y) {
    penX_ = x;
    penY_ = y;
}

// Bresenham's line from the pen to (x, y) without its end point, each point widened across the
// line's main direction.
void MemoryCanvas::LineTo(int x, int y) {
    const int dx = std::abs(x - penX_);
    const int dy = std::abs(y - penY_);
    const int sx = x > penX_ ? 1 : -1;
    const int sy = y > penY_ ? 1 : -1;
    const bool mostlyVertical = dy > dx;
    const int spreadFrom = -(penWidth_ / 2);
    int px = penX_;
    int py = penY_;
    int error = dx - dy;
    while (px != x || py != y) {
        for (int k = spreadFrom; k < spreadFrom + penWidth_; ++k) {
            if (mostlyVertical) {
                Plot(px + k, py, penColour_);
            } else {
                Plot(px, py + k, penColour_);
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
    penX_ = x;
    penY_ = y;
}

}  // namespace holvane
