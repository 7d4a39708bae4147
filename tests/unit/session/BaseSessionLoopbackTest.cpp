// SPDX-License-Identifier: Apache-2.0
// BaseSession against a simulated camera: open and initialise (from the calibration block or from
// commands), stream frames, confirm settings against the streamed status, refuse while streaming,
// stop and start, close and reopen, and the notification function.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "CameraSimulator.h"
#include "SimCamera.h"
#include "SimStreamer.h"
#include "TestSupport.h"
#include "pipeline/ImageProc.h"
#include "session/BaseSession.h"

using orvtest::Contains;
using orvtest::LogMark;
using orvtest::LogSince;

namespace {
[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new orvtest::PrivateHomeEnvironment(true));

using Clock = std::chrono::steady_clock;

/// Bytes per pixel of a delivered frame's format.
uint32_t BytesPerPixel(uint32_t pixelFormat)
{
    switch (pixelFormat) {
    case kPixelGray8:
        return 1;
    case kPixelRgb888:
    case kPixelBgr888:
        return 3;
    default:
        return 2;
    }
}

/// One simulated camera on its own loopback address and a session built for it (not yet opened).
class SessionLoopback : public ::testing::Test
{
protected:
    static constexpr uint8_t kAddressByte = 70;

    void StartCamera(const std::function<void(SimCamera &)> &prepare = nullptr)
    {
        CameraSimulator::Options options;
        options.announcePeriodMs = 60000;
        options.discoveryPort = 9; // nothing listens: discovery plays no part here
        m_sim = std::make_unique<CameraSimulator>(options);
        SimCameraConfig config;
        config.serial = "SN0070";
        config.address = "127.0.0." + std::to_string(kAddressByte);
        m_camera = &m_sim->AddCamera(config);
        m_camera->UpdateSettings([](SimSettings &s) { s.serial = "SN0070"; });
        if (prepare) {
            prepare(*m_camera);
        }
        m_sim->Start();
        SessionInfo info;
        info.linkType = kLinkTypeNetwork;
        info.ip = 127u | (static_cast<uint32_t>(kAddressByte) << 24);
        info.cmdPort = 9008;
        info.dataPort = 9009;
        info.deviceType = 520;
        m_session = std::make_unique<BaseSession>(info);
    }

    void OpenCamera(const std::function<void(SimCamera &)> &prepare = nullptr)
    {
        StartCamera(prepare);
        ASSERT_EQ(m_session->OpenDevice(false), 0);
        ASSERT_TRUE(m_session->GetStreamStatus());
        ASSERT_TRUE(m_session->IsInitialised());
    }

    void TearDown() override
    {
        m_session.reset();
        m_sim.reset();
    }

    /// Reads frames until every type of `wanted` has come with a well-formed payload; the frame types
    /// seen, in the order they first came.
    std::set<int> ReadFrames(const std::set<int> &wanted, unsigned timeoutMs = 10000)
    {
        std::set<int> seen;
        uint32_t lastDepthIndex = 0;
        bool haveDepthIndex = false;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline && seen != wanted) {
            FrameReady ready{};
            if (m_session->PrepareNextFrame(&ready) != 0) {
                continue;
            }
            for (int type : wanted) {
                Frame frame{};
                if (m_session->GetFrame(static_cast<FrameType>(type), &frame) != 0) {
                    continue;
                }
                EXPECT_GT(static_cast<int>(frame.width), 0);
                EXPECT_GT(static_cast<int>(frame.height), 0);
                // The record is packed: its fields are read by value, never bound to references.
                EXPECT_EQ(+frame.dataLen,
                          uint32_t{frame.width} * frame.height * BytesPerPixel(frame.pixelFormat));
                EXPECT_TRUE(frame.pFrameData != nullptr);
                if (type == kFrameDepth) {
                    if (haveDepthIndex) {
                        EXPECT_GT(static_cast<uint32_t>(frame.frameIndex), lastDepthIndex);
                    }
                    lastDepthIndex = frame.frameIndex;
                    haveDepthIndex = true;
                }
                seen.insert(type);
            }
        }
        return seen;
    }

    std::unique_ptr<CameraSimulator> m_sim;
    SimCamera *m_camera = nullptr;
    std::unique_ptr<BaseSession> m_session;
};

const std::set<int> kAllFrames = {kFrameDepth, kFrameIr, kFrameConfidence, kFrameColor};

// ---------------------------------------------------------------------------------------------
// Initialisation
// ---------------------------------------------------------------------------------------------

// ---------------------------------------------------------------------------------------------
// Streaming, stopping, closing
// ---------------------------------------------------------------------------------------------

TEST_F(SessionLoopback, StreamsEveryFrameType)
{
    OpenCamera();
    ASSERT_EQ(m_session->SetConfidenceFrameEnabled(true), 0);
    EXPECT_EQ(ReadFrames(kAllFrames), kAllFrames);
    EXPECT_TRUE(m_session->GetRawBufferStatus());
}

// ---------------------------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------------------------

TEST_F(SessionLoopback, RefusedWhileStreamingWithoutContactingTheCamera)
{
    OpenCamera();
    const size_t framesBefore = m_camera->RecordedFrames().size();
    DualFreqMode dual{2, {1, 3, 0}};
    struct Row
    {
        const char *name;
        std::function<int()> call;
    };
    const Row rows[] = {
        {"data mode", [&] { return m_session->SetDataMode(1); }},
        {"depth range", [&] { return m_session->SetDepthRange(DepthRange{3}); }},
        {"dual frequency", [&] { return m_session->SetDualFreqMode(dual); }},
        {"frame rate", [&] { return m_session->SetTofFrameRate(15); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.call(), -107);
    }
    EXPECT_EQ(m_camera->RecordedFrames().size(), framesBefore);
}

} // namespace
