#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "DetectorFixture.h"
#include "Vantor.h"

using holvane::DetectorLink;
using holvane::Imports;
using holvane::LibraryImports;
using holvane::TovraImports;
using ::testing::ElementsAre;

namespace {

// Records the name of every library call the detector link makes, then makes it.
std::vector<std::string> g_calls;
bool g_throwInGetNumDevices = false;

TovraImports Recording() {
    TovraImports t;
    t.DVE_Create = [] {
        g_calls.push_back("DVE_Create");
        return LibraryImports().DVE_Create();
    };
    t.DVE_GetNumDevices = [](TOVRA_DVE e) {
        g_calls.push_back("DVE_GetNumDevices");
        if (g_throwInGetNumDevices)
            throw std::runtime_error("library fault");
        return LibraryImports().DVE_GetNumDevices(e);
    };
    t.DVE_GetDeviceName = [](TOVRA_DVE e, int32_t i) {
        g_calls.push_back("DVE_GetDeviceName");
        return LibraryImports().DVE_GetDeviceName(e, i);
    };
    t.DVE_Delete = [](TOVRA_DVE e) {
        g_calls.push_back("DVE_Delete");
        return LibraryImports().DVE_Delete(e);
    };
    t.DEV_Create = [] {
        g_calls.push_back("DEV_Create");
        return LibraryImports().DEV_Create();
    };
    t.DEV_Open = [](TOVRA_DEV d, const char* p, const char* l) {
        g_calls.push_back(std::string("DEV_Open login=\"") + l + "\"");
        return LibraryImports().DEV_Open(d, p, l);
    };
    t.DEV_Resume = [](TOVRA_DEV d) {
        g_calls.push_back("DEV_Resume");
        return LibraryImports().DEV_Resume(d);
    };
    t.DEV_SetParameter = [](TOVRA_DEV d, int32_t id, const void* v, int32_t n, uint32_t t) {
        g_calls.push_back("DEV_SetParameter " + std::to_string(id) + " " + std::to_string(n) +
                          (v == nullptr ? " null" : "") + " " + std::to_string(t));
        return LibraryImports().DEV_SetParameter(d, id, v, n, t);
    };
    t.DEV_GetParameter = [](TOVRA_DEV d, int32_t id, void* v, int32_t n, uint32_t t) {
        g_calls.push_back("DEV_GetParameter " + std::to_string(id) + " " + std::to_string(n) + " " +
                          std::to_string(t));
        return LibraryImports().DEV_GetParameter(d, id, v, n, t);
    };
    t.DEV_Delete = [](TOVRA_DEV d) {
        g_calls.push_back("DEV_Delete");
        return LibraryImports().DEV_Delete(d);
    };
    return t;
}

class DetectorLinkTest : public DetectorFixture {
protected:
    void SetUp() override {
        DetectorFixture::SetUp();
        g_calls.clear();
        g_throwInGetNumDevices = false;
        Imports() = Recording();
    }
    void TearDown() override {
        DetectorLink().Disconnect();
        Imports() = LibraryImports();
        DetectorFixture::TearDown();
    }
};

}  // namespace

TEST_F(DetectorLinkTest, ConnectCallsTheLibraryInOrder) {
    DetectorLink link;
    ASSERT_EQ(link.Connect(), 1);
    EXPECT_NE(holvane::DeviceHandle(), nullptr);
    EXPECT_EQ(link.Disconnect(), 1);
    EXPECT_EQ(holvane::DeviceHandle(), nullptr);
    EXPECT_THAT(g_calls,
                ElementsAre("DVE_Create", "DVE_GetNumDevices", "DEV_Create", "DVE_GetDeviceName",
                            "DEV_Open login=\"\"", "DVE_Delete", "DEV_Resume", "DEV_Delete"));
}

TEST_F(DetectorLinkTest, NoDetector) {
    platform.SetPluggedIn(Path, false);
    DetectorLink link;
    EXPECT_EQ(link.Connect(), 0);
    EXPECT_EQ(holvane::DeviceHandle(), nullptr);
    EXPECT_THAT(g_calls, ElementsAre("DVE_Create", "DVE_GetNumDevices", "DVE_Delete"));
}

TEST_F(DetectorLinkTest, FailedOpenDeletesTheDeviceAtOnce) {
    holvane::simulator::MemoryHidInterface broken;
    broken.path = "mem:broken";
    broken.reportLength = 0;  // listed, but the transport cannot carry data
    platform.AddInterface(broken, &detector);
    DetectorLink link;
    EXPECT_EQ(link.Connect(), 0);
    EXPECT_EQ(holvane::DeviceHandle(), nullptr);
    EXPECT_THAT(g_calls,
                ElementsAre("DVE_Create", "DVE_GetNumDevices", "DEV_Create", "DVE_GetDeviceName",
                            "DEV_Open login=\"\"", "DVE_Delete", "DEV_Delete"));
}

