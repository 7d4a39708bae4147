// SPDX-License-Identifier: Apache-2.0
// Camera geometry end to end: simulated cameras with distorted lenses stream a known scene, and what the
// public API delivers (undistorted depth, point clouds, registration, mapped images, filtered depth) is
// held against the simulator's truth. Cameras on 127.0.0.140 to 127.0.0.149.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <tuple>

#include "CameraFixture.h"
#include "Scene.h"
#include "SimColorEncoder.h"
#include "SimLens.h"
#include "api/DeviceHandle.h"
#include "device/BaseDevice.h"
#include "pipeline/DepthRanges.h"
#include "session/BaseSession.h"

namespace {
using namespace orvtest;

/// Runs the tests in a fresh directory holding the camera's factory range tables, where the library
/// looks for them, so that the host decodes raw frames as a calibrated camera's.
class RangeTablesEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_previous = std::filesystem::current_path();
        const std::string config = m_dir.Path() + "/Config";
        ASSERT_TRUE(std::filesystem::create_directory(config));
        for (int range = 0; range <= 5; ++range) {
            const std::vector<int16_t> table =
                RawTofEncoder::RangeOffsetTable(range, DepthRanges::GetSonyMaxDepth(uint32_t(range)));
            WriteFile(config + "/rangeOffset_" + std::to_string(range) + ".bin",
                      std::string(reinterpret_cast<const char *>(table.data()), table.size() * 2));
        }
        std::filesystem::current_path(m_dir.Path());
    }
    void TearDown() override { std::filesystem::current_path(m_previous); }

private:
    TempDir m_dir;
    std::filesystem::path m_previous;
};

[[maybe_unused]] const ::testing::Environment *const g_home =
    ::testing::AddGlobalTestEnvironment(ApiLoopbackEnvironment());
[[maybe_unused]] const ::testing::Environment *const g_tables =
    ::testing::AddGlobalTestEnvironment(new RangeTablesEnvironment);

constexpr int kW = 640, kH = 480;
constexpr size_t kPixels = size_t{kW} * kH;
constexpr std::array<double, 8> kTestLens{-0.25, 0.08, 0.001, -0.0015, -0.01, 0.0, 0.0, 0.0};
constexpr std::array<double, 8> kRationalLens{0.3, -0.1, 0.0005, 0.001, 0.02, 0.45, -0.05, 0.01};
constexpr int kLaserC = 40;
constexpr uint32_t kReadyMappedColor = 8, kReadyMappedDepth = 16, kReadyMappedIr = 32;
constexpr TfFrameType kDepth = TF_FRAME_DEPTH, kIr = TF_FRAME_IR;
constexpr TfFrameType kMappedColor = TF_FRAME_COLOR_MAPPED_TO_DEPTH,
                      kMappedDepth = TF_FRAME_DEPTH_MAPPED_TO_COLOR, kMappedIr = TF_FRAME_IR_MAPPED_TO_COLOR;
constexpr int kNeighbours[] = {-kW - 1, -kW, -kW + 1, -1, 0, 1, kW - 1, kW, kW + 1};

// The scene's objects in Scene::CastRay's order: planes, boxes, spheres.
constexpr int16_t kWall = 0, kFloor = 1, kBox = 2, kSphere = 3;
constexpr double kWallZ = 2000.0, kFloorY = 600.0, kSphereRadius = 200.0;
const SimVector kSphereCentre{-300.0, -100.0, 1200.0};

Scene TestScene()
{
    Scene scene;
    scene.AddPlane(SimPlane{{0.0, 0.0, 1.0}, kWallZ, 0.9f});
    scene.AddPlane(SimPlane{{0.0, 1.0, 0.0}, kFloorY, 0.6f});
    scene.AddBox(SimBox{{200.0, -300.0, 1400.0}, {600.0, 100.0, 1700.0}, 0.7f});
    scene.AddSphere(SimSphere{kSphereCentre, kSphereRadius, 0.8f});
    return scene;
}

/// The frames of one read by type, pixels copied out of the library's slots (data point at the copies).
struct Images
{
    TfFrame frames[7]{};
    std::vector<uint8_t> bytes[7];
    const uint16_t *U16(int type) const { return reinterpret_cast<const uint16_t *>(bytes[type].data()); }
};

/// Whether the 3x3 (radius 1) or 5x5 (radius 2) neighbourhood of pixel i holds one object only.
bool SingleObject(const std::vector<int16_t> &object, size_t i, int radius = 1)
{
    const int u = static_cast<int>(i % kW), v = static_cast<int>(i / kW);
    bool single = object[i] >= 0 && u >= radius && v >= radius && u < kW - radius && v < kH - radius;
    for (int dv = -radius; single && dv <= radius; ++dv) {
        for (int du = -radius; single && du <= radius; ++du) {
            single = object[i + dv * kW + du] == object[i];
        }
    }
    return single;
}

