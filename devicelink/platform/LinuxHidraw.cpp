#include "platform/LinuxHidraw.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <system_error>
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
    // Round up so that a wait never ends before the deadline; a wait without end stays -1.
    if (deadline == Clock::time_point::max()) {
        return -1;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<decltype(ms)>(ms, std::numeric_limits<int>::max()));
}

enum class Ready { kYes, kTimedOut, kFailed, kWoken };

// The errors with which the kernel tells that the interface is no longer there.
bool IsGoneError(int error) {
    return error == ENODEV || error == EIO || error == ENXIO || error == ESHUTDOWN ||
           error == EPIPE;
}

// Waits until fd is ready for events, wakeFd (when not -1) becomes readable, or the deadline
// passes. A node that has hung up or failed sets gone.
Ready WaitFor(int fd, short events, int wakeFd, Clock::time_point deadline,
              std::atomic<bool>& gone) {
    for (;;) {
        pollfd p[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        const int rc = ::poll(p, wakeFd >= 0 ? 2 : 1, RemainingMs(deadline));
        if (rc < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Ready::kFailed;
        }
        if (rc == 0) {
            return Ready::kTimedOut;
        }
        if (wakeFd >= 0 && (p[1].revents & POLLIN)) {
            return Ready::kWoken;
        }
        // Reports still queued on a node that has hung up are taken; writing to it is not
        // tried, since on some descriptors that raises SIGPIPE.
        if ((p[0].revents & POLLIN) && (events & POLLIN)) {
            return Ready::kYes;
        }
        if (p[0].revents & (POLLERR | POLLHUP)) {
            gone.store(true, std::memory_order_release);
            return Ready::kFailed;
        }
        return (p[0].revents & events) ? Ready::kYes : Ready::kFailed;
    }
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

// The node's descriptor and the two wake-ups, closed when the last of the device and its writer
// thread lets go of them.
struct LinuxHidrawDevice::Node {
    explicit Node(int f)
        : fd(f),
          readsCancelledFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          closingFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Node() {
        for (int d : {fd, readsCancelledFd, closingFd}) {
            if (d >= 0) {
                ::close(d);
            }
        }
    }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    static void Signal(int eventFd) {
        const std::uint64_t one = 1;
        if (eventFd >= 0) {
            (void)!::write(eventFd, &one, sizeof one);
        }
    }

    const int fd;
    const int readsCancelledFd;  // readable once CancelReads was called
    const int closingFd;         // readable once the device is being closed
    std::atomic<bool> readsCancelled{false};
    std::atomic<bool> gone{false};
};

// What Write hands to the writer thread and gets back.
struct LinuxHidrawDevice::Writer {
    std::mutex lock;                   // guards every field below but thread
    std::condition_variable changed;   // a report handed over, a write ended, or closing
    std::vector<std::uint8_t> report;  // the report to write next
    bool queued = false;               // report waits for the thread
    bool busy = false;                 // a report was handed over and its write has not ended
    bool closing = false;
    std::size_t result = 0;  // bytes written by the last write that ended
    std::thread thread;      // joined or detached by the device's destructor
};

namespace {

// One whole report through write(), which on hidraw blocks until the transfer is done. A
// descriptor in non-blocking mode that is not ready yet is waited for until the device closes.
std::size_t WriteReport(LinuxHidrawDevice::Node& node, const std::vector<std::uint8_t>& report) {
    for (;;) {
        pollfd p{node.fd, POLLOUT, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            if (!(p.revents & POLLNVAL)) {
                node.gone.store(true, std::memory_order_release);
            }
            return 0;
        }
        const ssize_t put = ::write(node.fd, report.data(), report.size());
        if (put >= 0) {
            return static_cast<std::size_t>(put);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            if (IsGoneError(errno)) {
                node.gone.store(true, std::memory_order_release);
            }
            return 0;
        }
        const Ready ready =
            WaitFor(node.fd, POLLOUT, node.closingFd, Clock::time_point::max(), node.gone);
        if (ready == Ready::kWoken || ready == Ready::kFailed) {
            return 0;
        }
    }
}

void WriterLoop(const std::shared_ptr<LinuxHidrawDevice::Node> node,
                const std::shared_ptr<LinuxHidrawDevice::Writer> writer) {
    std::unique_lock guard(writer->lock);
    for (;;) {
        writer->changed.wait(guard, [&] { return writer->queued || writer->closing; });
        if (writer->closing) {
            return;  // a report not yet begun is not written after the close
        }
        const std::vector<std::uint8_t> report = std::move(writer->report);
        writer->queued = false;
        guard.unlock();
        const std::size_t put = WriteReport(*node, report);
        guard.lock();
        writer->result = put;
        writer->busy = false;
        writer->changed.notify_all();
    }
}

}  // namespace

LinuxHidrawDevice::LinuxHidrawDevice(int fd, const HidrawNodeFacts& facts)
    : node_(std::make_shared<Node>(fd)), facts_(facts) {}

LinuxHidrawDevice::~LinuxHidrawDevice() {
    if (!writer_) {
        return;
    }
    bool idle = false;
    {
        std::lock_guard guard(writer_->lock);
        writer_->closing = true;
        idle = !writer_->busy;
        writer_->changed.notify_all();
    }
    Node::Signal(node_->closingFd);
    // A write that the kernel still holds cannot be cut short: its thread is left to end on
    // its own, keeping the node open until then.
    if (idle) {
        writer_->thread.join();
    } else {
        writer_->thread.detach();
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

void LinuxHidrawDevice::CancelReads() {
    node_->readsCancelled.store(true, std::memory_order_release);
    Node::Signal(node_->readsCancelledFd);
}

bool LinuxHidrawDevice::IsGone() const {
    return node_->gone.load(std::memory_order_acquire);
}

// Takes one queued report into a slot of the report length, report-ID byte first, without
// waiting (also on a descriptor in blocking mode).
LinuxHidrawDevice::Take LinuxHidrawDevice::TakeReport(std::uint8_t* slot) {
    const int fd = node_->fd;
    pollfd p{fd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&p, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        return ready == 0 ? Take::kNothingQueued : Take::kFailed;
    }
    if (!(p.revents & POLLIN)) {
        if (p.revents & (POLLERR | POLLHUP)) {
            node_->gone.store(true, std::memory_order_release);
        }
        return Take::kFailed;
    }
    const std::size_t length = facts_.inputReportLength;
    std::uint8_t* target = slot;
    std::size_t room = length;
    if (!facts_.numberedReports) {
        slot[0] = 0;
        ++target;
        --room;
    }
    for (;;) {
        const ssize_t got = ::read(fd, target, room);
        if (got > 0) {
            std::memset(target + got, 0, room - static_cast<std::size_t>(got));
            return Take::kReport;
        }
        if (got == 0) {
            node_->gone.store(true, std::memory_order_release);  // end of file
            return Take::kFailed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return Take::kNothingQueued;
        }
        if (IsGoneError(errno)) {
            node_->gone.store(true, std::memory_order_release);
        }
        return Take::kFailed;
    }
}

std::size_t LinuxHidrawDevice::Read(std::uint8_t* buffer, std::size_t n, unsigned timeoutMs) {
    const std::size_t length = facts_.inputReportLength;
    // A report needs its report-ID byte and at least one byte of data.
    if (node_->fd < 0 || buffer == nullptr || length < 2 || n < length ||
        node_->readsCancelled.load(std::memory_order_acquire)) {
        return 0;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // A failed node answers nothing: the read still takes its time, unless it is cancelled.
    const auto waitOut = [&] {
        if (node_->readsCancelledFd < 0) {
            std::this_thread::sleep_until(deadline);
        } else {
            std::atomic<bool> unused{false};
            WaitFor(node_->readsCancelledFd, POLLIN, -1, deadline, unused);
        }
        return std::size_t{0};
    };

    // The first report: wait for it up to the time-out.
    for (;;) {
        const Take take = TakeReport(buffer);
        if (take == Take::kReport) {
            break;
        }
        if (take == Take::kFailed) {
            return waitOut();
        }
        const Ready ready =
            WaitFor(node_->fd, POLLIN, node_->readsCancelledFd, deadline, node_->gone);
        if (ready == Ready::kTimedOut || ready == Ready::kWoken) {
            return 0;
        }
        if (ready == Ready::kFailed) {
            return waitOut();
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
    if (node_->fd < 0 || report == nullptr || n == 0 || IsGone()) {
        return 0;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!writer_) {
        auto writer = std::make_shared<Writer>();
        try {
            writer->thread = std::thread(WriterLoop, node_, writer);
        } catch (const std::system_error&) {
            return 0;
        }
        writer_ = std::move(writer);
    }
    std::unique_lock guard(writer_->lock);
    if (writer_->busy) {
        return 0;  // the kernel still holds an earlier report
    }
    writer_->report.assign(report, report + n);
    writer_->queued = true;
    writer_->busy = true;
    writer_->changed.notify_all();
    if (!writer_->changed.wait_until(guard, deadline, [this] { return !writer_->busy; })) {
        return 0;  // not taken in time; it stays under way and holds off later writes
    }
    return writer_->result;
}

// ---------------------------------------------------------------------------------------------
// Opening a node

int LockExclusively(int fd) {
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

HidrawOpenResult OpenHidrawNode(const std::string& path, bool exclusive) {
    HidrawOpenResult result;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    if (exclusive) {
        if (const int error = LockExclusively(fd); error != 0) {
            result.error = error;
            result.inUse = error == EWOULDBLOCK;
            ::close(fd);
            return result;
        }
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

std::unique_ptr<IHidDevice> LinuxHidrawPlatform::OpenExclusive(const std::string& path,
                                                               HidOpenError& error) {
    HidrawOpenResult opened = OpenHidrawNode(path, true);
    error = opened.device  ? HidOpenError::None
            : opened.inUse ? HidOpenError::InUse
                           : HidOpenError::Failed;
    return std::move(opened.device);
}

}  // namespace tovra
