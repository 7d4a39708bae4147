// SPDX-License-Identifier: Apache-2.0
// The whole pipeline against a simulated camera streaming depth, IR, confidence and colour: sets stay
// paired over thousands of frames, colour matches what the camera rendered, and parts sent apart or
// dropped never pair with the wrong frame.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "LoopbackCamera.h"
#include "net/SocketCtl.h"
#include "pipeline/ImageProc.h"

namespace {

constexpr unsigned kWaitMs = 5000;

/// How many sets the stress run takes (ORVANE_STRESS_SETS overrides).
uint32_t StressSets()
{
    const char *text = std::getenv("ORVANE_STRESS_SETS");
    const long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 ? static_cast<uint32_t>(value) : 2000;
}

class DeliveryLoopbackTest : public ::testing::Test
{
protected:
    /// Opens the camera with camera-computed depth, IR and confidence and a 640x480 colour lens
    /// (`encodeType` 1 JPEG, 0 the 12-bit format), builds the pipeline and starts the stream.
    void Start(uint8_t colorEncodeType, std::chrono::microseconds framePeriod)
    {
        SocketCtl::SetReceiveTimeoutMs(300);
        ASSERT_NO_FATAL_FAILURE(m_link.Open(
            [&](SimSettings &s) {
                s.dataMode = 3;
                s.lenses[2] = SimLensConfig{2, 1, 640, 480, 25, colorEncodeType};
            },
            kWaitMs));
        m_link.camera->Streamer().OverrideFramePeriod(framePeriod);
        m_hub = std::make_unique<ImageProc>(m_link.source.get());
        m_hub->SetStreamEnable(kStreamConfidence, true);
        m_hub->SetColorPixelFormat(kPixelRgb888);
        PipelineInitParams params;
        params.dataMode = 3;
        params.colorMode = FrameMode{640, 480, 25};
        params.configDir = "/nonexistent/";
        params.serialNumber = "SN-LOOP";
        ASSERT_EQ(m_hub->Init(params), 0);
        m_hub->Start();
        ASSERT_EQ(m_link.Protocol()->StartStream(), 0);
    }

    void TearDown() override
    {
        if (m_hub) {
            m_hub->Close();
        }
        m_hub.reset();
    }

    /// Prepares until a set comes (or the deadline passes) and takes its parts.
    bool NextSet(FrameReady &ready, Frame (&frames)[4], std::chrono::steady_clock::time_point deadline)
    {
        while (std::chrono::steady_clock::now() < deadline) {
            if (m_hub->PrepareNextFrame(&ready) != 0) {
                continue;
            }
            const FrameType types[4] = {kFrameDepth, kFrameIr, kFrameConfidence, kFrameColor};
            const unsigned flags[4] = {ready.depth, ready.ir, ready.confidence, ready.color};
            for (int i = 0; i < 4; ++i) {
                frames[i] = Frame{};
                if (flags[i] != 0) {
                    EXPECT_EQ(m_hub->GetFrame(types[i], &frames[i]), 0);
                }
            }
            return true;
        }
        return false;
    }

