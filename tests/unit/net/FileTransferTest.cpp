// SPDX-License-Identifier: Apache-2.0
// Tests of the file operations of SocketProtocol against a scripted camera end and the real HTTP server:
// the announcements byte for byte, refusals that send nothing, and the transfer worker's pacing and its
// one final report however the transfer ends.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../transfer/HttpClient.h"
#include "ScriptedCamera.h"
#include "net/SocketProtocol.h"
#include "transfer/WebServer.h"

using namespace orvtest;
using Clock = std::chrono::steady_clock;

namespace {

/// The reports a transfer's callback received: (type, index, status).
struct Reports
{
    std::mutex mutex;
    std::vector<std::vector<int>> seen; // guarded by mutex
    static void Record(uint8_t type, uint8_t index, int8_t status, void *self)
    {
        auto *reports = static_cast<Reports *>(self);
        std::lock_guard<std::mutex> lock(reports->mutex);
        reports->seen.push_back({type, index, status});
    }
    std::vector<std::vector<int>> Seen()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }
    size_t Finals()
    {
        const auto all = Seen();
        return static_cast<size_t>(
            std::count_if(all.begin(), all.end(), [](const auto &r) { return r[2] == 0 || r[2] == 1; }));
    }
};

/// `head`, the host address field, then `tail`.
std::vector<uint8_t> Host(std::vector<uint8_t> head, const std::vector<uint8_t> &tail = {})
{
    const char host[16] = "127.0.0.1";
    head.insert(head.end(), host, host + 16);
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

/// A name and its NUL.
std::vector<uint8_t> Text(const std::string &text)
{
    return std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1);
}

class FileTransfer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_dir / "fw");
        std::ofstream(m_dir / "fw" / "image.bin") << "image";
        std::filesystem::current_path(m_dir);
        WebServer::getInstance()->setPort(0);
        SocketCtl::SetReceiveTimeoutMs(2000);
        m_info = LoopbackSession(m_camera.CmdPort(), m_camera.DataPort());
        m_protocol = std::make_unique<SocketProtocol>(m_info);
        ASSERT_EQ(m_protocol->OpenDevice(), 0);
        m_camera.Serve();
        Status(1);
    }
    void TearDown() override
    {
        m_protocol.reset();
        m_camera.Stop();
        WebServer::getInstance()->Shutdown();
        WebServer::getInstance()->setPort(WebServer::kDefaultPort);
        SocketCtl::SetReceiveTimeoutMs(SocketCtl::kDefaultReceiveTimeoutMs);
        SocketProtocol::SetTransferNoProgressLimitMs(60000);
        std::filesystem::current_path(m_cwd);
        std::filesystem::remove_all(m_dir);
    }

    /// The camera answers every progress poll [type, index] with `status`, noting when it was asked.
    void Status(uint8_t status)
    {
        m_camera.SetAnswer([this, status](const Request &r) {
            std::lock_guard<std::mutex> lock(m_pollMutex);
            if (r.Command() != 0x9D || r.payload.size() != 2) {
                return std::vector<uint8_t>{1}; // a heartbeat
            }
            m_polls.push_back(Clock::now());
            return std::vector<uint8_t>{r.payload[0], r.payload[1], status, 0};
        });
    }

    int Transfer(uint32_t type, const std::string &name, uint8_t direction, uint8_t index = 0)
    {
        FileTransferParams params{};
        params.type = type;
        std::strncpy(params.name, name.c_str(), sizeof params.name - 1);
        params.value = 0x01020304;
        params.flag = 0x7F;
        params.direction = direction;
        params.index = index;
        params.callback = &Reports::Record;
        params.userData = &m_reports;
        return m_protocol->TransferFile(params);
    }

    /// Once the protocol is idle, the worker has made all its reports.
    void AwaitIdle()
    {
        ASSERT_TRUE(WaitUntil([&] { return m_protocol->TryBeginTransfer(); }));
        m_protocol->EndTransfer();
    }

    /// The requests the camera received after the first `before`, once a heartbeat has followed them.
    std::vector<Request> SentSince(size_t before)
    {
        EXPECT_EQ(m_protocol->GetHeartBeat(), 0);
        std::vector<Request> all = m_camera.Requests();
        all.pop_back(); // the heartbeat
        return std::vector<Request>(all.begin() + static_cast<long>(before), all.end());
    }

    std::filesystem::path m_cwd = std::filesystem::current_path();
    std::filesystem::path m_dir =
        std::filesystem::temp_directory_path() / ("orvane-net-transfer-" + std::to_string(::getpid()));
    LoggedHome m_home;
    ScriptedCamera m_camera;
    SessionInfo m_info;
    std::unique_ptr<SocketProtocol> m_protocol;
    Reports m_reports;
    std::mutex m_pollMutex;
    std::vector<Clock::time_point> m_polls; // guarded by m_pollMutex
};

