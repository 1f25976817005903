// The library's exported functions. Each converts its arguments and forwards to one operation
// of the object behind the handle; no exception crosses this boundary.
#include "tovra.h"

#include <new>
#include <string>

#include "Frame.h"
#include "Tovrausbhiddevice.h"

using tovra::CommsFrameCollection;
using tovra::IDeviceBase;
using tovra::IDeviceEnum;
using tovra::IFrameBase;
using tovra::IFrameCollBase;
using tovra::IFrameItemBase;
using tovra::IStreamBase;
using tovra::TovraUsbHidDevice;
using tovra::TovraUsbHidDeviceEnum;

namespace {

IDeviceEnum* AsEnum(TOVRA_DVE h) {
    return reinterpret_cast<IDeviceEnum*>(h);
}
TovraUsbHidDevice* AsDevice(TOVRA_DEV h) {
    return static_cast<TovraUsbHidDevice*>(reinterpret_cast<IDeviceBase*>(h));
}
IStreamBase* AsStream(TOVRA_STRM h) {
    return reinterpret_cast<IStreamBase*>(h);
}
IFrameCollBase* AsCollection(TOVRA_FRC h) {
    return reinterpret_cast<IFrameCollBase*>(h);
}
IFrameBase* AsFrame(TOVRA_FRM h) {
    return reinterpret_cast<IFrameBase*>(h);
}
IFrameItemBase* AsItem(TOVRA_ITEM h) {
    return reinterpret_cast<IFrameItemBase*>(h);
}

using tovra::ParameterResult;
static_assert(static_cast<int32_t>(ParameterResult::Accepted) == TOVRA_PARAM_ACCEPTED &&
              static_cast<int32_t>(ParameterResult::Refused) == TOVRA_PARAM_REFUSED &&
              static_cast<int32_t>(ParameterResult::NoAnswer) == TOVRA_PARAM_NO_ANSWER &&
              static_cast<int32_t>(ParameterResult::Malformed) == TOVRA_PARAM_MALFORMED &&
              static_cast<int32_t>(ParameterResult::NotSent) == TOVRA_PARAM_NOT_SENT &&
              static_cast<int32_t>(ParameterResult::LinkGone) == TOVRA_PARAM_LINK_GONE);

std::string Text(const char* s) {
    return s != nullptr ? std::string(s) : std::string();
}

// Runs f, turning any exception into the failure result.
template <typename R, typename F>
R Guard(R failure, F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return failure;
    }
}

}  // namespace

