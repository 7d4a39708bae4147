// SPDX-License-Identifier: Apache-2.0
// Tests of the simulated camera's side of upgrades over loopback, against the library's own HTTP server:
// the camera's HTTP client and where and whether it comes back from its reboot into upgrade mode. Its
// state sequences, uploads and their faults are exercised end to end by the upgrade integration tests.
#include "SimCamera.h"
#include "SimHttpClient.h"

#include "TestSupport.h"
#include "transfer/WebServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr const char *kCamera = "127.0.0.170";
constexpr const char *kHost = "127.0.0.1";
constexpr uint16_t kNoDiscovery = 9; // announcements of these cameras go nowhere

/// The host's end of a camera's command connection: request frames out, reply frames in.
class HostLink
{
public:
    ~HostLink() { Close(); }
    void Close()
    {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    /// Connects to the camera's first command port, trying while the camera reboots.
    bool Connect(unsigned timeoutMs = orvtest::kWaitMs)
    {
        return orvtest::WaitUntil(
            [this] {
                Close();
                m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_port = htons(SimCamera::CommandPort(0));
                inet_pton(AF_INET, kCamera, &to.sin_addr);
                const timeval bound{5, 0};
                setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
                const int on = 1; // a query right after a setting goes out at once
                setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                return connect(m_fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0;
            },
            timeoutMs);
    }
    bool Set(uint8_t command, const std::vector<uint8_t> &payload)
    {
        std::vector<uint8_t> frame{0xAA, 0, 0,    0,       static_cast<uint8_t>(payload.size() + 3), 0,
                                   0,    0, 0xAA, command, static_cast<uint8_t>(payload.size())};
        frame.insert(frame.end(), payload.begin(), payload.end());
        return send(m_fd, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
    }
    /// The reply data of a query (bit 7 set), empty when none came.
    std::vector<uint8_t> Get(uint8_t command, const std::vector<uint8_t> &payload)
    {
        uint8_t head[8];
        if (!Set(command, payload) || !Read(head, sizeof head)) {
            return {};
        }
        std::vector<uint8_t> body(head[4] | head[5] << 8);
        if (body.size() < 3 || !Read(body.data(), body.size())) {
            return {};
        }
        return std::vector<uint8_t>(body.begin() + 3, body.end());
    }

private:
    bool Read(uint8_t *to, size_t size)
    {
        for (size_t got = 0; got < size;) {
            const ssize_t n = recv(m_fd, to + got, size - got, 0);
            if (n <= 0) {
                return false;
            }
            got += static_cast<size_t>(n);
        }
        return true;
    }
    int m_fd = -1;
};

std::vector<uint8_t> HostField()
{
    std::vector<uint8_t> field(16, 0);
    std::copy(kHost, kHost + std::strlen(kHost), field.begin());
    return field;
}

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
    const int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    inet_pton(AF_INET, kHost, &at.sin_addr);
    socklen_t size = sizeof at;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    ASSERT_EQ(listen(silent, 1), 0);
    getsockname(silent, reinterpret_cast<sockaddr *>(&at), &size);
    SimHttpClient waiting(options);
    EXPECT_FALSE(waiting.Get(kHost, ntohs(at.sin_port), "/x", answer));
    EXPECT_NE(waiting.LastError().find("no progress"), std::string::npos) << waiting.LastError();
    close(silent);
}

TEST_F(SimUpgradeLoopback, RebootFaultsDecideWhereAndWhetherTheCameraComesBack)
{
    const std::vector<uint8_t> image = SimFirmwareImage::Build("20260305", 5, 2048);
    WebServer::Job job;
    job.purpose = WebServer::Purpose::kFirmware;
    job.servedPath = WriteFile("fw.bin", image);
    ASSERT_GT(Serve(job), 0);
    std::vector<uint8_t> announcement{1, 1};
    const std::vector<uint8_t> host = HostField();
    announcement.insert(announcement.end(), host.begin(), host.end());
    announcement.insert(announcement.end(), {'f', 'w', '.', 'b', 'i', 'n', 0});
    struct Row
    {
        const char *what;
        SimComeBack comeBack;
        bool refuse;
        bool drop;
        bool backInUpgradeMode; // serving again, announcing camerastate 3
        bool answers;           // a query on the command connection is answered
    };
    const Row rows[] = {
        {"never", SimComeBack::Never, false, false, false, false},
        {"elsewhere", SimComeBack::Elsewhere, false, false, true, false},
        {"refusing", SimComeBack::Normally, true, false, true, false},
        {"dropping", SimComeBack::Normally, false, true, true, false},
        {"well", SimComeBack::Normally, false, false, true, true},
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
        faults.dropInUpgradeMode = row.drop;
        camera.SetUpgradeFaults(faults);
        ASSERT_TRUE(camera.StartServing());
        HostLink link;
        ASSERT_TRUE(link.Connect());
        ASSERT_TRUE(link.Set(0x1D, announcement));
        ASSERT_TRUE(camera.WaitForBoots(1, orvtest::kWaitMs));
        EXPECT_EQ(camera.WaitForMode(SimCameraMode::Upgrade, 0), row.backInUpgradeMode);
        EXPECT_EQ(camera.Config().address, row.comeBack == SimComeBack::Elsewhere ? "127.0.0.171" : kCamera);
        // The camera is back (or never will be): a short bound for the connection.
        EXPECT_EQ(link.Connect(300) && link.Get(0x9D, {1}).size() == 10, row.answers);
    }
}

} // namespace
