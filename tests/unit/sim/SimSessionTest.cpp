// SPDX-License-Identifier: Apache-2.0
// Tests of the cameras' command and data connections, driven by raw sockets on the camera ports of
// 127.0.0.50 and up: settings round trips, recorded frames, faults, bad input, clients and stopping.
// (A delayed answer that still comes in time is covered by the integration tests' command set.)
#include "CameraSimulator.h"

#include "CommandClient.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace sim_test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr unsigned kWaitMs = 5000;

SimCameraConfig CameraAt(const std::string &address, uint8_t tofSessions = 1)
{
    SimCameraConfig config;
    config.serial = "SN0050";
    config.alias = "bench";
    config.address = address;
    config.tofSessions = tofSessions;
    return config;
}

/// A camera serving on 127.0.0.50; its announcements (never sent here) would go to the discard port.
class ServingCamera : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_camera = std::make_unique<SimCamera>(CameraAt(kAddress), "127.0.0.1", 9);
        ASSERT_TRUE(m_camera->StartServing()) << m_camera->LastError();
    }

    SimCamera &Camera() { return *m_camera; }
    std::unique_ptr<CommandClient> Connect(size_t session = 0)
    {
        auto client = std::make_unique<CommandClient>(kAddress, SimCamera::CommandPort(session));
        EXPECT_TRUE(client->Connected());
        return client;
    }

    static constexpr const char *kAddress = "127.0.0.50";
    std::unique_ptr<SimCamera> m_camera;
};

std::vector<uint8_t> Doubles(uint8_t subId, std::initializer_list<double> values)
{
    std::vector<uint8_t> bytes{subId};
    for (double value : values) {
        uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 8; ++i) {
            bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
        }
    }
    return bytes;
}

/// Reply bytes from position 0; -1 is a byte the host does not read.
std::vector<int> Ints(const std::vector<uint8_t> &bytes)
{
    return std::vector<int>(bytes.begin(), bytes.end());
}

