// SPDX-License-Identifier: Apache-2.0
// `orvane-cli list` against simulated cameras: the listing, and --watch following a camera that leaves
// and comes back.
#include <nlohmann/json.hpp>

#include <future>

#include "CliFixture.h"
#include "ExitCodes.h"
#include "HotPlugRecorder.h"
#include "TestSupport.h"

namespace orvtest {
namespace {

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(ApiLoopbackEnvironment());

using nlohmann::json;
using orvane::cli::Interrupt;

class CliListTest : public CliFixture
{
};

TEST_F(CliListTest, ListsEveryCameraOrSaysThereIsNone)
{
    CliResult none = Run({"list", "--wait", "300"});
    EXPECT_EQ(none.code, orvane::cli::kExitNoCamera);
    EXPECT_NE(none.err.find("no camera"), std::string::npos);

    AddCamera("SN0230", 230);
    AddCamera("SN0231", 231);
    m_sim->Start();
    CliResult listed = Run({"list", "--json", "--wait", "2000"});
    ASSERT_EQ(listed.code, orvane::cli::kExitOk) << listed.err;
    const std::vector<json> cameras = JsonLines(listed.out);
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0]["uri"], "KR52Lite:SN0230");
    EXPECT_EQ(cameras[0]["ip"], "127.0.0.230");
    EXPECT_EQ(cameras[1]["status"], "available");
}

TEST_F(CliListTest, WatchSeesACameraLeaveAndReturnUntilInterrupted)
{
    SimCamera &camera = AddCamera("SN0232", 232);
    m_sim->Start();
    SharedText live;
    auto running = std::async(std::launch::async, [&live] {
        return Run({"list", "--watch", "--json"}, &live);
    });
    const auto events = [&live] {
        std::vector<std::string> seen;
        for (const json &line : JsonLines(live.Snapshot())) {
            seen.push_back(line["event"]);
        }
        return seen;
    };
    using Events = std::vector<std::string>;
    ASSERT_TRUE(WaitUntil([&] { return events() == Events{"added"}; }, kWaitMs));
    camera.SetAnnouncing(false);
    ASSERT_TRUE(WaitUntil([&] { return events() == Events{"added", "removed"}; }, 3 * kWaitMs));
    camera.SetAnnouncing(true);
    ASSERT_TRUE(WaitUntil([&] { return events() == Events{"added", "removed", "added"}; }, kWaitMs));
    Interrupt::Request();
    EXPECT_EQ(running.get().code, orvane::cli::kExitInterrupted);
    EXPECT_EQ(events().size(), 3u);
}

} // namespace
} // namespace orvtest
