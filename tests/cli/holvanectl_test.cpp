// holvanectl end to end against the virtual detector (--simulate, --save-state).
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <QImage>
#include <QJsonDocument>
#include <QJsonParseError>

#include <sys/stat.h>
#endif

#include <cstdio>
#include <cstring>
#include <iostream>
#include <regex>

#if defined(_WIN32)
#include <windows.h>

#include <cctype>
#else
#include "ChildProcess.h"
#endif
#include "CliFixture.h"
#include "DemoContent.h"
#include "Fileio.h"
#include "ParameterIds.h"
#include "PatternGrid.h"
#include "PatternPicture.h"
#include "Simulation.h"
#include "VirtualDetector.h"
#include "platform/HidPlatform.h"

using namespace holvane;
using namespace holvane::cli;
using holvane::simulator::VirtualDetector;

namespace {

// The system's words for a missing file, as the messages give them.
#if defined(_WIN32)
const std::string NoSuchFile = [] {
    std::string text = SystemErrorText(ERROR_FILE_NOT_FOUND);
    text.front() = static_cast<char>(std::tolower(static_cast<unsigned char>(text.front())));
    return text;
}();
#else
const std::string NoSuchFile = "no such file or directory";
#endif

class HolvanectlTest : public test::CliTest {
protected:
    // A backup file of the demo content: My Mode 2 and My Mode 4 absent.
    BackupPayload WriteDemoSeed(const std::string& name) {
        VirtualDetector detector;
        simulator::SeedDemoContent(detector);
        const BackupPayload payload = detector.SaveBackup();
        EXPECT_EQ(WriteBackupFile(name, payload), FileResult::Success);
        return payload;
    }
    // A backup file of the virtual detector's default content: all user modes present.
    BackupPayload WriteDefaultSeed(const std::string& name) {
        VirtualDetector detector;
        const BackupPayload payload = detector.SaveBackup();
        EXPECT_EQ(WriteBackupFile(name, payload), FileResult::Success);
        return payload;
    }
    BackupPayload ReadBackup(const std::string& name) {
        BackupPayload payload{};
        EXPECT_EQ(ReadBackupFile(name, payload), FileResult::Success);
        return payload;
    }
    static void CopyUserMode(BackupPayload& to, const BackupPayload& from, int k) {
        const std::size_t at = backup::UserModePresent(k);
        std::memcpy(to.data() + at, from.data() + at, 2 + ModeSize);
    }
};

TEST_F(HolvanectlTest, BackupOfASeededDetectorEqualsTheSeed) {
    const BackupPayload seed = WriteDemoSeed(Path("seed.vantor"));
    const auto result = Holvanectl({"--simulate", Path("seed.vantor"), "backup", Path("copy")});
    ASSERT_EQ(result.status, ExitSuccess) << result.err;
    EXPECT_EQ(result.out, Path("copy.vantor") + "\n");  // the naming rule
    EXPECT_EQ(ReadBackup(Path("copy.vantor")), seed);
    // One progress line per record, absent modes included.
    EXPECT_NE(result.err.find("read current mode\n"), std::string::npos);
    EXPECT_NE(result.err.find("read My Mode 2 (absent)\n"), std::string::npos);
    EXPECT_NE(result.err.find("read My Pattern 6\n"), std::string::npos);
}

TEST_F(HolvanectlTest, FailedConnectionPointsToTheListAndWritesNoFile) {
    // No detector attached (and no simulation).
    const auto result = Holvanectl({"backup", Path("none.vantor")});
    EXPECT_EQ(result.status, ExitFailed);
    EXPECT_EQ(result.err,
              "Could not connect to the Vantor.\nCheck the connection and try again.\n"
              "Run 'holvanectl list' to see the detectors found and why any could not be "
              "opened.\n");
    EXPECT_FALSE(std::filesystem::exists(Path("none.vantor")));
}

TEST_F(HolvanectlTest, RestoreWritesTheFileAndLeavesAbsentUserModesAlone) {
    const BackupPayload target = WriteDefaultSeed(Path("target.vantor"));
    const BackupPayload seed = WriteDemoSeed(Path("seed.vantor"));
    const auto result = Holvanectl({"--simulate", Path("target.vantor"), "--save-state",
                                    Path("after.vantor"), "restore", Path("seed.vantor"), "--yes"});
    ASSERT_EQ(result.status, ExitSuccess) << result.err;
    EXPECT_NE(result.err.find("wrote My Pattern 6\n"), std::string::npos);

    BackupPayload expected = seed;
    CopyUserMode(expected, target, 1);  // My Mode 2 and 4 are not in the seed
    CopyUserMode(expected, target, 3);
    EXPECT_EQ(ReadBackup(Path("after.vantor")), expected);
}

TEST_F(HolvanectlTest, RestoreAsksFirstAndRefusesWithoutATerminal) {
    const BackupPayload target = WriteDefaultSeed(Path("target.vantor"));
    WriteDemoSeed(Path("seed.vantor"));
    struct Case {
        std::optional<std::deque<std::string>> answers;
        int status;
        bool written;
    };
    const Case cases[] = {
        {std::nullopt, ExitFailed, false},                  // no terminal, no --yes
        {std::deque<std::string>{"n"}, ExitFailed, false},  // declined
        {std::deque<std::string>{}, ExitFailed, false},     // end of input
        {std::deque<std::string>{"YES"}, ExitSuccess, true},
    };
    for (const Case& c : cases) {
        const auto result = Holvanectl({"--simulate", Path("target.vantor"), "--save-state",
                                        Path("after.vantor"), "restore", Path("seed.vantor")},
                                       c.answers);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(ReadBackup(Path("after.vantor")) != target, c.written) << result.err;
        if (c.answers) {
            EXPECT_NE(result.err.find("The backup data will overwrite the existing\nsettings"),
                      std::string::npos);
        }
    }
}

TEST_F(HolvanectlTest, RestoreChecksTheFileBeforeConnecting) {
    auto bytes = FileBytes((WriteDemoSeed(Path("seed.vantor")), Path("seed.vantor")));
    const std::int32_t sum = FileChecksum(std::span(bytes).first(3368));
    bytes[100] ^= 0x01;
    WriteBytes(Path("bad.vantor"), bytes);
    ASSERT_EQ(WriteModeFile(Path("m.mode"), ModeRecord{}), FileResult::Success);
    struct Case {
        std::string file;
        std::string message;
    };
    const Case cases[] = {
        {Path("bad.vantor"), "The file '" + Path("bad.vantor") +
                                 "' has corrupted data: checksum mismatch: stored " +
                                 std::to_string(sum) + ", computed " + std::to_string(sum + 1) +
                                 " over bytes 0..3367.\n"},
        {Path("m.mode"), "The file '" + Path("m.mode") + "' is a mode file, not a backup file.\n"},
        {Path("missing"),
         "Could not open the file '" + Path("missing") + "': " + NoSuchFile + ".\n"},
    };
    for (const Case& c : cases) {
        // No --simulate: a connection attempt would fail with the connect message instead.
        const auto result = Holvanectl({"restore", c.file, "--yes"});
        EXPECT_EQ(result.status, ExitFailed);
        EXPECT_EQ(result.err, c.message);
    }
}

// ---- show ----

struct ShowCase {
    std::string name;
    std::function<void(const std::string&)> write;
    std::vector<std::string> expected;  // lines in the output
};

class ShowTest : public HolvanectlTest {};

TEST_F(ShowTest, ShowsEveryKindByItsMagicNumberNotItsName) {
    ModeRecord mode{};
    DefaultModeSettings(ModeSettingsOf(mode));
    mode[modesettings::AudioResponse] = 9;  // shown as "Pitch Hold"
    mode[22] = 0xAB;
    SetPatternCell(reinterpret_cast<PatternRecord&>(*PatternOf(mode).data()), 0, 0, true);
    UniversalSettingsRecord universal{};
    DefaultUniversalSettings(universal);
    universal[universalsettings::SensitivityAutoLevel] = 254;
    PatternRecord pattern{};
    SetPatternCell(pattern, 34, 49, true);
    pattern[0] = 0x5A;
    pattern[PatternGridOffset + 5 * 7 + 4] |= 0x08;  // column 7: a bit that is no cell

    const std::vector<ShowCase> cases = {
        {"a.txt",
         [&](const std::string& f) { WriteModeFile(f, mode); },
         {"kind: mode file (magic 0xAABBCC01)", "valid: yes", "  has-pattern flag (offset 4)   01",
          "  Audio Response                Pitch Hold (byte 9, which no item stands for)",
          "    22..25    ab 00 00 00", "  #................................................."}},
        {"b.mode",
         [&](const std::string& f) { WriteUniversalFile(f, universal); },
         {"kind: universal settings file (magic 0xDEAA0233)", "  Sensitivity Auto Level        -2",
          "    4         1e"}},
        {"c",
         [&](const std::string& f) { WritePatternFile(f, pattern); },
         {"kind: pattern file (magic 0x0A23FF77)",
          "    0..11     5a 00 00 00 00 00 00 00 00 00 00 00",
          "  bits no cell shows (3..7 of each column's fifth byte), columns:\n"
          "    0..9      00 00 00 00 00 00 00 08 00 00\n",
          "  .................................................#"}},
        {"d.vantor",
         [&](const std::string& f) { WriteDemoSeed(f); },
         {"kind: backup file (magic 0xBACD0148)", "[My Mode 2]",
          "  absent: the backup holds no such mode; its 292 bytes at file offset " +
              std::to_string(FileBody + backup::UserMode(1)) + " are all zero",
          "  bits no cell shows (3..7 of each column's fifth byte): all clear",
          "[My Mode 3 pattern]  file offset 912, 266 bytes",
          "[Preferences]  file offset 1490, 16 bytes", "  Contrast                      "}},
    };
    for (const ShowCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.write(Path(c.name));
        const auto result = Holvanectl({"show", Path(c.name)});
        EXPECT_EQ(result.status, ExitSuccess) << result.err;
        for (const std::string& line : c.expected) {
            EXPECT_NE(result.out.find(line), std::string::npos) << line << "\n" << result.out;
        }
    }
    // The header, the section, the header and trailer bytes, the bits no cell shows (one line
    // and five of ten columns) and 35 lines of 50 cells for the one pattern of a pattern file.
    const auto out = Holvanectl({"show", Path("c")}).out;
    EXPECT_EQ(std::count_if(out.begin(), out.end(), [](char ch) { return ch == '\n'; }),
              4 + 2 + 3 + 6 + 35);
}

TEST_F(ShowTest, CorruptedFilesSayWhichCheckFails) {
    PatternRecord pattern{};
    WritePatternFile(Path("p.ptrn"), pattern);
    const auto good = FileBytes(Path("p.ptrn"));

    struct Case {
        std::string name;
        std::vector<std::uint8_t> bytes;
        std::string problem;
    };
    const std::int32_t stored = FileChecksum(std::span(good).first(270));
    auto flipped = good;
    flipped[100] = 0x01;
    auto shortened = good;
    shortened.resize(200);
    std::vector<std::uint8_t> foreign(good.size(), 0x11);
    const std::vector<Case> cases = {
        {"flipped", flipped,
         "checksum mismatch: stored " + std::to_string(stored) + ", computed " +
             std::to_string(stored + 1) + " over bytes 0..269"},
        {"short", shortened, "too short: 200 bytes, a pattern file has 274"},
        {"foreign", foreign,
         "unknown magic number 0x11111111: not a mode, pattern, universal-settings or backup "
         "file"},
        {"tiny", {0x77, 0xFF}, "too short for a magic number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(Path(c.name), c.bytes);
        const auto result = Holvanectl({"show", Path(c.name)});
        EXPECT_EQ(result.status, ExitFailed);
        EXPECT_NE(result.out.find("valid: no: " + c.problem + "\n"), std::string::npos)
            << result.out;
        EXPECT_EQ(result.err,
                  "The file '" + Path(c.name) + "' has corrupted data: " + c.problem + ".\n");
    }
}

// Every byte and bit of a file is shown: a change to any one of them that no row shows, or that
// a list row shows as the text of another value, changes the text.
TEST_F(ShowTest, AChangeNoRowShowsStillChangesTheText) {
    VirtualDetector detector;
    simulator::SeedDemoContent(detector);
    BackupPayload base = detector.SaveBackup();
    base[backup::CurrentMode + modesettings::AudioResponse] = 3;  // "Pitch Hold"
    ASSERT_EQ(base[backup::UserModePresent(1)], 0);               // My Mode 2 is absent
    struct Edit {
        const char* what;
        std::size_t at;
        std::uint8_t value;
    };
    const Edit edits[] = {
        {"a list row's value that no item stands for", modesettings::AudioResponse, 9},
        {"a bit of a stored pattern that is no cell", backup::MyPattern(0) + PatternGridOffset + 4,
         0x80},
        {"the same bit of the current mode's pattern",
         ModePatternOffset + PatternGridOffset + 5 * 49 + 4, 0x08},
        {"a byte of an absent user mode", backup::UserMode(1) + 10, 1},
        {"a pattern's trailer byte", backup::Swiftveil + PatternSize - 1, 7},
    };
    ASSERT_EQ(WriteBackupFile(Path("base.vantor"), base), FileResult::Success);
    const auto original = Holvanectl({"show", Path("base.vantor")});
    ASSERT_EQ(original.status, ExitSuccess);
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.what);
        BackupPayload edited = base;
        ASSERT_NE(edited[e.at], e.value);
        edited[e.at] = e.value;
        ASSERT_EQ(WriteBackupFile(Path("edited.vantor"), edited), FileResult::Success);
        const auto shown = Holvanectl({"show", Path("edited.vantor")});
        EXPECT_EQ(shown.status, ExitSuccess);
        EXPECT_NE(shown.out.substr(shown.out.find('\n')),
                  original.out.substr(original.out.find('\n')));
    }
}

