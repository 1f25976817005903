#include "DetectorList.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>

#include "CliFixture.h"
#include "platform/LinuxHidraw.h"

using namespace holvane::cli;
namespace fs = std::filesystem;

namespace {

// A sysfs tree with hidraw entries, and a /dev folder with some of their nodes.
class DetectorListTest : public test::CliTest {
protected:
    enum class DevNode { Present, Missing };
    void AddNode(const std::string& name, const std::string& uevent, DevNode devNode) {
        const fs::path device = fs::path(Path("sys")) / "class" / "hidraw" / name / "device";
        fs::create_directories(device);
        std::ofstream(device / "uevent") << uevent;
        fs::create_directories(Path("dev"));
        if (devNode == DevNode::Present) {
            std::ofstream(fs::path(Path("dev")) / name) << "";
        }
    }
    static std::string Uevent(const std::string& vendor, const std::string& product) {
        return "DRIVER=hid-generic\nHID_ID=0003:0000" + vendor + ":0000" + product +
               "\nHID_NAME=Some Device\n";
    }
};

TEST_F(DetectorListTest, ReportsTheDetectorNodesThatCannotBeOpenedWithTheirReasons) {
    AddNode("hidraw0", Uevent("2F1A", "0001"),
            DevNode::Present);  // a plain file: not a hidraw node
    AddNode("hidraw1", Uevent("046D", "C52B"), DevNode::Present);  // another vendor: never tried
    AddNode("hidraw2", Uevent("2F1A", "0002"), DevNode::Missing);  // no node in /dev
    AddNode("hidraw3", "DRIVER=hid-generic\n",
            DevNode::Present);  // ids unknown: not the detector's
    AddNode("hidraw10", Uevent("2F1A", "0003"),
            DevNode::Present);  // permission, from the opener below
    AddNode("hidraw11", Uevent("2f1a", "0004"), DevNode::Present);  // already listed by the library
    const tovra::LinuxHidrawPlatform platform(Path("sys"), Path("dev"));

    const std::string listed = Path("dev") + "/hidraw11";
    std::vector<std::string> tried;
    const NodeOpener opener = [&](const std::string& path) {
        tried.push_back(path);
        return path.ends_with("hidraw10") ? EACCES : OpenError(path);
    };
    const auto unopened = UnopenedDetectorNodes(platform, {{listed, 0x2F1A, 4}}, opener);

    EXPECT_EQ(tried, (std::vector<std::string>{Path("dev") + "/hidraw0", Path("dev") + "/hidraw2",
                                               Path("dev") + "/hidraw10"}));
    ASSERT_EQ(unopened.size(), 3u);
    EXPECT_EQ(unopened[0].error, ENOTTY);
    EXPECT_EQ(unopened[1].error, ENOENT);
    EXPECT_EQ(unopened[2].error, EACCES);
    EXPECT_EQ(unopened[2].productId, 3);

    const std::string text = FormatDetectorList({{listed, 0x2F1A, 4}}, unopened);
    EXPECT_NE(text.find("  0  " + listed + "  2f1a:0004\n"), std::string::npos) << text;
    EXPECT_NE(text.find("hidraw0  2f1a:0001  not a hidraw device node"), std::string::npos);
    EXPECT_NE(text.find("hidraw2  2f1a:0002  the device node does not exist"), std::string::npos);
    EXPECT_NE(text.find("hidraw10  2f1a:0003  permission denied"), std::string::npos);
    // The remedy follows the permission problem only: rule, reload, replug.
    const auto remedy = text.find("Install the udev rule");
    ASSERT_NE(remedy, std::string::npos);
    EXPECT_GT(remedy, text.find("permission denied"));
    EXPECT_NE(text.find("udevadm control --reload-rules", remedy), std::string::npos);
    EXPECT_NE(text.find("unplug and replug", remedy), std::string::npos);
}

TEST_F(DetectorListTest, SaysSoWhenNoDetectorIsFound) {
    EXPECT_EQ(FormatDetectorList({}, {}), "No detector found.\n");
}

}  // namespace
