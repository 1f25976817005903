// Runs a part of a test in a forked child process: within a time bound, so that a call that
// blocks fails the test instead of hanging it, and, where asked, as an unprivileged user.
#pragma once

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>

namespace holvane::childprocess {

// The user and group an unprivileged child runs as.
inline constexpr uid_t UnprivilegedId = 65534;

struct ChildRun {
    enum class End { Finished, TimedOut, CannotSwitchUser, Died };
    End end = End::Died;
    std::string answer;  // what body() answered
};

// Who a child runs as: the test's own user, or user and group 65534.
enum class ChildUser { Same, Unprivileged };

// Runs body() in a child as `user` and brings back its answer. A child still running after
// `bound` is killed.
inline ChildRun RunInChild(const std::function<std::string()>& body, ChildUser user,
                           std::chrono::milliseconds bound = std::chrono::seconds(5)) {
    int channel[2];
    if (::pipe(channel) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::string message;
        if (user == ChildUser::Unprivileged &&
            (::setgroups(0, nullptr) != 0 ||
             ::setresgid(UnprivilegedId, UnprivilegedId, UnprivilegedId) != 0 ||
             ::setresuid(UnprivilegedId, UnprivilegedId, UnprivilegedId) != 0)) {
            message = "S";
        } else {
            message = "R" + body();
        }
        for (std::size_t done = 0; done < message.size();) {
            const ssize_t n = ::write(channel[1], message.data() + done, message.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    ChildRun run;
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    bool ended = false;
    while (!ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{channel[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0) {
            ::kill(child, SIGKILL);
            run.end = ChildRun::End::TimedOut;
            break;
        }
        char buffer[4096];
        const ssize_t n = ::read(channel[0], buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ended = true;
        }
    }
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    if (run.end == ChildRun::End::TimedOut) {
        return run;
    }
    if (received.empty()) {
        run.end = ChildRun::End::Died;
    } else if (received[0] == 'S') {
        run.end = ChildRun::End::CannotSwitchUser;
    } else {
        run.end = ChildRun::End::Finished;
        run.answer = received.substr(1);
    }
    return run;
}

}  // namespace holvane::childprocess