/// Centroid distance in pixels between an object's truth mask and the pixels of `depth` nearer than
/// 1800 mm inside the truth mask's box grown by 4 pixels.
double CentroidError(const std::vector<int16_t> &object, const uint16_t *depth, int16_t id)
{
    int u0 = kW, v0 = kH, u1 = -1, v1 = -1;
    double tu = 0, tv = 0, tn = 0, du = 0, dv = 0, dn = 0;
    for (size_t i = 0; i < kPixels; ++i) {
        const int u = static_cast<int>(i % kW), v = static_cast<int>(i / kW);
        if (object[i] == id) {
            u0 = std::min(u0, u), v0 = std::min(v0, v), u1 = std::max(u1, u), v1 = std::max(v1, v);
            tu += u, tv += v, ++tn;
        }
    }
    for (size_t i = 0; i < kPixels; ++i) {
        const int u = static_cast<int>(i % kW), v = static_cast<int>(i / kW);
        if (u >= u0 - 4 && u <= u1 + 4 && v >= v0 - 4 && v <= v1 + 4 && depth[i] > 0 && depth[i] < 1800) {
            du += u, dv += v, ++dn;
        }
    }
    return tn == 0 || dn == 0 ? 1e9 : std::hypot(du / dn - tu / tn, dv / dn - tv / tn);
}

/// The fraction of single-surface pixels of a delivered 640x480 depth image within 2 mm plus half a
/// pixel's depth gradient of the truth rendered for its pixels.
double WithinFraction(const uint16_t *depth, const SimRendering &truth)
{
    size_t compared = 0, within = 0;
    const auto z = [&](size_t i) { return static_cast<double>(truth.depthMm[i]); };
    for (size_t i = 0; i < kPixels; ++i) {
        if (SingleObject(truth.object, i)) {
            const double gradient = std::fabs(z(i + 1) - z(i - 1)) / 2 + std::fabs(z(i + kW) - z(i - kW)) / 2;
            ++compared, within += std::fabs(depth[i] - z(i)) <= 2.0 + 0.5 * gradient ? 1 : 0;
        }
    }
    return compared == 0 ? 0.0 : double(within) / compared;
}

class GeometryTest : public CameraFixture
{
protected:
    /// A camera streaming the test scene as camera-computed depth (exact to the millimetre), noise off,
    /// with geometry truth, its calibration set by `calibrate`.
    SimCamera &AddGeometryCamera(const std::string &serial, unsigned hostByte,
                                 const std::function<void(SimSettings &)> &calibrate, int mixedSamples = 1)
    {
        SimCamera &camera = AddCamera(serial, hostByte);
        camera.UpdateSettings([&](SimSettings &s) {
            s.dataModes = {0, 1, 2, 3, 5, 9};
            s.dataMode = 3;
            s.depthRange = 2;
            s.lenses[2] = SimLensConfig{2, 1, 640, 480, 25, 1};
            calibrate(s);
            s.UpdateEpipolar();
        });
        RawTofEncoder::Options encoder = camera.Streamer().GetEncoderOptions();
        encoder.noiseSigma = 0.0;
        // Raw measurements fall short by the laser temperature's offset, which the host adds back.
        camera.Streamer().SetTemperatures(kLaserC, 38);
        encoder.temperatureOffsetMm = DepthRanges::GetTemperatureOffset(2, kLaserC);
        camera.Streamer().SetEncoderOptions(encoder);
        camera.Streamer().SetScene(TestScene());
        camera.Streamer().SetGeometryOptions(SimGeometryOptions{mixedSamples, false, true});
        return camera;
    }

    /// Opens a started camera with both undistortions as given.
    TfDeviceHandle OpenWith(const std::string &serial, bool tofUndistort, bool colorUndistort)
    {
        TfDeviceHandle device = Open(serial);
        if (device != nullptr) {
            EXPECT_EQ(TFCM_SetToFDistortionCorrectionEnabled(device, tofUndistort), 0);
            EXPECT_EQ(TFCM_SetColorDistortionCorrectionEnabled(device, colorUndistort), 0);
        }
        return device;
    }

