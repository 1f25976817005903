// Settings as text: import of what show --json prints, set by caption, and --device.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <regex>
#include <set>

#include "CliFixture.h"
#include "DemoContent.h"
#include "Fileio.h"
#include "JsonReader.h"
#include "MemoryHidPlatform.h"
#include "PatternGrid.h"
#include "SettingsText.h"
#include "TextCommands.h"
#include "VirtualDetector.h"
#include "platform/HidPlatform.h"

using namespace holvane;
using namespace holvane::cli;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A valid file of the kind whose every byte but the frame is drawn at random.
Bytes RandomImage(FileKind kind, unsigned seed) {
    std::mt19937 random(seed);
    Bytes image(FileKindOf(kind).fileSize);
    for (auto& b : image) {
        b = static_cast<std::uint8_t>(random());
    }
    SealFileImage(kind, image);
    return image;
}

Bytes PayloadImage(const BackupPayload& payload) {
    Bytes image(FileKindOf(FileKind::Backup).fileSize);
    std::ranges::copy(payload, image.begin() + FileBody);
    SealFileImage(FileKind::Backup, image);
    return image;
}

// Replaces the first occurrence, which the test expects to be there.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

class TextCommandsTest : public test::CliTest {
protected:
    std::string ShowJson(const std::string& file) {
        const auto shown = Holvanectl({"show", file, "--json"});
        EXPECT_EQ(shown.status, ExitSuccess) << shown.err;
        return shown.out;
    }
    void WriteText(const std::string& name, const std::string& text) {
        WriteBytes(name, Bytes(text.begin(), text.end()));
    }
    // A mode file with the default settings and one cell on.
    Bytes WriteDefaultMode(const std::string& name) {
        ModeRecord mode{};
        DefaultModeSettings(ModeSettingsOf(mode));
        mode[ModePatternOffset + PatternCellByte(20, 30)] = PatternCellMask(20);
        EXPECT_EQ(WriteModeFile(name, mode), FileResult::Success);
        return FileBytes(name);
    }
};

TEST_F(TextCommandsTest, ImportOfShowJsonGivesEveryKindBackByteForByte) {
    simulator::VirtualDetector demo;
    simulator::SeedDemoContent(demo);
    const simulator::VirtualDetector standard;
    struct Case {
        std::string what;
        FileKind kind;
        Bytes image;
    };
    std::vector<Case> cases = {
        {"demo backup (two user modes absent)", FileKind::Backup, PayloadImage(demo.SaveBackup())},
        {"the virtual detector's own backup", FileKind::Backup,
         PayloadImage(standard.SaveBackup())},
    };
    for (unsigned seed = 1; seed <= 3; ++seed) {
        for (const FileKind kind :
             {FileKind::Mode, FileKind::Pattern, FileKind::Universal, FileKind::Backup}) {
            cases.push_back(
                {"random " + std::string(FileKindOf(kind).word) + " " + std::to_string(seed), kind,
                 RandomImage(kind, seed)});
        }
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = Path("in") + std::string(FileKindOf(c.kind).extension);
        WriteBytes(file, c.image);
        WriteText(Path("doc.json"), ShowJson(file));
        const auto imported = Holvanectl({"import", Path("doc.json"), "-o", Path("out")});
        ASSERT_EQ(imported.status, ExitSuccess) << imported.err;
        const std::string out = Path("out") + std::string(FileKindOf(c.kind).extension);
        EXPECT_EQ(imported.out, out + "\n");
        EXPECT_EQ(FileBytes(out), c.image);
    }
}

