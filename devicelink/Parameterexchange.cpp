#include "Parameterexchange.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace tovra {

namespace {

constexpr std::uint8_t WriteRequest = 0x01;
constexpr std::uint8_t ReadRequest = 0x00;
constexpr std::uint8_t Accepted = 0x01;

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(std::uint32_t timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

// Polls the channel for one byte until the deadline; 0 when none came.
std::uint8_t AwaitAcknowledgement(IStreamBase& channel, Clock::time_point deadline) {
    std::uint8_t ack = 0;
    for (;;) {
        if (channel.Read(&ack, 1) == 1) {
            return ack;
        }
        if (Clock::now() > deadline) {
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool SendText(IStreamBase& channel, const std::string& text) {
    channel.Write(text.data(), static_cast<std::int32_t>(text.size()));
    return channel.Flush();
}

}  // namespace

bool SetParameter(IStreamBase& parameterChannel, std::uint8_t id, const void* data,
                  std::int32_t size, std::uint32_t timeoutMs) {
    if (size < 0 || (size > 0 && data == nullptr)) {
        return false;
    }
    const auto deadline = DeadlineAfter(timeoutMs);
    std::vector<std::uint8_t> request(static_cast<std::size_t>(size) + 2);
    request[0] = id;
    request[1] = WriteRequest;
    if (size > 0) {
        std::memcpy(request.data() + 2, data, static_cast<std::size_t>(size));
    }
    parameterChannel.Write(request.data(), static_cast<std::int32_t>(request.size()));
    parameterChannel.Flush();
    return AwaitAcknowledgement(parameterChannel, deadline) == Accepted;
}

bool GetParameter(IStreamBase& parameterChannel, std::uint8_t id, void* buffer, std::int32_t size,
                  std::uint32_t timeoutMs) {
    if (size < 0 || (size > 0 && buffer == nullptr)) {
        return false;
    }
    const auto deadline = DeadlineAfter(timeoutMs);
    const std::uint8_t request[2] = {id, ReadRequest};
    if (parameterChannel.Write(request, 2) < 2) {
        return false;
    }
    parameterChannel.Flush();
    if (AwaitAcknowledgement(parameterChannel, deadline) != Accepted) {
        return false;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int32_t received = 0;
    while (received != size) {
        received += parameterChannel.Read(out + received, size - received);
        if (received == size || Clock::now() > deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return received == size;
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
