// The two pictures drawn from a pattern: the full 102 x 73 picture (2 x 2 pixels a cell) and the
// small 52 x 38 exchange picture (one pixel a cell). Both read only the cell grid, bytes 12..261;
// header and trailer pass through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "PatternCanvas.h"
#include "PatternGrid.h"
#include "Records.h"

namespace holvane {

inline constexpr int PatternPictureWidth = 102;
inline constexpr int PatternPictureHeight = 73;
inline constexpr int SmallPatternPictureWidth = 52;
inline constexpr int SmallPatternPictureHeight = 38;

inline constexpr Rgb PictureWhite{255, 255, 255};
inline constexpr Rgb PictureFrame{123, 158, 189};
inline constexpr Rgb CellOn{128, 128, 128};
inline constexpr Rgb CellOff{255, 255, 255};
inline constexpr Rgb EmptyPictureText{192, 192, 192};

// The full drawing repaints the whole picture: white, the frame, then either the cells or, with
// no pattern, the text "PATTERN".
void DrawPattern(PatternCanvas& canvas, std::optional<PatternView> pattern);

// The small drawing paints no background: the frame (whose bottom row is 36, so row 37 is never
// painted), then either the cells or "pattern" over whatever was there.
void DrawSmallPattern(PatternCanvas& canvas, std::optional<PatternView> pattern);

}  // namespace holvane
