// SPDX-License-Identifier: Apache-2.0
// Tests of a camera's data stream on 127.0.0.60, read by raw clients: frame rate and sub-packet order,
// the status record trailing the settings, the calibration block, the ToF part per data mode, the colour
// part per lens against the ground truth (JPEG decoded with TurboJPEG, the 4:2:0 format by the textbook
// conversion), stopping, and the faults the host's tests rely on.
#include "CameraSimulator.h"

#include "CommandClient.h"
#include "StreamReader.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

using namespace sim_test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr unsigned kWaitMs = 5000;
constexpr uint8_t kCameraParams = 0x01;
constexpr uint8_t kFrameRate = 0x04;
constexpr uint8_t kDataMode = 0x06;
constexpr uint8_t kDepthRange = 0x07;
constexpr uint8_t kDualFrequency = 0x08;
constexpr uint8_t kLens = 0x15;
constexpr uint8_t kStream = 0x1B;
constexpr uint8_t kHeartbeat = 0x9C;
constexpr size_t kStatusColorWidth = 52;
constexpr float kExposureSeconds = 0.0125f;
/// Buffers to read at most while waiting for a change to show.
constexpr int kMaxBuffers = 60;

const Part *ColorPart(const Buffer &b)
{
    for (const Part &part : b.parts) {
        if (part.type == 0x25 || (part.type >= 0x31 && part.type <= 0x37)) {
            return &part;
        }
    }
    return nullptr;
}

int StatusColorWidth(const Buffer &b)
{
    return b.Status(kStatusColorWidth) | b.Status(kStatusColorWidth + 1) << 8;
}

float FloatAt(const uint8_t *bytes)
{
    float value = 0.0f;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

struct Decoded
{
    int width = 0;
    int height = 0;
    int subsampling = -1;
    std::vector<uint8_t> rgb;
};

std::optional<Decoded> DecodeJpeg(const uint8_t *jpeg, size_t size)
{
    tjhandle handle = tjInitDecompress();
    Decoded decoded;
    int colorspace = 0;
    bool ok = handle != nullptr &&
              tjDecompressHeader3(handle, jpeg, static_cast<unsigned long>(size), &decoded.width,
                                  &decoded.height, &decoded.subsampling, &colorspace) == 0;
    if (ok) {
        decoded.rgb.resize(static_cast<size_t>(decoded.width) * decoded.height * 3);
        ok = tjDecompress2(handle, jpeg, static_cast<unsigned long>(size), decoded.rgb.data(), decoded.width,
                           0, decoded.height, TJPF_RGB, 0) == 0;
    }
    if (handle != nullptr) {
        tjDestroy(handle);
    }
    return ok ? std::optional<Decoded>(decoded) : std::nullopt;
}

uint8_t Rounded(double value)
{
    return static_cast<uint8_t>(std::min(255.0, std::max(0.0, std::floor(value + 0.5))));
}

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
        Stream().SetColorExposure(kExposureSeconds);
        Stream().SetColorFrameCallback([this](const SimColorTruth &truth) {
            std::lock_guard<std::mutex> lock(m_truthMutex);
            m_truths[static_cast<uint8_t>(truth.frameNumber)] = std::make_shared<SimColorTruth>(truth);
        });
    }

    void TearDown() override
    {
        // The callback refers to this fixture; the camera goes first.
        m_data.reset();
        m_camera.reset();
    }

    /// Sends a setting and waits until the camera has taken it.
    void Set(uint8_t command, const std::vector<uint8_t> &payload)
    {
        const size_t before = m_camera->RecordedFrames().size();
        ASSERT_TRUE(m_command->Send(command, payload));
        ASSERT_TRUE(m_camera->WaitForFrames(before + 1, kWaitMs));
    }

    void SetLens(uint16_t width, uint16_t height, uint8_t encodeType, uint8_t state = 1)
    {
        Set(kLens, {2, state, static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                    static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8), 25, encodeType});
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

    /// The next buffer whose status reports the colour lens as given; the status and the colour part
    /// of one buffer come from the same state.
    Buffer NextWithLens(uint16_t width, uint16_t height, uint8_t encodeType)
    {
        for (int i = 0; i < kMaxBuffers; ++i) {
            Buffer b = Next();
            if (b.Find(0x2C) == nullptr) {
                return b;
            }
            if (StatusColorWidth(b) == width &&
                (b.Status(kStatusColorWidth + 2) | b.Status(kStatusColorWidth + 3) << 8) == height &&
                b.Status(kStatusColorWidth + 5) == encodeType) {
                return b;
            }
        }
        ADD_FAILURE() << "the colour lens never became " << width << "x" << height;
        return Buffer{};
    }

    /// The ground truth of the colour part sent in buffer `b` (by its IMU number).
    std::shared_ptr<const SimColorTruth> TruthOf(const Buffer &b)
    {
        const Part *imu = b.Find(0x24);
        if (imu == nullptr) {
            return nullptr;
        }
        // The callback runs right after the buffer's last byte is written; the wait covers that gap.
        const uint8_t number = b.payload.at(imu->payloadAt);
        for (int i = 0; i < 100; ++i) {
            {
                std::lock_guard<std::mutex> lock(m_truthMutex);
                const auto found = m_truths.find(number);
                if (found != m_truths.end() && found->second->frameNumber % 256 == number) {
                    return found->second;
                }
            }
            Stream().WaitForFramesSent(Stream().FramesSent() + 1, 50);
        }
        return nullptr;
    }

    SimStreamer &Stream() { return m_camera->Streamer(); }

    static constexpr const char *kAddress = "127.0.0.60";
    std::unique_ptr<SimCamera> m_camera;
    std::unique_ptr<CommandClient> m_command;
    std::unique_ptr<TcpClient> m_data;
    std::mutex m_truthMutex;
    std::map<uint8_t, std::shared_ptr<const SimColorTruth>> m_truths; // by IMU number
};

