// The comparison of records, the reads of a write's target and the safety copy.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "DetectorFixture.h"
#include "Fileio.h"
#include "ParameterIds.h"
#include "PatternGrid.h"
#include "RecordDiff.h"
#include "Vantor.h"
#include "WriteChecks.h"

using namespace holvane;
using holvane::simulator::VirtualDetector;
using ::testing::ElementsAre;
using Type = Difference::Type;

namespace {

BackupPayload DefaultPayload() {
    VirtualDetector detector;
    return detector.SaveBackup();
}

// What a case expects of its one difference.
struct Expected {
    Type type;
    std::string section{};
    std::string caption{};  // Setting
    std::string oldText{};
    std::string newText{};
    std::size_t offset = 0;  // Setting, Bits
    std::uint8_t mask = 0xFF;
    int cells = 0;  // Cells
    std::vector<int> rows{};
    bool oldPresent = true;  // Presence
    bool newPresent = true;
};

void ExpectOne(const std::vector<Difference>& list, const Expected& e) {
    ASSERT_EQ(list.size(), 1u);
    const Difference& d = list[0];
    EXPECT_EQ(d.type, e.type);
    EXPECT_EQ(d.section, e.section);
    switch (e.type) {
        case Type::Setting:
            EXPECT_EQ(d.caption, e.caption);
            EXPECT_EQ(d.oldText, e.oldText);
            EXPECT_EQ(d.newText, e.newText);
            EXPECT_EQ(d.offset, e.offset);
            break;
        case Type::Cells:
            EXPECT_EQ(d.cells, e.cells);
            EXPECT_EQ(d.rows, e.rows);
            break;
        case Type::Bits:
            EXPECT_EQ(d.offset, e.offset);
            EXPECT_EQ(d.mask, e.mask);
            break;
        case Type::Presence:
            EXPECT_EQ(d.oldPresent, e.oldPresent);
            EXPECT_EQ(d.newPresent, e.newPresent);
            break;
    }
}

void FlipCell(std::uint8_t* pattern, int row, int column) {
    pattern[PatternCellByte(row, column)] ^= PatternCellMask(row);
}

}  // namespace

TEST(RecordDiffTest, ABackupTellsEachChangeByWhatShowsIt) {
    constexpr std::size_t Universal = backup::UniversalSettings;
    struct Case {
        const char* name;
        std::function<void(BackupPayload&)> change;
        std::optional<Expected> expected;  // none: identical
    };
    const std::vector<Case> cases = {
        {"nothing", [](BackupPayload&) {}, std::nullopt},
        {"a list setting",
         [](BackupPayload& p) { p[Universal + universalsettings::SensitivityAutoLevel] = 0; },
         Expected{.type = Type::Setting,
                  .section = "Universal settings",
                  .caption = "Sensitivity Auto Level",
                  .oldText = "-2",
                  .newText = "A",
                  .offset = Universal + universalsettings::SensitivityAutoLevel}},
        {"a setting of a user mode",
         [](BackupPayload& p) { p[backup::UserMode(2) + modesettings::AudioVolumeGain] = 7; },
         Expected{.type = Type::Setting,
                  .section = "My Mode 3",
                  .caption = "Audio Volume Gain",
                  .oldText = "24",
                  .newText = "7",
                  .offset = backup::UserMode(2) + modesettings::AudioVolumeGain}},
        {"a byte no list item stands for",
         [](BackupPayload& p) { p[backup::Preferences + preferences::DisplayTimeout] = 9; },
         Expected{.type = Type::Setting,
                  .section = "Preferences",
                  .caption = "Display Timeout",
                  .oldText = "Off",
                  .newText = "Off (byte 9, which no item stands for)",
                  .offset = backup::Preferences + preferences::DisplayTimeout}},
        {"one cell", [](BackupPayload& p) { FlipCell(p.data() + backup::MyPattern(5), 34, 49); },
         Expected{.type = Type::Cells, .section = "My Pattern 6", .cells = 1, .rows = {34}}},
        {"cells of the current mode's pattern",
         [](BackupPayload& p) {
             FlipCell(p.data() + ModePatternOffset, 0, 0);
             FlipCell(p.data() + ModePatternOffset, 0, 7);
             FlipCell(p.data() + ModePatternOffset, 15, 3);
         },
         Expected{.type = Type::Cells, .section = "Current mode", .cells = 3, .rows = {0, 15}}},
        {"a bit above the cells",
         [](BackupPayload& p) { p[backup::Swiftveil + PatternCellByte(34, 0)] ^= 0x08; },
         Expected{.type = Type::Bits,
                  .section = "Swiftveil pattern",
                  .offset = backup::Swiftveil + PatternCellByte(34, 0),
                  .mask = 0xF8}},
        {"a pattern's header",
         [](BackupPayload& p) { p[backup::UserMode(0) + ModePatternOffset] ^= 0x40; },
         Expected{.type = Type::Bits,
                  .section = "My Mode 1",
                  .offset = backup::UserMode(0) + ModePatternOffset}},
        {"a reserved byte of the universal settings",
         [](BackupPayload& p) { p[Universal + 13] ^= 1; },
         Expected{.type = Type::Bits, .section = "Universal settings", .offset = Universal + 13}},
        {"a present byte that still says present",
         [](BackupPayload& p) { p[backup::UserModePresent(3)] = 5; },
         Expected{
             .type = Type::Bits, .section = "My Mode 4", .offset = backup::UserModePresent(3)}},
        {"a user mode absent on one side",
         [](BackupPayload& p) {
             p[backup::UserModePresent(1)] = 0;
             p[backup::UserMode(1) + 3] ^= 0xFF;  // its bytes mean nothing now
         },
         Expected{.type = Type::Presence, .section = "My Mode 2", .newPresent = false}},
    };
    const BackupPayload before = DefaultPayload();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BackupPayload after = before;
        c.change(after);
        const auto list = DiffRecords(DiffRecord::Backup, before, after);
        if (!c.expected) {
            EXPECT_TRUE(list.empty());
        } else {
            ExpectOne(list, *c.expected);
        }
    }
}

