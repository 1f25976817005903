#include "Simulation.h"

#include "platform/HidPlatform.h"

namespace holvane::cli {

Simulation::Simulation() {
    simulator::MemoryHidInterface interface;
    interface.path = VirtualDetectorPath;
    platform_.AddInterface(interface, &detector_);
    tovra::SetHidPlatform(&platform_);
}

Simulation::~Simulation() {
    tovra::SetHidPlatform(nullptr);
}

}  // namespace holvane::cli
