#include "platform/LinuxHidraw.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

using namespace tovra;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

Bytes Pattern(std::size_t n, std::uint8_t first) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}

// A temporary folder holding a fixture sysfs tree and a fixture /dev.
class FixtureTree {
public:
    FixtureTree() {
        std::string templ = (fs::temp_directory_path() / "hidraw-test-XXXXXX").string();
        root_ = ::mkdtemp(templ.data());
        fs::create_directories(Sys() / "class" / "hidraw");
        fs::create_directories(Dev());
    }
    ~FixtureTree() {
        std::error_code ec;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root_, ec);
    }
    fs::path Sys() const { return root_ / "sys"; }
    fs::path Dev() const { return root_ / "dev"; }

    // Adds class/hidraw/<name>, with device/uevent holding the text unless it is null.
    void AddEntry(const std::string& name, const char* uevent) {
        const fs::path dir = Sys() / "class" / "hidraw" / name;
        fs::create_directories(dir / "device");
        if (uevent != nullptr) {
            std::ofstream(dir / "device" / "uevent") << uevent;
        }
    }
    void AddPlainFile(const fs::path& path) { std::ofstream(path) << "not a device"; }

private:
    fs::path root_;
};

constexpr const char* kDetectorUevent =
    "DRIVER=hid-generic\nHID_ID=0003:00002F1A:00000001\nHID_NAME=Vantor Detector\n";
constexpr const char* kMouseUevent = "HID_ID=0003:0000046D:0000C52B\nHID_NAME=Mouse\n";

}  // namespace

