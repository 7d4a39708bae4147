// SPDX-License-Identifier: Apache-2.0
// `record --raw` (RawRecordRunner) and `raw-dump` against a simulated camera: what they report is what
// they wrote.
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

#include "CliContext.h"
#include "CliFixture.h"
#include "ExitCodes.h"
#include "RawRecordRunner.h"
#include "TestSupport.h"
#include "runtime/RawRecordingReader.h"

namespace orvtest {
namespace {

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(ApiLoopbackEnvironment());
using nlohmann::json;
using namespace orvane::cli;

const std::string kUri = "KR52Lite:SN0244";

class RawCliTest : public CliFixture
{
protected:
    /// Runs the raw recording for `seconds` into `path`; the exit code, stdout and stderr.
    static CliResult Record(const std::string &path, double seconds)
    {
        CommonOptions options;
        options.uri = kUri;
        options.waitMs = 5000;
        options.json = true;
        std::ostringstream out;
        std::ostringstream err;
        CliOutput output(true, 0, out, err);
        CliResult result;
        {
            CliContext context(options, output);
            result.code = RawRecordRunner(path, seconds).Run(context);
        }
        result.out = out.str();
        result.err = err.str();
        return result;
    }
};

TEST_F(RawCliTest, RecordRawAndRawDumpReportWhatTheyWroteOrWhyTheyCouldNot)
{
    AddCamera("SN0244", 244).Streamer().OverrideFramePeriod(std::chrono::milliseconds(100));
    m_sim->Start();
    TempDir dir;
    const std::string path = dir.Path() + "/cli.raw";
    const CliResult recorded = Record(path, 1.0);
    ASSERT_EQ(recorded.code, kExitOk) << recorded.err;
    const json summary = json::parse(recorded.out);
    EXPECT_EQ(summary["file"], path);
    EXPECT_EQ(summary["dropped"], 0);
    EXPECT_GE(summary["buffers"].get<uint64_t>(), 5u);

    std::ifstream file(path, std::ios::binary);
    RawRecordingReader reader(file);
    std::string header;
    ASSERT_TRUE(reader.ReadHeader(header));
    EXPECT_EQ(json::parse(header)["uri"], kUri);
    uint64_t arrivalNs = 0;
    std::vector<uint8_t> record;
    while (reader.Next(arrivalNs, record) == RawRecordingReader::Result::kRecord) {
    }
    EXPECT_EQ(reader.RecordsRead(), summary["buffers"].get<uint64_t>());

    const CliResult refused = Record(dir.Path() + "/missing/cli.raw", 1.0);
    EXPECT_EQ(refused.code, kExitCameraError);
    EXPECT_NE(refused.err.find("No such file"), std::string::npos) << refused.err;

    // raw-dump lists the buffers the library saved in the directory.
    const std::string dumps = dir.Path() + "/dumps";
    const CliResult dumped =
        Run({"raw-dump", "--uri", kUri, "--dir", dumps, "-t", "1", "--json", "--wait", "5000"});
    ASSERT_EQ(dumped.code, kExitOk) << dumped.err;
    std::istringstream lines(dumped.out);
    int files = 0;
    for (std::string line; std::getline(lines, line); ++files) {
        const json saved = json::parse(line);
        EXPECT_EQ(saved["file"].get<std::string>().rfind(dumps + "/raw_TOF_", 0), 0u) << line;
        EXPECT_EQ(saved["bytes"], 4945920) << "one four-phase raw frame";
    }
    EXPECT_EQ(files, 3) << "the library saves three buffers";
}

} // namespace
} // namespace orvtest
