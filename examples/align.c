// SPDX-License-Identifier: Apache-2.0
// Example: registers depth with colour. Opens a camera, undistorts both cameras' images, maps depth
// into the colour camera, and saves the registered depth, the colour image and a coloured point cloud.
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Orvane_api.h"
#include "example_support.h"

/** A frame copied out of the library's memory, which the next read reuses. */
typedef struct Kept
{
    TfFrame frame;
    uint8_t *pixels;
} Kept;

static int Keep(TfDeviceHandle device, TfFrameType type, Kept *kept)
{
    TfFrame frame;
    if (TFCM_GetFrame(device, type, &frame) != 0 || frame.pFrameData == NULL || frame.dataLen == 0) {
        return -1;
    }
    uint8_t *pixels = realloc(kept->pixels, frame.dataLen);
    if (pixels == NULL) {
        return -1;
    }
    memcpy(pixels, frame.pFrameData, frame.dataLen);
    kept->pixels = pixels;
    kept->frame = frame;
    kept->frame.pFrameData = pixels;
    return 0;
}

/** Reads sets until one holds both the colour image and the depth mapped into it (up to 5 s). */
static int ReadAlignedSet(TfDeviceHandle device, Kept *depth, Kept *color)
{
    for (int tries = 0; tries < 50; ++tries) {
        TfFrameReady ready;
        memset(&ready, 0, sizeof ready);
        if (TFCM_ReadNextFrame(device, &ready) != 0) {
            continue; /* nothing within the wait time: try again */
        }
        if (ready.depthMappedToColor && ready.color &&
            Keep(device, TF_FRAME_DEPTH_MAPPED_TO_COLOR, depth) == 0 &&
            Keep(device, TF_FRAME_COLOR, color) == 0) {
            return 0;
        }
    }
    return -1;
}

static void PrintIntrinsics(TfDeviceHandle device, TfSensorType sensor, const char *name)
{
    TfCameraParameters p;
    if (TFCM_GetCameraParameters(device, sensor, &p) == 0) {
        printf("%s intrinsics of the delivered images: fx %.2f fy %.2f cx %.2f cy %.2f\n", name, p.fx, p.fy,
               p.cx, p.cy);
    }
}

int main(int argc, char **argv)
{
    const char *dir = argc > 2 ? argv[2] : "align-output";
    if (TFCM_Initialize() != 0) {
        fprintf(stderr, "TFCM_Initialize failed\n");
        return 1;
    }
    char uri[256];
    int status = 1;
    TfDeviceHandle device = NULL;
    if (WaitForCamera(argc > 1 ? argv[1] : NULL, uri, sizeof uri) != 0) {
        fprintf(stderr, "no camera found\n");
    } else if (TFCM_OpenDevice(uri, &device) != 0) {
        fprintf(stderr, "cannot open %s\n", uri);
    } else {
        // Undistorted images of both cameras, and the depth drawn into the colour camera's view: each
        // pixel of the registered depth is the distance along the colour camera's axis of what that
        // colour pixel shows (0 where the ToF camera cannot see it).
        const int tof = TFCM_SetToFDistortionCorrectionEnabled(device, true);
        const int rgb = TFCM_SetColorDistortionCorrectionEnabled(device, true);
        const int map = TFCM_SetTransformDepthImgToColorCameraEnabled(device, true);
        printf("opened %s: ToF undistortion %d, colour undistortion %d, depth to colour %d\n", uri, tof, rgb,
               map);
        PrintIntrinsics(device, TF_SENSOR_TOF, "ToF");
        PrintIntrinsics(device, TF_SENSOR_COLOR, "colour");

        Kept depth = {{0}, NULL};
        Kept color = {{0}, NULL};
        if (ReadAlignedSet(device, &depth, &color) != 0) {
            fprintf(stderr, "no set with registered depth and colour\n");
        } else if (MakeDirectory(dir) == 0) {
            printf("registered depth %ux%u, colour %ux%u\n", depth.frame.width, depth.frame.height,
                   color.frame.width, color.frame.height);
            // The point cloud is in the ToF camera's coordinates (mm), each point with its pixel's colour.
            status = SavePgm(dir, "depth-registered.pgm", &depth.frame) != 0 ||
                     SavePpm(dir, "colour.ppm", &color.frame) != 0 ||
                     SavePointCloud(device, dir, "pointcloud.ply", &depth.frame, &color.frame) != 0;
        }
        free(depth.pixels);
        free(color.pixels);
        printf("closed (%d)\n", TFCM_CloseDevice(&device));
    }
    printf("shut down (%d)\n", TFCM_Shutdown());
    return status;
}
