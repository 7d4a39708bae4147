// SPDX-License-Identifier: Apache-2.0
// Tests of the refine library through its entry point: its calls reach the filters, the calibration
// deciding what is undistorted, mapped depth traced back, and refused calls.
#include "TestLenses.h"
#include "refine/APIDepthRefine.h"

#include <gtest/gtest.h>
#include <memory>

#include <cstdlib>
#include <iterator>
#include <vector>

namespace {

struct Image16
{
    std::vector<uint16_t> pixels;
    AlgImage image;
    Image16(uint32_t width, uint32_t height, uint16_t value = 0) : pixels(size_t{width} * height, value)
    {
        image = AlgImage{pixels.data(), ALG_16UC1, width, height};
    }
    uint16_t &At(uint32_t x, uint32_t y) { return pixels[size_t{y} * image.width + x]; }
};

class DepthRefineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_owned.reset(Get_APIDepthRefine());
        m_refine = m_owned.get();
        ASSERT_NE(m_refine, nullptr);
    }

    std::unique_ptr<APIDepthRefine> m_owned;
    APIDepthRefine *m_refine = nullptr;
};

TEST_F(DepthRefineTest, EachSetterReachesItsFilterWithItsArgumentsInOrder)
{
    // The filters themselves are the chain's (its own tests); here, that the library's calls reach them.
    ASSERT_EQ(m_refine->SetDepthRange(2, 1000, 500), kRefineOk);
    Image16 range(3, 1);
    range.pixels = {1500, 400, 700};
    ASSERT_EQ(m_refine->PreFilterDepth(&range.image), kRefineOk);
    EXPECT_EQ(range.pixels, (std::vector<uint16_t>{0, 0, 700}));
    ASSERT_EQ(m_refine->SetOutofMaxRangeHandle(1), kRefineOk);
    EXPECT_EQ(m_refine->GetOutofMaxRangeHandle(), 1);
    range.pixels = {1500, 400, 700};
    ASSERT_EQ(m_refine->ProcessDepth(&range.image, false), kRefineOk);
    EXPECT_EQ(range.pixels, (std::vector<uint16_t>{1000, 0, 700}));
    ASSERT_EQ(m_refine->SetDepthRange(0, 0, 0), kRefineOk);

    // Threshold 50 mm, 4 frames: a 20 mm step moves a quarter of the way (swapped, it would restart).
    ASSERT_EQ(m_refine->SetTimeFilterEnabled(true, 50, 4, 0, 0), kRefineOk);
    ASSERT_EQ(m_refine->SetTimeFilterDepthEnabled(true), kRefineOk);
    Image16 first(4, 2, 1000);
    Image16 second(4, 2, 1020);
    ASSERT_EQ(m_refine->ProcessDepth(&first.image, false), kRefineOk);
    ASSERT_EQ(m_refine->ProcessDepth(&second.image, false), kRefineOk);
    EXPECT_EQ(second.pixels[0], 1005);
    Image16 kept(4, 2);
    ASSERT_EQ(m_refine->GetOnlyTimeFilterDepth(&kept.image), kRefineOk);
    EXPECT_EQ(kept.pixels, second.pixels);
    ASSERT_EQ(m_refine->SetTimeFilterEnabled(false, 50, 4, 0, 0), kRefineOk);

    // The smoothing switch is the spatial record's enable; the IR median runs with it.
    ASSERT_EQ(m_refine->SetSmoothingFilterEnabled(true), kRefineOk);
    TfSpatialFilterParams spatial{};
    ASSERT_EQ(m_refine->GetSpatialFilterParams(&spatial), kRefineOk);
    EXPECT_EQ(spatial.enable, 1);
    Image16 ir(5, 5, 400);
    ir.At(2, 2) = 4000;
    ASSERT_EQ(m_refine->FilterIrImage(&ir.image), kRefineOk);
    EXPECT_EQ(ir.At(2, 2), 400);

    // (The flying-pixel filter's settings are seen to reach it through the public API's geometry tests.)
}

