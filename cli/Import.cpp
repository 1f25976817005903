#include "Import.h"

#include <algorithm>
#include <set>
#include <span>

#include "FileReport.h"
#include "JsonReader.h"
#include "PatternGrid.h"
#include "SettingsText.h"
#include "TextCase.h"

namespace holvane::cli {

namespace {

using Record = ReportSection::Record;

// The first fault found, with its place in the document.
struct Fault {
    std::string message;
};

[[noreturn]] void Refuse(const std::string& place, const std::string& what) {
    throw Fault{(place.empty() ? "the document" : place) + ": " + what};
}

std::string Member(const std::string& place, std::string_view name) {
    return place.empty() ? std::string(name) : place + "." + std::string(name);
}

std::string Item(const std::string& place, std::size_t index) {
    return place + "[" + std::to_string(index) + "]";
}

const JsonValue& Expect(const JsonValue& value, JsonValue::Type type, const std::string& place) {
    if (value.GetType() != type) {
        Refuse(place, std::string(JsonTypeName(value.GetType())) + " where " +
                          std::string(JsonTypeName(type)) + " is expected");
    }
    return value;
}

// An object whose keys are all known: the required ones present, the others among `optional`.
const JsonValue& ExpectObject(const JsonValue& value, const std::string& place,
                              std::initializer_list<std::string_view> required,
                              std::initializer_list<std::string_view> optional) {
    Expect(value, JsonValue::Type::Object, place);
    for (const auto& [key, member] : value.AsObject()) {
        if (std::ranges::find(required, key) == required.end() &&
            std::ranges::find(optional, key) == optional.end()) {
            Refuse(place, "unknown key " + DoubleQuoted(key));
        }
    }
    for (const std::string_view key : required) {
        if (value.Find(key) == nullptr) {
            Refuse(place, "the key " + DoubleQuoted(key) + " is missing");
        }
    }
    return value;
}

const JsonValue& Get(const JsonValue& object, std::string_view key, JsonValue::Type type,
                     const std::string& place) {
    return Expect(*object.Find(key), type, Member(place, key));
}

std::vector<std::uint8_t> FromHex(const std::string& text, std::size_t size,
                                  const std::string& place) {
    const auto digit = [&](char c) {
        const char lower = LowerAscii(c);
        if (lower >= '0' && lower <= '9') {
            return lower - '0';
        }
        if (lower >= 'a' && lower <= 'f') {
            return lower - 'a' + 10;
        }
        Refuse(place, "is not hexadecimal: " + DoubleQuoted(std::string(1, c)));
    };
    if (text.size() != 2 * size) {
        Refuse(place, std::to_string(text.size() / 2) + (text.size() % 2 ? ".5" : "") +
                          " bytes where " + std::to_string(size) + " are expected");
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(digit(text[i]) * 16 + digit(text[i + 1])));
    }
    return bytes;
}

std::uint8_t ByteValue(const JsonValue& value, const std::string& place) {
    const SettingValue byte =
        StoredSettingNumber(Expect(value, JsonValue::Type::Number, place).AsNumber());
    if (!byte.byte) {
        Refuse(place, byte.problem);
    }
    return *byte.byte;
}

class Importer {
public:
    explicit Importer(const JsonValue& document) : document_(document) {}

    ImportedFile Run() {
        ExpectObject(document_, "", {"schema", "kind", "valid", "sections"},
                     {"file", "fileHex", "size", "magic", "problem", "checksum", "raw"});
        const std::string& schema =
            Get(document_, "schema", JsonValue::Type::String, "").AsString();
        if (schema != FileSchema) {
            Refuse("schema", DoubleQuoted(schema) + " is not " + std::string(FileSchema) +
                                 ", the one this holvanectl reads");
        }
        const JsonValue& kindValue = *document_.Find("kind");
        if (kindValue.IsNull()) {
            Refuse("kind", "the document shows a file of no known kind");
        }
        const std::string& kindName = Expect(kindValue, JsonValue::Type::String, "kind").AsString();
        const FileKindInfo* info = nullptr;
        for (const FileKindInfo& k : FileKinds) {
            if (KindName(k.kind) == kindName) {
                info = &k;
            }
        }
        if (info == nullptr) {
            Refuse("kind", DoubleQuoted(kindName) +
                               " is not one of mode, pattern, universal settings, backup");
        }
        if (!Get(document_, "valid", JsonValue::Type::Bool, "").AsBool()) {
            Refuse("valid",
                   "the document shows a file that is not valid; only a valid file is "
                   "built back");
        }
        kind_ = info->kind;
        image_.assign(info->fileSize, 0);
        ReadSections(Get(document_, "sections", JsonValue::Type::Array, "").AsArray());
        return {kind_, image_, ""};
    }

private:
    void ReadSections(const JsonArray& sections) {
        std::vector<ReportSection> expected = FileSections(kind_, image_);
        std::size_t i = 0;
        for (; i < sections.size(); ++i) {
            const std::string at = Item("sections", i);
            Expect(sections[i], JsonValue::Type::Object, at);
            const JsonValue* name = sections[i].Find("name");
            if (name == nullptr) {
                Refuse(at, "the key \"name\" is missing");
            }
            const std::string& sectionName =
                Expect(*name, JsonValue::Type::String, Member(at, "name")).AsString();
            if (i >= expected.size()) {
                Refuse(at, "the section " + DoubleQuoted(sectionName) + " is one more than a " +
                               KindName(kind_) + " file has");
            }
            if (sectionName != expected[i].name) {
                Refuse(Member(at, "name"), DoubleQuoted(sectionName) + " where " +
                                               DoubleQuoted(expected[i].name) + " is expected");
            }
            const std::string place = "sections." + DoubleQuoted(sectionName);
            if (!expected[i].namedBytes.empty()) {
                ReadNamedBytes(sections[i], expected[i], place);
                // A present byte decides what follows a user mode.
                expected = FileSections(kind_, image_);
                if (expected[i].absent) {
                    ReadAbsentMode(sections[i], expected[i], place);
                }
            } else {
                ReadRecord(sections[i], expected[i], place);
            }
        }
        if (i < expected.size()) {
            Refuse("sections", "the section " + DoubleQuoted(expected[i].name) + " is missing");
        }
    }

