// The Patterns page: the action selector, Download All, opening a pattern for upload, the upload
// itself and the "Save Pattern..." items of every pattern picture (the mode pattern picture of
// the Settings page included). The detector is reached through the shared procedures and
// transfers; the handlers turn their outcomes into the page's messages and pictures.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "BusyCursor.h"
#include "Fileio.h"
#include "Mainformunit.h"
#include "Messages.h"
#include "PatternDownload.h"
#include "PatternPicture.h"
#include "Transfers.h"

namespace holvane {

namespace {

constexpr int DownloadAllAction = 0;
constexpr int UploadAction = 1;

constexpr char InvalidFileMessage[] = "Invalid file is selected.";
constexpr char SelectSlotMessage[] = "Select a slot to upload the pattern into.";

constexpr std::uint32_t HeldBit(int entry) {
    return std::uint32_t{1} << entry;
}

}  // namespace

void TMainForm::ConnectPatternsPage() {
    connect(PatternActionsComboBox, &QComboBox::activated, this,
            &TMainForm::PatternActionsComboBoxChange);
    connect(DownloadAllBtn, &QPushButton::clicked, this, &TMainForm::DownloadAllBtnClick);
    connect(OpenPatternBtn, &QPushButton::clicked, this, &TMainForm::OpenPatternBtnClick);
    connect(UploadPatternComboBox, &QComboBox::activated, this,
            &TMainForm::UploadPatternComboBoxChange);
    connect(UploadPatternBtn, &QPushButton::clicked, this, &TMainForm::UploadPatternBtnClick);

    connect(SaveGlintmapMenuItem, &QAction::triggered, this, &TMainForm::SaveGlintmapMenuItemClick);
    connect(SaveSvMenuItem, &QAction::triggered, this, &TMainForm::SaveSvMenuItemClick);
    using Handler = void (TMainForm::*)();
    static constexpr std::array<Handler, 6> UserHandlers = {
        &TMainForm::SaveUser0MenuItemClick, &TMainForm::SaveUser1MenuItemClick,
        &TMainForm::SaveUser2MenuItemClick, &TMainForm::SaveUser3MenuItemClick,
        &TMainForm::SaveUser4MenuItemClick, &TMainForm::SaveUser5MenuItemClick};
    for (std::size_t i = 0; i < UserHandlers.size(); ++i) {
        connect(SaveUserMenuItems[i], &QAction::triggered, this, UserHandlers[i]);
    }
    static constexpr std::array<Handler, 4> UserModeHandlers = {
        &TMainForm::SaveUserMode0MenuItemClick, &TMainForm::SaveUserMode1MenuItemClick,
        &TMainForm::SaveUserMode2MenuItemClick, &TMainForm::SaveUserMode3MenuItemClick};
    for (std::size_t i = 0; i < UserModeHandlers.size(); ++i) {
        connect(SaveUserModeMenuItems[i], &QAction::triggered, this, UserModeHandlers[i]);
    }
    connect(SaveExchangeMenuItem, &QAction::triggered, this, &TMainForm::SaveExchangeMenuItemClick);
    connect(SaveModePattern, &QAction::triggered, this, &TMainForm::SaveModePatternClick);
}

void TMainForm::ShowHeldPattern(int entry, const PatternRecord& pattern) {
    DrawPattern(PatternPicture(entry), &pattern);
    PatternBuffers.at(static_cast<std::size_t>(entry)) = pattern;
    PatternsHeld |= HeldBit(entry);
    SavePatternItem(entry)->setEnabled(true);
}

void TMainForm::ShowMissingPattern(int entry) {
    DrawPattern(PatternPicture(entry), nullptr);
    PatternsHeld &= ~HeldBit(entry);
    SavePatternItem(entry)->setEnabled(false);
}

void TMainForm::ClearExchangePicture() {
    ExchangeImage->FillRect({0, 0, ExchangeImage->width(), ExchangeImage->height()}, PictureWhite);
    DrawSmallPattern(*ExchangeImage, nullptr);
}

void TMainForm::PatternActionsComboBoxChange() {
    const int action = PatternActionsComboBox->currentIndex();
    if (action != DownloadAllAction && action != UploadAction) {
        return;
    }
    const bool upload = action == UploadAction;
    DownloadAllBtn->setVisible(!upload);
    UploadPatternStep1Label->setVisible(upload);
    OpenPatternBtn->setVisible(upload);
    UploadPatternStep2Label->hide();
    ExchangeImage->hide();
    UploadPatternComboBox->hide();
    if (upload) {
        UploadPatternComboBox->setCurrentIndex(-1);
    }
    UploadPatternBtn->hide();
    PatternSaveLabel->hide();
}

void TMainForm::DownloadAllBtnClick() {
    const BusyCursor busy;
    const PatternDownloadOutcome outcome = DownloadAllPatterns();
    using State = PatternDownloadOutcome::EntryState;
    for (std::size_t i = 0; i < outcome.states.size(); ++i) {
        const int entry = static_cast<int>(i);
        if (outcome.states[i] == State::Read) {
            ShowHeldPattern(entry, outcome.patterns[i]);
        } else if (outcome.states[i] == State::Absent) {
            ShowMissingPattern(entry);
        }
    }
    if (outcome.result != PatternDownloadOutcome::Result::Done) {
        ShowError(outcome.Message());
        return;
    }
    PatternSaveLabel->show();
}

void TMainForm::OpenPatternBtnClick() {
    const BusyCursor busy;
    OpenDlg.filter = PatternOrModeOpenFilter;
    OpenDlg.title = FileKindOf(FileKind::Pattern).openTitle;
    if (!ExecuteOpenDlg()) {
        return;
    }
    const std::string extension = LowerCasedExtension(OpenDlg.fileName);
    // A failed read leaves the exchange pattern held: only its picture and save item go.
    const auto failedRead = [this](FileResult result) {
        ShowError(messages::OpenFailureMessage(result));
        ClearExchangePicture();
        SaveExchangeMenuItem->setEnabled(false);
    };
    // The extension names the kind, "ptrn" looked for first.
    FileKind kind{};
    if (extension.find(FileKindOf(FileKind::Pattern).word) != std::string::npos) {
        kind = FileKind::Pattern;
    } else if (extension.find(FileKindOf(FileKind::Mode).word) != std::string::npos) {
        kind = FileKind::Mode;
    } else {
        ShowError(InvalidFileMessage);
        return;
    }
    PatternRecord pattern{};
    bool holdsPattern = false;
    if (const FileResult r = ReadPatternOfFile(OpenDlg.fileName, kind, pattern, holdsPattern);
        r != FileResult::Success) {
        failedRead(r);
        return;
    }
    if (!holdsPattern) {
        ShowError(messages::NoPatternInFile);
        ClearExchangePicture();
        return;
    }

    ExchangeImage->show();
    DrawSmallPattern(*ExchangeImage, &pattern);
    PatternBuffers[ExchangeEntry] = pattern;
    PatternsHeld |= HeldBit(ExchangeEntry);
    SaveExchangeMenuItem->setEnabled(true);
    UploadPatternStep2Label->show();
    UploadPatternComboBox->show();
}

void TMainForm::UploadPatternComboBoxChange() {
    UploadPatternBtn->show();
}

void TMainForm::UploadPatternBtnClick() {
    const int choice = UploadPatternComboBox->currentIndex();
    if (choice < 0 || choice >= static_cast<int>(PatternSlots.size())) {
        ShowError(SelectSlotMessage);
        UploadPatternComboBox->setFocus();
        return;
    }
    // Only an opened pattern is ever sent: an empty exchange buffer would blank the slot.
    if ((PatternsHeld & HeldBit(ExchangeEntry)) == 0) {
        return;
    }
    const BusyCursor busy;
    const TransferOutcome outcome = UploadPattern(
        PatternSlots[static_cast<std::size_t>(choice)].slot, PatternBuffers[ExchangeEntry]);
    using Result = TransferOutcome::Result;
    if (outcome.result == Result::ConnectFailed || outcome.result == Result::ModeAbsent) {
        ShowError(outcome.message);
        return;
    }
    if (outcome.result != Result::Done) {
        ShowError(outcome.message);
    }
    // Whether the write went through or not, the pictures show what the detector now holds.
    DownloadAllBtnClick();
    PatternSaveLabel->hide();
}

void TMainForm::SavePatternToFile(const PatternRecord& pattern) {
    SetUpSaveDialog(SaveDlg, FileKind::Pattern);
    if (!ExecuteSaveDlg()) {
        return;
    }
    SaveDlg.fileName = NameForSave(SaveDlg.fileName, FileKind::Pattern);
    FileResult result = FileResult::Success;
    {
        const BusyCursor busy;
        result = WritePatternFile(SaveDlg.fileName, pattern);
    }
    if (result != FileResult::Success) {
        ShowError(messages::SaveFailureMessage(FileKind::Pattern, result));
    }
}

void TMainForm::SaveHeldPattern(int entry) {
    if ((PatternsHeld & HeldBit(entry)) == 0) {
        return;
    }
    // A copy: the dialogs run in between and nothing may change the bytes being saved.
    const PatternRecord pattern = PatternBuffers.at(static_cast<std::size_t>(entry));
    SavePatternToFile(pattern);
}

void TMainForm::SaveGlintmapMenuItemClick() {
    SaveHeldPattern(GlintmapEntry);
}
void TMainForm::SaveSvMenuItemClick() {
    SaveHeldPattern(SvEntry);
}
void TMainForm::SaveUser0MenuItemClick() {
    SaveHeldPattern(FirstMyPatternEntry + 0);
}
void TMainForm::SaveUser1MenuItemClick() {
    SaveHeldPattern(FirstMyPatternEntry + 1);
}
void TMainForm::SaveUser2MenuItemClick() {
    SaveHeldPattern(FirstMyPatternEntry + 2);
}
void TMainForm::SaveUser3MenuItemClick() {
    SaveHeldPattern(FirstMyPatternEntry + 3);
}
void TMainForm::SaveUser4MenuItemClick() {
    SaveHeldPattern(FirstMyPatternEntry + 4);
}
void TMainForm::SaveUser5MenuItemClick() {
    SaveHeldPattern(FirstMyPatternEntry + 5);
}
void TMainForm::SaveUserMode0MenuItemClick() {
    SaveHeldPattern(FirstMyModePatternEntry + 0);
}
void TMainForm::SaveUserMode1MenuItemClick() {
    SaveHeldPattern(FirstMyModePatternEntry + 1);
}
void TMainForm::SaveUserMode2MenuItemClick() {
    SaveHeldPattern(FirstMyModePatternEntry + 2);
}
void TMainForm::SaveUserMode3MenuItemClick() {
    SaveHeldPattern(FirstMyModePatternEntry + 3);
}
void TMainForm::SaveExchangeMenuItemClick() {
    SaveHeldPattern(ExchangeEntry);
}

void TMainForm::SaveModePatternClick() {
    SavePatternToFile(CurrentModePattern());
}

}  // namespace holvane