#if !defined(_WIN32)
// Qt reads the JSON back; the Windows build has none.
TEST_F(ShowTest, JsonIsValidForAFileNameThatIsNotUtf8) {
    const std::string name = Path("caf\xE9 \xC3\xA9\xFF\"q\".glb");  // Latin-1, UTF-8, stray
    UniversalSettingsRecord record{};
    ASSERT_EQ(WriteUniversalFile(name, record), FileResult::Success);
    const auto result = Holvanectl({"show", name, "--json"});
    ASSERT_EQ(result.status, ExitSuccess) << result.err;
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(result.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(document["file"].toString().toStdString(), Path("caf\uFFFD \u00E9\uFFFD\"q\".glb"));
    std::string hex;
    for (const char c : name) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(c));
        hex += digits;
    }
    EXPECT_EQ(document["fileHex"].toString().toStdString(), hex);
    EXPECT_EQ(document["kind"].toString().toStdString(), "universal settings");
    // A UTF-8 name needs no second form.
    ASSERT_EQ(WriteUniversalFile(Path("caf\xC3\xA9.glb"), record), FileResult::Success);
    const auto plain = Holvanectl({"show", Path("caf\xC3\xA9.glb"), "--json"});
    ASSERT_EQ(plain.status, ExitSuccess);
    EXPECT_NE(plain.out.find("\"file\": \"" + Path("caf\xC3\xA9.glb") + "\""), std::string::npos);
    EXPECT_EQ(plain.out.find("fileHex"), std::string::npos);
}

