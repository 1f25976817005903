// The program's entry sequence, shared by holvane and holvane-demo: splash, application title,
// main window, hidden About dialog, the pause, the splash's end, the message loop.
#pragma once

#include <QString>

namespace holvane {

// Runs the program in the application object that the caller made; answers 0. The caption
// note, when not empty, is added to the main window's caption.
int RunProgram(const QString& captionNote = {});

}  // namespace holvane
