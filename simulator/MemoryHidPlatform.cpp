#include "MemoryHidPlatform.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <stdexcept>

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
    std::deque<std::vector<std::uint8_t>> injected;
    std::vector<std::vector<std::uint8_t>> outputs;
    int readCalls = 0;
    int openCount = 0;
};

namespace {

using State = MemoryHidPlatform::InterfaceState;

class MemoryHidDevice : public tovra::IHidDevice {
  public:
    explicit MemoryHidDevice(std::shared_ptr<State> state) : state_(std::move(state)) {}

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
        const auto timeout = std::chrono::milliseconds(timeoutMs);
        const std::size_t length = state_->config.reportLength;
        {
            std::lock_guard lock(state_->mutex);
            ++state_->readCalls;
        }
        const std::size_t reports = length >= 2 ? n / length : 0;
        if (reports == 0) {
            return 0;
        }
        if (state_->Gone()) {
            WaitOut(timeout);
            return 0;
        }
        if (state_->detector != nullptr) {
            return ReadFromDetector(buffer, reports, timeout);
        }
        return ReadInjected(buffer, reports, timeout);
    }

    std::size_t Write(const std::uint8_t* report, std::size_t n, unsigned /*timeoutMs*/) override {
        if (state_->Gone() || n == 0 || n != state_->config.reportLength) {
            return 0;
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

  private:
    // Detector output is a byte stream: pack it into reports behind a 0 report-ID byte.
    std::size_t ReadFromDetector(std::uint8_t* buffer, std::size_t reports,
                                 std::chrono::milliseconds timeout) {
        const std::size_t length = state_->config.reportLength;
        const std::size_t room = length - 1;
        std::vector<std::uint8_t> bytes(reports * room);
        const std::size_t got = state_->detector->ReadOutput(bytes.data(), bytes.size(), timeout);
        const std::size_t used = (got + room - 1) / room;
        std::memset(buffer, 0, used * length);
        for (std::size_t r = 0; r < used; ++r) {
            const std::size_t take = std::min(room, got - r * room);
            std::memcpy(buffer + r * length + 1, bytes.data() + r * room, take);
        }
        return used * length;
    }

    std::size_t ReadInjected(std::uint8_t* buffer, std::size_t reports,
                             std::chrono::milliseconds timeout) {
        const std::size_t length = state_->config.reportLength;
        std::unique_lock lock(state_->mutex);
        state_->changed.wait_for(lock, timeout, [this] { return !state_->injected.empty(); });
        std::size_t used = 0;
        while (state_->pluggedIn && used < reports && !state_->injected.empty()) {
            std::memcpy(buffer + used * length, state_->injected.front().data(), length);
            state_->injected.pop_front();
            ++used;
        }
        return used * length;
    }

    // A device that is gone answers nothing; the read still takes its time.
    void WaitOut(std::chrono::milliseconds timeout) {
        std::unique_lock lock(state_->mutex);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (state_->changed.wait_until(lock, deadline) != std::cv_status::timeout) {
        }
    }

    std::shared_ptr<State> state_;
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
    auto state = Find(path);
    if (!state || state->Gone()) {
        return nullptr;
    }
    {
        std::lock_guard lock(state->mutex);
        if (state->openFails) {
            return nullptr;
        }
        ++state->openCount;
    }
    return std::make_unique<MemoryHidDevice>(std::move(state));
}

}  // namespace holvane::simulator