TEST_F(TextCommandsTest, AnEditOfTheDocumentChangesExactlyItsByte) {
    const Bytes base = WriteDefaultMode(Path("m.mode"));
    const std::string document = ShowJson(Path("m.mode"));
    const std::string dots(PatternColumns, '.');
    struct Case {
        const char* what;
        std::string from;
        std::string to;
        std::size_t at;
        std::uint8_t value;
    };
    const Case cases[] = {
        {"an integer setting", "\"Audio Volume Gain\": 24", "\"Audio Volume Gain\": 25",
         ModeFileSettings + modesettings::AudioVolumeGain, 25},
        {"a list setting by its text", "\"Recovery Deep\": \"Off\"", "\"Recovery Deep\": \"on\"",
         ModeFileSettings + modesettings::RecoveryDeep, 1},
        {"a list setting by a byte no item stands for", "\"Audio Response\": \"Normal\"",
         "\"Audio Response\": 9", ModeFileSettings + modesettings::AudioResponse, 9},
        {"one cell", "\"" + dots + "\"", "\"#" + dots.substr(1) + "\"",
         ModeFilePattern + PatternCellByte(0, 0), 1},
        {"a byte no setting shows", "\"raw\": \"00000000000000000000\"",
         "\"raw\": \"00000000000000000700\"", ModeFileSettings + 8, 7},
        {"the has-pattern flag", "\"value\": 1", "\"value\": 0", ModeFileFlag, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(Path("doc.json"), Replaced(document, c.from, c.to));
        const auto imported = Holvanectl({"import", Path("doc.json"), "-o", Path("out.mode")});
        ASSERT_EQ(imported.status, ExitSuccess) << imported.err;
        const Bytes out = FileBytes(Path("out.mode"));
        ASSERT_EQ(out.size(), base.size());
        EXPECT_EQ(out[c.at], c.value);
        for (std::size_t i = 0; i + 4 < base.size(); ++i) {
            if (i != c.at) {
                EXPECT_EQ(out[i], base[i]) << "byte " << i;
            }
        }
        ModeRecord mode{};
        std::uint8_t flag = 0;
        EXPECT_EQ(ReadModeFile(Path("out.mode"), mode, flag), FileResult::Success);
    }
}

TEST_F(TextCommandsTest, AFaultyDocumentIsRefusedWithItsPlaceAndWritesNothing) {
    WriteDefaultMode(Path("m.mode"));
    const std::string document = ShowJson(Path("m.mode"));
    const std::string dots(PatternColumns, '.');
    const std::string settings = "sections.\"Mode settings\".settings";
    struct Case {
        const char* what;
        std::string document;
        std::string message;
    };
    const Case cases[] = {
        {"invalid JSON", document.substr(0, document.size() / 2), "not valid JSON: line "},
        {"a trailing comma",
         Replaced(document, "\"Ground\": \"Neutral\"", "\"Ground\": \"Neutral\","),
         "not valid JSON: line "},
        {"another schema", Replaced(document, "holvane-file/1", "holvane-file/2"),
         "schema: \"holvane-file/2\" is not holvane-file/1"},
        {"no schema", Replaced(document, "\"schema\": \"holvane-file/1\",", ""),
         "the document: the key \"schema\" is missing"},
        {"an unknown key", Replaced(document, "\"valid\": true", "\"valid\": true, \"colour\": 1"),
         "the document: unknown key \"colour\""},
        {"an unknown caption", Replaced(document, "\"Ground\"", "\"Underground\""),
         settings + ".\"Underground\": no setting is called \"Underground\" here"},
        {"a missing setting", Replaced(document, "\"Ground\": \"Neutral\",", ""),
         settings + ": the setting \"Ground\" is missing"},
        {"a text that is no item",
         Replaced(document, "\"Trash Density\": \"High\"", "\"Trash Density\": \"Medium\""),
         settings + ".\"Trash Density\": \"Medium\" is not one of High, Low"},
        {"a number above a byte",
         Replaced(document, "\"Audio Volume Gain\": 24", "\"Audio Volume Gain\": 256"),
         settings + ".\"Audio Volume Gain\": 256 is outside 0..255"},
        {"a negative number",
         Replaced(document, "\"Audio Volume Gain\": 24", "\"Audio Volume Gain\": -1"),
         settings + ".\"Audio Volume Gain\": -1 is outside 0..255"},
        {"a fraction",
         Replaced(document, "\"Audio Volume Gain\": 24", "\"Audio Volume Gain\": 2.5"),
         "not valid JSON: line "},
        {"a short pattern row",
         Replaced(document, "\"" + dots + "\"", "\"" + dots.substr(1) + "\""),
         "sections.\"Pattern\".cells[0]: 49 characters where 50 are expected"},
        {"another character in a row",
         Replaced(document, "\"" + dots + "\"", "\"" + dots.substr(1) + "o\""),
         "sections.\"Pattern\".cells[0]: character 50 is \"o\", not \"#\" or \".\""},
        {"a cell in the bits that are no cells",
         Replaced(document, "\"nonCellBits\": \"00", "\"nonCellBits\": \"01"),
         "sections.\"Pattern\".nonCellBits: column 0 sets bits that are cells"},
        {"a short run of unshown bytes",
         Replaced(document, "\"raw\": \"00000000000000000000\"", "\"raw\": \"000000\""),
         "sections.\"Mode settings\".unshownBytes[0].raw: 3 bytes where 10 are expected"},
        {"a section renamed", Replaced(document, "\"name\": \"Pattern\"", "\"name\": \"Patterns\""),
         "sections[2].name: \"Patterns\" where \"Pattern\" is expected"},
        {"a file that was not valid", Replaced(document, "\"valid\": true", "\"valid\": false"),
         "valid: the document shows a file that is not valid"},
    };
    const Bytes kept = {1, 2, 3};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(Path("doc.json"), c.document);
        WriteBytes(Path("kept.mode"), kept);
        const auto imported = Holvanectl({"import", Path("doc.json"), "-o", Path("new")});
        EXPECT_EQ(imported.status, ExitFailed);
        EXPECT_NE(imported.err.find(c.message), std::string::npos) << imported.err;
        EXPECT_EQ(imported.err.rfind("Nothing was written: ", 0), 0u) << imported.err;
        EXPECT_TRUE(imported.out.empty());
        EXPECT_FALSE(std::filesystem::exists(Path("new.mode")));
        const auto over = Holvanectl({"import", Path("doc.json"), "-o", Path("kept.mode")});
        EXPECT_EQ(over.status, ExitFailed);
        EXPECT_EQ(FileBytes(Path("kept.mode")), kept);
    }
}

