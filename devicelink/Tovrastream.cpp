#include "Tovrastream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tovra {

namespace {

std::size_t UnreadBytes(const std::deque<BufferedFrame>& queue) {
    std::size_t unread = 0;
    for (const BufferedFrame& frame : queue) {
        unread += frame.data.size() - frame.readPosition;
    }
    return unread;
}

}  // namespace

// ---- TovraFrameStream -------------------------------------------------------------------------

std::int32_t TovraFrameStream::Read(void* buffer, std::int32_t n) {
    if (n < 0 || (n > 0 && buffer == nullptr)) {
        return 0;
    }
    // A read of 0 bytes still takes one piece, so an empty frame at the front goes.
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int32_t total = 0;
    for (;;) {
        const std::int32_t piece = TakePiece(out + total, n - total);
        total += piece;
        if (piece == 0 || total == n) {
            return total;
        }
    }
}

std::int32_t TovraFrameStream::TakePiece(std::uint8_t* out, std::int32_t limit) {
    std::lock_guard<std::mutex> guard(lock_);
    if (queue_.empty()) {
        return 0;
    }
    BufferedFrame& front = queue_.front();
    const auto remaining = front.data.size() - front.readPosition;
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(limit), remaining);
    if (count > 0) {
        std::memcpy(out, front.data.data() + front.readPosition, count);
    }
    front.readPosition += static_cast<std::uint32_t>(count);
    if (front.readPosition == front.data.size()) {
        queue_.pop_front();
    }
    return static_cast<std::int32_t>(count);
}

std::int32_t TovraFrameStream::Write(const void* bytes, std::int32_t n) {
    if (lower_ == nullptr || n < 0 || n > std::numeric_limits<std::uint16_t>::max() ||
        (n > 0 && bytes == nullptr)) {
        return 0;
    }
    const auto* payload = static_cast<const std::uint8_t*>(bytes);
    const auto header =
        MakeFrameHeader(FrameSequence::Next(), channel_, payload, static_cast<std::uint16_t>(n))
            .Bytes();
    if (lower_->Write(header.data(), static_cast<std::int32_t>(header.size())) !=
        static_cast<std::int32_t>(header.size())) {
        return 0;
    }
    if (n == 0) {
        return 0;
    }
    return lower_->Write(payload, n);
}

bool TovraFrameStream::Flush() {
    return lower_ != nullptr && lower_->Flush();
}

void TovraFrameStream::Attach(IStreamBase* s) {
    lower_ = dynamic_cast<TovraStream*>(s);
}

void TovraFrameStream::Append(const std::uint8_t* payload, std::size_t n) {
    BufferedFrame frame;
    frame.data.assign(payload, payload + n);
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (queue_.size() >= MaxQueuedFrames) {
            queue_.pop_front();
        }
        queue_.push_back(std::move(frame));
        lastArrival_ = Clock::now();
    }
    arrived_.notify_all();
}

bool TovraFrameStream::WaitReadable(Clock::time_point deadline) {
    std::unique_lock<std::mutex> guard(lock_);
    arrived_.wait_until(guard, deadline, [this] { return !queue_.empty() || interrupted_; });
    return !queue_.empty();
}

std::size_t TovraFrameStream::Discard() {
    std::lock_guard<std::mutex> guard(lock_);
    const std::size_t unread = UnreadBytes(queue_);
    queue_.clear();
    return unread;
}

std::size_t TovraFrameStream::QueuedBytes() {
    std::lock_guard<std::mutex> guard(lock_);
    return UnreadBytes(queue_);
}

TovraFrameStream::Clock::time_point TovraFrameStream::LastArrival() {
    std::lock_guard<std::mutex> guard(lock_);
    return lastArrival_;
}

TovraFrameStream::Clock::time_point TovraFrameStream::LastLinkActivity() {
    return lower_ != nullptr ? std::max(lower_->LastFeed(), LastArrival()) : LastArrival();
}

void TovraFrameStream::DropPartialFrame() {
    if (lower_ != nullptr) {
        lower_->DropPartialFrame();
    }
}

