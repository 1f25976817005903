#include "Mainformunit.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <optional>
#include <vector>

#include "AboutDlg.h"
#include "Artwork.h"
#include "HeadingLabel.h"
#include "PatternPicture.h"
#include "SettingsRows.h"
#include "WindowStyle.h"

namespace holvane {

namespace {

constexpr int ClientWidth = 480;
constexpr int ClientHeight = 670;
constexpr int StatusBarHeight = 19;
// Room kept on a small screen for the title bar and the frame the window manager adds.
constexpr int TitleBarAllowance = 40;
constexpr int FrameAllowance = 4;
constexpr int MinimumPageViewHeight = 120;
constexpr int MinimumPageViewWidth = 160;

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

// The window is laid out for Tahoma at 11 pixels. Where the system's font configuration does
// not know it, the face is taken from these files, which carry the same metrics.
constexpr const char* WindowFontFiles[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                           "/usr/share/wine/fonts/tahomabd.ttf"};
// The texts that fill their controls most tightly, with their widths in Tahoma at 11 pixels.
struct TightText {
    const char* text;
    int widthInTahoma;
};
constexpr TightText TightTexts[] = {{"Download all patterns from Vantor", 167},
                                    {" Audio Tone ID Variability", 122}};

const QColor SettingsHeadingColour(49, 101, 206);
const QColor PatternsHeadingColour(49, 102, 206);
const QColor PictureCaptionColour(123, 158, 189);
const QColor GuidanceColour(128, 128, 128);

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* Label(QWidget* parent, std::string_view text, int x, int y, const QColor& colour,
              bool bold = false) {
    QLabel* label =
        bold ? new HeadingLabel(ShownText(text), parent) : new QLabel(ShownText(text), parent);
    QPalette palette = label->palette();
    // On a dark palette the label stands on a dark page or panel; its colour is lightened to be
    // read on the lighter of the two. The light look keeps its colours as they are.
    QColor shown = colour;
    if (IsDarkPalette(palette)) {
        const QColor page = palette.color(QPalette::Button);
        const QColor panel = PanelLightest(palette);
        shown = ReadableOn(colour, panel.lightness() > page.lightness() ? panel : page);
    }
    palette.setColor(QPalette::WindowText, shown);
    label->setPalette(palette);
    // The pages paint in the button role, and a child left to itself would take the matching
    // button-text role for its ink; the label's own colour is its window text.
    label->setForegroundRole(QPalette::WindowText);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption, const char* hint, int x,
                    int y, int width, int height = 23) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setToolTip(QString::fromUtf8(hint));
    button->setGeometry(x, y, width, height);
    return button;
}

// A drop-down list, named for screen readers by the text that asks for it.
QComboBox* ComboBox(QWidget* parent, const char* name, const QLabel* caption, int x, int y,
                    int width, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromUtf8(name));
    QString spoken = caption->text().simplified();
    if (spoken.endsWith(u':')) {
        spoken.chop(1);
    }
    box->setAccessibleName(spoken);
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setGeometry(x, y, width, 21);
    return box;
}

void Separator(QWidget* parent, int x, int y, int width) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, y, width, 2);
}

void Panel(QWidget* page, int top, int height) {
    auto* picture = new QLabel(page);
    picture->setPixmap(PanelPicture(height, page->palette()));
    picture->setGeometry(1, top, PanelPictureWidth, height);
    picture->lower();
}

PatternImage* Picture(QWidget* parent, const char* name, std::string_view accessibleName, int x,
                      int y, int width = 102, int height = 73) {
    auto* picture = new PatternImage(width, height, parent);
    picture->setObjectName(QString::fromUtf8(name));
    picture->setAccessibleName(FromView(accessibleName));
    picture->move(x, y);
    return picture;
}

QStringList ModeListItems(int ModeSlotInfo::*position, int count) {
    QStringList items;
    for (int i = 0; i < count; ++i) {
        const auto it = std::ranges::find(ModeSlots, i, position);
        items << FromView(it->name);
    }
    return items;
}

std::optional<PatternView> ViewOf(const PatternRecord* pattern) {
    if (pattern == nullptr) {
        return std::nullopt;
    }
    return PatternView(*pattern);
}

