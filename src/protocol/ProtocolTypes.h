// SPDX-License-Identifier: Apache-2.0
// The plain records both sides of the camera interface share: what the session, the command protocol
// and the pipeline pass to one another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "Orvane_api.h"

/// Which camera of a device a calibration query addresses.
enum SensorType : uint32_t
{
    kSensorTof = 1,
    kSensorColor = 2,
};

/// Camera test mode.
enum TestMode : uint32_t
{
    kTestModeOff = 0,
    kTestModeOn = 1,
};

/// How dual-frequency frames are delivered: fused, or each range by itself.
enum WDRStyle : uint32_t
{
    kWdrStyleFuse = 0,
    kWdrStyleSeparate = 1,
};

/// The depth-to-world table covers the full ToF sensor image.
constexpr int kDepthTableWidth = 640;
constexpr int kDepthTableHeight = 480;
/// The depth-to-world table, built once per intrinsics and never changed afterwards. The ray factors of
/// pixel (u, v) of the kDepthTableWidth x kDepthTableHeight ToF image are ((u - cx) / fx, (v - cy) / fy):
/// the first depends on the column alone and the second on the row alone, so the table keeps one factor
/// per column and one per row (the same double values a full table would hold, in 9 KiB instead of
/// 4.9 MB) and a frame's conversion reads only the frame. Readers hold it through a shared pointer: a
/// rebuild publishes a new table and never frees one in use.
/// Images delivered without undistortion are taken through the lens: their rays are not separable, and
/// the table then holds every pixel's ray in two full planes instead.
struct DepthWorldTable
{
    std::vector<double> columnX; ///< (u - cx) / fx for u in [0, kDepthTableWidth)
    std::vector<double> rowY;    ///< (v - cy) / fy for v in [0, kDepthTableHeight)
    std::vector<double> rayX;    ///< empty, or the x of pixel v * kDepthTableWidth + u's ray through the lens
    std::vector<double> rayY;    ///< empty, or its y
};

#pragma pack(push, 1)

struct ExposureTime
{
    uint8_t index; ///< 0 first exposure, 1 second exposure of a two-exposure mode
    uint32_t exposureTime;
};

struct DepthRange
{
    uint32_t range; ///< sent as one byte
};

/// Most entries a camera's mode or range list can carry on the wire.
constexpr int kMaxListEntries = 62;

struct DataModeList
{
    uint8_t count;
    uint8_t modes[kMaxListEntries];
};

struct DepthRangeList
{
    uint8_t count;
    uint8_t ranges[kMaxListEntries];
};

/// Limits of one depth range, in millimetres.
struct MeasuringRange
{
    uint8_t mode; ///< the range number
    uint16_t range0;
    uint16_t range1;
    uint16_t range2;
};

/// Measuring status settings; byte 1 must be 0 or 1. The rest carries no behaviour on network cameras.
struct MeasuringStatusSet
{
    uint8_t values[10];
};

/// Measuring status answer; opaque, zeroed by the network protocol.
struct MeasuringStatusGet
{
    uint8_t values[10];
};

/// Colour lens configuration.
struct LensConfig
{
    uint8_t type;
    uint8_t state;
    uint16_t width;
    uint16_t height;
    uint8_t fps;
    uint8_t encodeType;
};

/// Dual-frequency output: number of ranges (2 for a setting) and up to three ranges.
struct DualFreqMode
{
    int32_t count;
    int32_t values[3];
};

struct WorkMode
{
    uint8_t mode;
    uint8_t flag1;  ///< sent as 0 or 1
    uint8_t flag2;  ///< sent as 0 or 1
    uint8_t flag3;  ///< sent as 0 or 1
    uint8_t option; ///< sent modulo 3
};

/// Pulse count settings; accepted and ignored by the network protocol.
struct PulseCountConfig
{
    uint16_t counts[4];
};

struct PulseCountGet
{
    uint16_t counts[4];
};

/// Laser enable settings; accepted and ignored by the network protocol.
struct LDEnable
{
    uint8_t values[2];
};

struct DSPParameters
{
    uint32_t config; ///< the DSP function, 0 to 12
    uint8_t option;
    uint8_t enable;
    uint8_t threshold;
};

struct ConfidenceFilterParams
{
    uint8_t enable;
    uint32_t reserved; ///< returned as 0
    uint32_t threshold;
    uint32_t value;
};

/// The fill-hole and spatial filters take the confidence filter's layout.
using FillHoleFilterParams = ConfidenceFilterParams;
using SpatialFilterParams = ConfidenceFilterParams;

