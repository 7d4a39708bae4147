// SPDX-License-Identifier: Apache-2.0
// Tests of SocketCtl against a camera end on loopback: opening, command framing and transactions, stream
// buffer reads and the handling of broken replies and buffers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PeerSockets.h"
#include "TestSupport.h"
#include "net/SocketCtl.h"
#include "protocol/StatusCodes.h"

using namespace orvtest;

namespace {

constexpr int kKindQuery = 1;
constexpr int kKindSetting = 2;

TEST(SocketCtlTest, UnopenedObjectReadsNothingAndClosesQuietly)
{
    orvtest::LoggedHome home;
    SocketCtl ctl(kLoopback, 1, 1);
    ctl.closeDevice();
    EXPECT_FALSE(ctl.IsOpened());

    unsigned char buf[8];
    int len = 77;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ctl.ReadData(buf, &len), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
    EXPECT_EQ(len, 77);

    // Without a connection no request is written anywhere.
    char payload[4] = {1};
    EXPECT_EQ(ctl.SetCmd(0x04, payload, 1, 1, kKindSetting), kStatusTransport);
}

TEST(SocketCtlTest, OpenFailsWhenTheCameraDoesNotListen)
{
    orvtest::LoggedHome home;
    uint16_t closedPort;
    {
        Listener gone;
        closedPort = gone.Port();
    }
    SocketCtl ctl(kLoopback, closedPort, closedPort);
    EXPECT_EQ(ctl.openDevice(), kStatusNotConnected);
    EXPECT_FALSE(ctl.IsOpened());
}

/// An opened SocketCtl with the camera's ends of both connections.
class SocketCtlLoopback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SocketCtl::SetReceiveTimeoutMs(3000);
        m_ctl = std::make_unique<SocketCtl>(kLoopback, m_dataListener.Port(), m_cmdListener.Port());
        ASSERT_EQ(m_ctl->openDevice(), 0);
        m_cmd = m_cmdListener.Accept();
        m_data = m_dataListener.Accept();
        ASSERT_TRUE(m_cmd.Valid());
        ASSERT_TRUE(m_data.Valid());
    }
    void TearDown() override { SocketCtl::SetReceiveTimeoutMs(SocketCtl::kDefaultReceiveTimeoutMs); }

    /// Reopens with a short receive bound (the sockets take it when they are opened).
    void ReopenWithTimeoutMs(unsigned timeoutMs)
    {
        m_ctl->closeDevice();
        SocketCtl::SetReceiveTimeoutMs(timeoutMs);
        ASSERT_EQ(m_ctl->openDevice(), 0);
        m_cmd = m_cmdListener.Accept();
        m_data = m_dataListener.Accept();
        ASSERT_TRUE(m_cmd.Valid() && m_data.Valid());
    }

    orvtest::LoggedHome m_home;
    Listener m_cmdListener;
    Listener m_dataListener;
    std::unique_ptr<SocketCtl> m_ctl;
    Peer m_cmd;
    Peer m_data;
};

