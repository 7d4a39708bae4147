// SPDX-License-Identifier: Apache-2.0
// Registration between the ToF and colour cameras: ray table, colour models, projection, footprint table,
// colour sampling with an occlusion test, and single-point projection.
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

constexpr uint16_t kInvalidFar = 0xFFFF;
constexpr uint32_t kMaxImageSide = 16384;
/// Points nearer the colour camera than this (mm) are not projected.
constexpr float kMinColorZMm = 1.0f;
/// Footprints are measured at this depth (mm) and widened by this factor: the two cameras see a
/// slanted surface from slightly different angles, so its pixels' footprints differ by a few percent.
constexpr uint16_t kFootprintDepthMm = 2000;
constexpr float kFootprintMargin = 1.04f;
/// A depth pixel is hidden from the colour camera when its z is this many mm plus 1/32 of it (about 3 %)
/// behind the nearest z of its occlusion cell.
constexpr int32_t kOcclusionMm = 10;
constexpr int kOcclusionShift = 5;
/// The occlusion grid's cell is this many depth footprints across.
constexpr float kOcclusionCellFootprints = 1.05f;
/// Offset that makes float-to-int truncation a floor for coordinates above -kBias.
constexpr float kBias = 32768.0f;

int RoundInt(float x)
{
    return static_cast<int>(x + 0.5f + kBias) - static_cast<int>(kBias);
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
/// not projected. kRational: the lens has a denominator (k4, k5, k6), which costs a division.
template <bool kDistorted, bool kRational>
__attribute__((always_inline)) inline void
ProjectRunBody(const float *model, const float *__restrict rx, const float *__restrict ry,
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
            float radial = 1.0f + r2 * (k1 + r2 * (k2 + r2 * k3));
            if constexpr (kRational) {
                radial /= 1.0f + r2 * (k4 + r2 * (k5 + r2 * k6));
            }
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

/// Whether the processor runs AVX2: the hot loops are built twice, with and without it (AVX2 alone,
/// without fused multiply-add, so both give the same bits), and the right one is taken at run time.
bool HasAvx2()
{
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

#if defined(__x86_64__)
template <bool kDistorted, bool kRational>
__attribute__((target("avx2"))) void ProjectRunAvx2(const float *model, const float *rx, const float *ry,
                                                    const float *rz, const float *t, const uint16_t *depth,
                                                    uint32_t n, float *u, float *v, float *z)
{
    ProjectRunBody<kDistorted, kRational>(model, rx, ry, rz, t, depth, n, u, v, z);
}
#endif

template <bool kDistorted, bool kRational>
void ProjectRun(const float *model, const float *rx, const float *ry, const float *rz, const float *t,
                const uint16_t *depth, uint32_t n, float *u, float *v, float *z)
{
#if defined(__x86_64__)
    if (HasAvx2()) {
        ProjectRunAvx2<kDistorted, kRational>(model, rx, ry, rz, t, depth, n, u, v, z);
        return;
    }
#endif
    ProjectRunBody<kDistorted, kRational>(model, rx, ry, rz, t, depth, n, u, v, z);
}

} // namespace

void Registration::ProjectPoints(const float *rayX, const float *rayY, const float *rayZ,
                                 const uint16_t *depth, uint32_t n, float *u, float *v, float *z) const
{
    const ColorModel &m = *m_model;
    const float model[13] = {m.fx, m.fy, m.cx, m.cy, m.k1, m.k2,     m.p1,
                             m.p2, m.k3, m.k4, m.k5, m.k6, m.maxRay2};
    if (!m.distorted) {
        ProjectRun<false, false>(model, rayX, rayY, rayZ, m_translation, depth, n, u, v, z);
    } else if (m.k4 == 0.0f && m.k5 == 0.0f && m.k6 == 0.0f) {
        ProjectRun<true, false>(model, rayX, rayY, rayZ, m_translation, depth, n, u, v, z);
    } else {
        ProjectRun<true, true>(model, rayX, rayY, rayZ, m_translation, depth, n, u, v, z);
    }
}

int Registration::Prepare(const RegistrationGeometryPtr &geometry, const AlgImage &depth, uint32_t colorWidth,
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
    if (m_projection.u.size() < width) {
        m_projection.u.resize(width);
        m_projection.v.resize(width);
        m_projection.z.resize(width);
    }
    m_projection.width = width;
    m_projection.height = height;
    m_projection.depth = static_cast<const uint16_t *>(depth.data);
    EnsureFootprints(geometry, colorWidth, colorHeight);
    return kRefineOk;
}

void Registration::ProjectRow(uint32_t row)
{
    // A smaller depth image is the centred crop of the sensor image.
    const uint32_t width = m_projection.width;
    const uint32_t left = (kSensorWidth - width) / 2;
    const uint32_t top = (kSensorHeight - m_projection.height) / 2;
    const size_t ray = size_t{row + top} * kSensorWidth + left;
    const size_t at = size_t{row} * width;
    ProjectPoints(&m_rayX[ray], &m_rayY[ray], &m_rayZ[ray], m_projection.depth + at, width,
                  m_projection.u.data(), m_projection.v.data(), m_projection.z.data());
}

void Registration::EnsureFootprints(const RegistrationGeometryPtr &geometry, uint32_t colorWidth,
                                    uint32_t colorHeight)
{
    const uint32_t width = m_projection.width;
    const uint32_t height = m_projection.height;
    const uint32_t key[4] = {colorWidth, colorHeight, width, height};
    if (m_footprintGeometry == geometry && std::equal(key, key + 4, m_footprintKey)) {
        return;
    }
    // The depth grid projected at one depth: neighbouring projections give each pixel's extent.
    const size_t pixels = size_t{width} * height;
    std::vector<float> u(pixels), v(pixels), z(pixels);
    const std::vector<uint16_t> reference(width, kFootprintDepthMm);
    const uint32_t left = (kSensorWidth - width) / 2;
    const uint32_t top = (kSensorHeight - height) / 2;
    for (uint32_t row = 0; row < height; ++row) {
        const size_t ray = size_t{row + top} * kSensorWidth + left;
        const size_t at = size_t{row} * width;
        ProjectPoints(&m_rayX[ray], &m_rayY[ray], &m_rayZ[ray], reference.data(), width, &u[at], &v[at],
                      &z[at]);
    }
    m_halfX.resize(pixels);
    m_halfY.resize(pixels);
    const float nominalX = m_model->fx / m_tofFx;
    const float nominalY = m_model->fy / m_tofFy;
    // The change of the projection from neighbour a to neighbour b over `span` pixels, or `fallback`
    // when neither neighbour projects.
    const auto slope = [&](const std::vector<float> &p, size_t k, size_t a, bool hasA, size_t b, bool hasB,
                           float fallback) {
        hasA = hasA && z[a] > 0.0f;
        hasB = hasB && z[b] > 0.0f;
        if (!hasA && !hasB) {
            return fallback;
        }
        return (p[hasB ? b : k] - p[hasA ? a : k]) / ((hasA && hasB) ? 2.0f : 1.0f);
    };
    for (uint32_t row = 0; row < height; ++row) {
        for (uint32_t col = 0; col < width; ++col) {
            const size_t k = size_t{row} * width + col;
            const bool l = col > 0, r = col + 1 < width, up = row > 0, down = row + 1 < height;
            const float dxu = slope(u, k, k - l, l, k + r, r, nominalX);
            const float dyu = slope(v, k, k - l, l, k + r, r, 0.0f);
            const float dxv = slope(u, k, k - (up ? width : 0), up, k + (down ? width : 0), down, 0.0f);
            const float dyv = slope(v, k, k - (up ? width : 0), up, k + (down ? width : 0), down, nominalY);
            // Stored for depth / colour z = 1: the frame scales by its own ratio.
            const float normal = z[k] > 0.0f ? z[k] / float(kFootprintDepthMm) : 1.0f;
            m_halfX[k] = 0.5f * kFootprintMargin * (std::fabs(dxu) + std::fabs(dxv)) * normal;
            m_halfY[k] = 0.5f * kFootprintMargin * (std::fabs(dyu) + std::fabs(dyv)) * normal;
        }
    }
    m_footprintGeometry = geometry;
    std::copy(key, key + 4, m_footprintKey);
}

namespace {

/// A colour sample's place: the byte offset of its pixel in the RGB888 image, and flags for a next
/// column and a next row inside the image (the last row and column sample themselves).
constexpr uint32_t kSampleRight = 1u << 30;
constexpr uint32_t kSampleDown = 1u << 31;
constexpr uint32_t kSampleOffset = kSampleRight - 1;

/// The bilinear sample of an RGB888 image (`rowBytes` per row, ending at `end`) at the pixel `place`
/// gives (see kSampleRight) plus (wx, wy) / 128 towards the next (7-bit weights: a uniform area keeps
/// its colour exactly). Returns the three bytes in the low bytes of a 32-bit value.
inline uint32_t SampleRgb(const uint8_t *rgb, const uint8_t *end, size_t rowBytes, uint32_t place, int wx,
                          int wy)
{
    const size_t dx = (place & kSampleRight) != 0 ? 3 : 0;
    const size_t dy = (place & kSampleDown) != 0 ? rowBytes : 0;
    const uint8_t *p = rgb + (place & kSampleOffset);
#ifdef __SSE2__
    // Four-byte loads read one byte past the pixel: not at the image's last byte.
    if (p + dy + dx + 4 <= end) {
        int32_t a = 0, b = 0, c = 0, d = 0;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + dx, 4);
        std::memcpy(&c, p + dy, 4);
        std::memcpy(&d, p + dy + dx, 4);
        const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi16(64);
        // (p * (128 - w) + q * w + 64) >> 7 as (p * 128 + (q - p) * w + 64) >> 7: the same value, which
        // lies in 0..32704, so 16-bit lanes that wrap on the way still end on it.
        const auto mix = [&](__m128i p0, __m128i q0, int w) {
            const __m128i weighted =
                _mm_mullo_epi16(_mm_sub_epi16(q0, p0), _mm_set1_epi16(static_cast<int16_t>(w)));
            return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(p0, 7), weighted), round), 7);
        };
        // Lanes 0-3: the upper row, lanes 4-7: the lower row.
        const __m128i left =
            _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(c)), zero);
        const __m128i right =
            _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(b), _mm_cvtsi32_si128(d)), zero);
        const __m128i rows = mix(left, right, wx);
        const __m128i mixed = mix(rows, _mm_srli_si128(rows, 8), wy);
        return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(mixed, zero))) & 0xFFFFFFu;
    }
