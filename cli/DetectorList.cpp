#include "DetectorList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "Usbhid.h"
#if defined(_WIN32)
#include <windows.h>

#include "platform/WindowsHid.h"
#else
#include "platform/LinuxHidraw.h"
#endif

namespace holvane::cli {

std::string VendorProduct(std::uint16_t vendorId, std::uint16_t productId) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", vendorId, productId);
    return text;
}

std::vector<ListedDetector> LibraryDetectors() {
    std::vector<ListedDetector> detectors;
    for (const tovra::HidDeviceDescr& found : tovra::UsbHidEnum::Search(tovra::DetectorVendorId)) {
        detectors.push_back({found.path, static_cast<std::uint16_t>(found.vendorId),
                             static_cast<std::uint16_t>(found.productId)});
    }
    return detectors;
}

#if defined(_WIN32)

int OpenError(const std::string& path) {
    return static_cast<int>(tovra::OpenWindowsHidPath(path).error);
}

namespace {

// Four hex digits after the key, matched without regard to case.
bool HexIdAfter(std::string_view path, std::string_view key, std::uint16_t& id) {
    for (std::size_t at = 0; at + key.size() + 4 <= path.size(); ++at) {
        bool match = true;
        for (std::size_t i = 0; i < key.size() && match; ++i) {
            match = std::tolower(static_cast<unsigned char>(path[at + i])) == key[i];
        }
        if (!match) {
            continue;
        }
        const std::string_view digits = path.substr(at + key.size(), 4);
        unsigned value = 0;
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (ec == std::errc() && end == digits.data() + digits.size()) {
            id = static_cast<std::uint16_t>(value);
            return true;
        }
    }
    return false;
}

}  // namespace

bool ParseInterfacePathIds(std::string_view path, std::uint16_t& vendorId,
                           std::uint16_t& productId) {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    if (!HexIdAfter(path, "vid_", vendor) || !HexIdAfter(path, "pid_", product)) {
        return false;
    }
    vendorId = vendor;
    productId = product;
    return true;
}

std::vector<UnopenedNode> UnopenedDetectorInterfaces(const std::vector<std::string>& interfaces,
                                                     const std::vector<ListedDetector>& listed,
                                                     const NodeOpener& opener) {
    std::vector<UnopenedNode> unopened;
    for (const std::string& path : interfaces) {
        std::uint16_t vendor = 0;
        std::uint16_t product = 0;
        if (!ParseInterfacePathIds(path, vendor, product) || vendor != tovra::DetectorVendorId) {
            continue;
        }
        const bool isListed = std::ranges::any_of(
            listed, [&path](const ListedDetector& d) { return d.path == path; });
        if (isListed) {
            continue;
        }
        if (const int error = opener(path); error != 0) {
            unopened.push_back({path, vendor, product, error});
        }
    }
    return unopened;
}

std::vector<UnopenedNode> UnopenedDetectorNodes(const std::vector<ListedDetector>& listed) {
    std::vector<std::string> paths;
    for (const tovra::HidInterfaceInfo& info : tovra::WindowsHidPlatform().ListInterfaces()) {
        paths.push_back(info.path);
    }
    return UnopenedDetectorInterfaces(paths, listed);
}

#else

int OpenError(const std::string& path) {
    return tovra::OpenHidrawNode(path).error;
}

std::vector<UnopenedNode> UnopenedDetectorNodes(const tovra::LinuxHidrawPlatform& platform,
                                                const std::vector<ListedDetector>& listed,
                                                const NodeOpener& opener) {
    std::vector<UnopenedNode> unopened;
    for (const tovra::HidrawNode& node : platform.ListNodes()) {
        if (!node.idsKnown || node.vendorId != tovra::DetectorVendorId) {
            continue;
        }
        const bool isListed = std::ranges::any_of(
            listed, [&node](const ListedDetector& d) { return d.path == node.path; });
        if (isListed) {
            continue;
        }
        if (const int error = opener(node.path); error != 0) {
            unopened.push_back({node.path, node.vendorId, node.productId, error});
        }
    }
    return unopened;
}

std::vector<UnopenedNode> UnopenedDetectorNodes(const std::vector<ListedDetector>& listed) {
    return UnopenedDetectorNodes(tovra::LinuxHidrawPlatform(), listed);
}

#endif

namespace {

#if defined(_WIN32)

std::string Reason(int error) {
    switch (static_cast<DWORD>(error)) {
        case ERROR_ACCESS_DENIED:
            return "access denied";
        case ERROR_SHARING_VIOLATION:
            return "the device is in use by another program";
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEVICE_NOT_CONNECTED:
            return "the device is no longer attached";
        case ERROR_MOD_NOT_FOUND:
            return "the system's HID library (HID.DLL) could not be loaded";
        default:
            return "system error " + std::to_string(error);
    }
}

bool IsPermissionProblem(int error) {
    return static_cast<DWORD>(error) == ERROR_ACCESS_DENIED ||
           static_cast<DWORD>(error) == ERROR_SHARING_VIOLATION;
}

constexpr const char* PermissionRemedy =
    "      Another program holds the detector open for itself. Close every other program that\n"
    "      talks to the detector (another copy of Holvane included), then try again; if that\n"
    "      does not help, unplug and replug the detector. Windows needs no set-up for it.\n";

#else

std::string Reason(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "permission denied";
        case ENOENT:
            return "the device node does not exist";
        case EBUSY:
            return "the device is busy";
        case ENOTTY:
        case EINVAL:
            return "not a hidraw device node";
        default:
            return std::strerror(error);
    }
}

bool IsPermissionProblem(int error) {
    return error == EACCES || error == EPERM;
}

constexpr const char* PermissionRemedy =
    "      You may not open the detector's node. Install the udev rule (it comes with the\n"
    "      package; without it: holvanectl udev-rule | sudo tee "
    "/etc/udev/rules.d/70-holvane-vantor.rules),\n"
    "      reload the rules (sudo udevadm control --reload-rules), then unplug and replug\n"
    "      the detector, or log out and in: access is granted when the device appears.\n";

#endif

}  // namespace

std::string FormatDetectorList(const std::vector<ListedDetector>& detectors,
                               const std::vector<UnopenedNode>& unopened) {
    std::string text;
    if (detectors.empty()) {
        text += "No detector found.\n";
    } else {
        text += "Detectors (--device takes the number or the path; without it, entry 0 is used):\n";
        for (std::size_t i = 0; i < detectors.size(); ++i) {
            text += "  " + std::to_string(i) + "  " + detectors[i].path + "  " +
                    VendorProduct(detectors[i].vendorId, detectors[i].productId) + "\n";
        }
    }
    if (!unopened.empty()) {
        text += "Detector nodes that could not be opened:\n";
        for (const UnopenedNode& node : unopened) {
            text += "  " + node.path + "  " + VendorProduct(node.vendorId, node.productId) + "  " +
                    Reason(node.error) + "\n";
            if (IsPermissionProblem(node.error)) {
                text += PermissionRemedy;
            }
        }
    }
    return text;
}

std::string UnopenedReason(int error) {
    return Reason(error);
}

}  // namespace holvane::cli
