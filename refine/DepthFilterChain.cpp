// SPDX-License-Identifier: Apache-2.0
// DepthFilterChain: one camera's depth filter passes, written as straight per-row loops over 16-bit
// pixels that the compiler turns into vector code, and its IR median.
#include "DepthFilterChain.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace refine {
namespace {

constexpr uint16_t kBeyondRange = 0xFFFF; ///< invalid, passes every filter unchanged
/// Largest radial-to-axial factor accepted: a cosine, with room for rounding in its computation.
constexpr float kMaxAxialFactor = 1.01f;

/// 0 and 65535 are invalid; one unsigned comparison tells both apart from the rest.
inline bool IsValid(uint16_t d)
{
    return static_cast<uint16_t>(d - 1) < 0xFFFE;
}

inline uint16_t AbsDiff(uint16_t a, uint16_t b)
{
    return a > b ? static_cast<uint16_t>(a - b) : static_cast<uint16_t>(b - a);
}

bool IsValidSize(const void *data, uint32_t width, uint32_t height)
{
    return data != nullptr && width > 0 && height > 0 && width <= DepthFilterChain::kMaxImageSide &&
           height <= DepthFilterChain::kMaxImageSide;
}

// Median selection networks: each step leaves the smaller value at `lo` and the larger at `hi`; steps
// whose other output no later step reads keep only the one that matters. Checked exhaustively on all
// 0/1 inputs (the 0-1 principle), so they select the median of any input.
struct Step
{
    uint8_t lo;
    uint8_t hi;
    uint8_t keep; ///< 1 the minimum only, 2 the maximum only, 3 both
};

/// The classic 19-step median of 9.
struct Median9
{
    static constexpr int kMiddle = 4;
    static constexpr Step kSteps[] = {
        {1, 2, 3}, {4, 5, 3}, {7, 8, 3}, {0, 1, 3}, {3, 4, 3}, {6, 7, 3}, {1, 2, 3},
        {4, 5, 3}, {7, 8, 3}, {0, 3, 2}, {5, 8, 1}, {4, 7, 3}, {3, 6, 2}, {1, 4, 2},
        {2, 5, 1}, {4, 7, 1}, {4, 2, 3}, {6, 4, 2}, {4, 2, 1},
    };
};

/// Batcher's odd-even merge sort of 25, reduced to the 113 steps the middle element depends on.
struct Median25
{
    static constexpr int kMiddle = 12;
    static constexpr Step kSteps[] = {
        {0, 1, 3},   {2, 3, 3},   {4, 5, 3},   {6, 7, 3},   {8, 9, 3},   {10, 11, 3}, {12, 13, 3},
        {14, 15, 3}, {16, 17, 3}, {18, 19, 3}, {20, 21, 3}, {22, 23, 3}, {0, 2, 3},   {1, 3, 3},
        {4, 6, 3},   {5, 7, 3},   {8, 10, 3},  {9, 11, 3},  {12, 14, 3}, {13, 15, 3}, {16, 18, 3},
        {17, 19, 3}, {20, 22, 3}, {21, 23, 3}, {1, 2, 3},   {5, 6, 3},   {9, 10, 3},  {13, 14, 3},
        {17, 18, 3}, {21, 22, 3}, {0, 4, 3},   {1, 5, 3},   {2, 6, 3},   {3, 7, 3},   {8, 12, 3},
        {9, 13, 3},  {10, 14, 3}, {11, 15, 3}, {16, 20, 3}, {17, 21, 3}, {18, 22, 3}, {19, 23, 3},
        {2, 4, 3},   {3, 5, 3},   {10, 12, 3}, {11, 13, 3}, {18, 20, 3}, {19, 21, 3}, {1, 2, 3},
        {3, 4, 3},   {5, 6, 3},   {9, 10, 3},  {11, 12, 3}, {13, 14, 3}, {17, 18, 3}, {19, 20, 3},
        {21, 22, 3}, {0, 8, 3},   {1, 9, 3},   {2, 10, 3},  {3, 11, 3},  {4, 12, 3},  {5, 13, 3},
        {6, 14, 3},  {7, 15, 1},  {16, 24, 3}, {4, 8, 3},   {5, 9, 3},   {6, 10, 3},  {7, 11, 3},
        {20, 24, 3}, {2, 4, 3},   {3, 5, 3},   {6, 8, 3},   {7, 9, 3},   {10, 12, 3}, {11, 13, 3},
        {18, 20, 3}, {19, 21, 3}, {22, 24, 3}, {1, 2, 3},   {3, 4, 3},   {5, 6, 3},   {7, 8, 3},
        {9, 10, 3},  {11, 12, 3}, {13, 14, 1}, {17, 18, 3}, {19, 20, 3}, {21, 22, 3}, {23, 24, 3},
        {0, 16, 2},  {1, 17, 2},  {2, 18, 2},  {3, 19, 2},  {4, 20, 2},  {5, 21, 2},  {6, 22, 1},
        {7, 23, 1},  {8, 24, 1},  {8, 16, 2},  {9, 17, 2},  {10, 18, 1}, {11, 19, 1}, {12, 20, 1},
        {13, 21, 1}, {6, 10, 2},  {7, 11, 2},  {12, 16, 1}, {13, 17, 1}, {10, 12, 2}, {11, 13, 1},
        {11, 12, 2},
    };
};

template <int Lo, int Hi, int Keep> inline void ApplyStep(int16_t *v)
{
    const int16_t a = v[Lo];
    const int16_t b = v[Hi];
    if constexpr ((Keep & 1) != 0) {
        v[Lo] = a < b ? a : b;
    }
    if constexpr ((Keep & 2) != 0) {
        v[Hi] = a < b ? b : a;
    }
}

/// Runs the whole network as straight-line code (no loop the compiler must unroll first).
template <typename Net, size_t... I>
inline int16_t SelectMedian(int16_t *v, std::index_sequence<I...> /*steps*/)
{
    (ApplyStep<Net::kSteps[I].lo, Net::kSteps[I].hi, Net::kSteps[I].keep>(v), ...);
    return v[Net::kMiddle];
}

// The kernels work on a padded copy whose values carry their top bit flipped: unsigned depth order
// becomes signed 16-bit order, for which every vector unit has one-instruction min, max and compare.
inline int16_t ToSigned(uint16_t d)
{
    return static_cast<int16_t>(d ^ 0x8000u);
}

inline uint16_t FromSigned(int16_t v)
{
    return static_cast<uint16_t>(static_cast<uint16_t>(v) ^ 0x8000u);
}

/// A window's neighbour as it takes part in the median: itself when within [lo, hi], else the centre.
inline int16_t Member(int16_t n, int16_t centre, int16_t lo, int16_t hi)
{
    return ((n < lo) | (n > hi)) != 0 ? centre : n;
}

template <int Side, size_t... I>
inline void Gather(int16_t *v, const int16_t *window, size_t stride, int16_t centre, int16_t lo, int16_t hi,
                   std::index_sequence<I...> /*cells*/)
{
    ((v[I] = Member(window[(I / Side) * stride + I % Side], centre, lo, hi)), ...);
}

/// One output row of the spatial median. `window` points at the top-left of pixel 0's window in the
/// padded copy. A valid neighbour within the edge threshold of the centre lies in [lo, hi]; lo >= 1 and
/// hi <= 65534 shut out the invalid values with the far side of an edge.
template <int Radius, typename Net>
void SpatialRow(const int16_t *window, size_t stride, uint16_t *out, uint32_t width, int edgeMm)
{
    constexpr int kSide = 2 * Radius + 1;
    for (size_t x = 0; x < width; ++x) {
        const int16_t centre = window[Radius * stride + Radius + x];
        const uint16_t c = FromSigned(centre);
        const int16_t lo = ToSigned(static_cast<uint16_t>(std::max(int{c} - edgeMm, 1)));
        const int16_t hi = ToSigned(static_cast<uint16_t>(std::min(int{c} + edgeMm, 0xFFFE)));
        int16_t v[kSide * kSide];
        Gather<kSide>(v, window + x, stride, centre, lo, hi, std::make_index_sequence<kSide * kSide>{});
        const uint16_t median =
            FromSigned(SelectMedian<Net>(v, std::make_index_sequence<std::size(Net::kSteps)>{}));
        out[x] = IsValid(c) ? median : c;
    }
}

inline int16_t Wrap16(int v)
{
    return static_cast<int16_t>(v); // modulo 2^16, as the vector units compute
}

/// One output row of the flying-pixel filter over the padded rows above, at and below it.
/// `thresholdQ16` is the threshold per mm of depth in 1/65536 units, so t = d * thresholdQ16 >> 16 < d:
/// the band [d - t, d + t] (its top kept at most 65534) never holds an invalid value. Not inlined: the
/// compiler then sees the factor as 16 bits wide and multiplies in 16-bit lanes.
[[gnu::noinline]] void FlyingPixelRow(const int16_t *up, const int16_t *mid, const int16_t *down,
                                      uint16_t *out, uint32_t width, uint16_t thresholdQ16)
{
    for (size_t x = 0; x < width; ++x) {
        const uint16_t c = FromSigned(mid[x + 1]);
        const uint16_t t = static_cast<uint16_t>((uint32_t{c} * uint32_t{thresholdQ16}) >> 16);
        const uint16_t room = static_cast<uint16_t>(0xFFFE - c);
        const uint16_t loU = static_cast<uint16_t>(c - t);
        const uint16_t hiU = static_cast<uint16_t>(c + (t < room ? t : room));
        // Within the band: n - lo, taken as unsigned, at most hi - lo. Flipping the top bit of both
        // sides turns that into one signed comparison.
        const int16_t lo = ToSigned(loU);
        const int16_t span = ToSigned(static_cast<uint16_t>(hiU - loU));
        // Valid and below the band: v - 1 (0 wraps to the top) below lo - 1; valid and above it:
        // v + 1 (65535 wraps to the bottom) above hi + 1.
        const int16_t loLess = ToSigned(static_cast<uint16_t>(loU - 1));
        const int16_t hiMore = ToSigned(static_cast<uint16_t>(hiU + 1));
        const auto outside = [lo, span](int16_t n) { return int{Wrap16(n - lo - 0x8000) > span}; };
        // One nearer and one farther than the band: the smaller is nearer and the larger farther.
        const auto between = [loLess, hiMore](int16_t a, int16_t b) {
            const int16_t smaller = a < b ? a : b;
            const int16_t larger = a < b ? b : a;
            return int{Wrap16(smaller - 1) < loLess} & int{Wrap16(larger + 1) > hiMore};
        };
        const int16_t l = mid[x], r = mid[x + 2];
        const int16_t ul = up[x], u = up[x + 1], ur = up[x + 2];
        const int16_t dl = down[x], d = down[x + 1], dr = down[x + 2];
        const int isolated = outside(l) & outside(r) & outside(u) & outside(d) & outside(ul) & outside(ur) &
                             outside(dl) & outside(dr);
        const int mixed = between(l, r) | between(u, d) | between(ul, dr) | between(ur, dl);
        out[x] = (int{IsValid(c)} & (isolated | mixed)) != 0 ? 0 : c;
    }
}

/// One pixel of the temporal filter: updates its running average and returns its output. Branch-free,
/// and vectorised because this file is built without trapping maths (refine/CMakeLists.txt).
inline uint16_t TemporalStep(uint16_t d, float &average, float weight, float thresholdMm)
{
    const float a = average;
    const float diff = float(d) - a;
    const float blended = a + diff * weight;
    const bool restart = (a == 0.0f) | (diff > thresholdMm) | (diff < -thresholdMm);
    const float next = restart ? float(d) : blended;
    // NOLINTNEXTLINE(bugprone-incorrect-roundings): next is never negative; lround would not vectorise.
    const auto rounded = static_cast<uint16_t>(next + 0.5f);
    const bool valid = IsValid(d);
    average = valid ? next : 0.0f;
    return valid ? rounded : d;
}

/// Fills the `run` pixels between the valid ends a (before) and b (after), `step` elements apart.
void Interpolate(uint16_t *first, size_t step, uint32_t run, uint16_t a, uint16_t b)
{
    const float slope = (float(b) - float(a)) / float(run + 1);
    for (uint32_t k = 1; k <= run; ++k) {
        // NOLINTNEXTLINE(bugprone-incorrect-roundings): depths between two valid ones are never negative.
        first[(k - 1) * step] = static_cast<uint16_t>(float(a) + slope * float(k) + 0.5f);
    }
}

/// Marks a column with no valid pixel since its top or its last 65535. Rows are kept as 16-bit
/// numbers (images have at most 16384 rows) so that the column pass runs 8 pixels a step: from this
/// mark the gap down to any row, modulo 2^16, is at least 16383, longer than any run filled.
constexpr uint16_t kNoRow = 0xC000;
constexpr uint32_t kMaxFillRunPx = 16382;

/// Fills the short runs of 0 along one row. The pixels before and after a run are not 0: valid unless
/// 65535, which ends a run unfilled like the border does.
void FillRow(uint16_t *row, uint32_t width, uint32_t maxRun, uint32_t agreeMm)
{
    uint16_t *const end = row + width;
    uint16_t *x = row;
    while (true) {
        x = std::find(x, end, uint16_t{0});
        uint16_t *const start = x;
        while (x != end && *x == 0) {
            ++x;
        }
        if (x == end) {
            return;
        }
        const auto run = static_cast<uint32_t>(x - start);
        if (start != row && run <= maxRun && IsValid(start[-1]) && IsValid(*x) &&
            AbsDiff(start[-1], *x) <= agreeMm) {
            Interpolate(start, 1, run, start[-1], *x);
        }
    }
}

/// Fills the short vertical runs of 0 that row y ends, and records row y as the last valid row of its
/// valid columns (`last`, kNoRow after a 65535).
void FillColumnsEndingAt(uint16_t *depth, uint32_t width, uint32_t y, uint32_t maxRun, uint32_t agreeMm,
                         uint16_t *last)
{
    uint16_t *row = depth + size_t{y} * width;
    const auto row16 = static_cast<uint16_t>(y);
    const auto maxRun16 = static_cast<uint16_t>(maxRun);
    // A run of 1 to maxRun rows ends here when the gap less one, unsigned, is below maxRun.
    const auto endsRun = [&](size_t x) {
        return int{IsValid(row[x])} & int{static_cast<uint16_t>(row16 - last[x] - 2) < maxRun16};
    };
    int ends = 0;
    for (size_t x = 0; x < width; ++x) {
        ends |= endsRun(x);
    }
    for (size_t x = 0; ends != 0 && x < width; ++x) {
        if (endsRun(x) != 0) {
            const uint16_t above = depth[size_t{last[x]} * width + x];
            if (AbsDiff(above, row[x]) <= agreeMm) {
                const auto run = static_cast<uint32_t>(row16 - last[x] - 1);
                Interpolate(depth + (size_t{last[x]} + 1) * width + x, width, run, above, row[x]);
            }
        }
    }
    for (size_t x = 0; x < width; ++x) {
        const uint16_t d = row[x];
        last[x] = IsValid(d) ? row16 : (d == kBeyondRange ? kNoRow : last[x]);
    }
}

} // namespace

