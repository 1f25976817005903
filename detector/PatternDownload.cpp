#include "PatternDownload.h"

#include "Messages.h"
#include "Vantor.h"

namespace holvane {

namespace {

const std::array<PatternEntry, DownloadedPatternCount> Entries = {{
    {18, -1, "Could not read the current pattern.\r\nTry again."},
    {19, -1, "Could not read the Swiftveil pattern.\r\nTry again."},
    {20, -1, "Could not read 'My Pattern 1'.\r\nTry again."},
    {21, -1, "Could not read 'My Pattern 2'.\r\nTry again."},
    {22, -1, "Could not read 'My Pattern 3'.\r\nTry again."},
    {23, -1, "Could not read 'My Pattern 4'.\r\nTry again."},
    {24, -1, "Could not read 'My Pattern 5'.\r\nTry again."},
    {25, -1, "Could not read 'My Pattern 6'.\r\nTry again."},
    {14, 4, "Could not read 'My Mode 1' pattern.\r\nTry again."},
    {15, 5, "Could not read 'My Mode 2' pattern.\r\nTry again."},
    {16, 6, "Could not read 'My Mode 3' pattern.\r\nTry again."},
    {17, 7, "Could not read 'My Mode 4' pattern.\r\nTry again."},
}};

}  // namespace

const PatternEntry& PatternEntryAt(std::size_t entry) {
    return Entries.at(entry);
}

const char* PatternDownloadOutcome::Message() const {
    switch (result) {
        case Result::Done:
            return "";
        case Result::ConnectFailed:
            return messages::CouldNotConnect;
        case Result::ReadFailed:
            return Entries.at(failedEntry).readFailureMessage;
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
    for (std::size_t i = 0; i < Entries.size(); ++i) {
        const PatternEntry& entry = Entries[i];
        if (entry.userModeSlot >= 0) {
            ModeRecord scratch{};
            if (link.GetMode(entry.userModeSlot, scratch) != 1) {
                outcome.states[i] = PatternDownloadOutcome::EntryState::Absent;
                continue;
            }
        }
        PatternRecord pattern{};
        if (link.GetPattern(entry.patternSlot, pattern) != 1) {
            link.Disconnect();
            outcome.result = PatternDownloadOutcome::Result::ReadFailed;
            outcome.failedEntry = i;
            return outcome;
        }
        outcome.patterns[i] = pattern;
        outcome.states[i] = PatternDownloadOutcome::EntryState::Read;
    }
    link.Disconnect();
    return outcome;
}

}  // namespace holvane