#endif

std::vector<std::uint8_t> FromHex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

TEST_F(ShowTest, JsonCarriesTheRawBytesOfTheFileAndOfEachRecord) {
    WriteDemoSeed(Path("d.vantor"));
    auto bytes = FileBytes(Path("d.vantor"));
    bytes[3000] ^= 0x40;  // a corrupted file still shows what it holds
    WriteBytes(Path("d.vantor"), bytes);

    const auto result = Holvanectl({"show", Path("d.vantor"), "--json"});
    EXPECT_EQ(result.status, ExitFailed);
    const std::regex raw("\n  \"raw\": \"([0-9a-f]*)\"");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(result.out, match, raw)) << result.out.substr(0, 400);
    EXPECT_EQ(FromHex(match[1]), bytes);
    EXPECT_NE(result.out.find("\"valid\": false"), std::string::npos);
    EXPECT_NE(result.out.find("\"problem\": \"checksum mismatch"), std::string::npos);

    // Each record's raw bytes are the file's at its offset.
    const std::regex record("\"offset\": (\\d+),\n\\s*\"raw\": \"([0-9a-f]*)\"");
    int records = 0;
    for (auto it = std::sregex_iterator(result.out.begin(), result.out.end(), record);
         it != std::sregex_iterator(); ++it, ++records) {
        const std::size_t offset = std::stoul((*it)[1]);
        const auto part = FromHex((*it)[2]);
        ASSERT_LE(offset + part.size(), bytes.size());
        EXPECT_TRUE(std::equal(part.begin(), part.end(), bytes.begin() + offset)) << offset;
    }
    // The current mode, two user modes and the two absent ones, settings, patterns.
    EXPECT_EQ(records, 2 + 2 * 2 + 2 + 2 + 7);
}

