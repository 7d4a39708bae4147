// SPDX-License-Identifier: Apache-2.0
// One page's latest-frame slot of one stream: a new frame replaces one not yet sent, and that counts as
// a drop, so a slow page loses frames instead of holding up the camera or the other pages.
#include "LatestFrameSlot.h"

#include <utility>

namespace orvane::cli {

void LatestFrameSlot::Offer(FrameMessage frame)
{
    if (frame == nullptr) {
        return;
    }
    if (m_frame != nullptr) {
        ++m_dropped;
    }
    m_frame = std::move(frame);
}

FrameMessage LatestFrameSlot::Take()
{
    return std::exchange(m_frame, nullptr);
}

} // namespace orvane::cli
