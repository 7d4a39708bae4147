// SPDX-License-Identifier: Apache-2.0
// The replaying camera: it reads its settings back from the status record and calibration block it finds
// in recorded buffers, and sends the buffers at their recorded pace.
#include "RawTofEncoder.h"
#include "SimRecording.h"
#include "SimReplaySource.h"
#include "SimStreamer.h"

#include "TestSupport.h"
#include "runtime/RawRecordingWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <utility>
#include <vector>

namespace {

/// Settings far from the defaults in every field the status record and calibration block carry.
SimSettings Recorded()
{
    SimSettings s;
    s.dataMode = 9;
    s.depthRange = 4;
    s.workMode.mode = 0x20;
    s.slaveMode = 1;
    s.gmmGain = 12;
    s.exposureUs = {{0, 700}, {1, 300}, {3, 90}};
    s.dualFreqCount = 3;
    s.dualFreqValues = {1, -2, 3};
    s.dspSwitches = {{1, 0}, {2, 1}, {3, 1}};
    s.lenses[2] = SimLensConfig{2, 1, 1600, 1200, 15, 1};
    s.tofIntrinsic[0] = 512.5;
    s.tofDistortion[1] = -0.25;
    s.colorDistortion[7] = 0.125;
    s.SetExtrinsics(SimSettings::RotationFromDegrees(1, 2, 3), {-30.0, 1.5, 2.0});
    s.measuringRanges[3] = SimMeasuringRange{3000, 150, 6000};
    s.depthRanges = {0, 3, 4};
    s.dataModes = {0, 9};
    return s;
}

/// A stream buffer's payload as the camera writes it: timestamp, status, calibration, a ToF block.
std::vector<uint8_t> Payload(const SimSettings &s)
{
    const std::vector<uint8_t> status = SimStreamer::EncodeStatus(SimAppliedState::From(s), 40, 38);
    const std::vector<uint8_t> calibration = SimStreamer::EncodeCalibration(s);
    std::vector<uint8_t> out;
    RawTofEncoder::AppendHeader(out, 0x1F, 8, 0);
    out.insert(out.end(), 8, 0x11);
    out.insert(out.end(), {0x2C, static_cast<uint8_t>(status.size()), 0});
    out.insert(out.end(), status.begin(), status.end());
    RawTofEncoder::AppendHeader(out, 0x2E, static_cast<uint32_t>(calibration.size()), 0);
    out.insert(out.end(), calibration.begin(), calibration.end());
    RawTofEncoder::AppendHeader(out, 0xB6, 4, 2);
    out.insert(out.end(), 4, 0xEE);
    return out;
}

TEST(SimRecordingTest, TheRecordedStatusAndCalibrationGiveBackTheSettingsTheCameraRanWith)
{
    const SimSettings recorded = Recorded();
    const std::vector<uint8_t> payload = Payload(recorded);
    std::optional<std::vector<uint8_t>> status;
    std::optional<std::vector<uint8_t>> calibration;
    SimRecording::FindRecords(payload, status, calibration);
    ASSERT_TRUE(status && calibration);
    SimSettings replayed;
    SimRecording::ApplyCalibration(*calibration, replayed);
    SimRecording::ApplyStatus(*status, replayed);
    // Read back, the settings report what the camera reported.
    EXPECT_EQ(SimStreamer::EncodeStatus(SimAppliedState::From(replayed), 40, 38), *status);
    EXPECT_EQ(SimStreamer::EncodeCalibration(replayed), *calibration);
    EXPECT_EQ(replayed.fundamental, recorded.fundamental);

    // A buffer cut short yields only the records it carries whole.
    const size_t statusEnd = 13 + 3 + 59;
    const size_t calibrationEnd = statusEnd + 5 + 470;
    for (size_t cut = 0; cut < payload.size(); ++cut) {
        std::optional<std::vector<uint8_t>> cutStatus;
        std::optional<std::vector<uint8_t>> cutCalibration;
        SimRecording::FindRecords(std::vector<uint8_t>(payload.begin(), payload.begin() + cut), cutStatus,
                                  cutCalibration);
        EXPECT_EQ(cutStatus.has_value(), cut >= statusEnd) << cut;
        EXPECT_EQ(cutCalibration.has_value(), cut >= calibrationEnd) << cut;
    }
}

TEST(SimReplaySourceTest, BuffersGoOutAtTheirRecordedPaceScaledByTheRate)
{
    orvtest::TempDir dir;
    const std::string path = dir.Path() + "/pace.raw";
    {
        RawRecordingWriter writer;
        ASSERT_EQ(writer.Open(path, "{}"), 0);
        const uint64_t arrivalsMs[] = {0, 40, 100};
        for (uint8_t i = 0; i < 3; ++i) {
            const uint8_t byte = static_cast<uint8_t>(i + 1);
            ASSERT_EQ(writer.Append(arrivalsMs[i] * 1000000, &byte, 1), 0);
        }
    }
    struct Row
    {
        SimReplayOptions options;
        std::vector<long> sentAtMs; ///< when each buffer went out, since the first
        std::vector<uint8_t> sent;  ///< the byte each carried
    };
    const Row rows[] = {
        {{false, 1.0}, {0, 40, 100}, {1, 2, 3}},
        {{false, 2.0}, {0, 20, 50}, {1, 2, 3}},
        {{false, 0.0}, {0, 0, 0}, {1, 2, 3}},
        {{true, 1.0}, {0, 40, 100, 100, 140}, {1, 2, 3, 1, 2}},
    };
    using Clock = SimReplaySource::Clock;
    for (const Row &row : rows) {
        SimReplaySource source(row.options);
        std::string error;
        ASSERT_TRUE(source.Open(path, error)) << error;
        const Clock::time_point start = Clock::now();
        Clock::time_point now = start;
        std::vector<long> sentAtMs;
        std::vector<uint8_t> sent;
        const auto send = [&](const std::vector<uint8_t> &buffer) {
            EXPECT_EQ(buffer.size(), 9u) << "type, length and the one byte";
            sentAtMs.push_back(static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count()));
            sent.push_back(buffer.back());
            return true;
        };
        for (int step = 0; step < 20 && sent.size() < row.sent.size(); ++step) {
            now = std::max(now, source.Step(now, send, [] {}));
        }
        EXPECT_EQ(sentAtMs, row.sentAtMs);
        EXPECT_EQ(sent, row.sent);
        EXPECT_EQ(source.BuffersSent(), row.sent.size());
        source.Step(now, send, [] {});
        EXPECT_EQ(source.Finished(), !row.options.loop);
    }
}

} // namespace
