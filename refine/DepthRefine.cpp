// SPDX-License-Identifier: Apache-2.0
// DepthRefine: one camera's refine library object: the geometry snapshot and what is built on it
// (undistortion, registration, points of mapped depth), the filter chain's forwards, image operations
// through OpenCV, and the library's one exported entry point.
#include "DepthRefine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "refine/ColorGeometry.h"

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

namespace {

/// Depth that is no measurement.
constexpr uint16_t kInvalidDepth = 65535;

bool ValidAlgDepth(const AlgImage *image, uint32_t width, uint32_t height)
{
    return image != nullptr && image->data != nullptr && image->elemType == ALG_16UC1 &&
           image->width == width && image->height == height;
}

/// The radial-to-axial factor of every sensor pixel: 1 / |ray| with the ray through the lens.
std::shared_ptr<const std::vector<float>> AxialFactors(const refine::LensModel &lens, uint32_t width,
                                                       uint32_t height)
{
    auto factors = std::make_shared<std::vector<float>>(size_t{width} * height);
    const refine::Pinhole &k = lens.pinhole;
    for (uint32_t v = 0; v < height; ++v) {
        for (uint32_t u = 0; u < width; ++u) {
            double x = (u - k.cx) / k.fx;
            double y = (v - k.cy) / k.fy;
            if (lens.HasDistortion()) {
                double rx = 0.0;
                double ry = 0.0;
                if (lens.Unproject(u, v, rx, ry)) {
                    x = rx;
                    y = ry;
                }
            }
            (*factors)[size_t{v} * width + u] = static_cast<float>(1.0 / std::sqrt(1.0 + x * x + y * y));
        }
    }
    return factors;
}

bool SameLens(const refine::LensModel &a, const refine::LensModel &b)
{
    const refine::Pinhole &p = a.pinhole;
    const refine::Pinhole &q = b.pinhole;
    return p.fx == q.fx && p.fy == q.fy && p.cx == q.cx && p.cy == q.cy && a.k1 == b.k1 && a.k2 == b.k2 &&
           a.p1 == b.p1 && a.p2 == b.p2 && a.k3 == b.k3 && a.k4 == b.k4 && a.k5 == b.k5 && a.k6 == b.k6;
}

/// The colour lens of a width x height colour image: the calibration's intrinsics by the one colour
/// geometry, the same distortion (it acts on normalised coordinates).
refine::LensModel ColorLensAt(const refine::LensModel &calibration, uint32_t width, uint32_t height)
{
    double k[9] = {};
    calibration.pinhole.ToMatrix(k);
    ScaleColorIntrinsic(k, width, height);
    refine::LensModel lens = calibration;
    lens.pinhole = refine::Pinhole::FromMatrix(k);
    return lens;
}

} // namespace

DepthRefine::DepthRefine()
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    PublishGeometryLocked();
}

std::shared_ptr<const DepthRefine::Geometry> DepthRefine::CurrentGeometry() const
{
    std::lock_guard<std::mutex> lock(m_geometryMutex);
    return m_geometry;
}

void DepthRefine::PublishGeometryLocked()
{
    auto geometry = std::make_shared<Geometry>();
    const RefineCameraParams &p = m_cameraParams;
    geometry->tofLens = refine::LensModel::FromCalibration(p.tofIntrinsic, p.tofDistortion);
    geometry->colorLens = refine::LensModel::FromCalibration(p.colorIntrinsic, p.colorDistortion);
    geometry->tofLensValid = m_haveCalibration && geometry->tofLens.IsValid(kTofWidth, kTofHeight);
    geometry->colorLensValid =
        m_haveCalibration && geometry->colorLens.IsValid(kColorCalibrationWidth, kColorCalibrationHeight);
    geometry->tofUndistorted = m_tofUndistort && geometry->tofLensValid;
    geometry->colorUndistorted = m_colorUndistort && geometry->colorLensValid;
    std::copy(std::begin(p.rotation), std::end(p.rotation), geometry->rotation);
    std::copy(std::begin(p.translation), std::end(p.translation), geometry->translation);
    geometry->tofTarget = geometry->tofLens.pinhole;
    if (geometry->tofLensValid) {
        refine::UndistortedPinhole(geometry->tofLens, kTofWidth, kTofHeight, geometry->tofTarget);
    }
    {
        // The factors depend on the calibration alone: an unchanged one keeps the table.
        std::lock_guard<std::mutex> lock(m_geometryMutex);
        if (m_geometry != nullptr && m_geometry->axialFactors != nullptr &&
            SameLens(m_geometry->tofLens, geometry->tofLens)) {
            geometry->axialFactors = m_geometry->axialFactors;
        }
    }
    if (geometry->axialFactors == nullptr && geometry->tofLensValid) {
        geometry->axialFactors = AxialFactors(geometry->tofLens, kTofWidth, kTofHeight);
        m_filters.SetAxialFactors(geometry->axialFactors, kTofWidth, kTofHeight);
    }
    std::lock_guard<std::mutex> lock(m_geometryMutex);
    m_geometry = std::move(geometry);
}

