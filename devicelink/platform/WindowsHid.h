// The HID access seam on Windows, over the HID class driver.
//
// The interfaces are those of the HID device-interface class as SetupAPI lists the present ones,
// in its index order: that is this platform's order. A path is the interface's device path.
// The HID functions are reached through HID.DLL, loaded by name at run time and released when
// no longer needed, so that the library starts even where it is missing.
//
// The class driver hands out every input report with its report-ID byte in front (0 for a
// device without report ids) and takes every output report the same way, so the reports pass
// through unchanged.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/HidPlatform.h"

namespace tovra {

// HID.DLL, loaded by name, with the functions the library uses looked up by name. Released when
// the object is destroyed.
class HidLibrary {
public:
    HidLibrary();
    ~HidLibrary();
    HidLibrary(const HidLibrary&) = delete;
    HidLibrary& operator=(const HidLibrary&) = delete;

    // True when the library was loaded and every function was found.
    bool Loaded() const { return loaded_; }

    bool GetHidGuid(GUID& guid) const;
    bool GetAttributes(HANDLE device, std::uint16_t& vendorId, std::uint16_t& productId) const;
    bool SetNumInputBuffers(HANDLE device, std::uint32_t count) const;
    // The capabilities' input report byte length, report-ID byte included; 0 when unknown.
    std::uint32_t InputReportByteLength(HANDLE device) const;

private:
    HMODULE module_ = nullptr;
    bool loaded_ = false;
    FARPROC getHidGuid_ = nullptr;
    FARPROC getAttributes_ = nullptr;
    FARPROC setNumInputBuffers_ = nullptr;
    FARPROC getPreparsedData_ = nullptr;
    FARPROC freePreparsedData_ = nullptr;
    FARPROC getCaps_ = nullptr;
};

// True for the error codes with which the system answers a read or write on an interface that
// is no longer there (unplugged, or given up by its driver).
bool IsGoneError(DWORD error);

// An interface opened for overlapped reads and writes.
class WindowsHidDevice : public IHidDevice {
public:
    // Takes ownership of the handle, which must have been opened for overlapped I/O. The input
    // report length is asked from the driver, unless one is given (a message pipe stands in for
    // an interface in the tests).
    WindowsHidDevice(HANDLE handle, std::unique_ptr<HidLibrary> hid,
                     std::uint32_t inputReportLength = 0);
    ~WindowsHidDevice() override;
    WindowsHidDevice(const WindowsHidDevice&) = delete;
    WindowsHidDevice& operator=(const WindowsHidDevice&) = delete;

    bool GetAttributes(std::uint16_t& vendorId, std::uint16_t& productId) override;
    bool SetInputQueueSize(std::uint32_t count) override;
    std::uint32_t InputReportLength() override;
    // One overlapped read of as many whole reports as fit into n bytes: the driver completes it
    // with the first report and whatever more it holds already. A read that does not complete
    // within the time-out, or that CancelReads interrupts, is cancelled, and the call returns
    // only once the system is done with the buffer. A failing interface still lasts the
    // time-out (or until CancelReads), so that a reader calling it in a loop keeps its pace.
    std::size_t Read(std::uint8_t* buffer, std::size_t n, unsigned timeoutMs) override;
    // One overlapped write with a completion event of its own; cancelled on time-out.
    std::size_t Write(const std::uint8_t* report, std::size_t n, unsigned timeoutMs) override;
    void CancelReads() override;
    bool IsGone() const override { return gone_.load(std::memory_order_acquire); }

private:
    // Waits for a started operation; on time-out or stop cancels it and waits for it to end.
    // Returns the bytes it transferred.
    std::size_t Finish(OVERLAPPED& overlapped, DWORD waitResult);
    void NoteFailure(DWORD error);
    void PauseAfterFailure(unsigned timeoutMs);

    HANDLE handle_;
    std::unique_ptr<HidLibrary> hid_;
    HANDLE readEvent_;  // manual reset: the completion of the pending read
    HANDLE stopEvent_;  // manual reset: set by CancelReads, never reset
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> gone_{false};
    std::uint32_t inputReportLength_ = 0;
    bool inputReportLengthKnown_ = false;
};

struct WindowsHidOpenResult {
    std::unique_ptr<WindowsHidDevice> device;  // null when the path could not be opened
    DWORD error = 0;                           // GetLastError of the failure, 0 on success
};

// Opens a device path for reading and writing with overlapped I/O: shared, or with exclusive
// for one connection alone (no other handle may read or write it meanwhile; an open while
// another handle has it fails with ERROR_SHARING_VIOLATION). Fails with the system's error code
// when the path cannot be opened, and with ERROR_MOD_NOT_FOUND when HID.DLL cannot be loaded.
WindowsHidOpenResult OpenWindowsHidPath(const std::string& path, bool exclusive = false);

class WindowsHidPlatform : public IHidPlatform {
public:
    // The device paths of the present HID interfaces in SetupAPI's order; an interface whose
    // path cannot be read is left out. Empty when HID.DLL or the class cannot be reached.
    std::vector<HidInterfaceInfo> ListInterfaces() override;
    // Shared. An interface that a connection holds exclusively is opened without read and
    // write access, which the system allows and which is enough to read its ids, so that it
    // is still listed and its connection can be refused as in use.
    std::unique_ptr<IHidDevice> Open(const std::string& path) override;
    // Exclusive (no sharing): ERROR_SHARING_VIOLATION is InUse.
    std::unique_ptr<IHidDevice> OpenExclusive(const std::string& path,
                                              HidOpenError& error) override;
};

}  // namespace tovra
