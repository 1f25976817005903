// The library through its exported functions and its transport, over the in-memory HID
// platform and the virtual detector.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "FrameCodec.h"
#include "MemoryHidPlatform.h"
#include "ParameterIds.h"
#include "Records.h"
#include "Usb.h"
#include "Usbhid.h"
#include "VirtualDetector.h"
#include "WaitUntil.h"
#include "platform/HidPlatform.h"
#include "tovra.h"

using holvane::simulator::MemoryHidInterface;
using holvane::simulator::MemoryHidPlatform;
using holvane::simulator::VirtualDetector;
using holvane::test::WaitUntil;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono;

namespace {

constexpr const char* DetectorPath = "mem:hidraw0";

// Installs an in-memory platform with one detector interface for the duration of a test.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { tovra::SetHidPlatform(&platform); }
    void TearDown() override { tovra::SetHidPlatform(nullptr); }

    void AddDetector(const std::string& path = DetectorPath, VirtualDetector* d = nullptr,
                     std::uint16_t vendor = 0x2F1A, std::uint32_t reportLength = 65,
                     std::uint32_t maxQueue = 64) {
        MemoryHidInterface i;
        i.path = path;
        i.vendorId = vendor;
        i.reportLength = reportLength;
        i.maxInputQueue = maxQueue;
        platform.AddInterface(i, d != nullptr ? d : &detector);
    }

    // Created, opened and resumed; deleted by the caller.
    TOVRA_DEV OpenDevice(const char* path = DetectorPath, const char* login = "") {
        TOVRA_DEV dev = DEV_Create();
        EXPECT_EQ(DEV_Open(dev, path, login), 1);
        DEV_Resume(dev);
        return dev;
    }

    VirtualDetector detector;
    MemoryHidPlatform platform;
};

Bytes Frame(std::uint8_t channel, const Bytes& payload) {
    return tovra::EncodeFrame(0, channel, payload.data(),
                              static_cast<std::uint16_t>(payload.size()));
}

// An input report of the given length carrying bytes behind the report-ID byte.
Bytes Report(const Bytes& bytes, std::size_t length = 65) {
    Bytes r(length, 0);
    std::copy(bytes.begin(), bytes.end(), r.begin() + 1);
    return r;
}

// The reports a device sent after the zero fill with which every connection begins (8 reports
// of 65 bytes); that fill is checked by a test of its own.
std::vector<Bytes> AfterZeroFill(std::vector<Bytes> reports, std::size_t reportLength = 65) {
    const std::size_t fill =
        tovra::UsbHid::ZeroFillReports(static_cast<std::uint32_t>(reportLength));
    EXPECT_GE(reports.size(), fill);
    reports.erase(reports.begin(),
                  reports.begin() + static_cast<std::ptrdiff_t>(std::min(fill, reports.size())));
    return reports;
}

// Wraps the in-memory platform with a switch that makes its devices gone the way a real
// unplugged interface is: a waiting read wakes, reads and writes fail at once and IsGone says so.
class GoneSwitchPlatform : public tovra::IHidPlatform {
public:
    explicit GoneSwitchPlatform(tovra::IHidPlatform& inner) : inner_(inner) {}

    std::vector<tovra::HidInterfaceInfo> ListInterfaces() override {
        return inner_.ListInterfaces();
    }
    std::unique_ptr<tovra::IHidDevice> Open(const std::string& path) override {
        return Wrap(inner_.Open(path));
    }
    std::unique_ptr<tovra::IHidDevice> OpenExclusive(const std::string& path,
                                                     tovra::HidOpenError& error) override {
        return Wrap(inner_.OpenExclusive(path, error));
    }

    void Unplug() {
        gone_ = true;
        std::lock_guard<std::mutex> guard(lock_);
        for (tovra::IHidDevice* d : opened_) {
            d->CancelReads();
        }
    }

private:
    std::unique_ptr<tovra::IHidDevice> Wrap(std::unique_ptr<tovra::IHidDevice> device) {
        if (!device) {
            return nullptr;
        }
        std::lock_guard<std::mutex> guard(lock_);
        opened_.push_back(device.get());
        return std::make_unique<Device>(std::move(device), *this);
    }

    class Device : public tovra::IHidDevice {
    public:
        Device(std::unique_ptr<tovra::IHidDevice> inner, GoneSwitchPlatform& owner)
            : inner_(std::move(inner)), owner_(owner) {}
        ~Device() override {
            std::lock_guard<std::mutex> guard(owner_.lock_);
            std::erase(owner_.opened_, inner_.get());
        }
        bool GetAttributes(std::uint16_t& v, std::uint16_t& p) override {
            return inner_->GetAttributes(v, p);
        }
        bool SetInputQueueSize(std::uint32_t n) override { return inner_->SetInputQueueSize(n); }
        std::uint32_t InputReportLength() override { return inner_->InputReportLength(); }
        std::size_t Read(std::uint8_t* b, std::size_t n, unsigned timeoutMs) override {
            return owner_.gone_ ? 0 : inner_->Read(b, n, timeoutMs);
        }
        std::size_t Write(const std::uint8_t* r, std::size_t n, unsigned timeoutMs) override {
            return owner_.gone_ ? 0 : inner_->Write(r, n, timeoutMs);
        }
        void CancelReads() override { inner_->CancelReads(); }
        bool IsGone() const override { return owner_.gone_; }

