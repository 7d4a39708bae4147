// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the public API as an application drives it: each input is a sequence of calls with
// their arguments (open, start, stop, settings, properties, frames, callbacks, close) made from one or
// two threads against a simulated camera that lives in the process.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CameraSimulator.h"
#include "FuzzInput.h"
#include "Orvane_api.h"
#include "api/DeviceHandle.h"
#include "device/BaseDevice.h"
#include "device/DeviceManager.h"
#include "protocol/PropertyKeys.h"
#include "runtime/PathTools.h"
#include "session/BaseSession.h"

namespace {

// The camera every input talks to; the library and the camera start once per process.
constexpr const char *kSerial = "SNAPIFUZZ";
constexpr const char *kAlias = "APIFUZZ";
constexpr const char *kAddress = "127.0.0.51";
constexpr const char *kUri = "KR52Lite:SNAPIFUZZ";
// Announcements go to a port of the fuzzer's own, so that a long run leaves the loopback suites' port alone.
constexpr uint16_t kDiscoveryPort = 19050;
constexpr size_t kSlots = 3;
constexpr size_t kMaxOps = 48;
constexpr size_t kArgBytes = 64;

/// One call of an input: which thread makes it, on which handle slot, and its raw arguments.
struct Op
{
    bool second = false; ///< made by the second thread
    uint8_t code = 0;
    uint8_t slot = 0;
    uint8_t sel = 0;
    int32_t key = 0;
    int32_t size = 0;
    std::array<uint8_t, kArgBytes> args{};
    std::string text;
};

// Every setter and getter row takes the handle and the op's argument bytes.
using H = TfDeviceHandle;
using A = const uint8_t *;

template <typename T> T Arg(A args, size_t at = 0)
{
    T value;
    std::memcpy(&value, args + at, sizeof value);
    return value;
}
bool Flag(A args, size_t at = 0)
{
    return (args[at] & 1) != 0;
}

/// Room for a call's output, each thread (and each `Slot`) its own, cleared for every call.
template <typename T, int Slot = 0> T *Out()
{
    thread_local T value;
    value = T{};
    return &value;
}

/// A record read from the arguments at `at`, handed over only when the first argument's flag is set (a
/// null pointer otherwise).
template <typename T> T *Maybe(A args, size_t at)
{
    T *value = Out<T>();
    *value = Arg<T>(args, at);
    return Flag(args) ? value : nullptr;
}

// ---- Callbacks: they read what the library hands them, so that a bad frame shows under ASan ----

std::atomic<uint64_t> g_sink{0};

void TouchFrame(const TfFrame &frame)
{
    if (frame.pFrameData != nullptr && frame.dataLen > 0) {
        g_sink += frame.pFrameData[0] + frame.pFrameData[frame.dataLen - 1];
    }
}

int OnFrames(CallbackFrames *frames)
{
    if (frames == nullptr) {
        return 0;
    }
    const std::pair<uint8_t, const TfFrame *> parts[] = {
        {frames->hasDepth, &frames->depth},
        {frames->hasIr, &frames->ir},
        {frames->hasColor, &frames->color},
        {frames->hasConfidence, &frames->confidence},
        {frames->hasMappedDepth, &frames->depthMappedToColor},
        {frames->hasMappedIr, &frames->irMappedToColor},
        {frames->hasMappedColor, &frames->colorMappedToDepth}};
    for (const auto &part : parts) {
        if (part.first != 0) {
            TouchFrame(*part.second);
        }
    }
    return 0;
}
void OnHotPlug(const TfDeviceInfo *info, int status)
{
    g_sink += info != nullptr ? info->uri[0] + status : 0;
}
void OnHotPlugEx(const TfDeviceInfo *info, int status, void *)
{
    OnHotPlug(info, status);
}
void OnUpgrade(int status, int params)
{
    g_sink += status + params;
}

// ---- The settings: every setter and getter that acts on the camera or the handle's pipeline ----

using Call = int (*)(H, A);

// Saving the depth table and dumping raw buffers write files, so the fuzzer leaves them out.
// clang-format off
const decltype(&TFCM_SetDSPEnabled) kBoolSetters[] = {
    TFCM_SetRealDepthCorrectionEnabled, TFCM_SetComputeRealDepthCorrectionEnabled,
    TFCM_SetSmoothingFilterEnabled, TFCM_SetTimeFilterEnabled, TFCM_SetToFDistortionCorrectionEnabled,
    TFCM_SetColorDistortionCorrectionEnabled, TFCM_SetRGBCorrectionEnabled,
    TFCM_SetTransformColorImgToDepthCameraEnabled, TFCM_SetTransformDepthImgToColorCameraEnabled,
    TFCM_SetSynchronizeEnabled, TFCM_SetDepthFrameEnabled, TFCM_SetIrFrameEnabled,
    TFCM_SetConfidenceFrameEnabled, TFCM_SetColorFrameEnabled, TFCM_SetConfidenceFilterEnabled,
    TFCM_SetRawDepthCut, TFCM_SetLowPowerModeEnabled, TFCM_SetStandByEnabled,
    TFCM_SetSlaveModeStatus, TFCM_SetDSPEnabled};
const decltype(&TFCM_GetDSPEnabled) kBoolGetters[] = {
    TFCM_GetComputeRealDepthCorrectionEnabled, TFCM_GetSmoothingFilterEnabled, TFCM_GetTimeFilterEnabled,
    TFCM_GetToFDistortionCorrectionEnabled, TFCM_GetColorDistortionCorrectionEnabled,
    TFCM_GetRGBCorrectionEnabled, TFCM_IsTransformColorImgToDepthCameraEnabled,
    TFCM_IsTransformDepthImgToColorCameraEnabled, TFCM_GetSynchronizeEnabled,
    TFCM_GetConfidenceFilterEnabled, TFCM_GetDSPEnabled};
// clang-format on

/// A setter of one value, taken from the front of the arguments.
template <typename T, int (*Setter)(H, T)> int Set(H h, A a)
{
    return Setter(h, Arg<T>(a));
}

/// A getter of one record; a `Seeded` one starts as the arguments' bytes, as the call reads what it fills.
template <typename T, int (*Getter)(H, T *), bool Seeded = false> int Get(H h, A a)
{
    T *value = Out<T>();
    if constexpr (Seeded) {
        *value = Arg<T>(a, 1);
    }
    return Getter(h, value);
}

/// Register access: any count (the library bounds it), eight addresses and eight values.
template <int (*Access)(H, uint16_t *, uint16_t *, uint8_t)> int Registers(H h, A a)
{
    std::array<uint16_t, 255> addresses{};
    std::array<uint16_t, 255> values{};
    std::memcpy(addresses.data(), a + 1, 16);
    std::memcpy(values.data(), a + 17, 16);
    return Access(h, addresses.data(), values.data(), a[0]);
}

/// A text into a buffer of its own; a size never claims more than the buffer holds, while negative and
/// zero sizes are the library's to refuse.
template <int (*GetText)(H, char *, int)> int Text(H h, A a)
{
    std::array<char, 256> text{};
    const int size = std::min<int>(Arg<int16_t>(a, 1), static_cast<int>(text.size()));
    return GetText(h, Flag(a) ? text.data() : nullptr, size);
}

/// A depth frame of the caller's own, of any size up to the sensor's, converted to points.
int ConvertOwnFrame(H h, A a)
{
    TfFrame frame{};
    frame.frameType = TF_FRAME_DEPTH;
    frame.width = Arg<uint16_t>(a, 1) % 641;
    frame.height = Arg<uint16_t>(a, 3) % 481;
    std::vector<uint16_t> depth(static_cast<size_t>(frame.width) * frame.height, Arg<uint16_t>(a, 5));
    std::vector<TfVector3f> points(depth.size() + 1);
    frame.pFrameData = Flag(a) && !depth.empty() ? reinterpret_cast<uint8_t *>(depth.data()) : nullptr;
    frame.dataLen = static_cast<uint32_t>(depth.size() * sizeof(uint16_t));
    return TFCM_ConvertDepthFrameToPointCloudVector(h, &frame, points.data());
}

const Call kSetters[] = {
    [](H h, A a) { return kBoolSetters[a[0] % std::size(kBoolSetters)](h, Flag(a, 1)); },
    Set<TfDepthRange, TFCM_SetDepthRange>,
    [](H h, A a) { return TFCM_SetRangeValue(h, Arg<TfDepthRange>(a), Arg<int>(a, 4), Arg<int>(a, 8)); },
    Set<TfDataMode, TFCM_SetDataMode>,
    Set<uint8_t, TFCM_SetFrameRate>,
    [](H h, A a) { return TFCM_SetWDROutputMode(h, Maybe<TfWDROutputMode>(a, 1)); },
    Set<uint32_t, TFCM_SetWDRStyle>,
    Set<uint8_t, TFCM_SetIRGMMGain>,
    Set<uint32_t, TFCM_SetToFExposureTime>,
    Set<TfExposureTimeParams, TFCM_SetToFExposureTime_>,
    Set<uint32_t, TFCM_SetColorResolution>,
    Set<TfPixelFormat, TFCM_SetColorPixelFormat>,
    Set<TfPixelFormat, TFCM_SetIRPixelFormat>,
    [](H h, A a) { return TFCM_SetRgbExplosureTimeAndGain(h, Arg<float>(a), Arg<float>(a, 4)); },
    Set<int, TFCM_SetImageMirror>,
    Set<int, TFCM_SetImageRotation>,
    Set<TfConfidenceFilterParams, TFCM_SetConfidenceFilterParams>,
    Set<TfFlyingPixelFilterParams, TFCM_SetFlyingPixelFilterParams>,
    Set<TfFillHoleFilterParams, TFCM_SetFillHoleFilterParams>,
    Set<TfSpatialFilterParams, TFCM_SetSpatialFilterParams>,
    // Waits stay short so that reads cannot make an input slow; the bound itself is what is tested.
    [](H h, A a) { return TFCM_SetWaitTimeOfReadNextFrame(h, Arg<uint16_t>(a) % 100); },
    [](H h, A) { return TFCM_SetSoftwareSlaveTrigger(h); },
    [](H h, A a) { return TFCM_SetTestModeState(h, Arg<uint32_t>(a, 1), Maybe<TfTestModeParams>(a, 5)); },
    Registers<TFCM_SetRegVal>,
    [](H h, A a) { return TFCM_SetUpgradeStatusCallback(h, Flag(a) ? OnUpgrade : nullptr); },
};

const Call kGetters[] = {
    [](H h, A a) { return kBoolGetters[a[1] % std::size(kBoolGetters)](h, Flag(a) ? Out<bool>() : nullptr); },
    [](H h, A a) { return TFCM_GetFrameMode(h, Arg<TfFrameType>(a, 1), Out<TfFrameMode>()); },
    Get<TfDepthRange, TFCM_GetDepthRange>,
    Get<TfMeasuringRange, TFCM_GetDepthMeasuringRange, true>,
    Get<uint8_t, TFCM_GetDataMode>,
    Get<uint8_t, TFCM_GetFrameRate>,
    Get<TfWDROutputMode, TFCM_GetWDROutputMode>,
    Get<uint8_t, TFCM_GetIRGMMGain>,
    Get<uint32_t, TFCM_GetToFExposureTime>,
    Get<TfExposureTimeParams, TFCM_GetToFExposureTime_, true>,
    Get<uint32_t, TFCM_GetColorResolution>,
    [](H h, A) { return TFCM_GetRgbExplosureTimeAndGain(h, Out<float>(), Out<float, 1>()); },
    [](H h, A a) {
        return Get<TfConfidenceFilterParams, TFCM_GetConfidenceFilterParams>(h, a) |
               Get<TfFlyingPixelFilterParams, TFCM_GetFlyingPixelFilterParams>(h, a) |
               Get<TfFillHoleFilterParams, TFCM_GetFillHoleFilterParams>(h, a) |
               Get<TfSpatialFilterParams, TFCM_GetSpatialFilterParams>(h, a);
    },
    Registers<TFCM_GetRegVal>,
    Get<TfCameraExtrinsicParameters, TFCM_GetCameraExtrinsicParameters>,
    [](H h, A a) { return TFCM_GetCameraParameters(h, Arg<TfSensorType>(a, 1), Out<TfCameraParameters>()); },
    [](H h, A a) {
        return TFCM_GetTransformedPointDepthToColor(h, Arg<TfDepthVector3>(a, 1), Arg<TfVector2u16>(a, 8),
                                                    Flag(a) ? Out<TfVector2u16>() : nullptr);
    },
    ConvertOwnFrame,
    Text<TFCM_GetSerialNumber>,
    Text<TFCM_GetFirmwareVersionNumber>,
    [](H h, A) { return TFCM_GetDeviceMAC(h, Out<std::array<char, 64>>()->data()); },
};

// Keys that would move the camera to another address, rename it or switch it into a configuration
// mode: later inputs could no longer find it, so they are not set (they are still read).
constexpr int32_t kKeysNotSet[] = {
    kKeyIpAddress, kKeySubnetMask,    kKeyEnterJsonMode,  kKeyStartJsonUpgrade,  kKeySerialNumber,
    kKeyDeviceSn,  kSessionIpAddress, kSessionSubnetMask, kSessionEnterJsonMode, kSessionStartJsonUpgrade};

// clang-format off
constexpr int32_t kKnownKeys[] = {
    kKeySerialNumber, kKeyFirmwareVersion, kKeyHardwareVersion, kKeyDataMode, kKeyModeList,
    kKeyRangeList, kKey11, kKeyDeviceSn, kKeyMacAddress, kKeySoftwareVersion,
    kKeyIpAddress, kKeySubnetMask, kKeyDspStatus, kKey18, kKey19,
    kKeyNop, kKeyDspStatusAlt, kKeyMeasuringRange, kKeyCameraParams, kKeyDataModeAlt,
    kKeyLdEnable, kKeyPcba, kKeyWorkMode, kKeyGmmGain, kKeyAccSensitivity,
    kKeyGyroSensitivity, kKeyImuDataMode, kKeyRgbExposure, kKeyLens, kKeyAccOffset,
    kKeyGyroOffset, kKeyAccOffsetTemp, kKeyGyroOffsetTemp, kKeyFlashType, kKeyMeasuringStatus,
    kSessionStatus, kSessionTalDelay, kSessionTimeFilteredDepth, kSessionTemperatureOffset,
    kSessionHeartbeat, kSessionDebugFirst, kSessionDebugLast};
// clang-format on

int32_t PickKey(const Op &op)
{
    // One in four keys is any number at all; the rest are keys the library knows.
    return (op.sel & 3) == 0 ? op.key : kKnownKeys[static_cast<uint32_t>(op.key) % std::size(kKnownKeys)];
}

int SetProperty(TfDeviceHandle h, const Op &op)
{
    const int32_t key = PickKey(op);
    if (std::find(std::begin(kKeysNotSet), std::end(kKeysNotSet), key) != std::end(kKeysNotSet)) {
        return 0;
    }
    // The size never claims more than the value passed; negative sizes are the library's to refuse.
    const int32_t size = std::min<int32_t>(op.size, kArgBytes);
    return TFCM_SetProperty(h, key, (op.sel & 4) != 0 ? nullptr : op.args.data(), size);
}

int GetProperty(TfDeviceHandle h, const Op &op)
{
    std::array<uint8_t, 512> value{};
    int32_t size = std::min<int32_t>(op.size, value.size());
    std::memcpy(value.data(), op.args.data(), op.args.size()); // some keys read the record they fill
    return TFCM_GetProperty(h, PickKey(op), (op.sel & 4) != 0 ? nullptr : value.data(),
                            (op.sel & 8) != 0 ? nullptr : &size);
}

/// Device list calls, which need no handle.
int ListCall(const Op &op)
{
    switch (op.sel % 5) {
    case 0:
        return TFCM_GetDeviceCount((op.sel & 8) != 0 ? nullptr : Out<uint32_t>());
    case 1:
        return TFCM_GetDeviceListInfo(Out<std::array<TfDeviceInfo, 4>>()->data(),
                                      std::min<uint32_t>(op.key, 4));
    case 2:
        return TFCM_GetDeviceInfo(Out<TfDeviceInfo>(), static_cast<uint32_t>(op.key));
    case 3:
        return TFCM_GetDeviceIP((op.sel & 8) != 0 ? kUri : op.text.c_str(),
                                Out<std::array<char, 16>>()->data());
    default:
        return TFCM_GetSDKVersion(Out<std::array<char, 5>>()->data());
    }
}

/// The process-wide part: the library, the simulated camera, the handle slots both threads share and
/// the second thread, which makes its calls in input order beside the first's.
class Harness
{
public:
    Harness()
    {
        // The library's log goes to a home of the run's own rather than the user's.
        std::array<char, 32> home{"/tmp/api_sequence_fuzz.XXXXXX"};
        if (mkdtemp(home.data()) != nullptr) {
            m_home = home.data();
            std::filesystem::create_directory(m_home + "/.config");
            Path_SetHomeDirectoryOverride(m_home);
        }
        DeviceManager::SetDiscoveryPort(kDiscoveryPort);
        Require(TFCM_Initialize() == 0);
        CameraSimulator::Options options;
        options.announcePeriodMs = 50;
        options.discoveryPort = kDiscoveryPort;
        m_sim = std::make_unique<CameraSimulator>(options);
        m_camera = &m_sim->AddCamera({kSerial, kAlias, kAddress});
        m_camera->UpdateSettings([](SimSettings &s) {
            s.serial = kSerial;
            s.deviceSerial = kSerial;
            s.ipAddress = kAddress;
            // Light buffers (camera-computed depth, no colour) at a short frame period: an open finds the
            // calibration block and the first set within milliseconds.
            s.dataMode = 3;
            s.lenses[2].state = 0;
        });
        m_settings = m_camera->Settings();
        m_sim->Start();
        m_camera->Streamer().OverrideFramePeriod(std::chrono::milliseconds(5));
        // Discovery is waited for once: every input can open at once.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::array<char, 16> ip{};
        while (TFCM_GetDeviceIP(kUri, ip.data()) != 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                std::fprintf(stderr, "the simulated camera was not listed: %s\n",
                             m_camera->LastError().c_str());
                std::abort();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    ~Harness()
    {
        CloseAll();
        m_sim.reset();
        TFCM_Shutdown();
        if (!m_home.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_home, ignored);
        }
    }

    /// Runs the calls of one input, the second thread's beside the first's: a call of the second thread
    /// waits only for the first thread's calls before it in the input. Then closes what they left open.
    void RunInput(const std::vector<Op> &ops, bool concurrent)
    {
        m_camera->UpdateSettings([this](SimSettings &s) { s = m_settings; });
        m_concurrent = concurrent;
        m_firstDone = 0;
        std::thread second([&] {
            size_t before = 0; // the first thread's calls before this one
            for (const Op &op : ops) {
                if (!op.second) {
                    ++before;
                    continue;
                }
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] { return m_firstDone >= before; });
                lock.unlock();
                Execute(op);
            }
        });
        for (const Op &op : ops) {
            if (!op.second) {
                Execute(op);
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_firstDone;
                m_changed.notify_all();
            }
        }
        second.join();
        CloseAll();
    }

private:
    void CloseAll()
    {
        for (auto &slot : m_slots) {
            TfDeviceHandle h = slot.exchange(nullptr);
            if (h != nullptr) {
                TFCM_CloseDevice(&h);
                m_closed = h;
            }
        }
        TFCM_SetHotPlugStatusCallback(nullptr);
    }

