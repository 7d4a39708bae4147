// SPDX-License-Identifier: Apache-2.0
// The command set against a simulated camera: the exact request frames each operation sends, the answers
// that land in the caller's fields, transaction kinds, time-outs, concurrency and camera faults.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CameraSimulator.h"
#include "IntegrationSupport.h"
#include "net/SocketCtl.h"
#include "net/SocketProtocol.h"
#include "protocol/PropertyKeys.h"

namespace {

constexpr const char *kCameraIp = "127.0.0.30";
constexpr unsigned kWaitMs = 3000;
/// The receive bound used here instead of the camera's 5 s default.
constexpr unsigned kShortReceiveMs = 300;

std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

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

/// One request frame the camera must receive: its command byte and payload (or payload prefix).
struct ExpectedFrame
{
    uint8_t command;
    std::vector<uint8_t> payload;
    bool exactLength = true;
};

struct Row
{
    const char *name;
    std::function<int(SocketProtocol &)> operation;
    std::vector<ExpectedFrame> frames;
};

SessionInfo CameraSession()
{
    SessionInfo info;
    info.linkType = kLinkTypeNetwork;
    info.ip = 127u | (30u << 24);
    info.cmdPort = 9008;
    info.dataPort = 9009;
    info.deviceType = 520;
    return info;
}

class CommandSetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CameraSimulator::Options options;
        options.announcePeriodMs = 60000; // no discovery needed here
        options.discoveryPort = 9;        // and nothing listening for it
        m_sim = std::make_unique<CameraSimulator>(options);
        SimCameraConfig config;
        config.serial = "SNCMD1";
        config.address = kCameraIp;
        m_camera = &m_sim->AddCamera(config);
        m_sim->Start();
        SessionInfo info = CameraSession();
        m_protocol = std::make_unique<SocketProtocol>(info);
        ASSERT_EQ(m_protocol->OpenDevice(), 0);
    }
    void TearDown() override
    {
        SocketCtl::SetReceiveTimeoutMs(SocketCtl::kDefaultReceiveTimeoutMs);
        if (m_protocol) {
            m_protocol->CloseDevice();
        }
        m_protocol.reset();
        m_sim.reset();
    }

    /// Runs `row` and compares the frames the camera recorded with the expected ones.
    void CheckRow(const Row &row)
    {
        SCOPED_TRACE(row.name);
        m_camera->ClearRecordedFrames();
        EXPECT_EQ(row.operation(*m_protocol), 0);
        ASSERT_TRUE(m_camera->WaitForFrames(row.frames.size(), kWaitMs));
        std::vector<RecordedFrame> got = m_camera->RecordedFrames();
        ASSERT_EQ(got.size(), row.frames.size());
        for (size_t i = 0; i < got.size(); ++i) {
            const ExpectedFrame &want = row.frames[i];
            EXPECT_EQ(got[i].command, want.command) << "frame " << i;
            if (want.exactLength) {
                EXPECT_EQ(got[i].payload, want.payload) << "frame " << i;
            } else {
                ASSERT_GE(got[i].payload.size(), want.payload.size()) << "frame " << i;
                EXPECT_TRUE(std::equal(want.payload.begin(), want.payload.end(), got[i].payload.begin()))
                    << "frame " << i;
            }
            // The frame around the payload: marker, body length n + 3, body marker, command, n.
            const std::vector<uint8_t> &raw = got[i].raw;
            ASSERT_EQ(raw.size(), 11 + got[i].payload.size());
            EXPECT_EQ(std::vector<uint8_t>(raw.begin(), raw.begin() + 4), Bytes({0xAA, 0, 0, 0}));
            EXPECT_EQ(raw[4], got[i].payload.size() + 3);
            EXPECT_EQ(raw[8], 0xAA);
            EXPECT_EQ(raw[10], got[i].payload.size());
        }
    }

    std::unique_ptr<CameraSimulator> m_sim;
    SimCamera *m_camera = nullptr;
    std::unique_ptr<SocketProtocol> m_protocol;
};

