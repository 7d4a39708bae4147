// SPDX-License-Identifier: Apache-2.0
// The data stream of one simulated ToF session: frame timing, buffer assembly, status delay, colour
// part, calibration timing, and sending as the frame's faults ask.
#include "SimStreamer.h"

#include "SimReplaySource.h"

#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kStreamBufferType = 1;
constexpr size_t kStreamHeaderBytes = 8;
constexpr uint16_t kTofWidth = 640;
constexpr uint16_t kTofHeight = 480;
constexpr size_t kListEntries = 9;
constexpr size_t kReservedCalibrationBytes = 23;
/// The alternating modes cycle through at most three ranges; one more entry covers a mode change.
constexpr size_t kMaxTofCaches = 4;
/// While the status is frozen the pending settings are kept, the oldest pending ones dropped first.
constexpr size_t kMaxPendingStates = 64;

uint8_t ClampRange(int value)
{
    return static_cast<uint8_t>(std::clamp(value, 0, sim_tof::kRangeCount - 1));
}

void WriteDoubles(ByteWriter &writer, const double *values, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        uint64_t bits = 0;
        std::memcpy(&bits, &values[i], sizeof bits);
        writer.WriteU64Le(bits);
    }
}

void WriteList(ByteWriter &writer, const std::vector<uint8_t> &list)
{
    const size_t count = std::min(list.size(), kListEntries);
    writer.WriteU8(static_cast<uint8_t>(count));
    for (size_t i = 0; i < kListEntries; ++i) {
        writer.WriteU8(i < count ? list[i] : 0);
    }
}

} // namespace

SimStreamer::SimStreamer(SimStreamLink link) : m_link(std::move(link)), m_scene(Scene::Default())
{
}

SimStreamer::~SimStreamer()
{
    Stop();
}

void SimStreamer::Start()
{
    std::lock_guard<std::mutex> thread(m_threadMutex);
    if (m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
    }
    m_thread = std::thread(&SimStreamer::Run, this);
}

void SimStreamer::Stop()
{
    std::lock_guard<std::mutex> thread(m_threadMutex);
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    m_thread.join();
}

void SimStreamer::Wake()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_woken = true;
    m_changed.notify_all();
}

void SimStreamer::SetScene(const Scene &scene)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_scene = scene;
    ++m_sceneVersion;
}

void SimStreamer::SetEncoderOptions(const RawTofEncoder::Options &options)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_encoderOptions = options;
    m_encoderOptionsChanged = true;
}

RawTofEncoder::Options SimStreamer::GetEncoderOptions() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_encoderOptions;
}

void SimStreamer::SetGeometryOptions(const SimGeometryOptions &options)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_geometryOptions = options;
    m_geometryOptions.mixedSamplesPerAxis =
        std::clamp(options.mixedSamplesPerAxis, 1, Scene::kMaxSamplesPerAxis);
}

SimGeometryOptions SimStreamer::GetGeometryOptions() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_geometryOptions;
}

void SimStreamer::SetStatusDelayMs(unsigned delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_statusDelayMs = delayMs;
}

void SimStreamer::SetTemperatures(int16_t laserC, int8_t sensorC)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_laserC = laserC;
    m_sensorC = sensorC;
}

void SimStreamer::SetColorExposure(float exposureSeconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_colorExposureSeconds = exposureSeconds;
}

void SimStreamer::OverrideFramePeriod(std::chrono::microseconds period)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_framePeriod = std::max(period, std::chrono::microseconds(0));
    m_woken = true;
    m_changed.notify_all();
}

void SimStreamer::ClearFramePeriodOverride()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_framePeriod.reset();
}

void SimStreamer::FreezeStatus(bool frozen)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_statusFrozen = frozen;
}

void SimStreamer::SetCalibrationDelay(unsigned buffers, unsigned delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calibrationDelayBuffers = buffers;
    m_calibrationDelayMs = delayMs;
}

void SimStreamer::WithholdCalibration(bool withheld)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calibrationWithheld = withheld;
}

