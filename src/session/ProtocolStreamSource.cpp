// SPDX-License-Identifier: Apache-2.0
// ProtocolStreamSource: reads stream buffers through the protocol and keeps what the hub stores.
#include "session/ProtocolStreamSource.h"

#include <climits>

bool ReadStreamBuffer(BaseProtocol *protocol, uint8_t *buffer, uint32_t capacity, uint32_t &length)
{
    length = 0;
    if (protocol == nullptr || buffer == nullptr) {
        return false;
    }
    // The protocol's ReadData answers 0 even when nothing came; only the length tells a buffer was read.
    int got = 0;
    const int result = protocol->ReadData(buffer, &got);
    if (result != 0 || got <= 0 || static_cast<uint32_t>(got) > capacity) {
        return false;
    }
    length = static_cast<uint32_t>(got);
    return true;
}

bool ProtocolStreamSource::ReadData(uint8_t *buffer, uint32_t capacity, uint32_t &length)
{
    return ReadStreamBuffer(m_protocol, buffer, capacity, length);
}

void ProtocolStreamSource::StoreInitCameraParams(const InitCameraParams &params)
{
    m_params = params;
    m_hasParams.store(true);
}

bool ProtocolStreamSource::GetInitCameraParams(InitCameraParams &params) const
{
    if (!m_hasParams.load()) {
        return false;
    }
    params = m_params;
    return true;
}

int ProtocolStreamSource::SendCameraParamsEnable(bool enabled)
{
    m_paramsRequests.fetch_add(1);
    return m_protocol == nullptr ? -255 : m_protocol->SendCameraParamsEnable(enabled);
}
