// The single-record transfers against the virtual detector: which record goes out, and when the
// end-of-upload command follows.
#include "Transfers.h"

#include <gtest/gtest.h>

#include "DetectorFixture.h"
#include "ParameterIds.h"

using namespace holvane;

namespace {

class TransfersTest : public DetectorFixture {
protected:
    simulator::VirtualDetector& Detector() { return detector; }
    std::vector<int> Writes() const { return WrittenIds(EndOfUpload::LeftOut); }
};

using Result = TransferOutcome::Result;

TEST_F(TransfersTest, ModeUploadSendsSettingsOrWholeModeAndAlwaysFinishes) {
    ModeRecord mode{};
    mode[0] = 0x42;
    mode[ModePatternOffset] = 0x24;

    struct Case {
        ModeParts parts;
        bool refused;
        std::uint8_t id;
        Result result;
    };
    const Case cases[] = {
        {.parts = ModeParts::SettingsOnly,
         .refused = false,
         .id = static_cast<std::uint8_t>(ModeSettingsId(5)),
         .result = Result::Done},
        {.parts = ModeParts::WithPattern,
         .refused = false,
         .id = static_cast<std::uint8_t>(ModeId(5)),
         .result = Result::Done},
        {.parts = ModeParts::WithPattern,
         .refused = true,
         .id = static_cast<std::uint8_t>(ModeId(5)),
         .result = Result::TransferFailed},
    };
    for (const Case& c : cases) {
        const bool wholeMode = c.parts == ModeParts::WithPattern;
        SCOPED_TRACE(wholeMode);
        Detector().ClearLog();
        Detector().ClearFaults();
        const PatternRecord before = Detector().Pattern(15);
        Detector().RefuseId(c.id, c.refused);
        const auto outcome = UploadMode(5, mode, c.parts, [] { return true; });
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(Writes(), std::vector<int>{c.id});
        EXPECT_EQ(Detector().FinishUploadCount(), 1);
        if (c.refused) {
            EXPECT_EQ(outcome.message,
                      "Could not upload the Mode.\r\nCheck the connection and try again.");
        } else {
            EXPECT_EQ(Detector().Mode(5)[0], 0x42);
            EXPECT_EQ(Detector().Pattern(15)[0] == 0x24, wholeMode);
            EXPECT_EQ(Detector().Pattern(15) == before, !wholeMode);
        }
    }
}

TEST_F(TransfersTest, ModeUploadAsksOnlyWhenTheSlotHoldsAMode) {
    Detector().SetUserModePresent(6, false);
    int asked = 0;
    const auto decline = [&asked] {
        ++asked;
        return false;
    };
    EXPECT_EQ(UploadMode(6, ModeRecord{}, ModeParts::SettingsOnly, decline).result, Result::Done);
    EXPECT_EQ(asked, 0);

    Detector().ClearLog();
    EXPECT_EQ(UploadMode(7, ModeRecord{}, ModeParts::WithPattern, decline).result,
              Result::Cancelled);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(Detector().FinishUploadCount(), 0);
}

TEST_F(TransfersTest, EndOfUploadFollowsEachRecordKindsRule) {
    struct Case {
        const char* name;
        std::uint8_t refusedId;
        std::function<TransferOutcome()> upload;
        int finishWhenRefused;
    };
    const Case cases[] = {
        {"universal", static_cast<std::uint8_t>(UniversalSettingsId),
         [] { return UploadUniversalSettings({}); }, 1},
        {"preferences", static_cast<std::uint8_t>(PreferencesId),
         [] { return UploadPreferences({}); }, 0},
        {"pattern", static_cast<std::uint8_t>(PatternId(21)), [] { return UploadPattern(21, {}); },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool refused : {false, true}) {
            Detector().ClearLog();
            Detector().RefuseId(c.refusedId, refused);
            const auto outcome = c.upload();
            EXPECT_EQ(outcome.result, refused ? Result::TransferFailed : Result::Done);
            EXPECT_EQ(Detector().FinishUploadCount(), refused ? c.finishWhenRefused : 1);
        }
        Detector().ClearFaults();
    }
}

TEST_F(TransfersTest, UserModePatternsNeedTheirMode) {
    Detector().SetUserModePresent(5, false);
    const auto upload = UploadPattern(15, {});
    EXPECT_EQ(upload.result, Result::ModeAbsent);
    EXPECT_EQ(upload.message, "Cannot upload the pattern as User Mode 2 does not exist.\r\n");
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(Detector().FinishUploadCount(), 0);

    EXPECT_EQ(DownloadPattern(15).result, Result::ModeAbsent);
    const auto present = DownloadPattern(14);
    EXPECT_EQ(present.result, Result::Done);
    EXPECT_EQ(present.record, Detector().Pattern(14));

    Detector().RefuseId(static_cast<std::uint8_t>(PatternId(22)));
    EXPECT_EQ(DownloadPattern(22).message, "Could not read 'My Pattern 3'.\r\nTry again.");
}

TEST_F(TransfersTest, DownloadsGiveTheDetectorsRecordsOrTheirMessage) {
    const auto mode = DownloadMode(0);
    EXPECT_EQ(mode.result, Result::Done);
    EXPECT_EQ(mode.record, Detector().Mode(0));
    EXPECT_EQ(DownloadUniversalSettings().record, Detector().UniversalSettings());
    EXPECT_EQ(DownloadPreferences().record, Detector().Preferences());

    Detector().SetUserModePresent(4, false);
    EXPECT_EQ(DownloadMode(4).message,
              "Could not download the Mode.\r\nCheck if the Mode exists in the Vantor.");
    Detector().RefuseId(static_cast<std::uint8_t>(UniversalSettingsId));
    EXPECT_EQ(DownloadUniversalSettings().message, "Could not download universal settings.\r\n");
}

}  // namespace
