// Arbitrary received bytes through the frame decoder and the channel queues: nothing overflows,
// and a queue never holds more than its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Tovrastream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tovra::TovraStream mux;
    auto control = mux.CreateChannel(tovra::ControlChannel);
    auto parameter = mux.CreateChannel(tovra::ParameterChannel);
    auto stream = mux.CreateChannel(6);
    std::uint8_t sink[600];
    // The first byte chooses how the input is cut into Feed calls and when queues are read.
    const std::size_t step = size > 0 ? (data[0] % 64) + 1 : 1;
    for (std::size_t at = 1; at < size; at += step) {
        const std::size_t n = at + step <= size ? step : size - at;
        mux.Feed(data + at, n);
        if ((data[at] & 0x07) == 0) {
            parameter->Read(sink, static_cast<std::int32_t>(data[at] % sizeof sink));
        }
        if ((data[at] & 0x38) == 0) {
            mux.CloseChannel(6);
            stream = mux.CreateChannel(6);
        }
    }
    // Everything left drains, and no more than 100 frames of at most 500 bytes were kept.
    for (auto* s : {control.get(), parameter.get(), stream.get()}) {
        std::size_t total = 0;
        for (std::int32_t got; (got = s->Read(sink, sizeof sink)) > 0;) {
            total += static_cast<std::size_t>(got);
        }
        if (total > tovra::TovraFrameStream::MaxQueuedFrames * tovra::MaxFramePayload) {
            std::abort();
        }
    }
    return 0;
}
