// The settings files' system calls on Linux and other POSIX systems.
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FileAccess.h"

namespace holvane::fileaccess {

namespace {

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

// Whether a save may follow the symbolic link at `path` (owned by `linkOwner`). As the system
// does for its own opens, a link in a sticky folder that anyone may write (a shared temporary
// folder) is followed only when it belongs to the user saving or to the folder's owner: another
// user's link there could point anywhere, at a file of the saver's included.
bool MayFollowLink(const std::string& path, uid_t linkOwner, int& error) {
    if (linkOwner == ::geteuid()) {
        return true;
    }
    struct stat folder {};
    if (::stat(FolderOf(path).c_str(), &folder) != 0) {
        error = errno;
        return false;
    }
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    if (shared && folder.st_uid != linkOwner) {
        error = EACCES;
        return false;
    }
    return true;
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
        if (int error = 0; !MayFollowLink(path, st.st_uid, error)) {
            return Failed(FileResult::CannotCreate, failure, error);
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

}  // namespace

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

namespace {

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

}  // namespace

std::size_t LastSeparator(std::string_view path) {
    return path.rfind('/');
}

FileResult ReadStart(const std::string& fileName, std::span<std::uint8_t> buffer, std::size_t& got,
                     std::uintmax_t* fileSize, FileFailure* failure) {
    const Descriptor file(OpenForReading(fileName, failure));
    if (file.get() < 0) {
        return FileResult::CannotOpen;
    }
    if (fileSize != nullptr) {
        struct stat st {};
        if (::fstat(file.get(), &st) != 0) {
            return Failed(FileResult::ReadFailed, failure, errno);
        }
        *fileSize = static_cast<std::uintmax_t>(st.st_size);
    }
    return ReadUpTo(file.get(), buffer, got, failure);
}

}  // namespace holvane::fileaccess

namespace holvane {

const int SaveUnderWayError = EBUSY;

std::string SystemErrorText(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

}  // namespace holvane
