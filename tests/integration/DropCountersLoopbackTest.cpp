// SPDX-License-Identifier: Apache-2.0
// Nothing lost silently: a simulated camera drops and garbles frames on demand, and the drop counters the
// library reports through the property interface account for every fault it injected.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

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
    SimCamera &camera = AddCamera("SNDROP1", 60);
    StartCameras();
    TfDeviceHandle device = Open("SNDROP1");
    ASSERT_NE(device, nullptr);
    FrameSet set;
    ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));
    SimStreamer &streamer = camera.Streamer();

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

// An application that stops reading loses the sets it did not take, each counted once per stream; the
// simulator's count of buffers sent meanwhile bounds them.
TEST_F(DropCountersLoopbackTest, SetsNotReadCountAsQueueFullAndTheRecordChecksItsSize)
{
    SimCamera &camera = AddCamera("SNDROP2", 61);
    StartCameras();
    TfDeviceHandle device = Open("SNDROP2");
    ASSERT_NE(device, nullptr);
    FrameSet set;
    ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));

    const TfDropCounters before = ReadCounters(device);
    EXPECT_EQ(before.version, 1u);
    EXPECT_EQ(before.size, sizeof(TfDropCounters));
    const uint64_t sentBefore = camera.Streamer().FramesSent();
    TfDropCounters during{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    do {
        during = ReadCounters(device);
    } while (during.tof.queueFull - before.tof.queueFull < 5 && std::chrono::steady_clock::now() < deadline);
    ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));
    const TfDropCounters after = ReadCounters(device);
    const uint64_t sent = camera.Streamer().FramesSent() - sentBefore;
    const uint64_t lost = after.tof.queueFull - before.tof.queueFull;
    EXPECT_GE(lost, 5u);
    EXPECT_EQ(after.color.queueFull - before.color.queueFull, lost) << "each lost set had both parts";
    // Buffers already sent when reading stopped may still have been on their way through the pipeline.
    constexpr uint64_t kInFlight = 3;
    EXPECT_LE(lost, sent + kInFlight) << "at most the buffers sent while not reading were lost";
    EXPECT_EQ(Minus(Drops(after.tof), Drops(before.tof)), (std::vector<uint64_t>{lost, 0, 0, 0, 0}));

    // A value too small for the record is refused and left untouched.
    TfDropCounters small{};
    small.version = 77;
    int32_t size = sizeof small - 1;
    EXPECT_EQ(TFCM_GetProperty(device, TF_PROPERTY_EXT_DROP_COUNTERS, &small, &size),
              TF_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(small.version, 77u);
}

} // namespace
