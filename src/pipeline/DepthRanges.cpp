// SPDX-License-Identifier: Apache-2.0
// DepthRanges: range limits, the refine library's range, dual-frequency checks and WDR unwrapping.
#include "pipeline/DepthRanges.h"

#include "refine/APIDepthRefine.h"
#include "runtime/LogCustom.h"

namespace {
constexpr uint16_t kSonyMaxDepthMm[DepthRanges::kRangeCount] = {1249, 1874, 2498, 3123, 3747, 7495};

struct TemperaturePoint
{
    int degrees;
    int32_t offset;
};

// The calibrated points of the two laser-temperature tables; between them the offset falls linearly.
constexpr TemperaturePoint kRange0Points[] = {{0, 129}, {1, 127}, {2, 124},   {3, 122},
                                              {57, 1},  {58, -1}, {150, -208}};
constexpr TemperaturePoint kOtherPoints[] = {{0, 193}, {1, 190}, {2, 186},   {3, 183},
                                             {56, 2},  {57, -2}, {150, -319}};

template <size_t N> int32_t Interpolate(const TemperaturePoint (&points)[N], int degrees)
{
    for (size_t i = 1; i < N; ++i) {
        if (degrees <= points[i].degrees) {
            const TemperaturePoint &lo = points[i - 1];
            const TemperaturePoint &hi = points[i];
            const int span = hi.degrees - lo.degrees;
            const int64_t scaled = int64_t(hi.offset - lo.offset) * (degrees - lo.degrees);
            // Rounded to the nearest integer, halves away from zero.
            const int64_t step = scaled >= 0 ? (scaled + span / 2) / span : -((-scaled + span / 2) / span);
            return static_cast<int32_t>(lo.offset + step);
        }
    }
    return points[N - 1].offset;
}

struct TemperatureTables
{
    int32_t range0[DepthRanges::kTemperatureEntries];
    int32_t other[DepthRanges::kTemperatureEntries];
    TemperatureTables()
    {
        for (size_t t = 0; t < DepthRanges::kTemperatureEntries; ++t) {
            range0[t] = Interpolate(kRange0Points, static_cast<int>(t));
            other[t] = Interpolate(kOtherPoints, static_cast<int>(t));
        }
    }
};

const TemperatureTables &Tables()
{
    static const TemperatureTables tables;
    return tables;
}
} // namespace

DepthRanges::DepthRanges(APIDepthRefine *refine) : m_refine(refine)
{
    // Until the session hands over the camera's list, each range spans its whole wrap-around distance.
    for (uint32_t r = 0; r < kRangeCount; ++r) {
        m_ranges[r] = MeasuringRange{static_cast<uint8_t>(r), kSonyMaxDepthMm[r], 0, kSonyMaxDepthMm[r]};
    }
}

uint16_t DepthRanges::GetSonyMaxDepth(uint32_t range)
{
    return range < kRangeCount ? kSonyMaxDepthMm[range] : 0;
}

int32_t DepthRanges::GetTemperatureOffset(uint32_t range, int temperatureLD)
{
    const int t = temperatureLD < 0 ? 0 : (temperatureLD > 150 ? 150 : temperatureLD);
    return range == 0 ? Tables().range0[t] : Tables().other[t];
}

void DepthRanges::MakeMultiRangeFrame_Sony(uint16_t *depth, const uint16_t *reference, size_t count,
                                           uint16_t maxDepthMm)
{
    if (maxDepthMm == 0) {
        for (size_t i = 0; i < count; ++i) {
            depth[i] = 0;
        }
        return;
    }
    const float m = static_cast<float>(maxDepthMm);
    for (size_t i = 0; i < count; ++i) {
        const int32_t d = depth[i];
        const int32_t r = reference[i];
        // Rounds half up for wraps ahead and truncates towards zero behind, as the unwrap always has.
        const int32_t k = static_cast<int32_t>(static_cast<float>(r - d) / m +
                                               0.5f); // NOLINT(bugprone-incorrect-roundings)
        depth[i] = r == 0 ? 0 : static_cast<uint16_t>(d + k * maxDepthMm);
    }
}

void DepthRanges::SetRangeValue(const std::vector<MeasuringRange> &ranges)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (size_t i = 0; i < ranges.size() && i < kRangeCount; ++i) {
        m_ranges[i] = ranges[i];
    }
}

uint16_t DepthRanges::GetMaxDepth(uint32_t range) const
{
    if (range >= kRangeCount) {
        TFLOG("range:%d is invalid.", static_cast<int>(range));
        return 0;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ranges[range].range2;
}

uint16_t DepthRanges::GetEffectMaxDepth(uint32_t range) const
{
    if (range >= kRangeCount) {
        TFLOG("range:%d is invalid.", static_cast<int>(range));
        return 0;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ranges[range].range0;
}

uint16_t DepthRanges::GetEffectMinDepth(uint32_t range) const
{
    if (range >= kRangeCount) {
        TFLOG("range:%d is invalid.", static_cast<int>(range));
        return 0;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ranges[range].range1;
}

void DepthRanges::adaptRangeValue(uint32_t range)
{
    uint16_t maxDepthMm = 0;
    if (range >= kRangeCount) {
        TFLOG("range:%d is invalid.", static_cast<int>(range));
        TFLOG("range:%d is invalid.", static_cast<int>(range));
    } else {
        maxDepthMm = GetRawDepthCut() ? GetEffectMaxDepth(range) : GetMaxDepth(range);
    }
    if (m_refine != nullptr) {
        m_refine->SetDepthRange(static_cast<int>(range), maxDepthMm, 0);
    }
}

void DepthRanges::SetRawDepthCut(bool enabled)
{
    TFLOG("bEnabled:%d", enabled ? 1 : 0);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rawDepthCut = enabled;
}

bool DepthRanges::GetRawDepthCut() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rawDepthCut;
}

int DepthRanges::SetDualFreqMode(DualFreqMode &mode)
{
    for (int32_t &value : mode.values) {
        value = static_cast<uint8_t>(value);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t i = 0; i < 3; ++i) {
            m_wdrRanges[i] = static_cast<uint32_t>(mode.values[i]);
        }
        m_dualFreq = mode;
    }
    const uint32_t first = static_cast<uint32_t>(mode.values[0]);
    const uint32_t second = static_cast<uint32_t>(mode.values[1]);
    const uint32_t third = static_cast<uint32_t>(mode.values[2]);
    adaptRangeValue(first > second ? first : second);
    if (int(GetEffectMaxDepth(first)) - int(GetEffectMinDepth(second)) <= 20) {
        TFLOG(" the WDR near and mid range transfer is too small");
    }
    if (mode.count == 3 && int(GetEffectMaxDepth(second)) - int(GetEffectMinDepth(third)) < 21) {
        TFLOG(" the WDR mid and far range transfer is too small");
    }
    return 0;
}

uint32_t DepthRanges::GetWdrRange(int index) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return index >= 0 && index < 3 ? m_wdrRanges[static_cast<size_t>(index)] : 0;
}
