#include "CommandLine.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

#include "Records.h"
#include "TextCase.h"

namespace holvane::cli {

namespace {

// The options a command may take besides the global ones.
enum Option : unsigned {
    OptYes = 1u << 0,
    OptJson = 1u << 1,
    OptOutput = 1u << 2,
    OptSlot = 1u << 3,
    OptScale = 1u << 4,
    OptSection = 1u << 5,
    OptDevice = 1u << 6,
    OptDetector = 1u << 7,
    OptDryRun = 1u << 8,
    OptVerify = 1u << 9,
    OptNoSafetyCopy = 1u << 10,
    // The options around a write.
    OptWriteChecks = OptDryRun | OptVerify | OptNoSafetyCopy,
};

// What restore and upload say about the options around a write.
#define HOLVANE_WRITE_CHECKS_HELP                                                              \
    "Before the first write the whole detector is read and saved as a backup file in\n"        \
    "$XDG_STATE_HOME/holvane/safety/ (~/.local/state/holvane/safety/ when unset; the newest\n" \
    "20 are kept): restore it to undo the write. If that copy cannot be made nothing is\n"     \
    "written; --no-safety-copy skips it. --dry-run reads what the write would replace,\n"      \
    "prints what would change (as diff does) and writes nothing. --verify reads back, over\n"  \
    "a new connection, every record written and compares it with what was sent (exit\n"        \
    "status 1 and the differences when the detector does not hold it)."

struct CommandInfo {
    Command command;
    std::string_view name;
    std::string_view usage;  // after "holvanectl "
    std::size_t minOperands;
    std::size_t maxOperands;
    unsigned options;
    std::string_view description;
};

const std::array<CommandInfo, 12> Commands = {{
    {Command::List, "list", "list [--json]", 0, 0, OptJson,
     "Lists the detectors the library would use, in its order, numbered as --device takes\n"
     "them (entry 0 is the one a command talks to without --device), with path and\n"
     "vendor:product, and every hidraw node with the\n"
     "detector's vendor id that could not be opened, with the reason and what to do.\n"
     "Exit status 0 when a detector can be used, 1 when none can."},
    {Command::UdevRule, "udev-rule", "udev-rule", 0, 0, 0,
     "Prints the udev rule that gives the logged-in user access to the detector. Without the\n"
     "package, install it with:\n"
     "  holvanectl udev-rule | sudo tee /etc/udev/rules.d/70-holvane-vantor.rules\n"
     "  sudo udevadm control --reload-rules\n"
     "then unplug and replug the detector."},
    {Command::Backup, "backup", "backup FILE [--device PATH|N] [--json]", 1, 1, OptDevice | OptJson,
     "Reads the current mode, the user modes that exist, the universal settings, the\n"
     "preferences and the seven stored patterns into one backup file. \".vantor\" is appended\n"
     "when the name's extension does not contain \"vantor\". Progress goes to stderr; on\n"
     "failure no file is written."},
    {Command::Restore, "restore",
     "restore FILE [--yes] [--dry-run | --verify] [--no-safety-copy] [--device PATH|N] [--json]", 1,
     1, OptYes | OptWriteChecks | OptDevice | OptJson,
     "Checks the backup file, asks before overwriting the detector's settings, user modes\n"
     "and user patterns, then writes them. --yes answers the question; without a terminal\n"
     "and without --yes nothing is written. User modes absent from the file are left as the\n"
     "detector holds them.\n" HOLVANE_WRITE_CHECKS_HELP},
    {Command::Show, "show", "show FILE [--json]", 1, 1, OptJson,
     "Shows a mode, pattern, universal-settings or backup file, recognised by its magic\n"
     "number: whether it is valid (and which check fails), every setting as the settings\n"
     "grids show it (with its byte where no list item stands for it), the bytes and bits no\n"
     "setting or cell shows in hex, and every pattern as 35 lines of 50 characters ('#' on,\n"
     "'.' off). --json prints the same as one JSON document (schema \"holvane-file/1\",\n"
     "which import reads back; docs/json.md), raw bytes included; a byte of\n"
     "the file name that is not UTF-8 shows as U+FFFD in \"file\", and \"fileHex\" then\n"
     "gives the name's exact bytes. Exit status 1 for a file that is not valid."},
    {Command::Download, "download",
     "download universal|mode SLOT|pattern SLOT -o FILE [--device PATH|N] [--json]", 1, 2,
     OptOutput | OptDevice | OptJson,
     "Reads one record from the detector and saves it: the universal settings to a .glb\n"
     "file, a mode to a .mode file, a stored pattern to a .ptrn file. Slots by the names the\n"
     "window shows, in any case: \"Current Mode\", \"My Mode 1\"..\"My Mode 4\", the factory\n"
     "modes; \"Current Glintmap\", \"Swiftveil\", \"My Pattern 1\"..\"My Pattern 6\",\n"
     "\"My Mode 1 Pattern\"..\"My Mode 4 Pattern\"."},
    {Command::Upload, "upload",
     "upload FILE [--slot SLOT] [--yes] [--dry-run | --verify] [--no-safety-copy] [--device "
     "PATH|N] [--json]",
     1, 1, OptSlot | OptYes | OptWriteChecks | OptDevice | OptJson,
     "Writes the record of a file into the detector. A mode file goes into a writable mode\n"
     "slot (default \"Current Mode\"), whole when it holds a pattern, its settings only\n"
     "otherwise; overwriting an existing mode is asked first (--yes answers). A pattern file,\n"
     "or a mode file with a pattern slot, writes the pattern into that slot (--slot needed).\n"
     "A universal-settings file takes no slot.\n" HOLVANE_WRITE_CHECKS_HELP},
    {Command::Picture, "picture", "picture FILE -o OUT.png [--scale N]", 1, 1, OptOutput | OptScale,
     "Draws the pattern of a pattern or mode file as the window's full pattern picture\n"
     "(102 x 73 pixels), scaled up by N (default 4, 1 to 64), into a PNG file."},
    {Command::Diff, "diff", "diff A B [--json] | diff FILE --detector [--slot SLOT] [--json]", 1, 2,
     OptDetector | OptSlot | OptDevice | OptJson,
     "Compares two files of the same kind, or a file with what the detector holds now\n"
     "(reading only): a backup file with the whole detector, a universal-settings file with\n"
     "the universal settings, a mode or pattern file with the slot --slot names, as upload\n"
     "takes it (a mode file goes with \"Current Mode\" by default). Prints \"identical\" or\n"
     "the differences section by section: settings as the grids show them, pattern cells by\n"
     "count and row, other bytes and bits by offset, user modes held on one side only.\n"
     "--json prints the same as one JSON document. Exit status 0 identical, 1 different,\n"
     "2 trouble (a usage error, a file that cannot be read or is not valid, two files of\n"
     "different kinds, a detector that cannot be read)."},
    {Command::Import, "import", "import FILE.json -o FILE", 1, 1, OptOutput,
     "Builds a mode, pattern, universal-settings or backup file from the JSON document that\n"
     "show --json prints (schema \"holvane-file/1\"); the kind, and the extension appended\n"
     "as on every save, come from the document. A document that show --json printed gives\n"
     "the file back byte for byte. Edit a setting by its text (\"Off\") or its byte (0..255),\n"
     "a pattern by its '#' and '.' cells, any other byte by its hex. Every key, caption,\n"
     "text and length is checked; on any fault the message names its place in the document,\n"
     "the exit status is 1 and no file is written. The raw bytes, offsets, size and\n"
     "checksums in the document are for people and are not read; a document of a file that\n"
     "is not valid is refused. Bytes after a file's fixed length are not in the document."},
    {Command::Set, "set", "set FILE CAPTION=VALUE... [--section NAME]", 2, SIZE_MAX, OptSection,
     "Changes settings in a mode, universal-settings or backup file in place, each named by\n"
     "its caption in the settings grid (any case), with a value the grid accepts: an item of\n"
     "its list or a whole number within its limits. Only the named settings' bytes change;\n"
     "the file is saved as every file is saved (a failed save keeps the old file). In a\n"
     "backup, --section names the record: \"Current mode\", \"My Mode 1\"..\"My Mode 4\",\n"
     "\"Universal settings\" or \"Preferences\". Unknown captions and values out of the list\n"
     "or the limits are all named, with exit status 1 and the file unchanged."},
    {Command::Names, "names", "names mode|pattern|section", 1, 1, 0,
     "Prints the names one kind of place goes by, one per line, as the commands take them:\n"
     "mode, the mode slots (download mode, upload --slot, diff --slot); pattern, the\n"
     "pattern slots; section, the records of a backup whose settings set --section names.\n"
     "The bash completion offers these names."},
}};
#undef HOLVANE_WRITE_CHECKS_HELP

const CommandInfo* FindCommand(std::string_view name) {
    for (const CommandInfo& info : Commands) {
        if (info.name == name) {
            return &info;
        }
    }
    return nullptr;
}

const CommandInfo& InfoOf(Command command) {
    for (const CommandInfo& info : Commands) {
        if (info.command == command) {
            return info;
        }
    }
    return Commands.front();
}

ParseOutcome UsageError(std::string error) {
    return {std::nullopt, std::move(error)};
}

bool ParseScale(std::string_view text, int& scale) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < MinimumScale ||
        value > MaximumScale) {
        return false;
    }
    scale = value;
    return true;
}

