// Settings as text: the value of one setting read from what a person types or a document holds,
// changes to the settings of a record by caption, and a settings file written from its whole
// image. One rule for every front end that reads settings as text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Fileio.h"
#include "SettingsRows.h"

namespace holvane {

// The byte a value stands for, or what is wrong with the value.
struct SettingValue {
    std::optional<std::uint8_t> byte;
    std::string problem;  // when there is no byte: "\"Medium\" is not one of High, Low"
};

// The items of a list row in the order of their bytes, separated by ", ".
std::string ListItemsText(const SettingsRow& row);

// Whether a list row names the byte with one of its items. A byte no item stands for appears as
// its number wherever settings are written as text, so that it reads back unchanged.
bool ShownByName(const SettingsRow& row, std::uint8_t value);

// A stored byte given as text: a list row's item (in any case), an integer row's whole number
// 0..255. No limit is applied: a file may hold any byte.
SettingValue StoredSettingValue(const SettingsRow& row, std::string_view text);
// A stored byte given as a number: any row, 0..255.
SettingValue StoredSettingNumber(std::int64_t number);

// A value typed by a person: a list row's item (in any case), an integer row's whole number
// within the row's limits. A value outside the limits is refused rather than clamped: the
// person is told instead of finding another value stored.
SettingValue TypedSettingValue(const SettingsRow& row, std::string_view text);

struct SettingAssignment {
    std::string caption;  // as a person names the row, in any case
    std::string value;
};

// Applies typed values to a record, all or nothing: answers one problem per assignment that names
// no row or whose value does not fit ("Audio Volume Gain=45: 45 is above the limit 30"), and
// changes the record only when there is none. Only the assigned rows' bytes change.
std::vector<std::string> AssignSettings(std::span<const SettingsRow> rows,
                                        std::span<std::uint8_t> record,
                                        std::span<const SettingAssignment> assignments);

// Sets the magic number and the checksum of a whole file image of the kind (its length).
void SealFileImage(FileKind kind, std::span<std::uint8_t> image);

// Writes a file of the kind from its whole image (the kind's length): the magic number and the
// checksum are set, the rest written as it is, saved as every settings file is saved.
FileResult WriteFileImage(const std::string& fileName, FileKind kind,
                          std::vector<std::uint8_t> image, FileFailure* failure = nullptr);

// The text between double quotes, as the messages about values show it: "Medium".
std::string DoubleQuoted(std::string_view text);

}  // namespace holvane