    void ReadNamedBytes(const JsonValue& section, const ReportSection& expected,
                        const std::string& place) {
        ExpectObject(section, place, {"name", "bytes"}, {"absent", "offset", "raw"});
        const JsonArray& bytes = Get(section, "bytes", JsonValue::Type::Array, place).AsArray();
        const std::string at = Member(place, "bytes");
        if (bytes.size() != expected.namedBytes.size()) {
            Refuse(at, std::to_string(bytes.size()) + " bytes where " +
                           std::to_string(expected.namedBytes.size()) + " are expected");
        }
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            const auto& want = expected.namedBytes[k];
            const std::string item = Item(at, k);
            ExpectObject(bytes[k], item, {"name", "value"}, {"offset"});
            const std::string& name =
                Get(bytes[k], "name", JsonValue::Type::String, item).AsString();
            if (name != want.name) {
                Refuse(Member(item, "name"),
                       DoubleQuoted(name) + " where " + DoubleQuoted(want.name) + " is expected");
            }
            image_[want.offset] = ByteValue(*bytes[k].Find("value"), Member(item, "value"));
        }
    }

    void ReadAbsentMode(const JsonValue& section, const ReportSection& expected,
                        const std::string& place) {
        if (section.Find("raw") == nullptr) {
            Refuse(place,
                   "the key \"raw\" is missing: an absent mode's bytes are kept as they "
                   "are");
        }
        const auto bytes = FromHex(Get(section, "raw", JsonValue::Type::String, place).AsString(),
                                   expected.bytes.size(), Member(place, "raw"));
        std::ranges::copy(bytes, image_.begin() + static_cast<std::ptrdiff_t>(expected.offset));
    }

    void ReadRecord(const JsonValue& section, const ReportSection& expected,
                    const std::string& place) {
        const auto rows = SettingsRowsOf(expected.record);
        if (expected.record == Record::Pattern) {
            ExpectObject(section, place, {"name", "unshownBytes", "nonCellBits", "cells"},
                         {"offset", "raw"});
        } else {
            ExpectObject(section, place, {"name", "settings", "unshownBytes"}, {"offset", "raw"});
        }
        std::uint8_t* record = image_.data() + expected.offset;
        if (!rows.empty()) {
            ReadSettings(Get(section, "settings", JsonValue::Type::Object, place), rows, record,
                         Member(place, "settings"));
        }
        ReadUnshownBytes(Get(section, "unshownBytes", JsonValue::Type::Array, place).AsArray(),
                         expected, record, Member(place, "unshownBytes"));
        if (expected.record == Record::Pattern) {
            ReadPattern(section, record, place);
        }
    }

