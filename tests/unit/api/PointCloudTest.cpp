// SPDX-License-Identifier: Apache-2.0
// Tests of the point conversions, the frame conversion and the camera parameters.
#include <cmath>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "OpenedDeviceTest.h"
#include "api/PointCloud.h"
#include "refine/APIDepthRefine.h"

using namespace orvtest;

namespace {
TfCameraParameters Pinhole500()
{
    TfCameraParameters params{};
    params.fx = 500.0;
    params.fy = 500.0;
    params.cx = 320.0;
    params.cy = 240.0;
    return params;
}

void ExpectPoint(const TfVector3f &p, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.z, z);
}

std::shared_ptr<const DepthWorldTable> TableFor(double fx, double fy, double cx, double cy)
{
    auto table = std::make_shared<DepthWorldTable>();
    for (int u = 0; u < kDepthTableWidth; ++u) {
        table->columnX.push_back((u - cx) / fx);
    }
    for (int v = 0; v < kDepthTableHeight; ++v) {
        table->rowY.push_back((v - cy) / fy);
    }
    return table;
}

const TfVector3f kSentinel{-7.0f, -7.0f, -7.0f};
} // namespace

TEST(PointConversion, DepthPixelsToPointsAndBack)
{
    TfCameraParameters params = Pinhole500();
    const TfDepthVector3 pixels[] = {{320, 240, 1000}, {420, 240, 1000}, {100, 40, 0}};
    TfVector3f points[3];
    ASSERT_EQ(TFCM_ConvertDepthToPointCloud(nullptr, pixels, points, 3, &params), 0);
    ExpectPoint(points[0], 0.0f, 0.0f, 1000.0f);
    ExpectPoint(points[1], 200.0f, 0.0f, 1000.0f);
    ExpectPoint(points[2], 0.0f, 0.0f, 0.0f);

    // Back: truncated toward zero (columns 100.9 and -0.5 for x / z = -0.4382 and -0.641, depth 1000.9);
    // a coordinate without a pixel gives zero, and one far outside is clamped, never undefined.
    const std::pair<TfVector3f, TfDepthVector3> rows[] = {
        {{200.0f, 0.0f, 1000.0f}, {420, 240, 1000}}, {{-438.2f, 0.0f, 1000.0f}, {100, 240, 1000}},
        {{-641.0f, 0.0f, 1000.0f}, {0, 240, 1000}},  {{0.0f, 0.0f, 1000.9f}, {320, 240, 1000}},
        {{10.0f, 20.0f, 0.0f}, {0, 0, 0}},           {{1e30f, -1e30f, 1.0f}, {INT32_MAX, INT32_MIN, 1}},
        {{NAN, 0.0f, 1000.0f}, {0, 240, 1000}}};
    for (const auto &[point, want] : rows) {
        TfDepthVector3 pixel;
        std::memset(&pixel, 0x5A, sizeof(pixel));
        ASSERT_EQ(TFCM_ConvertPointCloudToDepth(nullptr, &point, &pixel, 1, &params), 0);
        EXPECT_EQ(Val(pixel.depthX), Val(want.depthX)) << point.x << " " << point.y << " " << point.z;
        EXPECT_EQ(Val(pixel.depthY), Val(want.depthY)) << point.x << " " << point.y << " " << point.z;
        EXPECT_EQ(Val(pixel.depthZ), Val(want.depthZ)) << point.x << " " << point.y << " " << point.z;
    }
}

class FrameConversion : public OpenedDeviceTest
{
protected:
    void SetUp() override
    {
        OpenedDeviceTest::SetUp();
        m_session->m_table = TableFor(500.0, 500.0, 320.0, 240.0);
    }

    /// A depth frame of the given size; `m_depth` holds its pixels.
    TfFrame MakeFrame(uint16_t width, uint16_t height)
    {
        m_depth.assign(static_cast<size_t>(width) * height, 0);
        TfFrame frame{};
        frame.frameType = TF_FRAME_DEPTH;
        frame.width = width;
        frame.height = height;
        frame.pFrameData = reinterpret_cast<uint8_t *>(m_depth.data());
        frame.dataLen = static_cast<uint32_t>(m_depth.size() * sizeof(uint16_t));
        return frame;
    }

    std::vector<uint16_t> m_depth;
};

