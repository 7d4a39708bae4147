// SPDX-License-Identifier: Apache-2.0
// The public C interface of libOrvane_api.so: status codes, records, callbacks and the TFCM_* functions.
#ifndef ORVANE_API_H
#define ORVANE_API_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#define ORVANE_API __attribute__((visibility("default")))

/* Compile-time layout checks. Strict C99 has no _Static_assert, so it gets the classic
 * negative-array typedef, which checks the same conditions. */
#define TF_ASSERT_CONCAT_(a, b) a##b
#define TF_ASSERT_CONCAT(a, b) TF_ASSERT_CONCAT_(a, b)
#if defined(__cplusplus)
#define TF_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define TF_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
#define TF_STATIC_ASSERT(cond, msg) typedef char TF_ASSERT_CONCAT(tf_layout_check_, __LINE__)[(cond) ? 1 : -1]
#endif

/* In C++ the enumerations get a fixed 32-bit base, so any value a C caller passes is a valid
 * value of the type (C already treats them as plain int). */
#if defined(__cplusplus)
#define TF_ENUM_BASE : int32_t
#else
#define TF_ENUM_BASE
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------------------
 * Status codes. Every function returns int (32 bits): 0 on success, a negative code on failure.
 * Internal codes in -107...-101 and -19...0 are passed through unchanged (so values such as -2
 * or -11 can also appear); any other internal failure is reported as TF_ERROR_OTHER.
 * ------------------------------------------------------------------------------------------- */
typedef enum TfReturnStatus TF_ENUM_BASE
{
    TF_OK = 0,
    TF_ERROR_DEVICE_NOT_FOUND = -1,     /**< camera removed, unknown URI, or a frame read while stopped */
    TF_ERROR_NOT_CONNECTED_STREAM = -2, /**< the stream's connection is down */
    TF_ERROR_INVALID_HANDLE = -3,       /**< null handle, handle not open, or camera without session */
    TF_ERROR_NO_FRAME_MODE = -4,        /**< frame type has no frame mode / frame not ready */
    TF_ERROR_NO_FRAME_DATA = -5,        /**< depth frame carries no data */
    TF_ERROR_GET_PROPERTY_KEY = -6,     /**< unknown key for TFCM_GetProperty */
    TF_ERROR_SET_PROPERTY_KEY = -7,     /**< unknown key for TFCM_SetProperty */
    TF_ERROR_PROPERTY_NULL = -8,        /**< property value or size pointer is null */
    TF_ERROR_DEPTH_RANGE = -10,         /**< depth range not in the camera's list */
    TF_ERROR_FRAME_TIMEOUT = -11,       /**< no frame within the wait time */
    TF_ERROR_NULL_POINTER = -12,        /**< a required pointer argument is null */
    TF_ERROR_NOT_CONNECTED = -13,       /**< camera not connected, or a stream/range request failed */
    TF_ERROR_SENSOR_TYPE = -14,         /**< sensor type other than TF_SENSOR_TOF / TF_SENSOR_COLOR */
    TF_ERROR_INVALID_ARGUMENT = -15,    /**< value out of range, wrong size, table not ready, ... */
    TF_ERROR_UPGRADE_REJECTED = -16,    /**< firmware image refused (version, type) or upgrade unsupported */
    TF_ERROR_UPGRADE_FILE = -17,        /**< firmware image unreadable or inconsistent */
    TF_ERROR_UPGRADE_PATH_TOO_LONG = -18, /**< firmware path longer than 260 characters */
    TF_ERROR_UPGRADE_NO_CALLBACK = -19,   /**< no upgrade status callback registered */
    TF_ERROR_ALREADY_INITIALIZED = -101,  /**< TFCM_Initialize called twice */
    TF_ERROR_NOT_INITIALIZED = -102,      /**< TFCM_Shutdown without TFCM_Initialize */
    TF_ERROR_ALREADY_OPENED = -103,       /**< camera already opened */
    TF_ERROR_TRANSPORT = -104,            /**< command connection failed */
    TF_ERROR_NOT_CONFIRMED = -105,        /**< the camera did not confirm the setting in time */
    TF_ERROR_STREAMING = -107,            /**< setting refused while the stream runs */
    TF_ERROR_OTHER = -255 /**< any other failure, or an operation the camera does not support */
} TfReturnStatus;

/* ---------------------------------------------------------------------------------------------
 * Device handle: opaque; created by the open functions, freed by TFCM_CloseDevice.
 * ------------------------------------------------------------------------------------------- */
typedef struct Device Device;
typedef Device *TfDeviceHandle;

/* ---------------------------------------------------------------------------------------------
 * Enumerations (all 32 bits wide where they are stored in records).
 * ------------------------------------------------------------------------------------------- */
typedef enum TfDeviceType TF_ENUM_BASE
{
    TF_DEVICE_KR52LITE = 520,
    TF_DEVICE_KR52CLITE = 521,
    TF_DEVICE_TYPE_522 = 522, /**< valid type without a model string */
    TF_DEVICE_KR52CPRO = 523
} TfDeviceType;

typedef enum TfConnectStatus TF_ENUM_BASE
{
    TF_CONNECT_LOST = 0,      /**< an open camera was closed and reported removed */
    TF_CONNECT_REMOVED = 1,   /**< no longer usable; not listed */
    TF_CONNECT_AVAILABLE = 2, /**< announced, may be opened */
    TF_CONNECT_OPENED = 3,    /**< opened by this process */
    TF_CONNECT_UPGRADING = 4, /**< firmware or configuration upgrade in progress */
    TF_CONNECT_STATE_4 = 5    /**< the camera announced its state 4 */
} TfConnectStatus;

typedef enum TfFrameType TF_ENUM_BASE
{
    TF_FRAME_DEPTH = 0,
    TF_FRAME_IR = 1,
    TF_FRAME_COLOR = 3,
    TF_FRAME_COLOR_MAPPED_TO_DEPTH = 4,
    TF_FRAME_DEPTH_MAPPED_TO_COLOR = 5,
    TF_FRAME_IR_MAPPED_TO_COLOR = 6,
    TF_FRAME_CONFIDENCE = 8
} TfFrameType;

typedef enum TfPixelFormat TF_ENUM_BASE
{
    TF_PIXEL_DEPTH_MM16 = 0, /**< depth in millimetres, 16 bits per pixel */
    TF_PIXEL_GRAY16 = 1,
    TF_PIXEL_GRAY8 = 2,
    TF_PIXEL_RGB888 = 3,
    TF_PIXEL_BGR888 = 4
} TfPixelFormat;

typedef enum TfDepthRange TF_ENUM_BASE
{
    TF_DEPTH_RANGE_0 = 0,
    TF_DEPTH_RANGE_1 = 1,
    TF_DEPTH_RANGE_2 = 2,
    TF_DEPTH_RANGE_3 = 3,
    TF_DEPTH_RANGE_4 = 4,
    TF_DEPTH_RANGE_5 = 5
} TfDepthRange;

/** The camera's output mode; only the low 8 bits are used. Modes 9 and 10 are dual-frequency
 *  modes; modes 5, 7, 9 and 10 have two exposure slots. Valid modes depend on the camera. */
typedef uint32_t TfDataMode;

typedef enum TfSensorType TF_ENUM_BASE
{
    TF_SENSOR_TOF = 1,
    TF_SENSOR_COLOR = 2
} TfSensorType;

/** Colour resolution codes of TFCM_SetColorResolution / TFCM_GetColorResolution. */
typedef enum TfColorResolution TF_ENUM_BASE
{
    TF_COLOR_1920X1080 = 0, /**< reported only */
    TF_COLOR_1280X720 = 1,  /**< reported only */
    TF_COLOR_640X480 = 2,   /**< accepted and reported; the default for unaccepted codes */
    TF_COLOR_640X360 = 3,   /**< reported only */
    TF_COLOR_1600X1200 = 4, /**< accepted only */
    TF_COLOR_800X600 = 5    /**< accepted only */
} TfColorResolution;

