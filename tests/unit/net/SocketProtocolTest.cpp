// SPDX-License-Identifier: Apache-2.0
// Tests of SocketProtocol's own logic: the open guards, the defaults it keeps, checks made before any
// transaction, list bounds, the peer address, property records and closing during a file transfer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "../runtime/RuntimeTestSupport.h"
#include "NetTestSupport.h"
#include "net/SocketProtocol.h"
#include "protocol/PropertyKeys.h"
#include "protocol/StatusCodes.h"

using namespace net_test;

namespace {

SessionInfo LoopbackSession(uint16_t cmdPort, uint16_t dataPort)
{
    SessionInfo info;
    info.linkType = kLinkTypeNetwork;
    info.ip = kLoopback;
    info.cmdPort = cmdPort;
    info.dataPort = dataPort;
    info.deviceType = 520;
    return info;
}

class SocketProtocolUnopened : public ::testing::Test
{
protected:
    runtime_test::LoggedHome m_home;
    SessionInfo m_info = LoopbackSession(1, 1);
    SocketProtocol m_protocol{m_info};
};

TEST_F(SocketProtocolUnopened, GuardedOperationsSucceedWithoutTheCamera)
{
    uint8_t byte = 3;
    DepthRange range{};
    DualFreqMode dual{};
    ExposureTime exposure{};
    LensConfig lens{};
    MeasuringStatusSet statusSet{};
    MeasuringStatusGet statusGet{};
    TalDelay delay{};
    char text[32] = {};
    uint16_t value = 0;
    uint8_t supported = 0;
    const std::vector<std::function<int()>> guarded = {
        [&] { return m_protocol.SetDataMode(byte); },
        [&] { return m_protocol.GetDataMode(&byte); },
        [&] { return m_protocol.SetDepthRange(range); },
        [&] { return m_protocol.GetDepthRange(range); },
        [&] { return m_protocol.SetSlaveMode(1); },
        [&] { return m_protocol.GetSlaveMode(&byte); },
        [&] { return m_protocol.SetSlaveModeEnabled(true); },
        [&] { return m_protocol.SetSlaveTrigger(); },
        [&] { return m_protocol.SetGMMGain(1); },
        [&] { return m_protocol.GetGMMGain(&byte); },
        [&] { return m_protocol.SetLens(lens); },
        [&] { return m_protocol.GetDualFreqMode(&dual); },
        [&] { return m_protocol.SetExposureTime(exposure); },
        [&] { return m_protocol.GetExposureTime(&exposure); },
        [&] { return m_protocol.SetRegVal(uint16_t{1}, uint16_t{2}); },
        [&] { return m_protocol.GetRegVal(uint16_t{1}, &value); },
        [&] { return m_protocol.SetTestModeState(kTestModeOn, TestModeParams{}); },
        [&] { return m_protocol.SetMeasuringStatus(statusSet); },
        [&] { return m_protocol.GetMeasuringStatus(&statusGet); },
        [&] { return m_protocol.SetTalDelay(delay); },
        [&] { return m_protocol.GetTalDelay(delay); },
        [&] { return m_protocol.GetUpgradeIsSupported(supported); },
        [&] { return m_protocol.SetDeviceSN("SN", 2); },
        [&] { return m_protocol.GetDeviceSN(text, sizeof(text)); },
        [&] { return m_protocol.GetDeviceIPAddr(text, sizeof(text)); },
        [&] { return m_protocol.GetDeviceMACAddr(text, sizeof(text)); },
    };
    for (size_t i = 0; i < guarded.size(); ++i) {
        EXPECT_EQ(guarded[i](), 0) << "operation " << i;
    }
    EXPECT_EQ(m_protocol.StartStream(), kStatusNotConnected);
    EXPECT_EQ(m_protocol.StopStream(), kStatusNotConnected);
    // Rows and shared routines log in the name of the operation they run for.
    EXPECT_TRUE(m_home.Logged(":SetDataMode]:3\n"));
    EXPECT_TRUE(m_home.Logged(":GetSlaveMode]:device is not opened."));
    EXPECT_TRUE(m_home.Logged(":GetDeviceMACAddr]:device is not opened."));
    EXPECT_TRUE(m_home.Logged(":StopStream]:device is not opened."));
    // The open guard comes before the null check; an unguarded query checks its pointer.
    EXPECT_EQ(m_protocol.GetDataMode(nullptr), 0);
    EXPECT_EQ(m_protocol.GetTofFrameRate(nullptr), -1);
    EXPECT_TRUE(m_home.Logged(":GetTofFrameRate]:invalid param: rate is null"));
    // Unguarded operations try the camera, and without a connection that fails.
    EXPECT_EQ(m_protocol.SetTofFrameRate(10), kStatusTransport);
    EXPECT_EQ(m_protocol.SendCameraParamsEnable(true), -1);
    EXPECT_EQ(m_protocol.IsSupportJSONConfig(), -1);
}

TEST_F(SocketProtocolUnopened, DefaultsTheNetworkCameraLacksAreNotSupported)
{
    float a = 0;
    float b = 0;
    GMMGainConfigGet gain{};
    ThresholdConfigGet threshold{};
    FileTransferParams transfer{};
    const std::vector<std::function<int()>> defaults = {
        [&] { return m_protocol.SetWDRGMMGain(GMMGainConfig{}); },
        [&] { return m_protocol.GetWDRGMMGain(gain); },
        [&] { return m_protocol.SetWDRThreshold(ThresholdConfig{}); },
        [&] { return m_protocol.GetWDRThreshold(threshold); },
        [&] { return m_protocol.SetRgbExplosureTimeAndGain(1, 2); },
        [&] { return m_protocol.GetRgbExplosureTimeAndGain(&a, &b); },
        [&] { return m_protocol.SetRgbAecEnabled(true); },
        [&] { return m_protocol.SetRgbMirrorEnable(1); },
        [&] { return m_protocol.SetRgbRotationEnable(1); },
        [&] { return m_protocol.SetToUpgradeMode_P("/tmp/fw.bin"); },
        [&] { return m_protocol.SetToJsonMode_P(); },
        [&] { return m_protocol.SetJsonPath_P("./a.json"); },
        [&] { return m_protocol.TransferFile(transfer); },
    };
    for (size_t i = 0; i < defaults.size(); ++i) {
        EXPECT_EQ(defaults[i](), kStatusNotSupported) << "operation " << i;
    }
    EXPECT_TRUE(m_home.Logged(":SetWDRGMMGain]:Not Support."));
    EXPECT_TRUE(m_home.Logged(":TransferFile]:Not Support."));
}

TEST_F(SocketProtocolUnopened, MalformedSettingsAreRefusedBeforeAnyTransaction)
{
    DualFreqMode mode{3, {1, 2, 3}};
    EXPECT_EQ(m_protocol.SetDualFreqMode(mode), -1);
    EXPECT_TRUE(m_home.Logged("wdr range count:3 is invalid."));
    EXPECT_EQ(m_protocol.SetCameraIntrinsic(static_cast<SensorType>(3), nullptr), 0);
    EXPECT_TRUE(m_home.Logged(":SetCameraIntrinsic]:cameraType:3 is invaild"));
    EXPECT_EQ(m_protocol.SetProperty(0x0E000003, "x", 1), kStatusNotSupported);
    int size = 4;
    EXPECT_EQ(m_protocol.GetProperty(0x0E000003, nullptr, &size), kStatusNotSupported);
    uint16_t regs[1] = {1};
    uint16_t values[1] = {2};
    EXPECT_EQ(m_protocol.SetRegVal(regs, values, 0), -1);
}

/// A camera end answering every query through a script, and recording every request.
class ScriptedCamera
{
public:
    using Answer = std::function<std::vector<uint8_t>(const Request &)>;

