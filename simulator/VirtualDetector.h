// The far end of the link: a detector that answers the library's frames as the real one does.
//
// The host hands it the bytes it sends (the frame bytes of each output report after the
// report-ID byte, zero fill included) and takes back the bytes the detector sends, as one byte
// stream; MemoryHidPlatform packs that stream into input reports. Requests on the parameter
// channel are answered for every parameter id the program uses, with the mode records and the
// pattern slots kept consistent. Fault switches make it misbehave in the ways a link can.
//
// Thread safety: every member function may be called from any thread. The host typically calls
// Receive on its writing thread and ReadOutput on its reader thread while a test reads or
// changes the state from a third.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "BackupPayload.h"
#include "FrameCodec.h"
#include "Records.h"

namespace holvane::simulator {

// One frame received on the parameter channel, as the detector understood it.
struct DetectorRequest {
    enum class Kind { Read, Write, Malformed };

    std::uint8_t id = 0;  // payload byte 0 (0 for an empty payload)
    Kind kind = Kind::Malformed;
    std::vector<std::uint8_t>
        value;  // bytes after [id, 0x01] of a write; whole payload if malformed
    std::chrono::steady_clock::time_point time;
};

// How an absent user mode (and the pattern slot of one) answers a read.
enum class AbsentModeAnswer { Refuse, Silence };

class VirtualDetector {
public:
    using Clock = std::chrono::steady_clock;

    // A detector with sane default content: every record filled with plausible, non-zero bytes
    // that differ from record to record, all four user modes present, no fault switched on.
    VirtualDetector();
    VirtualDetector(const VirtualDetector&) = delete;
    VirtualDetector& operator=(const VirtualDetector&) = delete;
    ~VirtualDetector();

    // ---- The link, host side ----

    // Bytes sent by the host (frame bytes, possibly zero-filled). Complete frames are answered
    // at once: the reply is queued for ReadOutput. Ignored once the link is lost.
    void Receive(const std::uint8_t* bytes, std::size_t n);

    // Waits up to timeout for detector output that is due, then copies as much of it as is due
    // and fits into buffer, without further waiting. Returns the bytes copied, 0 at the time-out.
    // Once the link is lost nothing is due any more: every call waits out its time-out. A wait
    // also ends, with 0, once *cancelled is true when WakeReaders is called (or when it starts).
    std::size_t ReadOutput(std::uint8_t* buffer, std::size_t n, std::chrono::milliseconds timeout,
                           const std::atomic<bool>* cancelled = nullptr);
    // Wakes every ReadOutput that waits, so that it looks at its cancel flag again.
    void WakeReaders();

    // Detector output bytes queued, due or not.
    std::size_t PendingOutput() const;

    // ---- State ----

    // Mode slots 0..8, pattern slots 14..25. Slots out of range throw std::out_of_range.
    // A user mode's pattern is its pattern slot (mode slot s and pattern slot s + 10 for
    // s = 4..7), the current mode's pattern is pattern slot 18: setting one changes the other.
    ModeRecord Mode(int modeSlot) const;
    void SetMode(int modeSlot, const ModeRecord& mode);
    PatternRecord Pattern(int patternSlot) const;
    void SetPattern(int patternSlot, const PatternRecord& pattern);
    UniversalSettingsRecord UniversalSettings() const;
    void SetUniversalSettings(const UniversalSettingsRecord& record);
    PreferencesRecord Preferences() const;
    void SetPreferences(const PreferencesRecord& record);

    // Presence of the user modes 4..7 (other slots throw std::out_of_range). An absent mode keeps
    // its bytes; they come back when the mode becomes present again.
    bool UserModePresent(int modeSlot) const;
    void SetUserModePresent(int modeSlot, bool present);
    void SetAbsentModeAnswer(AbsentModeAnswer answer);

    // The backup payload: the current mode, the user modes with their present bytes, universal
    // settings, preferences, the Swiftveil pattern and My Pattern 1..6. Loading takes a user
    // mode's bytes only when its present byte is non-zero and leaves an absent mode's stored
    // bytes alone; saving writes zeros for an absent mode. Factory modes are not in the payload
    // and keep their state.
    void LoadBackup(const BackupPayload& payload);
    BackupPayload SaveBackup() const;

    // ---- What the detector received ----

    std::vector<DetectorRequest> Requests() const;     // every frame on the parameter channel
    int FinishUploadCount() const;                     // accepted end-of-upload commands (id 55)
    std::vector<std::string> ControlCommands() const;  // payloads received on channel 0
    void ClearLog();                                   // requests, control commands, upload count

    // ---- Fault switches ----

