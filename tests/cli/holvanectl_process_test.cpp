// holvanectl as its own process: what only a process shows, its standard output failing and the
// signals that stop it.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "CliFixture.h"
#include "DemoContent.h"
#include "Fileio.h"
#include "VirtualDetector.h"

extern char** environ;

using namespace holvane;
using holvane::simulator::VirtualDetector;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto Bound = std::chrono::seconds(20);

// A holvanectl process with standard input from `in`, standard output to `out` and standard
// error into `errPipe`.
pid_t Start(const std::vector<std::string>& args, const char* out, int errPipe,
            const char* in = "/dev/null") {
    std::vector<char*> argv;
    std::string program = HOLVANECTL_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, in, O_RDWR, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out, O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errPipe, STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Everything left in the pipe until the process closes it, then its exit status (-1: killed at
// the time bound, or ended by a signal).
// A started program, killed and reaped if a test ends before Finish() reaps it, so that a
// failed assertion leaves no process behind.
struct Child {
    pid_t pid = -1;
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

int Finish(Child& child, int readEnd, std::string& text) {
    const pid_t pid = child.pid;
    const auto deadline = Clock::now() + Bound;
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{readEnd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        const ssize_t n = ::read(readEnd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    child.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class HolvanectlProcessTest : public cli::test::CliTest {};

TEST_F(HolvanectlProcessTest, AFailedWriteToStandardOutputIsExplained) {
    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    Child child{Start({"--demo", "backup", Path("b")}, "/dev/full", errPipe[1])};
    ::close(errPipe[1]);
    ASSERT_GT(child.pid, 0);
    std::string err;
    EXPECT_EQ(Finish(child, errPipe[0], err), cli::ExitFailed);
    ::close(errPipe[0]);
    EXPECT_NE(err.find("holvanectl: cannot write to standard output: No space left on device\n"),
              std::string::npos)
        << err;
}

// SIGINT while a restore writes: the request under way is finished, the next one never sent.
// The restore is held at a known place without a timer: its standard error is a pipe of one
// page, filled beforehand so that the progress line of the first record is the last that fits.
// The signal is sent once that line is in the pipe; the process then cannot pass the progress
// line of the second record until the test reads, so the signal lands while the second record
// is written or just after it, and the third is the first the stop can keep back. No safety copy,
// so that the first record's line is the first the restore prints.
TEST_F(HolvanectlProcessTest, SigintDuringARestoreEndsItBetweenTwoRecords) {
    VirtualDetector seedDetector;  // default content
    const BackupPayload seed = seedDetector.SaveBackup();
    VirtualDetector demo;
    simulator::SeedDemoContent(demo);
    const BackupPayload restored = demo.SaveBackup();
    ASSERT_EQ(WriteBackupFile(Path("seed.vantor"), seed), FileResult::Success);
    ASSERT_EQ(WriteBackupFile(Path("restored.vantor"), restored), FileResult::Success);
    // What the detector holds once the current mode and the universal settings are restored.
    BackupPayload expected = seed;
    for (const auto& [offset, size] : {std::pair{backup::CurrentMode, ModeSize},
                                       std::pair{backup::UniversalSettings, UniversalSettingsSize},
                                       std::pair{backup::Preferences, PreferencesSize}}) {
        const auto from = restored.begin() + static_cast<long>(offset);
        ASSERT_FALSE(std::equal(from, from + static_cast<long>(size),
                                seed.begin() + static_cast<long>(offset)))
            << "the record at " << offset << " is the same in both files";
        if (offset != backup::Preferences) {
            std::copy(from, from + static_cast<long>(size),
                      expected.begin() + static_cast<long>(offset));
        }
    }

    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    const long page = ::sysconf(_SC_PAGESIZE);
    ASSERT_EQ(::fcntl(errPipe[1], F_SETPIPE_SZ, page), page);
    const std::string firstLine = "wrote current mode\n";
    const std::string filler(static_cast<std::size_t>(page) - firstLine.size(), '.');
    ASSERT_EQ(::write(errPipe[1], filler.data(), filler.size()),
              static_cast<ssize_t>(filler.size()));

    Child child{Start({"--simulate", Path("seed.vantor"), "--save-state", Path("state"), "restore",
                       Path("restored.vantor"), "--yes", "--no-safety-copy"},
                      "/dev/null", errPipe[1])};
    ::close(errPipe[1]);
    ASSERT_GT(child.pid, 0);
    // Wait until the first progress line fills the pipe.
    const auto deadline = Clock::now() + Bound;
    int queued = 0;
    while (::ioctl(errPipe[0], FIONREAD, &queued) == 0 && queued < page &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(queued, page);
    ASSERT_EQ(::kill(child.pid, SIGINT), 0);

    std::string err;
    const int status = Finish(child, errPipe[0], err);
    ::close(errPipe[0]);
    err.erase(0, filler.size());
    EXPECT_EQ(status, 128 + SIGINT) << err;
    EXPECT_EQ(err.rfind(firstLine + "wrote universal settings\n", 0), 0u) << err;
    EXPECT_EQ(err.find("wrote preferences"), std::string::npos) << err;
    EXPECT_NE(err.find("holvanectl: stopped by SIGINT before the action was finished; nothing "
                       "more was sent to the Vantor, not even the end-of-upload command.\n"),
              std::string::npos)
        << err;

    // The virtual detector's state: the first two records restored, every other as it was.
    BackupPayload state{};
    ASSERT_EQ(ReadBackupFile(Path("state.vantor"), state), FileResult::Success);
    EXPECT_EQ(state, expected);
}

// SIGINT while the restore's question waits for an answer on the terminal: no answer is taken,
// nothing is written.
TEST_F(HolvanectlProcessTest, SigintAtTheQuestionRestoresNothing) {
    VirtualDetector seedDetector;
    const BackupPayload seed = seedDetector.SaveBackup();
    VirtualDetector demo;
    simulator::SeedDemoContent(demo);
    ASSERT_EQ(WriteBackupFile(Path("seed.vantor"), seed), FileResult::Success);
    ASSERT_EQ(WriteBackupFile(Path("restored.vantor"), demo.SaveBackup()), FileResult::Success);

    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const std::string side = ::ptsname(terminal);
    const int sideFd = ::open(side.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(sideFd, 0);
    Child child{Start({"--simulate", Path("seed.vantor"), "--save-state", Path("state"), "restore",
                       Path("restored.vantor")},
                      "/dev/null", sideFd, side.c_str())};
    ::close(sideFd);
    ASSERT_GT(child.pid, 0);

    // The question is on the terminal once "[y/N] " is.
    std::string err;
    const auto deadline = Clock::now() + Bound;
    char buffer[256];
    while (err.find("[y/N] ") == std::string::npos && Clock::now() < deadline) {
        pollfd p{terminal, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            const ssize_t n = ::read(terminal, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            err.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ASSERT_NE(err.find("[y/N] "), std::string::npos) << err;
    ASSERT_EQ(::kill(child.pid, SIGINT), 0);
    // The terminal reports an error instead of its end once the program has closed it.
    const int status = Finish(child, terminal, err);
    ::close(terminal);
    EXPECT_EQ(status, 128 + SIGINT) << err;
    EXPECT_NE(err.find("holvanectl: stopped by SIGINT"), std::string::npos) << err;
    EXPECT_EQ(err.find("wrote"), std::string::npos) << err;
    BackupPayload state{};
    ASSERT_EQ(ReadBackupFile(Path("state.vantor"), state), FileResult::Success);
    EXPECT_EQ(state, seed);
}

}  // namespace
