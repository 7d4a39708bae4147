// SPDX-License-Identifier: Apache-2.0
// Signed latencies in microseconds counted in log-linear buckets: median and p99 of any number of
// samples in a fixed 16 KiB, to within 1.6 % of the value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvane::cli {

class LatencyHistogram
{
public:
    void Add(int64_t latencyUs);
    void Clear();
    uint64_t Count() const { return m_count; }
    /// The sample at fraction `q` (0..1) of the sorted samples, as its bucket's middle; 0 when empty.
    double Quantile(double q) const;

private:
    // Magnitudes below 2^kSubBits are exact; above, each power of two is cut into 2^kSubBits buckets.
    static constexpr unsigned kSubBits = 5;
    static constexpr unsigned kMaxExponent = 36; // 2^36 us, some 19 hours: larger magnitudes are clamped
    static constexpr size_t kBuckets = (size_t{1} << kSubBits) * (kMaxExponent - kSubBits + 1);

    static size_t Bucket(uint64_t magnitude);
    static double Middle(size_t bucket);

    std::array<uint64_t, kBuckets> m_negative{}; // by magnitude of the latency
    std::array<uint64_t, kBuckets> m_positive{}; // zero included
    uint64_t m_count = 0;
};

} // namespace orvane::cli