TEST_F(FrameConversion, PointsAreBitForBitTheRayTimesTheDepthInFullAndCroppedFrames)
{
    // Every depth value of the sensor's range, on both sides of the principal point: each coordinate is
    // the double product rounded once to float, exactly; invalid depth gives a zero point. A cropped frame
    // is the centre of the sensor image: its row r is sensor row r + offset.
    for (const uint16_t height : {uint16_t{480}, uint16_t{360}}) {
        SCOPED_TRACE(height);
        const size_t offset = (480 - height) / 2;
        TfFrame frame = MakeFrame(640, height);
        for (size_t i = 0; i < m_depth.size(); ++i) {
            m_depth[i] = static_cast<uint16_t>((i * 2654435761u) >> 16);
        }
        m_depth[5] = 0;
        m_depth[6] = 65535;
        std::vector<TfVector3f> points(m_depth.size() + 1, kSentinel);
        ASSERT_EQ(TFCM_ConvertDepthFrameToPointCloudVector(m_handle, &frame, points.data()), 0);
        size_t differing = 0;
        for (size_t i = 0; i < m_depth.size(); ++i) {
            const uint16_t d = m_depth[i];
            const TfVector3f want =
                d != 0 && d != 65535
                    ? TfVector3f{static_cast<float>(m_session->m_table->columnX[i % 640] * d),
                                 static_cast<float>(m_session->m_table->rowY[i / 640 + offset] * d),
                                 static_cast<float>(d)}
                    : TfVector3f{0.0f, 0.0f, 0.0f};
            differing += std::memcmp(&want, &points[i], sizeof(want)) != 0;
        }
        EXPECT_EQ(differing, 0u);
        ExpectPoint(points.back(), kSentinel.x, kSentinel.y, kSentinel.z); // nothing past the frame's points
    }
}

TEST_F(FrameConversion, TurnedAndMirroredFramesUseTheirPixelsRays)
{
    // Delivered mirrored left-right: delivered column 0 is sensor column 639. Turned clockwise: the
    // delivered frame is 480 x 640 and its top-left pixel is sensor pixel (0, 479).
    TfFrame frame = MakeFrame(640, 480);
    m_depth[0] = 1000;
    std::vector<TfVector3f> points(640 * 480);
    m_session->m_appliedMirror = 1;
    ASSERT_EQ(TFCM_ConvertDepthFrameToPointCloudVector(m_handle, &frame, points.data()), 0);
    ExpectPoint(points[0], (639 - 320) / 500.0f * 1000, -240 / 500.0f * 1000, 1000.0f);
    m_session->m_appliedMirror = -255;
    m_session->m_appliedRotation = 0;
    TfFrame turned = MakeFrame(480, 640);
    m_depth[0] = 1000;
    ASSERT_EQ(TFCM_ConvertDepthFrameToPointCloudVector(m_handle, &turned, points.data()), 0);
    ExpectPoint(points[0], -320 / 500.0f * 1000, (479 - 240) / 500.0f * 1000, 1000.0f);
    // A turned frame whose size fits no sensor image is refused.
    TfFrame wrong = MakeFrame(640, 480);
    EXPECT_EQ(TFCM_ConvertDepthFrameToPointCloudVector(m_handle, &wrong, points.data()),
              TF_ERROR_INVALID_ARGUMENT);
}

TEST(DeliveredLayout, EveryTurnAndMirrorLeadsBackToTheSourcePixel)
{
    // The delivery's own turn and mirror of an image of distinct values, traced back pixel by pixel.
    const std::unique_ptr<APIDepthRefine> refine(Get_APIDepthRefine());
    constexpr uint32_t kWidth = 6;
    constexpr uint32_t kHeight = 4;
    for (const int rotation : {-255, 0, 1, 2}) {
        for (const int mirror : {-255, 1, 2, 3}) {
            SCOPED_TRACE(::testing::Message() << "rotation " << rotation << " mirror " << mirror);
            std::vector<uint16_t> source(kWidth * kHeight);
            for (size_t i = 0; i < source.size(); ++i) {
                source[i] = static_cast<uint16_t>(i);
            }
            std::vector<uint16_t> delivered = source;
            AlgImage image{delivered.data(), ALG_16UC1, kWidth, kHeight};
            if (rotation >= 0) {
                ASSERT_EQ(refine->Rotate(&image, rotation), kRefineOk);
            }
            if (mirror > 0) {
                static constexpr int kMirrorCode[] = {0, 1, 0, -1};
                ASSERT_EQ(refine->Mirror(&image, kMirrorCode[mirror]), kRefineOk);
            }
            uint32_t width = 0;
            uint32_t height = 0;
            std::vector<int32_t> indices;
            SourceIndices(image.width, image.height, DeliveredLayout{rotation, mirror}, width, height,
                          indices);
            EXPECT_EQ(width, kWidth);
            EXPECT_EQ(height, kHeight);
            for (size_t i = 0; i < delivered.size(); ++i) {
                ASSERT_EQ(source[static_cast<size_t>(indices[i])], delivered[i]) << i;
            }
        }
    }
}

