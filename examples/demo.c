// SPDX-License-Identifier: Apache-2.0
// The demo: initialises the library, prints its version and the cameras it sees, and shuts down.
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "Orvane_api.h"

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

static void SleepMs(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

int main(int argc, char **argv)
{
    // Cameras announce themselves once a second; give discovery a few rounds to list them.
    long waitMs = argc > 1 ? atol(argv[1]) : 2500;

    int ret = TFCM_Initialize();
    if (ret != 0) {
        fprintf(stderr, "TFCM_Initialize failed: %d\n", ret);
        return 1;
    }
    char version[6] = {0};
    TFCM_GetSDKVersion(version);
    printf("Orvane SDK %s\n", version);

    printf("looking for cameras for %ld ms...\n", waitMs);
    SleepMs(waitMs);

    uint32_t count = 0;
    TFCM_GetDeviceCount(&count);
    printf("%u camera(s) found\n", count);
    if (count > 0) {
        TfDeviceInfo *list = calloc(count, sizeof(TfDeviceInfo));
        if (list != NULL && TFCM_GetDeviceListInfo(list, count) == 0) {
            for (uint32_t i = 0; i < count; ++i) {
                char ip[16] = {0};
                TFCM_GetDeviceIP(list[i].uri, ip);
                printf("  [%u] %s  alias=%s  ip=%s  sessions=%u  status=%s\n", i, list[i].uri, list[i].alias,
                       ip, list[i].sessionCount, StatusName(list[i].status));
            }
        }
        free(list);
    }

    ret = TFCM_Shutdown();
    printf("shut down (%d)\n", ret);
    return ret == 0 ? 0 : 1;
}