    private:
        std::unique_ptr<tovra::IHidDevice> inner_;
        GoneSwitchPlatform& owner_;
    };

    tovra::IHidPlatform& inner_;
    std::atomic<bool> gone_{false};
    std::mutex lock_;                         // guards opened_
    std::vector<tovra::IHidDevice*> opened_;  // the inner devices of the open ones
};

}  // namespace

// ---- transport ----------------------------------------------------------------------------------

TEST_F(LibraryTest, TransportPacksBytesIntoReports) {
    MemoryHidInterface raw;
    raw.path = "mem:raw";
    platform.AddInterface(raw);
    struct Case {
        const char* name;
        std::size_t written;
        std::size_t reportsBeforeFlush;
    };
    const Case cases[] = {{"64 bytes fill one report", 64, 1},
                          {"8 bytes wait", 8, 0},
                          {"130 bytes fill two", 130, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryHidPlatform fresh;
        fresh.AddInterface(raw);
        tovra::SetHidPlatform(&fresh);
        tovra::UsbHid transport;
        ASSERT_TRUE(transport.Open(raw.path));
        Bytes data(c.written);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i + 1);
        EXPECT_EQ(transport.Write(data.data(), static_cast<std::int32_t>(data.size())),
                  static_cast<std::int32_t>(c.written));
        EXPECT_EQ(fresh.OutputReports(raw.path).size(), c.reportsBeforeFlush);
        EXPECT_TRUE(transport.Flush());
        const auto reports = fresh.OutputReports(raw.path);
        ASSERT_EQ(reports.size(), c.reportsBeforeFlush + 1);
        Bytes stream;
        for (const auto& r : reports) {
            ASSERT_EQ(r.size(), 65u);
            EXPECT_EQ(r[0], 0);
            stream.insert(stream.end(), r.begin() + 1, r.end());
        }
        Bytes expected = data;
        expected.resize(64 * reports.size(), 0);
        EXPECT_THAT(stream, ElementsAreArray(expected));
        tovra::SetHidPlatform(&platform);
    }
}

TEST_F(LibraryTest, TransportServesBufferedReportsWithoutTouchingTheDevice) {
    MemoryHidInterface raw;
    raw.path = "mem:raw";
    raw.maxInputQueue = 512;
    platform.AddInterface(raw);
    tovra::UsbHid transport;
    ASSERT_TRUE(transport.Open(raw.path));
    EXPECT_EQ(transport.InputReportCount(), 511u);
    EXPECT_EQ(transport.ReportLength(), 65u);
    for (std::uint8_t k = 1; k <= 3; ++k) {
        ASSERT_TRUE(platform.InjectInputReport(raw.path, Report(Bytes(64, k))));
    }
    Bytes got(256);
    for (std::uint8_t k = 1; k <= 3; ++k) {
        EXPECT_EQ(transport.Read(got.data(), 256), 64);
        EXPECT_EQ(got[0], k);
        EXPECT_EQ(got[63], k);
        EXPECT_EQ(platform.ReadCalls(raw.path), 1);
    }
    // A read asks for at most the rest of one report.
    ASSERT_TRUE(platform.InjectInputReport(raw.path, Report(Bytes(64, 9))));
    EXPECT_EQ(transport.Read(got.data(), 10), 10);
    EXPECT_EQ(transport.Read(got.data(), 100), 54);
}

