// SPDX-License-Identifier: Apache-2.0
// Shared support of the integration tests.
#include "IntegrationSupport.h"

#include <dirent.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "device/DeviceManager.h"
#include "runtime/LogCustom.h"
#include "runtime/PathTools.h"

namespace orvtest {
namespace {

HotPlugRecorder *g_recorder = nullptr; // the form 1 callback has no context

/// A private home for the log and short manager rounds for the whole test process.
class IntegrationEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/orvane-it-XXXXXX";
        const char *home = mkdtemp(pattern);
        ASSERT_NE(home, nullptr);
        m_home = home;
        ASSERT_EQ(mkdir((m_home + "/.config").c_str(), 0700), 0);
        Path_SetHomeDirectoryOverride(m_home);
        DeviceManager::SetRoundPeriodMs(kRoundMs);
    }
    void TearDown() override
    {
        Path_SetHomeDirectoryOverride("");
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }

private:
    std::string m_home;
};

[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new IntegrationEnvironment);

} // namespace

bool WaitUntil(const std::function<bool()> &condition, unsigned timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string ReadLog()
{
    std::string path = LogCustom::GetLogFilePath();
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int ThreadCount()
{
    int count = 0;
    DIR *dir = opendir("/proc/self/task");
    if (dir == nullptr) {
        return -1;
    }
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(dir);
    return count;
}

HotPlugRecorder::HotPlugRecorder()
{
    g_recorder = this;
    TFCM_SetHotPlugStatusCallback(&HotPlugRecorder::Form1);
    TFCM_SetHotPlugStatusCallback_(&HotPlugRecorder::Form2, this);
}

HotPlugRecorder::~HotPlugRecorder()
{
    TFCM_SetHotPlugStatusCallback(nullptr);
    TFCM_SetHotPlugStatusCallback_(nullptr, this);
    DeviceManager::WaitForNotifications(2000);
    g_recorder = nullptr;
}

void HotPlugRecorder::Form1(const TfDeviceInfo *info, int status)
{
    if (g_recorder != nullptr) {
        g_recorder->Record(info, status, 1);
    }
}

void HotPlugRecorder::Form2(const TfDeviceInfo *info, int status, void *context)
{
    static_cast<HotPlugRecorder *>(context)->Record(info, status, 2);
}

void HotPlugRecorder::Record(const TfDeviceInfo *info, int status, int form)
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        hook = m_onEvent;
    }
    if (hook) {
        hook();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(HotPlugEvent{info->uri, info->alias, status, form, info->status});
    m_changed.notify_all();
}

int HotPlugRecorder::Count(const std::string &uri, int type, int form) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int count = 0;
    for (const HotPlugEvent &e : m_events) {
        if (e.uri == uri && e.type == type && e.form == form) {
            ++count;
        }
    }
    return count;
}

bool HotPlugRecorder::WaitFor(const std::string &uri, int type, int count, unsigned timeoutMs) const
{
    return WaitUntil([&] { return Count(uri, type, 1) >= count && Count(uri, type, 2) >= count; }, timeoutMs);
}

void HotPlugRecorder::SetOnEvent(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onEvent = std::move(hook);
}

std::vector<HotPlugEvent> HotPlugRecorder::Events() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

} // namespace orvtest
