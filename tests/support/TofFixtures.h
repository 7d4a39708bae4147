// SPDX-License-Identifier: Apache-2.0
// Helpers for the ToF decoding tests: raw four-phase data written from the camera's side, and a refine
// library stand-in that records what the decoder tells it.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "pipeline/StreamSource.h"
#include "refine/APIDepthRefine.h"

namespace orvtest {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr size_t kPixels = size_t(kWidth) * kHeight;
constexpr size_t kRowBytes = 2560;
constexpr size_t kPhaseBlockBytes = 483 * kRowBytes;
constexpr size_t kRawPayloadBytes = 4 * kPhaseBlockBytes;
constexpr double kLightMmPerS = 299792458.0 * 1000.0;
/// Modulation frequency of each depth range, as the camera runs it.
constexpr double kModulationHz[6] = {120e6, 80e6, 60e6, 48e6, 40e6, 20e6};

/// The camera's unambiguous distance of a range: half the modulation wavelength.
inline double WrapDistanceMm(int range)
{
    return kLightMmPerS / (2.0 * kModulationHz[range]);
}

/// What the sensor measures for one pixel: distance in mm and the signal amplitude in 12-bit counts (0
/// for no return).
struct PixelTruth
{
    double distanceMm;
    double amplitude;
    double ambient = 600.0;
};

/// Writes one pixel's four phase samples the way the sensor does: for phase step k the two taps
/// integrate ambient + amplitude * (1 +/- sin(phi + k * 90 degrees)) / 2, with phi = 4 pi f d / c; the
/// 12-bit samples sit in the upper bits of each 16-bit tap, little-endian.
inline void WritePixel(uint8_t *payload, size_t pixel, int range, const PixelTruth &truth)
{
    const double phi = 4.0 * M_PI * kModulationHz[range] * truth.distanceMm / kLightMmPerS;
    for (int k = 0; k < 4; ++k) {
        const double swing = truth.amplitude * std::sin(phi + k * M_PI / 2.0) / 2.0;
        const auto sample = [](double v) {
            const long s = std::lround(v);
            return static_cast<uint16_t>((s < 0 ? 0 : (s > 4095 ? 4095 : s)) << 4);
        };
        const uint16_t a = sample(truth.ambient + truth.amplitude / 2.0 + swing);
        const uint16_t b = sample(truth.ambient + truth.amplitude / 2.0 - swing);
        uint8_t *tap = payload + k * kPhaseBlockBytes + pixel * 4;
        tap[0] = static_cast<uint8_t>(a);
        tap[1] = static_cast<uint8_t>(a >> 8);
        tap[2] = static_cast<uint8_t>(b);
        tap[3] = static_cast<uint8_t>(b >> 8);
    }
}

/// A whole raw ToF block (header + payload) of a type and range, every pixel given by `truth`, with the
/// phase numbers in the embedded rows.
inline std::vector<uint8_t> MakeRawBlock(uint8_t typeId, int range,
                                         const std::function<PixelTruth(size_t)> &truth)
{
    std::vector<uint8_t> raw(5 + kRawPayloadBytes, 0);
    raw[0] = typeId;
    raw[1] = static_cast<uint8_t>(kRawPayloadBytes);
    raw[2] = static_cast<uint8_t>(kRawPayloadBytes >> 8);
    raw[3] = static_cast<uint8_t>(kRawPayloadBytes >> 16);
    raw[4] = static_cast<uint8_t>(range);
    uint8_t *payload = raw.data() + 5;
    for (size_t p = 0; p < kPixels; ++p) {
        WritePixel(payload, p, range, truth(p));
    }
    for (int k = 0; k < 4; ++k) {
        payload[k * kPhaseBlockBytes + 481 * kRowBytes + 73] = static_cast<uint8_t>(k);
    }
    return raw;
}

/// A header followed by `length` payload bytes from `fill`.
inline std::vector<uint8_t> MakeBlock(uint8_t typeId, uint32_t length, uint8_t unUsed,
                                      const std::function<uint8_t(size_t)> &fill)
{
    std::vector<uint8_t> block(5 + size_t(length));
    block[0] = typeId;
    block[1] = static_cast<uint8_t>(length);
    block[2] = static_cast<uint8_t>(length >> 8);
    block[3] = static_cast<uint8_t>(length >> 16);
    block[4] = unUsed;
    for (size_t i = 0; i < length; ++i) {
        block[5 + i] = fill(i);
    }
    return block;
}

/// Records the range the decoder announces; every image operation leaves the image unchanged.
class RecordingRefine : public APIDepthRefine
{
public:
    struct RangeCall
    {
        int range;
        uint16_t maxDepthMm;
        uint16_t minDepthMm;
    };
    std::vector<RangeCall> rangeCalls;
    int processDepthCalls = 0;
    int filterIrCalls = 0;

