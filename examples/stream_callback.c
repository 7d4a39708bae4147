// SPDX-License-Identifier: Apache-2.0
// Example: receives a camera's frames through a notification function, then unregisters it and polls.
#define _POSIX_C_SOURCE 200809L
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "Orvane_api.h"
#include "example_support.h"

/** What the notification function saw; it runs on the library's callback thread, so a mutex guards it. */
static struct
{
    pthread_mutex_t mutex;
    unsigned long sets;
    unsigned long depth, ir, confidence, color;
    uint32_t lastDepthIndex;
    int indexWentBack;
} g_seen = {PTHREAD_MUTEX_INITIALIZER, 0, 0, 0, 0, 0, 0, 0};

/** Called once per frame set. The frames' pixels are valid only during the call: copy what you keep. */
static int OnFrames(CallbackFrames *frames)
{
    pthread_mutex_lock(&g_seen.mutex);
    ++g_seen.sets;
    if (frames->hasDepth) {
        if (g_seen.depth > 0 && frames->depth.frameIndex <= g_seen.lastDepthIndex) {
            g_seen.indexWentBack = 1;
        }
        g_seen.lastDepthIndex = frames->depth.frameIndex;
        ++g_seen.depth;
    }
    g_seen.ir += frames->hasIr != 0;
    g_seen.confidence += frames->hasConfidence != 0;
    g_seen.color += frames->hasColor != 0;
    pthread_mutex_unlock(&g_seen.mutex);
    return 0;
}

static int Run(TfDeviceHandle device)
{
    // The camera streams from the open on; the notification function takes over from polling.
    if (TFCM_RegisterNotify(device, OnFrames) != 0) {
        fprintf(stderr, "TFCM_RegisterNotify failed\n");
        return 1;
    }
    SleepMs(2000);
    if (TFCM_UnRegisterNotify(device) != 0) {
        fprintf(stderr, "TFCM_UnRegisterNotify failed\n");
        return 1;
    }
    pthread_mutex_lock(&g_seen.mutex);
    printf("notified: %lu sets; depth %lu, IR %lu, confidence %lu, colour %lu; last depth index %u\n",
           g_seen.sets, g_seen.depth, g_seen.ir, g_seen.confidence, g_seen.color, g_seen.lastDepthIndex);
    int status = g_seen.depth == 0 || g_seen.indexWentBack;
    pthread_mutex_unlock(&g_seen.mutex);

    // Without a notification function, frames are read by polling again.
    int polled = 0;
    for (int tries = 0; tries < 50 && polled < 5; ++tries) {
        TfFrameReady ready;
        memset(&ready, 0, sizeof ready);
        if (TFCM_ReadNextFrame(device, &ready) != 0 || !ready.depth) {
            continue;
        }
        TfFrame depth;
        if (TFCM_GetFrame(device, TF_FRAME_DEPTH, &depth) == 0) {
            printf("polled depth frame %u: %ux%u, %u bytes\n", depth.frameIndex, depth.width, depth.height,
                   depth.dataLen);
            ++polled;
        }
    }
    return status || polled == 0;
}

/** Usage: orvane-stream-callback [uri]; without a URI it opens the first camera listed. */
int main(int argc, char **argv)
{
    if (TFCM_Initialize() != 0) {
        return 1;
    }
    int status = 1;
    char uri[256];
    TfDeviceHandle device = NULL;
    if (WaitForCamera(argc > 1 ? argv[1] : NULL, uri, sizeof uri) != 0) {
        fprintf(stderr, "no camera found\n");
    } else if (TFCM_OpenDevice(uri, &device) != 0) {
        fprintf(stderr, "cannot open %s\n", uri);
    } else {
        printf("opened %s\n", uri);
        status = Run(device);
        TFCM_CloseDevice(&device);
    }
    TFCM_Shutdown();
    printf("%s\n", status == 0 ? "done" : "failed");
    return status;
}