TEST_F(Streaming, BuffersComeAtTheFrameRateWithTheirPartsInOrder)
{
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
}

TEST_F(Streaming, StatusAndImagesFollowTheSettingsAfterTheDelay)
{
    Set(kStream, {1});
    const Buffer first = Next();
    ASSERT_EQ(first.Status(7), 2);
    ASSERT_NE(ColorPart(first), nullptr);
    EXPECT_EQ(ColorPart(first)->type, 0x31) << "the default lens";

    Stream().SetStatusDelayMs(300);
    const Clock::time_point changed = Clock::now();
    Set(kDepthRange, {4});
    SetLens(640, 480, 1);
    size_t oldFrames = 0;
    for (;;) {
        const Buffer b = Next();
        ASSERT_NE(ColorPart(b), nullptr);
        // The ToF and colour parts of a buffer follow the status it carries.
        EXPECT_EQ(b.Find(0xB1)->spare & 0x0F, b.Status(7));
        const bool newLens = StatusColorWidth(b) == 640;
        EXPECT_EQ(ColorPart(b)->type, newLens ? 0x34 : 0x31);
        if (b.Status(7) == 2 && !newLens) {
            ASSERT_LT(++oldFrames, size_t{kMaxBuffers});
            continue;
        }
        EXPECT_GE(Clock::now() - changed, std::chrono::milliseconds(300));
        if (b.Status(7) == 4 && newLens) {
            break;
        }
    }
    EXPECT_GE(oldFrames, 2u);

    // Without a delay the next frames show a change; a lens switched off sends no colour part.
    Stream().SetStatusDelayMs(0);
    Set(kDepthRange, {1});
    SetLens(640, 480, 1, 0);
    Buffer b = Next();
    for (int i = 0; i < 10 && (b.Status(7) != 1 || ColorPart(b) != nullptr); ++i) {
        b = Next();
    }
    for (int i = 0; i < 3; ++i) {
        b = Next();
        EXPECT_EQ(b.Status(7), 1);
        EXPECT_EQ(ColorPart(b), nullptr);
    }
    SetLens(800, 600, 2, 1);
    const Buffer again = NextWithLens(800, 600, 2);
    ASSERT_NE(ColorPart(again), nullptr);
    EXPECT_EQ(ColorPart(again)->type, 0x37);
}

