// How the main window is built and placed: the menus, the scroll area and the two pages with
// their controls at fixed positions, the keyboard order and the window's size on the screen. The
// handlers the controls are wired to live in the other Mainformunit files.
#include <QAction>
#include <QComboBox>
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
#include <vector>

#include "Artwork.h"
#include "HeadingLabel.h"
#include "Mainformunit.h"
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

// The panels drawn behind the sections of each page: top and height.
struct PanelPlace {
    int top;
    int height;
};
constexpr PanelPlace SettingsPanels[] = {{5, 308}, {316, 173}, {492, 133}};
constexpr PanelPlace PatternsPanels[] = {{132, 129}, {266, 224}, {496, 128}};

// The column of buttons beside the Universal Settings and Preferences grids.
constexpr int SectionButtonLeft = 324;
constexpr int SectionButtonWidth = 129;

enum class LabelWeight { Plain, Heading };

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* Label(QWidget* parent, std::string_view text, int x, int y, const QColor& colour,
              LabelWeight weight = LabelWeight::Plain) {
    QLabel* label = weight == LabelWeight::Heading ? new HeadingLabel(ShownText(text), parent)
                                                   : new QLabel(ShownText(text), parent);
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

SettingsGrid* Grid(QWidget* parent, std::span<const SettingsRow> rows, const char* name,
                   const char* spokenName, const QRect& place) {
    auto* grid = new SettingsGrid(rows, parent);
    grid->setObjectName(QString::fromUtf8(name));
    grid->setAccessibleName(QString::fromUtf8(spokenName));
    grid->setGeometry(place);
    return grid;
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

// A button of a record section's column: the control it fills and where it stands.
struct TMainForm::SectionButton {
    QPushButton* MainFormControls::*member;
    const char* name;
    const char* caption;
    const char* hint;
    int top;
};

// A section of the Settings page that shows one record in a grid beside its buttons.
struct TMainForm::RecordSection {
    const char* heading;
    int headingTop;
    SettingsGrid* MainFormControls::*grid;
    std::span<const SettingsRow> rows;
    const char* gridName;
    const char* spokenName;
    QRect gridPlace;
    void (TMainForm::*afterEdit)(int);
    std::span<const SectionButton> actions;
    int ruleTop;
    SectionButton restore;
    void (TMainForm::*restoreClick)();
};

void TMainForm::BuildPages() {
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
}

// The status bar; then the window takes its fixed size and its place on the screen.
void TMainForm::BuildStatusBar() {
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setFixedHeight(StatusBarHeight);
    statusBar()->setSizeGripEnabled(false);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    FitIntoScreen();
}

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

// The Mode section: its heading and picture, the action selector, the grid and the controls of
// the chosen action, each shown when its step is.
void TMainForm::BuildModeSection(QWidget* page) {
    Label(page, "Mode Settings:", 12, 8, SettingsHeadingColour, LabelWeight::Heading);
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
    ModeSettingsGrid =
        Grid(page, ModeSettingsRows, "ModeSettingsGrid", "Mode Settings", QRect(12, 105, 253, 202));
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
}

// The Universal Settings and Preferences sections share one shape: a heading, the grid, a column
// of action buttons, a rule, and the button that restores the defaults.
void TMainForm::BuildRecordSection(QWidget* page, const RecordSection& section) {
    Label(page, section.heading, 12, section.headingTop, SettingsHeadingColour,
          LabelWeight::Heading);
    SettingsGrid* grid =
        Grid(page, section.rows, section.gridName, section.spokenName, section.gridPlace);
    this->*section.grid = grid;
    connect(grid, &SettingsGrid::AfterEdit, this, section.afterEdit);
    for (const SectionButton& button : section.actions) {
        this->*button.member = Button(page, button.name, button.caption, button.hint,
                                      SectionButtonLeft, button.top, SectionButtonWidth);
    }
    Separator(page, SectionButtonLeft, section.ruleTop, SectionButtonWidth);
    const SectionButton& restore = section.restore;
    QPushButton* restoreButton = Button(page, restore.name, restore.caption, restore.hint,
                                        SectionButtonLeft, restore.top, SectionButtonWidth);
    this->*restore.member = restoreButton;
    connect(restoreButton, &QPushButton::clicked, this, section.restoreClick);
}

void TMainForm::BuildSettingsPage() {
    QWidget* page = SettingsTabSheet;
    for (const PanelPlace& panel : SettingsPanels) {
        Panel(page, panel.top, panel.height);
    }
    BuildModeSection(page);

    static constexpr SectionButton UniversalActions[] = {
        {&TMainForm::DownloadGlbBtn, "DownloadGlbBtn", "Download",
         "Download Universal Settings from Vantor", 339},
        {&TMainForm::UploadGlbBtn, "UploadGlbBtn", "Upload", "Upload Universal Settings to Vantor",
         364},
        {&TMainForm::SaveGlbBtn, "SaveGlbBtn", "Save...", "Save Universal Settings in a File", 389},
        {&TMainForm::OpenGlbBtn, "OpenGlbBtn", "Open...", "Open File with Universal Settings", 414},
    };
    static constexpr SectionButton PreferencesActions[] = {
        {&TMainForm::DownloadPrefBtn, "DownloadPrefBtn", "Download",
         "Download Preferences from Vantor", 517},
        {&TMainForm::UploadPrefBtn, "UploadPrefBtn", "Upload", "Upload Preferences to Vantor", 542},
    };
    const RecordSection sections[] = {
        {.heading = "Universal Settings:",
         .headingTop = 319,
         .grid = &TMainForm::GlobalSettingsGrid,
         .rows = UniversalSettingsRows,
         .gridName = "GlobalSettingsGrid",
         .spokenName = "Universal Settings",
         .gridPlace = QRect(12, 341, 253, 142),
         .afterEdit = &TMainForm::GlobalSettingsGridAfterEdit,
         .actions = UniversalActions,
         .ruleTop = 449,
         .restore = {&TMainForm::RestoreUniversalBtn, "RestoreUniversalBtn", "Restore Defaults",
                     "Restore Default Universal Settings", 460},
         .restoreClick = &TMainForm::RestoreUniversalBtnClick},
        {.heading = "Preferences:",
         .headingTop = 496,
         .grid = &TMainForm::PrefSettingsGrid,
         .rows = PreferencesRows,
         .gridName = "PrefSettingsGrid",
         .spokenName = "Preferences",
         .gridPlace = QRect(12, 518, 253, 102),
         .afterEdit = &TMainForm::PrefSettingsGridAfterEdit,
         .actions = PreferencesActions,
         .ruleTop = 582,
         .restore = {&TMainForm::RestorePrefBtn, "RestorePrefBtn", "Restore Defaults",
                     "Restore Default Preferences", 597},
         .restoreClick = &TMainForm::RestorePrefBtnClick},
    };
    for (const RecordSection& section : sections) {
        BuildRecordSection(page, section);
    }
}

void TMainForm::BuildPatternsPage() {
    QWidget* page = PatternsTabSheet;
    for (const PanelPlace& panel : PatternsPanels) {
        Panel(page, panel.top, panel.height);
    }
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
    Label(page, "Current Patterns:", 14, 136, PatternsHeadingColour, LabelWeight::Heading);
    Label(page, "My Patterns:", 14, 270, PatternsHeadingColour, LabelWeight::Heading);
    Label(page, "My Mode Patterns:", 14, 500, PatternsHeadingColour, LabelWeight::Heading);

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
}  // namespace holvane
