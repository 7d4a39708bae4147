// SPDX-License-Identifier: Apache-2.0
// The simulated colour sensor: ray casting through the colour camera, per-object colours, JPEG
// compression with TurboJPEG and the planar 4:2:0 format with its exposure trailer.
#include "SimColorEncoder.h"

#include "RawTofEncoder.h"
#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace {

constexpr SimRgb kPalette[] = {
    {230, 60, 50},  {60, 170, 70},  {50, 90, 220},  {240, 200, 40},
    {170, 70, 200}, {40, 200, 210}, {240, 140, 40}, {200, 200, 200},
};
constexpr size_t kPaletteSize = sizeof kPalette / sizeof kPalette[0];

uint8_t ToByte(double value)
{
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

} // namespace

SimColorEncoder::SimColorEncoder() = default;

SimColorEncoder::~SimColorEncoder()
{
    if (m_compressor != nullptr) {
        tjDestroy(static_cast<tjhandle>(m_compressor));
    }
}

uint8_t SimColorEncoder::TypeIdFor(const SimColorLens &lens)
{
    struct Row
    {
        uint16_t width;
        uint16_t height;
        uint8_t typeId;
    };
    static constexpr Row kSizes[] = {
        {1920, 1080, sim_color::kJpeg1920x1080}, {1280, 720, sim_color::kJpeg1280x720},
        {640, 360, sim_color::kJpeg640x360},     {640, 480, sim_color::kJpeg640x480},
        {1600, 1200, sim_color::kJpeg1600x1200}, {800, 600, sim_color::kJpeg800x600},
    };
    if (lens.width == 640 && lens.height == 480 && lens.encodeType == sim_color::kEncodeRaw) {
        return sim_color::kYuv640x480;
    }
    for (const Row &row : kSizes) {
        if (row.width == lens.width && row.height == lens.height) {
            return row.typeId;
        }
    }
    return sim_color::kJpegOtherSize;
}

bool SimColorEncoder::HasExposureTrailer(uint8_t typeId)
{
    return typeId >= sim_color::kJpeg1920x1080 && typeId <= sim_color::kYuv640x480;
}

SimPinhole SimColorEncoder::ColorCamera(const SimSettings &calibration, int width, int height)
{
    SimPinhole camera = SimPinhole::FromMatrix(calibration.colorIntrinsic, width, height);
    const uint64_t fullWidth = calibration.colorCalibrationWidth;
    const uint64_t fullHeight = calibration.colorCalibrationHeight;
    if (width <= 0 || height <= 0 || fullWidth == 0 || fullHeight == 0 ||
        (width == static_cast<int>(fullWidth) && height == static_cast<int>(fullHeight))) {
        return camera;
    }
    // The aspect ratios compared exactly, in integers.
    double cropWidth = static_cast<double>(fullWidth);
    double cropHeight = static_cast<double>(fullHeight);
    if (static_cast<uint64_t>(width) * fullHeight < static_cast<uint64_t>(height) * fullWidth) {
        cropWidth = static_cast<double>(fullHeight) * width / height; // narrower: the full height
    } else {
        cropHeight = static_cast<double>(fullWidth) * height / width; // wider or the same: the full width
    }
    const double x0 = (static_cast<double>(fullWidth) - cropWidth) / 2.0;
    const double y0 = (static_cast<double>(fullHeight) - cropHeight) / 2.0;
    const double scale = width / cropWidth;
    camera.fx *= scale;
    camera.fy *= scale;
    camera.cx = (camera.cx - x0) * scale;
    camera.cy = (camera.cy - y0) * scale;
    return camera;
}

SimLens SimColorEncoder::ColorLens(const SimSettings &calibration, int width, int height)
{
    SimLens lens;
    lens.pinhole = ColorCamera(calibration, width, height);
    lens.distortion = calibration.colorDistortion;
    return lens;
}

SimLens SimColorEncoder::TofLens(const SimSettings &calibration)
{
    return SimLens::FromCalibration(calibration.tofIntrinsic, calibration.tofDistortion, sim_tof::kWidth,
                                    sim_tof::kHeight);
}

