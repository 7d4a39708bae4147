// SPDX-License-Identifier: Apache-2.0
// Tests of the cameras' colour stream and of the camera-side behaviours a host's session relies on, on
// 127.0.0.61, read by raw clients: the colour sub-packet per lens, its content against the ground truth
// (decoded here with TurboJPEG, and the 4:2:0 format by the textbook conversion), colour faults, the
// frame period override, calibration timing, a frozen status and an unanswered heartbeat.
#include "CameraSimulator.h"

#include "CommandClient.h"
#include "SimTestSupport.h"
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

constexpr uint8_t kStream = 0x1B;
constexpr uint8_t kFrameRate = 0x04;
constexpr uint8_t kDepthRange = 0x07;
constexpr uint8_t kLens = 0x15;
constexpr uint8_t kCameraParams = 0x01;
constexpr uint8_t kHeartbeat = 0x9C;
constexpr size_t kStatusColorWidth = 52;
constexpr float kExposureSeconds = 0.0125f;
/// Buffers to read at most while waiting for a change to show.
constexpr int kMaxBuffers = 60;

bool IsColorType(uint8_t type)
{
    return type == 0x25 || (type >= 0x31 && type <= 0x37);
}

const Part *ColorPart(const Buffer &b)
{
    for (const Part &part : b.parts) {
        if (IsColorType(part.type)) {
            return &part;
        }
    }
    return nullptr;
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
    std::vector<uint8_t> rgb;
};

std::optional<Decoded> DecodeJpeg(const uint8_t *jpeg, size_t size)
{
    tjhandle handle = tjInitDecompress();
    Decoded decoded;
    int subsampling = 0;
    int colorspace = 0;
    bool ok = handle != nullptr &&
              tjDecompressHeader3(handle, jpeg, static_cast<unsigned long>(size), &decoded.width,
                                  &decoded.height, &subsampling, &colorspace) == 0;
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

class ColorStreaming : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SimCameraConfig config;
        config.serial = "SN0061";
        config.address = kAddress;
        m_camera = std::make_unique<SimCamera>(config, "127.0.0.1", m_discovery.Port());
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
            if ((b.Status(kStatusColorWidth) | b.Status(kStatusColorWidth + 1) << 8) == width &&
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

    static constexpr const char *kAddress = "127.0.0.61";
    DiscoveryReceiver m_discovery;
    std::unique_ptr<SimCamera> m_camera;
    std::unique_ptr<CommandClient> m_command;
    std::unique_ptr<TcpClient> m_data;
    std::mutex m_truthMutex;
    std::map<uint8_t, std::shared_ptr<const SimColorTruth>> m_truths; // by IMU number
};

TEST_F(ColorStreaming, TypeIdAndPayloadFollowTheLensSize)
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
        EXPECT_EQ(truth->rgb->size(), size_t{row.width} * row.height * 3);
        if (row.trailer) {
            EXPECT_EQ(FloatAt(payload + colour->length - 4), kExposureSeconds);
            EXPECT_EQ(truth->exposureSeconds, kExposureSeconds);
        }
        EXPECT_EQ(truth->hasExposure, row.trailer);
        if (row.typeId == 0x35) {
            EXPECT_EQ(colour->length, 460800u);
            continue;
        }
        const size_t jpegBytes = colour->length - (row.trailer ? 4 : 0);
        ASSERT_GT(jpegBytes, 4u);
        EXPECT_EQ(payload[0], 0xFF);
        EXPECT_EQ(payload[1], 0xD8);
        EXPECT_EQ(payload[jpegBytes - 2], 0xFF) << "the JPEG ends right before the trailer";
        EXPECT_EQ(payload[jpegBytes - 1], 0xD9);
        tjhandle handle = tjInitDecompress();
        int width = 0;
        int height = 0;
        int subsampling = -1;
        int colorspace = 0;
        EXPECT_EQ(tjDecompressHeader3(handle, payload, jpegBytes, &width, &height, &subsampling, &colorspace),
                  0);
        tjDestroy(handle);
        EXPECT_EQ(width, row.width);
        EXPECT_EQ(height, row.height);
        EXPECT_EQ(subsampling, TJSAMP_420);
    }
}

