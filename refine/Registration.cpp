// SPDX-License-Identifier: Apache-2.0
// Registration between the ToF and colour cameras: ray table, footprint splat with a z-buffer, crack
// closing, colour sampling with an occlusion test, and single-point projection.
#include "Registration.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "refine/ColorGeometry.h"

namespace refine {

namespace {

constexpr uint16_t kEmpty = 0xFFFF;
constexpr uint16_t kInvalidFar = 0xFFFF;
constexpr uint32_t kMaxImageSide = 16384;
/// Points nearer the colour camera than this (mm) are not projected.
constexpr float kMinColorZMm = 1.0f;
/// Projections farther outside the colour image than this (pixels) are dropped before any integer
/// conversion.
constexpr float kOutsideMarginPx = 64.0f;
/// Largest half footprint of one depth pixel in the target buffer, in its pixels.
constexpr float kMaxHalfFootprintPx = 16.0f;
/// Two neighbours lie on one surface when their z differs by at most this plus the fraction of z.
constexpr float kSurfaceStepMm = 10.0f;
constexpr float kSurfaceStepFraction = 0.03f;
/// A depth pixel is hidden from the colour camera when its z is this much behind the z-buffer.
constexpr float kOcclusionMm = 10.0f;
constexpr float kOcclusionFraction = 0.03f;
/// A crack's two neighbours agree within this plus 1/32 of their depth.
constexpr int kCrackAgreeMm = 16;
/// The occlusion grid's cell holds about this many depth footprints across.
constexpr float kOcclusionCellFootprints = 1.25f;
/// Offset that makes float-to-int truncation a floor or ceiling for coordinates above -kBias.
constexpr float kBias = 32768.0f;

int FloorInt(float x)
{
    return static_cast<int>(x + kBias) - static_cast<int>(kBias);
}

int CeilInt(float x)
{
    return static_cast<int>(kBias) - static_cast<int>(kBias - x);
}

int RoundInt(float x)
{
    return FloorInt(x + 0.5f);
}

bool HasSize(const AlgImage *image)
{
    return image != nullptr && image->width > 0 && image->height > 0 && image->width <= kMaxImageSide &&
           image->height <= kMaxImageSide;
}

bool IsImage(const AlgImage *image, ALG_ElemType type)
{
    return HasSize(image) && image->data != nullptr && image->elemType == type;
}

/// An out image of `type` whose buffer (width x height on entry) holds width x height pixels.
bool HoldsImage(const AlgImage *out, ALG_ElemType type, uint32_t width, uint32_t height)
{
    return out != nullptr && out->data != nullptr && out->elemType == type &&
           uint64_t{out->width} * out->height >= uint64_t{width} * height;
}

bool IsDepthSize(const AlgImage &depth)
{
    return depth.width <= Registration::kSensorWidth && depth.height <= Registration::kSensorHeight;
}

/// The squared ray radius up to which `lens` distorts monotonically past the corners of a width x height
/// image in every direction (5 % margin); 0 when it turns back before that.
float MonotonicRay2(const LensModel &lens, uint32_t width, uint32_t height)
{
    constexpr int kDirections = 32;
    constexpr double kStep = 0.002;
    constexpr double kMaxRadius = 10.0;
    double reach = 0.0;
    for (double u : {0.0, double(width - 1)}) {
        for (double v : {0.0, double(height - 1)}) {
            reach = std::max(reach, std::hypot((u - lens.pinhole.cx) / lens.pinhole.fx,
                                               (v - lens.pinhole.cy) / lens.pinhole.fy));
        }
    }
    reach *= 1.05;
    double limit = kMaxRadius;
    for (int d = 0; d < kDirections; ++d) {
        const double c = std::cos(2.0 * M_PI * d / kDirections);
        const double s = std::sin(2.0 * M_PI * d / kDirections);
        double previous = 0.0;
        double r = kStep;
        for (; r < limit; r += kStep) {
            double xd = 0.0;
            double yd = 0.0;
            if (!lens.Distort(r * c, r * s, xd, yd) || std::hypot(xd, yd) <= previous) {
                r -= kStep;
                break;
            }
            previous = std::hypot(xd, yd);
            if (previous > reach) {
                break;
            }
        }
        limit = std::min(limit, r);
    }
    return static_cast<float>(limit * limit);
}

} // namespace

bool Registration::EnsureRays(const RegistrationGeometryPtr &geometry)
{
    if (m_rayGeometry == geometry) {
        return true;
    }
    const RegistrationGeometry &g = *geometry;
    const LensModel &lens = g.tofLens;
    if (!(lens.pinhole.fx > 0.0) || !(lens.pinhole.fy > 0.0) || !std::isfinite(lens.pinhole.cx) ||
        !std::isfinite(lens.pinhole.cy)) {
        return false;
    }
    for (double value : g.rotation) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    for (double value : g.translation) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    // Undistorted images follow the undistorted pinhole; a lens refused for undistortion leaves the
    // images as the sensor took them.
    Pinhole pinhole = lens.pinhole;
    bool throughLens = lens.HasDistortion();
    if (g.tofUndistorted && UndistortedPinhole(lens, kSensorWidth, kSensorHeight, pinhole)) {
        throughLens = false;
    }
    const size_t pixels = size_t{kSensorWidth} * kSensorHeight;
    m_rayX.resize(pixels);
    m_rayY.resize(pixels);
    m_rayZ.resize(pixels);
    const double *r = g.rotation;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (uint32_t v = 0; v < kSensorHeight; ++v) {
        for (uint32_t u = 0; u < kSensorWidth; ++u) {
            const size_t k = size_t{v} * kSensorWidth + u;
            double x = (u - pinhole.cx) / pinhole.fx;
            double y = (v - pinhole.cy) / pinhole.fy;
            if (throughLens && !lens.Unproject(u, v, x, y)) {
                m_rayX[k] = m_rayY[k] = m_rayZ[k] = nan;
                continue;
            }
            m_rayX[k] = static_cast<float>(r[0] * x + r[1] * y + r[2]);
            m_rayY[k] = static_cast<float>(r[3] * x + r[4] * y + r[5]);
            m_rayZ[k] = static_cast<float>(r[6] * x + r[7] * y + r[8]);
        }
    }
    for (int i = 0; i < 3; ++i) {
        m_translation[i] = static_cast<float>(g.translation[i]);
    }
    m_tofFx = static_cast<float>(pinhole.fx);
    m_tofFy = static_cast<float>(pinhole.fy);
    m_rayGeometry = geometry;
    return true;
}

const Registration::ColorModel *Registration::ColorModelFor(const RegistrationGeometryPtr &geometry,
                                                            uint32_t width, uint32_t height)
{
    for (const ColorModelEntry &entry : m_models) {
        if (entry.geometry == geometry && entry.width == width && entry.height == height) {
            return &entry.model;
        }
    }
    const RegistrationGeometry &g = *geometry;
    double matrix[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};
    g.colorLens.pinhole.ToMatrix(matrix);
    if (!ScaleColorIntrinsic(matrix, width, height)) {
        return nullptr;
    }
    LensModel lens = g.colorLens;
    lens.pinhole = Pinhole::FromMatrix(matrix);
    if (!(lens.pinhole.fx > 0.0) || !(lens.pinhole.fy > 0.0) || !std::isfinite(lens.pinhole.cx) ||
        !std::isfinite(lens.pinhole.cy)) {
        return nullptr;
    }
    ColorModel model;
    model.distorted = lens.HasDistortion();
    Pinhole undistorted;
    if (model.distorted && g.colorUndistorted && UndistortedPinhole(lens, width, height, undistorted)) {
        lens.pinhole = undistorted;
        model.distorted = false;
    }
    model.fx = static_cast<float>(lens.pinhole.fx);
    model.fy = static_cast<float>(lens.pinhole.fy);
    model.cx = static_cast<float>(lens.pinhole.cx);
    model.cy = static_cast<float>(lens.pinhole.cy);
    if (model.distorted) {
        model.k1 = static_cast<float>(lens.k1);
        model.k2 = static_cast<float>(lens.k2);
        model.p1 = static_cast<float>(lens.p1);
        model.p2 = static_cast<float>(lens.p2);
        model.k3 = static_cast<float>(lens.k3);
        model.k4 = static_cast<float>(lens.k4);
        model.k5 = static_cast<float>(lens.k5);
        model.k6 = static_cast<float>(lens.k6);
        model.maxRay2 = MonotonicRay2(lens, width, height);
    }
    ColorModelEntry &slot = m_models[m_nextModel];
    m_nextModel = (m_nextModel + 1) % (sizeof(m_models) / sizeof(m_models[0]));
    slot.geometry = geometry;
    slot.width = width;
    slot.height = height;
    slot.model = model;
    return &slot.model;
}

namespace {

/// Moves n depth pixels into the colour camera and projects them: P = depth * (R ray) + T, then the
/// perspective divide and, for a distorted colour image, the lens polynomial. z is 0 where the pixel is
/// not projected.
template <bool kDistorted>
void ProjectRun(const float *model, const float *__restrict rx, const float *__restrict ry,
                const float *__restrict rz, const float *t, const uint16_t *__restrict depth, uint32_t n,
                float *__restrict u, float *__restrict v, float *__restrict z)
{
    const float fx = model[0], fy = model[1], cx = model[2], cy = model[3];
    const float k1 = model[4], k2 = model[5], p1 = model[6], p2 = model[7];
    const float k3 = model[8], k4 = model[9], k5 = model[10], k6 = model[11], maxRay2 = model[12];
    const float tx = t[0], ty = t[1], tz = t[2];
    // Written as selects on floats so that the loop vectorises.
    for (uint32_t i = 0; i < n; ++i) {
        const float d = static_cast<float>(static_cast<int32_t>(depth[i]));
        const float px = d * rx[i] + tx;
        const float py = d * ry[i] + ty;
        const float pz = d * rz[i] + tz;
        const float inverse = 1.0f / pz;
        float x = px * inverse;
        float y = py * inverse;
        float zc = (d >= 1.0f && d <= 65534.0f && pz > kMinColorZMm) ? pz : 0.0f;
        if constexpr (kDistorted) {
            const float r2 = x * x + y * y;
            const float radial =
                (1.0f + r2 * (k1 + r2 * (k2 + r2 * k3))) / (1.0f + r2 * (k4 + r2 * (k5 + r2 * k6)));
            const float xy2 = 2.0f * x * y;
            const float xd = x * radial + p1 * xy2 + p2 * (r2 + 2.0f * x * x);
            const float yd = y * radial + p1 * (r2 + 2.0f * y * y) + p2 * xy2;
            zc = r2 < maxRay2 ? zc : 0.0f;
            x = xd;
            y = yd;
        }
        u[i] = fx * x + cx;
        v[i] = fy * y + cy;
        z[i] = zc;
    }
}

} // namespace

void Registration::ProjectPoints(const float *rayX, const float *rayY, const float *rayZ,
                                 const uint16_t *depth, uint32_t n, float *u, float *v, float *z) const
{
    const ColorModel &m = *m_model;
    const float model[13] = {m.fx, m.fy, m.cx, m.cy, m.k1, m.k2,     m.p1,
                             m.p2, m.k3, m.k4, m.k5, m.k6, m.maxRay2};
    if (m.distorted) {
        ProjectRun<true>(model, rayX, rayY, rayZ, m_translation, depth, n, u, v, z);
    } else {
        ProjectRun<false>(model, rayX, rayY, rayZ, m_translation, depth, n, u, v, z);
    }
}

int Registration::Project(const RegistrationGeometryPtr &geometry, const AlgImage &depth, uint32_t colorWidth,
                          uint32_t colorHeight)
{
    if (!EnsureRays(geometry)) {
        return kRefineInvalidArgument;
    }
    m_model = ColorModelFor(geometry, colorWidth, colorHeight);
    if (m_model == nullptr) {
        return kRefineInvalidArgument;
    }
    const uint32_t width = depth.width;
    const uint32_t height = depth.height;
    const size_t pixels = size_t{width} * height;
    if (m_projection.u.size() < pixels) {
        m_projection.u.resize(pixels);
        m_projection.v.resize(pixels);
        m_projection.z.resize(pixels);
    }
    m_projection.width = width;
    m_projection.height = height;
    // A smaller depth image is the centred crop of the sensor image.
    const uint32_t left = (kSensorWidth - width) / 2;
    const uint32_t top = (kSensorHeight - height) / 2;
    const auto *pixelsIn = static_cast<const uint16_t *>(depth.data);
    for (uint32_t row = 0; row < height; ++row) {
        const size_t ray = size_t{row + top} * kSensorWidth + left;
        const size_t at = size_t{row} * width;
        ProjectPoints(&m_rayX[ray], &m_rayY[ray], &m_rayZ[ray], pixelsIn + at, width, &m_projection.u[at],
                      &m_projection.v[at], &m_projection.z[at]);
    }
    return kRefineOk;
}

namespace {

/// What one splat pass needs about the projected depth image and its target buffer.
struct SplatInput
{
    const float *u, *v, *z;
    uint32_t width, height;
    /// Target pixel = colour pixel * scale + offset (a coarser grid for occlusion tests).
    float scale, offset;
    /// Footprint of a pixel without neighbours on its surface, and the largest half footprint.
    float nominalX, nominalY, capX, capY;
    int32_t targetWidth, targetHeight;
};

/// One depth row's footprints: the box [x0, x1) x [y0, y1) in the target, and its z (0: nothing drawn).
struct RowBoxes
{
    int32_t *x0, *x1, *y0, *y1, *z;
};

/// The footprints of columns [first, last) of one depth row (k0 the row's first pixel): each pixel's
/// extent from the projections of its neighbours on the same surface, a nominal extent where it has none.
/// Written branch-free over locals so that it vectorises; `above`/`below` are the row offsets, 0 where
/// the row has no neighbour there, and kLeft/kRight whether the columns have them.
template <bool kLeft, bool kRight>
void Footprints(const SplatInput &in, size_t k0, uint32_t first, uint32_t last, size_t above, size_t below,
                const RowBoxes &out)
{
    const float *__restrict pu = in.u + k0;
    const float *__restrict pv = in.v + k0;
    const float *__restrict pz = in.z + k0;
    int32_t *__restrict ox0 = out.x0;
    int32_t *__restrict ox1 = out.x1;
    int32_t *__restrict oy0 = out.y0;
    int32_t *__restrict oy1 = out.y1;
    int32_t *__restrict oz = out.z;
    const float scale = in.scale, offset = in.offset, nominalX = in.nominalX, nominalY = in.nominalY;
    const float capX = in.capX, capY = in.capY;
    const int32_t width = in.targetWidth, height = in.targetHeight;
    const float maxU = float(width) + kOutsideMarginPx, maxV = float(height) + kOutsideMarginPx;
    // A missing neighbour row gets a negative tolerance, which no difference meets.
    const float upSign = above != 0 ? 1.0f : -1.0f, downSign = below != 0 ? 1.0f : -1.0f;
    const ptrdiff_t left = kLeft ? 1 : 0, right = kRight ? 1 : 0;
    for (uint32_t i = first; i < last; ++i) {
        const float z = pz[i];
        const float step = kSurfaceStepMm + kSurfaceStepFraction * z;
        const float uk = pu[i], vk = pv[i];
        const float uL = pu[i - left], uR = pu[i + right], uU = pu[i - above], uD = pu[i + below];
        const float vL = pv[i - left], vR = pv[i + right], vU = pv[i - above], vD = pv[i + below];
        const bool l = kLeft & (std::fabs(pz[i - left] - z) <= step);
        const bool r = kRight & (std::fabs(pz[i + right] - z) <= step);
        const bool up = std::fabs(pz[i - above] - z) <= upSign * step;
        const bool down = std::fabs(pz[i + below] - z) <= downSign * step;
        // Central difference where both neighbours count, one-sided where one does. Every value is
        // computed and then selected: arithmetic inside a select's arm keeps the loop from vectorising.
        const float spanU = (l & r) ? 0.5f : 1.0f;
        const float spanV = (up & down) ? 0.5f : 1.0f;
        const float gxu = ((r ? uR : uk) - (l ? uL : uk)) * spanU;
        const float gyu = ((r ? vR : vk) - (l ? vL : vk)) * spanU;
        const float gxv = ((down ? uD : uk) - (up ? uU : uk)) * spanV;
        const float gyv = ((down ? vD : vk) - (up ? vU : vk)) * spanV;
        const float dxu = (l | r) ? gxu : nominalX;
        const float dyu = (l | r) ? gyu : 0.0f;
        const float dxv = (up | down) ? gxv : 0.0f;
        const float dyv = (up | down) ? gyv : nominalY;
        const float spreadX = 0.5f * scale * (std::fabs(dxu) + std::fabs(dxv));
        const float spreadY = 0.5f * scale * (std::fabs(dyu) + std::fabs(dyv));
        const float halfX = spreadX < 0.5f ? 0.5f : (spreadX > capX ? capX : spreadX);
        const float halfY = spreadY < 0.5f ? 0.5f : (spreadY > capY ? capY : spreadY);
        const float u0 = uk * scale + offset;
        const float v0 = vk * scale + offset;
        const bool valid =
            (z > 0.0f) & (u0 > -kOutsideMarginPx) & (u0 < maxU) & (v0 > -kOutsideMarginPx) & (v0 < maxV);
        const float u = valid ? u0 : -kOutsideMarginPx;
        const float v = valid ? v0 : -kOutsideMarginPx;
        const int32_t x0 = CeilInt(u - halfX), x1 = CeilInt(u + halfX);
        const int32_t y0 = CeilInt(v - halfY), y1 = CeilInt(v + halfY);
        ox0[i] = x0 > 0 ? x0 : 0;
        ox1[i] = x1 < width ? x1 : width;
        oy0[i] = y0 > 0 ? y0 : 0;
        oy1[i] = y1 < height ? y1 : height;
        const float zc = valid ? z : 0.0f; // 0 stays 0; a valid z rounds to 1..65534
        const float zr = zc > 65534.0f ? 65534.0f : ((zc > 0.0f) & (zc < 1.0f) ? 1.0f : zc);
        oz[i] = static_cast<int32_t>(zr + 0.5f);
    }
}

#ifdef __SSE2__
/// Footprints (above) four pixels at a time over columns [first, last) that have both row neighbours;
/// returns the first column left for the scalar loop.
uint32_t FootprintsSse(const SplatInput &in, size_t k0, uint32_t first, uint32_t last, size_t above,
                       size_t below, const RowBoxes &out)
{
    const float *pu = in.u + k0;
    const float *pv = in.v + k0;
    const float *pz = in.z + k0;
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 stepMm = _mm_set1_ps(kSurfaceStepMm), stepFraction = _mm_set1_ps(kSurfaceStepFraction);
    const __m128 upSign = _mm_set1_ps(above != 0 ? 1.0f : -1.0f),
                 downSign = _mm_set1_ps(below != 0 ? 1.0f : -1.0f);
    const __m128 half = _mm_set1_ps(0.5f), one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
    const __m128 scale = _mm_set1_ps(in.scale), offset = _mm_set1_ps(in.offset);
    const __m128 halfScale = _mm_set1_ps(0.5f * in.scale);
    const __m128 nominalX = _mm_set1_ps(in.nominalX), nominalY = _mm_set1_ps(in.nominalY);
    const __m128 capX = _mm_set1_ps(in.capX), capY = _mm_set1_ps(in.capY);
    const __m128 width = _mm_set1_ps(float(in.targetWidth)), height = _mm_set1_ps(float(in.targetHeight));
    const __m128 margin = _mm_set1_ps(-kOutsideMarginPx);
    const __m128 maxU = _mm_set1_ps(float(in.targetWidth) + kOutsideMarginPx);
    const __m128 maxV = _mm_set1_ps(float(in.targetHeight) + kOutsideMarginPx);
    const __m128 bias = _mm_set1_ps(kBias), maxZ = _mm_set1_ps(65534.0f);
    const __m128i biasInt = _mm_set1_epi32(static_cast<int>(kBias));
    const auto select = [](__m128 mask, __m128 a, __m128 b) {
        return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
    };
    const auto near = [&](__m128 other, __m128 z, __m128 step) {
        return _mm_cmple_ps(_mm_and_ps(_mm_sub_ps(other, z), absMask), step);
    };
    const auto ceilInt = [&](__m128 x) {
        return _mm_sub_epi32(biasInt, _mm_cvttps_epi32(_mm_sub_ps(bias, x)));
    };
    uint32_t i = first;
    for (; i + 4 <= last; i += 4) {
        const __m128 z = _mm_loadu_ps(pz + i);
        const __m128 step = _mm_add_ps(stepMm, _mm_mul_ps(stepFraction, z));
        const __m128 l = near(_mm_loadu_ps(pz + i - 1), z, step);
        const __m128 r = near(_mm_loadu_ps(pz + i + 1), z, step);
        const __m128 up = near(_mm_loadu_ps(pz + i - above), z, _mm_mul_ps(upSign, step));
        const __m128 down = near(_mm_loadu_ps(pz + i + below), z, _mm_mul_ps(downSign, step));
        const __m128 uk = _mm_loadu_ps(pu + i), vk = _mm_loadu_ps(pv + i);
        const __m128 spanU = select(_mm_and_ps(l, r), half, one);
        const __m128 spanV = select(_mm_and_ps(up, down), half, one);
        const __m128 gxu = _mm_mul_ps(
            _mm_sub_ps(select(r, _mm_loadu_ps(pu + i + 1), uk), select(l, _mm_loadu_ps(pu + i - 1), uk)),
            spanU);
        const __m128 gyu = _mm_mul_ps(
            _mm_sub_ps(select(r, _mm_loadu_ps(pv + i + 1), vk), select(l, _mm_loadu_ps(pv + i - 1), vk)),
            spanU);
        const __m128 gxv = _mm_mul_ps(_mm_sub_ps(select(down, _mm_loadu_ps(pu + i + below), uk),
                                                 select(up, _mm_loadu_ps(pu + i - above), uk)),
                                      spanV);
        const __m128 gyv = _mm_mul_ps(_mm_sub_ps(select(down, _mm_loadu_ps(pv + i + below), vk),
                                                 select(up, _mm_loadu_ps(pv + i - above), vk)),
                                      spanV);
        const __m128 lr = _mm_or_ps(l, r), ud = _mm_or_ps(up, down);
        const __m128 dxu = select(lr, gxu, nominalX), dyu = _mm_and_ps(lr, gyu);
        const __m128 dxv = _mm_and_ps(ud, gxv), dyv = select(ud, gyv, nominalY);
        // max returns its second operand for NaN, so a NaN spread becomes half a pixel.
        const __m128 halfX = _mm_min_ps(
            _mm_max_ps(_mm_mul_ps(halfScale, _mm_add_ps(_mm_and_ps(dxu, absMask), _mm_and_ps(dxv, absMask))),
                       half),
            capX);
        const __m128 halfY = _mm_min_ps(
            _mm_max_ps(_mm_mul_ps(halfScale, _mm_add_ps(_mm_and_ps(dyu, absMask), _mm_and_ps(dyv, absMask))),
                       half),
            capY);
        const __m128 u0 = _mm_add_ps(_mm_mul_ps(uk, scale), offset);
        const __m128 v0 = _mm_add_ps(_mm_mul_ps(vk, scale), offset);
        const __m128 valid =
            _mm_and_ps(_mm_and_ps(_mm_and_ps(_mm_cmpgt_ps(z, zero), _mm_cmpgt_ps(u0, margin)),
                                  _mm_and_ps(_mm_cmplt_ps(u0, maxU), _mm_cmpgt_ps(v0, margin))),
                       _mm_cmplt_ps(v0, maxV));
        const __m128 u = select(valid, u0, margin), v = select(valid, v0, margin);
        // Clamping before the ceiling equals clamping after it: the bounds are whole numbers.
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out.x0 + i),
                         ceilInt(_mm_max_ps(_mm_sub_ps(u, halfX), zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out.x1 + i),
                         ceilInt(_mm_min_ps(_mm_add_ps(u, halfX), width)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out.y0 + i),
                         ceilInt(_mm_max_ps(_mm_sub_ps(v, halfY), zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out.y1 + i),
                         ceilInt(_mm_min_ps(_mm_add_ps(v, halfY), height)));
        const __m128 zr = _mm_add_ps(_mm_min_ps(_mm_max_ps(z, one), maxZ), half);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out.z + i),
                         _mm_and_si128(_mm_castps_si128(valid), _mm_cvttps_epi32(zr)));
    }
    return i;
}
#endif

