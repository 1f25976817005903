#include "CommandLine.h"

#include <algorithm>
#include <array>
#include <charconv>

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
};

struct CommandInfo {
    Command command;
    std::string_view name;
    std::string_view usage;  // after "holvanectl "
    std::size_t minOperands;
    std::size_t maxOperands;
    unsigned options;
    std::string_view description;
};

const std::array<CommandInfo, 8> Commands = {{
    {Command::List, "list", "list", 0, 0, 0,
     "Lists the detectors the library would use, in its order (entry 0 is the one every\n"
     "command talks to), with path and vendor:product, and every hidraw node with the\n"
     "detector's vendor id that could not be opened, with the reason and what to do.\n"
     "Exit status 0 when a detector can be used, 1 when none can."},
    {Command::UdevRule, "udev-rule", "udev-rule", 0, 0, 0,
     "Prints the udev rule that gives the logged-in user access to the detector. Without the\n"
     "package, install it with:\n"
     "  holvanectl udev-rule | sudo tee /etc/udev/rules.d/70-holvane-vantor.rules\n"
     "  sudo udevadm control --reload-rules\n"
     "then unplug and replug the detector."},
    {Command::Backup, "backup", "backup FILE", 1, 1, 0,
     "Reads the current mode, the user modes that exist, the universal settings, the\n"
     "preferences and the seven stored patterns into one backup file. \".vantor\" is appended\n"
     "when the name's extension does not contain \"vantor\". Progress goes to stderr; on\n"
     "failure no file is written."},
    {Command::Restore, "restore", "restore FILE [--yes]", 1, 1, OptYes,
     "Checks the backup file, asks before overwriting the detector's settings, user modes\n"
     "and user patterns, then writes them. --yes answers the question; without a terminal\n"
     "and without --yes nothing is written. User modes absent from the file are left as the\n"
     "detector holds them."},
    {Command::Show, "show", "show FILE [--json]", 1, 1, OptJson,
     "Shows a mode, pattern, universal-settings or backup file, recognised by its magic\n"
     "number: whether it is valid (and which check fails), every setting as the settings\n"
     "grids show it (with its byte where no list item stands for it), the bytes and bits no\n"
     "setting or cell shows in hex, and every pattern as 35 lines of 50 characters ('#' on,\n"
     "'.' off). --json prints the same as one JSON document, raw bytes included; a byte of\n"
     "the file name that is not UTF-8 shows as U+FFFD in \"file\", and \"fileHex\" then\n"
     "gives the name's exact bytes. Exit status 1 for a file that is not valid."},
    {Command::Download, "download", "download universal|mode SLOT|pattern SLOT -o FILE", 1, 2,
     OptOutput,
     "Reads one record from the detector and saves it: the universal settings to a .glb\n"
     "file, a mode to a .mode file, a stored pattern to a .ptrn file. Slots by the names the\n"
     "window shows, in any case: \"Current Mode\", \"My Mode 1\"..\"My Mode 4\", the factory\n"
     "modes; \"Current Glintmap\", \"Swiftveil\", \"My Pattern 1\"..\"My Pattern 6\",\n"
     "\"My Mode 1 Pattern\"..\"My Mode 4 Pattern\"."},
    {Command::Upload, "upload", "upload FILE [--slot SLOT] [--yes]", 1, 1, OptSlot | OptYes,
     "Writes the record of a file into the detector. A mode file goes into a writable mode\n"
     "slot (default \"Current Mode\"), whole when it holds a pattern, its settings only\n"
     "otherwise; overwriting an existing mode is asked first (--yes answers). A pattern file,\n"
     "or a mode file with a pattern slot, writes the pattern into that slot (--slot needed).\n"
     "A universal-settings file takes no slot."},
    {Command::Picture, "picture", "picture FILE -o OUT.png [--scale N]", 1, 1, OptOutput | OptScale,
     "Draws the pattern of a pattern or mode file as the window's full pattern picture\n"
     "(102 x 73 pixels), scaled up by N (default 4, 1 to 64), into a PNG file."},
}};

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
    {{"--yes", "-y"}, OptYes, false},      {{"--json", ""}, OptJson, false},
    {{"--output", "-o"}, OptOutput, true}, {{"--slot", ""}, OptSlot, true},
    {{"--scale", ""}, OptScale, true},
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
            return true;
        default:
            return false;
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
        (option->option == OptYes ? inv.yes : inv.json) = true;
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
    if ((command->command == Command::Download || command->command == Command::Picture) &&
        (state.given & OptOutput) == 0) {
        return std::string(command->name) + " needs -o FILE";
    }
    if (command->command == Command::Download) {
        return ParseDownloadOperands(inv);
    }
    return "";
}

}  // namespace

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
    return "Usage: " + CommandUsage(command) + "\n\n" + std::string(info.description) + "\n";
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
        "\nExit status: 0 on success, 1 when the action failed, 2 on a usage error.\n"
        "Messages go to stderr, results to stdout.\n";
    return text;
}

}  // namespace holvane::cli
