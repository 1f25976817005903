// Times the detector link on a paced in-memory link (one 64-byte report per millisecond each
// way, as USB full speed schedules an interrupt endpoint pair) against a virtual detector:
//   - a full backup and a full restore through the procedures both front ends run, and the two
//     steps that look before a write: comparing a backup with the detector (a backup's reads and
//     the comparison) and the safety copy (a backup's reads and the save), each as the median
//     wall time of several runs and as a ratio to the link's bound, which is one millisecond per
//     report moved (the reports are counted on the link);
//   - DEV_Delete of an open, running, idle device;
//   - how often the reader of an idle open connection wakes.
// Prints the figures; checks none of them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "Backup.h"
#include "MemoryHidPlatform.h"
#include "RecordDiff.h"
#include "VirtualDetector.h"
#include "WriteChecks.h"
#include "platform/HidPlatform.h"
#include "tovra.h"

namespace {

using holvane::simulator::MemoryHidInterface;
using holvane::simulator::MemoryHidPlatform;
using holvane::simulator::PacedReportInterval;
using holvane::simulator::VirtualDetector;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr const char* LinkPath = "bench:paced";

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Traffic {
    std::size_t out = 0;
    std::size_t in = 0;
};

Traffic Count(const MemoryHidPlatform& platform) {
    return {platform.OutputReports(LinkPath).size(),
            static_cast<std::size_t>(platform.InputReportCount(LinkPath))};
}

// Runs one procedure `runs` times and prints its line; false when a run failed.
template <typename Procedure>
bool TimeProcedure(const char* name, int runs, MemoryHidPlatform& platform, Procedure procedure) {
    std::vector<double> times;
    Traffic traffic;
    for (int run = 0; run < runs; ++run) {
        const Traffic before = Count(platform);
        const auto start = Clock::now();
        if (!procedure()) {
            std::printf("%-15s failed in run %d\n", name, run + 1);
            return false;
        }
        times.push_back(Ms(Clock::now() - start).count());
        const Traffic after = Count(platform);
        traffic = {after.out - before.out, after.in - before.in};
    }
    const double bound =
        Ms(PacedReportInterval).count() * static_cast<double>(traffic.out + traffic.in);
    const double median = Median(times);
    std::printf(
        "%-15s %3zu reports (%zu out, %zu in), bound %5.1f ms, median %6.1f ms, %.2f x "
        "bound\n",
        name, traffic.out + traffic.in, traffic.out, traffic.in, bound, median, median / bound);
    return true;
}

TOVRA_DEV OpenRunning() {
    TOVRA_DEV dev = DEV_Create();
    if (DEV_Open(dev, LinkPath, "") != 1) {
        DEV_Delete(dev);
        return nullptr;
    }
    DEV_Resume(dev);
    return dev;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    VirtualDetector detector;
    MemoryHidPlatform platform;
    MemoryHidInterface link;
    link.path = LinkPath;
    link.paced = true;
    platform.AddInterface(link, &detector);
    tovra::SetHidPlatform(&platform);

    std::printf("paced link: 1 report of %u bytes per %.1f ms each way; median of %d runs\n",
                link.reportLength, Ms(PacedReportInterval).count(), runs);
    holvane::BackupPayload payload{};
    bool ok = TimeProcedure("backup", runs, platform, [&] {
        const holvane::BackupOutcome outcome = holvane::CreateBackup();
        payload = outcome.payload;
        return outcome.result == holvane::BackupOutcome::Result::Done;
    });
    ok = ok && TimeProcedure("restore", runs, platform, [&] {
             return holvane::RestoreBackup(payload, [] { return true; }).result ==
                    holvane::RestoreOutcome::Result::Done;
         });

    ok =
        ok && TimeProcedure("diff --detector", runs, platform, [&] {
            const holvane::BackupOutcome held = holvane::CreateBackup();
            return held.result == holvane::BackupOutcome::Result::Done &&
                   holvane::DiffRecords(holvane::DiffRecord::Backup, payload, held.payload).empty();
        });
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("holvane-bench-safety-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    ok = ok && TimeProcedure("safety copy", runs, platform, [&] {
             return holvane::SaveSafetyCopy(folder.string()).result ==
                    holvane::SafetyCopyOutcome::Result::Saved;
         });
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);

    std::vector<double> deletes;
    for (int run = 0; ok && run < runs; ++run) {
        TOVRA_DEV dev = OpenRunning();
        if (dev == nullptr) {
            ok = false;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the reader is waiting
        const auto start = Clock::now();
        DEV_Delete(dev);
        deletes.push_back(Ms(Clock::now() - start).count());
    }
    if (ok) {
        std::printf("DEV_Delete of an open running device: median %.2f ms\n", Median(deletes));
    }

    if (TOVRA_DEV dev = ok ? OpenRunning() : nullptr) {
        constexpr auto idle = std::chrono::seconds(3);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int before = platform.ReadCalls(LinkPath);
        std::this_thread::sleep_for(idle);
        const int wakeUps = platform.ReadCalls(LinkPath) - before;
        DEV_Delete(dev);
        std::printf("idle open connection: %.1f reader wake-ups per second\n",
                    wakeUps / std::chrono::duration<double>(idle).count());
    }

    tovra::SetHidPlatform(nullptr);
    if (!ok) {
        std::printf("the benchmark could not finish\n");
    }
    return ok ? 0 : 1;
}
