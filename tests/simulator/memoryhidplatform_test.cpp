#include "MemoryHidPlatform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "FrameCodec.h"
#include "ParameterIds.h"
#include "VirtualDetector.h"
#include "WaitUntil.h"

using namespace holvane;
using namespace holvane::simulator;
using holvane::test::WaitUntil;
using namespace std::chrono_literals;
using ::testing::ElementsAre;

namespace {

constexpr std::size_t Length = 65;

// One output report carrying a frame, zero-filled.
std::vector<std::uint8_t> RequestReport(std::vector<std::uint8_t> payload) {
    const auto frame = tovra::EncodeFrame(0, tovra::ParameterChannel, payload.data(),
                                          static_cast<std::uint16_t>(payload.size()));
    std::vector<std::uint8_t> report(Length, 0);
    std::copy(frame.begin(), frame.end(), report.begin() + 1);
    return report;
}

class MemoryHidPlatformTest : public ::testing::Test {
protected:
    MemoryHidPlatformTest() {
        platform.AddInterface({.path = "/dev/hidraw3"}, &detector);
        platform.AddInterface({.path = "/dev/hidraw0", .vendorId = 0x1234, .productId = 7});
    }

    VirtualDetector detector;
    MemoryHidPlatform platform;
};

}  // namespace

TEST_F(MemoryHidPlatformTest, ListsOpensAndDescribesInterfaces) {
    const auto listed = platform.ListInterfaces();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].path, "/dev/hidraw3");
    EXPECT_EQ(listed[1].path, "/dev/hidraw0");
    EXPECT_EQ(platform.Open("/dev/hidraw9"), nullptr);

    auto device = platform.Open("/dev/hidraw0");
    ASSERT_NE(device, nullptr);
    std::uint16_t vendor = 0, product = 0;
    EXPECT_TRUE(device->GetAttributes(vendor, product));
    EXPECT_EQ(vendor, 0x1234);
    EXPECT_EQ(product, 7);
    EXPECT_EQ(device->InputReportLength(), Length);
    EXPECT_TRUE(device->SetInputQueueSize(64));
    EXPECT_FALSE(device->SetInputQueueSize(65));
    EXPECT_FALSE(device->SetInputQueueSize(0));
    EXPECT_EQ(platform.OpenCount("/dev/hidraw0"), 1);

    platform.SetOpenFails("/dev/hidraw0", true);
    EXPECT_EQ(platform.Open("/dev/hidraw0"), nullptr);
    EXPECT_EQ(platform.OpenCount("/dev/hidraw0"), 1);
    EXPECT_THROW(platform.ReadCalls("/dev/nothing"), std::out_of_range);
}

TEST_F(MemoryHidPlatformTest, ReportsCarryTheDetectorsReplyPacked) {
    auto device = platform.Open("/dev/hidraw3");
    const auto request = RequestReport({static_cast<std::uint8_t>(ModeId(8)), 0x00});
    ASSERT_EQ(device->Write(request.data(), request.size(), 300), Length);
    EXPECT_THAT(platform.OutputReports("/dev/hidraw3"), ElementsAre(request));

    // The reply to a mode read is 6 + 1 + 292 = 299 bytes: five reports, the last zero-filled.
    const std::size_t replyBytes = tovra::FrameHeaderSize + 1 + ModeSize;
    std::vector<std::uint8_t> buffer(63 * Length, 0xEE);
    const std::size_t got = device->Read(buffer.data(), buffer.size(), 100);
    ASSERT_EQ(got, 5 * Length);
    std::vector<std::uint8_t> stream;
    for (std::size_t r = 0; r < 5; ++r) {
        EXPECT_EQ(buffer[r * Length], 0x00) << "report-ID byte";
        stream.insert(stream.end(), buffer.begin() + r * Length + 1,
                      buffer.begin() + (r + 1) * Length);
    }
    EXPECT_EQ(stream[0], tovra::FrameStart);
    EXPECT_EQ(stream[tovra::FrameHeaderSize], 0x01);
    const auto mode = detector.Mode(8);
    EXPECT_TRUE(std::equal(mode.begin(), mode.end(), stream.begin() + tovra::FrameHeaderSize + 1));
    EXPECT_TRUE(std::all_of(stream.begin() + replyBytes, stream.end(),
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(platform.ReadCalls("/dev/hidraw3"), 1);
}

TEST_F(MemoryHidPlatformTest, ReadTakesOnlyTheWholeReportsThatFit) {
    auto device = platform.Open("/dev/hidraw3");
    const auto request = RequestReport({static_cast<std::uint8_t>(ModeId(8)), 0x00});
    device->Write(request.data(), request.size(), 300);
    std::vector<std::uint8_t> buffer(2 * Length + 10);
    EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 100), 2 * Length);
    EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 100), 2 * Length);
    EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 100), Length);
    EXPECT_EQ(device->Read(buffer.data(), Length - 1, 100), 0u) << "not one whole report";
}

