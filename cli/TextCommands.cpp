#include "TextCommands.h"

#include <algorithm>
#include <span>

#include "Backup.h"
#include "FileMessages.h"
#include "FileReport.h"
#include "Import.h"
#include "RecordDiff.h"
#include "Records.h"
#include "SettingsText.h"
#include "StopSignals.h"
#include "TextCase.h"

namespace holvane::cli {

namespace {

// A document larger than this is no document that `show --json` printed.
constexpr std::size_t LargestDocument = 16u << 20;

int Failed(Console& console, const std::string& message) {
    console.err << Shown(message);
    return ExitFailed;
}

// The name a saved image gets: the chosen one with the kind's extension added where it lacks
// it, or an existing file's name kept exactly.
enum class SaveName { WithKindsExtension, AsItIs };

// Saves a whole image under the given naming rule and prints the name.
int SaveImage(Console& console, const std::string& chosen, FileKind kind,
              const std::vector<std::uint8_t>& image, SaveName naming) {
    if (StopSignal() != 0) {
        return ExitFailed;  // stopped: nothing is saved, and the stop is told at the end
    }
    const std::string name = naming == SaveName::AsItIs ? chosen : NameForSave(chosen, kind);
    FileFailure failure;
    if (const FileResult r = WriteFileImage(name, kind, image, &failure);
        r != FileResult::Success) {
        return Failed(console, SaveFailureText(name, kind, r, failure));
    }
    console.out << name << "\n";
    return ExitSuccess;
}

// The section of a file whose settings `set` changes: the one named (with or without its
// " settings"), or the file's only settings section.
const ReportSection* SettingsSection(const FileReport& report,
                                     const std::optional<std::string>& wanted,
                                     std::string& problem) {
    std::vector<const ReportSection*> candidates;
    for (const ReportSection& section : report.sections) {
        if (!SettingsRowsOf(section.record).empty()) {
            candidates.push_back(&section);
        }
    }
    std::string names;
    for (const ReportSection* section : candidates) {
        // In a backup a mode's settings are named by the mode alone ("My Mode 2").
        std::string name = section->name;
        if (section->record == ReportSection::Record::ModeSettings && candidates.size() > 1) {
            name.resize(name.size() - std::string_view(" settings").size());
        }
        names += (names.empty() ? "\"" : ", \"") + name + "\"";
        if (wanted &&
            (EqualsIgnoringCase(*wanted, name) || EqualsIgnoringCase(*wanted, section->name))) {
            return section;
        }
    }
    const std::string kind = KindName(*report.kind);
    if (candidates.empty()) {
        problem = "a " + kind + " file holds no settings";
    } else if (wanted) {
        problem =
            "the " + kind + " file has no settings called \"" + *wanted + "\"" +
            (report.kind == FileKind::Backup ? " (a user mode it does not hold has none)" : "") +
            "; --section takes " + names;
    } else if (candidates.size() > 1) {
        problem = "a " + kind + " file holds several records of settings: --section takes " + names;
    } else {
        return candidates.front();
    }
    return nullptr;
}

}  // namespace

int RunImport(const Invocation& inv, Console& console) {
    const std::string& input = inv.operands[0];
    std::vector<std::uint8_t> bytes;
    std::uintmax_t size = 0;
    FileFailure failure;
    if (const FileResult r = ReadFileStart(input, LargestDocument + 1, bytes, size, &failure);
        r != FileResult::Success) {
        return Failed(console, OpenFailureText(input, r, failure, {}));
    }
    if (bytes.size() > LargestDocument) {
        return Failed(console, "Nothing was written: " + Quoted(input) +
                                   " is larger than any document of a settings file.");
    }
    const ImportedFile file =
        ImportDocument(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!file.kind) {
        return Failed(console, "Nothing was written: " + Quoted(input) + ": " + file.error);
    }
    return SaveImage(console, *inv.output, *file.kind, file.image, SaveName::WithKindsExtension);
}

int RunSet(const Invocation& inv, Console& console) {
    const std::string& fileName = inv.operands[0];
    FileResult result = FileResult::Success;
    FileFailure failure;
    const std::optional<FileReport> report = ReportFile(fileName, result, failure);
    if (!report) {
        return Failed(console, OpenFailureText(fileName, result, failure, {}));
    }
    if (!report->valid) {
        return Failed(console, CorruptedFileText(fileName, report->problem));
    }
    std::string problem;
    const ReportSection* section = SettingsSection(*report, inv.section, problem);
    if (section == nullptr) {
        return Failed(console, "Nothing was changed: " + problem + ".");
    }
    std::vector<SettingAssignment> assignments;
    for (auto word = inv.operands.begin() + 1; word != inv.operands.end(); ++word) {
        const auto eq = word->find('=');
        assignments.push_back({word->substr(0, eq), word->substr(eq + 1)});
    }
    std::vector<std::uint8_t> image = report->raw;
    const auto record = std::span(image).subspan(section->offset, section->bytes.size());
    const std::vector<std::string> problems =
        AssignSettings(SettingsRowsOf(section->record), record, assignments);
    if (!problems.empty()) {
        std::string message = "Nothing was changed in " + Quoted(fileName) + ":";
        for (const std::string& p : problems) {
            message += "\n  " + p;
        }
        return Failed(console, message);
    }
    return SaveImage(console, fileName, *report->kind, image, SaveName::AsItIs);
}

std::vector<std::string> ListedNames(NameList list) {
    std::vector<std::string> names;
    switch (list) {
        case NameList::Mode:
            for (int position = 0; position < DownloadListSize; ++position) {
                names.emplace_back(FindModeSlot(ModeSlotAtDownloadPosition(position))->name);
            }
            break;
        case NameList::Pattern:
            for (const PatternSlotInfo& slot : PatternSlots) {
                names.emplace_back(slot.name);
            }
            break;
        case NameList::Section:
            for (std::size_t row = 0; row < RestoreRowCount; ++row) {
                if (PayloadRowAt(row).kind != RestoreRow::Kind::Pattern) {
                    names.push_back(BackupSectionName(row));
                }
            }
            break;
    }
    return names;
}

int RunNames(const Invocation& inv, Console& console) {
    for (const std::string& name : ListedNames(*NameListOf(inv.operands[0]))) {
        console.out << name << "\n";
    }
    return ExitSuccess;
}

}  // namespace holvane::cli
