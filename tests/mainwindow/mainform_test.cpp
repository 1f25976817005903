// The main window right after start-up, its menus, the Help items and the About box.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <map>

#include "AboutDlg.h"
#include "Artwork.h"
#include "Mainformunit.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "Startup.h"

namespace holvane {
namespace {

using testing::AskedMessage;
using testing::ScriptedDialogs;

class MainFormTest : public ::testing::Test, protected testing::WithApplication {
protected:
    ScriptedDialogs dialogs;
    TMainForm form{dialogs};
};

std::vector<std::string> Texts(const SettingsGrid& grid) {
    const RowTexts texts = grid.Texts();
    return {texts.begin(), texts.end()};
}

TEST_F(MainFormTest, StartsWithEmptyStateAndDefaultsInTheGrids) {
    EXPECT_FALSE(form.ModeHasPattern);
    EXPECT_FALSE(form.UniversalLoaded);
    EXPECT_FALSE(form.PreferencesLoaded);
    EXPECT_EQ(form.PatternsHeld, 0u);
    for (const PatternRecord& buffer : form.PatternBuffers) {
        EXPECT_EQ(buffer, PatternRecord{});
    }
    // Beyond the defaults of bytes 0..21 the current mode is all zero.
    for (std::size_t i = 22; i < ModeSize; ++i) {
        EXPECT_EQ(form.CurrentMode[i], 0) << "byte " << i;
    }

    EXPECT_FALSE(form.Controls().SaveModePattern->isEnabled());
    for (int entry = 0; entry < PatternEntryCount; ++entry) {
        EXPECT_FALSE(form.SavePatternItem(entry)->isEnabled()) << "entry " << entry;
        EXPECT_EQ(form.SavePatternItem(entry)->text(), "Save Pattern...");
    }

    EXPECT_EQ(Texts(*form.Controls().ModeSettingsGrid),
              (std::vector<std::string>{"Off", "Off", "High", "Neutral", "24", "Normal", "Multi",
                                        "Conduct", "25", "30"}));
    EXPECT_EQ(Texts(*form.Controls().GlobalSettingsGrid),
              (std::vector<std::string>{"Auto", "22", "A", "30", "30", "15", "6"}));
    EXPECT_EQ(Texts(*form.Controls().PrefSettingsGrid),
              (std::vector<std::string>{"15", "Normal", "On", "Off", "Off"}));
    EXPECT_EQ(form.Controls().ModeSettingsGrid->Caption(8), " Audio Tone ID Variability");
    EXPECT_EQ(form.Controls().GlobalSettingsGrid->Caption(3), " Audio Threshold Level");
    EXPECT_EQ(form.Controls().PrefSettingsGrid->Caption(4), " Display Timeout");
}

TEST_F(MainFormTest, IsAFixedWindowThatOpensOnTheSettingsPage) {
    form.show();
    EXPECT_EQ(form.windowTitle(), "VANTOR Tradix");
    EXPECT_EQ(form.Controls().PageControl->currentWidget(), form.Controls().SettingsTabSheet);
    EXPECT_EQ(form.Controls().PageControl->tabText(0), "Settings");
    EXPECT_EQ(form.Controls().PageControl->tabText(1), "Patterns");

    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    // The client area below the menu bar: the pages and the status bar.
    EXPECT_EQ(form.centralWidget()->width(), 480);
    EXPECT_EQ(form.centralWidget()->height() + form.statusBar()->height(), 670);
    EXPECT_EQ(form.statusBar()->height(), 19);
    EXPECT_EQ(form.Controls().PageControl->geometry(), QRect(4, 4, 474, 648));
    EXPECT_TRUE(form.statusBar()->currentMessage().isEmpty());
}

TEST_F(MainFormTest, ShowsOnlyTheControlsOfNoActionAtStart) {
    const std::vector<QWidget*> hidden = {
        form.Controls().UploadModeLabel,         form.Controls().DownloadModeLabel,
        form.Controls().DownloadModeComboBox,    form.Controls().ModeActionBtn,
        form.Controls().UploadModeComboBox,      form.Controls().DownloadAllBtn,
        form.Controls().UploadPatternStep1Label, form.Controls().OpenPatternBtn,
        form.Controls().ExchangeImage,           form.Controls().UploadPatternStep2Label,
        form.Controls().UploadPatternComboBox,   form.Controls().UploadPatternBtn,
        form.Controls().PatternSaveLabel};
    for (QWidget* widget : hidden) {
        EXPECT_TRUE(widget->isHidden()) << widget->objectName().toStdString();
    }
    const std::vector<QWidget*> shown = {
        form.Controls().ModePatternImage,      form.Controls().ModeActionsComboBox,
        form.Controls().ModeSettingsGrid,      form.Controls().GlobalSettingsGrid,
        form.Controls().PrefSettingsGrid,      form.Controls().PatternActionsComboBox,
        form.Controls().GlintmapImage,         form.Controls().SvImage,
        form.Controls().MyModePatternImages[3]};
    for (QWidget* widget : shown) {
        EXPECT_FALSE(widget->isHidden()) << widget->objectName().toStdString();
    }
    for (QComboBox* box :
         {form.Controls().ModeActionsComboBox, form.Controls().DownloadModeComboBox,
          form.Controls().UploadModeComboBox, form.Controls().PatternActionsComboBox,
          form.Controls().UploadPatternComboBox}) {
        EXPECT_EQ(box->currentIndex(), -1) << box->objectName().toStdString();
    }
    EXPECT_EQ(form.Controls().DownloadModeComboBox->itemText(0), "Current Mode");
    EXPECT_EQ(form.Controls().DownloadModeComboBox->itemText(5), "Korvane Coins");
    EXPECT_EQ(form.Controls().UploadModeComboBox->count(), 5);
    EXPECT_EQ(form.Controls().UploadPatternComboBox->itemText(8), "My Mode 1 Pattern");
    EXPECT_EQ(form.Controls().ModeActionBtn->text(), "Download");
}

TEST_F(MainFormTest, MenusCarryTheirCaptionsInOrder) {
    const auto captions = [](const QMenu* menu) {
        std::vector<std::string> texts;
        for (const QAction* action : menu->actions()) {
            texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
        }
        return texts;
    };
    const QList<QAction*> menus = form.menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Backup");
    EXPECT_EQ(menus[2]->text(), "&Help");
    EXPECT_EQ(captions(form.Controls().File1), (std::vector<std::string>{"E&xit"}));
    EXPECT_EQ(captions(form.Controls().Actions1),
              (std::vector<std::string>{"&Create a Backup of Vantor...", "&Open a Backup file...",
                                        "&Restore a Backup to Vantor..."}));
    EXPECT_EQ(captions(form.Controls().Help1),
              (std::vector<std::string>{
                  "&Visit Korvane Home Page...", "-", "Send Korvane &USA an Email...",
                  "Send Korvane &Europe an Email...", "&Send Korvane Australia an Email...", "-",
                  "Vantor Tradix User Guide...", "Vantor Instruction Manual...", "-", "&About...",
                  "-", "Vantor Tradix Licence Agreement..."}));
}

TEST_F(MainFormTest, ExitClosesTheWindowWithoutAQuestion) {
    form.show();
    form.UniversalLoaded = true;
    form.Controls().ExitMenu->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainFormTest, LinksGoToTheSystemAndShowNothing) {
    form.Controls().VisitKorvaneHomePageMenu->trigger();
    form.Controls().SendKorvaneUSAanEmail->trigger();
    form.Controls().SendKorvaneEuropeanEmail->trigger();
    form.Controls().SendKorvaneEmailMenu->trigger();
    ASSERT_EQ(dialogs.opened.size(), 4u);
    EXPECT_EQ(dialogs.opened[0].path(), "/consumer/");
    EXPECT_TRUE(dialogs.opened[0].scheme().startsWith("http"));
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(dialogs.opened[i].scheme(), "mailto");
    }
    EXPECT_NE(dialogs.opened[1], dialogs.opened[2]);
    EXPECT_NE(dialogs.opened[2], dialogs.opened[3]);
    EXPECT_TRUE(dialogs.messages.empty());
}

struct DocumentCase {
    QAction* MainFormControls::*item;
    const char* fileName;
};

TEST_F(MainFormTest, MissingDocumentsAreReportedWithTheirFullPath) {
    const std::vector<DocumentCase> cases = {
        {&MainFormControls::VantorTradixInstructionManual, "Vantor Tradix User Guide.pdf"},
        {&MainFormControls::VantorInstructionManual, "Vantor Instruction Manual.pdf"},
        {&MainFormControls::VantorTradixLicenceAgreement,
         "Vantor Tradix Software Licence Agreement.pdf"},
    };
    for (const DocumentCase& c : cases) {
        dialogs.messages.clear();
        const QString path = QCoreApplication::applicationDirPath() + "/" + c.fileName;
        ASSERT_FALSE(QFile::exists(path));
        (form.Controls().*c.item)->trigger();
        EXPECT_EQ(dialogs.messages,
                  (std::vector<AskedMessage>{
                      {MessageKind::Error, "Cannot find file:\r\n" + path.toStdString()}}));
    }
    EXPECT_TRUE(dialogs.opened.empty());
}

TEST_F(MainFormTest, PresentDocumentIsHandedToTheSystem) {
    const QString path = QCoreApplication::applicationDirPath() + "/Vantor Instruction Manual.pdf";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4\n");
    }
    form.Controls().VantorInstructionManual->trigger();
    QFile::remove(path);
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(dialogs.opened.size(), 1u);
    EXPECT_EQ(dialogs.opened[0], QUrl::fromLocalFile(path));
}