TEST_F(Streaming, CalibrationBlockComesAfterItsDelayOnlyWhileEnabled)
{
    Stream().OverrideFramePeriod(std::chrono::milliseconds(20));
    // Five buffers after the host enabled it, counted from the first buffer of the stream.
    Stream().SetCalibrationDelay(5, 0);
    Set(kCameraParams, {1});
    Set(kStream, {1});
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Next().Find(0x2E), nullptr) << i;
    }
    Buffer b = Next();
    const Part *calibration = b.Find(0x2E);
    ASSERT_NE(calibration, nullptr);
    EXPECT_EQ(calibration->length, 470u);
    EXPECT_EQ(b.Types(), (std::vector<uint8_t>{0x1F, 0x24, 0x2C, 0x2E, 0xB1, 0x31}));
    const SimSettings settings = m_camera->Settings();
    const uint8_t *blob = b.payload.data() + calibration->payloadAt;
    for (size_t i = 0; i < 9; ++i) {
        double value = 0;
        std::memcpy(&value, blob + 8 * i, 8);
        EXPECT_EQ(value, settings.tofIntrinsic[i]) << i;
    }
    EXPECT_EQ(blob[404], settings.depthRange);
    EXPECT_EQ(blob[405], settings.dataMode);
    EXPECT_EQ(blob[422], settings.depthRanges.size());
    EXPECT_EQ(blob[432], settings.dataModes.size());
    EXPECT_EQ(blob[466] | blob[467] << 8, 1920);
    EXPECT_NE(Next().Find(0x2E), nullptr) << "sent while enabled";

    Set(kCameraParams, {0});
    for (int i = 0; i < 10 && b.Find(0x2E) != nullptr; ++i) {
        b = Next();
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(b.Find(0x2E), nullptr);
        b = Next();
    }

    // Withheld: not sent though enabled; released: at once. (That a withheld block never comes, and a
    // delay in milliseconds, are what the session tests wait on.)
    Stream().SetCalibrationDelay(0, 0);
    Stream().WithholdCalibration(true);
    Set(kCameraParams, {1});
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Next().Find(0x2E), nullptr);
    }
    Stream().WithholdCalibration(false);
    b = Next();
    for (int i = 0; i < 5 && b.Find(0x2E) == nullptr; ++i) {
        b = Next();
    }
    EXPECT_NE(b.Find(0x2E), nullptr);
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

