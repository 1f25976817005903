#include "VirtualDetector.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <thread>

#include "HostLink.h"
#include "ParameterIds.h"

using namespace holvane;
using namespace holvane::simulator;
using namespace holvane::simulator::testing;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

class VirtualDetectorTest : public ::testing::Test {
protected:
    VirtualDetector detector;
    HostLink host{detector};
};

struct IdSize {
    std::uint8_t id;
    std::size_t size;
};

std::vector<IdSize> ReadableIds() {
    std::vector<IdSize> ids = {{0, UniversalSettingsSize}, {1, PreferencesSize}};
    for (int slot = 0; slot < ModeSlotCount; ++slot) {
        ids.push_back({static_cast<std::uint8_t>(ModeId(slot)), ModeSize});
    }
    for (int slot = FirstPatternSlot; slot <= LastPatternSlot; ++slot) {
        ids.push_back({static_cast<std::uint8_t>(PatternId(slot)), PatternSize});
    }
    return ids;
}

// What the state accessors say a read of the id should deliver.
std::vector<std::uint8_t> Expected(const VirtualDetector& d, std::uint8_t id) {
    if (id == UniversalSettingsId) {
        return Bytes(d.UniversalSettings());
    }
    if (id == PreferencesId) {
        return Bytes(d.Preferences());
    }
    if (id <= ModeId(CurrentModeSlot)) {
        return Bytes(d.Mode(id - ModeId(0)));
    }
    return Bytes(d.Pattern(id - PatternId(0)));
}

// A write request for the id with a value of `size` bytes.
std::vector<std::uint8_t> WriteOf(std::uint8_t id, std::size_t size) {
    std::vector<std::uint8_t> payload(2 + size, 7);
    payload[0] = id;
    payload[1] = 0x01;
    return payload;
}

}  // namespace

TEST_F(VirtualDetectorTest, ReadsEveryRecordWithItsSize) {
    for (const auto& [id, size] : ReadableIds()) {
        SCOPED_TRACE(static_cast<int>(id));
        auto reply = host.Read(id, size);
        ASSERT_EQ(reply.size(), 1 + size);
        EXPECT_EQ(reply[0], 0x01);
        EXPECT_EQ(std::vector<std::uint8_t>(reply.begin() + 1, reply.end()),
                  Expected(detector, id));
        EXPECT_EQ(detector.PendingOutput(), 0u) << "nothing beyond the record is sent";
    }
}

TEST_F(VirtualDetectorTest, WritesEveryWritableIdAndReadsItBack) {
    std::vector<IdSize> writable;
    for (const auto& entry : ReadableIds()) {
        const bool factory = entry.id >= ModeId(0) && entry.id < ModeId(FirstUserModeSlot);
        if (!factory) {
            writable.push_back(entry);
        }
    }
    std::uint8_t value = 0xA0;
    for (const auto& [id, size] : writable) {
        SCOPED_TRACE(static_cast<int>(id));
        const auto record = Filled(size, ++value);
        EXPECT_THAT(host.Write(id, record), ElementsAre(0x01));
        EXPECT_EQ(Expected(detector, id), record);
    }
    for (int slot = FirstUserModeSlot; slot <= CurrentModeSlot; ++slot) {
        const auto settings = Filled(ModeSettingsSize, static_cast<std::uint8_t>(slot));
        EXPECT_THAT(host.Write(static_cast<std::uint8_t>(ModeSettingsId(slot)), settings),
                    ElementsAre(0x01));
        const auto mode = detector.Mode(slot);
        EXPECT_TRUE(std::equal(settings.begin(), settings.end(), mode.begin()));
    }
    EXPECT_THAT(host.Write(FinishUploadId, {}), ElementsAre(0x01));
    EXPECT_THAT(host.Write(FinishUploadId, {}), ElementsAre(0x01));
    EXPECT_EQ(detector.FinishUploadCount(), 2);
}

