// SPDX-License-Identifier: Apache-2.0
// The statistics the soak programs print: percentiles and least-squares slopes.
#include "SoakStats.h"

#include <algorithm>
#include <cstddef>

namespace soak {

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const double rank = std::clamp(fraction, 0.0, 1.0) * static_cast<double>(values.size() - 1);
    return values[static_cast<size_t>(rank + 0.5)];
}

double Slope(const std::vector<double> &x, const std::vector<double> &y)
{
    const size_t n = std::min(x.size(), y.size());
    if (n < 2) {
        return 0.0;
    }
    double meanX = 0.0;
    double meanY = 0.0;
    for (size_t i = 0; i < n; ++i) {
        meanX += x[i];
        meanY += y[i];
    }
    meanX /= static_cast<double>(n);
    meanY /= static_cast<double>(n);
    double covariance = 0.0;
    double variance = 0.0;
    for (size_t i = 0; i < n; ++i) {
        covariance += (x[i] - meanX) * (y[i] - meanY);
        variance += (x[i] - meanX) * (x[i] - meanX);
    }
    return variance > 0.0 ? covariance / variance : 0.0;
}

} // namespace soak