TEST_F(Streaming, ColourTypeIdAndPayloadFollowTheLensSize)
{
    struct Row
    {
        uint16_t width;
        uint16_t height;
        uint8_t encodeType;
        uint8_t typeId;
        bool trailer;
    };
    const Row rows[] = {
        {1920, 1080, 1, 0x31, true},  {1280, 720, 1, 0x32, true}, {640, 360, 1, 0x33, true},
        {640, 480, 1, 0x34, true},    {640, 480, 2, 0x34, true},  {640, 480, 0, 0x35, true},
        {1600, 1200, 2, 0x36, false}, {800, 600, 2, 0x37, false}, {600, 480, 2, 0x25, false},
        {1024, 768, 1, 0x25, false},  {1280, 720, 0, 0x32, true},
    };
    Set(kStream, {1});
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height) + " encoding " +
                     std::to_string(row.encodeType));
        SetLens(row.width, row.height, row.encodeType);
        const Buffer b = NextWithLens(row.width, row.height, row.encodeType);
        ASSERT_FALSE(b.overrun);
        const Part *colour = ColorPart(b);
        ASSERT_NE(colour, nullptr);
        EXPECT_EQ(colour->type, row.typeId);
        EXPECT_EQ(colour->spare, 0);
        EXPECT_EQ(&b.parts.back(), colour) << "the colour part comes last, after the ToF part";
        EXPECT_NE(b.Find(0xB1), nullptr);
        const uint8_t *payload = b.payload.data() + colour->payloadAt;
        const std::shared_ptr<const SimColorTruth> truth = TruthOf(b);
        ASSERT_TRUE(truth);
        EXPECT_EQ(truth->typeId, row.typeId);
        EXPECT_EQ(truth->width, row.width);
        EXPECT_EQ(truth->height, row.height);
        EXPECT_EQ(truth->payloadBytes, colour->length);
        ASSERT_TRUE(truth->rgb);
        ASSERT_EQ(truth->rgb->size(), size_t{row.width} * row.height * 3);
        if (row.trailer) {
            EXPECT_EQ(FloatAt(payload + colour->length - 4), kExposureSeconds);
            EXPECT_EQ(truth->exposureSeconds, kExposureSeconds);
        }
        EXPECT_EQ(truth->hasExposure, row.trailer);
        // The image shows the scene, not a flat fill: the seven objects and the background differ. The
        // shading darkens a surface evenly, so the ratios between channels (hue classes) stay.
        std::map<uint32_t, size_t> hues;
        for (size_t i = 0; i < truth->rgb->size(); i += 3) {
            const uint8_t *p = truth->rgb->data() + i;
            const int sum3 = p[0] + p[1] + p[2] + 1;
            ++hues[static_cast<uint32_t>(p[0] * 8 / sum3) << 8 | static_cast<uint32_t>(p[1] * 8 / sum3)];
        }
        EXPECT_GE(hues.size(), 5u);
        if (row.typeId == 0x35) {
            EXPECT_EQ(colour->length,
                      460800u); // its planes are checked in YuvPlanesFollowTheTextbookConversion
            continue;
        }
        const size_t jpegBytes = colour->length - (row.trailer ? 4 : 0);
        ASSERT_GT(jpegBytes, 4u);
        EXPECT_EQ(payload[0], 0xFF);
        EXPECT_EQ(payload[1], 0xD8);
        EXPECT_EQ(payload[jpegBytes - 2], 0xFF) << "the JPEG ends right before the trailer";
        EXPECT_EQ(payload[jpegBytes - 1], 0xD9);
        const std::optional<Decoded> decoded = DecodeJpeg(payload, jpegBytes);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->width, row.width);
        EXPECT_EQ(decoded->height, row.height);
        EXPECT_EQ(decoded->subsampling, TJSAMP_420);
        ASSERT_EQ(decoded->rgb.size(), truth->rgb->size());
        // Quality 90 keeps flat surfaces close; edges between objects ring a little.
        double sum = 0.0;
        size_t far = 0;
        for (size_t i = 0; i < decoded->rgb.size(); ++i) {
            const int difference = std::abs(decoded->rgb[i] - (*truth->rgb)[i]);
            sum += difference;
            far += difference > 40 ? 1 : 0;
        }
        EXPECT_LT(sum / decoded->rgb.size(), 3.0);
        EXPECT_LT(far, decoded->rgb.size() / 100);
    }
}