TEST_F(DetectorLinkTest, ExceptionInsideALibraryCallIsAFailure) {
    g_throwInGetNumDevices = true;
    DetectorLink link;
    EXPECT_EQ(link.Connect(), 0);
    EXPECT_EQ(holvane::DeviceHandle(), nullptr);
    EXPECT_THAT(g_calls, ElementsAre("DVE_Create", "DVE_GetNumDevices", "DVE_Delete"));
}

TEST_F(DetectorLinkTest, NothingReachesTheLibraryWhileClosed) {
    DetectorLink link;
    holvane::ModeRecord mode{};
    holvane::PatternRecord pattern{};
    holvane::UniversalSettingsRecord universal{};
    holvane::PreferencesRecord preferences{};
    EXPECT_EQ(link.Disconnect(), 0);
    ASSERT_EQ(link.Connect(), 1);
    ASSERT_EQ(link.Disconnect(), 1);
    g_calls.clear();
    EXPECT_EQ(link.GetMode(8, mode), 0);
    EXPECT_EQ(link.SetMode(4, mode), 0);
    EXPECT_EQ(link.SetModeSettings(4, holvane::ModeSettingsRecord{}), 0);
    EXPECT_EQ(link.GetPattern(20, pattern), 0);
    EXPECT_EQ(link.SetPattern(20, pattern), 0);
    EXPECT_EQ(link.GetUniversalSettings(universal), 0);
    EXPECT_EQ(link.SetUniversalSettings(universal), 0);
    EXPECT_EQ(link.GetPreferences(preferences), 0);
    EXPECT_EQ(link.SetPreferences(preferences), 0);
    EXPECT_EQ(link.FinishUpload(), 0);
    EXPECT_EQ(link.Disconnect(), 0);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(DetectorLinkTest, EveryOperationOnTheWire) {
    DetectorLink link;
    ASSERT_EQ(link.Connect(), 1);
    holvane::ModeRecord mode{};
    holvane::PatternRecord pattern{};
    holvane::UniversalSettingsRecord universal{};
    holvane::PreferencesRecord preferences{};
    g_calls.clear();
    EXPECT_EQ(link.GetMode(8, mode), 1);
    EXPECT_EQ(link.GetMode(0, mode), 1);
    EXPECT_EQ(link.SetMode(5, mode), 1);
    EXPECT_EQ(link.SetModeSettings(4, holvane::ModeSettingsOf(mode)), 1);
    EXPECT_EQ(link.GetPattern(25, pattern), 1);
    EXPECT_EQ(link.SetPattern(14, pattern), 1);
    EXPECT_EQ(link.GetUniversalSettings(universal), 1);
    EXPECT_EQ(link.SetUniversalSettings(universal), 1);
    EXPECT_EQ(link.GetPreferences(preferences), 1);
    EXPECT_EQ(link.SetPreferences(preferences), 1);
    EXPECT_EQ(link.FinishUpload(), 1);
    // Slots outside the tables never reach the detector.
    EXPECT_EQ(link.GetMode(9, mode), 0);
    EXPECT_EQ(link.SetPattern(13, pattern), 0);
    EXPECT_THAT(WireLog(), ElementsAre(Wire{10, false, 0}, Wire{2, false, 0}, Wire{7, true, 292},
                                       Wire{16, true, 26}, Wire{47, false, 0}, Wire{36, true, 266},
                                       Wire{0, false, 0}, Wire{0, true, 18}, Wire{1, false, 0},
                                       Wire{1, true, 16}, Wire{55, true, 0}));
    EXPECT_EQ(g_calls.back(), "DEV_SetParameter 55 0 null 1500");
    EXPECT_EQ(g_calls.front(), "DEV_GetParameter 10 292 1500");
    EXPECT_EQ(universal, detector.UniversalSettings());
    EXPECT_EQ(detector.FinishUploadCount(), 1);
}

TEST_F(DetectorLinkTest, ConnectWhileOpenClosesTheOldConnection) {
    DetectorLink link;
    ASSERT_EQ(link.Connect(), 1);
    ASSERT_EQ(link.Connect(), 1);
    ASSERT_EQ(link.Disconnect(), 1);
    EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "DEV_Create"), 2);
    EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "DEV_Delete"), 2);
}
