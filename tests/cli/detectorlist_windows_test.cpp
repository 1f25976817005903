#include <windows.h>

#include <gtest/gtest.h>

#include <map>

#include "DetectorList.h"

using namespace holvane::cli;

namespace {

TEST(DetectorListWindowsTest, InterfacePathsGiveTheirIds) {
    const struct {
        const char* path;
        bool found;
        std::uint16_t vendor, product;
    } cases[] = {
        {"\\\\?\\hid#vid_2f1a&pid_0001#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
         true, 0x2F1A, 0x0001},
        {"\\\\?\\HID#VID_2F1A&PID_00AB&MI_01#8&abc#{4d1e55b2-f16f-11cf-88cb-001111000030}", true,
         0x2F1A, 0x00AB},
        {"\\\\?\\hid#vid_046d&pid_c52b#1", true, 0x046D, 0xC52B},
        {"\\\\?\\hid#vid_2f1&pid_0001#1", false, 0, 0},  // three digits only
        {"\\\\?\\hid#vid_zz1a&pid_0001#1", false, 0, 0},
        {"\\\\?\\hid#pid_0001#1", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::uint16_t vendor = 7;
        std::uint16_t product = 7;
        ASSERT_EQ(ParseInterfacePathIds(c.path, vendor, product), c.found);
        if (c.found) {
            EXPECT_EQ(vendor, c.vendor);
            EXPECT_EQ(product, c.product);
        } else {
            EXPECT_EQ(vendor, 7);  // left alone
        }
    }
}

TEST(DetectorListWindowsTest, ReportsTheDetectorInterfacesThatCannotBeOpenedWithTheirReasons) {
    const std::string listed = "\\\\?\\hid#vid_2f1a&pid_0004#listed";
    const std::string held = "\\\\?\\hid#vid_2f1a&pid_0001#held";
    const std::string gone = "\\\\?\\hid#vid_2f1a&pid_0002#gone";
    const std::string opens = "\\\\?\\hid#vid_2f1a&pid_0003#opens";
    const std::string keyboard = "\\\\?\\hid#vid_046d&pid_c52b#keyboard";
    const std::map<std::string, int> errors = {{held, ERROR_ACCESS_DENIED},
                                               {gone, ERROR_FILE_NOT_FOUND},
                                               {opens, 0},
                                               {keyboard, ERROR_ACCESS_DENIED}};
    std::vector<std::string> tried;
    const NodeOpener opener = [&](const std::string& path) {
        tried.push_back(path);
        return errors.at(path);
    };
    const auto unopened = UnopenedDetectorInterfaces(
        {{listed}, {held}, {keyboard}, {gone}, {opens}}, {{listed, 0x2F1A, 4}}, opener);
    EXPECT_EQ(tried, (std::vector<std::string>{held, gone, opens}));
    ASSERT_EQ(unopened.size(), 2u);
    EXPECT_EQ(unopened[0].path, held);
    EXPECT_EQ(unopened[0].productId, 0x0001);
    EXPECT_EQ(unopened[1].path, gone);

    const std::string text = FormatDetectorList({{listed, 0x2F1A, 4}}, unopened);
    EXPECT_NE(text.find(held + "  2f1a:0001  access denied\n"), std::string::npos) << text;
    EXPECT_NE(text.find(gone + "  2f1a:0002  the device is no longer attached\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Close every other program"), std::string::npos);
    EXPECT_EQ(text.find("udev"), std::string::npos);
}

TEST(DetectorListWindowsTest, ThisMachineHasNoDetectorAndNoUnopenedOne) {
    EXPECT_TRUE(LibraryDetectors().empty());
    EXPECT_TRUE(UnopenedDetectorNodes({}).empty());
    EXPECT_EQ(FormatDetectorList({}, {}), "No detector found.\n");
}

}  // namespace
