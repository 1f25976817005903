#include "Holvanectl.h"

#include <optional>

#include "Backup.h"
#include "CommandJson.h"
#include "CommandLine.h"
#include "DemoContent.h"
#include "DetectorList.h"
#include "DiffCommand.h"
#include "FileMessages.h"
#include "FileReport.h"
#include "Fileio.h"
#include "Messages.h"
#if !defined(_WIN32)
#include "PatternPng.h"
#endif
#include "Records.h"
#include "SettingsRows.h"
#include "Simulation.h"
#include "StopSignals.h"
#include "TextCase.h"
#include "TextCommands.h"
#include "Transfers.h"
#include "UdevRule.h"
#include "Usb.h"
#include "Vantor.h"

namespace holvane::cli {

std::string Shown(std::string_view message) {
    std::string text;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
            continue;
        }
        text += message[i];
    }
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text + "\n";
}

namespace {

// A connection refused because another connection holds the detector (the window keeps its
// one message for every failed connection).
constexpr std::string_view InUseText = "The detector is in use by another program.\n";

// Where the reasons for a failed connection are.
constexpr std::string_view ListHint =
    "Run 'holvanectl list' to see the detectors found and why any could not be opened.\n";

// The last failure reported, as stderr showed it: what --json puts in its error object.
std::string g_lastFailure;

}  // namespace

int ReportFailure(Console& console, std::string_view message, int status) {
    // After a stop signal the action's own message would blame the link or the file; the stop is
    // told instead, once, when the command ends.
    if (StopSignal() != 0) {
        g_lastFailure.clear();
        return status;
    }
    if (message == messages::CouldNotConnect &&
        tovra::LastOpenError() == tovra::HidOpenError::InUse) {
        // The connection failed because another program holds the detector.
        g_lastFailure = InUseText;
    } else {
        g_lastFailure = Shown(message);
        if (message == messages::CouldNotConnect) {
            g_lastFailure += ListHint;
        }
    }
    console.err << g_lastFailure;
    return status;
}

namespace {

std::string NoPatternText(const std::string& file) {
    return "The mode file " + Quoted(file) + " holds no pattern, only the mode's settings.";
}

// One command being run: the parsed command line and the console.
class CommandRun {
public:
    CommandRun(const Invocation& inv, Console& console) : inv_(inv), console_(console) {}

    int Execute();
    // The command's result as text or, under --json, as its document or the error object.
    int ExecuteAndReport();

private:
    int Fail(std::string_view message) { return ReportFailure(console_, message); }
    int Usage(const std::string& message) {
        g_lastFailure = "holvanectl: " + message + "\n";
        console_.err << g_lastFailure;
        return ExitUsage;
    }
    void Progress(const std::string& verb, const std::string& record) {
        console_.err << verb << " " << record << "\n";
        outcome_.records.push_back(record);
    }
    // The window says nothing about it; the command line warns, and the exit status stays.
    void WarnIfFinishNotSent(bool notSent) {
        if (notSent) {
            outcome_.warning = "the end-of-upload command could not be sent to the Vantor.";
            console_.err << "holvanectl: warning: " << *outcome_.warning << "\n";
        }
    }
    // Asks a yes/no question on the terminal. No terminal, or no answer, is no.
    bool Ask(std::string_view question);
    // A write of one record with what the options ask around it: a dry run instead of it, a
    // safety copy before it, a read-back after it.
    int Checked(const WriteTarget& target, std::span<const std::uint8_t> record,
                const std::function<int()>& write);

    int List();
    int Backup();
    int Restore();
    int Show();
    int Download();
    int Upload();
    int UploadMode(const std::string& file, int modeSlot);
    int WriteMode(const ModeRecord& mode, int modeSlot, ModeParts parts);
    int UploadPattern(int patternSlot, const PatternRecord& pattern);
    // The one pattern of a pattern or mode file; a failure is reported and its status returned.
    int ReadPatternOf(const std::string& file, FileKind kind, PatternRecord& pattern);
    int Picture();

