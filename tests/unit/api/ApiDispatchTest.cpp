// SPDX-License-Identifier: Apache-2.0
// Tests of the call patterns, the handle check, the result translation and the argument-check order.
#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <tuple>
#include <vector>

#include "OpenedDeviceTest.h"
#include "api/DeviceHandle.h"
#include "device/DeviceManager.h"

using namespace orvtest;

using ApiDispatch = OpenedDeviceTest;
using Calls = std::vector<std::string>;

TEST_F(ApiDispatch, TranslationPassesOnlyTheDocumentedRanges)
{
    const std::pair<int, int> rows[] = {{-108, -255}, {-107, -107}, {-104, -104}, {-101, -101}, {-100, -255},
                                        {-20, -255},  {-19, -19},   {-2, -2},     {0, 0},       {1, -255}};
    for (const auto &[internal, external] : rows) {
        m_session->m_results["StartStream"] = internal;
        const size_t mark = LogMark();
        EXPECT_EQ(TFCM_StartStream(m_handle), external) << "internal " << internal;
        const bool logged =
            Contains(LogSince(mark), "]:invalid param: interRet:" + std::to_string(internal) + "\n");
        EXPECT_EQ(logged, external == -255 && internal != -255) << "internal " << internal;
    }
}

TEST_F(ApiDispatch, NoExceptionCrossesTheBoundary)
{
    TfCameraParameters params{};
    uint8_t value[4] = {};
    const std::tuple<const char *, const char *, std::function<int()>> rows[] = {
        {"StartStream", "TFCM_StartStream", [&] { return TFCM_StartStream(m_handle); }},
        {"SetComputeRealDepthEnabled", "TFCM_SetComputeRealDepthCorrectionEnabled",
         [&] { return TFCM_SetComputeRealDepthCorrectionEnabled(m_handle, true); }},
        {"SetSaveRawBufferEnabled", "TFCM_SetSaveRawBufferEnabled",
         [&] { return TFCM_SetSaveRawBufferEnabled(m_handle, true); }},
        {"SetTofFrameRate", "TFCM_SetFrameRate", [&] { return TFCM_SetFrameRate(m_handle, 10); }},
        {"GetCameraIntrinsic", "TFCM_GetCameraParameters",
         [&] { return TFCM_GetCameraParameters(m_handle, TF_SENSOR_TOF, &params); }},
        {"SetProperty", "TFCM_SetProperty", [&] { return TFCM_SetProperty(m_handle, 9, value, 4); }},
    };
    for (const auto &[operation, function, call] : rows) {
        m_session->m_throwIn = operation;
        const size_t mark = LogMark();
        EXPECT_EQ(call(), -255) << function;
        EXPECT_TRUE(Contains(LogSince(mark), std::string(function) + ": exception: fake failure in "))
            << function;
    }
    m_session->m_throwIn.clear();
}

TEST_F(ApiDispatch, HandleCheckRefusesUnknownAndStaleHandles)
{
    Device emptyCell{nullptr};
    int notADevice = 0;
    Device foreignCell{reinterpret_cast<BaseDevice *>(&notADevice)};
    EXPECT_EQ(TFCM_StartStream(nullptr), TF_ERROR_INVALID_HANDLE);
    EXPECT_EQ(TFCM_StartStream(&emptyCell), TF_ERROR_INVALID_HANDLE);
    EXPECT_EQ(TFCM_StartStream(&foreignCell), TF_ERROR_INVALID_HANDLE);
    EXPECT_TRUE(m_session->m_calls.empty());

    TfDeviceHandle stale = m_handle;
    ASSERT_EQ(TFCM_CloseDevice(&m_handle), 0);
    EXPECT_EQ(m_handle, nullptr);
    EXPECT_EQ(TFCM_CloseDevice(&stale), TF_ERROR_INVALID_HANDLE);
    EXPECT_NE(stale, nullptr); // a refused close leaves the application's value alone
}