TEST_F(DepthRefineTest, RefusesNullAndInconsistentImages)
{
    std::vector<uint16_t> data(16, 500);
    AlgImage good{data.data(), ALG_16UC1, 4, 4};
    AlgImage noData{nullptr, ALG_16UC1, 4, 4};
    AlgImage zeroWidth{data.data(), ALG_16UC1, 0, 4};
    AlgImage badType{data.data(), static_cast<ALG_ElemType>(7), 4, 4};
    AlgImage huge{data.data(), ALG_16UC1, 100000, 100000};
    AlgImage colour{data.data(), ALG_8UC3, 2, 2};
    for (AlgImage *bad : {static_cast<AlgImage *>(nullptr), &noData, &zeroWidth, &badType, &huge}) {
        AlgImage copy = bad != nullptr ? *bad : AlgImage{};
        AlgImage *arg = bad != nullptr ? &copy : nullptr;
        EXPECT_EQ(m_refine->PreFilterDepth(arg), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->PostFilterDepth(arg), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->ProcessDepth(arg, false), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->FilterIrImage(arg), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->Rotate(arg, 1), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->Mirror(arg, 1), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->Resize(arg, 2, 2, 64, 1), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->Crop(arg, 0, 0, 1, 1), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->GetOnlyTimeFilterDepth(arg), kRefineInvalidArgument);
    }
    // Depth filters want 16-bit depth; geometry wants codes and rectangles it knows.
    EXPECT_EQ(m_refine->ProcessDepth(&colour, false), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Rotate(&good, 3), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Rotate(&good, -255), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Mirror(&good, 2), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Resize(&good, 0, 2, sizeof(uint16_t) * 16, 1), kRefineInvalidArgument);
    // Growing past the caller's buffer is refused: 5 x 4 16-bit pixels do not fit in 16 pixels' room.
    EXPECT_EQ(m_refine->Resize(&good, 5, 4, sizeof(uint16_t) * 16, 1), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Crop(&good, 3, 0, 2, 1), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Crop(&good, 0, 0xFFFFFFFFu, 1, 2), kRefineInvalidArgument);
    EXPECT_EQ(good.width, 4u);
    EXPECT_EQ(data, std::vector<uint16_t>(16, 500));
    EXPECT_EQ(m_refine->GetSpatialFilterParams(nullptr), kRefineInvalidArgument);
    // A result that fits the buffer exactly is taken.
    EXPECT_EQ(m_refine->Resize(&good, 2, 2, sizeof(uint16_t) * 4, 1), kRefineOk);
    EXPECT_EQ(good.width, 2u);
}

/// A calibration: the ToF lens given, the colour camera at 1920x1080 with fx 1500 and no distortion,
/// 50 mm to the left of the ToF camera and not turned.
RefineCameraParams Calibration(const refine::LensModel &tof)
{
    RefineCameraParams p{};
    const double tofK[9] = {tof.pinhole.fx, 0, tof.pinhole.cx, 0, tof.pinhole.fy, tof.pinhole.cy, 0, 0, 1};
    const double tofD[8] = {tof.k1, tof.k2, tof.p1, tof.p2, tof.k3, tof.k4, tof.k5, tof.k6};
    const double colorK[9] = {1500, 0, 960, 0, 1500, 540, 0, 0, 1};
    std::copy(std::begin(tofK), std::end(tofK), p.tofIntrinsic);
    std::copy(std::begin(tofD), std::end(tofD), p.tofDistortion);
    std::copy(std::begin(colorK), std::end(colorK), p.colorIntrinsic);
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy(std::begin(identity), std::end(identity), p.rotation);
    p.translation[0] = 50.0;
    return p;
}

TEST_F(DepthRefineTest, WithoutACalibrationNothingIsMappedAndNothingClaimsSuccess)
{
    std::vector<uint16_t> data(640 * 480, 500);
    AlgImage d{data.data(), ALG_16UC1, 640, 480};
    std::vector<uint8_t> rgb(640 * 480 * 3, 77);
    AlgImage colour{rgb.data(), ALG_8UC3, 640, 480};
    TfVector2u16 point{7, 8};
    const int results[] = {
        m_refine->MapDepthToColor(&colour, &d, &d),
        m_refine->MapColorToDepth(&colour, &d, &colour),
        m_refine->MapIrToColor(&colour, &d, &d, &d),
        m_refine->MapDepthIrToColor(&colour, &d, &d, &d, &d),
        m_refine->GetMappedPointDepthToRGB(TfDepthVector3{320, 240, 1000}, {640, 480}, &point),
        m_refine->SetApplyRGBCorrectionEnabled(true)};
    for (size_t i = 0; i < std::size(results); ++i) {
        EXPECT_NE(results[i], kRefineOk) << "call " << i;
    }
    EXPECT_EQ(point.x + point.y, 0);
    // Switches may be set before the calibration comes; nothing is resampled without one.
    EXPECT_EQ(m_refine->SetApplyToFDistortionEnabled(true, 0), kRefineOk);
    EXPECT_EQ(m_refine->SetApplyRGBDistortionEnabled(true), kRefineOk);
    EXPECT_EQ(m_refine->UndistortTof(&d, nullptr, nullptr), kRefineOk);
    EXPECT_EQ(m_refine->ProcessColor(&colour), kRefineOk);
    EXPECT_EQ(data, std::vector<uint16_t>(640 * 480, 500));
    EXPECT_EQ(rgb, std::vector<uint8_t>(640 * 480 * 3, 77));
    EXPECT_EQ(m_refine->ProcessColor(&d), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->UndistortTof(nullptr, nullptr, nullptr), kRefineInvalidArgument);
}

