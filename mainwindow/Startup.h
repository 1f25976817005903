// The program's entry sequence, shared by holvane and holvane-demo: splash, application title,
// main window, hidden About dialog, the pause, the splash's end, the message loop.
#pragma once

#include <QString>

namespace holvane {

// The launchers' desktop files (their names without ".desktop"). A program names its own, so
// that docks and task bars match its windows to its launcher; the launcher's StartupWMClass is
// the program's file name, which X11 gives its windows as their instance name.
inline constexpr char ProgramDesktopFile[] = "org.holvane.Holvane";
inline constexpr char DemoDesktopFile[] = "org.holvane.Holvane.Demo";

// Runs the program in the application object that the caller made; answers 0, or 1 when the
// window could not be built (after saying why in an error box). The caption
// note, when not empty, is added to the main window's caption.
int RunProgram(const char* desktopFile, const QString& captionNote = {});

}  // namespace holvane
