// SPDX-License-Identifier: Apache-2.0
// Frame records of the pipeline: the internal frame, its type and pixel format, readiness bits and frame
// modes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Orvane_api.h"

/// What a frame's payload is. The public frame types are used unchanged; the negative values label
/// raw buffers that never reach the application.
enum FrameType : int32_t
{
    kFrameRawTof = -2,   ///< all ToF sub-packets of one device buffer, headers included
    kFrameRawColor = -1, ///< one colour sub-packet, header included
    kFrameDepth = 0,
    kFrameIr = 1,
    kFrameColor = 3,
    kFrameColorMappedToDepth = 4,
    kFrameDepthMappedToColor = 5,
    kFrameIrMappedToColor = 6,
    kFrameConfidence = 8,
};

/// Payload pixel formats (the public ones, plus -1 for raw buffers).
enum PixelFormat : int32_t
{
    kPixelRaw = -1,
    kPixelDepthMm16 = 0,
    kPixelGray16 = 1,
    kPixelGray8 = 2,
    kPixelRgb888 = 3,
    kPixelBgr888 = 4,
};

/// Bytes per pixel of a delivered pixel format; 0 for formats frames are never delivered in.
inline uint32_t BytesPerPixel(uint32_t pixelFormat)
{
    switch (static_cast<int32_t>(pixelFormat)) {
    case kPixelDepthMm16:
    case kPixelGray16:
        return 2;
    case kPixelGray8:
        return 1;
    case kPixelRgb888:
    case kPixelBgr888:
        return 3;
    default:
        return 0;
    }
}

/// The parts present in a raw buffer (stored 8 bits wide in records, 32 in `Frame::hasFrameMask`).
enum HasFrameType : uint8_t
{
    kHasDepth = 1,
    kHasIr = 2,
    kHasColor = 4,
    kHasConfidence = 8,
};

/// Stream enable switches of the demultiplexer, by stream kind.
enum StreamType : uint32_t
{
    kStreamDepth = 0,
    kStreamIr = 1,
    kStreamColor = 2,
    kStreamOther = 3, ///< a stream kind network cameras do not send; the flag is only kept
    kStreamImu = 4,
    kStreamConfidence = 5,
};

#pragma pack(push, 1)
/// A frame inside the pipeline. Packed; its leading fields mirror TfFrame. The payload buffer is
/// owned by the pool (or the delivery slot) the frame belongs to.
struct Frame
{
    uint32_t frameIndex;
    uint32_t frameType;   ///< FrameType
    uint32_t pixelFormat; ///< PixelFormat
    uint8_t imuFrameNo;
    uint8_t *pFrameData;
    uint32_t dataLen;    ///< valid payload bytes
    uint32_t bufferSize; ///< capacity of pFrameData in bytes
    float exposureTime;
    uint32_t depthRange;
    uint16_t width;
    uint16_t height;
    uint32_t hasFrameMask; ///< HasFrameType bits of the parts present in a raw buffer
    uint8_t inUse;         ///< 1 while out of its pool
    uint64_t timestamp;

    /// Copies dataLen payload bytes into dst's own buffer and every other field except pFrameData.
    /// Returns false, copying nothing, when dst's buffer is smaller than dataLen.
    bool DeepCopyTo(Frame &dst) const;
};
#pragma pack(pop)

static_assert(sizeof(Frame) == 54, "Frame is a packed 54-byte record");
static_assert(offsetof(Frame, pFrameData) == 13, "Frame.pFrameData");
static_assert(offsetof(Frame, dataLen) == 21, "Frame.dataLen");
static_assert(offsetof(Frame, bufferSize) == 25, "Frame.bufferSize");
static_assert(offsetof(Frame, exposureTime) == 29, "Frame.exposureTime");
static_assert(offsetof(Frame, depthRange) == 33, "Frame.depthRange");
static_assert(offsetof(Frame, width) == 37, "Frame.width");
static_assert(offsetof(Frame, height) == 39, "Frame.height");
static_assert(offsetof(Frame, hasFrameMask) == 41, "Frame.hasFrameMask");
static_assert(offsetof(Frame, inUse) == 45, "Frame.inUse");
static_assert(offsetof(Frame, timestamp) == 46, "Frame.timestamp");

/// The public view of a frame: every field, the payload still owned by the pipeline. The one
/// conversion for frames read by the application, handed to its notification function, or asked for
/// as a property.
inline TfFrame ToTfFrame(const Frame &frame)
{
    TfFrame out{};
    out.frameIndex = frame.frameIndex;
    out.frameType = static_cast<decltype(out.frameType)>(frame.frameType);
    out.pixelFormat = static_cast<decltype(out.pixelFormat)>(frame.pixelFormat);
    out.imuFrameNo = frame.imuFrameNo;
    out.pFrameData = frame.pFrameData;
    out.dataLen = frame.dataLen;
    out.exposureTime = frame.exposureTime;
    out.depthRange = frame.depthRange;
    out.width = frame.width;
    out.height = frame.height;
    out.timestamp = frame.timestamp;
    return out;
}

/// Output frames ready for the application; the same bits as TfFrameReady (1 depth, 2 IR,
/// 4 colour, 8 colour in depth camera, 16 depth in colour camera, 32 IR in colour camera, 64 confidence).
struct FrameReady
{
    unsigned int depth : 1;
    unsigned int ir : 1;
    unsigned int color : 1;
    unsigned int colorMappedToDepth : 1;
    unsigned int depthMappedToColor : 1;
    unsigned int irMappedToColor : 1;
    unsigned int confidence : 1;
    unsigned int reserved : 25;
};
static_assert(sizeof(FrameReady) == sizeof(TfFrameReady), "FrameReady mirrors TfFrameReady");

/// Size and rate of one frame type.
struct FrameMode
{
    uint32_t width;
    uint32_t height;
    uint32_t fps;
};