    ScriptedCamera() = default;
    ~ScriptedCamera() { Stop(); }
    ScriptedCamera(const ScriptedCamera &) = delete;
    ScriptedCamera &operator=(const ScriptedCamera &) = delete;

    uint16_t CmdPort() const { return m_cmdListener.Port(); }
    uint16_t DataPort() const { return m_dataListener.Port(); }

    void SetAnswer(Answer answer)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answer = std::move(answer);
    }

    /// Accepts both connections (after the protocol opened them) and serves requests until closed.
    void Serve()
    {
        m_cmd = m_cmdListener.Accept();
        m_data = m_dataListener.Accept();
        m_thread = std::thread([this] {
            for (;;) {
                Request request = ReadRequest(m_cmd, 10000);
                if (request.header.size() != 11) {
                    return;
                }
                Answer answer;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_requests.push_back(request);
                    answer = m_answer;
                }
                if ((request.Command() & 0x80) != 0) {
                    m_cmd.Send(ReplyFrame(answer ? answer(request) : std::vector<uint8_t>{}));
                }
            }
        });
    }

    void Stop()
    {
        if (m_thread.joinable()) {
            ::shutdown(m_cmd.Fd(), SHUT_RDWR);
            m_thread.join();
        }
    }

    std::vector<Request> Requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

    /// The requests seen so far, once `count` have arrived (settings return before the camera reads).
    std::vector<Request> AwaitRequests(size_t count)
    {
        runtime_test::WaitUntil([&] { return Requests().size() >= count; });
        return Requests();
    }

