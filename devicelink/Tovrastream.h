// Streams: the multiplexer of one opened device and the per-channel frame streams with their
// queues of received payloads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "FrameCodec.h"

namespace tovra {

// Receives every payload that arrives for the stream it is registered on. Called on the
// device's reader thread, outside every lock of the library.
class IStreamEventSink {
public:
    virtual void OnData(const std::uint8_t* payload, std::int32_t n) = 0;

protected:
    ~IStreamEventSink() = default;
};

// Every byte stream of the library: frame streams, the multiplexer and the device's raw side.
class IStreamBase {
public:
    virtual std::int32_t Read(void* buffer, std::int32_t n) = 0;
    virtual std::int32_t Write(const void* bytes, std::int32_t n) = 0;
    virtual bool Flush() = 0;
    virtual void Attach(IStreamBase* lower) = 0;
    virtual void Detach() = 0;
    virtual void SetEventSink(IStreamEventSink* sink) = 0;
    virtual void ClearEventSink() = 0;
    virtual ~IStreamBase() = default;
};

// One received payload, read from its front.
struct BufferedFrame {
    std::vector<std::uint8_t> data;
    std::uint32_t readPosition = 0;
};

class TovraStream;

// One channel: writes its channel's frames through the multiplexer and keeps the newest 100
// payloads received on it until they are read.
class TovraFrameStream : public IStreamBase {
public:
    static constexpr std::size_t MaxQueuedFrames = 100;

    TovraFrameStream(TovraStream* lower, std::uint8_t channel) : lower_(lower), channel_(channel) {}

    // Reads up to n bytes from the front of the queue, across frame boundaries; never waits.
    // Caller's thread; takes the queue lock once per frame piece.
    std::int32_t Read(void* buffer, std::int32_t n) override;
    // One frame (header with the next sequence number, then the payload) on this channel.
    // Returns the payload bytes accepted, 0 when the header was not accepted whole or n does
    // not fit the 16-bit length field. Caller's thread. May block: every report the frame
    // fills is written at once, up to 300 ms each; no lock is held meanwhile.
    std::int32_t Write(const void* bytes, std::int32_t n) override;
    // Sends the pending report: may block up to 300 ms. Caller's thread; no lock held.
    bool Flush() override;
    // The lower stream becomes s when s is a multiplexer, and none otherwise.
    void Attach(IStreamBase* s) override;
    void Detach() override { lower_ = nullptr; }
    void SetEventSink(IStreamEventSink* sink) override { sink_.store(sink); }
    void ClearEventSink() override { sink_.store(nullptr); }

    // Appends a copy of a received payload, dropping the oldest frame when 100 are queued, and
    // wakes a caller waiting in WaitReadable. Reader thread; takes the queue lock, never waits
    // otherwise.
    void Append(const std::uint8_t* payload, std::size_t n);

    using Clock = std::chrono::steady_clock;

    // Blocks until a frame is queued, the deadline passes or Interrupt was called; true when a
    // frame is queued. Never holds the lock while the caller works on the queue. Caller's thread.
    bool WaitReadable(Clock::time_point deadline);
    // Drops every queued frame; returns the payload bytes that were still unread.
    std::size_t Discard();
    // Payload bytes queued and not yet read.
    std::size_t QueuedBytes();
    // When the newest frame was appended (the epoch of the clock before the first one).
    Clock::time_point LastArrival();
    // When the newest received bytes of the whole link reached the multiplexer, complete frames
    // or not (LastArrival when the stream has no multiplexer). Caller's thread.
    Clock::time_point LastLinkActivity();
    // Asks the multiplexer to drop the frame it is half-way through receiving, so that bytes
    // from now on cannot complete a frame begun before. Caller's thread; never blocks.
    void DropPartialFrame();
    // From any thread: every WaitReadable, now and later, returns at once. Used when the link
    // under the stream is gone; it stays so for the stream's life.
    void Interrupt();
    bool Interrupted();

