#include "Fileio.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "SettingsRows.h"

using namespace holvane;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;

namespace {

namespace fs = std::filesystem;

class FileioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "holvane-fileio-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    static Bytes Load(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static void Store(const std::string& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    // Recomputes the checksum of an image of the kind after an edit.
    static void Reseal(Bytes& image, FileKind kind) {
        const FileKindInfo& info = FileKindOf(kind);
        const auto sum =
            static_cast<std::uint32_t>(FileChecksum(std::span(image).first(info.checksummed)));
        for (int i = 0; i < 4; ++i) {
            image[info.fileSize - 4 + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(sum >> (8 * i));
        }
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) {
            names.push_back(e.path().filename().string());
        }
        std::ranges::sort(names);
        return names;
    }

    fs::path dir_;
};

template <std::size_t N>
std::array<std::uint8_t, N> Counting(std::uint8_t from) {
    std::array<std::uint8_t, N> a;
    std::iota(a.begin(), a.end(), from);
    return a;
}

// Writes a file of the kind from counting bytes and reads it back into a record filled with
// `sentinel`; answers the read's result and whether the record still holds only the sentinel.
struct KindOps {
    FileKind kind;
    FileResult (*write)(const std::string&);
    FileResult (*readUntouched)(const std::string&, bool& untouched);
};

template <typename Record, FileResult (*Write)(const std::string&, const Record&),
          FileResult (*Read)(const std::string&, Record&)>
KindOps Ops(FileKind kind) {
    return {kind,
            [](const std::string& name) {
                Record r = Counting<std::tuple_size_v<Record>>(1);
                return Write(name, r);
            },
            [](const std::string& name, bool& untouched) {
                Record r;
                r.fill(0xA5);
                const FileResult result = Read(name, r);
                untouched = std::ranges::all_of(r, [](std::uint8_t b) { return b == 0xA5; });
                return result;
            }};
}

FileResult ReadModeOnly(const std::string& name, ModeRecord& mode) {
    std::uint8_t flag = 0xA5;
    const FileResult r = ReadModeFile(name, mode, flag);
    if (r != FileResult::Success && flag != 0xA5) {
        ADD_FAILURE() << "flag changed on failure";
    }
    return r;
}

std::vector<KindOps> AllKinds() {
    return {
        Ops<ModeRecord, WriteModeFile, ReadModeOnly>(FileKind::Mode),
        Ops<PatternRecord, WritePatternFile, ReadPatternFile>(FileKind::Pattern),
        Ops<UniversalSettingsRecord, WriteUniversalFile, ReadUniversalFile>(FileKind::Universal),
        Ops<BackupPayload, WriteBackupFile, ReadBackupFile>(FileKind::Backup),
    };
}

}  // namespace

TEST(FileChecksumTest, AddsBytesAsSignedValues) {
    const std::string abc = "abc";
    EXPECT_EQ(FileChecksum(std::span(reinterpret_cast<const std::uint8_t*>(abc.data()), 3)), 294);
    const Bytes magic = {0x01, 0xCC, 0xBB, 0xAA};
    EXPECT_EQ(FileChecksum(magic), -206);
    EXPECT_EQ(FileChecksum({}), 0);
}