// Each row is what the host sends to set a value, the query it sends to read it back, and the reply
// data bytes at the positions the host reads them from.
TEST_F(ServingCamera, WhatASettingSetsTheMatchingQueryReturns)
{
    struct Row
    {
        const char *name;
        uint8_t id;
        std::vector<uint8_t> set;   // empty: no setting, only the query
        std::vector<uint8_t> query; // sent with bit 7 set
        std::vector<int> expected;
    };
    const Row rows[] = {
        {"stream on", 0x1B, {1}, {}, {1}},
        {"frame rate", 0x04, {15}, {0}, {15}},
        {"data mode", 0x06, {5}, {0}, {5}},
        {"depth range", 0x07, {4}, {}, {4}},
        {"slave mode", 0x02, {1}, {0}, {1}},
        {"GMM gain", 0x15, {4, 33}, {4}, {-1, 33}},
        {"lens type 2", 0x15, {2, 1, 0x00, 0x05, 0xD0, 0x02, 30, 1}, {2}, {2, 1, 0, 5, 0xD0, 2, 30, 1}},
        {"dual frequency", 0x08, {2, 1, 3, 0xFF}, {0, 0, 0, 0}, {2, 1, 3, 0xFF}},
        {"exposure 1", 0x03, {1, 0x78, 0x56, 0x34, 0x12}, {1}, {-1, 0x78, 0x56, 0x34, 0x12}},
        {"measuring range 3",
         0x11,
         {3, 0x10, 0, 0x20, 3, 0x40, 0x1F},
         {3},
         {3, 0x10, 0, 0x20, 3, 0x40, 0x1F}},
        {"work mode", 0x12, {0x03, 1, 0, 1, 2, 0}, {0, 0, 0, 0, 0}, {0x03, 1, 0, 1, 2}},
        {"test mode", 0x1E, {2, 1, 7, 8, 9}, {0}, {2, 1, 7, 8, 9}},
        {"camera params", 0x01, Padded({1}, 64), {0}, {1}},
        {"register",
         0x05,
         {0x34, 0x12, 0xCD, 0xAB, 0, 0, 0, 0},
         {0x34, 0x12, 0, 0, 0, 0, 0, 0},
         {-1, -1, 0xCD, 0xAB}},
        {"serial", 0x13, Text(2, "XY123"), {2}, Ints(Text(2, std::string("XY123") + '\0'))},
        {"depth range list", 0x13, Padded({6, 3, 0, 2, 4}, 64), {6}, {6, 3, 0, 2, 4}},
        {"data mode list", 0x13, Padded({7, 2, 1, 9}, 64), {7}, {7, 2, 1, 9}},
        {"device IP", 0x18, Text(5, "127.0.0.77"), {0x15}, Ints(Text(0x15, "127.0.0.77"))},
        {"subnet mask", 0x18, Text(6, "255.255.0.0"), {0x16}, Ints(Text(0x16, "255.255.0.0"))},
        {"JSON configuration supported", 0x18, {}, {0x17, 0}, {0x17, 1}},
        {"DSP group switch", 0x19, Padded({0, 1, 3, 1}, 64), Padded({0, 0x81, 3}, 64), {-1, -1, -1, 1}},
        {"DSP function",
         0x19,
         Padded({0, 2, 1, 4, 1, 77}, 64),
         Padded({0, 0x82, 1, 4}, 64),
         {-1, -1, -1, -1, 1, 77}},
        {"confidence filter",
         0x19,
         Padded({0, 2, 1, 6, 1, 0x2C, 0x01, 0x05, 0x00}, 64),
         Padded({0, 0x82, 1, 6}, 64),
         {-1, -1, -1, 6, 1, 0x2C, 0x01, 0x05, 0x00}},
        {"upgrade state", 0x1D, {1, 3, 0x10, 0, 0, 0, 0x20, 0, 0, 0}, Padded({1}, 10), {-1, 3, 0x10, 0x20}},
        {"JSON state",
         0x1D,
         {3, 4, 0x11, 0, 0, 0, 0x22, 0, 0, 0},
         Padded({3, 2}, 10),
         {-1, -1, 4, 0x11, 0x22}},
        {"upgrade supported", 0x1D, {}, Padded({2, 1}, 64), {-1, -1, 1}},
        {"JSON supported", 0x1D, {}, Padded({3, 1}, 64), {-1, -1, 1}},
        {"heartbeat", 0x1C, {}, {1}, {1}},
    };
    std::unique_ptr<CommandClient> client = Connect();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.set.empty()) {
            ASSERT_TRUE(client->Send(row.id, row.set));
        }
        const std::optional<std::vector<uint8_t>> data = client->Query(row.id | 0x80, row.query);
        ASSERT_TRUE(data);
        ASSERT_LE(row.expected.size(), data->size());
        for (size_t i = 0; i < row.expected.size(); ++i) {
            if (row.expected[i] >= 0) {
                EXPECT_EQ((*data)[i], row.expected[i]) << "d[" << i << "]";
            }
        }
    }
    const SimSettings settings = Camera().Settings();
    EXPECT_TRUE(settings.streaming);
    EXPECT_EQ(settings.frameRate, 15);
    EXPECT_EQ(settings.exposureUs.at(1), 0x12345678u);
    EXPECT_EQ(settings.serial, "XY123");
    EXPECT_EQ(settings.dspFunctions.at({1, 6}).threshold, 300);
}

TEST_F(ServingCamera, CalibrationDoublesRoundTripForEverySubId)
{
    // Sub-ids 0..14 carry 4, 5, 4, 4, 4, 5, 4, 4, 4, 5, 3, 4, 5, 4, 5 doubles.
    const size_t counts[] = {4, 5, 4, 4, 4, 5, 4, 4, 4, 5, 3, 4, 5, 4, 5};
    std::unique_ptr<CommandClient> client = Connect();

    const std::optional<std::vector<uint8_t>> defaults = client->Query(0x90, {0});
    ASSERT_TRUE(defaults);
    EXPECT_EQ(*defaults, Doubles(0, {520.0, 0.0, 320.0, 0.0}));

    for (uint8_t subId = 0; subId < 15; ++subId) {
        std::vector<uint8_t> set{subId};
        for (size_t i = 0; i < counts[subId]; ++i) {
            const std::vector<uint8_t> one = Doubles(0, {subId * 10.0 + static_cast<double>(i) + 0.25});
            set.insert(set.end(), one.begin() + 1, one.end());
        }
        ASSERT_TRUE(client->Send(0x10, set));
        const std::optional<std::vector<uint8_t>> data = client->Query(0x90, {subId});
        ASSERT_TRUE(data);
        EXPECT_EQ(*data, set) << "sub-id " << int(subId);
    }
    const SimSettings settings = Camera().Settings();
    EXPECT_DOUBLE_EQ(settings.rotation[8], 94.25);       // sub-id 9, fifth double
    EXPECT_DOUBLE_EQ(settings.translationMm[2], 102.25); // sub-id 10, third double
}