// ---- messages about files ----

#if !defined(_WIN32)
// holvanectl names the file and the reason; every input is refused at once when it is no regular
// file, and a command on a named pipe fails instead of waiting for a writer.
TEST_F(HolvanectlTest, FileMessagesNameTheFileAndTheReason) {
    WriteDemoSeed(Path("seed.vantor"));
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0644), 0);
    std::filesystem::create_directory(Path("folder.vantor"));
    ASSERT_EQ(WriteUniversalFile(Path("u.glb"), UniversalSettingsRecord{}), FileResult::Success);
    ASSERT_EQ(WriteModeFile(Path("m.mode"), ModeRecord{}), FileResult::Success);
    WriteBytes(Path("secret.glb"), FileBytes(Path("u.glb")));
    ::chmod(Path("secret.glb").c_str(), 0600);
    ::chmod(Path("").c_str(), 0755);
    const std::string pipe =
        "Could not open the file '" + Path("pipe") + "': it is a named pipe, not a regular file.\n";
    const std::vector<std::string> sim = {"--simulate", Path("seed.vantor")};
    using childprocess::ChildUser;
    struct Case {
        std::vector<std::string> args;
        ChildUser user;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"show", Path("pipe")}, ChildUser::Same, pipe},
        {{"show", Path("pipe"), "--json"}, ChildUser::Same, pipe},
        {{"restore", Path("pipe"), "--yes"}, ChildUser::Same, pipe},
        {{"--demo", "upload", Path("pipe")}, ChildUser::Same, pipe},
        {{"picture", Path("pipe"), "-o", Path("p.png")}, ChildUser::Same, pipe},
        {{"--simulate", Path("pipe"), "list"}, ChildUser::Same, pipe},
        {{"show", Path("folder.vantor")},
         ChildUser::Same,
         "Could not open the file '" + Path("folder.vantor") +
             "': it is a folder, not a regular file.\n"},
        {{"show", Path("secret.glb")},
         ChildUser::Unprivileged,
         "Could not open the file '" + Path("secret.glb") + "': permission denied.\n"},
        {{"--demo", "upload", Path("u.glb"), "--slot", "My Mode 1"},
         ChildUser::Same,
         "holvanectl: universal settings take no slot\n"},
        {{"picture", Path("u.glb"), "-o", Path("p.png")},
         ChildUser::Same,
         "The file '" + Path("u.glb") +
             "' is a universal settings file, not a pattern or mode file: only these hold one "
             "pattern to draw.\n"},
        {{"--simulate", Path("m.mode"), "list"},
         ChildUser::Same,
         "The file '" + Path("m.mode") + "' is a mode file, not a backup file.\n"},
        {{"--demo", "backup", Path("folder.vantor")},
         ChildUser::Same,
         "Could not create the file '" + Path("folder.vantor") +
             "' to save the backup: it is a folder, not a regular file.\n"},
        {{"--demo", "download", "universal", "-o", Path("nowhere/u")},
         ChildUser::Same,
         "Could not create the file '" + Path("nowhere/u.glb") +
             "' to save the universal settings: no such file or directory.\n"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) {
            line += a + " ";
        }
        SCOPED_TRACE(line);
        const childprocess::ChildRun run = childprocess::RunInChild(
            [&] {
                const test::RunResult r = Holvanectl(c.args);
                return std::to_string(r.status) + "\n" + r.err;
            },
            c.user);
        if (run.end == childprocess::ChildRun::End::CannotSwitchUser) {
            std::cout << "[  SKIPPED ] " << line << ": cannot run as another user\n";
            continue;
        }
        ASSERT_EQ(run.end, childprocess::ChildRun::End::Finished)
            << "holvanectl blocked or crashed";
        const std::string status = c.err.starts_with("holvanectl:") ? "2" : "1";
        // The message ends what the command wrote (a backup's progress lines come first).
        EXPECT_TRUE(run.answer.starts_with(status + "\n")) << run.answer;
        EXPECT_TRUE(run.answer.ends_with("\n" + c.err)) << run.answer;
    }
    EXPECT_FALSE(std::filesystem::exists(Path("p.png")));
}