TEST(NameForSaveTest, AppendsTheWordUnlessTheExtensionHasIt) {
    struct Case {
        const char* chosen;
        FileKind kind;
        const char* expected;
    };
    const Case cases[] = {
        {"spring", FileKind::Mode, "spring.mode"},
        {"spring.txt", FileKind::Mode, "spring.txt.mode"},
        {"spring.MODE", FileKind::Mode, "spring.MODE"},
        {"spring.model", FileKind::Mode, "spring.model"},
        {"a.b/spring", FileKind::Mode, "a.b/spring.mode"},
        {"/home/u/a.mode/spring", FileKind::Mode, "/home/u/a.mode/spring.mode"},
        {"a", FileKind::Pattern, "a.ptrn"},
        {"a.Ptrn", FileKind::Pattern, "a.Ptrn"},
        {"a.ptrn.bak", FileKind::Pattern, "a.ptrn.bak.ptrn"},
        {"settings", FileKind::Universal, "settings.glb"},
        {"settings.GLB", FileKind::Universal, "settings.GLB"},
        {"full", FileKind::Backup, "full.vantor"},
        {"full.myvantor", FileKind::Backup, "full.myvantor"},
        {"spring.", FileKind::Mode, "spring..mode"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NameForSave(c.chosen, c.kind), c.expected) << c.chosen;
    }
    EXPECT_EQ(LowerCasedExtension("dir.x/Name.PtRn"), ".ptrn");
    EXPECT_EQ(LowerCasedExtension("dir.x/name"), "");
}

TEST_F(FileioTest, UniversalFileSavedRightAfterStartUp) {
    UniversalSettingsRecord record{};
    DefaultUniversalSettings(record);
    ASSERT_TRUE(BuildUniversalSettings(RecordTexts(UniversalSettingsRows, record), false, record));
    ASSERT_EQ(WriteUniversalFile(Path("u.glb"), record), FileResult::Success);
    EXPECT_THAT(
        Load(Path("u.glb")),
        ElementsAre(0x33, 0x02, 0xAA, 0xDE, 0x00, 0x16, 0x00, 0x1E, 0x1E, 0x1E, 0x1E, 0x0F, 0x06,
                    0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x63, 0x00, 0x00, 0x00));
}

TEST_F(FileioTest, EveryKindRoundTripsWithItsLayout) {
    for (const KindOps& ops : AllKinds()) {
        const FileKindInfo& info = FileKindOf(ops.kind);
        SCOPED_TRACE(info.word);
        const std::string name = Path(std::string("f") + std::string(info.extension));
        ASSERT_EQ(ops.write(name), FileResult::Success);
        const Bytes image = Load(name);
        ASSERT_EQ(image.size(), info.fileSize);
        EXPECT_EQ(
            image[0] | image[1] << 8 | image[2] << 16 | static_cast<std::uint32_t>(image[3]) << 24,
            info.magic);
        Bytes resealed = image;
        Reseal(resealed, ops.kind);
        EXPECT_EQ(resealed, image);
        bool untouched = true;
        EXPECT_EQ(ops.readUntouched(name, untouched), FileResult::Success);
        EXPECT_FALSE(untouched);
        EXPECT_EQ(Entries(),
                  std::vector<std::string>{std::string("f") + std::string(info.extension)});
        fs::remove(name);
    }
}

TEST_F(FileioTest, ModeFileLayoutAndRoundTrip) {
    const ModeRecord mode = Counting<ModeSize>(1);
    ASSERT_EQ(WriteModeFile(Path("m.mode"), mode), FileResult::Success);
    const Bytes image = Load(Path("m.mode"));
    EXPECT_EQ(image[ModeFileFlag], 1);
    EXPECT_EQ(image[ModeFileSpare], 0);
    EXPECT_TRUE(std::equal(mode.begin(), mode.end(), image.begin() + ModeFileSettings));

    ModeRecord back{};
    std::uint8_t flag = 0;
    ASSERT_EQ(ReadModeFile(Path("m.mode"), back, flag), FileResult::Success);
    EXPECT_EQ(back, mode);
    EXPECT_EQ(flag, 1);
}

TEST_F(FileioTest, ModeSettingsFileHoldsZerosForThePattern) {
    ModeRecord mode;
    mode.fill(0x77);
    ASSERT_EQ(WriteModeSettingsFile(Path("s.mode"), mode), FileResult::Success);
    const Bytes image = Load(Path("s.mode"));
    EXPECT_EQ(image[ModeFileFlag], 0);
    EXPECT_THAT(std::vector(image.begin() + 6, image.begin() + 32), Each(0x77));
    EXPECT_THAT(std::vector(image.begin() + 32, image.begin() + 298), Each(0));

    ModeRecord back;
    back.fill(0xEE);
    std::uint8_t flag = 0xEE;
    ASSERT_EQ(ReadModeFile(Path("s.mode"), back, flag), FileResult::Success);
    EXPECT_EQ(flag, 0);
    EXPECT_THAT(ModeSettingsOf(back), Each(0x77));
    EXPECT_THAT(PatternOf(back), Each(0));
}