DepthFilterChain::Settings DepthFilterChain::CopySettings() const
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    return m_settings;
}

int DepthFilterChain::SetDepthRange(uint16_t maxMm, uint16_t minMm)
{
    if (maxMm != 0 && minMm > maxMm) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings.maxMm = maxMm;
    m_settings.minMm = minMm;
    return kRefineOk;
}

void DepthFilterChain::SetOutOfMaxRangeHandle(int handle)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings.outOfMaxRangeHandle = handle;
}

int DepthFilterChain::OutOfMaxRangeHandle() const
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    return m_settings.outOfMaxRangeHandle;
}

void DepthFilterChain::SetFlyingPixel(const TfFlyingPixelFilterParams &params)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings.flyingPixel = params;
}

TfFlyingPixelFilterParams DepthFilterChain::FlyingPixel() const
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    return m_settings.flyingPixel;
}

void DepthFilterChain::SetSpatial(const TfSpatialFilterParams &params)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings.spatial = params;
}

TfSpatialFilterParams DepthFilterChain::Spatial() const
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    return m_settings.spatial;
}

void DepthFilterChain::SetSmoothingEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings.spatial.enable = enabled ? 1 : 0;
}

bool DepthFilterChain::SmoothingEnabled() const
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    return m_settings.spatial.enable != 0;
}