TEST_F(SocketCtlLoopback, RequestFramesAreLaidOutByKind)
{
    struct Row
    {
        int cmd;
        int len;
        int type;
        std::vector<uint8_t> expectedHeader;
        size_t expectedPayload;
    };
    const std::vector<Row> rows = {
        {0x04, 0, kKindSetting, {0xAA, 0, 0, 0, 3, 0, 0, 0, 0xAA, 0x04, 0}, 0},
        {0x04, 70, kKindSetting, {0xAA, 0, 0, 0, 67, 0, 0, 0, 0xAA, 0x04, 64}, 64},
        {0x12, 6, kKindSetting, {0xAA, 0, 0, 0, 9, 0, 0, 0, 0xAA, 0x12, 6}, 6},
        {0x06, 1, kKindQuery, {0xAA, 0, 0, 0, 4, 0, 0, 0, 0xAA, 0x86, 1}, 1},
        {0x06, 1, 7, {0xAA, 0, 0, 0, 4, 0, 0, 0, 0xAA, 0x86, 1}, 1},
        // An id with bit 7 set always expects a reply.
        {0x9C, 1, kKindSetting, {0xAA, 0, 0, 0, 4, 0, 0, 0, 0xAA, 0x9C, 1}, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("cmd " + std::to_string(row.cmd) + " len " + std::to_string(row.len));
        char buf[80];
        for (int i = 0; i < 80; ++i) {
            buf[i] = static_cast<char>(i + 1);
        }
        const bool query = row.type != kKindSetting || (row.cmd & 0x80) != 0;
        if (query) {
            ASSERT_TRUE(m_cmd.Send(ReplyFrame({0x42, 0x43})));
        }
        EXPECT_EQ(m_ctl->SetCmd(row.cmd, buf, 1, row.len, row.type), 0);
        const Request request = ReadRequest(m_cmd);
        EXPECT_EQ(request.header, row.expectedHeader);
        ASSERT_EQ(request.payload.size(), row.expectedPayload);
        for (size_t i = 0; i < request.payload.size(); ++i) {
            EXPECT_EQ(request.payload[i], i + 1);
        }
        if (query) {
            EXPECT_EQ(static_cast<uint8_t>(buf[0]), 0x42);
            EXPECT_EQ(buf[1], 2); // beyond cap 1 the reply is not copied: the request byte stays
        }
    }
    // A setting returns at once: nothing more was read or waited for.
    EXPECT_FALSE(m_cmd.Readable(50));
}

TEST_F(SocketCtlLoopback, BrokenRepliesAreDrainedAndReportedAsFailure)
{
    std::vector<uint8_t> dataBeyondBody = ReplyFrame({0xC1, 0xC2});
    dataBeyondBody[10] = 10; // announces 10 data bytes in a body that carries 2
    // Marker and a body length of 2, too short to hold the data length.
    std::vector<uint8_t> bodyTooShort = StreamHeader(0xAA, 2);
    bodyTooShort.insert(bodyTooShort.end(), {0xAA, 0});
    struct Row
    {
        const char *what;
        std::vector<uint8_t> frame;
        std::vector<uint8_t> copied; // what reaches the caller of the failed query
    };
    const Row rows[] = {
        {"wrong marker", ReplyFrame({0xD1, 0xD2, 0xD3, 0xD4, 0xD5}, 0xAB), {}},
        {"data length beyond the body", dataBeyondBody, {0xC1, 0xC2}},
        {"body too short for a data length", bodyTooShort, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(m_cmd.Send(row.frame));
        ASSERT_TRUE(m_cmd.Send(ReplyFrame({0x77, 0x78})));
        char buf[16];
        std::memset(buf, 0x11, sizeof(buf));
        EXPECT_EQ(m_ctl->SetCmd(0x06, buf, 16, 1, kKindQuery), kStatusTransport);
        EXPECT_EQ(std::vector<uint8_t>(buf, buf + row.copied.size()), row.copied);
        EXPECT_EQ(buf[row.copied.size()], 0x11) << "more than the body reached the caller";
        // The broken frame was consumed whole: the next query gets its own answer.
        EXPECT_EQ(m_ctl->SetCmd(0x06, buf, 16, 1, kKindQuery), 0);
        EXPECT_EQ(buf[0], 0x77);
        EXPECT_EQ(buf[1], 0x78);
    }
    // A body longer than any reply is refused before it is read or a buffer is grown for it.
    ASSERT_TRUE(m_cmd.Send(StreamHeader(0xAA, 0xFFFFFFF0u))); // marker and body length
    char buf[8] = {};
    EXPECT_EQ(m_ctl->SetCmd(0x06, buf, 8, 1, kKindQuery), kStatusTransport);
}

TEST_F(SocketCtlLoopback, AReplyLeftUnreadIsDroppedInsteadOfAnsweringTheNextQuery)
{
    SocketCtl::SetReceiveTimeoutMs(100);
    char first[4] = {1, 0, 0, 0};
    EXPECT_EQ(m_ctl->SetCmd(0x06, first, 3, 1, kKindQuery), kStatusTransport);
    // The camera answers the timed-out query only after the host gave up on it.
    ASSERT_FALSE(ReadRequest(m_cmd).header.empty());
    ASSERT_TRUE(m_cmd.Send(ReplyFrame({0x11, 0x12, 0x13})));

    SocketCtl::SetReceiveTimeoutMs(3000);
    std::thread camera([this] {
        if (!ReadRequest(m_cmd).header.empty()) {
            m_cmd.Send(ReplyFrame({0x21, 0x22, 0x23}));
        }
    });
    char second[4] = {1, 0, 0, 0};
    EXPECT_EQ(m_ctl->SetCmd(0x07, second, 3, 1, kKindQuery), 0);
    camera.join();
    EXPECT_EQ(second[0], 0x21) << "the late reply passed for the answer to the next query";
    EXPECT_EQ(second[2], 0x23);
}

TEST_F(SocketCtlLoopback, ConcurrentQueriesEachGetTheirOwnAnswer)
{
    constexpr int kQueriesPerThread = 300;
    std::thread camera([this] {
        for (int i = 0; i < 2 * kQueriesPerThread; ++i) {
            const Request request = ReadRequest(m_cmd);
            if (request.payload.empty()) {
                return;
            }
            m_cmd.Send(ReplyFrame(request.payload)); // echo the caller's token
        }
    });
    std::atomic<int> mismatches{0};
    auto client = [&](uint8_t threadId) {
        for (int i = 0; i < kQueriesPerThread; ++i) {
            char buf[4] = {static_cast<char>(threadId), static_cast<char>(i & 0xFF),
                           static_cast<char>(i >> 8), 0};
            const char expected[3] = {buf[0], buf[1], buf[2]};
            if (m_ctl->SetCmd(0x13, buf, 3, 3, kKindQuery) != 0 || std::memcmp(buf, expected, 3) != 0) {
                ++mismatches;
            }
        }
    };
    std::thread first(client, 1);
    std::thread second(client, 2);
    first.join();
    second.join();
    camera.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST_F(SocketCtlLoopback, EmptyAndRefusedBuffersKeepTheStreamInStep)
{
    constexpr int kCapacity = 16;
    const std::vector<uint8_t> good = {1, 2, 3, 4};
    std::vector<uint8_t> stream;
    auto append = [&stream](const std::vector<uint8_t> &bytes) {
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    };
    append(StreamHeader(1, 0)); // empty buffer
    append(StreamHeader(2, 5)); // unknown type that fits: skipped
    append({0xE1, 0xE2, 0xE3, 0xE4, 0xE5});
    append(StreamHeader(1, 40)); // longer than the capacity: skipped
    append(std::vector<uint8_t>(40, 0xEE));
    append(StreamHeader(1, static_cast<uint32_t>(good.size())));
    append(good);
    ASSERT_TRUE(m_data.Send(stream));

    std::vector<unsigned char> buf(kCapacity + 8, 0x5A); // 8 guard bytes past the capacity
    int len = -1;
    EXPECT_EQ(m_ctl->ReadData(buf.data(), &len, kCapacity), 1);
    EXPECT_EQ(len, 0);

    len = -1;
    EXPECT_EQ(m_ctl->ReadData(buf.data(), &len, kCapacity), -1);
    EXPECT_EQ(len, 0);

    len = -1;
    EXPECT_EQ(m_ctl->ReadData(buf.data(), &len, kCapacity), -1);
    EXPECT_EQ(len, 0);
    for (int i = kCapacity; i < kCapacity + 8; ++i) {
        EXPECT_EQ(buf[static_cast<size_t>(i)], 0x5A) << "written past the capacity at " << i;
    }

    EXPECT_EQ(m_ctl->ReadData(buf.data(), &len, kCapacity), 1);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 4), good);
    EXPECT_EQ(m_ctl->GetDroppedBufferCount(), 2u);
}

TEST_F(SocketCtlLoopback, UnknownTypeWithImpossibleLengthIsRefusedWithoutFollowingIt)
{
    ASSERT_TRUE(m_data.Send(StreamHeader(7, 0x7FFFFFF0u)));
    std::vector<unsigned char> buf(64);
    int len = -1;
    EXPECT_EQ(m_ctl->ReadData(buf.data(), &len, 64), -1);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(m_ctl->GetDroppedBufferCount(), 1u);

    // The stream is out of step: the next read starts over on a new connection.
    EXPECT_FALSE(m_ctl->TakeDataReconnected());
    std::thread camera([this] { m_dataListener.Accept().Send(StreamHeader(1, 0)); });
    EXPECT_EQ(m_ctl->ReadData(buf.data(), &len, 64), 1);
    EXPECT_EQ(len, 0);
    EXPECT_TRUE(m_ctl->TakeDataReconnected());
    EXPECT_FALSE(m_ctl->TakeDataReconnected());
    camera.join();
}

TEST_F(SocketCtlLoopback, SilenceAndCloseOnTheDataConnectionReadNothing)
{
    ReopenWithTimeoutMs(100);
    std::vector<unsigned char> buf(64);
    int len = 0;
    EXPECT_EQ(m_ctl->ReadData(buf.data(), &len, 64), 0);

    // A payload cut short by a close leaves nothing behind.
    ASSERT_TRUE(m_data.Send(StreamHeader(1, 32)));
    ASSERT_TRUE(m_data.Send({1, 2, 3}));
    m_data.Close();
    len = -1;
    EXPECT_EQ(m_ctl->ReadData(buf.data(), &len, 64), 0);
    EXPECT_EQ(len, 0);
    len = 5;
    EXPECT_EQ(m_ctl->ReadData(buf.data(), &len, 64), 0);
    EXPECT_EQ(len, 5);
}

} // namespace