// The target and slot of `download`, from its operands.
std::string ParseDownloadOperands(Invocation& inv) {
    const std::string& what = inv.operands[0];
    if (EqualsIgnoringCase(what, "universal")) {
        if (inv.operands.size() != 1) {
            return "download universal takes no slot";
        }
        inv.downloadTarget = DownloadTarget::Universal;
        return "";
    }
    const bool mode = EqualsIgnoringCase(what, "mode");
    if (!mode && !EqualsIgnoringCase(what, "pattern")) {
        return "download reads universal, mode SLOT or pattern SLOT, not '" + what + "'";
    }
    if (inv.operands.size() != 2) {
        return std::string("download ") + (mode ? "mode" : "pattern") + " needs a slot name";
    }
    const std::string& slot = inv.operands[1];
    if (mode) {
        const ModeSlotInfo* info = FindModeSlotByName(slot);
        if (info == nullptr) {
            return "no mode is called '" + slot + "'";
        }
        inv.downloadTarget = DownloadTarget::Mode;
        inv.downloadSlot = info->slot;
    } else {
        const PatternSlotInfo* info = FindPatternSlotByName(slot);
        if (info == nullptr) {
            return "no pattern slot is called '" + slot + "'";
        }
        inv.downloadTarget = DownloadTarget::Pattern;
        inv.downloadSlot = info->slot;
    }
    return "";
}

