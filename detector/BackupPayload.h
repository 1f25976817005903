// The whole-detector backup record (3364 bytes), the payload of a backup file. Every record in
// it is stored byte for byte as the detector delivers it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Records.h"

namespace holvane {

inline constexpr std::size_t BackupPayloadSize = 3364;
using BackupPayload = std::array<std::uint8_t, BackupPayloadSize>;

namespace backup {

inline constexpr std::size_t CurrentMode = 0;

// My Mode k (k = 0..3 for My Mode 1..4): a present byte (1 when the mode was read; readers take
// any non-zero value as present), a reserved byte, then the 292-byte mode.
constexpr std::size_t UserModePresent(int k) {
    return 292 + 294 * static_cast<std::size_t>(k);
}
constexpr std::size_t UserMode(int k) {
    return UserModePresent(k) + 2;
}

inline constexpr std::size_t UniversalSettings = 1468;
inline constexpr std::size_t Preferences = 1486;
inline constexpr std::size_t Swiftveil = 1502;

// My Pattern k (k = 0..5 for My Pattern 1..6).
constexpr std::size_t MyPattern(int k) {
    return 1768 + PatternSize * static_cast<std::size_t>(k);
}

// A record of the payload, copied out as its record type (ModeRecord, PatternRecord, ...).
template <typename Record>
Record RecordAt(const BackupPayload& payload, std::size_t offset) {
    Record record;
    std::memcpy(record.data(), payload.data() + offset, record.size());
    return record;
}

static_assert(UserModePresent(3) == 1174 && UserMode(3) + ModeSize == UniversalSettings);
static_assert(Preferences + PreferencesSize == Swiftveil);
static_assert(MyPattern(5) + PatternSize == BackupPayloadSize);

}  // namespace backup
}  // namespace holvane
