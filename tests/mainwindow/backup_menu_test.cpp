// The Backup menu through the scripted dialogs and the virtual detector: creating a backup
// file, showing one in the window, and restoring one into the detector.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <cstring>

#include "Fileio.h"
#include "SettingsRows.h"
#include "WindowOnDetector.h"

namespace holvane {
namespace {

using simulator::VirtualDetector;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* BackupFilter = "Vantor backup files (*.vantor)|*.vantor";

// A backup unlike the fixture detector's content in every record byte, all user modes present.
BackupPayload DifferentBackup(const VirtualDetector& from) {
    BackupPayload payload = from.SaveBackup();
    for (auto& byte : payload) {
        byte = static_cast<std::uint8_t>(byte ^ 0x5A);
    }
    for (int k = 0; k < 4; ++k) {
        payload[backup::UserModePresent(k)] = 1;
        payload[backup::UserModePresent(k) + 1] = 0;
    }
    return payload;
}

class BackupMenuTest : public testing::WindowOnDetector {
protected:
    // Answers the file dialog and, for a restore, the question.
    void Create(const std::string& name) {
        dialogs.fileAnswers.push_back(name);
        form.Controls().CreateBackupMenu->trigger();
    }
    void OpenBackup(const std::string& name) {
        dialogs.fileAnswers.push_back(name);
        form.Controls().OpenBackupMenu->trigger();
    }
    void Restore(const std::string& name, MessageAnswer answer = MessageAnswer::Ok) {
        dialogs.fileAnswers.push_back(name);
        dialogs.messageAnswers.push_back(answer);
        form.Controls().RestoreBackupMenu->trigger();
    }
    BackupPayload ReadBack(const std::string& name) {
        BackupPayload payload{};
        EXPECT_EQ(ReadBackupFile(name, payload), FileResult::Success);
        return payload;
    }
    std::string FileContent(const std::string& name) {
        QFile file(QString::fromStdString(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }
    void ExpectWindowUntouched() {
        EXPECT_FALSE(form.ModeHasPattern);
        EXPECT_FALSE(form.UniversalLoaded);
        EXPECT_FALSE(form.PreferencesLoaded);
        EXPECT_EQ(form.PatternsHeld, 0u);
        EXPECT_FALSE(form.Controls().SaveModePattern->isEnabled());
    }
};

TEST_F(BackupMenuTest, CreateSavesTheDetectorsRecords) {
    struct Case {
        const char* chosen;
        const char* saved;
    };
    const Case cases[] = {
        {"b", "b.vantor"}, {"b.VANTOR", "b.VANTOR"}, {"b.vantor.old", "b.vantor.old.vantor"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        dialogs.fileDialogs.clear();
        Create(File(c.chosen));
        ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
        EXPECT_TRUE(dialogs.fileDialogs[0].save);
        EXPECT_EQ(dialogs.fileDialogs[0].asked.filter, BackupFilter);
        EXPECT_EQ(dialogs.fileDialogs[0].asked.title, "Backup Vantor Settings");
        EXPECT_EQ(form.SaveDlg.fileName, File(c.saved));
        EXPECT_EQ(ReadBack(File(c.saved)), detector.SaveBackup());
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(File("b"))));
    EXPECT_THAT(Errors(), IsEmpty());
    EXPECT_THAT(WrittenIds(), IsEmpty());
    ExpectWindowUntouched();
}

// A failed Create writes no file, and a file that had the chosen name keeps its content.
TEST_F(BackupMenuTest, AbortedCreateLeavesTheFileAlone) {
    struct Case {
        const char* what;
        int refusedId;  // -1: the detector is unplugged
        const char* message;
    };
    const Case cases[] = {
        {"no detector", -1,
         "Could not connect to the Vantor.\r\nCheck the connection and try again."},
        {"current mode", 10, "Backup has been aborted.\r\nCould not download data from Vantor."},
        {"preferences", 1, "Backup has been aborted.\r\nCould not download data from Vantor."},
        {"My Pattern 3", 44,
         "Backup has been aborted.\r\nCould not download data from Vantor.\r\nTry again."},
    };
    const std::string name = File("old.vantor");
    ASSERT_EQ(WriteBackupFile(name, DifferentBackup(detector)), FileResult::Success);
    const std::string before = FileContent(name);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        detector.ClearFaults();
        platform.SetPluggedIn(Path, c.refusedId >= 0);
        if (c.refusedId >= 0) {
            detector.RefuseId(static_cast<std::uint8_t>(c.refusedId));
        }
        dialogs.messages.clear();
        Create(name);
        EXPECT_THAT(Errors(), ElementsAre(c.message));
        EXPECT_EQ(FileContent(name), before);
        EXPECT_EQ(DeviceHandle(), nullptr);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.vantor"});
}

TEST_F(BackupMenuTest, CreateCancelledOrUnwritable) {
    form.Controls().CreateBackupMenu->trigger();  // no answer: the dialog is cancelled
    EXPECT_EQ(platform.OpenCount(Path), 0);
    EXPECT_THAT(Errors(), IsEmpty());

    Create(File("no/such/folder/b"));
    EXPECT_THAT(Errors(), ElementsAre("Could not create a file to save the backup.\r\nTry again."));
}

TEST_F(BackupMenuTest, BackupWithoutMyMode3) {
    detector.SetUserModePresent(6, false);
    Create(File("b"));
    const BackupPayload payload = ReadBack(File("b.vantor"));
    EXPECT_EQ(payload[880], 0);
    EXPECT_EQ(payload[292], 1);

    // Opened: the My Mode 3 picture is empty and cannot be saved; its buffer keeps its bytes.
    form.PatternBuffers[10] = testing::SomePattern(1);
    form.PatternsHeld = 1u << 10;
    form.SavePatternItem(10)->setEnabled(true);
    OpenBackup(File("b.vantor"));
    EXPECT_FALSE(form.PatternsHeld & (1u << 10));
    EXPECT_FALSE(form.SavePatternItem(10)->isEnabled());
    EXPECT_EQ(form.PatternPicture(10).Bitmap(), Drawn(nullptr));
    EXPECT_EQ(form.PatternBuffers[10], testing::SomePattern(1));
    EXPECT_EQ(form.PatternsHeld, 0xFFFu & ~(1u << 10));

    // Restored into a detector whose My Mode 3 differs: it stays as it was.
    VirtualDetector target;
    ModeRecord myMode3{};
    myMode3.fill(0x33);
    target.SetMode(6, myMode3);
    platform.AddInterface({Path}, &target);
    Restore(File("b.vantor"));
    EXPECT_THAT(Errors(), IsEmpty());
    EXPECT_EQ(target.Mode(6), myMode3);
    EXPECT_THAT(::WrittenIds(target),
                ElementsAre(10, 0, 1, 41, 42, 43, 44, 45, 46, 47, 6, 7, 9, 55));
}

TEST_F(BackupMenuTest, OpenShowsTheBackupInTheWindow) {
    BackupPayload payload = DifferentBackup(detector);
    payload[backup::UserModePresent(0)] = 2;  // any non-zero value is present
    payload[backup::UserModePresent(3)] = 0;
    ASSERT_EQ(WriteBackupFile(File("b.vantor"), payload), FileResult::Success);
    form.Controls().PageControl->setCurrentIndex(1);
    const QImage exchangeBefore = form.Controls().ExchangeImage->Bitmap();

    OpenBackup(File("b.vantor"));

    ASSERT_THAT(Errors(), IsEmpty());
    EXPECT_EQ(dialogs.fileDialogs.back().asked.filter, BackupFilter);
    EXPECT_EQ(dialogs.fileDialogs.back().asked.title, "Open Vantor Backup");
    EXPECT_EQ(platform.OpenCount(Path), 0);
    EXPECT_EQ(form.Controls().PageControl->currentIndex(), 1);

    EXPECT_EQ(form.CurrentMode, backup::RecordAt<ModeRecord>(payload, 0));
    EXPECT_EQ(form.Controls().ModeSettingsGrid->Texts(),
              RecordTexts(ModeSettingsRows, ModeSettingsOf(form.CurrentMode)));
    EXPECT_TRUE(form.ModeHasPattern);
    EXPECT_TRUE(form.Controls().SaveModePattern->isEnabled());
    EXPECT_EQ(form.UniversalSettings,
              backup::RecordAt<UniversalSettingsRecord>(payload, backup::UniversalSettings));
    EXPECT_EQ(form.Controls().GlobalSettingsGrid->Texts(),
              RecordTexts(UniversalSettingsRows, form.UniversalSettings));
    EXPECT_TRUE(form.UniversalLoaded);
    EXPECT_EQ(form.Preferences, backup::RecordAt<PreferencesRecord>(payload, backup::Preferences));
    EXPECT_EQ(form.Controls().PrefSettingsGrid->Texts(),
              RecordTexts(PreferencesRows, form.Preferences));
    EXPECT_TRUE(form.PreferencesLoaded);

    const PatternRecord modePattern = form.CurrentModePattern();
    EXPECT_EQ(form.Controls().GlintmapImage->Bitmap(), form.Controls().ModePatternImage->Bitmap());
    EXPECT_EQ(form.Controls().ModePatternImage->Bitmap(), Drawn(&modePattern));
    const std::pair<int, std::size_t> entries[] = {
        {0, 26},   {1, 1502}, {2, 1768}, {3, 2034}, {4, 2300}, {5, 2566},
        {6, 2832}, {7, 3098}, {8, 320},  {9, 614},  {10, 908},
    };
    for (const auto& [entry, offset] : entries) {
        SCOPED_TRACE(entry);
        const auto pattern = backup::RecordAt<PatternRecord>(payload, offset);
        EXPECT_EQ(form.PatternBuffers[static_cast<std::size_t>(entry)], pattern);
        EXPECT_EQ(form.PatternPicture(entry).Bitmap(), Drawn(&pattern));
        EXPECT_TRUE(form.SavePatternItem(entry)->isEnabled());
    }
    EXPECT_EQ(form.PatternsHeld, 0x7FFu);
    EXPECT_EQ(form.PatternPicture(11).Bitmap(), Drawn(nullptr));
    EXPECT_FALSE(form.SavePatternItem(11)->isEnabled());
    EXPECT_EQ(form.Controls().ExchangeImage->Bitmap(), exchangeBefore);
}

// A damaged or missing file is refused before anything is shown or the detector is contacted.
TEST_F(BackupMenuTest, UnreadableBackupIsRefused) {
    const std::string name = File("b.vantor");
    ASSERT_EQ(WriteBackupFile(name, DifferentBackup(detector)), FileResult::Success);
    {
        QFile file(QString::fromStdString(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(2000);
        char byte = 0;
        file.getChar(&byte);
        file.seek(2000);
        file.putChar(static_cast<char>(byte ^ 1));
    }
    const BackupPayload detectorBefore = detector.SaveBackup();
    struct Case {
        const char* file;
        bool restore;
        const char* message;
    };
    const Case cases[] = {
        {"b.vantor", false, "The file has corrupted data.\r\n"},
        {"b.vantor", true, "The file has corrupted data.\r\n"},
        {"gone.vantor", false, "Could not open the file.\r\n"},
        {"gone.vantor", true, "Could not open the file.\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.restore ? " restore" : " open"));
        dialogs.messages.clear();
        if (c.restore) {
            Restore(File(c.file));
        } else {
            OpenBackup(File(c.file));
        }
        EXPECT_THAT(Errors(), ElementsAre(c.message));
        EXPECT_EQ(platform.OpenCount(Path), 0);
        ExpectWindowUntouched();
    }
    EXPECT_EQ(detector.SaveBackup(), detectorBefore);
}

TEST_F(BackupMenuTest, RestoreCancelledWritesNothing) {
    ASSERT_EQ(WriteBackupFile(File("b.vantor"), DifferentBackup(detector)), FileResult::Success);
    Restore(File("b.vantor"), MessageAnswer::Cancel);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0],
              (testing::AskedMessage{MessageKind::Warning,
                                     "The backup data will overwrite the existing\r\nsettings, all "
                                     "User Modes and User Patterns.\r\nDo you wish to proceed?"}));
    EXPECT_EQ(dialogs.fileDialogs[0].asked.title, "Open Vantor Backup");
    EXPECT_THAT(WireLog(), IsEmpty());
    EXPECT_EQ(detector.FinishUploadCount(), 0);

    platform.SetPluggedIn(Path, false);
    dialogs.messages.clear();
    Restore(File("b.vantor"));
    EXPECT_THAT(
        Errors(),
        ElementsAre("Could not connect to the Vantor.\r\nCheck the connection and try again."));
}

TEST_F(BackupMenuTest, RestoreStopsWhereTheLinkIsLost) {
    const BackupPayload payload = DifferentBackup(detector);
    ASSERT_EQ(WriteBackupFile(File("b.vantor"), payload), FileResult::Success);
    const PatternRecord myPattern1Before = detector.Pattern(20);
    detector.LoseLinkAfter(4);  // after the Swiftveil pattern

    Restore(File("b.vantor"));

    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1],
              (testing::AskedMessage{
                  MessageKind::Error,
                  "Could not upload the My Pattern 1.\r\nCheck the connection and try again."}));
    EXPECT_EQ(detector.Mode(8), backup::RecordAt<ModeRecord>(payload, 0));
    EXPECT_EQ(detector.UniversalSettings(),
              backup::RecordAt<UniversalSettingsRecord>(payload, backup::UniversalSettings));
    EXPECT_EQ(detector.Preferences(),
              backup::RecordAt<PreferencesRecord>(payload, backup::Preferences));
    EXPECT_EQ(detector.Pattern(19), backup::RecordAt<PatternRecord>(payload, backup::Swiftveil));
    EXPECT_EQ(detector.Pattern(20), myPattern1Before);
    EXPECT_THAT(WrittenIds(), ElementsAre(10, 0, 1, 41, 42));
    EXPECT_EQ(detector.FinishUploadCount(), 0);
    ExpectWindowUntouched();
}

// A backup made through the window and restored through it into a fresh detector leaves the two
// detectors' records equal.
TEST_F(BackupMenuTest, BackupRestoredIntoAFreshDetector) {
    detector.SetUserModePresent(5, false);
    Create(File("whole"));
    VirtualDetector fresh;
    for (int slot = FirstUserModeSlot; slot <= LastUserModeSlot; ++slot) {
        fresh.SetUserModePresent(slot, false);
    }
    platform.AddInterface({Path}, &fresh);
    Restore(File("whole.vantor"));
    ASSERT_EQ(dialogs.messages.size(), 1u);  // the question only
    EXPECT_EQ(dialogs.messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(fresh.SaveBackup(), detector.SaveBackup());
    EXPECT_EQ(fresh.FinishUploadCount(), 1);
    ExpectWindowUntouched();
}

}  // namespace
}  // namespace holvane