const std::vector<double> &SimColorEncoder::Rays(const SimLens &lens)
{
    if (!lens.HasDistortion()) {
        m_rays.clear();
    } else if (m_rays.empty() || lens != m_raysLens) {
        m_rays = lens.RayTable();
        m_raysLens = lens;
    }
    return m_rays;
}

SimRgb SimColorEncoder::SurfaceColor(int object, double depthMm)
{
    const SimRgb base = kPalette[static_cast<size_t>(std::max(object, 0)) % kPaletteSize];
    const double shade = 1.0 - 0.5 * std::clamp(depthMm / kShadeDepthMm, 0.0, 1.0);
    return SimRgb{ToByte(base.r * shade), ToByte(base.g * shade), ToByte(base.b * shade)};
}

namespace {

/// Decides whether the ToF camera sees a point of the scene: inside its image and not hidden.
class TofVisibility
{
public:
    TofVisibility(const Scene &scene, const SimLens &tof) : m_scene(scene), m_tof(tof)
    {
        // Far outside the image a distortion polynomial can fold back into it: only rays no wider than
        // the image's corners count.
        const double w = tof.pinhole.width - 0.5;
        const double h = tof.pinhole.height - 0.5;
        for (const auto &corner : {std::make_pair(-0.5, -0.5), std::make_pair(w, -0.5),
                                   std::make_pair(-0.5, h), std::make_pair(w, h)}) {
            double x = 0.0;
            double y = 0.0;
            if (!tof.Ray(corner.first, corner.second, x, y)) {
                m_maxRadius2 = std::numeric_limits<double>::infinity();
                return;
            }
            m_maxRadius2 = std::max(m_maxRadius2, (x * x + y * y) * kRadiusMargin);
        }
    }

    bool Sees(const SimVector &point) const
    {
        if (!(point.z > 0.0)) {
            return false;
        }
        const double x = point.x / point.z;
        const double y = point.y / point.z;
        double u = 0.0;
        double v = 0.0;
        if (x * x + y * y > m_maxRadius2 || !m_tof.Project(x, y, u, v)) {
            return false;
        }
        const bool inside =
            u >= -0.5 && v >= -0.5 && u < m_tof.pinhole.width - 0.5 && v < m_tof.pinhole.height - 0.5;
        return inside && m_scene.IsVisibleFromOrigin(point, SimColorEncoder::kVisibilityEpsilonMm);
    }

private:
    static constexpr double kRadiusMargin = 1.1;
    const Scene &m_scene;
    const SimLens &m_tof;
    double m_maxRadius2 = 0.0;
};

} // namespace

