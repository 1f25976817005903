#include "SettingsRows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

using namespace holvane;
using ::testing::ElementsAre;

namespace {

enum class Grid { Mode, Universal, Preferences };

std::span<const SettingsRow> RowsOf(Grid grid) {
    switch (grid) {
        case Grid::Mode:
            return ModeSettingsRows;
        case Grid::Universal:
            return UniversalSettingsRows;
        case Grid::Preferences:
            return PreferencesRows;
    }
    return {};
}

template <std::size_t N>
std::array<std::uint8_t, N> Counting(std::uint8_t from) {
    std::array<std::uint8_t, N> a;
    std::iota(a.begin(), a.end(), from);
    return a;
}

}  // namespace

TEST(SettingsRowsTest, TextByValueAndBack) {
    struct Case {
        Grid grid;
        int row;
        std::size_t field;
        std::uint8_t value;
        const char* text;
        std::uint8_t back;  // the byte the text builds
    };
    const Case cases[] = {
        {Grid::Mode, 0, 17, 1, "On", 1},
        {Grid::Mode, 0, 17, 0, "Off", 0},
        {Grid::Mode, 0, 17, 2, "Off", 0},
        {Grid::Mode, 1, 16, 1, "On", 1},
        {Grid::Mode, 1, 16, 7, "Off", 0},
        {Grid::Mode, 2, 21, 0, "High", 0},
        {Grid::Mode, 2, 21, 1, "Low", 1},
        {Grid::Mode, 2, 21, 2, "Low", 1},
        {Grid::Mode, 3, 19, 0, "Neutral", 0},
        {Grid::Mode, 3, 19, 200, "Difficult", 1},
        {Grid::Mode, 4, 10, 0, "0", 0},
        {Grid::Mode, 4, 10, 255, "255", 255},
        {Grid::Mode, 5, 11, 0, "Normal", 0},
        {Grid::Mode, 5, 11, 1, "Long", 1},
        {Grid::Mode, 5, 11, 2, "Smooth", 2},
        {Grid::Mode, 5, 11, 3, "Pitch Hold", 3},
        {Grid::Mode, 5, 11, 9, "Pitch Hold", 3},
        {Grid::Mode, 6, 12, 0, "1", 0},
        {Grid::Mode, 6, 12, 1, "2", 1},
        {Grid::Mode, 6, 12, 2, "4", 2},
        {Grid::Mode, 6, 12, 4, "Multi", 3},
        {Grid::Mode, 7, 13, 0, "Conduct", 0},
        {Grid::Mode, 7, 13, 5, "Ferrous", 1},
        {Grid::Mode, 8, 14, 25, "25", 25},
        {Grid::Mode, 9, 15, 30, "30", 30},
        {Grid::Universal, 0, 0, 0, "Auto", 0},
        {Grid::Universal, 0, 0, 2, "Manual", 1},
        {Grid::Universal, 1, 1, 22, "22", 22},
        {Grid::Universal, 2, 2, 253, "-3", 253},
        {Grid::Universal, 2, 2, 254, "-2", 254},
        {Grid::Universal, 2, 2, 255, "-1", 255},
        {Grid::Universal, 2, 2, 0, "A", 0},
        {Grid::Universal, 2, 2, 1, "1", 1},
        {Grid::Universal, 2, 2, 3, "3", 3},
        {Grid::Universal, 2, 2, 5, "A", 0},
        {Grid::Universal, 2, 2, 252, "A", 0},
        {Grid::Universal, 3, 5, 40, "40", 40},
        {Grid::Universal, 4, 3, 7, "7", 7},
        {Grid::Universal, 5, 7, 15, "15", 15},
        {Grid::Universal, 6, 8, 6, "6", 6},
        {Grid::Preferences, 0, 11, 15, "15", 15},
        {Grid::Preferences, 1, 0, 0, "Normal", 0},
        {Grid::Preferences, 1, 0, 3, "Sizing", 1},
        {Grid::Preferences, 2, 7, 1, "On", 1},
        {Grid::Preferences, 3, 9, 1, "On", 1},
        {Grid::Preferences, 4, 8, 2, "Off", 0},
    };
    for (const auto& c : cases) {
        const SettingsRow& row = RowsOf(c.grid)[static_cast<std::size_t>(c.row)];
        SCOPED_TRACE(std::string(row.caption) + " " + std::to_string(c.value));
        EXPECT_EQ(row.field, c.field);
        EXPECT_EQ(RowText(row, c.value), c.text);
        EXPECT_EQ(RowValue(row, c.text), c.back);
    }
}

