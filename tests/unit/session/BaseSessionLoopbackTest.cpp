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
#include "SessionTestSupport.h"
#include "SimCamera.h"
#include "SimStreamer.h"
#include "pipeline/ImageProc.h"
#include "session/BaseSession.h"

using session_test::Contains;
using session_test::LogMark;
using session_test::LogSince;

namespace {

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

    /// Sets go without a reply: waits (bounded) until the camera has applied them.
    bool AwaitSettings(const std::function<bool(const SimSettings &)> &applied)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!applied(m_camera->Settings())) {
            if (Clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    std::unique_ptr<CameraSimulator> m_sim;
    SimCamera *m_camera = nullptr;
    std::unique_ptr<BaseSession> m_session;
};

const std::set<int> kAllFrames = {kFrameDepth, kFrameIr, kFrameConfidence, kFrameColor};

// ---------------------------------------------------------------------------------------------
// Initialisation
// ---------------------------------------------------------------------------------------------

TEST_F(SessionLoopback, BlockReceivedBeforeTheFirstTryIsAWaitOfZero)
{
    StartCamera();
    // The block is in before the stream starts, as with a camera that sends it at once.
    const std::vector<uint8_t> block = SimStreamer::EncodeCalibration(m_camera->Settings());
    ASSERT_EQ(m_session->GetImageProc()->DecodeDeviceInitParams(block.data(), static_cast<int>(block.size())),
              0);
    const size_t mark = LogMark();
    ASSERT_EQ(m_session->OpenDevice(false), 0);
    const std::string log = LogSince(mark);
    EXPECT_TRUE(Contains(log, "]:wait:0.\n"));
    EXPECT_FALSE(Contains(log, "first frame data is toot late."));
    EXPECT_EQ(m_session->GetTofIntrinsic()[0], 520.0);
    EXPECT_EQ(m_session->GetSerialNumber(), "SN0070");
    EXPECT_EQ(m_session->GetCurrentDepthRange(), 2u);
}

TEST_F(SessionLoopback, DelayedBlockIsWaitedFor)
{
    StartCamera([](SimCamera &c) {
        // Without colour each buffer is quick to make, so the block follows the delay closely.
        c.UpdateSettings([](SimSettings &s) { s.lenses[2].state = 0; });
        c.Streamer().SetCalibrationDelay(0, 360);
    });
    const size_t mark = LogMark();
    ASSERT_EQ(m_session->OpenDevice(false), 0);
    const std::string log = LogSince(mark);
    const size_t at = log.find("]:wait:");
    ASSERT_NE(at, std::string::npos) << log;
    const int waitedMs = std::stoi(log.substr(at + 7));
    EXPECT_EQ(waitedMs % 10, 0);
    // The block arrives 360 ms after it was asked for; the tries begin a little later.
    EXPECT_GE(waitedMs, 250);
    EXPECT_LT(waitedMs, 1000);
    EXPECT_EQ(m_session->GetTofIntrinsic()[2], 320.0);
}

TEST_F(SessionLoopback, WithheldBlockFallsBackToCommands)
{
    StartCamera([](SimCamera &c) {
        c.Streamer().WithholdCalibration(true);
        c.UpdateSettings([](SimSettings &s) { s.tofIntrinsic = {510, 0, 318, 0, 511, 238, 0, 0, 1}; });
    });
    const size_t mark = LogMark();
    const auto start = Clock::now();
    ASSERT_EQ(m_session->OpenDevice(false), 0);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(1000));
    const std::string log = LogSince(mark);
    EXPECT_TRUE(Contains(log, "]:first frame data is toot late.\n"));
    EXPECT_FALSE(Contains(log, "]:wait:"));
    // Without distortion the undistorted intrinsics are those the camera answered.
    EXPECT_NEAR(m_session->GetTofIntrinsic()[0], 510.0, 1e-6);
    EXPECT_NEAR(m_session->GetTofIntrinsic()[2], 318.0, 1e-6);
    EXPECT_EQ(m_session->GetCurrentDepthRange(), 2u);
    EXPECT_EQ(m_session->GetSerialNumber(), "SN0070");
    EXPECT_EQ(ReadFrames({kFrameDepth}), (std::set<int>{kFrameDepth}));
}

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