#endif

// ---- single-record transfers ----

TEST_F(HolvanectlTest, DownloadedRecordsUploadBackAsTheWindowWouldSendThem) {
    WriteDemoSeed(Path("seed.vantor"));
    const std::string sim[] = {"--simulate", Path("seed.vantor"), "--save-state", Path("s.vantor")};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), std::begin(sim), std::end(sim));
        return Holvanectl(args);
    };

    auto r = run({"download", "mode", "my mode 1", "-o", Path("m1")});
    ASSERT_EQ(r.status, ExitSuccess) << r.err;
    EXPECT_EQ(r.out, Path("m1.mode") + "\n");
    ModeRecord m1{};
    std::uint8_t flag = 0;
    ASSERT_EQ(ReadModeFile(Path("m1.mode"), m1, flag), FileResult::Success);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(m1[modesettings::TargetSlot], CurrentModeSlot);  // built for a file
    EXPECT_EQ(m1[modesettings::BuiltMarker], 1);

    // My Mode 2 is absent: nothing to overwrite, so no question (there is no terminal here).
    r = run({"upload", Path("m1.mode"), "--slot", "My Mode 2"});
    EXPECT_EQ(r.status, ExitSuccess) << r.err;

    // Into My Mode 3, which exists: asked, and refused without a terminal.
    r = run({"upload", Path("m1.mode"), "--slot", "My Mode 3"});
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_NE(r.err.find("no terminal to ask"), std::string::npos) << r.err;
    r = run({"upload", Path("m1.mode"), "--slot", "My Mode 3", "--yes"});
    ASSERT_EQ(r.status, ExitSuccess) << r.err;
    BackupPayload after = ReadBackup(Path("s.vantor"));
    ModeRecord expected = m1;
    expected[modesettings::TargetSlot] = 6;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                           after.begin() + static_cast<std::ptrdiff_t>(backup::UserMode(2))));

    r = run({"download", "pattern", "My Mode 2 Pattern", "-o", Path("p")});
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_EQ(r.err, "Cannot download the pattern as User Mode 2 does not exist.\n");

    r = run({"download", "pattern", "swiftveil", "-o", Path("sv")});
    ASSERT_EQ(r.status, ExitSuccess) << r.err;
    r = run({"upload", Path("sv.ptrn"), "--slot", "My Pattern 6"});
    ASSERT_EQ(r.status, ExitSuccess) << r.err;
    after = ReadBackup(Path("s.vantor"));
    EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(backup::Swiftveil),
                           after.begin() + static_cast<std::ptrdiff_t>(backup::MyPattern(0)),
                           after.begin() + static_cast<std::ptrdiff_t>(backup::MyPattern(5))));

    r = run({"upload", Path("sv.ptrn"), "--slot", "My Mode 4 Pattern"});
    EXPECT_EQ(r.status, ExitFailed);
    // The safety copy is made before the upload learns that the mode is absent.
    EXPECT_TRUE(r.err.starts_with("previous detector state saved in ")) << r.err;
    EXPECT_TRUE(r.err.ends_with("\nCannot upload the pattern as User Mode 4 does not exist.\n"))
        << r.err;

    r = run({"download", "universal", "-o", Path("u.txt")});
    ASSERT_EQ(r.status, ExitSuccess) << r.err;
    EXPECT_EQ(r.out, Path("u.txt.glb") + "\n");
    r = run({"upload", Path("u.txt.glb")});
    ASSERT_EQ(r.status, ExitSuccess) << r.err;

    // Usage errors found once the file's kind is known.
    EXPECT_EQ(run({"upload", Path("sv.ptrn")}).status, ExitUsage);
    EXPECT_EQ(run({"upload", Path("u.txt.glb"), "--slot", "Current Mode"}).status, ExitUsage);
    EXPECT_EQ(run({"upload", Path("m1.mode"), "--slot", "Korvane Coins"}).status, ExitUsage);
    EXPECT_EQ(run({"upload", Path("seed.vantor")}).status, ExitUsage);
}

