// SPDX-License-Identifier: Apache-2.0
// One opened camera read through the public API on a thread of its own: sets delivered, frames the
// camera sent (from the frame numbers the sets carry), and the latency from the camera's send to the read.
#include "CameraReader.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kListPollMs = 50;
constexpr int kNothingWithinWaitTime = -11;
constexpr size_t kPrefaultedArrivals = 1 << 17; // 2 MiB: ten minutes of four cameras, or 100,000 sets

bool IsListedAt(const std::string &uri, const std::string &ip)
{
    uint32_t count = 0;
    char listedIp[16] = {};
    if (TFCM_GetDeviceCount(&count) != 0 || count == 0 || TFCM_GetDeviceIP(uri.c_str(), listedIp) != 0 ||
        ip != listedIp) {
        return false;
    }
    std::vector<TfDeviceInfo> list(count);
    if (TFCM_GetDeviceListInfo(list.data(), count) != 0) {
        return false;
    }
    return std::any_of(list.begin(), list.end(), [&](const TfDeviceInfo &info) { return uri == info.uri; });
}

} // namespace

CameraReader::CameraReader(TfDeviceHandle device, Clock::time_point streamEpoch)
    : m_device(device), m_epoch(streamEpoch)
{
    // Written through now, so that filling it during a run adds nothing to the resident memory measured.
    m_arrivals.resize(kPrefaultedArrivals);
}

CameraReader::~CameraReader()
{
    Stop();
}

TfDeviceHandle CameraReader::OpenWhenListed(const std::string &uri, const std::string &ip, unsigned timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!IsListedAt(uri, ip)) {
        if (Clock::now() > deadline) {
            std::fprintf(stderr, "%s not listed at %s\n", uri.c_str(), ip.c_str());
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kListPollMs));
    }
    TfDeviceHandle device = nullptr;
    const int status = TFCM_OpenDevice(uri.c_str(), &device);
    if (status != 0) {
        std::fprintf(stderr, "cannot open %s: %d\n", uri.c_str(), status);
        return nullptr;
    }
    return device;
}

void CameraReader::Start()
{
    m_stop = false;
    m_countersAtStart = ReadDropCounters();
    m_thread = std::thread([this] { Run(); });
    while (m_tid.load() == 0) {
        std::this_thread::yield();
    }
}

void CameraReader::Stop()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
        m_countersAtStop = ReadDropCounters();
    }
}

bool CameraReader::WaitForSets(uint64_t sets, unsigned timeoutMs) const
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_sets.load() < sets) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void CameraReader::Run()
{
    m_tid = static_cast<int>(syscall(SYS_gettid));
    while (!m_stop.load()) {
        ReadOne();
    }
}

void CameraReader::ReadOne()
{
    TfFrameReady ready{};
    const int status = TFCM_ReadNextFrame(m_device, &ready);
    const Clock::time_point returned = Clock::now();
    TfFrame depth{};
    if (status != 0 || !ready.depth || TFCM_GetFrame(m_device, TF_FRAME_DEPTH, &depth) != 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++(status == kNothingWithinWaitTime ? m_counts.timeouts : m_counts.errors);
        if (status != 0 && status != kNothingWithinWaitTime) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // not connected: no busy loop
        }
        return;
    }
    TfFrame color{};
    const bool hasColor = ready.color && TFCM_GetFrame(m_device, TF_FRAME_COLOR, &color) == 0;
    // The camera numbers its buffers in one byte: the steps between sets count the frames it sent.
    const int number = depth.imuFrameNo;
    const uint64_t sent =
        m_lastFrameNumber < 0 ? 1 : static_cast<uint64_t>((number - m_lastFrameNumber + 256) % 256);
    m_lastFrameNumber = number;
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_counts.sets;
    m_counts.framesSent += sent;
    if (hasColor) {
        ++m_counts.colorSets;
        m_counts.colorWidth = color.width;
        m_counts.colorHeight = color.height;
    }
    if (depth.timestamp != 0) {
        if (m_arrivalCount == m_arrivals.size()) {
            m_arrivals.emplace_back();
        }
        m_arrivals[m_arrivalCount++] = Arrival{returned, depth.timestamp};
    }
    m_sets.fetch_add(1);
}

ReaderCounts CameraReader::Counts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts;
}

std::vector<double> CameraReader::LatenciesMs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // No set arrives before it was sent: an earlier arrival shows the stream clock started sooner.
    Clock::time_point epoch = m_epoch;
    const auto end = m_arrivals.begin() + static_cast<long>(m_arrivalCount);
    for (auto a = m_arrivals.begin(); a != end; ++a) {
        epoch = std::min(epoch, a->returned - std::chrono::microseconds(a->timestampUs));
    }
    std::vector<double> latencies;
    latencies.reserve(m_arrivalCount);
    for (auto a = m_arrivals.begin(); a != end; ++a) {
        const Clock::time_point sent = epoch + std::chrono::microseconds(a->timestampUs);
        latencies.push_back(std::chrono::duration<double, std::milli>(a->returned - sent).count());
    }
    return latencies;
}

std::vector<uint64_t> CameraReader::ReadDropCounters() const
{
#ifdef TF_PROPERTY_EXT_DROP_COUNTERS
    TfDropCounters c{};
    int32_t size = sizeof c;
    if (TFCM_GetProperty(m_device, TF_PROPERTY_EXT_DROP_COUNTERS, &c, &size) != 0) {
        return {};
    }
    return {c.tofDelivered,        c.colorDelivered,    c.tof.queueFull,       c.tof.setIncomplete,
            c.tof.decodeError,     c.tof.bufferRefused, c.tof.colorLate,       c.color.queueFull,
            c.color.setIncomplete, c.color.decodeError, c.color.bufferRefused, c.color.colorLate};
#else
    return {};
#endif
}

std::string CameraReader::DropCounters() const
{
    constexpr size_t kCounters = 12;
    if (m_countersAtStart.size() != kCounters || m_countersAtStop.size() != kCounters) {
        return "no drop counters from the library (frames sent counted from frame numbers only)";
    }
    unsigned long long d[kCounters];
    for (size_t i = 0; i < kCounters; ++i) {
        d[i] = m_countersAtStop[i] - m_countersAtStart[i];
    }
    char line[512];
    std::snprintf(
        line, sizeof line,
        "library counters over the run: delivered ToF %llu colour %llu; dropped ToF: queue full %llu, "
        "set incomplete %llu, decode %llu, refused %llu, late %llu; colour: queue full %llu, set "
        "incomplete %llu, decode %llu, refused %llu, late %llu",
        d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10], d[11]);
    return line;
}
