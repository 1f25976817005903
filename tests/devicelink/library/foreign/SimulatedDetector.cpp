// Tovra.dll's code with a virtual detector behind the HID access seam instead of the system's
// HID interfaces, for the foreign caller: the exports are the same, only the far end differs.
#include "DemoContent.h"
#include "MemoryHidPlatform.h"
#include "VirtualDetector.h"
#include "platform/HidPlatform.h"

namespace {

struct SimulatedDetector {
    SimulatedDetector() {
        holvane::simulator::SeedDemoContent(detector);
        holvane::simulator::MemoryHidInterface detectorInterface;
        detectorInterface.path = "mem:detector";
        detectorInterface.vendorId = 0x2F1A;
        detectorInterface.reportLength = 65;
        detectorInterface.maxInputQueue = 64;
        platform.AddInterface(detectorInterface, &detector);
        tovra::SetHidPlatform(&platform);
    }
    ~SimulatedDetector() { tovra::SetHidPlatform(nullptr); }

    holvane::simulator::VirtualDetector detector;
    holvane::simulator::MemoryHidPlatform platform;
};

SimulatedDetector simulated;

}  // namespace
