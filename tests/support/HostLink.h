// The host's end of a conversation with a VirtualDetector, built from the frame codec alone:
// requests go out as frames (zero-filled as in an HID report), replies are decoded as the
// library decodes them.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "FrameCodec.h"
#include "VirtualDetector.h"

namespace holvane::simulator::testing {

using namespace std::chrono_literals;

struct ReceivedFrame {
    std::uint8_t channel;
    std::vector<std::uint8_t> payload;
};

class HostLink : public tovra::IFrameDispatch {
public:
    explicit HostLink(VirtualDetector& detector) : detector_(detector) {}

    void Send(std::uint8_t channel, const std::vector<std::uint8_t>& payload) {
        auto frame = tovra::EncodeFrame(sequence_++, channel, payload.data(),
                                        static_cast<std::uint16_t>(payload.size()));
        frame.resize(frame.size() + 20, 0x00);  // the fill at the end of a report
        detector_.Receive(frame.data(), frame.size());
    }

    // Reply bytes on the parameter channel, gathered until `want` bytes arrived or the time-out.
    std::vector<std::uint8_t> Collect(std::size_t want, std::chrono::milliseconds timeout = 500ms) {
        return CollectUntil([want](const auto&) { return want; }, timeout);
    }

    // As Collect, with the wanted count decided by what has arrived so far.
    template <typename Want>
    std::vector<std::uint8_t> CollectUntil(Want want, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (reply_.size() < want(reply_)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left <= 0ms) {
                break;
            }
            std::uint8_t buffer[512];
            const std::size_t n = detector_.ReadOutput(buffer, sizeof buffer, left);
            raw.insert(raw.end(), buffer, buffer + n);
            decoder_.Feed(buffer, n);
        }
        auto reply = std::move(reply_);
        reply_.clear();
        return reply;
    }

    std::vector<std::uint8_t> Read(std::uint8_t id, std::size_t size,
                                   std::chrono::milliseconds timeout = 500ms) {
        Send(tovra::ParameterChannel, {id, 0x00});
        // A refusal is one byte; an acceptance is followed by the record.
        return CollectUntil(
            [size](const std::vector<std::uint8_t>& r) {
                return !r.empty() && r[0] == 0x01 ? 1 + size : 1;
            },
            timeout);
    }

    std::vector<std::uint8_t> Write(std::uint8_t id, std::vector<std::uint8_t> value,
                                    std::chrono::milliseconds timeout = 500ms) {
        value.insert(value.begin(), {id, 0x01});
        Send(tovra::ParameterChannel, value);
        return Collect(1, timeout);
    }

    void DispatchFrame(std::uint8_t channel, const std::uint8_t* payload, std::size_t n) override {
        frames.push_back({channel, {payload, payload + n}});
        if (channel == tovra::ParameterChannel) {
            reply_.insert(reply_.end(), payload, payload + n);
        }
    }

    std::vector<ReceivedFrame> frames;  // every frame decoded so far
    std::vector<std::uint8_t> raw;      // every byte the detector sent so far

private:
    VirtualDetector& detector_;
    tovra::FrameDecoder decoder_{*this};
    std::uint8_t sequence_ = 0;
    std::vector<std::uint8_t> reply_;
};

template <std::size_t N>
std::vector<std::uint8_t> Bytes(const std::array<std::uint8_t, N>& record) {
    return {record.begin(), record.end()};
}

inline std::vector<std::uint8_t> Filled(std::size_t size, std::uint8_t value) {
    return std::vector<std::uint8_t>(size, value);
}

}  // namespace holvane::simulator::testing