TEST_F(CommandSetTest, SettingsSendTheirDocumentedFrames)
{
    const double k[9] = {520, 0, 320, 0, 521, 240, 0, 0, 1};
    const double d[8] = {0.1, -0.2, 0.001, 0.002, 0.03, 0, 0, 0};
    const double t[3] = {-25, 0.5, 1};
    const Row rows[] = {
        {"StartStream", [](SocketProtocol &p) { return p.StartStream(); }, {{0x1B, Bytes({1})}}},
        {"StopStream", [](SocketProtocol &p) { return p.StopStream(); }, {{0x1B, Bytes({0})}}},
        {"SetTofFrameRate", [](SocketProtocol &p) { return p.SetTofFrameRate(15); }, {{0x04, Bytes({15})}}},
        {"SetDataMode", [](SocketProtocol &p) { return p.SetDataMode(5); }, {{0x06, Bytes({5})}}},
        {"SetDepthRange",
         [](SocketProtocol &p) { return p.SetDepthRange(DepthRange{0x103}); },
         {{0x07, Bytes({3})}}},
        {"SetSlaveMode(4) sends 1",
         [](SocketProtocol &p) { return p.SetSlaveMode(4); },
         {{0x02, Bytes({1})}}},
        {"SetSlaveModeEnabled",
         [](SocketProtocol &p) { return p.SetSlaveModeEnabled(true); },
         {{0x02, Bytes({8, 1})}}},
        {"SetSlaveTrigger", [](SocketProtocol &p) { return p.SetSlaveTrigger(); }, {{0x1F, Bytes({0})}}},
        {"SetGMMGain", [](SocketProtocol &p) { return p.SetGMMGain(7); }, {{0x15, Bytes({4, 7})}}},
        {"SetLens",
         [](SocketProtocol &p) {
             LensConfig lens{2, 1, 640, 480, 25, 2};
             return p.SetLens(lens);
         },
         {{0x15, Bytes({2, 1, 0x80, 0x02, 0xE0, 0x01, 25, 2})}}},
        {"SetDualFreqMode",
         [](SocketProtocol &p) {
             DualFreqMode mode{2, {5, 0x101, -1}};
             return p.SetDualFreqMode(mode);
         },
         {{0x08, Bytes({2, 5, 1, 0xFF})}}},
        {"SetExposureTime",
         [](SocketProtocol &p) {
             return p.SetExposureTime(ExposureTime{1, 0x01020304});
         },
         {{0x03, Bytes({1, 4, 3, 2, 1})}}},
        {"SetMeasuringRange",
         [](SocketProtocol &p) {
             return p.SetMeasuringRange(MeasuringRange{1, 1000, 2000, 3000});
         },
         {{0x11, Bytes({1, 0xE8, 0x03, 0xD0, 0x07, 0xB8, 0x0B})}}},
        {"SetWorkMode option 5 sends 2",
         [](SocketProtocol &p) {
             return p.SetWorkMode(WorkMode{3, 2, 0, 1, 5});
         },
         {{0x12, Bytes({3, 1, 0, 1, 2, 0})}}},
        {"RebootCamera",
         [](SocketProtocol &p) { return p.RebootCamera(); },
         {
             {0x12, Bytes({8})},
         }},
        {"SetTestModeState 1",
         [](SocketProtocol &p) {
             return p.SetTestModeState(kTestModeOn, TestModeParams{{1, 2, 3, 4}});
         },
         {{0x1E, Bytes({2, 1, 2, 3, 4})}}},
        {"SendCameraParamsEnable",
         [](SocketProtocol &p) { return p.SendCameraParamsEnable(true); },
         {{0x01, Padded(Bytes({1}), 64)}}},
        {"SetRegVal",
         [](SocketProtocol &p) { return p.SetRegVal(uint16_t{0x1234}, uint16_t{0xABCD}); },
         {{0x05, Bytes({0x34, 0x12, 0xCD, 0xAB, 0, 0, 0, 0})}}},
        {"SetCameraIntrinsic ToF",
         [&k](SocketProtocol &p) { return p.SetCameraIntrinsic(kSensorTof, k); },
         {{0x10, Doubles(0, {520, 0, 320, 0})}, {0x10, Doubles(1, {521, 240, 0, 0, 1})}}},
        {"SetCameraIntrinsic colour",
         [&k](SocketProtocol &p) { return p.SetCameraIntrinsic(kSensorColor, k); },
         {{0x10, Doubles(4, {520, 0, 320, 0})}, {0x10, Doubles(5, {521, 240, 0, 0, 1})}}},
        {"SetCameraDistortion colour",
         [&d](SocketProtocol &p) { return p.SetCameraDistortion(kSensorColor, d); },
         {{0x10, Doubles(6, {0.1, -0.2, 0.001, 0.002})}, {0x10, Doubles(7, {0.03, 0, 0, 0})}}},
        {"SetCameraRotation",
         [&k](SocketProtocol &p) { return p.SetCameraRotation(k); },
         {{0x10, Doubles(8, {520, 0, 320, 0})}, {0x10, Doubles(9, {521, 240, 0, 0, 1})}}},
        {"SetCameraTransfer",
         [&t](SocketProtocol &p) { return p.SetCameraTransfer(t); },
         {{0x10, Doubles(10, {-25, 0.5, 1})}}},
        {"SetCameraF",
         [&k](SocketProtocol &p) { return p.SetCameraF(k); },
         {{0x10, Doubles(13, {520, 0, 320, 0})}, {0x10, Doubles(14, {521, 240, 0, 0, 1})}}},
        {"SetSN", [](SocketProtocol &p) { return p.SetSN("ABC", 3); }, {{0x13, Bytes({2, 'A', 'B', 'C'})}}},
        {"SetDeviceSN property",
         [](SocketProtocol &p) { return p.SetProperty(kSessionDeviceSn, "XYZ", 3); },
         {{0x18, Bytes({2, 'X', 'Y', 'Z'})}}},
        {"SetDeviceSubnetMask",
         [](SocketProtocol &p) { return p.SetDeviceSubnetMask("255.0.0.0", 9); },
         {{0x18, Bytes({6, '2', '5', '5', '.', '0', '.', '0', '.', '0'})}}},
        {"SetDspStatus config 5",
         [](SocketProtocol &p) { return p.SetDspStatus(DSPParameters{5, 1, 1, 9}); },
         {{0x19, Padded(Bytes({1, 2, 1, 4, 1, 9}), 64)}}},
        {"SetDspStatus config 0",
         [](SocketProtocol &p) { return p.SetDspStatus(DSPParameters{0, 0, 1, 0}); },
         {{0x19, Padded(Bytes({0, 1, 1, 1}), 64)}}},
        {"SetConfidenceFilterParams",
         [](SocketProtocol
                &p) { return p.SetConfidenceFilterParams(ConfidenceFilterParams{1, 0, 300, 500}); },
         {{0x19, Bytes({0, 2, 1, 6, 1, 0x2C, 0x01, 0xF4, 0x01}), false}}},
        {"SetUpgradeState",
         [](SocketProtocol &p) { return p.SetUpgradeState(UpgradeState{2, 0x11223344, 5}); },
         {{0x1D, Bytes({1, 2, 0x44, 0x33, 0x22, 0x11, 5, 0, 0, 0})}}},
        {"SetJsonState",
         [](SocketProtocol &p) { return p.SetJsonState(JsonState{1, 2, 3}); },
         {{0x1D, Bytes({3, 1, 2, 0, 0, 0, 3, 0, 0, 0}), false}}},
    };
    for (const Row &row : rows) {
        CheckRow(row);
    }
}

