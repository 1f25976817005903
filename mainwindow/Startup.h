// The program's entry sequence, shared by holvane and holvane-demo: splash, application title,
// main window, hidden About dialog, the pause, the splash's end, the message loop.
#pragma once

#include <QString>

namespace holvane {

// Runs the program in the application object that the caller made; answers 0, or 1 when the
// window could not be built (after saying why in an error box). The caption
// note, when not empty, is added to the main window's caption.
int RunProgram(const QString& captionNote = {});

}  // namespace holvane
