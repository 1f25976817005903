// The Backup menu: a whole-detector backup written to a file, a backup file shown in the window,
// and a backup file written back into the detector. The detector side is the shared backup and
// restore procedures; the handlers run the dialogs, the file layer and the window's state.
#include <QAction>

#include "Backup.h"
#include "BusyCursor.h"
#include "Fileio.h"
#include "Mainformunit.h"
#include "Messages.h"

namespace holvane {

namespace {

using backup::RecordAt;

// The pattern part of the mode record that starts at offset.
PatternRecord ModePatternAt(const BackupPayload& payload, std::size_t offset) {
    return RecordAt<PatternRecord>(payload, offset + ModePatternOffset);
}

}  // namespace

void TMainForm::ConnectBackupMenu() {
    connect(CreateBackupMenu, &QAction::triggered, this, &TMainForm::CreateBackupMenuClick);
    connect(OpenBackupMenu, &QAction::triggered, this, &TMainForm::OpenBackupMenuClick);
    connect(RestoreBackupMenu, &QAction::triggered, this, &TMainForm::RestoreBackupMenuClick);
}

void TMainForm::WithChosenBackup(const std::function<void(const BackupPayload&)>& action) {
    SetUpOpenDialog(OpenDlg, FileKind::Backup);
    if (!ExecuteOpenDlg()) {
        return;
    }
    const BusyCursor busy;
    BackupPayload payload{};
    if (const FileResult r = ReadBackupFile(OpenDlg.fileName, payload); r != FileResult::Success) {
        ShowError(messages::OpenFailureMessage(r));
        return;
    }
    action(payload);
}

void TMainForm::CreateBackupMenuClick() {
    SetUpSaveDialog(SaveDlg, FileKind::Backup);
    if (!ExecuteSaveDlg()) {
        return;
    }
    const BusyCursor busy;
    SaveDlg.fileName = NameForSave(SaveDlg.fileName, FileKind::Backup);
    // The file is written only once every record has been read, so an aborted backup leaves
    // whatever file had the name as it was.
    const BackupOutcome outcome = CreateBackup();
    if (outcome.result != BackupOutcome::Result::Done) {
        ShowError(outcome.Message());
        return;
    }
    if (const FileResult r = WriteBackupFile(SaveDlg.fileName, outcome.payload);
        r != FileResult::Success) {
        ShowError(messages::SaveFailureMessage(FileKind::Backup, r));
    }
}

void TMainForm::OpenBackupMenuClick() {
    WithChosenBackup([this](const BackupPayload& payload) { ShowBackup(payload); });
}

void TMainForm::ShowBackup(const BackupPayload& payload) {
    CurrentMode = RecordAt<ModeRecord>(payload, backup::CurrentMode);
    ShowModeSettings(CurrentModeSettings());
    const PatternRecord modePattern = CurrentModePattern();
    DrawPattern(*ModePatternImage, &modePattern);
    ModeHasPattern = true;
    SaveModePattern->setEnabled(true);

    UniversalSettings = RecordAt<UniversalSettingsRecord>(payload, backup::UniversalSettings);
    ShowUniversalSettings(UniversalSettings);
    UniversalLoaded = true;

    Preferences = RecordAt<PreferencesRecord>(payload, backup::Preferences);
    ShowPreferences(Preferences);
    PreferencesLoaded = true;

    ShowHeldPattern(GlintmapEntry, modePattern);
    ShowHeldPattern(SvEntry, RecordAt<PatternRecord>(payload, backup::Swiftveil));
    for (int k = 0; k < static_cast<int>(MyPatternImages.size()); ++k) {
        ShowHeldPattern(FirstMyPatternEntry + k,
                        RecordAt<PatternRecord>(payload, backup::MyPattern(k)));
    }
    for (int k = 0; k < static_cast<int>(MyModePatternImages.size()); ++k) {
        if (payload[backup::UserModePresent(k)] != 0) {
            ShowHeldPattern(FirstMyModePatternEntry + k,
                            ModePatternAt(payload, backup::UserMode(k)));
        } else {
            ShowMissingPattern(FirstMyModePatternEntry + k);
        }
    }
}

void TMainForm::RestoreBackupMenuClick() {
    WithChosenBackup([this](const BackupPayload& payload) {
        const RestoreOutcome outcome =
            RestoreBackup(payload, [this] { return AskToProceed(messages::RestoreQuestion); });
        using Result = RestoreOutcome::Result;
        if (outcome.result == Result::ConnectFailed || outcome.result == Result::WriteFailed) {
            ShowError(outcome.Message());
        }
    });
}

}  // namespace holvane
