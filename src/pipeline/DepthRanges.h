// SPDX-License-Identifier: Apache-2.0
// DepthRanges: the limits of the six depth ranges, what the refine library is told about them, the
// dual-frequency settings and the wide-dynamic-range reference image used to unwrap short-range depth.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "protocol/ProtocolTypes.h"

class APIDepthRefine;

class DepthRanges
{
public:
    static constexpr uint32_t kRangeCount = 6;
    static constexpr size_t kTemperatureEntries = 151;

    /// The refine object may be null; it is owned by the stream hub and outlives this object.
    explicit DepthRanges(APIDepthRefine *refine);

    /// The wrap-around distance of the camera's range r (1249, 1874, 2498, 3123, 3747, 7495 mm); 0 for
    /// any other range.
    static uint16_t GetSonyMaxDepth(uint32_t range);

    /// Temperature offset of a range at a laser temperature in degrees (clamped to 0-150).
    static int32_t GetTemperatureOffset(uint32_t range, int temperatureLD);

    /// Unwraps `count` depth pixels of a second-range frame against the first-range reference: a zero
    /// reference gives 0, otherwise d + k * maxDepthMm with k = trunc((r - d) / maxDepthMm + 0.5). A zero
    /// maxDepthMm (unknown range) gives 0 for every pixel.
    static void MakeMultiRangeFrame_Sony(uint16_t *depth, const uint16_t *reference, size_t count,
                                         uint16_t maxDepthMm);

    /// Replaces the measuring-range list (index = range); records beyond six are ignored.
    void SetRangeValue(const std::vector<MeasuringRange> &ranges);
    uint16_t GetMaxDepth(uint32_t range) const;
    uint16_t GetEffectMaxDepth(uint32_t range) const;
    uint16_t GetEffectMinDepth(uint32_t range) const;

    /// Tells the refine library the range and its maximum (the effective maximum with raw-depth cut on).
    void adaptRangeValue(uint32_t range);
    void SetRawDepthCut(bool enabled);
    bool GetRawDepthCut() const;

    /// Stores the dual-frequency ranges (reduced to 8 bits, written back into `mode`), adapts the library
    /// to the larger of the first two and logs a too-small overlap. Returns 0.
    int SetDualFreqMode(DualFreqMode &mode);
    uint32_t GetWdrRange(int index) const;

private:
    mutable std::mutex m_mutex; // guards m_ranges and the WDR ranges
    APIDepthRefine *m_refine;   // not owned
    std::array<MeasuringRange, kRangeCount> m_ranges{};
    bool m_rawDepthCut = false;
    std::array<uint32_t, 3> m_wdrRanges{{5, 0, 0}};
    DualFreqMode m_dualFreq{};
};
