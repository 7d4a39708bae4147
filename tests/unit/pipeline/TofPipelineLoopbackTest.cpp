// SPDX-License-Identifier: Apache-2.0
// The ToF road end to end: a simulated camera streams raw four-phase frames of its scene over a real data
// connection; the hub demultiplexes them and the decoder turns them into depth that must match the scene.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "CameraSimulator.h"
#include "LoopbackCamera.h"
#include "RawTofEncoder.h"
#include "SimCamera.h"
#include "SimStreamer.h"
#include "TestSupport.h"
#include "net/SocketCtl.h"
#include "net/SocketProtocol.h"
#include "pipeline/DepthRanges.h"
#include "pipeline/ImageProc.h"
#include "session/ProtocolStreamSource.h"

namespace {

constexpr unsigned kWaitMs = 5000;
constexpr int kPixels = 640 * 480;

class TofPipelineLoopbackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SocketCtl::SetReceiveTimeoutMs(300);
        ASSERT_NO_FATAL_FAILURE(m_link.Open(
            [](SimSettings &s) {
                s.dataMode = 0; // raw four-phase frames in the current depth range
                s.frameRate = 30;
                s.lenses[2].state = 0; // ToF only: colour plays no part here
            },
            kWaitMs));
        m_camera = m_link.camera;
        m_protocol = m_link.Protocol();
        m_hub = std::make_unique<ImageProc>(m_link.source.get());
    }
    void TearDown() override
    {
        if (m_protocol) {
            m_protocol->StopStream();
        }
        m_hub.reset();
        SocketCtl::SetReceiveTimeoutMs(SocketCtl::kDefaultReceiveTimeoutMs);
    }

    /// Starts the decoder, with the camera's six factory range tables written into a fresh directory,
    /// and the hub.
    void StartPipeline()
    {
        const std::string dir = m_home.Home() + "/Config/";
        mkdir(dir.c_str(), 0700);
        for (uint32_t range = 0; range <= 5; ++range) {
            std::string bytes;
            for (int16_t v :
                 RawTofEncoder::RangeOffsetTable(int(range), DepthRanges::GetSonyMaxDepth(range))) {
                bytes += static_cast<char>(v & 0xFF);
                bytes += static_cast<char>(static_cast<uint16_t>(v) >> 8);
            }
            orvtest::WriteFile(dir + "rangeOffset_" + std::to_string(range) + ".bin", bytes);
        }
        ASSERT_EQ(m_hub->StartTofDecoder(dir), 0);
        m_decoder = m_hub->GetTofDecode();
        ASSERT_NE(m_decoder, nullptr);
        m_decoder->SetTemperatureOffsetEnable(false);
        m_decoder->SetDataMode(0);
        m_hub->Start();
    }

    /// Pops decoded depth frames until one of `range` arrives (or the wait ends) and hands it out.
    Frame *NextDepthOfRange(uint32_t range)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            Frame *frame = m_decoder->GetDepthQueue()->Pop(kFrameDepth);
            if (frame == nullptr) {
                continue;
            }
            if (frame->depthRange == range && frame->dataLen == kPixels * 2) {
                return frame;
            }
            m_decoder->RecycleDecodedTofDepthFrame(frame);
        }
        return nullptr;
    }

    orvtest::LoggedHome m_home;
    orvtest::LoopbackCamera m_link{"SNTOF1", 32};
    SimCamera *m_camera = nullptr;
    SocketProtocol *m_protocol = nullptr;
    std::unique_ptr<ImageProc> m_hub;
    TofDecode *m_decoder = nullptr;
};

TEST_F(TofPipelineLoopbackTest, DecodedDepthMatchesTheSceneInEveryRange)
{
    // With the camera's range tables the decoded depth is the scene's within 2 mm in every range, or
    // within what the sensor's 12-bit samples allow for a dim pixel: rounding each of the four tap
    // differences moves the phase by up to about 1.5 / amplitude radians, on top of the tables' 1 mm step.
    StartPipeline();
    ASSERT_EQ(m_protocol->StartStream(), 0);
    for (uint32_t range = 0; range <= 5; ++range) {
        SCOPED_TRACE("range " + std::to_string(range));
        ASSERT_EQ(m_protocol->SetDepthRange(DepthRange{range}), 0);
        m_decoder->SetDepthRange(range);
        // Skip frames that may still be of the previous range's settings.
        ASSERT_TRUE(m_camera->Streamer().WaitForFramesSent(m_camera->Streamer().FramesSent() + 3, kWaitMs));
        Frame *depth = NextDepthOfRange(range);
        ASSERT_NE(depth, nullptr);
        std::shared_ptr<const SimTofTruth> truth = m_camera->Streamer().LastGroundTruth();
        ASSERT_NE(truth, nullptr);
        ASSERT_EQ(truth->range, range);
        const uint16_t *decoded = reinterpret_cast<const uint16_t *>(depth->pFrameData);
        int compared = 0, outside = 0;
        double worstMm = 0;
        for (int i = 0; i < kPixels; ++i) {
            const double want = truth->depthMm[i];
            // Pixels beyond this range's wrap-around distance (less the 2 mm bound) are not its to measure.
            if (want > 0 && want < DepthRanges::GetSonyMaxDepth(range) - 2.0) {
                ++compared;
                const double error = std::fabs(decoded[i] - want);
                worstMm = std::max(worstMm, error);
                outside += error > std::max(2.0, 1.0 + 1.5 * truth->mmPerRadian /
                                                           std::max<double>(truth->amplitude[i], 1.0));
            }
        }
        m_decoder->RecycleDecodedTofDepthFrame(depth);
        std::printf("range %u: %d pixels, worst error %.2f mm\n", range, compared, worstMm);
        EXPECT_GT(compared, kPixels / 20) << "the scene has content in this range";
        EXPECT_EQ(outside, 0) << "worst error " << worstMm << " mm";
    }
}

// (Dual-frequency fusion is the decoder's and the depth ranges' tests' to check on synthetic frames; depth
// the camera computed, copied bit for bit, the delivery tests'. That streaming loses nothing is the drop
// counters' loopback tests' to show through the public API; what it costs in frame rate, memory and CPU,
// the soak benchmarks'.)

} // namespace