int DepthRefine::Init(const RefineCameraParams &params, const char *configDir)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_cameraParams = params;
    m_haveCalibration = true;
    m_configDir = configDir != nullptr ? configDir : "";
    PublishGeometryLocked();
    return kRefineOk;
}

int DepthRefine::SetRgbIntrinsic(const double *intrinsic9, uint32_t width, uint32_t height, int /*frameMode*/)
{
    if (intrinsic9 == nullptr) {
        return kRefineInvalidArgument;
    }
    // Kept for reference only: the colour intrinsics of every delivered size are derived from the
    // calibration by the one colour geometry, which is what the caller scaled these with.
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    std::copy(intrinsic9, intrinsic9 + 9, m_rgbIntrinsic);
    m_rgbWidth = width;
    m_rgbHeight = height;
    return kRefineOk;
}

int DepthRefine::SetFilterThreshold(const RefineFilterThreshold &threshold)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_filterThreshold = threshold;
    return kRefineOk;
}

int DepthRefine::SetSaveComputeDepthTab(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_saveComputeDepthTab = enabled;
    return kRefineOk;
}

int DepthRefine::SetDepthRange(int /*range*/, uint16_t maxDepthMm, uint16_t minDepthMm)
{
    return m_filters.SetDepthRange(maxDepthMm, minDepthMm);
}

int DepthRefine::FilterIrImage(AlgImage *image)
{
    return m_filters.FilterIr(image);
}

int DepthRefine::SetApplyRGBCorrectionEnabled(bool enabled)
{
    // Colour correction is not part of this library; claiming it on would be a false success.
    return enabled ? kRefineNotSupported : kRefineOk;
}

int DepthRefine::SetApplyRGBDistortionEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    if (enabled && m_haveCalibration &&
        !refine::LensModel::FromCalibration(m_cameraParams.colorIntrinsic, m_cameraParams.colorDistortion)
             .IsValid(kColorCalibrationWidth, kColorCalibrationHeight)) {
        return kRefineInvalidArgument; // a lens the model refuses is never undistorted
    }
    m_colorUndistort = enabled;
    PublishGeometryLocked();
    return kRefineOk;
}

int DepthRefine::SetApplyToFDistortionEnabled(bool enabled, int /*option*/)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    if (enabled && m_haveCalibration &&
        !refine::LensModel::FromCalibration(m_cameraParams.tofIntrinsic, m_cameraParams.tofDistortion)
             .IsValid(kTofWidth, kTofHeight)) {
        return kRefineInvalidArgument;
    }
    m_tofUndistort = enabled;
    PublishGeometryLocked();
    return kRefineOk;
}

bool DepthRefine::ColorTarget(const Geometry &geometry, uint32_t width, uint32_t height,
                              refine::LensModel &lens, refine::Pinhole &target)
{
    if (m_colorTargetGeometry.get() != &geometry || m_colorTargetWidth != width ||
        m_colorTargetHeight != height) {
        m_colorTargetGeometry = CurrentGeometry();
        if (m_colorTargetGeometry.get() != &geometry) {
            return false; // replaced meanwhile: the next frame takes the new one
        }
        m_colorTargetWidth = width;
        m_colorTargetHeight = height;
        m_colorTargetLens = ColorLensAt(geometry.colorLens, width, height);
        m_colorTargetValid = refine::UndistortedPinhole(m_colorTargetLens, width, height, m_colorTarget);
    }
    lens = m_colorTargetLens;
    target = m_colorTarget;
    return m_colorTargetValid;
}

int DepthRefine::ProcessColor(AlgImage *image)
{
    if (!IsValidImage(image) || image->elemType != ALG_8UC3) {
        return kRefineInvalidArgument;
    }
    const std::shared_ptr<const Geometry> geometry = CurrentGeometry();
    // An image the colour decoder turned on its side is not the lens's image: it is left as it is.
    if (!geometry->colorUndistorted || image->width < image->height) {
        return kRefineOk;
    }
    refine::LensModel lens;
    refine::Pinhole target;
    if (!ColorTarget(*geometry, image->width, image->height, lens, target) ||
        !m_colorUndistorter.Prepare(lens, image->width, image->height, target)) {
        return kRefineInvalidArgument;
    }
    if (!m_colorUndistorter.IsIdentity() &&
        !m_colorUndistorter.ApplyBilinear(static_cast<uint8_t *>(image->data), image->width, image->height)) {
        return kRefineInvalidArgument;
    }
    return kRefineOk;
}

