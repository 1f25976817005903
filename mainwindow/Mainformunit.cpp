#include "Mainformunit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <optional>

#include "AboutDlg.h"
#include "Artwork.h"
#include "PatternPicture.h"
#include "SettingsRows.h"
#include "WindowStyle.h"

namespace holvane {

namespace {

// The Help menu's links, fixed in the program.
constexpr char HomePageLink[] = "https://www.korvane.example/consumer/";
constexpr char UsaEmailLink[] = "mailto:usa@korvane.example";
constexpr char EuropeEmailLink[] = "mailto:europe@korvane.example";
constexpr char AustraliaEmailLink[] = "mailto:australia@korvane.example";

// The documents installed beside the program.
constexpr char UserGuideDocument[] = "Vantor Tradix User Guide.pdf";
constexpr char InstructionManualDocument[] = "Vantor Instruction Manual.pdf";
constexpr char LicenceDocument[] = "Vantor Tradix Software Licence Agreement.pdf";

constexpr char MissingDocumentMessage[] = "Cannot find file:\r\n";

RecordState StateOf(bool loaded) {
    return loaded ? RecordState::Loaded : RecordState::NeverLoaded;
}

std::optional<PatternView> ViewOf(const PatternRecord* pattern) {
    if (pattern == nullptr) {
        return std::nullopt;
    }
    return PatternView(*pattern);
}

}  // namespace

TMainForm::TMainForm(UserDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("VANTOR Tradix"));
    setWindowIcon(ProgramIcon());
    setFont(WindowFont());
    setBackgroundRole(QPalette::Button);

    BuildMenus();
    BuildPages();
    ConnectSettingsActions();
    ConnectPatternsPage();
    ConnectBackupMenu();
    BuildKeyboardOrder();
    UseWindowStyle(*this);
    BuildStatusBar();

    // The working state starts all zero, flags false and nothing held; the three records take
    // their defaults and are shown, and every picture shows its empty state.
    DefaultModeSettings(CurrentModeSettings());
    ShowModeSettings(CurrentModeSettings());
    DefaultUniversalSettings(UniversalSettings);
    ShowUniversalSettings(UniversalSettings);
    DefaultPreferences(Preferences);
    ShowPreferences(Preferences);

    DrawPattern(*ModePatternImage, nullptr);
    DrawSmallPattern(*ExchangeImage, nullptr);
    for (int entry = 0; entry < ExchangeEntry; ++entry) {
        DrawPattern(PatternPicture(entry), nullptr);
    }
}

TMainForm::~TMainForm() = default;

// Turns to the next or previous page, round, and puts the focus on the page tabs.
void TMainForm::SwitchPage(int step) {
    const int count = PageControl->count();
    PageControl->setCurrentIndex((PageControl->currentIndex() + step + count) % count);
    PageControl->tabBar()->setFocus(Qt::TabFocusReason);
}

std::span<std::uint8_t, ModeSettingsSize> TMainForm::CurrentModeSettings() {
    return std::span<std::uint8_t, ModeSettingsSize>(CurrentMode.data(), ModeSettingsSize);
}

PatternRecord TMainForm::CurrentModePattern() const {
    PatternRecord pattern;
    std::copy_n(CurrentMode.begin() + ModePatternOffset, PatternSize, pattern.begin());
    return pattern;
}

bool TMainForm::ExecuteOpenDlg() {
    return dialogs_.RunOpenDialog(this, OpenDlg);
}

bool TMainForm::ExecuteSaveDlg() {
    return dialogs_.RunSaveDialog(this, SaveDlg);
}

void TMainForm::ShowError(std::string_view text) {
    dialogs_.ShowMessage(this, MessageKind::Error, text);
}

bool TMainForm::AskToProceed(std::string_view text) {
    return dialogs_.ShowMessage(this, MessageKind::Warning, text) == MessageAnswer::Ok;
}

void TMainForm::ShowModeSettings(std::span<const std::uint8_t, ModeSettingsSize> settings) {
    ModeSettingsGrid->SetTexts(RecordTexts(ModeSettingsRows, settings));
}