/** `status` argument of the hot-plug callbacks. */
typedef enum TfHotPlugStatus TF_ENUM_BASE
{
    TF_HOTPLUG_ADDED = 0,
    TF_HOTPLUG_REMOVED = 1
} TfHotPlugStatus;

/* ---------------------------------------------------------------------------------------------
 * Records. Packed records have no padding at all; the others use natural alignment.
 * ------------------------------------------------------------------------------------------- */
#pragma pack(push, 1)

/** One listed camera (packed, 382 bytes). */
typedef struct TfDeviceInfo
{
    uint32_t sessionCount; /**< number of ToF sessions (sensor channels) */
    uint32_t devicetype;   /**< TfDeviceType */
    char uri[256];         /**< model string, ':' and serial number */
    char reserved1[48];    /**< zero for network cameras */
    uint16_t reserved2;    /**< zero for network cameras */
    char alias[64];        /**< alias, or the serial number when the camera announces none */
    uint32_t status;       /**< TfConnectStatus */
} TfDeviceInfo;

/** A frame handed to the application (packed, 45 bytes). `pFrameData` points into memory owned
 *  by the library, valid until the next TFCM_ReadNextFrame on the same camera. */
typedef struct TfFrame
{
    uint32_t frameIndex;
    uint32_t frameType;   /**< TfFrameType */
    uint32_t pixelFormat; /**< TfPixelFormat */
    uint8_t imuFrameNo;
    uint8_t *pFrameData;
    uint32_t dataLen; /**< bytes */
    float exposureTime;
    uint32_t depthRange; /**< TfDepthRange */
    uint16_t width;
    uint16_t height;
    uint64_t timestamp;
} TfFrame;

/** Depth pixel: column, row and depth in millimetres (packed, 10 bytes). */
typedef struct TfDepthVector3
{
    int32_t depthX;
    int32_t depthY;
    uint16_t depthZ;
} TfDepthVector3;

/** Exposure of one slot (packed, 5 bytes). */
typedef struct TfExposureTimeParams
{
    uint8_t index; /**< 0 first exposure slot, 1 second */
    uint32_t exposureTime;
} TfExposureTimeParams;

/** Confidence filter parameters (packed, 13 bytes). */
typedef struct TfConfidenceFilterParams
{
    uint8_t enable;
    uint32_t reserved; /**< returned as 0 */
    uint32_t threshold;
    uint32_t value;
} TfConfidenceFilterParams;

/** Fill-hole filter parameters (packed, 13 bytes; same layout as the confidence filter). */
typedef struct TfFillHoleFilterParams
{
    uint8_t enable;
    uint32_t reserved;
    uint32_t threshold;
    uint32_t value;
} TfFillHoleFilterParams;

/** Spatial filter parameters (packed, 13 bytes; same layout as the confidence filter). */
typedef struct TfSpatialFilterParams
{
    uint8_t enable;
    uint32_t reserved;
    uint32_t threshold;
    uint32_t value;
} TfSpatialFilterParams;

/** Flying-pixel filter parameters (packed, 5 bytes), passed to the filter unchanged. */
typedef struct TfFlyingPixelFilterParams
{
    uint32_t threshold;
    uint8_t enable;
} TfFlyingPixelFilterParams;

/** Measuring range of one depth range (packed, 7 bytes). */
typedef struct TfMeasuringRange
{
    uint8_t depthRange;   /**< in: which range */
    uint16_t depthMax[3]; /**< out: [0] effective maximum, [1] 0, [2] maximum (millimetres) */
} TfMeasuringRange;

/** The frames of one notification (packed, 322 bytes). Every TfFrame field is filled, `timestamp`
 *  included; `pFrameData` points into library memory, valid while the notification runs. */
typedef struct CallbackFrames
{
    TfFrame color;
    TfFrame depth;
    TfFrame ir;
    TfFrame confidence;
    uint8_t hasDepth;
    uint8_t hasIr;
    uint8_t hasColor;
    uint8_t hasConfidence;
    TfFrame colorMappedToDepth;
    TfFrame depthMappedToColor;
    TfFrame irMappedToColor;
    uint8_t hasMappedDepth;
    uint8_t hasMappedIr;
    uint8_t hasMappedColor;
} CallbackFrames;

#pragma pack(pop)

/** Frames that TFCM_ReadNextFrame made ready (32 bits; bit values 1, 2, 4, ... in field order). */
typedef struct TfFrameReady
{
    unsigned int depth : 1;
    unsigned int ir : 1;
    unsigned int color : 1;
    unsigned int colorMappedToDepth : 1;
    unsigned int depthMappedToColor : 1;
    unsigned int irMappedToColor : 1;
    unsigned int confidence : 1;
    unsigned int reserved : 25;
} TfFrameReady;

/** Frame mode of one frame type (16 bytes). */
typedef struct TfFrameMode
{
    uint32_t pixelFormat; /**< TfPixelFormat */
    uint32_t resolutionWidth;
    uint32_t resolutionHeight;
    uint32_t fps;
} TfFrameMode;

typedef struct TfVector2u16
{
    uint16_t x;
    uint16_t y;
} TfVector2u16;

/** A 3-D point in millimetres (12 bytes). */
typedef struct TfVector3f
{
    float x;
    float y;
    float z;
} TfVector3f;

/** Pinhole intrinsics and the eight distortion coefficients as the camera supplies them (96 bytes). */
typedef struct TfCameraParameters
{
    double fx;
    double fy;
    double cx;
    double cy;
    double k1;
    double k2;
    double p1;
    double p2;
    double k3;
    double k4;
    double k5;
    double k6;
} TfCameraParameters;

/** ToF-to-colour transform: rotation row by row, then translation (96 bytes). */
typedef struct TfCameraExtrinsicParameters
{
    double rotation[9];
    double translation[3];
} TfCameraExtrinsicParameters;

/** Dual-frequency output: number of ranges (2 for a setting), then up to three ranges (16 bytes). */
typedef struct TfWDROutputMode
{
    int32_t count;
    int32_t values[3];
} TfWDROutputMode;

/** Test mode parameters (16 bytes). */
typedef struct TfTestModeParams
{
    uint32_t values[4];
} TfTestModeParams;

/** Called when a file transfer progresses or ends. */
typedef void (*TfFileTransferCallback)(uint8_t type, uint8_t index, int8_t status, void *userData);

/** A file transfer between host and camera (natural alignment, 280 bytes). */
typedef struct TfFileTransferParams
{
    uint32_t type;
    char name[256];    /**< file path or tag, at most 256 characters */
    uint8_t direction; /**< 0 host file to camera, non-zero camera file to host */
    uint8_t index;
    TfFileTransferCallback callback;
    void *userData;
} TfFileTransferParams;

/* ---------------------------------------------------------------------------------------------
 * Callbacks.
 * ------------------------------------------------------------------------------------------- */
/** Hot-plug notification; `status` is TF_HOTPLUG_ADDED or TF_HOTPLUG_REMOVED. Runs on a library
 *  thread with no lock held; `info` is valid during the call only. */
typedef void (*TfHotPlugCallback)(const TfDeviceInfo *info, int status);
/** As TfHotPlugCallback, with the context given at registration. */
typedef void (*TfHotPlugCallbackEx)(const TfDeviceInfo *info, int status, void *context);
/** Firmware or configuration upgrade progress. */
typedef void (*TfUpgradeStatusCallback)(int status, int params);
/** Frame notification; runs on the camera's callback thread. */
typedef int (*TfFrameNotifyCallback)(CallbackFrames *frames);

/* ---------------------------------------------------------------------------------------------
 * Property keys of TFCM_SetProperty / TFCM_GetProperty.
 * ------------------------------------------------------------------------------------------- */
