// SPDX-License-Identifier: Apache-2.0
// The device manager's upgrade job as the exported functions set it: none, a firmware upgrade, or a
// JSON configuration.
#pragma once

enum UpgradeJob : int
{
    kUpgradeIdle = 0,
    kUpgradeFirmware = 1,
    kUpgradeJson = 2,
};
