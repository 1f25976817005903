#include "Fileio.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <utility>
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

std::uint32_t StoredChecksum(std::span<const std::uint8_t> bytes, std::size_t covered) {
    return static_cast<std::uint32_t>(FileChecksum(bytes.first(covered)));
}

// Closes a file descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Reset(); }
    int get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Hands the descriptor over without closing it.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Answers `result`, with the system's reason in `failure` when one is wanted.
FileResult Failed(FileResult result, FileFailure* failure, int error,
                  NodeType node = NodeType::RegularFile) {
    if (failure != nullptr) {
        *failure = {error, node};
    }
    return result;
}

NodeType NodeTypeOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return NodeType::RegularFile;
    }
    if (S_ISDIR(mode)) {
        return NodeType::Folder;
    }
    if (S_ISFIFO(mode)) {
        return NodeType::NamedPipe;
    }
    if (S_ISCHR(mode)) {
        return NodeType::CharacterDevice;
    }
    if (S_ISBLK(mode)) {
        return NodeType::BlockDevice;
    }
    if (S_ISSOCK(mode)) {
        return NodeType::Socket;
    }
    return NodeType::Other;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            errno = ENOSPC;
        }
        if (n <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The path a save replaces: the file name with every symbolic link in its last component followed
// (a relative link from the folder that holds it), and what lies there now.
struct SaveTarget {
    std::string path;
    bool exists = false;
};

// As many links as the system itself follows before it calls a path a loop.
inline constexpr int MaximumLinks = 40;

FileResult ResolveSaveTarget(const std::string& fileName, SaveTarget& target,
                             FileFailure* failure) {
    std::string path = fileName;
    for (int links = 0; links <= MaximumLinks; ++links) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                return Failed(FileResult::CannotCreate, failure, errno);
            }
            if (path.back() == '/') {
                // A name ending in a slash can only be a folder.
                return Failed(FileResult::CannotCreate, failure, EISDIR);
            }
            target = {path, false};
            return FileResult::Success;
        }
        if (!S_ISLNK(st.st_mode)) {
            if (!S_ISREG(st.st_mode)) {
                return Failed(FileResult::CannotCreate, failure, 0, NodeTypeOf(st.st_mode));
            }
            target = {path, true};
            return FileResult::Success;
        }
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1,
                         '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<std::size_t>(n) >= link.size() || n == 0) {
            return Failed(FileResult::CannotCreate, failure, n < 0 ? errno : ENOENT);
        }
        link.resize(static_cast<std::size_t>(n));
        if (link.front() == '/') {
            path = link;
        } else {
            const std::string folder = FolderOf(path);
            path = (folder == "/" ? folder : folder + "/") + link;
        }
    }
    return Failed(FileResult::CannotCreate, failure, ELOOP);
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

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A temporary file of the target's that no running save holds (a save holds an exclusive lock on
// its temporary file until it has renamed it) is left over from a save that was killed: it is
// removed. Answers false, with the reason, when the name is taken by anything else.
bool RemoveLeftover(const std::string& temporaryName, FileFailure* failure) {
    const Descriptor file(
        ::open(temporaryName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT) {
            return true;  // gone meanwhile
        }
        Failed(FileResult::CannotCreate, failure, errno == ELOOP ? EEXIST : errno);
        return false;
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(file.get(), &held) != 0 || !S_ISREG(held.st_mode)) {
        Failed(FileResult::CannotCreate, failure, EEXIST);
        return false;
    }
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        // Another save of the same file is under way.
        Failed(FileResult::CannotCreate, failure, errno == EWOULDBLOCK ? EBUSY : errno);
        return false;
    }
    if (::lstat(temporaryName.c_str(), &named) == 0 && SameFile(held, named)) {
        ::unlink(temporaryName.c_str());
    }
    return true;
}

// Creates the target's temporary file, locked, with the permissions a newly created file gets.
// Answers -1, with the reason, when it cannot be created.
int CreateTemporary(const std::string& temporaryName, FileFailure* failure) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        Descriptor file(::open(temporaryName.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file.get() < 0) {
            if (errno != EEXIST) {
                Failed(FileResult::CannotCreate, failure, errno);
                return -1;
            }
            if (!RemoveLeftover(temporaryName, failure)) {
                return -1;
            }
            continue;
        }
        // Another save may have taken the new file for a leftover and removed it before the lock
        // was taken; the name must still be this file's once it is locked.
        struct stat held {};
        struct stat named {};
        if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0 && ::fstat(file.get(), &held) == 0 &&
            ::lstat(temporaryName.c_str(), &named) == 0 && SameFile(held, named)) {
            return file.Release();
        }
    }
    Failed(FileResult::CannotCreate, failure, EBUSY);
    return -1;
}

