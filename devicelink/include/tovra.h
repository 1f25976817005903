/*
 * tovra.h - the public interface of the Tovra device-link library.
 *
 * Tovra finds Vantor detectors among the machine's HID interfaces, opens one as a framed link
 * and reads and writes the detector's numbered parameters over it. It also carries numbered data
 * streams over an open link and reads frame definitions (record layouts) from XML files.
 *
 * A connection, call by call:
 *   DVE_Create, DVE_GetNumDevices, DVE_GetDeviceName(dve, 0)   find the detector
 *   DEV_Create, DEV_Open(dev, path, "")                        a device, its reader paused
 *   DVE_Delete(dve)                                            the device copied the path
 *   DEV_Resume(dev)                                            the reader runs: replies arrive
 *   DEV_GetParameter / DEV_SetParameter, time-out 1500 ms      each blocks: reply or time-out
 *   DEV_Delete(dev)                                            reader stopped, device closed
 * Replies are taken off the link only by the device's reader thread, which DEV_Create makes
 * paused. Until DEV_Resume lets it run no reply can arrive: a DEV_GetParameter right after
 * DEV_Open waits out its whole time-out and returns 0.
 *
 * Handles and ownership
 *  - Handles are opaque pointers to library objects. A handle made by DVE_Create, DEV_Create or
 *    FRC_Create belongs to the caller until it is passed to DVE_Delete, DEV_Delete or
 *    FRC_Delete; it is invalid afterwards. Stream handles belong to their device, frame and item
 *    handles to their collection: the caller never frees them.
 *  - Strings passed in are copied before the call returns; a null string counts as "".
 *    Strings handed out are NUL-terminated, owned by the object that returned them, valid until
 *    that object is deleted, and never null (an empty name is "").
 *  - Buffers passed in stay the caller's; the library reads or fills them during the call only.
 *
 * Results
 *  - A "truth byte" is 1 for success and 0 for failure; test that byte only.
 *  - No function throws, logs or sets a global error code: the results are the only report.
 *
 * Blocking. Each function below says the longest it may block the calling thread. The waits
 * that make it up:
 *  - Writing: outgoing bytes are packed into the device's fixed-length HID output reports.
 *    Every report that fills, and every flush, is written at once and may wait up to 300 ms for
 *    the device to take it. A short frame (a read request, a command) is one report; a long one
 *    fills several (a 292-byte parameter write: five, on reports of 64 bytes).
 *  - Parameter calls wait up to their time-out for the reply. After a request on the same device
 *    went unanswered (or was answered wrongly), the next call first waits until nothing at all
 *    has arrived for about 500 ms, so that a late reply to the old request is not taken for the
 *    new one; a link that keeps sending fails the call unsent after 500 ms plus its time-out.
 *    Before each request, whatever arrived earlier is dropped, a frame half received included.
 *  - The reader thread waits up to a second per HID read while nothing arrives. DEV_Pause takes
 *    effect at once (what that read brings is held back until DEV_Resume), and DEV_Delete wakes
 *    it at once.
 * Nothing else waits on the detector, and no call holds a lock of the library while it waits:
 * the reader thread keeps filling the receive queues meanwhile.
 *
 * Threads
 *  - Each opened device has one reader thread inside the library. It alone reads the HID
 *    interface; it fills the receive queues of the device's channels and streams.
 *  - The calls on one device and on its streams must not overlap: make them from one thread at
 *    a time (the library does not serialise them). DEV_Delete, above all, must not run while
 *    another thread is inside a call on that device or one of its streams.
 *  - Different devices, enumerators and collections are independent and may be used from
 *    different threads at once.
 *
 * Arguments out of range
 *  - Null handles: the three delete functions ignore one, and the frame-definition getters
 *    answer it with 0, null or "". Every other function needs a live handle of its own kind and
 *    does not check it.
 *  - A negative size or length, or a null buffer with a positive size, is refused at once: the
 *    function returns 0 (or null), sends nothing and waits for nothing.
 *  - Each function says what it does with an index, a stream number or a time-out outside its
 *    range.
 */