TEST(HidrawNameTest, OnlyHidrawFollowedByANumber) {
    struct Case {
        const char* name;
        bool ok;
        unsigned number;
    };
    const std::vector<Case> cases = {
        {"hidraw0", true, 0},   {"hidraw10", true, 10}, {"hidraw", false, 0},
        {"hidraw01", false, 0}, {"hidrawx", false, 0},  {"hidraw3a", false, 0},
        {"Hidraw1", false, 0},  {"hidraw-1", false, 0}, {"hidraw99999999999", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned number = 12345;
        EXPECT_EQ(ParseHidrawName(c.name, number), c.ok);
        if (c.ok) {
            EXPECT_EQ(number, c.number);
        }
    }
}

TEST(HidUeventTest, ReadsBusVendorAndProduct) {
    struct Case {
        const char* text;
        bool ok;
        std::uint16_t bus, vendor, product;
    };
    const std::vector<Case> cases = {
        {"HID_ID=0003:00002F1A:00000001", true, 0x0003, 0x2F1A, 0x0001},
        {kDetectorUevent, true, 0x0003, 0x2F1A, 0x0001},
        {"HID_ID=0005:00002f1a:0000beef\n", true, 0x0005, 0x2F1A, 0xBEEF},
        {"HID_NAME=HID_ID=0003:00002F1A:00000001\n", false, 0, 0, 0},  // not at line start
        {"HID_ID=0003:00012F1A:00000001", false, 0, 0, 0},             // vendor above 16 bits
        {"HID_ID=0003:2F1A", false, 0, 0, 0},
        {"HID_ID=0003::00000001", false, 0, 0, 0},
        {"HID_ID=0003:00002G1A:00000001", false, 0, 0, 0},
        {"HID_ID=0003:00002F1A:00000001:7", false, 0, 0, 0},
        {"HID_ID=0003:000000002F1A:00000001", false, 0, 0, 0},  // more than 8 digits
        {"DRIVER=hid-generic\n", false, 0, 0, 0},
        {"", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::uint16_t bus = 0, vendor = 0, product = 0;
        ASSERT_EQ(ParseHidUevent(c.text, bus, vendor, product), c.ok);
        if (c.ok) {
            EXPECT_EQ(bus, c.bus);
            EXPECT_EQ(vendor, c.vendor);
            EXPECT_EQ(product, c.product);
        }
    }
}

TEST(LinuxHidrawPlatformTest, ListsEntriesInNumericOrderWithTheirIds) {
    FixtureTree tree;
    tree.AddEntry("hidraw10", "HID_ID=0003:2F1A\n");  // malformed
    tree.AddEntry("hidraw2", kMouseUevent);
    tree.AddEntry("hidraw0", kDetectorUevent);
    tree.AddEntry("hidraw3", nullptr);  // no uevent file
    tree.AddEntry("hidraw01", kDetectorUevent);
    tree.AddEntry("event4", kDetectorUevent);

    LinuxHidrawPlatform platform(tree.Sys().string(), tree.Dev().string());
    const std::vector<HidrawNode> nodes = platform.ListNodes();
    ASSERT_EQ(nodes.size(), 4u);

    EXPECT_EQ(nodes[0].number, 0u);
    EXPECT_EQ(nodes[0].name, "hidraw0");
    EXPECT_EQ(nodes[0].path, (tree.Dev() / "hidraw0").string());
    EXPECT_TRUE(nodes[0].idsKnown);
    EXPECT_EQ(nodes[0].bus, 0x0003);
    EXPECT_EQ(nodes[0].vendorId, 0x2F1A);
    EXPECT_EQ(nodes[0].productId, 0x0001);

    EXPECT_EQ(nodes[1].number, 2u);
    EXPECT_TRUE(nodes[1].idsKnown);
    EXPECT_EQ(nodes[1].vendorId, 0x046D);
    EXPECT_EQ(nodes[1].productId, 0xC52B);

    EXPECT_EQ(nodes[2].number, 3u);
    EXPECT_FALSE(nodes[2].idsKnown);
    EXPECT_EQ(nodes[3].number, 10u);
    EXPECT_FALSE(nodes[3].idsKnown);

    std::vector<std::string> paths;
    for (const HidInterfaceInfo& info : platform.ListInterfaces()) {
        paths.push_back(info.path);
    }
    EXPECT_THAT(paths,
                ElementsAre((tree.Dev() / "hidraw0").string(), (tree.Dev() / "hidraw2").string(),
                            (tree.Dev() / "hidraw3").string(), (tree.Dev() / "hidraw10").string()));
}

TEST(LinuxHidrawPlatformTest, MissingSysfsGivesAnEmptyList) {
    LinuxHidrawPlatform platform("/nonexistent-sysfs-root", "/dev");
    EXPECT_TRUE(platform.ListInterfaces().empty());
    EXPECT_TRUE(platform.ListNodes().empty());
}

TEST(LinuxHidrawPlatformTest, NodesThatCannotBeOpenedGiveNullAndTheirErrno) {
    FixtureTree tree;
    tree.AddPlainFile(tree.Dev() / "hidraw0");  // opens, but is no hidraw node
    fs::create_directories(tree.Dev() / "hidraw3");
    fs::create_symlink(tree.Dev() / "gone", tree.Dev() / "hidraw4");
    struct Case {
        std::string name;
        int error;
    };
    const std::vector<Case> cases = {
        {"hidraw0", ENOTTY},
        {"hidraw2", ENOENT},  // missing
        {"hidraw3", EISDIR},
        {"hidraw4", ENOENT},  // dangling link
    };
    LinuxHidrawPlatform platform(tree.Sys().string(), tree.Dev().string());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (tree.Dev() / c.name).string();
        const HidrawOpenResult result = OpenHidrawNode(path);
        EXPECT_EQ(result.device, nullptr);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(platform.Open(path), nullptr);
    }
}

TEST(LinuxHidrawPlatformTest, NodeWithoutReadWriteAccessGivesPermissionDenied) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root opens any file";
    }
    FixtureTree tree;
    const fs::path node = tree.Dev() / "hidraw0";
    tree.AddPlainFile(node);
    fs::permissions(node, fs::perms::owner_read);
    const HidrawOpenResult result = OpenHidrawNode(node.string());
    EXPECT_EQ(result.device, nullptr);
    EXPECT_EQ(result.error, EACCES);
}

