// SPDX-License-Identifier: Apache-2.0
// Frame delivery from the stream hub: polling and its return codes, rotation, mapped frames, the
// notification thread and unsynchronised delivery, fed with buffers written the way the camera does.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "StreamBuffers.h"
#include "TestSupport.h"
#include "TofFixtures.h"
#include "pipeline/ImageProc.h"

namespace {

constexpr uint16_t kWidth = 640, kHeight = 480;
constexpr uint32_t kImageBytes = 614400;
constexpr uint64_t kStampBase = 1000000; ///< microseconds; buffer n carries kStampBase + n

/// The session side: no protocol (the test feeds the hub directly).
using QuietSource = orvtest::StatusSource;

/// Records the geometry calls (turning really swaps the image's sides) and maps depth to colour.
class SpyRefine : public orvtest::RecordingRefine
{
public:
    std::atomic<int> rotateCalls{0};
    std::atomic<int> lastRotateCode{99};
    std::atomic<int> mirrorCalls{0};

    int Rotate(AlgImage *image, int code) override
    {
        ++rotateCalls;
        lastRotateCode = code;
        if (code == 0 || code == 2) {
            std::swap(image->width, image->height);
        }
        return 0;
    }
    int Mirror(AlgImage *, int) override { return ++mirrorCalls, 0; }
    int MapDepthToColor(const AlgImage *color, const AlgImage *depth, AlgImage *out) override
    {
        out->width = color->width;
        out->height = color->height;
        std::memset(out->data, 0, size_t{out->width} * out->height * 2);
        std::memcpy(out->data, depth->data, 2); // marks where the mapped image came from
        return 0;
    }
};

/// Depth value of pixel i in buffer n: distinct per buffer and per row, within every range's limits.
uint16_t DepthAt(uint32_t n, size_t i)
{
    return static_cast<uint16_t>(300 + (n * 37 + i / kWidth) % 900);
}

class DeliveryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::vector<uint8_t> rgb(size_t{kWidth} * kHeight * 3);
        for (size_t i = 0; i < rgb.size(); ++i) {
            rgb[i] = static_cast<uint8_t>(i / 3 % 251);
        }
        m_jpeg = orvtest::CompressJpeg(rgb, kWidth, kHeight, TJSAMP_420, 85);
        ASSERT_FALSE(m_jpeg.empty());
        m_jpeg.resize(m_jpeg.size() + 4, 0); // the exposure trailer
        m_hub = std::make_unique<ImageProc>(&m_source, &m_refine);
        m_hub->SetStreamEnable(kStreamConfidence, true);
        m_hub->SetWaitTime(400);
        ASSERT_EQ(Init(), 0);
    }
    int Init()
    {
        PipelineInitParams params;
        params.dataMode = 3; // the camera computes depth, IR and confidence
        params.configDir = m_config.Path() + "/";
        params.serialNumber = "SN-DELIVERY";
        return m_hub->Init(params);
    }

    /// Sends `count` buffers of depth, IR, confidence and colour (the hub hands frames on from the
    /// fifth buffer), each with a device error record when `deviceError` is given.
    void Feed(uint32_t count, const std::vector<uint8_t> &deviceError = {})
    {
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t n = ++m_sent;
            std::vector<uint8_t> image(kImageBytes);
            for (size_t i = 0; i < image.size() / 2; ++i) {
                const uint16_t v = DepthAt(n, i);
                image[2 * i] = static_cast<uint8_t>(v);
                image[2 * i + 1] = static_cast<uint8_t>(v >> 8);
            }
            orvtest::BufferBuilder b; // the camera's send time first
            b.Timestamp(kStampBase + n).Packet(0xB3, image).Packet(0xB4, image).Packet(0xB5, image);
            b.Packet(0x34, m_jpeg);
            if (!deviceError.empty()) {
                b.Packet(0x30, deviceError);
            }
            std::vector<uint8_t> bytes = b.Bytes();
            m_hub->ProcessData(static_cast<uint32_t>(bytes.size()), bytes.data());
        }
    }

    /// Prepares until every part of one set is ready (a set can be replaced by a newer one while the
    /// decoders work, never split).
    int PrepareFullSet(FrameReady &ready)
    {
        int ret = -11;
        for (int attempt = 0; attempt < 10; ++attempt) {
            ret = m_hub->PrepareNextFrame(&ready);
            if (ret != -11) {
                break;
            }
        }
        return ret;
    }

    orvtest::TempDir m_config;
    QuietSource m_source;
    SpyRefine m_refine;
    std::vector<uint8_t> m_jpeg;
    std::unique_ptr<ImageProc> m_hub;
    uint32_t m_sent = 0;
};

