// SPDX-License-Identifier: Apache-2.0
// Tests of the simulated camera's side of upgrades over loopback, against the library's own HTTP server:
// the camera's HTTP client and where and whether it comes back from its reboot into upgrade mode. Its
// state sequences, uploads and their faults are exercised end to end by the upgrade integration tests.
#include "SimCamera.h"
#include "SimHttpClient.h"

#include "../transfer/HttpClient.h"
#include "PeerSockets.h"
#include "TestSupport.h"
#include "transfer/WebServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr const char *kCamera = "127.0.0.170";
constexpr const char *kHost = "127.0.0.1";
constexpr uint16_t kNoDiscovery = 9; // announcements of these cameras go nowhere

/// The host's end of a camera's command connection: request frames out, reply frames in.
struct HostLink
{
    /// Connects to the camera's first command port, trying while the camera reboots.
    bool Connect(unsigned timeoutMs = orvtest::kWaitMs)
    {
        return orvtest::WaitUntil(
            [this] {
                peer = orvtest::Peer(orvtest::ConnectTo(kCamera, SimCamera::CommandPort(0)));
                return peer.Valid();
            },
            timeoutMs);
    }
    bool Set(uint8_t command, const std::vector<uint8_t> &payload)
    {
        std::vector<uint8_t> frame = orvtest::ReplyFrame(payload);
        frame[9] = command; // a request is laid out as a reply with its command byte here
        return peer.Send(frame);
    }
    /// The reply data of a query (bit 7 set), empty when none came.
    std::vector<uint8_t> Get(uint8_t command, const std::vector<uint8_t> &payload)
    {
        return Set(command, payload) ? orvtest::ReadRequest(peer).payload : std::vector<uint8_t>{};
    }
    orvtest::Peer peer;
};

/// A camera on 127.0.0.170 that serves, with quick reboots and steps, and a private server port.
class SimUpgradeLoopback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WebServer::getInstance()->setPort(0);
        SimUpgradeOptions options;
        options.rebootDelayMs = 100;
        options.stepDelayMs = 20;
        options.percentStep = 40;
        options.httpTimeoutMs = 2000;
        m_camera.SetUpgradeOptions(options);
        ASSERT_TRUE(m_camera.StartServing());
    }
    void TearDown() override { WebServer::getInstance()->Shutdown(); }

    /// Starts a server job; the camera is told its port.
    int Serve(WebServer::Job job)
    {
        job.host = kHost;
        const int id = WebServer::getInstance()->AcquireJob(job);
        m_camera.SetServerPort(WebServer::getInstance()->ListeningPort());
        return id;
    }
    std::string WriteFile(const std::string &name, const std::vector<uint8_t> &bytes)
    {
        const std::string path = m_dir.Path() + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
        return path;
    }

    orvtest::LoggedHome m_home;
    orvtest::TempDir m_dir;
    SimCamera m_camera{SimCameraConfig{"SN170", "", kCamera, 1, 0, 0}, kHost, kNoDiscovery};
};

TEST_F(SimUpgradeLoopback, HttpClientFetchesPostsAndGivesUpOnEveryBrokenExchange)
{
    const std::vector<uint8_t> data = SimFirmwareImage::Build("20260305", 1, 300000);
    WebServer::Job job;
    job.servedPath = WriteFile("data.bin", data);
    job.upload.saveDir = m_dir.Path() + "/";
    job.upload.expectedName = "up_SN1.bin";
    job.upload.nameTag = "SN1";
    ASSERT_GT(Serve(job), 0);
    const uint16_t port = WebServer::getInstance()->ListeningPort();
    SimHttpClient::Options options;
    options.localAddress = kCamera;
    options.timeoutMs = 300;
    SimHttpResponse answer;
    ASSERT_TRUE(SimHttpClient(options).Get(kHost, port, "/data.bin", answer));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, data);
    ASSERT_TRUE(SimHttpClient(options).Get(kHost, port, "/other.bin", answer));
    EXPECT_EQ(answer.status, 404);
    ASSERT_TRUE(SimHttpClient(options).Post(
        kHost, port, "/upload?name=up_SN1.bin&offset=0&fileDatalength=3&checksum=6", {1, 2, 3}, answer));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.BodyText(), "3");
    EXPECT_EQ(orvtest::ReadFile(m_dir.Path() + "/up.bin"), std::string("\1\2\3"));

    SimHttpClient::Options cut = options;
    cut.cutHalfway = true;
    SimHttpClient cutClient(cut);
    EXPECT_FALSE(cutClient.Get(kHost, port, "/data.bin", answer));
    EXPECT_NE(cutClient.LastError().find("hung up"), std::string::npos) << cutClient.LastError();

    // Nothing listening, and a listener that never answers: both end within the bound.
    SimHttpClient refused(options);
    EXPECT_FALSE(refused.Get(kHost, 1, "/data.bin", answer));
    EXPECT_FALSE(refused.LastError().empty());
    const orvtest::Listener silent;
    SimHttpClient waiting(options);
    EXPECT_FALSE(waiting.Get(kHost, silent.Port(), "/x", answer));
    EXPECT_NE(waiting.LastError().find("no progress"), std::string::npos) << waiting.LastError();
}

TEST_F(SimUpgradeLoopback, RebootFaultsDecideWhereAndWhetherTheCameraComesBack)
{
    const std::vector<uint8_t> image = SimFirmwareImage::Build("20260305", 5, 2048);
    WebServer::Job job;
    job.purpose = WebServer::Purpose::kFirmware;
    job.servedPath = WriteFile("fw.bin", image);
    ASSERT_GT(Serve(job), 0);
    std::vector<uint8_t> announcement(2 + 16 + 7, 0); // firmware, to camera; the host's address; the name
    announcement[0] = announcement[1] = 1;
    std::memcpy(&announcement[2], kHost, std::strlen(kHost));
    std::memcpy(&announcement[18], "fw.bin", 7);
    struct Row
    {
        const char *what;
        SimComeBack comeBack;
        bool refuse;
        bool answers; // a query on the command connection is answered
    };
    const Row rows[] = {
        {"elsewhere", SimComeBack::Elsewhere, false, false},
        {"refusing", SimComeBack::Normally, true, false},
        {"well", SimComeBack::Normally, false, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SimCamera camera{SimCameraConfig{"SN172", "", kCamera, 1, 0, 0}, kHost, kNoDiscovery};
        m_camera.StopServing(); // its ports on the same address go to the camera of this row
        camera.SetUpgradeOptions(m_camera.UpgradeOptions());
        SimUpgradeFaults faults;
        faults.comeBack = row.comeBack;
        faults.comeBackAddress = "127.0.0.171";
        faults.refuseInUpgradeMode = row.refuse;
        camera.SetUpgradeFaults(faults);
        ASSERT_TRUE(camera.StartServing());
        HostLink link;
        ASSERT_TRUE(link.Connect());
        ASSERT_TRUE(link.Set(0x1D, announcement));
        ASSERT_TRUE(camera.WaitForBoots(1, orvtest::kWaitMs));
        EXPECT_TRUE(camera.WaitForMode(SimCameraMode::Upgrade, 0)) << "serving again, announcing state 3";
        EXPECT_EQ(camera.Config().address, row.comeBack == SimComeBack::Elsewhere ? "127.0.0.171" : kCamera);
        // The camera is back (or never will be): a short bound for the connection.
        EXPECT_EQ(link.Connect(300) && link.Get(0x9D, {1}).size() == 10, row.answers);
    }
}

} // namespace