void RowFootprints(const SplatInput &in, uint32_t row, const RowBoxes &out)
{
    const uint32_t w = in.width;
    const size_t start = size_t{row} * w;
    const size_t above = row > 0 ? w : 0;
    const size_t below = row + 1 < in.height ? w : 0;
    if (w == 1) {
        Footprints<false, false>(in, start, 0, 1, above, below, out);
        return;
    }
    Footprints<false, true>(in, start, 0, 1, above, below, out);
    uint32_t col = 1;
#ifdef __SSE2__
    col = FootprintsSse(in, start, col, w - 1, above, below, out);
#endif
    Footprints<true, true>(in, start, col, w - 1, above, below, out);
    Footprints<true, false>(in, start, w - 1, w, above, below, out);
}

/// The box sizes most footprints fit: a box within them is drawn a fixed number of times with indices
/// held at its last row and column, so the loops' lengths never change (and never mispredict); drawing a
/// pixel twice changes nothing. Larger boxes take the general loops.
struct BoxShape
{
    int rows;
    int cols;
};

/// Draws one box with z into the z-buffer, and with the IR of the winner when kWithIr. Scalar on purpose:
/// neighbouring boxes overlap, and wide overlapping loads and stores would defeat store forwarding.
template <bool kWithIr>
inline void DrawBox(uint16_t *zBuffer, uint16_t *irBuffer, uint32_t stride, int x0, int x1, int y0, int y1,
                    uint16_t z, uint16_t irValue, BoxShape shape)
{
    const auto draw = [&](size_t at) {
        const uint16_t current = zBuffer[at];
        if constexpr (kWithIr) {
            const bool nearer = z < current;
            zBuffer[at] = nearer ? z : current;
            irBuffer[at] = nearer ? irValue : irBuffer[at];
        } else {
            zBuffer[at] = z < current ? z : current;
        }
    };
    if (y1 - y0 <= shape.rows && x1 - x0 <= shape.cols) {
        for (int r = 0; r < shape.rows; ++r) {
            const size_t row = size_t(std::min(y0 + r, y1 - 1)) * stride;
            for (int c = 0; c < shape.cols; ++c) {
                draw(row + size_t(std::min(x0 + c, x1 - 1)));
            }
        }
        return;
    }
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            draw(size_t(y) * stride + size_t(x));
        }
    }
}

} // namespace

