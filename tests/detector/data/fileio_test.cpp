#include "Fileio.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "ChildProcess.h"
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

template <typename Record, FileResult (*Write)(const std::string&, const Record&, FileFailure*),
          FileResult (*Read)(const std::string&, Record&, FileFailure*)>
KindOps Ops(FileKind kind) {
    return {kind,
            [](const std::string& name) {
                Record r = Counting<std::tuple_size_v<Record>>(1);
                return Write(name, r, nullptr);
            },
            [](const std::string& name, bool& untouched) {
                Record r;
                r.fill(0xA5);
                const FileResult result = Read(name, r, nullptr);
                untouched = std::ranges::all_of(r, [](std::uint8_t b) { return b == 0xA5; });
                return result;
            }};
}

FileResult ReadModeOnly(const std::string& name, ModeRecord& mode, FileFailure*) {
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
    ASSERT_TRUE(BuildUniversalSettings(RecordTexts(UniversalSettingsRows, record),
                                       RecordState::NeverLoaded, record));
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

TEST_F(FileioTest, ThePatternOfAPatternOrModeFile) {
    PatternRecord stored{};
    stored.fill(0x5A);
    ModeRecord mode{};
    std::ranges::copy(stored, mode.begin() + ModePatternOffset);
    ASSERT_EQ(WritePatternFile(Path("p.ptrn"), stored), FileResult::Success);
    ASSERT_EQ(WriteModeFile(Path("m.mode"), mode), FileResult::Success);
    ASSERT_EQ(WriteModeSettingsFile(Path("s.mode"), mode), FileResult::Success);
    ASSERT_EQ(WriteUniversalFile(Path("u.glb"), UniversalSettingsRecord{}), FileResult::Success);

    struct Case {
        std::string file;
        FileKind kind;
        FileResult result;
        bool holds;
    };
    const Case cases[] = {
        {"p.ptrn", FileKind::Pattern, FileResult::Success, true},
        {"m.mode", FileKind::Mode, FileResult::Success, true},
        {"s.mode", FileKind::Mode, FileResult::Success, false},  // settings only
        {"u.glb", FileKind::Universal, FileResult::Success, false},
        {"m.mode", FileKind::Pattern, FileResult::ChecksumMismatch, false},  // other length
        {"none.ptrn", FileKind::Pattern, FileResult::CannotOpen, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        PatternRecord pattern{};
        pattern.fill(0x11);
        bool holds = !c.holds;
        EXPECT_EQ(ReadPatternOfFile(Path(c.file), c.kind, pattern, holds), c.result);
        EXPECT_EQ(holds, c.holds);
        PatternRecord expected{};
        expected.fill(0x11);
        EXPECT_EQ(pattern, c.holds ? stored : expected);
    }
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
        EXPECT_EQ(ops.readUntouched(dir_.string(), untouched), FileResult::CannotOpen);
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
    FileFailure failure;
    const FileResult r = WriteBackupFile(Path("b.vantor"), BackupPayload{}, &failure);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(r, FileResult::WriteFailed);
    EXPECT_EQ(failure.error, EFBIG);
    EXPECT_EQ(Load(Path("b.vantor")), old);
    EXPECT_EQ(Entries(), std::vector<std::string>{"b.vantor"});
}

// ---- saving onto every kind of target, and reading what is not a regular file ----

namespace {

using holvane::childprocess::ChildRun;
using holvane::childprocess::ChildUser;
using holvane::childprocess::RunInChild;
using holvane::childprocess::UnprivilegedId;

// One entry of a folder as lstat sees it, with its contents.
struct Node {
    char type = '?';  // f file, d folder, l link, p named pipe, s socket
    Bytes bytes;      // of a file
    std::string link;
    unsigned mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    bool operator==(const Node&) const = default;
};

void PrintTo(const Node& n, std::ostream* os) {
    *os << n.type << " mode " << std::oct << n.mode << std::dec << " owner " << n.uid << ":"
        << n.gid << " " << n.bytes.size() << " bytes" << (n.link.empty() ? "" : " -> ") << n.link;
}

using Snapshot = std::map<std::string, Node>;

void Walk(const std::string& folder, const std::string& prefix, Snapshot& snapshot) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = prefix + entry.path().filename().string();
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        Node node;
        node.mode = st.st_mode & 07777;
        node.uid = st.st_uid;
        node.gid = st.st_gid;
        if (S_ISREG(st.st_mode)) {
            node.type = 'f';
            std::ifstream in(entry.path(), std::ios::binary);
            node.bytes = Bytes(std::istreambuf_iterator<char>(in), {});
        } else if (S_ISDIR(st.st_mode)) {
            node.type = 'd';
            Walk(entry.path().string(), name + "/", snapshot);
        } else if (S_ISLNK(st.st_mode)) {
            node.type = 'l';
            node.link = fs::read_symlink(entry.path()).string();
        } else if (S_ISFIFO(st.st_mode)) {
            node.type = 'p';
        } else if (S_ISSOCK(st.st_mode)) {
            node.type = 's';
        }
        snapshot[name] = node;
    }
}

Snapshot Take(const std::string& folder) {
    Snapshot snapshot;
    Walk(folder, "", snapshot);
    return snapshot;
}

std::string Encoded(FileResult r, const FileFailure& f) {
    return std::to_string(static_cast<int>(r)) + " " + std::to_string(f.error) + " " +
           std::to_string(static_cast<int>(f.node));
}

void Lay(const std::string& path, const Bytes& bytes, unsigned mode) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ::chmod(path.c_str(), mode);
}

