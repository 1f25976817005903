// The rows of the three settings grids (mode settings, universal settings, preferences): what each
// row shows of its record, how a record is built back from the rows' texts, and the limits an
// integer row keeps after an edit. A grid holds only texts: a list row one of its items, an
// integer row a decimal number.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Records.h"

namespace holvane {

enum class RowKind { List, Integer };

// A list item and the byte it stands for.
struct ListChoice {
    std::uint8_t value;
    std::string_view text;
};

struct SettingsRow {
    std::string_view caption;  // as the grid shows it, with its leading space
    RowKind kind;
    std::size_t field;                    // the record byte the row shows
    std::span<const ListChoice> choices;  // list rows: the items in list order
    std::string_view otherText;           // list rows: shown for a byte no item stands for
    int minimum;                          // integer rows: the limits after an edit
    int maximum;
};

extern const std::array<SettingsRow, 10> ModeSettingsRows;
extern const std::array<SettingsRow, 7> UniversalSettingsRows;
extern const std::array<SettingsRow, 5> PreferencesRows;

using RowTexts = std::vector<std::string>;

// The text a row shows for a byte: the item that stands for it (or the row's other text), or the
// byte in decimal. No limit is applied when showing.
std::string RowText(const SettingsRow& row, std::uint8_t value);

// The row's text for a byte as a report gives it: RowText, with the byte's value added when the
// row's list has no item for it (the row then shows the text of another value).
std::string ShownRowText(const SettingsRow& row, std::uint8_t value);

// The row's caption without its leading space.
std::string_view RowCaption(const SettingsRow& row);

// The byte a row's text stands for: for a list row the value of the item it names (compared
// without regard to case), for an integer row the number taken as one unsigned byte. Nothing when
// the text is neither.
std::optional<std::uint8_t> RowValue(const SettingsRow& row, std::string_view text);

// A row's text taken as a whole decimal number, as the grid reads an integer row; nothing when the
// text is no such number.
std::optional<int> RowNumber(std::string_view text);

// The texts of all rows of a grid for a record.
RowTexts RecordTexts(std::span<const SettingsRow> rows, std::span<const std::uint8_t> record);

// The row whose caption, without its leading space, is the name (case-insensitive).
const SettingsRow* FindSettingsRow(std::span<const SettingsRow> rows, std::string_view name);

// Whether a record has been loaded (from the detector or a file) since the program started; a
// record never loaded still holds its defaults in the bytes no row shows.
enum class RecordState { NeverLoaded, Loaded };

// Building a record from its grid's texts, one text per row in row order. Each answers false and
// leaves the record untouched when a text count or a text does not fit its rows.
//
// Mode settings: BuiltMarker 1, TargetSlot the slot being uploaded to (8 for a file), reserved
// bytes 0..9, 18 and 20 zero, the row bytes; bytes 22 and 23 keep their values.
bool BuildModeSettings(std::span<const std::string> texts, int targetSlot,
                       std::span<std::uint8_t, ModeSettingsSize> record);
// Universal settings: BuiltMarker 1 and the row bytes; while the record was never loaded the bytes
// no row shows get their fill values (4, 6 = 30; 9 = 0; 10, 11 = 1; 12 = 0), otherwise they and
// bytes 13..15 and 17 keep their values.
bool BuildUniversalSettings(std::span<const std::string> texts, RecordState state,
                            UniversalSettingsRecord& record);
// Preferences: BuiltMarker 1 and the row bytes; while never loaded bytes 1..6 and 10 are zeroed.
bool BuildPreferences(std::span<const std::string> texts, RecordState state,
                      PreferencesRecord& record);

// A record as the window hands it on when it was shown in its grid and not edited: its texts
// built back into it, as the window does before a save or an upload. False (record untouched)
// when a shown text would not build, which the rows' texts never give.
bool RebuildModeSettings(std::span<std::uint8_t, ModeSettingsSize> record, int targetSlot);
bool RebuildUniversalSettings(UniversalSettingsRecord& record, RecordState state);

// The limit rule after an edit of an integer row: a value above the maximum becomes the maximum,
// otherwise one below the minimum becomes the minimum. Answers the text the row is to hold, or
// nothing when the row keeps its text (list rows, values within the limits, texts that are no
// number).
std::optional<std::string> LimitedRowText(const SettingsRow& row, std::string_view text);

}  // namespace holvane
