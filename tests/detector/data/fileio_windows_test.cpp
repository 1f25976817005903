// The settings files over the Win32 file calls: whole files replaced in one step, and the
// failures a Windows machine gives.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Fileio.h"

using namespace holvane;
namespace fs = std::filesystem;

namespace {

class FileioWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path() / ("holvane-fileio-" + std::to_string(random()));
            if (fs::create_directory(candidate)) {
                dir_ = candidate;
            }
        }
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

UniversalSettingsRecord Universal(std::uint8_t first) {
    UniversalSettingsRecord record{};
    record[0] = first;
    record[17] = 0x5A;
    return record;
}

TEST_F(FileioWindowsTest, ASaveReplacesTheFileWholeAndLeavesNothingBeside) {
    const std::string file = Path("u.glb");
    ASSERT_EQ(WriteUniversalFile(file, Universal(1)), FileResult::Success);
    ASSERT_EQ(WriteUniversalFile(file, Universal(2)), FileResult::Success);
    UniversalSettingsRecord read{};
    ASSERT_EQ(ReadUniversalFile(file, read), FileResult::Success);
    EXPECT_EQ(read, Universal(2));
    EXPECT_EQ(Entries(), std::vector<std::string>{"u.glb"});

    // Backslashes separate folders as well as slashes.
    std::string backslashed = file;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    ASSERT_EQ(WriteUniversalFile(backslashed, Universal(3)), FileResult::Success);
    ASSERT_EQ(ReadUniversalFile(file, read), FileResult::Success);
    EXPECT_EQ(read, Universal(3));
    EXPECT_EQ(Entries(), std::vector<std::string>{"u.glb"});
}

TEST_F(FileioWindowsTest, FailuresGiveTheirResultsAndLoseNothing) {
    const std::string file = Path("u.glb");
    ASSERT_EQ(WriteUniversalFile(file, Universal(1)), FileResult::Success);

    EXPECT_EQ(WriteUniversalFile(Path("no such folder/u.glb"), Universal(2)),
              FileResult::CannotCreate);
    EXPECT_EQ(WriteUniversalFile("", Universal(2)), FileResult::CannotCreate);
    fs::create_directory(Path("folder.glb"));
    EXPECT_EQ(WriteUniversalFile(Path("folder.glb"), Universal(2)), FileResult::CannotCreate);

    // A file another program holds open without sharing cannot be replaced.
    const HANDLE held = ::CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WriteUniversalFile(file, Universal(2)), FileResult::WriteFailed);
    UniversalSettingsRecord read{};
    EXPECT_EQ(ReadUniversalFile(file, read), FileResult::CannotOpen);
    ::CloseHandle(held);

    ASSERT_EQ(ReadUniversalFile(file, read), FileResult::Success);
    EXPECT_EQ(read, Universal(1));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"folder.glb", "u.glb"}));

    EXPECT_EQ(ReadUniversalFile(Path("missing.glb"), read), FileResult::CannotOpen);
    EXPECT_EQ(ReadUniversalFile(Path("folder.glb"), read), FileResult::CannotOpen);
    std::ofstream(Path("short.glb"), std::ios::binary) << "abc";
    EXPECT_EQ(ReadUniversalFile(Path("short.glb"), read), FileResult::ChecksumMismatch);
    EXPECT_EQ(read, Universal(1));
}

