#include "Fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "TextCase.h"

namespace holvane {

namespace {

using Image = std::vector<std::uint8_t>;

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::uint32_t GetLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t StoredChecksum(std::span<const std::uint8_t> bytes, std::size_t covered) {
    return static_cast<std::uint32_t>(FileChecksum(bytes.first(covered)));
}

// Closes a file descriptor when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now, reporting whether the close succeeded.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

// A symbolic link is written through to the file it names, as opening it for writing would.
std::string ResolvedTarget(const std::string& fileName) {
    struct stat st {};
    if (::lstat(fileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(fileName.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return fileName;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new file beside the target, named after it, with the permissions a newly created
// file would get (or the target's own when it already exists). Answers -1 when no file can be
// created there.
int CreateTemporaryBeside(const std::string& target, std::string& temporaryName) {
    static std::atomic<unsigned> counter{0};
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryName = folder + "." + base + ".saving-" + std::to_string(::getpid()) + "-" +
                        std::to_string(counter++);
        const int fd = ::open(temporaryName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            struct stat st {};
            if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                (void)::fchmod(fd, st.st_mode & 07777);
            }
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);  // best effort: the new file is in place already
        ::close(fd);
    }
}

FileResult WriteImage(const std::string& fileName, std::span<const std::uint8_t> image) {
    if (fileName.empty()) {
        return FileResult::CannotCreate;
    }
    const std::string target = ResolvedTarget(fileName);
    std::string temporaryName;
    Descriptor file(CreateTemporaryBeside(target, temporaryName));
    if (file.get() < 0) {
        return FileResult::CannotCreate;
    }
    const bool written = WriteAll(file.get(), image) && ::fsync(file.get()) == 0;
    if (!file.Close() || !written || ::rename(temporaryName.c_str(), target.c_str()) != 0) {
        ::unlink(temporaryName.c_str());
        return FileResult::WriteFailed;
    }
    SyncFolder(FolderOf(target));
    return FileResult::Success;
}

// Reads the first buffer.size() bytes of a file. A file shorter than that counts as a checksum
// mismatch, since its image cannot be whole.
FileResult ReadPrefix(const std::string& fileName, std::span<std::uint8_t> buffer) {
    Descriptor file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return FileResult::CannotOpen;
    }
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::read(file.get(), buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return FileResult::ReadFailed;
        }
        if (n == 0) {
            return FileResult::ChecksumMismatch;
        }
        got += static_cast<std::size_t>(n);
    }
    return FileResult::Success;
}

FileResult WriteBody(const std::string& fileName, FileKind kind,
                     std::span<const std::uint8_t> body) {
    const FileKindInfo& info = FileKindOf(kind);
    assert(body.size() == info.fileSize - 8);
    Image image(info.fileSize, 0);
    PutLe32(image.data(), info.magic);
    std::ranges::copy(body, image.begin() + FileBody);
    PutLe32(image.data() + info.fileSize - 4, StoredChecksum(image, info.checksummed));
    return WriteImage(fileName, image);
}

// Reads a file of the kind and copies its body (all between magic and checksum) into `body`,
// only when the file is sound.
FileResult ReadBody(const std::string& fileName, FileKind kind, std::span<std::uint8_t> body) {
    const FileKindInfo& info = FileKindOf(kind);
    assert(body.size() == info.fileSize - 8);
    Image image(info.fileSize, 0);
    if (const FileResult r = ReadPrefix(fileName, image); r != FileResult::Success) {
        return r;
    }
    if (GetLe32(image.data() + info.fileSize - 4) != StoredChecksum(image, info.checksummed)) {
        return FileResult::ChecksumMismatch;
    }
    if (GetLe32(image.data()) != info.magic) {
        return FileResult::WrongMagic;
    }
    std::copy_n(image.begin() + FileBody, body.size(), body.begin());
    return FileResult::Success;
}

inline constexpr std::size_t ModeFileBodySize = ModeFilePattern + PatternSize - FileBody;  // 294

using ModeFileBody = std::array<std::uint8_t, ModeFileBodySize>;

ModeFileBody ModeBody(const ModeRecord& mode, bool withPattern) {
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
    const auto slash = fileName.rfind('/');
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

FileResult ReadFileKind(const std::string& fileName, FileKind& kind) {
    std::array<std::uint8_t, 4> magic{};
    if (const FileResult r = ReadPrefix(fileName, magic); r != FileResult::Success) {
        return r;
    }
    const auto found = FileKindOfMagic(GetLe32(magic.data()));
    if (!found) {
        return FileResult::WrongMagic;
    }
    kind = *found;
    return FileResult::Success;
}

FileResult WriteModeFile(const std::string& fileName, const ModeRecord& mode) {
    return WriteBody(fileName, FileKind::Mode, ModeBody(mode, true));
}

FileResult WriteModeSettingsFile(const std::string& fileName, const ModeRecord& mode) {
    return WriteBody(fileName, FileKind::Mode, ModeBody(mode, false));
}

FileResult ReadModeFile(const std::string& fileName, ModeRecord& mode, std::uint8_t& hasPattern) {
    ModeFileBody body{};
    const FileResult r = ReadBody(fileName, FileKind::Mode, body);
    if (r == FileResult::Success) {
        hasPattern = body[ModeFileFlag - FileBody];
        std::copy_n(body.begin() + (ModeFileSettings - FileBody), ModeSize, mode.begin());
    }
    return r;
}

FileResult WritePatternFile(const std::string& fileName, const PatternRecord& pattern) {
    return WriteBody(fileName, FileKind::Pattern, pattern);
}

FileResult ReadPatternFile(const std::string& fileName, PatternRecord& pattern) {
    return ReadBody(fileName, FileKind::Pattern, pattern);
}

FileResult WriteUniversalFile(const std::string& fileName, const UniversalSettingsRecord& record) {
    return WriteBody(fileName, FileKind::Universal, record);
}

FileResult ReadUniversalFile(const std::string& fileName, UniversalSettingsRecord& record) {
    return ReadBody(fileName, FileKind::Universal, record);
}

FileResult WriteBackupFile(const std::string& fileName, const BackupPayload& payload) {
    return WriteBody(fileName, FileKind::Backup, payload);
}

FileResult WriteWholeFile(const std::string& fileName, std::span<const std::uint8_t> bytes) {
    return WriteImage(fileName, bytes);
}

FileResult ReadBackupFile(const std::string& fileName, BackupPayload& payload) {
    return ReadBody(fileName, FileKind::Backup, payload);
}

}  // namespace holvane
