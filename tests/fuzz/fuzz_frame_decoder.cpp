// Arbitrary received bytes through the frame decoder and the channel queues: nothing overflows,
// and a queue never holds more than its bound.
//
// The multiplexer and its channels are made once: each input starts from a hunting decoder and
// empty queues, without allocating a fresh set of objects per run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "Tovrastream.h"

namespace {

struct Streams {
    Streams()
        : control(mux.CreateChannel(tovra::ControlChannel)),
          parameter(mux.CreateChannel(tovra::ParameterChannel)),
          stream(mux.CreateChannel(6)) {}

    // Ends a frame the previous input left open (zero bytes never start one), then empties
    // every queue.
    void Reset() {
        static const std::uint8_t zeros[tovra::FrameBufferSize] = {};
        mux.Feed(zeros, sizeof zeros);
        for (auto* s : {control.get(), parameter.get(), stream.get()}) {
            s->Discard();
        }
    }

    tovra::TovraStream mux;
    std::shared_ptr<tovra::TovraFrameStream> control;
    std::shared_ptr<tovra::TovraFrameStream> parameter;
    std::shared_ptr<tovra::TovraFrameStream> stream;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Streams s;
    s.Reset();
    std::uint8_t sink[600];
    // The first byte chooses how the input is cut into Feed calls and when queues are read.
    const std::size_t step = size > 0 ? (data[0] % 64) + 1 : 1;
    for (std::size_t at = 1; at < size; at += step) {
        const std::size_t n = at + step <= size ? step : size - at;
        s.mux.Feed(data + at, n);
        if ((data[at] & 0x07) == 0) {
            s.parameter->Read(sink, static_cast<std::int32_t>(data[at] % sizeof sink));
        }
        if ((data[at] & 0x38) == 0) {
            s.mux.CloseChannel(6);
            s.stream = s.mux.CreateChannel(6);
        }
    }
    // Everything left drains, and no more than 100 frames of at most 500 bytes were kept.
    for (auto* q : {s.control.get(), s.parameter.get(), s.stream.get()}) {
        std::size_t total = 0;
        for (std::int32_t got; (got = q->Read(sink, sizeof sink)) > 0;) {
            total += static_cast<std::size_t>(got);
        }
        if (total > tovra::TovraFrameStream::MaxQueuedFrames * tovra::MaxFramePayload) {
            std::abort();
        }
    }
    return 0;
}

// Every received frame is copied into a heap buffer of its own; with the sanitizer's default
// quarantine of freed memory each run touches fresh pages, which costs more than the decoding.
// A small quarantine keeps use-after-free detection for everything a run frees.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
