// `holvanectl diff`, and the steps around a write of `restore` and `upload`: the dry run that
// shows what the write would change, the safety copy saved before it and the read-back that
// verifies it. Reports go to stdout, messages to stderr.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "BackupPayload.h"
#include "CommandLine.h"
#include "Holvanectl.h"
#include "WriteChecks.h"

namespace holvane::cli {

// diff(1)'s exit statuses.
inline constexpr int DiffIdentical = 0;
inline constexpr int DiffDifferent = 1;
inline constexpr int DiffTrouble = 2;

int RunDiff(const Invocation& inv, Console& console);

// Reads what the write of `record` into the target would replace and prints what would change,
// from the detector's record to `source`'s, as text or as diff's JSON document. 0, or 1 when the
// detector could not be read.
int PreviewWrite(const WriteTarget& target, std::span<const std::uint8_t> record,
                 const std::string& source, bool json, Console& console);
// The same for a restore of the payload: the whole detector is read.
int PreviewRestore(const BackupPayload& payload, const std::string& source, bool json,
                   Console& console);

// Saves the safety copy (of the virtual detector when simulated) and says where: its path, or
// nothing (the reason printed) when it could not be made, and then nothing may be written.
std::optional<std::string> MakeSafetyCopy(bool simulated, Console& console);

// Reads back, over a new connection, what was written and compares it with what was sent:
// 0 with "verified N records", or 1 with the differences and where the safety copy is, the
// failure reported as every other one (under --json the differences go to stderr).
int VerifyWrite(const WriteTarget& target, std::span<const std::uint8_t> record,
                const std::optional<std::string>& safetyCopy, bool json, Console& console);
int VerifyRestore(const BackupPayload& payload, const std::optional<std::string>& safetyCopy,
                  bool json, Console& console);

}  // namespace holvane::cli
