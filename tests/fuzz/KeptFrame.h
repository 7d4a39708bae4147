// SPDX-License-Identifier: Apache-2.0
// KeptFrame: a frame a pipeline fuzz target holds on to, with a copy of its bytes, so that a later write
// into it by the code under test is caught.
#pragma once

#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "pipeline/Frame.h"

struct KeptFrame
{
    Frame *frame = nullptr;
    std::vector<uint8_t> copy; // keeps its capacity from frame to frame

    void Keep(Frame *kept)
    {
        frame = kept;
        copy.assign(kept->pFrameData, kept->pFrameData + kept->dataLen);
    }
    /// Aborts when the frame changed since it was kept.
    void RequireUntouched() const
    {
        Require(frame->dataLen == copy.size());
        Require(copy.empty() || std::memcmp(frame->pFrameData, copy.data(), copy.size()) == 0);
    }
};
