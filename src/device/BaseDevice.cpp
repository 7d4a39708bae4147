// SPDX-License-Identifier: Apache-2.0
// BaseDevice: opens, closes and probes the sessions of one camera.
#include "device/BaseDevice.h"

#include <mutex>

#include "protocol/PropertyKeys.h"
#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"
#include "session/BaseSession.h"

namespace {
std::mutex g_factoryMutex;
BaseDevice::SessionFactory g_factory; // guarded by g_factoryMutex; null: the library's own sessions

std::unique_ptr<BaseSession> CreateSession(const SessionInfo &info, int index)
{
    BaseDevice::SessionFactory factory;
    {
        std::lock_guard<std::mutex> lock(g_factoryMutex);
        factory = g_factory;
    }
    if (factory) {
        return factory(info, index);
    }
    if (info.linkType == kLinkTypeNetwork && DeviceInfo::IsKnownDeviceType(info.deviceType)) {
        return std::make_unique<BaseSession>(info);
    }
    // No other transport is in use: such a channel gets no session and the camera cannot be opened.
    TFLOG("linktype:%d devicetype:%d is not supported.", static_cast<int>(info.linkType),
          static_cast<int>(info.deviceType));
    return nullptr;
}
} // namespace

void BaseDevice::SetSessionFactory(SessionFactory factory)
{
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    g_factory = std::move(factory);
}

BaseDevice::BaseDevice(const DeviceInfo &info, bool setIndex) : m_info(info)
{
    for (int i = 0; i < m_info.SessionCount(); ++i) {
        std::unique_ptr<BaseSession> session = CreateSession(m_info.pSessionInfo[i], i);
        if (!session) {
            TFLOG("session:%d of %s cannot be created.", i, m_info.uri);
            continue;
        }
        if (setIndex) {
            session->SetSessionIndex(i);
        }
        m_sessions.push_back(std::move(session));
    }
}

BaseDevice::~BaseDevice()
{
    TFLOG("devicetype:%d.", static_cast<int>(m_info.deviceType));
    m_sessions.clear();
}

BaseSession *BaseDevice::GetSession(unsigned index)
{
    if (index >= m_sessions.size()) {
        TFLOG("sessionIndex:%d is invalid.", static_cast<int>(index));
        return nullptr;
    }
    return m_sessions[index].get();
}

int BaseDevice::Open(bool flag)
{
    if (m_sessions.empty()) {
        // Without a session there is nothing to stream from: never report such a camera as opened.
        TFLOG("%s has no usable session.", m_info.uri);
        return kStatusNotConnected;
    }
    for (auto &session : m_sessions) {
        int ret = session->OpenDevice(flag);
        if (ret != kStatusOk) {
            return ret;
        }
    }
    return kStatusOk;
}

int BaseDevice::Close()
{
    for (auto &session : m_sessions) {
        int ret = session->CloseDevice();
        if (ret != kStatusOk) {
            return ret;
        }
    }
    return kStatusOk;
}

int BaseDevice::GetSN(char *buf, int len)
{
    if (!DeviceInfo::IsKnownDeviceType(m_info.deviceType)) {
        TFLOG("devicetype:%d is invalid.", static_cast<int>(m_info.deviceType));
        return kStatusOk;
    }
    BaseSession *session = GetSession(0);
    if (session == nullptr) {
        return kStatusNotConnected;
    }
    return session->GetProperty(kSessionHeartbeat, buf, &len);
}

bool BaseDevice::GetStreamStatus()
{
    for (auto &session : m_sessions) {
        if (!session->GetStreamStatus()) {
            return false;
        }
    }
    return true;
}

bool BaseDevice::GetRawBufferStatus()
{
    for (auto &session : m_sessions) {
        if (!session->GetRawBufferStatus()) {
            return false;
        }
    }
    return true;
}

int BaseDevice::OnMessage(MessageType type)
{
    int ret = 0;
    if (type != kMessageRemoved) {
        return ret;
    }
    for (auto &session : m_sessions) {
        ret = session->OnMessage(kMessageRemoved);
    }
    return ret;
}
