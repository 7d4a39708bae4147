// SPDX-License-Identifier: Apache-2.0
// DropCounters: what the pipeline of one opened camera dropped, by stream and reason, and what it handed
// to the application; every stage counts into the one object its pipeline owns.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "Orvane_api.h"
#include "pipeline/Frame.h"

/// The stream a dropped or delivered frame belongs to.
enum class DropStream : uint8_t
{
    kTof, ///< depth, IR and confidence of one buffer count as one ToF frame
    kColor,
};

/// Why a frame was dropped, in the order of TfDropCounts.
enum class DropReason : uint8_t
{
    kQueueFull,     ///< overwritten in a full queue, or no free frame to take it
    kSetIncomplete, ///< its set never got the other parts its buffer announced
    kDecodeError,   ///< the payload could not be decoded, or decoded to the wrong size
    kBufferRefused, ///< the buffer carrying it broke the sub-packet rules
    kColorLate,     ///< a colour frame that came after its set was gone
};

/// Relaxed atomics: any thread counts, any thread reads; a read is a snapshot per counter, not a
/// consistent cut across them.
class DropCounters
{
public:
    static constexpr size_t kStreams = 2;
    static constexpr size_t kReasons = 5;

    void Count(DropStream stream, DropReason reason);
    /// A dropped pipeline frame, its stream taken from its type. A depth, IR or confidence frame counts
    /// only when it is the first ToF part its buffer carried, so the parts of one ToF frame count once.
    void CountFrame(const Frame &frame, DropReason reason);
    /// The parts of a dropped set, given as HasFrameType bits: ToF once, colour once.
    void CountSet(uint8_t parts, DropReason reason);
    void CountDelivered(DropStream stream);
    /// A delivered pipeline frame, by the same one-count-per-ToF-frame rule as CountFrame.
    void CountDeliveredFrame(const Frame &frame);
    /// The parts of a delivered set, given as HasFrameType bits.
    void CountDeliveredSet(uint8_t parts);

    /// The public record: version and size filled in.
    TfDropCounters Read() const;

private:
    /// The stream of a frame, or false when it is a ToF part that is not its buffer's first.
    static bool StreamOf(const Frame &frame, DropStream &stream);

    std::array<std::array<std::atomic<uint64_t>, kReasons>, kStreams> m_drops{};
    std::array<std::atomic<uint64_t>, kStreams> m_delivered{};
};
