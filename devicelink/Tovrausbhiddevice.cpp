#include "Tovrausbhiddevice.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <chrono>

#include "ParameterExchange.h"

namespace tovra {

namespace {

constexpr std::int32_t ReaderChunk = 256;
constexpr std::int32_t LastStreamNumber = 254;
// How often a reader resumed on a device that is not open yet looks whether it has been opened.
constexpr std::chrono::milliseconds NotOpenWait{100};

bool ValidStreamNumber(std::int32_t number) {
    return number >= 0 && number <= LastStreamNumber;
}

// One step above normal scheduling priority, best effort: without the right to raise it the
// thread keeps the normal one.
void RaiseThreadPriority() {
#if defined(_WIN32)
    (void)::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
#else
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    const int current = ::getpriority(PRIO_PROCESS, tid);
    (void)::setpriority(PRIO_PROCESS, tid, current - 1);
#endif
}

}  // namespace

// ---- TovraUsbHidDeviceEnum --------------------------------------------------------------------

const char* TovraUsbHidDeviceEnum::GetDeviceName(std::int32_t index) {
    if (index < 0 || index >= GetNumDevices()) {
        return "";
    }
    return devices_[static_cast<std::size_t>(index)].path.c_str();
}

// ---- TovraUsbHidThread ------------------------------------------------------------------------

TovraUsbHidThread::TovraUsbHidThread(TovraUsbHidDevice& device)
    : device_(device), thread_([this] { Body(); }) {}

TovraUsbHidThread::~TovraUsbHidThread() {
    Stop();
}

void TovraUsbHidThread::Pause() {
    std::lock_guard<std::mutex> guard(lock_);
    ++pauseCount_;
}

void TovraUsbHidThread::Resume() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (pauseCount_ > 0) {
            --pauseCount_;
        }
    }
    wake_.notify_all();
}

bool TovraUsbHidThread::IsPaused() {
    std::lock_guard<std::mutex> guard(lock_);
    return pauseCount_ > 0;
}

void TovraUsbHidThread::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopRequested_ = true;
        pauseCount_ = 0;
    }
    wake_.notify_all();
    device_.CancelReads();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TovraUsbHidThread::Body() {
    RaiseThreadPriority();
    // The read waits for a report, so a pause may come while it waits: what it brought is
    // then held back until the resume, as if it had stayed in the driver's queue.
    const std::function<bool()> mayFeed = [this] {
        std::unique_lock<std::mutex> guard(lock_);
        wake_.wait(guard, [this] { return pauseCount_ == 0; });
        return !stopRequested_;
    };
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] { return pauseCount_ == 0; });
        }
        if (!device_.ReadCycle(mayFeed)) {
            // Nothing to read from a device that is not open, or gone: wait a while (or for the
            // stop) instead of spinning.
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait_for(guard, NotOpenWait, [this] { return stopRequested_; });
        }
        std::lock_guard<std::mutex> guard(lock_);
        if (stopRequested_) {
            return;
        }
    }
}

// ---- TovraUsbHidDevice ------------------------------------------------------------------------

TovraUsbHidDevice::TovraUsbHidDevice() : reader_(std::make_unique<TovraUsbHidThread>(*this)) {}

TovraUsbHidDevice::~TovraUsbHidDevice() {
    reader_->Stop();
    if (multiplexer_) {
        if (control_) {
            multiplexer_->CloseChannel(ControlChannel);
        }
        if (parameter_) {
            multiplexer_->CloseChannel(ParameterChannel);
        }
    }
    exchange_.reset();
    control_.reset();
    parameter_.reset();
    multiplexer_.reset();
    reader_.reset();
}