#ifndef TOVRA_H
#define TOVRA_H

#include <stdint.h>

/* The library's version; the shared library's file name carries the same numbers
 * (libtovra.so.MAJOR.MINOR.PATCH). Usable in #if. */
#define TOVRA_VERSION_MAJOR 1
#define TOVRA_VERSION_MINOR 0
#define TOVRA_VERSION_PATCH 2

#if defined(_WIN32) && !defined(_WIN64)
#define TOVRA_CALL __stdcall
#else
#define TOVRA_CALL
#endif

/* Callers on Windows need no import declaration: the import library serves a plain one, and the
 * same code then also links the library's static build. */
#if defined(_WIN32) && defined(TOVRA_BUILDING)
#define TOVRA_API __declspec(dllexport)
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

/* Lists the attached detectors once and keeps the list: every HID interface with vendor id
 * 0x2F1A, whatever its product id, that can be opened for reading and writing. Entry 0 is the
 * interface the platform lists last.
 * Returns: the enumerator, the caller's until DVE_Delete; null only when memory runs out.
 * Blocks: only while each HID interface is opened and its ids are read; no detector is sent
 *   anything. */
TOVRA_API TOVRA_DVE TOVRA_CALL DVE_Create(void);

/* Returns: the number of detectors in the list, 0 when none is attached. Never blocks. */
TOVRA_API int32_t TOVRA_CALL DVE_GetNumDevices(TOVRA_DVE dve);

/* Returns: the device path of entry index, as DEV_Open accepts it; "" for an index outside
 *   0..count-1. Owned by the enumerator and valid until DVE_Delete; DEV_Open keeps its own copy.
 * Never blocks. */
TOVRA_API const char* TOVRA_CALL DVE_GetDeviceName(TOVRA_DVE dve, int32_t index);

/* Destroys the enumerator and its strings; devices opened from its paths are not affected.
 * Null is ignored. Returns 1. Never blocks. */
TOVRA_API int32_t TOVRA_CALL DVE_Delete(TOVRA_DVE dve);

/* ---- Device ------------------------------------------------------------------------------- */

/* Makes a closed device whose reader thread exists but is paused (pause count 1).
 * Returns: the device, the caller's until DEV_Delete (also after a failed DEV_Open); null only
 *   when memory or threads run out. Never blocks. */
TOVRA_API TOVRA_DEV TOVRA_CALL DEV_Create(void);

/* Opens the HID interface at path for this device alone, sets up the control channel 0 and the
 * parameter channel 127, sends zero-filled output reports enough to end any frame the detector
 * was left half-way through by an earlier connection (505 zero bytes: 8 reports of 64), and,
 * when login is not empty, the two login frames "login\r" and login + "\r" (nothing is
 * awaited; they do not change the result).
 * One connection at a time: the interface stays held until DEV_Delete (an exclusive advisory
 *   lock of the node on Linux, an open without sharing on Windows). Another DEV_Open of it, in
 *   this program or another, returns 0 at once and sends nothing.
 * Returns: 1 when the interface was opened; 0 when it cannot be opened (missing, no permission,
 *   not a usable HID interface, held by another connection): the device stays closed and still
 *   needs DEV_Delete. A second DEV_Open on the same device returns 0, sends nothing and keeps
 *   the first connection.
 * Ownership: path and login are copied; null counts as "".
 * Blocks: while the interface is opened and the zero fill and login are written: up to 300 ms
 *   per output report the device is slow to take (the zero fill stops at the first report not
 *   taken).
 * Afterwards the reader is still paused: call DEV_Resume before any parameter call. */
TOVRA_API unsigned char TOVRA_CALL DEV_Open(TOVRA_DEV dev, const char* path, const char* login);

/* Adds 1 to the reader thread's pause count. From then on, until the count is back at 0,
 * arriving reports reach no stream: they wait in the HID driver's queue, or, for the read under
 * way when the pause came, inside the library. Returns 1. Never blocks. */