#endif
    uint32_t pixel = 0;
    for (int c = 0; c < 3; ++c) {
        const int top = (p[c] * (128 - wx) + p[c + dx] * wx + 64) >> 7;
        const int bottom = (p[c + dy] * (128 - wx) + p[c + dy + dx] * wx + 64) >> 7;
        pixel |= uint32_t((top * (128 - wy) + bottom * wy + 64) >> 7) << (8 * c);
    }
    return pixel;
}

/// Where n projections fall in a width x height colour image: the occlusion grid cell (-1 outside the
/// image or without depth), the rounded z, the bilinear sample's place (see kSampleRight) and its 7-bit
/// weights (x in the low byte, y in the high byte).
struct SampleSpots
{
    int32_t *cell;
    uint16_t *z;
    uint32_t *place;
    uint16_t *weights;
};

__attribute__((always_inline)) inline void LocateSamplesBody(const float *u, const float *v, const float *z,
                                                             uint32_t n, uint32_t width, uint32_t height,
                                                             uint32_t gridWidth, float gridScale,
                                                             const SampleSpots &out)
{
    const float maxU = float(width - 1);
    const float maxV = float(height - 1);
    uint32_t i = 0;
#ifdef __SSE2__
    const __m128 zero = _mm_setzero_ps(), upperU = _mm_set1_ps(maxU), upperV = _mm_set1_ps(maxV);
    const __m128 scale = _mm_set1_ps(gridScale), weight = _mm_set1_ps(128.0f), half = _mm_set1_ps(0.5f);
    const __m128 maxZ = _mm_set1_ps(65534.0f);
    const __m128i rowCells = _mm_set1_epi32(int32_t(gridWidth)), rowPixels = _mm_set1_epi32(int32_t(width));
    const __m128i lastX = _mm_set1_epi32(int32_t(width - 1)), lastY = _mm_set1_epi32(int32_t(height - 1));
    const __m128i right = _mm_set1_epi32(int32_t(kSampleRight)), down = _mm_set1_epi32(int32_t(kSampleDown));
    // a * b for a, b below 65536 with a product below 2^31, by the 16-bit multiply.
    const auto multiply = [](__m128i a, __m128i b) {
        return _mm_add_epi32(_mm_and_si128(_mm_mullo_epi16(a, b), _mm_set1_epi32(0xFFFF)),
                             _mm_slli_epi32(_mm_mulhi_epu16(a, b), 16));
    };
    // Four values in 0..65535 stored as 16 bits: shifted into the signed range, packed, shifted back.
    const auto store16 = [](uint16_t *to, __m128i value) {
        const __m128i shifted = _mm_sub_epi32(value, _mm_set1_epi32(32768));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(to),
                         _mm_xor_si128(_mm_packs_epi32(shifted, shifted), _mm_set1_epi16(-32768)));
    };
    const auto store = [](void *to, __m128i value) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to), value);
    };
    for (; i + 4 <= n; i += 4) {
        const __m128 ui = _mm_loadu_ps(u + i), vi = _mm_loadu_ps(v + i), zi = _mm_loadu_ps(z + i);
        const __m128 inside =
            _mm_and_ps(_mm_and_ps(_mm_and_ps(_mm_cmpgt_ps(zi, zero), _mm_cmpge_ps(ui, zero)),
                                  _mm_and_ps(_mm_cmple_ps(ui, upperU), _mm_cmpge_ps(vi, zero))),
                       _mm_cmple_ps(vi, upperV));
        const __m128 uc = _mm_and_ps(inside, ui), vc = _mm_and_ps(inside, vi);
        const __m128i x = _mm_cvttps_epi32(uc), y = _mm_cvttps_epi32(vc);
        const __m128i gx = _mm_cvttps_epi32(_mm_mul_ps(uc, scale)),
                      gy = _mm_cvttps_epi32(_mm_mul_ps(vc, scale));
        const __m128i cell = _mm_add_epi32(gx, multiply(gy, rowCells));
        const __m128i mask = _mm_castps_si128(inside);
        store(out.cell + i,
              _mm_or_si128(_mm_and_si128(mask, cell), _mm_andnot_si128(mask, _mm_set1_epi32(-1))));
        store16(out.z + i, _mm_cvttps_epi32(_mm_add_ps(_mm_min_ps(zi, maxZ), half)));
        const __m128i pixel = _mm_add_epi32(multiply(y, rowPixels), x);
        const __m128i flags = _mm_or_si128(_mm_and_si128(_mm_cmplt_epi32(x, lastX), right),
                                           _mm_and_si128(_mm_cmplt_epi32(y, lastY), down));
        store(out.place + i, _mm_or_si128(_mm_add_epi32(pixel, _mm_add_epi32(pixel, pixel)), flags));
        const __m128i wx =
            _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(uc, _mm_cvtepi32_ps(x)), weight), half));
        const __m128i wy =
            _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(vc, _mm_cvtepi32_ps(y)), weight), half));
        store16(out.weights + i, _mm_or_si128(wx, _mm_slli_epi32(wy, 8)));
    }