private:
    Listener m_cmdListener;
    Listener m_dataListener;
    Peer m_cmd;
    Peer m_data;
    std::thread m_thread;
    std::mutex m_mutex;
    Answer m_answer;                 // guarded by m_mutex
    std::vector<Request> m_requests; // guarded by m_mutex
};

class SocketProtocolLoopback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SocketCtl::SetReceiveTimeoutMs(3000);
        m_info = LoopbackSession(m_camera.CmdPort(), m_camera.DataPort());
        m_protocol = std::make_unique<SocketProtocol>(m_info);
        ASSERT_EQ(m_protocol->OpenDevice(), 0);
        m_camera.Serve();
    }
    void TearDown() override
    {
        m_protocol.reset();
        m_camera.Stop();
        SocketCtl::SetReceiveTimeoutMs(SocketCtl::kDefaultReceiveTimeoutMs);
    }

    runtime_test::LoggedHome m_home;
    ScriptedCamera m_camera;
    SessionInfo m_info;
    std::unique_ptr<SocketProtocol> m_protocol;
};

TEST_F(SocketProtocolLoopback, SettingsAreReducedToWhatTheCameraAccepts)
{
    EXPECT_EQ(m_protocol->SetSlaveMode(4), 0);
    WorkMode work{0x10, 5, 0, 2, 5};
    EXPECT_EQ(m_protocol->SetWorkMode(work), 0);
    const std::vector<Request> requests = m_camera.AwaitRequests(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Command(), 0x02);
    EXPECT_EQ(requests[0].payload, std::vector<uint8_t>({1}));
    EXPECT_EQ(requests[1].Command(), 0x12);
    EXPECT_EQ(requests[1].payload, std::vector<uint8_t>({0x10, 1, 0, 1, 2, 0}));
}

TEST_F(SocketProtocolLoopback, LongTextsAreCutToThePayload)
{
    const std::string text(70, 'S');
    EXPECT_EQ(m_protocol->SetSN(text.c_str(), static_cast<int>(text.size())), 0);
    const std::vector<Request> requests = m_camera.AwaitRequests(1);
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests[0].payload.size(), 64u);
    EXPECT_EQ(requests[0].payload[0], 2);
    EXPECT_EQ(std::string(requests[0].payload.begin() + 1, requests[0].payload.end()), std::string(63, 'S'));
}

TEST_F(SocketProtocolLoopback, TextRepliesFillTheCallersLengthOnly)
{
    m_camera.SetAnswer([](const Request &) {
        std::vector<uint8_t> data = {3};
        const std::string version = "1.2.3-long-version-text";
        data.insert(data.end(), version.begin(), version.end());
        return data;
    });
    char text[12];
    std::memset(text, 0x7E, sizeof(text));
    EXPECT_EQ(m_protocol->GetFWVer(text, 8), 0);
    EXPECT_EQ(std::string(text, 8), "1.2.3-lo");
    EXPECT_EQ(text[8], 0x7E);
    const std::vector<Request> requests = m_camera.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Command(), 0x93);
    EXPECT_EQ(requests[0].payload, std::vector<uint8_t>({3}));
}

TEST_F(SocketProtocolLoopback, PeerAddressIsAnsweredWithoutATransaction)
{
    char text[16] = {};
    EXPECT_EQ(m_protocol->GetDeviceIPAddr(text, sizeof(text)), 0);
    EXPECT_STREQ(text, "127.0.0.1");
    EXPECT_EQ(m_protocol->GetHeartBeat(), 0); // a transaction after it: the camera saw only this one
    const std::vector<Request> requests = m_camera.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Command(), 0x9C);
}

