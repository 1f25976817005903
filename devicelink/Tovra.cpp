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

// Runs an operation on the object behind a handle, seen through its interface; a null handle
// gives the failure result as well.
template <typename Interface, typename Handle, typename Result, typename Operation>
Result Forward(Handle handle, Result onFailure, Operation&& operation) noexcept {
    if (handle == nullptr) {
        return onFailure;
    }
    return Guarded(onFailure, [&] { return operation(reinterpret_cast<Interface*>(handle)); });
}

// The handle of an object, given as its interface pointer.
template <typename Handle, typename Interface>
Handle ToHandle(Interface* object) {
    return reinterpret_cast<Handle>(object);
}

const char* const EmptyString = "";

}  // namespace

extern "C" {

// ---- Frame definitions -------------------------------------------------------------------------

TOVRA_API TOVRA_FRC TOVRA_CALL FRC_Create(const char* file_name) {
    return Guarded(TOVRA_FRC{}, [&] {
        auto collection = tovra::CommsFrameCollection::LoadFile(file_name ? file_name : "");
        return ToHandle<TOVRA_FRC, tovra::IFrameCollBase>(collection.release());
    });
}

TOVRA_API void TOVRA_CALL FRC_Delete(TOVRA_FRC frc) {
    Forward<tovra::IFrameCollBase>(frc, 0, [](auto* collection) {
        delete collection;
        return 0;
    });
}

TOVRA_API int32_t TOVRA_CALL FRC_Size(TOVRA_FRC frc) {
    return Forward<tovra::IFrameCollBase>(frc, int32_t{0},
                                          [](auto* collection) { return collection->Size(); });
}

TOVRA_API TOVRA_FRM TOVRA_CALL FRC_GetFrame(TOVRA_FRC frc, int32_t index) {
    return Forward<tovra::IFrameCollBase>(frc, TOVRA_FRM{}, [index](auto* collection) {
        return ToHandle<TOVRA_FRM>(collection->GetFrame(index));
    });
}

TOVRA_API const char* TOVRA_CALL FRM_GetName(TOVRA_FRM frm) {
    return Forward<tovra::IFrameBase>(frm, EmptyString,
                                      [](auto* frame) { return frame->GetName().c_str(); });
}

TOVRA_API int32_t TOVRA_CALL FRMmfd_GetId(TOVRA_FRM frm) {
    return Forward<tovra::IFrameBase>(frm, int32_t{0}, [](auto* frame) { return frame->GetId(); });
}

TOVRA_API int32_t TOVRA_CALL FRMmfd_GetSize(TOVRA_FRM frm) {
    return Forward<tovra::IFrameBase>(frm, int32_t{0},
                                      [](auto* frame) { return frame->GetSize(); });
}

TOVRA_API int32_t TOVRA_CALL FRMmfd_GetNumItems(TOVRA_FRM frm) {
    return Forward<tovra::IFrameBase>(frm, int32_t{0},
                                      [](auto* frame) { return frame->GetNumItems(); });
}

TOVRA_API TOVRA_ITEM TOVRA_CALL FRMmfd_GetItem(TOVRA_FRM frm, int32_t index) {
    return Forward<tovra::IFrameBase>(frm, TOVRA_ITEM{}, [index](auto* frame) {
        return ToHandle<TOVRA_ITEM>(frame->GetItem(index));
    });
}

TOVRA_API const char* TOVRA_CALL ITEM_GetName(TOVRA_ITEM item) {
    return Forward<tovra::IFrameItemBase>(
        item, EmptyString, [](auto* frameItem) { return frameItem->GetName().c_str(); });
}

TOVRA_API int32_t TOVRA_CALL ITEM_GetType(TOVRA_ITEM item) {
    return Forward<tovra::IFrameItemBase>(item, int32_t{0}, [](auto* frameItem) {
        return tovra::FrameValueType(frameItem->GetValue());
    });
}

}  // extern "C"
