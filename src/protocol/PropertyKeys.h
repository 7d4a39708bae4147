// SPDX-License-Identifier: Apache-2.0
// The one table of property keys: the public keys of TFCM_GetProperty/TFCM_SetProperty and the keys the
// session and the camera use among themselves (status, lists, heartbeat, debug registers).
#pragma once

#include <cstdint>

/// Keys above 0x7FFFFFFF travel as negative 32-bit integers.
constexpr int32_t Key(uint32_t key)
{
    return static_cast<int32_t>(key);
}

// Keys of the public property interface.
constexpr int32_t kKeySerialNumber = 5;
constexpr int32_t kKeyFirmwareVersion = 6;
constexpr int32_t kKeyHardwareVersion = 7;
constexpr int32_t kKeyDataMode = 8;
constexpr int32_t kKeyModeList = 9;
constexpr int32_t kKeyRangeList = 10;
constexpr int32_t kKey11 = 11;
constexpr int32_t kKeyDeviceSn = 12;
constexpr int32_t kKeyMacAddress = 13;
constexpr int32_t kKeySoftwareVersion = 14;
constexpr int32_t kKeyIpAddress = 15;
constexpr int32_t kKeySubnetMask = 16;
constexpr int32_t kKeyDspStatus = 17;
constexpr int32_t kKey18 = 18;
constexpr int32_t kKey19 = 19;
constexpr int32_t kKeyNop = -1;
constexpr int32_t kKeyEnterJsonMode = -4;
constexpr int32_t kKeyStartJsonUpgrade = -5;
constexpr int32_t kKeyDspStatusAlt = Key(0xE0000202u);
constexpr int32_t kKeyMeasuringRange = Key(0xF0000003u);
constexpr int32_t kKeyCameraParams = Key(0xF0000004u);
constexpr int32_t kKeyDataModeAlt = Key(0xF0000005u);
constexpr int32_t kKeyLdEnable = Key(0xF0000006u);
constexpr int32_t kKeyPcba = Key(0xF000000Au);
constexpr int32_t kKeyWorkMode = Key(0xF000000Bu);
constexpr int32_t kKeyGmmGain = Key(0xF000000Du);
constexpr int32_t kKeyAccSensitivity = Key(0xF000000Fu);
constexpr int32_t kKeyGyroSensitivity = Key(0xF0000010u);
constexpr int32_t kKeyImuDataMode = Key(0xF0000011u);
constexpr int32_t kKeyRgbExposure = Key(0xF0000012u);
constexpr int32_t kKeyLens = Key(0xF0000013u);
constexpr int32_t kKeyAccOffset = Key(0xF0000015u);
constexpr int32_t kKeyGyroOffset = Key(0xF0000016u);
constexpr int32_t kKeyAccOffsetTemp = Key(0xF0000017u);
constexpr int32_t kKeyGyroOffsetTemp = Key(0xF0000018u);
constexpr int32_t kKeyFlashType = Key(0xF0000019u);
constexpr int32_t kKeyMeasuringStatus = Key(0xF000001Au);
/// Our own extension: the drop counters record (read only).
constexpr int32_t kKeyDropCounters = 0x4F520001;
/// Our own extension: the raw recording (set: a path to start, an empty text to stop; get: its status).
constexpr int32_t kKeyRawRecording = 0x4F520002;

// Keys of the session's property interface.
constexpr int32_t kSessionStatus = 0x0E000000;
constexpr int32_t kSessionModeList = 0x0E000001;
constexpr int32_t kSessionRangeList = 0x0E000002;
constexpr int32_t kSessionTimeFilteredDepth = 0x0E000003;
constexpr int32_t kSessionTalDelay = 0x0E000004;
constexpr int32_t kSession11 = 0x0E000011;
constexpr int32_t kSessionDeviceSn = 0x0E000012;
constexpr int32_t kSessionMacAddress = 0x0E000013;
constexpr int32_t kSessionSoftwareVersion = 0x0E000014;
constexpr int32_t kSessionIpAddress = 0x0E000015;
constexpr int32_t kSessionSubnetMask = 0x0E000016;
constexpr int32_t kSessionDspStatus = 0x0E000017;
constexpr int32_t kSession18 = 0x0E000018;
constexpr int32_t kSession19 = 0x0E000019;
constexpr int32_t kSessionEnterJsonMode = 0x0E000020;
constexpr int32_t kSessionStartJsonUpgrade = 0x0E000021;
constexpr int32_t kSessionDebugFirst = Key(0xE0000100u);
constexpr int32_t kSessionDebugLast = Key(0xE0000106u);
constexpr int32_t kSessionTemperatureOffset = Key(0xE0000107u);
/// The heartbeat query: a camera that answers it is alive.
constexpr int32_t kSessionHeartbeat = Key(0xE0000099u);
