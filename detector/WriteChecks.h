// Looking before and after a write: what the detector holds now for the record a write aims at,
// read over one connection with no write request, and the safety copy of the whole detector that
// is saved before a write so that a restore can take it back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Backup.h"
#include "Fileio.h"
#include "RecordDiff.h"

namespace holvane {

// The one record an upload writes.
struct WriteTarget {
    enum class Kind {
        Mode,               // a whole mode, settings and pattern (mode slot)
        ModeSettings,       // the settings part of a mode only (mode slot)
        Pattern,            // a stored pattern (pattern slot)
        UniversalSettings,  // no slot
    };
    Kind kind = Kind::UniversalSettings;
    int slot = 0;

    DiffRecord Record() const;
    // The slot's name as the window lists it, or "Universal settings".
    std::string Name() const;
};

struct HeldRecord {
    enum class Result {
        Read,           // bytes holds the detector's record (a whole mode for both mode kinds)
        Absent,         // the user mode (or the user mode of the pattern) does not exist
        ConnectFailed,  // message says so
        ReadFailed,     // message says so
    };
    Result result = Result::Read;
    std::string message;
    std::vector<std::uint8_t> bytes;
};

// Reads the target's record over one connection, reading only. A user mode whose read is refused
// or goes unanswered is absent, as a backup takes it; so is the pattern of such a mode.
HeldRecord ReadHeldRecord(const WriteTarget& target);

// The differences between the detector's record and `record` (the target's record, or for a mode
// at least its settings part), in the direction asked for. An absent record is one difference of
// presence.
enum class DiffDirection { HeldToRecord, RecordToHeld };
std::vector<Difference> DiffHeldRecord(const WriteTarget& target, const HeldRecord& held,
                                       std::span<const std::uint8_t> record,
                                       DiffDirection direction);

// ---- The safety copy ----

inline constexpr std::size_t SafetyCopiesKept = 20;

// The folder for safety copies: $XDG_STATE_HOME/holvane/safety, or ~/.local/state/holvane/safety
// when XDG_STATE_HOME is unset or not an absolute path (on Windows %LOCALAPPDATA% stands for
// ~/.local/state). Copies of a virtual detector go beside it, into safety-virtual, so that
// trying the demo never pushes a real detector's copies out. Empty when no home folder is known.
std::string SafetyFolder(bool virtualDetector = false);

struct SafetyCopyOutcome {
    enum class Result {
        Saved,       // path names the new copy
        NoFolder,    // the folder could not be made or made private; message says why
        ReadFailed,  // the backup's reads failed (backup holds the outcome); nothing saved
        SaveFailed,  // the save failed: saveResult and failure say why; nothing saved
    };
    Result result = Result::Saved;
    std::string path;     // the copy, or the folder when it could not be made
    std::string message;  // NoFolder: the system's reason
    BackupOutcome backup;
    FileResult saveResult = FileResult::Success;
    FileFailure failure;
};

// Makes the folder (and any missing folder above it) private to the user, reads the whole
// detector as a backup does and saves it there as an ordinary backup file named by the date and
// time in UTC (YYYY-MM-DD_HH-MM-SS.mmmZ.vantor, so that the names sort as the copies were made
// whatever the clocks of the year do), readable and writable by the user only; then removes
// the oldest copies beyond SafetyCopiesKept. Nothing is saved when a read fails, and a failed save
// leaves no file.
SafetyCopyOutcome SaveSafetyCopy(const std::string& folder, const BackupProgress& progress = {});

// The copies in the folder, oldest first (only files named as SaveSafetyCopy names them).
std::vector<std::string> SafetyCopies(const std::string& folder);

}  // namespace holvane
