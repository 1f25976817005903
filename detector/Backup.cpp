#include "Backup.h"

#include <algorithm>
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

template <typename Record>
void Put(BackupPayload& payload, std::size_t offset, const Record& r) {
    std::memcpy(payload.data() + offset, r.data(), r.size());
}

void Report(const BackupProgress& progress, const char* record) {
    if (progress) {
        progress(record);
    }
}

// A backup reads the rows in the order their records lie in the payload: the current mode, the
// user modes, the two settings records, then the stored patterns.
const std::array<std::size_t, RestoreRowCount>& BackupReadOrder() {
    static const std::array<std::size_t, RestoreRowCount> order = [] {
        std::array<std::size_t, RestoreRowCount> rows{};
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i] = i;
        }
        std::ranges::sort(rows, {}, [](std::size_t row) { return RestoreRows[row].offset; });
        return rows;
    }();
    return order;
}

// Reads the record of a row from the detector into its place in the payload.
template <typename Record, typename Get>
bool ReadInto(BackupPayload& payload, std::size_t offset, Get&& get) {
    Record record{};
    if (get(record) != 1) {
        return false;
    }
    Put(payload, offset, record);
    return true;
}

bool ReadRow(DetectorLink& link, const RestoreRow& row, BackupPayload& payload) {
    switch (row.kind) {
        case Kind::Mode:
            return ReadInto<ModeRecord>(payload, row.offset,
                                        [&](ModeRecord& r) { return link.GetMode(row.slot, r); });
        case Kind::UniversalSettings:
            return ReadInto<UniversalSettingsRecord>(
                payload, row.offset,
                [&](UniversalSettingsRecord& r) { return link.GetUniversalSettings(r); });
        case Kind::Preferences:
            return ReadInto<PreferencesRecord>(
                payload, row.offset, [&](PreferencesRecord& r) { return link.GetPreferences(r); });
        case Kind::Pattern:
            return ReadInto<PatternRecord>(payload, row.offset, [&](PatternRecord& r) {
                return link.GetPattern(row.slot, r);
            });
    }
    return false;
}

bool WriteRow(DetectorLink& link, const RestoreRow& row, const BackupPayload& payload) {
    switch (row.kind) {
        case Kind::Mode:
            return link.SetMode(row.slot, backup::RecordAt<ModeRecord>(payload, row.offset)) == 1;
        case Kind::UniversalSettings:
            return link.SetUniversalSettings(
                       backup::RecordAt<UniversalSettingsRecord>(payload, row.offset)) == 1;
        case Kind::Preferences:
            return link.SetPreferences(backup::RecordAt<PreferencesRecord>(payload, row.offset)) ==
                   1;
        case Kind::Pattern:
            return link.SetPattern(row.slot,
                                   backup::RecordAt<PatternRecord>(payload, row.offset)) == 1;
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
    outcome.payload.fill(0);
    for (std::size_t index : BackupReadOrder()) {
        const RestoreRow& row = RestoreRows[index];
        if (ReadRow(link, row, outcome.payload)) {
            if (row.presentByte != 0) {
                outcome.payload[row.presentByte] = 1;
            }
            Report(progress, row.name);
        } else if (row.presentByte != 0 && link.LastAnswer() == LinkAnswer::Refused) {
            // A user mode the detector does not hold is refused: it is left out.
            Report(progress, (std::string(row.name) + " (absent)").c_str());
        } else if (row.presentByte != 0 && link.LastAnswer() == LinkAnswer::NoAnswer) {
            // The detector may also stay silent for a mode it does not hold; it is left out,
            // and the progress says that this was not learnt from an answer.
            Report(progress, (std::string(row.name) + " (no answer, taken as absent)").c_str());
        } else {
            link.Disconnect();
            outcome.result = row.kind == Kind::Pattern ? BackupOutcome::Result::PatternReadFailed
                                                       : BackupOutcome::Result::RequiredReadFailed;
            return outcome;
        }
    }
    link.Disconnect();
    return outcome;
}

const RestoreRow& PayloadRowAt(std::size_t index) {
    return RestoreRows.at(BackupReadOrder().at(index));
}

const RestoreRow& RestoreRowAt(std::size_t index) {
    return RestoreRows.at(index);
}

const char* RestoreOutcome::Message() const {
    switch (result) {
        case Result::Done:
        case Result::Cancelled:
        case Result::Stopped:
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
            outcome.result = link.LastAnswer() == LinkAnswer::Stopped
                                 ? RestoreOutcome::Result::Stopped
                                 : RestoreOutcome::Result::WriteFailed;
            outcome.failedRow = i;
            return outcome;
        }
        Report(progress, row.name);
    }
    if (link.FinishUpload() != 1) {
        if (link.LastAnswer() == LinkAnswer::Stopped) {
            outcome.result = RestoreOutcome::Result::Stopped;
            outcome.failedRow = RestoreRowCount;
        }
        outcome.finishNotSent = link.LastAnswer() == LinkAnswer::LinkDown;
    }
    link.Disconnect();
    return outcome;
}

}  // namespace holvane
