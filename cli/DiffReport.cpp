#include "DiffReport.h"

#include "FileReport.h"
#include "JsonWriter.h"

namespace holvane::cli {

namespace {

using Type = Difference::Type;

std::string HexByte(std::uint8_t byte) {
    return Hex(std::vector<std::uint8_t>{byte}, HexSpacing::Packed);
}

// Rows as "4, 6..9": runs of three or more as a range.
std::string RowList(const std::vector<int>& rows) {
    std::string text;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) {
            ++j;
        }
        text += (i == 0 ? "" : ", ") + std::to_string(rows[i]);
        if (j >= i + 2) {
            text += ".." + std::to_string(rows[j]);
            i = j + 1;
        } else {
            ++i;
        }
    }
    return text;
}

// One difference as a line: what differs, padded to a column, then old -> new.
std::string Line(const Difference& d, const DiffReport& report) {
    std::string what;
    std::string change;
    switch (d.type) {
        case Type::Setting:
            what = d.caption;
            change = d.oldText + " -> " + d.newText;
            break;
        case Type::Cells:
            what = "pattern cells";
            change = std::to_string(d.cells) + (d.cells == 1 ? " differs" : " differ") +
                     ", in row" + (d.rows.size() == 1 ? " " : "s ") + RowList(d.rows);
            break;
        case Type::Bits:
            what = "byte " + std::to_string(d.offset);
            if (d.mask != 0xFF) {
                what += ", bits " + HexByte(d.mask);
            }
            change = HexByte(d.oldByte) + " -> " + HexByte(d.newByte);
            break;
        case Type::Presence:
            return "  held by " + (d.oldPresent ? report.oldName : report.newName) +
                   " only, not by " + (d.oldPresent ? report.newName : report.oldName) + "\n";
    }
    constexpr std::size_t Column = 30;
    if (what.size() < Column) {
        what.append(Column - what.size(), ' ');
    } else {
        what += ' ';
    }
    return "  " + what + change + "\n";
}

const char* TypeName(Type type) {
    switch (type) {
        case Type::Setting:
            return "setting";
        case Type::Cells:
            return "cells";
        case Type::Bits:
            return "bits";
        case Type::Presence:
            return "presence";
    }
    return "";
}

void JsonDifference(JsonWriter& json, const Difference& d) {
    json.BeginObject();
    json.Key("section").String(d.section);
    json.Key("type").String(TypeName(d.type));
    switch (d.type) {
        case Type::Setting:
            json.Key("setting").String(d.caption);
            json.Key("old").String(d.oldText);
            json.Key("new").String(d.newText);
            json.Key("offset").Number(static_cast<std::int64_t>(d.offset));
            json.Key("oldByte").Number(d.oldByte);
            json.Key("newByte").Number(d.newByte);
            break;
        case Type::Cells:
            json.Key("count").Number(d.cells);
            json.Key("rows").BeginArray();
            for (const int row : d.rows) {
                json.Number(row);
            }
            json.EndArray();
            break;
        case Type::Bits:
            json.Key("offset").Number(static_cast<std::int64_t>(d.offset));
            json.Key("mask").Number(d.mask);
            json.Key("oldByte").Number(d.oldByte);
            json.Key("newByte").Number(d.newByte);
            break;
        case Type::Presence:
            json.Key("oldPresent").Bool(d.oldPresent);
            json.Key("newPresent").Bool(d.newPresent);
            break;
    }
    json.EndObject();
}

}  // namespace

std::string DiffRecordName(DiffRecord record) {
    switch (record) {
        case DiffRecord::Mode:
            return "mode";
        case DiffRecord::ModeSettings:
            return "mode settings";
        case DiffRecord::Pattern:
            return "pattern";
        case DiffRecord::UniversalSettings:
            return "universal settings";
        case DiffRecord::Preferences:
            return "preferences";
        case DiffRecord::Backup:
            return "backup";
    }
    return "";
}

std::string RenderDiffText(const DiffReport& report) {
    if (report.differences.empty()) {
        return "identical\n";
    }
    std::string text = "--- " + report.oldName + "\n+++ " + report.newName + "\n";
    const std::string* section = nullptr;
    for (const Difference& d : report.differences) {
        if (section == nullptr || *section != d.section) {
            section = &d.section;
            text += "[" + d.section + "]\n";
        }
        text += Line(d, report);
    }
    const std::size_t n = report.differences.size();
    text += std::to_string(n) + (n == 1 ? " difference\n" : " differences\n");
    return text;
}

std::string RenderDiffJson(const DiffReport& report) {
    JsonWriter json;
    json.BeginObject();
    json.Key("schema").String(DiffSchema);
    json.Key("kind").String(report.kind);
    json.Key("old").String(report.oldName);
    json.Key("new").String(report.newName);
    json.Key("identical").Bool(report.differences.empty());
    json.Key("differences").BeginArray();
    for (const Difference& d : report.differences) {
        JsonDifference(json, d);
    }
    json.EndArray();
    json.EndObject();
    return json.Text();
}

}  // namespace holvane::cli