    /// Skips `skip` reads (frames decoded before a switch), then reads until one holds `want`.
    static bool Grab(TfDeviceHandle device, uint32_t want, Images &out, int skip = 3)
    {
        for (int attempt = 0; attempt < skip + 40; ++attempt) {
            TfFrameReady ready{};
            uint32_t bits = 0;
            const bool read = TFCM_ReadNextFrame(device, &ready) == 0;
            std::memcpy(&bits, &ready, sizeof bits);
            if (!read || attempt < skip || (bits & want) != want) {
                continue;
            }
            out = Images{};
            for (int k = 0; k < 6; ++k) { // TfFrameReady's bits follow the frame types, but for type 2
                const auto type = static_cast<TfFrameType>(k < 2 ? k : k + 1);
                TfFrame &f = out.frames[type];
                const uint8_t *p = nullptr;
                if ((bits >> k & 1) != 0 && TFCM_GetFrame(device, type, &f) == 0 &&
                    (p = Val(f.pFrameData)) != nullptr) {
                    const uint32_t format = Val(f.pixelFormat);
                    const size_t bytes = format == TF_PIXEL_GRAY8 ? 1 : format < TF_PIXEL_GRAY8 ? 2 : 3;
                    out.bytes[type].assign(p, p + size_t{Val(f.width)} * Val(f.height) * bytes);
                    f.pFrameData = out.bytes[type].data();
                }
            }
            return true;
        }
        return false;
    }

    static TfCameraParameters Params(TfDeviceHandle device, TfSensorType sensor)
    {
        TfCameraParameters p{};
        EXPECT_EQ(TFCM_GetCameraParameters(device, sensor, &p), 0);
        return p;
    }

    static SimPinhole Pinhole(const TfCameraParameters &p, int width, int height)
    {
        return SimPinhole::FromMatrix({p.fx, 0.0, p.cx, 0.0, p.fy, p.cy, 0.0, 0.0, 1.0}, width, height);
    }

    /// The truth of every delivered depth pixel: through the reported pinhole when the ToF image is
    /// undistorted, else through the camera's distorted lens.
    static SimRendering TofTruth(TfDeviceHandle device, const SimSettings &s, bool undistorted)
    {
        if (undistorted) {
            return TestScene().RenderView(Pinhole(Params(device, TF_SENSOR_TOF), kW, kH), SimPose{}, 7495.0f);
        }
        return TestScene().Render(SimColorEncoder::TofLens(s), SimPose{}, SimRenderOptions{});
    }

    /// A delivered depth pixel (u, v) at depth z in colour coordinates; false if the ToF lens has no ray.
    static bool InColor(const SimSettings &s, const TfCameraParameters &tof, bool undistorted, double u,
                        double v, double z, SimVector &q)
    {
        double x = (u - tof.cx) / tof.fx, y = (v - tof.cy) / tof.fy;
        const bool ray = undistorted || SimColorEncoder::TofLens(s).Ray(u, v, x, y);
        const SimVector p{x * z, y * z, z};
        const auto &r = s.rotation;
        const auto &t = s.translationMm;
        q = {r[0] * p.x + r[1] * p.y + r[2] * p.z + t[0], r[3] * p.x + r[4] * p.y + r[5] * p.z + t[1],
             r[6] * p.x + r[7] * p.y + r[8] * p.z + t[2]};
        return ray;
    }

    /// The fractions of wall, floor and sphere pixels off silhouettes whose points (depth 0 left out) lie on
    /// the scene: the wall within 2 mm, the floor and the sphere's radius within 3 mm + 0.1 % of z.
    static std::array<double, 3> PointsOnTheScene(TfDeviceHandle device, const TfFrame &frame,
                                                  const std::vector<int16_t> &objects,
                                                  const std::vector<float> &depthMm)
    {
        std::vector<TfVector3f> points(kPixels);
        EXPECT_EQ(TFCM_ConvertDepthFrameToPointCloudVector(device, &frame, points.data()), 0);
        std::array<size_t, 4> compared{}, within{};
        for (size_t i = 0; i < kPixels; ++i) {
            const int16_t object = objects[i];
            const TfVector3f &p = points[i];
            if (!SingleObject(objects, i, 2) || object == kBox || p.z == 0.0f) {
                continue;
            }
            const double sphere =
                std::hypot(p.x - kSphereCentre.x, p.y - kSphereCentre.y, p.z - kSphereCentre.z);
            const double error = object == kWall    ? std::fabs(p.z - kWallZ)
                                 : object == kFloor ? std::fabs(p.y - kFloorY)
                                                    : std::fabs(sphere - kSphereRadius);
            ++compared[object];
            within[object] += error <= (object == kWall ? 2.0 : 3.0 + 0.001 * depthMm[i]) ? 1 : 0;
        }
        const auto fraction = [&](int o) { return compared[o] == 0 ? 0.0 : double(within[o]) / compared[o]; };
        return {fraction(kWall), fraction(kFloor), fraction(kSphere)};
    }
};

