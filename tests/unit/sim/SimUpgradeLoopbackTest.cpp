// SPDX-License-Identifier: Apache-2.0
// Tests of the simulated camera's side of upgrades and transfers over loopback, against the library's
// own HTTP server: the camera's HTTP client, one firmware upgrade driven through command frames, and
// calibration uploads in chunks with each way a camera spoils them.
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

std::vector<uint8_t> U32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
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

TEST_F(SimUpgradeLoopback, FirmwareUpgradeThroughCommandFrames)
{
    const std::vector<uint8_t> image = SimFirmwareImage::Build("20260305", 5, 100000);
    WebServer::Job job;
    job.purpose = WebServer::Purpose::kFirmware;
    job.servedPath = WriteFile("fw.bin", image);
    ASSERT_GT(Serve(job), 0);
    HostLink link;
    ASSERT_TRUE(link.Connect());
    EXPECT_EQ(link.Get(0x9D, {2, 1}).at(2), 1); // upgrading supported
    std::vector<uint8_t> announcement{1, 1};
    const std::vector<uint8_t> host = HostField();
    announcement.insert(announcement.end(), host.begin(), host.end());
    announcement.insert(announcement.end(), {'f', 'w', '.', 'b', 'i', 'n', 0});
    ASSERT_TRUE(link.Set(0x1D, announcement));

    ASSERT_TRUE(m_camera.WaitForFetched(image.size(), orvtest::kWaitMs));
    EXPECT_EQ(m_camera.FetchedFile(), image);
    ASSERT_TRUE(m_camera.WaitForMode(SimCameraMode::Upgrade, orvtest::kWaitMs));
    EXPECT_EQ(m_camera.Config().state, 3);
    ASSERT_TRUE(link.Connect());
    EXPECT_EQ(link.Get(0x9D, {1}), (std::vector<uint8_t>{1, 0, 1, 0, 0, 0, 0, 0, 0, 0}));

    std::vector<uint8_t> checksum{1, 2};
    for (uint32_t v : {SimFirmwareImage::WholeChecksum(image) + 1, uint32_t(image.size())}) {
        const std::vector<uint8_t> bytes = U32(v);
        checksum.insert(checksum.end(), bytes.begin(), bytes.end());
    }
    ASSERT_TRUE(link.Set(0x1D, checksum));
    EXPECT_EQ(link.Get(0x9D, {1}).at(2), 0); // refused: one off
    checksum[2] -= 1;
    ASSERT_TRUE(link.Set(0x1D, checksum));
    EXPECT_EQ(link.Get(0x9D, {1}).at(2), 1);

    ASSERT_TRUE(link.Set(0x1D, {1, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
    std::vector<std::pair<uint8_t, uint8_t>> seen;
    ASSERT_TRUE(orvtest::WaitUntil([&] {
        const std::vector<uint8_t> d = link.Get(0x9D, {1});
        if (d.size() == 10 && (seen.empty() || seen.back() != std::make_pair(d[1], d[2]))) {
            seen.emplace_back(d[1], d[2]);
        }
        return d.size() == 10 && d[1] == 6;
    }));
    // Whatever the polls catch of the sequence comes in its order and ends finished.
    const std::vector<std::pair<uint8_t, uint8_t>> sequence{{2, 1}, {3, 40}, {3, 80}, {3, 100},
                                                            {4, 1}, {5, 1},  {6, 1}};
    auto next = sequence.begin();
    for (const auto &state : seen) {
        next = std::find(next, sequence.end(), state);
        ASSERT_NE(next, sequence.end()) << int(state.first) << "," << int(state.second);
    }
    EXPECT_EQ(seen.back(), sequence.back());

    ASSERT_TRUE(link.Set(0x12, {8}));
    ASSERT_TRUE(m_camera.WaitForBoots(2, orvtest::kWaitMs));
    ASSERT_TRUE(m_camera.WaitForMode(SimCameraMode::Normal, orvtest::kWaitMs));
    EXPECT_EQ(m_camera.Config().state, 0);
    ASSERT_TRUE(link.Connect());
    const std::vector<uint8_t> version = link.Get(0x93, {3});
    ASSERT_FALSE(version.empty());
    EXPECT_STREQ(reinterpret_cast<const char *>(version.data() + 1), "KR52_V2.3.7_20260305_V5");
}

TEST_F(SimUpgradeLoopback, CalibrationFilesMoveBothWaysAndSpoiledChunksAreRefused)
{
    const std::string saved = m_dir.Path() + "/intrinsic.bin";
    WebServer::Job job;
    job.upload.saveDir = m_dir.Path() + "/";
    job.upload.expectedName = "intrinsic_SN170.bin";
    job.upload.nameTag = "SN170";
    job.upload.maxFileBytes = 614400;
    const std::vector<uint8_t> sent = SimUpgradeOptions::DefaultCalibrationFile(6, 2);
    job.servedPath = WriteFile("range.bin", sent);
    ASSERT_GT(Serve(job), 0);
    HostLink link;
    ASSERT_TRUE(link.Connect());
    std::vector<uint8_t> toHost{4, 2};
    const std::vector<uint8_t> host = HostField();
    toHost.insert(toHost.end(), host.begin(), host.end());

    struct Row
    {
        SimChunkFault fault;
        size_t chunks;   // answers the camera got
        int lastStatus;  // of the last of them (0: none came)
        uint8_t outcome; // what the progress poll says at the end
    };
    const Row rows[] = {
        {SimChunkFault::None, 10, 200, 1},         {SimChunkFault::Repeated, 11, 200, 1},
        {SimChunkFault::WrongChecksum, 2, 400, 0}, {SimChunkFault::WrongLength, 2, 400, 0},
        {SimChunkFault::Truncated, 2, 0, 0},       {SimChunkFault::OutOfOrder, 2, 400, 0},
        {SimChunkFault::Gap, 2, 400, 0},           {SimChunkFault::Oversized, 2, 400, 0},
        {SimChunkFault::WrongName, 2, 400, 0},
    };
    uint64_t transfers = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(static_cast<int>(row.fault));
        SimUpgradeFaults faults;
        faults.chunk = row.fault;
        faults.faultyChunk = 1;
        m_camera.SetUpgradeFaults(faults);
        ASSERT_TRUE(link.Set(0x1D, toHost));
        ASSERT_TRUE(m_camera.WaitForTransfers(++transfers, orvtest::kWaitMs));
        const std::vector<SimUploadResponse> answers = m_camera.UploadResponses();
        ASSERT_EQ(answers.size(), row.chunks);
        EXPECT_EQ(answers.back().status, row.lastStatus) << answers.back().body << answers.back().error;
        EXPECT_EQ(link.Get(0x9D, {4, 0}), (std::vector<uint8_t>{4, 0, row.outcome, 0}));
        if (row.fault == SimChunkFault::None) {
            const std::vector<uint8_t> file = SimUpgradeOptions::DefaultCalibrationFile(4, 0);
            EXPECT_EQ(orvtest::ReadFile(saved), std::string(file.begin(), file.end()));
        }
    }
    EXPECT_EQ(m_camera.UploadResponses().back().body, "name required");

    // Host to camera: a range-offset table for index 2, announced with its size and byte sum.
    m_camera.SetUpgradeFaults(SimUpgradeFaults{});
    uint8_t sum = 0;
    for (uint8_t b : sent) {
        sum = static_cast<uint8_t>(sum + b);
    }
    std::vector<uint8_t> toCamera{6, 1};
    toCamera.insert(toCamera.end(), host.begin(), host.end());
    toCamera.push_back(2);
    for (const std::vector<uint8_t> &field :
         {U32(uint32_t(sent.size())), std::vector<uint8_t>{sum}, U32(9)}) {
        toCamera.insert(toCamera.end(), field.begin(), field.end());
    }
    toCamera.insert(toCamera.end(), {'r', 'a', 'n', 'g', 'e', '.', 'b', 'i', 'n'});
    ASSERT_TRUE(link.Set(0x1D, toCamera));
    ASSERT_TRUE(m_camera.WaitForTransfers(++transfers, orvtest::kWaitMs));
    ASSERT_EQ(m_camera.ReceivedFiles().size(), 1u);
    EXPECT_EQ(m_camera.ReceivedFiles()[0].bytes, sent);
    EXPECT_EQ(m_camera.ReceivedFiles()[0].index, 2);
    EXPECT_EQ(link.Get(0x9D, {6, 2}).at(2), 1);
    SimUpgradeFaults stuck;
    stuck.transferStuckAtTwo = true;
    m_camera.SetUpgradeFaults(stuck);
    EXPECT_EQ(link.Get(0x9D, {6, 2}).at(2), 2);
}

} // namespace

namespace {

TEST_F(SimUpgradeLoopback, JsonConfigurationWithoutRebootUntilTheEnd)
{
    const std::vector<uint8_t> config{'{', '"', 'a', '"', ':', '1', '}'};
    WebServer::Job job;
    job.purpose = WebServer::Purpose::kJson;
    job.servedPath = WriteFile("cfg.json", config);
    ASSERT_GT(Serve(job), 0);
    HostLink link;
    ASSERT_TRUE(link.Connect());
    const std::vector<uint8_t> host = HostField();
    std::vector<uint8_t> mode{3, 1};
    mode.insert(mode.end(), host.begin(), host.end());
    mode.resize(38, 0);
    ASSERT_TRUE(link.Set(0x1D, mode));
    EXPECT_EQ(link.Get(0x9D, {3, 2}), (std::vector<uint8_t>{3, 2, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(m_camera.Mode(), SimCameraMode::Json);
    EXPECT_EQ(m_camera.Boots(), 0u);

    std::vector<uint8_t> file{3, 4};
    file.insert(file.end(), host.begin(), host.end());
    file.insert(file.end(), {'c', 'f', 'g', '.', 'j', 's', 'o', 'n', 0});
    ASSERT_TRUE(link.Set(0x1D, file));
    ASSERT_TRUE(m_camera.WaitForFetched(config.size(), orvtest::kWaitMs));
    EXPECT_EQ(m_camera.FetchedFile(), config);
    ASSERT_TRUE(orvtest::WaitUntil([&] { return link.Get(0x9D, {3, 2}).at(3) == 1; }));
    ASSERT_TRUE(link.Set(0x1D, {3, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(link.Get(0x9D, {3, 2}).at(2), 2);
    SimUpgradeFaults faults;
    faults.outOfRangeState = 5;
    m_camera.SetUpgradeFaults(faults);
    ASSERT_TRUE(link.Set(0x1D, {3, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(orvtest::WaitUntil([&] { return link.Get(0x9D, {3, 2}).at(2) == 5; }));

    ASSERT_TRUE(link.Set(0x12, {8}));
    ASSERT_TRUE(m_camera.WaitForBoots(1, orvtest::kWaitMs));
    EXPECT_TRUE(m_camera.WaitForMode(SimCameraMode::Normal, orvtest::kWaitMs));
    EXPECT_EQ(m_camera.Settings().firmwareVersion, "KR52_V2.3.7_20260101_V3"); // nothing installed
}

} // namespace

namespace {

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
