// holvanectl diff, and the dry run, safety copy and verification around restore and upload,
// against the virtual detector.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include "ChildProcess.h"
#endif

#include <algorithm>
#include <filesystem>
#include <functional>

#include "CliFixture.h"
#include "Fileio.h"
#include "ParameterIds.h"
#include "PatternGrid.h"
#include "Simulation.h"
#include "VirtualDetector.h"

using namespace holvane;
using namespace holvane::cli;
using holvane::simulator::DetectorRequest;
using holvane::simulator::VirtualDetector;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

BackupPayload DefaultPayload() {
    VirtualDetector detector;
    return detector.SaveBackup();
}

// The safety copies in the state folder the fixture sets: of the detector, or of the virtual
// detector of --demo and --simulate.
enum class CopiesOf { Detector, VirtualDetector };
std::vector<std::filesystem::path> CopiesIn(const std::string& state,
                                            CopiesOf whose = CopiesOf::Detector) {
    std::vector<std::filesystem::path> copies;
    const auto folder = std::filesystem::path(state) / "holvane" /
                        (whose == CopiesOf::VirtualDetector ? "safety-virtual" : "safety");
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        copies.push_back(entry.path());
    }
    return copies;
}

class DiffFilesTest : public test::CliTest {};

}  // namespace

TEST_F(DiffFilesTest, EveryKindIsComparedByWhatShowsIt) {
    const BackupPayload payload = DefaultPayload();
    VirtualDetector detector;
    const ModeRecord mode = detector.Mode(4);
    const PatternRecord pattern = detector.Pattern(20);
    const UniversalSettingsRecord universal = detector.UniversalSettings();
    struct Case {
        const char* name;
        std::function<void(const std::string& a, const std::string& b)> write;
        int status;
        std::string out;  // a part of stdout
        std::string err;  // a part of stderr
    };
    const std::vector<Case> cases = {
        {"identical backups",
         [&](const std::string& a, const std::string& b) {
             WriteBackupFile(a, payload);
             WriteBackupFile(b, payload);
         },
         0, "identical\n", ""},
        {"one setting",
         [&](const std::string& a, const std::string& b) {
             WriteBackupFile(a, payload);
             BackupPayload other = payload;
             other[backup::UniversalSettings + universalsettings::NoiseCancel] = 3;
             WriteBackupFile(b, other);
         },
         1, "[Universal settings]\n  Noise Cancel                  7 -> 3\n1 difference\n", ""},
        {"one cell",
         [&](const std::string& a, const std::string& b) {
             WriteModeFile(a, mode);
             ModeRecord other = mode;
             other[ModePatternOffset + PatternCellByte(3, 9)] ^= PatternCellMask(3);
             WriteModeFile(b, other);
         },
         1, "[Mode]\n  pattern cells                 1 differs, in row 3\n", ""},
        {"one unshown bit",
         [&](const std::string& a, const std::string& b) {
             WritePatternFile(a, pattern);
             PatternRecord other = pattern;
             other[PatternCellByte(34, 0)] ^= 0x10;
             WritePatternFile(b, other);
         },
         1, "[Pattern]\n  byte 16, bits f8", ""},
        {"identical universal settings",
         [&](const std::string& a, const std::string& b) {
             WriteUniversalFile(a, universal);
             WriteUniversalFile(b, universal);
         },
         0, "identical\n", ""},
        {"a user mode absent on one side",
         [&](const std::string& a, const std::string& b) {
             WriteBackupFile(a, payload);
             BackupPayload other = payload;
             other[backup::UserModePresent(2)] = 0;
             WriteBackupFile(b, other);
         },
         1, "[My Mode 3]\n  held by ", ""},
        {"a mode with its pattern and one without",
         [&](const std::string& a, const std::string& b) {
             WriteModeFile(a, mode);
             WriteModeSettingsFile(b, mode);
         },
         1, "[Mode pattern]\n", ""},
        {"two kinds",
         [&](const std::string& a, const std::string& b) {
             WriteModeFile(a, mode);
             WritePatternFile(b, pattern);
         },
         2, "", "is a mode file, "},
        {"a corrupted file",
         [&](const std::string& a, const std::string& b) {
             WriteUniversalFile(a, universal);
             WriteUniversalFile(b, universal);
             auto bytes = FileBytes(b);
             bytes[9] ^= 1;
             WriteBytes(b, bytes);
         },
         2, "", "has corrupted data: checksum mismatch"},
        {"a folder",
         [&](const std::string& a, const std::string& b) {
             WriteUniversalFile(a, universal);
             std::filesystem::create_directory(b);
         },
         2, "", "it is a folder, not a regular file"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Appended, not "a" + std::to_string(n): GCC 12 at -O3 misreads that as an overlapping
        // copy.
        const std::string number = std::to_string(n++);
        const std::string a = Path(std::string("a").append(number));
        const std::string b = Path(std::string("b").append(number));
        c.write(a, b);
        const auto r = Holvanectl({"diff", a, b});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(Contains(r.out, c.out)) << r.out;
        EXPECT_TRUE(Contains(r.err, c.err)) << r.err;
    }
}

TEST_F(DiffFilesTest, TheSafetyCopyIsTheStateBeforeByteForByteAndTakesItBack) {
    WriteBackupFile(Path("before.vantor"), DefaultPayload());
    BackupPayload other = DefaultPayload();
    other[backup::UniversalSettings + universalsettings::NoiseCancel] = 2;
    other[backup::MyPattern(3) + 20] ^= 0x21;
    WriteBackupFile(Path("new.vantor"), other);
    auto r = Holvanectl({"--simulate", Path("before.vantor"), "--save-state", Path("after.vantor"),
                         "restore", Path("new.vantor"), "--yes"});
    ASSERT_EQ(r.status, ExitSuccess) << r.err;
    const auto copies = CopiesIn(Path("state"), CopiesOf::VirtualDetector);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_TRUE(CopiesIn(Path("state")).empty()) << "a real detector's copies stay apart";
    EXPECT_EQ(FileBytes(copies[0].string()), FileBytes(Path("before.vantor")));
    EXPECT_EQ(FileBytes(Path("after.vantor")), FileBytes(Path("new.vantor")));

    r = Holvanectl({"--simulate", Path("after.vantor"), "--save-state", Path("back.vantor"),
                    "restore", copies[0].string(), "--yes", "--no-safety-copy"});
    ASSERT_EQ(r.status, ExitSuccess) << r.err;
    EXPECT_EQ(FileBytes(Path("back.vantor")), FileBytes(Path("before.vantor")));
}

TEST_F(DiffFilesTest, TwoKindsAreNamedBoth) {
    VirtualDetector detector;
    WriteModeFile(Path("m.mode"), detector.Mode(4));
    WritePatternFile(Path("p.ptrn"), detector.Pattern(20));
    const auto r = Holvanectl({"diff", Path("m.mode"), Path("p.ptrn")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "The files '" + Path("m.mode") + "' and '" + Path("p.ptrn") +
                         "' cannot be compared: '" + Path("m.mode") + "' is a mode file, '" +
                         Path("p.ptrn") + "' a pattern file.\n");
}

TEST_F(DiffFilesTest, UsageErrorsAreTrouble) {
    WriteBackupFile(Path("a.vantor"), DefaultPayload());
    const std::string a = Path("a.vantor");
    const std::vector<std::vector<std::string>> lines = {
        {"diff", a},
        {"diff", a, a, "--detector"},
        {"diff", a, a, "--slot", "My Mode 1"},
        {"--demo", "restore", a, "--dry-run", "--verify"},
        {"--demo", "diff", a, "--detector", "--slot", "My Mode 1"},
    };
    for (const auto& line : lines) {
        const auto r = Holvanectl(line);
        EXPECT_EQ(r.status, 2) << line.back();
        EXPECT_TRUE(Contains(r.err, "holvanectl: ")) << r.err;
    }
}

#if !defined(_WIN32)
TEST_F(DiffFilesTest, JsonIsOneDocumentThatNamesItsSchemaFirst) {
    const BackupPayload payload = DefaultPayload();
    BackupPayload other = payload;
    other[backup::Preferences + preferences::Contrast] = 2;
    other[backup::UserModePresent(0)] = 0;
    other[backup::Swiftveil + PatternCellByte(0, 0)] ^= 1;
    other[backup::Swiftveil + 1] ^= 0x80;
    WriteBackupFile(Path("a.vantor"), payload);
    WriteBackupFile(Path("b.vantor"), other);
    const auto r = Holvanectl({"diff", Path("a.vantor"), Path("b.vantor"), "--json"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(r.out.starts_with("{\n  \"schema\": \"holvane-diff/1\",")) << r.out;
    QJsonParseError error{};
    const QJsonObject doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    EXPECT_EQ(doc["kind"].toString(), "backup");
    EXPECT_EQ(doc["identical"].toBool(), false);
    const QJsonArray list = doc["differences"].toArray();
    ASSERT_EQ(list.size(), 4);
    // In the payload's order: My Mode 1, preferences, then the Swiftveil pattern.
    EXPECT_EQ(list[0]["section"].toString(), "My Mode 1");
    EXPECT_EQ(list[0]["type"].toString(), "presence");
    EXPECT_EQ(list[0]["newPresent"].toBool(), false);
    EXPECT_EQ(list[1]["type"].toString(), "setting");
    EXPECT_EQ(list[1]["setting"].toString(), "Contrast");
    EXPECT_EQ(list[1]["new"].toString(), "2");
    EXPECT_EQ(list[1]["offset"].toInt(), int(backup::Preferences + preferences::Contrast));
    EXPECT_EQ(list[2]["type"].toString(), "cells");
    EXPECT_EQ(list[2]["count"].toInt(), 1);
    EXPECT_EQ(list[2]["rows"].toArray(), QJsonArray({0}));
    EXPECT_EQ(list[3]["type"].toString(), "bits");
    EXPECT_EQ(list[3]["offset"].toInt(), int(backup::Swiftveil + 1));
    EXPECT_EQ(list[3]["mask"].toInt(), 255);

    const auto same = Holvanectl({"diff", Path("a.vantor"), Path("a.vantor"), "--json"});
    EXPECT_EQ(same.status, 0);
    EXPECT_TRUE(Contains(same.out, "\"identical\": true")) << same.out;
}
#endif

// ---- Against the detector ----

namespace {

class DetectorDiffTest : public test::CliTest {
protected:
    VirtualDetector& Detector() { return simulation_.Detector(); }

    bool OnlyReads() {
        return std::ranges::all_of(Detector().Requests(), [](const DetectorRequest& r) {
            return r.kind == DetectorRequest::Kind::Read;
        });
    }

    std::size_t WrittenCount() {
        return static_cast<std::size_t>(std::ranges::count(
            Detector().Requests(), DetectorRequest::Kind::Write, &DetectorRequest::kind));
    }

private:
    Simulation simulation_;  // installed for every command the test runs
};

}  // namespace

TEST_F(DetectorDiffTest, AFileIsComparedWithWhatItWouldBeWrittenTo) {
    WriteBackupFile(Path("all.vantor"), Detector().SaveBackup());
    WriteUniversalFile(Path("u.glb"), Detector().UniversalSettings());
    WritePatternFile(Path("p.ptrn"), Detector().Pattern(22));
    WriteModeFile(Path("m.mode"), Detector().Mode(6));
    Detector().SetUserModePresent(7, false);
    PreferencesRecord preferences = Detector().Preferences();
    preferences[preferences::ShowModeInfo] = 0;
    Detector().SetPreferences(preferences);
    Detector().ClearLog();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"u.glb"}, 0, "identical\n"},
        {{"p.ptrn", "--slot", "My Pattern 3"}, 0, "identical\n"},
        {{"p.ptrn", "--slot", "My Pattern 4"}, 1, "+++ detector: My Pattern 4\n[My Pattern 4]\n"},
        {{"m.mode", "--slot", "My Mode 3"}, 0, "identical\n"},
        {{"m.mode", "--slot", "My Mode 4"}, 1, "[My Mode 4]\n  held by "},
        {{"m.mode", "--slot", "My Mode 3 Pattern"}, 0, "identical\n"},
        {{"all.vantor"},
         1,
         "+++ detector\n[My Mode 4]\n  held by " + Path("all.vantor") +
             " only, not by detector\n[Preferences]\n  Show Mode Info                On -> Off\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"diff", Path(c.args[0]), "--detector"};
        args.insert(args.end(), c.args.begin() + 1, c.args.end());
        const auto r = Holvanectl(args);
        SCOPED_TRACE(c.args[0]);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(Contains(r.out, c.out)) << r.out;
    }
    EXPECT_TRUE(OnlyReads());
}

#if !defined(_WIN32)
TEST_F(DetectorDiffTest, UnderJsonTroubleIsTheErrorObjectWithStderrsMessage) {
    WritePatternFile(Path("p.ptrn"), Detector().Pattern(22));
    WriteUniversalFile(Path("u.glb"), Detector().UniversalSettings());
    const std::vector<std::vector<std::string>> lines = {
        {"diff", Path("p.ptrn"), "--detector", "--json"},
        {"diff", Path("u.glb"), "--detector", "--slot", "My Mode 1", "--json"},
        {"diff", Path("u.glb"), Path("none.glb"), "--json"},
    };
    for (const auto& line : lines) {
        SCOPED_TRACE(line[1] + " " + line[2]);
        const auto r = Holvanectl(line);
        EXPECT_EQ(r.status, 2);
        const QJsonObject error =
            QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
        EXPECT_EQ(error["schema"].toString(), "holvane-error/1") << r.out;
        EXPECT_FALSE(r.err.empty());
        EXPECT_EQ(error["message"].toString().toStdString() + "\n", r.err);
        EXPECT_EQ(error["exitStatus"].toInt(), 2);
    }
}
#endif

TEST_F(DetectorDiffTest, ADetectorThatCannotBeReadIsTrouble) {
    WriteBackupFile(Path("all.vantor"), Detector().SaveBackup());
    Detector().LoseLinkAfter(3);
    const auto r = Holvanectl({"diff", Path("all.vantor"), "--detector"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Contains(r.err, "Backup has been aborted.")) << r.err;
}

// ---- Dry run, safety copy, verification ----

namespace {

class WriteChecksCliTest : public DetectorDiffTest {
protected:
    void SetUp() override {
        DetectorDiffTest::SetUp();
        // Files that differ from the detector in every kind.
        BackupPayload payload = Detector().SaveBackup();
        payload[backup::UniversalSettings + universalsettings::NoiseCancel] = 2;
        payload[backup::MyPattern(1) + PatternCellByte(5, 5)] ^= PatternCellMask(5);
        payload[backup::UserModePresent(3)] = 0;
        WriteBackupFile(Path("b.vantor"), payload);
        ModeRecord mode = Detector().Mode(4);
        mode[modesettings::AudioVolumeGain] = 3;
        WriteModeFile(Path("m.mode"), mode);
        mode[modesettings::AudioVolumeGain] = 5;
        WriteModeSettingsFile(Path("s.mode"), mode);
        PatternRecord pattern = Detector().Pattern(21);
        pattern[0] ^= 1;
        WritePatternFile(Path("p.ptrn"), pattern);
        UniversalSettingsRecord universal = Detector().UniversalSettings();
        universal[universalsettings::AudioThresholdPitch] = 9;
        WriteUniversalFile(Path("u.glb"), universal);
        Detector().ClearLog();
    }

    // The writes each command makes, after the file name.
    struct Write {
        const char* file;
        std::vector<std::string> options;
        std::uint8_t firstId;  // the first record it writes
        std::uint8_t changed;  // a record it changes
        const char* section;   // the name of that record in a report
    };
    static std::uint8_t Id(std::int32_t id) { return static_cast<std::uint8_t>(id); }
    std::vector<Write> Writes() const {
        return {
            {"b.vantor",
             {"--yes"},
             Id(ModeId(CurrentModeSlot)),
             Id(PatternId(21)),
             "[My Pattern 2]"},
            {"m.mode",
             {"--slot", "My Mode 1", "--yes"},
             Id(ModeId(4)),
             Id(ModeId(4)),
             "[My Mode 1]"},
            {"s.mode",
             {"--slot", "My Mode 1", "--yes"},
             Id(ModeSettingsId(4)),
             Id(ModeSettingsId(4)),
             "[My Mode 1]"},
            {"p.ptrn",
             {"--slot", "My Pattern 2"},
             Id(PatternId(21)),
             Id(PatternId(21)),
             "[My Pattern 2]"},
            {"u.glb", {}, UniversalSettingsId, UniversalSettingsId, "[Universal settings]"},
        };
    }
    std::vector<std::string> Line(const Write& w, std::vector<std::string> extra) {
        std::vector<std::string> args = {std::string(w.file) == "b.vantor" ? "restore" : "upload",
                                         Path(w.file)};
        args.insert(args.end(), w.options.begin(), w.options.end());
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
};

}  // namespace

TEST_F(WriteChecksCliTest, ADryRunReadsWhatWouldChangeAndWritesNothing) {
    const std::vector<std::pair<const char*, std::string>> expected = {
        {"b.vantor",
         "[Universal settings]\n  Noise Cancel                  7 -> 2\n[My Pattern "
         "2]\n  pattern cells                 1 differs, in row 5\n2 differences\n"},
        {"m.mode", "--- detector: My Mode 1\n+++ " + Path("m.mode") +
                       "\n[My Mode 1]\n  Audio Volume Gain             18 -> 3\n"},
        {"s.mode", "[My Mode 1]\n  Audio Volume Gain             18 -> 5\n  byte 0 "},
        {"p.ptrn", "[My Pattern 2]\n  byte 0                        "},
        {"u.glb", "[Universal settings]\n  Audio Threshold Pitch         12 -> 9\n"},
    };
    const BackupPayload before = Detector().SaveBackup();
    const auto writes = Writes();
    for (std::size_t i = 0; i < writes.size(); ++i) {
        SCOPED_TRACE(writes[i].file);
        // No terminal and no --yes: a dry run asks nothing.
        auto line = Line(writes[i], {"--dry-run"});
        std::erase(line, "--yes");
        const auto r = Holvanectl(line);
        EXPECT_EQ(r.status, ExitSuccess) << r.err;
        EXPECT_TRUE(Contains(r.out, expected[i].second)) << r.out;
        EXPECT_TRUE(Contains(r.err, "dry run: nothing was written")) << r.err;
    }
    EXPECT_TRUE(OnlyReads());
    EXPECT_EQ(Detector().FinishUploadCount(), 0);
    EXPECT_EQ(Detector().SaveBackup(), before);
    EXPECT_TRUE(CopiesIn(Path("state")).empty());
}

TEST_F(WriteChecksCliTest, ADryRunOfAWriteTheDetectorWouldRefuseSaysSo) {
    Detector().SetUserModePresent(5, false);
    const auto r =
        Holvanectl({"upload", Path("p.ptrn"), "--slot", "My Mode 2 Pattern", "--dry-run"});
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Cannot upload the pattern as User Mode 2 does not exist.\n"
              "dry run: nothing was written\n");
    EXPECT_TRUE(OnlyReads());
}

TEST_F(WriteChecksCliTest, ADetectorThatGoesAwayDuringADryRunEndsIt) {
    Detector().LoseLinkAfter(2);
    const auto r = Holvanectl({"restore", Path("b.vantor"), "--dry-run"});
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Contains(r.err, "Backup has been aborted.")) << r.err;
    EXPECT_TRUE(OnlyReads());
}

TEST_F(WriteChecksCliTest, TheSafetyCopyComesBeforeEveryWrite) {
    for (const Write& w : Writes()) {
        SCOPED_TRACE(w.file);
        const BackupPayload before = Detector().SaveBackup();
        Detector().ClearLog();
        const auto r = Holvanectl(Line(w, {}));
        ASSERT_EQ(r.status, ExitSuccess) << r.err;
        const auto requests = Detector().Requests();
        const auto firstWrite =
            std::ranges::find(requests, DetectorRequest::Kind::Write, &DetectorRequest::kind);
        ASSERT_NE(firstWrite, requests.end());
        EXPECT_EQ(firstWrite->id, w.firstId);
        EXPECT_GE(firstWrite - requests.begin(), 14) << "the whole detector is read first";
        // The message names the newest copy, which holds the state before the write.
        auto copies = CopiesIn(Path("state"));
        std::ranges::sort(copies);
        ASSERT_FALSE(copies.empty());
        EXPECT_TRUE(
            Contains(r.err, "previous detector state saved in " + copies.back().string() + "\n"))
            << r.err;
        BackupPayload saved{};
        ASSERT_EQ(ReadBackupFile(copies.back().string(), saved), FileResult::Success);
        EXPECT_EQ(saved, before);
        EXPECT_NE(Detector().SaveBackup(), before);
    }
    EXPECT_EQ(CopiesIn(Path("state")).size(), Writes().size());
}

TEST_F(WriteChecksCliTest, NoSafetyCopyWritesWithoutOne) {
    const auto r = Holvanectl({"upload", Path("u.glb"), "--no-safety-copy"});
    EXPECT_EQ(r.status, ExitSuccess) << r.err;
    EXPECT_FALSE(std::filesystem::exists(Path("state")));
    EXPECT_EQ(Detector().Requests().front().kind, DetectorRequest::Kind::Write);
}

TEST_F(WriteChecksCliTest, ACopyThatCannotBeMadeStopsTheWrite) {
    struct Case {
        const char* name;
        std::function<void()> spoil;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"a file where the state folder should be", [&] { WriteBytes(Path("state"), {1}); },
         "Nothing was written: the folder for the safety copy"},
        {"a detector that goes away during the copy", [&] { Detector().LoseLinkAfter(4); },
         "Nothing was written: the Vantor's state could not be read for the safety copy."},
    };
    const BackupPayload before = Detector().SaveBackup();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.spoil();
        for (const Write& w : Writes()) {
            const auto r = Holvanectl(Line(w, {}));
            EXPECT_EQ(r.status, ExitFailed) << w.file;
            EXPECT_TRUE(Contains(r.err, c.err)) << r.err;
        }
        EXPECT_TRUE(OnlyReads());
        EXPECT_EQ(Detector().SaveBackup(), before);
        EXPECT_TRUE(CopiesIn(Path("state")).empty());
        std::filesystem::remove_all(Path("state"));
    }
}