TEST(LinuxHidrawPlatformTest, AnExclusiveOpenOfANodeAnotherConnectionHoldsIsRefusedAsInUse) {
    // The lock is flock's, which takes any file: a plain file stands in for the node, opened
    // twice as two programs would. A plain file is no hidraw node, so an exclusive open that
    // gets past the lock fails later, with ENOTTY.
    FixtureTree tree;
    const fs::path node = tree.Dev() / "hidraw0";
    tree.AddPlainFile(node);
    const int first = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    const int second = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_EQ(LockExclusively(first), 0);
    EXPECT_EQ(LockExclusively(second), EWOULDBLOCK);

    const HidrawOpenResult held = OpenHidrawNode(node.string(), true);
    EXPECT_EQ(held.device, nullptr);
    EXPECT_TRUE(held.inUse);
    EXPECT_EQ(held.error, EWOULDBLOCK);
    HidOpenError error = HidOpenError::None;
    LinuxHidrawPlatform platform(tree.Sys().string(), tree.Dev().string());
    EXPECT_EQ(platform.OpenExclusive(node.string(), error), nullptr);
    EXPECT_EQ(error, HidOpenError::InUse);
    // Looking at a node (listing) takes no lock and is not refused by one.
    EXPECT_EQ(OpenHidrawNode(node.string()).error, ENOTTY);

    ::close(first);  // the holder ends: the lock goes with its open file
    const HidrawOpenResult free = OpenHidrawNode(node.string(), true);
    EXPECT_FALSE(free.inUse);
    EXPECT_EQ(free.error, ENOTTY);
    EXPECT_EQ(platform.OpenExclusive(node.string(), error), nullptr);
    EXPECT_EQ(error, HidOpenError::Failed);
    EXPECT_EQ(LockExclusively(second), 0);
    ::close(second);
}

// ---------------------------------------------------------------------------------------------
// The device, over a SOCK_SEQPACKET pair: one end is the node, the other the HID device.

namespace {

// Whether the device's reports carry a report id byte of their own.
enum class ReportIds { Unnumbered, Numbered };

class HidrawDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::signal(SIGPIPE, SIG_IGN);
        Reopen();
    }
    void TearDown() override { Close(); }

    // A fresh pair for the next case of a table.
    void Reopen() {
        Close();
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds_), 0);
    }
    void Close() {
        device_.reset();
        for (int& fd : fds_) {
            if (fd >= 0) {
                ::close(fd);
                fd = -1;
            }
        }
    }

    LinuxHidrawDevice& Make(std::uint32_t reportLength, ReportIds ids) {
        HidrawNodeFacts facts;
        facts.haveAttributes = true;
        facts.vendorId = 0x2F1A;
        facts.productId = 0x0001;
        facts.inputReportLength = reportLength;
        facts.numberedReports = ids == ReportIds::Numbered;
        device_ = std::make_unique<LinuxHidrawDevice>(fds_[0], facts);
        fds_[0] = -1;  // the device owns it now
        return *device_;
    }

    // The HID device sends one input report as hidraw hands it out.
    void Send(const Bytes& report) {
        ASSERT_EQ(::send(fds_[1], report.data(), report.size(), 0),
                  static_cast<ssize_t>(report.size()));
    }
    Bytes Receive() {
        Bytes b(4096);
        const ssize_t got = ::recv(fds_[1], b.data(), b.size(), MSG_DONTWAIT);
        b.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        return b;
    }
    // The HID device stops taking reports: the node's outgoing queue is filled until a write
    // would block. Returns the reports queued.
    int StopTakingReports() {
        const Bytes filler(65, 0xAA);
        int queued = 0;
        while (::send(fds_[0], filler.data(), filler.size(), MSG_DONTWAIT) > 0) {
            ++queued;
        }
        return queued;
    }
    void HangUp() {
        ::close(fds_[1]);
        fds_[1] = -1;
    }

    int fds_[2] = {-1, -1};
    std::unique_ptr<LinuxHidrawDevice> device_;
};

Bytes WithIdByte(std::uint8_t id, const Bytes& data, std::size_t length) {
    Bytes b(std::max(length, 1 + data.size()), 0);
    b[0] = id;
    std::copy(data.begin(), data.end(), b.begin() + 1);
    b.resize(length);
    return b;
}

}  // namespace

