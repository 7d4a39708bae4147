// SPDX-License-Identifier: Apache-2.0
// Undistorter: resamples images taken through a lens onto a distortion-free pinhole, in place, from maps
// computed once per lens, size and target.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "CameraModel.h"

namespace refine {

/// For every pixel (u, v) of the target pinhole, the ray ((u - cx') / fx', (v - cy') / fy') is projected
/// through the lens to the sensor pixel it takes its value from. The maps are computed in floating
/// point, converted once to cv::remap's fixed point (CV_16SC2 integer part, CV_16UC1 index of the
/// 1/32-pixel fraction), and the nearest-neighbour source index is derived from that pair on first
/// use, rounded (cv::remap's nearest mode does not round the pair, and one gather serves three images). A
/// source within half a pixel outside the sensor is taken from its edge; a source farther out gives 0.
/// Nothing is allocated per frame once the maps and their buffers exist: hold one object per stream. Not
/// thread-safe: one caller at a time.
class Undistorter
{
public:
    /// Makes the maps describe width x height images of `lens` resampled onto `target`. They are
    /// recomputed only when the lens, the size or the target differ from the previous call; a refused
    /// call is remembered as well, so calling this for every frame costs one comparison.
    /// False, with no map (nothing is then undistorted), for a lens IsValid refuses over that size or a
    /// target without positive finite focal lengths and a finite principal point.
    bool Prepare(const LensModel &lens, uint32_t width, uint32_t height, const Pinhole &target);
    /// Prepare onto the lens's UndistortedPinhole for that size.
    bool Prepare(const LensModel &lens, uint32_t width, uint32_t height);

    bool IsReady() const { return m_ready; }
    /// True when the prepared maps change nothing (no distortion and the target is the lens's own
    /// pinhole): the Apply operations then leave the images untouched and no map is kept.
    bool IsIdentity() const { return m_ready && m_identity; }
    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    const Pinhole &Target() const { return m_target; }
    /// How often maps have been computed: once per lens, size and target a stream goes through.
    uint64_t BuildCount() const { return m_buildCount; }
    /// The fixed-point maps for cv::remap (empty when not ready or the identity).
    const cv::Mat &MapXY() const { return m_mapXY; }
    const cv::Mat &MapFraction() const { return m_mapFraction; }

    /// The ToF geometric step, in place, nearest neighbour: depth and confidence are 16-bit, IR 8-bit
    /// when `ir8` else 16-bit, all width x height and tightly packed. A null image is skipped. Values
    /// are carried, never blended (0 and 65535 stay what they are). False, touching nothing, when not
    /// ready or the size is not the prepared one.
    bool ApplyNearest(uint16_t *depth, void *ir, bool ir8, uint16_t *confidence, uint32_t width,
                      uint32_t height);
    /// Colour, in place, bilinear: an 8-bit three-channel width x height image, tightly packed. False,
    /// touching nothing, for a null image, when not ready or the size is not the prepared one.
    bool ApplyBilinear(uint8_t *bgr, uint32_t width, uint32_t height);

private:
    /// Lens, size and target (or "the undistorted pinhole").
    struct Key
    {
        std::array<double, 16> values{};
        uint32_t width = 0;
        uint32_t height = 0;
        bool autoTarget = false;
        bool operator==(const Key &other) const;
    };
    static Key MakeKey(const LensModel &lens, uint32_t width, uint32_t height, const Pinhole *target);
    void Clear();
    bool Rebuild(const LensModel &lens, uint32_t width, uint32_t height, const Pinhole &target);
    void BuildMaps(const LensModel &lens, double checkedRadius);
    void BuildNearestIndex();
    bool Matches(uint32_t width, uint32_t height) const;

    Key m_key;
    bool m_haveKey = false;
    bool m_ready = false;
    bool m_identity = false;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    Pinhole m_target;
    uint64_t m_buildCount = 0;
    cv::Mat m_mapXY;       ///< CV_16SC2: integer source column and row
    cv::Mat m_mapFraction; ///< CV_16UC1: row fraction * 32 + column fraction, in 1/32 pixel
    /// Per target pixel the index of its nearest source pixel, or width * height (a zero sentinel)
    /// for a source outside the sensor. Derived from the fixed-point pair on the first ApplyNearest.
    std::vector<int32_t> m_nearestIndex;
    /// Copies of the images being resampled, each one element longer for the zero sentinel.
    std::vector<uint16_t> m_scratchDepth;
    std::vector<uint16_t> m_scratchIr;
    std::vector<uint16_t> m_scratchConfidence;
    cv::Mat m_scratchColor;
    /// Per band of target rows, how many rows of the colour image must be in the scratch copy before
    /// the band is written (its sources and its own rows).
    std::vector<int> m_bandCopyEnd;
};

} // namespace refine
