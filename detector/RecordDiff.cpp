#include "RecordDiff.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

#include "Backup.h"
#include "PatternGrid.h"
#include "SettingsRows.h"

namespace holvane {

namespace {

using Type = Difference::Type;

// A byte the comparison walks: where it lies in the compared record, and its two values.
struct Sides {
    std::span<const std::uint8_t> before;
    std::span<const std::uint8_t> after;
    std::size_t base;  // offset of the part being compared within the whole record
    const std::string& section;
};

void AddBits(std::vector<Difference>& out, const Sides& s, std::size_t i, std::uint8_t mask) {
    const auto before = static_cast<std::uint8_t>(s.before[i] & mask);
    const auto after = static_cast<std::uint8_t>(s.after[i] & mask);
    if (before == after) {
        return;
    }
    Difference d;
    d.type = Type::Bits;
    d.section = s.section;
    d.offset = s.base + i;
    d.oldByte = s.before[i];
    d.newByte = s.after[i];
    d.mask = mask;
    out.push_back(std::move(d));
}

// A record shown by grid rows: each row that differs, then each other byte that differs.
void DiffSettings(std::vector<Difference>& out, std::span<const SettingsRow> rows, const Sides& s) {
    std::set<std::size_t> shown;
    for (const SettingsRow& row : rows) {
        shown.insert(row.field);
        const std::uint8_t before = s.before[row.field];
        const std::uint8_t after = s.after[row.field];
        if (before == after) {
            continue;
        }
        Difference d;
        d.type = Type::Setting;
        d.section = s.section;
        d.caption = RowCaption(row);
        d.oldText = ShownRowText(row, before);
        d.newText = ShownRowText(row, after);
        d.offset = s.base + row.field;
        d.oldByte = before;
        d.newByte = after;
        out.push_back(std::move(d));
    }
    for (std::size_t i = 0; i < s.before.size(); ++i) {
        if (!shown.contains(i)) {
            AddBits(out, s, i, 0xFF);
        }
    }
}

// The cells of each column's last byte; the bits above them are no cells.
constexpr std::uint8_t LastByteCells() {
    std::uint8_t cells = 0;
    for (int row = 0; row < PatternRows; ++row) {
        if (PatternCellByte(row, 0) == PatternGridOffset + PatternColumnBytes - 1) {
            cells = static_cast<std::uint8_t>(cells | PatternCellMask(row));
        }
    }
    return cells;
}

void DiffPattern(std::vector<Difference>& out, const Sides& s) {
    const PatternView before(s.before.data(), PatternSize);
    const PatternView after(s.after.data(), PatternSize);
    Difference cells;
    cells.type = Type::Cells;
    cells.section = s.section;
    for (int row = 0; row < PatternRows; ++row) {
        bool rowDiffers = false;
        for (int column = 0; column < PatternColumns; ++column) {
            if (PatternCell(before, row, column) != PatternCell(after, row, column)) {
                ++cells.cells;
                rowDiffers = true;
            }
        }
        if (rowDiffers) {
            cells.rows.push_back(row);
        }
    }
    if (cells.cells > 0) {
        out.push_back(std::move(cells));
    }
    const auto noCells = static_cast<std::uint8_t>(~LastByteCells());
    for (std::size_t i = 0; i < PatternSize; ++i) {
        const bool grid = i >= PatternGridOffset && i < PatternGridOffset + PatternGridSize;
        if (!grid) {
            AddBits(out, s, i, 0xFF);
        } else if ((i - PatternGridOffset) % PatternColumnBytes == PatternColumnBytes - 1) {
            AddBits(out, s, i, noCells);
        }
    }
}

Sides Part(const Sides& s, std::size_t offset, std::size_t size) {
    return {s.before.subspan(offset, size), s.after.subspan(offset, size), s.base + offset,
            s.section};
}

// The settings, then the pattern, of a whole mode. Bits come after the cells, by offset.
void DiffMode(std::vector<Difference>& out, const Sides& s) {
    std::vector<Difference> settings;
    DiffSettings(settings, ModeSettingsRows, Part(s, 0, ModeSettingsSize));
    std::vector<Difference> pattern;
    DiffPattern(pattern, Part(s, ModePatternOffset, PatternSize));
    const auto isBits = [](const Difference& d) { return d.type == Type::Bits; };
    std::ranges::copy_if(settings, std::back_inserter(out), std::not_fn(isBits));
    std::ranges::copy_if(pattern, std::back_inserter(out), std::not_fn(isBits));
    std::ranges::copy_if(settings, std::back_inserter(out), isBits);
    std::ranges::copy_if(pattern, std::back_inserter(out), isBits);
}

void DiffBackup(std::vector<Difference>& out, std::span<const std::uint8_t> before,
                std::span<const std::uint8_t> after) {
    for (std::size_t i = 0; i < RestoreRowCount; ++i) {
        const RestoreRow& row = PayloadRowAt(i);
        const std::string section = BackupSectionName(i);
        const Sides whole{before, after, 0, section};
        switch (row.kind) {
            case RestoreRow::Kind::Mode: {
                if (row.presentByte != 0) {
                    const bool was = before[row.presentByte] != 0;
                    const bool is = after[row.presentByte] != 0;
                    if (was != is) {
                        Difference d;
                        d.type = Type::Presence;
                        d.section = section;
                        d.oldPresent = was;
                        d.newPresent = is;
                        out.push_back(std::move(d));
                        break;
                    }
                    if (!was) {
                        break;  // neither side holds the mode: its bytes mean nothing
                    }
                }
                DiffMode(out, Part(whole, row.offset, ModeSize));
                if (row.presentByte != 0) {
                    // Both present: a present byte may still hold another non-zero value, and
                    // the reserved byte after it is carried along.
                    AddBits(out, whole, row.presentByte, 0xFF);
                    AddBits(out, whole, row.presentByte + 1, 0xFF);
                }
                break;
            }
            case RestoreRow::Kind::UniversalSettings:
                DiffSettings(out, UniversalSettingsRows,
                             Part(whole, row.offset, UniversalSettingsSize));
                break;
            case RestoreRow::Kind::Preferences:
                DiffSettings(out, PreferencesRows, Part(whole, row.offset, PreferencesSize));
                break;
            case RestoreRow::Kind::Pattern:
                DiffPattern(out, Part(whole, row.offset, PatternSize));
                break;
        }
    }
}

}  // namespace

std::size_t DiffRecordSize(DiffRecord record) {
    switch (record) {
        case DiffRecord::Mode:
            return ModeSize;
        case DiffRecord::ModeSettings:
            return ModeSettingsSize;
        case DiffRecord::Pattern:
            return PatternSize;
        case DiffRecord::UniversalSettings:
            return UniversalSettingsSize;
        case DiffRecord::Preferences:
            return PreferencesSize;
        case DiffRecord::Backup:
            return BackupPayloadSize;
    }
    return 0;
}

std::vector<Difference> DiffRecords(DiffRecord record, std::span<const std::uint8_t> before,
                                    std::span<const std::uint8_t> after, std::string_view section) {
    const std::size_t size = DiffRecordSize(record);
    before = before.first(size);
    after = after.first(size);
    const std::string name(section);
    const Sides s{before, after, 0, name};
    std::vector<Difference> out;
    switch (record) {
        case DiffRecord::Mode:
            DiffMode(out, s);
            break;
        case DiffRecord::ModeSettings:
            DiffSettings(out, ModeSettingsRows, s);
            break;
        case DiffRecord::Pattern:
            DiffPattern(out, s);
            break;
        case DiffRecord::UniversalSettings:
            DiffSettings(out, UniversalSettingsRows, s);
            break;
        case DiffRecord::Preferences:
            DiffSettings(out, PreferencesRows, s);
            break;
        case DiffRecord::Backup:
            DiffBackup(out, before, after);
            break;
    }
    return out;
}

std::string BackupSectionName(std::size_t payloadRow) {
    std::string name = PayloadRowAt(payloadRow).name;
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return name;
}

BackupPayload RestoredState(const BackupPayload& before, const BackupPayload& restored) {
    BackupPayload state = restored;
    for (int k = 0; k <= LastUserModeSlot - FirstUserModeSlot; ++k) {
        const std::size_t present = backup::UserModePresent(k);
        if (restored[present] == 0) {
            std::memcpy(state.data() + present, before.data() + present, 2 + ModeSize);
        }
    }
    return state;
}

std::size_t RestoredRecordCount(const BackupPayload& restored) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < RestoreRowCount; ++i) {
        const RestoreRow& row = RestoreRowAt(i);
        count += row.presentByte == 0 || restored[row.presentByte] != 0 ? 1 : 0;
    }
    return count;
}

}  // namespace holvane