#define TF_PROPERTY_SERIAL_NUMBER ((int32_t)5)
#define TF_PROPERTY_FIRMWARE_VERSION ((int32_t)6)
#define TF_PROPERTY_HARDWARE_VERSION ((int32_t)7)
#define TF_PROPERTY_DATA_MODE ((int32_t)8)
#define TF_PROPERTY_DATA_MODE_LIST ((int32_t)9)
#define TF_PROPERTY_DEPTH_RANGE_LIST ((int32_t)10)
#define TF_PROPERTY_DEVICE_SN ((int32_t)12)
#define TF_PROPERTY_MAC_ADDRESS ((int32_t)13)
#define TF_PROPERTY_SOFTWARE_VERSION ((int32_t)14)
#define TF_PROPERTY_IP_ADDRESS ((int32_t)15)
#define TF_PROPERTY_SUBNET_MASK ((int32_t)16)
#define TF_PROPERTY_DSP_STATUS ((int32_t)17)
#define TF_PROPERTY_NOP ((int32_t)-1)
#define TF_PROPERTY_ENTER_JSON_MODE ((int32_t)-4)
#define TF_PROPERTY_START_JSON_UPGRADE ((int32_t)-5)
#define TF_PROPERTY_TIME_FILTERED_DEPTH ((int32_t)0x0E000003)
#define TF_PROPERTY_MEASURING_RANGE ((int32_t)0xF0000003u)
#define TF_PROPERTY_CAMERA_PARAMS ((int32_t)0xF0000004u)
#define TF_PROPERTY_DATA_MODE_ALT ((int32_t)0xF0000005u)
#define TF_PROPERTY_LD_ENABLE ((int32_t)0xF0000006u)
#define TF_PROPERTY_WORK_MODE ((int32_t)0xF000000Bu)
#define TF_PROPERTY_GMM_GAIN ((int32_t)0xF000000Du)
#define TF_PROPERTY_LENS ((int32_t)0xF0000013u)

/* ---------------------------------------------------------------------------------------------
 * Extensions: records and keys of our own, read through the existing functions (no new exported
 * function).
 * ------------------------------------------------------------------------------------------- */
/** @defgroup Extensions Extensions
 *  @{ */

/** @brief Key of the drop counters: TFCM_GetProperty fills a TfDropCounters record.
 *
 *  Every frame the library discards is counted once, by stream and by reason; frames handed to the
 *  application are counted too. The counters belong to the opened handle: they start at 0 when the
 *  camera is opened and are never reset while it stays open. Read-only (TFCM_SetProperty answers
 *  TF_ERROR_SET_PROPERTY_KEY). `*size` must be at least sizeof(TfDropCounters), otherwise the call
 *  returns TF_ERROR_INVALID_ARGUMENT and writes nothing; on success `*size` is set to the bytes written.
 *  @code
 *  TfDropCounters c;
 *  int32_t size = sizeof c;
 *  TFCM_GetProperty(handle, TF_PROPERTY_EXT_DROP_COUNTERS, &c, &size);
 *  @endcode */
#define TF_PROPERTY_EXT_DROP_COUNTERS ((int32_t)0x4F520001)

/** Frames of one stream dropped inside the library, by reason. */
typedef struct TfDropCounts
{
    uint64_t queueFull;     /**< the application read too slowly: a queued frame was overwritten */
    uint64_t setIncomplete; /**< a set missing its ToF or colour part was dropped */
    uint64_t decodeError;   /**< a payload that could not be decoded */
    uint64_t bufferRefused; /**< a stream buffer (or sub-packet) refused: bad lengths, garbage, oversize */
    uint64_t colorLate;     /**< a colour frame that came too late to be paired */
} TfDropCounts;

/** The record of TF_PROPERTY_EXT_DROP_COUNTERS (natural alignment, 104 bytes). */
typedef struct TfDropCounters
{
    uint32_t version;        /**< 1 */
    uint32_t size;           /**< sizeof(TfDropCounters) */
    TfDropCounts tof;        /**< depth, IR and confidence frames (one ToF frame counts once) */
    TfDropCounts color;      /**< colour frames */
    uint64_t tofDelivered;   /**< ToF frames handed to the application (read or callback) */
    uint64_t colorDelivered; /**< colour frames handed to the application (read or callback) */
} TfDropCounters;

/** The version TfDropCounters::version carries. */
#define TF_DROP_COUNTERS_VERSION 1u

/** @brief Key of the raw recording: the camera's stream buffers written to a file exactly as received,
 *  with their arrival times, for replay through the simulator (`orvane-camsim --replay FILE`).
 *
 *  TFCM_SetProperty with a NUL-terminated path (`size` = its length + 1) creates or truncates the file
 *  and starts writing; a recording in progress is stopped first. An empty string (`size` 1) stops the
 *  recording and closes the file. Any other value answers TF_ERROR_INVALID_ARGUMENT; a file that
 *  cannot be created answers TF_ERROR_OTHER with the reason in TfRawRecordingStatus::writeError.
 *  Closing the camera stops the recording. The receive thread never waits on the disk: buffers go
 *  through a bounded queue to one writer thread, and a buffer that finds the queue full is dropped
 *  and counted. TFCM_GetProperty fills a TfRawRecordingStatus (`*size` at least its size, otherwise
 *  TF_ERROR_INVALID_ARGUMENT); after a recording has stopped it keeps that recording's counts.
 *
 *  The file, little-endian throughout: the magic "ORVRAW\r\n" (8 bytes), the format version
 *  (u32, 1), the header length (u32) and the header, JSON text with the fields `uri`, `serial`,
 *  `firmware`, `dataMode`, `depthRange`, `library` and `startTime` (UTC, ISO 8601); then one record per
 *  buffer: its length (u32), the CRC-32 (zip polynomial) of the arrival time's 8 bytes followed by
 *  the buffer's bytes (u32), the arrival time in nanoseconds since the recording started (u64) and
 *  the buffer's bytes. A file cut at any byte reads back up to its last whole record.
 *  @code
 *  const char *path = "/tmp/field.raw";
 *  TFCM_SetProperty(handle, TF_PROPERTY_EXT_RAW_RECORDING, path, (int32_t)strlen(path) + 1);
 *  ...
 *  TFCM_SetProperty(handle, TF_PROPERTY_EXT_RAW_RECORDING, "", 1);
 *  @endcode */
#define TF_PROPERTY_EXT_RAW_RECORDING ((int32_t)0x4F520002)

/** The record of TF_PROPERTY_EXT_RAW_RECORDING (natural alignment, 40 bytes). */
typedef struct TfRawRecordingStatus
{
    uint32_t version;        /**< 1 */
    uint32_t size;           /**< sizeof(TfRawRecordingStatus) */
    uint32_t active;         /**< 1 while buffers are being written */
    int32_t writeError;      /**< 0, or the errno of the failed create, write or close (writing stops) */
    uint64_t buffersWritten; /**< buffers written whole to the file */
    uint64_t bytesWritten;   /**< their bytes, without the file's own framing */
    uint64_t buffersDropped; /**< buffers dropped: the writer fell behind (or a write had failed) */
} TfRawRecordingStatus;

/** The version TfRawRecordingStatus::version carries. */
#define TF_RAW_RECORDING_VERSION 1u

/** @} */

/* ---------------------------------------------------------------------------------------------
 * Functions. Unless a comment says otherwise a function may be called from any thread; calls on
 * one camera are serialised inside the library. Argument checks run in this order: null pointers
 * (TF_ERROR_NULL_POINTER), then the handle (TF_ERROR_INVALID_HANDLE), then value ranges.
 * ------------------------------------------------------------------------------------------- */

/** @brief Initialises the library: the log file and the device manager thread.
 *  @return TF_OK; TF_ERROR_ALREADY_INITIALIZED when already initialised.
 *  @note Call TFCM_Initialize and TFCM_Shutdown from one thread. */
ORVANE_API int TFCM_Initialize(void);