TEST_F(GeometryTest, UndistortedDepthAndItsPointCloudMatchTheIdealViewAndTheScene)
{
    const std::array<double, 8> lenses[] = {kTestLens, kRationalLens};
    for (unsigned row = 0; row < 2; ++row) {
        AddGeometryCamera("SNGEOU" + std::to_string(row), 141 + row,
                          [&](SimSettings &s) { s.tofDistortion = lenses[row]; });
    }
    StartCameras();
    std::array<TfDeviceHandle, 2> devices{};
    std::array<SimRendering, 2> truths;
    for (unsigned row = 0; row < 2; ++row) {
        SCOPED_TRACE(row == 0 ? "test lens" : "rational lens");
        const std::string serial = "SNGEOU" + std::to_string(row);
        TfDeviceHandle device = OpenWith(serial, true, false);
        ASSERT_NE(device, nullptr);
        Images images, distorted;
        ASSERT_TRUE(Grab(device, kReadyDepth, images));
        const uint16_t *depth = images.U16(kDepth);
        const SimSettings s = m_sim->FindCamera(serial)->Settings();
        const SimRendering truth = TofTruth(device, s, true), sensor = TofTruth(device, s, false);
        const double within = WithinFraction(depth, truth), box = CentroidError(truth.object, depth, kBox),
                     sphere = CentroidError(truth.object, depth, kSphere);
        // The frame conversion is the pinhole of the reported intrinsics, which describe undistorted frames.
        const std::array<double, 3> onScene =
            PointsOnTheScene(device, images.frames[kDepth], truth.object, truth.depthMm);
        const TfCameraParameters tof = Params(device, TF_SENSOR_TOF);
        const SimLens lens = SimColorEncoder::TofLens(s);
        // At least one border pixel of the undistorted image must reach the sensor's edge, none lie beyond
        // it. A nearest-neighbour step moves a straight silhouette along the pixel grid by up to half a
        // pixel, which the box's grid-aligned edges do not average out: it is held to where the step puts it.
        std::vector<int16_t> stepped(kPixels, -1);
        double nearestEdge = 1e9;
        int emptyBorder = 0; // border pixels 0 where the scene has depth
        for (size_t i = 0; i < kPixels; ++i) {
            const int u = int(i % kW), v = int(i / kW);
            const bool border = u % (kW - 1) == 0 || v % (kH - 1) == 0;
            double su = 0, sv = 0;
            ASSERT_TRUE(lens.Project((u - tof.cx) / tof.fx, (v - tof.cy) / tof.fy, su, sv) || !border);
            const long iu = std::lround(su), iv = std::lround(sv);
            stepped[i] = iu >= 0 && iv >= 0 && iu < kW && iv < kH ? sensor.object[size_t(iv) * kW + iu] : -1;
            emptyBorder += border && truth.depthMm[i] > 0 && depth[i] == 0;
            nearestEdge = border ? std::min({nearestEdge, su + 0.5, kW - 0.5 - su, sv + 0.5, kH - 0.5 - sv})
                                 : nearestEdge;
        }
        const double steppedBox = CentroidError(stepped, depth, kBox);
        EXPECT_GE(*std::min_element(onScene.begin(), onScene.end()), 0.99);
        EXPECT_GE(within, 0.995);
        EXPECT_LE(box, 0.5);
        EXPECT_LE(steppedBox, 0.1);
        EXPECT_LE(sphere, 0.25);
        EXPECT_EQ(emptyBorder, 0);
        EXPECT_GE(nearestEdge, -0.01);
        EXPECT_LE(nearestEdge, 1.0);
        // Frames left as the lens takes them convert through each pixel's own ray.
        ASSERT_EQ(TFCM_SetToFDistortionCorrectionEnabled(device, false), 0);
        ASSERT_TRUE(Grab(device, kReadyDepth, distorted));
        const std::array<double, 3> rays =
            PointsOnTheScene(device, distorted.frames[kDepth], sensor.object, sensor.depthMm);
        std::printf("[geometry] %s lens: %.3f %% within, centroids box %.3f (stepped %.3f) sphere %.3f px, "
                    "empty border %d, nearest edge %.2f px; on wall, floor, sphere %.3f %.3f %.3f %% "
                    "(distorted %.3f %.3f %.3f %%)\n",
                    row == 0 ? "test" : "rational", 100 * within, box, steppedBox, sphere, emptyBorder,
                    nearestEdge, 100 * onScene[0], 100 * onScene[1], 100 * onScene[2], 100 * rays[0],
                    100 * rays[1], 100 * rays[2]);
        EXPECT_GE(*std::min_element(rays.begin(), rays.end()), 0.99);
        ASSERT_EQ(TFCM_SetToFDistortionCorrectionEnabled(device, true), 0);
        devices[row] = device;
        truths[row] = truth;
    }
    // Both cameras read at once keep their own calibrations: every read comes in its camera's order and
    // within its own ideal view.
    std::array<double, 2> worst{1.0, 1.0};
    std::array<int, 2> sets{};
    auto reader = [&](unsigned row) {
        Images images;
        uint32_t last = 0;
        for (int i = 0; i < 8 && Grab(devices[row], kReadyDepth, images, i == 0 ? 3 : 0); ++i) {
            sets[row] += Val(images.frames[kDepth].frameIndex) > last ? 1 : 0;
            last = Val(images.frames[kDepth].frameIndex);
            worst[row] = std::min(worst[row], WithinFraction(images.U16(kDepth), truths[row]));
        }
    };
    std::thread other(reader, 1u);
    reader(0);
    other.join();
    std::printf("[geometry] both lenses at once: %.3f %% and %.3f %% within their own ideal views\n",
                100 * worst[0], 100 * worst[1]);
    EXPECT_EQ(sets, (std::array<int, 2>{8, 8}));
    EXPECT_GE(std::min(worst[0], worst[1]), 0.995);
}

