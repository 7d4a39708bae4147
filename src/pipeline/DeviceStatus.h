// SPDX-License-Identifier: Apache-2.0
// The camera's status record and calibration block as they arrive in the stream, with their decoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/ByteReader.h"

#pragma pack(push, 1)
/// The status the camera embeds in its stream (typeId 0x2C). Kept by the session; the hub writes it.
struct DeviceStatus
{
    int8_t workMode;
    int8_t slaveMode;
    uint16_t width;
    uint16_t height;
    int8_t mode;  ///< data mode
    int8_t range; ///< current depth range
    uint32_t exposureTime;
    uint16_t gmmGain;
    int16_t temperatureLD; ///< laser temperature
    int8_t wdr[5];         ///< wide-dynamic-range settings
    uint32_t wdrExposureTime[3];
    uint16_t wdrGmmGain[3];
    uint16_t bgThreshold[3];
    int8_t temperature; ///< sensor temperature, degrees
    int8_t dsp[6];
    uint16_t rgb1;
    uint16_t rgb2;
    int8_t rgb3;
    uint8_t rgb4;
    uint8_t rgb5;
};

/// The calibration block the camera embeds in its stream while asked to (typeId 0x2E).
struct InitCameraParams
{
    double tofIntrinsic[9]; ///< 3x3 row-major
    double tofDistortion[8];
    double rgbIntrinsic[9];
    double rgbDistortion[8];
    double rotation[9]; ///< ToF to colour, 3x3 row-major
    double translation[3];
    uint16_t depthMax[3][6];
    uint8_t range;
    uint8_t mode;
    uint32_t wdr[4];
    uint8_t rangeListCount;
    uint8_t rangeList[9];
    uint8_t modeListCount;
    uint8_t modeList[9];
    uint8_t reserved[23]; ///< not interpreted by the pipeline; kept and handed on
    uint8_t rgbEnable;
    uint16_t rgbW;
    uint16_t rgbH;
};
#pragma pack(pop)

constexpr size_t kDeviceStatusBytes = 59;
constexpr size_t kInitCameraParamsBytes = 470;

static_assert(sizeof(DeviceStatus) == kDeviceStatusBytes, "DeviceStatus is a packed 59-byte record");
static_assert(offsetof(DeviceStatus, exposureTime) == 8, "DeviceStatus.exposureTime");
static_assert(offsetof(DeviceStatus, temperatureLD) == 14, "DeviceStatus.temperatureLD");
static_assert(offsetof(DeviceStatus, wdr) == 16, "DeviceStatus.wdr");
static_assert(offsetof(DeviceStatus, wdrExposureTime) == 21, "DeviceStatus.wdrExposureTime");
static_assert(offsetof(DeviceStatus, wdrGmmGain) == 33, "DeviceStatus.wdrGmmGain");
static_assert(offsetof(DeviceStatus, bgThreshold) == 39, "DeviceStatus.bgThreshold");
static_assert(offsetof(DeviceStatus, temperature) == 45, "DeviceStatus.temperature");
static_assert(offsetof(DeviceStatus, dsp) == 46, "DeviceStatus.dsp");
static_assert(offsetof(DeviceStatus, rgb1) == 52, "DeviceStatus.rgb1");
static_assert(offsetof(DeviceStatus, rgb3) == 56, "DeviceStatus.rgb3");
static_assert(offsetof(DeviceStatus, rgb5) == 58, "DeviceStatus.rgb5");

static_assert(sizeof(InitCameraParams) == kInitCameraParamsBytes,
              "InitCameraParams is a packed 470-byte record");
static_assert(offsetof(InitCameraParams, tofDistortion) == 72, "InitCameraParams.tofDistortion");
static_assert(offsetof(InitCameraParams, rgbIntrinsic) == 136, "InitCameraParams.rgbIntrinsic");
static_assert(offsetof(InitCameraParams, rgbDistortion) == 208, "InitCameraParams.rgbDistortion");
static_assert(offsetof(InitCameraParams, rotation) == 272, "InitCameraParams.rotation");
static_assert(offsetof(InitCameraParams, translation) == 344, "InitCameraParams.translation");
static_assert(offsetof(InitCameraParams, depthMax) == 368, "InitCameraParams.depthMax");
static_assert(offsetof(InitCameraParams, range) == 404, "InitCameraParams.range");
static_assert(offsetof(InitCameraParams, wdr) == 406, "InitCameraParams.wdr");
static_assert(offsetof(InitCameraParams, rangeListCount) == 422, "InitCameraParams.rangeListCount");
static_assert(offsetof(InitCameraParams, modeListCount) == 432, "InitCameraParams.modeListCount");
static_assert(offsetof(InitCameraParams, reserved) == 442, "InitCameraParams.reserved");
static_assert(offsetof(InitCameraParams, rgbEnable) == 465, "InitCameraParams.rgbEnable");
static_assert(offsetof(InitCameraParams, rgbW) == 466, "InitCameraParams.rgbW");
static_assert(offsetof(InitCameraParams, rgbH) == 468, "InitCameraParams.rgbH");

