// SPDX-License-Identifier: Apache-2.0
// What the examples share: waiting for a camera, and the files they write (binary PGM and PPM images
// of frames, point clouds as binary PLY).
#define _POSIX_C_SOURCE 200809L
#include "example_support.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

int BytesPerPixel(uint32_t pixelFormat)
{
    switch (pixelFormat) {
    case TF_PIXEL_DEPTH_MM16:
    case TF_PIXEL_GRAY16:
        return 2;
    case TF_PIXEL_GRAY8:
        return 1;
    case TF_PIXEL_RGB888:
    case TF_PIXEL_BGR888:
        return 3;
    default:
        return 0;
    }
}

/** True when the frame holds width x height pixels of its format. */
int FrameIsWhole(const TfFrame *frame)
{
    const int bytes = BytesPerPixel(frame->pixelFormat);
    return bytes > 0 && frame->width > 0 && frame->height > 0 &&
           (size_t)frame->dataLen >= (size_t)frame->width * frame->height * (size_t)bytes;
}

FILE *OpenOutput(const char *dir, const char *name, char *path, size_t pathSize)
{
    snprintf(path, pathSize, "%s/%s", dir, name);
    FILE *out = fopen(path, "wb");
    if (out == NULL) {
        fprintf(stderr, "cannot write %s: %s\n", path, strerror(errno));
    }
    return out;
}

/** Grey frames as binary PGM; 16-bit samples are written big-endian as the format requires. */
int SavePgm(const char *dir, const char *name, const TfFrame *frame)
{
    if (!FrameIsWhole(frame) || BytesPerPixel(frame->pixelFormat) == 3) {
        fprintf(stderr, "%s: no whole grey frame to save\n", name);
        return -1;
    }
    char path[4096];
    FILE *out = OpenOutput(dir, name, path, sizeof path);
    if (out == NULL) {
        return -1;
    }
    const int wide = BytesPerPixel(frame->pixelFormat) == 2;
    const size_t pixels = (size_t)frame->width * frame->height;
    fprintf(out, "P5\n%u %u\n%u\n", frame->width, frame->height, wide ? 65535u : 255u);
    int ok = 1;
    if (wide) {
        for (size_t i = 0; i < pixels && ok; ++i) {
            uint16_t v;
            memcpy(&v, frame->pFrameData + 2 * i, 2);
            ok = fputc(v >> 8, out) != EOF && fputc(v & 0xFF, out) != EOF;
        }
    } else {
        ok = fwrite(frame->pFrameData, 1, pixels, out) == pixels;
    }
    ok = (fclose(out) == 0) && ok;
    if (ok) {
        printf("saved %s (%ux%u, %d-bit)\n", path, frame->width, frame->height, wide ? 16 : 8);
    }
    return ok ? 0 : -1;
}

int SavePpm(const char *dir, const char *name, const TfFrame *frame)
{
    if (!FrameIsWhole(frame) || BytesPerPixel(frame->pixelFormat) != 3) {
        fprintf(stderr, "%s: no whole colour frame to save\n", name);
        return -1;
    }
    char path[4096];
    FILE *out = OpenOutput(dir, name, path, sizeof path);
    if (out == NULL) {
        return -1;
    }
    const size_t pixels = (size_t)frame->width * frame->height;
    const int bgr = frame->pixelFormat == TF_PIXEL_BGR888;
    fprintf(out, "P6\n%u %u\n255\n", frame->width, frame->height);
    int ok = 1;
    for (size_t i = 0; i < pixels && ok; ++i) {
        const uint8_t *p = frame->pFrameData + 3 * i;
        const uint8_t rgb[3] = {bgr ? p[2] : p[0], p[1], bgr ? p[0] : p[2]};
        ok = fwrite(rgb, 1, 3, out) == 3;
    }
    ok = (fclose(out) == 0) && ok;
    if (ok) {
        printf("saved %s (%ux%u)\n", path, frame->width, frame->height);
    }
    return ok ? 0 : -1;
}