void Own(const std::string& path, uid_t id) {
    ASSERT_EQ(::lchown(path.c_str(), id, id), 0) << path;
}

const Bytes Old(30, 0xEE);

// A user besides root and the unprivileged one.
constexpr uid_t ThirdUserId = 1;

// A symbolic link that `owner` made.
void PlantLink(const std::string& to, const std::string& link, uid_t owner) {
    fs::create_symlink(to, link);
    Own(link, owner);
}

// Sets up a folder for one case.
using Layout = std::function<void(const std::string& folder)>;

// A folder of `folderOwner` with the permissions `folderMode`, holding real.glb of `fileOwner`
// and a link x.glb to it made by `linkOwner`.
Layout LinkedFileIn(uid_t folderOwner, unsigned folderMode, uid_t linkOwner, uid_t fileOwner = 0) {
    return [=](const std::string& f) {
        Own(f, folderOwner);
        ASSERT_EQ(::chmod(f.c_str(), folderMode), 0);
        Lay(f + "/real.glb", Old, 0640);
        Own(f + "/real.glb", fileOwner);
        PlantLink("real.glb", f + "/x.glb", linkOwner);
    };
}

struct SaveCase {
    const char* what;
    // Who saves: user 65534 saves in a folder the user owns unless the layout says otherwise.
    ChildUser user = ChildUser::Same;
    Layout layout;
    std::string target;  // saved to, relative to the folder
    FileResult result;
    FileFailure failure = {};
    std::string written;   // the file that must hold the new image; "" when nothing is written
    unsigned mode = 0644;  // of the written file (a new file gets 0666 less the umask 022)
    uid_t owner = 0;
    std::string removed = {};  // an entry that must be gone afterwards
};

class SaveTargetTest : public FileioTest {
protected:
    void SetUp() override {
        FileioTest::SetUp();
        previousMask_ = ::umask(022);
        ::chmod(dir_.c_str(), 0755);
        ASSERT_EQ(WriteUniversalFile(Path("reference.glb"), Record()), FileResult::Success);
        image_ = Load(Path("reference.glb"));
        fs::remove(Path("reference.glb"));
    }
    void TearDown() override {
        for (const int fd : held_) {
            ::close(fd);
        }
        ::umask(previousMask_);
        FileioTest::TearDown();
    }
    static UniversalSettingsRecord Record() { return Counting<UniversalSettingsSize>(3); }

    mode_t previousMask_ = 0;
    Bytes image_;
    std::vector<int> held_;  // descriptors a layout keeps open
};

}  // namespace