// Makes the Tahoma files known to the application, once; needs the application object.
void LoadWindowFontFiles() {
    static const bool loaded = [] {
        for (const char* file : WindowFontFiles) {
            const QString path = QString::fromUtf8(file);
            if (QFileInfo::exists(path)) {
                QFontDatabase::addApplicationFont(path);
            }
        }
        return true;
    }();
    static_cast<void>(loaded);
}

}  // namespace

QFont WindowFont() {
    LoadWindowFontFiles();
    // Where Tahoma is missing, the sans-serif faces closest to its narrow letters come first.
    static const char* const Families[] = {"Tahoma", "Liberation Sans", "Arimo",
                                           "DejaVu Sans Condensed"};
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    for (const char* family : Families) {
        if (QFontDatabase::hasFamily(QString::fromUtf8(family))) {
            font = QFont(QString::fromUtf8(family));
            break;
        }
    }
    font.setPixelSize(11);
    // A wider substitute is narrowed until the tightest texts of the window take no more room
    // than in Tahoma, so that every text still fits the controls drawn for it. The widths are
    // measured at each step: a narrower request may be met by another face of the family.
    if (QFontInfo(font).family() != QStringLiteral("Tahoma")) {
        const auto fits = [&font] {
            const QFontMetrics metrics(font);
            return std::ranges::all_of(TightTexts, [&metrics](const TightText& tight) {
                return metrics.horizontalAdvance(QString::fromUtf8(tight.text)) <=
                       tight.widthInTahoma;
            });
        };
        for (int stretch = QFont::Unstretched; stretch >= QFont::UltraCondensed && !fits();
             stretch -= 2) {
            font.setStretch(stretch);
        }
    }
    return font;
}

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

    // The pages stand in a frameless scroll area that is exactly as large as they are, unless
    // the screen is too small for the whole window (FitIntoScreen).
    auto* client = new QWidget;
    client->setFixedSize(ClientWidth, ClientHeight - StatusBarHeight);
    pageView_ = new QScrollArea(this);
    pageView_->setObjectName(QStringLiteral("PageView"));
    pageView_->setFrameShape(QFrame::NoFrame);
    pageView_->setFocusPolicy(Qt::NoFocus);
    pageView_->setWidget(client);
    pageView_->viewport()->setBackgroundRole(QPalette::Button);
    client->setBackgroundRole(QPalette::Button);
    pageView_->setFixedSize(client->size());
    setCentralWidget(pageView_);
    PageControl = new QTabWidget(client);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setGeometry(4, 4, 474, 648);
    SettingsTabSheet = new QWidget;
    SettingsTabSheet->setObjectName(QStringLiteral("SettingsTabSheet"));
    PatternsTabSheet = new QWidget;
    PatternsTabSheet->setObjectName(QStringLiteral("PatternsTabSheet"));
    PageControl->addTab(SettingsTabSheet, QStringLiteral("Settings"));
    PageControl->addTab(PatternsTabSheet, QStringLiteral("Patterns"));
    PageControl->setCurrentIndex(0);
    BuildSettingsPage();
    BuildPatternsPage();
    ConnectSettingsActions();
    ConnectPatternsPage();
    ConnectBackupMenu();
    BuildKeyboardOrder();
    UseWindowStyle(*this);

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setFixedHeight(StatusBarHeight);
    statusBar()->setSizeGripEnabled(false);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    FitIntoScreen();

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

// The window is placed at the centre of the screen's available area. Where that area is too
// small for it (large scale factors on small screens), the window is made as large as the area
// allows with room for a title bar, its pages scroll, and its title bar is kept on the screen.
void TMainForm::FitIntoScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        adjustSize();
        return;
    }
    const QRect available = screen->availableGeometry();
    const QSize pages = pageView_->widget()->size();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, pageView_);
    const int chrome = menuBar()->sizeHint().height() + StatusBarHeight;
    const int roomWidth = available.width() - 2 * FrameAllowance;
    const int roomHeight = available.height() - TitleBarAllowance - FrameAllowance - chrome;
    QSize view = pages;
    if (view.height() > roomHeight) {
        view.setHeight(std::max(roomHeight, MinimumPageViewHeight));
        view.setWidth(view.width() + scrollBar);
    }
    if (view.width() > roomWidth) {
        view.setWidth(std::max(roomWidth, MinimumPageViewWidth));
        view.setHeight(std::min(view.height() + scrollBar, std::max(roomHeight, pages.height())));
    }
    pageView_->setFixedSize(view);
    adjustSize();

    QPoint at = available.center() - frameGeometry().center() + pos();
    at.setX(std::clamp(at.x(), available.left(),
                       std::max(available.left(), available.right() - width())));
    at.setY(std::max(at.y(), available.top()));
    move(at);
}

