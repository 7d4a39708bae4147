// SPDX-License-Identifier: Apache-2.0
// BaseDevice: one open camera, owning one session per sensor channel.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "device/DeviceInfo.h"

class BaseSession;

class BaseDevice
{
public:
    /// Builds the session of one channel; `index` is the session index.
    using SessionFactory = std::function<std::unique_ptr<BaseSession>(const SessionInfo &info, int index)>;

    /// Copies `info` and creates one session per SessionInfo (given its index when `setIndex`).
    BaseDevice(const DeviceInfo &info, bool setIndex);
    virtual ~BaseDevice();

    BaseDevice(const BaseDevice &) = delete;
    BaseDevice &operator=(const BaseDevice &) = delete;

    virtual BaseSession *GetSession(unsigned index);
    /// Opens every session in order; the first failure is returned. A camera without a session
    /// cannot be used, so opening it fails with -13.
    virtual int Open(bool flag);
    virtual int Close();
    /// The liveness probe: the heartbeat transaction of session 0.
    virtual int GetSN(char *buf, int len);
    virtual bool GetStreamStatus();
    virtual bool GetRawBufferStatus();
    virtual int OnMessage(MessageType type);

    const DeviceInfo &Info() const { return m_info; }

    /// Replaces how sessions are created (tests inject fakes; null restores the default).
    static void SetSessionFactory(SessionFactory factory);

private:
    DeviceInfo m_info;
    std::vector<std::unique_ptr<BaseSession>> m_sessions;
};
