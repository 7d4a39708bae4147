// SPDX-License-Identifier: Apache-2.0
// Nothing lost silently: a simulated camera drops and garbles frames on demand, and the drop counters the
// library reports through the property interface account for every fault it injected.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "CameraFixture.h"

namespace {
[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(orvtest::ApiLoopbackEnvironment());
using namespace orvtest;

TfDropCounters ReadCounters(TfDeviceHandle device)
{
    TfDropCounters counters{};
    int32_t size = sizeof counters;
    EXPECT_EQ(TFCM_GetProperty(device, TF_PROPERTY_EXT_DROP_COUNTERS, &counters, &size), TF_OK);
    EXPECT_EQ(size, static_cast<int32_t>(sizeof counters));
    return counters;
}

/// Every drop counter of one stream, in record order, for comparing whole streams at once.
std::vector<uint64_t> Drops(const TfDropCounts &c)
{
    return {c.queueFull, c.setIncomplete, c.decodeError, c.bufferRefused, c.colorLate};
}

std::vector<uint64_t> Minus(const std::vector<uint64_t> &a, const std::vector<uint64_t> &b)
{
    std::vector<uint64_t> out(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
        out[i] = a[i] - b[i];
    }
    return out;
}

/// What a fault should leave in the counters, from the simulator's count of the faults it injected:
/// the growth of each stream's drop counters, and by how many more colour than ToF frames were delivered.
struct Expected
{
    std::vector<uint64_t> tofDrops;
    std::vector<uint64_t> colorDrops;
    int64_t colorMinusTofDelivered = 0;
};

struct FaultRow
{
    const char *name;
    std::function<void(SimStreamer &)> inject;
    std::function<Expected(uint64_t injected)> expect;
    uint64_t SimInjectedFaults::*count;
};

constexpr unsigned kFaults = 3;

class DropCountersLoopbackTest : public CameraFixture
{
protected:
    /// Opens a camera that streams slowly enough for a busy machine to decode every frame and read every
    /// set, so that the only losses are the ones a test causes.
    TfDeviceHandle OpenSlowCamera(const std::string &serial, unsigned hostByte, SimStreamer *&streamer)
    {
        SimCamera &camera = AddCamera(serial, hostByte);
        streamer = &camera.Streamer();
        streamer->OverrideFramePeriod(std::chrono::milliseconds(120));
        StartCameras();
        return Open(serial);
    }

    /// Reads (as an application that keeps up does) until `done` holds or the wait runs out.
    static bool ReadUntil(TfDeviceHandle device, const std::function<bool()> &done, unsigned timeoutMs = 8000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            TfFrameReady ready{};
            (void)TFCM_ReadNextFrame(device, &ready);
        }
        return true;
    }
};

TEST_F(DropCountersLoopbackTest, EveryInjectedFaultShowsInTheCountersAndNothingElseDoes)
{
    const std::vector<uint64_t> none(5, 0);
    const auto bothRefused = [&none](uint64_t n) {
        std::vector<uint64_t> refused = none;
        refused[3] = n; // bufferRefused
        return Expected{refused, refused, 0};
    };
    // clang-format off
    const FaultRow rows[] = {
        {"ToF dropped", [](SimStreamer &s) { s.DropTof(kFaults); },
         [&none](uint64_t n) { return Expected{none, none, static_cast<int64_t>(n)}; },
         &SimInjectedFaults::tofDropped},
        {"colour dropped", [](SimStreamer &s) { s.DropColor(kFaults); },
         [&none](uint64_t n) { return Expected{none, none, -static_cast<int64_t>(n)}; },
         &SimInjectedFaults::colorDropped},
        // Parsing stops at the bad sub-packet; the ToF and colour parts behind it are lost.
        {"unknown sub-packet", [](SimStreamer &s) { s.SetBufferFault(SimBufferFault::UnknownTypeId, kFaults); },
         bothRefused, &SimInjectedFaults::unknownType},
        // Nothing follows a truncated ToF sub-packet, so its buffer loses the colour part too.
        {"truncated sub-packet", [](SimStreamer &s) { s.SetBufferFault(SimBufferFault::TruncatedSubPacket, kFaults); },
         bothRefused, &SimInjectedFaults::truncated},
    };
    // clang-format on
    SimStreamer *sim = nullptr;
    TfDeviceHandle device = OpenSlowCamera("SNDROP1", 60, sim);
    ASSERT_NE(device, nullptr);
    FrameSet set;
    ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));
    SimStreamer &streamer = *sim;

    for (const FaultRow &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set)) << "whole sets before the fault";
        const TfDropCounters before = ReadCounters(device);
        const uint64_t injectedBefore = streamer.InjectedFaults().*(row.count);
        row.inject(streamer);
        ASSERT_TRUE(ReadUntil(
            device, [&] { return streamer.InjectedFaults().*(row.count) - injectedBefore == kFaults; }));
        // Whole sets again: the last faulty buffer has been through the pipeline.
        ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));
        ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));

        const TfDropCounters after = ReadCounters(device);
        const Expected expected = row.expect(streamer.InjectedFaults().*(row.count) - injectedBefore);
        EXPECT_EQ(Minus(Drops(after.tof), Drops(before.tof)), expected.tofDrops);
        EXPECT_EQ(Minus(Drops(after.color), Drops(before.color)), expected.colorDrops);
        const auto colorDelivered = static_cast<int64_t>(after.colorDelivered - before.colorDelivered);
        const auto tofDelivered = static_cast<int64_t>(after.tofDelivered - before.tofDelivered);
        EXPECT_EQ(colorDelivered - tofDelivered, expected.colorMinusTofDelivered);
        EXPECT_GT(tofDelivered, 0);
    }
}