TEST_F(ServingCamera, SettingsWithoutAReplyShowInTheCameraState)
{
    std::unique_ptr<CommandClient> client = Connect();
    ASSERT_TRUE(client->Send(0x02, {8, 1})); // slave mode enabled
    ASSERT_TRUE(client->Send(0x1F, {0}));    // two triggers
    ASSERT_TRUE(client->Send(0x1F, {0}));
    ASSERT_TRUE(client->Send(0x12, {8})); // reboot
    ASSERT_TRUE(Camera().WaitForFrames(4, kWaitMs));
    const SimSettings settings = Camera().Settings();
    EXPECT_TRUE(settings.slaveModeEnabled);
    EXPECT_EQ(settings.slaveTriggers, 2u);
    EXPECT_EQ(settings.rebootCount, 1u);
    EXPECT_EQ(settings.workMode.mode, 0); // a reboot is not a work mode
}

TEST_F(ServingCamera, RecordsEveryFrameAsReceivedEvenWhenItArrivesByteByByte)
{
    std::vector<uint8_t> burst = RequestFrame(0x04, {12});
    const std::vector<uint8_t> query = RequestFrame(0x84, {0});
    const std::vector<uint8_t> heartbeat = RequestFrame(0x9C, {1});
    burst.insert(burst.end(), query.begin(), query.end());
    burst.insert(burst.end(), heartbeat.begin(), heartbeat.end());

    std::unique_ptr<CommandClient> client = Connect();
    for (uint8_t byte : burst) {
        ASSERT_TRUE(client->SendRaw({byte}));
    }
    ASSERT_TRUE(Camera().WaitForFrames(3, kWaitMs));
    const std::vector<RecordedFrame> frames = Camera().RecordedFrames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].command, 0x04);
    EXPECT_EQ(frames[0].payload, std::vector<uint8_t>{12});
    EXPECT_EQ(frames[0].raw, RequestFrame(0x04, {12}));
    EXPECT_EQ(frames[1].command, 0x84);
    EXPECT_EQ(frames[1].raw, query);
    EXPECT_EQ(frames[2].command, 0x9C);
    EXPECT_EQ(frames[2].raw, heartbeat);
    EXPECT_LE(frames[0].at, frames[1].at);
    EXPECT_LE(frames[1].at, frames[2].at);

    // Two replies, in order: the frame rate just set, then the heartbeat.
    const std::optional<Reply> rate = client->ReadReply();
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->body, (std::vector<uint8_t>{0xAA, 0x84, 1, 12}));
    const std::optional<Reply> beat = client->ReadReply();
    ASSERT_TRUE(beat);
    EXPECT_EQ(beat->body.at(1), 0x9C);
}

// One fault of each kind, and closing the connection, are shown by the integration tests' command set.
TEST_F(ServingCamera, FaultsShapeTheNextQueriesUntilUsedUpOrCleared)
{
    std::unique_ptr<CommandClient> client = Connect();

    // No answer: the next bytes on the connection are the reply to the following query.
    Camera().SetCommandFault(CommandFault::NoAnswer, 1);
    ASSERT_TRUE(client->Send(0x84, {0}));
    EXPECT_EQ(client->Query(0x86, {0}), std::vector<uint8_t>{0}); // data mode 0, not frame rate 25

    Camera().SetCommandFault(CommandFault::OversizedDataLength, 2);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(client->Send(0x84, {0}));
        const std::optional<Reply> reply = client->ReadReply();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->marker, 0xAAu);
        EXPECT_GT(reply->DataLength(), reply->body.size() - 3);
    }
    EXPECT_EQ(client->Query(0x84, {0}), std::vector<uint8_t>{25});

    // Until cleared; settings are never affected.
    Camera().SetCommandFault(CommandFault::WrongMarker);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(client->Send(0x04, {20}));
        ASSERT_TRUE(client->Send(0x84, {0}));
        const std::optional<Reply> reply = client->ReadReply();
        ASSERT_TRUE(reply);
        EXPECT_NE(reply->marker, 0xAAu);
        EXPECT_EQ(reply->Data(), std::vector<uint8_t>{20}); // the body stays, so the connection stays in step
    }
    Camera().SetCommandFault(CommandFault::None);
    EXPECT_EQ(client->Query(0x84, {0}), std::vector<uint8_t>{20});
}

