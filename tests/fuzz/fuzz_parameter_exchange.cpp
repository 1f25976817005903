// The parameter exchange against a hostile stream of received bytes: bytes that arrive before
// a request (stale, a frame left half received among them) and bytes that arrive after it (its
// reply, or anything else). Invariant: a request succeeds only with exactly what arrived after
// it, in well-formed frames that began after it on the parameter channel — the acknowledgement
// 0x01 and, for a read, the value bytes, nothing more — and no call outlives its deadline by
// more than a moment.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "FrameCodec.h"
#include "ParameterExchange.h"
#include "Tovrastream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// What the detector side of the pipe does: on each flush, the reply bytes of the current step
// arrive (synchronously, so no thread is needed).
class HostilePipe : public tovra::IStreamBase {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void*, std::int32_t n) override { return refuse ? 0 : n; }
    bool Flush() override {
        if (onFlush) {
            onFlush();
        }
        return !refuse;
    }
    void Attach(tovra::IStreamBase*) override {}
    void Detach() override {}
    void SetEventSink(tovra::IStreamEventSink*) override {}
    void ClearEventSink() override {}

    bool refuse = false;
    void (*onFlush)() = nullptr;
};

// A second decoder fed the same bytes: the well-formed parameter-channel frames it completes
// while collecting are what a reply may be made of.
struct Reference : tovra::IFrameDispatch {
    void DispatchFrame(std::uint8_t channel, const std::uint8_t* payload, std::size_t n) override {
        if (collecting && channel == tovra::ParameterChannel) {
            received.insert(received.end(), payload, payload + n);
        }
    }
    bool collecting = false;
    Bytes received;
};

struct Rig {
    Rig()
        : parameter(mux.CreateChannel(tovra::ParameterChannel)),
          exchange(*parameter, std::chrono::milliseconds(0), [this] { return gone; }) {
        mux.Attach(&pipe);
    }
    void Deliver(const std::uint8_t* bytes, std::size_t n) {
        mux.Feed(bytes, n);
        decoder.Feed(bytes, n);
    }

    HostilePipe pipe;
    tovra::TovraStream mux;
    std::shared_ptr<tovra::TovraFrameStream> parameter;
    Reference reference;
    tovra::FrameDecoder decoder{reference};
    bool gone = false;
    tovra::ParameterExchange exchange;
    const std::uint8_t* reply = nullptr;
    std::size_t replySize = 0;
};

Rig& TheRig() {
    static Rig rig;
    return rig;
}

// The reply arrives after the request was sent: only frames that begin from here on may make
// it up, so the reference drops a frame that stale bytes left half received.
void DeliverReply() {
    Rig& rig = TheRig();
    rig.decoder.Reset();
    rig.reference.collecting = true;
    rig.Deliver(rig.reply, rig.replySize);
}

// Takes up to n bytes of the input.
struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t Byte() { return at < size ? data[at++] : 0; }
    std::pair<const std::uint8_t*, std::size_t> Take(std::size_t n) {
        const std::size_t k = std::min(n, size - at);
        const auto* p = data + at;
        at += k;
        return {p, k};
    }
};

// Bytes to deliver, shaped by the input: either raw bytes, or a few frames built from it with
// a right checksum (unless the input spoils it), so that well-formed replies of every length,
// split or with bytes too many, are common rather than one in a few million inputs.
Bytes Shape(Input& in) {
    const std::uint8_t form = in.Byte();
    Bytes out;
    if ((form & 0x80) != 0) {
        const auto [raw, n] = in.Take(in.Byte());
        out.assign(raw, raw + n);
        return out;
    }
    const int frames = (form & 0x03) + ((form & 0x04) != 0 ? 1 : 0);
    for (int k = 0; k < frames && in.at < in.size; ++k) {
        const std::uint8_t spec = in.Byte();
        const auto [payload, n] = in.Take(spec & 0x1F);
        const std::uint8_t channel =
            (spec & 0x20) != 0 ? tovra::ControlChannel : tovra::ParameterChannel;
        Bytes frame = tovra::EncodeFrame(0, channel, payload, static_cast<std::uint16_t>(n));
        if ((spec & 0xC0) == 0xC0) {
            frame[2] = static_cast<std::uint8_t>(frame[2] ^ 0x5A);
        }
        if ((form & 0x08) != 0) {
            out.push_back(0x00);  // filler between frames, as at the end of a report
        }
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Rig& rig = TheRig();
    // A fresh start: no frame half received, nothing queued.
    static const std::uint8_t zeros[tovra::FrameBufferSize] = {};
    rig.reference.collecting = false;
    rig.Deliver(zeros, sizeof zeros);
    rig.parameter->Discard();
    rig.pipe.onFlush = DeliverReply;

    Input in{data, size};
    while (in.at < in.size) {
        const std::uint8_t op = in.Byte();
        const bool isRead = (op & 0x01) != 0;
        rig.pipe.refuse = (op & 0x06) == 0x06;
        rig.gone = (op & 0x0E) == 0x08;
        const auto valueSize = static_cast<std::int32_t>(op >> 4);  // 0..15
        const Bytes stale = Shape(in);
        const Bytes reply = Shape(in);

        rig.reference.collecting = false;
        rig.Deliver(stale.data(), stale.size());
        rig.reference.received.clear();
        rig.reply = reply.data();
        rig.replySize = reply.size();

        std::uint8_t buffer[16] = {};
        const auto start = std::chrono::steady_clock::now();
        const tovra::ParameterResult result = isRead ? rig.exchange.Get(0x24, buffer, valueSize, 0)
                                                     : rig.exchange.Set(0x24, buffer, valueSize, 0);
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) {
            std::abort();  // hung past the deadline
        }
        rig.reference.collecting = false;
        if (result == tovra::ParameterResult::Accepted) {
            Bytes expected = {0x01};
            if (isRead) {
                expected.insert(expected.end(), buffer, buffer + valueSize);
            }
            // A read of size 0 takes the acknowledgement alone; what follows it is no one's.
            Bytes received = rig.reference.received;
            if (isRead && valueSize == 0 && !received.empty()) {
                received.resize(1);
            }
            if (rig.pipe.refuse || rig.gone || received != expected) {
                std::abort();  // succeeded with bytes that were not its own whole reply
            }
        }
    }
    return 0;
}

// As for the frame decoder: a small quarantine of freed memory keeps the runs fast.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
