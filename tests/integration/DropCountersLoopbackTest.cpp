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
        int colorMinusTof; ///< per fault, in the delivered counts; 0: a refused buffer in both streams
        TfDropCounts TfDropCounters::*lateStream; ///< where the lone part is counted when it comes late
        uint64_t TfDropCounts::*late;
    };
    // A camera that leaves a part out loses nothing in the library: the set comes without it, unless
    // the lone part arrives after the next buffer's set was opened (counted, never silent). A buffer whose
    // parsing stops at a bad sub-packet loses the parts behind it (nothing follows a truncated one).
    const Row rows[] = {
        {"ToF left out", [](SimStreamer &s) { s.DropTof(kFaults); }, &SimInjectedFaults::tofDropped, 1,
         &TfDropCounters::color, &TfDropCounts::colorLate},
        {"colour left out", [](SimStreamer &s) { s.DropColor(kFaults); }, &SimInjectedFaults::colorDropped,
         -1, &TfDropCounters::tof, &TfDropCounts::setIncomplete},
        {"unknown sub-packet",
         [](SimStreamer &s) { s.SetBufferFault(SimBufferFault::UnknownTypeId, kFaults); },
         &SimInjectedFaults::unknownType, 0, nullptr, nullptr},
        {"truncated sub-packet",
         [](SimStreamer &s) { s.SetBufferFault(SimBufferFault::TruncatedSubPacket, kFaults); },
         &SimInjectedFaults::truncated, 0, nullptr, nullptr},
    };
    TfDeviceHandle device = OpenSlowCamera("SNDROP1", 60);
    ASSERT_NE(device, nullptr);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const TfDropCounters before = ReadDropCounters(device);
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

        const TfDropCounters after = ReadDropCounters(device);
        const uint64_t injected = m_streamer->InjectedFaults().*(row.injected) - injectedBefore;
        ASSERT_EQ(injected, kFaults);
        const Counts tofLost = Grown(after.tof, before.tof);
        const Counts colorLost = Grown(after.color, before.color);
        const auto tofDelivered = static_cast<int64_t>(after.tofDelivered - before.tofDelivered);
        const auto colorDelivered = static_cast<int64_t>(after.colorDelivered - before.colorDelivered);
        if (row.colorMinusTof == 0) {
            const Counts refused{0, 0, 0, injected, 0};
            EXPECT_EQ(tofLost, refused);
            EXPECT_EQ(colorLost, refused);
            EXPECT_EQ(colorDelivered, tofDelivered);
            continue;
        }
        const uint64_t late = (after.*(row.lateStream)).*(row.late) - (before.*(row.lateStream)).*(row.late);
        EXPECT_EQ(std::accumulate(tofLost.begin(), tofLost.end(), uint64_t{0}) +
                      std::accumulate(colorLost.begin(), colorLost.end(), uint64_t{0}),
                  late)
            << "no other loss";
        EXPECT_EQ(row.colorMinusTof * (colorDelivered - tofDelivered) + static_cast<int64_t>(late),
                  static_cast<int64_t>(injected));
    }
}

// Sets the application does not read are lost as queue full; and every frame the camera sent meanwhile
// is delivered or counted, whatever else a busy machine lost.
TEST_F(DropCountersLoopbackTest, SetsNotReadCountAsQueueFullAndEveryFrameIsAccountedFor)
{
    TfDeviceHandle device = OpenSlowCamera("SNDROP2", 61);
    ASSERT_NE(device, nullptr);
    const TfDropCounters before = ReadDropCounters(device);
    EXPECT_EQ(before.version, 1u);
    EXPECT_EQ(before.size, sizeof(TfDropCounters));
    const uint64_t sentBefore = m_streamer->FramesSent();
    constexpr uint64_t kUnread = 5;
    TfDropCounters during{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    do {
        during = ReadDropCounters(device);
    } while ((during.tof.queueFull - before.tof.queueFull < kUnread ||
              during.color.queueFull - before.color.queueFull < kUnread) &&
             std::chrono::steady_clock::now() < deadline);
    FrameSet set;
    ASSERT_TRUE(ReadSet(device, kReadyDepth | kReadyColor, set));
    const TfDropCounters after = ReadDropCounters(device);
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
