// SPDX-License-Identifier: Apache-2.0
// The smallest program a library user writes: prints the version the installed library reports.
#include <Orvane_api.h>
#include <stdio.h>

int main(void)
{
    char version[6] = {0};
    if (TFCM_GetSDKVersion(version) != TF_OK) {
        fprintf(stderr, "TFCM_GetSDKVersion failed\n");
        return 1;
    }
    printf("%s\n", version);
    return 0;
}
