// SIGINT, SIGTERM and SIGHUP as holvanectl takes them: never in the middle of a request to the
// detector, whose reports would be left half-sent, but between two requests, where they end the
// action (see RequestGate). The signals are held back during every call into the library, so
// the library's own threads never take them either.
#pragma once

#include <optional>
#include <string>

namespace holvane::cli {

// Catches the three signals (those the program was started with ignored stay ignored) and
// installs the request gate that acts on them. Once, before the first detector action.
void CatchStopSignals();

// The first stop signal caught, 0 while none was.
int StopSignal();

// "SIGINT", "SIGTERM" or "SIGHUP".
std::string StopSignalName(int signal);

// A line from standard input, the newline taken off; empty at its end, on an error, or when a
// stop signal arrives while it waits (a plain read would carry on waiting).
std::optional<std::string> ReadAnswerLine();

}  // namespace holvane::cli
