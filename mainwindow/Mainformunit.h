// The main window: menus, the Settings and Patterns pages, the status bar, the shared file
// dialogs and the working state that every action reads and writes. The window holds the only
// copies of detector data that the program keeps between actions; nothing of it is saved when
// the program ends.
#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "BackupPayload.h"
#include "PatternImage.h"
#include "Records.h"
#include "SettingsGrid.h"
#include "UserDialogs.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;
class QTabWidget;
class QWidget;

namespace holvane {

class TAboutDlg;

// The entries of PatternBuffers; bit i of PatternsHeld belongs to entry i. Entries 0..11 are the
// detector's stored patterns in the order of PatternSlots, entry 12 the pattern opened from a
// file for upload.
inline constexpr int GlintmapEntry = 0;
inline constexpr int SvEntry = 1;
inline constexpr int FirstMyPatternEntry = 2;
inline constexpr int FirstMyModePatternEntry = 8;
inline constexpr int ExchangeEntry = 12;
inline constexpr int PatternEntryCount = 13;

// The window's font: Tahoma 8 point (from the system's font files where the font configuration
// lacks it), else the nearest sans-serif, 11 pixels high.
QFont WindowFont();

// The controls of the main window, by the names of the form design. The window creates and
// places them (Mainformunit_Layout.cpp) and keeps them to itself; Controls() lets a caller look
// at them and drive them as the user would.
struct MainFormControls {
    QMenu* File1;
    QAction* ExitMenu;
    QMenu* Actions1;
    QAction* CreateBackupMenu;
    QAction* OpenBackupMenu;
    QAction* RestoreBackupMenu;
    QMenu* Help1;
    QAction* VisitKorvaneHomePageMenu;
    QAction* SendKorvaneUSAanEmail;
    QAction* SendKorvaneEuropeanEmail;
    QAction* SendKorvaneEmailMenu;
    QAction* VantorTradixInstructionManual;
    QAction* VantorInstructionManual;
    QAction* AboutMenu;
    QAction* VantorTradixLicenceAgreement;

    QTabWidget* PageControl;
    QWidget* SettingsTabSheet;
    QWidget* PatternsTabSheet;

    // Settings page
    PatternImage* ModePatternImage;
    QAction* SaveModePattern;
    QComboBox* ModeActionsComboBox;
    SettingsGrid* ModeSettingsGrid;
    QLabel* UploadModeLabel;
    QLabel* DownloadModeLabel;
    QComboBox* DownloadModeComboBox;
    QPushButton* ModeActionBtn;
    QComboBox* UploadModeComboBox;
    SettingsGrid* GlobalSettingsGrid;
    QPushButton* DownloadGlbBtn;
    QPushButton* UploadGlbBtn;
    QPushButton* SaveGlbBtn;
    QPushButton* OpenGlbBtn;
    QPushButton* RestoreUniversalBtn;
    SettingsGrid* PrefSettingsGrid;
    QPushButton* DownloadPrefBtn;
    QPushButton* UploadPrefBtn;
    QPushButton* RestorePrefBtn;

