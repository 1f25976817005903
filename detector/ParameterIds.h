// The detector's parameter ids and the exact size that goes with each.
#pragma once

#include <cstdint>

#include "Records.h"

namespace holvane {

inline constexpr std::int32_t UniversalSettingsId = 0;
inline constexpr std::int32_t PreferencesId = 1;
inline constexpr std::int32_t FinishUploadId = 55;

// Slot arithmetic is done on one byte and widened with sign, as the detector numbers them.
constexpr std::int32_t ParameterId(int slot, int base) {
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(slot + base));
}
constexpr std::int32_t ModeId(int modeSlot) {
    return ParameterId(modeSlot, 2);
}  // 2..10
constexpr std::int32_t ModeSettingsId(int modeSlot) {
    return ParameterId(modeSlot, 12);
}  // 12..20
constexpr std::int32_t PatternId(int patternSlot) {
    return ParameterId(patternSlot, 22);
}  // 36..47

}  // namespace holvane
