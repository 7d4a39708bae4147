// SPDX-License-Identifier: Apache-2.0
// StatusConfirmer: stream start and stop as the status record sees them, and the exposure's confirmation.
#include "session/StatusConfirmer.h"

#include <chrono>
#include <thread>

#include "pipeline/StreamLayout.h"
#include "protocol/DataModes.h"

namespace {
/// Whether the confirmation of an exposure has a status field to compare with, and which: one exposure
/// in single-range modes, one per range slot in the modes where the camera picks the range.
bool ExposureStatusField(uint8_t dataMode, uint8_t index, const DeviceStatus &s, uint32_t &value)
{
    if (!IsMultiRangeMode(dataMode)) {
        value = s.exposureTime;
        return true;
    }
    switch (index) {
    case 0:
        value = s.wdrExposureTime[0];
        return true;
    case 1:
        value = s.wdrExposureTime[1];
        return true;
    case 3:
        value = s.wdrExposureTime[2];
        return true;
    default:
        return false;
    }
}

/// Whether a stream buffer's sub-packets hold a status record and nothing but bookkeeping (timestamp,
/// IMU number, calibration, results): no ToF block, no colour image. A buffer that cannot be walked to
/// its end does not count.
bool CarriesStatusOnly(const uint8_t *buffer, uint32_t length)
{
    using namespace StreamLayout;
    bool status = false;
    uint32_t at = 0;
    while (at < length) {
        const uint8_t typeId = buffer[at];
        const uint32_t left = length - at;
        uint32_t header = kHeaderBytes;
        uint32_t payload = 0;
        if (typeId == kTypeDeviceStatus) {
            header = kStatusHeaderBytes;
            payload = left < header ? 0 : buffer[at + 1] | (buffer[at + 2] << 8);
            status = true;
        } else if (typeId == kTypeTimestamp || typeId == kTypeImu || typeId == kTypeUnused ||
                   typeId == kTypeInitParams || typeId == kTypeJsonResult || typeId == kTypeDeviceError) {
            payload = left < header ? 0 : buffer[at + 1] | (buffer[at + 2] << 8) | (buffer[at + 3] << 16);
        } else {
            return false;
        }
        if (left < header || payload > left - header) {
            return false;
        }
        at += header + payload;
    }
    return status;
}
} // namespace

void StatusConfirmer::OnStreamStarting()
{
    m_stopped.store(false);
    if (!m_followed.load()) {
        m_requested.store(true);
    }
}

void StatusConfirmer::OnStreamStopped()
{
    // The next start asks the first buffer to settle whether the stream carries the status.
    m_requested.store(false);
    m_followed.store(false);
    m_statusSinceStop.store(false);
    m_stopped.store(true);
}

void StatusConfirmer::OnBufferRead(const uint8_t *buffer, uint32_t length)
{
    if (m_stopped.load() && !m_statusSinceStop.load() && buffer != nullptr &&
        CarriesStatusOnly(buffer, length)) {
        m_statusSinceStop.store(true);
    }
}

int StatusConfirmer::ConfirmExposure(uint8_t dataMode, const ExposureTime &exposure)
{
    uint32_t unused = 0;
    // An index with no status field could only time out: it is answered at once instead.
    if (!ExposureStatusField(dataMode, exposure.index, Read(), unused)) {
        return IsFollowed() ? kStatusNotConfirmed : kStatusOk;
    }
    return Wait(100, 10, [&](const DeviceStatus &s) {
        uint32_t value = 0;
        return ExposureStatusField(dataMode, exposure.index, s, value) && value == exposure.exposureTime;
    });
}

void StatusConfirmer::SleepMs(unsigned ms) const
{
    // sleep_for resumes after a signal until the whole time has passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