TEST_F(ServingCamera, GarbageDropsTheConnectionAndTheNextClientIsServed)
{
    const std::vector<uint8_t> good = RequestFrame(0x84, {0});
    auto with = [&](size_t offset, uint8_t value) {
        std::vector<uint8_t> bytes = good;
        bytes[offset] = value;
        return bytes;
    };
    // Every shape of garbage is told apart by the parser (CommandFrameTest); these show the session acts
    // on it, even when the frame claims gigabytes still to come.
    const std::vector<std::vector<uint8_t>> garbage = {with(0, 0x55), with(7, 0xFF), with(10, 9),
                                                       std::vector<uint8_t>(200, 0xFF)};
    for (size_t i = 0; i < garbage.size(); ++i) {
        std::unique_ptr<CommandClient> client = Connect();
        ASSERT_TRUE(client->SendRaw(garbage[i]));
        EXPECT_TRUE(client->WaitForClose()) << i;
    }
    // A client that leaves in the middle of a frame does no harm either.
    {
        std::unique_ptr<CommandClient> client = Connect();
        ASSERT_TRUE(client->SendRaw(std::vector<uint8_t>(good.begin(), good.begin() + 5)));
    }
    std::unique_ptr<CommandClient> client = Connect();
    EXPECT_EQ(client->Query(0x84, {0}), std::vector<uint8_t>{25});
    EXPECT_TRUE(Camera().WaitForFrames(1, kWaitMs));
}

TEST_F(ServingCamera, ANewClientReplacesTheOldOnBothConnections)
{
    EXPECT_FALSE(Camera().SendData({1})) << "no data client yet";
    EXPECT_FALSE(Camera().WaitForDataClient(10));
    std::unique_ptr<CommandClient> first = Connect();
    EXPECT_EQ(first->Query(0x9C, {1}), std::vector<uint8_t>{1});
    std::unique_ptr<CommandClient> second = Connect();
    EXPECT_EQ(second->Query(0x84, {0}), std::vector<uint8_t>{25});
    EXPECT_TRUE(first->WaitForClose());
    EXPECT_EQ(Camera().CommandClientsAccepted(), 2u);

    TcpClient dataFirst(kAddress, SimCamera::DataPort(0));
    ASSERT_TRUE(Camera().WaitForDataClient(kWaitMs));
    TcpClient dataSecond(kAddress, SimCamera::DataPort(0));
    EXPECT_TRUE(dataFirst.WaitForClose(kWaitMs));
    // A stream buffer: type and payload length as u32 LE, then the payload.
    const std::vector<uint8_t> buffer = SimCamera::StreamBuffer(1, {1, 2, 3});
    EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3}));
    ASSERT_TRUE(Camera().SendData(buffer));
    EXPECT_EQ(dataSecond.Receive(buffer.size(), kWaitMs), buffer);
    EXPECT_THROW(Camera().SendData({1}, 1), std::out_of_range);
}

TEST_F(ServingCamera, StopIsPromptEvenWithAnAnswerHeldBack)
{
    std::unique_ptr<CommandClient> client = Connect();
    TcpClient data(kAddress, SimCamera::DataPort(0));
    ASSERT_TRUE(Camera().WaitForDataClient(kWaitMs));
    Camera().SetReplyDelayMs(600000);
    ASSERT_TRUE(client->Send(0x84, {0}));
    ASSERT_TRUE(Camera().WaitForFrames(1, kWaitMs));
    EXPECT_FALSE(client->ReadReply(300)) << "the answer is held back";

    const auto start = Clock::now();
    Camera().StopServing();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)); // the held answer is ten minutes away
    EXPECT_FALSE(Camera().IsServing());
    EXPECT_TRUE(client->WaitForClose());
    EXPECT_TRUE(data.WaitForClose(kWaitMs));
    EXPECT_FALSE(CommandClient(kAddress, SimCamera::CommandPort(0)).Connected());

    // The ports bind again at once.
    Camera().SetReplyDelayMs(0);
    ASSERT_TRUE(Camera().StartServing()) << Camera().LastError();
    EXPECT_EQ(Connect()->Query(0x9C, {1}), std::vector<uint8_t>{1});
}