extern "C" {

// ---- Enumerator -------------------------------------------------------------------------------

TOVRA_DVE TOVRA_CALL DVE_Create(void) {
    return Guard<TOVRA_DVE>(nullptr, [] {
        IDeviceEnum* e = new (std::nothrow) TovraUsbHidDeviceEnum();
        return reinterpret_cast<TOVRA_DVE>(e);
    });
}

int32_t TOVRA_CALL DVE_GetNumDevices(TOVRA_DVE dve) {
    return Guard<int32_t>(0, [&] { return AsEnum(dve)->GetNumDevices(); });
}

const char* TOVRA_CALL DVE_GetDeviceName(TOVRA_DVE dve, int32_t index) {
    return Guard<const char*>("", [&] { return AsEnum(dve)->GetDeviceName(index); });
}

int32_t TOVRA_CALL DVE_Delete(TOVRA_DVE dve) {
    delete AsEnum(dve);
    return 1;
}

// ---- Device -----------------------------------------------------------------------------------

TOVRA_DEV TOVRA_CALL DEV_Create(void) {
    return Guard<TOVRA_DEV>(nullptr, [] {
        IDeviceBase* d = new TovraUsbHidDevice();
        return reinterpret_cast<TOVRA_DEV>(d);
    });
}

unsigned char TOVRA_CALL DEV_Open(TOVRA_DEV dev, const char* path, const char* login) {
    return Guard<unsigned char>(0, [&] {
        return static_cast<unsigned char>(AsDevice(dev)->Open(Text(path), Text(login)));
    });
}

int32_t TOVRA_CALL DEV_Pause(TOVRA_DEV dev) {
    return Guard<int32_t>(1, [&] {
        AsDevice(dev)->Pause();
        return 1;
    });
}

int32_t TOVRA_CALL DEV_Resume(TOVRA_DEV dev) {
    return Guard<int32_t>(1, [&] {
        AsDevice(dev)->Resume();
        return 1;
    });
}

unsigned char TOVRA_CALL DEV_SetParameter(TOVRA_DEV dev, int32_t id, const void* data, int32_t size,
                                          uint32_t timeout) {
    return Guard<unsigned char>(0, [&] {
        return static_cast<unsigned char>(
            AsDevice(dev)->SetParameter(static_cast<std::uint8_t>(id), data, size, timeout));
    });
}

unsigned char TOVRA_CALL DEV_GetParameter(TOVRA_DEV dev, int32_t id, void* buffer, int32_t size,
                                          uint32_t timeout) {
    return Guard<unsigned char>(0, [&] {
        return static_cast<unsigned char>(
            AsDevice(dev)->GetParameter(static_cast<std::uint8_t>(id), buffer, size, timeout));
    });
}

int32_t TOVRA_CALL DEV_GetParameterResult(TOVRA_DEV dev) {
    return Guard<int32_t>(TOVRA_PARAM_NOT_SENT, [&] {
        return static_cast<int32_t>(AsDevice(dev)->LastParameterResult());
    });
}

int32_t TOVRA_CALL DEV_SendString(TOVRA_DEV dev, const char* text, int32_t length) {
    return Guard<int32_t>(0, [&] { return AsDevice(dev)->SendString(text, length); });
}

int32_t TOVRA_CALL DEV_ReceiveString(TOVRA_DEV dev, char* buffer, int32_t size) {
    return Guard<int32_t>(0, [&] { return AsDevice(dev)->ReceiveString(buffer, size); });
}

TOVRA_STRM TOVRA_CALL DEV_OpenStream(TOVRA_DEV dev, int32_t number, int32_t reserved) {
    return Guard<TOVRA_STRM>(nullptr, [&] {
        return reinterpret_cast<TOVRA_STRM>(AsDevice(dev)->OpenStream(number, reserved));
    });
}

unsigned char TOVRA_CALL DEV_CloseStream(TOVRA_DEV dev, int32_t number) {
    return Guard<unsigned char>(
        0, [&] { return static_cast<unsigned char>(AsDevice(dev)->CloseStream(number)); });
}

int32_t TOVRA_CALL DEV_Delete(TOVRA_DEV dev) {
    delete reinterpret_cast<IDeviceBase*>(dev);
    return 1;
}

// ---- Stream -----------------------------------------------------------------------------------

int32_t TOVRA_CALL STRM_Read(TOVRA_STRM strm, void* buffer, int32_t length) {
    return Guard<int32_t>(0, [&] { return AsStream(strm)->Read(buffer, length); });
}

int32_t TOVRA_CALL STRM_Write(TOVRA_STRM strm, const void* data, int32_t length) {
    return Guard<int32_t>(0, [&] { return AsStream(strm)->Write(data, length); });
}

unsigned char TOVRA_CALL STRM_Flush(TOVRA_STRM strm) {
    return Guard<unsigned char>(
        0, [&] { return static_cast<unsigned char>(AsStream(strm)->Flush()); });
}

// ---- Frame definitions ------------------------------------------------------------------------
// A null collection, frame or item handle gives 0, null or "" like any other failure.

TOVRA_FRC TOVRA_CALL FRC_Create(const char* file_name) {
    return Guard<TOVRA_FRC>(nullptr, [&] {
        IFrameCollBase* c = CommsFrameCollection::LoadFile(Text(file_name)).release();
        return reinterpret_cast<TOVRA_FRC>(c);
    });
}

void TOVRA_CALL FRC_Delete(TOVRA_FRC frc) {
    delete AsCollection(frc);
}

int32_t TOVRA_CALL FRC_Size(TOVRA_FRC frc) {
    return Guard<int32_t>(0, [&] { return frc ? AsCollection(frc)->Size() : 0; });
}

TOVRA_FRM TOVRA_CALL FRC_GetFrame(TOVRA_FRC frc, int32_t index) {
    return Guard<TOVRA_FRM>(nullptr, [&] {
        IFrameBase* f = frc ? AsCollection(frc)->GetFrame(index) : nullptr;
        return reinterpret_cast<TOVRA_FRM>(f);
    });
}

const char* TOVRA_CALL FRM_GetName(TOVRA_FRM frm) {
    return Guard<const char*>("", [&] { return frm ? AsFrame(frm)->GetName().c_str() : ""; });
}

int32_t TOVRA_CALL FRMmfd_GetId(TOVRA_FRM frm) {
    return Guard<int32_t>(0, [&] { return frm ? AsFrame(frm)->GetId() : 0; });
}

int32_t TOVRA_CALL FRMmfd_GetSize(TOVRA_FRM frm) {
    return Guard<int32_t>(0, [&] { return frm ? AsFrame(frm)->GetSize() : 0; });
}

int32_t TOVRA_CALL FRMmfd_GetNumItems(TOVRA_FRM frm) {
    return Guard<int32_t>(0, [&] { return frm ? AsFrame(frm)->GetNumItems() : 0; });
}

TOVRA_ITEM TOVRA_CALL FRMmfd_GetItem(TOVRA_FRM frm, int32_t index) {
    return Guard<TOVRA_ITEM>(nullptr, [&] {
        IFrameItemBase* i = frm ? AsFrame(frm)->GetItem(index) : nullptr;
        return reinterpret_cast<TOVRA_ITEM>(i);
    });
}

const char* TOVRA_CALL ITEM_GetName(TOVRA_ITEM item) {
    return Guard<const char*>("", [&] { return item ? AsItem(item)->GetName().c_str() : ""; });
}

int32_t TOVRA_CALL ITEM_GetType(TOVRA_ITEM item) {
    return Guard<int32_t>(
        0, [&] { return item ? tovra::FrameValueType(AsItem(item)->GetValue()) : 0; });
}

}  // extern "C"