template <typename IrT> void Registration::Splat(const SplatTarget &target, const IrT *ir, uint32_t irShift)
{
    const uint32_t width = m_projection.width;
    const float scale = target.scale;
    SplatInput in{};
    in.u = m_projection.u.data();
    in.v = m_projection.v.data();
    in.z = m_projection.z.data();
    in.width = width;
    in.height = m_projection.height;
    in.scale = scale;
    in.offset = 0.5f * scale - 0.5f;
    in.nominalX = m_model->fx / m_tofFx;
    in.nominalY = m_model->fy / m_tofFy;
    in.capX = std::min(kMaxHalfFootprintPx, std::max(1.0f, 1.5f * in.nominalX * scale));
    in.capY = std::min(kMaxHalfFootprintPx, std::max(1.0f, 1.5f * in.nominalY * scale));
    in.targetWidth = int32_t(target.width);
    in.targetHeight = int32_t(target.height);
    if (m_boxes.size() < size_t{width} * 5) {
        m_boxes.resize(size_t{width} * 5);
    }
    int32_t *base = m_boxes.data();
    const RowBoxes boxes{base, base + width, base + 2 * width, base + 3 * width, base + 4 * width};
    // The box a surface facing the camera covers.
    const BoxShape shape{std::min(4, int(in.nominalY * scale) + 1),
                         std::min(4, int(in.nominalX * scale) + 1)};
    for (uint32_t row = 0; row < in.height; ++row) {
        RowFootprints(in, row, boxes);
        const size_t start = size_t{row} * width;
        for (uint32_t col = 0; col < width; ++col) {
            if (boxes.z[col] == 0 || boxes.x0[col] >= boxes.x1[col] || boxes.y0[col] >= boxes.y1[col]) {
                continue;
            }
            if constexpr (std::is_same_v<IrT, void>) {
                DrawBox<false>(target.z, nullptr, target.width, boxes.x0[col], boxes.x1[col], boxes.y0[col],
                               boxes.y1[col], static_cast<uint16_t>(boxes.z[col]), 0, shape);
            } else {
                DrawBox<true>(target.z, target.ir, target.width, boxes.x0[col], boxes.x1[col], boxes.y0[col],
                              boxes.y1[col], static_cast<uint16_t>(boxes.z[col]),
                              static_cast<uint16_t>(uint32_t{ir[start + col]} << irShift), shape);
            }
        }
    }
}

