// SPDX-License-Identifier: Apache-2.0
// Tests of the registration between the ToF and colour cameras against a scene computed analytically:
// a plate 1 m in front of the ToF camera before a wall at 2 m, seen through distorted or undistorted
// images of both cameras.
#include "Registration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

#include "refine/ColorGeometry.h"

namespace refine {
namespace {

constexpr uint32_t kTofW = 640, kTofH = 480;
constexpr double kPlateZ = 1000.0, kWallZ = 2000.0, kPlateHalfW = 150.0, kPlateHalfH = 100.0;
/// What a pixel sees; kWallHidden is the wall where the plate hides it from the other camera.
using Surface = int;
constexpr Surface kNone = 0, kPlate = 1, kWall = 2, kWallHidden = 3;
constexpr int kRefused = kRefineInvalidArgument;

RegistrationGeometryPtr Rig(bool tofUndistorted, bool colorUndistorted, double turnDeg)
{
    const auto testLens = [](double f, double cx, double cy) {
        return LensModel{Pinhole{f, f, cx, cy}, -0.25, 0.08, 0.001, -0.0015, -0.01, 0, 0, 0};
    };
    const double c = std::cos(turnDeg * M_PI / 180.0), s = std::sin(turnDeg * M_PI / 180.0);
    // Turned about the vertical axis; the colour camera sits 50 mm to the ToF camera's right.
    return std::make_shared<RegistrationGeometry>(RegistrationGeometry{testLens(570.0, 321.0, 238.5),
                                                                       tofUndistorted,
                                                                       testLens(1400.0, 955.0, 545.0),
                                                                       colorUndistorted,
                                                                       {c, 0, s, 0, 1, 0, -s, 0, c},
                                                                       {-50.0, 0, 0}});
}

/// The lens of a delivered image: the sensor's lens, or its undistorted pinhole without coefficients.
LensModel Delivered(const LensModel &lens, bool undistorted, uint32_t w, uint32_t h)
{
    Pinhole p;
    EXPECT_TRUE(!undistorted || UndistortedPinhole(lens, w, h, p));
    return undistorted ? LensModel{p, 0, 0, 0, 0, 0, 0, 0, 0} : lens;
}

LensModel ColorCamera(const RegistrationGeometry &g, uint32_t w, uint32_t h)
{
    double k[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};
    LensModel lens = g.colorLens;
    lens.pinhole.ToMatrix(k);
    ScaleColorIntrinsic(k, w, h);
    lens.pinhole = Pinhole::FromMatrix(k);
    return Delivered(lens, g.colorUndistorted, w, h);
}

struct Vec
{
    double x, y, z;
};

/// The first surface along origin + t * dir (ToF coordinates); `t` gets the hit's parameter.
Surface Hit(const Vec &o, const Vec &d, double &t)
{
    t = (kPlateZ - o.z) / d.z;
    const bool plate =
        t > 0 && std::fabs(o.x + t * d.x) <= kPlateHalfW && std::fabs(o.y + t * d.y) <= kPlateHalfH;
    t = plate ? t : (kWallZ - o.z) / d.z;
    return plate ? kPlate : kWall;
}

bool Inside(const LensModel &lens, const Vec &p, uint32_t w, uint32_t h, double &u, double &v)
{
    return p.z > 0 && lens.Project(p.x / p.z, p.y / p.z, u, v) && u > -0.5 && v > -0.5 && u < w - 0.5 &&
           v < h - 0.5;
}

/// The scene seen by both cameras at one colour size, with the truth of every pixel of each.
struct Scene
{
    RegistrationGeometryPtr g;
    LensModel tof, color;
    uint32_t w, h;
    std::vector<uint16_t> depth;       // delivered ToF depth
    std::vector<Surface> tofSurface;   // per depth pixel; kWallHidden when hidden from the colour camera
    std::vector<Surface> colorSurface; // per colour pixel; kWallHidden when hidden from the ToF camera
    std::vector<double> colorZ;        // per colour pixel, the colour camera's z

