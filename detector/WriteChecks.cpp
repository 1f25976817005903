#include "WriteChecks.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "Messages.h"
#include "Transfers.h"
#include "Vantor.h"

namespace holvane {

namespace fs = std::filesystem;

DiffRecord WriteTarget::Record() const {
    switch (kind) {
        case Kind::Mode:
            return DiffRecord::Mode;
        case Kind::ModeSettings:
            return DiffRecord::ModeSettings;
        case Kind::Pattern:
            return DiffRecord::Pattern;
        case Kind::UniversalSettings:
            break;
    }
    return DiffRecord::UniversalSettings;
}

std::string WriteTarget::Name() const {
    switch (kind) {
        case Kind::Mode:
        case Kind::ModeSettings:
            if (const ModeSlotInfo* info = FindModeSlot(slot)) {
                return std::string(info->name);
            }
            break;
        case Kind::Pattern:
            if (const PatternSlotInfo* info = FindPatternSlot(slot)) {
                return std::string(info->name);
            }
            break;
        case Kind::UniversalSettings:
            return "Universal settings";
    }
    return "slot " + std::to_string(slot);
}

namespace {

bool IsUserModeSlot(int slot) {
    return slot >= FirstUserModeSlot && slot <= LastUserModeSlot;
}

HeldRecord HeldFailure(HeldRecord::Result result, std::string message) {
    HeldRecord held;
    held.result = result;
    held.message = std::move(message);
    return held;
}

template <typename Record>
HeldRecord HeldFrom(const DownloadOutcome<Record>& outcome) {
    switch (outcome.result) {
        case TransferOutcome::Result::Done: {
            HeldRecord held;
            held.bytes.assign(outcome.record.begin(), outcome.record.end());
            return held;
        }
        case TransferOutcome::Result::ModeAbsent:
            return HeldFailure(HeldRecord::Result::Absent, "");
        case TransferOutcome::Result::ConnectFailed:
            return HeldFailure(HeldRecord::Result::ConnectFailed, outcome.message);
        default:
            return HeldFailure(HeldRecord::Result::ReadFailed, outcome.message);
    }
}

// A mode: an absent user mode is told apart from a failed read, as a backup tells it.
HeldRecord ReadHeldMode(int modeSlot) {
    DetectorLink link;
    if (link.Connect() != 1) {
        return HeldFailure(HeldRecord::Result::ConnectFailed, messages::CouldNotConnect);
    }
    ModeRecord mode{};
    const bool read = link.GetMode(modeSlot, mode) == 1;
    const LinkAnswer answer = link.LastAnswer();
    link.Disconnect();
    if (read) {
        HeldRecord held;
        held.bytes.assign(mode.begin(), mode.end());
        return held;
    }
    if (IsUserModeSlot(modeSlot) &&
        (answer == LinkAnswer::Refused || answer == LinkAnswer::NoAnswer)) {
        return HeldFailure(HeldRecord::Result::Absent, "");
    }
    return HeldFailure(HeldRecord::Result::ReadFailed, messages::CouldNotDownloadMode);
}

}  // namespace

HeldRecord ReadHeldRecord(const WriteTarget& target) {
    switch (target.kind) {
        case WriteTarget::Kind::Mode:
        case WriteTarget::Kind::ModeSettings:
            return ReadHeldMode(target.slot);
        case WriteTarget::Kind::Pattern:
            return HeldFrom(DownloadPattern(target.slot));
        case WriteTarget::Kind::UniversalSettings:
            break;
    }
    return HeldFrom(DownloadUniversalSettings());
}

std::vector<Difference> DiffHeldRecord(const WriteTarget& target, const HeldRecord& held,
                                       std::span<const std::uint8_t> record,
                                       DiffDirection direction) {
    const bool heldFirst = direction == DiffDirection::HeldToRecord;
    if (held.result == HeldRecord::Result::Absent) {
        Difference d;
        d.type = Difference::Type::Presence;
        d.section = target.Name();
        (heldFirst ? d.oldPresent : d.newPresent) = false;
        return {d};
    }
    const std::span<const std::uint8_t> detector(held.bytes);
    return heldFirst ? DiffRecords(target.Record(), detector, record, target.Name())
                     : DiffRecords(target.Record(), record, detector, target.Name());
}

// ---- The safety copy ----

namespace {

// "YYYY-MM-DD_HH-MM-SS.mmmZ.vantor", in UTC
constexpr std::size_t CopyNameLength = 31;
constexpr std::string_view CopyNamePattern = "dddd-dd-dd_dd-dd-dd.dddZ.vantor";
static_assert(CopyNamePattern.size() == CopyNameLength);

bool IsCopyName(std::string_view name) {
    if (name.size() != CopyNameLength) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char p = CopyNamePattern[i];
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (p == 'd' ? !digit : name[i] != p) {
            return false;
        }
    }
    return true;
}

std::string CopyName(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(when);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss time{ms - day};
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u_%02d-%02d-%02d.%03dZ.vantor",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()),
                  static_cast<int>(time.subseconds().count()));
    return text;
}

