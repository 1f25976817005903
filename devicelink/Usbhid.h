// The HID transport: outgoing bytes packed into fixed-length output reports behind a report-ID
// byte of 0, incoming input reports unpacked into a plain byte sequence. Also the search for the
// detector's HID interfaces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Usb.h"

namespace tovra {

// Every HID interface with this USB vendor id is a detector; the product id is not looked at.
inline constexpr std::uint16_t DetectorVendorId = 0x2F1A;

class UsbHid : public Usb {
public:
    static constexpr std::uint32_t LargestInputQueue = 512;

    // Opens the interface and sets up the report buffers: the input queue asked for by counting
    // down from 512 (one report fewer than the accepted size is read at a time) and the report
    // length of the device. An interface whose report length reads 0, or that accepts no queue
    // size, cannot carry data: the open fails and the handle is closed again.
    bool Open(const std::string& path) override;

    // Packs the bytes into the output report; every full report is sent at once, waiting up to
    // 300 ms for the device to take it. Returns n, or the bytes taken before a send failed
    // (that full report stays pending). Caller's thread.
    std::int32_t Write(const void* bytes, std::int32_t n) override;

    // Hands out bytes of at most one input report, reading the device (up to ReadWaitMs) only when
    // every buffered report is used up. Returns 0 when nothing new arrived. Reader thread.
    std::int32_t Read(void* buffer, std::int32_t n) override;

    // Zero-fills the rest of the output report and sends it, also when nothing is pending,
    // waiting up to 300 ms for the device to take it. False when the transport was never
    // opened or the report was not sent whole. Caller's thread.
    bool Flush();

    // Sends zero-filled reports enough to complete the longest frame a receiver can be
    // half-way through (all of a frame but its start byte), stopping at the first report not
    // sent. The detector keeps a frame it was receiving when the previous connection ended (a
    // program killed between the reports of a frame): the zeros end it, and the zeros after it
    // lie between frames, where the detector skips them, so the next request starts afresh.
    // Returns the reports sent. Caller's thread; up to 300 ms per report the device is slow
    // to take.
    std::uint32_t CompleteDetectorFrame();
    // How many reports CompleteDetectorFrame sends for a report length (report-ID byte
    // included).
    static std::uint32_t ZeroFillReports(std::uint32_t reportLength);

    std::uint32_t ReportLength() const { return reportLength_; }
    std::uint32_t InputReportCount() const { return inputReportCount_; }

private:
    std::uint32_t reportLength_ = 0;
    // Output side: caller's thread only.
    std::vector<std::uint8_t> outputReport_;
    std::uint32_t outputPosition_ = 0;
    // Input side: reader thread only (set up by Open before the reader runs).
    std::uint32_t inputReportCount_ = 0;
    std::vector<std::uint8_t> inputBuffer_;
    std::uint32_t reportsHeld_ = 0;
    std::uint32_t currentReport_ = 0;
    std::uint32_t readPosition_ = 0;
};

// One matching HID interface.
struct HidDeviceDescr {
    std::string path;
    std::uint32_t vendorId = 0;
    std::uint32_t productId = 0;
};

class UsbHidEnum {
public:
    // The HID interfaces whose vendor id is vendorId, visiting the platform's list from its
    // last entry to its first: entry 0 is the interface listed last. Interfaces that cannot be
    // opened for reading and writing, or whose attributes cannot be read, are left out. Blocks
    // only while each interface is opened and its ids are read; sends nothing to any device.
    static std::vector<HidDeviceDescr> Search(std::uint16_t vendorId);
};

}  // namespace tovra
