// The request-reply exchange on the parameter channel and the text commands of the control
// channel, written against the stream layer so they run over any byte pipe.
#pragma once

#include <cstdint>
#include <string>

#include "Tovrastream.h"

namespace tovra {

// Writes a parameter: one write request frame [id, 0x01, value...] on the parameter channel,
// flushed, then waits for the one-byte acknowledgement, polling the channel's queue every
// millisecond until timeoutMs has passed. True exactly when the acknowledgement is 0x01.
// A negative size, or data missing for a positive size, fails without sending anything.
// Blocks the calling thread: up to timeoutMs (plus a settle of about 500 ms when the previous
// request went unanswered), and each output report may wait up to 300 ms for the device. No
// lock is held while it waits; the channel's queue lock only while bytes are taken.
bool SetParameter(IStreamBase& parameterChannel, std::uint8_t id, const void* data,
                  std::int32_t size, std::uint32_t timeoutMs);

// Reads a parameter: one read request frame [id, 0x00], flushed, then the acknowledgement and
// exactly size value bytes under one deadline. True exactly when the acknowledgement is 0x01
// and all size bytes arrived. The buffer receives only value bytes that arrived; after a
// refusal the bytes behind the acknowledgement stay queued. Blocks as SetParameter does.
bool GetParameter(IStreamBase& parameterChannel, std::uint8_t id, void* buffer, std::int32_t size,
                  std::uint32_t timeoutMs);

// Sends "login\r" and then the login text followed by "\r" as two frames on the control
// channel, each flushed. Sends nothing for an empty login. Awaits no answer; blocks only while
// the reports are written (up to 300 ms each, two for a short login).
void SendLogin(IStreamBase& controlChannel, const std::string& login);

// Sends "<verb> <number>\r" (verb "data" or "clear") as one frame on the control channel and
// flushes it; returns the flush result. Blocks up to 300 ms while the report is written.
bool SendStreamCommand(IStreamBase& controlChannel, const char* verb, std::int32_t number);

}  // namespace tovra