TEST_F(DeliveryTest, InitHandsTheDecoderTheOffsetTablesOfTheFirstThreeRanges)
{
    // Tables that arrive in the configuration directory after the decoder was built (a transfer from
    // the camera) are used from the next Init on, for ranges 0 to 2.
    for (uint32_t range : {0u, 2u, 3u}) {
        orvtest::WriteFile(m_config.Path() + "/rangeOffset_" + std::to_string(range) + ".bin",
                           std::string("\x07\x00\xF9\xFF", 4)); // 7, -7
    }
    ASSERT_EQ(Init(), 0);
    TofDecode *decoder = m_hub->GetTofDecode();
    ASSERT_NE(decoder, nullptr);
    for (uint32_t range = 0; range < 4; ++range) {
        SCOPED_TRACE(range);
        const auto table = decoder->GetRangeOffset(range);
        ASSERT_NE(table, nullptr);
        const bool passed = range == 0 || range == 2;
        EXPECT_EQ((*table)[0], passed ? 7 : 0);
        EXPECT_EQ((*table)[1], passed ? -7 : 1);
        EXPECT_EQ((*table)[2], 2) << "the rest of a short table stays the identity";
    }
}

TEST_F(DeliveryTest, PollingHandsOutOneSetWhoseSlotsAreTakenOnce)
{
    Feed(5);
    FrameReady ready{};
    ASSERT_EQ(PrepareFullSet(ready), 0);
    EXPECT_EQ(ready.depth + ready.ir + ready.confidence + ready.color, 4u);
    EXPECT_EQ(ready.colorMappedToDepth + ready.depthMappedToColor + ready.irMappedToColor, 0u);

    Frame depth{}, ir{}, confidence{}, color{};
    ASSERT_EQ(m_hub->GetFrame(kFrameDepth, &depth), 0);
    ASSERT_EQ(m_hub->GetFrame(kFrameIr, &ir), 0);
    ASSERT_EQ(m_hub->GetFrame(kFrameConfidence, &confidence), 0);
    ASSERT_EQ(m_hub->GetFrame(kFrameColor, &color), 0);
    // (That the parts share their buffer's index is the public API's streaming tests' to see.)
    const uint32_t index = depth.frameIndex;
    EXPECT_EQ(+color.pixelFormat, uint32_t{kPixelBgr888});
    EXPECT_EQ(+color.dataLen, uint32_t{kWidth} * kHeight * 3);
    // The camera's depth image is copied bit for bit (the hub's counter starts at 1, like the buffers').
    ASSERT_EQ(+depth.dataLen, kImageBytes);
    const auto *pixels = reinterpret_cast<const uint16_t *>(depth.pFrameData);
    size_t differing = 0;
    for (size_t i = 0; i < kImageBytes / 2; ++i) {
        differing += pixels[i] != DepthAt(index, i);
    }
    EXPECT_EQ(differing, 0u);

    Frame again{};
    again.frameIndex = 77;
    EXPECT_EQ(m_hub->GetFrame(kFrameDepth, &again), -4);
    EXPECT_EQ(+again.frameIndex, 0u);
    EXPECT_TRUE(again.pFrameData == nullptr);
    EXPECT_EQ(m_hub->GetFrame(kFrameDepthMappedToColor, &again), -4);
    EXPECT_EQ(m_hub->GetFrame(static_cast<FrameType>(7), &again), -4);
    EXPECT_EQ(m_hub->GetFrame(kFrameColor, nullptr), -5);
    // Neither rotation nor mirror set: the library is not asked to touch the images.
    EXPECT_EQ(m_refine.rotateCalls.load(), 0);
    EXPECT_EQ(m_refine.mirrorCalls.load(), 0);
}

