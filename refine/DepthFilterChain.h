// SPDX-License-Identifier: Apache-2.0
// DepthFilterChain: the settings, state and passes of one camera's ToF depth filters (range limits,
// flying pixel, real depth, spatial, temporal, hole fill) and its IR filter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "refine/APIDepthRefine.h"

namespace refine {

/// The depth filters of one camera, in the order the decoder runs them:
///   PreFilter:  range limits;
///   PostFilter: flying pixel, then real depth;
///   (the geometric undistortion step runs here, outside this class)
///   Process:    range limits again, spatial, temporal, hole fill.
/// Every pass works in place on a 16-bit depth image in millimetres. Depth 0 and 65535 are invalid
/// everywhere: they are never averaged, filled or used as support; 65535 leaves every filter unchanged
/// and no filter writes it; a filter that removes a pixel writes 0. A filter that is off changes
/// nothing, bit for bit. Scratch buffers are members sized on the first frame of a size, so no pass
/// allocates once the size is steady.
///
/// Range limits (SetDepthRange, SetOutOfMaxRangeHandle): depth above maxMm becomes 0 (handle 1 keeps
///   it at maxMm instead), depth below minMm becomes 0; a limit of 0 is no limit; 65535 stays.
/// Flying pixel (SetFlyingPixel; record `enable` != 0 switches it on, `threshold` in mm at 1 m, default
///   100 when 0, values from 1000 act as 1000): at depth d the threshold is threshold * d / 1000, so
///   surfaces seen at a grazing angle, whose steps grow with depth, keep their pixels. A valid pixel
///   becomes 0 when no valid 8-neighbour lies within the threshold of it (isolated), or when along one
///   of the four directions (horizontal, vertical, both diagonals) one neighbour is nearer and the other
///   farther than the pixel, both by more than the threshold (a mixed pixel between two surfaces).
/// Real depth (SetRealDepth, SetAxialFactors): the camera measures the radial distance r along each
///   pixel's ray; z = r * factor with the pixel's factor (rounded, at most 65534). Without factors of
///   the image's size it changes nothing.
/// Spatial (SetSpatial / SetSmoothingEnabled, one switch; record `value` 2 selects 5x5, anything else
///   3x3; `threshold` in mm, default 100 when 0): an edge-preserving median. Each valid pixel becomes
///   the median of its window in which every neighbour that is invalid or differs from the centre by
///   more than the threshold counts as the centre's value, so the far side of a step never mixes in.
///   Invalid pixels stay as they are; pixels outside the image count as invalid.
/// Temporal (SetTemporal(on, thresholdMm, frames); defaults 50 mm and 4 frames for values <= 0): a
///   running average per pixel, avg += (d - avg) / frames, starting over from d when |d - avg| exceeds
///   the threshold or either is invalid, so a moved object is followed in the frame it moves. Invalid
///   pixels pass unchanged. The state restarts on a new size and on every SetTemporal.
///   SetTimeFilterDepthEnabled keeps the temporal result as a side output for GetOnlyTimeFilterDepth;
///   while it is on the result is computed even with the filter off, without touching the image then.
///   A pass run while it is off drops the kept result.
/// Hole fill (SetFillHole; record `enable` != 0; `value` the longest run in pixels, default 4 when 0,
///   at most 16382; `threshold` in mm, default 50 when 0): a run of at most `value` zero pixels with a
///   valid pixel at each end, whose two ends differ by at most the threshold, is filled by linear
///   interpolation between the ends, first along rows, then along columns of the result. Runs touching
///   the border or a 65535 pixel, longer runs and runs across steps stay 0.
/// IR (FilterIr, 8- or 16-bit one channel): a 3x3 median (border replicated) while smoothing is on.
///
/// Threads: the setters and getters come from the application's thread, the passes from the decoder's.
/// The settings sit behind their own mutex, held only to copy them (a setter never waits for a frame);
/// each pass copies them once at its start, so one pass sees one consistent set. A second mutex
/// serialises the passes over the scratch and temporal state, and a third guards the side output so
/// that GetOnlyTimeFilterDepth waits for a copy, never for a pass.
class DepthFilterChain
{
public:
    static constexpr uint32_t kMaxImageSide = 16384;
    static constexpr uint32_t kDefaultFlyingPixelThresholdMm = 100; ///< at 1 m
    static constexpr uint32_t kDefaultSpatialThresholdMm = 100;
    static constexpr int kDefaultTemporalThresholdMm = 50;
    static constexpr int kDefaultTemporalFrames = 4;
    static constexpr uint32_t kDefaultFillHoleRunPx = 4;
    static constexpr uint32_t kDefaultFillHoleThresholdMm = 50;

    DepthFilterChain() = default;
    DepthFilterChain(const DepthFilterChain &) = delete;
    DepthFilterChain &operator=(const DepthFilterChain &) = delete;