TEST_F(ApiDispatch, CloseWaitsForTheCallsRunningOnTheHandle)
{
    std::promise<void> inside;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    m_session->m_onCall = [&](const std::string &name) {
        if (name == "StartStream") {
            inside.set_value();
            released.wait();
        }
    };
    TfDeviceHandle shared = m_handle;
    auto running = std::async(std::launch::async, [shared] { return TFCM_StartStream(shared); });
    inside.get_future().wait();
    std::atomic<bool> closed{false};
    auto closing = std::async(std::launch::async, [&] {
        const int ret = TFCM_CloseDevice(&m_handle);
        closed = true;
        return ret;
    });
    // Once the close has begun, no new call enters the handle; the running one holds the close back.
    bool enabled = false;
    ASSERT_TRUE(WaitUntil(
        [&] { return TFCM_GetSynchronizeEnabled(shared, &enabled) == TF_ERROR_INVALID_HANDLE; }, kWaitMs));
    EXPECT_FALSE(closed.load());
    release.set_value();
    EXPECT_EQ(running.get(), 0);
    EXPECT_EQ(closing.get(), 0);
}

TEST_F(ApiDispatch, ACallbackMayCloseItsOwnHandleInsideACall)
{
    TfDeviceHandle inner = m_handle;
    int innerClose = -1;
    m_session->m_onCall = [&](const std::string &name) {
        if (name == "StopStream") {
            innerClose = TFCM_CloseDevice(&inner); // released when the outer call ends
        }
    };
    EXPECT_EQ(TFCM_StopStream(m_handle), 0);
    EXPECT_EQ(innerClose, 0);
    EXPECT_EQ(TFCM_StopStream(m_handle), TF_ERROR_INVALID_HANDLE);
    m_handle = nullptr; // closed above
}

TEST_F(ApiDispatch, ArgumentChecksRunInTheDocumentedOrder)
{
    uint8_t mode = 0;
    TfCameraParameters params{};
    // A null output beats a bad handle; the handle beats value ranges ...
    EXPECT_EQ(TFCM_GetDataMode(nullptr, nullptr), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_GetDataMode(nullptr, &mode), TF_ERROR_INVALID_HANDLE);
    EXPECT_EQ(TFCM_GetCameraParameters(nullptr, static_cast<TfSensorType>(9), nullptr),
              TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_GetCameraParameters(nullptr, static_cast<TfSensorType>(9), &params),
              TF_ERROR_INVALID_HANDLE);
    EXPECT_EQ(TFCM_GetCameraParameters(m_handle, static_cast<TfSensorType>(9), &params),
              TF_ERROR_SENSOR_TYPE);
    // ... except the firmware path length, checked before the handle (a 261-byte path: the public API's
    // upgrade tests) ...
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(nullptr, std::string(260, 'a').c_str()), TF_ERROR_INVALID_HANDLE);
    // ... and the pixel formats, checked after the handle.
    EXPECT_EQ(TFCM_SetColorPixelFormat(nullptr, static_cast<TfPixelFormat>(9)), TF_ERROR_INVALID_HANDLE);
    EXPECT_EQ(TFCM_SetIRPixelFormat(nullptr, static_cast<TfPixelFormat>(9)), TF_ERROR_INVALID_HANDLE);
    EXPECT_TRUE(m_session->m_calls.empty());
}

TEST_F(ApiDispatch, PixelFormatsAreLimitedPerStream)
{
    const std::tuple<bool, TfPixelFormat, int> rows[] = {
        {true, TF_PIXEL_RGB888, 0},    {true, TF_PIXEL_BGR888, 0},
        {true, TF_PIXEL_GRAY8, -15},   {true, TF_PIXEL_DEPTH_MM16, -15},
        {false, TF_PIXEL_GRAY16, 0},   {false, TF_PIXEL_GRAY8, 0},
        {false, TF_PIXEL_RGB888, -15}, {false, static_cast<TfPixelFormat>(-1), -15}};
    for (const auto &[color, format, expected] : rows) {
        m_session->m_calls.clear();
        const int ret =
            color ? TFCM_SetColorPixelFormat(m_handle, format) : TFCM_SetIRPixelFormat(m_handle, format);
        EXPECT_EQ(ret, expected) << color << " " << format;
        EXPECT_EQ(m_session->m_calls.size(), expected == 0 ? 1u : 0u);
    }
}

/// A call's result and the session operations it made, which are cleared for the next call.
void ExpectCall(FakeSession &session, int ret, int expected, const Calls &calls)
{
    EXPECT_EQ(ret, expected);
    EXPECT_EQ(session.m_calls, calls);
    session.m_calls.clear();
}