    // Saves a record under the kind's naming rule and prints the name; the save's message on
    // failure.
    template <typename Write>
    int Save(FileKind kind, const std::string& chosen, Write write) {
        if (StopSignal() != 0) {
            return ExitFailed;  // stopped: nothing is saved
        }
        const std::string name = NameForSave(chosen, kind);
        FileFailure failure;
        if (const FileResult result = write(name, &failure); result != FileResult::Success) {
            return Fail(SaveFailureText(name, kind, result, failure));
        }
        outcome_.file = name;
        outcome_.fileIsResult = true;
        return ExitSuccess;
    }

    const Invocation& inv_;
    Console& console_;
    CommandOutcome outcome_;
    bool printedReport_ = false;
};

bool CommandRun::Ask(std::string_view question) {
    console_.err << Shown(question) << "[y/N] " << std::flush;
    const std::optional<std::string> answer =
        console_.readAnswer ? console_.readAnswer() : std::nullopt;
    if (!answer) {
        console_.err << "\n";
        return false;
    }
    std::string word = *answer;
    while (!word.empty() && (word.back() == ' ' || word.back() == '\r' || word.back() == '\t')) {
        word.pop_back();
    }
    return EqualsIgnoringCase(word, "y") || EqualsIgnoringCase(word, "yes");
}

int CommandRun::Checked(const WriteTarget& target, std::span<const std::uint8_t> record,
                        const std::function<int()>& write) {
    if (inv_.dryRun) {
        return PreviewWrite(target, record, inv_.operands[0], inv_.json, console_);
    }
    std::optional<std::string> copy;
    if (!inv_.noSafetyCopy && !(copy = MakeSafetyCopy(inv_.Simulated(), console_))) {
        return ExitFailed;
    }
    outcome_.safetyCopy = copy;
    const int status = write();
    if (status != ExitSuccess || !inv_.verify) {
        return status;
    }
    return VerifyWrite(target, record, copy, inv_.json, console_);
}

int CommandRun::List() {
    const std::vector<ListedDetector> detectors = LibraryDetectors();
    std::vector<UnopenedNode> unopened;
    if (!inv_.Simulated()) {
        unopened = UnopenedDetectorNodes(detectors);
    }
    console_.out << (inv_.json ? RenderDetectorListJson(detectors, unopened)
                               : FormatDetectorList(detectors, unopened));
    printedReport_ = true;
    return detectors.empty() ? ExitFailed : ExitSuccess;
}

int CommandRun::Backup() {
    const BackupOutcome outcome =
        CreateBackup([this](const std::string& record) { Progress("read", record); });
    if (outcome.result != BackupOutcome::Result::Done) {
        return Fail(outcome.Message());
    }
    return Save(FileKind::Backup, inv_.operands[0],
                [&](const std::string& name, FileFailure* failure) {
                    return WriteBackupFile(name, outcome.payload, failure);
                });
}

int CommandRun::Restore() {
    BackupPayload payload{};
    FileFailure failure;
    if (const FileResult r = ReadBackupFile(inv_.operands[0], payload, &failure);
        r != FileResult::Success) {
        return Fail(OpenFailureText(inv_.operands[0], r, failure, {FileKind::Backup}));
    }
    if (inv_.dryRun) {
        return PreviewRestore(payload, inv_.operands[0], inv_.json, console_);
    }
    if (!inv_.yes && !console_.readAnswer) {
        return Fail(
            "Nothing was restored: there is no terminal to ask. Give --yes to restore "
            "without asking.");
    }
    std::optional<std::string> copy;
    if (!inv_.noSafetyCopy && !(copy = MakeSafetyCopy(inv_.Simulated(), console_))) {
        return ExitFailed;
    }
    outcome_.safetyCopy = copy;
    std::function<bool()> confirm;
    if (!inv_.yes) {
        confirm = [this] { return Ask(messages::RestoreQuestion); };
    }
    const RestoreOutcome outcome = RestoreBackup(
        payload, confirm, [this](const std::string& record) { Progress("wrote", record); });
    switch (outcome.result) {
        case RestoreOutcome::Result::Done:
            WarnIfFinishNotSent(outcome.finishNotSent);
            return inv_.verify ? VerifyRestore(payload, copy, inv_.json, console_) : ExitSuccess;
        case RestoreOutcome::Result::Cancelled:
            return Fail("Nothing was restored.");
        default:
            return Fail(outcome.Message());
    }
}

int CommandRun::Show() {
    const std::string& file = inv_.operands[0];
    FileResult result = FileResult::Success;
    FileFailure failure;
    const std::optional<FileReport> report = ReportFile(file, result, failure);
    if (!report) {
        return Fail(OpenFailureText(file, result, failure, {}));
    }
    console_.out << (inv_.json ? RenderJson(*report) : RenderText(*report));
    printedReport_ = true;
    if (!report->valid) {
        return Fail(CorruptedFileText(file, report->problem));
    }
    return ExitSuccess;
}

int CommandRun::Download() {
    const std::string& output = *inv_.output;
    switch (inv_.downloadTarget) {
        case DownloadTarget::Universal: {
            auto outcome = DownloadUniversalSettings();
            if (!outcome.Succeeded()) {
                return Fail(outcome.message);
            }
            // As the window saves it after a download: built from the grid with the record
            // loaded, so the bytes no row shows keep the detector's values.
            RebuildUniversalSettings(outcome.record, RecordState::Loaded);
            return Save(FileKind::Universal, output,
                        [&](const std::string& name, FileFailure* failure) {
                            return WriteUniversalFile(name, outcome.record, failure);
                        });
        }
        case DownloadTarget::Mode: {
            auto outcome = DownloadMode(inv_.downloadSlot);
            if (!outcome.Succeeded()) {
                return Fail(outcome.message);
            }
            // As the window saves a downloaded mode: the settings built from the grid for a
            // file (slot 8), the pattern as read.
            auto settings = ModeSettingsOf(outcome.record);
            RebuildModeSettings(settings, CurrentModeSlot);
            return Save(FileKind::Mode, output, [&](const std::string& name, FileFailure* failure) {
                return WriteModeFile(name, outcome.record, failure);
            });
        }
        case DownloadTarget::Pattern: {
            auto outcome = holvane::DownloadPattern(inv_.downloadSlot);
            if (!outcome.Succeeded()) {
                return Fail(outcome.message);
            }
            return Save(FileKind::Pattern, output,
                        [&](const std::string& name, FileFailure* failure) {
                            return WritePatternFile(name, outcome.record, failure);
                        });
        }
    }
    return ExitFailed;
}

int CommandRun::UploadMode(const std::string& file, int modeSlot) {
    ModeRecord mode{};
    std::uint8_t hasPattern = 0;
    FileFailure failure;
    if (const FileResult r = ReadModeFile(file, mode, hasPattern, &failure);
        r != FileResult::Success) {
        return Fail(OpenFailureText(file, r, failure, {FileKind::Mode}));
    }
    // As the window uploads an opened mode: the settings built from the grid for the target
    // slot; the whole mode only when the file holds its pattern.
    auto settings = ModeSettingsOf(mode);
    RebuildModeSettings(settings, modeSlot);

    const WriteTarget target{
        hasPattern != 0 ? WriteTarget::Kind::Mode : WriteTarget::Kind::ModeSettings, modeSlot};
    return Checked(target, mode, [&] {
        return WriteMode(mode, modeSlot,
                         hasPattern != 0 ? ModeParts::WithPattern : ModeParts::SettingsOnly);
    });
}

int CommandRun::WriteMode(const ModeRecord& mode, int modeSlot, ModeParts parts) {
    bool unanswered = false;
    std::function<bool()> confirm;
    if (!inv_.yes) {
        confirm = [this, &unanswered] {
            if (!console_.readAnswer) {
                unanswered = true;
                return false;
            }
            return Ask(messages::OverwriteModeQuestion);
        };
    }
    const TransferOutcome outcome = holvane::UploadMode(modeSlot, mode, parts, confirm);
    if (outcome.result == TransferOutcome::Result::Cancelled) {
        if (!unanswered) {
            return Fail("Nothing was uploaded.");
        }
        return Fail(outcome.slotUnknown
                        ? "Nothing was uploaded: the Vantor did not answer whether the slot holds "
                          "a mode and there is no terminal to ask. Give --yes to overwrite it "
                          "without asking."
                        : "Nothing was uploaded: the slot holds a mode and there is no "
                          "terminal to ask. Give --yes to overwrite it without asking.");
    }
    WarnIfFinishNotSent(outcome.finishNotSent);
    return outcome.Succeeded() ? ExitSuccess : Fail(outcome.message);
}

int CommandRun::UploadPattern(int patternSlot, const PatternRecord& pattern) {
    return Checked({WriteTarget::Kind::Pattern, patternSlot}, pattern, [&] {
        const TransferOutcome outcome = holvane::UploadPattern(patternSlot, pattern);
        WarnIfFinishNotSent(outcome.finishNotSent);
        return outcome.Succeeded() ? ExitSuccess : Fail(outcome.message);
    });
}

int CommandRun::Upload() {
    const std::string& file = inv_.operands[0];
    FileKind kind{};
    FileFailure failure;
    if (const FileResult r = ReadFileKind(file, kind, &failure); r != FileResult::Success) {
        return Fail(OpenFailureText(file, r, failure, {}));
    }
    const std::optional<std::string>& slot = inv_.slot;
    const PatternSlotInfo* patternSlot = slot ? FindPatternSlotByName(*slot) : nullptr;
    switch (kind) {
        case FileKind::Mode: {
            const ModeSlotInfo* modeSlot =
                slot ? FindModeSlotByName(*slot) : FindModeSlot(CurrentModeSlot);
            if (modeSlot != nullptr) {
                if (!modeSlot->writable) {
                    std::string message(1, '\'');
                    message.append(modeSlot->name)
                        .append("' is a factory mode and cannot be written");
                    return Usage(message);
                }
                return UploadMode(file, modeSlot->slot);
            }
            if (patternSlot == nullptr) {
                return Usage("no mode or pattern slot is called '" + *slot + "'");
            }
            // A mode file's pattern, uploaded into a pattern slot.
            PatternRecord pattern{};
            if (const int status = ReadPatternOf(file, kind, pattern); status != ExitSuccess) {
                return status;
            }
            return UploadPattern(patternSlot->slot, pattern);
        }
        case FileKind::Pattern: {
            if (!slot) {
                return Usage("a pattern file needs --slot with the pattern slot to write");
            }
            if (patternSlot == nullptr) {
                return Usage("no pattern slot is called '" + *slot + "'");
            }
            PatternRecord pattern{};
            if (const int status = ReadPatternOf(file, kind, pattern); status != ExitSuccess) {
                return status;
            }
            return UploadPattern(patternSlot->slot, pattern);
        }
        case FileKind::Universal: {
            if (slot) {
                return Usage("universal settings take no slot");
            }
            UniversalSettingsRecord record{};
            if (const FileResult r = ReadUniversalFile(file, record, &failure);
                r != FileResult::Success) {
                return Fail(OpenFailureText(file, r, failure, {FileKind::Universal}));
            }
            // As the window uploads opened universal settings: built from the grid, loaded.
            RebuildUniversalSettings(record, RecordState::Loaded);
            return Checked({WriteTarget::Kind::UniversalSettings, 0}, record, [&] {
                const TransferOutcome outcome = UploadUniversalSettings(record);
                WarnIfFinishNotSent(outcome.finishNotSent);
                return outcome.Succeeded() ? ExitSuccess : Fail(outcome.message);
            });
        }
        case FileKind::Backup:
            return Usage(file + " is a backup file: write it with holvanectl restore");
    }
    return ExitFailed;
}

int CommandRun::ReadPatternOf(const std::string& file, FileKind kind, PatternRecord& pattern) {
    FileFailure failure;
    bool holdsPattern = false;
    if (const FileResult r = ReadPatternOfFile(file, kind, pattern, holdsPattern, &failure);
        r != FileResult::Success) {
        return Fail(OpenFailureText(file, r, failure, {kind}));
    }
    return holdsPattern ? ExitSuccess : Fail(NoPatternText(file));
}

int CommandRun::Picture() {
#if defined(_WIN32)
    // The Windows build has no PNG writer; the window shows the same drawing.
    return Fail(
        "holvanectl picture is not available on Windows: open the file in Holvane to see "
        "its pattern, or draw it with holvanectl on Linux.");
#else
    const std::string& file = inv_.operands[0];
    FileKind kind{};
    FileFailure failure;
    if (const FileResult r = ReadFileKind(file, kind, &failure); r != FileResult::Success) {
        return Fail(OpenFailureText(file, r, failure, {}));
    }
    if (kind != FileKind::Pattern && kind != FileKind::Mode) {
        return Fail("The file " + Quoted(file) + " is a " + KindName(kind) +
                    " file, not a pattern or mode file: only these hold one pattern to draw.");
    }
    PatternRecord pattern{};
    if (const int status = ReadPatternOf(file, kind, pattern); status != ExitSuccess) {
        return status;
    }
    if (!WritePatternPng(*inv_.output, PatternView(pattern), inv_.scale)) {
        return Fail("Could not save the picture in " + *inv_.output + ".");
    }
    console_.out << *inv_.output << "\n";
    return ExitSuccess;
#endif
}

int CommandRun::ExecuteAndReport() {
    const Command command = *inv_.command;
    if (command == Command::Restore || command == Command::Upload) {
        outcome_.file = inv_.operands[0];
    }
    const int status = Execute();
    if (command == Command::Diff) {
        // diff prints its own report or document; under --json trouble is the error object.
        if (inv_.json && status == DiffTrouble) {
            console_.out << RenderErrorJson(g_lastFailure, status);
        }
        return status;
    }
    // A dry run's report, printed already, is its whole output.
    const bool hasOutcome = (command == Command::Backup || command == Command::Restore ||
                             command == Command::Download || command == Command::Upload) &&
                            !inv_.dryRun;
    if (!inv_.json) {
        if (hasOutcome && status == ExitSuccess) {
            console_.out << RenderOutcomeText(outcome_);
        }
        return status;
    }
    if (status == ExitSuccess && hasOutcome) {
        console_.out << RenderOutcomeJson(command, outcome_);
    } else if (status != ExitSuccess && !printedReport_) {
        // show prints the report of a file that fails a check; every other failure is the
        // error object.
        console_.out << RenderErrorJson(g_lastFailure, status);
    }
    return status;
}

int CommandRun::Execute() {
    if (inv_.device) {
        // A choice that names no detector fails here with the list's words, not as a failed
        // connection.
        std::vector<std::string> paths;
        for (const ListedDetector& d : LibraryDetectors()) {
            paths.push_back(d.path);
        }
        if (!ChosenDetectorEntry(inv_.device, paths)) {
            // For diff a detector it cannot read is trouble, never "different".
            return ReportFailure(console_,
                                 "No detector listed is " + Quoted(*inv_.device) + " (" +
                                     std::to_string(paths.size()) + " listed).\n" +
                                     std::string(ListHint),
                                 *inv_.command == Command::Diff ? DiffTrouble : ExitFailed);
        }
    }
    ChooseDetector(inv_.device);
    switch (*inv_.command) {
        case Command::List:
            return List();
        case Command::UdevRule:
#if defined(_WIN32)
            return Fail("The udev rule is for Linux: on Windows the detector needs no set-up.");
#else
            console_.out << UdevRuleText;
            return ExitSuccess;
#endif
        case Command::Backup:
            return Backup();
        case Command::Restore:
            return Restore();
        case Command::Show:
            return Show();
        case Command::Download:
            return Download();
        case Command::Upload:
            return Upload();
        case Command::Picture:
            return Picture();
        case Command::Diff:
            return RunDiff(inv_, console_);
        case Command::Import:
            return RunImport(inv_, console_);
        case Command::Set:
            return RunSet(inv_, console_);
        case Command::Names:
            return RunNames(inv_, console_);
    }
    return ExitFailed;
}

int RunSimulated(const Invocation& inv, Console& console) {
    Simulation simulation;
    if (inv.demo) {
        simulator::SeedDemoContent(simulation.Detector());
    } else {
        BackupPayload seed{};
        FileFailure failure;
        if (const FileResult r = ReadBackupFile(*inv.simulate, seed, &failure);
            r != FileResult::Success) {
            console.err << Shown(OpenFailureText(*inv.simulate, r, failure, {FileKind::Backup}));
            return ExitFailed;
        }
        simulation.Detector().LoadBackup(seed);
    }
    int status = CommandRun(inv, console).ExecuteAndReport();
    if (inv.saveState) {
        const std::string name = NameForSave(*inv.saveState, FileKind::Backup);
        FileFailure failure;
        const FileResult r = WriteBackupFile(name, simulation.Detector().SaveBackup(), &failure);
        if (r != FileResult::Success) {
            console.err << Shown(SaveFailureText(name, FileKind::Backup, r, failure));
            status = ExitFailed;
        }
    }
    return status;
}

// Whether --json stands among the options, before any "--" that ends them.
bool AsksForJson(std::span<const std::string> args) {
    for (const std::string& arg : args) {
        if (arg == "--") {
            return false;
        }
        if (arg == "--json") {
            return true;
        }
    }
    return false;
}

}  // namespace