    pipeline_test::LoopbackCamera m_link{"SN-DELIVER", 33};
    std::unique_ptr<ImageProc> m_hub;
};

TEST_F(DeliveryLoopbackTest, ThousandsOfSetsArriveWholeWithIncreasingIndices)
{
    // Faster than the camera's 25 fps so the run stays short; the pipeline is the same.
    ASSERT_NO_FATAL_FAILURE(Start(1, std::chrono::milliseconds(8)));
    const uint32_t wanted = StressSets();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(25);
    uint32_t sets = 0, lastIndex = 0, mismatches = 0, backwards = 0;
    FrameReady ready{};
    Frame frames[4];
    while (sets < wanted && NextSet(ready, frames, deadline)) {
        if (ready.depth + ready.ir + ready.confidence + ready.color != 4) {
            ++mismatches;
            continue;
        }
        const uint32_t index = frames[0].frameIndex;
        for (const Frame &frame : frames) {
            mismatches += frame.frameIndex != index ? 1 : 0;
        }
        backwards += index <= lastIndex ? 1 : 0;
        lastIndex = index;
        ++sets;
    }
    RecordProperty("sets", static_cast<int>(sets));
    EXPECT_EQ(sets, wanted) << "sets before the deadline";
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(backwards, 0u);
}

struct ColorCase
{
    const char *name;
    uint8_t encodeType;
    double meanTolerance; // mean absolute difference per channel
    int pixelTolerance;   // at the probe pixels, away from edges
};

class DeliveredColourTest : public DeliveryLoopbackTest, public ::testing::WithParamInterface<ColorCase>
{
};

TEST_P(DeliveredColourTest, MatchesTheImageTheCameraRendered)
{
    const ColorCase &c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(c.encodeType, std::chrono::milliseconds(20)));
    FrameReady ready{};
    Frame frames[4];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        ASSERT_TRUE(NextSet(ready, frames, deadline))
            << "colour committed " << m_hub->GetCounters().committedColor << ", decoded "
            << m_hub->GetRgbDecode()->GetDecodedFrameCount() << ", size mismatches "
            << m_hub->GetRgbDecode()->GetResolutionMismatchCount();
    } while (ready.color == 0);
    const Frame &color = frames[3];
    const std::shared_ptr<const SimColorTruth> truth = m_link.camera->Streamer().LastColorTruth();
    ASSERT_NE(truth, nullptr);
    ASSERT_EQ(+color.width, 640);
    ASSERT_EQ(+color.height, 480);
    ASSERT_EQ(+color.dataLen, 640u * 480u * 3u);
    ASSERT_EQ(+color.pixelFormat, uint32_t{kPixelRgb888});
    const std::vector<uint8_t> &rgb = *truth->rgb;
    // The last rows of the 12-bit format carry the exposure value in place of colour.
    const size_t compared = size_t{640} * 470 * 3;
    double sum = 0.0;
    for (size_t i = 0; i < compared; ++i) {
        sum += std::abs(int{color.pFrameData[i]} - int{rgb[i]});
    }
    EXPECT_LT(sum / compared, c.meanTolerance);
    for (size_t pixel : {size_t{640} * 100 + 100, size_t{640} * 240 + 320, size_t{640} * 400 + 500}) {
        for (size_t ch = 0; ch < 3; ++ch) {
            EXPECT_NEAR(color.pFrameData[pixel * 3 + ch], rgb[pixel * 3 + ch], c.pixelTolerance)
                << "pixel " << pixel << " channel " << ch;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, DeliveredColourTest,
                         ::testing::Values(ColorCase{"Jpeg", 1, 4.0, 24}, ColorCase{"TwelveBit", 0, 3.0, 6}),
                         [](const ::testing::TestParamInfo<ColorCase> &param) {
                             return std::string(param.param.name);
                         });

TEST_F(DeliveryLoopbackTest, PartsSentApartOrDroppedNeverPairWithAnotherFrame)
{
    ASSERT_NO_FATAL_FAILURE(Start(1, std::chrono::milliseconds(15)));
    FrameReady ready{};
    Frame frames[4];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    ASSERT_TRUE(NextSet(ready, frames, deadline));

    // Colour in a buffer of its own: it gets its own frame index, so the sets are ToF-only or
    // colour-only while the fault lasts.
    m_link.camera->Streamer().SplitColor(20);
    m_link.camera->Streamer().DropColor(0);
    uint32_t tofOnly = 0, colorOnly = 0;
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((tofOnly < 5 || colorOnly < 5) && NextSet(ready, frames, deadline)) {
        const bool tof = ready.depth != 0 && ready.ir != 0 && ready.confidence != 0;
        if (tof && ready.color == 0) {
            ++tofOnly;
        } else if (!tof && ready.color != 0 && ready.depth + ready.ir + ready.confidence == 0) {
            ++colorOnly;
        } else {
            // A whole set again: only once the fault is over, and still of one frame.
            EXPECT_EQ(+frames[3].frameIndex, +frames[0].frameIndex);
        }
    }
    EXPECT_GE(tofOnly, 5u);
    EXPECT_GE(colorOnly, 5u);

    // Dropped colour: the buffer announces ToF only and its set comes without colour.
    m_link.camera->Streamer().DropColor(30);
    uint32_t withoutColor = 0;
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (withoutColor < 5 && NextSet(ready, frames, deadline)) {
        if (ready.color == 0 && ready.depth != 0) {
            ++withoutColor;
            EXPECT_EQ(+frames[1].frameIndex, +frames[0].frameIndex);
        }
    }
    EXPECT_GE(withoutColor, 5u);
}

} // namespace
