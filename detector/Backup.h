// Whole-detector backup and restore: the detector-facing procedures that every front end runs.
// They connect, transfer and disconnect on every path, and return an outcome; the front end
// turns it into its message.
#pragma once

#include <functional>
#include <string>

#include "BackupPayload.h"

namespace holvane {

// Called once per record transferred, with the record's name, for a progress display.
using BackupProgress = std::function<void(const std::string& record)>;

struct BackupOutcome {
    enum class Result {
        Done,                // payload holds the detector's records
        ConnectFailed,       // nothing was read
        RequiredReadFailed,  // the current mode, universal settings or preferences
        PatternReadFailed,   // one of the seven stored patterns
    };
    Result result = Result::Done;
    BackupPayload payload{};  // zero-filled, then each record read; complete only when Done

    // The message for a failed outcome ("" when Done).
    const char* Message() const;
};

// Reads the current mode, the user modes that exist (absent ones are left out, with their present
// byte 0), the universal settings, the preferences and the seven stored patterns. Writes no file.
// A user mode whose read is refused is absent, and so is one whose read goes unanswered (its
// progress line says so); a user mode answered malformed, or a link that goes down, ends the
// backup like a failed read of the current mode.
BackupOutcome CreateBackup(const BackupProgress& progress = {});

// The records of a backup, in the order a restore writes them (a backup reads the same rows).
struct RestoreRow {
    enum class Kind { Mode, UniversalSettings, Preferences, Pattern };
    Kind kind;
    int slot;                 // mode or pattern slot; unused for the two settings records
    std::size_t offset;       // where the record lies in the payload
    std::size_t presentByte;  // for a user mode: its present byte; otherwise 0 (always written)
    const char* name;         // for progress displays
    const char* failureMessage;
};
inline constexpr std::size_t RestoreRowCount = 14;
const RestoreRow& RestoreRowAt(std::size_t index);
// The rows in the order their records lie in the payload, which is the order a backup reads them.
const RestoreRow& PayloadRowAt(std::size_t index);

struct RestoreOutcome {
    enum class Result {
        Done,           // every row written or skipped, end-of-upload sent
        ConnectFailed,  // nothing written
        Cancelled,      // the user declined; nothing written
        WriteFailed,    // rows before failedRow written, it and the rows after it not
        // The front end asked to stop (RequestGate): the rows before failedRow were written,
        // it and the rows after it not (failedRow is RestoreRowCount when only the end-of-upload
        // command was left), and the end-of-upload command was not sent.
        Stopped,
    };
    Result result = Result::Done;
    std::size_t failedRow = 0;
    bool finishNotSent = false;  // Done, but the end-of-upload command could not even be sent

    const char* Message() const;
};

// Connects, asks confirm() (false: disconnect, nothing written), then writes the rows in order,
// skipping user modes whose present byte is 0. Stops at the first failed write, and when the
// front end asks to stop. Sends the end-of-upload command only after a complete restore.
RestoreOutcome RestoreBackup(const BackupPayload& payload, const std::function<bool()>& confirm,
                             const BackupProgress& progress = {});

}  // namespace holvane
