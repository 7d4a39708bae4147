// SPDX-License-Identifier: Apache-2.0
// `orvane-cli view` in-process against a simulated camera (127.0.0.41 to 127.0.0.43), seen without a
// browser: CivetWeb's WebSocket client and plain HTTP requests, as a page and its browser would make them.
#include <civetweb.h>

#include <nlohmann/json.hpp>

#include <array>
#include <future>
#include <mutex>

#include "CliFixture.h"
#include "CliOutput.h"
#include "ExitCodes.h"
#include "TestSupport.h"
#include "ViewServer.h"

namespace orvtest {
namespace {

using nlohmann::json;
using orvane::cli::Interrupt;

uint64_t ReadLe(const uint8_t *bytes, size_t size)
{
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    }
    return value;
}

/// One page's WebSocket as CivetWeb's client sees it: the text messages, the frame indices per stream,
/// and every way a binary message broke the header's promises.
class PageClient
{
public:
    PageClient(int port, const std::string &origin)
    {
        char error[256] = {};
        m_conn =
            mg_connect_websocket_client("127.0.0.1", port, 0, error, sizeof error, "/ws",
                                        origin.empty() ? nullptr : origin.c_str(), &OnData, &OnClose, this);
    }
    ~PageClient()
    {
        if (m_conn != nullptr) {
            mg_close_connection(m_conn);
        }
    }
    bool Connected() const { return m_conn != nullptr; }
    void Send(const std::string &text)
    {
        mg_websocket_client_write(m_conn, MG_WEBSOCKET_OPCODE_TEXT, text.data(), text.size());
    }
    /// The first text message of this type received after the first `skip` texts (null on time-out).
    json Await(const std::string &type, size_t skip = 0, unsigned timeoutMs = kWaitMs)
    {
        json found;
        WaitUntil(
            [&] {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (size_t i = skip; i < m_texts.size(); ++i) {
                    if (m_texts[i].value("type", "") == type) {
                        found = m_texts[i];
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return found;
    }
    size_t TextCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_texts.size();
    }
    json Text(size_t i)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return i < m_texts.size() ? m_texts[i] : json();
    }
    std::vector<uint32_t> Indices(size_t stream)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_indices[stream];
    }
    std::vector<std::string> Faults()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_faults;
    }
    int CloseCode()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closeCode;
    }

private:
    static int OnData(mg_connection *, int bits, char *data, size_t size, void *self)
    {
        auto *client = static_cast<PageClient *>(self);
        const auto *bytes = reinterpret_cast<const uint8_t *>(data);
        std::lock_guard<std::mutex> lock(client->m_mutex);
        switch (bits & 0x0F) {
        case MG_WEBSOCKET_OPCODE_TEXT:
            client->m_texts.push_back(json::parse(std::string(data, size), nullptr, false));
            break;
        case MG_WEBSOCKET_OPCODE_BINARY:
            client->Frame(bytes, size);
            break;
        case MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE:
            client->m_closeCode = size >= 2 ? (bytes[0] << 8 | bytes[1]) : 0;
            break;
        default:
            break;
        }
        return 1;
    }
    static void OnClose(const mg_connection *, void *) {}

    void Frame(const uint8_t *bytes, size_t size)
    {
        if (size < 48 || ReadLe(bytes, 4) != 0x4656524F || ReadLe(bytes + 6, 2) != 48 ||
            ReadLe(bytes + 40, 4) != size - 48 || bytes[8] > 3) {
            m_faults.push_back("bad header, " + std::to_string(size) + " bytes");
            return;
        }
        const size_t stream = bytes[8];
        const uint64_t pixels = ReadLe(bytes + 16, 2) * ReadLe(bytes + 18, 2);
        const uint64_t format = ReadLe(bytes + 10, 2);
        const bool jpeg = bytes[9] == 1 && format == 3 && bytes[48] == 0xFF && bytes[49] == 0xD8;
        const bool raw = bytes[9] == 0 &&
                         ((format == 0 && size - 48 == pixels * 2) || (format == 1 && size - 48 == pixels));
        if (stream == 3 ? !jpeg : !raw || (stream != 1 && format != 0)) {
            m_faults.push_back("stream " + std::to_string(stream) + ": payload does not match the header");
        }
        m_indices[stream].push_back(static_cast<uint32_t>(ReadLe(bytes + 12, 4)));
    }

