// SPDX-License-Identifier: Apache-2.0
// DepthRefine: the refine library's implementation of APIDepthRefine for one camera: its filters, its
// geometry (undistortion, registration, point tracing) and image operations.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CameraModel.h"
#include "DepthFilterChain.h"
#include "Registration.h"
#include "Undistorter.h"
#include "refine/APIDepthRefine.h"

/// One object per camera (Get_APIDepthRefine makes a new one per call). The setters come from the
/// application's thread, the ToF passes from the decoder's, colour from the colour decoder's and
/// mapping from the delivery thread. The geometry every one of them needs (lenses, switches,
/// extrinsics, derived intrinsics and per-pixel factors) lives in an immutable snapshot: a setter
/// builds a new one and publishes it, a user takes the current one under a short lock, so mapping and
/// decoding never wait for each other or for a setter. Each thread owns its resampling state.
class DepthRefine : public APIDepthRefine
{
public:
    /// Largest side of an image the library accepts, so size arithmetic cannot overflow.
    static constexpr uint32_t kMaxImageSide = refine::DepthFilterChain::kMaxImageSide;
    /// The ToF sensor's image, which the calibration and the undistortion describe.
    static constexpr uint32_t kTofWidth = 640;
    static constexpr uint32_t kTofHeight = 480;

    /// What every geometric operation reads, replaced as a whole when the calibration or a switch
    /// changes. The registration's fields say what the delivered images are; a lens the validity check
    /// refused is never undistorted.
    struct Geometry : refine::RegistrationGeometry
    {
        bool tofLensValid = false;
        bool colorLensValid = false;
        /// The undistorted ToF image's pinhole (the lens's own when it has no distortion).
        refine::Pinhole tofTarget;
        /// Per sensor pixel, the factor turning the radial distance along its ray into axial depth.
        std::shared_ptr<const std::vector<float>> axialFactors;
    };

    DepthRefine();
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
    int Resize(AlgImage *image, uint32_t width, uint32_t height, size_t capacityBytes, int flag) override;
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
    int UndistortTof(AlgImage *depth, AlgImage *ir, AlgImage *confidence) override;
    int UnprojectPixels(const double *intrinsic9, const double *distortion8, uint16_t width, uint16_t height,
                        double *raysXY) override;
    int MappedDepthToPoints(const uint16_t *depth, uint32_t count, uint32_t colorWidth, uint32_t colorHeight,
                            const int32_t *rayIndex, TfVector3f *points) override;

    /// The geometry in force now.
    std::shared_ptr<const Geometry> CurrentGeometry() const;

private:
    /// Builds the snapshot from the calibration and the switches (m_settingsMutex held) and publishes it.
    void PublishGeometryLocked();
    /// The colour lens of a width x height image and the pinhole its undistorted image has; cached per
    /// snapshot and size (the colour decoder's thread).
    bool ColorTarget(const Geometry &geometry, uint32_t width, uint32_t height, refine::LensModel &lens,
                     refine::Pinhole &target);

    // Calibration and switches; a change republishes the geometry.
    std::mutex m_settingsMutex;
    RefineCameraParams m_cameraParams{};
    bool m_haveCalibration = false;
    bool m_tofUndistort = false;
    bool m_colorUndistort = false;
    std::string m_configDir;
    double m_rgbIntrinsic[9] = {};
    uint32_t m_rgbWidth = 0;
    uint32_t m_rgbHeight = 0;
    RefineFilterThreshold m_filterThreshold{};
    bool m_saveComputeDepthTab = false;
    int m_algoType = 0;
    int m_algoOption = 0;

    mutable std::mutex m_geometryMutex;
    std::shared_ptr<const Geometry> m_geometry; // guarded by m_geometryMutex; never null

    refine::DepthFilterChain m_filters;
    refine::Registration m_registration;
    // The ToF decoder's thread alone.
    refine::Undistorter m_tofUndistorter;
    // The colour decoder's thread alone.
    refine::Undistorter m_colorUndistorter;
    std::shared_ptr<const Geometry> m_colorTargetGeometry;
    uint32_t m_colorTargetWidth = 0;
    uint32_t m_colorTargetHeight = 0;
    bool m_colorTargetValid = false;
    refine::LensModel m_colorTargetLens;
    refine::Pinhole m_colorTarget;
    // Colour rays for MappedDepthToPoints, per snapshot and colour size (any thread).
    std::mutex m_colorRaysMutex;
    std::shared_ptr<const Geometry> m_colorRaysGeometry;
    uint32_t m_colorRaysWidth = 0;
    uint32_t m_colorRaysHeight = 0;
    std::vector<double> m_colorRays; ///< x, y per colour pixel; NaN where no ray reaches it
};
