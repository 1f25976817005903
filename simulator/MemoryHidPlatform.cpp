#include "MemoryHidPlatform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <thread>

#include "VirtualDetector.h"

namespace holvane::simulator {

struct MemoryHidPlatform::InterfaceState {
    explicit InterfaceState(const MemoryHidInterface& c, VirtualDetector* d)
        : config(c), detector(d) {}

    const MemoryHidInterface config;  // immutable
    VirtualDetector* const detector;  // immutable; null when bound to nothing

    // Gone: unplugged, or the bound detector lost the link.
    bool Gone() const {
        {
            std::lock_guard lock(mutex);
            if (!pluggedIn) {
                return true;
            }
        }
        return detector != nullptr && detector->LinkLost();
    }

    mutable std::mutex mutex;         // guards every field below
    std::condition_variable changed;  // input injected or plugged in/out
    bool pluggedIn = true;
    bool openFails = false;
    bool held = false;  // a device opened with OpenExclusive exists
    std::deque<std::vector<std::uint8_t>> injected;
    std::vector<std::vector<std::uint8_t>> outputs;
    int readCalls = 0;
    int inputReports = 0;
    int openCount = 0;
};

namespace {

using State = MemoryHidPlatform::InterfaceState;
using Clock = std::chrono::steady_clock;

class MemoryHidDevice : public tovra::IHidDevice {
public:
    MemoryHidDevice(std::shared_ptr<State> state, bool holds)
        : state_(std::move(state)), holds_(holds) {}
    ~MemoryHidDevice() override {
        if (holds_) {
            std::lock_guard lock(state_->mutex);
            state_->held = false;
        }
    }
    MemoryHidDevice(const MemoryHidDevice&) = delete;
    MemoryHidDevice& operator=(const MemoryHidDevice&) = delete;

    bool GetAttributes(std::uint16_t& vendorId, std::uint16_t& productId) override {
        if (!state_->config.attributesReadable || state_->Gone()) {
            return false;
        }
        vendorId = state_->config.vendorId;
        productId = state_->config.productId;
        return true;
    }

    bool SetInputQueueSize(std::uint32_t count) override {
        return count >= 1 && count <= state_->config.maxInputQueue;
    }

    std::uint32_t InputReportLength() override { return state_->config.reportLength; }

    std::size_t Read(std::uint8_t* buffer, std::size_t n, unsigned timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        const std::size_t length = state_->config.reportLength;
        {
            std::lock_guard lock(state_->mutex);
            ++state_->readCalls;
        }
        const std::size_t reports = length >= 2 ? n / length : 0;
        if (reports == 0 || cancelled_.load()) {
            return 0;
        }
        if (IsGone()) {
            WaitUntil(deadline, [] { return false; });
            return 0;
        }
        std::size_t used = 0;
        if (state_->detector == nullptr) {
            used = ReadInjected(buffer, reports, deadline);
        } else if (state_->config.paced) {
            used = ReadPaced(buffer, reports, deadline);
        } else {
            used = ReadFromDetector(buffer, reports, deadline);
        }
        std::lock_guard lock(state_->mutex);
        state_->inputReports += static_cast<int>(used);
        return used * length;
    }

    std::size_t Write(const std::uint8_t* report, std::size_t n, unsigned timeoutMs) override {
        if (IsGone() || n == 0 || n != state_->config.reportLength) {
            return 0;
        }
        if (state_->config.paced) {
            // The next free slot of the output endpoint; the write returns once it is over.
            const auto now = Clock::now();
            const auto done = std::max(now, outputFree_) + PacedReportInterval;
            if (done > now + std::chrono::milliseconds(timeoutMs)) {
                return 0;
            }
            outputFree_ = done;
            // A sleep may end a little before its time where the system's timer is coarse
            // (Windows); the slot is over only once the clock says so.
            while (Clock::now() < done) {
                std::this_thread::sleep_until(done);
            }
        }
        {
            std::lock_guard lock(state_->mutex);
            state_->outputs.emplace_back(report, report + n);
        }
        if (state_->detector != nullptr) {
            state_->detector->Receive(report + 1, n - 1);
            if (state_->detector->LinkLost()) {
                return 0;  // the detector went away with this report
            }
        }
        return n;
    }

    void CancelReads() override {
        cancelled_.store(true);
        {
            std::lock_guard lock(state_->mutex);
            state_->changed.notify_all();
        }
        if (state_->detector != nullptr) {
            state_->detector->WakeReaders();
        }
    }

