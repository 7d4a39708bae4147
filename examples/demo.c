// SPDX-License-Identifier: Apache-2.0
// The demo: finds a camera, streams it for a few seconds with per-stream frame rates, saves the last
// depth, IR, confidence and colour frames and a point cloud (aligned with the colour camera and
// coloured with -a), closes the camera and shuts down.
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "Orvane_api.h"
#include "example_support.h"

enum
{
    kDepth,
    kIr,
    kConfidence,
    kColor,
    kMapped, /* depth mapped into the colour camera: only with -a */
    kStreamCount
};

static const char *const kStreamNames[kStreamCount] = {"depth", "IR", "confidence", "colour",
                                                       "aligned depth"};
static const TfFrameType kStreamTypes[kStreamCount] = {TF_FRAME_DEPTH, TF_FRAME_IR, TF_FRAME_CONFIDENCE,
                                                       TF_FRAME_COLOR, TF_FRAME_DEPTH_MAPPED_TO_COLOR};

/** The last frame of one stream, copied out of the library's memory (which the next read reuses). */
typedef struct SavedFrame
{
    TfFrame info;
    uint8_t *pixels;
    size_t capacity;
    unsigned long total;    /* frames received over the whole run */
    unsigned long inSecond; /* frames received in the current one-second window */
} SavedFrame;

typedef struct Options
{
    long discoveryWaitMs;
    double durationSeconds;
    const char *outputDir;
    int depthRange;  /* -1: keep the camera's */
    const char *uri; /* the camera to open; NULL: the first one listed */
    int align;       /* undistort both cameras and map depth into the colour camera */
} Options;

static const char *StatusName(uint32_t status)
{
    switch (status) {
    case 2:
        return "available";
    case 3:
        return "opened";
    case 4:
        return "upgrading";
    case 5:
        return "busy";
    default:
        return "removed";
    }
}

static double NowSeconds(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static void Usage(const char *program)
{
    printf(
        "usage: %s [-t seconds] [-o directory] [-w milliseconds] [-r range] [-u uri] [-a] "
        "[discovery-wait-ms]\n"
        "  -t  how long to stream (default 3 s)\n"
        "  -o  where to write the frames and the point cloud (default demo-output)\n"
        "  -w  how long to look for cameras (default 2500 ms; a bare number means the same)\n"
        "  -r  depth range 0 (shortest) to 5 (longest) to stream in (default: the camera's)\n"
        "  -u  the camera to open, e.g. KR52Lite:SN0001 (default: the first one listed)\n"
        "  -a  align: undistort both cameras, map depth into the colour camera and colour the point cloud\n",
        program);
}

/** Parses the command line; returns 0, 1 for --help or 2 for a bad option. */
static int ParseOptions(int argc, char **argv, Options *options)
{
    options->discoveryWaitMs = 2500;
    options->durationSeconds = 3.0;
    options->outputDir = "demo-output";
    options->depthRange = -1;
    options->uri = NULL;
    options->align = 0;
    int opt;
    while ((opt = getopt(argc, argv, "t:o:w:r:u:ah")) != -1) {
        char *end = NULL;
        switch (opt) {
        case 't':
            options->durationSeconds = strtod(optarg, &end);
            if (end == optarg || *end != '\0' || options->durationSeconds <= 0.0 ||
                options->durationSeconds > 3600.0) {
                fprintf(stderr, "-t wants a number of seconds from 0 to 3600\n");
                return 2;
            }
            break;
        case 'o':
            options->outputDir = optarg;
            break;
        case 'w':
            options->discoveryWaitMs = strtol(optarg, &end, 10);
            if (end == optarg || *end != '\0' || options->discoveryWaitMs < 0) {
                fprintf(stderr, "-w wants a number of milliseconds\n");
                return 2;
            }
            break;
        case 'r':
            options->depthRange = (int)strtol(optarg, &end, 10);
            if (end == optarg || *end != '\0' || options->depthRange < 0 || options->depthRange > 5) {
                fprintf(stderr, "-r wants a depth range from 0 to 5\n");
                return 2;
            }
            break;
        case 'u':
            options->uri = optarg;
            break;
        case 'a':
            options->align = 1;
            break;
        case 'h':
            return 1;
        default:
            return 2;
        }
    }
    if (optind < argc) {
        // The demo used to take the discovery wait as its only argument; scripts still pass it so.
        char *end = NULL;
        options->discoveryWaitMs = strtol(argv[optind], &end, 10);
        if (end == argv[optind] || *end != '\0' || options->discoveryWaitMs < 0 || optind + 1 < argc) {
            return 2;
        }
    }
    return 0;
}

/** The index of the camera listed under `uri` in `list`, or -1. */
static int FindUri(const TfDeviceInfo *list, uint32_t count, const char *uri)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (strcmp(list[i].uri, uri) == 0) {
            return (int)i;
        }
    }
    return -1;
}