TEST_F(CommandSetTest, QueriesSendTheirFramesAndReadTheAnswers)
{
    // Settings first, through the camera model, then read back through the protocol.
    m_camera->UpdateSettings([](SimSettings &s) {
        s.frameRate = 12;
        s.dataMode = 9;
        s.depthRange = 4;
        s.gmmGain = 33;
        s.exposureUs[1] = 0x00ABCDEF;
        s.registers[0x0042] = 0xBEEF;
        s.serial = "SN-QUERY";
    });

    uint8_t u8 = 0;
    const Row rows[] = {
        {"GetTofFrameRate",
         [&u8](SocketProtocol &p) { return p.GetTofFrameRate(&u8); },
         {{0x84, Bytes({0}), false}}},
        {"GetHeartBeat", [](SocketProtocol &p) { return p.GetHeartBeat(); }, {{0x9C, Bytes({1})}}},
        {"GetUpgradeIsSupported",
         [](SocketProtocol &p) {
             uint8_t supported = 0;
             int ret = p.GetUpgradeIsSupported(supported);
             return ret == 0 && supported == 1 ? 0 : -1;
         },
         {{0x9D, Padded(Bytes({2, 1}), 64)}}},
        {"GetUpgradeState",
         [](SocketProtocol &p) {
             UpgradeState state{};
             return p.GetUpgradeState(state);
         },
         {{0x9D, Padded(Bytes({1}), 10)}}},
        {"GetJsonState",
         [](SocketProtocol &p) {
             JsonState state{};
             return p.GetJsonState(state);
         },
         {{0x9D, Padded(Bytes({3, 2}), 10)}}},
        {"IsSupportJSONConfig",
         [](SocketProtocol &p) { return p.IsSupportJSONConfig(); },
         {{0x98, Bytes({0x17, 0})}}},
        {"GetCameraTransfer",
         [](SocketProtocol &p) {
             double t[3] = {};
             return p.GetCameraTransfer(t);
         },
         {{0x90, Bytes({10})}}},
        {"GetCameraIntrinsic ToF",
         [](SocketProtocol &p) {
             double k[9] = {};
             return p.GetCameraIntrinsic(kSensorTof, k);
         },
         {{0x90, Bytes({0})}, {0x90, Bytes({1})}}},
        {"GetCameraDistortion ToF",
         [](SocketProtocol &p) {
             double d[8] = {};
             return p.GetCameraDistortion(kSensorTof, d);
         },
         {{0x90, Bytes({2})}, {0x90, Bytes({3})}}},
    };
    for (const Row &row : rows) {
        CheckRow(row);
    }
    EXPECT_EQ(u8, 12);

    // Answers land in the documented fields.
    uint8_t mode = 0;
    ASSERT_EQ(m_protocol->GetDataMode(&mode), 0);
    EXPECT_EQ(mode, 9);
    DepthRange range{};
    ASSERT_EQ(m_protocol->GetDepthRange(range), 0);
    EXPECT_EQ(+range.range, 4u);
    uint8_t gain = 0;
    ASSERT_EQ(m_protocol->GetGMMGain(&gain), 0);
    EXPECT_EQ(gain, 33);
    ExposureTime exposure{1, 0};
    ASSERT_EQ(m_protocol->GetExposureTime(&exposure), 0);
    EXPECT_EQ(+exposure.exposureTime, 0x00ABCDEFu);
    uint16_t value = 0;
    ASSERT_EQ(m_protocol->GetRegVal(uint16_t{0x0042}, &value), 0);
    EXPECT_EQ(value, 0xBEEF);
    char serial[16] = {};
    ASSERT_EQ(m_protocol->GetSN(serial, 15), 0);
    EXPECT_STREQ(serial, "SN-QUERY");
}