TEST_F(Streaming, YuvPlanesFollowTheTextbookConversion)
{
    Set(kStream, {1});
    SetLens(640, 480, 0);
    const Buffer b = NextWithLens(640, 480, 0);
    const Part *colour = ColorPart(b);
    ASSERT_NE(colour, nullptr);
    ASSERT_EQ(colour->type, 0x35);
    ASSERT_EQ(colour->length, 460800u);
    const std::shared_ptr<const SimColorTruth> truth = TruthOf(b);
    ASSERT_TRUE(truth && truth->rgb && truth->yuv);
    const uint8_t *y = b.payload.data() + colour->payloadAt;
    const uint8_t *u = y + 640 * 480;
    const uint8_t *v = u + 320 * 240;
    EXPECT_EQ(std::vector<uint8_t>(y, y + 460800), *truth->yuv);
    const std::vector<uint8_t> &rgb = *truth->rgb;
    int worst = 0;
    for (size_t i = 0; i < 640 * 480; ++i) {
        const double expected =
            16 + 0.256788 * rgb[3 * i] + 0.504129 * rgb[3 * i + 1] + 0.097906 * rgb[3 * i + 2];
        worst = std::max(worst, std::abs(y[i] - Rounded(expected)));
    }
    for (size_t row = 0; row < 240; ++row) {
        for (size_t column = 0; column < 320; ++column) {
            double r = 0.0;
            double g = 0.0;
            double bl = 0.0;
            for (size_t dy = 0; dy < 2; ++dy) {
                for (size_t dx = 0; dx < 2; ++dx) {
                    const size_t p = ((2 * row + dy) * 640 + 2 * column + dx) * 3;
                    r += rgb[p] / 4.0;
                    g += rgb[p + 1] / 4.0;
                    bl += rgb[p + 2] / 4.0;
                }
            }
            const size_t at = row * 320 + column;
            worst =
                std::max(worst, std::abs(u[at] - Rounded(128 - 0.148223 * r - 0.290993 * g + 0.439216 * bl)));
            if (at < 320 * 240 - 4) { // the last four V samples carry the exposure
                worst = std::max(
                    worst, std::abs(v[at] - Rounded(128 + 0.439216 * r - 0.367788 * g - 0.071427 * bl)));
            }
        }
    }
    EXPECT_LE(worst, 1);
    EXPECT_EQ(FloatAt(v + 320 * 240 - 4), kExposureSeconds);
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

TEST_F(Streaming, BufferFaultsOnDemand)
{
    Set(kStream, {1});
    Next();

    // Dropped ToF parts leave the rest of the buffer.
    Stream().DropTof(2);
    size_t without = 0;
    for (int i = 0; i < 20 && without < 2; ++i) {
        const Buffer b = Next();
        if (b.Find(0xB1) == nullptr) {
            EXPECT_EQ(b.Types(), (std::vector<uint8_t>{0x1F, 0x24, 0x2C, 0x31}));
            ++without;
        }
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

TEST_F(Streaming, ColourFaultsOnDemand)
{
    SetLens(640, 480, 1);
    Set(kStream, {1});
    NextWithLens(640, 480, 1);

    Stream().DropColor(2);
    size_t without = 0;
    for (int i = 0; i < kMaxBuffers && without < 2; ++i) {
        const Buffer b = Next();
        EXPECT_NE(b.Find(0xB1), nullptr) << "the ToF part stays";
        without += ColorPart(b) == nullptr;
    }
    EXPECT_EQ(without, 2u);
    EXPECT_NE(ColorPart(Next()), nullptr);

    // Split frames: a ToF buffer, then a colour buffer with the same timestamp and IMU number.
    Stream().SplitColor(2);
    Buffer b = Next();
    for (int i = 0; i < kMaxBuffers && ColorPart(b) != nullptr; ++i) {
        b = Next();
    }
    for (int frame = 0; frame < 2; ++frame) {
        EXPECT_EQ(b.Types(), (std::vector<uint8_t>{0x1F, 0x24, 0x2C, 0xB1}));
        const Buffer second = Next();
        EXPECT_EQ(second.Types(), (std::vector<uint8_t>{0x1F, 0x24, 0x34}));
        EXPECT_EQ(second.Timestamp(), b.Timestamp());
        EXPECT_EQ(second.payload.at(second.parts[1].payloadAt), b.payload.at(b.parts[1].payloadAt));
        const std::shared_ptr<const SimColorTruth> truth = TruthOf(second);
        ASSERT_TRUE(truth);
        EXPECT_EQ(truth->typeId, 0x34);
        b = Next();
    }
    EXPECT_EQ(b.Types(), (std::vector<uint8_t>{0x1F, 0x24, 0x2C, 0xB1, 0x34})) << "whole frames again";
}

TEST_F(Streaming, FramePeriodOverrideSendsFasterThanTheFrameRate)
{
    SetLens(640, 480, 1);
    Set(kFrameRate, {1});
    Set(kStream, {1});
    Next();
    // At one frame a second twenty buffers take twenty seconds; without a pause they come at once.
    Stream().OverrideFramePeriod(std::chrono::microseconds(0));
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(ReadBuffer(*m_data, 2500)) << i;
    }
    // Back at the frame rate the camera is quiet for most of a second.
    Stream().ClearFramePeriodOverride();
    Drain(*m_data, 300);
    const uint64_t sent = Stream().FramesSent();
    EXPECT_FALSE(Stream().WaitForFramesSent(sent + 2, 500));
}

TEST_F(Streaming, FrozenStatusNeverFollowsUntilReleased)
{
    SetLens(640, 480, 1);
    Stream().OverrideFramePeriod(std::chrono::milliseconds(20));
    Set(kStream, {1});
    ASSERT_EQ(Next().Status(7), 2);
    Stream().FreezeStatus(true);
    Set(kDepthRange, {4});
    SetLens(800, 600, 2);
    // The camera takes the settings (the integration tests read them back) but runs on with the old state.
    for (int i = 0; i < 30; ++i) {
        const Buffer b = Next();
        ASSERT_FALSE(b.parts.empty());
        EXPECT_EQ(b.Status(7), 2);
        EXPECT_EQ(b.Find(0xB1)->spare & 0x0F, 2);
        ASSERT_NE(ColorPart(b), nullptr);
        EXPECT_EQ(ColorPart(b)->type, 0x34);
    }
    Stream().FreezeStatus(false);
    const Buffer after = NextWithLens(800, 600, 2);
    EXPECT_EQ(after.Status(7), 4);
    ASSERT_NE(ColorPart(after), nullptr);
    EXPECT_EQ(ColorPart(after)->type, 0x37);
}

// (That a camera with a silent heartbeat still announces and streams is shown by the integration tests.)
TEST_F(Streaming, SilentHeartbeatLeavesEverythingElseAnswered)
{
    m_camera->SetHeartbeatAnswered(false);
    const size_t before = m_camera->RecordedFrames().size();
    ASSERT_TRUE(m_command->Send(kHeartbeat, {1}));
    ASSERT_TRUE(m_camera->WaitForFrames(before + 1, kWaitMs));
    EXPECT_EQ(m_camera->RecordedFrames().back().command, kHeartbeat) << "read and recorded";
    EXPECT_FALSE(m_command->ReadReply(500)) << "no answer";
    Set(kFrameRate, {15});
    const std::optional<std::vector<uint8_t>> rate = m_command->Query(kFrameRate | 0x80, {});
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->at(0), 15);
    // A command fault meant for queries is not used up by the unanswered heartbeats.
    m_camera->SetCommandFault(CommandFault::NoAnswer, 1);
    ASSERT_TRUE(m_command->Send(kHeartbeat, {1}));
    ASSERT_TRUE(m_command->Send(kFrameRate | 0x80, {}));
    EXPECT_FALSE(m_command->ReadReply(500)) << "the fault takes this query";
    EXPECT_TRUE(m_command->Query(kFrameRate | 0x80, {}));

    m_camera->SetHeartbeatAnswered(true);
    const std::optional<std::vector<uint8_t>> again = m_command->Query(kHeartbeat, {1});
    ASSERT_TRUE(again);
    EXPECT_EQ(again->at(0), 1);
}

} // namespace
