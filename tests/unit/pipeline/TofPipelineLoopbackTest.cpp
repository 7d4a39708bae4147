// SPDX-License-Identifier: Apache-2.0
// The ToF road end to end: a simulated camera streams raw four-phase frames of its scene over a real data
// connection; the hub demultiplexes them and the decoder turns them into depth that must match the scene.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
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
constexpr uint32_t kAnyRange = 0xFFFFFFFFu;

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

    /// Starts the decoder in `dataMode` and the hub; with `rangeTables` the decoder reads the camera's six
    /// factory range tables, written into a fresh directory, else it uses identity tables.
    void StartPipeline(uint8_t dataMode, bool rangeTables)
    {
        std::string dir = "/nonexistent/";
        if (rangeTables) {
            dir = m_home.Home() + "/Config/";
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
        }
        m_camera->UpdateSettings([dataMode](SimSettings &s) { s.dataMode = dataMode; });
        ASSERT_EQ(m_hub->StartTofDecoder(dir), 0);
        m_decoder = m_hub->GetTofDecode();
        ASSERT_NE(m_decoder, nullptr);
        m_decoder->SetTemperatureOffsetEnable(false);
        m_decoder->SetDataMode(dataMode);
        m_hub->Start();
    }

    /// Pops decoded depth frames until one of `range` (or of any range) arrives (or the wait ends) and hands
    /// it out.
    Frame *NextDepthOfRange(uint32_t range)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            Frame *frame = m_decoder->GetDepthQueue()->Pop(kFrameDepth);
            if (frame == nullptr) {
                continue;
            }
            if ((range == kAnyRange || frame->depthRange == range) && frame->dataLen == kPixels * 2) {
                return frame;
            }
            m_decoder->RecycleDecodedTofDepthFrame(frame);
        }
        return nullptr;
    }

    /// The next decoded depth frame of `range` against the scene the camera rendered last, over the pixels
    /// nearer than `limitMm` (farther ones are beyond the wrap-around distance: not this range's to measure).
    struct Comparison
    {
        int compared = 0, outside = 0, beyond = 0; ///< beyond: compared pixels farther than `beyondMm`
        double worstMm = 0;
        uint32_t sceneRange = kAnyRange; ///< the range of the scene's last rendering
    };
    Comparison
    CompareWithScene(uint32_t range, double limitMm, double beyondMm,
                     const std::function<double(double mmPerRadian, double amplitude)> &toleranceMm)
    {
        Comparison c;
        Frame *depth = NextDepthOfRange(range);
        std::shared_ptr<const SimTofTruth> truth = m_camera->Streamer().LastGroundTruth();
        EXPECT_TRUE(depth != nullptr && truth != nullptr);
        if (depth == nullptr || truth == nullptr) {
            return c;
        }
        c.sceneRange = truth->range;
        const uint16_t *decoded = reinterpret_cast<const uint16_t *>(depth->pFrameData);
        for (int i = 0; i < kPixels; ++i) {
            const double want = truth->depthMm[i];
            if (want > 0 && want < limitMm) {
                ++c.compared;
                c.beyond += want > beyondMm ? 1 : 0;
                const double error = std::fabs(decoded[i] - want);
                c.worstMm = std::max(c.worstMm, error);
                c.outside += error > toleranceMm(truth->mmPerRadian, truth->amplitude[i]) ? 1 : 0;
            }
        }
        m_decoder->RecycleDecodedTofDepthFrame(depth);
        std::printf("range %u: %d pixels (%d beyond %.0f mm), worst error %.2f mm\n", range, c.compared,
                    c.beyond, beyondMm, c.worstMm);
        return c;
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
    const auto tolerance = [](double mmPerRadian, double amplitude) {
        return std::max(2.0, 1.0 + 1.5 * mmPerRadian / std::max(amplitude, 1.0));
    };
    StartPipeline(0, true);
    ASSERT_EQ(m_protocol->StartStream(), 0);
    for (uint32_t range = 0; range <= 5; ++range) {
        SCOPED_TRACE("range " + std::to_string(range));
        ASSERT_EQ(m_protocol->SetDepthRange(DepthRange{range}), 0);
        m_decoder->SetDepthRange(range);
        // Skip frames that may still be of the previous range's settings.
        ASSERT_TRUE(m_camera->Streamer().WaitForFramesSent(m_camera->Streamer().FramesSent() + 3, kWaitMs));
        // Pixels within the 2 mm bound of the wrap-around distance may read either side of it.
        const Comparison c =
            CompareWithScene(range, DepthRanges::GetSonyMaxDepth(range) - 2.0, 1e9, tolerance);
        EXPECT_EQ(c.sceneRange, range);
        EXPECT_GT(c.compared, kPixels / 20) << "the scene has content in this range";
        EXPECT_EQ(c.outside, 0) << "worst error " << c.worstMm << " mm";
    }
}

TEST_F(TofPipelineLoopbackTest, DualFrequencyUnwrapsTheShortRangeBeyondItsWrapDistance)
{
    // Data mode 9 alternates a long-range reference (range 5) with the precise short range (range 0).
    m_camera->UpdateSettings([](SimSettings &s) {
        s.dualFreqCount = 2;
        s.dualFreqValues = {{5, 0, 0}};
    });
    StartPipeline(9, true);
    DualFreqMode mode{2, {5, 0, 0}};
    m_decoder->SetDualFreqMode(mode);
    ASSERT_EQ(m_protocol->StartStream(), 0);
    ASSERT_TRUE(m_camera->Streamer().WaitForFramesSent(6, kWaitMs));
    // The short range's precision, plus the wrap distance's rounding to whole millimetres per wrap.
    const Comparison c =
        CompareWithScene(0, DepthRanges::GetSonyMaxDepth(5) - 20, DepthRanges::GetSonyMaxDepth(0),
                         [](double, double amplitude) {
                             return 3.0 + 1.5 * RawTofEncoder::MmPerRadian(0) / std::max(amplitude, 1.0);
                         });
    EXPECT_GT(c.beyond, kPixels / 2);
    EXPECT_EQ(c.outside, 0) << "worst error " << c.worstMm << " mm";
}

TEST_F(TofPipelineLoopbackTest, CameraComputedDepthIsCopiedBitForBit)
{
    StartPipeline(3, false); // 0xB3/0xB4/0xB5 images
    ASSERT_EQ(m_protocol->StartStream(), 0);
    SimStreamer &streamer = m_camera->Streamer();
    ASSERT_TRUE(streamer.WaitForFramesSent(8, kWaitMs));
    Frame *depth = NextDepthOfRange(kAnyRange);
    ASSERT_NE(depth, nullptr);
    std::shared_ptr<const SimTofTruth> truth = streamer.LastGroundTruth();
    ASSERT_EQ(truth->cameraDepthMm.size(), static_cast<size_t>(kPixels));
    // The scene is still, so every frame carries the same images.
    EXPECT_EQ(std::memcmp(depth->pFrameData, truth->cameraDepthMm.data(), kPixels * 2), 0);
    m_decoder->RecycleDecodedTofDepthFrame(depth);
}

// (That streaming loses nothing is the drop counters' loopback tests' to show through the public API; what
// it costs in frame rate, memory and CPU, the soak benchmarks'.)

} // namespace