TEST_F(CommandSetTest, WhatASetterSetsTheQueryReturns)
{
    ASSERT_EQ(m_protocol->SetDualFreqMode(*std::make_unique<DualFreqMode>(DualFreqMode{2, {5, 0, 0}})), 0);
    DualFreqMode dual{};
    ASSERT_EQ(m_protocol->GetDualFreqMode(&dual), 0);
    EXPECT_EQ(+dual.count, 2);
    EXPECT_EQ(+dual.values[0], 5);

    ASSERT_EQ(m_protocol->SetMeasuringRange(MeasuringRange{2, 1500, 2500, 3500}), 0);
    MeasuringRange measuring{2, 0, 0, 0};
    ASSERT_EQ(m_protocol->GetMeasuringRange(measuring), 0);
    EXPECT_EQ(+measuring.range0, 1500);
    EXPECT_EQ(+measuring.range2, 3500);

    LensConfig lens{2, 1, 640, 480, 25, 2};
    ASSERT_EQ(m_protocol->SetLens(lens), 0);
    LensConfig readBack{2, 0, 0, 0, 0, 0};
    ASSERT_EQ(m_protocol->GetLens(readBack), 0);
    EXPECT_EQ(+readBack.width, 640);
    EXPECT_EQ(+readBack.height, 480);

    const double t[3] = {-25.5, 1.25, 3};
    ASSERT_EQ(m_protocol->SetCameraTransfer(t), 0);
    double got[3] = {};
    ASSERT_EQ(m_protocol->GetCameraTransfer(got), 0);
    EXPECT_DOUBLE_EQ(got[0], -25.5);
    EXPECT_DOUBLE_EQ(got[2], 3);

    ASSERT_EQ(m_protocol->SetDspStatus(DSPParameters{12, 0, 1, 77}), 0);
    DSPParameters dsp{12, 0, 0, 0};
    ASSERT_EQ(m_protocol->GetDspStatus(dsp), 0);
    EXPECT_EQ(+dsp.enable, 1);
    EXPECT_EQ(+dsp.threshold, 77);

    ASSERT_EQ(m_protocol->SetConfidenceFilterParams(ConfidenceFilterParams{1, 0, 300, 500}), 0);
    ConfidenceFilterParams confidence{};
    ASSERT_EQ(m_protocol->GetConfidenceFilterParams(confidence), 0);
    EXPECT_EQ(+confidence.enable, 1);
    EXPECT_EQ(+confidence.threshold, 300u);
    EXPECT_EQ(+confidence.value, 500u);

    DataModeList modes{};
    ASSERT_EQ(m_protocol->GetOutModeList(modes), 0);
    ASSERT_EQ(+modes.count, 5);
    EXPECT_EQ(+modes.modes[4], 9);

    ASSERT_EQ(m_protocol->SetLowPowerModeEnabled(true), 0);
    // A setting has no reply: wait until the camera has applied it.
    EXPECT_TRUE(orvtest::WaitUntil([this] { return m_camera->Settings().workMode.mode == 0x20; }, kWaitMs));
    EXPECT_EQ(m_camera->Settings().workMode.flag3, 0);
    EXPECT_EQ(m_protocol->SetProperty(0x0E000003, "x", 1), -255);
}