uint64_t SimStreamer::FramesSent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_framesSent;
}

bool SimStreamer::WaitForFramesSent(uint64_t count, unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_framesSent >= count; });
}

std::shared_ptr<const SimTofTruth> SimStreamer::LastGroundTruth() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastTruth;
}

void SimStreamer::SetFrameCallback(std::function<void(const SimTofTruth &)> callback)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frameCallback = std::move(callback);
}

std::shared_ptr<const SimColorTruth> SimStreamer::LastColorTruth() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastColorTruth;
}

void SimStreamer::SetColorFrameCallback(std::function<void(const SimColorTruth &)> callback)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_colorCallback = std::move(callback);
}

bool SimStreamer::ColorKey::operator==(const ColorKey &other) const
{
    return sceneVersion == other.sceneVersion && lens.width == other.lens.width &&
           lens.height == other.lens.height && lens.encodeType == other.lens.encodeType &&
           exposureSeconds == other.exposureSeconds && intrinsic == other.intrinsic &&
           distortion == other.distortion && rotation == other.rotation &&
           translationMm == other.translationMm && calibrationWidth == other.calibrationWidth &&
           calibrationHeight == other.calibrationHeight && geometryTruth == other.geometryTruth &&
           (!geometryTruth || (tofIntrinsic == other.tofIntrinsic && tofDistortion == other.tofDistortion));
}

SimTofOutput SimStreamer::OutputForDataMode(uint8_t dataMode)
{
    switch (dataMode) {
    case 3:
        return SimTofOutput::ComputedSplit;
    case 5:
    case 7:
        return SimTofOutput::ComputedAll;
    case 9:
    case 10:
        return SimTofOutput::RawAlternating;
    default:
        return SimTofOutput::RawFourPhase;
    }
}

std::vector<uint8_t> SimStreamer::EncodeStatus(const SimAppliedState &state, int16_t laserC, int8_t sensorC)
{
    ByteWriter writer;
    writer.WriteU8(state.workMode);
    writer.WriteU8(state.slaveMode);
    writer.WriteU16Le(kTofWidth);
    writer.WriteU16Le(kTofHeight);
    writer.WriteU8(state.dataMode);
    writer.WriteU8(state.depthRange);
    writer.WriteU32Le(state.exposureUs);
    writer.WriteU16Le(state.gmmGain);
    writer.WriteU16Le(static_cast<uint16_t>(laserC));
    // Wide-dynamic-range bytes: multi-frequency flag, range count, the three ranges.
    const bool multi = OutputForDataMode(state.dataMode) == SimTofOutput::ComputedAll ||
                       OutputForDataMode(state.dataMode) == SimTofOutput::RawAlternating;
    writer.WriteU8(multi ? 1 : 0);
    writer.WriteU8(state.dualFreqCount);
    for (int8_t value : state.dualFreqValues) {
        writer.WriteU8(static_cast<uint8_t>(value));
    }
    for (uint32_t exposure : state.subFrameExposureUs) {
        writer.WriteU32Le(exposure);
    }
    for (int i = 0; i < 3; ++i) {
        writer.WriteU16Le(state.gmmGain);
    }
    for (int i = 0; i < 3; ++i) {
        writer.WriteU16Le(0); // background thresholds
    }
    writer.WriteU8(static_cast<uint8_t>(sensorC));
    for (uint8_t dsp : state.dspSwitches) {
        writer.WriteU8(dsp);
    }
    for (int i = 0; i < 3; ++i) {
        writer.WriteU8(0);
    }
    writer.WriteU16Le(state.colorWidth);
    writer.WriteU16Le(state.colorHeight);
    writer.WriteU8(state.colorFps);
    writer.WriteU8(state.colorEncoding);
    writer.WriteU8(state.colorState);
    return writer.Bytes();
}