std::vector<uint8_t> SimColorEncoder::Render(const Scene &scene, const SimSettings &calibration, int width,
                                             int height, SimColorGeometryTruth *geometry,
                                             const std::vector<double> &rays)
{
    std::vector<uint8_t> rgb;
    const SimLens lens = ColorLens(calibration, width, height);
    const SimPinhole &camera = lens.pinhole;
    if (width <= 0 || height <= 0 || camera.fx == 0.0 || camera.fy == 0.0) {
        return rgb;
    }
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    rgb.resize(pixels * 3);
    const bool distorted = lens.HasDistortion();
    std::vector<double> ownRays;
    if (distorted && rays.size() != 2 * pixels) {
        ownRays = lens.RayTable();
    }
    const std::vector<double> &table = ownRays.empty() ? rays : ownRays;
    const SimLens tofLens = TofLens(calibration);
    const TofVisibility tof(scene, tofLens);
    if (geometry != nullptr) {
        geometry->object.assign(pixels, -1);
        geometry->depthMm.assign(pixels, 0.0f);
        geometry->visibleFromTof.assign(pixels, 0);
    }
    // A colour point Xc = R Xt + t comes from Xt = R^T (Xc - t): the camera centre is -R^T t and a ray
    // d in colour coordinates runs along R^T d in ToF coordinates, with the colour depth as parameter.
    const std::array<double, 9> &r = calibration.rotation;
    const std::array<double, 3> &t = calibration.translationMm;
    const SimVector origin{-(r[0] * t[0] + r[3] * t[1] + r[6] * t[2]),
                           -(r[1] * t[0] + r[4] * t[1] + r[7] * t[2]),
                           -(r[2] * t[0] + r[5] * t[1] + r[8] * t[2])};
    uint8_t *pixel = rgb.data();
    size_t i = 0;
    for (int v = 0; v < height; ++v) {
        const double rowY = (v - camera.cy) / camera.fy;
        for (int u = 0; u < width; ++u, pixel += 3, ++i) {
            const double x = distorted ? table[2 * i] : (u - camera.cx) / camera.fx;
            const double y = distorted ? table[2 * i + 1] : rowY;
            const SimVector direction{r[0] * x + r[3] * y + r[6], r[1] * x + r[4] * y + r[7],
                                      r[2] * x + r[5] * y + r[8]};
            double depthMm = 0.0;
            int object = -1;
            const bool hit = !std::isnan(x) && scene.CastRay(origin, direction, depthMm, object);
            const SimRgb colour = hit ? SurfaceColor(object, depthMm) : kBackground;
            pixel[0] = colour.r;
            pixel[1] = colour.g;
            pixel[2] = colour.b;
            if (geometry != nullptr && hit) {
                geometry->object[i] = static_cast<int16_t>(object);
                geometry->depthMm[i] = static_cast<float>(depthMm);
                const SimVector point{origin.x + depthMm * direction.x, origin.y + depthMm * direction.y,
                                      origin.z + depthMm * direction.z};
                geometry->visibleFromTof[i] = tof.Sees(point) ? 1 : 0;
            }
        }
    }
    return rgb;
}

std::vector<uint8_t> SimColorEncoder::ToYuv420(const std::vector<uint8_t> &rgb, int width, int height)
{
    const size_t w = static_cast<size_t>(std::max(width, 0));
    const size_t h = static_cast<size_t>(std::max(height, 0));
    if (rgb.size() < w * h * 3) {
        return {};
    }
    const size_t chromaW = (w + 1) / 2;
    const size_t chromaH = (h + 1) / 2;
    std::vector<uint8_t> yuv(w * h + 2 * chromaW * chromaH);
    for (size_t i = 0; i < w * h; ++i) {
        const uint8_t *p = &rgb[i * 3];
        yuv[i] = ToByte(16.0 + 0.256788 * p[0] + 0.504129 * p[1] + 0.097906 * p[2]);
    }
    uint8_t *u = yuv.data() + w * h;
    uint8_t *v = u + chromaW * chromaH;
    for (size_t cy = 0; cy < chromaH; ++cy) {
        for (size_t cx = 0; cx < chromaW; ++cx) {
            double sum[3] = {0.0, 0.0, 0.0};
            int count = 0;
            for (size_t dy = 0; dy < 2 && 2 * cy + dy < h; ++dy) {
                for (size_t dx = 0; dx < 2 && 2 * cx + dx < w; ++dx) {
                    const uint8_t *p = &rgb[((2 * cy + dy) * w + 2 * cx + dx) * 3];
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                    ++count;
                }
            }
            const double red = sum[0] / count;
            const double green = sum[1] / count;
            const double blue = sum[2] / count;
            u[cy * chromaW + cx] = ToByte(128.0 - 0.148223 * red - 0.290993 * green + 0.439216 * blue);
            v[cy * chromaW + cx] = ToByte(128.0 + 0.439216 * red - 0.367788 * green - 0.071427 * blue);
        }
    }
    return yuv;
}