TEST_F(MemoryHidPlatformTest, WritesTakeOnlyWholeReports) {
    auto device = platform.Open("/dev/hidraw3");
    auto request = RequestReport({0, 0x00});
    EXPECT_EQ(device->Write(request.data(), Length - 1, 300), 0u);
    request.push_back(0);
    EXPECT_EQ(device->Write(request.data(), request.size(), 300), 0u);
    EXPECT_TRUE(platform.OutputReports("/dev/hidraw3").empty());
    EXPECT_TRUE(detector.Requests().empty());
}

TEST_F(MemoryHidPlatformTest, InjectedReportsComeBackSeveralToARead) {
    auto device = platform.Open("/dev/hidraw0");
    std::vector<std::uint8_t> buffer(3 * Length);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 30), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);

    EXPECT_FALSE(platform.InjectInputReport("/dev/hidraw0", {0, 1, 2})) << "wrong length";
    EXPECT_FALSE(platform.InjectInputReport("/dev/hidraw3", std::vector<std::uint8_t>(Length)))
        << "bound to a detector";
    for (std::uint8_t k = 1; k <= 4; ++k) {
        std::vector<std::uint8_t> report(Length, k);
        report[0] = 0;
        ASSERT_TRUE(platform.InjectInputReport("/dev/hidraw0", report));
    }
    EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 30), 3 * Length);
    EXPECT_EQ(buffer[1], 1);
    EXPECT_EQ(buffer[2 * Length + 1], 3);
    EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 30), Length);
    EXPECT_EQ(buffer[1], 4);
    EXPECT_EQ(platform.ReadCalls("/dev/hidraw0"), 3);

    const std::vector<std::uint8_t> out(Length, 0x42);
    EXPECT_EQ(device->Write(out.data(), out.size(), 300), Length);
    EXPECT_THAT(platform.OutputReports("/dev/hidraw0"), ElementsAre(out));
}

TEST_F(MemoryHidPlatformTest, LostLinkMakesTheDeviceVanish) {
    auto device = platform.Open("/dev/hidraw3");
    EXPECT_FALSE(device->IsGone());
    detector.LoseLinkAfter(1);
    auto request = RequestReport({PreferencesId, 0x00});
    EXPECT_EQ(device->Write(request.data(), request.size(), 300), Length);
    std::vector<std::uint8_t> buffer(4 * Length);
    EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 100), Length);

    EXPECT_EQ(device->Write(request.data(), request.size(), 300), 0u) << "the losing request";
    EXPECT_EQ(device->Write(request.data(), request.size(), 300), 0u);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 20), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms) << "a vanished device does not spin";
    EXPECT_TRUE(device->IsGone());
    std::uint16_t vendor, product;
    EXPECT_FALSE(device->GetAttributes(vendor, product));
    ASSERT_EQ(platform.ListInterfaces().size(), 1u);
    EXPECT_EQ(platform.Open("/dev/hidraw3"), nullptr);
}

TEST_F(MemoryHidPlatformTest, UnpluggedInterfaceVanishesUntilPluggedBackIn) {
    auto device = platform.Open("/dev/hidraw0");
    platform.SetPluggedIn("/dev/hidraw0", false);
    const std::vector<std::uint8_t> out(Length, 0);
    EXPECT_EQ(device->Write(out.data(), out.size(), 300), 0u);
    std::vector<std::uint8_t> buffer(Length);
    EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 10), 0u);
    EXPECT_EQ(platform.ListInterfaces().size(), 1u);
    EXPECT_EQ(platform.Open("/dev/hidraw0"), nullptr);

    EXPECT_TRUE(device->IsGone());

    // Plugged back in, the interface is there again for a new open; the old handle stays gone,
    // as an unplugged hidraw node's open file does.
    platform.SetPluggedIn("/dev/hidraw0", true);
    EXPECT_TRUE(device->IsGone());
    EXPECT_EQ(device->Write(out.data(), out.size(), 300), 0u);
    auto again = platform.Open("/dev/hidraw0");
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->IsGone());
    EXPECT_EQ(again->Write(out.data(), out.size(), 300), Length);
}