void DepthFilterChain::SetTemporal(bool enabled, int thresholdMm, int frames)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings.temporal = enabled;
    m_settings.temporalThresholdMm = thresholdMm > 0 ? thresholdMm : kDefaultTemporalThresholdMm;
    m_settings.temporalFrames = frames > 0 ? frames : kDefaultTemporalFrames;
    // Switched off and on again, the filter must not blend with frames from before.
    ++m_settings.temporalGeneration;
}

void DepthFilterChain::SetTimeFilterDepthEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings.keepTemporalResult = enabled;
}

void DepthFilterChain::SetFillHole(const TfFillHoleFilterParams &params)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings.fillHole = params;
}

TfFillHoleFilterParams DepthFilterChain::FillHole() const
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    return m_settings.fillHole;
}

void DepthFilterChain::SetRealDepth(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings.realDepth = enabled;
}

int DepthFilterChain::SetAxialFactors(std::shared_ptr<const std::vector<float>> factors, uint32_t width,
                                      uint32_t height)
{
    if (factors != nullptr &&
        (!IsValidSize(factors.get(), width, height) || factors->size() != size_t{width} * height)) {
        return kRefineInvalidArgument;
    }
    // A factor is the cosine of the ray's angle to the axis; anything else (NaN included) is refused,
    // so that the pass can convert r * factor to 16 bits without checking it.
    if (factors != nullptr && !std::all_of(factors->begin(), factors->end(),
                                           [](float f) { return f >= 0.0f && f <= kMaxAxialFactor; })) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings.axialFactors = std::move(factors);
    m_settings.axialWidth = m_settings.axialFactors != nullptr ? width : 0;
    m_settings.axialHeight = m_settings.axialFactors != nullptr ? height : 0;
    return kRefineOk;
}