    mg_connection *m_conn = nullptr;
    std::mutex m_mutex;
    std::vector<json> m_texts;
    std::array<std::vector<uint32_t>, 4> m_indices;
    std::vector<std::string> m_faults;
    int m_closeCode = -1;
};

struct HttpAnswer
{
    int status = 0;
    std::string type;
    std::string cacheControl;
    std::string nosniff;
    std::string body;
};

HttpAnswer Request(int port, const char *method, const char *path)
{
    char error[256] = {};
    mg_connection *conn = mg_download("127.0.0.1", port, 0, error, sizeof error,
                                      "%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n", method, path, port);
    HttpAnswer answer;
    if (conn == nullptr) {
        return answer;
    }
    answer.status = mg_get_response_info(conn)->status_code;
    const auto header = [conn](const char *name) {
        const char *value = mg_get_header(conn, name);
        return std::string(value != nullptr ? value : "");
    };
    answer.type = header("Content-Type");
    answer.cacheControl = header("Cache-Control");
    answer.nosniff = header("X-Content-Type-Options");
    char buffer[4096];
    for (int n; std::strcmp(method, "HEAD") != 0 && (n = mg_read(conn, buffer, sizeof buffer)) > 0;) {
        answer.body.append(buffer, static_cast<size_t>(n));
    }
    mg_close_connection(conn);
    return answer;
}

class ViewLoopbackTest : public CliFixture
{
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        mg_init_library(MG_FEATURES_WEBSOCKET);
    }
    void TearDown() override
    {
        if (m_running.valid()) {
            Interrupt::Request();
            m_running.wait();
        }
        mg_exit_library();
        CliFixture::TearDown();
    }

    /// Starts a camera at 10 fps and the viewer on it, on a free port; the port, or 0.
    int StartViewer(unsigned hostByte, std::vector<std::string> extra = {})
    {
        m_camera = &AddCamera("SN00" + std::to_string(hostByte), hostByte);
        m_camera->Streamer().OverrideFramePeriod(std::chrono::milliseconds(100));
        m_sim->Start();
        std::vector<std::string> args = {
            "--ip", "127.0.0." + std::to_string(hostByte), "--wait", "5000", "--json", "view", "--port", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        m_running = std::async(std::launch::async, [this, args] { return Run(args, &m_live); });
        int port = 0;
        WaitUntil(
            [&] {
                for (const json &line : JsonLines(m_live.Snapshot())) {
                    if (line.value("event", "") == "listening") {
                        const std::string url = line["url"];
                        port = std::stoi(url.substr(url.rfind(':') + 1));
                    }
                }
                return port != 0 || m_running.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
            },
            15000);
        return port;
    }
    /// The Origin a page of this server sends as CivetWeb's client makes the handshake: that client names
    /// the host without its port in the Host header, and a browser's Origin matches its Host.
    static std::string Origin(int) { return "http://127.0.0.1"; }
    /// Waits until every stream has `count` more frames than it had when called.
    static bool AwaitFrames(PageClient &page, size_t count, const std::array<bool, 4> &wanted = {1, 1, 1, 1})
    {
        std::array<size_t, 4> before{};
        for (size_t s = 0; s < 4; ++s) {
            before[s] = page.Indices(s).size();
        }
        return WaitUntil(
            [&] {
                for (size_t s = 0; s < 4; ++s) {
                    if (wanted[s] && page.Indices(s).size() < before[s] + count) {
                        return false;
                    }
                }
                return true;
            },
            15000);
    }

    SharedText m_live;
    std::future<CliResult> m_running;
    SimCamera *m_camera = nullptr;
};

