#include "PatternPicture.h"

namespace holvane {

namespace {

// One vertical stroke of a pen as wide as a cell per cell, column by column, top to bottom: the
// stroke of cell (r, c) runs from (x, 1 + size * r) to (x, 1 + size * (r + 1)) with
// x = size * (c + 1), so the cell covers columns x - size + 1 .. x below the frame's top row.
void DrawCells(PatternCanvas& canvas, PatternView pattern, int size) {
    for (int c = 0; c < PatternColumns; ++c) {
        const int x = size * (c + 1);
        canvas.MoveTo(x, 1);
        for (int r = 0; r < PatternRows; ++r) {
            canvas.SetPen(PenStyle::Solid, size, PatternCell(pattern, r, c) ? CellOn : CellOff);
            canvas.LineTo(x, 1 + size * (r + 1));
        }
    }
}

}  // namespace

void DrawPattern(PatternCanvas& canvas, std::optional<PatternView> pattern) {
    const Rect picture{0, 0, PatternPictureWidth, PatternPictureHeight};
    canvas.FillRect(picture, PictureWhite);
    canvas.FrameRect(picture, PictureFrame);
    if (!pattern) {
        canvas.WriteText(25, 30, "PATTERN", EmptyPictureText);
        return;
    }
    DrawCells(canvas, *pattern, 2);
}

void DrawSmallPattern(PatternCanvas& canvas, std::optional<PatternView> pattern) {
    canvas.FrameRect({0, 0, SmallPatternPictureWidth, SmallPatternPictureHeight - 1}, PictureFrame);
    if (!pattern) {
        canvas.WriteText(1, 10, "pattern", EmptyPictureText);
        return;
    }
    DrawCells(canvas, *pattern, 1);
}

}  // namespace holvane
