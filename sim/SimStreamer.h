// SPDX-License-Identifier: Apache-2.0
// The data stream of one simulated ToF session: the thread that sends one stream buffer per frame
// (timestamp, IMU number, status record, calibration block, ToF data, colour image), shaped by the
// faults asked for through SimStreamFaults.
#pragma once

#include "RawTofEncoder.h"
#include "Scene.h"
#include "SimAppliedState.h"
#include "SimColorEncoder.h"
#include "SimSettings.h"
#include "SimStoppedStatus.h"
#include "SimStreamFaults.h"
#include "SimTofView.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

/// Sub-packet type ids of the stream's bookkeeping parts.
namespace sim_stream {
constexpr uint8_t kTimestamp = 0x1F;
constexpr uint8_t kImuNumber = 0x24;
constexpr uint8_t kStatus = 0x2C;
constexpr uint8_t kCalibration = 0x2E;
constexpr size_t kStatusBytes = 59;
constexpr size_t kCalibrationBytes = 470;
/// A type id no camera sends; a host stops parsing the buffer at it.
constexpr uint8_t kUnknownType = 0x7E;
} // namespace sim_stream

class SimReplaySource;

/// What the ToF part of a frame is made of, chosen by the data mode.
enum class SimTofOutput
{
    RawFourPhase,  // 0xB1 in the depth range
    ComputedAll,   // 0xB6, ranges alternating as in the dual-frequency setting (data modes 5 and 7)
    ComputedSplit, // 0xB3, 0xB4 and 0xB5 in the depth range (data mode 3)
    RawAlternating // 0xB1, ranges alternating (data mode 9); data mode 10 sends the first range as 0xB9
};

/// How a session's stream reaches its data connection.
struct SimStreamLink
{
    std::function<SimSettings()> settings;
    std::function<bool()> hasClient;
    /// Writes bytes to the data client; false when it is gone or does not read.
    std::function<bool(const std::vector<uint8_t> &)> send;
    /// Ends the stream as 0x1B [0] would (the client went away).
    std::function<void()> stopStream;
    /// Drops the data connection.
    std::function<void()> closeClient;
};

/// Sends one buffer per frame while the session's `streaming` setting is on and a data client is
/// connected, at the session's frame rate. A buffer is a stream buffer (type 1, length) whose payload
/// holds, in order: timestamp (0x1F, microseconds since the stream thread started), IMU number (0x24,
/// the frame counter's low byte), the status record (0x2C), the calibration block (0x2E) while
/// `cameraParamsEnabled` is on, the ToF part selected by the data mode, and one colour sub-packet
/// while the colour lens (type 2) is on. The colour part follows the lens as applied (after the
/// status delay) and the calibration as it stands.
///
/// Every method may be called from any thread; Start and Stop belong to the owning session.
class SimStreamer
{
public:
    explicit SimStreamer(SimStreamLink link);
    ~SimStreamer();
    SimStreamer(const SimStreamer &) = delete;
    SimStreamer &operator=(const SimStreamer &) = delete;

    void Start();
    /// Returns once the thread has ended; a buffer being written is abandoned.
    void Stop();
    /// Makes the thread look at the settings and the connection now (after a command or a new client).
    void Wake();

    void SetScene(const Scene &scene);
    void SetEncoderOptions(const RawTofEncoder::Options &options);
    RawTofEncoder::Options GetEncoderOptions() const;
    /// Applies from the next frame. The lenses themselves are the calibration's (SimSettings): the
    /// camera renders through the intrinsics and distortion it reports, whatever sets them.
    void SetGeometryOptions(const SimGeometryOptions &options);
    SimGeometryOptions GetGeometryOptions() const;
    /// How long a change of the settings takes to show in the status record and in the frames.
    void SetStatusDelayMs(unsigned delayMs);
    void SetTemperatures(int16_t laserC, int8_t sensorC);

    /// The exposure value, in seconds, that the colour formats with an exposure trailer carry.
    void SetColorExposure(float exposureSeconds);
    /// Frames follow each other this far apart instead of at the frame rate; 0 sends as fast as the
    /// client reads. Nothing restores the frame rate.
    void OverrideFramePeriod(std::chrono::microseconds period);
    void ClearFramePeriodOverride();

    /// While frozen the camera keeps running with the state it has: the status record and the frames
    /// never follow a new setting, however long the status delay. Unfreezing lets the settings catch
    /// up as if the delay had run.
    void FreezeStatus(bool frozen);
    /// Once the host enables the calibration block, the first `buffers` buffers and every buffer
    /// before `delayMs` have passed still go without it. Both count again from each enabling.
    void SetCalibrationDelay(unsigned buffers, unsigned delayMs);
    /// While withheld the calibration block is never sent, enabled or not.
    void WithholdCalibration(bool withheld);
    /// On: while the stream is stopped and a data client is connected, the camera sends a buffer that
    /// holds only its status record every kIdleWaitMs. Off (the default): a stopped camera sends nothing.
    void SetStatusWhileStopped(bool on) { m_stoppedStatus.SetOn(on); }
    /// On: frame timestamps are microseconds since the Unix epoch, so that a receiver on the same host
    /// can tell how long a frame took to reach it. Off (the default): microseconds since the stream began.
    void SetWallClockTimestamps(bool on) { m_wallClock.store(on, std::memory_order_relaxed); }
    /// The status-only buffers sent while stopped.
    const SimStoppedStatus &StoppedStatus() const { return m_stoppedStatus; }

