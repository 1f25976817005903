// The request-reply exchange on the parameter channel and the text commands of the control
// channel, written against the stream layer so they run over any byte pipe.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "Tovrastream.h"

namespace tovra {

// How one parameter request ended. Only Accepted is a success.
enum class ParameterResult : std::int32_t {
    Accepted = 0,   // acknowledged with 0x01 and, for a read, exactly the value bytes
    Refused = 1,    // answered with the one byte of an acknowledgement other than 0x01
    NoAnswer = 2,   // nothing came before the deadline
    Malformed = 3,  // an answer came but not the expected one: short at the deadline, or longer
    NotSent = 4,    // the request could not be sent whole (bad arguments, write or send failed)
    LinkGone = 5,   // the transport reports the device gone
};

// The parameter exchange of one device. The protocol carries no request number, so a reply can
// only be told to belong to a request by when it arrives:
//  - before a request is sent, whatever is queued on the channel is discarded, and so is a
//    frame the decoder is half-way through (a reply that stopped short);
//  - a reply is taken only whole: more bytes than the request expects fail it;
//  - after a request that was sent but did not end cleanly (no answer, a partial or an overlong
//    answer), the next request is sent only once the link has stayed quiet for the settle
//    time (no bytes at all, whole frames or not), discarding what arrives meanwhile; a link
//    that does not fall quiet within the settle time plus the request's time-out fails the
//    request unsent. A well-behaved link never pays that wait. A request that could not be
//    sent whole fails at once and costs the next one nothing: should the transport still
//    deliver part of it later, a reply to that can only be told apart by arriving before the
//    next request is sent.
// The caller sleeps on the channel until a frame arrives or the deadline passes; it does not
// poll. One caller thread at a time.
class ParameterExchange {
public:
    using Clock = std::chrono::steady_clock;

    // Long enough that a reply up to this much past its request's deadline is discarded.
    static constexpr std::chrono::milliseconds DefaultSettle{500};

    // linkGone, when given, tells whether the transport reports the device gone; it is asked
    // before each request and whenever a wait ends without a reply.
    explicit ParameterExchange(TovraFrameStream& channel,
                               std::chrono::milliseconds settle = DefaultSettle,
                               std::function<bool()> linkGone = {});

    // A write request [id, 0x01, value...], flushed, then the one-byte acknowledgement, all
    // within timeoutMs of the request being sent. A negative size, or data missing for a
    // positive size, is NotSent without sending anything. Blocks the calling thread: up to
    // timeoutMs (plus up to the settle time and timeoutMs more when the previous request did
    // not end cleanly), and each output report may wait up to 300 ms for the device. No lock
    // is held while it waits; the channel's queue lock only while bytes are taken.
    ParameterResult Set(std::uint8_t id, const void* data, std::int32_t size,
                        std::uint32_t timeoutMs);

    // A read request [id, 0x00], flushed, then the acknowledgement and exactly size value bytes
    // under one deadline. The buffer receives only value bytes that arrived; it is complete
    // only when the result is Accepted. Size 0 is Accepted on the acknowledgement 0x01; value
    // bytes behind it are dropped and the next request waits for the link to fall quiet.
    // Blocks as Set does.
    ParameterResult Get(std::uint8_t id, void* buffer, std::int32_t size, std::uint32_t timeoutMs);

    // The result of the newest Set or Get; NotSent before the first.
    ParameterResult LastResult() const { return last_; }

private:
    // Waits, at most bound, for the channel to stay quiet for the settle time after an unclean
    // request; false when it did not settle in time or the link went away.
    bool Settle(Clock::duration bound);
    // Discards what is queued, settles if needed and checks the link; Accepted when the
    // request may be sent.
    ParameterResult Prepare(std::uint32_t timeoutMs);
    // Sends one request frame; false when it did not go out whole.
    bool Send(const std::uint8_t* payload, std::int32_t n);
    // Waits for one acknowledgement byte.
    ParameterResult AwaitAcknowledgement(Clock::time_point deadline, std::uint8_t& ack);
    // A wait ended without bytes: the link is gone, or the answer did not come (whole).
    ParameterResult Unanswered(ParameterResult otherwise);
    // Records the end of a request: anything left on the channel makes an accepted or refused
    // answer malformed; an unclean end asks the next request to settle first.
    ParameterResult Finish(ParameterResult result);
    // Drops what is queued and has the next request wait for the settle time of quiet.
    void AwaitQuiet();

    TovraFrameStream& channel_;
    std::chrono::milliseconds settle_;
    std::function<bool()> linkGone_;
    bool unsettled_ = false;
    Clock::time_point quietSince_{};
    ParameterResult last_ = ParameterResult::NotSent;
};

// Sends "login\r" and then the login text followed by "\r" as two frames on the control
// channel, each flushed. Sends nothing for an empty login. Awaits no answer; blocks only while
// the reports are written (up to 300 ms each, two for a short login).
void SendLogin(IStreamBase& controlChannel, const std::string& login);

// Sends "<verb> <number>\r" (verb "data" or "clear") as one frame on the control channel and
// flushes it; returns the flush result. Blocks up to 300 ms while the report is written.
bool SendStreamCommand(IStreamBase& controlChannel, const char* verb, std::int32_t number);

}  // namespace tovra
