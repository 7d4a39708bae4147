// SPDX-License-Identifier: Apache-2.0
// Nothing lost silently: a simulated camera drops and garbles frames on demand, and the drop counters the
// library reports through the property interface account for every fault it injected.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <numeric>
#include <string>

#include "CameraFixture.h"

namespace {
[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(orvtest::ApiLoopbackEnvironment());
using namespace orvtest;
using Counts = std::array<uint64_t, 5>; ///< one stream's drop counters, in record order

TfDropCounters ReadCounters(TfDeviceHandle device)
{
    TfDropCounters counters{};
    int32_t size = sizeof counters;
    EXPECT_EQ(TFCM_GetProperty(device, TF_PROPERTY_EXT_DROP_COUNTERS, &counters, &size), TF_OK);
    EXPECT_EQ(size, static_cast<int32_t>(sizeof counters));
    return counters;
}

Counts Grown(const TfDropCounts &now, const TfDropCounts &then)
{
    return {now.queueFull - then.queueFull, now.setIncomplete - then.setIncomplete,
            now.decodeError - then.decodeError, now.bufferRefused - then.bufferRefused,
            now.colorLate - then.colorLate};
}

class DropCountersLoopbackTest : public CameraFixture
{
protected:
    /// A camera streaming slowly enough for a busy machine to decode every frame and read every set, so
    /// that the only losses are the ones a test causes.
    TfDeviceHandle OpenSlowCamera(const std::string &serial, unsigned hostByte)
    {
        m_streamer = &AddCamera(serial, hostByte).Streamer();
        m_streamer->OverrideFramePeriod(std::chrono::milliseconds(120));
        StartCameras();
        TfDeviceHandle device = Open(serial);
        FrameSet set;
        EXPECT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));
        return device;
    }

    SimStreamer *m_streamer = nullptr;
};

TEST_F(DropCountersLoopbackTest, EveryInjectedFaultShowsInTheCountersAndNothingElseDoes)
{
    constexpr unsigned kFaults = 3;
    struct Row
    {
        const char *name;
        std::function<void(SimStreamer &)> inject;
        uint64_t SimInjectedFaults::*injected;
        bool refused;      ///< both streams count each faulty buffer as refused
        int colorMinusTof; ///< else: more colour than ToF frames delivered, per fault
    };
    // A camera that leaves a part out loses nothing in the library: the set comes without it. A buffer
    // whose parsing stops at a bad sub-packet loses the parts behind it (nothing follows a truncated one).
    const Row rows[] = {
        {"ToF left out", [](SimStreamer &s) { s.DropTof(kFaults); }, &SimInjectedFaults::tofDropped, false,
         1},
        {"colour left out", [](SimStreamer &s) { s.DropColor(kFaults); }, &SimInjectedFaults::colorDropped,
         false, -1},
        {"unknown sub-packet",
         [](SimStreamer &s) { s.SetBufferFault(SimBufferFault::UnknownTypeId, kFaults); },
         &SimInjectedFaults::unknownType, true, 0},
        {"truncated sub-packet",
         [](SimStreamer &s) { s.SetBufferFault(SimBufferFault::TruncatedSubPacket, kFaults); },
         &SimInjectedFaults::truncated, true, 0},
    };
    TfDeviceHandle device = OpenSlowCamera("SNDROP1", 60);
    ASSERT_NE(device, nullptr);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const TfDropCounters before = ReadCounters(device);
        const uint64_t injectedBefore = m_streamer->InjectedFaults().*(row.injected);
        row.inject(*m_streamer);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
        while (m_streamer->InjectedFaults().*(row.injected) - injectedBefore < kFaults &&
               std::chrono::steady_clock::now() < deadline) {
            TfFrameReady ready{};
            (void)TFCM_ReadNextFrame(device, &ready);
        }
        // Two whole sets: the last faulty buffer has been through the pipeline.
        FrameSet set;
        ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));
        ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));

        const TfDropCounters after = ReadCounters(device);
        const uint64_t injected = m_streamer->InjectedFaults().*(row.injected) - injectedBefore;
        const Counts drops{0, 0, 0, row.refused ? injected : 0, 0};
        EXPECT_EQ(Grown(after.tof, before.tof), drops);
        EXPECT_EQ(Grown(after.color, before.color), drops);
        const auto tofDelivered = static_cast<int64_t>(after.tofDelivered - before.tofDelivered);
        const auto colorDelivered = static_cast<int64_t>(after.colorDelivered - before.colorDelivered);
        EXPECT_EQ(colorDelivered - tofDelivered, row.colorMinusTof * static_cast<int64_t>(injected));
    }
}

// Sets the application does not read are lost as queue full; and every frame the camera sent meanwhile
// is delivered or counted, whatever else a busy machine lost.
TEST_F(DropCountersLoopbackTest, SetsNotReadCountAsQueueFullAndEveryFrameIsAccountedFor)
{
    TfDeviceHandle device = OpenSlowCamera("SNDROP2", 61);
    ASSERT_NE(device, nullptr);
    const TfDropCounters before = ReadCounters(device);
    EXPECT_EQ(before.version, 1u);
    EXPECT_EQ(before.size, sizeof(TfDropCounters));
    const uint64_t sentBefore = m_streamer->FramesSent();
    constexpr uint64_t kUnread = 5;
    TfDropCounters during{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    do {
        during = ReadCounters(device);
    } while ((during.tof.queueFull - before.tof.queueFull < kUnread ||
              during.color.queueFull - before.color.queueFull < kUnread) &&
             std::chrono::steady_clock::now() < deadline);
    FrameSet set;
    ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));
    const TfDropCounters after = ReadCounters(device);
    const uint64_t sent = m_streamer->FramesSent() - sentBefore;

    EXPECT_GE(after.tof.queueFull - before.tof.queueFull, kUnread);
    EXPECT_GE(after.color.queueFull - before.color.queueFull, kUnread);
    // Every buffer carried both parts; frames on their way through the pipeline at either end of the
    // window are the only difference allowed.
    constexpr int64_t kInFlight = 4;
    const Counts tofLost = Grown(after.tof, before.tof);
    const Counts colorLost = Grown(after.color, before.color);
    EXPECT_NEAR(std::accumulate(tofLost.begin(), tofLost.end(), after.tofDelivered - before.tofDelivered),
                sent, kInFlight);
    EXPECT_NEAR(
        std::accumulate(colorLost.begin(), colorLost.end(), after.colorDelivered - before.colorDelivered),
        sent, kInFlight);

    // A value too small for the record is refused and left untouched.
    TfDropCounters small{};
    small.version = 77;
    int32_t size = sizeof small - 1;
    EXPECT_EQ(TFCM_GetProperty(device, TF_PROPERTY_EXT_DROP_COUNTERS, &small, &size),
              TF_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(small.version, 77u);
}

} // namespace
