// The texts the front ends show for the outcomes of detector and file actions. "\r\n" stands
// for a line break; the texts are kept exactly as the program shows them.
#pragma once

namespace holvane::messages {

inline constexpr const char* CouldNotConnect =
    "Could not connect to the Vantor.\r\nCheck the connection and try again.";

// Opening a settings file.
inline constexpr const char* CouldNotOpenFile = "Could not open the file.\r\n";
inline constexpr const char* CorruptedFile = "The file has corrupted data.\r\n";
inline constexpr const char* CouldNotReadFile = "Could not read the file.\r\n";

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

}  // namespace holvane::messages
