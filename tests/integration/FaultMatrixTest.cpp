// SPDX-License-Identifier: Apache-2.0
// The fault matrix: every way a camera or the network fails, made by a simulated camera and met through
// the public API. Each row checks what the application sees and how soon, that the frame it holds is
// left alone, that the loss is counted, and that the camera is usable again once the fault clears.
// Cameras on 127.0.0.20 to 127.0.0.39.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "SimFirmwareImage.h"
#include "UpgradeFixture.h"
#include "net/SocketCtl.h"
#include "upgrade/Upgrade.h"

namespace {
[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(orvtest::ApiLoopbackEnvironment());
using namespace orvtest;
using Clock = std::chrono::steady_clock;

constexpr int kRemoved = 1;
/// The command receive bound used here instead of the camera's 5 s default.
constexpr unsigned kReceiveMs = 1000;
/// The simulated camera runs "KR52_V2.3.7_20260101_V3"; this image is newer.
const std::vector<uint8_t> kImage = SimFirmwareImage::Build("20260301", 4, 16 * 1024);

/// The pixels of a delivered frame, copied, and where the library keeps them.
struct HeldFrame
{
    const uint8_t *at = nullptr;
    std::vector<uint8_t> bytes;
    bool Unchanged() const { return at != nullptr && std::memcmp(at, bytes.data(), bytes.size()) == 0; }
};

class FaultMatrixTest;
using Step = void (*)(FaultMatrixTest &);

/// One fault: `inject` makes it, `expect` checks what the application sees (both within `boundMs`),
/// `recover` clears it and leaves m_device open and streaming.
struct Row
{
    const char *name;
    unsigned hostByte;
    unsigned boundMs;
    Step inject;
    Step expect;
    Step recover;
    bool refused = false; ///< the loss must show as refused buffers
};

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.name;
}

/// A socket holding `port` on every local address, as another program would; -1 when it cannot.
int Squat(int type, uint16_t port)
{
    const int fd = socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        (type == SOCK_STREAM && listen(fd, 1) != 0)) {
        close(fd); // nothing when there is no socket
        return -1;
    }
    return fd;
}

class FaultMatrixTest : public UpgradeFixture, public ::testing::WithParamInterface<Row>
{
public:
    void SetUp() override
    {
        SocketCtl::SetReceiveTimeoutMs(kReceiveMs);
        UpgradeFixture::SetUp();
    }
    void TearDown() override
    {
        close(m_squatter); // nothing when no port is held
        CloseDevice();
        UpgradeFixture::TearDown();
        SocketCtl::SetReceiveTimeoutMs(SocketCtl::kDefaultReceiveTimeoutMs);
    }

    /// Reads until a depth frame comes and copies it; false after timeoutMs.
    bool ReadDepth(HeldFrame &held, unsigned timeoutMs = 3000)
    {
        FrameSet set;
        if (!ReadSet(m_device, kReadyDepth, set, timeoutMs)) {
            return false;
        }
        const TfFrame *depth = set.Find(TF_FRAME_DEPTH);
        held.at = static_cast<const uint8_t *>(Val(depth->pFrameData));
        held.bytes.assign(held.at, held.at + Val(depth->dataLen));
        return true;
    }

