// SPDX-License-Identifier: Apache-2.0
// The stream hub's buffer parsing: sub-packet rules, raw-frame commits, status and calibration handling,
// built from buffers written the way the camera writes them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "StreamBuffers.h"
#include "TestSupport.h"
#include "TofFixtures.h"
#include "pipeline/ImageProc.h"

namespace {

using orvtest::BufferBuilder;
constexpr uint32_t kRawBlock = 4945920;
constexpr uint32_t kImageBlock = 614400;

/// The session side, recording what the hub asks of it.
class FakeSource : public orvtest::StatusSource
{
public:
    bool IsDeviceStatusRequested() const override { return requested; }
    void SetDeviceStatusRequested(bool on) override { requested = on; }
    bool IsDeviceStatusFollowed() const override { return followed; }
    void SetDeviceStatusFollowed(bool on) override { followed = on; }
    void StoreInitCameraParams(const InitCameraParams &params) override { stored = params, ++storeCalls; }
    int SendCameraParamsEnable(bool enabled) override { return paramsRequests.push_back(enabled), 0; }
    DeviceStatus *GetDeviceStatus() override
    {
        if (duringStatusWrite) {
            std::function<void()> once = std::move(duringStatusWrite);
            duringStatusWrite = nullptr;
            once();
        }
        return &status;
    }

    /// Runs once while the hub stores a status record, as a session thread acting at that moment would.
    std::function<void()> duringStatusWrite;
    bool requested = true;
    bool followed = true;
    InitCameraParams stored{};
    int storeCalls = 0;
    std::vector<bool> paramsRequests;
};

template <typename T> void WriteEach(ByteWriter &w, std::initializer_list<T> values)
{
    for (T v : values) {
        for (size_t i = 0; i < sizeof(T); ++i) {
            w.WriteU8(static_cast<uint8_t>(uint64_t{v} >> (8 * i)));
        }
    }
}

/// A status record as the camera sends it, every field distinct.
std::vector<uint8_t> StatusBytes(int16_t laser = 40, int8_t sensor = 35, uint32_t exposure = 1000)
{
    ByteWriter w;
    WriteEach<uint8_t>(w, {1, 0}); // workMode, slaveMode
    WriteEach<uint16_t>(w, {640, 480});
    WriteEach<uint8_t>(w, {2, 3}); // mode, range
    w.WriteU32Le(exposure);
    WriteEach<uint16_t>(w, {61, uint16_t(laser)}); // gmmGain, temperatureLD
    WriteEach<uint8_t>(w, {0, 1, 2, 3, 4});
    WriteEach<uint32_t>(w, {100, 200, 300});
    WriteEach<uint16_t>(w, {10, 20, 30, 5, 6, 7});
    WriteEach<uint8_t>(w, {uint8_t(sensor), 10, 11, 12, 13, 14, 15});
    WriteEach<uint16_t>(w, {1111, 2222});
    WriteEach<uint8_t>(w, {uint8_t(-3), 4, 5});
    return w.Bytes();
}

std::vector<uint8_t> CalibrationBytes(double fx)
{
    ByteWriter w;
    for (int i = 0; i < 46; ++i) { // intrinsics, distortions, rotation, translation
        const double v = i == 0 ? fx : i * 0.5;
        w.WriteBytes(&v, sizeof(v));
    }
    for (int i = 0; i < 18; ++i) {
        w.WriteU16Le(static_cast<uint16_t>(1000 + i));
    }
    WriteEach<uint8_t>(w, {2, 9}); // range, mode
    WriteEach<uint32_t>(w, {1, 2, 3, 4});
    WriteEach<uint8_t>(w, {3, 0, 1, 2, 3, 4, 5, 6, 7, 8, 2, 20, 21, 22, 23, 24, 25, 26, 27, 28});
    w.Bytes().resize(w.Size() + 23, 0xEE);
    w.WriteU8(1);
    WriteEach<uint16_t>(w, {1920, 1080});
    return w.Bytes();
}

class ImageProcTest : public ::testing::Test
{
protected:
    void Feed(std::vector<uint8_t> bytes)
    {
        m_hub->ProcessData(static_cast<uint32_t>(bytes.size()), bytes.data());
    }
    /// Feeds buffers with image data until the next one is committed.
    void Prime()
    {
        while (m_hub->GetFrameCounter() < ImageProc::kFirstCommittedFrame - 1) {
            Feed(BufferBuilder().Block(0xB3, kImageBlock).Bytes());
        }
    }
    /// The next raw ToF frame (or null), handed back to the hub when it goes out of scope.
    using TofFrame = std::unique_ptr<Frame, std::function<void(Frame *)>>;
    TofFrame PopTof()
    {
        Frame *frame = nullptr;
        ImageProc *hub = m_hub.get();
        return TofFrame(m_hub->GetTofRawData(&frame) == 0 ? frame : nullptr,
                        [hub](Frame *f) { hub->RecycleRawTofFrame(f); });
    }
    void DrainTof()
    {
        m_hub->GetRawTofQueue()->SetWaitTime(0);
        while (PopTof() != nullptr) {
        }
        m_hub->GetRawTofQueue()->SetWaitTime(FrameQueue::kDefaultWaitTimeMs);
    }