int Run(std::span<const std::string> args, Console& console) {
    // Why a connection failed is asked of the library after the fact: only this command's.
    tovra::ClearLastOpenError();
    const ParseOutcome parsed = ParseCommandLine(args);
    if (!parsed.invocation) {
        console.err << "holvanectl: " << parsed.error << "\n"
                    << "Try 'holvanectl --help'.\n";
        // A script that asked for JSON gets the error object even when the command line itself
        // is at fault.
        if (AsksForJson(args)) {
            console.out << RenderErrorJson("holvanectl: " + parsed.error, ExitUsage);
        }
        return ExitUsage;
    }
    const Invocation& inv = *parsed.invocation;
    if (inv.help) {
        console.out << (inv.command ? CommandHelp(*inv.command) : ProgramHelp());
        return ExitSuccess;
    }
    if (inv.version) {
        console.out << "holvanectl " << HOLVANE_VERSION << "\n";
        return ExitSuccess;
    }
    const int status =
        inv.Simulated() ? RunSimulated(inv, console) : CommandRun(inv, console).ExecuteAndReport();
    // A stop signal that came after the last request and save stopped nothing: the command
    // ended as it would have.
    if (const int signal = StopSignal(); signal != 0 && status != ExitSuccess) {
        console.err << "holvanectl: stopped by " << StopSignalName(signal)
                    << " before the action was finished; nothing more was sent to the Vantor, "
                       "not even the end-of-upload command.\n";
        return ExitStoppedBase + signal;
    }
    return status;
}

}  // namespace holvane::cli