    int Open(const Op &op)
    {
        const char *names[] = {kUri, kAlias, kAddress, op.text.c_str()};
        const decltype(&TFCM_OpenDevice) opens[] = {TFCM_OpenDevice, TFCM_OpenDeviceByAlias,
                                                    TFCM_OpenDeviceByIP};
        TfDeviceHandle h = nullptr;
        if (opens[op.sel % 3](names[(op.sel >> 2) % 4], (op.sel & 0x80) != 0 ? nullptr : &h) != 0 ||
            h == nullptr) {
            return 0;
        }
        // Before any other thread can see it: confirmations poll often and reads wait briefly, so that an
        // input takes milliseconds where a camera's confirmation would take a second.
        if (BaseSession *session = h->pDevice->GetSession(0)) {
            session->SetConfirmPollPeriodMs(1);
        }
        TFCM_SetWaitTimeOfReadNextFrame(h, 20);
        TfDeviceHandle expected = nullptr;
        return m_slots[op.slot % kSlots].compare_exchange_strong(expected, h) ? 0 : TFCM_CloseDevice(&h);
    }

    int Close(const Op &op)
    {
        // Both threads may close the same slot: the later close uses a stale value, which must be refused.
        TfDeviceHandle seen = m_slots[op.slot % kSlots].load();
        TfDeviceHandle h = seen;
        const int ret = TFCM_CloseDevice(&h);
        h = seen;
        m_slots[op.slot % kSlots].compare_exchange_strong(h, nullptr);
        m_closed = seen != nullptr ? seen : m_closed.load();
        return ret;
    }