/// The mapping checks' camera: the test lens on both sensors, the colour camera turned 2 degrees and
/// moved off the ToF camera, 640x480 colour.
class MappingTest : public GeometryTest
{
protected:
    void SetUp() override
    {
        GeometryTest::SetUp();
        m_camera = &AddGeometryCamera("SNGEOMAP", 145, [this](SimSettings &s) {
            s.dataMode = m_dataMode;
            s.tofDistortion = s.colorDistortion = kTestLens;
            s.SetExtrinsics(SimSettings::RotationFromDegrees(0.5, 2.0, -0.3), {-50.0, 1.5, 2.0});
        });
        StartCameras();
        m_device = OpenWith("SNGEOMAP", true, false);
        ASSERT_NE(m_device, nullptr);
        m_settings = m_camera->Settings();
    }

    std::shared_ptr<const SimColorGeometryTruth> ColorTruth()
    {
        std::shared_ptr<const SimColorTruth> truth = m_camera->Streamer().LastColorTruth();
        EXPECT_TRUE(truth != nullptr && truth->geometry != nullptr && truth->width == 640);
        return truth ? truth->geometry : nullptr;
    }

    uint8_t m_dataMode = 3;
    SimCamera *m_camera = nullptr;
    TfDeviceHandle m_device = nullptr;
    SimSettings m_settings;
};

/// 8-bit IR comes from the host's own decoding: the camera sends raw four-phase frames.
class MappedIrTest : public MappingTest
{
protected:
    MappedIrTest() { m_dataMode = 0; }
};

TEST_F(MappingTest, MappedPointsLandWhereTheColourLensSeesTheTruePoint)
{
    // Colour resolution codes and their sizes; 0xFF for a size without a code, which the camera is told.
    const std::tuple<uint32_t, uint16_t, uint16_t> sizes[] = {
        {0xFF, 1280, 720}, {TF_COLOR_640X480, 640, 480}, {TF_COLOR_1600X1200, 1600, 1200}};
    TfCameraParameters previous = Params(m_device, TF_SENSOR_COLOR);
    for (const auto &[code, width, height] : sizes) {
        if (code == 0xFF) {
            m_camera->UpdateSettings(
                [w = width, h = height](SimSettings &c) { c.lenses[2] = SimLensConfig{2, 1, w, h, 25, 1}; });
        }
        ASSERT_TRUE(code == 0xFF || TFCM_SetColorResolution(m_device, code) == 0);
        // The library learns the new colour size from the camera's frames in their own time: the
        // expectations need the intrinsics of the new size.
        ASSERT_TRUE(WaitUntil([&] {
            const TfCameraParameters now = Params(m_device, TF_SENSOR_COLOR);
            return std::memcmp(&now, &previous, sizeof now) != 0;
        }));
        previous = Params(m_device, TF_SENSOR_COLOR);
        for (int mode = 0; mode < 4; ++mode) {
            const bool tofUndistort = mode / 2 != 0, colorUndistort = mode % 2 != 0;
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " tof " +
                         std::to_string(tofUndistort) + " colour " + std::to_string(colorUndistort));
            ASSERT_EQ(TFCM_SetToFDistortionCorrectionEnabled(m_device, tofUndistort), 0);
            ASSERT_EQ(TFCM_SetColorDistortionCorrectionEnabled(m_device, colorUndistort), 0);
            const TfCameraParameters tof = Params(m_device, TF_SENSOR_TOF);
            const SimPinhole colorPinhole = Pinhole(Params(m_device, TF_SENSOR_COLOR), width, height);
            const SimLens colorLens = colorUndistort ? SimLens{colorPinhole, {}}
                                                     : SimColorEncoder::ColorLens(m_settings, width, height);
            double worst = 0;
            int inside = 0, wrong = 0;
            for (int k = 0; k < (kH / 40) * (kW / 40) * 3; ++k) { // every 40th pixel at three depths
                const int u = 40 * (k / 3 % (kW / 40)), v = 40 * (k / 3 / (kW / 40));
                const uint16_t z = std::array<uint16_t, 3>{700, 1500, 3500}[k % 3];
                SimVector q;
                TfVector2u16 point{};
                double cu = 0, cv = 0;
                ASSERT_TRUE(InColor(m_settings, tof, tofUndistort, u, v, z, q));
                ASSERT_TRUE(colorLens.Project(q.x / q.z, q.y / q.z, cu, cv));
                const int ret =
                    TFCM_GetTransformedPointDepthToColor(m_device, {u, v, z}, {width, height}, &point);
                const double margin = std::min({cu, cv, width - 1 - cu, height - 1 - cv}),
                             error = std::max(std::fabs(point.x - cu), std::fabs(point.y - cv));
                inside += margin >= 1.0, worst = margin >= 1.0 ? std::max(worst, error) : worst;
                wrong += margin >= 1.0 ? ret != 0 || error > 1.0 : margin < -1.0 && ret == 0;
            }
            std::printf("[geometry] registration %ux%u, undistortion ToF %d colour %d (fx %.2f): %d points, "
                        "worst %.3f px, wrong %d\n",
                        width, height, tofUndistort, colorUndistort, colorPinhole.fx, inside, worst, wrong);
            EXPECT_GT(inside, 100);
            EXPECT_EQ(wrong, 0) << "worst " << worst << " px";
        }
    }
}

