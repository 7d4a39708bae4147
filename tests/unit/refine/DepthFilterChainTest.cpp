// SPDX-License-Identifier: Apache-2.0
// Tests of DepthFilterChain on synthetic depth scenes: each filter's targets, invalid depth, off switches
// and bad input.
#include "DepthFilterChain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

namespace {

using refine::DepthFilterChain;
constexpr uint16_t kBeyond = 0xFFFF;

/// A depth image with its ground truth; noise and mixed pixels are added by the scene helpers.
struct Scene
{
    uint32_t width = 0, height = 0;
    std::vector<uint16_t> depth;
    std::vector<float> truth; ///< the surface each pixel sees, 0 where none
    uint16_t &At(uint32_t x, uint32_t y) { return depth[size_t{y} * width + x]; }

    /// Builds the scene from a truth function, with Gaussian noise of `sigmaMm` from a fixed seed.
    static Scene Make(uint32_t w, uint32_t h, float sigmaMm,
                      const std::function<float(uint32_t, uint32_t)> &z, unsigned seed = 12)
    {
        Scene s{w, h, std::vector<uint16_t>(size_t{w} * h), std::vector<float>(size_t{w} * h)};
        std::mt19937 rng(seed);
        std::normal_distribution<float> noise(0.0f, sigmaMm);
        for (size_t i = 0; i < s.depth.size(); ++i) {
            const float t = s.truth[i] = z(uint32_t(i % w), uint32_t(i / w));
            s.depth[i] = t > 0 ? static_cast<uint16_t>(std::lround(t + noise(rng))) : 0;
        }
        return s;
    }

