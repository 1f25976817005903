#include "Usbhid.h"

#include <algorithm>
#include <cstring>

#include "FrameCodec.h"

namespace tovra {

bool UsbHid::Open(const std::string& path) {
    if (!Usb::Open(path)) {
        return false;
    }
    std::uint32_t accepted = 0;
    for (std::uint32_t n = LargestInputQueue; n >= 1; --n) {
        if (device()->SetInputQueueSize(n)) {
            accepted = n;
            break;
        }
    }
    const std::uint32_t length = device()->InputReportLength();
    if (accepted == 0 || length < 2) {
        Close();
        return false;
    }
    reportLength_ = length;
    // One report fewer than the driver queues is asked for at a time; with a queue of one
    // report that leaves one.
    inputReportCount_ = std::max<std::uint32_t>(accepted - 1, 1);
    outputReport_.assign(reportLength_, 0);
    outputPosition_ = 1;
    inputBuffer_.assign(static_cast<std::size_t>(inputReportCount_) * reportLength_, 0);
    reportsHeld_ = 0;
    currentReport_ = 0;
    readPosition_ = reportLength_;
    return true;
}

std::int32_t UsbHid::Write(const void* bytes, std::int32_t n) {
    if (n <= 0 || bytes == nullptr || outputPosition_ == 0) {
        return 0;
    }
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    std::int32_t copied = 0;
    while (copied < n) {
        const auto room = reportLength_ - outputPosition_;
        const auto count = std::min<std::uint32_t>(static_cast<std::uint32_t>(n - copied), room);
        std::memcpy(outputReport_.data() + outputPosition_, in + copied, count);
        outputPosition_ += count;
        copied += static_cast<std::int32_t>(count);
        if (outputPosition_ == reportLength_) {
            if (DeviceWrite(outputReport_.data(), reportLength_) == 0) {
                return copied;
            }
            outputPosition_ = 1;
        }
    }
    return n;
}

bool UsbHid::Flush() {
    if (outputPosition_ == 0) {
        return false;
    }
    std::fill(outputReport_.begin() + outputPosition_, outputReport_.end(), 0);
    if (DeviceWrite(outputReport_.data(), reportLength_) != reportLength_) {
        return false;
    }
    outputPosition_ = 1;
    return true;
}

std::uint32_t UsbHid::ZeroFillReports(std::uint32_t reportLength) {
    if (reportLength < 2) {
        return 0;
    }
    const std::uint32_t rest = static_cast<std::uint32_t>(FrameBufferSize - 1);
    const std::uint32_t room = reportLength - 1;
    return (rest + room - 1) / room;
}

std::uint32_t UsbHid::CompleteDetectorFrame() {
    const std::uint32_t reports = ZeroFillReports(reportLength_);
    for (std::uint32_t k = 0; k < reports; ++k) {
        // A flush with nothing pending sends a report of zeros.
        if (!Flush()) {
            return k;
        }
    }
    return reports;
}

std::int32_t UsbHid::Read(void* buffer, std::int32_t n) {
    if (reportLength_ == 0 || buffer == nullptr || n <= 0) {
        return 0;
    }
    if (readPosition_ >= reportLength_) {
        ++currentReport_;
        if (currentReport_ < reportsHeld_) {
            readPosition_ = 1;
        } else {
            const std::size_t got = DeviceRead(inputBuffer_.data(), inputBuffer_.size());
            reportsHeld_ = static_cast<std::uint32_t>(got / reportLength_);
            if (reportsHeld_ > 0) {
                currentReport_ = 0;
                readPosition_ = 1;
            }
        }
    }
    const auto count =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(n), reportLength_ - readPosition_);
    if (count > 0) {
        const std::size_t at =
            static_cast<std::size_t>(currentReport_) * reportLength_ + readPosition_;
        std::memcpy(buffer, inputBuffer_.data() + at, count);
        readPosition_ += count;
    }
    return static_cast<std::int32_t>(count);
}

std::vector<HidDeviceDescr> UsbHidEnum::Search(std::uint16_t vendorId) {
    IHidPlatform& platform = CurrentHidPlatform();
    const std::vector<HidInterfaceInfo> interfaces = platform.ListInterfaces();
    std::vector<HidDeviceDescr> found;
    for (auto it = interfaces.rbegin(); it != interfaces.rend(); ++it) {
        std::unique_ptr<IHidDevice> device = platform.Open(it->path);
        if (!device) {
            continue;
        }
        std::uint16_t vendor = 0;
        std::uint16_t product = 0;
        if (!device->GetAttributes(vendor, product)) {
            continue;
        }
        if (vendor == vendorId) {
            found.push_back({it->path, vendor, product});
        }
    }
    return found;
}

}  // namespace tovra