int DepthFilterChain::PreFilter(uint16_t *depth, uint32_t width, uint32_t height)
{
    if (!IsValidSize(depth, width, height)) {
        return kRefineInvalidArgument;
    }
    const Settings s = CopySettings();
    ApplyRangeLimits(s, depth, size_t{width} * height);
    return kRefineOk;
}

int DepthFilterChain::PostFilter(uint16_t *depth, uint32_t width, uint32_t height)
{
    if (!IsValidSize(depth, width, height)) {
        return kRefineInvalidArgument;
    }
    const Settings s = CopySettings();
    std::lock_guard<std::mutex> pass(m_passMutex);
    ApplyFlyingPixel(s, depth, width, height);
    ApplyRealDepth(s, depth, width, height);
    return kRefineOk;
}

int DepthFilterChain::Process(uint16_t *depth, uint32_t width, uint32_t height)
{
    if (!IsValidSize(depth, width, height)) {
        return kRefineInvalidArgument;
    }
    const Settings s = CopySettings();
    std::lock_guard<std::mutex> pass(m_passMutex);
    ApplyRangeLimits(s, depth, size_t{width} * height);
    ApplySpatial(s, depth, width, height);
    ApplyTemporal(s, depth, width, height);
    ApplyFillHole(s, depth, width, height);
    return kRefineOk;
}