TEST_F(DeliveryTest, ReturnCodesForDisconnectionStreamOffTimeOutAndDeviceError)
{
    m_hub->SetWaitTime(60);
    FrameReady ready{};
    EXPECT_EQ(m_hub->PrepareNextFrame(&ready), -11); // nothing sent
    m_hub->SetStream(false);
    EXPECT_EQ(m_hub->PrepareNextFrame(&ready), -1);
    m_hub->SetStream(true);
    m_hub->SetConnectStatus(false);
    EXPECT_EQ(m_hub->PrepareNextFrame(&ready), -2);
    m_hub->SetConnectStatus(true);

    // The camera reports error -7; it is returned before any frame until the camera clears it.
    Feed(5, {static_cast<uint8_t>(-7), 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(m_hub->PrepareNextFrame(&ready), -7);
    EXPECT_EQ(m_hub->PrepareNextFrame(&ready), -7);
    EXPECT_EQ(ready.depth + ready.color, 0u);
    Feed(1, std::vector<uint8_t>(9, 0));
    m_hub->SetWaitTime(400);
    EXPECT_EQ(PrepareFullSet(ready), 0);
    EXPECT_EQ(+ready.depth, 1u);
}

TEST_F(DeliveryTest, RotationSettingTurnsTheHandedOutFrame)
{
    m_hub->SetImageRotation(0); // a quarter turn clockwise
    Feed(5);
    FrameReady ready{};
    ASSERT_EQ(PrepareFullSet(ready), 0);
    Frame depth{};
    ASSERT_EQ(m_hub->GetFrame(kFrameDepth, &depth), 0);
    EXPECT_EQ(m_refine.lastRotateCode.load(), 0);
    EXPECT_EQ(m_refine.mirrorCalls.load(), 0);
    EXPECT_EQ(+depth.width, kHeight);
    EXPECT_EQ(+depth.height, kWidth);
}

TEST_F(DeliveryTest, MappedFrameIsReadyOnlyWhileItsTransformIsOn)
{
    ASSERT_EQ(m_hub->SetTransformDepthImgToColorCameraEnabled(true), 0);
    Feed(5);
    FrameReady ready{};
    ASSERT_EQ(PrepareFullSet(ready), 0);
    ASSERT_EQ(+ready.depthMappedToColor, 1u);
    EXPECT_EQ(+ready.colorMappedToDepth, 0u); // not asked for
    Frame mapped{};
    ASSERT_EQ(m_hub->GetFrame(kFrameDepthMappedToColor, &mapped), 0);
    EXPECT_EQ(+mapped.frameType, uint32_t{kFrameDepthMappedToColor});
    EXPECT_EQ(reinterpret_cast<const uint16_t *>(mapped.pFrameData)[0], DepthAt(mapped.frameIndex, 0));

    Feed(1);
    ASSERT_EQ(PrepareFullSet(ready), 0);
    ASSERT_EQ(+ready.depthMappedToColor, 1u);
    ASSERT_EQ(m_hub->SetTransformDepthImgToColorCameraEnabled(false), 0);
    EXPECT_EQ(m_hub->GetFrame(kFrameDepthMappedToColor, &mapped), -4);
}

// The notification function is a plain C function: what it sees goes through this record.
struct Notified
{
    std::mutex mutex;
    std::vector<uint32_t> indices;
    int mismatches = 0;
    std::thread::id thread;
};
Notified g_notified;

int OnFrames(CallbackFrames *frames)
{
    std::lock_guard<std::mutex> lock(g_notified.mutex);
    g_notified.thread = std::this_thread::get_id();
    if (frames->hasDepth == 0 || frames->hasColor == 0 || frames->hasIr == 0 || frames->hasConfidence == 0) {
        ++g_notified.mismatches;
        return 0;
    }
    const TfFrame &depth = frames->depth;
    // The frame is readable during the call and holds the buffer's image.
    const auto *pixels = reinterpret_cast<const uint16_t *>(depth.pFrameData);
    // Every field reaches the function, the buffer's timestamp included.
    if (depth.frameIndex != frames->color.frameIndex || pixels[0] != DepthAt(depth.frameIndex, 0) ||
        depth.timestamp != kStampBase + depth.frameIndex || frames->color.timestamp != depth.timestamp ||
        frames->color.dataLen != uint32_t{kWidth} * kHeight * 3) {
        ++g_notified.mismatches;
    }
    g_notified.indices.push_back(+depth.frameIndex);
    return 0;
}

size_t NotifiedCount()
{
    std::lock_guard<std::mutex> lock(g_notified.mutex);
    return g_notified.indices.size();
}

TEST_F(DeliveryTest, CallbackModeDeliversOnItsThreadAndPollingStepsAside)
{
    EXPECT_EQ(m_hub->RegisterNotify(nullptr), 0);
    ASSERT_EQ(m_hub->RegisterNotify(&OnFrames), 1);
    FrameReady ready{};
    EXPECT_EQ(m_hub->PrepareNextFrame(&ready), -1);
    Feed(4);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (NotifiedCount() < 3 && std::chrono::steady_clock::now() < deadline) {
        Feed(1);
        std::this_thread::yield();
    }
    ASSERT_GE(NotifiedCount(), 3u);
    ASSERT_EQ(m_hub->UnRegisterNotify(), 0);
    const size_t after = NotifiedCount();
    {
        std::lock_guard<std::mutex> lock(g_notified.mutex);
        EXPECT_EQ(g_notified.mismatches, 0);
        EXPECT_NE(g_notified.thread, std::this_thread::get_id());
        for (size_t i = 1; i < g_notified.indices.size(); ++i) {
            EXPECT_GT(g_notified.indices[i], g_notified.indices[i - 1]);
        }
    }
    // Once unregistered the function is not called again and polling works.
    Feed(1);
    EXPECT_EQ(PrepareFullSet(ready), 0);
    EXPECT_EQ(NotifiedCount(), after);
}

TEST_F(DeliveryTest, UnsynchronisedDeliveryHandsOutSingleFrames)
{
    m_hub->SetSynchronizeEnabled(false);
    Feed(5);
    bool depthSeen = false, colorSeen = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(depthSeen && colorSeen) && std::chrono::steady_clock::now() < deadline) {
        FrameReady ready{};
        const int ret = m_hub->PrepareNextFrame(&ready);
        if (ret == -11) {
            Feed(1);
            continue;
        }
        ASSERT_EQ(ret, 0);
        Frame frame{};
        if (ready.depth != 0) {
            ASSERT_EQ(m_hub->GetFrame(kFrameDepth, &frame), 0);
            EXPECT_EQ(reinterpret_cast<const uint16_t *>(frame.pFrameData)[0], DepthAt(frame.frameIndex, 0));
            depthSeen = true;
        }
        if (ready.color != 0) {
            ASSERT_EQ(m_hub->GetFrame(kFrameColor, &frame), 0);
            EXPECT_EQ(+frame.dataLen, uint32_t{kWidth} * kHeight * 3);
            colorSeen = true;
        }
    }
    EXPECT_TRUE(depthSeen);
    EXPECT_TRUE(colorSeen);
}

} // namespace
