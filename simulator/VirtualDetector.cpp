#include "VirtualDetector.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "ParameterIds.h"

namespace holvane::simulator {

namespace {

constexpr std::uint8_t Accepted = 0x01;
constexpr std::uint8_t Refused = 0x00;
constexpr std::uint8_t ReadRequest = 0x00;
constexpr std::uint8_t WriteRequest = 0x01;

void CheckModeSlot(int modeSlot) {
    if (modeSlot < 0 || modeSlot >= ModeSlotCount) {
        throw std::out_of_range("mode slot out of range");
    }
}

void CheckPatternSlot(int patternSlot) {
    if (patternSlot < FirstPatternSlot || patternSlot > LastPatternSlot) {
        throw std::out_of_range("pattern slot out of range");
    }
}

void CheckUserModeSlot(int modeSlot) {
    if (modeSlot < FirstUserModeSlot || modeSlot > LastUserModeSlot) {
        throw std::out_of_range("not a user mode slot");
    }
}

bool IsUserModeSlot(int modeSlot) {
    return modeSlot >= FirstUserModeSlot && modeSlot <= LastUserModeSlot;
}

// Non-zero bytes that differ from record to record: byte i of the record tagged t.
template <std::size_t N>
void FillDistinct(std::array<std::uint8_t, N>& record, int tag) {
    for (std::size_t i = 0; i < N; ++i) {
        record[i] =
            static_cast<std::uint8_t>(1 + (static_cast<std::size_t>(tag) * 37 + i * 11) % 255);
    }
}

// Interpreted fields of a mode's settings within the ranges the settings grid allows.
void PlausibleModeSettings(ModeRecord& mode, int slot) {
    mode[10] = static_cast<std::uint8_t>(1 + (5 + 3 * slot) % 30);  // AudioVolumeGain
    mode[11] = static_cast<std::uint8_t>(slot % 4);                 // AudioResponse
    mode[12] = static_cast<std::uint8_t>((slot + 1) % 4);           // AudioTones
    mode[13] = static_cast<std::uint8_t>(slot % 2);                 // ToneIdFerrous
    mode[14] = static_cast<std::uint8_t>(1 + (7 + 2 * slot) % 30);  // ToneIdVariability
    mode[15] = static_cast<std::uint8_t>(1 + (11 + slot) % 30);     // ToneIdLimits
    mode[16] = static_cast<std::uint8_t>(slot % 2);                 // RecoveryFast
    mode[17] = static_cast<std::uint8_t>((slot + 1) % 2);           // RecoveryDeep
    mode[19] = static_cast<std::uint8_t>(slot % 2);                 // GroundDifficult
    mode[21] = static_cast<std::uint8_t>((slot + 1) % 2);           // TrashDensityLow
    mode[24] = static_cast<std::uint8_t>(slot);                     // TargetSlot
    mode[25] = 1;                                                   // BuiltMarker
}

}  // namespace

VirtualDetector::VirtualDetector() {
    for (int slot = 0; slot < ModeSlotCount; ++slot) {
        FillDistinct(modes_[slot], slot);
        PlausibleModeSettings(modes_[slot], slot);
    }
    for (std::size_t k = 0; k < storedPatterns_.size(); ++k) {
        FillDistinct(storedPatterns_[k], 40 + SwiftveilPatternSlot + static_cast<int>(k));
    }
    FillDistinct(universal_, 30);
    universal_[0] = 1;    // SensitivityManual
    universal_[1] = 18;   // SensitivityManualLevel
    universal_[2] = 254;  // SensitivityAutoLevel -2
    universal_[3] = 25;   // AudioVolumeLimit
    universal_[5] = 33;   // AudioThresholdLevel
    universal_[7] = 12;   // AudioThresholdPitch
    universal_[8] = 7;    // NoiseCancel
    FillDistinct(preferences_, 31);
    preferences_[0] = 1;    // PinpointSizing
    preferences_[7] = 1;    // ShowSensitivity
    preferences_[8] = 0;    // DisplayTimeout
    preferences_[9] = 1;    // ShowModeInfo
    preferences_[11] = 20;  // Contrast
    present_.fill(true);
}

VirtualDetector::~VirtualDetector() = default;

// ---- The link ----

void VirtualDetector::Receive(const std::uint8_t* bytes, std::size_t n) {
    std::lock_guard lock(mutex_);
    if (linkLost_ || n == 0) {
        return;
    }
    decoder_.Feed(bytes, n);
}

void VirtualDetector::Dispatch::DispatchFrame(std::uint8_t channel, const std::uint8_t* payload,
                                              std::size_t n) {
    // Called from inside Receive, with the owner's mutex held.
    if (owner_.linkLost_) {
        return;
    }
    if (channel == tovra::ControlChannel) {
        owner_.control_.emplace_back(reinterpret_cast<const char*>(payload), n);
    } else if (channel == tovra::ParameterChannel) {
        owner_.HandleParameterRequest(payload, n);
    }
}

void VirtualDetector::HandleParameterRequest(const std::uint8_t* payload, std::size_t n) {
    DetectorRequest request;
    request.time = Clock::now();
    request.id = n > 0 ? payload[0] : 0;
    if (n == 2 && payload[1] == ReadRequest) {
        request.kind = DetectorRequest::Kind::Read;
    } else if (n >= 2 && payload[1] == WriteRequest) {
        request.kind = DetectorRequest::Kind::Write;
        request.value.assign(payload + 2, payload + n);
    } else {
        request.kind = DetectorRequest::Kind::Malformed;
        request.value.assign(payload, payload + n);
    }
    requests_.push_back(request);

    if (requestsBeforeLoss_) {
        if (*requestsBeforeLoss_ == 0) {
            DropLink();
            return;
        }
        --*requestsBeforeLoss_;
    }
    if (auto reply = Answer(request)) {
        SendReplyTo(request.id, std::move(*reply));
    }
}

void VirtualDetector::SendReplyTo(std::uint8_t id, std::vector<std::uint8_t> reply) {
    constexpr std::uint8_t Filler = 0x5A;
    if (const auto resized = resizedIds_.find(id); resized != resizedIds_.end()) {
        const auto target = std::max<std::ptrdiff_t>(
            static_cast<std::ptrdiff_t>(reply.size()) + resized->second, 0);
        reply.resize(static_cast<std::size_t>(target), Filler);
    }
    const auto delayed = delayedIds_.find(id);
    const auto stopped = stoppedIds_.find(id);
    SendReply(reply, delayed != delayedIds_.end() ? delayed->second : std::chrono::milliseconds(0),
              corruptIds_.count(id) != 0, stopped != stoppedIds_.end() ? stopped->second : 0);
}

std::optional<std::vector<std::uint8_t>> VirtualDetector::Answer(const DetectorRequest& request) {
    if (silenced_.count(request.id) != 0) {
        return std::nullopt;
    }
    if (request.kind == DetectorRequest::Kind::Malformed || refused_.count(request.id) != 0) {
        return std::vector<std::uint8_t>{Refused};
    }
    if (request.kind == DetectorRequest::Kind::Write) {
        if (forgotten_.count(request.id) != 0) {
            return std::vector<std::uint8_t>{Accepted};
        }
        return std::vector<std::uint8_t>{WriteRecord(request.id, request.value) ? Accepted
                                                                                : Refused};
    }
    if (IsAbsentUserRecord(request.id)) {
        if (absentAnswer_ == AbsentModeAnswer::Silence) {
            return std::nullopt;
        }
        return std::vector<std::uint8_t>{Refused};
    }
    std::vector<std::uint8_t> record = ReadRecord(request.id);
    if (record.empty()) {
        return std::vector<std::uint8_t>{Refused};
    }
    record.insert(record.begin(), Accepted);
    return record;
}

bool VirtualDetector::IsAbsentUserRecord(std::uint8_t id) const {
    for (int slot = FirstUserModeSlot; slot <= LastUserModeSlot; ++slot) {
        if (!present_[slot - FirstUserModeSlot] &&
            (id == ModeId(slot) || id == PatternId(PatternSlotOfMode(slot)))) {
            return true;
        }
    }
    return false;
}

std::vector<std::uint8_t> VirtualDetector::ReadRecord(std::uint8_t id) const {
    if (id == UniversalSettingsId) {
        return {universal_.begin(), universal_.end()};
    }
    if (id == PreferencesId) {
        return {preferences_.begin(), preferences_.end()};
    }
    if (id >= ModeId(0) && id <= ModeId(CurrentModeSlot)) {
        const auto& mode = modes_[id - ModeId(0)];
        return {mode.begin(), mode.end()};
    }
    if (id >= PatternId(FirstPatternSlot) && id <= PatternId(LastPatternSlot)) {
        const std::uint8_t* pattern = PatternBytes(id - PatternId(0));
        return {pattern, pattern + PatternSize};
    }
    return {};  // settings-only ids, the end-of-upload command and unknown ids are not readable
}

bool VirtualDetector::WriteRecord(std::uint8_t id, const std::vector<std::uint8_t>& value) {
    const auto copyInto = [&value](std::uint8_t* target, std::size_t size) {
        if (value.size() != size) {
            return false;
        }
        std::copy(value.begin(), value.end(), target);
        return true;
    };
    if (id == UniversalSettingsId) {
        return copyInto(universal_.data(), UniversalSettingsSize);
    }
    if (id == PreferencesId) {
        return copyInto(preferences_.data(), PreferencesSize);
    }
    if (id == FinishUploadId) {
        if (!value.empty()) {
            return false;
        }
        ++finishUploads_;
        return true;
    }
    const bool wholeMode = id >= ModeId(0) && id <= ModeId(CurrentModeSlot);
    const bool settingsOnly = id >= ModeSettingsId(0) && id <= ModeSettingsId(CurrentModeSlot);
    if (wholeMode || settingsOnly) {
        const int slot = wholeMode ? id - ModeId(0) : id - ModeSettingsId(0);
        if (slot < FirstUserModeSlot) {
            return false;  // factory modes are read only
        }
        if (!copyInto(modes_[slot].data(), wholeMode ? ModeSize : ModeSettingsSize)) {
            return false;
        }
        if (IsUserModeSlot(slot)) {
            // A settings-only write into an absent mode creates it with the pattern its slot
            // still holds.
            present_[slot - FirstUserModeSlot] = true;
        }
        return true;
    }
    if (id >= PatternId(FirstPatternSlot) && id <= PatternId(LastPatternSlot)) {
        const int patternSlot = id - PatternId(0);
        const int modeSlot = patternSlot - PatternSlotOfMode(0);
        if (IsUserModeSlot(modeSlot) && !present_[modeSlot - FirstUserModeSlot]) {
            return false;  // the pattern of a mode that does not exist
        }
        return copyInto(PatternBytes(patternSlot), PatternSize);
    }
    return false;
}

void VirtualDetector::SendReply(const std::vector<std::uint8_t>& reply,
                                std::chrono::milliseconds extraDelay, bool corrupt,
                                std::size_t stopAfter) {
    std::vector<std::pair<std::size_t, std::size_t>> pieces;  // offset, length
    if (splitAt_ > 0 && reply.size() > splitAt_) {
        pieces = {{0, splitAt_}, {splitAt_, reply.size() - splitAt_}};
    } else {
        pieces = {{0, reply.size()}};
    }
    const auto due = Clock::now() + delay_ + extraDelay;
    for (const auto& [offset, length] : pieces) {
        auto frame = tovra::EncodeFrame(sequence_++, tovra::ParameterChannel, reply.data() + offset,
                                        static_cast<std::uint16_t>(length));
        if (corruptNext_ || corrupt) {
            frame[2] = static_cast<std::uint8_t>(frame[2] ^ 0xFF);
        }
        if (stopAfter > 0 && frame.size() > stopAfter) {
            frame.resize(stopAfter);
        }
        OutputChunk chunk;
        chunk.bytes = noise_;
        chunk.bytes.insert(chunk.bytes.end(), frame.begin(), frame.end());
        chunk.due = due;
        output_.push_back(std::move(chunk));
    }
    corruptNext_ = false;
    outputDue_.notify_all();
}

void VirtualDetector::DropLink() {
    linkLost_ = true;
    requestsBeforeLoss_.reset();
    output_.clear();
    outputDue_.notify_all();
}

std::size_t VirtualDetector::ReadOutput(std::uint8_t* buffer, std::size_t n,
                                        std::chrono::milliseconds timeout,
                                        const std::atomic<bool>* cancelled) {
    std::unique_lock lock(mutex_);
    const auto deadline = Clock::now() + timeout;
    const auto frontDue = [this] {
        return !linkLost_ && !output_.empty() && output_.front().due <= Clock::now();
    };
    while (!frontDue()) {
        if (Clock::now() >= deadline || (cancelled != nullptr && cancelled->load())) {
            return 0;
        }
        auto wakeAt = deadline;
        if (!linkLost_ && !output_.empty()) {
            wakeAt = std::min(deadline, output_.front().due);
        }
        outputDue_.wait_until(lock, wakeAt);
    }
    std::size_t copied = 0;
    const auto now = Clock::now();
    while (copied < n && !output_.empty() && output_.front().due <= now) {
        auto& chunk = output_.front();
        const std::size_t take = std::min(n - copied, chunk.bytes.size() - chunk.taken);
        std::memcpy(buffer + copied, chunk.bytes.data() + chunk.taken, take);
        copied += take;
        chunk.taken += take;
        if (chunk.taken == chunk.bytes.size()) {
            output_.pop_front();
        }
    }
    return copied;
}

void VirtualDetector::WakeReaders() {
    std::lock_guard lock(mutex_);
    outputDue_.notify_all();
}

std::size_t VirtualDetector::PendingOutput() const {
    std::lock_guard lock(mutex_);
    std::size_t total = 0;
    for (const auto& chunk : output_) {
        total += chunk.bytes.size() - chunk.taken;
    }
    return total;
}

// ---- State ----

std::uint8_t* VirtualDetector::PatternBytes(int patternSlot) {
    return const_cast<std::uint8_t*>(std::as_const(*this).PatternBytes(patternSlot));
}

const std::uint8_t* VirtualDetector::PatternBytes(int patternSlot) const {
    if (patternSlot < SwiftveilPatternSlot) {
        // Pattern slots 14..18 are the patterns of the user modes and of the current mode.
        return modes_[patternSlot - PatternSlotOfMode(0)].data() + ModePatternOffset;
    }
    return storedPatterns_[patternSlot - SwiftveilPatternSlot].data();
}

ModeRecord VirtualDetector::Mode(int modeSlot) const {
    CheckModeSlot(modeSlot);
    std::lock_guard lock(mutex_);
    return modes_[modeSlot];
}

void VirtualDetector::SetMode(int modeSlot, const ModeRecord& mode) {
    CheckModeSlot(modeSlot);
    std::lock_guard lock(mutex_);
    modes_[modeSlot] = mode;
}

PatternRecord VirtualDetector::Pattern(int patternSlot) const {
    CheckPatternSlot(patternSlot);
    std::lock_guard lock(mutex_);
    PatternRecord pattern;
    std::memcpy(pattern.data(), PatternBytes(patternSlot), PatternSize);
    return pattern;
}

void VirtualDetector::SetPattern(int patternSlot, const PatternRecord& pattern) {
    CheckPatternSlot(patternSlot);
    std::lock_guard lock(mutex_);
    std::memcpy(PatternBytes(patternSlot), pattern.data(), PatternSize);
}

template <typename T>
T VirtualDetector::Locked(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
}

template <typename T>
void VirtualDetector::Locked(T& field, const T& value) {
    std::lock_guard lock(mutex_);
    field = value;
}

UniversalSettingsRecord VirtualDetector::UniversalSettings() const {
    return Locked(universal_);
}

void VirtualDetector::SetUniversalSettings(const UniversalSettingsRecord& record) {
    Locked(universal_, record);
}

PreferencesRecord VirtualDetector::Preferences() const {
    return Locked(preferences_);
}

void VirtualDetector::SetPreferences(const PreferencesRecord& record) {
    Locked(preferences_, record);
}

bool VirtualDetector::UserModePresent(int modeSlot) const {
    CheckUserModeSlot(modeSlot);
    std::lock_guard lock(mutex_);
    return present_[modeSlot - FirstUserModeSlot];
}

void VirtualDetector::SetUserModePresent(int modeSlot, bool present) {
    CheckUserModeSlot(modeSlot);
    std::lock_guard lock(mutex_);
    present_[modeSlot - FirstUserModeSlot] = present;
}

void VirtualDetector::SetAbsentModeAnswer(AbsentModeAnswer answer) {
    Locked(absentAnswer_, answer);
}

template <typename Self, typename Copy>
void VirtualDetector::ForEachBackupRecord(Self& self, Copy copy) {
    copy(backup::CurrentMode, self.modes_[CurrentModeSlot]);
    copy(backup::UniversalSettings, self.universal_);
    copy(backup::Preferences, self.preferences_);
    copy(backup::Swiftveil, self.storedPatterns_[0]);
    for (int k = 0; k < 6; ++k) {
        copy(backup::MyPattern(k), self.storedPatterns_[1 + k]);
    }
}

void VirtualDetector::LoadBackup(const BackupPayload& payload) {
    std::lock_guard lock(mutex_);
    const auto copyOut = [&payload](std::size_t offset, auto& record) {
        std::memcpy(record.data(), payload.data() + offset, record.size());
    };
    ForEachBackupRecord(*this, copyOut);
    for (int k = 0; k < 4; ++k) {
        present_[k] = payload[backup::UserModePresent(k)] != 0;
        if (present_[k]) {
            copyOut(backup::UserMode(k), modes_[FirstUserModeSlot + k]);
        }
    }
}

BackupPayload VirtualDetector::SaveBackup() const {
    std::lock_guard lock(mutex_);
    BackupPayload payload{};
    const auto copyIn = [&payload](std::size_t offset, const auto& record) {
        std::memcpy(payload.data() + offset, record.data(), record.size());
    };
    ForEachBackupRecord(*this, copyIn);
    for (int k = 0; k < 4; ++k) {
        if (present_[k]) {
            payload[backup::UserModePresent(k)] = 1;
            copyIn(backup::UserMode(k), modes_[FirstUserModeSlot + k]);
        }
    }
    return payload;
}

// ---- Log ----

std::vector<DetectorRequest> VirtualDetector::Requests() const {
    return Locked(requests_);
}

int VirtualDetector::FinishUploadCount() const {
    return Locked(finishUploads_);
}

std::vector<std::string> VirtualDetector::ControlCommands() const {
    return Locked(control_);
}

void VirtualDetector::ClearLog() {
    std::lock_guard lock(mutex_);
    requests_.clear();
    control_.clear();
    finishUploads_ = 0;
}

// ---- Fault switches ----

void VirtualDetector::SwitchId(std::set<std::uint8_t>& ids, std::uint8_t id, bool on) {
    std::lock_guard lock(mutex_);
    if (on) {
        ids.insert(id);
    } else {
        ids.erase(id);
    }
}

void VirtualDetector::RefuseId(std::uint8_t id, bool on) {
    SwitchId(refused_, id, on);
}

void VirtualDetector::SilenceId(std::uint8_t id, bool on) {
    SwitchId(silenced_, id, on);
}

void VirtualDetector::ForgetWritesTo(std::uint8_t id, bool on) {
    SwitchId(forgotten_, id, on);
}

void VirtualDetector::SetReplyDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    delay_ = std::max(delay, std::chrono::milliseconds(0));
}