void DepthFilterChain::ApplyRangeLimits(const Settings &s, uint16_t *depth, size_t pixels)
{
    if (s.maxMm == 0 && s.minMm == 0) {
        return;
    }
    const uint16_t maxMm = s.maxMm != 0 ? s.maxMm : kBeyondRange;
    const uint16_t minMm = s.minMm;
    const uint16_t beyond = s.outOfMaxRangeHandle == 1 ? maxMm : 0;
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t d = depth[i];
        const uint16_t limited = d > maxMm ? beyond : (d < minMm ? 0 : d);
        depth[i] = d == kBeyondRange ? d : limited;
    }
}

void DepthFilterChain::ApplyRealDepth(const Settings &s, uint16_t *depth, uint32_t width, uint32_t height)
{
    if (!s.realDepth || s.axialFactors == nullptr || s.axialWidth != width || s.axialHeight != height) {
        return;
    }
    const float *factor = s.axialFactors->data();
    const size_t pixels = size_t{width} * height;
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t r = depth[i];
        const float z = std::min(float(r) * factor[i] + 0.5f, 65534.0f);
        depth[i] = IsValid(r) ? static_cast<uint16_t>(z) : r;
    }
}

size_t DepthFilterChain::PadCopy(const uint16_t *depth, uint32_t width, uint32_t height, uint32_t pad)
{
    const size_t stride = size_t{width} + 2 * pad;
    const size_t rows = size_t{height} + 2 * pad;
    if (m_padded.size() < stride * rows) {
        m_padded.resize(stride * rows);
    }
    constexpr int16_t kZero = INT16_MIN; // 0 with its top bit flipped
    int16_t *base = m_padded.data();
    std::fill(base, base + pad * stride, kZero);
    for (uint32_t y = 0; y < height; ++y) {
        int16_t *row = base + (y + pad) * stride;
        const uint16_t *src = depth + size_t{y} * width;
        std::fill(row, row + pad, kZero);
        for (uint32_t x = 0; x < width; ++x) {
            row[pad + x] = ToSigned(src[x]);
        }
        std::fill(row + pad + width, row + stride, kZero);
    }
    std::fill(base + (height + pad) * stride, base + rows * stride, kZero);
    return stride;
}

