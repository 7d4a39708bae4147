// SPDX-License-Identifier: Apache-2.0
// `orvane-cli record FILE`: the camera's frames into a recording until a time limit or Ctrl-C.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "FrameCapture.h"
#include "Orvane_api.h"
#include "RecordingWriter.h"
#include "StreamChoice.h"
#include "Subcommand.h"

namespace orvane::cli {

class RecordCommand : public Subcommand
{
public:
    const char *Name() const override { return "record"; }
    const char *Description() const override
    {
        return "record the camera's frames to FILE (-t seconds, or until Ctrl-C)";
    }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    std::string file;
    double seconds = 0; ///< 0: until Ctrl-C
    std::vector<std::string> streams{"depth", "ir", "confidence", "color"};
    bool raw = false; ///< the camera's stream buffers as received, written by the library
    bool zstd = false;
    int zstdLevel = 1;
    size_t queueDepth = 8;

    /// Copies the frames of the set `capture` read last that are of the chosen `kinds` into `set`, stamped
    /// with `hostTimeNs`; the slots of a recycled set keep their pixel buffers.
    static void TakeFrames(const FrameCapture &capture, const std::vector<const StreamKind *> &kinds,
                           uint64_t hostTimeNs, record::FrameSet &set);

private:
    /// The end-of-recording summary: the writer's counts and the library's drop counters.
    void Summary(CliContext &context, const record::RecordingWriterStats &stats, double elapsedSeconds);
};

} // namespace orvane::cli