bool TMainForm::ReadModeSettingsFromGrid(std::span<std::uint8_t, ModeSettingsSize> settings,
                                         int targetSlot) {
    return BuildModeSettings(ModeSettingsGrid->Texts(), targetSlot, settings);
}

void TMainForm::ShowUniversalSettings(const UniversalSettingsRecord& settings) {
    GlobalSettingsGrid->SetTexts(RecordTexts(UniversalSettingsRows, settings));
}

bool TMainForm::ReadUniversalSettingsFromGrid(UniversalSettingsRecord& settings) {
    return BuildUniversalSettings(GlobalSettingsGrid->Texts(), StateOf(UniversalLoaded), settings);
}

void TMainForm::ShowPreferences(const PreferencesRecord& preferences) {
    PrefSettingsGrid->SetTexts(RecordTexts(PreferencesRows, preferences));
}

bool TMainForm::ReadPreferencesFromGrid(PreferencesRecord& preferences) {
    return BuildPreferences(PrefSettingsGrid->Texts(), StateOf(PreferencesLoaded), preferences);
}

void TMainForm::DrawPattern(PatternImage& picture, const PatternRecord* pattern) {
    holvane::DrawPattern(picture, ViewOf(pattern));
}

void TMainForm::DrawSmallPattern(PatternImage& picture, const PatternRecord* pattern) {
    holvane::DrawSmallPattern(picture, ViewOf(pattern));
}

PatternImage& TMainForm::PatternPicture(int entry) const {
    return *patternImages_.at(static_cast<std::size_t>(entry));
}

QAction* TMainForm::SavePatternItem(int entry) const {
    return PatternPicture(entry).SaveItem();
}

QString TMainForm::DocumentPath(const QString& fileName) {
    return QCoreApplication::applicationDirPath() + QDir::separator() + fileName;
}

void TMainForm::OpenDocument(const QString& fileName) {
    const QString path = DocumentPath(fileName);
    if (!QFileInfo::exists(path)) {
        ShowError(MissingDocumentMessage + path.toStdString());
        return;
    }
    dialogs_.OpenWithSystem(QUrl::fromLocalFile(path));
}

void TMainForm::ExitMenuClick() {
    close();
}

void TMainForm::VisitKorvaneHomePageMenuClick() {
    dialogs_.OpenWithSystem(QUrl(QString::fromUtf8(HomePageLink)));
}

void TMainForm::SendKorvaneUSAanEmailClick() {
    dialogs_.OpenWithSystem(QUrl(QString::fromUtf8(UsaEmailLink)));
}

void TMainForm::SendKorvaneEuropeanEmailClick() {
    dialogs_.OpenWithSystem(QUrl(QString::fromUtf8(EuropeEmailLink)));
}

void TMainForm::SendKorvaneEmailMenuClick() {
    dialogs_.OpenWithSystem(QUrl(QString::fromUtf8(AustraliaEmailLink)));
}

void TMainForm::VantorTradixInstructionManualClick() {
    OpenDocument(QString::fromUtf8(UserGuideDocument));
}

void TMainForm::VantorInstructionManualClick() {
    OpenDocument(QString::fromUtf8(InstructionManualDocument));
}

void TMainForm::VantorTradixLicenceAgreementClick() {
    OpenDocument(QString::fromUtf8(LicenceDocument));
}

void TMainForm::AboutMenuClick() {
    if (aboutDlg_ != nullptr) {
        aboutDlg_->ShowModalOver(this);
    }
}

void TMainForm::ModeSettingsGridAfterEdit(int row) {
    ModeSettingsGrid->ApplyLimits(row);
}

void TMainForm::GlobalSettingsGridAfterEdit(int row) {
    GlobalSettingsGrid->ApplyLimits(row);
}

void TMainForm::PrefSettingsGridAfterEdit(int row) {
    PrefSettingsGrid->ApplyLimits(row);
}

void TMainForm::RestoreUniversalBtnClick() {
    DefaultUniversalSettings(UniversalSettings);
    ShowUniversalSettings(UniversalSettings);
}

void TMainForm::RestorePrefBtnClick() {
    DefaultPreferences(Preferences);
    ShowPreferences(Preferences);
}

}  // namespace holvane
