// SPDX-License-Identifier: Apache-2.0
// The data stream of one simulated ToF session: frame timing, buffer assembly, status delay, faults.
#include "SimStreamer.h"

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

uint8_t ClampRange(int value)
{
    return static_cast<uint8_t>(std::clamp(value, 0, sim_tof::kRangeCount - 1));
}

uint32_t ExposureAt(const SimSettings &settings, uint8_t index)
{
    const auto found = settings.exposureUs.find(index);
    return found == settings.exposureUs.end() ? 0 : found->second;
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

SimAppliedState SimAppliedState::From(const SimSettings &settings)
{
    SimAppliedState state;
    state.workMode = settings.workMode.mode;
    state.slaveMode = settings.slaveModeEnabled ? 2 : settings.slaveMode;
    state.dataMode = settings.dataMode;
    state.depthRange = settings.depthRange;
    state.exposureUs = ExposureAt(settings, 0);
    // The host addresses the sub-frames with exposure indices 0, 1 and 3.
    state.subFrameExposureUs = {ExposureAt(settings, 0), ExposureAt(settings, 1), ExposureAt(settings, 3)};
    state.gmmGain = settings.gmmGain;
    state.dualFreqCount = settings.dualFreqCount;
    state.dualFreqValues = settings.dualFreqValues;
    for (uint8_t group = 1; group <= 3; ++group) {
        const auto found = settings.dspSwitches.find(group);
        state.dspSwitches[group - 1] = found == settings.dspSwitches.end() ? 0 : found->second;
    }
    const auto color = settings.lenses.find(2);
    if (color != settings.lenses.end()) {
        state.colorWidth = color->second.width;
        state.colorHeight = color->second.height;
        state.colorFps = color->second.fps;
        state.colorEncoding = color->second.encodeType;
        state.colorState = color->second.state;
    }
    return state;
}

bool SimAppliedState::operator==(const SimAppliedState &other) const
{
    return workMode == other.workMode && slaveMode == other.slaveMode && dataMode == other.dataMode &&
           depthRange == other.depthRange && exposureUs == other.exposureUs &&
           subFrameExposureUs == other.subFrameExposureUs && gmmGain == other.gmmGain &&
           dualFreqCount == other.dualFreqCount && dualFreqValues == other.dualFreqValues &&
           dspSwitches == other.dspSwitches && colorWidth == other.colorWidth &&
           colorHeight == other.colorHeight && colorFps == other.colorFps &&
           colorEncoding == other.colorEncoding && colorState == other.colorState;
}

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

void SimStreamer::DropTof(unsigned frames)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dropTof = frames;
}

void SimStreamer::SetBufferFault(SimBufferFault fault, unsigned count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = count == 0 ? SimBufferFault::None : fault;
    m_faultCount = m_fault == SimBufferFault::None ? 0 : count;
}

