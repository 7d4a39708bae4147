// SPDX-License-Identifier: Apache-2.0
// DepthRefine: range limits, spatial, temporal and flying-pixel depth filters, the IR filter, and image
// geometry through OpenCV; the library's one exported entry point.
#include "DepthRefine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

int CvType(ALG_ElemType type)
{
    switch (type) {
    case ALG_8UC1:
        return CV_8UC1;
    case ALG_8UC3:
        return CV_8UC3;
    case ALG_16UC1:
        return CV_16UC1;
    }
    return -1;
}

bool IsValidImage(const AlgImage *image)
{
    return image != nullptr && image->data != nullptr && CvType(image->elemType) >= 0 && image->width > 0 &&
           image->height > 0 && image->width <= DepthRefine::kMaxImageSide &&
           image->height <= DepthRefine::kMaxImageSide;
}

bool IsValidDepth(const AlgImage *image)
{
    return IsValidImage(image) && image->elemType == ALG_16UC1;
}

cv::Mat Wrap(AlgImage *image)
{
    return cv::Mat(static_cast<int>(image->height), static_cast<int>(image->width), CvType(image->elemType),
                   image->data);
}

/// Copies a result back into the caller's buffer and records its geometry there.
void StoreResult(AlgImage *image, const cv::Mat &result)
{
    const size_t bytes = result.total() * result.elemSize();
    if (result.isContinuous()) {
        std::memcpy(image->data, result.data, bytes);
    } else {
        cv::Mat dst(result.rows, result.cols, result.type(), image->data);
        result.copyTo(dst);
    }
    image->width = static_cast<uint32_t>(result.cols);
    image->height = static_cast<uint32_t>(result.rows);
}

} // namespace

int DepthRefine::Init(const RefineCameraParams &params, const char *configDir)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cameraParams = params;
    m_configDir = configDir != nullptr ? configDir : "";
    return kRefineOk;
}

int DepthRefine::SetRgbIntrinsic(const double *intrinsic9, uint32_t width, uint32_t height, int frameMode)
{
    if (intrinsic9 == nullptr) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    std::copy(intrinsic9, intrinsic9 + 9, m_rgbIntrinsic);
    m_rgbWidth = width;
    m_rgbHeight = height;
    m_rgbFrameMode = frameMode;
    return kRefineOk;
}

int DepthRefine::SetFilterThreshold(const RefineFilterThreshold &threshold)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_filterThreshold = threshold;
    return kRefineOk;
}

int DepthRefine::SetSaveComputeDepthTab(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_saveComputeDepthTab = enabled;
    return kRefineOk;
}

int DepthRefine::SetDepthRange(int range, uint16_t maxDepthMm, uint16_t minDepthMm)
{
    if (maxDepthMm != 0 && minDepthMm > maxDepthMm) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_depthRange = range;
    m_maxDepthMm = maxDepthMm;
    m_minDepthMm = minDepthMm;
    return kRefineOk;
}

int DepthRefine::FilterIrImage(AlgImage *image)
{
    if (!IsValidImage(image) || image->elemType == ALG_8UC3) {
        return kRefineInvalidArgument;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_smoothingEnabled) {
            return kRefineOk;
        }
    }
    cv::Mat src = Wrap(image);
    cv::Mat filtered;
    cv::medianBlur(src, filtered, 3);
    filtered.copyTo(src);
    return kRefineOk;
}

int DepthRefine::SetApplyRGBCorrectionEnabled(bool enabled)
{
    // Colour correction comes with the colour path; claiming it on would be a false success.
    return enabled ? kRefineNotSupported : kRefineOk;
}

int DepthRefine::SetApplyRGBDistortionEnabled(bool enabled)
{
    return enabled ? kRefineNotSupported : kRefineOk;
}

int DepthRefine::ConvertColor(AlgImage *image, int count, int sourceFormat, int targetPixelFormat)
{
    if (sourceFormat != kColorSourceYuv420Planar) {
        return kRefineNotSupported;
    }
    if (image == nullptr || count <= 0 || (targetPixelFormat != 3 && targetPixelFormat != 4)) {
        return kRefineInvalidArgument;
    }
    // Check every image first so that a bad one in the middle leaves none converted.
    for (int i = 0; i < count; ++i) {
        const AlgImage &one = image[i];
        if (!IsValidImage(&one) || one.elemType != ALG_8UC1 || one.width % 2 != 0 || one.height % 2 != 0) {
            return kRefineInvalidArgument;
        }
    }
    const int code = targetPixelFormat == 3 ? cv::COLOR_YUV2RGB_I420 : cv::COLOR_YUV2BGR_I420;
    for (int i = 0; i < count; ++i) {
        AlgImage &one = image[i];
        // The planes are 1.5 rows per image row; the caller's buffer then takes 3 bytes per pixel.
        const cv::Mat planes(static_cast<int>(one.height * 3 / 2), static_cast<int>(one.width), CV_8UC1,
                             one.data);
        cv::Mat converted;
        cv::cvtColor(planes, converted, code);
        one.elemType = ALG_8UC3;
        StoreResult(&one, converted);
    }
    return kRefineOk;
}