    bool IsGone() const override {
        if (!gone_.load() && state_->Gone()) {
            gone_.store(true);  // stays gone until closed, even when plugged in again
        }
        return gone_.load();
    }

private:
    struct PendingReport {
        std::vector<std::uint8_t> bytes;
        Clock::time_point arrival;
    };

    // Detector output is a byte stream: packs `got` bytes into reports behind a 0 report-ID byte
    // at buffer, the last one zero-filled. Returns the reports used.
    std::size_t Pack(const std::uint8_t* bytes, std::size_t got, std::uint8_t* buffer) const {
        const std::size_t length = state_->config.reportLength;
        const std::size_t room = length - 1;
        const std::size_t used = (got + room - 1) / room;
        std::memset(buffer, 0, used * length);
        for (std::size_t r = 0; r < used; ++r) {
            const std::size_t take = std::min(room, got - r * room);
            std::memcpy(buffer + r * length + 1, bytes + r * room, take);
        }
        return used;
    }

    static std::chrono::milliseconds Left(Clock::time_point deadline) {
        return std::chrono::ceil<std::chrono::milliseconds>(
            std::max(deadline - Clock::now(), Clock::duration::zero()));
    }

    std::size_t ReadFromDetector(std::uint8_t* buffer, std::size_t reports,
                                 Clock::time_point deadline) {
        const std::size_t room = state_->config.reportLength - 1;
        std::vector<std::uint8_t> bytes(reports * room);
        const std::size_t got =
            state_->detector->ReadOutput(bytes.data(), bytes.size(), Left(deadline), &cancelled_);
        return Pack(bytes.data(), got, buffer);
    }

    // What is due is taken from the detector at once, as reports that reach the host one slot
    // apart; a read hands out those that have arrived.
    std::size_t ReadPaced(std::uint8_t* buffer, std::size_t reports, Clock::time_point deadline) {
        const std::size_t length = state_->config.reportLength;
        if (pending_.empty()) {
            const std::size_t queue = std::max<std::size_t>(state_->config.maxInputQueue, 1);
            std::vector<std::uint8_t> bytes(queue * (length - 1));
            const std::size_t got = state_->detector->ReadOutput(bytes.data(), bytes.size(),
                                                                 Left(deadline), &cancelled_);
            std::vector<std::uint8_t> packed(queue * length);
            const std::size_t used = Pack(bytes.data(), got, packed.data());
            const auto now = Clock::now();
            for (std::size_t r = 0; r < used; ++r) {
                lastArrival_ = std::max(now, lastArrival_) + PacedReportInterval;
                pending_.push_back({std::vector<std::uint8_t>(packed.begin() + r * length,
                                                              packed.begin() + (r + 1) * length),
                                    lastArrival_});
            }
            if (used == 0) {
                return 0;
            }
        }
        if (!WaitUntil(std::min(pending_.front().arrival, deadline), [] { return false; })) {
            return 0;
        }
        const auto now = Clock::now();
        std::size_t used = 0;
        while (used < reports && !pending_.empty() && pending_.front().arrival <= now) {
            std::memcpy(buffer + used * length, pending_.front().bytes.data(), length);
            pending_.pop_front();
            ++used;
        }
        return used;
    }

    std::size_t ReadInjected(std::uint8_t* buffer, std::size_t reports,
                             Clock::time_point deadline) {
        const std::size_t length = state_->config.reportLength;
        std::unique_lock lock(state_->mutex);
        state_->changed.wait_until(lock, deadline,
                                   [this] { return !state_->injected.empty() || cancelled_; });
        std::size_t used = 0;
        while (!cancelled_ && state_->pluggedIn && used < reports && !state_->injected.empty()) {
            std::memcpy(buffer + used * length, state_->injected.front().data(), length);
            state_->injected.pop_front();
            ++used;
        }
        return used;
    }

    // Waits until the deadline, done() or CancelReads; false when cancelled.
    template <typename Done>
    bool WaitUntil(Clock::time_point deadline, Done done) {
        std::unique_lock lock(state_->mutex);
        state_->changed.wait_until(lock, deadline, [&] { return cancelled_.load() || done(); });
        return !cancelled_.load();
    }

