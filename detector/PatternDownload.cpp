#include "PatternDownload.h"

#include "Messages.h"
#include "Vantor.h"

namespace holvane {

namespace {

// The entries are the rows of PatternSlots, which give each its slot, user mode and message.
const std::array<PatternEntry, DownloadedPatternCount>& Entries() {
    static const std::array<PatternEntry, DownloadedPatternCount> entries = [] {
        static_assert(PatternSlotCount == DownloadedPatternCount);
        std::array<PatternEntry, DownloadedPatternCount> e{};
        for (std::size_t i = 0; i < e.size(); ++i) {
            e[i] = {PatternSlots[i].slot, PatternSlots[i].modeSlot,
                    PatternSlots[i].readFailureMessage};
        }
        return e;
    }();
    return entries;
}

}  // namespace

const PatternEntry& PatternEntryAt(std::size_t entry) {
    return Entries().at(entry);
}

const char* PatternDownloadOutcome::Message() const {
    switch (result) {
        case Result::Done:
            return "";
        case Result::ConnectFailed:
            return messages::CouldNotConnect;
        case Result::ReadFailed:
            return Entries().at(failedEntry).readFailureMessage;
    }
    return "";
}

PatternDownloadOutcome DownloadAllPatterns() {
    PatternDownloadOutcome outcome;
    DetectorLink link;
    if (link.Connect() != 1) {
        outcome.result = PatternDownloadOutcome::Result::ConnectFailed;
        return outcome;
    }
    for (std::size_t i = 0; i < DownloadedPatternCount; ++i) {
        const PatternEntry& entry = Entries()[i];
        const auto readFailed = [&] {
            link.Disconnect();
            outcome.result = PatternDownloadOutcome::Result::ReadFailed;
            outcome.failedEntry = i;
            return outcome;
        };
        if (entry.userModeSlot >= 0) {
            // A refusal or silence says the mode does not exist; an answer that is not the
            // mode, or a link that is down, says nothing, and the download stops.
            const LinkAnswer mode = link.ProbeMode(entry.userModeSlot);
            if (mode == LinkAnswer::Refused || mode == LinkAnswer::NoAnswer) {
                outcome.states[i] = PatternDownloadOutcome::EntryState::Absent;
                continue;
            }
            if (mode != LinkAnswer::Accepted) {
                return readFailed();
            }
        }
        PatternRecord pattern{};
        if (link.GetPattern(entry.patternSlot, pattern) != 1) {
            return readFailed();
        }
        outcome.patterns[i] = pattern;
        outcome.states[i] = PatternDownloadOutcome::EntryState::Read;
    }
    link.Disconnect();
    return outcome;
}

}  // namespace holvane
