// SPDX-License-Identifier: Apache-2.0
// Undistorter: the maps from the lens model, their fixed-point and nearest-index forms, and the in-place
// resampling of ToF and colour images.
#include "Undistorter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/imgproc.hpp>

namespace refine {

namespace {

/// Largest image side accepted: the fixed-point map holds coordinates as 16-bit integers.
constexpr uint32_t kMaxSide = 16384;
/// Where the float maps send a pixel whose source is outside the sensor: far enough out that bilinear
/// interpolation reads only the zero border.
constexpr float kOutsidePx = -1000.0f;
/// Rows of the colour image resampled per cv::remap call.
constexpr int kBandRows = 16;

bool IsUsableTarget(const Pinhole &target)
{
    return target.fx > 0.0 && target.fy > 0.0 && std::isfinite(target.fx) && std::isfinite(target.fy) &&
           std::isfinite(target.cx) && std::isfinite(target.cy);
}

template <typename T> void Gather(const int32_t *index, size_t count, T *out, const T *source)
{
    for (size_t i = 0; i < count; ++i) {
        out[i] = source[index[i]];
    }
}

/// All three images in one pass, so the index is read once.
template <typename IrT>
void Gather3(const int32_t *index, size_t count, uint16_t *depth, const uint16_t *sourceDepth, IrT *ir,
             const IrT *sourceIr, uint16_t *confidence, const uint16_t *sourceConfidence)
{
    for (size_t i = 0; i < count; ++i) {
        const int32_t j = index[i];
        depth[i] = sourceDepth[j];
        ir[i] = sourceIr[j];
        confidence[i] = sourceConfidence[j];
    }
}

/// Copies `count` elements of `image` into `scratch` and zeroes the sentinel after them.
template <typename T> const T *Stage(std::vector<uint16_t> &scratch, const T *image, size_t count)
{
    T *staged = reinterpret_cast<T *>(scratch.data());
    std::memcpy(staged, image, count * sizeof(T));
    staged[count] = 0;
    return staged;
}

} // namespace

bool Undistorter::Key::operator==(const Key &other) const
{
    // NaN matches NaN, so that a refused calibration is recognised when it comes again.
    const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    return width == other.width && height == other.height && autoTarget == other.autoTarget &&
           std::equal(values.begin(), values.end(), other.values.begin(), same);
}

Undistorter::Key Undistorter::MakeKey(const LensModel &lens, uint32_t width, uint32_t height,
                                      const Pinhole *target)
{
    Key key;
    key.values = {lens.pinhole.fx, lens.pinhole.fy, lens.pinhole.cx, lens.pinhole.cy, lens.k1, lens.k2,
                  lens.k3,         lens.k4,         lens.k5,         lens.k6,         lens.p1, lens.p2};
    if (target != nullptr) {
        key.values[12] = target->fx;
        key.values[13] = target->fy;
        key.values[14] = target->cx;
        key.values[15] = target->cy;
    }
    key.width = width;
    key.height = height;
    key.autoTarget = target == nullptr;
    return key;
}

bool Undistorter::Prepare(const LensModel &lens, uint32_t width, uint32_t height, const Pinhole &target)
{
    const Key key = MakeKey(lens, width, height, &target);
    if (m_haveKey && key == m_key) {
        return m_ready;
    }
    m_key = key;
    m_haveKey = true;
    return Rebuild(lens, width, height, target);
}

bool Undistorter::Prepare(const LensModel &lens, uint32_t width, uint32_t height)
{
    const Key key = MakeKey(lens, width, height, nullptr);
    if (m_haveKey && key == m_key) {
        return m_ready;
    }
    m_key = key;
    m_haveKey = true;
    Pinhole target;
    if (width > kMaxSide || height > kMaxSide || !UndistortedPinhole(lens, width, height, target)) {
        Clear();
        return false;
    }
    return Rebuild(lens, width, height, target);
}

void Undistorter::Clear()
{
    m_ready = false;
    m_identity = false;
    m_width = 0;
    m_height = 0;
    m_mapXY.release();
    m_mapFraction.release();
    m_nearestIndex.clear();
}

bool Undistorter::Rebuild(const LensModel &lens, uint32_t width, uint32_t height, const Pinhole &target)
{
    Clear();
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || !IsUsableTarget(target)) {
        return false;
    }
    const double checkedRadius = lens.CheckedRayRadius(width, height);
    if (!(checkedRadius > 0.0)) {
        return false;
    }
    m_width = width;
    m_height = height;
    m_target = target;
    m_identity = !lens.HasDistortion() && target.fx == lens.pinhole.fx && target.fy == lens.pinhole.fy &&
                 target.cx == lens.pinhole.cx && target.cy == lens.pinhole.cy;
    if (!m_identity) {
        BuildMaps(lens, checkedRadius);
        ++m_buildCount;
    }
    m_ready = true;
    return true;
}