    IStreamEventSink* eventSink() const { return sink_.load(); }
    std::uint8_t channel() const { return channel_; }

private:
    // Copies at most limit bytes of the front frame; 0 when the queue is empty.
    std::int32_t TakePiece(std::uint8_t* out, std::int32_t limit);

    TovraStream* lower_;    // caller's thread only
    std::uint8_t channel_;  // fixed at construction
    std::atomic<IStreamEventSink*> sink_{nullptr};
    std::mutex lock_;  // guards the three fields below; never held with another lock
    std::condition_variable arrived_;  // signalled by Append and Interrupt
    std::deque<BufferedFrame> queue_;  // guarded by lock_
    Clock::time_point lastArrival_{};  // guarded by lock_
    bool interrupted_ = false;         // guarded by lock_
};

// The multiplexer: runs received bytes through the frame decoder and hands each complete frame
// to the stream registered for its channel; writes go to the lower stream (the device).
class TovraStream : public IStreamBase, public IStreamEventSink, private IFrameDispatch {
public:
    TovraStream() : decoder_(*this) {}
    ~TovraStream() override;

    TovraStream(const TovraStream&) = delete;
    TovraStream& operator=(const TovraStream&) = delete;

    // Runs n received bytes through the decoder and dispatches every complete frame. Reader
    // thread only (one feeder at a time); takes the table lock briefly per frame.
    void Feed(const std::uint8_t* bytes, std::size_t n);

    // Makes the stream of channel c and registers it. A stream already registered there is
    // replaced: it receives nothing more but stays valid until the multiplexer is destroyed.
    // Safe while the reader thread dispatches.
    std::shared_ptr<TovraFrameStream> CreateChannel(std::uint8_t c);

    // Destroys the stream registered for channel c, if any. Safe while the reader thread
    // dispatches; a frame being appended at that moment finishes first.
    void CloseChannel(std::uint8_t c);

    // Registers an existing stream for its channel again, replacing (retiring) any other one
    // registered there. Safe while the reader thread dispatches.
    void RegisterChannel(std::shared_ptr<TovraFrameStream> stream);

    // The decoder drops its partial frame before it takes the next received bytes. Any thread;
    // never blocks.
    void DropPartialFrame() { dropPartialFrame_.store(true, std::memory_order_release); }

    // When Feed was last given bytes (the epoch of the clock before the first). Any thread.
    std::chrono::steady_clock::time_point LastFeed() const;

    // The stream registered for channel c, or null.
    TovraFrameStream* Channel(std::uint8_t c);

    // Polls the lower stream for bytes and feeds them; returns the count read. Blocks as the
    // lower stream's Read does (up to 100 ms on the device).
    std::int32_t Read(void* buffer, std::int32_t n) override;
    std::int32_t Write(const void* bytes, std::int32_t n) override;
    bool Flush() override;
    void Attach(IStreamBase* lower) override { lower_ = lower; }
    void Detach() override { lower_ = nullptr; }
    void SetEventSink(IStreamEventSink*) override {}
    void ClearEventSink() override {}

    void OnData(const std::uint8_t* payload, std::int32_t n) override;

private:
    void DispatchFrame(std::uint8_t channel, const std::uint8_t* payload, std::size_t n) override;

    FrameDecoder decoder_;          // reader thread only
    IStreamBase* lower_ = nullptr;  // set before the reader runs
    // Set by DropPartialFrame, taken by the feeding thread before its next bytes.
    std::atomic<bool> dropPartialFrame_{false};
    // Time of the newest Feed with bytes, as a count of steady_clock ticks.
    std::atomic<std::chrono::steady_clock::rep> lastFeed_{0};
    std::mutex tableLock_;  // guards table_ and retired_; never held with a queue lock
    // Indexed by channel number; empty entries allowed. Shared ownership lets a dispatch in
    // progress finish its append after the caller closed the channel.
    std::vector<std::shared_ptr<TovraFrameStream>> table_;
    std::vector<std::shared_ptr<TovraFrameStream>> retired_;  // replaced, kept until destruction
};

}  // namespace tovra