    int Read(TfDeviceHandle h, const Op &op)
    {
        TfFrameReady ready{};
        if (TFCM_ReadNextFrame(h, (op.sel & 0x80) != 0 ? nullptr : &ready) != 0) {
            return 0;
        }
        for (TfFrameType type : {TF_FRAME_DEPTH, TF_FRAME_IR, TF_FRAME_COLOR, TF_FRAME_CONFIDENCE}) {
            TfFrame frame{};
            // A frame stays valid until the next read on the camera: with two threads another read may come
            // first, so the data are only read when one thread calls.
            if (TFCM_GetFrame(h, type, &frame) == 0 && !m_concurrent) {
                TouchFrame(frame);
            }
        }
        return 0;
    }

    /// Opcodes: 1 open, 2 close, 3 start, 4 stop, 5 read, 6 get frame, 7 notification, 8 hot-plug
    /// callback, 9 setter, 10 getter, 11 property, 12 a call with the value of a handle already closed,
    /// 13 device list.
    int Execute(const Op &op)
    {
        const TfDeviceHandle h = op.code == 12 ? m_closed.load() : m_slots[op.slot % kSlots].load();
        const bool none = (op.sel & 2) != 0; // a callback or context of none
        switch (op.code) {
        case 1:
            return Open(op);
        case 2:
            return Close(op);
        case 3:
            return TFCM_StartStream(h);
        case 4:
            return TFCM_StopStream(h);
        case 5:
            return Read(h, op);
        case 6:
            return TFCM_GetFrame(h, static_cast<TfFrameType>(op.key),
                                 (op.sel & 0x80) != 0 ? nullptr : Out<TfFrame>());
        case 7:
            return (op.sel & 1) != 0 ? TFCM_RegisterNotify(h, none ? nullptr : OnFrames)
                                     : TFCM_UnRegisterNotify(h);
        case 8:
            return (op.sel & 1) != 0 ? TFCM_SetHotPlugStatusCallback(none ? nullptr : OnHotPlug)
                                     : TFCM_SetHotPlugStatusCallback_(OnHotPlugEx, none ? nullptr : this);
        case 9:
            return kSetters[op.sel % std::size(kSetters)](h, op.args.data());
        case 10:
            return kGetters[op.sel % std::size(kGetters)](h, op.args.data());
        case 11:
            return (op.sel & 0x10) != 0 ? SetProperty(h, op) : GetProperty(h, op);
        case 12:
            return TFCM_GetSynchronizeEnabled(h, Out<bool>());
        default:
            return ListCall(op);
        }
    }

