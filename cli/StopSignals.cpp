#include "StopSignals.h"

#include <csignal>
#include <iostream>

#include "Vantor.h"

#if !defined(_WIN32)
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace holvane::cli {

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

#if !defined(_WIN32)

extern "C" void OnStopSignal(int signal) {
    if (g_stopSignal == 0) {
        g_stopSignal = signal;
    }
}

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

#endif

}  // namespace

void CatchStopSignals() {
#if !defined(_WIN32)
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_mask = StopSignalSet();
    // Interrupted writes and reads carry on: the signal is acted on between requests, and a
    // file or a line of output is not cut short by it.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) {
            continue;
        }
        ::sigaction(signal, &action, nullptr);
    }
    // Released, the mask is the one from before the hold: signals blocked by whoever started
    // the program stay blocked.
    SetRequestGate({[] { return g_stopSignal != 0; },
                    [](bool held) {
                        static sigset_t before;
                        if (held) {
                            const sigset_t set = StopSignalSet();
                            ::pthread_sigmask(SIG_BLOCK, &set, &before);
                        } else {
                            ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
                        }
                    }});
#endif
}

int StopSignal() {
    return g_stopSignal;
}

std::string StopSignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
#if !defined(_WIN32)
        case SIGHUP:
            return "SIGHUP";
#endif
        default:
            return "signal " + std::to_string(signal);
    }
}

std::optional<std::string> ReadAnswerLine() {
#if !defined(_WIN32)
    // The signals stay held back from the look at the flag until the wait has begun, so that
    // one arriving in between still ends the wait.
    const sigset_t set = StopSignalSet();
    sigset_t before;
    ::pthread_sigmask(SIG_BLOCK, &set, &before);
    bool ready = false;
    while (g_stopSignal == 0 && !ready) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int n = ::ppoll(&p, 1, nullptr, &before);
        ready = n > 0 || (n < 0 && errno != EINTR);
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (g_stopSignal != 0) {
        return std::nullopt;
    }
#endif
    std::string line;
    if (!std::getline(std::cin, line)) {
        return std::nullopt;
    }
    return line;
}

}  // namespace holvane::cli
