// holvane-demo: the same program on a virtual detector with sample content, for trying every
// action without hardware. The in-memory HID platform takes the place of the system's before
// anything of the library runs.
#include <QApplication>

#include "DemoContent.h"
#include "MemoryHidPlatform.h"
#include "Startup.h"
#include "VirtualDetector.h"
#include "platform/HidPlatform.h"

int main(int argc, char** argv) {
    holvane::simulator::VirtualDetector detector;
    holvane::simulator::SeedDemoContent(detector);
    holvane::simulator::MemoryHidPlatform platform;
    holvane::simulator::MemoryHidInterface demoInterface;
    demoInterface.path = "/dev/hidraw-demo";
    platform.AddInterface(demoInterface, &detector);
    tovra::SetHidPlatform(&platform);

    int result = 0;
    {
        QApplication application(argc, argv);
        result = holvane::RunProgram(holvane::DemoDesktopFile, QStringLiteral("demo detector"));
    }
    tovra::SetHidPlatform(nullptr);
    return result;
}