/** Reads the camera list into `*listOut` (caller frees); returns the number of cameras. */
static uint32_t ReadCameraList(TfDeviceInfo **listOut)
{
    uint32_t count = 0;
    *listOut = NULL;
    if (TFCM_GetDeviceCount(&count) != 0 || count == 0) {
        return 0;
    }
    TfDeviceInfo *list = calloc(count, sizeof(TfDeviceInfo));
    if (list == NULL || TFCM_GetDeviceListInfo(list, count) != 0) {
        free(list);
        return 0;
    }
    *listOut = list;
    return count;
}

/** Waits until the wanted camera (any camera without `uri`) is listed or the wait is over, lists what
 *  it found and returns the index of the camera to open, or -1. */
static int FindCameras(long waitMs, const char *uri, TfDeviceInfo **listOut, uint32_t *countOut)
{
    if (uri != NULL) {
        printf("looking for %s for up to %ld ms...\n", uri, waitMs);
    } else {
        printf("looking for cameras for up to %ld ms...\n", waitMs);
    }
    const double deadline = NowSeconds() + (double)waitMs / 1000.0;
    TfDeviceInfo *list = NULL;
    uint32_t count = 0;
    int chosen = -1;
    for (;;) {
        count = ReadCameraList(&list);
        chosen = uri != NULL ? FindUri(list, count, uri) : (count > 0 ? 0 : -1);
        if (chosen >= 0 || NowSeconds() >= deadline) {
            break;
        }
        free(list);
        SleepMs(50);
    }
    printf("%u camera(s) found\n", count);
    for (uint32_t i = 0; i < count; ++i) {
        char ip[16] = {0};
        TFCM_GetDeviceIP(list[i].uri, ip);
        printf("  [%u] %s  alias=%s  ip=%s  sessions=%u  status=%s\n", i, list[i].uri, list[i].alias, ip,
               list[i].sessionCount, StatusName(list[i].status));
    }
    *listOut = list;
    *countOut = count;
    return chosen;
}

static int KeepFrame(SavedFrame *saved, const TfFrame *frame)
{
    if (frame->pFrameData == NULL || frame->dataLen == 0) {
        return -1;
    }
    if (frame->dataLen > saved->capacity) {
        uint8_t *bigger = realloc(saved->pixels, frame->dataLen);
        if (bigger == NULL) {
            return -1;
        }
        saved->pixels = bigger;
        saved->capacity = frame->dataLen;
    }
    memcpy(saved->pixels, frame->pFrameData, frame->dataLen);
    saved->info = *frame;
    saved->info.pFrameData = saved->pixels;
    return 0;
}

static void PrintRates(double seconds, SavedFrame *saved, int streams, double windowSeconds)
{
    printf("%5.1f s ", seconds);
    for (int s = 0; s < streams; ++s) {
        printf(" %s %.1f fps", kStreamNames[s], (double)saved[s].inSecond / windowSeconds);
        saved[s].inSecond = 0;
    }
    printf("\n");
    fflush(stdout);
}

