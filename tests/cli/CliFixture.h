// Runs holvanectl in the test's process, with captured output and scripted terminal answers,
// in a temporary folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Holvanectl.h"

namespace holvane::cli::test {

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("holvanectl-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        // Safety copies go into the test's folder, never the user's.
        const std::string state = Path("state");
#if defined(_WIN32)
        _putenv(("XDG_STATE_HOME=" + state).c_str());
#else
        setenv("XDG_STATE_HOME", state.c_str(), 1);
#endif
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
    }

    std::string Path(const std::string& name) const {
        return (dir_ / name).string();
    }

    // Runs the command line. With answers, a terminal is there and gives them in turn.
    RunResult Holvanectl(std::vector<std::string> args,
                         std::optional<std::deque<std::string>> answers = std::nullopt) {
        std::ostringstream out;
        std::ostringstream err;
        Console console{out, err, {}};
        if (answers) {
            console.readAnswer = [answers]() mutable -> std::optional<std::string> {
                if (answers->empty()) {
                    return std::nullopt;
                }
                std::string a = answers->front();
                answers->pop_front();
                return a;
            };
        }
        const int status = cli::Run(args, console);
        return {status, out.str(), err.str()};
    }

    std::vector<std::uint8_t> FileBytes(const std::string& name) const {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    void WriteBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::filesystem::path dir_;
};

}  // namespace holvane::cli::test