void TovraFrameStream::Interrupt() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        interrupted_ = true;
    }
    arrived_.notify_all();
}

bool TovraFrameStream::Interrupted() {
    std::lock_guard<std::mutex> guard(lock_);
    return interrupted_;
}

// ---- TovraStream ------------------------------------------------------------------------------

TovraStream::~TovraStream() {
    std::lock_guard<std::mutex> guard(tableLock_);
    table_.clear();
    retired_.clear();
}

void TovraStream::Feed(const std::uint8_t* bytes, std::size_t n) {
    if (bytes == nullptr || n == 0) {
        return;
    }
    lastFeed_.store(std::chrono::steady_clock::now().time_since_epoch().count(),
                    std::memory_order_release);
    if (dropPartialFrame_.exchange(false, std::memory_order_acq_rel)) {
        decoder_.Reset();
    }
    decoder_.Feed(bytes, n);
}

std::chrono::steady_clock::time_point TovraStream::LastFeed() const {
    return std::chrono::steady_clock::time_point(
        std::chrono::steady_clock::duration(lastFeed_.load(std::memory_order_acquire)));
}

void TovraStream::RegisterChannel(std::shared_ptr<TovraFrameStream> stream) {
    if (!stream) {
        return;
    }
    const std::uint8_t c = stream->channel();
    std::lock_guard<std::mutex> guard(tableLock_);
    if (table_.size() <= c) {
        table_.resize(static_cast<std::size_t>(c) + 1);
    }
    if (table_[c] && table_[c] != stream) {
        retired_.push_back(std::move(table_[c]));
    }
    table_[c] = std::move(stream);
}

std::shared_ptr<TovraFrameStream> TovraStream::CreateChannel(std::uint8_t c) {
    auto stream = std::make_shared<TovraFrameStream>(this, c);
    std::lock_guard<std::mutex> guard(tableLock_);
    if (table_.size() <= c) {
        table_.resize(static_cast<std::size_t>(c) + 1);
    }
    if (table_[c]) {
        retired_.push_back(std::move(table_[c]));
    }
    table_[c] = stream;
    return stream;
}

void TovraStream::CloseChannel(std::uint8_t c) {
    std::shared_ptr<TovraFrameStream> closing;
    {
        std::lock_guard<std::mutex> guard(tableLock_);
        if (c < table_.size()) {
            closing = std::move(table_[c]);
        }
    }
    // Destroyed here, or by a dispatch that still holds it, outside the table lock.
}

TovraFrameStream* TovraStream::Channel(std::uint8_t c) {
    std::lock_guard<std::mutex> guard(tableLock_);
    return c < table_.size() ? table_[c].get() : nullptr;
}

std::int32_t TovraStream::Read(void* buffer, std::int32_t n) {
    if (lower_ == nullptr || buffer == nullptr || n <= 0) {
        return 0;
    }
    const std::int32_t count = lower_->Read(buffer, n);
    if (count > 0) {
        Feed(static_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(count));
    }
    return count;
}

std::int32_t TovraStream::Write(const void* bytes, std::int32_t n) {
    return lower_ != nullptr ? lower_->Write(bytes, n) : 0;
}

bool TovraStream::Flush() {
    return lower_ != nullptr && lower_->Flush();
}

void TovraStream::OnData(const std::uint8_t* payload, std::int32_t n) {
    if (n > 0) {
        Feed(payload, static_cast<std::size_t>(n));
    }
}

void TovraStream::DispatchFrame(std::uint8_t channel, const std::uint8_t* payload, std::size_t n) {
    std::shared_ptr<TovraFrameStream> stream;
    {
        std::lock_guard<std::mutex> guard(tableLock_);
        if (channel < table_.size()) {
            stream = table_[channel];
        }
    }
    if (!stream) {
        return;
    }
    if (IStreamEventSink* sink = stream->eventSink()) {
        sink->OnData(payload, static_cast<std::int32_t>(n));
    }
    stream->Append(payload, n);
}

}  // namespace tovra
