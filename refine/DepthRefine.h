// SPDX-License-Identifier: Apache-2.0
// DepthRefine: the refine library's implementation of APIDepthRefine (depth and IR filters, geometry).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "refine/APIDepthRefine.h"

/// Filters and geometry for the ToF path; mapping, undistortion and colour conversion answer
/// kRefineNotSupported. Settings and the temporal filter's state are guarded by one mutex because the
/// setters run on the application's thread while the decoder thread filters.
class DepthRefine : public APIDepthRefine
{
public:
    /// Change threshold and averaging weight the temporal filter uses when given none.
    static constexpr int kDefaultTimeFilterThresholdMm = 50;
    static constexpr int kDefaultTimeFilterFrames = 4;
    /// Depth step the spatial filter treats as an edge when the spatial parameters give none.
    static constexpr uint32_t kDefaultEdgeThresholdMm = 100;
    /// Largest side of an image the library accepts, so size arithmetic cannot overflow.
    static constexpr uint32_t kMaxImageSide = 16384;

    DepthRefine() = default;
    ~DepthRefine() override = default;

    int Init(const RefineCameraParams &params, const char *configDir) override;
    int SetRgbIntrinsic(const double *intrinsic9, uint32_t width, uint32_t height, int frameMode) override;
    int SetFilterThreshold(const RefineFilterThreshold &threshold) override;
    int SetSaveComputeDepthTab(bool enabled) override;
    int SetDepthRange(int range, uint16_t maxDepthMm, uint16_t minDepthMm) override;
    int FilterIrImage(AlgImage *image) override;
    int SetApplyRGBCorrectionEnabled(bool enabled) override;
    int SetApplyRGBDistortionEnabled(bool enabled) override;
    int ConvertColor(AlgImage *image, int count, int sourceFormat, int targetPixelFormat) override;
    int ProcessColor(AlgImage *image) override;
    int SetComputeRealDepthEnabled(bool enabled) override;
    int SetApplyToFDistortionEnabled(bool enabled, int option) override;
    int SetSmoothingFilterEnabled(bool enabled) override;
    int SetTimeFilterEnabled(bool enabled, int p1, int p2, int p3, int p4) override;
    int SetAlgoType(int type, int option) override;
    int ProcessDepth(AlgImage *depth, bool height360) override;
    int PostFilterDepth(AlgImage *depth) override;
    int GetMappedPointDepthToRGB(const TfDepthVector3 &depthPoint, const TfVector2u16 &colorSize,
                                 TfVector2u16 *colorPoint) override;
    int MapDepthToColor(const AlgImage *color, const AlgImage *depth, AlgImage *out) override;
    int MapColorToDepth(const AlgImage *color, const AlgImage *depth, AlgImage *out) override;
    int MapIrToColor(const AlgImage *color, const AlgImage *depth, const AlgImage *ir,
                     AlgImage *outIr) override;
    int MapDepthIrToColor(const AlgImage *color, const AlgImage *depth, const AlgImage *ir,
                          AlgImage *outDepth, AlgImage *outIr) override;
    int Mirror(AlgImage *image, int code) override;
    int Resize(AlgImage *image, uint32_t width, uint32_t height, int flag) override;
    int Crop(AlgImage *image, uint32_t x, uint32_t y, uint32_t width, uint32_t height) override;
    int Rotate(AlgImage *image, int rotation) override;
    int SetTimeFilterDepthEnabled(bool enabled) override;
    int GetOnlyTimeFilterDepth(AlgImage *out) override;
    int SetOutofMaxRangeHandle(int handle) override;
    int GetOutofMaxRangeHandle() override;
    int ConvertIr16To8(uint32_t width, uint32_t height, uint8_t *dst, const uint16_t *src) override;
    int SetFlyingPixelFilterParams(const TfFlyingPixelFilterParams &params) override;
    int SetSpatialFilterParams(const TfSpatialFilterParams &params) override;
    int SetFillHoleFilterParams(const TfFillHoleFilterParams &params) override;
    int GetFlyingPixelFilterParams(TfFlyingPixelFilterParams *params) override;
    int GetSpatialFilterParams(TfSpatialFilterParams *params) override;
    int GetFillHoleFilterParams(TfFillHoleFilterParams *params) override;
    int PreFilterDepth(AlgImage *depth) override;
    int ComputeUndistortedIntrinsic(double *intrinsic9, const double *distortion8, uint16_t width,
                                    uint16_t height) override;

private:
    void ApplyRangeLimitsLocked(uint16_t *depth, size_t pixels) const;
    void ApplySpatialFilterLocked(uint16_t *depth, uint32_t width, uint32_t height) const;
    void ApplyTemporalFilterLocked(uint16_t *depth, uint32_t width, uint32_t height);
    void ApplyFlyingPixelFilterLocked(uint16_t *depth, uint32_t width, uint32_t height) const;

    std::mutex m_mutex;
    // Everything below is guarded by m_mutex.
    RefineCameraParams m_cameraParams{};
    std::string m_configDir;
    double m_rgbIntrinsic[9] = {};
    uint32_t m_rgbWidth = 0;
    uint32_t m_rgbHeight = 0;
    int m_rgbFrameMode = 0;
    RefineFilterThreshold m_filterThreshold{};
    bool m_saveComputeDepthTab = false;
    int m_depthRange = 0;
    uint16_t m_maxDepthMm = 0; ///< 0: no upper limit
    uint16_t m_minDepthMm = 0; ///< 0: no lower limit
    int m_outOfMaxRangeHandle = 0;
    bool m_computeRealDepth = false;
    int m_algoType = 0;
    int m_algoOption = 0;
    bool m_smoothingEnabled = false;
    bool m_timeFilterEnabled = false;
    int m_timeFilterThresholdMm = kDefaultTimeFilterThresholdMm;
    int m_timeFilterFrames = kDefaultTimeFilterFrames;
    bool m_timeFilterDepthEnabled = false;
    std::vector<float> m_timeAverage; ///< running average per pixel, 0 where invalid
    uint32_t m_timeWidth = 0;
    uint32_t m_timeHeight = 0;
    std::vector<uint16_t> m_lastTimeFiltered; ///< the last output of the temporal filter
    TfFlyingPixelFilterParams m_flyingPixelParams{};
    TfSpatialFilterParams m_spatialParams{};
    TfFillHoleFilterParams m_fillHoleParams{};
};
