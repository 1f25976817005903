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
    EXPECT_EQ(WriteUniversalFile(Path("folder.glb"), Universal(2)), FileResult::WriteFailed);

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

}  // namespace