std::vector<uint8_t> SimStreamer::EncodeCalibration(const SimSettings &settings)
{
    ByteWriter writer;
    WriteDoubles(writer, settings.tofIntrinsic.data(), settings.tofIntrinsic.size());
    WriteDoubles(writer, settings.tofDistortion.data(), settings.tofDistortion.size());
    WriteDoubles(writer, settings.colorIntrinsic.data(), settings.colorIntrinsic.size());
    WriteDoubles(writer, settings.colorDistortion.data(), settings.colorDistortion.size());
    WriteDoubles(writer, settings.rotation.data(), settings.rotation.size());
    WriteDoubles(writer, settings.translationMm.data(), settings.translationMm.size());
    // Three rows of six, each column one depth range: row 0 the range's distance (range2), row 1 the
    // largest depth reported (range0), row 2 the smallest (range1).
    for (int row = 0; row < 3; ++row) {
        for (uint8_t range = 0; range < sim_tof::kRangeCount; ++range) {
            const auto found = settings.measuringRanges.find(range);
            const SimMeasuringRange limits =
                found == settings.measuringRanges.end() ? SimMeasuringRange{} : found->second;
            writer.WriteU16Le(row == 0 ? limits.range2 : row == 1 ? limits.range0 : limits.range1);
        }
    }
    writer.WriteU8(settings.depthRange);
    writer.WriteU8(settings.dataMode);
    writer.WriteU32Le(settings.dualFreqCount);
    for (int8_t value : settings.dualFreqValues) {
        writer.WriteU32Le(static_cast<uint32_t>(static_cast<uint8_t>(value)));
    }
    WriteList(writer, settings.depthRanges);
    WriteList(writer, settings.dataModes);
    for (size_t i = 0; i < kReservedCalibrationBytes; ++i) {
        writer.WriteU8(0);
    }
    const auto color = settings.lenses.find(2);
    const bool hasColor = color != settings.lenses.end() && color->second.state != 0;
    writer.WriteU8(hasColor ? 1 : 0);
    writer.WriteU16Le(hasColor ? color->second.width : 0);
    writer.WriteU16Le(hasColor ? color->second.height : 0);
    return writer.Bytes();
}

bool SimStreamer::WaitUntil(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_until(lock, deadline, [&] { return m_stop || m_woken; });
    m_woken = false;
    return !m_stop;
}

SimAppliedState SimStreamer::Applied(const SimSettings &live, Clock::time_point now)
{
    unsigned delayMs = 0;
    bool frozen = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        delayMs = m_statusDelayMs;
        frozen = m_statusFrozen;
    }
    const SimAppliedState commanded = SimAppliedState::From(live);
    if (m_history.empty() || m_history.back().second != commanded) {
        m_history.emplace_back(now, commanded);
    }
    if (frozen) {
        while (m_history.size() > kMaxPendingStates) {
            m_history.erase(m_history.begin() + 1);
        }
        return m_history.front().second;
    }
    // The newest state whose delay is over applies; older ones are forgotten.
    const auto delay = std::chrono::milliseconds(delayMs);
    while (m_history.size() > 1 && m_history[1].first + delay <= now) {
        m_history.pop_front();
    }
    return m_history.front().second;
}

void SimStreamer::Run()
{
    m_epoch = Clock::now();
    // The settings the camera starts with are in force from the start.
    m_history.clear();
    m_history.emplace_back(m_epoch - std::chrono::hours(1), SimAppliedState::From(m_link.settings()));
    bool streaming = false;
    Clock::time_point next = m_epoch;
    for (;;) {
        {
            // Without a frame period the loop may never wait, so it looks for Stop itself.
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop) {
                return;
            }
        }
        const SimSettings live = m_link.settings();
        Clock::time_point now = Clock::now();
        const SimAppliedState applied = Applied(live, now);
        (void)CalibrationDue(live, now); // notes an enabling even while the stream is off
        if (!live.streaming || !m_link.hasClient()) {
            streaming = false;
            SendStoppedStatus(applied);
            if (!WaitUntil(now + std::chrono::milliseconds(kIdleWaitMs))) {
                return;
            }
            continue;
        }
        if (!streaming) {
            streaming = true;
            next = now;
        }
        if (now < next) {
            // A pending status change is due within the frame period at the latest, so the frame
            // that shows it is built after it is due.
            if (!WaitUntil(next)) {
                return;
            }
            continue;
        }
        std::shared_ptr<SimReplaySource> replay;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            replay = m_replay;
        }
        if (replay) {
            next = replay->Step(now, m_link.send, [this] { Delivered(nullptr, nullptr); });
            continue;
        }
        if (!SendFrame(live, applied)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop) {
                return;
            }
        }
        const std::chrono::microseconds period = FramePeriod(live);
        next += period;
        now = Clock::now();
        // After a stall or a slow client the camera drops the frames it missed instead of bursting.
        if (next < now - period) {
            next = now;
        }
    }
}

