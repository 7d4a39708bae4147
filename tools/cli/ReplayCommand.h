// SPDX-License-Identifier: Apache-2.0
// `orvane-cli replay FILE`: a recording's frame sets at their recorded pace (or faster), optionally as files.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "RecordingFormat.h"
#include "Subcommand.h"

namespace orvane::cli {

class ReplayCommand : public Subcommand
{
public:
    const char *Name() const override { return "replay"; }
    const char *Description() const override
    {
        return "play a recording back, paced by its arrival times (--to-dir: write each frame as a file)";
    }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    std::string file;
    std::string toDir;
    double rate = 1.0; ///< 0: as fast as the file reads

    /// One frame's fields as JSON (a line's entry).
    static nlohmann::json FrameRecord(const record::RecordedFrame &frame);

    /// Writes `frame` as `<dir>/<stem>.raw` (its pixels) and `<dir>/<stem>.json` (its fields and the
    /// recorded `camera`), as `save --format raw` does; false, with the reason in `error`, on failure.
    static bool WriteFrameFiles(const std::string &dir, const std::string &stem,
                                const record::RecordedFrame &frame, const nlohmann::json &camera,
                                std::string &error);
};

} // namespace orvane::cli