/** @brief Shuts the library down: stops the device manager, frees the device list, closes the log.
 *  Close every device with TFCM_CloseDevice first. Initialising again afterwards is allowed.
 *  @return TF_OK; TF_ERROR_NOT_INITIALIZED when not initialised.
 *  @note Call from the thread that called TFCM_Initialize. */
ORVANE_API int TFCM_Shutdown(void);

/** @brief Writes the library version "1.0.2" as five characters, without a terminating NUL.
 *  @param[out] version buffer of at least 5 characters.
 *  @return TF_OK; TF_ERROR_NULL_POINTER for a null buffer. Any thread. */
ORVANE_API int TFCM_GetSDKVersion(char *version);

/** @brief Counts the listed cameras (those whose arrival has been notified).
 *  @param[out] count number of cameras.
 *  @return TF_OK; TF_ERROR_NULL_POINTER. Any thread. */
ORVANE_API int TFCM_GetDeviceCount(uint32_t *count);

/** @brief Copies the listed cameras, in discovery order, into `list`.
 *  @param[out] list array of at least `count` records, owned by the caller.
 *  @param[in] count capacity of `list`; at most this many records are written.
 *  @return TF_OK (also for an empty list); TF_ERROR_NULL_POINTER. Any thread. */
ORVANE_API int TFCM_GetDeviceListInfo(TfDeviceInfo *list, uint32_t count);

/** @brief Copies the listed camera at `index`.
 *  @param[out] info the record, owned by the caller.
 *  @param[in] index position among the listed cameras.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_ARGUMENT when `index` is out of range. */
ORVANE_API int TFCM_GetDeviceInfo(TfDeviceInfo *info, uint32_t index);

/** @brief Opens a camera by URI ("model:serial"); the camera starts streaming.
 *  @param[in] uri the camera's URI.
 *  @param[out] device the new handle, or null on failure; close it with TFCM_CloseDevice.
 *  @return TF_OK; TF_ERROR_NULL_POINTER for a null `uri` or `device`; TF_ERROR_ALREADY_OPENED
 *  (handle untouched); TF_ERROR_DEVICE_NOT_FOUND for a removed camera; TF_ERROR_INVALID_ARGUMENT
 *  for an unknown URI or an empty list; the camera's connection failure (e.g. TF_ERROR_NOT_CONNECTED).
 *  Any thread. */
ORVANE_API int TFCM_OpenDevice(const char *uri, TfDeviceHandle *device);

/** @brief Opens a camera by alias; as TFCM_OpenDevice.
 *  @param[in] alias the camera's alias.
 *  @param[out] device the new handle, or null on failure.
 *  @return as TFCM_OpenDevice. */
ORVANE_API int TFCM_OpenDeviceByAlias(const char *alias, TfDeviceHandle *device);

/** @brief Opens a camera by its IPv4 address ("a.b.c.d"); opening an open camera returns a new
 *  handle to the same camera.
 *  @param[in] ip the address.
 *  @param[out] device the new handle, or null on failure.
 *  @return as TFCM_OpenDevice, without TF_ERROR_ALREADY_OPENED. */
ORVANE_API int TFCM_OpenDeviceByIP(const char *ip, TfDeviceHandle *device);

/** @brief Closes a camera, frees its handle and sets `*device` to null.
 *  @param[in,out] device the handle to close.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE for a null pointer, a null handle, or a value that is not an
 *  open handle (already closed, say; `*device` is then left as it is).
 *  @note Calls other threads are making on the handle finish first (a read waits at most its wait
 *  time); calls made on it once the close has begun, or later with the stale value, return
 *  TF_ERROR_INVALID_HANDLE. A callback may close its own camera. */
ORVANE_API int TFCM_CloseDevice(TfDeviceHandle *device);

/** @brief Registers (or, with null, clears) the hot-plug callback.
 *  @param[in] callback called on a library thread for every arrival and removal.
 *  @return TF_OK. Any thread. */
ORVANE_API int TFCM_SetHotPlugStatusCallback(TfHotPlugCallback callback);

/** @brief Registers the hot-plug callback with a context pointer (called after the other form).
 *  @param[in] callback the callback.
 *  @param[in] context passed back to every call; must not be null.
 *  @return TF_OK; TF_ERROR_NULL_POINTER for a null context. */
ORVANE_API int TFCM_SetHotPlugStatusCallback_(TfHotPlugCallbackEx callback, void *context);

/** @brief Writes the IPv4 address of the listed camera with this URI as "a.b.c.d".
 *  @param[in] uri the camera's URI.
 *  @param[out] ip buffer of at least 16 characters.
 *  @return TF_OK; TF_ERROR_NULL_POINTER for a null `ip`; TF_ERROR_DEVICE_NOT_FOUND when the URI
 *  is null or not listed. */
ORVANE_API int TFCM_GetDeviceIP(const char *uri, char *ip);

/** @brief Starts the camera's stream (a no-op when it runs).
 *  @param[in] device handle.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_NOT_CONNECTED; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_StartStream(TfDeviceHandle device);

/** @brief Stops the camera's stream (a no-op when stopped).
 *  @param[in] device handle.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_NOT_CONNECTED; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_StopStream(TfDeviceHandle device);

/** @brief Waits (up to the wait time, 350 ms by default) for the next set of frames.
 *  @param[in] device handle.
 *  @param[out] ready the frame types now available to TFCM_GetFrame (cleared first).
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_DEVICE_NOT_FOUND (stream
 *  stopped, or a notification callback is registered); TF_ERROR_NOT_CONNECTED_STREAM;
 *  TF_ERROR_FRAME_TIMEOUT; a device error code reported by the camera; TF_ERROR_OTHER.
 *  Frames of the previous read become invalid. */
ORVANE_API int TFCM_ReadNextFrame(TfDeviceHandle device, TfFrameReady *ready);

/** @brief Fetches one frame made ready by TFCM_ReadNextFrame.
 *  @param[in] device handle.
 *  @param[in] type the frame type.
 *  @param[out] frame the frame (zeroed when none is ready). Its data stay owned by the library and
 *  valid until the next TFCM_ReadNextFrame on this camera.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_NO_FRAME_MODE when the
 *  frame is not ready (or fetched twice); TF_ERROR_DEVICE_NOT_FOUND when the stream is stopped. */
ORVANE_API int TFCM_GetFrame(TfDeviceHandle device, TfFrameType type, TfFrame *frame);

/** @brief Reports the pixel format, size and rate of a frame type (depth, IR or colour).
 *  @param[in] device handle.
 *  @param[in] type TF_FRAME_DEPTH, TF_FRAME_IR or TF_FRAME_COLOR.
 *  @param[out] mode the frame mode.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_NO_FRAME_MODE for any
 *  other type (nothing written). */
ORVANE_API int TFCM_GetFrameMode(TfDeviceHandle device, TfFrameType type, TfFrameMode *mode);

/** @brief Reads the camera's depth range.
 *  @param[in] device handle.
 *  @param[out] range the current range.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_NOT_CONNECTED when the
 *  camera does not answer. */
ORVANE_API int TFCM_GetDepthRange(TfDeviceHandle device, TfDepthRange *range);

/** @brief Sets the depth range: stops the stream, applies the range and restarts the stream.
 *  @param[in] device handle.
 *  @param[in] range the new range.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_DEPTH_RANGE; TF_ERROR_NOT_CONFIRMED; 1 when the
 *  data mode fixes the range; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetDepthRange(TfDeviceHandle device, TfDepthRange range);

/** @brief Hands a range's depth limits to the depth filters.
 *  @param[in] device handle.
 *  @param[in] range the depth range.
 *  @param[in] minimum minimum depth in millimetres.
 *  @param[in] maximum maximum depth in millimetres.
 *  @return TF_OK whatever the filter answered; TF_ERROR_INVALID_HANDLE. */
ORVANE_API int TFCM_SetRangeValue(TfDeviceHandle device, TfDepthRange range, int minimum, int maximum);

