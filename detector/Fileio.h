// The settings files: one fixed-layout file per record kind, each a 32-bit magic number, the
// record bytes and a 32-bit checksum over a fixed range of the bytes before it (all numbers
// little-endian). The operations show nothing and answer with a FileResult.
//
// Reading checks the checksum before the magic number, copies into the out arguments only on
// success, accepts a longer file whose first bytes form a valid image and refuses a shorter one as
// a checksum mismatch. Saving never destroys an existing file: the whole image goes to a temporary
// file in the target's folder, which is flushed to disk and then renamed over the target; on any
// failure the temporary file is removed and the target is left as it was.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "BackupPayload.h"
#include "Records.h"

namespace holvane {

enum class FileResult : int {
    Success = 0,
    CannotCreate = 1,  // writers: the file could not be created
    CannotOpen = 2,    // readers: the file could not be opened
    ReadFailed = 4,
    WriteFailed = 5,  // writers: writing or replacing the file failed
    ChecksumMismatch = 6,
    WrongMagic = 7,
};

// The signed 32-bit sum of the bytes, each taken as a signed 8-bit value.
std::int32_t FileChecksum(std::span<const std::uint8_t> bytes);

enum class FileKind { Mode, Pattern, Universal, Backup };

struct FileKindInfo {
    FileKind kind;
    std::string_view word;       // looked for in the extension of a name chosen for saving
    std::string_view extension;  // "." + word
    std::string_view saveTitle;
    std::string_view openTitle;
    std::string_view filter;  // of the file dialogs; '|' separates description and mask
    std::uint32_t magic;
    std::size_t fileSize;
    std::size_t checksummed;  // the checksum covers bytes 0..checksummed-1
};

extern const std::array<FileKindInfo, 4> FileKinds;

const FileKindInfo& FileKindOf(FileKind kind);

// The Patterns page opens a pattern either from a pattern file or from a mode file.
inline constexpr std::string_view PatternOrModeOpenFilter =
    "Vantor pattern files (*.ptrn)|*.ptrn|Vantor mode files (*.mode)|*.mode";

// Mode file layout.
inline constexpr std::size_t ModeFileFlag = 4;  // 1 when the pattern is present
inline constexpr std::size_t ModeFileSpare = 5;
inline constexpr std::size_t ModeFileSettings = 6;
inline constexpr std::size_t ModeFilePattern = 32;
// The body of every file starts after the magic number.
inline constexpr std::size_t FileBody = 4;

// The extension of a file name: its last path component from the last dot on, dot included,
// lower-cased; empty when that component has no dot.
std::string LowerCasedExtension(std::string_view fileName);

// The name a save uses: the chosen name, with "." + the kind's word appended when the
// lower-cased extension does not contain the word (spring -> spring.mode, spring.txt ->
// spring.txt.mode, spring.MODE and spring.model unchanged).
std::string NameForSave(std::string_view chosen, FileKind kind);

// The kind whose magic number the file starts with: 2 when the file cannot be opened, 4 when it
// cannot be read, 6 when it is shorter than a magic number, 7 when no kind has its magic.
FileResult ReadFileKind(const std::string& fileName, FileKind& kind);
std::optional<FileKind> FileKindOfMagic(std::uint32_t magic);

// Writers: 0, 1 (cannot create), 5 (writing or replacing failed).
FileResult WriteModeFile(const std::string& fileName, const ModeRecord& mode);
// Only the settings part of the mode goes into the file, with 266 zero bytes for the pattern.
FileResult WriteModeSettingsFile(const std::string& fileName, const ModeRecord& mode);
FileResult WritePatternFile(const std::string& fileName, const PatternRecord& pattern);
FileResult WriteUniversalFile(const std::string& fileName, const UniversalSettingsRecord& record);
FileResult WriteBackupFile(const std::string& fileName, const BackupPayload& payload);
// Any other file (a picture, say) saved the same way: 0, 1 or 5, the old file kept on failure.
FileResult WriteWholeFile(const std::string& fileName, std::span<const std::uint8_t> bytes);

// Readers: 0, 2 (cannot open), 4 (read failed), 6 (checksum), 7 (magic). A mode file gives the
// settings and the pattern block whatever its flag, and the flag byte as stored.
FileResult ReadModeFile(const std::string& fileName, ModeRecord& mode, std::uint8_t& hasPattern);
FileResult ReadPatternFile(const std::string& fileName, PatternRecord& pattern);
FileResult ReadUniversalFile(const std::string& fileName, UniversalSettingsRecord& record);
FileResult ReadBackupFile(const std::string& fileName, BackupPayload& payload);

}  // namespace holvane
