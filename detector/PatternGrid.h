// Where each cell of a pattern lies in a PatternRecord: 50 columns by 35 rows of on/off cells,
// stored as 50 column groups of 5 bytes after the 12-byte header. Row 8k + b of a column is
// bit b of byte k of its group; bits 3..7 of a group's fifth byte are not cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "Records.h"

namespace holvane {

// A read-only view of a whole pattern: a PatternRecord or the pattern part of a ModeRecord.
using PatternView = std::span<const std::uint8_t, PatternSize>;

inline constexpr int PatternColumns = 50;
inline constexpr int PatternRows = 35;
inline constexpr std::size_t PatternGridOffset = 12;
inline constexpr std::size_t PatternColumnBytes = 5;
inline constexpr std::size_t PatternGridSize = PatternColumnBytes * PatternColumns;  // 250

static_assert(PatternGridOffset + PatternGridSize + 4 == PatternSize);

// Offset of the byte holding cell (row, column), and the bit within it.
constexpr std::size_t PatternCellByte(int row, int column) {
    return PatternGridOffset + PatternColumnBytes * static_cast<std::size_t>(column) +
           static_cast<std::size_t>(row / 8);
}
constexpr std::uint8_t PatternCellMask(int row) {
    return static_cast<std::uint8_t>(1u << (row % 8));
}

constexpr bool PatternCell(PatternView pattern, int row, int column) {
    return (pattern[PatternCellByte(row, column)] & PatternCellMask(row)) != 0;
}

constexpr void SetPatternCell(PatternRecord& pattern, int row, int column, bool on) {
    auto& byte = pattern[PatternCellByte(row, column)];
    byte = static_cast<std::uint8_t>(on ? (byte | PatternCellMask(row))
                                        : (byte & ~PatternCellMask(row)));
}

}  // namespace holvane