/** @brief Reads the limits of the depth range named in `range->depthRange`.
 *  @param[in] device handle.
 *  @param[in,out] range in: `depthRange`; out: `depthMax`.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetDepthMeasuringRange(TfDeviceHandle device, TfMeasuringRange *range);

/** @brief Sets the data mode (low 8 bits): stops the stream, applies the mode (and, for the
 *  dual-frequency modes 9 and 10, the default dual-frequency output) and restarts the stream.
 *  @param[in] device handle.
 *  @param[in] mode the data mode.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; 1 for a mode the camera does not list;
 *  TF_ERROR_NOT_CONFIRMED; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetDataMode(TfDeviceHandle device, TfDataMode mode);

/** @brief Reads the data mode.
 *  @param[in] device handle.
 *  @param[out] mode the current data mode.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetDataMode(TfDeviceHandle device, uint8_t *mode);

/** @brief Sets the ToF frame rate: stops the stream, applies the rate and restarts the stream.
 *  @param[in] device handle.
 *  @param[in] fps frames per second.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetFrameRate(TfDeviceHandle device, uint8_t fps);

/** @brief Reads the ToF frame rate.
 *  @param[in] device handle.
 *  @param[out] fps frames per second.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetFrameRate(TfDeviceHandle device, uint8_t *fps);

/** @brief Sets the dual-frequency output (stream stopped, data mode 9 or 10).
 *  @param[in] device handle.
 *  @param[in] mode `count` 2 and the ranges.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_STREAMING;
 *  TF_ERROR_INVALID_ARGUMENT outside a dual-frequency mode; TF_ERROR_NOT_CONFIRMED; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetWDROutputMode(TfDeviceHandle device, TfWDROutputMode *mode);

/** @brief Reads the dual-frequency output.
 *  @param[in] device handle.
 *  @param[out] mode the setting.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetWDROutputMode(TfDeviceHandle device, TfWDROutputMode *mode);

/** @brief Sets how dual-frequency frames are delivered (0 fused, 1 each range by itself).
 *  @param[in] device handle.
 *  @param[in] style the style.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_DEVICE_NOT_FOUND outside modes 9 and 10. */
ORVANE_API int TFCM_SetWDRStyle(TfDeviceHandle device, uint32_t style);

/** @brief Sets the IR gain.
 *  @param[in] device handle.
 *  @param[in] gain the gain.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_NOT_CONFIRMED; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetIRGMMGain(TfDeviceHandle device, uint8_t gain);

/** @brief Reads the IR gain.
 *  @param[in] device handle.
 *  @param[out] gain the gain.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetIRGMMGain(TfDeviceHandle device, uint8_t *gain);

/** @brief Sets the ToF exposure time of the first slot, and of the second in modes 5, 7, 9, 10.
 *  @param[in] device handle.
 *  @param[in] exposureTime the exposure time.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_NOT_CONFIRMED; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetToFExposureTime(TfDeviceHandle device, uint32_t exposureTime);

/** @brief Sets the ToF exposure time of one slot.
 *  @param[in] device handle.
 *  @param[in] params slot and exposure time.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_NOT_CONFIRMED; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetToFExposureTime_(TfDeviceHandle device, TfExposureTimeParams params);

/** @brief Reads the ToF exposure time (both slots must agree).
 *  @param[in] device handle.
 *  @param[out] exposureTime the time; 0 when the camera query failed.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER when the two slots
 *  differ (nothing written) or the query failed. */
ORVANE_API int TFCM_GetToFExposureTime(TfDeviceHandle device, uint32_t *exposureTime);

/** @brief Reads the ToF exposure time of one slot.
 *  @param[in] device handle.
 *  @param[in,out] params in: `index`; out: `exposureTime`.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetToFExposureTime_(TfDeviceHandle device, TfExposureTimeParams *params);

/** @brief Sets the colour resolution (TfColorResolution 2, 4 or 5; other codes select 640 x 480).
 *  @param[in] device handle.
 *  @param[in] resolution the code.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_NOT_CONFIRMED; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetColorResolution(TfDeviceHandle device, uint32_t resolution);

/** @brief Reads the colour resolution as a code 0 to 3; other sizes leave `resolution` unchanged.
 *  @param[in] device handle.
 *  @param[out] resolution the code.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetColorResolution(TfDeviceHandle device, uint32_t *resolution);

/** @brief Selects RGB or BGR colour output.
 *  @param[in] device handle.
 *  @param[in] format TF_PIXEL_RGB888 or TF_PIXEL_BGR888.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE (checked first); TF_ERROR_INVALID_ARGUMENT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetColorPixelFormat(TfDeviceHandle device, TfPixelFormat format);

/** @brief Selects 16-bit or 8-bit IR output.
 *  @param[in] device handle.
 *  @param[in] format TF_PIXEL_GRAY16 or TF_PIXEL_GRAY8.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE (checked first); TF_ERROR_INVALID_ARGUMENT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetIRPixelFormat(TfDeviceHandle device, TfPixelFormat format);

/** @brief Sets the colour camera's exposure time and gain.
 *  @param[in] device handle.
 *  @param[in] exposureTime exposure time.
 *  @param[in] gain gain.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER when the camera does not support it. */
ORVANE_API int TFCM_SetRgbExplosureTimeAndGain(TfDeviceHandle device, float exposureTime, float gain);

/** @brief Reads the colour camera's exposure time and gain.
 *  @param[in] device handle.
 *  @param[out] exposureTime exposure time.
 *  @param[out] gain gain.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER when unsupported. */
ORVANE_API int TFCM_GetRgbExplosureTimeAndGain(TfDeviceHandle device, float *exposureTime, float *gain);