TEST_F(DepthRefineTest, TheCalibrationDecidesWhatIsUndistorted)
{
    // (A calibration without distortion changes nothing: the public API's geometry tests see that.)
    Image16 image(640, 480);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = static_cast<uint16_t>(500 + i % 1000);
    }
    const std::vector<uint16_t> original = image.pixels;
    // The test lens: the intrinsics of the undistorted image, and the step applied only while on.
    const refine::LensModel lens = refine::testing::TestLens();
    ASSERT_EQ(m_refine->Init(Calibration(lens), ""), kRefineOk);
    const double coefficients[8] = {lens.k1, lens.k2, lens.p1, lens.p2, lens.k3, 0, 0, 0};
    double undistorted[9] = {520, 0, 320, 0, 520, 240, 0, 0, 1};
    ASSERT_EQ(m_refine->ComputeUndistortedIntrinsic(undistorted, coefficients, 640, 480), kRefineOk);
    EXPECT_LT(undistorted[0], 520.0); // barrel: the undistorted view is wider (the lens model's tests: how)
    ASSERT_EQ(m_refine->SetApplyToFDistortionEnabled(false, 0), kRefineOk);
    ASSERT_EQ(m_refine->UndistortTof(&image.image, nullptr, nullptr), kRefineOk);
    EXPECT_EQ(image.pixels, original);
    ASSERT_EQ(m_refine->SetApplyToFDistortionEnabled(true, 0), kRefineOk);
    ASSERT_EQ(m_refine->UndistortTof(&image.image, nullptr, nullptr), kRefineOk);
    EXPECT_NE(image.pixels, original);
    EXPECT_EQ(image.At(320, 240), original[240 * 640 + 320]); // the principal point stays

    // Coefficients the model refuses: -15, nothing changed, and the switch cannot be turned on.
    const double folding[8] = {-0.9, 0, 0, 0, 0, 0, 0, 0};
    double refused[9] = {300, 0, 320, 0, 300, 240, 0, 0, 1};
    EXPECT_EQ(m_refine->ComputeUndistortedIntrinsic(refused, folding, 640, 480), kRefineInvalidArgument);
    EXPECT_EQ(refused[0], 300.0);
    refine::LensModel bad = refine::LensModel{refine::Pinhole{300, 300, 320, 240}, -0.9};
    ASSERT_EQ(m_refine->Init(Calibration(bad), ""), kRefineOk);
    EXPECT_EQ(m_refine->SetApplyToFDistortionEnabled(true, 0), kRefineInvalidArgument);
}

TEST_F(DepthRefineTest, MappedDepthIsTracedBackIntoTheToFCamera)
{
    ASSERT_EQ(m_refine->Init(Calibration(refine::LensModel{refine::Pinhole{520, 520, 320, 240}}), ""),
              kRefineOk);
    // 640x480 colour: fx 666.67, principal point (320, 240). Column 420 at 1500 mm is x = 225 mm in the
    // colour camera, so 175 mm in the ToF camera 50 mm to its right; 0 and 65535 give no point.
    std::vector<uint16_t> depth(640 * 480, 0);
    depth[240 * 640 + 420] = 1500;
    depth[0] = 65535;
    std::vector<TfVector3f> points(depth.size(), TfVector3f{-1, -1, -1});
    ASSERT_EQ(m_refine->MappedDepthToPoints(depth.data(), 640 * 480, 640, 480, nullptr, points.data()),
              kRefineOk);
    EXPECT_NEAR(points[240 * 640 + 420].x, 100.0 / (2000.0 / 3.0) * 1500 - 50.0, 1e-3);
    EXPECT_NEAR(points[240 * 640 + 420].y, 0.0, 1e-3);
    EXPECT_NEAR(points[240 * 640 + 420].z, 1500.0, 1e-3);
    EXPECT_EQ(points[0].z, 0.0f);
    EXPECT_EQ(points[1].z, 0.0f);
    // An index outside the colour image gives no point.
    const int32_t outside[1] = {640 * 480};
    EXPECT_EQ(m_refine->MappedDepthToPoints(depth.data(), 1, 640, 480, outside, points.data()), kRefineOk);
    EXPECT_EQ(points[0].z, 0.0f);
}

} // namespace
