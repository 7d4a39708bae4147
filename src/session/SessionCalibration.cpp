// SPDX-License-Identifier: Apache-2.0
// SessionCalibration: the calibration block's arrival, the undistorted intrinsics and the depth-to-world
// table.
#include "session/SessionCalibration.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <thread>

#include "pipeline/ImageProc.h"
#include "refine/ColorGeometry.h"
#include "runtime/LogCustom.h"
#include "session/PipelineForwarder.h"
#include "session/SessionGuards.h"

namespace {
/// The undistorted image sizes the intrinsics are computed for.
constexpr uint16_t kTofImageWidth = 640;
constexpr uint16_t kTofImageHeight = 480;
static_assert(kTofImageWidth == kDepthTableWidth && kTofImageHeight == kDepthTableHeight,
              "the depth-to-world table covers the undistorted ToF image");
/// No lens has a distortion coefficient beyond these magnitudes (other than zero); smaller ones would
/// only turn the inverse's arithmetic subnormal.
constexpr double kMaxDistortionCoefficient = 1e4;
constexpr double kMinDistortionCoefficient = 1e-100;

/// Whether the ToF lens can be inverted pixel by pixel in reasonable time: focal lengths and
/// coefficients are ordinary numbers (zero, or normal and within bounds). A garbled calibration block
/// (subnormal or huge coefficients) would otherwise keep the inverse iterating for seconds on every pixel.
bool IsInvertibleLens(const double *intrinsic, const std::array<double, 8> &distortion)
{
    const auto ordinary = [](double v, double bound) {
        return v == 0.0 ||
               (std::isnormal(v) && std::fabs(v) >= kMinDistortionCoefficient && std::fabs(v) <= bound);
    };
    return std::isnormal(intrinsic[0]) && std::isnormal(intrinsic[4]) && std::isfinite(intrinsic[2]) &&
           std::isfinite(intrinsic[5]) && std::all_of(distortion.begin(), distortion.end(), [&](double c) {
               return ordinary(c, kMaxDistortionCoefficient);
           });
}
} // namespace

bool SessionCalibration::AwaitBlock(ImageProc &pipeline, InitCameraParams &block, int &waitedMs)
{
    // The looks follow a fixed schedule from the first one, so late wake-ups of a busy machine do not add
    // up: the k-th look happens k x 10 ms after the first, and the time waited says when.
    const auto firstLook = std::chrono::steady_clock::now();
    for (int failed = 0; failed < kBlockTries; ++failed) {
        if (pipeline.GetDeviceInitParams(block)) {
            waitedMs = failed * static_cast<int>(kBlockPauseMs);
            return true;
        }
        std::this_thread::sleep_until(firstLook + std::chrono::milliseconds((failed + 1) * kBlockPauseMs));
    }
    if (pipeline.GetDeviceInitParams(block)) {
        waitedMs = kBlockTries * static_cast<int>(kBlockPauseMs);
        return true;
    }
    return false;
}

void SessionCalibration::TakeBlock(const InitCameraParams &block)
{
    Parameters &p = m_params;
    std::copy(std::begin(block.tofIntrinsic), std::end(block.tofIntrinsic), p.tofIntrinsic.begin());
    std::copy(std::begin(block.rgbIntrinsic), std::end(block.rgbIntrinsic), p.colorIntrinsic.begin());
    std::copy(std::begin(block.tofDistortion), std::end(block.tofDistortion), p.tofDistortion.begin());
    std::copy(std::begin(block.rgbDistortion), std::end(block.rgbDistortion), p.colorDistortion.begin());
    std::copy(std::begin(block.rotation), std::end(block.rotation), p.rotation.begin());
    std::copy(std::begin(block.translation), std::end(block.translation), p.translation.begin());
}

void SessionCalibration::FillCameraParams(RefineCameraParams &out) const
{
    const Parameters &p = m_params;
    std::copy(p.tofIntrinsic.begin(), p.tofIntrinsic.end(), out.tofIntrinsic);
    std::copy(p.tofDistortion.begin(), p.tofDistortion.end(), out.tofDistortion);
    std::copy(p.colorIntrinsic.begin(), p.colorIntrinsic.end(), out.colorIntrinsic);
    std::copy(p.colorDistortion.begin(), p.colorDistortion.end(), out.colorDistortion);
    std::copy(p.rotation.begin(), p.rotation.end(), out.rotation);
    std::copy(p.translation.begin(), p.translation.end(), out.translation);
}

void SessionCalibration::DeliveredIntrinsic(SensorType sensor, double *intrinsic, APIDepthRefine *refine,
                                            uint32_t width, uint32_t height) const
{
    const bool tof = sensor == kSensorTof;
    if (tof || width == 0 || height == 0) {
        width = tof ? kTofImageWidth : kColorCalibrationWidth;
        height = tof ? kTofImageHeight : kColorCalibrationHeight;
    }
    if (!tof) {
        ScaleColorIntrinsic(intrinsic, width, height);
    }
    const bool undistorted = tof ? IsTofUndistorted() : IsColorUndistorted();
    if (!undistorted || refine == nullptr || width > UINT16_MAX || height > UINT16_MAX) {
        return;
    }
    const double *distortion = tof ? m_params.tofDistortion.data() : m_params.colorDistortion.data();
    // Refused coefficients leave the matrix as it was: nothing is undistorted then.
    refine->ComputeUndistortedIntrinsic(intrinsic, distortion, static_cast<uint16_t>(width),
                                        static_cast<uint16_t>(height));
}

