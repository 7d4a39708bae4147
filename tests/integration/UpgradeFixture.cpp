// SPDX-License-Identifier: Apache-2.0
// The fixture of the upgrade and transfer integration tests.
#include "UpgradeFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "device/DeviceManager.h"
#include "transfer/WebServer.h"
#include "upgrade/JsonCtl.h"
#include "upgrade/Upgrade.h"

namespace orvtest {

ReportLog &ReportLog::Instance()
{
    static ReportLog log;
    return log;
}

void ReportLog::Upgrade(int status, int value)
{
    Instance().Add(status, value);
}

void ReportLog::Transfer(uint8_t type, uint8_t index, int8_t status, void *self)
{
    static_cast<ReportLog *>(self)->Add(type * 256 + index, status);
}

void ReportLog::Add(int status, int value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reports.push_back({status, value, std::chrono::steady_clock::now()});
    m_changed.notify_all();
}

void ReportLog::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reports.clear();
}

std::vector<Report> ReportLog::Reports() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports;
}

bool ReportLog::WaitFor(bool (*isFinal)(const Report &), unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const Report &report : m_reports) {
            if (isFinal(report)) {
                return true;
            }
        }
        return false;
    });
}

void UpgradeFixture::SetUp()
{
    ASSERT_NO_FATAL_FAILURE(CameraFixture::SetUp());
    ReportLog::Instance().Clear();
    m_port = FreePort();
    ASSERT_NE(m_port, 0);
    WebServer::getInstance()->setPort(m_port);
    ASSERT_FALSE(m_dir.empty());
    m_previousDir = std::filesystem::current_path();
    // Calibration files land in ./Config/: never in the build tree, where the decoder reads its tables.
    std::filesystem::current_path(m_dir);
}

void UpgradeFixture::TearDown()
{
    CameraFixture::TearDown();
    Upgrade::SetNoProgressLimitMs(60000);
    JsonCtl::SetNoProgressLimitMs(20000);
    WebServer::getInstance()->setPort(WebServer::kDefaultPort);
    if (!m_previousDir.empty()) {
        std::filesystem::current_path(m_previousDir);
    }
}

SimCamera &UpgradeFixture::AddUpgradeCamera(const std::string &serial, unsigned hostByte)
{
    SimCamera &camera = AddCamera(serial, hostByte);
    SimUpgradeOptions options;
    options.serverPort = m_port;
    options.rebootDelayMs = 200;
    camera.SetUpgradeOptions(options);
    return camera;
}

std::string UpgradeFixture::WriteFile(const std::string &name, const std::vector<uint8_t> &bytes) const
{
    const std::string path = m_dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<std::vector<uint8_t>> UpgradeFixture::TransferCommands(SimCamera &camera)
{
    std::vector<std::vector<uint8_t>> payloads;
    for (const RecordedFrame &frame : camera.RecordedFrames()) {
        if ((frame.command & 0x7F) == 0x1D) {
            payloads.push_back(frame.payload);
        }
    }
    return payloads;
}

bool UpgradeFixture::HasPayloadPrefix(SimCamera &camera, const std::vector<uint8_t> &prefix)
{
    for (const auto &payload : TransferCommands(camera)) {
        if (payload.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), payload.begin())) {
            return true;
        }
    }
    return false;
}

bool UpgradeFixture::FirmwareFinal(const Report &r)
{
    return r.status == 8 || r.value == -1 || (r.status != 5 && r.value != 1);
}

bool UpgradeFixture::WaitUntilIdle(unsigned timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Upgrade::GetInstance()->Status() == 0 && JsonCtl::GetInstance()->Status() == 0 &&
            DeviceManager::GetInstance()->GetUpgradeState() == 0 && !WebServer::getInstance()->isRunning()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

namespace {
/// Binds a socket to 127.0.0.1:`port` (0: any) and returns the port bound, 0 when it cannot.
uint16_t BindLoopback(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int reuse = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t bound = 0;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0) {
        bound = ntohs(address.sin_port);
    }
    close(fd);
    return bound;
}
} // namespace

uint16_t UpgradeFixture::FreePort()
{
    return BindLoopback(0);
}

bool UpgradeFixture::PortIsFree(uint16_t port)
{
    return BindLoopback(port) == port;
}

} // namespace orvtest
