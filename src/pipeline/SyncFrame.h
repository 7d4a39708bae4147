// SPDX-License-Identifier: Apache-2.0
// SyncFrame: one matched set of depth, IR, confidence and colour frames carrying the same frame index.
#pragma once

#include <cstdint>

#include "pipeline/Frame.h"

#pragma pack(push, 1)
/// Inside the synchroniser the frame pointers are the decoders' pool frames; a consumer passing one to
/// Sync::GetSyncFrame points them at its own frames, which receive deep copies.
struct SyncFrame
{
    uint32_t frameIndex;
    Frame *colorFrame;
    Frame *depthFrame;
    Frame *irFrame;
    Frame *confidenceFrame;
    uint8_t hasDepth;
    uint8_t hasIr;
    uint8_t hasConfidence;
    uint8_t hasColor;
    uint32_t
        hasFrameMask; ///< HasFrameType bits: announced by the buffer in the ring, present in a delivered set
    uint8_t inUse;
};
#pragma pack(pop)

static_assert(sizeof(SyncFrame) == 45, "SyncFrame is a packed 45-byte record");
