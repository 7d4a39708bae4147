// SPDX-License-Identifier: Apache-2.0
// One page's latest-frame slot of one stream: a new frame replaces one not yet sent, and that counts as
// a drop, so a slow page loses frames instead of holding up the camera or the other pages.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace orvane::cli {

/// A frame as sent: its header and payload in one buffer, shared by every page that sends it.
using FrameMessage = std::shared_ptr<const std::vector<uint8_t>>;

/// Not thread-safe by itself: the page that owns it guards it with its own mutex.
class LatestFrameSlot
{
public:
    /// Keeps `frame` as the one to send next; a frame still waiting is replaced and counted.
    void Offer(FrameMessage frame);
    /// The frame to send, leaving the slot empty (null when there is none).
    FrameMessage Take();
    bool Full() const { return m_frame != nullptr; }
    /// Frames replaced before they could be sent, since the slot was made.
    uint64_t Dropped() const { return m_dropped; }

private:
    FrameMessage m_frame;
    uint64_t m_dropped = 0;
};

} // namespace orvane::cli
