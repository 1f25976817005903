// holvanectl: runs one command line against the detector (or the virtual one) and answers the
// exit status: 0 success, 1 a failed action, 2 a usage error, 128 + N an action stopped by
// signal N between two requests (as a shell reports a program the signal ended).
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>

namespace holvane::cli {

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitStoppedBase = 128;

struct Console {
    std::ostream& out;  // results
    std::ostream& err;  // messages, progress and questions
    // Reads the answer to a question from the terminal; empty when there is no terminal (or
    // it has nothing more to read).
    std::function<std::optional<std::string>()> readAnswer;
};

// args are the arguments after the program name.
int Run(std::span<const std::string> args, Console& console);

// A message of the program as a terminal shows it: "\r\n" as a line break, ending in exactly
// one line break.
std::string Shown(std::string_view message);

}  // namespace holvane::cli