TEST_F(ViewLoopbackTest, ServesThePageAndEveryStreamToAPageOfItsOwnOrigin)
{
    const int port = StartViewer(41);
    ASSERT_NE(port, 0) << m_live.Snapshot();
    const HttpAnswer index = Request(port, "GET", "/");
    EXPECT_EQ(index.status, 200);
    EXPECT_EQ(index.type, "text/html; charset=utf-8");
    EXPECT_EQ(index.cacheControl, "no-store");
    EXPECT_EQ(index.nosniff, "nosniff");
    EXPECT_NE(index.body.find("<html"), std::string::npos);
    EXPECT_EQ(Request(port, "HEAD", "/index.html").status, 200);
    EXPECT_EQ(Request(port, "GET", "/missing.js").status, 404);
    EXPECT_EQ(Request(port, "POST", "/").status, 405);

    EXPECT_FALSE(PageClient(port, "http://evil.example:" + std::to_string(port)).Connected());
    PageClient page(port, Origin(port));
    ASSERT_TRUE(page.Connected());
    ASSERT_TRUE(AwaitFrames(page, 5));
    const json hello = page.Text(0);
    EXPECT_EQ(hello["type"], "hello");
    EXPECT_EQ(hello["control"], false);
    EXPECT_EQ(hello["settings"], json::array());
    EXPECT_EQ(hello["camera"]["serial"], "SN0041");
    EXPECT_GT(hello["depthRangeMm"]["max"].get<int>(), 0);
    const json intrinsics = page.Text(1);
    EXPECT_EQ(intrinsics["type"], "intrinsics");
    EXPECT_GT(intrinsics["tof"]["fx"].get<double>(), 0.0);
    for (size_t s = 0; s < 4; ++s) {
        const std::vector<uint32_t> indices = page.Indices(s);
        EXPECT_TRUE(std::is_sorted(indices.begin(), indices.end(), std::less_equal<uint32_t>()))
            << "stream " << s;
    }
    EXPECT_EQ(page.Faults(), std::vector<std::string>());
    const json stats = page.Await("stats");
    EXPECT_GT(stats["sent"]["depth"].get<uint64_t>(), 0u) << stats.dump();
    EXPECT_TRUE(stats["cameraDropped"].contains("tof")) << stats.dump();

    Interrupt::Request();
    EXPECT_EQ(m_running.get().code, orvane::cli::kExitInterrupted);
    EXPECT_TRUE(WaitUntil([&] { return page.CloseCode() == 1001; }, kWaitMs));
}

TEST_F(ViewLoopbackTest, ControlMessagesAreCheckedAndPausedStreamsStop)
{
    const int port = StartViewer(42);
    ASSERT_NE(port, 0) << m_live.Snapshot();
    PageClient page(port, Origin(port));
    ASSERT_TRUE(page.Connected());
    ASSERT_TRUE(page.Await("hello").is_object());

    size_t seen = page.TextCount();
    page.Send("{not json");
    EXPECT_EQ(page.Await("error", seen)["message"], "not JSON");
    seen = page.TextCount();
    page.Send(R"({"type":"set","id":5,"name":"ir-gain","value":9})");
    const json refused = page.Await("ack", seen);
    EXPECT_EQ(refused["id"], 5);
    EXPECT_EQ(refused["ok"], false);
    EXPECT_EQ(refused["error"], "control not allowed (start the viewer with --allow-control)");
    EXPECT_NE(m_camera->Settings().gmmGain, 9);

    seen = page.TextCount();
    page.Send(R"({"type":"pause","id":6,"streams":["depth"]})");
    EXPECT_EQ(page.Await("ack", seen)["ok"], true);
    const size_t depthFrames = page.Indices(0).size();
    ASSERT_TRUE(AwaitFrames(page, 3, {0, 1, 0, 0}));
    EXPECT_LE(page.Indices(0).size(), depthFrames + 1); // one may have been on its way

    page.Send(R"({"type":"pause","streams":[],"pad":")" + std::string(5000, 'x') + "\"}");
    EXPECT_TRUE(WaitUntil([&] { return page.CloseCode() == 1009; }, kWaitMs));
}

