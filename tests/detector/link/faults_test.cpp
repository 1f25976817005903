// A detector that misbehaves on one request of each procedure (backup, restore, mode upload,
// pattern upload, Download All): what the user is told, and what the detector and the backup
// hold afterwards. No late, lost or malformed answer may be taken for another request's, and
// no user mode may be overwritten without the question.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Backup.h"
#include "DetectorFixture.h"
#include "Messages.h"
#include "ParameterIds.h"
#include "PatternDownload.h"
#include "Transfers.h"
#include "Vantor.h"

using namespace holvane;
using holvane::simulator::VirtualDetector;
using std::chrono::milliseconds;

namespace {

enum class Fault {
    Late,
    Lost,
    OneShort,
    OneLong,
    Silence,
    Refusal,
    LinkGone,
    StopsAfterFirstReport
};

const char* Name(Fault f) {
    switch (f) {
        case Fault::Late:
            return "reply 200 ms after the time-out";
        case Fault::Lost:
            return "reply lost (bad checksum)";
        case Fault::OneShort:
            return "reply one byte short";
        case Fault::OneLong:
            return "reply one byte long";
        case Fault::Silence:
            return "silence";
        case Fault::Refusal:
            return "refusal";
        case Fault::LinkGone:
            return "link gone";
        case Fault::StopsAfterFirstReport:
            return "reply stops after its first report";
    }
    return "";
}

const std::vector<Fault> AllFaults = {
    Fault::Late,    Fault::Lost,    Fault::OneShort, Fault::OneLong,
    Fault::Silence, Fault::Refusal, Fault::LinkGone, Fault::StopsAfterFirstReport};

// Switches the fault on for the replies to id; the link goes at the request with index
// requestIndex (0 = the first of the connection).
void Apply(VirtualDetector& d, Fault f, std::uint8_t id, int requestIndex) {
    switch (f) {
        case Fault::Late:
            d.DelayId(id, milliseconds(ParameterTimeout + 200));
            break;
        case Fault::Lost:
            d.CorruptId(id);
            break;
        case Fault::OneShort:
            d.ResizeReplies(id, -1);
            break;
        case Fault::OneLong:
            d.ResizeReplies(id, +1);
            break;
        case Fault::Silence:
            d.SilenceId(id);
            break;
        case Fault::Refusal:
            d.RefuseId(id);
            break;
        case Fault::LinkGone:
            d.LoseLinkAfter(requestIndex);
            break;
        case Fault::StopsAfterFirstReport:
            d.StopRepliesAfter(id, 64);
            break;
    }
}

template <std::size_t N>
std::array<std::uint8_t, N> Filled(std::uint8_t value) {
    std::array<std::uint8_t, N> r{};
    r.fill(value);
    return r;
}

// Each row gets a detector of its own, so that a reply one row left due cannot reach the next.
class FaultsTest : public DetectorFixture {
protected:
    void TearDown() override {
        EXPECT_EQ(DeviceHandle(), nullptr) << "a connection was left open";
        DetectorFixture::TearDown();
    }
    VirtualDetector& Fresh() {
        rows_.push_back(std::make_unique<VirtualDetector>());
        holvane::simulator::MemoryHidInterface i;
        i.path = Path;
        platform.AddInterface(i, rows_.back().get());
        return *rows_.back();
    }

private:
    std::vector<std::unique_ptr<VirtualDetector>> rows_;
};

}  // namespace

