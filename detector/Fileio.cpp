#include "Fileio.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <utility>
#include <vector>

#include "FileAccess.h"
#include "TextCase.h"

namespace holvane {

using fileaccess::Failed;

namespace {

using Image = std::vector<std::uint8_t>;

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::uint32_t StoredChecksum(std::span<const std::uint8_t> bytes, std::size_t covered) {
    return static_cast<std::uint32_t>(FileChecksum(bytes.first(covered)));
}

// Up to this many bytes of the target's name go into the temporary name unchanged; a longer name
// is cut and told apart by a hash of the whole.
inline constexpr std::size_t NameKeptWhole = 64;
inline constexpr std::size_t NameKeptCut = 40;

std::string TemporaryBaseFor(std::string_view base) {
    static constexpr std::string_view Suffix = ".holvane-saving";
    std::string name(1, '.');
    if (base.size() <= NameKeptWhole) {
        return name.append(base).append(Suffix);
    }
    std::uint64_t hash = 14695981039346656037u;  // FNV-1a
    for (const char c : base) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    }
    std::size_t cut = NameKeptCut;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) {
        --cut;  // not inside a UTF-8 character
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return name.append(base.substr(0, cut)).append(1, '~').append(digits).append(Suffix);
}

// Reads the first buffer.size() bytes of a file. A file shorter than that counts as a checksum
// mismatch, since its image cannot be whole.
FileResult ReadPrefix(const std::string& fileName, std::span<std::uint8_t> buffer,
                      FileFailure* failure) {
    std::size_t got = 0;
    if (const FileResult r = fileaccess::ReadStart(fileName, buffer, got, nullptr, failure);
        r != FileResult::Success) {
        return r;
    }
    return got < buffer.size() ? Failed(FileResult::ChecksumMismatch, failure, 0)
                               : FileResult::Success;
}

FileResult WriteBody(const std::string& fileName, FileKind kind, std::span<const std::uint8_t> body,
                     FileFailure* failure) {
    const FileKindInfo& info = FileKindOf(kind);
    assert(body.size() == info.fileSize - 8);
    Image image(info.fileSize, 0);
    PutLe32(image.data(), info.magic);
    std::ranges::copy(body, image.begin() + FileBody);
    PutLe32(image.data() + info.fileSize - 4, StoredChecksum(image, info.checksummed));
    return fileaccess::WriteImage(fileName, image, failure);
}

// Reads a file of the kind and copies its body (all between magic and checksum) into `body`,
// only when the file is sound.
FileResult ReadBody(const std::string& fileName, FileKind kind, std::span<std::uint8_t> body,
                    FileFailure* failure) {
    const FileKindInfo& info = FileKindOf(kind);
    assert(body.size() == info.fileSize - 8);
    Image image(info.fileSize, 0);
    if (const FileResult r = ReadPrefix(fileName, image, failure); r != FileResult::Success) {
        return r;
    }
    if (const FileResult r = CheckFileImage(kind, image); r != FileResult::Success) {
        return Failed(r, failure, 0);
    }
    std::copy_n(image.begin() + FileBody, body.size(), body.begin());
    return FileResult::Success;
}

inline constexpr std::size_t ModeFileBodySize = ModeFilePattern + PatternSize - FileBody;  // 294

using ModeFileBody = std::array<std::uint8_t, ModeFileBodySize>;

ModeFileBody ModeBody(const ModeRecord& mode, ModeParts parts) {
    const bool withPattern = parts == ModeParts::WithPattern;
    ModeFileBody body{};
    body[ModeFileFlag - FileBody] = withPattern ? 1 : 0;
    const auto settings = ModeSettingsOf(mode);
    std::ranges::copy(settings, body.begin() + (ModeFileSettings - FileBody));
    if (withPattern) {
        std::ranges::copy(PatternOf(mode), body.begin() + (ModeFilePattern - FileBody));
    }
    return body;
}

}  // namespace

std::uint32_t GetLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::int32_t FileChecksum(std::span<const std::uint8_t> bytes) {
    std::int32_t sum = 0;
    for (const std::uint8_t b : bytes) {
        sum += static_cast<std::int8_t>(b);
    }
    return sum;
}

const std::array<FileKindInfo, 4> FileKinds = {{
    {FileKind::Mode, "mode", ".mode", "Save Mode", "Open Mode", "Vantor mode files (*.mode)|*.mode",
     0xAABBCC01, 302, 297},
    {FileKind::Pattern, "ptrn", ".ptrn", "Save Pattern", "Open Pattern",
     "Vantor pattern files (*.ptrn)|*.ptrn", 0x0A23FF77, 274, 270},
    {FileKind::Universal, "glb", ".glb", "Save Universal Settings", "Open Universal Settings",
     "Files with Vantor universal settings (*.glb)|*.glb", 0xDEAA0233, 26, 22},
    {FileKind::Backup, "vantor", ".vantor", "Backup Vantor Settings", "Open Vantor Backup",
     "Vantor backup files (*.vantor)|*.vantor", 0xBACD0148, 3372, 3368},
}};

static_assert(ModeFilePattern + PatternSize + 4 == 302);

const FileKindInfo& FileKindOf(FileKind kind) {
    return FileKinds[static_cast<std::size_t>(kind)];
}

std::string LowerCasedExtension(std::string_view fileName) {
    const auto slash = fileaccess::LastSeparator(fileName);
    const std::string_view last =
        slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const auto dot = last.rfind('.');
    return dot == std::string_view::npos ? std::string() : LowerCased(last.substr(dot));
}