TEST_F(FileTransfer, EachOperationAnnouncesItsFileByteForByte)
{
    struct Row
    {
        const char *what;
        std::function<int()> operation;
        std::vector<uint8_t> payload;
        bool transfer = true; // ends by itself (the camera answers done)
    };
    const std::string longName(37, 'n'); // 27 + 37 bytes: exactly the payload
    const Row rows[] = {
        {"firmware image, backslashes", [&] { return m_protocol->SetToUpgradeMode_P("fw\\image.bin"); },
         Host({1, 1}, Text("image.bin")), false},
        {"JSON file", [&] { return m_protocol->SetJsonPath_P("fw/cfg.json"); },
         Host({3, 4}, Text("cfg.json")), false},
        {"JSON mode", [&] { return m_protocol->SetToJsonMode_P(); },
         Host({3, 1}, std::vector<uint8_t>(20, 0)), false},
        {"to camera, type 5 with index", [&] { return Transfer(5, "fw/p.bin", 0, 2); },
         Host({5, 1}, {2, 4, 3, 2, 1, 0x7F, 5, 0, 0, 0, 'p', '.', 'b', 'i', 'n'})},
        {"to camera, type 4", [&] { return Transfer(4, "fw/" + longName, 0); },
         Host({4, 1},
              [&] {
                  std::vector<uint8_t> tail{4, 3, 2, 1, 0x7F, 37, 0, 0, 0};
                  tail.insert(tail.end(), longName.begin(), longName.end());
                  return tail;
              }())},
        {"to host, type 6 with index", [&] { return Transfer(6, "SN42", 1, 3); }, Host({6, 2}, {3})},
        {"to host, unknown type", [&] { return Transfer(9, "SN42", 2); }, Host({9, 2})},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const size_t before = m_camera.Requests().size();
        const size_t finals = m_reports.Finals();
        ASSERT_EQ(row.operation(), 0);
        EXPECT_TRUE(WebServer::getInstance()->isRunning());
        if (!row.transfer && row.payload[0] == 1) { // the image is served under its name
            EXPECT_EQ(HttpRequest(WebServer::getInstance()->ListeningPort(), GetRequest("/image.bin")),
                      std::make_pair(200, std::string("image")));
        }
        // Transfers end by themselves (the camera answers done); the upgrade workers' jobs are released here.
        ASSERT_TRUE(WaitUntil([&] { return m_reports.Finals() == finals + (row.transfer ? 1 : 0); }));
        WebServer::getInstance()->ReleasePurpose(WebServer::Purpose::kFirmware);
        WebServer::getInstance()->ReleasePurpose(WebServer::Purpose::kJson);
        const std::vector<Request> sent = SentSince(before);
        ASSERT_GE(sent.size(), 1u);
        EXPECT_EQ(sent[0].Command(), 0x1D);
        EXPECT_EQ(sent[0].payload, row.payload);
        EXPECT_FALSE(WebServer::getInstance()->isRunning());
    }
    EXPECT_TRUE(m_home.Logged("ip:127.0.0.1 pImgPath:fw\\image.bin"));
    EXPECT_TRUE(m_home.Logged("type:9 is invalid."));
}

