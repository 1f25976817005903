#include "Transfers.h"

#include <algorithm>
#include <utility>

#include "Messages.h"
#include "PatternDownload.h"
#include "Vantor.h"

namespace holvane {

namespace {

using Result = TransferOutcome::Result;

template <typename Outcome>
Outcome Failed(Result result, std::string message) {
    Outcome outcome;
    outcome.result = result;
    outcome.message = std::move(message);
    return outcome;
}

// The number N of "My Mode N" for a user mode slot.
std::string UserModeNumber(int modeSlot) {
    return std::to_string(modeSlot - FirstUserModeSlot + 1);
}

bool ModeExists(DetectorLink& link, int modeSlot) {
    ModeRecord scratch{};
    return link.GetMode(modeSlot, scratch) == 1;
}

// One connection around a single read: Connect, read, Disconnect.
template <typename Record, typename Read>
DownloadOutcome<Record> Download(Read read, const char* failure) {
    DetectorLink link;
    if (link.Connect() != 1) {
        return Failed<DownloadOutcome<Record>>(Result::ConnectFailed, messages::CouldNotConnect);
    }
    DownloadOutcome<Record> outcome;
    const bool ok = read(link, outcome.record) == 1;
    link.Disconnect();
    if (!ok) {
        return Failed<DownloadOutcome<Record>>(Result::TransferFailed, failure);
    }
    return outcome;
}

enum class FinishRule { Always, OnSuccess };

// The write and the end-of-upload command of an upload on an open link, then Disconnect.
template <typename Write>
TransferOutcome Upload(DetectorLink& link, Write write, FinishRule rule, const char* failure) {
    const bool ok = write(link) == 1;
    if (ok || rule == FinishRule::Always) {
        link.FinishUpload();
    }
    link.Disconnect();
    if (!ok) {
        return Failed<TransferOutcome>(Result::TransferFailed, failure);
    }
    return {};
}

template <typename Write>
TransferOutcome ConnectAndUpload(Write write, FinishRule rule, const char* failure) {
    DetectorLink link;
    if (link.Connect() != 1) {
        return Failed<TransferOutcome>(Result::ConnectFailed, messages::CouldNotConnect);
    }
    return Upload(link, write, rule, failure);
}

}  // namespace

DownloadOutcome<ModeRecord> DownloadMode(int modeSlot) {
    return Download<ModeRecord>(
        [modeSlot](DetectorLink& link, ModeRecord& mode) { return link.GetMode(modeSlot, mode); },
        messages::CouldNotDownloadMode);
}

TransferOutcome UploadMode(int modeSlot, const ModeRecord& mode, bool wholeMode,
                           const std::function<bool()>& confirm) {
    DetectorLink link;
    if (link.Connect() != 1) {
        return Failed<TransferOutcome>(Result::ConnectFailed, messages::CouldNotConnect);
    }
    // The read only tells whether a mode is there to be overwritten; its bytes are not used.
    if (ModeExists(link, modeSlot) && confirm && !confirm()) {
        link.Disconnect();
        return Failed<TransferOutcome>(Result::Cancelled, "");
    }
    return Upload(
        link,
        [&](DetectorLink& l) {
            if (wholeMode) {
                return l.SetMode(modeSlot, mode);
            }
            ModeSettingsRecord settings{};
            const auto part = ModeSettingsOf(mode);
            std::copy(part.begin(), part.end(), settings.begin());
            return l.SetModeSettings(modeSlot, settings);
        },
        FinishRule::Always, messages::CouldNotUploadMode);
}

DownloadOutcome<UniversalSettingsRecord> DownloadUniversalSettings() {
    return Download<UniversalSettingsRecord>(
        [](DetectorLink& link, UniversalSettingsRecord& r) { return link.GetUniversalSettings(r); },
        messages::CouldNotDownloadUniversal);
}

TransferOutcome UploadUniversalSettings(const UniversalSettingsRecord& record) {
    return ConnectAndUpload([&](DetectorLink& link) { return link.SetUniversalSettings(record); },
                            FinishRule::Always, messages::CouldNotUploadUniversal);
}

DownloadOutcome<PreferencesRecord> DownloadPreferences() {
    return Download<PreferencesRecord>(
        [](DetectorLink& link, PreferencesRecord& r) { return link.GetPreferences(r); },
        messages::CouldNotDownloadPreferences);
}

TransferOutcome UploadPreferences(const PreferencesRecord& record) {
    return ConnectAndUpload([&](DetectorLink& link) { return link.SetPreferences(record); },
                            FinishRule::OnSuccess, messages::CouldNotUploadPreferences);
}

DownloadOutcome<PatternRecord> DownloadPattern(int patternSlot) {
    const PatternSlotInfo* info = FindPatternSlot(patternSlot);
    if (info == nullptr) {
        return Failed<DownloadOutcome<PatternRecord>>(Result::TransferFailed,
                                                      "No such pattern slot.");
    }
    DetectorLink link;
    if (link.Connect() != 1) {
        return Failed<DownloadOutcome<PatternRecord>>(Result::ConnectFailed,
                                                      messages::CouldNotConnect);
    }
    if (info->modeSlot != NotListed && !ModeExists(link, info->modeSlot)) {
        link.Disconnect();
        return Failed<DownloadOutcome<PatternRecord>>(
            Result::ModeAbsent, "Cannot download the pattern as User Mode " +
                                    UserModeNumber(info->modeSlot) + " does not exist.\r\n");
    }
    DownloadOutcome<PatternRecord> outcome;
    const bool ok = link.GetPattern(patternSlot, outcome.record) == 1;
    link.Disconnect();
    if (!ok) {
        const auto entry = static_cast<std::size_t>(PatternEntryOfSlot(patternSlot));
        return Failed<DownloadOutcome<PatternRecord>>(Result::TransferFailed,
                                                      PatternEntryAt(entry).readFailureMessage);
    }
    return outcome;
}

TransferOutcome UploadPattern(int patternSlot, const PatternRecord& pattern) {
    const PatternSlotInfo* info = FindPatternSlot(patternSlot);
    if (info == nullptr) {
        return Failed<TransferOutcome>(Result::TransferFailed, messages::CouldNotUploadPattern);
    }
    DetectorLink link;
    if (link.Connect() != 1) {
        return Failed<TransferOutcome>(Result::ConnectFailed, messages::CouldNotConnect);
    }
    if (info->modeSlot != NotListed && !ModeExists(link, info->modeSlot)) {
        link.Disconnect();
        return Failed<TransferOutcome>(Result::ModeAbsent,
                                       "Cannot upload the pattern as User Mode " +
                                           UserModeNumber(info->modeSlot) + " does not exist.\r\n");
    }
    return Upload(
        link, [&](DetectorLink& l) { return l.SetPattern(patternSlot, pattern); },
        FinishRule::OnSuccess, messages::CouldNotUploadPattern);
}

}  // namespace holvane