void DepthFilterChain::ApplyFlyingPixel(const Settings &s, uint16_t *depth, uint32_t width, uint32_t height)
{
    if (s.flyingPixel.enable == 0) {
        return;
    }
    const uint32_t given = s.flyingPixel.threshold;
    const uint32_t atOneMetreMm =
        given != 0 ? std::min<uint32_t>(given, 1000) : kDefaultFlyingPixelThresholdMm;
    // mm per metre of depth in 1/65536 units; 1000 mm at 1 m saturates just below 1.
    const auto thresholdQ16 =
        static_cast<uint16_t>(std::min<uint32_t>((atOneMetreMm * 65536 + 500) / 1000, 65535));
    const size_t stride = PadCopy(depth, width, height, 1);
    for (uint32_t y = 0; y < height; ++y) {
        const int16_t *up = m_padded.data() + size_t{y} * stride;
        FlyingPixelRow(up, up + stride, up + 2 * stride, depth + size_t{y} * width, width, thresholdQ16);
    }
}

void DepthFilterChain::ApplySpatial(const Settings &s, uint16_t *depth, uint32_t width, uint32_t height)
{
    if (s.spatial.enable == 0) {
        return;
    }
    const uint32_t given = s.spatial.threshold;
    const int edgeMm =
        static_cast<int>(given != 0 ? std::min<uint32_t>(given, 0xFFFF) : kDefaultSpatialThresholdMm);
    const bool wide = s.spatial.value == 2;
    const size_t stride = PadCopy(depth, width, height, wide ? 2 : 1);
    for (uint32_t y = 0; y < height; ++y) {
        const int16_t *window = m_padded.data() + size_t{y} * stride;
        uint16_t *out = depth + size_t{y} * width;
        if (wide) {
            SpatialRow<2, Median25>(window, stride, out, width, edgeMm);
        } else {
            SpatialRow<1, Median9>(window, stride, out, width, edgeMm);
        }
    }
}