TEST_F(ColorStreaming, ColourFollowsTheLensAsApplied)
{
    Set(kStream, {1});
    const Buffer first = Next();
    ASSERT_NE(ColorPart(first), nullptr);
    EXPECT_EQ(ColorPart(first)->type, 0x31) << "the default lens";

    Stream().SetStatusDelayMs(300);
    const Clock::time_point changed = Clock::now();
    SetLens(640, 480, 1);
    size_t oldFrames = 0;
    for (;;) {
        const Buffer b = Next();
        ASSERT_NE(ColorPart(b), nullptr);
        if (ColorPart(b)->type == 0x34) {
            EXPECT_GE(Clock::now() - changed, std::chrono::milliseconds(300));
            EXPECT_EQ(b.Status(kStatusColorWidth) | b.Status(kStatusColorWidth + 1) << 8, 640);
            break;
        }
        EXPECT_EQ(ColorPart(b)->type, 0x31) << "the old lens until the status follows";
        ASSERT_LT(++oldFrames, size_t{kMaxBuffers});
    }
    EXPECT_GE(oldFrames, 2u);

    // The lens switched off: no colour part; on again: colour again.
    Stream().SetStatusDelayMs(0);
    SetLens(640, 480, 1, 0);
    int withColour = 0;
    for (int i = 0; i < kMaxBuffers && ColorPart(Next()) != nullptr; ++i) {
        ++withColour;
    }
    ASSERT_LT(withColour, kMaxBuffers);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ColorPart(Next()), nullptr);
    }
    SetLens(800, 600, 2, 1);
    const Buffer again = NextWithLens(800, 600, 2);
    ASSERT_NE(ColorPart(again), nullptr);
    EXPECT_EQ(ColorPart(again)->type, 0x37);
}

TEST_F(ColorStreaming, JpegDecodesToTheGroundTruth)
{
    Set(kStream, {1});
    for (uint16_t width : {640, 1280}) {
        SCOPED_TRACE(width);
        const uint16_t height = width == 640 ? 480 : 720;
        SetLens(width, height, 1);
        const Buffer b = NextWithLens(width, height, 1);
        const Part *colour = ColorPart(b);
        ASSERT_NE(colour, nullptr);
        const std::shared_ptr<const SimColorTruth> truth = TruthOf(b);
        ASSERT_TRUE(truth && truth->rgb);
        const std::optional<Decoded> decoded =
            DecodeJpeg(b.payload.data() + colour->payloadAt, colour->length - 4);
        ASSERT_TRUE(decoded);
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
        // The image shows the scene, not a flat fill: the seven objects and the background differ.
        std::map<uint32_t, size_t> colours;
        for (size_t i = 0; i < truth->rgb->size(); i += 3) {
            const uint8_t *p = truth->rgb->data() + i;
            // Hue classes: the shading darkens a surface evenly, so the ratios between channels stay.
            const int sum3 = p[0] + p[1] + p[2] + 1;
            ++colours[static_cast<uint32_t>(p[0] * 8 / sum3) << 8 | static_cast<uint32_t>(p[1] * 8 / sum3)];
        }
        EXPECT_GE(colours.size(), 5u);
    }

    // An unchanged scene reuses the image; a new scene is rendered again.
    const Buffer one = Next();
    const Buffer two = Next();
    const std::shared_ptr<const SimColorTruth> truthOne = TruthOf(one);
    const std::shared_ptr<const SimColorTruth> truthTwo = TruthOf(two);
    ASSERT_TRUE(truthOne && truthTwo);
    EXPECT_EQ(truthOne->rgb, truthTwo->rgb);
    EXPECT_NE(truthOne->frameNumber, truthTwo->frameNumber);
    Scene scene;
    scene.AddPlane(SimPlane{{0.0, 0.0, 1.0}, 2000.0, 0.9f});
    Stream().SetScene(scene);
    std::shared_ptr<const SimColorTruth> truthNew;
    for (int i = 0; i < kMaxBuffers; ++i) {
        truthNew = TruthOf(Next());
        ASSERT_TRUE(truthNew);
        if (truthNew->rgb != truthOne->rgb) {
            break;
        }
    }
    ASSERT_NE(truthNew->rgb, truthOne->rgb);
    // One plane filling the view: every pixel has the same colour.
    const std::vector<uint8_t> &rgb = *truthNew->rgb;
    for (size_t i = 3; i < rgb.size(); i += 3) {
        ASSERT_TRUE(rgb[i] == rgb[0] && rgb[i + 1] == rgb[1] && rgb[i + 2] == rgb[2]) << i / 3;
    }
}