TEST_F(FileTransfer, RefusalsAnnounceNothingAndLeaveTheServerStopped)
{
    struct Row
    {
        const char *what;
        std::function<int()> operation;
        int status;
    };
    const std::string name46(46, 'n');
    const Row rows[] = {
        {"image without a directory", [&] { return m_protocol->SetToUpgradeMode_P("image.bin"); }, -1},
        {"image path ending in a separator", [&] { return m_protocol->SetToUpgradeMode_P("fw/"); }, -1},
        {"image name the payload would cut",
         [&] { return m_protocol->SetToUpgradeMode_P(("fw/" + name46).c_str()); }, -1},
        {"JSON file without a directory", [&] { return m_protocol->SetJsonPath_P("cfg.json"); }, -1},
        {"transfer without a directory", [&] { return Transfer(4, "p.bin", 0); }, -2},
        {"transfer path ending in a separator", [&] { return Transfer(4, "fw\\", 0); }, -2},
        {"transfer name the payload would cut", [&] { return Transfer(5, "fw/" + std::string(37, 'n'), 0); },
         -2},
        {"serial number that is a path", [&] { return Transfer(4, "../SN42", 1); }, -2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const size_t before = m_camera.Requests().size();
        EXPECT_EQ(row.operation(), row.status);
        EXPECT_TRUE(SentSince(before).empty());
        EXPECT_FALSE(WebServer::getInstance()->isRunning());
    }
    EXPECT_TRUE(m_home.Logged("pImgPath:image.bin is error."));
    EXPECT_TRUE(m_home.Logged("fw\\ is invalid."));
    EXPECT_EQ(m_reports.Finals(), 0u);
}

TEST_F(FileTransfer, PollsArePacedAndTheCamerasDoneIsTheOneFinalReport)
{
    Status(2);
    ASSERT_EQ(Transfer(4, "SN42", 1), 0);
    EXPECT_EQ(Transfer(4, "SN43", 1), -255); // one transfer per camera at a time
    // The camera uploads under its serial number; the file is saved without it.
    EXPECT_EQ(
        HttpRequest(WebServer::getInstance()->ListeningPort(), UploadChunk("intrinsic_SN42.bin", 0, "abc")),
        std::make_pair(200, std::string("3")));
    std::ifstream saved("Config/intrinsic.bin");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), "abc");
    ASSERT_TRUE(WaitUntil([&] { return m_reports.Seen().size() >= 3; }));
    Status(1);
    AwaitIdle();
    const auto seen = m_reports.Seen();
    EXPECT_EQ(m_reports.Finals(), 1u);
    EXPECT_EQ(seen.back(), (std::vector<int>{4, 0, 1}));
    for (size_t i = 0; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(seen[i], (std::vector<int>{4, 0, 2}));
    }
    std::lock_guard<std::mutex> lock(m_pollMutex);
    for (size_t i = 1; i < m_polls.size(); ++i) {
        EXPECT_GE(m_polls[i] - m_polls[i - 1], std::chrono::milliseconds(90)) << "poll " << i;
    }
    EXPECT_TRUE(WaitUntil([] { return !WebServer::getInstance()->isRunning(); }));
    EXPECT_TRUE(m_home.Logged("transfer OK"));
}

TEST_F(FileTransfer, EveryOtherEndIsOneFailedReport)
{
    SocketProtocol::SetTransferNoProgressLimitMs(300);
    SocketCtl::SetReceiveTimeoutMs(300);
    struct Row
    {
        const char *what;
        uint8_t status;                   // what the camera answers
        std::function<void()> afterStart; // what happens while the transfer runs
    };
    const Row rows[] = {
        {"camera reports failure", 0, [] {}},
        {"no progress", 2, [] {}},
        {"poll fails", 2,
         [&] {
             // Answers later than the reply bound: the poll fails.
             m_camera.SetAnswer([](const Request &r) {
                 std::this_thread::sleep_for(std::chrono::milliseconds(600));
                 return std::vector<uint8_t>{r.payload.at(0), 2, 2, 0};
             });
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        {
            std::lock_guard<std::mutex> lock(m_reports.mutex);
            m_reports.seen.clear();
        }
        Status(row.status);
        ASSERT_EQ(Transfer(5, "SN42", 1, 2), 0);
        row.afterStart();
        AwaitIdle();
        EXPECT_EQ(m_reports.Finals(), 1u);
        EXPECT_EQ(m_reports.Seen().back(), (std::vector<int>{5, 2, 0}));
        EXPECT_TRUE(WaitUntil([] { return !WebServer::getInstance()->isRunning(); }));
    }
    EXPECT_TRUE(m_home.Logged("transfer NG"));
    for (const char *why : {"no progress for 300 ms", ":Run]:ret:-104 is failed."}) {
        EXPECT_TRUE(m_home.Logged(why)) << why;
    }
}

} // namespace
