#include "SettingsRows.h"

#include <algorithm>
#include <charconv>

#include "TextCase.h"

namespace holvane {

namespace {

constexpr std::array<ListChoice, 2> OnOff = {{{1, "On"}, {0, "Off"}}};
constexpr std::array<ListChoice, 2> LowHigh = {{{1, "Low"}, {0, "High"}}};
constexpr std::array<ListChoice, 2> NeutralDifficult = {{{0, "Neutral"}, {1, "Difficult"}}};
constexpr std::array<ListChoice, 4> Responses = {
    {{0, "Normal"}, {1, "Long"}, {2, "Smooth"}, {3, "Pitch Hold"}}};
constexpr std::array<ListChoice, 4> Tones = {{{0, "1"}, {1, "2"}, {2, "4"}, {3, "Multi"}}};
constexpr std::array<ListChoice, 2> ConductFerrous = {{{0, "Conduct"}, {1, "Ferrous"}}};
constexpr std::array<ListChoice, 2> AutoManual = {{{0, "Auto"}, {1, "Manual"}}};
// The automatic level is a signed byte; 0 is the automatic level "A".
constexpr std::array<ListChoice, 7> AutoLevels = {
    {{253, "-3"}, {254, "-2"}, {255, "-1"}, {0, "A"}, {1, "1"}, {2, "2"}, {3, "3"}}};
constexpr std::array<ListChoice, 2> NormalSizing = {{{0, "Normal"}, {1, "Sizing"}}};

constexpr SettingsRow List(std::string_view caption, std::size_t field,
                           std::span<const ListChoice> choices, std::string_view otherText) {
    return {caption, RowKind::List, field, choices, otherText, 0, 0};
}

constexpr SettingsRow Integer(std::string_view caption, std::size_t field, int minimum,
                              int maximum) {
    return {caption, RowKind::Integer, field, {}, {}, minimum, maximum};
}

// Writes the built marker and the bytes the rows' texts stand for, or nothing at all when a text
// count or any text does not fit the rows.
bool WriteRows(std::span<const SettingsRow> rows, std::span<const std::string> texts,
               std::size_t builtMarker, std::span<std::uint8_t> record) {
    if (texts.size() != rows.size()) {
        return false;
    }
    std::vector<std::uint8_t> values;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto value = RowValue(rows[i], texts[i]);
        if (!value) {
            return false;
        }
        values.push_back(*value);
    }
    record[builtMarker] = 1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        record[rows[i].field] = values[i];
    }
    return true;
}

}  // namespace

const std::array<SettingsRow, 10> ModeSettingsRows = {{
    List(" Recovery Deep", modesettings::RecoveryDeep, OnOff, "Off"),
    List(" Recovery Fast", modesettings::RecoveryFast, OnOff, "Off"),
    List(" Trash Density", modesettings::TrashDensityLow, LowHigh, "Low"),
    List(" Ground", modesettings::GroundDifficult, NeutralDifficult, "Difficult"),
    Integer(" Audio Volume Gain", modesettings::AudioVolumeGain, 1, 30),
    List(" Audio Response", modesettings::AudioResponse, Responses, "Pitch Hold"),
    List(" Audio No. of Tones", modesettings::AudioTones, Tones, "Multi"),
    List(" Audio Tone ID Sounds", modesettings::ToneIdFerrous, ConductFerrous, "Ferrous"),
    Integer(" Audio Tone ID Variability", modesettings::ToneIdVariability, 1, 30),
    Integer(" Audio Tone ID Limits", modesettings::ToneIdLimits, 1, 30),
}};

const std::array<SettingsRow, 7> UniversalSettingsRows = {{
    List(" Sensitivity", universalsettings::SensitivityManual, AutoManual, "Manual"),
    Integer(" Sensitivity Manual Level", universalsettings::SensitivityManualLevel, 1, 30),
    List(" Sensitivity Auto Level", universalsettings::SensitivityAutoLevel, AutoLevels, "A"),
    Integer(" Audio Threshold Level", universalsettings::AudioThresholdLevel, 1, 50),
    Integer(" Audio Volume Limit", universalsettings::AudioVolumeLimit, 0, 30),
    Integer(" Audio Threshold Pitch", universalsettings::AudioThresholdPitch, 1, 30),
    Integer(" Noise Cancel", universalsettings::NoiseCancel, 1, 11),
}};