TOVRA_API int32_t TOVRA_CALL DEV_Pause(TOVRA_DEV dev);

/* Takes 1 from the pause count when it is above 0 (extra calls change nothing); the reader runs
 * while the count is 0. Needed once after DEV_Open, since a device is made paused. Returns 1.
 * Never blocks. */
TOVRA_API int32_t TOVRA_CALL DEV_Resume(TOVRA_DEV dev);

/* Writes parameter id: sends [id, 0x01, the size value bytes] as one frame on the parameter
 * channel and waits for the one-byte acknowledgement.
 * Returns: 1 when the detector acknowledged with 0x01 and nothing more. 0 when it refused (as
 *   soon as the refusal arrives), when no acknowledgement came within timeout ms, when more
 *   than the one byte came, when the arguments are refused, and at once when the request could
 *   not be written, when the device is gone and on a device that is not open.
 * Ownership: data is read during the call only.
 * Blocks: up to timeout ms, the request's reports included; plus up to about 500 ms of settling
 *   after an unanswered request (see Blocking above). A report the device is slow to take may
 *   still wait its 300 ms when less of the time-out is left.
 * Needs: an opened and resumed device; on a paused one the call waits out its time-out.
 * Arguments: id: its low 8 bits. size 0: a request without a value (valid). size < 0, or data
 *   null with size > 0: 0 at once, nothing sent. A size above 498 makes a frame longer than the
 *   detector accepts (500 payload bytes): it is never acknowledged. timeout 0: the request is
 *   sent but the reply is looked for only once, right away, so in practice the call returns 0
 *   at once. */
TOVRA_API unsigned char TOVRA_CALL DEV_SetParameter(TOVRA_DEV dev, int32_t id, const void* data,
                                                    int32_t size, uint32_t timeout);

/* Reads parameter id: sends the read request [id, 0x00] on the parameter channel and waits for
 * the acknowledgement followed by exactly size value bytes, under one deadline.
 * Returns: 1 when the acknowledgement was 0x01 and all size bytes arrived within timeout ms. 0
 *   on a refusal (as soon as it arrives), a time-out, a short reply or a longer one than asked
 *   (the rest of it is discarded); at once when the request could not be written or the device
 *   is gone, when the arguments are refused, and on a device that is not open.
 * Ownership: buffer (size bytes) stays the caller's; only value bytes that arrived are written
 *   into it, so after a 0 it holds those that had arrived and the rest is unchanged.
 * Blocks: as DEV_SetParameter: up to timeout ms, plus the settling after an unanswered request.
 * Needs: an opened and resumed device. Right after DEV_Open, before DEV_Resume, the call waits
 *   out its whole time-out and returns 0.
 * Arguments: id: its low 8 bits. size 0: 1 as soon as an acknowledgement 0x01 arrives; a
 *   value that follows it is dropped, and the next call waits for the link to settle as after
 *   an unanswered request. size < 0, or buffer null with size > 0: 0 at once, nothing sent.
 *   timeout 0: the request is sent, the reply is looked for only once, right away, so in
 *   practice the call returns 0 at once. */
TOVRA_API unsigned char TOVRA_CALL DEV_GetParameter(TOVRA_DEV dev, int32_t id, void* buffer,
                                                    int32_t size, uint32_t timeout);

/* How a parameter request ended, as DEV_GetParameterResult tells it. */
#define TOVRA_PARAM_ACCEPTED 0  /* acknowledged with 0x01 and, for a read, the whole value */
#define TOVRA_PARAM_REFUSED 1   /* answered with one acknowledgement byte other than 0x01 */
#define TOVRA_PARAM_NO_ANSWER 2 /* nothing arrived before the deadline */
#define TOVRA_PARAM_MALFORMED 3 /* a reply short at the deadline, or longer than asked */
#define TOVRA_PARAM_NOT_SENT 4  /* the request could not be sent whole */
#define TOVRA_PARAM_LINK_GONE 5 /* the transport reports the device gone */

