// SPDX-License-Identifier: Apache-2.0
// The fixture of the session integration tests.
#include "CameraFixture.h"

#include <cctype>
#include <cstring>

#include "runtime/LogCustom.h"

namespace orvtest {
namespace {

uint32_t ReadyBits(const TfFrameReady &ready)
{
    uint32_t bits = 0;
    static_assert(sizeof bits == sizeof ready, "TfFrameReady is 32 bits");
    std::memcpy(&bits, &ready, sizeof bits);
    return bits & 0x7F;
}

struct TypeBit
{
    uint32_t bit;
    TfFrameType type;
};
constexpr TypeBit kTypeBits[] = {{kReadyDepth, TF_FRAME_DEPTH},
                                 {kReadyIr, TF_FRAME_IR},
                                 {kReadyColor, TF_FRAME_COLOR},
                                 {kReadyConfidence, TF_FRAME_CONFIDENCE}};

} // namespace

const TfFrame *FrameSet::Find(uint32_t type) const
{
    for (const TfFrame &frame : frames) {
        if (Val(frame.frameType) == type) {
            return &frame;
        }
    }
    return nullptr;
}

TfDropCounters ReadDropCounters(TfDeviceHandle device)
{
    TfDropCounters counters{};
    int32_t size = sizeof counters;
    EXPECT_EQ(TFCM_GetProperty(device, TF_PROPERTY_EXT_DROP_COUNTERS, &counters, &size), TF_OK);
    EXPECT_EQ(size, static_cast<int32_t>(sizeof counters));
    return counters;
}

void CameraFixture::SetUp()
{
    m_recorder = std::make_unique<HotPlugRecorder>();
    ASSERT_EQ(TFCM_Initialize(), 0);
    CameraSimulator::Options options;
    options.announcePeriodMs = kAnnounceMs;
    m_sim = std::make_unique<CameraSimulator>(options);
    MarkLog();
}

void CameraFixture::TearDown()
{
    for (TfDeviceHandle &device : m_open) {
        if (device != nullptr) {
            EXPECT_EQ(TFCM_CloseDevice(&device), 0);
        }
    }
    m_open.clear();
    m_sim.reset();
    m_recorder.reset(); // before the shutdown: clearing the callbacks must not create a new manager
    EXPECT_EQ(TFCM_Shutdown(), 0);
}

SimCamera &CameraFixture::AddCamera(const std::string &serial, unsigned hostByte, const std::string &alias)
{
    SimCameraConfig config;
    config.serial = serial;
    config.alias = alias;
    config.address = "127.0.0." + std::to_string(hostByte);
    SimCamera &camera = m_sim->AddCamera(config);
    camera.UpdateSettings([&](SimSettings &s) {
        s.serial = serial;
        s.deviceSerial = serial;
        s.ipAddress = config.address;
    });
    m_cameras.push_back(&camera);
    return camera;
}

void CameraFixture::StartCameras()
{
    m_sim->Start();
    for (SimCamera *camera : m_cameras) {
        ASSERT_TRUE(m_recorder->WaitFor(Uri(camera->Config().serial), 0, 1, kCameraWaitMs))
            << camera->Config().serial << " was not listed; " << camera->LastError();
    }
}

void CameraFixture::StartLightCamera(const std::string &serial, unsigned hostByte)
{
    SimCamera &camera = AddCamera(serial, hostByte);
    camera.UpdateSettings([](SimSettings &s) {
        s.dataMode = 3;
        s.lenses[2].state = 0;
    });
    StartCameras();
    camera.Streamer().OverrideFramePeriod(std::chrono::milliseconds(5));
}

TfDeviceHandle CameraFixture::Open(const std::string &serial)
{
    TfDeviceHandle device = nullptr;
    EXPECT_EQ(TFCM_OpenDevice(Uri(serial).c_str(), &device), 0) << serial;
    if (device != nullptr) {
        m_open.push_back(device);
    }
    return device;
}

void CameraFixture::Close(TfDeviceHandle &device)
{
    if (device == nullptr) {
        return;
    }
    for (TfDeviceHandle &open : m_open) {
        if (open == device) {
            open = nullptr;
        }
    }
    EXPECT_EQ(TFCM_CloseDevice(&device), 0);
    EXPECT_EQ(device, nullptr);
}

bool CameraFixture::ReadSet(TfDeviceHandle device, uint32_t wantBits, FrameSet &set, unsigned timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        TfFrameReady ready{};
        if (TFCM_ReadNextFrame(device, &ready) != 0) {
            continue;
        }
        set = FrameSet{};
        set.readyBits = ReadyBits(ready);
        for (const TypeBit &tb : kTypeBits) {
            TfFrame frame{};
            if ((set.readyBits & tb.bit) != 0 && TFCM_GetFrame(device, tb.type, &frame) == 0) {
                set.frames.push_back(frame);
            }
        }
        if ((set.readyBits & wantBits) == wantBits) {
            return true;
        }
    }
    return false;
}

void CameraFixture::MarkLog()
{
    m_logMark = ReadLog().size();
}

std::string CameraFixture::LogSinceMark() const
{
    const std::string log = ReadLog();
    return m_logMark <= log.size() ? log.substr(m_logMark) : log;
}

std::vector<long> CameraFixture::LoggedNumbers(const std::string &key) const
{
    const std::string log = LogSinceMark();
    std::vector<long> numbers;
    for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
        const size_t digits = at + key.size();
        if (digits < log.size() &&
            (std::isdigit(static_cast<unsigned char>(log[digits])) || log[digits] == '-')) {
            numbers.push_back(std::strtol(log.c_str() + digits, nullptr, 10));
        }
    }
    return numbers;
}

} // namespace orvtest
