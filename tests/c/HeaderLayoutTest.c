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

#define OFFSET(type, field) #type "." #field, offsetof(type, field)
#define SIZE(type) "sizeof(" #type ")", sizeof(type)

/* The header asserts every size and all offsets but those of a few fields of one size between asserted
 * ones: those could trade places unseen, and are checked here (the last of each run follows). */
static const struct Row kRows[] = {
    {OFFSET(CallbackFrames, hasIr), 181},
    {OFFSET(TfFillHoleFilterParams, threshold), 5},
    {OFFSET(TfSpatialFilterParams, threshold), 5},
    {OFFSET(TfCameraParameters, k2), 40},
    {OFFSET(TfCameraParameters, p1), 48},
    {OFFSET(TfCameraParameters, p2), 56},
    {OFFSET(TfCameraParameters, k3), 64},
    {OFFSET(TfCameraParameters, k4), 72},
    {SIZE(TfFrameType), 4},
    {SIZE(TfPixelFormat), 4},
    {SIZE(TfDepthRange), 4},
    {SIZE(TfDeviceType), 4},
    {SIZE(TfConnectStatus), 4},
    {SIZE(TfReturnStatus), 4},
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