uint64_t SimStreamer::RefreshRendering(const SimSettings &live)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_encoderOptionsChanged) {
        m_encoder.SetOptions(m_encoderOptions);
        m_encoderOptionsChanged = false;
        ++m_optionsVersion;
    }
    // The camera renders through the lens it announces in its calibration block.
    if (m_view.Refresh(m_scene, m_sceneVersion, SimColorEncoder::TofLens(live), m_geometryOptions)) {
        m_tofCaches.clear();
    }
    return m_sceneVersion;
}

bool SimStreamer::AppendTof(const SimSettings &live, const SimAppliedState &applied, SimTofTruth &truth)
{
    const uint64_t sceneVersion = RefreshRendering(live);
    const SimTofOutput output = OutputForDataMode(applied.dataMode);
    uint8_t range = ClampRange(applied.depthRange);
    uint8_t typeId = sim_tof::kRawFourPhase;
    if (output == SimTofOutput::ComputedAll || output == SimTofOutput::RawAlternating) {
        // The alternating modes walk through the dual-frequency ranges, one per frame.
        const size_t count = std::clamp<size_t>(applied.dualFreqCount, 1, 3);
        const size_t step = m_rangeStep++ % count;
        range = ClampRange(applied.dualFreqValues[step]);
        if (output == SimTofOutput::ComputedAll) {
            typeId = sim_tof::kComputedAll;
        } else if (applied.dataMode == 10 && step == 0) {
            typeId = sim_tof::kRawWdrSubFrame;
        }
    } else if (output == SimTofOutput::ComputedSplit) {
        typeId = sim_tof::kComputedDepth;
    }

    const bool reusable = m_encoder.GetOptions().noiseSigma <= 0.0;
    const auto cached = std::find_if(m_tofCaches.begin(), m_tofCaches.end(), [&](const TofCache &entry) {
        return entry.output == output && entry.typeId == typeId && entry.range == range &&
               entry.sceneVersion == sceneVersion && entry.optionsVersion == m_optionsVersion;
    });
    if (reusable && cached != m_tofCaches.end()) {
        const uint64_t frameNumber = truth.frameNumber;
        truth = *cached->truth;
        truth.frameNumber = frameNumber;
        m_buffer.insert(m_buffer.end(), cached->bytes.begin(), cached->bytes.end());
        return true;
    }
    const size_t start = m_buffer.size();
    bool encoded = false;
    switch (output) {
    case SimTofOutput::RawFourPhase:
    case SimTofOutput::RawAlternating:
        encoded = m_encoder.AppendRaw(m_view.Rendering(), typeId, range, m_buffer, truth);
        break;
    case SimTofOutput::ComputedSplit:
        encoded = m_encoder.AppendComputedImages(m_view.Rendering(), range, m_buffer, truth);
        break;
    case SimTofOutput::ComputedAll:
        encoded = m_encoder.AppendComputedAll(m_view.Rendering(), range, m_buffer, truth);
        break;
    }
    truth.geometry = m_view.Geometry();
    if (!reusable) {
        m_tofCaches.clear();
    } else if (encoded) {
        KeepTofEncoding(output, typeId, range, sceneVersion, start, truth);
    }
    return encoded;
}

