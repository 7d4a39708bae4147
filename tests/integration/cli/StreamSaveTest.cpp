// SPDX-License-Identifier: Apache-2.0
// `orvane-cli stream` and `save` against a simulated camera: the camera's rate without drops, then every
// frame it leaves out accounted for; saved files whole and readable, the PNG holding the raw pixels.
#include <nlohmann/json.hpp>

#include <filesystem>
#include <future>
#include <set>

#include "../../unit/cli/PngReadBack.h"
#include "CliFixture.h"
#include "ExitCodes.h"
#include "TestSupport.h"

namespace orvtest {
namespace {

using nlohmann::json;
using orvane::cli::Interrupt;

uint64_t Drops(const json &stream)
{
    uint64_t total = 0;
    for (const auto &reason : stream["drops"].items()) {
        total += reason.value().get<uint64_t>();
    }
    return total;
}

class CliStreamSaveTest : public CliFixture
{
};

TEST_F(CliStreamSaveTest, StreamShowsTheCameraRateThenEveryFrameItLeavesOut)
{
    SimCamera &camera = AddCamera("SN0234", 234);
    SimStreamer &streamer = camera.Streamer();
    streamer.OverrideFramePeriod(std::chrono::milliseconds(100)); // slow enough for a busy machine
    m_sim->Start();
    SharedText live;
    auto running = std::async(std::launch::async, [&live] {
        return Run(
            {"--uri", "KR52Lite:SN0234", "--wait", "5000", "stream", "--json", "--streams", "depth,color"},
            &live);
    });
    const auto last = [&live] {
        const std::vector<json> records = JsonLines(live.Snapshot());
        return records.empty() ? json() : records.back();
    };
    ASSERT_TRUE(WaitUntil([&] { return JsonLines(live.Snapshot()).size() >= 3; }, 20000));
    const json steady = last()["streams"];
    for (const char *stream : {"depth", "color"}) {
        SCOPED_TRACE(stream);
        EXPECT_NEAR(steady[stream]["fps"].get<double>(), 10.0, 2.0);
        EXPECT_EQ(steady[stream]["gaps"], 0);
        EXPECT_EQ(Drops(steady[stream]), 0u);
        EXPECT_TRUE(steady[stream].contains("latencyMs"));
    }
    // One fault after the other: a buffer without both parts would carry no frame to count.
    streamer.DropTof(3);
    ASSERT_TRUE(WaitUntil([&] { return streamer.InjectedFaults().tofDropped == 3; }, kWaitMs));
    streamer.DropColor(2);
    ASSERT_TRUE(WaitUntil([&] { return streamer.InjectedFaults().colorDropped == 2; }, kWaitMs));
    const uint64_t framesThen = last()["streams"]["depth"]["frames"];
    ASSERT_TRUE(WaitUntil([&] { return last()["streams"]["depth"]["frames"] >= framesThen + 5; }, kWaitMs));
    Interrupt::Request();
    EXPECT_EQ(running.get().code, orvane::cli::kExitInterrupted);

    const json final = last();
    EXPECT_EQ(final["final"], true);
    const json &depth = final["streams"]["depth"];
    const json &color = final["streams"]["color"];
    // A part left out is a gap in its stream; when the library dropped the lone other part too, that is a
    // gap in the other stream and a library drop as well.
    const auto gaps = depth["gaps"].get<int64_t>() + color["gaps"].get<int64_t>();
    EXPECT_EQ(gaps - static_cast<int64_t>(Drops(depth) + Drops(color)), 5) << final.dump();
    EXPECT_GE(depth["gaps"].get<int64_t>(), 3);
    EXPECT_GE(color["gaps"].get<int64_t>(), 2);
}

TEST_F(CliStreamSaveTest, SaveWritesWholeReadableFiles)
{
    AddCamera("SN0235", 235);
    m_sim->Start();
    TempDir dir;
    const CliResult result = Run({"--uri", "KR52Lite:SN0235", "--wait", "5000", "save", "--format",
                                  "png,ply,raw", "--count", "2", "--out", dir.Path(), "--json"});
    ASSERT_EQ(result.code, orvane::cli::kExitOk) << result.err;
    const std::vector<json> files = JsonLines(result.out);
    std::set<uint32_t> indices;
    for (const json &file : files) {
        indices.insert(file["frameIndex"].get<uint32_t>());
        EXPECT_TRUE(std::filesystem::exists(file["file"].get<std::string>())) << file.dump();
    }
    EXPECT_EQ(indices.size(), 2u);
    // Four streams in three files each and a point cloud, twice; nothing else (no temporary file).
    EXPECT_EQ(files.size(), 26u);
    EXPECT_EQ(static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {})), 26u);

    const std::string stem = dir.Path() + "/SN0235_" + std::to_string(*indices.begin());
    const json sidecar = json::parse(ReadFile(stem + "_depth.json"));
    EXPECT_EQ(sidecar["camera"]["uri"], "KR52Lite:SN0235");
    EXPECT_EQ(sidecar["frame"]["width"], 640);
    const std::string raw = ReadFile(stem + "_depth.raw");
    const PngContent png = ReadPng(stem + "_depth.png");
    ASSERT_TRUE(png.ok);
    ASSERT_EQ(png.bytes.size(), raw.size());
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        ASSERT_EQ(png.bytes[i], static_cast<uint8_t>(raw[i + 1])) << "big-endian sample " << i / 2;
        ASSERT_EQ(png.bytes[i + 1], static_cast<uint8_t>(raw[i]));
    }
    const std::string ply = ReadFile(stem + "_points.ply");
    const size_t bodyAt = ply.find("end_header\n") + 11;
    const size_t countAt = ply.find("element vertex ") + 15;
    const size_t points = std::stoul(ply.substr(countAt));
    EXPECT_GT(points, 640u * 480 / 2);
    EXPECT_NE(ply.find("property uchar red"), std::string::npos) << "colour mapped to depth";
    EXPECT_EQ(ply.size(), bodyAt + points * 15);
}

} // namespace
} // namespace orvtest
