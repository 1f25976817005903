#include "ParameterExchange.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace tovra {

namespace {

constexpr std::uint8_t WriteRequest = 0x01;
constexpr std::uint8_t ReadRequest = 0x00;
constexpr std::uint8_t Accepted = 0x01;

bool SendText(IStreamBase& channel, const std::string& text) {
    channel.Write(text.data(), static_cast<std::int32_t>(text.size()));
    return channel.Flush();
}

}  // namespace

ParameterExchange::ParameterExchange(TovraFrameStream& channel, std::chrono::milliseconds settle,
                                     std::function<bool()> linkGone)
    : channel_(channel), settle_(settle), linkGone_(std::move(linkGone)) {}

bool ParameterExchange::Settle(Clock::duration bound) {
    const auto limit = Clock::now() + bound;
    for (;;) {
        channel_.Discard();
        // Quiet means no bytes at all: a frame that never completes is activity too.
        const auto quietUntil = std::max(quietSince_, channel_.LastLinkActivity()) + settle_;
        const auto now = Clock::now();
        if (now >= quietUntil) {
            unsettled_ = false;
            return true;
        }
        if (now >= limit || channel_.Interrupted()) {
            return false;
        }
        channel_.WaitReadable(std::min(quietUntil, limit));
    }
}

ParameterResult ParameterExchange::Prepare(std::uint32_t timeoutMs) {
    if (channel_.Interrupted() || (linkGone_ && linkGone_())) {
        return ParameterResult::LinkGone;
    }
    if (unsettled_ && !Settle(settle_ + std::chrono::milliseconds(timeoutMs))) {
        return Unanswered(ParameterResult::NoAnswer);
    }
    // Nothing received before the request may become part of its reply: neither a queued
    // frame nor the start of one that a reply stopping half-way left behind.
    channel_.DropPartialFrame();
    channel_.Discard();
    return ParameterResult::Accepted;
}

bool ParameterExchange::Send(const std::uint8_t* payload, std::int32_t n) {
    // A request that did not go out whole fails at once, and so does the next one on a link
    // that keeps refusing: no settle time is paid for it (see the note in the header).
    return channel_.Write(payload, n) == n && channel_.Flush();
}

ParameterResult ParameterExchange::Unanswered(ParameterResult otherwise) {
    if (channel_.Interrupted() || (linkGone_ && linkGone_())) {
        return ParameterResult::LinkGone;
    }
    return otherwise;
}

ParameterResult ParameterExchange::AwaitAcknowledgement(Clock::time_point deadline,
                                                        std::uint8_t& ack) {
    while (channel_.Read(&ack, 1) != 1) {
        if (!channel_.WaitReadable(deadline)) {
            return Unanswered(ParameterResult::NoAnswer);
        }
    }
    return ack == Accepted ? ParameterResult::Accepted : ParameterResult::Refused;
}

ParameterResult ParameterExchange::Finish(ParameterResult result) {
    const bool answered = result == ParameterResult::Accepted || result == ParameterResult::Refused;
    if (answered && channel_.QueuedBytes() > 0) {
        result = ParameterResult::Malformed;
    }
    if (!answered || result == ParameterResult::Malformed) {
        AwaitQuiet();
    }
    last_ = result;
    return result;
}

void ParameterExchange::AwaitQuiet() {
    channel_.Discard();
    unsettled_ = true;
    quietSince_ = Clock::now();
}

ParameterResult ParameterExchange::Set(std::uint8_t id, const void* data, std::int32_t size,
                                       std::uint32_t timeoutMs) {
    if (size < 0 || (size > 0 && data == nullptr)) {
        return last_ = ParameterResult::NotSent;
    }
    if (const auto ready = Prepare(timeoutMs); ready != ParameterResult::Accepted) {
        return last_ = ready;
    }
    std::vector<std::uint8_t> request(static_cast<std::size_t>(size) + 2);
    request[0] = id;
    request[1] = WriteRequest;
    if (size > 0) {
        std::memcpy(request.data() + 2, data, static_cast<std::size_t>(size));
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!Send(request.data(), static_cast<std::int32_t>(request.size()))) {
        return last_ = Unanswered(ParameterResult::NotSent);
    }
    std::uint8_t ack = 0;
    return Finish(AwaitAcknowledgement(deadline, ack));
}

ParameterResult ParameterExchange::Get(std::uint8_t id, void* buffer, std::int32_t size,
                                       std::uint32_t timeoutMs) {
    if (size < 0 || (size > 0 && buffer == nullptr)) {
        return last_ = ParameterResult::NotSent;
    }
    if (const auto ready = Prepare(timeoutMs); ready != ParameterResult::Accepted) {
        return last_ = ready;
    }
    const std::uint8_t request[2] = {id, ReadRequest};
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!Send(request, 2)) {
        return last_ = Unanswered(ParameterResult::NotSent);
    }
    std::uint8_t ack = 0;
    const ParameterResult acknowledged = AwaitAcknowledgement(deadline, ack);
    if (acknowledged != ParameterResult::Accepted) {
        return Finish(acknowledged);
    }
    if (size == 0) {
        // Asked only whether the id is acknowledged. A value that follows belongs to no one:
        // it is dropped, and the next request waits for the rest of it to have passed.
        if (channel_.QueuedBytes() > 0) {
            AwaitQuiet();
        }
        return last_ = ParameterResult::Accepted;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int32_t received = 0;
    while (received != size) {
        received += channel_.Read(out + received, size - received);
        if (received != size && !channel_.WaitReadable(deadline)) {
            // Acknowledged, but the value stopped short.
            return Finish(Unanswered(ParameterResult::Malformed));
        }
    }
    return Finish(ParameterResult::Accepted);
}

void SendLogin(IStreamBase& controlChannel, const std::string& login) {
    if (login.empty()) {
        return;
    }
    SendText(controlChannel, "login\r");
    SendText(controlChannel, login + "\r");
}

bool SendStreamCommand(IStreamBase& controlChannel, const char* verb, std::int32_t number) {
    return SendText(controlChannel, std::string(verb) + " " + std::to_string(number) + "\r");
}

}  // namespace tovra