#endif
    for (; i < n; ++i) {
        const bool inside = z[i] > 0.0f && u[i] >= 0.0f && u[i] <= maxU && v[i] >= 0.0f && v[i] <= maxV;
        const float uc = inside ? u[i] : 0.0f;
        const float vc = inside ? v[i] : 0.0f;
        const auto x = uint32_t(uc);
        const auto y = uint32_t(vc);
        out.cell[i] = inside ? int32_t(uc * gridScale) + int32_t(vc * gridScale) * int32_t(gridWidth) : -1;
        // NOLINTNEXTLINE(bugprone-incorrect-roundings): never negative here; lround would not vectorise.
        out.z[i] = static_cast<uint16_t>(std::min(std::max(z[i], 0.0f), 65534.0f) + 0.5f);
        out.place[i] =
            (y * width + x) * 3 | (x + 1 < width ? kSampleRight : 0) | (y + 1 < height ? kSampleDown : 0);
        // NOLINTNEXTLINE(bugprone-incorrect-roundings): never negative here; lround would not vectorise.
        const auto wx = uint32_t((uc - float(x)) * 128.0f + 0.5f);
        // NOLINTNEXTLINE(bugprone-incorrect-roundings): never negative here; lround would not vectorise.
        const auto wy = uint32_t((vc - float(y)) * 128.0f + 0.5f);
        out.weights[i] = static_cast<uint16_t>(wx | wy << 8);
    }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void LocateSamplesAvx2(const float *u, const float *v, const float *z,
                                                       uint32_t n, uint32_t width, uint32_t height,
                                                       uint32_t gridWidth, float gridScale,
                                                       const SampleSpots &out)
{
    LocateSamplesBody(u, v, z, n, width, height, gridWidth, gridScale, out);
}
#endif

