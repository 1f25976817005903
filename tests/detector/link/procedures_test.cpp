// The procedures both front ends run (backup, restore, Download All), against the virtual
// detector: what they read and write on the wire, and what they report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "Backup.h"
#include "DetectorFixture.h"
#include "FrameCodec.h"
#include "Messages.h"
#include "ParameterIds.h"
#include "PatternDownload.h"
#include "Transfers.h"
#include "Vantor.h"

using namespace holvane;
using holvane::simulator::VirtualDetector;
using ::testing::ElementsAre;
using Result = BackupOutcome::Result;

namespace {

class ProceduresTest : public DetectorFixture {
protected:
    void TearDown() override {
        EXPECT_EQ(DeviceHandle(), nullptr) << "a connection was left open";
        DetectorFixture::TearDown();
    }
};

const std::vector<int> RestoreOrder = {10, 0, 1, 41, 42, 43, 44, 45, 46, 47, 6, 7, 8, 9};

}  // namespace

TEST_F(ProceduresTest, BackupHoldsTheDetectorsRecords) {
    std::vector<std::string> progress;
    const BackupOutcome outcome =
        CreateBackup([&](const std::string& r) { progress.push_back(r); });
    ASSERT_EQ(outcome.result, Result::Done);
    EXPECT_EQ(outcome.payload, detector.SaveBackup());
    EXPECT_EQ(progress.size(), 1u + 4 + 2 + 7);
    EXPECT_STREQ(outcome.Message(), "");
    // Reads only.
    EXPECT_TRUE(WrittenIds().empty());
}

TEST_F(ProceduresTest, BackupLeavesOutAMissingUserMode) {
    detector.SetUserModePresent(6, false);  // My Mode 3
    const BackupOutcome outcome = CreateBackup();
    ASSERT_EQ(outcome.result, Result::Done);
    EXPECT_EQ(outcome.payload[880], 0);
    EXPECT_EQ(outcome.payload[292], 1);
    EXPECT_EQ(outcome.payload[586], 1);
    EXPECT_EQ(outcome.payload[1174], 1);
}

TEST_F(ProceduresTest, BackupFailures) {
    struct Case {
        int refusedId;
        Result result;
        const char* message;
    };
    const Case cases[] = {
        {10, Result::RequiredReadFailed, messages::BackupAborted},
        {0, Result::RequiredReadFailed, messages::BackupAborted},
        {1, Result::RequiredReadFailed, messages::BackupAborted},
        {41, Result::PatternReadFailed, messages::BackupAbortedTryAgain},
        {47, Result::PatternReadFailed, messages::BackupAbortedTryAgain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusedId);
        detector.ClearFaults();
        detector.RefuseId(static_cast<std::uint8_t>(c.refusedId));
        const BackupOutcome outcome = CreateBackup();
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_STREQ(outcome.Message(), c.message);
        EXPECT_EQ(DeviceHandle(), nullptr);
    }
    platform.SetPluggedIn(Path, false);
    const BackupOutcome none = CreateBackup();
    EXPECT_EQ(none.result, Result::ConnectFailed);
    EXPECT_STREQ(none.Message(), messages::CouldNotConnect);
}

