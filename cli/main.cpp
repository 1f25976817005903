// holvanectl, the command-line front end.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "Holvanectl.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    holvane::cli::Console console{std::cout, std::cerr, {}};
    if (isatty(STDIN_FILENO) == 1) {
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
