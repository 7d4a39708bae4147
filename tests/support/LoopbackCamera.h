// SPDX-License-Identifier: Apache-2.0
// One simulated camera on its own loopback address and an open protocol to it, for the pipeline's
// loopback tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "CameraSimulator.h"
#include "SimCamera.h"
#include "net/SocketProtocol.h"
#include "session/ProtocolStreamSource.h"

namespace orvtest {

/// How to reach session 0 of a simulated KR52Lite on 127.0.0.<lastByte> at the camera ports.
inline SessionInfo LoopbackSessionInfo(int lastByte)
{
    SessionInfo info;
    info.linkType = kLinkTypeNetwork;
    info.ip = 127u | (static_cast<uint32_t>(lastByte) << 24);
    info.cmdPort = 9008;
    info.dataPort = 9009;
    info.deviceType = 520;
    return info;
}

/// Builds the camera (no discovery), applies `settings`, opens both connections and waits for the data
/// client. Call Open() from SetUp under ASSERT_NO_FATAL_FAILURE.
class LoopbackCamera
{
public:
    LoopbackCamera(const char *serial, uint8_t lastAddressByte)
        : m_serial(serial), m_lastByte(lastAddressByte)
    {
    }
    ~LoopbackCamera()
    {
        if (m_protocol) {
            m_protocol->CloseDevice();
        }
        m_protocol.reset();
        m_sim.reset();
    }

    void Open(const std::function<void(SimSettings &)> &settings = nullptr, unsigned waitMs = 5000)
    {
        CameraSimulator::Options options;
        options.announcePeriodMs = 60000;
        options.discoveryPort = 9; // nothing listens: discovery plays no part here
        m_sim = std::make_unique<CameraSimulator>(options);
        SimCameraConfig config;
        config.serial = m_serial;
        config.address = "127.0.0." + std::to_string(m_lastByte);
        camera = &m_sim->AddCamera(config);
        if (settings) {
            camera->UpdateSettings(settings);
        }
        m_sim->Start();
        SessionInfo info = LoopbackSessionInfo(m_lastByte);
        m_protocol = std::make_unique<SocketProtocol>(info);
        ASSERT_EQ(m_protocol->OpenDevice(), 0);
        ASSERT_TRUE(camera->WaitForDataClient(waitMs));
        source = std::make_unique<ProtocolStreamSource>(m_protocol.get());
    }

    SocketProtocol *Protocol() { return m_protocol.get(); }

    SimCamera *camera = nullptr;
    std::unique_ptr<ProtocolStreamSource> source;

private:
    std::string m_serial;
    uint8_t m_lastByte;
    std::unique_ptr<CameraSimulator> m_sim;
    std::unique_ptr<SocketProtocol> m_protocol;
};

} // namespace orvtest