void Registration::CloseCracks(uint16_t *z, uint16_t *ir, uint32_t width, uint32_t height)
{
    if (m_rowHere.size() < width) {
        m_rowAbove.resize(width);
        m_rowHere.resize(width);
    }
    uint16_t *above = m_rowAbove.data();
    uint16_t *here = m_rowHere.data();
    const auto agree = [](uint32_t a, uint32_t b) {
        return a != kEmpty && b != kEmpty && (a > b ? a - b : b - a) <= kCrackAgreeMm + (std::min(a, b) >> 5);
    };
    for (uint32_t y = 0; y < height; ++y) {
        // Decisions read the buffer as the splat left it: a closed crack never supports another.
        uint16_t *zRow = z + size_t{y} * width;
        uint16_t *irRow = ir != nullptr ? ir + size_t{y} * width : nullptr;
        const uint16_t *below = y + 1 < height ? zRow + width : nullptr;
        std::memcpy(here, zRow, width * sizeof(uint16_t));
        for (uint32_t x = 0; x < width; ++x) {
            if (here[x] != kEmpty) {
                continue;
            }
            // The two agreeing neighbours as z values and as offsets of their IR from this pixel.
            uint32_t za = 0;
            uint32_t zb = 0;
            ptrdiff_t reach = 0;
            if (x > 0 && x + 1 < width && agree(here[x - 1], here[x + 1])) {
                za = here[x - 1];
                zb = here[x + 1];
                reach = 1;
            } else if (y > 0 && below != nullptr && agree(above[x], below[x])) {
                za = above[x];
                zb = below[x];
                reach = static_cast<ptrdiff_t>(width);
            }
            zRow[x] = reach != 0 ? static_cast<uint16_t>((za + zb + 1) / 2) : 0;
            if (irRow != nullptr) {
                irRow[x] =
                    reach != 0
                        ? static_cast<uint16_t>((uint32_t{irRow[x - reach]} + irRow[x + reach] + 1) / 2)
                        : 0;
            }
        }
        std::swap(above, here);
    }
}

