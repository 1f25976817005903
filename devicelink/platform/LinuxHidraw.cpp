#include "platform/LinuxHidraw.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>

#include "platform/ReportDescriptor.h"

namespace tovra {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kHidrawPrefix = "hidraw";
constexpr std::string_view kHidIdKey = "HID_ID=";
// A uevent file is a few hundred bytes; anything past this is not looked at.
constexpr std::streamsize kMaxUeventBytes = 64 * 1024;

int RemainingMs(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    // Round up so that a wait never ends before the deadline.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

enum class Ready { kYes, kTimedOut, kFailed };

// Waits until fd is ready for events or the deadline passes.
Ready WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, RemainingMs(deadline));
        if (rc < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Ready::kFailed;
        }
        if (rc == 0) {
            return Ready::kTimedOut;
        }
        // Reports still queued on a node that has hung up are taken; writing to it is not
        // tried, since on some descriptors that raises SIGPIPE.
        if ((p.revents & POLLIN) && (events & POLLIN)) {
            return Ready::kYes;
        }
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            return Ready::kFailed;
        }
        return (p.revents & events) ? Ready::kYes : Ready::kFailed;
    }
}

void SleepUntil(Clock::time_point deadline) {
    std::this_thread::sleep_until(deadline);
}

// Reads a hex number of 1 to 8 digits that must fit into 16 bits.
bool ParseHexId(std::string_view field, std::uint16_t& value) {
    if (field.empty() || field.size() > 8) {
        return false;
    }
    std::uint32_t v = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), v, 16);
    if (ec != std::errc() || end != field.data() + field.size() || v > 0xFFFF) {
        return false;
    }
    value = static_cast<std::uint16_t>(v);
    return true;
}

std::uint32_t ReadInputReportLength(int fd, bool& numbered) {
    numbered = false;
    int size = 0;
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
        return 0;
    }
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<std::uint32_t>(size);
    if (::ioctl(fd, HIDIOCGRDESC, &descriptor) < 0) {
        return 0;
    }
    const HidReportLayout layout = ParseReportDescriptor(descriptor.value, descriptor.size);
    numbered = layout.usesReportIds;
    return layout.InputReportByteLength();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// LinuxHidrawDevice

LinuxHidrawDevice::LinuxHidrawDevice(int fd, const HidrawNodeFacts& facts)
    : fd_(fd), facts_(facts) {
    if (fd_ >= 0) {
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags >= 0) {
            ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
        }
    }
}

LinuxHidrawDevice::~LinuxHidrawDevice() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool LinuxHidrawDevice::GetAttributes(std::uint16_t& vendorId, std::uint16_t& productId) {
    if (!facts_.haveAttributes) {
        return false;
    }
    vendorId = facts_.vendorId;
    productId = facts_.productId;
    return true;
}

bool LinuxHidrawDevice::SetInputQueueSize(std::uint32_t count) {
    return count >= 1 && count <= kInputQueueSize;
}

std::uint32_t LinuxHidrawDevice::InputReportLength() {
    return facts_.inputReportLength;
}

// Takes one queued report into a slot of the report length, report-ID byte first.
LinuxHidrawDevice::Take LinuxHidrawDevice::TakeReport(std::uint8_t* slot) {
    const std::size_t length = facts_.inputReportLength;
    std::uint8_t* target = slot;
    std::size_t room = length;
    if (!facts_.numberedReports) {
        slot[0] = 0;
        ++target;
        --room;
    }
    for (;;) {
        const ssize_t got = ::read(fd_, target, room);
        if (got > 0) {
            std::memset(target + got, 0, room - static_cast<std::size_t>(got));
            return Take::kReport;
        }
        if (got == 0) {
            return Take::kFailed;  // end of file: the node is gone
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return Take::kNothingQueued;
        }
        return Take::kFailed;
    }
}