void VirtualDetector::SetReplySplit(std::size_t at) {
    Locked(splitAt_, at);
}

bool VirtualDetector::SetNoise(std::vector<std::uint8_t> noise) {
    if (std::find(noise.begin(), noise.end(), tovra::FrameStart) != noise.end()) {
        return false;
    }
    std::lock_guard lock(mutex_);
    noise_ = std::move(noise);
    return true;
}

void VirtualDetector::CorruptNextReplyChecksum() {
    Locked(corruptNext_, true);
}

void VirtualDetector::DelayId(std::uint8_t id, std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    if (delay > std::chrono::milliseconds(0)) {
        delayedIds_[id] = delay;
    } else {
        delayedIds_.erase(id);
    }
}

void VirtualDetector::CorruptId(std::uint8_t id, bool on) {
    SwitchId(corruptIds_, id, on);
}

void VirtualDetector::ResizeReplies(std::uint8_t id, int delta) {
    std::lock_guard lock(mutex_);
    if (delta != 0) {
        resizedIds_[id] = delta;
    } else {
        resizedIds_.erase(id);
    }
}

void VirtualDetector::StopRepliesAfter(std::uint8_t id, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    if (bytes > 0) {
        stoppedIds_[id] = bytes;
    } else {
        stoppedIds_.erase(id);
    }
}

void VirtualDetector::LoseLinkAfter(int requests) {
    std::lock_guard lock(mutex_);
    requestsBeforeLoss_ = std::max(requests, 0);
}

void VirtualDetector::LoseLink() {
    std::lock_guard lock(mutex_);
    DropLink();
}

bool VirtualDetector::LinkLost() const {
    return Locked(linkLost_);
}

void VirtualDetector::ClearFaults() {
    std::lock_guard lock(mutex_);
    refused_.clear();
    silenced_.clear();
    forgotten_.clear();
    delay_ = std::chrono::milliseconds(0);
    splitAt_ = 0;
    noise_.clear();
    corruptNext_ = false;
    delayedIds_.clear();
    corruptIds_.clear();
    resizedIds_.clear();
    stoppedIds_.clear();
    requestsBeforeLoss_.reset();
}

}  // namespace holvane::simulator
