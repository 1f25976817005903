// The command line of holvanectl: global options, one sub-command with its operands and
// options, and the help texts. Parsing only checks the form of the command line; what the named
// files hold is looked at when the command runs.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace holvane::cli {

enum class Command {
    List,
    UdevRule,
    Backup,
    Restore,
    Show,
    Download,
    Upload,
    Picture,
    Import,
    Set,
    Diff,
    Names
};

// What `download` reads.
enum class DownloadTarget { Universal, Mode, Pattern };

struct Invocation {
    // Help instead of a command: for the whole program (no command) or for one command.
    bool help = false;
    bool version = false;
    std::optional<Command> command;

    // Global options.
    bool demo = false;
    std::optional<std::string> simulate;   // backup file seeding the virtual detector
    std::optional<std::string> saveState;  // backup file written from it at the end

    std::vector<std::string> operands;
    bool yes = false;
    bool json = false;
    std::optional<std::string> output;
    std::optional<std::string> slot;
    int scale = 4;
    // set: the section of a backup whose settings change.
    std::optional<std::string> section;
    // The detector to talk to: its path as `list` shows it, or its number there.
    std::optional<std::string> device;

    // diff: compare the file with the detector instead of a second file.
    bool detector = false;
    // restore and upload: show what would change and write nothing; read back what was written;
    // write without saving the detector's state first.
    bool dryRun = false;
    bool verify = false;
    bool noSafetyCopy = false;

    // download: what to read, and the mode or pattern slot it names.
    DownloadTarget downloadTarget = DownloadTarget::Universal;
    int downloadSlot = -1;

    bool Simulated() const { return demo || simulate.has_value(); }
};

// The kinds of name `names` lists.
enum class NameList { Mode, Pattern, Section };
// The kind a word names ("mode", "pattern", "section", in any case), if any.
std::optional<NameList> NameListOf(std::string_view word);

struct ParseOutcome {
    std::optional<Invocation> invocation;  // empty on a usage error
    std::string error;                     // the usage error, without the usage text
};

// args are the arguments after the program name.
ParseOutcome ParseCommandLine(std::span<const std::string> args);

inline constexpr int MinimumScale = 1;
inline constexpr int MaximumScale = 64;

// The help of the whole program, and of one command.
std::string ProgramHelp();
std::string CommandHelp(Command command);
// The usage line of a command ("holvanectl backup FILE").
std::string CommandUsage(Command command);

}  // namespace holvane::cli
