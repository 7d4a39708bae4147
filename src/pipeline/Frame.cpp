// SPDX-License-Identifier: Apache-2.0
// Frame: the deep copy that hands a pipeline frame to a slot with its own buffer.
#include "pipeline/Frame.h"

#include <cstring>

#include "runtime/LogCustom.h"

bool Frame::DeepCopyTo(Frame &dst) const
{
    if (dataLen > 0 && (pFrameData == nullptr || dst.pFrameData == nullptr || dst.bufferSize < dataLen)) {
        // A destination too small would be written past its end.
        TFLOG("frame type:%u of %u bytes does not fit %u bytes", frameType, dataLen, dst.bufferSize);
        return false;
    }
    if (dataLen > 0) {
        std::memcpy(dst.pFrameData, pFrameData, dataLen);
    }
    uint8_t *keep = dst.pFrameData;
    uint32_t keepSize = dst.bufferSize;
    std::memcpy(static_cast<void *>(&dst), static_cast<const void *>(this), sizeof(Frame));
    dst.pFrameData = keep;
    dst.bufferSize = keepSize;
    return true;
}