    double Rms() const
    {
        double sum = 0;
        for (size_t i = 0; i < depth.size(); ++i) {
            sum += std::pow(depth[i] - truth[i], 2);
        }
        return std::sqrt(sum / double(depth.size()));
    }
};

/// A nearer quadrant at 1500 mm before a wall at 2300 mm: its corner pixel sees mostly the wall.
float QuadrantMm(uint32_t x, uint32_t y)
{
    return x < 32 && y < 24 ? 1500.0f : 2300.0f;
}

void RunAll(DepthFilterChain &chain, Scene &s)
{
    ASSERT_EQ(chain.PreFilter(s.depth.data(), s.width, s.height), kRefineOk);
    ASSERT_EQ(chain.PostFilter(s.depth.data(), s.width, s.height), kRefineOk);
    ASSERT_EQ(chain.Process(s.depth.data(), s.width, s.height), kRefineOk);
}

// (Mixed pixels at a box's edges removed and a far floor kept are the public API's geometry tests' to see.)
TEST(DepthFilterChainTest, FlyingPixelRemovesIsolatedPixelsAndPixelsBetweenDiagonalNeighbours)
{
    Scene s = Scene::Make(64, 64, 3.0f, [](uint32_t, uint32_t) { return 2000.0f; });
    for (uint32_t x = 50; x < 60; x += 3) {
        s.At(x, 50) = 600; // isolated pixels in front of the wall
    }
    const Scene before = s;
    DepthFilterChain chain;
    chain.SetFlyingPixel({0, 1});
    RunAll(chain, s);
    for (size_t i = 0; i < s.depth.size(); ++i) {
        EXPECT_EQ(s.depth[i], before.depth[i] == 600 ? 0 : before.depth[i]) << i;
    }
    // Only a diagonal shows this pixel between two surfaces: its other neighbours lie at its depth.
    for (auto [nearer, farther] : {std::pair{0, 8}, std::pair{2, 6}}) {
        std::vector<uint16_t> patch(9, 1500);
        patch[nearer] = 1000;
        patch[farther] = 2000;
        ASSERT_EQ(chain.PostFilter(patch.data(), 3, 3), kRefineOk);
        EXPECT_EQ(patch[4], 0);
    }
}

TEST(DepthFilterChainTest, SpatialMedianHalvesNoise)
{
    for (uint32_t value : {0u, 2u}) {
        SCOPED_TRACE(value == 2 ? "5x5" : "3x3");
        DepthFilterChain chain;
        chain.SetSpatial({1, 0, 0, value});
        Scene step = Scene::Make(64, 48, 12.0f, QuadrantMm);
        const double before = step.Rms();
        RunAll(chain, step);
        EXPECT_LE(step.Rms(), before / 2); // (never across the step: the table of settings below)
    }
}

TEST(DepthFilterChainTest, TemporalHalvesStaticNoiseFollowsAMovedObjectAtOnceAndFeedsTheSideOutput)
{
    // The side output holds the temporal result even with the filter off, and leaves the image alone.
    DepthFilterChain chain, sideOnly;
    chain.SetTemporal(true, 0, 0);
    sideOnly.SetTimeFilterDepthEnabled(true);
    std::vector<uint16_t> side(32 * 32);
    uint32_t w = 0, h = 0;
    EXPECT_EQ(sideOnly.GetOnlyTimeFilterDepth(side.data(), side.size(), &w, &h), kRefineNotSupported);
    Scene frame;
    for (unsigned n = 0; n < 8; ++n) {
        frame = Scene::Make(32, 32, 8.0f, QuadrantMm, n);
        Scene delivered = frame;
        RunAll(chain, frame);
        RunAll(sideOnly, delivered);
        EXPECT_EQ(delivered.depth, Scene::Make(32, 32, 8.0f, QuadrantMm, n).depth);
        ASSERT_EQ(sideOnly.GetOnlyTimeFilterDepth(side.data(), side.size(), &w, &h), kRefineOk);
        EXPECT_EQ(side, frame.depth);
    }
    EXPECT_LE(frame.Rms(), 4.0);
    EXPECT_EQ(sideOnly.GetOnlyTimeFilterDepth(side.data(), side.size() - 1, &w, &h), kRefineInvalidArgument);
    EXPECT_EQ(w * h, side.size());

    // The scene comes 300 mm nearer: the next output is that frame itself.
    Scene moved = Scene::Make(32, 32, 8.0f, [](uint32_t x, uint32_t y) { return QuadrantMm(x, y) - 300.0f; });
    const Scene input = moved;
    RunAll(chain, moved);
    EXPECT_EQ(moved.depth, input.depth);
    sideOnly.SetTimeFilterDepthEnabled(false);
    RunAll(sideOnly, moved);
    EXPECT_EQ(sideOnly.GetOnlyTimeFilterDepth(side.data(), side.size(), &w, &h), kRefineNotSupported);
}

TEST(DepthFilterChainTest, HoleFillFillsShortRunsOnlyBetweenAgreeingEnds)
{
    // A tilted plane: every short hole is filled within 2 mm; what must stay stays 0.
    Scene s = Scene::Make(64, 40, 0.0f, [](uint32_t x, uint32_t y) { return 1000.0f + 0.5f * x + 3.0f * y; });
    const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, bool> holes[] = {
        // x, y, width, height, filled. Short runs along rows, columns or both; 5 x 5 too wide both ways;
        // holes at the border (long the other way); a run ending on a step; a pixel with 65535 after it
        // along its row and its column.
        {5, 3, 1, 1, true},    {10, 3, 4, 1, true},  {30, 10, 1, 4, true},  {20, 10, 4, 4, true},
        {40, 10, 5, 5, false}, {0, 20, 2, 5, false}, {60, 20, 4, 5, false}, {12, 36, 5, 4, false},
        {30, 25, 2, 5, false}, {50, 30, 1, 1, false}};
    std::vector<int> filled(s.depth.size(), -1); // per pixel of a hole: 1 when it must be filled, else 0
    for (const auto &[x0, y0, width, height, fill] : holes) {
        for (uint32_t y = y0; y < y0 + height; ++y) {
            for (uint32_t x = x0; x < x0 + width; ++x) {
                s.At(x, y) = 0;
                filled[size_t{y} * s.width + x] = fill ? 1 : 0;
            }
        }
    }
    for (uint32_t y = 25; y < 30; ++y) {
        s.At(32, y) = 1400;
    }
    s.At(51, 30) = kBeyond;
    s.At(50, 31) = kBeyond;
    DepthFilterChain chain;
    chain.SetFillHole({1, 0, 0, 0});
    RunAll(chain, s);
    for (size_t i = 0; i < s.depth.size(); ++i) {
        if (filled[i] == 1) {
            EXPECT_NEAR(s.depth[i], s.truth[i], 2.0f) << i;
        } else if (filled[i] == 0) {
            EXPECT_EQ(s.depth[i], 0) << i;
        }
    }
}

/// The settings of one table row, applied through the setters; `scale` is the real-depth factor.
struct Config
{
    const char *name;
    uint16_t maxMm, minMm;
    int outOfRangeHandle;
    TfFlyingPixelFilterParams flyingPixel;
    TfSpatialFilterParams spatial;
    bool temporal;
    TfFillHoleFilterParams fillHole;
    bool realDepth;
    float scale;
    float maxErrorMm; ///< of a valid output against scale x truth: nothing averaged with 0 or 65535