// The words of the command line, one at a time; a long option may carry its value after '='.
// After "--" every word is taken as it stands.
class Tokens {
public:
    explicit Tokens(std::span<const std::string> args) : args_(args) {}

    bool Next() {
        if (next_ >= args_.size()) {
            return false;
        }
        word_ = args_[next_++];
        attached_.reset();
        if (!optionsEnded_ && word_ == "--") {
            optionsEnded_ = true;
            return Next();
        }
        if (!optionsEnded_ && word_.starts_with("--")) {
            if (const auto eq = word_.find('='); eq != std::string::npos) {
                attached_ = word_.substr(eq + 1);
                word_.resize(eq);
            }
        }
        return true;
    }

    const std::string& Word() const { return word_; }
    // True once "--" has been passed: the words after it are operands, never options.
    bool OptionsEnded() const { return optionsEnded_; }
    bool HasAttachedValue() const { return attached_.has_value(); }

    // The option's value: the attached one, else the next word.
    bool Value(std::string& out) {
        if (attached_) {
            out = *attached_;
            return true;
        }
        if (next_ >= args_.size()) {
            return false;
        }
        out = args_[next_++];
        return true;
    }

    // The next word as it stands, for "help COMMAND".
    std::optional<std::string> TakeWord() {
        if (next_ >= args_.size()) {
            return std::nullopt;
        }
        return args_[next_++];
    }

private:
    std::span<const std::string> args_;
    std::size_t next_ = 0;
    std::string word_;
    std::optional<std::string> attached_;
    bool optionsEnded_ = false;
};

struct CommandOption {
    std::string_view names[2];
    Option option;
    bool takesValue;
};

constexpr CommandOption CommandOptions[] = {
    {{"--yes", "-y"}, OptYes, false},
    {{"--json", ""}, OptJson, false},
    {{"--output", "-o"}, OptOutput, true},
    {{"--slot", ""}, OptSlot, true},
    {{"--scale", ""}, OptScale, true},
    {{"--section", ""}, OptSection, true},
    {{"--device", ""}, OptDevice, true},
    {{"--detector", ""}, OptDetector, false},
    {{"--dry-run", ""}, OptDryRun, false},
    {{"--verify", ""}, OptVerify, false},
    {{"--no-safety-copy", ""}, OptNoSafetyCopy, false},
};

const CommandOption* FindCommandOption(std::string_view word) {
    for (const CommandOption& o : CommandOptions) {
        if (word == o.names[0] || (!o.names[1].empty() && word == o.names[1])) {
            return &o;
        }
    }
    return nullptr;
}

// Commands whose operands are all file names.
bool TakesFileOperands(Command command) {
    switch (command) {
        case Command::Backup:
        case Command::Restore:
        case Command::Show:
        case Command::Upload:
        case Command::Picture:
        case Command::Diff:
        case Command::Import:
            return true;
        default:
            return false;
    }
}