/** @brief Switches the real-depth correction (result translated).
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetRealDepthCorrectionEnabled(TfDeviceHandle device, bool enabled);

/** @brief Switches the real-depth correction.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetComputeRealDepthCorrectionEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the real-depth correction switch.
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_GetComputeRealDepthCorrectionEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Switches the depth smoothing filter.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetSmoothingFilterEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the depth smoothing filter switch.
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_GetSmoothingFilterEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Switches the time filter.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetTimeFilterEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the time filter switch.
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_GetTimeFilterEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Switches ToF lens undistortion.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetToFDistortionCorrectionEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the ToF undistortion switch.
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_GetToFDistortionCorrectionEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Switches colour lens undistortion.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetColorDistortionCorrectionEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the colour undistortion switch.
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_GetColorDistortionCorrectionEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Switches colour correction.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetRGBCorrectionEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the colour correction switch.
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_GetRGBCorrectionEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Switches mapping of colour into the depth camera (frame type 4).
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetTransformColorImgToDepthCameraEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the colour-to-depth mapping switch.
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_IsTransformColorImgToDepthCameraEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Switches mapping of depth into the colour camera (frame type 5).
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetTransformDepthImgToColorCameraEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the depth-to-colour mapping switch.
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_IsTransformDepthImgToColorCameraEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Switches pairing of depth and colour frames by frame index (on by default).
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetSynchronizeEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the synchronisation switch.
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetSynchronizeEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Switches depth frame output.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetDepthFrameEnabled(TfDeviceHandle device, bool enabled);

/** @brief Switches IR frame output.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetIrFrameEnabled(TfDeviceHandle device, bool enabled);

/** @brief Switches confidence frame output (off by default).
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetConfidenceFrameEnabled(TfDeviceHandle device, bool enabled);

/** @brief Switches colour frame output.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetColorFrameEnabled(TfDeviceHandle device, bool enabled);

/** @brief Sets the mirroring of delivered frames (1, 2 or 3; other values: none).
 *  @param[in] device handle.
 *  @param[in] mirror the setting.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetImageMirror(TfDeviceHandle device, int mirror);

/** @brief Sets the rotation of delivered frames.
 *  @param[in] device handle.
 *  @param[in] rotation the setting.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetImageRotation(TfDeviceHandle device, int rotation);

/** @brief Switches the confidence filter.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetConfidenceFilterEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the confidence filter switch.
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetConfidenceFilterEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Sets the confidence filter parameters.
 *  @param[in] device handle.
 *  @param[in] params the parameters.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetConfidenceFilterParams(TfDeviceHandle device, TfConfidenceFilterParams params);

/** @brief Sets the flying-pixel filter parameters.
 *  @param[in] device handle.
 *  @param[in] params the parameters.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetFlyingPixelFilterParams(TfDeviceHandle device, TfFlyingPixelFilterParams params);

/** @brief Sets the fill-hole filter parameters.
 *  @param[in] device handle.
 *  @param[in] params the parameters.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetFillHoleFilterParams(TfDeviceHandle device, TfFillHoleFilterParams params);

/** @brief Sets the spatial filter parameters.
 *  @param[in] device handle.
 *  @param[in] params the parameters.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetSpatialFilterParams(TfDeviceHandle device, TfSpatialFilterParams params);

/** @brief Reads the confidence filter parameters (written whatever the result).
 *  @param[in] device handle.
 *  @param[out] params the parameters.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetConfidenceFilterParams(TfDeviceHandle device, TfConfidenceFilterParams *params);

/** @brief Reads the flying-pixel filter parameters (written whatever the result).
 *  @param[in] device handle.
 *  @param[out] params the parameters.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetFlyingPixelFilterParams(TfDeviceHandle device, TfFlyingPixelFilterParams *params);

/** @brief Reads the fill-hole filter parameters (written whatever the result).
 *  @param[in] device handle.
 *  @param[out] params the parameters.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetFillHoleFilterParams(TfDeviceHandle device, TfFillHoleFilterParams *params);

/** @brief Reads the spatial filter parameters (written whatever the result).
 *  @param[in] device handle.
 *  @param[out] params the parameters.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetSpatialFilterParams(TfDeviceHandle device, TfSpatialFilterParams *params);

/** @brief Switches cutting depth at the range's effective maximum.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetRawDepthCut(TfDeviceHandle device, bool enabled);

/** @brief Sets how long TFCM_ReadNextFrame waits for frames (default 350 ms).
 *  @param[in] device handle.
 *  @param[in] waitTimeMs the wait time in milliseconds.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetWaitTimeOfReadNextFrame(TfDeviceHandle device, uint16_t waitTimeMs);

/** @brief Asks the depth filters to save their depth table.
 *  @param[in] device handle.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER on any failure. */
ORVANE_API int TFCM_SetSaveComputeDepthTab(TfDeviceHandle device);

/** @brief Dumps the next three raw stream buffers into the working directory.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK whatever the camera answered; TF_ERROR_INVALID_HANDLE. */
ORVANE_API int TFCM_SetSaveRawBufferEnabled(TfDeviceHandle device, bool enabled);

/** @brief Registers a frame notification function; frames are then delivered on the camera's
 *  callback thread instead of by TFCM_ReadNextFrame.
 *  @param[in] device handle.
 *  @param[in] callback the function.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER when it was not registered. */
ORVANE_API int TFCM_RegisterNotify(TfDeviceHandle device, TfFrameNotifyCallback callback);

/** @brief Unregisters the frame notification function.
 *  @param[in] device handle.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER when nothing was unregistered. */
ORVANE_API int TFCM_UnRegisterNotify(TfDeviceHandle device);

/** @brief Switches the camera's low-power mode.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_NOT_CONFIRMED; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetLowPowerModeEnabled(TfDeviceHandle device, bool enabled);

/** @brief Same as TFCM_SetLowPowerModeEnabled.
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return as TFCM_SetLowPowerModeEnabled. */
ORVANE_API int TFCM_SetStandByEnabled(TfDeviceHandle device, bool enabled);

/** @brief Switches the camera's slave (external trigger) mode.
 *  @param[in] device handle.
 *  @param[in] mode on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_NOT_CONFIRMED; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetSlaveModeStatus(TfDeviceHandle device, bool mode);

/** @brief Triggers one frame in slave mode.
 *  @param[in] device handle.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetSoftwareSlaveTrigger(TfDeviceHandle device);

/** @brief Sets the camera's test mode.
 *  @param[in] device handle.
 *  @param[in] mode 0 or 1.
 *  @param[in] params the test parameters.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetTestModeState(TfDeviceHandle device, uint32_t mode, TfTestModeParams *params);

/** @brief Writes sensor registers.
 *  @param[in] device handle.
 *  @param[in] addresses register addresses.
 *  @param[in] values register values.
 *  @param[in] count number of registers.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetRegVal(TfDeviceHandle device, uint16_t *addresses, uint16_t *values, uint8_t count);

/** @brief Reads sensor registers.
 *  @param[in] device handle.
 *  @param[in] addresses register addresses.
 *  @param[out] values register values.
 *  @param[in] count number of registers.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetRegVal(TfDeviceHandle device, uint16_t *addresses, uint16_t *values, uint8_t count);

/** @brief Reads the ToF-to-colour rotation and translation.
 *  @param[in] device handle.
 *  @param[out] params the transform (the translation only when the rotation was read).
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetCameraExtrinsicParameters(TfDeviceHandle device, TfCameraExtrinsicParameters *params);

/** @brief Reads a sensor's intrinsics (of the undistorted image when undistortion is on) and its
 *  distortion coefficients; colour intrinsics are scaled to the current colour resolution.
 *  @param[in] device handle.
 *  @param[in] sensorType TF_SENSOR_TOF or TF_SENSOR_COLOR.
 *  @param[out] params the parameters.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_SENSOR_TYPE;
 *  TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetCameraParameters(TfDeviceHandle device, TfSensorType sensorType,
                                        TfCameraParameters *params);

/** @brief Maps a depth pixel into the colour image.
 *  @param[in] device handle.
 *  @param[in] depthPoint column, row and depth of the pixel.
 *  @param[in] colorSize width and height of the colour image.
 *  @param[out] colorPoint the colour pixel; (0, 0) when mapping is unavailable.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_DEVICE_NOT_FOUND when
 *  mapping is unavailable; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetTransformedPointDepthToColor(TfDeviceHandle device, TfDepthVector3 depthPoint,
                                                    TfVector2u16 colorSize, TfVector2u16 *colorPoint);

/** @brief Converts a depth frame into a point cloud with the camera's depth-to-world table.
 *  Pixels of depth 0 or 65535 give (0, 0, 0). A frame 360 rows high is taken as the centre rows
 *  60 to 419 of the 480-row sensor image.
 *  @param[in] device handle.
 *  @param[in] depthFrame a depth frame of at most 640 x 480 pixels with `dataLen` covering them.
 *  @param[out] worldVectors width x height points, owned by the caller.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_NO_FRAME_DATA for a frame without data;
 *  TF_ERROR_INVALID_HANDLE; TF_ERROR_INVALID_ARGUMENT when the table is not ready or the frame
 *  does not fit it. */
ORVANE_API int TFCM_ConvertDepthFrameToPointCloudVector(TfDeviceHandle device, const TfFrame *depthFrame,
                                                        TfVector3f *worldVectors);

/** @brief Converts depth pixels into points: x = (u - cx) / fx * z, y = (v - cy) / fy * z.
 *  Pure: the handle is not used.
 *  @param[in] device ignored.
 *  @param[in] depthVectors `count` pixels.
 *  @param[out] worldVectors `count` points.
 *  @param[in] count number of pixels; below 1 nothing is done.
 *  @param[in] parameters intrinsics (fx, fy, cx, cy).
 *  @return TF_OK; TF_ERROR_NULL_POINTER. */
ORVANE_API int TFCM_ConvertDepthToPointCloud(TfDeviceHandle device, const TfDepthVector3 *depthVectors,
                                             TfVector3f *worldVectors, int32_t count,
                                             TfCameraParameters *parameters);

