#include "PatternPicture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "MemoryCanvas.h"

using namespace holvane;

namespace {

constexpr Rgb Red{255, 0, 0};

PatternRecord Grid(std::uint8_t value) {
    PatternRecord p{};
    std::fill(p.begin() + 12, p.begin() + 262, value);
    return p;
}

// Compares every pixel of the canvas with the expected colour; reports the first few differences.
void ExpectPixels(const MemoryCanvas& canvas, const std::function<Rgb(int, int)>& expected) {
    int differences = 0;
    for (int y = 0; y < canvas.Height(); ++y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            const Rgb want = expected(x, y);
            const Rgb got = canvas.Pixel(x, y);
            if (!(got == want) && ++differences <= 5) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << int(got.red) << ","
                              << int(got.green) << "," << int(got.blue) << ", expected "
                              << int(want.red) << "," << int(want.green) << "," << int(want.blue);
            }
        }
    }
}

int CountPixels(const MemoryCanvas& canvas, Rgb colour) {
    int n = 0;
    for (int y = 0; y < canvas.Height(); ++y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            n += canvas.Pixel(x, y) == colour ? 1 : 0;
        }
    }
    return n;
}

// The full picture of a pattern: the frame, then each cell as the 2 x 2 block at columns
// 1 + 2c .. 2 + 2c and rows 1 + 2r .. 2 + 2r, white elsewhere.
Rgb FullPixel(const PatternRecord& p, int x, int y) {
    if (x == 0 || x == 101 || y == 0 || y == 72) {
        return PictureFrame;
    }
    if (y <= 70) {
        return PatternCell(p, (y - 1) / 2, (x - 1) / 2) ? CellOn : CellOff;
    }
    return PictureWhite;
}

// The small picture over a red canvas: the frame, each cell the pixel (1 + c, 1 + r); the bottom
// row lies below the frame and is never painted.
Rgb SmallPixel(const PatternRecord& p, int x, int y) {
    if (y == 37) {
        return Red;
    }
    if (x == 0 || x == 51 || y == 0 || y == 36) {
        return PictureFrame;
    }
    return PatternCell(p, y - 1, x - 1) ? CellOn : CellOff;
}

MemoryCanvas RedCanvas(int w, int h) {
    MemoryCanvas canvas(w, h);
    canvas.FillRect({0, 0, w, h}, Red);
    return canvas;
}

}  // namespace

TEST(MemoryCanvasTest, PenGeometry) {
    MemoryCanvas canvas(10, 10);
    EXPECT_EQ(CountPixels(canvas, PictureWhite), 100);
    canvas.SetPen(PenStyle::Solid, 2, Red);
    canvas.MoveTo(5, 1);
    canvas.LineTo(5, 4);  // rows 1..3 of columns 4 and 5
    canvas.SetPen(PenStyle::Solid, 1, CellOn);
    canvas.LineTo(5, 6);  // starts where the last line ended: rows 4, 5 of column 5
    canvas.MoveTo(1, 8);
    canvas.SetPen(PenStyle::Solid, 2, CellOff);
    canvas.LineTo(1, 8);  // nothing
    ExpectPixels(canvas, [](int x, int y) {
        if ((x == 4 || x == 5) && y >= 1 && y <= 3) {
            return Red;
        }
        if (x == 5 && (y == 4 || y == 5)) {
            return CellOn;
        }
        return PictureWhite;
    });

    MemoryCanvas across(10, 10);
    across.SetPen(PenStyle::Solid, 2, Red);
    across.MoveTo(2, 5);
    across.LineTo(6, 5);  // columns 2..5 of rows 4 and 5
    across.FrameRect({0, 0, 10, 3}, CellOn);
    ExpectPixels(across, [](int x, int y) {
        if (y <= 2 && (y == 0 || y == 2 || x == 0 || x == 9)) {
            return CellOn;
        }
        return (y == 4 || y == 5) && x >= 2 && x <= 5 ? Red : PictureWhite;
    });
    EXPECT_THROW((void)across.Pixel(10, 0), std::out_of_range);
}

TEST(PatternCellTest, CellAddressing) {
    struct Case {
        std::size_t byte;
        std::uint8_t value;
        int row;
        int column;
    };
    const Case cases[] = {
        {12, 0x01, 0, 0},     // top left
        {16, 0x04, 34, 0},    // bottom left
        {257, 0x01, 0, 49},   // top right
        {261, 0x04, 34, 49},  // bottom right
        {13, 0x80, 15, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.byte);
        PatternRecord p{};
        p[c.byte] = c.value;
        EXPECT_EQ(PatternCellByte(c.row, c.column), c.byte);
        int on = 0;
        for (int r = 0; r < PatternRows; ++r) {
            for (int col = 0; col < PatternColumns; ++col) {
                on += PatternCell(p, r, col) ? 1 : 0;
            }
        }
        EXPECT_EQ(on, 1);
        EXPECT_TRUE(PatternCell(p, c.row, c.column));

        MemoryCanvas full(PatternPictureWidth, PatternPictureHeight);
        DrawPattern(full, p);
        ExpectPixels(full, [&](int x, int y) { return FullPixel(p, x, y); });
        EXPECT_EQ(full.Pixel(1 + 2 * c.column, 1 + 2 * c.row), CellOn);
        EXPECT_EQ(full.Pixel(2 + 2 * c.column, 2 + 2 * c.row), CellOn);
        EXPECT_EQ(CountPixels(full, CellOn), 4);

        MemoryCanvas small = RedCanvas(SmallPatternPictureWidth, SmallPatternPictureHeight);
        DrawSmallPattern(small, p);
        ExpectPixels(small, [&](int x, int y) { return SmallPixel(p, x, y); });
        EXPECT_EQ(small.Pixel(1 + c.column, 1 + c.row), CellOn);
        EXPECT_EQ(CountPixels(small, CellOn), 1);
    }
}

