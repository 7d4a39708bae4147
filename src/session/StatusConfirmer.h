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
/// once the camera accepted a setting, the session waits until the record shows it. While streaming,
/// whether the record is followed at all is settled by the first buffer after each stream start (the
/// hub thread sets the flags), since a camera may not report its status. While stopped, some cameras
/// keep sending buffers that hold only their status and others send nothing: the record is followed
/// once such a buffer has come since the stop. Buffers of the stream that were still on their way
/// carry images and do not count.
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
    /// Whether setters wait on the record now: while stopped, once a status-only buffer came since
    /// the stop; else as the hub settled it.
    bool IsFollowed() const { return m_stopped.load() ? m_statusSinceStop.load() : m_followed.load(); }
    void SetFollowed(bool on) { m_followed.store(on); }

    /// Before the camera starts streaming: after a stop, the first buffer of the new stream tells
    /// whether the camera reports its status.
    void OnStreamStarting();
    /// The camera stopped streaming: settings made now count as taken once the camera accepted them,
    /// until a buffer with only the camera's status comes.
    void OnStreamStopped();
    /// Looks at each stream buffer read (the hub thread's): while stopped, one that holds a status
    /// record and no image shows that the camera keeps reporting its status.
    void OnBufferRead(const uint8_t *buffer, uint32_t length);

    /// Waits poll every `periodMs` instead of their own period (0 restores the periods); the number of
    /// comparisons stays.
    void SetPollPeriodMs(unsigned periodMs) { m_pollPeriodOverrideMs.store(periodMs); }

    /// Settings that change the stream's layout are refused while the camera streams: kStatusStreaming
    /// then, else kStatusOk.
    static int RefuseWhileStreaming(bool streaming) { return streaming ? kStatusStreaming : kStatusOk; }

    /// Polls the record until `matches` holds: `count` comparisons `periodMs` apart, ended early when
    /// the camera stops reporting its status. 0 on a match, else kStatusNotConfirmed; 0 at once when
    /// the status is not followed (IsFollowed).
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
    std::atomic<bool> m_stopped{false};         // from a stream stop to the next start
    std::atomic<bool> m_statusSinceStop{false}; // a status-only buffer came since the stop
    std::atomic<unsigned> m_pollPeriodOverrideMs{0};
};

template <typename Match> int StatusConfirmer::Wait(int count, unsigned periodMs, Match matches)
{
    if (!IsFollowed()) {
        return kStatusOk;
    }
    const unsigned overrideMs = m_pollPeriodOverrideMs.load();
    const unsigned pauseMs = overrideMs != 0 ? overrideMs : periodMs;
    for (int i = 0; i < count && IsFollowed(); ++i) {
        if (matches(Read())) {
            return kStatusOk;
        }
        SleepMs(pauseMs);
    }
    return kStatusNotConfirmed;
}