// How depth mapped into colour meets the colour camera's truth (accuracy, occlusion, holes, its points)
// is the registration's own tests' matter; what reaches the application through the switch and the
// frames it pairs, the mapped IR test below checks pixel by pixel.
TEST_F(MappingTest, MappedColourShowsEachDepthPixelsObject)
{
    ASSERT_EQ(TFCM_SetTransformColorImgToDepthCameraEnabled(m_device, true), 0);
    Images images;
    ASSERT_TRUE(Grab(m_device, kReadyDepth | kReadyColor | kReadyMappedColor, images));
    ASSERT_EQ(images.bytes[kMappedColor].size(), kPixels * 3);
    const bool bgr = Val(images.frames[kMappedColor].pixelFormat) == TF_PIXEL_BGR888;
    const auto colorTruth = ColorTruth();
    ASSERT_NE(colorTruth, nullptr);
    const SimRendering truth = TofTruth(m_device, m_settings, true);
    const TfCameraParameters tof = Params(m_device, TF_SENSOR_TOF);
    const SimLens colorLens = SimColorEncoder::ColorLens(m_settings, kW, kH);
    size_t seen = 0, right = 0, hidden = 0, black = 0;
    for (size_t i = 0; i < kPixels; ++i) {
        SimVector q;
        double cu = 0, cv = 0;
        if (!SingleObject(truth.object, i, 2) || images.U16(kDepth)[i] == 0 ||
            !InColor(m_settings, tof, true, double(i % kW), double(i / kW), truth.depthMm[i], q) ||
            !colorLens.Project(q.x / q.z, q.y / q.z, cu, cv) || cu < 2 || cv < 2 || cu > kW - 3 ||
            cv > kH - 3) {
            continue;
        }
        const size_t c = size_t(std::lround(cv)) * kW + size_t(std::lround(cu));
        const uint8_t *rgb = &images.bytes[kMappedColor][3 * i];
        if (SingleObject(colorTruth->object, c) && colorTruth->object[c] == truth.object[i]) {
            const SimRgb want = SimColorEncoder::SurfaceColor(truth.object[i], q.z);
            const int error = std::max({std::abs(rgb[bgr ? 2 : 0] - want.r), std::abs(rgb[1] - want.g),
                                        std::abs(rgb[bgr ? 0 : 2] - want.b)});
            ++seen, right += error <= 24 ? 1 : 0;
        } else if (SingleObject(colorTruth->object, c) && colorTruth->depthMm[c] < q.z - 50) {
            ++hidden, black += (rgb[0] | rgb[1] | rgb[2]) == 0 ? 1 : 0;
        }
    }
    std::printf("[geometry] mapped colour: %.3f %% of %zu pixels the object's colour, %.3f %% of %zu hidden "
                "pixels black\n",
                100.0 * right / seen, seen, 100.0 * black / std::max<size_t>(hidden, 1), hidden);
    EXPECT_GE(right, 0.99 * seen);
    EXPECT_GT(hidden, 200u);
    EXPECT_GE(black, 0.99 * hidden);
}

