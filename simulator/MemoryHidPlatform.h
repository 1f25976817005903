// An HID platform that lives in memory: interfaces that a test declares, each either bound to a
// VirtualDetector or to nothing (then the test injects input reports itself and inspects the
// output reports). Install it in the library with tovra::SetHidPlatform.
//
// Reports have the report-ID byte 0 in front and one length in both directions. A device read
// waits up to its time-out for the first input report, then returns, without waiting, every
// whole report already queued that fits. The detector's output byte stream is packed back to
// back into reports of ReportLength - 1 bytes behind the report-ID byte, the last one zero-filled.
//
// A device whose interface was unplugged, or whose detector lost the link, is gone (IsGone): its
// writes return 0 at once and its reads wait out their time-out and return 0 (like a read that
// finds nothing, so a reader thread that retries does not spin). Such an interface is no longer
// listed and cannot be opened. CancelReads ends every wait of a read at once.
//
// A paced interface bound to a detector moves one report per millisecond each way, as a USB
// full-speed host schedules an interrupt endpoint pair: a write takes the next free 1 ms slot of
// the output endpoint and returns once it is over, and the detector's answer reaches the host one
// report per 1 ms slot of the input endpoint, the first one slot after it is due.
//
// An interface is held by at most one device opened with OpenExclusive at a time, as a
// connection holds the detector's node for itself.
//
// Thread safety: every function may be called from any thread; a device's Read and Write may run
// at the same time on two threads. The platform must outlive the devices it opened and the
// detectors bound to it must outlive the platform's use.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Usbhid.h"
#include "platform/HidPlatform.h"

namespace holvane::simulator {

class VirtualDetector;

struct MemoryHidInterface {
    std::string path;
    std::uint16_t vendorId = tovra::DetectorVendorId;
    std::uint16_t productId = 0x0001;
    std::uint32_t reportLength = 65;   // report-ID byte included; 0 = cannot be found out
    std::uint32_t maxInputQueue = 64;  // SetInputQueueSize(n) succeeds iff 1 <= n <= this
    bool attributesReadable = true;    // false: GetAttributes fails
    bool paced = false;                // one report per PacedReportInterval each way
};

inline constexpr std::chrono::microseconds PacedReportInterval{1000};

class MemoryHidPlatform : public tovra::IHidPlatform {
public:
    MemoryHidPlatform();
    ~MemoryHidPlatform() override;

    // Adds an interface at the end of the platform order, bound to a detector or to nothing.
    // A path already present is replaced.
    void AddInterface(const MemoryHidInterface& config, VirtualDetector* detector = nullptr);

    // Plugs an interface out (false) or back in (true); unknown paths are ignored.
    void SetPluggedIn(const std::string& path, bool pluggedIn);

    // Open of the path fails (as for a missing permission) while on.
    void SetOpenFails(const std::string& path, bool fails);

    // Queues one raw input report (report-ID byte first, exactly the report length) on an
    // interface bound to no detector; false otherwise.
    bool InjectInputReport(const std::string& path, std::vector<std::uint8_t> report);

    // Counters for tests. Unknown paths throw std::out_of_range.
    std::vector<std::vector<std::uint8_t>> OutputReports(const std::string& path) const;
    int ReadCalls(const std::string& path) const;  // device Read calls, every device of the path
    int InputReportCount(const std::string& path) const;  // input reports handed out by reads
    int OpenCount(const std::string& path) const;         // successful opens

    std::vector<tovra::HidInterfaceInfo> ListInterfaces() override;
    std::unique_ptr<tovra::IHidDevice> Open(const std::string& path) override;
    // As Open, and held by the device it gives until that is destroyed: meanwhile another
    // OpenExclusive of the path gives null and InUse (a plain Open still succeeds, as on
    // hidraw, where the lock is advisory).
    std::unique_ptr<tovra::IHidDevice> OpenExclusive(const std::string& path,
                                                     tovra::HidOpenError& error) override;

    struct InterfaceState;  // shared by the platform and the devices opened on it

private:
    std::shared_ptr<InterfaceState> Find(const std::string& path) const;
    std::unique_ptr<tovra::IHidDevice> OpenDevice(const std::string& path, bool exclusive,
                                                  tovra::HidOpenError& error);

    mutable std::mutex mutex_;                                 // guards interfaces_
    std::vector<std::shared_ptr<InterfaceState>> interfaces_;  // in platform order
};

}  // namespace holvane::simulator