TEST_F(LibraryTest, TransportRefusesUnusableInterfaces) {
    struct Case {
        const char* name;
        std::uint32_t reportLength;
        std::uint32_t maxQueue;
    };
    const Case cases[] = {{"report length 0", 0, 64}, {"no queue size accepted", 65, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryHidInterface raw;
        raw.path = std::string("mem:") + c.name;
        raw.reportLength = c.reportLength;
        raw.maxInputQueue = c.maxQueue;
        platform.AddInterface(raw);
        tovra::UsbHid transport;
        EXPECT_FALSE(transport.Open(raw.path));
        EXPECT_FALSE(transport.Flush());
        Bytes got(64);
        EXPECT_EQ(transport.Read(got.data(), 64), 0);
    }
    tovra::UsbHid never;
    EXPECT_FALSE(never.Flush());
}

// ---- enumeration ----------------------------------------------------------------------------

TEST_F(LibraryTest, EnumeratorListsDetectorsLastListedFirst) {
    VirtualDetector second;
    AddDetector("mem:a");
    AddDetector("mem:other", &second, 0x1234);
    AddDetector("mem:b", &second);
    AddDetector("mem:locked", &second);
    platform.SetOpenFails("mem:locked", true);
    MemoryHidInterface anyProduct;
    anyProduct.path = "mem:c";
    anyProduct.productId = 0xBEEF;
    platform.AddInterface(anyProduct, &second);

    TOVRA_DVE dve = DVE_Create();
    ASSERT_NE(dve, nullptr);
    ASSERT_EQ(DVE_GetNumDevices(dve), 3);
    EXPECT_STREQ(DVE_GetDeviceName(dve, 0), "mem:c");
    EXPECT_STREQ(DVE_GetDeviceName(dve, 1), "mem:b");
    EXPECT_STREQ(DVE_GetDeviceName(dve, 2), "mem:a");
    EXPECT_STREQ(DVE_GetDeviceName(dve, 3), "");
    EXPECT_STREQ(DVE_GetDeviceName(dve, -1), "");
    EXPECT_EQ(DVE_Delete(dve), 1);
}

TEST_F(LibraryTest, NullHandlesAndNoDetector) {
    TOVRA_DVE dve = DVE_Create();
    EXPECT_EQ(DVE_GetNumDevices(dve), 0);
    EXPECT_EQ(DVE_Delete(dve), 1);
    EXPECT_EQ(DVE_Delete(nullptr), 1);
    EXPECT_EQ(DEV_Delete(nullptr), 1);
    FRC_Delete(nullptr);
}

TEST_F(LibraryTest, DevicePathIsCopiedAndOutlivesTheEnumerator) {
    AddDetector();
    TOVRA_DVE dve = DVE_Create();
    std::string path = DVE_GetDeviceName(dve, 0);
    TOVRA_DEV dev = DEV_Create();
    ASSERT_EQ(DEV_Open(dev, path.c_str(), nullptr), 1);
    path.assign(path.size(), 'x');
    DVE_Delete(dve);
    DEV_Resume(dev);
    holvane::UniversalSettingsRecord u{};
    EXPECT_EQ(DEV_GetParameter(dev, 0, u.data(), 18, 1500), 1);
    EXPECT_EQ(u, detector.UniversalSettings());
    DEV_Delete(dev);
}

// ---- device ---------------------------------------------------------------------------------

TEST_F(LibraryTest, OpenFailsForMissingOrUnopenablePaths) {
    AddDetector();
    platform.SetOpenFails(DetectorPath, true);
    for (const char* path : {"mem:missing", DetectorPath, "", static_cast<const char*>(nullptr)}) {
        TOVRA_DEV dev = DEV_Create();
        EXPECT_EQ(DEV_Open(dev, path, ""), 0);
        EXPECT_EQ(DEV_SetParameter(dev, 55, nullptr, 0, 10), 0);
        EXPECT_EQ(DEV_OpenStream(dev, 1, 0), nullptr);
        EXPECT_EQ(DEV_Delete(dev), 1);
    }
    EXPECT_EQ(platform.OpenCount(DetectorPath), 0);
}

TEST_F(LibraryTest, CreateThenDeleteTouchesNothing) {
    AddDetector();
    const auto start = steady_clock::now();
    TOVRA_DEV dev = DEV_Create();
    EXPECT_EQ(DEV_Resume(dev), 1);  // resumed although never opened: must not spin or crash
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(DEV_Delete(dev), 1);
    EXPECT_LT(steady_clock::now() - start, milliseconds(400));
    EXPECT_EQ(platform.OpenCount(DetectorPath), 0);
    EXPECT_TRUE(detector.Requests().empty());
}

TEST_F(LibraryTest, LoginFramesOnlyForANonEmptyLogin) {
    AddDetector();
    for (const char* login : {"", static_cast<const char*>(nullptr)}) {
        TOVRA_DEV dev = OpenDevice(DetectorPath, login);
        DEV_Delete(dev);
    }
    EXPECT_TRUE(detector.ControlCommands().empty());
    for (const Bytes& report : platform.OutputReports(DetectorPath)) {
        EXPECT_EQ(report, Bytes(65, 0)) << "nothing but the zero fill";
    }
    TOVRA_DEV dev = OpenDevice(DetectorPath, "owner");
    DEV_Delete(dev);
    EXPECT_THAT(detector.ControlCommands(), ElementsAre("login\r", "owner\r"));
}

TEST_F(LibraryTest, ConnectingSendsZerosEnoughToEndAFrameTheDetectorWasLeftIn) {
    // The longest frame a receiver can be half-way through needs 505 more bytes (all of it but
    // its start byte); each report carries its length less the report-ID byte.
    struct Case {
        std::uint32_t reportLength;
        std::size_t zeroReports;
    };
    for (const Case c : {Case{65, 8}, Case{9, 64}, Case{2, 505}}) {
        SCOPED_TRACE(c.reportLength);
        MemoryHidPlatform fresh;
        MemoryHidInterface raw;
        raw.path = "mem:raw";
        raw.reportLength = c.reportLength;
        fresh.AddInterface(raw);
        tovra::SetHidPlatform(&fresh);
        TOVRA_DEV dev = DEV_Create();
        ASSERT_EQ(DEV_Open(dev, "mem:raw", "me"), 1);
        const auto reports = fresh.OutputReports("mem:raw");
        ASSERT_GT(reports.size(), c.zeroReports);
        for (std::size_t k = 0; k < c.zeroReports; ++k) {
            ASSERT_EQ(reports[k], Bytes(c.reportLength, 0)) << "report " << k;
        }
        EXPECT_EQ(reports[c.zeroReports][1], tovra::FrameStart) << "then the login";
        DEV_Delete(dev);
        tovra::SetHidPlatform(&platform);
    }
}

TEST_F(LibraryTest, PauseCountsAndPromptDelete) {
    AddDetector();
    TOVRA_DEV dev = OpenDevice();
    std::uint8_t prefs[16];
    // The reader is waiting for a report when the pause comes: what that read brings is held
    // back until the resume.
    ASSERT_TRUE(WaitUntil([&] { return platform.ReadCalls(DetectorPath) > 0; }));
    EXPECT_EQ(DEV_Pause(dev), 1);
    EXPECT_EQ(DEV_Pause(dev), 1);
    EXPECT_EQ(DEV_Resume(dev), 1);
    EXPECT_EQ(DEV_GetParameter(dev, 1, prefs, 16, 50), 0);  // still paused: time-out
    EXPECT_EQ(DEV_GetParameterResult(dev), TOVRA_PARAM_NO_ANSWER);
    EXPECT_EQ(DEV_Resume(dev), 1);
    // The reply to the request made while paused waited in the driver's queue; it is discarded
    // while the channel settles, and the next request is answered by its own reply.
    EXPECT_EQ(DEV_GetParameter(dev, 1, prefs, 16, 1500), 1);
    EXPECT_EQ(DEV_GetParameterResult(dev), TOVRA_PARAM_ACCEPTED);
    EXPECT_EQ(DEV_Resume(dev), 1);  // an extra resume changes nothing
    EXPECT_EQ(DEV_Pause(dev), 1);
    EXPECT_EQ(DEV_Pause(dev), 1);
    const auto start = steady_clock::now();
    EXPECT_EQ(DEV_Delete(dev), 1);
    EXPECT_LT(steady_clock::now() - start, milliseconds(400));
}

TEST_F(LibraryTest, DeleteOfARunningDeviceDoesNotWaitOutTheReadersWait) {
    struct Case {
        const char* name;
        bool linkLost;  // the reader then waits on a device that answers nothing at all
    };
    VirtualDetector detectors[2];  // outlive the platform's interfaces
    int next = 0;
    for (const Case& c : {Case{"idle", false}, Case{"link lost", true}}) {
        SCOPED_TRACE(c.name);
        VirtualDetector& d = detectors[next++];
        const std::string path = std::string("mem:") + c.name;
        AddDetector(path, &d);
        TOVRA_DEV dev = OpenDevice(path.c_str());
        if (c.linkLost) {
            d.LoseLink();
        }
        // Once the reader waits in its first read, half a second passes in which it may read
        // again at most when that wait ends.
        ASSERT_TRUE(WaitUntil([&] { return platform.ReadCalls(path) > 0; }));
        const int before = platform.ReadCalls(path);
        std::this_thread::sleep_for(milliseconds(500));
        EXPECT_LE(platform.ReadCalls(path) - before, 2) << "an idle reader must not poll";
        const auto start = steady_clock::now();
        EXPECT_EQ(DEV_Delete(dev), 1);
        EXPECT_LT(steady_clock::now() - start, milliseconds(100));
    }
}

TEST_F(LibraryTest, ParameterCallOnAnOpenedButNeverResumedDeviceTimesOut) {
    AddDetector();
    TOVRA_DEV dev = DEV_Create();
    ASSERT_EQ(DEV_Open(dev, DetectorPath, ""), 1);
    const auto start = steady_clock::now();
    std::uint8_t v[18] = {};
    EXPECT_EQ(DEV_SetParameter(dev, 0, v, 18, 60), 0);
    EXPECT_GE(steady_clock::now() - start, milliseconds(60));
    // A read right after the open waits out its time-out just the same.
    const auto readStart = steady_clock::now();
    EXPECT_EQ(DEV_GetParameter(dev, 0, v, 18, 60), 0);
    EXPECT_GE(steady_clock::now() - readStart, milliseconds(60));
    DEV_Delete(dev);
}

TEST_F(LibraryTest, OpenTwiceIsRefusedAndKeepsTheFirstConnection) {
    AddDetector();
    AddDetector("mem:second");
    TOVRA_DEV dev = DEV_Create();
    ASSERT_EQ(DEV_Open(dev, DetectorPath, ""), 1);
    for (const char* path : {DetectorPath, "mem:second"}) {
        EXPECT_EQ(DEV_Open(dev, path, "owner"), 0) << path;
    }
    EXPECT_EQ(platform.OpenCount("mem:second"), 0);
    EXPECT_TRUE(detector.ControlCommands().empty());  // no login from a refused open
    DEV_Resume(dev);
    holvane::PreferencesRecord p{};
    EXPECT_EQ(DEV_GetParameter(dev, 1, p.data(), 16, 1500), 1);
    DEV_Delete(dev);
}

TEST_F(LibraryTest, ASecondConnectionToAHeldDetectorIsRefusedAtOnceAndTouchesNothing) {
    // Two connections to one interface, as two programs would open it: the second is refused
    // as in use before it sends anything, and the first goes on as if alone.
    AddDetector();
    TOVRA_DEV first = OpenDevice();
    EXPECT_EQ(tovra::LastOpenError(), tovra::HidOpenError::None);
    const std::size_t reportsBefore = platform.OutputReports(DetectorPath).size();

    TOVRA_DEV second = DEV_Create();
    const auto start = steady_clock::now();
    EXPECT_EQ(DEV_Open(second, DetectorPath, "intruder"), 0);
    EXPECT_LT(steady_clock::now() - start, milliseconds(100));
    EXPECT_EQ(tovra::LastOpenError(), tovra::HidOpenError::InUse);
    DEV_Resume(second);
    std::uint8_t junk[16] = {};
    EXPECT_EQ(DEV_SetParameter(second, holvane::PreferencesId, junk, 16, 1500), 0);
    DEV_Delete(second);
    EXPECT_EQ(platform.OutputReports(DetectorPath).size(), reportsBefore);
    EXPECT_TRUE(detector.ControlCommands().empty());
    EXPECT_TRUE(detector.Requests().empty());

    for (std::int32_t id : {0, 1, holvane::ModeId(4), holvane::PatternId(20)}) {
        SCOPED_TRACE(id);
        const std::int32_t size = id == 0 ? 18 : id == 1 ? 16 : id < 14 ? 292 : 266;
        Bytes value(static_cast<std::size_t>(size));
        std::iota(value.begin(), value.end(), static_cast<std::uint8_t>(id));
        Bytes back(value.size(), 0);
        EXPECT_EQ(DEV_SetParameter(first, id, value.data(), size, 1500), 1);
        EXPECT_EQ(DEV_GetParameter(first, id, back.data(), size, 1500), 1);
        EXPECT_EQ(back, value);
    }
    DEV_Delete(first);

    // Once the first has let go, the next connection is taken; a path that cannot be opened
    // at all is no "in use".
    TOVRA_DEV next = OpenDevice();
    EXPECT_EQ(tovra::LastOpenError(), tovra::HidOpenError::None);
    DEV_Delete(next);
    platform.SetOpenFails(DetectorPath, true);
    TOVRA_DEV refused = DEV_Create();
    EXPECT_EQ(DEV_Open(refused, DetectorPath, ""), 0);
    EXPECT_EQ(tovra::LastOpenError(), tovra::HidOpenError::Failed);
    DEV_Delete(refused);
}

TEST_F(LibraryTest, CallsOnADeviceThatIsNotOpenFailAtOnce) {
    AddDetector();
    TOVRA_DEV dev = DEV_Create();
    ASSERT_EQ(DEV_Open(dev, "mem:missing", ""), 0);
    DEV_Resume(dev);
    std::uint8_t value[18] = {};
    char text[4] = {'z', 'z', 'z', 'z'};
    const auto start = steady_clock::now();
    EXPECT_EQ(DEV_SetParameter(dev, 0, value, 18, 1500), 0);
    EXPECT_EQ(DEV_GetParameter(dev, 0, value, 18, 1500), 0);
    EXPECT_EQ(DEV_SendString(dev, "ping", 4), 0);
    EXPECT_EQ(DEV_ReceiveString(dev, text, 4), 0);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(DEV_CloseStream(dev, 5), 0);
    EXPECT_LT(steady_clock::now() - start, milliseconds(250));
    EXPECT_EQ(DEV_Delete(dev), 1);
    EXPECT_TRUE(detector.Requests().empty());
}

// Sizes, lengths, buffers and time-outs out of range: each call returns 0 at once, well inside
// the 1500 ms a parameter call is given, and sends only what is stated.
TEST_F(LibraryTest, OutOfRangeArgumentsReturnAtOnce) {
    MemoryHidInterface raw;  // nothing answers: a call that waits for a reply waits it out
    raw.path = "mem:raw";
    platform.AddInterface(raw);
    std::uint8_t value[4] = {1, 2, 3, 4};
    char text[8] = {};
    const std::vector<std::uint8_t> huge(65536, 0x55);
    struct Case {
        const char* name;
        std::function<std::int64_t(TOVRA_DEV, TOVRA_STRM)> call;
        std::size_t reportsSent;
    };
    const Case cases[] = {
        {"set, size < 0",
         [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_SetParameter(d, 1, value, -1, 1500); }, 0},
        {"set, no data for the size",
         [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_SetParameter(d, 1, nullptr, 4, 1500); }, 0},
        {"set, time-out 0",
         [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_SetParameter(d, 1, value, 4, 0); }, 1},
        {"get, size < 0",
         [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_GetParameter(d, 1, value, -1, 1500); }, 0},
        {"get, no buffer for the size",
         [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_GetParameter(d, 1, nullptr, 4, 1500); }, 0},
        {"get, time-out 0",
         [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_GetParameter(d, 1, value, 4, 0); }, 1},
        {"send, length < 0", [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_SendString(d, "ping", -1); },
         0},
        {"send, no text for the length",
         [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_SendString(d, nullptr, 4); }, 0},
        {"send, length 0: an empty frame",
         [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_SendString(d, "", 0); }, 1},
        {"receive, size 0", [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_ReceiveString(d, text, 0); },
         0},
        {"receive, no buffer",
         [&](TOVRA_DEV d, TOVRA_STRM) { return DEV_ReceiveString(d, nullptr, 8); }, 0},
        {"stream write, length < 0",
         [&](TOVRA_DEV, TOVRA_STRM s) { return STRM_Write(s, value, -1); }, 0},
        {"stream write, no data",
         [&](TOVRA_DEV, TOVRA_STRM s) { return STRM_Write(s, nullptr, 4); }, 0},
        {"stream write, above 65535",
         [&](TOVRA_DEV, TOVRA_STRM s) { return STRM_Write(s, huge.data(), 65536); }, 0},
        {"stream read, length < 0", [&](TOVRA_DEV, TOVRA_STRM s) { return STRM_Read(s, text, -1); },
         0},
        {"stream read, no buffer",
         [&](TOVRA_DEV, TOVRA_STRM s) { return STRM_Read(s, nullptr, 8); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TOVRA_DEV dev = OpenDevice("mem:raw");  // a fresh device: no earlier request to settle
        TOVRA_STRM strm = DEV_OpenStream(dev, 2, 0);
        ASSERT_NE(strm, nullptr);
        const std::size_t before = platform.OutputReports("mem:raw").size();
        const auto start = steady_clock::now();
        EXPECT_EQ(c.call(dev, strm), 0);
        EXPECT_LT(steady_clock::now() - start, milliseconds(250));
        EXPECT_EQ(platform.OutputReports("mem:raw").size() - before, c.reportsSent);
        DEV_Delete(dev);
    }
}

TEST_F(LibraryTest, EveryRecordReadsAndWritesOverTheExports) {
    AddDetector();
    struct Case {
        std::int32_t id;
        std::int32_t size;
        bool readable;
    };
    std::vector<Case> cases = {{0, 18, true}, {1, 16, true}};
    for (int slot = 0; slot < 9; ++slot)
        cases.push_back({holvane::ModeId(slot), 292, true});
    for (int slot = 4; slot < 9; ++slot)
        cases.push_back({holvane::ModeSettingsId(slot), 26, false});
    for (int slot = 14; slot <= 25; ++slot)
        cases.push_back({holvane::PatternId(slot), 266, true});
    TOVRA_DEV dev = OpenDevice();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        Bytes value(static_cast<std::size_t>(c.size));
        for (std::size_t i = 0; i < value.size(); ++i) {
            value[i] = static_cast<std::uint8_t>(c.id * 7 + i);
        }
        const bool writable = c.id >= 6;  // the factory modes are never written
        if (c.id <= 1 || writable) {
            EXPECT_EQ(DEV_SetParameter(dev, c.id, value.data(), c.size, 1500), 1);
        }
        if (c.readable) {
            Bytes back(value.size(), 0);
            EXPECT_EQ(DEV_GetParameter(dev, c.id, back.data(), c.size, 1500), 1);
            if (c.id <= 1 || writable) {
                EXPECT_EQ(back, value);
            }
        }
    }
    EXPECT_EQ(DEV_SetParameter(dev, 55, nullptr, 0, 1500), 1);
    EXPECT_EQ(detector.FinishUploadCount(), 1);
    DEV_Delete(dev);
}

TEST_F(LibraryTest, ControlChannelStrings) {
    MemoryHidInterface raw;
    raw.path = "mem:raw";
    platform.AddInterface(raw);
    TOVRA_DEV dev = OpenDevice("mem:raw");
    EXPECT_EQ(DEV_SendString(dev, "ping\r", 5), 5);
    const auto reports = AfterZeroFill(platform.OutputReports("mem:raw"));
    ASSERT_EQ(reports.size(), 1u);
    Bytes wire(reports[0].begin() + 1, reports[0].begin() + 1 + 11);
    wire[1] = 0;  // the sequence number
    EXPECT_THAT(wire, ElementsAreArray(Frame(0, {'p', 'i', 'n', 'g', '\r'})));
    // Two control frames arrive, the first empty, and behind them a frame on a data stream that
    // tells when the reader has passed them on.
    TOVRA_STRM marker = DEV_OpenStream(dev, 5, 0);
    ASSERT_NE(marker, nullptr);
    Bytes in = Frame(0, {});
    for (const Bytes& frame : {Frame(0, {'h', 'e', 'l', 'l', 'o'}), Frame(6, {'!'})}) {
        in.insert(in.end(), frame.begin(), frame.end());
    }
    ASSERT_TRUE(platform.InjectInputReport("mem:raw", Report(in)));
    char mark = 0;
    ASSERT_TRUE(WaitUntil([&] { return STRM_Read(marker, &mark, 1) == 1; }));
    char buffer[8];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(DEV_ReceiveString(dev, buffer, 1), 0);  // takes only the empty frame
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'z');
    EXPECT_EQ(DEV_ReceiveString(dev, buffer, 4), 3);
    EXPECT_STREQ(buffer, "hel");
    EXPECT_EQ(DEV_ReceiveString(dev, buffer, 8), 2);
    EXPECT_STREQ(buffer, "lo");
    DEV_Delete(dev);
}

TEST_F(LibraryTest, DataStreams) {
    MemoryHidInterface raw;
    raw.path = "mem:raw";
    platform.AddInterface(raw);
    TOVRA_DEV dev = OpenDevice("mem:raw");
    TOVRA_STRM strm = DEV_OpenStream(dev, 5, 12345);
    ASSERT_NE(strm, nullptr);
    EXPECT_EQ(DEV_OpenStream(dev, -1, 0), nullptr);
    EXPECT_EQ(DEV_OpenStream(dev, 255, 0), nullptr);
    EXPECT_EQ(DEV_CloseStream(dev, 255), 0);
    auto reports = AfterZeroFill(platform.OutputReports("mem:raw"));
    ASSERT_EQ(reports.size(), 1u);
    const Bytes data5 = {'d', 'a', 't', 'a', ' ', '5', '\r'};
    EXPECT_EQ(reports[0][4], 0);  // control channel
    EXPECT_THAT(Bytes(reports[0].begin() + 7, reports[0].begin() + 14), ElementsAreArray(data5));

    EXPECT_EQ(STRM_Write(strm, "abc", 3), 3);
    EXPECT_EQ(STRM_Flush(strm), 1);
    reports = AfterZeroFill(platform.OutputReports("mem:raw"));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1][4], 6);  // channel 6 for stream 5

    char buffer[8] = {};
    EXPECT_EQ(STRM_Read(strm, buffer, 8), 0);
    ASSERT_TRUE(platform.InjectInputReport("mem:raw", Report(Frame(6, {'x', 'y'}))));
    std::int32_t got = 0;
    EXPECT_TRUE(WaitUntil([&] { return (got = STRM_Read(strm, buffer, 8)) != 0; }));
    EXPECT_EQ(got, 2);
    EXPECT_STREQ(buffer, "xy");

    EXPECT_EQ(DEV_CloseStream(dev, 5), 1);
    reports = platform.OutputReports("mem:raw");
    const Bytes clear5 = {'c', 'l', 'e', 'a', 'r', ' ', '5', '\r'};
    EXPECT_THAT(Bytes(reports.back().begin() + 7, reports.back().begin() + 15),
                ElementsAreArray(clear5));
    // A stream left open is destroyed with its device.
    ASSERT_NE(DEV_OpenStream(dev, 7, 0), nullptr);
    DEV_Delete(dev);
}