void SimStreamer::KeepTofEncoding(SimTofOutput output, uint8_t typeId, uint8_t range, uint64_t sceneVersion,
                                  size_t start, const SimTofTruth &truth)
{
    // Entries of an older scene or options can never match again.
    m_tofCaches.erase(std::remove_if(m_tofCaches.begin(), m_tofCaches.end(),
                                     [&](const TofCache &entry) {
                                         return entry.sceneVersion != sceneVersion ||
                                                entry.optionsVersion != m_optionsVersion;
                                     }),
                      m_tofCaches.end());
    if (m_tofCaches.size() >= kMaxTofCaches) {
        m_tofCaches.erase(m_tofCaches.begin());
    }
    TofCache entry;
    entry.output = output;
    entry.typeId = typeId;
    entry.range = range;
    entry.sceneVersion = sceneVersion;
    entry.optionsVersion = m_optionsVersion;
    entry.bytes.assign(m_buffer.begin() + static_cast<std::ptrdiff_t>(start), m_buffer.end());
    entry.truth = std::make_shared<const SimTofTruth>(truth);
    m_tofCaches.push_back(std::move(entry));
}

std::chrono::microseconds SimStreamer::FramePeriod(const SimSettings &live) const
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_framePeriod) {
            return *m_framePeriod;
        }
    }
    return std::chrono::microseconds(1000000 / std::max<unsigned>(1, live.frameRate));
}

bool SimStreamer::CalibrationDue(const SimSettings &live, Clock::time_point now)
{
    if (!live.cameraParamsEnabled) {
        m_calibrationRequested = false;
        return false;
    }
    if (!m_calibrationRequested) {
        m_calibrationRequested = true;
        m_calibrationRequestedAt = now;
        m_buffersSinceCalibrationRequest = 0;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_calibrationWithheld && m_buffersSinceCalibrationRequest >= m_calibrationDelayBuffers &&
           now - m_calibrationRequestedAt >= std::chrono::milliseconds(m_calibrationDelayMs);
}

bool SimStreamer::AppendColor(const SimSettings &live, const SimAppliedState &applied,
                              std::vector<uint8_t> &out, SimColorTruth &truth)
{
    ColorKey key;
    key.lens = SimColorLens{applied.colorWidth, applied.colorHeight, applied.colorEncoding};
    key.intrinsic = live.colorIntrinsic;
    key.distortion = live.colorDistortion;
    key.tofIntrinsic = live.tofIntrinsic;
    key.tofDistortion = live.tofDistortion;
    key.rotation = live.rotation;
    key.translationMm = live.translationMm;
    key.calibrationWidth = live.colorCalibrationWidth;
    key.calibrationHeight = live.colorCalibrationHeight;
    Scene scene;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        key.sceneVersion = m_sceneVersion;
        key.exposureSeconds = m_colorExposureSeconds;
        key.geometryTruth = m_geometryOptions.geometryTruth;
        if (!(m_colorCache.valid && m_colorCache.key == key)) {
            scene = m_scene;
        }
    }
    const uint64_t frameNumber = truth.frameNumber;
    if (!(m_colorCache.valid && m_colorCache.key == key)) {
        // Rendered without the lock: a large lens takes a while, and queries must not wait for it.
        m_colorCache.valid = true;
        m_colorCache.key = key;
        m_colorCache.bytes.clear();
        m_colorCache.truth.reset();
        SimColorTruth fresh;
        if (m_colorEncoder.Append(scene, live, key.lens, key.exposureSeconds, m_colorCache.bytes, fresh,
                                  key.geometryTruth)) {
            m_colorCache.truth = std::make_shared<const SimColorTruth>(std::move(fresh));
        }
    }
    // A lens the camera cannot send stays without colour (and logged once) until something changes.
    if (!m_colorCache.truth) {
        return false;
    }
    truth = *m_colorCache.truth;
    truth.frameNumber = frameNumber;
    out.insert(out.end(), m_colorCache.bytes.begin(), m_colorCache.bytes.end());
    return true;
}

