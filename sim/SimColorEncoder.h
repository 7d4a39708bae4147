// SPDX-License-Identifier: Apache-2.0
// The simulated colour sensor: the scene rendered through the colour camera of the calibration and
// encoded as the colour sub-packet the camera streams (JPEG at each lens size, or planar 4:2:0 YUV).
#pragma once

#include "Scene.h"
#include "SimLens.h"
#include "SimSettings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

/// Sub-packet type ids of the colour formats and what their payloads hold.
namespace sim_color {
constexpr uint8_t kJpeg1920x1080 = 0x31;
constexpr uint8_t kJpeg1280x720 = 0x32;
constexpr uint8_t kJpeg640x360 = 0x33;
constexpr uint8_t kJpeg640x480 = 0x34;
constexpr uint8_t kYuv640x480 = 0x35;
constexpr uint8_t kJpeg1600x1200 = 0x36;
constexpr uint8_t kJpeg800x600 = 0x37;
constexpr uint8_t kJpegOtherSize = 0x25;
/// The lens encoding that selects the uncompressed format at 640x480.
constexpr uint8_t kEncodeRaw = 0;
/// Y 640x480, then U 320x240, then V 320x240.
constexpr size_t kYuvPayloadBytes = 640 * 480 * 3 / 2;
constexpr size_t kExposureBytes = 4;
/// The camera refuses lens sizes beyond this many pixels rather than allocate without bound.
constexpr size_t kMaxPixels = 4096 * 3072;
/// The largest payload a 24-bit sub-packet length can announce.
constexpr size_t kMaxPayloadBytes = 0xFFFFFF;
constexpr int kJpegQuality = 90;
} // namespace sim_color

/// An 8-bit RGB colour.
struct SimRgb
{
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
};

/// The colour lens as the camera runs it.
struct SimColorLens
{
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t encodeType = 0;
};

/// Where each colour pixel's ray lands in the scene, kept only when asked for.
struct SimColorGeometryTruth
{
    std::vector<int16_t> object; // Scene::CastRay's index of the surface hit, -1 for none
    std::vector<float> depthMm;  // that surface's depth along the colour camera's axis, 0 for none
    /// 1 where the ToF camera sees the same surface point: it projects into the ToF image and nothing
    /// lies nearer on the way from the ToF centre to it (within kVisibilityEpsilonMm).
    std::vector<uint8_t> visibleFromTof;
};

/// What the colour sensor made of one frame. The images are shared between frames of an unchanged
/// scene, so that a truth costs no copy.
struct SimColorTruth
{
    uint64_t frameNumber = 0;
    uint8_t typeId = 0;
    int width = 0;
    int height = 0;
    /// Whether the payload ends with the 4-byte float exposure (JPEG types 0x31-0x34 and 0x35).
    bool hasExposure = false;
    float exposureSeconds = 0.0f; // the value sent, 0 when the format carries none
    size_t payloadBytes = 0;
    /// The image before compression, RGB888 row-major.
    std::shared_ptr<const std::vector<uint8_t>> rgb;
    /// For 0x35 only: the payload exactly as sent. Its last four bytes are the exposure value, written
    /// over the last four V samples, which therefore do not follow from `rgb`.
    std::shared_ptr<const std::vector<uint8_t>> yuv;
    /// Null unless geometry truth was asked for.
    std::shared_ptr<const SimColorGeometryTruth> geometry;
};

/// Renders and encodes colour frames. Not thread-safe: one encoder per stream.
class SimColorEncoder
{
public:
    SimColorEncoder();
    ~SimColorEncoder();
    SimColorEncoder(const SimColorEncoder &) = delete;
    SimColorEncoder &operator=(const SimColorEncoder &) = delete;

    /// The sub-packet type the camera sends for a lens.
    static uint8_t TypeIdFor(const SimColorLens &lens);
    static bool HasExposureTrailer(uint8_t typeId);

    /// The colour camera of `calibration` at the lens size. The calibration describes the colour image
    /// at colorCalibrationWidth x colorCalibrationHeight; a lens of another size sees the largest
    /// centred crop of that image with the lens's aspect ratio, (cw, ch) at (x0, y0), scaled uniformly
    /// by s = width / cw: fx' = fx s, fy' = fy s, cx' = (cx - x0) s, cy' = (cy - y0) s.
    static SimPinhole ColorCamera(const SimSettings &calibration, int width, int height);
    /// ColorCamera with the calibration's colour distortion, which scaling leaves as it is.
    static SimLens ColorLens(const SimSettings &calibration, int width, int height);
    /// The ToF camera of `calibration`: its intrinsics and distortion at the sensor's 640x480.
    static SimLens TofLens(const SimSettings &calibration);
    /// The scene as the colour camera sees it, RGB888: every object its own hue (SurfaceColor), the
    /// background kBackground. The colour camera sits where the calibration's ToF-to-colour rotation
    /// and translation put it: a ToF point X appears at R X + t in colour coordinates. Each pixel sees
    /// along the ray of ColorLens; `rays` is its RayTable() when the caller keeps one. With `geometry`
    /// the pixels' truth is filled too.
    static std::vector<uint8_t> Render(const Scene &scene, const SimSettings &calibration, int width,
                                       int height, SimColorGeometryTruth *geometry = nullptr,
                                       const std::vector<double> &rays = {});
    /// The colour of object `object` (Scene::CastRay's index) at a depth: the object's hue from a
    /// palette of eight, darkened linearly to half at kShadeDepthMm and beyond.
    static SimRgb SurfaceColor(int object, double depthMm);
    /// Planar Y, U, V (BT.601 studio range: Y 16-235, chroma 16-240, as the host converts it); each chroma
    /// sample from the mean colour of its 2x2 block.
    static std::vector<uint8_t> ToYuv420(const std::vector<uint8_t> &rgb, int width, int height);

    /// Appends the colour sub-packet for `lens` and fills `truth`, with its geometry when
    /// `geometryTruth`. False, with nothing appended and a log line, for a lens size the camera cannot
    /// send.
    bool Append(const Scene &scene, const SimSettings &calibration, const SimColorLens &lens,
                float exposureSeconds, std::vector<uint8_t> &out, SimColorTruth &truth,
                bool geometryTruth = false);

    static constexpr SimRgb kBackground{24, 24, 40};
    static constexpr double kShadeDepthMm = 10000.0;
    static constexpr double kVisibilityEpsilonMm = 1.0;

private:
    bool Compress(const std::vector<uint8_t> &rgb, int width, int height);
    /// The ray table of a distorted lens, kept while the lens stays the same; empty without distortion.
    const std::vector<double> &Rays(const SimLens &lens);

    SimLens m_raysLens;
    std::vector<double> m_rays;

    void *m_compressor = nullptr; // the TurboJPEG handle, created on first use
    std::vector<uint8_t> m_jpeg;
    size_t m_jpegBytes = 0;
};