    std::shared_ptr<State> state_;
    const bool holds_;  // opened exclusively: lets go of the interface when destroyed
    std::atomic<bool> cancelled_{false};
    mutable std::atomic<bool> gone_{false};
    // Paced mode: the output side belongs to the writing thread, the input side to the reader.
    Clock::time_point outputFree_{};
    Clock::time_point lastArrival_{};
    std::deque<PendingReport> pending_;
};

}  // namespace

MemoryHidPlatform::MemoryHidPlatform() = default;
MemoryHidPlatform::~MemoryHidPlatform() = default;

void MemoryHidPlatform::AddInterface(const MemoryHidInterface& config, VirtualDetector* detector) {
    auto state = std::make_shared<InterfaceState>(config, detector);
    std::lock_guard lock(mutex_);
    const auto same = std::find_if(interfaces_.begin(), interfaces_.end(),
                                   [&](const auto& s) { return s->config.path == config.path; });
    if (same != interfaces_.end()) {
        *same = std::move(state);
    } else {
        interfaces_.push_back(std::move(state));
    }
}

std::shared_ptr<MemoryHidPlatform::InterfaceState> MemoryHidPlatform::Find(
    const std::string& path) const {
    std::lock_guard lock(mutex_);
    for (const auto& state : interfaces_) {
        if (state->config.path == path) {
            return state;
        }
    }
    return nullptr;
}

void MemoryHidPlatform::SetPluggedIn(const std::string& path, bool pluggedIn) {
    if (auto state = Find(path)) {
        std::lock_guard lock(state->mutex);
        state->pluggedIn = pluggedIn;
        state->changed.notify_all();
    }
}

void MemoryHidPlatform::SetOpenFails(const std::string& path, bool fails) {
    if (auto state = Find(path)) {
        std::lock_guard lock(state->mutex);
        state->openFails = fails;
    }
}

bool MemoryHidPlatform::InjectInputReport(const std::string& path,
                                          std::vector<std::uint8_t> report) {
    auto state = Find(path);
    if (!state || state->detector != nullptr || report.size() != state->config.reportLength ||
        report.empty()) {
        return false;
    }
    std::lock_guard lock(state->mutex);
    state->injected.push_back(std::move(report));
    state->changed.notify_all();
    return true;
}

namespace {
std::shared_ptr<State> Require(std::shared_ptr<State> state) {
    if (!state) {
        throw std::out_of_range("no such interface");
    }
    return state;
}
}  // namespace

std::vector<std::vector<std::uint8_t>> MemoryHidPlatform::OutputReports(
    const std::string& path) const {
    auto state = Require(Find(path));
    std::lock_guard lock(state->mutex);
    return state->outputs;
}

int MemoryHidPlatform::ReadCalls(const std::string& path) const {
    auto state = Require(Find(path));
    std::lock_guard lock(state->mutex);
    return state->readCalls;
}

int MemoryHidPlatform::InputReportCount(const std::string& path) const {
    auto state = Require(Find(path));
    std::lock_guard lock(state->mutex);
    return state->inputReports;
}

int MemoryHidPlatform::OpenCount(const std::string& path) const {
    auto state = Require(Find(path));
    std::lock_guard lock(state->mutex);
    return state->openCount;
}

std::vector<tovra::HidInterfaceInfo> MemoryHidPlatform::ListInterfaces() {
    std::vector<std::shared_ptr<InterfaceState>> all;
    {
        std::lock_guard lock(mutex_);
        all = interfaces_;
    }
    std::vector<tovra::HidInterfaceInfo> listed;
    for (const auto& state : all) {
        if (!state->Gone()) {
            listed.push_back({state->config.path});
        }
    }
    return listed;
}

std::unique_ptr<tovra::IHidDevice> MemoryHidPlatform::Open(const std::string& path) {
    tovra::HidOpenError error = tovra::HidOpenError::None;
    return OpenDevice(path, false, error);
}

std::unique_ptr<tovra::IHidDevice> MemoryHidPlatform::OpenExclusive(const std::string& path,
                                                                    tovra::HidOpenError& error) {
    return OpenDevice(path, true, error);
}

std::unique_ptr<tovra::IHidDevice> MemoryHidPlatform::OpenDevice(const std::string& path,
                                                                 bool exclusive,
                                                                 tovra::HidOpenError& error) {
    error = tovra::HidOpenError::Failed;
    auto state = Find(path);
    if (!state || state->Gone()) {
        return nullptr;
    }
    {
        std::lock_guard lock(state->mutex);
        if (state->openFails) {
            return nullptr;
        }
        if (exclusive && state->held) {
            error = tovra::HidOpenError::InUse;
            return nullptr;
        }
        state->held = state->held || exclusive;
        ++state->openCount;
    }
    error = tovra::HidOpenError::None;
    return std::make_unique<MemoryHidDevice>(std::move(state), exclusive);
}

}  // namespace holvane::simulator