int DepthRefine::UndistortTof(AlgImage *depth, AlgImage *ir, AlgImage *confidence)
{
    if (depth == nullptr || depth->data == nullptr || depth->elemType != ALG_16UC1) {
        return kRefineInvalidArgument;
    }
    const uint32_t width = depth->width;
    const uint32_t height = depth->height;
    const bool irOk = ir == nullptr || (ir->data != nullptr && ir->width == width && ir->height == height &&
                                        (ir->elemType == ALG_8UC1 || ir->elemType == ALG_16UC1));
    if (!irOk || (confidence != nullptr && !ValidAlgDepth(confidence, width, height))) {
        return kRefineInvalidArgument;
    }
    const std::shared_ptr<const Geometry> geometry = CurrentGeometry();
    if (!geometry->tofUndistorted) {
        return kRefineOk;
    }
    if (width != kTofWidth || height != kTofHeight ||
        !m_tofUndistorter.Prepare(geometry->tofLens, width, height, geometry->tofTarget)) {
        return kRefineInvalidArgument;
    }
    if (m_tofUndistorter.IsIdentity()) {
        return kRefineOk;
    }
    const bool done = m_tofUndistorter.ApplyNearest(
        static_cast<uint16_t *>(depth->data), ir != nullptr ? ir->data : nullptr,
        ir != nullptr && ir->elemType == ALG_8UC1,
        confidence != nullptr ? static_cast<uint16_t *>(confidence->data) : nullptr, width, height);
    return done ? kRefineOk : kRefineInvalidArgument;
}

int DepthRefine::ComputeUndistortedIntrinsic(double *intrinsic9, const double *distortion8, uint16_t width,
                                             uint16_t height)
{
    if (intrinsic9 == nullptr || distortion8 == nullptr) {
        return kRefineInvalidArgument;
    }
    const refine::LensModel lens = refine::LensModel::FromCalibration(intrinsic9, distortion8);
    if (!lens.HasDistortion()) {
        return kRefineOk; // the matrix stays bit for bit what it was
    }
    refine::Pinhole undistorted;
    if (!refine::UndistortedPinhole(lens, width, height, undistorted)) {
        return kRefineInvalidArgument;
    }
    undistorted.ToMatrix(intrinsic9);
    return kRefineOk;
}

int DepthRefine::SetComputeRealDepthEnabled(bool enabled)
{
    m_filters.SetRealDepth(enabled);
    return kRefineOk;
}

int DepthRefine::SetSmoothingFilterEnabled(bool enabled)
{
    m_filters.SetSmoothingEnabled(enabled);
    return kRefineOk;
}

int DepthRefine::SetTimeFilterEnabled(bool enabled, int p1, int p2, int /*p3*/, int /*p4*/)
{
    m_filters.SetTemporal(enabled, p1, p2);
    return kRefineOk;
}

int DepthRefine::SetAlgoType(int type, int option)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_algoType = type;
    m_algoOption = option;
    return kRefineOk;
}

int DepthRefine::PreFilterDepth(AlgImage *depth)
{
    if (depth == nullptr || depth->elemType != ALG_16UC1) {
        return kRefineInvalidArgument;
    }
    return m_filters.PreFilter(static_cast<uint16_t *>(depth->data), depth->width, depth->height);
}

int DepthRefine::PostFilterDepth(AlgImage *depth)
{
    if (depth == nullptr || depth->elemType != ALG_16UC1) {
        return kRefineInvalidArgument;
    }
    return m_filters.PostFilter(static_cast<uint16_t *>(depth->data), depth->width, depth->height);
}

int DepthRefine::ProcessDepth(AlgImage *depth, bool /*height360*/)
{
    if (depth == nullptr || depth->elemType != ALG_16UC1) {
        return kRefineInvalidArgument;
    }
    return m_filters.Process(static_cast<uint16_t *>(depth->data), depth->width, depth->height);
}

