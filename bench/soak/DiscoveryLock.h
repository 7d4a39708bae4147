// SPDX-License-Identifier: Apache-2.0
// The machine-wide lock on the discovery port that loopback runs share: held while cameras are found and
// opened, so that no other run's library takes this run's announcements or sees its cameras.
#pragma once

#include <string>

class DiscoveryLock
{
public:
    DiscoveryLock() = default;
    ~DiscoveryLock() { Release(); }
    DiscoveryLock(const DiscoveryLock &) = delete;
    DiscoveryLock &operator=(const DiscoveryLock &) = delete;

    /// Waits for the lock file; an empty path takes nothing. False when the file cannot be locked.
    bool Acquire(const std::string &path);
    void Release();

private:
    int m_fd = -1;
};
