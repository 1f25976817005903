// The frame on the link: header, checksum byte, the process-wide sequence counter and the
// receiving decoder.
//
// Every message in either direction is one frame: a 6-byte header (0x7E, sequence, checksum byte,
// channel, 16-bit little-endian payload length) followed by at most 500 payload bytes. There is
// no escaping: a receiver looks for 0x7E only between frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tovra {

inline constexpr std::uint8_t FrameStart = 0x7E;
inline constexpr std::size_t FrameHeaderSize = 6;
inline constexpr std::size_t MaxFramePayload = 500;
inline constexpr std::size_t FrameBufferSize = FrameHeaderSize + MaxFramePayload;

inline constexpr std::uint8_t ControlChannel = 0;
inline constexpr std::uint8_t ParameterChannel = 127;

struct FrameHeader {
    std::uint8_t start = FrameStart;
    std::uint8_t sequence = 0;
    std::uint8_t checksum = 0;
    std::uint8_t channel = 0;
    std::uint16_t length = 0;

    std::array<std::uint8_t, FrameHeaderSize> Bytes() const;
    static FrameHeader Parse(const std::uint8_t* bytes);
};

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR.
std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t n);

// The frame's checksum byte: the low byte of the CRC-16/XMODEM of the payload.
std::uint8_t FrameChecksum(const std::uint8_t* payload, std::size_t n);

// The library's 8-bit frame counter, shared by every device and channel in the process. It is 0
// when the library is loaded; each header the library builds takes the current value and
// advances it, wrapping from 255 to 0. Safe to call from several threads at once.
class FrameSequence {
public:
    static std::uint8_t Next();
    static std::uint8_t Current();
};

// A header for a payload of n bytes on a channel, with an explicit sequence number.
FrameHeader MakeFrameHeader(std::uint8_t sequence, std::uint8_t channel,
                            const std::uint8_t* payload, std::uint16_t n);

// A whole frame (header and payload) as bytes, with an explicit sequence number. For the far
// end of the link, which keeps its own numbering.
std::vector<std::uint8_t> EncodeFrame(std::uint8_t sequence, std::uint8_t channel,
                                      const std::uint8_t* payload, std::uint16_t n);

// Where the decoder hands each complete frame whose checksum matched.
class IFrameDispatch {
public:
    virtual void DispatchFrame(std::uint8_t channel, const std::uint8_t* payload,
                               std::size_t n) = 0;

protected:
    ~IFrameDispatch() = default;
};

// The receiving side of the frame protocol. Bytes between frames that are not 0x7E are skipped
// (the zero fill at the end of each HID report falls here); a header whose length exceeds 500
// is abandoned at its sixth byte; a frame whose checksum byte does not match is dropped, and its
// bytes are not searched again for a start byte. The partial frame survives between Feed calls.
// Not thread-safe: one thread feeds a decoder.
class FrameDecoder {
public:
    enum class State { Hunting, Header, Payload };

    explicit FrameDecoder(IFrameDispatch& target) : target_(target) {}

    void Feed(const std::uint8_t* bytes, std::size_t n);

    // Drops the partial frame, if any: the next byte is looked at as between frames.
    void Reset() { state_ = State::Hunting; }

    State state() const { return state_; }

private:
    void Complete();

    IFrameDispatch& target_;
    State state_ = State::Hunting;
    std::size_t count_ = 0;
    std::size_t length_ = 0;
    std::array<std::uint8_t, FrameBufferSize> buffer_{};
};

}  // namespace tovra