TEST_F(VirtualDetectorTest, RefusesWhatItCannotTakeAndChangesNothing) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> payload;
    };
    const std::vector<Case> cases = {
        {"factory mode 0 whole", WriteOf(2, ModeSize)},
        {"factory mode 3 settings", WriteOf(15, ModeSettingsSize)},
        {"universal settings one byte short", WriteOf(0, UniversalSettingsSize - 1)},
        {"preferences one byte long", WriteOf(1, PreferencesSize + 1)},
        {"mode id with settings size", WriteOf(6, ModeSettingsSize)},
        {"settings id with mode size", WriteOf(16, ModeSize)},
        {"end of upload with a value", {55, 0x01, 0x00}},
        {"unknown id 11 write", {11, 0x01, 0x01}},
        {"unknown id 48 write", {48, 0x01}},
        {"settings-only read", {16, 0x00}},
        {"end of upload read", {55, 0x00}},
        {"unknown id read", {21, 0x00}},
        {"read with a value", {0, 0x00, 0x05}},
        {"bad direction byte", {0, 0x02}},
        {"id alone", {0}},
        {"empty payload", {}},
    };
    const auto before = detector.SaveBackup();
    const auto factory = detector.Mode(0);
    const auto factory3 = detector.Mode(3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host.Send(tovra::ParameterChannel, c.payload);
        EXPECT_THAT(host.Collect(1), ElementsAre(0x00));
        EXPECT_EQ(detector.PendingOutput(), 0u);
    }
    EXPECT_EQ(detector.SaveBackup(), before);
    EXPECT_EQ(detector.Mode(0), factory);
    EXPECT_EQ(detector.Mode(3), factory3);
    EXPECT_EQ(detector.FinishUploadCount(), 0);
}

TEST_F(VirtualDetectorTest, ModesAndPatternSlotsStayConsistent) {
    // A whole user mode written over the link is its pattern slot.
    ModeRecord mode{};
    for (std::size_t i = 0; i < mode.size(); ++i) {
        mode[i] = static_cast<std::uint8_t>(i * 3 + 1);
    }
    ASSERT_THAT(host.Write(ModeId(5), Bytes(mode)), ElementsAre(0x01));
    const auto pattern15 = host.Read(PatternId(15), PatternSize);
    EXPECT_TRUE(std::equal(mode.begin() + ModePatternOffset, mode.end(), pattern15.begin() + 1));

    // Settings only: the pattern stays.
    const auto oldMode7 = detector.Mode(7);
    ASSERT_THAT(host.Write(ModeSettingsId(7), Filled(ModeSettingsSize, 0x11)), ElementsAre(0x01));
    const auto mode7 = detector.Mode(7);
    EXPECT_TRUE(std::equal(oldMode7.begin() + ModePatternOffset, oldMode7.end(),
                           mode7.begin() + ModePatternOffset));
    EXPECT_EQ(mode7[0], 0x11);
    EXPECT_EQ(mode7[ModeSettingsSize - 1], 0x11);

    // Pattern slot 18 is the current mode's pattern; its settings stay.
    const auto oldCurrent = detector.Mode(CurrentModeSlot);
    ASSERT_THAT(host.Write(PatternId(GlintmapPatternSlot), Filled(PatternSize, 0x5A)),
                ElementsAre(0x01));
    const auto current = host.Read(ModeId(CurrentModeSlot), ModeSize);
    EXPECT_TRUE(std::all_of(current.begin() + 1 + ModePatternOffset, current.end(),
                            [](std::uint8_t b) { return b == 0x5A; }));
    EXPECT_TRUE(
        std::equal(oldCurrent.begin(), oldCurrent.begin() + ModeSettingsSize, current.begin() + 1));

    // The accessors share the same storage.
    PatternRecord pattern{};
    pattern.fill(0x33);
    detector.SetPattern(14, pattern);
    const auto mode4 = detector.Mode(4);
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), mode4.begin() + ModePatternOffset));
}