bool SimStreamer::SendBuffer(const std::vector<uint8_t> &buffer, unsigned stallMs)
{
    if (stallMs == 0) {
        return m_link.send(buffer);
    }
    const auto half = static_cast<std::ptrdiff_t>(buffer.size() / 2);
    bool sent = m_link.send(std::vector<uint8_t>(buffer.begin(), buffer.begin() + half));
    // Commands wake the thread; the stall still lasts its full time unless the stream stops.
    const Clock::time_point stallEnd = Clock::now() + std::chrono::milliseconds(stallMs);
    while (sent && Clock::now() < stallEnd) {
        if (!WaitUntil(stallEnd)) {
            return false;
        }
    }
    return sent && m_link.send(std::vector<uint8_t>(buffer.begin() + half, buffer.end()));
}

namespace {

/// Starts a stream buffer with its header (length patched by FinishBuffer), timestamp and IMU number.
void StartBuffer(std::vector<uint8_t> &buffer, uint64_t timestampUs, uint64_t frameNumber)
{
    ByteWriter start;
    start.WriteU32Le(kStreamBufferType);
    start.WriteU32Le(0);
    RawTofEncoder::AppendHeader(start.Bytes(), sim_stream::kTimestamp, 8, 0);
    start.WriteU64Le(timestampUs);
    RawTofEncoder::AppendHeader(start.Bytes(), sim_stream::kImuNumber, 1, 0);
    start.WriteU8(static_cast<uint8_t>(frameNumber));
    // Cleared, not replaced: the buffer keeps its capacity from frame to frame.
    buffer.assign(start.Bytes().begin(), start.Bytes().end());
}

void FinishBuffer(std::vector<uint8_t> &buffer)
{
    ByteWriter length;
    length.WriteU32Le(static_cast<uint32_t>(buffer.size() - kStreamHeaderBytes));
    std::copy(length.Bytes().begin(), length.Bytes().end(), buffer.begin() + 4);
}

} // namespace

void SimStreamer::SendStoppedStatus(const SimAppliedState &applied)
{
    if (!m_stoppedStatus.IsOn() || !m_link.hasClient()) {
        return;
    }
    int16_t laserC = 0;
    int8_t sensorC = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        laserC = m_laserC;
        sensorC = m_sensorC;
    }
    if (m_link.send(SimStoppedStatus::Buffer(EncodeStatus(applied, laserC, sensorC)))) {
        m_stoppedStatus.CountSent();
    }
}

void SimStreamer::AppendRecords(const SimSettings &live, const SimAppliedState &applied,
                                Clock::time_point now)
{
    int16_t laserC = 0;
    int8_t sensorC = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        laserC = m_laserC;
        sensorC = m_sensorC;
    }
    // The status record has a short header: its type and a 16-bit length.
    ByteWriter status;
    status.WriteU8(sim_stream::kStatus);
    const std::vector<uint8_t> record = EncodeStatus(applied, laserC, sensorC);
    status.WriteU16Le(static_cast<uint16_t>(record.size()));
    status.WriteBytes(record.data(), record.size());
    m_buffer.insert(m_buffer.end(), status.Bytes().begin(), status.Bytes().end());

    if (CalibrationDue(live, now)) {
        const std::vector<uint8_t> calibration = EncodeCalibration(live);
        RawTofEncoder::AppendHeader(m_buffer, sim_stream::kCalibration,
                                    static_cast<uint32_t>(calibration.size()), 0);
        m_buffer.insert(m_buffer.end(), calibration.begin(), calibration.end());
    }
    if (live.cameraParamsEnabled) {
        ++m_buffersSinceCalibrationRequest;
    }
}