TEST_F(LibraryTest, Stream126HoldsTheParameterChannelOnlyWhileItIsOpen) {
    AddDetector();
    TOVRA_DEV dev = OpenDevice();
    holvane::PreferencesRecord prefs{};
    ASSERT_NE(DEV_OpenStream(dev, 126, 0), nullptr);
    EXPECT_EQ(DEV_GetParameter(dev, holvane::PreferencesId, prefs.data(), 16, 100), 0);
    EXPECT_EQ(DEV_CloseStream(dev, 126), 1);
    EXPECT_EQ(DEV_GetParameter(dev, holvane::PreferencesId, prefs.data(), 16, 1500), 1);
    EXPECT_EQ(prefs, detector.Preferences());
    const holvane::UniversalSettingsRecord universal{};
    EXPECT_EQ(DEV_SetParameter(dev, holvane::UniversalSettingsId, universal.data(), 18, 1500), 1);
    EXPECT_EQ(detector.UniversalSettings(), universal);
    DEV_Delete(dev);
}

TEST_F(LibraryTest, ASizeZeroReadIsAnsweredByTheAcknowledgementAndItsValueGoesToNoOne) {
    // The detector answers a read with its acknowledgement and the whole record, whatever size
    // the caller gave.
    AddDetector();
    TOVRA_DEV dev = OpenDevice();
    EXPECT_EQ(DEV_GetParameter(dev, holvane::PreferencesId, nullptr, 0, 1500), 1);
    EXPECT_EQ(DEV_GetParameterResult(dev), TOVRA_PARAM_ACCEPTED);
    holvane::UniversalSettingsRecord universal{};
    EXPECT_EQ(DEV_GetParameter(dev, holvane::UniversalSettingsId, universal.data(), 18, 1500), 1);
    EXPECT_EQ(universal, detector.UniversalSettings());
    detector.RefuseId(holvane::PreferencesId);
    EXPECT_EQ(DEV_GetParameter(dev, holvane::PreferencesId, nullptr, 0, 1500), 0);
    EXPECT_EQ(DEV_GetParameterResult(dev), TOVRA_PARAM_REFUSED);
    DEV_Delete(dev);
}