    int Init(const RefineCameraParams &, const char *) override { return 0; }
    int SetRgbIntrinsic(const double *, uint32_t, uint32_t, int) override { return 0; }
    int SetFilterThreshold(const RefineFilterThreshold &) override { return 0; }
    int SetSaveComputeDepthTab(bool) override { return 0; }
    int SetDepthRange(int range, uint16_t maxDepthMm, uint16_t minDepthMm) override
    {
        rangeCalls.push_back({range, maxDepthMm, minDepthMm});
        return 0;
    }
    int FilterIrImage(AlgImage *) override { return ++filterIrCalls, 0; }
    int SetApplyRGBCorrectionEnabled(bool) override { return 0; }
    int SetApplyRGBDistortionEnabled(bool) override { return 0; }
    int ConvertColor(AlgImage *, int, int, int) override { return kRefineNotSupported; }
    int ProcessColor(AlgImage *) override { return kRefineNotSupported; }
    int SetComputeRealDepthEnabled(bool) override { return 0; }
    int SetApplyToFDistortionEnabled(bool, int) override { return 0; }
    int SetSmoothingFilterEnabled(bool) override { return 0; }
    int SetTimeFilterEnabled(bool, int, int, int, int) override { return 0; }
    int SetAlgoType(int, int) override { return 0; }
    int ProcessDepth(AlgImage *, bool) override { return ++processDepthCalls, 0; }
    int PostFilterDepth(AlgImage *) override { return 0; }
    int GetMappedPointDepthToRGB(const TfDepthVector3 &, const TfVector2u16 &, TfVector2u16 *) override
    {
        return kRefineNotSupported;
    }
    int MapDepthToColor(const AlgImage *, const AlgImage *, AlgImage *) override
    {
        return kRefineNotSupported;
    }
    int MapColorToDepth(const AlgImage *, const AlgImage *, AlgImage *) override
    {
        return kRefineNotSupported;
    }
    int MapIrToColor(const AlgImage *, const AlgImage *, const AlgImage *, AlgImage *) override
    {
        return kRefineNotSupported;
    }
    int MapDepthIrToColor(const AlgImage *, const AlgImage *, const AlgImage *, AlgImage *,
                          AlgImage *) override
    {
        return kRefineNotSupported;
    }
    int Mirror(AlgImage *, int) override { return 0; }
    int Resize(AlgImage *, uint32_t, uint32_t, size_t, int) override { return 0; }
    int Crop(AlgImage *, uint32_t, uint32_t, uint32_t, uint32_t) override { return 0; }
    int Rotate(AlgImage *, int) override { return 0; }
    int SetTimeFilterDepthEnabled(bool) override { return 0; }
    int GetOnlyTimeFilterDepth(AlgImage *) override { return kRefineNotSupported; }
    int SetOutofMaxRangeHandle(int) override { return 0; }
    int GetOutofMaxRangeHandle() override { return 0; }
    int ConvertIr16To8(uint32_t, uint32_t, uint8_t *, const uint16_t *) override
    {
        return kRefineNotSupported;
    }
    int SetFlyingPixelFilterParams(const TfFlyingPixelFilterParams &) override { return 0; }
    int SetSpatialFilterParams(const TfSpatialFilterParams &) override { return 0; }
    int SetFillHoleFilterParams(const TfFillHoleFilterParams &) override { return 0; }
    int GetFlyingPixelFilterParams(TfFlyingPixelFilterParams *) override { return 0; }
    int GetSpatialFilterParams(TfSpatialFilterParams *) override { return 0; }
    int GetFillHoleFilterParams(TfFillHoleFilterParams *) override { return 0; }
    int PreFilterDepth(AlgImage *) override { return 0; }
    int ComputeUndistortedIntrinsic(double *, const double *, uint16_t, uint16_t) override { return 0; }
};

/// A session side that only holds a status record, for a decoder fed directly by the test.
class StatusSource : public StreamSource
{
public:
    bool HasProtocol() const override { return false; }
    bool ReadData(uint8_t *, uint32_t, uint32_t &length) override { return length = 0, false; }
    DeviceStatus *GetDeviceStatus() override { return &status; }
    bool IsDeviceStatusRequested() const override { return false; }
    void SetDeviceStatusRequested(bool) override {}
    bool IsDeviceStatusFollowed() const override { return false; }
    void SetDeviceStatusFollowed(bool) override {}
    void StoreInitCameraParams(const InitCameraParams &) override {}
    int SendCameraParamsEnable(bool) override { return 0; }

    DeviceStatus status{};
};

} // namespace orvtest
