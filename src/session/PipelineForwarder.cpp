// SPDX-License-Identifier: Apache-2.0
// PipelineForwarder: the "Not Support." line of a missing pipeline and the threshold conversion.
#include "session/PipelineForwarder.h"

#include "runtime/LogCustom.h"

void PipelineForwarder::LogNotSupported(const char *caller)
{
    ::LogCustom::Printf("[%s:%d:%s]:Not Support.\n", ::LogCustom::BaseName(__FILE__), __LINE__, caller);
}

RefineFilterThreshold ToRefineThreshold(const FilterThreshold &threshold)
{
    RefineFilterThreshold values{};
    for (size_t i = 0; i < sizeof(threshold.values) / sizeof(threshold.values[0]); ++i) {
        values.values[i] = static_cast<int32_t>(threshold.values[i]);
    }
    return values;
}