TEST_F(ApiDispatch, BooleanPatternGivesMinus255AndIgnoringPatternZero)
{
    for (int result : {1, 7, -104, -300}) {
        m_session->m_results["SetComputeRealDepthEnabled"] = result;
        const size_t mark = LogMark();
        EXPECT_EQ(TFCM_SetComputeRealDepthCorrectionEnabled(m_handle, true), -255) << result;
        EXPECT_EQ(LogSince(mark).find("invalid param"), std::string::npos) << result;
    }
    m_session->m_results["SetComputeRealDepthEnabled"] = 0;
    EXPECT_EQ(TFCM_SetComputeRealDepthCorrectionEnabled(m_handle, true), 0);
    // The translating twin of the same session operation does translate.
    m_session->m_results["SetComputeRealDepthEnabled"] = -104;
    EXPECT_EQ(TFCM_SetRealDepthCorrectionEnabled(m_handle, false), -104);
    m_session->m_registerAnswer = false;
    EXPECT_EQ(TFCM_RegisterNotify(m_handle, nullptr), -255);
    m_session->m_registerAnswer = true;
    EXPECT_EQ(TFCM_RegisterNotify(m_handle, nullptr), 0);

    m_session->m_calls.clear();
    m_session->m_results["SetSaveRawBufferEnabled"] = -104;
    ExpectCall(*m_session, TFCM_SetSaveRawBufferEnabled(m_handle, true), 0, {"SetSaveRawBufferEnabled:1"});
    m_session->m_results["SetRangeValue"] = 4200;
    ExpectCall(*m_session, TFCM_SetRangeValue(m_handle, TF_DEPTH_RANGE_2, 100, 2400), 0,
               {"SetRangeValue:2,100,2400"});
    EXPECT_EQ(TFCM_SetSaveRawBufferEnabled(nullptr, true), TF_ERROR_INVALID_HANDLE);
}

TEST_F(ApiDispatch, RestartPatternStopsCallsAndStarts)
{
    m_session->m_results["SetTofFrameRate"] = -107;
    m_session->m_results["StartStream"] = -104; // the restart's own result is ignored
    ExpectCall(*m_session, TFCM_SetFrameRate(m_handle, 15), -107,
               {"StopStream", "SetTofFrameRate:15", "StartStream"});
    ExpectCall(*m_session, TFCM_SetDepthRange(m_handle, TF_DEPTH_RANGE_3), 0,
               {"StopStream", "SetDepthRange:3", "StartStream"});
    // A dual-frequency data mode also sets its default output; only the low 8 bits select the mode, and
    // a refused mode does not reach the dual-frequency setting.
    ExpectCall(*m_session, TFCM_SetDataMode(m_handle, 9), 0,
               {"StopStream", "SetDataMode:9", "SetDualFreqMode:2,5,0,0", "StartStream"});
    ExpectCall(*m_session, TFCM_SetDataMode(m_handle, 0x103), 0,
               {"StopStream", "SetDataMode:3", "StartStream"});
    m_session->m_results["SetDataMode"] = -107;
    ExpectCall(*m_session, TFCM_SetDataMode(m_handle, 10), -107,
               {"StopStream", "SetDataMode:10", "StartStream"});
}

TEST_F(ApiDispatch, ExposureTimeUsesBothSlotsOnlyInTwoExposureModes)
{
    m_session->m_dataMode = 1;
    ExpectCall(*m_session, TFCM_SetToFExposureTime(m_handle, 800), 0,
               {"SetExposureTime:0,800", "GetDataMode"});
    m_session->m_dataMode = 7;
    ExpectCall(*m_session, TFCM_SetToFExposureTime(m_handle, 900), 0,
               {"SetExposureTime:0,900", "GetDataMode", "SetExposureTime:1,900"});

    // Reading back: a single-exposure mode does not compare the unused second slot ...
    uint32_t exposure = 1;
    m_session->m_dataMode = 0;
    m_session->m_exposure[0] = 800;
    m_session->m_exposure[1] = 200;
    EXPECT_EQ(TFCM_GetToFExposureTime(m_handle, &exposure), 0);
    EXPECT_EQ(exposure, 800u);
    m_session->m_dataMode = 9;
    m_session->m_exposure[1] = 800;
    EXPECT_EQ(TFCM_GetToFExposureTime(m_handle, &exposure), 0);
    EXPECT_EQ(exposure, 800u);
    // ... while a two-exposure mode needs both to agree.
    m_session->m_exposure[1] = 900;
    exposure = 1;
    EXPECT_EQ(TFCM_GetToFExposureTime(m_handle, &exposure), -255);
    EXPECT_EQ(exposure, 1u);
    m_session->m_results["GetExposureTime"] = -104;
    EXPECT_EQ(TFCM_GetToFExposureTime(m_handle, &exposure), -104);
    EXPECT_EQ(exposure, 0u);
}