    /// The next `frames` buffers go without their ToF part.
    void DropTof(unsigned frames) { m_faults.DropTof(frames); }
    /// The next `frames` buffers that would carry a colour part go without it.
    void DropColor(unsigned frames) { m_faults.DropColor(frames); }
    /// The next `frames` frames with a colour part send it in a buffer of its own: the first buffer
    /// holds the timestamp, IMU number, status, calibration and ToF parts, the second the same
    /// timestamp and IMU number and the colour part. Each buffer counts in FramesSent.
    void SplitColor(unsigned frames) { m_faults.SplitColor(frames); }
    /// The next `count` buffers carry `fault` (None clears).
    void SetBufferFault(SimBufferFault fault, unsigned count = 1) { m_faults.SetBufferFault(fault, count); }
    /// The next buffer stops halfway for stallMs (or until the stream stops), then completes; no
    /// other buffer is sent meanwhile.
    void Stall(unsigned stallMs) { m_faults.Stall(stallMs); }
    /// The faults the frames sent so far took.
    SimInjectedFaults InjectedFaults() const { return m_faults.Injected(); }

    /// Buffers written completely to the data connection since construction.
    uint64_t FramesSent() const;
    bool WaitForFramesSent(uint64_t count, unsigned timeoutMs) const;
    /// The ground truth of the last buffer sent with a ToF part; null before the first.
    std::shared_ptr<const SimTofTruth> LastGroundTruth() const;
    /// Called on the stream thread, without a lock held, for every buffer sent with a ToF part.
    void SetFrameCallback(std::function<void(const SimTofTruth &)> callback);
    /// The ground truth of the last colour part sent; null before the first.
    std::shared_ptr<const SimColorTruth> LastColorTruth() const;
    /// Called on the stream thread, without a lock held, for every colour part sent.
    void SetColorFrameCallback(std::function<void(const SimColorTruth &)> callback);

    /// While set, the stream sends the recording's buffers (at their pace) instead of rendered frames;
    /// each counts in FramesSent. Null renders again.
    void SetReplaySource(std::shared_ptr<SimReplaySource> source)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_replay = std::move(source);
    }

    static SimTofOutput OutputForDataMode(uint8_t dataMode);
    /// The 59-byte status record the camera reports for `state`.
    static std::vector<uint8_t> EncodeStatus(const SimAppliedState &state, int16_t laserC, int8_t sensorC);
    /// The 470-byte calibration block the camera sends for `settings`.
    static std::vector<uint8_t> EncodeCalibration(const SimSettings &settings);

    static constexpr unsigned kIdleWaitMs = 100;