int DepthRefine::GetMappedPointDepthToRGB(const TfDepthVector3 &depthPoint, const TfVector2u16 &colorSize,
                                          TfVector2u16 *colorPoint)
{
    const std::shared_ptr<const Geometry> geometry = CurrentGeometry();
    if (!geometry->tofLensValid || !geometry->colorLensValid) {
        if (colorPoint != nullptr) {
            *colorPoint = TfVector2u16{0, 0};
        }
        return kRefineInvalidArgument; // no usable calibration
    }
    return m_registration.GetMappedPointDepthToRGB(geometry, depthPoint, colorSize, colorPoint);
}

int DepthRefine::MapDepthToColor(const AlgImage *color, const AlgImage *depth, AlgImage *out)
{
    const std::shared_ptr<const Geometry> geometry = CurrentGeometry();
    if (!geometry->tofLensValid || !geometry->colorLensValid) {
        return kRefineInvalidArgument;
    }
    return m_registration.MapDepthToColor(geometry, color, depth, out);
}

int DepthRefine::MapColorToDepth(const AlgImage *color, const AlgImage *depth, AlgImage *out)
{
    const std::shared_ptr<const Geometry> geometry = CurrentGeometry();
    if (!geometry->tofLensValid || !geometry->colorLensValid) {
        return kRefineInvalidArgument;
    }
    return m_registration.MapColorToDepth(geometry, color, depth, out);
}

int DepthRefine::MapIrToColor(const AlgImage *color, const AlgImage *depth, const AlgImage *ir,
                              AlgImage *outIr)
{
    const std::shared_ptr<const Geometry> geometry = CurrentGeometry();
    if (!geometry->tofLensValid || !geometry->colorLensValid) {
        return kRefineInvalidArgument;
    }
    return m_registration.MapIrToColor(geometry, color, depth, ir, outIr);
}

int DepthRefine::MapDepthIrToColor(const AlgImage *color, const AlgImage *depth, const AlgImage *ir,
                                   AlgImage *outDepth, AlgImage *outIr)
{
    const std::shared_ptr<const Geometry> geometry = CurrentGeometry();
    if (!geometry->tofLensValid || !geometry->colorLensValid) {
        return kRefineInvalidArgument;
    }
    return m_registration.MapDepthIrToColor(geometry, color, depth, ir, outDepth, outIr);
}

int DepthRefine::UnprojectPixels(const double *intrinsic9, const double *distortion8, uint16_t width,
                                 uint16_t height, double *raysXY)
{
    if (intrinsic9 == nullptr || distortion8 == nullptr || raysXY == nullptr) {
        return kRefineInvalidArgument;
    }
    const refine::LensModel lens = refine::LensModel::FromCalibration(intrinsic9, distortion8);
    if (!lens.IsValid(width, height)) {
        return kRefineInvalidArgument;
    }
    const refine::Pinhole &k = lens.pinhole;
    for (uint32_t v = 0; v < height; ++v) {
        for (uint32_t u = 0; u < width; ++u) {
            double *ray = raysXY + (size_t{v} * width + u) * 2;
            // Where the inverse finds no ray (never inside a valid lens's image) the pinhole's is kept.
            if (!lens.HasDistortion() || !lens.Unproject(u, v, ray[0], ray[1])) {
                ray[0] = (u - k.cx) / k.fx;
                ray[1] = (v - k.cy) / k.fy;
            }
        }
    }
    return kRefineOk;
}