/* How the newest DEV_SetParameter or DEV_GetParameter on this device ended, for a caller that
 * must tell a refusal from silence and from a link that is gone. The truth bytes of those calls
 * are not affected by it.
 * Returns: one of the TOVRA_PARAM_ codes above; TOVRA_PARAM_NOT_SENT before the first request
 *   and on a device that is not open.
 * Blocks: never. */
TOVRA_API int32_t TOVRA_CALL DEV_GetParameterResult(TOVRA_DEV dev);

/* Sends length bytes of text as one frame on the control channel, then the pending report.
 * Nothing is awaited: the reader need not run.
 * Returns: the payload bytes accepted: length, or fewer when the device stopped taking reports;
 *   0 when the frame header was refused and for length 0 (an empty frame is still sent).
 *   length < 0, or text null with length > 0, or a device that is not open: 0, nothing sent.
 * Ownership: text is read during the call only.
 * Blocks: up to 300 ms per output report the device is slow to take. */
TOVRA_API int32_t TOVRA_CALL DEV_SendString(TOVRA_DEV dev, const char* text, int32_t length);

/* Copies what has arrived on the control channel into buffer, across frame boundaries: at most
 * size-1 bytes, then a NUL. Never waits; nothing arrives unless the device is resumed.
 * Returns: the bytes stored before the NUL, 0 when nothing has arrived. size 1 stores only the
 *   NUL (and drops an empty frame at the front of the queue). On a device that is not open: the
 *   NUL only. size < 1 or buffer null: 0, nothing written. */
TOVRA_API int32_t TOVRA_CALL DEV_ReceiveString(TOVRA_DEV dev, char* buffer, int32_t size);

/* Opens data stream number (0..254), carried on channel number+1, and sends "data <number>\r"
 * on the control channel. reserved is ignored. May be called while the reader runs.
 * Returns: the stream, owned by the device: valid until DEV_CloseStream(dev, number) or
 *   DEV_Delete(dev), never freed by the caller. Null for a device that is not open or a number
 *   outside 0..254; nothing is sent then.
 * Blocks: up to 300 ms for the command's report.
 * Number 126 is carried on channel 127, the parameter channel: while it is open, parameter
 * replies go to the stream and every DEV_SetParameter and DEV_GetParameter waits out its
 * time-out; DEV_CloseStream(dev, 126) gives the channel back to them. Opening a number that
 * is open already makes a new stream for it; the earlier handle stays valid until DEV_Delete
 * but receives nothing more. */
TOVRA_API TOVRA_STRM TOVRA_CALL DEV_OpenStream(TOVRA_DEV dev, int32_t number, int32_t reserved);

/* Destroys the stream of number, if one is open (its handle is invalid from then on and its
 * unread frames are freed), then sends "clear <number>\r", whether a stream was open or not.
 * Returns: 1 when the command's report was sent; 0 when it was not, and for a device that is
 *   not open or a number outside 0..254 (nothing done then).
 * Blocks: up to 300 ms for the command's report. */
TOVRA_API unsigned char TOVRA_CALL DEV_CloseStream(TOVRA_DEV dev, int32_t number);

/* Stops the reader thread, destroys every stream (handles from DEV_OpenStream become invalid,
 * unread frames are freed), closes the HID interface (another connection may then open it) and
 * frees the device. Nothing is sent to the detector. Null is ignored. Returns 1.
 * Blocks: returns within a few milliseconds, also on a paused device: the stop wakes a reader
 * that is waiting for a report at once. No other call may be running on the device or its
 * streams, on any thread. */
TOVRA_API int32_t TOVRA_CALL DEV_Delete(TOVRA_DEV dev);

/* ---- Stream ------------------------------------------------------------------------------- */
/* A stream handle follows its device's thread rule (see Threads above) and is valid from
 * DEV_OpenStream until DEV_CloseStream of its number or DEV_Delete of its device. Received
 * frames wait in the stream's queue until read; the queue keeps the newest 100 frames, older
 * unread ones are dropped. Nothing arrives while the device is paused. */