TEST_F(MappedIrTest, MappedIrCarriesTheIrOfTheDepthPixelThatWon)
{
    ASSERT_EQ(TFCM_SetTransformDepthImgToColorCameraEnabled(m_device, true), 0);
    // The public interface has no switch of its own for IR mapped to colour: the session's is used.
    BaseSession *session = m_device->pDevice->GetSession(0);
    ASSERT_NE(session, nullptr);
    ASSERT_EQ(session->SetTransformIRImgToColorCameraEnabled(true), 0);
    for (const TfPixelFormat format : {TF_PIXEL_GRAY16, TF_PIXEL_GRAY8}) {
        SCOPED_TRACE(format == TF_PIXEL_GRAY8 ? "8-bit IR" : "16-bit IR");
        ASSERT_EQ(TFCM_SetIRPixelFormat(m_device, format), 0);
        Images images;
        ASSERT_TRUE(Grab(m_device, kReadyDepth | kReadyIr | kReadyMappedDepth | kReadyMappedIr, images));
        ASSERT_EQ(images.bytes[kMappedIr].size(), 2 * kPixels);
        ASSERT_EQ(images.bytes[kIr].size(), (format == TF_PIXEL_GRAY8 ? 1 : 2) * kPixels)
            << "IR of the format";
        EXPECT_EQ(Val(images.frames[kMappedIr].pixelFormat), uint32_t{TF_PIXEL_GRAY16});
        const uint16_t *depth = images.U16(kDepth), *mz = images.U16(kMappedDepth),
                       *mir = images.U16(kMappedIr);
        // Each depth pixel lands where the point mapping puts it, with its colour-camera depth and its IR
        // (8-bit widened). A mapped pixel must carry the IR of one landing within a pixel at the depth it
        // shows.
        const TfCameraParameters tof = Params(m_device, TF_SENSOR_TOF);
        std::vector<std::vector<std::pair<double, uint16_t>>> landings(kPixels); // colour z and IR
        for (size_t i = 0; i < kPixels; ++i) {
            TfVector2u16 c{};
            SimVector q;
            const uint16_t z = depth[i];
            if (z != 0 && z != 65535 &&
                TFCM_GetTransformedPointDepthToColor(m_device, {int(i % kW), int(i / kW), z}, {kW, kH}, &c) ==
                    0 &&
                InColor(m_settings, tof, true, double(i % kW), double(i / kW), z, q)) {
                landings[size_t{c.y} * kW + c.x].push_back(
                    {q.z, format == TF_PIXEL_GRAY8 ? images.bytes[kIr][i] * 16 : images.U16(kIr)[i]});
            }
        }
        size_t compared = 0, exact = 0, cracks = 0;
        for (size_t at = kW + 1; at < kPixels - kW - 1; ++at) {
            bool candidate = false, match = false;
            for (const int d : kNeighbours) {
                for (const auto &[zc, ir] : landings[at + d]) {
                    if (mz[at] != 0 && std::fabs(mz[at] - zc) <= 1.0) {
                        candidate = true, match = match || ir == mir[at];
                    }
                }
            }
            // A sub-pixel crack closed from two neighbours carries their mean, not a pixel's own IR.
            const auto crack = [&](int reach) {
                const auto mean = [](uint32_t a, uint32_t b) { return (a + b + 1) / 2; };
                return mz[at] == mean(mz[at - reach], mz[at + reach]) &&
                       mir[at] == mean(mir[at - reach], mir[at + reach]);
            };
            if (candidate && !match && (crack(1) || crack(kW))) {
                ++cracks;
            } else {
                compared += candidate ? 1 : 0, exact += match ? 1 : 0;
            }
        }
        std::printf(
            "[geometry] %d-bit IR mapped to colour: %zu of %zu won pixels exact (%zu closed cracks)\n",
            format == TF_PIXEL_GRAY8 ? 8 : 16, exact, compared, cracks);
        EXPECT_GT(compared, kPixels / 4);
        EXPECT_EQ(exact, compared);
    }
}