TEST_F(VirtualDetectorTest, AbsentUserModeRefusesOrStaysSilent) {
    detector.SetUserModePresent(6, false);
    const std::uint8_t modeId = ModeId(6);
    const std::uint8_t patternId = PatternId(PatternSlotOfMode(6));

    EXPECT_THAT(host.Read(modeId, ModeSize), ElementsAre(0x00));
    EXPECT_THAT(host.Read(patternId, PatternSize), ElementsAre(0x00));
    EXPECT_THAT(host.Write(patternId, Filled(PatternSize, 1)), ElementsAre(0x00));

    detector.SetAbsentModeAnswer(AbsentModeAnswer::Silence);
    EXPECT_TRUE(host.Read(modeId, ModeSize, 20ms).empty());
    EXPECT_TRUE(host.Collect(1, 20ms).empty());
    EXPECT_EQ(detector.PendingOutput(), 0u);

    // The other user modes are not affected.
    EXPECT_EQ(host.Read(ModeId(7), ModeSize).size(), 1 + ModeSize);
}

TEST_F(VirtualDetectorTest, WritingAUserModeMakesItPresent) {
    for (int slot : {4, 7}) {
        detector.SetUserModePresent(slot, false);
    }
    const auto keptPattern = detector.Pattern(PatternSlotOfMode(7));
    EXPECT_THAT(host.Write(ModeId(4), Filled(ModeSize, 9)), ElementsAre(0x01));
    EXPECT_THAT(host.Write(ModeSettingsId(7), Filled(ModeSettingsSize, 9)), ElementsAre(0x01));
    EXPECT_TRUE(detector.UserModePresent(4));
    EXPECT_TRUE(detector.UserModePresent(7));
    EXPECT_EQ(detector.Pattern(PatternSlotOfMode(7)), keptPattern);
    EXPECT_EQ(host.Read(ModeId(4), ModeSize).size(), 1 + ModeSize);
}

TEST_F(VirtualDetectorTest, RefusedAndSilencedIds) {
    detector.RefuseId(UniversalSettingsId);
    detector.SilenceId(PreferencesId);
    const auto universal = detector.UniversalSettings();
    EXPECT_THAT(host.Read(UniversalSettingsId, UniversalSettingsSize), ElementsAre(0x00));
    EXPECT_THAT(host.Write(UniversalSettingsId, Filled(UniversalSettingsSize, 1)),
                ElementsAre(0x00));
    EXPECT_EQ(detector.UniversalSettings(), universal);
    EXPECT_TRUE(host.Read(PreferencesId, PreferencesSize, 20ms).empty());
    EXPECT_TRUE(host.Write(FinishUploadId, {}).size() == 1) << "other ids still answer";

    detector.RefuseId(UniversalSettingsId, false);
    detector.SilenceId(PreferencesId, false);
    EXPECT_EQ(host.Read(UniversalSettingsId, UniversalSettingsSize).size(),
              1 + UniversalSettingsSize);
    EXPECT_EQ(host.Read(PreferencesId, PreferencesSize).size(), 1 + PreferencesSize);
}

TEST_F(VirtualDetectorTest, ForgottenWritesAreAcknowledgedButChangeNothing) {
    detector.ForgetWritesTo(static_cast<std::uint8_t>(PatternId(20)));
    const auto kept = detector.Pattern(20);
    EXPECT_THAT(host.Write(PatternId(20), Filled(PatternSize, 3)), ElementsAre(0x01));
    EXPECT_EQ(detector.Pattern(20), kept);
    EXPECT_THAT(host.Write(PatternId(21), Filled(PatternSize, 3)), ElementsAre(0x01));
    EXPECT_EQ(Bytes(detector.Pattern(21)), Filled(PatternSize, 3)) << "other ids still take it";

    detector.ClearFaults();
    EXPECT_THAT(host.Write(PatternId(20), Filled(PatternSize, 3)), ElementsAre(0x01));
    EXPECT_EQ(Bytes(detector.Pattern(20)), Filled(PatternSize, 3));
}

TEST_F(VirtualDetectorTest, LateAnswerIsDueOnlyAfterTheDelay) {
    detector.SetReplyDelay(40ms);
    const auto start = std::chrono::steady_clock::now();
    host.Send(tovra::ParameterChannel, {PreferencesId, 0x00});
    std::uint8_t buffer[64];
    EXPECT_EQ(detector.ReadOutput(buffer, sizeof buffer, 5ms), 0u);
    EXPECT_GT(detector.PendingOutput(), 0u);
    const auto reply = host.Collect(1 + PreferencesSize);
    EXPECT_EQ(reply.size(), 1 + PreferencesSize);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
}