TEST(SettingsRowsTest, CaptionsAndLists) {
    for (const Grid grid : {Grid::Mode, Grid::Universal, Grid::Preferences}) {
        for (const SettingsRow& row : RowsOf(grid)) {
            EXPECT_EQ(row.caption.substr(0, 1), " ");
            EXPECT_EQ(FindSettingsRow(RowsOf(grid), row.caption.substr(1)), &row);
            EXPECT_EQ(row.kind == RowKind::List, !row.choices.empty()) << row.caption;
        }
    }
    ASSERT_NE(FindSettingsRow(UniversalSettingsRows, "sensitivity auto level"), nullptr);
    EXPECT_EQ(FindSettingsRow(UniversalSettingsRows, "sensitivity auto level")->field,
              universalsettings::SensitivityAutoLevel);
    EXPECT_EQ(FindSettingsRow(ModeSettingsRows, " Ground"), nullptr);
    std::vector<std::string_view> items;
    for (const ListChoice& c : UniversalSettingsRows[2].choices) {
        items.push_back(c.text);
    }
    EXPECT_THAT(items, ElementsAre("-3", "-2", "-1", "A", "1", "2", "3"));
}

TEST(SettingsRowsTest, TextsThatFitNoRow) {
    const SettingsRow& gain = ModeSettingsRows[4];
    EXPECT_EQ(RowValue(gain, "300"), 44);  // one unsigned byte
    EXPECT_EQ(RowValue(gain, "-1"), 255);
    EXPECT_EQ(RowValue(gain, ""), std::nullopt);
    EXPECT_EQ(RowValue(gain, "12a"), std::nullopt);
    EXPECT_EQ(RowValue(gain, "99999999999"), std::nullopt);
    EXPECT_EQ(RowValue(ModeSettingsRows[0], "Maybe"), std::nullopt);
    EXPECT_EQ(RowValue(ModeSettingsRows[5], "pitch hold"), 3);
    EXPECT_EQ(RowValue(UniversalSettingsRows[2], "-4"), std::nullopt);

    ModeSettingsRecord mode = Counting<ModeSettingsSize>(1);
    const ModeSettingsRecord before = mode;
    auto texts = RecordTexts(ModeSettingsRows, mode);
    texts[6] = "3";
    EXPECT_FALSE(BuildModeSettings(texts, 8, mode));
    texts.pop_back();
    EXPECT_FALSE(BuildModeSettings(texts, 8, mode));
    EXPECT_EQ(mode, before);

    UniversalSettingsRecord universal{};
    EXPECT_FALSE(BuildUniversalSettings({}, RecordState::NeverLoaded, universal));
    EXPECT_EQ(universal, UniversalSettingsRecord{});
    PreferencesRecord prefs{};
    auto prefTexts = RecordTexts(PreferencesRows, prefs);
    prefTexts[0] = "x";
    EXPECT_FALSE(BuildPreferences(prefTexts, RecordState::NeverLoaded, prefs));
    EXPECT_EQ(prefs, PreferencesRecord{});
}

TEST(BuildRecordTest, ModeSettingsForAFileAfterStartUp) {
    ModeSettingsRecord record{};
    DefaultModeSettings(record);
    ASSERT_TRUE(BuildModeSettings(RecordTexts(ModeSettingsRows, record), CurrentModeSlot, record));
    EXPECT_THAT(record, ElementsAre(0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
                                    24, 0, 3, 0, 25, 30, 0, 0, 0, 0, 0, 0, 0, 0, 8, 1));
}

TEST(BuildRecordTest, ModeSettingsZeroReservedBytesAndKeep22And23) {
    ModeSettingsRecord record;
    record.fill(0xEE);
    record[modesettings::AudioResponse] = 9;
    record[modesettings::RecoveryDeep] = 2;
    record[modesettings::TrashDensityLow] = 2;
    record[modesettings::AudioVolumeGain] = 0;
    const auto texts = RecordTexts(ModeSettingsRows, record);
    ModeRecord mode;
    mode.fill(0xEE);
    ASSERT_TRUE(BuildModeSettings(texts, 5, ModeSettingsOf(mode)));
    EXPECT_THAT(ModeSettingsOf(mode),
                ElementsAre(0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // reserved
                            0, 3, 3, 1, 0xEE, 0xEE, 0, 0, 0, 1, 0, 1, 0xEE, 0xEE, 5, 1));
    EXPECT_EQ(mode[ModePatternOffset], 0xEE);
}

TEST(BuildRecordTest, UniversalSettingsAfterStartUp) {
    UniversalSettingsRecord record{};
    DefaultUniversalSettings(record);
    ASSERT_TRUE(BuildUniversalSettings(RecordTexts(UniversalSettingsRows, record),
                                       RecordState::NeverLoaded, record));
    EXPECT_THAT(record, ElementsAre(0x00, 0x16, 0x00, 0x1E, 0x1E, 0x1E, 0x1E, 0x0F, 0x06, 0x00,
                                    0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00));
}