TEST_F(ProceduresTest, RestoreWritesEveryRecordInOrderThenFinishes) {
    VirtualDetector source;
    // A backup from another detector with different content.
    BackupPayload payload = source.SaveBackup();
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(payload[i] ^ 0x5A);
    }
    for (int k = 0; k < 4; ++k) {
        payload[backup::UserModePresent(k)] = 1;
        payload[backup::UserModePresent(k) + 1] = 0;  // reserved
    }
    payload[backup::UserModePresent(2)] = 0;  // My Mode 3 absent from the backup
    const ModeRecord myMode3Before = detector.Mode(6);
    int asked = 0;
    const RestoreOutcome outcome = RestoreBackup(payload, [&] {
        ++asked;
        EXPECT_NE(DeviceHandle(), nullptr);  // asked while connected
        return true;
    });
    ASSERT_EQ(outcome.result, RestoreOutcome::Result::Done);
    EXPECT_EQ(asked, 1);
    std::vector<int> expected = RestoreOrder;
    expected.erase(std::find(expected.begin(), expected.end(), 8));
    expected.push_back(55);
    EXPECT_EQ(WrittenIds(), expected);
    EXPECT_EQ(detector.FinishUploadCount(), 1);
    // The detector now holds the backup's records; My Mode 3 is untouched.
    BackupPayload now = detector.SaveBackup();
    EXPECT_EQ(detector.Mode(6), myMode3Before);
    std::memset(now.data() + backup::UserModePresent(2), 0, 2 + ModeSize);
    std::memset(payload.data() + backup::UserModePresent(2), 0, 2 + ModeSize);
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i] != payload[i]) {
            ADD_FAILURE() << "payload byte " << i << " is " << int(now[i]) << ", backup has "
                          << int(payload[i]);
            break;
        }
    }
}

TEST_F(ProceduresTest, RestoreCancelledWritesNothing) {
    const RestoreOutcome outcome = RestoreBackup(detector.SaveBackup(), [] { return false; });
    EXPECT_EQ(outcome.result, RestoreOutcome::Result::Cancelled);
    EXPECT_TRUE(WrittenIds().empty());
    EXPECT_EQ(detector.FinishUploadCount(), 0);
}

TEST_F(ProceduresTest, RestoreWithoutDetectorAsksNothing) {
    platform.SetPluggedIn(Path, false);
    bool asked = false;
    const RestoreOutcome outcome = RestoreBackup(detector.SaveBackup(), [&] {
        asked = true;
        return true;
    });
    EXPECT_EQ(outcome.result, RestoreOutcome::Result::ConnectFailed);
    EXPECT_STREQ(outcome.Message(), messages::CouldNotConnect);
    EXPECT_FALSE(asked);
}

// The link goes down at each of the fourteen writes in turn: that row's message, the rows
// before it written, nothing after it, and no end-of-upload command.
TEST_F(ProceduresTest, RestoreLosingTheLinkAtEachWrite) {
    const char* const expectedMessages[] = {
        "Could not upload the current Mode.\r\nCheck the connection and try again.",
        "Could not upload the universal settings.\r\nCheck the connection and try again.",
        "Could not upload the preferences.\r\nCheck the connection and try again.",
        "Could not upload the Swiftveil pattern.\r\nCheck the connection and try again.",
        "Could not upload the My Pattern 1.\r\nCheck the connection and try again.",
        "Could not upload the My Pattern 2.\r\nCheck the connection and try again.",
        "Could not upload the My Pattern 3.\r\nCheck the connection and try again.",
        "Could not upload the My Pattern 4.\r\nCheck the connection and try again.",
        "Could not upload the My Pattern 5.\r\nCheck the connection and try again.",
        "Could not upload the My Pattern 6.\r\nCheck the connection and try again.",
        "Could not upload the My Mode 1.\r\nCheck the connection and try again.",
        "Could not upload the my Mode 2.\r\nCheck the connection and try again.",
        "Could not upload the my Mode 3.\r\nCheck the connection and try again.",
        "Could not upload the my Mode 4.\r\nCheck the connection and try again.",
    };
    const BackupPayload payload = detector.SaveBackup();
    for (std::size_t row = 0; row < RestoreRowCount; ++row) {
        SCOPED_TRACE(row);
        VirtualDetector target;
        platform.AddInterface({Path}, &target);  // replaces the interface: a fresh detector
        target.LoseLinkAfter(static_cast<int>(row));
        const RestoreOutcome outcome = RestoreBackup(payload, [] { return true; });
        ASSERT_EQ(outcome.result, RestoreOutcome::Result::WriteFailed);
        EXPECT_EQ(outcome.failedRow, row);
        EXPECT_STREQ(outcome.Message(), expectedMessages[row]);
        const std::vector<int> written(RestoreOrder.begin(), RestoreOrder.begin() + row + 1);
        EXPECT_EQ(::WrittenIds(target), written);  // the failing write was sent, nothing after it
        EXPECT_EQ(target.FinishUploadCount(), 0);
        EXPECT_EQ(DeviceHandle(), nullptr);
    }
}

