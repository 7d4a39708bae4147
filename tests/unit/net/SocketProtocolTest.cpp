// SPDX-License-Identifier: Apache-2.0
// Tests of SocketProtocol against a scripted camera end: the frames each operation sends, the open
// guards, checks made before any transaction, list bounds, the peer address, property records and
// closing during a file transfer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ScriptedCamera.h"
#include "TestSupport.h"
#include "net/SocketProtocol.h"
#include "protocol/PropertyKeys.h"
#include "protocol/StatusCodes.h"

using namespace orvtest;

namespace {

class SocketProtocolUnopened : public ::testing::Test
{
protected:
    orvtest::LoggedHome m_home;
    SessionInfo m_info = LoopbackSession(1, 1);
    SocketProtocol m_protocol{m_info};
};

TEST_F(SocketProtocolUnopened, MalformedSettingsAreRefusedBeforeAnyTransaction)
{
    DualFreqMode mode{3, {1, 2, 3}};
    EXPECT_EQ(m_protocol.SetDualFreqMode(mode), -1);
    EXPECT_EQ(m_protocol.SetCameraIntrinsic(static_cast<SensorType>(3), nullptr), 0);
    EXPECT_EQ(m_protocol.SetProperty(0x0E000003, "x", 1), kStatusNotSupported);
    int size = 4;
    EXPECT_EQ(m_protocol.GetProperty(0x0E000003, nullptr, &size), kStatusNotSupported);
    uint16_t regs[1] = {1};
    uint16_t values[1] = {2};
    EXPECT_EQ(m_protocol.SetRegVal(regs, values, 0), -1);
}

TEST_F(SocketProtocolUnopened, TableRowsAndDefaultsRefuseInTheNameOfTheirOperation)
{
    uint8_t mode = 0;
    EXPECT_EQ(m_protocol.StartStream(), kStatusNotConnected);
    (void)m_protocol.GetSlaveMode(&mode); // the camera's answer stays unread: only the log line says why
    // The open guard comes before the null check; an unguarded query checks its pointer.
    EXPECT_EQ(m_protocol.GetDataMode(nullptr), 0);
    EXPECT_EQ(m_protocol.GetTofFrameRate(nullptr), -1);
    EXPECT_EQ(m_protocol.SetWDRGMMGain(GMMGainConfig{}), kStatusNotSupported);
    for (const char *line :
         {":StartStream]:device is not opened.", ":GetSlaveMode]:device is not opened.",
          ":GetTofFrameRate]:invalid param: rate is null", ":SetWDRGMMGain]:Not Support."}) {
        EXPECT_TRUE(m_home.Logged(line)) << line;
    }
}

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

    orvtest::LoggedHome m_home;
    ScriptedCamera m_camera;
    SessionInfo m_info;
    std::unique_ptr<SocketProtocol> m_protocol;
};

std::vector<uint8_t> Padded(std::vector<uint8_t> bytes, size_t size)
{
    bytes.resize(size, 0);
    return bytes;
}

std::vector<uint8_t> Doubles(uint8_t subId, std::initializer_list<double> values)
{
    std::vector<uint8_t> out{subId};
    for (double v : values) {
        uint8_t raw[8];
        std::memcpy(raw, &v, sizeof(raw));
        out.insert(out.end(), raw, raw + 8);
    }
    return out;
}

/// The name and operation of a row whose operation is the one call `call`.
#define CALL(call) #call, [&](SocketProtocol & p) { return p.call; }

/// One operation and the requests the camera must receive for it: command byte on the wire and payload
/// (or, for `prefixOnly`, the payload's first bytes).
struct FrameRow
{
    const char *name;
    std::function<int(SocketProtocol &)> operation;
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> frames;
    bool prefixOnly = false;
};