TEST_F(SessionLoopback, StopAndStartWithoutSecondInitialisation)
{
    OpenCamera();
    size_t mark = LogMark();
    EXPECT_EQ(m_session->OpenDevice(false), -103);
    EXPECT_TRUE(Contains(LogSince(mark), "]:has opened\n"));

    EXPECT_EQ(m_session->StopStream(), 0);
    EXPECT_FALSE(m_session->GetStreamStatus());
    FrameReady ready{};
    EXPECT_EQ(m_session->PrepareNextFrame(&ready), -1);
    Frame frame{};
    EXPECT_EQ(m_session->GetFrame(kFrameDepth, &frame), -1);
    mark = LogMark();
    EXPECT_EQ(m_session->StopStream(), 0);
    EXPECT_TRUE(
        Contains(LogSince(mark), "]:The device image stream has been stopped. Do not stop it again.\n"));

    mark = LogMark();
    EXPECT_EQ(m_session->StartStream(), 0);
    EXPECT_EQ(m_session->StartStream(), 0);
    std::string log = LogSince(mark);
    EXPECT_TRUE(Contains(log, "]:The device image stream has been started. Do not start it again.\n"));
    EXPECT_FALSE(Contains(log, "]:wait:"));
    EXPECT_FALSE(Contains(log, "toot late"));
    EXPECT_EQ(ReadFrames({kFrameDepth, kFrameIr}), (std::set<int>{kFrameDepth, kFrameIr}));

    // Closing ends the camera's stream with its connection; opening again streams and initialises.
    EXPECT_EQ(m_session->CloseDevice(), 0);
    EXPECT_FALSE(m_session->IsOpened());
    EXPECT_FALSE(m_session->IsInitialised());
    mark = LogMark();
    ASSERT_EQ(m_session->OpenDevice(false), 0);
    log = LogSince(mark);
    EXPECT_TRUE(Contains(log, "]:wait:"));
    EXPECT_TRUE(m_session->GetStreamStatus());
    EXPECT_EQ(ReadFrames({kFrameDepth}), (std::set<int>{kFrameDepth}));
}

std::atomic<int> g_notified{0};
int CountFrames(CallbackFrames *)
{
    g_notified.fetch_add(1);
    return 0;
}