/** Reads frames for the given time; returns 0 unless the camera failed in a way reading cannot survive. */
static int Stream(TfDeviceHandle device, double durationSeconds, SavedFrame *saved, int streams)
{
    const double start = NowSeconds();
    double windowStart = start;
    double nextReport = start + 1.0;
    int lastError = 0;
    for (;;) {
        const double now = NowSeconds();
        if (now >= nextReport) {
            PrintRates(now - start, saved, streams, now - windowStart);
            windowStart = now;
            /* Whole seconds from the start: late looks must not push the last report past the end. */
            nextReport += 1.0;
        }
        if (now - start >= durationSeconds) {
            break;
        }
        TfFrameReady ready;
        memset(&ready, 0, sizeof ready);
        int ret = TFCM_ReadNextFrame(device, &ready);
        if (ret == TF_ERROR_FRAME_TIMEOUT) {
            continue;
        }
        if (ret != 0) {
            if (ret != lastError) {
                fprintf(stderr, "TFCM_ReadNextFrame: %d\n", ret);
                lastError = ret;
            }
            if (ret == TF_ERROR_INVALID_HANDLE) {
                return ret;
            }
            SleepMs(20);
            continue;
        }
        const unsigned isReady[kStreamCount] = {ready.depth, ready.ir, ready.confidence, ready.color,
                                                ready.depthMappedToColor};
        for (int s = 0; s < streams; ++s) {
            if (!isReady[s]) {
                continue;
            }
            TfFrame frame;
            if (TFCM_GetFrame(device, kStreamTypes[s], &frame) == 0 && KeepFrame(&saved[s], &frame) == 0) {
                ++saved[s].total;
                ++saved[s].inSecond;
            }
        }
    }
    printf("average:");
    const double elapsed = NowSeconds() - start;
    for (int s = 0; s < streams; ++s) {
        printf(" %s %.1f fps (%lu)", kStreamNames[s], (double)saved[s].total / elapsed, saved[s].total);
    }
    printf("\n");
    return 0;
}

/** Prints what the library dropped while streaming, by stream and reason, and what it delivered. */
static void PrintDropCounters(TfDeviceHandle device)
{
    TfDropCounters c;
    int32_t size = sizeof c;
    const int ret = TFCM_GetProperty(device, TF_PROPERTY_EXT_DROP_COUNTERS, &c, &size);
    if (ret != 0) {
        fprintf(stderr, "drop counters: %d\n", ret);
        return;
    }
    const TfDropCounts *counts[2] = {&c.tof, &c.color};
    const char *names[2] = {"ToF", "colour"};
    const uint64_t delivered[2] = {c.tofDelivered, c.colorDelivered};
    for (int s = 0; s < 2; ++s) {
        printf("%-6s delivered %llu, dropped: queue full %llu, set incomplete %llu, decode error %llu, "
               "buffer refused %llu, colour late %llu\n",
               names[s], (unsigned long long)delivered[s], (unsigned long long)counts[s]->queueFull,
               (unsigned long long)counts[s]->setIncomplete, (unsigned long long)counts[s]->decodeError,
               (unsigned long long)counts[s]->bufferRefused, (unsigned long long)counts[s]->colorLate);
    }
}