#if !defined(_WIN32)
TEST_F(WriteChecksCliTest, AReadOnlyStateFolderStopsTheWrite) {
    using childprocess::ChildRun;
    using childprocess::UnprivilegedId;
    // The superuser may write into any folder: as root the command runs in a child as an
    // unprivileged user, who owns the folder but may not write into it.
    const bool asRoot = ::geteuid() == 0;
    const std::string state = Path("state");
    std::filesystem::create_directory(state);
    std::filesystem::permissions(
        Path(""), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                      std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                      std::filesystem::perms::others_exec);
    std::filesystem::permissions(Path("u.glb"), std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::owner_write |
                                                    std::filesystem::perms::group_read |
                                                    std::filesystem::perms::others_read);
    if (asRoot) {
        ASSERT_EQ(::chown(state.c_str(), UnprivilegedId, UnprivilegedId), 0);
    }
    std::filesystem::permissions(
        state, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec,
        std::filesystem::perm_options::replace);
    // The child answers with its exit status, the number of requests the detector saw, and
    // its messages.
    const ChildRun run = childprocess::RunInChild(
        [&] {
            const auto r = Holvanectl({"upload", Path("u.glb")});
            return std::to_string(r.status) + " " + std::to_string(Detector().Requests().size()) +
                   "\n" + r.err;
        },
        asRoot ? childprocess::ChildUser::Unprivileged : childprocess::ChildUser::Same,
        std::chrono::seconds(20));
    std::filesystem::permissions(state, std::filesystem::perms::owner_all);
    ASSERT_EQ(run.end, ChildRun::End::Finished);
    EXPECT_EQ(run.answer.substr(0, run.answer.find('\n')), std::to_string(ExitFailed) + " 0")
        << "the command wrote or read although no copy could be kept";
    EXPECT_TRUE(Contains(run.answer, "Nothing was written: the folder for the safety copy"))
        << run.answer;
    EXPECT_TRUE(Contains(run.answer, "permission denied")) << run.answer;
    EXPECT_FALSE(std::filesystem::exists(Path("state/holvane")));
}
#endif