// Makes the folder and the missing ones above it, each private to the user, and the folder
// itself private whatever it was.
bool MakePrivateFolder(const fs::path& folder, std::string& reason) {
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path()) {
            break;
        }
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!fs::create_directory(*it, ec) && ec) {
            reason = ec.message();
            return false;
        }
        fs::permissions(*it, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    if (!fs::is_directory(folder, ec)) {
        reason = ec ? ec.message() : "it is not a folder";
        return false;
    }
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    if (ec) {
        reason = ec.message();
        return false;
    }
    return true;
}

}  // namespace

std::string SafetyFolder(bool virtualDetector) {
    fs::path state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME");
        xdg != nullptr && fs::path(xdg).is_absolute()) {
        state = xdg;
    } else {
#if defined(_WIN32)
        const char* base = std::getenv("LOCALAPPDATA");
        if (base == nullptr || *base == '\0') {
            return "";
        }
        state = base;
#else
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0') {
            return "";
        }
        state = fs::path(home) / ".local" / "state";
#endif
    }
    return (state / "holvane" / (virtualDetector ? "safety-virtual" : "safety")).string();
}

std::vector<std::string> SafetyCopies(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (IsCopyName(name) && it->is_regular_file(ec)) {
            names.push_back(name);
        }
    }
    std::ranges::sort(names);  // the names sort as their dates do
    for (std::string& name : names) {
        name = (fs::path(folder) / name).string();
    }
    return names;
}

SafetyCopyOutcome SaveSafetyCopy(const std::string& folder, const BackupProgress& progress) {
    SafetyCopyOutcome outcome;
    outcome.path = folder;
    if (folder.empty()) {
        outcome.result = SafetyCopyOutcome::Result::NoFolder;
        outcome.message = "no home folder is known (HOME is not set)";
        return outcome;
    }
    if (!MakePrivateFolder(folder, outcome.message)) {
        outcome.result = SafetyCopyOutcome::Result::NoFolder;
        return outcome;
    }
    outcome.backup = CreateBackup(progress);
    if (outcome.backup.result != BackupOutcome::Result::Done) {
        outcome.result = SafetyCopyOutcome::Result::ReadFailed;
        return outcome;
    }
    // A name not taken yet: the copies of one folder are made at least a backup's reads apart,
    // but another program may have made one in the same millisecond.
    auto when = std::chrono::system_clock::now();
    std::error_code ec;
    while (fs::exists(fs::path(folder) / CopyName(when), ec)) {
        when += std::chrono::milliseconds(1);
    }
    outcome.path = (fs::path(folder) / CopyName(when)).string();
    outcome.saveResult = WriteBackupFile(outcome.path, outcome.backup.payload, &outcome.failure);
    if (outcome.saveResult != FileResult::Success) {
        outcome.result = SafetyCopyOutcome::Result::SaveFailed;
        return outcome;
    }
    // The folder is the user's alone already; the file is made so as well.
    fs::permissions(outcome.path, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace, ec);
    if (ec) {
        fs::remove(outcome.path, ec);
        outcome.result = SafetyCopyOutcome::Result::SaveFailed;
        outcome.saveResult = FileResult::WriteFailed;
        outcome.failure = {ec.value(), NodeType::RegularFile};
        return outcome;
    }
    const std::vector<std::string> copies = SafetyCopies(folder);
    for (std::size_t i = 0; i + SafetyCopiesKept < copies.size(); ++i) {
        fs::remove(copies[i], ec);
    }
    return outcome;
}

}  // namespace holvane