TEST(RecordDiffTest, TheBytesOfAModeNeitherSideHoldsAreNotCompared) {
    BackupPayload before = DefaultPayload();
    before[backup::UserModePresent(2)] = 0;
    BackupPayload after = before;
    after[backup::UserMode(2) + modesettings::AudioVolumeGain] ^= 0xFF;
    EXPECT_TRUE(DiffRecords(DiffRecord::Backup, before, after).empty());
}

TEST(RecordDiffTest, SingleRecordsCompareOnlyWhatTheirKindHolds) {
    VirtualDetector detector;
    const ModeRecord mode = detector.Mode(4);
    ModeRecord patternChanged = mode;
    FlipCell(patternChanged.data() + ModePatternOffset, 20, 20);
    // Mode settings only: a settings-only record carries no pattern to compare.
    EXPECT_TRUE(DiffRecords(DiffRecord::ModeSettings, mode, patternChanged).empty());
    ExpectOne(DiffRecords(DiffRecord::Mode, mode, patternChanged, "Mode"),
              {.type = Type::Cells, .section = "Mode", .cells = 1, .rows = {20}});

    ModeRecord settingsChanged = mode;
    settingsChanged[modesettings::TargetSlot] = 8;
    settingsChanged[modesettings::AudioResponse] = 3;
    const auto list = DiffRecords(DiffRecord::ModeSettings, mode, settingsChanged, "Mode");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].caption, "Audio Response");  // settings first, then other bytes
    EXPECT_EQ(list[0].newText, "Pitch Hold");
    EXPECT_EQ(list[1].type, Type::Bits);
    EXPECT_EQ(list[1].offset, modesettings::TargetSlot);

    PatternRecord pattern = detector.Pattern(20);
    PatternRecord trailer = pattern;
    trailer[PatternSize - 1] ^= 1;
    ExpectOne(DiffRecords(DiffRecord::Pattern, pattern, trailer, "Pattern"),
              {.type = Type::Bits, .section = "Pattern", .offset = PatternSize - 1});
}

TEST(RecordDiffTest, ARestoreKeepsTheUserModesTheBackupDoesNotHold) {
    const BackupPayload detector = DefaultPayload();
    BackupPayload file = detector;
    file[backup::UserModePresent(1)] = 0;
    file[backup::UserMode(1) + 3] ^= 0xFF;
    file[backup::UserMode(0) + 3] ^= 0xFF;
    const BackupPayload after = RestoredState(detector, file);
    EXPECT_EQ(after[backup::UserModePresent(1)], 1);
    EXPECT_EQ(after[backup::UserMode(1) + 3], detector[backup::UserMode(1) + 3]);
    EXPECT_EQ(after[backup::UserMode(0) + 3], file[backup::UserMode(0) + 3]);
    EXPECT_EQ(RestoredRecordCount(file), 13u);
    EXPECT_EQ(RestoredRecordCount(detector), 14u);
}

// ---- Against the virtual detector ----

