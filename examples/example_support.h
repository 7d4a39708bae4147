// SPDX-License-Identifier: Apache-2.0
// What the examples share: waiting for a camera, and the files they write (binary PGM and PPM images
// of frames, point clouds as binary PLY).
#pragma once

#include <stddef.h>
#include <stdio.h>

#include "Orvane_api.h"

/** Bytes per pixel of a frame's pixel format; 0 for a format the examples do not write. */
int BytesPerPixel(uint32_t pixelFormat);
/** True when the frame holds width x height pixels of its format. */
int FrameIsWhole(const TfFrame *frame);
/** Opens dir/name for writing (the full name goes to `path`); NULL, with a message, when it cannot. */
FILE *OpenOutput(const char *dir, const char *name, char *path, size_t pathSize);
/** Grey frames as binary PGM; 16-bit samples are written big-endian as the format requires. */
int SavePgm(const char *dir, const char *name, const TfFrame *frame);
/** RGB or BGR frames as binary PPM. */
int SavePpm(const char *dir, const char *name, const TfFrame *frame);
/** Creates the directory unless it exists. */
int MakeDirectory(const char *dir);
/** The depth frame (or depth mapped into the colour camera) as a binary PLY of its valid points in the
 *  ToF camera's coordinates, millimetres; with `color` of the same size (depth mapped into colour and
 *  its colour frame), each point carries the colour of its pixel. Runs before the camera is closed:
 *  the conversion uses the camera's calibration. */
int SavePointCloud(TfDeviceHandle device, const char *dir, const char *name, const TfFrame *depth,
                   const TfFrame *color);
/** Sleeps for `ms` milliseconds. */
void SleepMs(long ms);
/** Waits up to five seconds for the camera `wanted` (the first one listed when NULL) to be listed and
 *  copies its URI into `uri`; -1 when none came. */
int WaitForCamera(const char *wanted, char *uri, size_t size);