int Registration::MapToColor(const RegistrationGeometryPtr &geometry, const AlgImage *color,
                             const AlgImage *depth, const AlgImage *ir, AlgImage *outDepth, AlgImage *outIr)
{
    if (geometry == nullptr || !HasSize(color) || !IsImage(depth, ALG_16UC1) || !IsDepthSize(*depth)) {
        return kRefineInvalidArgument;
    }
    const uint32_t width = color->width;
    const uint32_t height = color->height;
    const bool withIr = outIr != nullptr;
    if (withIr &&
        (ir == nullptr || !(IsImage(ir, ALG_8UC1) || IsImage(ir, ALG_16UC1)) || ir->width != depth->width ||
         ir->height != depth->height || !HoldsImage(outIr, ALG_16UC1, width, height))) {
        return kRefineInvalidArgument;
    }
    if (outDepth != nullptr && !HoldsImage(outDepth, ALG_16UC1, width, height)) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    const int projected = Project(geometry, *depth, width, height);
    if (projected != kRefineOk) {
        return projected;
    }
    const size_t pixels = size_t{width} * height;
    uint16_t *zBuffer = nullptr;
    if (outDepth != nullptr) {
        zBuffer = static_cast<uint16_t *>(outDepth->data);
    } else {
        if (m_zScratch.size() < pixels) {
            m_zScratch.resize(pixels);
        }
        zBuffer = m_zScratch.data();
    }
    // Every IR pixel is written by its winning splat or by the crack pass, so only z is cleared.
    std::memset(zBuffer, 0xFF, pixels * sizeof(uint16_t));
    uint16_t *irOut = withIr ? static_cast<uint16_t *>(outIr->data) : nullptr;
    const SplatTarget target{zBuffer, irOut, width, height, 1.0f};
    if (!withIr) {
        Splat<void>(target, nullptr, 0);
    } else if (ir->elemType == ALG_8UC1) {
        Splat(target, static_cast<const uint8_t *>(ir->data), 4);
    } else {
        Splat(target, static_cast<const uint16_t *>(ir->data), 0);
    }
    CloseCracks(zBuffer, irOut, width, height);
    for (AlgImage *out : {outDepth, outIr}) {
        if (out != nullptr) {
            out->width = width;
            out->height = height;
        }
    }
    return kRefineOk;
}