void TMainForm::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));
    const auto item = [this](QMenu* menu, const char* name, const char* caption,
                             void (TMainForm::*handler)()) {
        QAction* action = menu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromUtf8(name));
        if (handler != nullptr) {
            connect(action, &QAction::triggered, this, handler);
        }
        return action;
    };

    File1 = bar->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    ExitMenu = item(File1, "ExitMenu", "E&xit", &TMainForm::ExitMenuClick);

    // The backup actions are wired by their own handlers.
    Actions1 = bar->addMenu(QStringLiteral("&Backup"));
    Actions1->setObjectName(QStringLiteral("Actions1"));
    CreateBackupMenu = item(Actions1, "CreateBackupMenu", "&Create a Backup of Vantor...", nullptr);
    OpenBackupMenu = item(Actions1, "OpenBackupMenu", "&Open a Backup file...", nullptr);
    RestoreBackupMenu =
        item(Actions1, "RestoreBackupMenu", "&Restore a Backup to Vantor...", nullptr);

    Help1 = bar->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    VisitKorvaneHomePageMenu =
        item(Help1, "VisitKorvaneHomePageMenu", "&Visit Korvane Home Page...",
             &TMainForm::VisitKorvaneHomePageMenuClick);
    Help1->addSeparator();
    SendKorvaneUSAanEmail = item(Help1, "SendKorvaneUSAanEmail", "Send Korvane &USA an Email...",
                                 &TMainForm::SendKorvaneUSAanEmailClick);
    SendKorvaneEuropeanEmail =
        item(Help1, "SendKorvaneEuropeanEmail", "Send Korvane &Europe an Email...",
             &TMainForm::SendKorvaneEuropeanEmailClick);
    SendKorvaneEmailMenu =
        item(Help1, "SendKorvaneEmailMenu", "&Send Korvane Australia an Email...",
             &TMainForm::SendKorvaneEmailMenuClick);
    Help1->addSeparator();
    VantorTradixInstructionManual =
        item(Help1, "VantorTradixInstructionManual", "Vantor Tradix User Guide...",
             &TMainForm::VantorTradixInstructionManualClick);
    VantorInstructionManual = item(Help1, "VantorInstructionManual", "Vantor Instruction Manual...",
                                   &TMainForm::VantorInstructionManualClick);
    Help1->addSeparator();
    AboutMenu = item(Help1, "AboutMenu", "&About...", &TMainForm::AboutMenuClick);
    Help1->addSeparator();
    VantorTradixLicenceAgreement =
        item(Help1, "VantorTradixLicenceAgreement", "Vantor Tradix Licence Agreement...",
             &TMainForm::VantorTradixLicenceAgreementClick);
}

