// SPDX-License-Identifier: Apache-2.0
// Example: copies calibration files from a camera into ./Config/ and sends one back, showing the
// progress the library reports for each transfer.
#define _POSIX_C_SOURCE 200809L
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "Orvane_api.h"
#include "example_support.h"

/** File types a camera keeps: its intrinsic table, per-range planeness and range offset tables, and
 *  its IR background. */
enum
{
    kIntrinsic = 4,
    kPlaneness = 5,
    kRangeOffset = 6,
    kIrBackground = 7,
};

/** One transfer's progress, shared with the callback through `userData`. */
typedef struct
{
    pthread_mutex_t mutex;
    pthread_cond_t changed;
    int polls;
    int done;   /* the final report came */
    int status; /* 1 OK, 0 failed */
} Progress;

/** Runs on the library's transfer thread at every answer of the camera: 2 while it works, then one
 *  final 1 (done) or 0 (failed). */
static void OnProgress(uint8_t type, uint8_t index, int8_t status, void *userData)
{
    Progress *progress = (Progress *)userData;
    pthread_mutex_lock(&progress->mutex);
    ++progress->polls;
    if (status != 2) {
        progress->done = 1;
        progress->status = status;
        printf("  type %u index %u: %s after %d reports\n", type, index, status == 1 ? "done" : "failed",
               progress->polls);
        pthread_cond_signal(&progress->changed);
    }
    pthread_mutex_unlock(&progress->mutex);
}

/** Runs one transfer to its final report; 0 when the camera reported it done. */
static int Transfer(TfDeviceHandle device, uint32_t type, uint8_t index, int toHost, const char *name)
{
    Progress progress = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0, 0, 0};
    TfFileTransferParams params;
    memset(&params, 0, sizeof params);
    params.type = type;
    params.index = index;
    params.direction = toHost ? 1 : 0;
    // To the camera `name` is the path of the file to send; to the host it is not used (the camera names
    // its upload after its serial number, which the library knows).
    snprintf(params.name, sizeof params.name, "%s", name);
    params.callback = OnProgress;
    params.userData = &progress;
    int ret = TFCM_TransferFile(device, &params);
    if (ret != 0) {
        printf("  type %u index %u: refused (%d)\n", type, index, ret);
        return 1;
    }
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 90;
    pthread_mutex_lock(&progress.mutex);
    while (!progress.done && pthread_cond_timedwait(&progress.changed, &progress.mutex, &deadline) == 0) {
    }
    int ok = progress.done && progress.status == 1;
    pthread_mutex_unlock(&progress.mutex);
    return ok ? 0 : 1;
}

static int Run(TfDeviceHandle device)
{
    int failures = 0;
    printf("from the camera into ./Config/:\n");
    failures += Transfer(device, kIntrinsic, 0, 1, "");
    failures += Transfer(device, kPlaneness, 0, 1, "");
    failures += Transfer(device, kIrBackground, 0, 1, "");
    printf("to the camera:\n");
    failures += Transfer(device, kIntrinsic, 0, 0, "./Config/intrinsic.bin");
    return failures != 0;
}

/** Usage: orvane-transfer [uri]; without a URI it uses the first camera listed. */
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
        // Closing waits for a transfer still running to end.
        TFCM_CloseDevice(&device);
    }
    TFCM_Shutdown();
    printf("%s\n", status == 0 ? "done" : "failed");
    return status;
}
