#include "FileReport.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <span>

#include "Backup.h"
#include "BackupPayload.h"
#include "JsonWriter.h"
#include "Messages.h"
#include "PatternGrid.h"
#include "RecordDiff.h"
#include "SettingsRows.h"
#include "SettingsText.h"

namespace holvane::cli {

namespace {

using Record = ReportSection::Record;

std::string HexNumber(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

ReportSection Section(std::string name, Record record, const std::vector<std::uint8_t>& raw,
                      std::size_t offset, std::size_t size) {
    ReportSection section;
    section.name = std::move(name);
    section.record = record;
    section.offset = offset;
    section.bytes.assign(raw.begin() + static_cast<std::ptrdiff_t>(offset),
                         raw.begin() + static_cast<std::ptrdiff_t>(offset + size));
    return section;
}

ReportSection Bytes(std::string name, std::vector<ReportSection::NamedByte> bytes) {
    ReportSection section;
    section.name = std::move(name);
    section.namedBytes = std::move(bytes);
    return section;
}

void AddMode(std::vector<ReportSection>& sections, const std::string& name,
             const std::vector<std::uint8_t>& raw, std::size_t offset) {
    sections.push_back(
        Section(name + " settings", Record::ModeSettings, raw, offset, ModeSettingsSize));
    sections.push_back(
        Section(name + " pattern", Record::Pattern, raw, offset + ModePatternOffset, PatternSize));
}

// A user mode of a backup: its present and reserved bytes, then the mode when it is present (an
// absent one is not restored, but its bytes are still part of the file).
void AddUserMode(std::vector<ReportSection>& sections, const std::string& name,
                 const std::vector<std::uint8_t>& raw, const RestoreRow& row) {
    const std::size_t present = FileBody + row.presentByte;
    ReportSection flags = Bytes(name, {{"present byte", present, raw[present]},
                                       {"reserved byte", present + 1, raw[present + 1]}});
    flags.absent = raw[present] == 0;
    if (flags.absent) {
        const ReportSection mode =
            Section(name, Record::None, raw, FileBody + row.offset, ModeSize);
        flags.offset = mode.offset;
        flags.bytes = mode.bytes;
    }
    sections.push_back(std::move(flags));
    if (raw[present] != 0) {
        AddMode(sections, name, raw, FileBody + row.offset);
    }
}

// The records of a backup in the order they lie in the payload, named as the restore names them.
void AddBackupSections(std::vector<ReportSection>& sections, const std::vector<std::uint8_t>& raw) {
    for (std::size_t i = 0; i < RestoreRowCount; ++i) {
        const RestoreRow& row = PayloadRowAt(i);
        const std::string name = BackupSectionName(i);
        const std::size_t at = FileBody + row.offset;
        switch (row.kind) {
            case RestoreRow::Kind::Mode:
                if (row.presentByte != 0) {
                    AddUserMode(sections, name, raw, row);
                } else {
                    AddMode(sections, name, raw, at);
                }
                break;
            case RestoreRow::Kind::UniversalSettings:
                sections.push_back(
                    Section(name, Record::UniversalSettings, raw, at, UniversalSettingsSize));
                break;
            case RestoreRow::Kind::Preferences:
                sections.push_back(Section(name, Record::Preferences, raw, at, PreferencesSize));
                break;
            case RestoreRow::Kind::Pattern:
                sections.push_back(Section(name, Record::Pattern, raw, at, PatternSize));
                break;
        }
    }
}

}  // namespace

std::vector<ReportSection> FileSections(FileKind kind, const std::vector<std::uint8_t>& raw) {
    std::vector<ReportSection> sections;
    switch (kind) {
        case FileKind::Mode:
            sections.push_back(Bytes("File", {{"has-pattern flag", ModeFileFlag, raw[ModeFileFlag]},
                                              {"spare byte", ModeFileSpare, raw[ModeFileSpare]}}));
            sections.push_back(Section("Mode settings", Record::ModeSettings, raw, ModeFileSettings,
                                       ModeSettingsSize));
            sections.push_back(
                Section("Pattern", Record::Pattern, raw, ModeFilePattern, PatternSize));
            break;
        case FileKind::Pattern:
            sections.push_back(Section("Pattern", Record::Pattern, raw, FileBody, PatternSize));
            break;
        case FileKind::Universal:
            sections.push_back(Section("Universal settings", Record::UniversalSettings, raw,
                                       FileBody, UniversalSettingsSize));
            break;
        case FileKind::Backup:
            AddBackupSections(sections, raw);
            break;
    }
    return sections;
}

std::span<const SettingsRow> SettingsRowsOf(Record record) {
    switch (record) {
        case Record::ModeSettings:
            return ModeSettingsRows;
        case Record::UniversalSettings:
            return UniversalSettingsRows;
        case Record::Preferences:
            return PreferencesRows;
        case Record::Pattern:
        case Record::None:
            break;
    }
    return {};
}

std::vector<ByteRun> UnshownRuns(const ReportSection& section) {
    std::set<std::size_t> shown;
    if (section.record == Record::Pattern) {
        for (std::size_t i = PatternGridOffset; i < PatternGridOffset + PatternGridSize; ++i) {
            shown.insert(i);
        }
    }
    for (const SettingsRow& row : SettingsRowsOf(section.record)) {
        shown.insert(row.field);
    }
    std::vector<ByteRun> runs;
    for (std::size_t i = 0; i < section.bytes.size(); ++i) {
        if (shown.contains(i)) {
            continue;
        }
        if (runs.empty() || runs.back().first + runs.back().bytes.size() != i) {
            runs.push_back({i, {}});
        }
        runs.back().bytes.push_back(section.bytes[i]);
    }
    return runs;
}

// The bits of each column's last byte that hold no cell.
std::uint8_t NonCellMask() {
    std::uint8_t cells = 0;
    for (int row = 0; row < PatternRows; ++row) {
        if (PatternCellByte(row, 0) == PatternGridOffset + PatternColumnBytes - 1) {
            cells = static_cast<std::uint8_t>(cells | PatternCellMask(row));
        }
    }
    return static_cast<std::uint8_t>(~cells);
}

namespace {

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

// Per column, the bits of its last byte that hold no cell (as they lie in the byte).
std::vector<std::uint8_t> NonCellBits(const std::vector<std::uint8_t>& pattern) {
    std::vector<std::uint8_t> bits;
    for (int column = 0; column < PatternColumns; ++column) {
        bits.push_back(static_cast<std::uint8_t>(
            pattern[PatternCellByte(0, column) + PatternColumnBytes - 1] & NonCellMask()));
    }
    return bits;
}

bool AllZero(const std::vector<std::uint8_t>& bytes) {
    return std::ranges::all_of(bytes, [](std::uint8_t b) { return b == 0; });
}

// The bytes as lines of `perLine`, each led by the index range of its first and last byte.
std::string HexLines(const std::vector<std::uint8_t>& bytes, std::size_t first,
                     std::size_t perLine) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += perLine) {
        const std::size_t n = std::min(perLine, bytes.size() - i);
        const std::vector<std::uint8_t> line(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                                             bytes.begin() + static_cast<std::ptrdiff_t>(i + n));
        text += "    " +
                Padded(std::to_string(first + i) + ".." + std::to_string(first + i + n - 1), 10) +
                Hex(line, HexSpacing::Spaced) + "\n";
    }
    return text;
}

std::string HexByte(std::uint8_t byte) {
    return Hex(std::vector<std::uint8_t>{byte}, HexSpacing::Packed);
}

}  // namespace

