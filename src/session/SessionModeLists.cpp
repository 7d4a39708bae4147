// SPDX-License-Identifier: Apache-2.0
// SessionModeLists: the default lists and records, the lists of a calibration block and the list checks.
#include "session/SessionModeLists.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "pipeline/DepthRanges.h"
#include "runtime/LogCustom.h"

namespace {
/// Measuring ranges report at most this near limit, whatever the range's wrap distance.
constexpr uint16_t kNearLimitCapMm = 4200;
} // namespace

SessionModeLists::SessionModeLists()
{
    for (int i = 0; i < kMeasuringRangeCount; ++i) {
        const auto maxMm = static_cast<uint16_t>(DepthRanges::GetSonyMaxDepth(static_cast<uint32_t>(i)));
        m_measuringRanges.push_back(
            MeasuringRange{static_cast<uint8_t>(i), std::min(maxMm, kNearLimitCapMm), 0, maxMm});
    }
}

int SessionModeLists::GetSonyMaxDepth(int range)
{
    if (range < 0 || range >= kMeasuringRangeCount) {
        TFLOG("range:%d is invalid.", range);
        return 0;
    }
    return DepthRanges::GetSonyMaxDepth(static_cast<uint32_t>(range));
}

void SessionModeLists::SetNetworkDefaults()
{
    m_depthRanges = {6, 0, 1, 2, 3, 4, 5};
    m_dataModes = {8, 1, 2, 3, 5, 6, 7, 9, 10};
}

void SessionModeLists::TakeBlock(const InitCameraParams &block)
{
    if (block.rangeListCount != 0) {
        // A count beyond the nine entries the block carries would make later checks read past them.
        const int capacity = kDepthRangeListBytes - 1;
        if (block.rangeListCount > capacity) {
            TFLOG("rangeList count:%d is invalid.", block.rangeListCount);
        }
        m_depthRanges[0] = static_cast<uint8_t>(std::min<int>(block.rangeListCount, capacity));
        std::copy(std::begin(block.rangeList), std::end(block.rangeList), m_depthRanges.begin() + 1);
        for (int i = 0; i < kMeasuringRangeCount && i < static_cast<int>(m_measuringRanges.size()); ++i) {
            if (block.depthMax[0][i] != 0) {
                m_measuringRanges[static_cast<size_t>(i)] =
                    MeasuringRange{static_cast<uint8_t>(i), block.depthMax[1][i], block.depthMax[2][i],
                                   block.depthMax[0][i]};
            }
        }
    }
    if (block.modeListCount != 0) {
        // The count and the 32 bytes behind it, which run on into the block's uninterpreted part.
        const auto *from =
            reinterpret_cast<const uint8_t *>(&block) + offsetof(InitCameraParams, modeListCount);
        std::memcpy(m_dataModes.data(), from, m_dataModes.size());
        const int capacity = kDataModeListBytes - 1;
        if (m_dataModes[0] > capacity) {
            TFLOG("modeList count:%d is invalid.", m_dataModes[0]);
            m_dataModes[0] = static_cast<uint8_t>(capacity);
        }
    }
}

bool SessionModeLists::IsDataModeValid(int mode) const
{
    const int count = DataModeCount();
    for (int i = 1; i <= count; ++i) {
        if (m_dataModes[static_cast<size_t>(i)] == mode) {
            return true;
        }
    }
    return false;
}

bool SessionModeLists::IsRangeValid(int range) const
{
    const int count = DepthRangeCount();
    if (count == 0) {
        return true;
    }
    for (int i = 1; i <= count; ++i) {
        if (m_depthRanges[static_cast<size_t>(i)] == range) {
            return true;
        }
    }
    return false;
}