void TMainForm::BuildSettingsPage() {
    QWidget* page = SettingsTabSheet;
    Panel(page, 5, 308);
    Panel(page, 316, 173);
    Panel(page, 492, 133);

    Label(page, "Mode Settings:", 12, 8, SettingsHeadingColour, true);
    ModePatternImage = Picture(page, "ModePatternImage", "Mode Pattern", 12, 29);
    ModePatternImage->setToolTip(QStringLiteral("Mode Pattern"));
    ModePatternImage->PopupMenu()->setObjectName(QStringLiteral("ModePatternPopupMenu"));
    SaveModePattern = ModePatternImage->SaveItem();
    SaveModePattern->setObjectName(QStringLiteral("SaveModePattern"));

    const QLabel* modeActionsCaption = Label(page, "I want to:", 290, 90, GuidanceColour);
    ModeActionsComboBox = ComboBox(
        page, "ModeActionsComboBox", modeActionsCaption, 290, 105, 165,
        {QStringLiteral("Download Mode from Vantor"), QStringLiteral("Upload Mode to Vantor"),
         QStringLiteral("Save Mode to a File"), QStringLiteral("Open Mode from a File")});
    ModeSettingsGrid = new SettingsGrid(ModeSettingsRows, page);
    ModeSettingsGrid->setObjectName(QStringLiteral("ModeSettingsGrid"));
    ModeSettingsGrid->setAccessibleName(QStringLiteral("Mode Settings"));
    ModeSettingsGrid->setGeometry(12, 105, 253, 202);
    connect(ModeSettingsGrid, &SettingsGrid::AfterEdit, this,
            &TMainForm::ModeSettingsGridAfterEdit);

    UploadModeLabel = Label(page, "Select the slot and\r\npress 'Upload'", 324, 60, GuidanceColour);
    UploadModeLabel->setObjectName(QStringLiteral("UploadModeLabel"));
    UploadModeLabel->hide();
    DownloadModeLabel =
        Label(page, "Select the Mode and\r\npress 'Download'", 324, 152, GuidanceColour);
    DownloadModeLabel->setObjectName(QStringLiteral("DownloadModeLabel"));
    DownloadModeLabel->hide();
    DownloadModeComboBox =
        ComboBox(page, "DownloadModeComboBox", DownloadModeLabel, 324, 184, 129,
                 ModeListItems(&ModeSlotInfo::downloadPosition, DownloadListSize));
    DownloadModeComboBox->hide();
    ModeActionBtn = Button(page, "ModeActionBtn", "Download",
                           "Download the Selected Mode from Vantor", 324, 215, 129);
    ModeActionBtn->hide();
    UploadModeComboBox = ComboBox(page, "UploadModeComboBox", UploadModeLabel, 324, 256, 129,
                                  ModeListItems(&ModeSlotInfo::uploadPosition, UploadListSize));
    UploadModeComboBox->hide();

    Label(page, "Universal Settings:", 12, 319, SettingsHeadingColour, true);
    GlobalSettingsGrid = new SettingsGrid(UniversalSettingsRows, page);
    GlobalSettingsGrid->setObjectName(QStringLiteral("GlobalSettingsGrid"));
    GlobalSettingsGrid->setAccessibleName(QStringLiteral("Universal Settings"));
    GlobalSettingsGrid->setGeometry(12, 341, 253, 142);
    connect(GlobalSettingsGrid, &SettingsGrid::AfterEdit, this,
            &TMainForm::GlobalSettingsGridAfterEdit);
    DownloadGlbBtn = Button(page, "DownloadGlbBtn", "Download",
                            "Download Universal Settings from Vantor", 324, 339, 129);
    UploadGlbBtn = Button(page, "UploadGlbBtn", "Upload", "Upload Universal Settings to Vantor",
                          324, 364, 129);
    SaveGlbBtn =
        Button(page, "SaveGlbBtn", "Save...", "Save Universal Settings in a File", 324, 389, 129);
    OpenGlbBtn =
        Button(page, "OpenGlbBtn", "Open...", "Open File with Universal Settings", 324, 414, 129);
    Separator(page, 324, 449, 129);
    RestoreUniversalBtn = Button(page, "RestoreUniversalBtn", "Restore Defaults",
                                 "Restore Default Universal Settings", 324, 460, 129);
    connect(RestoreUniversalBtn, &QPushButton::clicked, this, &TMainForm::RestoreUniversalBtnClick);

    Label(page, "Preferences:", 12, 496, SettingsHeadingColour, true);
    PrefSettingsGrid = new SettingsGrid(PreferencesRows, page);
    PrefSettingsGrid->setObjectName(QStringLiteral("PrefSettingsGrid"));
    PrefSettingsGrid->setAccessibleName(QStringLiteral("Preferences"));
    PrefSettingsGrid->setGeometry(12, 518, 253, 102);
    connect(PrefSettingsGrid, &SettingsGrid::AfterEdit, this,
            &TMainForm::PrefSettingsGridAfterEdit);
    DownloadPrefBtn = Button(page, "DownloadPrefBtn", "Download",
                             "Download Preferences from Vantor", 324, 517, 129);
    UploadPrefBtn =
        Button(page, "UploadPrefBtn", "Upload", "Upload Preferences to Vantor", 324, 542, 129);
    Separator(page, 324, 582, 129);
    RestorePrefBtn = Button(page, "RestorePrefBtn", "Restore Defaults",
                            "Restore Default Preferences", 324, 597, 129);
    connect(RestorePrefBtn, &QPushButton::clicked, this, &TMainForm::RestorePrefBtnClick);
}