TEST_F(ProceduresTest, BackupThenRestoreIntoAFreshDetector) {
    detector.SetUserModePresent(5, false);
    const BackupOutcome backupOutcome = CreateBackup();
    ASSERT_EQ(backupOutcome.result, Result::Done);
    VirtualDetector fresh;
    for (int k = 0; k < 4; ++k)
        fresh.SetUserModePresent(4 + k, false);
    platform.AddInterface({Path}, &fresh);
    ASSERT_EQ(RestoreBackup(backupOutcome.payload, {}).result, RestoreOutcome::Result::Done);
    EXPECT_EQ(fresh.SaveBackup(), detector.SaveBackup());
}

TEST_F(ProceduresTest, DownloadAllWithAMissingUserMode) {
    detector.SetUserModePresent(5, false);  // My Mode 2
    const PatternDownloadOutcome outcome = DownloadAllPatterns();
    ASSERT_EQ(outcome.result, PatternDownloadOutcome::Result::Done);
    using State = PatternDownloadOutcome::EntryState;
    for (std::size_t i = 0; i < DownloadedPatternCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(outcome.states[i], i == 9 ? State::Absent : State::Read);
        if (outcome.states[i] == State::Read) {
            EXPECT_EQ(outcome.patterns[i], detector.Pattern(PatternEntryAt(i).patternSlot));
        }
    }
    // Modes are read only to learn whether they exist; My Mode 2's pattern is never asked for.
    std::vector<int> read;
    for (const auto& w : WireLog())
        read.push_back(w.id);
    EXPECT_THAT(read, ElementsAre(40, 41, 42, 43, 44, 45, 46, 47, 6, 36, 7, 8, 38, 9, 39));
}

TEST_F(ProceduresTest, DownloadAllStopsAtTheFirstFailedPattern) {
    detector.RefuseId(static_cast<std::uint8_t>(PatternId(22)));  // My Pattern 3
    const PatternDownloadOutcome outcome = DownloadAllPatterns();
    ASSERT_EQ(outcome.result, PatternDownloadOutcome::Result::ReadFailed);
    EXPECT_EQ(outcome.failedEntry, 4u);
    EXPECT_STREQ(outcome.Message(), "Could not read 'My Pattern 3'.\r\nTry again.");
    using State = PatternDownloadOutcome::EntryState;
    for (std::size_t i = 0; i < DownloadedPatternCount; ++i) {
        EXPECT_EQ(outcome.states[i], i < 4 ? State::Read : State::Untouched) << i;
    }
}

TEST_F(ProceduresTest, ARestoreAfterAWriteInterruptedMidFrameWritesEveryRecordRight) {
    // A program killed between the reports of a frame leaves the detector half-way through it.
    // Here the first report of a current-mode write reaches the detector, then the connection
    // is gone; the next connection restores a backup.
    BackupPayload payload = detector.SaveBackup();
    for (std::uint8_t& b : payload) {
        b = static_cast<std::uint8_t>(b ^ 0x55);  // every record differs; every mode present
    }
    {
        VirtualDetector holder;  // the payload as a detector holding it saves it
        holder.LoadBackup(payload);
        payload = holder.SaveBackup();
    }
    {
        std::vector<std::uint8_t> request = {static_cast<std::uint8_t>(ModeId(CurrentModeSlot)),
                                             0x01};
        request.insert(request.end(), payload.begin() + backup::CurrentMode,
                       payload.begin() + backup::CurrentMode + ModeSize);
        const auto frame = tovra::EncodeFrame(3, tovra::ParameterChannel, request.data(),
                                              static_cast<std::uint16_t>(request.size()));
        tovra::HidOpenError error = tovra::HidOpenError::None;
        auto killed = platform.OpenExclusive(Path, error);
        ASSERT_NE(killed, nullptr);
        std::vector<std::uint8_t> report(65, 0);
        std::copy(frame.begin(), frame.begin() + 64, report.begin() + 1);
        ASSERT_EQ(killed->Write(report.data(), report.size(), 300), report.size());
    }
    ASSERT_TRUE(detector.Requests().empty()) << "the detector waits for the rest of the frame";

    const RestoreOutcome outcome = RestoreBackup(payload, {});
    ASSERT_EQ(outcome.result, RestoreOutcome::Result::Done) << outcome.Message();
    EXPECT_EQ(detector.SaveBackup(), payload);
    EXPECT_EQ(detector.FinishUploadCount(), 1);
}