// The field a flag option sets.
bool& FlagOf(Invocation& inv, Option option) {
    switch (option) {
        case OptJson:
            return inv.json;
        case OptDetector:
            return inv.detector;
        case OptDryRun:
            return inv.dryRun;
        case OptVerify:
            return inv.verify;
        case OptNoSafetyCopy:
            return inv.noSafetyCopy;
        default:
            return inv.yes;
    }
}

// What the parse has gathered so far.
struct ParseState {
    Invocation inv;
    const CommandInfo* command = nullptr;
    unsigned given = 0;  // the command options given
};

// A word handled, not one of its kind, or a usage error.
enum class Handled { Yes, No, Error };

Handled ParseGlobalOption(Tokens& tokens, ParseState& state, std::string& error) {
    const std::string& word = tokens.Word();
    if (word == "--help" || word == "-h") {
        state.inv.help = true;
        return Handled::Yes;
    }
    if (!tokens.HasAttachedValue() && (word == "--version" || word == "--demo")) {
        (word == "--version" ? state.inv.version : state.inv.demo) = true;
        return Handled::Yes;
    }
    if (word == "--simulate" || word == "--save-state") {
        std::string file;
        if (!tokens.Value(file) || file.empty()) {
            error = word + " needs a file name";
            return Handled::Error;
        }
        (word == "--simulate" ? state.inv.simulate : state.inv.saveState) = file;
        return Handled::Yes;
    }
    return Handled::No;
}

Handled ParseCommandOption(Tokens& tokens, ParseState& state, std::string& error) {
    const std::string& word = tokens.Word();
    const CommandOption* option = FindCommandOption(word);
    if (option == nullptr) {
        return Handled::No;
    }
    const CommandInfo* command = state.command;
    if (command == nullptr || (command->options & option->option) == 0) {
        error = "option " + word +
                (command ? " is not one of " + std::string(command->name)
                         : std::string(" needs a command before it"));
        return Handled::Error;
    }
    state.given |= option->option;
    Invocation& inv = state.inv;
    if (!option->takesValue) {
        if (tokens.HasAttachedValue()) {
            error = "option " + word + " takes no value";
            return Handled::Error;
        }
        FlagOf(inv, option->option) = true;
        return Handled::Yes;
    }
    std::string text;
    if (!tokens.Value(text) || text.empty()) {
        error = "option " + word + " needs a value";
        return Handled::Error;
    }
    if (option->option == OptOutput) {
        inv.output = text;
    } else if (option->option == OptSlot) {
        inv.slot = text;
    } else if (option->option == OptSection) {
        inv.section = text;
    } else if (option->option == OptDevice) {
        inv.device = text;
    } else if (!ParseScale(text, inv.scale)) {
        error = "--scale takes a whole number from " + std::to_string(MinimumScale) + " to " +
                std::to_string(MaximumScale);
        return Handled::Error;
    }
    return Handled::Yes;
}

// The command word ("help" may name one after it), or one of the command's operands.
std::string ParseWord(Tokens& tokens, ParseState& state) {
    const std::string& word = tokens.Word();
    if (state.command != nullptr) {
        state.inv.operands.push_back(word);
        return "";
    }
    std::string name = word;
    if (word == "help") {
        state.inv.help = true;
        const std::optional<std::string> topic = tokens.TakeWord();
        if (!topic) {
            return "";
        }
        name = *topic;
    }
    state.command = FindCommand(name);
    if (state.command == nullptr) {
        return "no command is called '" + name + "'";
    }
    state.inv.command = state.command->command;
    return "";
}

// The rules that concern the command line as a whole.
std::string Validate(ParseState& state) {
    Invocation& inv = state.inv;
    const CommandInfo* command = state.command;
    if (command == nullptr) {
        return "a command is needed";
    }
    if (inv.demo && inv.simulate) {
        return "--demo and --simulate exclude each other";
    }
    if (inv.saveState && !inv.Simulated()) {
        return "--save-state needs --demo or --simulate";
    }
    if (inv.operands.size() < command->minOperands || inv.operands.size() > command->maxOperands) {
        return "usage: holvanectl " + std::string(command->usage);
    }
    if (TakesFileOperands(command->command) &&
        std::ranges::any_of(inv.operands, [](const std::string& o) { return o.empty(); })) {
        return "a file name cannot be empty";
    }
    if ((command->command == Command::Download || command->command == Command::Picture ||
         command->command == Command::Import) &&
        (state.given & OptOutput) == 0) {
        return std::string(command->name) + " needs -o FILE";
    }
    if (command->command == Command::Download) {
        return ParseDownloadOperands(inv);
    }
    if (inv.dryRun && inv.verify) {
        return "--dry-run and --verify exclude each other";
    }
    if (command->command == Command::Diff) {
        if (inv.detector != (inv.operands.size() == 1)) {
            return "usage: holvanectl " + std::string(command->usage);
        }
        if (inv.slot && !inv.detector) {
            return "--slot goes with --detector";
        }
    }
    if (command->command == Command::Names && !NameListOf(inv.operands[0])) {
        return "names lists mode, pattern or section, not '" + inv.operands[0] + "'";
    }
    if (command->command == Command::Set) {
        if (inv.operands[0].empty()) {
            return "a file name cannot be empty";
        }
        for (std::size_t i = 1; i < inv.operands.size(); ++i) {
            const std::string& word = inv.operands[i];
            if (const auto eq = word.find('='); eq == std::string::npos || eq == 0) {
                return "'" + word + "' is not CAPTION=VALUE";
            }
        }
    }
    return "";
}

}  // namespace