TEST_F(TextCommandsTest, SetChangesTheNamedSettingsWithinTheGridsLimits) {
    WriteDefaultMode(Path("m.mode"));
    simulator::VirtualDetector demo;
    simulator::SeedDemoContent(demo);
    const BackupPayload payload = demo.SaveBackup();
    ASSERT_EQ(WriteBackupFile(Path("b.vantor"), payload), FileResult::Success);
    ASSERT_EQ(WriteUniversalFile(Path("u.glb"), UniversalSettingsRecord{}), FileResult::Success);

    struct Change {
        std::size_t at;
        std::uint8_t value;
    };
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string err;  // a part of it
        std::string file;
        std::vector<Change> changes;
    };
    const std::size_t myMode3 = FileBody + backup::UserMode(2);
    const std::size_t uni = FileBody + backup::UniversalSettings;
    const std::vector<Case> cases = {
        {"two settings of a mode file, any case",
         {"set", Path("m.mode"), "audio volume gain=30", "Trash Density=low"},
         ExitSuccess,
         "",
         Path("m.mode"),
         {{ModeFileSettings + modesettings::AudioVolumeGain, 30},
          {ModeFileSettings + modesettings::TrashDensityLow, 1}}},
        {"a user mode of a backup",
         {"set", Path("b.vantor"), "Ground=Difficult", "--section", "my mode 3"},
         ExitSuccess,
         "",
         Path("b.vantor"),
         {{myMode3 + modesettings::GroundDifficult, 1}}},
        {"the universal settings of a backup by their section's name",
         {"set", Path("b.vantor"), "--section", "Universal settings", "Sensitivity Auto Level=-2"},
         ExitSuccess,
         "",
         Path("b.vantor"),
         {{uni + universalsettings::SensitivityAutoLevel, 254}}},
        {"a universal-settings file at its lower limit",
         {"set", Path("u.glb"), "Audio Volume Limit=0"},
         ExitSuccess,
         "",
         Path("u.glb"),
         {{FileBody + universalsettings::AudioVolumeLimit, 0}}},
        {"every fault named at once",
         {"set", Path("m.mode"), "Audio Volume Gain=45", "Trash Density=Medium", "Colour=Red",
          "Recovery Deep=On", "Audio Tone ID Limits=0", "Audio Tone ID Variability=x"},
         ExitFailed,
         "Nothing was changed in '" + Path("m.mode") +
             "':\n  Audio Volume Gain=45: 45 is above the limit 30\n  Trash Density=Medium: "
             "\"Medium\" is not one of High, Low\n  Colour=Red: no setting is called \"Colour\" "
             "here; the settings are Recovery Deep, Recovery Fast,",
         Path("m.mode"),
         {}},
        {"below the limit",
         {"set", Path("m.mode"), "Audio Tone ID Limits=0"},
         ExitFailed,
         "Audio Tone ID Limits=0: 0 is below the limit 1",
         Path("m.mode"),
         {}},
        {"a backup without --section",
         {"set", Path("b.vantor"), "Ground=Difficult"},
         ExitFailed,
         "Nothing was changed: a backup file holds several records of settings: --section takes "
         "\"Current mode\", \"My Mode 1\", \"My Mode 3\", \"Universal settings\", "
         "\"Preferences\".",
         Path("b.vantor"),
         {}},
        {"a user mode the backup does not hold",
         {"set", Path("b.vantor"), "Ground=Difficult", "--section", "My Mode 2"},
         ExitFailed,
         "has no settings called \"My Mode 2\" (a user mode it does not hold has none)",
         Path("b.vantor"),
         {}},
        {"a caption of another record",
         {"set", Path("u.glb"), "Ground=Difficult"},
         ExitFailed,
         "Ground=Difficult: no setting is called \"Ground\" here",
         Path("u.glb"),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes before = FileBytes(c.file);
        const auto result = Holvanectl(c.args);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        const Bytes after = FileBytes(c.file);
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i + 4 < before.size(); ++i) {
            const auto change = std::ranges::find(c.changes, i, &Change::at);
            EXPECT_EQ(after[i], change == c.changes.end() ? before[i] : change->value)
                << "byte " << i;
        }
        if (c.status == ExitSuccess) {
            EXPECT_EQ(result.out, c.file + "\n");
            FileKind kind{};
            EXPECT_EQ(ReadFileKind(c.file, kind), FileResult::Success);
            std::vector<std::uint8_t> image;
            std::uintmax_t size = 0;
            ASSERT_EQ(ReadFileStart(c.file, 1 << 20, image, size), FileResult::Success);
            EXPECT_EQ(CheckFileImage(kind, image), FileResult::Success);
        } else {
            EXPECT_EQ(after, before);
        }
    }
    // A pattern file has no settings; a word without '=' is a usage error.
    ASSERT_EQ(WritePatternFile(Path("p.ptrn"), PatternRecord{}), FileResult::Success);
    EXPECT_EQ(Holvanectl({"set", Path("p.ptrn"), "Ground=Difficult"}).err,
              "Nothing was changed: a pattern file holds no settings.\n");
    EXPECT_EQ(Holvanectl({"set", Path("m.mode"), "Ground"}).status, ExitUsage);
}

