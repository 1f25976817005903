#include "platform/WindowsHid.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Usbhid.h"
#include "tovra.h"

using namespace tovra;
using Clock = std::chrono::steady_clock;

namespace {

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A message pipe stands in for an opened HID interface: each message is one report, and reads
// of it can be left pending. The device gets the client end, the test keeps the server end.
class PipeDeviceTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t ReportLength = 65;

    void SetUp() override {
        const std::string name = "\\\\.\\pipe\\holvane-hid-" +
                                 std::to_string(::GetCurrentProcessId()) + "-" +
                                 std::to_string(++counter_);
        server_ = ::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096,
                                     4096, 0, nullptr);
        ASSERT_NE(server_, INVALID_HANDLE_VALUE);
        const HANDLE client = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(client, INVALID_HANDLE_VALUE);
        DWORD mode = PIPE_READMODE_MESSAGE;
        ASSERT_TRUE(::SetNamedPipeHandleState(client, &mode, nullptr, nullptr));
        device_ = std::make_unique<WindowsHidDevice>(client, std::make_unique<HidLibrary>(),
                                                     ReportLength);
    }
    void TearDown() override {
        device_.reset();
        if (server_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(server_);
        }
    }

    void SendReport(const std::vector<std::uint8_t>& report) {
        DWORD put = 0;
        ASSERT_TRUE(
            ::WriteFile(server_, report.data(), static_cast<DWORD>(report.size()), &put, nullptr));
        ASSERT_EQ(put, report.size());
    }

    static inline int counter_ = 0;
    HANDLE server_ = INVALID_HANDLE_VALUE;
    std::unique_ptr<WindowsHidDevice> device_;
};

}  // namespace

TEST_F(PipeDeviceTest, ReadHandsOutAWaitingReportWithItsReportIdByte) {
    std::vector<std::uint8_t> report(ReportLength, 0);
    report[1] = 0x7E;
    report[64] = 0xA5;
    SendReport(report);

    std::vector<std::uint8_t> buffer(4 * ReportLength, 0xEE);
    ASSERT_EQ(device_->Read(buffer.data(), buffer.size(), 100), ReportLength);
    EXPECT_TRUE(std::equal(report.begin(), report.end(), buffer.begin()));
    EXPECT_FALSE(device_->IsGone());
}

TEST_F(PipeDeviceTest, ReadWithNothingArrivingEndsAfterItsWaitAndLeavesTheLinkUsable) {
    std::vector<std::uint8_t> buffer(ReportLength);
    const auto start = Clock::now();
    EXPECT_EQ(device_->Read(buffer.data(), buffer.size(), 100), 0u);
    EXPECT_GE(MsSince(start), 90);

    // The cancelled read took nothing away: the next report arrives whole.
    std::vector<std::uint8_t> report(ReportLength, 0x11);
    report[0] = 0;
    SendReport(report);
    ASSERT_EQ(device_->Read(buffer.data(), buffer.size(), 100), ReportLength);
    EXPECT_EQ(buffer, report);
}

TEST_F(PipeDeviceTest, CancelReadsWakesAPendingReadAndEndsEveryLaterOne) {
    std::vector<std::uint8_t> buffer(ReportLength);
    std::size_t got = 1;
    long long waitedMs = 0;
    std::thread reader([&] {
        const auto start = Clock::now();
        got = device_->Read(buffer.data(), buffer.size(), 10000);
        waitedMs = MsSince(start);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    device_->CancelReads();
    reader.join();
    EXPECT_EQ(got, 0u);
    EXPECT_LT(waitedMs, 2000);

    SendReport(std::vector<std::uint8_t>(ReportLength, 0));
    const auto start = Clock::now();
    EXPECT_EQ(device_->Read(buffer.data(), buffer.size(), 10000), 0u);
    EXPECT_LT(MsSince(start), 100);
}

TEST_F(PipeDeviceTest, WriteSendsOneWholeReport) {
    std::vector<std::uint8_t> report(ReportLength, 0);
    report[1] = 0x42;
    ASSERT_EQ(device_->Write(report.data(), report.size(), 300), ReportLength);

    std::vector<std::uint8_t> received(2 * ReportLength);
    DWORD got = 0;
    ASSERT_TRUE(
        ::ReadFile(server_, received.data(), static_cast<DWORD>(received.size()), &got, nullptr));
    received.resize(got);
    EXPECT_EQ(received, report);
}

TEST(WindowsHidTest, TheErrorsOfAVanishedInterfaceCountAsGone) {
    const struct {
        DWORD error;
        bool gone;
    } cases[] = {
        {ERROR_DEVICE_NOT_CONNECTED, true}, {ERROR_DEV_NOT_EXIST, true},
        {ERROR_GEN_FAILURE, true},          {ERROR_BAD_COMMAND, true},
        {ERROR_INVALID_HANDLE, true},       {ERROR_OPERATION_ABORTED, false},
        {ERROR_IO_PENDING, false},          {ERROR_ACCESS_DENIED, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsGoneError(c.error), c.gone) << c.error;
    }
}

TEST(WindowsHidTest, HidDllIsLoadedByNameAndReleased) {
    ASSERT_EQ(::GetModuleHandleA("HID.DLL"), nullptr);
    {
        const HidLibrary hid;
        EXPECT_TRUE(hid.Loaded());
        EXPECT_NE(::GetModuleHandleA("HID.DLL"), nullptr);
        GUID guid{};
        EXPECT_TRUE(hid.GetHidGuid(guid));
        // The device-interface class of HID devices.
        const GUID hidClass = {
            0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
        EXPECT_EQ(std::memcmp(&guid, &hidClass, sizeof guid), 0);
    }
    EXPECT_EQ(::GetModuleHandleA("HID.DLL"), nullptr);

    WindowsHidPlatform platform;
    (void)platform.ListInterfaces();
    EXPECT_EQ(::GetModuleHandleA("HID.DLL"), nullptr);
}

TEST(WindowsHidTest, TheHidClassIsListedAndNoneOfItIsADetector) {
    WindowsHidPlatform platform;
    const std::vector<HidInterfaceInfo> interfaces = platform.ListInterfaces();
    for (const HidInterfaceInfo& info : interfaces) {
        EXPECT_FALSE(info.path.empty());
    }
    std::printf("HID interfaces listed: %zu\n", interfaces.size());
    EXPECT_TRUE(UsbHidEnum::Search(DetectorVendorId).empty());

    TOVRA_DVE dve = DVE_Create();
    ASSERT_NE(dve, nullptr);
    EXPECT_EQ(DVE_GetNumDevices(dve), 0);
    EXPECT_EQ(DVE_Delete(dve), 1);
}

TEST(WindowsHidTest, AMissingPathIsRefused) {
    const std::string missing =
        "\\\\?\\hid#vid_2f1a&pid_0001#0&0&0#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const WindowsHidOpenResult opened = OpenWindowsHidPath(missing);
    EXPECT_EQ(opened.device, nullptr);
    EXPECT_NE(opened.error, 0u);
    EXPECT_EQ(WindowsHidPlatform().Open(missing), nullptr);

    TOVRA_DEV dev = DEV_Create();
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(DEV_Open(dev, missing.c_str(), ""), 0);
    EXPECT_EQ(DEV_Delete(dev), 1);
}
