// The actions of the Settings page against a virtual detector and real files: what goes over
// the wire, what the window shows and holds afterwards, and every message with its exact text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "Fileio.h"
#include "Mainformunit.h"
#include "Messages.h"
#include "PatternPicture.h"
#include "Vantor.h"
#include "WindowOnDetector.h"

namespace holvane {
namespace {

using testing::AskedMessage;
using Bytes = std::vector<std::uint8_t>;

constexpr MessageKind Error = MessageKind::Error;
constexpr MessageKind Warning = MessageKind::Warning;
constexpr const char* CouldNotUploadPreferences =
    "Could not upload the preferences.\r\nCheck the connection and try again.";

// Positions of the action list and of the slot lists.
enum { Download = 0, Upload = 1, Save = 2, Open = 3 };
constexpr int CurrentModePosition = 0;
constexpr int MyMode1Position = 1;
constexpr int MyMode2Position = 2;

Wire Read(int id) {
    return {id, false, 0};
}
Wire Write(int id, std::size_t size) {
    return {id, true, size};
}
const Wire Finish = Write(55, 0);

class SettingsActionsTest : public testing::WindowOnDetector {
protected:
    // The user picks an item of a list.
    static void Choose(QComboBox* box, int position) {
        box->setCurrentIndex(position);
        emit box->activated(position);
    }

    void DownloadMode(int position) {
        Choose(form.Controls().ModeActionsComboBox, Download);
        Choose(form.Controls().DownloadModeComboBox, position);
        form.Controls().ModeActionBtn->click();
    }
    void UploadMode(int position, MessageAnswer answer = MessageAnswer::Ok) {
        dialogs.messageAnswers.push_back(answer);
        Choose(form.Controls().ModeActionsComboBox, Upload);
        Choose(form.Controls().UploadModeComboBox, position);
        form.Controls().ModeActionBtn->click();
        dialogs.messageAnswers.clear();
    }
    void ModeFile(int action, const std::optional<std::string>& name) {
        dialogs.fileAnswers.push_back(name);
        Choose(form.Controls().ModeActionsComboBox, action);
        form.Controls().ModeActionBtn->click();
    }
    void Press(QPushButton* button, const std::optional<std::string>& name = std::nullopt) {
        dialogs.fileAnswers.push_back(name);
        button->click();
        dialogs.fileAnswers.clear();
    }