TEST_F(ViewLoopbackTest, WithControlASettingIsAppliedAndReadBack)
{
    const int port = StartViewer(43, {"--allow-control"});
    ASSERT_NE(port, 0) << m_live.Snapshot();
    PageClient page(port, Origin(port));
    const json hello = page.Await("hello");
    ASSERT_EQ(hello["control"], true);
    const auto &settings = hello["settings"];
    EXPECT_TRUE(
        std::any_of(settings.begin(), settings.end(), [](const json &s) { return s["name"] == "ir-gain"; }));

    PageClient other(port, Origin(port)); // already open: told the new value, read back through the library
    ASSERT_TRUE(other.Await("hello").is_object());
    const size_t seen = page.TextCount();
    const size_t otherSeen = other.TextCount();
    page.Send(R"({"type":"set","id":8,"name":"ir-gain","value":9})");
    const json ack = page.Await("ack", seen, 15000);
    EXPECT_EQ(ack["ok"], true) << ack.dump();
    EXPECT_EQ(m_camera->Settings().gmmGain, 9);
    const json again = other.Await("hello", otherSeen, 15000);
    const json &told = again["settings"];
    EXPECT_TRUE(std::any_of(told.begin(), told.end(), [](const json &s) {
        return s["name"] == "ir-gain" && s["value"] == 9;
    })) << again.dump();
}

TEST_F(ViewLoopbackTest, ALostCameraIsToldToThePagesAndEndsTheViewerWithExit3)
{
    const int port = StartViewer(44);
    ASSERT_NE(port, 0) << m_live.Snapshot();
    PageClient page(port, Origin(port));
    ASSERT_TRUE(AwaitFrames(page, 1));
    // Gone as a camera that was unplugged: silent, and every query ends its connection.
    m_camera->SetAnnouncing(false);
    m_camera->SetCommandFault(CommandFault::CloseConnection);
    EXPECT_NE(page.Await("error", 0, 20000)["message"].get<std::string>().find("camera lost"),
              std::string::npos);
    EXPECT_EQ(m_running.get().code, orvane::cli::kExitCameraError);
}

TEST(ViewServerPages, TheNinthPageIsRefusedAndAPlaceThatFreesIsTakenAgain)
{
    mg_init_library(MG_FEATURES_WEBSOCKET);
    std::ostringstream out, err;
    orvane::cli::CliOutput output(false, 0, out, err);
    orvane::cli::ViewCamera camera; // no camera behind it: the pages only get hello and intrinsics
    camera.hello = [] { return json{{"type", "hello"}}; };
    camera.intrinsics = [](const orvane::cli::ImageSizes &) { return json{{"type", "intrinsics"}}; };
    camera.set = [](const orvane::cli::ControlRequest &) { return std::string(); };
    camera.drops = [] { return orvane::cli::CameraDrops{}; };
    orvane::cli::ViewServer server({"127.0.0.1", 0, false}, output, camera, {});
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    std::vector<std::unique_ptr<PageClient>> pages;
    for (size_t i = 0; i < orvane::cli::ViewServer::kMaxPages; ++i) {
        pages.push_back(std::make_unique<PageClient>(server.Port(), ""));
        ASSERT_TRUE(pages.back()->Connected()) << i;
    }
    EXPECT_FALSE(PageClient(server.Port(), "").Connected());
    pages.pop_back();
    ASSERT_TRUE(WaitUntil([&] { return server.PageCount() < orvane::cli::ViewServer::kMaxPages; }, kWaitMs));
    PageClient again(server.Port(), "");
    EXPECT_TRUE(again.Connected());
    EXPECT_EQ(again.Await("hello")["type"], "hello");
    server.Stop();
    mg_exit_library();
}

} // namespace
} // namespace orvtest