TEST_F(HidrawDeviceTest, ReportsComeWithTheirIdByteAndPaddedToTheReportLength) {
    struct Case {
        std::string name;
        ReportIds ids;
        std::uint32_t length;
        Bytes sent;
        Bytes expected;
    };
    const Bytes full = Pattern(64, 1);
    const Bytes shortData = Pattern(8, 0x40);
    const std::vector<Case> cases = {
        {"unnumbered, full", ReportIds::Unnumbered, 65, full, WithIdByte(0, full, 65)},
        {"unnumbered, short", ReportIds::Unnumbered, 65, shortData, WithIdByte(0, shortData, 65)},
        {"unnumbered, too long", ReportIds::Unnumbered, 65, Pattern(80, 1),
         WithIdByte(0, full, 65)},
        {"numbered, full", ReportIds::Numbered, 33, WithIdByte(2, Pattern(32, 9), 33),
         WithIdByte(2, Pattern(32, 9), 33)},
        {"numbered, short", ReportIds::Numbered, 33, WithIdByte(1, shortData, 9),
         WithIdByte(1, shortData, 33)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reopen();
        LinuxHidrawDevice& device = Make(c.length, c.ids);
        Send(c.sent);
        Send({0x77});  // a following report stays whole and separate
        Bytes buffer(c.length, 0xEE);
        ASSERT_EQ(device.Read(buffer.data(), buffer.size(), 100), c.length);
        EXPECT_THAT(buffer, ElementsAreArray(c.expected));
        ASSERT_EQ(device.Read(buffer.data(), buffer.size(), 100), c.length);
        EXPECT_EQ(buffer[c.ids == ReportIds::Numbered ? 0 : 1], 0x77);
    }
}

TEST_F(HidrawDeviceTest, DrainsQueuedReportsWhileWholeReportsFit) {
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    for (std::uint8_t i = 1; i <= 3; ++i) {
        Send(Bytes(64, i));
    }
    // Room for two and a half reports: two are taken, the third waits for the next read.
    Bytes buffer(65 * 2 + 64);
    ASSERT_EQ(device.Read(buffer.data(), buffer.size(), 100), 130u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 1);
    EXPECT_EQ(buffer[65], 0);
    EXPECT_EQ(buffer[66], 2);

    Bytes big(65 * 10);
    const auto start = Clock::now();
    ASSERT_EQ(device.Read(big.data(), big.size(), 500), 65u);
    EXPECT_EQ(big[1], 3);
    EXPECT_LT(MsSince(start), 400) << "draining must not wait for more reports";
}

TEST_F(HidrawDeviceTest, TimesOutWhenNothingArrives) {
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    Bytes buffer(65 * 4);
    const auto start = Clock::now();
    EXPECT_EQ(device.Read(buffer.data(), buffer.size(), 50), 0u);
    const long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 49);
    EXPECT_LT(elapsed, 1000);
}

TEST_F(HidrawDeviceTest, WaitsForTheFirstReportAndReturnsWhenItArrives) {
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Send(Bytes(64, 5));
    });
    Bytes buffer(65);
    const auto start = Clock::now();
    EXPECT_EQ(device.Read(buffer.data(), buffer.size(), 2000), 65u);
    EXPECT_LT(MsSince(start), 1500);
    EXPECT_EQ(buffer[1], 5);
    sender.join();
}

TEST_F(HidrawDeviceTest, BufferSmallerThanAReportTakesNothing) {
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    Send(Bytes(64, 7));
    Bytes buffer(65);
    EXPECT_EQ(device.Read(buffer.data(), 64, 100), 0u);
    ASSERT_EQ(device.Read(buffer.data(), 65, 100), 65u);
    EXPECT_EQ(buffer[1], 7);
}

TEST_F(HidrawDeviceTest, UnusableReportLengthReadsNothing) {
    for (std::uint32_t length : {0u, 1u}) {
        SCOPED_TRACE(length);
        Reopen();
        LinuxHidrawDevice& device = Make(length, ReportIds::Unnumbered);
        Send(Bytes(8, 1));
        Bytes buffer(64);
        const auto start = Clock::now();
        EXPECT_EQ(device.Read(buffer.data(), buffer.size(), 200), 0u);
        EXPECT_LT(MsSince(start), 150);
    }
}

