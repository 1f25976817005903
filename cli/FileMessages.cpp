#include "FileMessages.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>

#include "FileReport.h"

namespace holvane::cli {

std::string NodeTypeText(NodeType node) {
    switch (node) {
        case NodeType::RegularFile:
            return "a file";
        case NodeType::Folder:
            return "a folder";
        case NodeType::NamedPipe:
            return "a named pipe";
        case NodeType::CharacterDevice:
            return "a character device";
        case NodeType::BlockDevice:
            return "a block device";
        case NodeType::Socket:
            return "a socket";
        case NodeType::Other:
            break;
    }
    return "not a file";
}

std::string ReasonText(const FileFailure& failure) {
    if (failure.node != NodeType::RegularFile) {
        return "it is " + NodeTypeText(failure.node) + ", not a regular file";
    }
    if (failure.error == EBUSY) {
        return "another save of the same file is under way";
    }
    std::string reason = std::strerror(failure.error != 0 ? failure.error : EIO);
    if (!reason.empty()) {
        reason.front() =
            static_cast<char>(std::tolower(static_cast<unsigned char>(reason.front())));
    }
    return reason;
}

std::string Quoted(const std::string& fileName) {
    return "'" + fileName + "'";
}

namespace {

std::string KindsText(std::initializer_list<FileKind> kinds) {
    std::string text;
    std::size_t i = 0;
    for (const FileKind kind : kinds) {
        if (i > 0) {
            text += i + 1 == kinds.size() ? " or " : ", ";
        }
        text += KindName(kind);
        ++i;
    }
    return text;
}

}  // namespace

std::string CorruptedFileText(const std::string& fileName, const std::string& problem) {
    return "The file " + Quoted(fileName) + " has corrupted data: " + problem + ".";
}

std::string OpenFailureText(const std::string& fileName, FileResult result,
                            const FileFailure& failure, std::initializer_list<FileKind> expected) {
    switch (result) {
        case FileResult::CannotOpen:
            return "Could not open the file " + Quoted(fileName) + ": " + ReasonText(failure) + ".";
        case FileResult::ChecksumMismatch:
        case FileResult::WrongMagic:
            break;
        default:
            return "Could not read the file " + Quoted(fileName) + ": " + ReasonText(failure) + ".";
    }
    FileResult again = FileResult::Success;
    FileFailure ignored;
    const std::optional<FileReport> report = ReportFile(fileName, again, ignored);
    if (!report) {
        return "Could not read the file " + Quoted(fileName) + ": " + ReasonText(ignored) + ".";
    }
    if (report->kind && expected.size() > 0 &&
        std::ranges::find(expected, *report->kind) == expected.end()) {
        return "The file " + Quoted(fileName) + " is a " + KindName(*report->kind) +
               " file, not a " + KindsText(expected) + " file.";
    }
    return CorruptedFileText(fileName,
                             report->valid ? "it changed while it was read" : report->problem);
}

std::string SaveFailureText(const std::string& fileName, FileKind kind, FileResult result,
                            const FileFailure& failure) {
    const std::string what = KindName(kind);
    if (result == FileResult::CannotCreate) {
        return "Could not create the file " + Quoted(fileName) + " to save the " + what + ": " +
               ReasonText(failure) + ".";
    }
    return "Could not save the " + what + " in the file " + Quoted(fileName) + ": " +
           ReasonText(failure) + ".";
}

}  // namespace holvane::cli
