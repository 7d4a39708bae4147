// SPDX-License-Identifier: Apache-2.0
// ProtocolStreamSource: the stream hub's session interface over a bare protocol object, for tools and
// tests that run the hub without a session.
#pragma once

#include <atomic>
#include <cstdint>

#include "pipeline/StreamSource.h"
#include "protocol/BaseProtocol.h"

/// Reads one stream buffer through `protocol` (may be null) as StreamSource::ReadData promises: true only
/// when a buffer of 1 to `capacity` bytes was read, its size in `length`.
bool ReadStreamBuffer(BaseProtocol *protocol, uint8_t *buffer, uint32_t capacity, uint32_t &length);

class ProtocolStreamSource : public StreamSource
{
public:
    /// `protocol` is owned by the caller and outlives this object; null means "no protocol yet".
    explicit ProtocolStreamSource(BaseProtocol *protocol) : m_protocol(protocol) {}

    bool HasProtocol() const override { return m_protocol != nullptr; }
    bool ReadData(uint8_t *buffer, uint32_t capacity, uint32_t &length) override;
    uint64_t GetRefusedBufferCount() const override
    {
        return m_protocol ? m_protocol->GetRefusedBufferCount() : 0;
    }

    DeviceStatus *GetDeviceStatus() override { return &m_status; }
    bool IsDeviceStatusRequested() const override { return m_requested.load(); }
    void SetDeviceStatusRequested(bool on) override { m_requested.store(on); }
    bool IsDeviceStatusFollowed() const override { return m_followed.load(); }
    void SetDeviceStatusFollowed(bool on) override { m_followed.store(on); }

    void StoreInitCameraParams(const InitCameraParams &params) override;
    /// The stored calibration block; false until one was stored.
    bool GetInitCameraParams(InitCameraParams &params) const;
    int SendCameraParamsEnable(bool enabled) override;
    /// SendCameraParamsEnable calls so far.
    uint32_t GetCameraParamsRequests() const { return m_paramsRequests.load(); }

private:
    BaseProtocol *m_protocol; // owned by the caller
    DeviceStatus m_status{};
    std::atomic<bool> m_requested{true};
    std::atomic<bool> m_followed{true};
    alignas(8) InitCameraParams m_params{}; // written by the hub thread before m_hasParams is set
    std::atomic<bool> m_hasParams{false};
    std::atomic<uint32_t> m_paramsRequests{0};
};