std::size_t LinuxHidrawDevice::Read(std::uint8_t* buffer, std::size_t n, unsigned timeoutMs) {
    const std::size_t length = facts_.inputReportLength;
    // A report needs its report-ID byte and at least one byte of data.
    if (fd_ < 0 || buffer == nullptr || length < 2 || n < length) {
        return 0;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

    // The first report: wait for it up to the time-out.
    for (;;) {
        const Take take = TakeReport(buffer);
        if (take == Take::kReport) {
            break;
        }
        if (take == Take::kFailed) {
            SleepUntil(deadline);
            return 0;
        }
        const Ready ready = WaitFor(fd_, POLLIN, deadline);
        if (ready == Ready::kTimedOut) {
            return 0;
        }
        if (ready == Ready::kFailed) {
            SleepUntil(deadline);
            return 0;
        }
    }

    // Then whatever is queued already, without waiting, while whole reports fit.
    std::size_t stored = length;
    while (n - stored >= length && TakeReport(buffer + stored) == Take::kReport) {
        stored += length;
    }
    return stored;
}

std::size_t LinuxHidrawDevice::Write(const std::uint8_t* report, std::size_t n,
                                     unsigned timeoutMs) {
    if (fd_ < 0 || report == nullptr || n == 0) {
        return 0;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (WaitFor(fd_, POLLOUT, deadline) != Ready::kYes) {
            return 0;
        }
        const ssize_t put = ::write(fd_, report, n);
        if (put >= 0) {
            return static_cast<std::size_t>(put);
        }
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return 0;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Opening a node

HidrawOpenResult OpenHidrawNode(const std::string& path) {
    HidrawOpenResult result;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    hidraw_devinfo info{};
    if (::ioctl(fd, HIDIOCGRAWINFO, &info) < 0) {
        result.error = errno;
        ::close(fd);
        return result;
    }
    HidrawNodeFacts facts;
    facts.haveAttributes = true;
    facts.vendorId = static_cast<std::uint16_t>(info.vendor);
    facts.productId = static_cast<std::uint16_t>(info.product);
    facts.inputReportLength = ReadInputReportLength(fd, facts.numberedReports);
    result.device = std::make_unique<LinuxHidrawDevice>(fd, facts);
    return result;
}

// ---------------------------------------------------------------------------------------------
// The sysfs walk

bool ParseHidrawName(std::string_view name, unsigned& number) {
    if (name.substr(0, kHidrawPrefix.size()) != kHidrawPrefix) {
        return false;
    }
    const std::string_view digits = name.substr(kHidrawPrefix.size());
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) {
        return false;
    }
    unsigned v = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (ec != std::errc() || end != digits.data() + digits.size()) {
        return false;
    }
    number = v;
    return true;
}

bool ParseHidUevent(std::string_view text, std::uint16_t& bus, std::uint16_t& vendorId,
                    std::uint16_t& productId) {
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (line.substr(0, kHidIdKey.size()) != kHidIdKey) {
            continue;
        }
        line.remove_prefix(kHidIdKey.size());
        const std::size_t first = line.find(':');
        const std::size_t second =
            first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) {
            return false;
        }
        std::uint16_t b = 0, v = 0, p = 0;
        if (!ParseHexId(line.substr(0, first), b) ||
            !ParseHexId(line.substr(first + 1, second - first - 1), v) ||
            !ParseHexId(line.substr(second + 1), p)) {
            return false;
        }
        bus = b;
        vendorId = v;
        productId = p;
        return true;
    }
    return false;
}

LinuxHidrawPlatform::LinuxHidrawPlatform(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

std::vector<HidrawNode> LinuxHidrawPlatform::ListNodes() const {
    namespace fs = std::filesystem;
    std::vector<HidrawNode> nodes;
    const fs::path classDir = fs::path(sysfsRoot_) / "class" / "hidraw";
    std::error_code ec;
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
        HidrawNode node;
        node.name = it->path().filename().string();
        if (!ParseHidrawName(node.name, node.number)) {
            continue;
        }
        node.path = (fs::path(devRoot_) / node.name).string();
        std::ifstream uevent(it->path() / "device" / "uevent", std::ios::binary);
        if (uevent) {
            std::string text(static_cast<std::size_t>(kMaxUeventBytes), '\0');
            uevent.read(text.data(), kMaxUeventBytes);
            text.resize(static_cast<std::size_t>(uevent.gcount()));
            node.idsKnown = ParseHidUevent(text, node.bus, node.vendorId, node.productId);
        }
        nodes.push_back(std::move(node));
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const HidrawNode& a, const HidrawNode& b) { return a.number < b.number; });
    return nodes;
}

std::vector<HidInterfaceInfo> LinuxHidrawPlatform::ListInterfaces() {
    std::vector<HidInterfaceInfo> list;
    for (HidrawNode& node : ListNodes()) {
        list.push_back({std::move(node.path)});
    }
    return list;
}

std::unique_ptr<IHidDevice> LinuxHidrawPlatform::Open(const std::string& path) {
    return OpenHidrawNode(path).device;
}

}  // namespace tovra
