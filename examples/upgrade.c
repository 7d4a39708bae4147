// SPDX-License-Identifier: Apache-2.0
// Example: upgrades a camera's firmware, shows the progress the library reports and waits for the
// camera to come back with its new version.
#define _POSIX_C_SOURCE 200809L
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "Orvane_api.h"
#include "example_support.h"

/** The reports the upgrade thread delivered; the callback carries no context, so it lives here. */
static struct
{
    pthread_mutex_t mutex;
    pthread_cond_t changed;
    int finished; /* a final report came */
    int status;   /* the final report */
    int params;
    int lastPercent; /* last progress bar drawn, -1 before the first */
} g_upgrade = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0, 0, 0, -1};

/** A plain sentence for every report but the writing progress. */
static const char *Describe(int status, int params)
{
    switch (status) {
    case 2:
        return "the camera did not come back in upgrade mode";
    case 4:
        return params == 1 ? "the camera accepted the image" : "the camera refused the image";
    case 6:
        return params == 1 ? "the camera finished its first step after writing"
                           : "the camera's step after writing failed";
    case 7:
        return params == 1 ? "the camera finished its second step after writing"
                           : "the camera's second step failed";
    case 8:
        return params == 1 ? "upgrade finished; the camera reboots" : "the upgrade failed on the camera";
    default:
        return "the camera made no progress for too long";
    }
}

/** A report is the last one when the upgrade ended, well (8, 1) or not (any failure value; -1 also
 *  after a stalled writing progress). */
static int IsFinal(int status, int params)
{
    return status == 8 || params == -1 || (status != 5 && params != 1);
}

/** Runs on the library's upgrade thread with no lock of the library held. */
static void OnUpgradeStatus(int status, int params)
{
    pthread_mutex_lock(&g_upgrade.mutex);
    if (status == 5 && params >= 0) {
        if (params != g_upgrade.lastPercent) {
            // On a terminal the bar is redrawn in place; into a file or a pipe each step is a line.
            int terminal = isatty(STDOUT_FILENO);
            int filled = params / 5;
            printf("%swriting [%.*s%*s] %3d%%%s", terminal ? "\r" : "", filled, "####################",
                   20 - filled, "", params, terminal ? "" : "\n");
            fflush(stdout);
            g_upgrade.lastPercent = params;
        }
    } else {
        printf("%s(%d, %d) %s\n", g_upgrade.lastPercent >= 0 && isatty(STDOUT_FILENO) ? "\n" : "", status,
               params, Describe(status, params));
        g_upgrade.lastPercent = -1;
    }
    if (IsFinal(status, params)) {
        g_upgrade.finished = 1;
        g_upgrade.status = status;
        g_upgrade.params = params;
        pthread_cond_signal(&g_upgrade.changed);
    }
    pthread_mutex_unlock(&g_upgrade.mutex);
}

/** Waits up to `seconds` for the final report; 1 when the upgrade finished well. */
static int WaitForFinalReport(int seconds)
{
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += seconds;
    pthread_mutex_lock(&g_upgrade.mutex);
    int timedOut = 0;
    while (!g_upgrade.finished && !timedOut) {
        timedOut = pthread_cond_timedwait(&g_upgrade.changed, &g_upgrade.mutex, &deadline) != 0;
    }
    int ok = g_upgrade.finished && g_upgrade.status == 8 && g_upgrade.params == 1;
    pthread_mutex_unlock(&g_upgrade.mutex);
    if (timedOut) {
        printf("no final report within %d s\n", seconds);
    }
    return ok;
}

/** The camera reboots after the upgrade and is listed again: open it anew until it answers with a
 *  firmware version other than `oldVersion`. */
static int WaitForNewVersion(const char *uri, const char *oldVersion)
{
    for (int tries = 0; tries < 120; ++tries) {
        TfDeviceHandle device = NULL;
        char version[64] = "";
        if (TFCM_OpenDevice(uri, &device) == 0) {
            int read = TFCM_GetFirmwareVersionNumber(device, version, sizeof version);
            TFCM_CloseDevice(&device);
            if (read == 0 && strcmp(version, oldVersion) != 0) {
                printf("the camera is back with firmware %s\n", version);
                return 0;
            }
        }
        SleepMs(500);
    }
    printf("the camera did not come back with a new firmware version\n");
    return 1;
}

static int Upgrade(const char *uri, const char *image)
{
    TfDeviceHandle device = NULL;
    if (TFCM_OpenDevice(uri, &device) != 0) {
        fprintf(stderr, "cannot open %s\n", uri);
        return 1;
    }
    char oldVersion[64] = "";
    TFCM_GetFirmwareVersionNumber(device, oldVersion, sizeof oldVersion);
    printf("opened %s, firmware %s\n", uri, oldVersion);
    // Register the callback first: without it the upgrade is refused before the camera is touched.
    int ret = TFCM_SetUpgradeStatusCallback(device, OnUpgradeStatus);
    if (ret == 0) {
        ret = TFCM_StartUpgradeFirmWare(device, image);
    }
    if (ret != 0) {
        fprintf(stderr, "the upgrade did not start: %d\n", ret);
        TFCM_CloseDevice(&device);
        return 1;
    }
    printf("upgrade started with %s\n", image);
    int ok = WaitForFinalReport(600);
    // The handle belongs to the camera as it was before the reboot: close it and open the camera anew.
    TFCM_CloseDevice(&device);
    return ok ? WaitForNewVersion(uri, oldVersion) : 1;
}

/** Usage: orvane-upgrade IMAGE [uri]; without a URI it upgrades the first camera listed. */
int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s IMAGE [uri]\n", argv[0]);
        return 2;
    }
    if (TFCM_Initialize() != 0) {
        return 1;
    }
    int status = 1;
    char uri[256];
    if (WaitForCamera(argc > 2 ? argv[2] : NULL, uri, sizeof uri) != 0) {
        fprintf(stderr, "no camera found\n");
    } else {
        status = Upgrade(uri, argv[1]);
    }
    TFCM_Shutdown();
    printf("%s\n", status == 0 ? "done" : "failed");
    return status;
}
