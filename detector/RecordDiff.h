// Comparing two records of the same kind: every byte that differs, told the way the window would
// show it. A byte that a grid row shows is a setting with both of its texts; a pattern cell is
// counted with its row; every other byte (reserved bytes, a pattern's header and trailer, the bits
// of a column's fifth byte that hold no cell, a backup's present and reserved bytes) is given with
// its offset and both values. A user mode of a backup that one side holds and the other does not
// is one difference of presence; the bytes of a mode that neither side holds mean nothing and are
// not compared. Every front end renders the same list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "BackupPayload.h"
#include "Records.h"

namespace holvane {

// What is compared. ModeSettings compares the first 26 bytes of the records given only (a mode
// file without its pattern, or the part a settings-only upload writes).
enum class DiffRecord { Mode, ModeSettings, Pattern, UniversalSettings, Preferences, Backup };

// The record's size in bytes (26 for ModeSettings).
std::size_t DiffRecordSize(DiffRecord record);

struct Difference {
    enum class Type {
        Setting,   // a grid row: caption, oldText, newText (and the byte: offset, oldByte, newByte)
        Cells,     // pattern cells: cells, rows
        Bits,      // a byte no row or cell shows: offset, mask, oldByte, newByte
        Presence,  // the section's record is held on one side only: oldPresent, newPresent
    };
    Type type = Type::Bits;
    // The record the difference lies in: "Current mode", "My Mode 2", "Universal settings",
    // "Swiftveil pattern"... (for a single record, the name the caller gave it).
    std::string section;

    std::string caption;  // Setting: the row's caption without its leading space
    std::string oldText;  // Setting: the texts the row shows for each side
    std::string newText;

    int cells = 0;          // Cells: how many cells differ
    std::vector<int> rows;  // Cells: the rows (0 top .. 34 bottom) they lie in, ascending

    // Setting and Bits: the byte's offset in the compared record (in the payload for a backup).
    std::size_t offset = 0;
    std::uint8_t oldByte = 0;
    std::uint8_t newByte = 0;
    // Bits: the bits of the byte that nothing shows (0xFF for a whole byte; for the fifth byte
    // of a pattern column the bits above the cells). Only these bits are compared.
    std::uint8_t mask = 0xFF;

    bool oldPresent = true;  // Presence
    bool newPresent = true;
};

// The differences from `before` to `after`, section by section in the record's order (for a
// backup: the current mode, each user mode, the universal settings, the preferences, each stored
// pattern). Within a section: the settings in grid order, then the pattern's cells, then the
// other bytes by offset. Both spans must hold DiffRecordSize(record) bytes at least; only that
// many are compared. `section` names a single record (ignored for a backup).
std::vector<Difference> DiffRecords(DiffRecord record, std::span<const std::uint8_t> before,
                                    std::span<const std::uint8_t> after,
                                    std::string_view section = {});

// What the detector holds after a restore of `restored` onto a detector that held `before`: the
// restored records, except the user modes the backup does not hold, which keep what the detector
// held (a restore neither writes nor deletes them).
BackupPayload RestoredState(const BackupPayload& before, const BackupPayload& restored);

// The records a restore of the payload writes: the ten that are always written and the user
// modes it holds.
std::size_t RestoredRecordCount(const BackupPayload& restored);

// The name a backup's record goes by in the differences ("Current mode", "My Pattern 1", ...).
std::string BackupSectionName(std::size_t payloadRow);

}  // namespace holvane
