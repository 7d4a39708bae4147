// SPDX-License-Identifier: Apache-2.0
// StatusConfirmer: the status record a camera streams, and the waits that confirm a setting against it.
#pragma once

#include <atomic>
#include <cstdint>

#include "pipeline/DeviceStatus.h"
#include "pipeline/StreamSource.h"
#include "protocol/ProtocolTypes.h"
#include "protocol/StatusCodes.h"

/// Confirms a session's settings against the status record the camera carries in its stream buffers:
/// once the camera accepted a setting, the session waits until the record shows it. Whether the record
/// is followed at all is settled by the first buffer after each stream start (the hub thread sets the
/// flags), since a camera may not report its status and a stopped camera reports nothing.
class StatusConfirmer
{
public:
    /// `source` is the session that owns the confirmer; the record is read under its status lock.
    explicit StatusConfirmer(StreamSource &source) : m_source(source) {}

    StatusConfirmer(const StatusConfirmer &) = delete;
    StatusConfirmer &operator=(const StatusConfirmer &) = delete;

    /// The record the hub thread writes under the source's StatusLock().
    DeviceStatus *Record() { return &m_record; }
    /// A consistent copy of the record.
    DeviceStatus Read() { return m_source.ReadDeviceStatus(); }

    bool IsRequested() const { return m_requested.load(); }
    void SetRequested(bool on) { m_requested.store(on); }
    bool IsFollowed() const { return m_followed.load(); }
    void SetFollowed(bool on) { m_followed.store(on); }

    /// Before the camera starts streaming: after a stop, the first buffer of the new stream tells
    /// whether the camera reports its status.
    void OnStreamStarting();
    /// The camera stopped streaming: settings made now cannot be confirmed and count as taken once the
    /// camera accepted them.
    void OnStreamStopped();

    /// Waits poll every `periodMs` instead of their own period (0 restores the periods); the number of
    /// comparisons stays.
    void SetPollPeriodMs(unsigned periodMs) { m_pollPeriodOverrideMs.store(periodMs); }

    /// Settings that change the stream's layout are refused while the camera streams: kStatusStreaming
    /// then, else kStatusOk.
    static int RefuseWhileStreaming(bool streaming) { return streaming ? kStatusStreaming : kStatusOk; }

    /// Polls the record until `matches` holds: `count` comparisons `periodMs` apart, ended early when
    /// the camera stops reporting its status. 0 on a match, else kStatusNotConfirmed; 0 at once when
    /// the status is not followed.
    template <typename Match> int Wait(int count, unsigned periodMs, Match matches);
    /// The result of a setting the camera was sent: its failure (`sent` not 0) as it is, else the wait.
    template <typename Match> int Confirm(int sent, int count, unsigned periodMs, Match matches)
    {
        return sent != kStatusOk ? sent : Wait(count, periodMs, matches);
    }
    /// Confirms an exposure the camera accepted in data mode `dataMode`. An index that has no status
    /// field in that mode is not waited for: 0 when the status is not followed, else kStatusNotConfirmed.
    int ConfirmExposure(uint8_t dataMode, const ExposureTime &exposure);

private:
    void SleepMs(unsigned ms) const;

    StreamSource &m_source; // the owning session
    DeviceStatus m_record{};
    std::atomic<bool> m_followed{true};
    std::atomic<bool> m_requested{true};
    std::atomic<unsigned> m_pollPeriodOverrideMs{0};
};

template <typename Match> int StatusConfirmer::Wait(int count, unsigned periodMs, Match matches)
{
    if (!m_followed.load()) {
        return kStatusOk;
    }
    const unsigned overrideMs = m_pollPeriodOverrideMs.load();
    const unsigned pauseMs = overrideMs != 0 ? overrideMs : periodMs;
    for (int i = 0; i < count && m_followed.load(); ++i) {
        if (matches(Read())) {
            return kStatusOk;
        }
        SleepMs(pauseMs);
    }
    return kStatusNotConfirmed;
}
