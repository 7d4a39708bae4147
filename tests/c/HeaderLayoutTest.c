// SPDX-License-Identifier: Apache-2.0
// Checks, compiled as C99, what the public header's own layout assertions leave open: the order of
// fields of one size, the enumerations' size and values, and the bits of the frame-ready word.
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "Orvane_api.h"

struct Row
{
    const char *what;
    size_t actual;
    size_t expected;
};

#define OFFSET(type, field, expected)                                                                        \
    {                                                                                                        \
#type "." #field, offsetof(type, field), (expected)                                                  \
    }
#define SIZE(type)                                                                                           \
    {                                                                                                        \
        "sizeof(" #type ")", sizeof(type), 4                                                                 \
    }

/* Sizes and the offsets the header asserts are checked wherever it is compiled; these are not. */
static const struct Row kRows[] = {
    OFFSET(CallbackFrames, color, 0),
    OFFSET(CallbackFrames, hasIr, 181),
    OFFSET(CallbackFrames, hasColor, 182),
    OFFSET(CallbackFrames, hasMappedIr, 320),
    OFFSET(TfDepthVector3, depthX, 0),
    OFFSET(TfExposureTimeParams, index, 0),
    OFFSET(TfConfidenceFilterParams, enable, 0),
    OFFSET(TfFillHoleFilterParams, reserved, 1),
    OFFSET(TfFillHoleFilterParams, threshold, 5),
    OFFSET(TfSpatialFilterParams, reserved, 1),
    OFFSET(TfSpatialFilterParams, threshold, 5),
    OFFSET(TfFlyingPixelFilterParams, threshold, 0),
    OFFSET(TfMeasuringRange, depthRange, 0),
    OFFSET(TfWDROutputMode, count, 0),
    OFFSET(TfFrameMode, pixelFormat, 0),
    OFFSET(TfVector2u16, x, 0),
    OFFSET(TfVector3f, x, 0),
    OFFSET(TfCameraParameters, fx, 0),
    OFFSET(TfCameraParameters, k2, 40),
    OFFSET(TfCameraParameters, p1, 48),
    OFFSET(TfCameraParameters, p2, 56),
    OFFSET(TfCameraParameters, k3, 64),
    OFFSET(TfCameraParameters, k4, 72),
    OFFSET(TfCameraParameters, k5, 80),
    OFFSET(TfCameraExtrinsicParameters, rotation, 0),
    OFFSET(TfFileTransferParams, type, 0),
    SIZE(TfFrameType),
    SIZE(TfPixelFormat),
    SIZE(TfDepthRange),
    SIZE(TfDeviceType),
    SIZE(TfConnectStatus),
    SIZE(TfReturnStatus),
    {"TF_FRAME_CONFIDENCE", (size_t)TF_FRAME_CONFIDENCE, 8},
    {"TF_ERROR_OTHER", (size_t)-TF_ERROR_OTHER, 255},
    {"TF_PROPERTY_CAMERA_PARAMS", (size_t)(uint32_t)TF_PROPERTY_CAMERA_PARAMS, 0xF0000004u},
};

static int g_failed = 0;

static void Check(const char *what, size_t actual, size_t expected)
{
    if (actual != expected) {
        ++g_failed;
        printf("FAILED: %s is %lu, expected %lu\n", what, (unsigned long)actual, (unsigned long)expected);
    }
}

/* The ready flags are bits 1, 2, 4, ... 64 of one 32-bit word, in field order. */
#define READY_BIT(field, expected)                                                                           \
    memset(&bits, 0, sizeof(bits));                                                                          \
    bits.ready.field = 1;                                                                                    \
    Check("TfFrameReady." #field, bits.word, (expected))

int main(void)
{
    union {
        TfFrameReady ready;
        uint32_t word;
    } bits;
    size_t i;
    for (i = 0; i < sizeof(kRows) / sizeof(kRows[0]); ++i) {
        Check(kRows[i].what, kRows[i].actual, kRows[i].expected);
    }
    READY_BIT(depth, 1);
    READY_BIT(ir, 2);
    READY_BIT(color, 4);
    READY_BIT(colorMappedToDepth, 8);
    READY_BIT(depthMappedToColor, 16);
    READY_BIT(irMappedToColor, 32);
    READY_BIT(confidence, 64);
    printf("%d failed\n", g_failed);
    return g_failed == 0 ? 0 : 1;
}