int DepthRefine::MappedDepthToPoints(const uint16_t *depth, uint32_t count, uint32_t colorWidth,
                                     uint32_t colorHeight, const int32_t *rayIndex, TfVector3f *points)
{
    const size_t pixels = size_t{colorWidth} * colorHeight;
    if (depth == nullptr || points == nullptr || colorWidth == 0 || colorHeight == 0 ||
        colorWidth > kMaxImageSide || colorHeight > kMaxImageSide ||
        (rayIndex == nullptr && count != pixels) || count > pixels) {
        return kRefineInvalidArgument;
    }
    const std::shared_ptr<const Geometry> geometry = CurrentGeometry();
    if (!geometry->tofLensValid || !geometry->colorLensValid) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_colorRaysMutex);
    if (m_colorRaysGeometry != geometry || m_colorRaysWidth != colorWidth ||
        m_colorRaysHeight != colorHeight) {
        // The rays of the delivered colour image: through the undistorted pinhole, or back through the
        // lens. Built once per geometry and size.
        const refine::LensModel lens = ColorLensAt(geometry->colorLens, colorWidth, colorHeight);
        refine::Pinhole pinhole;
        const bool undistorted =
            geometry->colorUndistorted && refine::UndistortedPinhole(lens, colorWidth, colorHeight, pinhole);
        m_colorRays.assign(pixels * 2, std::nan(""));
        for (uint32_t v = 0; v < colorHeight; ++v) {
            for (uint32_t u = 0; u < colorWidth; ++u) {
                double *ray = &m_colorRays[(size_t{v} * colorWidth + u) * 2];
                if (undistorted || !lens.HasDistortion()) {
                    const refine::Pinhole &k = undistorted ? pinhole : lens.pinhole;
                    ray[0] = (u - k.cx) / k.fx;
                    ray[1] = (v - k.cy) / k.fy;
                } else {
                    lens.Unproject(u, v, ray[0], ray[1]);
                }
            }
        }
        m_colorRaysGeometry = geometry;
        m_colorRaysWidth = colorWidth;
        m_colorRaysHeight = colorHeight;
    }
    const double *r = geometry->rotation;
    const double *t = geometry->translation;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t source = rayIndex != nullptr ? static_cast<size_t>(rayIndex[i]) : i;
        const uint16_t d = depth[i];
        const double *ray = source < pixels ? &m_colorRays[source * 2] : nullptr;
        if (d == 0 || d == kInvalidDepth || ray == nullptr || std::isnan(ray[0])) {
            points[i] = TfVector3f{0.0f, 0.0f, 0.0f};
            continue;
        }
        // The point in the colour camera, then back: P = R^T (Pc - T).
        const double px = ray[0] * d - t[0];
        const double py = ray[1] * d - t[1];
        const double pz = d - t[2];
        points[i] = TfVector3f{static_cast<float>(r[0] * px + r[3] * py + r[6] * pz),
                               static_cast<float>(r[1] * px + r[4] * py + r[7] * pz),
                               static_cast<float>(r[2] * px + r[5] * py + r[8] * pz)};
    }
    return kRefineOk;
}

int DepthRefine::SetTimeFilterDepthEnabled(bool enabled)
{
    m_filters.SetTimeFilterDepthEnabled(enabled);
    return kRefineOk;
}

int DepthRefine::GetOnlyTimeFilterDepth(AlgImage *out)
{
    if (!IsValidDepth(out)) {
        return kRefineInvalidArgument;
    }
    uint32_t width = 0;
    uint32_t height = 0;
    const int ret = m_filters.GetOnlyTimeFilterDepth(static_cast<uint16_t *>(out->data),
                                                     size_t{out->width} * out->height, &width, &height);
    if (ret == kRefineOk) {
        out->width = width;
        out->height = height;
    }
    return ret;
}

int DepthRefine::SetOutofMaxRangeHandle(int handle)
{
    m_filters.SetOutOfMaxRangeHandle(handle);
    return kRefineOk;
}

int DepthRefine::GetOutofMaxRangeHandle()
{
    return m_filters.OutOfMaxRangeHandle();
}

int DepthRefine::SetFlyingPixelFilterParams(const TfFlyingPixelFilterParams &params)
{
    m_filters.SetFlyingPixel(params);
    return kRefineOk;
}

int DepthRefine::SetSpatialFilterParams(const TfSpatialFilterParams &params)
{
    m_filters.SetSpatial(params);
    return kRefineOk;
}

int DepthRefine::SetFillHoleFilterParams(const TfFillHoleFilterParams &params)
{
    m_filters.SetFillHole(params);
    return kRefineOk;
}

int DepthRefine::GetFlyingPixelFilterParams(TfFlyingPixelFilterParams *params)
{
    if (params == nullptr) {
        return kRefineInvalidArgument;
    }
    *params = m_filters.FlyingPixel();
    return kRefineOk;
}

int DepthRefine::GetSpatialFilterParams(TfSpatialFilterParams *params)
{
    if (params == nullptr) {
        return kRefineInvalidArgument;
    }
    *params = m_filters.Spatial();
    return kRefineOk;
}

int DepthRefine::GetFillHoleFilterParams(TfFillHoleFilterParams *params)
{
    if (params == nullptr) {
        return kRefineInvalidArgument;
    }
    *params = m_filters.FillHole();
    return kRefineOk;
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

int DepthRefine::Resize(AlgImage *image, uint32_t width, uint32_t height, size_t capacityBytes, int /*flag*/)
{
    if (!IsValidImage(image) || width == 0 || height == 0 || width > kMaxImageSide ||
        height > kMaxImageSide) {
        return kRefineInvalidArgument;
    }
    // The result is written over the caller's buffer: it must fit there.
    if (size_t{width} * height * Wrap(image).elemSize() > capacityBytes) {
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

extern "C" __attribute__((visibility("default"))) APIDepthRefine *Get_APIDepthRefine()
{
    // One object per call: each camera's pipeline owns its own and deletes it.
    return new (std::nothrow) DepthRefine();
}