TEST_F(VirtualDetectorTest, SplitReplyArrivesInTwoFrames) {
    for (std::size_t at : {std::size_t{1}, std::size_t{7}, UniversalSettingsSize}) {
        SCOPED_TRACE(at);
        host.frames.clear();
        detector.SetReplySplit(at);
        const auto reply = host.Read(UniversalSettingsId, UniversalSettingsSize);
        EXPECT_EQ(reply.size(), 1 + UniversalSettingsSize);
        ASSERT_EQ(host.frames.size(), 2u);
        EXPECT_EQ(host.frames[0].payload.size(), at);
        EXPECT_EQ(host.frames[1].payload.size(), 1 + UniversalSettingsSize - at);
    }
    // A one-byte write reply cannot be split; a split beyond the reply leaves it whole.
    host.frames.clear();
    detector.SetReplySplit(1);
    EXPECT_THAT(host.Write(FinishUploadId, {}), ElementsAre(0x01));
    detector.SetReplySplit(1 + PreferencesSize);
    EXPECT_EQ(host.Read(PreferencesId, PreferencesSize).size(), 1 + PreferencesSize);
    EXPECT_EQ(host.frames.size(), 2u);
}

TEST_F(VirtualDetectorTest, NoiseBetweenFramesIsSkippedByTheReceiver) {
    EXPECT_FALSE(detector.SetNoise({0x01, 0x7E})) << "the start byte is no noise";
    const std::vector<std::uint8_t> noise = {0x00, 0xFF, 0x13, 0x7D};
    ASSERT_TRUE(detector.SetNoise(noise));
    detector.SetReplySplit(5);
    const auto reply = host.Read(PreferencesId, PreferencesSize);
    EXPECT_EQ(reply.size(), 1 + PreferencesSize);
    ASSERT_GE(host.raw.size(), noise.size());
    EXPECT_TRUE(std::equal(noise.begin(), noise.end(), host.raw.begin()));
    EXPECT_EQ(host.raw.size(), 2 * (noise.size() + tovra::FrameHeaderSize) + 1 + PreferencesSize);
}

TEST_F(VirtualDetectorTest, BadChecksumSpoilsOnlyTheNextReply) {
    detector.SetReplySplit(3);
    detector.CorruptNextReplyChecksum();
    EXPECT_TRUE(host.Read(PreferencesId, PreferencesSize, 20ms).empty());
    EXPECT_TRUE(host.frames.empty()) << "both frames of the reply are dropped";
    EXPECT_EQ(host.Read(PreferencesId, PreferencesSize).size(), 1 + PreferencesSize);
}

TEST_F(VirtualDetectorTest, LinkLostAfterNRequests) {
    detector.LoseLinkAfter(2);
    EXPECT_EQ(host.Write(FinishUploadId, {}).size(), 1u);
    EXPECT_EQ(host.Read(PreferencesId, PreferencesSize).size(), 1 + PreferencesSize);
    EXPECT_FALSE(detector.LinkLost());
    EXPECT_TRUE(host.Read(PreferencesId, PreferencesSize, 20ms).empty());
    EXPECT_TRUE(detector.LinkLost());
    EXPECT_TRUE(host.Read(PreferencesId, PreferencesSize, 20ms).empty());
    EXPECT_EQ(detector.Requests().size(), 3u) << "nothing is received once the link is down";
    EXPECT_EQ(detector.FinishUploadCount(), 1);
}

TEST_F(VirtualDetectorTest, LostLinkDropsQueuedOutput) {
    detector.SetReplyDelay(30ms);
    host.Send(tovra::ParameterChannel, {PreferencesId, 0x00});
    detector.LoseLink();
    EXPECT_EQ(detector.PendingOutput(), 0u);
    EXPECT_TRUE(host.Collect(1, 60ms).empty());
}

