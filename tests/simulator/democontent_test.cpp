#include "DemoContent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>

#include "PatternGrid.h"
#include "SettingsRows.h"
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

// Every byte a settings grid shows is one the grid can hold: a list row's byte is one of its
// items, an integer row's lies within the row's limits.
TEST(DemoContentTest, SettingsLieWithinTheGridRanges) {
    VirtualDetector detector;
    SeedDemoContent(detector);
    const auto expectWithinRows = [](std::span<const SettingsRow> rows,
                                     std::span<const std::uint8_t> record) {
        for (const SettingsRow& row : rows) {
            SCOPED_TRACE(row.caption);
            const std::uint8_t value = record[row.field];
            if (row.kind == RowKind::Integer) {
                EXPECT_GE(value, row.minimum);
                EXPECT_LE(value, row.maximum);
            } else {
                EXPECT_NE(std::ranges::find(row.choices, value, &ListChoice::value),
                          row.choices.end())
                    << "byte " << int(value);
            }
        }
    };
    for (int slot = 0; slot < ModeSlotCount; ++slot) {
        SCOPED_TRACE(slot);
        expectWithinRows(ModeSettingsRows, ModeSettingsOf(detector.Mode(slot)));
    }
    expectWithinRows(UniversalSettingsRows, detector.UniversalSettings());
    expectWithinRows(PreferencesRows, detector.Preferences());
}