// An application that stops reading loses the sets it did not take, counted as queue full; and every
// frame the camera sent meanwhile is either delivered or counted, whatever else a busy machine lost.
TEST_F(DropCountersLoopbackTest, SetsNotReadCountAsQueueFullAndEveryFrameIsAccountedFor)
{
    SimStreamer *sim = nullptr;
    TfDeviceHandle device = OpenSlowCamera("SNDROP2", 61, sim);
    ASSERT_NE(device, nullptr);
    FrameSet set;
    ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));

    const TfDropCounters before = ReadCounters(device);
    EXPECT_EQ(before.version, 1u);
    EXPECT_EQ(before.size, sizeof(TfDropCounters));
    const uint64_t sentBefore = sim->FramesSent();
    constexpr uint64_t kUnread = 5;
    TfDropCounters during{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    do {
        during = ReadCounters(device);
    } while ((during.tof.queueFull - before.tof.queueFull < kUnread ||
              during.color.queueFull - before.color.queueFull < kUnread) &&
             std::chrono::steady_clock::now() < deadline);
    ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));
    const TfDropCounters after = ReadCounters(device);
    const auto sent = static_cast<int64_t>(sim->FramesSent() - sentBefore);

    EXPECT_GE(after.tof.queueFull - before.tof.queueFull, kUnread);
    EXPECT_GE(after.color.queueFull - before.color.queueFull, kUnread);
    // Every buffer carried both parts. Frames on their way through the pipeline at either end of the
    // window are the only difference allowed.
    constexpr int64_t kInFlight = 4;
    const auto accounted = [](uint64_t deliveredNow, uint64_t deliveredBefore, const TfDropCounts &now,
                              const TfDropCounts &then) {
        int64_t total = static_cast<int64_t>(deliveredNow - deliveredBefore);
        for (uint64_t n : Minus(Drops(now), Drops(then))) {
            total += static_cast<int64_t>(n);
        }
        return total;
    };
    EXPECT_NEAR(accounted(after.tofDelivered, before.tofDelivered, after.tof, before.tof), sent, kInFlight);
    EXPECT_NEAR(accounted(after.colorDelivered, before.colorDelivered, after.color, before.color), sent,
                kInFlight);

    // A value too small for the record is refused and left untouched.
    TfDropCounters small{};
    small.version = 77;
    int32_t size = sizeof small - 1;
    EXPECT_EQ(TFCM_GetProperty(device, TF_PROPERTY_EXT_DROP_COUNTERS, &small, &size),
              TF_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(small.version, 77u);
}

} // namespace
