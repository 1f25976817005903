// The detector's fixed-size byte records and the slot numbers by which its modes and stored
// patterns are addressed. Every field is one byte; bytes the program does not interpret are
// carried through unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace holvane {

inline constexpr std::size_t ModeSettingsSize = 26;
inline constexpr std::size_t PatternSize = 266;
inline constexpr std::size_t ModeSize = ModeSettingsSize + PatternSize;  // 292
inline constexpr std::size_t UniversalSettingsSize = 18;
inline constexpr std::size_t PreferencesSize = 16;

using ModeSettingsRecord = std::array<std::uint8_t, ModeSettingsSize>;
using PatternRecord = std::array<std::uint8_t, PatternSize>;
using ModeRecord = std::array<std::uint8_t, ModeSize>;
using UniversalSettingsRecord = std::array<std::uint8_t, UniversalSettingsSize>;
using PreferencesRecord = std::array<std::uint8_t, PreferencesSize>;

// The parts of a mode that an upload or a mode file carries: the 26 settings bytes alone, or the
// whole mode with its pattern.
enum class ModeParts { SettingsOnly, WithPattern };

// Offset of the pattern inside a ModeRecord.
inline constexpr std::size_t ModePatternOffset = ModeSettingsSize;

// The two parts of a whole mode, seen in place.
inline std::span<std::uint8_t, ModeSettingsSize> ModeSettingsOf(ModeRecord& mode) {
    return std::span(mode).first<ModeSettingsSize>();
}
inline std::span<const std::uint8_t, ModeSettingsSize> ModeSettingsOf(const ModeRecord& mode) {
    return std::span(mode).first<ModeSettingsSize>();
}
inline std::span<std::uint8_t, PatternSize> PatternOf(ModeRecord& mode) {
    return std::span(mode).last<PatternSize>();
}
inline std::span<const std::uint8_t, PatternSize> PatternOf(const ModeRecord& mode) {
    return std::span(mode).last<PatternSize>();
}

// Byte offsets of the fields of a ModeSettingsRecord. Bytes 0..9, 18 and 20 are reserved (0 when
// the program builds the record); bytes 22 and 23 are never written by the program.
namespace modesettings {
inline constexpr std::size_t AudioVolumeGain = 10;    // 1..30
inline constexpr std::size_t AudioResponse = 11;      // 0 Normal, 1 Long, 2 Smooth, 3 Pitch Hold
inline constexpr std::size_t AudioTones = 12;         // 0 "1", 1 "2", 2 "4", 3 Multi
inline constexpr std::size_t ToneIdFerrous = 13;      // 0 Conduct, 1 Ferrous
inline constexpr std::size_t ToneIdVariability = 14;  // 1..30
inline constexpr std::size_t ToneIdLimits = 15;       // 1..30
inline constexpr std::size_t RecoveryFast = 16;       // 1 On, 0 Off
inline constexpr std::size_t RecoveryDeep = 17;       // 1 On, 0 Off
inline constexpr std::size_t GroundDifficult = 19;    // 0 Neutral, 1 Difficult
inline constexpr std::size_t TrashDensityLow = 21;    // 0 High, 1 Low
inline constexpr std::size_t TargetSlot = 24;         // mode slot the record was built for
inline constexpr std::size_t BuiltMarker = 25;        // 1 once built from the grid
}  // namespace modesettings

// Byte offsets of the fields of a UniversalSettingsRecord. Bytes 4, 6 and 9..12 are not shown in
// any grid but get fill values when a never-loaded record is built; 13..15 and 17 are never
// written.
namespace universalsettings {
inline constexpr std::size_t SensitivityManual = 0;       // 0 Auto, 1 Manual
inline constexpr std::size_t SensitivityManualLevel = 1;  // 1..30
inline constexpr std::size_t SensitivityAutoLevel = 2;    // signed -3..3, 0 is "A"
inline constexpr std::size_t AudioVolumeLimit = 3;        // 0..30
inline constexpr std::size_t AudioThresholdLevel = 5;     // 1..50
inline constexpr std::size_t AudioThresholdPitch = 7;     // 1..30
inline constexpr std::size_t NoiseCancel = 8;             // 1..11
inline constexpr std::size_t BuiltMarker = 16;            // 1 once built from the grid
}  // namespace universalsettings