bool SimColorEncoder::Compress(const std::vector<uint8_t> &rgb, int width, int height)
{
    if (m_compressor == nullptr) {
        m_compressor = tjInitCompress();
        if (m_compressor == nullptr) {
            TFLOG("the JPEG compressor cannot be created: %s", tjGetErrorStr());
            return false;
        }
    }
    const unsigned long capacity = tjBufSize(width, height, TJSAMP_420);
    if (m_jpeg.size() < capacity) {
        m_jpeg.resize(capacity);
    }
    unsigned char *target = m_jpeg.data();
    unsigned long size = capacity;
    if (tjCompress2(static_cast<tjhandle>(m_compressor), rgb.data(), width, 0, height, TJPF_RGB, &target,
                    &size, TJSAMP_420, sim_color::kJpegQuality, TJFLAG_NOREALLOC) != 0) {
        TFLOG("JPEG compression of %dx%d failed: %s", width, height,
              tjGetErrorStr2(static_cast<tjhandle>(m_compressor)));
        return false;
    }
    m_jpegBytes = size;
    return true;
}

bool SimColorEncoder::Append(const Scene &scene, const SimSettings &calibration, const SimColorLens &lens,
                             float exposureSeconds, std::vector<uint8_t> &out, SimColorTruth &truth,
                             bool geometryTruth)
{
    const size_t pixels = static_cast<size_t>(lens.width) * lens.height;
    if (pixels == 0 || pixels > sim_color::kMaxPixels) {
        TFLOG("colour lens %ux%u cannot be streamed", lens.width, lens.height);
        return false;
    }
    const uint8_t typeId = TypeIdFor(lens);
    std::shared_ptr<SimColorGeometryTruth> geometry;
    if (geometryTruth) {
        geometry = std::make_shared<SimColorGeometryTruth>();
    }
    auto rgb = std::make_shared<std::vector<uint8_t>>(
        Render(scene, calibration, lens.width, lens.height, geometry.get(),
               Rays(ColorLens(calibration, lens.width, lens.height))));
    if (rgb->empty()) {
        TFLOG("colour lens %ux%u: the calibration gives no usable camera", lens.width, lens.height);
        return false;
    }
    const bool trailer = HasExposureTrailer(typeId);
    // The camera writes the exposure as a little-endian 32-bit float.
    static_assert(sizeof exposureSeconds == sim_color::kExposureBytes, "the exposure is a 32-bit float");
    uint32_t exposureBits = 0;
    std::memcpy(&exposureBits, &exposureSeconds, sizeof exposureBits);
    ByteWriter exposureWriter;
    exposureWriter.WriteU32Le(exposureBits);
    const std::vector<uint8_t> &exposure = exposureWriter.Bytes();
    std::shared_ptr<std::vector<uint8_t>> yuv;
    size_t payloadBytes = 0;
    if (typeId == sim_color::kYuv640x480) {
        yuv = std::make_shared<std::vector<uint8_t>>(ToYuv420(*rgb, lens.width, lens.height));
        std::copy(exposure.begin(), exposure.end(),
                  yuv->end() - static_cast<std::ptrdiff_t>(exposure.size()));
        payloadBytes = yuv->size();
    } else {
        if (!Compress(*rgb, lens.width, lens.height)) {
            return false;
        }
        payloadBytes = m_jpegBytes + (trailer ? exposure.size() : 0);
    }
    if (payloadBytes > sim_color::kMaxPayloadBytes) {
        TFLOG("colour frame of %zu bytes does not fit a sub-packet", payloadBytes);
        return false;
    }
    RawTofEncoder::AppendHeader(out, typeId, static_cast<uint32_t>(payloadBytes), 0);
    if (yuv) {
        out.insert(out.end(), yuv->begin(), yuv->end());
    } else {
        out.insert(out.end(), m_jpeg.begin(), m_jpeg.begin() + static_cast<std::ptrdiff_t>(m_jpegBytes));
        if (trailer) {
            out.insert(out.end(), exposure.begin(), exposure.end());
        }
    }
    truth.typeId = typeId;
    truth.width = lens.width;
    truth.height = lens.height;
    truth.hasExposure = trailer;
    truth.exposureSeconds = trailer ? exposureSeconds : 0.0f;
    truth.payloadBytes = payloadBytes;
    truth.rgb = std::move(rgb);
    truth.yuv = std::move(yuv);
    truth.geometry = std::move(geometry);
    return true;
}
