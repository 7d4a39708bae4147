// SPDX-License-Identifier: Apache-2.0
// Checks, compiled as C99, the size of every public record and the offset of each of its fields.
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "Orvane_api.h"

static int g_passed = 0;
static int g_failed = 0;

static void Check(const char *what, size_t actual, size_t expected)
{
    if (actual == expected) {
        ++g_passed;
    } else {
        ++g_failed;
        printf("FAILED: %s is %lu, expected %lu\n", what, (unsigned long)actual, (unsigned long)expected);
    }
}

#define SIZE(type, expected) Check("sizeof(" #type ")", sizeof(type), (expected))
#define OFFSET(type, field, expected)                                                                        \
    Check("offsetof(" #type ", " #field ")", offsetof(type, field), (expected))

static void CheckDeviceInfo(void)
{
    SIZE(TfDeviceInfo, 382);
    OFFSET(TfDeviceInfo, sessionCount, 0);
    OFFSET(TfDeviceInfo, devicetype, 4);
    OFFSET(TfDeviceInfo, uri, 8);
    OFFSET(TfDeviceInfo, reserved1, 264);
    OFFSET(TfDeviceInfo, reserved2, 312);
    OFFSET(TfDeviceInfo, alias, 314);
    OFFSET(TfDeviceInfo, status, 378);
}

static void CheckFrame(void)
{
    SIZE(TfFrame, 45);
    OFFSET(TfFrame, frameIndex, 0);
    OFFSET(TfFrame, frameType, 4);
    OFFSET(TfFrame, pixelFormat, 8);
    OFFSET(TfFrame, imuFrameNo, 12);
    OFFSET(TfFrame, pFrameData, 13);
    OFFSET(TfFrame, dataLen, 21);
    OFFSET(TfFrame, exposureTime, 25);
    OFFSET(TfFrame, depthRange, 29);
    OFFSET(TfFrame, width, 33);
    OFFSET(TfFrame, height, 35);
    OFFSET(TfFrame, timestamp, 37);
}

static void CheckCallbackFrames(void)
{
    SIZE(CallbackFrames, 322);
    OFFSET(CallbackFrames, color, 0);
    OFFSET(CallbackFrames, depth, 45);
    OFFSET(CallbackFrames, ir, 90);
    OFFSET(CallbackFrames, confidence, 135);
    OFFSET(CallbackFrames, hasDepth, 180);
    OFFSET(CallbackFrames, hasIr, 181);
    OFFSET(CallbackFrames, hasColor, 182);
    OFFSET(CallbackFrames, hasConfidence, 183);
    OFFSET(CallbackFrames, colorMappedToDepth, 184);
    OFFSET(CallbackFrames, depthMappedToColor, 229);
    OFFSET(CallbackFrames, irMappedToColor, 274);
    OFFSET(CallbackFrames, hasMappedDepth, 319);
    OFFSET(CallbackFrames, hasMappedIr, 320);
    OFFSET(CallbackFrames, hasMappedColor, 321);
}

static void CheckParameterRecords(void)
{
    SIZE(TfDepthVector3, 10);
    OFFSET(TfDepthVector3, depthX, 0);
    OFFSET(TfDepthVector3, depthY, 4);
    OFFSET(TfDepthVector3, depthZ, 8);

    SIZE(TfExposureTimeParams, 5);
    OFFSET(TfExposureTimeParams, index, 0);
    OFFSET(TfExposureTimeParams, exposureTime, 1);

    SIZE(TfConfidenceFilterParams, 13);
    OFFSET(TfConfidenceFilterParams, enable, 0);
    OFFSET(TfConfidenceFilterParams, reserved, 1);
    OFFSET(TfConfidenceFilterParams, threshold, 5);
    OFFSET(TfConfidenceFilterParams, value, 9);
    SIZE(TfFillHoleFilterParams, 13);
    OFFSET(TfFillHoleFilterParams, reserved, 1);
    OFFSET(TfFillHoleFilterParams, threshold, 5);
    OFFSET(TfFillHoleFilterParams, value, 9);
    SIZE(TfSpatialFilterParams, 13);
    OFFSET(TfSpatialFilterParams, reserved, 1);
    OFFSET(TfSpatialFilterParams, threshold, 5);
    OFFSET(TfSpatialFilterParams, value, 9);
    SIZE(TfFlyingPixelFilterParams, 5);
    OFFSET(TfFlyingPixelFilterParams, threshold, 0);
    OFFSET(TfFlyingPixelFilterParams, enable, 4);

    SIZE(TfMeasuringRange, 7);
    OFFSET(TfMeasuringRange, depthRange, 0);
    OFFSET(TfMeasuringRange, depthMax, 1);

    SIZE(TfWDROutputMode, 16);
    OFFSET(TfWDROutputMode, count, 0);
    OFFSET(TfWDROutputMode, values, 4);
    SIZE(TfTestModeParams, 16);
}

static void CheckNaturalRecords(void)
{
    SIZE(TfFrameMode, 16);
    OFFSET(TfFrameMode, pixelFormat, 0);
    OFFSET(TfFrameMode, resolutionWidth, 4);
    OFFSET(TfFrameMode, resolutionHeight, 8);
    OFFSET(TfFrameMode, fps, 12);

    SIZE(TfVector2u16, 4);
    OFFSET(TfVector2u16, x, 0);
    OFFSET(TfVector2u16, y, 2);
    SIZE(TfVector3f, 12);
    OFFSET(TfVector3f, x, 0);
    OFFSET(TfVector3f, y, 4);
    OFFSET(TfVector3f, z, 8);

    SIZE(TfCameraParameters, 96);
    OFFSET(TfCameraParameters, fx, 0);
    OFFSET(TfCameraParameters, fy, 8);
    OFFSET(TfCameraParameters, cx, 16);
    OFFSET(TfCameraParameters, cy, 24);
    OFFSET(TfCameraParameters, k1, 32);
    OFFSET(TfCameraParameters, k2, 40);
    OFFSET(TfCameraParameters, p1, 48);
    OFFSET(TfCameraParameters, p2, 56);
    OFFSET(TfCameraParameters, k3, 64);
    OFFSET(TfCameraParameters, k4, 72);
    OFFSET(TfCameraParameters, k5, 80);
    OFFSET(TfCameraParameters, k6, 88);
    SIZE(TfCameraExtrinsicParameters, 96);
    OFFSET(TfCameraExtrinsicParameters, rotation, 0);
    OFFSET(TfCameraExtrinsicParameters, translation, 72);

    SIZE(TfFileTransferParams, 280);
    OFFSET(TfFileTransferParams, type, 0);
    OFFSET(TfFileTransferParams, name, 4);
    OFFSET(TfFileTransferParams, direction, 260);
    OFFSET(TfFileTransferParams, index, 261);
    OFFSET(TfFileTransferParams, callback, 264);
    OFFSET(TfFileTransferParams, userData, 272);
    SIZE(TfRawRecordingStatus, 40);
    OFFSET(TfRawRecordingStatus, active, 8);
    OFFSET(TfRawRecordingStatus, writeError, 12);
    OFFSET(TfRawRecordingStatus, buffersWritten, 16);
    OFFSET(TfRawRecordingStatus, bytesWritten, 24);
    OFFSET(TfRawRecordingStatus, buffersDropped, 32);
}

/* The ready flags are bits 1, 2, 4, ... 64 of one 32-bit word, in field order. */
static void CheckFrameReadyBits(void)
{
    union {
        TfFrameReady ready;
        uint32_t word;
    } bits;
    SIZE(TfFrameReady, 4);
    memset(&bits, 0, sizeof(bits));
    bits.ready.depth = 1;
    Check("TfFrameReady.depth bit", bits.word, 1);
    memset(&bits, 0, sizeof(bits));
    bits.ready.ir = 1;
    Check("TfFrameReady.ir bit", bits.word, 2);
    memset(&bits, 0, sizeof(bits));
    bits.ready.color = 1;
    Check("TfFrameReady.color bit", bits.word, 4);
    memset(&bits, 0, sizeof(bits));
    bits.ready.colorMappedToDepth = 1;
    Check("TfFrameReady.colorMappedToDepth bit", bits.word, 8);
    memset(&bits, 0, sizeof(bits));
    bits.ready.depthMappedToColor = 1;
    Check("TfFrameReady.depthMappedToColor bit", bits.word, 16);
    memset(&bits, 0, sizeof(bits));
    bits.ready.irMappedToColor = 1;
    Check("TfFrameReady.irMappedToColor bit", bits.word, 32);
    memset(&bits, 0, sizeof(bits));
    bits.ready.confidence = 1;
    Check("TfFrameReady.confidence bit", bits.word, 64);
}

static void CheckEnumerations(void)
{
    Check("sizeof(TfFrameType)", sizeof(TfFrameType), 4);
    Check("sizeof(TfPixelFormat)", sizeof(TfPixelFormat), 4);
    Check("sizeof(TfDepthRange)", sizeof(TfDepthRange), 4);
    Check("sizeof(TfDeviceType)", sizeof(TfDeviceType), 4);
    Check("sizeof(TfConnectStatus)", sizeof(TfConnectStatus), 4);
    Check("sizeof(TfReturnStatus)", sizeof(TfReturnStatus), 4);
    Check("TF_FRAME_CONFIDENCE", (size_t)TF_FRAME_CONFIDENCE, 8);
    Check("TF_ERROR_OTHER", (size_t)-TF_ERROR_OTHER, 255);
    Check("TF_PROPERTY_CAMERA_PARAMS", (size_t)(uint32_t)TF_PROPERTY_CAMERA_PARAMS, 0xF0000004u);
}

int main(void)
{
    CheckDeviceInfo();
    CheckFrame();
    CheckCallbackFrames();
    CheckParameterRecords();
    CheckNaturalRecords();
    CheckFrameReadyBits();
    CheckEnumerations();
    printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