// A save is refused before anything is written where the target cannot be replaced, and every
// input that is no regular file is refused at once; each failure carries the system's reason.
TEST_F(FileioWindowsTest, RefusedTargetsAndInputsSayWhy) {
    ASSERT_EQ(WriteUniversalFile(Path("u.glb"), Universal(1)), FileResult::Success);
    ASSERT_EQ(WriteUniversalFile(Path("read-only.glb"), Universal(1)), FileResult::Success);
    ASSERT_TRUE(::SetFileAttributesA(Path("read-only.glb").c_str(), FILE_ATTRIBUTE_READONLY));
    fs::create_directory(Path("folder.glb"));
    const auto before = Entries();

    struct Case {
        const char* what;
        std::string name;
        FileResult write;  // a save to the name
        FileResult read;   // a read of the name
        FileFailure writeFailure;
        FileFailure readFailure;
    };
    const Case cases[] = {
        {"read-only file",
         Path("read-only.glb"),
         FileResult::CannotCreate,
         FileResult::Success,
         {ERROR_ACCESS_DENIED, NodeType::RegularFile},
         {}},
        {"folder",
         Path("folder.glb"),
         FileResult::CannotCreate,
         FileResult::CannotOpen,
         {0, NodeType::Folder},
         {0, NodeType::Folder}},
        {"device",
         "NUL",
         FileResult::CannotCreate,
         FileResult::CannotOpen,
         {0, NodeType::CharacterDevice},
         {0, NodeType::CharacterDevice}},
        {"missing folder",
         Path("missing\\u.glb"),
         FileResult::CannotCreate,
         FileResult::CannotOpen,
         {ERROR_PATH_NOT_FOUND, NodeType::RegularFile},
         {ERROR_PATH_NOT_FOUND, NodeType::RegularFile}},
        {"missing file",
         Path("missing.glb"),
         FileResult::Success,
         FileResult::CannotOpen,
         {},
         {ERROR_FILE_NOT_FOUND, NodeType::RegularFile}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileFailure failure{-1, NodeType::Other};
        UniversalSettingsRecord read = Universal(7);
        const FileResult readResult = ReadUniversalFile(c.name, read, &failure);
        EXPECT_EQ(readResult, c.read);
        if (c.read != FileResult::Success) {
            EXPECT_EQ(failure.error, c.readFailure.error);
            EXPECT_EQ(failure.node, c.readFailure.node);
            EXPECT_EQ(read, Universal(7));
        }
        if (c.write == FileResult::Success) {
            continue;  // the name is free: saving there is no failure
        }
        failure = {-1, NodeType::Other};
        EXPECT_EQ(WriteUniversalFile(c.name, Universal(2), &failure), c.write);
        EXPECT_EQ(failure.error, c.writeFailure.error);
        EXPECT_EQ(failure.node, c.writeFailure.node);
    }
    // Nothing was written or left beside, and the refused file still holds what it held.
    EXPECT_EQ(Entries(), before);
    UniversalSettingsRecord read{};
    ASSERT_EQ(ReadUniversalFile(Path("read-only.glb"), read), FileResult::Success);
    EXPECT_EQ(read, Universal(1));
    ::SetFileAttributesA(Path("read-only.glb").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileioWindowsTest, ATemporaryFileIsTakenOverOnlyWhenNoSaveHoldsIt) {
    const std::string file = Path("u.glb");
    const std::string temporary = TemporaryNameFor(file);
    EXPECT_EQ(temporary, Path(".u.glb.holvane-saving"));
    std::string backslashed = file;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_EQ(fs::path(TemporaryNameFor(backslashed)).filename(), ".u.glb.holvane-saving");

    // Left over from a save that was killed: replaced.
    std::ofstream(temporary, std::ios::binary) << "half a file";
    ASSERT_EQ(WriteUniversalFile(file, Universal(1)), FileResult::Success);
    EXPECT_EQ(Entries(), std::vector<std::string>{"u.glb"});

    // Held open by a save under way: this save is refused and the other one's file stays.
    const HANDLE other = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    FileFailure failure;
    EXPECT_EQ(WriteUniversalFile(file, Universal(2), &failure), FileResult::CannotCreate);
    EXPECT_EQ(failure.error, SaveUnderWayError);
    ::CloseHandle(other);
    EXPECT_EQ(Entries(), (std::vector<std::string>{".u.glb.holvane-saving", "u.glb"}));
    UniversalSettingsRecord read{};
    ASSERT_EQ(ReadUniversalFile(file, read), FileResult::Success);
    EXPECT_EQ(read, Universal(1));
}

TEST_F(FileioWindowsTest, AFileIsReadFromItsStartWithItsSize) {
    const std::vector<std::uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7};
    ASSERT_EQ(WriteWholeFile(Path("whole.bin"), bytes), FileResult::Success);
    for (const std::size_t limit :
         {std::size_t{0}, std::size_t{3}, std::size_t{7}, std::size_t{50}}) {
        SCOPED_TRACE(limit);
        std::vector<std::uint8_t> start = {9};
        std::uintmax_t size = 0;
        ASSERT_EQ(ReadFileStart(Path("whole.bin"), limit, start, size), FileResult::Success);
        EXPECT_EQ(size, bytes.size());
        EXPECT_EQ(start, std::vector<std::uint8_t>(bytes.begin(),
                                                   bytes.begin() + std::min(limit, bytes.size())));
    }
}

// The reasons read as the ends of sentences: no full stop, no line end.
TEST_F(FileioWindowsTest, SystemReasonsAreReadable) {
    const int errors[] = {ERROR_ACCESS_DENIED, ERROR_PATH_NOT_FOUND, ERROR_SHARING_VIOLATION, 0,
                          0x7FFF0000};
    for (const int error : errors) {
        SCOPED_TRACE(error);
        const std::string text = SystemErrorText(error);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
        EXPECT_NE(text.back(), '.') << text;
    }
    EXPECT_NE(SystemErrorText(ERROR_ACCESS_DENIED), SystemErrorText(ERROR_PATH_NOT_FOUND));
}

}  // namespace