#ifdef HOLVANE_PROGRAM_DIR
// The Help menu looks for its documents in the program's folder: the build puts the two that
// come with the program there, as the installation does.
TEST(BundledDocumentsTest, AreBuiltBesideTheProgram) {
    for (const char* name :
         {"Vantor Tradix User Guide.pdf", "Vantor Tradix Software Licence Agreement.pdf"}) {
        QFile document(QStringLiteral(HOLVANE_PROGRAM_DIR "/") + QString::fromUtf8(name));
        ASSERT_TRUE(document.open(QIODevice::ReadOnly)) << document.fileName().toStdString();
        EXPECT_TRUE(document.read(5).startsWith("%PDF-")) << name;
    }
}
#endif

// The launchers: each names its program, the program's own desktop file name, the instance name
// its windows carry on X11 (the program's file name) and the one icon.
TEST(LauncherTest, EachLauncherMatchesItsProgram) {
    struct Case {
        const char* desktopFile;
        const char* program;
        const char* name;
    };
    for (const Case& c : {Case{ProgramDesktopFile, "holvane", "Holvane"},
                          Case{DemoDesktopFile, "holvane-demo", "Holvane (demo)"}}) {
        QFile file(QStringLiteral(HOLVANE_PACKAGING_DIR "/") + QString::fromUtf8(c.desktopFile) +
                   QStringLiteral(".desktop"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << c.desktopFile;
        std::map<std::string, std::string> keys;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const qsizetype equals = line.indexOf('=');
            if (equals > 0) {
                keys[line.left(equals).toStdString()] = line.mid(equals + 1).toStdString();
            }
        }
        EXPECT_EQ(keys["Name"], c.name) << c.desktopFile;
        EXPECT_EQ(keys["Exec"], c.program) << c.desktopFile;
        EXPECT_EQ(keys["StartupWMClass"], c.program) << c.desktopFile;
        EXPECT_EQ(keys["Icon"], ProgramDesktopFile) << c.desktopFile;
    }
}

#ifdef HOLVANE_ICON_DIR
// The launcher's icon files are the window's icon, size by size.
TEST(LauncherTest, TheLauncherIconIsTheWindowIcon) {
    testing::TestApplication();
    const QIcon window = ProgramIcon();
    for (const int size : ProgramIconSizes) {
        const QString path = QStringLiteral(HOLVANE_ICON_DIR "/%1x%1/").arg(size) +
                             QString::fromUtf8(ProgramDesktopFile) + QStringLiteral(".png");
        const QImage launcher(path);
        ASSERT_FALSE(launcher.isNull()) << path.toStdString();
        EXPECT_EQ(window.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32),
                  launcher.convertToFormat(QImage::Format_ARGB32))
            << size;
    }
}
#endif

TEST_F(MainFormTest, AboutShowsTheSameVersionEveryTime) {
    TAboutDlg about;
    form.SetAboutDlg(&about);
    std::vector<QString> seen;
    for (int showing = 0; showing < 2; ++showing) {
        QTimer::singleShot(0, &about, [&] {
            seen.push_back(about.isVisible() ? about.VersionLabel->text() : QString());
            about.OKBtn->click();
        });
        form.Controls().AboutMenu->trigger();
        EXPECT_FALSE(about.isVisible());
    }
    EXPECT_EQ(seen, (std::vector<QString>{"V. 1.0.2.0", "V. 1.0.2.0"}));
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.size(), QSize(293, 226));
}

}  // namespace
}  // namespace holvane