TEST_F(CommandSetTest, LocalAnswersSendNothing)
{
    m_camera->ClearRecordedFrames();
    char ip[16] = {};
    EXPECT_EQ(m_protocol->GetDeviceIPAddr(ip, 16), 0);
    EXPECT_STREQ(ip, kCameraIp);
    DualFreqMode three{3, {5, 0, 0}};
    EXPECT_EQ(m_protocol->SetDualFreqMode(three), -1);
    GMMGainConfig gmm{};
    EXPECT_EQ(m_protocol->SetWDRGMMGain(gmm), -255) << "a default operation is not supported";
    // A query afterwards proves nothing was queued before it.
    uint8_t rate = 0;
    ASSERT_EQ(m_protocol->GetTofFrameRate(&rate), 0);
    ASSERT_TRUE(m_camera->WaitForFrames(1, kWaitMs));
    EXPECT_EQ(m_camera->RecordedFrames().size(), 1u);
    const std::string log = orvtest::ReadLog();
    if (!log.empty()) {
        EXPECT_NE(log.find("Not Support."), std::string::npos);
        EXPECT_NE(log.find("wdr range count:3 is invalid."), std::string::npos);
    }
}

TEST_F(CommandSetTest, SettingReturnsAtOnceEvenWhenTheCameraNeverAnswers)
{
    SocketCtl::SetReceiveTimeoutMs(kShortReceiveMs);
    m_camera->SetCommandFault(CommandFault::NoAnswer);
    EXPECT_EQ(m_protocol->SetTofFrameRate(10), 0) << "kind 2 reads no reply";
    uint8_t rate = 0;
    EXPECT_EQ(m_protocol->GetTofFrameRate(&rate), -104) << "no reply within the bound";
    m_camera->SetCommandFault(CommandFault::None);
    EXPECT_EQ(m_protocol->GetTofFrameRate(&rate), 0);
    EXPECT_EQ(rate, 10);
}

