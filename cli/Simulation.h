// The simulation mode of holvanectl: a virtual detector on an in-memory HID platform, installed
// in the library for the life of the object, so every command runs against it unchanged.
#pragma once

#include "MemoryHidPlatform.h"
#include "VirtualDetector.h"

namespace holvane::cli {

inline constexpr const char* VirtualDetectorPath = "virtual:vantor";

class Simulation {
public:
    Simulation();
    ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    simulator::VirtualDetector& Detector() { return detector_; }

private:
    // The detector outlives the platform, which outlives every device opened on it.
    simulator::VirtualDetector detector_;
    simulator::MemoryHidPlatform platform_;
};

}  // namespace holvane::cli
