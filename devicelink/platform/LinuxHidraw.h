// The HID access seam on Linux, over the kernel's hidraw nodes.
//
// The interfaces are the entries hidrawN of <sysfs root>/class/hidraw, listed in ascending
// order of N: that numeric order is this platform's order. The node of hidrawN is
// <dev root>/hidrawN.
//
// hidraw hands out the reports of a device that uses no report ids without a report-ID byte
// and expects a 0 byte in front of every report written to it, which it strips. The device
// below puts the 0 byte in front of such input reports, so the layer above sees every report,
// numbered or not, with its report-ID byte first, as on every other platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HidPlatform.h"

namespace tovra {

// What is learned about a node when it is opened.
struct HidrawNodeFacts {
    bool haveAttributes = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint32_t inputReportLength = 0;  // report-ID byte included; 0 when unknown
    bool numberedReports = false;         // hidraw already gives the report-ID byte
};

// An open hidraw node, or any file descriptor that delivers one report per read (a
// SOCK_SEQPACKET socket stands in for a node in the tests).
//
// hidraw's poll always reports a node writable, and its write() blocks until the USB transfer
// is done (up to the kernel's 5 s), whatever the file's non-blocking flag says. So a report is
// written by a writer thread of the device, started by the first Write, while Write waits for it
// with its own time-out: a report not taken in time gives 0, and until that write has ended
// every later Write gives 0 at once. The device may be closed while such a write is still under
// way: the writer thread then ends on its own when the kernel gives up, and closes the node.
class LinuxHidrawDevice : public IHidDevice {
public:
    // hidraw keeps a fixed queue of 64 input reports per open file.
    static constexpr std::uint32_t kInputQueueSize = 64;

    // Takes ownership of fd, which may or may not be in non-blocking mode.
    LinuxHidrawDevice(int fd, const HidrawNodeFacts& facts);
    ~LinuxHidrawDevice() override;
    LinuxHidrawDevice(const LinuxHidrawDevice&) = delete;
    LinuxHidrawDevice& operator=(const LinuxHidrawDevice&) = delete;

    bool GetAttributes(std::uint16_t& vendorId, std::uint16_t& productId) override;
    // Accepts 1 to 64 (the queue hidraw keeps anyway) and refuses every other size.
    bool SetInputQueueSize(std::uint32_t count) override;
    std::uint32_t InputReportLength() override;
    // A report shorter than the report length is padded with zeros to it; a longer one is cut.
    // When the node fails (device gone), the call still lasts its time-out, so that a reader
    // calling it in a loop keeps its pace instead of spinning; CancelReads ends that wait too.
    std::size_t Read(std::uint8_t* buffer, std::size_t n, unsigned timeoutMs) override;
    std::size_t Write(const std::uint8_t* report, std::size_t n, unsigned timeoutMs) override;
    void CancelReads() override;
    bool IsGone() const override;

    struct Node;    // the descriptors, shared with the writer thread
    struct Writer;  // the writer thread's hand-over

private:
    enum class Take { kReport, kNothingQueued, kFailed };
    Take TakeReport(std::uint8_t* slot);

    std::shared_ptr<Node> node_;
    HidrawNodeFacts facts_;
    std::shared_ptr<Writer> writer_;  // null until the first Write
};

struct HidrawOpenResult {
    std::unique_ptr<LinuxHidrawDevice> device;  // null when the node could not be opened
    int error = 0;                              // errno of the failure, 0 on success
    bool inUse = false;  // an exclusive open found the node held by another connection
};

// Takes the exclusive advisory lock (flock) of an open node without waiting: 0 when taken,
// EWOULDBLOCK when another open file holds it, another errno when it cannot be taken. The lock
// belongs to the open file and ends when its last descriptor is closed. Works on any file.
int LockExclusively(int fd);

// Opens a hidraw node for reading and writing and reads its ids and report descriptor. With
// exclusive, the node's lock is taken first: a node another connection holds gives no device,
// inUse and EWOULDBLOCK, before anything is asked of it; the device keeps the lock until it
// and its writer thread have let go of the node. A node that cannot be opened, or that is not
// a hidraw node (its raw-info query fails, ENOTTY for a plain file), gives no device and the
// errno. A descriptor that cannot be read or parsed leaves the input report length at 0.
HidrawOpenResult OpenHidrawNode(const std::string& path, bool exclusive = false);

// One hidraw entry as sysfs describes it, read without opening the node.
struct HidrawNode {
    unsigned number = 0;    // N of hidrawN
    std::string name;       // "hidrawN"
    std::string path;       // <dev root>/hidrawN
    bool idsKnown = false;  // the HID_ID line of the device's uevent was read and understood
    std::uint16_t bus = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// Reads "hidrawN" as N; false for any other name (leading zeros included).
bool ParseHidrawName(std::string_view name, unsigned& number);

// Finds the line HID_ID=BBBB:VVVVVVVV:PPPPPPPP (bus, vendor and product in hex) in the text of
// a uevent file; false when there is none or it does not hold 16-bit ids.
bool ParseHidUevent(std::string_view text, std::uint16_t& bus, std::uint16_t& vendorId,
                    std::uint16_t& productId);

class LinuxHidrawPlatform : public IHidPlatform {
public:
    explicit LinuxHidrawPlatform(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");

    // Every hidraw node, whatever its ids, in ascending order of its number.
    std::vector<HidInterfaceInfo> ListInterfaces() override;
    std::unique_ptr<IHidDevice> Open(const std::string& path) override;
    // The node with its exclusive lock (OpenHidrawNode with exclusive): one program at a time.
    std::unique_ptr<IHidDevice> OpenExclusive(const std::string& path,
                                              HidOpenError& error) override;

    // For diagnostics: the hidraw entries in the same order with the ids of their uevent
    // files, without opening any node. OpenHidrawNode then tells why a node cannot be opened.
    std::vector<HidrawNode> ListNodes() const;

private:
    std::string sysfsRoot_;
    std::string devRoot_;
};

}  // namespace tovra
