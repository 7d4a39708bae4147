// SPDX-License-Identifier: Apache-2.0
// Tests of the cameras' data stream on 127.0.0.60 and up, read by a raw data client: frame rate and
// sub-packet order, the status record trailing the settings, the calibration block, the ToF part per
// data mode, stopping, and faults on demand.
#include "CameraSimulator.h"

#include "CommandClient.h"
#include "StreamReader.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

using namespace sim_test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr unsigned kWaitMs = 5000;
constexpr double kPi = 3.14159265358979323846;
constexpr uint8_t kStream = 0x1B;
constexpr uint8_t kFrameRate = 0x04;
constexpr uint8_t kDataMode = 0x06;
constexpr uint8_t kDepthRange = 0x07;
constexpr uint8_t kDualFrequency = 0x08;
constexpr uint8_t kCameraParams = 0x01;

class Streaming : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SimCameraConfig config;
        config.serial = "SN0060";
        config.address = kAddress;
        m_camera = std::make_unique<SimCamera>(config, "127.0.0.1", 9);
        ASSERT_TRUE(m_camera->StartServing()) << m_camera->LastError();
        m_command = std::make_unique<CommandClient>(kAddress, SimCamera::CommandPort(0));
        m_data = std::make_unique<TcpClient>(kAddress, SimCamera::DataPort(0));
        ASSERT_TRUE(m_command->Connected());
        ASSERT_TRUE(m_data->Connected());
        ASSERT_TRUE(m_camera->WaitForDataClient(kWaitMs));
    }

    /// Sends a setting and waits until the camera has taken it.
    void Set(uint8_t command, const std::vector<uint8_t> &payload)
    {
        const size_t before = m_camera->RecordedFrames().size();
        ASSERT_TRUE(m_command->Send(command, payload));
        ASSERT_TRUE(m_camera->WaitForFrames(before + 1, kWaitMs));
    }

    Buffer Next()
    {
        std::optional<Buffer> buffer = ReadBuffer(*m_data);
        if (!buffer) {
            ADD_FAILURE() << "no stream buffer";
            return Buffer{};
        }
        return *buffer;
    }

    SimStreamer &Stream() { return m_camera->Streamer(); }

    static constexpr const char *kAddress = "127.0.0.60";
    std::unique_ptr<SimCamera> m_camera;
    std::unique_ptr<CommandClient> m_command;
    std::unique_ptr<TcpClient> m_data;
};

TEST_F(Streaming, BuffersComeAtTheFrameRateWithTheirPartsInOrder)
{
    // The camera's intent for three pixels of every frame, by IMU number (the frame number's low byte).
    struct Seen
    {
        std::mutex mutex;
        std::map<uint8_t, std::array<float, 3>> phases;
    };
    const size_t pixels[3] = {0, 153920, 307199};
    const auto seen = std::make_shared<Seen>();
    Stream().SetFrameCallback([seen, pixels](const SimTofTruth &truth) {
        std::lock_guard<std::mutex> lock(seen->mutex);
        seen->phases[static_cast<uint8_t>(truth.frameNumber)] = {
            truth.phaseRad[pixels[0]], truth.phaseRad[pixels[1]], truth.phaseRad[pixels[2]]};
    });
    EXPECT_FALSE(ReadBuffer(*m_data, 300)) << "nothing before the stream is started";
    Set(kFrameRate, {10});
    Set(kStream, {1});
    std::vector<Buffer> buffers;
    for (int i = 0; i < 12; ++i) {
        buffers.push_back(Next());
        const Buffer &b = buffers.back();
        ASSERT_FALSE(b.overrun);
        ASSERT_EQ(b.Types(), (std::vector<uint8_t>{0x1F, 0x24, 0x2C, 0xB1, 0x31})) << "colour lens 1920x1080";
        EXPECT_EQ(b.parts[0].length, 8u);
        EXPECT_EQ(b.parts[1].length, 1u);
        EXPECT_EQ(b.parts[2].length, 59u);
        EXPECT_EQ(b.parts[3].length, 4945920u);
        EXPECT_EQ(b.parts[3].spare & 0x0F, 2) << "the default depth range";
        EXPECT_EQ(b.Status(2) | b.Status(3) << 8, 640);
        EXPECT_EQ(b.Status(4) | b.Status(5) << 8, 480);
        EXPECT_EQ(b.Status(7), 2);
        if (i > 0) {
            const Buffer &previous = buffers[buffers.size() - 2];
            EXPECT_EQ(b.payload[b.parts[1].payloadAt],
                      static_cast<uint8_t>(previous.payload[previous.parts[1].payloadAt] + 1));
            EXPECT_GT(b.Timestamp(), previous.Timestamp());
        }
    }
    // The first frame of a lens renders and compresses the colour image; the interval after it may be
    // longer.
    const double meanIntervalMs = (buffers.back().Timestamp() - buffers[1].Timestamp()) / 10.0 / 1000.0;
    EXPECT_GT(meanIntervalMs, 80.0);
    EXPECT_LT(meanIntervalMs, 130.0);

    Set(kStream, {0});
    const size_t inFlight = Drain(*m_data);
    const uint64_t sent = Stream().FramesSent();
    EXPECT_EQ(sent, 12 + inFlight);
    const std::shared_ptr<const SimTofTruth> truth = Stream().LastGroundTruth();
    ASSERT_TRUE(truth);
    EXPECT_EQ(truth->frameNumber, sent - 1);
    // Every frame read carries the phases the camera meant, decoded here the textbook way.
    std::lock_guard<std::mutex> lock(seen->mutex);
    for (const Buffer &b : buffers) {
        const uint8_t imu = b.payload[b.parts[1].payloadAt];
        ASSERT_EQ(seen->phases.count(imu), 1u);
        const uint8_t *raw = b.payload.data() + b.parts[3].payloadAt;
        for (size_t p = 0; p < 3; ++p) {
            int d[4];
            for (size_t k = 0; k < 4; ++k) {
                const size_t at = k * 483 * 2560 + (pixels[p] / 640) * 2560 + (pixels[p] % 640) * 4;
                d[k] = ((raw[at] | raw[at + 1] << 8) >> 4) - ((raw[at + 2] | raw[at + 3] << 8) >> 4);
            }
            double phase = std::atan2(d[0] - d[2], d[1] - d[3]);
            phase += phase < 0 ? 2 * kPi : 0.0;
            EXPECT_NEAR(phase, seen->phases[imu][p], 0.01) << pixels[p];
        }
    }
}

