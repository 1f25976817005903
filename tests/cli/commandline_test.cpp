#include "CommandLine.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "CliFixture.h"

using namespace holvane;
using namespace holvane::cli;

namespace {

struct UsageCase {
    std::vector<std::string> args;
    std::string error;  // part of the message
};

// Names the case by its command line in test listings.
void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << "holvanectl";
    for (const auto& a : c.args)
        *os << ' ' << a;
}

class UsageErrorTest : public test::CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageErrorTest, ExitsWithStatusTwoAndSaysWhy) {
    const auto result = Holvanectl(GetParam().args);
    EXPECT_EQ(result.status, ExitUsage);
    EXPECT_NE(result.err.find(GetParam().error), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, UsageErrorTest,
    ::testing::Values(
        UsageCase{{}, "a command is needed"}, UsageCase{{"frobnicate"}, "no command"},
        UsageCase{{"backup"}, "usage: holvanectl backup FILE"},
        UsageCase{{"backup", "a", "b"}, "usage: holvanectl backup FILE"},
        UsageCase{{"show", "x", "--yes"}, "--yes is not one of show"},
        UsageCase{{"--json", "show", "x"}, "needs a command before it"},
        UsageCase{{"backup", "x", "--bogus"}, "unknown option --bogus"},
        UsageCase{{"--demo", "--simulate", "s.vantor", "list"}, "exclude each other"},
        UsageCase{{"--save-state", "s.vantor", "list"}, "needs --demo or --simulate"},
        UsageCase{{"--simulate"}, "--simulate needs a file name"},
        UsageCase{{"download", "universal"}, "needs -o FILE"},
        UsageCase{{"download", "universal", "Current Mode", "-o", "f"}, "takes no slot"},
        UsageCase{{"download", "mode", "-o", "f"}, "needs a slot name"},
        UsageCase{{"download", "mode", "My Mode 9", "-o", "f"}, "no mode is called"},
        UsageCase{{"download", "pattern", "Korvane Beach", "-o", "f"}, "no pattern slot"},
        UsageCase{{"download", "preferences", "-o", "f"}, "not 'preferences'"},
        UsageCase{{"picture", "p.ptrn", "-o", "x.png", "--scale", "0"}, "--scale takes"},
        UsageCase{{"picture", "p.ptrn", "-o", "x.png", "--scale", "4x"}, "--scale takes"},
        UsageCase{{"picture", "p.ptrn", "-o"}, "-o needs a value"},
        UsageCase{{"restore", "b.vantor", "--yes=1"}, "takes no value"},
        UsageCase{{"help", "nothing"}, "no command is called 'nothing'"},
        // An empty file name names no file (a backup would be saved as a hidden ".vantor").
        UsageCase{{"--demo", "backup", ""}, "a file name cannot be empty"},
        UsageCase{{"restore", "", "--yes"}, "a file name cannot be empty"},
        UsageCase{{"show", "--", ""}, "a file name cannot be empty"},
        UsageCase{{"picture", "", "-o", "x.png"}, "a file name cannot be empty"},
        UsageCase{{"picture", "p.ptrn", "-o", ""}, "-o needs a value"},
        UsageCase{{"download", "universal", "--output="}, "--output needs a value"},
        UsageCase{{"--demo", "--save-state=", "list"}, "--save-state needs a file name"},
        // After "--" an option is an operand.
        UsageCase{{"restore", "--", "b.vantor", "--yes"}, "usage: holvanectl restore"},
        UsageCase{{"--", "--demo", "list"}, "no command is called '--demo'"}));

TEST(CommandLineTest, SlotNamesAreTheWindowsInAnyCase) {
    const std::vector<std::string> mode = {"download", "mode", "korvane BEACH", "-o", "f"};
    auto parsed = ParseCommandLine(mode);
    ASSERT_TRUE(parsed.invocation) << parsed.error;
    EXPECT_EQ(parsed.invocation->downloadTarget, DownloadTarget::Mode);
    EXPECT_EQ(parsed.invocation->downloadSlot, 2);

    const std::vector<std::string> pattern = {"--demo", "download", "pattern", "my mode 3 pattern",
                                              "--output=f"};
    parsed = ParseCommandLine(pattern);
    ASSERT_TRUE(parsed.invocation) << parsed.error;
    EXPECT_TRUE(parsed.invocation->demo);
    EXPECT_EQ(parsed.invocation->downloadSlot, 16);
    EXPECT_EQ(parsed.invocation->output, "f");
}

TEST(CommandLineTest, DoubleDashEndsTheOptions) {
    auto parsed = ParseCommandLine(std::vector<std::string>{"--demo", "show", "--", "--json"});
    ASSERT_TRUE(parsed.invocation) << parsed.error;
    EXPECT_FALSE(parsed.invocation->json);
    EXPECT_EQ(parsed.invocation->operands, std::vector<std::string>{"--json"});

    // The command itself may follow it; a second "--" is an operand.
    parsed = ParseCommandLine(std::vector<std::string>{"--demo", "--", "backup", "--"});
    ASSERT_TRUE(parsed.invocation) << parsed.error;
    EXPECT_EQ(parsed.invocation->command, Command::Backup);
    EXPECT_EQ(parsed.invocation->operands, std::vector<std::string>{"--"});
}

class HelpTest : public test::CliTest {};

TEST_F(HelpTest, EveryCommandHasItsHelpOnStdout) {
    for (const std::string command :
         {"list", "udev-rule", "backup", "restore", "show", "download", "upload", "picture"}) {
        SCOPED_TRACE(command);
        const auto viaOption = Holvanectl({command, "--help"});
        EXPECT_EQ(viaOption.status, ExitSuccess);
        EXPECT_EQ(viaOption.out.rfind("Usage: holvanectl " + command, 0), 0u) << viaOption.out;
        EXPECT_EQ(Holvanectl({"help", command}).out, viaOption.out);
    }
    const auto program = Holvanectl({"--help"});
    EXPECT_EQ(program.status, ExitSuccess);
    EXPECT_NE(program.out.find("--simulate FILE.vantor"), std::string::npos);
}

}  // namespace
