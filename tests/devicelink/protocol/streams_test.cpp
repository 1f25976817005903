#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FrameCodec.h"
#include "ParameterExchange.h"
#include "Tovrastream.h"

using namespace tovra;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Frame(std::uint8_t channel, const Bytes& payload) {
    return EncodeFrame(0x11, channel, payload.data(), static_cast<std::uint16_t>(payload.size()));
}

// The device side of a multiplexer in memory: keeps what is written, and on each flush hands the
// written bytes to a responder that may feed reply bytes back into the multiplexer.
class PipeStream : public IStreamBase {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void* bytes, std::int32_t n) override {
        if (refuseWrites)
            return 0;
        const auto* b = static_cast<const std::uint8_t*>(bytes);
        pending.insert(pending.end(), b, b + n);
        return n;
    }
    bool Flush() override {
        ++flushes;
        sent.insert(sent.end(), pending.begin(), pending.end());
        Bytes request = pending;
        pending.clear();
        if (onFlush)
            onFlush(request);
        return true;
    }
    void Attach(IStreamBase*) override {}
    void Detach() override {}
    void SetEventSink(IStreamEventSink*) override {}
    void ClearEventSink() override {}

    bool refuseWrites = false;
    int flushes = 0;
    Bytes pending;
    Bytes sent;
    std::function<void(const Bytes&)> onFlush;
};

// A multiplexer over a pipe with the parameter and control channels, as a device sets it up.
struct Link {
    Link() {
        mux.Attach(&pipe);
        control = mux.CreateChannel(ControlChannel).get();
        parameter = mux.CreateChannel(ParameterChannel).get();
    }
    void Deliver(const Bytes& bytes) { mux.Feed(bytes.data(), bytes.size()); }
    // Answers every flushed request with the given reply frames.
    void AnswerWith(std::vector<Bytes> frames) {
        pipe.onFlush = [this, frames](const Bytes&) {
            for (const auto& f : frames)
                Deliver(f);
        };
    }
    PipeStream pipe;
    TovraStream mux;
    TovraFrameStream* control;
    TovraFrameStream* parameter;
};

Bytes ReadAll(IStreamBase& s, std::int32_t n) {
    Bytes out(static_cast<std::size_t>(n));
    out.resize(static_cast<std::size_t>(s.Read(out.data(), n)));
    return out;
}

}  // namespace

TEST(FrameStreamTest, QueueKeepsTheNewest100Frames) {
    Link link;
    for (int i = 1; i <= 101; ++i) {
        link.Deliver(Frame(ParameterChannel, {static_cast<std::uint8_t>(i)}));
    }
    Bytes expected;
    for (int i = 2; i <= 101; ++i)
        expected.push_back(static_cast<std::uint8_t>(i));
    EXPECT_THAT(ReadAll(*link.parameter, 200), ElementsAreArray(expected));
    EXPECT_EQ(ReadAll(*link.parameter, 10).size(), 0u);
}