    void ApplyTo(DepthFilterChain &c) const
    {
        c.SetDepthRange(maxMm, minMm);
        c.SetOutOfMaxRangeHandle(outOfRangeHandle);
        c.SetFlyingPixel(flyingPixel);
        c.SetSpatial(spatial);
        c.SetTemporal(temporal, 10, 2);
        c.SetFillHole(fillHole);
        c.SetRealDepth(realDepth);
        c.SetAxialFactors(
            scale != 1.0f ? std::make_shared<const std::vector<float>>(64 * 48, scale) : nullptr, 64, 48);
    }
};

TEST(DepthFilterChainTest, Depth65535PassesEveryFilterNoFilterWritesItAndFiltersThatAreOffChangeNothing)
{
    const Config rows[] = {
        // name, range max/min/handle, flying pixel, spatial, temporal, hole fill, real depth, scale, error
        {"range", 2000, 1600, 0, {}, {}, false, {}, false, 1.0f, 1000.0f},
        {"range clamp", 2000, 0, 1, {}, {}, false, {}, false, 1.0f, 1000.0f},
        {"flying pixel", 0, 0, 0, {0, 1}, {}, false, {}, false, 1.0f, 100.0f},
        {"real depth", 0, 0, 0, {}, {}, false, {}, true, 0.95f, 100.0f},
        {"spatial 3x3", 0, 0, 0, {}, {1, 0, 0, 0}, false, {}, false, 1.0f, 100.0f},
        {"spatial 5x5", 0, 0, 0, {}, {1, 0, 0, 2}, false, {}, false, 1.0f, 100.0f},
        {"temporal", 0, 0, 0, {}, {}, true, {}, false, 1.0f, 100.0f},
        {"hole fill", 0, 0, 0, {}, {}, false, {1, 0, 0, 0}, false, 1.0f, 100.0f},
        // Off (error 0): every parameter set but the switch; real depth on without factors.
        {"defaults", 0, 0, 1, {}, {}, false, {}, false, 1.0f, 0.0f},
        {"all off", 0, 0, 1, {300, 0}, {0, 5, 300, 2}, false, {0, 0, 500, 9}, true, 1.0f, 0.0f},
    };
    for (const Config &row : rows) {
        SCOPED_TRACE(row.name);
        DepthFilterChain chain;
        row.ApplyTo(chain);
        for (int frame = 0; frame < 2; ++frame) {
            Scene s = Scene::Make(64, 48, 20.0f, QuadrantMm);
            for (size_t i = 0; i < s.depth.size(); i += 7) {
                s.depth[i] = i % 3 == 0 ? kBeyond : 0;
            }
            const Scene before = s;
            RunAll(chain, s);
            for (size_t i = 0; i < s.depth.size(); ++i) {
                ASSERT_EQ(s.depth[i] == kBeyond, before.depth[i] == kBeyond) << i;
                if (s.depth[i] != 0 && s.depth[i] != kBeyond && row.maxErrorMm > 0.0f) {
                    ASSERT_NEAR(s.depth[i], s.truth[i] * row.scale, row.maxErrorMm) << i;
                }
            }
            if (row.maxErrorMm == 0.0f) { // off: neither the depth nor the IR image changes
                EXPECT_EQ(s.depth, before.depth);
                AlgImage ir{s.depth.data(), ALG_16UC1, 64, 48};
                EXPECT_EQ(chain.FilterIr(&ir), kRefineOk);
                EXPECT_EQ(s.depth, before.depth);
            }
        }
    }
}

TEST(DepthFilterChainTest, SettingsShareTheSmoothingSwitchRefuseBadInputAndRealDepthScalesEachPixel)
{
    DepthFilterChain chain;
    chain.SetSpatial({1, 0, 80, 2});
    EXPECT_TRUE(chain.SmoothingEnabled());
    chain.SetSmoothingEnabled(false);
    EXPECT_EQ(uint32_t{chain.Spatial().enable}, 0u);
    EXPECT_EQ(uint32_t{chain.Spatial().threshold}, 80u);
    EXPECT_EQ(chain.SetDepthRange(100, 200), kRefineInvalidArgument);
    for (auto [count, factor] : {std::pair{5, 1.0f}, std::pair{4, -0.1f}, std::pair{4, NAN}}) {
        EXPECT_EQ(chain.SetAxialFactors(std::make_shared<const std::vector<float>>(count, factor), 2, 2),
                  kRefineInvalidArgument);
    }

    // Refused sizes first; then the temporal state follows the size, down to one pixel (which the
    // flying-pixel filter would rightly remove as isolated).
    std::vector<uint16_t> depth(64 * 64, 1000);
    Config{"all on", 0, 0, 0, {}, {1, 0, 0, 2}, true, {1, 0, 0, 0}, false, 1.0f, 0.0f}.ApplyTo(chain);
    const std::pair<uint32_t, uint32_t> sizes[] = {{0, 4}, {4, 0}, {16385, 1}, {64, 64},
                                                   {1, 1}, {3, 2}, {64, 64}};
    for (auto [w, h] : sizes) {
        const int expected = w == 0 || h == 0 || w > 16384 ? kRefineInvalidArgument : kRefineOk;
        EXPECT_EQ(chain.PostFilter(depth.data(), w, h), expected);
        EXPECT_EQ(chain.Process(depth.data(), w, h), expected);
    }
    EXPECT_EQ(depth, std::vector<uint16_t>(64 * 64, 1000));
    EXPECT_EQ(chain.PreFilter(nullptr, 4, 4), kRefineInvalidArgument);
    EXPECT_EQ(chain.FilterIr(nullptr), kRefineInvalidArgument);

    DepthFilterChain real;
    const auto factors = std::make_shared<std::vector<float>>(std::vector<float>{1.0f, 0.5f, 0.9f, 1.0f});
    ASSERT_EQ(real.SetAxialFactors(factors, 2, 2), kRefineOk);
    real.SetRealDepth(true);
    depth = {1000, 1001, 3333, 0};
    ASSERT_EQ(real.PostFilter(depth.data(), 2, 2), kRefineOk);
    EXPECT_EQ(depth, (std::vector<uint16_t>{1000, 501, 3000, 0}));

    // The IR median removes an outlier.
    real.SetSmoothingEnabled(true);
    std::vector<uint8_t> ir(5 * 5, 40);
    ir[12] = 255;
    AlgImage image{ir.data(), ALG_8UC1, 5, 5};
    ASSERT_EQ(real.FilterIr(&image), kRefineOk);
    EXPECT_EQ(ir, std::vector<uint8_t>(25, 40));
}

} // namespace
