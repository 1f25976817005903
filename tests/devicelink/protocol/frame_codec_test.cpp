#include "FrameCodec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tovra;
using ::testing::ElementsAreArray;

namespace {

struct Received {
    std::uint8_t channel;
    std::vector<std::uint8_t> payload;
};

class Collector : public IFrameDispatch {
public:
    void DispatchFrame(std::uint8_t channel, const std::uint8_t* payload, std::size_t n) override {
        frames.push_back({channel, std::vector<std::uint8_t>(payload, payload + n)});
    }
    std::vector<Received> frames;
};

std::vector<std::uint8_t> Frame(std::uint8_t channel, std::vector<std::uint8_t> payload,
                                std::uint8_t sequence = 0x55) {
    return EncodeFrame(sequence, channel, payload.data(),
                       static_cast<std::uint16_t>(payload.size()));
}

}  // namespace

TEST(FrameChecksumTest, CrcCheckValueAndLowByte) {
    const std::string check = "123456789";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(Crc16Xmodem(bytes, check.size()), 0x31C3);
    EXPECT_EQ(FrameChecksum(bytes, check.size()), 0xC3);
    EXPECT_EQ(FrameChecksum(nullptr, 0), 0x00);
}

TEST(FrameChecksumTest, WorkedFrames) {
    struct Case {
        std::uint8_t channel;
        std::vector<std::uint8_t> payload;
        std::vector<std::uint8_t> expected;  // with sequence 0
    };
    const std::vector<Case> cases = {
        {127, {0x01, 0x00}, {0x7E, 0x00, 0x31, 0x7F, 0x02, 0x00, 0x01, 0x00}},
        {127, {0x37, 0x01}, {0x7E, 0x00, 0x23, 0x7F, 0x02, 0x00, 0x37, 0x01}},
        {0,
         {'l', 'o', 'g', 'i', 'n', '\r'},
         {0x7E, 0x00, 0x53, 0x00, 0x06, 0x00, 0x6C, 0x6F, 0x67, 0x69, 0x6E, 0x0D}},
    };
    for (const auto& c : cases) {
        EXPECT_THAT(Frame(c.channel, c.payload, 0), ElementsAreArray(c.expected));
    }
}

TEST(FrameSequenceTest, WrapsAfter255AndIsShared) {
    // Bring the counter to 0, then 256 headers take 0..255 and the 257th takes 0 again.
    while (FrameSequence::Current() != 0) {
        FrameSequence::Next();
    }
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(FrameSequence::Next(), static_cast<std::uint8_t>(i));
    }
    EXPECT_EQ(FrameSequence::Next(), 0);
}

TEST(FrameDecoderTest, DecodesFramesWhateverSurroundsThem) {
    struct Case {
        const char* name;
        std::vector<std::vector<std::uint8_t>> feeds;  // the stream, in Feed calls
        std::vector<std::vector<std::uint8_t>> expected;
    };
    const auto a = Frame(127, {0x01, 0xAA, 0xBB});
    const auto withStart = Frame(5, {0x7E, 0x7E, 0x00, 0x7E});
    auto badChecksum = Frame(127, {0x01});
    badChecksum[2] ^= 0xFF;
    std::vector<std::uint8_t> oversize = {0x7E, 0x00, 0x00, 0x7F, 0xF5, 0x01};  // length 501
    auto cat = [](std::initializer_list<std::vector<std::uint8_t>> parts) {
        std::vector<std::uint8_t> all;
        for (const auto& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const std::vector<Case> cases = {
        {"one frame", {a}, {{0x01, 0xAA, 0xBB}}},
        {"zero fill and noise between frames",
         {cat({{0x00, 0x00, 0x13}, a, {0x00, 0xFF}, a})},
         {{0x01, 0xAA, 0xBB}, {0x01, 0xAA, 0xBB}}},
        {"0x7E inside a payload", {withStart}, {{0x7E, 0x7E, 0x00, 0x7E}}},
        {"split at every byte",
         [&] {
             std::vector<std::vector<std::uint8_t>> v;
             for (auto b : a)
                 v.push_back({b});
             return v;
         }(),
         {{0x01, 0xAA, 0xBB}}},
        {"bad checksum dropped, next frame kept", {cat({badChecksum, a})}, {{0x01, 0xAA, 0xBB}}},
        {"length 501 abandoned at its sixth byte", {cat({oversize, a})}, {{0x01, 0xAA, 0xBB}}},
        {"zero-length frame does not swallow the next byte",
         {cat({Frame(127, {}), a})},
         {{}, {0x01, 0xAA, 0xBB}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Collector sink;
        FrameDecoder decoder(sink);
        for (const auto& f : c.feeds)
            decoder.Feed(f.data(), f.size());
        ASSERT_EQ(sink.frames.size(), c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_THAT(sink.frames[i].payload, ElementsAreArray(c.expected[i]));
        }
        EXPECT_EQ(decoder.state(), FrameDecoder::State::Hunting);
    }
}

TEST(FrameDecoderTest, LargestPayloadAndChannel) {
    std::vector<std::uint8_t> payload(500);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i);
    const auto bytes = Frame(200, payload);
    Collector sink;
    FrameDecoder decoder(sink);
    decoder.Feed(bytes.data(), bytes.size());
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].channel, 200);
    EXPECT_THAT(sink.frames[0].payload, ElementsAreArray(payload));
}

TEST(FrameDecoderTest, DroppedFrameBytesAreNotSearchedAgain) {
    // A frame with a bad checksum whose payload holds a complete frame: the inner one is part of
    // the dropped frame and is not decoded.
    const auto inner = Frame(127, {0x01});
    auto outer = Frame(127, inner);
    outer[2] ^= 0xFF;
    Collector sink;
    FrameDecoder decoder(sink);
    decoder.Feed(outer.data(), outer.size());
    EXPECT_TRUE(sink.frames.empty());
}