TEST_F(TextCommandsTest, NamesListsTheNamesTheCommandsTake) {
    // Every slot once, each a name that download takes for its slot.
    const std::pair<NameList, const char*> slotLists[] = {{NameList::Mode, "mode"},
                                                          {NameList::Pattern, "pattern"}};
    for (const auto& [list, kind] : slotLists) {
        SCOPED_TRACE(kind);
        const std::vector<std::string> names = ListedNames(list);
        std::set<int> slots;
        for (const std::string& name : names) {
            const std::vector<std::string> line = {"download", kind, name, "-o", "x"};
            const ParseOutcome parsed = ParseCommandLine(line);
            ASSERT_TRUE(parsed.invocation) << name << ": " << parsed.error;
            slots.insert(parsed.invocation->downloadSlot);
        }
        EXPECT_EQ(slots.size(), names.size());
        EXPECT_EQ(static_cast<int>(names.size()),
                  list == NameList::Mode ? ModeSlotCount : PatternSlotCount);
        std::string lines;
        for (const std::string& name : names) {
            lines += name + "\n";
        }
        EXPECT_EQ(Holvanectl({"names", kind}).out, lines);
    }
    // The sections are those set offers for a backup that holds every user mode.
    BackupPayload payload{};
    for (int k = 0; k <= LastUserModeSlot - FirstUserModeSlot; ++k) {
        payload[backup::UserModePresent(k)] = 1;
    }
    ASSERT_EQ(WriteBackupFile(Path("b.vantor"), payload), FileResult::Success);
    std::string quoted;
    std::string lines;
    for (const std::string& name : ListedNames(NameList::Section)) {
        quoted += (quoted.empty() ? "\"" : ", \"") + name + "\"";
        lines += name + "\n";
    }
    EXPECT_EQ(Holvanectl({"set", Path("b.vantor"), "Ground=Difficult"}).err,
              "Nothing was changed: a backup file holds several records of settings: --section "
              "takes " +
                  quoted + ".\n");
    EXPECT_EQ(Holvanectl({"names", "Section"}).out, lines);
    EXPECT_EQ(Holvanectl({"names", "slots"}).status, ExitUsage);
}