TEST_F(SocketProtocolLoopback, ListsNeverPassTheirPayloadOrRecord)
{
    // A reply announcing 200 entries in a 64-byte answer.
    m_camera.SetAnswer([](const Request &request) {
        std::vector<uint8_t> data(64, 0x21);
        data[0] = request.payload[0];
        data[1] = 200;
        return data;
    });
    DataModeList list;
    std::memset(&list, 0, sizeof(list));
    EXPECT_EQ(m_protocol->GetOutModeList(list), 0);
    EXPECT_EQ(list.count, kMaxListEntries);
    EXPECT_EQ(list.modes[kMaxListEntries - 1], 0x21);

    // Through the property interface into the session's 33-byte list: count and entries fit in it.
    unsigned char sessionList[33 + 8];
    std::memset(sessionList, 0x5A, sizeof(sessionList));
    int size = 33;
    EXPECT_EQ(m_protocol->GetProperty(kSessionModeList, sessionList, &size), 0);
    EXPECT_EQ(sessionList[0], 32);
    EXPECT_EQ(sessionList[32], 0x21);
    for (int i = 33; i < 41; ++i) {
        EXPECT_EQ(sessionList[i], 0x5A) << "written past the record at " << i;
    }

    // A setting of more entries than fit is cut to 62.
    DepthRangeList ranges;
    ranges.count = 100;
    std::memset(ranges.ranges, 4, sizeof(ranges.ranges));
    EXPECT_EQ(m_protocol->SetDepthRangeList(ranges), 0);
    const std::vector<Request> requests = m_camera.AwaitRequests(3);
    ASSERT_EQ(requests.size(), 3u);
    ASSERT_EQ(requests[2].payload.size(), 64u);
    EXPECT_EQ(requests[2].payload[0], 6);
    EXPECT_EQ(requests[2].payload[1], kMaxListEntries);
    EXPECT_TRUE(m_home.Logged("list count:100 is cut to 62"));
}

TEST_F(SocketProtocolLoopback, ListReplyForAnotherListIsRefused)
{
    m_camera.SetAnswer([](const Request &) { return std::vector<uint8_t>{6, 2, 1, 2}; });
    DataModeList list{};
    EXPECT_EQ(m_protocol->GetOutModeList(list), -1);
    EXPECT_TRUE(m_home.Logged("buf[0]:6"));
    EXPECT_EQ(list.count, 0);
}

TEST_F(SocketProtocolLoopback, DspPropertyStaysWithinTheCallersRecord)
{
    m_camera.SetAnswer([](const Request &request) {
        std::vector<uint8_t> data = request.payload;
        data[4] = 1; // enabled
        return data;
    });
    unsigned char record[7 + 4];
    std::memset(record, 0, sizeof(record));
    record[0] = 6; // config 6: ToF distortion
    std::memset(record + 7, 0x5A, 4);
    int size = 7;
    EXPECT_EQ(m_protocol->GetProperty(kSessionDspStatus, record, &size), 0);
    EXPECT_EQ(record[offsetof(DSPParameters, enable)], 1);
    for (int i = 7; i < 11; ++i) {
        EXPECT_EQ(record[i], 0x5A);
    }
    const std::vector<Request> requests = m_camera.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Command(), 0x99);
    ASSERT_EQ(requests[0].payload.size(), 64u);
    EXPECT_EQ(requests[0].payload[1], 0x82);
    EXPECT_EQ(requests[0].payload[2], 1);
    EXPECT_EQ(requests[0].payload[3], 1);
}

TEST_F(SocketProtocolLoopback, CloseWaitsForARunningTransfer)
{
    m_protocol->BeginTransfer();
    auto closed = std::async(std::launch::async, [this] { return m_protocol->CloseDevice(); });
    // CloseDevice gives up "opened" first, which tells the transfer worker to stop.
    ASSERT_TRUE(runtime_test::WaitUntil([&] { return !m_protocol->IsOpened(); }));
    EXPECT_EQ(closed.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_TRUE(m_protocol->GetSocketCtl().IsOpened());
    m_protocol->EndTransfer();
    ASSERT_EQ(closed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(closed.get(), 0);
    EXPECT_FALSE(m_protocol->GetSocketCtl().IsOpened());
}

} // namespace
