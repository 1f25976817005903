// The single-record transfers of the Settings and Patterns pages: one connection each, the
// end-of-upload command sent by the rules of each record kind, and an outcome that carries the
// message a front end shows. The records passed in are sent as they are; building them (from a
// grid, with the target slot) is the caller's.
#pragma once

#include <functional>
#include <string>

#include "Records.h"

namespace holvane {

struct TransferOutcome {
    enum class Result {
        Done,
        ConnectFailed,   // nothing was transferred
        Cancelled,       // the overwrite question was declined; nothing was written
        ModeAbsent,      // the user mode the record belongs to does not exist
        TransferFailed,  // the read or the write was refused or timed out
    };
    Result result = Result::Done;
    std::string message;  // empty when Done or Cancelled
    // Cancelled: the question was asked because the detector did not answer whether the slot
    // holds a mode (rather than because it does).
    bool slotUnknown = false;
    // The end-of-upload command was due but could not even be sent.
    bool finishNotSent = false;

    bool Succeeded() const { return result == Result::Done; }
};

template <typename Record>
struct DownloadOutcome : TransferOutcome {
    Record record{};  // the detector's record; meaningful only when Done
};

// Reads a mode (slot 0..8). A mode the detector does not hold fails like any other read.
DownloadOutcome<ModeRecord> DownloadMode(int modeSlot);

// Uploads a mode into a writable slot. Unless the detector refuses the read of the slot (it holds
// no mode there), confirm() is asked first: when the slot holds a mode, and also when the read
// went unanswered or came back malformed, since the slot is then not known to be empty (false:
// nothing is written and no end-of-upload is sent; an empty function means yes). A link that is
// down fails the upload before anything is written.
// ModeParts::WithPattern sends all 292 bytes, SettingsOnly only the 26 settings bytes, which
// leaves the slot's pattern alone. The end-of-upload command follows the write whether it succeeded
// or not.
TransferOutcome UploadMode(int modeSlot, const ModeRecord& mode, ModeParts parts,
                           const std::function<bool()>& confirm = {});

DownloadOutcome<UniversalSettingsRecord> DownloadUniversalSettings();
// The end-of-upload command follows the write whether it succeeded or not.
TransferOutcome UploadUniversalSettings(const UniversalSettingsRecord& record);

DownloadOutcome<PreferencesRecord> DownloadPreferences();
// The end-of-upload command follows only a successful write.
TransferOutcome UploadPreferences(const PreferencesRecord& record);

// Reads one stored pattern (slot 14..25). The pattern of a user mode exists only while the mode
// does, so its mode is read first: a refusal or no answer is taken as absent, a malformed
// answer or a link that is down fails the download.
DownloadOutcome<PatternRecord> DownloadPattern(int patternSlot);

// The message for the pattern of a user mode that does not exist, for "download" or "upload".
std::string ModeAbsentMessage(const char* action, int modeSlot);

// Writes a pattern into a slot (14..25). A user mode's pattern slot takes a pattern only while
// the mode exists: only the detector's refusal of the mode's read stops the upload as absent
// (without an answer the write is tried and the detector decides). The end-of-upload command
// follows only a successful write.
TransferOutcome UploadPattern(int patternSlot, const PatternRecord& pattern);

}  // namespace holvane