TEST_F(ApiDispatch, UnsupportedOperationsFailWithoutWriting)
{
    // FakeSession leaves GetTofFrameRate to BaseSession's default.
    uint8_t fps = 42;
    EXPECT_EQ(TFCM_GetFrameRate(m_handle, &fps), -255);
    EXPECT_EQ(fps, 42);
}

TEST_F(ApiDispatch, FramesAreCopiedOutWhateverTheResult)
{
    uint8_t pixels[4] = {};
    Frame &source = m_session->m_frame;
    source.frameIndex = 7;
    source.pFrameData = pixels;
    source.timestamp = 123456789;
    m_session->m_results["GetFrame"] = -4;
    TfFrame frame{};
    EXPECT_EQ(TFCM_GetFrame(m_handle, TF_FRAME_DEPTH, &frame), -4);
    EXPECT_EQ(Val(frame.frameIndex), 7u);
    EXPECT_EQ(Val(frame.pFrameData), pixels);
    EXPECT_EQ(Val(frame.timestamp), 123456789u);

    m_session->m_ready.depth = 1;
    m_session->m_ready.confidence = 1;
    TfFrameReady ready{};
    EXPECT_EQ(TFCM_ReadNextFrame(m_handle, &ready), 0);
    EXPECT_EQ(ready.depth, 1u);
    EXPECT_EQ(ready.confidence, 1u);
    EXPECT_EQ(ready.ir, 0u);
}

TEST_F(ApiDispatch, ColorResolutionCodes)
{
    EXPECT_EQ(TFCM_SetColorResolution(m_handle, 3), 0);
    EXPECT_EQ(m_session->m_calls.back(), "SetLens:2,1,640x480,25,2");

    // A size without a code leaves the caller's value alone.
    EXPECT_EQ(TFCM_SetColorResolution(m_handle, 4), 0);
    uint32_t code = 0xDEADBEEF;
    EXPECT_EQ(TFCM_GetColorResolution(m_handle, &code), 0);
    EXPECT_EQ(code, 0xDEADBEEFu);

    // A known size replaces the whole value, not only its low 16 bits.
    EXPECT_EQ(TFCM_SetColorResolution(m_handle, 2), 0);
    code = 0xFFFFFFFF;
    EXPECT_EQ(TFCM_GetColorResolution(m_handle, &code), 0);
    EXPECT_EQ(code, 2u);
}

TEST_F(ApiDispatch, FileTransferRefusesUnterminatedNames)
{
    // (A good record, its callback's data included, travels to the camera in the public API's transfer
    // tests.)
    TfFileTransferParams params{};
    std::memset(params.name, 'n', sizeof(params.name));
    EXPECT_EQ(TFCM_TransferFile(m_handle, &params), TF_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(m_session->m_calls.empty());
    EXPECT_EQ(TFCM_TransferFile(m_handle, nullptr), TF_ERROR_NULL_POINTER);
}

TEST_F(ApiDispatch, FirmwareStartResultsAndTheUpgradeFlag)
{
    // (The codes of a missing callback, a bad file and a bad data sum are the public API's upgrade tests'.)
    const std::pair<int, int> rows[] = {{-1, TF_ERROR_UPGRADE_REJECTED}, {-255, TF_ERROR_OTHER}, {1, TF_OK}};
    DeviceManager *manager = DeviceManager::GetInstance();
    for (const auto &[result, expected] : rows) {
        m_session->m_results["StartUpgradeFirmWare"] = result;
        EXPECT_EQ(TFCM_StartUpgradeFirmWare(m_handle, "/tmp/fw.bin"), expected) << result;
        EXPECT_EQ(manager->GetUpgradeState(), result == 1 ? kUpgradeFirmware : kUpgradeIdle) << result;
    }
    // A refused start (here: one while an upgrade runs) leaves the running upgrade's flag alone.
    m_session->m_results["StartUpgradeFirmWare"] = -255;
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(m_handle, "/tmp/fw.bin"), TF_ERROR_OTHER);
    EXPECT_EQ(manager->GetUpgradeState(), kUpgradeFirmware);
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(m_handle, nullptr), TF_ERROR_NULL_POINTER);
}