int MakeDirectory(const char *dir)
{
    if (mkdir(dir, 0777) != 0 && errno != EEXIST) {
        fprintf(stderr, "cannot create %s: %s\n", dir, strerror(errno));
        return -1;
    }
    return 0;
}

/** Writes `count` points with positive depth as binary little-endian PLY, with the colour of each
 *  (three bytes in `colorOrder`: 0 RGB, 1 BGR) when `colors` is given. */
static int WritePly(const char *path, FILE *out, const TfVector3f *points, size_t count,
                    const uint8_t *colors, int bgr, uint32_t frameIndex)
{
    size_t valid = 0;
    for (size_t i = 0; i < count; ++i) {
        valid += points[i].z > 0.0f;
    }
    fprintf(out,
            "ply\nformat binary_little_endian 1.0\ncomment frame %u, millimetres, ToF camera coordinates\n"
            "element vertex %zu\nproperty float x\nproperty float y\nproperty float z\n",
            frameIndex, valid);
    if (colors != NULL) {
        fprintf(out, "property uchar red\nproperty uchar green\nproperty uchar blue\n");
    }
    fprintf(out, "end_header\n");
    int ok = 1;
    for (size_t i = 0; i < count && ok; ++i) {
        if (points[i].z <= 0.0f) {
            continue;
        }
        /* The PLY floats are little-endian IEEE 754, as they are in memory on the machines we build for. */
        ok = fwrite(&points[i], sizeof(float), 3, out) == 3;
        if (ok && colors != NULL) {
            const uint8_t *c = colors + 3 * i;
            const uint8_t rgb[3] = {bgr ? c[2] : c[0], c[1], bgr ? c[0] : c[2]};
            ok = fwrite(rgb, 1, 3, out) == 3;
        }
    }
    ok = (fclose(out) == 0) && ok;
    if (ok) {
        printf("saved %s (%zu points%s)\n", path, valid, colors != NULL ? ", coloured" : "");
    }
    return ok ? 0 : -1;
}

int SavePointCloud(TfDeviceHandle device, const char *dir, const char *name, const TfFrame *depth,
                   const TfFrame *color)
{
    if (!FrameIsWhole(depth) || BytesPerPixel(depth->pixelFormat) != 2) {
        fprintf(stderr, "%s: no whole depth frame to convert\n", name);
        return -1;
    }
    const size_t pixels = (size_t)depth->width * depth->height;
    const int coloured = color != NULL && FrameIsWhole(color) && BytesPerPixel(color->pixelFormat) == 3 &&
                         color->width == depth->width && color->height == depth->height;
    if (color != NULL && !coloured) {
        fprintf(stderr, "%s: the colour frame does not match the depth frame; writing no colour\n", name);
    }
    TfVector3f *points = calloc(pixels, sizeof(TfVector3f));
    if (points == NULL) {
        return -1;
    }
    int ret = TFCM_ConvertDepthFrameToPointCloudVector(device, depth, points);
    if (ret != 0) {
        fprintf(stderr, "TFCM_ConvertDepthFrameToPointCloudVector: %d\n", ret);
        free(points);
        return -1;
    }
    char path[4096];
    FILE *out = OpenOutput(dir, name, path, sizeof path);
    ret = out == NULL ? -1
                      : WritePly(path, out, points, pixels, coloured ? color->pFrameData : NULL,
                                 coloured && color->pixelFormat == TF_PIXEL_BGR888, depth->frameIndex);
    free(points);
    return ret;
}

void SleepMs(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

int WaitForCamera(const char *wanted, char *uri, size_t size)
{
    for (int tries = 0; tries < 100; ++tries) {
        uint32_t count = 0;
        TfDeviceInfo info;
        if (TFCM_GetDeviceCount(&count) == 0) {
            for (uint32_t i = 0; i < count; ++i) {
                if (TFCM_GetDeviceInfo(&info, i) == 0 && (wanted == NULL || strcmp(info.uri, wanted) == 0)) {
                    snprintf(uri, size, "%s", info.uri);
                    return 0;
                }
            }
        }
        SleepMs(50);
    }
    return -1;
}
