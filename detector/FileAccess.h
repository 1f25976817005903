// The operating system's side of the settings files: the few calls that open, read, create and
// replace files. Fileio builds the layouts, checksums and results on top; each system has one
// source file with these functions (FileAccessPosix.cpp, FileAccessWindows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "Fileio.h"

namespace holvane::fileaccess {

// Answers `result`, with the system's reason in `failure` when one is wanted.
inline FileResult Failed(FileResult result, FileFailure* failure, int error,
                         NodeType node = NodeType::RegularFile) {
    if (failure != nullptr) {
        *failure = {error, node};
    }
    return result;
}

// Where the last folder separator of a path is; npos when it has none.
std::size_t LastSeparator(std::string_view path);

// Saves the bytes as the file, whole or not at all: 0, 1 (the target is refused or no temporary
// file can be made beside it) or 5 (writing or replacing failed; the old file is left as it was).
FileResult WriteImage(const std::string& fileName, std::span<const std::uint8_t> image,
                      FileFailure* failure);

// Reads up to buffer.size() bytes from the start of a regular file and answers how many there
// were, and, when `fileSize` is given, the file's size: 0, 2 (cannot open, or not a regular file;
// refused without reading or waiting) or 4 (read failed).
FileResult ReadStart(const std::string& fileName, std::span<std::uint8_t> buffer, std::size_t& got,
                     std::uintmax_t* fileSize, FileFailure* failure);

}  // namespace holvane::fileaccess
