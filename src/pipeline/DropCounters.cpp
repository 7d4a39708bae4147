// SPDX-License-Identifier: Apache-2.0
// DropCounters: counting by stream and reason, and the one-count-per-ToF-frame rule.
#include "pipeline/DropCounters.h"

namespace {

constexpr uint8_t kTofParts = kHasDepth | kHasIr | kHasConfidence;

size_t IndexOf(DropStream stream)
{
    return static_cast<size_t>(stream);
}

uint8_t PartOf(uint32_t frameType)
{
    switch (static_cast<int32_t>(frameType)) {
    case kFrameDepth:
        return kHasDepth;
    case kFrameIr:
        return kHasIr;
    case kFrameConfidence:
        return kHasConfidence;
    default:
        return 0;
    }
}

void Fill(TfDropCounts &out, const std::array<std::atomic<uint64_t>, DropCounters::kReasons> &in)
{
    out.queueFull = in[static_cast<size_t>(DropReason::kQueueFull)].load(std::memory_order_relaxed);
    out.setIncomplete = in[static_cast<size_t>(DropReason::kSetIncomplete)].load(std::memory_order_relaxed);
    out.decodeError = in[static_cast<size_t>(DropReason::kDecodeError)].load(std::memory_order_relaxed);
    out.bufferRefused = in[static_cast<size_t>(DropReason::kBufferRefused)].load(std::memory_order_relaxed);
    out.colorLate = in[static_cast<size_t>(DropReason::kColorLate)].load(std::memory_order_relaxed);
}

} // namespace

void DropCounters::Count(DropStream stream, DropReason reason)
{
    m_drops[IndexOf(stream)][static_cast<size_t>(reason)].fetch_add(1, std::memory_order_relaxed);
}

bool DropCounters::StreamOf(const Frame &frame, DropStream &stream)
{
    const auto type = static_cast<int32_t>(frame.frameType);
    if (type == kFrameColor || type == kFrameRawColor) {
        stream = DropStream::kColor;
        return true;
    }
    stream = DropStream::kTof;
    const uint8_t part = PartOf(frame.frameType);
    const uint8_t carried = static_cast<uint8_t>(frame.hasFrameMask & kTofParts);
    // The lowest ToF bit of the buffer's mask is its first part; a frame without a mask counts itself.
    return part == 0 || carried == 0 || (carried & static_cast<uint8_t>(-carried)) == part;
}

void DropCounters::CountFrame(const Frame &frame, DropReason reason)
{
    DropStream stream = DropStream::kTof;
    if (StreamOf(frame, stream)) {
        Count(stream, reason);
    }
}

void DropCounters::CountSet(uint8_t parts, DropReason reason)
{
    if ((parts & kTofParts) != 0) {
        Count(DropStream::kTof, reason);
    }
    if ((parts & kHasColor) != 0) {
        Count(DropStream::kColor, reason);
    }
}

void DropCounters::CountDelivered(DropStream stream)
{
    m_delivered[IndexOf(stream)].fetch_add(1, std::memory_order_relaxed);
}

void DropCounters::CountDeliveredFrame(const Frame &frame)
{
    DropStream stream = DropStream::kTof;
    if (StreamOf(frame, stream)) {
        CountDelivered(stream);
    }
}

void DropCounters::CountDeliveredSet(uint8_t parts)
{
    if ((parts & kTofParts) != 0) {
        CountDelivered(DropStream::kTof);
    }
    if ((parts & kHasColor) != 0) {
        CountDelivered(DropStream::kColor);
    }
}

TfDropCounters DropCounters::Read() const
{
    TfDropCounters out{};
    out.version = TF_DROP_COUNTERS_VERSION;
    out.size = static_cast<uint32_t>(sizeof(TfDropCounters));
    Fill(out.tof, m_drops[IndexOf(DropStream::kTof)]);
    Fill(out.color, m_drops[IndexOf(DropStream::kColor)]);
    out.tofDelivered = m_delivered[IndexOf(DropStream::kTof)].load(std::memory_order_relaxed);
    out.colorDelivered = m_delivered[IndexOf(DropStream::kColor)].load(std::memory_order_relaxed);
    return out;
}