TEST_F(SaveTargetTest, EachKindOfTarget) {
    const std::string longName = std::string(250, 'n') + ".glb";  // 254 bytes, legal
    std::vector<SaveCase> cases = {
        {.what = "a new file",
         .layout = [](const std::string&) {},
         .target = "u.glb",
         .result = FileResult::Success,
         .written = "u.glb"},
        {.what = "an existing file keeps its mode",
         .layout = [](const std::string& f) { Lay(f + "/u.glb", Old, 0640); },
         .target = "u.glb",
         .result = FileResult::Success,
         .written = "u.glb",
         .mode = 0640},
        {.what = "a file of another user keeps its owner and group",
         .layout =
             [](const std::string& f) {
                 Lay(f + "/u.glb", Old, 0604);
                 Own(f + "/u.glb", UnprivilegedId);
             },
         .target = "u.glb",
         .result = FileResult::Success,
         .written = "u.glb",
         .mode = 0604,
         .owner = UnprivilegedId},
        {.what = "a write-protected file, as its owner",
         .user = ChildUser::Unprivileged,
         .layout =
             [](const std::string& f) {
                 Lay(f + "/u.glb", Old, 0444);
                 Own(f + "/u.glb", UnprivilegedId);
             },
         .target = "u.glb",
         .result = FileResult::CannotCreate,
         .failure = {EACCES},
         .written = ""},
        {.what = "a write-protected file, as root (who may write it)",
         .layout = [](const std::string& f) { Lay(f + "/u.glb", Old, 0444); },
         .target = "u.glb",
         .result = FileResult::Success,
         .written = "u.glb",
         .mode = 0444},
        {.what = "another user's file in the user's own folder",
         .user = ChildUser::Unprivileged,
         .layout = [](const std::string& f) { Lay(f + "/u.glb", Old, 0644); },
         .target = "u.glb",
         .result = FileResult::CannotCreate,
         .failure = {EACCES},
         .written = ""},
        {.what = "the user's file in a folder the user cannot write",
         .user = ChildUser::Unprivileged,
         .layout =
             [](const std::string& f) {
                 Own(f, 0);
                 Lay(f + "/u.glb", Old, 0644);
                 Own(f + "/u.glb", UnprivilegedId);
             },
         .target = "u.glb",
         .result = FileResult::CannotCreate,
         .failure = {EACCES},
         .written = ""},
        {.what = "another user's open file in a sticky folder: the rename is refused",
         .user = ChildUser::Unprivileged,
         .layout =
             [](const std::string& f) {
                 Own(f, 0);
                 ::chmod(f.c_str(), 01777);
                 Lay(f + "/u.glb", Old, 0666);
             },
         .target = "u.glb",
         .result = FileResult::WriteFailed,
         .failure = {EPERM},
         .written = ""},
        {.what = "a folder",
         .layout =
             [](const std::string& f) {
                 fs::create_directory(f + "/u.glb");
                 Lay(f + "/u.glb/inside", {1, 2, 3}, 0644);
             },
         .target = "u.glb",
         .result = FileResult::CannotCreate,
         .failure = {0, NodeType::Folder},
         .written = ""},
        {.what = "a name ending in a slash",
         .layout = [](const std::string&) {},
         .target = "u.glb/",
         .result = FileResult::CannotCreate,
         .failure = {EISDIR},
         .written = ""},
        {.what = "a path through a missing folder",
         .layout = [](const std::string&) {},
         .target = "nowhere/u.glb",
         .result = FileResult::CannotCreate,
         .failure = {ENOENT},
         .written = ""},
        {.what = "a path through a file",
         .layout = [](const std::string& f) { Lay(f + "/plain", Old, 0644); },
         .target = "plain/u.glb",
         .result = FileResult::CannotCreate,
         .failure = {ENOTDIR},
         .written = ""},
        {.what = "a named pipe",
         .layout =
             [](const std::string& f) { ASSERT_EQ(::mkfifo((f + "/u.glb").c_str(), 0644), 0); },
         .target = "u.glb",
         .result = FileResult::CannotCreate,
         .failure = {0, NodeType::NamedPipe},
         .written = ""},
        {.what = "a link to a file",
         .layout =
             [](const std::string& f) {
                 fs::create_directory(f + "/real");
                 Lay(f + "/real/u.glb", Old, 0600);
                 fs::create_symlink("real/u.glb", f + "/link.glb");
             },
         .target = "link.glb",
         .result = FileResult::Success,
         .written = "real/u.glb",
         .mode = 0600},
        {.what = "a chain of links, relative to each link's folder",
         .layout =
             [](const std::string& f) {
                 fs::create_directory(f + "/a");
                 fs::create_directory(f + "/b");
                 Lay(f + "/b/u.glb", Old, 0640);
                 fs::create_symlink("a/one", f + "/link.glb");
                 fs::create_symlink("../b/u.glb", f + "/a/one");
             },
         .target = "link.glb",
         .result = FileResult::Success,
         .written = "b/u.glb",
         .mode = 0640},
        {.what = "a dangling link creates the file it names",
         .layout = [](const std::string& f) { fs::create_symlink("made.glb", f + "/link.glb"); },
         .target = "link.glb",
         .result = FileResult::Success,
         .written = "made.glb"},
        {.what = "a dangling link into a missing folder",
         .layout =
             [](const std::string& f) { fs::create_symlink("nowhere/made.glb", f + "/link.glb"); },
         .target = "link.glb",
         .result = FileResult::CannotCreate,
         .failure = {ENOENT},
         .written = ""},
        {.what = "a link to a folder",
         .layout =
             [](const std::string& f) {
                 fs::create_directory(f + "/sub");
                 fs::create_symlink("sub", f + "/link.glb");
             },
         .target = "link.glb",
         .result = FileResult::CannotCreate,
         .failure = {0, NodeType::Folder},
         .written = ""},
        {.what = "a link loop",
         .layout =
             [](const std::string& f) {
                 fs::create_symlink("b.glb", f + "/a.glb");
                 fs::create_symlink("a.glb", f + "/b.glb");
             },
         .target = "a.glb",
         .result = FileResult::CannotCreate,
         .failure = {ELOOP},
         .written = ""},
        {.what = "a link to itself",
         .layout = [](const std::string& f) { fs::create_symlink("a.glb", f + "/a.glb"); },
         .target = "a.glb",
         .result = FileResult::CannotCreate,
         .failure = {ELOOP},
         .written = ""},
        // Links in a sticky folder anyone may write are followed as the system follows them:
        // only the saver's own and the folder owner's.
        {.what = "another user's link in a shared sticky folder is not followed",
         .layout = LinkedFileIn(0, 01777, UnprivilegedId),
         .target = "x.glb",
         .result = FileResult::CannotCreate,
         .failure = {EACCES},
         .written = ""},
        {.what = "nor is it at the end of a chain of links",
         .layout =
             [](const std::string& f) {
                 fs::create_directory(f + "/shared");
                 LinkedFileIn(0, 01777, UnprivilegedId)(f + "/shared");
                 fs::create_symlink("shared/x.glb", f + "/mine.glb");
             },
         .target = "mine.glb",
         .result = FileResult::CannotCreate,
         .failure = {EACCES},
         .written = ""},
        {.what = "a third user's link to the saver's file, saved as an unprivileged user",
         .user = ChildUser::Unprivileged,
         .layout = LinkedFileIn(0, 01777, ThirdUserId, UnprivilegedId),
         .target = "x.glb",
         .result = FileResult::CannotCreate,
         .failure = {EACCES},
         .written = ""},
        {.what = "the saver's own link in another user's shared sticky folder is followed",
         .layout = LinkedFileIn(UnprivilegedId, 01777, 0),
         .target = "x.glb",
         .result = FileResult::Success,
         .written = "real.glb",
         .mode = 0640},
        {.what = "the folder owner's link in a shared sticky folder is followed",
         .layout = LinkedFileIn(UnprivilegedId, 01777, UnprivilegedId),
         .target = "x.glb",
         .result = FileResult::Success,
         .written = "real.glb",
         .mode = 0640},
        {.what = "another user's link in a folder anyone may write, not sticky, is followed",
         .layout = LinkedFileIn(0, 0777, UnprivilegedId),
         .target = "x.glb",
         .result = FileResult::Success,
         .written = "real.glb",
         .mode = 0640},
        {.what = "the longest name the folder takes",
         .layout = [](const std::string&) {},
         .target = longName,
         .result = FileResult::Success,
         .written = longName},
        {.what = "a temporary file left by a killed save is removed",
         .layout =
             [](const std::string& f) {
                 Lay(f + "/u.glb", Old, 0644);
                 Lay(f + "/.u.glb.holvane-saving", {9, 9}, 0644);
             },
         .target = "u.glb",
         .result = FileResult::Success,
         .written = "u.glb",
         .mode = 0644,
         .owner = 0,
         .removed = ".u.glb.holvane-saving"},
        {.what = "a long name's leftover is found by its short temporary name",
         .layout =
             [&](const std::string& f) { Lay(TemporaryNameFor(f + "/" + longName), {9}, 0644); },
         .target = longName,
         .result = FileResult::Success,
         .written = longName,
         .mode = 0644,
         .owner = 0,
         .removed = TemporaryNameFor(longName)},
    };
    // A save of the same file under way in another process holds its temporary file locked.
    cases.push_back({.what = "the temporary file of a save under way",
                     .layout =
                         [this](const std::string& f) {
                             Lay(f + "/u.glb", Old, 0644);
                             Lay(f + "/.u.glb.holvane-saving", {9, 9}, 0644);
                             const int fd =
                                 ::open((f + "/.u.glb.holvane-saving").c_str(), O_RDONLY);
                             ASSERT_EQ(::flock(fd, LOCK_EX), 0);
                             held_.push_back(fd);
                         },
                     .target = "u.glb",
                     .result = FileResult::CannotCreate,
                     .failure = {EBUSY},
                     .written = ""});

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const SaveCase& c = cases[i];
        SCOPED_TRACE(c.what);
        const std::string folder = Path("case" + std::to_string(i));
        fs::create_directory(folder);
        if (c.user == ChildUser::Unprivileged) {
            Own(folder, UnprivilegedId);
        }
        c.layout(folder);
        const Snapshot before = Take(folder);

        const ChildRun run = RunInChild(
            [&] {
                FileFailure failure;
                const FileResult r =
                    WriteUniversalFile(folder + "/" + c.target, Record(), &failure);
                return Encoded(r, failure);
            },
            c.user);
        if (run.end == ChildRun::End::CannotSwitchUser) {
            std::cout << "[  SKIPPED ] " << c.what << ": cannot run as user " << UnprivilegedId
                      << "\n";
            continue;
        }
        ASSERT_EQ(run.end, ChildRun::End::Finished) << "the save blocked or crashed";
        EXPECT_EQ(run.answer, Encoded(c.result, c.failure));

        Snapshot expected = before;
        if (!c.written.empty()) {
            const uid_t owner =
                c.owner != 0 ? c.owner : (c.user == ChildUser::Unprivileged ? UnprivilegedId : 0);
            expected[c.written] = Node{'f', image_, "", c.mode, owner, owner};
        }
        if (!c.removed.empty()) {
            EXPECT_EQ(expected.erase(c.removed), 1u) << c.removed;
        }
        EXPECT_EQ(Take(folder), expected);
        for (const int fd : held_) {
            ::close(fd);
        }
        held_.clear();
    }
}