TEST_F(FileioTest, ModeFileFlagIsDeliveredAsStored) {
    ASSERT_EQ(WriteModeFile(Path("m.mode"), ModeRecord{}), FileResult::Success);
    Bytes image = Load(Path("m.mode"));
    image[ModeFileFlag] = 9;
    image[ModeFileSpare] = 0x44;  // counted in the checksum, otherwise not read
    Reseal(image, FileKind::Mode);
    Store(Path("m.mode"), image);
    ModeRecord back;
    std::uint8_t flag = 0;
    ASSERT_EQ(ReadModeFile(Path("m.mode"), back, flag), FileResult::Success);
    EXPECT_EQ(flag, 9);
    EXPECT_EQ(back, ModeRecord{});
}

TEST_F(FileioTest, ModeFileLastPatternByteLiesOutsideTheChecksum) {
    const ModeRecord mode = Counting<ModeSize>(1);
    ASSERT_EQ(WriteModeFile(Path("m.mode"), mode), FileResult::Success);
    const Bytes good = Load(Path("m.mode"));
    for (std::size_t offset = 0; offset < good.size(); ++offset) {
        Bytes bad = good;
        bad[offset] ^= 0x10;
        Store(Path("m.mode"), bad);
        ModeRecord back = mode;
        std::uint8_t flag = 0xEE;
        const FileResult r = ReadModeFile(Path("m.mode"), back, flag);
        if (offset == 297) {
            ASSERT_EQ(r, FileResult::Success);
            EXPECT_EQ(back[ModeSize - 1], bad[297]);
            EXPECT_EQ(flag, 1);
        } else {
            ASSERT_EQ(r, FileResult::ChecksumMismatch) << "offset " << offset;
            ASSERT_EQ(back, mode) << "offset " << offset;
            ASSERT_EQ(flag, 0xEE);
        }
    }
}

TEST_F(FileioTest, ChecksumIsTestedBeforeMagic) {
    for (const KindOps& ops : AllKinds()) {
        SCOPED_TRACE(FileKindOf(ops.kind).word);
        const std::string name = Path("f");
        ASSERT_EQ(ops.write(name), FileResult::Success);
        Bytes image = Load(name);
        image[0] ^= 0x01;
        Store(name, image);
        bool untouched = false;
        EXPECT_EQ(ops.readUntouched(name, untouched), FileResult::ChecksumMismatch);
        EXPECT_TRUE(untouched);
        Reseal(image, ops.kind);
        Store(name, image);
        EXPECT_EQ(ops.readUntouched(name, untouched), FileResult::WrongMagic);
        EXPECT_TRUE(untouched);
    }
}

TEST_F(FileioTest, MissingShortAndLongerFiles) {
    for (const KindOps& ops : AllKinds()) {
        const FileKindInfo& info = FileKindOf(ops.kind);
        SCOPED_TRACE(info.word);
        bool untouched = false;
        EXPECT_EQ(ops.readUntouched(Path("missing"), untouched), FileResult::CannotOpen);
        EXPECT_TRUE(untouched);
        EXPECT_EQ(ops.readUntouched(dir_.string(), untouched), FileResult::ReadFailed);
        EXPECT_TRUE(untouched);

        ASSERT_EQ(ops.write(Path("f")), FileResult::Success);
        const Bytes image = Load(Path("f"));
        for (const std::size_t length : {std::size_t{0}, std::size_t{3}, info.fileSize - 1}) {
            Store(Path("short"), Bytes(image.begin(), image.begin() + static_cast<long>(length)));
            EXPECT_EQ(ops.readUntouched(Path("short"), untouched), FileResult::ChecksumMismatch)
                << length;
            EXPECT_TRUE(untouched);
        }
        Bytes longer = image;
        longer.insert(longer.end(), {1, 2, 3, 4, 5});
        Store(Path("long"), longer);
        EXPECT_EQ(ops.readUntouched(Path("long"), untouched), FileResult::Success);
        EXPECT_FALSE(untouched);
    }
}

