#include "platform/HidPlatform.h"

#include <atomic>

#if defined(_WIN32)
#include "platform/WindowsHid.h"
#else
#include "platform/LinuxHidraw.h"
#endif

namespace tovra {

namespace {

std::atomic<IHidPlatform*> installedPlatform{nullptr};

IHidPlatform& OperatingSystemPlatform() {
    // Created on first use and never destroyed, so that a library object still alive while
    // the process exits never meets a destroyed platform.
#if defined(_WIN32)
    static IHidPlatform* const platform = new WindowsHidPlatform();
#else
    static IHidPlatform* const platform = new LinuxHidrawPlatform();
#endif
    return *platform;
}

}  // namespace

IHidPlatform& CurrentHidPlatform() {
    if (IHidPlatform* platform = installedPlatform.load(std::memory_order_acquire)) {
        return *platform;
    }
    return OperatingSystemPlatform();
}

void SetHidPlatform(IHidPlatform* platform) {
    installedPlatform.store(platform, std::memory_order_release);
}

}  // namespace tovra
