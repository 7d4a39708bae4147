// SPDX-License-Identifier: Apache-2.0
// Whether a simulated camera keeps reporting its status while its stream is stopped, and the buffers
// that carry only the status record it then sends.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

/// Some cameras keep sending stream buffers that hold only their status record while the stream is
/// stopped; others send nothing until the next start. Off (send nothing) by default. Every method may
/// be called from any thread.
class SimStoppedStatus
{
public:
    void SetOn(bool on);
    bool IsOn() const;

    /// A stream buffer (header and one status sub-packet) around the 59-byte `record`.
    static std::vector<uint8_t> Buffer(const std::vector<uint8_t> &record);

    /// Counts one status-only buffer written to the data connection.
    void CountSent();
    /// Status-only buffers sent so far.
    uint64_t Sent() const;
    /// Waits until at least `count` of them have been sent; false on time-out.
    bool WaitForSent(uint64_t count, unsigned timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_sentChanged; // signalled under m_mutex when m_sent grows
    bool m_on = false;                             // guarded by m_mutex
    uint64_t m_sent = 0;                           // guarded by m_mutex
};