TEST(TemporaryNameTest, ShortHiddenBesideTheTargetAndOneTargetEach) {
    const std::string a = "/some/folder/" + std::string(255, 'a');
    const std::string b = "/some/folder/" + std::string(254, 'a') + "b";
    const std::string u8 = "/f/" + std::string(39, 'x') + "\xC3\xA9" + std::string(100, 'y');
    struct Case {
        std::string target;
        std::string expected;  // "" where only the form is checked
    };
    const Case cases[] = {
        {"u.glb", ".u.glb.holvane-saving"},
        {"/f/spring.mode", "/f/.spring.mode.holvane-saving"},
        {a, ""},
        {b, ""},
        {u8, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const std::string name = TemporaryNameFor(c.target);
        if (!c.expected.empty()) {
            EXPECT_EQ(name, c.expected);
        }
        const auto slash = c.target.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : c.target.substr(0, slash + 1);
        ASSERT_EQ(name.substr(0, folder.size()), folder);
        const std::string base = name.substr(folder.size());
        EXPECT_LE(base.size(), 100u);
        EXPECT_EQ(base.front(), '.');
        EXPECT_TRUE(base.ends_with(".holvane-saving"));
    }
    EXPECT_NE(TemporaryNameFor(a), TemporaryNameFor(b));
    // A long name is not cut inside a character: the two bytes of the accented letter at the cut
    // go together.
    EXPECT_NE(TemporaryNameFor(u8).find(std::string(39, 'x') + "~"), std::string::npos);
    EXPECT_EQ(TemporaryNameFor(u8).find('\xC3'), std::string::npos);
}

// Named pipes (with and without a writer), folders, devices and sockets are refused by every
// reader at once with the open result, never waited on.
TEST_F(FileioTest, InputsThatAreNotRegularFilesAreRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(Path("written pipe").c_str(), 0644), 0);
    // A writer holds this pipe open and never writes: a blocking read would wait forever.
    const int writer = ::open(Path("written pipe").c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    fs::create_symlink("pipe", Path("link to pipe"));
    fs::create_directory(Path("folder"));
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = Path("socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    struct Case {
        std::string path;
        FileFailure failure;
    };
    const Case cases[] = {
        {Path("pipe"), {0, NodeType::NamedPipe}},
        {Path("written pipe"), {0, NodeType::NamedPipe}},
        {Path("link to pipe"), {0, NodeType::NamedPipe}},
        {Path("folder"), {0, NodeType::Folder}},
        {"/dev/null", {0, NodeType::CharacterDevice}},
        {socketPath, {0, NodeType::Socket}},
        {Path("missing"), {ENOENT}},
    };
    using Reader = std::function<FileResult(const std::string&, FileFailure&)>;
    const std::pair<const char*, Reader> readers[] = {
        {"mode",
         [](const std::string& n, FileFailure& f) {
             ModeRecord m;
             std::uint8_t flag = 0;
             return ReadModeFile(n, m, flag, &f);
         }},
        {"pattern",
         [](const std::string& n, FileFailure& f) {
             PatternRecord p;
             return ReadPatternFile(n, p, &f);
         }},
        {"universal",
         [](const std::string& n, FileFailure& f) {
             UniversalSettingsRecord u;
             return ReadUniversalFile(n, u, &f);
         }},
        {"backup",
         [](const std::string& n, FileFailure& f) {
             BackupPayload b;
             return ReadBackupFile(n, b, &f);
         }},
        {"kind",
         [](const std::string& n, FileFailure& f) {
             FileKind k;
             return ReadFileKind(n, k, &f);
         }},
        {"start",
         [](const std::string& n, FileFailure& f) {
             Bytes bytes;
             std::uintmax_t size = 0;
             return ReadFileStart(n, 10, bytes, size, &f);
         }},
    };
    for (const Case& c : cases) {
        for (const auto& [what, read] : readers) {
            SCOPED_TRACE(c.path + ", " + what);
            const ChildRun run = RunInChild(
                [&] {
                    FileFailure failure;
                    const FileResult r = read(c.path, failure);
                    return Encoded(r, failure);
                },
                ChildUser::Same, std::chrono::seconds(2));
            ASSERT_EQ(run.end, ChildRun::End::Finished) << "the read blocked or crashed";
            EXPECT_EQ(run.answer, Encoded(FileResult::CannotOpen, c.failure));
        }
    }
    ::close(sock);
    ::close(writer);
}
