// SPDX-License-Identifier: Apache-2.0
// The fixture of the upgrade and transfer integration tests: simulated cameras, the host's server on a
// free port, a scratch working directory, and the reports the library's callbacks delivered.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "CameraFixture.h"

namespace orvtest {

/// One report of an upgrade or JSON status callback, or of a transfer's progress callback.
struct Report
{
    int status = 0;
    int value = 0;
    std::chrono::steady_clock::time_point at;
};

/// Reports of callbacks: the status callbacks, which carry no context pointer, share one process-wide
/// recorder; a transfer's callback reports to the recorder it is given.
class ReportLog
{
public:
    static ReportLog &Instance();
    static void Upgrade(int status, int value);
    /// A transfer's progress callback: adds (type * 256 + index, status) to the log `self` points at.
    static void Transfer(uint8_t type, uint8_t index, int8_t status, void *self);
    void Add(int status, int value);
    void Clear();
    std::vector<Report> Reports() const;
    /// Waits for a report that `isFinal` accepts; false on time-out.
    bool WaitFor(bool (*isFinal)(const Report &), unsigned timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Report> m_reports;
};

class UpgradeFixture : public CameraFixture
{
public:
    /// The 0x1D payloads the camera received (set or get), oldest first.
    static std::vector<std::vector<uint8_t>> TransferCommands(SimCamera &camera);
    /// Whether the camera received a 0x1D payload that starts with `prefix`.
    static bool HasPayloadPrefix(SimCamera &camera, const std::vector<uint8_t> &prefix);
    /// Whether a firmware upgrade's report is its last: success (8, 1) or a failure.
    static bool FirmwareFinal(const Report &r);

protected:
    void SetUp() override;
    void TearDown() override;

    /// A camera with quick reboots and steps that fetches from this test's server port.
    SimCamera &AddUpgradeCamera(const std::string &serial, unsigned hostByte);
    /// Writes `bytes` to `name` under the scratch directory and returns its path.
    std::string WriteFile(const std::string &name, const std::vector<uint8_t> &bytes) const;
    /// Waits until no job runs: worker statuses 0, the device manager's flag clear, the server stopped.
    static bool WaitUntilIdle(unsigned timeoutMs);
    /// A port nothing listens on, for the host's server.
    static uint16_t FreePort();
    /// True when `port` can be bound on 127.0.0.1 (nothing of ours holds it).
    static bool PortIsFree(uint16_t port);

    uint16_t m_port = 0;
    TempDir m_scratch;                          ///< the scratch working directory, removed with the fixture
    const std::string m_dir = m_scratch.Path(); ///< its path (./Config/ lands here)
    std::string m_previousDir;
};

} // namespace orvtest