TEST_F(Streaming, StatusFollowsTheSettingsAfterTheDelay)
{
    Stream().SetStatusDelayMs(300);
    Set(kStream, {1});
    ASSERT_EQ(Next().Status(7), 2);
    const Clock::time_point changed = Clock::now();
    Set(kDepthRange, {4});
    size_t oldFrames = 0;
    for (;;) {
        const Buffer b = Next();
        ASSERT_FALSE(b.parts.empty());
        if (b.Status(7) == 4) {
            EXPECT_GE(Clock::now() - changed, std::chrono::milliseconds(300));
            EXPECT_EQ(b.Find(0xB1)->spare & 0x0F, 4) << "the frames follow with the status";
            break;
        }
        EXPECT_EQ(b.Find(0xB1)->spare & 0x0F, 2);
        ASSERT_LT(++oldFrames, 100u);
    }
    EXPECT_GE(oldFrames, 3u);
    // Without a delay the next frames show a change.
    Stream().SetStatusDelayMs(0);
    Set(kDepthRange, {1});
    for (int i = 0; i < 10 && Next().Status(7) != 1; ++i) {
    }
    EXPECT_EQ(Next().Status(7), 1);
}

TEST_F(Streaming, CalibrationBlockComesOnlyWhileEnabled)
{
    Set(kStream, {1});
    EXPECT_EQ(Next().Find(0x2E), nullptr);
    Set(kCameraParams, {1});
    Buffer b = Next();
    for (int i = 0; i < 10 && b.Find(0x2E) == nullptr; ++i) {
        b = Next();
    }
    const Part *calibration = b.Find(0x2E);
    ASSERT_NE(calibration, nullptr);
    EXPECT_EQ(calibration->length, 470u);
    EXPECT_EQ(b.Types(), (std::vector<uint8_t>{0x1F, 0x24, 0x2C, 0x2E, 0xB1, 0x31}));
    const SimSettings settings = m_camera->Settings();
    for (size_t i = 0; i < 9; ++i) {
        double value = 0;
        std::memcpy(&value, b.payload.data() + calibration->payloadAt + 8 * i, 8);
        EXPECT_EQ(value, settings.tofIntrinsic[i]);
    }
    const uint8_t *blob = b.payload.data() + calibration->payloadAt;
    EXPECT_EQ(blob[404], settings.depthRange);
    EXPECT_EQ(blob[405], settings.dataMode);
    EXPECT_EQ(blob[422], settings.depthRanges.size());
    EXPECT_EQ(blob[432], settings.dataModes.size());
    EXPECT_EQ(blob[466] | blob[467] << 8, 1920);

    Set(kCameraParams, {0});
    for (int i = 0; i < 10 && b.Find(0x2E) != nullptr; ++i) {
        b = Next();
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(b.Find(0x2E), nullptr);
        b = Next();
    }
}

