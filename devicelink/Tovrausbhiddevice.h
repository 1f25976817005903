// The device object behind a device handle, its reader thread, and the enumerator of attached
// detectors.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ParameterExchange.h"
#include "Tovrastream.h"
#include "Usbhid.h"

namespace tovra {

class IDeviceEnum {
public:
    virtual ~IDeviceEnum() = default;
    virtual std::int32_t GetNumDevices() = 0;
    virtual const char* GetDeviceName(std::int32_t index) = 0;
};

class IDeviceBase {
public:
    virtual const std::string& GetName() = 0;
    virtual bool Open(const std::string& path, const std::string& login) = 0;
    virtual IStreamBase* OpenStream(std::int32_t number, std::int32_t reserved) = 0;
    virtual bool CloseStream(std::int32_t number) = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    virtual bool IsPaused() = 0;
    virtual bool SetParameter(std::uint8_t id, const void* data, std::int32_t size,
                              std::uint32_t timeoutMs) = 0;
    virtual bool GetParameter(std::uint8_t id, void* buffer, std::int32_t size,
                              std::uint32_t timeoutMs) = 0;
    virtual ~IDeviceBase() = default;
};

// Lists the attached detectors once, at construction.
class TovraUsbHidDeviceEnum : public IDeviceEnum {
public:
    TovraUsbHidDeviceEnum() : devices_(UsbHidEnum::Search(DetectorVendorId)) {}

    std::int32_t GetNumDevices() override { return static_cast<std::int32_t>(devices_.size()); }
    // The path of entry index; "" for an index out of range.
    const char* GetDeviceName(std::int32_t index) override;

private:
    std::vector<HidDeviceDescr> devices_;
};

class TovraUsbHidDevice;

// The receive loop of one device: reads bytes off the transport and feeds the multiplexer.
// Created paused (pause count 1); runs its cycles only while the count is 0; looks at a stop
// request after each cycle.
class TovraUsbHidThread {
public:
    explicit TovraUsbHidThread(TovraUsbHidDevice& device);
    ~TovraUsbHidThread();  // stops and waits (Stop)

    TovraUsbHidThread(const TovraUsbHidThread&) = delete;
    TovraUsbHidThread& operator=(const TovraUsbHidThread&) = delete;

    // Never block: each takes lock_ for a moment. A pause takes effect at the end of the
    // current cycle, within about 100 ms.
    void Pause();
    void Resume();
    bool IsPaused();
    // Requests the stop, releases the thread from any pause, wakes a read it is waiting in and
    // waits until its body has ended. Caller's thread; returns within a few milliseconds (the
    // dispatch of bytes already read). lock_ is not held while it waits.
    void Stop();

private:
    void Body();

    TovraUsbHidDevice& device_;
    std::mutex lock_;               // guards pauseCount_ and stopRequested_
    std::condition_variable wake_;  // signalled when either changes
    int pauseCount_ = 1;            // guarded by lock_
    bool stopRequested_ = false;    // guarded by lock_
    std::thread thread_;
};

class TovraUsbHidDevice : public IDeviceBase, public IStreamBase {
public:
    TovraUsbHidDevice();
    // Stops the reader (Stop), then destroys the streams and closes the transport; returns
    // within a few milliseconds. Caller's thread, with no other call running on the device.
    ~TovraUsbHidDevice() override;

    TovraUsbHidDevice(const TovraUsbHidDevice&) = delete;
    TovraUsbHidDevice& operator=(const TovraUsbHidDevice&) = delete;

    // IDeviceBase. All on the caller's thread; none holds a lock while it waits.
    const std::string& GetName() override { return path_; }
    // Opens the transport (held for this device alone), makes the multiplexer with the control
    // and parameter channels, sends the zero fill that ends any frame the detector was left
    // half-way through (UsbHid::CompleteDetectorFrame), then the login when it is not empty.
    // A second Open is refused. Blocks while those reports are written: up to 300 ms each.
    bool Open(const std::string& path, const std::string& login) override;
    // Stream numbers 0..254 on channels 1..255; null for others or a closed device. Safe while
    // the reader runs. OpenStream and CloseStream block up to 300 ms for the command's report.
    IStreamBase* OpenStream(std::int32_t number, std::int32_t reserved) override;
    // Closing number 126 gives channel 127 back to the parameter calls.
    bool CloseStream(std::int32_t number) override;
    void Pause() override { reader_->Pause(); }
    void Resume() override { reader_->Resume(); }
    bool IsPaused() override { return reader_->IsPaused(); }
    // Block up to the time-out as ParameterExchange's Set and Get do; true exactly when the
    // request was accepted; false at once on a closed device.
    bool SetParameter(std::uint8_t id, const void* data, std::int32_t size,
                      std::uint32_t timeoutMs) override;
    bool GetParameter(std::uint8_t id, void* buffer, std::int32_t size,
                      std::uint32_t timeoutMs) override;

    // How the newest SetParameter or GetParameter ended (NotSent before the first, and on a
    // device that is not open).
    ParameterResult LastParameterResult() const;

    // The control channel: one frame, then the pending report is sent (up to 300 ms per
    // report written).
    std::int32_t SendString(const char* text, std::int32_t length);
    // What has arrived on the control channel, at most size-1 bytes and a NUL. Never waits.
    std::int32_t ReceiveString(char* buffer, std::int32_t size);

    // IStreamBase: the raw lower layer under the multiplexer, forwarded to the transport.
    std::int32_t Read(void* buffer, std::int32_t n) override { return transport_.Read(buffer, n); }
    std::int32_t Write(const void* bytes, std::int32_t n) override {
        return transport_.Write(bytes, n);
    }
    bool Flush() override { return transport_.Flush(); }
    void Attach(IStreamBase*) override {}
    void Detach() override {}
    void SetEventSink(IStreamEventSink*) override {}
    void ClearEventSink() override {}

    // One reader cycle: up to 256 bytes off the transport, handed to the multiplexer once
    // mayFeed() agrees (it waits out a pause that came during the read, and says false on a
    // stop); once the transport reports the device gone, a request waiting for its reply is
    // woken. Reader thread; blocks up to the transport's read wait for a report, holding no
    // lock. Returns false when there is nothing to read: the device is not open, or gone.
    bool ReadCycle(const std::function<bool()>& mayFeed);
    // Wakes the reader from its read wait for good (closing). Any thread; never blocks.
    void CancelReads() { transport_.CancelReads(); }

private:
    std::string path_;
    UsbHid transport_;
    std::unique_ptr<TovraUsbHidThread> reader_;
    std::unique_ptr<TovraStream> multiplexer_;
    // Kept by the device as well as the multiplexer, so that closing channel 0 or 127 through
    // CloseStream cannot leave the device with a destroyed stream.
    std::shared_ptr<TovraFrameStream> control_;
    std::shared_ptr<TovraFrameStream> parameter_;
    std::unique_ptr<ParameterExchange> exchange_;  // on parameter_; caller's thread
    // Set (release) by Open once the multiplexer and channels exist; the reader looks at it.
    std::atomic<bool> opened_{false};
};

}  // namespace tovra
