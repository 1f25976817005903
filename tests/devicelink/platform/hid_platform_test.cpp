#include "platform/HidPlatform.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include "platform/WindowsHid.h"
using OperatingSystemPlatform = tovra::WindowsHidPlatform;
#else
#include "platform/LinuxHidraw.h"
using OperatingSystemPlatform = tovra::LinuxHidrawPlatform;
#endif

using namespace tovra;

namespace {

class EmptyPlatform : public IHidPlatform {
public:
    std::vector<HidInterfaceInfo> ListInterfaces() override { return {}; }
    std::unique_ptr<IHidDevice> Open(const std::string&) override { return nullptr; }
    std::unique_ptr<IHidDevice> OpenExclusive(const std::string&, HidOpenError& error) override {
        error = HidOpenError::Failed;
        return nullptr;
    }
};

}  // namespace

TEST(HidPlatformTest, InstalledPlatformReplacesTheOperatingSystemsUntilCleared) {
    IHidPlatform& os = CurrentHidPlatform();
    EXPECT_NE(dynamic_cast<OperatingSystemPlatform*>(&os), nullptr);
    EXPECT_EQ(&CurrentHidPlatform(), &os);  // one process-wide instance

    EmptyPlatform installed;
    SetHidPlatform(&installed);
    EXPECT_EQ(&CurrentHidPlatform(), &installed);
    SetHidPlatform(nullptr);
    EXPECT_EQ(&CurrentHidPlatform(), &os);
}
