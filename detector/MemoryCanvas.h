// A pattern canvas over plain RGB pixels in memory, white when created. Painting outside the
// canvas is clipped. Text is drawn in a built-in 5 x 7 capitals font, 6 pixels a character.
#pragma once

#include <vector>

#include "PatternCanvas.h"

namespace holvane {

class MemoryCanvas final : public PixelCanvas {
public:
    MemoryCanvas(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Throws std::out_of_range for a point outside the canvas.
    Rgb Pixel(int x, int y) const;

    void FillRect(const Rect& rect, Rgb colour) override;
    void WriteText(int x, int y, std::string_view text, Rgb colour) override;

private:
    void PlotPixel(int x, int y, Rgb colour) override;

    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

}  // namespace holvane
