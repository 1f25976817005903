#include "Vantor.h"

#include <utility>

#include "ParameterIds.h"

namespace holvane {

namespace {

constexpr const char* LoginText = "";

TOVRA_DEV g_deviceHandle = nullptr;
LinkAnswer g_lastAnswer = LinkAnswer::LinkDown;
RequestGate g_gate;

bool StopRequested() {
    return g_gate.stopRequested && g_gate.stopRequested();
}

// Holds the gate for the life of the object; only the outermost of nested holds counts.
class Held {
public:
    Held() {
        if (depth_++ == 0 && g_gate.hold) {
            g_gate.hold(true);
        }
    }
    ~Held() {
        if (--depth_ == 0 && g_gate.hold) {
            g_gate.hold(false);
        }
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    static inline int depth_ = 0;
};

LinkAnswer AnswerOfFailure(TOVRA_DEV dev) {
    if (Imports().DEV_GetParameterResult == nullptr) {
        return LinkAnswer::NoAnswer;
    }
    switch (Imports().DEV_GetParameterResult(dev)) {
        case TOVRA_PARAM_REFUSED:
            return LinkAnswer::Refused;
        case TOVRA_PARAM_MALFORMED:
            return LinkAnswer::Malformed;
        case TOVRA_PARAM_NOT_SENT:
        case TOVRA_PARAM_LINK_GONE:
            return LinkAnswer::LinkDown;
        default:
            return LinkAnswer::NoAnswer;
    }
}

TovraImports& MutableImports() {
    static TovraImports imports = LibraryImports();
    return imports;
}

// Runs one library call with a catch-all guard; no call is made while no detector is open.
// The outcome of the call is kept for LastAnswer.
template <typename F>
std::uint8_t Transfer(F&& call) {
    g_lastAnswer = LinkAnswer::LinkDown;
    if (g_deviceHandle == nullptr) {
        return 0;
    }
    if (StopRequested()) {
        g_lastAnswer = LinkAnswer::Stopped;
        return 0;
    }
    const Held held;
    try {
        if (call(g_deviceHandle) == 1) {
            g_lastAnswer = LinkAnswer::Accepted;
            return 1;
        }
        g_lastAnswer = AnswerOfFailure(g_deviceHandle);
    } catch (...) {
        g_lastAnswer = LinkAnswer::NoAnswer;
    }
    return 0;
}

std::uint8_t Get(std::int32_t id, void* buffer, std::int32_t size) {
    return Transfer([&](TOVRA_DEV dev) {
        return Imports().DEV_GetParameter(dev, id, buffer, size, ParameterTimeout);
    });
}

std::uint8_t Set(std::int32_t id, const void* data, std::int32_t size) {
    return Transfer([&](TOVRA_DEV dev) {
        return Imports().DEV_SetParameter(dev, id, data, size, ParameterTimeout);
    });
}

bool ValidModeSlot(int slot) {
    return slot >= 0 && slot < ModeSlotCount;
}
bool ValidPatternSlot(int slot) {
    return slot >= FirstPatternSlot && slot <= LastPatternSlot;
}

template <typename Bytes>
std::int32_t SizeOf(const Bytes& r) {
    return static_cast<std::int32_t>(r.size());
}

}  // namespace

const TovraImports& LibraryImports() {
    static const TovraImports imports = {
        &::DVE_Create,
        &::DVE_GetNumDevices,
        &::DVE_GetDeviceName,
        &::DVE_Delete,
        &::DEV_Create,
        &::DEV_Open,
        &::DEV_Resume,
        &::DEV_SetParameter,
        &::DEV_GetParameter,
        &::DEV_Delete,
        &::DEV_GetParameterResult,
    };
    return imports;
}

TovraImports& Imports() {
    return MutableImports();
}

TOVRA_DEV DeviceHandle() {
    return g_deviceHandle;
}

void SetRequestGate(RequestGate gate) {
    g_gate = std::move(gate);
}

std::uint8_t DetectorLink::Connect() {
    // One connection at a time: a connection left open is closed rather than lost.
    Disconnect();
    if (StopRequested()) {
        g_lastAnswer = LinkAnswer::Stopped;
        return 0;
    }
    const Held held;
    std::uint8_t result = 0;
    TOVRA_DVE enumerator = nullptr;
    try {
        enumerator = Imports().DVE_Create();
        if (enumerator != nullptr && Imports().DVE_GetNumDevices(enumerator) > 0) {
            g_deviceHandle = Imports().DEV_Create();
            if (g_deviceHandle != nullptr) {
                const char* name = Imports().DVE_GetDeviceName(enumerator, 0);
                result = Imports().DEV_Open(g_deviceHandle, name, LoginText) == 1 ? 1 : 0;
            }
        }
    } catch (...) {
        result = 0;
    }
    if (enumerator != nullptr) {
        try {
            Imports().DVE_Delete(enumerator);
        } catch (...) {
        }
    }
    if (result == 1) {
        try {
            Imports().DEV_Resume(g_deviceHandle);
        } catch (...) {
            result = 0;
        }
    }
    if (result != 1) {
        Disconnect();
    }
    return result;
}

std::uint8_t DetectorLink::Disconnect() {
    if (g_deviceHandle == nullptr) {
        return 0;
    }
    TOVRA_DEV device = g_deviceHandle;
    g_deviceHandle = nullptr;
    const Held held;
    try {
        Imports().DEV_Delete(device);
    } catch (...) {
    }
    return 1;
}

std::uint8_t DetectorLink::GetMode(int modeSlot, ModeRecord& mode) {
    if (!ValidModeSlot(modeSlot)) {
        return 0;
    }
    return Get(ModeId(modeSlot), mode.data(), SizeOf(mode));
}

std::uint8_t DetectorLink::SetMode(int modeSlot, const ModeRecord& mode) {
    if (!ValidModeSlot(modeSlot)) {
        return 0;
    }
    return Set(ModeId(modeSlot), mode.data(), SizeOf(mode));
}

std::uint8_t DetectorLink::SetModeSettings(
    int modeSlot, std::span<const std::uint8_t, ModeSettingsSize> settings) {
    if (!ValidModeSlot(modeSlot)) {
        return 0;
    }
    return Set(ModeSettingsId(modeSlot), settings.data(), SizeOf(settings));
}

std::uint8_t DetectorLink::GetPattern(int patternSlot, PatternRecord& pattern) {
    if (!ValidPatternSlot(patternSlot)) {
        return 0;
    }
    return Get(PatternId(patternSlot), pattern.data(), SizeOf(pattern));
}

std::uint8_t DetectorLink::SetPattern(int patternSlot, const PatternRecord& pattern) {
    if (!ValidPatternSlot(patternSlot)) {
        return 0;
    }
    return Set(PatternId(patternSlot), pattern.data(), SizeOf(pattern));
}

std::uint8_t DetectorLink::GetUniversalSettings(UniversalSettingsRecord& settings) {
    return Get(UniversalSettingsId, settings.data(), SizeOf(settings));
}

std::uint8_t DetectorLink::SetUniversalSettings(const UniversalSettingsRecord& settings) {
    return Set(UniversalSettingsId, settings.data(), SizeOf(settings));
}

std::uint8_t DetectorLink::GetPreferences(PreferencesRecord& preferences) {
    return Get(PreferencesId, preferences.data(), SizeOf(preferences));
}

std::uint8_t DetectorLink::SetPreferences(const PreferencesRecord& preferences) {
    return Set(PreferencesId, preferences.data(), SizeOf(preferences));
}

std::uint8_t DetectorLink::FinishUpload() {
    return Set(FinishUploadId, nullptr, 0);
}

LinkAnswer DetectorLink::LastAnswer() const {
    return g_lastAnswer;
}

LinkAnswer DetectorLink::ProbeMode(int modeSlot) {
    ModeRecord scratch{};
    GetMode(modeSlot, scratch);
    return ValidModeSlot(modeSlot) ? g_lastAnswer : LinkAnswer::LinkDown;
}

}  // namespace holvane