// Gives the new file the old one's owner and group where the process may, then its permission
// bits (after the owner, which may clear the set-id bits).
void KeepOwnerAndMode(int fd, const struct stat& old) {
    struct stat now {};
    if (::fstat(fd, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid)) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
    }
    (void)::fchmod(fd, old.st_mode & 07777);
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);  // best effort: the new file is in place already
        ::close(fd);
    }
}

FileResult WriteImage(const std::string& fileName, std::span<const std::uint8_t> image,
                      FileFailure* failure) {
    if (fileName.empty()) {
        return Failed(FileResult::CannotCreate, failure, ENOENT);
    }
    SaveTarget target;
    if (const FileResult r = ResolveSaveTarget(fileName, target, failure);
        r != FileResult::Success) {
        return r;
    }
    struct stat old {};
    if (target.exists) {
        // Refused where opening the file for writing would be refused (write-protected,
        // append-only, immutable, on a read-only filesystem). Nothing is written through this
        // descriptor.
        const Descriptor probe(
            ::open(target.path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (probe.get() < 0) {
            return Failed(FileResult::CannotCreate, failure, errno);
        }
        if (::fstat(probe.get(), &old) != 0) {
            return Failed(FileResult::CannotCreate, failure, errno);
        }
        if (!S_ISREG(old.st_mode)) {
            return Failed(FileResult::CannotCreate, failure, 0, NodeTypeOf(old.st_mode));
        }
    }
    const std::string temporaryName = TemporaryNameFor(target.path);
    Descriptor file(CreateTemporary(temporaryName, failure));
    if (file.get() < 0) {
        return FileResult::CannotCreate;
    }
    if (target.exists) {
        KeepOwnerAndMode(file.get(), old);
    }
    // The rename happens while the lock is held, so that no other save takes the file for a
    // leftover.
    if (!WriteAll(file.get(), image) || ::fsync(file.get()) != 0 ||
        ::rename(temporaryName.c_str(), target.path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporaryName.c_str());
        return Failed(FileResult::WriteFailed, failure, error);
    }
    file.Reset();
    SyncFolder(FolderOf(target.path));
    return FileResult::Success;
}

// Opens a regular file for reading. Anything else is refused before it is read from, and opening
// never waits (a named pipe without a writer, a device).
int OpenForReading(const std::string& fileName, FileFailure* failure) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        Failed(FileResult::CannotOpen, failure, 0, NodeTypeOf(st.st_mode));
        return -1;
    }
    Descriptor file(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        Failed(FileResult::CannotOpen, failure, errno);
        return -1;
    }
    if (::fstat(file.get(), &st) != 0) {
        Failed(FileResult::CannotOpen, failure, errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        Failed(FileResult::CannotOpen, failure, 0, NodeTypeOf(st.st_mode));
        return -1;
    }
    return file.Release();
}

// Reads up to buffer.size() bytes from the start of an open file; answers how many there were.
FileResult ReadUpTo(int fd, std::span<std::uint8_t> buffer, std::size_t& got,
                    FileFailure* failure) {
    got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Failed(FileResult::ReadFailed, failure, errno);
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return FileResult::Success;
}

// Reads the first buffer.size() bytes of a file. A file shorter than that counts as a checksum
// mismatch, since its image cannot be whole.
FileResult ReadPrefix(const std::string& fileName, std::span<std::uint8_t> buffer,
                      FileFailure* failure) {
    const Descriptor file(OpenForReading(fileName, failure));
    if (file.get() < 0) {
        return FileResult::CannotOpen;
    }
    std::size_t got = 0;
    if (const FileResult r = ReadUpTo(file.get(), buffer, got, failure); r != FileResult::Success) {
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
    return WriteImage(fileName, image, failure);
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

std::string TemporaryNameFor(const std::string& target) {
    const auto slash = target.rfind('/');
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
    const Descriptor file(OpenForReading(fileName, failure));
    if (file.get() < 0) {
        return FileResult::CannotOpen;
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) {
        return Failed(FileResult::ReadFailed, failure, errno);
    }
    Image image(limit);
    std::size_t got = 0;
    if (const FileResult r = ReadUpTo(file.get(), image, got, failure); r != FileResult::Success) {
        return r;
    }
    image.resize(got);
    bytes = std::move(image);
    fileSize = static_cast<std::uintmax_t>(st.st_size);
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
    return WriteBody(fileName, FileKind::Mode, ModeBody(mode, true), failure);
}

FileResult WriteModeSettingsFile(const std::string& fileName, const ModeRecord& mode,
                                 FileFailure* failure) {
    return WriteBody(fileName, FileKind::Mode, ModeBody(mode, false), failure);
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
    return WriteImage(fileName, bytes, failure);
}

FileResult ReadBackupFile(const std::string& fileName, BackupPayload& payload,
                          FileFailure* failure) {
    return ReadBody(fileName, FileKind::Backup, payload, failure);
}

}  // namespace holvane