void SimStreamer::Stall(unsigned stallMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stallMs = stallMs;
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
    // Three rows of six: each row one limit of the measuring range, each column one depth range.
    for (int row = 0; row < 3; ++row) {
        for (uint8_t range = 0; range < sim_tof::kRangeCount; ++range) {
            const auto found = settings.measuringRanges.find(range);
            const SimMeasuringRange limits =
                found == settings.measuringRanges.end() ? SimMeasuringRange{} : found->second;
            writer.WriteU16Le(row == 0 ? limits.range0 : row == 1 ? limits.range1 : limits.range2);
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
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        delayMs = m_statusDelayMs;
    }
    const SimAppliedState commanded = SimAppliedState::From(live);
    if (m_history.empty() || m_history.back().second != commanded) {
        m_history.emplace_back(now, commanded);
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
        const SimSettings live = m_link.settings();
        Clock::time_point now = Clock::now();
        const SimAppliedState applied = Applied(live, now);
        if (!live.streaming || !m_link.hasClient()) {
            streaming = false;
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
        if (!SendFrame(live, applied)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop) {
                return;
            }
        }
        const auto period = std::chrono::microseconds(1000000 / std::max<unsigned>(1, live.frameRate));
        next += period;
        now = Clock::now();
        // After a stall or a slow client the camera drops the frames it missed instead of bursting.
        if (next < now - period) {
            next = now;
        }
    }
}

bool SimStreamer::AppendTof(const SimSettings &live, const SimAppliedState &applied, SimTofTruth &truth)
{
    uint64_t sceneVersion = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_encoderOptionsChanged) {
            m_encoder.SetOptions(m_encoderOptions);
            m_encoderOptionsChanged = false;
            ++m_optionsVersion;
        }
        sceneVersion = m_sceneVersion;
        // The camera renders through the intrinsics it announces in its calibration block.
        if (m_rendering.depthMm.empty() || sceneVersion != m_renderedVersion ||
            live.tofIntrinsic != m_renderedIntrinsic) {
            m_rendering =
                m_scene.Render(SimPinhole::FromMatrix(live.tofIntrinsic, sim_tof::kWidth, sim_tof::kHeight),
                               RawTofEncoder::kComputedMaxDepthMm);
            m_renderedVersion = sceneVersion;
            m_renderedIntrinsic = live.tofIntrinsic;
            m_tofCache.valid = false;
        }
    }
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
    if (reusable && m_tofCache.valid && m_tofCache.output == output && m_tofCache.typeId == typeId &&
        m_tofCache.range == range && m_tofCache.sceneVersion == sceneVersion &&
        m_tofCache.optionsVersion == m_optionsVersion) {
        const uint64_t frameNumber = truth.frameNumber;
        truth = *m_tofCache.truth;
        truth.frameNumber = frameNumber;
        m_buffer.insert(m_buffer.end(), m_tofCache.bytes.begin(), m_tofCache.bytes.end());
        return true;
    }
    const size_t start = m_buffer.size();
    bool encoded = false;
    switch (output) {
    case SimTofOutput::RawFourPhase:
    case SimTofOutput::RawAlternating:
        encoded = m_encoder.AppendRaw(m_rendering, typeId, range, m_buffer, truth);
        break;
    case SimTofOutput::ComputedSplit:
        encoded = m_encoder.AppendComputedImages(m_rendering, range, m_buffer, truth);
        break;
    case SimTofOutput::ComputedAll:
        encoded = m_encoder.AppendComputedAll(m_rendering, range, m_buffer, truth);
        break;
    }
    m_tofCache.valid = encoded && reusable;
    if (m_tofCache.valid) {
        m_tofCache.output = output;
        m_tofCache.typeId = typeId;
        m_tofCache.range = range;
        m_tofCache.sceneVersion = sceneVersion;
        m_tofCache.optionsVersion = m_optionsVersion;
        m_tofCache.bytes.assign(m_buffer.begin() + static_cast<std::ptrdiff_t>(start), m_buffer.end());
        m_tofCache.truth = std::make_shared<const SimTofTruth>(truth);
    }
    return encoded;
}