std::string NameForSave(std::string_view chosen, FileKind kind) {
    const FileKindInfo& info = FileKindOf(kind);
    std::string name(chosen);
    if (LowerCasedExtension(chosen).find(info.word) == std::string::npos) {
        name += info.extension;
    }
    return name;
}

std::optional<FileKind> FileKindOfMagic(std::uint32_t magic) {
    const auto it = std::ranges::find(FileKinds, magic, &FileKindInfo::magic);
    return it == FileKinds.end() ? std::nullopt : std::optional(it->kind);
}

std::string TemporaryNameFor(const std::string& target) {
    const auto slash = fileaccess::LastSeparator(target);
    if (slash == std::string::npos) {
        return TemporaryBaseFor(target);
    }
    return target.substr(0, slash + 1) +
           TemporaryBaseFor(std::string_view(target).substr(slash + 1));
}

FileResult CheckFileImage(FileKind kind, std::span<const std::uint8_t> image) {
    const FileKindInfo& info = FileKindOf(kind);
    if (image.size() < info.fileSize) {
        return FileResult::ChecksumMismatch;
    }
    if (GetLe32(image.data() + info.fileSize - 4) != StoredChecksum(image, info.checksummed)) {
        return FileResult::ChecksumMismatch;
    }
    if (GetLe32(image.data()) != info.magic) {
        return FileResult::WrongMagic;
    }
    return FileResult::Success;
}

FileResult ReadFileStart(const std::string& fileName, std::size_t limit,
                         std::vector<std::uint8_t>& bytes, std::uintmax_t& fileSize,
                         FileFailure* failure) {
    Image image(limit);
    std::size_t got = 0;
    std::uintmax_t size = 0;
    if (const FileResult r = fileaccess::ReadStart(fileName, image, got, &size, failure);
        r != FileResult::Success) {
        return r;
    }
    image.resize(got);
    bytes = std::move(image);
    fileSize = size;
    return FileResult::Success;
}

FileResult ReadFileKind(const std::string& fileName, FileKind& kind, FileFailure* failure) {
    std::array<std::uint8_t, 4> magic{};
    if (const FileResult r = ReadPrefix(fileName, magic, failure); r != FileResult::Success) {
        return r;
    }
    const auto found = FileKindOfMagic(GetLe32(magic.data()));
    if (!found) {
        return Failed(FileResult::WrongMagic, failure, 0);
    }
    kind = *found;
    return FileResult::Success;
}

FileResult WriteModeFile(const std::string& fileName, const ModeRecord& mode,
                         FileFailure* failure) {
    return WriteBody(fileName, FileKind::Mode, ModeBody(mode, ModeParts::WithPattern), failure);
}

FileResult WriteModeSettingsFile(const std::string& fileName, const ModeRecord& mode,
                                 FileFailure* failure) {
    return WriteBody(fileName, FileKind::Mode, ModeBody(mode, ModeParts::SettingsOnly), failure);
}

FileResult ReadModeFile(const std::string& fileName, ModeRecord& mode, std::uint8_t& hasPattern,
                        FileFailure* failure) {
    ModeFileBody body{};
    const FileResult r = ReadBody(fileName, FileKind::Mode, body, failure);
    if (r == FileResult::Success) {
        hasPattern = body[ModeFileFlag - FileBody];
        std::copy_n(body.begin() + (ModeFileSettings - FileBody), ModeSize, mode.begin());
    }
    return r;
}

FileResult ReadPatternOfFile(const std::string& fileName, FileKind kind, PatternRecord& pattern,
                             bool& holdsPattern, FileFailure* failure) {
    holdsPattern = false;
    if (kind == FileKind::Pattern) {
        const FileResult r = ReadPatternFile(fileName, pattern, failure);
        holdsPattern = r == FileResult::Success;
        return r;
    }
    if (kind != FileKind::Mode) {
        return FileResult::Success;
    }
    ModeRecord mode{};
    std::uint8_t hasPattern = 0;
    const FileResult r = ReadModeFile(fileName, mode, hasPattern, failure);
    if (r == FileResult::Success && hasPattern != 0) {
        std::ranges::copy(PatternOf(std::as_const(mode)), pattern.begin());
        holdsPattern = true;
    }
    return r;
}

FileResult WritePatternFile(const std::string& fileName, const PatternRecord& pattern,
                            FileFailure* failure) {
    return WriteBody(fileName, FileKind::Pattern, pattern, failure);
}

FileResult ReadPatternFile(const std::string& fileName, PatternRecord& pattern,
                           FileFailure* failure) {
    return ReadBody(fileName, FileKind::Pattern, pattern, failure);
}

FileResult WriteUniversalFile(const std::string& fileName, const UniversalSettingsRecord& record,
                              FileFailure* failure) {
    return WriteBody(fileName, FileKind::Universal, record, failure);
}

FileResult ReadUniversalFile(const std::string& fileName, UniversalSettingsRecord& record,
                             FileFailure* failure) {
    return ReadBody(fileName, FileKind::Universal, record, failure);
}

FileResult WriteBackupFile(const std::string& fileName, const BackupPayload& payload,
                           FileFailure* failure) {
    return WriteBody(fileName, FileKind::Backup, payload, failure);
}

FileResult WriteWholeFile(const std::string& fileName, std::span<const std::uint8_t> bytes,
                          FileFailure* failure) {
    return fileaccess::WriteImage(fileName, bytes, failure);
}

FileResult ReadBackupFile(const std::string& fileName, BackupPayload& payload,
                          FileFailure* failure) {
    return ReadBody(fileName, FileKind::Backup, payload, failure);
}

}  // namespace holvane
