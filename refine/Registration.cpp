// SPDX-License-Identifier: Apache-2.0
// Registration between the ToF and colour cameras: ray table, footprint splat with a z-buffer, crack
// closing, colour sampling with an occlusion test, and single-point projection.
#include "Registration.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

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
void ProjectRun(const float *model, const float *rx, const float *ry, const float *rz, const float *t,
                const uint16_t *depth, uint32_t n, float *u, float *v, float *z)
{
    const float fx = model[0], fy = model[1], cx = model[2], cy = model[3];
    const float k1 = model[4], k2 = model[5], p1 = model[6], p2 = model[7];
    const float k3 = model[8], k4 = model[9], k5 = model[10], k6 = model[11], maxRay2 = model[12];
    for (uint32_t i = 0; i < n; ++i) {
        const float d = depth[i];
        const float px = d * rx[i] + t[0];
        const float py = d * ry[i] + t[1];
        const float pz = d * rz[i] + t[2];
        const float inverse = 1.0f / pz;
        float x = px * inverse;
        float y = py * inverse;
        bool ok = (depth[i] != 0) & (depth[i] != kInvalidFar) & (pz > kMinColorZMm);
        if constexpr (kDistorted) {
            const float r2 = x * x + y * y;
            const float radial =
                (1.0f + r2 * (k1 + r2 * (k2 + r2 * k3))) / (1.0f + r2 * (k4 + r2 * (k5 + r2 * k6)));
            const float xy2 = 2.0f * x * y;
            const float xd = x * radial + p1 * xy2 + p2 * (r2 + 2.0f * x * x);
            const float yd = y * radial + p1 * (r2 + 2.0f * y * y) + p2 * xy2;
            ok = ok & (r2 < maxRay2);
            x = xd;
            y = yd;
        }
        u[i] = fx * x + cx;
        v[i] = fy * y + cy;
        z[i] = ok ? pz : 0.0f;
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

template <typename IrT>
void Registration::Splat(const SplatTarget &target, const IrT *ir, uint32_t irShift) const
{
    const uint32_t width = m_projection.width;
    const uint32_t height = m_projection.height;
    const float *pu = m_projection.u.data();
    const float *pv = m_projection.v.data();
    const float *pz = m_projection.z.data();
    const float scale = target.scale;
    // Buffer pixel centres sit at (c + 0.5) * scale - 0.5 in colour pixel coordinates.
    const float offset = 0.5f * scale - 0.5f;
    const float nominalX = m_model->fx / m_tofFx * scale;
    const float nominalY = m_model->fy / m_tofFy * scale;
    const float capX = std::min(kMaxHalfFootprintPx, std::max(1.0f, 1.5f * nominalX));
    const float capY = std::min(kMaxHalfFootprintPx, std::max(1.0f, 1.5f * nominalY));
    const float maxU = float(target.width) + kOutsideMarginPx;
    const float maxV = float(target.height) + kOutsideMarginPx;
    for (uint32_t row = 0; row < height; ++row) {
        for (uint32_t col = 0; col < width; ++col) {
            const size_t k = size_t{row} * width + col;
            const float z = pz[k];
            if (!(z > 0.0f)) {
                continue;
            }
            const float u = pu[k] * scale + offset;
            const float v = pv[k] * scale + offset;
            if (!(u > -kOutsideMarginPx && u < maxU && v > -kOutsideMarginPx && v < maxV)) {
                continue;
            }
            // The footprint's extent from the projections of the neighbours on the same surface.
            const float step = kSurfaceStepMm + kSurfaceStepFraction * z;
            const auto same = [&](size_t n) { return std::fabs(pz[n] - z) <= step; };
            const bool left = col > 0 && same(k - 1);
            const bool right = col + 1 < width && same(k + 1);
            const bool up = row > 0 && same(k - width);
            const bool down = row + 1 < height && same(k + width);
            const size_t a = left ? k - 1 : k;
            const size_t b = right ? k + 1 : k;
            const float spanU = (left && right) ? 0.5f : 1.0f;
            float dxu = (pu[b] - pu[a]) * spanU * scale;
            float dyu = (pv[b] - pv[a]) * spanU * scale;
            if (!left && !right) {
                dxu = nominalX;
                dyu = 0.0f;
            }
            const size_t c = up ? k - width : k;
            const size_t e = down ? k + width : k;
            const float spanV = (up && down) ? 0.5f : 1.0f;
            float dxv = (pu[e] - pu[c]) * spanV * scale;
            float dyv = (pv[e] - pv[c]) * spanV * scale;
            if (!up && !down) {
                dxv = 0.0f;
                dyv = nominalY;
            }
            const float halfX = std::min(capX, std::max(0.5f, 0.5f * (std::fabs(dxu) + std::fabs(dxv))));
            const float halfY = std::min(capY, std::max(0.5f, 0.5f * (std::fabs(dyu) + std::fabs(dyv))));
            const int x0 = std::max(0, CeilInt(u - halfX));
            const int x1 = std::min(int(target.width), CeilInt(u + halfX));
            const int y0 = std::max(0, CeilInt(v - halfY));
            const int y1 = std::min(int(target.height), CeilInt(v + halfY));
            const auto zi =
                static_cast<uint16_t>(std::min(65534, std::max(1, RoundInt(std::min(z, 65534.0f)))));
            for (int y = y0; y < y1; ++y) {
                uint16_t *zRow = target.z + size_t(y) * target.width;
                if constexpr (std::is_same_v<IrT, void>) {
                    for (int x = x0; x < x1; ++x) {
                        zRow[x] = std::min(zRow[x], zi);
                    }
                } else {
                    uint16_t *irRow = target.ir + size_t(y) * target.width;
                    const auto value = static_cast<uint16_t>(uint32_t{ir[k]} << irShift);
                    for (int x = x0; x < x1; ++x) {
                        if (zi < zRow[x]) {
                            zRow[x] = zi;
                            irRow[x] = value;
                        }
                    }
                }
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