void Undistorter::BuildMaps(const LensModel &lens, double checkedRadius)
{
    const int width = int(m_width);
    const int height = int(m_height);
    cv::Mat mapX(height, width, CV_32FC1);
    cv::Mat mapY(height, width, CV_32FC1);
    const double right = width - 1;
    const double bottom = height - 1;
    for (int v = 0; v < height; ++v) {
        float *rowX = mapX.ptr<float>(v);
        float *rowY = mapY.ptr<float>(v);
        const double y = (v - m_target.cy) / m_target.fy;
        for (int u = 0; u < width; ++u) {
            const double x = (u - m_target.cx) / m_target.fx;
            double su = 0.0;
            double sv = 0.0;
            // A source within half a pixel of the sensor rounds onto its edge pixel: take that pixel.
            // Rays beyond the checked radius are outside, wherever a rational model sends them.
            if (std::hypot(x, y) <= checkedRadius && lens.Project(x, y, su, sv) && su >= -0.5 &&
                su < right + 0.5 && sv >= -0.5 && sv < bottom + 0.5) {
                rowX[u] = float(std::min(std::max(su, 0.0), right));
                rowY[u] = float(std::min(std::max(sv, 0.0), bottom));
            } else {
                rowX[u] = kOutsidePx;
                rowY[u] = kOutsidePx;
            }
        }
    }
    cv::convertMaps(mapX, mapY, m_mapXY, m_mapFraction, CV_16SC2, false);
    // The rows of the sensor image each band of target rows reads (with the row below, for bilinear),
    // and the rows it overwrites: everything above both must be copied before the band is written.
    m_bandCopyEnd.assign((m_height + kBandRows - 1) / kBandRows, 0);
    int copyEnd = 0;
    for (size_t band = 0; band < m_bandCopyEnd.size(); ++band) {
        const int first = int(band) * kBandRows;
        const int end = std::min(first + kBandRows, height);
        copyEnd = std::max(copyEnd, end);
        for (int v = first; v < end; ++v) {
            const int16_t *xy = m_mapXY.ptr<int16_t>(v);
            for (int u = 0; u < width; ++u) {
                copyEnd = std::max(copyEnd, std::min(xy[2 * u + 1] + 2, height));
            }
        }
        m_bandCopyEnd[band] = copyEnd;
    }
}

