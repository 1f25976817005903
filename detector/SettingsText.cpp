#include "SettingsText.h"

#include <algorithm>

namespace holvane {

namespace {

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

SettingValue Problem(std::string problem) {
    return {std::nullopt, std::move(problem)};
}

SettingValue ListValue(const SettingsRow& row, std::string_view text) {
    if (const auto value = RowValue(row, text)) {
        return {value, ""};
    }
    return Problem(DoubleQuoted(text) + " is not one of " + ListItemsText(row));
}

}  // namespace

std::string ListItemsText(const SettingsRow& row) {
    std::vector<ListChoice> items(row.choices.begin(), row.choices.end());
    std::ranges::sort(items, {}, &ListChoice::value);
    std::string text;
    for (const ListChoice& item : items) {
        text += (text.empty() ? "" : ", ") + std::string(item.text);
    }
    return text;
}

bool ShownByName(const SettingsRow& row, std::uint8_t value) {
    return row.kind == RowKind::List &&
           std::ranges::find(row.choices, value, &ListChoice::value) != row.choices.end();
}

SettingValue StoredSettingNumber(std::int64_t number) {
    if (number < 0 || number > 255) {
        return Problem(std::to_string(number) + " is outside 0..255");
    }
    return {static_cast<std::uint8_t>(number), ""};
}

SettingValue StoredSettingValue(const SettingsRow& row, std::string_view text) {
    if (row.kind == RowKind::List) {
        return ListValue(row, text);
    }
    const auto number = RowNumber(text);
    if (!number) {
        return Problem(DoubleQuoted(text) + " is not a whole number");
    }
    return StoredSettingNumber(*number);
}

SettingValue TypedSettingValue(const SettingsRow& row, std::string_view text) {
    const auto number = row.kind == RowKind::Integer ? RowNumber(text) : std::nullopt;
    if (number && *number > row.maximum) {
        return Problem(std::to_string(*number) + " is above the limit " +
                       std::to_string(row.maximum));
    }
    if (number && *number < row.minimum) {
        return Problem(std::to_string(*number) + " is below the limit " +
                       std::to_string(row.minimum));
    }
    return StoredSettingValue(row, text);
}

std::vector<std::string> AssignSettings(std::span<const SettingsRow> rows,
                                        std::span<std::uint8_t> record,
                                        std::span<const SettingAssignment> assignments) {
    std::vector<std::string> problems;
    std::vector<std::pair<std::size_t, std::uint8_t>> changes;
    for (const SettingAssignment& a : assignments) {
        const std::string where = a.caption + "=" + a.value + ": ";
        const SettingsRow* row = FindSettingsRow(rows, a.caption);
        if (row == nullptr) {
            std::string captions;
            for (const SettingsRow& r : rows) {
                captions += (captions.empty() ? "" : ", ") + std::string(RowCaption(r));
            }
            problems.push_back(where + "no setting is called " + DoubleQuoted(a.caption) +
                               " here; the settings are " + captions);
            continue;
        }
        const SettingValue value = TypedSettingValue(*row, a.value);
        if (!value.byte) {
            problems.push_back(where + value.problem);
            continue;
        }
        changes.emplace_back(row->field, *value.byte);
    }
    if (problems.empty()) {
        for (const auto& [field, byte] : changes) {
            record[field] = byte;
        }
    }
    return problems;
}

void SealFileImage(FileKind kind, std::span<std::uint8_t> image) {
    const FileKindInfo& info = FileKindOf(kind);
    PutLe32(image.data(), info.magic);
    PutLe32(image.data() + info.fileSize - 4,
            static_cast<std::uint32_t>(FileChecksum(image.first(info.checksummed))));
}

FileResult WriteFileImage(const std::string& fileName, FileKind kind,
                          std::vector<std::uint8_t> image, FileFailure* failure) {
    image.resize(FileKindOf(kind).fileSize, 0);
    SealFileImage(kind, image);
    return WriteWholeFile(fileName, image, failure);
}

// Built by appending: GCC 12 at -O3 misreads "\"" + std::string(...) as an overlapping copy.
std::string DoubleQuoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

}  // namespace holvane
