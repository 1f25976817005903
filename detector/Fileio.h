// The settings files: one fixed-layout file per record kind, each a 32-bit magic number, the
// record bytes and a 32-bit checksum over a fixed range of the bytes before it (all numbers
// little-endian). The operations show nothing and answer with a FileResult.
//
// Reading checks the checksum before the magic number, copies into the out arguments only on
// success, accepts a longer file whose first bytes form a valid image and refuses a shorter one as
// a checksum mismatch. Only a regular file is read: anything else (a folder, a named pipe, a device
// node) cannot be opened, and is refused without waiting on it.
//
// Saving never destroys an existing file: the whole image goes to a temporary file in the target's
// folder, which is flushed to disk and then renamed over the target; on any failure the temporary
// file is removed and the target is left as it was. A save is refused as "cannot create" wherever
// opening the target for writing would be refused (a write-protected file, a folder, a path
// through a missing folder, a symbolic link loop, anything that is not a regular file). A symbolic
// link is written through to the file it names, which is created when the link dangles; the link
// stays. A replaced file keeps its permission bits and, where the process may set them, its owner
// and group.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// What the system said about a failed file operation, for a front end that shows more than the
// result code: the errno of the call that failed (0 when the failure lies in the file's
// contents), or what the path names when it is not a regular file.
enum class NodeType { RegularFile, Folder, NamedPipe, CharacterDevice, BlockDevice, Socket, Other };

struct FileFailure {
    int error = 0;
    NodeType node = NodeType::RegularFile;
};

// The 32-bit little-endian number that the four bytes at p hold (magic numbers, checksums).
std::uint32_t GetLe32(const std::uint8_t* p);

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

// Every operation below fills `failure`, when given, with the system's reason for a result other
// than 0 (it is left alone on success).

// The kind whose magic number the file starts with: 2 when the file cannot be opened, 4 when it
// cannot be read, 6 when it is shorter than a magic number, 7 when no kind has its magic.
FileResult ReadFileKind(const std::string& fileName, FileKind& kind,
                        FileFailure* failure = nullptr);
std::optional<FileKind> FileKindOfMagic(std::uint32_t magic);

// The first `limit` bytes of a regular file (all of it when it is shorter) and the file's size:
// 0, 2 (cannot open, or not a regular file) or 4 (read failed).
FileResult ReadFileStart(const std::string& fileName, std::size_t limit,
                         std::vector<std::uint8_t>& bytes, std::uintmax_t& fileSize,
                         FileFailure* failure = nullptr);

// What a reader of the kind decides about the first bytes of a file: 0, 6 (shorter than the
// kind's length, or the checksum does not match) or 7 (the magic number does not match).
FileResult CheckFileImage(FileKind kind, std::span<const std::uint8_t> image);

// Writers: 0, 1 (cannot create), 5 (writing or replacing failed).
FileResult WriteModeFile(const std::string& fileName, const ModeRecord& mode,
                         FileFailure* failure = nullptr);
// Only the settings part of the mode goes into the file, with 266 zero bytes for the pattern.
FileResult WriteModeSettingsFile(const std::string& fileName, const ModeRecord& mode,
                                 FileFailure* failure = nullptr);
FileResult WritePatternFile(const std::string& fileName, const PatternRecord& pattern,
                            FileFailure* failure = nullptr);
FileResult WriteUniversalFile(const std::string& fileName, const UniversalSettingsRecord& record,
                              FileFailure* failure = nullptr);
FileResult WriteBackupFile(const std::string& fileName, const BackupPayload& payload,
                           FileFailure* failure = nullptr);
// Any other file (a picture, say) saved the same way: 0, 1 or 5, the old file kept on failure.
FileResult WriteWholeFile(const std::string& fileName, std::span<const std::uint8_t> bytes,
                          FileFailure* failure = nullptr);

// Readers: 0, 2 (cannot open), 4 (read failed), 6 (checksum), 7 (magic). A mode file gives the
// settings and the pattern block whatever its flag, and the flag byte as stored.
FileResult ReadModeFile(const std::string& fileName, ModeRecord& mode, std::uint8_t& hasPattern,
                        FileFailure* failure = nullptr);
FileResult ReadPatternFile(const std::string& fileName, PatternRecord& pattern,
                           FileFailure* failure = nullptr);

// The one pattern a file of the kind holds: a pattern file's, or a mode file's when its flag says
// it holds its pattern. The reader's codes, with 0 and holdsPattern false (pattern untouched) for
// a mode file without its pattern; any other kind holds none.
FileResult ReadPatternOfFile(const std::string& fileName, FileKind kind, PatternRecord& pattern,
                             bool& holdsPattern, FileFailure* failure = nullptr);
FileResult ReadUniversalFile(const std::string& fileName, UniversalSettingsRecord& record,
                             FileFailure* failure = nullptr);
FileResult ReadBackupFile(const std::string& fileName, BackupPayload& payload,
                          FileFailure* failure = nullptr);

// The name of the temporary file a save of the target uses, in the target's folder: short
// whatever the target's length, hidden, and telling whose save it is (".NAME.holvane-saving" for
// a short name). A save finding one that no running save holds removes it first.
std::string TemporaryNameFor(const std::string& target);

}  // namespace holvane