int Registration::MapDepthToColor(const RegistrationGeometryPtr &geometry, const AlgImage *color,
                                  const AlgImage *depth, AlgImage *outDepth)
{
    if (outDepth == nullptr) {
        return kRefineInvalidArgument;
    }
    return MapToColor(geometry, color, depth, nullptr, outDepth, nullptr);
}

int Registration::MapDepthIrToColor(const RegistrationGeometryPtr &geometry, const AlgImage *color,
                                    const AlgImage *depth, const AlgImage *ir, AlgImage *outDepth,
                                    AlgImage *outIr)
{
    if (outDepth == nullptr || outIr == nullptr) {
        return kRefineInvalidArgument;
    }
    return MapToColor(geometry, color, depth, ir, outDepth, outIr);
}

int Registration::MapIrToColor(const RegistrationGeometryPtr &geometry, const AlgImage *color,
                               const AlgImage *depth, const AlgImage *ir, AlgImage *outIr)
{
    if (outIr == nullptr) {
        return kRefineInvalidArgument;
    }
    return MapToColor(geometry, color, depth, ir, nullptr, outIr);
}

int Registration::MapColorToDepth(const RegistrationGeometryPtr &geometry, const AlgImage *color,
                                  const AlgImage *depth, AlgImage *outColor)
{
    if (geometry == nullptr || !IsImage(color, ALG_8UC3) || !IsImage(depth, ALG_16UC1) ||
        !IsDepthSize(*depth) || !HoldsImage(outColor, ALG_8UC3, depth->width, depth->height)) {
        return kRefineInvalidArgument;
    }
    const uint32_t cw = color->width;
    const uint32_t ch = color->height;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int projected = Project(geometry, *depth, cw, ch);
    if (projected != kRefineOk) {
        return projected;
    }
    // The occlusion z-buffer on a grid about as fine as the depth footprints.
    const float footprint = std::min(m_model->fx / m_tofFx, m_model->fy / m_tofFy);
    const uint32_t cell =
        std::max(1u, static_cast<uint32_t>(std::lround(footprint / kOcclusionCellFootprints)));
    const uint32_t gw = (cw + cell - 1) / cell;
    const uint32_t gh = (ch + cell - 1) / cell;
    if (m_zScratch.size() < size_t{gw} * gh) {
        m_zScratch.resize(size_t{gw} * gh);
    }
    std::memset(m_zScratch.data(), 0xFF, size_t{gw} * gh * sizeof(uint16_t));
    const float scale = 1.0f / float(cell);
    const float offset = 0.5f * scale - 0.5f;
    Splat<void>(SplatTarget{m_zScratch.data(), nullptr, gw, gh, scale}, nullptr, 0);

    const auto *rgb = static_cast<const uint8_t *>(color->data);
    auto *out = static_cast<uint8_t *>(outColor->data);
    const size_t pixels = size_t{depth->width} * depth->height;
    const float maxU = float(cw - 1);
    const float maxV = float(ch - 1);
    for (size_t k = 0; k < pixels; ++k) {
        uint8_t *dst = out + 3 * k;
        const float z = m_projection.z[k];
        const float u = m_projection.u[k];
        const float v = m_projection.v[k];
        if (!(z > 0.0f) || !(u >= 0.0f && u <= maxU && v >= 0.0f && v <= maxV)) {
            dst[0] = dst[1] = dst[2] = 0;
            continue;
        }
        const int gx = std::min(int(gw) - 1, RoundInt(u * scale + offset));
        const int gy = std::min(int(gh) - 1, RoundInt(v * scale + offset));
        const uint16_t nearest = m_zScratch[size_t(gy) * gw + size_t(gx)];
        if (nearest != kEmpty && z > float(nearest) + kOcclusionMm + kOcclusionFraction * z) {
            dst[0] = dst[1] = dst[2] = 0;
            continue;
        }
        // Bilinear with 8-bit weights; the last row and column sample themselves.
        const int x0 = int(u);
        const int y0 = int(v);
        const uint32_t wx = static_cast<uint32_t>((u - float(x0)) * 256.0f + 0.5f);
        const uint32_t wy = static_cast<uint32_t>((v - float(y0)) * 256.0f + 0.5f);
        const size_t dx = uint32_t(x0) + 1 < cw ? 3 : 0;
        const size_t dy = uint32_t(y0) + 1 < ch ? size_t{cw} * 3 : 0;
        const uint8_t *p = rgb + (size_t(y0) * cw + size_t(x0)) * 3;
        for (int c = 0; c < 3; ++c) {
            const uint32_t top = p[c] * (256 - wx) + p[c + dx] * wx;
            const uint32_t bottom = p[c + dy] * (256 - wx) + p[c + dy + dx] * wx;
            dst[c] = static_cast<uint8_t>((top * (256 - wy) + bottom * wy + 32768) >> 16);
        }
    }
    outColor->width = depth->width;
    outColor->height = depth->height;
    return kRefineOk;
}

