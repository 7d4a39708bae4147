// SPDX-License-Identifier: Apache-2.0
// The settings model of one simulated ToF session: what the camera's setting commands change and its
// queries report.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

/// One lens configuration as the camera keeps it, keyed by `type`.
struct SimLensConfig
{
    uint8_t type = 0;
    uint8_t state = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t fps = 0;
    uint8_t encodeType = 0; // 0 raw, 1 JPEG
};

/// The three range limits of one measuring mode, in millimetres.
struct SimMeasuringRange
{
    uint16_t range0 = 0; ///< the largest depth reported
    uint16_t range1 = 0; ///< the smallest depth reported
    uint16_t range2 = 0; ///< the range's unambiguous distance
};

/// The work-mode record; each flag is 0 or 1 and `option` 0 to 2 as the host sends them.
struct SimWorkMode
{
    uint8_t mode = 0;
    uint8_t flag1 = 0;
    uint8_t flag2 = 0;
    uint8_t flag3 = 0;
    uint8_t option = 0;
};

/// One DSP function of the two-level table (group, sub-id); the confidence filter is (1, 6).
struct SimDspFunction
{
    uint8_t enable = 0;
    uint16_t threshold = 0;
    uint16_t value = 0;
};

/// The camera-side state behind the command set, one per ToF session. Defaults describe a KR52Lite.
///
/// Command by command (the id is the command byte without bit 7; a query answers the data bytes
/// shown, d[i] being reply data byte i):
/// - 0x1B stream: set [0] = 1 on, 0 off → `streaming`; query d[0] = `streaming`.
/// - 0x04 frame rate: set [0] → `frameRate`; query d[0].
/// - 0x06 data mode, 0x07 depth range: set [0] → `dataMode` / `depthRange`; query d[0].
/// - 0x02 slave mode: set [0] = 0..2 → `slaveMode`; set [0] = 8, [1] = on → `slaveModeEnabled`;
///   query d[0] = `slaveMode`. 0x1F trigger: each set counts one `slaveTriggers`; query d[0..3].
/// - 0x15: [0] = 4 is the GMM gain (set [1] → `gmmGain`; query d[0] = 4, d[1] = gain); any other [0]
///   is a lens type: set the 8 record bytes into `lenses`; query [0] = type answers d[0..7] (an unknown
///   type answers its type and zeros).
/// - 0x08 dual frequency: set [0] = count, [1..3] = values → `dualFreqCount`, `dualFreqValues`
///   (signed bytes); query d[0..3].
/// - 0x03 exposure: set [0] = index, [1..4] = u32 → `exposureUs[index]`; query [0] = index answers
///   d[0] = index, d[1..4] (0 for an unknown index).
/// - 0x11 measuring range: set mode, range0, range1, range2 (u8, three u16) → `measuringRanges[mode]`;
///   query [0] = mode answers the 7-byte record.
/// - 0x12 work mode: set [0] = 8 reboots (`rebootCount` + 1); [0] = 0x20 enters ([3] = 0) or leaves
///   ([3] = 1) low power, bit 0x20 of `workMode.mode`; otherwise the 5 record bytes →
///   `workMode`; query d[0..4] = the record.
/// - 0x1E test mode: set [0] = type, [1..4] = parameters → `testModeType`, `testModeParams`;
///   query d[0] = type, d[1..4].
/// - 0x01: set [0] → `cameraParamsEnabled`; query d[0].
/// - 0x05 registers: set [0..1] = register, [2..3] = value → `registers`; query [0..1] answers
///   d[0..1] = register, d[2..3] = value (0 for a register never written).
/// - 0x10 calibration: [0] = sub-id 0..14 and 3 to 5 doubles (the table in SimCommandSet.cpp);
///   query answers d[0] = sub-id, d[1..] = the doubles.
/// - 0x13 device strings: sub-ids 1 `pcba`, 2 `serial`, 3 `firmwareVersion`, 4 `hardwareVersion`,
///   23 `alias`; query d[0] = sub-id, d[1..] = text and a NUL. Sub-ids 6 `depthRanges` and
///   7 `dataModes` are lists: 64 bytes, [0] = sub-id, [1] = count (at most 62), entries.
/// - 0x18 network identity: set sub-ids 2..6 (`deviceSerial`, `macAddress`, `softwareVersion`,
///   `ipAddress`, `subnetMask`), queried with sub-id + 16; query 0x17 answers d[0] = 0x17,
///   d[1] = `jsonConfigSupported`.
/// - 0x19 DSP: [1] = 1 / 0x81 switches a group on or off (`dspSwitches[[2]]` = [3]);
///   [1] = 2 / 0x82 addresses `dspFunctions[([2], [3])]`: enable [4], threshold [5..6], value [7..8],
///   answered at the same positions of a 64-byte reply.
/// - 0x1D upgrade and JSON: [0] = 2 query answers d[2] = `upgradeSupported`; [0] = 3, [1] = 1 query
///   answers d[2] = `jsonSupported`. The rest of 0x1D is the camera's (SimUpgradeModel, SimTransfers).
/// - 0x1C with bit 7 (the heartbeat 0x9C): answered with d[0] = 1 (unless the session is told to leave
///   heartbeats unanswered).
struct SimSettings
{
    SimSettings();

