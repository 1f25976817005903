/*
 * tovra.h - the public interface of the Tovra device-link library.
 *
 * Tovra finds Vantor detectors among the machine's HID interfaces, opens one as a framed link
 * and reads and writes the detector's numbered parameters over it. It also carries numbered data
 * streams over an open link and reads frame definitions (record layouts) from XML files.
 *
 * Conventions that hold for every function below:
 *  - Handles are opaque pointers to library objects. A handle made by DVE_Create, DEV_Create or
 *    FRC_Create belongs to the caller until it is passed to DVE_Delete, DEV_Delete or FRC_Delete;
 *    it is invalid afterwards. Stream handles belong to their device, frame and item handles to
 *    their collection: the caller never frees them.
 *  - A "truth byte" is 1 for success and 0 for failure; test that byte only.
 *  - Strings passed in are copied before the call returns; a null string counts as "".
 *    Strings handed out are NUL-terminated, owned by the object that returned them, valid until
 *    that object is deleted, and never null (an empty name is "").
 *  - The three delete functions accept a null handle and do nothing. Every other function needs a
 *    valid handle of its own kind.
 *  - No function throws, logs or sets a global error code: the results are the only report.
 *  - Calls on one device come from one caller thread at a time; different devices are
 *    independent. Each opened device runs a reader thread of its own inside the library.
 */
#ifndef TOVRA_H
#define TOVRA_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TOVRA_CALL __stdcall
#else
#define TOVRA_CALL
#endif

#if defined(_WIN32)
#if defined(TOVRA_BUILDING)
#define TOVRA_API __declspec(dllexport)
#else
#define TOVRA_API __declspec(dllimport)
#endif
#elif defined(TOVRA_BUILDING)
#define TOVRA_API __attribute__((visibility("default")))
#else
#define TOVRA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TovraEnumHandle_* TOVRA_DVE;      /* enumerator of attached detectors */
typedef struct TovraDeviceHandle_* TOVRA_DEV;    /* one detector link */
typedef struct TovraStreamHandle_* TOVRA_STRM;   /* a data stream of an open link */
typedef struct TovraFrameCollHandle_* TOVRA_FRC; /* a collection of frame definitions */
typedef struct TovraFrameHandle_* TOVRA_FRM;     /* one frame definition (borrowed) */
typedef struct TovraItemHandle_* TOVRA_ITEM;     /* one item of a frame definition (borrowed) */

/* ---- Enumerator --------------------------------------------------------------------------- */

/* Lists the attached detectors (HID interfaces with vendor id 0x2F1A) once and keeps the list.
 * Entry 0 is the interface the platform lists last. Returns null only when memory runs out. */
TOVRA_API TOVRA_DVE TOVRA_CALL DVE_Create(void);

/* Number of detectors in the list (0 when none is attached). */
TOVRA_API int32_t TOVRA_CALL DVE_GetNumDevices(TOVRA_DVE dve);

/* Device path of entry index, as DEV_Open accepts it; "" for an index outside 0..count-1.
 * Owned by the enumerator. */
TOVRA_API const char* TOVRA_CALL DVE_GetDeviceName(TOVRA_DVE dve, int32_t index);

/* Destroys the enumerator and its strings. Null is ignored. Always returns 1. */
TOVRA_API int32_t TOVRA_CALL DVE_Delete(TOVRA_DVE dve);

/* ---- Device ------------------------------------------------------------------------------- */

/* Makes a closed device whose reader thread exists but is paused. Null only when memory runs
 * out. */
TOVRA_API TOVRA_DEV TOVRA_CALL DEV_Create(void);

/* Opens the device path, sets up the control channel 0 and the parameter channel 127, and sends
 * the login frames when login is not empty. Call at most once per device. Truth byte; on failure
 * the device stays closed and must still be deleted. The reader is still paused afterwards. */
TOVRA_API unsigned char TOVRA_CALL DEV_Open(TOVRA_DEV dev, const char* path, const char* login);

/* Adds 1 to the reader thread's pause count. Always returns 1. */
TOVRA_API int32_t TOVRA_CALL DEV_Pause(TOVRA_DEV dev);

/* Takes 1 from the pause count when it is above 0; the reader runs while the count is 0.
 * Always returns 1. */
TOVRA_API int32_t TOVRA_CALL DEV_Resume(TOVRA_DEV dev);

/* Writes size bytes of data to parameter id (low 8 bits) and waits up to timeout ms for the
 * acknowledgement. Blocks the caller. Truth byte: 1 when the detector answered 0x01. */
TOVRA_API unsigned char TOVRA_CALL DEV_SetParameter(TOVRA_DEV dev, int32_t id, const void* data,
                                                    int32_t size, uint32_t timeout);

/* Reads size bytes of parameter id (low 8 bits) into buffer, waiting up to timeout ms for the
 * whole reply. Blocks the caller. Truth byte; after a failure the buffer holds the value bytes
 * that had arrived, the rest unchanged. */
TOVRA_API unsigned char TOVRA_CALL DEV_GetParameter(TOVRA_DEV dev, int32_t id, void* buffer,
                                                    int32_t size, uint32_t timeout);

/* How the newest DEV_SetParameter or DEV_GetParameter on this device ended, for a caller that
 * must tell a refusal from silence and from a link that is gone. The truth bytes above are not
 * affected by it. TOVRA_PARAM_NOT_SENT before the first request and on a device not open. */
