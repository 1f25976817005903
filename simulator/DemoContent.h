// Sample content for the demo program, so that a person without a detector sees something in
// every grid and picture.
#pragma once

namespace holvane::simulator {

class VirtualDetector;

// Seeds the detector: plausible settings in every mode (values within the settings grids'
// ranges), universal settings and preferences; My Mode 1 and My Mode 3 present, My Mode 2 and
// My Mode 4 absent; recognisable patterns: a heart in the current mode, a diagonal in My Mode 1,
// a border in My Mode 3, letters in the factory modes and the Swiftveil pattern, and a few
// shapes in My Pattern 1..6 (the last one left empty).
void SeedDemoContent(VirtualDetector& detector);

}  // namespace holvane::simulator
