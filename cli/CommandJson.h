// What the commands that talk to the detector print, as one model with two renderings: the text
// holvanectl has always printed, and a JSON document with its schema's name and version for
// --json. A failure under --json is a JSON error object on stdout as well.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"
#include "DetectorList.h"

namespace holvane::cli {

// The schema of each command's document; `show` prints FileSchema (FileReport.h).
std::string_view SchemaOf(Command command);
inline constexpr std::string_view ErrorSchema = "holvane-error/1";

// The result of backup, restore, download or upload.
struct CommandOutcome {
    std::string file;                  // the file written, or the file read
    bool fileIsResult = false;         // the text prints `file` (a file the command wrote)
    std::vector<std::string> records;  // the progress lines' records, in order
    std::optional<std::string> warning;
    std::optional<std::string> safetyCopy;  // restore, upload: the backup saved before writing
};

// Text: the written file's name on a line (progress and warnings go to stderr as they happen).
std::string RenderOutcomeText(const CommandOutcome& outcome);
std::string RenderOutcomeJson(Command command, const CommandOutcome& outcome);

std::string RenderDetectorListJson(const std::vector<ListedDetector>& detectors,
                                   const std::vector<UnopenedNode>& unopened);

// The error object: the message as stderr shows it (without its final line break), and the
// exit status.
std::string RenderErrorJson(std::string_view message, int exitStatus);

}  // namespace holvane::cli