private:
    using Clock = std::chrono::steady_clock;

    void Run();
    /// Waits until `deadline`, a Wake or Stop; false when stopping.
    bool WaitUntil(Clock::time_point deadline);
    SimAppliedState Applied(const SimSettings &live, Clock::time_point now);
    /// Builds and sends one frame; false when the client is gone.
    bool SendFrame(const SimSettings &live, const SimAppliedState &applied);
    /// Sends a buffer with only the status record `applied` shows, when the camera reports its status
    /// while stopped.
    void SendStoppedStatus(const SimAppliedState &applied);
    /// Appends the status record and, when due, the calibration block to the frame's buffer.
    void AppendRecords(const SimSettings &live, const SimAppliedState &applied, Clock::time_point now);
    /// Sends the frame's buffer (and its colour buffer when split) as the faults ask; false when the
    /// client is gone or the connection was closed on purpose.
    bool Transmit(uint64_t frameNumber, const SimFrameFaults &faults,
                  const std::shared_ptr<const SimTofTruth> &tof,
                  const std::shared_ptr<const SimColorTruth> &color);
    /// Brings the rendered depth up to the scene and calibration; returns the scene version rendered.
    uint64_t RefreshRendering(const SimSettings &live);
    /// Keeps the ToF part just appended from `start` for reuse by later frames of the same kind.
    void KeepTofEncoding(SimTofOutput output, uint8_t typeId, uint8_t range, uint64_t sceneVersion,
                         size_t start, const SimTofTruth &truth);
    /// Appends the ToF part; fills `truth` and returns false when nothing was appended.
    bool AppendTof(const SimSettings &live, const SimAppliedState &applied, SimTofTruth &truth);
    /// Appends the colour part to `out`; fills `truth` and returns false when nothing was appended.
    bool AppendColor(const SimSettings &live, const SimAppliedState &applied, std::vector<uint8_t> &out,
                     SimColorTruth &truth);
    /// Notes when the host enables the calibration block; true when it is due in the next buffer.
    bool CalibrationDue(const SimSettings &live, Clock::time_point now);
    /// Sends one whole buffer, or the first half, a pause and the rest when `stallMs` > 0; false when
    /// the client is gone or the stream stops during the pause.
    bool SendBuffer(const std::vector<uint8_t> &buffer, unsigned stallMs);
    /// Counts one buffer sent and publishes the truths it carried.
    void Delivered(const std::shared_ptr<const SimTofTruth> &tof,
                   const std::shared_ptr<const SimColorTruth> &color);
    /// The frame period in force.
    std::chrono::microseconds FramePeriod(const SimSettings &live) const;

    const SimStreamLink m_link;
    SimStreamFaults m_faults;
    SimStoppedStatus m_stoppedStatus;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed; // signalled under m_mutex on wake, stop and each frame sent
    bool m_stop = false;                       // guarded by m_mutex
    bool m_woken = false;                      // guarded by m_mutex
    Scene m_scene;                             // guarded by m_mutex
    uint64_t m_sceneVersion = 0;               // guarded by m_mutex
    RawTofEncoder::Options m_encoderOptions;   // guarded by m_mutex
    SimGeometryOptions m_geometryOptions;      // guarded by m_mutex
    bool m_encoderOptionsChanged = false;      // guarded by m_mutex
    unsigned m_statusDelayMs = 0;              // guarded by m_mutex
    int16_t m_laserC = 40;                     // guarded by m_mutex
    int8_t m_sensorC = 38;                     // guarded by m_mutex
    uint64_t m_framesSent = 0;                 // guarded by m_mutex
    std::shared_ptr<const SimTofTruth> m_lastTruth;             // guarded by m_mutex
    std::function<void(const SimTofTruth &)> m_frameCallback;   // guarded by m_mutex
    float m_colorExposureSeconds = 0.01f;                       // guarded by m_mutex
    std::optional<std::chrono::microseconds> m_framePeriod;     // guarded by m_mutex
    bool m_statusFrozen = false;                                // guarded by m_mutex
    unsigned m_calibrationDelayBuffers = 0;                     // guarded by m_mutex
    unsigned m_calibrationDelayMs = 0;                          // guarded by m_mutex
    bool m_calibrationWithheld = false;                         // guarded by m_mutex
    std::shared_ptr<const SimColorTruth> m_lastColorTruth;      // guarded by m_mutex
    std::function<void(const SimColorTruth &)> m_colorCallback; // guarded by m_mutex
    std::shared_ptr<SimReplaySource> m_replay;                  // guarded by m_mutex

    // Owned by the stream thread.
    std::deque<std::pair<Clock::time_point, SimAppliedState>> m_history;
    RawTofEncoder m_encoder;
    SimTofView m_view;
    std::vector<uint8_t> m_buffer;
    // Without noise a frame of the same scene, range and kind encodes to the same bytes: the last
    // encodings (one per range of an alternating mode) are kept and reused.
    struct TofCache
    {
        SimTofOutput output = SimTofOutput::RawFourPhase;
        uint8_t typeId = 0;
        uint8_t range = 0;
        uint64_t sceneVersion = 0;
        uint64_t optionsVersion = 0;
        std::vector<uint8_t> bytes;
        std::shared_ptr<const SimTofTruth> truth;
    };
    std::vector<TofCache> m_tofCaches;
    // Colour frames of an unchanged scene, lens, calibration and exposure are the same bytes.
    struct ColorKey
    {
        uint64_t sceneVersion = 0;
        SimColorLens lens;
        float exposureSeconds = 0.0f;
        std::array<double, 9> intrinsic{};
        std::array<double, 8> distortion{};
        std::array<double, 9> rotation{};
        std::array<double, 3> translationMm{};
        uint16_t calibrationWidth = 0;
        uint16_t calibrationHeight = 0;
        // What the colour truth's visibility depends on.
        bool geometryTruth = false;
        std::array<double, 9> tofIntrinsic{};
        std::array<double, 8> tofDistortion{};

        bool operator==(const ColorKey &other) const;
    };
    struct ColorCache
    {
        bool valid = false;
        ColorKey key;
        std::vector<uint8_t> bytes;
        std::shared_ptr<const SimColorTruth> truth;
    };
    SimColorEncoder m_colorEncoder;
    ColorCache m_colorCache;
    std::vector<uint8_t> m_colorBuffer; // the second buffer of a split frame
    // Since the host last enabled the calibration block: when, and how many buffers went out.
    bool m_calibrationRequested = false;
    Clock::time_point m_calibrationRequestedAt;
    uint64_t m_buffersSinceCalibrationRequest = 0;
    uint64_t m_optionsVersion = 0;
    uint64_t m_frameNumber = 0; // frames built, with or without faults
    size_t m_rangeStep = 0;     // position in the alternating ranges
    Clock::time_point m_epoch;
    std::atomic<bool> m_wallClock{false};

    std::mutex m_threadMutex; // serialises Start and Stop
    std::thread m_thread;     // guarded by m_threadMutex
};