TEST(BuildRecordTest, LoadedFlagDecidesTheHiddenBytes) {
    const auto downloaded = Counting<UniversalSettingsSize>(100);
    const auto texts = RecordTexts(UniversalSettingsRows, downloaded);

    UniversalSettingsRecord loaded = downloaded;
    ASSERT_TRUE(BuildUniversalSettings(texts, RecordState::Loaded, loaded));
    UniversalSettingsRecord expected = downloaded;
    expected[0] = 1;   // "Manual"
    expected[2] = 0;   // 102 shows "A"
    expected[16] = 1;  // BuiltMarker
    EXPECT_EQ(loaded, expected);

    UniversalSettingsRecord never = downloaded;
    ASSERT_TRUE(BuildUniversalSettings(texts, RecordState::NeverLoaded, never));
    expected[4] = 30;
    expected[6] = 30;
    expected[9] = 0;
    expected[10] = 1;
    expected[11] = 1;
    expected[12] = 0;
    EXPECT_EQ(never, expected);

    // Restore Defaults after a download, then an upload: the loaded record keeps byte 10 = 0.
    UniversalSettingsRecord restored = downloaded;
    DefaultUniversalSettings(restored);
    ASSERT_TRUE(BuildUniversalSettings(RecordTexts(UniversalSettingsRows, restored),
                                       RecordState::Loaded, restored));
    EXPECT_THAT(restored, ElementsAre(0, 22, 0, 30, 30, 30, 30, 15, 6, 0, 0, 1, 0,  //
                                      113, 114, 115, 1, 117));

    const auto prefsDownloaded = Counting<PreferencesSize>(100);
    const auto prefTexts = RecordTexts(PreferencesRows, prefsDownloaded);
    PreferencesRecord prefs = prefsDownloaded;
    ASSERT_TRUE(BuildPreferences(prefTexts, RecordState::Loaded, prefs));
    EXPECT_THAT(prefs,
                ElementsAre(1, 101, 102, 103, 104, 105, 106, 0, 0, 0, 110, 111, 112, 113, 1, 115));
    prefs = prefsDownloaded;
    ASSERT_TRUE(BuildPreferences(prefTexts, RecordState::NeverLoaded, prefs));
    EXPECT_THAT(prefs, ElementsAre(1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 111, 112, 113, 1, 115));
}

TEST(BuildRecordTest, PreferencesSwitchesInByteOrder) {
    PreferencesRecord prefs{};
    DefaultPreferences(prefs);
    auto texts = RecordTexts(PreferencesRows, prefs);
    EXPECT_THAT(texts, ElementsAre("15", "Normal", "On", "Off", "Off"));
    texts[3] = "On";  // Show Mode Info
    ASSERT_TRUE(BuildPreferences(texts, RecordState::NeverLoaded, prefs));
    EXPECT_EQ(prefs[preferences::ShowModeInfo], 1);
    EXPECT_EQ(prefs[preferences::DisplayTimeout], 0);
}

TEST(LimitTest, MaximumFirstThenMinimum) {
    struct Case {
        Grid grid;
        int row;
        const char* typed;
        std::optional<std::string> becomes;
    };
    const Case cases[] = {
        {Grid::Mode, 4, "45", "30"},
        {Grid::Mode, 4, "0", "1"},
        {Grid::Mode, 4, "30", std::nullopt},
        {Grid::Mode, 4, "1", std::nullopt},
        {Grid::Mode, 8, "31", "30"},
        {Grid::Mode, 9, "-4", "1"},
        {Grid::Universal, 1, "0", "1"},
        {Grid::Universal, 3, "60", "50"},
        {Grid::Universal, 4, "0", std::nullopt},
        {Grid::Universal, 4, "-1", "0"},
        {Grid::Universal, 5, "99", "30"},
        {Grid::Universal, 6, "12", "11"},
        {Grid::Preferences, 0, "0", "1"},
        {Grid::Preferences, 0, "045", "30"},
        {Grid::Mode, 0, "On", std::nullopt},
        {Grid::Universal, 2, "-3", std::nullopt},
        {Grid::Mode, 4, "abc", std::nullopt},
    };
    for (const auto& c : cases) {
        const SettingsRow& row = RowsOf(c.grid)[static_cast<std::size_t>(c.row)];
        EXPECT_EQ(LimitedRowText(row, c.typed), c.becomes) << row.caption << " " << c.typed;
    }
}