std::optional<NameList> NameListOf(std::string_view word) {
    constexpr std::pair<std::string_view, NameList> Lists[] = {
        {"mode", NameList::Mode}, {"pattern", NameList::Pattern}, {"section", NameList::Section}};
    for (const auto& [name, list] : Lists) {
        if (EqualsIgnoringCase(word, name)) {
            return list;
        }
    }
    return std::nullopt;
}

ParseOutcome ParseCommandLine(std::span<const std::string> args) {
    ParseState state;
    Tokens tokens(args);
    std::string error;
    while (tokens.Next()) {
        if (tokens.OptionsEnded()) {
            if (error = ParseWord(tokens, state); !error.empty()) {
                return UsageError(error);
            }
            continue;
        }
        Handled handled = ParseGlobalOption(tokens, state, error);
        if (handled == Handled::No) {
            handled = ParseCommandOption(tokens, state, error);
        }
        if (handled == Handled::Error) {
            return UsageError(error);
        }
        if (handled == Handled::Yes) {
            continue;
        }
        const std::string& word = tokens.Word();
        if (word.size() > 1 && word[0] == '-') {
            return UsageError("unknown option " + word);
        }
        if (error = ParseWord(tokens, state); !error.empty()) {
            return UsageError(error);
        }
    }
    if (state.inv.help || state.inv.version) {
        return {state.inv, ""};
    }
    if (error = Validate(state); !error.empty()) {
        return UsageError(error);
    }
    return {state.inv, ""};
}

std::string CommandUsage(Command command) {
    return "holvanectl " + std::string(InfoOf(command).usage);
}

std::string CommandHelp(Command command) {
    const CommandInfo& info = InfoOf(command);
    std::string text =
        "Usage: " + CommandUsage(command) + "\n\n" + std::string(info.description) + "\n";
    if ((info.options & OptDevice) != 0) {
        text +=
            "\n--device PATH|N talks to the detector with that path or number in 'holvanectl "
            "list'\n"
            "(default: entry 0).\n";
    }
    if ((info.options & OptJson) != 0 && command != Command::Show) {
        text +=
            "\n--json prints the result as one JSON document with its \"schema\" name and version\n"
            "(docs/json.md); a failure is then the error object {\"schema\": \"holvane-error/1\",\n"
            "\"message\", \"exitStatus\"} on stdout.\n";
    }
    return text;
}

std::string ProgramHelp() {
    std::string text =
        "Usage: holvanectl [--demo | --simulate FILE.vantor [--save-state FILE.vantor]] COMMAND "
        "...\n\n"
        "Copies the settings of a Vantor detector to and from files over USB.\n\nCommands:\n";
    for (const CommandInfo& info : Commands) {
        text += "  " + std::string(info.usage) + "\n";
    }
    text +=
        "\nGlobal options:\n"
        "  --demo                  run against a virtual detector with sample content\n"
        "  --simulate FILE.vantor  run against a virtual detector holding a backup's records\n"
        "  --save-state FILE       write the virtual detector's records as a backup at the end\n"
        "  --help                  this text; COMMAND --help or help COMMAND for one command\n"
        "  --version               the program's version\n"
        "  --                      ends the options: the words after it are operands\n"
        "\nbackup, restore, download and upload talk to the detector numbered 0 by 'holvanectl\n"
        "list'; --device PATH|N chooses another by its path or number there.\n"
        "list, backup, restore, download, upload and show take --json: one JSON document on\n"
        "stdout, with its \"schema\" name and version (docs/json.md); a failure is then the\n"
        "object {\"schema\": \"holvane-error/1\", \"message\", \"exitStatus\"} on stdout.\n"
        "\nExit status: 0 on success, 1 when the action failed, 2 on a usage error.\n"
        "Messages go to stderr, results to stdout.\n";
    return text;
}

}  // namespace holvane::cli
