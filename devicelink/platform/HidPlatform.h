// The HID access seam: the only view the library has of the machine's HID interfaces.
//
// The library uses the operating system's implementation (hidraw on Linux, the HID class
// driver on Windows) unless a test or the demo installs another one with SetHidPlatform.
// Nothing above this seam knows which one runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tovra {

// One HID interface as the platform lists it.
struct HidInterfaceInfo {
    std::string path;  // what IHidPlatform::Open accepts
};

// An opened HID interface. Reads and writes may run at the same time on two threads (the
// reader thread reads, the caller's thread writes); every other call comes from the thread that
// opened it.
class IHidDevice {
public:
    virtual ~IHidDevice() = default;

    // Vendor and product id of the interface; false when they cannot be read.
    virtual bool GetAttributes(std::uint16_t& vendorId, std::uint16_t& productId) = 0;

    // Asks the driver to queue up to count input reports for this handle; false when that
    // size is refused.
    virtual bool SetInputQueueSize(std::uint32_t count) = 0;

    // Input report byte length, report-ID byte included; 0 when it cannot be found out.
    virtual std::uint32_t InputReportLength() = 0;

    // Waits up to timeoutMs for one input report, then takes, without waiting, the reports
    // already queued, as long as whole reports fit into n bytes. Each report comes with its
    // report-ID byte in front. Returns the bytes stored (a multiple of the report length), 0 on
    // time-out or failure. May block for timeoutMs; takes no lock of the library.
    virtual std::size_t Read(std::uint8_t* buffer, std::size_t n, unsigned timeoutMs) = 0;

    // Writes one whole output report (report-ID byte first), waiting up to timeoutMs for the
    // driver to take it. Returns the bytes written, 0 on time-out or failure. May block for
    // timeoutMs.
    virtual std::size_t Write(const std::uint8_t* report, std::size_t n, unsigned timeoutMs) = 0;

    // From any thread: a Read waiting now returns 0 at once, and so does every later Read.
    // Used when the device is being closed, so that the reader thread stops without waiting
    // out its read wait. Never blocks.
    virtual void CancelReads() {}

    // True once a read or write failed because the interface is gone (unplugged, or the
    // driver gave it up); it stays true until the device is closed. From any thread; never
    // blocks.
    virtual bool IsGone() const { return false; }
};

// Why an interface could not be opened for a connection.
enum class HidOpenError {
    None,    // it was opened
    InUse,   // another connection, of this program or another, holds it
    Failed,  // anything else: missing, permissions, not a usable interface
};

class IHidPlatform {
public:
    virtual ~IHidPlatform() = default;

    // The HID interfaces present, in the platform's order.
    virtual std::vector<HidInterfaceInfo> ListInterfaces() = 0;

    // Opens an interface for reading and writing, to look at it (its ids); null when it
    // cannot be opened (missing, permissions, held exclusively elsewhere where the system
    // refuses every other open then).
    virtual std::unique_ptr<IHidDevice> Open(const std::string& path) = 0;

    // Opens an interface for one connection, held for it alone until the device is destroyed:
    // while it is held, every other OpenExclusive of the same interface, in this process or
    // another, is refused at once with InUse and touches nothing. error tells why it gave null.
    virtual std::unique_ptr<IHidDevice> OpenExclusive(const std::string& path,
                                                      HidOpenError& error) = 0;
};

// The platform in use: the one installed last, else the operating system's.
IHidPlatform& CurrentHidPlatform();

// Installs a platform for the whole process (null puts the operating system's back). The
// caller keeps ownership and keeps the platform alive while any library object uses it.
// Call only while no enumerator or device exists.
void SetHidPlatform(IHidPlatform* platform);

}  // namespace tovra
