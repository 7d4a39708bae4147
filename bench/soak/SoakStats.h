// SPDX-License-Identifier: Apache-2.0
// The statistics the soak programs print: percentiles and least-squares slopes.
#pragma once

#include <vector>

namespace soak {

/// The value at `fraction` (0 to 1) of the sorted values, nearest rank; 0 for none.
double Percentile(std::vector<double> values, double fraction);

/// The least-squares slope of y over x; 0 with fewer than two distinct x.
double Slope(const std::vector<double> &x, const std::vector<double> &y);

} // namespace soak