TEST_F(FaultsTest, Backup) {
    // The fault hits the read of My Mode 1 (the second request); My Mode 2, read next, is
    // absent and silent, the case where a late reply used to land in the wrong record.
    struct Row {
        Fault fault;
        BackupOutcome::Result result;
        std::string myMode1Line;  // progress line for My Mode 1 ("" when the backup stops there)
    };
    using R = BackupOutcome::Result;
    const std::vector<Row> rows = {
        {Fault::Late, R::Done, "My Mode 1 (no answer, taken as absent)"},
        {Fault::Lost, R::Done, "My Mode 1 (no answer, taken as absent)"},
        {Fault::OneShort, R::RequiredReadFailed, ""},
        {Fault::OneLong, R::RequiredReadFailed, ""},
        {Fault::Silence, R::Done, "My Mode 1 (no answer, taken as absent)"},
        {Fault::Refusal, R::Done, "My Mode 1 (absent)"},
        {Fault::LinkGone, R::RequiredReadFailed, ""},
        // The half frame it leaves must not swallow or splice the replies after it.
        {Fault::StopsAfterFirstReport, R::Done, "My Mode 1 (no answer, taken as absent)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Name(row.fault));
        VirtualDetector& detector = Fresh();
        detector.SetUserModePresent(5, false);
        detector.SetAbsentModeAnswer(holvane::simulator::AbsentModeAnswer::Silence);
        Apply(detector, row.fault, static_cast<std::uint8_t>(ModeId(4)), 1);

        std::vector<std::string> progress;
        const BackupOutcome outcome =
            CreateBackup([&](const std::string& r) { progress.push_back(r); });
        ASSERT_EQ(outcome.result, row.result);
        if (row.result != R::Done) {
            EXPECT_STREQ(outcome.Message(), messages::BackupAborted);
            continue;
        }
        EXPECT_THAT(progress, ::testing::Contains(row.myMode1Line));
        EXPECT_THAT(progress, ::testing::Contains("My Mode 2 (no answer, taken as absent)"));
        // Every record the backup holds is the detector's own, in its own place.
        BackupPayload expected = detector.SaveBackup();
        expected[backup::UserModePresent(0)] = 0;
        std::fill_n(expected.begin() + backup::UserMode(0), ModeSize, 0);
        EXPECT_EQ(outcome.payload, expected);
    }
}

TEST_F(FaultsTest, Restore) {
    // The fault hits the write of the preferences (the third row). The restore stops there
    // and blames it; the rows after it are not written and no end-of-upload is sent.
    struct Row {
        Fault fault;
        bool preferencesTaken;  // the detector stored them although the answer was bad
    };
    const std::vector<Row> rows = {
        {Fault::Late, true},      {Fault::Lost, true},     {Fault::OneShort, true},
        {Fault::OneLong, true},   {Fault::Silence, false}, {Fault::Refusal, false},
        {Fault::LinkGone, false},
    };
    BackupPayload payload = VirtualDetector().SaveBackup();
    const auto newPreferences = Filled<PreferencesSize>(0x33);
    const auto newPattern = Filled<PatternSize>(0x44);
    std::copy(newPreferences.begin(), newPreferences.end(), payload.begin() + backup::Preferences);
    std::copy(newPattern.begin(), newPattern.end(), payload.begin() + backup::MyPattern(0));
    for (const Row& row : rows) {
        SCOPED_TRACE(Name(row.fault));
        VirtualDetector& detector = Fresh();
        const PreferencesRecord before = detector.Preferences();
        Apply(detector, row.fault, PreferencesId, 2);

        std::vector<std::string> progress;
        const RestoreOutcome outcome =
            RestoreBackup(payload, {}, [&](const std::string& r) { progress.push_back(r); });
        ASSERT_EQ(outcome.result, RestoreOutcome::Result::WriteFailed);
        EXPECT_EQ(outcome.failedRow, 2u);
        EXPECT_STREQ(outcome.Message(), messages::CouldNotUploadPreferences);
        EXPECT_THAT(progress, ::testing::ElementsAre("current mode", "universal settings"));
        EXPECT_EQ(detector.Preferences(), row.preferencesTaken ? newPreferences : before);
        EXPECT_NE(detector.Pattern(FirstMyPatternSlot), newPattern);
        EXPECT_EQ(detector.FinishUploadCount(), 0);
    }
}

TEST_F(FaultsTest, ModeUpload) {
    // The fault hits the read that tells whether My Mode 1 holds a mode. Only a refusal says
    // the slot is empty; a link that is gone ends the upload before the question; every other
    // fault asks, and the answer here is no.
    using R = TransferOutcome::Result;
    struct Row {
        Fault fault;
        int questions;
        R result;
    };
    const std::vector<Row> rows = {
        {Fault::Late, 1, R::Cancelled},          {Fault::Lost, 1, R::Cancelled},
        {Fault::OneShort, 1, R::Cancelled},      {Fault::OneLong, 1, R::Cancelled},
        {Fault::Silence, 1, R::Cancelled},       {Fault::Refusal, 0, R::Done},
        {Fault::LinkGone, 0, R::TransferFailed},
    };
    ModeRecord upload{};
    upload.fill(0x21);
    for (const Row& row : rows) {
        SCOPED_TRACE(Name(row.fault));
        VirtualDetector& detector = Fresh();
        const ModeRecord before = detector.Mode(4);
        Apply(detector, row.fault, static_cast<std::uint8_t>(ModeId(4)), 0);

        int questions = 0;
        const TransferOutcome outcome = UploadMode(4, upload, ModeParts::SettingsOnly, [&] {
            ++questions;
            return false;
        });
        EXPECT_EQ(questions, row.questions);
        EXPECT_EQ(outcome.result, row.result) << outcome.message;
        if (row.result == R::Done) {
            // The detector said there is no mode: written without a question.
            EXPECT_EQ(detector.Mode(4)[0], 0x21);
            continue;
        }
        if (row.result == R::Cancelled) {
            EXPECT_TRUE(outcome.slotUnknown);
        } else {
            EXPECT_EQ(outcome.message, messages::CouldNotUploadMode);
        }
        EXPECT_EQ(detector.Mode(4), before);
        EXPECT_EQ(detector.FinishUploadCount(), 0);
    }
}

TEST_F(FaultsTest, PatternUpload) {
    // Into My Mode 1's pattern; the fault hits the read that tells whether My Mode 1 exists.
    // Only a refusal stops the upload as absent; otherwise the write is tried.
    struct Row {
        Fault fault;
        TransferOutcome::Result result;
    };
    using R = TransferOutcome::Result;
    const std::vector<Row> rows = {
        {Fault::Late, R::Done},
        {Fault::Lost, R::Done},
        {Fault::OneShort, R::Done},
        {Fault::OneLong, R::Done},
        {Fault::Silence, R::Done},
        {Fault::Refusal, R::ModeAbsent},
        {Fault::LinkGone, R::TransferFailed},
    };
    const auto pattern = Filled<PatternSize>(0x55);
    for (const Row& row : rows) {
        SCOPED_TRACE(Name(row.fault));
        VirtualDetector& detector = Fresh();
        const PatternRecord before = detector.Pattern(PatternSlotOfMode(4));
        Apply(detector, row.fault, static_cast<std::uint8_t>(ModeId(4)), 0);

        const TransferOutcome outcome = UploadPattern(PatternSlotOfMode(4), pattern);
        EXPECT_EQ(outcome.result, row.result);
        const bool written = row.result == R::Done;
        EXPECT_EQ(detector.Pattern(PatternSlotOfMode(4)), written ? pattern : before);
        EXPECT_EQ(detector.FinishUploadCount(), written ? 1 : 0);
        if (row.result == R::ModeAbsent) {
            EXPECT_EQ(outcome.message,
                      "Cannot upload the pattern as User Mode 1 does not exist.\r\n");
        } else if (row.result == R::TransferFailed) {
            EXPECT_EQ(outcome.message, messages::CouldNotUploadPattern);
        }
    }
}

TEST_F(FaultsTest, DownloadAll) {
    // The fault hits the read that tells whether My Mode 2 exists (request 11: eight stored
    // patterns, then My Mode 1 and its pattern). Refusal and silence say absent; an answer
    // that is not the mode stops the download with that entry's message.
    struct Row {
        Fault fault;
        PatternDownloadOutcome::Result result;
    };
    using R = PatternDownloadOutcome::Result;
    const std::vector<Row> rows = {
        {Fault::Late, R::Done},           {Fault::Lost, R::Done},
        {Fault::OneShort, R::ReadFailed}, {Fault::OneLong, R::ReadFailed},
        {Fault::Silence, R::Done},        {Fault::Refusal, R::Done},
        {Fault::LinkGone, R::ReadFailed}, {Fault::StopsAfterFirstReport, R::Done},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Name(row.fault));
        VirtualDetector& detector = Fresh();
        Apply(detector, row.fault, static_cast<std::uint8_t>(ModeId(5)), 10);

        const PatternDownloadOutcome outcome = DownloadAllPatterns();
        ASSERT_EQ(outcome.result, row.result);
        using State = PatternDownloadOutcome::EntryState;
        if (row.result == R::Done) {
            EXPECT_EQ(outcome.states[9], State::Absent);
            // The entries after it hold their own patterns.
            for (std::size_t i : {10u, 11u}) {
                EXPECT_EQ(outcome.states[i], State::Read);
                EXPECT_EQ(outcome.patterns[i], detector.Pattern(PatternEntryAt(i).patternSlot));
            }
        } else if (row.fault == Fault::LinkGone) {
            // Unanswered until the transport reports the device gone, then the next read fails.
            EXPECT_GE(outcome.failedEntry, 9u);
        } else {
            EXPECT_EQ(outcome.failedEntry, 9u);
            EXPECT_STREQ(outcome.Message(), "Could not read 'My Mode 2' pattern.\r\nTry again.");
        }
        for (std::size_t i = 0; i < 9; ++i) {
            EXPECT_EQ(outcome.patterns[i], detector.Pattern(PatternEntryAt(i).patternSlot)) << i;
        }
    }
}