TEST_F(ColorStreaming, YuvPlanesFollowTheTextbookConversion)
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

TEST_F(ColorStreaming, ColourFaultsOnDemand)
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

    // Dropping the ToF part leaves the colour part.
    Stream().DropTof(1);
    for (int i = 0; i < kMaxBuffers && b.Find(0xB1) != nullptr; ++i) {
        b = Next();
    }
    EXPECT_EQ(b.Types(), (std::vector<uint8_t>{0x1F, 0x24, 0x2C, 0x34}));
}

TEST_F(ColorStreaming, FramePeriodOverrideSendsFasterThanTheFrameRate)
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

TEST_F(ColorStreaming, CalibrationBlockAfterItsDelayOrNever)
{
    SetLens(640, 480, 1);
    Stream().OverrideFramePeriod(std::chrono::milliseconds(20));
    // Five buffers after the host enabled it, counted from the first buffer of the stream.
    Stream().SetCalibrationDelay(5, 0);
    Set(kCameraParams, {1});
    Set(kStream, {1});
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Next().Find(0x2E), nullptr) << i;
    }
    EXPECT_NE(Next().Find(0x2E), nullptr);
    EXPECT_NE(Next().Find(0x2E), nullptr) << "sent while enabled";

    // A delay in milliseconds counts from the enabling.
    Set(kCameraParams, {0});
    Stream().SetCalibrationDelay(0, 400);
    Buffer b = Next();
    for (int i = 0; i < kMaxBuffers && b.Find(0x2E) != nullptr; ++i) {
        b = Next();
    }
    const Clock::time_point enabled = Clock::now();
    Set(kCameraParams, {1});
    size_t without = 0;
    for (b = Next(); b.Find(0x2E) == nullptr && without < 200; b = Next()) {
        ++without;
    }
    EXPECT_GE(Clock::now() - enabled, std::chrono::milliseconds(400));
    EXPECT_GE(without, 5u);

    // Withheld: never, however long; released: at once.
    Stream().WithholdCalibration(true);
    for (int i = 0; i < 3; ++i) {
        Next();
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(Next().Find(0x2E), nullptr);
    }
    Stream().WithholdCalibration(false);
    b = Next();
    for (int i = 0; i < 5 && b.Find(0x2E) == nullptr; ++i) {
        b = Next();
    }
    EXPECT_NE(b.Find(0x2E), nullptr);
}

TEST_F(ColorStreaming, FrozenStatusNeverFollowsUntilReleased)
{
    SetLens(640, 480, 1);
    Stream().OverrideFramePeriod(std::chrono::milliseconds(20));
    Set(kStream, {1});
    ASSERT_EQ(Next().Status(7), 2);
    Stream().FreezeStatus(true);
    Set(kDepthRange, {4});
    SetLens(800, 600, 2);
    // The camera took the settings (its queries answer them) but runs on with the old state.
    const std::optional<std::vector<uint8_t>> range = m_command->Query(kDepthRange | 0x80, {});
    ASSERT_TRUE(range);
    EXPECT_EQ(range->at(0), 4);
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

TEST_F(ColorStreaming, SilentHeartbeatLeavesEverythingElseAnswered)
{
    const std::optional<std::vector<uint8_t>> answered = m_command->Query(kHeartbeat, {1});
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->at(0), 1);

    m_camera->SetHeartbeatAnswered(false);
    const size_t before = m_camera->RecordedFrames().size();
    ASSERT_TRUE(m_command->Send(kHeartbeat, {1}));
    ASSERT_TRUE(m_camera->WaitForFrames(before + 1, kWaitMs));
    EXPECT_EQ(m_camera->RecordedFrames().back().command, kHeartbeat) << "read and recorded";
    EXPECT_FALSE(m_command->ReadReply(500)) << "no answer";
    // Other queries and settings are served, and the camera still announces.
    Set(kFrameRate, {15});
    const std::optional<std::vector<uint8_t>> rate = m_command->Query(kFrameRate | 0x80, {});
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->at(0), 15);
    EXPECT_TRUE(m_camera->IsAnnouncing());
    ASSERT_TRUE(m_camera->AnnounceIfEnabled());
    EXPECT_TRUE(m_discovery.ReceiveUntil([](const Datagram &d) { return d.Serial() == "SN0061"; }, kWaitMs));
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
