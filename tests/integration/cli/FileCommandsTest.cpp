// SPDX-License-Identifier: Apache-2.0
// `orvane-cli upgrade` and `transfer` against simulated cameras on 127.0.0.240 and 127.0.0.241: the
// upgrade's progress reaches 100 and the camera comes back running the new firmware; calibration files go
// both ways. The cameras fetch from and upload to the host's server on port 8080.
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "CliFixture.h"
#include "ExitCodes.h"
#include "SimFirmwareImage.h"
#include "TestSupport.h"

namespace orvtest {
namespace {

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(ApiLoopbackEnvironment());

using nlohmann::json;
using namespace orvane::cli;

constexpr uint16_t kServerPort = 8080; // the library's own choice; the tests' lock keeps it ours

bool PortIsFree(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int reuse = 1; // a connection of the previous test waiting out its close does not count
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool bound = bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

std::vector<uint8_t> ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliFileCommandsTest : public CliFixture
{
protected:
    void SetUp() override
    {
        if (!PortIsFree(kServerPort)) {
            GTEST_SKIP() << "port " << kServerPort << " is taken by another program";
        }
        CliFixture::SetUp();
        // Pulled files land in ./Config/, where the library also reads its tables: never the build tree.
        m_previousDir = std::filesystem::current_path();
        std::filesystem::current_path(m_dir.Path());
    }
    void TearDown() override
    {
        CliFixture::TearDown();
        if (!m_previousDir.empty()) {
            std::filesystem::current_path(m_previousDir);
        }
    }

    SimCamera &AddFileCamera(const std::string &serial, unsigned hostByte)
    {
        SimCamera &camera = AddCamera(serial, hostByte);
        SimUpgradeOptions options;
        options.serverPort = kServerPort;
        options.rebootDelayMs = 200;
        camera.SetUpgradeOptions(options);
        return camera;
    }

    static std::vector<json> JsonLines(const std::string &text)
    {
        std::vector<json> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(json::parse(line));
        }
        return lines;
    }

    TempDir m_dir;
    std::filesystem::path m_previousDir;
};

TEST_F(CliFileCommandsTest, UpgradesAndWaitsForTheNewVersion)
{
    SimCamera &camera = AddFileCamera("SN0240", 240);
    m_sim->Start();
    const std::string image = m_dir.Path() + "/firmware.img";
    std::string error;
    ASSERT_TRUE(SimFirmwareImage::WriteFile(image, "20260301", 4, 64 * 1024, error)) << error;

    EXPECT_EQ(Run({"upgrade", m_dir.Path() + "/missing.img", "--yes"}).code, kExitUsage);

    const CliResult result = Run({"--uri", "KR52Lite:SN0240", "--json", "upgrade", image, "--yes"});
    ASSERT_EQ(result.code, kExitOk) << result.err << result.out;
    const std::vector<json> lines = JsonLines(result.out);
    int lastPercent = -1;
    for (const json &line : lines) {
        if (line.contains("percent")) {
            EXPECT_GT(line["percent"].get<int>(), lastPercent) << "progress only moves forward";
            lastPercent = line["percent"];
        }
    }
    EXPECT_EQ(lastPercent, 100);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["firmware"], "KR52_V2.3.7_20260301_V4");
    EXPECT_EQ(lines.back()["from"], "KR52_V2.3.7_20260101_V3");
    EXPECT_EQ(camera.Settings().firmwareVersion, "KR52_V2.3.7_20260301_V4");
}

TEST_F(CliFileCommandsTest, CalibrationFilesGoBothWays)
{
    SimCamera &camera = AddFileCamera("SN0241", 241);
    m_sim->Start();
    const std::vector<std::string> common = {"--uri", "KR52Lite:SN0241", "--json", "transfer"};
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), common.begin(), common.end());
        return Run(args);
    };
    const std::string pulled = m_dir.Path() + "/planeness.bin";
    const CliResult pull = run({"pull", "planeness", "2", pulled});
    ASSERT_EQ(pull.code, kExitOk) << pull.err;
    EXPECT_EQ(ReadBytes(pulled), SimUpgradeOptions::DefaultCalibrationFile(5, 2));
    EXPECT_FALSE(std::filesystem::exists("Config/planeness_2.bin"))
        << "the library's copy is moved, not left";

    const CliResult push = run({"push", "planeness", "2", pulled});
    ASSERT_EQ(push.code, kExitOk) << push.err;
    ASSERT_EQ(camera.ReceivedFiles().size(), 1u);
    EXPECT_EQ(camera.ReceivedFiles()[0].bytes, ReadBytes(pulled));

    // A file of the wrong size is refused by the library; a missing one and a bad index before it.
    std::ofstream(m_dir.Path() + "/short.bin") << "too short";
    const CliResult wrongSize = run({"push", "intrinsic", m_dir.Path() + "/short.bin"});
    EXPECT_EQ(wrongSize.code, kExitCameraError);
    EXPECT_NE(wrongSize.err.find("TF_ERROR_INVALID_ARGUMENT"), std::string::npos);
    EXPECT_EQ(run({"push", "intrinsic", m_dir.Path() + "/missing.bin"}).code, kExitUsage);
    EXPECT_EQ(run({"pull", "range-offset", "6", pulled}).code, kExitUsage);
    EXPECT_EQ(camera.ReceivedFiles().size(), 1u);
}

} // namespace
} // namespace orvtest