std::string KindName(FileKind kind) {
    switch (kind) {
        case FileKind::Mode:
            return "mode";
        case FileKind::Pattern:
            return "pattern";
        case FileKind::Universal:
            return "universal settings";
        case FileKind::Backup:
            return "backup";
    }
    return "";
}

std::string Hex(const std::vector<std::uint8_t>& bytes, HexSpacing spacing) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (spacing == HexSpacing::Spaced && i > 0) {
            text += ' ';
        }
        text += Digits[bytes[i] >> 4];
        text += Digits[bytes[i] & 0x0F];
    }
    return text;
}

std::vector<std::string> PatternLines(const std::vector<std::uint8_t>& pattern) {
    std::vector<std::string> lines;
    if (pattern.size() != PatternSize) {
        return lines;
    }
    const PatternView view(pattern.data(), PatternSize);
    for (int row = 0; row < PatternRows; ++row) {
        std::string line;
        for (int column = 0; column < PatternColumns; ++column) {
            line += PatternCell(view, row, column) ? '#' : '.';
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::optional<FileReport> ReportFile(const std::string& fileName, FileResult& result,
                                     FileFailure& failure) {
    FileReport report;
    report.fileName = fileName;
    // Read once, as much as the largest kind holds; the kind is then told by the magic number.
    result = ReadFileStart(fileName, FileKindOf(FileKind::Backup).fileSize, report.raw,
                           report.fileSize, &failure);
    if (result != FileResult::Success) {
        return std::nullopt;
    }
    if (report.raw.size() >= FileBody) {
        report.magic = GetLe32(report.raw.data());
        report.haveMagic = true;
    }
    const std::optional<FileKind> kind =
        report.haveMagic ? FileKindOfMagic(report.magic) : std::nullopt;
    if (!kind) {
        report.problem = report.haveMagic ? "unknown magic number " + HexNumber(report.magic) +
                                                ": not a mode, pattern, universal-settings or "
                                                "backup file"
                                          : "too short for a magic number";
        return report;
    }
    report.kind = kind;
    const FileKindInfo& info = FileKindOf(*kind);
    if (report.raw.size() < info.fileSize) {
        report.problem = "too short: " + std::to_string(report.raw.size()) + " bytes, a " +
                         KindName(*kind) + " file has " + std::to_string(info.fileSize);
        return report;
    }
    report.raw.resize(info.fileSize);
    report.storedChecksum =
        static_cast<std::int32_t>(GetLe32(report.raw.data() + info.fileSize - 4));
    report.computedChecksum = FileChecksum(std::span(report.raw).first(info.checksummed));
    report.sections = FileSections(*kind, report.raw);

    // The verdict of the kind's own reader, which is what the window would get on opening it.
    switch (CheckFileImage(*kind, report.raw)) {
        case FileResult::Success:
            report.valid = true;
            break;
        case FileResult::WrongMagic:
            report.problem = "wrong magic number " + HexNumber(report.magic);
            break;
        default:
            report.problem = "checksum mismatch: stored " + std::to_string(*report.storedChecksum) +
                             ", computed " + std::to_string(*report.computedChecksum) +
                             " over bytes 0.." + std::to_string(info.checksummed - 1);
            break;
    }
    return report;
}

std::string RenderText(const FileReport& report) {
    std::string text = "file: " + report.fileName + "\n";
    text += "kind: " +
            (report.kind ? KindName(*report.kind) + " file (magic " + HexNumber(report.magic) + ")"
                         : std::string("unknown")) +
            "\n";
    text += "size: " + std::to_string(report.fileSize) + " bytes\n";
    text += "valid: " + (report.valid ? std::string("yes") : "no: " + report.problem) + "\n";

    for (const ReportSection& section : report.sections) {
        text += "\n[" + section.name + "]";
        if (!section.bytes.empty() && !section.absent) {
            text += "  file offset " + std::to_string(section.offset) + ", " +
                    std::to_string(section.bytes.size()) + " bytes";
        }
        text += "\n";
        for (const auto& named : section.namedBytes) {
            text += "  " +
                    Padded(named.name + " (offset " + std::to_string(named.offset) + ")", 30) +
                    HexByte(named.value) + "\n";
        }
        if (section.absent) {
            text += "  absent: the backup holds no such mode";
            if (AllZero(section.bytes)) {
                text += "; its " + std::to_string(section.bytes.size()) + " bytes at file offset " +
                        std::to_string(section.offset) + " are all zero\n";
            } else {
                text += "; its bytes:\n" + HexLines(section.bytes, section.offset, 16);
            }
        }
        const auto rows = SettingsRowsOf(section.record);
        for (const SettingsRow& row : rows) {
            text += "  " + Padded(std::string(RowCaption(row)), 30) +
                    ShownRowText(row, section.bytes[row.field]) + "\n";
        }
        const auto runs = UnshownRuns(section);
        if (!runs.empty() && section.record != Record::None) {
            text += section.record == Record::Pattern ? "  header and trailer bytes:\n"
                                                      : "  bytes no setting shows:\n";
            for (const ByteRun& run : runs) {
                std::string where = std::to_string(run.first);
                if (run.bytes.size() > 1) {
                    where += ".." + std::to_string(run.first + run.bytes.size() - 1);
                }
                text += "    " + Padded(where, 10) + Hex(run.bytes, HexSpacing::Spaced) + "\n";
            }
        }
        if (section.record == Record::Pattern) {
            const std::vector<std::uint8_t> bits = NonCellBits(section.bytes);
            text += "  bits no cell shows (3..7 of each column's fifth byte)";
            text += AllZero(bits) ? ": all clear\n" : ", columns:\n" + HexLines(bits, 0, 10);
            for (const std::string& line : PatternLines(section.bytes)) {
                text += "  " + line + "\n";
            }
        }
    }
    return text;
}

namespace {

void JsonNamedBytes(JsonWriter& json, const ReportSection& section) {
    json.Key("bytes").BeginArray();
    for (const auto& named : section.namedBytes) {
        json.BeginObject()
            .Key("name")
            .String(named.name)
            .Key("offset")
            .Number(static_cast<std::int64_t>(named.offset))
            .Key("value")
            .Number(named.value)
            .EndObject();
    }
    json.EndArray();
    json.Key("absent").Bool(section.absent);
}

void JsonSettings(JsonWriter& json, const ReportSection& section,
                  std::span<const SettingsRow> rows) {
    json.Key("settings").BeginObject();
    for (const SettingsRow& row : rows) {
        const std::uint8_t value = section.bytes[row.field];
        json.Key(RowCaption(row));
        if (ShownByName(row, value)) {
            json.String(RowText(row, value));
        } else {
            json.Number(value);
        }
    }
    json.EndObject();
}

void JsonUnshownBytes(JsonWriter& json, const ReportSection& section) {
    json.Key("unshownBytes").BeginArray();
    for (const ByteRun& run : UnshownRuns(section)) {
        json.BeginObject()
            .Key("first")
            .Number(static_cast<std::int64_t>(run.first))
            .Key("raw")
            .String(Hex(run.bytes, HexSpacing::Packed))
            .EndObject();
    }
    json.EndArray();
}

void JsonPattern(JsonWriter& json, const ReportSection& section) {
    json.Key("nonCellBits").String(Hex(NonCellBits(section.bytes), HexSpacing::Packed));
    json.Key("cells").BeginArray();
    for (const std::string& line : PatternLines(section.bytes)) {
        json.String(line);
    }
    json.EndArray();
}

void JsonSection(JsonWriter& json, const ReportSection& section) {
    json.BeginObject();
    json.Key("name").String(section.name);
    if (!section.namedBytes.empty()) {
        JsonNamedBytes(json, section);
    }
    if (!section.bytes.empty()) {
        json.Key("offset").Number(static_cast<std::int64_t>(section.offset));
        json.Key("raw").String(Hex(section.bytes, HexSpacing::Packed));
    }
    if (const auto rows = SettingsRowsOf(section.record); !rows.empty()) {
        JsonSettings(json, section, rows);
    }
    if (section.record != Record::None) {
        JsonUnshownBytes(json, section);
    }
    if (section.record == Record::Pattern) {
        JsonPattern(json, section);
    }
    json.EndObject();
}

// The file as a whole: its name, kind, size, magic number, verdict, checksums and bytes.
void JsonFile(JsonWriter& json, const FileReport& report) {
    json.Key("file").String(report.fileName);
    if (!IsUtf8(report.fileName)) {
        // "file" shows each byte that is not UTF-8 as U+FFFD; here is the name as it is.
        json.Key("fileHex").String(
            Hex(std::vector<std::uint8_t>(report.fileName.begin(), report.fileName.end()),
                HexSpacing::Packed));
    }
    json.Key("kind");
    report.kind ? json.String(KindName(*report.kind)) : json.Null();
    json.Key("size").Number(static_cast<std::int64_t>(report.fileSize));
    json.Key("magic");
    report.haveMagic ? json.String(HexNumber(report.magic)) : json.Null();
    json.Key("valid").Bool(report.valid);
    json.Key("problem");
    report.valid ? json.Null() : json.String(report.problem);
    json.Key("checksum").BeginObject();
    json.Key("stored");
    report.storedChecksum ? json.Number(*report.storedChecksum) : json.Null();
    json.Key("computed");
    report.computedChecksum ? json.Number(*report.computedChecksum) : json.Null();
    json.EndObject();
    json.Key("raw").String(Hex(report.raw, HexSpacing::Packed));
}

}  // namespace

std::string RenderJson(const FileReport& report) {
    JsonWriter json;
    json.BeginObject();
    json.Key("schema").String(FileSchema);
    JsonFile(json, report);
    json.Key("sections").BeginArray();
    for (const ReportSection& section : report.sections) {
        JsonSection(json, section);
    }
    json.EndArray();
    json.EndObject();
    return json.Text();
}

}  // namespace holvane::cli
