// SPDX-License-Identifier: Apache-2.0
// `orvane-cli info`, `get`, `set` and `params` against simulated cameras on 127.0.0.238 and 127.0.0.239:
// what info reports is what the camera holds, settings round trip, and refusals give their exit codes.
#include <nlohmann/json.hpp>

#include <fstream>

#include "CliFixture.h"
#include "ExitCodes.h"
#include "TestSupport.h"

namespace orvtest {
namespace {

using nlohmann::json;
using namespace orvane::cli;

class CliSettingsTest : public CliFixture
{
protected:
    /// Runs `args` against camera `uri` with JSON output.
    static CliResult RunOn(const std::string &uri, std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--uri", uri, "--json"});
        return Run(args);
    }
};

TEST_F(CliSettingsTest, InfoReportsWhatTheCameraHolds)
{
    SimCamera &camera = AddCamera("SN0238", 238);
    camera.UpdateSettings([](SimSettings &s) {
        s.macAddress = "02:4b:52:00:02:38";
        s.dataModes = {0, 2, 9};
        s.depthRange = 3;
        s.hardwareVersion = "HW7.1";
        s.dspFunctions[{1, 6}] = SimDspFunction{1, 77, 1234}; // the confidence filter
    });
    m_sim->Start();
    const CliResult result = RunOn("KR52Lite:SN0238", {"info"});
    ASSERT_EQ(result.code, kExitOk) << result.err;
    const json info = json::parse(result.out);
    const SimSettings s = camera.Settings();
    EXPECT_EQ(info["serial-number"], s.serial);
    EXPECT_EQ(info["firmware-version"], s.firmwareVersion);
    EXPECT_EQ(info["hardware-version"], "HW7.1");
    EXPECT_EQ(info["mac-address"], "02:4b:52:00:02:38") << "the whole address, not the MAC function's byte";
    EXPECT_EQ(info["ip-address"], "127.0.0.238");
    EXPECT_EQ(info["data-modes"], json({0, 2, 9}));
    EXPECT_EQ(info["depth-ranges"].size(), s.depthRanges.size());
    EXPECT_EQ(info["depth-range"], 3);
    EXPECT_EQ(info["frame-rate"], s.frameRate);
    EXPECT_EQ(info["frame-modes"]["depth"]["width"], 640);
    EXPECT_EQ(info["extrinsics"]["translation-mm"][0], s.translationMm[0]);
    EXPECT_EQ(info["filters"]["confidence-filter"],
              json({{"enable", 1}, {"threshold", 77}, {"value", 1234}}));
}

TEST_F(CliSettingsTest, SetGetRoundTripsAndRefusalsGiveTheirExitCodes)
{
    SimCamera &camera = AddCamera("SN0239", 239);
    m_sim->Start();
    const std::string uri = "KR52Lite:SN0239";
    struct Step
    {
        std::vector<std::string> args;
        int code;
        const char *out; // the value printed, or a text the messages hold
    };
    const Step steps[] = {
        {{"set", "frame-rate", "15"}, kExitOk, "15"},
        {{"get", "frame-rate"}, kExitOk, "15"},
        {{"set", "confidence-filter", "threshold=80"}, kExitOk, "80"},
        {{"get", "confidence-filter"}, kExitOk, R"({"enable":1,"threshold":80,"value":4095})"},
        {{"set", "time-filter", "on"}, kExitUsage, "kept by the library"}, // lost when the CLI closes
        {{"set", "depth-range", "9"}, kExitUsage, "outside 0..5"}, // refused before the library is called
        {{"set", "data-mode", "3"}, kExitUsage, "not among the camera's: 0, 1, 2, 5, 9"},
        {{"set", "wdr-output", "count=2"}, kExitCameraError, "TF_ERROR_INVALID_ARGUMENT"}, // not in mode 9
        {{"get", "no-such-setting"}, kExitUsage, "no setting named"},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.args[0] + " " + step.args[1]);
        const CliResult result = RunOn(uri, step.args);
        EXPECT_EQ(result.code, step.code) << result.err;
        EXPECT_NE((step.code == kExitOk ? result.out : result.err).find(step.out), std::string::npos)
            << result.out << result.err;
    }
    EXPECT_EQ(camera.Settings().frameRate, 15);
    EXPECT_EQ(camera.Settings().depthRange, 2) << "a refused value never reaches the camera";

    // A dump loads back over changes made since, and reports what it set.
    TempDir dir;
    const std::string file = dir.Path() + "/settings.json";
    ASSERT_EQ(RunOn(uri, {"params", "dump", file}).code, kExitOk);
    ASSERT_EQ(RunOn(uri, {"set", "frame-rate", "20"}).code, kExitOk);
    ASSERT_EQ(camera.Settings().frameRate, 20);
    const CliResult loaded = RunOn(uri, {"params", "load", file});
    EXPECT_EQ(loaded.code, kExitOk) << loaded.err;
    EXPECT_NE(loaded.out.find(R"({"name":"frame-rate","result":"set","value":15})"), std::string::npos)
        << loaded.out;
    EXPECT_EQ(camera.Settings().frameRate, 15);

    // A file with a bad value is refused whole, before the camera is touched.
    std::ofstream(file) << R"({"frame-rate": 20, "depth-range": 7})";
    const CliResult refused = RunOn(uri, {"params", "load", file});
    EXPECT_EQ(refused.code, kExitUsage);
    EXPECT_NE(refused.err.find("depth-range"), std::string::npos);
    EXPECT_EQ(camera.Settings().frameRate, 15);
}

} // namespace
} // namespace orvtest