int Registration::GetMappedPointDepthToRGB(const RegistrationGeometryPtr &geometry,
                                           const TfDepthVector3 &point, const TfVector2u16 &colorSize,
                                           TfVector2u16 *colorPoint)
{
    if (colorPoint == nullptr) {
        return kRefineInvalidArgument;
    }
    *colorPoint = TfVector2u16{0, 0};
    if (geometry == nullptr || colorSize.x == 0 || colorSize.y == 0 || point.depthZ == 0 ||
        point.depthZ == kInvalidFar || point.depthX < 0 || point.depthY < 0 ||
        point.depthX >= int32_t{kSensorWidth} || point.depthY >= int32_t{kSensorHeight}) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!EnsureRays(geometry)) {
        return kRefineInvalidArgument;
    }
    m_model = ColorModelFor(geometry, colorSize.x, colorSize.y);
    if (m_model == nullptr) {
        return kRefineInvalidArgument;
    }
    const size_t k = size_t(point.depthY) * kSensorWidth + size_t(point.depthX);
    float u = 0.0f;
    float v = 0.0f;
    float z = 0.0f;
    ProjectPoints(&m_rayX[k], &m_rayY[k], &m_rayZ[k], &point.depthZ, 1, &u, &v, &z);
    if (!(z > 0.0f) || !(u > -1.0f && u < float(colorSize.x) && v > -1.0f && v < float(colorSize.y))) {
        return kRefineInvalidArgument;
    }
    const int x = RoundInt(u);
    const int y = RoundInt(v);
    if (x < 0 || y < 0 || x >= int{colorSize.x} || y >= int{colorSize.y}) {
        return kRefineInvalidArgument;
    }
    *colorPoint = TfVector2u16{static_cast<uint16_t>(x), static_cast<uint16_t>(y)};
    return kRefineOk;
}

} // namespace refine
