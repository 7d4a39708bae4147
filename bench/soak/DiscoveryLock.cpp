// SPDX-License-Identifier: Apache-2.0
// The machine-wide lock on the discovery port that loopback runs share: held while cameras are found and
// opened, so that no other run's library takes this run's announcements or sees its cameras.
#include "DiscoveryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

bool DiscoveryLock::Acquire(const std::string &path)
{
    Release();
    if (path.empty()) {
        return true;
    }
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        return false;
    }
    while (flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            Release();
            return false;
        }
    }
    return true;
}

void DiscoveryLock::Release()
{
    if (m_fd >= 0) {
        flock(m_fd, LOCK_UN);
        close(m_fd);
        m_fd = -1;
    }
}