void Undistorter::BuildNearestIndex()
{
    const size_t count = size_t{m_width} * m_height;
    m_nearestIndex.resize(count);
    for (uint32_t v = 0; v < m_height; ++v) {
        const int16_t *xy = m_mapXY.ptr<int16_t>(int(v));
        const uint16_t *fraction = m_mapFraction.ptr<uint16_t>(int(v));
        int32_t *index = m_nearestIndex.data() + size_t{v} * m_width;
        for (uint32_t u = 0; u < m_width; ++u) {
            // Fixed point in 1/32 pixel, rounded to the nearest whole pixel.
            const int32_t fx = xy[2 * u] * cv::INTER_TAB_SIZE + (fraction[u] & (cv::INTER_TAB_SIZE - 1));
            const int32_t fy = xy[2 * u + 1] * cv::INTER_TAB_SIZE + (fraction[u] >> cv::INTER_BITS);
            const int32_t su = (fx + cv::INTER_TAB_SIZE / 2) >> cv::INTER_BITS;
            const int32_t sv = (fy + cv::INTER_TAB_SIZE / 2) >> cv::INTER_BITS;
            const bool inside = su >= 0 && su < int32_t(m_width) && sv >= 0 && sv < int32_t(m_height);
            index[u] = inside ? sv * int32_t(m_width) + su : int32_t(count);
        }
    }
    m_scratchDepth.assign(count + 1, 0);
    m_scratchIr.assign(count + 1, 0);
    m_scratchConfidence.assign(count + 1, 0);
}

bool Undistorter::Matches(uint32_t width, uint32_t height) const
{
    return m_ready && width == m_width && height == m_height;
}

bool Undistorter::ApplyNearest(uint16_t *depth, void *ir, bool ir8, uint16_t *confidence, uint32_t width,
                               uint32_t height)
{
    if (!Matches(width, height)) {
        return false;
    }
    if (m_identity) {
        return true;
    }
    if (m_nearestIndex.empty()) {
        BuildNearestIndex();
    }
    const size_t count = size_t{width} * height;
    const int32_t *index = m_nearestIndex.data();
    auto *ir16 = static_cast<uint16_t *>(ir);
    auto *irBytes = static_cast<uint8_t *>(ir);
    if (depth != nullptr && ir != nullptr && confidence != nullptr) {
        const uint16_t *d = Stage(m_scratchDepth, depth, count);
        const uint16_t *c = Stage(m_scratchConfidence, confidence, count);
        if (ir8) {
            Gather3(index, count, depth, d, irBytes, Stage(m_scratchIr, irBytes, count), confidence, c);
        } else {
            Gather3(index, count, depth, d, ir16, Stage(m_scratchIr, ir16, count), confidence, c);
        }
        return true;
    }
    if (depth != nullptr) {
        Gather(index, count, depth, Stage(m_scratchDepth, depth, count));
    }
    if (ir != nullptr && ir8) {
        Gather(index, count, irBytes, Stage(m_scratchIr, irBytes, count));
    } else if (ir != nullptr) {
        Gather(index, count, ir16, Stage(m_scratchIr, ir16, count));
    }
    if (confidence != nullptr) {
        Gather(index, count, confidence, Stage(m_scratchConfidence, confidence, count));
    }
    return true;
}

bool Undistorter::ApplyBilinear(uint8_t *bgr, uint32_t width, uint32_t height)
{
    if (bgr == nullptr || !Matches(width, height)) {
        return false;
    }
    if (m_identity) {
        return true;
    }
    // Band by band: the rows a band reads are copied just before it overwrites them, so the copy is
    // still in cache when cv::remap reads it.
    cv::Mat image(int(height), int(width), CV_8UC3, bgr);
    m_scratchColor.create(image.size(), CV_8UC3); // allocates only for the first image of this size
    int copied = 0;
    for (size_t band = 0; band < m_bandCopyEnd.size(); ++band) {
        const int first = int(band) * kBandRows;
        const int end = std::min(first + kBandRows, int(height));
        if (m_bandCopyEnd[band] > copied) {
            image.rowRange(copied, m_bandCopyEnd[band])
                .copyTo(m_scratchColor.rowRange(copied, m_bandCopyEnd[band]));
            copied = m_bandCopyEnd[band];
        }
        cv::Mat out = image.rowRange(first, end);
        cv::remap(m_scratchColor, out, m_mapXY.rowRange(first, end), m_mapFraction.rowRange(first, end),
                  cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar());
    }
    return true;
}

} // namespace refine
