// The actions of the Settings page: the mode moved to and from the detector and mode files, the
// universal settings to and from the detector and .glb files, the preferences to and from the
// detector. Each action runs one transfer procedure or one file operation and turns its outcome
// into the window's state and at most one message. The busy cursor is up only while the detector
// or a file is worked on; dialogs and messages get the ordinary pointer.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "BusyCursor.h"
#include "Fileio.h"
#include "Mainformunit.h"
#include "Messages.h"
#include "Transfers.h"

namespace holvane {

namespace {

enum ModeAction { DownloadAction = 0, UploadAction = 1, SaveAction = 2, OpenAction = 3 };

constexpr int SlotActionButtonTop = 219;
constexpr int FileActionButtonTop = 150;

constexpr const char* SelectModeToDownload = "Select a mode to download.";
constexpr const char* SelectSlotToUpload = "Select a slot to upload the Mode into.";
// The grid holds only texts its rows accept, so a record always builds; should one not, nothing
// is sent or saved.
constexpr const char* GridNotReadable = "The settings shown cannot be read back.\r\n";

// A transfer that reached the write: the record it sent is what the window now holds.
bool WriteAttempted(const TransferOutcome& outcome) {
    return outcome.result == TransferOutcome::Result::Done ||
           outcome.result == TransferOutcome::Result::TransferFailed;
}

// The work of an action (a transfer or a file operation) under the busy cursor.
template <typename Work>
auto WhileBusy(Work work) {
    BusyCursor busy;
    return work();
}

// A download into a record of the window: on success the record takes the detector's bytes,
// on failure it stays as it was and the outcome's message is shown.
template <typename Record, typename Download>
bool RunDownload(TMainForm& form, Record& record, Download download) {
    const DownloadOutcome<Record> outcome = WhileBusy(download);
    if (!outcome.Succeeded()) {
        form.ShowError(outcome.message);
        return false;
    }
    record = outcome.record;
    return true;
}

// An upload of a record built from its grid: once the write was tried the window holds the
// record as sent; a failure shows the outcome's message (a declined question shows nothing).
template <typename Record, typename Upload>
void RunUpload(TMainForm& form, Record& held, const Record& built, Upload upload) {
    const TransferOutcome outcome = WhileBusy([&] { return upload(built); });
    if (WriteAttempted(outcome)) {
        held = built;
    }
    if (!outcome.message.empty()) {
        form.ShowError(outcome.message);
    }
}

void SetUpModeActionBtn(QPushButton* button, const char* caption, const char* hint, int top) {
    button->setText(QString::fromUtf8(caption));
    button->setToolTip(QString::fromUtf8(hint));
    button->move(button->x(), top);
}

}  // namespace

void TMainForm::ConnectSettingsActions() {
    // The lists react to the user's choices only, not to the selections the window clears.
    connect(ModeActionsComboBox, &QComboBox::activated, this,
            &TMainForm::ModeActionsComboBoxChange);
    connect(DownloadModeComboBox, &QComboBox::activated, this,
            &TMainForm::DownloadModeComboBoxChange);
    connect(UploadModeComboBox, &QComboBox::activated, this, &TMainForm::UploadModeComboBoxChange);
    connect(ModeActionBtn, &QPushButton::clicked, this, &TMainForm::ModeActionBtnClick);
    connect(DownloadGlbBtn, &QPushButton::clicked, this, &TMainForm::DownloadGlbBtnClick);
    connect(UploadGlbBtn, &QPushButton::clicked, this, &TMainForm::UploadGlbBtnClick);
    connect(SaveGlbBtn, &QPushButton::clicked, this, &TMainForm::SaveGlbBtnClick);
    connect(OpenGlbBtn, &QPushButton::clicked, this, &TMainForm::OpenGlbBtnClick);
    connect(DownloadPrefBtn, &QPushButton::clicked, this, &TMainForm::DownloadPrefBtnClick);
    connect(UploadPrefBtn, &QPushButton::clicked, this, &TMainForm::UploadPrefBtnClick);
}

// --- Mode actions ---

void TMainForm::ModeActionsComboBoxChange() {
    DownloadModeComboBox->setCurrentIndex(-1);
    UploadModeComboBox->setCurrentIndex(-1);
    DownloadModeLabel->hide();
    UploadModeLabel->hide();

    switch (ModeActionsComboBox->currentIndex()) {
        case DownloadAction:
            DownloadModeComboBox->show();
            UploadModeComboBox->hide();
            SetUpModeActionBtn(ModeActionBtn, "Download", "Download the Selected Mode from Vantor",
                               SlotActionButtonTop);
            ModeActionBtn->hide();
            DownloadModeLabel->show();
            break;
        case UploadAction:
            DownloadModeComboBox->hide();
            UploadModeComboBox->move(UploadModeComboBox->x(), DownloadModeComboBox->y());
            UploadModeComboBox->show();
            SetUpModeActionBtn(ModeActionBtn, "Upload",
                               "Upload the Mode to the Selected Slot in Vantor",
                               SlotActionButtonTop);
            ModeActionBtn->hide();
            UploadModeLabel->move(UploadModeLabel->x(), DownloadModeLabel->y());
            UploadModeLabel->show();
            break;
        case SaveAction:
            DownloadModeComboBox->hide();
            UploadModeComboBox->hide();
            SetUpModeActionBtn(ModeActionBtn, "Save...", "Save Mode Settings and Pattern in a File",
                               FileActionButtonTop);
            ModeActionBtn->show();
            SetUpSaveDialog(SaveDlg, FileKind::Mode);
            break;
        case OpenAction:
            DownloadModeComboBox->hide();
            UploadModeComboBox->hide();
            SetUpModeActionBtn(ModeActionBtn, "Open...", "Open a File with Mode Settings",
                               FileActionButtonTop);
            ModeActionBtn->show();
            SetUpOpenDialog(OpenDlg, FileKind::Mode);
            break;
        default:
            break;
    }
}

void TMainForm::DownloadModeComboBoxChange() {
    ModeActionBtn->show();
}

void TMainForm::UploadModeComboBoxChange() {
    ModeActionBtn->show();
}

void TMainForm::ModeActionBtnClick() {
    switch (ModeActionsComboBox->currentIndex()) {
        case DownloadAction:
            DownloadModeFromDetector();
            return;
        case UploadAction:
            UploadModeToDetector();
            return;
        case SaveAction:
            SaveModeToFile();
            return;
        case OpenAction:
            OpenModeFromFile();
            return;
        default:
            return;
    }
}

// The mode chosen in the download list, read into the mode on show.
void TMainForm::DownloadModeFromDetector() {
    const int slot = ModeSlotAtDownloadPosition(DownloadModeComboBox->currentIndex());
    if (slot == NotListed) {
        ShowError(SelectModeToDownload);
        DownloadModeComboBox->setFocus();
        return;
    }
    // A failed read leaves the mode on show, bytes and all, as it was.
    if (!RunDownload(*this, CurrentMode, [slot] { return DownloadMode(slot); })) {
        return;
    }
    ShowModeSettings(CurrentModeSettings());
    const PatternRecord pattern = CurrentModePattern();
    DrawPattern(*ModePatternImage, &pattern);
    ModeHasPattern = true;
    SaveModePattern->setEnabled(true);
}

// The mode on show, built for the slot chosen in the upload list, written into it.
void TMainForm::UploadModeToDetector() {
    const int slot = ModeSlotAtUploadPosition(UploadModeComboBox->currentIndex());
    if (slot == NotListed) {
        ShowError(SelectSlotToUpload);
        UploadModeComboBox->setFocus();
        return;
    }
    // The settings are built for the target slot; the pattern goes along only when the
    // mode holds a real one, otherwise the slot keeps its own pattern.
    ModeRecord mode = CurrentMode;
    if (!ReadModeSettingsFromGrid(ModeSettingsOf(mode), slot)) {
        ShowError(GridNotReadable);
        return;
    }
    RunUpload(*this, CurrentMode, mode, [&](const ModeRecord& built) {
        return UploadMode(
            slot, built, ModeHasPattern ? ModeParts::WithPattern : ModeParts::SettingsOnly, [this] {
                NormalCursor pointer;
                return AskToProceed(messages::OverwriteModeQuestion);
            });
    });
}

// The mode on show into a mode file: whole when it holds its pattern, its settings otherwise.
void TMainForm::SaveModeToFile() {
    // The dialog was set up when the action was chosen, but the universal settings'
    // file actions share it; set up again, it never offers a mode under their title.
    SetUpSaveDialog(SaveDlg, FileKind::Mode);
    if (!ExecuteSaveDlg()) {
        return;
    }
    SaveDlg.fileName = NameForSave(SaveDlg.fileName, FileKind::Mode);
    if (!ReadModeSettingsFromGrid(CurrentModeSettings(), CurrentModeSlot)) {
        ShowError(GridNotReadable);
        return;
    }
    const FileResult result = WhileBusy([this] {
        return ModeHasPattern ? WriteModeFile(SaveDlg.fileName, CurrentMode)
                              : WriteModeSettingsFile(SaveDlg.fileName, CurrentMode);
    });
    if (result != FileResult::Success) {
        ShowError(messages::SaveFailureMessage(FileKind::Mode, result));
    }
}

// A mode file into the mode on show.
void TMainForm::OpenModeFromFile() {
    SetUpOpenDialog(OpenDlg, FileKind::Mode);
    if (!ExecuteOpenDlg()) {
        return;
    }
    ModeRecord mode{};
    std::uint8_t hasPattern = 0;
    const FileResult result =
        WhileBusy([&] { return ReadModeFile(OpenDlg.fileName, mode, hasPattern); });
    if (result != FileResult::Success) {
        ShowError(messages::ModeOpenFailureMessage(result));
        return;
    }
    if (hasPattern != 0) {
        CurrentMode = mode;
    } else {
        // A settings-only file: the pattern bytes stay, but no longer count as the
        // mode's pattern.
        std::ranges::copy(ModeSettingsOf(mode), CurrentMode.begin());
    }
    ModeHasPattern = hasPattern != 0;
    SaveModePattern->setEnabled(ModeHasPattern);
    ShowModeSettings(CurrentModeSettings());
    const PatternRecord pattern = CurrentModePattern();
    DrawPattern(*ModePatternImage, ModeHasPattern ? &pattern : nullptr);
}

// --- Universal settings ---

void TMainForm::DownloadGlbBtnClick() {
    if (!RunDownload(*this, UniversalSettings, DownloadUniversalSettings)) {
        return;
    }
    ShowUniversalSettings(UniversalSettings);
    UniversalLoaded = true;
}

void TMainForm::UploadGlbBtnClick() {
    UniversalSettingsRecord record = UniversalSettings;
    if (!ReadUniversalSettingsFromGrid(record)) {
        ShowError(GridNotReadable);
        return;
    }
    RunUpload(*this, UniversalSettings, record, UploadUniversalSettings);
}

void TMainForm::SaveGlbBtnClick() {
    SetUpSaveDialog(SaveDlg, FileKind::Universal);
    if (!ExecuteSaveDlg()) {
        return;
    }
    SaveDlg.fileName = NameForSave(SaveDlg.fileName, FileKind::Universal);
    if (!ReadUniversalSettingsFromGrid(UniversalSettings)) {
        ShowError(GridNotReadable);
        return;
    }
    const FileResult result =
        WhileBusy([this] { return WriteUniversalFile(SaveDlg.fileName, UniversalSettings); });
    if (result != FileResult::Success) {
        ShowError(messages::SaveFailureMessage(FileKind::Universal, result));
    }
}

void TMainForm::OpenGlbBtnClick() {
    SetUpOpenDialog(OpenDlg, FileKind::Universal);
    if (!ExecuteOpenDlg()) {
        return;
    }
    UniversalSettingsRecord record{};
    const FileResult result =
        WhileBusy([&] { return ReadUniversalFile(OpenDlg.fileName, record); });
    if (result != FileResult::Success) {
        ShowError(messages::OpenFailureMessage(result));
        return;
    }
    UniversalSettings = record;
    UniversalLoaded = true;
    ShowUniversalSettings(UniversalSettings);
}

// --- Preferences ---

void TMainForm::DownloadPrefBtnClick() {
    if (!RunDownload(*this, Preferences, DownloadPreferences)) {
        return;
    }
    ShowPreferences(Preferences);
    PreferencesLoaded = true;
}

void TMainForm::UploadPrefBtnClick() {
    PreferencesRecord record = Preferences;
    if (!ReadPreferencesFromGrid(record)) {
        ShowError(GridNotReadable);
        return;
    }
    RunUpload(*this, Preferences, record, UploadPreferences);
}

}  // namespace holvane