TEST_F(HidrawDeviceTest, HungUpNodeKeepsTheReadWaitInsteadOfSpinning) {
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    Send(Bytes(64, 9));
    HangUp();
    Bytes buffer(65 * 2);
    // What was queued before the hang-up is still handed out, at once.
    auto start = Clock::now();
    ASSERT_EQ(device.Read(buffer.data(), buffer.size(), 100), 65u);
    EXPECT_EQ(buffer[1], 9);
    EXPECT_LT(MsSince(start), 90);
    // Then each read fails, but only after its wait.
    start = Clock::now();
    EXPECT_EQ(device.Read(buffer.data(), buffer.size(), 60), 0u);
    EXPECT_GE(MsSince(start), 59);
}

TEST_F(HidrawDeviceTest, WritesOneWholeReportUnchanged) {
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    const Bytes report = WithIdByte(0, Pattern(20, 1), 65);
    EXPECT_EQ(device.Write(report.data(), report.size(), 300), 65u);
    EXPECT_THAT(Receive(), ElementsAreArray(report));
    EXPECT_EQ(device.Write(report.data(), 0, 300), 0u);
    EXPECT_EQ(device.Write(nullptr, 65, 300), 0u);
}

TEST_F(HidrawDeviceTest, WriteTimesOutWhenTheReportIsNotTaken) {
    const int small = 4096;
    ::setsockopt(fds_[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const Bytes report(65, 0);
    int sent = 0;
    while (::send(fds_[0], report.data(), report.size(), MSG_DONTWAIT) > 0) {
        ASSERT_LT(++sent, 100000);
    }
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    const auto start = Clock::now();
    EXPECT_EQ(device.Write(report.data(), report.size(), 50), 0u);
    EXPECT_GE(MsSince(start), 49);
}

TEST_F(HidrawDeviceTest, WriteToAHungUpNodeFails) {
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    HangUp();
    const Bytes report(65, 0);
    EXPECT_EQ(device.Write(report.data(), report.size(), 50), 0u);
}

TEST_F(HidrawDeviceTest, WriteIsNotHeldUpByAWaitingRead) {
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    std::thread reader([&device] {
        Bytes buffer(65);
        EXPECT_EQ(device.Read(buffer.data(), buffer.size(), 2000), 65u);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const Bytes report(65, 1);
    const auto start = Clock::now();
    EXPECT_EQ(device.Write(report.data(), report.size(), 300), 65u);
    EXPECT_LT(MsSince(start), 250);
    Send(Bytes(64, 2));
    reader.join();
}

TEST_F(HidrawDeviceTest, CancelReadsEndsTheWaitingReadAndEveryLaterOne) {
    struct Case {
        const char* name;
        bool hungUp;  // a failed node waits out its time-out instead of polling for reports
    };
    for (const Case& c : {Case{"waiting for a report", false}, Case{"node hung up", true}}) {
        SCOPED_TRACE(c.name);
        Reopen();
        LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
        if (c.hungUp) {
            HangUp();
        }
        std::thread reader([&device] {
            Bytes buffer(65);
            const auto start = Clock::now();
            EXPECT_EQ(device.Read(buffer.data(), buffer.size(), 5000), 0u);
            EXPECT_LT(MsSince(start), 2000);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const auto start = Clock::now();
        device.CancelReads();
        reader.join();
        EXPECT_LT(MsSince(start), 1000) << "the read must not wait out its time-out";
    }
    // Reports queued after the cancel are not taken any more.
    Reopen();
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    device.CancelReads();
    Send(Bytes(64, 3));
    Bytes buffer(65);
    const auto start = Clock::now();
    EXPECT_EQ(device.Read(buffer.data(), buffer.size(), 500), 0u);
    EXPECT_LT(MsSince(start), 400);
}

TEST_F(HidrawDeviceTest, GoneOnlyAfterTheNodeFailed) {
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    Bytes buffer(65);
    const Bytes report(65, 0);
    EXPECT_EQ(device.Read(buffer.data(), buffer.size(), 20), 0u);  // a time-out is no failure
    EXPECT_FALSE(device.IsGone());
    EXPECT_EQ(device.Write(report.data(), report.size(), 300), 65u);
    EXPECT_FALSE(device.IsGone());

    struct Case {
        const char* name;
        bool byRead;
    };
    for (const Case& c : {Case{"read", true}, Case{"write", false}}) {
        SCOPED_TRACE(c.name);
        Reopen();
        LinuxHidrawDevice& node = Make(65, ReportIds::Unnumbered);
        HangUp();
        if (c.byRead) {
            EXPECT_EQ(node.Read(buffer.data(), buffer.size(), 20), 0u);
        } else {
            EXPECT_EQ(node.Write(report.data(), report.size(), 300), 0u);
        }
        EXPECT_TRUE(node.IsGone());
        const auto start = Clock::now();
        EXPECT_EQ(node.Write(report.data(), report.size(), 300), 0u);
        EXPECT_LT(MsSince(start), 100) << "a gone node fails writes at once";
    }
}

// hidraw's write blocks until the USB transfer is done, whatever the non-blocking flag and poll
// say; a socket in blocking mode whose peer has stopped reading blocks the same way.
TEST_F(HidrawDeviceTest, AWriteTheNodeDoesNotTakeFailsByItsTimeOutAndHoldsOffLaterWrites) {
    const int queued = StopTakingReports();
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    const Bytes first = WithIdByte(0, Bytes(64, 1), 65);
    const Bytes second = WithIdByte(0, Bytes(64, 2), 65);

    auto start = Clock::now();
    EXPECT_EQ(device.Write(first.data(), first.size(), 300), 0u);
    long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 299);
    EXPECT_LT(elapsed, 1500);

    start = Clock::now();
    EXPECT_EQ(device.Write(second.data(), second.size(), 300), 0u);
    EXPECT_LT(MsSince(start), 100) << "the first report is still pending";

    // The peer reads again: the pending write ends, and writing works again.
    for (int i = 0; i < queued; ++i) {
        Bytes b(4096);
        ASSERT_GT(::recv(fds_[1], b.data(), b.size(), 0), 0);
    }
    Bytes got;
    for (start = Clock::now(); got.empty() && MsSince(start) < 2000;) {
        got = Receive();
    }
    EXPECT_THAT(got, ElementsAreArray(first)) << "the pending report went out late";
    for (start = Clock::now(); MsSince(start) < 2000;) {
        if (device.Write(second.data(), second.size(), 300) == 65u) {
            break;
        }
    }
    EXPECT_THAT(Receive(), ElementsAreArray(second));
    EXPECT_FALSE(device.IsGone());

    // Closed while a write is still held: the close does not wait for it.
    Reopen();
    StopTakingReports();
    LinuxHidrawDevice& held = Make(65, ReportIds::Unnumbered);
    EXPECT_EQ(held.Write(first.data(), first.size(), 50), 0u);
    start = Clock::now();
    device_.reset();
    EXPECT_LT(MsSince(start), 100);
}

TEST_F(HidrawDeviceTest, AttributesAndInputQueueSize) {
    LinuxHidrawDevice& device = Make(65, ReportIds::Unnumbered);
    std::uint16_t vendor = 0, product = 0;
    ASSERT_TRUE(device.GetAttributes(vendor, product));
    EXPECT_EQ(vendor, 0x2F1A);
    EXPECT_EQ(product, 0x0001);
    EXPECT_EQ(device.InputReportLength(), 65u);

    // The transport counts down from 512 and must settle on hidraw's 64.
    std::uint32_t accepted = 0;
    for (std::uint32_t n = 512; n >= 1 && accepted == 0; --n) {
        if (device.SetInputQueueSize(n)) {
            accepted = n;
        }
    }
    EXPECT_EQ(accepted, LinuxHidrawDevice::kInputQueueSize);
    EXPECT_TRUE(device.SetInputQueueSize(1));
    EXPECT_FALSE(device.SetInputQueueSize(0));

    LinuxHidrawDevice unknown(-1, HidrawNodeFacts{});
    EXPECT_FALSE(unknown.GetAttributes(vendor, product));
    EXPECT_EQ(unknown.InputReportLength(), 0u);
}