#if defined(_WIN32)
// The Windows reasons in holvanectl's file messages: what the name is, or the system's words.
TEST_F(HolvanectlTest, FileMessagesGiveTheWindowsReasons) {
    std::filesystem::create_directory(Path("folder.vantor"));
    ASSERT_EQ(WriteUniversalFile(Path("ro.glb"), UniversalSettingsRecord{}), FileResult::Success);
    ASSERT_TRUE(::SetFileAttributesA(Path("ro.glb").c_str(), FILE_ATTRIBUTE_READONLY));
    const auto reason = [](int error) {
        std::string text = SystemErrorText(error);
        text.front() = static_cast<char>(std::tolower(static_cast<unsigned char>(text.front())));
        return text;
    };
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"show", Path("folder.vantor")},
         "Could not open the file '" + Path("folder.vantor") +
             "': it is a folder, not a regular file.\n"},
        {{"show", "NUL"},
         "Could not open the file 'NUL': it is a character device, not a regular "
         "file.\n"},
        {{"show", Path("missing.glb")},
         "Could not open the file '" + Path("missing.glb") + "': " + reason(ERROR_FILE_NOT_FOUND) +
             ".\n"},
        {{"--demo", "backup", Path("folder.vantor")},
         "Could not create the file '" + Path("folder.vantor") +
             "' to save the backup: it is a folder, not a regular file.\n"},
        {{"--demo", "download", "universal", "-o", Path("ro.glb")},
         "Could not create the file '" + Path("ro.glb") +
             "' to save the universal settings: " + reason(ERROR_ACCESS_DENIED) + ".\n"},
        {{"--demo", "download", "universal", "-o", Path("nowhere\\u")},
         "Could not create the file '" + Path("nowhere\\u.glb") +
             "' to save the universal settings: " + reason(ERROR_PATH_NOT_FOUND) + ".\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const auto result = Holvanectl(c.args);
        EXPECT_EQ(result.status, ExitFailed);
        EXPECT_TRUE(result.err.ends_with("\n" + c.err) || result.err == c.err) << result.err;
    }
    ::SetFileAttributesA(Path("ro.glb").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(HolvanectlTest, PictureAndUdevRuleSayTheyAreNotForWindows) {
    PatternRecord pattern{};
    WritePatternFile(Path("p.ptrn"), pattern);
    const auto picture = Holvanectl({"picture", Path("p.ptrn"), "-o", Path("p.png")});
    EXPECT_EQ(picture.status, ExitFailed);
    EXPECT_NE(picture.err.find("not available on Windows"), std::string::npos) << picture.err;
    EXPECT_FALSE(std::filesystem::exists(Path("p.png")));

    const auto rule = Holvanectl({"udev-rule"});
    EXPECT_EQ(rule.status, ExitFailed);
    EXPECT_EQ(rule.out, "");
    EXPECT_NE(rule.err.find("for Linux"), std::string::npos) << rule.err;
}
#else
TEST_F(HolvanectlTest, PictureIsTheFullDrawingScaledUp) {
    PatternRecord pattern{};
    SetPatternCell(pattern, 0, 0, true);
    WritePatternFile(Path("p.ptrn"), pattern);
    const auto result =
        Holvanectl({"picture", Path("p.ptrn"), "-o", Path("p.png"), "--scale", "3"});
    ASSERT_EQ(result.status, ExitSuccess) << result.err;
    const QImage image(QString::fromStdString(Path("p.png")));
    ASSERT_EQ(image.size(), QSize(3 * PatternPictureWidth, 3 * PatternPictureHeight));
    auto at = [&](int x, int y) { return image.pixelColor(3 * x + 1, 3 * y + 2); };
    EXPECT_EQ(at(0, 0), QColor(123, 158, 189));  // the frame
    EXPECT_EQ(at(1, 1), QColor(128, 128, 128));  // cell (0, 0) is the 2 x 2 block at (1, 1)
    EXPECT_EQ(at(2, 2), QColor(128, 128, 128));
    EXPECT_EQ(at(3, 3), QColor(255, 255, 255));

    ModeRecord mode{};
    WriteModeSettingsFile(Path("m.mode"), mode);
    const auto noPattern = Holvanectl({"picture", Path("m.mode"), "-o", Path("m.png")});
    EXPECT_EQ(noPattern.status, ExitFailed);
    EXPECT_EQ(noPattern.err, "The mode file '" + Path("m.mode") +
                                 "' holds no pattern, only the mode's settings.\n");
    EXPECT_FALSE(std::filesystem::exists(Path("m.png")));

    const std::string unwritable = Path("no-such-folder/p.png");
    const auto failed = Holvanectl({"picture", Path("p.ptrn"), "-o", unwritable});
    EXPECT_EQ(failed.status, ExitFailed);
    EXPECT_EQ(failed.err, "Could not save the picture in " + unwritable + ".\n");
}

TEST_F(HolvanectlTest, UdevRuleGrantsTheSeatUserAccessToTheDetectorsHidrawNodes) {
    const auto result = Holvanectl({"udev-rule"});
    EXPECT_EQ(result.status, ExitSuccess);
    EXPECT_NE(result.out.find("SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"2f1a\", TAG+=\"uaccess\""),
              std::string::npos);
    EXPECT_EQ(result.out.find("MODE="), std::string::npos);
}

#endif

TEST_F(HolvanectlTest, ListUnderTheDemoShowsTheVirtualDetector) {
    const auto result = Holvanectl({"--demo", "list"});
    EXPECT_EQ(result.status, ExitSuccess);
    EXPECT_EQ(result.out,
              "Detectors (--device takes the number or the path; without it, entry 0 is "
              "used):\n  0  virtual:vantor  2f1a:0001\n");
}

}  // namespace

