// holvanectl, the command-line front end.
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "Holvanectl.h"
#include "StopSignals.h"

namespace {

// Standard output through a buffer of its own, which remembers why a write failed (a full disk,
// a closed pipe), so that the program can say so instead of ending quietly.
class StandardOutput : public std::streambuf {
public:
    StandardOutput() { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

    // 0 while every write succeeded; otherwise the error number of the first that failed.
    int Error() const { return error_; }

protected:
    int_type overflow(int_type c) override {
        if (!Drain()) {
            return traits_type::eof();
        }
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return Drain() ? 0 : -1; }

private:
    bool Drain() {
        const char* data = pbase();
        std::size_t left = static_cast<std::size_t>(pptr() - pbase());
        while (left > 0 && error_ == 0) {
#if defined(_WIN32)
            const int n = ::_write(1, data, static_cast<unsigned>(left));
#else
            const ssize_t n = ::write(STDOUT_FILENO, data, left);
#endif
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                error_ = n < 0 ? errno : EIO;
                break;
            }
            data += n;
            left -= static_cast<std::size_t>(n);
        }
        setp(buffer_.data(), buffer_.data() + buffer_.size());
        return error_ == 0;
    }

    std::array<char, 4096> buffer_{};
    int error_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    holvane::cli::CatchStopSignals();
    StandardOutput output;
    std::ostream out(&output);
    holvane::cli::Console console{out, std::cerr, {}};
#if defined(_WIN32)
    const bool terminal = _isatty(_fileno(stdin)) != 0;
#else
    const bool terminal = isatty(STDIN_FILENO) == 1;
#endif
    if (terminal) {
        console.readAnswer = holvane::cli::ReadAnswerLine;
    }
    int status = holvane::cli::Run(args, console);
    out.flush();
    if (output.Error() != 0) {
        std::cerr << "holvanectl: cannot write to standard output: "
                  << std::strerror(output.Error()) << "\n";
        if (status == holvane::cli::ExitSuccess) {
            status = holvane::cli::ExitFailed;
        }
    }
    return status;
}