void DepthFilterChain::ApplyTemporal(const Settings &s, uint16_t *depth, uint32_t width, uint32_t height)
{
    if (!s.keepTemporalResult) {
        std::lock_guard<std::mutex> lock(m_sideMutex);
        m_sideWidth = 0; // nothing kept while the side output is off
    }
    if (!s.temporal && !s.keepTemporalResult) {
        m_averageWidth = 0; // resumed later, the filter starts over
        return;
    }
    const size_t pixels = size_t{width} * height;
    if (m_averageWidth != width || m_averageHeight != height || m_averageGeneration != s.temporalGeneration) {
        m_average.assign(pixels, 0.0f);
        m_averageWidth = width;
        m_averageHeight = height;
        m_averageGeneration = s.temporalGeneration;
    }
    // With the filter off the result goes to the side buffer only.
    uint16_t *out = depth;
    if (s.keepTemporalResult) {
        if (m_sideBack.size() < pixels) {
            m_sideBack.resize(pixels);
        }
        out = m_sideBack.data();
    }
    const float weight = 1.0f / float(s.temporalFrames);
    const float thresholdMm = float(s.temporalThresholdMm);
    float *average = m_average.data();
    // In place the loop reads and writes one pointer: a second one equal to it would fail the
    // compiler's run-time overlap check and run the scalar copy of the loop.
    if (out == depth) {
        for (size_t i = 0; i < pixels; ++i) {
            depth[i] = TemporalStep(depth[i], average[i], weight, thresholdMm);
        }
    } else {
        for (size_t i = 0; i < pixels; ++i) {
            out[i] = TemporalStep(depth[i], average[i], weight, thresholdMm);
        }
    }
    if (s.keepTemporalResult) {
        if (s.temporal) {
            std::memcpy(depth, out, pixels * sizeof(uint16_t));
        }
        std::lock_guard<std::mutex> lock(m_sideMutex);
        if (m_sideFront.size() < pixels) {
            m_sideFront.resize(pixels); // both buffers take the new size on its first frame
        }
        m_sideFront.swap(m_sideBack);
        m_sideWidth = width;
        m_sideHeight = height;
    }
}

void DepthFilterChain::ApplyFillHole(const Settings &s, uint16_t *depth, uint32_t width, uint32_t height)
{
    if (s.fillHole.enable == 0) {
        return;
    }
    const uint32_t givenRun = s.fillHole.value;
    const uint32_t givenMm = s.fillHole.threshold;
    const uint32_t maxRun = givenRun != 0 ? std::min(givenRun, kMaxFillRunPx) : kDefaultFillHoleRunPx;
    const uint32_t agreeMm = givenMm != 0 ? givenMm : kDefaultFillHoleThresholdMm;
    for (uint32_t y = 0; y < height; ++y) {
        FillRow(depth + size_t{y} * width, width, maxRun, agreeMm);
    }
    if (m_columnLast.size() < width) {
        m_columnLast.resize(width);
    }
    std::fill_n(m_columnLast.begin(), width, kNoRow);
    for (uint32_t y = 0; y < height; ++y) {
        FillColumnsEndingAt(depth, width, y, maxRun, agreeMm, m_columnLast.data());
    }
}

int DepthFilterChain::FilterIr(AlgImage *image)
{
    if (image == nullptr || (image->elemType != ALG_8UC1 && image->elemType != ALG_16UC1) ||
        !IsValidSize(image->data, image->width, image->height)) {
        return kRefineInvalidArgument;
    }
    if (!SmoothingEnabled()) {
        return kRefineOk;
    }
    std::lock_guard<std::mutex> pass(m_passMutex);
    const int type = image->elemType == ALG_8UC1 ? CV_8UC1 : CV_16UC1;
    const int rows = static_cast<int>(image->height);
    const int cols = static_cast<int>(image->width);
    const size_t bytes = size_t{image->width} * image->height * (type == CV_8UC1 ? 1 : 2);
    if (m_irScratch.size() < bytes) {
        m_irScratch.resize(bytes);
    }
    const cv::Mat src(rows, cols, type, image->data);
    cv::Mat dst(rows, cols, type, m_irScratch.data());
    cv::medianBlur(src, dst, 3);
    std::memcpy(image->data, m_irScratch.data(), bytes);
    return kRefineOk;
}

int DepthFilterChain::GetOnlyTimeFilterDepth(uint16_t *out, size_t capacityPixels, uint32_t *width,
                                             uint32_t *height)
{
    if (out == nullptr || width == nullptr || height == nullptr) {
        return kRefineInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(m_sideMutex);
    if (m_sideWidth == 0) {
        return kRefineNotSupported;
    }
    const size_t pixels = size_t{m_sideWidth} * m_sideHeight;
    if (capacityPixels < pixels) {
        return kRefineInvalidArgument;
    }
    std::memcpy(out, m_sideFront.data(), pixels * sizeof(uint16_t));
    *width = m_sideWidth;
    *height = m_sideHeight;
    return kRefineOk;
}

} // namespace refine
