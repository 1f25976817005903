#include "Backup.h"

#include <array>
#include <cstring>

#include "Messages.h"
#include "Vantor.h"

namespace holvane {

namespace {

using Kind = RestoreRow::Kind;

const std::array<RestoreRow, RestoreRowCount> RestoreRows = {{
    {Kind::Mode, CurrentModeSlot, backup::CurrentMode, 0, "current mode",
     "Could not upload the current Mode.\r\nCheck the connection and try again."},
    {Kind::UniversalSettings, 0, backup::UniversalSettings, 0, "universal settings",
     messages::CouldNotUploadUniversal},
    {Kind::Preferences, 0, backup::Preferences, 0, "preferences",
     messages::CouldNotUploadPreferences},
    {Kind::Pattern, SwiftveilPatternSlot, backup::Swiftveil, 0, "Swiftveil pattern",
     "Could not upload the Swiftveil pattern.\r\nCheck the connection and try again."},
    {Kind::Pattern, FirstMyPatternSlot + 0, backup::MyPattern(0), 0, "My Pattern 1",
     "Could not upload the My Pattern 1.\r\nCheck the connection and try again."},
    {Kind::Pattern, FirstMyPatternSlot + 1, backup::MyPattern(1), 0, "My Pattern 2",
     "Could not upload the My Pattern 2.\r\nCheck the connection and try again."},
    {Kind::Pattern, FirstMyPatternSlot + 2, backup::MyPattern(2), 0, "My Pattern 3",
     "Could not upload the My Pattern 3.\r\nCheck the connection and try again."},
    {Kind::Pattern, FirstMyPatternSlot + 3, backup::MyPattern(3), 0, "My Pattern 4",
     "Could not upload the My Pattern 4.\r\nCheck the connection and try again."},
    {Kind::Pattern, FirstMyPatternSlot + 4, backup::MyPattern(4), 0, "My Pattern 5",
     "Could not upload the My Pattern 5.\r\nCheck the connection and try again."},
    {Kind::Pattern, FirstMyPatternSlot + 5, backup::MyPattern(5), 0, "My Pattern 6",
     "Could not upload the My Pattern 6.\r\nCheck the connection and try again."},
    {Kind::Mode, FirstUserModeSlot + 0, backup::UserMode(0), backup::UserModePresent(0),
     "My Mode 1", "Could not upload the My Mode 1.\r\nCheck the connection and try again."},
    {Kind::Mode, FirstUserModeSlot + 1, backup::UserMode(1), backup::UserModePresent(1),
     "My Mode 2", "Could not upload the my Mode 2.\r\nCheck the connection and try again."},
    {Kind::Mode, FirstUserModeSlot + 2, backup::UserMode(2), backup::UserModePresent(2),
     "My Mode 3", "Could not upload the my Mode 3.\r\nCheck the connection and try again."},
    {Kind::Mode, FirstUserModeSlot + 3, backup::UserMode(3), backup::UserModePresent(3),
     "My Mode 4", "Could not upload the my Mode 4.\r\nCheck the connection and try again."},
}};

const char* const UserModeNames[] = {"My Mode 1", "My Mode 2", "My Mode 3", "My Mode 4"};
const char* const MyPatternNames[] = {"My Pattern 1", "My Pattern 2", "My Pattern 3",
                                      "My Pattern 4", "My Pattern 5", "My Pattern 6"};

// A record of the payload, viewed as the record type the link moves.
template <typename Record>
Record Take(const BackupPayload& payload, std::size_t offset) {
    Record r;
    std::memcpy(r.data(), payload.data() + offset, r.size());
    return r;
}

template <typename Record>
void Put(BackupPayload& payload, std::size_t offset, const Record& r) {
    std::memcpy(payload.data() + offset, r.data(), r.size());
}

void Report(const BackupProgress& progress, const char* record) {
    if (progress) {
        progress(record);
    }
}

bool WriteRow(DetectorLink& link, const RestoreRow& row, const BackupPayload& payload) {
    switch (row.kind) {
        case Kind::Mode:
            return link.SetMode(row.slot, Take<ModeRecord>(payload, row.offset)) == 1;
        case Kind::UniversalSettings:
            return link.SetUniversalSettings(Take<UniversalSettingsRecord>(payload, row.offset)) ==
                   1;
        case Kind::Preferences:
            return link.SetPreferences(Take<PreferencesRecord>(payload, row.offset)) == 1;
        case Kind::Pattern:
            return link.SetPattern(row.slot, Take<PatternRecord>(payload, row.offset)) == 1;
    }
    return false;
}

}  // namespace

const char* BackupOutcome::Message() const {
    switch (result) {
        case Result::Done:
            return "";
        case Result::ConnectFailed:
            return messages::CouldNotConnect;
        case Result::RequiredReadFailed:
            return messages::BackupAborted;
        case Result::PatternReadFailed:
            return messages::BackupAbortedTryAgain;
    }
    return "";
}

BackupOutcome CreateBackup(const BackupProgress& progress) {
    BackupOutcome outcome;
    DetectorLink link;
    if (link.Connect() != 1) {
        outcome.result = BackupOutcome::Result::ConnectFailed;
        return outcome;
    }
    BackupPayload& payload = outcome.payload;
    payload.fill(0);
    auto fail = [&](BackupOutcome::Result result) {
        link.Disconnect();
        outcome.result = result;
        return outcome;
    };

    ModeRecord mode{};
    if (link.GetMode(CurrentModeSlot, mode) != 1) {
        return fail(BackupOutcome::Result::RequiredReadFailed);
    }
    Put(payload, backup::CurrentMode, mode);
    Report(progress, "current mode");

    // A user mode the detector does not hold fails to read: it is left out, not an error.
    for (int k = 0; k < 4; ++k) {
        ModeRecord user{};
        if (link.GetMode(FirstUserModeSlot + k, user) == 1) {
            Put(payload, backup::UserMode(k), user);
            payload[backup::UserModePresent(k)] = 1;
            Report(progress, UserModeNames[k]);
        } else {
            Report(progress, (std::string(UserModeNames[k]) + " (absent)").c_str());
        }
    }

    UniversalSettingsRecord universal{};
    if (link.GetUniversalSettings(universal) != 1) {
        return fail(BackupOutcome::Result::RequiredReadFailed);
    }
    Put(payload, backup::UniversalSettings, universal);
    Report(progress, "universal settings");

    PreferencesRecord preferences{};
    if (link.GetPreferences(preferences) != 1) {
        return fail(BackupOutcome::Result::RequiredReadFailed);
    }
    Put(payload, backup::Preferences, preferences);
    Report(progress, "preferences");

    PatternRecord pattern{};
    if (link.GetPattern(SwiftveilPatternSlot, pattern) != 1) {
        return fail(BackupOutcome::Result::PatternReadFailed);
    }
    Put(payload, backup::Swiftveil, pattern);
    Report(progress, "Swiftveil pattern");
    for (int k = 0; k < 6; ++k) {
        if (link.GetPattern(FirstMyPatternSlot + k, pattern) != 1) {
            return fail(BackupOutcome::Result::PatternReadFailed);
        }
        Put(payload, backup::MyPattern(k), pattern);
        Report(progress, MyPatternNames[k]);
    }
    link.Disconnect();
    return outcome;
}

const RestoreRow& RestoreRowAt(std::size_t index) {
    return RestoreRows.at(index);
}

const char* RestoreOutcome::Message() const {
    switch (result) {
        case Result::Done:
        case Result::Cancelled:
            return "";
        case Result::ConnectFailed:
            return messages::CouldNotConnect;
        case Result::WriteFailed:
            return RestoreRows.at(failedRow).failureMessage;
    }
    return "";
}

RestoreOutcome RestoreBackup(const BackupPayload& payload, const std::function<bool()>& confirm,
                             const BackupProgress& progress) {
    RestoreOutcome outcome;
    DetectorLink link;
    if (link.Connect() != 1) {
        outcome.result = RestoreOutcome::Result::ConnectFailed;
        return outcome;
    }
    if (confirm && !confirm()) {
        link.Disconnect();
        outcome.result = RestoreOutcome::Result::Cancelled;
        return outcome;
    }
    for (std::size_t i = 0; i < RestoreRows.size(); ++i) {
        const RestoreRow& row = RestoreRows[i];
        // A user mode absent from the backup is neither written nor deleted.
        if (row.presentByte != 0 && payload[row.presentByte] == 0) {
            continue;
        }
        if (!WriteRow(link, row, payload)) {
            link.Disconnect();
            outcome.result = RestoreOutcome::Result::WriteFailed;
            outcome.failedRow = i;
            return outcome;
        }
        Report(progress, row.name);
    }
    link.FinishUpload();
    link.Disconnect();
    return outcome;
}

}  // namespace holvane