std::shared_ptr<const DepthWorldTable> SessionCalibration::WorldTable() const
{
    MutexLock lock(m_tableMutex);
    return m_depthWorldTable;
}

std::array<double, 9> SessionCalibration::BuildDepthWorldTable(const double *intrinsic,
                                                               APIDepthRefine *refine)
{
    std::array<double, 9> k{};
    std::copy(intrinsic, intrinsic + k.size(), k.begin());
    DeliveredIntrinsic(kSensorTof, k.data(), refine);
    const double fx = k[0], cx = k[2], fy = k[4], cy = k[5];
    auto table = std::make_shared<DepthWorldTable>();
    table->columnX.resize(kDepthTableWidth);
    table->rowY.resize(kDepthTableHeight);
    for (int u = 0; u < kDepthTableWidth; ++u) {
        table->columnX[static_cast<size_t>(u)] = (u - cx) / fx;
    }
    for (int v = 0; v < kDepthTableHeight; ++v) {
        table->rowY[static_cast<size_t>(v)] = (v - cy) / fy;
    }
    // Images delivered as the lens takes them: every pixel's ray comes back through the distortion.
    const bool distorted = std::any_of(m_params.tofDistortion.begin(), m_params.tofDistortion.end(),
                                       [](double c) { return c != 0.0; });
    const bool throughLens = !IsTofUndistorted() && distorted && refine != nullptr;
    if (throughLens && !IsInvertibleLens(intrinsic, m_params.tofDistortion)) {
        TFLOG("the ToF lens of the calibration cannot be inverted: the rays follow the intrinsics alone.");
    } else if (throughLens) {
        const size_t entries = static_cast<size_t>(kDepthTableWidth) * kDepthTableHeight;
        std::vector<double> rays(entries * 2);
        if (refine->UnprojectPixels(intrinsic, m_params.tofDistortion.data(), kTofImageWidth, kTofImageHeight,
                                    rays.data()) == kRefineOk) {
            table->rayX.resize(entries);
            table->rayY.resize(entries);
            for (size_t i = 0; i < entries; ++i) {
                table->rayX[i] = rays[2 * i];
                table->rayY[i] = rays[2 * i + 1];
            }
        }
    }
    MutexLock lock(m_tableMutex);
    m_depthWorldTable = std::move(table);
    return k;
}

void SessionCalibration::Attach(BaseProtocol *protocol, ImageProc *pipeline)
{
    m_protocol = protocol;
    m_imageProc = pipeline;
}

int SessionCalibration::GetCameraIntrinsic_(SensorType sensor, double *intrinsic)
{
    if (sensor != kSensorTof && sensor != kSensorColor) {
        TFLOG("cameraType:%d is invalid.", static_cast<int>(sensor));
        return kStatusNotSupported;
    }
    REQUIRE_PROTOCOL();
    if (intrinsic == nullptr) {
        return kStatusNullPointer;
    }
    return m_protocol->GetCameraIntrinsic(sensor, intrinsic);
}

int SessionCalibration::GetCameraDistortion(SensorType sensor, double *distortion)
{
    if (sensor != kSensorTof && sensor != kSensorColor) {
        TFLOG("cameraType:%d is invalid.", static_cast<int>(sensor));
        return kStatusNotSupported;
    }
    REQUIRE_PROTOCOL();
    if (distortion == nullptr) {
        return kStatusNullPointer;
    }
    return m_protocol->GetCameraDistortion(sensor, distortion);
}

int SessionCalibration::SetApplyRGBDistortionEnabled(bool enabled)
{
    const int ret = PipelineForwarder(m_imageProc).Forward(__func__, [&](ImageProc &p) {
        return p.GetRgbDecode()->SetApplyRGBDistortionEnabled(enabled);
    });
    // The switch follows what the library applies: a refused calibration leaves colour as it comes.
    if (ret == kStatusOk || enabled) {
        SetColorUndistorted(enabled && ret == kStatusOk);
    }
    return ret;
}

int SessionCalibration::GetApplyRGBDistortionEnabled(bool *enabled)
{
    const int ret =
        PipelineForwarder(m_imageProc).Forward(__func__, ReadInto(enabled, [](ImageProc &p) {
                                                   return p.GetRgbDecode()->GetApplyRGBDistortionEnabled();
                                               }));
    if (ret == kStatusOk) {
        SetColorUndistorted(*enabled);
    }
    return ret;
}

int SessionCalibration::InitDepthFrame2WorldTab(const double *intrinsic)
{
    if (intrinsic == nullptr) {
        TFLOG("intrinsic is null.");
        return kStatusNullPointer;
    }
    TFLOG("Fx:%8.6lf Cx:%8.6lf Fy:%8.6lf Cy:%8.6lf", intrinsic[0], intrinsic[2], intrinsic[4], intrinsic[5]);
    const std::array<double, 9> k =
        BuildDepthWorldTable(intrinsic, m_imageProc ? m_imageProc->GetRefine() : nullptr);
    TFLOG("Fx:%8.6lf Cx:%8.6lf Fy:%8.6lf Cy:%8.6lf", k[0], k[2], k[4], k[5]);
    return kStatusOk;
}