#define TOVRA_PARAM_ACCEPTED 0  /* acknowledged with 0x01 and, for a read, the whole value */
#define TOVRA_PARAM_REFUSED 1   /* answered with one acknowledgement byte other than 0x01 */
#define TOVRA_PARAM_NO_ANSWER 2 /* nothing arrived before the deadline */
#define TOVRA_PARAM_MALFORMED 3 /* a reply short at the deadline, or longer than the request asks */
#define TOVRA_PARAM_NOT_SENT 4  /* the request could not be sent whole */
#define TOVRA_PARAM_LINK_GONE 5 /* the transport reports the device gone */
TOVRA_API int32_t TOVRA_CALL DEV_GetParameterResult(TOVRA_DEV dev);

/* Writes length bytes as one frame on the control channel and sends the pending report.
 * Returns the payload bytes accepted (0 when the frame header was refused). */
TOVRA_API int32_t TOVRA_CALL DEV_SendString(TOVRA_DEV dev, const char* text, int32_t length);

/* Copies what has arrived on the control channel, without waiting, into buffer: at most size-1
 * bytes followed by a NUL. Returns the bytes stored (0 when size < 1, and then nothing is
 * written). */
TOVRA_API int32_t TOVRA_CALL DEV_ReceiveString(TOVRA_DEV dev, char* buffer, int32_t size);

/* Opens data stream number (0..254) on channel number+1 and sends "data <number>\r".
 * The third argument is ignored. Returns the stream (owned by the device) or null, for a closed
 * device or a number outside 0..254. */
TOVRA_API TOVRA_STRM TOVRA_CALL DEV_OpenStream(TOVRA_DEV dev, int32_t number, int32_t reserved);

/* Destroys the stream of channel number+1 (if any) and sends "clear <number>\r". Truth byte: the
 * command was sent; 0 for a closed device or a number outside 0..254. */
TOVRA_API unsigned char TOVRA_CALL DEV_CloseStream(TOVRA_DEV dev, int32_t number);

/* Stops the reader thread, destroys every stream and closes the device. Null is ignored.
 * Always returns 1. */
TOVRA_API int32_t TOVRA_CALL DEV_Delete(TOVRA_DEV dev);

/* ---- Stream ------------------------------------------------------------------------------- */

/* Copies up to length received bytes into buffer without waiting; reads cross frame
 * boundaries. Returns the bytes copied, 0 when nothing has arrived. */
TOVRA_API int32_t TOVRA_CALL STRM_Read(TOVRA_STRM strm, void* buffer, int32_t length);

/* Writes length bytes as one frame on the stream's channel; it leaves with the next full report
 * or STRM_Flush. Returns the payload bytes accepted, 0 when the header was refused. */
TOVRA_API int32_t TOVRA_CALL STRM_Write(TOVRA_STRM strm, const void* data, int32_t length);

/* Sends the pending report. Truth byte: the whole report was sent. */
TOVRA_API unsigned char TOVRA_CALL STRM_Flush(TOVRA_STRM strm);

/* ---- Frame definitions -------------------------------------------------------------------- */

/* Loads the frame definitions of an XML file (a FRAME_COLLECTION element holding FRAME elements
 * holding ITEM elements). Returns the collection, or null when the file cannot be read or
 * parsed or has no FRAME_COLLECTION element. */
TOVRA_API TOVRA_FRC TOVRA_CALL FRC_Create(const char* file_name);

/* Destroys the collection with its frames, items and names. Null is ignored. */
TOVRA_API void TOVRA_CALL FRC_Delete(TOVRA_FRC frc);

/* Number of frames in the collection. */
TOVRA_API int32_t TOVRA_CALL FRC_Size(TOVRA_FRC frc);

/* Frame index in document order (borrowed), or null for an index out of range. */
TOVRA_API TOVRA_FRM TOVRA_CALL FRC_GetFrame(TOVRA_FRC frc, int32_t index);

/* The frame's name ("" when it has none). */
TOVRA_API const char* TOVRA_CALL FRM_GetName(TOVRA_FRM frm);

/* The frame's id (0 when missing or not an integer). */
TOVRA_API int32_t TOVRA_CALL FRMmfd_GetId(TOVRA_FRM frm);

/* Sum of the frame's item sizes in bytes. */
TOVRA_API int32_t TOVRA_CALL FRMmfd_GetSize(TOVRA_FRM frm);

/* Number of items of the frame. */
TOVRA_API int32_t TOVRA_CALL FRMmfd_GetNumItems(TOVRA_FRM frm);

/* Item index in document order (borrowed), or null for an index out of range. */
TOVRA_API TOVRA_ITEM TOVRA_CALL FRMmfd_GetItem(TOVRA_FRM frm, int32_t index);

/* The item's name ("" when it has none). */
TOVRA_API const char* TOVRA_CALL ITEM_GetName(TOVRA_ITEM item);

/* The item's type code: 17 byte, 2 short, 3 long, 4 float, 5 double, 0 unrecognised. */
TOVRA_API int32_t TOVRA_CALL ITEM_GetType(TOVRA_ITEM item);

#ifdef __cplusplus
}
#endif

#endif /* TOVRA_H */
