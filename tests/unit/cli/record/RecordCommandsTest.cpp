// SPDX-License-Identifier: Apache-2.0
// The record, replay and inspect subcommands without a camera: their command lines, and replay and inspect
// on recordings made by the writer, whole and cut.
#include "CliApp.h"
#include "ExitCodes.h"
#include "RecordCommand.h"
#include "RecordingWriter.h"
#include "ReplayCommand.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace orvane::cli {
namespace {

struct Ran
{
    int code;
    std::string out;
    std::string err;
};

Ran RunCli(const std::vector<std::string> &args)
{
    CliApp app;
    std::ostringstream out;
    std::ostringstream err;
    int code = app.Parse(args, out, err);
    if (code == kExitOk) {
        code = app.Run(out, err);
    }
    return {code, out.str(), err.str()};
}

std::vector<nlohmann::json> JsonLines(const std::string &text)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

class RecordingFiles : public ::testing::Test
{
protected:
    /// Three frame sets (depth and colour, then depth alone) cut `cutBytes` before the end.
    std::string MakeRecording(size_t cutBytes)
    {
        const std::string path = m_dir.Path() + "/take.orvrec";
        record::RecordingWriter writer({8, 0});
        EXPECT_TRUE(writer.Open(path, R"({"camera":{"uri":"KR52Lite:SN9"}})"));
        for (uint32_t s = 0; s < 3; ++s) {
            record::FrameSet set;
            for (uint32_t type : {0u, 3u}) {
                if (type == 3 && s == 1) {
                    continue;
                }
                record::RecordedFrame frame;
                frame.frameIndex = 100 + s;
                frame.frameType = type;
                frame.width = 4;
                frame.height = 3;
                frame.hostTimeNs = 5'000'000'000ull + 40'000'000ull * s;
                frame.pixels.assign(type == 3 ? 36 : 24, static_cast<uint8_t>(7 * s + type));
                set.frames.push_back(frame);
            }
            m_sets.push_back(set);
            EXPECT_TRUE(writer.Push(std::move(set)));
        }
        EXPECT_TRUE(writer.Close());
        std::string bytes = orvtest::ReadFile(path);
        orvtest::WriteFile(path, bytes.substr(0, bytes.size() - cutBytes));
        return path;
    }

    orvtest::TempDir m_dir;
    std::vector<record::FrameSet> m_sets;
};

TEST(RecordCommandLine, OptionsParseAndBadValuesGiveTheUsageCode)
{
    CliApp app;
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(app.Parse({"--ip", "127.0.0.9", "record", "a.orvrec", "-t", "2.5", "--streams", "depth,color",
                         "--zstd-level", "3"},
                        out, err),
              kExitOk)
        << err.str();
    auto *record = dynamic_cast<RecordCommand *>(app.Chosen());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(
        std::tie(record->file, record->seconds, record->streams, record->zstd, record->zstdLevel),
        std::make_tuple(std::string("a.orvrec"), 2.5, std::vector<std::string>{"depth", "color"}, true, 3));
    const std::vector<std::vector<std::string>> refused = {
        {"record"},
        {"record", "a.orvrec", "-t", "-1"},
        {"record", "a.orvrec", "--streams", "depth,sonar"},
        {"record", "--raw", "a.orvraw", "--zstd"},
        {"replay", "/nonexistent/a.orvrec"},
        {"replay", "/dev/null", "--rate", "-2"},
        {"inspect"},
    };
    for (const auto &args : refused) {
        const Ran ran = RunCli(args);
        EXPECT_EQ(ran.code, kExitUsage) << args.back();
        EXPECT_NE(ran.err, "") << args.back();
    }
}

TEST_F(RecordingFiles, ReplayWritesEveryWholeFrameBitForBitAndSaysWhereTheFileIsCut)
{
    const std::string path = MakeRecording(5);
    const std::string dir = m_dir.Path() + "/frames";
    const Ran ran = RunCli({"--json", "replay", path, "--to-dir", dir, "--rate", "0"});
    ASSERT_EQ(ran.code, kExitOk) << ran.err;
    const std::vector<nlohmann::json> lines = JsonLines(ran.out);
    ASSERT_EQ(lines.size(), 3u) << ran.out;
    EXPECT_EQ(lines[2]["summary"]["end"], "cut");
    EXPECT_EQ(lines[2]["summary"]["frameSets"], 2);
    EXPECT_NE(ran.err.find("cut"), std::string::npos);
    for (size_t s = 0; s < 2; ++s) {
        EXPECT_EQ(lines[s]["seconds"].get<double>(), 0.04 * static_cast<double>(s));
        for (const record::RecordedFrame &frame : m_sets[s].frames) {
            const std::string stem =
                dir + "/set00000" + std::to_string(s) + (frame.frameType == 3 ? "-color" : "-depth");
            const std::string raw = orvtest::ReadFile(stem + ".raw");
            EXPECT_EQ(std::vector<uint8_t>(raw.begin(), raw.end()), frame.pixels) << stem;
            const nlohmann::json sidecar = nlohmann::json::parse(orvtest::ReadFile(stem + ".json"));
            EXPECT_EQ(sidecar["pixels"], stem.substr(dir.size() + 1) + ".raw");
            EXPECT_EQ(sidecar["camera"]["uri"], "KR52Lite:SN9");
            EXPECT_EQ(std::make_tuple(sidecar["frame"]["frameIndex"], sidecar["frame"]["frameType"],
                                      sidecar["frame"]["dataLen"]),
                      std::make_tuple(nlohmann::json(frame.frameIndex), nlohmann::json(frame.frameType),
                                      nlohmann::json(frame.pixels.size())));
        }
    }
}

TEST_F(RecordingFiles, InspectCountsStreamsAndReportsTheCutOrTheDamage)
{
    const std::string cut = MakeRecording(1);
    const Ran ran = RunCli({"--json", "inspect", cut});
    ASSERT_EQ(ran.code, kExitOk) << ran.err;
    const nlohmann::json summary = JsonLines(ran.out).at(0)["summary"];
    EXPECT_EQ(summary["frameSets"], 2);
    EXPECT_EQ(summary["streams"]["depth"],
              (nlohmann::json{{"frames", 2}, {"firstIndex", 100}, {"lastIndex", 101}}));
    EXPECT_EQ(summary["streams"]["color"]["frames"], 1);
    EXPECT_DOUBLE_EQ(summary["durationSeconds"].get<double>(), 0.04);
    EXPECT_EQ(summary["end"], "cut");
    const uint64_t thirdRecordBytes = summary["bytesAfterLastRecord"].get<uint64_t>() + 1;
    EXPECT_EQ(thirdRecordBytes, 8u + 1u + 4u + 2 * (45u) + 24u + 36u);

    std::string damaged = orvtest::ReadFile(cut);
    damaged[summary["endOffset"].get<size_t>() - 3] ^= 0x01; // a pixel of the second record
    orvtest::WriteFile(cut, damaged);
    const Ran corrupt = RunCli({"--json", "inspect", cut});
    EXPECT_EQ(corrupt.code, kExitUsage);
    EXPECT_EQ(JsonLines(corrupt.out).at(0)["summary"]["end"], "corrupt");
    EXPECT_EQ(JsonLines(corrupt.out).at(0)["summary"]["frameSets"], 1);
}

} // namespace
} // namespace orvane::cli
