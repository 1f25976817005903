#include "platform/WindowsHid.h"

#include <setupapi.h>
// After windows.h, whose types it uses; it brings the report-capability declarations along.
#include <hidsdi.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace tovra {

namespace {

using GetHidGuidFn = decltype(&HidD_GetHidGuid);
using GetAttributesFn = decltype(&HidD_GetAttributes);
using SetNumInputBuffersFn = decltype(&HidD_SetNumInputBuffers);
using GetPreparsedDataFn = decltype(&HidD_GetPreparsedData);
using FreePreparsedDataFn = decltype(&HidD_FreePreparsedData);
using GetCapsFn = decltype(&HidP_GetCaps);

// A function found by GetProcAddress, as the type it has.
template <typename Fn>
Fn As(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

// Closes a handle of the kernel when it goes out of scope.
class HandleGuard {
public:
    explicit HandleGuard(HANDLE handle) : handle_(handle) {}
    ~HandleGuard() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// HidLibrary

HidLibrary::HidLibrary() : module_(::LoadLibraryA("HID.DLL")) {
    if (module_ == nullptr) {
        return;
    }
    getHidGuid_ = ::GetProcAddress(module_, "HidD_GetHidGuid");
    getAttributes_ = ::GetProcAddress(module_, "HidD_GetAttributes");
    setNumInputBuffers_ = ::GetProcAddress(module_, "HidD_SetNumInputBuffers");
    getPreparsedData_ = ::GetProcAddress(module_, "HidD_GetPreparsedData");
    freePreparsedData_ = ::GetProcAddress(module_, "HidD_FreePreparsedData");
    getCaps_ = ::GetProcAddress(module_, "HidP_GetCaps");
    loaded_ = getHidGuid_ && getAttributes_ && setNumInputBuffers_ && getPreparsedData_ &&
              freePreparsedData_ && getCaps_;
}

HidLibrary::~HidLibrary() {
    if (module_ != nullptr) {
        ::FreeLibrary(module_);
    }
}

bool HidLibrary::GetHidGuid(GUID& guid) const {
    if (!loaded_) {
        return false;
    }
    As<GetHidGuidFn>(getHidGuid_)(&guid);
    return true;
}

bool HidLibrary::GetAttributes(HANDLE device, std::uint16_t& vendorId,
                               std::uint16_t& productId) const {
    if (!loaded_) {
        return false;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!As<GetAttributesFn>(getAttributes_)(device, &attributes)) {
        return false;
    }
    vendorId = attributes.VendorID;
    productId = attributes.ProductID;
    return true;
}

bool HidLibrary::SetNumInputBuffers(HANDLE device, std::uint32_t count) const {
    return loaded_ && As<SetNumInputBuffersFn>(setNumInputBuffers_)(device, count);
}

std::uint32_t HidLibrary::InputReportByteLength(HANDLE device) const {
    if (!loaded_) {
        return 0;
    }
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!As<GetPreparsedDataFn>(getPreparsedData_)(device, &preparsed)) {
        return 0;
    }
    HIDP_CAPS caps{};
    const NTSTATUS status = As<GetCapsFn>(getCaps_)(preparsed, &caps);
    As<FreePreparsedDataFn>(freePreparsedData_)(preparsed);
    return status == HIDP_STATUS_SUCCESS ? caps.InputReportByteLength : 0;
}

// ---------------------------------------------------------------------------------------------
// WindowsHidDevice

bool IsGoneError(DWORD error) {
    switch (error) {
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_INVALID_HANDLE:
        case ERROR_DEVICE_REMOVED:
            return true;
        default:
            return false;
    }
}

WindowsHidDevice::WindowsHidDevice(HANDLE handle, std::unique_ptr<HidLibrary> hid,
                                   std::uint32_t inputReportLength)
    : handle_(handle),
      hid_(std::move(hid)),
      readEvent_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      stopEvent_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      inputReportLength_(inputReportLength),
      inputReportLengthKnown_(inputReportLength != 0) {}

WindowsHidDevice::~WindowsHidDevice() {
    for (HANDLE h : {handle_, readEvent_, stopEvent_}) {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) {
            ::CloseHandle(h);
        }
    }
}

bool WindowsHidDevice::GetAttributes(std::uint16_t& vendorId, std::uint16_t& productId) {
    return hid_->GetAttributes(handle_, vendorId, productId);
}

bool WindowsHidDevice::SetInputQueueSize(std::uint32_t count) {
    return hid_->SetNumInputBuffers(handle_, count);
}

std::uint32_t WindowsHidDevice::InputReportLength() {
    if (!inputReportLengthKnown_) {
        inputReportLength_ = hid_->InputReportByteLength(handle_);
        inputReportLengthKnown_ = true;
    }
    return inputReportLength_;
}

void WindowsHidDevice::NoteFailure(DWORD error) {
    if (IsGoneError(error)) {
        gone_.store(true, std::memory_order_release);
    }
}

void WindowsHidDevice::PauseAfterFailure(unsigned timeoutMs) {
    if (stopEvent_ != nullptr) {
        ::WaitForSingleObject(stopEvent_, timeoutMs);
    } else {
        ::Sleep(timeoutMs);
    }
}

std::size_t WindowsHidDevice::Finish(OVERLAPPED& overlapped, DWORD waitResult) {
    DWORD transferred = 0;
    if (waitResult == WAIT_OBJECT_0) {
        if (::GetOverlappedResult(handle_, &overlapped, &transferred, FALSE)) {
            return transferred;
        }
        NoteFailure(::GetLastError());
        return 0;
    }
    // Timed out or stopped: cancel, then wait until the system has let go of the buffer and
    // the record. An operation that completed meanwhile keeps its bytes.
    ::CancelIo(handle_);
    if (::GetOverlappedResult(handle_, &overlapped, &transferred, TRUE)) {
        return transferred;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_OPERATION_ABORTED) {
        NoteFailure(error);
    }
    return 0;
}

std::size_t WindowsHidDevice::Read(std::uint8_t* buffer, std::size_t n, unsigned timeoutMs) {
    if (cancelled_.load(std::memory_order_acquire)) {
        return 0;
    }
    const std::size_t length = InputReportLength();
    // A report needs its report-ID byte and at least one byte of data.
    if (buffer == nullptr || length < 2 || n < length || readEvent_ == nullptr ||
        stopEvent_ == nullptr) {
        return 0;
    }
    const std::size_t wanted =
        std::min<std::size_t>(n / length * length, MAXDWORD / length * length);

    OVERLAPPED overlapped{};
    ::ResetEvent(readEvent_);
    overlapped.hEvent = readEvent_;
    DWORD got = 0;
    std::size_t stored = 0;
    if (::ReadFile(handle_, buffer, static_cast<DWORD>(wanted), &got, &overlapped)) {
        stored = got;
    } else if (const DWORD error = ::GetLastError(); error == ERROR_IO_PENDING) {
        const HANDLE events[2] = {readEvent_, stopEvent_};
        stored = Finish(overlapped, ::WaitForMultipleObjects(2, events, FALSE, timeoutMs));
    } else {
        NoteFailure(error);
        PauseAfterFailure(timeoutMs);
        return 0;
    }
    if (stored == 0 && IsGone()) {
        PauseAfterFailure(timeoutMs);
        return 0;
    }
    // The driver gives whole reports; a short one is padded to the report length.
    const std::size_t whole = std::min(wanted, (stored + length - 1) / length * length);
    std::memset(buffer + stored, 0, whole - stored);
    return whole;
}

std::size_t WindowsHidDevice::Write(const std::uint8_t* report, std::size_t n, unsigned timeoutMs) {
    if (report == nullptr || n == 0 || n > MAXDWORD) {
        return 0;
    }
    // A completion event of its own for each write, so that it never meets the reader's.
    const HandleGuard event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (event.get() == nullptr) {
        return 0;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    DWORD put = 0;
    if (::WriteFile(handle_, report, static_cast<DWORD>(n), &put, &overlapped)) {
        return put;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
        NoteFailure(error);
        return 0;
    }
    return Finish(overlapped, ::WaitForSingleObject(event.get(), timeoutMs));
}

void WindowsHidDevice::CancelReads() {
    cancelled_.store(true, std::memory_order_release);
    if (stopEvent_ != nullptr) {
        ::SetEvent(stopEvent_);
    }
}

// ---------------------------------------------------------------------------------------------
// Opening and listing

namespace {

WindowsHidOpenResult OpenPath(const std::string& path, DWORD access, DWORD share) {
    WindowsHidOpenResult result;
    auto hid = std::make_unique<HidLibrary>();
    if (!hid->Loaded()) {
        result.error = ERROR_MOD_NOT_FOUND;
        return result;
    }
    const HANDLE handle = ::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.error = ::GetLastError();
        return result;
    }
    result.device = std::make_unique<WindowsHidDevice>(handle, std::move(hid));
    return result;
}

constexpr DWORD ReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD Shared = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

WindowsHidOpenResult OpenWindowsHidPath(const std::string& path, bool exclusive) {
    return OpenPath(path, ReadWrite, exclusive ? 0 : Shared);
}

std::vector<HidInterfaceInfo> WindowsHidPlatform::ListInterfaces() {
    std::vector<HidInterfaceInfo> list;
    GUID hidClass{};
    {
        const HidLibrary hid;
        if (!hid.GetHidGuid(hidClass)) {
            return list;
        }
    }
    const HDEVINFO set =
        ::SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return list;
    }
    std::vector<char> detailBuffer;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!::SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, index, &interfaceData)) {
            break;  // ERROR_NO_MORE_ITEMS after the last one, or a failure: the walk ends
        }
        DWORD required = 0;
        ::SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
            continue;
        }
        detailBuffer.assign(required, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detailBuffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!::SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, required, nullptr,
                                                nullptr)) {
            continue;
        }
        const char* begin = detail->DevicePath;
        const char* end = detailBuffer.data() + detailBuffer.size();
        list.push_back({std::string(begin, std::find(begin, end, '\0'))});
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return list;
}

std::unique_ptr<IHidDevice> WindowsHidPlatform::Open(const std::string& path) {
    WindowsHidOpenResult opened = OpenWindowsHidPath(path);
    if (opened.error == ERROR_SHARING_VIOLATION) {
        opened = OpenPath(path, 0, Shared);
    }
    return std::move(opened.device);
}

std::unique_ptr<IHidDevice> WindowsHidPlatform::OpenExclusive(const std::string& path,
                                                              HidOpenError& error) {
    WindowsHidOpenResult opened = OpenWindowsHidPath(path, true);
    error = opened.device                             ? HidOpenError::None
            : opened.error == ERROR_SHARING_VIOLATION ? HidOpenError::InUse
                                                      : HidOpenError::Failed;
    return std::move(opened.device);
}

}  // namespace tovra