/* Copies up to length received bytes into buffer, across frame boundaries. Never waits: poll.
 * Returns: the bytes copied, 0 when nothing has arrived. A frame without payload ends the read
 *   that reaches it (and is used up). length < 0, or buffer null with length > 0: 0, nothing
 *   taken. */
TOVRA_API int32_t TOVRA_CALL STRM_Read(TOVRA_STRM strm, void* buffer, int32_t length);

/* Writes length bytes as one frame on the stream's channel. It leaves as the reports it fills
 * are sent, the rest with STRM_Flush. The detector accepts frames of at most 500 payload bytes.
 * Returns: the payload bytes accepted; 0 when the header was refused and for length 0 (an empty
 *   frame is still written). length < 0 or above 65535, or data null with length > 0: 0,
 *   nothing written.
 * Blocks: up to 300 ms per report that fills and that the device is slow to take. */
TOVRA_API int32_t TOVRA_CALL STRM_Write(TOVRA_STRM strm, const void* data, int32_t length);

/* Sends the pending report, zero-filled, even when nothing is pending.
 * Returns: 1 when the whole report was sent. Blocks: up to 300 ms. */
TOVRA_API unsigned char TOVRA_CALL STRM_Flush(TOVRA_STRM strm);

/* ---- Frame definitions -------------------------------------------------------------------- */
/* A collection never changes after FRC_Create. Its frames, items and names are borrowed: valid
 * until FRC_Delete of the collection. A null collection, frame or item handle gives 0, null or
 * "". None of these functions blocks, except FRC_Create while it reads the file. */

/* Loads the frame definitions of an XML file (a FRAME_COLLECTION element holding FRAME elements
 * holding ITEM elements), reading the whole file during the call.
 * Returns: the collection, the caller's until FRC_Delete; null when file_name (null counts as
 *   "") is not a regular file, cannot be read or parsed, or has no FRAME_COLLECTION element. */
TOVRA_API TOVRA_FRC TOVRA_CALL FRC_Create(const char* file_name);

/* Destroys the collection with its frames, items and names. Null is ignored. */
TOVRA_API void TOVRA_CALL FRC_Delete(TOVRA_FRC frc);

/* Number of frames in the collection. */
TOVRA_API int32_t TOVRA_CALL FRC_Size(TOVRA_FRC frc);

/* Frame index in document order (borrowed), or null for an index outside 0..size-1. */
TOVRA_API TOVRA_FRM TOVRA_CALL FRC_GetFrame(TOVRA_FRC frc, int32_t index);

/* The frame's name ("" when it has none). */
TOVRA_API const char* TOVRA_CALL FRM_GetName(TOVRA_FRM frm);

/* The frame's id (0 when missing, not a decimal integer, or outside 32 bits). */
TOVRA_API int32_t TOVRA_CALL FRMmfd_GetId(TOVRA_FRM frm);

/* Sum of the frame's item sizes in bytes. */
TOVRA_API int32_t TOVRA_CALL FRMmfd_GetSize(TOVRA_FRM frm);

/* Number of items of the frame. */
TOVRA_API int32_t TOVRA_CALL FRMmfd_GetNumItems(TOVRA_FRM frm);

/* Item index in document order (borrowed), or null for an index outside 0..count-1. */
TOVRA_API TOVRA_ITEM TOVRA_CALL FRMmfd_GetItem(TOVRA_FRM frm, int32_t index);

/* The item's name ("" when it has none). */
TOVRA_API const char* TOVRA_CALL ITEM_GetName(TOVRA_ITEM item);

/* The item's type code: 17 byte, 2 short, 3 long, 4 float, 5 double, 0 unrecognised. */
TOVRA_API int32_t TOVRA_CALL ITEM_GetType(TOVRA_ITEM item);

#ifdef __cplusplus
}
#endif

#endif /* TOVRA_H */