TEST_F(CommandSetTest, CameraFaultsFailOneTransactionAndTheNextSucceeds)
{
    SocketCtl::SetReceiveTimeoutMs(kShortReceiveMs);
    m_camera->UpdateSettings([](SimSettings &s) { s.frameRate = 20; });
    const CommandFault faults[] = {CommandFault::WrongMarker, CommandFault::OversizedDataLength,
                                   CommandFault::NoAnswer};
    for (CommandFault fault : faults) {
        SCOPED_TRACE(static_cast<int>(fault));
        m_camera->SetCommandFault(fault, 1);
        uint8_t rate = 0xEE;
        EXPECT_NE(m_protocol->GetTofFrameRate(&rate), 0) << "a broken answer is a failure";
        rate = 0;
        EXPECT_EQ(m_protocol->GetTofFrameRate(&rate), 0) << "the connection stays in step";
        EXPECT_EQ(rate, 20);
    }

    // A delayed answer within the bound is still an answer.
    m_camera->SetReplyDelayMs(kShortReceiveMs / 3);
    uint8_t rate = 0;
    EXPECT_EQ(m_protocol->GetTofFrameRate(&rate), 0);
    EXPECT_EQ(rate, 20);
    m_camera->SetReplyDelayMs(0);

    // A closed connection fails every later transaction with -104 until the camera is opened again.
    m_camera->SetCommandFault(CommandFault::CloseConnection, 1);
    EXPECT_EQ(m_protocol->GetTofFrameRate(&rate), -104);
    EXPECT_EQ(m_protocol->GetTofFrameRate(&rate), -104);
    m_protocol->CloseDevice();
    ASSERT_EQ(m_protocol->OpenDevice(), 0);
    EXPECT_EQ(m_protocol->GetTofFrameRate(&rate), 0);
}

TEST_F(CommandSetTest, ConcurrentQueriesEachGetTheirOwnAnswer)
{
    m_camera->UpdateSettings([](SimSettings &s) {
        s.frameRate = 30;
        s.gmmGain = 61;
    });
    constexpr int kQueries = 10000;
    std::atomic<int> wrong{0};
    std::thread rates([&] {
        for (int i = 0; i < kQueries; ++i) {
            uint8_t rate = 0;
            if (m_protocol->GetTofFrameRate(&rate) != 0 || rate != 30) {
                ++wrong;
            }
        }
    });
    std::thread gains([&] {
        for (int i = 0; i < kQueries; ++i) {
            uint8_t gain = 0;
            if (m_protocol->GetGMMGain(&gain) != 0 || gain != 61) {
                ++wrong;
            }
        }
    });
    rates.join();
    gains.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(CommandSetTest, ReadDataAssemblesBuffersFromPieces)
{
    ASSERT_TRUE(m_camera->WaitForDataClient(kWaitMs));
    std::vector<uint8_t> payload(100000);
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<uint8_t>(i * 7);
    }
    std::vector<uint8_t> buffer = SimCamera::StreamBuffer(1, payload);
    std::thread sender([&] {
        m_camera->SendData(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 3));
        m_camera->SendData(std::vector<uint8_t>(buffer.begin() + 3, buffer.begin() + 8));
        for (size_t pos = 8; pos < buffer.size(); pos += 4096) {
            size_t end = std::min(buffer.size(), pos + 4096);
            m_camera->SendData(std::vector<uint8_t>(buffer.begin() + pos, buffer.begin() + end));
        }
        m_camera->SendData(SimCamera::StreamBuffer(1, {}));
        m_camera->SendData(SimCamera::StreamBuffer(2, {1, 2, 3}));
        m_camera->SendData(SimCamera::StreamBuffer(1, {9, 8, 7}));
    });
    std::vector<unsigned char> out(kStreamBufferBytes);
    int len = 0;
    EXPECT_EQ(m_protocol->ReadData(out.data(), &len), 0) << "the protocol's ReadData always answers 0";
    ASSERT_EQ(len, static_cast<int>(payload.size()));
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), out.begin()));
    len = 0;
    m_protocol->ReadData(out.data(), &len);
    EXPECT_EQ(len, 0) << "an empty buffer";
    len = 0;
    m_protocol->ReadData(out.data(), &len);
    EXPECT_EQ(len, 0) << "a buffer of another type is refused";
    len = 0;
    m_protocol->ReadData(out.data(), &len);
    ASSERT_EQ(len, 3) << "and the stream is still in step";
    EXPECT_EQ(out[0], 9);
    sender.join();
}

} // namespace
