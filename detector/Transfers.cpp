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

// The message of a user mode that does not exist, for "download" or "upload".
std::string ModeAbsentMessage(const char* action, int modeSlot) {
    return std::string("Cannot ") + action + " the pattern as User Mode " +
           UserModeNumber(modeSlot) + " does not exist.\r\n";
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
    bool finishNotSent = false;
    if (ok || rule == FinishRule::Always) {
        finishNotSent = link.FinishUpload() != 1 && link.LastAnswer() == LinkAnswer::LinkDown;
    }
    link.Disconnect();
    TransferOutcome outcome;
    if (!ok) {
        outcome = Failed<TransferOutcome>(Result::TransferFailed, failure);
    }
    outcome.finishNotSent = finishNotSent;
    return outcome;
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
    // Only the detector's refusal says the slot is empty; without an answer it may not be.
    const LinkAnswer slot = link.ProbeMode(modeSlot);
    if (slot == LinkAnswer::LinkDown || slot == LinkAnswer::Stopped) {
        link.Disconnect();
        return Failed<TransferOutcome>(Result::TransferFailed, messages::CouldNotUploadMode);
    }
    if (slot != LinkAnswer::Refused && confirm && !confirm()) {
        link.Disconnect();
        auto outcome = Failed<TransferOutcome>(Result::Cancelled, "");
        outcome.slotUnknown = slot != LinkAnswer::Accepted;
        return outcome;
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
    const auto entry = static_cast<std::size_t>(PatternEntryOfSlot(patternSlot));
    const auto readFailed = [&] {
        link.Disconnect();
        return Failed<DownloadOutcome<PatternRecord>>(Result::TransferFailed,
                                                      PatternEntryAt(entry).readFailureMessage);
    };
    if (info->modeSlot != NotListed) {
        const LinkAnswer mode = link.ProbeMode(info->modeSlot);
        if (mode == LinkAnswer::Refused || mode == LinkAnswer::NoAnswer) {
            link.Disconnect();
            return Failed<DownloadOutcome<PatternRecord>>(
                Result::ModeAbsent, ModeAbsentMessage("download", info->modeSlot));
        }
        if (mode != LinkAnswer::Accepted) {
            return readFailed();
        }
    }
    DownloadOutcome<PatternRecord> outcome;
    if (link.GetPattern(patternSlot, outcome.record) != 1) {
        return readFailed();
    }
    link.Disconnect();
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
    if (info->modeSlot != NotListed) {
        const LinkAnswer mode = link.ProbeMode(info->modeSlot);
        if (mode == LinkAnswer::Refused || mode == LinkAnswer::LinkDown ||
            mode == LinkAnswer::Stopped) {
            link.Disconnect();
            return mode == LinkAnswer::Refused
                       ? Failed<TransferOutcome>(Result::ModeAbsent,
                                                 ModeAbsentMessage("upload", info->modeSlot))
                       : Failed<TransferOutcome>(Result::TransferFailed,
                                                 messages::CouldNotUploadPattern);
        }
    }
    return Upload(
        link, [&](DetectorLink& l) { return l.SetPattern(patternSlot, pattern); },
        FinishRule::OnSuccess, messages::CouldNotUploadPattern);
}

}  // namespace holvane