int DepthRefine::ProcessColor(AlgImage *image)
{
    if (!IsValidImage(image) || image->elemType != ALG_8UC3) {
        return kRefineInvalidArgument;
    }
    // Colour undistortion and correction cannot be switched on in this build (their setters refuse),
    // so there is nothing to apply.
    return kRefineOk;
}

int DepthRefine::SetComputeRealDepthEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_computeRealDepth = enabled;
    return kRefineOk;
}

int DepthRefine::SetApplyToFDistortionEnabled(bool enabled, int /*option*/)
{
    return enabled ? kRefineNotSupported : kRefineOk;
}

int DepthRefine::SetSmoothingFilterEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_smoothingEnabled = enabled;
    return kRefineOk;
}

int DepthRefine::SetTimeFilterEnabled(bool enabled, int p1, int p2, int /*p3*/, int /*p4*/)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timeFilterEnabled = enabled;
    m_timeFilterThresholdMm = p1 > 0 ? p1 : kDefaultTimeFilterThresholdMm;
    m_timeFilterFrames = p2 > 0 ? p2 : kDefaultTimeFilterFrames;
    // A filter switched off and on again must not blend with frames from before.
    m_timeAverage.clear();
    return kRefineOk;
}

int DepthRefine::SetAlgoType(int type, int option)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_algoType = type;
    m_algoOption = option;
    return kRefineOk;
}

int DepthRefine::PreFilterDepth(AlgImage *depth)
{
    if (!IsValidDepth(depth)) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    ApplyRangeLimitsLocked(static_cast<uint16_t *>(depth->data), size_t{depth->width} * depth->height);
    return kRefineOk;
}

int DepthRefine::PostFilterDepth(AlgImage *depth)
{
    if (!IsValidDepth(depth)) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_flyingPixelParams.enable != 0) {
        ApplyFlyingPixelFilterLocked(static_cast<uint16_t *>(depth->data), depth->width, depth->height);
    }
    return kRefineOk;
}

int DepthRefine::ProcessDepth(AlgImage *depth, bool /*height360*/)
{
    if (!IsValidDepth(depth)) {
        return kRefineInvalidArgument;
    }
    auto *pixels = static_cast<uint16_t *>(depth->data);
    std::lock_guard<std::mutex> lock(m_mutex);
    ApplyRangeLimitsLocked(pixels, size_t{depth->width} * depth->height);
    if (m_smoothingEnabled) {
        ApplySpatialFilterLocked(pixels, depth->width, depth->height);
    }
    if (m_timeFilterEnabled) {
        ApplyTemporalFilterLocked(pixels, depth->width, depth->height);
    }
    return kRefineOk;
}

void DepthRefine::ApplyRangeLimitsLocked(uint16_t *depth, size_t pixels) const
{
    if (m_maxDepthMm == 0 && m_minDepthMm == 0) {
        return;
    }
    const uint16_t maxMm = m_maxDepthMm != 0 ? m_maxDepthMm : UINT16_MAX;
    const uint16_t beyond = m_outOfMaxRangeHandle == 1 ? maxMm : 0;
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t d = depth[i];
        if (d > maxMm) {
            depth[i] = beyond;
        } else if (d < m_minDepthMm) {
            depth[i] = 0;
        }
    }
}

void DepthRefine::ApplySpatialFilterLocked(uint16_t *depth, uint32_t width, uint32_t height) const
{
    const uint32_t edgeMm =
        m_spatialParams.threshold != 0 ? m_spatialParams.threshold : kDefaultEdgeThresholdMm;
    const int radius = m_spatialParams.value == 2 ? 2 : 1;
    const std::vector<uint16_t> src(depth, depth + size_t{width} * height);
    uint16_t window[25];
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint16_t centre = src[size_t{y} * width + x];
            if (centre == 0) {
                continue; // invalid stays invalid
            }
            int n = 0;
            for (int dy = -radius; dy <= radius; ++dy) {
                const int yy = static_cast<int>(y) + dy;
                if (yy < 0 || yy >= static_cast<int>(height)) {
                    continue;
                }
                for (int dx = -radius; dx <= radius; ++dx) {
                    const int xx = static_cast<int>(x) + dx;
                    if (xx < 0 || xx >= static_cast<int>(width)) {
                        continue;
                    }
                    const uint16_t v = src[static_cast<size_t>(yy) * width + static_cast<size_t>(xx)];
                    // Invalid pixels and the far side of an edge take no part.
                    if (v != 0 && static_cast<uint32_t>(std::abs(int{v} - int{centre})) <= edgeMm) {
                        window[n++] = v;
                    }
                }
            }
            std::nth_element(window, window + n / 2, window + n);
            depth[size_t{y} * width + x] = window[n / 2];
        }
    }
}