TEST(FrameStreamTest, ReadsCrossFrameBoundaries) {
    Link link;
    link.Deliver(Frame(ParameterChannel, {1, 2, 3, 4}));
    link.Deliver(Frame(ParameterChannel, {5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_THAT(ReadAll(*link.parameter, 10), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
    EXPECT_THAT(ReadAll(*link.parameter, 10), ElementsAre(11, 12));
}

TEST(FrameStreamTest, ZeroLengthFrameAtTheFrontStopsOneRead) {
    Link link;
    link.Deliver(Frame(ParameterChannel, {}));
    link.Deliver(Frame(ParameterChannel, {7, 8}));
    EXPECT_EQ(ReadAll(*link.parameter, 10).size(), 0u);
    EXPECT_THAT(ReadAll(*link.parameter, 10), ElementsAre(7, 8));
}

TEST(FrameStreamTest, FramesReachOnlyTheirRegisteredChannel) {
    Link link;
    link.Deliver(Frame(200, {1}));  // table has 128 entries
    link.Deliver(Frame(5, {2}));    // entry exists but is empty
    link.Deliver(Frame(ControlChannel, {'o', 'k'}));
    EXPECT_THAT(ReadAll(*link.control, 10), ElementsAre('o', 'k'));
    EXPECT_EQ(ReadAll(*link.parameter, 10).size(), 0u);
}

TEST(FrameStreamTest, ReplacedChannelReceivesNothingAndSurvivesClose) {
    Link link;
    auto first = link.mux.CreateChannel(6);
    auto second = link.mux.CreateChannel(6);
    ASSERT_NE(first, second);
    link.Deliver(Frame(6, {9}));
    EXPECT_EQ(ReadAll(*first, 10).size(), 0u);
    EXPECT_THAT(ReadAll(*second, 10), ElementsAre(9));
    link.mux.CloseChannel(6);
    EXPECT_EQ(link.mux.Channel(6), nullptr);
    // The first stream is still owned by the multiplexer, the second only by this test now.
    EXPECT_EQ(first.use_count(), 2);
    EXPECT_EQ(second.use_count(), 1);
    link.Deliver(Frame(6, {9}));
    EXPECT_EQ(ReadAll(*first, 10).size(), 0u);
}

TEST(FrameStreamTest, EventSinkSeesEachPayloadBeforeItIsQueued) {
    struct Sink : IStreamEventSink {
        void OnData(const std::uint8_t* p, std::int32_t n) override { seen.emplace_back(p, p + n); }
        std::vector<Bytes> seen;
    } sink;
    Link link;
    link.control->SetEventSink(&sink);
    link.Deliver(Frame(ControlChannel, {1, 2}));
    link.control->ClearEventSink();
    link.Deliver(Frame(ControlChannel, {3}));
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_THAT(sink.seen[0], ElementsAre(1, 2));
    EXPECT_THAT(ReadAll(*link.control, 10), ElementsAre(1, 2, 3));
}

TEST(FrameStreamTest, WriteBuildsOneFrameAndRefusedHeaderWritesNothing) {
    Link link;
    const std::uint8_t sequence = FrameSequence::Current();
    EXPECT_EQ(link.control->Write("hi", 2), 2);
    EXPECT_THAT(
        link.pipe.pending,
        ElementsAre(0x7E, sequence, FrameChecksum(reinterpret_cast<const std::uint8_t*>("hi"), 2),
                    0x00, 0x02, 0x00, 'h', 'i'));
    link.pipe.pending.clear();
    link.pipe.refuseWrites = true;
    const std::uint8_t before = FrameSequence::Current();
    EXPECT_EQ(link.control->Write("hi", 2), 0);
    EXPECT_TRUE(link.pipe.pending.empty());
    EXPECT_EQ(FrameSequence::Current(), static_cast<std::uint8_t>(before + 1));  // number used up
}

TEST(FrameStreamTest, AttachAcceptsOnlyAMultiplexer) {
    Link link;
    TovraFrameStream stream(&link.mux, 3);
    stream.Attach(&link.pipe);
    EXPECT_EQ(stream.Write("x", 1), 0);
    stream.Attach(&link.mux);
    EXPECT_EQ(stream.Write("x", 1), 1);
}

// ---- parameter exchange ----------------------------------------------------------------------

using Result = ParameterResult;

TEST(ParameterExchangeTest, RequestsOnTheWire) {
    struct Case {
        const char* name;
        std::function<void(ParameterExchange&)> call;
        Bytes payload;
    };
    std::uint8_t value[3] = {0xA1, 0xA2, 0xA3};
    std::uint8_t buffer[18] = {};
    const std::vector<Case> cases = {
        {"read", [&](ParameterExchange& x) { x.Get(0, buffer, 18, 5); }, {0x00, 0x00}},
        {"write",
         [&](ParameterExchange& x) { x.Set(1, value, 3, 5); },
         {0x01, 0x01, 0xA1, 0xA2, 0xA3}},
        {"end of upload", [&](ParameterExchange& x) { x.Set(55, nullptr, 0, 5); }, {0x37, 0x01}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        ParameterExchange exchange(*link.parameter);
        const std::uint8_t sequence = FrameSequence::Current();
        c.call(exchange);
        Bytes expected = {0x7E,
                          sequence,
                          FrameChecksum(c.payload.data(), c.payload.size()),
                          0x7F,
                          static_cast<std::uint8_t>(c.payload.size()),
                          0x00};
        expected.insert(expected.end(), c.payload.begin(), c.payload.end());
        EXPECT_THAT(link.pipe.sent, ElementsAreArray(expected));
        EXPECT_EQ(link.pipe.flushes, 1);
    }
}

TEST(ParameterExchangeTest, ReplyShapes) {
    const Bytes value = {10, 20, 30, 40};
    struct Case {
        const char* name;
        std::vector<Bytes> reply;
        Result result;
        Bytes buffer;  // what the caller's buffer holds afterwards (filled with 0xEE before)
    };
    const std::vector<Case> cases = {
        {"one frame", {Frame(127, {1, 10, 20, 30, 40})}, Result::Accepted, value},
        {"ack and value split",
         {Frame(127, {1}), Frame(127, {10, 20, 30, 40})},
         Result::Accepted,
         value},
        {"split at every byte",
         {Frame(127, {1}), Frame(127, {10}), Frame(127, {20}), Frame(127, {30}), Frame(127, {40})},
         Result::Accepted,
         value},
        {"refused", {Frame(127, {0})}, Result::Refused, {0xEE, 0xEE, 0xEE, 0xEE}},
        {"refusal with bytes behind it",
         {Frame(127, {0, 10, 20, 30, 40})},
         Result::Malformed,
         {0xEE, 0xEE, 0xEE, 0xEE}},
        {"short reply", {Frame(127, {1, 10, 20})}, Result::Malformed, {10, 20, 0xEE, 0xEE}},
        {"one byte too long", {Frame(127, {1, 10, 20, 30, 40, 50})}, Result::Malformed, value},
        {"a second frame behind the reply",
         {Frame(127, {1, 10, 20, 30, 40}), Frame(127, {1})},
         Result::Malformed,
         value},
        {"bad checksum",
         {[] {
             Bytes f = Frame(127, {1, 10, 20, 30, 40});
             f[2] ^= 0xFF;
             return f;
         }()},
         Result::NoAnswer,
         {0xEE, 0xEE, 0xEE, 0xEE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        ParameterExchange exchange(*link.parameter);
        link.AnswerWith(c.reply);
        Bytes buffer(4, 0xEE);
        EXPECT_EQ(exchange.Get(36, buffer.data(), 4, 30), c.result);
        EXPECT_EQ(exchange.LastResult(), c.result);
        EXPECT_THAT(buffer, ElementsAreArray(c.buffer));
        // Nothing of a reply is left to be taken for the next one.
        EXPECT_EQ(link.parameter->QueuedBytes(), 0u);
    }
}

TEST(ParameterExchangeTest, AnswersThatEndACallAtOnce) {
    using namespace std::chrono;
    struct Case {
        const char* name;
        Bytes reply;
        bool isRead;
        Result result;
    };
    const std::vector<Case> cases = {
        {"write accepted", {1}, false, Result::Accepted},
        {"write refused with 0x00", {0}, false, Result::Refused},
        {"write refused with 0x02", {2}, false, Result::Refused},
        {"write acknowledged with a byte too many", {1, 1}, false, Result::Malformed},
        {"read refused", {0}, true, Result::Refused},
        {"size-0 read", {1}, true, Result::Accepted},
        {"size-0 read with a value behind the acknowledgement", {1, 9, 9}, true, Result::Accepted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        ParameterExchange exchange(*link.parameter);
        link.AnswerWith({Frame(127, c.reply)});
        const auto start = steady_clock::now();
        const std::uint8_t data[2] = {1, 2};
        const Result result =
            c.isRead ? exchange.Get(55, nullptr, 0, 2000) : exchange.Set(0, data, 2, 2000);
        EXPECT_EQ(result, c.result);
        EXPECT_LT(steady_clock::now() - start, milliseconds(500));
        EXPECT_EQ(link.parameter->QueuedBytes(), 0u) << "nothing left for the next request";
    }
}

TEST(ParameterExchangeTest, AReplyThatStopsHalfWayIsNeverCompletedByTheNextOne) {
    // The first reply stops after its first 64-byte report: a header announcing 101 payload
    // bytes and 58 of them. The next request's sound reply must be read as itself, not as the
    // 43 bytes the stale frame is missing. In the second row the stale frame's checksum byte
    // is made to match what the splice would give, so a decoder that kept the stale frame would
    // deliver the spliced bytes as a valid reply.
    constexpr std::size_t ValueSize = 100;
    Bytes oldValue(ValueSize), newValue(ValueSize), thirdValue(ValueSize);
    for (std::size_t i = 0; i < ValueSize; ++i) {
        oldValue[i] = static_cast<std::uint8_t>(0x10 + i % 16);
        newValue[i] = static_cast<std::uint8_t>(0x40 + i % 32);
        thirdValue[i] = static_cast<std::uint8_t>(0x90 + i % 8);
    }
    auto replyOf = [](const Bytes& value) {
        Bytes payload = {0x01};
        payload.insert(payload.end(), value.begin(), value.end());
        return Frame(127, payload);
    };
    const Bytes fullOld = replyOf(oldValue);
    const Bytes sound = replyOf(newValue);
    struct Case {
        const char* name;
        bool splicePasses;
    };
    for (const Case c : {Case{"stale checksum left as it was", false},
                         Case{"stale checksum built to pass the splice", true}}) {
        SCOPED_TRACE(c.name);
        Bytes stale(fullOld.begin(), fullOld.begin() + 64);
        if (c.splicePasses) {
            Bytes spliced(stale.begin() + FrameHeaderSize, stale.end());
            spliced.insert(spliced.end(), sound.begin(),
                           sound.begin() + static_cast<std::ptrdiff_t>(fullOld.size() - 64));
            stale[2] = FrameChecksum(spliced.data(), spliced.size());
        }
        Link link;
        ParameterExchange exchange(*link.parameter, std::chrono::milliseconds(20));
        link.AnswerWith({stale});
        Bytes buffer(ValueSize, 0);
        EXPECT_EQ(exchange.Get(6, buffer.data(), ValueSize, 30), Result::NoAnswer);
        link.AnswerWith({sound});
        EXPECT_EQ(exchange.Get(7, buffer.data(), ValueSize, 500), Result::Accepted);
        EXPECT_EQ(buffer, newValue);
        link.AnswerWith({replyOf(thirdValue)});
        EXPECT_EQ(exchange.Get(8, buffer.data(), ValueSize, 500), Result::Accepted);
        EXPECT_EQ(buffer, thirdValue);
    }
}

TEST(ParameterExchangeTest, TheQuietAfterAnUnansweredRequestMeansNoBytesAtAll) {
    // After a request that went unanswered, bytes keep arriving that never make a frame (the
    // tail of a reply, noise). The next request goes out only once they have stopped for the
    // whole settle time, however long they last.
    using namespace std::chrono;
    constexpr milliseconds Settle(300);
    Link link;
    ParameterExchange exchange(*link.parameter, Settle);
    std::uint8_t buffer[2] = {};
    ASSERT_EQ(exchange.Get(1, buffer, 2, 10), Result::NoAnswer);
    steady_clock::time_point lastByte;
    std::thread trickle([&] {
        const Bytes filler = {0x00, 0x13};
        for (int k = 0; k < 10; ++k) {
            link.Deliver(filler);
            lastByte = steady_clock::now();
            std::this_thread::sleep_for(milliseconds(20));
        }
    });
    steady_clock::time_point sent;
    link.pipe.onFlush = [&](const Bytes&) {
        sent = steady_clock::now();
        trickle.join();
        link.Deliver(Frame(127, {1, 0xCC, 0xDD}));
    };
    EXPECT_EQ(exchange.Get(1, buffer, 2, 1000), Result::Accepted);
    if (trickle.joinable()) {
        trickle.join();
    }
    EXPECT_GE(sent - lastByte, Settle);
    EXPECT_THAT(buffer, ElementsAre(0xCC, 0xDD));
}

TEST(ParameterExchangeTest, NoAnswerEndsByTheTimeOutAndTheNextRequestSettlesFirst) {
    using namespace std::chrono;
    Link link;  // nobody answers
    ParameterExchange exchange(*link.parameter, milliseconds(100));
    std::uint8_t buffer[18];
    auto start = steady_clock::now();
    EXPECT_EQ(exchange.Get(0, buffer, 18, 40), Result::NoAnswer);
    EXPECT_GE(steady_clock::now() - start, milliseconds(40));
    start = steady_clock::now();
    EXPECT_EQ(exchange.Set(0, buffer, 18, 40), Result::NoAnswer);
    // 100 ms of quiet before the request is sent, then its own 40 ms.
    const auto elapsed = steady_clock::now() - start;
    EXPECT_GE(elapsed, milliseconds(140));
    EXPECT_LT(elapsed, milliseconds(1000));
}

TEST(ParameterExchangeTest, LateReplyNeverAnswersTheNextRequest) {
    using namespace std::chrono;
    struct Case {
        const char* name;
        milliseconds lateBy;  // after the first request's deadline
    };
    // The settle time is 100 ms: replies later than that after the deadline would be taken for
    // the next request's, which the protocol cannot tell apart.
    const std::vector<Case> cases = {
        {"arrives before the next request is made", milliseconds(5)},
        {"arrives while the next request is waiting", milliseconds(60)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        ParameterExchange exchange(*link.parameter, milliseconds(100));
        std::uint8_t buffer[2] = {};
        EXPECT_EQ(exchange.Get(1, buffer, 2, 10), Result::NoAnswer);
        std::thread late([&] {
            std::this_thread::sleep_for(c.lateBy);
            link.Deliver(Frame(127, {1, 0xAA, 0xBB}));
        });
        if (c.lateBy < milliseconds(10)) {
            late.join();
        }
        link.AnswerWith({Frame(127, {1, 0xCC, 0xDD})});
        EXPECT_EQ(exchange.Get(1, buffer, 2, 500), Result::Accepted);
        if (late.joinable()) {
            late.join();
        }
        EXPECT_THAT(buffer, ElementsAre(0xCC, 0xDD));
    }
}

TEST(ParameterExchangeTest, StaleBytesAreDiscardedAndOnlyAnUnansweredRequestCostsTheSettle) {
    using namespace std::chrono;
    Link link;
    ParameterExchange exchange(*link.parameter, milliseconds(300));
    link.AnswerWith({Frame(127, {1, 7, 8})});
    std::uint8_t buffer[2] = {};
    ASSERT_EQ(exchange.Get(1, buffer, 2, 500), Result::Accepted);
    // An unasked frame between two clean requests is dropped, without the settle wait.
    link.Deliver(Frame(127, {1, 0xAA, 0xBB}));
    const auto start = steady_clock::now();
    EXPECT_EQ(exchange.Get(1, buffer, 2, 500), Result::Accepted);
    EXPECT_LT(steady_clock::now() - start, milliseconds(150));
    EXPECT_THAT(buffer, ElementsAre(7, 8));
}

TEST(ParameterExchangeTest, ValueArrivingFromAnotherThreadCompletesTheRead) {
    Link link;
    ParameterExchange exchange(*link.parameter);
    std::thread feeder;
    link.pipe.onFlush = [&](const Bytes&) {
        feeder = std::thread([&] {
            link.Deliver(Frame(127, {1, 5}));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            link.Deliver(Frame(127, {6, 7}));
        });
    };
    std::uint8_t buffer[3] = {};
    EXPECT_EQ(exchange.Get(2, buffer, 3, 1000), Result::Accepted);
    feeder.join();
    EXPECT_THAT(buffer, ElementsAre(5, 6, 7));
}

TEST(ParameterExchangeTest, ARequestThatCannotBeSentOrALinkThatIsGoneFailsAtOnce) {
    using namespace std::chrono;
    struct Case {
        const char* name;
        bool refuseWrites;
        bool gone;
        Result result;
    };
    const std::vector<Case> cases = {
        {"write refused", true, false, Result::NotSent},
        {"device gone", false, true, Result::LinkGone},
        {"gone and refusing", true, true, Result::LinkGone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        link.pipe.refuseWrites = c.refuseWrites;
        ParameterExchange exchange(*link.parameter, milliseconds(500), [&] { return c.gone; });
        std::uint8_t buffer[2] = {};
        const auto start = steady_clock::now();
        EXPECT_EQ(exchange.Get(1, buffer, 2, 1000), c.result);
        EXPECT_EQ(exchange.Set(1, buffer, 2, 1000), c.result);
        EXPECT_LT(steady_clock::now() - start, milliseconds(200));
        if (c.gone) {
            EXPECT_TRUE(link.pipe.sent.empty());
        }
    }
}

TEST(ParameterExchangeTest, AWaitingRequestIsWokenWhenTheLinkGoes) {
    using namespace std::chrono;
    Link link;
    std::atomic<bool> gone{false};
    ParameterExchange exchange(*link.parameter, milliseconds(500), [&] { return gone.load(); });
    // The link goes from another thread once the request is on its way.
    std::thread unplug;
    link.pipe.onFlush = [&](const Bytes&) {
        unplug = std::thread([&] {
            gone = true;
            link.parameter->Interrupt();
        });
    };
    std::uint8_t buffer[2] = {};
    const auto start = steady_clock::now();
    EXPECT_EQ(exchange.Get(1, buffer, 2, 1500), Result::LinkGone);
    EXPECT_LT(steady_clock::now() - start, milliseconds(500));
    unplug.join();
}

TEST(ControlCommandsTest, LoginAndStreamCommands) {
    auto payloads = [](const Bytes& wire) {
        std::vector<std::string> texts;
        struct Sink : IFrameDispatch {
            void DispatchFrame(std::uint8_t ch, const std::uint8_t* p, std::size_t n) override {
                EXPECT_EQ(ch, ControlChannel);
                out->emplace_back(reinterpret_cast<const char*>(p), n);
            }
            std::vector<std::string>* out;
        } sink;
        sink.out = &texts;
        FrameDecoder decoder(sink);
        decoder.Feed(wire.data(), wire.size());
        return texts;
    };
    Link link;
    SendLogin(*link.control, "");
    EXPECT_TRUE(link.pipe.sent.empty());
    EXPECT_EQ(link.pipe.flushes, 0);
    SendLogin(*link.control, "owner");
    EXPECT_TRUE(SendStreamCommand(*link.control, "data", 5));
    EXPECT_TRUE(SendStreamCommand(*link.control, "clear", -3));
    EXPECT_THAT(payloads(link.pipe.sent),
                ElementsAre("login\r", "owner\r", "data 5\r", "clear -3\r"));
    EXPECT_EQ(link.pipe.flushes, 4);
}
