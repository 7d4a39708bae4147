// SPDX-License-Identifier: Apache-2.0
// SessionCalibration: the camera's calibration as a session keeps it, its undistortion switches and the
// depth-to-world table built from it.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <vector>

#include "pipeline/DeviceStatus.h"
#include "protocol/BaseProtocol.h"
#include "protocol/ProtocolTypes.h"
#include "refine/APIDepthRefine.h"
#include "runtime/Mutex.h"

class ImageProc;

/// The calibration of one camera for the time of a session: taken from the block the camera sends at
/// the start of its stream or asked for by commands, handed to the pipeline, and turned into the
/// intrinsics of undistorted images when the undistortion of that sensor is on.
class SessionCalibration
{
public:
    /// Tries (10 ms apart) to find the calibration block before initialising by commands.
    static constexpr int kBlockTries = 100;
    static constexpr unsigned kBlockPauseMs = 10;

    /// Intrinsics 9 doubles row by row, distortion 8, rotation 9 row by row, translation 3.
    struct Parameters
    {
        std::array<double, 9> tofIntrinsic{};
        std::array<double, 9> colorIntrinsic{};
        std::array<double, 8> tofDistortion{};
        std::array<double, 8> colorDistortion{};
        std::array<double, 9> rotation{};
        std::array<double, 3> translation{};
    };

    /// The session's protocol and pipeline; both stay owned by the session.
    void Attach(BaseProtocol *protocol, ImageProc *pipeline);

    /// The camera's intrinsics or distortion of a ToF or colour sensor, as it reports them ("Not
    /// Support." for another sensor or without a protocol).
    int GetCameraIntrinsic_(SensorType sensor, double *intrinsic);
    int GetCameraDistortion(SensorType sensor, double *distortion);
    /// The colour decoder's undistortion switch; the session's colour switch follows it.
    int SetApplyRGBDistortionEnabled(bool enabled);
    int GetApplyRGBDistortionEnabled(bool *enabled);

    Parameters &Params() { return m_params; }
    const Parameters &Params() const { return m_params; }

    /// Looks for the calibration block in `pipeline` up to kBlockTries + 1 times, kBlockPauseMs apart on
    /// a fixed schedule. True with the block in `block` and the time waited for it in `waitedMs`.
    static bool AwaitBlock(ImageProc &pipeline, InitCameraParams &block, int &waitedMs);
    /// Keeps the calibration the block carries.
    void TakeBlock(const InitCameraParams &block);
    /// Copies the calibration into the refine library's record.
    void FillCameraParams(RefineCameraParams &out) const;

    /// Whether the images of a sensor are undistorted, and so its intrinsics are those of the
    /// undistorted image. On until switched off.
    bool IsTofUndistorted() const { return m_tofUndistorted.load(); }
    void SetTofUndistorted(bool on) { m_tofUndistorted.store(on); }
    bool IsColorUndistorted() const { return m_colorUndistorted.load(); }
    void SetColorUndistorted(bool on) { m_colorUndistorted.store(on); }

    /// Turns `intrinsic`, as the camera reports it for `sensor`, into the intrinsics of the images the
    /// pipeline delivers: the ToF image is 640 x 480; a colour image of width x height (0 x 0: the
    /// calibration's 1920 x 1080) follows the one colour geometry (ScaleColorIntrinsic). Either is then
    /// turned into the intrinsics of the undistorted image of that size when that sensor's undistortion
    /// is on and `refine` is there to compute them.
    void DeliveredIntrinsic(SensorType sensor, double *intrinsic, APIDepthRefine *refine, uint32_t width = 0,
                            uint32_t height = 0) const;
    /// Builds the depth-to-world table (kDepthTableWidth x kDepthTableHeight rays, row by row) from the
    /// ToF intrinsics `intrinsic` (9 doubles), undistorted first as UndistortIntrinsic does. Per-pixel rays
    /// through the lens only for a lens of ordinary numbers (a garbled one keeps the intrinsics' rays).
    /// Returns the intrinsics the rays were computed with.
    std::array<double, 9> BuildDepthWorldTable(const double *intrinsic, APIDepthRefine *refine);
    /// Builds the table as BuildDepthWorldTable does and logs the intrinsics before and after their
    /// undistortion (kStatusNullPointer for a null `intrinsic`).
    int InitDepthFrame2WorldTab(const double *intrinsic);
    /// The table, or null before it was first built. A rebuild publishes a new table; one already
    /// handed out stays valid for as long as its holder keeps it.
    std::shared_ptr<const DepthWorldTable> WorldTable() const EXCLUDES(m_tableMutex);

private:
    BaseProtocol *m_protocol = nullptr; // the session's; null without a camera protocol
    ImageProc *m_imageProc = nullptr;   // the session's pipeline; null in a test fake
    Parameters m_params;
    std::atomic<bool> m_tofUndistorted{true};
    std::atomic<bool> m_colorUndistorted{true};
    mutable Mutex m_tableMutex;
    std::shared_ptr<const DepthWorldTable> m_depthWorldTable GUARDED_BY(m_tableMutex); // null until built
};
