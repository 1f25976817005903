// The settings files' system calls on Windows. A save writes a temporary file beside the target,
// which this save alone holds open (no sharing), flushes it, closes it and moves it over the
// target in one step. Windows replaces the target itself: a shortcut or link is not followed, and
// the new file has the folder's default permissions.
#include <windows.h>

#include <algorithm>
#include <string>

#include "FileAccess.h"

namespace holvane::fileaccess {

namespace {

// Closes a file handle when it goes out of scope.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Closes now, reporting whether the close succeeded.
    bool Close() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) != 0;
    }

private:
    HANDLE handle_;
};

int LastError() {
    return static_cast<int>(::GetLastError());
}

NodeType NodeTypeOf(DWORD fileType) {
    switch (fileType) {
        case FILE_TYPE_DISK:
            return NodeType::RegularFile;
        case FILE_TYPE_CHAR:
            return NodeType::CharacterDevice;
        case FILE_TYPE_PIPE:
            return NodeType::NamedPipe;
        default:
            return NodeType::Other;
    }
}

// What the name stands for, found without reading or writing it: a folder by its attributes,
// anything else by the type of a handle that has no access to the data (so that a device is not
// opened for use). `exists` is false, with the reason in `error`, when the name cannot be examined.
NodeType Examine(const std::string& fileName, DWORD& attributes, bool& exists, int& error) {
    attributes = ::GetFileAttributesA(fileName.c_str());
    exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists) {
        error = LastError();
        return NodeType::RegularFile;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return NodeType::Folder;
    }
    const FileHandle query(
        ::CreateFileA(fileName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // Where even that is refused, opening for use gives the reason.
    return query.valid() ? NodeTypeOf(::GetFileType(query.get())) : NodeType::RegularFile;
}

bool WriteAll(HANDLE file, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD put = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &put, nullptr)) {
            return false;
        }
        if (put == 0) {
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        }
        bytes = bytes.subspan(put);
    }
    return true;
}

// Creates the target's temporary file, held without sharing until it is closed. A temporary file
// of the target's that can be deleted is left over from a save that was killed; one that cannot
// be deleted because it is open belongs to a save under way.
HANDLE CreateTemporary(const std::string& temporaryName, FileFailure* failure) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        const HANDLE file = ::CreateFileA(temporaryName.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return file;
        }
        const int error = LastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            Failed(FileResult::CannotCreate, failure, error);
            return INVALID_HANDLE_VALUE;
        }
        if (!::DeleteFileA(temporaryName.c_str())) {
            const int deleteError = LastError();
            if (deleteError == ERROR_FILE_NOT_FOUND) {
                continue;  // gone meanwhile
            }
            Failed(FileResult::CannotCreate, failure,
                   deleteError == ERROR_SHARING_VIOLATION ? SaveUnderWayError : ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
    }
    Failed(FileResult::CannotCreate, failure, SaveUnderWayError);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

std::size_t LastSeparator(std::string_view path) {
    return path.find_last_of("/\\");
}

FileResult WriteImage(const std::string& fileName, std::span<const std::uint8_t> image,
                      FileFailure* failure) {
    if (fileName.empty()) {
        return Failed(FileResult::CannotCreate, failure, ERROR_PATH_NOT_FOUND);
    }
    DWORD attributes = 0;
    bool exists = false;
    int error = 0;
    const NodeType node = Examine(fileName, attributes, exists, error);
    if (!exists && error != ERROR_FILE_NOT_FOUND) {
        return Failed(FileResult::CannotCreate, failure, error);  // a missing folder, say
    }
    if (node != NodeType::RegularFile) {
        return Failed(FileResult::CannotCreate, failure, 0, node);
    }
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Failed(FileResult::CannotCreate, failure, ERROR_ACCESS_DENIED);
    }
    const std::string temporaryName = TemporaryNameFor(fileName);
    FileHandle file(CreateTemporary(temporaryName, failure));
    if (!file.valid()) {
        return FileResult::CannotCreate;
    }
    // The new file replaces the old one in one step; a failed save leaves the old one whole.
    const bool written = WriteAll(file.get(), image) && ::FlushFileBuffers(file.get());
    error = written ? 0 : LastError();
    if (!file.Close() && written) {
        error = LastError();
    }
    if (error == 0 && !::MoveFileExA(temporaryName.c_str(), fileName.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = LastError();
    }
    if (error != 0) {
        ::DeleteFileA(temporaryName.c_str());
        return Failed(FileResult::WriteFailed, failure, error);
    }
    return FileResult::Success;
}

FileResult ReadStart(const std::string& fileName, std::span<std::uint8_t> buffer, std::size_t& got,
                     std::uintmax_t* fileSize, FileFailure* failure) {
    DWORD attributes = 0;
    bool exists = false;
    int error = 0;
    if (const NodeType node = Examine(fileName, attributes, exists, error);
        node != NodeType::RegularFile) {
        return Failed(FileResult::CannotOpen, failure, 0, node);
    }
    const FileHandle file(::CreateFileA(fileName.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return Failed(FileResult::CannotOpen, failure, LastError());
    }
    if (const DWORD type = ::GetFileType(file.get()); type != FILE_TYPE_DISK) {
        return Failed(FileResult::CannotOpen, failure, 0, NodeTypeOf(type));
    }
    if (fileSize != nullptr) {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file.get(), &size)) {
            return Failed(FileResult::ReadFailed, failure, LastError());
        }
        *fileSize = static_cast<std::uintmax_t>(size.QuadPart);
    }
    got = 0;
    while (got < buffer.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(buffer.size() - got, 1u << 20));
        DWORD n = 0;
        if (!::ReadFile(file.get(), buffer.data() + got, chunk, &n, nullptr)) {
            return Failed(FileResult::ReadFailed, failure, LastError());
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return FileResult::Success;
}

}  // namespace holvane::fileaccess

namespace holvane {

const int SaveUnderWayError = ERROR_BUSY;

std::string SystemErrorText(int error) {
    if (error == 0) {
        return "input/output error";
    }
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string reason = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    if (text != nullptr) {
        ::LocalFree(text);
    }
    // The system's sentence without its full stop and line end, as the messages add their own.
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason.empty() ? "system error " + std::to_string(error) : reason;
}

}  // namespace holvane