TEST(SimSessionTest, PortsThatCannotBeBoundAreReportedNotFatal)
{
    const int blocker = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(SimCamera::DataPort(0));
    inet_pton(AF_INET, "127.0.0.51", &local.sin_addr);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr *>(&local), sizeof local), 0);
    ASSERT_EQ(listen(blocker, 1), 0);

    SimCamera busy(CameraAt("127.0.0.51"), "127.0.0.1", 9);
    EXPECT_FALSE(busy.StartServing());
    EXPECT_FALSE(busy.IsServing());
    EXPECT_NE(busy.LastError().find("9009"), std::string::npos) << busy.LastError();
    // The command port was given back when the data port failed.
    EXPECT_FALSE(CommandClient("127.0.0.51", SimCamera::CommandPort(0)).Connected());
    close(blocker);

    SimCamera remote(CameraAt("192.0.2.1"), "127.0.0.1", 9); // documentation range: never local
    EXPECT_FALSE(remote.StartServing());
    EXPECT_FALSE(remote.LastError().empty());
}

TEST(SimSessionTest, EachSessionHasItsOwnPortsSettingsAndFrames)
{
    SimCamera camera(CameraAt("127.0.0.52", 2), "127.0.0.1", 9);
    ASSERT_TRUE(camera.StartServing()) << camera.LastError();
    ASSERT_EQ(camera.SessionCount(), 2u);

    CommandClient second("127.0.0.52", 9018);
    ASSERT_TRUE(second.Send(0x04, {10}));
    EXPECT_EQ(second.Query(0x84, {0}), std::vector<uint8_t>{10});
    CommandClient first("127.0.0.52", 9008);
    EXPECT_EQ(first.Query(0x84, {0}), std::vector<uint8_t>{25});
    EXPECT_EQ(camera.RecordedFrames(1).size(), 2u);
    EXPECT_EQ(camera.RecordedFrames(0).size(), 1u);

    camera.SetCommandFault(CommandFault::WrongMarker, -1, 1);
    EXPECT_EQ(first.Query(0x84, {0}), std::vector<uint8_t>{25});
    ASSERT_TRUE(second.Send(0x84, {0}));
    const std::optional<Reply> reply = second.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->marker, 0xAAu);
    EXPECT_THROW(camera.Settings(2), std::out_of_range);
}

TEST(SimSessionTest, SimulatorServesBetweenStartAndStopUnlessToldNotTo)
{
    CameraSimulator::Options quiet;
    quiet.discoveryPort = 9; // the announcements go nowhere
    quiet.announcePeriodMs = 600000;
    quiet.serveConnections = false;
    {
        CameraSimulator simulator(quiet);
        simulator.AddCamera(CameraAt("127.0.0.53"));
        simulator.Start();
        EXPECT_FALSE(simulator.Camera(0).IsServing());
        EXPECT_FALSE(CommandClient("127.0.0.53", 9008).Connected());
    }

    CameraSimulator::Options serving = quiet;
    serving.serveConnections = true;
    CameraSimulator simulator(serving);
    SimCamera &camera = simulator.AddCamera(CameraAt("127.0.0.53"));
    EXPECT_FALSE(camera.IsServing());
    simulator.Start();
    EXPECT_TRUE(camera.IsServing());
    SimCamera &late = simulator.AddCamera(CameraAt("127.0.0.54"));
    EXPECT_TRUE(late.IsServing());
    EXPECT_EQ(CommandClient("127.0.0.54", 9008).Query(0x9C, {1}), std::vector<uint8_t>{1});

    // Moving a serving camera moves its listeners, and its IP address setting follows.
    camera.SetAddress("127.0.0.55");
    CommandClient moved("127.0.0.55", 9008);
    EXPECT_EQ(moved.Query(0x98, {0x15}), Text(0x15, std::string("127.0.0.55") + '\0'));
    EXPECT_FALSE(CommandClient("127.0.0.53", 9008).Connected());

    simulator.Stop();
    EXPECT_FALSE(camera.IsServing());
    EXPECT_TRUE(moved.WaitForClose());
    EXPECT_FALSE(CommandClient("127.0.0.54", 9008).Connected());
}

} // namespace
