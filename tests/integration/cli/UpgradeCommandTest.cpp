// SPDX-License-Identifier: Apache-2.0
// `orvane-cli upgrade` against a simulated camera on 127.0.0.240: the progress reaches 100 and the camera
// comes back running the new firmware. The camera fetches the image from the host's server on port 8080.
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "CliFixture.h"
#include "ExitCodes.h"
#include "SimFirmwareImage.h"
#include "TestSupport.h"

namespace orvtest {
namespace {

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(ApiLoopbackEnvironment());

using nlohmann::json;

constexpr uint16_t kServerPort = 8080; // the library's own choice; its tests' lock keeps it ours

bool PortIsFree(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool bound = bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

class CliUpgradeTest : public CliFixture
{
};

TEST_F(CliUpgradeTest, UpgradesAndWaitsForTheNewVersion)
{
    if (!PortIsFree(kServerPort)) {
        GTEST_SKIP() << "port " << kServerPort << " is taken by another program";
    }
    SimCamera &camera = AddCamera("SN0240", 240);
    SimUpgradeOptions options;
    options.serverPort = kServerPort;
    options.rebootDelayMs = 200;
    camera.SetUpgradeOptions(options);
    m_sim->Start();
    TempDir dir;
    const std::string image = dir.Path() + "/firmware.img";
    std::string error;
    ASSERT_TRUE(SimFirmwareImage::WriteFile(image, "20260301", 4, 64 * 1024, error)) << error;

    // No image, no camera touched.
    EXPECT_EQ(Run({"upgrade", dir.Path() + "/missing.img", "--yes"}).code, orvane::cli::kExitUsage);

    const CliResult result = Run({"--uri", "KR52Lite:SN0240", "--json", "upgrade", image, "--yes"});
    ASSERT_EQ(result.code, orvane::cli::kExitOk) << result.err << result.out;
    std::vector<json> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(json::parse(line));
    }
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

} // namespace
} // namespace orvtest