    void RefuseId(std::uint8_t id, bool on = true);   // answer 0x00 to every request of the id
    void SilenceId(std::uint8_t id, bool on = true);  // never answer a request of the id
    // Acknowledge every write of the id but keep the old value, as a detector that loses a
    // write after taking it.
    void ForgetWritesTo(std::uint8_t id, bool on = true);
    void SetReplyDelay(std::chrono::milliseconds delay);  // replies become due this much later
    // Send every reply longer than `at` payload bytes as two frames, split before byte `at`
    // (0 switches it off).
    void SetReplySplit(std::size_t at);
    // Bytes sent in front of every frame the detector sends. false (and nothing changes) when
    // they contain the start byte 0x7E, which would not be noise.
    bool SetNoise(std::vector<std::uint8_t> noise);
    void CorruptNextReplyChecksum();  // every frame of the next reply gets a wrong checksum byte
    // Faults of the replies to one id, each off again with 0 / false:
    void DelayId(std::uint8_t id, std::chrono::milliseconds delay);  // due this much later
    void CorruptId(std::uint8_t id, bool on = true);  // every frame gets a wrong checksum byte
    // Every reply carries `delta` bytes more (a filler byte 0x5A appended) or fewer (the last
    // ones dropped) than it should; an acknowledgement alone shortened becomes an empty frame.
    void ResizeReplies(std::uint8_t id, int delta);
    // Every reply stops after its first `bytes` bytes on the wire, header included: the rest of
    // the frame never comes (64: a reply that stops after its first report).
    void StopRepliesAfter(std::uint8_t id, std::size_t bytes);
    // The link goes down when the (n + 1)-th parameter request from now arrives: that request
    // and everything after it go unanswered, queued output is dropped, and a device bound to
    // this detector behaves as unplugged.
    void LoseLinkAfter(int requests);
    void LoseLink();  // at once
    bool LinkLost() const;
    void ClearFaults();  // every switch above off; a lost link stays lost

private:
    class Dispatch : public tovra::IFrameDispatch {
    public:
        explicit Dispatch(VirtualDetector& owner) : owner_(owner) {}
        void DispatchFrame(std::uint8_t channel, const std::uint8_t* payload,
                           std::size_t n) override;

    private:
        VirtualDetector& owner_;
    };

    struct OutputChunk {
        std::vector<std::uint8_t> bytes;
        std::size_t taken = 0;
        Clock::time_point due;
    };

    // A field read or written under mutex_.
    template <typename T>
    T Locked(const T& field) const;
    template <typename T>
    void Locked(T& field, const T& value);
    void SwitchId(std::set<std::uint8_t>& ids, std::uint8_t id, bool on);
    // copy(payload offset, record) for every record of the backup payload but the user modes.
    template <typename Self, typename Copy>
    static void ForEachBackupRecord(Self& self, Copy copy);

    // All of these run with mutex_ held.
    void HandleParameterRequest(const std::uint8_t* payload, std::size_t n);
    std::optional<std::vector<std::uint8_t>> Answer(const DetectorRequest& request);
    // The reply as the id's faults shape it (size), then queued (delay, checksum).
    void SendReplyTo(std::uint8_t id, std::vector<std::uint8_t> reply);
    std::vector<std::uint8_t> ReadRecord(std::uint8_t id) const;
    bool WriteRecord(std::uint8_t id, const std::vector<std::uint8_t>& value);
    bool IsAbsentUserRecord(std::uint8_t id) const;
    void SendReply(const std::vector<std::uint8_t>& reply,
                   std::chrono::milliseconds extraDelay = std::chrono::milliseconds(0),
                   bool corrupt = false, std::size_t stopAfter = 0);
    void DropLink();
    std::uint8_t* PatternBytes(int patternSlot);
    const std::uint8_t* PatternBytes(int patternSlot) const;

    mutable std::mutex mutex_;           // guards every field below except dispatch_
    std::condition_variable outputDue_;  // signalled when output is queued or the link drops

    Dispatch dispatch_{*this};                // no state of its own
    tovra::FrameDecoder decoder_{dispatch_};  // mutex_; fed only inside Receive

    // Records. Pattern slots 14..18 live inside modes_[4..8]; storedPatterns_ holds 19..25.
    std::array<ModeRecord, ModeSlotCount> modes_{};  // mutex_
    std::array<PatternRecord, LastPatternSlot - SwiftveilPatternSlot + 1>
        storedPatterns_{};                                                  // mutex_
    UniversalSettingsRecord universal_{};                                   // mutex_
    PreferencesRecord preferences_{};                                       // mutex_
    std::array<bool, LastUserModeSlot - FirstUserModeSlot + 1> present_{};  // mutex_
    AbsentModeAnswer absentAnswer_ = AbsentModeAnswer::Refuse;              // mutex_

    // Log.
    std::vector<DetectorRequest> requests_;  // mutex_
    std::vector<std::string> control_;       // mutex_
    int finishUploads_ = 0;                  // mutex_

    // Output towards the host, in order; a chunk is handed out only once it is due.
    std::deque<OutputChunk> output_;  // mutex_
    std::uint8_t sequence_ = 0;       // mutex_; the detector's own frame numbering

    // Fault switches.
    std::set<std::uint8_t> refused_;                                // mutex_
    std::set<std::uint8_t> silenced_;                               // mutex_
    std::set<std::uint8_t> forgotten_;                              // mutex_
    std::chrono::milliseconds delay_{0};                            // mutex_
    std::size_t splitAt_ = 0;                                       // mutex_
    std::vector<std::uint8_t> noise_;                               // mutex_
    bool corruptNext_ = false;                                      // mutex_
    std::map<std::uint8_t, std::chrono::milliseconds> delayedIds_;  // mutex_
    std::set<std::uint8_t> corruptIds_;                             // mutex_
    std::map<std::uint8_t, int> resizedIds_;                        // mutex_
    std::map<std::uint8_t, std::size_t> stoppedIds_;                // mutex_
    std::optional<int> requestsBeforeLoss_;                         // mutex_
    bool linkLost_ = false;                                         // mutex_
};

}  // namespace holvane::simulator