bool SimStreamer::SendFrame(const SimSettings &live, const SimAppliedState &applied)
{
    bool dropTof = false;
    SimBufferFault fault = SimBufferFault::None;
    unsigned stallMs = 0;
    int16_t laserC = 0;
    int8_t sensorC = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_dropTof > 0) {
            dropTof = true;
            --m_dropTof;
        }
        if (m_faultCount > 0) {
            fault = m_fault;
            if (--m_faultCount == 0) {
                m_fault = SimBufferFault::None;
            }
        }
        stallMs = m_stallMs;
        m_stallMs = 0;
        laserC = m_laserC;
        sensorC = m_sensorC;
    }
    const uint64_t frameNumber = m_frameNumber++;

    m_buffer.clear();
    ByteWriter header;
    header.WriteU32Le(kStreamBufferType);
    header.WriteU32Le(0); // patched below
    m_buffer = header.Bytes();

    RawTofEncoder::AppendHeader(m_buffer, sim_stream::kTimestamp, 8, 0);
    const uint64_t timestampUs = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_epoch).count());
    for (int i = 0; i < 8; ++i) {
        m_buffer.push_back(static_cast<uint8_t>(timestampUs >> (8 * i)));
    }
    RawTofEncoder::AppendHeader(m_buffer, sim_stream::kImuNumber, 1, 0);
    m_buffer.push_back(static_cast<uint8_t>(frameNumber));

    const std::vector<uint8_t> status = EncodeStatus(applied, laserC, sensorC);
    m_buffer.push_back(sim_stream::kStatus);
    m_buffer.push_back(static_cast<uint8_t>(status.size()));
    m_buffer.push_back(static_cast<uint8_t>(status.size() >> 8));
    m_buffer.insert(m_buffer.end(), status.begin(), status.end());

    if (live.cameraParamsEnabled) {
        const std::vector<uint8_t> calibration = EncodeCalibration(live);
        RawTofEncoder::AppendHeader(m_buffer, sim_stream::kCalibration,
                                    static_cast<uint32_t>(calibration.size()), 0);
        m_buffer.insert(m_buffer.end(), calibration.begin(), calibration.end());
    }

    if (fault == SimBufferFault::UnknownTypeId) {
        RawTofEncoder::AppendHeader(m_buffer, sim_stream::kUnknownType, 4, 0);
        m_buffer.insert(m_buffer.end(), 4, 0xEE);
    }

    std::shared_ptr<SimTofTruth> truth;
    if (!dropTof) {
        truth = std::make_shared<SimTofTruth>();
        truth->frameNumber = frameNumber;
        const size_t tofStart = m_buffer.size();
        if (!AppendTof(live, applied, *truth)) {
            truth.reset();
        } else if (fault == SimBufferFault::TruncatedSubPacket) {
            m_buffer.resize(tofStart + (m_buffer.size() - tofStart) / 2);
        }
    }

    const uint32_t payloadBytes = static_cast<uint32_t>(m_buffer.size() - kStreamHeaderBytes);
    for (int i = 0; i < 4; ++i) {
        m_buffer[4 + i] = static_cast<uint8_t>(payloadBytes >> (8 * i));
    }

    const size_t half = m_buffer.size() / 2;
    bool sent = false;
    if (fault == SimBufferFault::ShortThenClose) {
        // Whatever happens to the first half, the connection ends here.
        (void)m_link.send(
            std::vector<uint8_t>(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(half)));
        TFLOG("fault: the data connection closes in the middle of frame %llu",
              static_cast<unsigned long long>(frameNumber));
        // Stopped first, so that a host seeing the close finds the stream already off.
        m_link.stopStream();
        m_link.closeClient();
        return false;
    }
    if (stallMs > 0) {
        sent = m_link.send(
            std::vector<uint8_t>(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(half)));
        // Commands wake the thread; the stall still lasts its full time unless the stream stops.
        const Clock::time_point stallEnd = Clock::now() + std::chrono::milliseconds(stallMs);
        while (sent && Clock::now() < stallEnd) {
            if (!WaitUntil(stallEnd)) {
                return false;
            }
        }
        sent = sent && m_link.send(std::vector<uint8_t>(m_buffer.begin() + static_cast<std::ptrdiff_t>(half),
                                                        m_buffer.end()));
    } else {
        sent = m_link.send(m_buffer);
    }
    if (!sent) {
        // The client is gone or stopped reading: the camera ends the stream as a stop command would.
        TFLOG("frame %llu could not be sent; the stream stops", static_cast<unsigned long long>(frameNumber));
        m_link.stopStream();
        return false;
    }
    std::function<void(const SimTofTruth &)> callback;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_framesSent;
        if (truth) {
            m_lastTruth = truth;
            callback = m_frameCallback;
        }
        m_changed.notify_all();
    }
    if (callback) {
        callback(*truth);
    }
    return true;
}