// Each operation sends its documented frames; settings are reduced to what the camera accepts and long
// texts cut to the 64-byte payload.
TEST_F(SocketProtocolLoopback, EachOperationSendsItsDocumentedFrames)
{
    const double k[9] = {520, 0, 320, 0, 521, 240, 0, 0, 1};
    const double d[8] = {0.1, -0.2, 0.001, 0.002, 0.03, 0, 0, 0};
    const double t[3] = {-25, 0.5, 1};
    const std::string longText(70, 'S');
    std::vector<uint8_t> longPayload{2};
    longPayload.resize(64, 'S');
    uint8_t u8 = 0;
    DualFreqMode dual{2, {5, 0x101, -1}};
    double transfer[3] = {};
    const FrameRow rows[] = {
        {CALL(StartStream()), {{0x1B, {1}}}},
        {CALL(StopStream()), {{0x1B, {0}}}},
        {CALL(SetDataMode(5)), {{0x06, {5}}}},
        {CALL(SetDepthRange(DepthRange{0x103})), {{0x07, {3}}}},
        {CALL(SetSlaveMode(4)), {{0x02, {1}}}},
        {CALL(SetSlaveTrigger()), {{0x1F, {0}}}},
        {CALL(SetDualFreqMode(dual)), {{0x08, {2, 5, 1, 0xFF}}}},
        {CALL(SetExposureTime(ExposureTime{1, 0x01020304})), {{0x03, {1, 4, 3, 2, 1}}}},
        {CALL(SetMeasuringRange(MeasuringRange{1, 1000, 2000, 3000})),
         {{0x11, {1, 0xE8, 3, 0xD0, 7, 0xB8, 11}}}},
        {CALL(SetWorkMode(WorkMode{0x10, 5, 0, 2, 5})), {{0x12, {0x10, 1, 0, 1, 2, 0}}}}, // option 5 sends 2
        {CALL(RebootCamera()), {{0x12, {8}}}},
        {CALL(SetTestModeState(kTestModeOn, TestModeParams{{1, 2, 3, 4}})), {{0x1E, {2, 1, 2, 3, 4}}}},
        {CALL(SendCameraParamsEnable(true)), {{0x01, Padded({1}, 64)}}},
        {CALL(SetRegVal(uint16_t{0x1234}, uint16_t{0xABCD})), {{0x05, {0x34, 0x12, 0xCD, 0xAB, 0, 0, 0, 0}}}},
        {CALL(SetCameraIntrinsic(kSensorTof, k)),
         {{0x10, Doubles(0, {520, 0, 320, 0})}, {0x10, Doubles(1, {521, 240, 0, 0, 1})}}},
        {CALL(SetCameraIntrinsic(kSensorColor, k)),
         {{0x10, Doubles(4, {520, 0, 320, 0})}, {0x10, Doubles(5, {521, 240, 0, 0, 1})}}},
        {CALL(SetCameraDistortion(kSensorColor, d)),
         {{0x10, Doubles(6, {0.1, -0.2, 0.001, 0.002})}, {0x10, Doubles(7, {0.03, 0, 0, 0})}}},
        {CALL(SetCameraRotation(k)),
         {{0x10, Doubles(8, {520, 0, 320, 0})}, {0x10, Doubles(9, {521, 240, 0, 0, 1})}}},
        {CALL(SetCameraTransfer(t)), {{0x10, Doubles(10, {-25, 0.5, 1})}}},
        {CALL(SetCameraF(k)),
         {{0x10, Doubles(13, {520, 0, 320, 0})}, {0x10, Doubles(14, {521, 240, 0, 0, 1})}}},
        {CALL(SetSN("ABC", 3)), {{0x13, {2, 'A', 'B', 'C'}}}},
        {CALL(SetSN(longText.c_str(), static_cast<int>(longText.size()))), {{0x13, longPayload}}}, // cut
        {CALL(SetProperty(kSessionDeviceSn, "XYZ", 3)), {{0x18, {2, 'X', 'Y', 'Z'}}}},
        {CALL(SetDeviceSubnetMask("255.0.0.0", 9)),
         {{0x18, {6, '2', '5', '5', '.', '0', '.', '0', '.', '0'}}}},
        {CALL(SetDspStatus(DSPParameters{5, 1, 1, 9})), {{0x19, Padded({1, 2, 1, 4, 1, 9}, 64)}}},
        {CALL(SetDspStatus(DSPParameters{0, 0, 1, 0})), {{0x19, Padded({0, 1, 1, 1}, 64)}}},
        {CALL(SetConfidenceFilterParams(ConfidenceFilterParams{1, 0, 300, 500})),
         {{0x19, {0, 2, 1, 6, 1, 0x2C, 1, 0xF4, 1}}},
         true},
        {CALL(SetUpgradeState(UpgradeState{2, 0x11223344, 5})),
         {{0x1D, {1, 2, 0x44, 0x33, 0x22, 0x11, 5, 0, 0, 0}}}},
        {CALL(SetJsonState(JsonState{1, 2, 3})), {{0x1D, {3, 1, 2, 0, 0, 0, 3, 0, 0, 0}}}, true},
        {CALL(GetTofFrameRate(&u8)), {{0x84, {0}}}, true},
        {CALL(GetHeartBeat()), {{0x9C, {1}}}},
        {CALL(IsSupportJSONConfig()), {{0x98, {0x17, 0}}}},
        {CALL(GetCameraTransfer(transfer)), {{0x90, {10}}}},
    };
    for (const FrameRow &row : rows) {
        SCOPED_TRACE(row.name);
        const size_t before = m_camera.Requests().size();
        row.operation(*m_protocol); // queries get empty answers here: only the requests count
        const std::vector<Request> requests = m_camera.AwaitRequests(before + row.frames.size());
        ASSERT_EQ(requests.size(), before + row.frames.size());
        for (size_t i = 0; i < row.frames.size(); ++i) {
            const Request &got = requests[before + i];
            const std::vector<uint8_t> &want = row.frames[i].second;
            EXPECT_EQ(got.Command(), row.frames[i].first) << "frame " << i;
            if (row.prefixOnly) {
                ASSERT_GE(got.payload.size(), want.size()) << "frame " << i;
                EXPECT_TRUE(std::equal(want.begin(), want.end(), got.payload.begin())) << "frame " << i;
            } else {
                EXPECT_EQ(got.payload, want) << "frame " << i;
            }
        }
    }
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
}

TEST_F(SocketProtocolLoopback, ListReplyForAnotherListIsRefused)
{
    m_camera.SetAnswer([](const Request &) { return std::vector<uint8_t>{6, 2, 1, 2}; });
    DataModeList list{};
    EXPECT_EQ(m_protocol->GetOutModeList(list), -1);
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

} // namespace