TEST_F(VirtualDetectorTest, LogsRequestsAndControlCommands) {
    host.Send(tovra::ControlChannel, {'l', 'o', 'g', 'i', 'n', '\r'});
    host.Send(tovra::ControlChannel, {'d', 'a', 't', 'a', ' ', '5', '\r'});
    host.Read(ModeId(8), ModeSize);
    host.Write(PreferencesId, Filled(PreferencesSize, 4));
    host.Send(tovra::ParameterChannel, {9});
    host.Collect(1);
    host.Send(42, {1, 2, 3});  // a channel the detector does not serve

    EXPECT_THAT(detector.ControlCommands(), ElementsAre("login\r", "data 5\r"));
    const auto log = detector.Requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].id, 10);
    EXPECT_EQ(log[0].kind, DetectorRequest::Kind::Read);
    EXPECT_TRUE(log[0].value.empty());
    EXPECT_EQ(log[1].id, 1);
    EXPECT_EQ(log[1].kind, DetectorRequest::Kind::Write);
    EXPECT_EQ(log[1].value, Filled(PreferencesSize, 4));
    EXPECT_EQ(log[2].kind, DetectorRequest::Kind::Malformed);
    EXPECT_THAT(log[2].value, ElementsAre(9));
    EXPECT_LE(log[0].time, log[1].time);
    EXPECT_LE(log[1].time, log[2].time);

    detector.ClearLog();
    EXPECT_TRUE(detector.Requests().empty());
    EXPECT_TRUE(detector.ControlCommands().empty());
}

TEST_F(VirtualDetectorTest, RepliesUseTheDetectorsOwnSequence) {
    const auto before = tovra::FrameSequence::Current();
    host.Read(PreferencesId, PreferencesSize);
    host.Read(PreferencesId, PreferencesSize);
    EXPECT_EQ(tovra::FrameSequence::Current(), before);
    ASSERT_GE(host.raw.size(), 2 * tovra::FrameHeaderSize);
    EXPECT_EQ(host.raw[1], 0);
    EXPECT_EQ(host.raw[tovra::FrameHeaderSize + 1 + PreferencesSize + 1], 1);
}

TEST_F(VirtualDetectorTest, FrameFedByteByByteIsAnswered) {
    const std::vector<std::uint8_t> payload = {0, 0x00};
    const auto frame = tovra::EncodeFrame(0, tovra::ParameterChannel, payload.data(), 2);
    for (std::uint8_t b : frame) {
        detector.Receive(&b, 1);
    }
    EXPECT_EQ(host.Collect(1 + UniversalSettingsSize).size(), 1 + UniversalSettingsSize);
}

TEST_F(VirtualDetectorTest, BlockedReaderIsWokenByAReply) {
    std::vector<std::uint8_t> got;
    std::thread reader([&] {
        std::uint8_t buffer[64];
        const std::size_t n = detector.ReadOutput(buffer, sizeof buffer, 2000ms);
        got.assign(buffer, buffer + n);
    });
    std::this_thread::sleep_for(10ms);
    const auto start = std::chrono::steady_clock::now();
    host.Send(tovra::ParameterChannel, {FinishUploadId, 0x01});
    reader.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(got.size(), tovra::FrameHeaderSize + 1);
}

TEST_F(VirtualDetectorTest, BackupRoundTrip) {
    auto payload = detector.SaveBackup();
    EXPECT_EQ(payload[backup::UserModePresent(0)], 1);
    EXPECT_EQ(payload[backup::UserModePresent(0) + 1], 0) << "reserved byte";

    // Change every record in the payload; My Mode 3 absent with garbage in its place.
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(payload[i] ^ 0x5C);
    }
    for (int k = 0; k < 4; ++k) {
        payload[backup::UserModePresent(k)] = 1;
        payload[backup::UserModePresent(k) + 1] = 0;
    }
    payload[backup::UserModePresent(2)] = 0;
    const auto storedMode6 = detector.Mode(6);
    const auto factory = detector.Mode(1);

    detector.LoadBackup(payload);
    EXPECT_FALSE(detector.UserModePresent(6));
    EXPECT_EQ(detector.Mode(6), storedMode6) << "an absent mode keeps its bytes";
    EXPECT_EQ(detector.Mode(1), factory);

    auto expected = payload;
    std::fill_n(expected.begin() + backup::UserMode(2), ModeSize, 0);
    EXPECT_EQ(detector.SaveBackup(), expected);

    // The payload's records are what the detector then answers.
    EXPECT_TRUE(std::equal(payload.begin() + backup::Swiftveil,
                           payload.begin() + backup::Swiftveil + PatternSize,
                           host.Read(PatternId(SwiftveilPatternSlot), PatternSize).begin() + 1));
    EXPECT_TRUE(std::equal(payload.begin() + backup::UserMode(0) + ModePatternOffset,
                           payload.begin() + backup::UserMode(0) + ModeSize,
                           host.Read(PatternId(14), PatternSize).begin() + 1));
}