struct FlyingPixelFilterParams
{
    uint32_t threshold;
    uint8_t enable;
};

struct TestModeParams
{
    uint32_t values[4];
};

struct UpgradeState
{
    uint32_t state;
    uint32_t param1;
    uint32_t param2;
};

struct JsonState
{
    uint32_t state;
    uint32_t param1;
    uint32_t param2;
};

/// Opaque camera timing record; reads return zeros.
struct TalDelay
{
    uint8_t values[11];
};

/// WDR gain and threshold settings; only the defaults exist.
struct GMMGainConfig
{
    uint16_t gains[3];
};

struct GMMGainConfigGet
{
    uint16_t gains[3];
};

struct ThresholdConfig
{
    uint16_t thresholds[3];
};

struct ThresholdConfigGet
{
    uint16_t thresholds[3];
};

/// Inertial sensor calibration: nine sensitivity factors.
struct IMUSensitivity
{
    float values[9];
};

/// Inertial sensor offsets: three raw flags and three offsets.
struct IMUOffset
{
    int8_t flags[3];
    float offsets[3];
};

/// Inertial sensor temperature offsets; opaque.
struct IMUOffsetTemp
{
    uint8_t values[11];
};

struct IMUDataMode
{
    uint8_t mode;
};

/// One inertial sample; network cameras deliver none.
struct ImuFrame
{
    uint32_t frameIndex;
    uint64_t timestamp;
    float acc[3];
    float gyro[3];
};

/// Opaque filter threshold record handed to the depth filters.
struct FilterThreshold
{
    uint32_t values[4];
};

/// A file transfer between host and camera. The API fills everything but `value` and `flag`.
struct FileTransferParams
{
    uint32_t type;
    char name[256];
    uint32_t value;    ///< file size, filled by the file check
    uint8_t flag;      ///< byte sum of the file modulo 256, filled by the file check
    uint8_t direction; ///< 0 host file to camera, non-zero camera file to host
    uint8_t index;
    TfFileTransferCallback callback;
    void *userData;
};

/// Camera parameters of the property interface: a selector and nine doubles.
struct CameraParamsProperty
{
    uint32_t selector;
    double values[9];
};

#pragma pack(pop)

// The public records are copied byte for byte into these.
static_assert(sizeof(ExposureTime) == 5 && sizeof(ExposureTime) == sizeof(TfExposureTimeParams),
              "ExposureTime");
static_assert(sizeof(MeasuringRange) == 7, "MeasuringRange");
static_assert(sizeof(LensConfig) == 8, "LensConfig");
static_assert(sizeof(DualFreqMode) == 16 && sizeof(DualFreqMode) == sizeof(TfWDROutputMode), "DualFreqMode");
static_assert(sizeof(WorkMode) == 5, "WorkMode");
static_assert(sizeof(DSPParameters) == 7, "DSPParameters");
static_assert(offsetof(DSPParameters, enable) == 5, "DSPParameters.enable");
static_assert(sizeof(ConfidenceFilterParams) == 13 &&
                  sizeof(ConfidenceFilterParams) == sizeof(TfConfidenceFilterParams),
              "ConfidenceFilterParams");
static_assert(sizeof(FillHoleFilterParams) == sizeof(TfFillHoleFilterParams), "FillHoleFilterParams");
static_assert(sizeof(SpatialFilterParams) == sizeof(TfSpatialFilterParams), "SpatialFilterParams");
static_assert(sizeof(FlyingPixelFilterParams) == sizeof(TfFlyingPixelFilterParams),
              "FlyingPixelFilterParams");
static_assert(sizeof(TestModeParams) == sizeof(TfTestModeParams), "TestModeParams");
static_assert(sizeof(LDEnable) == 2, "LDEnable");
static_assert(sizeof(MeasuringStatusGet) == 10, "MeasuringStatusGet");
static_assert(sizeof(TalDelay) == 11, "TalDelay");
static_assert(sizeof(IMUSensitivity) == 36, "IMUSensitivity");
static_assert(sizeof(IMUOffset) == 15, "IMUOffset");
static_assert(sizeof(IMUOffsetTemp) == 11, "IMUOffsetTemp");
static_assert(sizeof(CameraParamsProperty) == 76, "CameraParamsProperty");
static_assert(sizeof(DataModeList) == 63 && sizeof(DepthRangeList) == 63, "mode and range lists");
