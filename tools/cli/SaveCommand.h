// SPDX-License-Identifier: Apache-2.0
// `orvane-cli save --format png,ply,raw [--count N] [--out DIR] [--ascii]`: saves sets of frames as
// images, point clouds and raw pixels with their description.
#pragma once

#include <string>
#include <vector>

#include "Subcommand.h"

namespace orvane::cli {

class FrameCapture;
class FrameSaver;

class SaveCommand : public Subcommand
{
public:
    const char *Name() const override { return "save"; }
    const char *Description() const override
    {
        return "save sets of frames as PNG images, PLY point clouds or raw pixels with a JSON sidecar";
    }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    std::vector<std::string> formats{"png"};
    int count = 1;
    std::string out = ".";
    bool ascii = false;
    std::vector<std::string> streams{"depth", "ir", "confidence", "color"};

    /// How long a set missing a chosen stream is passed over before sets are saved as they come.
    static constexpr int kCompleteSetWaitMs = 3000;

private:
    bool Wants(const std::string &format) const;
    /// Turns on the chosen streams (and the colour mapped to depth for coloured points) and starts.
    int Prepare(CliContext &context);
    /// True when the set holds every stream it should.
    bool Complete(const FrameCapture &capture, std::string &missing) const;
    /// Reads and saves `count` sets; kExitOk or a failure's code.
    int SaveSets(CliContext &context, FrameSaver &saver);

    bool m_mappedColor = false; // colour mapped to depth was turned on for the point clouds
};

} // namespace orvane::cli
