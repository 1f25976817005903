// The Patterns page through the scripted dialogs and the virtual detector: the action selector,
// Download All, opening a pattern for upload, the upload and the "Save Pattern..." items.
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <utility>

#include "Fileio.h"
#include "ParameterIds.h"
#include "WindowOnDetector.h"

namespace holvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint32_t Bit(int entry) {
    return std::uint32_t{1} << entry;
}

// The ids Download All reads when all four user modes exist.
const std::vector<int> DownloadAllReads = {40, 41, 42, 43, 44, 45, 46, 47,
                                           6,  36, 7,  37, 8,  38, 9,  39};

class PatternsPageTest : public testing::WindowOnDetector {
protected:
    void ChooseAction(int action) {
        form.Controls().PatternActionsComboBox->setCurrentIndex(action);
        form.PatternActionsComboBoxChange();
    }
    void ChooseSlot(int index) {
        form.Controls().UploadPatternComboBox->setCurrentIndex(index);
        form.UploadPatternComboBoxChange();
    }
    // Open through the page's button, answering the dialog with the file.
    void Open(const std::string& path) {
        dialogs.fileAnswers.push_back(path);
        form.OpenPatternBtnClick();
    }
    // The pattern of the detector shown in an entry of the page.
    PatternRecord DetectorPattern(int entry) const {
        return detector.Pattern(PatternSlots[static_cast<std::size_t>(entry)].slot);
    }
    void ExpectEntryShows(int entry, const PatternRecord& pattern) {
        SCOPED_TRACE(entry);
        EXPECT_EQ(form.PatternBuffers[static_cast<std::size_t>(entry)], pattern);
        EXPECT_TRUE(form.PatternsHeld & Bit(entry));
        EXPECT_TRUE(form.SavePatternItem(entry)->isEnabled());
        EXPECT_EQ(form.PatternPicture(entry).Bitmap(), Drawn(&pattern));
    }
    // Every detector pattern changed, so that a later download shows whether it read an entry.
    void ChangeDetectorPatterns(std::uint8_t seed) {
        for (int slot = FirstPatternSlot; slot <= LastPatternSlot; ++slot) {
            detector.SetPattern(slot, testing::SomePattern(static_cast<std::uint8_t>(seed + slot)));
        }
    }
};