    /// Sets the ToF-to-colour rotation (row-major) and translation, and the essential and fundamental
    /// matrices that follow from them, so that the calibration the camera reports stays one camera
    /// pair. The simulated cameras render through whatever these settings hold.
    void SetExtrinsics(const std::array<double, 9> &rotationMatrix, const std::array<double, 3> &translation);
    /// Recomputes `essential` and `fundamental` from the intrinsics, rotation and translation.
    void UpdateEpipolar();
    /// The rotation by xDeg about x, then yDeg about y, then zDeg about z: R = Rz Ry Rx.
    static std::array<double, 9> RotationFromDegrees(double xDeg, double yDeg, double zDeg);

    bool streaming = false;
    uint8_t frameRate = 25;
    uint8_t dataMode = 0;
    uint8_t depthRange = 2;

    uint8_t slaveMode = 0;
    bool slaveModeEnabled = false;
    uint32_t slaveTriggers = 0;

    uint8_t gmmGain = 8;
    std::map<uint8_t, SimLensConfig> lenses;

    uint8_t dualFreqCount = 2;
    std::array<int8_t, 3> dualFreqValues{{0, 1, 0}};

    std::map<uint8_t, uint32_t> exposureUs;
    std::map<uint8_t, SimMeasuringRange> measuringRanges;

    SimWorkMode workMode;
    uint32_t rebootCount = 0;

    uint8_t testModeType = 0;
    std::array<uint8_t, 4> testModeParams{};

    bool cameraParamsEnabled = false;
    std::map<uint16_t, uint16_t> registers;

    // Calibration, row-major; translation in millimetres. Distortion coefficients in the camera's order
    // k1, k2, p1, p2, k3, k4, k5, k6 (the rational radial-tangential model, see SimLens).
    std::array<double, 9> tofIntrinsic{};
    std::array<double, 8> tofDistortion{};
    std::array<double, 9> colorIntrinsic{};
    std::array<double, 8> colorDistortion{};
    std::array<double, 9> rotation{};
    std::array<double, 3> translationMm{};
    std::array<double, 9> essential{};
    std::array<double, 9> fundamental{};
    /// The colour image size the colour intrinsics describe; other lens sizes scale them.
    uint16_t colorCalibrationWidth = 1920;
    uint16_t colorCalibrationHeight = 1080;

    std::string pcba = "KR52L-MB-V2.1";
    std::string serial = "SN0001";
    std::string firmwareVersion = "KR52_V2.3.7_20260101_V3"; // date 2026-01-01, sub-version 3
    std::string hardwareVersion = "HW1.2";
    std::string alias;
    std::vector<uint8_t> depthRanges{0, 1, 2, 3, 4, 5};
    std::vector<uint8_t> dataModes{0, 1, 2, 5, 9};

    std::string deviceSerial = "SN0001";
    std::string macAddress = "02:4b:52:00:00:01";
    std::string softwareVersion = "1.0.2";
    std::string ipAddress = "127.0.0.2";
    std::string subnetMask = "255.0.0.0";
    bool jsonConfigSupported = true;

    std::map<uint8_t, uint8_t> dspSwitches;                             // group → enable
    std::map<std::pair<uint8_t, uint8_t>, SimDspFunction> dspFunctions; // (group, sub-id) → function

    bool upgradeSupported = true;
    bool jsonSupported = true;

    /// Lists longer than this do not fit a 64-byte list reply and are refused.
    static constexpr size_t kMaxListEntries = 62;
    /// Strings answered are cut to this many bytes so that sub-id, text and NUL fit 64 bytes.
    static constexpr size_t kMaxStringBytes = 62;
};
