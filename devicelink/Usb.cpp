#include "Usb.h"

#include <cstring>

namespace tovra {

bool Usb::Open(const std::string& path) {
    path_ = path;
    device_ = CurrentHidPlatform().Open(path);
    return device_ != nullptr;
}

std::size_t Usb::DeviceRead(std::uint8_t* buffer, std::size_t n) {
    std::memset(buffer, 0, n);
    if (!device_) {
        return 0;
    }
    return device_->Read(buffer, n, ReadWaitMs);
}

std::size_t Usb::DeviceWrite(const std::uint8_t* report, std::size_t n) {
    if (!device_) {
        return 0;
    }
    return device_->Write(report, n, WriteWaitMs);
}

}  // namespace tovra
