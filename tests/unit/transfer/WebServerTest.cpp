// SPDX-License-Identifier: Apache-2.0
// Tests of the built-in HTTP server: what "/upload" accepts and refuses, and the server over loopback
// serving only the announced file and writing accepted chunks where they belong.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "HttpClient.h"
#include "TestSupport.h"
#include "transfer/UploadRules.h"
#include "transfer/WebServer.h"

using namespace orvtest;

namespace {

UploadFileParams Params()
{
    UploadFileParams p;
    p.saveDir = "/tmp/cfg/";
    p.expectedName = "tofCalib_SN0123456789ABCDEF0.bin";
    p.nameTag = "SN0123456789ABCDEF0";
    p.maxFileBytes = 4096;
    return p;
}

TEST(UploadRules, EachRefusalHasItsAnswerAndAGoodChunkItsPlace)
{
    const std::string name = Params().expectedName;
    const std::string path = "/tmp/cfg/tofCalib.bin";
    const auto failed = [&path](const char *values) { return "check (" + path + ") failed: " + values; };
    struct Row
    {
        const char *what;
        UploadRequest request;
        uint64_t bytes;
        uint32_t sum;
        uint64_t current;
        int status;
        std::string body;
        uint64_t offset;
    };
    const Row rows[] = {
        {"name missing", {"", "0", "3", "2"}, 3, 2, 0, 400, "name required", 0},
        {"another name", {"x.bin", "0", "3", "2"}, 3, 2, 0, 400, "name required", 0},
        {"sum 258 is 2", {name, "0", "3", "2"}, 3, 258 & 0xFF, 0, 200, "3", 0},
        {"hex offset at the end", {name, "0x400", "3", "2"}, 3, 2, 1024, 200, "3", 1024},
        {"negative length", {name, "0", "-3", "2"}, 3, 2, 0, 400, failed("0 3"), 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const UploadDecision d = UploadRules::Decide(Params(), row.request, row.bytes, row.sum, row.current);
        EXPECT_EQ(d.status, row.status);
        EXPECT_EQ(d.body, row.body);
        if (row.status == 200) {
            EXPECT_EQ(d.path, path);
            EXPECT_EQ(d.offset, row.offset);
        }
    }
    // A chunk above 1 MiB is refused whatever it declares.
    const uint64_t big = UploadRules::kMaxChunkBytes + 1;
    UploadFileParams unlimited = Params();
    unlimited.maxFileBytes = 0;
    EXPECT_EQ(UploadRules::Decide(unlimited, {name, "0", std::to_string(big), "0"}, big, 0, 0).status, 400);
}

TEST(UploadRules, TheSavedNameLosesExactlyTheTagAndStaysAPlainName)
{
    EXPECT_EQ(UploadRules::SavedName("rgbCalib_SN0123456789ABCDEF0.bin", "SN0123456789ABCDEF0"),
              "rgbCalib.bin");
    EXPECT_EQ(UploadRules::SavedName("rgbCalib_SN42.bin", "SN42"), "rgbCalib.bin"); // any length of tag
    EXPECT_EQ(UploadRules::SavedName("rgbCalib.bin", "SN42"), "rgbCalib.bin");
    EXPECT_EQ(UploadRules::SavedName("../x_SN42", "SN42"), "");
    EXPECT_EQ(UploadRules::SavedName("_SN42", "SN42"), "");
    EXPECT_EQ(UploadRules::SavedName("..", ""), "");
}

TEST(WebServer, ServesOnlyTheAnnouncedFileAndWritesAcceptedChunksAtTheirOffsets)
{
    orvtest::LoggedHome home;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("orvane-web-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "config");
    std::ofstream(dir / "image.bin") << "firmware bytes";
    std::ofstream(dir / "sibling.bin") << "secret";
    WebServer *server = WebServer::getInstance();
    server->setPort(0); // any free port
    WebServer::Job job;
    job.host = "127.0.0.1";
    job.servedPath = (dir / "image.bin").string();
    job.upload.saveDir = (dir / "config").string() + "/";
    job.upload.expectedName = "tofCalib_SN42.bin";
    job.upload.nameTag = "SN42";
    job.upload.maxFileBytes = 16;
    const int id = server->AcquireJob(job);
    ASSERT_GT(id, 0);
    const unsigned short port = server->ListeningPort();
    ASSERT_NE(port, 0);

    EXPECT_EQ(HttpRequest(port, "GET /image.bin HTTP/1.1\r\nHost: x\r\n\r\n"),
              std::make_pair(200, std::string("firmware bytes")));
    for (const char *uri :
         {"/sibling.bin", "/", "/../image.bin", "/%2e%2e/image.bin", "/x/../image.bin", "/../sibling.bin"}) {
        EXPECT_EQ(HttpRequest(port, std::string("GET ") + uri + " HTTP/1.1\r\nHost: x\r\n\r\n").first, 404)
            << uri;
    }
    // A second job wanting the same file is refused; the first is untouched.
    EXPECT_EQ(server->AcquireJob(job), -1);

    EXPECT_EQ(HttpRequest(port, UploadChunk("tofCalib_SN42.bin", 0, "abc")),
              std::make_pair(200, std::string("3")));
    EXPECT_EQ(HttpRequest(port, UploadChunk("tofCalib_SN42.bin", 3, "defg")),
              std::make_pair(200, std::string("4")));
    // Each refusal answers 400 with its body and writes nothing.
    const std::string failed = "check (" + job.upload.saveDir + "tofCalib.bin) failed: ";
    const std::pair<std::string, std::string> refusals[] = {
        {UploadChunk("other.bin", 0, "abc"), "name required"},
        {UploadChunk("tofCalib_SN42.bin", 7, "xyz", 5), failed + "5 3"},
        {UploadChunk("tofCalib_SN42.bin", 7, "xyz", -1, 1), failed + "1 107"},
        {UploadChunk("tofCalib_SN42.bin", 9, "z"), failed + "9 7"},          // a gap
        {UploadChunk("tofCalib_SN42.bin", 7, "0123456789"), failed + "7 7"}, // past 16
    };
    for (const auto &[request, body] : refusals) {
        EXPECT_EQ(HttpRequest(port, request), std::make_pair(400, body)) << request;
    }
    std::ifstream saved(dir / "config" / "tofCalib.bin");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), "abcdefg");
    EXPECT_EQ(ConnectTo("127.0.0.155", port), -1); // only the host address is listened on

    server->ReleaseJob(id);
    EXPECT_FALSE(server->isRunning());
    EXPECT_EQ(HttpRequest(port, "GET /image.bin HTTP/1.1\r\nHost: x\r\n\r\n").first, -1); // nothing listens
    std::filesystem::remove_all(dir);
}

size_t OpenDescriptors()
{
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// CivetWeb waits on a client that sends nothing in 2-second quanta; a stop must not wait with it, nor leave
// its connection open.
TEST(WebServer, StopsAtOnceWhileAClientHoldsAnIdleConnection)
{
    orvtest::LoggedHome home;
    WebServer *server = WebServer::getInstance();
    server->setPort(0);
    WebServer::Job job;
    job.host = "127.0.0.1";
    const size_t descriptors = OpenDescriptors();
    for (const char *sent : {"", "GET /x HTTP/1.1\r\n"}) {
        const int id = server->AcquireJob(job);
        ASSERT_GT(id, 0);
        const int client = ConnectTo("127.0.0.1", server->ListeningPort());
        ASSERT_GE(client, 0);
        const timeval bound{2, 0};
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        ::send(client, sent, std::strlen(sent), MSG_NOSIGNAL);
        const auto start = std::chrono::steady_clock::now();
        server->ReleaseJob(id);
        const auto stopMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        // Far above the 100 ms aimed at (the benchmark measures it), far below the 2 s of the fault.
        EXPECT_LT(stopMs, 1000) << sent;
        char byte = 0;
        const ssize_t got = ::recv(client, &byte, 1, 0);
        // The server's end is closed or reset, not left open (the receive would time out).
        EXPECT_TRUE(got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) << got;
        ::close(client);
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

} // namespace