// holvanectl on a virtual detector that misbehaves: what the command line says that the window
// does not.
class HolvanectlOnAFaultyLinkTest : public test::CliTest {
protected:
    VirtualDetector& Detector() { return simulation_.Detector(); }

private:
    Simulation simulation_;  // installed for every command the test runs
};

TEST_F(HolvanectlOnAFaultyLinkTest, BackupSaysWhichModesWentUnanswered) {
    Detector().SetUserModePresent(5, false);                     // My Mode 2: refused
    Detector().SilenceId(static_cast<std::uint8_t>(ModeId(6)));  // My Mode 3: silent
    const auto result = Holvanectl({"backup", Path("b")});
    ASSERT_EQ(result.status, ExitSuccess) << result.err;
    EXPECT_NE(result.err.find("read My Mode 2 (absent)\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("read My Mode 3 (no answer, taken as absent)\n"), std::string::npos)
        << result.err;
    const BackupPayload payload = [&] {
        BackupPayload p{};
        EXPECT_EQ(ReadBackupFile(Path("b.vantor"), p), FileResult::Success);
        return p;
    }();
    EXPECT_EQ(payload[backup::UserModePresent(2)], 0);
    EXPECT_EQ(payload[backup::UserModePresent(3)], 1);
}

TEST_F(HolvanectlOnAFaultyLinkTest, UploadIntoASlotThatDidNotAnswerNeedsYes) {
    ModeRecord mode{};
    mode.fill(0x2C);
    ASSERT_EQ(WriteModeFile(Path("m.mode"), mode), FileResult::Success);
    // Silence may mean an absent mode, or a lost answer about one that exists: not known empty.
    Detector().SetUserModePresent(4, false);
    Detector().SetAbsentModeAnswer(simulator::AbsentModeAnswer::Silence);
    const ModeRecord before = Detector().Mode(4);
    // Without the safety copy, whose backup would wait for the silent mode too.
    auto r = Holvanectl({"upload", Path("m.mode"), "--slot", "My Mode 1", "--no-safety-copy"});
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_NE(r.err.find("did not answer whether the slot holds a mode"), std::string::npos)
        << r.err;
    EXPECT_EQ(Detector().Mode(4), before);
    EXPECT_FALSE(Detector().UserModePresent(4));
    r = Holvanectl({"upload", Path("m.mode"), "--slot", "My Mode 1", "--yes", "--no-safety-copy"});
    EXPECT_EQ(r.status, ExitSuccess) << r.err;
    EXPECT_TRUE(Detector().UserModePresent(4));
    EXPECT_NE(Detector().Mode(4), before);
}

TEST_F(HolvanectlOnAFaultyLinkTest, ADetectorHeldByAnotherConnectionIsInUse) {
    // Another program's connection, as the seam sees it: the interface opened exclusively.
    auto held = [] {
        tovra::HidOpenError error = tovra::HidOpenError::Failed;
        auto device = tovra::CurrentHidPlatform().OpenExclusive(VirtualDetectorPath, error);
        EXPECT_NE(device, nullptr);
        return device;
    }();
    const auto refused = Holvanectl({"backup", Path("b")});
    EXPECT_EQ(refused.status, ExitFailed);
    EXPECT_EQ(refused.err, "The detector is in use by another program.\n");
    EXPECT_FALSE(std::filesystem::exists(Path("b.vantor")));
    EXPECT_TRUE(Detector().Requests().empty());
    held.reset();
    const auto after = Holvanectl({"backup", Path("b")});
    EXPECT_EQ(after.status, ExitSuccess) << after.err;
}

TEST_F(HolvanectlOnAFaultyLinkTest, AnEndOfUploadThatCannotBeSentIsAWarning) {
    UniversalSettingsRecord record{};
    ASSERT_EQ(WriteUniversalFile(Path("u.glb"), record), FileResult::Success);
    Detector().LoseLinkAfter(0);  // the write goes unanswered, the end-of-upload cannot be sent
    const auto r = Holvanectl({"upload", Path("u.glb"), "--no-safety-copy"});
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_NE(r.err.find("warning: the end-of-upload command could not be sent"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Could not upload the universal settings."), std::string::npos) << r.err;
}