    orvtest::LoggedHome m_home;
    FakeSource m_source;
    std::unique_ptr<ImageProc> m_hub = std::make_unique<ImageProc>(&m_source);
};

TEST_F(ImageProcTest, FifthBufferWithImageDataIsTheFirstRawFrame)
{
    for (bool confidence : {false, true}) {
        SCOPED_TRACE(confidence ? "confidence on" : "confidence off");
        m_hub = std::make_unique<ImageProc>(&m_source);
        m_hub->SetStreamEnable(kStreamConfidence, confidence);
        const std::vector<uint8_t> buffer =
            BufferBuilder().Timestamp(0x1122334455667788ull).Imu(42).Block(0xB1, kRawBlock, 7, 0x13).Bytes();
        for (int i = 0; i < 4; ++i) {
            Feed(buffer);
        }
        EXPECT_EQ(m_hub->GetRawTofQueue()->Size(), 0u) << "the first four buffers give no frame";
        Feed(buffer);
        TofFrame frame = PopTof();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(+frame->frameIndex, 5u);
        EXPECT_EQ(+frame->hasFrameMask, confidence ? 11u : 3u);
        EXPECT_EQ(+frame->timestamp, 0x1122334455667788ull);
        EXPECT_EQ(+frame->imuFrameNo, 42);
        ASSERT_EQ(+frame->dataLen, kRawBlock + 5);
        // The block keeps its header; the decoder reads type, length and range from it.
        EXPECT_EQ(0, std::memcmp(frame->pFrameData, buffer.data() + 13 + 6, frame->dataLen));
        EXPECT_EQ(m_hub->GetCounters().malformedBuffers, 0u);
    }
}

TEST_F(ImageProcTest, SubPacketLengthRules)
{
    // Per typeId: lengths the camera may send, and lengths that make the buffer malformed.
    using Lengths = std::vector<uint32_t>;
    const std::tuple<uint8_t, Lengths, Lengths> rows[] = {{0x1F, {8}, {7}},
                                                          {0x24, {1}, {2}},
                                                          {0x25, {3}, {}},
                                                          {0x31, {0}, {}},
                                                          {0x37, {1000}, {}},
                                                          {0x35, {460800}, {460799}},
                                                          {0x26, {0, 8192}, {2047, 10240}},
                                                          {0x2E, {12}, {}},
                                                          {0x2F, {3}, {4}},
                                                          {0x30, {9}, {8}},
                                                          {0xB1, {kRawBlock}, {kRawBlock - 1}},
                                                          {0xB9, {kRawBlock}, {}},
                                                          {0xB6, {1536000}, {1536001}},
                                                          {0xB3, {kImageBlock}, {kImageBlock - 1}},
                                                          {0xB4, {}, {kImageBlock + 1}},
                                                          {0xB5, {kImageBlock}, {}},
                                                          {0x99, {}, {8}},
                                                          {0x00, {}, {8}}};
    for (const auto &[typeId, good, bad] : rows) {
        for (bool accepted : {true, false}) {
            for (uint32_t length : accepted ? good : bad) {
                SCOPED_TRACE(testing::Message()
                             << "typeId 0x" << std::hex << int(typeId) << std::dec << " length " << length);
                const uint64_t before = m_hub->GetCounters().malformedBuffers;
                // A timestamp after the packet shows whether parsing went on past it.
                Feed(BufferBuilder().Block(typeId, length).Timestamp(1).Bytes());
                EXPECT_EQ(m_hub->GetCounters().malformedBuffers - before, accepted ? 0u : 1u);
                DrainTof();
            }
        }
    }
}

TEST_F(ImageProcTest, TruncatedBuffersNeverOverrun)
{
    const std::vector<uint8_t> good = BufferBuilder()
                                          .Timestamp(5)
                                          .Imu(3)
                                          .Status(StatusBytes())
                                          .Packet(0x25, std::vector<uint8_t>(100, 0xAB))
                                          .Packet(0x2F, {1})
                                          .Bytes();
    const std::vector<size_t> boundaries = {0, 13, 19, 81, 186, good.size()};
    for (size_t cut = 0; cut <= good.size(); ++cut) {
        SCOPED_TRACE(cut);
        // Each copy on the heap at its exact size, so a read past its end is caught by the sanitizer.
        std::vector<uint8_t> copy(good.begin(), good.begin() + static_cast<long>(cut));
        const uint64_t before = m_hub->GetCounters().malformedBuffers;
        m_hub->ProcessData(static_cast<uint32_t>(copy.size()), copy.empty() ? nullptr : copy.data());
        const bool atBoundary = std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
        EXPECT_EQ(m_hub->GetCounters().malformedBuffers - before, atBoundary ? 0u : 1u);
    }
    // (Arbitrary corruption is the stream hub fuzz target's: no crash, no overrun, no lost frame.)
    // The hub still commits after bad buffers, and keeps the blocks before a bad one.
    Prime();
    const uint64_t before = m_hub->GetCounters().malformedBuffers;
    Feed(BufferBuilder().Timestamp(9).Block(0xB3, kImageBlock, 1).Block(0xB4, kImageBlock - 1).Bytes());
    EXPECT_EQ(m_hub->GetCounters().malformedBuffers, before + 1);
    TofFrame frame = PopTof();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(+frame->hasFrameMask, 1u);
    EXPECT_EQ(+frame->dataLen, kImageBlock + 5);
    EXPECT_EQ(+frame->timestamp, 9u);
}

TEST_F(ImageProcTest, OversizeBlocksAreRejectedNotWrittenPastTheFrame)
{
    Prime();
    // A raw block fills the ToF frame; a further block cannot fit and is rejected.
    Feed(BufferBuilder().Block(0xB1, kRawBlock).Block(0xB3, kImageBlock).Bytes());
    TofFrame frame = PopTof();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(+frame->dataLen, kRawBlock + 5);
    EXPECT_EQ(+frame->pFrameData[0], 0xB1);
    EXPECT_EQ(m_hub->GetCounters().rejectedBlocks, 1u);

    Feed(BufferBuilder().Block(0xB3, kImageBlock).Block(0xB1, kRawBlock).Bytes());
    frame = PopTof();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(+frame->hasFrameMask, 1u) << "the block before the oversize one is kept";
    EXPECT_EQ(+frame->dataLen, kImageBlock + 5);
    EXPECT_EQ(m_hub->GetCounters().rejectedBlocks, 2u);

    // A colour image larger than the raw colour frame.
    const uint32_t colorCapacity = 2073600;
    Feed(BufferBuilder().Block(0xB3, kImageBlock).Block(0x25, colorCapacity - 4).Bytes());
    EXPECT_EQ(m_hub->GetCounters().rejectedBlocks, 3u);
    EXPECT_EQ(m_hub->GetRawColorQueue()->Size(), 0u);
    DrainTof();
    Feed(BufferBuilder().Block(0x25, colorCapacity - 5, 3).Bytes());
    Frame *color = nullptr;
    ASSERT_EQ(m_hub->GetRGBRawData(&color), 0) << "an image that just fits is taken";
    EXPECT_EQ(+color->dataLen, colorCapacity);
    EXPECT_EQ(+color->hasFrameMask, 4u);
    m_hub->RecycleRawColorFrame(color);
}

TEST_F(ImageProcTest, DeviceStatusUpdatesOnlyWhatTheCameraSent)
{
    Feed(BufferBuilder().Status(StatusBytes()).Bytes());
    EXPECT_FALSE(m_source.requested);
    EXPECT_TRUE(m_source.followed) << "a camera that reports its status is followed";
    EXPECT_EQ(+m_source.status.width, 640);
    EXPECT_EQ(+m_source.status.exposureTime, 1000u);
    EXPECT_EQ(+m_source.status.rgb3, -3);
    EXPECT_EQ(+m_source.status.rgb5, 5);

    // Only the temperatures moved: stored, but nothing printed.
    const size_t printed = orvtest::ReadFile(m_home.LogPath()).size();
    Feed(BufferBuilder().Status(StatusBytes(41, 36)).Bytes());
    EXPECT_EQ(+m_source.status.temperatureLD, 41);
    EXPECT_EQ(+m_source.status.temperature, 36);
    EXPECT_EQ(orvtest::ReadFile(m_home.LogPath()).size(), printed);

    // A short record (first 12 bytes: up to the exposure) leaves the rest as it was.
    std::vector<uint8_t> shortStatus = StatusBytes(41, 36, 2000);
    shortStatus.resize(12);
    Feed(BufferBuilder().Status(shortStatus).Bytes());
    EXPECT_EQ(m_hub->GetCounters().malformedBuffers, 0u);
    EXPECT_EQ(+m_source.status.exposureTime, 2000u);
    EXPECT_EQ(+m_source.status.gmmGain, 61);
    EXPECT_EQ(+m_source.status.temperature, 36);
    EXPECT_EQ(+m_source.status.rgb2, 2222);

    // One byte too long: rejected, nothing stored.
    std::vector<uint8_t> longStatus = StatusBytes(41, 36, 3000);
    longStatus.push_back(0);
    Feed(BufferBuilder().Status(longStatus).Bytes());
    EXPECT_EQ(+m_source.status.exposureTime, 2000u);
}

TEST_F(ImageProcTest, CalibrationIsTakenOnceAndTheCameraToldToStop)
{
    Feed(BufferBuilder().Packet(0x2E, CalibrationBytes(520.5)).Bytes());
    InitCameraParams params{};
    ASSERT_TRUE(m_hub->GetDeviceInitParams(params));
    EXPECT_DOUBLE_EQ(+params.tofIntrinsic[0], 520.5);
    EXPECT_DOUBLE_EQ(+params.translation[2], 22.5);
    EXPECT_EQ(+params.depthMax[2][5], 1017);
    EXPECT_EQ(+params.modeList[8], 28);
    EXPECT_EQ(+params.reserved[22], 0xEE);
    EXPECT_EQ(+params.rgbH, 1080);
    EXPECT_EQ(m_source.storeCalls, 1);
    EXPECT_EQ(+m_source.stored.rgbW, 1920);

    Feed(BufferBuilder().Packet(0x2E, CalibrationBytes(999.0)).Bytes());
    ASSERT_TRUE(m_hub->GetDeviceInitParams(params));
    EXPECT_DOUBLE_EQ(+params.tofIntrinsic[0], 520.5) << "a second block is ignored";
    EXPECT_EQ(m_source.storeCalls, 1);
    EXPECT_EQ(m_source.paramsRequests, (std::vector<bool>{false, false}));

    ImageProc other(&m_source);
    EXPECT_EQ(other.DecodeDeviceInitParams(nullptr, 470), -1);
    EXPECT_EQ(other.DecodeDeviceInitParams(CalibrationBytes(1).data(), 4), -1);
    EXPECT_FALSE(other.GetDeviceInitParams(params));
    std::vector<uint8_t> wrong(100, 1);
    EXPECT_EQ(other.DecodeDeviceInitParams(wrong.data(), 100), 0);
    EXPECT_TRUE(other.GetDeviceInitParams(params)) << "a block of the wrong size still ends the requests";
}

TEST_F(ImageProcTest, JsonResultAndDeviceErrorInAFirstBufferWithoutStatus)
{
    Feed(BufferBuilder().Packet(0x2F, {2, 0, 7}).Packet(0x30, {0xFE, 0, 0, 0, 0, 0, 0, 0, 0}).Bytes());
    // A camera whose first clean buffer has no status record is not followed.
    EXPECT_FALSE(m_source.requested);
    EXPECT_FALSE(m_source.followed);
    EXPECT_EQ(m_hub->GetJsonStatus(), 2);
    EXPECT_EQ(m_hub->GetJsonSuccess(), 0);
    EXPECT_EQ(m_hub->GetJsonErrorCode(), 7);
    EXPECT_EQ(m_hub->GetDeviceErrorCode(), -2);

    // A result too short to carry the flag and code changes only the status.
    Feed(BufferBuilder().Packet(0x2F, {3, 1}).Bytes());
    EXPECT_EQ(m_hub->GetJsonStatus(), 3);
    EXPECT_EQ(m_hub->GetJsonErrorCode(), 7);
}

TEST_F(ImageProcTest, AStartWhileABufferWithStatusIsParsedIsSettledByTheNextBuffer)
{
    // Stopped: nothing followed, nothing asked. The stream starts while a late buffer is being parsed.
    m_source.requested = false;
    m_source.followed = false;
    m_source.duringStatusWrite = [this] { m_source.requested = true; };
    Feed(BufferBuilder().Status(StatusBytes()).Bytes());
    EXPECT_TRUE(m_source.requested) << "a buffer that had a status record was taken for one without";
    Feed(BufferBuilder().Status(StatusBytes()).Bytes());
    EXPECT_FALSE(m_source.requested);
    EXPECT_TRUE(m_source.followed);
}

TEST_F(ImageProcTest, FrameStateOffDiscardsBuffersAndTwoMore)
{
    Prime();
    const std::vector<uint8_t> buffer = BufferBuilder().Block(0xB3, kImageBlock).Bytes();
    m_hub->SetFrameState(false);
    for (int i = 0; i < 4; ++i) {
        Feed(buffer);
    }
    m_hub->SetFrameState(true);
    Feed(buffer);
    Feed(buffer);
    EXPECT_EQ(m_hub->GetRawTofQueue()->Size(), 0u);
    EXPECT_EQ(m_hub->GetCounters().discardedBuffers, 6u);
    Feed(buffer);
    TofFrame frame = PopTof();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(+frame->frameIndex, 5u) << "discarded buffers do not count";

    m_hub->SetStream(false);
    Feed(buffer);
    EXPECT_EQ(m_hub->GetRawTofQueue()->Size(), 0u) << "nothing is committed with the stream off";
}

TEST_F(ImageProcTest, ExhaustedPoolCostsOneBuffer)
{
    Prime();
    const std::vector<uint8_t> buffer = BufferBuilder().Block(0xB3, kImageBlock).Bytes();
    std::vector<TofFrame> held;
    for (uint32_t i = 0; i < ImageProc::kRawPoolFrames; ++i) {
        Feed(buffer);
        held.push_back(PopTof());
        ASSERT_NE(held.back(), nullptr);
    }
    // Every frame is out now: the hub could not take a fresh one after its last push.
    Feed(buffer);
    EXPECT_EQ(m_hub->GetCounters().droppedNoFrame, 1u);
    held.pop_back();
    Feed(buffer);
    EXPECT_EQ(m_hub->GetCounters().droppedNoFrame, 2u) << "the fresh frame arrives for the next buffer";
    Feed(buffer);
    EXPECT_NE(PopTof(), nullptr);
}

} // namespace