/** Opens the first camera, streams, saves; returns the process's exit status for this part. */
static int RunCamera(const TfDeviceInfo *camera, const Options *options)
{
    TfDeviceHandle device = NULL;
    int ret = TFCM_OpenDevice(camera->uri, &device);
    if (ret != 0) {
        fprintf(stderr, "TFCM_OpenDevice(%s): %d\n", camera->uri, ret);
        return 1;
    }
    // Confidence frames are off until asked for.
    ret = TFCM_SetConfidenceFrameEnabled(device, true);
    if (ret != 0) {
        fprintf(stderr, "TFCM_SetConfidenceFrameEnabled: %d\n", ret);
    }
    TfConfidenceFilterParams filter;
    if (TFCM_GetConfidenceFilterParams(device, &filter) == 0) {
        printf("confidence filter: %s, threshold %u, value %u\n", filter.enable ? "on" : "off",
               (unsigned)filter.threshold, (unsigned)filter.value);
        // Pixels more confident than `value` lose their depth, so an upper bound of 0 blanks the
        // whole image: such a filter is switched off for the demo.
        if (filter.enable && filter.value == 0 && TFCM_SetConfidenceFilterEnabled(device, false) == 0) {
            printf("confidence filter switched off\n");
        }
    }
    if (options->depthRange >= 0) {
        // The camera streams from the open on; the library stops and restarts it around the change.
        ret = TFCM_SetDepthRange(device, (TfDepthRange)options->depthRange);
        printf("depth range %d (%d)\n", options->depthRange, ret);
    }
    const int streams = options->align ? kStreamCount : kMapped;
    if (options->align) {
        /* Both cameras' images undistorted, and depth drawn into the colour camera's view. */
        printf("aligned: ToF undistortion %d, colour undistortion %d, depth to colour %d\n",
               TFCM_SetToFDistortionCorrectionEnabled(device, true),
               TFCM_SetColorDistortionCorrectionEnabled(device, true),
               TFCM_SetTransformDepthImgToColorCameraEnabled(device, true));
    }
    printf("opened %s; streaming for %.1f s\n", camera->uri, options->durationSeconds);
    fflush(stdout);

    SavedFrame saved[kStreamCount];
    memset(saved, 0, sizeof saved);
    int status = Stream(device, options->durationSeconds, saved, streams) == 0 ? 0 : 1;
    for (int s = 0; s < streams; ++s) {
        if (saved[s].total == 0) {
            fprintf(stderr, "no %s frames\n", kStreamNames[s]);
            status = 1;
        }
    }

    if (MakeDirectory(options->outputDir) != 0) {
        status = 1;
    } else {
        const char *dir = options->outputDir;
        status |= saved[kDepth].total > 0 && SavePgm(dir, "depth.pgm", &saved[kDepth].info) != 0;
        status |= saved[kIr].total > 0 && SavePgm(dir, "ir.pgm", &saved[kIr].info) != 0;
        status |=
            saved[kConfidence].total > 0 && SavePgm(dir, "confidence.pgm", &saved[kConfidence].info) != 0;
        status |= saved[kColor].total > 0 && SavePpm(dir, "colour.ppm", &saved[kColor].info) != 0;
        // The conversion uses the camera's calibration, so it runs before the close. Aligned, the point
        // cloud comes from the depth in the colour camera and each point takes its pixel's colour.
        if (options->align) {
            status |=
                saved[kMapped].total > 0 && SavePgm(dir, "depth-aligned.pgm", &saved[kMapped].info) != 0;
            status |=
                saved[kMapped].total > 0 && saved[kColor].total > 0 &&
                SavePointCloud(device, dir, "pointcloud.ply", &saved[kMapped].info, &saved[kColor].info) != 0;
        } else {
            status |= saved[kDepth].total > 0 &&
                      SavePointCloud(device, dir, "pointcloud.ply", &saved[kDepth].info, NULL) != 0;
        }
    }

    PrintDropCounters(device);
    ret = TFCM_CloseDevice(&device);
    printf("closed (%d)\n", ret);
    for (int s = 0; s < kStreamCount; ++s) {
        free(saved[s].pixels);
    }
    return status != 0 || ret != 0;
}

int main(int argc, char **argv)
{
    Options options;
    const int parsed = ParseOptions(argc, argv, &options);
    if (parsed != 0) {
        Usage(argv[0]);
        return parsed == 1 ? 0 : 2;
    }

    int ret = TFCM_Initialize();
    if (ret != 0) {
        fprintf(stderr, "TFCM_Initialize failed: %d\n", ret);
        return 1;
    }
    char version[6] = {0};
    TFCM_GetSDKVersion(version);
    printf("Orvane SDK %s\n", version);

    TfDeviceInfo *list = NULL;
    uint32_t count = 0;
    int status = 1;
    const int chosen = FindCameras(options.discoveryWaitMs, options.uri, &list, &count);
    if (chosen >= 0) {
        status = RunCamera(&list[chosen], &options);
    } else {
        fprintf(stderr, "no camera to open\n");
    }
    free(list);

    ret = TFCM_Shutdown();
    printf("shut down (%d)\n", ret);
    return status == 0 && ret == 0 ? 0 : 1;
}