// Byte offsets of the fields of a PreferencesRecord. Bytes 1..6 and 10 are not shown; 12, 13 and
// 15 are never written. The two switches at 8 and 9 are shown in the other order in the grid.
namespace preferences {
inline constexpr std::size_t PinpointSizing = 0;   // 0 Normal, 1 Sizing
inline constexpr std::size_t ShowSensitivity = 7;  // 1 On, 0 Off
inline constexpr std::size_t DisplayTimeout = 8;   // 1 On, 0 Off
inline constexpr std::size_t ShowModeInfo = 9;     // 1 On, 0 Off
inline constexpr std::size_t Contrast = 11;        // 1..30
inline constexpr std::size_t BuiltMarker = 14;     // 1 once built from the grid
}  // namespace preferences

// The defaults. Each writes exactly the bytes it owns and leaves the others as they were:
// mode settings bytes 0..21, universal settings bytes 0..12, preferences bytes 0..11.
void DefaultModeSettings(std::span<std::uint8_t, ModeSettingsSize> record);
void DefaultUniversalSettings(UniversalSettingsRecord& record);
void DefaultPreferences(PreferencesRecord& record);

// Mode slots 0..8: factory modes 0..3 (read only), My Mode 1..4 in 4..7, the current mode 8.
inline constexpr int ModeSlotCount = 9;
inline constexpr int FirstUserModeSlot = 4;
inline constexpr int LastUserModeSlot = 7;
inline constexpr int CurrentModeSlot = 8;

// Pattern slots 14..25: My Mode 1..4 patterns (mode slot + 10), the current Glintmap pattern 18,
// the Swiftveil pattern 19, My Pattern 1..6 in 20..25.
inline constexpr int FirstPatternSlot = 14;
inline constexpr int LastPatternSlot = 25;
inline constexpr int GlintmapPatternSlot = 18;
inline constexpr int SwiftveilPatternSlot = 19;
inline constexpr int FirstMyPatternSlot = 20;
inline constexpr int PatternSlotCount = LastPatternSlot - FirstPatternSlot + 1;  // 12

// The pattern slot that holds the pattern of a user mode or of the current mode.
constexpr int PatternSlotOfMode(int modeSlot) {
    return modeSlot + 10;
}

// A mode slot as the Settings page lists it. The download list shows all nine modes, the upload
// list only the five writable ones; NotListed marks a mode missing from a list.
inline constexpr int NotListed = -1;

struct ModeSlotInfo {
    int slot;
    std::string_view name;
    bool writable;
    int downloadPosition;
    int uploadPosition;
};

// In slot order: ModeSlots[s].slot == s.
extern const std::array<ModeSlotInfo, ModeSlotCount> ModeSlots;

inline constexpr int DownloadListSize = ModeSlotCount;
inline constexpr int UploadListSize = 5;

const ModeSlotInfo* FindModeSlot(int slot);
const ModeSlotInfo* FindModeSlotByName(std::string_view name);  // case-insensitive
// The mode slot at a position of the download or upload list, or NotListed.
int ModeSlotAtDownloadPosition(int position);
int ModeSlotAtUploadPosition(int position);

// A stored pattern as the Patterns page shows it. The table is in the page's entry order, which
// is also the order of its upload list and of the bits of the held-pattern mask: entry i is
// PatternSlots[i]. `name` is the upload list's item ("Current Glintmap", "My Mode 1 Pattern"),
// `caption` the label under the picture ("Glintmap", "My Mode 1").
struct PatternSlotInfo {
    int slot;
    std::string_view name;
    std::string_view caption;
    int modeSlot;                    // the user mode whose pattern this is, or NotListed
    const char* readFailureMessage;  // when reading the pattern failed
};

extern const std::array<PatternSlotInfo, PatternSlotCount> PatternSlots;

// The entry of a pattern slot in PatternSlots, or NotListed.
int PatternEntryOfSlot(int slot);
const PatternSlotInfo* FindPatternSlot(int slot);
// Matches the name or the caption, case-insensitive.
const PatternSlotInfo* FindPatternSlotByName(std::string_view name);

}  // namespace holvane