void TMainForm::BuildPatternsPage() {
    QWidget* page = PatternsTabSheet;
    Panel(page, 132, 129);
    Panel(page, 266, 224);
    Panel(page, 496, 128);
    BuildPatternActions(page);
    BuildPatternPictures(page);
}

// The action selector and the controls of Download All and Upload, each shown when its step is.
void TMainForm::BuildPatternActions(QWidget* page) {
    const QLabel* actionsCaption = Label(page, "I want to:", 12, 12, GuidanceColour);
    PatternActionsComboBox = ComboBox(page, "PatternActionsComboBox", actionsCaption, 12, 28, 189,
                                      {QStringLiteral("Download all patterns from Vantor"),
                                       QStringLiteral("Upload a pattern to Vantor")});
    DownloadAllBtn = Button(page, "DownloadAllBtn", "Download All",
                            "Download All Patterns from Vantor", 236, 27, 120);
    DownloadAllBtn->hide();
    UploadPatternStep1Label = Label(page, "1. Open a file with a pattern", 12, 68, GuidanceColour);
    UploadPatternStep1Label->setObjectName(QStringLiteral("UploadPatternStep1Label"));
    UploadPatternStep1Label->hide();
    OpenPatternBtn = Button(page, "OpenPatternBtn", "Open...", "Open a File ", 12, 86, 120);
    OpenPatternBtn->hide();
    ExchangeImage = Picture(page, "ExchangeImage", "Pattern opened from a file", 140, 86,
                            SmallPatternPictureWidth, SmallPatternPictureHeight);
    ExchangeImage->PopupMenu()->setObjectName(QStringLiteral("ExchangePtrnPopupMenu"));
    ExchangeImage->hide();
    UploadPatternStep2Label =
        Label(page, "2. Select the slot and press 'Upload'", 212, 68, GuidanceColour);
    UploadPatternStep2Label->setObjectName(QStringLiteral("UploadPatternStep2Label"));
    UploadPatternStep2Label->hide();
    QStringList slotNames;
    for (const PatternSlotInfo& slot : PatternSlots) {
        slotNames << FromView(slot.name);
    }
    UploadPatternComboBox =
        ComboBox(page, "UploadPatternComboBox", UploadPatternStep2Label, 212, 86, 129, slotNames);
    UploadPatternComboBox->hide();
    UploadPatternBtn =
        Button(page, "UploadPatternBtn", "Upload", "Upload the Pattern to Vantor", 344, 86, 120);
    UploadPatternBtn->hide();
    PatternSaveLabel = Label(page,
                             "To save a pattern in a file,\r\nright click the pointing device "
                             "above \r\nthe pattern and select \"Save Pattern...\"",
                             236, 72, GuidanceColour);
    PatternSaveLabel->setObjectName(QStringLiteral("PatternSaveLabel"));
    PatternSaveLabel->setGeometry(236, 72, 193, 39);
    PatternSaveLabel->hide();
}