TEST_F(GeometryTest, FlyingPixelsOfMixedEdgesAreRemovedAndTheFloorKept)
{
    constexpr int kSamples = 4;
    // The host's filters run on depth it decodes itself: the camera sends raw four-phase frames.
    SimCamera &camera = AddGeometryCamera(
        "SNGEOFLY", 146, [](SimSettings &s) { s.dataMode = 0; }, kSamples);
    StartCameras();
    TfDeviceHandle device = OpenWith("SNGEOFLY", false, false);
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(TFCM_SetFlyingPixelFilterParams(device, TfFlyingPixelFilterParams{0, 1}), 0);
    Images images;
    ASSERT_TRUE(Grab(device, kReadyDepth, images));
    const uint16_t *depth = images.U16(kDepth);
    std::shared_ptr<const SimTofTruth> sent = camera.Streamer().LastGroundTruth();
    ASSERT_TRUE(sent != nullptr && sent->phaseRad.size() == kPixels);
    SimRenderOptions options;
    options.samplesPerAxis = kSamples;
    const SimRendering samples =
        TestScene().Render(SimColorEncoder::TofLens(camera.Settings()), SimPose{}, options);
    size_t flying = 0, removed = 0, good = 0, lost = 0, farFloor = 0, farFloorKept = 0;
    for (size_t i = 0; i < kPixels; ++i) {
        // What the pixel measures: its mixed phase (within the wrap distance) plus the host's temperature
        // offset.
        const double measured =
            sent->amplitude[i] > 0 ? sent->phaseRad[i] * sent->mmPerRadian + sent->temperatureOffsetMm : 0.0;
        if (measured == 0) {
            continue;
        }
        const float *d = &samples.sampleDepthMm[i * kSamples * kSamples], *end = d + kSamples * kSamples;
        const auto [low, high] = std::minmax_element(d, end);
        double nearest = 1e9;
        std::for_each(d, end, [&](float z) { nearest = std::min(nearest, std::fabs(z - measured)); });
        // Flying: farther from every surface the pixel sees than the filter's default (100 mm at 1 m).
        if (nearest > 0.1 * measured) {
            ++flying, removed += depth[i] == 0 ? 1 : 0;
        } else if (*high - *low <= 0.01 * measured) {
            ++good, lost += depth[i] == 0 ? 1 : 0;
            if (samples.object[i] == kFloor && measured > 1800) {
                ++farFloor, farFloorKept += depth[i] != 0 ? 1 : 0;
            }
        }
    }
    std::printf("[geometry] flying pixels: %zu of %zu removed, %zu of %zu good pixels lost, far floor %zu of "
                "%zu kept\n",
                removed, flying, lost, good, farFloorKept, farFloor);
    EXPECT_GT(flying, 200u);
    EXPECT_GE(removed, 0.98 * flying);
    EXPECT_LE(lost, 0.01 * good);
    EXPECT_GT(farFloor, 1000u);
    EXPECT_GE(farFloorKept, 0.99 * farFloor);
}

TEST_F(MappingTest, ConversionsRacingADistortionToggleStayClean)
{
    std::atomic<bool> done{false};
    std::atomic<int> toggles{0}, progress{0};
    // One toggle per batch of conversions, so that the two threads meet without one spinning.
    std::thread toggler([&] {
        for (int i = 0; !done.load(); ++i) {
            EXPECT_EQ(TFCM_SetToFDistortionCorrectionEnabled(m_device, (i & 1) != 0), 0);
            EXPECT_EQ(TFCM_SetColorDistortionCorrectionEnabled(m_device, (i & 2) != 0), 0);
            ++toggles;
            const int seen = progress.load();
            WaitUntil([&] { return done.load() || progress.load() != seen; }, 2000);
        }
    });
    std::vector<TfVector3f> points(kPixels);
    int converted = 0, mapped = 0, bad = 0;
    for (Images images; converted < 20 && Grab(m_device, kReadyDepth, images, 0);) {
        bad += TFCM_ConvertDepthFrameToPointCloudVector(m_device, &images.frames[kDepth], points.data()) != 0;
        ++converted, ++progress;
        for (size_t i = 0; i < kPixels; i += 97) {
            bad += !std::isfinite(points[i].x) || !std::isfinite(points[i].z);
            TfVector2u16 c{};
            const TfDepthVector3 p{int(i % kW), int(i / kW), images.U16(kDepth)[i]};
            const int ret = TFCM_GetTransformedPointDepthToColor(m_device, p, {kW, kH}, &c);
            mapped += ret == 0;
            bad += (ret != 0 && ret != TF_ERROR_INVALID_ARGUMENT) || (ret == 0 && (c.x >= kW || c.y >= kH));
        }
    }
    done = true;
    toggler.join();
    std::printf("[geometry] racing: %d frames converted, %d points mapped, %d toggles\n", converted, mapped,
                toggles.load());
    EXPECT_EQ(converted, 20);
    EXPECT_GT(mapped, 1000);
    EXPECT_GT(toggles.load(), 10);
    EXPECT_EQ(bad, 0);
}

} // namespace
