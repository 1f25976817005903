// The library's exported functions. Each one converts its arguments, forwards to one operation of
// the object behind the handle and converts the result; handles are the objects' interface
// pointers. No exception leaves an export: anything thrown inside becomes the function's failure
// result (a null handle, 0 or an empty string).
#include "tovra.h"

#include <string>

#include "Frame.h"

namespace {

// Runs an operation, turning any exception into the failure result.
template <typename Result, typename Operation>
Result Guarded(Result onFailure, Operation&& operation) noexcept {
    try {
        return operation();
    } catch (...) {
        return onFailure;
    }
}

const char* const EmptyString = "";

// ---- Frame definitions: handle conversions -----------------------------------------------------

tovra::IFrameCollBase* FromHandle(TOVRA_FRC frc) {
    return reinterpret_cast<tovra::IFrameCollBase*>(frc);
}
tovra::IFrameBase* FromHandle(TOVRA_FRM frm) {
    return reinterpret_cast<tovra::IFrameBase*>(frm);
}
tovra::IFrameItemBase* FromHandle(TOVRA_ITEM item) {
    return reinterpret_cast<tovra::IFrameItemBase*>(item);
}
TOVRA_FRC ToHandle(tovra::IFrameCollBase* frc) {
    return reinterpret_cast<TOVRA_FRC>(frc);
}
TOVRA_FRM ToHandle(tovra::IFrameBase* frm) {
    return reinterpret_cast<TOVRA_FRM>(frm);
}
TOVRA_ITEM ToHandle(tovra::IFrameItemBase* item) {
    return reinterpret_cast<TOVRA_ITEM>(item);
}

}  // namespace

extern "C" {

// ---- Frame definitions
// ---------------------------------------------------------------------------

TOVRA_API TOVRA_FRC TOVRA_CALL FRC_Create(const char* file_name) {
    return Guarded<TOVRA_FRC>(nullptr, [&] {
        auto collection = tovra::CommsFrameCollection::LoadFile(file_name ? file_name : "");
        return ToHandle(static_cast<tovra::IFrameCollBase*>(collection.release()));
    });
}

TOVRA_API void TOVRA_CALL FRC_Delete(TOVRA_FRC frc) {
    Guarded(0, [&] {
        delete FromHandle(frc);
        return 0;
    });
}

TOVRA_API int32_t TOVRA_CALL FRC_Size(TOVRA_FRC frc) {
    return Guarded<int32_t>(0, [&] { return frc ? FromHandle(frc)->Size() : 0; });
}

TOVRA_API TOVRA_FRM TOVRA_CALL FRC_GetFrame(TOVRA_FRC frc, int32_t index) {
    return Guarded<TOVRA_FRM>(
        nullptr, [&] { return frc ? ToHandle(FromHandle(frc)->GetFrame(index)) : nullptr; });
}

TOVRA_API const char* TOVRA_CALL FRM_GetName(TOVRA_FRM frm) {
    return Guarded(EmptyString,
                   [&] { return frm ? FromHandle(frm)->GetName().c_str() : EmptyString; });
}

TOVRA_API int32_t TOVRA_CALL FRMmfd_GetId(TOVRA_FRM frm) {
    return Guarded<int32_t>(0, [&] { return frm ? FromHandle(frm)->GetId() : 0; });
}

TOVRA_API int32_t TOVRA_CALL FRMmfd_GetSize(TOVRA_FRM frm) {
    return Guarded<int32_t>(0, [&] { return frm ? FromHandle(frm)->GetSize() : 0; });
}

TOVRA_API int32_t TOVRA_CALL FRMmfd_GetNumItems(TOVRA_FRM frm) {
    return Guarded<int32_t>(0, [&] { return frm ? FromHandle(frm)->GetNumItems() : 0; });
}

TOVRA_API TOVRA_ITEM TOVRA_CALL FRMmfd_GetItem(TOVRA_FRM frm, int32_t index) {
    return Guarded<TOVRA_ITEM>(
        nullptr, [&] { return frm ? ToHandle(FromHandle(frm)->GetItem(index)) : nullptr; });
}

TOVRA_API const char* TOVRA_CALL ITEM_GetName(TOVRA_ITEM item) {
    return Guarded(EmptyString,
                   [&] { return item ? FromHandle(item)->GetName().c_str() : EmptyString; });
}

TOVRA_API int32_t TOVRA_CALL ITEM_GetType(TOVRA_ITEM item) {
    return Guarded<int32_t>(
        0, [&] { return item ? tovra::FrameValueType(FromHandle(item)->GetValue()) : 0; });
}

}  // extern "C"
