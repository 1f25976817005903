#include "DemoContent.h"

#include <gtest/gtest.h>

#include <set>

#include "PatternGrid.h"
#include "VirtualDetector.h"

using namespace holvane;
using namespace holvane::simulator;

namespace {

int OnCells(const PatternRecord& pattern) {
    int on = 0;
    for (int row = 0; row < PatternRows; ++row) {
        for (int col = 0; col < PatternColumns; ++col) {
            on += PatternCell(pattern, row, col) ? 1 : 0;
        }
    }
    return on;
}

bool Within(std::uint8_t value, int low, int high) {
    return value >= low && value <= high;
}

}  // namespace

TEST(DemoContentTest, SeedsTwoUserModesAndRecognisablePatterns) {
    VirtualDetector detector;
    SeedDemoContent(detector);
    EXPECT_TRUE(detector.UserModePresent(4));
    EXPECT_FALSE(detector.UserModePresent(5));
    EXPECT_TRUE(detector.UserModePresent(6));
    EXPECT_FALSE(detector.UserModePresent(7));

    std::set<PatternRecord> distinct;
    for (int slot : {14, 16, 18, 19, 20, 21, 22, 23, 24}) {
        SCOPED_TRACE(slot);
        const auto pattern = detector.Pattern(slot);
        const int on = OnCells(pattern);
        EXPECT_GT(on, 20);
        EXPECT_LT(on, PatternRows * PatternColumns);
        EXPECT_TRUE(distinct.insert(pattern).second);
    }
    EXPECT_EQ(OnCells(detector.Pattern(25)), 0);

    // The border touches every edge cell; the diagonal runs corner to corner.
    const auto border = detector.Pattern(16);
    EXPECT_TRUE(PatternCell(border, 0, 0) && PatternCell(border, 34, 49));
    EXPECT_FALSE(PatternCell(border, 17, 25));
    const auto diagonal = detector.Pattern(14);
    EXPECT_TRUE(PatternCell(diagonal, 0, 0) && PatternCell(diagonal, 34, 49));
    EXPECT_FALSE(PatternCell(diagonal, 0, 49));
}

TEST(DemoContentTest, SettingsLieWithinTheGridRanges) {
    VirtualDetector detector;
    SeedDemoContent(detector);
    for (int slot = 0; slot < ModeSlotCount; ++slot) {
        SCOPED_TRACE(slot);
        const auto mode = detector.Mode(slot);
        EXPECT_TRUE(Within(mode[10], 1, 30));
        EXPECT_TRUE(Within(mode[11], 0, 3));
        EXPECT_TRUE(Within(mode[12], 0, 3));
        EXPECT_TRUE(Within(mode[14], 1, 30));
        EXPECT_TRUE(Within(mode[15], 1, 30));
        for (int b : {13, 16, 17, 19, 21}) {
            EXPECT_TRUE(Within(mode[b], 0, 1));
        }
    }
    const auto universal = detector.UniversalSettings();
    EXPECT_TRUE(Within(universal[1], 1, 30));
    EXPECT_TRUE(Within(universal[3], 0, 30));
    EXPECT_TRUE(Within(universal[5], 1, 50));
    EXPECT_TRUE(Within(universal[7], 1, 30));
    EXPECT_TRUE(Within(universal[8], 1, 11));
    EXPECT_TRUE(Within(detector.Preferences()[11], 1, 30));
}
