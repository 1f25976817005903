#include "DiffCommand.h"

#include <cctype>
#include <vector>

#include "Backup.h"
#include "DiffReport.h"
#include "FileMessages.h"
#include "FileReport.h"
#include "Fileio.h"
#include "Transfers.h"

namespace holvane::cli {

namespace {

constexpr const char* DetectorName = "detector";

std::string DetectorSide(const WriteTarget& target) {
    return std::string(DetectorName) + ": " + target.Name();
}

// The record a file holds, as a comparison takes it.
struct RecordFile {
    std::string name;
    FileKind kind = FileKind::Backup;
    std::vector<std::uint8_t> bytes;  // a whole mode for a mode file
    bool hasPattern = true;           // a mode file's flag
};

template <typename Record, typename Read>
FileResult ReadBytes(std::vector<std::uint8_t>& bytes, Read read) {
    Record record{};
    const FileResult result = read(record);
    if (result == FileResult::Success) {
        bytes.assign(record.begin(), record.end());
    }
    return result;
}

// The file, read by its kind's reader; a file that cannot be read or is not valid is reported.
std::optional<RecordFile> ReadRecordFile(const std::string& name, Console& console) {
    RecordFile file;
    file.name = name;
    FileFailure failure;
    if (const FileResult r = ReadFileKind(name, file.kind, &failure); r != FileResult::Success) {
        ReportFailure(console, OpenFailureText(name, r, failure, {}), DiffTrouble);
        return std::nullopt;
    }
    FileResult result = FileResult::Success;
    switch (file.kind) {
        case FileKind::Mode:
            result = ReadBytes<ModeRecord>(file.bytes, [&](ModeRecord& mode) {
                std::uint8_t flag = 0;
                const FileResult r = ReadModeFile(name, mode, flag, &failure);
                file.hasPattern = flag != 0;
                return r;
            });
            break;
        case FileKind::Pattern:
            result = ReadBytes<PatternRecord>(
                file.bytes, [&](PatternRecord& p) { return ReadPatternFile(name, p, &failure); });
            break;
        case FileKind::Universal:
            result = ReadBytes<UniversalSettingsRecord>(
                file.bytes,
                [&](UniversalSettingsRecord& u) { return ReadUniversalFile(name, u, &failure); });
            break;
        case FileKind::Backup:
            result = ReadBytes<BackupPayload>(
                file.bytes, [&](BackupPayload& b) { return ReadBackupFile(name, b, &failure); });
            break;
    }
    if (result != FileResult::Success) {
        ReportFailure(console, OpenFailureText(name, result, failure, {file.kind}), DiffTrouble);
        return std::nullopt;
    }
    return file;
}

// A command line that turns out wrong once the file is read: reported as every failure, so that
// --json names it too.
int Usage(Console& console, const std::string& message) {
    return ReportFailure(console, "holvanectl: " + message, DiffTrouble);
}

// How a report is printed: as text, or as the JSON document --json asks for.
enum class DiffOutput { Text, Json };

DiffOutput OutputOf(const Invocation& inv) {
    return inv.json ? DiffOutput::Json : DiffOutput::Text;
}

int Print(const DiffReport& report, DiffOutput output, Console& console) {
    console.out << (output == DiffOutput::Json ? RenderDiffJson(report) : RenderDiffText(report));
    return report.differences.empty() ? DiffIdentical : DiffDifferent;
}

std::string SectionOf(DiffRecord record) {
    std::string name =
        DiffRecordName(record == DiffRecord::ModeSettings ? DiffRecord::Mode : record);
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
}

int DiffFiles(const RecordFile& a, const RecordFile& b, const Invocation& inv, Console& console) {
    if (a.kind != b.kind) {
        return ReportFailure(console,
                             "The files " + Quoted(a.name) + " and " + Quoted(b.name) +
                                 " cannot be compared: " + Quoted(a.name) + " is a " +
                                 KindName(a.kind) + " file, " + Quoted(b.name) + " a " +
                                 KindName(b.kind) + " file.",
                             DiffTrouble);
    }
    DiffRecord record = DiffRecord::Backup;
    switch (a.kind) {
        case FileKind::Mode:
            // A mode file without its pattern holds the settings only: only they compare.
            record = a.hasPattern && b.hasPattern ? DiffRecord::Mode : DiffRecord::ModeSettings;
            break;
        case FileKind::Pattern:
            record = DiffRecord::Pattern;
            break;
        case FileKind::Universal:
            record = DiffRecord::UniversalSettings;
            break;
        case FileKind::Backup:
            break;
    }
    DiffReport report{DiffRecordName(record), a.name, b.name,
                      DiffRecords(record, a.bytes, b.bytes, SectionOf(record))};
    if (a.hasPattern != b.hasPattern) {
        Difference d;
        d.type = Difference::Type::Presence;
        d.section = "Mode pattern";
        d.oldPresent = a.hasPattern;
        d.newPresent = b.hasPattern;
        report.differences.push_back(d);
    }
    return Print(report, OutputOf(inv), console);
}

// Where a file's record goes on the detector, as upload takes it: a mode file into a mode slot
// ("Current Mode" by default) or, with a pattern slot, its pattern into that slot; a pattern file
// into the pattern slot given; universal settings without a slot. Empty with the reason.
std::optional<WriteTarget> TargetOf(const RecordFile& file, const std::optional<std::string>& slot,
                                    std::string& error) {
    const PatternSlotInfo* patternSlot = slot ? FindPatternSlotByName(*slot) : nullptr;
    switch (file.kind) {
        case FileKind::Mode: {
            const ModeSlotInfo* modeSlot =
                slot ? FindModeSlotByName(*slot) : FindModeSlot(CurrentModeSlot);
            if (modeSlot != nullptr) {
                return WriteTarget{
                    file.hasPattern ? WriteTarget::Kind::Mode : WriteTarget::Kind::ModeSettings,
                    modeSlot->slot};
            }
            if (patternSlot == nullptr) {
                error = "no mode or pattern slot is called '" + *slot + "'";
                return std::nullopt;
            }
            return WriteTarget{WriteTarget::Kind::Pattern, patternSlot->slot};
        }
        case FileKind::Pattern:
            if (patternSlot == nullptr) {
                error = slot ? "no pattern slot is called '" + *slot + "'"
                             : "a pattern file needs --slot with the pattern slot to compare";
                return std::nullopt;
            }
            return WriteTarget{WriteTarget::Kind::Pattern, patternSlot->slot};
        case FileKind::Universal:
            if (slot) {
                error = "universal settings take no slot";
                return std::nullopt;
            }
            return WriteTarget{WriteTarget::Kind::UniversalSettings, 0};
        case FileKind::Backup:
            break;
    }
    error = "a backup file is compared with the whole detector and takes no slot";
    return std::nullopt;
}

int DiffWithDetector(const RecordFile& file, const Invocation& inv, Console& console) {
    if (file.kind == FileKind::Backup && !inv.slot) {
        const BackupOutcome held = CreateBackup();
        if (held.result != BackupOutcome::Result::Done) {
            return ReportFailure(console, held.Message(), DiffTrouble);
        }
        return Print({"backup", file.name, DetectorName,
                      DiffRecords(DiffRecord::Backup, file.bytes, held.payload)},
                     OutputOf(inv), console);
    }
    std::string error;
    const std::optional<WriteTarget> target = TargetOf(file, inv.slot, error);
    if (!target) {
        return Usage(console, error);
    }
    std::span<const std::uint8_t> record(file.bytes);
    if (file.kind == FileKind::Mode && target->kind == WriteTarget::Kind::Pattern) {
        if (!file.hasPattern) {
            return ReportFailure(console,
                                 "The mode file " + Quoted(file.name) +
                                     " holds no pattern, only the mode's settings.",
                                 DiffTrouble);
        }
        record = record.subspan(ModePatternOffset, PatternSize);
    }
    const HeldRecord held = ReadHeldRecord(*target);
    if (held.result == HeldRecord::Result::ConnectFailed ||
        held.result == HeldRecord::Result::ReadFailed) {
        return ReportFailure(console, held.message, DiffTrouble);
    }
    return Print({DiffRecordName(target->Record()), file.name, DetectorSide(*target),
                  DiffHeldRecord(*target, held, record, DiffDirection::RecordToHeld)},
                 OutputOf(inv), console);
}

void SayWhereTheCopyIs(const std::optional<std::string>& safetyCopy, Console& console) {
    if (safetyCopy) {
        console.err << "previous detector state saved in " << *safetyCopy << "\n";
    } else {
        console.err << "no safety copy was made (--no-safety-copy)\n";
    }
}

// The end of a verification: what was read back either equals what was sent, or the differences
// are printed (to stderr under --json, where stdout holds the error object alone) and the
// command fails.
int VerifyOutcome(const DiffReport& report, std::size_t records,
                  const std::optional<std::string>& safetyCopy, bool json, Console& console) {
    if (report.differences.empty()) {
        console.err << "verified " << records << (records == 1 ? " record\n" : " records\n");
        return ExitSuccess;
    }
    (json ? console.err : console.out) << RenderDiffText(report);
    ReportFailure(console, "The Vantor does not hold what was written: see the differences above.");
    SayWhereTheCopyIs(safetyCopy, console);
    return ExitFailed;
}

std::string ReadBackFailure(const std::string& message) {
    return message + "\r\nWhat was written could not be read back to verify it.";
}

}  // namespace

int RunDiff(const Invocation& inv, Console& console) {
    const std::optional<RecordFile> a = ReadRecordFile(inv.operands[0], console);
    if (!a) {
        return DiffTrouble;
    }
    if (inv.detector) {
        return DiffWithDetector(*a, inv, console);
    }
    const std::optional<RecordFile> b = ReadRecordFile(inv.operands[1], console);
    if (!b) {
        return DiffTrouble;
    }
    return DiffFiles(*a, *b, inv, console);
}

int PreviewWrite(const WriteTarget& target, std::span<const std::uint8_t> record,
                 const std::string& source, bool json, Console& console) {
    const HeldRecord held = ReadHeldRecord(target);
    if (held.result == HeldRecord::Result::ConnectFailed ||
        held.result == HeldRecord::Result::ReadFailed) {
        return ReportFailure(console, held.message);
    }
    const PatternSlotInfo* slot = FindPatternSlot(target.slot);
    if (target.kind == WriteTarget::Kind::Pattern && held.result == HeldRecord::Result::Absent &&
        slot != nullptr) {
        // The upload would be refused: a pattern does not make its user mode.
        ReportFailure(console, ModeAbsentMessage("upload", slot->modeSlot));
        console.err << "dry run: nothing was written\n";
        return ExitFailed;
    }
    Print({DiffRecordName(target.Record()), DetectorSide(target), source,
           DiffHeldRecord(target, held, record, DiffDirection::HeldToRecord)},
          json ? DiffOutput::Json : DiffOutput::Text, console);
    console.err << "dry run: nothing was written\n";
    return ExitSuccess;
}

int PreviewRestore(const BackupPayload& payload, const std::string& source, bool json,
                   Console& console) {
    const BackupOutcome held = CreateBackup();
    if (held.result != BackupOutcome::Result::Done) {
        return ReportFailure(console, held.Message());
    }
    // User modes the backup does not hold are not written: they stay as they are.
    Print({"backup", DetectorName, source,
           DiffRecords(DiffRecord::Backup, held.payload, RestoredState(held.payload, payload))},
          json ? DiffOutput::Json : DiffOutput::Text, console);
    console.err << "dry run: nothing was written\n";
    return ExitSuccess;
}

std::optional<std::string> MakeSafetyCopy(bool simulated, Console& console) {
    const SafetyCopyOutcome copy = SaveSafetyCopy(SafetyFolder(simulated));
    constexpr const char* Skip = "\r\nGive --no-safety-copy to write without one.";
    switch (copy.result) {
        case SafetyCopyOutcome::Result::Saved:
            console.err << "previous detector state saved in " << copy.path << "\n";
            return copy.path;
        case SafetyCopyOutcome::Result::NoFolder: {
            std::string reason = copy.message;
            if (!reason.empty()) {
                reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
            }
            ReportFailure(console, "Nothing was written: the folder for the safety copy " +
                                       Quoted(copy.path) + " could not be made: " + reason + "." +
                                       Skip);
            break;
        }
        case SafetyCopyOutcome::Result::ReadFailed:
            ReportFailure(console, std::string(copy.backup.Message()) +
                                       "\r\nNothing was written: the Vantor's state could not "
                                       "be read for the safety copy.");
            break;
        case SafetyCopyOutcome::Result::SaveFailed:
            ReportFailure(
                console,
                SaveFailureText(copy.path, FileKind::Backup, copy.saveResult, copy.failure) +
                    "\r\nNothing was written: the safety copy could not be saved." + Skip);
            break;
    }
    return std::nullopt;
}

int VerifyWrite(const WriteTarget& target, std::span<const std::uint8_t> record,
                const std::optional<std::string>& safetyCopy, bool json, Console& console) {
    const HeldRecord held = ReadHeldRecord(target);
    if (held.result == HeldRecord::Result::ConnectFailed ||
        held.result == HeldRecord::Result::ReadFailed) {
        ReportFailure(console, ReadBackFailure(held.message));
        SayWhereTheCopyIs(safetyCopy, console);
        return ExitFailed;
    }
    return VerifyOutcome({DiffRecordName(target.Record()), "written", DetectorSide(target),
                          DiffHeldRecord(target, held, record, DiffDirection::RecordToHeld)},
                         1, safetyCopy, json, console);
}

int VerifyRestore(const BackupPayload& payload, const std::optional<std::string>& safetyCopy,
                  bool json, Console& console) {
    const BackupOutcome held = CreateBackup();
    if (held.result != BackupOutcome::Result::Done) {
        ReportFailure(console, ReadBackFailure(held.Message()));
        SayWhereTheCopyIs(safetyCopy, console);
        return ExitFailed;
    }
    // The user modes the backup does not hold were not written, and are not compared.
    return VerifyOutcome(
        {"backup", "written", DetectorName,
         DiffRecords(DiffRecord::Backup, RestoredState(held.payload, payload), held.payload)},
        RestoredRecordCount(payload), safetyCopy, json, console);
}

}  // namespace holvane::cli