const std::array<SettingsRow, 5> PreferencesRows = {{
    Integer(" Contrast", preferences::Contrast, 1, 30),
    List(" Pinpoint Mode", preferences::PinpointSizing, NormalSizing, "Sizing"),
    List(" Show Sensitivity", preferences::ShowSensitivity, OnOff, "Off"),
    List(" Show Mode Info", preferences::ShowModeInfo, OnOff, "Off"),
    List(" Display Timeout", preferences::DisplayTimeout, OnOff, "Off"),
}};

std::optional<int> RowNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string RowText(const SettingsRow& row, std::uint8_t value) {
    if (row.kind == RowKind::Integer) {
        return std::to_string(value);
    }
    const auto it = std::ranges::find(row.choices, value, &ListChoice::value);
    return std::string(it == row.choices.end() ? row.otherText : it->text);
}

std::string ShownRowText(const SettingsRow& row, std::uint8_t value) {
    std::string text = RowText(row, value);
    if (row.kind == RowKind::List &&
        std::ranges::find(row.choices, value, &ListChoice::value) == row.choices.end()) {
        text += " (byte " + std::to_string(value) + ", which no item stands for)";
    }
    return text;
}

std::string_view RowCaption(const SettingsRow& row) {
    std::string_view caption = row.caption;
    while (!caption.empty() && caption.front() == ' ') {
        caption.remove_prefix(1);
    }
    return caption;
}

std::optional<std::uint8_t> RowValue(const SettingsRow& row, std::string_view text) {
    if (row.kind == RowKind::Integer) {
        const auto number = RowNumber(text);
        return number ? std::optional(static_cast<std::uint8_t>(*number)) : std::nullopt;
    }
    const auto it = std::ranges::find_if(
        row.choices, [text](const ListChoice& c) { return EqualsIgnoringCase(c.text, text); });
    return it == row.choices.end() ? std::nullopt : std::optional(it->value);
}

RowTexts RecordTexts(std::span<const SettingsRow> rows, std::span<const std::uint8_t> record) {
    RowTexts texts;
    for (const SettingsRow& row : rows) {
        texts.push_back(RowText(row, record[row.field]));
    }
    return texts;
}

const SettingsRow* FindSettingsRow(std::span<const SettingsRow> rows, std::string_view name) {
    const auto it = std::ranges::find_if(rows, [name](const SettingsRow& row) {
        return EqualsIgnoringCase(row.caption.substr(1), name);
    });
    return it == rows.end() ? nullptr : &*it;
}

bool BuildModeSettings(std::span<const std::string> texts, int targetSlot,
                       std::span<std::uint8_t, ModeSettingsSize> record) {
    if (!WriteRows(ModeSettingsRows, texts, modesettings::BuiltMarker, record)) {
        return false;
    }
    record[modesettings::TargetSlot] = static_cast<std::uint8_t>(targetSlot);
    std::fill_n(record.begin(), 10, std::uint8_t{0});  // reserved
    record[18] = 0;
    record[20] = 0;
    return true;
}

bool BuildUniversalSettings(std::span<const std::string> texts, RecordState state,
                            UniversalSettingsRecord& record) {
    if (!WriteRows(UniversalSettingsRows, texts, universalsettings::BuiltMarker, record)) {
        return false;
    }
    if (state == RecordState::NeverLoaded) {
        record[9] = 0;
        record[4] = 30;
        record[6] = 30;
        record[10] = 1;
        record[11] = 1;
        record[12] = 0;
    }
    return true;
}

bool BuildPreferences(std::span<const std::string> texts, RecordState state,
                      PreferencesRecord& record) {
    if (!WriteRows(PreferencesRows, texts, preferences::BuiltMarker, record)) {
        return false;
    }
    if (state == RecordState::NeverLoaded) {
        std::fill_n(record.begin() + 1, 6, std::uint8_t{0});
        record[10] = 0;
    }
    return true;
}

bool RebuildModeSettings(std::span<std::uint8_t, ModeSettingsSize> record, int targetSlot) {
    return BuildModeSettings(RecordTexts(ModeSettingsRows, record), targetSlot, record);
}

bool RebuildUniversalSettings(UniversalSettingsRecord& record, RecordState state) {
    return BuildUniversalSettings(RecordTexts(UniversalSettingsRows, record), state, record);
}

std::optional<std::string> LimitedRowText(const SettingsRow& row, std::string_view text) {
    if (row.kind != RowKind::Integer) {
        return std::nullopt;
    }
    const auto value = RowNumber(text);
    if (!value) {
        return std::nullopt;
    }
    if (*value > row.maximum) {
        return std::to_string(row.maximum);
    }
    if (*value < row.minimum) {
        return std::to_string(row.minimum);
    }
    return std::nullopt;
}

}  // namespace holvane
