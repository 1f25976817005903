// The texts the front ends show for the outcomes of detector and file actions. "\r\n" stands
// for a line break; the texts are kept exactly as the program shows them.
#pragma once

#include "Fileio.h"

namespace holvane::messages {

inline constexpr const char* CouldNotConnect =
    "Could not connect to the Vantor.\r\nCheck the connection and try again.";

// Opening a settings file.
inline constexpr const char* CouldNotOpenFile = "Could not open the file.\r\n";
inline constexpr const char* CorruptedFile = "The file has corrupted data.\r\n";
inline constexpr const char* CouldNotReadFile = "Could not read the file.\r\n";

// Saving a settings file.
inline constexpr const char* CouldNotCreateModeFile =
    "Could not create a file to save mode.\r\nTry again.";
inline constexpr const char* CouldNotSaveModeFile = "Could not save mode in a file.\r\nTry again.";
inline constexpr const char* CouldNotCreatePatternFile =
    "Could not create a file to save pattern.\r\nTry again.";
inline constexpr const char* CouldNotSavePatternFile =
    "Could not save pattern in a file.\r\nTry again.";
inline constexpr const char* CouldNotCreateSettingsFile =
    "Could not create a file to save the settings.\r\nTry again.";
inline constexpr const char* CouldNotSaveSettingsFile =
    "Could not save the settings in a file.\r\nTry again.";

// Creating a backup.
inline constexpr const char* BackupAborted =
    "Backup has been aborted.\r\nCould not download data from Vantor.";
inline constexpr const char* BackupAbortedTryAgain =
    "Backup has been aborted.\r\nCould not download data from Vantor.\r\nTry again.";
inline constexpr const char* CouldNotCreateBackupFile =
    "Could not create a file to save the backup.\r\nTry again.";
inline constexpr const char* CouldNotSaveBackup =
    "Could not save the backup in a file.\r\nTry again.";

// Restoring a backup.
inline constexpr const char* RestoreQuestion =
    "The backup data will overwrite the existing\r\nsettings, all User Modes and User "
    "Patterns.\r\nDo you wish to proceed?";

// Single-record transfers of the Settings and Patterns pages.
inline constexpr const char* CouldNotDownloadMode =
    "Could not download the Mode.\r\nCheck if the Mode exists in the Vantor.";
inline constexpr const char* CouldNotUploadMode =
    "Could not upload the Mode.\r\nCheck the connection and try again.";
inline constexpr const char* OverwriteModeQuestion =
    "The new Mode will overwrite the existing\r\nmode settings and mode pattern.\r\nDo you wish "
    "to proceed?";
inline constexpr const char* CouldNotDownloadUniversal =
    "Could not download universal settings.\r\n";
inline constexpr const char* CouldNotUploadUniversal =
    "Could not upload the universal settings.\r\nCheck the connection and try again.";
inline constexpr const char* CouldNotDownloadPreferences = "Could not download preferences.\r\n";
inline constexpr const char* CouldNotUploadPreferences =
    "Could not upload the preferences.\r\nCheck the connection and try again.";
inline constexpr const char* CouldNotUploadPattern =
    "Could not upload the pattern.\r\nCheck the connection and try again.";
inline constexpr const char* NoPatternInFile = "The specified file does not contain a pattern.\r\n";

// The message for a failed open of a settings file: 2 cannot open, 6 and 7 corrupted, any other
// code could not read. (Opening a mode on the Settings page shows the read message for 7.)
inline const char* OpenFailureMessage(FileResult result) {
    switch (result) {
        case FileResult::CannotOpen:
            return CouldNotOpenFile;
        case FileResult::ChecksumMismatch:
        case FileResult::WrongMagic:
            return CorruptedFile;
        default:
            return CouldNotReadFile;
    }
}

// Opening a mode on the Settings page tells only a checksum mismatch as corrupted data; a wrong
// magic number there gives the read message like every other failure to read.
inline const char* ModeOpenFailureMessage(FileResult result) {
    return result == FileResult::WrongMagic ? CouldNotReadFile : OpenFailureMessage(result);
}

// The message for a failed save of a file kind: one for a file that cannot be created, one for
// any other failure.
inline const char* SaveFailureMessage(FileKind kind, FileResult result) {
    const bool create = result == FileResult::CannotCreate;
    switch (kind) {
        case FileKind::Mode:
            return create ? CouldNotCreateModeFile : CouldNotSaveModeFile;
        case FileKind::Pattern:
            return create ? CouldNotCreatePatternFile : CouldNotSavePatternFile;
        case FileKind::Universal:
            return create ? CouldNotCreateSettingsFile : CouldNotSaveSettingsFile;
        case FileKind::Backup:
            return create ? CouldNotCreateBackupFile : CouldNotSaveBackup;
    }
    return CouldNotSaveBackup;
}

}  // namespace holvane::messages
