// SPDX-License-Identifier: Apache-2.0
// The status-only buffers a simulated camera sends while its stream is stopped, and their count.
#include "SimStoppedStatus.h"

#include "runtime/ByteReader.h"

#include <chrono>

namespace {
constexpr uint32_t kStreamBufferType = 1;
constexpr uint8_t kStatusTypeId = 0x2C;
constexpr size_t kStatusHeaderBytes = 3; // type id and a 16-bit length
} // namespace

void SimStoppedStatus::SetOn(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_on = on;
}

bool SimStoppedStatus::IsOn() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_on;
}

std::vector<uint8_t> SimStoppedStatus::Buffer(const std::vector<uint8_t> &record)
{
    ByteWriter writer;
    writer.WriteU32Le(kStreamBufferType);
    writer.WriteU32Le(static_cast<uint32_t>(kStatusHeaderBytes + record.size()));
    writer.WriteU8(kStatusTypeId);
    writer.WriteU16Le(static_cast<uint16_t>(record.size()));
    writer.WriteBytes(record.data(), record.size());
    return writer.Bytes();
}

void SimStoppedStatus::CountSent()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_sent;
    m_sentChanged.notify_all();
}

uint64_t SimStoppedStatus::Sent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sent;
}

bool SimStoppedStatus::WaitForSent(uint64_t count, unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_sentChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_sent >= count; });
}