class WriteChecksTest : public DetectorFixture {
protected:
    void SetUp() override {
        DetectorFixture::SetUp();
        folder_ = std::filesystem::temp_directory_path() /
                  ("holvane-safety-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
    }
    void TearDown() override {
        EXPECT_EQ(DeviceHandle(), nullptr) << "a connection was left open";
        std::filesystem::remove_all(folder_);
        DetectorFixture::TearDown();
    }
    std::filesystem::path folder_;
};

TEST_F(WriteChecksTest, TheHeldRecordIsReadOnlyAndAnAbsentModeIsNoFailure) {
    detector.SetUserModePresent(5, false);
    struct Case {
        WriteTarget target;
        HeldRecord::Result result;
        std::size_t size;
    };
    const Case cases[] = {
        {{WriteTarget::Kind::Mode, 4}, HeldRecord::Result::Read, ModeSize},
        {{WriteTarget::Kind::ModeSettings, 8}, HeldRecord::Result::Read, ModeSize},
        {{WriteTarget::Kind::Mode, 5}, HeldRecord::Result::Absent, 0},
        {{WriteTarget::Kind::Pattern, 15}, HeldRecord::Result::Absent, 0},
        {{WriteTarget::Kind::Pattern, 23}, HeldRecord::Result::Read, PatternSize},
        {{WriteTarget::Kind::UniversalSettings, 0},
         HeldRecord::Result::Read,
         UniversalSettingsSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.Name());
        const HeldRecord held = ReadHeldRecord(c.target);
        EXPECT_EQ(held.result, c.result);
        EXPECT_EQ(held.bytes.size(), c.size);
    }
    // An absent mode is one difference: the write would create it.
    const WriteTarget absent{WriteTarget::Kind::Mode, 5};
    const ModeRecord mode{};
    ExpectOne(DiffHeldRecord(absent, ReadHeldRecord(absent), mode, DiffDirection::HeldToRecord),
              {.type = Type::Presence, .section = "My Mode 2", .oldPresent = false});
    EXPECT_TRUE(WrittenIds().empty());
}

TEST_F(WriteChecksTest, AFactoryModeThatCannotBeReadIsAFailureNotAnAbsence) {
    detector.RefuseId(static_cast<std::uint8_t>(ModeId(2)));
    const HeldRecord held = ReadHeldRecord({WriteTarget::Kind::Mode, 2});
    EXPECT_EQ(held.result, HeldRecord::Result::ReadFailed);
    EXPECT_FALSE(held.message.empty());
}

TEST_F(WriteChecksTest, TheSafetyCopyIsTheDetectorsStateInAPrivateFolder) {
    const std::filesystem::path folder = folder_ / "state" / "holvane" / "safety";
    const SafetyCopyOutcome copy = SaveSafetyCopy(folder.string());
    ASSERT_EQ(copy.result, SafetyCopyOutcome::Result::Saved);
    BackupPayload saved{};
    ASSERT_EQ(ReadBackupFile(copy.path, saved), FileResult::Success);
    EXPECT_EQ(saved, detector.SaveBackup());
    EXPECT_TRUE(WrittenIds().empty());
#if !defined(_WIN32)
    // Windows keeps a user's folders private through their access lists, not these bits.
    using std::filesystem::perms;
    for (const auto& p : {folder_ / "state", folder_ / "state" / "holvane", folder}) {
        EXPECT_EQ(std::filesystem::status(p).permissions() & perms::all, perms::owner_all) << p;
    }
    EXPECT_EQ(std::filesystem::status(copy.path).permissions() & perms::all,
              perms::owner_read | perms::owner_write);
#endif
}

TEST_F(WriteChecksTest, OnlyTheNewestCopiesAreKept) {
    std::filesystem::create_directories(folder_);
    const auto touch = [&](const std::string& name) { std::ofstream(folder_ / name) << "x"; };
    for (int i = 0; i < 22; ++i) {
        touch("2001-01-01_00-00-" + std::string(i < 10 ? "0" : "") + std::to_string(i) +
              ".000Z.vantor");
    }
    touch("mine.vantor");  // not a copy's name: left alone
    const SafetyCopyOutcome copy = SaveSafetyCopy(folder_.string());
    ASSERT_EQ(copy.result, SafetyCopyOutcome::Result::Saved);
    const std::vector<std::string> copies = SafetyCopies(folder_.string());
    ASSERT_EQ(copies.size(), SafetyCopiesKept);
    EXPECT_EQ(std::filesystem::path(copies.front()).filename(), "2001-01-01_00-00-03.000Z.vantor");
    EXPECT_EQ(copies.back(), copy.path);
    EXPECT_TRUE(std::filesystem::exists(folder_ / "mine.vantor"));
}

TEST_F(WriteChecksTest, ACopyThatCannotBeMadeLeavesNoFile) {
    // A folder that cannot be made: a file stands where it should be.
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "file") << "x";
    SafetyCopyOutcome copy = SaveSafetyCopy((folder_ / "file" / "safety").string());
    EXPECT_EQ(copy.result, SafetyCopyOutcome::Result::NoFolder);
    EXPECT_FALSE(copy.message.empty());
    EXPECT_TRUE(ReadIds().empty()) << "the folder comes before the reads";

    // A detector that goes away during the reads.
    detector.LoseLinkAfter(5);
    copy = SaveSafetyCopy((folder_ / "safety").string());
    EXPECT_EQ(copy.result, SafetyCopyOutcome::Result::ReadFailed);
    EXPECT_TRUE(std::filesystem::is_empty(folder_ / "safety"));
}