// Two virtual detectors on one platform: every command that talks to a detector talks to the one
// --device names, by number or by path, and to entry 0 without it.
class TwoDetectorsTest : public TextCommandsTest {
protected:
    void SetUp() override {
        TextCommandsTest::SetUp();
        simulator::SeedDemoContent(second_);
        simulator::MemoryHidInterface interface;
        interface.path = "virtual:first";
        platform_.AddInterface(interface, &first_);
        interface.path = "virtual:second";
        platform_.AddInterface(interface, &second_);
        tovra::SetHidPlatform(&platform_);
    }
    void TearDown() override {
        tovra::SetHidPlatform(nullptr);
        TextCommandsTest::TearDown();
    }
    simulator::VirtualDetector first_;
    simulator::VirtualDetector second_;
    simulator::MemoryHidPlatform platform_;
};

TEST_F(TwoDetectorsTest, EachCommandAddressesTheDetectorChosen) {
    // The list numbers the detectors as --device takes them.
    const auto list = Holvanectl({"list"});
    const std::regex entry("\n  (\\d)  (virtual:\\w+)  2f1a:0001");
    std::vector<std::string> listed;
    for (auto it = std::sregex_iterator(list.out.begin(), list.out.end(), entry);
         it != std::sregex_iterator(); ++it) {
        EXPECT_EQ(std::stoul((*it)[1]), listed.size());
        listed.push_back((*it)[2]);
    }
    ASSERT_EQ(listed.size(), 2u) << list.out;
    const auto detector = [&](const std::string& path) {
        return path == "virtual:first" ? &first_ : &second_;
    };
    struct Case {
        std::vector<std::string> device;
        simulator::VirtualDetector* detector;
    };
    const std::vector<Case> cases = {
        {{}, detector(listed[0])},
        {{"--device", "0"}, detector(listed[0])},
        {{"--device", "1"}, detector(listed[1])},
        {{"--device=virtual:second"}, &second_},
        {{"--device", "virtual:first"}, &first_},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device.empty() ? "no --device" : c.device.back());
        simulator::VirtualDetector* other = c.detector == &first_ ? &second_ : &first_;
        const auto with = [&](std::vector<std::string> args) {
            args.insert(args.end(), c.device.begin(), c.device.end());
            return Holvanectl(args);
        };
        // backup reads the chosen one.
        ASSERT_EQ(with({"backup", Path("b")}).status, ExitSuccess);
        EXPECT_EQ(FileBytes(Path("b.vantor")), PayloadImage(c.detector->SaveBackup()));
        // diff --detector compares with the chosen one (the other holds other content).
        EXPECT_EQ(with({"diff", Path("b.vantor"), "--detector"}).status, 0);
        // download reads it too.
        ASSERT_EQ(with({"download", "universal", "-o", Path("u")}).status, ExitSuccess);
        // upload writes only the chosen one: a changed universal setting arrives there.
        ASSERT_EQ(Holvanectl({"set", Path("u.glb"), "Noise Cancel=3"}).status, ExitSuccess);
        const BackupPayload otherBefore = other->SaveBackup();
        ASSERT_EQ(with({"upload", Path("u.glb")}).status, ExitSuccess);
        EXPECT_EQ(
            c.detector->SaveBackup()[backup::UniversalSettings + universalsettings::NoiseCancel],
            3);
        EXPECT_EQ(other->SaveBackup(), otherBefore);
        // restore writes the other's backup into the chosen one only.
        ASSERT_EQ(WriteBackupFile(Path("o.vantor"), other->SaveBackup()), FileResult::Success);
        ASSERT_EQ(with({"restore", Path("o.vantor"), "--yes"}).status, ExitSuccess);
        EXPECT_EQ(other->SaveBackup(), otherBefore);
        EXPECT_EQ(
            c.detector->SaveBackup()[backup::UniversalSettings + universalsettings::NoiseCancel],
            otherBefore[backup::UniversalSettings + universalsettings::NoiseCancel]);
    }
    // A choice that names no detector opens none.
    for (const std::string device : {"2", "virtual:third", "01x"}) {
        const BackupPayload first = first_.SaveBackup();
        const auto result = Holvanectl({"restore", Path("o.vantor"), "--yes", "--device", device});
        EXPECT_EQ(result.status, ExitFailed);
        EXPECT_NE(result.err.find("No detector listed is '" + device + "' (2 listed)."),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(first_.SaveBackup(), first);
        // For diff that is trouble, never "different".
        const auto diff = Holvanectl({"diff", Path("o.vantor"), "--detector", "--device", device});
        EXPECT_EQ(diff.status, 2);
        EXPECT_EQ(diff.err, result.err);
    }
    EXPECT_EQ(Holvanectl({"show", Path("o.vantor"), "--device", "1"}).status, ExitUsage);
}