void LocateSamples(const float *u, const float *v, const float *z, uint32_t n, uint32_t width,
                   uint32_t height, uint32_t gridWidth, float gridScale, const SampleSpots &out)
{
#if defined(__x86_64__)
    if (HasAvx2()) {
        LocateSamplesAvx2(u, v, z, n, width, height, gridWidth, gridScale, out);
        return;
    }
#endif
    LocateSamplesBody(u, v, z, n, width, height, gridWidth, gridScale, out);
}

} // namespace

void Registration::Splat(const SplatTarget &target, uint16_t *zBuffer, uint32_t *keys, const AlgImage *ir)
{
    DepthSplat::Frame frame{};
    frame.depth = m_projection.depth;
    frame.halfX = m_halfX.data();
    frame.halfY = m_halfY.data();
    frame.u = m_projection.u.data();
    frame.v = m_projection.v.data();
    frame.z = m_projection.z.data();
    frame.width = m_projection.width;
    frame.height = m_projection.height;
    frame.targetWidth = target.width;
    frame.targetHeight = target.height;
    frame.scale = target.scale;
    frame.nominalX = m_model->fx / m_tofFx;
    frame.nominalY = m_model->fy / m_tofFy;
    for (uint32_t row = 0; row < frame.height; ++row) {
        ProjectRow(row);
        const size_t at = size_t{row} * frame.width;
        if (keys == nullptr) {
            m_splat.DrawRow(frame, row, zBuffer);
        } else if (ir->elemType == ALG_8UC1) {
            m_splat.DrawRow(frame, row, keys, static_cast<const uint8_t *>(ir->data) + at);
        } else {
            m_splat.DrawRow(frame, row, keys, static_cast<const uint16_t *>(ir->data) + at);
        }
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
    const int projected = Prepare(geometry, *depth, width, height);
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
    uint16_t *irOut = withIr ? static_cast<uint16_t *>(outIr->data) : nullptr;
    const SplatTarget target{width, height, 1.0f};
    if (!withIr) {
        std::memset(zBuffer, 0xFF, pixels * sizeof(uint16_t));
        Splat(target, zBuffer, nullptr, nullptr);
    } else {
        // z and IR drawn as one key, then split; empty pixels leave z 65535.
        if (m_keys.size() < pixels) {
            m_keys.resize(pixels);
        }
        uint32_t *keys = m_keys.data();
        std::memset(keys, 0xFF, pixels * sizeof(uint32_t));
        Splat(target, zBuffer, keys, ir);
    }
    m_splat.CloseCracks(zBuffer, irOut, width, height, withIr ? m_keys.data() : nullptr);
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
    const int projected = Prepare(geometry, *depth, cw, ch);
    if (projected != kRefineOk) {
        return projected;
    }
    // The occlusion z-buffer: each depth pixel keeps the nearest z of the grid cell its centre falls in.
    // A cell at least one footprint wide is reached by every surface crossing it, so a pixel farther
    // than its cell's nearest z is hidden; hidden pixels are found to within a cell.
    const float footprint = std::max(m_model->fx / m_tofFx, m_model->fy / m_tofFy);
    const uint32_t cell =
        std::max(1u, static_cast<uint32_t>(std::ceil(footprint * kOcclusionCellFootprints)));
    const uint32_t gw = (cw + cell - 1) / cell;
    const uint32_t gh = (ch + cell - 1) / cell;
    if (m_zScratch.size() < size_t{gw} * gh) {
        m_zScratch.resize(size_t{gw} * gh);
    }
    uint16_t *grid = m_zScratch.data();
    std::memset(grid, 0xFF, size_t{gw} * gh * sizeof(uint16_t));
    const float scale = 1.0f / float(cell);
    const uint32_t width = depth->width;
    const size_t pixels = size_t{width} * depth->height;
    ColorSamples &samples = m_samples;
    if (samples.cell.size() < pixels) {
        samples.cell.resize(pixels);
        samples.z.resize(pixels);
        samples.place.resize(pixels);
        samples.weights.resize(pixels);
    }
    // Each row is projected and located once; the sampling pass reads what this pass kept.
    for (uint32_t row = 0; row < depth->height; ++row) {
        ProjectRow(row);
        const size_t at = size_t{row} * width;
        const SampleSpots spots{&samples.cell[at], &samples.z[at], &samples.place[at], &samples.weights[at]};
        LocateSamples(m_projection.u.data(), m_projection.v.data(), m_projection.z.data(), width, cw, ch, gw,
                      scale, spots);
        for (uint32_t i = 0; i < width; ++i) {
            const int32_t to = spots.cell[i];
            if (to >= 0) {
                grid[to] = std::min(grid[to], spots.z[i]);
            }
        }
    }

    const auto *rgb = static_cast<const uint8_t *>(color->data);
    const uint8_t *rgbEnd = rgb + size_t{cw} * ch * 3;
    const int32_t *cells = samples.cell.data();
    const uint16_t *zs = samples.z.data(), *weights = samples.weights.data();
    const uint32_t *places = samples.place.data();
    for (uint32_t row = 0; row < depth->height; ++row) {
        const size_t first = size_t{row} * width;
        uint8_t *dst = static_cast<uint8_t *>(outColor->data) + first * 3;
        // Four bytes are written per pixel, the fourth overwritten by the next one; three for the last.
        for (uint32_t i = 0; i < width; ++i, dst += 3) {
            const size_t k = first + i;
            const int32_t at = cells[k];
            const int32_t z = zs[k];
            uint32_t pixel = 0;
            if (at >= 0 && z <= int32_t(grid[at]) + kOcclusionMm + (z >> kOcclusionShift)) {
                pixel = SampleRgb(rgb, rgbEnd, size_t{cw} * 3, places[k], weights[k] & 0xFF, weights[k] >> 8);
            }
            if (i + 1 < width) {
                std::memcpy(dst, &pixel, 4);
            } else {
                std::memcpy(dst, &pixel, 3);
            }
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