TEST_F(LibraryTest, GarbageFromTheDeviceNeverCrashesOrHangs) {
    MemoryHidInterface raw;
    raw.path = "mem:raw";
    platform.AddInterface(raw);
    TOVRA_DEV dev = OpenDevice("mem:raw");
    Bytes junk(65);
    for (int k = 0; k < 60; ++k) {
        for (std::size_t i = 1; i < junk.size(); ++i) {
            junk[i] = static_cast<std::uint8_t>((k * 131 + i * 17) ^ (i % 3 == 0 ? 0x7E : 0x00));
        }
        platform.InjectInputReport("mem:raw", junk);
    }
    std::uint8_t buffer[292];
    const auto start = steady_clock::now();
    DEV_GetParameter(dev, 10, buffer, 292, 100);
    DEV_SetParameter(dev, 10, buffer, 292, 100);
    // Two time-outs, and the channel's 500 ms settle before the request after an unanswered one.
    EXPECT_LT(steady_clock::now() - start, milliseconds(1200));
    DEV_Delete(dev);
}

// ---- how a parameter call ended ---------------------------------------------------------------

TEST_F(LibraryTest, ParameterResultTellsRefusalSilenceAndMalformedReplies) {
    struct Case {
        const char* name;
        std::function<void(VirtualDetector&)> fault;
        int32_t result;
    };
    const std::vector<Case> cases = {
        {"answered", [](VirtualDetector&) {}, TOVRA_PARAM_ACCEPTED},
        {"refused", [](VirtualDetector& d) { d.RefuseId(holvane::PreferencesId); },
         TOVRA_PARAM_REFUSED},
        {"silent", [](VirtualDetector& d) { d.SilenceId(holvane::PreferencesId); },
         TOVRA_PARAM_NO_ANSWER},
        {"one byte long", [](VirtualDetector& d) { d.ResizeReplies(holvane::PreferencesId, 1); },
         TOVRA_PARAM_MALFORMED},
        {"one byte short", [](VirtualDetector& d) { d.ResizeReplies(holvane::PreferencesId, -1); },
         TOVRA_PARAM_MALFORMED},
    };
    AddDetector();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        detector.ClearFaults();
        c.fault(detector);
        TOVRA_DEV dev = OpenDevice();
        EXPECT_EQ(DEV_GetParameterResult(dev), TOVRA_PARAM_NOT_SENT) << "nothing asked yet";
        std::uint8_t prefs[16];
        EXPECT_EQ(DEV_GetParameter(dev, holvane::PreferencesId, prefs, 16, 200),
                  c.result == TOVRA_PARAM_ACCEPTED ? 1 : 0);
        EXPECT_EQ(DEV_GetParameterResult(dev), c.result);
        DEV_Delete(dev);
    }
}

