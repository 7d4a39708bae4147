// SPDX-License-Identifier: Apache-2.0
// Records the hot-plug notifications of both callback forms.
#include "HotPlugRecorder.h"

#include "device/DeviceManager.h"

namespace orvtest {
namespace {

HotPlugRecorder *g_recorder = nullptr; // the form 1 callback has no context

} // namespace

::testing::Environment *ApiLoopbackEnvironment()
{
    return new PrivateHomeEnvironment(false, [] { DeviceManager::SetRoundPeriodMs(kRoundMs); });
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
