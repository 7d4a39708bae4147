// SPDX-License-Identifier: Apache-2.0
// Signed latencies in microseconds counted in log-linear buckets: median and p99 of any number of
// samples in a fixed 16 KiB, to within 1.6 % of the value.
#include "LatencyHistogram.h"

#include <algorithm>
#include <cmath>

namespace orvane::cli {

size_t LatencyHistogram::Bucket(uint64_t magnitude)
{
    constexpr uint64_t kExact = uint64_t{1} << kSubBits;
    magnitude = std::min(magnitude, (uint64_t{1} << kMaxExponent) - 1);
    if (magnitude < kExact) {
        return static_cast<size_t>(magnitude);
    }
    unsigned exponent = 63;
    while ((magnitude >> exponent) == 0) {
        --exponent;
    }
    const uint64_t sub = (magnitude >> (exponent - kSubBits)) & (kExact - 1);
    return static_cast<size_t>(kExact * (exponent - kSubBits + 1) + sub);
}

double LatencyHistogram::Middle(size_t bucket)
{
    constexpr size_t kExact = size_t{1} << kSubBits;
    if (bucket < kExact) {
        return static_cast<double>(bucket);
    }
    const unsigned exponent = static_cast<unsigned>(bucket / kExact) + kSubBits - 1;
    const double width = std::ldexp(1.0, static_cast<int>(exponent - kSubBits));
    const double low =
        std::ldexp(1.0, static_cast<int>(exponent)) + static_cast<double>(bucket % kExact) * width;
    return low + (width - 1.0) / 2.0;
}

void LatencyHistogram::Add(int64_t latencyUs)
{
    if (latencyUs < 0) {
        ++m_negative[Bucket(static_cast<uint64_t>(-(latencyUs + 1)) + 1)];
    } else {
        ++m_positive[Bucket(static_cast<uint64_t>(latencyUs))];
    }
    ++m_count;
}

void LatencyHistogram::Clear()
{
    m_negative.fill(0);
    m_positive.fill(0);
    m_count = 0;
}

double LatencyHistogram::Quantile(double q) const
{
    if (m_count == 0) {
        return 0.0;
    }
    // The rank of the wanted sample, 1-based, among the samples sorted from the most negative up.
    const double wanted = std::ceil(std::clamp(q, 0.0, 1.0) * static_cast<double>(m_count));
    const uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(wanted));
    uint64_t seen = 0;
    for (size_t i = kBuckets; i-- > 0;) {
        seen += m_negative[i];
        if (seen >= rank) {
            return -Middle(i);
        }
    }
    for (size_t i = 0; i < kBuckets; ++i) {
        seen += m_positive[i];
        if (seen >= rank) {
            return Middle(i);
        }
    }
    return Middle(kBuckets - 1);
}

} // namespace orvane::cli