void DepthRefine::ApplyTemporalFilterLocked(uint16_t *depth, uint32_t width, uint32_t height)
{
    const size_t pixels = size_t{width} * height;
    if (m_timeAverage.size() != pixels || m_timeWidth != width || m_timeHeight != height) {
        m_timeAverage.assign(pixels, 0.0f);
        m_timeWidth = width;
        m_timeHeight = height;
    }
    const float weight = 1.0f / static_cast<float>(m_timeFilterFrames);
    const float thresholdMm = static_cast<float>(m_timeFilterThresholdMm);
    for (size_t i = 0; i < pixels; ++i) {
        const float d = depth[i];
        float &avg = m_timeAverage[i];
        if (depth[i] == 0 || avg == 0.0f || std::fabs(d - avg) > thresholdMm) {
            avg = d; // invalid, first seen or a real change: start over from this frame
        } else {
            avg += (d - avg) * weight;
        }
        depth[i] = static_cast<uint16_t>(std::lround(avg));
    }
    m_lastTimeFiltered.assign(depth, depth + pixels);
}

void DepthRefine::ApplyFlyingPixelFilterLocked(uint16_t *depth, uint32_t width, uint32_t height) const
{
    const uint32_t thresholdMm =
        m_flyingPixelParams.threshold != 0 ? m_flyingPixelParams.threshold : kDefaultEdgeThresholdMm;
    const std::vector<uint16_t> src(depth, depth + size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const size_t i = size_t{y} * width + x;
            const int centre = src[i];
            if (centre == 0) {
                continue;
            }
            bool supported = false;
            const auto near = [&](size_t j) {
                return src[j] != 0 && static_cast<uint32_t>(std::abs(int{src[j]} - centre)) <= thresholdMm;
            };
            supported = (x > 0 && near(i - 1)) || (x + 1 < width && near(i + 1)) ||
                        (y > 0 && near(i - width)) || (y + 1 < height && near(i + width));
            if (!supported) {
                depth[i] = 0;
            }
        }
    }
}

int DepthRefine::GetMappedPointDepthToRGB(const TfDepthVector3 & /*depthPoint*/,
                                          const TfVector2u16 & /*colorSize*/, TfVector2u16 * /*colorPoint*/)
{
    return kRefineNotSupported;
}

int DepthRefine::MapDepthToColor(const AlgImage * /*color*/, const AlgImage * /*depth*/, AlgImage * /*out*/)
{
    return kRefineNotSupported;
}

int DepthRefine::MapColorToDepth(const AlgImage * /*color*/, const AlgImage * /*depth*/, AlgImage * /*out*/)
{
    return kRefineNotSupported;
}

int DepthRefine::MapIrToColor(const AlgImage * /*color*/, const AlgImage * /*depth*/, const AlgImage * /*ir*/,
                              AlgImage * /*outIr*/)
{
    return kRefineNotSupported;
}

int DepthRefine::MapDepthIrToColor(const AlgImage * /*color*/, const AlgImage * /*depth*/,
                                   const AlgImage * /*ir*/, AlgImage * /*outDepth*/, AlgImage * /*outIr*/)
{
    return kRefineNotSupported;
}

int DepthRefine::Mirror(AlgImage *image, int code)
{
    if (!IsValidImage(image) || code < -1 || code > 1) {
        return kRefineInvalidArgument;
    }
    cv::Mat src = Wrap(image);
    cv::Mat flipped;
    cv::flip(src, flipped, code);
    flipped.copyTo(src);
    return kRefineOk;
}

int DepthRefine::Resize(AlgImage *image, uint32_t width, uint32_t height, int /*flag*/)
{
    if (!IsValidImage(image) || width == 0 || height == 0 || width > kMaxImageSide ||
        height > kMaxImageSide) {
        return kRefineInvalidArgument;
    }
    cv::Mat resized;
    // Interpolating depth would invent distances between an object and its background, or next to 0.
    const int interpolation = image->elemType == ALG_16UC1 ? cv::INTER_NEAREST : cv::INTER_LINEAR;
    cv::resize(Wrap(image), resized, cv::Size(static_cast<int>(width), static_cast<int>(height)), 0, 0,
               interpolation);
    StoreResult(image, resized);
    return kRefineOk;
}

