// The renderings of a list of differences (detector/RecordDiff): text for people, one JSON
// document ("schema": "holvane-diff/1") for scripts. `diff`, the dry runs and the verification
// after a write all print them.
#pragma once

#include <string>
#include <vector>

#include "RecordDiff.h"

namespace holvane::cli {

inline constexpr const char* DiffSchema = "holvane-diff/1";

struct DiffReport {
    std::string kind;     // what was compared: "mode", "mode settings", "pattern", ...
    std::string oldName;  // the two sides, as the report names them
    std::string newName;
    std::vector<Difference> differences;
};

// "identical", or a heading naming both sides and the differences section by section.
std::string RenderDiffText(const DiffReport& report);
std::string RenderDiffJson(const DiffReport& report);

// The name of what a comparison of the record covers, as the reports give it ("mode", ...).
std::string DiffRecordName(DiffRecord record);

}  // namespace holvane::cli
