#include "DetectorList.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Usbhid.h"
#include "platform/LinuxHidraw.h"

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

namespace {

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

constexpr const char* PermissionRemedy =
    "      You may not open the detector's node. Install the udev rule (it comes with the\n"
    "      package; without it: holvanectl udev-rule | sudo tee "
    "/etc/udev/rules.d/70-holvane-vantor.rules),\n"
    "      reload the rules (sudo udevadm control --reload-rules), then unplug and replug\n"
    "      the detector, or log out and in: access is granted when the device appears.\n";

}  // namespace

std::string FormatDetectorList(const std::vector<ListedDetector>& detectors,
                               const std::vector<UnopenedNode>& unopened) {
    std::string text;
    if (detectors.empty()) {
        text += "No detector found.\n";
    } else {
        text += "Detectors (entry 0 is the one used):\n";
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
            if (node.error == EACCES || node.error == EPERM) {
                text += PermissionRemedy;
            }
        }
    }
    return text;
}

}  // namespace holvane::cli