TEST_F(WriteChecksCliTest, VerifyReadsBackEveryRecordWritten) {
    const std::vector<std::string> counts = {"verified 13 records\n", "verified 1 record\n",
                                             "verified 1 record\n", "verified 1 record\n",
                                             "verified 1 record\n"};
    const auto writes = Writes();
    for (std::size_t i = 0; i < writes.size(); ++i) {
        SCOPED_TRACE(writes[i].file);
        const auto r = Holvanectl(Line(writes[i], {"--verify"}));
        EXPECT_EQ(r.status, ExitSuccess) << r.err;
        EXPECT_TRUE(r.err.ends_with(counts[i])) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(WriteChecksCliTest, VerifyFindsAWriteTheDetectorForgot) {
    const auto writes = Writes();
    for (const Write& w : writes) {
        SCOPED_TRACE(w.file);
        Detector().ClearFaults();
        Detector().ForgetWritesTo(w.changed);
        const auto r = Holvanectl(Line(w, {"--verify"}));
        EXPECT_EQ(r.status, ExitFailed) << r.err;
        EXPECT_TRUE(r.out.starts_with("--- written\n+++ detector")) << r.out;
        EXPECT_TRUE(Contains(r.out, std::string("\n") + w.section + "\n")) << r.out;
        EXPECT_TRUE(Contains(r.err, "The Vantor does not hold what was written")) << r.err;
        EXPECT_TRUE(Contains(r.err, "previous detector state saved in ")) << r.err;
    }
}

#if !defined(_WIN32)
TEST_F(WriteChecksCliTest, UnderJsonADryRunOrAFailedVerificationPrintsOneDocument) {
    const auto parsed = [](const std::string& out) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
        return doc.object();
    };
    for (const Write& w : Writes()) {
        SCOPED_TRACE(w.file);
        // A dry run prints what would change as diff --json does, from the detector's side.
        const auto dry = Holvanectl(Line(w, {"--dry-run", "--json"}));
        EXPECT_EQ(dry.status, ExitSuccess) << dry.err;
        const QJsonObject preview = parsed(dry.out);
        EXPECT_EQ(preview["schema"].toString(), "holvane-diff/1");
        EXPECT_EQ(preview["new"].toString().toStdString(), Path(w.file));
        EXPECT_FALSE(preview["differences"].toArray().isEmpty());
        EXPECT_TRUE(OnlyReads());

        // A verification that finds the write forgotten fails with the error object.
        Detector().ClearFaults();
        Detector().ForgetWritesTo(w.changed);
        const auto verified = Holvanectl(Line(w, {"--verify", "--json"}));
        EXPECT_EQ(verified.status, ExitFailed);
        const QJsonObject failure = parsed(verified.out);
        EXPECT_EQ(failure["schema"].toString(), "holvane-error/1");
        EXPECT_TRUE(
            failure["message"].toString().startsWith("The Vantor does not hold what was written"))
            << verified.out;
        EXPECT_EQ(failure["exitStatus"].toInt(), ExitFailed);
        EXPECT_TRUE(Contains(verified.err, std::string("\n") + w.section + "\n")) << verified.err;
        Detector().ClearFaults();
        Detector().ClearLog();
    }
}
#endif

TEST_F(WriteChecksCliTest, ADetectorThatGoesAwayBeforeTheReadBackEndsTheVerification) {
    // The safety copy's 14 reads, the write and the end-of-upload go through; the read-back
    // finds the detector gone.
    Detector().LoseLinkAfter(16);
    const auto r = Holvanectl({"upload", Path("u.glb"), "--verify"});
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Contains(r.err, "What was written could not be read back to verify it.\n"))
        << r.err;
    EXPECT_TRUE(Contains(r.err, "previous detector state saved in ")) << r.err;
    EXPECT_EQ(Detector().FinishUploadCount(), 1);
    EXPECT_EQ(WrittenCount(), 2u) << "nothing written after the read-back failed";
}