    /// kRefineInvalidArgument (nothing changed) when both limits are set and minMm > maxMm.
    int SetDepthRange(uint16_t maxMm, uint16_t minMm);
    void SetOutOfMaxRangeHandle(int handle);
    int OutOfMaxRangeHandle() const;
    void SetFlyingPixel(const TfFlyingPixelFilterParams &params);
    TfFlyingPixelFilterParams FlyingPixel() const;
    void SetSpatial(const TfSpatialFilterParams &params);
    TfSpatialFilterParams Spatial() const;
    void SetSmoothingEnabled(bool enabled);
    bool SmoothingEnabled() const;
    void SetTemporal(bool enabled, int thresholdMm, int frames);
    void SetTimeFilterDepthEnabled(bool enabled);
    void SetFillHole(const TfFillHoleFilterParams &params);
    TfFillHoleFilterParams FillHole() const;
    void SetRealDepth(bool enabled);
    /// Per-pixel radial-to-axial factors of a width x height image, row-major; null clears them.
    /// kRefineInvalidArgument (nothing changed) when the vector does not hold width x height factors
    /// or one of them lies outside [0, 1.01].
    int SetAxialFactors(std::shared_ptr<const std::vector<float>> factors, uint32_t width, uint32_t height);

    /// The passes: kRefineOk, or kRefineInvalidArgument for a null image or a side of 0 or above
    /// kMaxImageSide (the image is then untouched).
    int PreFilter(uint16_t *depth, uint32_t width, uint32_t height);
    int PostFilter(uint16_t *depth, uint32_t width, uint32_t height);
    int Process(uint16_t *depth, uint32_t width, uint32_t height);
    int FilterIr(AlgImage *image);

    /// Copies the last kept temporal result into `out` (capacity in pixels) and reports its size.
    /// kRefineNotSupported while none is kept; kRefineInvalidArgument for null or too small a buffer.
    int GetOnlyTimeFilterDepth(uint16_t *out, size_t capacityPixels, uint32_t *width, uint32_t *height);

private:
    struct Settings
    {
        uint16_t maxMm = 0;
        uint16_t minMm = 0;
        int outOfMaxRangeHandle = 0;
        TfFlyingPixelFilterParams flyingPixel{};
        TfSpatialFilterParams spatial{};
        bool temporal = false;
        int temporalThresholdMm = kDefaultTemporalThresholdMm;
        int temporalFrames = kDefaultTemporalFrames;
        uint64_t temporalGeneration = 0; ///< bumped by SetTemporal: the state starts over
        bool keepTemporalResult = false;
        TfFillHoleFilterParams fillHole{};
        bool realDepth = false;
        std::shared_ptr<const std::vector<float>> axialFactors;
        uint32_t axialWidth = 0;
        uint32_t axialHeight = 0;
    };

    Settings CopySettings() const;
    static void ApplyRangeLimits(const Settings &s, uint16_t *depth, size_t pixels);
    static void ApplyRealDepth(const Settings &s, uint16_t *depth, uint32_t width, uint32_t height);
    /// Copies the image into m_padded with `pad` rows and columns of 0 around it, every value with its
    /// top bit flipped (see the kernels); returns the stride.
    size_t PadCopy(const uint16_t *depth, uint32_t width, uint32_t height, uint32_t pad);
    void ApplyFlyingPixel(const Settings &s, uint16_t *depth, uint32_t width, uint32_t height);
    void ApplySpatial(const Settings &s, uint16_t *depth, uint32_t width, uint32_t height);
    void ApplyTemporal(const Settings &s, uint16_t *depth, uint32_t width, uint32_t height);
    void ApplyFillHole(const Settings &s, uint16_t *depth, uint32_t width, uint32_t height);

    mutable std::mutex m_settingsMutex;
    Settings m_settings; ///< guarded by m_settingsMutex

    std::mutex m_passMutex;
    // Everything below up to m_sideMutex is guarded by m_passMutex.
    std::vector<int16_t> m_padded; ///< the image with a border of 0 (flying pixel, spatial)
    std::vector<float> m_average;  ///< temporal running average per pixel, 0 where invalid
    uint32_t m_averageWidth = 0;   ///< size of m_average's state; 0 when it must start over
    uint32_t m_averageHeight = 0;
    uint64_t m_averageGeneration = 0;
    std::vector<uint16_t> m_sideBack;   ///< the temporal result being written
    std::vector<uint16_t> m_columnLast; ///< hole fill: per column the row of the last valid pixel
    std::vector<uint8_t> m_irScratch;   ///< IR median output

    std::mutex m_sideMutex;
    std::vector<uint16_t> m_sideFront; ///< the kept temporal result, guarded by m_sideMutex
    uint32_t m_sideWidth = 0;          ///< guarded by m_sideMutex; 0 while none is kept
    uint32_t m_sideHeight = 0;         ///< guarded by m_sideMutex
};

} // namespace refine
