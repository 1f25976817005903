#include "Usb.h"

#include <cstring>

namespace tovra {

namespace {
thread_local HidOpenError lastOpenError = HidOpenError::None;
}

HidOpenError LastOpenError() {
    return lastOpenError;
}

void ClearLastOpenError() {
    lastOpenError = HidOpenError::None;
}

bool Usb::Open(const std::string& path) {
    path_ = path;
    HidOpenError error = HidOpenError::Failed;
    device_ = CurrentHidPlatform().OpenExclusive(path, error);
    lastOpenError = device_ != nullptr             ? HidOpenError::None
                    : error == HidOpenError::InUse ? HidOpenError::InUse
                                                   : HidOpenError::Failed;
    return device_ != nullptr;
}

void Usb::Close() {
    device_.reset();
    lastOpenError = HidOpenError::Failed;
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
