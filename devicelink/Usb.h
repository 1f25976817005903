// The HID byte pipe's lowest layer: one opened HID interface with single reads and writes that
// wait a bounded time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/HidPlatform.h"

namespace tovra {

class Usb {
public:
    // How long one device read waits for a report. Closing does not wait for it to pass
    // (CancelReads wakes the read at once), so it only sets how often an idle reader wakes.
    static constexpr unsigned ReadWaitMs = 1000;
    static constexpr unsigned WriteWaitMs = 300;

    Usb() = default;
    virtual ~Usb() = default;

    Usb(const Usb&) = delete;
    Usb& operator=(const Usb&) = delete;

    // Opens the path through the HID platform for reading and writing, held exclusively for
    // this connection (OpenExclusive). False when it cannot be opened; nothing else changes
    // then, and LastOpenError tells why. Caller's thread.
    virtual bool Open(const std::string& path);
    virtual std::int32_t Write(const void* bytes, std::int32_t n) = 0;
    virtual std::int32_t Read(void* buffer, std::int32_t n) = 0;

    bool IsOpen() const { return device_ != nullptr; }
    // True once the interface reported itself gone; from any thread.
    bool IsGone() const { return device_ != nullptr && device_->IsGone(); }
    // From any thread: a device read waiting now, and every later one, returns 0 at once.
    void CancelReads() {
        if (device_) {
            device_->CancelReads();
        }
    }
    const std::string& path() const { return path_; }

protected:
    // Zeroes the buffer, then waits up to ReadWaitMs for input reports and returns the bytes read
    // (whole reports, report-ID byte first); 0 on time-out, failure or a closed handle.
    // Reader thread only.
    std::size_t DeviceRead(std::uint8_t* buffer, std::size_t n);
    // Writes one whole report, waiting up to 300 ms; returns the bytes written, 0 on time-out
    // or failure. Caller's thread only.
    std::size_t DeviceWrite(const std::uint8_t* report, std::size_t n);
    // Gives the handle up (used when an opened interface turns out unusable): the open failed.
    void Close();

    IHidDevice* device() { return device_.get(); }

private:
    std::string path_;
    // Set once by Open before the reader thread can use it; reads and writes may then run
    // on two threads at once, which IHidDevice allows.
    std::unique_ptr<IHidDevice> device_;
};

// Why the newest Usb::Open on the calling thread failed: InUse when another connection holds
// the interface, Failed for any other reason; None after one that succeeded and before the
// first. DEV_Open answers only 1 or 0; a front end that must say why reads this after it.
HidOpenError LastOpenError();
// Forgets the reason, so that a later LastOpenError speaks only of opens made after it.
void ClearLastOpenError();

}  // namespace tovra