bool TovraUsbHidDevice::Open(const std::string& path, const std::string& login) {
    if (opened_.load(std::memory_order_acquire) || transport_.IsOpen()) {
        return false;
    }
    path_ = path;
    if (!transport_.Open(path)) {
        return false;
    }
    multiplexer_ = std::make_unique<TovraStream>();
    multiplexer_->Attach(this);
    control_ = multiplexer_->CreateChannel(ControlChannel);
    parameter_ = multiplexer_->CreateChannel(ParameterChannel);
    exchange_ = std::make_unique<ParameterExchange>(*parameter_, ParameterExchange::DefaultSettle,
                                                    [this] { return transport_.IsGone(); });
    opened_.store(true, std::memory_order_release);
    transport_.CompleteDetectorFrame();
    SendLogin(*control_, login);
    return true;
}

bool TovraUsbHidDevice::ReadCycle(const std::function<bool()>& mayFeed) {
    if (!opened_.load(std::memory_order_acquire)) {
        return false;
    }
    std::uint8_t bytes[ReaderChunk];
    const std::int32_t count = transport_.Read(bytes, ReaderChunk);
    if (count > 0 && mayFeed()) {
        multiplexer_->Feed(bytes, static_cast<std::size_t>(count));
    } else if (transport_.IsGone()) {
        // A gone interface answers every read at once: wake a waiting request, and let the
        // reader wait a read's time instead of spinning.
        parameter_->Interrupt();
        return false;
    }
    return true;
}

IStreamBase* TovraUsbHidDevice::OpenStream(std::int32_t number, std::int32_t /*reserved*/) {
    if (!opened_.load(std::memory_order_acquire) || !ValidStreamNumber(number)) {
        return nullptr;
    }
    auto stream = multiplexer_->CreateChannel(static_cast<std::uint8_t>(number + 1));
    if (!stream) {
        return nullptr;
    }
    SendStreamCommand(*control_, "data", number);
    // The multiplexer keeps the stream: the handle stays valid until CloseStream or the
    // device's destruction.
    return stream.get();
}

bool TovraUsbHidDevice::CloseStream(std::int32_t number) {
    if (!opened_.load(std::memory_order_acquire) || !ValidStreamNumber(number)) {
        return false;
    }
    const auto channel = static_cast<std::uint8_t>(number + 1);
    multiplexer_->CloseChannel(channel);
    if (channel == ParameterChannel) {
        // The stream had taken the parameter channel over; parameter calls have it back.
        multiplexer_->RegisterChannel(parameter_);
    }
    return SendStreamCommand(*control_, "clear", number);
}

bool TovraUsbHidDevice::SetParameter(std::uint8_t id, const void* data, std::int32_t size,
                                     std::uint32_t timeoutMs) {
    if (!opened_.load(std::memory_order_acquire)) {
        return false;
    }
    return exchange_->Set(id, data, size, timeoutMs) == ParameterResult::Accepted;
}

bool TovraUsbHidDevice::GetParameter(std::uint8_t id, void* buffer, std::int32_t size,
                                     std::uint32_t timeoutMs) {
    if (!opened_.load(std::memory_order_acquire)) {
        return false;
    }
    return exchange_->Get(id, buffer, size, timeoutMs) == ParameterResult::Accepted;
}

ParameterResult TovraUsbHidDevice::LastParameterResult() const {
    return exchange_ ? exchange_->LastResult() : ParameterResult::NotSent;
}

std::int32_t TovraUsbHidDevice::SendString(const char* text, std::int32_t length) {
    if (!opened_.load(std::memory_order_acquire) || length < 0 || (length > 0 && text == nullptr)) {
        return 0;
    }
    const std::int32_t accepted = control_->Write(text, length);
    transport_.Flush();
    return accepted;
}

std::int32_t TovraUsbHidDevice::ReceiveString(char* buffer, std::int32_t size) {
    if (buffer == nullptr || size < 1) {
        return 0;
    }
    std::int32_t count = 0;
    if (opened_.load(std::memory_order_acquire)) {
        count = control_->Read(buffer, size - 1);
    }
    buffer[count] = '\0';
    return count;
}

}  // namespace tovra