    /// Closes the handle if open, then opens the camera anew once it is listed (again).
    void Reopen()
    {
        CloseDevice();
        const auto deadline = Clock::now() + std::chrono::milliseconds(kCameraWaitMs);
        int code = -1;
        while ((code = TFCM_OpenDevice(Uri(m_serial).c_str(), &m_device)) != 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_EQ(code, 0) << "not opened again";
    }
    void CloseDevice()
    {
        if (m_device != nullptr) {
            EXPECT_EQ(TFCM_CloseDevice(&m_device), 0);
        }
        m_handleGone = true;
    }

    /// Codes of TFCM_ReadNextFrame over `forMs`, without the zeros.
    std::vector<int> ReadCodes(unsigned forMs)
    {
        std::vector<int> codes;
        const auto end = Clock::now() + std::chrono::milliseconds(forMs);
        while (Clock::now() < end) {
            TfFrameReady ready{};
            const int code = TFCM_ReadNextFrame(m_device, &ready);
            if (code != 0 && (codes.empty() || codes.back() != code)) {
                codes.push_back(code);
            }
            if (code != 0 && code != TF_ERROR_FRAME_TIMEOUT) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        return codes;
    }

    /// Runs `call`, keeping its code and how long it took for the expect step.
    template <typename Call> void Time(Call call)
    {
        const auto start = Clock::now();
        m_code = call();
        m_callMs = ElapsedMs(start);
    }

    /// Starts a firmware upgrade of m_device with the report log as its callback.
    int StartUpgrade()
    {
        EXPECT_EQ(TFCM_SetUpgradeStatusCallback(m_device, &ReportLog::Upgrade), 0);
        return TFCM_StartUpgradeFirmWare(m_device, WriteFile("fw_image.bin", kImage).c_str());
    }

    using CameraFixture::LoggedNumbers;
    using CameraFixture::LogSinceMark;
    using CameraFixture::m_recorder;
    using CameraFixture::Uri;
    using UpgradeFixture::AddCamera;
    using UpgradeFixture::m_port;
    using UpgradeFixture::WaitUntilIdle;

    SimCamera *m_camera = nullptr;
    TfDeviceHandle m_device = nullptr;
    std::string m_serial;
    HeldFrame m_held;          ///< the depth frame read before the fault, still the application's
    bool m_handleGone = false; ///< the row closed the handle the frame came from
    int m_code = 0;            ///< a code the inject step saw, for its expect step
    long m_callMs = 0;         ///< how long the call that gave it took
    int m_squatter = -1;       ///< a socket holding a port the library needs
    SimCamera *m_twin = nullptr;
};

/// Waits for the camera's removal: reads then say so, and the handle stays one the library knows until
/// it is closed.
void Removed(FaultMatrixTest &t)
{
    ASSERT_TRUE(t.m_recorder->WaitFor(t.Uri(t.m_serial), kRemoved, 1, kCameraWaitMs));
    EXPECT_TRUE(WaitUntil(
        [&] {
            TfFrameReady ready{};
            return TFCM_ReadNextFrame(t.m_device, &ready) == TF_ERROR_DEVICE_NOT_FOUND;
        },
        3000));
    uint8_t mode = 0;
    EXPECT_NE(TFCM_GetDataMode(t.m_device, &mode), TF_ERROR_INVALID_HANDLE);
}

void Nothing(FaultMatrixTest &)
{
}

/// The query the fault hit failed; the next one is answered.
void QueryFailedOnce(FaultMatrixTest &t)
{
    EXPECT_EQ(t.m_code, TF_ERROR_NOT_CONNECTED);
    TfDepthRange range{};
    EXPECT_EQ(TFCM_GetDepthRange(t.m_device, &range), 0);
}

/// Stream buffers keep coming within the wait, with the fault in between.
void FramesFlow(FaultMatrixTest &t)
{
    HeldFrame next;
    EXPECT_TRUE(t.ReadDepth(next, 5000));
}

/// The camera's bytes were refused (and counted); frames come again after them.
void RefusedThenFramesFlow(FaultMatrixTest &t)
{
    EXPECT_TRUE(WaitUntil([&] { return ReadDropCounters(t.m_device).tof.bufferRefused > 0; }, 6000));
    FramesFlow(t);
}

std::vector<uint8_t> Garbage(size_t bytes)
{
    std::vector<uint8_t> out(bytes);
    uint32_t x = 0x9E3779B9u;
    for (uint8_t &b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return out;
}

const Row kRows[] = {
    {"CameraSilent", 20, 12000, [](FaultMatrixTest &t) { t.m_camera->SetHeartbeatAnswered(false); }, Removed,
     [](FaultMatrixTest &t) {
         t.m_camera->SetHeartbeatAnswered(true);
         t.Reopen();
     }},
    {"CameraGoneAndBack", 21, 12000,
     [](FaultMatrixTest &t) {
         t.m_camera->SetAnnouncing(false);
         t.m_camera->StopServing();
     },
     Removed,
     [](FaultMatrixTest &t) {
         ASSERT_TRUE(t.m_camera->StartServing());
         t.m_camera->SetAnnouncing(true);
         t.Reopen();
     }},
    {"DataConnectionDropped", 22, 8000, [](FaultMatrixTest &t) { t.m_camera->DropDataConnection(); },
     FramesFlow, Nothing},
    {"CommandConnectionDropped", 23, 8000,
     [](FaultMatrixTest &t) {
         t.m_camera->SetCommandFault(CommandFault::CloseConnection, 1);
         TfDepthRange range{};
         t.m_code = TFCM_GetDepthRange(t.m_device, &range);
     },
     QueryFailedOnce, Nothing},
    {"StallInTheMiddleOfABuffer", 24, 8000, [](FaultMatrixTest &t) { t.m_camera->Streamer().Stall(600); },
     [](FaultMatrixTest &t) {
         // Longer than the read's wait, shorter than the receive bound: the reads time out meanwhile.
         EXPECT_EQ(t.ReadCodes(800), std::vector<int>{TF_ERROR_FRAME_TIMEOUT});
         FramesFlow(t);
     },
     Nothing},
    {"StallLongerThanTheReceiveBound", 25, 12000,
     // Each wait for more bytes is bounded, not the buffer: it takes two bounds without a byte.
     [](FaultMatrixTest &t) { t.m_camera->Streamer().Stall(2 * kReceiveMs + 500); }, RefusedThenFramesFlow,
     Nothing, true},
    {"GarbageOnTheDataConnection", 26, 8000,
     [](FaultMatrixTest &t) { ASSERT_TRUE(t.m_camera->SendData(Garbage(4096))); }, RefusedThenFramesFlow,
     Nothing, true},
    {"GarbageOnTheCommandConnection", 27, 8000,
     [](FaultMatrixTest &t) {
         t.m_camera->SetCommandFault(CommandFault::WrongMarker, -1);
         TfDepthRange range{};
         t.m_code = TFCM_GetDepthRange(t.m_device, &range);
         t.m_camera->SetCommandFault(CommandFault::None, 0);
     },
     QueryFailedOnce, Nothing},
    {"LengthsFarBeyondTheBuffer", 28, 8000,
     [](FaultMatrixTest &t) {
         std::vector<uint8_t> huge = SimCamera::StreamBuffer(1, Garbage(64));
         huge[4] = huge[5] = huge[6] = 0xFF;
         huge[7] = 0x7F;
         ASSERT_TRUE(t.m_camera->SendData(huge));
     },
     RefusedThenFramesFlow, Nothing, true},
    {"SettingNeverConfirmed", 29, 8000,
     [](FaultMatrixTest &t) {
         t.m_camera->Streamer().FreezeStatus(true);
         t.Time([&] { return TFCM_SetIRGMMGain(t.m_device, 21); });
     },
     [](FaultMatrixTest &t) {
         // The camera took the value; the library gave up only after its half second of polls.
         EXPECT_EQ(t.m_code, TF_ERROR_NOT_CONFIRMED);
         EXPECT_GE(t.m_callMs, 450);
         EXPECT_EQ(t.m_camera->Settings().gmmGain, 21);
     },
     [](FaultMatrixTest &t) { t.m_camera->Streamer().FreezeStatus(false); }},
    {"SettingConfirmedLate", 30, 8000,
     [](FaultMatrixTest &t) {
         // Late, but within the exposure's second of polls.
         t.m_camera->Streamer().SetStatusDelayMs(400);
         t.m_code = TFCM_SetToFExposureTime(t.m_device, 650);
     },
     [](FaultMatrixTest &t) { EXPECT_EQ(t.m_code, 0); },
     [](FaultMatrixTest &t) { t.m_camera->Streamer().SetStatusDelayMs(0); }},
    {"StatusRecordFrozen", 31, 8000,
     [](FaultMatrixTest &t) {
         t.m_camera->Streamer().FreezeStatus(true);
         t.Time([&] { return TFCM_SetToFExposureTime(t.m_device, 650); });
     },
     [](FaultMatrixTest &t) {
         EXPECT_EQ(t.m_code, TF_ERROR_NOT_CONFIRMED);
         EXPECT_GE(t.m_callMs, 950) << "the exposure's second of polls";
         FramesFlow(t);
     },
     [](FaultMatrixTest &t) { t.m_camera->Streamer().FreezeStatus(false); }},
    {"CalibrationBlockWithheld", 32, 12000,
     [](FaultMatrixTest &t) {
         t.CloseDevice();
         t.m_camera->Streamer().WithholdCalibration(true);
         t.Time([&] { return TFCM_OpenDevice(t.Uri(t.m_serial).c_str(), &t.m_device); });
     },
     [](FaultMatrixTest &t) {
         // Opened after about a second without the block; the calibration then comes from the camera's
         // answers to queries.
         EXPECT_EQ(t.m_code, 0);
         EXPECT_GE(t.m_callMs, 1000);
         EXPECT_LT(t.m_callMs, 5000);
         EXPECT_NE(t.LogSinceMark().find("first frame data is toot late."), std::string::npos);
         EXPECT_TRUE(t.LoggedNumbers("]:wait:").empty());
         TfCameraParameters tof{};
         ASSERT_EQ(TFCM_GetCameraParameters(t.m_device, TF_SENSOR_TOF, &tof), 0);
         const std::array<double, 9> k = t.m_camera->Settings().tofIntrinsic;
         EXPECT_EQ(std::vector<double>({tof.fx, tof.fy, tof.cx, tof.cy}),
                   std::vector<double>({k[0], k[4], k[2], k[5]}));
     },
     [](FaultMatrixTest &t) { t.m_camera->Streamer().WithholdCalibration(false); }},
    {"RebootWhileStreaming", 33, 12000, [](FaultMatrixTest &t) { t.m_camera->PowerCycle(1000); }, Removed,
     [](FaultMatrixTest &t) {
         ASSERT_TRUE(t.m_camera->WaitForPowerCycles(1, kCameraWaitMs));
         t.Reopen();
     }},
    {"RebootDuringAnUpgrade", 34, 20000,
     [](FaultMatrixTest &t) {
         Upgrade::SetNoProgressLimitMs(3000);
         ASSERT_EQ(t.StartUpgrade(), 0);
         ASSERT_TRUE(ReportLog::Instance().WaitFor([](const Report &r) { return r.status == 5; }, 10000));
         t.m_camera->PowerCycle(500);
     },
     [](FaultMatrixTest &) {
         ASSERT_TRUE(ReportLog::Instance().WaitFor(UpgradeFixture::FirmwareFinal, 10000));
         const std::vector<Report> reports = ReportLog::Instance().Reports();
         EXPECT_EQ(reports.back().value, -1) << "last report (" << reports.back().status << ", -1)";
     },
     [](FaultMatrixTest &t) {
         EXPECT_TRUE(t.WaitUntilIdle(5000));
         t.Reopen();
     }},
    {"DiscoveryPortTaken", 35, 12000,
     [](FaultMatrixTest &t) {
         t.CloseDevice();
         ASSERT_EQ(TFCM_Shutdown(), 0);
         if (!WaitUntil([&] { return (t.m_squatter = Squat(SOCK_DGRAM, 9007)) >= 0; }, 1000)) {
             ASSERT_EQ(TFCM_Initialize(), 0);
             GTEST_SKIP() << "another program shares port 9007 (address reuse): it cannot be taken from us";
         }
         ASSERT_EQ(TFCM_Initialize(), 0);
     },
     [](FaultMatrixTest &t) {
         ASSERT_TRUE(
             WaitUntil([&] { return t.LogSinceMark().find("Error in BINDING") != std::string::npos; }, 3000));
         uint32_t count = 1;
         EXPECT_EQ(TFCM_GetDeviceCount(&count), 0);
         EXPECT_EQ(count, 0u);
     },
     [](FaultMatrixTest &t) {
         close(t.m_squatter);
         t.m_squatter = -1;
         t.Reopen();
     }},
    {"ServerPortTaken", 36, 8000,
     [](FaultMatrixTest &t) {
         t.m_squatter = Squat(SOCK_STREAM, t.m_port);
         ASSERT_GE(t.m_squatter, 0);
         t.m_code = t.StartUpgrade();
     },
     [](FaultMatrixTest &t) {
         EXPECT_EQ(t.m_code, TF_ERROR_OTHER);
         EXPECT_NE(t.LogSinceMark().find("Cannot listen on"), std::string::npos);
         EXPECT_FALSE(UpgradeFixture::HasPayloadPrefix(*t.m_camera, {1, 1})) << "told to switch";
     },
     [](FaultMatrixTest &t) {
         close(t.m_squatter);
         t.m_squatter = -1;
         ASSERT_EQ(t.StartUpgrade(), 0);
         ASSERT_TRUE(ReportLog::Instance().WaitFor(UpgradeFixture::FirmwareFinal, 20000));
         EXPECT_TRUE(
             ReportLog::Instance().WaitFor([](const Report &r) { return r.status == 8 && r.value == 1; }, 0));
         EXPECT_TRUE(t.WaitUntilIdle(5000));
         t.Reopen();
     }},
    {"CameraChangesItsAddress", 37, 12000, [](FaultMatrixTest &t) { t.m_camera->SetAddress("127.0.0.38"); },
     Removed, [](FaultMatrixTest &t) { t.Reopen(); }},
    {"TwoCamerasWithOneSerial", 39, 8000,
     [](FaultMatrixTest &t) {
         t.m_twin = &t.AddCamera(t.m_serial, 38);
         ASSERT_TRUE(t.m_twin->StartServing());
         ASSERT_TRUE(t.m_twin->WaitForAnnouncements(20, 3000));
     },
     [](FaultMatrixTest &t) {
         uint32_t count = 0;
         EXPECT_EQ(TFCM_GetDeviceCount(&count), 0);
         EXPECT_EQ(count, 1u);
         FramesFlow(t);
     },
     [](FaultMatrixTest &t) {
         t.m_twin->SetAnnouncing(false);
         t.m_twin->StopServing();
         t.Reopen();
     }},
};

TEST_P(FaultMatrixTest, SurvivesAndRecovers)
{
    const Row &row = GetParam();
    m_serial = "SNFAULT" + std::to_string(row.hostByte);
    m_camera = &AddUpgradeCamera(m_serial, row.hostByte);
    ASSERT_NO_FATAL_FAILURE(StartCameras());
    ASSERT_EQ(TFCM_OpenDevice(Uri(m_serial).c_str(), &m_device), 0);
    ASSERT_TRUE(ReadDepth(m_held, kCameraWaitMs));
    const std::vector<uint8_t> scene = m_held.bytes;
    const TfDropCounters before = ReadDropCounters(m_device);
    MarkLog();

    const auto start = Clock::now();
    ASSERT_NO_FATAL_FAILURE(row.inject(*this));
    if (IsSkipped()) {
        return;
    }
    if (!m_handleGone) {
        EXPECT_TRUE(m_held.Unchanged()) << "the frame the application holds was written over";
    }
    ASSERT_NO_FATAL_FAILURE(row.expect(*this));
    const long tookMs = ElapsedMs(start);
    EXPECT_LE(tookMs, static_cast<long>(row.boundMs));
    std::printf("[ fault    ] %s: seen within %ld ms\n", row.name, tookMs);
    if (!m_handleGone) {
        const TfDropCounters after = ReadDropCounters(m_device);
        EXPECT_GE(after.tofDelivered, before.tofDelivered);
        if (row.refused) {
            EXPECT_GT(after.tof.bufferRefused, before.tof.bufferRefused) << "the loss was not counted";
        }
    }

    ASSERT_NO_FATAL_FAILURE(row.recover(*this));
    for (int i = 0; i < 3; ++i) {
        HeldFrame next;
        ASSERT_TRUE(ReadDepth(next)) << "no frames after the fault cleared";
        EXPECT_EQ(next.bytes, scene) << "a frame after the fault differs from the scene";
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row> &row) {
                             return std::string(row.param.name);
                         });

} // namespace
