// holvanectl's own messages about files. Each names the file and says why: the system's reason
// (strerror) where a call failed, what the path is when it is not a regular file, which kind of
// file it is when its magic number belongs to another kind, or which check its contents fail.
// The window keeps the fixed texts instead.
#pragma once

#include <initializer_list>
#include <string>

#include "Fileio.h"

namespace holvane::cli {

// What the path names when it is not a regular file ("a folder", "a named pipe", ...).
std::string NodeTypeText(NodeType node);

// The reason of a failed call, as one lower-case phrase.
std::string ReasonText(const FileFailure& failure);

// A file that could not be opened as one of the kinds expected (empty: any kind). For a file
// whose contents fail (codes 6 and 7) the file is looked at again to say what it is.
std::string OpenFailureText(const std::string& fileName, FileResult result,
                            const FileFailure& failure, std::initializer_list<FileKind> expected);

// A save of the kind that failed.
std::string SaveFailureText(const std::string& fileName, FileKind kind, FileResult result,
                            const FileFailure& failure);

// A file that is of its kind but fails a check.
std::string CorruptedFileText(const std::string& fileName, const std::string& problem);

// The file name as the messages quote it.
std::string Quoted(const std::string& fileName);

}  // namespace holvane::cli