TEST_F(FileioTest, ReadFileKindByMagic) {
    for (const KindOps& ops : AllKinds()) {
        ASSERT_EQ(ops.write(Path("f")), FileResult::Success);
        FileKind kind = FileKind::Backup;
        EXPECT_EQ(ReadFileKind(Path("f"), kind), FileResult::Success);
        EXPECT_EQ(kind, ops.kind);
    }
    FileKind kind = FileKind::Mode;
    Store(Path("x"), {1, 2, 3, 4, 5});
    EXPECT_EQ(ReadFileKind(Path("x"), kind), FileResult::WrongMagic);
    Store(Path("x"), {0x01, 0xCC, 0xBB});
    EXPECT_EQ(ReadFileKind(Path("x"), kind), FileResult::ChecksumMismatch);
    EXPECT_EQ(ReadFileKind(Path("missing"), kind), FileResult::CannotOpen);
    EXPECT_EQ(kind, FileKind::Mode);
}

TEST_F(FileioTest, SaveReplacesAnExistingFileAndKeepsItsPermissions) {
    Store(Path("u.glb"), Bytes(100, 0xEE));
    ASSERT_EQ(::chmod(Path("u.glb").c_str(), 0640), 0);
    ASSERT_EQ(WriteUniversalFile(Path("u.glb"), UniversalSettingsRecord{}), FileResult::Success);
    EXPECT_EQ(Load(Path("u.glb")).size(), 26u);
    EXPECT_EQ(fs::status(Path("u.glb")).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Entries(), std::vector<std::string>{"u.glb"});
}

TEST_F(FileioTest, SaveThroughASymbolicLinkWritesItsTarget) {
    Store(Path("real.glb"), Bytes(3, 0xEE));
    fs::create_symlink(Path("real.glb"), Path("link.glb"));
    ASSERT_EQ(WriteUniversalFile(Path("link.glb"), UniversalSettingsRecord{}), FileResult::Success);
    EXPECT_TRUE(fs::is_symlink(Path("link.glb")));
    EXPECT_EQ(Load(Path("real.glb")).size(), 26u);
}

TEST_F(FileioTest, SaveIntoAMissingFolderCannotCreate) {
    EXPECT_EQ(WritePatternFile(Path("nowhere/p.ptrn"), PatternRecord{}), FileResult::CannotCreate);
    EXPECT_EQ(WritePatternFile("", PatternRecord{}), FileResult::CannotCreate);
    EXPECT_TRUE(Entries().empty());
}

TEST_F(FileioTest, FailedReplaceLeavesTheTargetAndNoTemporaryFile) {
    fs::create_directory(Path("taken"));
    Store(Path("taken/inside"), {1, 2, 3});
    EXPECT_EQ(WriteModeFile(Path("taken"), ModeRecord{}), FileResult::WriteFailed);
    EXPECT_EQ(Entries(), std::vector<std::string>{"taken"});
    EXPECT_THAT(Load(Path("taken/inside")), ElementsAre(1, 2, 3));
}

TEST_F(FileioTest, FailedWriteLeavesTheOldFileIntact) {
    const Bytes old(500, 0x42);
    Store(Path("b.vantor"), old);
    // A file size limit below the backup file's length makes the write itself fail.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileResult r = WriteBackupFile(Path("b.vantor"), BackupPayload{});
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(r, FileResult::WriteFailed);
    EXPECT_EQ(Load(Path("b.vantor")), old);
    EXPECT_EQ(Entries(), std::vector<std::string>{"b.vantor"});
}
