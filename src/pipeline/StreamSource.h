// SPDX-License-Identifier: Apache-2.0
// StreamSource: what the stream hub needs from its camera session (reads, status record, calibration).
#pragma once

#include <cstdint>
#include <mutex>

#include "pipeline/DeviceStatus.h"

/// The session side of the stream hub. The session implements it; tests and tools may use an adapter
/// over a bare protocol object. The hub thread calls every operation and is the status record's only
/// writer, under StatusLock(); other threads (the session's setters, the ToF decoder) read it as a whole
/// through ReadDeviceStatus(), so that no reader sees a record half written.
class StreamSource
{
public:
    virtual ~StreamSource() = default;

    /// False while the session has no protocol object to read from; the hub then idles.
    virtual bool HasProtocol() const = 0;
    /// Reads one stream buffer of at most `capacity` bytes into `buffer`. True only when a buffer was
    /// read; `length` is then its size (at least 1). A read that yields nothing is a failed read.
    virtual bool ReadData(uint8_t *buffer, uint32_t capacity, uint32_t &length) = 0;
    /// Buffers the connection refused or cut short before ReadData could return them, so far; a new
    /// connection may start again from 0.
    virtual uint64_t GetRefusedBufferCount() const { return 0; }

    /// The status record the camera reports, kept in the session.
    virtual DeviceStatus *GetDeviceStatus() = 0;
    /// Held while the record is written.
    std::mutex &StatusLock() { return m_statusLock; }
    /// A consistent copy of the record; all zero when there is none.
    DeviceStatus ReadDeviceStatus()
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        const DeviceStatus *status = GetDeviceStatus();
        return status != nullptr ? *status : DeviceStatus{};
    }
    /// On until the first stream buffer has settled whether the camera reports its status.
    virtual bool IsDeviceStatusRequested() const = 0;
    virtual void SetDeviceStatusRequested(bool on) = 0;
    /// On while the camera is known or assumed to report its status; setters wait on the record then.
    virtual bool IsDeviceStatusFollowed() const = 0;
    virtual void SetDeviceStatusFollowed(bool on) = 0;

    /// Keeps the calibration block the camera sent, once it has been accepted.
    virtual void StoreInitCameraParams(const InitCameraParams &params) = 0;
    /// Asks the camera to send (or stop sending) its calibration block in the stream.
    virtual int SendCameraParamsEnable(bool enabled) = 0;

private:
    std::mutex m_statusLock;
};
