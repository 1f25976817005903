// `holvanectl list`: the detectors the library would use, and the detector nodes it cannot
// open, with the reason and what to do about it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tovra {
class LinuxHidrawPlatform;
}

namespace holvane::cli {

// A detector as the library's search lists it.
struct ListedDetector {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// A hidraw node (an interface of the HID class on Windows) whose ids are the detector's but
// that cannot be opened.
struct UnopenedNode {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    int error = 0;  // errno of the open; on Windows the system's error code
};

// The detectors in the library's order: entry 0 is the one every connection opens.
std::vector<ListedDetector> LibraryDetectors();

// Opens a node and answers the errno of the failure, 0 when it opened.
using NodeOpener = std::function<int(const std::string& path)>;
int OpenError(const std::string& path);

#if defined(_WIN32)
// The ids that a HID interface's device path carries ("...vid_2f1a&pid_0001..."); false when
// the path carries none.
bool ParseInterfacePathIds(std::string_view path, std::uint16_t& vendorId,
                           std::uint16_t& productId);

// The interfaces (device paths of the HID class) whose paths carry the detector's vendor id and
// that the opener cannot open. Interfaces the library already lists are not tried again.
std::vector<UnopenedNode> UnopenedDetectorInterfaces(const std::vector<std::string>& interfaces,
                                                     const std::vector<ListedDetector>& listed,
                                                     const NodeOpener& opener = OpenError);
#else
// The hidraw nodes with the detector's vendor id, read from sysfs without opening them, that
// the opener cannot open. Nodes the library already lists are not tried again.
std::vector<UnopenedNode> UnopenedDetectorNodes(const tovra::LinuxHidrawPlatform& platform,
                                                const std::vector<ListedDetector>& listed,
                                                const NodeOpener& opener = OpenError);
#endif

// What the system's own platform finds of the detector besides the listed ones: the hidraw
// nodes on Linux, the interfaces of the HID class on Windows.
std::vector<UnopenedNode> UnopenedDetectorNodes(const std::vector<ListedDetector>& listed);

// The listing as printed: the detectors, then the nodes that could not be opened, each with
// its reason and, for a permission problem, the remedy.
std::string FormatDetectorList(const std::vector<ListedDetector>& detectors,
                               const std::vector<UnopenedNode>& unopened);

// Why a node could not be opened, as the listing says it.
std::string UnopenedReason(int error);

// The ids as "2f1a:0001".
std::string VendorProduct(std::uint16_t vendorId, std::uint16_t productId);

}  // namespace holvane::cli