/** @brief Projects points into depth pixels (u = x / z * fx + cx, v = y / z * fy + cy, truncated
 *  toward zero). A point with z = 0 has no pixel and gives (0, 0, 0). Pure: the handle is not used.
 *  @param[in] device ignored.
 *  @param[in] worldVectors `count` points.
 *  @param[out] depthVectors `count` pixels.
 *  @param[in] count number of points; below 1 nothing is done.
 *  @param[in] parameters intrinsics (fx, fy, cx, cy).
 *  @return TF_OK; TF_ERROR_NULL_POINTER. */
ORVANE_API int TFCM_ConvertPointCloudToDepth(TfDeviceHandle device, const TfVector3f *worldVectors,
                                             TfDepthVector3 *depthVectors, int32_t count,
                                             TfCameraParameters *parameters);

/** @brief Switches the camera's DSP processing (property TF_PROPERTY_DSP_STATUS).
 *  @param[in] device handle.
 *  @param[in] enabled on or off.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetDSPEnabled(TfDeviceHandle device, bool enabled);

/** @brief Reads the DSP switch (false when the query fails).
 *  @param[in] device handle.
 *  @param[out] enabled the switch.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetDSPEnabled(TfDeviceHandle device, bool *enabled);

/** @brief Reads the camera's serial number.
 *  @param[in] device handle.
 *  @param[out] buffer text buffer of `size` bytes.
 *  @param[in] size capacity of `buffer`.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetSerialNumber(TfDeviceHandle device, char *buffer, int size);

/** @brief Reads the camera's firmware version text.
 *  @param[in] device handle.
 *  @param[out] buffer text buffer of `size` bytes.
 *  @param[in] size capacity of `buffer`.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetFirmwareVersionNumber(TfDeviceHandle device, char *buffer, int size);

/** @brief Reads the camera's MAC address (property TF_PROPERTY_MAC_ADDRESS).
 *  @param[in] device handle.
 *  @param[out] buffer receives the camera's answer for a length of 1 (its first byte only, not
 *  terminated); read TF_PROPERTY_MAC_ADDRESS with TFCM_GetProperty and a real size for the whole text.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_TRANSPORT; TF_ERROR_OTHER. */
ORVANE_API int TFCM_GetDeviceMAC(TfDeviceHandle device, char *buffer);

/** @brief Checks a firmware image and starts the upgrade; progress goes to the upgrade callback.
 *  @param[in] device handle.
 *  @param[in] path the image file, at most 260 characters.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_UPGRADE_PATH_TOO_LONG (checked before the handle);
 *  TF_ERROR_INVALID_HANDLE; TF_ERROR_UPGRADE_REJECTED; TF_ERROR_UPGRADE_FILE;
 *  TF_ERROR_UPGRADE_NO_CALLBACK; TF_ERROR_OTHER. */
ORVANE_API int TFCM_StartUpgradeFirmWare(TfDeviceHandle device, const char *path);

/** @brief Registers the firmware upgrade status callback (called on the upgrade thread).
 *  @param[in] device handle.
 *  @param[in] callback the callback.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_OTHER. */
ORVANE_API int TFCM_SetUpgradeStatusCallback(TfDeviceHandle device, TfUpgradeStatusCallback callback);

/** @brief Moves a calibration file between host and camera; progress goes to `params->callback`.
 *  @param[in] device handle.
 *  @param[in] params the transfer; `name` at most 256 characters.
 *  @return TF_OK; TF_ERROR_NULL_POINTER; TF_ERROR_INVALID_HANDLE; TF_ERROR_INVALID_ARGUMENT for a
 *  name too long or a file of the wrong size; TF_ERROR_OTHER. */
ORVANE_API int TFCM_TransferFile(TfDeviceHandle device, TfFileTransferParams *params);

/** @brief Sets a property (see the TF_PROPERTY_* keys).
 *  @param[in] device handle.
 *  @param[in] key the property key.
 *  @param[in] value the value (for TF_PROPERTY_ENTER_JSON_MODE the status callback itself).
 *  @param[in] size bytes in `value`; some keys require an exact size. For record keys at most `size`
 *  bytes are read and missing bytes count as zero.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_PROPERTY_NULL; TF_ERROR_SET_PROPERTY_KEY;
 *  TF_ERROR_INVALID_ARGUMENT for a wrong size; the camera's failure translated. */
ORVANE_API int TFCM_SetProperty(TfDeviceHandle device, int32_t key, const void *value, int32_t size);

/** @brief Reads a property (see the TF_PROPERTY_* keys).
 *  @param[in] device handle.
 *  @param[out] value the value, owned by the caller.
 *  @param[in] key the property key.
 *  @param[in,out] size capacity of `value` for text keys; the size written for record keys.
 *  @return TF_OK; TF_ERROR_INVALID_HANDLE; TF_ERROR_PROPERTY_NULL; TF_ERROR_GET_PROPERTY_KEY; the
 *  camera's failure translated. */
ORVANE_API int TFCM_GetProperty(TfDeviceHandle device, int32_t key, void *value, int32_t *size);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---------------------------------------------------------------------------------------------
 * Layout pins: the records are part of the binary interface.
 * ------------------------------------------------------------------------------------------- */
TF_STATIC_ASSERT(sizeof(TfDeviceInfo) == 382, "TfDeviceInfo size");
TF_STATIC_ASSERT(offsetof(TfDeviceInfo, sessionCount) == 0, "TfDeviceInfo.sessionCount");
TF_STATIC_ASSERT(offsetof(TfDeviceInfo, devicetype) == 4, "TfDeviceInfo.devicetype");
TF_STATIC_ASSERT(offsetof(TfDeviceInfo, uri) == 8, "TfDeviceInfo.uri");
TF_STATIC_ASSERT(offsetof(TfDeviceInfo, reserved1) == 264, "TfDeviceInfo.reserved1");
TF_STATIC_ASSERT(offsetof(TfDeviceInfo, reserved2) == 312, "TfDeviceInfo.reserved2");
TF_STATIC_ASSERT(offsetof(TfDeviceInfo, alias) == 314, "TfDeviceInfo.alias");
TF_STATIC_ASSERT(offsetof(TfDeviceInfo, status) == 378, "TfDeviceInfo.status");

TF_STATIC_ASSERT(sizeof(TfFrame) == 45, "TfFrame size");
TF_STATIC_ASSERT(offsetof(TfFrame, frameIndex) == 0, "TfFrame.frameIndex");
TF_STATIC_ASSERT(offsetof(TfFrame, frameType) == 4, "TfFrame.frameType");
TF_STATIC_ASSERT(offsetof(TfFrame, pixelFormat) == 8, "TfFrame.pixelFormat");
TF_STATIC_ASSERT(offsetof(TfFrame, imuFrameNo) == 12, "TfFrame.imuFrameNo");
TF_STATIC_ASSERT(offsetof(TfFrame, pFrameData) == 13, "TfFrame.pFrameData");
TF_STATIC_ASSERT(offsetof(TfFrame, dataLen) == 21, "TfFrame.dataLen");
TF_STATIC_ASSERT(offsetof(TfFrame, exposureTime) == 25, "TfFrame.exposureTime");
TF_STATIC_ASSERT(offsetof(TfFrame, depthRange) == 29, "TfFrame.depthRange");
TF_STATIC_ASSERT(offsetof(TfFrame, width) == 33, "TfFrame.width");
TF_STATIC_ASSERT(offsetof(TfFrame, height) == 35, "TfFrame.height");
TF_STATIC_ASSERT(offsetof(TfFrame, timestamp) == 37, "TfFrame.timestamp");

TF_STATIC_ASSERT(sizeof(TfDepthVector3) == 10, "TfDepthVector3 size");
TF_STATIC_ASSERT(offsetof(TfDepthVector3, depthY) == 4, "TfDepthVector3.depthY");
TF_STATIC_ASSERT(offsetof(TfDepthVector3, depthZ) == 8, "TfDepthVector3.depthZ");