    /// Colour coordinates to ToF coordinates, R^T (c - T); a direction drops the translation.
    Vec ToTof(const Vec &c, bool direction = false) const
    {
        const double *r = g->rotation, *t = g->translation;
        const Vec p = direction ? c : Vec{c.x - t[0], c.y - t[1], c.z - t[2]};
        return {r[0] * p.x + r[3] * p.y + r[6] * p.z, r[1] * p.x + r[4] * p.y + r[7] * p.z,
                r[2] * p.x + r[5] * p.y + r[8] * p.z};
    }
    Vec ToColor(const Vec &p) const
    {
        const double *r = g->rotation, *t = g->translation;
        return {r[0] * p.x + r[1] * p.y + r[2] * p.z + t[0], r[3] * p.x + r[4] * p.y + r[5] * p.z + t[1],
                r[6] * p.x + r[7] * p.y + r[8] * p.z + t[2]};
    }

    Scene(RegistrationGeometryPtr geometry, uint32_t width, uint32_t height)
        : g(std::move(geometry)), tof(Delivered(g->tofLens, g->tofUndistorted, kTofW, kTofH)),
          color(ColorCamera(*g, width, height)), w(width), h(height), depth(kTofW * kTofH),
          tofSurface(kTofW * kTofH), colorSurface(size_t{w} * h), colorZ(size_t{w} * h)
    {
        const Vec colorEye = ToTof({0, 0, 0});
        // What a ray from `eye` hits: the wall is hidden where the plate stands between it and `other`.
        const auto see = [](const Vec &eye, const Vec &dir, const Vec &other, double &t) {
            const Surface s = Hit(eye, dir, t);
            const Vec q{eye.x + t * dir.x, eye.y + t * dir.y, eye.z + t * dir.z};
            double back = 0;
            const bool shadow = Hit(other, {q.x - other.x, q.y - other.y, q.z - other.z}, back) == kPlate;
            return std::pair{s == kWall && shadow ? kWallHidden : s, q};
        };
        Vec ray{0, 0, 1};
        double t = 0, u = 0, v = 0;
        for (uint32_t k = 0; k < kTofW * kTofH; ++k) {
            if (tof.Unproject(k % kTofW, k / kTofW, ray.x, ray.y)) {
                const auto [s, q] = see({0, 0, 0}, ray, colorEye, t);
                depth[k] = static_cast<uint16_t>(std::lround(q.z));
                tofSurface[k] = Inside(color, ToColor(q), w, h, u, v) ? s : kNone;
            }
        }
        for (size_t k = 0; k < colorSurface.size(); ++k) {
            if (color.Unproject(double(k % w), double(k / w), ray.x, ray.y)) {
                const auto [s, q] = see(colorEye, ToTof(ray, true), {0, 0, 0}, colorZ[k]);
                colorSurface[k] = Inside(tof, q, kTofW, kTofH, u, v) ? s : kNone;
            }
        }
    }
};

/// Whether every pixel within two of (x, y) has the same surface: away from every edge.
bool Interior(const std::vector<Surface> &surface, uint32_t w, uint32_t h, uint32_t x, uint32_t y)
{
    bool same = x >= 2 && y >= 2 && x + 2 < w && y + 2 < h;
    for (uint32_t i = 0; same && i < 25; ++i) {
        same = surface[size_t{y + i / 5 - 2} * w + x + i % 5 - 2] == surface[size_t{y} * w + x];
    }
    return same;
}

/// ToF undistorted, colour undistorted, colour width and height, turn of the colour camera in degrees.
using RegistrationMapping = ::testing::TestWithParam<std::tuple<bool, bool, uint32_t, uint32_t, double>>;

TEST_P(RegistrationMapping, DepthAndColourFollowTheSceneOnBothSides)
{
    const auto [tofUndistorted, colorUndistorted, w, h, turnDeg] = GetParam();
    const Scene scene(Rig(tofUndistorted, colorUndistorted, turnDeg), w, h);
    Registration registration;
    std::vector<uint16_t> depth = scene.depth, mapped(size_t{w} * h);
    AlgImage color{nullptr, ALG_8UC3, w, h}, depthImage{depth.data(), ALG_16UC1, kTofW, kTofH},
        out{mapped.data(), ALG_16UC1, w, h};
    ASSERT_EQ(registration.MapDepthToColor(scene.g, &color, &depthImage, &out), kRefineOk);
    size_t surface = 0, wrong = 0, holes = 0, hidden = 0, filled = 0;
    for (size_t k = 0; k < mapped.size(); ++k) {
        const Surface s = scene.colorSurface[k];
        if (s == kNone || !Interior(scene.colorSurface, w, h, k % w, k / w)) {
            continue;
        }
        if (s == kWallHidden) {
            ++hidden, filled += mapped[k] != 0;
        } else {
            ++surface, holes += mapped[k] == 0;
            wrong += std::fabs(mapped[k] - scene.colorZ[k]) > 2.0;
        }
    }
    ASSERT_GT(hidden, 1000u);
    EXPECT_LE(wrong, surface / 100) << "of " << surface;
    EXPECT_LE(holes, surface / 1000) << "of " << surface;
    EXPECT_LE(filled, hidden / 100) << "of " << hidden;

    // Colour into depth: the plate red, the wall blue, as the colour camera sees them.
    std::vector<uint8_t> rgb(size_t{w} * h * 3), back(kTofW * kTofH * 3);
    for (size_t k = 0; k < scene.colorSurface.size(); ++k) {
        const bool plate = scene.colorSurface[k] == kPlate;
        rgb[3 * k] = plate ? 200 : 40;
        rgb[3 * k + 2] = plate ? 40 : 200;
    }
    color.data = rgb.data();
    AlgImage backImage{back.data(), ALG_8UC3, kTofW, kTofH};
    ASSERT_EQ(registration.MapColorToDepth(scene.g, &color, &depthImage, &backImage), kRefineOk);
    size_t checked[4] = {}, bad[4] = {};
    for (uint32_t k = 0; k < kTofW * kTofH; ++k) {
        const Surface s = scene.tofSurface[k];
        if (s == kNone || !Interior(scene.tofSurface, kTofW, kTofH, k % kTofW, k / kTofW)) {
            continue;
        }
        const uint8_t red = s == kPlate ? 200 : s == kWall ? 40 : 0;
        const uint8_t blue = s == kPlate ? 40 : s == kWall ? 200 : 0;
        ++checked[s];
        bad[s] += back[3 * k] != red || back[3 * k + 1] != 0 || back[3 * k + 2] != blue;
    }
    for (Surface s : {kPlate, kWall, kWallHidden}) {
        EXPECT_GT(checked[s], 500u) << s;
        EXPECT_LE(bad[s], checked[s] / 100) << s;
    }
}

INSTANTIATE_TEST_SUITE_P(Rigs, RegistrationMapping,
                         ::testing::Values(std::tuple{false, false, 640u, 480u, 0.0},
                                           std::tuple{true, true, 1280u, 720u, 2.0},
                                           std::tuple{false, true, 1600u, 1200u, 2.0}));

// (Single points landing within a pixel of the colour lens's projection, for every colour size and
// undistortion, are the public API's mapping tests' to check.)

/// A rig without rotation keeps the ToF depth as the colour camera's z, so every mapped pixel is exactly
/// one of the two surfaces and its IR must be that surface's.
TEST(Registration, IrTravelsWithItsDepthPixelAndInvalidDepthIsNeverProjected)
{
    const Scene scene(Rig(true, false, 0.0), 1600, 1200);
    std::vector<uint16_t> depth = scene.depth, ir16(kTofW * kTofH);
    std::vector<uint8_t> ir8(kTofW * kTofH);
    for (size_t k = 0; k < depth.size(); ++k) {
        ir8[k] = depth[k] == 1000 ? 100 : 200;
        ir16[k] = depth[k] == 1000 ? 1234 : 4000;
        if (k >= 100 * kTofW && k < 140 * kTofW) { // a band of invalid depth across both surfaces
            depth[k] = k % 2 ? 0 : 65535;
        }
    }
    Registration registration;
    const size_t pixels = 1600 * 1200;
    std::vector<uint16_t> alone(pixels), withIr(pixels), irOut(pixels), irOnly(pixels);
    AlgImage color{nullptr, ALG_8UC3, 1600, 1200}, d{depth.data(), ALG_16UC1, kTofW, kTofH},
        outAlone{alone.data(), ALG_16UC1, 1600, 1200}, outDepth{withIr.data(), ALG_16UC1, 1600, 1200},
        outIr{irOut.data(), ALG_16UC1, 1600, 1200}, outIrOnly{irOnly.data(), ALG_16UC1, 1600, 1200};
    ASSERT_EQ(registration.MapDepthToColor(scene.g, &color, &d, &outAlone), kRefineOk);
    for (bool eightBit : {true, false}) {
        AlgImage ir = eightBit ? AlgImage{ir8.data(), ALG_8UC1, kTofW, kTofH}
                               : AlgImage{ir16.data(), ALG_16UC1, kTofW, kTofH};
        ASSERT_EQ(registration.MapDepthIrToColor(scene.g, &color, &d, &ir, &outDepth, &outIr), kRefineOk);
        ASSERT_EQ(registration.MapIrToColor(scene.g, &color, &d, &ir, &outIrOnly), kRefineOk);
        EXPECT_EQ(withIr, alone);
        EXPECT_EQ(irOnly, irOut);
        const uint16_t plateIr = eightBit ? 1600 : 1234, wallIr = eightBit ? 3200 : 4000;
        size_t mismatched = 0;
        for (size_t k = 0; k < pixels; ++k) {
            const uint16_t expected = withIr[k] == 1000 ? plateIr : withIr[k] == 2000 ? wallIr : 0;
            mismatched += (withIr[k] != 0 && withIr[k] != 1000 && withIr[k] != 2000) || irOut[k] != expected;
        }
        EXPECT_EQ(mismatched, 0u) << eightBit;
    }
    // Colour mapped back leaves the band of invalid depth black.
    std::vector<uint8_t> rgb(pixels * 3, 255), back(kTofW * kTofH * 3, 7);
    color.data = rgb.data();
    AlgImage backImage{back.data(), ALG_8UC3, kTofW, kTofH};
    ASSERT_EQ(registration.MapColorToDepth(scene.g, &color, &d, &backImage), kRefineOk);
    EXPECT_EQ(std::vector<uint8_t>(back.begin() + 100 * kTofW * 3, back.begin() + 140 * kTofW * 3),
              std::vector<uint8_t>(40 * kTofW * 3, 0));
}

/// Into a colour image coarser than the depth image, one missing depth pixel leaves a one-pixel crack
/// in the wall, which is closed; a missing 3x3 block leaves a gap wider than a pixel, which stays.
TEST(Registration, ClosesCracksButNotGaps)
{
    const Scene scene(Rig(true, true, 0.0), 640, 360);
    std::vector<uint16_t> depth = scene.depth, mapped(640 * 360);
    std::vector<TfDepthVector3> cracks, gaps;
    for (int32_t x = 40; x < 600; x += 9) {
        for (int32_t y : {60, 400}) {
            depth[size_t(y) * kTofW + size_t(x)] = 0;
            cracks.push_back({x, y, 2000});
        }
        for (int32_t y : {80, 420}) {
            for (int32_t i = 0; i < 9; ++i) {
                depth[size_t(y + i / 3 - 1) * kTofW + size_t(x + i % 3 - 1)] = 0;
            }
            gaps.push_back({x, y, 2000});
        }
    }
    Registration registration;
    AlgImage color{nullptr, ALG_8UC3, 640, 360}, d{depth.data(), ALG_16UC1, kTofW, kTofH},
        out{mapped.data(), ALG_16UC1, 640, 360};
    ASSERT_EQ(registration.MapDepthToColor(scene.g, &color, &d, &out), kRefineOk);
    for (const auto &[points, expected] : {std::pair{cracks, 2000}, {gaps, 0}}) {
        for (const TfDepthVector3 &p : points) {
            TfVector2u16 at{};
            if (registration.GetMappedPointDepthToRGB(scene.g, p, {640, 360}, &at) == kRefineOk) {
                EXPECT_EQ(mapped[size_t{at.y} * 640 + at.x], expected) << p.depthX << " " << p.depthY;
            }
        }
    }
}

TEST(Registration, BadInputIsRefusedWithoutWriting)
{
    const RegistrationGeometryPtr g = Rig(true, true, 0.0);
    std::vector<uint16_t> depth(kTofW * kTofH, 1500), ir(kTofW * kTofH), out(1600 * 1200, 7),
        outIr(1600 * 1200, 7);
    std::vector<uint8_t> rgb(1600 * 1200 * 3);
    const AlgImage color{rgb.data(), ALG_8UC3, 1600, 1200}, d{depth.data(), ALG_16UC1, kTofW, kTofH},
        i{ir.data(), ALG_16UC1, kTofW, kTofH};
    // What is wrong, then the geometry, colour, depth and IR given and the rows of every out buffer's
    // capacity: a full image (1), one short (0), or no buffer (2).
    const std::tuple<const char *, RegistrationGeometryPtr, AlgImage, AlgImage, AlgImage, uint32_t> rows[] = {
        {"no geometry", nullptr, color, d, i, 1},
        {"empty colour", g, AlgImage{rgb.data(), ALG_8UC3, 0, 1200}, d, i, 1},
        {"no depth data", g, color, AlgImage{nullptr, ALG_16UC1, kTofW, kTofH}, i, 1},
        {"8-bit depth", g, color, AlgImage{depth.data(), ALG_8UC1, kTofW, kTofH}, i, 1},
        {"depth beyond the sensor", g, color, AlgImage{depth.data(), ALG_16UC1, kTofW + 2, kTofH / 2}, i, 1},
        {"IR of another size", g, color, d, AlgImage{ir.data(), ALG_16UC1, kTofW, kTofH - 1}, 1},
        {"out too small", g, color, d, i, 0},
        {"no out buffer", g, color, d, i, 2},
    };
    Registration registration;
    for (const auto &[what, geometry, c0, d0, i0, outRows] : rows) {
        const auto outOf = [n = outRows](void *data, ALG_ElemType type, uint32_t w, uint32_t h) {
            return AlgImage{n == 2 ? nullptr : data, type, w, h - (n == 0)};
        };
        AlgImage c = c0, dd = d0, ii = i0, a = outOf(out.data(), ALG_16UC1, 1600, 1200),
                 b = outOf(outIr.data(), ALG_16UC1, 1600, 1200),
                 rgbOut = outOf(out.data(), ALG_8UC3, kTofW, kTofH);
        EXPECT_EQ(registration.MapDepthIrToColor(geometry, &c, &dd, &ii, &a, &b), kRefused) << what;
        EXPECT_EQ(registration.MapIrToColor(geometry, &c, &dd, &ii, &b), kRefused) << what;
        if (i0.height == kTofH) { // the others read no IR
            EXPECT_EQ(registration.MapDepthToColor(geometry, &c, &dd, &a), kRefused) << what;
            EXPECT_EQ(registration.MapColorToDepth(geometry, &c, &dd, &rgbOut), kRefused) << what;
        }
    }
    EXPECT_EQ(out, std::vector<uint16_t>(out.size(), 7));
    EXPECT_EQ(outIr, std::vector<uint16_t>(outIr.size(), 7));
    TfVector2u16 point{};
    for (uint16_t z : {uint16_t{0}, uint16_t{65535}}) { // invalid depth has no point
        point = {1, 1};
        EXPECT_EQ(registration.GetMappedPointDepthToRGB(g, {320, 240, z}, {640, 480}, &point), kRefused);
        EXPECT_EQ(point.x + point.y, 0);
    }
    EXPECT_EQ(registration.GetMappedPointDepthToRGB(g, {640, 0, 1000}, {640, 480}, &point), kRefused);
    EXPECT_EQ(registration.GetMappedPointDepthToRGB(g, {0, 0, 1000}, {0, 480}, &point), kRefused);
    EXPECT_EQ(registration.GetMappedPointDepthToRGB(g, {320, 240, 1000}, {640, 480}, nullptr), kRefused);
}

} // namespace
} // namespace refine
