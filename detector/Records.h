// The detector's fixed-size byte records and the slot numbers by which its modes and stored
// patterns are addressed. Every field is one byte; bytes the program does not interpret are
// carried through unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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

// Offset of the pattern inside a ModeRecord.
inline constexpr std::size_t ModePatternOffset = ModeSettingsSize;

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

// The pattern slot that holds the pattern of a user mode or of the current mode.
constexpr int PatternSlotOfMode(int modeSlot) {
    return modeSlot + 10;
}

}  // namespace holvane
