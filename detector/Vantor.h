// DetectorLink: the program's only door to the detector. It opens the first detector the
// library finds, moves whole records as numbered parameters, sends the end-of-upload command
// and closes the detector again. It shows nothing; every operation answers 1 or 0.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "Records.h"
#include "tovra.h"

namespace holvane {

// The ten library functions the program uses, bound to the library's exports. Tests may put
// other functions in (for example to record the calls) and must put the real ones back.
struct TovraImports {
    TOVRA_DVE(TOVRA_CALL* DVE_Create)(void);
    int32_t(TOVRA_CALL* DVE_GetNumDevices)(TOVRA_DVE);
    const char*(TOVRA_CALL* DVE_GetDeviceName)(TOVRA_DVE, int32_t);
    int32_t(TOVRA_CALL* DVE_Delete)(TOVRA_DVE);
    TOVRA_DEV(TOVRA_CALL* DEV_Create)(void);
    unsigned char(TOVRA_CALL* DEV_Open)(TOVRA_DEV, const char*, const char*);
    int32_t(TOVRA_CALL* DEV_Resume)(TOVRA_DEV);
    unsigned char(TOVRA_CALL* DEV_SetParameter)(TOVRA_DEV, int32_t, const void*, int32_t, uint32_t);
    unsigned char(TOVRA_CALL* DEV_GetParameter)(TOVRA_DEV, int32_t, void*, int32_t, uint32_t);
    int32_t(TOVRA_CALL* DEV_Delete)(TOVRA_DEV);
    // Beside the ten: how the newest parameter call ended. May be null (a table that leaves
    // it out); every failure then counts as unanswered.
    int32_t(TOVRA_CALL* DEV_GetParameterResult)(TOVRA_DEV) = nullptr;
};

// The table every DetectorLink calls through.
TovraImports& Imports();
// The table bound to the library's exports.
const TovraImports& LibraryImports();

// The device opened by Connect; null while no detector is open. One for the whole program.
TOVRA_DEV DeviceHandle();

inline constexpr std::uint32_t ParameterTimeout = 1500;

// How the newest transfer of a DetectorLink ended, as far as the link can tell.
enum class LinkAnswer {
    Accepted,   // the operation answered 1
    Refused,    // the detector answered with a refusal
    NoAnswer,   // nothing (whole) came in time: lost, late or silent; nothing is known
    Malformed,  // an answer came that was not the one asked for (short or too long)
    LinkDown,   // the request could not be sent, or the device is gone, or nothing is open
    Stopped,    // not sent: the front end asked to stop (see RequestGate)
};

// What a front end may place around the requests of every DetectorLink. stopRequested is asked
// before each request and before connecting: once it answers true no further request goes out
// (the end-of-upload command included), Connect fails and every transfer answers 0 with
// LastAnswer() Stopped, so an action ends between two requests, never inside one. hold(true)
// and hold(false) bracket every call into the library (not nested); holvanectl holds back its
// stop signals there, so that threads the library starts begin with them held back as well.
// Either function may be empty.
struct RequestGate {
    std::function<bool()> stopRequested;
    std::function<void(bool held)> hold;
};
// Installs the gate (an empty one: every request goes out). Not while a DetectorLink transfers.
void SetRequestGate(RequestGate gate);

// One connection per action: Connect, transfers, FinishUpload after writes, Disconnect on every
// path after a successful Connect. All calls block the calling thread (up to about 1.5 s per
// transfer). The objects carry no data of their own.
class DetectorLink {
public:
    // Opens the first detector listed. 1 on success; otherwise 0 and nothing stays open.
    std::uint8_t Connect();
    // Closes the open detector: 1, or 0 when nothing was open.
    std::uint8_t Disconnect();

    std::uint8_t GetMode(int modeSlot, ModeRecord& mode);
    std::uint8_t SetMode(int modeSlot, const ModeRecord& mode);
    // The settings part of a mode (bytes 0..25); the detector keeps the mode's pattern.
    std::uint8_t SetModeSettings(int modeSlot,
                                 std::span<const std::uint8_t, ModeSettingsSize> settings);
    std::uint8_t GetPattern(int patternSlot, PatternRecord& pattern);
    std::uint8_t SetPattern(int patternSlot, const PatternRecord& pattern);
    std::uint8_t GetUniversalSettings(UniversalSettingsRecord& settings);
    std::uint8_t SetUniversalSettings(const UniversalSettingsRecord& settings);
    std::uint8_t GetPreferences(PreferencesRecord& preferences);
    std::uint8_t SetPreferences(const PreferencesRecord& preferences);
    // The end-of-upload command: id 55 with no value.
    std::uint8_t FinishUpload();

    // How the newest transfer (of any DetectorLink) ended.
    LinkAnswer LastAnswer() const;

    // Reads a mode only to learn whether the detector holds it (the bytes are dropped): Accepted
    // when it does, Refused when the detector says it does not, otherwise what the link could
    // not tell.
    LinkAnswer ProbeMode(int modeSlot);
};

}  // namespace holvane