// Whether two JSON values have the same members of the same types, recursively; arrays compare
// their first items where both have one.
bool SameShape(const JsonValue& a, const JsonValue& b, const std::string& place) {
    const bool nullable = a.IsNull() || b.IsNull();
    if (a.GetType() != b.GetType() && !nullable) {
        ADD_FAILURE() << place << ": " << JsonTypeName(a.GetType()) << " and "
                      << JsonTypeName(b.GetType());
        return false;
    }
    if (a.IsObject()) {
        std::vector<std::string> keysA;
        std::vector<std::string> keysB;
        for (const auto& [k, v] : a.AsObject()) {
            keysA.push_back(k);
        }
        for (const auto& [k, v] : b.AsObject()) {
            keysB.push_back(k);
        }
        EXPECT_EQ(keysA, keysB) << place;
        for (const auto& [k, v] : a.AsObject()) {
            if (const JsonValue* other = b.Find(k)) {
                SameShape(v, *other, place + "." + k);
            }
        }
    }
    if (a.IsArray() && !a.AsArray().empty() && !b.AsArray().empty()) {
        SameShape(a.AsArray().front(), b.AsArray().front(), place + "[0]");
    }
    if (a.IsString() && place.ends_with(".schema")) {
        EXPECT_EQ(a.AsString(), b.AsString());
    }
    return true;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

constexpr std::string_view SafetyCopyLine = "previous detector state saved in ";

// A command's stderr with the path of its safety copy left out.
std::string WithoutSafetyCopyPath(std::string err) {
    if (const auto at = err.find(SafetyCopyLine); at != std::string::npos) {
        const auto start = at + SafetyCopyLine.size();
        err.erase(start, err.find('\n', start) - start);
    }
    return err;
}

// A command line at fault gives the error object as well when it asks for JSON, and only then.
TEST_F(TextCommandsTest, AUsageErrorUnderJsonIsTheErrorObject) {
    const struct {
        std::vector<std::string> args;
        bool json;
    } cases[] = {
        {{"backup", "--json", "--slot", "x", Path("b")}, true},
        {{"--json", "frobnicate"}, true},
        {{"show", "--json"}, true},
        {{"backup", "--slot", "x", Path("b")}, false},
        {{"show", Path("a"), "--", "--json"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const auto run = Holvanectl(c.args);
        EXPECT_EQ(run.status, ExitUsage) << run.err;
        if (!c.json) {
            EXPECT_EQ(run.out, "");
            continue;
        }
        const JsonParseResult parsed = ParseJson(run.out);
        ASSERT_EQ(parsed.error, "") << run.out;
        EXPECT_EQ(parsed.value.Find("schema")->AsString(), "holvane-error/1");
        EXPECT_EQ(parsed.value.Find("exitStatus")->AsNumber(), ExitUsage);
        EXPECT_EQ(run.err.rfind(parsed.value.Find("message")->AsString() + "\n", 0), 0u) << run.err;
    }
}

// For each command, the text and the JSON of one run say the same, and each example of the
// documentation has the shape of what the program prints under its schema.
TEST_F(TextCommandsTest, JsonSaysWhatTheTextSaysAndTheDocumentationShowsIt) {
    simulator::VirtualDetector demo;
    simulator::SeedDemoContent(demo);
    ASSERT_EQ(WriteBackupFile(Path("seed.vantor"), demo.SaveBackup()), FileResult::Success);
    ASSERT_EQ(WriteUniversalFile(Path("u.glb"), UniversalSettingsRecord{}), FileResult::Success);
    UniversalSettingsRecord changed{};
    changed[universalsettings::NoiseCancel] = 9;
    ASSERT_EQ(WriteUniversalFile(Path("v.glb"), changed), FileResult::Success);
    struct Case {
        std::string schema;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"holvane-list/1", {"list"}},
        {"holvane-backup/1", {"backup", Path("b")}},
        {"holvane-download/1", {"download", "universal", "-o", Path("d")}},
        {"holvane-upload/1", {"upload", Path("u.glb")}},
        {"holvane-restore/1", {"restore", Path("seed.vantor"), "--yes"}},
        {"holvane-file/1", {"show", Path("u.glb")}},
        {"holvane-diff/1", {"diff", Path("u.glb"), Path("v.glb")}},
        {"holvane-error/1", {"upload", Path("none.glb")}},
        {"holvane-error/1", {"download", "mode", "My Mode 2", "-o", Path("m")}},
    };
    std::map<std::string, JsonValue> printed;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        std::vector<std::string> args = {"--simulate", Path("seed.vantor")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto text = Holvanectl(args);
        args.push_back("--json");
        const auto json = Holvanectl(args);
        EXPECT_EQ(json.status, text.status);
        // Each run saves its own safety copy, named by the time it was made.
        EXPECT_EQ(WithoutSafetyCopyPath(json.err), WithoutSafetyCopyPath(text.err));
        const JsonParseResult parsed = ParseJson(json.out);
        ASSERT_EQ(parsed.error, "") << json.out;
        const JsonValue& doc = parsed.value;
        if (const JsonValue* copy = doc.Find("safetyCopy"); copy && !copy->IsNull()) {
            EXPECT_NE(json.err.find(std::string(SafetyCopyLine) + copy->AsString() + "\n"),
                      std::string::npos)
                << json.err;
        }
        ASSERT_TRUE(doc.Find("schema")) << json.out;
        EXPECT_EQ(doc.Find("schema")->AsString(), c.schema);
        printed.emplace(c.schema, doc);
        if (c.schema == "holvane-error/1") {
            EXPECT_EQ(doc.Find("message")->AsString() + "\n", text.err);
            EXPECT_EQ(doc.Find("exitStatus")->AsNumber(), text.status);
            EXPECT_EQ(text.out, "");
        } else if (c.schema == "holvane-list/1") {
            std::string listed;
            for (const JsonValue& d : doc.Find("detectors")->AsArray()) {
                listed += "  " + std::to_string(d.Find("number")->AsNumber()) + "  " +
                          d.Find("path")->AsString() + "  " + d.Find("ids")->AsString() + "\n";
            }
            EXPECT_NE(listed, "");
            EXPECT_NE(text.out.find(listed), std::string::npos) << text.out;
        } else if (c.schema == "holvane-diff/1") {
            EXPECT_EQ(text.status, 1) << text.err;
            for (const JsonValue& d : doc.Find("differences")->AsArray()) {
                EXPECT_NE(text.out.find(d.Find("old")->AsString() + " -> " +
                                        d.Find("new")->AsString() + "\n"),
                          std::string::npos)
                    << text.out;
            }
            EXPECT_FALSE(doc.Find("differences")->AsArray().empty());
        } else if (c.schema == "holvane-file/1") {
            EXPECT_NE(text.out.find("kind: " + doc.Find("kind")->AsString() + " file"),
                      std::string::npos);
            for (const JsonValue& section : doc.Find("sections")->AsArray()) {
                for (const auto& [caption, value] : section.Find("settings")->AsObject()) {
                    const std::string shown =
                        value.IsString() ? value.AsString() : std::to_string(value.AsNumber());
                    EXPECT_NE(text.out.find("  " + caption), std::string::npos) << caption;
                    EXPECT_NE(text.out.find(" " + shown + "\n"), std::string::npos) << shown;
                }
            }
        } else {
            const std::string file = doc.Find("file")->AsString();
            const bool wrote = c.schema == "holvane-backup/1" || c.schema == "holvane-download/1";
            EXPECT_EQ(text.out, wrote ? file + "\n" : "");
            EXPECT_EQ(file, wrote ? text.out.substr(0, text.out.size() - 1) : c.args[1]);
            std::vector<std::string> records;
            for (const std::string& line : Lines(text.err)) {
                if (line.starts_with("read ") || line.starts_with("wrote ")) {
                    records.push_back(line.substr(line.find(' ') + 1));
                }
            }
            std::vector<std::string> documented;
            for (const JsonValue& r : doc.Find("records")->AsArray()) {
                documented.push_back(r.AsString());
            }
            EXPECT_EQ(documented, records);
        }
    }
#if !defined(_WIN32)
    std::ifstream in(std::string(HOLVANE_SOURCE_DIR) + "/docs/json.md");
    const std::string docs{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::set<std::string> documented;
    for (std::size_t at = 0; (at = docs.find("```json\n", at)) != std::string::npos;) {
        at += 8;
        const std::size_t end = docs.find("```", at);
        const JsonParseResult example = ParseJson(docs.substr(at, end - at));
        ASSERT_EQ(example.error, "") << docs.substr(at, 200);
        const std::string schema = example.value.Find("schema")->AsString();
        SCOPED_TRACE(schema);
        documented.insert(schema);
        const auto program = printed.find(schema);
        ASSERT_NE(program, printed.end());
        SameShape(example.value, program->second, "");
    }
    EXPECT_EQ(documented,
              (std::set<std::string>{"holvane-error/1", "holvane-list/1", "holvane-backup/1",
                                     "holvane-file/1", "holvane-diff/1"}));
#endif
}

}  // namespace