/// Reads a whole status record (59 bytes) field by field; false, leaving `out` untouched, when short.
inline bool DecodeDeviceStatus(const uint8_t *bytes, size_t size, DeviceStatus &out)
{
    ByteReader r(bytes, size);
    DeviceStatus s{};
    s.workMode = static_cast<int8_t>(r.ReadU8());
    s.slaveMode = static_cast<int8_t>(r.ReadU8());
    s.width = r.ReadU16Le();
    s.height = r.ReadU16Le();
    s.mode = static_cast<int8_t>(r.ReadU8());
    s.range = static_cast<int8_t>(r.ReadU8());
    s.exposureTime = r.ReadU32Le();
    s.gmmGain = r.ReadU16Le();
    s.temperatureLD = static_cast<int16_t>(r.ReadU16Le());
    for (size_t i = 0; i < sizeof(s.wdr) / sizeof(s.wdr[0]); ++i) {
        s.wdr[i] = static_cast<int8_t>(r.ReadU8());
    }
    for (size_t i = 0; i < sizeof(s.wdrExposureTime) / sizeof(s.wdrExposureTime[0]); ++i) {
        s.wdrExposureTime[i] = r.ReadU32Le();
    }
    for (size_t i = 0; i < sizeof(s.wdrGmmGain) / sizeof(s.wdrGmmGain[0]); ++i) {
        s.wdrGmmGain[i] = r.ReadU16Le();
    }
    for (size_t i = 0; i < sizeof(s.bgThreshold) / sizeof(s.bgThreshold[0]); ++i) {
        s.bgThreshold[i] = r.ReadU16Le();
    }
    s.temperature = static_cast<int8_t>(r.ReadU8());
    for (size_t i = 0; i < sizeof(s.dsp) / sizeof(s.dsp[0]); ++i) {
        s.dsp[i] = static_cast<int8_t>(r.ReadU8());
    }
    s.rgb1 = r.ReadU16Le();
    s.rgb2 = r.ReadU16Le();
    s.rgb3 = static_cast<int8_t>(r.ReadU8());
    s.rgb4 = r.ReadU8();
    s.rgb5 = r.ReadU8();
    if (!r.Ok()) {
        return false;
    }
    out = s;
    return true;
}

/// Writes a status record as the camera sends it (59 bytes into `out`).
inline void EncodeDeviceStatus(const DeviceStatus &s, uint8_t *out)
{
    ByteWriter w;
    w.WriteU8(static_cast<uint8_t>(s.workMode));
    w.WriteU8(static_cast<uint8_t>(s.slaveMode));
    w.WriteU16Le(s.width);
    w.WriteU16Le(s.height);
    w.WriteU8(static_cast<uint8_t>(s.mode));
    w.WriteU8(static_cast<uint8_t>(s.range));
    w.WriteU32Le(s.exposureTime);
    w.WriteU16Le(s.gmmGain);
    w.WriteU16Le(static_cast<uint16_t>(s.temperatureLD));
    for (size_t i = 0; i < sizeof(s.wdr) / sizeof(s.wdr[0]); ++i) {
        w.WriteU8(static_cast<uint8_t>(s.wdr[i]));
    }
    for (size_t i = 0; i < sizeof(s.wdrExposureTime) / sizeof(s.wdrExposureTime[0]); ++i) {
        w.WriteU32Le(s.wdrExposureTime[i]);
    }
    for (size_t i = 0; i < sizeof(s.wdrGmmGain) / sizeof(s.wdrGmmGain[0]); ++i) {
        w.WriteU16Le(s.wdrGmmGain[i]);
    }
    for (size_t i = 0; i < sizeof(s.bgThreshold) / sizeof(s.bgThreshold[0]); ++i) {
        w.WriteU16Le(s.bgThreshold[i]);
    }
    w.WriteU8(static_cast<uint8_t>(s.temperature));
    for (size_t i = 0; i < sizeof(s.dsp) / sizeof(s.dsp[0]); ++i) {
        w.WriteU8(static_cast<uint8_t>(s.dsp[i]));
    }
    w.WriteU16Le(s.rgb1);
    w.WriteU16Le(s.rgb2);
    w.WriteU8(static_cast<uint8_t>(s.rgb3));
    w.WriteU8(s.rgb4);
    w.WriteU8(s.rgb5);
    std::memcpy(out, w.Bytes().data(), kDeviceStatusBytes);
}

/// Reads a whole calibration block (470 bytes) field by field; false, leaving `out` untouched, when short.
inline bool DecodeInitCameraParams(const uint8_t *bytes, size_t size, InitCameraParams &out)
{
    ByteReader r(bytes, size);
    InitCameraParams p{};
    auto readDoubles = [&r](double *values, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const uint64_t raw = r.ReadU64Le();
            std::memcpy(&values[i], &raw, sizeof(raw));
        }
    };
    readDoubles(p.tofIntrinsic, 9);
    readDoubles(p.tofDistortion, 8);
    readDoubles(p.rgbIntrinsic, 9);
    readDoubles(p.rgbDistortion, 8);
    readDoubles(p.rotation, 9);
    readDoubles(p.translation, 3);
    for (size_t row = 0; row < 3; ++row) {
        for (size_t col = 0; col < 6; ++col) {
            p.depthMax[row][col] = r.ReadU16Le();
        }
    }
    p.range = r.ReadU8();
    p.mode = r.ReadU8();
    for (size_t i = 0; i < sizeof(p.wdr) / sizeof(p.wdr[0]); ++i) {
        p.wdr[i] = r.ReadU32Le();
    }
    p.rangeListCount = r.ReadU8();
    r.ReadBytes(p.rangeList, sizeof(p.rangeList));
    p.modeListCount = r.ReadU8();
    r.ReadBytes(p.modeList, sizeof(p.modeList));
    r.ReadBytes(p.reserved, sizeof(p.reserved));
    p.rgbEnable = r.ReadU8();
    p.rgbW = r.ReadU16Le();
    p.rgbH = r.ReadU16Le();
    if (!r.Ok()) {
        return false;
    }
    out = p;
    return true;
}