int DepthRefine::Crop(AlgImage *image, uint32_t x, uint32_t y, uint32_t width, uint32_t height)
{
    if (!IsValidImage(image) || width == 0 || height == 0 || uint64_t{x} + width > image->width ||
        uint64_t{y} + height > image->height) {
        return kRefineInvalidArgument;
    }
    const cv::Mat cropped = Wrap(image)(cv::Rect(static_cast<int>(x), static_cast<int>(y),
                                                 static_cast<int>(width), static_cast<int>(height)))
                                .clone();
    StoreResult(image, cropped);
    return kRefineOk;
}

int DepthRefine::Rotate(AlgImage *image, int rotation)
{
    // The codes of the image rotation setting: 0 quarter turn clockwise, 1 half turn, 2 quarter turn
    // counter-clockwise (the same as cv::rotate's).
    if (!IsValidImage(image) || rotation < 0 || rotation > 2) {
        return kRefineInvalidArgument;
    }
    static constexpr int kCvCodes[] = {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180,
                                       cv::ROTATE_90_COUNTERCLOCKWISE};
    cv::Mat rotated;
    cv::rotate(Wrap(image), rotated, kCvCodes[rotation]);
    StoreResult(image, rotated);
    return kRefineOk;
}

int DepthRefine::SetTimeFilterDepthEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timeFilterDepthEnabled = enabled;
    return kRefineOk;
}

int DepthRefine::GetOnlyTimeFilterDepth(AlgImage *out)
{
    if (!IsValidDepth(out)) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_lastTimeFiltered.empty()) {
        return kRefineNotSupported;
    }
    if (uint64_t{out->width} * out->height < m_lastTimeFiltered.size()) {
        return kRefineInvalidArgument;
    }
    std::memcpy(out->data, m_lastTimeFiltered.data(), m_lastTimeFiltered.size() * sizeof(uint16_t));
    out->width = m_timeWidth;
    out->height = m_timeHeight;
    return kRefineOk;
}

int DepthRefine::SetOutofMaxRangeHandle(int handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outOfMaxRangeHandle = handle;
    return kRefineOk;
}

int DepthRefine::GetOutofMaxRangeHandle()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_outOfMaxRangeHandle;
}

int DepthRefine::ConvertIr16To8(uint32_t width, uint32_t height, uint8_t *dst, const uint16_t *src)
{
    if (dst == nullptr || src == nullptr || width == 0 || height == 0 || width > kMaxImageSide ||
        height > kMaxImageSide) {
        return kRefineInvalidArgument;
    }
    const size_t pixels = size_t{width} * height;
    for (size_t i = 0; i < pixels; ++i) {
        // The sensor's IR is 12 bits: keep the top eight, saturating anything brighter.
        dst[i] = static_cast<uint8_t>(std::min<uint32_t>(src[i] >> 4, 255u));
    }
    return kRefineOk;
}

int DepthRefine::SetFlyingPixelFilterParams(const TfFlyingPixelFilterParams &params)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_flyingPixelParams = params;
    return kRefineOk;
}

int DepthRefine::SetSpatialFilterParams(const TfSpatialFilterParams &params)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_spatialParams = params;
    return kRefineOk;
}

int DepthRefine::SetFillHoleFilterParams(const TfFillHoleFilterParams &params)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fillHoleParams = params;
    return kRefineOk;
}

int DepthRefine::GetFlyingPixelFilterParams(TfFlyingPixelFilterParams *params)
{
    if (params == nullptr) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    *params = m_flyingPixelParams;
    return kRefineOk;
}

int DepthRefine::GetSpatialFilterParams(TfSpatialFilterParams *params)
{
    if (params == nullptr) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    *params = m_spatialParams;
    return kRefineOk;
}

int DepthRefine::GetFillHoleFilterParams(TfFillHoleFilterParams *params)
{
    if (params == nullptr) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    *params = m_fillHoleParams;
    return kRefineOk;
}

int DepthRefine::ComputeUndistortedIntrinsic(double * /*intrinsic9*/, const double * /*distortion8*/,
                                             uint16_t /*width*/, uint16_t /*height*/)
{
    return kRefineNotSupported;
}

extern "C" __attribute__((visibility("default"))) APIDepthRefine *Get_APIDepthRefine()
{
    // One object per call: each camera's pipeline owns its own and deletes it.
    return new (std::nothrow) DepthRefine();
}