    std::string m_home; // the library's home directory for the run, removed at the end
    std::unique_ptr<CameraSimulator> m_sim;
    SimCamera *m_camera = nullptr;
    SimSettings m_settings; // the camera's settings before any input, restored before each
    std::array<std::atomic<TfDeviceHandle>, kSlots> m_slots{};
    std::atomic<TfDeviceHandle> m_closed{nullptr}; // the value of the last handle closed, kept stale
    bool m_concurrent = false;                     // the current input has calls on both threads

    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_firstDone = 0; // guarded by m_mutex: the first thread's calls of the input made so far
};

/// Each call is its opcode (0 switches thread; see Execute), slot and selector bytes, then the arguments
/// its opcode takes.
std::vector<Op> Parse(const uint8_t *data, size_t size, bool &concurrent)
{
    FuzzInput in(data, size);
    std::vector<Op> ops;
    bool second = false;
    concurrent = false;
    while (!in.Done() && ops.size() < kMaxOps) {
        Op op;
        op.code = in.Byte() % 14;
        if (op.code == 0) {
            second = !second;
            continue;
        }
        op.second = second;
        concurrent = concurrent || second;
        op.slot = in.Byte();
        op.sel = in.Byte();
        if (op.code == 6 || op.code == 11 || op.code == 13) {
            op.key = in.Value<int32_t>();
        }
        if (op.code == 11) {
            op.size = in.Value<int16_t>();
            in.Bytes(op.args.data(), std::min<size_t>(in.Byte(), kArgBytes));
        } else if (op.code == 9 || op.code == 10) {
            in.Bytes(op.args.data(), 33);
        } else if ((op.code == 1 && (op.sel >> 2) % 4 == 3) || op.code == 13) {
            op.text.resize(in.Byte() % 32);
            in.Bytes(reinterpret_cast<uint8_t *>(op.text.data()), op.text.size());
        }
        ops.push_back(std::move(op));
    }
    return ops;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Harness *harness = nullptr;
    if (harness == nullptr) {
        harness = new Harness();
        // Closes what is open, stops the camera and shuts the library down when the fuzzer exits.
        std::atexit([] { delete harness; });
    }
    bool concurrent = false;
    const std::vector<Op> ops = Parse(data, size, concurrent);
    harness->RunInput(ops, concurrent);
    return 0;
}