TEST_F(SessionLoopback, UnregisteringTheNotificationRestoresPolling)
{
    OpenCamera();
    g_notified = 0;
    ASSERT_TRUE(m_session->RegisterNotify(&CountFrames));
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (g_notified.load() < 3 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(g_notified.load(), 3);
    FrameReady ready{};
    EXPECT_EQ(m_session->PrepareNextFrame(&ready), -1); // no polling while the function is registered

    EXPECT_TRUE(m_session->UnRegisterNotify());
    const int afterUnregister = g_notified.load();
    EXPECT_EQ(ReadFrames({kFrameDepth}), (std::set<int>{kFrameDepth}));
    EXPECT_EQ(g_notified.load(), afterUnregister);
}

// ---------------------------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------------------------

TEST_F(SessionLoopback, SettersWhileStreamingAreConfirmedByTheStatus)
{
    OpenCamera([](SimCamera &c) { c.Streamer().SetStatusDelayMs(50); });
    struct Row
    {
        const char *name;
        std::function<int(BaseSession &)> set;
        std::function<bool(const SimSettings &)> reached;
    };
    const Row rows[] = {
        {"exposure",
         [](BaseSession &s) {
             return s.SetExposureTime(ExposureTime{0, 777});
         },
         [](const SimSettings &s) { return s.exposureUs.at(0) == 777; }},
        {"gain", [](BaseSession &s) { return s.SetGMMGain(21); },
         [](const SimSettings &s) { return s.gmmGain == 21; }},
        {"slave mode on", [](BaseSession &s) { return s.SetSlaveModeEnabled(true); },
         [](const SimSettings &s) { return s.slaveModeEnabled; }},
        {"slave mode off", [](BaseSession &s) { return s.SetSlaveModeEnabled(false); },
         [](const SimSettings &s) { return !s.slaveModeEnabled; }},
        {"slave mode", [](BaseSession &s) { return s.SetSlaveMode(1); },
         [](const SimSettings &s) { return s.slaveMode == 1; }},
        {"work mode",
         [](BaseSession &s) {
             return s.SetWorkMode(WorkMode{3, 0, 0, 0, 0});
         },
         [](const SimSettings &s) { return s.workMode.mode == 3; }},
        {"low power", [](BaseSession &s) { return s.SetLowPowerModeEnabled(true); },
         [](const SimSettings &s) { return (s.workMode.mode & 0x20) != 0; }},
        {"lens",
         [](BaseSession &s) {
             return s.SetLens(LensConfig{2, 1, 1280, 720, 25, 1});
         },
         [](const SimSettings &s) { return s.lenses.at(2).width == 1280 && s.lenses.at(2).height == 720; }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.set(*m_session), 0);
        EXPECT_TRUE(AwaitSettings(row.reached));
    }
    FrameMode color{};
    m_session->GetFrameMode(kFrameColor, &color);
    EXPECT_EQ(color.width, 1280u);
    EXPECT_EQ(color.height, 720u);
}

TEST_F(SessionLoopback, StoppedStreamSettingsReachTheCamera)
{
    OpenCamera();
    ASSERT_EQ(m_session->StopStream(), 0);
    // A stopped camera streams nothing, its status included: it is taken at its word.
    m_session->SetDeviceStatusFollowed(false);
    EXPECT_EQ(m_session->SetDepthRange(DepthRange{3}), 0);
    EXPECT_EQ(m_session->GetCurrentDepthRange(), 3u);
    EXPECT_TRUE(AwaitSettings([](const SimSettings &c) { return c.depthRange == 3; }));
    EXPECT_EQ(m_session->SetTofFrameRate(15), 0);
    EXPECT_TRUE(AwaitSettings([](const SimSettings &c) { return c.frameRate == 15; }));
    EXPECT_EQ(m_session->SetDataMode(9), 0);
    EXPECT_EQ(m_session->GetCurrentDataMode(), 9);
    EXPECT_TRUE(AwaitSettings([](const SimSettings &c) { return c.dataMode == 9; }));
    DualFreqMode dual{2, {1, 3, 0}};
    EXPECT_EQ(m_session->SetDualFreqMode(dual), 0);
    EXPECT_TRUE(AwaitSettings([](const SimSettings &c) { return c.dualFreqValues[1] == 3; }));
    EXPECT_EQ(+m_session->GetCurrentDualFreqMode().values[1], 3);
    EXPECT_EQ(m_session->SetDepthRange(DepthRange{2}), 1);

    // The stream comes back in the new mode, and its status confirms settings again.
    m_session->SetDeviceStatusFollowed(true);
    ASSERT_EQ(m_session->StartStream(), 0);
    EXPECT_EQ(ReadFrames({kFrameDepth}), (std::set<int>{kFrameDepth}));
    EXPECT_EQ(+m_session->ReadDeviceStatus().mode, 9);
    EXPECT_EQ(m_session->SetGMMGain(17), 0);
}

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

TEST_F(SessionLoopback, UnconfirmedSettingsTimeOut)
{
    OpenCamera();
    m_session->SetConfirmPollPeriodMs(1);
    m_camera->Streamer().FreezeStatus(true);

    size_t mark = LogMark();
    EXPECT_EQ(m_session->SetGMMGain(30), -105);
    EXPECT_TRUE(Contains(LogSince(mark), "]:receive m_GmmGain 8\n"));
    // The camera took it; its status never showed it.
    EXPECT_TRUE(AwaitSettings([](const SimSettings &c) { return c.gmmGain == 30; }));

    mark = LogMark();
    EXPECT_EQ(m_session->SetLens(LensConfig{2, 1, 1280, 720, 25, 1}), -105);
    EXPECT_TRUE(Contains(LogSince(mark), "]:set (1280,720) is mismatch sync(640,480)\n"));

    // A work mode of 16 is never waited for; another one is.
    EXPECT_EQ(m_session->SetWorkMode(WorkMode{16, 0, 0, 0, 0}), 0);
    mark = LogMark();
    EXPECT_EQ(m_session->SetWorkMode(WorkMode{3, 0, 0, 0, 0}), -105);
    EXPECT_TRUE(Contains(LogSince(mark), "]:3 != 0:\n"));

    // A stopped camera sends no status: what it accepts while stopped is taken without waiting.
    ASSERT_EQ(m_session->StopStream(), 0);
    EXPECT_EQ(m_session->SetDepthRange(DepthRange{4}), 0);
    EXPECT_EQ(m_session->GetCurrentDepthRange(), 4u);
    EXPECT_TRUE(AwaitSettings([](const SimSettings &c) { return c.depthRange == 4; }));
    // Streaming again, the first buffer shows the camera reports its status: waits are back.
    ASSERT_EQ(m_session->StartStream(), 0);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!m_session->IsDeviceStatusFollowed() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(m_session->IsDeviceStatusFollowed());
    EXPECT_EQ(m_session->SetGMMGain(31), -105);
}

} // namespace