bool SimStreamer::SendFrame(const SimSettings &live, const SimAppliedState &applied)
{
    const bool colorOn = applied.colorState != 0;
    SimFrameFaults faults = m_faults.TakeNext(colorOn);
    const uint64_t frameNumber = m_frameNumber++;
    const Clock::time_point now = Clock::now();
    const auto sinceEpoch =
        m_wallClock.load(std::memory_order_relaxed)
            ? std::chrono::system_clock::now().time_since_epoch()
            : std::chrono::duration_cast<std::chrono::system_clock::duration>(now - m_epoch);
    const uint64_t timestampUs =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count());

    StartBuffer(m_buffer, timestampUs, frameNumber);
    AppendRecords(live, applied, now);
    if (faults.buffer == SimBufferFault::UnknownTypeId) {
        RawTofEncoder::AppendHeader(m_buffer, sim_stream::kUnknownType, 4, 0);
        m_buffer.insert(m_buffer.end(), 4, 0xEE);
    }

    std::shared_ptr<SimTofTruth> truth;
    bool truncated = false;
    if (!faults.dropTof) {
        truth = std::make_shared<SimTofTruth>();
        truth->frameNumber = frameNumber;
        const size_t tofStart = m_buffer.size();
        if (!AppendTof(live, applied, *truth)) {
            truth.reset();
        } else if (faults.buffer == SimBufferFault::TruncatedSubPacket) {
            m_buffer.resize(tofStart + (m_buffer.size() - tofStart) / 2);
            truncated = true;
        }
    }

    // Nothing can follow a sub-packet that runs past the end of its buffer.
    std::shared_ptr<SimColorTruth> colorTruth;
    if (colorOn && !faults.dropColor && !truncated) {
        colorTruth = std::make_shared<SimColorTruth>();
        colorTruth->frameNumber = frameNumber;
        if (faults.splitColor) {
            StartBuffer(m_colorBuffer, timestampUs, frameNumber);
        }
        if (!AppendColor(live, applied, faults.splitColor ? m_colorBuffer : m_buffer, *colorTruth)) {
            colorTruth.reset();
            faults.splitColor = false;
        }
    } else {
        faults.splitColor = false;
    }
    FinishBuffer(m_buffer);
    if (faults.splitColor) {
        FinishBuffer(m_colorBuffer);
    }
    return Transmit(frameNumber, faults, truth, colorTruth);
}

bool SimStreamer::Transmit(uint64_t frameNumber, const SimFrameFaults &faults,
                           const std::shared_ptr<const SimTofTruth> &tof,
                           const std::shared_ptr<const SimColorTruth> &color)
{
    if (faults.buffer == SimBufferFault::ShortThenClose) {
        // Whatever happens to the first half, the connection ends here.
        (void)m_link.send(std::vector<uint8_t>(
            m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_buffer.size() / 2)));
        TFLOG("fault: the data connection closes in the middle of frame %llu",
              static_cast<unsigned long long>(frameNumber));
        // Stopped first, so that a host seeing the close finds the stream already off.
        m_link.stopStream();
        m_link.closeClient();
        return false;
    }
    bool sent = SendBuffer(m_buffer, faults.stallMs);
    if (sent) {
        Delivered(tof, faults.splitColor ? nullptr : color);
        if (faults.splitColor) {
            sent = m_link.send(m_colorBuffer);
            if (sent) {
                Delivered(nullptr, color);
            }
        }
    }
    if (!sent) {
        // The client is gone or stopped reading: the camera ends the stream as a stop command would.
        TFLOG("frame %llu could not be sent; the stream stops", static_cast<unsigned long long>(frameNumber));
        m_link.stopStream();
        return false;
    }
    return true;
}

void SimStreamer::Delivered(const std::shared_ptr<const SimTofTruth> &tof,
                            const std::shared_ptr<const SimColorTruth> &color)
{
    std::function<void(const SimTofTruth &)> tofCallback;
    std::function<void(const SimColorTruth &)> colorCallback;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_framesSent;
        if (tof) {
            m_lastTruth = tof;
            tofCallback = m_frameCallback;
        }
        if (color) {
            m_lastColorTruth = color;
            colorCallback = m_colorCallback;
        }
        m_changed.notify_all();
    }
    if (tofCallback) {
        tofCallback(*tof);
    }
    if (colorCallback) {
        colorCallback(*color);
    }
}