TEST_F(LibraryTest, OnceTheDeviceIsGoneEveryRequestFailsAtOnce) {
    GoneSwitchPlatform gonePlatform(platform);
    tovra::SetHidPlatform(&gonePlatform);
    AddDetector();
    TOVRA_DEV dev = OpenDevice();
    std::uint8_t prefs[16];
    ASSERT_EQ(DEV_GetParameter(dev, holvane::PreferencesId, prefs, 16, 1500), 1);
    // Unplugged while a request waits for an answer that will not come: it is woken.
    detector.SilenceId(holvane::PreferencesId);
    const std::size_t asked = detector.Requests().size();
    std::thread unplug([&] {
        WaitUntil([&] { return detector.Requests().size() > asked; });
        gonePlatform.Unplug();
    });
    auto start = steady_clock::now();
    EXPECT_EQ(DEV_GetParameter(dev, holvane::PreferencesId, prefs, 16, 1500), 0);
    EXPECT_LT(steady_clock::now() - start, milliseconds(600));
    EXPECT_EQ(DEV_GetParameterResult(dev), TOVRA_PARAM_LINK_GONE);
    unplug.join();
    const std::size_t requests = detector.Requests().size();
    start = steady_clock::now();
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(DEV_SetParameter(dev, holvane::PreferencesId, prefs, 16, 1500), 0);
        EXPECT_EQ(DEV_GetParameterResult(dev), TOVRA_PARAM_LINK_GONE);
    }
    EXPECT_LT(steady_clock::now() - start, milliseconds(100));
    EXPECT_EQ(detector.Requests().size(), requests) << "nothing more is sent";
    DEV_Delete(dev);
    tovra::SetHidPlatform(&platform);
}