    // The mode picture's drawing of a pattern (or none) on a fresh picture.
    QImage DrawnForMode(const PatternRecord* pattern) const {
        PatternImage picture(PatternPictureWidth, PatternPictureHeight);
        picture.setFont(form.Controls().ModePatternImage->font());  // the empty state writes a text
        holvane::DrawPattern(
            picture, pattern ? std::optional<PatternView>(*pattern) : std::optional<PatternView>());
        return picture.Bitmap();
    }
    PatternRecord PatternOfMode(const ModeRecord& mode) const {
        PatternRecord pattern;
        std::ranges::copy(PatternOf(mode), pattern.begin());
        return pattern;
    }
    RowTexts ModeTexts(const ModeRecord& mode) const {
        return RecordTexts(ModeSettingsRows, ModeSettingsOf(mode));
    }
};

// A detector's mode as the grid builds it back for a slot: reserved bytes zero, the slot and the
// built marker set.
ModeRecord BuiltFor(ModeRecord mode, int slot) {
    std::fill_n(mode.begin(), 10, 0);
    mode[18] = 0;
    mode[20] = 0;
    mode[24] = static_cast<std::uint8_t>(slot);
    mode[25] = 1;
    return mode;
}

Bytes FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void PutFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A file whose checksum still matches after its magic number was changed.
void BreakMagicKeepChecksum(const std::string& path, std::size_t checksummed,
                            std::size_t checksumAt) {
    Bytes bytes = FileBytes(path);
    bytes[0] ^= 0x40;
    const auto sum = static_cast<std::uint32_t>(
        FileChecksum(std::span<const std::uint8_t>(bytes.data(), checksummed)));
    for (int i = 0; i < 4; ++i) {
        bytes[checksumAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sum >> (8 * i));
    }
    PutFileBytes(path, bytes);
}

// --- Choosing an action ---

TEST_F(SettingsActionsTest, EachActionSetsUpTheButtonTheListsAndTheLabels) {
    struct Case {
        int action;
        const char* caption;
        const char* hint;
        int top;
        // What is on show besides the list of actions.
        bool button = false;
        bool downloadList = false;
        bool uploadList = false;
        bool downloadLabel = false;
        bool uploadLabel = false;
    };
    const Case cases[] = {
        {.action = Download,
         .caption = "Download",
         .hint = "Download the Selected Mode from Vantor",
         .top = 219,
         .downloadList = true,
         .downloadLabel = true},
        {.action = Upload,
         .caption = "Upload",
         .hint = "Upload the Mode to the Selected Slot in Vantor",
         .top = 219,
         .uploadList = true,
         .uploadLabel = true},
        {.action = Save,
         .caption = "Save...",
         .hint = "Save Mode Settings and Pattern in a File",
         .top = 150,
         .button = true},
        {.action = Open,
         .caption = "Open...",
         .hint = "Open a File with Mode Settings",
         .top = 150,
         .button = true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        Choose(form.Controls().ModeActionsComboBox, c.action);
        EXPECT_EQ(form.Controls().ModeActionBtn->text(), c.caption);
        EXPECT_EQ(form.Controls().ModeActionBtn->toolTip(), c.hint);
        EXPECT_EQ(form.Controls().ModeActionBtn->y(), c.top);
        EXPECT_EQ(!form.Controls().ModeActionBtn->isHidden(), c.button);
        EXPECT_EQ(!form.Controls().DownloadModeComboBox->isHidden(), c.downloadList);
        EXPECT_EQ(!form.Controls().UploadModeComboBox->isHidden(), c.uploadList);
        EXPECT_EQ(!form.Controls().DownloadModeLabel->isHidden(), c.downloadLabel);
        EXPECT_EQ(!form.Controls().UploadModeLabel->isHidden(), c.uploadLabel);
    }
    // The upload list and its label take the places of the download list and its label.
    Choose(form.Controls().ModeActionsComboBox, Upload);
    EXPECT_EQ(form.Controls().UploadModeComboBox->y(), form.Controls().DownloadModeComboBox->y());
    EXPECT_EQ(form.Controls().UploadModeLabel->y(), form.Controls().DownloadModeLabel->y());
    // The file actions set up their dialog when chosen.
    EXPECT_EQ(form.SaveDlg.filter, "Vantor mode files (*.mode)|*.mode");
    EXPECT_EQ(form.SaveDlg.title, "Save Mode");
    EXPECT_EQ(form.OpenDlg.filter, "Vantor mode files (*.mode)|*.mode");
    EXPECT_EQ(form.OpenDlg.title, "Open Mode");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SettingsActionsTest, PickingASlotShowsTheButtonAndAnotherActionHidesItAndClearsTheLists) {
    Choose(form.Controls().ModeActionsComboBox, Download);
    Choose(form.Controls().DownloadModeComboBox, 3);
    EXPECT_FALSE(form.Controls().ModeActionBtn->isHidden());

    Choose(form.Controls().ModeActionsComboBox, Upload);
    EXPECT_TRUE(form.Controls().ModeActionBtn->isHidden());
    EXPECT_EQ(form.Controls().DownloadModeComboBox->currentIndex(), -1);
    Choose(form.Controls().UploadModeComboBox, 2);
    EXPECT_FALSE(form.Controls().ModeActionBtn->isHidden());

    Choose(form.Controls().ModeActionsComboBox, Download);
    EXPECT_TRUE(form.Controls().ModeActionBtn->isHidden());
    EXPECT_EQ(form.Controls().DownloadModeComboBox->currentIndex(), -1);
    EXPECT_EQ(form.Controls().UploadModeComboBox->currentIndex(), -1);
    EXPECT_TRUE(detector.Requests().empty());
}

TEST_F(SettingsActionsTest, PressingWithoutASlotAsksForOneAndSendsNothing) {
    Choose(form.Controls().ModeActionsComboBox, Download);
    form.Controls().ModeActionBtn->click();
    Choose(form.Controls().ModeActionsComboBox, Upload);
    form.Controls().ModeActionBtn->click();
    EXPECT_EQ(dialogs.messages,
              (std::vector<AskedMessage>{{Error, "Select a mode to download."},
                                         {Error, "Select a slot to upload the Mode into."}}));
    EXPECT_TRUE(detector.Requests().empty());
}

// --- Mode download ---

TEST_F(SettingsActionsTest, DownloadReadsTheSlotOfTheChosenPosition) {
    const struct {
        int position;
        int slot;
    } cases[] = {{0, 8}, {1, 4}, {4, 7}, {5, 0}, {7, 2}, {8, 3}};  // 7: "Korvane Beach"
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        detector.ClearLog();
        DownloadMode(c.position);
        EXPECT_EQ(WireLog(), std::vector<Wire>{Read(c.slot + 2)});
        const ModeRecord mode = detector.Mode(c.slot);
        EXPECT_EQ(form.CurrentMode, mode);
        EXPECT_EQ(form.Controls().ModeSettingsGrid->Texts(), ModeTexts(mode));
        const PatternRecord pattern = PatternOfMode(mode);
        EXPECT_EQ(form.Controls().ModePatternImage->Bitmap(), DrawnForMode(&pattern));
        EXPECT_TRUE(form.ModeHasPattern);
        EXPECT_TRUE(form.Controls().SaveModePattern->isEnabled());
    }
    EXPECT_EQ(form.Controls().DownloadModeComboBox->itemText(7), "Korvane Beach");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SettingsActionsTest, DownloadOfAnAbsentModeKeepsTheModeOnShow) {
    DownloadMode(MyMode1Position);
    const ModeRecord shown = form.CurrentMode;
    const QImage picture = form.Controls().ModePatternImage->Bitmap();
    detector.SetUserModePresent(5, false);

    DownloadMode(MyMode2Position);
    EXPECT_EQ(
        dialogs.messages,
        (std::vector<AskedMessage>{
            {Error, "Could not download the Mode.\r\nCheck if the Mode exists in the Vantor."}}));
    EXPECT_EQ(form.CurrentMode, shown);
    EXPECT_EQ(form.Controls().ModeSettingsGrid->Texts(), ModeTexts(shown));
    EXPECT_EQ(form.Controls().ModePatternImage->Bitmap(), picture);
    EXPECT_TRUE(form.ModeHasPattern);
}

// A read that fails after the first bytes of its reply arrived leaves them in the buffer: the
// window must not take them, or a later whole-mode upload or save would carry another mode's
// pattern bytes.
TEST_F(SettingsActionsTest, AFailedReadWithAPartialReplyChangesNothingThatIsSentLater) {
    DownloadMode(MyMode1Position);
    form.Controls().DownloadGlbBtn->click();
    const ModeRecord mode = form.CurrentMode;
    const UniversalSettingsRecord universal = form.UniversalSettings;

    Imports().DEV_GetParameter = [](TOVRA_DEV, int32_t, void* buffer, int32_t size,
                                    uint32_t) -> unsigned char {
        std::memset(buffer, 0xEE, static_cast<std::size_t>(size) / 2);
        return 0;
    };
    DownloadMode(MyMode2Position);
    form.Controls().DownloadGlbBtn->click();
    Imports() = LibraryImports();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(form.CurrentMode, mode);
    EXPECT_EQ(form.UniversalSettings, universal);

    detector.ClearLog();
    UploadMode(CurrentModePosition);
    form.Controls().UploadGlbBtn->click();
    const std::vector<Bytes> written = WrittenValues();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_TRUE(std::ranges::equal(std::span(written[0]).last(PatternSize), PatternOf(mode)));
    Bytes expected(universal.begin(), universal.end());
    expected[16] = 1;
    EXPECT_EQ(written[1], expected);
}

// --- Mode upload ---

TEST_F(SettingsActionsTest, UploadAfterStartUpSendsTheSettingsOnlyToTheSlot) {
    const ModeRecord before = detector.Mode(5);
    UploadMode(MyMode2Position);
    EXPECT_EQ(dialogs.messages,
              (std::vector<AskedMessage>{{Warning, messages::OverwriteModeQuestion}}));
    EXPECT_EQ(WireLog(), (std::vector<Wire>{Read(7), Write(17, 26), Finish}));
    Bytes expected(26, 0);
    const std::uint8_t defaults[] = {24, 0, 3, 0, 25, 30, 0, 0, 0, 0, 0, 0};
    std::ranges::copy(defaults, expected.begin() + 10);
    expected[24] = 5;  // the target slot
    expected[25] = 1;  // built from the grid
    EXPECT_EQ(WrittenValues(), std::vector<Bytes>{expected});
    // The slot keeps its pattern; the window holds the settings as sent.
    EXPECT_TRUE(std::ranges::equal(PatternOf(detector.Mode(5)), PatternOf(before)));
    EXPECT_TRUE(std::ranges::equal(ModeSettingsOf(form.CurrentMode), expected));
    EXPECT_EQ(detector.FinishUploadCount(), 1);
}

TEST_F(SettingsActionsTest, UploadToTheCurrentMode) {
    struct Case {
        const char* name;
        bool downloadFirst = false;  // the mode then holds a real pattern
        bool refuseRead = false;
        bool loseReadAnswer = false;  // bad checksum: the slot is not known to be empty
        std::vector<Wire> wire;
        bool asked = false;
    };
    const Case cases[] = {
        {.name = "settings only, slot answers",
         .wire = {Read(10), Write(20, 26), Finish},
         .asked = true},
        {.name = "settings only, slot refuses",
         .refuseRead = true,
         .wire = {Read(10), Write(20, 26), Finish}},
        {.name = "settings only, slot's answer lost",
         .loseReadAnswer = true,
         .wire = {Read(10), Write(20, 26), Finish},
         .asked = true},
        {.name = "whole mode",
         .downloadFirst = true,
         .wire = {Read(6), Read(10), Write(10, 292), Finish},
         .asked = true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ScriptedDialogs caseDialogs;
        TMainForm caseForm(caseDialogs);
        detector.ClearLog();
        detector.ClearFaults();
        if (c.downloadFirst) {
            Choose(caseForm.Controls().ModeActionsComboBox, Download);
            Choose(caseForm.Controls().DownloadModeComboBox, MyMode1Position);
            caseForm.Controls().ModeActionBtn->click();
        }
        detector.RefuseId(10, c.refuseRead);
        detector.CorruptId(10, c.loseReadAnswer);
        caseDialogs.messageAnswers.push_back(MessageAnswer::Ok);
        Choose(caseForm.Controls().ModeActionsComboBox, Upload);
        Choose(caseForm.Controls().UploadModeComboBox, CurrentModePosition);
        caseForm.Controls().ModeActionBtn->click();
        EXPECT_EQ(WireLog(), c.wire);
        EXPECT_EQ(caseDialogs.messages.size(), c.asked ? 1u : 0u);
        if (c.downloadFirst) {
            // My Mode 1 with its pattern, its settings built for the current mode.
            EXPECT_EQ(detector.Mode(8), BuiltFor(detector.Mode(4), 8));
        }
    }
}

TEST_F(SettingsActionsTest, CancelInTheQuestionSendsNothing) {
    const ModeRecord before = form.CurrentMode;
    UploadMode(MyMode2Position, MessageAnswer::Cancel);
    EXPECT_EQ(WireLog(), std::vector<Wire>{Read(7)});
    EXPECT_EQ(detector.FinishUploadCount(), 0);
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(form.CurrentMode, before);
}

TEST_F(SettingsActionsTest, AFailedModeWriteIsReportedAndStillFinished) {
    detector.RefuseId(17);
    UploadMode(MyMode2Position);
    EXPECT_EQ(WireLog(), (std::vector<Wire>{Read(7), Write(17, 26), Finish}));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(
        dialogs.messages[1],
        (AskedMessage{Error, "Could not upload the Mode.\r\nCheck the connection and try again."}));
}

TEST_F(SettingsActionsTest, LinkLostInTheMiddleOfAnUpload) {
    detector.LoseLinkAfter(1);  // the existence read is answered, the write is not
    UploadMode(MyMode2Position);
    EXPECT_EQ(WireLog(), (std::vector<Wire>{Read(7), Write(17, 26)}));
    EXPECT_EQ(detector.FinishUploadCount(), 0);
    EXPECT_EQ(dialogs.messages,
              (std::vector<AskedMessage>{
                  {Warning, messages::OverwriteModeQuestion},
                  {Error, "Could not upload the Mode.\r\nCheck the connection and try again."}}));
}

// --- Mode files ---

TEST_F(SettingsActionsTest, SavedModeWithItsPatternOpensAgain) {
    DownloadMode(4);  // My Mode 4
    const ModeRecord downloaded = detector.Mode(7);
    ModeFile(Save, File("spring.txt"));
    EXPECT_EQ(dialogs.fileDialogs.back().asked.title, "Save Mode");
    const std::string saved = File("spring.txt.mode");
    EXPECT_EQ(form.SaveDlg.fileName, saved);

    ModeRecord fromFile{};
    std::uint8_t flag = 0;
    ASSERT_EQ(ReadModeFile(saved, fromFile, flag), FileResult::Success);
    EXPECT_EQ(flag, 1);
    const ModeRecord expected = BuiltFor(downloaded, 8);
    EXPECT_EQ(fromFile, expected);

    // Another mode on show, then the file opened again.
    DownloadMode(CurrentModePosition);
    ModeFile(Open, saved);
    EXPECT_EQ(dialogs.fileDialogs.back().asked.title, "Open Mode");
    EXPECT_EQ(form.CurrentMode, expected);
    EXPECT_TRUE(form.ModeHasPattern);
    EXPECT_TRUE(form.Controls().SaveModePattern->isEnabled());
    const PatternRecord pattern = PatternOfMode(expected);
    EXPECT_EQ(form.Controls().ModePatternImage->Bitmap(), DrawnForMode(&pattern));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SettingsActionsTest, SettingsOnlyFileAfterADownloadDropsThePattern) {
    const std::string file = File("settings.mode");
    ModeRecord other = detector.Mode(6);
    ASSERT_EQ(WriteModeSettingsFile(file, other), FileResult::Success);
    DownloadMode(MyMode1Position);
    const ModeRecord downloaded = form.CurrentMode;

    ModeFile(Open, file);
    EXPECT_FALSE(form.ModeHasPattern);
    EXPECT_FALSE(form.Controls().SaveModePattern->isEnabled());
    EXPECT_EQ(form.Controls().ModePatternImage->Bitmap(), DrawnForMode(nullptr));
    EXPECT_EQ(form.Controls().ModeSettingsGrid->Texts(), ModeTexts(other));
    // The old pattern bytes stay but are not the mode's any more.
    EXPECT_TRUE(std::ranges::equal(PatternOf(form.CurrentMode), PatternOf(downloaded)));

    detector.ClearLog();
    UploadMode(MyMode1Position);
    EXPECT_EQ(WireLog(), (std::vector<Wire>{Read(6), Write(16, 26), Finish}));

    ModeFile(Save, File("again"));
    ModeRecord saved{};
    std::uint8_t flag = 1;
    ASSERT_EQ(ReadModeFile(File("again.mode"), saved, flag), FileResult::Success);
    EXPECT_EQ(flag, 0);
    EXPECT_TRUE(std::ranges::all_of(PatternOf(saved), [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(saved[24], 8);
    EXPECT_EQ(dialogs.messages.size(), 1u);  // only the overwrite question
}

TEST_F(SettingsActionsTest, TheModeFileDialogsKeepTheirSetUpWhenTheUniversalFilesUsedThem) {
    for (const int action : {Save, Open}) {
        Choose(form.Controls().ModeActionsComboBox, action);
        Press(form.Controls().SaveGlbBtn);  // cancelled
        Press(form.Controls().OpenGlbBtn);  // cancelled
        form.Controls().ModeActionBtn->click();
        EXPECT_EQ(dialogs.fileDialogs.back().asked.filter, "Vantor mode files (*.mode)|*.mode");
        EXPECT_EQ(dialogs.fileDialogs.back().asked.title,
                  action == Save ? "Save Mode" : "Open Mode");
    }
}

TEST_F(SettingsActionsTest, ModeFileFailuresLeaveTheModeAlone) {
    const std::string good = File("good.mode");
    ASSERT_EQ(WriteModeFile(good, detector.Mode(4)), FileResult::Success);
    const std::string badSum = File("sum.mode");
    Bytes bytes = FileBytes(good);
    bytes[10] ^= 1;
    PutFileBytes(badSum, bytes);
    const std::string badMagic = File("magic.mode");
    PutFileBytes(badMagic, FileBytes(good));
    BreakMagicKeepChecksum(badMagic, 297, 298);
    const std::string shortFile = File("short.mode");
    bytes = FileBytes(good);
    bytes.resize(100);
    PutFileBytes(shortFile, bytes);

    DownloadMode(CurrentModePosition);
    const ModeRecord shown = form.CurrentMode;
    struct Case {
        int action;
        std::string file;
        const char* message;
    };
    const Case cases[] = {
        {Open, File("missing.mode"), "Could not open the file.\r\n"},
        {Open, badSum, "The file has corrupted data.\r\n"},
        {Open, badMagic, "Could not read the file.\r\n"},
        {Open, shortFile, "The file has corrupted data.\r\n"},
        {Save, File("no/such/folder/x.mode"),
         "Could not create a file to save mode.\r\nTry again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        dialogs.messages.clear();
        ModeFile(c.action, c.file);
        EXPECT_EQ(dialogs.messages, (std::vector<AskedMessage>{{Error, c.message}}));
        if (c.action == Open) {
            EXPECT_EQ(form.CurrentMode, shown);
        }
        EXPECT_TRUE(form.ModeHasPattern);
    }
    // A cancelled dialog does nothing at all.
    dialogs.messages.clear();
    ModeFile(Open, std::nullopt);
    ModeFile(Save, std::nullopt);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);  // the four prepared files
}

// --- Universal settings and preferences ---

TEST_F(SettingsActionsTest, UniversalUploadAfterStartUpSendsTheFillBytes) {
    form.Controls().UploadGlbBtn->click();
    EXPECT_EQ(WireLog(), (std::vector<Wire>{Write(0, 18), Finish}));
    EXPECT_EQ(WrittenValues(),
              (std::vector<Bytes>{{0x00, 0x16, 0x00, 0x1E, 0x1E, 0x1E, 0x1E, 0x0F, 0x06, 0x00, 0x01,
                                   0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}}));
    EXPECT_FALSE(form.UniversalLoaded);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SettingsActionsTest, DownloadThenUploadGivesTheDetectorItsOwnHiddenBytes) {
    struct Case {
        const char* name;
        QPushButton* download;
        QPushButton* upload;
        int id;
        std::size_t builtMarker;
        std::function<Bytes()> detectorRecord;
        const bool* loaded;
    };
    const Case cases[] = {
        {"universal", form.Controls().DownloadGlbBtn, form.Controls().UploadGlbBtn, 0, 16,
         [&] {
             const auto r = detector.UniversalSettings();
             return Bytes(r.begin(), r.end());
         },
         &form.UniversalLoaded},
        {"preferences", form.Controls().DownloadPrefBtn, form.Controls().UploadPrefBtn, 1, 14,
         [&] {
             const auto r = detector.Preferences();
             return Bytes(r.begin(), r.end());
         },
         &form.PreferencesLoaded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        detector.ClearLog();
        Bytes expected = c.detectorRecord();
        c.download->click();
        EXPECT_TRUE(*c.loaded);
        c.upload->click();
        EXPECT_EQ(WireLog(), (std::vector<Wire>{Read(c.id), Write(c.id, expected.size()), Finish}));
        expected[c.builtMarker] = 1;
        EXPECT_EQ(WrittenValues(), std::vector<Bytes>{expected});
    }
    EXPECT_EQ(form.Controls().GlobalSettingsGrid->Texts(),
              RecordTexts(UniversalSettingsRows, detector.UniversalSettings()));
    EXPECT_EQ(form.Controls().PrefSettingsGrid->Texts(),
              RecordTexts(PreferencesRows, detector.Preferences()));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SettingsActionsTest, RefusedTransfersOfUniversalSettingsAndPreferences) {
    struct Case {
        QPushButton* button;
        int id;
        std::vector<Wire> wire;
        const char* message;
    };
    const Case cases[] = {
        {form.Controls().DownloadGlbBtn,
         0,
         {Read(0)},
         "Could not download universal settings.\r\n"},
        {form.Controls().DownloadPrefBtn, 1, {Read(1)}, "Could not download preferences.\r\n"},
        // The end-of-upload command follows a failed universal write, never a failed preferences
        // write.
        {form.Controls().UploadGlbBtn,
         0,
         {Write(0, 18), Finish},
         "Could not upload the universal settings.\r\nCheck the connection and try again."},
        {form.Controls().UploadPrefBtn, 1, {Write(1, 16)}, CouldNotUploadPreferences},
    };
    const RowTexts universalShown = form.Controls().GlobalSettingsGrid->Texts();
    const RowTexts preferencesShown = form.Controls().PrefSettingsGrid->Texts();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        detector.ClearLog();
        detector.ClearFaults();
        detector.RefuseId(static_cast<std::uint8_t>(c.id));
        dialogs.messages.clear();
        c.button->click();
        EXPECT_EQ(WireLog(), c.wire);
        EXPECT_EQ(dialogs.messages, (std::vector<AskedMessage>{{Error, c.message}}));
    }
    EXPECT_FALSE(form.UniversalLoaded);
    EXPECT_FALSE(form.PreferencesLoaded);
    EXPECT_EQ(form.Controls().GlobalSettingsGrid->Texts(), universalShown);
    EXPECT_EQ(form.Controls().PrefSettingsGrid->Texts(), preferencesShown);
}

TEST_F(SettingsActionsTest, WithoutADetectorEveryTransferSaysSo) {
    platform.SetPluggedIn(Path, false);
    const std::vector<std::function<void()>> actions = {
        [&] { DownloadMode(CurrentModePosition); },
        [&] { UploadMode(MyMode1Position); },
        [&] { form.Controls().DownloadGlbBtn->click(); },
        [&] { form.Controls().UploadGlbBtn->click(); },
        [&] { form.Controls().DownloadPrefBtn->click(); },
        [&] { form.Controls().UploadPrefBtn->click(); },
    };
    const ModeRecord mode = form.CurrentMode;
    for (std::size_t i = 0; i < actions.size(); ++i) {
        SCOPED_TRACE(i);
        dialogs.messages.clear();
        actions[i]();
        EXPECT_EQ(dialogs.messages,
                  (std::vector<AskedMessage>{{Error, messages::CouldNotConnect}}));
    }
    EXPECT_TRUE(detector.Requests().empty());
    EXPECT_EQ(form.CurrentMode, mode);
    EXPECT_FALSE(form.ModeHasPattern || form.UniversalLoaded || form.PreferencesLoaded);
}

TEST_F(SettingsActionsTest, UniversalSettingsFileSavedAndOpened) {
    Press(form.Controls().SaveGlbBtn, File("spring.txt"));
    EXPECT_EQ(dialogs.fileDialogs.back().asked.filter,
              "Files with Vantor universal settings (*.glb)|*.glb");
    EXPECT_EQ(dialogs.fileDialogs.back().asked.title, "Save Universal Settings");
    const std::string saved = File("spring.txt.glb");
    EXPECT_EQ(FileBytes(saved), (Bytes{0x33, 0x02, 0xAA, 0xDE, 0x00, 0x16, 0x00, 0x1E, 0x1E,
                                       0x1E, 0x1E, 0x0F, 0x06, 0x00, 0x01, 0x01, 0x00, 0x00,
                                       0x00, 0x00, 0x01, 0x00, 0x63, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(form.UniversalLoaded);

    UniversalSettingsRecord record = detector.UniversalSettings();
    const std::string file = File("detector.glb");
    ASSERT_EQ(WriteUniversalFile(file, record), FileResult::Success);
    Press(form.Controls().OpenGlbBtn, file);
    EXPECT_EQ(dialogs.fileDialogs.back().asked.title, "Open Universal Settings");
    EXPECT_EQ(form.UniversalSettings, record);
    EXPECT_TRUE(form.UniversalLoaded);
    EXPECT_EQ(form.Controls().GlobalSettingsGrid->Texts(),
              RecordTexts(UniversalSettingsRows, record));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SettingsActionsTest, UniversalSettingsFileFailuresLeaveTheRecordAlone) {
    const std::string good = File("good.glb");
    ASSERT_EQ(WriteUniversalFile(good, detector.UniversalSettings()), FileResult::Success);
    const std::string badMagic = File("magic.glb");
    PutFileBytes(badMagic, FileBytes(good));
    BreakMagicKeepChecksum(badMagic, 22, 22);
    const std::string badSum = File("sum.glb");
    Bytes bytes = FileBytes(good);
    bytes[7] ^= 4;
    PutFileBytes(badSum, bytes);

    const UniversalSettingsRecord before = form.UniversalSettings;
    struct Case {
        QPushButton* button;
        std::string file;
        const char* message;
    };
    const Case cases[] = {
        {form.Controls().OpenGlbBtn, File("missing.glb"), "Could not open the file.\r\n"},
        {form.Controls().OpenGlbBtn, badMagic, "The file has corrupted data.\r\n"},
        {form.Controls().OpenGlbBtn, badSum, "The file has corrupted data.\r\n"},
        {form.Controls().SaveGlbBtn, File("no/folder/x.glb"),
         "Could not create a file to save the settings.\r\nTry again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        dialogs.messages.clear();
        Press(c.button, c.file);
        EXPECT_EQ(dialogs.messages, (std::vector<AskedMessage>{{Error, c.message}}));
        EXPECT_FALSE(form.UniversalLoaded);
        if (c.button == form.Controls().OpenGlbBtn) {
            EXPECT_EQ(form.UniversalSettings, before);
        }
    }
    EXPECT_TRUE(detector.Requests().empty());
}

}  // namespace
}  // namespace holvane