    static void ReadSettings(const JsonValue& settings, std::span<const SettingsRow> rows,
                             std::uint8_t* record, const std::string& place) {
        std::set<const SettingsRow*> given;
        for (const auto& [caption, value] : settings.AsObject()) {
            const std::string at = place + "." + DoubleQuoted(caption);
            const SettingsRow* row = FindSettingsRow(rows, caption);
            if (row == nullptr) {
                std::string captions;
                for (const SettingsRow& r : rows) {
                    captions += (captions.empty() ? "" : ", ") + std::string(RowCaption(r));
                }
                Refuse(at, "no setting is called " + DoubleQuoted(caption) +
                               " here; the settings are " + captions);
            }
            if (!given.insert(row).second) {
                Refuse(at, "the setting is given twice");
            }
            SettingValue byte;
            if (value.IsString()) {
                byte = StoredSettingValue(*row, value.AsString());
            } else if (value.IsNumber()) {
                byte = StoredSettingNumber(value.AsNumber());
            } else {
                Refuse(at, std::string(JsonTypeName(value.GetType())) +
                               " where a text or a number is expected");
            }
            if (!byte.byte) {
                Refuse(at, byte.problem);
            }
            record[row->field] = *byte.byte;
        }
        for (const SettingsRow& row : rows) {
            if (!given.contains(&row)) {
                Refuse(place, "the setting " + DoubleQuoted(RowCaption(row)) + " is missing");
            }
        }
    }

    static void ReadUnshownBytes(const JsonArray& runs, const ReportSection& expected,
                                 std::uint8_t* record, const std::string& place) {
        const std::vector<ByteRun> want = UnshownRuns(expected);
        if (runs.size() != want.size()) {
            Refuse(place, std::to_string(runs.size()) + " runs of bytes where " +
                              std::to_string(want.size()) + " are expected");
        }
        for (std::size_t k = 0; k < runs.size(); ++k) {
            const std::string at = Item(place, k);
            ExpectObject(runs[k], at, {"first", "raw"}, {});
            const std::int64_t first =
                Get(runs[k], "first", JsonValue::Type::Number, at).AsNumber();
            if (first != static_cast<std::int64_t>(want[k].first)) {
                Refuse(Member(at, "first"), std::to_string(first) + " where " +
                                                std::to_string(want[k].first) + " is expected");
            }
            const auto bytes = FromHex(Get(runs[k], "raw", JsonValue::Type::String, at).AsString(),
                                       want[k].bytes.size(), Member(at, "raw"));
            std::ranges::copy(bytes, record + want[k].first);
        }
    }

    static void ReadPattern(const JsonValue& section, std::uint8_t* record,
                            const std::string& place) {
        const std::string bitsAt = Member(place, "nonCellBits");
        const auto bits =
            FromHex(Get(section, "nonCellBits", JsonValue::Type::String, place).AsString(),
                    PatternColumns, bitsAt);
        const JsonArray& lines = Get(section, "cells", JsonValue::Type::Array, place).AsArray();
        const std::string cellsAt = Member(place, "cells");
        if (lines.size() != static_cast<std::size_t>(PatternRows)) {
            Refuse(cellsAt, std::to_string(lines.size()) + " rows where " +
                                std::to_string(PatternRows) + " are expected");
        }
        for (int column = 0; column < PatternColumns; ++column) {
            const auto c = static_cast<std::size_t>(column);
            if ((bits[c] & ~NonCellMask()) != 0) {
                Refuse(bitsAt, "column " + std::to_string(column) +
                                   " sets bits that are cells; they belong in \"cells\"");
            }
            record[PatternCellByte(0, column) + PatternColumnBytes - 1] = bits[c];
        }
        for (int row = 0; row < PatternRows; ++row) {
            const std::string at = Item(cellsAt, static_cast<std::size_t>(row));
            const std::string& line =
                Expect(lines[static_cast<std::size_t>(row)], JsonValue::Type::String, at)
                    .AsString();
            if (line.size() != static_cast<std::size_t>(PatternColumns)) {
                Refuse(at, std::to_string(line.size()) + " characters where " +
                               std::to_string(PatternColumns) + " are expected");
            }
            for (int column = 0; column < PatternColumns; ++column) {
                const char cell = line[static_cast<std::size_t>(column)];
                if (cell != '#' && cell != '.') {
                    Refuse(at, "character " + std::to_string(column + 1) + " is " +
                                   DoubleQuoted(std::string(1, cell)) + ", not \"#\" or \".\"");
                }
                std::uint8_t& byte = record[PatternCellByte(row, column)];
                byte = static_cast<std::uint8_t>(cell == '#' ? byte | PatternCellMask(row)
                                                             : byte & ~PatternCellMask(row));
            }
        }
    }

    const JsonValue& document_;
    FileKind kind_ = FileKind::Mode;
    std::vector<std::uint8_t> image_;
};

}  // namespace

ImportedFile ImportDocument(std::string_view document) {
    const JsonParseResult parsed = ParseJson(document);
    if (!parsed.error.empty()) {
        return {std::nullopt, {}, "not valid JSON: " + parsed.error};
    }
    try {
        ImportedFile file = Importer(parsed.value).Run();
        SealFileImage(*file.kind, file.image);
        return file;
    } catch (const Fault& fault) {
        return {std::nullopt, {}, fault.message};
    }
}

}  // namespace holvane::cli
