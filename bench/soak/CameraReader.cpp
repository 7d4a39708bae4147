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
    m_arrivals.reserve(1 << 16);
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
        m_arrivals.push_back(Arrival{returned, depth.timestamp});
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
    for (const Arrival &a : m_arrivals) {
        epoch = std::min(epoch, a.returned - std::chrono::microseconds(a.timestampUs));
    }
    std::vector<double> latencies;
    latencies.reserve(m_arrivals.size());
    for (const Arrival &a : m_arrivals) {
        const Clock::time_point sent = epoch + std::chrono::microseconds(a.timestampUs);
        latencies.push_back(std::chrono::duration<double, std::milli>(a.returned - sent).count());
    }
    return latencies;
}

std::string CameraReader::DropCounters() const
{
#ifdef TF_PROPERTY_EXT_DROP_COUNTERS
    TfDropCounters c{};
    int32_t size = sizeof c;
    const int status = TFCM_GetProperty(m_device, TF_PROPERTY_EXT_DROP_COUNTERS, &c, &size);
    if (status != 0) {
        return "drop counters unreadable (" + std::to_string(status) + ")";
    }
    char line[512];
    std::snprintf(line, sizeof line,
                  "delivered tof %llu colour %llu; dropped tof: queue %llu incomplete %llu decode %llu "
                  "refused %llu, colour: queue %llu incomplete %llu decode %llu refused %llu late %llu",
                  static_cast<unsigned long long>(c.tofDelivered),
                  static_cast<unsigned long long>(c.colorDelivered),
                  static_cast<unsigned long long>(c.tof.queueFull),
                  static_cast<unsigned long long>(c.tof.setIncomplete),
                  static_cast<unsigned long long>(c.tof.decodeError),
                  static_cast<unsigned long long>(c.tof.bufferRefused),
                  static_cast<unsigned long long>(c.color.queueFull),
                  static_cast<unsigned long long>(c.color.setIncomplete),
                  static_cast<unsigned long long>(c.color.decodeError),
                  static_cast<unsigned long long>(c.color.bufferRefused),
                  static_cast<unsigned long long>(c.color.colorLate));
    return line;
#else
    return "no drop counters in this library (counted from frame numbers only)";
#endif
}
