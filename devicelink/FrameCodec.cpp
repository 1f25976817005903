#include "FrameCodec.h"

#include <algorithm>
#include <atomic>
#include <cstddef>

namespace tovra {

namespace {
std::atomic<std::uint8_t> g_frameSequence{0};
}

std::array<std::uint8_t, FrameHeaderSize> FrameHeader::Bytes() const {
    return {start,
            sequence,
            checksum,
            channel,
            static_cast<std::uint8_t>(length & 0xFF),
            static_cast<std::uint8_t>(length >> 8)};
}

FrameHeader FrameHeader::Parse(const std::uint8_t* bytes) {
    FrameHeader h;
    h.start = bytes[0];
    h.sequence = bytes[1];
    h.checksum = bytes[2];
    h.channel = bytes[3];
    h.length = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
    return h;
}

std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t n) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 0x8000) {
                crc = static_cast<std::uint16_t>((crc << 1) ^ 0x1021);
            } else {
                crc = static_cast<std::uint16_t>(crc << 1);
            }
        }
    }
    return crc;
}

std::uint8_t FrameChecksum(const std::uint8_t* payload, std::size_t n) {
    return static_cast<std::uint8_t>(Crc16Xmodem(payload, n) & 0xFF);
}

std::uint8_t FrameSequence::Next() {
    return g_frameSequence.fetch_add(1, std::memory_order_relaxed);
}

std::uint8_t FrameSequence::Current() {
    return g_frameSequence.load(std::memory_order_relaxed);
}

FrameHeader MakeFrameHeader(std::uint8_t sequence, std::uint8_t channel,
                            const std::uint8_t* payload, std::uint16_t n) {
    FrameHeader h;
    h.sequence = sequence;
    h.checksum = FrameChecksum(payload, n);
    h.channel = channel;
    h.length = n;
    return h;
}

std::vector<std::uint8_t> EncodeFrame(std::uint8_t sequence, std::uint8_t channel,
                                      const std::uint8_t* payload, std::uint16_t n) {
    // One buffer of the frame's final size: header first, then the payload.
    const auto header = MakeFrameHeader(sequence, channel, payload, n).Bytes();
    std::vector<std::uint8_t> frame(header.size() + n);
    std::copy(header.begin(), header.end(), frame.begin());
    if (n > 0) {
        std::copy(payload, payload + n, frame.begin() + static_cast<std::ptrdiff_t>(header.size()));
    }
    return frame;
}

void FrameDecoder::Feed(const std::uint8_t* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        switch (state_) {
            case State::Hunting:
                if (b == FrameStart) {
                    buffer_[0] = b;
                    count_ = 1;
                    state_ = State::Header;
                }
                break;
            case State::Header:
                buffer_[count_++] = b;
                if (count_ == FrameHeaderSize) {
                    length_ = static_cast<std::size_t>(buffer_[4] | (buffer_[5] << 8));
                    if (length_ > MaxFramePayload) {
                        state_ = State::Hunting;
                    } else if (length_ == 0) {
                        // Complete as soon as the header is in: waiting for a payload byte
                        // would swallow the first byte of whatever follows.
                        Complete();
                    } else {
                        state_ = State::Payload;
                    }
                }
                break;
            case State::Payload:
                buffer_[count_++] = b;
                if (count_ == FrameHeaderSize + length_) {
                    Complete();
                }
                break;
        }
    }
}

void FrameDecoder::Complete() {
    state_ = State::Hunting;
    const std::uint8_t* payload = buffer_.data() + FrameHeaderSize;
    if (FrameChecksum(payload, length_) == buffer_[2]) {
        target_.DispatchFrame(buffer_[3], payload, length_);
    }
}

}  // namespace tovra
