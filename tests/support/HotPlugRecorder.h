// SPDX-License-Identifier: Apache-2.0
// Records the hot-plug notifications of both callback forms, for the tests of the public API.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Orvane_api.h"
#include "TestSupport.h"

namespace orvtest {

/// Manager round used by the integration tests (the library's default is one second).
constexpr unsigned kRoundMs = 100;
/// Announcement period of the simulated cameras in these tests.
constexpr unsigned kAnnounceMs = 50;

struct HotPlugEvent
{
    std::string uri;
    std::string alias;
    int type; ///< 0 added, 1 removed
    int form; ///< 1 or 2: which callback form delivered it
    uint32_t status;
};

/// Receives the hot-plug callbacks of both forms.
class HotPlugRecorder
{
public:
    HotPlugRecorder();
    ~HotPlugRecorder();

    /// Number of events of `type` for `uri` delivered through callback `form`.
    int Count(const std::string &uri, int type, int form) const;
    /// Waits until both forms delivered at least `count` events of `type` for `uri`.
    bool WaitFor(const std::string &uri, int type, int count, unsigned timeoutMs) const;
    std::vector<HotPlugEvent> Events() const;

    /// Runs `hook` inside each callback, on the notification thread (for re-entrancy tests).
    void SetOnEvent(std::function<void()> hook);

private:
    static void Form1(const TfDeviceInfo *info, int status);
    static void Form2(const TfDeviceInfo *info, int status, void *context);
    void Record(const TfDeviceInfo *info, int status, int form);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<HotPlugEvent> m_events; // guarded by m_mutex
    std::function<void()> m_onEvent;    // guarded by m_mutex
};

/// The environment of the public-API loopback tests: a private home and short manager rounds.
::testing::Environment *ApiLoopbackEnvironment();

} // namespace orvtest