TF_STATIC_ASSERT(sizeof(TfExposureTimeParams) == 5, "TfExposureTimeParams size");
TF_STATIC_ASSERT(offsetof(TfExposureTimeParams, exposureTime) == 1, "TfExposureTimeParams.exposureTime");

TF_STATIC_ASSERT(sizeof(TfConfidenceFilterParams) == 13, "TfConfidenceFilterParams size");
TF_STATIC_ASSERT(offsetof(TfConfidenceFilterParams, reserved) == 1, "TfConfidenceFilterParams.reserved");
TF_STATIC_ASSERT(offsetof(TfConfidenceFilterParams, threshold) == 5, "TfConfidenceFilterParams.threshold");
TF_STATIC_ASSERT(offsetof(TfConfidenceFilterParams, value) == 9, "TfConfidenceFilterParams.value");
TF_STATIC_ASSERT(sizeof(TfFillHoleFilterParams) == 13, "TfFillHoleFilterParams size");
TF_STATIC_ASSERT(offsetof(TfFillHoleFilterParams, value) == 9, "TfFillHoleFilterParams.value");
TF_STATIC_ASSERT(sizeof(TfSpatialFilterParams) == 13, "TfSpatialFilterParams size");
TF_STATIC_ASSERT(offsetof(TfSpatialFilterParams, value) == 9, "TfSpatialFilterParams.value");
TF_STATIC_ASSERT(sizeof(TfFlyingPixelFilterParams) == 5, "TfFlyingPixelFilterParams size");
TF_STATIC_ASSERT(offsetof(TfFlyingPixelFilterParams, enable) == 4, "TfFlyingPixelFilterParams.enable");

TF_STATIC_ASSERT(sizeof(TfMeasuringRange) == 7, "TfMeasuringRange size");
TF_STATIC_ASSERT(offsetof(TfMeasuringRange, depthMax) == 1, "TfMeasuringRange.depthMax");

TF_STATIC_ASSERT(sizeof(CallbackFrames) == 322, "CallbackFrames size");
TF_STATIC_ASSERT(offsetof(CallbackFrames, depth) == 45, "CallbackFrames.depth");
TF_STATIC_ASSERT(offsetof(CallbackFrames, ir) == 90, "CallbackFrames.ir");
TF_STATIC_ASSERT(offsetof(CallbackFrames, confidence) == 135, "CallbackFrames.confidence");
TF_STATIC_ASSERT(offsetof(CallbackFrames, hasDepth) == 180, "CallbackFrames.hasDepth");
TF_STATIC_ASSERT(offsetof(CallbackFrames, hasConfidence) == 183, "CallbackFrames.hasConfidence");
TF_STATIC_ASSERT(offsetof(CallbackFrames, colorMappedToDepth) == 184, "CallbackFrames.colorMappedToDepth");
TF_STATIC_ASSERT(offsetof(CallbackFrames, depthMappedToColor) == 229, "CallbackFrames.depthMappedToColor");
TF_STATIC_ASSERT(offsetof(CallbackFrames, irMappedToColor) == 274, "CallbackFrames.irMappedToColor");
TF_STATIC_ASSERT(offsetof(CallbackFrames, hasMappedDepth) == 319, "CallbackFrames.hasMappedDepth");
TF_STATIC_ASSERT(offsetof(CallbackFrames, hasMappedColor) == 321, "CallbackFrames.hasMappedColor");

TF_STATIC_ASSERT(sizeof(TfFrameReady) == 4, "TfFrameReady size");

TF_STATIC_ASSERT(sizeof(TfFrameMode) == 16, "TfFrameMode size");
TF_STATIC_ASSERT(offsetof(TfFrameMode, resolutionWidth) == 4, "TfFrameMode.resolutionWidth");
TF_STATIC_ASSERT(offsetof(TfFrameMode, resolutionHeight) == 8, "TfFrameMode.resolutionHeight");
TF_STATIC_ASSERT(offsetof(TfFrameMode, fps) == 12, "TfFrameMode.fps");

TF_STATIC_ASSERT(sizeof(TfVector2u16) == 4, "TfVector2u16 size");
TF_STATIC_ASSERT(offsetof(TfVector2u16, y) == 2, "TfVector2u16.y");
TF_STATIC_ASSERT(sizeof(TfVector3f) == 12, "TfVector3f size");
TF_STATIC_ASSERT(offsetof(TfVector3f, y) == 4, "TfVector3f.y");
TF_STATIC_ASSERT(offsetof(TfVector3f, z) == 8, "TfVector3f.z");

TF_STATIC_ASSERT(sizeof(TfCameraParameters) == 96, "TfCameraParameters size");
TF_STATIC_ASSERT(offsetof(TfCameraParameters, fy) == 8, "TfCameraParameters.fy");
TF_STATIC_ASSERT(offsetof(TfCameraParameters, cx) == 16, "TfCameraParameters.cx");
TF_STATIC_ASSERT(offsetof(TfCameraParameters, cy) == 24, "TfCameraParameters.cy");
TF_STATIC_ASSERT(offsetof(TfCameraParameters, k1) == 32, "TfCameraParameters.k1");
TF_STATIC_ASSERT(offsetof(TfCameraParameters, k6) == 88, "TfCameraParameters.k6");
TF_STATIC_ASSERT(sizeof(TfCameraExtrinsicParameters) == 96, "TfCameraExtrinsicParameters size");
TF_STATIC_ASSERT(offsetof(TfCameraExtrinsicParameters, translation) == 72,
                 "TfCameraExtrinsicParameters.translation");

TF_STATIC_ASSERT(sizeof(TfWDROutputMode) == 16, "TfWDROutputMode size");
TF_STATIC_ASSERT(offsetof(TfWDROutputMode, values) == 4, "TfWDROutputMode.values");
TF_STATIC_ASSERT(sizeof(TfTestModeParams) == 16, "TfTestModeParams size");

TF_STATIC_ASSERT(sizeof(TfFileTransferParams) == 280, "TfFileTransferParams size");
TF_STATIC_ASSERT(offsetof(TfFileTransferParams, name) == 4, "TfFileTransferParams.name");
TF_STATIC_ASSERT(offsetof(TfFileTransferParams, direction) == 260, "TfFileTransferParams.direction");
TF_STATIC_ASSERT(offsetof(TfFileTransferParams, index) == 261, "TfFileTransferParams.index");
TF_STATIC_ASSERT(offsetof(TfFileTransferParams, callback) == 264, "TfFileTransferParams.callback");
TF_STATIC_ASSERT(offsetof(TfFileTransferParams, userData) == 272, "TfFileTransferParams.userData");
TF_STATIC_ASSERT(sizeof(TfDropCounts) == 40, "TfDropCounts size");
TF_STATIC_ASSERT(sizeof(TfDropCounters) == 104, "TfDropCounters size");
TF_STATIC_ASSERT(offsetof(TfDropCounters, tof) == 8, "TfDropCounters.tof");
TF_STATIC_ASSERT(offsetof(TfDropCounters, color) == 48, "TfDropCounters.color");
TF_STATIC_ASSERT(offsetof(TfDropCounters, tofDelivered) == 88, "TfDropCounters.tofDelivered");
TF_STATIC_ASSERT(sizeof(TfRawRecordingStatus) == 40, "TfRawRecordingStatus size");
TF_STATIC_ASSERT(offsetof(TfRawRecordingStatus, writeError) == 12, "TfRawRecordingStatus.writeError");
TF_STATIC_ASSERT(offsetof(TfRawRecordingStatus, buffersWritten) == 16, "TfRawRecordingStatus.buffersWritten");
TF_STATIC_ASSERT(offsetof(TfRawRecordingStatus, buffersDropped) == 32, "TfRawRecordingStatus.buffersDropped");

#endif /* ORVANE_API_H */