TEST_F(MemoryHidPlatformTest, ReaderThreadAndWriterThreadRunTogether) {
    // As the library uses a device: one thread reads and decodes reports while another writes
    // requests.
    struct Counter : tovra::IFrameDispatch {
        void DispatchFrame(std::uint8_t, const std::uint8_t*, std::size_t n) override {
            ++frames;
            bytes += n;
        }
        int frames = 0;
        std::size_t bytes = 0;
    } counter;
    tovra::FrameDecoder decoder(counter);
    auto device = platform.Open("/dev/hidraw3");
    constexpr int Requests = 20;
    std::thread reader([&] {
        std::vector<std::uint8_t> buffer(63 * Length);
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (counter.frames < Requests && std::chrono::steady_clock::now() < deadline) {
            const std::size_t got = device->Read(buffer.data(), buffer.size(), 10);
            for (std::size_t r = 0; r < got / Length; ++r) {
                decoder.Feed(buffer.data() + r * Length + 1, Length - 1);
            }
        }
    });
    const auto request = RequestReport({PreferencesId, 0x00});
    for (int k = 0; k < Requests; ++k) {
        EXPECT_EQ(device->Write(request.data(), request.size(), 300), Length);
    }
    reader.join();
    EXPECT_EQ(counter.frames, Requests);
    EXPECT_EQ(counter.bytes, Requests * (1 + PreferencesSize));
    EXPECT_EQ(detector.Requests().size(), static_cast<std::size_t>(Requests));
}

TEST_F(MemoryHidPlatformTest, CancelReadsEndsEveryWaitOfARead) {
    VirtualDetector pacedDetector;
    platform.AddInterface({.path = "/dev/hidraw5", .paced = true}, &pacedDetector);
    struct Case {
        const char* name;
        const char* path;
        std::function<void()> before;  // puts the read into its wait
    };
    const std::vector<Case> cases = {
        {"detector silent", "/dev/hidraw3", [] {}},
        {"nothing injected", "/dev/hidraw0", [] {}},
        {"paced, detector silent", "/dev/hidraw5", [] {}},
        {"unplugged", "/dev/hidraw0", [&] { platform.SetPluggedIn("/dev/hidraw0", false); }},
        {"link lost", "/dev/hidraw3", [&] { detector.LoseLink(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto device = platform.Open(c.path);
        ASSERT_NE(device, nullptr);
        c.before();
        const int readsBefore = platform.ReadCalls(c.path);
        std::thread reader([&device] {
            std::vector<std::uint8_t> buffer(4 * Length);
            EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 5000), 0u);
        });
        EXPECT_TRUE(WaitUntil([&] { return platform.ReadCalls(c.path) > readsBefore; }));
        const auto start = std::chrono::steady_clock::now();
        device->CancelReads();
        reader.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
        platform.SetPluggedIn("/dev/hidraw0", true);
    }

    // Once cancelled, a read takes nothing, even what is there to take.
    auto device = platform.Open("/dev/hidraw0");
    device->CancelReads();
    std::vector<std::uint8_t> report(Length, 1);
    report[0] = 0;
    ASSERT_TRUE(platform.InjectInputReport("/dev/hidraw0", report));
    std::vector<std::uint8_t> buffer(Length);
    EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 1000), 0u);
}

TEST_F(MemoryHidPlatformTest, PacedLinkMovesTheSameReportsOneAMillisecondEachWay) {
    VirtualDetector pacedDetector;
    platform.AddInterface({.path = "/dev/hidraw5", .paced = true}, &pacedDetector);
    // A mode read: one request report out, its 299-byte answer in five reports.
    const auto request = RequestReport({static_cast<std::uint8_t>(ModeId(8)), 0x00});
    struct Run {
        std::vector<std::vector<std::uint8_t>> reports;
        std::chrono::steady_clock::duration took{};
    };
    const auto exchange = [&](const char* path) {
        Run run;
        auto device = platform.Open(path);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(device->Write(request.data(), request.size(), 300), Length);
        std::vector<std::uint8_t> buffer(64 * Length);
        while (run.reports.size() < 5 && std::chrono::steady_clock::now() - start < 2s) {
            const std::size_t got = device->Read(buffer.data(), buffer.size(), 100);
            for (std::size_t at = 0; at < got; at += Length) {
                run.reports.emplace_back(buffer.begin() + at, buffer.begin() + at + Length);
            }
        }
        run.took = std::chrono::steady_clock::now() - start;
        return run;
    };
    const Run unpaced = exchange("/dev/hidraw3");
    const Run paced = exchange("/dev/hidraw5");
    ASSERT_EQ(unpaced.reports.size(), 5u);
    EXPECT_EQ(paced.reports, unpaced.reports);
    EXPECT_GE(paced.took, 6ms) << "1 report out and 5 in, a millisecond each";
    EXPECT_LT(paced.took, 1000ms);
    EXPECT_EQ(platform.InputReportCount("/dev/hidraw5"), 5);
    EXPECT_EQ(platform.OutputReports("/dev/hidraw5").size(), 1u);

    // Writes back to back each wait for their own slot.
    auto device = platform.Open("/dev/hidraw5");
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(device->Write(request.data(), request.size(), 300), Length);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, 10ms);
}