// The three headings and the twelve detector pictures with their captions and save items.
void TMainForm::BuildPatternPictures(QWidget* page) {
    Label(page, "Current Patterns:", 14, 136, PatternsHeadingColour, true);
    Label(page, "My Patterns:", 14, 270, PatternsHeadingColour, true);
    Label(page, "My Mode Patterns:", 14, 500, PatternsHeadingColour, true);

    // The twelve detector pictures in entry order: picture and caption positions.
    struct Place {
        const char* picture;
        const char* popupMenu;
        const char* saveItem;
        int x, y, captionX, captionY;
    };
    static constexpr std::array<Place, ExchangeEntry> Places = {{
        {"GlintmapImage", "GlintmapPtrnPopupMenu", "SaveGlintmapMenuItem", 16, 176, 40, 160},
        {"SvImage", "SvPtrnPopupMenu", "SaveSvMenuItem", 128, 175, 152, 160},
        {"MyPattern1Image", "UserPtrn0PopupMenu", "SaveUser0MenuItem", 16, 308, 36, 292},
        {"MyPattern2Image", "UserPtrn1PopupMenu", "SaveUser1MenuItem", 128, 308, 148, 292},
        {"MyPattern3Image", "UserPtrn2PopupMenu", "SaveUser2MenuItem", 240, 308, 260, 292},
        {"MyPattern4Image", "UserPtrn3PopupMenu", "SaveUser3MenuItem", 16, 404, 36, 388},
        {"MyPattern5Image", "UserPtrn4PopupMenu", "SaveUser4MenuItem", 128, 404, 148, 388},
        {"MyPattern6Image", "UserPtrn5PopupMenu", "SaveUser5MenuItem", 240, 404, 260, 388},
        {"MyMode1PatternImage", "UserModePtrn0PopupMenu", "SaveUserMode0MenuItem", 16, 540, 36,
         524},
        {"MyMode2PatternImage", "UserModePtrn1PopupMenu", "SaveUserMode1MenuItem", 128, 540, 152,
         524},
        {"MyMode3PatternImage", "UserModePtrn2PopupMenu", "SaveUserMode2MenuItem", 240, 540, 264,
         524},
        {"MyMode4PatternImage", "UserModePtrn3PopupMenu", "SaveUserMode3MenuItem", 352, 540, 376,
         524},
    }};
    for (std::size_t entry = 0; entry < Places.size(); ++entry) {
        const Place& place = Places[entry];
        PatternImage* picture =
            Picture(page, place.picture, PatternSlots[entry].caption, place.x, place.y);
        picture->PopupMenu()->setObjectName(QString::fromUtf8(place.popupMenu));
        picture->SaveItem()->setObjectName(QString::fromUtf8(place.saveItem));
        Label(page, PatternSlots[entry].caption, place.captionX, place.captionY,
              PictureCaptionColour);
        patternImages_[entry] = picture;
    }
    patternImages_[ExchangeEntry] = ExchangeImage;

    GlintmapImage = patternImages_[GlintmapEntry];
    SvImage = patternImages_[SvEntry];
    for (std::size_t i = 0; i < MyPatternImages.size(); ++i) {
        MyPatternImages[i] = patternImages_[FirstMyPatternEntry + i];
        SaveUserMenuItems[i] = MyPatternImages[i]->SaveItem();
    }
    for (std::size_t i = 0; i < MyModePatternImages.size(); ++i) {
        MyModePatternImages[i] = patternImages_[FirstMyModePatternEntry + i];
        SaveUserModeMenuItems[i] = MyModePatternImages[i]->SaveItem();
    }
    SaveGlintmapMenuItem = GlintmapImage->SaveItem();
    SaveSvMenuItem = SvImage->SaveItem();
    SaveExchangeMenuItem = ExchangeImage->SaveItem();
    SaveExchangeMenuItem->setObjectName(QStringLiteral("SaveExchangeMenuItem"));
}

// Tab and Shift+Tab go through the page tabs and then the controls of the page on show, group by
// group: the left column top to bottom, then the right column. Hidden controls are passed over.
// Ctrl+Tab and Ctrl+Shift+Tab turn the pages wherever the focus is.
void TMainForm::BuildKeyboardOrder() {
    std::vector<QWidget*> order = {
        PageControl->tabBar(), ModePatternImage,       ModeSettingsGrid,   ModeActionsComboBox,
        DownloadModeComboBox,  ModeActionBtn,          UploadModeComboBox, GlobalSettingsGrid,
        DownloadGlbBtn,        UploadGlbBtn,           SaveGlbBtn,         OpenGlbBtn,
        RestoreUniversalBtn,   PrefSettingsGrid,       DownloadPrefBtn,    UploadPrefBtn,
        RestorePrefBtn,        PatternActionsComboBox, DownloadAllBtn,     OpenPatternBtn,
        ExchangeImage,         UploadPatternComboBox,  UploadPatternBtn};
    for (std::size_t entry = 0; entry < ExchangeEntry; ++entry) {
        order.push_back(patternImages_[entry]);
    }
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }

    const auto pageKeys = [this](std::initializer_list<QKeySequence> keys, int step) {
        auto* action = new QAction(this);
        action->setShortcuts(QList<QKeySequence>(keys));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, step] { SwitchPage(step); });
        addAction(action);
    };
    pageKeys({QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}, 1);
    pageKeys(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
        -1);
}

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
    return BuildUniversalSettings(GlobalSettingsGrid->Texts(), UniversalLoaded, settings);
}

void TMainForm::ShowPreferences(const PreferencesRecord& preferences) {
    PrefSettingsGrid->SetTexts(RecordTexts(PreferencesRows, preferences));
}

bool TMainForm::ReadPreferencesFromGrid(PreferencesRecord& preferences) {
    return BuildPreferences(PrefSettingsGrid->Texts(), PreferencesLoaded, preferences);
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
