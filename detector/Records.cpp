#include "Records.h"

#include <algorithm>

#include "TextCase.h"

namespace holvane {

void DefaultModeSettings(std::span<std::uint8_t, ModeSettingsSize> record) {
    using namespace modesettings;
    std::fill_n(record.begin(), TrashDensityLow + 1, std::uint8_t{0});  // reserved bytes too
    record[AudioVolumeGain] = 24;
    record[AudioTones] = 3;
    record[ToneIdVariability] = 25;
    record[ToneIdLimits] = 30;
}

void DefaultUniversalSettings(UniversalSettingsRecord& record) {
    using namespace universalsettings;
    static constexpr std::array<std::uint8_t, 13> defaults = {0,  22, 0, 30, 30, 30, 30,
                                                              15, 6,  0, 0,  1,  0};
    static_assert(defaults[SensitivityManualLevel] == 22 && defaults[NoiseCancel] == 6);
    std::ranges::copy(defaults, record.begin());
}

void DefaultPreferences(PreferencesRecord& record) {
    using namespace preferences;
    std::fill_n(record.begin(), Contrast + 1, std::uint8_t{0});
    record[ShowSensitivity] = 1;
    record[Contrast] = 15;
}

const std::array<ModeSlotInfo, ModeSlotCount> ModeSlots = {{
    {0, "Korvane Coins", false, 5, NotListed},
    {1, "Korvane High Trash", false, 6, NotListed},
    {2, "Korvane Beach", false, 7, NotListed},
    {3, "Korvane Relics", false, 8, NotListed},
    {4, "My Mode 1", true, 1, 1},
    {5, "My Mode 2", true, 2, 2},
    {6, "My Mode 3", true, 3, 3},
    {7, "My Mode 4", true, 4, 4},
    {8, "Current Mode", true, 0, 0},
}};

const ModeSlotInfo* FindModeSlot(int slot) {
    if (slot < 0 || slot >= ModeSlotCount) {
        return nullptr;
    }
    return &ModeSlots[static_cast<std::size_t>(slot)];
}

const ModeSlotInfo* FindModeSlotByName(std::string_view name) {
    const auto it = std::ranges::find_if(
        ModeSlots, [name](const ModeSlotInfo& m) { return EqualsIgnoringCase(m.name, name); });
    return it == ModeSlots.end() ? nullptr : &*it;
}

int ModeSlotAtDownloadPosition(int position) {
    const auto it = std::ranges::find(ModeSlots, position, &ModeSlotInfo::downloadPosition);
    return position == NotListed || it == ModeSlots.end() ? NotListed : it->slot;
}

int ModeSlotAtUploadPosition(int position) {
    const auto it = std::ranges::find(ModeSlots, position, &ModeSlotInfo::uploadPosition);
    return position == NotListed || it == ModeSlots.end() ? NotListed : it->slot;
}

const std::array<PatternSlotInfo, PatternSlotCount> PatternSlots = {{
    {GlintmapPatternSlot, "Current Glintmap", "Glintmap", NotListed,
     "Could not read the current pattern.\r\nTry again."},
    {SwiftveilPatternSlot, "Swiftveil", "Swiftveil", NotListed,
     "Could not read the Swiftveil pattern.\r\nTry again."},
    {20, "My Pattern 1", "My Pattern 1", NotListed, "Could not read 'My Pattern 1'.\r\nTry again."},
    {21, "My Pattern 2", "My Pattern 2", NotListed, "Could not read 'My Pattern 2'.\r\nTry again."},
    {22, "My Pattern 3", "My Pattern 3", NotListed, "Could not read 'My Pattern 3'.\r\nTry again."},
    {23, "My Pattern 4", "My Pattern 4", NotListed, "Could not read 'My Pattern 4'.\r\nTry again."},
    {24, "My Pattern 5", "My Pattern 5", NotListed, "Could not read 'My Pattern 5'.\r\nTry again."},
    {25, "My Pattern 6", "My Pattern 6", NotListed, "Could not read 'My Pattern 6'.\r\nTry again."},
    {14, "My Mode 1 Pattern", "My Mode 1", 4, "Could not read 'My Mode 1' pattern.\r\nTry again."},
    {15, "My Mode 2 Pattern", "My Mode 2", 5, "Could not read 'My Mode 2' pattern.\r\nTry again."},
    {16, "My Mode 3 Pattern", "My Mode 3", 6, "Could not read 'My Mode 3' pattern.\r\nTry again."},
    {17, "My Mode 4 Pattern", "My Mode 4", 7, "Could not read 'My Mode 4' pattern.\r\nTry again."},
}};

int PatternEntryOfSlot(int slot) {
    const auto it = std::ranges::find(PatternSlots, slot, &PatternSlotInfo::slot);
    return it == PatternSlots.end() ? NotListed : static_cast<int>(it - PatternSlots.begin());
}

const PatternSlotInfo* FindPatternSlot(int slot) {
    const int entry = PatternEntryOfSlot(slot);
    return entry == NotListed ? nullptr : &PatternSlots[static_cast<std::size_t>(entry)];
}

const PatternSlotInfo* FindPatternSlotByName(std::string_view name) {
    const auto it = std::ranges::find_if(PatternSlots, [name](const PatternSlotInfo& p) {
        return EqualsIgnoringCase(p.name, name) || EqualsIgnoringCase(p.caption, name);
    });
    return it == PatternSlots.end() ? nullptr : &*it;
}

}  // namespace holvane