// A front end that asks to stop once the detector has received a given number of requests.
class StopGateTest : public ProceduresTest {
protected:
    void StopAfter(std::size_t requests) {
        SetRequestGate({[this, requests] { return detector.Requests().size() >= requests; },
                        [this](bool held) { holds.push_back(held); }});
    }
    void TearDown() override {
        SetRequestGate({});
        ProceduresTest::TearDown();
    }
    // Every hold was released, none nested.
    void ExpectHoldsPaired() const {
        ASSERT_FALSE(holds.empty());
        for (std::size_t i = 0; i < holds.size(); ++i) {
            EXPECT_EQ(holds[i], i % 2 == 0) << "hold " << i;
        }
        EXPECT_EQ(holds.size() % 2, 0u);
    }

    std::vector<bool> holds;
};

// Stopped after each number of writes, the last one before only the end-of-upload command was
// left: the rows before it written, nothing after, and never the end-of-upload command.
TEST_F(StopGateTest, RestoreEndsBetweenTwoWritesWithoutTheEndOfUpload) {
    const BackupPayload payload = detector.SaveBackup();  // every user mode present
    for (const std::size_t written : {std::size_t{1}, std::size_t{3}, RestoreRowCount}) {
        SCOPED_TRACE(written);
        detector.ClearLog();
        holds.clear();
        StopAfter(written);
        const RestoreOutcome outcome = RestoreBackup(payload, {});
        EXPECT_EQ(outcome.result, RestoreOutcome::Result::Stopped);
        EXPECT_EQ(outcome.failedRow, written);
        EXPECT_FALSE(outcome.finishNotSent);
        const std::vector<int> expected(RestoreOrder.begin(),
                                        RestoreOrder.begin() + static_cast<long>(written));
        EXPECT_EQ(WrittenIds(), expected);
        EXPECT_EQ(detector.FinishUploadCount(), 0);
        ExpectHoldsPaired();
    }
}

TEST_F(StopGateTest, OtherActionsEndWithoutAskingOrWriting) {
    StopAfter(2);
    const BackupOutcome backupOutcome = CreateBackup();
    EXPECT_NE(backupOutcome.result, Result::Done);
    EXPECT_EQ(ReadIds().size(), 2u);
    ExpectHoldsPaired();

    // The probe of the slot goes out, then the stop: neither the write nor the end-of-upload
    // command, which follows even a failed write of a mode.
    detector.ClearLog();
    StopAfter(1);
    const TransferOutcome upload =
        UploadMode(4, detector.Mode(4), ModeParts::WithPattern, [] { return true; });
    EXPECT_EQ(upload.result, TransferOutcome::Result::TransferFailed);
    EXPECT_FALSE(upload.finishNotSent);
    EXPECT_EQ(ReadIds().size(), 1u);
    EXPECT_TRUE(WrittenIds().empty());

    // Nothing connects once a stop was asked for.
    detector.ClearLog();
    StopAfter(0);
    EXPECT_EQ(DownloadAllPatterns().result, PatternDownloadOutcome::Result::ConnectFailed);
    EXPECT_TRUE(WireLog().empty());
}
