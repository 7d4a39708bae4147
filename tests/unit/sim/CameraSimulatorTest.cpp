// SPDX-License-Identifier: Apache-2.0
// Tests of the announcing thread: periods, cameras added while running, silencing, Stop and races.
#include "CameraSimulator.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <stdexcept>
#include <thread>

using namespace sim_test;
using Clock = std::chrono::steady_clock;

namespace {

CameraSimulator::Options Fast(uint16_t port, unsigned periodMs = 20)
{
    CameraSimulator::Options options;
    options.discoveryPort = port;
    options.announcePeriodMs = periodMs;
    options.serveConnections = false; // these tests share addresses with tests that bind the camera ports
    return options;
}

SimCameraConfig CameraAt(const std::string &serial, const std::string &address)
{
    SimCameraConfig config;
    config.serial = serial;
    config.address = address;
    return config;
}

// Two cameras announced from the start, a third added while running, and a state change: each camera's
// datagrams come from its own address and carry its current state.
TEST(CameraSimulatorTest, AnnouncesEveryCameraFromItsOwnAddress)
{
    DiscoveryReceiver receiver;
    CameraSimulator simulator(Fast(receiver.Port()));
    EXPECT_FALSE(simulator.WaitForAnnouncements(0, 1, 0));
    EXPECT_THROW(simulator.Camera(0), std::out_of_range);
    simulator.AddCamera(CameraAt("SN0001", "127.0.0.2"));
    simulator.AddCamera(CameraAt("SN0002", "127.0.0.3"));
    simulator.Start();
    EXPECT_TRUE(simulator.IsRunning());
    ASSERT_TRUE(simulator.WaitForAnnouncements(0, 1, kWaitMs));
    SimCamera &late = simulator.AddCamera(CameraAt("SN0003", "127.0.0.4"));
    ASSERT_EQ(simulator.CameraCount(), 3u);

    std::map<std::string, int> seen; // serial → datagrams
    const auto allSeenTwice = [&](const Datagram &datagram) {
        EXPECT_EQ(datagram.bytes.size(), offset::kEnd);
        EXPECT_EQ(datagram.source, datagram.Ip()) << datagram.Serial();
        ++seen[datagram.Serial()];
        return seen.size() == 3 && seen["SN0001"] >= 2 && seen["SN0002"] >= 2 && seen["SN0003"] >= 2;
    };
    EXPECT_TRUE(receiver.ReceiveUntil(allSeenTwice, kWaitMs));
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(simulator.FindCamera("SN0003"), &late);
    EXPECT_EQ(simulator.FindCamera("SN9999"), nullptr);

    late.SetState(2);
    const auto lateInState = [](const Datagram &d) { return d.Serial() == "SN0003" && d.State() == 2; };
    ASSERT_TRUE(receiver.ReceiveUntil(lateInState, kWaitMs));
    for (int i = 0; i < 3; ++i) {
        const std::optional<Datagram> next =
            receiver.ReceiveUntil([](const Datagram &d) { return d.Serial() == "SN0003"; }, kWaitMs);
        ASSERT_TRUE(next);
        EXPECT_EQ(next->State(), 2);
    }
}

TEST(CameraSimulatorTest, RoundsAreAtLeastOnePeriodApart)
{
    constexpr unsigned kPeriodMs = 50;
    DiscoveryReceiver receiver;
    CameraSimulator simulator(Fast(receiver.Port(), kPeriodMs));
    simulator.AddCamera(CameraAt("SN0001", "127.0.0.2"));

    const auto start = Clock::now();
    simulator.Start();
    ASSERT_TRUE(simulator.WaitForAnnouncements(0, 5, kWaitMs));
    const auto fifth = Clock::now();
    // The first round goes at once, the fifth four periods later at the earliest.
    EXPECT_GE(fifth - start, std::chrono::milliseconds(4 * kPeriodMs));
    simulator.Stop();
    const auto stopped = Clock::now();

    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(stopped - start).count();
    const uint64_t sent = simulator.Camera(0).AnnouncementsSent();
    EXPECT_LE(sent, static_cast<uint64_t>(elapsedMs) / kPeriodMs + 1);
    uint64_t received = 0;
    while (receiver.Receive(sent == received ? 0 : kWaitMs)) {
        ++received;
    }
    EXPECT_EQ(received, sent);
}

// (That a silenced camera sends nothing, and is heard again once resumed, is what discovery's removal and
// revival in the integration tests rest on.)
TEST(CameraSimulatorTest, SilencedCameraStaysQuietWhileOthersGoOnAndThenResumes)
{
    DiscoveryReceiver receiver;
    CameraSimulator simulator(Fast(receiver.Port()));
    SimCamera &quiet = simulator.AddCamera(CameraAt("SN0001", "127.0.0.2"));
    SimCamera &steady = simulator.AddCamera(CameraAt("SN0002", "127.0.0.3"));
    simulator.Start();
    ASSERT_TRUE(simulator.WaitForAnnouncements(0, 2, kWaitMs));

    quiet.SetAnnouncing(false);
    const uint64_t quietSent = quiet.AnnouncementsSent();
    const uint64_t steadyTarget = steady.AnnouncementsSent() + 5;
    ASSERT_TRUE(simulator.WaitForAnnouncements(1, steadyTarget, kWaitMs));
    EXPECT_EQ(quiet.AnnouncementsSent(), quietSent);

    quiet.SetAnnouncing(true);
    EXPECT_TRUE(simulator.WaitForAnnouncements(0, quietSent + 2, kWaitMs));
}

TEST(CameraSimulatorTest, StopWakesTheThreadInsteadOfWaitingOutThePeriod)
{
    DiscoveryReceiver receiver;
    CameraSimulator simulator(Fast(receiver.Port(), 600000));
    simulator.AddCamera(CameraAt("SN0001", "127.0.0.2"));
    simulator.Start();
    ASSERT_TRUE(simulator.WaitForAnnouncements(0, 1, kWaitMs));

    const auto before = Clock::now();
    simulator.Stop();
    EXPECT_LT(Clock::now() - before, std::chrono::seconds(10)); // the period is ten minutes
    EXPECT_FALSE(simulator.IsRunning());
    simulator.Stop(); // a second Stop is harmless

    // A restart announces at once; the destructor then stops the running thread.
    simulator.Start();
    EXPECT_TRUE(simulator.WaitForAnnouncements(0, 2, kWaitMs));
}

// Controls racing the announcing thread must never produce a datagram whose source and address
// field disagree, or one that is cut or mixed.
TEST(CameraSimulatorTest, ControlsFromManyThreadsKeepEveryDatagramConsistent)
{
    DiscoveryReceiver receiver;
    CameraSimulator simulator(Fast(receiver.Port(), 1));
    SimCamera &camera = simulator.AddCamera(CameraAt("SN0001", "127.0.0.2"));
    simulator.AddCamera(CameraAt("SN0002", "127.0.0.3"));
    simulator.Start();

    std::atomic<uint64_t> explicitSent{0};
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                camera.SetState(static_cast<uint8_t>((i + t) % 5));
                camera.SetAddress(i % 2 == 0 ? "127.0.0.8" : "127.0.0.2");
                camera.SetAnnouncing(i % 3 != 0);
                if (camera.AnnounceNow()) {
                    ++explicitSent;
                }
                camera.SendMalformed(MalformedKind::Short);
            }
            ++finished;
        });
    }

    uint64_t checked = 0;
    const auto check = [&](const Datagram &d) {
        if (d.bytes.size() == offset::kEnd) {
            EXPECT_EQ(d.source, d.Ip());
            EXPECT_EQ(d.At(offset::kDeviceType), 11);
            EXPECT_LE(d.State(), 4);
            EXPECT_EQ(XorOfAll(d.bytes), 0);
        } else {
            EXPECT_EQ(d.bytes.size(), 88u);
        }
        ++checked;
    };
    // Receive while the threads run so that the socket buffer does not overflow too early.
    while (finished < 3) {
        if (std::optional<Datagram> d = receiver.Receive(10)) {
            check(*d);
        }
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    simulator.Stop();
    while (std::optional<Datagram> d = receiver.Receive(100)) {
        check(*d);
    }
    EXPECT_EQ(explicitSent, 600u);
    EXPECT_GE(camera.AnnouncementsSent(), 600u);
    EXPECT_EQ(camera.MalformedSent(), 600u);
    EXPECT_GT(checked, 0u);
}

} // namespace