    // Patterns page
    QComboBox* PatternActionsComboBox;
    QPushButton* DownloadAllBtn;
    QLabel* UploadPatternStep1Label;
    QPushButton* OpenPatternBtn;
    PatternImage* ExchangeImage;
    QLabel* UploadPatternStep2Label;
    QComboBox* UploadPatternComboBox;
    QPushButton* UploadPatternBtn;
    QLabel* PatternSaveLabel;
    PatternImage* GlintmapImage;
    PatternImage* SvImage;
    std::array<PatternImage*, 6> MyPatternImages;      // MyPattern1Image .. MyPattern6Image
    std::array<PatternImage*, 4> MyModePatternImages;  // MyMode1PatternImage .. MyMode4PatternImage
    QAction* SaveGlintmapMenuItem;
    QAction* SaveSvMenuItem;
    std::array<QAction*, 6> SaveUserMenuItems;  // SaveUser0MenuItem .. SaveUser5MenuItem
    std::array<QAction*, 4>
        SaveUserModeMenuItems;  // SaveUserMode0MenuItem .. SaveUserMode3MenuItem
    QAction* SaveExchangeMenuItem;
};

class TMainForm final : public QMainWindow, private MainFormControls {
    Q_OBJECT

public:
    // Every message box, file dialog and shell link of the window goes through the dialogs,
    // which must outlive the window.
    explicit TMainForm(UserDialogs& dialogs, QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- Working state ---
    ModeRecord CurrentMode{};
    bool ModeHasPattern = false;
    UniversalSettingsRecord UniversalSettings{};
    bool UniversalLoaded = false;
    PreferencesRecord Preferences{};
    bool PreferencesLoaded = false;
    std::array<PatternRecord, PatternEntryCount> PatternBuffers{};
    std::uint32_t PatternsHeld = 0;

    // The settings part of CurrentMode (bytes 0..25).
    std::span<std::uint8_t, ModeSettingsSize> CurrentModeSettings();
    // The pattern part of CurrentMode (bytes 26..291).
    PatternRecord CurrentModePattern() const;

    // --- The shared file dialogs: each action sets their filter and title before it runs
    // them; the name chosen last is offered again. ---
    FileDialog OpenDlg;
    FileDialog SaveDlg;
    bool ExecuteOpenDlg();
    bool ExecuteSaveDlg();

    // --- Messages ---
    // An error box with one OK button.
    void ShowError(std::string_view text);
    // A warning box with OK and Cancel: true only for OK.
    bool AskToProceed(std::string_view text);
    UserDialogs& Dialogs() const { return dialogs_; }

    // --- Settings grids ---
    void ShowModeSettings(std::span<const std::uint8_t, ModeSettingsSize> settings);
    // Builds the record from the grid for the slot it is meant for (the slot uploaded to, or 8
    // for a file). False, with the record untouched, when a row holds a text that stands for no
    // value.
    bool ReadModeSettingsFromGrid(std::span<std::uint8_t, ModeSettingsSize> settings,
                                  int targetSlot);
    void ShowUniversalSettings(const UniversalSettingsRecord& settings);
    // Fills the bytes no row shows while UniversalLoaded is false.
    bool ReadUniversalSettingsFromGrid(UniversalSettingsRecord& settings);
    void ShowPreferences(const PreferencesRecord& preferences);
    // Fills the bytes no row shows while PreferencesLoaded is false.
    bool ReadPreferencesFromGrid(PreferencesRecord& preferences);

    // --- Pattern pictures ---
    // The full drawing on a 102 x 73 picture and the small one on the exchange picture; no
    // pattern draws the empty state.
    void DrawPattern(PatternImage& picture, const PatternRecord* pattern);
    void DrawSmallPattern(PatternImage& picture, const PatternRecord* pattern);
    // The picture of a PatternBuffers entry and its "Save Pattern..." item.
    PatternImage& PatternPicture(int entry) const;
    QAction* SavePatternItem(int entry) const;

    // The About dialog shown by Help > About; owned by the application.
    void SetAboutDlg(TAboutDlg* dialog) { aboutDlg_ = dialog; }

    // The full path under which a document of the Help menu is looked for: the folder of the
    // program's executable, a separator, the file name.
    static QString DocumentPath(const QString& fileName);

    // The window's controls, to be looked at and driven as the user would.
    const MainFormControls& Controls() const { return *this; }

    // --- Handlers ---
    void ExitMenuClick();
    void VisitKorvaneHomePageMenuClick();
    void SendKorvaneUSAanEmailClick();
    void SendKorvaneEuropeanEmailClick();
    void SendKorvaneEmailMenuClick();
    void VantorTradixInstructionManualClick();
    void VantorInstructionManualClick();
    void VantorTradixLicenceAgreementClick();
    void AboutMenuClick();
    void ModeSettingsGridAfterEdit(int row);
    void GlobalSettingsGridAfterEdit(int row);
    void PrefSettingsGridAfterEdit(int row);
    void RestoreUniversalBtnClick();
    void RestorePrefBtnClick();
    // Settings page actions (Mainformunit_Settings.cpp)
    void ModeActionsComboBoxChange();
    void DownloadModeComboBoxChange();
    void UploadModeComboBoxChange();
    void ModeActionBtnClick();
    void DownloadGlbBtnClick();
    void UploadGlbBtnClick();
    void SaveGlbBtnClick();
    void OpenGlbBtnClick();
    void DownloadPrefBtnClick();
    void UploadPrefBtnClick();

    // Patterns page (Mainformunit_Patterns.cpp).
    void PatternActionsComboBoxChange();
    void DownloadAllBtnClick();
    void OpenPatternBtnClick();
    void UploadPatternComboBoxChange();
    void UploadPatternBtnClick();
    void SaveGlintmapMenuItemClick();
    void SaveSvMenuItemClick();
    void SaveUser0MenuItemClick();
    void SaveUser1MenuItemClick();
    void SaveUser2MenuItemClick();
    void SaveUser3MenuItemClick();
    void SaveUser4MenuItemClick();
    void SaveUser5MenuItemClick();
    void SaveUserMode0MenuItemClick();
    void SaveUserMode1MenuItemClick();
    void SaveUserMode2MenuItemClick();
    void SaveUserMode3MenuItemClick();
    void SaveExchangeMenuItemClick();
    void SaveModePatternClick();
    // Asks for a file name (".ptrn" added where the extension lacks it) and writes a pattern
    // file.
    void SavePatternToFile(const PatternRecord& pattern);

    // Backup menu (Mainformunit_Backup.cpp).
    void CreateBackupMenuClick();
    void OpenBackupMenuClick();
    void RestoreBackupMenuClick();

private:
    // The four steps of ModeActionBtnClick, one per action of the selector.
    void DownloadModeFromDetector();
    void UploadModeToDetector();
    void SaveModeToFile();
    void OpenModeFromFile();
    void ConnectPatternsPage();
    void ConnectBackupMenu();
    // An entry of PatternBuffers that gets a pattern: drawn, copied, held, its item enabled.
    void ShowHeldPattern(int entry, const PatternRecord& pattern);
    // An entry whose user mode does not exist: drawn empty, not held, its item disabled; the
    // buffer keeps its bytes.
    void ShowMissingPattern(int entry);
    // The save handler of an entry: saves the entry's buffer only while it is held.
    void SaveHeldPattern(int entry);
    // The exchange picture as at start-up: white, then the empty small drawing.
    void ClearExchangePicture();
    // Runs OpenDlg for a backup file and reads the chosen one under the busy cursor, then runs
    // the action on its payload; a file that cannot be read gets its message instead.
    void WithChosenBackup(const std::function<void(const BackupPayload&)>& action);
    // Copies an opened backup into the working state, the grids and the pictures.
    void ShowBackup(const BackupPayload& payload);

    // Building and placing the controls (Mainformunit_Layout.cpp).
    struct SectionButton;
    struct RecordSection;
    void BuildMenus();
    void BuildPages();
    void BuildSettingsPage();
    void BuildModeSection(QWidget* page);
    void BuildRecordSection(QWidget* page, const RecordSection& section);
    void BuildPatternsPage();
    void BuildPatternActions(QWidget* page);
    void BuildPatternPictures(QWidget* page);
    void BuildKeyboardOrder();
    void BuildStatusBar();
    void FitIntoScreen();
    void SwitchPage(int step);
    void ConnectSettingsActions();
    void OpenDocument(const QString& fileName);

    UserDialogs& dialogs_;
    TAboutDlg* aboutDlg_ = nullptr;
    std::array<PatternImage*, PatternEntryCount> patternImages_{};
    QScrollArea* pageView_ = nullptr;
};

}  // namespace holvane
