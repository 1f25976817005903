// What `holvanectl show` tells about a settings file: its kind by magic number, whether it is
// valid and which check fails, and its records as the window shows them. One report, two
// renderings: text for people, JSON for scripts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Fileio.h"
#include "SettingsRows.h"

namespace holvane::cli {

// One record of a file, or a few named bytes of the file's own frame.
struct ReportSection {
    enum class Record { None, ModeSettings, Pattern, UniversalSettings, Preferences };

    std::string name;
    Record record = Record::None;
    std::size_t offset = 0;           // of the record in the file
    std::vector<std::uint8_t> bytes;  // the record's bytes
    // Named single bytes (a flag, a present byte), with their file offsets.
    struct NamedByte {
        std::string name;
        std::size_t offset;
        std::uint8_t value;
    };
    std::vector<NamedByte> namedBytes;
    // A user mode the backup does not hold: its bytes (in `bytes`) mean nothing and are not
    // restored.
    bool absent = false;
};

struct FileReport {
    std::string fileName;
    std::optional<FileKind> kind;  // by the magic number
    std::uintmax_t fileSize = 0;
    std::uint32_t magic = 0;
    bool haveMagic = false;
    bool valid = false;
    std::string problem;  // which check fails, when not valid
    std::optional<std::int32_t> storedChecksum;
    std::optional<std::int32_t> computedChecksum;
    std::vector<std::uint8_t> raw;  // the file's image (its kind's fixed length at most)
    std::vector<ReportSection> sections;
};

// Reads and checks the file. nullopt when it cannot be opened or read at all, with the result
// (2 or 4) and the system's reason.
std::optional<FileReport> ReportFile(const std::string& fileName, FileResult& result,
                                     FileFailure& failure);

// The name and version of the JSON document that RenderJson prints and `import` reads.
inline constexpr std::string_view FileSchema = "holvane-file/1";

// The records of a file of the kind, in file order, as the report names them. In a backup, a user
// mode whose present byte is 0 is one section of its flags and bytes; one that is present is its
// flags, its settings and its pattern.
std::vector<ReportSection> FileSections(FileKind kind, const std::vector<std::uint8_t>& raw);

// The grid rows that show a record (none for a pattern or for a file's own bytes).
std::span<const SettingsRow> SettingsRowsOf(ReportSection::Record record);

// Runs of consecutive record offsets that no row or cell shows: the first offset and the bytes.
struct ByteRun {
    std::size_t first;
    std::vector<std::uint8_t> bytes;
};
std::vector<ByteRun> UnshownRuns(const ReportSection& section);

// The bits of each pattern column's fifth byte that hold no cell.
std::uint8_t NonCellMask();

std::string RenderText(const FileReport& report);
std::string RenderJson(const FileReport& report);

// Lower-case hexadecimal, two digits a byte, separated by spaces or not.
enum class HexSpacing { Packed, Spaced };
std::string Hex(const std::vector<std::uint8_t>& bytes, HexSpacing spacing);

// The 35 lines of 50 characters of a pattern, '#' for an on cell, '.' for an off one.
std::vector<std::string> PatternLines(const std::vector<std::uint8_t>& pattern);

// The name of a file kind as the reports use it ("mode", "pattern", "universal settings",
// "backup").
std::string KindName(FileKind kind);

}  // namespace holvane::cli