TEST_F(FrameConversion, RefusedFrames)
{
    std::vector<TfVector3f> points(641 * 480);
    const auto convert = [&](TfDeviceHandle device, const TfFrame *frame, bool withPoints = true) {
        return TFCM_ConvertDepthFrameToPointCloudVector(device, frame, withPoints ? points.data() : nullptr);
    };
    TfFrame wide = MakeFrame(641, 480);
    EXPECT_EQ(convert(m_handle, &wide), TF_ERROR_INVALID_ARGUMENT);
    TfFrame frame = MakeFrame(640, 480), noData = frame, shortData = frame; // (wide's pixels are gone now)
    noData.pFrameData = nullptr;
    shortData.dataLen = 640 * 480 * 2 - 1;
    EXPECT_EQ(convert(m_handle, &frame, false), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(convert(m_handle, nullptr), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(convert(nullptr, &frame), TF_ERROR_INVALID_HANDLE);
    EXPECT_EQ(convert(nullptr, &noData), TF_ERROR_NO_FRAME_DATA);
    EXPECT_EQ(convert(m_handle, &shortData), TF_ERROR_INVALID_ARGUMENT);
    m_session->m_table.reset();
    EXPECT_EQ(convert(m_handle, &frame), TF_ERROR_INVALID_ARGUMENT);
}

using CameraParameters = OpenedDeviceTest;

TEST_F(CameraParameters, ColorIntrinsicsFollowTheColorResolution)
{
    const double intrinsic[9] = {1500.0, 0.0, 960.0, 0.0, 1500.0, 540.0, 0.0, 0.0, 1.0};
    std::memcpy(m_session->m_intrinsic[kSensorColor], intrinsic, sizeof(intrinsic));
    std::memcpy(m_session->m_intrinsic[kSensorTof], intrinsic, sizeof(intrinsic));
    m_session->m_distortion[kSensorColor][0] = 0.25;
    m_session->m_distortion[kSensorColor][7] = -0.5;

    // The crop-and-scale rule is the colour geometry's (its own tests): here, that the lens's size reaches
    // it, with or without a resolution code.
    const std::tuple<uint16_t, uint16_t, double, double, double> rows[] = {
        {640, 480, 2000.0 / 3.0, 320.0, 240.0}, {1600, 1200, 15000.0 / 9.0, 800.0, 600.0}};
    for (const auto &[width, height, fx, cx, cy] : rows) {
        m_session->m_lens.width = width;
        m_session->m_lens.height = height;
        SCOPED_TRACE(::testing::Message() << width << "x" << height);
        TfCameraParameters params{};
        ASSERT_EQ(TFCM_GetCameraParameters(m_handle, TF_SENSOR_COLOR, &params), 0);
        EXPECT_NEAR(params.fx, fx, 1e-9);
        EXPECT_NEAR(params.fy, fx, 1e-9);
        EXPECT_NEAR(params.cx, cx, 1e-9);
        EXPECT_NEAR(params.cy, cy, 1e-9);
        EXPECT_EQ(params.k1, 0.25);
        EXPECT_EQ(params.k6, -0.5);
    }

    // The ToF intrinsics are never scaled, and a failed resolution query scales nothing.
    TfCameraParameters params{};
    m_session->m_lens.width = 640;
    m_session->m_lens.height = 480;
    ASSERT_EQ(TFCM_GetCameraParameters(m_handle, TF_SENSOR_TOF, &params), 0);
    EXPECT_EQ(params.fx, 1500.0);
    m_session->m_results["GetLens"] = -104;
    ASSERT_EQ(TFCM_GetCameraParameters(m_handle, TF_SENSOR_COLOR, &params), 0);
    EXPECT_EQ(params.cx, 960.0);
}