TEST(VirtualDetectorDefaultsTest, RecordsAreDistinctAndUserModesPresent) {
    VirtualDetector detector;
    std::vector<std::vector<std::uint8_t>> seen;
    const auto add = [&seen](std::vector<std::uint8_t> record) {
        EXPECT_TRUE(std::any_of(record.begin(), record.end(), [](auto b) { return b != 0; }));
        EXPECT_EQ(std::find(seen.begin(), seen.end(), record), seen.end());
        seen.push_back(std::move(record));
    };
    for (int slot = 0; slot < ModeSlotCount; ++slot) {
        add(Bytes(detector.Mode(slot)));
    }
    for (int slot = FirstPatternSlot; slot <= LastPatternSlot; ++slot) {
        add(Bytes(detector.Pattern(slot)));
    }
    add(Bytes(detector.UniversalSettings()));
    add(Bytes(detector.Preferences()));
    for (int slot = FirstUserModeSlot; slot <= LastUserModeSlot; ++slot) {
        EXPECT_TRUE(detector.UserModePresent(slot));
    }
    EXPECT_THROW(detector.Mode(9), std::out_of_range);
    EXPECT_THROW(detector.Pattern(13), std::out_of_range);
    EXPECT_THROW(detector.UserModePresent(8), std::out_of_range);
}

TEST_F(VirtualDetectorTest, FaultsOfOneIdShapeOnlyItsReplies) {
    struct Case {
        const char* name;
        std::function<void(VirtualDetector&)> on;
        std::size_t frames;     // frames of the preferences reply that reach the host
        std::size_t replySize;  // their payload bytes
    };
    const std::vector<Case> cases = {
        {"one byte long", [](VirtualDetector& d) { d.ResizeReplies(PreferencesId, 1); }, 1,
         2 + PreferencesSize},
        {"one byte short", [](VirtualDetector& d) { d.ResizeReplies(PreferencesId, -1); }, 1,
         PreferencesSize},
        {"bad checksum", [](VirtualDetector& d) { d.CorruptId(PreferencesId); }, 0, 0},
        {"late", [](VirtualDetector& d) { d.DelayId(PreferencesId, 200ms); }, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualDetector d;
        HostLink link{d};
        c.on(d);
        for (int twice = 0; twice < 2; ++twice) {
            link.frames.clear();
            link.Send(tovra::ParameterChannel, {PreferencesId, 0x00});
            link.Collect(3 + PreferencesSize, 60ms);
            ASSERT_EQ(link.frames.size(), c.frames);
            if (c.frames == 1) {
                EXPECT_EQ(link.frames[0].payload.size(), c.replySize);
                EXPECT_EQ(link.frames[0].payload[0], 0x01);
            }
            if (c.frames == 0) {
                d.ClearFaults();  // a late reply still due comes out after it
                link.Collect(1 + PreferencesSize, 500ms);
                d.ClearLog();
                c.on(d);
            }
        }
        // Other ids are answered as ever.
        link.frames.clear();
        EXPECT_EQ(link.Read(UniversalSettingsId, UniversalSettingsSize).size(),
                  1 + UniversalSettingsSize);
        d.ClearFaults();
        EXPECT_EQ(link.Read(PreferencesId, PreferencesSize).size(), 1 + PreferencesSize);
    }
}
