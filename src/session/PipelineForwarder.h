// SPDX-License-Identifier: Apache-2.0
// PipelineForwarder: hands a session operation to its pipeline, or to the refine library behind it, and
// the small adapters its calls use.
#pragma once

#include <cstring>
#include <type_traits>

#include "pipeline/ImageProc.h"
#include "protocol/ProtocolTypes.h"
#include "protocol/StatusCodes.h"

/// Resolves a session's pipeline (or the refine library behind it) once and calls an operation on it.
/// Without it the operation is not supported: "Not Support." is logged under the calling operation's
/// name and the answer is kStatusNotSupported. A call without result answers kStatusOk.
class PipelineForwarder
{
public:
    /// `pipeline` is the session's, or null (a test fake).
    explicit PipelineForwarder(ImageProc *pipeline) : m_pipeline(pipeline) {}

    /// `call(ImageProc &)` on the pipeline, for the operation `caller`.
    template <typename Call> int Forward(const char *caller, Call call) const
    {
        if (m_pipeline == nullptr) {
            LogNotSupported(caller);
            return kStatusNotSupported;
        }
        return CallOn(call, *m_pipeline);
    }

    /// `call(APIDepthRefine &)` on the refine library, for the operation `caller`.
    template <typename Call> int ForwardToRefine(const char *caller, Call call) const
    {
        APIDepthRefine *refine = m_pipeline != nullptr ? m_pipeline->GetRefine() : nullptr;
        if (refine == nullptr) {
            LogNotSupported(caller);
            return kStatusNotSupported;
        }
        return CallOn(call, *refine);
    }

private:
    static void LogNotSupported(const char *caller);

    template <typename Call, typename Target> static int CallOn(Call &call, Target &target)
    {
        if constexpr (std::is_void_v<std::invoke_result_t<Call &, Target &>>) {
            call(target);
            return kStatusOk;
        } else {
            return call(target);
        }
    }

    ImageProc *m_pipeline; // owned by the session
};

/// A call that writes what `read` answers to `out`: kStatusNullPointer for a null `out`.
template <typename T, typename Read> auto ReadInto(T *out, Read read)
{
    return [out, read](auto &target) -> int {
        if (out == nullptr) {
            return kStatusNullPointer;
        }
        *out = read(target);
        return kStatusOk;
    };
}

/// The refine library's twin of a session record, or the other way round: one layout, two names.
template <typename To, typename From> To Twin(const From &from)
{
    static_assert(sizeof(To) == sizeof(From), "twin records have one layout");
    To to{};
    std::memcpy(&to, &from, sizeof(to));
    return to;
}

/// A call that has the refine library fill its twin of `record` through `get`, then copies it over.
template <typename Refined, typename Record>
auto ReadTwin(Record &record, int (APIDepthRefine::*get)(Refined *))
{
    return [&record, get](APIDepthRefine &refine) {
        Refined out{};
        const int ret = (refine.*get)(&out);
        record = Twin<Record>(out);
        return ret;
    };
}

/// The session's filter thresholds as the refine library takes them.
RefineFilterThreshold ToRefineThreshold(const FilterThreshold &threshold);
