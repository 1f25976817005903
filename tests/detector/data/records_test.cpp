#include "Records.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "ParameterIds.h"

using namespace holvane;
using ::testing::ElementsAre;

TEST(DefaultsTest, ModeSettingsWritesBytes0To21AndKeepsTheRest) {
    ModeSettingsRecord record;
    record.fill(0xEE);
    record[22] = 7;
    record[23] = 8;
    record[24] = 9;
    record[25] = 10;
    DefaultModeSettings(record);
    EXPECT_THAT(record, ElementsAre(0, 0, 0, 0, 0, 0, 0, 0, 0, 0,     // reserved
                                    24, 0, 3, 0, 25, 30, 0, 0, 0, 0,  // 10..19
                                    0, 0, 7, 8, 9, 10));
}

TEST(DefaultsTest, ModeSettingsInsideAModeLeavesThePattern) {
    ModeRecord mode;
    mode.fill(0x5A);
    DefaultModeSettings(ModeSettingsOf(mode));
    EXPECT_EQ(mode[modesettings::AudioVolumeGain], 24);
    EXPECT_EQ(mode[22], 0x5A);
    for (std::size_t i = ModePatternOffset; i < ModeSize; ++i) {
        ASSERT_EQ(mode[i], 0x5A) << i;
    }
}

TEST(DefaultsTest, UniversalSettingsWritesBytes0To12AndKeepsADownloadedTail) {
    UniversalSettingsRecord record;
    record.fill(0xEE);
    record[13] = 13;
    record[14] = 14;
    record[15] = 15;
    record[16] = 1;  // BuiltMarker of the downloaded record
    record[17] = 17;
    DefaultUniversalSettings(record);
    EXPECT_THAT(record, ElementsAre(0, 22, 0, 30, 30, 30, 30, 15, 6, 0, 0, 1, 0,  // 0..12
                                    13, 14, 15, 1, 17));
}

TEST(DefaultsTest, PreferencesWritesBytes0To11AndKeepsTheRest) {
    PreferencesRecord record;
    record.fill(0xEE);
    DefaultPreferences(record);
    EXPECT_THAT(record, ElementsAre(0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 15,  // 0..11
                                    0xEE, 0xEE, 0xEE, 0xEE));
}

TEST(ModeSlotsTest, TheTwoListsOfTheSettingsPage) {
    std::vector<std::string_view> download;
    for (int position = 0; position < DownloadListSize; ++position) {
        const ModeSlotInfo* mode = FindModeSlot(ModeSlotAtDownloadPosition(position));
        ASSERT_NE(mode, nullptr) << position;
        EXPECT_EQ(mode->downloadPosition, position);
        download.push_back(mode->name);
    }
    EXPECT_THAT(download, ElementsAre("Current Mode", "My Mode 1", "My Mode 2", "My Mode 3",
                                      "My Mode 4", "Korvane Coins", "Korvane High Trash",
                                      "Korvane Beach", "Korvane Relics"));
    std::vector<int> upload;
    for (int position = 0; position < UploadListSize; ++position) {
        upload.push_back(ModeSlotAtUploadPosition(position));
    }
    EXPECT_THAT(upload, ElementsAre(8, 4, 5, 6, 7));

    for (const ModeSlotInfo& mode : ModeSlots) {
        SCOPED_TRACE(mode.name);
        EXPECT_EQ(FindModeSlot(mode.slot), &mode);
        EXPECT_EQ(FindModeSlotByName(mode.name), &mode);
        // Only the factory modes 0..3 are read only, and only writable modes can be uploaded.
        EXPECT_EQ(mode.writable, mode.slot >= FirstUserModeSlot);
        EXPECT_EQ(mode.writable, mode.uploadPosition != NotListed);
    }
}

TEST(ModeSlotsTest, LookupsOutsideTheTables) {
    EXPECT_EQ(FindModeSlot(-1), nullptr);
    EXPECT_EQ(FindModeSlot(9), nullptr);
    EXPECT_EQ(ModeSlotAtDownloadPosition(9), NotListed);
    EXPECT_EQ(ModeSlotAtDownloadPosition(NotListed), NotListed);
    EXPECT_EQ(ModeSlotAtUploadPosition(5), NotListed);
    EXPECT_EQ(ModeSlotAtUploadPosition(NotListed), NotListed);
    EXPECT_EQ(FindModeSlotByName("my mode 5"), nullptr);
    EXPECT_EQ(FindModeSlotByName(""), nullptr);
    ASSERT_NE(FindModeSlotByName("current MODE"), nullptr);
    EXPECT_EQ(FindModeSlotByName("current MODE")->slot, CurrentModeSlot);
}

TEST(PatternSlotsTest, EntriesSlotsAndNames) {
    struct Case {
        int entry;
        int slot;
        const char* name;
        const char* caption;
        int modeSlot;
    };
    const Case cases[] = {
        {0, 18, "Current Glintmap", "Glintmap", NotListed},
        {1, 19, "Swiftveil", "Swiftveil", NotListed},
        {2, 20, "My Pattern 1", "My Pattern 1", NotListed},
        {7, 25, "My Pattern 6", "My Pattern 6", NotListed},
        {8, 14, "My Mode 1 Pattern", "My Mode 1", 4},
        {11, 17, "My Mode 4 Pattern", "My Mode 4", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PatternEntryOfSlot(c.slot), c.entry);
        const PatternSlotInfo* info = FindPatternSlot(c.slot);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info, &PatternSlots[static_cast<std::size_t>(c.entry)]);
        EXPECT_EQ(info->name, c.name);
        EXPECT_EQ(info->caption, c.caption);
        EXPECT_EQ(info->modeSlot, c.modeSlot);
        EXPECT_EQ(FindPatternSlotByName(c.name), info);
        EXPECT_EQ(FindPatternSlotByName(c.caption), info);
        if (c.modeSlot != NotListed) {
            EXPECT_EQ(PatternSlotOfMode(c.modeSlot), c.slot);
        }
    }
}

TEST(PatternSlotsTest, EverySlotOnceAndUnknownNames) {
    for (int slot = FirstPatternSlot; slot <= LastPatternSlot; ++slot) {
        ASSERT_NE(FindPatternSlot(slot), nullptr) << slot;
        EXPECT_GE(PatternId(slot), 36);
        EXPECT_LE(PatternId(slot), 47);
    }
    EXPECT_EQ(FindPatternSlot(13), nullptr);
    EXPECT_EQ(FindPatternSlot(26), nullptr);
    EXPECT_EQ(PatternEntryOfSlot(8), NotListed);
    EXPECT_EQ(FindPatternSlotByName("GLINTMAP")->slot, GlintmapPatternSlot);
    EXPECT_EQ(FindPatternSlotByName("my pattern 7"), nullptr);
}