// Per data mode: the ToF sub-packets of consecutive frames, as (typeId, range) pairs.
TEST_F(Streaming, DataModeChoosesTheToFPart)
{
    using Parts = std::vector<std::pair<uint8_t, uint8_t>>;
    struct Row
    {
        uint8_t mode;
        Parts first; // one frame
        Parts second;
    };
    const Row rows[] = {
        {0, {{0xB1, 3}}, {{0xB1, 3}}},
        {3, {{0xB3, 3}, {0xB4, 3}, {0xB5, 3}}, {{0xB3, 3}, {0xB4, 3}, {0xB5, 3}}},
        {5, {{0xB6, 5}}, {{0xB6, 1}}},
        {9, {{0xB1, 5}}, {{0xB1, 1}}},
        {10, {{0xB9, 5}}, {{0xB1, 1}}},
    };
    Set(kDepthRange, {3});
    Set(kDualFrequency, {2, 5, 1, 0});
    for (const Row &row : rows) {
        SCOPED_TRACE(static_cast<int>(row.mode));
        Set(kDataMode, {row.mode});
        Set(kStream, {1});
        std::vector<Parts> frames;
        for (int i = 0; i < 4; ++i) {
            const Buffer b = Next();
            ASSERT_EQ(b.Status(6), row.mode);
            Parts tof;
            for (const Part &part : b.parts) {
                if (part.type >= 0xB0) {
                    tof.emplace_back(part.type, part.spare & 0x0F);
                }
            }
            frames.push_back(tof);
        }
        Set(kStream, {0});
        Drain(*m_data);
        // Alternating modes may start on either range after a restart; the pairs alternate.
        const size_t start = frames[0] == row.first ? 0 : 1;
        EXPECT_EQ(frames[start], row.first);
        EXPECT_EQ(frames[start + 1], row.second);
        EXPECT_EQ(frames[start + 2], row.first);
    }
}

TEST_F(Streaming, StopsOnCommandOnDisconnectAndOnSimulatorStop)
{
    Set(kStream, {1});
    Next();
    Set(kStream, {0});
    Drain(*m_data);
    const uint64_t stopped = Stream().FramesSent();
    EXPECT_FALSE(ReadBuffer(*m_data, 300));
    EXPECT_EQ(Stream().FramesSent(), stopped);

    Set(kStream, {1});
    Next();
    // The host goes away: the camera stops streaming and waits for a new start.
    m_data.reset();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (m_camera->Settings().streaming && Clock::now() < deadline) {
        Stream().WaitForFramesSent(Stream().FramesSent() + 1, 50);
    }
    EXPECT_FALSE(m_camera->Settings().streaming);
    m_data = std::make_unique<TcpClient>(kAddress, SimCamera::DataPort(0));
    ASSERT_TRUE(m_camera->WaitForDataClient(kWaitMs));
    EXPECT_FALSE(ReadBuffer(*m_data, 300));
    Set(kStream, {1});
    Next();

    // Stopping the simulator mid-stream, with a client that does not read, is prompt.
    const Clock::time_point before = Clock::now();
    m_camera->StopServing();
    EXPECT_LT(Clock::now() - before, std::chrono::seconds(2));
    EXPECT_TRUE(m_data->WaitForClose(kWaitMs));
}

TEST_F(Streaming, FaultsOnDemand)
{
    Set(kStream, {1});
    Next();

    Stream().DropTof(2);
    size_t without = 0;
    for (int i = 0; i < 20 && without < 2; ++i) {
        without += Next().Find(0xB1) == nullptr;
    }
    EXPECT_EQ(without, 2u);
    EXPECT_NE(Next().Find(0xB1), nullptr);

    Stream().SetBufferFault(SimBufferFault::TruncatedSubPacket);
    Buffer b = Next();
    for (int i = 0; i < 10 && !b.overrun; ++i) {
        b = Next();
    }
    ASSERT_TRUE(b.overrun);
    EXPECT_EQ(b.parts.back().type, 0xB1) << "nothing follows the cut sub-packet";
    EXPECT_FALSE(Next().overrun);

    Stream().SetBufferFault(SimBufferFault::UnknownTypeId);
    b = Next();
    for (int i = 0; i < 10 && b.Find(sim_stream::kUnknownType) == nullptr; ++i) {
        b = Next();
    }
    ASSERT_NE(b.Find(sim_stream::kUnknownType), nullptr);
    EXPECT_EQ(b.Types(), (std::vector<uint8_t>{0x1F, 0x24, 0x2C, 0x7E, 0xB1, 0x31}));

    // A stall holds a buffer halfway; the reader sees the gap and then the whole buffer.
    Stream().Stall(600);
    Clock::time_point last = Clock::now();
    std::chrono::milliseconds longest{0};
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(ReadBuffer(*m_data, kWaitMs));
        const Clock::time_point now = Clock::now();
        longest = std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
        last = now;
    }
    EXPECT_GE(longest.count(), 500);

    // Counted from a quiet stream, so that no buffer sent before is still on its way.
    Set(kStream, {0});
    Drain(*m_data);
    const uint64_t before = Stream().FramesSent();
    Stream().SetBufferFault(SimBufferFault::ShortThenClose);
    Set(kStream, {1});
    uint64_t whole = 0;
    while (ReadBuffer(*m_data, kWaitMs)) {
        ++whole;
    }
    EXPECT_TRUE(m_data->WaitForClose(kWaitMs));
    EXPECT_FALSE(m_camera->Settings().streaming);
    // The cut buffer is not counted as sent.
    EXPECT_EQ(Stream().FramesSent(), before + whole);
}

} // namespace
