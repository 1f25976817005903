// The full pattern picture as a PNG file: drawn by the window's own drawing into a 102 x 73
// picture, every pixel scaled up to a square of scale x scale.
#pragma once

#include <optional>
#include <string>

#include "PatternGrid.h"

namespace holvane::cli {

// Replaces the file only once the whole picture is written. false when it cannot be written.
bool WritePatternPng(const std::string& fileName, std::optional<PatternView> pattern, int scale);

}  // namespace holvane::cli