TEST(DrawPatternTest, EmptyStateAndAllZeroGridDifferOnlyByTheText) {
    MemoryCanvas empty(PatternPictureWidth, PatternPictureHeight);
    DrawPattern(empty, std::nullopt);
    MemoryCanvas zero(PatternPictureWidth, PatternPictureHeight);
    DrawPattern(zero, Grid(0x00));
    const PatternRecord blank = Grid(0x00);
    ExpectPixels(zero, [&](int x, int y) { return FullPixel(blank, x, y); });

    int text = 0;
    for (int y = 0; y < PatternPictureHeight; ++y) {
        for (int x = 0; x < PatternPictureWidth; ++x) {
            if (empty.Pixel(x, y) == EmptyPictureText) {
                ++text;
                EXPECT_TRUE(x >= 25 && y >= 30 && x <= 100 && y <= 70) << x << "," << y;
            } else {
                EXPECT_EQ(empty.Pixel(x, y), zero.Pixel(x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(text, 20);
}

TEST(DrawPatternTest, AllCellsOnAndBytesThatAreNoCells) {
    PatternRecord full = Grid(0xFF);
    MemoryCanvas reference(PatternPictureWidth, PatternPictureHeight);
    DrawPattern(reference, full);
    ExpectPixels(reference, [&](int x, int y) { return FullPixel(full, x, y); });
    EXPECT_EQ(CountPixels(reference, CellOn), 4 * PatternRows * PatternColumns);

    // Bits 3..7 of every column's fifth byte, the header and the trailer are not drawn.
    for (int c = 0; c < PatternColumns; ++c) {
        full[PatternCellByte(34, c)] = 0x07;
    }
    for (std::size_t i = 0; i < 12; ++i) {
        full[i] = static_cast<std::uint8_t>(0x55 + i);
    }
    for (std::size_t i = 262; i < PatternSize; ++i) {
        full[i] = 0xAA;
    }
    MemoryCanvas small = RedCanvas(SmallPatternPictureWidth, SmallPatternPictureHeight);
    MemoryCanvas smallReference = RedCanvas(SmallPatternPictureWidth, SmallPatternPictureHeight);
    DrawSmallPattern(smallReference, Grid(0xFF));
    DrawSmallPattern(small, full);
    MemoryCanvas changed(PatternPictureWidth, PatternPictureHeight);
    DrawPattern(changed, full);
    ExpectPixels(changed, [&](int x, int y) { return reference.Pixel(x, y); });
    ExpectPixels(small, [&](int x, int y) { return smallReference.Pixel(x, y); });

    PatternRecord header = Grid(0x00);
    header.fill(0xFF);
    std::fill(header.begin() + 12, header.begin() + 262, 0x00);
    for (int c = 0; c < PatternColumns; ++c) {
        header[PatternCellByte(34, c)] = 0xF8;
    }
    MemoryCanvas none(PatternPictureWidth, PatternPictureHeight);
    DrawPattern(none, header);
    EXPECT_EQ(CountPixels(none, CellOn), 0);
}

TEST(DrawPatternTest, PatternOverTheEmptyStateLeavesNoText) {
    MemoryCanvas canvas(PatternPictureWidth, PatternPictureHeight);
    DrawPattern(canvas, std::nullopt);
    const PatternRecord blank = Grid(0x00);
    ModeRecord mode{};
    std::ranges::copy(blank, PatternOf(mode).begin());
    DrawPattern(canvas, PatternOf(mode));
    ExpectPixels(canvas, [&](int x, int y) { return FullPixel(blank, x, y); });
}

TEST(DrawSmallPatternTest, EmptyStatePaintsOnlyFrameAndText) {
    MemoryCanvas canvas = RedCanvas(SmallPatternPictureWidth, SmallPatternPictureHeight);
    DrawSmallPattern(canvas, std::nullopt);
    int text = 0;
    for (int y = 0; y < SmallPatternPictureHeight; ++y) {
        for (int x = 0; x < SmallPatternPictureWidth; ++x) {
            const Rgb got = canvas.Pixel(x, y);
            if (y < 37 && (x == 0 || x == 51 || y == 0 || y == 36)) {
                EXPECT_EQ(got, PictureFrame) << x << "," << y;
            } else if (got == EmptyPictureText) {
                ++text;
                EXPECT_TRUE(x >= 1 && x <= 50 && y >= 10 && y <= 35) << x << "," << y;
            } else {
                EXPECT_EQ(got, Red) << x << "," << y;
            }
        }
    }
    EXPECT_GT(text, 20);
}

TEST(DrawSmallPatternTest, DrawingsOverEachOther) {
    const PatternRecord full = Grid(0xFF);
    // A pattern covers the text completely.
    MemoryCanvas canvas = RedCanvas(SmallPatternPictureWidth, SmallPatternPictureHeight);
    DrawSmallPattern(canvas, std::nullopt);
    DrawSmallPattern(canvas, full);
    ExpectPixels(canvas, [&](int x, int y) { return SmallPixel(full, x, y); });

    // The empty state leaves the old cells where the text does not cover them.
    DrawSmallPattern(canvas, std::nullopt);
    int text = 0;
    for (int y = 0; y < SmallPatternPictureHeight; ++y) {
        for (int x = 0; x < SmallPatternPictureWidth; ++x) {
            if (canvas.Pixel(x, y) == EmptyPictureText) {
                ++text;
            } else {
                EXPECT_EQ(canvas.Pixel(x, y), SmallPixel(full, x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(text, 20);
    EXPECT_GT(CountPixels(canvas, CellOn), 1000);
}
