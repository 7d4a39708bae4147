// SPDX-License-Identifier: Apache-2.0
// StatusConfirmer: stream start and stop as the status record sees them, and the exposure's confirmation.
#include "session/StatusConfirmer.h"

#include <chrono>
#include <thread>

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
} // namespace

void StatusConfirmer::OnStreamStarting()
{
    if (!m_followed.load()) {
        m_requested.store(true);
    }
}

void StatusConfirmer::OnStreamStopped()
{
    // Buffers still on their way leave this alone; the next start asks the first buffer to settle it.
    m_requested.store(false);
    m_followed.store(false);
}

int StatusConfirmer::ConfirmExposure(uint8_t dataMode, const ExposureTime &exposure)
{
    uint32_t unused = 0;
    // An index with no status field could only time out: it is answered at once instead.
    if (!ExposureStatusField(dataMode, exposure.index, Read(), unused)) {
        return m_followed.load() ? kStatusNotConfirmed : kStatusOk;
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
