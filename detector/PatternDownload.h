// Download All: the twelve stored patterns of the detector in one connection. The current
// Glintmap pattern, the Swiftveil pattern and My Pattern 1..6 always exist; the pattern of a
// user mode only when the mode exists.
#pragma once

#include <array>
#include <cstddef>

#include "Records.h"

namespace holvane {

inline constexpr std::size_t DownloadedPatternCount = 12;

// Entry i of the download: entries 0..7 are pattern slots 18..25, entries 8..11 the patterns of
// My Mode 1..4 (pattern slots 14..17, present only when mode slot 4..7 reads).
struct PatternEntry {
    int patternSlot;
    int userModeSlot;  // NotListed (-1) when the pattern always exists
    const char* readFailureMessage;
};
const PatternEntry& PatternEntryAt(std::size_t entry);

struct PatternDownloadOutcome {
    enum class Result { Done, ConnectFailed, ReadFailed };
    enum class EntryState {
        Untouched,  // not reached (after a failure), or the connection failed
        Read,       // patterns[i] holds the detector's pattern
        Absent,     // the entry's user mode does not exist
    };
    Result result = Result::Done;
    std::size_t failedEntry = 0;  // with ReadFailed
    std::array<EntryState, DownloadedPatternCount> states{};
    std::array<PatternRecord, DownloadedPatternCount> patterns{};

    const char* Message() const;
};

// Reads entries 0..11 in order; stops at the first pattern that fails to read, and at a user
// mode whose read came back malformed or found the link down (a refused or unanswered one is
// absent). Disconnects on every path.
PatternDownloadOutcome DownloadAllPatterns();

}  // namespace holvane
