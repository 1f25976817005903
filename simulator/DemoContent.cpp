#include "DemoContent.h"

#include <array>
#include <cstdlib>
#include <string_view>

#include "PatternGrid.h"
#include "VirtualDetector.h"

namespace holvane::simulator {

namespace {

// 5 x 7 letters; '#' is an on cell.
struct Glyph {
    char letter;
    std::array<std::string_view, 7> rows;
};

constexpr std::array<Glyph, 11> Glyphs = {{
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
}};

constexpr int GlyphScale = 3;
constexpr int GlyphWidth = 5 * GlyphScale;
constexpr int GlyphHeight = 7 * GlyphScale;
constexpr int GlyphGap = 2 * GlyphScale;

const Glyph* FindGlyph(char letter) {
    for (const auto& glyph : Glyphs) {
        if (glyph.letter == letter) {
            return &glyph;
        }
    }
    return nullptr;
}

// The text, centred, in letters three cells to a dot.
PatternRecord Letters(std::string_view text) {
    PatternRecord pattern{};
    const int count = static_cast<int>(text.size());
    const int width = count * GlyphWidth + (count - 1) * GlyphGap;
    const int left = (PatternColumns - width) / 2;
    const int top = (PatternRows - GlyphHeight) / 2;
    for (int k = 0; k < count; ++k) {
        const Glyph* glyph = FindGlyph(text[static_cast<std::size_t>(k)]);
        if (glyph == nullptr) {
            continue;
        }
        for (int row = 0; row < GlyphHeight; ++row) {
            for (int col = 0; col < GlyphWidth; ++col) {
                const bool on = glyph->rows[static_cast<std::size_t>(row / GlyphScale)]
                                           [static_cast<std::size_t>(col / GlyphScale)] == '#';
                SetPatternCell(pattern, top + row, left + k * (GlyphWidth + GlyphGap) + col, on);
            }
        }
    }
    return pattern;
}

template <typename CellOn>
PatternRecord Shape(CellOn cellOn) {
    PatternRecord pattern{};
    for (int row = 0; row < PatternRows; ++row) {
        for (int col = 0; col < PatternColumns; ++col) {
            SetPatternCell(pattern, row, col, cellOn(row, col));
        }
    }
    return pattern;
}

PatternRecord Heart() {
    // (x² + y² - 1)³ - x² y³ <= 0, y pointing up.
    return Shape([](int row, int col) {
        const double x = (col - 24.5) / 16.0;
        const double y = (17.0 - row) / 14.0 + 0.15;
        const double a = x * x + y * y - 1.0;
        return a * a * a - x * x * y * y * y <= 0.0;
    });
}

PatternRecord Diagonal() {
    return Shape([](int row, int col) { return std::abs(col - row * 49 / 34) <= 1; });
}

PatternRecord Border() {
    return Shape([](int row, int col) {
        return row <= 1 || row >= PatternRows - 2 || col <= 1 || col >= PatternColumns - 2;
    });
}

PatternRecord Checkerboard() {
    return Shape([](int row, int col) { return ((row / 5) + (col / 5)) % 2 == 0; });
}

PatternRecord Disc() {
    return Shape([](int row, int col) {
        const int dx = col - 24;
        const int dy = row - 17;
        return dx * dx + dy * dy <= 14 * 14;
    });
}

struct DemoSettings {
    std::uint8_t gain, response, tones, ferrous, variability, limits, fast, deep, ground, trash;
};

ModeRecord DemoMode(int slot, const DemoSettings& s, const PatternRecord& pattern) {
    ModeRecord mode{};
    mode[10] = s.gain;
    mode[11] = s.response;
    mode[12] = s.tones;
    mode[13] = s.ferrous;
    mode[14] = s.variability;
    mode[15] = s.limits;
    mode[16] = s.fast;
    mode[17] = s.deep;
    mode[19] = s.ground;
    mode[21] = s.trash;
    mode[24] = static_cast<std::uint8_t>(slot);
    mode[25] = 1;
    std::copy(pattern.begin(), pattern.end(), mode.begin() + ModePatternOffset);
    return mode;
}

}  // namespace

void SeedDemoContent(VirtualDetector& detector) {
    // Factory modes: Coins, High Trash, Beach, Relics.
    detector.SetMode(0, DemoMode(0, {24, 0, 3, 0, 25, 30, 0, 0, 0, 0}, Letters("C")));
    detector.SetMode(1, DemoMode(1, {20, 1, 3, 1, 18, 28, 1, 0, 0, 1}, Letters("HT")));
    detector.SetMode(2, DemoMode(2, {18, 2, 2, 0, 22, 26, 0, 1, 1, 0}, Letters("B")));
    detector.SetMode(3, DemoMode(3, {26, 0, 3, 1, 15, 30, 0, 1, 0, 1}, Letters("R")));

    detector.SetMode(4, DemoMode(4, {22, 1, 1, 0, 20, 24, 1, 0, 0, 0}, Diagonal()));
    detector.SetMode(5, DemoMode(5, {16, 0, 0, 0, 10, 12, 0, 0, 0, 0}, PatternRecord{}));
    detector.SetMode(6, DemoMode(6, {28, 3, 2, 1, 27, 19, 0, 1, 1, 1}, Border()));
    detector.SetMode(7, DemoMode(7, {12, 2, 1, 0, 8, 9, 0, 0, 0, 0}, PatternRecord{}));
    detector.SetMode(8, DemoMode(8, {24, 0, 3, 0, 25, 30, 1, 1, 0, 0}, Heart()));
    detector.SetUserModePresent(4, true);
    detector.SetUserModePresent(5, false);
    detector.SetUserModePresent(6, true);
    detector.SetUserModePresent(7, false);

    detector.SetPattern(SwiftveilPatternSlot, Letters("SV"));
    detector.SetPattern(FirstMyPatternSlot + 0, Letters("HI"));
    detector.SetPattern(FirstMyPatternSlot + 1, Letters("X"));
    detector.SetPattern(FirstMyPatternSlot + 2, Checkerboard());
    detector.SetPattern(FirstMyPatternSlot + 3, Letters("OK"));
    detector.SetPattern(FirstMyPatternSlot + 4, Disc());
    detector.SetPattern(FirstMyPatternSlot + 5, PatternRecord{});

    // Universal settings: manual sensitivity 22, auto level -1, the rest near the defaults.
    detector.SetUniversalSettings({1, 22, 255, 28, 30, 30, 30, 15, 6, 0, 0, 1, 0, 0, 0, 0, 1, 0});
    // Preferences: pinpoint sizing, sensitivity shown, mode info shown, contrast 18.
    detector.SetPreferences({1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 18, 0, 0, 1, 0});
}

}  // namespace holvane::simulator
