// holvanectl, the command-line front end.
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <iostream>
#include <string>
#include <vector>

#include "Holvanectl.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    holvane::cli::Console console{std::cout, std::cerr, {}};
#if defined(_WIN32)
    const bool terminal = _isatty(_fileno(stdin)) != 0;
#else
    const bool terminal = isatty(STDIN_FILENO) == 1;
#endif
    if (terminal) {
        console.readAnswer = []() -> std::optional<std::string> {
            std::string line;
            if (!std::getline(std::cin, line)) {
                return std::nullopt;
            }
            return line;
        };
    }
    const int status = holvane::cli::Run(args, console);
    std::cout.flush();
    return std::cout.good() ? status : holvane::cli::ExitFailed;
}