TEST_F(PatternsPageTest, EachActionShowsItsFirstState) {
    struct Case {
        int action;
        // What the action shows; everything else of the page is hidden.
        bool downloadAll = false;
        bool step1 = false;
        bool openButton = false;
    };
    const Case cases[] = {{.action = 0, .downloadAll = true},
                          {.action = 1, .step1 = true, .openButton = true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        for (QWidget* w : std::initializer_list<QWidget*>{
                 form.Controls().DownloadAllBtn, form.Controls().UploadPatternStep1Label,
                 form.Controls().OpenPatternBtn, form.Controls().UploadPatternStep2Label,
                 form.Controls().ExchangeImage, form.Controls().UploadPatternComboBox,
                 form.Controls().UploadPatternBtn, form.Controls().PatternSaveLabel}) {
            w->setVisible(true);
        }
        form.Controls().UploadPatternComboBox->setCurrentIndex(3);
        ChooseAction(c.action);
        EXPECT_EQ(!form.Controls().DownloadAllBtn->isHidden(), c.downloadAll);
        EXPECT_EQ(!form.Controls().UploadPatternStep1Label->isHidden(), c.step1);
        EXPECT_EQ(!form.Controls().OpenPatternBtn->isHidden(), c.openButton);
        EXPECT_TRUE(form.Controls().UploadPatternStep2Label->isHidden());
        EXPECT_TRUE(form.Controls().ExchangeImage->isHidden());
        EXPECT_TRUE(form.Controls().UploadPatternComboBox->isHidden());
        EXPECT_TRUE(form.Controls().UploadPatternBtn->isHidden());
        EXPECT_TRUE(form.Controls().PatternSaveLabel->isHidden());
        EXPECT_EQ(form.Controls().UploadPatternComboBox->currentIndex(), c.action == 1 ? -1 : 3);
    }
    EXPECT_THAT(WireLog(), IsEmpty());
}

TEST_F(PatternsPageTest, ChoosingUploadAgainAfterAnOpenStartsOver) {
    const PatternRecord pattern = testing::SomePattern(5);
    ASSERT_EQ(WritePatternFile(File("p.ptrn"), pattern), FileResult::Success);
    ChooseAction(1);
    Open(File("p.ptrn"));
    ChooseSlot(2);
    EXPECT_FALSE(form.Controls().UploadPatternBtn->isHidden());

    ChooseAction(1);
    EXPECT_TRUE(form.Controls().ExchangeImage->isHidden());
    EXPECT_TRUE(form.Controls().UploadPatternComboBox->isHidden());
    EXPECT_EQ(form.Controls().UploadPatternComboBox->currentIndex(), -1);
    EXPECT_TRUE(form.Controls().UploadPatternBtn->isHidden());
    // The opened pattern stays held; only a new successful Open shows the slot list again.
    EXPECT_TRUE(form.PatternsHeld & Bit(ExchangeEntry));
    EXPECT_EQ(form.PatternBuffers[ExchangeEntry], pattern);
    Open(File("missing.ptrn"));
    EXPECT_TRUE(form.Controls().UploadPatternComboBox->isHidden());
    Open(File("p.ptrn"));
    EXPECT_FALSE(form.Controls().UploadPatternComboBox->isHidden());
    EXPECT_FALSE(form.Controls().ExchangeImage->isHidden());
    EXPECT_EQ(form.Controls().UploadPatternComboBox->currentIndex(), -1);
}

TEST_F(PatternsPageTest, DownloadAllWithMyMode2MissingAndMyMode3Present) {
    form.DownloadAllBtnClick();
    const PatternRecord myMode2Before = form.PatternBuffers[9];
    ChangeDetectorPatterns(100);
    detector.SetUserModePresent(5, false);
    detector.ClearLog();
    form.Controls().PatternSaveLabel->hide();
    const QImage exchangeBefore = form.Controls().ExchangeImage->Bitmap();

    form.DownloadAllBtnClick();

    EXPECT_THAT(Errors(), IsEmpty());
    for (int entry = 0; entry < ExchangeEntry; ++entry) {
        if (entry != 9) {
            ExpectEntryShows(entry, DetectorPattern(entry));
        }
    }
    EXPECT_FALSE(form.PatternsHeld & Bit(9));
    EXPECT_FALSE(form.SavePatternItem(9)->isEnabled());
    EXPECT_EQ(form.PatternPicture(9).Bitmap(), Drawn(nullptr));
    EXPECT_EQ(form.PatternBuffers[9], myMode2Before);
    // The exchange entry is not the detector's.
    EXPECT_FALSE(form.PatternsHeld & Bit(ExchangeEntry));
    EXPECT_EQ(form.Controls().ExchangeImage->Bitmap(), exchangeBefore);
    EXPECT_FALSE(form.Controls().PatternSaveLabel->isHidden());
    EXPECT_THAT(ReadIds(), ElementsAre(40, 41, 42, 43, 44, 45, 46, 47, 6, 36, 7, 8, 38, 9, 39));
    EXPECT_THAT(WrittenIds(), IsEmpty());
}

// A failed Download All updates the entries before the failure and leaves the rest as they were.
TEST_F(PatternsPageTest, DownloadAllFailures) {
    struct Case {
        const char* what;
        int refusedSlot;  // -1: the detector is unplugged
        const char* message;
        int updated;  // entries 0..updated-1 show the new patterns
    };
    const Case cases[] = {
        {"no detector", -1,
         "Could not connect to the Vantor.\r\nCheck the connection and try again.", 0},
        {"My Pattern 3", 22, "Could not read 'My Pattern 3'.\r\nTry again.", 4},
        {"My Mode 1 pattern", 14, "Could not read 'My Mode 1' pattern.\r\nTry again.", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        detector.ClearFaults();
        platform.SetPluggedIn(Path, true);
        ChangeDetectorPatterns(1);
        form.DownloadAllBtnClick();
        const std::array<PatternRecord, PatternEntryCount> before = form.PatternBuffers;
        std::vector<QImage> picturesBefore;
        for (int entry = 0; entry < ExchangeEntry; ++entry) {
            picturesBefore.push_back(form.PatternPicture(entry).Bitmap());
        }
        ChangeDetectorPatterns(50);
        form.Controls().PatternSaveLabel->hide();
        dialogs.messages.clear();
        if (c.refusedSlot < 0) {
            platform.SetPluggedIn(Path, false);
        } else {
            detector.RefuseId(static_cast<std::uint8_t>(PatternId(c.refusedSlot)));
        }

        form.DownloadAllBtnClick();

        EXPECT_THAT(Errors(), ElementsAre(c.message));
        EXPECT_TRUE(form.Controls().PatternSaveLabel->isHidden());
        for (int entry = 0; entry < ExchangeEntry; ++entry) {
            if (entry < c.updated) {
                ExpectEntryShows(entry, DetectorPattern(entry));
            } else {
                SCOPED_TRACE(entry);
                EXPECT_EQ(form.PatternBuffers[static_cast<std::size_t>(entry)],
                          before[static_cast<std::size_t>(entry)]);
                EXPECT_EQ(form.PatternPicture(entry).Bitmap(),
                          picturesBefore[static_cast<std::size_t>(entry)]);
                EXPECT_TRUE(form.PatternsHeld & Bit(entry));
                EXPECT_TRUE(form.SavePatternItem(entry)->isEnabled());
            }
        }
        EXPECT_EQ(DeviceHandle(), nullptr);
    }
}

// The extension picks the reader ("ptrn" is looked for first); the file's content is the same
// pattern either way, so a wrong branch shows as a read failure.
TEST_F(PatternsPageTest, OpenChoosesTheFileKindByExtension) {
    const PatternRecord pattern = testing::SomePattern(9);
    ModeRecord mode{};
    std::copy(pattern.begin(), pattern.end(), PatternOf(mode).begin());
    mode[3] = 17;
    enum class Content { Pattern, Mode };
    struct Case {
        const char* name;
        Content content;
        bool opens;
    };
    const Case cases[] = {
        {"x.PTRN", Content::Pattern, true},      {"x.myptrn", Content::Pattern, true},
        {"x.Mode", Content::Mode, true},         {"x.modeptrn", Content::Pattern, true},
        {"x.ptrn.bak", Content::Pattern, false}, {"x", Content::Pattern, false},
        {"ptrn.d/x", Content::Pattern, false},
    };
    ASSERT_TRUE(QDir(dir.path()).mkdir("ptrn.d"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = File(c.name);
        ASSERT_EQ(c.content == Content::Pattern ? WritePatternFile(path, pattern)
                                                : WriteModeFile(path, mode),
                  FileResult::Success);
        testing::ScriptedDialogs d;
        TMainForm f{d};
        f.Controls().PatternActionsComboBox->setCurrentIndex(1);
        f.PatternActionsComboBoxChange();
        d.fileAnswers.push_back(path);
        f.OpenPatternBtnClick();

        ASSERT_EQ(d.fileDialogs.size(), 1u);
        EXPECT_FALSE(d.fileDialogs[0].save);
        EXPECT_EQ(d.fileDialogs[0].asked.filter,
                  "Vantor pattern files (*.ptrn)|*.ptrn|Vantor mode files (*.mode)|*.mode");
        EXPECT_EQ(d.fileDialogs[0].asked.title, "Open Pattern");
        if (c.opens) {
            EXPECT_TRUE(d.messages.empty());
            EXPECT_EQ(f.PatternBuffers[ExchangeEntry], pattern);
            EXPECT_TRUE(f.PatternsHeld & Bit(ExchangeEntry));
            EXPECT_TRUE(f.Controls().SaveExchangeMenuItem->isEnabled());
            EXPECT_FALSE(f.Controls().ExchangeImage->isHidden());
            EXPECT_EQ(f.Controls().ExchangeImage->Bitmap(), DrawnSmall(&pattern));
            EXPECT_FALSE(f.Controls().UploadPatternStep2Label->isHidden());
            EXPECT_FALSE(f.Controls().UploadPatternComboBox->isHidden());
        } else {
            ASSERT_EQ(d.messages.size(), 1u);
            EXPECT_EQ(d.messages[0].text, "Invalid file is selected.");
            EXPECT_EQ(f.PatternsHeld, 0u);
            EXPECT_FALSE(f.Controls().SaveExchangeMenuItem->isEnabled());
            EXPECT_TRUE(f.Controls().ExchangeImage->isHidden());
            EXPECT_TRUE(f.Controls().UploadPatternComboBox->isHidden());
        }
    }
}

// After a successful Open a failed one clears the picture but keeps the opened pattern, which an
// upload then still sends.
TEST_F(PatternsPageTest, FailedOpenKeepsTheOpenedPattern) {
    const PatternRecord opened = testing::SomePattern(21);
    ASSERT_EQ(WritePatternFile(File("good.ptrn"), opened), FileResult::Success);
    ASSERT_EQ(WritePatternFile(File("bad.ptrn"), testing::SomePattern(22)), FileResult::Success);
    {
        QFile bad(QString::fromStdString(File("bad.ptrn")));
        ASSERT_TRUE(bad.open(QIODevice::ReadWrite));
        bad.seek(100);
        const char byte = 0x55;
        bad.write(&byte, 1);
    }
    ModeRecord settingsOnly{};
    settingsOnly[10] = 12;
    ASSERT_EQ(WriteModeSettingsFile(File("settings.mode"), settingsOnly), FileResult::Success);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ptrn"));
    ASSERT_EQ(::mkfifo(File("pipe.ptrn").c_str(), 0644), 0);  // refused, never waited on

    struct Case {
        const char* name;
        const char* message;
        bool saveItemEnabled;
    };
    const Case cases[] = {
        {"gone.ptrn", "Could not open the file.\r\n", false},
        {"bad.ptrn", "The file has corrupted data.\r\n", false},
        {"folder.ptrn", "Could not open the file.\r\n", false},
        {"pipe.ptrn", "Could not open the file.\r\n", false},
        {"settings.mode", "The specified file does not contain a pattern.\r\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        detector.ClearLog();
        dialogs.messages.clear();
        ChooseAction(1);
        Open(File("good.ptrn"));
        ChooseSlot(4);  // My Pattern 3

        Open(File(c.name));

        EXPECT_THAT(Errors(), ElementsAre(c.message));
        EXPECT_EQ(form.Controls().SaveExchangeMenuItem->isEnabled(), c.saveItemEnabled);
        EXPECT_FALSE(form.Controls().ExchangeImage->isHidden());
        EXPECT_EQ(form.Controls().ExchangeImage->Bitmap(), DrawnSmall(nullptr));
        EXPECT_EQ(form.PatternBuffers[ExchangeEntry], opened);
        EXPECT_TRUE(form.PatternsHeld & Bit(ExchangeEntry));
        EXPECT_FALSE(form.Controls().UploadPatternComboBox->isHidden());
        EXPECT_FALSE(form.Controls().UploadPatternBtn->isHidden());
        EXPECT_THAT(WireLog(), IsEmpty());

        detector.SetPattern(22, PatternRecord{});
        form.UploadPatternBtnClick();
        EXPECT_EQ(detector.Pattern(22), opened);
    }
}

// A successful upload writes the slot, sends the end-of-upload command and refreshes every
// detector picture with a Download All of its own.
TEST_F(PatternsPageTest, UploadWritesTheSlotThenDownloadsAll) {
    struct Case {
        int index;
        int slot;
        std::vector<int> before;  // reads made before the write
    };
    const Case cases[] = {{0, 18, {}}, {3, 21, {}}, {8, 14, {6}}, {11, 17, {9}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        const PatternRecord pattern = testing::SomePattern(static_cast<std::uint8_t>(c.index));
        const std::string name = File("up" + std::to_string(c.index) + ".ptrn");
        ASSERT_EQ(WritePatternFile(name, pattern), FileResult::Success);
        ChooseAction(1);
        Open(name);
        ChooseSlot(c.index);
        form.Controls().PatternSaveLabel->show();
        detector.ClearLog();

        form.UploadPatternBtnClick();

        EXPECT_THAT(Errors(), IsEmpty());
        EXPECT_EQ(detector.Pattern(c.slot), pattern);
        EXPECT_EQ(detector.FinishUploadCount(), 1);
        // (id, written) in the order the detector received them.
        std::vector<std::pair<int, bool>> expected;
        for (int id : c.before) {
            expected.emplace_back(id, false);
        }
        expected.emplace_back(PatternId(c.slot), true);
        expected.emplace_back(55, true);
        for (int id : DownloadAllReads) {
            expected.emplace_back(id, false);
        }
        std::vector<std::pair<int, bool>> got;
        for (const Wire& w : WireLog()) {
            got.emplace_back(w.id, w.write);
        }
        EXPECT_EQ(got, expected);
        ExpectEntryShows(PatternEntryOfSlot(c.slot), pattern);
        EXPECT_TRUE(form.Controls().PatternSaveLabel->isHidden());
        EXPECT_FALSE(form.Controls().UploadPatternBtn->isHidden());
    }
}

TEST_F(PatternsPageTest, UploadFailures) {
    struct Case {
        const char* what;
        int index;
        std::vector<std::string> messages;
        std::vector<int> reads;
        std::vector<int> writes;
        std::uint32_t heldAfter;  // the bits held once the upload has ended
    };
    // The mode check of My Mode 4, then the Download All that stops at its pattern.
    std::vector<int> myMode4ThenRefresh = {9};
    myMode4ThenRefresh.insert(myMode4ThenRefresh.end(), DownloadAllReads.begin(),
                              DownloadAllReads.end());
    const Case cases[] = {
        {"no slot chosen", -1, {"Select a slot to upload the pattern into."}, {}, {}, Bit(12)},
        {"My Mode 3 missing",
         10,
         {"Cannot upload the pattern as User Mode 3 does not exist.\r\n"},
         {8},
         {},
         Bit(12)},
        {"write refused",
         11,
         {"Could not upload the pattern.\r\nCheck the connection and try again.",
          "Could not read 'My Mode 4' pattern.\r\nTry again."},
         myMode4ThenRefresh,
         {39},
         0x7FF | Bit(12)},
        {"no detector",
         0,
         {"Could not connect to the Vantor.\r\nCheck the connection and try again."},
         {},
         {},
         Bit(12)},
    };
    ASSERT_EQ(WritePatternFile(File("p.ptrn"), testing::SomePattern(3)), FileResult::Success);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::ScriptedDialogs d;
        TMainForm f{d};
        f.show();
        d.fileAnswers.push_back(File("p.ptrn"));
        f.Controls().PatternActionsComboBox->setCurrentIndex(1);
        f.PatternActionsComboBoxChange();
        f.OpenPatternBtnClick();
        if (c.index >= 0) {
            f.Controls().UploadPatternComboBox->setCurrentIndex(c.index);
            f.UploadPatternComboBoxChange();
        }
        detector.ClearFaults();
        detector.ClearLog();
        platform.SetPluggedIn(Path, true);
        detector.SetUserModePresent(6, c.index != 10);
        if (c.index == 11) {
            detector.RefuseId(static_cast<std::uint8_t>(PatternId(17)));
        }
        if (c.messages[0].starts_with("Could not connect")) {
            platform.SetPluggedIn(Path, false);
        }
        const PatternRecord slotBefore = detector.Pattern(
            c.index < 0 ? 18 : PatternSlots[static_cast<std::size_t>(c.index)].slot);

        f.UploadPatternBtnClick();

        std::vector<std::string> shown;
        for (const auto& m : d.messages) {
            EXPECT_EQ(m.kind, MessageKind::Error);
            shown.push_back(m.text);
        }
        EXPECT_EQ(shown, c.messages);
        EXPECT_EQ(ReadIds(), c.reads);
        EXPECT_EQ(WrittenIds(), c.writes);
        EXPECT_EQ(detector.FinishUploadCount(), 0);
        EXPECT_EQ(detector.Pattern(
                      c.index < 0 ? 18 : PatternSlots[static_cast<std::size_t>(c.index)].slot),
                  slotBefore);
        EXPECT_EQ(f.PatternsHeld, c.heldAfter);
        if (c.index < 0) {
            EXPECT_EQ(f.focusWidget(), f.Controls().UploadPatternComboBox);
        }
        f.hide();
    }
}

// The upload controls appear only after an Open; should the handler still run without an opened
// pattern, it sends nothing rather than blanking the slot with an empty buffer.
TEST_F(PatternsPageTest, UploadWithoutAnOpenedPatternSendsNothing) {
    form.Controls().UploadPatternComboBox->setCurrentIndex(2);
    form.UploadPatternBtnClick();
    EXPECT_EQ(platform.OpenCount(Path), 0);
    EXPECT_THAT(Errors(), IsEmpty());
}

TEST_F(PatternsPageTest, SaveAppendsTheExtensionWhereItIsMissing) {
    form.DownloadAllBtnClick();
    struct Case {
        const char* chosen;
        const char* saved;
    };
    const Case cases[] = {{"a", "a.ptrn"}, {"a.Ptrn", "a.Ptrn"}, {"a.txt", "a.txt.ptrn"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        dialogs.fileDialogs.clear();
        dialogs.fileAnswers.push_back(File(c.chosen));
        form.Controls().SaveSvMenuItem->trigger();
        ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
        EXPECT_TRUE(dialogs.fileDialogs[0].save);
        EXPECT_EQ(dialogs.fileDialogs[0].asked.filter, "Vantor pattern files (*.ptrn)|*.ptrn");
        EXPECT_EQ(dialogs.fileDialogs[0].asked.title, "Save Pattern");
        EXPECT_EQ(form.SaveDlg.fileName, File(c.saved));
        PatternRecord saved{};
        EXPECT_EQ(ReadPatternFile(File(c.saved), saved), FileResult::Success);
        EXPECT_EQ(saved, form.PatternBuffers[SvEntry]);
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(File("a"))));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(File("a.txt"))));
    // The dialog offers the name saved last.
    form.Controls().SaveSvMenuItem->trigger();
    EXPECT_EQ(dialogs.fileDialogs.back().asked.fileName, File("a.txt.ptrn"));
    EXPECT_THAT(Errors(), IsEmpty());

    dialogs.fileAnswers.push_back(File("no/such/folder/p"));
    form.Controls().SaveSvMenuItem->trigger();
    EXPECT_THAT(Errors(), ElementsAre("Could not create a file to save pattern.\r\nTry again."));
}

// Every "Save Pattern..." item saves its own entry, and only while the entry is held; the mode
// pattern picture's item saves the current mode's pattern and checks no bit.
TEST_F(PatternsPageTest, EachSaveItemSavesItsOwnEntry) {
    for (int entry = 0; entry < PatternEntryCount; ++entry) {
        SCOPED_TRACE(entry);
        form.SavePatternItem(entry)->setEnabled(true);  // reached even though nothing is held
        form.SavePatternItem(entry)->trigger();
    }
    EXPECT_TRUE(dialogs.fileDialogs.empty());

    for (int entry = 0; entry < PatternEntryCount; ++entry) {
        form.PatternBuffers[static_cast<std::size_t>(entry)] =
            testing::SomePattern(static_cast<std::uint8_t>(entry));
    }
    form.PatternsHeld = 0x1FFF;
    for (int entry = 0; entry < PatternEntryCount; ++entry) {
        SCOPED_TRACE(entry);
        const std::string name = File("e" + std::to_string(entry) + ".ptrn");
        dialogs.fileAnswers.push_back(name);
        form.SavePatternItem(entry)->trigger();
        PatternRecord saved{};
        ASSERT_EQ(ReadPatternFile(name, saved), FileResult::Success);
        EXPECT_EQ(saved, form.PatternBuffers[static_cast<std::size_t>(entry)]);
    }

    form.PatternsHeld = 0;
    const PatternRecord modePattern = testing::SomePattern(99);
    std::copy(modePattern.begin(), modePattern.end(), PatternOf(form.CurrentMode).begin());
    dialogs.fileAnswers.push_back(File("mode"));
    form.Controls().SaveModePattern->setEnabled(true);
    form.Controls().SaveModePattern->trigger();
    PatternRecord saved{};
    ASSERT_EQ(ReadPatternFile(File("mode.ptrn"), saved), FileResult::Success);
    EXPECT_EQ(saved, modePattern);
    EXPECT_THAT(Errors(), IsEmpty());
    EXPECT_THAT(WireLog(), IsEmpty());
}

}  // namespace
}  // namespace holvane
